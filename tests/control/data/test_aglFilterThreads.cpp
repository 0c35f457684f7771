// Data access under concurrency and hostile input: a reader drawing a grid
// while its level is refiltered into other shapes, and segments rewritten
// or truncated by another process while they are bound and filtered.
#include "ControlTestData.h"
#include "aglArray.h"
#include "aglGraphData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(FilterThreads, ReaderAlwaysSeesAGridConsistentWithItsShape) {
    // Element (r, c) = c: a grid of column step s holds j x s in column j,
    // so a value read with a stale shape shows up as a wrong column value.
    auto seg = testdata::makeShared(AGL_FLOAT, 256, 256, [](int, int c) { return c; });
    ASSERT_TRUE(seg);
    aglArray array;
    ASSERT_TRUE(array.open(seg->name(), true));
    aglFilter filter;
    filter.setArray(&array);
    ASSERT_TRUE(filter.filter(1));

    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            aglFilter::DataLock lock(filter);
            const int rows = lock.rows(), cols = lock.columns();
            if (rows * cols == 0 || !lock.values()) {
                ++bad;
                continue;
            }
            const int step = 256 / cols;
            for (int j = 0; j < cols; ++j)
                if (lock.at(rows - 1, j) != float(j * step)) ++bad;
            ++reads;
        }
    });
    const int resolutions[] = {1, 2, 4, 8, 16, 4, 1};
    for (int round = 0; round < 40; ++round)
        for (int r : resolutions)
            ASSERT_TRUE(filter.filter(r));
    while (reads.load() < 10)
        std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

// A file segment of rows x columns floats, written with plain writes.
std::string writeArrayFile(const std::string& path, int rows, int columns) {
    aglSegment seg;
    const int32_t ext[2] = {rows, columns};
    EXPECT_TRUE(seg.create(path.c_str(), 2, ext, AGL_FLOAT, AGL_LANG_C, true));
    float* f = static_cast<float*>(seg.elements());
    for (int i = 0; i < rows * columns; ++i)
        f[i] = float(i % 97);
    return path;
}

TEST(BindingUnderRewrites, RebindingAndFilteringWhileAnotherProcessRewritesNeverCrashes) {
    char dir[] = "/tmp/agl-rewrite-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/moving.agl";
    writeArrayFile(path, 128, 128);
    const off_t fullSize = 28 + 128 * 128 * 4;

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program: shrinks the file, scribbles over header and
        // elements (NaN and garbage included), grows it back, for a while.
        std::mt19937 rng(7);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (std::chrono::steady_clock::now() < until) {
            const int fd = ::open(path.c_str(), O_RDWR);
            if (fd < 0) continue;
            if (ftruncate(fd, off_t(rng() % fullSize)) != 0) {
            }
            uint32_t junk[256];
            for (auto& w : junk)
                w = rng();
            if (pwrite(fd, junk, sizeof junk, off_t(rng() % fullSize)) < 0) {
            }
            if (ftruncate(fd, fullSize) != 0) {
            }
            ::close(fd);
        }
        _exit(0);
    }

    aglGraphData data;
    data.setGraphType(1);
    int binds = 0, passes = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
    while (std::chrono::steady_clock::now() < until) {
        if (data.setFileName(path)) ++binds;
        passes += data.runPendingPasses();
        // Whatever was read, nothing non-finite reaches a range or a scale.
        for (int L = 0; L < 3; ++L) {
            const aglFilter& f = data.level(L).filter;
            if (!f.isDone()) continue;
            double mx, mn;
            f.range(0, mx, mn);
            ASSERT_TRUE(std::isfinite(mx) && std::isfinite(mn));
            ASSERT_TRUE(std::isfinite(f.componentScale(0)));
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_GT(binds, 0);
    EXPECT_GT(passes, 0);
    std::remove(path.c_str());
    rmdir(dir);
}

TEST(BindingUnderRewrites, ShrunkFileReadsAsZerosAndReportsTheFault) {
    char dir[] = "/tmp/agl-shrink-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/shrinks.agl";
    writeArrayFile(path, 512, 512);
    aglGraphData data;
    data.setGraphType(1);
    ASSERT_TRUE(data.setFileName(path));
    ASSERT_EQ(truncate(path.c_str(), 4096), 0);
    data.setResolutionAutoAdjust(false);
    data.setResolution(1);
    data.setGraphType(2); // 1024 samples per axis: every element
    data.update();
    EXPECT_EQ(data.runPendingPasses(), 1);
    EXPECT_GT(data.array().segment()->truncationFaults(), 0);
    const aglFilter& f = data.level(0).filter;
    aglFilter::DataLock lock(f);
    EXPECT_EQ(lock.rows(), 512);
    // Rows past the file's new end read as zeros: the range still covers data.
    double mx, mn;
    f.range(0, mx, mn);
    EXPECT_TRUE(std::isfinite(mx) && std::isfinite(mn));
    std::remove(path.c_str());
    rmdir(dir);
}

} // namespace
