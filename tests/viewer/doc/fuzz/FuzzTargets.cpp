#include "FuzzTargets.h"

#include "AglAsciiFormat.h"
#include "AglBinaryFormat.h"
#include "ArrayFileOpener.h"
#include "BitmapReader.h"
#include "ClipboardFormat.h"
#include "HdfObjects.h"

#include "aglNpy.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Stays on in every build: a broken invariant is a finding.
void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Reads every byte of a range, so a range that is not really there faults
// under the address sanitizer.
volatile uint8_t g_sink;
void touch(const void* p, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i)
        x ^= static_cast<const uint8_t*>(p)[i];
    g_sink = x;
}

void touchSegment(const aglSegment& s) {
    for (int i = 0; i < s.dimCount(); ++i) {
        check(s.extent(i) >= 1, "extent of a valid segment");
        (void)s.lowerBound(i);
    }
    touch(s.base(), size_t(s.neededSize()));
}

bool sameElements(const aglArray& a, const aglArray& b) {
    if (a.typeCode() != b.typeCode() || a.elementCount() != b.elementCount()) return false;
    const auto* p = static_cast<const uint8_t*>(a.data());
    const auto* q = static_cast<const uint8_t*>(b.data());
    const int size = a.elementSize();
    for (int64_t i = 0; i < a.elementCount(); ++i) {
        if (std::memcmp(p + i * size, q + i * size, size_t(size)) == 0) continue;
        // NaNs keep their sign but not their payload.
        if (a.typeCode() == AGL_FLOAT) {
            float x, y;
            std::memcpy(&x, p + i * size, 4);
            std::memcpy(&y, q + i * size, 4);
            if (std::isnan(x) && std::isnan(y)) continue;
        } else if (a.typeCode() == AGL_DOUBLE) {
            double x, y;
            std::memcpy(&x, p + i * size, 8);
            std::memcpy(&y, q + i * size, 8);
            if (std::isnan(x) && std::isnan(y)) continue;
        }
        return false;
    }
    return true;
}

} // namespace

int fuzzSegmentHeader(const uint8_t* data, size_t size) {
    aglSegment s;
    if (s.viewInPlace(data, size)) {
        check(s.neededSize() <= size, "a view claims more bytes than it was given");
        touchSegment(s);
    } else {
        check(s.peekError() != 0, "a failed view without an error code");
    }
    return 0;
}

int fuzzAglTrailer(const uint8_t* data, size_t size) {
    // The input is a whole file when its head is a valid segment image, else
    // the trailer alone.
    const uint8_t* trailer = data;
    uint64_t length = size;
    {
        aglSegment head;
        if (head.viewInPlace(data, size)) {
            trailer = data + head.neededSize();
            length = size - head.neededSize();
        }
    }
    AglTrailerView view;
    const bool present = parseAglTrailer(trailer, length, aglAttributes::blank(), view);
    if (!present) return 0;
    touch(view.annotation.data(), view.annotation.size());
    if (view.palette) touch(view.palette, 1024);
    AglTrailerParts parts;
    parts.attributes = view.attributes;
    parts.annotation = std::string(view.annotation);
    for (int d = 0; d < agl::kMaxDims; ++d) {
        if (!view.axisScales[size_t(d)]) continue;
        check(view.axisScales[size_t(d)]->dimCount() == 1, "a kept scale with more dimensions");
        touchSegment(*view.axisScales[size_t(d)]);
        parts.axisScales[size_t(d)] = view.axisScales[size_t(d)].get();
    }

    // What was kept survives the writer and the reader once more.
    const std::vector<uint8_t> again = buildAglTrailer(parts);
    AglTrailerView back;
    check(parseAglTrailer(again.data(), again.size(), aglAttributes::blank(), back),
          "a written trailer does not read back");
    check(back.skipped.empty(), "a written trailer has parts the reader skips");
    check(back.annotation ==
              std::string_view(parts.annotation).substr(0, std::strlen(parts.annotation.c_str())),
          "annotation changed");
    for (int d = 0; d < agl::kMaxDims; ++d) {
        const aglSegment* a = view.axisScales[size_t(d)].get();
        const aglSegment* b = back.axisScales[size_t(d)].get();
        check(!a == !b, "a scale appeared or vanished");
        if (a)
            check(a->neededSize() == b->neededSize() &&
                      std::memcmp(a->base(), b->base(), size_t(a->neededSize())) == 0,
                  "a scale image changed");
    }
    return 0;
}

