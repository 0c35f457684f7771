// Over 800 lines: the list, the document and the helper share one set of sample files.
// HDF files end to end: files written by the HDF library itself
// (make_hdf_samples), listed and read through the helper process, shown by
// the document with its palette and dimension scales given to the recording
// control; damaged files and a helper that crashes, hangs or fails.
#include "DocFakes.h"

#include "HdfHelper.h"
#include "HdfObjects.h"
#include "HdfPlaneSession.h"

#include "WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace plotrane;

namespace {

// The sample files, written once for the whole test program.
class Samples {
public:
    Samples() {
        const std::string cmd = std::string(MAKE_HDF_SAMPLES) + " " + m_dir.path();
        m_ok = std::system(cmd.c_str()) == 0;
    }
    bool ok() const { return m_ok; }
    std::string file(const char* name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
    bool m_ok = false;
};

const Samples& samples() {
    static Samples s;
    return s;
}

const CHdfObject* byName(const HdfObjectList& list, const std::string& name, int kind = -1) {
    for (const auto& o : list)
        if (o->displayName == name && (kind < 0 || o->kind == kind)) return o.get();
    return nullptr;
}

std::vector<std::string> names(const std::vector<std::unique_ptr<CHdfObject>>& list) {
    std::vector<std::string> out;
    for (const auto& o : list)
        out.push_back(o->shownName());
    return out;
}

HdfObjectList listOf(const char* sample) {
    HdfObjectList list;
    std::string reason;
    HdfHelper helper;
    EXPECT_TRUE(helper.list(samples().file(sample), list, reason)) << reason;
    return list;
}

std::string writeScript(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.write(name, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

// Sets TAVRIX_HDF_HELPER for one scope.
class HelperOverride {
public:
    explicit HelperOverride(const std::string& path) {
        setenv("TAVRIX_HDF_HELPER", path.c_str(), 1);
    }
    ~HelperOverride() { unsetenv("TAVRIX_HDF_HELPER"); }
};

} // namespace

// ---- Listing -------------------------------------------------------------------

TEST(HdfList, DataSetsCarryTheirScalesAndOnlyNonStandardAttributes) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("scales.hdf");
    const auto* t = static_cast<const CHdfSds*>(byName(list, "temperature"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->typeCode, AGL_FLOAT);
    EXPECT_EQ(t->extents, (std::vector<int32_t>{3, 4}));
    EXPECT_EQ(names(t->children), (std::vector<std::string>{"lat", "lon", "comment", "letters"}));
    const auto& lat = static_cast<const CHdfSds&>(*t->children[0]);
    const auto& lon = static_cast<const CHdfSds&>(*t->children[1]);
    EXPECT_EQ(lat.scaleOfDimension, 0);
    EXPECT_EQ(lon.scaleOfDimension, 1);
    EXPECT_EQ(lon.typeCode, AGL_DOUBLE);
    EXPECT_FALSE(lat.hidden);
    EXPECT_TRUE(lat.isChild);
    // The coordinate variables themselves are hidden at the top level.
    EXPECT_TRUE(byName(list, "lat")->hidden);
    EXPECT_TRUE(static_cast<const CHdfSds*>(byName(list, "lat"))->coordinateVariable);
    // An 8-bit signed attribute lists its values as characters.
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*t->children[3]).text, "A\nB\n");
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*t->children[2]).text, "hello");
}

TEST(HdfList, SetsNamingEachOthersDimensionsGetNoScales) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("scales.hdf");
    for (const char* n : {"ping", "pong", "self"}) {
        const CHdfObject* o = byName(list, n);
        ASSERT_NE(o, nullptr) << n;
        EXPECT_TRUE(o->children.empty()) << n;
        EXPECT_TRUE(o->hasContent) << n;
    }
    // A scale's own listing has no scales of its own.
    const CHdfObject* cube = byName(list, "cube");
    ASSERT_EQ(cube->children.size(), 1u);
    EXPECT_TRUE(cube->children[0]->children.empty());
}

TEST(HdfList, RankAboveSevenAndUnmappedTypesAreListedWithoutContent) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("types.hdf");
    const auto* c8 = static_cast<const CHdfSds*>(byName(list, "c8"));
    ASSERT_NE(c8, nullptr);
    EXPECT_FALSE(c8->hasContent);
    EXPECT_EQ(c8->elementSize, 0);
    const auto* r8 = static_cast<const CHdfSds*>(byName(list, "rank8"));
    ASSERT_NE(r8, nullptr);
    EXPECT_EQ(r8->rank, 8);
    EXPECT_FALSE(r8->hasContent);
    std::string reason;
    EXPECT_EQ(HdfHelper().makeArray(*r8, reason), nullptr);
    EXPECT_TRUE(reason.empty());
}

TEST(HdfList, AnnotationsComeFirstAndLabelsAreNumberedByCharacter) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("images.hdf");
    ASSERT_GE(list.size(), 13u);
    const char tails[] = "123456789:;<";
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(list[size_t(i)]->displayName, std::string("File Label ") + tails[i]);
        EXPECT_EQ(list[size_t(i)]->kind, HdfKindAnnotation);
    }
    EXPECT_EQ(list[12]->displayName, "File Description 1");
    EXPECT_EQ(static_cast<const CHdfAnnotation&>(*list[12]).text,
              "A file written by make_hdf_samples.");
    EXPECT_EQ(list[13]->kind, HdfKindAttribute); // the file attribute "gain"
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*list[13]).text, "2.500000\n");
    const CHdfObject* colour = byName(list, "colour");
    ASSERT_NE(colour, nullptr);
    EXPECT_TRUE(colour->hidden);
    const CHdfObject* picture = byName(list, "picture");
    ASSERT_EQ(picture->children.size(), 2u);
    EXPECT_EQ(picture->children[0]->kind, HdfKindPalette);
    EXPECT_EQ(picture->children[1]->shownName(), "origin");
}

