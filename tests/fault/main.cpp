// Fault tests run the window under one application object, offscreen.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "ui/tapplication.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The window keeps a traffic journal in the state folder: a temporary one here.
    QTemporaryDir state;
    setenv("XDG_STATE_HOME", state.path().toLocal8Bit().constData(), 1);
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
