#include "aglNpy.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char kSignature[] = "\x93NUMPY";
constexpr size_t kMaxHeader = 1u << 20;

bool fail(std::string& reason, const std::string& why) {
    reason = why;
    return false;
}

// A cursor over the dictionary text.
struct Text {
    const char* p;
    const char* end;
    void skipBlanks() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
    }
    bool take(char c) {
        skipBlanks();
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    // A quoted string ('...' or "..."), no escapes.
    bool string(std::string& out) {
        skipBlanks();
        if (p >= end || (*p != '\'' && *p != '"')) return false;
        const char quote = *p++;
        const char* start = p;
        while (p < end && *p != quote)
            ++p;
        if (p >= end) return false;
        out.assign(start, p);
        ++p;
        return true;
    }
    bool word(const char* w) {
        skipBlanks();
        const size_t n = std::strlen(w);
        if (size_t(end - p) < n || std::strncmp(p, w, n) != 0) return false;
        if (size_t(end - p) > n && (std::isalnum(static_cast<unsigned char>(p[n])) || p[n] == '_'))
            return false;
        p += n;
        return true;
    }
    // A non-negative integer, possibly with a trailing L (old Python 2 files).
    bool integer(int64_t& out) {
        skipBlanks();
        if (p >= end || !std::isdigit(static_cast<unsigned char>(*p))) return false;
        out = 0;
        while (p < end && std::isdigit(static_cast<unsigned char>(*p))) {
            out = out * 10 + (*p++ - '0');
            if (out > (int64_t(1) << 40)) return false;
        }
        if (p < end && *p == 'L') ++p;
        return true;
    }
};

// The element type for descr, with storage set to how the elements get
// there; 0 when there is none, -1 (with a reason) for big-endian data.
int elementType(const std::string& descr, aglNpyStorage& storage, std::string& reason) {
    storage = aglNpyStorage::InPlace;
    if (descr.size() != 3) return 0;
    const char order = descr[0], kind = descr[1], size = descr[2];
    if (order != '<' && order != '|' && order != '=' && order != '>') return 0;
    int type = 0;
    if (kind == 'i' && size == '8') storage = aglNpyStorage::Int64;
    if (kind == 'u' && size == '8') storage = aglNpyStorage::UInt64;
    if (kind == 'f' && size == '2') storage = aglNpyStorage::Float16;
    if (storage != aglNpyStorage::InPlace) type = AGL_DOUBLE;
    if (kind == 'f' && size == '4') type = AGL_FLOAT;
    if (kind == 'f' && size == '8') type = AGL_DOUBLE;
    if (kind == 'i' && size == '1') type = AGL_CHAR;
    if ((kind == 'u' || kind == 'b') && size == '1') type = AGL_UCHAR;
    if (kind == 'i' && size == '2') type = AGL_SHORT;
    if (kind == 'u' && size == '2') type = AGL_USHORT;
    if (kind == 'i' && size == '4') type = AGL_LONG;
    if (kind == 'u' && size == '4') type = AGL_ULONG;
    if (type != 0 && order == '>' && size != '1') {
        reason = "big-endian NumPy data ('" + descr + "') is not supported";
        return -1;
    }
    return type;
}

} // namespace

