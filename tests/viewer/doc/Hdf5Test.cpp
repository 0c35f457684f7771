// HDF5 files end to end: a file written by the HDF5 library itself
// (make_hdf5_samples), listed and read through the helper process, values
// compared with h5dump's, shown by the document with its dimension scales;
// refused data sets and damaged files.
#include "DocFakes.h"

#include "ArrayFileOpener.h"
#include "HdfHelper.h"
#include "HdfObjects.h"
#include "HdfPlaneSession.h"
#include "PythonSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace plotrane;

namespace {

class Hdf5Samples {
public:
    Hdf5Samples() {
        const std::string cmd = std::string(MAKE_HDF5_SAMPLES) + " " + m_dir.path();
        m_ok = std::system(cmd.c_str()) == 0;
    }
    bool ok() const { return m_ok; }
    std::string file(const char* name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
    bool m_ok = false;
};

const Hdf5Samples& samples() {
    static Hdf5Samples s;
    return s;
}

// The object at location, anywhere in the list.
const CHdfObject* at(const HdfObjectList& list, const std::string& location) {
    for (const auto& o : list) {
        if (o->location == location) return o.get();
        if (const CHdfObject* inner = at(o->children, location)) return inner;
    }
    return nullptr;
}

HdfObjectList listSample() {
    HdfObjectList list;
    std::string reason;
    EXPECT_TRUE(HdfHelper().list(samples().file("sample.h5"), list, reason)) << reason;
    return list;
}

bool haveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The values h5dump prints for a data set, in storage order.
std::vector<double> h5dumpValues(const std::string& file, const std::string& location) {
    const std::string cmd = "h5dump -y -w 0 -d '" + location + "' '" + file + "' 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    std::vector<double> values;
    const size_t data = out.find("DATA {");
    if (data == std::string::npos) return values;
    std::string body = out.substr(data + 6, out.find('}', data) - data - 6);
    for (char& c : body)
        if (c == ',') c = ' ';
    std::istringstream in(body);
    double v;
    while (in >> v)
        values.push_back(v);
    return values;
}

std::vector<double> arrayValues(const aglArray& array) {
    const aglSegment& seg = *array.segment();
    std::vector<double> out;
    const auto* p = static_cast<const uint8_t*>(seg.elements());
    for (int64_t i = 0; i < seg.elementCount(); ++i)
        out.push_back(agl::loadAsDouble(p + i * seg.elementSize(), seg.typeCode()));
    return out;
}

} // namespace

// ---- Listing -------------------------------------------------------------------

TEST(Hdf5List, GroupsHoldTheirMembersAndDataSetsTheirScalesAndAttributes) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listSample();
    const CHdfObject* grp = at(list, "/grp");
    ASSERT_NE(grp, nullptr);
    EXPECT_EQ(grp->kind, HdfKindGroup);
    EXPECT_FALSE(grp->isChild);
    const auto* temp = static_cast<const CHdfSds*>(at(grp->children, "/grp/temp"));
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->parent, grp);
    EXPECT_EQ(hdfShapeText(*temp), "float[3][4]");
    // Scales by dimension, then the attributes with their values.
    ASSERT_EQ(temp->children.size(), 4u);
    const auto& y = static_cast<const CHdfSds&>(*temp->children[0]);
    const auto& x = static_cast<const CHdfSds&>(*temp->children[1]);
    EXPECT_EQ(y.location, "/grp/y");
    EXPECT_EQ(y.scaleOfDimension, 0);
    EXPECT_EQ(x.scaleOfDimension, 1);
    EXPECT_EQ(x.typeCode, AGL_LONG);
    EXPECT_FALSE(y.hidden);
    const auto& factors = static_cast<const CHdfAttribute&>(*temp->children[2]);
    const auto& units = static_cast<const CHdfAttribute&>(*temp->children[3]);
    EXPECT_EQ(factors.name, "factors");
    EXPECT_EQ(factors.text, "0.5\n2\n");
    EXPECT_EQ(units.text, "K");
    // The scales themselves are hidden where they live; nested groups nest.
    for (const auto& member : grp->children) {
        if (member->location == "/grp/x" || member->location == "/grp/y") {
            EXPECT_TRUE(member->hidden) << member->location;
        }
    }
    EXPECT_EQ(at(list, "/grp/inner/deep")->parent, at(list, "/grp/inner"));
    // Root attributes come first, strings and numbers alike.
    ASSERT_EQ(list[0]->kind, HdfKindAttribute);
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*list[0]).text, "Ocean run");
    EXPECT_EQ(static_cast<const CHdfAttribute&>(*list[1]).text, "3\n");
    // The list survives its text form, locations and all.
    HdfObjectList again;
    std::string reason;
    ASSERT_TRUE(decodeHdfObjects(encodeHdfObjects(list), "f", again, reason)) << reason;
    EXPECT_EQ(encodeHdfObjects(again), encodeHdfObjects(list));
}

