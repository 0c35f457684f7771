// Benchmark of HDF and NumPy files.
//
//   bench_hdf [FOLDER]   (default: /tmp)
//
//  - Showing a 4096 x 4096 float data set through the helper process
//    (HdfHelper::makeArray: start tavrix-hdf, SDreaddata into a fresh
//    shared-memory segment, map it here), against a plain SDreaddata of the
//    same set into freshly allocated memory in this process, side by side,
//    best of five each; and the pages this process touches during the
//    hand-over (minor faults), which shows the elements are not copied.
//  - Listing a file of 1000 data sets (object list only), best of five.
//  - Opening a 1 GiB .npy file (sparse) as a segment and an array, best of
//    five, and how many of its element pages are resident afterwards.
//
//   bench_hdf --planes [FOLDER]
//
// Writes a float data set of 64 x 1024 x 1024 (256 MiB), alone in one file
// and beside 1000 small data sets in another, and steps through its planes
// as the viewer does (HdfPlaneSession::read of plane k of the last two
// dimensions, the helper session already running): median and best of 60
// steps, warm page cache.
#include "HdfHelper.h"
#include "HdfObjects.h"
#include "HdfPlaneSession.h"

#include "aglArray.h"
#include "aglSegment.h"

#include <mfhdf.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

template <typename F> double best(int runs, F f) {
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        f();
        t = std::min(t, seconds(a, Clock::now()));
    }
    return t;
}

volatile uint8_t g_sink;

long minorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

bool writeBigSet(const std::string& path, int32_t n) {
    const int32_t sd = SDstart(path.c_str(), DFACC_CREATE);
    if (sd == FAIL) return false;
    int32_t dims[2] = {n, n}, start[2] = {0, 0};
    const int32_t sds = SDcreate(sd, "big", DFNT_FLOAT32, 2, dims);
    std::vector<float> v(size_t(n) * size_t(n));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = float(i % 1000) * 0.5f;
    const bool ok = SDwritedata(sds, start, nullptr, dims, v.data()) != FAIL;
    SDendaccess(sds);
    SDend(sd);
    return ok;
}

bool writeManySets(const std::string& path, int count) {
    const int32_t sd = SDstart(path.c_str(), DFACC_CREATE);
    if (sd == FAIL) return false;
    int32_t dims[2] = {4, 5}, start[2] = {0, 0};
    float v[20] = {};
    for (int i = 0; i < count; ++i) {
        const std::string name = "set" + std::to_string(i);
        const int32_t sds = SDcreate(sd, name.c_str(), DFNT_FLOAT32, 2, dims);
        SDwritedata(sds, start, nullptr, dims, v);
        SDsetattr(sds, "note", DFNT_CHAR8, 4, "abcd");
        SDendaccess(sds);
    }
    SDend(sd);
    return true;
}

double plainRead(const std::string& path, int32_t n) {
    return best(5, [&] {
        const int32_t sd = SDstart(path.c_str(), DFACC_READ);
        const int32_t sds = SDselect(sd, 0);
        std::unique_ptr<float[]> buffer(new float[size_t(n) * size_t(n)]);
        int32_t start[2] = {0, 0}, edges[2] = {n, n};
        if (SDreaddata(sds, start, nullptr, edges, buffer.get()) == FAIL) std::abort();
        SDendaccess(sds);
        SDend(sd);
    });
}

// The cube of benchPlanes (a 64 x 1024 x 1024 float data set named
// "cube"), after count small data sets when count > 0.
bool writeCube(const std::string& path, int count) {
    if (count > 0 ? !writeManySets(path, count) : false) return false;
    const int32_t sd = SDstart(path.c_str(), count > 0 ? DFACC_WRITE : DFACC_CREATE);
    if (sd == FAIL) return false;
    int32_t dims[3] = {64, 1024, 1024}, start[3] = {0, 0, 0}, edges[3] = {1, 1024, 1024};
    const int32_t sds = SDcreate(sd, "cube", DFNT_FLOAT32, 3, dims);
    std::vector<float> plane(size_t(1024) * 1024);
    bool ok = sds != FAIL;
    for (int32_t k = 0; ok && k < dims[0]; ++k) {
        for (size_t i = 0; i < plane.size(); ++i)
            plane[i] = float(k) + float(i % 1000) * 0.001f;
        start[0] = k;
        ok = SDwritedata(sds, start, nullptr, edges, plane.data()) != FAIL;
    }
    SDendaccess(sds);
    SDend(sd);
    return ok;
}

