// The spreadsheet over real arrays: layouts, labels, the value cache, number
// formats and the marker, in a real table view.
#include "CGridView.h"
#include "DataViewDialog.h"
#include "GridModel.h"
#include "ImageCompare.h"
#include "QtTestApp.h"
#include "TestArrays.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace {

// A document holding one array that records marker moves and, like the real
// one, moves the grid's cell in return.
class FakeDocument : public GridDocument {
public:
    const aglArray* gridArray() const override { return array; }
    void moveMarker(int64_t row, int64_t column, QObject*) override {
        moves.push_back({row, column});
        if (grid) grid->selectCell(row, column);
    }
    const aglArray* array = nullptr;
    CGridView* grid = nullptr;
    std::vector<std::pair<int64_t, int64_t>> moves;
};

class GridViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        view = std::make_unique<CGridView>(&doc);
        doc.grid = view.get();
        view->resize(700, 300);
        view->show();
        settle();
    }
    void show(aglArray* a) {
        doc.array = a;
        view->clear();
        view->refresh();
        settle();
        view->refresh();
    }
    QString cell(int r, int c) const { return view->model()->cellText(r, c); }
    QString rowLabel(int r) const { return view->model()->rowLabel(r); }
    QString columnLabel(int c) const { return view->model()->columnLabel(c); }

    FakeDocument doc;
    std::unique_ptr<CGridView> view;
};

TEST_F(GridViewTest, SmallCArrayHasZeroBasedLabelsAndFixedCells) {
    auto a = makeArray({3, 4}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return r == 2 && c == 3 ? 123.45 : r * 10 + c; });
    show(a.get());
    EXPECT_EQ(view->gridLayout(), CGridView::Matrix);
    EXPECT_EQ(view->layoutRows(), 3);
    EXPECT_EQ(view->layoutColumns(), 4);
    EXPECT_EQ(rowLabel(0), "0");
    EXPECT_EQ(rowLabel(2), "2");
    EXPECT_EQ(columnLabel(0), "0");
    EXPECT_EQ(columnLabel(3), "3");
    EXPECT_EQ(view->cellFormat().cellFormat, "% 9.4f");
    EXPECT_EQ(cell(2, 3), " 123.4500");
    EXPECT_EQ(cell(1, 2), "  12.0000");
}

TEST_F(GridViewTest, FortranThreeDimensionalArrayLabelsUseLowerBounds) {
    // real*4 M(0:4, -2:3, 2): stored extents 2, 6, 5 with bounds 1, -2, 0.
    auto a = makeArray({2, 6, 5}, AGL_FLOAT, AGL_LANG_FORTRAN, {1, -2, 0});
    a->setRowDim(1);
    a->setColDim(2);
    fillPlane(*a, [](int64_t c, int64_t r) { return r + c / 10.0; });
    show(a.get());
    EXPECT_EQ(view->layoutRows(), 6);
    EXPECT_EQ(view->layoutColumns(), 5);
    EXPECT_EQ(rowLabel(0), "-2");
    EXPECT_EQ(rowLabel(5), "3");
    EXPECT_EQ(columnLabel(0), "0");
    EXPECT_EQ(columnLabel(4), "4");
}

TEST_F(GridViewTest, FortranLowerBoundOneStartsLabelsAtOne) {
    auto a = makeArray({3, 4}, AGL_DOUBLE, AGL_LANG_FORTRAN);
    a->setRowDim(0);
    a->setColDim(1);
    show(a.get());
    EXPECT_EQ(rowLabel(0), "1");
    EXPECT_EQ(columnLabel(0), "1");
    EXPECT_EQ(columnLabel(3), "4");
}

struct WrapCase {
    int32_t length;
    CGridView::Layout layout;
    int64_t rows;
    int64_t columns;
};
// ctest shows the case by what it holds.
void PrintTo(const WrapCase& c, std::ostream* out) {
    *out << c.length << " values";
}

class GridWrapTest : public GridViewTest, public ::testing::WithParamInterface<WrapCase> {};

TEST_P(GridWrapTest, SingleRowLayout) {
    const WrapCase w = GetParam();
    auto a = makeArray({w.length}, AGL_SHORT, AGL_LANG_C);
    show(a.get());
    EXPECT_EQ(view->gridLayout(), w.layout);
    EXPECT_EQ(view->layoutRows(), w.rows);
    EXPECT_EQ(view->layoutColumns(), w.columns);
}

