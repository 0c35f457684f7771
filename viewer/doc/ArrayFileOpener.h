// ArrayFileOpener: the one way a file (or a shared-memory segment) becomes an
// array, shared by the viewer's document and agltool, so that both read the
// same formats the same way and refuse the same files for the same reasons.
//
// The format is chosen by the file's first bytes, through a table of
// formats (arrayFileFormats) that each carry a signature test and a reader:
// agl binary (its two magic numbers), HDF4 (0E 03 13 01), NumPy ("\x93NUMPY")
// and Windows bitmaps ("BM"), in that order. A file that carries none of
// these signatures is read as agl text only when it is text: no NUL byte and
// at least 90 % printable ASCII or white space in its first 4096 bytes. A
// file with a signature whose reader refuses it is refused with that
// reader's reason, unless it is text after all ("BM readings" begins like a
// bitmap), which is then read as text. Anything else is refused ("not an
// array file ..."), never handed to the forgiving text reader, which would
// find numbers in any binary file. A name that no file has is a
// shared-memory segment's (the agl reader opens it by name).
//
// A new format is one more row of the table: its signature test and its
// reader, which fills an OpenedArray or says why not.
//
// What each reader makes:
//   agl      the file (or block) mapped in place, read-only;
//   NumPy    the file mapped in place for the types an agl segment holds;
//            int64, uint64 and float16 elements converted into a double
//            copy (a new shared-memory segment), with a note saying so and
//            how many values beyond 2^53 lost precision;
//   bitmap   a new AGL_UCHAR Fortran array of palette indices (height x
//            width, lower bounds 1, row dimension 0, column dimension 1)
//            and a palette segment of 256 AGL_ULONG colours;
//   text     a new array from the agl text reader (AglAsciiFormat.h);
//   HDF4     the file's objects, listed by the helper process (HdfHelper),
//            and the elements of one of them read into a new segment.
//
// Failures are results (an error code and a reason a user can act on);
// nothing is thrown. No Qt and no HDF library. One thread per call.
#pragma once

#include "AglAsciiFormat.h"
#include "HdfHelper.h"
#include "HdfObjects.h"

#include "aglArray.h"
#include "aglSegment.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The formats, numbered as the document numbers its file kinds.
enum class ArrayFormat : int {
    None = 0,
    Agl = 1,
    Hdf = 2,
    Bitmap = 3,
    Text = 4,
    Numpy = 5,
    Hdf5 = 6,
    Netcdf = 7 // the classic forms; NetCDF-4 files are HDF5 files
};

// HDF4, HDF5 and NetCDF files all list objects through the helper process
// and show one object at a time.
inline bool isHdfFormat(ArrayFormat f) {
    return f == ArrayFormat::Hdf || f == ArrayFormat::Hdf5 || f == ArrayFormat::Netcdf;
}

// What a caller asks of an open.
struct ArrayOpenOptions {
    // HDF: the object to read, by its number in hdfTreeOrder or by its
    // shown name. Empty: the object the viewer shows first
    // (hdfDefaultObject); a file without one opens with no array.
    std::string hdfObject;
    // HDF: also read the palette of the object read, when it has one.
    bool hdfPalette = false;
    // HDF: list the objects and read none (hdfObject is ignored).
    bool hdfListOnly = false;
    // HDF: a data set read plane by plane in the viewer (hdfReadsByPlane) is
    // read as its first plane (hdfFirstPlane), not whole: the viewer's
    // choice; agltool reads whole data sets.
    bool hdfByPlane = false;
    // HDF: the helper that lists and reads (the caller's, with its time
    // limits); null: one with the default helper path and limits.
    HdfHelper* hdfHelper = nullptr;
    // HDF: how the helper is waited for (HdfHelper.h); empty: on the
    // calling thread.
    HdfWait hdfWait;
    AsciiReadOptions text;
};

// What came of an open. Owns whatever it made.
struct OpenedArray {
    ArrayFormat format = ArrayFormat::None;

