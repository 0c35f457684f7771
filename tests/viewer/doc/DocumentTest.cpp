// The document end to end on real files: load by kind, names, the watch and
// reload question, saving and its messages, the attribute record, and the
// settings store behind it. No window: the control, the views and the
// message boxes are the recording fakes of DocFakes.h.
#include "DocFakes.h"

#include "AglBinaryFormat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace plotrane;

namespace {

PrivateConfigHome g_home;

// A C float array file of rows x cols, element i = i + 0.5.
void makeAglFile(const std::string& path, int32_t rows, int32_t cols, int type = AGL_FLOAT) {
    aglSegment seg;
    const int32_t ext[2] = {rows, cols};
    ASSERT_TRUE(seg.create(path.c_str(), 2, ext, type, AGL_LANG_C, true)) << path;
    for (int64_t i = 0; i < seg.elementCount(); ++i) {
        if (type == AGL_FLOAT) {
            const float v = float(i) + 0.5f;
            std::memcpy(static_cast<uint8_t*>(seg.elements()) + i * 4, &v, 4);
        } else {
            static_cast<uint8_t*>(seg.elements())[i * seg.elementSize()] = uint8_t(i);
        }
    }
}

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Moves a file's modification time forward by seconds (a rewrite that
// keeps the size, seen by a clock coarser than the test).
void bumpTime(const std::string& path, int seconds) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    struct timespec t[2] = {st.st_atim, st.st_mtim};
    t[1].tv_sec += seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

class DocTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc = std::make_unique<CArrayDoc>(store, sink);
        doc->addView(&grid);
        doc->addView(&graph);
        QObject::connect(doc.get(), &CArrayDoc::titleChanged, [this](const QString& t) { titles.push_back(t.toStdString()); });
    }
    RecordingControl& ctl() { return graph.dispatch; }
    bool shownContains(const std::string& text) const {
        for (const auto& m : sink.shown)
            if (m.text == text) return true;
        return false;
    }

    TempDir dir;
    SettingsStore store{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    FakeGraphView graph;
    FakeGridView grid;
    std::unique_ptr<CArrayDoc> doc;
    std::vector<std::string> titles;
};

} // namespace

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

TEST_F(DocTest, FilesThatCannotBeReadAreRefusedAndThePreviousArrayStays) {
    const std::string good = dir.file("good.agl");
    makeAglFile(good, 2, 3);
    ASSERT_TRUE(doc->open(good));

    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty.txt", ""},
        {"abc.txt", "abc"},
        {"words.txt", "no numbers here\n"},
        {"depth24.bmp", std::string("BM") + std::string(12, '\0') + std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 16) + std::string(40, '\0')},
        {"data.hdf", std::string("\x0E\x03\x13\x01", 4) + std::string(100, '\0')},
        {"short.agl", std::string("\x13\x09\x16\x01\x01\x06\x02", 7) + std::string(5, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.shown.clear();
        const std::string path = dir.write(c.name, c.bytes);
        EXPECT_FALSE(doc->open(path));
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0].text, "Unable to read file: " + path);
        EXPECT_EQ(sink.shown[0].icon, MessageIcon::Exclamation);
        EXPECT_NE(doc->lastError(), 0);
        EXPECT_EQ(doc->path(), good);
        EXPECT_EQ(doc->currentArray()->elementCount(), 6);
        EXPECT_EQ(doc->currentArray()->value(2, 1), 5.5);
    }
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
    EXPECT_EQ(sink.questions[0], path + "\n\nThis file has been modified.  Do you want to reload it?");
    doc->checkForChange();
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);

    bumpTime(path, 10);
    sink.answers = {true};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 2u);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(DocTest, FileReplacedByRenameIsNoticedAndReloadShowsTheNewArray) {
    const std::string path = dir.file("data.agl");
    makeAglFile(path, 2, 2);
    ASSERT_TRUE(doc->open(path));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    // Same size, same time, new file: only the inode tells.
    const std::string fresh = dir.file("data.agl.new");
    makeAglFile(fresh, 2, 2, AGL_FLOAT);
    {
        aglSegment s;
        ASSERT_TRUE(s.open(fresh, false));
        const float v = 42.0f;
        std::memcpy(s.elements(), &v, 4);
    }
    struct timespec t[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, fresh.c_str(), t, 0), 0);
    ASSERT_EQ(std::rename(fresh.c_str(), path.c_str()), 0);

    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(doc->currentArray()->value(0, 0), 42.0);
    // Watching the new file now: no further question.
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
}