INSTANTIATE_TEST_SUITE_P(Lengths, GridWrapTest,
                         ::testing::Values(WrapCase{8, CGridView::Matrix, 1, 8},
                                           WrapCase{10, CGridView::Matrix, 1, 10},
                                           WrapCase{25, CGridView::Wrap10, 3, 10},
                                           WrapCase{2500, CGridView::Wrap10, 250, 10},
                                           WrapCase{3000, CGridView::Wrap100, 30, 100}));

TEST_F(GridViewTest, WrappedFortranVectorKeepsLabelsOnMultiplesOfTen) {
    // M(5:34): offset 5, row labels 0, 10, 20, 30, column labels 0..9.
    auto a = makeArray({30}, AGL_LONG, AGL_LANG_FORTRAN, {5});
    fillPlane(*a, [](int64_t c, int64_t) { return double(c + 5); }); // value = index
    show(a.get());
    EXPECT_EQ(view->gridLayout(), CGridView::Wrap10);
    EXPECT_EQ(view->wrapOffset(), 5);
    EXPECT_EQ(view->layoutRows(), 4);
    EXPECT_EQ(rowLabel(0), "0");
    EXPECT_EQ(rowLabel(1), "10");
    EXPECT_EQ(rowLabel(3), "30");
    EXPECT_EQ(columnLabel(0), "0");
    EXPECT_EQ(columnLabel(9), "9");
    // Row label + column label = the element's index = its value here.
    EXPECT_EQ(cell(0, 5).trimmed(), "5");
    EXPECT_EQ(cell(2, 7).trimmed(), "27");
    EXPECT_EQ(cell(0, 4), "  "); // before the first element
    EXPECT_EQ(cell(3, 5), "  "); // past the last (index 35)
    EXPECT_EQ(cell(3, 4).trimmed(), "34");
}

TEST_F(GridViewTest, WrappedNegativeLowerBoundRoundsBaseDown) {
    auto a = makeArray({20}, AGL_UCHAR, AGL_LANG_FORTRAN, {-3});
    show(a.get());
    EXPECT_EQ(view->wrapOffset(), 7);
    EXPECT_EQ(rowLabel(0), "-10");
    EXPECT_EQ(rowLabel(1), "0");
    EXPECT_EQ(view->layoutRows(), 3);
}

TEST_F(GridViewTest, RefreshRewritesOnlyChangedCells) {
    auto a = makeArray({6, 5}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return r + c * 0.5; });
    show(a.get());
    const int64_t before = view->model()->cellWrites();
    view->refresh();
    EXPECT_EQ(view->model()->cellWrites(), before);

    a->setValue(2, 3, 9.25);
    a->setValue(4, 5, -1.5);
    view->refresh();
    EXPECT_EQ(view->model()->cellWrites(), before + 2);
    EXPECT_EQ(cell(3, 2).trimmed(), "9.250000");
}

// The sheet draws its plain cells itself (the style's item painting costs
// several times as much); the picture must stay the style's, text for text,
// and a cell selected by a click keeps the style's highlight.
TEST_F(GridViewTest, CellsLookAsTheStyleDrawsThem) {
    auto a = makeArray({12, 6}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return (r - 5) * 1.25 + c * 100.0; });
    show(a.get());
    QTableView* table = view->table();
    const QRect selected = table->visualRect(view->model()->index(2, 3));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, selected.center());
    ASSERT_TRUE(table->selectionModel()->isSelected(view->model()->index(2, 3)));
    const QImage own = table->viewport()->grab().toImage();
    QAbstractItemDelegate* delegate = table->itemDelegate();
    QStyledItemDelegate styles;
    table->setItemDelegate(&styles);
    const QImage style = table->viewport()->grab().toImage();
    table->setItemDelegate(delegate);
    ASSERT_EQ(own.size(), style.size());
    EXPECT_EQ(tavrix::test::countDifferentPixels(own, style, 0), 0);
    // And the cells do show text: a plain cell is not left blank.
    const QRect plain = table->visualRect(view->model()->index(5, 1));
    const QImage cellPicture = own.copy(plain.adjusted(2, 2, -2, -2));
    int inked = 0;
    const QRgb paper = cellPicture.pixel(0, 0);
    for (int y = 0; y < cellPicture.height(); ++y)
        for (int x = 0; x < cellPicture.width(); ++x)
            inked += cellPicture.pixel(x, y) != paper;
    EXPECT_GT(inked, 10);
}

