#include "session/link.h"

#include <algorithm>

#include "exchange/requestcodes.h"
#include "protocol/hexbytes.h"
#include "serial/tcomm.h"
#include "session/receivewait.h"
#include "session/requestrunner.h"
#include "session/ttimer.h"

Link::Link(QObject* parent)
    : QObject(parent),
      comm_(new TComm(this)),
      sequencer_(new RequestRunner(comm_, this)),
      receiveWait_(
          new TReceiveWait([this](const std::string& block) { HandleWindowBlock(block); }, this)),
      timer2_(new TTimer(300, false, this)),
      timer3_(new TTimer(1000, false, this)) {
    comm_->OnReceiveData = [this](TComm* sender, const uint8_t* data, uint16_t length) {
        // Posted before the port closed and delivered after: not a reply.
        if (!sender->IsOpen()) return;
        BlockReceived(data, length);
    };
    comm_->OnRequestHangup = [this](TComm*) { emit hangupReported(); };

    connect(receiveWait_, &TReceiveWait::BlocksDropped, this,
            [this](int count) { emit blocksDropped(count, receiveWait_->Waiting()); });
    sequencer_->SetTimingSource([this] { return Timing(); });
    sequencer_->SetQuietSource([this] { return QuietWait(); });
    connect(sequencer_, &RequestRunner::started, this, &Link::SequenceStarted);
    connect(sequencer_, &RequestRunner::sent, this, [this](int step, const QByteArray& frame) {
        lastStep_ = sequencer_->sequence().steps().at(static_cast<size_t>(step));
        Record(lastStep_.code, ExchangeRecord::Origin::Sequence, frame.toStdString());
    });
    connect(sequencer_, &RequestRunner::replied, this, [this](int step, const QByteArray& reply) {
        emit sequenceReplied(
            step, sequencer_->sequence().steps().at(static_cast<size_t>(step)).code, reply);
    });
    connect(sequencer_, &RequestRunner::ended, this, &Link::SequenceEnded);
}

Link::~Link() {
    // The reader and writer must be gone before the objects they report to.
    comm_->ClosePort();
    comm_->OnReceiveData = nullptr;
    comm_->OnRequestHangup = nullptr;
}

void Link::Open() {
    // Nothing of an earlier opening can still answer.
    lastStep_ = {};
    lastBlockAt_.reset();
    receiveWait_->Discard();
    comm_->OpenPort();
    emit opened();
}

void Link::Close() {
    comm_->ClosePort();
    receiveWait_->Discard();
    emit closed();
}

void Link::CloseAfterHangup() {
    comm_->ClosePort();
    emit hungUp();
    timer3_->SetEnabled(false);
    if (!timer2_->Enabled()) PendingRequest = 0;
}

std::string Link::PutTx(const std::string& frame) {
    // Frames are built in the transmit area; exactly the frame's own length is
    // sent, whatever a longer earlier frame left behind it.
    const size_t n = std::min(frame.size(), kTxSize);
    std::copy_n(frame.begin(), n, FrameBuffer.begin() + kTxStart);
    return std::string(reinterpret_cast<const char*>(FrameBuffer.data() + kTxStart), n);
}

void Link::Record(int code, ExchangeRecord::Origin origin, const std::string& frame) {
    current_ = ExchangeRecord{};
    current_.code = code;
    current_.origin = origin;
    current_.frame.assign(frame.begin(), frame.end());
    current_.sent = std::chrono::steady_clock::now();
    current_.portOpen = comm_->IsOpen();
    current_.readIntervalMs = comm_->ReadIntervalTimeout();
    emit sent(current_);
}

void Link::Request(const std::string& frame, int code) {
    windowGaveUp_ = false;
    WriteAs(code, frame);
    PendingRequest = code;
    const RequestCode* entry = FindRequestCode(code);
    TimeoutKind = entry ? entry->timeoutKind : 0;
    if (!entry || entry->setsTimeout3000) timer3_->SetInterval(3000);
    timer3_->SetEnabled(true);
}

void Link::Write(const std::string& frame) { WriteAs(kCodeNone, frame); }

void Link::WriteAs(int code, const std::string& frame) {
    lastStep_ = {frame, code};
    Record(code, ExchangeRecord::Origin::Window, frame);
    comm_->WriteData(frame.data(), static_cast<uint16_t>(std::min<size_t>(frame.size(), 0xFFFF)));
}

int Link::TakeReplyTimer() {
    timer2_->SetEnabled(false);
    return PendingRequest;
}

const char* Link::TakeTimeout() {
    timer3_->SetEnabled(false);
    current_.timedOut = true;
    emit timedOut(current_);
    return TimeoutMessage(TimeoutKind);
}

