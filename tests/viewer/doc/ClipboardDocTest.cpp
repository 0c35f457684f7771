// The document's Edit commands on real files and blocks: what Copy and Cut
// offer, that Cut never writes into the user's file and keeps the plane
// shown, that a block too large to copy loses nothing, and where Paste puts
// values (clipped with one warning, clamped by the target type, before the
// first element of a wrapped vector, or as a new array "DataSet%d"); that
// the forms the worker renders are those of the whole block, and that
// offers let go while it renders stop cleanly.
#include "DocFakes.h"

#include "ArrayClipboard.h"
#include "ClipboardFormat.h"

#include <QMimeData>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <ostream>
#include <string>
#include <unistd.h>
#include <utility>

using namespace plotrane;

namespace {

const char* const kClipped = "Not all clipboard data elements copied!";

QByteArray aglData(int32_t rows, int32_t columns, const std::vector<double>& values) {
    QByteArray b(8 + 8 * qsizetype(values.size()), '\0');
    std::memcpy(b.data(), &rows, 4);
    std::memcpy(b.data() + 4, &columns, 4);
    std::memcpy(b.data() + 8, values.data(), 8 * values.size());
    return b;
}

std::unique_ptr<QMimeData> offer(const QByteArray& agl, const QString& text = {}) {
    auto data = std::make_unique<QMimeData>();
    if (!agl.isEmpty()) data->setData(kAglDataMimeType, agl);
    if (!text.isEmpty()) data->setText(text);
    return data;
}

std::vector<double> decode(const QByteArray& bytes, int32_t& rows, int32_t& columns) {
    std::memcpy(&rows, bytes.constData(), 4);
    std::memcpy(&columns, bytes.constData() + 4, 4);
    std::vector<double> v(size_t(bytes.size() - 8) / 8);
    std::memcpy(v.data(), bytes.constData() + 8, v.size() * 8);
    return v;
}

// A file of planes x rows x columns floats, element i = i + 0.5 (3-D when
// planes > 0).
void makeFloatFile(const std::string& path, int32_t planes, int32_t rows, int32_t columns) {
    aglSegment seg;
    const int32_t ext3[3] = {planes, rows, columns};
    const int32_t ext2[2] = {rows, columns};
    ASSERT_TRUE(planes > 0 ? seg.create(path.c_str(), 3, ext3, AGL_FLOAT, AGL_LANG_C, true)
                           : seg.create(path.c_str(), 2, ext2, AGL_FLOAT, AGL_LANG_C, true));
    auto* f = static_cast<float*>(seg.elements());
    for (int64_t i = 0; i < seg.elementCount(); ++i)
        f[i] = float(i) + 0.5f;
}

class ClipboardDocTest : public DocTest {
protected:
    int warnings(const std::string& text) const {
        int n = 0;
        for (const auto& m : sink.shown)
            n += m.text == text;
        return n;
    }
    int errors() const {
        int n = 0;
        for (const auto& m : sink.shown)
            n += m.icon == MessageIcon::Error;
        return n;
    }
};

// ---- Copy --------------------------------------------------------------------

TEST_F(ClipboardDocTest, ShortBlockIsOfferedAsAglDataAndTextEachRenderedOnce) {
    const std::string path = dir.file("s.agl");
    makeAglFile(path, 4, 5, AGL_SHORT); // element i = i
    ASSERT_TRUE(doc->open(path));
    grid.select(1, 1, 2, 3);
    std::unique_ptr<CArrayDataSource> source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    EXPECT_EQ(doc->dataSource(), source.get());
    EXPECT_EQ(source->formats(), QStringList({kAglDataMimeType, kTextMimeType}));

    // Rendered on the worker; asked for at once, the answer waits for it.
    const QByteArray bytes = source->data(kAglDataMimeType);
    ASSERT_EQ(bytes.size(), 8 + 48);
    int32_t rows, columns;
    EXPECT_EQ(decode(bytes, rows, columns), std::vector<double>({6, 7, 8, 11, 12, 13}));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 3);
    EXPECT_EQ(source->text(), "6\t7\t8\r\n11\t12\t13\r\n");
    EXPECT_TRUE(source->isRendered());
    EXPECT_EQ(source->renderCount(), 2);
    source->data(kAglDataMimeType);
    source->data(kTextMimeType);
    EXPECT_EQ(source->renderCount(), 2); // rendered once, kept

