// The document end to end on real files: load by kind, names, the watch and
// reload question, saving and its messages, the attribute record, and the
// settings store behind it. No window: the control, the views and the
// message boxes are the recording fakes of DocFakes.h.
#include "DocFakes.h"

#include "AglBinaryFormat.h"
#include "SettingsFile.h"
#include "plotrane/PropertyTable.h"

#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace plotrane;

// ---- Names -----------------------------------------------------------------

TEST(ArrayName, GeneratedSegmentNamesCountFromOneOthersKeepThePath) {
    EXPECT_EQ(CArrayDoc::arrayNameFor("/usr/bin/prog@4@1234"), "Array5");
    EXPECT_EQ(CArrayDoc::arrayNameFor("/usr/bin/prog@0@77"), "Array1");
    EXPECT_EQ(CArrayDoc::arrayNameFor("C:/data/wave.agl"), "C:/data/wave.agl");
    EXPECT_EQ(CArrayDoc::arrayNameFor("one@at"), "one@at");
    EXPECT_EQ(CArrayDoc::fileTitleOf("C:\\data\\wave.agl"), "wave.agl");
    EXPECT_EQ(CArrayDoc::fileTitleOf("/tmp/x/run1.txt"), "run1.txt");
}

// ---- Loading -----------------------------------------------------------------

TEST_F(DocTest, AglFileIsMappedInPlaceAndTheControlIsGivenItsPath) {
    const std::string path = dir.file("wave.agl");
    makeAglFile(path, 40, 60);
    ASSERT_TRUE(doc->open(path));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindAgl);
    EXPECT_EQ(ctl().str(DISPID_FileName), path);
    EXPECT_EQ(doc->currentArray()->segment()->name(), path);
    EXPECT_TRUE(doc->currentArray()->segment()->isFileBacked());
    EXPECT_FALSE(doc->currentArray()->isWritable());
    EXPECT_EQ(doc->title(), "wave.agl");
    EXPECT_EQ(doc->currentArray()->value(1, 0), 1.5);
    EXPECT_GE(ctl().count(DISPID_Update), 1);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
    // No trailer: the settings defaults, the factory camera.
    EXPECT_FLOAT_EQ(doc->camera().elevation, 20.0f);
    EXPECT_FLOAT_EQ(doc->camera().azimuth, -108.0f);
    EXPECT_FLOAT_EQ(doc->camera().distance, 3.0f);
    EXPECT_FLOAT_EQ(doc->camera().zScale, 0.8f);
    EXPECT_EQ(grid.prec, 6);
    EXPECT_FALSE(grid.exp);
    EXPECT_GE(grid.reloads, 1);
}

TEST_F(DocTest, SharedMemorySegmentIsLoadedByNameAndNamedArrayKPlusOne) {
    aglSegment block;
    const int32_t ext[2] = {3, 4};
    ASSERT_TRUE(block.create(nullptr, 2, ext, AGL_DOUBLE, AGL_LANG_C));
    const std::string name = block.name();
    const size_t first = name.find('@'), last = name.rfind('@');
    ASSERT_NE(first, last);
    const int k = std::stoi(name.substr(first + 1, last - first - 1));

    ASSERT_TRUE(doc->loadClientSegment(name));
    EXPECT_TRUE(doc->isClientOwned());
    EXPECT_EQ(doc->arrayName(), "Array" + std::to_string(k + 1));
    EXPECT_EQ(doc->title(), doc->arrayName());
    EXPECT_EQ(ctl().str(DISPID_FileName), name);
    // A client-owned document hides instead of closing.
    EXPECT_FALSE(doc->closeDocument());
    EXPECT_TRUE(doc->isHiddenByClose());
}

TEST_F(DocTest, TextFileBecomesANewArray) {
    const std::string path = dir.write("run1.txt", "1 2 3\n4 5 6\n");
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindText);
    EXPECT_EQ(doc->currentArray()->elementCount(), 6);
    EXPECT_EQ(doc->currentArray()->value(2, 1), 6.0);
    EXPECT_EQ(ctl().str(DISPID_FileName), doc->currentArray()->segment()->name());
}

// ---- Watching and reloading ---------------------------------------------

