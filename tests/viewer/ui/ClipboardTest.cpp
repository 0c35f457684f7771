// Copy, cut and paste on the real frame against the real X clipboard, with
// xclip as the other program: the user selects with the mouse and presses
// Ctrl+C, Ctrl+X, Ctrl+V or clicks the Edit menu; xclip reads what the
// viewer offers ("AGL DATA", text, the primary selection) and offers blocks
// for the viewer to paste. Needs an X server (run under Xvfb) and xclip.
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "ClipboardFormat.h"
#include "GridModel.h"
#include "MessageSink.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"
#include "XSelectionServer.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

// Runs xclip, feeding input when given, and keeps this process's event loop
// turning meanwhile: while xclip reads, this process is the clipboard's
// owner and must answer it.
QByteArray xclip(const QStringList& args, const QByteArray* input = nullptr) {
    QProcess p;
    p.start("xclip", args);
    if (!p.waitForStarted(5000)) return "xclip did not start";
    if (input) {
        p.write(*input);
        p.closeWriteChannel();
    }
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        out += p.readAllStandardOutput();
    }
    out += p.readAllStandardOutput();
    return out;
}

QByteArray readClipboard(const char* type, const char* selection = "clipboard") {
    return xclip({"-selection", selection, "-t", type, "-o"});
}

void offerClipboard(const char* type, const QByteArray& bytes) {
    // The viewer hears of the new owner through the X server: waits for it.
    QSignalSpy owner(QGuiApplication::clipboard(), &QClipboard::dataChanged);
    xclip({"-selection", "clipboard", "-t", type, "-i"}, &bytes);
    ASSERT_TRUE(waitFor([&] { return !owner.isEmpty(); })) << "xclip never took the clipboard";
}

QByteArray aglData(int32_t rows, int32_t columns, const std::vector<double>& values) {
    QByteArray b(8 + 8 * qsizetype(values.size()), '\0');
    std::memcpy(b.data(), &rows, 4);
    std::memcpy(b.data() + 4, &columns, 4);
    std::memcpy(b.data() + 8, values.data(), 8 * values.size());
    return b;
}

std::vector<double> decode(const QByteArray& bytes, int32_t& rows, int32_t& columns) {
    rows = columns = -1;
    if (bytes.size() < 8) return {};
    std::memcpy(&rows, bytes.constData(), 4);
    std::memcpy(&columns, bytes.constData() + 4, 4);
    std::vector<double> v(size_t(bytes.size() - 8) / 8);
    std::memcpy(v.data(), bytes.constData() + 8, v.size() * 8);
    return v;
}

class ClipboardFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (QStandardPaths::findExecutable("xclip").isEmpty()) GTEST_SKIP() << "needs xclip";
        frame = std::make_unique<CMainFrame>(&doc, &settings);
        frame->resize(900, 700);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        frame->activateWindow();
        ASSERT_TRUE(waitFor([&] { return frame->isActiveWindow(); }));
        settle();
    }
    void TearDown() override {
        if (frame) frame->close();
        // Takes the selections back, so that a waiting xclip ends.
        if (QGuiApplication::platformName() == "xcb") {
            QGuiApplication::clipboard()->setText(QString());
            QGuiApplication::clipboard()->setText(QString(), QClipboard::Selection);
            settle();
        }
    }

    // Opens a file of a rows x columns array of type, value f(column, row).
    void openArray(int32_t rows, int32_t columns, int type, double (*f)(int64_t, int64_t)) {
        auto a = makeArray({rows, columns}, type, AGL_LANG_C);
        ASSERT_TRUE(a);
        fillPlane(*a, f);
        path = dir.file("a.agl");
        ASSERT_TRUE(a->saveTo(path));
        ASSERT_TRUE(frame->openFile(QString::fromStdString(path)));
        settle();
    }
    QTableView* table() const { return frame->gridView()->table(); }
    QPoint cellCentre(int row, int column) const {
        return table()->visualRect(frame->gridView()->model()->index(row, column)).center();
    }
    // Selects with the mouse: a click on the first cell, a shift-click on
    // the other corner.
    void selectCells(int row0, int column0, int row1, int column1) {
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          cellCentre(row0, column0));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          cellCentre(row1, column1));
        settle();
    }
    void key(Qt::Key k) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : frame.get();
        QTest::keyClick(target, k, Qt::ControlModifier);
        settle();
    }
    // Opens the Edit menu with the mouse and clicks one of its items.
    void clickEditItem(QAction* item) {
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                          bar->actionGeometry(frame->editMenu()->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame->editMenu()));
        QTest::mouseClick(frame->editMenu(), Qt::LeftButton, Qt::NoModifier,
                          frame->editMenu()->actionGeometry(item).center());
        settle();
    }

    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    CArrayDoc doc{settings, sink};
    std::unique_ptr<CMainFrame> frame;
    std::string path;
};

