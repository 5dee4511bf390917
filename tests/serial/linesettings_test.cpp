// Port names, the termios mapping and the line-event flags, without a device.
#include "serial/linesettings.h"

#include <gtest/gtest.h>

#include "serial/linecounters.h"

namespace {

TEST(ResolvePortName, MapsComNamesAndKeepsPaths) {
    const std::pair<const char*, const char*> rows[] = {
        {"COM1", "/dev/ttyS0"}, {"COM9", "/dev/ttyS8"}, {"/dev/pts/3", "/dev/pts/3"},
        {"COM10", "COM10"},     {"COM0", "COM0"},       {"", ""},
    };
    for (const auto& [name, path] : rows) EXPECT_EQ(ResolvePortName(name), path) << name;
}

// What a device may hold before the port is opened: a line discipline that
// edits, echoes and handles flow.
termios Cooked() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | IGNPAR;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
    t.c_lflag = ICANON | ECHO | ISIG;
    t.c_cc[VTIME] = 5;
    cfsetspeed(&t, B4800);
    return t;
}

TEST(EncodeLineSettings, DefaultsGiveARawLineFromAnyStart) {
    termios t = Cooked();
    EncodeLineSettings(TLineSettings{}, t);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | INPCK | IGNPAR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              CS8 | CLOCAL | CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetispeed(&t), B9600);
}

TEST(EncodeLineSettings, ParityIncludingStickParity) {
    const tcflag_t mask = PARENB | PARODD | CMSPAR;
    const std::pair<TParity, tcflag_t> rows[] = {
        {TParity::None, 0},
        {TParity::Odd, PARENB | PARODD},
        {TParity::Even, PARENB},
        {TParity::Mark, PARENB | PARODD | CMSPAR},
        {TParity::Space, PARENB | CMSPAR},
    };
    for (const auto& [parity, bits] : rows) {
        for (const tcflag_t start : {tcflag_t{0}, mask}) {
            termios t{};
            t.c_cflag = start;
            TLineSettings s;
            s.parity = parity;
            EncodeLineSettings(s, t);
            EXPECT_EQ(t.c_cflag & mask, bits) << static_cast<int>(parity) << " from " << start;
        }
    }
}

// 1.5 stop bits and rates without a Bxxxx constant keep what the port had.
TEST(EncodeLineSettings, UnavailableValuesKeepThePreviousOnes) {
    const struct {
        TStopBits stop;
        tcflag_t before, after;
    } stops[] = {
        {TStopBits::_1, CSTOPB, 0},
        {TStopBits::_2, 0, CSTOPB},
        {TStopBits::_1_5, 0, 0},
        {TStopBits::_1_5, CSTOPB, CSTOPB},
    };
    for (const auto& r : stops) {
        termios t{};
        t.c_cflag = r.before;
        TLineSettings s;
        s.stopBits = r.stop;
        EncodeLineSettings(s, t);
        EXPECT_EQ(t.c_cflag & CSTOPB, r.after) << static_cast<int>(r.stop);
    }

    for (const tcflag_t parity : {tcflag_t{0}, tcflag_t{PARENB | PARODD}}) {
        termios t{};
        t.c_cflag = parity | CS7;
        TLineSettings s;
        s.parity = static_cast<TParity>(-1);  // a typed parity that names no item
        s.byteSize = static_cast<TByteSize>(9);
        EncodeLineSettings(s, t);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), parity);
        EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS7});
    }

    const std::pair<uint32_t, speed_t> rates[] = {{14400, B4800}, {56000, B4800}, {19200, B19200}};
    for (const auto& [baud, speed] : rates) {
        termios t = Cooked();
        TLineSettings s;
        s.baudRate = baud;
        EncodeLineSettings(s, t);
        EXPECT_EQ(cfgetospeed(&t), speed) << baud;
        EXPECT_EQ(cfgetispeed(&t), speed) << baud;
    }
}

TEST(EncodeLineSettings, FlowControlAndParityCheckEachSetOneFlag) {
    const struct {
        bool TLineSettings::*field;
        tcflag_t iflag, cflag;
    } rows[] = {
        {&TLineSettings::xonXoffOut, IXON, 0},
        {&TLineSettings::xonXoffIn, IXOFF, 0},
        {&TLineSettings::hardwareFlow, 0, CRTSCTS},
        {&TLineSettings::parityCheck, INPCK, 0},
    };
    for (const auto& r : rows) {
        termios t = Cooked();
        TLineSettings s;
        s.*r.field = true;
        s.xonChar = 0x01;
        s.xoffChar = 0x02;
        EncodeLineSettings(s, t);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), r.iflag) << r.iflag << "/" << r.cflag;
        EXPECT_EQ(t.c_cflag & CRTSCTS, r.cflag) << r.iflag << "/" << r.cflag;
        EXPECT_EQ(t.c_cc[VSTART], 0x01);
        EXPECT_EQ(t.c_cc[VSTOP], 0x02);
    }
}

TEST(LineEventsBetween, MapsCounterChangesToFlags) {
    const struct {
        int serial_icounter_struct::*counter;  // nullptr: nothing changes
        uint32_t errors, modem;
    } rows[] = {
        {nullptr, 0, 0},
        {&serial_icounter_struct::rx, 0, 0},
        {&serial_icounter_struct::cts, 0, 0},
        {&serial_icounter_struct::frame, CE_FRAME, 0},
        {&serial_icounter_struct::overrun, CE_OVERRUN, 0},
        {&serial_icounter_struct::parity, CE_RXPARITY, 0},
        {&serial_icounter_struct::brk, CE_BREAK, 0},
        {&serial_icounter_struct::buf_overrun, CE_RXOVER, 0},
        {&serial_icounter_struct::dcd, 0, MODEM_RLSD},
        {&serial_icounter_struct::rng, 0, MODEM_RING},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        serial_icounter_struct before{};
        before.frame = 5;
        before.dcd = 7;
        serial_icounter_struct after = before;
        if (rows[i].counter) after.*rows[i].counter += 2;
        const TLineEvents e = LineEventsBetween(before, after);
        EXPECT_EQ(e.errors, rows[i].errors) << "row " << i;
        EXPECT_EQ(e.modem, rows[i].modem) << "row " << i;
    }
}

}  // namespace
