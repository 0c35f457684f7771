// Benchmarks of the control's resampling passes.
//
//   bench_filter [FOLDER] [SIZE]   (defaults: /tmp, 16384)
//
// A SIZE x SIZE float array (1 GiB at 16384) is written once as an agl file
// in FOLDER and once as a shared-memory block. For each, the graph data binds
// it by name and runs one full pass per level with the default budgets:
//   - cold (file only): the file's pages dropped from the page cache first,
//     so the pass reads from disk what it touches;
//   - warm: pages in the page cache, but not yet mapped by this process.
// Per pass: wall time (and again, on the pages now mapped), page faults (minor/major), the control
// mapping's resident size after the pass (smaps Rss of that mapping: pages the pass made this
// process touch, fault-around included), and for the cold file the file's pages in the page cache
// (mincore: what was read from disk). The "kept" column is the lower bound: the pages that hold the
// samples kept.
//
// Then a full-resolution pass over a 4096 x 4096 window (maximum samples per
// axis raised to 4096 so that no element is skipped) against a plain
// sequential sum over the same rows, in GB/s of element bytes, best of 5.
#include "aglArray.h"
#include "aglFilter.h"
#include "aglGraphData.h"
#include "aglSegment.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

const size_t kPage = size_t(sysconf(_SC_PAGESIZE));

// Element (r, c): a smooth surface with some detail, never constant.
float sampleValue(int64_t r, int64_t c) {
    return float((r * 7 + c * 13) % 1021) * 0.01f;
}

bool writeFile(const std::string& path, int32_t n) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913u;
    std::memcpy(head, &magic, 4);
    head[4] = 1;                     // C
    head[5] = AGL_FLOAT - AGL_UCHAR; // float
    head[6] = 2;                     // slots
    std::memcpy(head + 12, &n, 4);
    std::memcpy(head + 16, &n, 4);
    bool ok = ::write(fd, head, sizeof head) == ssize_t(sizeof head);
    std::vector<float> row(static_cast<size_t>(n));
    for (int32_t r = 0; ok && r < n; ++r) {
        for (int32_t c = 0; c < n; ++c)
            row[size_t(c)] = sampleValue(r, c);
        ok = ::write(fd, row.data(), row.size() * 4) == ssize_t(row.size() * 4);
    }
    fsync(fd);
    ::close(fd);
    return ok;
}

void readWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    std::vector<char> buf(1 << 20);
    while (::read(fd, buf.data(), buf.size()) > 0) {
    }
    ::close(fd);
}

void dropFromPageCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Pages of [base, base + length) in the page cache.
size_t cachedPages(const void* base, size_t length) {
    const uintptr_t b = uintptr_t(base) & ~(uintptr_t(kPage) - 1);
    length += uintptr_t(base) - b;
    std::vector<unsigned char> vec((length + kPage - 1) / kPage);
    if (mincore(reinterpret_cast<void*>(b), length, vec.data()) != 0) return 0;
    size_t n = 0;
    for (unsigned char v : vec)
        n += v & 1;
    return n;
}

// Resident KiB of this process's mapping that contains address.
long mappingRssKiB(const void* address) {
    FILE* f = std::fopen("/proc/self/smaps", "r");
    if (!f) return -1;
    char line[512];
    bool inside = false;
    long rss = -1;
    const uintptr_t a = uintptr_t(address);
    while (std::fgets(line, sizeof line, f)) {
        uintptr_t lo, hi;
        if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " ", &lo, &hi) == 2) {
            inside = a >= lo && a < hi;
            continue;
        }
        if (inside && std::sscanf(line, "Rss: %ld kB", &rss) == 1) break;
    }
    std::fclose(f);
    return rss;
}

struct Faults {
    long minor, major;
};
Faults faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {u.ru_minflt, u.ru_majflt};
}

// MiB of the distinct pages that hold the samples a scalar pass keeps.
double keptMiB(const aglFilter& f, const aglArray& a) {
    const uint8_t* start = static_cast<const uint8_t*>(a.planeStart());
    std::vector<uintptr_t> pages;
    pages.reserve(size_t(f.outputRows()) * size_t(f.outputColumns()));
    for (int i = 0; i < f.outputRows(); ++i)
        for (int j = 0; j < f.outputColumns(); ++j) {
            const uintptr_t p = uintptr_t(start + int64_t(i) * f.rowStep() * a.rowStep() +
                                          int64_t(j) * f.columnStep() * a.colStep());
            pages.push_back(p / kPage);
            pages.push_back((p + size_t(a.elementSize()) - 1) / kPage);
        }
    std::sort(pages.begin(), pages.end());
    const size_t n = size_t(std::unique(pages.begin(), pages.end()) - pages.begin());
    return double(n) * double(kPage) / 1048576.0;
}

