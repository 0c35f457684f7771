// Element types, index languages and error codes shared by every part of the
// system: the viewer, the graph control, the C API and the tools.
#pragma once

#include <cstdint>
#include <cstring>

// Element type codes. 0..7 (the header byte) name the same types.
enum aglType : int {
    AGL_UCHAR = 4096,
    AGL_CHAR = 4097,
    AGL_USHORT = 4098,
    AGL_SHORT = 4099,
    AGL_ULONG = 4100,
    AGL_LONG = 4101,
    AGL_FLOAT = 4102,
    AGL_DOUBLE = 4103,
};

// Index languages: C (lower bounds 0, brackets) and Fortran (lower bounds
// default 1, subscripts in reverse order in parentheses).
enum aglLanguage : int {
    AGL_LANG_C = 1,
    AGL_LANG_FORTRAN = 2,
};

// Error codes kept by segments and arrays; 0 means no error.
enum aglError : int {
    AGL_OK = 0,
    AGL_E_MAPPING = 20480,
    AGL_E_EXISTS = 20481,
    AGL_E_MAPVIEW = 20483,
    AGL_E_OPEN = 20484,
    AGL_E_FORMAT = 20485,
    AGL_E_EXTENT = 20486,
    AGL_E_TOO_LARGE = 20487,
    AGL_E_RANK = 20488,
    AGL_E_SIZE = 20490,
    AGL_E_READONLY = 20491,
};

// Numeric classes of element types.
enum aglNumericClass : int { AGL_CLASS_SIGNED = 0, AGL_CLASS_UNSIGNED = 1, AGL_CLASS_FLOAT = 2 };

namespace agl {

constexpr int kMaxDims = 7;
constexpr int64_t kMaxElements = 1073741824; // 2^30, also the largest extent
constexpr uint32_t kMagicNormal = 0x01160913u;
constexpr uint32_t kMagicFixed = 0xF8855884u;
constexpr int kFixedHeaderSize = 324;
constexpr int kMinFileSize = 13;

// Everything the system knows about one element type.
struct TypeInfo {
    int code;                // 4096..4103
    const char* enumerator;  // "AGL_FLOAT"
    int size;                // bytes
    int numericClass;        // aglNumericClass
    const char* cName;       // "float"
    const char* fortranName; // "real*4"
    const char* keyword;     // agl ASCII keyword
    double largest;
    double smallest;
};

// Normalises a type code: below 4096 is an offset from 4096; anything
// outside 4096..4103 afterwards becomes AGL_UCHAR.
int normalizeType(int code);

// The table entry of a (normalised) type code.
const TypeInfo& typeInfo(int code);

// True when code is one of 4096..4103 exactly.
inline bool isTypeCode(int code) {
    return code >= AGL_UCHAR && code <= AGL_DOUBLE;
}

// The element at p, of type code type, widened to double. Elements are
// rarely aligned for their type (the header is 12 + 8n bytes), so each is
// copied out byte-wise. An unknown type code gives 0.
inline double loadAsDouble(const void* p, int type) {
    switch (type) {
    case AGL_UCHAR: {
        uint8_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_CHAR: {
        int8_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_USHORT: {
        uint16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_SHORT: {
        int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_ULONG: {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_LONG: {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_FLOAT: {
        float v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AGL_DOUBLE: {
        double v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default:
        return 0.0;
    }
}

// The enumerator of an error code ("AGL_E_FORMAT"), or "AGL_E_UNKNOWN".
const char* errorName(int code);

// Largest single-precision value the system stores: 2^127 x (2 - 2^-23) / 2.
constexpr double kFloatLimit = 1.7014117331926443e38;
constexpr double kDoubleLimit = 1.7976931348623158e304;

} // namespace agl
