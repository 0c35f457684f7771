#include "CGridView.h"

#include "ClipboardFormat.h"
#include "DataViewDialog.h"
#include "GridModel.h"
#include "aglArray.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QRawFont>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>

namespace {

// Twips per character of the cell font, as the layout arithmetic counts them.
constexpr int kTwipsPerChar = 120;
// Cached for a cell outside the array (shown as two blanks).
constexpr double kOutsideMark = -1.7976931348623158e303;

int digitsOf(int64_t n) {
    return n > 0 ? int(std::floor(std::log10(double(n)))) + 1 : 1;
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// The clipboard's text in the spreadsheet's own number format: a copy of
// the format taken when the block was copied, so later changes of the view
// (or its going away) do not change what was copied.
class GridTextFormat : public BlockTextFormat {
public:
    explicit GridTextFormat(const grid::CellFormat& format) : m_format(format) {}
    void append(double value, std::string& out) const override { m_format.appendTo(value, out); }

private:
    grid::CellFormat m_format;
};

// The cells' painter. The style's own item painting asks the model for
// every role and lays each text out twice (to place it, then to draw it, with
// room for icons and check marks): with every visible cell painted again on
// each move of the marker that scrolls the sheet, it was most of a key press.
// A plain cell (not selected, not current) is one centred line of text, the
// column being as wide as its widest text, and is drawn straight; selected
// and current cells keep the style's look.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const QVariant text = index.data(Qt::DisplayRole);
        if (!text.isValid()) return;
        const QWidget* widget = option.widget;
        const QStyle* style = widget ? widget->style() : nullptr;
        const int margin =
            (style ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) : 2) + 1;
        const QPalette::ColorGroup group =
            !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
            : (option.state & QStyle::State_Active) ? QPalette::Normal
                                                    : QPalette::Inactive;
        // Placed as the style places it: the line's top on a whole pixel in
        // the middle of the cell, centred across the cell's text room.
        const QString line = text.toString();
        const QRect room = option.rect.adjusted(margin, 0, -margin, 0);
        const Glyphs& glyphs = glyphsOf(option.font);
        const bool simple = glyphs.spell(line, m_run);
        const QFontMetricsF& metrics = glyphs.metrics;
        const qreal width = simple ? m_run.width : metrics.horizontalAdvance(line);
        const QRect box = QStyle::alignedRect(option.direction, Qt::AlignVCenter,
                                              QSizeF(width, metrics.height()).toSize(), room);
        const QPointF origin(room.x() + (room.width() - width) / 2, box.top() + metrics.ascent());
        painter->save();
        painter->setFont(option.font);
        painter->setPen(option.palette.color(group, QPalette::Text));
        painter->setClipRect(option.rect, Qt::IntersectClip);
        if (simple) {
            QGlyphRun run;
            run.setRawFont(glyphs.raw);
            run.setGlyphIndexes(m_run.indexes);
            run.setPositions(m_run.positions);
            painter->drawGlyphRun(origin, run);
        } else {
            painter->drawText(origin, line);
        }
        painter->restore();
    }

