// A TComm set up like the application's Comm1 on the slave of a fresh
// pseudo-terminal, with every event recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "eventlog.h"
#include "eventpump.h"
#include "ptypair.h"
#include "serial/tcomm.h"

// The message OpenPort failed with, "" when it succeeded.
inline std::string OpenFailure(TComm& comm) {
    try {
        comm.OpenPort();
        return "";
    } catch (const ECommsError& e) {
        return e.what();
    }
}

// Why OpenPort failed; null when it succeeded or did not say.
inline std::shared_ptr<const TOpenFailure> OpenFailureOf(TComm& comm) {
    try {
        comm.OpenPort();
        return nullptr;
    } catch (const ECommsError& e) {
        return e.Failure;
    }
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class TCommOnPty : public ::testing::Test {
protected:
    TCommOnPty() {
        TestApp();
        comm.CommName = pty.SlavePath();
        // Binary data must pass untouched.
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.SetReadIntervalTimeout(400);
    }

    using TKind = TEventLog::TKind;
    using Ms = std::chrono::milliseconds;

    void OpenAndSettle() {
        comm.OpenPort();
        ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::TxEmpty) == 1; }, Ms(5000)));
    }

    TPtyPair pty;
    TComm comm;
    TEventLog log{comm};
};
