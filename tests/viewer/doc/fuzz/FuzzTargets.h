// Fuzz targets for the code that reads bytes from outside: the segment
// header check, the agl trailer reader, the agl ASCII reader and the
// clipboard's "AGL DATA" reader. Each takes
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
