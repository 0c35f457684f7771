// Viewer benchmark: the viewer as a user starts it, in one process.
//
//   bench_viewer FILE [--keys N]
//
// Runs the viewer's start-up on FILE (the main frame with the spreadsheet
// and the graph control, on the platform Qt picks: Xvfb or off-screen) and
// reports:
//  1. from the process's start (as the kernel records it, 10 ms steps) to
//     the first graph picture on screen: the first time the graph pane shows
//     anything but its white background;
//  2. to the picture of the finest level the rules allow (the render pass
//     after the last level step, as tavrix --screenshot waits for it);
//  3. N arrow-key presses (default 200) sent to the spreadsheet at a 30 Hz
//     key-repeat rate, each moving the marker and with it the graph's
//     cursor: the longest time the user-interface thread spent on one press
//     (its event and everything it queued), and the longest gap between the
//     ticks of a 1 ms timer over the whole run (how long the thread was ever
//     blocked), with the median and upper percentiles of the presses.
// Run it as a new process each time (cold process, warm file cache).
// BENCH_PROFILE prints every event that held the thread more than 8 ms
// during the key presses.
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "GridModel.h"
#include "TavrixApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QTableView>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Seconds since this process started, from /proc (clock ticks since boot).
double sinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Field 22 (starttime) follows the command name in parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int k = 3; k < 22; ++k)
        rest >> field;
    unsigned long long startTicks = 0;
    rest >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + now.tv_nsec * 1e-9 - double(startTicks) / sysconf(_SC_CLK_TCK);
}

// The application, timing each event it delivers (for BENCH_PROFILE: which
// events held the thread during the key presses).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    // The thread's time on a core and waiting for one, in ns (the
    // scheduler's figures).
    struct ThreadTimes {
        long long ran = 0, waited = 0;
        static ThreadTimes now() {
            ThreadTimes times;
            if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
                if (std::fscanf(f, "%lld %lld", &times.ran, &times.waited) != 2) times = {};
                std::fclose(f);
            }
            return times;
        }
    };
    bool notify(QObject* receiver, QEvent* e) override {
        if (m_profile && m_depth > 0 && e->type() == QEvent::Paint) {
            QElapsedTimer t;
            t.start();
            ++m_depth;
            const bool r = QApplication::notify(receiver, e);
            --m_depth;
            if (t.nsecsElapsed() > 1000000)
                std::printf("    paint %.1f ms: %s '%s' in '%s', %dx%d\n", t.nsecsElapsed() / 1e6,
                            receiver->metaObject()->className(), qPrintable(receiver->objectName()),
                            receiver->parent() ? qPrintable(receiver->parent()->objectName()) : "",
                            static_cast<QPaintEvent*>(e)->rect().width(),
                            static_cast<QPaintEvent*>(e)->rect().height());
            return r;
        }
        if (!m_profile || m_depth > 0) {
            ++m_depth;
            const bool r = QApplication::notify(receiver, e);
            --m_depth;
            return r;
        }
        QElapsedTimer t;
        t.start();
        const char* name = receiver->metaObject()->className();
        const int type = int(e->type());
        const ThreadTimes before = ThreadTimes::now();
        ++m_depth;
        const bool r = QApplication::notify(receiver, e);
        --m_depth;
        if (t.nsecsElapsed() > 8000000) {
            const ThreadTimes after = ThreadTimes::now();
            std::printf("  %.1f ms: %s '%s' event %d (ran %.1f ms, waited for a core %.1f ms)\n",
                        t.nsecsElapsed() / 1e6, name, qPrintable(receiver->objectName()), type,
                        (after.ran - before.ran) / 1e6, (after.waited - before.waited) / 1e6);
        }
        return r;
    }
    bool m_profile = false;
    int m_depth = 0;
};

bool showsGraph(QWidget* control) {
    const QImage image = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); y += 2) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 2)
            if ((row[x] & 0xFFFFFF) != 0xFFFFFF) return true;
    }
    return false;
}

// Notes the control's paints, other than those of a grab.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool grabbing = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !grabbing) painted = true;
        return false;
    }
};

