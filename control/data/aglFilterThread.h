// aglFilterThread: the worker that runs the levels' filter passes, with the
// hand-shake the control's thread uses to keep it away from data it changes.
//
// The thread repeats: ask `choose` for the pass due next; run it with `pass`;
// when nothing is due, or when told to pause, wait for a wake. The control's
// thread
//   - pauses it (pause): returns once the thread is blocked waiting and stays
//     blocked, whatever wakes were sent earlier, until the next wake; from
//     then on the control's thread may change anything choose and pass read;
//   - wakes it (wake): always signals; the signal is kept until the thread
//     next waits, so a thread that has decided to wait but has not started
//     to yet still sees it;
//   - stops it (stop): the thread finishes the pass under way, sees Quit and
//     ends; stop returns when it has.
// Every wait of the control's thread also ends when the thread has ended, so
// a thread that never started or already stopped never hangs its caller.
//
// State and command are kept under one mutex with a condition variable, so
// the control's thread waits without polling and a pause orders everything
// the filter thread did before it before what the control's thread does after
// it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class aglFilterThread {
public:
    enum class State : int { NotStarted = 0, Busy = 1, Waiting = 2, Ended = 3 };
    enum class Command : int { Run = 0, Pause = 1, Quit = 2 };

    // Chooses the pass due next (level, full); false when none is due.
    // Called on the filter thread.
    using Choose = std::function<bool(int& level, bool& full)>;
    // Runs one pass. Called on the filter thread.
    using Pass = std::function<void(int level, bool full)>;

    aglFilterThread() = default;
    // Stops the thread.
    ~aglFilterThread();
    aglFilterThread(const aglFilterThread&) = delete;
    aglFilterThread& operator=(const aglFilterThread&) = delete;

    // Starts the thread (once; later calls do nothing), at the lowest
    // scheduling priority when lowPriority. Control's thread.
    void start(Choose choose, Pass pass, bool lowPriority = true);
    // Lets the pass under way finish, then keeps the thread waiting until the
    // next wake. Returns at once when the thread is not running. Control's thread.
    void pause();
    // Signals the thread to look for work again. Any thread.
    void wake();
    // Sends Quit, wakes the thread and waits for it to end. Control's thread;
    // safe to repeat.
    void stop();

    State state() const;
    Command command() const;
    // Waits until the thread is waiting with no wake pending (nothing left to
    // do), or has ended or never started; false when timeoutMs passed first.
    // For headless callers and tests. Control's thread.
    bool waitUntilIdle(int timeoutMs);
    // Number of passes run so far. Any thread.
    long passes() const;
    // True while a pause or stop waits for the pass under way: a pass that
    // reads for long (the exact range of a large window) looks at it and
    // ends early, leaving its level to be filtered again after the wake.
    // Any thread.
    const std::atomic<bool>& cutShort() const { return m_cut; }

private:
    void main();
    // Waits for a signal (or Quit) with the lock held; state Waiting meanwhile.
    void waitForSignal(std::unique_lock<std::mutex>& lock);

    Choose m_choose;
    Pass m_pass;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    State m_state = State::NotStarted;
    Command m_command = Command::Run;
    bool m_signalled = false; // the auto-reset event
    bool m_started = false;
    bool m_lowPriority = true;
    long m_passes = 0;
    std::atomic<bool> m_cut{false};
    std::thread m_thread;
};
