// Services that probe serial adapters, found from udev's properties of the
// device and systemd's state of the service (both faked here).
#include "serial/probers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "serial/openfailure.h"

namespace {

TEST(Probers, ParsesTheUdevDatabaseEntry) {
    const TUdevProperties p = ParseUdevData(
        "S:serial/by-id/usb-FTDI_FT232R-if00-port0\n"
        "I:1234567\n"
        "E:ID_MM_CANDIDATE=1\n"
        "E:ID_VENDOR_ID=0403\n"
        "E:ID_MODEL=FT232R USB UART\n"
        "E:=nameless\n"
        "E:NOVALUE\n"
        "G:systemd\n");
    EXPECT_EQ(p, (TUdevProperties{{"ID_MM_CANDIDATE", "1"},
                                  {"ID_VENDOR_ID", "0403"},
                                  {"ID_MODEL", "FT232R USB UART"}}));
}

TEST(Probers, NamedWhenTheyRunAndUdevLetsThemAtTheDevice) {
    const struct {
        const char* what;
        TUdevProperties properties;
        std::set<std::string> active;
        std::vector<std::string> probers;
    } cases[] = {
        {"candidate, running", {{"ID_MM_CANDIDATE", "1"}}, {"ModemManager.service"},
         {"ModemManager"}},
        {"candidate, stopped", {{"ID_MM_CANDIDATE", "1"}}, {}, {}},
        {"ignored by rule",
         {{"ID_MM_CANDIDATE", "1"}, {"ID_MM_DEVICE_IGNORE", "1"}},
         {"ModemManager.service"},
         {}},
        {"port ignored", {{"ID_MM_CANDIDATE", "1"}, {"ID_MM_PORT_IGNORE", "1"}},
         {"ModemManager.service"}, {}},
        {"not a candidate", {{"ID_VENDOR_ID", "0403"}}, {"ModemManager.service"}, {}},
        {"braille adapter, udev service",
         {{"BRLTTY_BRAILLE_DRIVER", "bm"}},
         {"brltty-udev.service"},
         {"brltty"}},
        {"both", {{"ID_MM_CANDIDATE", "1"}, {"BRLTTY_BRAILLE_DRIVER", "bm"}},
         {"ModemManager.service", "brltty.service"}, {"ModemManager", "brltty"}},
        {"braille adapter, no brltty", {{"BRLTTY_BRAILLE_DRIVER", "bm"}},
         {"ModemManager.service"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> asked;
        const auto found = ProbersOf(c.properties, [&](const std::string& unit) {
            asked.push_back(unit);
            return c.active.count(unit) > 0;
        });
        std::vector<std::string> names;
        for (const TProber& p : found) names.push_back(p.name);
        EXPECT_EQ(names, c.probers) << c.what;
        if (c.properties.size() == 1 && c.properties.count("ID_VENDOR_ID"))
            EXPECT_TRUE(asked.empty()) << "systemd asked about a device no prober touches";
    }
    const auto mm = ProbersOf({{"ID_MM_CANDIDATE", "1"}}, [](const std::string&) { return true; });
    ASSERT_EQ(mm.size(), 1u);
    EXPECT_NE(mm[0].fix.find("70-tavrix-mm-ignore.rules /etc/udev/rules.d/"), std::string::npos);
    EXPECT_NE(mm[0].fix.find("sudo systemctl stop ModemManager"), std::string::npos);
    EXPECT_EQ(ProberNote(mm).rfind("ModemManager probes this device and may have taken the reply: "
                                   "keep it off the device",
                                   0),
              0u)
        << ProberNote(mm);
    EXPECT_EQ(ProberNote({}), "");
}

TEST(Probers, ReadsTheDevicesEntryByItsNumbers) {
    const std::filesystem::path root =
        std::filesystem::path(testing::TempDir()) / "tavrix-udev-data";
    std::filesystem::create_directories(root);
    std::ofstream(root / "c1:3") << "E:ID_MM_CANDIDATE=1\n";  // /dev/null is 1:3
    EXPECT_EQ(ReadUdevProperties("/dev/null", root.string()),
              (TUdevProperties{{"ID_MM_CANDIDATE", "1"}}));
    EXPECT_TRUE(ReadUdevProperties("/dev/zero", root.string()).empty());  // 1:5: none
    EXPECT_TRUE(ReadUdevProperties(root.string(), root.string()).empty());  // no device
    std::filesystem::remove_all(root);
}

// A busy device whose holder is hidden (a root service): the service that
// probes it is named, with its fix.
TEST(Probers, BusyOpeningNamesTheProberWhenNoHolderIsSeen) {
    TOpenFailure f;
    f.step = TOpenStep::Lock;
    f.error = EBUSY;
    f.path = "/dev/ttyUSB0";
    f.probers = {{"ModemManager", "stop it: sudo systemctl stop ModemManager"}};
    const std::string summary = OpenFailureSummary(f);
    EXPECT_NE(summary.find("ModemManager opens serial devices on its own and may hold this one. "
                           "To stop it: sudo systemctl stop ModemManager."),
              std::string::npos)
        << summary;
    f.holders = {{812, "minicom"}};  // a holder seen is named instead
    EXPECT_NE(OpenFailureSummary(f).find("minicom (process 812)"), std::string::npos);
}

}  // namespace
