// Benchmark of the automation path: a client driving its own viewer over
// the session bus through libtavrixclient.
//
//   TAVRIX_VIEWER=build/release/bin/tavrix QT_QPA_PLATFORM=offscreen
//   dbus-run-session -- build/release/bin/bench_automation [SECONDS]   (default 60)
//
// 0. tavrix_create: the viewer started, its name taken, the object created
//    and the member list read.
// 1. Round trip of a Get call (GetErrorNo): 5000 calls, median, 99th
//    percentile and best.
// 2. Update() on a 256 MiB shared-memory array (8192 x 8192 float) after the
//    client rewrote a row: the round trip of the call, which includes the
//    document's refresh (the control's Update and the grid's redraw). The
//    time until the next frame shows the data is the control's to measure.
//    The first 10 calls after ShowWindow are reported apart: they meet the
//    window's first frames; then 200 calls.
// 3. Streaming: a 4096 x 4096 float array rewritten and Update() called at
//    60 Hz for SECONDS; the viewer's resident memory before and after, and
//    calls that missed their 16.7 ms slot. The last call's reply is the
//    viewer's acknowledgement of the final frame's data.
#include "agl.h"
#include "tavrixclient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

long residentKiB(long pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void report(const char* what, std::vector<double>& t) {
    std::sort(t.begin(), t.end());
    std::printf("%-34s n=%zu  best %.1f us  median %.1f us  p99 %.1f us\n", what, t.size(), t[0],
                t[t.size() / 2], t[t.size() * 99 / 100]);
}

int fail(const char* what) {
    std::fprintf(stderr, "bench_automation: %s: %s\n", what, tavrix_last_error());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    tavrix_obj* v = nullptr;
    const auto created = Clock::now();
    if (tavrix_create(&v) != TAVRIX_OK) return fail("create");
    std::printf("%-34s %.1f ms\n", "tavrix_create (viewer started)",
                us(Clock::now() - created) / 1000.0);

    // 1. Get round trip.
    std::vector<double> t;
    int32_t value = 0;
    for (int i = 0; i < 5000; ++i) {
        const auto start = Clock::now();
        if (tavrix_get_long(v, "ErrorNo", &value) != TAVRIX_OK) return fail("GetErrorNo");
        t.push_back(us(Clock::now() - start));
    }
    report("GetErrorNo round trip", t);

    // 2. Update on 256 MiB.
    {
        agl_segment* seg = nullptr;
        const int ext[2] = {8192, 8192};
        if (agl_create(&seg, nullptr, AGL_FLOAT, AGL_LANG_C, 2, ext) != 0) {
            std::fprintf(stderr, "bench_automation: cannot make a 256 MiB block\n");
            return 1;
        }
        if (tavrix_put_string(v, "FileName", agl_name(seg)) != TAVRIX_OK) return fail("FileName");
        const int32_t one = 1;
        if (tavrix_call_longs(v, "ShowWindow", &one, 1, nullptr, 0) != TAVRIX_OK)
            return fail("ShowWindow");
        float* f = static_cast<float*>(agl_data(seg));
        // The calls that meet the window's first frames (which compile the
        // GL's shaders on the render thread) are reported apart.
        std::vector<double> first;
        t.clear();
        for (int i = 0; i < 10 + 200; ++i) {
            for (int c = 0; c < 8192; ++c)
                f[size_t(i % 8192) * 8192 + size_t(c)] = float(i + c);
            const auto start = Clock::now();
            if (tavrix_call_longs(v, "Update", nullptr, 0, &value, 1) != TAVRIX_OK)
                return fail("Update");
            (i < 10 ? first : t).push_back(us(Clock::now() - start));
        }
        report("Update right after ShowWindow", first);
        report("Update round trip, 256 MiB", t);
        agl_close(seg);
    }

    // 3. Streaming at 60 Hz on 4096 x 4096.
    agl_segment* seg = nullptr;
    const int ext[2] = {4096, 4096};
    if (agl_create(&seg, nullptr, AGL_FLOAT, AGL_LANG_C, 2, ext) != 0) return 1;
    if (tavrix_put_string(v, "FileName", agl_name(seg)) != TAVRIX_OK) return fail("FileName");
    float* f = static_cast<float*>(agl_data(seg));
    const long pid = tavrix_viewer_pid(v);
    for (int i = 0; i < 30; ++i) // settle: the first updates map and touch pages
        tavrix_call_longs(v, "Update", nullptr, 0, &value, 1);
    const long before = residentKiB(pid);
    const auto period = std::chrono::microseconds(16667);
    auto next = Clock::now();
    const int frames = seconds * 60;
    int missed = 0;
    t.clear();
    for (int n = 0; n < frames; ++n) {
        for (int c = 0; c < 4096; ++c)
            f[size_t(n % 4096) * 4096 + size_t(c)] = float(n);
        const auto start = Clock::now();
        if (tavrix_call_longs(v, "Update", nullptr, 0, &value, 1) != TAVRIX_OK)
            return fail("Update while streaming");
        const auto end = Clock::now();
        t.push_back(us(end - start));
        next += period;
        if (end > next)
            ++missed;
        else
            std::this_thread::sleep_until(next);
    }
    const long after = residentKiB(pid);
    report("Update at 60 Hz, 4096 x 4096", t);
    std::printf("streamed %d updates in %d s: viewer resident %ld KiB before, %ld KiB after "
                "(%+ld KiB); %d calls overran their slot\n",
                frames, seconds, before, after, after - before, missed);
    agl_close(seg);
    return tavrix_release(v) == TAVRIX_OK ? 0 : fail("release");
}
