#include "ArrayClipboard.h"

#include "AglAsciiFormat.h"
#include "ClipboardFormat.h"
#include "DocView.h"
#include "MessageSink.h"
#include "aglArray.h"

#include <QMimeData>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kClippedWarning = "Not all clipboard data elements copied!";

// True for text with one value on each of several lines and no header: a
// column copied from a spreadsheet. The ASCII reader makes a vector of it,
// which the paste then lays down a column, not along a row.
bool isSingleColumn(const QByteArray& text) {
    int lines = 0;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray item = line.trimmed();
        if (item.isEmpty()) continue;
        if (item.startsWith('#')) return false;
        for (char c : item)
            if (c == ' ' || c == '\t' || c == ',' || c == ';') return false;
        ++lines;
    }
    return lines > 1;
}

} // namespace

std::unique_ptr<CArrayDataSource> ArrayClipboard::copyBlock(const Target& target, bool cut) {
    aglArray* const array = target.array;
    GridHostView* const grid = target.grid;
    if (!array || !grid) return nullptr;
    int64_t r0, c0, r1, c1;
    grid->selectionRange(r0, c0, r1, c1);
    if (r0 > r1) std::swap(r0, r1);
    if (c0 > c1) std::swap(c0, c1);
    const int64_t rowCount = array->rowCount();
    const int64_t colCount = array->colCount();
    // Cells before the first element (a wrapped Fortran vector whose lower
    // bound is not a multiple of the wrap) are no elements: the block
    // starts at the first one, as it ends at the last.
    r0 = std::max<int64_t>(r0, 0);
    c0 = std::max<int64_t>(c0, 0);
    if (r0 >= rowCount || c0 >= colCount || r1 < r0 || c1 < c0) return nullptr;
    r1 = std::min(r1, rowCount - 1);
    c1 = std::min(c1, colCount - 1);
    const int64_t rows = r1 - r0 + 1;
    const int64_t columns = c1 - c0 + 1;

    // The spreadsheet's format from the values it shows now.
    std::shared_ptr<const BlockTextFormat> format = grid->clipboardTextFormat();
    int error = 0;
    std::unique_ptr<PlaneBlockCopy> block =
        PlaneBlockCopy::prepare(*array, r0, c0, rows, columns, error);
    if (!block) {
        // Nothing goes on the clipboard, and Cut must not destroy what it
        // could not keep.
        char text[160];
        std::snprintf(text, sizeof text,
                      "Unable to copy the selected block of %lld x %lld elements: %s.",
                      (long long)rows, (long long)columns,
                      error == AGL_E_TOO_LARGE ? "it is too large" : "not enough memory");
        m_sink.message(text, MessageIcon::Error);
        return nullptr;
    }
    auto source = std::make_unique<CArrayDataSource>(std::move(block),
                                                     BlockRegion{0, 0, rows, columns}, format);
    // The block is copied off this thread, and its forms rendered from the
    // copy; without the worker, the copy is made here and the forms when
    // asked for. Until the copy is made, a change to the array (Cut's
    // below) waits for it.
    source->startRendering();

    if (cut && !target.clientOwned) {
        if (!target.makeWritable || !target.makeWritable()) {
            m_sink.message("Unable to make the array writable: the block was copied, not cut.",
                           MessageIcon::Error);
        } else {
            for (int64_t i = 0; i < rows; ++i)
                for (int64_t j = 0; j < columns; ++j)
                    array->setValue(c0 + j, r0 + i, target.fillValue);
            if (target.changed) target.changed();
        }
    }
    m_dataSource = source.get();
    return source;
}

bool ArrayClipboard::canPaste(bool clientOwned, const QMimeData* data) {
    if (clientOwned || !data) return false;
    return data->hasFormat(QString::fromLatin1(kAglDataMimeType)) || data->hasText();
}

ArrayClipboard::Pasted ArrayClipboard::paste(const Target& target, const QMimeData* data) {
    Pasted pasted;
    if (!canPaste(target.clientOwned, data)) return pasted;
    std::unique_ptr<aglArray> array;
    bool column = false;
    const QString aglType = QString::fromLatin1(kAglDataMimeType);
    if (data->hasFormat(aglType)) {
        // Another program may put anything under our format's name: a
        // block that fails the checks is ignored and the text used instead.
        const QByteArray bytes = data->data(aglType);
        FormatError error;
        array = readAglData(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            size_t(bytes.size()), error);
    }
    if (!array && data->hasText()) {
        QByteArray text = data->text().toUtf8();
        // The text ends at its first zero, as a C string would.
        const qsizetype zero = text.indexOf('\0');
        if (zero >= 0) text.truncate(zero);
        // The spreadsheet writes every non-finite value as "1.#QNAN", which
        // the reader would take for 1 followed by a word.
        text.replace("1.#QNAN", "+nan");
        AsciiReadResult result = readAglAscii(text.constData(), size_t(text.size()));
        if (result.array && !result.warning.empty())
            m_sink.message(result.warning, MessageIcon::Warning);
        array = std::move(result.array);
        column = array && array->dimCount() == 1 && isSingleColumn(text);
    }
    if (!array) return pasted;

    aglArray* const into = target.array;
    if (!into) {
        pasted.done = true;
        pasted.newArray = std::move(array);
        pasted.newName = "DataSet" + std::to_string(++m_pasteCounter);
        return pasted;
    }

    // At the spreadsheet's current cell; the cursor follows it.
    int64_t r0 = target.cursorRow, c0 = target.cursorColumn;
    if (GridHostView* grid = target.grid) {
        int64_t r1, c1;
        grid->selectionRange(r0, c0, r1, c1);
        if (r0 == -1 && c0 == -1) {
            r0 = target.cursorRow;
            c0 = target.cursorColumn;
        }
    }
    // A pasted column is read as element k of the vector at (row k, 0).
    const int64_t pastedRows = column ? array->colCount() : array->rowCount();
    const int64_t pastedColumns = column ? 1 : array->colCount();
    // A current cell before the first element (a wrapped Fortran vector)
    // drops the values that would land there, and says so.
    const int64_t skipRows = std::max<int64_t>(0, -r0);
    const int64_t skipColumns = std::max<int64_t>(0, -c0);
    const int64_t rows = std::min(pastedRows, into->rowCount() - r0) - skipRows;
    const int64_t columns = std::min(pastedColumns, into->colCount() - c0) - skipColumns;
    if (rows < pastedRows || columns < pastedColumns)
        m_sink.message(kClippedWarning, MessageIcon::Warning);
    if (rows <= 0 || columns <= 0) return pasted;

    if (!target.makeWritable || !target.makeWritable()) {
        m_sink.message("Unable to make the array writable: nothing was pasted.",
                       MessageIcon::Error);
        return pasted;
    }
    std::vector<double> row(static_cast<size_t>(columns));
    for (int64_t i = 0; i < rows; ++i) {
        if (column)
            row[0] = array->value(skipRows + i, 0);
        else
            array->readRow(skipRows + i, skipColumns, columns, row.data());
        for (int64_t j = 0; j < columns; ++j)
            into->setValue(c0 + skipColumns + j, r0 + skipRows + i, row[size_t(j)]);
    }
    if (target.changed) target.changed();
    pasted.done = true;
    return pasted;
}