    // Bottom-up and right-to-left: the same block.
    grid.select(2, 3, 1, 1);
    EXPECT_EQ(doc->copyBlock(false)->data(kAglDataMimeType), bytes);
    // The twin for the primary selection offers the text only.
    std::unique_ptr<CArrayDataSource> twin(source->textOnlyTwin());
    EXPECT_EQ(twin->formats(), QStringList({kTextMimeType}));
    EXPECT_EQ(twin->text(), source->text());
    EXPECT_TRUE(twin->data(kAglDataMimeType).isEmpty());
}

TEST_F(ClipboardDocTest, SelectionOutsideTheArrayCopiesNothingAndOverhangIsCutBack) {
    const std::string path = dir.file("s.agl");
    makeAglFile(path, 4, 5, AGL_SHORT);
    ASSERT_TRUE(doc->open(path));
    grid.select(-1, -1, -1, -1);
    EXPECT_FALSE(doc->copyBlock(false));
    grid.select(4, 0, 6, 2);
    EXPECT_FALSE(doc->copyBlock(false));
    grid.select(2, 3, 10, 10);
    auto source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->region().rows, 2);
    EXPECT_EQ(source->region().columns, 2);
    EXPECT_TRUE(sink.shown.empty());
}

// ---- Cut ---------------------------------------------------------------------

TEST_F(ClipboardDocTest, CutOnAReadOnlyFileFillsAWritableCopyOfThePlaneShown) {
    const std::string path = dir.file("cube.agl");
    makeFloatFile(path, 3, 4, 5);
    const std::string before = readAll(path);
    SettingsStore::Options o = doc->options();
    o.fillValue = -1.5;
    doc->setOptions(o);
    ASSERT_TRUE(doc->open(path));
    aglArray& a = *doc->currentArray();
    // The user shows dimensions 1 and 2 and looks at plane 2.
    a.setRowDim(1);
    a.setColDim(2);
    a.setRoi(0, 2, 2);
    ctl().clearLog();

    grid.select(1, 1, 2, 2);
    auto source = doc->copyBlock(true);
    ASSERT_TRUE(source);
    EXPECT_TRUE(sink.shown.empty());
    // The user's file is untouched; the control shows a writable copy.
    EXPECT_EQ(readAll(path), before);
    EXPECT_TRUE(a.isWritable());
    EXPECT_FALSE(a.segment()->isFileBacked());
    EXPECT_EQ(ctl().str(DISPID_FileName), a.segment()->name());
    EXPECT_NE(ctl().str(DISPID_FileName), path);
    // Still plane 2, for the array and for the control.
    int32_t low, high;
    a.getRoi(0, low, high);
    EXPECT_EQ(low, 2);
    EXPECT_EQ(high, 2);
    bool toldPlane = false;
    for (const auto& call : ctl().calls)
        toldPlane |= call.dispid == DISPID_SetRoiLb && call.args[0].toInt() == 0 &&
                     call.args[1].toInt() == 2;
    EXPECT_TRUE(toldPlane);
    EXPECT_EQ(ctl().num(DISPID_RowDim), 1);
    EXPECT_EQ(ctl().num(DISPID_ColDim), 2);

    const auto* f = static_cast<const float*>(a.data());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) {
            const bool inBlock = r >= 1 && r <= 2 && c >= 1 && c <= 2;
            EXPECT_EQ(f[40 + r * 5 + c], inBlock ? -1.5f : 40 + r * 5 + c + 0.5f) << r << "," << c;
            EXPECT_EQ(f[r * 5 + c], r * 5 + c + 0.5f); // plane 0 untouched
        }
    // What was cut is on the clipboard.
    int32_t rows, columns;
    EXPECT_EQ(decode(source->data(kAglDataMimeType), rows, columns),
              std::vector<double>({46.5, 47.5, 51.5, 52.5}));
    EXPECT_TRUE(doc->isModified());
    EXPECT_GE(ctl().count(DISPID_Update), 1);
}

