#include "session/link.h"

#include <algorithm>

#include "serial/makeport.h"
#include "serial/ttyport.h"
#include "session/lineclient.h"
#include "session/requestrunner.h"

Link::Link(QObject* parent, std::unique_ptr<Port> port)
    : QObject(parent),
      port_(port ? std::move(port) : std::make_unique<TtyPort>()),
      runner_(new RequestRunner(this)) {
    Attach(*port_);
    port_->SetReadInterval(kRestingReadInterval);
    runner_->SetTimingSource([this] { return Timing(); });
    runner_->SetQuietSource([this] { return QuietWait(); });
}

Link::~Link() {
    // The port's threads must be gone before the objects they report to.
    for (Port* p : {port_.get(), otherKind_.get()}) {
        if (!p) continue;
        p->Close();
        p->OnBlock = nullptr;
        p->OnHangup = nullptr;
    }
}

void Link::Attach(Port& port) {
    port.OnBlock = [this](const uint8_t* data, uint16_t length) { BlockReceived(data, length); };
    port.OnHangup = [this] { emit hangupReported(); };
}

// The name says the kind: the port of the other kind is kept aside, not
// destroyed, so the serial component the window holds stays valid.
void Link::TakeKindFor(const std::string& name) {
    const Port::Kind wanted = PortKindFor(name);
    if (port_->kind() == wanted) return;
    port_->Close();
    if (!otherKind_ || otherKind_->kind() != wanted) {
        otherKind_ = MakePort(name);
        Attach(*otherKind_);
    }
    const uint32_t interval = port_->ReadInterval();
    std::swap(port_, otherKind_);
    port_->SetReadInterval(interval);
}

// ---- the line ----

void Link::Open(const PortSettings& settings) {
    // Nothing of an earlier opening can still answer.
    lastStep_ = {};
    lastBlockAt_.reset();
    lastReplyAt_.reset();
    emit opening();
    TakeKindFor(settings.name);
    port_->Open(settings);
    Stamp();
    emit opened();
}

std::optional<std::chrono::milliseconds> Link::SinceLastReply() const {
    if (!lastReplyAt_) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  *lastReplyAt_);
}

void Link::Reopen(uint32_t baudRate, TParity parity) {
    PortSettings settings = port_->settings();
    settings.baudRate = baudRate;
    settings.parity = parity;
    if (port_->IsOpen() && port_->ChangesLineOpen()) {
        // A network port keeps its connection; its followers see the same
        // close and opening as a serial device's.
        lastStep_ = {};
        lastBlockAt_.reset();
        lastReplyAt_.reset();
        Stamp();
        emit closed();
        emit opening();
        port_->ChangeLine(settings);
        Stamp();
        emit opened();
        return;
    }
    Close();
    Open(settings);
}

void Link::Close() {
    port_->Close();
    Stamp();
    emit closed();
}

void Link::CloseAfterHangup() {
    port_->Close();
    Stamp();
    emit hungUp();
}

bool Link::IsOpen() const { return port_->IsOpen(); }

const PortSettings& Link::Settings() const { return port_->settings(); }

bool Link::ParityHeld() const { return port_->ParityHeld(); }

TComm* Link::Comm() const {
    auto* tty = dynamic_cast<TtyPort*>(port_.get());
    return tty ? tty->Comm() : nullptr;
}

uint32_t Link::ReadInterval() const { return port_->ReadInterval(); }

// ---- runs ----

LinkRun* Link::Start(std::vector<SequenceStep> steps, RunOptions options, QObject* owner) {
    return runner_->Start(std::move(steps), options, owner);
}

bool Link::Hold(const QObject* holder) { return runner_->Hold(holder); }

void Link::Release(const QObject* holder) { runner_->Release(holder); }

bool Link::RunsActive() const { return runner_->IsRunning(); }

// ---- clients ----

void Link::Claim(LineClient* client) {
    if (active_ == client) return;
    if (active_ == runner_ && runner_->IsRunning()) {
        afterRuns_ = client;
        return;
    }
    LineClient* before = active_;
    active_ = client;
    afterRuns_ = nullptr;
    ApplyReadInterval();
    if (before) before->LineTaken();
}

void Link::GiveBack(LineClient* client) {
    if (active_ != client) return;
    active_ = afterRuns_;
    afterRuns_ = nullptr;
    ApplyReadInterval();
}

void Link::SetResting(LineClient* client) {
    resting_ = client;
    if (!active_) active_ = client;
    ApplyReadInterval();
}

void Link::ApplyReadInterval() {
    const LineClient* by = active_ ? active_ : resting_;
    port_->SetReadInterval(by ? by->ReadInterval() : kRestingReadInterval);
}

