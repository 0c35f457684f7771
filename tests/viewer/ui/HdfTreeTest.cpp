// The HDF tree bar with real clicks: the tree an HDF file written by the
// HDF library gives, selection showing objects in the spreadsheet, text
// objects opening their text on every click, the View command and the bar
// hiding when another kind of file is opened.
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "DimensionBar.h"
#include "GridModel.h"
#include "HdfTreeBar.h"
#include "HelperProgress.h"
#include "MessageSink.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "WaitFor.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

class Sink : public MessageSink {
public:
    void message(const std::string& text, MessageIcon) override { messages.push_back(text); }
    bool question(const std::string&) override { return false; }
    std::optional<std::string> saveFileName(const SaveFileRequest&) override { return {}; }
    void showAnnotation(const std::string& text) override { annotations.push_back(text); }
    // The viewer's own wait, with its progress box over the frame.
    void waitForHelper(const std::string& what, const std::function<void()>& work,
                       std::atomic<bool>& cancel) override {
        helper_progress::wait(over, QString::fromStdString(what), work, cancel);
    }
    std::vector<std::string> messages;
    std::vector<std::string> annotations;
    QWidget* over = nullptr;
};

class HdfTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        ASSERT_EQ(std::system((std::string(MAKE_HDF_SAMPLES) + " " + dir.path()).c_str()), 0);
        doc = std::make_unique<CArrayDoc>(settings, sink);
        frame = std::make_unique<CMainFrame>(doc.get(), &settings);
        sink.over = frame.get();
        frame->resize(900, 700);
        frame->show();
        settle();
    }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    QTreeWidget* tree() const { return frame->hdfTree(); }
    QTreeWidgetItem* root() const { return tree()->topLevelItem(0); }
    QStringList childTexts(QTreeWidgetItem* item) const {
        QStringList out;
        for (int i = 0; i < item->childCount(); ++i)
            out << item->child(i)->text(0);
        return out;
    }
    QTreeWidgetItem* child(QTreeWidgetItem* parent, const QString& text) const {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text) return parent->child(i);
        return nullptr;
    }
    void click(QTreeWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        tree()->scrollToItem(item);
        settle();
        const QRect r = tree()->visualItemRect(item);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, r.center());
        settle();
    }
    QString cell(int r, int c) const { return frame->gridView()->model()->cellText(r, c); }

    TempDir dir;
    SettingsStore settings;
    Sink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(HdfTreeTest, ReadingAFileFillsAndShowsTheTreeWithTheShownObjectSelected) {
    EXPECT_FALSE(frame->hdfTreeAction()->isEnabled());
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("scales.hdf"))));
    settle();
    EXPECT_TRUE(frame->hdfBar()->isVisible());
    EXPECT_TRUE(frame->hdfTreeAction()->isEnabled());
    EXPECT_TRUE(frame->hdfTreeAction()->isChecked());
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(root()->text(0), "scales.hdf");
    EXPECT_EQ(root()->data(0, HdfTreeBar::kDataRole).toInt(), 0);
    EXPECT_TRUE(root()->isExpanded());
    // Coordinate variables are not at the top level; the single-element set
    // is listed (it has content, it just shows nothing); the raster images'
    // file attribute comes after the data sets.
    EXPECT_EQ(childTexts(root()), QStringList({"temperature", "line", "cube", "single", "ping",
                                               "pong", "self", "site"}));
    QTreeWidgetItem* t = child(root(), "temperature");
    EXPECT_EQ(childTexts(t), QStringList({"lat", "lon", "comment", "letters"}));
    EXPECT_EQ(tree()->currentItem(), t);
    // The spreadsheet shows temperature: element [1][1] is 5 x 5 / 2.
    EXPECT_EQ(cell(1, 1).trimmed().toDouble(), 12.5);
    // Its dimension scales label the axes: View > Axis Scales can turn them
    // off and on. A set without scales has nothing for the command.
    EXPECT_TRUE(frame->commandAction(command_id::AxisScales)->isEnabled());
    click(child(root(), "line"));
    EXPECT_FALSE(frame->commandAction(command_id::AxisScales)->isEnabled());
}

