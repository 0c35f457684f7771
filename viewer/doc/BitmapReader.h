// The bitmap reader: a Windows bitmap file ("BM") of 1, 2, 4 or 8 bits per
// pixel becomes a two-dimensional array of palette indices plus a 256-entry
// colour table for the graph control.
//
// Every header field is checked against the file before it is used: sizes
// of 0 or less, unsupported compression, more pixels than an array may
// hold, a palette or pixel rows that run past the end of the file, and a
// run-length picture far larger than the part of it its code reaches (or
// of more than 2^28 pixels) are refused with a reason. Plain data, no
// document; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BitmapImage {
    int32_t width = 0;
    int32_t height = 0;
    int bitsPerPixel = 0;
    // height x width palette indices; row r is the r-th row counted from
    // the bottom of the picture (the order of a bottom-up file), and within
    // a row the pixels from left to right.
    std::vector<uint8_t> indices;
    // The colour table the control gets: first a grey ramp (entry i is
    // 0xFF000000 + i x 0x010101), then the file's colours from entry 0 on,
    // each repeated so that the value range 0..maxValue spreads over all 256
    // entries; each colour 0xFF000000 + blue x 65536 + green x 256 + red.
    std::array<uint32_t, 256> palette{};
    // The index value the top of the palette stands for.
    int maxValue = 255;
};

// Parses the bitmap file in [data, data + size). On failure returns false
// and says why in reason; out is then unspecified.
bool readBitmap(const uint8_t* data, size_t size, BitmapImage& out, std::string& reason);
