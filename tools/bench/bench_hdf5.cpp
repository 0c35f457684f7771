// Benchmark of HDF5 data sets through the helper process, against h5py.
//
//   bench_hdf5 [FOLDER]   (default: /tmp)
//
// Writes two files with the HDF5 library: a 4096 x 4096 float data set
// (64 MiB) stored contiguously, and the same values chunked 256 x 256 and
// deflated. For each, best of five:
//  - listing the file (tavrix-hdf list, decoded here);
//  - showing the data set (HdfHelper::makeArray: start tavrix-hdf, read the
//    whole data set into a fresh shared-memory segment, map it here);
//  - h5py reading the same data set into a NumPy array (ds[...]), timed
//    inside Python, when a Python with h5py is found (python3, then
//    /usr/bin/python3).
// Warm page cache: the files were just written.
#include "HdfHelper.h"
#include "HdfObjects.h"

#include "aglArray.h"

#include <hdf5.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
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

} // namespace

int main(int argc, char** argv) {
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
        const double shown = best(5, [&] {
            auto array = helper.makeArray(*set, reason);
            if (!array) std::fprintf(stderr, "%s\n", reason.c_str());
        });
        const double h5py = python.empty() ? -1 : h5pyBest(python, path);
        std::printf("%-10s list %.1f ms, show through the helper %.1f ms",
                    chunked ? "chunked" : "contiguous", listing * 1e3, shown * 1e3);
        if (h5py > 0)
            std::printf(", h5py ds[...] %.1f ms (ratio %.2f)\n", h5py * 1e3, shown / h5py);
        else
            std::printf(", h5py not found\n");
        std::remove(path.c_str());
    }
    return 0;
}
