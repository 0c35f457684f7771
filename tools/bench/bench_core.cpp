// Benchmarks of the array data core.
//
//   bench_core [FOLDER]   (default: /tmp)
//
// 1. Opening a 1 GiB agl file (16384 x 16384 float, sparse) and reading its
//    shape: wall time, and the element pages made resident (mincore), which
//    must be none: opening maps, it never reads.
// 2. value(column, row) over a 4096 x 4096 float plane, and full rows read
//    through value(), in elements per second, against memcpy of the same bytes.
#include "aglArray.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::string writeSparseFile(const std::string& path, int32_t rows, int32_t cols) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913u;
    std::memcpy(head, &magic, 4);
    head[4] = 1;
    head[5] = 6;
    head[6] = 2;
    std::memcpy(head + 12, &rows, 4);
    std::memcpy(head + 16, &cols, 4);
    std::fwrite(head, 1, sizeof head, f);
    std::fclose(f);
    if (truncate(path.c_str(), off_t(28) + off_t(rows) * cols * 4) != 0) return {};
    return path;
}

size_t residentPages(const void* base, size_t length) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> vec((length + page - 1) / page);
    if (mincore(const_cast<void*>(base), length, vec.data()) != 0) return size_t(-1);
    size_t n = 0;
    for (unsigned char v : vec)
        n += v & 1;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string big = writeSparseFile(folder + "/bench-core-1g.agl", 16384, 16384);
    if (big.empty()) {
        std::fprintf(stderr, "bench_core: cannot write in %s\n", folder.c_str());
        return 2;
    }

    // 1. Open and shape.
    double best = 1e9;
    size_t resident = 0;
    std::string shape;
    for (int i = 0; i < 20; ++i) {
        aglArray a;
        const auto t0 = Clock::now();
        if (!a.open(big, true)) return 2;
        shape = a.shapeText();
        const auto t1 = Clock::now();
        best = std::min(best, seconds(t0, t1));
        const aglSegment* s = a.segment();
        resident = residentPages(s->base(), s->totalSize());
    }
    std::printf("open 1 GiB agl file + shape text (%s): best %.1f us, resident pages after: %zu "
                "(of %zu)\n",
                shape.c_str(), best * 1e6, resident,
                size_t((uint64_t(16384) * 16384 * 4 + 28) / size_t(sysconf(_SC_PAGESIZE))));
    unlink(big.c_str());

    // 2. Element access over a 4096 x 4096 float plane in shared memory.
    aglArray a;
    const int32_t n = 4096;
    if (!a.allocate(int64_t(n) * n * 4)) return 2;
    const int32_t ext[2] = {n, n};
    a.reshape(2, ext, AGL_FLOAT);
    uint8_t* data = static_cast<uint8_t*>(a.mutableData());
    for (int64_t i = 0; i < int64_t(n) * n; ++i) {
        const float f = float(i % 1000) * 0.5f;
        std::memcpy(data + 4 * i, &f, 4);
    }

    const double elements = double(n) * n;
    double sum = 0;
    auto t0 = Clock::now();
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            sum += a.value(c, r);
    auto t1 = Clock::now();
    const double tValue = seconds(t0, t1);

    std::vector<double> row(n);
    t0 = Clock::now();
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            row[size_t(c)] = a.value(c, r);
        sum += row[size_t(r)];
    }
    t1 = Clock::now();
    const double tRow = seconds(t0, t1);

    t0 = Clock::now();
    for (int r = 0; r < n; ++r) {
        a.readRow(r, 0, n, row.data());
        sum += row[size_t(r)];
    }
    t1 = Clock::now();
    const double tReadRow = seconds(t0, t1);

    std::vector<float> copy(size_t(n) * n);
    t0 = Clock::now();
    std::memcpy(copy.data(), data, copy.size() * 4);
    t1 = Clock::now();
    const double tCopy = seconds(t0, t1);
    sum += copy[12345];

    std::printf("value(column, row) over 4096 x 4096 float: %.0f M elements/s\n",
                elements / tValue / 1e6);
    std::printf("full rows through value() into doubles:   %.0f M elements/s\n",
                elements / tRow / 1e6);
    std::printf("full rows through readRow() into doubles: %.0f M elements/s\n",
                elements / tReadRow / 1e6);
    std::printf("memcpy of the same 64 MiB:                 %.0f M elements/s (%.1f GB/s)\n",
                elements / tCopy / 1e6, elements * 4 / tCopy / 1e9);
    std::printf("(checksum %g)\n", sum);
    return 0;
}
