#include "ArrayFileOpener.h"

#include "BitmapReader.h"
#include "HdfHelper.h"

#include "MappedFile.h"
#include "aglNpy.h"
#include "aglTypes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::MappedFile;

namespace {

bool fail(OpenedArray& out, int code, const std::string& reason) {
    out.error = code;
    out.reason = reason;
    return false;
}

// ---- Signatures ----------------------------------------------------------

bool isAgl(const uint8_t* h, size_t n) {
    if (n < 4) return false;
    const uint32_t magic =
        uint32_t(h[0]) | (uint32_t(h[1]) << 8) | (uint32_t(h[2]) << 16) | (uint32_t(h[3]) << 24);
    return magic == agl::kMagicNormal || magic == agl::kMagicFixed;
}

bool isHdf4(const uint8_t* h, size_t n) {
    return n >= 4 && h[0] == 0x0E && h[1] == 0x03 && h[2] == 0x13 && h[3] == 0x01;
}

bool isHdf5(const uint8_t* h, size_t n) {
    return isHdf5Signature(h, n);
}

bool isNetcdf(const uint8_t* h, size_t n) {
    return isNetcdfClassicSignature(h, n);
}

bool isNumpy(const uint8_t* h, size_t n) {
    return agl::isNpySignature(h, n);
}

bool isBitmap(const uint8_t* h, size_t n) {
    return n >= 4 && h[0] == 'B' && h[1] == 'M';
}

// ---- Readers -----------------------------------------------------------------

// Why a segment could not be opened, from its error code.
std::string aglReason(const std::string& path, int code) {
    switch (code) {
    case AGL_E_OPEN: {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return "the file cannot be opened for reading";
        return "there is no file or shared-memory block of that name";
    }
    case AGL_E_FORMAT:
        return "the agl header is damaged, or the file is shorter than its header says";
    case AGL_E_EXTENT:
        return "an extent or a lower bound in the agl header is out of range";
    case AGL_E_TOO_LARGE:
        return "the array is larger than an array may be";
    case AGL_E_MAPVIEW:
    case AGL_E_MAPPING:
        return "the array cannot be mapped into memory";
    default:
        return "the array cannot be opened";
    }
}

bool readAgl(const std::string& path, const ArrayOpenOptions&, OpenedArray& out) {
    auto array = std::make_unique<aglArray>();
    if (!array->open(path, true)) {
        const int code = array->takeError();
        return fail(out, code ? code : AGL_E_OPEN, aglReason(path, code));
    }
    out.array = std::move(array);
    return true;
}

bool readNumpy(const std::string& path, const ArrayOpenOptions&, OpenedArray& out) {
    MappedFile file(path);
    if (!file.data()) return fail(out, AGL_E_OPEN, "the file cannot be read");
    aglNpyLayout layout;
    std::string reason;
    if (!agl::parseNpyHeader(file.data(), file.size(), layout, reason))
        return fail(out, AGL_E_FORMAT, reason);
    if (file.size() - layout.dataOffset <
        uint64_t(layout.elementCount) * uint64_t(layout.fileElementSize))
        return fail(out, AGL_E_FORMAT, "NumPy file is shorter than its header says");

    if (layout.storage == aglNpyStorage::InPlace) {
        // Mapped in place, as an agl file is: no copy.
        file.close();
        auto array = std::make_unique<aglArray>();
        if (!array->open(path, true)) {
            const int code = array->takeError();
            return fail(out, code ? code : AGL_E_FORMAT, aglReason(path, code));
        }
        out.array = std::move(array);
        return true;
    }

    // No agl element type holds these: a double copy in a new segment.
    const char* from = agl::npyStorageName(layout.storage);
    const int64_t bytes = layout.elementCount * 8;
    if (bytes > agl::kMaxElements)
        return fail(out, AGL_E_TOO_LARGE,
                    std::string("NumPy ") + from +
                        " array is too large for a double copy (more than 2^30 bytes)");
    auto array = std::make_unique<aglArray>();
    array->setLanguage(layout.language);
    if (!array->allocate(bytes) || array->reshape(layout.dims, layout.extents, AGL_DOUBLE) != 0) {
        const int code = array->takeError();
        return fail(out, code ? code : AGL_E_MAPPING, "the array's storage could not be made");
    }
    if (layout.language == AGL_LANG_FORTRAN)
        for (int k = 0; k < layout.dims; ++k)
            array->setLowerBound(k, 1);
    // The plane a mapped file of the same order gets.
    if (layout.dims > 1) {
        const bool fortran = layout.language == AGL_LANG_FORTRAN;
        array->setRowDim(fortran ? 1 : 0);
        array->setColDim(fortran ? 0 : 1);
    }
    const int64_t imprecise = agl::convertNpyToDouble(
        file.data() + layout.dataOffset, layout.storage, layout.elementCount, array->mutableData());
    if (file.torn()) return fail(out, AGL_E_FORMAT, "the file shrank while it was read");
    out.array = std::move(array);
    out.convertedFrom = from;
    out.impreciseValues = imprecise;
    out.note = std::string("a double copy of ") + from + " data";
    if (imprecise > 0)
        out.note += "; " + std::to_string(imprecise) +
                    (imprecise == 1 ? " value beyond 2^53 lost precision"
                                    : " values beyond 2^53 lost precision");
    return true;
}

bool readBitmapFile(const std::string& path, const ArrayOpenOptions&, OpenedArray& out) {
    MappedFile file(path);
    BitmapImage image;
    std::string reason;
    if (!file.data()) return fail(out, AGL_E_OPEN, "the file cannot be read");
    if (!readBitmap(file.data(), file.size(), image, reason))
        return fail(out, AGL_E_FORMAT, reason);
    if (file.torn()) return fail(out, AGL_E_FORMAT, "the file shrank while it was read");

    auto array = std::make_unique<aglArray>();
    array->setLanguage(AGL_LANG_FORTRAN);
    const int64_t count = int64_t(image.width) * image.height;
    const int32_t extents[2] = {image.height, image.width};
    if (!array->allocate(count) || array->reshape(2, extents, AGL_UCHAR) != 0) {
        const int code = array->takeError();
        return fail(out, code ? code : AGL_E_MAPPING, "the array's storage could not be made");
    }
    std::memcpy(array->mutableData(), image.indices.data(), size_t(count));
    array->setLowerBound(0, 1);
    array->setLowerBound(1, 1);
    array->setRowDim(0);
    array->setColDim(1);

    auto palette = std::make_unique<aglSegment>();
    const int32_t paletteExtent = 256;
    if (!palette->create(nullptr, 1, &paletteExtent, AGL_ULONG, AGL_LANG_C)) {
        const int code = palette->takeError();
        return fail(out, code ? code : AGL_E_MAPPING, "the palette's storage could not be made");
    }
    std::memcpy(palette->elements(), image.palette.data(), sizeof image.palette);
    out.array = std::move(array);
    out.palette = std::move(palette);
    out.paletteMaxValue = image.maxValue;
    return true;
}

bool readText(const std::string& path, const ArrayOpenOptions& options, OpenedArray& out) {
    MappedFile file(path);
    if (!file.isOpen()) return fail(out, AGL_E_OPEN, "the file cannot be read");
    if (!file.data()) return fail(out, AGL_E_FORMAT, "the file is empty");
    AsciiReadResult result = readAglAscii(file.chars(), file.size(), options.text);
    if (file.torn()) return fail(out, AGL_E_FORMAT, "the file shrank while it was read");
    if (!result.array) {
        return fail(out, result.error.code ? result.error.code : AGL_E_FORMAT,
                    result.error.detail.empty() ? "no array could be read from the text"
                                                : result.error.detail);
    }
    out.array = std::move(result.array);
    out.warning = result.warning;
    return true;
}

bool readHdf(const std::string& path, const ArrayOpenOptions& options, OpenedArray& out) {
    HdfHelper own;
    HdfHelper& helper = options.hdfHelper ? *options.hdfHelper : own;
    std::string reason;
    if (!helper.list(path, out.hdfObjects, reason, options.hdfWait)) {
        out.hdfObjects.clear();
        out.cancelled = helper.lastCancelled();
        return fail(out, AGL_E_FORMAT, reason.empty() ? "the HDF file cannot be listed" : reason);
    }
    if (options.hdfListOnly) return true;
    CHdfObject* chosen = options.hdfObject.empty()
                             ? hdfDefaultObject(out.hdfObjects)
                             : findHdfObject(out.hdfObjects, options.hdfObject);
    if (!chosen) {
        if (options.hdfObject.empty()) return true; // nothing to show; the list stands
        return fail(out, AGL_E_FORMAT, "no object " + options.hdfObject + " in the file");
    }
    const bool byPlane = options.hdfByPlane && hdfReadsByPlane(*chosen);
    const HdfPlane first =
        byPlane ? hdfFirstPlane(static_cast<const CHdfSds&>(*chosen)) : HdfPlane{};
    chosen->array = helper.makeArray(*chosen, reason, options.hdfWait, byPlane ? &first : nullptr);
    if (byPlane && chosen->array) {
        auto& s = static_cast<CHdfSds&>(*chosen);
        s.byPlane = true;
        s.plane = first;
    }
    if (!chosen->array) {
        // A failed read is not data: the object has no content from now on.
        // A cancelled one says nothing about the object.
        out.cancelled = helper.lastCancelled();
        if (!reason.empty() && !out.cancelled) chosen->hasContent = false;
        out.hdfObject = chosen;
        return fail(out, AGL_E_FORMAT,
                    "object " + chosen->shownName() + ": " +
                        (reason.empty() ? "has no elements to show" : reason));
    }
    out.hdfObject = chosen;
    if (chosen->kind == HdfKindSds) {
        auto& s = static_cast<CHdfSds&>(*chosen);
        s.impreciseValues = helper.lastImpreciseValues();
        out.convertedFrom = s.convertedFrom;
        out.impreciseValues = s.impreciseValues;
        out.note = hdfConversionNote(s);
    }
    if (options.hdfPalette) {
        for (const auto& c : chosen->children) {
            if (c->kind != HdfKindPalette || !c->hasContent) continue;
            c->array = helper.makeArray(*c, reason, options.hdfWait);
            out.cancelled = helper.lastCancelled();
            if (!c->array)
                return fail(out, AGL_E_FORMAT,
                            "the palette of " + chosen->shownName() + ": " + reason);
            break;
        }
    }
    return true;
}

// Bytes that belong to a well-formed UTF-8 sequence starting at p (2 to 4),
// or 0.
size_t utf8Sequence(const uint8_t* p, size_t left) {
    const uint8_t c = p[0];
    const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
    if (n == 0 || n > left) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((p[k] & 0xC0) != 0x80) return 0;
    return n;
}

// The first bytes of path (up to kArraySniffBytes) into head; false when the
// file cannot be read.
bool readHead(const std::string& path, std::vector<uint8_t>& head) {
    MappedFile file(path);
    if (!file.isOpen()) return false;
    const size_t n = file.size() < kArraySniffBytes ? file.size() : kArraySniffBytes;
    head.assign(file.data(), file.data() + n);
    return !file.torn();
}

} // namespace

