// Benchmark of the graph control's property set: the whole set saved into a
// property bag (QVariantMap) and loaded into a second control, as a host
// does when it stores and restores the control, and the same through an INI
// QSettings group, plus single property writes through the dispatch, and
// how soon a display property written (GraphColor, CamAzimuth: no refilter)
// shows in a frame, against the time one frame takes.
//
//   bench_control [ARRAY.agl]   (default: examples/wave.agl of the source tree)
//
// Reports the best and median of 200 rounds of each.
#include "ControlModel.h"
#include "aglGraphView.h"
#include "aglRenderContext.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F> void measure(const char* what, int rounds, F&& f) {
    std::vector<double> t;
    for (int k = 0; k < rounds; ++k) {
        const auto start = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    std::printf("%-44s best %8.1f us   median %8.1f us\n", what, t.front(), t[t.size() / 2]);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string array = argc > 1 ? argv[1] : TAVRIX_SOURCE_DIR "/examples/wave.agl";
    // The size a control has before its host sizes it.
    ControlModel a(640, 480, 0), b(640, 480, 0);
    if (!a.SetProperty(plotrane::DISPID_FileName, plotrane::Variant(array)).ok() ||
        !b.SetProperty(plotrane::DISPID_FileName, plotrane::Variant(array)).ok()) {
        std::fprintf(stderr, "bench_control: %s cannot be bound\n", array.c_str());
        return 2;
    }
    a.set<plotrane::DISPID_GraphStyle>(3);
    a.set<plotrane::DISPID_CamAzimuth>(30.0f);
    a.setAxisClamp(2, 10, 20);

    int failures = 0;
    measure("save + load, property bag (QVariantMap)", 200, [&] {
        QVariantMap bag;
        a.saveProperties(bag);
        failures += !b.loadProperties(bag).ok();
    });
    QTemporaryDir dir;
    QSettings ini(dir.filePath("set.ini"), QSettings::IniFormat);
    measure("save + load, QSettings group (INI, in memory)", 200, [&] {
        ini.beginGroup("Plotrane2D");
        a.saveProperties(ini);
        failures += !b.loadProperties(ini).ok();
        ini.endGroup();
    });
    float x = 1.0f;
    measure("1000 LineWidth writes through the dispatch", 200, [&] {
        for (int k = 0; k < 1000; ++k) {
            x = x >= 90.0f ? 1.0f : x + 0.5f;
            failures += !a.SetProperty(plotrane::DISPID_LineWidth, plotrane::Variant(x)).ok();
        }
    });

    // A written colour or camera angle reaches the next frame: the time from
    // the write to the first frame published after it, beside the frame time.
    a.set<plotrane::DISPID_LineWidth>(1.0f);
    a.Invoke(plotrane::DISPID_Update, {});
    for (int k = 0; k < 4; ++k) {
        a.waitForPasses(60000);
        a.tick();
    }
    aglRenderContext& context = a.engine().Context();
    std::vector<double> latency, frame;
    for (int k = 0; k < 60; ++k) {
        context.WaitUntilIdle();
        const uint64_t before = context.PublishedFrames();
        const auto start = Clock::now();
        if (k % 2)
            a.SetProperty(plotrane::DISPID_GraphColor, plotrane::Variant(uint32_t(0x00FF00 ^ k)));
        else
            a.SetProperty(plotrane::DISPID_CamAzimuth, plotrane::Variant(float(-100 + k)));
        if (!context.WaitForFrame(before, 10000)) ++failures;
        latency.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        frame.push_back(1000.0 * context.LastFrameTime());
    }
    std::sort(latency.begin(), latency.end());
    std::sort(frame.begin(), frame.end());
    std::printf("display write to next frame (level %d)        median %6.2f ms   worst %6.2f ms\n",
                a.get<plotrane::DISPID_DataOffset>(), latency[latency.size() / 2], latency.back());
    std::printf("frame time                                   median %6.2f ms   worst %6.2f ms\n",
                frame[frame.size() / 2], frame.back());
    if (failures) std::fprintf(stderr, "bench_control: %d loads or writes failed\n", failures);
    return failures ? 1 : 0;
}