TEST(Hdf5List, UnshowableDataSetsAreListedWithTheReasonAndRefusedWithIt) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listSample();
    const struct {
        const char* location;
        const char* reason;
    } cases[] = {{"/pairs", "compound data sets cannot be shown"},
                 {"/names", "string data sets cannot be shown"},
                 {"/ragged", "variable-length data sets cannot be shown"}};
    std::vector<std::string> treeNames;
    for (const HdfTreeEntry& e : hdfTreeOrder(list))
        treeNames.push_back(e.object->location);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        const CHdfObject* o = at(list, c.location);
        ASSERT_NE(o, nullptr);
        EXPECT_FALSE(o->hasContent);
        EXPECT_EQ(o->refusal, c.reason);
        EXPECT_NE(std::find(treeNames.begin(), treeNames.end(), c.location), treeNames.end());
        std::string reason;
        EXPECT_EQ(HdfHelper().makeArray(*o, reason), nullptr);
        EXPECT_EQ(reason, c.reason);
    }
    // A scalar is listed and shows nothing, without a failure.
    const CHdfObject* one = at(list, "/one");
    ASSERT_NE(one, nullptr);
    std::string reason;
    EXPECT_EQ(HdfHelper().makeArray(*one, reason), nullptr);
    EXPECT_TRUE(reason.empty());
}

// ---- Values --------------------------------------------------------------------

class Hdf5Values : public ::testing::TestWithParam<const char*> {};

TEST_P(Hdf5Values, ElementsEqualWhatH5dumpPrints) {
    ASSERT_TRUE(samples().ok());
    if (!haveProgram("h5dump")) GTEST_SKIP() << "h5dump is not installed";
    const HdfObjectList list = listSample();
    const CHdfObject* o = at(list, GetParam());
    ASSERT_NE(o, nullptr);
    std::string reason;
    auto array = HdfHelper().makeArray(*o, reason);
    ASSERT_NE(array, nullptr) << reason;
    // C order, from 0, the last two dimensions making the plane.
    EXPECT_EQ(array->language(), AGL_LANG_C);
    EXPECT_EQ(array->lowerBound(0), 0);
    if (array->dimCount() >= 2) {
        EXPECT_EQ(array->rowDim(), array->dimCount() - 2);
        EXPECT_EQ(array->colDim(), array->dimCount() - 1);
    }
    const std::vector<double> expected = h5dumpValues(samples().file("sample.h5"), GetParam());
    const std::vector<double> got = arrayValues(*array);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], 1e-6 * std::max(1.0, std::fabs(expected[i]))) << i;
}

INSTANTIATE_TEST_SUITE_P(Sample, Hdf5Values,
                         ::testing::Values("/grp/temp", "/grp/inner/deep", "/grp/y", "/bytes",
                                           "/cube", "/big"),
                         [](const auto& p) {
                             std::string name = p.param;
                             for (char& c : name)
                                 if (c == '/') c = '_';
                             return name;
                         });