TEST_F(ClipboardDocTest, BlockTooLargeToCopyShowsAnErrorAndCutFillsNothing) {
    // 12000 x 12000 doubles: more bytes than one block can hold. The file is
    // sparse, so the test costs no disk.
    const std::string path = dir.file("huge.agl");
    {
        aglSegment seg;
        const int32_t one[2] = {1, 1};
        ASSERT_TRUE(seg.create(path.c_str(), 2, one, AGL_DOUBLE, AGL_LANG_C, true));
    }
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const int32_t ext[2] = {12000, 12000};
    ASSERT_EQ(::pwrite(fd, ext, 8, 12), 8);
    ASSERT_EQ(::ftruncate(fd, 28 + off_t(12000) * 12000 * 8), 0);
    ::close(fd);
    ASSERT_TRUE(doc->open(path));
    ASSERT_EQ(doc->currentArray()->rowCount(), 12000);

    grid.select(0, 0, 11999, 11999);
    EXPECT_FALSE(doc->copyBlock(true));
    EXPECT_EQ(errors(), 1);
    EXPECT_EQ(doc->dataSource(), nullptr);
    EXPECT_FALSE(doc->isModified());
    EXPECT_TRUE(doc->currentArray()->segment()->isFileBacked());
    EXPECT_EQ(ctl().str(DISPID_FileName), path);
}

// ---- Paste -------------------------------------------------------------------

TEST_F(ClipboardDocTest, BlockPastedAtRow8Of10KeepsTwoRowsAndWarnsOnce) {
    const std::string path = dir.file("m.agl");
    makeFloatFile(path, 0, 10, 6);
    ASSERT_TRUE(doc->open(path));
    std::vector<double> v(16);
    for (int i = 0; i < 16; ++i)
        v[size_t(i)] = 100 + i;
    grid.select(8, 1, 8, 1);
    ASSERT_TRUE(doc->paste(offer(aglData(4, 4, v)).get()));
    EXPECT_EQ(warnings(kClipped), 1);
    const aglArray& a = *doc->currentArray();
    for (int r = 7; r < 10; ++r)
        for (int c = 0; c < 6; ++c) {
            const bool pasted = r >= 8 && c >= 1 && c <= 4;
            EXPECT_EQ(a.value(c, r), pasted ? 100 + (r - 8) * 4 + (c - 1) : r * 6 + c + 0.5)
                << r << "," << c;
        }
    EXPECT_TRUE(doc->isModified());
    EXPECT_EQ(doc->displayTitle(), "m.agl *");
}

TEST_F(ClipboardDocTest, PasteIntoAnEmptyDocumentMakesDataSetNAndCountsOn) {
    ASSERT_FALSE(doc->hasData());
    ASSERT_TRUE(doc->paste(offer(aglData(2, 3, {1, 2, 3, 4, 5, 6.25})).get()));
    ASSERT_TRUE(doc->hasData());
    const std::string first = doc->path();
    ASSERT_EQ(first.rfind("DataSet", 0), 0u);
    const int n = std::stoi(first.substr(7));
    EXPECT_EQ(doc->title(), first);
    EXPECT_EQ(doc->displayTitle(), first + " *");
    EXPECT_EQ(doc->currentArray()->shapeText(), "real*8 M(3, 2)"); // Fortran, bounds 1
    EXPECT_EQ(doc->currentArray()->value(2, 1), 6.25);
    EXPECT_EQ(ctl().str(DISPID_FileName), doc->currentArray()->segment()->name());

    doc->newDocument();
    ASSERT_TRUE(doc->paste(offer({}, "1\t2\r\n3\t4\r\n").get()));
    EXPECT_EQ(doc->path(), "DataSet" + std::to_string(n + 1));
    EXPECT_EQ(doc->currentArray()->rowCount(), 2);
    EXPECT_EQ(doc->currentArray()->value(1, 1), 4.0);
}

struct ClampCase {
    int type;
    double pasted;
    double stored;
};
// ctest shows the case by what it holds.
void PrintTo(const ClampCase& c, std::ostream* out) {
    *out << "type " << c.type << " " << c.pasted;
}

