// Element access and holes for the arrays the HDF5 and NetCDF readers fill:
// the elements of a segment need not be aligned to their size (the header
// before them has a length of its own), so they are read and written by
// copying their bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace element_holes {

template <typename T> T elementAt(const void* base, uint64_t i) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + i * sizeof(T), sizeof(T));
    return v;
}

template <typename T> void setElement(void* base, uint64_t i, T v) {
    std::memcpy(static_cast<uint8_t*>(base) + i * sizeof(T), &v, sizeof(T));
}

// Values equal to one of marks become NaN, which the graph shows as holes;
// the number of holes made.
template <typename T>
int64_t punchHoles(void* values, uint64_t count, const std::vector<double>& marks) {
    // Most data sets mark no holes: no pass over their values at all.
    if (marks.empty()) return 0;
    int64_t holes = 0;
    for (uint64_t i = 0; i < count; ++i)
        for (double m : marks)
            if (elementAt<T>(values, i) == T(m)) {
                setElement<T>(values, i, T(NAN));
                ++holes;
                break;
            }
    return holes;
}

} // namespace element_holes
