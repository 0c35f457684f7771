#include "Hdf5FileReader.h"
#include "ElementHoles.h"

#include <hdf5.h>
#include <hdf5_hl.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/sendfile.h>
#include <unistd.h>
#include <vector>

namespace {

using element_holes::elementAt;
using element_holes::punchHoles;
using element_holes::setElement;

// Attribute values larger than this are listed empty.
constexpr int64_t kMaxTextBytes = 1 << 20;
// Groups nested deeper than this are listed without their members; the
// object list's own nesting limit leaves room for a data set's children.
constexpr int kMaxGroupDepth = 16;
// More objects than this in one file are not listed.
constexpr size_t kMaxListed = 200000;

// One owner per kind of library handle; each closes its handle once.
template <herr_t (*Close)(hid_t)> class Id {
public:
    explicit Id(hid_t id = H5I_INVALID_HID) : m_id(id) {}
    ~Id() {
        if (m_id >= 0) Close(m_id);
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    hid_t get() const { return m_id; }
    explicit operator bool() const { return m_id >= 0; }

private:
    hid_t m_id;
};

using File = Id<H5Fclose>;
using Group = Id<H5Gclose>;
using DataSet = Id<H5Dclose>;
using Attribute = Id<H5Aclose>;
using Type = Id<H5Tclose>;
using Space = Id<H5Sclose>;
using PropertyList = Id<H5Pclose>;

// The library prints its error stack to standard error by default; the
// helper reports one line of its own instead.
void silenceLibrary() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

// Opens path for reading without the library's file lock. The lock would
// keep the program that writes the file (a model adding time steps, ncgen,
// h5py) from opening it again while a plane session holds it open, and the
// viewer wants no protection from writers: it reloads what they write.
hid_t openReadOnly(const std::string& path) {
    PropertyList access(H5Pcreate(H5P_FILE_ACCESS));
    if (!access) return -1;
#if H5_VERSION_GE(1, 10, 7)
    H5Pset_file_locking(access.get(), false, true);
#endif
    return H5Fopen(path.c_str(), H5F_ACC_RDONLY, access.get());
}

// Attributes the dimension-scale and NetCDF-4 conventions keep for their
// own bookkeeping: references and ids, not anything a user wrote.
bool isInternalAttribute(const std::string& name) {
    static const char* const names[] = {
        "DIMENSION_LIST", "REFERENCE_LIST",      "CLASS",       "NAME",
        "_Netcdf4Dimid",  "_Netcdf4Coordinates", "_nc3_strict", "_NCProperties",
        "_IsNetcdf4",     "_SuperblockVersion"};
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

// The element type a data set of this file type becomes, with the reason
// when there is none. convertedFrom is set for 64-bit integers.
int elementTypeOf(hid_t type, std::string& convertedFrom, std::string& refusal) {
    const H5T_class_t cls = H5Tget_class(type);
    const size_t size = H5Tget_size(type);
    switch (cls) {
    case H5T_INTEGER: {
        const bool isSigned = H5Tget_sign(type) == H5T_SGN_2;
        switch (size) {
        case 1:
            return isSigned ? AGL_CHAR : AGL_UCHAR;
        case 2:
            return isSigned ? AGL_SHORT : AGL_USHORT;
        case 4:
            return isSigned ? AGL_LONG : AGL_ULONG;
        case 8:
            convertedFrom = isSigned ? "int64" : "uint64";
            return AGL_DOUBLE;
        default:
            refusal = std::to_string(size * 8) + "-bit integer data sets cannot be shown";
            return 0;
        }
    }
    case H5T_FLOAT:
        if (size == 4) return AGL_FLOAT;
        if (size == 8) return AGL_DOUBLE;
        refusal = std::to_string(size * 8) + "-bit floating-point data sets cannot be shown";
        return 0;
    case H5T_STRING:
        refusal = "string data sets cannot be shown";
        return 0;
    case H5T_COMPOUND:
        refusal = "compound data sets cannot be shown";
        return 0;
    case H5T_VLEN:
        refusal = "variable-length data sets cannot be shown";
        return 0;
    case H5T_ENUM:
        refusal = "enumeration data sets cannot be shown";
        return 0;
    case H5T_ARRAY:
        refusal = "data sets of array elements cannot be shown";
        return 0;
    case H5T_OPAQUE:
        refusal = "opaque data sets cannot be shown";
        return 0;
    case H5T_BITFIELD:
        refusal = "bit-field data sets cannot be shown";
        return 0;
    case H5T_REFERENCE:
        refusal = "reference data sets cannot be shown";
        return 0;
    default:
        refusal = "data sets of this element type cannot be shown";
        return 0;
    }
}

hid_t memoryType(int type, const std::string& convertedFrom) {
    if (convertedFrom == "int64") return H5T_NATIVE_INT64;
    if (convertedFrom == "uint64") return H5T_NATIVE_UINT64;
    switch (type) {
    case AGL_UCHAR:
        return H5T_NATIVE_UCHAR;
    case AGL_CHAR:
        return H5T_NATIVE_SCHAR;
    case AGL_USHORT:
        return H5T_NATIVE_USHORT;
    case AGL_SHORT:
        return H5T_NATIVE_SHORT;
    case AGL_ULONG:
        return H5T_NATIVE_UINT32;
    case AGL_LONG:
        return H5T_NATIVE_INT32;
    case AGL_FLOAT:
        return H5T_NATIVE_FLOAT;
    default:
        return H5T_NATIVE_DOUBLE;
    }
}

// The shortest of the given precisions that reads back as the same value.
template <typename T> std::string shortest(T value, int from, int to) {
    char buf[64];
    for (int p = from; p <= to; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, double(value));
        if (T(std::strtod(buf, nullptr)) == value || std::isnan(double(value))) break;
    }
    return buf;
}

// An attribute's values as text, one per line; strings as they are.
std::string attributeText(hid_t attribute, int32_t& count) {
    count = 0;
    Type type(H5Aget_type(attribute));
    Space space(H5Aget_space(attribute));
    if (!type || !space) return {};
    const hssize_t points = H5Sget_simple_extent_npoints(space.get());
    if (points <= 0 || points > kMaxTextBytes) return {};
    count = int32_t(points);
    const auto n = size_t(points);
    const size_t size = H5Tget_size(type.get());
    std::string out;
    switch (H5Tget_class(type.get())) {
    case H5T_INTEGER: {
        const bool isSigned = H5Tget_sign(type.get()) == H5T_SGN_2;
        std::vector<int64_t> values(n);
        if (H5Aread(attribute, isSigned ? H5T_NATIVE_INT64 : H5T_NATIVE_UINT64, values.data()) < 0)
            return {};
        char buf[32];
        for (int64_t v : values) {
            if (isSigned)
                std::snprintf(buf, sizeof buf, "%" PRId64 "\n", v);
            else
                std::snprintf(buf, sizeof buf, "%" PRIu64 "\n", uint64_t(v));
            out += buf;
        }
        return out;
    }
    case H5T_FLOAT: {
        std::vector<double> values(n);
        if (H5Aread(attribute, H5T_NATIVE_DOUBLE, values.data()) < 0) return {};
        for (double v : values)
            out += (size <= 4 ? shortest(float(v), 6, 9) : shortest(v, 15, 17)) + "\n";
        return out;
    }
    case H5T_STRING: {
        if (H5Tis_variable_str(type.get()) > 0) {
            // The library converts no strings between character sets.
            Type memory(H5Tcopy(H5T_C_S1));
            H5Tset_size(memory.get(), H5T_VARIABLE);
            H5Tset_cset(memory.get(), H5Tget_cset(type.get()));
            std::vector<char*> strings(n, nullptr);
            if (H5Aread(attribute, memory.get(), strings.data()) < 0) return {};
            for (size_t i = 0; i < n; ++i) {
                if (i) out += '\n';
                if (strings[i]) out.append(strings[i], strnlen(strings[i], size_t(kMaxTextBytes)));
            }
            H5Dvlen_reclaim(memory.get(), space.get(), H5P_DEFAULT, strings.data());
            return out;
        }
        if (size == 0 || int64_t(size) * points > kMaxTextBytes) return {};
        Type memory(H5Tcopy(type.get()));
        H5Tset_cset(memory.get(), H5Tget_cset(type.get()));
        std::vector<char> bytes(size * n, '\0');
        if (H5Aread(attribute, memory.get(), bytes.data()) < 0) return {};
        for (size_t i = 0; i < n; ++i) {
            if (i) out += '\n';
            const char* s = bytes.data() + i * size;
            std::string value(s, strnlen(s, size));
            // Space-padded strings (Fortran's) end at their last non-space.
            if (H5Tget_strpad(type.get()) == H5T_STR_SPACEPAD)
                value.erase(value.find_last_not_of(' ') + 1);
            out += value;
        }
        return out;
    }
    default:
        return "(values of this type are not shown)";
    }
}

std::unique_ptr<CHdfAttribute> makeAttribute(hid_t attribute, int32_t index,
                                             const std::string& name) {
    auto a = std::make_unique<CHdfAttribute>();
    a->index = index;
    a->name = name;
    a->displayName = name;
    a->text = attributeText(attribute, a->count);
    a->hasContent = true;
    return a;
}

// The text of an object's attribute name, or empty.
std::string stringAttribute(hid_t object, const char* name) {
    if (H5Aexists(object, name) <= 0) return {};
    Attribute a(H5Aopen(object, name, H5P_DEFAULT));
    if (!a) return {};
    int32_t count = 0;
    return attributeText(a.get(), count);
}

std::string filterRefusal(hid_t dataSet) {
    PropertyList create(H5Dget_create_plist(dataSet));
    if (!create) return {};
    const int filters = H5Pget_nfilters(create.get());
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0, config = 0;
        size_t values = 0;
        char name[256] = {};
        const H5Z_filter_t filter = H5Pget_filter2(create.get(), unsigned(i), &flags, &values,
                                                   nullptr, sizeof name, name, &config);
        if (filter < 0) return "its filters cannot be read";
        if (H5Zfilter_avail(filter) <= 0) {
            name[sizeof name - 1] = '\0';
            return std::string("it is compressed with filter ") + std::to_string(filter) +
                   (name[0] ? std::string(" (") + name + ")" : std::string()) +
                   ", which this program cannot read";
        }
    }
    return {};
}

// The path of an open object, or empty.
std::string pathOf(hid_t object) {
    const ssize_t length = H5Iget_name(object, nullptr, 0);
    if (length <= 0 || length > 65536) return {};
    std::string path(size_t(length) + 1, '\0');
    H5Iget_name(object, path.data(), path.size());
    path.resize(size_t(length));
    return path;
}

std::string lastPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Lister {
public:
    explicit Lister(const std::string& path) : m_path(path) {}

    HdfReadStatus run(HdfObjectList& out, std::string& reason) {
        File file(openReadOnly(m_path));
        if (!file) {
            reason = "Couldn't read file!";
            return HdfReadCannotOpen;
        }
        Group root(H5Gopen2(file.get(), "/", H5P_DEFAULT));
        if (!root) {
            reason = "Couldn't read file!";
            return HdfReadCannotOpen;
        }
        listAttributes(root.get(), out);
        listMembers(root.get(), "/", 0, out);
        if (m_dataSets == 0) {
            reason = "No viewable objects in file!";
            return HdfReadNothing;
        }
        return HdfReadOk;
    }

private:
    void listAttributes(hid_t object, HdfObjectList& out) {
        H5O_info_t info{};
        if (H5Oget_info2(object, &info, H5O_INFO_NUM_ATTRS) < 0) return;
        for (hsize_t i = 0; i < info.num_attrs && m_listed < kMaxListed; ++i) {
            Attribute a(H5Aopen_by_idx(object, ".", H5_INDEX_NAME, H5_ITER_INC, i, H5P_DEFAULT,
                                       H5P_DEFAULT));
            if (!a) continue;
            const ssize_t length = H5Aget_name(a.get(), 0, nullptr);
            if (length <= 0 || length > 4096) continue;
            std::string name(size_t(length) + 1, '\0');
            H5Aget_name(a.get(), name.size(), name.data());
            name.resize(size_t(length));
            if (isInternalAttribute(name)) continue;
            auto attribute = makeAttribute(a.get(), int32_t(i), name);
            attribute->filePath = m_path;
            out.push_back(std::move(attribute));
            ++m_listed;
        }
    }

    void listMembers(hid_t group, const std::string& groupPath, int depth, HdfObjectList& out) {
        H5G_info_t info{};
        if (H5Gget_info(group, &info) < 0) return;
        for (hsize_t i = 0; i < info.nlinks && m_listed < kMaxListed; ++i) {
            const ssize_t length = H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i,
                                                      nullptr, 0, H5P_DEFAULT);
            if (length <= 0 || length > 4096) continue;
            std::string name(size_t(length) + 1, '\0');
            H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, name.data(), name.size(),
                               H5P_DEFAULT);
            name.resize(size_t(length));
            H5L_info_t link{};
            if (H5Lget_info(group, name.c_str(), &link, H5P_DEFAULT) < 0 ||
                link.type != H5L_TYPE_HARD)
                continue;
            H5O_info_t object{};
            if (H5Oget_info_by_name2(group, name.c_str(), &object, H5O_INFO_BASIC, H5P_DEFAULT) < 0)
                continue;
            const std::string location = groupPath + name;
            if (object.type == H5O_TYPE_GROUP) {
                // A group reached twice (a second hard link, perhaps to an
                // ancestor) is listed once.
                if (!m_visited.insert(object.addr).second) continue;
                Group member(H5Gopen2(group, name.c_str(), H5P_DEFAULT));
                if (!member) continue;
                auto g = std::make_unique<CHdfObject>(HdfKindGroup);
                g->displayName = name;
                g->location = location;
                g->filePath = m_path;
                g->hasContent = true;
                ++m_listed;
                HdfObjectList inner;
                listAttributes(member.get(), inner);
                if (depth + 1 < kMaxGroupDepth)
                    listMembers(member.get(), location + "/", depth + 1, inner);
                for (auto& o : inner)
                    g->addChild(std::move(o));
                out.push_back(std::move(g));
            } else if (object.type == H5O_TYPE_DATASET) {
                DataSet member(H5Dopen2(group, name.c_str(), H5P_DEFAULT));
                if (!member) continue;
                if (auto s = loadDataSet(member.get(), name, location, true)) {
                    ++m_dataSets;
                    out.push_back(std::move(s));
                }
            }
        }
    }

    std::unique_ptr<CHdfSds> loadDataSet(hid_t dataSet, const std::string& name,
                                         const std::string& location, bool withScales) {
        ++m_listed;
        auto s = std::make_unique<CHdfSds>();
        s->displayName = name;
        s->location = location;
        s->filePath = m_path;
        Type type(H5Dget_type(dataSet));
        Space space(H5Dget_space(dataSet));
        if (!type || !space) return nullptr;
        const int rank = H5Sget_simple_extent_ndims(space.get());
        if (rank < 0 || rank > H5S_MAX_RANK) return nullptr;
        hsize_t dims[H5S_MAX_RANK] = {};
        H5Sget_simple_extent_dims(space.get(), dims, nullptr);
        s->rank = rank;
        bool tooLong = false;
        for (int d = 0; d < rank; ++d) {
            tooLong = tooLong || dims[d] > hsize_t(INT32_MAX);
            s->extents.push_back(int32_t(std::min<hsize_t>(dims[d], INT32_MAX)));
        }
        std::string refusal;
        const int element = elementTypeOf(type.get(), s->convertedFrom, refusal);
        if (refusal.empty() && rank > agl::kMaxDims)
            refusal = "data sets of more than 7 dimensions cannot be shown";
        if (refusal.empty() && tooLong) refusal = "an extent beyond 2^31 - 1 cannot be shown";
        if (refusal.empty()) refusal = filterRefusal(dataSet);
        if (refusal.empty() && element != 0) {
            s->typeCode = element;
            s->elementSize = agl::typeInfo(element).size;
            // A scalar is listed, as a single-element data set is, but
            // has nothing to show.
            s->hasContent = true;
        } else {
            s->convertedFrom.clear();
            s->refusal = refusal;
        }
        if (H5DSis_scale(dataSet) > 0) {
            // A dimension scale is shown with the data sets it scales.
            s->coordinateVariable = true;
            s->hidden = true;
        }
        if (withScales && !s->coordinateVariable && s->hasContent) attachScales(dataSet, *s, dims);
        HdfObjectList attributes;
        listAttributes(dataSet, attributes);
        for (auto& a : attributes)
            s->addChild(std::move(a));
        return s;
    }

    struct ScaleVisit {
        Lister* lister;
        CHdfSds* owner;
        unsigned dim;
        hsize_t length;
        bool found = false;
    };

    static herr_t visitScale(hid_t, unsigned, hid_t scale, void* data) {
        auto* v = static_cast<ScaleVisit*>(data);
        const std::string location = pathOf(scale);
        // A NetCDF-4 dimension without a variable of its name is a scale
        // of zeros that only stands for the dimension.
        const std::string name = stringAttribute(scale, "NAME");
        if (location.empty() ||
            name.rfind("This is a netCDF dimension but not a netCDF variable", 0) == 0)
            return 0;
        auto child = v->lister->loadDataSet(scale, lastPart(location), location, false);
        if (!child || !child->hasContent || child->rank != 1 ||
            hsize_t(child->extents[0]) != v->length)
            return 0;
        child->hidden = false;
        child->coordinateVariable = true;
        child->scaleOfDimension = int32_t(v->dim);
        v->owner->addChild(std::move(child));
        v->found = true;
        return 1; // the first fitting scale of a dimension is its axis scale
    }

    void attachScales(hid_t dataSet, CHdfSds& s, const hsize_t* dims) {
        for (int d = 0; d < s.rank && d < agl::kMaxDims; ++d) {
            if (H5DSget_num_scales(dataSet, unsigned(d)) <= 0) continue;
            ScaleVisit visit{this, &s, unsigned(d), dims[d]};
            H5DSiterate_scales(dataSet, unsigned(d), nullptr, visitScale, &visit);
        }
    }

    std::string m_path;
    std::set<haddr_t> m_visited;
    size_t m_listed = 0;
    int m_dataSets = 0;
};

