// Height grids for the graph-object tests: a float array in a new writable
// segment, resampled by a real aglFilter at resolution 1 with scale 1 and
// offset 0, so that the grid holds exactly the values given (graph-box units).
#pragma once

#include <cstring>
#include <functional>
#include <memory>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglTypes.h"

namespace hptest {

struct GridSource {
    aglArray array;
    aglFilter filter;

    // rows (y) x columns (x) heights from f(row, column).
    GridSource(int rows, int columns, const std::function<float(int, int)>& f) {
        fill(rows, columns, f);
    }
    // Replaces the data by another shape and refilters in place.
    bool fill(int rows, int columns, const std::function<float(int, int)>& f) {
        auto* p = static_cast<uint8_t*>(array.allocate(int64_t(rows) * columns * 4));
        if (!p) return false;
        const int32_t ext[2] = {rows, columns};
        if (array.reshape(2, ext, AGL_FLOAT) != 0) return false;
        p = static_cast<uint8_t*>(array.mutableData());
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const float v = f(r, c);
                std::memcpy(p + (size_t(r) * columns + c) * 4, &v, 4);
            }
        filter.setArray(&array);
        return filter.filter(1);
    }
};

} // namespace hptest
