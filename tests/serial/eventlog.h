// Records every event a TComm raises, with the time it was raised.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "serial/tcomm.h"

struct TEventLog {
    enum class TKind { Data, Error, Hangup, Modem, TxEmpty };
    struct TEntry {
        TKind kind;
        std::vector<uint8_t> bytes;  // Data only
        uint32_t flags = 0;
        std::chrono::steady_clock::time_point at;
    };

    explicit TEventLog(TComm& comm) {
        comm.OnReceiveData = [this](TComm*, const uint8_t* buf, uint16_t len) {
            Add(TKind::Data, std::vector<uint8_t>(buf, buf + len));
            terminatedAfterData = terminatedAfterData && buf[len] == 0;
        };
        comm.OnReceiveError = [this](TComm*, uint32_t f) { Add(TKind::Error, {}, f); };
        comm.OnRequestHangup = [this](TComm*) { Add(TKind::Hangup); };
        comm.OnModemStateChange = [this](TComm*, uint32_t f) { Add(TKind::Modem, {}, f); };
        comm.OnSendDataEmpty = [this](TComm*) { Add(TKind::TxEmpty); };
    }

    size_t Count(TKind kind) const {
        size_t n = 0;
        for (const auto& e : entries) n += e.kind == kind;
        return n;
    }
    std::vector<TEntry> Blocks() const {
        std::vector<TEntry> out;
        for (const auto& e : entries)
            if (e.kind == TKind::Data) out.push_back(e);
        return out;
    }

    std::vector<TEntry> entries;
    bool terminatedAfterData = true;  // every block had its zero byte after the data

private:
    void Add(TKind kind, std::vector<uint8_t> bytes = {}, uint32_t flags = 0) {
        entries.push_back({kind, std::move(bytes), flags, std::chrono::steady_clock::now()});
    }
};
