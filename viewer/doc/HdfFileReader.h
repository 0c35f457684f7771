// HdfFileReader: the only code that calls the HDF library. It runs in the
// HDF helper process (tools/hdfhelper), never in the viewer, because the
// library crashes and loops on damaged files.
//
// Listing builds the object list (no elements read): file labels and
// descriptions, file attributes, the user's vgroups as folders (HdfKindGroup,
// index = the vgroup's reference number) of their attributes, member
// vgroups, data sets and images, then the data sets and raster images that
// are in no vgroup, with their dimension scales, palettes and attributes.
// The library's own vgroups (variables, dimensions, the interfaces'
// directories) are not folders. A data set or image in two vgroups is in
// both folders; a vgroup reached again (a second parent, a cycle) is listed
// once.
// Reading fills a caller's buffer with one object's elements, after
// checking that the object still has exactly the shape and element type the
// buffer was made for.
//
// Every count the library returns starts at 0 and is used only when the call
// succeeded; every buffer is sized from the library's own element size in 64
// bits and checked against the array limit before it is allocated; data sets
// of rank above 7 are listed without content; only coordinate variables of
// the dimension's length become dimension scales, and scales have no scales
// of their own.
#pragma once

#include "HdfObjects.h"

#include <cstdint>
#include <string>

enum HdfReadStatus {
    HdfReadOk = 0,
    HdfReadFailed = 1,     // a call failed; the reason says which
    HdfReadCannotOpen = 3, // "Couldn't read file!"
    HdfReadNothing = 4     // "No viewable objects in file!"
};

HdfReadStatus hdfListFile(const std::string& path, HdfObjectList& objects, std::string& reason);

// What to read: a data set, a raster image (both by index), a raster
// image's lookup table (by image index), or a palette of the palette
// interface (by reference number). Palettes fill 256 x 4 bytes: red, green,
// blue, 255.
enum HdfReadWhat { HdfReadSds, HdfReadImage, HdfReadLut, HdfReadDfp };

// Reads into dest, which holds exactly byteCount bytes laid out as dims
// extents (slowest first) of element type type.
// With start (a data set only: dims indices), only the part of the data set
// from start on, of the given extents, is read.
HdfReadStatus hdfReadObject(const std::string& path, HdfReadWhat what, int32_t index, int dims,
                            const int32_t* extents, int type, void* dest, uint64_t byteCount,
                            std::string& reason, const int32_t* start = nullptr);

// One data set kept open for reading part after part of it (the helper's
// plane session): the file's interface and the data set are opened once,
// not for every plane. One thread.
class HdfSdsReader {
public:
    HdfSdsReader() = default;
    ~HdfSdsReader();
    HdfSdsReader(const HdfSdsReader&) = delete;
    HdfSdsReader& operator=(const HdfSdsReader&) = delete;
    // Opens the data set of the given index; on failure every read fails
    // with the reason.
    HdfReadStatus open(const std::string& path, int32_t index, std::string& reason);
    // As hdfReadObject of a data set, from the open one.
    HdfReadStatus read(int dims, const int32_t* start, const int32_t* extents, int type, void* dest,
                       uint64_t byteCount, std::string& reason);

private:
    void close();
    int32_t m_file = -1; // SDstart
    int32_t m_set = -1;  // SDselect
};
