// The main of every widget test executable: private user folders, then one
// QApplication that lives from before the first test to after the last
// (destroying it from an exit handler crashes in Qt's device list, and never
// destroying it leaves the font caches behind for the leak checker).
//
// With DISPLAY set (the test runs on an X server of its own, see
// with_x_server.sh) the application uses it; without one, everything is drawn
// off-screen and the tests that need real focus or a clipboard skip.
#include "TestEnvironment.h"

#include <QApplication>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    tavrix_test::isolateUserFolders();
    ::testing::InitGoogleMock(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") ? "xcb;offscreen" : "offscreen", 1);
    int result = 0;
    {
        static int qtArgc = 1;
        static char arg0[] = "tavrix-test";
        static char* qtArgv[] = {arg0, nullptr};
        auto app = std::make_unique<QApplication>(qtArgc, qtArgv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
