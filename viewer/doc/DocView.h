// The document's side of the document/view layer. The document keeps a list
// of the views that show it and finds them by their runtime class name: the
// graph view is the view named "CGraphView" (it hosts the graph control) and
// the spreadsheet the one named "CGridView". Views are Qt widgets that live
// in the user-interface library; these interfaces are all the document knows
// of them. A view registers itself with CArrayDoc::addView and removes
// itself before it goes. User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class BlockTextFormat;
class CPlotrane2D;

inline constexpr const char* kGraphViewClass = "CGraphView";
inline constexpr const char* kControlViewClass = "CPlotrane2DView";
inline constexpr const char* kGridViewClass = "CGridView";

class DocView {
public:
    virtual ~DocView() = default;
    // The view's class name: "CGraphView", "CGridView", ...
    virtual std::string runtimeClassName() const = 0;
};

// A view that hosts the graph control ("CGraphView", "CPlotrane2DView").
class ControlHostView : public DocView {
public:
    // The control wrapper once the control exists, else nullptr.
    virtual CPlotrane2D* control() = 0;
};

// The spreadsheet view ("CGridView").
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
