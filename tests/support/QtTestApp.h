// The application of a widget test executable: made by its main
// (QtTestMain.cpp) before the first test, with the user folders already
// private; tests reach it here and run its queued events.
#pragma once

#include <QApplication>
#include <QCoreApplication>

#include <cassert>

// The executable's one QApplication.
inline QApplication* ensureQtApp() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    assert(app && "link the test with tavrix_qt_test_main (tavrix_add_test ... QT_APP)");
    return app;
}

// Runs queued events (layouts, resizes, timers due now) a few times over.
inline void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}