// The user's vgroups are folders of their members; the library's own vgroups
// (variables, dimensions, the interfaces' directories) are not. A data set in
// two vgroups is in both folders; a vgroup reached again (from a second
// parent, or round the cycle Loop -> Round -> Loop) is listed once.
TEST(HdfList, VgroupsAreFoldersOfTheirMembersAndCyclesEnd) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("vgroups.hdf");
    EXPECT_EQ(names(list), (std::vector<std::string>{"Group A", "Group B", "loose"}));
    const CHdfObject* a = byName(list, "Group A", HdfKindGroup);
    const CHdfObject* b = byName(list, "Group B", HdfKindGroup);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(names(a->children), (std::vector<std::string>{"purpose", "a", "Inner"}));
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*a->children[0]).text, "test");
    const CHdfObject* inner = byName(a->children, "Inner", HdfKindGroup);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(names(inner->children), (std::vector<std::string>{"b", "shared"}));
    EXPECT_EQ(names(b->children), (std::vector<std::string>{"shared", "img", "Loop"}));
    const CHdfObject* loop = byName(b->children, "Loop", HdfKindGroup);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(names(loop->children), std::vector<std::string>{"Round"});
    EXPECT_TRUE(loop->children[0]->children.empty());
    // The members are the file's objects, read by their own index.
    const CHdfObject* shared = byName(b->children, "shared");
    ASSERT_EQ(shared->kind, HdfKindSds);
    EXPECT_EQ(shared->index, byName(inner->children, "shared")->index);
    EXPECT_EQ(byName(b->children, "img")->kind, HdfKindRaster);
}

// The folders are the vgroups hdp dumpvg lists whose class is not one of the
// library's own.
TEST(HdfList, FoldersAreTheUserVgroupsHdpLists) {
    ASSERT_TRUE(samples().ok());
    if (std::system("command -v hdp >/dev/null 2>&1") != 0) GTEST_SKIP() << "hdp is not installed";
    const std::string cmd = "hdp dumpvg " + samples().file("vgroups.hdf");
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> listed;
    char line[1024];
    // Each vgroup's own line: five spaces, "name = N; class = C;".
    static const std::set<std::string> internal = {"Var0.0",   "Dim0.0",    "UDim0.0",  "CDF0.0",
                                                   "RIG0.0",   "RI0.0",     "Attr0.0",  "SDSVar",
                                                   "CoordVar", "DimVal0.0", "DimVal0.1"};
    while (std::fgets(line, sizeof line, p)) {
        const std::string l = line;
        if (l.rfind("     name = ", 0) != 0) continue;
        const size_t semi = l.find("; class = ");
        const size_t end = l.find(';', semi + 2);
        if (semi == std::string::npos || end == std::string::npos) continue;
        const std::string name = l.substr(12, semi - 12);
        const std::string cls = l.substr(semi + 10, end - semi - 10);
        if (!internal.count(cls)) listed.insert(name);
    }
    ::pclose(p);
    std::set<std::string> folders;
    std::function<void(const HdfObjectList&)> walk = [&](const HdfObjectList& list) {
        for (const auto& o : list) {
            if (o->kind == HdfKindGroup) folders.insert(o->displayName);
            walk(o->children);
        }
    };
    walk(listOf("vgroups.hdf"));
    EXPECT_EQ(folders, listed);
    EXPECT_EQ(folders.size(), 5u);
}

// ---- Reading elements -------------------------------------------------------------

struct TypeCase {
    const char* name;
    int type;
    double first; // element [0][0]
    double last;  // element [2][3]
};
// ctest shows the case by its name.
void PrintTo(const TypeCase& c, std::ostream* out) {
    *out << c.name;
}

class HdfTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(HdfTypes, EveryMappedNumberTypeReadsItsValuesIntoASegment) {
    ASSERT_TRUE(samples().ok());
    const TypeCase& tc = GetParam();
    const HdfObjectList list = listOf("types.hdf");
    const CHdfObject* o = byName(list, tc.name);
    ASSERT_NE(o, nullptr);
    std::string reason;
    auto array = HdfHelper().makeArray(*o, reason);
    ASSERT_NE(array, nullptr) << reason;
    EXPECT_EQ(array->typeCode(), tc.type);
    ASSERT_EQ(array->dimCount(), 2);
    EXPECT_EQ(array->extent(0), 3);
    EXPECT_EQ(array->extent(1), 4);
    EXPECT_EQ(array->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(array->lowerBound(0), 1);
    EXPECT_TRUE(array->segment()->isSharedMemory());
    array->setRowDim(0);
    array->setColDim(1);
    EXPECT_DOUBLE_EQ(array->value(0, 0), tc.first);
    EXPECT_DOUBLE_EQ(array->value(3, 2), tc.last);
}

INSTANTIATE_TEST_SUITE_P(Samples, HdfTypes,
                         ::testing::Values(TypeCase{"f32", AGL_FLOAT, 0.5, 23.5},
                                           TypeCase{"f64", AGL_DOUBLE, 1.25, 24.25},
                                           TypeCase{"i8", AGL_CHAR, -2, -25},
                                           TypeCase{"u8", AGL_UCHAR, 203, 226},
                                           TypeCase{"i16", AGL_SHORT, -4000, -27000},
                                           TypeCase{"u16", AGL_USHORT, 60005, 60028},
                                           TypeCase{"i32", AGL_LONG, -600000, -2900000},
                                           TypeCase{"u32", AGL_ULONG, 4000000007.0, 4000000030.0}),
                         [](const auto& p) { return std::string(p.param.name); });

// The helper's plane session opens the file once: after the first plane the
// file may go from its folder and the next planes still come from it.
TEST(HdfPlaneSessionFile, StaysOpenFromTheFirstPlaneToTheLast) {
    ASSERT_TRUE(samples().ok());
    TempDir dir;
    const std::string copy = dir.file("scales.hdf");
    std::filesystem::copy_file(samples().file("scales.hdf"), copy);
    HdfObjectList list;
    std::string reason;
    ASSERT_TRUE(HdfHelper().list(copy, list, reason)) << reason;
    const auto* cube = static_cast<const CHdfSds*>(byName(list, "cube"));
    ASSERT_NE(cube, nullptr);
    ASSERT_TRUE(hdfReadsByPlane(*cube));
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), *cube);
    int32_t start[3] = {};
    auto array = HdfHelper::makePlaneArray(*cube, hdfFirstPlane(*cube), reason, start);
    ASSERT_NE(array, nullptr) << reason;
    int64_t imprecise = 0;
    ASSERT_TRUE(session.read(*array->segment(), start, 10000, nullptr, imprecise, reason))
        << reason;
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    // cube: double [2][3][4], element i of storage = 1.5 i; the plane holds
    // [i][j][3], the last one [1][2][3].
    start[2] = 3;
    ASSERT_TRUE(session.read(*array->segment(), start, 10000, nullptr, imprecise, reason))
        << reason;
    const auto* values = static_cast<const double*>(array->segment()->elements());
    EXPECT_EQ(values[0], 3 * 1.5);
    EXPECT_EQ(values[5], (12 + 8 + 3) * 1.5);
}

// ---- The document ---------------------------------------------------------------

class HdfDocTest : public DocTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(samples().ok());
        DocTest::SetUp();
        QObject::connect(doc.get(), &CArrayDoc::hdfTreeFilled,
                         [this](bool show) { fills.push_back(show); });
        QObject::connect(doc.get(), &CArrayDoc::hdfObjectShown,
                         [this](int id) { shownIds.push_back(id); });
    }
    const CHdfObject* top(const std::string& name) const { return byName(doc->hdfObjects(), name); }
    std::vector<RecordingControl::Call> scaleCalls() const {
        std::vector<RecordingControl::Call> out;
        for (const auto& c : graph.dispatch.calls)
            if (c.dispid == DISPID_SetAxisScale) out.push_back(c);
        return out;
    }
    std::vector<bool> fills;
    std::vector<int> shownIds;
};

TEST_F(HdfDocTest, OpeningShowsTheFirstDataSetWithBothScalesGivenByName) {
    const std::string path = samples().file("scales.hdf");
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(fills, std::vector<bool>{true});
    EXPECT_TRUE(doc->hdfTreeAvailable());
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindHdf);
    const CHdfObject* t = top("temperature");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(doc->hdfCurrent(), t);
    EXPECT_EQ(shownIds, std::vector<int>{t->objectId});
    ASSERT_NE(t->array, nullptr);
    EXPECT_EQ(doc->currentArray(), t->array.get());
    EXPECT_EQ(ctl().str(DISPID_FileName), t->array->segment()->name());
    EXPECT_EQ(doc->title(), path + ":temperature");
    // Both dimension scales cross by segment name, and hold the scale values.
    const auto calls = scaleCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(calls[size_t(d)].args[0].toInt(), d);
        const CHdfObject& scale = *t->children[size_t(d)];
        ASSERT_NE(scale.array, nullptr);
        EXPECT_EQ(calls[size_t(d)].args[1].toString(), scale.array->segment()->name());
    }
    EXPECT_DOUBLE_EQ(t->children[1]->array->value(3, 0), 130.0);
    // No palette of its own: the control's palette name is cleared.
    EXPECT_EQ(ctl().str(DISPID_PaletteFileName), "");
    EXPECT_EQ(grid.reloads > 0, true);
}

TEST_F(HdfDocTest, ScaleChildShowsAsItsOwnArrayAndDropsTheScalesOfTheSet) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* t = top("temperature");
    const CHdfObject* lon = t->children[1].get();
    graph.dispatch.clearLog();
    ASSERT_TRUE(doc->showHdfObjectById(lon->objectId));
    EXPECT_EQ(doc->hdfCurrent(), lon);
    EXPECT_EQ(doc->currentArray()->typeCode(), AGL_DOUBLE);
    EXPECT_EQ(doc->currentArray()->extent(0), 4);
    // The two scales of the data set are taken back.
    const auto calls = scaleCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[1].toString(), "");
    EXPECT_EQ(calls[1].args[1].toString(), "");
    // Showing it again changes nothing.
    graph.dispatch.clearLog();
    EXPECT_FALSE(doc->showHdfObjectById(lon->objectId));
    EXPECT_TRUE(graph.dispatch.sets.empty());
}

