// The link: the one owner of the serial line. It holds the serial component,
// the receive wait, the request pending with its timeout, the HART instrument's
// identity and the sequence engine, and it decides where every received block
// goes: to the sequence that asked, to the window's own request, or to nobody.
// QtCore only, shared by the window and tavrix-cli.
//
// The window's own requests keep their designed pattern: the frame is built
// in the transmit area (PutTx), sent with its request code (Request), each
// block waits 200 ms (ReceiveWait) and is put in the receive area and
// ReplyText; the reply timer (Timer2) and the reply timeout (Timer3) run as
// the code's table row says. The window reads that state to decode and show,
// and tells the link what a decoded reply completed (ReplyDecoded).
//
// Sequences (Read Module, Apply, trend polls, the CLI) run on Sequencer(),
// judged by their replies' frames and timed from the line speed. While one
// runs, the component delivers blocks as they arrive (a short read interval)
// and the window's pending request is given up; blocks that arrive after a
// sequence, before the window's next request, answer nobody. The window's own
// requests keep the read interval the window set.
//
// Everyone else subscribes to the results: sent, received, timedOut, opened,
// closed, hungUp, blocksDropped (the traffic log), received (the status line),
// windowBlock (the window's displays and the cross-check's capture).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "exchange/exchangerecord.h"
#include "exchange/requestsequence.h"
#include "hart/frames.h"

class RequestRunner;
class TComm;
class TReceiveWait;
class TTimer;

class Link : public QObject {
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

    explicit Link(QObject* parent = nullptr);
    ~Link() override;

    TComm* Comm() const { return comm_; }
    RequestRunner* Sequencer() const { return sequencer_; }
    TTimer* ReplyTimer() const { return timer2_; }  // 300 ms: the reply is decoded
    TTimer* ReplyTimeout() const {
        return timer3_;
    }  // 1000 ms at start, 3000 once a request sets it
    TReceiveWait* ReceiveWait() const { return receiveWait_; }

    // The window's request state; the window reads it, the link writes it.
    std::array<uint8_t, kFrameBufferSize> FrameBuffer{};
    std::string ReplyText;   // last handled block, at most 255 bytes, zero bytes kept
    int PendingRequest = 0;  // request awaiting its reply; 0 = none
    int TimeoutKind = 0;     // 1 connection, 2 query, 3 setting, 4 HART
    uint8_t HartManufacturerId = 0;

    // Opens the component as it is set; blocks a vanished device left are
    // discarded first, so none answers a request of the new opening.
    void Open();
    // Closes the component; blocks still waiting from it go with it.
    void Close();
    // After the device hung up: closed, and no timeout message will follow. A
    // reply that already waits for its decoding is still decoded.
    void CloseAfterHangup();

    // Copies `frame` into the transmit area; the frame as it will be sent.
    std::string PutTx(const std::string& frame);
    // The window's request: writes `frame` (refused while the port is closed,
    // when the request still ends in its timeout message) and makes `code`
    // pending with the timeout its table row gives.
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
    // took it whole. Ends the request where its kind ends with its reply.
    void ReplyDecoded(int code, bool complete);

    // The HART instrument the last command 0 reply named, and the polling
    // address that request asked.
    HartIdentity KeptHartIdentity() const;
    void KeepHartIdentity(const HartIdentity& identity);
    void SetHartPollingAddress(uint8_t address) { FrameBuffer[7] = address; }
    uint8_t HartPollingAddress() const { return FrameBuffer[7]; }

    // The window's own request still waits for its reply or its decoding.
    bool WindowRequestActive() const;
    // Nothing is running on the line: a sequence may start without cutting
    // anything off.
    bool LineFree() const;

    // A block as the component delivers it; also the window's test entry.
    void BlockReceived(const uint8_t* data, uint16_t length);
    // Enqueues a block for the window's 200 ms wait (the designed receive handler).
    void EnqueueForWindow(const uint8_t* data, uint16_t length);

    const ExchangeRecord& Current() const { return current_; }

    // The module's longest answer time, which the sequences' timeouts allow for.
    void SetAnswerTime(std::chrono::milliseconds answer) { answerTime_ = answer; }
    // How long yet until the last request's reply has ended or can no longer
    // come; a sequence's first frame waits that long. Zero or less: quiet.
    std::chrono::milliseconds QuietWait() const;
    // The line's timing as sequences see it now: speed and character size of
    // the component, the answer time.
    SequenceTiming Timing() const;
    // The read interval the component delivers blocks after while a sequence
    // runs: a few character times, so each block comes as it arrives.
    uint32_t SequenceReadInterval() const;

signals:
    // A frame went to the port (or was refused), with the request it makes.
    void sent(const ExchangeRecord& request);
    // A block as delivered, before anyone handles it; `request` as it stood.
    void received(const QByteArray& block, const ExchangeRecord& request);
    void timedOut(const ExchangeRecord& request);
    void opened();
    void closed();
    // The device vanished (the first report of an open port); the window
    // then closes through CloseAfterHangup.
    void hangupReported();
    void hungUp();
    void blocksDropped(int count, size_t waiting);
    // The window's block after its wait, put in the receive area: `code` is
    // the request it was handled under, `shown` the Receive Buffer's text.
    void windowBlock(const QByteArray& block, int code, const QString& shown);
    // A sequence step's reply: its code and bytes.
    void sequenceReplied(int step, int code, const QByteArray& reply);

private:
    void HandleWindowBlock(const std::string& block);
    void WriteAs(int code, const std::string& frame);
    void Record(int code, ExchangeRecord::Origin origin, const std::string& frame);
    void SequenceStarted();
    void SequenceEnded();

    TComm* comm_;
    RequestRunner* sequencer_;
    TReceiveWait* receiveWait_;
    TTimer* timer2_;
    TTimer* timer3_;
    ExchangeRecord current_;
    // A sequence took the line since the window's last request: that request
    // was given up, and blocks until the window's next one answer nobody.
    bool windowGaveUp_ = false;
    std::chrono::milliseconds answerTime_{500};
    // The last request as a step (what it awaits) and when a block last came:
    // what a sequence's first frame waits for.
    SequenceStep lastStep_;
    std::optional<std::chrono::steady_clock::time_point> lastBlockAt_;
    // The window's read interval, kept while a sequence runs on a short one.
    std::optional<uint32_t> windowReadInterval_;
};