class ClampedPaste : public ClipboardDocTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(ClampedPaste, IntegerTargetsSaturateAndNaNBecomesZero) {
    const ClampCase& k = GetParam();
    const std::string path = dir.file("t.agl");
    makeAglFile(path, 2, 2, k.type);
    ASSERT_TRUE(doc->open(path));
    grid.select(1, 1, 1, 1);
    ASSERT_TRUE(doc->paste(offer(aglData(1, 1, {k.pasted})).get()));
    EXPECT_EQ(doc->currentArray()->value(1, 1), k.stored);
    EXPECT_TRUE(sink.shown.empty()); // clamping says nothing
}

INSTANTIATE_TEST_SUITE_P(
    Types, ClampedPaste,
    ::testing::Values(ClampCase{AGL_UCHAR, 300.7, 255}, ClampCase{AGL_UCHAR, -4, 0},
                      ClampCase{AGL_USHORT, 3e9, 65535},
                      ClampCase{AGL_USHORT, std::numeric_limits<double>::quiet_NaN(), 0},
                      ClampCase{AGL_SHORT, -1e9, -32768}, ClampCase{AGL_LONG, 1e300, 2147483647.0},
                      ClampCase{AGL_ULONG, -std::numeric_limits<double>::infinity(), 0}));

TEST_F(ClipboardDocTest, ForeignBlockThatFailsItsChecksGivesWayToTheText) {
    const std::string path = dir.file("m.agl");
    makeFloatFile(path, 0, 3, 3);
    ASSERT_TRUE(doc->open(path));
    // 1000 x 1000 announced, one value given.
    QByteArray lying(16, '\0');
    const int32_t head[2] = {1000, 1000};
    std::memcpy(lying.data(), head, 8);
    grid.select(0, 0, 0, 0);
    ASSERT_TRUE(doc->paste(offer(lying, "7\t8\r\n").get()));
    EXPECT_EQ(doc->currentArray()->value(0, 0), 7.0);
    EXPECT_EQ(doc->currentArray()->value(1, 0), 8.0);
    EXPECT_EQ(doc->currentArray()->value(2, 0), 2.5);
    // Without text to fall back on, nothing is pasted and nothing changes.
    EXPECT_FALSE(doc->paste(offer(lying).get()));
    EXPECT_EQ(doc->currentArray()->value(0, 0), 7.0);
}

TEST_F(ClipboardDocTest, TextWithOneValuePerLineIsPastedDownAColumn) {
    const std::string path = dir.file("m.agl");
    makeFloatFile(path, 0, 4, 3);
    ASSERT_TRUE(doc->open(path));
    grid.select(1, 2, 1, 2);
    ASSERT_TRUE(doc->paste(offer({}, "10\r\n20\r\n30\r\n").get()));
    const aglArray& a = *doc->currentArray();
    EXPECT_EQ(a.value(2, 1), 10.0);
    EXPECT_EQ(a.value(2, 2), 20.0);
    EXPECT_EQ(a.value(2, 3), 30.0);
    EXPECT_EQ(a.value(1, 1), 4.5); // the row beside is untouched
    EXPECT_TRUE(sink.shown.empty());
    // One line of values stays a row; the spreadsheet's text of a
    // non-finite value comes back as NaN, not as 1.
    grid.select(0, 0, 0, 0);
    ASSERT_TRUE(doc->paste(offer({}, "7\t 1.#QNAN \t9\r\n").get()));
    EXPECT_EQ(a.value(0, 0), 7.0);
    EXPECT_TRUE(std::isnan(a.value(1, 0)));
    EXPECT_EQ(a.value(2, 0), 9.0);
}