TEST(Hdf5Conversion, SixtyFourBitIntegersAreDoublesThatCountWhatTheyLost) {
    ASSERT_TRUE(samples().ok());
    ArrayOpenOptions options;
    options.hdfObject = "big";
    OpenedArray opened = openArrayFile(samples().file("sample.h5"), options);
    ASSERT_TRUE(opened.ok()) << opened.reason;
    EXPECT_EQ(opened.format, ArrayFormat::Hdf5);
    EXPECT_EQ(opened.shown()->typeCode(), AGL_DOUBLE);
    EXPECT_EQ(opened.convertedFrom, "int64");
    EXPECT_EQ(opened.impreciseValues, 1);
    EXPECT_EQ(opened.note, "a double copy of int64 data; 1 value beyond 2^53 lost precision");
    EXPECT_EQ(arrayValues(*opened.shown()), (std::vector<double>{0x1p53, 5, -7}));

    options.hdfObject = "ubig";
    opened = openArrayFile(samples().file("sample.h5"), options);
    ASSERT_TRUE(opened.ok()) << opened.reason;
    EXPECT_EQ(opened.convertedFrom, "uint64");
    EXPECT_EQ(opened.impreciseValues, 1); // 2^64 - 1 rounds up to 2^64
    EXPECT_EQ(arrayValues(*opened.shown()), (std::vector<double>{7, 0x1p64}));
}

// ---- The document --------------------------------------------------------------

class Hdf5DocTest : public DocTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(samples().ok());
        DocTest::SetUp();
    }
    const CHdfObject* object(const std::string& location) const {
        return at(doc->hdfObjects(), location);
    }
    std::vector<RecordingControl::Call> scaleCalls() const {
        std::vector<RecordingControl::Call> out;
        for (const auto& c : graph.dispatch.calls)
            if (c.dispid == DISPID_SetAxisScale) out.push_back(c);
        return out;
    }
};

TEST_F(Hdf5DocTest, DataSetInAGroupShowsWithBothScalesAndTheConversionIsNoted) {
    const std::string path = samples().file("sample.h5");
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindHdf);
    // The first data set at the top level is shown first: /big, as doubles.
    EXPECT_EQ(doc->hdfCurrent(), object("/big"));
    EXPECT_EQ(doc->statusNote(), "a double copy of int64 data; 1 value beyond 2^53 lost precision");

    const CHdfObject* temp = object("/grp/temp");
    graph.dispatch.clearLog();
    ASSERT_TRUE(doc->showHdfObjectById(temp->objectId));
    EXPECT_EQ(doc->currentArray(), temp->array.get());
    EXPECT_EQ(doc->title(), path + ":temp");
    EXPECT_EQ(doc->statusNote(), "[K]"); // its units
    const auto calls = scaleCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(calls[size_t(d)].args[0].toInt(), d);
        ASSERT_NE(temp->children[size_t(d)]->array, nullptr);
        EXPECT_EQ(calls[size_t(d)].args[1].toString(),
                  temp->children[size_t(d)]->array->segment()->name());
    }
    // Its attribute opens its values as text.
    EXPECT_TRUE(doc->showHdfObjectById(temp->children[2]->objectId));
    EXPECT_EQ(sink.annotations, (std::vector<std::string>{"0.5\n2\n"}));
}

TEST_F(Hdf5DocTest, RefusedDataSetSaysWhyAndGroupsShowNothing) {
    ASSERT_TRUE(doc->open(samples().file("sample.h5")));
    const CHdfObject* before = doc->hdfCurrent();
    sink.shown.clear();
    EXPECT_FALSE(doc->showHdfObjectById(object("/pairs")->objectId));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "pairs: compound data sets cannot be shown");
    EXPECT_FALSE(doc->showHdfObjectById(object("/grp")->objectId));
    EXPECT_EQ(doc->hdfCurrent(), before);
    EXPECT_EQ(sink.shown.size(), 1u);
}