// Values below 2^-15 were all written 0.000000: a field of 1e-6 values, or
// one value of 1.26e-5 among zeros.
TEST_F(GridViewTest, SmallNonzeroValuesNeverShowAsZeros) {
    auto field = makeArray({3, 4}, AGL_DOUBLE, AGL_LANG_C);
    fillPlane(*field, [](int64_t c, int64_t r) { return 1e-6 * double(1 + r * 4 + c); });
    show(field.get());
    EXPECT_EQ(cell(0, 0), " 1.000000e-06");
    EXPECT_EQ(cell(2, 3), " 1.200000e-05");

    // Once the values have digits the fixed form can show, it comes back.
    fillPlane(*field, [](int64_t c, int64_t r) { return 0.25 * double(r + c); });
    view->refresh();
    EXPECT_EQ(cell(0, 1), " 0.250000");

    auto single = makeArray({3, 4}, AGL_FLOAT, AGL_LANG_C);
    single->setValue(2, 1, 1.26e-5);
    show(single.get());
    EXPECT_EQ(cell(1, 2), " 0.000013");
    EXPECT_EQ(cell(0, 0), " 0.000000");
}

TEST_F(GridViewTest, NonFiniteCellIsReplacedWhenValueBecomesZero) {
    auto a = makeArray({2, 3}, AGL_FLOAT, AGL_LANG_C);
    a->setValue(1, 1, std::nan(""));
    show(a.get());
    EXPECT_EQ(cell(1, 1).trimmed(), "1.#QNAN");
    a->setValue(1, 1, 0.0);
    view->refresh();
    EXPECT_EQ(cell(1, 1).trimmed(), "0.000000");
}

TEST_F(GridViewTest, PrecisionAndExponentFormChangeCellTexts) {
    auto a = makeArray({2, 2}, AGL_DOUBLE, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return 1.0 / 3.0 + r + c; });
    show(a.get());
    EXPECT_EQ(cell(0, 0), " 0.333333");

    const int64_t writes = view->model()->cellWrites();
    view->setPrecision(6); // unchanged: the grid is left alone
    view->refresh();
    EXPECT_EQ(view->model()->cellWrites(), writes);

    view->setPrecision(3);
    view->refresh();
    EXPECT_EQ(cell(0, 0), " 0.333");
    view->setUseExp(true);
    view->refresh();
    EXPECT_EQ(cell(0, 0), " 3.333e-01");
    EXPECT_EQ(cell(1, 1), " 2.333e+00");
    view->setPrecision(99);
    EXPECT_EQ(view->precision(), 15);
}

TEST_F(GridViewTest, ScrollingFillsNewlyVisibleCellsOnly) {
    auto a = makeArray({2000, 300}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return r * 1000.0 + c; });
    show(a.get());
    const int stored = view->model()->storedCells();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 2000); // a window, not the array
    EXPECT_TRUE(cell(1999, 0).isEmpty());
    view->table()->verticalScrollBar()->setValue(1990);
    settle();
    EXPECT_EQ(cell(1995, 1).trimmed(), "1995001.0");
    EXPECT_EQ(rowLabel(1995), "1995");
}

TEST_F(GridViewTest, ScrollingBackToCachedCellsWritesNothing) {
    auto a = makeArray({400, 50}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(r * 0.1) * std::cos(c * 0.2); });
    show(a.get());
    QScrollBar* bar = view->table()->verticalScrollBar();
    bar->setValue(100);
    settle();
    const int64_t writes = view->model()->cellWrites();
    bar->setValue(0);
    settle();
    bar->setValue(100);
    settle();
    EXPECT_EQ(view->model()->cellWrites(), writes);
}

