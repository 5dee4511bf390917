// Traffic log: the panel, View > Traffic, File > Save Traffic….
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

#include "session/requestrunner.h"
#include "ui/receivewait.h"
#include "ui/tform1.h"
#include "ui/trafficdock.h"
#include "ui/trafficlogmodel.h"

void TForm1::SetupTraffic() {
    Traffic = new TrafficLogModel(this);
    dockTraffic = new TrafficDock(Traffic, this);
    addDockWidget(Qt::BottomDockWidgetArea, dockTraffic);
    dockTraffic->hide();  // the window starts as it always has
    connect(ReceiveWait, &TReceiveWait::BlocksDropped, Traffic, [this](int count) {
        Traffic->Dropped(static_cast<size_t>(count), ReceiveWait->Waiting());
    });

    // What a sequence (Read Module, Apply, a trend poll) sends and receives is
    // traffic of the same line.
    connect(Sequencer, &RequestRunner::sent, Traffic, [this](int step, const QByteArray& frame) {
        Traffic->Sent(frame.toStdString());
        Traffic->Requested(Sequencer->sequence().steps().at(static_cast<size_t>(step)).code);
    });
    connect(Sequencer, &RequestRunner::received, Traffic, [this](const QByteArray& block) {
        Traffic->Received(reinterpret_cast<const uint8_t*>(block.constData()),
                          static_cast<size_t>(block.size()));
    });
    connect(Sequencer, &RequestRunner::ended, Traffic, [this] {
        if (Sequencer->sequence().state() == RequestSequence::State::TimedOut) Traffic->TimedOut();
    });

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