TEST_F(ClipboardDocTest, CellsBeforeTheFirstElementOfAWrappedVectorAreNoElements) {
    // A Fortran vector v(5:34): the wrapped spreadsheet's first row starts
    // 5 cells before v(5), at array columns -5..-1.
    const std::string path = dir.file("v.agl");
    {
        aglSegment seg;
        const int32_t ext[1] = {30};
        ASSERT_TRUE(seg.create(path.c_str(), 1, ext, AGL_FLOAT, AGL_LANG_FORTRAN, true));
        ASSERT_TRUE(seg.setLowerBound(0, 5));
        auto* f = static_cast<float*>(seg.elements());
        for (int i = 0; i < 30; ++i)
            f[i] = float(i);
    }
    ASSERT_TRUE(doc->open(path));
    grid.select(0, -3, 0, 4);
    auto source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    int32_t rows, columns;
    EXPECT_EQ(decode(source->data(kAglDataMimeType), rows, columns),
              std::vector<double>({0, 1, 2, 3, 4})); // no phantom zeros

    grid.select(0, -3, 0, -3);
    ASSERT_TRUE(doc->paste(offer(aglData(1, 6, {10, 11, 12, 13, 14, 15})).get()));
    EXPECT_EQ(warnings(kClipped), 1);
    const aglArray& a = *doc->currentArray();
    EXPECT_EQ(a.value(0, 0), 13.0);
    EXPECT_EQ(a.value(1, 0), 14.0);
    EXPECT_EQ(a.value(2, 0), 15.0);
    EXPECT_EQ(a.value(3, 0), 3.0);
    EXPECT_EQ(a.lowerBound(0), 5); // the writable copy keeps the bound
}

TEST_F(ClipboardDocTest, MillionElementBlockCopiesAndPastesExactly) {
    aglSegment block;
    const int32_t ext[2] = {1000, 1000};
    ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
    auto* d = static_cast<double*>(block.elements());
    for (int i = 0; i < 1000000; ++i)
        d[i] = std::ldexp(double(i) + 0.1, i % 600 - 300);
    ASSERT_TRUE(doc->load(block.name()));
    grid.select(999, 999, 0, 0);
    auto source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    const QByteArray bytes = source->data(kAglDataMimeType);
    ASSERT_EQ(bytes.size(), 8 + 8000000);

    doc->newDocument();
    ASSERT_TRUE(doc->paste(offer(bytes).get()));
    const aglArray& a = *doc->currentArray();
    ASSERT_EQ(a.rowCount(), 1000);
    ASSERT_EQ(a.colCount(), 1000);
    EXPECT_EQ(std::memcmp(a.data(), d, 8000000), 0);
}

// The worker copies the block after Copy returns: until it has, the array
// keeps its values and storage. A paste right after Copy into the block's
// last cells (which the worker reaches last) and a move to another plane
// leave the offer as the block was when copied.
TEST_F(ClipboardDocTest, TheOfferIsTheBlockAsCopiedWhateverTheDocumentDoesNext) {
    constexpr int n = 1500;
    const std::string path = dir.file("cube.agl");
    makeFloatFile(path, 2, n, n);
    ASSERT_TRUE(doc->open(path));
    aglArray& a = *doc->currentArray();
    a.setRowDim(1);
    a.setColDim(2);
    a.setRoi(0, 0, 0);
    // A first paste makes the array writable (a copy of the read-only file).
    grid.select(0, 0, 0, 0);
    ASSERT_TRUE(doc->paste(offer(aglData(1, 1, {0.5})).get()));
    ASSERT_TRUE(a.isWritable());

    grid.select(0, 0, n - 1, n - 1);
    auto source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    grid.select(n - 2, n - 2, n - 2, n - 2);
    ASSERT_TRUE(doc->paste(offer(aglData(2, 2, {-1, -2, -3, -4})).get()));
    EXPECT_EQ(a.value(n - 1, n - 1), -4.0);
    a.setRoi(0, 1, 1);

    int32_t rows, columns;
    const std::vector<double> values = decode(source->data(kAglDataMimeType), rows, columns);
    ASSERT_EQ(rows, n);
    ASSERT_EQ(columns, n);
    ASSERT_EQ(values.size(), size_t(n) * n);
    int wrong = 0;
    for (int i = 0; i < n * n; ++i)
        wrong += values[size_t(i)] != float(i) + 0.5f;
    EXPECT_EQ(wrong, 0);
}

// ---- States and closing --------------------------------------------------------