TEST_F(HdfDocTest, AttributesAndAnnotationsOpenTheirTextEveryTime) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* letters = top("temperature")->children[3].get();
    const CHdfObject* before = doc->hdfCurrent();
    EXPECT_TRUE(doc->showHdfObjectById(letters->objectId));
    EXPECT_TRUE(doc->showHdfObjectById(letters->objectId));
    EXPECT_EQ(sink.annotations, (std::vector<std::string>{"A\nB\n", "A\nB\n"}));
    EXPECT_EQ(doc->hdfCurrent(), before);
    // The root item (id 0) and unknown ids do nothing.
    EXPECT_FALSE(doc->showHdfObjectById(0));
    EXPECT_FALSE(doc->showHdfObjectById(-5));
}

TEST_F(HdfDocTest, SingleElementSetIsListedButShowsNothing) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* single = top("single");
    ASSERT_NE(single, nullptr);
    EXPECT_TRUE(single->hasContent);
    const CHdfObject* before = doc->hdfCurrent();
    EXPECT_FALSE(doc->showHdfObjectById(single->objectId));
    EXPECT_EQ(doc->hdfCurrent(), before);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(HdfDocTest, RasterImageIsAnImageMapWithItsPaletteAndFixedRange) {
    ASSERT_TRUE(doc->open(samples().file("images.hdf")));
    const CHdfObject* picture = top("picture");
    ASSERT_EQ(doc->hdfCurrent(), picture);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::ImageMap);
    EXPECT_EQ(ctl().num(DISPID_ImageOrientation), 2);
    EXPECT_EQ(ctl().GetProperty(DISPID_PaletteMaxVal).toDouble(), 255.0);
    EXPECT_FALSE(ctl().GetProperty(DISPID_PaletteAutoAdjust).toBool());
    const CHdfObject& palette = *picture->children[0];
    ASSERT_NE(palette.array, nullptr);
    EXPECT_EQ(ctl().str(DISPID_PaletteFileName), palette.array->segment()->name());
    EXPECT_EQ(ctl().num(DISPID_PaletteId), 0);
    // Entry 10 of the palette: red 10, green 245, blue 5, then 255.
    const auto* rgba = static_cast<const uint8_t*>(palette.array->data());
    EXPECT_EQ(rgba[40], 10);
    EXPECT_EQ(rgba[41], 245);
    EXPECT_EQ(rgba[42], 5);
    EXPECT_EQ(rgba[43], 255);
    // 5 columns, 3 rows; pixel (column 4, row 2) is 14 x 17.
    const aglArray* a = doc->currentArray();
    EXPECT_EQ(a->extent(0), 3);
    EXPECT_EQ(a->extent(1), 5);
    EXPECT_DOUBLE_EQ(a->value(4, 2), 14 * 17);

    // The 16-bit image has no palette: rainbow instead of the custom one.
    ASSERT_TRUE(doc->showHdfObjectById(top("wide")->objectId));
    EXPECT_EQ(doc->currentArray()->typeCode(), AGL_USHORT);
    EXPECT_EQ(ctl().str(DISPID_PaletteFileName), "");
    EXPECT_EQ(ctl().num(DISPID_PaletteId), 4);
    EXPECT_EQ(ctl().GetProperty(DISPID_PaletteMaxVal).toDouble(), 255.0);
}

TEST_F(HdfDocTest, EachObjectKeepsItsOwnGraphSettings) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* t = top("temperature");
    const CHdfObject* cube = top("cube");
    ctl().SetProperty(DISPID_GraphColor, Variant(uint32_t(0x123456)));
    ASSERT_TRUE(doc->showHdfObjectById(cube->objectId));
    EXPECT_EQ(cube->settings, nullptr); // entered with the defaults
    ctl().SetProperty(DISPID_GraphColor, Variant(uint32_t(0x654321)));
    ASSERT_TRUE(doc->showHdfObjectById(t->objectId));
    ASSERT_NE(t->settings, nullptr);
    EXPECT_EQ(ctl().num(DISPID_GraphColor), 0x123456);
    ASSERT_TRUE(doc->showHdfObjectById(cube->objectId));
    EXPECT_EQ(ctl().num(DISPID_GraphColor), 0x654321);
}

// An HDF4 data set of three dimensions is read a plane at a time too, as
// the Fortran array it is shown as: subscripts from 1, the first two whole.
TEST_F(HdfDocTest, ThreeDimensionalDataSetIsReadOnePlaneAtATime) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    ASSERT_TRUE(doc->showHdfObjectById(top("cube")->objectId));
    // cube: double [2][3][4], element i of storage = 1.5 i.
    const aglArray* a = doc->currentArray();
    EXPECT_EQ(a->extent(0), 2);
    EXPECT_EQ(a->extent(1), 3);
    EXPECT_EQ(a->extent(2), 1);
    EXPECT_EQ(a->value(1, 2), (12 + 8) * 1.5);
    EXPECT_NE(doc->shapeText().find("M(4, 3, 2)"), std::string::npos) << doc->shapeText();
    CArrayDoc::RegionChoice choice = doc->regionChoice();
    EXPECT_EQ(choice.extent[2], 4);
    choice.start[2] = 3;
    ASSERT_TRUE(doc->applyRegion(choice));
    EXPECT_EQ(doc->currentArray()->value(1, 2), (12 + 8 + 3) * 1.5);
    EXPECT_EQ(doc->positionText(1, 2), "M(4,3,2): 34.5");
}

