// One QApplication for a control test executable: made before the first
// test and destroyed after the last one, while Qt's own statics still live
// (destroying it from an exit handler crashes in Qt's device list, and never
// destroying it leaves the font caches behind for the leak checker). Without
// an X server the control draws off-screen.
#pragma once

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

class ControlTestApp : public ::testing::Environment {
public:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char arg0[] = "plotrane-test";
        static char* argv[] = {arg0, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

// Registers the application environment once per executable.
inline const bool kControlTestAppRegistered =
    ::testing::AddGlobalTestEnvironment(new ControlTestApp) != nullptr;
