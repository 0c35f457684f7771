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
// Reading fills a caller's buffer with a whole data set, after checking it
// still has exactly the shape and element type the buffer was made for.
// Floating-point values equal to the data set's _FillValue or missing_value
// attribute (as NetCDF-4 files and NetCDF conventions write them) become
// NaN, which the graph shows as holes.
#pragma once

#include "HdfFileReader.h"

#include <cstdint>
#include <string>

HdfReadStatus hdf5ListFile(const std::string& path, HdfObjectList& objects, std::string& reason);

// Reads the data set at location ("/grp/temp") into dest, which holds
// exactly byteCount bytes laid out as dims extents (slowest first) of
// element type type. A data set of 64-bit integers is read into doubles;
// imprecise receives the number of values a double cannot hold exactly.
// With unpack (type is then AGL_DOUBLE) the values are read as doubles,
// fill and missing values become NaN, and the others value x scale_factor +
// add_offset (1 and 0 when the attribute is missing).
HdfReadStatus hdf5ReadDataSet(const std::string& path, const std::string& location, int dims,
                              const int32_t* extents, int type, bool unpack, void* dest,
                              uint64_t byteCount, int64_t& imprecise, std::string& reason);