TEST_F(DocTest, RewrittenFileBringsTheQuestionOnceAndAgainOnlyAfterTheNextChange) {
    const std::string path = dir.file("watched.agl");
    makeAglFile(path, 2, 2);
    ASSERT_TRUE(doc->open(path));
    doc->checkForChange();
    EXPECT_TRUE(sink.questions.empty());

    bumpTime(path, 5);
    sink.answers = {false};
    doc->checkForChange();
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0],
              path + "\n\nThis file has been modified.  Do you want to reload it?");
    doc->checkForChange();
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);

    bumpTime(path, 10);
    sink.answers = {true};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 2u);
    EXPECT_TRUE(sink.shown.empty());
}

// ---- Saving -------------------------------------------------------------------

TEST_F(DocTest, SaveToUpperCaseTxtWritesTextAndDoesNotTriggerTheReloadQuestion) {
    const std::string src = dir.file("src.agl");
    makeAglFile(src, 2, 3);
    ASSERT_TRUE(doc->open(src));
    const std::string out = dir.file("OUT.TXT");
    ASSERT_TRUE(doc->save(out));
    EXPECT_EQ(readAll(out).rfind("#agl ascii data V1.0", 0), 0u);
    EXPECT_FALSE(doc->isModified());
    doc->checkForChange();
    EXPECT_TRUE(sink.questions.empty());
    // And it reads back.
    ASSERT_TRUE(doc->open(out));
    EXPECT_EQ(doc->currentArray()->value(2, 1), 5.5);
}

