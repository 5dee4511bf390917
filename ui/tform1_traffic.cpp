// Traffic log: the panel, View > Traffic, File > Save Traffic….
#include <QAction>
#include <QFileDialog>
#include <QMenu>
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
