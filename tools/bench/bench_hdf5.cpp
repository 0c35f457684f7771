// Benchmark of HDF5 data sets through the helper process, against h5py.
//
//   bench_hdf5 [FOLDER]   (default: /tmp)
//
// Writes two files with the HDF5 library: a 4096 x 4096 float data set
// (64 MiB) stored contiguously, and the same values chunked 256 x 256 and
// deflated. For each, best of five:
//  - listing the file (tavrix-hdf list, decoded here);
//  - showing the data set (HdfHelper::makeArray: start tavrix-hdf, read the
//    whole data set into a fresh shared-memory segment, map it here), and
//    the helper's own CPU time (user + system);
//  - h5py reading the same data set into a NumPy array (ds[...]), timed
//    inside Python, when a Python with h5py is found (python3, then
//    /usr/bin/python3).
// Warm page cache: the files were just written.
//
//   bench_hdf5 --planes [FOLDER [keep]]
//
// Writes a 4 GiB float data set of 1024 x 1024 x 1024, chunked 1 x 256 x
// 256 (about 4 GiB on disk; deleted at the end), then, after dropping the
// page cache when this process may (else says so and measures warm):
//  - opening it as the viewer does (openArrayFile, plane by plane: list the
//    file, read the first plane into a segment): wall time and the bytes
//    the helper processes read from disk (this process's read_bytes, which
//    take in its reaped children's);
//  - a plane step as the viewer makes it (HdfPlaneSession::read of plane k
//    into the array of the plane before, the helper session already
//    running), median and best of 40 steps, against h5py reading planes
//    (ds[k], file open, timed inside Python): cold, each on 40 planes no
//    one has read since the cache was dropped; warm, both on planes 1..40. With keep the file
//    stays (FOLDER/bench_hdf5_cube.h5) for measuring the viewer on it.
#include "ArrayFileOpener.h"
#include "HdfHelper.h"
#include "HdfObjects.h"
#include "HdfPlaneSession.h"

#include "aglArray.h"

#include <hdf5.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F> double best(int runs, F f) {
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        f();
        t = std::min(t, std::chrono::duration<double>(Clock::now() - a).count());
    }
    return t;
}

// The user and system time of this process's ended children, in seconds.
double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

constexpr hsize_t kSide = 4096;

bool writeFile(const std::string& path, bool chunked) {
    std::vector<float> values(kSide * kSide);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = float((i * 2654435761u) % 1000003) * 0.001f;
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) return false;
    const hsize_t dims[2] = {kSide, kSide}, chunk[2] = {256, 256};
    const hid_t space = H5Screate_simple(2, dims, nullptr);
    const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    if (chunked) {
        H5Pset_chunk(create, 2, chunk);
        H5Pset_deflate(create, 1);
    }
    const hid_t set =
        H5Dcreate2(file, "field", H5T_IEEE_F32LE, space, H5P_DEFAULT, create, H5P_DEFAULT);
    const bool ok = set >= 0 && H5Dwrite(set, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                                         values.data()) >= 0;
    H5Dclose(set);
    H5Pclose(create);
    H5Sclose(space);
    H5Fclose(file);
    return ok;
}

std::string pythonWithH5py() {
    for (const char* python : {"python3", "/usr/bin/python3"})
        if (std::system((std::string(python) + " -c 'import h5py' 2>/dev/null").c_str()) == 0)
            return python;
    return {};
}

// h5py's best of five, in seconds, or a negative number.
double h5pyBest(const std::string& python, const std::string& path) {
    const std::string cmd =
        python +
        " -c \"import h5py, time\n"
        "f = h5py.File('" +
        path +
        "', 'r')\n"
        "t = 1e9\n"
        "for i in range(5):\n"
        "    a = time.perf_counter(); x = f['field'][...]; t = min(t, time.perf_counter() - a)\n"
        "print(t)\"";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    double t = -1;
    if (std::fscanf(p, "%lf", &t) != 1) t = -1;
    ::pclose(p);
    return t;
}

constexpr hsize_t kCube = 1024;
constexpr int kSteps = 40;