TEST_F(Hdf5DocTest, DamagedFilesNeverTakeTheViewerDownAndKeepThePreviousArray) {
    const std::string agl = dir.file("before.agl");
    makeAglFile(agl, 4, 4);
    const std::string whole = readAll(samples().file("sample.h5"));
    ASSERT_GT(whole.size(), 2000u);
    // Cut short at several places, and with bytes overwritten in the
    // metadata near the start and in the middle.
    std::vector<std::string> damaged;
    for (size_t cut : {size_t(8), size_t(100), size_t(800), whole.size() / 2, whole.size() - 1})
        damaged.push_back(whole.substr(0, cut));
    for (size_t at : {size_t(40), size_t(96), size_t(300), size_t(700), whole.size() / 2}) {
        std::string bad = whole;
        for (size_t k = at; k < at + 16 && k < bad.size(); ++k)
            bad[k] = char(0xA5 ^ k);
        damaged.push_back(bad);
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(doc->open(agl));
        const std::string target = dir.write("damaged" + std::to_string(i) + ".h5", damaged[i]);
        if (!doc->open(target)) {
            EXPECT_EQ(doc->path(), agl);
            EXPECT_EQ(doc->fileKind(), CArrayDoc::KindAgl);
            EXPECT_EQ(doc->currentArray()->segment()->name(), agl);
        } else {
            // Whatever lists is a sound list of this file.
            for (const HdfTreeEntry& e : hdfTreeOrder(doc->hdfObjects()))
                EXPECT_EQ(e.object->filePath, target);
        }
    }
}

TEST_F(Hdf5DocTest, FileWithDataOnlyInGroupsShowsItsFirstShowableDataSet) {
    ASSERT_TRUE(doc->open(samples().file("grouped.h5")));
    // Not the refused string at the top, not the scalar: the first data set
    // with elements, depth first.
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->location, "/run/step1/field");
    EXPECT_EQ(doc->currentArray()->extent(1), 3);
}

// ---- Plane by plane ------------------------------------------------------------

// A data set of three or more dimensions is read one plane at a time: the
// array holds the plane, the document speaks of the data set (its extents,
// the plane's index), and another plane is read when the region moves.
class Hdf5PlaneTest : public Hdf5DocTest {
protected:
    bool showCube() {
        return doc->open(samples().file("sample.h5")) &&
               doc->showHdfObjectById(object("/cube")->objectId);
    }
    double at(int row, int column) const { return doc->currentArray()->value(column, row); }
    bool moveTo(int dim, int index) {
        CArrayDoc::RegionChoice choice = doc->regionChoice();
        choice.start[size_t(dim)] = index;
        choice.length[size_t(dim)] = 1;
        return doc->applyRegion(choice);
    }
};

