// tavrix-hdf: the HDF helper process. The viewer and agltool start it for
// every HDF file they list and every HDF object they show, so that a crash
// or a hang inside the HDF library ends this process and never theirs.
//
//   tavrix-hdf list FILE
//       writes the object list (HdfObjects.h's text form) to standard output;
//       FILE may be an HDF4, an HDF5 or a classic NetCDF file (chosen by its
//       signature).
//   tavrix-hdf read sds|image|lut|dfp FILE INDEX SEGMENT
//       reads one object of an HDF4 file into the shared-memory segment
//       SEGMENT that the caller made with the object's shape and element type.
//   tavrix-hdf read h5 FILE LOCATION SEGMENT
//       reads the HDF5 data set at LOCATION ("/grp/temp") likewise; for 64-bit
//       integers read as doubles it writes "imprecise N" to standard output,
//       N being the number of values a double could not hold exactly.
//   tavrix-hdf read nc FILE VARIABLE SEGMENT
//       reads a classic NetCDF variable likewise (fill and missing values of
//       floating-point variables become NaN).
//   ... h5|nc ... SEGMENT unpack
//       reads the values as doubles, unpacked: x scale_factor + add_offset.
//   ... h5|nc ... SEGMENT [unpack] at=S0,S1,...
//       reads only the part of the data set that starts at indices S0, S1,
//       ..., of the segment's extents (a plane of a larger data set).
//   tavrix-hdf planes h5|nc FILE LOCATION [unpack]
//   tavrix-hdf planes sds FILE INDEX
//       a session for one data set of three or more dimensions: reads
//       requests from standard input, one a line, "SEGMENT S0,S1,...", and
//       fills the segment (made by the caller with the data set's rank and
//       the part's extents) with the part of the data set that starts at
//       indices S0, S1, ...; answers each with one line on standard output:
//       "ok N" (N: values of 64-bit integers a double could not hold) or
//       "error REASON". The file and the data set stay open between
//       requests; the session ends when standard input does.
//       A request "range TYPE E0,E1,..." (an agl type code and the whole
//       data set's extents) reads the data set part by part into memory of
//       its own and answers "range MIN MAX" (%.17g), or "range none" when it
//       holds no finite value; fill and missing values read as NaN and are
//       left out with it. The caller cancels by ending the session.
//
// Classic NetCDF files are read by tavrix-netcdf, this same program built
// with the NetCDF library instead of the HDF ones (the HDF4 library's own
// NetCDF layer would take the NetCDF library's place in one program):
// tavrix-hdf runs it in its own place, with the same arguments, so the
// caller sees one process whatever the file.
//
// Exit status: 0 done; 1 failed (the reason on standard error's first
// line); 2 wrong arguments; 3 the file cannot be read as HDF; 4 the file
// has no data sets and no images.
#ifdef TAVRIX_NETCDF_HELPER
#include "NetcdfFileReader.h"
#else
#include "Hdf5FileReader.h"
#include "HdfFileReader.h"
#endif

#include "aglSegment.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

// MADV_POPULATE_WRITE (Linux 5.14), spelled out for older headers.
constexpr int kPopulateWrite = 23;

// Ends this process when the one that started it ends, however it ends
// (SIGKILL included): a helper hanging inside a library would otherwise
// outlive the viewer, holding the file and its shared memory. The parent is
// watched through a pidfd by a thread of its own, since the main thread may
// be stuck in the library. PR_SET_PDEATHSIG would be simpler but fires when
// the parent's *thread* that started us ends, and the viewer starts a plane
// session from a worker thread that ends after the first plane, while the
// session is meant to live on. A parent that ended before the watch began
// shows as a parent id that is no longer the one we were started with.
void endWithParent() {
    const pid_t parent = ::getppid();
    if (parent == 0) return;   // started from outside our pid namespace: no parent to watch
    if (parent == 1) _exit(1); // already handed to init: the parent is gone
#ifdef SYS_pidfd_open
    const int fd = int(::syscall(SYS_pidfd_open, parent, 0));
#else
    const int fd = -1;
#endif
    // The pidfd is the parent's only while we are still its child.
    if (::getppid() != parent) _exit(1);
    std::thread([fd, parent] {
        if (fd >= 0) {
            pollfd p = {fd, POLLIN, 0};
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
            _exit(1);
        }
        // Kernels before 5.3: the parent id changes when it ends.
        while (::getppid() == parent)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        _exit(1);
    }).detach();
}