private:
    // A cell's text is a number: a few characters of one font, in a sheet of
    // thousands of cells redrawn at every step through the planes. Laying
    // each one out (shaping) was most of the sheet's paint; the glyphs and
    // advances of the printable ASCII characters are looked up once per font
    // and a line of them is placed by adding up advances, as the layout does
    // for such text (no ligatures or kerning in the sheet's fixed-pitch
    // font: a font with either keeps the full layout).
    struct Run {
        QList<quint32> indexes;
        QList<QPointF> positions;
        qreal width = 0;
    };
    struct Glyphs {
        explicit Glyphs(const QFont& f) : font(f), metrics(f), raw(QRawFont::fromFont(f)) {
            if (!raw.isValid()) return;
            for (char32_t c = kFirst; c <= kLast; ++c) {
                const QString one{QChar(char16_t(c))};
                const QList<quint32> index = raw.glyphIndexesForString(one);
                if (index.size() != 1 || index[0] == 0) continue;
                glyph[c - kFirst] = index[0];
                // The layout's own advance of the character, so that a run
                // is as wide as the layout makes it.
                advance[c - kFirst] = metrics.horizontalAdvance(one);
            }
            // A pair laid out as one must be as wide as its two characters:
            // otherwise the font kerns or joins them, and every line takes
            // the full layout.
            const QString probe = QStringLiteral("-1.0e+07 9");
            qreal sum = 0;
            for (const QChar ch : probe)
                sum += advance[ch.unicode() - kFirst];
            usable = std::abs(metrics.horizontalAdvance(probe) - sum) < 1e-6;
        }
        // The glyphs of line, placed from 0, into run; false when the line
        // has a character outside the table (the caller lays it out).
        bool spell(const QString& line, Run& run) const {
            if (!usable) return false;
            run.indexes.resize(line.size());
            run.positions.resize(line.size());
            qreal x = 0;
            for (qsizetype k = 0; k < line.size(); ++k) {
                const char16_t c = line[k].unicode();
                if (c < kFirst || c > kLast || glyph[c - kFirst] == 0) return false;
                run.indexes[k] = glyph[c - kFirst];
                run.positions[k] = QPointF(x, 0);
                x += advance[c - kFirst];
            }
            run.width = x;
            return true;
        }
        static constexpr char32_t kFirst = 0x20, kLast = 0x7e;
        QFont font;
        QFontMetricsF metrics;
        QRawFont raw;
        bool usable = false;
        std::array<quint32, kLast - kFirst + 1> glyph{};
        std::array<qreal, kLast - kFirst + 1> advance{};
    };
    const Glyphs& glyphsOf(const QFont& font) const {
        if (!m_glyphs || m_glyphs->font != font) m_glyphs = std::make_unique<Glyphs>(font);
        return *m_glyphs;
    }
    mutable std::unique_ptr<Glyphs> m_glyphs;
    mutable Run m_run;
};

// The sheet's scroll bars. On a long sheet a scroll by one row moves the
// handle by less than a pixel; the bar is then left as it is painted instead
// of being painted again at every key press (a good part of one).
class SteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderValueChange && m_shown.isValid() && look() == m_shown) return;
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override {
        m_shown = look();
        QScrollBar::paintEvent(event);
    }

private:
    // What the value changes in the picture: the handle's place, and the
    // arrows, which look disabled at either end.
    struct Look {
        QRect handle;
        bool atMinimum = false, atMaximum = false;
        bool isValid() const { return handle.isValid(); }
        bool operator==(const Look& o) const {
            return handle == o.handle && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
    };
    Look look() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                value() == minimum(), value() == maximum()};
    }
    Look m_shown;
};

} // namespace

CGridView::CGridView(GridDocument* document, QWidget* parent)
    : QWidget(parent), m_document(document) {
    setObjectName("CGridView");
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    m_format = grid::buildFormat(m_type, m_precision, m_useExp, m_chars, -1.0, 1.0);
}

CGridView::~CGridView() = default;

void CGridView::createControl() {
    m_model = new GridModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName("grid");
    QWidget::layout()->addWidget(m_table);

    QFont font("Courier New");
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    m_table->setFont(font);
    m_table->horizontalHeader()->setFont(font);
    m_table->verticalHeader()->setFont(font);

    m_table->setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, m_table));
    m_table->setHorizontalScrollBar(new SteadyScrollBar(Qt::Horizontal, m_table));
    m_table->setModel(m_model);
    m_table->setItemDelegate(new CellDelegate(m_table));
    m_table->setWordWrap(false);
    m_table->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    for (QHeaderView* h : {m_table->horizontalHeader(), m_table->verticalHeader()}) {
        h->setSectionResizeMode(QHeaderView::Fixed);
        h->setMinimumSectionSize(1);
        h->setHighlightSections(true);
    }
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);

    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { refresh(); });
    connect(m_table->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { refresh(); });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) onCurrentChanged(current.row(), current.column());
            });
    m_table->installEventFilter(this);
    m_table->show();
    m_created = true;
}

int CGridView::pixelsForTwips(int twips) const {
    // The cell's own margins and grid line come on top of the characters.
    const int chars = std::max(twips / kTwipsPerChar, 1);
    return m_table->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 14;
}

