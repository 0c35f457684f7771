// The benchmarks' measure of a blocked thread: the longest gap between the
// ticks of a 1 ms timer on the calling (user-interface) thread while its
// event loop runs, in milliseconds.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

class GapMeter : public QObject {
public:
    GapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }
    void start() {
        m_longest = 0.0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // Counts the time since the last tick, as a tick would (a block that
    // ends with the measurement is not lost).
    double stop() {
        tick();
        m_timer.stop();
        return m_longest;
    }

private:
    void tick() {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, double(now - m_last) / 1e6);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_longest = 0.0;
};