TEST_F(HdfTreeTest, ClickingItemsShowsObjectsAndTextsEveryTime) {
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("scales.hdf"))));
    settle();
    click(child(root(), "line"));
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->displayName, "line");
    EXPECT_EQ(doc->currentArray()->typeCode(), AGL_SHORT);
    EXPECT_EQ(frame->windowTitle().toStdString(), dir.file("scales.hdf") + ":line");

    // A dimension scale child is an array of its own.
    QTreeWidgetItem* t = child(root(), "temperature");
    t->setExpanded(true);
    click(child(t, "lon"));
    EXPECT_EQ(doc->hdfCurrent()->displayName, "lon");
    EXPECT_EQ(doc->currentArray()->typeCode(), AGL_DOUBLE);

    // An attribute opens its text on each click; what is shown stays.
    click(child(t, "letters"));
    click(child(t, "letters"));
    EXPECT_EQ(sink.annotations, (std::vector<std::string>{"A\nB\n", "A\nB\n"}));
    EXPECT_EQ(doc->hdfCurrent()->displayName, "lon");

    // The root shows nothing.
    click(root());
    EXPECT_EQ(doc->hdfCurrent()->displayName, "lon");
}

TEST_F(HdfTreeTest, ImagesFileListsAnnotationsAndLeavesOutTheColourImage) {
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("images.hdf"))));
    settle();
    const QStringList top = childTexts(root());
    EXPECT_EQ(top.first(), "File Label 1");
    EXPECT_TRUE(top.contains("File Label <"));
    EXPECT_TRUE(top.contains("picture"));
    EXPECT_TRUE(top.contains("wide"));
    EXPECT_FALSE(top.contains("colour"));
    QTreeWidgetItem* picture = child(root(), "picture");
    EXPECT_EQ(childTexts(picture), QStringList({"8-bit Image Palette", "origin"}));
    // The picture shows with its own palette: Palette > Custom is checked.
    EXPECT_EQ(doc->hdfCurrent()->displayName, "picture");
    EXPECT_TRUE(frame->commandAction(command_id::PaletteCustom)->isChecked());
    click(child(root(), "File Description 1"));
    EXPECT_EQ(sink.annotations, std::vector<std::string>{"A file written by make_hdf_samples."});
    // The palette shows as a 256 x 4 array: entry 1 is red 1, green 254.
    picture->setExpanded(true);
    click(child(picture, "8-bit Image Palette"));
    EXPECT_EQ(doc->currentArray()->extent(0), 256);
    EXPECT_EQ(cell(1, 1).trimmed(), "254");
}

// An HDF4 file's vgroups are folders: a click on a member inside two
// folders shows it, a click on a folder changes nothing, and the library's
// own vgroups are nowhere in the tree.
TEST_F(HdfTreeTest, VgroupsAreFoldersWhoseMembersShowOnAClick) {
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("vgroups.hdf"))));
    settle();
    EXPECT_EQ(childTexts(root()), QStringList({"Group A", "Group B", "loose"}));
    // No data set is at the top level but "loose": it is shown first.
    EXPECT_EQ(doc->hdfCurrent()->displayName, "loose");
    QTreeWidgetItem* a = child(root(), "Group A");
    ASSERT_NE(a, nullptr);
    a->setExpanded(true);
    QTreeWidgetItem* inner = child(a, "Inner");
    ASSERT_NE(inner, nullptr);
    inner->setExpanded(true);
    EXPECT_EQ(childTexts(inner), QStringList({"b", "shared"}));
    click(child(inner, "b"));
    EXPECT_EQ(doc->hdfCurrent()->displayName, "b");
    EXPECT_EQ(doc->currentArray()->extent(0), 2);
    EXPECT_EQ(doc->currentArray()->extent(1), 2);
    EXPECT_EQ(tree()->currentItem(), child(inner, "b"));
    click(a);
    EXPECT_EQ(doc->hdfCurrent()->displayName, "b");
    EXPECT_TRUE(sink.messages.empty());
    // The image in "Group B" shows as an image map of its own rows.
    QTreeWidgetItem* b = child(root(), "Group B");
    b->setExpanded(true);
    click(child(b, "img"));
    EXPECT_EQ(doc->hdfCurrent()->displayName, "img");
    EXPECT_EQ(doc->currentArray()->extent(0), 2);
    EXPECT_EQ(cell(1, 2).trimmed(), "250");
}

TEST_F(HdfTreeTest, ViewCommandTogglesTheBarAndAnotherFileKindHidesIt) {
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("scales.hdf"))));
    settle();
    frame->hdfTreeAction()->trigger();
    settle();
    EXPECT_FALSE(frame->hdfBar()->isVisible());
    EXPECT_FALSE(frame->hdfTreeAction()->isChecked());
    frame->hdfTreeAction()->trigger();
    settle();
    EXPECT_TRUE(frame->hdfBar()->isVisible());
    EXPECT_EQ(frame->focusWidget(), tree()); // the window's focus, active or not

    auto a = makeArray({3, 3}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("a.agl")));
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("a.agl"))));
    settle();
    EXPECT_FALSE(frame->hdfBar()->isVisible());
    EXPECT_FALSE(frame->hdfTreeAction()->isEnabled());
}