void CGridView::refresh() {
    const aglArray* array = m_document ? m_document->gridArray() : nullptr;
    if (!array || m_filling) return;
    m_filling = true;
    if (!m_created) {
        createControl();
        m_table->setCurrentIndex(QModelIndex());
    }
    if (decideLayout(*array)) {
        m_model->setShape(int(std::min<int64_t>(m_rows, INT_MAX)),
                          int(std::min<int64_t>(m_columns, INT_MAX)));
        m_columnTwips = 0;
        if (m_rows > 0 && m_columns > 0) {
            m_selecting = true;
            m_table->setCurrentIndex(m_model->index(0, 0));
            m_selecting = false;
        }
    }
    // Twice: the first fill may change the column width, and with it the
    // number of visible columns.
    for (int pass = 0; pass < 2; ++pass) {
        computeChars(*array);
        prepareWindow(*array);
        fillValues(*array);
    }
    m_model->publish();
    m_filling = false;
}

void CGridView::clear() {
    m_rows = m_columns = 0;
    m_type = AGL_FLOAT;
    m_wrapOffset = 0;
    m_wrapsColumn = false;
    m_layout = Matrix;
    m_rowLabelled.clear();
    m_columnLabelled.clear();
    m_caches.clear();
    m_top = m_rowCount = m_left = m_columnCount = 0;
    m_layoutChanged = true;
    if (m_model) m_model->setShape(0, 0);
}

bool CGridView::decideLayout(const aglArray& array) {
    const int64_t r = array.rowCount();
    const int64_t c = array.colCount();
    const int type = array.typeCode();
    Layout layout = Matrix;
    int64_t rows = r, columns = c;
    int offset = 0;
    // A long single row, or a very tall single column, is wrapped.
    const bool wrapRow = !(r > 1 || (r <= 10 && c <= 10));
    const bool wrapColumn = !wrapRow && c == 1 && r > kTallColumnRows;
    if (wrapRow || wrapColumn) {
        const int64_t n = wrapRow ? c : r;
        layout = n > 2500 ? Wrap100 : Wrap10;
        const int w = layout == Wrap100 ? 100 : 10;
        const int32_t lb = array.lowerBound(wrapRow ? array.colDim() : array.rowDim());
        if (array.language() == AGL_LANG_FORTRAN && lb != 1) offset = int(((lb % w) + w) % w);
        rows = (n + offset + w - 1) / w;
        columns = w;
    }
    // The labels also depend on the language and the lower bounds, which a
    // reload can change without changing the shape.
    const bool same = layout == m_layout && rows == m_rows && columns == m_columns &&
                      type == m_type && offset == m_wrapOffset && wrapColumn == m_wrapsColumn &&
                      !m_rowLabelled.empty();
    m_layout = layout;
    m_wrapOffset = offset;
    m_wrapsColumn = wrapColumn;
    if (same && array.language() == m_language && array.lowerBound(array.rowDim()) == m_rowBase &&
        array.lowerBound(array.colDim()) == m_columnBase)
        return false;
    m_language = array.language();
    m_rowBase = array.lowerBound(array.rowDim());
    m_columnBase = array.lowerBound(array.colDim());
    m_rows = rows;
    m_columns = columns;
    m_type = type;
    m_rowLabelled.assign(size_t(rows), false);
    m_columnLabelled.assign(size_t(columns), false);
    m_caches.clear();
    m_layoutChanged = true;
    m_labelTwips = kTwipsPerChar * (digitsOf(std::max<int64_t>(rows, 1)) + 2);
    return true;
}

void CGridView::computeChars(const aglArray& array) {
    const int chars = grid::charsPerCell(array.typeCode(), m_useExp, m_precision, m_columns);
    if (chars != m_chars) {
        m_chars = chars;
        m_layoutChanged = true;
    }
}

void CGridView::applyColumnWidths() {
    const int chars = std::max(m_chars, m_textChars);
    if (m_columnTwips != kTwipsPerChar * chars) {
        m_columnTwips = kTwipsPerChar * chars;
        m_table->horizontalHeader()->setDefaultSectionSize(pixelsForTwips(m_columnTwips));
    }
    const int labelPixels = pixelsForTwips(m_labelTwips);
    if (m_table->verticalHeader()->minimumWidth() != labelPixels ||
        m_table->verticalHeader()->maximumWidth() != labelPixels)
        m_table->verticalHeader()->setFixedWidth(labelPixels);
}

