// Program entry: options, the application object and the main window.
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

void PrintUsage(FILE* out) {
    std::fputs(
        "Usage: tavrix [--port DEVICE]\n"
        "Tavrix Configurator: reads and sets the parameters of a Tavrix HART to\n"
        "MODBUS RTU converter module over a serial port.\n\n"
        "  --port DEVICE  pre-fill \"Serial Port:\" with DEVICE (COM1..COM9 or a\n"
        "                 device path such as /dev/ttyUSB0)\n"
        "  --help         show this help and exit\n"
        "  --version      show the version and exit\n",
        out);
}

// `platformArg` is the value of a -platform argument, if one was given.
bool HaveDisplay(const char* platformArg) {
    const char* platform = platformArg ? platformArg : std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 &&
        std::strncmp(platform, "wayland", 7) != 0) {
        return true;  // offscreen, vnc, ... need no display
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    std::string port;
    const char* platformArg = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("tavrix %s\n", TAVRIX_VERSION);
            return 0;
        } else if (arg == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            port = arg.substr(7);
        } else if (arg.rfind("--", 0) != 0) {
            // Qt's own arguments (-platform, -style, ...) are the toolkit's to read.
            if (arg == "-platform" && i + 1 < argc) platformArg = argv[i + 1];
        } else {
            std::fprintf(stderr, "tavrix: unknown option '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    if (!HaveDisplay(platformArg)) {
        std::fputs(
            "tavrix: no display found (DISPLAY is not set); run it on a desktop, or "
            "under a virtual one: xvfb-run -a ./run\n",
            stderr);
        return 1;
    }

    TApplication app(argc, argv);
    // Ties the window to its installed desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tavrix_instruments.Configurator"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("example.tavrix_instruments.Configurator")));
    TForm1 window;
    if (!port.empty()) window.form()->SPREALCOM->setEditText(QString::fromStdString(port));
    app.QuitOnTermination();
    window.show();
    return app.ExitStatus(app.exec());
}
