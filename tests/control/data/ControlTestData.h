// Test arrays for the control's data access: shared-memory segments of any
// element type filled by a function of (row, column), kept alive by the test.
#pragma once

#include "aglSegment.h"
#include "aglTypes.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace testdata {

// Writes x into element slot p of the given type (no saturation: callers
// pass representable values).
inline void put(uint8_t* p, int type, double x) {
    switch (type) {
    case AGL_UCHAR: {
        uint8_t v = uint8_t(x);
        std::memcpy(p, &v, 1);
        break;
    }
    case AGL_CHAR: {
        int8_t v = int8_t(x);
        std::memcpy(p, &v, 1);
        break;
    }
    case AGL_USHORT: {
        uint16_t v = uint16_t(x);
        std::memcpy(p, &v, 2);
        break;
    }
    case AGL_SHORT: {
        int16_t v = int16_t(x);
        std::memcpy(p, &v, 2);
        break;
    }
    case AGL_ULONG: {
        uint32_t v = uint32_t(x);
        std::memcpy(p, &v, 4);
        break;
    }
    case AGL_LONG: {
        int32_t v = int32_t(x);
        std::memcpy(p, &v, 4);
        break;
    }
    case AGL_FLOAT: {
        float v = float(x);
        std::memcpy(p, &v, 4);
        break;
    }
    case AGL_DOUBLE:
        std::memcpy(p, &x, 8);
        break;
    }
}

// A rows x columns C array in a new shared-memory block; f(row, column)
// gives each element. The segment stays while the returned object lives.
inline std::unique_ptr<aglSegment> makeShared(int type, int32_t rows, int32_t columns,
                                              const std::function<double(int, int)>& f) {
    auto seg = std::make_unique<aglSegment>();
    const int32_t ext[2] = {rows, columns};
    if (!seg->create(nullptr, 2, ext, type, AGL_LANG_C)) return nullptr;
    uint8_t* e = static_cast<uint8_t*>(seg->elements());
    const int size = agl::typeInfo(type).size;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            put(e + (int64_t(r) * columns + c) * size, type, f(r, c));
    return seg;
}

} // namespace testdata
