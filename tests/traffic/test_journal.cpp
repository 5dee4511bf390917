// The traffic journal's file: its name, its lines, the folder kept within
// its cap, and a file that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "exchange/csvtext.h"
#include "traffic/journal.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh folder under the test's temporary directory.
std::string Folder(const std::string& name) {
    const std::string folder = testing::TempDir() + "journal-" + name;
    fs::remove_all(folder);
    return folder;
}

void MakeFile(const std::string& path, size_t size, time_t modified) {
    std::ofstream(path) << std::string(size, 'x');
    const utimbuf times{modified, modified};
    utime(path.c_str(), &times);
}

}  // namespace

TEST(Journal, FolderFollowsTheStateHome) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string keep = saved ? saved : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
    EXPECT_EQ(JournalFolder(), "/var/tmp/state/tavrix");
    setenv("XDG_STATE_HOME", "relative/state", 1);  // to be ignored
    setenv("HOME", "/home/engineer", 1);
    EXPECT_EQ(JournalFolder(), "/home/engineer/.local/state/tavrix");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(JournalFolder(), "/home/engineer/.local/state/tavrix");
    if (saved) setenv("XDG_STATE_HOME", keep.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
}

TEST(Journal, NamesAndLines) {
    const auto start = std::chrono::system_clock::from_time_t(0);
    const std::string date = JournalFileName(start, "").substr(8, 19);  // local time
    const struct {
        const char* port;
        std::string name;
    } cases[] = {
        {"/dev/ttyUSB0", "traffic-" + date + "-ttyUSB0.txt"},
        {"/dev/serial/by-id/usb-FTDI_RS485:x y", "traffic-" + date + "-usb-FTDI_RS485_x_y.txt"},
        {"/dev/pts/3", "traffic-" + date + "-3.txt"},
        {"", "traffic-" + date + "-none.txt"},
        {"/dev/", "traffic-" + date + "-none.txt"},
        {"rfc2217://127.0.0.1:2000", "traffic-" + date + "-rfc2217-127.0.0.1-2000.txt"},
        {"socket://[::1]:4001", "traffic-" + date + "-socket-_--1_-4001.txt"},
        {"socket://plant/../x:1", "traffic-" + date + "-socket-plant_.._x-1.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(JournalFileName(start, c.port), c.name) << c.port;
    EXPECT_EQ(JournalLine({"a", "b\tc", "d\ne", ""}), "a\tb c\td e\t\n");
}

TEST(Journal, WritesAsItGoesAndClosesWithTheStatistics) {
    const std::string folder = Folder("write") + "/deeper";
    const auto start = std::chrono::system_clock::now();
    TrafficJournal journal;
    ASSERT_TRUE(journal.Open(folder, "9.9", "/dev/pts/3 9600 8N1", "/dev/pts/3", start))
        << journal.error();
    journal.Append({"12:00:00.000", "", "TX", "Communication Query", "7", "51 51", "QQ", ""});
    // On disk before anything is closed or flushed: a killed program keeps it.
    const std::string before = Read(journal.path());
    EXPECT_NE(before.find("# Tavrix Configurator 9.9 traffic log\n"), std::string::npos);
    EXPECT_NE(before.find("# Port: /dev/pts/3 9600 8N1\n"), std::string::npos);
    EXPECT_NE(before.find("# Saved: " + IsoLocalTime(start) + "\n"), std::string::npos);
    EXPECT_NE(before.find("Time\t+ms\tDir\tRequest\tVerdict\tLen\tHex\tText\tDecoded\n"), std::string::npos);
    EXPECT_TRUE(before.ends_with("\tTX\tCommunication Query\t7\t51 51\tQQ\t\n"));
    // A second session in the same second on the same port gets its own file.
    TrafficJournal second;
    ASSERT_TRUE(second.Open(folder, "9.9", "x", "/dev/pts/3", start));
    EXPECT_NE(second.path(), journal.path());
    EXPECT_TRUE(second.path().ends_with("-3-2.txt")) << second.path();
    journal.Close({"Total: 1 request"});
    EXPECT_TRUE(Read(journal.path()).ends_with("# Statistics\n# Total: 1 request\n"));
    EXPECT_FALSE(journal.IsOpen());
    journal.Append({"after"});  // closed: nothing
    EXPECT_EQ(Read(journal.path()).find("after"), std::string::npos);
}

TEST(Journal, OldestFilesGoPastTheCap) {
    const std::string folder = Folder("prune");
    fs::create_directories(folder);
    const time_t now = time(nullptr);
    // Five journals of 100 bytes, the oldest first, and a file of another kind.
    for (int i = 0; i < 5; ++i)
        MakeFile(folder + "/traffic-" + std::to_string(i) + ".txt", 100, now - 1000 + i);
    MakeFile(folder + "/notes.txt", 1000, now - 5000);
    EXPECT_EQ(PruneJournals(folder, 300), 2u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(fs::exists(folder + "/traffic-" + std::to_string(i) + ".txt"), i >= 2) << i;
    EXPECT_TRUE(fs::exists(folder + "/notes.txt"));
    // The file being written stays, however large: the others go.
    MakeFile(folder + "/traffic-0.txt", 1000, now);
    EXPECT_EQ(PruneJournals(folder, 300, folder + "/traffic-0.txt"), 3u);
    EXPECT_TRUE(fs::exists(folder + "/traffic-0.txt"));
    // Opening a journal prunes the folder, the new file kept.
    TrafficJournal journal;
    ASSERT_TRUE(journal.Open(folder, "1", "x", "p", std::chrono::system_clock::now(), 100));
    EXPECT_FALSE(fs::exists(folder + "/traffic-0.txt"));
    EXPECT_TRUE(fs::exists(journal.path()));
}

TEST(Journal, AFolderThatCannotBeMadeIsSaid) {
    const std::string file = Folder("blocked");
    std::ofstream(file) << "a file where the folder should be";
    TrafficJournal journal;
    EXPECT_FALSE(journal.Open(file + "/tavrix", "1", "x", "p", std::chrono::system_clock::now()));
    EXPECT_FALSE(journal.error().empty());
    EXPECT_FALSE(journal.IsOpen());
}

// A session longer than the cap goes on in new files; the folder stays within it.
TEST(Journal, ALongSessionGoesOnInNewFilesWithinTheCap) {
    const std::string folder = Folder("long");
    constexpr uint64_t kCap = 8192;
    TrafficJournal journal;
    ASSERT_TRUE(journal.Open(folder, "1", "/dev/pts/3 9600 8N1", "/dev/pts/3",
                             std::chrono::system_clock::now(), kCap));
    const TrafficRow row{"12:00:00.000", "", "TX", "MODBUS Test", "8", std::string(60, 'A'), "", ""};
    for (int i = 0; i < 1000; ++i) journal.Append(row);
    ASSERT_TRUE(journal.IsOpen()) << journal.error();
    uint64_t total = 0;
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        total += entry.file_size();
        ++files;
        // Every file opens with the header and the column names.
        const std::string text = Read(entry.path().string());
        EXPECT_TRUE(text.starts_with("# Tavrix Configurator 1 traffic log\n")) << entry.path();
        EXPECT_NE(text.find("\nTime\t+ms\tDir\t"), std::string::npos) << entry.path();
    }
    EXPECT_GE(files, 2u);
    EXPECT_LE(total, kCap + kCap / 4 + 200);
    EXPECT_NE(Read(journal.path()).find("# Continued from " + folder + "/traffic-"),
              std::string::npos);
}