namespace agl {

bool isNpySignature(const uint8_t* data, size_t size) {
    return data && size >= 6 && std::memcmp(data, kSignature, 6) == 0;
}

bool parseNpyHeader(const uint8_t* data, size_t size, aglNpyLayout& out, std::string& reason) {
    out = aglNpyLayout{};
    if (!isNpySignature(data, size)) return fail(reason, "not a NumPy file");
    if (size < 10) return fail(reason, "NumPy header is cut off");
    const int major = data[6];
    size_t headerLength, start;
    if (major == 1) {
        headerLength = size_t(data[8]) | (size_t(data[9]) << 8);
        start = 10;
    } else if (major == 2 || major == 3) {
        if (size < 12) return fail(reason, "NumPy header is cut off");
        headerLength = size_t(data[8]) | (size_t(data[9]) << 8) | (size_t(data[10]) << 16) |
                       (size_t(data[11]) << 24);
        start = 12;
    } else {
        return fail(reason, "NumPy format version " + std::to_string(major) + " is not supported");
    }
    if (headerLength > kMaxHeader) return fail(reason, "NumPy header is too long");
    if (size - start < headerLength) return fail(reason, "NumPy header is cut off");

    Text t{reinterpret_cast<const char*>(data + start),
           reinterpret_cast<const char*>(data + start + headerLength)};
    std::string descr;
    bool haveDescr = false, haveOrder = false, haveShape = false, fortran = false;
    int64_t shape[kMaxDims] = {};
    int rank = 0;
    if (!t.take('{')) return fail(reason, "NumPy header is not a dictionary");
    while (!t.take('}')) {
        std::string key;
        if (!t.string(key) || !t.take(':')) return fail(reason, "NumPy header is malformed");
        if (key == "descr") {
            // A record type (a list) is not a plain element type.
            if (!t.string(descr)) return fail(reason, "NumPy record types are not supported");
            haveDescr = true;
        } else if (key == "fortran_order") {
            if (t.word("True"))
                fortran = true;
            else if (!t.word("False"))
                return fail(reason, "NumPy header is malformed");
            haveOrder = true;
        } else if (key == "shape") {
            if (!t.take('(')) return fail(reason, "NumPy header is malformed");
            while (!t.take(')')) {
                int64_t e;
                if (!t.integer(e)) return fail(reason, "NumPy shape is malformed");
                if (rank == kMaxDims)
                    return fail(reason, "NumPy arrays of more than 7 dimensions are not supported");
                shape[rank++] = e;
                if (!t.take(',')) {
                    if (!t.take(')')) return fail(reason, "NumPy shape is malformed");
                    break;
                }
            }
            haveShape = true;
        } else {
            return fail(reason, "NumPy header has an unknown key '" + key + "'");
        }
        if (!t.take(',')) {
            if (!t.take('}')) return fail(reason, "NumPy header is malformed");
            break;
        }
    }
    if (!haveDescr || !haveOrder || !haveShape)
        return fail(reason, "NumPy header lacks descr, fortran_order or shape");

    aglNpyStorage storage;
    const int type = elementType(descr, storage, reason);
    if (type < 0) return false;
    if (type == 0) return fail(reason, "NumPy type '" + descr + "' has no agl element type");
    if (rank == 0) return fail(reason, "NumPy scalars (shape ()) are not supported");
    int64_t count = 1;
    for (int i = 0; i < rank; ++i) {
        if (shape[i] < 1) return fail(reason, "NumPy array has no elements");
        if (shape[i] > kMaxElements) return fail(reason, "NumPy array is too large");
        count *= shape[i];
        if (count > kMaxElements) return fail(reason, "NumPy array is too large");
    }
    out.type = type;
    out.storage = storage;
    out.fileElementSize = descr[2] - '0';
    out.language = fortran ? AGL_LANG_FORTRAN : AGL_LANG_C;
    out.dims = rank;
    // Extents are kept slowest first: a Fortran-order file varies its first
    // index fastest.
    for (int i = 0; i < rank; ++i)
        out.extents[i] = int32_t(fortran ? shape[rank - 1 - i] : shape[i]);
    out.dataOffset = start + headerLength;
    out.elementCount = count;
    return true;
}

const char* npyStorageName(aglNpyStorage storage) {
    switch (storage) {
    case aglNpyStorage::Int64:
        return "int64";
    case aglNpyStorage::UInt64:
        return "uint64";
    case aglNpyStorage::Float16:
        return "float16";
    default:
        return "";
    }
}

int64_t convertNpyToDouble(const uint8_t* src, aglNpyStorage storage, int64_t count, void* out) {
    // 2^63 and 2^64 as doubles: a rounded value at or above them would not
    // convert back to the integer type.
    constexpr double kTwo63 = 9223372036854775808.0, kTwo64 = 18446744073709551616.0;
    int64_t imprecise = 0;
    auto* bytes = static_cast<uint8_t*>(out);
    for (int64_t i = 0; i < count; ++i) {
        double d = 0.0;
        switch (storage) {
        case aglNpyStorage::Int64: {
            uint64_t bits = 0;
            for (int b = 7; b >= 0; --b)
                bits = (bits << 8) | src[8 * i + b];
            const auto v = int64_t(bits);
            d = double(v);
            if (d >= kTwo63 || int64_t(d) != v) ++imprecise;
            break;
        }
        case aglNpyStorage::UInt64: {
            uint64_t v = 0;
            for (int b = 7; b >= 0; --b)
                v = (v << 8) | src[8 * i + b];
            d = double(v);
            if (d >= kTwo64 || uint64_t(d) != v) ++imprecise;
            break;
        }
        case aglNpyStorage::Float16: {
            // IEEE half precision: sign, 5 exponent bits (bias 15), 10 mantissa bits.
            const unsigned h = unsigned(src[2 * i]) | (unsigned(src[2 * i + 1]) << 8);
            const int exponent = int((h >> 10) & 0x1F);
            const double mantissa = double(h & 0x3FF);
            double v;
            if (exponent == 0)
                v = std::ldexp(mantissa, -24); // subnormal
            else if (exponent == 31)
                v = (h & 0x3FF) ? std::numeric_limits<double>::quiet_NaN()
                                : std::numeric_limits<double>::infinity();
            else
                v = std::ldexp(1024.0 + mantissa, exponent - 25);
            d = (h & 0x8000) ? -v : v;
            break;
        }
        default:
            break;
        }
        std::memcpy(bytes + 8 * i, &d, sizeof d);
    }
    return imprecise;
}

} // namespace agl
