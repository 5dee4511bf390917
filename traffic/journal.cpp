#include "traffic/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "exchange/csvtext.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "traffic-";
constexpr const char* kSuffix = ".txt";

bool IsJournalName(const std::string& name) {
    return name.starts_with(kPrefix) && name.ends_with(kSuffix);
}

}  // namespace

std::string JournalFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // The base directory rules: a relative path is to be ignored.
    if (state && state[0] == '/') return std::string(state) + "/tavrix";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/tavrix";
}

std::string JournalFileName(std::chrono::system_clock::time_point start, const std::string& port) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(start);
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d_%H-%M-%S", &local);
    // A device by its last part; a network port by its kind, host and port.
    const size_t scheme = port.find("://");
    std::string name = scheme != std::string::npos
                           ? port.substr(0, scheme) + "-" + port.substr(scheme + 3)
                           : port.substr(port.find_last_of('/') + 1);
    if (scheme != std::string::npos) std::replace(name.begin(), name.end(), ':', '-');
    for (char& c : name) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                           c == '_';
        if (!plain) c = '_';
    }
    if (name.empty()) name = "none";
    return std::string(kPrefix) + date + "-" + name + kSuffix;
}

size_t PruneJournals(const std::string& folder, uint64_t cap, const std::string& keep) {
    struct File {
        fs::path path;
        fs::file_time_type time;
        uint64_t size;
    };
    std::vector<File> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (!IsJournalName(entry.path().filename().string())) continue;
        std::error_code e1, e2;
        const auto size = entry.file_size(e1);
        const auto time = entry.last_write_time(e2);
        if (!e1 && !e2) files.push_back({entry.path(), time, size});
    }
    // Newest first: the oldest are the ones past the cap.
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    uint64_t total = 0;
    size_t removed = 0;
    for (const File& f : files) {
        total += f.size;
        if (total <= cap || (!keep.empty() && fs::equivalent(f.path, keep, ec))) continue;
        if (fs::remove(f.path, ec)) ++removed;
    }
    return removed;
}

std::string JournalLine(const TrafficRow& row) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
        if (i) line += '\t';
        for (char c : row[i]) line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    return line + '\n';
}

TrafficJournal::~TrafficJournal() { Close(); }

bool TrafficJournal::Open(const std::string& folder, const std::string& toolVersion,
                          const std::string& lineText, const std::string& port,
                          std::chrono::system_clock::time_point start, uint64_t cap) {
    Close();
    error_.clear();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error_ = folder + ": " + ec.message();
        return false;
    }
    folder_ = folder;
    cap_ = cap;
    toolVersion_ = toolVersion;
    lineText_ = lineText;
    port_ = port;
    const std::string name = JournalFileName(start, port);
    // Two sessions in one second on one port: the second file gets a number.
    for (int n = 1; n < 100 && fd_ < 0; ++n) {
        path_ = folder + "/" + name;
        if (n > 1) path_.insert(path_.size() - std::strlen(kSuffix), "-" + std::to_string(n));
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error_ = path_ + ": " + std::strerror(errno);
        return false;
    }
    written_ = 0;
    PruneJournals(folder_, cap_, path_);
    nextPrune_ = cap_ / 16;
    std::string head;
    head += "# Tavrix Configurator " + toolVersion + " traffic log\n";
    // The saved files' form: ISO 8601 with the offset, so a journal read on
    // another machine or after a clock change still names its moment.
    head += "# Saved: " + IsoLocalTime(start) + "\n";
    head += "# Journal: each event written as it happened\n";
    head += "# Port: " + lineText + "\n";
    head += JournalLine(TrafficRow(std::begin(kTrafficColumns), std::end(kTrafficColumns)));
    return Write(head);
}

void TrafficJournal::Append(const TrafficRow& row) {
    if (fd_ < 0) return;
    if (!Write(JournalLine(row))) return;
    if (written_ >= cap_ / 4) {
        const std::string previous = path_;
        Close({"Continued in the next file"});
        // The copies: Open() takes its arguments by reference and sets them.
        const std::string folder = folder_, version = toolVersion_, line = lineText_, port = port_;
        if (Open(folder, version, line, port, std::chrono::system_clock::now(), cap_))
            Write("# Continued from " + previous + "\n");
        return;
    }
    // A long session keeps the folder within its cap as it goes.
    if (written_ >= nextPrune_) {
        PruneJournals(folder_, cap_, path_);
        nextPrune_ = written_ + cap_ / 16;
    }
}

void TrafficJournal::Close(const std::vector<std::string>& statistics) {
    if (fd_ < 0) return;
    if (!statistics.empty()) {
        std::string tail = "# Statistics\n";
        for (const std::string& line : statistics) tail += "# " + line + "\n";
        Write(tail);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TrafficJournal::Write(const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}
