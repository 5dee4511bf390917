// The start-up comparator: a bare Qt window with the same number and kinds of
// controls as the configurator, on six pages, and nothing else. The counts come
// from the command line ("QLabel=79 QLineEdit=38 ..."), read off the form.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>

#include <functional>
#include <map>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::map<QString, std::function<QWidget*()>> make = {
        {"QLabel", [] { return new QLabel("Label:"); }},
        {"QLineEdit", [] { return new QLineEdit("0.000"); }},
        {"QComboBox",
         [] {
             auto* c = new QComboBox;
             c->setEditable(true);
             c->addItems({"0", "1", "2", "3"});
             return c;
         }},
        {"QPushButton", [] { return new QPushButton("Set"); }},
        {"QGroupBox", [] { return new QGroupBox("Group"); }},
        {"QCheckBox", [] { return new QCheckBox("Check"); }},
        {"QPlainTextEdit", [] { return new QPlainTextEdit; }},
        {"QScrollArea", [] { return new QScrollArea; }},
        {"QWidget", [] { return new QWidget; }},
    };

    QMainWindow window;
    auto* pages = new QTabWidget;
    QGridLayout* grids[6];
    for (int p = 0; p < 6; ++p) {
        auto* page = new QWidget;
        grids[p] = new QGridLayout(page);
        pages->addTab(page, QString("Page %1").arg(p + 1));
    }
    int placed = 0;
    for (int i = 1; i < argc; ++i) {
        const QStringList kv = QString::fromLocal8Bit(argv[i]).split('=');
        if (kv.size() != 2) continue;
        // Custom picture widgets count as plain widgets (no picture is drawn),
        // our own combo boxes as plain combo boxes.
        const QString kind = kv[0] == "TImage"                  ? QStringLiteral("QWidget")
                             : kv[0].endsWith("ComboBox") ? QStringLiteral("QComboBox")
                                                          : kv[0];
        const auto maker = make.find(kind);
        if (maker == make.end()) continue;
        for (int n = kv[1].toInt(); n > 0; --n, ++placed) {
            QGridLayout* grid = grids[placed % 6];
            grid->addWidget(maker->second(), (placed / 6) / 4, (placed / 6) % 4);
        }
    }
    window.setCentralWidget(pages);
    window.setWindowTitle("Bare");
    window.resize(1280, 800);
    window.show();
    return app.exec();
}