int fuzzAglAscii(const uint8_t* data, size_t size) {
    AsciiReadOptions options;
    options.maxElements = 1 << 12; // the reader's limits, not the machine's
    AsciiReadResult r = readAglAscii(reinterpret_cast<const char*>(data), size, options);
    if (!r.array) {
        check(r.error.code != 0, "a failed read without an error code");
        return 0;
    }
    check(r.read >= 1 && r.read <= r.expected, "read count out of range");
    check(r.expected == r.array->elementCount(), "element count");
    check(r.warning.empty() == (r.read == r.expected), "warning without a short read");

    // The writer's text reads back as the same array.
    std::string text;
    formatAglAscii(*r.array, {}, text);
    AsciiReadResult back = readAglAscii(text.data(), text.size(), options);
    check(back.array != nullptr, "written text does not read back");
    check(back.warning.empty(), "written text reads back short");
    check(back.array->dimCount() == r.array->dimCount() &&
              back.array->language() == r.array->language(),
          "shape changed");
    for (int k = 0; k < r.array->dimCount(); ++k)
        check(back.array->extent(k) == r.array->extent(k) &&
                  back.array->lowerBound(k) == r.array->lowerBound(k),
              "extent or bound changed");
    check(sameElements(*r.array, *back.array), "values changed");
    return 0;
}

int fuzzAglData(const uint8_t* data, size_t size) {
    FormatError error;
    std::unique_ptr<aglArray> block = readAglData(data, size, error);
    if (!block) {
        check(error.code != 0, "a refused block without an error code");
        return 0;
    }
    const int64_t rows = block->rowCount(), columns = block->colCount();
    check(rows >= 1 && columns >= 1 && rows * columns <= kMaxClipboardElements,
          "an accepted block outside the limits");
    check(uint64_t(size) >= 8 + uint64_t(rows * columns) * 8, "accepted more values than given");
    // Written back, the block is the input's head and values.
    std::string again;
    check(encodeAglData(*block, {0, 0, rows, columns}, again), "an accepted block not written");
    check(again.size() == 8 + size_t(rows * columns) * 8, "written size");
    check(std::memcmp(again.data(), data, 8) == 0, "written head");
    for (int64_t i = 0; i < rows * columns; ++i) {
        double x, y;
        std::memcpy(&x, data + 8 + i * 8, 8);
        std::memcpy(&y, again.data() + 8 + i * 8, 8);
        check(std::memcmp(&x, &y, 8) == 0 || (std::isnan(x) && std::isnan(y)), "written value");
    }
    // And as text, which must hold a line per row.
    std::string text;
    formatBlockText(*block, {0, 0, rows, columns}, PlainTextFormat(AGL_DOUBLE), text);
    int64_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    check(lines == rows, "a text line per row");
    return 0;
}

int fuzzBitmap(const uint8_t* data, size_t size) {
    // Pictures of more than 2^24 pixels are legal (run-length code makes
    // them from a few bytes) but only cost the fuzzer time: not tried.
    if (size >= 26) {
        int32_t w, h;
        std::memcpy(&w, data + 18, 4);
        std::memcpy(&h, data + 22, 4);
        if (std::llabs(int64_t(w)) * std::llabs(int64_t(h)) > (int64_t(1) << 24)) return 0;
    }
    BitmapImage image;
    std::string reason;
    if (!readBitmap(data, size, image, reason)) {
        check(!reason.empty(), "a refused bitmap says why");
        return 0;
    }
    check(image.width > 0 && image.height > 0, "bitmap size is positive");
    check(int64_t(image.width) * image.height <= agl::kMaxElements, "bitmap within the limit");
    check(image.indices.size() == size_t(image.width) * size_t(image.height),
          "one index per pixel");
    check(image.maxValue >= 1 && image.maxValue <= 255, "palette range");
    touch(image.indices.data(), image.indices.size());
    return 0;
}

