// A pseudo-terminal pair standing in for the device: TComm opens the slave by
// its path, the test plays the device on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class TPtyPair {
public:
    TPtyPair() {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~TPtyPair() {
        CloseMaster();
        close(slave_);
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const std::string& SlavePath() const { return path_; }
    int SlaveFd() const { return slave_; }  // the test's own view of the port's settings
    int MasterFd() const { return master_; }

    void Send(const std::vector<uint8_t>& bytes) {
        size_t off = 0;
        while (off < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
            if (n > 0) {
                off += static_cast<size_t>(n);
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }
    void Send(const std::string& text) { Send(std::vector<uint8_t>(text.begin(), text.end())); }

    // Reads what the port sent until `count` bytes or the time limit.
    std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds limit) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[4096];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // Waits until the port's reader has taken everything sent so far. Bytes
    // reach the line discipline's queue (what FIONREAD counts) through a
    // kernel work item, so a short settling time comes first.
    bool WaitInputTaken(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            int n = 0;
            if (ioctl(slave_, FIONREAD, &n) == 0 && n == 0) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
        }
    }

    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    speed_t SlaveSpeed() const {
        const termios t = SlaveSettings();
        return cfgetospeed(&t);
    }

    termios SlaveSettings() const {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
