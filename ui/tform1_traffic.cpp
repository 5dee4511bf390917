// Traffic log: the panel, View > Traffic, File > Save Traffic…, File > Open Traffic….
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QMenu>
#include <QMainWindow>
#include <QMessageBox>

#include "ui/tform1.h"
#include "ui/trafficdock.h"
#include "ui/trafficlogmodel.h"

void TForm1::SetupTraffic() {
    Traffic = new TrafficLogModel(this);
    dockTraffic = new TrafficDock(Traffic, this);
    addDockWidget(Qt::BottomDockWidgetArea, dockTraffic);
    dockTraffic->hide();  // the window starts as it always has
    // The log's one feed: the link's results, the window's and every sequence's.
    Traffic->Follow(Link1);

    QAction* show = dockTraffic->toggleViewAction();
    show->setObjectName("actionTraffic");
    show->setText("&Traffic");
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    menuView->addAction(show);

    QAction* save = new QAction("Save &Traffic…", this);
    save->setObjectName("actionSaveTraffic");
    menuFile->insertAction(actionExit, save);
    connect(save, &QAction::triggered, this, &TForm1::SaveTraffic);

    QAction* open = new QAction("&Open Traffic…", this);
    open->setObjectName("actionOpenTraffic");
    menuFile->insertAction(save, open);
    connect(open, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, "Open Traffic", {}, "Traffic logs (*.txt *.csv);;All files (*)");
        if (path.isEmpty()) return;
        QString error;
        if (!OpenTrafficFile(this, dockTraffic, path, &error))
            QMessageBox::warning(this, "Open Traffic", error);
    });
}

TrafficDock* OpenTrafficFile(QMainWindow* window, QDockWidget* beside, const QString& path,
                             QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = "Could not open " + path + ":\n" + file.errorString();
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    auto* model = new TrafficLogModel(window);
    std::string why;
    if (!model->Load(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), &why)) {
        delete model;
        if (error)
            *error = path + " is not a traffic log:\n" + QString::fromStdString(why);
        return nullptr;
    }
    // Its own read-only panel, beside the live one; closing it frees it.
    auto* dock = new TrafficDock(model, window);
    dock->setObjectName("dockTrafficFile");
    dock->setWindowTitle("Traffic: " + QFileInfo(path).fileName());
    dock->SetReadOnly();
    dock->setAttribute(Qt::WA_DeleteOnClose);
    model->setParent(dock);
    window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    if (beside && beside->isVisible()) window->tabifyDockWidget(beside, dock);
    dock->show();
    dock->raise();
    return dock;
}

void TForm1::SaveTraffic() {
    const QString csvFilter = "CSV (*.csv)";
    QString filter;
    QString path = QFileDialog::getSaveFileName(this, "Save Traffic", "traffic.txt",
                                                "Text (*.txt);;" + csvFilter, &filter);
    if (path.isEmpty()) return;
    if (filter == csvFilter && !path.endsWith(".csv", Qt::CaseInsensitive)) path += ".csv";
    QString error;
    if (!dockTraffic->Save(path, &error))
        QMessageBox::warning(this, "Save Traffic", "Could not save " + path + ":\n" + error);
}