HdfReadStatus failWith(std::string& reason, const char* why) {
    reason = why;
    return HdfReadFailed;
}

// The values of the NetCDF attributes _FillValue and missing_value that a
// data set carries (NetCDF-4 files keep them as HDF5 attributes).
std::vector<double> holeMarks(hid_t dataSet) {
    std::vector<double> marks;
    for (const char* name : {"_FillValue", "missing_value"}) {
        if (H5Aexists(dataSet, name) <= 0) continue;
        Attribute a(H5Aopen(dataSet, name, H5P_DEFAULT));
        Type type(a ? H5Aget_type(a.get()) : H5I_INVALID_HID);
        Space space(a ? H5Aget_space(a.get()) : H5I_INVALID_HID);
        if (!type || !space) continue;
        const H5T_class_t cls = H5Tget_class(type.get());
        const hssize_t n = H5Sget_simple_extent_npoints(space.get());
        if ((cls != H5T_FLOAT && cls != H5T_INTEGER) || n < 1 || n > 16) continue;
        std::vector<double> values(static_cast<size_t>(n));
        if (H5Aread(a.get(), H5T_NATIVE_DOUBLE, values.data()) >= 0)
            marks.insert(marks.end(), values.begin(), values.end());
    }
    return marks;
}

// The first value of a numeric attribute, or otherwise.
double numberAttribute(hid_t object, const char* name, double otherwise) {
    if (H5Aexists(object, name) <= 0) return otherwise;
    Attribute a(H5Aopen(object, name, H5P_DEFAULT));
    Type type(a ? H5Aget_type(a.get()) : H5I_INVALID_HID);
    Space space(a ? H5Aget_space(a.get()) : H5I_INVALID_HID);
    if (!type || !space || H5Sget_simple_extent_npoints(space.get()) != 1) return otherwise;
    const H5T_class_t cls = H5Tget_class(type.get());
    double value = otherwise;
    if ((cls != H5T_FLOAT && cls != H5T_INTEGER) ||
        H5Aread(a.get(), H5T_NATIVE_DOUBLE, &value) < 0 || !std::isfinite(value))
        return otherwise;
    return value;
}

} // namespace