// Painting a scroll bar was a good part of a key press: on a long sheet a
// scroll by one row leaves the handle where it is, and the bar is not painted
// again; a move that shifts the handle is.
TEST_F(GridViewTest, ScrollBarOfALongSheetIsPaintedOnlyWhenItsHandleMoves) {
    auto a = makeArray({20000, 3}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return r + c * 0.25; });
    show(a.get());
    QTableView* table = view->table();
    QScrollBar* bar = table->verticalScrollBar();
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    bar->installEventFilter(&counter);
    // Pending paints are done at once (the window's update request).
    const auto paintNow = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        settle();
    };
    // Away from the top (where the up arrow's look changes with the first
    // scroll), the marker at the sheet's bottom row.
    view->selectCell(200, 0);
    table->setFocus();
    paintNow();
    counter.paints = 0;
    // Up goes to the next row: the sheet scrolls a row at a time.
    const int top = bar->value();
    for (int k = 0; k < 200 && bar->value() < top + 3; ++k) {
        QTest::keyClick(table, Qt::Key_Up);
        paintNow();
    }
    ASSERT_EQ(bar->value(), top + 3);
    EXPECT_EQ(counter.paints, 0);
    view->selectCell(15000, 0);
    paintNow();
    EXPECT_GT(counter.paints, 0);
}

TEST_F(GridViewTest, MarkerFollowsDocumentAndScrollsIntoView) {
    auto a = makeArray({500, 400}, AGL_FLOAT, AGL_LANG_C);
    show(a.get());
    view->selectCell(300, 250);
    settle();
    const QModelIndex current = view->table()->currentIndex();
    EXPECT_EQ(current.row(), 300);
    EXPECT_EQ(current.column(), 250);
    const int top = view->table()->rowAt(0);
    EXPECT_LE(top, 300);
    EXPECT_GE(view->table()->rowAt(view->table()->viewport()->height() - 1), 300);
    EXPECT_FALSE(cell(300, 250).isEmpty());
}

TEST_F(GridViewTest, ClickingACellMovesTheDocumentMarker) {
    auto a = makeArray({25}, AGL_FLOAT, AGL_LANG_C);
    show(a.get());
    doc.moves.clear();
    view->table()->setCurrentIndex(view->model()->index(1, 3));
    ASSERT_FALSE(doc.moves.empty());
    EXPECT_EQ(doc.moves.back(), std::make_pair(int64_t(0), int64_t(13)));
}

TEST_F(GridViewTest, ArrowKeysMoveMarkerInsideTheArrayOnly) {
    auto a = makeArray({3, 4}, AGL_FLOAT, AGL_LANG_C);
    show(a.get());
    view->selectCell(0, 0);
    doc.moves.clear();
    auto press = [&](int key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(view->table(), &e);
    };
    press(Qt::Key_Left); // column -1: outside
    press(Qt::Key_Down); // row -1: outside
    EXPECT_TRUE(doc.moves.empty());
    press(Qt::Key_Right);
    press(Qt::Key_Up); // rows count upwards
    ASSERT_EQ(doc.moves.size(), 2u);
    EXPECT_EQ(doc.moves[1], std::make_pair(int64_t(1), int64_t(1)));
    EXPECT_EQ(view->table()->currentIndex().row(), 1);
}

TEST_F(GridViewTest, SelectionRangeInWrappedLayoutIsInArrayColumns) {
    auto a = makeArray({40}, AGL_FLOAT, AGL_LANG_C);
    show(a.get());
    QTableView* t = view->table();
    t->setCurrentIndex(view->model()->index(1, 2));
    t->selectionModel()->select(
        QItemSelection(view->model()->index(1, 2), view->model()->index(2, 4)),
        QItemSelectionModel::ClearAndSelect);
    int64_t r0, c0, r1, c1;
    view->selectionRange(r0, c0, r1, c1);
    EXPECT_EQ(r0, 0);
    EXPECT_EQ(c0, 12);
    EXPECT_EQ(r1, 0);
    EXPECT_EQ(c1, 24);
}

TEST_F(GridViewTest, UlongAboveTwoToThe31IsUnsigned) {
    auto a = makeArray({2, 2}, AGL_ULONG, AGL_LANG_C);
    a->setValue(0, 0, 3000000000.0);
    show(a.get());
    EXPECT_EQ(cell(0, 0).trimmed(), "3000000000");
}

TEST_F(GridViewTest, NoArrayNoGrid) {
    view->refresh();
    EXPECT_EQ(view->table(), nullptr);
}

} // namespace