int fuzzNpyHeader(const uint8_t* data, size_t size) {
    aglNpyLayout layout;
    std::string reason;
    if (!agl::parseNpyHeader(data, size, layout, reason)) {
        check(!reason.empty(), "a refused NumPy header says why");
        return 0;
    }
    check(layout.dims >= 1 && layout.dims <= agl::kMaxDims, "NumPy rank 1..7");
    int64_t count = 1;
    for (int i = 0; i < layout.dims; ++i) {
        check(layout.extents[i] >= 1, "NumPy extent positive");
        count *= layout.extents[i];
    }
    check(count == layout.elementCount && count <= agl::kMaxElements, "NumPy element count");
    check(layout.dataOffset <= size, "NumPy elements start inside the header bytes given");
    check(agl::isTypeCode(layout.type), "NumPy element type");
    return 0;
}

// ---- The HDF helper's list, as the viewer reads it -----------------------------

namespace {

// Walks what the viewer walks for a listed object: its names, its shape
// (the segment makeArray would make) and its children.
void walkHdfObject(const CHdfObject& o, int depth) {
    check(depth < 64, "HDF list deeper than its text can make");
    (void)o.shownName();
    // The texts the tree, the status bar and agltool make of it.
    (void)hdfShapeText(o);
    (void)hdfConversionNote(o);
    (void)hdfQuantityText(o);
    if (hdfIsPacked(o)) check(o.kind == HdfKindSds, "only data sets are packed");
    if (o.kind == HdfKindSds) {
        const auto& s = static_cast<const CHdfSds&>(o);
        const int64_t n = hdfShownElementCount(s);
        check(n >= 0 && n <= agl::kMaxElements, "shown element count within the array limit");
        if (n > 0) {
            check(s.rank >= 1 && s.rank <= agl::kMaxDims && size_t(s.rank) == s.extents.size(),
                  "a shown data set has one extent per dimension");
            int64_t product = 1;
            for (int32_t e : s.extents) {
                check(e >= 1, "a shown data set has positive extents");
                product *= e;
            }
            check(product == n, "shown element count is the product of the extents");
            check(agl::typeInfo(s.typeCode).size > 0, "a shown data set has an element type");
        }
    }
    for (const auto& c : o.children) {
        check(c->parent == &o, "child's parent is the object that holds it");
        walkHdfObject(*c, depth + 1);
    }
}

} // namespace

int fuzzHdfList(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    HdfObjectList objects;
    std::string reason;
    if (!decodeHdfObjects(text, "fuzz.hdf", objects, reason)) {
        check(objects.empty(), "a refused list keeps nothing");
        check(!reason.empty(), "a refused list says why");
        return 0;
    }
    for (const auto& o : objects) {
        check(o->filePath == "fuzz.hdf", "every object names the file listed");
        walkHdfObject(*o, 0);
    }
    // What the viewer chooses and the tree shows, from any list it accepts.
    (void)hdfDefaultObject(objects);
    for (const HdfTreeEntry& e : hdfTreeOrder(objects))
        check(e.object != nullptr && e.level >= 0, "tree rows name objects");
    (void)findHdfObject(objects, "0");
    (void)findHdfObject(objects, "Scientific Data");
    // A list the viewer accepts is one the helper could have sent.
    const std::string again = encodeHdfObjects(objects);
    HdfObjectList second;
    check(decodeHdfObjects(again, "fuzz.hdf", second, reason), "accepted list encodes and decodes");
    check(encodeHdfObjects(second) == again, "list round trip is stable");
    return 0;
}
