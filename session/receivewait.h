// TReceiveWait: the receive handler's 200 ms wait, kept without blocking the
// window. Each block waits its turn in a bounded backlog; the head block is
// handed on once it has waited 200 ms after it arrived or after the block
// before it was handled, whichever is later, so blocks keep their order and
// their spacing while the window goes on repainting and reacting.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

#include "exchange/blockbacklog.h"

class TReceiveWait : public QObject {
    Q_OBJECT
public:
    static constexpr int kWaitMs = 200;
    // Five seconds' worth of blocks, at most 25 x 2048 bytes.
    static constexpr size_t kBacklogLimit = 5000 / kWaitMs;

    using Handler = std::function<void(const std::string& block)>;
    TReceiveWait(Handler handler, QObject* parent);

    // The wait itself (200 ms); tests run the pattern with a shorter one.
    void SetWait(int ms) { wait_.setInterval(ms); }

    void Enqueue(const uint8_t* data, uint16_t length);
    // Drops every block still waiting (the port they came from was closed).
    void Discard();

    const BlockBacklog& Backlog() const { return backlog_; }
    size_t Waiting() const { return backlog_.size(); }
    uint64_t Handled() const { return handled_; }

signals:
    // Blocks that newer ones pushed out of a full backlog, never handled.
    void BlocksDropped(int count);

private:
    void HandleHead();

    Handler handler_;
    BlockBacklog backlog_{kBacklogLimit};
    QTimer wait_;
    uint64_t handled_ = 0;
};