// Destroying the frame while the tree is shown: the bar reports itself
// hidden as QWidget's destructor deletes it, after the frame's own
// destructor is done, and the frame's handler then ran on what was no
// longer a CMainFrame (undefined behaviour; its action was already freed).
TEST_F(HdfTreeTest, TheBarGoingWithTheFrameRunsNoFrameCode) {
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("scales.hdf"))));
    settle();
    QDockWidget* bar = frame->hdfBar();
    ASSERT_TRUE(bar->isVisible());
    // The handler's target, the View command's action, is kept past the
    // frame (it would go before the bar), unchecked while the bar is shown,
    // so that a late call shows as the action checked.
    std::unique_ptr<QAction> action(frame->hdfTreeAction());
    action->setParent(nullptr);
    action->setChecked(false);
    bool tearingDown = false, checkedLate = false;
    QObject::connect(bar, &QDockWidget::visibilityChanged, [&] {
        if (tearingDown) checkedLate = checkedLate || action->isChecked();
    });
    tearingDown = true;
    frame.reset();
    EXPECT_FALSE(checkedLate) << "the frame's handler ran after its destructor";
}

TEST(HdfTreeRoot, TextIsCutAfterTheLastBackslashElseTheLastSlash) {
    EXPECT_EQ(HdfTreeBar::rootText("C:\\data\\run.hdf"), "run.hdf");
    EXPECT_EQ(HdfTreeBar::rootText("/tmp/x/run.hdf"), "run.hdf");
    EXPECT_EQ(HdfTreeBar::rootText("a/b\\c/d.hdf"), "c/d.hdf");
    EXPECT_EQ(HdfTreeBar::rootText("plain.hdf"), "plain.hdf");
}

} // namespace

// A helper that never answers: the viewer goes on handling events (the
// test's own timer runs inside the wait), a progress box comes up after a
// moment, and a click on its Cancel button kills the helper long before its
// time limit; the file shown before stays, and the user is told.
TEST_F(HdfTreeTest, CancelOnTheProgressBoxStopsAHangingHelperAndKeepsTheFileShown) {
    const std::string shown = dir.file("scales.hdf");
    ASSERT_TRUE(frame->openFile(QString::fromStdString(shown)));
    settle();
    const QString value = cell(1, 1);
    const QString title = frame->windowTitle();

    const std::string mark = dir.file("started");
    const std::string script = dir.file("hang.sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ntouch '" << mark << "'\nexec sleep 600\n";
    }
    ::chmod(script.c_str(), 0755);
    setenv("TAVRIX_HDF_HELPER", script.c_str(), 1);
    doc->hdfHelper() = HdfHelper();
    unsetenv("TAVRIX_HDF_HELPER");

    bool clicked = false;
    QTimer::singleShot(0, [&] {
        QProgressDialog* box = nullptr;
        const bool up = waitFor([&] {
            box = frame->findChild<QProgressDialog*>();
            return box && box->isVisible() && std::filesystem::exists(mark);
        });
        ASSERT_TRUE(up);
        EXPECT_TRUE(doc->isWaitingForHelper());
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_NE(box->labelText().indexOf("images.hdf"), -1) << box->labelText().toStdString();
        QPushButton* cancel = box->findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        QTest::mouseClick(cancel, Qt::LeftButton);
        clicked = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string other = dir.file("images.hdf");
    EXPECT_FALSE(frame->openFile(QString::fromStdString(other)));
    EXPECT_TRUE(clicked);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
    settle();
    EXPECT_FALSE(doc->isWaitingForHelper());
    EXPECT_EQ(frame->findChild<QProgressDialog*>(), nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0],
              "Reading " + other + " was cancelled; the array shown is unchanged.");
    EXPECT_EQ(doc->path(), shown);
    EXPECT_EQ(cell(1, 1), value);
    EXPECT_EQ(frame->windowTitle(), title);
}

// ---- HDF5 and NetCDF files ---------------------------------------------------------

TEST_F(HdfTreeTest, Hdf5GroupsAreFoldersAndRefusedDataSetsSayWhyWhenClicked) {
    ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("sample.h5"))));
    settle();
    QTreeWidgetItem* grp = child(root(), "grp");
    ASSERT_NE(grp, nullptr);
    grp->setExpanded(true);
    settle();
    click(child(grp, "temp  float[3][4]"));
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->location, "/grp/temp");
    // C order: row 1, column 2 is element [1][2] = 0.5 + 1.25 x 6.
    EXPECT_EQ(cell(1, 2).trimmed().toDouble(), 8.0);
    sink.messages.clear();
    click(child(root(), "pairs  unsupported[2]  (compound data sets cannot be shown)"));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"pairs: compound data sets cannot be shown"});
    EXPECT_EQ(doc->hdfCurrent()->location, "/grp/temp");
}

