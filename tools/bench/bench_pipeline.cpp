// Render pipeline benchmark, headless: how quickly a huge array shows, and
// how the budget adaptation keeps a spinning picture fluid.
//
//   bench_pipeline [FILE.agl] [--seconds S] [--size WxH] [--budget0 B] [--keep]
//
// Without FILE it writes a 16384 x 16384 float array (1 GiB) to
// /tmp/bench_pipeline.agl and deletes it at the end (unless --keep).
// --budget0 starts level 0 with point budget B instead of 1024, to watch the
// adaptation bring a too fine spin back above 30 frames per second. It reports:
//  1. bind to the first published picture (the file's pages dropped from the
//     page cache first), and to the first picture of the
//     finest level the rules allow, with the timer ticking every 10 ms (the
//     control's one-second timer adds up to one period before each level);
//  2. the process's resident memory (now and peak) after that;
//  3. frames per second while the camera spins continuously, with the budget
//     adaptation live (one tick per frame): overall, and over the last third;
//     the level, resolution and budget it settles on;
//  4. the longest time the control's thread was blocked during the spin: in a
//     render-thread pause, and in a whole tick.
#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "aglGraphView.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

template <typename T> void put(std::string& s, T v) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    s.append(b, sizeof v);
}

// An agl binary file of rows x columns floats: a smooth landscape.
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
            row[size_t(c)] = std::sin(r * 0.0007f) * std::cos(c * 0.0011f) +
                             0.05f * std::sin(r * 0.013f + c * 0.017f);
        out.write(reinterpret_cast<const char*>(row.data()),
                  std::streamsize(row.size() * sizeof(float)));
    }
    return bool(out);
}

// VmRSS and VmHWM of this process, in MiB.
void residentMemory(double* now, double* peak) {
    std::ifstream f("/proc/self/status");
    std::string line;
    *now = *peak = 0;
    while (std::getline(f, line)) {
        if (line.rfind("VmRSS:", 0) == 0) *now = std::atof(line.c_str() + 6) / 1024.0;
        if (line.rfind("VmHWM:", 0) == 0) *peak = std::atof(line.c_str() + 6) / 1024.0;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    double seconds = 10.0;
    int width = 800, height = 600;
    bool keep = false;
    long long budget0 = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (a == "--budget0" && i + 1 < argc)
            budget0 = std::atoll(argv[++i]);
        else if (a == "--keep")
            keep = true;
        else if (a == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else
            file = a;
    }
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR")) setenv("XDG_RUNTIME_DIR", qPrintable(runtime.path()), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char arg0[] = "bench_pipeline";
    char* qtArgv[] = {arg0, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    const bool own = file.empty();
    if (own) {
        file = "/tmp/bench_pipeline.agl";
        const auto t = Clock::now();
        if (!writeArray(file, 16384, 16384)) {
            std::fprintf(stderr, "bench_pipeline: cannot write %s\n", file.c_str());
            return 1;
        }
        std::printf("wrote %s (16384 x 16384 float, 1 GiB) in %.1f s\n", file.c_str(), since(t));
    }

    int status = 0;
    {
        aglGraphView view;
        view.Context().SetTimings(0, 0);
        view.Attach(false);
        view.Resize(width, height);
        view.Context().WaitUntilIdle();
        if (view.Context().StartFailed()) {
            std::fprintf(stderr, "bench_pipeline: no GL: %s\n",
                         view.Context().StartError().c_str());
            return 1;
        }
        std::printf("GL: %s\n", view.Context().GLRenderer().c_str());
        if (budget0 > 0) view.setBudget(0, budget0);

        // 1. Bind to pictures, ticking every 10 ms, with the file's pages
        // dropped from the page cache first (a cold start).
        if (const int fd = open(file.c_str(), O_RDONLY); fd >= 0) {
            fdatasync(fd);
            posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            close(fd);
        }
        const auto t0 = Clock::now();
        if (!view.setFileName(file)) {
            std::fprintf(stderr, "bench_pipeline: cannot bind %s\n", file.c_str());
            return 1;
        }
        double firstPicture = -1, finest = -1;
        int shownLevel = -1;
        uint64_t firstMark = 0, levelMark = 0;
        while (since(t0) < 600.0) {
            view.tick();
            const int L = view.currentLevel();
            const uint64_t published = view.Context().PublishedFrames();
            if (L >= 0 && shownLevel < 0) firstMark = published;
            if (L != shownLevel) {
                shownLevel = L;
                levelMark = published;
            }
            if (L >= 0 && firstPicture < 0 && published > firstMark) firstPicture = since(t0);
            if (L >= 0 && agl::nextLevel(L, view.currentResolution()) == L &&
                published > levelMark) {
                finest = since(t0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        view.Context().WaitUntilIdle();
        std::printf("bind to first picture (level 0, resolution %d): %.3f s\n",
                    view.level(0).resolution, firstPicture);
        std::printf("bind to finest picture (level %d, resolution %d): %.3f s\n", shownLevel,
                    view.currentResolution(), finest);
        double rss = 0, peak = 0;
        residentMemory(&rss, &peak);
        std::printf("resident memory: %.1f MiB now, %.1f MiB peak\n", rss, peak);

        // 3./4. Spin with adaptation.
        view.takeLongestRenderWait();
        auto t = Clock::now();
        view.ToggleSpin();
        const double startBlock = since(t);
        std::printf("spin starts at level 0, resolution %d, budget %lld\n",
                    view.currentResolution(), (long long)view.level(0).budget);
        const auto s0 = Clock::now();
        double longestTick = 0;
        long frames = 0, lateFrames = 0;
        Clock::time_point lateStart;
        bool late = false;
        while (since(s0) < seconds) {
            if (!view.Context().WaitForFrame(view.Context().PublishedFrames(), 5000)) {
                std::fprintf(stderr, "bench_pipeline: no frame for 5 s while spinning\n");
                status = 1;
                break;
            }
            ++frames;
            if (!late && since(s0) > seconds * 2.0 / 3.0) {
                late = true;
                lateStart = Clock::now();
            }
            if (late) ++lateFrames;
            t = Clock::now();
            view.tick();
            longestTick = std::max(longestTick, since(t));
        }
        const double spun = since(s0);
        const double longestPause = view.takeLongestRenderWait();
        const int L = std::max(0, view.currentLevel());
        std::printf("spin %dx%d: %.1f frames/s overall, %.1f frames/s over the last third\n", width,
                    height, frames / spun, late ? lateFrames / since(lateStart) : 0.0);
        std::printf("spin settled at level %d, resolution %d, budget %lld (budgets %lld %lld "
                    "%lld)\n",
                    L, view.currentResolution(), (long long)view.level(L).budget,
                    (long long)view.level(0).budget, (long long)view.level(1).budget,
                    (long long)view.level(2).budget);
        std::printf("longest block of the control's thread while spinning: render pause %.2f ms, "
                    "whole tick %.2f ms; starting the spin %.2f ms\n",
                    longestPause * 1000.0, longestTick * 1000.0, startBlock * 1000.0);
        view.ToggleSpin();
    }
    if (own && !keep) std::remove(file.c_str());
    return status;
}
