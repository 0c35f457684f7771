#include "ClipboardFormat.h"

#include "MemoryRelease.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "\"AGL DATA\" is little-endian and written by copying doubles");

namespace {

bool regionInside(const aglArray& block, const BlockRegion& r) {
    return r.rows > 0 && r.columns > 0 && r.firstRow >= 0 && r.firstColumn >= 0 &&
           r.firstRow + r.rows <= block.rowCount() && r.firstColumn + r.columns <= block.colCount();
}

} // namespace

void PlainTextFormat::append(double value, std::string& out) const {
    char buf[64];
    char* end = buf;
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    if (m_type == AGL_FLOAT)
        end = std::to_chars(buf, buf + sizeof buf, float(value)).ptr;
    else if (m_type == AGL_DOUBLE)
        end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    else
        end = std::to_chars(buf, buf + sizeof buf, int64_t(value)).ptr;
    out.append(buf, end);
}

bool encodeAglData(const aglArray& block, const BlockRegion& region, std::string& out) {
    if (!regionInside(block, region) || region.rows * region.columns > kMaxClipboardElements)
        return false;
    const int32_t head[2] = {int32_t(region.rows), int32_t(region.columns)};
    const size_t start = out.size();
    out.resize(start + 8 + size_t(region.rows * region.columns) * 8);
    char* p = out.data() + start;
    std::memcpy(p, head, 8);
    p += 8;
    // Through a row buffer: the output need not be aligned for doubles.
    std::vector<double> row(size_t(region.columns));
    for (int64_t i = 0; i < region.rows; ++i) {
        block.readRow(region.firstRow + i, region.firstColumn, region.columns, row.data());
        std::memcpy(p, row.data(), size_t(region.columns) * 8);
        p += region.columns * 8;
    }
    return true;
}

void formatBlockText(const aglArray& block, const BlockRegion& region,
                     const BlockTextFormat& format, std::string& out) {
    if (!regionInside(block, region)) return;
    // A guess for the first allocation only: the string grows as needed.
    out.reserve(out.size() + size_t(region.rows * (region.columns * 10 + 2)));
    std::vector<double> row(size_t(region.columns));
    for (int64_t i = 0; i < region.rows; ++i) {
        block.readRow(region.firstRow + i, region.firstColumn, region.columns, row.data());
        for (int64_t j = 0; j < region.columns; ++j) {
            format.append(row[size_t(j)], out);
            out += '\t';
        }
        out.back() = '\r';
        out += '\n';
    }
}

bool checkAglData(const uint8_t* data, size_t size, int32_t& rows, int32_t& columns,
                  FormatError& error) {
    error = FormatError{};
    if (!data || size < 8) {
        error.code = AGL_E_FORMAT;
        error.detail = "shorter than its 8-byte head";
        return false;
    }
    int32_t head[2];
    std::memcpy(head, data, 8);
    if (head[0] < 1 || head[1] < 1) {
        error.code = AGL_E_FORMAT;
        error.detail = "rows or columns below 1";
        return false;
    }
    const int64_t count = int64_t(head[0]) * int64_t(head[1]);
    if (count > kMaxClipboardElements) {
        error.code = AGL_E_TOO_LARGE;
        error.detail = "more elements than an array can hold";
        return false;
    }
    if (uint64_t(size) - 8 < uint64_t(count) * 8) {
        error.code = AGL_E_FORMAT;
        error.detail = "fewer values than rows x columns";
        return false;
    }
    rows = head[0];
    columns = head[1];
    return true;
}

std::unique_ptr<aglArray> readAglData(const uint8_t* data, size_t size, FormatError& error) {
    int32_t rows = 0, columns = 0;
    if (!checkAglData(data, size, rows, columns, error)) return nullptr;
    auto array = std::make_unique<aglArray>();
    array->setLanguage(AGL_LANG_FORTRAN);
    const int32_t extents[2] = {rows, columns};
    const int64_t bytes = int64_t(rows) * columns * 8;
    if (!array->allocate(bytes) || array->reshape(2, extents, AGL_DOUBLE) != 0) {
        error.code = array->takeError();
        if (error.code == 0) error.code = AGL_E_MAPPING;
        error.detail = "the array's storage could not be made";
        return nullptr;
    }
    array->setRowDim(0);
    array->setColDim(1);
    array->setLowerBound(0, 1);
    array->setLowerBound(1, 1);
    std::memcpy(array->mutableData(), data + 8, size_t(bytes));
    return array;
}