void CGridView::prepareWindow(const aglArray& array) {
    applyColumnWidths();

    int64_t top = m_table->rowAt(0);
    int64_t left = m_table->columnAt(0);
    int64_t rowCount = 0, columnCount = 0;
    if (top >= 0 && left >= 0 && m_rows > 0 && m_columns > 0) {
        const QRect view = m_table->viewport()->rect();
        int64_t bottom = m_table->rowAt(view.height() - 1);
        if (bottom < 0) bottom = m_rows - 1;
        int64_t right = m_table->columnAt(view.width() - 1);
        if (right < 0) right = m_columns - 1;
        rowCount = std::max<int64_t>(bottom - top + 1, 0);
        columnCount = std::min<int64_t>(right - left + 1 + 4, m_columns - left);
    } else {
        top = left = 0;
    }

    const bool fortran = array.language() == AGL_LANG_FORTRAN;
    const int64_t colLb = fortran ? array.lowerBound(array.colDim()) : 0;
    const int64_t rowLb = fortran ? array.lowerBound(array.rowDim()) : 0;
    // The lower bound of the dimension a wrapped vector runs along.
    const int64_t vectorLb = m_wrapsColumn ? rowLb : colLb;
    const int w = wrapWidth();

    for (int64_t c = left; c < left + columnCount; ++c) {
        if (m_columnLabelled[size_t(c)]) continue;
        int64_t label;
        if (m_layout == Matrix)
            label = c + colLb;
        else
            label = (fortran && vectorLb == 1) ? c + 1 : c;
        m_model->setColumnLabel(int(c), QString::number(label));
        m_columnLabelled[size_t(c)] = true;
    }
    const int64_t base = fortran ? floorDiv(vectorLb, w) * w : 0;
    for (int64_t r = top; r < top + rowCount; ++r) {
        if (m_rowLabelled[size_t(r)]) continue;
        const int64_t label = m_layout == Matrix ? r + rowLb : base + w * r;
        m_model->setRowLabel(int(r), QString::number(label));
        m_rowLabelled[size_t(r)] = true;
    }

    // A new cell width means new texts everywhere: forget what was written.
    if (m_layoutChanged) {
        m_caches.clear();
        m_textChars = 0;
    }
    for (int64_t r = top; r < top + rowCount; ++r) {
        RowCache& cache = m_caches[r];
        const int64_t end = left + columnCount;
        if (int64_t(cache.values.size()) != columnCount) {
            m_model->retainRowColumns(int(r), int(cache.first), int(cache.end), int(left),
                                      int(end));
            cache.values.assign(size_t(columnCount), grid::kNotWritten);
        } else if (cache.first != left) {
            std::vector<double> moved(size_t(columnCount), grid::kNotWritten);
            for (int64_t c = std::max(left, cache.first); c < std::min(end, cache.end); ++c)
                moved[size_t(c - left)] = cache.values[size_t(c - cache.first)];
            m_model->retainRowColumns(int(r), int(cache.first), int(cache.end), int(left),
                                      int(end));
            cache.values.swap(moved);
        }
        cache.first = left;
        cache.end = end;
    }
    m_top = top;
    m_rowCount = rowCount;
    m_left = left;
    m_columnCount = columnCount;
    m_layoutChanged = false;
}

