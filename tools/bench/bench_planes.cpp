// Plane-stepping benchmark: the dimension bar's Play through a 3-D array in
// the real main frame, as a user would press it.
//
//   bench_planes [FILE] [--rate N] [--seconds S] [--kind 1|2] [--size WxH] [--dim D]
//                [--each-plane]
//
// Without FILE it writes a 512 x 512 x 200 float array (a C array
// M[200][512][512]: 200 planes of 512 x 512, a ripple that moves from plane
// to plane) to the temporary folder and deletes it afterwards. The viewer
// opens it in one process (main frame, spreadsheet, graph control), the
// planes of dimensions 1 and 2 are shown (the plane dimensions chosen as
// Settings > ROI chooses them), the graph pane is made WxH (default
// 800 x 600) and shows kind 1 (height plot, the default) or 2 (image map).
// Once the finest level is on screen:
//  1. reference: the camera spins for S/2 seconds with nothing stepped, the
//     control drawing at its coarse level as fast as it can: what this
//     machine's painting alone costs the user-interface thread;
//  2. Play runs on dimension D (default 0) at N planes a second (default 60,
//     the most Play offers) for S seconds (default 10), with the palette held
//     at the whole array's range (found by the scan's thread when Play
//     starts; --each-plane: left to each plane): planes a second (overall,
//     and after the first second), graph pictures and paints a second, when
//     the range was held, and the longest block of the user-interface thread
//     after the first second and with Play's start;
//  3. 100 single steps at 30 Hz, as Page Down held: each step's own time and
//     the longest block.
// A block is a gap between the ticks of a 1 ms timer on the user-interface
// thread. Exit status 3 when Play after its first second stays below 30
// planes a second or blocks the thread longer than 16 ms. BENCH_TRACE prints
// every step, pass, picture and block over 16 ms; BENCH_PROFILE every event
// that took the thread more than 12 ms, and the paints over 2 ms. Run it as a new process each
// time, on a machine that is otherwise idle (the control's threads run at the lowest priority:
// anything else running delays its pictures and the user-interface thread's waits for them).
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "DimensionBar.h"
#include "TavrixApp.h"
#include "aglArray.h"
#include "plotrane/ControlDispatch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Seconds on the steady clock, for the traces.
double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The moving ripple: plane t, row r, column c.
bool writeArray(const std::string& path, int planes, int rows, int cols) {
    aglArray a;
    const int32_t extents[] = {planes, rows, cols};
    const int64_t count = int64_t(planes) * rows * cols;
    if (!a.allocate(count * 4)) return false;
    if (a.reshape(3, extents, AGL_FLOAT) != 0) return false;
    auto* p = static_cast<uint8_t*>(a.mutableData());
    for (int t = 0; t < planes; ++t) {
        const double cx = cols * (0.3 + 0.4 * t / planes), cy = rows * 0.5;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const double d = std::hypot(c - cx, r - cy) / (cols / 12.0);
                const float v = float(std::cos(d - 0.2 * t) * std::exp(-0.15 * d));
                std::memcpy(p + ((int64_t(t) * rows + r) * cols + c) * 4, &v, 4);
            }
    }
    return a.saveTo(path);
}

// Runs the event loop for ms, sleeping while there is nothing to do (as the
// viewer's own loop does: a loop that spins would take the processor from
// the control's render thread, which runs at the lowest priority).
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds (looked at every 5 ms) or ms pass.
void runUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    look.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
}

