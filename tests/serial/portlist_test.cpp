// The "Serial Port:" list: the window's items first, then the devices found.
#include "serial/portlist.h"

#include <gtest/gtest.h>

#include "serial/linetext.h"

namespace {

TPortInfo Dev(const std::string& device) {
    TPortInfo port;
    port.device = device;
    return port;
}

TPortInfo Usb(const std::string& device, const std::string& link = {}) {
    return {device, link, "FT232R USB UART", "FTDI", "A10K3ZQ1", 0x0403, 0x6001};
}

TEST(PortList, FixedItemsFirstThenEachDeviceOnceInNaturalOrder) {
    const std::vector<std::string> fixed{"COM1", "COM2"};
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_A10K3ZQ1-if00-port0";
    const struct {
        const char* what;
        std::vector<TPortInfo> found;
        std::vector<std::string> texts;
        std::vector<std::string> recent = {};
    } cases[] = {
        {"nothing found", {}, {"COM1", "COM2"}},
        {"natural order",
         {Dev("/dev/ttyUSB10"), Dev("/dev/ttyUSB2"), Dev("/dev/ttyACM0"), Dev("/dev/ttyS3")},
         {"COM1", "COM2", "/dev/ttyACM0", "/dev/ttyS3", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
        {"a COMn's device is that item", {Dev("/dev/ttyS1"), Dev("/dev/ttyS3")},
         {"COM1", "COM2", "/dev/ttyS3"}},
        {"stable link preferred",
         {Usb("/dev/ttyUSB0", byId), Usb("/dev/ttyUSB1")},
         {"COM1", "COM2", byId, "/dev/ttyUSB1"}},
        {"duplicates and fixed names dropped",
         {Dev("/dev/ttyUSB0"), Dev("/dev/ttyUSB0"), Dev("COM2"), Dev("")},
         {"COM1", "COM2", "/dev/ttyUSB0"}},
        {"network ports used before come before the devices",
         {Dev("/dev/ttyUSB0")},
         {"COM1", "COM2", "socket://b:1", "rfc2217://a:2", "/dev/ttyUSB0"},
         {"socket://b:1", "rfc2217://a:2", "COM2"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> texts;
        for (const TPortItem& item : MergePortList(fixed, c.found, c.recent))
            texts.push_back(item.text);
        EXPECT_EQ(texts, c.texts) << c.what;
    }
}

TEST(PortList, RemembersNetworkPortsNewestFirstEachOnce) {
    std::vector<std::string> recent;
    for (const char* used : {"rfc2217://a:1", "socket://b:2", "/dev/ttyUSB0", "rfc2217://a:1"})
        recent = RememberNetworkPort(recent, used, 2);
    EXPECT_EQ(recent, (std::vector<std::string>{"rfc2217://a:1", "socket://b:2"}));
    recent = RememberNetworkPort(recent, "socket://c:3", 2);
    EXPECT_EQ(recent, (std::vector<std::string>{"socket://c:3", "rfc2217://a:1"}));
}

TEST(PortList, ToolTipTellsWhatTheDeviceSaysAboutItself) {
    EXPECT_EQ(PortToolTip(Usb("/dev/ttyUSB0")),
              "USB adapter\nFT232R USB UART\nManufacturer: FTDI\nUSB id: 0403:6001\n"
              "Serial number: A10K3ZQ1\nDevice: /dev/ttyUSB0");
    // No USB id to show.
    EXPECT_EQ(PortToolTip(Dev("/dev/ttyS4")), "Built-in UART\nDevice: /dev/ttyS4");
    EXPECT_EQ(MergePortList({}, {Usb("/dev/ttyUSB0")})[0].toolTip,
              PortToolTip(Usb("/dev/ttyUSB0")));
}

// Built-in UARTs, USB adapters and the kernel's console told apart; a COMn
// and the device it names are one entry.
TEST(PortList, KindsAndOneEntryADevice) {
    TPortInfo console = Dev("/dev/ttyS0");
    console.console = true;
    TPortInfo usbConsole = Usb("/dev/ttyUSB3");
    usbConsole.console = true;
    const struct {
        TPortInfo port;
        const char* kind;
    } kinds[] = {
        {Dev("/dev/ttyS4"), "built-in UART"},
        {Dev("/dev/ttyAMA0"), "built-in UART"},
        {console, "built-in UART, kernel console"},
        {Usb("/dev/ttyUSB0"), "USB adapter"},
        {usbConsole, "USB adapter, kernel console"},
        {Dev("/dev/ttyACM0"), "serial device"},
        {Dev("/dev/pts/3"), "pseudo-terminal"},
    };
    for (const auto& k : kinds) EXPECT_EQ(PortKind(k.port), k.kind) << k.port.device;
    EXPECT_EQ(PortToolTip(console).rfind("Built-in UART, kernel console: the kernel writes its "
                                         "messages here too\n",
                                         0),
              0u)
        << PortToolTip(console);

    const auto items = MergePortList({"COM1", "COM2"}, {console, Dev("/dev/ttyS4")});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (TPortItem{"COM1", PortToolTip(console),
                                   "= /dev/ttyS0, built-in UART, kernel console"}));
    EXPECT_EQ(items[1], (TPortItem{"COM2", "", ""}));
    EXPECT_EQ(items[2], (TPortItem{"/dev/ttyS4", PortToolTip(Dev("/dev/ttyS4")), "built-in UART"}));
    EXPECT_EQ(PortPaths({console, Dev("/dev/ttyS4")}),
              (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS4"}));
}

TEST(LineSettingsText, ShortForm) {
    EXPECT_EQ(LineSettingsText("9600", TByteSize::_8, 0, TStopBits::_1), "9600 8N1");
    EXPECT_EQ(LineSettingsText("19200", TByteSize::_7, 2, TStopBits::_2), "19200 7E2");
    EXPECT_EQ(LineSettingsText("1200", TByteSize::_8, 1, TStopBits::_1_5), "1200 8O1.5");
    EXPECT_EQ(LineSettingsText("96x00", TByteSize::_8, -1, TStopBits::_1), "96x00 8?1");
    EXPECT_EQ(LineSettingsText("2400", TByteSize::_8, 3, TStopBits::_1), "2400 8M1");
    EXPECT_EQ(LineSettingsText("2400", TByteSize::_8, 4, TStopBits::_2), "2400 8S2");
    EXPECT_EQ(LineSettingsText("2400", TByteSize::_8, 5, TStopBits::_1), "2400 8?1");
    EXPECT_EQ(HeldLineSettingsText("9600", TByteSize::_8, 2, TStopBits::_1, false),
              "9600 8N1 (this device cannot carry even parity)");
    EXPECT_EQ(HeldLineSettingsText("9600", TByteSize::_8, 1, TStopBits::_1, true), "9600 8O1");
    EXPECT_EQ(HeldLineSettingsText("9600", TByteSize::_8, 0, TStopBits::_1, false), "9600 8N1");
}

}  // namespace
