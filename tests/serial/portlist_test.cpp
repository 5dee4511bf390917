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
    } cases[] = {
        {"nothing found", {}, {"COM1", "COM2"}},
        {"natural order",
         {Dev("/dev/ttyUSB10"), Dev("/dev/ttyUSB2"), Dev("/dev/ttyACM0"), Dev("/dev/ttyS0")},
         {"COM1", "COM2", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
        {"stable link preferred",
         {Usb("/dev/ttyUSB0", byId), Usb("/dev/ttyUSB1")},
         {"COM1", "COM2", byId, "/dev/ttyUSB1"}},
        {"duplicates and fixed names dropped",
         {Dev("/dev/ttyUSB0"), Dev("/dev/ttyUSB0"), Dev("COM2"), Dev("")},
         {"COM1", "COM2", "/dev/ttyUSB0"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> texts;
        for (const TPortItem& item : MergePortList(fixed, c.found)) texts.push_back(item.text);
        EXPECT_EQ(texts, c.texts) << c.what;
    }
}

TEST(PortList, ToolTipTellsWhatTheDeviceSaysAboutItself) {
    EXPECT_EQ(PortToolTip(Usb("/dev/ttyUSB0")),
              "FT232R USB UART\nManufacturer: FTDI\nUSB id: 0403:6001\n"
              "Serial number: A10K3ZQ1\nDevice: /dev/ttyUSB0");
    EXPECT_EQ(PortToolTip(Dev("/dev/ttyS4")), "Device: /dev/ttyS4");  // no USB id to show
    EXPECT_EQ(MergePortList({}, {Usb("/dev/ttyUSB0")})[0].toolTip,
              PortToolTip(Usb("/dev/ttyUSB0")));
}

TEST(LineSettingsText, ShortForm) {
    EXPECT_EQ(LineSettingsText("9600", TByteSize::_8, 0, TStopBits::_1), "9600 8N1");
    EXPECT_EQ(LineSettingsText("19200", TByteSize::_7, 2, TStopBits::_2), "19200 7E2");
    EXPECT_EQ(LineSettingsText("1200", TByteSize::_8, 1, TStopBits::_1_5), "1200 8O1.5");
    EXPECT_EQ(LineSettingsText("96x00", TByteSize::_8, -1, TStopBits::_1), "96x00 8?1");
}

}  // namespace
