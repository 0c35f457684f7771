// The C API over aglSegment; see include/agl.h.
// The core headers come first: agl.h then redefines the same names as macros.
#include "aglSegment.h"

#include <iterator>
#include <new>

namespace {

// The C++ enumerators, taken before agl.h turns the same names into macros,
// so that the two spellings can be checked against each other below.
constexpr int kCxxCodes[] = {
    AGL_UCHAR,    AGL_CHAR,      AGL_USHORT,     AGL_SHORT,        AGL_ULONG,    AGL_LONG,
    AGL_FLOAT,    AGL_DOUBLE,    AGL_LANG_C,     AGL_LANG_FORTRAN, AGL_OK,       AGL_E_MAPPING,
    AGL_E_EXISTS, AGL_E_MAPVIEW, AGL_E_OPEN,     AGL_E_FORMAT,     AGL_E_EXTENT, AGL_E_TOO_LARGE,
    AGL_E_RANK,   AGL_E_SIZE,    AGL_E_READONLY, agl::kMaxDims,
};

} // namespace

#include "agl.h"

namespace {

constexpr int kCCodes[] = {
    AGL_UCHAR,    AGL_CHAR,      AGL_USHORT,     AGL_SHORT,        AGL_ULONG,    AGL_LONG,
    AGL_FLOAT,    AGL_DOUBLE,    AGL_LANG_C,     AGL_LANG_FORTRAN, AGL_OK,       AGL_E_MAPPING,
    AGL_E_EXISTS, AGL_E_MAPVIEW, AGL_E_OPEN,     AGL_E_FORMAT,     AGL_E_EXTENT, AGL_E_TOO_LARGE,
    AGL_E_RANK,   AGL_E_SIZE,    AGL_E_READONLY, AGL_MAX_DIMS,
};

constexpr bool sameCodes() {
    static_assert(std::size(kCxxCodes) == std::size(kCCodes));
    for (size_t i = 0; i < std::size(kCCodes); ++i)
        if (kCxxCodes[i] != kCCodes[i]) return false;
    return true;
}
static_assert(sameCodes(), "agl.h and aglTypes.h disagree on a type, language or error code");

// The C API's own code must not collide with one the core can report.
constexpr bool argumentCodeIsFree() {
    for (int code : kCxxCodes)
        if (code == AGL_E_ARGUMENT) return false;
    return true;
}
static_assert(argumentCodeIsFree());

} // namespace

struct agl_segment {
    aglSegment segment;
};

namespace {

thread_local int t_lastError = 0;

int report(int code) {
    t_lastError = code;
    return code;
}

// Language order <-> stored order (slowest first).
void toStored(int language, int ndims, const int* in, int32_t* out) {
    for (int i = 0; i < ndims; ++i)
        out[i] = language == AGL_LANG_FORTRAN ? in[ndims - 1 - i] : in[i];
}

bool argsOk(agl_segment** out, int type, int language, int ndims, const int* extents) {
    return out && extents && ndims >= 1 && ndims <= AGL_MAX_DIMS &&
           (language == AGL_LANG_C || language == AGL_LANG_FORTRAN) && type >= AGL_UCHAR &&
           type <= AGL_DOUBLE;
}

int createCommon(agl_segment** out, const char* name, int type, int language, int ndims,
                 const int* extents, bool file) {
    if (out) *out = nullptr;
    if (!argsOk(out, type, language, ndims, extents) || (file && !name))
        return report(AGL_E_ARGUMENT);
    int32_t stored[AGL_MAX_DIMS];
    toStored(language, ndims, extents, stored);
    for (int i = 0; i < ndims; ++i)
        if (stored[i] <= 0) return report(stored[i] < 0 ? AGL_E_EXTENT : AGL_E_RANK);
    auto* seg = new (std::nothrow) agl_segment;
    if (!seg) return report(AGL_E_MAPPING);
    bool ok = file ? seg->segment.create(name, ndims, stored, type, language)
                   : (name ? seg->segment.createShared(name, ndims, stored, type, language)
                           : seg->segment.create(nullptr, ndims, stored, type, language));
    if (!ok) {
        int code = seg->segment.takeError();
        delete seg;
        return report(code ? code : AGL_E_MAPPING);
    }
    *out = seg;
    return report(AGL_OK);
}

} // namespace

