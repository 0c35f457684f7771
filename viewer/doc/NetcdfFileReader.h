// NetcdfFileReader: the code that calls the NetCDF library, for classic
// NetCDF files (the CDF1, CDF2 and CDF5 forms; NetCDF-4 files are HDF5
// files and go through Hdf5FileReader). Like the other readers it runs only
// in the HDF helper process, never in the viewer.
//
// Listing builds the same object list as the HDF readers: the global
// attributes, then every variable as a data set (CHdfSds; location = the
// variable's name) with its named dimensions, its coordinate variables (a
// one-dimensional variable named as its dimension) as scale children and
// its attributes (units, long_name and the rest) with their values.
// Coordinate variables are hidden at the top level. Character and string
// variables are listed with the reason they cannot be shown; 64-bit integers
// are listed as doubles. An unlimited dimension counts the records written.
//
// Reading fills a caller's buffer with a whole variable, or a part of it. Floating-point
// values equal to the variable's _FillValue (or the library's default fill
// when it has none) or to its missing_value become NaN, which the graph
// shows as holes.
#pragma once

#include "HdfFileReader.h"

#include <cstdint>
#include <string>

HdfReadStatus netcdfListFile(const std::string& path, HdfObjectList& objects, std::string& reason);

// Reads the variable name into dest, which holds exactly byteCount bytes
// laid out as dims extents (slowest first) of element type type. holes
// receives the number of fill and missing values made NaN; imprecise the
// number of 64-bit integers a double cannot hold exactly. With unpack
// (type is then AGL_DOUBLE) the values of any numeric variable are read as
// doubles, fill and missing values (also the library's default fill of an
// integer type) become NaN, and the others value x scale_factor + add_offset.
// With start (dims indices) only the part from start on, of the given
// extents, is read (nc_get_vara); the variable must hold it.
HdfReadStatus netcdfReadVariable(const std::string& path, const std::string& name, int dims,
                                 const int32_t* extents, int type, bool unpack, void* dest,
                                 uint64_t byteCount, int64_t& holes, int64_t& imprecise,
                                 std::string& reason, const int32_t* start = nullptr);

// One variable kept open for reading part after part of it (the helper's
// plane session: the file is opened once, not for every plane). One thread.
class NetcdfVariableReader {
public:
    NetcdfVariableReader() = default;
    ~NetcdfVariableReader();
    NetcdfVariableReader(const NetcdfVariableReader&) = delete;
    NetcdfVariableReader& operator=(const NetcdfVariableReader&) = delete;
    HdfReadStatus open(const std::string& path, const std::string& name, std::string& reason);
    // As netcdfReadVariable, from the open variable.
    HdfReadStatus read(int dims, const int32_t* start, const int32_t* extents, int type,
                       bool unpack, void* dest, uint64_t byteCount, int64_t& holes,
                       int64_t& imprecise, std::string& reason);

private:
    void close();
    int m_file = -1; // nc_open's id
    int m_var = -1;
};
