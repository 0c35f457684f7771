#include "HdfObjects.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int32_t> g_nextObjectId{1};

// HDF number-type codes (base types; the flags below are removed first).
constexpr int32_t kNtFloat32 = 5, kNtFloat64 = 6, kNtInt8 = 20, kNtUint8 = 21, kNtInt16 = 22,
                  kNtUint16 = 23, kNtInt32 = 24, kNtUint32 = 25, kNtInt64 = 26, kNtUint64 = 27;
constexpr int32_t kNtNative = 0x1000, kNtLittleEndian = 0x4000;

// Longest text field a line may carry (attribute values, annotations).
constexpr size_t kMaxTextField = 4u << 20;
// Deepest nesting of children: groups of an HDF5 file, then a data set, its
// scale or palette or attribute.
constexpr int kMaxLevel = 20;
constexpr size_t kMaxObjects = 1u << 20;

void escapeInto(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool unescape(const std::string& field, std::string& out) {
    out.clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (i + 1 < field.size() && field[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < field.size() && field[i + 1] == 'x') {
            const int hi = hexValue(field[i + 2]), lo = hexValue(field[i + 3]);
            if (hi < 0 || lo < 0) return false;
            out += char(hi * 16 + lo);
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool parseInt(const std::string& field, int32_t& value) {
    if (field.empty() || field.size() > 12) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(field.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    value = int32_t(v);
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

void encodeOne(std::string& out, const CHdfObject& o, int level) {
    int32_t f[6] = {0, 0, 0, 0, 0, 0};
    std::string extents;
    std::string text;
    int flags = (o.hasContent ? 1 : 0) | (o.hidden ? 2 : 0);
    std::string converted;
    switch (o.kind) {
    case HdfKindSds: {
        const auto& s = static_cast<const CHdfSds&>(o);
        converted = s.convertedFrom;
        f[0] = s.typeCode;
        f[1] = s.elementSize;
        f[2] = s.rank;
        f[3] = s.scaleOfDimension;
        if (s.coordinateVariable) flags |= 4;
        for (size_t i = 0; i < s.extents.size(); ++i) {
            if (i) extents += ',';
            extents += std::to_string(s.extents[i]);
        }
        break;
    }
    case HdfKindRaster: {
        const auto& r = static_cast<const CHdfRasterImage&>(o);
        f[0] = r.width;
        f[1] = r.height;
        f[2] = r.components;
        f[3] = r.interlace;
        f[4] = r.typeCode;
        f[5] = r.elementSize;
        break;
    }
    case HdfKindPalette: {
        const auto& p = static_cast<const CHdfPalette&>(o);
        f[0] = p.source;
        f[1] = p.components;
        f[2] = p.entries;
        f[3] = p.numberType;
        break;
    }
    case HdfKindAttribute: {
        const auto& a = static_cast<const CHdfAttribute&>(o);
        f[0] = a.numberType;
        f[1] = a.count;
        f[2] = a.owner;
        text = a.text;
        break;
    }
    case HdfKindAnnotation:
        text = static_cast<const CHdfAnnotation&>(o).text;
        break;
    default:
        break;
    }
    out += std::to_string(level) + '\t' + std::to_string(o.kind) + '\t' + std::to_string(o.index) +
           '\t' + std::to_string(o.tag) + '\t' + std::to_string(flags);
    for (int32_t v : f)
        out += '\t' + std::to_string(v);
    out += '\t' + extents + '\t';
    escapeInto(out, o.displayName);
    out += '\t';
    escapeInto(out, text);
    out += '\t';
    escapeInto(out, o.location);
    out += '\t';
    escapeInto(out, o.refusal);
    out += '\t';
    escapeInto(out, converted);
    out += '\n';
    for (const auto& child : o.children)
        encodeOne(out, *child, level + 1);
}

bool validElementType(int32_t type, int32_t size) {
    if (size == 0) return type == AGL_UCHAR; // no content
    return agl::isTypeCode(type) && agl::typeInfo(type).size == size;
}

} // namespace

// ---------------------------------------------------------------------------

CHdfObject::CHdfObject(int32_t kindCode) : kind(kindCode), objectId(g_nextObjectId++) {}

CHdfObject::~CHdfObject() = default;

std::string CHdfObject::kindName() const {
    switch (kind) {
    case HdfKindSds:
        return "Scientific Data";
    case HdfKindRaster:
        return "Raster Image";
    case HdfKindPalette:
        return "8-bit Image Palette";
    case HdfKindAnnotation:
        return "Annotation";
    case HdfKindAttribute:
        return "Attribute";
    case HdfKindGroup:
        return "Group";
    default:
        return "HDF Object";
    }
}

CHdfObject* CHdfObject::addChild(std::unique_ptr<CHdfObject> child) {
    child->isChild = true;
    child->parent = this;
    if (child->filePath.empty()) child->filePath = filePath;
    children.push_back(std::move(child));
    return children.back().get();
}

int hdfBaseNumberType(int32_t numberType) {
    return numberType & ~(kNtNative | kNtLittleEndian);
}

int hdfElementType(int32_t numberType) {
    switch (hdfBaseNumberType(numberType)) {
    case kNtFloat32:
        return AGL_FLOAT;
    case kNtFloat64:
        return AGL_DOUBLE;
    case kNtInt8:
        return AGL_CHAR;
    case kNtUint8:
        return AGL_UCHAR;
    case kNtInt16:
        return AGL_SHORT;
    case kNtUint16:
        return AGL_USHORT;
    case kNtInt32:
        return AGL_LONG;
    case kNtUint32:
        return AGL_ULONG;
    default:
        return 0;
    }
}

std::string hdfFormatValues(int32_t numberType, const void* bytes, size_t byteCount,
                            int32_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    std::string out;
    char buf[64];
    auto each = [&](size_t size, auto format) {
        for (int32_t i = 0; i < count && size_t(i + 1) * size <= byteCount; ++i) {
            format(p + size_t(i) * size);
            out += buf;
        }
    };
    switch (hdfBaseNumberType(numberType)) {
    case kNtFloat32:
        each(4, [&](const uint8_t* q) {
            float v;
            std::memcpy(&v, q, 4);
            std::snprintf(buf, sizeof buf, "%f\n", double(v));
        });
        return out;
    case kNtFloat64:
        each(8, [&](const uint8_t* q) {
            double v;
            std::memcpy(&v, q, 8);
            std::snprintf(buf, sizeof buf, "%lf\n", v);
        });
        return out;
    case kNtInt8:
    case kNtUint8:
        each(1, [&](const uint8_t* q) { std::snprintf(buf, sizeof buf, "%c\n", char(*q)); });
        return out;
    case kNtInt16:
        each(2, [&](const uint8_t* q) {
            int16_t v;
            std::memcpy(&v, q, 2);
            std::snprintf(buf, sizeof buf, "%hd\n", v);
        });
        return out;
    case kNtUint16:
        each(2, [&](const uint8_t* q) {
            uint16_t v;
            std::memcpy(&v, q, 2);
            std::snprintf(buf, sizeof buf, "%hu\n", v);
        });
        return out;
    case kNtInt32:
        each(4, [&](const uint8_t* q) {
            int32_t v;
            std::memcpy(&v, q, 4);
            std::snprintf(buf, sizeof buf, "%d\n", v);
        });
        return out;
    case kNtUint32:
        each(4, [&](const uint8_t* q) {
            uint32_t v;
            std::memcpy(&v, q, 4);
            std::snprintf(buf, sizeof buf, "%u\n", v);
        });
        return out;
    case kNtInt64:
        each(8, [&](const uint8_t* q) {
            int64_t v;
            std::memcpy(&v, q, 8);
            std::snprintf(buf, sizeof buf, "%" PRId64 "\n", v);
        });
        return out;
    case kNtUint64:
        each(8, [&](const uint8_t* q) {
            uint64_t v;
            std::memcpy(&v, q, 8);
            std::snprintf(buf, sizeof buf, "%" PRIu64 "\n", v);
        });
        return out;
    default: {
        // Character types: text, ending at the first NUL or the buffer's end.
        const auto* c = static_cast<const char*>(bytes);
        return std::string(c, strnlen(c, byteCount));
    }
    }
}

std::string encodeHdfObjects(const HdfObjectList& objects) {
    std::string out;
    for (const auto& o : objects)
        encodeOne(out, *o, 0);
    return out;
}

bool decodeHdfObjects(const std::string& text, const std::string& filePath, HdfObjectList& objects,
                      std::string& reason) {
    objects.clear();
    std::vector<CHdfObject*> stack; // the last object read at each level
    size_t start = 0;
    size_t lineNo = 0;
    auto bad = [&](const char* why) {
        reason = "object list line " + std::to_string(lineNo) + ": " + why;
        objects.clear();
        return false;
    };
    size_t total = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) return bad("unterminated line");
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (++total > kMaxObjects) return bad("too many objects");
        const std::vector<std::string> f = splitTabs(line);
        if (f.size() != 17) return bad("wrong number of fields");
        int32_t n[11];
        for (int i = 0; i < 11; ++i)
            if (!parseInt(f[size_t(i)], n[i])) return bad("malformed number");
        const int32_t level = n[0], kind = n[1], flags = n[4];
        if (level < 0 || level > kMaxLevel || size_t(level) > stack.size())
            return bad("bad nesting");
        if (flags < 0 || flags > 7) return bad("bad flags");
        std::string name, body, location, refusal, converted;
        for (size_t i = 12; i < f.size(); ++i)
            if (f[i].size() > kMaxTextField) return bad("text too long");
        if (!unescape(f[12], name) || !unescape(f[13], body) || !unescape(f[14], location) ||
            !unescape(f[15], refusal) || !unescape(f[16], converted))
            return bad("bad escape");

        std::unique_ptr<CHdfObject> o;
        switch (kind) {
        case HdfKindSds: {
            auto s = std::make_unique<CHdfSds>();
            s->typeCode = n[5];
            s->elementSize = n[6];
            s->rank = n[7];
            s->scaleOfDimension = n[8];
            s->coordinateVariable = flags & 4;
            if (!validElementType(s->typeCode, s->elementSize)) return bad("bad element type");
            if (s->rank < 0 || s->rank > 32) return bad("bad rank");
            if (s->scaleOfDimension < -1 || s->scaleOfDimension >= 32)
                return bad("bad scale dimension");
            if (!f[11].empty()) {
                size_t p = 0;
                while (p <= f[11].size()) {
                    size_t comma = f[11].find(',', p);
                    if (comma == std::string::npos) comma = f[11].size();
                    int32_t e;
                    if (!parseInt(f[11].substr(p, comma - p), e) || e < 0) return bad("bad extent");
                    s->extents.push_back(e);
                    p = comma + 1;
                }
            }
            if (int32_t(s->extents.size()) != s->rank) return bad("extents do not match rank");
            if (!converted.empty()) {
                // Only 64-bit integers are converted, and only into doubles.
                if ((converted != "int64" && converted != "uint64") || s->typeCode != AGL_DOUBLE)
                    return bad("bad conversion");
                s->convertedFrom = converted;
            }
            o = std::move(s);
            break;
        }
        case HdfKindRaster: {
            auto r = std::make_unique<CHdfRasterImage>();
            r->width = n[5];
            r->height = n[6];
            r->components = n[7];
            r->interlace = n[8];
            r->typeCode = n[9];
            r->elementSize = n[10];
            if (r->width < 0 || r->height < 0 || r->components < 0) return bad("bad image shape");
            if (!validElementType(r->typeCode, r->elementSize)) return bad("bad element type");
            o = std::move(r);
            break;
        }
        case HdfKindPalette: {
            auto p = std::make_unique<CHdfPalette>();
            p->source = n[5];
            p->components = n[6];
            p->entries = n[7];
            p->numberType = n[8];
            if (p->source != HdfPaletteLut && p->source != HdfPaletteDfp)
                return bad("bad palette source");
            o = std::move(p);
            break;
        }
        case HdfKindAttribute: {
            auto a = std::make_unique<CHdfAttribute>();
            a->numberType = n[5];
            a->count = n[6];
            a->owner = n[7];
            a->name = name;
            a->text = body;
            o = std::move(a);
            break;
        }
        case HdfKindAnnotation: {
            auto a = std::make_unique<CHdfAnnotation>();
            a->text = body;
            o = std::move(a);
            break;
        }
        case HdfKindGroup:
            o = std::make_unique<CHdfObject>(HdfKindGroup);
            break;
        default:
            return bad("unknown kind");
        }
        o->index = n[2];
        o->tag = n[3];
        o->hasContent = flags & 1;
        o->hidden = flags & 2;
        o->displayName = name;
        o->filePath = filePath;
        o->location = location;
        o->refusal = refusal;
        stack.resize(size_t(level));
        CHdfObject* placed;
        if (level == 0)
            placed = objects.emplace_back(std::move(o)).get();
        else
            placed = stack.back()->addChild(std::move(o));
        stack.push_back(placed);
    }
    return true;
}

CHdfObject* findHdfObject(const HdfObjectList& objects, int32_t objectId) {
    for (const auto& o : objects) {
        if (o->objectId == objectId) return o.get();
        if (CHdfObject* inner = findHdfObject(o->children, objectId)) return inner;
    }
    return nullptr;
}

namespace {

std::string extentsText(const std::vector<int32_t>& extents) {
    std::string s;
    for (int32_t e : extents)
        s += "[" + std::to_string(e) + "]";
    return s;
}

} // namespace

std::string hdfShapeText(const CHdfObject& o) {
    switch (o.kind) {
    case HdfKindSds: {
        const auto& s = static_cast<const CHdfSds&>(o);
        std::string type = s.elementSize > 0 ? agl::typeInfo(s.typeCode).cName : "unsupported";
        if (!s.convertedFrom.empty()) type += " (from " + s.convertedFrom + ")";
        return type + extentsText(s.extents);
    }
    case HdfKindRaster: {
        const auto& r = static_cast<const CHdfRasterImage&>(o);
        std::string s =
            std::string(agl::typeInfo(r.typeCode).cName) + extentsText({r.height, r.width});
        if (r.components != 1) s += " x " + std::to_string(r.components) + " components";
        return s;
    }
    case HdfKindPalette:
        return std::string(agl::typeInfo(AGL_UCHAR).cName) + "[256][4]";
    case HdfKindAttribute:
        return std::to_string(static_cast<const CHdfAttribute&>(o).count) + " values";
    case HdfKindAnnotation:
        return std::to_string(static_cast<const CHdfAnnotation&>(o).text.size()) + " characters";
    default:
        return "";
    }
}

std::string hdfConversionNote(const CHdfObject& o) {
    if (o.kind != HdfKindSds) return {};
    const auto& s = static_cast<const CHdfSds&>(o);
    if (s.convertedFrom.empty()) return {};
    std::string note = "a double copy of " + s.convertedFrom + " data";
    if (s.impreciseValues > 0)
        note += "; " + std::to_string(s.impreciseValues) +
                (s.impreciseValues == 1 ? " value beyond 2^53 lost precision"
                                        : " values beyond 2^53 lost precision");
    return note;
}

namespace {

const CHdfAttribute* attributeNamed(const CHdfObject& o, const char* name) {
    for (const auto& c : o.children)
        if (c->kind == HdfKindAttribute && static_cast<const CHdfAttribute&>(*c).name == name)
            return static_cast<const CHdfAttribute*>(c.get());
    return nullptr;
}

} // namespace

bool hdfIsPacked(const CHdfObject& o) {
    return o.kind == HdfKindSds && !o.location.empty() &&
           (attributeNamed(o, "scale_factor") || attributeNamed(o, "add_offset"));
}

std::string hdfQuantityText(const CHdfObject& o) {
    if (o.kind != HdfKindSds) return {};
    auto value = [&](const char* name) {
        const CHdfAttribute* a = attributeNamed(o, name);
        std::string text = a ? a->text : std::string();
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    };
    const std::string longName = value("long_name"), units = value("units");
    if (units.empty()) return longName;
    return longName.empty() ? "[" + units + "]" : longName + " [" + units + "]";
}

bool hdfReadsByPlane(const CHdfObject& o) {
    if (o.kind != HdfKindSds) return false;
    const auto& s = static_cast<const CHdfSds&>(o);
    return s.rank >= 3 && s.rank <= agl::kMaxDims && int32_t(s.extents.size()) == s.rank;
}

HdfPlane hdfFirstPlane(const CHdfSds& sds) {
    HdfPlane plane;
    if (sds.location.empty()) {
        // An HDF4 data set is a Fortran array: its first two subscripts
        // (the last two extents) make the plane, as for any Fortran array.
        plane.rowDim = 1;
        plane.colDim = 0;
        return plane;
    }
    plane.rowDim = std::max(0, sds.rank - 2);
    plane.colDim = std::max(0, sds.rank - 1);
    return plane;
}

bool hdfPlaneShape(const CHdfSds& sds, const HdfPlane& plane, int32_t* extents, int32_t* start) {
    if (!hdfReadsByPlane(sds) || plane.rowDim < 0 || plane.rowDim >= sds.rank || plane.colDim < 0 ||
        plane.colDim >= sds.rank)
        return false;
    int64_t product = 1;
    for (int d = 0; d < sds.rank; ++d) {
        const int32_t e = sds.extents[size_t(d)];
        const bool shown = d == plane.rowDim || d == plane.colDim;
        const int32_t index = shown ? 0 : plane.index[size_t(d)];
        if (e <= 0 || index < 0 || index >= e) return false;
        extents[d] = shown ? e : 1;
        start[d] = index;
        product *= extents[d];
        if (product > agl::kMaxElements) return false;
    }
    return product >= 2;
}

bool hdfCanShow(const CHdfSds& sds) {
    if (!sds.hasContent || sds.elementSize <= 0) return false;
    if (!hdfReadsByPlane(sds)) return hdfShownElementCount(sds) > 0;
    int32_t extents[agl::kMaxDims], start[agl::kMaxDims];
    return hdfPlaneShape(sds, hdfFirstPlane(sds), extents, start);
}

int64_t hdfShownElementCount(const CHdfSds& sds) {
    if (sds.elementSize <= 0 || sds.rank < 1 || sds.rank > agl::kMaxDims ||
        int32_t(sds.extents.size()) != sds.rank)
        return 0;
    int64_t product = 1;
    for (int32_t e : sds.extents) {
        if (e <= 0) return 0;
        product *= e;
        if (product > agl::kMaxElements) return 0;
    }
    return product < 2 ? 0 : product;
}

bool isHdf5Signature(const uint8_t* head, size_t size) {
    static const uint8_t signature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1A, '\n'};
    for (size_t at : {size_t(0), size_t(512), size_t(1024), size_t(2048)})
        if (at + 8 <= size && std::memcmp(head + at, signature, 8) == 0) return true;
    return false;
}

bool isNetcdfClassicSignature(const uint8_t* head, size_t size) {
    return size >= 4 && head[0] == 'C' && head[1] == 'D' && head[2] == 'F' &&
           (head[3] == 1 || head[3] == 2 || head[3] == 5);
}
