// One QApplication for a test executable, with the settings store and the
// runtime folder pointed at private temporary folders first.
#pragma once

#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>
#include <string>

inline QApplication* ensureQtApp() {
    static QApplication* app = [] {
        static std::string config = [] {
            char pattern[] = "/tmp/tavrix-ui-test-XXXXXX";
            const char* dir = mkdtemp(pattern);
            return std::string(dir ? dir : "/tmp");
        }();
        setenv("XDG_CONFIG_HOME", (config + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (config + "/run").c_str(), 1);
        std::system(
            ("mkdir -p " + config + "/config " + config + "/run && chmod 700 " + config + "/run")
                .c_str());
        // Under Xvfb the tests use it; without a display, or when the X
        // server refuses the connection, they draw off-screen.
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") ? "xcb;offscreen" : "offscreen", 1);
        static int argc = 1;
        static char name[] = "tavrix-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

// Runs queued events (layouts, resizes, timers due now) a few times over.
inline void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}
