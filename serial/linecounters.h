// Line errors and modem events from the driver's interrupt counters
// (TIOCGICOUNT). Drivers without counters, pseudo-terminals among them, report
// none. Events are seen when the reader wakes, that is with received bytes.
#pragma once

#include <linux/serial.h>

#include <cstdint>

enum : uint32_t { MODEM_RLSD = 8, MODEM_RING = 4 };

struct TLineEvents {
    uint32_t errors = 0;  // CE_* flags
    uint32_t modem = 0;   // MODEM_RLSD, MODEM_RING
};

TLineEvents LineEventsBetween(const serial_icounter_struct& before,
                              const serial_icounter_struct& after);

class TLineCounters {
public:
    explicit TLineCounters(int fd);  // takes the baseline
    TLineEvents Update();            // events since the last call

private:
    int fd_;
    bool active_;
    serial_icounter_struct last_{};
};