TEST_F(DocTest, SaveOntoReadOnlyFileShowsBothMessagesAndLeavesItUnchanged) {
    const std::string src = dir.file("src.agl");
    makeAglFile(src, 2, 3);
    ASSERT_TRUE(doc->open(src));
    const std::string target = dir.write("locked.agl", "precious bytes");
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    EXPECT_FALSE(doc->save(target));
    ASSERT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(sink.shown[0].text, target + " is read only!");
    EXPECT_EQ(sink.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(sink.shown[1].text, target + "\n\nCouldn't save file.");
    EXPECT_EQ(sink.shown[1].icon, MessageIcon::Warning);
    EXPECT_EQ(readAll(target), "precious bytes");
}

TEST_F(DocTest, SaveAsProposesTheNameWithoutExtensionAndTheFilterOfItsKindFirst) {
    const std::string txt = dir.write("run1.txt", "1 2\n3 4\n");
    ASSERT_TRUE(doc->open(txt));
    sink.saveAnswer = std::nullopt;
    EXPECT_FALSE(doc->saveAs());
    ASSERT_EQ(sink.saveRequests.size(), 1u);
    EXPECT_EQ(sink.saveRequests[0].initialName, dir.file("run1"));
    EXPECT_EQ(sink.saveRequests[0].defaultExtension, "txt");
    EXPECT_EQ(sink.saveRequests[0].filter, "Text File (*.txt)|*.txt|Agl File (*.agl)|*.agl||");

    const std::string agl = dir.file("wave.agl");
    makeAglFile(agl, 2, 2);
    ASSERT_TRUE(doc->open(agl));
    sink.saveAnswer = dir.file("copy.agl");
    ASSERT_TRUE(doc->saveAs());
    EXPECT_EQ(sink.saveRequests[1].initialName, dir.file("wave"));
    EXPECT_EQ(sink.saveRequests[1].defaultExtension, "agl");
    EXPECT_EQ(sink.saveRequests[1].filter, "Agl File (*.agl)|*.agl|Text File (*.txt)|*.txt||");
    EXPECT_EQ(doc->path(), dir.file("copy.agl"));
    EXPECT_EQ(doc->title(), "copy.agl");
    EXPECT_EQ(readAll(dir.file("copy.agl")).substr(0, 12 + 8 * 2 + 16),
              readAll(agl).substr(0, 12 + 8 * 2 + 16));
}

TEST_F(DocTest, SettingsChangesMarkAglDocumentsModifiedAndTheTitleShowsIt) {
    const std::string path = dir.file("wave.agl");
    makeAglFile(path, 2, 2);
    ASSERT_TRUE(doc->open(path));
    EXPECT_FALSE(doc->isModified());
    doc->settingsChanged();
    EXPECT_TRUE(doc->isModified());
    EXPECT_EQ(doc->displayTitle(), "wave.agl *");
    EXPECT_EQ(titles.back(), "wave.agl *");
    ASSERT_TRUE(doc->saveCommand());
    EXPECT_FALSE(doc->isModified());
    EXPECT_EQ(titles.back(), "wave.agl");
}

// ---- Attribute record round trip -------------------------------------------

TEST_F(DocTest, SavedGraphSettingsComeBackOnTheNextLoad) {
    const std::string path = dir.file("styled.agl");
    makeAglFile(path, 20, 30);
    ASSERT_TRUE(doc->open(path));
    ctl().SetProperty(DISPID_BackColor, Variant(uint32_t(0x123456)));
    ctl().SetProperty(DISPID_PaletteId, Variant(int16_t(2)));
    ctl().SetProperty(DISPID_ZMaxClamp, Variant(7.25));
    doc->setGridFormat(9, true);
    doc->setCursor(5, 7);
    doc->setAnnotation("hello");
    ASSERT_TRUE(doc->save(path));
    // The elements on disk are the ones mapped: untouched.
    EXPECT_EQ(doc->currentArray()->value(1, 0), 1.5);

    FakeGraphView graph2;
    FakeGridView grid2;
    CArrayDoc other(store, sink);
    other.addView(&grid2);
    other.addView(&graph2);
    ASSERT_TRUE(other.open(path));
    EXPECT_EQ(graph2.dispatch.num(DISPID_BackColor), 0x123456);
    EXPECT_EQ(graph2.dispatch.num(DISPID_PaletteId), 2);
    EXPECT_EQ(graph2.dispatch.GetProperty(DISPID_ZMaxClamp).toDouble(), 7.25);
    EXPECT_EQ(grid2.prec, 9);
    EXPECT_TRUE(grid2.exp);
    EXPECT_EQ(other.cursorRow(), 5);
    EXPECT_EQ(other.cursorColumn(), 7);
    EXPECT_EQ(other.annotation(), "hello");
    ASSERT_EQ(sink.annotations.size(), 1u);
    EXPECT_EQ(sink.annotations[0], "hello");
}

TEST_F(DocTest, DamagedRecordValuesAreTamedBeforeUse) {
    const std::string path = dir.file("damaged.agl");
    makeAglFile(path, 20, 30);
    ASSERT_TRUE(doc->open(path));
    aglAttributes r = aglAttributes::blank();
    doc->captureAttributes(r);
    r.graphKind = 9;
    r.gridPrecision = 99;
    r.rowDim = 5;
    r.roiLow[0] = -4;
    r.roiHigh[0] = 1000;
    r.roiLow[1] = 20;
    r.roiHigh[1] = 3; // high below low: left alone
    doc->applyAttributes(r);
    EXPECT_EQ(grid.prec, 15);
    int32_t low, high;
    doc->currentArray()->getRoi(0, low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 19);
    doc->currentArray()->getRoi(1, low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 29);
    EXPECT_EQ(doc->currentArray()->rowDim(), 0);
    // Kind 9 became "choose": the preferred plane view does not fit 20 x 30,
    // so the height plot is shown.
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
}

// ---- Settings store ---------------------------------------------------------

TEST_F(DocTest, StoredDefaultsAreReadWithTheirX100FormAndBadKindsIgnored) {
    store.writeInt("SurfaceAzimuth", -10800);
    store.writeInt("ZScale", 125);
    store.writeInt("GraphType", 7);
    store.writeInt("Precision", 1);
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 5, 100);
    ASSERT_TRUE(doc->open(path));
    EXPECT_FLOAT_EQ(doc->camera().azimuth, -108.0f);
    EXPECT_FLOAT_EQ(doc->camera().zScale, 1.25f);
    EXPECT_EQ(doc->preferredGraphKind(), CArrayDoc::PlaneView);
    EXPECT_EQ(grid.prec, 3);
    // 5 x 100 under the plane view: columns beyond 10, rows not.
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView);
    EXPECT_EQ(ctl().num(DISPID_CamViewType), 1);
}

TEST_F(DocTest, SavingDefaultsUnderAPlaneViewWritesGraphTypeFour) {
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 5, 8);
    ASSERT_TRUE(doc->open(path));
    ASSERT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView);
    ctl().SetProperty(DISPID_CamElevation, Variant(90.0f));
    sink.answers = {true};
    doc->askSaveGraphDefaults();
    EXPECT_EQ(sink.questions.back(), "Save current graph settings as default?");
    EXPECT_EQ(store.readInt("GraphType", 0), 4);
    // Under a fixed camera the remembered 3-D camera is saved (the one
    // taken from the control when the plane view replaced it), not the
    // fixed one.
    EXPECT_EQ(store.readInt("SurfaceElevation", 0), 2600);
    for (const char* name : SettingsStore::graphDefaultNames())
        EXPECT_TRUE(store.contains(name)) << name;
}