void CGridView::fillValues(const aglArray& array) {
    if (m_rowCount <= 0 || m_columnCount <= 0) {
        m_format = grid::buildFormat(array.typeCode(), m_precision, m_useExp, m_chars, -1.0, 1.0);
        return;
    }
    const size_t n = size_t(m_rowCount * m_columnCount);
    std::vector<double> values(n);
    std::vector<char> inside(n, 1);
    const int64_t vectorLength = m_wrapsColumn ? array.rowCount() : array.colCount();
    for (int64_t i = 0; i < m_rowCount; ++i) {
        const int64_t r = m_top + i;
        double* row = values.data() + i * m_columnCount;
        char* in = inside.data() + i * m_columnCount;
        if (m_layout == Matrix) {
            array.readRow(r, m_left, m_columnCount, row);
        } else {
            const int64_t start = wrappedColumn(r, m_left);
            if (m_wrapsColumn) {
                for (int64_t j = 0; j < m_columnCount; ++j)
                    row[j] = array.value(0, start + j);
            } else {
                array.readRow(0, start, m_columnCount, row);
            }
            for (int64_t j = 0; j < m_columnCount; ++j)
                in[j] = (start + j >= 0 && start + j < vectorLength) ? 1 : 0;
        }
    }

    double lo = -1.0, hi = 1.0, smallest = 0.0;
    for (size_t k = 0; k < n; ++k) {
        if (!inside[k] || !std::isfinite(values[k])) continue;
        lo = std::min(lo, values[k]);
        hi = std::max(hi, values[k]);
        const double magnitude = std::fabs(values[k]);
        if (magnitude > 0 && (smallest == 0 || magnitude < smallest)) smallest = magnitude;
    }
    const grid::CellFormat previous = m_format;
    m_format =
        grid::buildFormat(array.typeCode(), m_precision, m_useExp, m_chars, lo, hi, smallest);
    // The format follows the values on screen. When it changes, the cells
    // written with the old one are written again, so that a column never
    // mixes two numbers of decimals.
    if (m_format.cellFormat != previous.cellFormat ||
        m_format.fallbackFormat != previous.fallbackFormat || m_format.nanText != previous.nanText)
        for (int64_t i = 0; i < m_rowCount; ++i)
            for (double& cached : m_caches[m_top + i].values)
                if (cached != kOutsideMark) cached = grid::kNotWritten;

    for (int64_t i = 0; i < m_rowCount; ++i) {
        const int64_t r = m_top + i;
        RowCache& cache = m_caches[r];
        for (int64_t j = 0; j < m_columnCount; ++j) {
            const size_t k = size_t(i * m_columnCount + j);
            double& cached = cache.values[size_t(j)];
            const int column = int(m_left + j);
            if (!inside[k]) {
                if (cached != kOutsideMark) {
                    cached = kOutsideMark;
                    m_model->setCellText(int(r), column, QString::fromLatin1(grid::kOutsideText));
                }
                continue;
            }
            const double v = values[k];
            const bool finite = std::isfinite(v);
            if (finite && v == cached) continue;
            // A non-finite value stays "not written", so that a later finite
            // value replaces its text whatever that value is.
            cached = finite ? v : grid::kNotWritten;
            const std::string text = m_format.format(v);
            m_textChars = std::max(m_textChars, int(text.size()));
            m_model->setCellText(int(r), column, QString::fromStdString(text));
        }
    }
    // A text wider than the cell (one huge value among small ones) widens
    // every column rather than being cut off.
    applyColumnWidths();
}

void CGridView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The table's viewport takes its new size after this event: fill then.
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void CGridView::onCurrentChanged(int row, int column) {
    if (m_selecting || m_filling || !m_document) return;
    if (m_layout == Matrix) {
        m_document->moveMarker(row, column, this);
    } else {
        int64_t r, c;
        wrappedPosition(wrappedColumn(row, column), r, c);
        m_document->moveMarker(r, c, this);
    }
}

void CGridView::selectCell(int64_t row, int64_t column) {
    if (!m_created || m_rows <= 0 || m_columns <= 0) return;
    if (m_layout != Matrix) {
        const int64_t i = m_wrapsColumn ? row : column;
        row = (i + m_wrapOffset) / wrapWidth();
        column = (i + m_wrapOffset) % wrapWidth();
    }
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns) return;
    // The marker coming back to the cell that is already current (the graph
    // echoing a move made here) keeps the user's selected block.
    const QModelIndex current = m_table->currentIndex();
    if (current.isValid() && current.row() == int(row) && current.column() == int(column)) return;
    m_selecting = true;
    m_table->setCurrentIndex(m_model->index(int(row), int(column)));
    // Scroll only a table that has its size: before the window is shown the
    // viewport is a stand-in and would scroll the first cells out of view.
    if (m_table->isVisible()) {
        const QRect view = m_table->viewport()->rect();
        const int64_t top = std::max(m_table->rowAt(0), 0);
        const int64_t left = std::max(m_table->columnAt(0), 0);
        // Whole rows and columns only: a half-shown last one does not count.
        int64_t bottom = m_table->rowAt(view.height());
        bottom = bottom < 0 ? m_rows - 1 : bottom - 1;
        int64_t right = m_table->columnAt(view.width());
        right = right < 0 ? m_columns - 1 : right - 1;
        const int64_t rows = std::max<int64_t>(bottom - top + 1, 1);
        const int64_t columns = std::max<int64_t>(right - left + 1, 1);
        QScrollBar* vertical = m_table->verticalScrollBar();
        QScrollBar* horizontal = m_table->horizontalScrollBar();
        if (row < top)
            vertical->setValue(int(row));
        else if (row > top + rows - 1)
            vertical->setValue(int(row - rows + 1));
        if (column < left)
            horizontal->setValue(int(column));
        else if (column > left + columns - 1)
            horizontal->setValue(int(column - columns + 1));
    }
    m_selecting = false;
    refresh();
}