bool writeCube(const std::string& path) {
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) return false;
    const hsize_t dims[3] = {kCube, kCube, kCube}, chunk[3] = {1, 256, 256};
    const hid_t space = H5Screate_simple(3, dims, nullptr);
    const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(create, 3, chunk);
    const hid_t set =
        H5Dcreate2(file, "field", H5T_IEEE_F32LE, space, H5P_DEFAULT, create, H5P_DEFAULT);
    std::vector<float> plane(kCube * kCube);
    const hsize_t count[3] = {1, kCube, kCube};
    const hid_t memory = H5Screate_simple(3, count, nullptr);
    bool ok = set >= 0;
    for (hsize_t k = 0; ok && k < kCube; ++k) {
        for (size_t i = 0; i < plane.size(); ++i)
            plane[i] = float(k) + float(i % 1000) * 0.001f;
        const hsize_t start[3] = {k, 0, 0};
        const hid_t fileSpace = H5Dget_space(set);
        ok = H5Sselect_hyperslab(fileSpace, H5S_SELECT_SET, start, nullptr, count, nullptr) >= 0 &&
             H5Dwrite(set, H5T_NATIVE_FLOAT, memory, fileSpace, H5P_DEFAULT, plane.data()) >= 0;
        H5Sclose(fileSpace);
    }
    H5Sclose(memory);
    H5Dclose(set);
    H5Pclose(create);
    H5Sclose(space);
    H5Fclose(file);
    return ok;
}

// This process's bytes read from disk so far (with its reaped children's).
long long readBytes() {
    FILE* f = std::fopen("/proc/self/io", "r");
    if (!f) return -1;
    char line[256];
    long long value = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "read_bytes: %lld", &value) == 1) break;
    std::fclose(f);
    return value;
}

