// The window under the desktop's palette: its grey face in a light theme,
// the desktop's colours in a dark one with every label readable, and back.
// Tab leaves the Receive Buffer. Every window fits a small screen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <functional>
#include <memory>

#include "darkpalette.h"
#include "profile/applyreport.h"
#include "profile/profilecommands.h"
#include "screenshot.h"
#include "session/hartcommissionjob.h"
#include "ui/applyreportdialog.h"
#include "ui/crosscheckdialog.h"
#include "ui/desktoppalette.h"
#include "ui/findmoduledialog.h"
#include "ui/hartinstrumentwindow.h"
#include "ui/harttrimdialog.h"
#include "ui/rs485dialog.h"
#include "ui/trafficlogmodel.h"
#include "ui/trendwindow.h"
#include "window_fixture.h"

namespace {

// The strongest contrast between a label's background (its corner) and any
// pixel of its text, as drawn.
double DrawnContrast(QLabel* label) {
    const QImage image = label->grab().toImage();
    const QColor background = image.pixelColor(0, 0);
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, ContrastRatio(background, image.pixelColor(x, y)));
    return best;
}

class ThemeTest : public WindowTest {
protected:
    void TearDown() override {
        QApplication::setPalette(light_);
        WindowTest::TearDown();
    }
    const QPalette light_ = QApplication::palette();
};

TEST_F(ThemeTest, FollowsTheDesktopPaletteAndKeepsLabelsReadable) {
    ASSERT_FALSE(IsDarkPalette(light_));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));

    const QPalette dark = DarkPalette();
    ASSERT_TRUE(IsDarkPalette(dark));
    QApplication::setPalette(dark);
    ASSERT_TRUE(WaitFor([&] { return form.palette().color(QPalette::Window) == dark.window().color(); },
                        2000));
    EXPECT_EQ(form.palette().color(QPalette::WindowText), dark.windowText().color());

    auto* pages = form.findChild<QTabWidget*>();
    ASSERT_TRUE(pages);
    int checked = 0;
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        Pump(20);
        for (QLabel* label : form.findChildren<QLabel*>()) {
            if (!label->isVisibleTo(&form) || label->text().trimmed().isEmpty() ||
                !label->pixmap().isNull())
                continue;
            ++checked;
            EXPECT_GE(DrawnContrast(label), 4.5)
                << label->objectName().toStdString() << " \"" << label->text().toStdString()
                << "\" on page " << page;
        }
    }
    EXPECT_GT(checked, 50);
    pages->setCurrentIndex(0);
    SaveScreenshot(&form, "dark.png");

    QApplication::setPalette(light_);
    ASSERT_TRUE(WaitFor(
        [&] { return form.palette().color(QPalette::Window) == QColor(0xC0, 0xC0, 0xC0); }, 2000));
}

// What the program colours itself (verdicts, problems said, the table's
// failed checks) reads at 4.5:1 on a light and on a dark desktop, as drawn.
TEST_F(ThemeTest, SelfDrawnColoursReadInBothThemes) {
    for (const QPalette& desktop : {light_, DarkPalette()}) {
        QApplication::setPalette(desktop);
        const QColor base = desktop.color(QPalette::Base);
        for (Grade grade : {Grade::Ok, Grade::Warning, Grade::Fault, Grade::Exception,
                            Grade::Timeout, Grade::NotHandled})
            EXPECT_GE(ContrastRatio(ReadableOnBase(GradeColor(grade)), base), 4.5)
                << static_cast<int>(grade) << " on " << base.name().toStdString();
        QLabel said("HART Command Timeout: no reply in 3000 ms");
        said.setPalette(WindowPalette(desktop));
        said.setAutoFillBackground(true);
        said.setStyleSheet("color: " + ProblemColor(&said).name() + ";");
        said.resize(said.sizeHint());
        EXPECT_GE(DrawnContrast(&said), 4.5) << base.name().toStdString();
    }
}

// A 1024x768 laptop with a desktop font a fifth larger: each window asks for
// no more than the screen and opens within it.
TEST_F(ThemeTest, WindowsFitASmallScreenAtALargerFont) {
    SaveScreenScreenshot(&form, "main-1024x768.png");
    const QFont saved = QApplication::font();
    QFont larger = saved;
    larger.setPointSizeF(saved.pointSizeF() * 1.2);
    QApplication::setFont(larger);
    ApplyReport report;
    report.rows = {{"system.pollInterval", "2", "3", true}};
    HartCommissionJob commissioning(form.Link1);
    const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> windows[] = {
        {"main", [] { return std::make_unique<TForm1>(); }},
        {"cross-check", [&] { return std::make_unique<CrossCheckDialog>(form.Session); }},
        {"find module", [&] { return std::make_unique<FindModuleDialog>(form.Session); }},
        {"apply report", [&] { return std::make_unique<ApplyReportDialog>(report, &form); }},
        {"RS-485", [&] { return std::make_unique<Rs485Dialog>("/dev/ttyUSB0", TRs485{}, false, &form); }},
        {"HART Instrument", [&] { return std::make_unique<HartInstrumentWindow>(form.Session); }},
        {"trend", [&] { return std::make_unique<TrendWindow>(form.Session); }},
        {"trim", [&] { return std::make_unique<HartTrimDialog>(&commissioning, "\"PT-101\"", &form); }},
    };
    const QSize laptop(1024, 768);
    for (const auto& [name, make] : windows) {
        const auto window = make();
        window->show();
        const QSize screen = window->screen()->availableGeometry().size();
        EXPECT_TRUE(laptop.expandedTo(window->sizeHint()) == laptop) << name;
        EXPECT_TRUE(laptop.expandedTo(window->minimumSizeHint()) == laptop) << name;
        EXPECT_TRUE(screen.expandedTo(window->size()) == screen) << name;
    }
    QApplication::setFont(saved);
}

TEST_F(ThemeTest, TabLeavesTheReceiveBuffer) {
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ui->Memo10->setPlainText("QQQ#QV#");
    ui->Memo10->setFocus();
    ASSERT_TRUE(WaitFor([&] { return ui->Memo10->hasFocus(); }, 2000));
    QTest::keyClick(ui->Memo10, Qt::Key_Tab);
    EXPECT_FALSE(ui->Memo10->hasFocus());
    EXPECT_EQ(ui->Memo10->toPlainText(), "QQQ#QV#");
}

}  // namespace
