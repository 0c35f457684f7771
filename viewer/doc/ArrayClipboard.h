// ArrayClipboard: the Edit commands on an array. Copy and Cut of the
// spreadsheet's selected block, Paste of "AGL DATA" or text, and the naming
// of arrays pasted into an empty document ("DataSet1", "DataSet2", ...). It
// keeps the data source it last put on the clipboard, while the clipboard
// holds it. It does not know the document: each command is handed the array
// and the spreadsheet it works on, and what to call when the array must
// become writable or has changed (a Target). User-interface thread only.
#pragma once

#include "CArrayDataSource.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class GridHostView;
class MessageSink;
class QMimeData;
class aglArray;

class ArrayClipboard {
public:
    // What one command works on.
    struct Target {
        // The array shown; nullptr when the document holds none.
        aglArray* array = nullptr;
        // The spreadsheet (its selection and number format); may be null.
        GridHostView* grid = nullptr;
        // Where a paste goes when the spreadsheet has no current cell.
        int cursorRow = 0;
        int cursorColumn = 0;
        // What Cut leaves in the block.
        double fillValue = 0.0;
        // An automation client's array: Cut only copies, Paste refuses.
        bool clientOwned = false;
        // Before the first change of the array: makes it writable (a copy of
        // a read-only mapping); false when it cannot.
        std::function<bool()> makeWritable;
        // After values changed: the document is modified and redrawn.
        std::function<void()> changed;
    };

    // What Paste did: nothing, values written into the target's array, or a
    // new array made for a target without one (the caller shows it under
    // the name given).
    struct Pasted {
        bool done = false;
        std::unique_ptr<aglArray> newArray;
        std::string newName;
    };

    explicit ArrayClipboard(MessageSink& sink) : m_sink(sink) {}
    ArrayClipboard(const ArrayClipboard&) = delete;
    ArrayClipboard& operator=(const ArrayClipboard&) = delete;

    // Copy and Cut of the spreadsheet's selected block. Returns the data
    // source to put on the clipboard (the caller owns it; its forms are
    // rendered on the clipboard's worker, from a copy of the block), or null
    // when there is no array or spreadsheet, nothing is selected inside the
    // array, or the block cannot be made (then an error is shown and, for
    // Cut, nothing is filled). Cut then writes the fill value into the
    // block, the array made writable first.
    std::unique_ptr<CArrayDataSource> copyBlock(const Target& target, bool cut);
    // Paste: "AGL DATA" when it is there and sound, else text through the
    // ASCII reader. For a target without an array, a new array; otherwise
    // at the spreadsheet's current cell, clamped by the array's conversion,
    // with one warning when the block does not fit.
    Pasted paste(const Target& target, const QMimeData* data);
    static bool canPaste(bool clientOwned, const QMimeData* data);
    // The data source last put on the clipboard while the clipboard still
    // holds it (the clipboard deletes it when replaced). It holds a copy of
    // the block: what was copied stays on the clipboard when the array goes.
    CArrayDataSource* dataSource() const { return m_dataSource; }

private:
    MessageSink& m_sink;
    QPointer<CArrayDataSource> m_dataSource;
    // Pasted arrays are named "DataSet1", "DataSet2", ...
    int m_pasteCounter = 0;
};