aglArray* OpenedArray::shown() const {
    if (array) return array.get();
    return hdfObject ? hdfObject->array.get() : nullptr;
}

aglArray* OpenedArray::hdfPaletteArray() const {
    if (!hdfObject) return nullptr;
    for (const auto& c : hdfObject->children)
        if (c->kind == HdfKindPalette && c->array) return c->array.get();
    return nullptr;
}

const std::vector<ArrayFileFormat>& arrayFileFormats() {
    static const std::vector<ArrayFileFormat> formats = {
        {ArrayFormat::Agl, "agl", isAgl, readAgl},
        {ArrayFormat::Hdf, "HDF4", isHdf4, readHdf},
        {ArrayFormat::Hdf5, "HDF5", isHdf5, readHdf},
        {ArrayFormat::Netcdf, "NetCDF", isNetcdf, readHdf},
        {ArrayFormat::Numpy, "NumPy", isNumpy, readNumpy},
        {ArrayFormat::Bitmap, "bitmap", isBitmap, readBitmapFile},
        {ArrayFormat::Text, "agl text", nullptr, readText},
    };
    return formats;
}

const ArrayFileFormat* arrayFileFormat(ArrayFormat id) {
    for (const ArrayFileFormat& f : arrayFileFormats())
        if (f.id == id) return &f;
    return nullptr;
}

