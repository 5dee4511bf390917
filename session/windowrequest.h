// The window's own request pattern, one client of the link among others. The
// frame is built in the transmit area (PutTx) and sent with its request code
// (Request); each block the line hands it waits 200 ms (the receive wait) and
// is put in the receive area and ReplyText; the reply timer (Timer2, 300 ms)
// decodes it and the reply timeout (Timer3, 1000 ms at start, 3000 ms once a
// request sets it) gives the code's message, as the code's table row says. A
// late reply is still decoded. The window reads this state to decode and
// show, and says what a decoded reply completed (ReplyDecoded).
//
// While a run takes the line the window's request is given up; blocks that
// come after the run, before the window's next request, answer nobody.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "hart/frames.h"
#include "session/lineclient.h"

class Link;
class TReceiveWait;
class TTimer;

// The pattern's timings; tests run it with short ones.
struct WindowTimings {
    int receiveWaitMs = 200;        // each block before it is looked at
    int replyTimerMs = 300;         // Timer2: the reply is decoded
    int firstTimeoutMs = 1000;      // Timer3 as the window starts
    int timeoutMs = 3000;           // Timer3 once a request sets it
    uint32_t readIntervalMs = 400;  // the line's silence that ends a block
};

class WindowRequest : public QObject, public LineClient {
    Q_OBJECT
public:
    // The frame buffer: transmit area bytes 8..511, receive area 512..915.
    // Bytes 0..2, 6 and 7 keep the HART instrument's identity and address.
    static constexpr size_t kFrameBufferSize = 916;
    static constexpr size_t kTxStart = 8;
    static constexpr size_t kRxStart = 512;
    static constexpr size_t kTxSize = kRxStart - kTxStart;
    static constexpr size_t kRxSize = kFrameBufferSize - kRxStart;
    static constexpr size_t kReplyTextMax = 255;
    using FrameBufferArray = std::array<uint8_t, kFrameBufferSize>;

    explicit WindowRequest(Link* link, QObject* parent = nullptr);

    void SetTimings(const WindowTimings& timings);
    const WindowTimings& timings() const { return timings_; }

    TTimer* ReplyTimer() const { return timer2_; }
    TTimer* ReplyTimeout() const { return timer3_; }
    TReceiveWait* ReceiveWait() const { return receiveWait_; }

    FrameBufferArray& FrameBuffer() { return frameBuffer_; }
    const FrameBufferArray& FrameBuffer() const { return frameBuffer_; }
    const std::string& ReplyText() const { return replyText_; }
    std::string& ReplyText() { return replyText_; }
    int PendingRequest() const { return pending_; }
    int TimeoutKind() const { return timeoutKind_; }
    uint8_t HartManufacturerId() const { return hartManufacturerId_; }
    // The HART revision of the instrument whose identity is kept (5 until a
    // command 0 reply told another): command 6 takes its revision's form.
    int HartRevision() const { return hartRevision_; }
    void KeepHartRevision(int revision) { hartRevision_ = revision; }
    // What a request of `code` leaves behind, without sending anything: the
    // window's tests and the soak put a reply under a code this way.
    void SetPending(int code, int timeoutKind);

    // Copies `frame` into the transmit area; the frame as it will be sent.
    std::string PutTx(const std::string& frame);
    // Writes `frame` (refused while the port is closed, when the request
    // still ends in its timeout message) and makes `code` pending with the
    // timeout its table row gives.
    void Request(const std::string& frame, int code);
    // A frame that makes no request (the factory frame): written, nothing
    // awaited, the pending request left as it is.
    void Write(const std::string& frame);
    // Timer2 fired: stopped; the request whose reply is to be decoded.
    int TakeReplyTimer();
    // Timer3 fired: stopped and recorded; the message to show, or nullptr.
    // The request stays pending, so a late reply is still handled.
    const char* TakeTimeout();
    // The window decoded the reply of `code`; `complete` when its decoder
    // took it whole. What that ends is the code's table row.
    void ReplyDecoded(int code, bool complete);

    // The HART instrument the last command 0 reply named, and the polling
    // address that request asked.
    HartIdentity KeptHartIdentity() const;
    void KeepHartIdentity(const HartIdentity& identity);
    void SetHartPollingAddress(uint8_t address) { frameBuffer_[7] = address; }
    uint8_t HartPollingAddress() const { return frameBuffer_[7]; }

    // The request still waits for its reply or its decoding.
    bool Active() const;
    // Enqueues a block for the 200 ms wait (the designed receive handler).
    void Enqueue(const uint8_t* data, uint16_t length);

    void Block(const uint8_t* data, uint16_t length) override { Enqueue(data, length); }
    void LineTaken() override;
    uint32_t ReadInterval() const override { return timings_.readIntervalMs; }
    bool Awaiting() const override { return Active(); }

signals:
    // A block after its wait, put in the receive area: `code` is the request
    // it was handled under, `shown` the Receive Buffer's text.
    void block(const QByteArray& block, int code, const QString& shown);

private:
    void HandleBlock(const std::string& block);
    void Opened();
    void HungUp();

    Link* link_;
    WindowTimings timings_;
    TReceiveWait* receiveWait_;
    TTimer* timer2_;
    TTimer* timer3_;
    FrameBufferArray frameBuffer_{};
    std::string replyText_;  // last handled block, at most 255 bytes, zero bytes kept
    int pending_ = 0;        // request awaiting its reply; 0 = none
    int timeoutKind_ = 0;    // 1 connection, 2 query, 3 setting, 4 HART
    uint8_t hartManufacturerId_ = 0;
    int hartRevision_ = 5;
};
