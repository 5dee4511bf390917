#include "serial/eventfd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

int CreateEventFd() { return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void SetEventFd(int fd) {
    const uint64_t one = 1;
    // EAGAIN only when the counter is near 2^64: it is set then anyway.
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ResetEventFd(int fd) {
    uint64_t value;
    while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool IsEventFdSet(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}
