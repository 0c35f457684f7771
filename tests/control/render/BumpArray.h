// Square float arrays whose pictures tell their sizes apart: one bump, placed
// by the size, so that the arrays a rebind test swaps never look alike.
#pragma once

#include "TempDir.h"
#include "core/SegmentImage.h"

#include <cmath>
#include <string>

// Writes the n x n array (n >= 2) into the folder and returns its path.
inline std::string writeBumpArray(const TempDir& dir, int n) {
    SegmentImage img;
    img.extents = {n, n};
    const double pr = (n * 7 % 10) / 10.0, pc = (n * 3 % 10) / 10.0;
    std::string data;
    data.reserve(size_t(n) * size_t(n) * 4);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const double dr = double(r) / (n - 1) - pr, dc = double(c) / (n - 1) - pc;
            SegmentImage::put(data, float(std::exp(-(dr * dr + dc * dc) * 8.0)));
        }
    return dir.write("bump" + std::to_string(n) + ".agl", img.header() + data);
}
