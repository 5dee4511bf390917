// The tavrix program's command line.
#include <gtest/gtest.h>

#include <QProcess>

namespace {

struct AppRun {
    int exitCode;
    QString out;
    QString err;
};

AppRun RunApp(const QStringList& args, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(TAVRIX_APP_PATH, args);
    process.waitForFinished(20000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    return env;
}

}  // namespace

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    const AppRun help = RunApp({"--help"}, WithoutDisplay());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--port DEVICE"));
    const AppRun version = RunApp({"--version"}, WithoutDisplay());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("tavrix ")) << version.out.toStdString();
}

TEST(CommandLine, UnknownOptionIsRefused) {
    const AppRun run = RunApp({"--frobnicate"}, WithoutDisplay());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("unknown option"));
}

TEST(CommandLine, NoDisplaySaysSoInOneLineAndHowToProceed) {
    const AppRun run = RunApp({}, WithoutDisplay());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("no display"));
    EXPECT_TRUE(run.err.contains("xvfb-run"));
}