int usage() {
    std::fputs("usage: tavrix-hdf list FILE\n"
               "       tavrix-hdf read sds|image|lut|dfp FILE INDEX SEGMENT\n"
               "       tavrix-hdf read h5|nc FILE LOCATION SEGMENT [unpack] [at=S0,S1,...]\n"
               "       tavrix-hdf planes h5|nc FILE LOCATION [unpack]\n",
               stderr);
    return 2;
}

// Parses "S0,S1,..." into exactly dims indices of 0 or more.
bool parseStart(const std::string& text, int dims, int32_t* start) {
    size_t at = 0;
    for (int d = 0; d < dims; ++d) {
        const size_t comma = text.find(',', at);
        const bool last = d == dims - 1;
        if (last != (comma == std::string::npos)) return false;
        const std::string field = text.substr(at, last ? std::string::npos : comma - at);
        if (field.empty() || field.size() > 10 ||
            field.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const long long v = std::stoll(field);
        if (v > INT32_MAX) return false;
        start[d] = int32_t(v);
        at = comma + 1;
    }
    return true;
}

// The smallest and largest finite value of count elements of type T.
template <typename T>
void extendRange(const void* data, int64_t count, double& lo, double& hi, bool& found) {
    const T* p = static_cast<const T*>(data);
    for (int64_t i = 0; i < count; ++i) {
        const T v = p[i];
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(v)) continue;
        }
        const double d = double(v);
        if (!found) {
            lo = hi = d;
            found = true;
        } else if (d < lo) {
            lo = d;
        } else if (d > hi) {
            hi = d;
        }
    }
}

bool extendRange(int type, const void* data, int64_t count, double& lo, double& hi, bool& found) {
    switch (type) {
    case AGL_UCHAR:
        extendRange<uint8_t>(data, count, lo, hi, found);
        return true;
    case AGL_CHAR:
        extendRange<int8_t>(data, count, lo, hi, found);
        return true;
    case AGL_USHORT:
        extendRange<uint16_t>(data, count, lo, hi, found);
        return true;
    case AGL_SHORT:
        extendRange<int16_t>(data, count, lo, hi, found);
        return true;
    case AGL_ULONG:
        extendRange<uint32_t>(data, count, lo, hi, found);
        return true;
    case AGL_LONG:
        extendRange<int32_t>(data, count, lo, hi, found);
        return true;
    case AGL_FLOAT:
        extendRange<float>(data, count, lo, hi, found);
        return true;
    case AGL_DOUBLE:
        extendRange<double>(data, count, lo, hi, found);
        return true;
    default:
        return false;
    }
}

#ifndef TAVRIX_NETCDF_HELPER
// Where a segment's elements lie in its shared-memory file.
int64_t destinationOffset(const aglSegment& segment) {
    return int64_t(static_cast<const uint8_t*>(segment.elements()) - segment.base());
}
#endif

// Reads the part of the data set that starts at start with extents extents
// into dest (bytes long); the plane session's one way into the file.
using PartReader = std::function<HdfReadStatus(
    int dims, const int32_t* start, const int32_t* extents, int type, void* dest, uint64_t bytes,
    int64_t& imprecise, std::string& reason)>;

