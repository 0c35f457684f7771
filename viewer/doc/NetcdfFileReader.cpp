#include "NetcdfFileReader.h"
#include "ElementHoles.h"

#include <netcdf.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using element_holes::elementAt;
using element_holes::setElement;

// Attribute values larger than this are listed empty.
constexpr size_t kMaxTextBytes = 1 << 20;

class NcFile {
public:
    explicit NcFile(const std::string& path) {
        if (nc_open(path.c_str(), NC_NOWRITE, &m_id) != NC_NOERR) m_id = -1;
    }
    ~NcFile() {
        if (m_id >= 0) nc_close(m_id);
    }
    NcFile(const NcFile&) = delete;
    NcFile& operator=(const NcFile&) = delete;
    int get() const { return m_id; }
    explicit operator bool() const { return m_id >= 0; }

private:
    int m_id = -1;
};

int elementTypeOf(nc_type type, std::string& convertedFrom, std::string& refusal) {
    switch (type) {
    case NC_BYTE:
        return AGL_CHAR;
    case NC_UBYTE:
        return AGL_UCHAR;
    case NC_SHORT:
        return AGL_SHORT;
    case NC_USHORT:
        return AGL_USHORT;
    case NC_INT:
        return AGL_LONG;
    case NC_UINT:
        return AGL_ULONG;
    case NC_FLOAT:
        return AGL_FLOAT;
    case NC_DOUBLE:
        return AGL_DOUBLE;
    case NC_INT64:
        convertedFrom = "int64";
        return AGL_DOUBLE;
    case NC_UINT64:
        convertedFrom = "uint64";
        return AGL_DOUBLE;
    case NC_CHAR:
        refusal = "character variables cannot be shown";
        return 0;
    case NC_STRING:
        refusal = "string variables cannot be shown";
        return 0;
    default:
        refusal = "variables of this type cannot be shown";
        return 0;
    }
}

// The shortest of the given precisions that reads back as the same value.
std::string shortest(double value, int from, int to, bool single) {
    char buf[64];
    for (int p = from; p <= to; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, value);
        const double back = std::strtod(buf, nullptr);
        if ((single ? double(float(back)) == value : back == value) || std::isnan(value)) break;
    }
    return buf;
}

// An attribute's values as text, one number per line; text as it is.
std::string attributeText(int nc, int var, const char* name, nc_type type, size_t count) {
    if (count == 0 || count > kMaxTextBytes) return {};
    std::string out;
    switch (type) {
    case NC_CHAR: {
        std::vector<char> text(count + 1, '\0');
        if (nc_get_att_text(nc, var, name, text.data()) != NC_NOERR) return {};
        return std::string(text.data(), strnlen(text.data(), count));
    }
    case NC_STRING: {
        std::vector<char*> strings(count, nullptr);
        if (nc_get_att_string(nc, var, name, strings.data()) != NC_NOERR) return {};
        for (size_t i = 0; i < count; ++i) {
            if (i) out += '\n';
            if (strings[i]) out += strings[i];
        }
        nc_free_string(count, strings.data());
        return out;
    }
    case NC_FLOAT:
    case NC_DOUBLE: {
        std::vector<double> values(count);
        if (nc_get_att_double(nc, var, name, values.data()) != NC_NOERR) return {};
        for (double v : values)
            out += (type == NC_FLOAT ? shortest(v, 6, 9, true) : shortest(v, 15, 17, false)) + "\n";
        return out;
    }
    case NC_UINT64: {
        std::vector<unsigned long long> values(count);
        if (nc_get_att_ulonglong(nc, var, name, values.data()) != NC_NOERR) return {};
        for (unsigned long long v : values)
            out += std::to_string(v) + "\n";
        return out;
    }
    default: {
        std::vector<long long> values(count);
        if (nc_get_att_longlong(nc, var, name, values.data()) != NC_NOERR) return {};
        for (long long v : values)
            out += std::to_string(v) + "\n";
        return out;
    }
    }
}

