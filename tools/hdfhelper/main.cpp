// tavrix-hdf: the HDF helper process. The viewer and agltool start it for
// every HDF file they list and every HDF object they show, so that a crash
// or a hang inside the HDF library ends this process and never theirs.
//
//   tavrix-hdf list FILE
//       writes the object list (HdfObjects.h's text form) to standard output;
//       FILE may be an HDF4 or an HDF5 file (chosen by its signature).
//   tavrix-hdf read sds|image|lut|dfp FILE INDEX SEGMENT
//       reads one object of an HDF4 file into the shared-memory segment
//       SEGMENT that the caller made with the object's shape and element type.
//   tavrix-hdf read h5 FILE LOCATION SEGMENT
//       reads the HDF5 data set at LOCATION ("/grp/temp") likewise; for 64-bit
//       integers read as doubles it writes "imprecise N" to standard output,
//       N being the number of values a double could not hold exactly.
//
// Exit status: 0 done; 1 failed (the reason on standard error's first
// line); 2 wrong arguments; 3 the file cannot be read as HDF; 4 the file
// has no data sets and no images.
#include "Hdf5FileReader.h"
#include "HdfFileReader.h"

#include "aglSegment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

// MADV_POPULATE_WRITE (Linux 5.14), spelled out for older headers.
constexpr int kPopulateWrite = 23;

int usage() {
    std::fputs("usage: tavrix-hdf list FILE\n"
               "       tavrix-hdf read sds|image|lut|dfp FILE INDEX SEGMENT\n"
               "       tavrix-hdf read h5 FILE LOCATION SEGMENT\n",
               stderr);
    return 2;
}

bool writeAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(1, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

int report(HdfReadStatus status, const std::string& reason) {
    if (status != HdfReadOk) std::fprintf(stderr, "%s\n", reason.c_str());
    return int(status);
}

// True when path begins as an HDF5 file does.
bool isHdf5File(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    uint8_t head[2056];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    return isHdf5Signature(head, got);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "list") == 0) {
        HdfObjectList objects;
        std::string reason;
        const HdfReadStatus status = isHdf5File(argv[2]) ? hdf5ListFile(argv[2], objects, reason)
                                                         : hdfListFile(argv[2], objects, reason);
        if (status != HdfReadOk) return report(status, reason);
        return writeAll(encodeHdfObjects(objects)) ? 0 : 1;
    }
    if (argc != 6 || std::strcmp(argv[1], "read") != 0) return usage();
    HdfReadWhat what = HdfReadSds;
    const std::string kind = argv[2];
    const bool hdf5 = kind == "h5";
    if (kind == "sds" || hdf5)
        what = HdfReadSds;
    else if (kind == "image")
        what = HdfReadImage;
    else if (kind == "lut")
        what = HdfReadLut;
    else if (kind == "dfp")
        what = HdfReadDfp;
    else
        return usage();
    char* end = nullptr;
    const long index = hdf5 ? 0 : std::strtol(argv[4], &end, 10);
    if (!hdf5 && (*end != '\0' || index < 0 || index > INT32_MAX)) return usage();

    // Only a shared-memory block the caller made is written, never a file.
    aglSegment segment;
    if (!segment.open(argv[5], false) || !segment.isSharedMemory() || !segment.isWritable()) {
        std::fputs("cannot open the destination segment\n", stderr);
        return 1;
    }
    int32_t extents[agl::kMaxDims] = {};
    for (int d = 0; d < segment.dimCount(); ++d)
        extents[d] = segment.extent(d);
    const uint64_t bytes = uint64_t(segment.elementCount()) * uint64_t(segment.elementSize());
    // New shared memory costs the kernel more per page than private memory.
    // A second thread faults the element area in, front to back, ahead of
    // the library's writes, so the two overlap instead of adding up
    // (kernels without MADV_POPULATE_WRITE just skip this).
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = uintptr_t(segment.elements()) & ~(page - 1);
    const uintptr_t last = uintptr_t(segment.elements()) + bytes;
    std::thread populate([first, last] {
        constexpr uintptr_t kStep = uintptr_t(4) << 20;
        for (uintptr_t at = first; at < last; at += kStep)
            if (::madvise(reinterpret_cast<void*>(at), size_t(std::min(kStep, last - at)),
                          kPopulateWrite) != 0)
                return;
    });
    std::string reason;
    int64_t imprecise = 0;
    const HdfReadStatus status =
        hdf5 ? hdf5ReadDataSet(argv[3], argv[4], segment.dimCount(), extents, segment.typeCode(),
                               segment.elements(), bytes, imprecise, reason)
             : hdfReadObject(argv[3], what, int32_t(index), segment.dimCount(), extents,
                             segment.typeCode(), segment.elements(), bytes, reason);
    populate.join();
    if (status == HdfReadOk && imprecise > 0 &&
        !writeAll("imprecise " + std::to_string(imprecise) + "\n"))
        return 1;
    return report(status, reason);
}