TEST_F(ClipboardDocTest, WhatTheDocumentCopiedOutlivesItsClosing) {
    const std::string path = dir.file("s.agl");
    makeAglFile(path, 4, 5, AGL_SHORT);
    ASSERT_TRUE(doc->open(path));
    grid.select(0, 0, 1, 1);
    auto source = doc->copyBlock(false);
    EXPECT_TRUE(doc->closeDocument());
    doc->newDocument();
    EXPECT_EQ(source->text(), "0\t1\r\n5\t6\r\n");
    int32_t rows, columns;
    EXPECT_EQ(decode(source->data(kAglDataMimeType), rows, columns),
              std::vector<double>({0, 1, 5, 6}));
    EXPECT_EQ(source->renderCount(), 2);
    source.reset(); // the clipboard replaced it
    EXPECT_EQ(doc->dataSource(), nullptr);
}

// The worker renders span by span, a few thousand elements each: its bytes
// are those of the whole block rendered at once, rows longer than a span
// (cut inside the row) and rows shorter (several to a span) alike.
TEST_F(ClipboardDocTest, RenderedFormsAreThoseOfTheWholeBlockAtOnce) {
    for (const auto& [rows, columns] :
         {std::pair<int32_t, int32_t>{3, 9000}, {2, 4096}, {700, 13}, {1, 1}}) {
        SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(columns));
        aglSegment block;
        const int32_t ext[2] = {rows, columns};
        ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
        auto* d = static_cast<double*>(block.elements());
        for (int64_t i = 0; i < block.elementCount(); ++i)
            d[i] = i % 11 == 3 ? std::numeric_limits<double>::quiet_NaN()
                               : std::ldexp(double(i) - 77.3, int(i % 40) - 20);
        ASSERT_TRUE(doc->load(block.name()));
        grid.select(0, 0, rows - 1, columns - 1);
        auto source = doc->copyBlock(false);
        ASSERT_TRUE(source);
        std::unique_ptr<CArrayDataSource> twin(source->textOnlyTwin());

        int error = 0;
        const std::unique_ptr<aglArray> copy =
            copyPlaneBlock(*doc->currentArray(), 0, 0, rows, columns, error);
        ASSERT_TRUE(copy);
        const BlockRegion whole{0, 0, rows, columns};
        std::string text, bytes;
        formatBlockText(*copy, whole, PlainTextFormat(AGL_DOUBLE), text);
        ASSERT_TRUE(encodeAglData(*copy, whole, bytes));
        EXPECT_TRUE(twin->data(kTextMimeType) == QByteArray::fromStdString(text));
        EXPECT_TRUE(source->data(kTextMimeType) == QByteArray::fromStdString(text));
        EXPECT_TRUE(source->data(kAglDataMimeType) == QByteArray::fromStdString(bytes));
        EXPECT_EQ(source->renderCount(), 2);
    }
}

// An offer that goes gives its forms' memory back, but bytes it handed out
// (Qt holds them while another program reads) stay whole.
TEST_F(ClipboardDocTest, FormsHandedOutKeepTheirBytesAfterTheOfferGoes) {
    aglSegment block;
    const int32_t ext[2] = {600, 700}; // forms of megabytes: whole pages to give back
    ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
    auto* d = static_cast<double*>(block.elements());
    for (int64_t i = 0; i < block.elementCount(); ++i)
        d[i] = double(i) * 0.25 + 1.0;
    ASSERT_TRUE(doc->load(block.name()));
    grid.select(0, 0, 599, 699);
    auto source = doc->copyBlock(false);
    ASSERT_TRUE(source);
    const QByteArray text = source->data(kTextMimeType);
    const QByteArray agl = source->data(kAglDataMimeType);
    const QByteArray textKept(text.constData(), text.size());
    const QByteArray aglKept(agl.constData(), agl.size());
    ASSERT_GT(agl.size(), 3000000);
    source.reset();
    // The worker lets the old offer go before it renders the next one.
    auto next = doc->copyBlock(false);
    ASSERT_TRUE(next);
    next->renderAll();
    EXPECT_TRUE(text == textKept);
    EXPECT_TRUE(agl == aglKept);
}

