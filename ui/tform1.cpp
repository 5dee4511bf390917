// Construction of the main window: form, link, timers, and the link's results
// written into the window.
#include "ui/tform1.h"

#include <QCloseEvent>
#include <QScrollArea>
#include <QTimer>

#include "session/loopcheckjob.h"
#include "ui/screenfit.h"
#include "session/requestrunner.h"
#include "ui/desktoppalette.h"
#include "ui/moduleprofiles.h"
#include "ui/requestbuttonslock.h"
#include "ui/statusline.h"
#include "ui/tapplication.h"
#include "ui/trafficlogmodel.h"
#include "ui_tform1.h"

namespace {

// The longest a close waits for a held loop current to be released: its
// command 40 with its retries, on a line that may have gone.
constexpr int kLoopReleaseLimitMs = 5000;

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      Link1(new Link(this)),
      Requests(new WindowRequest(Link1, this)),
      Session(new WindowSession(Link1, Requests, this)),
      Comm1(Link1->Comm()),
      Timer2(Requests->ReplyTimer()),
      Timer3(Requests->ReplyTimeout()),
      Captured(Session->Captured()),
      ui(std::make_unique<Ui::TForm1>()) {
    ui->setupUi(this);
    FitToScreen();

    connect(Requests, &WindowRequest::block, this, &TForm1::ShowBlock);
    connect(Link1, &Link::hangupReported, this, [this] { Comm1RequestHangup(Comm1); });

    // Started as the form resource has them; FormCreate stops them.
    Timer2->SetEnabled(true);
    Timer3->SetEnabled(true);
    Timer4 = new TTimer(1000, true, this);
    connect(Timer2, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer2Timer); });
    connect(Timer3, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer3Timer); });
    connect(Timer4, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer4Timer); });

    new RequestButtonsLock(centralWidget(), Link1->Runner());

    WireHandlers();
    SetupMenus();
    SetupPort();
    SetupTraffic();
    SetupJournal();
    SetupSession();
    Profiles = new ModuleProfiles(this);
    LoadPictures();
    new TDesktopPalette(this);  // light and dark desktops alike
    // Tab leaves the Receive Buffer (it shows replies; nothing is typed there).
    ui->Memo10->setTabChangesFocus(true);
    FormCreate();
}

// On a screen as large as the window was drawn for, nothing changes. On a
// smaller one (a 1024x768 laptop, a larger desktop font) the window opens
// within the screen and its pages scroll, rather than hiding Open, the
// right-hand buttons and the status line past the screen's edge.
void TForm1::FitToScreen() {
    auto* pages = takeCentralWidget();
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("mainScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(pages);
    setCentralWidget(scroll);
    resize(FittedSize(this, size()));
}

TForm1::~TForm1() {
    // The link closes its port as it goes; nothing of it reaches the window then.
    Link1->disconnect(this);
}

void TForm1::Guarded(void (TForm1::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TForm1::ShowBlock(const QByteArray& block, int code, const QString& shown) {
    try {
        CaptureModbusReply(block, code);
        ui->Memo10->setPlainText(shown);
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A loop check holds the loop at a fixed current the control system sees:
    // it is released on the line before the port goes, within a few seconds.
    LoopCheckJob* loop = Session->LoopCheck();
    if (loop->IsRunning() && !closingAfterRelease_) {
        closingAfterRelease_ = true;
        loop->Cancel();
        connect(loop, &LoopCheckJob::finished, this, &QWidget::close, Qt::QueuedConnection);
        QTimer::singleShot(kLoopReleaseLimitMs, this, &QWidget::close);
        event->ignore();
        return;
    }
    CloseComm();
    event->accept();
}