// An HDF5 data set of three dimensions is read a plane at a time: Page Down
// and the dimension bar's spin box read the next plane through the helper,
// and the spreadsheet, the bar and the status bar's element follow.
TEST_F(HdfTreeTest, PageDownAndTheDimensionBarReadTheNextPlaneOfAnHdf5DataSet) {
    ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("sample.h5"))));
    settle();
    click(child(root(), "cube  ushort[2][3][4]"));
    ASSERT_EQ(doc->hdfCurrent()->location, "/cube");
    // uint16 [2][3][4] = 0 .. 23; the array holds the plane at index 0.
    EXPECT_EQ(doc->currentArray()->extent(0), 1);
    EXPECT_EQ(cell(2, 3).trimmed(), "11");
    DimensionBar* bar = frame->dimensionBar();
    ASSERT_TRUE(waitFor([&] { return bar->isVisible(); }));
    EXPECT_EQ(bar->spinBox(0)->maximum(), 1);

    frame->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == frame.get(); }));
    QTableView* table = frame->gridView()->table();
    table->setFocus();
    settle();
    QTest::keyClick(table, Qt::Key_PageDown);
    ASSERT_TRUE(waitFor([&] { return cell(2, 3).trimmed() == "23"; }));
    EXPECT_EQ(cell(0, 0).trimmed(), "12");
    EXPECT_EQ(bar->spinBox(0)->value(), 1);
    EXPECT_EQ(doc->positionText(0, 0), "M[1][0][0]: 12");
    // The spin box goes back to the first plane.
    bar->spinBox(0)->setFocus();
    QTest::keyClick(bar->spinBox(0), Qt::Key_Down);
    ASSERT_TRUE(waitFor([&] { return cell(2, 3).trimmed() == "11"; }));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(HdfTreeTest, ContextMenuCheckShowsAPackedVariableUnpackedAndBack) {
    if (std::system("command -v ncgen >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ncgen is not installed";
    const std::string nc = dir.file("ocean.nc");
    ASSERT_EQ(std::system(("ncgen -k classic -o " + nc + " " + TAVRIX_SOURCE_DIR +
                           "/tests/viewer/doc/netcdf/ocean.cdl")
                              .c_str()),
              0);
    ASSERT_TRUE(frame->openFile(QString::fromStdString(nc)));
    settle();
    QTreeWidgetItem* depth = child(root(), "depth  short[3][4]");
    click(depth);
    ASSERT_EQ(doc->hdfCurrent()->displayName, "depth");
    EXPECT_EQ(cell(1, 3).trimmed().toDouble(), -8.0);

    auto toggleFromMenu = [&](bool expectChecked) {
        // A right click opens the item's menu; its one check is clicked.
        // (Sent to the window, as the window system does: the window turns
        // the press into the context menu event.)
        const QPoint at =
            tree()->viewport()->mapTo(frame.get(), tree()->visualItemRect(depth).center());
        QTest::mouseClick(frame->windowHandle(), Qt::RightButton, {}, at);
        HdfTreeBar* bar = frame->findChild<HdfTreeBar*>();
        ASSERT_NE(bar, nullptr);
        ASSERT_TRUE(waitFor([&] { return bar->contextMenu() && bar->contextMenu()->isVisible(); }));
        QMenu* menu = bar->contextMenu();
        ASSERT_EQ(menu->actions().size(), 1);
        QAction* unpack = menu->actions().first();
        EXPECT_EQ(unpack->text(), HdfTreeBar::kUnpackText);
        EXPECT_EQ(unpack->isChecked(), expectChecked);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(unpack).center());
        settle();
    };
    toggleFromMenu(false);
    ASSERT_TRUE(waitFor([&] { return doc->currentArray()->typeCode() == AGL_DOUBLE; }));
    EXPECT_EQ(doc->hdfCurrent()->displayName, "depth");
    // -8 x 0.5 + 100
    EXPECT_EQ(cell(1, 3).trimmed().toDouble(), 96.0);
    toggleFromMenu(true);
    ASSERT_TRUE(waitFor([&] { return doc->currentArray()->typeCode() == AGL_SHORT; }));
    EXPECT_EQ(cell(1, 3).trimmed().toDouble(), -8.0);
}

TEST_F(HdfTreeTest, Hdf5FileWithDataOnlyInGroupsOpensShowingItsFirstDataSet) {
    ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("grouped.h5"))));
    settle();
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->location, "/run/step1/field");
    EXPECT_EQ(cell(1, 2).trimmed().toDouble(), 6.0);
    // Its item, inside two folders, is the current one and in view.
    QTreeWidgetItem* item = tree()->currentItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(0), "field  double[2][3]");
    EXPECT_TRUE(item->parent()->isExpanded());
}