namespace {

TEST_F(GridViewTest, DataViewDialogAppliesAndCancelUndoesApply) {
    auto a = makeArray({2, 2}, AGL_DOUBLE, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return 0.5 + r + c; });
    show(a.get());
    int changes = 0;
    QObject::connect(view.get(), &CGridView::dataViewChanged, [&] { ++changes; });
    {
        DataViewDialog dialog(view.get());
        EXPECT_EQ(dialog.precisionBox()->currentText(), "6");
        dialog.apply(); // nothing changed: nothing happens
        EXPECT_EQ(changes, 0);
        dialog.precisionBox()->setCurrentIndex(4 - 3);
        dialog.expBox()->setChecked(true);
        dialog.apply();
        EXPECT_EQ(view->precision(), 4);
        EXPECT_TRUE(view->useExp());
        EXPECT_EQ(cell(0, 0), " 5.0000e-01");
        dialog.reject();
        EXPECT_EQ(view->precision(), 6);
        EXPECT_FALSE(view->useExp());
        EXPECT_EQ(cell(0, 0), " 0.500000");
        EXPECT_EQ(changes, 2);
    }
    DataViewDialog dialog(view.get());
    dialog.precisionBox()->setCurrentIndex(15 - 3);
    dialog.accept();
    EXPECT_EQ(view->precision(), 15);
}

} // namespace

namespace {

// Sends a left click at the centre of a cell's rectangle to the table.
void clickCell(QTableView* table, const QModelIndex& index) {
    const QPoint at = table->visualRect(index).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, table->viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, table->viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &release);
}

} // namespace

// A table keeps state for each of its rows: a single column of 2^30 values
// as one grid row each took gigabytes and a minute to open. A very tall
// single column is wrapped into rows of 100 as a long single row is, with
// the same labels (row label + column label = the element's index), and the
// marker, the keys and the selection still speak array rows.
TEST_F(GridViewTest, VeryTallSingleColumnIsWrappedLikeALongRow) {
    const int32_t n = int32_t(CGridView::kTallColumnRows) + 250;
    auto a = makeArray({n, 1}, AGL_LONG, AGL_LANG_C);
    fillPlane(*a, [](int64_t, int64_t r) { return double(r); }); // value = index
    show(a.get());
    EXPECT_EQ(view->gridLayout(), CGridView::Wrap100);
    EXPECT_TRUE(view->wrapsColumn());
    EXPECT_EQ(view->layoutRows(), (n + 99) / 100);
    EXPECT_EQ(view->layoutColumns(), 100);
    EXPECT_EQ(rowLabel(1), "100");
    EXPECT_EQ(columnLabel(5), "5");
    EXPECT_EQ(cell(1, 5).trimmed(), "105");

    view->selectCell(1234, 0); // the document's marker: array row 1234
    settle();
    EXPECT_EQ(view->table()->currentIndex().row(), 12);
    EXPECT_EQ(view->table()->currentIndex().column(), 34);
    EXPECT_EQ(cell(12, 34).trimmed(), "1234");

    doc.moves.clear();
    clickCell(view->table(), view->model()->index(12, 36));
    ASSERT_FALSE(doc.moves.empty());
    EXPECT_EQ(doc.moves.back(), std::make_pair(int64_t(1236), int64_t(0)));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(view->table(), &up);
    EXPECT_EQ(doc.moves.back(), std::make_pair(int64_t(1237), int64_t(0)));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    const size_t moves = doc.moves.size();
    QCoreApplication::sendEvent(view->table(), &right); // column 1: outside
    EXPECT_EQ(doc.moves.size(), moves);

    view->table()->selectionModel()->select(
        QItemSelection(view->model()->index(12, 37), view->model()->index(13, 2)),
        QItemSelectionModel::ClearAndSelect);
    int64_t r0, c0, r1, c1;
    view->selectionRange(r0, c0, r1, c1);
    EXPECT_EQ(r0, 1237);
    EXPECT_EQ(r1, 1302);
    EXPECT_EQ(c0, 0);
    EXPECT_EQ(c1, 0);
}

TEST_F(GridViewTest, SingleColumnsUpToTheLimitStayOneRowPerElement) {
    auto a = makeArray({25, 1}, AGL_FLOAT, AGL_LANG_C);
    show(a.get());
    EXPECT_EQ(view->gridLayout(), CGridView::Matrix);
    EXPECT_EQ(view->layoutRows(), 25);
    EXPECT_FALSE(view->wrapsColumn());
}