bool Link::LineFree() const { return !runner_->IsRunning() && !(resting_ && resting_->Awaiting()); }

void Link::Send(const SequenceStep& step, ExchangeRecord::Origin origin) {
    // Bytes held as a possible echo that nothing completed were the last reply's.
    const std::string left = echo_.Sent(port_->IsOpen() ? step.frame : std::string());
    if (!left.empty()) Deliver(left);
    lastStep_ = step;
    current_ = ExchangeRecord{};
    current_.code = step.code;
    current_.origin = origin;
    current_.frame.assign(step.frame.begin(), step.frame.end());
    current_.sent = std::chrono::steady_clock::now();
    current_.portOpen = port_->IsOpen();
    current_.readIntervalMs = port_->ReadInterval();
    Stamp();
    emit sent(current_);
    port_->Write(step.frame.data(),
                 static_cast<uint16_t>(std::min<size_t>(step.frame.size(), 0xFFFF)));
}

void Link::RecordTimeout() {
    // What began as the frame and went no further was a reply after all:
    // recorded, if too late for the request.
    const std::string held = echo_.TakeHeld();
    if (!held.empty()) Deliver(held);
    current_.timedOut = true;
    Stamp();
    emit timedOut(current_);
}

void Link::RecordRetry(int attempt, int tries, const QString& why) {
    Stamp();
    emit retried(current_, attempt, tries, why);
}

void Link::SetEchoMode(EchoMode mode) {
    echo_.Forget();
    echo_.SetMode(mode);
}

void Link::BlockReceived(const uint8_t* data, uint16_t length) {
    lastBlockAt_ = std::chrono::steady_clock::now();
    using Verdict = EchoSplit::Verdict;
    const EchoSplit split =
        echo_.Received(std::string_view(reinterpret_cast<const char*>(data), length));
    const bool differs = split.verdict == Verdict::Differs || split.verdict == Verdict::Missing;
    if (!split.echo.empty() || differs) {
        Stamp();
        emit echoed(QByteArray::fromStdString(split.echo), current_, split.verdict);
    }
    if (split.verdict == Verdict::Detected) emit echoDetected();
    // Spoiled before its bytes come: they only prolong the silence it ends by.
    if (differs && active_)
        active_->EchoDiffers(split.verdict == Verdict::Missing ? kEchoMissingText
                                                               : kEchoDiffersText);
    if (!split.reply.empty()) Deliver(split.reply);
}

void Link::Deliver(const std::string& reply) {
    const auto* data = reinterpret_cast<const uint8_t*>(reply.data());
    const auto length = static_cast<uint16_t>(std::min<size_t>(reply.size(), 0xFFFF));
    const QByteArray block(reply.data(), length);
    Stamp();
    lastReplyAt_ = std::chrono::steady_clock::now();
    emit received(block, current_);
    current_.answered = true;
    current_.bytesSince += length;
    // Enough for any reply's verdict; a babbling line does not grow it without end.
    constexpr size_t kKept = 4096;
    const size_t room = kKept - std::min(kKept, current_.received.size());
    current_.received.insert(current_.received.end(), data, data + std::min<size_t>(room, length));
    if (active_) active_->Block(data, length);
}

// ---- timing ----

SequenceTiming Link::Timing() const {
    const PortSettings& line = port_->settings();
    SequenceTiming timing;
    timing.baud = line.baudRate;
    const int data = 5 + static_cast<int>(line.byteSize);
    const int parity = line.parity == TParity::None ? 0 : 1;
    const int stop = line.stopBits == TStopBits::_1 ? 1 : 2;
    timing.bitsPerCharacter = 1 + data + parity + stop;
    timing.answerTime = answerTime_;
    timing.roundTrip = port_->RoundTrip();
    return timing;
}

std::chrono::milliseconds Link::QuietWait() const {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const auto ms = [](std::chrono::steady_clock::time_point t) {
        return duration_cast<milliseconds>(t.time_since_epoch());
    };
    LineHistory line;
    line.last = lastStep_;
    line.sent = ms(current_.sent);
    line.received = std::string_view(reinterpret_cast<const char*>(current_.received.data()),
                                     current_.received.size());
    if (lastBlockAt_) line.lastBlock = ms(*lastBlockAt_);
    return LineQuietAt(line, Timing()) - ms(std::chrono::steady_clock::now());
}

uint32_t Link::SequenceReadInterval() const {
    return static_cast<uint32_t>(std::max<int64_t>(1, Timing().Characters(3).count()));
}