void listAttributes(int nc, int var, int count, const std::string& path, CHdfObject* owner,
                    HdfObjectList& top) {
    for (int a = 0; a < count; ++a) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = 0;
        size_t length = 0;
        if (nc_inq_attname(nc, var, a, name) != NC_NOERR ||
            nc_inq_att(nc, var, name, &type, &length) != NC_NOERR)
            continue;
        auto attribute = std::make_unique<CHdfAttribute>();
        attribute->index = a;
        attribute->name = name;
        attribute->displayName = name;
        attribute->count = int32_t(std::min<size_t>(length, INT32_MAX));
        attribute->text = attributeText(nc, var, name, type, length);
        attribute->hasContent = true;
        attribute->filePath = path;
        if (owner)
            owner->addChild(std::move(attribute));
        else
            top.push_back(std::move(attribute));
    }
}

struct Variable {
    std::string name;
    nc_type type = 0;
    int rank = 0;
    int dims[NC_MAX_VAR_DIMS] = {};
    int attributes = 0;
};

bool describe(int nc, int var, Variable& v) {
    char name[NC_MAX_NAME + 1] = {};
    if (nc_inq_var(nc, var, name, &v.type, &v.rank, v.dims, &v.attributes) != NC_NOERR ||
        v.rank < 0 || v.rank > NC_MAX_VAR_DIMS)
        return false;
    v.name = name;
    return true;
}

std::string dimensionName(int nc, int dim) {
    char name[NC_MAX_NAME + 1] = {};
    return nc_inq_dimname(nc, dim, name) == NC_NOERR ? std::string(name) : std::string();
}

// A coordinate variable: one dimension, named as that dimension.
bool isCoordinate(int nc, const Variable& v) {
    return v.rank == 1 && dimensionName(nc, v.dims[0]) == v.name;
}

std::unique_ptr<CHdfSds> makeDataSet(int nc, int var, const Variable& v, const std::string& path) {
    auto s = std::make_unique<CHdfSds>();
    s->index = var;
    s->displayName = v.name;
    s->location = v.name;
    s->filePath = path;
    s->rank = v.rank;
    bool tooLong = false;
    for (int d = 0; d < v.rank; ++d) {
        size_t length = 0;
        nc_inq_dimlen(nc, v.dims[d], &length);
        tooLong = tooLong || length > size_t(INT32_MAX);
        s->extents.push_back(int32_t(std::min<size_t>(length, INT32_MAX)));
    }
    std::string refusal;
    const int element = elementTypeOf(v.type, s->convertedFrom, refusal);
    if (refusal.empty() && v.rank > agl::kMaxDims)
        refusal = "variables of more than 7 dimensions cannot be shown";
    if (refusal.empty() && tooLong) refusal = "a dimension beyond 2^31 - 1 cannot be shown";
    if (refusal.empty()) {
        s->typeCode = element;
        s->elementSize = agl::typeInfo(element).size;
        s->hasContent = true;
    } else {
        s->convertedFrom.clear();
        s->refusal = refusal;
    }
    return s;
}

HdfReadStatus failWith(std::string& reason, const char* why) {
    reason = why;
    return HdfReadFailed;
}

// Values equal to the fill or missing value become NaN.
template <typename T>
int64_t punchFillHoles(int nc, int var, nc_type type, void* values, uint64_t count) {
    std::vector<double> marks;
    for (const char* name : {"_FillValue", "missing_value"}) {
        nc_type t = 0;
        size_t n = 0;
        if (nc_inq_att(nc, var, name, &t, &n) != NC_NOERR || n == 0 || n > 16 || t == NC_CHAR ||
            t == NC_STRING)
            continue;
        std::vector<double> v(n);
        if (nc_get_att_double(nc, var, name, v.data()) == NC_NOERR)
            marks.insert(marks.end(), v.begin(), v.end());
    }
    // Without a _FillValue of its own, what was never written holds the
    // library's default fill of its type.
    if (nc_inq_att(nc, var, "_FillValue", nullptr, nullptr) != NC_NOERR) {
        switch (type) {
        case NC_BYTE:
            marks.push_back(NC_FILL_BYTE);
            break;
        case NC_UBYTE:
            marks.push_back(NC_FILL_UBYTE);
            break;
        case NC_SHORT:
            marks.push_back(NC_FILL_SHORT);
            break;
        case NC_USHORT:
            marks.push_back(NC_FILL_USHORT);
            break;
        case NC_INT:
            marks.push_back(NC_FILL_INT);
            break;
        case NC_UINT:
            marks.push_back(NC_FILL_UINT);
            break;
        case NC_FLOAT:
            marks.push_back(double(NC_FILL_FLOAT));
            break;
        case NC_DOUBLE:
            marks.push_back(NC_FILL_DOUBLE);
            break;
        default:
            break;
        }
    }
    return element_holes::punchHoles<T>(values, count, marks);
}