    // Every format but HDF: the array.
    std::unique_ptr<aglArray> array;
    // HDF: the file's objects, and the one read (its array, and with
    // hdfPalette its palette child's array, are made), or null when the
    // file has nothing to show.
    HdfObjectList hdfObjects;
    CHdfObject* hdfObject = nullptr;
    // Bitmaps: the colour table the control gets (256 AGL_ULONG words,
    // 0xFF000000 + blue x 65536 + green x 256 + red) and the index value
    // the top of the palette stands for (15 for 4 bits, 3 for 2, else 255).
    std::unique_ptr<aglSegment> palette;
    int paletteMaxValue = 255;

    // The elements are a converted copy ("int64", "uint64", "float16"), or
    // empty when they are the file's own bytes or a reader's new array of
    // the file's own type.
    std::string convertedFrom;
    // Values the conversion could not keep exactly.
    int64_t impreciseValues = 0;
    // For the status bar: what the conversion did ("a double copy of int64
    // data; 3 values beyond 2^53 lost precision"); empty when nothing was
    // converted.
    std::string note;
    // Said to the user although the open succeeded: the text reader's
    // "Expecting %d data elements, \nbut only read %d\n".
    std::string warning;

    // Failure: the error code (AGL_E_*) and why, in words.
    int error = 0;
    // The failure is the caller's own: it cancelled the wait for the HDF
    // helper.
    bool cancelled = false;
    std::string reason;

    bool ok() const { return error == 0; }
    // The array shown: array, or the HDF object's; null when none.
    aglArray* shown() const;
    // The HDF object's palette array, when it was read.
    aglArray* hdfPaletteArray() const;
};

// One row of the format table.
struct ArrayFileFormat {
    ArrayFormat id;
    // How messages name the format: "agl", "HDF4", "HDF5", "NumPy", "bitmap",
    // "agl text".
    const char* name;
    // True when head (the file's first bytes, up to kArraySniffBytes)
    // carries the format's signature. Null for the text row, chosen by
    // content (looksLikeText) when no signature matches.
    bool (*matches)(const uint8_t* head, size_t size);
    // Reads path into out (format already set); false with out.error and
    // out.reason set.
    bool (*read)(const std::string& path, const ArrayOpenOptions& options, OpenedArray& out);
};

// Bytes of a file looked at to choose its format.
inline constexpr size_t kArraySniffBytes = 4096;

// The formats in the order their signatures are tried; text last.
const std::vector<ArrayFileFormat>& arrayFileFormats();
// The row of a format; null for ArrayFormat::None.
const ArrayFileFormat* arrayFileFormat(ArrayFormat id);

// True when bytes look like text: no NUL byte, and at least 90 % of them
// printable ASCII or white space.
bool looksLikeText(const uint8_t* bytes, size_t size);

// Chooses the format of path from its first bytes. A name no file has is
// ArrayFormat::Agl (a shared-memory segment). A file that cannot be read
// (a folder, a pipe, no permission), or whose bytes fit no format, is
// ArrayFormat::None with error and reason set.
ArrayFormat detectArrayFormat(const std::string& path, int& error, std::string& reason);

// Detects, reads and, when a signature's reader refuses a file that is
// text, reads it as text. Never throws.
OpenedArray openArrayFile(const std::string& path, const ArrayOpenOptions& options = {});

// ---- HDF objects as the viewer's tree lists them ------------------------

// One row of the tree: an object and its depth.
struct HdfTreeEntry {
    const CHdfObject* object;
    int level;
};
// Top-level objects with content, or refused with a reason, that are not
// hidden, each followed by its children that are not hidden; numbered from 0
// by agltool info.
std::vector<HdfTreeEntry> hdfTreeOrder(const HdfObjectList& objects);
// The object `which` names (its number in hdfTreeOrder, or its shown name);
// null when none is.
CHdfObject* findHdfObject(const HdfObjectList& objects, const std::string& which);
// The object the viewer shows first: the first data set with content that
// is not a dimension scale and has elements (at the top level, else inside
// an HDF5 file's groups, depth first), else the first image with content
// that is not hidden; null when there is none. dataSets receives
// the number of data sets at the top level.
CHdfObject* hdfDefaultObject(const HdfObjectList& objects, int* dataSets = nullptr);