int benchPlanes(const std::string& folder) {
    constexpr int kSteps = 60;
    const std::string path = folder + "/bench_hdf_cube.hdf";
    for (const int others : {0, 1000}) {
        if (!writeCube(path, others)) {
            std::fprintf(stderr, "bench_hdf: cannot write %s\n", path.c_str());
            std::remove(path.c_str());
            return 1;
        }
        HdfHelper helper;
        HdfObjectList list;
        std::string reason;
        if (!helper.list(path, list, reason)) {
            std::fprintf(stderr, "bench_hdf: %s\n", reason.c_str());
            std::remove(path.c_str());
            return 1;
        }
        const CHdfSds* cube = nullptr;
        for (const auto& o : list)
            if (o->displayName == "cube") cube = static_cast<const CHdfSds*>(o.get());
        if (!cube || !hdfReadsByPlane(*cube)) {
            std::fprintf(stderr, "bench_hdf: the cube is not listed as read by plane\n");
            std::remove(path.c_str());
            return 1;
        }
        HdfPlaneSession session(helper.helperPath(), *cube);
        // Planes of the last two dimensions (one contiguous run of the file
        // each), stepping through the first.
        HdfPlane plane;
        plane.rowDim = 1;
        plane.colDim = 2;
        int32_t start[3] = {0, 0, 0};
        std::unique_ptr<aglArray> array = HdfHelper::makePlaneArray(*cube, plane, reason, start);
        int64_t imprecise = 0;
        // The first request starts the helper: not a step.
        if (!array || !session.read(*array->segment(), start, 60000, nullptr, imprecise, reason)) {
            std::fprintf(stderr, "bench_hdf: %s\n", reason.c_str());
            std::remove(path.c_str());
            return 1;
        }
        std::vector<double> steps;
        for (int i = 1; i <= kSteps; ++i) {
            start[0] = i % 64;
            const auto a = Clock::now();
            if (!session.read(*array->segment(), start, 60000, nullptr, imprecise, reason)) {
                std::fprintf(stderr, "bench_hdf: plane %d: %s\n", i, reason.c_str());
                std::remove(path.c_str());
                return 1;
            }
            steps.push_back(seconds(a, Clock::now()));
        }
        std::sort(steps.begin(), steps.end());
        std::printf("64 x 1024 x 1024 float, %4d other data sets in the file: plane step median "
                    "%.2f ms, best %.2f ms (%d steps)\n",
                    others, steps[steps.size() / 2] * 1e3, steps.front() * 1e3, kSteps);
        std::remove(path.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--planes")
        return benchPlanes(argc > 2 ? argv[2] : "/tmp");
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string big = folder + "/bench_hdf_big.hdf";
    const std::string many = folder + "/bench_hdf_many.hdf";
    const std::string npy = folder + "/bench_hdf_1g.npy";
    constexpr int32_t n = 4096;

    if (!writeBigSet(big, n) || !writeManySets(many, 1000)) {
        std::fprintf(stderr, "bench_hdf: cannot write the HDF files in %s\n", folder.c_str());
        return 1;
    }
    HdfHelper helper;
    HdfObjectList list;
    std::string reason;
    if (!helper.list(big, list, reason)) {
        std::fprintf(stderr, "bench_hdf: %s\n", reason.c_str());
        return 1;
    }
    // Side by side, alternating, so both see the same page cache.
    double plain = 1e9, shown = 1e9;
    long faults = 0;
    for (int i = 0; i < 5; ++i) {
        plain = std::min(plain, plainRead(big, n));
        const long f0 = minorFaults();
        const auto a = Clock::now();
        auto array = helper.makeArray(*list[0], reason);
        const double t = seconds(a, Clock::now());
        faults = minorFaults() - f0;
        if (!array) {
            std::fprintf(stderr, "bench_hdf: %s\n", reason.c_str());
            return 1;
        }
        shown = std::min(shown, t);
    }
    std::printf("4096 x 4096 float data set (64 MiB):\n");
    std::printf("  plain SDreaddata into memory:        %7.1f ms\n", plain * 1e3);
    std::printf("  shown through the helper process:    %7.1f ms  (%.2f x plain)\n", shown * 1e3,
                shown / plain);
    std::printf("  pages this process touched meanwhile: %ld of %d (elements not copied)\n", faults,
                n * n * 4 / 4096);
    // Where the difference goes: starting the helper (it only prints its
    // usage), and filling a fresh shared-memory block of the same size.
    const double start = best(5, [&] { helper.run({}, 10000); });
    const double fill = best(5, [&] {
        aglSegment seg;
        const int32_t ext[2] = {n, n};
        if (!seg.create(nullptr, 2, ext, AGL_FLOAT, AGL_LANG_C)) std::abort();
        std::memset(seg.elements(), 1, size_t(n) * size_t(n) * 4);
    });
    const double fillPlain = best(5, [&] {
        std::unique_ptr<float[]> buffer(new float[size_t(n) * size_t(n)]);
        std::memset(buffer.get(), 1, size_t(n) * size_t(n) * 4);
        g_sink = reinterpret_cast<volatile uint8_t*>(buffer.get())[12345];
    });
    std::printf("  starting the helper:                 %7.1f ms\n", start * 1e3);
    std::printf("  first writes to 64 MiB: shared memory %.1f ms, private memory %.1f ms\n",
                fill * 1e3, fillPlain * 1e3);

    HdfObjectList many1000;
    const double listing = best(5, [&] {
        if (!helper.list(many, many1000, reason)) std::abort();
    });
    std::printf("file of 1000 data sets: object list in %.1f ms (%zu objects)\n", listing * 1e3,
                many1000.size());

    // A 1 GiB NumPy file: header, then a sparse tail of float elements.
    {
        std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (16384, 16384), }";
        while ((10 + header.size() + 1) % 64 != 0)
            header += ' ';
        header += '\n';
        std::string head = std::string("\x93NUMPY\x01\x00", 8);
        head += char(header.size() & 0xFF);
        head += char(header.size() >> 8);
        head += header;
        const int fd = ::open(npy.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, head.data(), head.size()) != ssize_t(head.size()) ||
            ::ftruncate(fd, off_t(head.size()) + (off_t(1) << 30)) != 0) {
            std::fprintf(stderr, "bench_hdf: cannot write %s\n", npy.c_str());
            return 1;
        }
        ::close(fd);
    }
    const double opening = best(5, [&] {
        aglArray array;
        if (!array.open(npy, true)) std::abort();
    });
    size_t resident = 0;
    {
        aglArray array;
        if (!array.open(npy, true)) std::abort();
        const aglSegment* s = array.segment();
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const uintptr_t from = (uintptr_t(s->elements()) + page - 1) & ~(page - 1);
        const size_t length = size_t(s->totalSize()) - (from - uintptr_t(s->base()));
        std::vector<unsigned char> in((length + page - 1) / page);
        resident = 0;
        if (mincore(reinterpret_cast<void*>(from), length, in.data()) == 0)
            for (unsigned char c : in)
                resident += c & 1;
    }
    std::printf("1 GiB .npy file: opened as an array in %.3f ms, %zu element pages resident\n",
                opening * 1e3, resident);
    std::remove(big.c_str());
    std::remove(many.c_str());
    std::remove(npy.c_str());
    return 0;
}
