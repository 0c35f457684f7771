// Benchmark of the agl ASCII format on large float files.
//
//   bench_formats [FOLDER] [MEGABYTES]   (default: /tmp, 100)
//
// Makes a float array whose ASCII text is about MEGABYTES MB (seeded random
// values, 1000 per line), then measures in MB of text per second:
//  - writing it with writeAglAscii, against a plain C loop of fprintf("%.9g")
//    over the same values into a FILE*;
//  - reading it with readAglAscii over the mapped file, against a plain C
//    strtod loop over the same text (NUL-terminated copy), and at a tenth of
//    the size, to show the reader is linear in the text length.
// Each figure is the best of three runs.
#include "AglAsciiFormat.h"
#include "MappedFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

template <typename F> double best(F f) {
    double t = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto a = Clock::now();
        f();
        t = std::min(t, seconds(a, Clock::now()));
    }
    return t;
}

std::unique_ptr<aglArray> floats(int32_t rows, int32_t cols) {
    auto a = std::make_unique<aglArray>();
    const int32_t ext[2] = {rows, cols};
    if (!a->allocate(int64_t(rows) * cols * 4) || a->reshape(2, ext, AGL_FLOAT) != 0)
        return nullptr;
    std::mt19937 rng(42);
    auto* f = static_cast<float*>(a->mutableData());
    for (int64_t i = 0; i < int64_t(rows) * cols; ++i)
        f[i] = float((double(rng()) / 4294967296.0 - 0.5) * 2000.0);
    return a;
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

void measure(const std::string& folder, double megabytes) {
    // About 10.5 characters per value with the shortest exact text.
    const int32_t cols = 1000;
    const int32_t rows = std::max<int32_t>(1, int32_t(megabytes * 1e6 / 10.5 / cols));
    auto array = floats(rows, cols);
    if (!array) {
        std::printf("no memory for the array\n");
        return;
    }
    const std::string ours = folder + "/bench-formats-ours.txt";
    const std::string plain = folder + "/bench-formats-plain.txt";

    FormatError error;
    bool ok = true;
    const double tw = best([&] { ok = ok && writeAglAscii(*array, ours, {}, error); });
    const int64_t bytes = fileSize(ours);
    const double mb = double(bytes) / 1e6;
    const double tc = best([&] {
        FILE* f = std::fopen(plain.c_str(), "w");
        const auto* v = static_cast<const float*>(array->data());
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < cols; ++c)
                std::fprintf(f, c + 1 < cols ? "%.9g\t" : "%.9g\n",
                             double(v[int64_t(r) * cols + c]));
        std::fclose(f);
    });
    const double plainMb = double(fileSize(plain)) / 1e6;

    platform::MappedFile text(ours);
    int64_t read = 0;
    const double tr = best([&] {
        AsciiReadResult r = readAglAscii(text.chars(), text.size());
        read = r.read;
    });
    std::string copy(text.chars(), text.size()); // strtod needs a terminating zero
    double sum = 0;
    int64_t count = 0;
    const double ts = best([&] {
        const char* p = copy.c_str();
        const char* end = p + copy.size();
        char* next = nullptr;
        count = 0;
        while (p < end) {
            const double v = std::strtod(p, &next);
            if (next == p) {
                ++p;
                continue;
            }
            sum += v;
            ++count;
            p = next;
        }
    });
    std::printf("%.1f MB text (%d x %d floats), %s\n", mb, rows, cols,
                ok ? "written" : error.detail.c_str());
    std::printf("  write  writeAglAscii    %8.1f MB/s   (%.3f s)\n", mb / tw, tw);
    std::printf("         fprintf %%.9g loop %8.1f MB/s   (%.3f s, %.1f MB)\n", plainMb / tc, tc,
                plainMb);
    std::printf("  read   readAglAscii     %8.1f MB/s   (%.3f s, %lld values)\n", mb / tr, tr,
                (long long)read);
    std::printf("         strtod loop      %8.1f MB/s   (%.3f s, %lld values)\n", mb / ts, ts,
                (long long)count);
    std::remove(ours.c_str());
    std::remove(plain.c_str());
    if (sum == 0.123) std::printf(" ");
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const double megabytes = argc > 2 ? std::atof(argv[2]) : 100.0;
    measure(folder, megabytes / 10);
    measure(folder, megabytes);
    return 0;
}
