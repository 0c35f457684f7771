// Hdf5FileReader: the code that calls the HDF5 library. Like HdfFileReader
// it runs only in the HDF helper process (tools/hdfhelper), never in the
// viewer: a damaged file may crash or hang the library.
//
// Listing walks the file's groups by name from the root and builds the same
// object list the HDF4 reader builds: groups (HdfKindGroup) with their
// members as children, data sets (CHdfSds, located by their path) with the
// dimension scales attached to them as scale children and their attributes
// (values as text), and the root group's attributes at the top level. Data
// sets that cannot become an array are listed all the same, without
// content and with the reason (compound, string, variable-length and other
// element types, more than 7 dimensions, a filter this build lacks).
// 64-bit integers are listed as doubles (convertedFrom "int64"/"uint64").
// Only hard links are followed: soft and external links are not, so a file
// can never make the helper open another file or walk in circles.
//
// Reading fills a caller's buffer with a whole data set, or with one part of
// it (a hyperslab: a start and the buffer's extents), after checking it
// still has the shape and element type the buffer was made for.
// Floating-point values equal to the data set's _FillValue or missing_value
// attribute (as NetCDF-4 files and NetCDF conventions write them) become
// NaN, which the graph shows as holes.
#pragma once

#include "HdfFileReader.h"

#include <cstdint>
#include <functional>
#include <string>

HdfReadStatus hdf5ListFile(const std::string& path, HdfObjectList& objects, std::string& reason);

// Reads the data set at location ("/grp/temp") into dest, which holds
// exactly byteCount bytes laid out as dims extents (slowest first) of
// element type type. A data set of 64-bit integers is read into doubles;
// imprecise receives the number of values a double cannot hold exactly.
// With unpack (type is then AGL_DOUBLE) the values are read as doubles,
// fill and missing values become NaN, and the others value x scale_factor +
// add_offset (1 and 0 when the attribute is missing).
// With start (dims indices) only the part of the data set from start on,
// of the given extents, is read; the data set's extents must then hold it.
HdfReadStatus hdf5ReadDataSet(const std::string& path, const std::string& location, int dims,
                              const int32_t* extents, int type, bool unpack, void* dest,
                              uint64_t byteCount, int64_t& imprecise, std::string& reason,
                              const int32_t* start = nullptr);

// One data set kept open for reading part after part of it (the helper's
// plane session: the file is opened once, not for every plane). One thread.
class Hdf5DataSetReader {
public:
    Hdf5DataSetReader() = default;
    ~Hdf5DataSetReader();
    Hdf5DataSetReader(const Hdf5DataSetReader&) = delete;
    Hdf5DataSetReader& operator=(const Hdf5DataSetReader&) = delete;
    HdfReadStatus open(const std::string& path, const std::string& location, std::string& reason);
    // As hdf5ReadDataSet, from the open data set.
    HdfReadStatus read(int dims, const int32_t* start, const int32_t* extents, int type,
                       bool unpack, void* dest, uint64_t byteCount, int64_t& imprecise,
                       std::string& reason);

    // The file that dest of the next reads lies in (a shared-memory block),
    // at offset: a part the file stores as one run of bytes, in the element
    // type it is read as (contiguous layout, native byte order, no
    // conversion), is then copied by the kernel from the file's page cache
    // into that file (sendfile) instead of read through dest, so that no
    // page of dest is faulted in or cleared here. -1: always through dest.
    void setDestinationFile(int fd, int64_t offset) {
        m_destFd = fd;
        m_destOffset = offset;
    }
    // Runs before a read writes through dest (never before a copy).
    void setBeforeWrites(std::function<void()> f) { m_beforeWrites = std::move(f); }
    // Whether the last successful read was such a copy.
    bool lastCopied() const { return m_copied; }

private:
    void close();
    int64_t m_file = -1; // hid_t
    int64_t m_set = -1;
    int m_destFd = -1;
    int64_t m_destOffset = 0;
    std::function<void()> m_beforeWrites;
    bool m_copied = false;
};