// Reads variable var of the open file nc (see netcdfReadVariable).
HdfReadStatus readVariablePart(int nc, int var, int dims, const int32_t* extents, int type,
                               bool unpack, void* dest, uint64_t byteCount, int64_t& holes,
                               int64_t& imprecise, std::string& reason, const int32_t* start);

} // namespace

HdfReadStatus netcdfListFile(const std::string& path, HdfObjectList& objects, std::string& reason) {
    objects.clear();
    NcFile file(path);
    int dims = 0, vars = 0, globals = 0, unlimited = -1;
    if (!file || nc_inq(file.get(), &dims, &vars, &globals, &unlimited) != NC_NOERR) {
        reason = "Couldn't read file!";
        return HdfReadCannotOpen;
    }
    const int nc = file.get();
    listAttributes(nc, NC_GLOBAL, globals, path, nullptr, objects);
    int dataSets = 0;
    for (int var = 0; var < vars; ++var) {
        Variable v;
        if (!describe(nc, var, v)) continue;
        auto s = makeDataSet(nc, var, v, path);
        if (isCoordinate(nc, v)) {
            s->coordinateVariable = true;
            s->hidden = true;
        } else if (s->hasContent) {
            for (int d = 0; d < v.rank && d < agl::kMaxDims; ++d) {
                int scaleVar = -1;
                Variable sv;
                if (nc_inq_varid(nc, dimensionName(nc, v.dims[d]).c_str(), &scaleVar) != NC_NOERR ||
                    scaleVar == var || !describe(nc, scaleVar, sv) || !isCoordinate(nc, sv) ||
                    sv.dims[0] != v.dims[d])
                    continue;
                auto scale = makeDataSet(nc, scaleVar, sv, path);
                if (!scale->hasContent) continue;
                scale->coordinateVariable = true;
                scale->scaleOfDimension = d;
                listAttributes(nc, scaleVar, sv.attributes, path, scale.get(), objects);
                s->addChild(std::move(scale));
            }
        }
        listAttributes(nc, var, v.attributes, path, s.get(), objects);
        objects.push_back(std::move(s));
        ++dataSets;
    }
    if (dataSets == 0) {
        objects.clear();
        reason = "No viewable objects in file!";
        return HdfReadNothing;
    }
    return HdfReadOk;
}

HdfReadStatus netcdfReadVariable(const std::string& path, const std::string& name, int dims,
                                 const int32_t* extents, int type, bool unpack, void* dest,
                                 uint64_t byteCount, int64_t& holes, int64_t& imprecise,
                                 std::string& reason, const int32_t* start) {
    holes = 0;
    imprecise = 0;
    if (!dest || dims < 1 || dims > agl::kMaxDims) return failWith(reason, "bad destination");
    NcFile file(path);
    if (!file) return failWith(reason, "Couldn't read file!");
    int var = -1;
    if (nc_inq_varid(file.get(), name.c_str(), &var) != NC_NOERR)
        return failWith(reason, "no such variable");
    return readVariablePart(file.get(), var, dims, extents, type, unpack, dest, byteCount, holes,
                            imprecise, reason, start);
}

NetcdfVariableReader::~NetcdfVariableReader() {
    close();
}

void NetcdfVariableReader::close() {
    if (m_file >= 0) nc_close(m_file);
    m_file = -1;
    m_var = -1;
}

HdfReadStatus NetcdfVariableReader::open(const std::string& path, const std::string& name,
                                         std::string& reason) {
    close();
    if (nc_open(path.c_str(), NC_NOWRITE, &m_file) != NC_NOERR) {
        m_file = -1;
        reason = "Couldn't read file!";
        return HdfReadCannotOpen;
    }
    if (nc_inq_varid(m_file, name.c_str(), &m_var) != NC_NOERR) {
        close();
        return failWith(reason, "no such variable");
    }
    return HdfReadOk;
}

