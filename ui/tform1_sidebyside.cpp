// View menu entries of the HART/MODBUS comparison: the cross-check dialog and
// the trend window, each created on first use.
#include <QAction>
#include <QMenu>

#include "ui/crosscheckdialog.h"
#include "ui/tform1.h"
#include "ui/trendwindow.h"

namespace {

template <typename Window>
Window* ShowOnce(TForm1* form) {
    auto* window = form->findChild<Window*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) window = new Window(form->Session, form);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace

void TForm1::SetupSideBySide() {
    QAction* crossCheck = menuView->addAction("MODBUS Reply and &Cross-Check...");
    crossCheck->setObjectName("actionCrossCheck");
    connect(crossCheck, &QAction::triggered, this, [this] { ShowOnce<CrossCheckDialog>(this); });
    QAction* trend = menuView->addAction("&Trend...");
    trend->setObjectName("actionTrend");
    connect(trend, &QAction::triggered, this, [this] { ShowOnce<TrendWindow>(this); });
}
