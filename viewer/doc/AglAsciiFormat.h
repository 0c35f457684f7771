// The agl ASCII file: a few "#" header lines (type, index language, extents)
// followed by the values as text, one line per run of the last dimension and
// an empty line between blocks of the higher ones.
//
// The reader is forgiving: it skips anything that is not a number, honours
// "!" comments, and without a "#dim" line guesses a one- or two-dimensional
// shape from the layout of the numbers. It parses text with an explicit end
// (a mapped file has no terminating zero) and runs in time linear in the
// text's length. The same reader turns clipboard text into an array.
//
// Failures are reported in the result (nothing is thrown). Any thread, one
// call per text at a time.
#pragma once

#include "AglBinaryFormat.h"

#include "aglArray.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// How the writer formats floating-point values. Integer elements are always
// written exactly, as decimal integers, whatever this says: an exponent form
// ("1.5e+02") would read back truncated at its ".".
struct AsciiNumberFormat {
    // 0: the shortest text that reads back as exactly the same float or
    // double (the default when no grid view supplies a format). 1..17: the
    // number of significant digits in plain form (as printf's "%.*g"), or of
    // decimals in exponent form ("%.*e").
    int precision = 0;
    bool exponent = false;
};

// Writes array (all elements in stored order) to path. Every write and the
// final close are checked: a short write, a full disk or a failed close is a
// failed save (code AGL_E_OPEN, message "Error saving file: %s", reason in
// detail), never a silently shortened file. The text is written to a new
// file beside the target that replaces it only when complete, so a failed
// save leaves the old file as it was, and the array may be mapped from the
// very file it is saved to. A target that exists and is not a regular file
// (a named pipe, a device) is refused. The array is not changed.
bool writeAglAscii(const aglArray& array, const std::string& path, const AsciiNumberFormat& format,
                   FormatError& error);

// The text the writer produces, appended to out (for the clipboard and tests).
void formatAglAscii(const aglArray& array, const AsciiNumberFormat& format, std::string& out);

struct AsciiReadOptions {
    // Largest element count accepted (never more than 2^30, and the bytes
    // must fit one allocation of the array). Fuzzing lowers it.
    int64_t maxElements = int64_t(1) << 30;
};

struct AsciiReadResult {
    // The new array, owning a new shared-memory segment; null on failure.
    std::unique_ptr<aglArray> array;
    // On failure: AGL_E_FORMAT (no value at all), AGL_E_EXTENT (a shape
    // with no elements or a bound out of range), AGL_E_TOO_LARGE, or the
    // array's allocation error.
    FormatError error;
    // "Expecting %d data elements, \nbut only read %d\n" when fewer values
    // than elements were found (the rest are zero); empty otherwise. The
    // caller shows it as a warning.
    std::string warning;
    int64_t expected = 0;
    int64_t read = 0;
};

// Parses [text, text + length) into a new array.
AsciiReadResult readAglAscii(const char* text, size_t length, const AsciiReadOptions& options = {});