// The dimension bar names a data set's dimension by its scale and reads the
// coordinate from it.
TEST_F(HdfDocTest, ADataSetsDimensionScaleGivesTheDimensionItsNameAndValues) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    ASSERT_TRUE(doc->showHdfObjectById(top("cube")->objectId));
    const CArrayDoc::DimensionScale level = doc->dimensionScale(0);
    EXPECT_EQ(level.name, "level");
    ASSERT_NE(level.values, nullptr);
    ASSERT_EQ(level.values->elementCount(), 2);
    EXPECT_EQ(agl::loadAsDouble(static_cast<const uint8_t*>(level.values->elements()) +
                                    level.values->elementSize(),
                                level.values->typeCode()),
              500.0);
    EXPECT_EQ(doc->dimensionScale(2).values, nullptr); // no scale of its own
    // Another object: its scales only.
    ASSERT_TRUE(doc->showHdfObjectById(top("temperature")->objectId));
    EXPECT_NE(doc->dimensionScale(0).name, "level");
}

TEST_F(HdfDocTest, OpeningAnotherKindOfFileHidesTheTreeAndDropsTheObjects) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    int hides = 0;
    QObject::connect(doc.get(), &CArrayDoc::hdfTreeHideRequested, [&] { ++hides; });
    const std::string agl = dir.file("plain.agl");
    makeAglFile(agl, 3, 3);
    ASSERT_TRUE(doc->open(agl));
    EXPECT_EQ(hides, 1);
    EXPECT_FALSE(doc->hdfTreeAvailable());
    EXPECT_TRUE(doc->hdfObjects().empty());
    EXPECT_EQ(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(ctl().str(DISPID_FileName), agl);
}

// ---- Damaged files and a failing helper ----------------------------------------------

class HdfFailureTest : public HdfDocTest {
protected:
    void SetUp() override {
        HdfDocTest::SetUp();
        agl = dir.file("before.agl");
        makeAglFile(agl, 4, 4);
        ASSERT_TRUE(doc->open(agl));
        sink.shown.clear();
    }
    // The document still shows the agl file it had.
    void expectPreviousKept() {
        EXPECT_EQ(doc->path(), agl);
        EXPECT_EQ(doc->fileKind(), CArrayDoc::KindAgl);
        EXPECT_EQ(doc->currentArray()->segment()->name(), agl);
        EXPECT_TRUE(shownContains("Unable to read file: " + target));
    }
    std::string agl;
    std::string target;
};

TEST_F(HdfFailureTest, FileThatIsHdfOnlyByItsSignatureFailsWithTheLibrarysMessage) {
    target = dir.write("fake.hdf", std::string("\x0e\x03\x13\x01", 4) + std::string(300, 'x'));
    EXPECT_FALSE(doc->open(target));
    EXPECT_TRUE(shownContains("Couldn't read file!"));
    expectPreviousKept();
}

TEST_F(HdfFailureTest, TruncatedFilesNeverTakeTheViewerDown) {
    const std::string whole = readAll(samples().file("scales.hdf"));
    for (size_t cut : {size_t(4), size_t(200), whole.size() / 2, whole.size() - 1}) {
        target = dir.write("cut" + std::to_string(cut) + ".hdf", whole.substr(0, cut));
        SCOPED_TRACE(cut);
        // Whatever the library makes of it, the document either reads a
        // sound list or keeps what it had.
        if (!doc->open(target)) {
            expectPreviousKept();
        } else {
            for (const auto& o : doc->hdfObjects())
                EXPECT_EQ(o->filePath, target);
            ASSERT_TRUE(doc->open(agl));
        }
    }
}

TEST_F(HdfFailureTest, CrashingHelperLeavesThePreviousArray) {
    HelperOverride helper(writeScript(dir, "crash.sh", "kill -SEGV $$"));
    doc->hdfHelper() = HdfHelper();
    target = samples().file("scales.hdf");
    EXPECT_FALSE(doc->open(target));
    EXPECT_TRUE(doc->hdfHelper().lastCrashed());
    expectPreviousKept();
}

TEST_F(HdfFailureTest, HangingHelperIsKilledAtItsTimeLimit) {
    HelperOverride helper(writeScript(dir, "hang.sh", "exec sleep 30"));
    doc->hdfHelper() = HdfHelper();
    doc->hdfHelper().setTimeouts(300, 300);
    target = samples().file("scales.hdf");
    EXPECT_FALSE(doc->open(target));
    EXPECT_TRUE(doc->hdfHelper().lastTimedOut());
    expectPreviousKept();
}