TEST_F(ClipboardFrameTest, CopiedBlockIsReadByAnotherProgramInEveryFormEachRenderedOnce) {
    openArray(4, 5, AGL_SHORT, [](int64_t c, int64_t r) { return double(r * 100 + c - 3); });
    selectCells(2, 3, 1, 1); // bottom-up: the same block as top-down
    key(Qt::Key_C);
    ASSERT_NE(doc.dataSource(), nullptr);

    const QByteArray targets = readClipboard("TARGETS");
    EXPECT_TRUE(targets.contains(kAglDataMimeType)) << targets.toStdString();
    int32_t rows, columns;
    const QByteArray bytes = readClipboard(kAglDataMimeType);
    EXPECT_EQ(bytes.size(), 8 + 48);
    EXPECT_EQ(decode(bytes, rows, columns), std::vector<double>({98, 99, 100, 198, 199, 200}));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 3);

    // The text: the spreadsheet's cells, tab-separated, CR LF per row.
    const QByteArray text = readClipboard("text/plain");
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 3) << text.toStdString();
    EXPECT_TRUE(lines[2].isEmpty());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(lines[i].endsWith('\r'));
        const QList<QByteArray> cells = lines[i].chopped(1).split('\t');
        ASSERT_EQ(cells.size(), 3);
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(cells[j].trimmed().toInt(), (1 + i) * 100 + 1 + j - 3);
            EXPECT_EQ(QString::fromLatin1(cells[j]),
                      frame->gridView()->model()->cellText(1 + i, 1 + j));
        }
    }
    // The text is ASCII: the same bytes as Latin-1.
    EXPECT_EQ(readClipboard("STRING"), text);
    // A middle click elsewhere pastes the same text.
    EXPECT_EQ(readClipboard("UTF8_STRING", "primary"), text);
    ASSERT_NE(doc.dataSource(), nullptr);
    EXPECT_EQ(doc.dataSource()->renderCount(), 2);
    // The forms went through the viewer's selection server (the list of
    // targets through Qt).
    EXPECT_EQ(frame->selectionServer()->taken(), 4);
}

// Another program pastes the text at once after Copy, while the worker may
// still render it: it gets the whole text, the same as the block rendered at
// once in the spreadsheet's format. The text is larger than one X request
// (16 MiB on Xvfb): it travels in increments, against the clipboard's time
// limit for each.
TEST_F(ClipboardFrameTest, TextPastedAtOnceAfterCopyIsWholeEvenBeyondOneRequest) {
    constexpr int32_t kRows = 1300, kColumns = 1000;
    openArray(kRows, kColumns, AGL_DOUBLE, [](int64_t c, int64_t r) {
        const int64_t i = r * kColumns + c;
        return std::sin(double(i) * 0.001) * std::pow(10.0, double(i % 7) - 3.0);
    });
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(0, 0));
    key(Qt::Key_A);
    key(Qt::Key_C);
    const QByteArray text = readClipboard("UTF8_STRING");

    int error = 0;
    const std::unique_ptr<aglArray> block =
        copyPlaneBlock(*doc.currentArray(), 0, 0, kRows, kColumns, error);
    ASSERT_TRUE(block);
    std::string expected;
    formatBlockText(*block, BlockRegion{0, 0, kRows, kColumns},
                    *frame->gridView()->clipboardTextFormat(), expected);
    ASSERT_GT(expected.size(), size_t(16) << 20);
    EXPECT_EQ(size_t(text.size()), expected.size());
    EXPECT_TRUE(text == QByteArray::fromStdString(expected));
    // Answered by the viewer's selection server, not on this thread.
    ASSERT_TRUE(frame->selectionServer()->isActive());
    EXPECT_EQ(frame->selectionServer()->taken(), 1);
}