// Runs the event loop for ms, the thread asleep while no event comes (a
// polling loop would take a core from the threads the viewer waits for).
void idleFor(int ms) {
    if (ms <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int keys = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--keys" && i + 1 < argc)
            keys = std::atoi(argv[++i]);
        else
            file = a;
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: bench_viewer FILE [--keys N]\n");
        return 2;
    }
    TimedApplication qt(argc, argv);
    QApplication::setApplicationName("Tavrix");
    QApplication::setOrganizationName("Veradyne");
    TavrixApp tavrix;
    if (!tavrix.initInstance({"tavrix", QString::fromStdString(file)})) return 1;
    const double started = sinceProcessStart();
    CMainFrame* frame = tavrix.mainFrame();
    CGraphView* graph = frame->graphView();
    if (!graph->controlWidget()) return 1;

    // The longest gap between ticks of a 1 ms timer: the thread's worst block.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, worstGap = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 t = clock.nsecsElapsed();
        if (lastTick) worstGap = std::max(worstGap, t - lastTick);
        lastTick = t;
    });

    int level = -1;
    bool finest = false;
    QObject::connect(graph, &CPlotrane2DView::filterPassed, [&](int passLevel, int) {
        if (std::getenv("BENCH_TRACE"))
            std::printf("%.2f filter pass %d\n", sinceProcessStart(), passLevel);
        level = std::max(level, passLevel);
    });
    QObject::connect(graph, &CPlotrane2DView::renderPassed, [&](int resolution) {
        if (std::getenv("BENCH_TRACE"))
            std::printf("%.2f render pass %d\n", sinceProcessStart(), resolution);
        if (level == 2 || (level >= 0 && resolution <= 1)) finest = true;
    });
    // The control is looked at after each of its paints: a frame shows in a
    // paint. Between events the thread sleeps, as the viewer's would; a
    // heartbeat bounds the wait.
    double first = -1.0;
    PaintWatch paints;
    graph->controlWidget()->installEventFilter(&paints);
    QTimer heartbeat;
    heartbeat.start(100);
    paints.painted = true; // a frame may have been painted already
    while (first < 0.0 && clock.elapsed() < 120000) {
        if (paints.painted) {
            paints.painted = false;
            paints.grabbing = true;
            const bool shows = showsGraph(graph->controlWidget());
            paints.grabbing = false;
            if (shows) {
                first = sinceProcessStart();
                break;
            }
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    graph->controlWidget()->removeEventFilter(&paints);
    while (!finest && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    heartbeat.stop();
    const double finestAt = sinceProcessStart();
    std::printf("%s: start-up done %.2f s, first graph picture %.2f s after the process "
                "started; finest level %s %.2f s\n",
                file.c_str(), started, first, finest ? "at" : "NOT reached by", finestAt);

    QTableView* table = frame->gridView()->table();
    table->setFocus();
    // The floor: the longest gap of the same timer while nothing happens,
    // for as long as the keys take (the machine's own scheduling noise).
    watch.start(1);
    lastTick = 0;
    worstGap = 0;
    qt.m_profile = std::getenv("BENCH_PROFILE") != nullptr;
    idleFor(keys * 33);
    qt.m_profile = false;
    watch.stop();
    const qint64 idleGap = worstGap;
    worstGap = 0;
    watch.start(1);
    lastTick = 0;
    qint64 worstPress = 0;
    std::vector<qint64> presses;
    qt.m_profile = std::getenv("BENCH_PROFILE") != nullptr;
    for (int k = 0; k < keys; ++k) {
        // Up goes to the next row index.
        const Qt::Key key = (k / 50) % 2 ? Qt::Key_Down : Qt::Key_Up;
        const qint64 t = clock.nsecsElapsed();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), k > 0);
        QApplication::sendEvent(table, &press);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const qint64 pressed = clock.nsecsElapsed() - t;
        worstPress = std::max(worstPress, pressed);
        presses.push_back(pressed);
        if (std::getenv("BENCH_TRACE") && pressed > 16000000)
            std::printf("press %d took %.1f ms (%lld cells written so far)\n", k, pressed / 1e6,
                        static_cast<long long>(frame->gridView()->model()->cellWrites()));
        // The rest of the 33 ms key-repeat period.
        idleFor(33 - int((clock.nsecsElapsed() - t) / 1000000));
    }
    watch.stop();
    qt.m_profile = false;
    std::printf("%d arrow keys at 30 Hz: marker at row %d; longest press %.1f ms, longest "
                "block of the user-interface thread %.1f ms\n",
                keys, tavrix.document()->cursorRow(), worstPress / 1e6, worstGap / 1e6);
    std::printf("the same time idle: longest block %.1f ms\n", idleGap / 1e6);
    // On a machine that other work shares, the longest press is often
    // another process's doing: the spread says what a press costs.
    if (!presses.empty()) {
        std::sort(presses.begin(), presses.end());
        const auto at = [&](double share) {
            return presses[std::min(presses.size() - 1, size_t(share * double(presses.size())))] /
                   1e6;
        };
        std::printf("presses: median %.1f ms, 90th percentile %.1f ms, 95th %.1f ms\n", at(0.5),
                    at(0.9), at(0.95));
    }
    // The graph's share: the same moves set on the control alone.
    CPlotrane2D* control = tavrix.document()->control();
    qint64 worstSet = 0;
    for (int k = 0; k < keys && control; ++k) {
        const qint64 t = clock.nsecsElapsed();
        control->setLong(plotrane::DISPID_Row, k % 40);
        worstSet = std::max(worstSet, clock.nsecsElapsed() - t);
        idleFor(33 - int((clock.nsecsElapsed() - t) / 1000000));
    }
    std::printf("the same moves of the graph's cursor alone (Row set on the control): longest "
                "%.1f ms\n",
                worstSet / 1e6);
    frame->close();
    return 0;
}