// Answers a "range TYPE E0,E1,..." request: the whole data set is read in
// parts of at most kRangeBudget bytes (whole rows of the slowest dimensions
// where they fit, so that each part is one contiguous run of the file).
std::string answerRange(const std::string& request, const PartReader& readPart) {
    constexpr uint64_t kRangeBudget = uint64_t(16) << 20;
    std::istringstream in(request);
    int type = 0;
    std::string shape;
    if (!(in >> type >> shape) || !agl::isTypeCode(type)) return "error bad request";
    const int dims = int(std::count(shape.begin(), shape.end(), ',')) + 1;
    int32_t extents[agl::kMaxDims] = {};
    if (dims > agl::kMaxDims || !parseStart(shape, dims, extents)) return "error bad request";
    for (int d = 0; d < dims; ++d)
        if (extents[d] < 1) return "error bad request";
    const uint64_t elementSize = uint64_t(agl::typeInfo(type).size);
    // k: the outermost dimension whose inner parts fit the budget; parts are
    // one index of each dimension before k and a block of dimension k.
    int k = dims - 1;
    uint64_t inner = elementSize;
    while (k > 0 && inner * uint64_t(extents[k]) <= kRangeBudget) {
        inner *= uint64_t(extents[k]);
        --k;
    }
    const int32_t block =
        int32_t(std::clamp<uint64_t>(kRangeBudget / inner, 1, uint64_t(extents[k])));
    std::vector<uint8_t> buffer(size_t(inner * uint64_t(block)));
    int32_t start[agl::kMaxDims] = {}, part[agl::kMaxDims] = {};
    double lo = 0.0, hi = 0.0;
    bool found = false;
    for (;;) {
        for (int d = 0; d < dims; ++d)
            part[d] = d < k ? 1 : d == k ? std::min(block, extents[k] - start[k]) : extents[d];
        const uint64_t bytes = inner * uint64_t(part[k]);
        int64_t imprecise = 0;
        std::string reason;
        if (readPart(dims, start, part, type, buffer.data(), bytes, imprecise, reason) != HdfReadOk)
            return "error " + (reason.empty() ? std::string("failed") : reason);
        extendRange(type, buffer.data(), int64_t(bytes / elementSize), lo, hi, found);
        // The next part: dimension k on by a block, then the ones before it.
        int d = k;
        start[k] += part[k];
        while (d > 0 && start[d] >= extents[d]) {
            start[d] = 0;
            ++start[--d];
        }
        if (start[0] >= extents[0]) break;
    }
    if (!found) return "range none";
    char text[80];
    std::snprintf(text, sizeof text, "range %.17g %.17g", lo, hi);
    return text;
}

// The plane session (see the usage above). Answers every request, good or
// bad, with one line; returns when standard input ends.
int servePlanes(const std::string& kind, const std::string& file, const std::string& location,
                bool unpack) {
    // The data set stays open from the first request to the last.
    std::string openReason;
#ifdef TAVRIX_NETCDF_HELPER
    (void)kind;
    NetcdfVariableReader reader;
    const HdfReadStatus opened = reader.open(file, location, openReason);
#else
    const bool hdf4 = kind == "sds";
    Hdf5DataSetReader reader;
    HdfSdsReader hdf4Reader;
    HdfReadStatus opened;
    if (hdf4) {
        char* indexEnd = nullptr;
        const long sdsIndex = std::strtol(location.c_str(), &indexEnd, 10);
        if (location.empty() || *indexEnd != '\0' || sdsIndex < 0 || sdsIndex > INT32_MAX)
            return usage();
        opened = hdf4Reader.open(file, int32_t(sdsIndex), openReason);
    } else {
        opened = reader.open(file, location, openReason);
    }
#endif
    const PartReader readPart = [&](int dims, const int32_t* start, const int32_t* extents,
                                    int type, void* dest, uint64_t bytes, int64_t& imprecise,
                                    std::string& reason) {
        if (opened != HdfReadOk) {
            reason = openReason;
            return opened;
        }
#ifdef TAVRIX_NETCDF_HELPER
        int64_t holes = 0;
        return reader.read(dims, start, extents, type, unpack, dest, bytes, holes, imprecise,
                           reason);
#else
        if (hdf4) return hdf4Reader.read(dims, start, extents, type, dest, bytes, reason);
        return reader.read(dims, start, extents, type, unpack, dest, bytes, imprecise, reason);
#endif
    };
    // The caller fills two segments by turns: both stay mapped here.
    std::map<std::string, std::unique_ptr<aglSegment>> segments;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::string answer;
        const size_t space = line.find(' ');
        const std::string name = line.substr(0, space);
        if (name == "range") {
#ifndef TAVRIX_NETCDF_HELPER
            reader.setDestinationFile(-1, 0);
#endif
            answer = space == std::string::npos ? "error bad request"
                                                : answerRange(line.substr(space + 1), readPart);
            for (char& c : answer)
                if (c == '\n') c = ' ';
            std::cout << answer << std::endl;
            if (!std::cout) return 1;
            continue;
        }
        if (segments.find(name) == segments.end()) {
            if (segments.size() >= 2) segments.clear();
            auto segment = std::make_unique<aglSegment>();
            // Only a shared-memory block the caller made is written.
            if (segment->open(name, false) && segment->isSharedMemory() && segment->isWritable())
                segments[name] = std::move(segment);
        }
        const auto found = segments.find(name);
        int32_t start[agl::kMaxDims] = {};
        int32_t extents[agl::kMaxDims] = {};
        if (found == segments.end()) {
            answer = "error cannot open the destination segment";
        } else if (space == std::string::npos ||
                   !parseStart(line.substr(space + 1), found->second->dimCount(), start)) {
            answer = "error bad request";
        } else {
            aglSegment& segment = *found->second;
            for (int d = 0; d < segment.dimCount(); ++d)
                extents[d] = segment.extent(d);
            const uint64_t bytes =
                uint64_t(segment.elementCount()) * uint64_t(segment.elementSize());
            std::string reason;
            int64_t imprecise = 0;
#ifndef TAVRIX_NETCDF_HELPER
            reader.setDestinationFile(segment.descriptor(), destinationOffset(segment));
#endif
            const HdfReadStatus status =
                readPart(segment.dimCount(), start, extents, segment.typeCode(), segment.elements(),
                         bytes, imprecise, reason);
            answer = status == HdfReadOk ? "ok " + std::to_string(imprecise)
                                         : "error " + (reason.empty() ? "failed" : reason);
        }
        for (char& c : answer)
            if (c == '\n') c = ' ';
        std::cout << answer << std::endl;
        if (!std::cout) return 1;
    }
    return 0;
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