// A file another program truncates, lengthens or turns into another type:
// the reload shows the new array or says clearly that it cannot, and never
// shows the torn remains.
TEST_F(DocTest, ReloadAfterTruncationOrRewriteShowsTheNewArrayOrAClearMessage) {
    const std::string path = dir.file("moving.agl");
    makeAglFile(path, 64, 64);
    ASSERT_TRUE(doc->open(path));

    // Longer, other type.
    makeAglFile(path, 100, 80, AGL_UCHAR);
    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(doc->currentArray()->typeCode(), AGL_UCHAR);
    EXPECT_EQ(doc->currentArray()->extent(0), 100);
    EXPECT_EQ(ctl().num(DISPID_RowDim), doc->currentArray()->rowDim());

    // Cut off in the middle of the elements, in place.
    ASSERT_EQ(::truncate(path.c_str(), 2000), 0);
    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "Unable to read file: " + path);
    EXPECT_FALSE(doc->hasData());

    // Written again, shorter and valid.
    makeAglFile(path, 3, 5);
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(doc->currentArray()->elementCount(), 15);
    EXPECT_EQ(doc->currentArray()->value(4, 2), 14.5);
}

TEST_F(DocTest, TruncatedFileReadsAsZerosUntilTheQuestionIsAnswered) {
    const std::string path = dir.file("cut.agl");
    makeAglFile(path, 1024, 1024); // 4 MiB: many pages
    ASSERT_TRUE(doc->open(path));
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    // Reading past the new end must not kill the process.
    EXPECT_EQ(doc->currentArray()->value(10, 1000), 0.0);
    sink.answers = {false};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
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
    EXPECT_EQ(readAll(dir.file("copy.agl")).substr(0, 12 + 8 * 2 + 16), readAll(agl).substr(0, 12 + 8 * 2 + 16));
}

// A save after someone else replaced or rewrote the file: a replacement
// (new inode) gets a complete file of ours, never our trailer on their
// elements; a file rewritten in place is refused and left as it is.
TEST_F(DocTest, SaveAfterTheFileChangedNeverMixesOurTrailerWithTheirElements) {
    const std::string path = dir.file("mine.agl");
    makeAglFile(path, 4, 4);
    ASSERT_TRUE(doc->open(path));
    const std::string other = dir.file("theirs.agl");
    makeAglFile(other, 8, 8, AGL_UCHAR);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    sink.answers = {false}; // keep showing the old array
    doc->checkForChange();
    ASSERT_TRUE(doc->save(path));
    {
        aglSegment back;
        ASSERT_TRUE(back.open(path, true));
        EXPECT_EQ(back.typeCode(), AGL_FLOAT);
        EXPECT_EQ(back.elementCount(), 16);
        float v;
        std::memcpy(&v, static_cast<const uint8_t*>(back.elements()) + 4, 4);
        EXPECT_EQ(v, 1.5f);
        EXPECT_EQ(back.trailerSize(), 328u);
    }

    // Now mapped from the file just written; rewrite it in place.
    const std::string mapped = dir.file("mapped.agl");
    makeAglFile(mapped, 4, 4);
    ASSERT_TRUE(doc->open(mapped));
    makeAglFile(mapped, 8, 8, AGL_UCHAR); // same inode, same size, other bytes
    const std::string theirs = readAll(mapped);
    sink.answers = {false};
    doc->checkForChange();
    sink.shown.clear();
    EXPECT_FALSE(doc->save(mapped));
    EXPECT_EQ(readAll(mapped), theirs);
    EXPECT_TRUE(shownContains(mapped + "\n\nCouldn't save file."));
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
    for (const char* name : SettingsStore::graphDefaultNames()) EXPECT_TRUE(store.contains(name)) << name;
}

TEST_F(DocTest, RestoreFactoryDefaultsDeletesOnlyTheGraphDefaultsAndKeepsTheLook) {
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
    for (const char* name : SettingsStore::graphDefaultNames()) EXPECT_FALSE(store.contains(name)) << name;
    EXPECT_EQ(store.appWidth(), 800);
    EXPECT_EQ(store.readString("FillValue", ""), "-1.5");
    EXPECT_EQ(store.readInt("ShowAglAnnot", 1), 0);
    EXPECT_TRUE(store.contains("SaveAglAttr"));
    EXPECT_EQ(ctl().num(DISPID_BackColor), 0x0A0B0C);
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
    EXPECT_EQ(store.fileName().toStdString().rfind(g_home.path(), 0), 0u) << store.fileName().toStdString();
    EXPECT_NE(store.fileName().toStdString().find("Veradyne/Plotrane"), std::string::npos);
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
