// Start-up figures: time from exec to the program's first top-level window
// being mapped on the X server, and its resident memory two seconds later.
// Usage: startup_bench NAME RUNS PROGRAM [ARGS...]
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "perf/benchutil.h"

namespace {

constexpr double kGiveUpMs = 30000;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench NAME RUNS PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string name = argv[1];
    const int runs = std::atoi(argv[2]);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_bench: no X display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    std::vector<double> times, memory;
    for (int run = 0; run < runs; ++run) {
        const double start = bench::NowMs();
        const pid_t child = fork();
        if (child == 0) {
            execv(argv[3], argv + 3);
            _exit(127);
        }
        double mapped = -1;
        while (mapped < 0 && bench::NowMs() - start < kGiveUpMs) {
            if (XPending(display) == 0) {
                pollfd p{ConnectionNumber(display), POLLIN, 0};
                poll(&p, 1, 100);
                continue;
            }
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) mapped = bench::NowMs();
        }
        if (mapped < 0) {
            std::fprintf(stderr, "startup_bench: %s showed no window within %d s\n", argv[3],
                         static_cast<int>(kGiveUpMs / 1000));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return 1;
        }
        times.push_back(mapped - start);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        memory.push_back(bench::ResidentMiB(std::to_string(child)));
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        // Let the server report the unmap and destroy before the next run.
        XSync(display, True);
    }
    bench::PrintStats("startup." + name, times, "ms");
    bench::PrintStats("memory." + name, memory, "MiB");
    XCloseDisplay(display);
    return 0;
}