#ifndef TAVRIX_NETCDF_HELPER
enum class FileKind { Hdf4, Hdf5, Netcdf };

// The kind of file path is, by its first bytes (HDF4 when none fits: the
// HDF4 library then says it cannot read it).
FileKind fileKind(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return FileKind::Hdf4;
    uint8_t head[2056];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    if (isHdf5Signature(head, got)) return FileKind::Hdf5;
    if (isNetcdfClassicSignature(head, got)) return FileKind::Netcdf;
    return FileKind::Hdf4;
}

// Runs tavrix-netcdf, from this program's folder, in this process's place;
// returns only when it cannot.
int handOverToNetcdf(char** argv) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, size_t(n)) : std::string();
    const size_t slash = path.rfind('/');
    path =
        (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/tavrix-netcdf";
    argv[0] = path.data();
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "cannot start %s for a NetCDF file\n", path.c_str());
    return 1;
}
#endif

} // namespace

int main(int argc, char** argv) {
    endWithParent();
    if (argc == 3 && std::strcmp(argv[1], "list") == 0) {
        HdfObjectList objects;
        std::string reason;
#ifdef TAVRIX_NETCDF_HELPER
        const HdfReadStatus status = netcdfListFile(argv[2], objects, reason);
#else
        HdfReadStatus status;
        switch (fileKind(argv[2])) {
        case FileKind::Hdf5:
            status = hdf5ListFile(argv[2], objects, reason);
            break;
        case FileKind::Netcdf:
            return handOverToNetcdf(argv);
        default:
            status = hdfListFile(argv[2], objects, reason);
            break;
        }
#endif
        if (status != HdfReadOk) return report(status, reason);
        return writeAll(encodeHdfObjects(objects)) ? 0 : 1;
    }
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "planes") == 0) {
        const std::string kind = argv[2];
        if (argc == 6 && std::strcmp(argv[5], "unpack") != 0) return usage();
#ifdef TAVRIX_NETCDF_HELPER
        if (kind != "nc") return usage();
#else
        if (kind == "nc") return handOverToNetcdf(argv);
        if (kind != "h5" && kind != "sds") return usage();
#endif
        return servePlanes(kind, argv[3], argv[4], argc == 6);
    }
    // A last argument "at=S0,S1,..." asks for the part of an h5 or nc data
    // set that starts there (the segment's extents are the part's); one
    // "unpack" before it for a data set's values unpacked.
    const bool part = argc >= 7 && std::strncmp(argv[argc - 1], "at=", 3) == 0;
    const int plain = part ? argc - 1 : argc;
    const bool unpack = plain == 7 && std::strcmp(argv[6], "unpack") == 0;
    if ((plain != 6 && !unpack) || std::strcmp(argv[1], "read") != 0) return usage();
    HdfReadWhat what = HdfReadSds;
    const std::string kind = argv[2];
    const bool hdf5 = kind == "h5";
    const bool netcdf = kind == "nc";