bool looksLikeText(const uint8_t* bytes, size_t size) {
    size_t printable = 0;
    for (size_t i = 0; i < size;) {
        const uint8_t c = bytes[i];
        if (c == 0) return false;
        if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
            c == '\v') {
            ++printable;
            ++i;
        } else if (const size_t n = c >= 0x80 ? utf8Sequence(bytes + i, size - i) : 0) {
            printable += n;
            i += n;
        } else {
            ++i;
        }
    }
    return printable * 10 >= size * 9;
}

ArrayFormat detectArrayFormat(const std::string& path, int& error, std::string& reason) {
    error = 0;
    reason.clear();
    // Non-blocking: a named pipe or a device must not hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ArrayFormat::Agl; // perhaps the name of a shared-memory segment
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!statted || !S_ISREG(st.st_mode)) {
        error = AGL_E_OPEN;
        reason = statted && S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file";
        return ArrayFormat::None;
    }
    std::vector<uint8_t> head;
    if (!readHead(path, head)) {
        error = AGL_E_OPEN;
        reason = "the file cannot be read";
        return ArrayFormat::None;
    }
    // Three bytes or less hold no signature: such a file is text.
    if (head.size() <= 3) return ArrayFormat::Text;
    for (const ArrayFileFormat& f : arrayFileFormats())
        if (f.matches && f.matches(head.data(), head.size())) return f.id;
    if (looksLikeText(head.data(), head.size())) return ArrayFormat::Text;
    error = AGL_E_FORMAT;
    reason = "not an array file: it has no agl, HDF4, HDF5, NetCDF, NumPy or bitmap signature, "
             "and it is not text";
    return ArrayFormat::None;
}

