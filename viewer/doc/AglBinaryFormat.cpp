#include "AglBinaryFormat.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uint64_t kPaletteBytes = 1024;

std::string slashed(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

std::string savingMessage(const std::string& path) {
    return "Error saving file: " + path;
}

bool fail(FormatError& error, const std::string& path, const std::string& detail) {
    error.code = AGL_E_OPEN;
    error.message = savingMessage(path);
    error.detail = detail;
    return false;
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes all of [data, data + length) at offset; false on any short write.
bool writeAll(int fd, const uint8_t* data, uint64_t length, uint64_t offset) {
    while (length > 0) {
        const size_t chunk = length > (1u << 30) ? (1u << 30) : size_t(length);
        const ssize_t n = pwrite(fd, data, chunk, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        length -= uint64_t(n);
        offset += uint64_t(n);
    }
    return true;
}

} // namespace

AglFileIdentity AglFileIdentity::of(const aglSegment& segment) {
    AglFileIdentity id;
    if (!segment.isValid() || !segment.isFileBacked()) return id;
    id.stamp = segment.fileStamp();
    id.isFile = true;
    return id;
}

bool parseAglTrailer(const uint8_t* data, uint64_t size, const aglAttributes& base,
                     AglTrailerView& out) {
    out = AglTrailerView{};
    out.attributes = base;
    out.size = size;
    if (!data || size == 0) return false;
    if (size < uint64_t(aglAttributes::kSize)) {
        out.skipped.push_back("trailer of " + std::to_string(size) +
                              " bytes is shorter than the attribute record");
        return false;
    }
    out.present = true;
    std::memcpy(&out.attributes, data, sizeof(aglAttributes));
    const aglAttributes& a = out.attributes;

    if (a.annotationOffset != 0) {
        const uint64_t at = a.annotationOffset;
        const void* zero = at < size ? std::memchr(data + at, 0, size_t(size - at)) : nullptr;
        if (!zero) {
            out.skipped.push_back(at < size ? "annotation has no terminating zero"
                                            : "annotation offset lies beyond the trailer");
        } else {
            out.hasAnnotation = true;
            out.annotation =
                std::string_view(reinterpret_cast<const char*>(data + at),
                                 size_t(static_cast<const uint8_t*>(zero) - (data + at)));
        }
    }
    if (a.paletteOffset != 0) {
        if (uint64_t(a.paletteOffset) + kPaletteBytes <= size)
            out.palette = data + a.paletteOffset;
        else
            out.skipped.push_back("palette runs past the end of the trailer");
    }
    for (int d = 0; d < agl::kMaxDims; ++d) {
        const uint64_t at = a.axisScaleOffset[d];
        if (at == 0) continue;
        const std::string which = "axis scale " + std::to_string(d);
        if (at >= size) {
            out.skipped.push_back(which + ": offset lies beyond the trailer");
            continue;
        }
        // The view checks the header and that every element it claims lies
        // within what remains of the trailer.
        auto view = std::make_unique<aglSegment>();
        if (!view->viewInPlace(data + at, size_t(size - at))) {
            out.skipped.push_back(which + ": invalid segment image (" +
                                  agl::errorName(view->takeError()) + ")");
            continue;
        }
        if (view->dimCount() != 1) {
            out.skipped.push_back(which + ": " + std::to_string(view->dimCount()) + " dimensions");
            continue;
        }
        out.axisScales[size_t(d)] = std::move(view);
    }
    return true;
}

bool parseAglTrailer(const aglSegment& head, const aglAttributes& base, AglTrailerView& out) {
    return parseAglTrailer(head.trailer(), head.trailerSize(), base, out);
}

std::unique_ptr<aglSegment> makePaletteSegment(const uint8_t* bytes1024) {
    auto seg = std::make_unique<aglSegment>();
    const int32_t ext[1] = {int32_t(kPaletteBytes)};
    if (!seg->create(nullptr, 1, ext, AGL_UCHAR, AGL_LANG_C)) return nullptr;
    std::memcpy(seg->elements(), bytes1024, kPaletteBytes);
    return seg;
}

bool readAglTrailer(const aglSegment& head, const aglAttributes& base, AglTrailer& out) {
    out = AglTrailer{};
    AglTrailerView view;
    out.present = parseAglTrailer(head, base, view);
    out.attributes = view.attributes;
    out.skipped = view.skipped;
    if (!out.present) return false;
    out.hasAnnotation = view.hasAnnotation;
    out.annotation = std::string(view.annotation);
    if (view.palette) {
        out.palette = makePaletteSegment(view.palette);
        if (!out.palette) out.skipped.push_back("palette: no shared memory for it");
    }
    for (int d = 0; d < agl::kMaxDims; ++d) {
        const aglSegment* src = view.axisScales[size_t(d)].get();
        if (!src) continue;
        auto seg = std::make_unique<aglSegment>();
        const int32_t ext[1] = {int32_t(src->elementCount())};
        if (!seg->create(nullptr, 1, ext, src->typeCode(), src->language())) {
            out.skipped.push_back("axis scale " + std::to_string(d) + ": no shared memory for it");
            continue;
        }
        seg->setLowerBound(0, src->lowerBound(0));
        std::memcpy(seg->elements(), src->elements(),
                    size_t(src->elementCount()) * size_t(src->elementSize()));
        out.axisScales[size_t(d)] = std::move(seg);
    }
    return true;
}

std::vector<uint8_t> buildAglTrailer(const AglTrailerParts& parts) {
    aglAttributes a = parts.attributes;
    a.size = aglAttributes::kSize;
    a.version = aglAttributes::kVersion;
    a.annotationOffset = 0;
    a.paletteOffset = 0;
    for (uint32_t& o : a.axisScaleOffset)
        o = 0;

    const size_t annotationLength = std::strlen(parts.annotation.c_str());
    uint64_t next = aglAttributes::kSize;
    if (annotationLength > 0) {
        a.annotationOffset = uint32_t(next);
        next += annotationLength + 1;
    }
    if (parts.palette) {
        a.paletteOffset = uint32_t(next);
        next += kPaletteBytes;
    }
    for (int d = 0; d < agl::kMaxDims; ++d) {
        const aglSegment* s = parts.axisScales[size_t(d)];
        if (!s || !s->isValid()) continue;
        a.axisScaleOffset[d] = uint32_t(next);
        next += s->neededSize();
    }

    std::vector<uint8_t> bytes(size_t(next), 0);
    std::memcpy(bytes.data(), &a, sizeof a);
    if (annotationLength > 0)
        std::memcpy(bytes.data() + a.annotationOffset, parts.annotation.data(), annotationLength);
    if (parts.palette && parts.palette->isValid()) {
        const uint64_t have =
            uint64_t(parts.palette->elementCount()) * uint64_t(parts.palette->elementSize());
        std::memcpy(bytes.data() + a.paletteOffset, parts.palette->elements(),
                    size_t(have < kPaletteBytes ? have : kPaletteBytes));
    }
    for (int d = 0; d < agl::kMaxDims; ++d) {
        const aglSegment* s = parts.axisScales[size_t(d)];
        if (!s || !s->isValid()) continue;
        std::memcpy(bytes.data() + a.axisScaleOffset[d], s->base(), size_t(s->neededSize()));
    }
    return bytes;
}

bool writeAglFile(const aglSegment& array, const std::string& rawPath,
                  const AglTrailerParts* trailer, AglFileIdentity* loaded, FormatError& error) {
    error = FormatError{};
    const std::string path = slashed(rawPath);
    if (!array.isValid() || !array.base()) return fail(error, path, "no array to save");
    if (array.isNumpy()) {
        // A mapped NumPy file has a header of its own: it is saved through a
        // copy in segment form, and never over the NumPy file itself.
        if (platform::FileStamp::ofPath(path).isSameFile(array.fileStamp()))
            return fail(error, path, "a NumPy file cannot be saved over");
        aglSegment copy;
        if (!copy.copyOf(array)) return fail(error, path, "cannot copy the array");
        return writeAglFile(copy, rawPath, trailer, nullptr, error);
    }
    const uint64_t size = array.neededSize();

    // The trailer is built in memory first: its parts may be views into the
    // very bytes about to be overwritten (a trailer carried over from the
    // same file).
    std::vector<uint8_t> tail;
    if (trailer) tail = buildAglTrailer(*trailer);

    AglFileIdentity own = AglFileIdentity::of(array);
    AglFileIdentity& recorded = loaded ? *loaded : own;

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return fail(error, path, errnoText("open"));
    errno = 0;
    const platform::FileStamp st = platform::FileStamp::ofDescriptor(fd);
    if (!st.isRegularFile()) {
        const std::string why = errno ? errnoText("fstat") : "not a regular file";
        close(fd);
        return fail(error, path, why);
    }
    const bool headInFile = array.isFileBacked() && st.isSameFile(array.fileStamp());
    if (headInFile && (st.size != recorded.stamp.size || st.timeNs != recorded.stamp.timeNs ||
                       uint64_t(st.size) < size)) {
        close(fd);
        return fail(error, path, "the file was changed on disk since it was read");
    }
    if (array.truncationFaults() > 0) {
        close(fd);
        return fail(error, path, "the array's file shrank while it was mapped");
    }

    bool ok = true;
    std::string why;
    const uint64_t end = size + tail.size();
    // Reserve all space up front: a full disk fails here, before any byte of
    // the old contents has been overwritten.
    if (end > uint64_t(st.size)) {
        const int rc = posix_fallocate(fd, 0, off_t(end));
        if (rc != 0) {
            errno = rc;
            ok = false;
            why = errnoText("reserve space");
            // Give back whatever the reservation added before failing.
            if (ftruncate(fd, off_t(st.size)) != 0) { /* the failure is reported already */
            }
        }
    }
    if (ok && !headInFile) {
        if (!writeAll(fd, array.base(), size, 0)) {
            ok = false;
            why = errnoText("write");
        } else if (ftruncate(fd, off_t(tail.empty() ? size : end)) != 0) {
            ok = false;
            why = errnoText("cut off");
        }
    }
    if (ok && !tail.empty() && !writeAll(fd, tail.data(), tail.size(), size)) {
        ok = false;
        why = errnoText("write trailer");
    }
    const platform::FileStamp after =
        ok ? platform::FileStamp::ofDescriptor(fd) : platform::FileStamp{};
    const bool statted = after.valid;
    if (close(fd) != 0 && ok) {
        ok = false;
        why = errnoText("close");
    }
    if (!ok) return fail(error, path, why);
    if (headInFile && loaded && statted) {
        loaded->stamp.size = after.size;
        loaded->stamp.timeNs = after.timeNs;
    }
    return true;
}
