// The one wait of the tests: until a condition holds, never for a fixed time.
//
// A test waits for what it needs (a window active, a dialog up, a frame
// drawn, a reply come) and goes on the moment it holds. The time-out only
// bounds a test that is failing: it is long, because a busy 2-core machine
// running sanitizer builds can hold a thread back for many seconds, and a
// condition that does come must never be given up on.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#ifdef QT_CORE_LIB
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#endif

namespace tavrix_test {

// How long a wait goes on before the test counts as failed.
inline constexpr int kWaitTimeoutMs = 120000;

// Checks done() until it holds; false when timeoutMs passed first. In a
// program with a Qt application the events that are due run between checks
// (posted and deferred deletes, timers, window-system events); then, as
// otherwise, the calling thread sleeps a moment, so that a wait never spins
// a core the threads it waits for need.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = kWaitTimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
#ifdef QT_CORE_LIB
        if (QCoreApplication::instance()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace tavrix_test

using tavrix_test::waitFor;