TEST_F(DocTest, RestoreFactoryDefaultsDeletesOnlyTheGraphDefaultsAndShowsTheBuiltInValues) {
    store.writeAppSize(800, 600);
    SettingsStore::Options o;
    o.fillValue = -1.5;
    o.showAglAnnot = false;
    store.writeOptions(o);
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 20, 20);
    ASSERT_TRUE(doc->open(path));
    doc->saveGraphDefaults();
    ctl().SetProperty(DISPID_BackColor, Variant(uint32_t(0x0A0B0C)));

    sink.answers = {true};
    doc->askRestoreFactoryDefaults();
    EXPECT_EQ(sink.questions.back(), "Restore factory default settings?");
    for (const char* name : SettingsStore::graphDefaultNames())
        EXPECT_FALSE(store.contains(name)) << name;
    EXPECT_EQ(store.appWidth(), 800);
    EXPECT_EQ(store.readString("FillValue", ""), "-1.5");
    EXPECT_EQ(store.readInt("ShowAglAnnot", 1), 0);
    EXPECT_TRUE(store.contains("SaveAglAttr"));
    // The built-in values at once, not at the next load.
    EXPECT_EQ(uint32_t(ctl().num(DISPID_BackColor)), CArrayDoc::kBackColor);
    EXPECT_EQ(uint32_t(ctl().num(DISPID_GridColor)),
              uint32_t(plotrane::propertyInfo(DISPID_GridColor)->def.number));
}

TEST(SettingsStoreTest, FillValueKeepsEveryDigitAndBadTextReadsAsZero) {
    TempDir dir;
    SettingsStore store(QString::fromStdString(dir.file("s.ini")));
    for (double v : {1e-7, 1e300, -0.1, 3.0}) {
        SettingsStore::Options o;
        o.fillValue = v;
        store.writeOptions(o);
        EXPECT_EQ(store.readOptions().fillValue, v);
    }
    store.writeString("FillValue", "garbage");
    EXPECT_EQ(store.readOptions().fillValue, 0.0);
    EXPECT_EQ(SettingsStore::toX100(-108.0), -10800);
    EXPECT_EQ(SettingsStore::toX100(0.999), 99);
    EXPECT_EQ(SettingsStore::toX100(1e30), INT32_MAX);
    // Window values: a tiny window does not overwrite the stored size.
    store.writeAppSize(20, 400);
    EXPECT_EQ(store.appWidth(), 560);
    EXPECT_EQ(store.gridViewHeight(), 166);
}

TEST(SettingsStoreTest, DefaultStoreLivesUnderTheConfigurationFolder) {
    SettingsStore store;
    EXPECT_EQ(store.fileName().toStdString().rfind(std::getenv("XDG_CONFIG_HOME"), 0), 0u)
        << store.fileName().toStdString();
    EXPECT_NE(store.fileName().toStdString().find("Veradyne/Plotrane"), std::string::npos);
}

TEST(SettingsStoreTest, TheUserFileIsWhereQSettingsKeepsIt) {
    const QSettings qt(QSettings::IniFormat, QSettings::UserScope, "Veradyne", "Plotrane");
    EXPECT_EQ(SettingsFile::userPath(), qt.fileName());
}

// A device node as the settings file, as a user links /dev/null there to
// keep a program from writing settings. As root the test makes a node of its
// own (a store that regressed would otherwise replace the machine's
// /dev/null); any other user cannot replace /dev/null.
static std::string deviceNode(const TempDir& dir) {
    const std::string node = dir.file("null");
    if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) return node;
    return ::geteuid() == 0 ? std::string() : std::string("/dev/null");
}