// A new Copy or Cut, or the document closing, while the worker renders an
// offer: the offer the clipboard let go stops rendering and goes (under the
// sanitizers: nothing read after it was freed, nothing leaked), the new one
// is whole.
TEST_F(ClipboardDocTest, OffersLetGoWhileRenderingStopAndTheNewOneIsWhole) {
    aglSegment block;
    const int32_t ext[2] = {1000, 1000};
    ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
    auto* d = static_cast<double*>(block.elements());
    for (int i = 0; i < 1000000; ++i)
        d[i] = std::sin(i * 0.001) * std::pow(10.0, i % 7 - 3);
    ASSERT_TRUE(doc->load(block.name()));
    grid.select(0, 0, 999, 999);

    std::unique_ptr<CArrayDataSource> offer = doc->copyBlock(false);
    std::unique_ptr<CArrayDataSource> twin(offer->textOnlyTwin());
    for (int i = 0; i < 3; ++i) {
        // Copy, then Cut, then Copy: each replaces the last on the clipboard.
        std::unique_ptr<CArrayDataSource> next = doc->copyBlock(i == 1);
        ASSERT_TRUE(next);
        twin.reset(next->textOnlyTwin());
        offer = std::move(next);
    }
    // The document closes while the last one renders; what it copied stays.
    EXPECT_TRUE(doc->closeDocument());
    doc->newDocument();
    ASSERT_EQ(offer->region().rows, 1000);
    const QByteArray text = twin->data(kTextMimeType);
    EXPECT_EQ(text.count('\n'), 1000);
    EXPECT_EQ(text.count('\t'), 999 * 1000);
    // The Cut filled the block with zeros before the last Copy.
    EXPECT_TRUE(text.startsWith("0\t0\t"));
    EXPECT_EQ(offer->data(kAglDataMimeType).size(), 8 + 8000000);
    // And one let go before anything asked for it.
    doc->load(block.name());
    grid.select(0, 0, 999, 999);
    doc->copyBlock(false).reset();
    EXPECT_EQ(doc->dataSource(), nullptr);
}

TEST_F(ClipboardDocTest, EditStatesFollowDataOwnerAndClipboard) {
    auto text = offer({}, "1 2");
    auto empty = offer({});
    EXPECT_FALSE(doc->canCopy());
    EXPECT_FALSE(doc->canCut());
    EXPECT_TRUE(doc->canPaste(text.get()));
    EXPECT_FALSE(doc->canPaste(empty.get()));
    EXPECT_TRUE(doc->canPaste(offer(aglData(1, 1, {1})).get()));

    aglSegment block;
    const int32_t ext[2] = {3, 4};
    ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
    ASSERT_TRUE(doc->loadClientSegment(block.name()));
    EXPECT_TRUE(doc->canCopy());
    EXPECT_FALSE(doc->canCut());
    EXPECT_FALSE(doc->canPaste(text.get()));
    EXPECT_FALSE(doc->paste(text.get()));
}

TEST_F(ClipboardDocTest, CopyWithTheGraphFocusedAsksTheControlForItsPicture) {
    const std::string path = dir.file("s.agl");
    makeAglFile(path, 4, 5, AGL_SHORT);
    ASSERT_TRUE(doc->open(path));
    ctl().clearLog();
    doc->copyGraphPicture();
    ASSERT_EQ(ctl().count(DISPID_CreateMetaFile), 1);
    EXPECT_EQ(ctl().calls.back().args[0].toInt(), 0);
    EXPECT_EQ(ctl().calls.back().args[1].toInt(), 0);
}

} // namespace

// ---- The status bar's value ----------------------------------------------------

