// The traffic journal: the link's traffic written to a file in the user's
// state folder as it happens, on from the start. View > Journal turns it off
// and on (a new file each time it comes back on); View > Journal Folder opens
// the folder in the desktop's file manager.
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QUrl>

#include "session/journalfollower.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"

#ifndef TAVRIX_VERSION
#define TAVRIX_VERSION "?"
#endif

void TForm1::SetupJournal() {
    Journal = new JournalFollower(Link1, JournalFolder(), TAVRIX_VERSION, this);
    const QString folder = QString::fromStdString(Journal->folder());

    menuView->addSeparator();
    QAction* journal = menuView->addAction("Traffic &Journal");
    journal->setObjectName("actionJournal");
    journal->setCheckable(true);
    journal->setChecked(true);
    journal->setStatusTip("Write every frame sent and received to a file in " + folder);
    connect(journal, &QAction::toggled, this, [this](bool on) { Journal->SetEnabled(on); });

    QAction* open = menuView->addAction("Journal &Folder");
    open->setObjectName("actionJournalFolder");
    open->setStatusTip("Open " + folder);
    connect(open, &QAction::triggered, this, [this, folder] {
        // The folder is made on the first event; it may not be there yet.
        if (!QDir().mkpath(folder) ||
            !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
            ShowMessage("The journal folder " + folder + " could not be opened.");
        }
    });
}
