// The document's side of the document/view layer. A view registers itself
// with CArrayDoc::addView under its interface, and removes itself before it
// goes: the document keeps the control hosts and the spreadsheets apart, and
// its graph pane is the control host that says it is one (isGraphPane).
// Views are Qt widgets that live in the user-interface library; these
// interfaces are all the document knows of them. User-interface thread
// only.
#pragma once

#include <cstdint>
#include <memory>

class BlockTextFormat;
class CPlotrane2D;

class DocView {
public:
    virtual ~DocView() = default;
};

// A view that hosts the graph control.
class ControlHostView : public DocView {
public:
    // The control wrapper once the control exists, else nullptr.
    virtual CPlotrane2D* control() = 0;
    // Whether this is the frame's graph pane, the view whose control the
    // document's commands drive. Every control host follows the cursor.
    virtual bool isGraphPane() const = 0;
};

// The spreadsheet view.
class GridHostView : public DocView {
public:
    // Number format: significant digits (3..15) and exponent form.
    virtual int precision() const = 0;
    virtual bool useExponent() const = 0;
    virtual void setNumberFormat(int precision, bool useExponent) = 0;
    // Moves the current cell to the array's (row, column) without telling
    // the document back.
    virtual void selectCell(int row, int column) = 0;
    // Re-reads the array's shape and redraws every cell.
    virtual void reload() = 0;
    // Redraws the cells (values may have changed, the shape has not).
    virtual void redraw() = 0;
    // Shows no array.
    virtual void clear() = 0;

    // For the clipboard. The selected block's corners in array indices:
    // first the current cell's row and column, last the selection's other
    // corner (either end may be the larger one); -1 everywhere when nothing
    // is selected. Cells before the first element of a wrapped Fortran
    // vector give negative columns.
    virtual void selectionRange(int64_t& firstRow, int64_t& firstColumn, int64_t& lastRow,
                                int64_t& lastColumn) const {
        firstRow = firstColumn = lastRow = lastColumn = -1;
    }
    // The number format of the cells on screen, made afresh from the values
    // shown now, for the clipboard's text; nullptr when the view has none.
    virtual std::shared_ptr<const BlockTextFormat> clipboardTextFormat() { return nullptr; }
};