TEST_F(Hdf5PlaneTest, TheArrayHoldsOnePlaneAndTheRegionSpeaksOfTheDataSet) {
    ASSERT_TRUE(showCube());
    const aglArray* a = doc->currentArray();
    // uint16 [2][3][4] = 0 .. 23: the plane at index 0 of dimension 0.
    EXPECT_EQ(a->dimCount(), 3);
    EXPECT_EQ(a->extent(0), 1);
    EXPECT_EQ(a->extent(1), 3);
    EXPECT_EQ(a->extent(2), 4);
    EXPECT_EQ(at(2, 3), 11);
    const CArrayDoc::RegionChoice r = doc->regionChoice();
    EXPECT_EQ(r.extent, (std::array<int32_t, 7>{2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(r.start[0], 0);
    EXPECT_EQ(r.length[0], 1);
    EXPECT_EQ(doc->shapeText(), "ushort M[2][3][4]");

    // Plane 1 is read; the cursor's element is written with its index.
    ASSERT_TRUE(moveTo(0, 1));
    EXPECT_NE(doc->currentArray(), a); // the plane shown is never written
    EXPECT_EQ(at(0, 0), 12);
    EXPECT_EQ(at(2, 3), 23);
    EXPECT_EQ(doc->regionChoice().start[0], 1);
    EXPECT_EQ(doc->positionText(3, 2), "M[1][2][3]: 23");
    // The control was given the new plane's segment.
    EXPECT_EQ(ctl().str(DISPID_FileName), doc->currentArray()->segment()->name());
    // Back again: the first plane's array takes it.
    ASSERT_TRUE(moveTo(0, 0));
    EXPECT_EQ(doc->currentArray(), a);
    EXPECT_EQ(at(2, 3), 11);
    EXPECT_FALSE(moveTo(0, 0)); // nothing changes
}

TEST_F(Hdf5PlaneTest, OtherShownDimensionsReadThePlaneOfThoseDimensions) {
    ASSERT_TRUE(showCube());
    CArrayDoc::RegionChoice choice = doc->regionChoice();
    // Rows along dimension 0, columns along dimension 2, at index 2 of
    // dimension 1: element [d0][2][d2] = 12 d0 + 8 + d2.
    choice.rowDim = 0;
    choice.colDim = 2;
    choice.start[1] = 2;
    choice.length[1] = 1;
    ASSERT_TRUE(doc->applyRegion(choice));
    const aglArray* a = doc->currentArray();
    EXPECT_EQ(a->extent(0), 2);
    EXPECT_EQ(a->extent(1), 1);
    EXPECT_EQ(a->rowCount(), 2);
    EXPECT_EQ(a->colCount(), 4);
    EXPECT_EQ(at(1, 3), 23);
    EXPECT_EQ(at(0, 1), 9);
    const CArrayDoc::RegionChoice r = doc->regionChoice();
    EXPECT_EQ(r.start[1], 2);
    // The dimension newly shown comes whole.
    EXPECT_EQ(r.start[0], 0);
    EXPECT_EQ(r.length[0], 2);
}

TEST_F(Hdf5PlaneTest, ADataSetOfMoreThanTwoToTheThirtyElementsOpensAtItsFirstPlane) {
    // float [2048][1024][1024]: 2^31 elements, 8 GiB, of which plane 1 is
    // written.
    ASSERT_TRUE(doc->open(samples().file("huge.h5")));
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->location, "/huge");
    EXPECT_EQ(doc->currentArray()->elementCount(), 1024 * 1024);
    EXPECT_EQ(doc->shapeText(), "float M[2048][1024][1024]");
    EXPECT_EQ(at(5, 7), 0);
    ASSERT_TRUE(moveTo(0, 1));
    EXPECT_EQ(at(5, 7), 5007);
    EXPECT_EQ(at(1023, 1023), 1023 * 1000 + 1023);
    ASSERT_TRUE(moveTo(0, 2047));
    EXPECT_EQ(at(5, 7), 0);
    EXPECT_EQ(doc->regionChoice().start[0], 2047);
}

TEST_F(Hdf5PlaneTest, AFailedPlaneReadKeepsThePlaneShownAndSaysWhy) {
    ASSERT_TRUE(showCube());
    const aglArray* shown = doc->currentArray();
    // A helper that crashes on every plane request; the first plane was read
    // by the real one.
    const std::string script = dir.write("crash.sh", "#!/bin/sh\nkill -SEGV $$\n");
    ::chmod(script.c_str(), 0755);
    setenv("TAVRIX_HDF_HELPER", script.c_str(), 1);
    doc->hdfHelper() = HdfHelper();
    unsetenv("TAVRIX_HDF_HELPER");
    sink.shown.clear();
    EXPECT_FALSE(moveTo(0, 1));
    EXPECT_EQ(doc->currentArray(), shown);
    EXPECT_EQ(at(2, 3), 11);
    EXPECT_EQ(doc->regionChoice().start[0], 0);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].text.find("the HDF reader crashed"), std::string::npos)
        << sink.shown[0].text;
    // With the helper back, the step is made.
    doc->hdfHelper() = HdfHelper();
    EXPECT_TRUE(moveTo(0, 1));
    EXPECT_EQ(at(0, 0), 12);
}

