#include "serial/linespeed.h"

// <asm/termbits.h> declares its own struct termios, so this file must never
// see <termios.h>: it holds the termios2 calls and nothing else.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetExactSpeed(int fd, uint32_t baud) {
    if (baud == 0) return false;
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    // No input rate of its own: input follows the output, so a later
    // standard rate set through termios moves both.
    t.c_cflag &= ~(CBAUD | CIBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return false;
    return LineSpeed(fd) == baud;
}

std::optional<uint32_t> LineSpeed(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return std::nullopt;
    return t.c_ospeed;
}
