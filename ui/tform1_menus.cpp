// Menu bar: the places where additions to the window live (File, View, Help).
// The pages, buttons and buffers stay as they are; every addition is reached
// from here, a dock, the status line or a dialog.
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>

#include "ui/findmoduledialog.h"
#include "ui/hartinstrumentwindow.h"
#include "ui/tform1.h"

namespace {

QAction* NamedAction(QMenu* menu, const char* objectName, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

}  // namespace

void TForm1::SetupMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("menuBar");
    menuFile = bar->addMenu("&File");
    menuFile->setObjectName("menuFile");
    menuView = bar->addMenu("&View");
    menuView->setObjectName("menuView");
    menuTools = bar->addMenu("&Tools");
    menuTools->setObjectName("menuTools");
    menuHelp = bar->addMenu("&Help");
    menuHelp->setObjectName("menuHelp");

    // Exit stays last in File: additions insert their entries before it.
    actionExit = NamedAction(menuFile, "actionExit", "E&xit");
    actionExit->setShortcut(QKeySequence::Quit);
    connect(actionExit, &QAction::triggered, this, &QWidget::close);

    SetupSideBySide();

    QAction* instrument = NamedAction(menuView, "actionHartInstrument", "&HART Instrument...");
    connect(instrument, &QAction::triggered, this, [this] { ShowAddition(hartInstrument_); });

    QAction* find = NamedAction(menuTools, "actionFindModule", "Find &Module...");
    connect(find, &QAction::triggered, this, [this] { ShowAddition(findModule_); });

    QAction* about = NamedAction(menuHelp, "actionAbout", "&About");
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, "About Tavrix Configurator",
                           QString("<b>Tavrix Configurator</b> %1<br>"
                                   "Commissioning tool for the Tavrix HART to MODBUS RTU converter.<br>"
                                   "Licence: MIT.")
                               .arg(TAVRIX_VERSION));
    });
}
