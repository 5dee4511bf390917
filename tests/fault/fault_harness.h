// One harness for the fault tests: the window opened on a pseudo-terminal
// that plays the device, a meter of the longest event-loop stall, and the
// process's memory, descriptors and threads read from /proc.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "serial/ptypair.h"
#include "ui/stallmeter.h"

// Under AddressSanitizer freed memory sits in its quarantine and the runtime
// keeps threads of its own, so resident memory and thread counts say nothing
// about our code there; the plain build checks them.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCountsMemoryAndThreads = false;
#else
inline constexpr bool kCountsMemoryAndThreads = true;
#endif
#include "ui/window_fixture.h"

inline long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Entries of a /proc/self directory: "fd" for descriptors, "task" for threads.
// Qt's global thread pool (pictures are decoded there) is emptied first: its
// idle threads and their descriptors would otherwise come and go on a timer.
inline int ProcEntries(const char* dir) {
    QThreadPool::globalInstance()->waitForDone();
    int n = 0;
    if (DIR* d = opendir((std::string("/proc/self/") + dir).c_str())) {
        while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

inline std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

// The backlog's limits and the stalls are the designed receive wait's: these
// run the window's pattern at its real timings.
class FaultTest : public RealTimeWindowTest {
protected:
    static constexpr qint64 kStallLimitMs = 250;

    // Opens the window on a fresh pseudo-terminal whose master plays the device.
    void OpenOnPty() {
        pty = std::make_unique<TPtyPair>();
        ui->SPREALCOM->setEditText(QString::fromStdString(pty->SlavePath()));
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    }

    const BlockBacklog& Backlog() const { return form.Requests->ReceiveWait()->Backlog(); }
    // Every block accepted is handled, dropped for a newer one, discarded by a
    // close, or still waiting: none disappears unaccounted.
    void ExpectEveryBlockAccountedFor() const {
        const BlockBacklog& b = Backlog();
        EXPECT_EQ(b.accepted(),
                  form.Requests->ReceiveWait()->Handled() + b.dropped() + b.discarded() + b.size());
    }
    bool WaitUntilIdle(int timeoutMs) {
        return WaitFor([&] { return form.Requests->ReceiveWait()->Waiting() == 0; }, timeoutMs);
    }

    // 2 KiB every 100 ms for `seconds` (test_faults.cpp).
    void FloodWithUnsolicitedBlocks(int seconds, int memoryAtMs, bool startFull);

    std::unique_ptr<TPtyPair> pty;
};