void Link::ReplyDecoded(int code, bool complete) {
    switch (code) {
        case kCodeHartCommand0:
        case kCodeHartCommand3:
            PendingRequest = 0;
            timer3_->SetEnabled(false);
            break;
        case kCodeCommunicationQuery:
            // The version text is only shown; the exchange is complete.
            PendingRequest = 0;
            TimeoutKind = 0;
            break;
        case kCodeCurrentOutputQuery:
            if (complete) PendingRequest = 0;
            break;
        default:
            // The other queries stay pending: a reply that follows is decoded too.
            break;
    }
}

HartIdentity Link::KeptHartIdentity() const {
    return {HartManufacturerId, FrameBuffer[6], {FrameBuffer[0], FrameBuffer[1], FrameBuffer[2]}};
}

void Link::KeepHartIdentity(const HartIdentity& identity) {
    HartManufacturerId = identity.manufacturer;
    FrameBuffer[6] = identity.deviceType;
    std::copy(identity.deviceId.begin(), identity.deviceId.end(), FrameBuffer.begin());
}

bool Link::WindowRequestActive() const { return timer2_->Enabled() || timer3_->Enabled(); }

bool Link::LineFree() const { return !sequencer_->IsRunning() && !WindowRequestActive(); }

SequenceTiming Link::Timing() const {
    SequenceTiming timing;
    timing.baud = comm_->BaudRate();
    const int data = 5 + static_cast<int>(comm_->ByteSize());
    const int parity = comm_->Parity == TParity::None ? 0 : 1;
    const int stop = comm_->StopBits() == TStopBits::_1 ? 1 : 2;
    timing.bitsPerCharacter = 1 + data + parity + stop;
    timing.answerTime = answerTime_;
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

void Link::SequenceStarted() {
    // The window's request is given up, with any of its blocks still waiting.
    timer2_->SetEnabled(false);
    timer3_->SetEnabled(false);
    receiveWait_->Discard();
    windowGaveUp_ = true;
    if (!windowReadInterval_) windowReadInterval_ = comm_->ReadIntervalTimeout();
    comm_->SetReadIntervalTimeout(SequenceReadInterval());
}

void Link::SequenceEnded() {
    if (windowReadInterval_) comm_->SetReadIntervalTimeout(*windowReadInterval_);
    windowReadInterval_.reset();
    if (sequencer_->sequence().state() != RequestSequence::State::TimedOut) return;
    current_.timedOut = true;
    emit timedOut(current_);
}

void Link::BlockReceived(const uint8_t* data, uint16_t length) {
    const QByteArray block(reinterpret_cast<const char*>(data), length);
    lastBlockAt_ = std::chrono::steady_clock::now();
    emit received(block, current_);
    current_.answered = true;
    current_.bytesSince += length;
    // Enough for any reply's verdict; a babbling line does not grow it without end.
    constexpr size_t kKept = 4096;
    const size_t room = kKept - std::min(kKept, current_.received.size());
    current_.received.insert(current_.received.end(), data, data + std::min<size_t>(room, length));
    if (sequencer_->IsRunning()) return sequencer_->BlockReceived(data, length);
    if (windowGaveUp_) return;  // the request it answers was given up or is done
    EnqueueForWindow(data, length);
}

void Link::EnqueueForWindow(const uint8_t* data, uint16_t length) {
    // The module's reply may still be trickling in, so each block waits 200 ms
    // before it is looked at; the wait runs on a timer, not by sleeping.
    receiveWait_->Enqueue(data, length);
}

void Link::HandleWindowBlock(const std::string& block) {
    const size_t n = block.size();
    // A block may hold up to 2048 bytes; the receive area keeps its first 404.
    std::copy_n(block.begin(), std::min(n, kRxSize), FrameBuffer.begin() + kRxStart);
    ReplyText.assign(block.data(), std::min(n, kReplyTextMax));
    const int code = PendingRequest;

    // Text display stops at the first zero byte, as a C string would.
    const QString asText = QString::fromLatin1(ReplyText.c_str());
    const QString asHex = QString::fromLatin1(HexTextTrailingBlank(
        std::span<const uint8_t>(FrameBuffer.data() + kRxStart, ReplyText.size())));
    QString shown;
    switch (AfterBlockFor(code)) {
        case AfterBlock::DecodeText:
            timer2_->SetEnabled(true);
            timer3_->SetEnabled(false);
            shown = asText;
            break;
        case AfterBlock::DecodeHex:
            shown = asHex;
            timer3_->SetEnabled(false);
            timer2_->SetEnabled(true);
            break;
        case AfterBlock::ShowHex:
            shown = asHex;
            timer3_->SetEnabled(false);
            break;
        case AfterBlock::ShowText:
            shown = asText;
            PendingRequest = 0;
            timer3_->SetEnabled(false);
            break;
    }
    emit windowBlock(QByteArray::fromStdString(block), code, shown);
}