void levelPasses(const char* label, const std::string& name, bool cold,
                 const std::string& dropPath) {
    for (int L = 0; L < 3; ++L) {
        if (cold) dropFromPageCache(dropPath);
        aglGraphData data; // a fresh mapping for each pass: nothing touched before
        data.setGraphType(1);
        if (!data.setFileName(name)) {
            std::printf("cannot bind %s\n", name.c_str());
            return;
        }
        const aglSegment* seg = data.array().segment();
        const Faults f0 = faults();
        const long rss0 = mappingRssKiB(seg->base());
        const auto t0 = Clock::now();
        const bool ok = data.runPass(L, true);
        const auto t1 = Clock::now();
        const Faults f1 = faults();
        const long rss1 = mappingRssKiB(seg->base());
        // The same pass again on the now mapped pages: the pass's own cost.
        const auto t2 = Clock::now();
        data.runPass(L, true);
        const auto t3 = Clock::now();
        const aglFilter& fl = data.level(L).filter;
        char cache[32] = "-";
        if (cold)
            std::snprintf(cache, sizeof cache, "%.2f",
                          double(cachedPages(seg->base(), seg->totalSize())) * kPage / 1048576.0);
        std::printf(
            "%-10s L%d res %4d  grid %4dx%-4d %8.3f ms (again %6.3f ms)  faults %5ld/%-4ld  "
            "mapped %7.2f MiB  cache %7s MiB  kept %6.2f MiB%s\n",
            label, L, data.resolution(L), fl.outputRows(), fl.outputColumns(), ms(t0, t1),
            ms(t2, t3), f1.minor - f0.minor, f1.major - f0.major, double(rss1 - rss0) / 1024.0,
            cache, keptMiB(fl, data.array()), ok ? "" : "  FAILED");
    }
}

void fullResolution(const char* label, const std::string& name, int32_t n) {
    const int32_t w = std::min<int32_t>(4096, n);
    aglArray a;
    if (!a.open(name, true)) return;
    a.setPlaneRoi(0, 0, w, w);
    aglFilter f;
    f.setArray(&a);
    f.setMaxSamples(w);
    double best = 1e30, bestSum = 1e30, bestCopy = 1e30;
    std::vector<float> copy(size_t(w) * size_t(w), 1.0f);
    volatile double sink = 0;
    for (int k = 0; k < 6; ++k) { // the first round maps the pages; best of the rest
        const auto t0 = Clock::now();
        f.filter(1);
        const auto t1 = Clock::now();
        double s = 0;
        const uint8_t* p = static_cast<const uint8_t*>(a.planeStart());
        for (int32_t r = 0; r < w; ++r) {
            const float* row = reinterpret_cast<const float*>(p + int64_t(r) * a.rowStep());
            float acc = 0;
            for (int32_t c = 0; c < w; ++c) {
                float x;
                std::memcpy(&x, row + c, 4);
                acc += x;
            }
            s += acc;
        }
        const auto t2 = Clock::now();
        // Second yardstick: copy the same rows into a buffer the size of the
        // grid (the pass reads as many bytes as it writes).
        for (int32_t r = 0; r < w; ++r)
            std::memcpy(copy.data() + size_t(r) * size_t(w), p + int64_t(r) * a.rowStep(),
                        size_t(w) * 4);
        const auto t3 = Clock::now();
        sink = sink + s + copy[size_t(k)];
        if (k > 0) {
            best = std::min(best, ms(t0, t1));
            bestSum = std::min(bestSum, ms(t1, t2));
            bestCopy = std::min(bestCopy, ms(t2, t3));
        }
    }
    const double bytes = double(w) * double(w) * 4.0;
    std::printf("%-10s full-resolution %dx%d (grid %dx%d): pass %.2f ms = %.2f GB/s; "
                "sequential sum %.2f ms = %.2f GB/s; pass/sum %.2f; row copy %.2f ms = %.2f GB/s\n",
                label, w, w, f.outputRows(), f.outputColumns(), best, bytes / best / 1e6, bestSum,
                bytes / bestSum / 1e6, best / bestSum, bestCopy, bytes / bestCopy / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const int32_t n = argc > 2 ? int32_t(std::atoi(argv[2])) : 16384;
    if (n < 16 || int64_t(n) * n > agl::kMaxElements) {
        std::fprintf(stderr, "size must be 16..32768\n");
        return 2;
    }
    const std::string path = folder + "/bench-filter.agl";
    std::printf("writing %dx%d float (%.0f MiB) to %s and to shared memory\n", n, n,
                double(n) * n * 4 / 1048576.0, path.c_str());
    if (!writeFile(path, n)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    aglSegment shm;
    const int32_t ext[2] = {n, n};
    if (!shm.create(nullptr, 2, ext, AGL_FLOAT, AGL_LANG_C)) {
        std::fprintf(stderr, "cannot create shared memory\n");
        return 1;
    }
    float* e = static_cast<float*>(shm.elements());
    for (int64_t r = 0; r < n; ++r)
        for (int64_t c = 0; c < n; ++c)
            e[r * n + c] = sampleValue(r, c);

    levelPasses("file cold", path, true, path);
    readWhole(path);
    levelPasses("file warm", path, false, path);
    levelPasses("shm", shm.name(), false, path);
    fullResolution("file", path, n);
    fullResolution("shm", shm.name(), n);
    std::remove(path.c_str());
    return 0;
}
