#include "serial/signalpipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];

// Async-signal-safe: one write of the signal's number; errno kept for the
// code it interrupted. A full pipe already holds enough to act on.
void OnSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const auto written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

TSignalPipe::TSignalPipe(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte;
        while (::read(pipeFds[0], &byte, 1) == 1) emit received(byte, ++count_);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the serial threads' and Qt's calls carry on
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
}

TSignalPipe::~TSignalPipe() {
    if (!notifier_) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
    notifier_.reset();
    for (int& fd : pipeFds) {
        ::close(fd);
        fd = -1;
    }
}
