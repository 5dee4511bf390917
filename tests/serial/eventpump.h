// Main-thread event delivery for the tests: TComm raises its events from posted
// Qt events, so the test thread pumps them, always with a deadline.
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

inline QCoreApplication& TestApp() {
    static int argc = 1;
    static char name[] = "test_serial";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// true when cond became true before the limit.
inline bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
    TestApp();
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Delivers everything that arrives within the time: for "nothing more came".
inline void PumpFor(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}
