#include "aglFilterThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

aglFilterThread::~aglFilterThread() {
    stop();
}

void aglFilterThread::start(Choose choose, Pass pass, bool lowPriority) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started) return;
    m_started = true;
    m_choose = std::move(choose);
    m_pass = std::move(pass);
    m_lowPriority = lowPriority;
    m_thread = std::thread(&aglFilterThread::main, this);
}

void aglFilterThread::pause() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_state == State::NotStarted && !m_started) return;
    if (m_state == State::Ended) return;
    if (m_command != Command::Quit) m_command = Command::Pause;
    m_cut.store(true, std::memory_order_relaxed);
    m_cv.notify_all();
    m_cv.wait(lock, [this] {
        return m_state == State::Waiting || m_state == State::Ended ||
               (m_state == State::NotStarted && !m_started);
    });
    if (m_command != Command::Quit) m_cut.store(false, std::memory_order_relaxed);
    // The thread is blocked in its wait and leaves it only on a signal: drop
    // any signal sent before the pause, so that it stays there until the
    // caller's next wake.
    m_signalled = false;
    if (m_command == Command::Pause) m_command = Command::Run;
}

void aglFilterThread::wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signalled = true;
    }
    m_cv.notify_all();
}

void aglFilterThread::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_command = Command::Quit;
        m_signalled = true;
        m_cut.store(true, std::memory_order_relaxed);
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

aglFilterThread::State aglFilterThread::state() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

aglFilterThread::Command aglFilterThread::command() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_command;
}

long aglFilterThread::passes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_passes;
}

bool aglFilterThread::waitUntilIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return (m_state == State::Waiting && !m_signalled) || m_state == State::Ended || !m_started;
    });
}

void aglFilterThread::waitForSignal(std::unique_lock<std::mutex>& lock) {
    m_state = State::Waiting;
    // The lock is let go before the notification: a waiter woken while this
    // thread still held it would block on it until this thread, at the
    // lowest priority, got the processor back to reach its wait (tens of ms
    // on a busy machine). What the waiter may do meanwhile (take the pause,
    // signal a wake) the wait's condition below sees.
    lock.unlock();
    m_cv.notify_all();
    lock.lock();
    m_cv.wait(lock, [this] { return m_signalled || m_command == Command::Quit; });
    m_signalled = false;
    m_state = State::Busy;
}

void aglFilterThread::main() {
    if (m_lowPriority) setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_command != Command::Quit) {
        m_state = State::Busy;
        // A pause asked for while the thread was busy is answered first.
        if (m_command == Command::Pause) {
            waitForSignal(lock);
            continue;
        }
        lock.unlock();
        int level = 0;
        bool full = true;
        const bool due = m_choose(level, full);
        if (due) m_pass(level, full);
        lock.lock();
        if (due) {
            ++m_passes;
            if (m_command == Command::Pause) waitForSignal(lock);
        } else if (m_command != Command::Quit) {
            waitForSignal(lock);
        }
    }
    m_state = State::Ended;
    m_cv.notify_all();
}
