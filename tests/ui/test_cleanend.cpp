// A window ended by SIGTERM, SIGINT or SIGHUP closes its port first: the
// tty's exclusive flag is cleared, so another account's program can open the
// device at once, even while a third process still holds it.
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <cstdlib>

#include "serial/ptypair.h"
#include "serial/signalpipe.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"
#include "window_helpers.h"

namespace {

constexpr char kPortVariable[] = "TAVRIX_CLEAN_END_PORT";

int ExclusiveFlag(int fd) {
    int on = -1;
    return ioctl(fd, TIOCGEXCL, &on) == 0 ? on : -1;
}

// Whether an unprivileged process can open `path` (root passes the flag by).
bool OpensAsNobody(const std::string& path) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) return false;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd >= 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The window as the program runs it, in a process of its own (this test
// program started again), ended by a signal from the test below.
TEST(CleanEnd, ChildWindowHoldsThePortUntilSignalled) {
    const char* path = std::getenv(kPortVariable);
    if (!path) GTEST_SKIP() << "started by CleanEnd.SignalsClosePortBeforeTheWindowEnds";
    auto* app = static_cast<TApplication*>(QCoreApplication::instance());
    app->QuitOnTermination();
    int status = 3;
    {
        TForm1 form;
        form.show();
        form.form()->SPREALCOM->setEditText(QString::fromUtf8(path));
        Click(form.form()->Button1);
        if (form.PortOpen) status = app->ExitStatus(app->exec());
    }
    std::fflush(nullptr);
    _exit(status);
}

TEST(CleanEnd, SignalsClosePortBeforeTheWindowEnds) {
    if (std::getenv(kPortVariable)) GTEST_SKIP();
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        TPtyPair pty;  // holds the device open throughout, as a second program would
        ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0666), 0);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kPortVariable, QString::fromStdString(pty.SlavePath()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=CleanEnd.ChildWindowHoldsThePortUntilSignalled"});
        ASSERT_TRUE(child.waitForStarted(10000));
        ASSERT_TRUE(WaitFor([&] { return ExclusiveFlag(pty.SlaveFd()) == 1; }, 30000))
            << "the window never opened the port (signal " << signo << ")";
        ASSERT_FALSE(OpensAsNobody(pty.SlavePath())) << "the flag keeps others out while open";

        ASSERT_EQ(kill(static_cast<pid_t>(child.processId()), signo), 0);
        ASSERT_TRUE(child.waitForFinished(30000)) << signo;
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << signo;
        EXPECT_EQ(child.exitCode(), TSignalPipe::ExitStatus(signo));
        EXPECT_EQ(ExclusiveFlag(pty.SlaveFd()), 0) << signo;
        EXPECT_TRUE(OpensAsNobody(pty.SlavePath())) << signo;
    }
}

// The handlers in the process and what they deliver: the signal and how many
// came, in the event loop; the previous handlers back once it is gone.
TEST(CleanEnd, SignalPipeDeliversEachSignalInTheEventLoop) {
    if (std::getenv(kPortVariable)) GTEST_SKIP();
    std::signal(SIGHUP, SIG_IGN);
    {
        TSignalPipe pipe;
        std::vector<std::pair<int, int>> got;
        QObject::connect(&pipe, &TSignalPipe::received,
                         [&](int signo, int count) { got.emplace_back(signo, count); });
        raise(SIGHUP);
        raise(SIGTERM);
        ASSERT_TRUE(WaitFor([&] { return got.size() == 2; }, 5000));
        EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{SIGHUP, 1}, {SIGTERM, 2}}));
    }
    struct sigaction now {};
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

}  // namespace