std::unique_ptr<PlaneBlockCopy> PlaneBlockCopy::prepare(const aglArray& source, int64_t firstRow,
                                                        int64_t firstColumn, int64_t rows,
                                                        int64_t columns, int& error) {
    error = 0;
    if (rows < 1 || columns < 1 || firstRow < 0 || firstColumn < 0 ||
        firstRow + rows > source.rowCount() || firstColumn + columns > source.colCount() ||
        !source.data()) {
        error = AGL_E_EXTENT;
        return nullptr;
    }
    const int size = source.elementSize();
    if (rows > INT32_MAX || columns > INT32_MAX || rows * columns > kMaxClipboardElements ||
        rows * columns * size > kMaxClipboardElements) {
        // One allocation holds at most 2^30 bytes.
        error = AGL_E_TOO_LARGE;
        return nullptr;
    }
    std::unique_ptr<PlaneBlockCopy> copy(new PlaneBlockCopy);
    auto block = std::make_unique<aglArray>();
    block->setLanguage(source.language());
    const int32_t extents[2] = {int32_t(rows), int32_t(columns)};
    // Reserved only: its pages are taken where it is filled.
    if (!block->allocatePrivate(rows * columns * size, false) ||
        block->reshape(2, extents, source.typeCode()) != 0) {
        error = block->takeError();
        if (error == 0) error = AGL_E_MAPPING;
        return nullptr;
    }
    block->setRowDim(0);
    block->setColDim(1);
    copy->m_block = std::move(block);

    int32_t rowLow = 0, rowHigh = 0, colLow = 0, colHigh = 0;
    source.getRoi(source.rowDim(), rowLow, rowHigh);
    source.getRoi(source.colDim(), colLow, colHigh);
    const bool oneRow = source.rowDim() == source.colDim();
    copy->m_rowStep = oneRow ? 0 : source.rowStep();
    copy->m_colStep = source.colStep();
    copy->m_first = static_cast<const uint8_t*>(source.data()) + source.planeOffset() +
                    (firstRow - rowLow) * copy->m_rowStep +
                    (firstColumn - colLow) * copy->m_colStep;
    copy->m_rows = rows;
    copy->m_columns = columns;
    copy->m_elementSize = size;
    copy->m_hold = source.holdElements();
    return copy;
}

std::unique_ptr<aglArray> PlaneBlockCopy::fill() {
    if (!m_block) return nullptr;
    const int size = m_elementSize;
    auto* out = static_cast<uint8_t*>(m_block->mutableData());
    platform::takePages(out, size_t(m_rows * m_columns * size));
    // Bit for bit: a round trip through double and the clamping store would
    // flush tiny floats to zero.
    for (int64_t i = 0; i < m_rows; ++i) {
        const uint8_t* p = m_first + i * m_rowStep;
        if (m_colStep == size) {
            std::memcpy(out, p, size_t(m_columns * size));
            out += m_columns * size;
        } else {
            for (int64_t j = 0; j < m_columns; ++j, out += size)
                std::memcpy(out, p + j * m_colStep, size_t(size));
        }
    }
    m_hold.reset();
    return std::move(m_block);
}

std::unique_ptr<aglArray> copyPlaneBlock(const aglArray& source, int64_t firstRow,
                                         int64_t firstColumn, int64_t rows, int64_t columns,
                                         int& error) {
    std::unique_ptr<PlaneBlockCopy> copy =
        PlaneBlockCopy::prepare(source, firstRow, firstColumn, rows, columns, error);
    return copy ? copy->fill() : nullptr;
}
