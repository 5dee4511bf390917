// Fault tests run the window under one application object, offscreen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/tapplication.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