void CGridView::setPrecision(int precision) {
    precision = grid::clampPrecision(precision);
    if (precision == m_precision) return;
    m_precision = precision;
    clear();
}

void CGridView::setNumberFormat(int precision, bool useExponent) {
    setPrecision(precision);
    setUseExp(useExponent);
    refresh();
}

void CGridView::reload() {
    clear();
    refresh();
}

void CGridView::setUseExp(bool useExp) {
    if (useExp == m_useExp) return;
    m_useExp = useExp;
    clear();
}

void CGridView::selectionRange(int64_t& firstRow, int64_t& firstColumn, int64_t& lastRow,
                               int64_t& lastColumn) const {
    firstRow = firstColumn = lastRow = lastColumn = -1;
    if (!m_created) return;
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid()) return;
    int otherRow = current.row(), otherColumn = current.column();
    for (const QItemSelectionRange& range : m_table->selectionModel()->selection()) {
        if (!range.contains(current)) continue;
        otherRow = range.top() == current.row() ? range.bottom() : range.top();
        otherColumn = range.left() == current.column() ? range.right() : range.left();
        break;
    }
    if (m_layout == Matrix) {
        firstRow = current.row();
        firstColumn = current.column();
        lastRow = otherRow;
        lastColumn = otherColumn;
    } else {
        wrappedPosition(wrappedColumn(current.row(), current.column()), firstRow, firstColumn);
        wrappedPosition(wrappedColumn(otherRow, otherColumn), lastRow, lastColumn);
    }
}

std::shared_ptr<const BlockTextFormat> CGridView::clipboardTextFormat() {
    const aglArray* array = m_document ? m_document->gridArray() : nullptr;
    if (!array) return nullptr;
    // The format depends on the values on screen: build it from them now.
    refresh();
    if (m_format.type != array->typeCode())
        m_format = grid::buildFormat(array->typeCode(), m_precision, m_useExp, m_chars, -1.0, 1.0);
    return std::make_shared<GridTextFormat>(m_format);
}

bool CGridView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_table || event->type() != QEvent::KeyPress || !m_document)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    int dRow = 0, dColumn = 0;
    switch (key->key()) {
    case Qt::Key_Left:
        dColumn = -1;
        break;
    case Qt::Key_Right:
        dColumn = 1;
        break;
    // Rows count upwards, as on the graph below the spreadsheet.
    case Qt::Key_Up:
        dRow = 1;
        break;
    case Qt::Key_Down:
        dRow = -1;
        break;
    default:
        return QWidget::eventFilter(watched, event);
    }
    const aglArray* array = m_document->gridArray();
    const QModelIndex current = m_table->currentIndex();
    if (!array || !current.isValid()) return true;
    int64_t row, column;
    if (m_layout == Matrix) {
        row = current.row();
        column = current.column();
    } else {
        wrappedPosition(wrappedColumn(current.row(), current.column()), row, column);
    }
    row += dRow;
    column += dColumn;
    if (row >= 0 && row < array->rowCount() && column >= 0 && column < array->colCount()) {
        m_document->moveMarker(row, column, this);
        // The document moves the other views; this one moves itself.
        selectCell(row, column);
    }
    return true;
}

void CGridView::showDataViewDialog() {
    DataViewDialog dialog(this);
    dialog.exec();
}
