// The NetCDF helper's reader under the fuzzer: each input becomes a file in
// /dev/shm, is listed, and every variable with content is read, as stored
// and unpacked, into a buffer of exactly the size the listing promises.
// Built apart from the HDF targets: the HDF4 library's own NetCDF layer
// would take the NetCDF library's place in one program.
#include "FuzzTargets.h"

#include "NetcdfFileReader.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

void readAll(const std::string& path, const CHdfObject& o) {
    for (const auto& c : o.children)
        readAll(path, *c);
    if (!o.hasContent || o.kind != HdfKindSds) return;
    const auto& s = static_cast<const CHdfSds&>(o);
    const int64_t count = hdfShownElementCount(s);
    if (count == 0 || count > (int64_t(8) << 20)) return; // the fuzzer's memory, not a fault
    for (const bool unpack : {false, true}) {
        const int type = unpack ? AGL_DOUBLE : s.typeCode;
        const size_t bytes = size_t(count) * size_t(agl::typeInfo(type).size);
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes]);
        std::string reason;
        int64_t holes = 0, imprecise = 0;
        netcdfReadVariable(path, s.location, s.rank, s.extents.data(), type, unpack, buffer.get(),
                           bytes, holes, imprecise, reason);
    }
}

} // namespace

int fuzzNetcdfFile(const uint8_t* data, size_t size) {
    // A fresh name for every input, as for the HDF targets.
    static unsigned long counter = 0;
    const std::string path = "/dev/shm/tavrix-nc-fuzz-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter++) + ".nc";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    if (size > 0 && ::write(fd, data, size) != ssize_t(size)) std::abort();
    ::close(fd);
    HdfObjectList objects;
    std::string reason;
    if (netcdfListFile(path, objects, reason) == HdfReadOk) {
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