// Saving a data set read plane by plane saves all of it, not the plane in
// memory; one beyond an array's size says it cannot be saved.
TEST_F(Hdf5PlaneTest, SavingWritesTheWholeDataSetOrSaysWhyNot) {
    ASSERT_TRUE(showCube());
    ASSERT_TRUE(moveTo(0, 1));
    const std::string path = dir.file("cube.agl");
    ASSERT_TRUE(doc->save(path));
    aglArray saved;
    ASSERT_TRUE(saved.open(path, true));
    ASSERT_EQ(saved.dimCount(), 3);
    EXPECT_EQ(saved.extent(0), 2);
    EXPECT_EQ(saved.elementCount(), 24);
    for (int k = 0; k < 24; ++k)
        EXPECT_EQ(static_cast<const uint16_t*>(saved.data())[k], k);
    // The plane shown is still the array.
    EXPECT_EQ(at(0, 0), 12);

    ASSERT_TRUE(doc->open(samples().file("huge.h5")));
    sink.shown.clear();
    EXPECT_FALSE(doc->save(dir.file("huge.agl")));
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_NE(sink.shown[0].text.find("more than 2^30 values"), std::string::npos);
}

// The helper's plane session on its own: requests for parts that do not
// fit, or segments that are not there, are refused and the session goes on.
TEST(Hdf5PlaneSession, BadRequestsAreRefusedAndTheSessionGoesOn) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listSample();
    const auto* cube = static_cast<const CHdfSds*>(at(list, "/cube"));
    ASSERT_NE(cube, nullptr);
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), *cube);
    HdfPlane plane = hdfFirstPlane(*cube);
    std::string reason;
    auto array = HdfHelper::makePlaneArray(*cube, plane, reason);
    ASSERT_NE(array, nullptr) << reason;
    int64_t imprecise = 0;
    const int32_t beyond[3] = {2, 0, 0}, second[3] = {1, 0, 0};
    EXPECT_FALSE(session.read(*array->segment(), beyond, 10000, nullptr, imprecise, reason));
    EXPECT_EQ(reason, "the data set does not match its listing");
    aglSegment other;
    const int32_t ext[3] = {1, 3, 5};
    ASSERT_TRUE(other.create(nullptr, 3, ext, AGL_USHORT, AGL_LANG_C));
    EXPECT_FALSE(session.read(other, second, 10000, nullptr, imprecise, reason));
    ASSERT_TRUE(session.read(*array->segment(), second, 10000, nullptr, imprecise, reason))
        << reason;
    EXPECT_EQ(array->value(3, 2), 23);
}

// The viewer reads each plane on a worker thread that ends with the read.
// The session's helper lives on past that thread (it ends with the viewer's
// process, not with the thread that started it), so the next plane is read
// by the same session.
TEST(Hdf5PlaneSession, OutlivesTheThreadThatStartedIt) {
    ASSERT_TRUE(samples().ok());
    const HdfObjectList list = listSample();
    const auto* cube = static_cast<const CHdfSds*>(at(list, "/cube"));
    ASSERT_NE(cube, nullptr);
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), *cube);
    std::string reason;
    auto array = HdfHelper::makePlaneArray(*cube, hdfFirstPlane(*cube), reason);
    ASSERT_NE(array, nullptr) << reason;
    int64_t imprecise = 0;
    const int32_t first[3] = {0, 0, 0}, second[3] = {1, 0, 0};
    bool firstRead = false;
    std::thread([&] {
        firstRead = session.read(*array->segment(), first, 10000, nullptr, imprecise, reason);
    }).join();
    ASSERT_TRUE(firstRead) << reason;
    EXPECT_TRUE(session.read(*array->segment(), second, 10000, nullptr, imprecise, reason))
        << reason;
    EXPECT_EQ(array->value(3, 2), 23);
}

// A plane session keeps its file open, but never locked: the program that
// writes the file can write it again meanwhile (the viewer then reloads).
TEST(Hdf5PlaneSession, TheFileItHoldsCanBeWrittenAgain) {
    TempDir dir;
    const std::string make = std::string(MAKE_HDF5_SAMPLES) + " " + dir.path();
    ASSERT_EQ(std::system(make.c_str()), 0);
    HdfObjectList list;
    std::string reason;
    ASSERT_TRUE(HdfHelper().list(dir.file("sample.h5"), list, reason)) << reason;
    const auto* cube = static_cast<const CHdfSds*>(at(list, "/cube"));
    ASSERT_NE(cube, nullptr);
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), *cube);
    int32_t start[3] = {};
    auto array = HdfHelper::makePlaneArray(*cube, hdfFirstPlane(*cube), reason, start);
    ASSERT_NE(array, nullptr) << reason;
    int64_t imprecise = 0;
    ASSERT_TRUE(session.read(*array->segment(), start, 10000, nullptr, imprecise, reason))
        << reason;
    EXPECT_EQ(std::system(make.c_str()), 0);
}

