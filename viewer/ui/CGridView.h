// CGridView: the spreadsheet in the upper pane of the main frame.
//
// Shows the current array's plane as rows and columns of numbers with index
// labels (C indices from 0, Fortran indices from each dimension's lower
// bound). A single row of more than 10 elements is wrapped into grid rows of
// 10 (or 100 beyond 2500 elements) so that a row label plus a column label is
// the element's index. A single column of more than kTallColumnRows elements
// is wrapped the same way (by 100): a table keeps state for every one of its
// rows, which for a column of 2^30 elements would be gigabytes and a minute
// of start-up. Only the visible cells (plus four columns to the right)
// are read and written; a per-row cache of the values last written means a
// refresh rewrites only cells whose value changed. The number format is
// rebuilt from the visible values on every fill (precision 3..15, fixed or
// exponent form).
//
// The view follows the document's marker (selectCell) and moves it when the
// user moves the current cell. User-interface thread only.
#pragma once

#include "DocView.h"
#include "GridFormat.h"

#include <QWidget>

#include <cstdint>
#include <unordered_map>
#include <vector>

class aglArray;
class GridModel;
class QTableView;

// What the spreadsheet needs from the document.
class GridDocument {
public:
    virtual ~GridDocument() = default;
    // The array to show, or nullptr when the document holds no data.
    virtual const aglArray* gridArray() const = 0;
    // The user moved the current cell to (row, column) of the array's plane.
    virtual void moveMarker(int64_t row, int64_t column, QObject* from) = 0;
};

class CGridView : public QWidget, public GridHostView {
    Q_OBJECT
public:
    enum Layout { Matrix = 0, Wrap10 = 1, Wrap100 = 2 };
    // Longest single column shown one array row per grid row.
    static constexpr int64_t kTallColumnRows = int64_t(1) << 20;

    explicit CGridView(GridDocument* document, QWidget* parent = nullptr);
    ~CGridView() override;

    // Rebuilds the layout if the array's shape or type changed and fills the
    // visible cells. Does nothing while the document holds no array.
    void refresh();
    // Empties the layout; the next refresh rebuilds everything.
    void clear() override;
    // Makes array (row, column) the current cell and scrolls it into view.
    void selectCell(int64_t row, int64_t column);

    // The document's side of the view.
    int precision() const override { return m_precision; }
    bool useExponent() const override { return m_useExp; }
    void setNumberFormat(int precision, bool useExponent) override;
    void selectCell(int row, int column) override { selectCell(int64_t(row), int64_t(column)); }
    // A new array (or the same one reloaded): layout and every cell anew.
    void reload() override;
    // Values may have changed: rewrites the cells whose value did.
    void redraw() override { refresh(); }

    // Each clears the grid when the value changes (out-of-range precisions are clamped).
    void setPrecision(int precision);
    void setUseExp(bool useExp);
    bool useExp() const { return m_useExp; }

    // First and last selected array row and column; -1 where nothing is selected.
    void selectionRange(int64_t& firstRow, int64_t& firstColumn, int64_t& lastRow,
                        int64_t& lastColumn) const override;
    // The cell format of the values on screen (refreshed first), for the
    // clipboard's text.
    std::shared_ptr<const BlockTextFormat> clipboardTextFormat() override;

    // Shows the Data View dialog (precision and exponent form).
    void showDataViewDialog();

    Layout gridLayout() const { return m_layout; }
    int wrapOffset() const { return m_wrapOffset; }
    bool wrapsColumn() const { return m_wrapsColumn; }
    int64_t layoutRows() const { return m_rows; }
    int64_t layoutColumns() const { return m_columns; }
    int charsPerCell() const { return m_chars; }
    const grid::CellFormat& cellFormat() const { return m_format; }
    // Nullptr until the first refresh creates the table.
    QTableView* table() const { return m_table; }
    GridModel* model() const { return m_model; }

signals:
    // Emitted after Apply/OK of the Data View dialog changed the look.
    void dataViewChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct RowCache {
        int64_t first = 0; // first layout column covered
        int64_t end = 0;   // one past the last
        std::vector<double> values;
    };

    void createControl();
    bool decideLayout(const aglArray& array);
    void computeChars(const aglArray& array);
    void prepareWindow(const aglArray& array);
    void fillValues(const aglArray& array);
    void applyColumnWidths();
    int pixelsForTwips(int twips) const;
    int wrapWidth() const { return m_layout == Wrap100 ? 100 : 10; }
    // Index along the wrapped vector (the array column of a wrapped row, the
    // array row of a wrapped column) of a layout cell; may lie outside it.
    int64_t wrappedColumn(int64_t row, int64_t column) const {
        return row * wrapWidth() + column - m_wrapOffset;
    }
    // The array position (row, column) of index i along the wrapped vector.
    void wrappedPosition(int64_t i, int64_t& row, int64_t& column) const {
        row = m_wrapsColumn ? i : 0;
        column = m_wrapsColumn ? 0 : i;
    }
    void onCurrentChanged(int row, int column);
    void resetCaches();

    GridDocument* m_document;
    QTableView* m_table = nullptr;
    GridModel* m_model = nullptr;
    bool m_created = false;
    bool m_filling = false;
    bool m_selecting = false;

    Layout m_layout = Matrix;
    int64_t m_rows = 0;
    int64_t m_columns = 0;
    int m_type = 4102; // AGL_FLOAT while empty
    int m_wrapOffset = 0;
    bool m_wrapsColumn = false; // the wrapped vector is a single column
    int m_language = 0;         // language and lower bounds the labels were made for
    int32_t m_rowBase = 0;
    int32_t m_columnBase = 0;
    std::vector<bool> m_rowLabelled;
    std::vector<bool> m_columnLabelled;
    std::unordered_map<int64_t, RowCache> m_caches;
    int m_chars = 1;
    int m_textChars = 0; // longest text written since the layout changed
    bool m_layoutChanged = false;

    int64_t m_top = 0, m_rowCount = 0, m_left = 0, m_columnCount = 0;

    int m_precision = grid::kDefaultPrecision;
    bool m_useExp = false;
    grid::CellFormat m_format;
    int m_labelTwips = 0;
    int m_columnTwips = 0;
};