bool dropCaches() {
    ::sync();
    FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!f) return false;
    const bool ok = std::fputs("3\n", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int benchPlanes(const std::string& folder, const std::string& python, bool keep) {
    const std::string path = folder + "/bench_hdf5_cube.h5";
    std::printf("float %llu x %llu x %llu (4 GiB) chunked 1 x 256 x 256 in %s\n",
                (unsigned long long)kCube, (unsigned long long)kCube, (unsigned long long)kCube,
                path.c_str());
    // A file kept by an earlier run with keep is used again.
    FILE* kept = keep ? std::fopen(path.c_str(), "rb") : nullptr;
    if (kept) std::fclose(kept);
    if (!kept && !writeCube(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::remove(path.c_str());
        return 1;
    }
    const bool cold = dropCaches();
    std::printf("page cache: %s\n", cold ? "dropped (cold)" : "not dropped, not permitted (warm)");
    const long long before = readBytes();
    const auto t0 = Clock::now();
    ArrayOpenOptions options;
    options.hdfByPlane = true;
    OpenedArray opened = openArrayFile(path, options);
    const double openSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const long long read = readBytes() - before;
    if (!opened.ok() || !opened.hdfObject) {
        std::fprintf(stderr, "open failed: %s\n", opened.reason.c_str());
        std::remove(path.c_str());
        return 1;
    }
    std::printf("open (list + first plane): %.1f ms, %.1f MiB read from disk by the helpers\n",
                openSeconds * 1e3, double(read) / 1048576.0);

    auto& sds = static_cast<CHdfSds&>(*opened.hdfObject);
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), sds);
    std::string reason;
    HdfPlane plane = hdfFirstPlane(sds);
    std::unique_ptr<aglArray> spare = HdfHelper::makePlaneArray(sds, plane, reason);
    int64_t imprecise = 0;
    int32_t start[3] = {0, 0, 0};
    // The session's first request starts the helper: not a step.
    if (!spare || !session.read(*spare->segment(), start, 60000, nullptr, imprecise, reason)) {
        std::fprintf(stderr, "plane session failed: %s\n", reason.c_str());
        std::remove(path.c_str());
        return 1;
    }
    // Our steps and h5py's over the same planes, both cold (page cache
    // dropped before each, when permitted) and both warm (the planes were
    // just read).
    auto ourSteps = [&](std::vector<double>& steps, int first) {
        steps.clear();
        for (int k = first; k < first + kSteps; ++k) {
            start[0] = k;
            const auto a = Clock::now();
            if (!session.read(*spare->segment(), start, 60000, nullptr, imprecise, reason)) {
                std::fprintf(stderr, "plane %d failed: %s\n", k, reason.c_str());
                return false;
            }
            steps.push_back(std::chrono::duration<double>(Clock::now() - a).count());
        }
        return true;
    };
    auto h5pySteps = [&](double& med, double& best, int first) {
        med = best = -1;
        if (python.empty()) return;
        const std::string cmd =
            python +
            " -c \"import h5py, time\n"
            "f = h5py.File('" +
            path +
            "', 'r'); d = f['field']; x = d[0]\n"
            "t = []\n"
            "for k in range(" +
            std::to_string(first) + ", " + std::to_string(first + kSteps) +
            "):\n"
            "    a = time.perf_counter(); x = d[k]; t.append(time.perf_counter() - "
            "a)\n"
            "t.sort(); print(t[len(t) // 2], t[0])\"";
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p) return;
        if (std::fscanf(p, "%lf %lf", &med, &best) != 2) med = best = -1;
        ::pclose(p);
    };
    for (const bool warm : {false, true}) {
        // Cold: each reads planes no one has read since the cache was
        // dropped (h5py first, then ours, on planes of their own, so that
        // neither finds the other's in a cache below this machine's).
        // Warm: both read planes 1 .. 40 again.
        double med = -1, best = -1;
        std::vector<double> steps;
        if (!warm) {
            if (!dropCaches()) continue;
            h5pySteps(med, best, 1 + kSteps);
            dropCaches();
            if (!ourSteps(steps, 1 + 2 * kSteps)) break;
        } else {
            if (!ourSteps(steps, 1) || !ourSteps(steps, 1)) break;
            h5pySteps(med, best, 1);
        }
        const double ours = median(steps);
        std::printf("%s plane step through the helper session: median %.2f ms, best %.2f ms "
                    "(%d steps)\n",
                    warm ? "warm" : "cold", ours * 1e3,
                    *std::min_element(steps.begin(), steps.end()) * 1e3, int(steps.size()));
        if (med > 0)
            std::printf("%s h5py ds[k] of the same planes: median %.2f ms, best %.2f ms (ratio of "
                        "medians %.2f)\n",
                        warm ? "warm" : "cold", med * 1e3, best * 1e3, ours / med);
    }
    if (!keep) std::remove(path.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--planes")
        return benchPlanes(argc > 2 ? argv[2] : "/tmp", pythonWithH5py(),
                           argc > 3 && std::string(argv[3]) == "keep");
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string python = pythonWithH5py();
    std::printf("data set: float %llu x %llu (%llu MiB)\n", (unsigned long long)kSide,
                (unsigned long long)kSide, (unsigned long long)(kSide * kSide * 4 >> 20));
    for (const bool chunked : {false, true}) {
        const std::string path =
            folder + (chunked ? "/bench_hdf5_chunked.h5" : "/bench_hdf5_contiguous.h5");
        if (!writeFile(path, chunked)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        HdfHelper helper;
        HdfObjectList list;
        std::string reason;
        const double listing = best(5, [&] {
            if (!helper.list(path, list, reason)) std::fprintf(stderr, "%s\n", reason.c_str());
        });
        const CHdfObject* set = list.empty() ? nullptr : list.front().get();
        if (!set) return 1;
        // Wall time, and the CPU time the helper took (its user and system
        // time, which a busy machine does not stretch as it does wall time).
        double helperCpu = 1e9;
        const double shown = best(5, [&] {
            const double before = childrenCpuSeconds();
            auto array = helper.makeArray(*set, reason);
            if (!array) std::fprintf(stderr, "%s\n", reason.c_str());
            helperCpu = std::min(helperCpu, childrenCpuSeconds() - before);
        });
        const double h5py = python.empty() ? -1 : h5pyBest(python, path);
        std::printf("%-10s list %.1f ms, show through the helper %.1f ms (helper CPU %.1f ms)",
                    chunked ? "chunked" : "contiguous", listing * 1e3, shown * 1e3,
                    helperCpu * 1e3);
        if (h5py > 0)
            std::printf(", h5py ds[...] %.1f ms (ratio %.2f)\n", h5py * 1e3, shown / h5py);
        else
            std::printf(", h5py not found\n");
        std::remove(path.c_str());
    }
    return 0;
}
