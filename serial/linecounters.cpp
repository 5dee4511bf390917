#include "serial/linecounters.h"

#include <sys/ioctl.h>

#include "serial/tcomm.h"

TLineEvents LineEventsBetween(const serial_icounter_struct& before,
                              const serial_icounter_struct& after) {
    TLineEvents e;
    if (after.frame != before.frame) e.errors |= CE_FRAME;
    if (after.overrun != before.overrun) e.errors |= CE_OVERRUN;
    if (after.parity != before.parity) e.errors |= CE_RXPARITY;
    if (after.brk != before.brk) e.errors |= CE_BREAK;
    if (after.buf_overrun != before.buf_overrun) e.errors |= CE_RXOVER;
    if (after.dcd != before.dcd) e.modem |= MODEM_RLSD;
    if (after.rng != before.rng) e.modem |= MODEM_RING;
    return e;
}

TLineCounters::TLineCounters(int fd) : fd_(fd), active_(ioctl(fd, TIOCGICOUNT, &last_) == 0) {}

TLineEvents TLineCounters::Update() {
    serial_icounter_struct now{};
    if (!active_ || ioctl(fd_, TIOCGICOUNT, &now) != 0) return {};
    const TLineEvents e = LineEventsBetween(last_, now);
    last_ = now;
    return e;
}