HdfReadStatus NetcdfVariableReader::read(int dims, const int32_t* start, const int32_t* extents,
                                         int type, bool unpack, void* dest, uint64_t byteCount,
                                         int64_t& holes, int64_t& imprecise, std::string& reason) {
    holes = 0;
    imprecise = 0;
    if (!dest || dims < 1 || dims > agl::kMaxDims) return failWith(reason, "bad destination");
    if (m_var < 0) return failWith(reason, "the variable is not open");
    return readVariablePart(m_file, m_var, dims, extents, type, unpack, dest, byteCount, holes,
                            imprecise, reason, start);
}

namespace {

HdfReadStatus readVariablePart(int nc, int var, int dims, const int32_t* extents, int type,
                               bool unpack, void* dest, uint64_t byteCount, int64_t& holes,
                               int64_t& imprecise, std::string& reason, const int32_t* start) {
    Variable v;
    if (!describe(nc, var, v)) return failWith(reason, "no such variable");
    std::string convertedFrom, refusal;
    const int element = elementTypeOf(v.type, convertedFrom, refusal);
    if (element == 0 || (unpack ? AGL_DOUBLE : element) != type || v.rank != dims)
        return failWith(reason, "the variable does not match its listing");
    uint64_t product = 1;
    size_t first[agl::kMaxDims] = {}, count[agl::kMaxDims] = {};
    for (int d = 0; d < dims; ++d) {
        size_t length = 0;
        const int64_t from = start ? start[d] : 0;
        if (nc_inq_dimlen(nc, v.dims[d], &length) != NC_NOERR || extents[d] <= 0 || from < 0 ||
            (start ? size_t(from) + size_t(extents[d]) > length : length != size_t(extents[d])))
            return failWith(reason, "the variable does not match its listing");
        first[d] = size_t(from);
        count[d] = size_t(extents[d]);
        product *= uint64_t(extents[d]);
        if (product > uint64_t(agl::kMaxElements))
            return failWith(reason, "the variable does not match its listing");
    }
    if (product * uint64_t(agl::typeInfo(type).size) != byteCount)
        return failWith(reason, "the variable does not match its listing");
    if (unpack) {
        void* values = dest;
        if (nc_get_vara_double(nc, var, first, count, static_cast<double*>(values)) != NC_NOERR)
            return failWith(reason, "the variable's values cannot be read");
        holes = punchFillHoles<double>(nc, var, v.type, values, product);
        double scale = 1.0, offset = 0.0;
        nc_type t = 0;
        size_t n = 0;
        if (nc_inq_att(nc, var, "scale_factor", &t, &n) == NC_NOERR && n == 1 && t != NC_CHAR &&
            t != NC_STRING)
            nc_get_att_double(nc, var, "scale_factor", &scale);
        if (nc_inq_att(nc, var, "add_offset", &t, &n) == NC_NOERR && n == 1 && t != NC_CHAR &&
            t != NC_STRING)
            nc_get_att_double(nc, var, "add_offset", &offset);
        for (uint64_t i = 0; i < product; ++i)
            setElement(values, i, elementAt<double>(values, i) * scale + offset); // NaN stays
        return HdfReadOk;
    }
    // The library reads a variable in its own type, converted to this
    // machine's byte order.
    if (nc_get_vara(nc, var, first, count, dest) != NC_NOERR)
        return failWith(reason, "the variable's values cannot be read");
    if (v.type == NC_FLOAT)
        holes = punchFillHoles<float>(nc, var, v.type, dest, product);
    else if (v.type == NC_DOUBLE)
        holes = punchFillHoles<double>(nc, var, v.type, dest, product);
    if (!convertedFrom.empty()) {
        auto* bytes = static_cast<uint8_t*>(dest);
        for (uint64_t i = 0; i < product; ++i) {
            uint8_t* at = bytes + i * 8;
            double value;
            if (convertedFrom == "int64") {
                int64_t x;
                std::memcpy(&x, at, 8);
                value = double(x);
                if (value >= 0x1p63 || int64_t(value) != x) ++imprecise;
            } else {
                uint64_t x;
                std::memcpy(&x, at, 8);
                value = double(x);
                if (value >= 0x1p64 || uint64_t(value) != x) ++imprecise;
            }
            std::memcpy(at, &value, 8);
        }
    }
    return HdfReadOk;
}

} // namespace