// A helper that never answers, stopped by the user's Cancel long before its
// time limit (30 s to list, 120 s to read): the array shown stays, the user
// is told the load was cancelled, and an object whose read was cancelled
// keeps its content for another try. While the wait runs, a second load is
// refused rather than run inside the first. "list" hangs the listing,
// "read" lists truly and hangs every read.
class HdfCancelTest : public HdfFailureTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        HdfFailureTest::SetUp();
        mark = dir.file("started");
        const std::string hang = "touch '" + mark + "'; exec sleep 600";
        const std::string real = HdfHelper::defaultHelperPath();
        hangingHelper =
            writeScript(dir, "hang.sh",
                        std::string(GetParam()) == "list"
                            ? hang
                            : "[ \"$1\" = list ] && exec '" + real + "' \"$@\"; " + hang);
        // Cancel once the helper is surely running, from the user's side
        // of the wait, with the work on a thread of its own.
        // (A listing that answers ends by itself.)
        sink.onWait = [this](const std::function<void()>& work, std::atomic<bool>& cancel) {
            std::atomic<bool> ended{false};
            std::thread worker([&] {
                work();
                ended = true;
            });
            EXPECT_TRUE(waitFor([&] { return ended || std::filesystem::exists(mark); }));
            EXPECT_TRUE(doc->isWaitingForHelper());
            EXPECT_FALSE(doc->load(agl)) << "a load ran inside the wait";
            cancel = true;
            worker.join();
        };
    }
    std::string mark;
    std::string hangingHelper;
};

TEST_P(HdfCancelTest, CancelledOpenKeepsThePreviousArrayAndSaysSo) {
    HelperOverride helper(hangingHelper);
    doc->hdfHelper() = HdfHelper();
    target = samples().file("scales.hdf");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(doc->open(target));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(doc->hdfHelper().lastCancelled());
    EXPECT_FALSE(doc->isWaitingForHelper());
    EXPECT_NE(doc->lastError(), 0);
    const std::string said = "Reading " + target + " was cancelled; the array shown is unchanged.";
    EXPECT_EQ(doc->lastReason(), said);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, said);
    EXPECT_EQ(doc->path(), agl);
    EXPECT_EQ(doc->currentArray()->segment()->name(), agl);
    EXPECT_EQ(ctl().str(DISPID_FileName), agl);
    EXPECT_FALSE(doc->hdfTreeAvailable());
}

TEST_F(HdfFailureTest, CancelledObjectChangeKeepsTheShownObjectAndTheObjectsContent) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* before = doc->hdfCurrent();
    sink.shown.clear();
    const std::string mark = dir.file("started");
    const std::string real = HdfHelper::defaultHelperPath();
    HelperOverride helper(writeScript(dir, "hangread.sh",
                                      "[ \"$1\" = list ] && exec '" + real + "' \"$@\"; touch '" +
                                          mark + "'; exec sleep 600"));
    doc->hdfHelper() = HdfHelper();
    sink.onWait = [&](const std::function<void()>& work, std::atomic<bool>& cancel) {
        std::thread worker(work);
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(mark); }));
        cancel = true;
        worker.join();
    };
    const CHdfObject* cube = top("cube");
    EXPECT_FALSE(doc->showHdfObjectById(cube->objectId));
    EXPECT_EQ(cube->array, nullptr);
    EXPECT_TRUE(cube->hasContent);
    EXPECT_EQ(doc->hdfCurrent(), before);
    EXPECT_EQ(doc->currentArray(), before->array.get());
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "Reading cube was cancelled; the array shown is unchanged.");

    // The next try, with a helper that answers, shows it.
    sink.onWait = nullptr;
    HelperOverride answering(real);
    doc->hdfHelper() = HdfHelper();
    EXPECT_TRUE(doc->showHdfObjectById(cube->objectId));
    EXPECT_EQ(doc->hdfCurrent(), cube);
}

// A new document while a read waits for the helper (the event loop runs
// then) takes the object list only once the read has ended: the read never
// writes into an object, or through a plane session, that is gone. The read
// is cancelled and shows nothing; the document stays empty and usable.
TEST_F(HdfDocTest, NewDocumentWhileAReadWaitsReleasesTheListWhenTheReadEnds) {
    const std::string file = samples().file("scales.hdf");
    ASSERT_TRUE(doc->open(file));
    ASSERT_TRUE(doc->showHdfObjectById(top("cube")->objectId));
    int waits = 0;
    sink.onWait = [&](const std::function<void()>& work, std::atomic<bool>& cancel) {
        ++waits;
        doc->newDocument();
        EXPECT_TRUE(cancel); // the helper is told to stop at once
        work();
    };

    // Another plane of the data set shown.
    CArrayDoc::RegionChoice choice = doc->regionChoice();
    choice.start[2] = 3;
    EXPECT_FALSE(doc->applyRegion(choice));
    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(doc->hasData());
    EXPECT_TRUE(doc->hdfObjects().empty());
    EXPECT_EQ(doc->hdfCurrent(), nullptr);
    EXPECT_FALSE(doc->isWaitingForHelper());

    // Another object of the file.
    sink.onWait = nullptr;
    ASSERT_TRUE(doc->open(file));
    sink.onWait = [&](const std::function<void()>& work, std::atomic<bool>& cancel) {
        ++waits;
        doc->newDocument();
        EXPECT_TRUE(cancel);
        work();
    };
    EXPECT_FALSE(doc->showHdfObjectById(top("cube")->objectId));
    EXPECT_EQ(waits, 2);
    EXPECT_FALSE(doc->hasData());
    EXPECT_TRUE(doc->hdfObjects().empty());

    // And the document reads the file again as ever.
    sink.onWait = nullptr;
    ASSERT_TRUE(doc->open(file));
    ASSERT_TRUE(doc->showHdfObjectById(top("cube")->objectId));
    EXPECT_EQ(doc->currentArray()->value(1, 2), (12 + 8) * 1.5);
}

INSTANTIATE_TEST_SUITE_P(HangingStep, HdfCancelTest, ::testing::Values("list", "read"));

