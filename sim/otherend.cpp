#include "sim/otherend.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

std::optional<OtherEndLine> ReadOtherEndLine(int fd) {
    // termios2 carries the speed as a number, whatever Bxxx constant or
    // custom divisor the other side used to set it.
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return std::nullopt;
    return OtherEndLine{t.c_ospeed, (t.c_cflag & PARODD) != 0};
}
