// NumPy array files (".npy", format versions 1.0, 2.0 and 3.0): the header
// parser that lets a segment map such a file in place, like an agl file.
//
// The header is a Python dictionary literal with the keys 'descr' (the
// element type), 'fortran_order' and 'shape'. Accepted are little-endian
// (or byte-sized) booleans, 8-, 16- and 32-bit integers and 32- and 64-bit
// floats, 1 to 7 dimensions of at least one element each, at most 2^30
// elements in all. C order keeps the shape as the extents (slowest first);
// Fortran order reverses them and makes a Fortran array. Anything else is
// refused with a reason a user can act on. Plain data; any thread.
#pragma once

#include "aglTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct aglNpyLayout {
    int type = AGL_UCHAR;
    int language = AGL_LANG_C;
    int dims = 0;
    int32_t extents[agl::kMaxDims] = {};
    // Where the elements start, counted from the file's first byte.
    uint64_t dataOffset = 0;
    int64_t elementCount = 0;
};

namespace agl {

// True when the bytes start with the NumPy signature "\x93NUMPY".
bool isNpySignature(const uint8_t* data, size_t size);

// Parses the header in [data, data + size) (the file's first bytes; the
// elements need not be there). Returns false with a reason when the header
// is malformed or describes an array this system cannot show.
bool parseNpyHeader(const uint8_t* data, size_t size, aglNpyLayout& out, std::string& reason);

} // namespace agl
