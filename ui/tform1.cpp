// Construction of the main window: form, serial component, timers.
#include "ui/tform1.h"

#include <QCloseEvent>

#include "session/requestrunner.h"
#include "ui/moduleprofiles.h"
#include "ui/requestbuttonslock.h"
#include "ui/statusline.h"
#include "ui/tapplication.h"
#include "ui/trafficlogmodel.h"
#include "ui_tform1.h"

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()) {
    ui->setupUi(this);

    Comm1 = new TComm(this);
    Comm1->CommName = "COM2";
    Comm1->SetBaudRate(9600);
    Comm1->SetReadIntervalTimeout(400);
    Sequencer = new RequestRunner(Comm1, this);
    Comm1->OnReceiveData = [this](TComm* sender, const uint8_t* buffer, uint16_t length) {
        // Posted before the port closed and delivered after: not its reply.
        if (!sender->IsOpen()) return;
        if (Sequencer->IsRunning()) return Sequencer->BlockReceived(buffer, length);
        try {
            Traffic->Received(buffer, length);  // as delivered, before the handler's wait
            Comm1ReceiveData(sender, buffer, length);
            StatusLine->ReplyReceived();
        } catch (const std::exception& error) {
            ShowException(error);
        }
    };
    Comm1->OnRequestHangup = [this](TComm* sender) { Comm1RequestHangup(sender); };

    ReceiveWait = new TReceiveWait(
        [this](const std::string& block) {
            try {
                HandleBlock(block);
            } catch (const std::exception& error) {
                ShowException(error);
            }
        },
        this);

    // Created running, as the form resource has them; FormCreate stops them.
    Timer2 = new TTimer(300, true, this);
    Timer3 = new TTimer(1000, true, this);
    Timer4 = new TTimer(1000, true, this);
    connect(Timer2, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer2Timer); });
    connect(Timer3, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer3Timer); });
    connect(Timer4, &TTimer::OnTimer, this, [this] { Guarded(&TForm1::Timer4Timer); });

    new RequestButtonsLock(centralWidget(), Sequencer);
    // A request the window had pending is given up when a sequence takes the
    // line, with any of its blocks still waiting their turn.
    connect(Sequencer, &RequestRunner::started, this, [this] {
        Timer2->SetEnabled(false);
        Timer3->SetEnabled(false);
        ReceiveWait->Discard();
    });

    WireHandlers();
    SetupMenus();
    SetupPort();
    SetupTraffic();
    Profiles = new ModuleProfiles(this);
    LoadPictures();
    FormCreate();
}

TForm1::~TForm1() {
    // The reader and writer must be gone before the window they report to.
    Comm1->ClosePort();
    Comm1->OnReceiveData = nullptr;
    Comm1->OnRequestHangup = nullptr;
}

void TForm1::Guarded(void (TForm1::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    CloseComm();
    event->accept();
}
