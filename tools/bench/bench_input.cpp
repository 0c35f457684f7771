// Benchmark of the graph control's input: the time from a mouse move of a
// rotate drag (a real QMouseEvent sent to the control window) to the first
// frame published after it, beside the frame period, at level 0 (drags drop
// to the coarsest grid); and the time from the timer tick that finds the
// mouse resting to the frame that shows the data tip.
//
//   bench_input [ARRAY.agl] [--size WxH]
//
// Without ARRAY it writes a 16384 x 16384 float array (1 GiB) to
// /tmp/bench_input.agl (kept between runs). Reports median and worst of 60,
// with the time each move's handling held the user-interface thread.
#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"
#include "aglGraphView.h"
#include "aglRenderContext.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T> void put(std::string& s, T v) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    s.append(b, sizeof v);
}

bool writeArray(const std::string& path, int rows, int columns) {
    std::ofstream out(path, std::ios::binary);
    std::string h;
    put(h, uint32_t(0x01160913u)); // segment magic
    h += char(1);                  // C indices
    h += char(6);                  // float
    h += char(2);                  // two extents
    h.append(5, '\0');
    put(h, int32_t(rows));
    put(h, int32_t(columns));
    put(h, int32_t(0));
    put(h, int32_t(0));
    out.write(h.data(), std::streamsize(h.size()));
    std::vector<float> row(static_cast<size_t>(columns));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            row[size_t(c)] = std::sin(r * 0.0007f) * std::cos(c * 0.0011f);
        out.write(reinterpret_cast<const char*>(row.data()),
                  std::streamsize(row.size() * sizeof(float)));
    }
    return bool(out);
}

void report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-40s median %7.2f ms   worst %7.2f ms\n", what, v[v.size() / 2], v.back());
}

void send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton b, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w.mapToGlobal(at), b, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int width = 640, height = 480;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else
            file = a;
    }
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR")) setenv("XDG_RUNTIME_DIR", qPrintable(runtime.path()), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (file.empty()) {
        file = "/tmp/bench_input.agl";
        struct stat st {};
        if (stat(file.c_str(), &st) != 0 || st.st_size != 28 + 16384LL * 16384 * 4) {
            if (!writeArray(file, 16384, 16384)) return 1;
            std::printf("wrote %s (16384 x 16384 float, 1 GiB)\n", file.c_str());
        }
    }
    double clock = 1000.0;
    CPlotrane2DCtrl ctrl(nullptr, 0);
    ctrl.setClock([&] { return clock; });
    ctrl.resize(width, height);
    ctrl.show();
    if (!ctrl.SetProperty(plotrane::DISPID_FileName, plotrane::Variant(file)).ok()) return 2;
    ctrl.Invoke(plotrane::DISPID_Update, {});
    aglRenderContext& context = ctrl.model().engine().Context();
    // Up to the finest level first: the drag has to drop to level 0.
    for (int k = 0; k < 6; ++k) {
        ctrl.model().waitForPasses(120000);
        ctrl.tick();
        app.processEvents();
    }
    std::printf("%s at %dx%d, level before the drag %d\n", file.c_str(), width, height,
                ctrl.model().engine().currentLevel());

    int failures = 0;
    std::vector<double> latency, frame, handling;
    const QPoint centre(width / 3, height / 2);
    send(ctrl, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    send(ctrl, QEvent::MouseMove, centre + QPoint(2, 0), Qt::NoButton, Qt::LeftButton);
    std::printf("level after the first move of the drag %d\n",
                ctrl.model().engine().currentLevel());
    for (int k = 0; k < 60; ++k) {
        context.WaitUntilIdle();
        const uint64_t before = context.PublishedFrames();
        const auto start = Clock::now();
        send(ctrl, QEvent::MouseMove, centre + QPoint((k % 2) ? 4 : -4, 0), Qt::NoButton,
             Qt::LeftButton);
        handling.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!context.WaitForFrame(before, 10000)) ++failures;
        latency.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        frame.push_back(1000.0 * context.LastFrameTime());
        app.processEvents();
    }
    std::printf("level during the drag %d\n", ctrl.model().engine().currentLevel());
    send(ctrl, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    report("mouse move to next frame (drag)", latency);
    report("frame time", frame);
    // How long the move's own handling held the user-interface thread.
    report("mouse move handling (UI thread)", handling);

    // Hover: the mouse rests once the ticks have seen it three times at one
    // place; the tick that finds it resting selects, and the tip shows in the
    // next frame.
    std::vector<double> tip;
    for (int k = 0; k < 20; ++k) {
        const QPoint at = centre + QPoint(0, (k % 2) ? 30 : -30);
        send(ctrl, QEvent::MouseMove, at + QPoint(40, 0), Qt::NoButton, Qt::NoButton);
        send(ctrl, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        clock += 10.0;
        for (int t = 0; t < 2; ++t)
            ctrl.tick(); // the first two sightings at rest
        context.WaitUntilIdle();
        const uint64_t before = context.PublishedFrames();
        const auto start = Clock::now();
        ctrl.tick();
        if (!ctrl.model().tipShowing() || !context.WaitForFrame(before, 10000)) {
            ++failures;
            continue;
        }
        tip.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        app.processEvents();
    }
    if (!tip.empty()) report("resting tick to the frame with the tip", tip);
    if (failures) std::fprintf(stderr, "bench_input: %d frames or tips missing\n", failures);
    return failures ? 1 : 0;
}