OpenedArray openArrayFile(const std::string& path, const ArrayOpenOptions& options) {
    OpenedArray out;
    std::string reason;
    int error = 0;
    const ArrayFormat id = detectArrayFormat(path, error, reason);
    const ArrayFileFormat* format = arrayFileFormat(id);
    if (!format) {
        out.error = error ? error : AGL_E_FORMAT;
        out.reason = reason;
        return out;
    }
    out.format = id;
    if (format->read(path, options, out)) return out;
    // "BM" is also how a text file may begin ("BM readings"): a file that is
    // no bitmap but is text is read as text. No other signature can begin a
    // text file (each holds a control character or a NUL byte).
    std::vector<uint8_t> head;
    if (id == ArrayFormat::Bitmap && readHead(path, head) &&
        looksLikeText(head.data(), head.size())) {
        OpenedArray text;
        text.format = ArrayFormat::Text;
        readText(path, options, text);
        return text;
    }
    return out;
}

// ---- HDF objects ---------------------------------------------------------------

namespace {

void collect(const CHdfObject& o, int level, std::vector<HdfTreeEntry>& out) {
    out.push_back({&o, level});
    for (const auto& c : o.children)
        if (!c->hidden) collect(*c, level + 1, out);
}

} // namespace

std::vector<HdfTreeEntry> hdfTreeOrder(const HdfObjectList& objects) {
    std::vector<HdfTreeEntry> out;
    for (const auto& o : objects)
        if ((o->hasContent || !o->refusal.empty()) && !o->hidden) collect(*o, 0, out);
    return out;
}

CHdfObject* findHdfObject(const HdfObjectList& objects, const std::string& which) {
    const std::vector<HdfTreeEntry> entries = hdfTreeOrder(objects);
    const CHdfObject* chosen = nullptr;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(which.c_str(), &end, 10);
    if (!which.empty() && *end == '\0' && errno == 0) {
        if (n >= 0 && size_t(n) < entries.size()) chosen = entries[size_t(n)].object;
    } else {
        for (const HdfTreeEntry& e : entries)
            if (!chosen && e.object->shownName() == which) chosen = e.object;
    }
    // The list owns its objects; the tree order only looks at them.
    return const_cast<CHdfObject*>(chosen);
}

namespace {

// The first data set of an HDF5 group's members that can be shown, depth
// first, members in their listed order.
CHdfObject* firstDataSetInGroups(const HdfObjectList& objects) {
    for (const auto& o : objects) {
        if (o->kind == HdfKindSds) {
            const auto& s = static_cast<const CHdfSds&>(*o);
            if (!s.coordinateVariable && hdfCanShow(s)) return o.get();
        } else if (o->kind == HdfKindGroup) {
            if (CHdfObject* inner = firstDataSetInGroups(o->children)) return inner;
        }
    }
    return nullptr;
}

} // namespace

CHdfObject* hdfDefaultObject(const HdfObjectList& objects, int* dataSets) {
    CHdfObject* chosen = nullptr;
    int count = 0;
    for (const auto& o : objects) {
        if (o->kind != HdfKindSds) continue;
        ++count;
        const auto& s = static_cast<const CHdfSds&>(*o);
        if (!chosen && !s.coordinateVariable && hdfCanShow(s)) chosen = o.get();
    }
    // An HDF5 file whose data sets all sit in groups shows the first of them.
    if (!chosen) chosen = firstDataSetInGroups(objects);
    for (const auto& o : objects)
        if (!chosen && o->kind == HdfKindRaster && o->hasContent && !o->hidden) chosen = o.get();
    if (dataSets) *dataSets = count;
    return chosen;
}