TEST(HdfHelperProcess, HelperThatClosesItsOutputAndLingersIsKilledToo) {
    TempDir dir;
    HdfHelper helper(writeScript(dir, "linger.sh", "exec >&- 2>&-; exec sleep 30"));
    helper.setTimeouts(300, 300);
    HdfObjectList list;
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(helper.list("any.hdf", list, reason));
    EXPECT_TRUE(helper.lastTimedOut());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(reason, "the HDF reader did not finish in time");
}

TEST(HdfHelperProcess, MissingHelperIsAFailureWithAReason) {
    HdfHelper helper("/nonexistent/tavrix-hdf");
    HdfObjectList list;
    std::string reason;
    EXPECT_FALSE(helper.list("any.hdf", list, reason));
    EXPECT_NE(reason.find("cannot start"), std::string::npos) << reason;
}

TEST_F(HdfFailureTest, FailedElementReadShowsNoDataAndKeepsTheShownObject) {
    ASSERT_TRUE(doc->open(samples().file("scales.hdf")));
    const CHdfObject* before = doc->hdfCurrent();
    // From now on the helper lists but every read dies.
    const std::string real = HdfHelper::defaultHelperPath();
    HelperOverride helper(writeScript(
        dir, "noread.sh", "[ \"$1\" = list ] && exec '" + real + "' \"$@\"; kill -SEGV $$"));
    doc->hdfHelper() = HdfHelper();
    target = samples().file("scales.hdf");
    const CHdfObject* cube = top("cube");
    EXPECT_FALSE(doc->showHdfObjectById(cube->objectId));
    EXPECT_EQ(cube->array, nullptr);
    EXPECT_FALSE(cube->hasContent);
    EXPECT_EQ(doc->hdfCurrent(), before);
    EXPECT_EQ(doc->currentArray(), before->array.get());
    EXPECT_TRUE(shownContains("Unable to read file: " + target));
}

// A file whose listing works but whose first object cannot be read is a
// failed open like any other: the array shown before stays, with its file,
// and the code is left for ErrorNo; no phantom array of zeros appears.
TEST_F(HdfFailureTest, FileThatListsButCannotBeReadIsAFailedOpenAndKeepsThePreviousArray) {
    const std::string real = HdfHelper::defaultHelperPath();
    HelperOverride helper(writeScript(
        dir, "noread.sh", "[ \"$1\" = list ] && exec '" + real + "' \"$@\"; kill -SEGV $$"));
    doc->hdfHelper() = HdfHelper();
    target = samples().file("scales.hdf");
    EXPECT_FALSE(doc->open(target));
    EXPECT_NE(doc->lastError(), 0);
    expectPreviousKept();
    EXPECT_FALSE(doc->hdfTreeAvailable());
    EXPECT_TRUE(doc->hdfObjects().empty());
    EXPECT_EQ(ctl().str(DISPID_FileName), agl);
}

// ---- The text form between helper and viewer ---------------------------------------------

TEST(HdfListText, RoundTripKeepsEveryFieldAndEscapesControlCharacters) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listOf("scales.hdf");
    const std::string text = encodeHdfObjects(list);
    HdfObjectList again;
    std::string reason;
    ASSERT_TRUE(decodeHdfObjects(text, "x.hdf", again, reason)) << reason;
    EXPECT_EQ(encodeHdfObjects(again), text);

    HdfObjectList one;
    one.push_back(std::make_unique<CHdfAnnotation>());
    one[0]->displayName = "tab\there";
    static_cast<CHdfAnnotation&>(*one[0]).text = std::string("a\nb\\c\0d", 7);
    ASSERT_TRUE(decodeHdfObjects(encodeHdfObjects(one), "y", again, reason)) << reason;
    EXPECT_EQ(again[0]->displayName, "tab\there");
    EXPECT_EQ(static_cast<CHdfAnnotation&>(*again[0]).text, std::string("a\nb\\c\0d", 7));
}

class HdfListTextBad : public ::testing::TestWithParam<const char*> {};

