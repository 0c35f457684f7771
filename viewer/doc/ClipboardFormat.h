// The two forms in which blocks of array elements travel through the
// clipboard: tab-separated text for other programs, and "AGL DATA", the
// viewer's own binary form that keeps full double precision.
//
// "AGL DATA" (MIME type application/x-agl-data), little-endian:
//   offset 0  int32  rows r
//   offset 4  int32  columns c
//   offset 8  double values, r x c of them, row by row
// Text: each row's values separated by tabs, each row ended by "\r\n".
//
// Everything here is pure: no Qt, no document. The block is a 2-D aglArray
// (row dimension 0, column dimension 1) of any element type; a region of it
// is rendered. Any thread, one call per block at a time.
#pragma once

#include "AglBinaryFormat.h"

#include "aglArray.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* kAglDataFormatName = "AGL DATA";
inline constexpr const char* kAglDataMimeType = "application/x-agl-data";
inline constexpr const char* kTextMimeType = "text/plain";

// Largest element count an "AGL DATA" block may announce (2^30, the most
// one array holds).
inline constexpr int64_t kMaxClipboardElements = int64_t(1) << 30;

// Writes the text of one value; the spreadsheet supplies its number format
// through this, so the text shows what the user sees.
class BlockTextFormat {
public:
    virtual ~BlockTextFormat() = default;
    // Appends the text of value to out (no separator).
    virtual void append(double value, std::string& out) const = 0;
};

// The format used when no spreadsheet supplies one: integers as integers,
// floating-point values in the shortest form that reads back exactly,
// non-finite values as "nan", "inf" and "-inf".
class PlainTextFormat : public BlockTextFormat {
public:
    explicit PlainTextFormat(int type) : m_type(type) {}
    void append(double value, std::string& out) const override;

private:
    int m_type;
};

// The part of a block to render: first row and column, and counts.
struct BlockRegion {
    int64_t firstRow = 0;
    int64_t firstColumn = 0;
    int64_t rows = 0;
    int64_t columns = 0;
};

// Appends the "AGL DATA" bytes of region (8 + 8 x rows x columns bytes) to
// out. False, with out unchanged, for a region that is empty, lies outside
// the block, or holds more than kMaxClipboardElements elements.
bool encodeAglData(const aglArray& block, const BlockRegion& region, std::string& out);

// Appends the tab-separated text of region to out. The text grows as it is
// written: a cell may be wider than any width the format announces.
void formatBlockText(const aglArray& block, const BlockRegion& region,
                     const BlockTextFormat& format, std::string& out);

// Checks an "AGL DATA" block from another program before anything is read:
// rows >= 1, columns >= 1, rows x columns <= kMaxClipboardElements (counted
// in 64 bits) and at least 8 + 8 x rows x columns bytes. On success sets
// rows and columns; on failure says why in error (code AGL_E_FORMAT or
// AGL_E_TOO_LARGE).
bool checkAglData(const uint8_t* data, size_t size, int32_t& rows, int32_t& columns,
                  FormatError& error);

// Reads a checked "AGL DATA" block into a new array: Fortran language,
// AGL_DOUBLE, extents (rows, columns), row dimension 0, column dimension 1,
// lower bounds 1. Null, with error set, when the block fails the check or
// the array's storage cannot be made.
std::unique_ptr<aglArray> readAglData(const uint8_t* data, size_t size, FormatError& error);

// A copy of a plane block in two steps: made on the source's thread, where
// the block's storage is reserved (the errors come here) and what the copy
// needs of the source's view is taken, then filled on any thread. It holds
// the source's elements from the first step to the end of the second (see
// aglArray::ElementsHold), so the source may meanwhile change its view but
// not its values, and may not go.
class PlaneBlockCopy {
public:
    // The plane block of source starting at (firstRow, firstColumn), rows x
    // columns elements, into a new 2-D array of the source's element type
    // and language. Null, with error set to the array's code, when the
    // storage cannot be made (too large, no memory) or the block does not
    // lie inside the source's plane.
    static std::unique_ptr<PlaneBlockCopy> prepare(const aglArray& source, int64_t firstRow,
                                                   int64_t firstColumn, int64_t rows,
                                                   int64_t columns, int& error);
    // Copies the block bit for bit (no conversion) and gives it; the hold on
    // the source goes. Once.
    std::unique_ptr<aglArray> fill();
    // The element type of the block.
    int typeCode() const { return m_block ? m_block->typeCode() : AGL_DOUBLE; }

private:
    PlaneBlockCopy() = default;

    std::unique_ptr<aglArray> m_block;
    aglArray::ElementsHold m_hold;
    const uint8_t* m_first = nullptr; // the block's first element in the source
    int64_t m_rowStep = 0;
    int64_t m_colStep = 0;
    int64_t m_rows = 0;
    int64_t m_columns = 0;
    int m_elementSize = 0;
};

// Both steps at once.
std::unique_ptr<aglArray> copyPlaneBlock(const aglArray& source, int64_t firstRow,
                                         int64_t firstColumn, int64_t rows, int64_t columns,
                                         int& error);
