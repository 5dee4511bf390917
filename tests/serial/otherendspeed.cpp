#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

uint32_t OtherEndSpeed(int masterFd) {
    termios2 t{};
    return ioctl(masterFd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}