// The user copies again while another program waits for the text of the
// block copied last (its worker likely still rendering): that program gets
// the whole of that text, or a refusal, after which xclip asks again and
// gets the new block's text; never a part. Then the new block is offered.
TEST_F(ClipboardFrameTest, CopyingAgainWhileAnotherProgramWaitsLeavesNoHalfAnswer) {
    openArray(1000, 1000, AGL_DOUBLE,
              [](int64_t c, int64_t r) { return double(r * 1000 + c) / 7.0; });
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(0, 0));
    key(Qt::Key_A);
    key(Qt::Key_C);
    int error = 0;
    const std::unique_ptr<aglArray> block =
        copyPlaneBlock(*doc.currentArray(), 0, 0, 1000, 1000, error);
    ASSERT_TRUE(block);
    std::string whole;
    formatBlockText(*block, BlockRegion{0, 0, 1000, 1000},
                    *frame->gridView()->clipboardTextFormat(), whole);

    QProcess reader;
    reader.start("xclip", {"-selection", "clipboard", "-t", "UTF8_STRING", "-o"});
    ASSERT_TRUE(reader.waitForStarted(5000));
    ASSERT_TRUE(waitFor([&] { return frame->selectionServer()->taken() == 1; }));
    selectCells(0, 0, 1, 1);
    key(Qt::Key_C);
    QByteArray out;
    ASSERT_TRUE(waitFor([&] {
        out += reader.readAllStandardOutput();
        return reader.state() == QProcess::NotRunning;
    }));
    out += reader.readAllStandardOutput();

    const QByteArray text = readClipboard("UTF8_STRING");
    EXPECT_EQ(text.count('\n'), 2) << text.toStdString();
    EXPECT_EQ(text.count('\t'), 2) << text.toStdString();
    EXPECT_TRUE(out.isEmpty() || out == text || out == QByteArray::fromStdString(whole))
        << out.size();
}

