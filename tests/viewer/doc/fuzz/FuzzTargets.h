// Fuzz targets for the code that reads bytes from outside: the segment
// header check, the agl trailer reader, the agl ASCII reader, the
// clipboard's "AGL DATA" reader, the bitmap reader, the NumPy header parser,
// the helper's object list and the HDF helper's reader. Each takes
// one input and returns 0; a fault shows as a crash, a sanitizer report or a
// failed check (abort). The libFuzzer executables (TAVRIX_FUZZ) and the
// corpus replay test of the normal build both call these.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzSegmentHeader(const uint8_t* data, size_t size);
int fuzzAglTrailer(const uint8_t* data, size_t size);
int fuzzAglAscii(const uint8_t* data, size_t size);
int fuzzAglData(const uint8_t* data, size_t size);
// The bitmap reader (all header forms, run-length decoding).
int fuzzBitmap(const uint8_t* data, size_t size);
// The NumPy header parser, and a segment over the same bytes as a file.
int fuzzNpyHeader(const uint8_t* data, size_t size);
// The helper's list of a file's objects as the viewer decodes and walks it
// (what a helper, hung or hostile, may send back).
int fuzzHdfList(const uint8_t* data, size_t size);
// The HDF helper's reader over one file (FuzzHdf.cpp; the fuzz build only,
// as it runs the HDF library in-process).
int fuzzHdfFile(const uint8_t* data, size_t size);
// The HDF helper's HDF5 reader over one file (FuzzHdf.cpp; the fuzz build only).
int fuzzHdf5File(const uint8_t* data, size_t size);
// The NetCDF helper's reader over one file (FuzzNetcdf.cpp; the fuzz build
// only, in a program of its own).
int fuzzNetcdfFile(const uint8_t* data, size_t size);
