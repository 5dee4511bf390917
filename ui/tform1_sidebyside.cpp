// View menu entries of the HART/MODBUS comparison: the cross-check dialog and
// the trend window, each created on first use.
#include <QAction>
#include <QMenu>

#include "ui/crosscheckdialog.h"
#include "ui/tform1.h"
#include "ui/trendwindow.h"

void TForm1::SetupSideBySide() {
    QAction* crossCheck = menuView->addAction("MODBUS Reply and &Cross-Check...");
    crossCheck->setObjectName("actionCrossCheck");
    connect(crossCheck, &QAction::triggered, this, [this] { ShowAddition(crossCheck_); });
    QAction* trend = menuView->addAction("&Trend...");
    trend->setObjectName("actionTrend");
    connect(trend, &QAction::triggered, this, [this] { ShowAddition(trend_); });
}
