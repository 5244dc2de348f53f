// Runs the D-Bus tests on a bus of their own.
#include "privatebus.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <cstdio>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    vantel::testing::PrivateBus bus;
    if (!testing::GTEST_FLAG(list_tests) && !bus.start())
        return std::fprintf(stderr, "cannot start a private dbus-daemon\n"), 1;
    return RUN_ALL_TESTS();
}