HdfReadStatus hdf5ListFile(const std::string& path, HdfObjectList& objects, std::string& reason) {
    silenceLibrary();
    objects.clear();
    Lister lister(path);
    const HdfReadStatus status = lister.run(objects, reason);
    if (status != HdfReadOk) objects.clear();
    return status;
}

namespace {

// Where a part read lies in the destination's file (Hdf5DataSetReader::
// setDestinationFile), what runs before the part is written through dest,
// and whether it was copied file to file instead.
struct Destination {
    int fd = -1;
    int64_t offset = 0;
    const std::function<void()>* beforeWrites = nullptr;
    bool copied = false;
};

// Whether the part of a data set of extents fileDims from first, of count,
// is one run of its elements in storage order (every dimension before the
// first one of more than one index at one index, every one after it whole);
// at receives the run's first element.
bool isOneRun(int dims, const hsize_t* first, const hsize_t* count, const hsize_t* fileDims,
              uint64_t& at) {
    int k = 0;
    while (k < dims - 1 && count[k] == 1)
        ++k;
    for (int d = k + 1; d < dims; ++d)
        if (first[d] != 0 || count[d] != fileDims[d]) return false;
    at = 0;
    for (int d = 0; d < dims; ++d)
        at = at * fileDims[d] + first[d];
    return true;
}

// Copies bytes bytes of the library's file of dataSet from offset from into
// fd at offset to, file to file (sendfile). False when the file is not one
// the library reads through a plain descriptor, or the copy stops short.
bool copyRun(hid_t dataSet, uint64_t from, int fd, int64_t to, uint64_t bytes) {
    File file(H5Iget_file_id(dataSet));
    if (!file) return false;
    PropertyList access(H5Fget_access_plist(file.get()));
    if (!access || H5Pget_driver(access.get()) != H5FD_SEC2) return false;
    void* handle = nullptr;
    if (H5Fget_vfd_handle(file.get(), H5P_DEFAULT, &handle) < 0 || !handle) return false;
    const int in = *static_cast<const int*>(handle);
    if (::lseek(fd, off_t(to), SEEK_SET) != off_t(to)) return false;
    off_t at = off_t(from);
    while (bytes > 0) {
        const ssize_t n = ::sendfile(fd, in, &at, size_t(std::min<uint64_t>(bytes, 1u << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes -= uint64_t(n);
    }
    return true;
}

// Copies the part (one run: isOneRun) of a contiguous data set stored in
// the memory type memType into the destination's file, when it can; then
// reads its first and last element through the library to be sure the
// bytes copied are the data set's (else the part is read again).
bool copyPart(hid_t dataSet, hid_t fileType, hid_t memType, int dims, const hsize_t* first,
              const hsize_t* count, const hsize_t* fileDims, size_t elementSize, void* dest,
              uint64_t byteCount, const Destination& to) {
    uint64_t run = 0;
    if (to.fd < 0 || !isOneRun(dims, first, count, fileDims, run) ||
        H5Tequal(fileType, memType) <= 0 || H5Tget_size(memType) != elementSize)
        return false;
    PropertyList create(H5Dget_create_plist(dataSet));
    if (!create || H5Pget_layout(create.get()) != H5D_CONTIGUOUS ||
        H5Pget_external_count(create.get()) != 0)
        return false;
    const haddr_t address = H5Dget_offset(dataSet);
    if (address == HADDR_UNDEF ||
        !copyRun(dataSet, uint64_t(address) + run * elementSize, to.fd, to.offset, byteCount))
        return false;
    Space space(H5Dget_space(dataSet));
    const hsize_t one[agl::kMaxDims] = {1, 1, 1, 1, 1, 1, 1};
    Space single(H5Screate_simple(dims, one, nullptr));
    const uint64_t elements = byteCount / elementSize;
    for (const uint64_t i : {uint64_t(0), elements - 1}) {
        hsize_t at[agl::kMaxDims] = {};
        uint64_t rest = i;
        for (int d = dims - 1; d >= 0; --d) {
            at[d] = first[d] + rest % count[d];
            rest /= count[d];
        }
        uint8_t value[16] = {};
        if (!space || !single ||
            H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, at, nullptr, one, nullptr) < 0 ||
            H5Dread(dataSet, memType, single.get(), space.get(), H5P_DEFAULT, value) < 0 ||
            std::memcmp(value, static_cast<const uint8_t*>(dest) + i * elementSize, elementSize) !=
                0)
            return false;
    }
    return true;
}

// Reads the part of dataSet that starts at start (the whole data set when
// start is null) with dims extents into dest; see hdf5ReadDataSet.
HdfReadStatus readPart(hid_t dataSet, int dims, const int32_t* start, const int32_t* extents,
                       int type, bool unpack, void* dest, uint64_t byteCount, int64_t& imprecise,
                       std::string& reason, Destination& to) {
    imprecise = 0;
    to.copied = false;
    if (!dest || dims < 1 || dims > agl::kMaxDims) return failWith(reason, "bad destination");
    Type fileType(H5Dget_type(dataSet));
    Space space(H5Dget_space(dataSet));
    if (!fileType || !space) return failWith(reason, "the data set's description cannot be read");
    std::string convertedFrom, refusal;
    const int element = elementTypeOf(fileType.get(), convertedFrom, refusal);
    hsize_t fileDims[H5S_MAX_RANK] = {};
    const int rank = H5Sget_simple_extent_ndims(space.get());
    if (rank != dims || element == 0 || (unpack ? AGL_DOUBLE : element) != type ||
        H5Sget_simple_extent_dims(space.get(), fileDims, nullptr) < 0)
        return failWith(reason, "the data set does not match its listing");
    uint64_t product = 1;
    hsize_t first[agl::kMaxDims] = {}, count[agl::kMaxDims] = {};
    for (int d = 0; d < dims; ++d) {
        const int64_t from = start ? start[d] : 0;
        if (extents[d] <= 0 || from < 0 ||
            (start ? hsize_t(from) + hsize_t(extents[d]) > fileDims[d]
                   : fileDims[d] != hsize_t(extents[d])))
            return failWith(reason, "the data set does not match its listing");
        first[d] = hsize_t(from);
        count[d] = hsize_t(extents[d]);
        product *= uint64_t(extents[d]);
        if (product > uint64_t(agl::kMaxElements))
            return failWith(reason, "the data set does not match its listing");
    }
    if (product * uint64_t(agl::typeInfo(type).size) != byteCount)
        return failWith(reason, "the data set does not match its listing");
    if (unpack) convertedFrom.clear(); // the library converts to doubles itself
    // A part is a hyperslab of the file's space, read into a memory space of
    // the part's own shape: only the chunks it touches are read.
    Space memory(start ? H5Screate_simple(dims, count, nullptr) : H5I_INVALID_HID);
    if (start && (!memory || H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, first, nullptr, count,
                                                 nullptr) < 0))
        return failWith(reason, "the data set's part cannot be selected");
    const hid_t memType = memoryType(type, convertedFrom);
    to.copied = !unpack && convertedFrom.empty() &&
                copyPart(dataSet, fileType.get(), memType, dims, first, count, fileDims,
                         size_t(agl::typeInfo(type).size), dest, byteCount, to);
    if (!to.copied) {
        if (to.beforeWrites && *to.beforeWrites) (*to.beforeWrites)();
        if (H5Dread(dataSet, memType, start ? memory.get() : H5S_ALL, start ? space.get() : H5S_ALL,
                    H5P_DEFAULT, dest) < 0)
            return failWith(reason, "the data set's elements cannot be read");
    }
    if (unpack) {
        void* values = dest;
        punchHoles<double>(values, product, holeMarks(dataSet));
        const double scale = numberAttribute(dataSet, "scale_factor", 1.0);
        const double offset = numberAttribute(dataSet, "add_offset", 0.0);
        for (uint64_t i = 0; i < product; ++i)
            setElement(values, i, elementAt<double>(values, i) * scale + offset); // NaN stays
        return HdfReadOk;
    }
    if (type == AGL_FLOAT || (type == AGL_DOUBLE && convertedFrom.empty())) {
        const std::vector<double> marks = holeMarks(dataSet);
        if (type == AGL_FLOAT)
            punchHoles<float>(dest, product, marks);
        else
            punchHoles<double>(dest, product, marks);
    }
    if (!convertedFrom.empty()) {
        // 64-bit integers into doubles of the same size, in place.
        auto* bytes = static_cast<uint8_t*>(dest);
        const bool isSigned = convertedFrom == "int64";
        for (uint64_t i = 0; i < product; ++i) {
            uint8_t* at = bytes + i * 8;
            double value;
            if (isSigned) {
                int64_t v;
                std::memcpy(&v, at, 8);
                value = double(v);
                if (value >= 0x1p63 || int64_t(value) != v) ++imprecise;
            } else {
                uint64_t v;
                std::memcpy(&v, at, 8);
                value = double(v);
                if (value >= 0x1p64 || uint64_t(value) != v) ++imprecise;
            }
            std::memcpy(at, &value, 8);
        }
    }
    return HdfReadOk;
}

} // namespace

Hdf5DataSetReader::~Hdf5DataSetReader() {
    close();
}

void Hdf5DataSetReader::close() {
    if (m_set >= 0) H5Dclose(m_set);
    if (m_file >= 0) H5Fclose(m_file);
    m_set = m_file = -1;
}

HdfReadStatus Hdf5DataSetReader::open(const std::string& path, const std::string& location,
                                      std::string& reason) {
    silenceLibrary();
    close();
    if (location.empty() || location[0] != '/') return failWith(reason, "bad destination");
    m_file = openReadOnly(path);
    if (m_file < 0) return failWith(reason, "Couldn't read file!");
    m_set = H5Dopen2(m_file, location.c_str(), H5P_DEFAULT);
    if (m_set < 0) {
        close();
        return failWith(reason, "no such data set");
    }
    return HdfReadOk;
}

HdfReadStatus Hdf5DataSetReader::read(int dims, const int32_t* start, const int32_t* extents,
                                      int type, bool unpack, void* dest, uint64_t byteCount,
                                      int64_t& imprecise, std::string& reason) {
    imprecise = 0;
    if (m_set < 0) return failWith(reason, "no such data set");
    Destination to;
    to.fd = m_destFd;
    to.offset = m_destOffset;
    to.beforeWrites = &m_beforeWrites;
    const HdfReadStatus status =
        readPart(m_set, dims, start, extents, type, unpack, dest, byteCount, imprecise, reason, to);
    m_copied = status == HdfReadOk && to.copied;
    return status;
}

HdfReadStatus hdf5ReadDataSet(const std::string& path, const std::string& location, int dims,
                              const int32_t* extents, int type, bool unpack, void* dest,
                              uint64_t byteCount, int64_t& imprecise, std::string& reason,
                              const int32_t* start) {
    imprecise = 0;
    Hdf5DataSetReader reader;
    const HdfReadStatus opened = reader.open(path, location, reason);
    if (opened != HdfReadOk) return opened;
    return reader.read(dims, start, extents, type, unpack, dest, byteCount, imprecise, reason);
}