TEST(SettingsStoreTest, ALinkToADeviceIsReadAndNeverReplaced) {
    TempDir dir;
    const std::string node = deviceNode(dir);
    if (node.empty()) GTEST_SKIP() << "root, but no device node of the test's own can be made";
    const std::string ini = dir.file("Plotrane.ini");
    ASSERT_EQ(::symlink(node.c_str(), ini.c_str()), 0);
    {
        SettingsStore store(QString::fromStdString(ini));
        EXPECT_EQ(store.fileName().toStdString(), ini);
        EXPECT_EQ(store.appWidth(), 560); // the device reads as empty
        store.writeInt("AppWidth", 640);
        store.sync();
        EXPECT_EQ(store.appWidth(), 640); // kept for the run
        // A second reader of the same path in the run sees the change.
        SettingsFile again(QString::fromStdString(ini));
        EXPECT_EQ(again.settings().value("Tavrix/Settings/AppWidth").toInt(), 640);
    }
    struct stat st {};
    ASSERT_EQ(::lstat(ini.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced";
    ASSERT_EQ(::stat(node.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << node << " was replaced";
    // Nothing was left beside them either.
    EXPECT_EQ(QDir(QString::fromStdString(dir.path()))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System)
                  .size(),
              node == "/dev/null" ? 1 : 2);
    // The next run starts from what the device gives.
    SettingsStore next(QString::fromStdString(ini));
    EXPECT_EQ(next.appWidth(), 560);
}

// A folder at the settings path reads as empty and stays a folder; a link
// to a regular file is still the file's to replace.
TEST(SettingsStoreTest, AFolderIsLeftAloneAndALinkToAFileIsFollowed) {
    TempDir dir;
    const std::string folder = dir.file("folder.ini");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    {
        SettingsStore store(QString::fromStdString(folder));
        store.writeInt("AppWidth", 640);
        store.sync();
    }
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    const std::string real = dir.write("real.ini", "[Tavrix]\nSettings\\AppWidth=700\n");
    const std::string link = dir.file("link.ini");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    {
        SettingsStore store(QString::fromStdString(link));
        EXPECT_EQ(store.appWidth(), 700);
        store.writeInt("AppWidth", 640);
    }
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(SettingsStore(QString::fromStdString(real)).appWidth(), 640);
}

// ---- New document, writable copy -------------------------------------------

TEST_F(DocTest, NewDocumentEmptiesAndSwitchesTheGraphOff) {
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 4, 4);
    ASSERT_TRUE(doc->open(path));
    doc->newDocument();
    EXPECT_FALSE(doc->hasData());
    EXPECT_EQ(ctl().num(DISPID_GraphType), 0);
    EXPECT_FALSE(ctl().GetProperty(DISPID_ShowCursor).toBool());
    EXPECT_FALSE(ctl().GetProperty(DISPID_ShowPalette).toBool());
    EXPECT_EQ(grid.clears, 1);
    EXPECT_TRUE(doc->path().empty());
    // Nothing to watch any more.
    bumpTime(path, 5);
    doc->checkForChange();
    EXPECT_TRUE(sink.questions.empty());
}

TEST_F(DocTest, MakeWritableCopiesAMappedFileAndKeepsThePlane) {
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 4, 5);
    ASSERT_TRUE(doc->open(path));
    doc->currentArray()->setRowDim(1);
    doc->currentArray()->setColDim(0);
    const std::string name = doc->makeWritable();
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(doc->currentArray()->isWritable());
    EXPECT_EQ(doc->currentArray()->rowDim(), 1);
    doc->currentArray()->setValue(0, 0, 99.0);
    EXPECT_EQ(doc->currentArray()->value(0, 0), 99.0);
    // The file is untouched.
    aglSegment file;
    ASSERT_TRUE(file.open(path, true));
    float v;
    std::memcpy(&v, file.elements(), 4);
    EXPECT_EQ(v, 0.5f);
}

TEST_F(DocTest, CursorIsClampedAndToldToEveryViewButTheOneThatMovedIt) {
    const std::string path = dir.file("a.agl");
    makeAglFile(path, 4, 5);
    ASSERT_TRUE(doc->open(path));
    doc->setCursor(100, -3);
    EXPECT_EQ(doc->cursorRow(), 3);
    EXPECT_EQ(doc->cursorColumn(), 0);
    EXPECT_EQ(grid.row, 3);
    EXPECT_EQ(ctl().num(DISPID_Row), 3);
    grid.row = -1;
    doc->setCursor(1, 2, &grid);
    EXPECT_EQ(grid.row, -1);
    EXPECT_EQ(ctl().num(DISPID_Col), 2);
}

// ---- Zoom -------------------------------------------------------------------

TEST_F(DocTest, ZoomInHalvesTheAreaAroundTheCursorAndZoomOutGoesBack) {
    const std::string path = dir.file("z.agl");
    makeAglFile(path, 40, 40);
    ASSERT_TRUE(doc->open(path));
    EXPECT_FALSE(doc->canZoomOut());
    doc->setCursor(20, 20);
    ASSERT_TRUE(doc->canZoomIn());
    doc->zoomIn();
    int32_t c0, r0, C, R;
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 28);
    EXPECT_EQ(C, 28);
    EXPECT_EQ(r0, 6);
    EXPECT_EQ(c0, 6);
    EXPECT_EQ(ctl().calls.back().dispid, DISPID_Update);
    EXPECT_TRUE(doc->canZoomOut());

    // Moving the cursor drops the deeper levels computed from the old one.
    ASSERT_TRUE(doc->canZoomIn());
    EXPECT_EQ(doc->zoomLevelCount(), 2);
    doc->setCursor(30, 30);
    EXPECT_EQ(doc->zoomLevelCount(), 1);

    doc->zoomOut();
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 40);
    EXPECT_EQ(C, 40);
    EXPECT_EQ(doc->zoomLevel(), 0);
}

