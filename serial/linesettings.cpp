#include "serial/linesettings.h"

#include <iterator>

namespace {

struct TBaudSpeed {
    uint32_t baud;
    speed_t speed;
};

constexpr TBaudSpeed kBaudSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kDataBits[] = {CS5, CS6, CS7, CS8};  // by TByteSize ordinal

}  // namespace

bool SpeedForBaud(uint32_t baud, speed_t* speed) {
    for (const auto& row : kBaudSpeeds) {
        if (row.baud == baud) {
            *speed = row.speed;
            return true;
        }
    }
    return false;
}

void MakeRaw(termios& t) {
    cfmakeraw(&t);
    t.c_iflag &= ~(IXOFF | IXANY | INPCK | IGNPAR);  // cfmakeraw leaves these
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void EncodeLineSettings(const TLineSettings& s, termios& t) {
    const tcflag_t previous = t.c_cflag;
    MakeRaw(t);

    speed_t speed;
    if (SpeedForBaud(s.baudRate, &speed)) cfsetspeed(&t, speed);

    // The window stores a typed parity unchecked (-1), so values outside the
    // enumerations arrive here; like other unavailable values they keep the
    // previous setting.
    const auto size = static_cast<size_t>(s.byteSize);
    t.c_cflag =
        (t.c_cflag & ~CSIZE) | (size < std::size(kDataBits) ? kDataBits[size] : previous & CSIZE);

    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
        case TParity::None:
            break;
        case TParity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case TParity::Even:
            t.c_cflag |= PARENB;
            break;
        case TParity::Mark:  // "stick" parity: PARODD picks 1
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case TParity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            t.c_cflag |= previous & (PARENB | PARODD | CMSPAR);
            break;
    }

    if (s.stopBits == TStopBits::_1) t.c_cflag &= ~CSTOPB;
    if (s.stopBits == TStopBits::_2) t.c_cflag |= CSTOPB;

    if (s.hardwareFlow) {
        t.c_cflag |= CRTSCTS;
    } else {
        t.c_cflag &= ~CRTSCTS;
    }
    if (s.xonXoffOut) t.c_iflag |= IXON;
    if (s.xonXoffIn) t.c_iflag |= IXOFF;
    if (s.parityCheck) t.c_iflag |= INPCK;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
}

bool SameLineSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] &&
           a.c_cc[VTIME] == b.c_cc[VTIME] && a.c_cc[VSTART] == b.c_cc[VSTART] &&
           a.c_cc[VSTOP] == b.c_cc[VSTOP] && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}