// The application, timing each event it delivers from the event loop (for
// BENCH_PROFILE: which events held the thread longer than 12 ms).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override {
        if (m_profile && m_depth > 0 && e->type() == QEvent::Paint) {
            // The paints inside a window's update, over 2 ms.
            QElapsedTimer t;
            t.start();
            ++m_depth;
            const bool r = QApplication::notify(receiver, e);
            --m_depth;
            if (t.nsecsElapsed() > 2000000)
                std::printf("%.3f   paint %.1f ms: %s '%s'\n", now(), t.nsecsElapsed() / 1e6,
                            receiver->metaObject()->className(),
                            qPrintable(receiver->objectName()));
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
        const QString what = QString("%1 '%2' event %3")
                                 .arg(receiver->metaObject()->className())
                                 .arg(receiver->objectName())
                                 .arg(int(e->type()));
        ++m_depth;
        const bool r = QApplication::notify(receiver, e);
        --m_depth;
        if (t.nsecsElapsed() > 12000000)
            std::printf("%.3f %.1f ms: %s\n", now(), t.nsecsElapsed() / 1e6, qPrintable(what));
        return r;
    }
    bool m_profile = std::getenv("BENCH_PROFILE") != nullptr;
    int m_depth = 0;
};

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int rate = 60, seconds = 10, kind = CArrayDoc::HeightPlot, dim = 0;
    int width = 800, height = 600;
    bool eachPlane = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rate" && i + 1 < argc)
            rate = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (a == "--kind" && i + 1 < argc)
            kind = std::atoi(argv[++i]);
        else if (a == "--dim" && i + 1 < argc)
            dim = std::atoi(argv[++i]);
        else if (a == "--each-plane")
            eachPlane = true;
        else if (a == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "usage: bench_planes [FILE] [--rate N] [--seconds S] "
                                 "[--kind 1|2] [--size WxH] [--dim D] [--each-plane]\n");
            return 2;
        } else
            file = a;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    TimedApplication qt(argc, argv);
    QApplication::setApplicationName("Tavrix");
    QApplication::setOrganizationName("Veradyne");

    std::string made;
    if (file.empty()) {
        made = file =
            (QDir::tempPath() + QString("/bench_planes_%1.agl").arg(getpid())).toStdString();
        QElapsedTimer writing;
        writing.start();
        if (!writeArray(file, 200, 512, 512)) {
            std::fprintf(stderr, "bench_planes: cannot write %s\n", file.c_str());
            return 1;
        }
        // On the disk before the clock starts: pages still being written back
        // would hold the threads that read them.
        ::sync();
        std::printf("wrote %s (200 x 512 x 512 float, 200 MiB) in %.1f s\n", file.c_str(),
                    writing.elapsed() / 1000.0);
    }
    int status = 0;
    {
        TavrixApp tavrix;
        if (!tavrix.initInstance({"tavrix", QString::fromStdString(file)})) return 1;
        CMainFrame* frame = tavrix.mainFrame();
        CArrayDoc* doc = tavrix.document();
        CGraphView* graph = frame->graphView();
        DimensionBar* bar = frame->dimensionBar();
        if (!graph->controlWidget() || doc->currentArray()->dimCount() < 3) {
            std::fprintf(stderr, "bench_planes: %s is not a 3-D array the viewer shows\n",
                         file.c_str());
            return 1;
        }
        // The planes of dimensions 1 and 2 (rows and columns), as Settings >
        // ROI would choose them, when dimension 0 is the one played.
        CArrayDoc::RegionChoice choice = doc->regionChoice();
        const int dims = doc->currentArray()->dimCount();
        choice.rowDim = dim == 0 ? 1 : 0;
        choice.colDim = dim == dims - 1 ? dims - 2 : dims - 1;
        if (choice.colDim == choice.rowDim) choice.colDim = 2;
        doc->applyRegion(choice);
        doc->selectGraphType(kind);
        // The graph pane at the size asked for.
        for (int k = 0; k < 3; ++k) {
            runFor(50);
            const QSize delta = QSize(width, height) - graph->size();
            if (delta.isNull()) break;
            frame->resize(frame->size() + delta);
        }
        QElapsedTimer clock;
        clock.start();
        int level = -1;
        bool finest = false;
        long pictures = 0;
        QObject::connect(graph, &CPlotrane2DView::filterPassed,
                         [&](int passLevel, int) { level = std::max(level, passLevel); });
        QObject::connect(graph, &CPlotrane2DView::renderPassed, [&](int resolution) {
            ++pictures;
            if (level == 2 || (level >= 0 && resolution <= 1)) finest = true;
        });
        runUntil([&] { return finest; }, 120000);
        std::printf("%s: graph %dx%d, kind %d, finest level %s after %.2f s; playing "
                    "dimension %d (%d planes) at %d planes/s for %d s\n",
                    file.c_str(), graph->width(), graph->height(), doc->currentGraphType(),
                    finest ? "shown" : "NOT shown", clock.elapsed() / 1000.0, dim,
                    doc->currentArray()->extent(dim), rate, seconds);

        // The gaps between the ticks of a 1 ms timer: how long the thread was
        // held each time (nothing else runs on it but the viewer).
        struct Gap {
            qint64 at, length;
        };
        std::vector<Gap> gaps;
        qint64 lastTick = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const qint64 t = clock.nsecsElapsed();
            if (lastTick) gaps.push_back({t, t - lastTick});
            if (lastTick && t - lastTick > 16000000 && std::getenv("BENCH_TRACE"))
                std::printf("%.3f the user-interface thread was held %.1f ms\n", now(),
                            (t - lastTick) / 1e6);
            lastTick = t;
        });
        const auto watchFor = [&](const std::function<void()>& run) {
            gaps.clear();
            lastTick = 0;
            watch.start(1);
            run();
            watch.stop();
        };
        // The longest gap from `from` on (ns on the clock), and how many
        // passed 16 ms.
        const auto longest = [&](qint64 from, int& over) {
            qint64 worst = 0;
            over = 0;
            for (const Gap& g : gaps) {
                if (g.at - g.length < from) continue;
                worst = std::max(worst, g.length);
                over += g.length > 16000000;
            }
            return worst;
        };
        // Pictures that reached the screen: the control's paints.
        struct PaintCount : QObject {
            long paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) {
                    ++paints;
                    if (std::getenv("BENCH_TRACE")) std::printf("%.3f paint\n", now());
                }
                return false;
            }
        } paintCount;
        graph->controlWidget()->installEventFilter(&paintCount);
        if (std::getenv("BENCH_TRACE")) {
            QObject::connect(graph, &CPlotrane2DView::filterPassed, [&](int passLevel, int) {
                std::printf("%.3f filter pass %d\n", now(), passLevel);
            });
            QObject::connect(bar, &DimensionBar::stepped, [&](int, int index) {
                std::printf("%.3f step to %d\n", now(), index);
            });
            QObject::connect(graph, &CPlotrane2DView::renderPassed, [&](int resolution) {
                std::printf("%.3f render pass, resolution %d\n", now(), resolution);
            });
        }

        // The machine's own floor: the graph drawing as fast as it can with
        // nothing stepped (the camera spinning), the frames painted by the
        // same thread.
        CPlotrane2D* control = doc->control();
        long before = pictures, paintsBefore = paintCount.paints;
        qint64 started = clock.nsecsElapsed();
        watchFor([&] {
            control->dispatch()->Invoke(plotrane::DISPID_Spin, {});
            runFor(seconds * 500);
            control->dispatch()->Invoke(plotrane::DISPID_Spin, {});
        });
        int over = 0;
        qint64 worst = longest(started, over);
        double took = (clock.nsecsElapsed() - started) / 1e9;
        std::printf("reference, the camera spinning (no planes stepped) for %.1f s: %.1f "
                    "paints/s; longest block of the user-interface thread %.1f ms (%d over "
                    "16 ms)\n",
                    took, (paintCount.paints - paintsBefore) / took, worst / 1e6, over);
        control->dispatch()->Invoke(plotrane::DISPID_ToHomePosition, {});
        runUntil([] { return false; }, 1000);

        bar->setRate(rate);
        bar->setRangeMode(eachPlane ? DimensionBar::EachPlane : DimensionBar::WholeArray);
        before = pictures;
        paintsBefore = paintCount.paints;
        started = clock.nsecsElapsed();
        qint64 heldAt = -1;
        int steadySteps = 0;
        watchFor([&] {
            bar->play(dim);
            runUntil(
                [&] {
                    const qint64 t = clock.nsecsElapsed() - started;
                    if (heldAt < 0 && bar->isRangeHeld()) heldAt = t;
                    if (t < 1000000000) steadySteps = bar->stepsPlayed();
                    return false;
                },
                seconds * 1000);
        });
        const int steps = bar->stepsPlayed();
        took = (clock.nsecsElapsed() - started) / 1e9;
        bar->stop();
        int overStart = 0, overSteady = 0;
        const qint64 worstAll = longest(started, overStart);
        const qint64 worstSteady = longest(started + 1000000000, overSteady);
        const double steadyRate = (steps - steadySteps) / (took - 1.0);
        std::printf("played %d planes in %.1f s: %.1f planes/s (%.1f after the first second), "
                    "%.1f graph pictures/s, %.1f paints/s; whole-array range held %.2f s after "
                    "Play\n",
                    steps, took, steps / took, steadyRate, (pictures - before) / took,
                    (paintCount.paints - paintsBefore) / took, heldAt < 0 ? -1.0 : heldAt / 1e9);
        std::printf("longest block of the user-interface thread: %.1f ms after the first second "
                    "(%d over 16 ms), %.1f ms with Play's start\n",
                    worstSteady / 1e6, overSteady, worstAll / 1e6);

        // One step's own cost: Page Down's work (region, Update, spreadsheet,
        // status bar, marker) timed call by call, at 30 Hz as a held key.
        std::vector<qint64> stepTimes;
        started = clock.nsecsElapsed();
        watchFor([&] {
            for (int k = 0; k < 100; ++k) {
                const qint64 t = clock.nsecsElapsed();
                if (!bar->stepFirst((k / 50) % 2 ? -1 : 1)) bar->stepFirst(-1);
                stepTimes.push_back(clock.nsecsElapsed() - t);
                runFor(33);
            }
        });
        std::sort(stepTimes.begin(), stepTimes.end());
        int overSingle = 0;
        const qint64 worstSingle = longest(started, overSingle);
        std::printf("100 single steps at 30 Hz (Page Down held): median %.1f ms, longest %.1f ms; "
                    "longest block of the user-interface thread %.1f ms (%d over 16 ms)\n",
                    stepTimes[stepTimes.size() / 2] / 1e6, stepTimes.back() / 1e6,
                    worstSingle / 1e6, overSingle);
        if (steadyRate < 30.0 || worstSteady > 16000000) status = 3;
        frame->close();
    }
    if (!made.empty()) std::remove(made.c_str());
    return status;
}
