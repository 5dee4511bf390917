#include "session/windowrequest.h"

#include <algorithm>

#include "exchange/requestcodes.h"
#include "protocol/hexbytes.h"
#include "session/link.h"
#include "session/receivewait.h"
#include "session/ttimer.h"

WindowRequest::WindowRequest(Link* link, QObject* parent)
    : QObject(parent),
      link_(link),
      receiveWait_(new TReceiveWait([this](const std::string& b) { HandleBlock(b); }, this)),
      timer2_(new TTimer(timings_.replyTimerMs, false, this)),
      timer3_(new TTimer(timings_.firstTimeoutMs, false, this)) {
    connect(receiveWait_, &TReceiveWait::BlocksDropped, this,
            [this](int count) { link_->NoteDropped(count, receiveWait_->Waiting()); });
    // Nothing of an earlier opening, or of a port closed, is handled.
    connect(link_, &Link::opening, receiveWait_, &TReceiveWait::Discard);
    connect(link_, &Link::closed, receiveWait_, &TReceiveWait::Discard);
    connect(link_, &Link::hungUp, this, &WindowRequest::HungUp);
    link_->SetResting(this);
}

void WindowRequest::SetTimings(const WindowTimings& timings) {
    timings_ = timings;
    receiveWait_->SetWait(timings.receiveWaitMs);
    timer2_->SetInterval(timings.replyTimerMs);
    timer3_->SetInterval(timings.firstTimeoutMs);
    link_->SetResting(this);  // its read interval
}

void WindowRequest::SetPending(int code, int timeoutKind) {
    pending_ = code;
    timeoutKind_ = timeoutKind;
}

std::string WindowRequest::PutTx(const std::string& frame) {
    // Frames are built in the transmit area; exactly the frame's own length is
    // sent, whatever a longer earlier frame left behind it.
    const size_t n = std::min(frame.size(), kTxSize);
    std::copy_n(frame.begin(), n, frameBuffer_.begin() + kTxStart);
    return std::string(reinterpret_cast<const char*>(frameBuffer_.data() + kTxStart), n);
}

void WindowRequest::Request(const std::string& frame, int code) {
    link_->Claim(this);
    link_->Send({frame, code}, ExchangeRecord::Origin::Window);
    pending_ = code;
    const RequestCode* entry = FindRequestCode(code);
    timeoutKind_ = entry ? entry->timeoutKind : 0;
    if (!entry || entry->setsTimeout3000) timer3_->SetInterval(timings_.timeoutMs);
    timer3_->SetEnabled(true);
}

void WindowRequest::Write(const std::string& frame) {
    link_->Send({frame, kCodeNone}, ExchangeRecord::Origin::Window);
}

int WindowRequest::TakeReplyTimer() {
    timer2_->SetEnabled(false);
    return pending_;
}

const char* WindowRequest::TakeTimeout() {
    timer3_->SetEnabled(false);
    link_->RecordTimeout();
    return TimeoutMessage(timeoutKind_);
}

void WindowRequest::ReplyDecoded(int code, bool complete) {
    switch (AfterDecodeFor(code)) {
        case AfterDecode::End:
            pending_ = 0;
            timer3_->SetEnabled(false);
            break;
        case AfterDecode::EndAnswered:
            pending_ = 0;
            timeoutKind_ = 0;
            break;
        case AfterDecode::EndIfComplete:
            if (complete) pending_ = 0;
            break;
        case AfterDecode::StayPending:
            break;
    }
}

HartIdentity WindowRequest::KeptHartIdentity() const {
    return {
        hartManufacturerId_, frameBuffer_[6], {frameBuffer_[0], frameBuffer_[1], frameBuffer_[2]}};
}

void WindowRequest::KeepHartIdentity(const HartIdentity& identity) {
    hartManufacturerId_ = identity.manufacturer;
    frameBuffer_[6] = identity.deviceType;
    std::copy(identity.deviceId.begin(), identity.deviceId.end(), frameBuffer_.begin());
}

bool WindowRequest::Active() const { return timer2_->Enabled() || timer3_->Enabled(); }

void WindowRequest::Enqueue(const uint8_t* data, uint16_t length) {
    // The module's reply may still be trickling in, so each block waits 200 ms
    // before it is looked at; the wait runs on a timer, not by sleeping.
    receiveWait_->Enqueue(data, length);
}

void WindowRequest::LineTaken() {
    // The request is given up, with any of its blocks still waiting.
    timer2_->SetEnabled(false);
    timer3_->SetEnabled(false);
    receiveWait_->Discard();
}

void WindowRequest::HungUp() {
    // No timeout message follows a vanished device; a reply that already
    // waits for its decoding is still decoded.
    timer3_->SetEnabled(false);
    if (!timer2_->Enabled()) pending_ = 0;
}

void WindowRequest::HandleBlock(const std::string& block) {
    const size_t n = block.size();
    // A block may hold up to 2048 bytes; the receive area keeps its first 404.
    std::copy_n(block.begin(), std::min(n, kRxSize), frameBuffer_.begin() + kRxStart);
    replyText_.assign(block.data(), std::min(n, kReplyTextMax));
    const int code = pending_;

    // Text display stops at the first zero byte, as a C string would.
    const QString asText = QString::fromLatin1(replyText_.c_str());
    const QString asHex = QString::fromLatin1(HexTextTrailingBlank(
        std::span<const uint8_t>(frameBuffer_.data() + kRxStart, replyText_.size())));
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
            pending_ = 0;
            timer3_->SetEnabled(false);
            break;
    }
    emit this->block(QByteArray::fromStdString(block), code, shown);
}