TEST_P(HdfListTextBad, MalformedLinesAreRefusedWholesale) {
    // A good first line, then the bad one: nothing of the list is kept.
    const std::string good = "0\t3\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tFile Label 1\tx\n";
    HdfObjectList list;
    std::string reason;
    EXPECT_FALSE(decodeHdfObjects(good + GetParam(), "f", list, reason));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(reason.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HdfListTextBad,
    ::testing::Values(
        "0\t3\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tname\n",                   // too few fields
        "0\t3\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tname\ttext",               // no newline
        "2\t3\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tname\ttext\n",             // skips a level
        "0\t9\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tname\ttext\n",             // unknown kind
        "0\t0\t0\t702\t1\t4102\t4\t2\t-1\t0\t0\t3\tset\t\n",           // rank 2, one extent
        "0\t0\t0\t702\t1\t4102\t8\t1\t-1\t0\t0\t3\tset\t\n",           // size not the type's
        "0\t0\t0\t702\t1\t4102\t4\t1\t-1\t0\t0\t-3\tset\t\n",          // negative extent
        "0\t0\t0\t702\t1\t4102\t4\t1\t-1\t0\t0\t99999999999\tset\t\n", // extent overflows
        "0\t1\t0\t0\t1\t-5\t3\t1\t0\t4096\t1\t\timg\t\n",              // negative width
        "0\t2\t0\t0\t1\t7\t3\t256\t21\t0\t0\t\tpal\t\n",               // unknown source
        "0\t3\t0\t0\t1\t0\t0\t0\t0\t0\t0\t\tname\tbad\\q\n",           // bad escape
        "0\t3\t0\t0\t99\t0\t0\t0\t0\t0\t0\t\tname\ttext\n"));          // bad flags

TEST(HdfShownCount, ProductIsCheckedIn64BitsAgainstTheArrayLimit) {
    CHdfSds s;
    s.typeCode = AGL_UCHAR;
    s.elementSize = 1;
    s.rank = 2;
    s.extents = {65536, 65536}; // wraps to 0 in 32 bits
    EXPECT_EQ(hdfShownElementCount(s), 0);
    s.extents = {32768, 32768}; // exactly the limit
    EXPECT_EQ(hdfShownElementCount(s), int64_t(1) << 30);
    s.extents = {0, 5}; // an unlimited dimension without records
    EXPECT_EQ(hdfShownElementCount(s), 0);
    s.extents = {1, 1};
    EXPECT_EQ(hdfShownElementCount(s), 0);
    s.rank = 8;
    s.extents.assign(8, 2);
    EXPECT_EQ(hdfShownElementCount(s), 0);
}

// ---- NumPy files ---------------------------------------------------------------------

TEST_F(DocTest, NumpyFileIsMappedInPlaceAndGivenToTheControlByPath) {
    const std::string path = std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/ok_fortran_f8.npy";
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindNumpy);
    const aglSegment* seg = doc->currentArray()->segment();
    ASSERT_NE(seg, nullptr);
    EXPECT_TRUE(seg->isNumpy());
    EXPECT_FALSE(seg->isWritable());
    EXPECT_EQ(ctl().str(DISPID_FileName), path);
    EXPECT_EQ(doc->currentArray()->language(), AGL_LANG_FORTRAN);
    // Saved as agl, it is an ordinary agl file with the same elements.
    const std::string out = dir.file("from_npy.agl");
    ASSERT_TRUE(doc->save(out));
    aglArray back;
    ASSERT_TRUE(back.open(out, true));
    EXPECT_FALSE(back.segment()->isNumpy());
    EXPECT_EQ(back.extent(0), 3);
    back.setRowDim(0);
    back.setColDim(1);
    EXPECT_DOUBLE_EQ(back.value(1, 2), 13);
    // Never over the NumPy file itself.
    sink.shown.clear();
    EXPECT_FALSE(doc->save(path));
}

TEST_F(DocTest, RefusedNumpyFileSaysWhyAndKeepsThePreviousArray) {
    const std::string good = dir.file("good.agl");
    makeAglFile(good, 2, 2);
    ASSERT_TRUE(doc->open(good));
    sink.shown.clear();
    const std::string path =
        std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/bad_bigendian_f4.npy";
    EXPECT_FALSE(doc->open(path));
    ASSERT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(sink.shown[0].text, "big-endian NumPy data ('>f4') is not supported");
    EXPECT_EQ(sink.shown[1].text, "Unable to read file: " + path);
    EXPECT_EQ(doc->path(), good);
}

// ---- The HDF fuzz corpus through the helper process ------------------------------------

namespace {

// Lists every input of a fuzz corpus through the helper and reads every
// object with elements. Some inputs crash or hang the HDF library itself
// (crash-lib-*, timeout-lib-*): the helper dies or is killed, this process
// goes on.
void replayCorpus(const char* folder) {
    const std::filesystem::path corpus = std::filesystem::path(TAVRIX_SOURCE_DIR) / folder;
    HdfHelper helper;
    helper.setTimeouts(3000, 3000);
    int inputs = 0, listed = 0, helperCrashes = 0, helperTimeouts = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().string());
        ++inputs;
        HdfObjectList list;
        std::string reason;
        if (!helper.list(entry.path().string(), list, reason)) {
            EXPECT_FALSE(reason.empty());
            helperCrashes += helper.lastCrashed();
            helperTimeouts += helper.lastTimedOut();
            continue;
        }
        ++listed;
        // Every object with elements is read; a failed read leaves nothing.
        std::function<void(const CHdfObject&)> readAll = [&](const CHdfObject& o) {
            for (const auto& c : o.children)
                readAll(*c);
            auto array = helper.makeArray(o, reason);
            if (array) {
                EXPECT_GE(array->elementCount(), 1);
            }
            helperCrashes += helper.lastCrashed();
        };
        for (const auto& o : list)
            readAll(*o);
    }
    EXPECT_GT(inputs, 0);
    EXPECT_GT(listed, 0);
    ::testing::Test::RecordProperty("helper_crashes", helperCrashes);
    ::testing::Test::RecordProperty("helper_timeouts", helperTimeouts);
    std::printf("%d inputs, %d listed, %d helper crashes, %d helper timeouts\n", inputs, listed,
                helperCrashes, helperTimeouts);
}

} // namespace

TEST(HdfFuzzCorpus, EveryInputListsOrFailsCleanlyAndTheViewerSideSurvives) {
    replayCorpus("tests/data/fuzz/hdf_file");
}

TEST(HdfFuzzCorpus, EveryHdf5InputListsOrFailsCleanlyAndTheViewerSideSurvives) {
    replayCorpus("tests/data/fuzz/hdf5_file");
}

TEST(HdfFuzzCorpus, EveryNetcdfInputListsOrFailsCleanlyAndTheViewerSideSurvives) {
    replayCorpus("tests/data/fuzz/netcdf_file");
}