TEST_F(ClipboardFrameTest, CutKeepsTheFileAndPastePutsForeignValuesAtTheCurrentCell) {
    openArray(3, 3, AGL_FLOAT, [](int64_t c, int64_t r) { return double(r * 3 + c) + 0.25; });
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    selectCells(0, 0, 0, 1);
    key(Qt::Key_X);
    int32_t rows, columns;
    EXPECT_EQ(decode(readClipboard(kAglDataMimeType), rows, columns),
              std::vector<double>({0.25, 1.25}));
    EXPECT_EQ(doc.currentArray()->value(0, 0), 0.0); // the fill value
    EXPECT_EQ(doc.currentArray()->value(2, 0), 2.25);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();
    EXPECT_TRUE(frame->windowTitle().endsWith(" *"));

    // Another program offers "AGL DATA"; the user pastes at cell (1, 1).
    const double nan = std::numeric_limits<double>::quiet_NaN();
    offerClipboard(kAglDataMimeType, aglData(2, 2, {1e30, -1e-30, nan, 7.5}));
    selectCells(1, 1, 1, 1);
    QTRY_VERIFY(frame->pasteAction()->isEnabled());
    key(Qt::Key_V);
    const aglArray& a = *doc.currentArray();
    EXPECT_EQ(a.value(1, 1), double(1e30f));
    EXPECT_EQ(a.value(2, 1), 0.0);          // the float store flushes tiny magnitudes to 0
    EXPECT_TRUE(std::isnan(a.value(1, 2))); // NaN stays NaN in a float
    EXPECT_EQ(a.value(2, 2), 7.5);
    EXPECT_EQ(a.value(0, 2), 6.25);

    // Text from another program, pasted through the Edit menu.
    offerClipboard("UTF8_STRING", "-4\t5.5\n");
    selectCells(2, 0, 2, 0);
    clickEditItem(frame->pasteAction());
    EXPECT_EQ(a.value(0, 2), -4.0);
    EXPECT_EQ(a.value(1, 2), 5.5);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ClipboardFrameTest, EditMenuFollowsDocumentAndClipboard) {
    QGuiApplication::clipboard()->clear();
    settle();
    QMenuBar* bar = frame->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                      bar->actionGeometry(frame->editMenu()->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame->editMenu()));
    EXPECT_FALSE(frame->copyAction()->isEnabled());
    EXPECT_FALSE(frame->cutAction()->isEnabled());
    EXPECT_FALSE(frame->pasteAction()->isEnabled());
    QTest::keyClick(frame->editMenu(), Qt::Key_Escape);
    settle();

    offerClipboard("UTF8_STRING", "1 2 3\n4 5 6\n");
    QTRY_VERIFY(frame->pasteAction()->isEnabled());
    EXPECT_FALSE(frame->copyAction()->isEnabled());
    // Pasting into the empty viewer makes a new array.
    key(Qt::Key_V);
    ASSERT_TRUE(doc.hasData());
    EXPECT_EQ(doc.path().rfind("DataSet", 0), 0u);
    EXPECT_EQ(frame->windowTitle(), QString::fromStdString(doc.path()) + " *");
    EXPECT_EQ(doc.currentArray()->value(2, 1), 6.0);
    QTRY_VERIFY(frame->copyAction()->isEnabled());
    EXPECT_TRUE(frame->cutAction()->isEnabled());
}

TEST_F(ClipboardFrameTest, CopyWithTheGraphFocusedCopiesThePictureAndLeavesTheBlockAlone) {
    openArray(3, 3, AGL_FLOAT, [](int64_t c, int64_t r) { return double(r + c); });
    QGuiApplication::clipboard()->setText("before");
    settle();
    selectCells(0, 0, 1, 1);
    QTest::mouseClick(frame->graphPane(), Qt::LeftButton);
    ASSERT_TRUE(frame->graphPane()->hasFocus());
    key(Qt::Key_C);
    // The graph pane copies its picture after the control's next frame: an
    // image on the X clipboard, not the spreadsheet's block.
    EXPECT_EQ(doc.dataSource(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->image().isNull(), 60000);
    const QImage picture = QImage::fromData(readClipboard("image/png"), "PNG");
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 10);
    EXPECT_GT(picture.height(), 10);
    EXPECT_NE(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(ClipboardFrameTest, MillionElementBlockTravelsThroughTheClipboardAndBack) {
    openArray(1000, 1000, AGL_DOUBLE,
              [](int64_t c, int64_t r) { return std::ldexp(double(r * 1000 + c) + 0.1, -40); });
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(0, 0));
    key(Qt::Key_A);
    key(Qt::Key_C);
    const QByteArray bytes = readClipboard(kAglDataMimeType);
    ASSERT_EQ(bytes.size(), 8 + 8000000);
    const QByteArray original(static_cast<const char*>(doc.currentArray()->data()), 8000000);
    EXPECT_TRUE(bytes.mid(8) == original);

    doc.newDocument();
    offerClipboard(kAglDataMimeType, bytes);
    QTRY_VERIFY(frame->pasteAction()->isEnabled());
    key(Qt::Key_V);
    ASSERT_TRUE(doc.hasData());
    ASSERT_EQ(doc.currentArray()->elementCount(), 1000000);
    EXPECT_EQ(std::memcmp(doc.currentArray()->data(), original.constData(), 8000000), 0);
}

} // namespace
