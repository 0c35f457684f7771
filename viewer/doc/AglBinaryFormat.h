// The agl binary file: a segment image (header and elements, in either header
// form) optionally followed by a trailer holding the attribute record, an
// annotation text, a 256-colour palette and one axis-scale segment image per
// dimension.
//
// Everything here works on plain data (segments, strings, the record), so it
// runs without a document or any window. Every offset and length that comes
// from a file is checked against the end of the bytes actually there before
// it is used: a damaged trailer loses the damaged part, never more, and is
// never read beyond its end.
//
// Failures are reported as false plus an error code and message in a
// FormatError; nothing is thrown. Any thread, one call per file at a time.
#pragma once

#include "aglAttributes.h"

#include "FileStamp.h"
#include "aglSegment.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// What went wrong in a read or write: an error code of aglTypes.h, the text
// for the user ("Error saving file: %s" and the like) and the reason behind
// it, for logs and tools.
struct FormatError {
    int code = 0;
    std::string message;
    std::string detail;
};

// A trailer seen in place (views into the bytes it was parsed from, which
// must outlive it).
struct AglTrailerView {
    // False when there is no trailer, or it is too short to hold a record.
    bool present = false;
    uint64_t size = 0; // bytes after the elements
    aglAttributes attributes = aglAttributes::blank();
    bool hasAnnotation = false;
    std::string_view annotation;      // without its zero byte
    const uint8_t* palette = nullptr; // 1024 bytes, or nullptr
    // Valid one-dimensional scale images, viewed in place; null elsewhere.
    std::array<std::unique_ptr<aglSegment>, agl::kMaxDims> axisScales;
    // One line per part that was present in the record but skipped, and why.
    std::vector<std::string> skipped;
};

// Parses trailer bytes [data, data + size). The record starts as base (the
// caller's current settings) and the stored 328 bytes are copied over it;
// its size and version are not checked. A trailer shorter than the record
// is ignored as a whole. Parts whose offsets or lengths do not fit, an
// annotation without its zero byte before the end, a palette that would run
// past the end, and scale images that are invalid, not one-dimensional or
// longer than what remains are skipped. Returns present.
bool parseAglTrailer(const uint8_t* data, uint64_t size, const aglAttributes& base,
                     AglTrailerView& out);

// The trailer of a segment mapped from an agl file (no trailer: not present).
bool parseAglTrailer(const aglSegment& head, const aglAttributes& base, AglTrailerView& out);

// A trailer read into segments of its own, as the document keeps it.
struct AglTrailer {
    bool present = false;
    aglAttributes attributes = aglAttributes::blank();
    bool hasAnnotation = false;
    std::string annotation;
    // New shared-memory blocks (generated names): the palette as one
    // dimension of 1024 AGL_UCHAR in language C; each axis scale with the
    // stored image's count, type, language and lower bound. Null where the
    // file had none, it was skipped, or the block could not be made.
    std::unique_ptr<aglSegment> palette;
    std::array<std::unique_ptr<aglSegment>, agl::kMaxDims> axisScales;
    std::vector<std::string> skipped;
};

// Reads the trailer of head (a segment opened from an agl file). Problems
// inside the trailer never fail: they leave the part empty (see
// parseAglTrailer). Returns out.present.
bool readAglTrailer(const aglSegment& head, const aglAttributes& base, AglTrailer& out);

// What the writer puts into the trailer. The record's size, version and
// offsets are filled in by the writer; every other field is written as
// given. An empty annotation (or one whose first byte is 0) is left out; the
// text is written up to its first zero byte.
struct AglTrailerParts {
    aglAttributes attributes = aglAttributes::blank();
    std::string annotation;
    // Its first 1024 element bytes (zeros where it has fewer), or none.
    const aglSegment* palette = nullptr;
    // Each written as its full image (header and elements), or none.
    std::array<const aglSegment*, agl::kMaxDims> axisScales{};
};

// The identity of the file a segment was mapped from, as recorded at load:
// device and inode say which file it is, size and modification time that it
// has not been changed since.
struct AglFileIdentity {
    platform::FileStamp stamp;
    bool isFile = false;
    static AglFileIdentity of(const aglSegment& segment);
};

// Writes array's segment image to path, then, when trailer is given, the
// trailer. When path is the very file array is mapped from (same device and
// inode; the name's spelling does not matter), the head is already there:
// only the trailer is written, from the end of the elements on, the file is
// not cut, and the elements on disk are never touched. That is refused
// (AGL_E_OPEN) when the file's size or time no longer match loaded, because
// then someone else has rewritten it since it was read; after a successful
// trailer write, loaded is updated to the file's new size and time (pass the
// same object to the next save). loaded may be null: the segment's own
// record is used and nothing is updated.
//
// Otherwise the file is created or overwritten: the space for everything is
// reserved first, so a full disk fails before the old contents are touched;
// then the head is written and the file cut after it, then the trailer.
// Every write, the cut and the close are checked. On failure error holds
// AGL_E_OPEN, "Error saving file: %s" with the path, and the reason.
bool writeAglFile(const aglSegment& array, const std::string& path, const AglTrailerParts* trailer,
                  AglFileIdentity* loaded, FormatError& error);

// The trailer bytes the writer produces for parts (for tests and tools).
std::vector<uint8_t> buildAglTrailer(const AglTrailerParts& parts);

// Copies a 256-entry palette of 0xFFBBGGRR words into a new shared-memory
// block (1024 AGL_UCHAR, language C). Null when it cannot be made.
std::unique_ptr<aglSegment> makePaletteSegment(const uint8_t* bytes1024);
