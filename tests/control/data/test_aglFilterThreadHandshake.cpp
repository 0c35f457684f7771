// The filter thread's hand-shake with the control's thread: no wake is lost,
// a pause really keeps the thread away from the data, and every wait ends,
// also when the thread has ended or never started. Run under TSan: the data
// the "passes" read is a plain int that only a sound pause protects.
#include "WaitFor.h"
#include "aglFilterThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using State = aglFilterThread::State;

// A gate the filter thread blocks at until the test opens it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool arrived = false, open = false;
    void pass() {
        std::unique_lock<std::mutex> lock(m);
        arrived = true;
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
        arrived = false;
        open = false;
    }
    void waitArrived() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return arrived; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(m);
        open = true;
        cv.notify_all();
    }
};

TEST(FilterThreadHandshake, AWakeWhileTheThreadDecidesToWaitIsNotLost) {
    // The thread has found nothing to do and is about to wait, but still
    // reads Busy: a wake that signals only a Waiting thread would be lost and
    // the work would never be done.
    aglFilterThread t;
    Gate gate;
    std::atomic<int> work{0}, done{0}, chooses{0};
    t.start(
        [&](int& level, bool& full) {
            level = 0;
            full = true;
            const bool due = work.load() > done.load();
            if (++chooses == 1) gate.pass(); // decided "nothing", then stalls
            return due;
        },
        [&](int, bool) { ++done; }, false);
    gate.waitArrived();
    EXPECT_EQ(t.state(), State::Busy);
    work = 1;
    t.wake();
    gate.release();
    EXPECT_TRUE(waitFor([&] { return done.load() == 1; }));
    EXPECT_TRUE(t.waitUntilIdle(10000));
    t.stop();
    EXPECT_EQ(t.state(), State::Ended);
}

TEST(FilterThreadHandshake, APausedThreadStaysAwayUntilTheNextWake) {
    aglFilterThread t;
    Gate gate;
    int data = 0; // read by passes, written by the test only while paused
    std::atomic<int> work{1}, done{0};
    std::atomic<bool> blockNext{true};
    long seen = 0;
    t.start(
        [&](int& level, bool& full) {
            level = 0;
            full = true;
            return work.load() > done.load();
        },
        [&](int, bool) {
            if (blockNext.exchange(false)) gate.pass();
            seen += data;
            ++done;
        },
        false);
    gate.waitArrived();
    // A wake sent during the pass, then a pause: the pause waits for the pass
    // and must not let the earlier wake start another one.
    work = 5;
    t.wake();
    auto paused = std::async(std::launch::async, [&] { t.pause(); });
    ASSERT_TRUE(waitFor([&] { return t.command() == aglFilterThread::Command::Pause; }));
    gate.release();
    paused.get();
    const int after = done.load();
    EXPECT_EQ(after, 1);
    EXPECT_EQ(t.state(), State::Waiting);
    for (int k = 0; k < 1000; ++k)
        data = k; // TSan reports this if a pass can run now
    // A window for a pass that should not run (nothing to wait for).
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(done.load(), after);
    t.wake();
    EXPECT_TRUE(waitFor([&] { return done.load() == 5; }));
    t.stop();
    EXPECT_GT(seen, 0);
}

TEST(FilterThreadHandshake, EveryWaitEndsWhenTheThreadIsNotRunning) {
    aglFilterThread never;
    never.pause(); // never started: returns at once
    EXPECT_TRUE(never.waitUntilIdle(0));
    never.wake();
    never.stop();
    EXPECT_EQ(never.state(), State::NotStarted);

    aglFilterThread ended;
    ended.start([](int&, bool&) { return false; }, [](int, bool) {}, false);
    ended.stop();
    EXPECT_EQ(ended.state(), State::Ended);
    ended.pause();
    EXPECT_TRUE(ended.waitUntilIdle(0));
    ended.stop(); // repeated
}

TEST(FilterThreadHandshake, StopEndsAThreadInAPassAtTheEndOfThatPass) {
    aglFilterThread t;
    Gate gate;
    std::atomic<int> passes{0};
    t.start(
        [&](int& level, bool& full) {
            level = 1;
            full = false;
            return true;
        },
        [&](int level, bool full) {
            EXPECT_EQ(level, 1);
            EXPECT_FALSE(full);
            if (++passes == 1) gate.pass();
        },
        false);
    gate.waitArrived();
    auto stopped = std::async(std::launch::async, [&] { t.stop(); });
    EXPECT_EQ(stopped.wait_for(50ms), std::future_status::timeout); // waits for the pass
    gate.release();
    EXPECT_EQ(stopped.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(t.state(), State::Ended);
    EXPECT_EQ(passes.load(), 1); // Quit is seen before another pass
}

TEST(FilterThreadHandshake, APauseTellsALongPassToEndEarlyAndOnlyWhileItWaits) {
    // A pass that reads for long (the range of a whole large window) looks
    // at the cut flag; a pause must raise it, or the control's thread would
    // wait for the whole read. The flag is down again for the passes after
    // the wake.
    aglFilterThread t;
    std::atomic<int> passes{0}, cutPasses{0};
    std::atomic<bool> sawRaisedAtStart{false}, entered{false};
    t.start(
        [&](int& level, bool& full) {
            level = 2;
            full = true;
            return passes.load() < 2;
        },
        [&](int, bool) {
            if (t.cutShort().load()) sawRaisedAtStart = true;
            entered = true;
            if (passes.load() == 0) {
                while (!t.cutShort().load())
                    std::this_thread::yield();
                ++cutPasses;
            }
            ++passes;
        },
        false);
    ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    t.pause(); // returns only once the first pass has seen the flag
    EXPECT_EQ(cutPasses.load(), 1);
    EXPECT_FALSE(t.cutShort().load());
    t.wake();
    EXPECT_TRUE(waitFor([&] { return passes.load() == 2; }));
    EXPECT_TRUE(t.waitUntilIdle(10000));
    EXPECT_FALSE(sawRaisedAtStart.load());
    t.stop();
    EXPECT_TRUE(t.cutShort().load()) << "a stop also cuts a pass short";
}

TEST(FilterThreadHandshake, PauseChangeWakeStress) {
    // Seeded: the control's thread changes the data between pause and wake,
    // the thread reads it in passes; the destructor stops a busy thread.
    std::mt19937 rng(12345);
    for (int round = 0; round < 20; ++round) {
        aglFilterThread t;
        int shared[4] = {0, 0, 0, 0};
        std::atomic<int> pending{0};
        long sum = 0;
        t.start(
            [&](int& level, bool& full) {
                level = int(pending.load() % 3);
                full = true;
                return pending.load() > 0;
            },
            [&](int level, bool) {
                sum += shared[level] + shared[3];
                --pending;
            },
            true);
        for (int k = 0; k < 200; ++k) {
            t.pause();
            shared[rng() % 4] = int(rng() % 100);
            pending.fetch_add(int(rng() % 3));
            if (rng() % 4 != 0) t.wake();
        }
        t.wake();
        if (round % 2 == 0) {
            EXPECT_TRUE(t.waitUntilIdle(10000));
        }
    }
}

} // namespace