extern "C" {

int agl_create(agl_segment** out, const char* name, int type, int language, int ndims,
               const int* extents) {
    return createCommon(out, name, type, language, ndims, extents, false);
}

int agl_create_file(agl_segment** out, const char* path, int type, int language, int ndims,
                    const int* extents) {
    return createCommon(out, path, type, language, ndims, extents, true);
}

int agl_open(agl_segment** out, const char* name, int read_only) {
    if (out) *out = nullptr;
    if (!out || !name) return report(AGL_E_ARGUMENT);
    auto* seg = new (std::nothrow) agl_segment;
    if (!seg) return report(AGL_E_MAPPING);
    if (!seg->segment.open(name, read_only != 0)) {
        int code = seg->segment.takeError();
        delete seg;
        return report(code);
    }
    *out = seg;
    return report(AGL_OK);
}

int agl_close(agl_segment* seg) {
    if (!seg) return report(AGL_E_ARGUMENT);
    delete seg;
    return report(AGL_OK);
}

void* agl_data(agl_segment* seg) {
    return seg ? seg->segment.elements() : nullptr;
}

const char* agl_name(const agl_segment* seg) {
    return seg ? seg->segment.name().c_str() : nullptr;
}

int agl_type(const agl_segment* seg) {
    return seg ? seg->segment.typeCode() : 0;
}

int agl_language(const agl_segment* seg) {
    return seg ? seg->segment.language() : 0;
}

int agl_ndims(const agl_segment* seg) {
    return seg ? seg->segment.dimCount() : 0;
}

long long agl_count(const agl_segment* seg) {
    return seg ? seg->segment.elementCount() : 0;
}

static int copyOut(const agl_segment* seg, int* out, int max, bool bounds) {
    if (!seg || !out || max < 0) return report(AGL_E_ARGUMENT);
    const aglSegment& s = seg->segment;
    const int n = s.dimCount();
    for (int i = 0; i < n && i < max; ++i) {
        const int stored = s.language() == AGL_LANG_FORTRAN ? n - 1 - i : i;
        out[i] = bounds ? s.lowerBound(stored) : s.extent(stored);
    }
    return report(AGL_OK);
}

int agl_extents(const agl_segment* seg, int* out, int max) {
    return copyOut(seg, out, max, false);
}

int agl_lower_bounds(const agl_segment* seg, int* out, int max) {
    return copyOut(seg, out, max, true);
}

int agl_set_lower_bound(agl_segment* seg, int dim, int value) {
    if (!seg) return report(AGL_E_ARGUMENT);
    aglSegment& s = seg->segment;
    if (dim < 0 || dim >= s.dimCount()) return report(AGL_E_RANK);
    if (!s.isWritable()) return report(AGL_E_READONLY);
    const int stored = s.language() == AGL_LANG_FORTRAN ? s.dimCount() - 1 - dim : dim;
    s.setLowerBound(stored, value);
    return report(AGL_OK);
}

int agl_reshape(agl_segment* seg, int ndims, const int* extents, int type) {
    if (!seg || !extents) return report(AGL_E_ARGUMENT);
    if (ndims < 1 || ndims > AGL_MAX_DIMS) return report(AGL_E_RANK);
    aglSegment& s = seg->segment;
    int32_t stored[AGL_MAX_DIMS];
    toStored(s.language(), ndims, extents, stored);
    if (!s.reshape(ndims, stored, type)) return report(s.takeError());
    return report(AGL_OK);
}

int agl_last_error(void) {
    int e = t_lastError;
    t_lastError = 0;
    return e;
}

const char* agl_error_name(int code) {
    if (code == AGL_E_ARGUMENT) return "AGL_E_ARGUMENT";
    return agl::errorName(code);
}

int agl_version(void) {
    return AGL_VERSION;
}

} // extern "C"