// The cursor's value in the status bar is the one now in the array after
// Paste, and after Update for values another program wrote.
TEST_F(ClipboardDocTest, StatusBarShowsTheNewValueAfterPasteAndAfterUpdate) {
    const std::string path = dir.file("m.agl");
    makeFloatFile(path, 0, 4, 4);
    ASSERT_TRUE(doc->open(path));
    std::string pane2;
    QObject::connect(doc.get(), &CArrayDoc::statusTextChanged, [&](int pane, const QString& text) {
        if (pane == 2) pane2 = text.toStdString();
    });
    doc->setCursor(2, 1);
    EXPECT_EQ(pane2, "M[2][1]: 9.5");

    grid.select(2, 1, 2, 1);
    ASSERT_TRUE(doc->paste(offer(aglData(1, 1, {42})).get()));
    EXPECT_EQ(pane2, "M[2][1]: 42");

    // Another program writes into the file the document maps.
    aglSegment other;
    ASSERT_TRUE(other.open(doc->currentArray()->segment()->name(), false));
    static_cast<float*>(other.elements())[2 * 4 + 1] = -7.25f;
    doc->refresh();
    EXPECT_EQ(pane2, "M[2][1]: -7.25");
}

// ---- The clipboard service on its own ----------------------------------------

// Without an array there is nothing to copy or cut, and a paste makes a new
// array; each clipboard numbers the arrays it made, whatever another does.
TEST(ArrayClipboard, WithoutAnArrayNothingIsCopiedAndEachClipboardNumbersItsOwnPastes) {
    RecordingSink sink;
    FakeGridView grid;
    grid.select(0, 0, 1, 1);
    ArrayClipboard first(sink), second(sink);
    ArrayClipboard::Target none;
    none.grid = &grid;
    int changes = 0;
    none.makeWritable = [] { return true; };
    none.changed = [&] { ++changes; };
    EXPECT_EQ(first.copyBlock(none, false), nullptr);
    EXPECT_EQ(first.copyBlock(none, true), nullptr);
    EXPECT_EQ(first.dataSource(), nullptr);

    const auto text = offer({}, "1 2\n3 4\n");
    ArrayClipboard::Pasted pasted = first.paste(none, text.get());
    EXPECT_TRUE(pasted.done);
    ASSERT_NE(pasted.newArray, nullptr);
    EXPECT_EQ(pasted.newName, "DataSet1");
    EXPECT_EQ(pasted.newArray->value(1, 1), 4.0);
    EXPECT_EQ(first.paste(none, text.get()).newName, "DataSet2");
    EXPECT_EQ(second.paste(none, text.get()).newName, "DataSet1");
    EXPECT_EQ(changes, 0); // no array of the target's changed
    EXPECT_TRUE(sink.shown.empty());

    // An automation client's document takes no paste.
    none.clientOwned = true;
    pasted = first.paste(none, text.get());
    EXPECT_FALSE(pasted.done);
    EXPECT_EQ(pasted.newArray, nullptr);
}

// An array that cannot be made writable loses nothing: Cut copies the block
// and leaves the values, Paste writes none; the user is told each time.
TEST(ArrayClipboard, ArrayThatCannotBeMadeWritableKeepsItsValues) {
    TempDir dir;
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 3, 3);
    aglArray array;
    ASSERT_TRUE(array.open(path, true));
    RecordingSink sink;
    FakeGridView grid;
    grid.select(0, 0, 1, 1);
    ArrayClipboard clipboard(sink);
    ArrayClipboard::Target target;
    target.array = &array;
    target.grid = &grid;
    target.fillValue = -7;
    int changes = 0;
    target.changed = [&] { ++changes; };
    for (const bool withCallback : {false, true}) {
        SCOPED_TRACE(withCallback);
        sink.shown.clear();
        if (withCallback) target.makeWritable = [] { return false; };
        const std::unique_ptr<CArrayDataSource> cut = clipboard.copyBlock(target, true);
        ASSERT_NE(cut, nullptr);
        EXPECT_EQ(clipboard.dataSource(), cut.get());
        EXPECT_EQ(array.value(0, 0), 0.5);
        EXPECT_EQ(array.value(1, 1), 4.5);
        const auto text = offer({}, "9 9\n9 9\n");
        EXPECT_FALSE(clipboard.paste(target, text.get()).done);
        EXPECT_EQ(array.value(1, 1), 4.5);
        ASSERT_EQ(sink.shown.size(), 2u);
        EXPECT_EQ(sink.shown[0].text,
                  "Unable to make the array writable: the block was copied, not cut.");
        EXPECT_EQ(sink.shown[1].text, "Unable to make the array writable: nothing was pasted.");
    }
    EXPECT_EQ(changes, 0);
}
