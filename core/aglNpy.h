// NumPy array files (".npy", format versions 1.0, 2.0 and 3.0): the header
// parser that lets a segment map such a file in place, like an agl file.
//
// The header is a Python dictionary literal with the keys 'descr' (the
// element type), 'fortran_order' and 'shape'. Accepted are little-endian
// (or byte-sized) booleans, 8-, 16- and 32-bit integers and 32- and 64-bit
// floats, which an agl segment holds as they are (the file is mapped in
// place), and 64-bit integers and 16-bit floats, which no agl element type
// holds: their layout says so, and a reader converts them into a double
// copy (NumPy's default integer is int64, so most integer arrays written
// from Python are of this kind). 1 to 7 dimensions of at least one element
// each, at most 2^30 elements in all. C order keeps the shape as the extents
// (slowest first); Fortran order reverses them and makes a Fortran array.
// Anything else is refused with a reason a user can act on. Plain data; any
// thread.
#pragma once

#include "aglTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// How the file's elements become the array's: mapped as they are, or
// converted into doubles (the types no agl element type holds).
enum class aglNpyStorage { InPlace, Int64, UInt64, Float16 };

struct aglNpyLayout {
    // The array's element type: the file's own for InPlace, else AGL_DOUBLE.
    int type = AGL_UCHAR;
    aglNpyStorage storage = aglNpyStorage::InPlace;
    // Bytes of one element in the file.
    int fileElementSize = 1;
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

// NumPy's name of a converted storage ("int64", "uint64", "float16"); "" for InPlace.
const char* npyStorageName(aglNpyStorage storage);

// Converts count little-endian elements of a converted storage from src (the
// file's bytes; any alignment) into doubles at out (any alignment: a
// segment's elements rarely sit on an 8-byte boundary). Returns how many of them
// a double cannot hold exactly (integers beyond 2^53 in magnitude that are
// not multiples of the double's spacing there): those are rounded to the
// nearest double. Float16 values always convert exactly.
int64_t convertNpyToDouble(const uint8_t* src, aglNpyStorage storage, int64_t count, void* out);

} // namespace agl
