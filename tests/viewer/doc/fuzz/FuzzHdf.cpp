// The HDF helper's reader under the fuzzer: each input becomes a file in
// /dev/shm, is listed, and every object with content is read into a buffer of
// exactly the size the listing promises (so a read past it is caught).
// The HDF library itself is not instrumented: a fault inside it shows only
// as a crash, which the viewer survives because this code runs in the
// helper process there.
#include "FuzzTargets.h"

#include "Hdf5FileReader.h"
#include "HdfFileReader.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

void readAll(const std::string& path, const CHdfObject& o) {
    for (const auto& c : o.children)
        readAll(path, *c);
    if (!o.hasContent) return;
    int32_t extents[agl::kMaxDims] = {};
    int dims = 0, type = AGL_UCHAR;
    HdfReadWhat what;
    if (o.kind == HdfKindSds) {
        const auto& s = static_cast<const CHdfSds&>(o);
        if (hdfShownElementCount(s) == 0) return;
        dims = s.rank;
        for (int d = 0; d < dims; ++d)
            extents[d] = s.extents[size_t(d)];
        type = s.typeCode;
        what = HdfReadSds;
    } else if (o.kind == HdfKindRaster) {
        const auto& r = static_cast<const CHdfRasterImage&>(o);
        if (r.components != 1 || int64_t(r.width) * r.height > (1 << 24) || r.width < 1 ||
            r.height < 1)
            return;
        dims = 2;
        extents[0] = r.height;
        extents[1] = r.width;
        type = r.typeCode;
        what = HdfReadImage;
    } else if (o.kind == HdfKindPalette) {
        dims = 2;
        extents[0] = 256;
        extents[1] = 4;
        what = static_cast<const CHdfPalette&>(o).source == HdfPaletteDfp ? HdfReadDfp : HdfReadLut;
    } else {
        return;
    }
    int64_t count = 1;
    for (int d = 0; d < dims; ++d)
        count *= extents[d];
    const size_t bytes = size_t(count) * size_t(agl::typeInfo(type).size);
    if (bytes > (size_t(64) << 20)) return; // the fuzzer's memory, not a fault
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes]);
    std::string reason;
    hdfReadObject(path, what, o.index, dims, extents, type, buffer.get(), bytes, reason);
}

// The input as a file of its own in /dev/shm. A fresh name for every
// input: the HDF libraries keep files they have seen by name, so a reused
// name would read an earlier input again.
std::string inputFile(const uint8_t* data, size_t size, const char* suffix) {
    static unsigned long counter = 0;
    const std::string path = "/dev/shm/tavrix-hdf-fuzz-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter++) + suffix;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    if (size > 0 && ::write(fd, data, size) != ssize_t(size)) std::abort();
    ::close(fd);
    return path;
}

// Every HDF5 data set with content is read into a buffer of exactly the
// size its listing promises.
void readAll5(const std::string& path, const CHdfObject& o) {
    for (const auto& c : o.children)
        readAll5(path, *c);
    if (!o.hasContent || o.kind != HdfKindSds) return;
    const auto& s = static_cast<const CHdfSds&>(o);
    const int64_t count = hdfShownElementCount(s);
    if (count == 0) return;
    const size_t bytes = size_t(count) * size_t(s.elementSize);
    if (bytes > (size_t(64) << 20)) return; // the fuzzer's memory, not a fault
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes]);
    std::string reason;
    int64_t imprecise = 0;
    hdf5ReadDataSet(path, s.location, s.rank, s.extents.data(), s.typeCode, false, buffer.get(),
                    bytes, imprecise, reason);
}

} // namespace

int fuzzHdf5File(const uint8_t* data, size_t size) {
    const std::string path = inputFile(data, size, ".h5");
    HdfObjectList objects;
    std::string reason;
    if (hdf5ListFile(path, objects, reason) == HdfReadOk) {
        HdfObjectList again;
        if (!decodeHdfObjects(encodeHdfObjects(objects), path, again, reason)) {
            std::fprintf(stderr, "fuzz check failed: list does not decode: %s\n", reason.c_str());
            std::abort();
        }
        for (const auto& o : objects)
            readAll5(path, *o);
    }
    ::unlink(path.c_str());
    return 0;
}

int fuzzHdfFile(const uint8_t* data, size_t size) {
    const std::string path = inputFile(data, size, ".hdf");
    HdfObjectList objects;
    std::string reason;
    if (hdfListFile(path, objects, reason) == HdfReadOk) {
        // What the helper would send must read back.
        HdfObjectList again;
        if (!decodeHdfObjects(encodeHdfObjects(objects), path, again, reason)) {
            std::fprintf(stderr, "fuzz check failed: list does not decode: %s\n", reason.c_str());
            std::abort();
        }
        for (const auto& o : objects)
            readAll(path, *o);
    }
    ::unlink(path.c_str());
    return 0;
}
