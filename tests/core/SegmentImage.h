// Builds segment images byte by byte, independently of the code under test.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct SegmentImage {
    uint32_t magic = 0x01160913u;
    uint8_t language = 1;
    uint8_t type = 6; // AGL_FLOAT
    std::vector<int32_t> extents;
    std::vector<int32_t> lower;
    int slotsByte = -1; // header byte 6; -1: the number of extents

    template <typename T> static void put(std::string& s, T v) {
        char b[sizeof v];
        std::memcpy(b, &v, sizeof v);
        s.append(b, sizeof v);
    }

    std::string header() const {
        std::string s;
        put(s, magic);
        s += char(language);
        s += char(type);
        s += char(slotsByte >= 0 ? slotsByte : int(extents.size()));
        s.append(5, '\0');
        for (int32_t e : extents)
            put(s, e);
        for (size_t i = 0; i < extents.size(); ++i)
            put(s, i < lower.size() ? lower[i] : 0);
        return s;
    }

    // The fixed (324-byte) header form: 7 extents at 12, 7 lower bounds at 40.
    std::string fixedHeader() const {
        std::string s;
        put(s, 0xF8855884u);
        s += char(language);
        s += char(type);
        s += char(0x55); // ignored in this form
        s.append(5, '\0');
        for (int i = 0; i < 7; ++i)
            put(s, i < int(extents.size()) ? extents[i] : 0);
        for (int i = 0; i < 7; ++i)
            put(s, i < int(lower.size()) ? lower[i] : 0);
        s.resize(324, '\x7f');
        return s;
    }
};

// A rows x cols float file (header and elements) of a smooth ripple; at
// 400 x 400 the graph control resamples it into three distinct levels.
inline std::string rippleFile(int32_t rows, int32_t cols) {
    SegmentImage img;
    img.extents = {rows, cols};
    std::string s = img.header();
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c)
            SegmentImage::put(s, float(std::sin(r * 0.05) * std::cos(c * 0.04)));
    return s;
}