// ---- A file written by h5py -------------------------------------------------------

namespace {

const PythonSamples& h5pySamples() {
    static PythonSamples s("h5py", "h5py", "python3-h5py");
    return s;
}

} // namespace

// Data sets as h5py writes them, after a user block: chunked and deflated,
// or contiguous (which the helper copies file to file when they are in this
// machine's byte order, whole or a plane at a time), the values shown (each
// plane of a three-dimensional one in turn) are h5dump's (which prints six
// digits), values equal to _FillValue holes; the dimension scales h5py
// attached are the data set's scales with h5dump's values; attributes keep
// their values.
TEST_F(Hdf5DocTest, FileWrittenByH5pyShowsWhatH5dumpPrints) {
    if (!h5pySamples().skipped().empty()) GTEST_SKIP() << h5pySamples().skipped();
    if (!haveProgram("h5dump")) GTEST_SKIP() << "h5dump is not installed";
    ASSERT_TRUE(h5pySamples().ok());
    const std::string path = h5pySamples().file("py.h5");
    ASSERT_TRUE(doc->open(path));
    auto show = [&](const CHdfObject& o) {
        return doc->hdfCurrent() == &o || doc->showHdfObjectById(o.objectId);
    };
    auto expectH5dumps = [&](const std::string& location) {
        SCOPED_TRACE(location);
        const std::vector<double> got = shownValues(*doc);
        const std::vector<double> expected = h5dumpValues(path, location);
        ASSERT_EQ(got.size(), expected.size());
        ASSERT_FALSE(got.empty());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-5 * std::max(1e-3, std::fabs(expected[i])))
                << "at " << i;
    };
    const auto* field = static_cast<const CHdfSds*>(object("/obs/field"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(hdfShapeText(*field), "float[3][4][5]");
    EXPECT_EQ(hdfQuantityText(*field), "wind speed [m/s]");
    const CHdfObject* range = nullptr;
    for (const auto& c : field->children)
        if (c->kind == HdfKindAttribute && c->displayName == "valid_range") range = c.get();
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(static_cast<const CHdfAttribute*>(range)->text, "-10\n30\n");
    const CHdfObject* title = nullptr;
    for (const auto& o : doc->hdfObjects())
        if (o->kind == HdfKindAttribute && o->displayName == "title") title = o.get();
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(static_cast<const CHdfAttribute*>(title)->text, "h5py sample");

    ASSERT_TRUE(show(*field));
    expectH5dumps("/obs/field");
    int scales = 0;
    for (const auto& child : field->children) {
        if (child->kind != HdfKindSds) continue;
        const auto& scale = static_cast<const CHdfSds&>(*child);
        EXPECT_EQ(scale.location,
                  (std::vector<std::string>{"/obs/step", "/obs/y", "/obs/x"}[size_t(scales)]));
        EXPECT_EQ(scale.scaleOfDimension, scales++);
        ASSERT_TRUE(show(scale));
        expectH5dumps(scale.location);
    }
    EXPECT_EQ(scales, 3);
    for (const char* location : {"/image", "/counts", "/swapped"}) {
        const CHdfObject* o = object(location);
        ASSERT_NE(o, nullptr) << location;
        ASSERT_TRUE(show(*o)) << location;
        expectH5dumps(location);
    }
    const CHdfObject* level = object("/level");
    ASSERT_NE(level, nullptr);
    ASSERT_TRUE(show(*level));
    std::vector<double> expected = h5dumpValues(path, "/level");
    ASSERT_EQ(expected.size(), 72u);
    for (double& v : expected)
        if (v == -1.0) v = NAN;
    const std::vector<double> got = shownValues(*doc);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "at " << i;
        else
            EXPECT_EQ(got[i], expected[i]) << "at " << i;
    }
}