#ifdef TAVRIX_NETCDF_HELPER
    if (!netcdf) return usage();
#else
    if (netcdf) return handOverToNetcdf(argv);
#endif
    if (kind == "sds" || hdf5 || netcdf)
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
    const bool byName = hdf5 || netcdf;
    const long index = byName ? 0 : std::strtol(argv[4], &end, 10);
    if (!byName && (*end != '\0' || index < 0 || index > INT32_MAX)) return usage();
    if (part && !byName && what != HdfReadSds) return usage();

    // Only a shared-memory block the caller made is written, never a file.
    aglSegment segment;
    if (!segment.open(argv[5], false) || !segment.isSharedMemory() || !segment.isWritable()) {
        std::fputs("cannot open the destination segment\n", stderr);
        return 1;
    }
    int32_t extents[agl::kMaxDims] = {};
    for (int d = 0; d < segment.dimCount(); ++d)
        extents[d] = segment.extent(d);
    int32_t start[agl::kMaxDims] = {};
    if (part && !parseStart(argv[argc - 1] + 3, segment.dimCount(), start)) return usage();
    const uint64_t bytes = uint64_t(segment.elementCount()) * uint64_t(segment.elementSize());
    // New shared memory costs the kernel more per page than private memory.
    // A second thread faults the element area in, front to back, ahead of
    // the library's writes, so the two overlap instead of adding up
    // (kernels without MADV_POPULATE_WRITE just skip this).
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = uintptr_t(segment.elements()) & ~(page - 1);
    const uintptr_t last = uintptr_t(segment.elements()) + bytes;
    std::thread populate;
    auto startPopulating = [&] {
        populate = std::thread([first, last] {
            constexpr uintptr_t kStep = uintptr_t(4) << 20;
            for (uintptr_t at = first; at < last; at += kStep)
                if (::madvise(reinterpret_cast<void*>(at), size_t(std::min(kStep, last - at)),
                              kPopulateWrite) != 0)
                    return;
        });
    };
    std::string reason;
    int64_t imprecise = 0;
    HdfReadStatus status;
#ifdef TAVRIX_NETCDF_HELPER
    (void)what;
    startPopulating();
    int64_t holes = 0;
    status = netcdfReadVariable(argv[3], argv[4], segment.dimCount(), extents, segment.typeCode(),
                                unpack, segment.elements(), bytes, holes, imprecise, reason,
                                part ? start : nullptr);
#else
    if (hdf5) {
        // A data set stored as one run of its bytes is copied into the
        // segment by the kernel: the pages are then never faulted in here.
        Hdf5DataSetReader reader;
        status = reader.open(argv[3], argv[4], reason);
        reader.setDestinationFile(segment.descriptor(), destinationOffset(segment));
        reader.setBeforeWrites(startPopulating);
        if (status == HdfReadOk)
            status =
                reader.read(segment.dimCount(), part ? start : nullptr, extents, segment.typeCode(),
                            unpack, segment.elements(), bytes, imprecise, reason);
    } else {
        startPopulating();
        status = hdfReadObject(argv[3], what, int32_t(index), segment.dimCount(), extents,
                               segment.typeCode(), segment.elements(), bytes, reason,
                               part ? start : nullptr);
    }
#endif
    if (populate.joinable()) populate.join();
    if (status == HdfReadOk && imprecise > 0 &&
        !writeAll("imprecise " + std::to_string(imprecise) + "\n"))
        return 1;
    return report(status, reason);
}
