// Port names, the termios mapping and the line-event flags, without a device.
#include "serial/linesettings.h"

#include <gtest/gtest.h>

#include "serial/linecounters.h"
#include "serial/tcomm.h"

namespace {

TEST(ResolvePortName, MapsComNamesAndKeepsPaths) {
    const struct {
        const char* name;
        const char* path;
    } rows[] = {
        {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"},
        {"COM9", "/dev/ttyS8"}, {"/dev/pts/3", "/dev/pts/3"},
        {"COM10", "COM10"},     {"COM0", "COM0"},
        {"com1", "com1"},       {"", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(ResolvePortName(r.name), r.path) << r.name;
}

TEST(SpeedForBaud, KnowsStandardRatesOnly) {
    const struct {
        uint32_t baud;
        bool known;
        speed_t speed;
    } rows[] = {
        {1200, true, B1200},     {9600, true, B9600}, {19200, true, B19200}, {38400, true, B38400},
        {115200, true, B115200}, {14400, false, 0},   {56000, false, 0},     {0, false, 0},
    };
    for (const auto& r : rows) {
        speed_t s = 0;
        EXPECT_EQ(SpeedForBaud(r.baud, &s), r.known) << r.baud;
        if (r.known) {
            EXPECT_EQ(s, r.speed) << r.baud;
        }
    }
}

termios Cooked() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | IGNPAR;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CRTSCTS | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG;
    t.c_cc[VMIN] = 0;
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
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CRTSCTS | CLOCAL | CREAD), CS8 | CLOCAL | CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(cfgetispeed(&t), B9600);
}

TEST(EncodeLineSettings, Parity) {
    const tcflag_t mask = PARENB | PARODD | CMSPAR;
    const struct {
        TParity parity;
        tcflag_t bits;
    } rows[] = {
        {TParity::None, 0},
        {TParity::Odd, PARENB | PARODD},
        {TParity::Even, PARENB},
        {TParity::Mark, PARENB | PARODD | CMSPAR},
        {TParity::Space, PARENB | CMSPAR},
    };
    for (const auto& r : rows) {
        for (tcflag_t start : {tcflag_t{0}, mask}) {
            termios t{};
            t.c_cflag = start;
            TLineSettings s;
            s.parity = r.parity;
            EncodeLineSettings(s, t);
            EXPECT_EQ(t.c_cflag & mask, r.bits) << static_cast<int>(r.parity);
        }
    }
}

TEST(EncodeLineSettings, DataBits) {
    const struct {
        TByteSize size;
        tcflag_t bits;
    } rows[] = {
        {TByteSize::_5, CS5}, {TByteSize::_6, CS6}, {TByteSize::_7, CS7}, {TByteSize::_8, CS8}};
    for (const auto& r : rows) {
        termios t = Cooked();
        TLineSettings s;
        s.byteSize = r.size;
        EncodeLineSettings(s, t);
        EXPECT_EQ(t.c_cflag & CSIZE, r.bits) << static_cast<int>(r.size);
    }
}

// 1.5 stop bits and rates without a constant keep what the port had.
TEST(EncodeLineSettings, UnavailableValuesKeepThePreviousOnes) {
    const struct {
        TStopBits stop;
        tcflag_t before;
        tcflag_t after;
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

    const struct {
        uint32_t baud;
        speed_t after;
    } rates[] = {{14400, B4800}, {56000, B4800}, {19200, B19200}};
    for (const auto& r : rates) {
        termios t = Cooked();
        TLineSettings s;
        s.baudRate = r.baud;
        EncodeLineSettings(s, t);
        EXPECT_EQ(cfgetospeed(&t), r.after) << r.baud;
        EXPECT_EQ(cfgetispeed(&t), r.after) << r.baud;
    }
}

TEST(EncodeLineSettings, FlowControlAndParityCheck) {
    const struct {
        const char* name;
        void (*set)(TLineSettings&);
        tcflag_t iflag;
        tcflag_t cflag;
    } rows[] = {
        {"none", [](TLineSettings&) {}, 0, 0},
        {"xon out", [](TLineSettings& s) { s.xonXoffOut = true; }, IXON, 0},
        {"xon in", [](TLineSettings& s) { s.xonXoffIn = true; }, IXOFF, 0},
        {"hardware", [](TLineSettings& s) { s.hardwareFlow = true; }, 0, CRTSCTS},
        {"parity check", [](TLineSettings& s) { s.parityCheck = true; }, INPCK, 0},
    };
    for (const auto& r : rows) {
        termios t = Cooked();
        TLineSettings s;
        r.set(s);
        EncodeLineSettings(s, t);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), r.iflag) << r.name;
        EXPECT_EQ(t.c_cflag & CRTSCTS, r.cflag) << r.name;
    }

    termios t{};
    TLineSettings s;
    s.xonChar = 0x01;
    s.xoffChar = 0x02;
    EncodeLineSettings(s, t);
    EXPECT_EQ(t.c_cc[VSTART], 0x01);
    EXPECT_EQ(t.c_cc[VSTOP], 0x02);
}

TEST(SameLineSettings, SeesEveryFieldTheDriverMayChange) {
    termios wanted{};
    EncodeLineSettings(TLineSettings{}, wanted);
    EXPECT_TRUE(SameLineSettings(wanted, wanted));

    const struct {
        const char* name;
        void (*change)(termios&);
    } rows[] = {
        {"data bits", [](termios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }},
        {"parity", [](termios& t) { t.c_cflag |= PARENB; }},
        {"input flags", [](termios& t) { t.c_iflag |= IXON; }},
        {"speed", [](termios& t) { cfsetspeed(&t, B1200); }},
        {"vmin", [](termios& t) { t.c_cc[VMIN] = 0; }},
    };
    for (const auto& r : rows) {
        termios got = wanted;
        r.change(got);
        EXPECT_FALSE(SameLineSettings(got, wanted)) << r.name;
    }
}

TEST(LineEventsBetween, MapsCounterChangesToFlags) {
    const struct {
        const char* name;
        void (*bump)(serial_icounter_struct&);
        uint32_t errors;
        uint32_t modem;
    } rows[] = {
        {"nothing", [](serial_icounter_struct&) {}, 0, 0},
        {"bytes and handshake lines",
         [](serial_icounter_struct& c) { c.rx += 10, c.tx += 3, c.cts++, c.dsr++; }, 0, 0},
        {"frame", [](serial_icounter_struct& c) { c.frame++; }, CE_FRAME, 0},
        {"overrun", [](serial_icounter_struct& c) { c.overrun++; }, CE_OVERRUN, 0},
        {"parity", [](serial_icounter_struct& c) { c.parity += 2; }, CE_RXPARITY, 0},
        {"break", [](serial_icounter_struct& c) { c.brk++; }, CE_BREAK, 0},
        {"buffer overrun", [](serial_icounter_struct& c) { c.buf_overrun++; }, CE_RXOVER, 0},
        {"carrier", [](serial_icounter_struct& c) { c.dcd++; }, 0, 8},
        {"ring", [](serial_icounter_struct& c) { c.rng++; }, 0, 4},
        {"all", [](serial_icounter_struct& c) { c.frame++, c.parity++, c.dcd++, c.rng++; },
         CE_FRAME | CE_RXPARITY, 12},
    };
    for (const auto& r : rows) {
        serial_icounter_struct before{};
        before.frame = 5;
        before.dcd = 7;
        serial_icounter_struct after = before;
        r.bump(after);
        const TLineEvents e = LineEventsBetween(before, after);
        EXPECT_EQ(e.errors, r.errors) << r.name;
        EXPECT_EQ(e.modem, r.modem) << r.name;
    }
}

}  // namespace