TEST_F(DocTest, ZoomInStopsAtTenAndZoomOutStaysOfferedOverAReducedRegion) {
    const std::string path = dir.file("z.agl");
    makeAglFile(path, 12, 8);
    ASSERT_TRUE(doc->open(path));
    ASSERT_TRUE(doc->canZoomIn());
    doc->zoomIn();
    int32_t c0, r0, C, R;
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 10);
    EXPECT_EQ(C, 8);
    EXPECT_FALSE(doc->canZoomIn());

    const std::string small = dir.file("s.agl");
    makeAglFile(small, 8, 8);
    ASSERT_TRUE(doc->open(small));
    EXPECT_FALSE(doc->canZoomIn());
    doc->currentArray()->setPlaneRoi(2, 2, 4, 4); // as the ROI dialog would
    EXPECT_TRUE(doc->canZoomOut());
    doc->zoomOut();
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(C, 8);
}

// ---- Graph kinds ---------------------------------------------------------------

TEST_F(DocTest, GraphKindChoiceFollowsTheShapeOfTheArray) {
    ctl().window = [this] { return doc->currentArray(); };
    struct Case {
        int32_t rows, cols;
        int requested;
        int kind;
        int camViewType;
    } cases[] = {
        {1, 50, CArrayDoc::kAutoGraphKind, CArrayDoc::PlaneView, 1}, // one row: only the plane view
        {1, 50, CArrayDoc::HeightPlot, CArrayDoc::PlaneView, 1},     // refused kinds fall back
        {5, 100, CArrayDoc::PlaneView, CArrayDoc::PlaneView, 1},
        {100, 5, CArrayDoc::PlaneView, CArrayDoc::PlaneView, 3},
        {20, 30, CArrayDoc::PlaneView, CArrayDoc::HeightPlot, 0},
        {20, 30, CArrayDoc::ImageMap, CArrayDoc::ImageMap, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + " kind " +
                     std::to_string(c.requested));
        const std::string path = dir.file("k.agl");
        makeAglFile(path, c.rows, c.cols);
        ASSERT_TRUE(doc->open(path));
        doc->selectGraphType(c.requested);
        EXPECT_EQ(doc->currentGraphType(), c.kind);
        if (c.kind != CArrayDoc::NoGraph) {
            EXPECT_EQ(ctl().num(DISPID_CamViewType), c.camViewType);
        }
        // Back to a free camera for the next case.
        ctl().SetProperty(DISPID_CamViewType, Variant(int16_t(0)));
        ctl().SetProperty(DISPID_GraphType, Variant(int16_t(0)));
    }
}

TEST_F(DocTest, VectorGraphOnAWideArraySwapsRowsAndColumns) {
    ctl().window = [this] { return doc->currentArray(); };
    const std::string path = dir.file("v.agl");
    makeAglFile(path, 3, 500);
    ASSERT_TRUE(doc->open(path));
    ctl().SetProperty(DISPID_WComp, Variant(-1));
    doc->selectGraphType(CArrayDoc::VectorGraph);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::VectorGraph);
    EXPECT_EQ(doc->currentArray()->rowCount(), 500);
    EXPECT_EQ(doc->currentArray()->colCount(), 3);
    EXPECT_EQ(ctl().num(DISPID_RowDim), doc->currentArray()->rowDim());
    // x, y, z present, no w: no palette, no colour by palette.
    EXPECT_FALSE(ctl().GetProperty(DISPID_ShowPalette).toBool());
    EXPECT_FALSE(doc->graphSettings(CArrayDoc::VectorGraph).useColorPalette);
    EXPECT_EQ(ctl().num(DISPID_CamViewType), 0);
}

TEST_F(DocTest, ReloadQuestionIsNotStackedByTicksWhileItIsOpen) {
    const std::string path = dir.file("w.agl");
    makeAglFile(path, 2, 2);
    ASSERT_TRUE(doc->open(path));
    bumpTime(path, 5);
    sink.onQuestion = [&] {
        bumpTime(path, 10);
        doc->checkForChange(); // a timer tick while the box is up
    };
    sink.answers = {false, false};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
}
