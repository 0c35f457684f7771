// NetCDF files end to end: netcdf/ocean.cdl made into a classic and a
// NetCDF-4 file by ncgen, listed and read through the helper processes
// (tavrix-hdf hands a classic file to tavrix-netcdf and reads a NetCDF-4
// one as HDF5), values compared with ncdump's, fill and missing values as
// NaN, shown by the document with its coordinate variables as scales.
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
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

using namespace plotrane;

namespace {

std::string run(const std::string& cmd, int* status = nullptr) {
    std::string out;
    if (FILE* p = ::popen((cmd + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        const int st = ::pclose(p);
        if (status) *status = st;
    }
    return out;
}

bool haveNetcdfTools() {
    return std::system("command -v ncgen >/dev/null 2>&1 && command -v ncdump >/dev/null 2>&1") ==
           0;
}

// ocean.cdl made into a file of the given form by ncgen ("classic", or
// "nc4": an HDF5 file underneath, read through the HDF5 reader).
class NetcdfFile {
public:
    explicit NetcdfFile(const std::string& form) : m_form(form) {
        int status = -1;
        run("ncgen -k " + form + " -o " + path() + " " + TAVRIX_SOURCE_DIR +
                "/tests/viewer/doc/netcdf/ocean.cdl",
            &status);
        m_ok = status == 0;
    }
    bool ok() const { return m_ok; }
    std::string path() const { return m_dir.file("ocean-" + m_form + ".nc"); }

private:
    TempDir m_dir;
    std::string m_form;
    bool m_ok = false;
};

const NetcdfFile& ocean() {
    static NetcdfFile f("classic");
    return f;
}

const NetcdfFile& ocean4() {
    static NetcdfFile f("nc4");
    return f;
}

const CHdfObject* named(const std::vector<std::unique_ptr<CHdfObject>>& list,
                        const std::string& name) {
    for (const auto& o : list)
        if (o->displayName == name) return o.get();
    return nullptr;
}

// ncdump's values of one variable, in storage order; its "_" (a fill
// value) as NaN.
std::vector<double> ncdumpValues(const std::string& file, const std::string& variable) {
    const std::string out = run("ncdump -v " + variable + " " + file);
    const size_t data = out.find("\ndata:");
    const size_t start = out.find(" " + variable + " =", data);
    if (data == std::string::npos || start == std::string::npos) return {};
    std::string body = out.substr(start + variable.size() + 3);
    body = body.substr(0, body.find(';'));
    for (char& c : body)
        if (c == ',') c = ' ';
    std::vector<double> values;
    std::istringstream in(body);
    std::string token;
    while (in >> token)
        values.push_back(token == "_" ? NAN : std::strtod(token.c_str(), nullptr));
    return values;
}

class NetcdfTest : public DocTest {
protected:
    void SetUp() override {
        if (!haveNetcdfTools()) GTEST_SKIP() << "ncgen and ncdump are not installed";
        ASSERT_TRUE(ocean().ok());
        DocTest::SetUp();
    }
};

} // namespace

TEST_F(NetcdfTest, VariablesCarryTheirCoordinateVariablesAndAttributeValues) {
    HdfObjectList list;
    std::string reason;
    ASSERT_TRUE(HdfHelper().list(ocean().path(), list, reason)) << reason;
    EXPECT_EQ(static_cast<const CHdfAttribute*>(named(list, "title"))->text, "Ocean sample");
    const auto* sst = static_cast<const CHdfSds*>(named(list, "sst"));
    ASSERT_NE(sst, nullptr);
    // The unlimited dimension counts the records written.
    EXPECT_EQ(hdfShapeText(*sst), "float[2][3][4]");
    for (int d = 0; d < 3; ++d) {
        const auto& scale = static_cast<const CHdfSds&>(*sst->children[size_t(d)]);
        EXPECT_EQ(scale.scaleOfDimension, d);
        EXPECT_EQ(scale.displayName, (std::vector<std::string>{"time", "lat", "lon"}[size_t(d)]));
    }
    EXPECT_EQ(static_cast<const CHdfAttribute*>(named(sst->children, "units"))->text, "degC");
    EXPECT_EQ(static_cast<const CHdfAttribute*>(named(sst->children, "long_name"))->text,
              "sea surface temperature");
    // Coordinate variables are hidden where they are defined; character
    // variables are listed with the reason.
    EXPECT_TRUE(named(list, "lat")->hidden);
    const CHdfObject* station = named(list, "station");
    ASSERT_NE(station, nullptr);
    EXPECT_EQ(station->refusal, "character variables cannot be shown");
}

TEST_F(NetcdfTest, ValuesEqualNcdumpsAndFillAndMissingValuesAreHolesInBothForms) {
    ASSERT_TRUE(ocean4().ok());
    for (const NetcdfFile* file : {&ocean(), &ocean4()}) {
        for (const char* variable : {"sst", "depth", "flags", "lat", "time"}) {
            SCOPED_TRACE(file->path() + " " + variable);
            ArrayOpenOptions options;
            options.hdfObject = variable;
            OpenedArray opened = openArrayFile(file->path(), options);
            ASSERT_TRUE(opened.ok()) << opened.reason;
            EXPECT_EQ(opened.format, file == &ocean() ? ArrayFormat::Netcdf : ArrayFormat::Hdf5);
            const aglSegment& seg = *opened.shown()->segment();
            std::vector<double> expected = ncdumpValues(file->path(), variable);
            ASSERT_EQ(int64_t(expected.size()), seg.elementCount());
            // ncdump prints the missing value as a number; it is a hole too.
            for (double& v : expected)
                if (v == -1e30) v = NAN;
            for (size_t i = 0; i < expected.size(); ++i) {
                const double got = agl::loadAsDouble(static_cast<const uint8_t*>(seg.elements()) +
                                                         i * size_t(seg.elementSize()),
                                                     seg.typeCode());
                if (std::isnan(expected[i]))
                    EXPECT_TRUE(std::isnan(got)) << i;
                else
                    EXPECT_DOUBLE_EQ(got, expected[i]) << i;
            }
        }
    }
}

TEST_F(NetcdfTest, DocumentShowsTheFirstVariableWithItsThreeScales) {
    ASSERT_TRUE(doc->open(ocean().path()));
    const CHdfObject* sst = named(doc->hdfObjects(), "sst");
    ASSERT_NE(sst, nullptr);
    EXPECT_EQ(doc->hdfCurrent(), sst);
    // C order: the plane is the last two dimensions (lat, lon).
    EXPECT_EQ(doc->currentArray()->rowDim(), 1);
    EXPECT_EQ(doc->currentArray()->colDim(), 2);
    int scales = 0;
    for (const auto& c : graph.dispatch.calls)
        if (c.dispid == DISPID_SetAxisScale && !c.args[1].toString().empty()) ++scales;
    EXPECT_EQ(scales, 3);
    // A refused variable says why and keeps what is shown.
    sink.shown.clear();
    EXPECT_FALSE(doc->showHdfObjectById(named(doc->hdfObjects(), "station")->objectId));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "station: character variables cannot be shown");
    EXPECT_EQ(doc->hdfCurrent(), sst);
}

TEST_F(NetcdfTest, DamagedFilesFailCleanlyAndKeepThePreviousArray) {
    const std::string agl = dir.file("before.agl");
    makeAglFile(agl, 4, 4);
    const std::string whole = readAll(ocean().path());
    std::vector<std::string> damaged;
    for (size_t cut : {size_t(4), size_t(40), whole.size() / 2, whole.size() - 1})
        damaged.push_back(whole.substr(0, cut));
    // Dimension lengths and the count of variables made absurd.
    for (size_t at : {size_t(8), size_t(20), size_t(60)}) {
        std::string bad = whole;
        for (size_t k = at; k < at + 4; ++k)
            bad[k] = char(0x7F);
        damaged.push_back(bad);
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(doc->open(agl));
        const std::string target = dir.write("damaged" + std::to_string(i) + ".nc", damaged[i]);
        if (!doc->open(target)) {
            EXPECT_EQ(doc->path(), agl);
            EXPECT_EQ(doc->currentArray()->segment()->name(), agl);
        }
    }
}

TEST_F(NetcdfTest, PackedVariableShowsUnpackedOnRequestAndBackInBothForms) {
    ASSERT_TRUE(ocean4().ok());
    for (const NetcdfFile* file : {&ocean(), &ocean4()}) {
        SCOPED_TRACE(file->path());
        ASSERT_TRUE(doc->open(file->path()));
        auto* depth = const_cast<CHdfObject*>(named(doc->hdfObjects(), "depth"));
        ASSERT_NE(depth, nullptr);
        ASSERT_TRUE(hdfIsPacked(*depth));
        // (The NetCDF-4 file lists its variables by name: depth comes first.)
        if (doc->hdfCurrent() != depth) {
            ASSERT_TRUE(doc->showHdfObjectById(depth->objectId));
        }
        EXPECT_EQ(doc->currentArray()->typeCode(), AGL_SHORT);
        const std::vector<double> raw = ncdumpValues(file->path(), "depth");
        ASSERT_EQ(raw.size(), 12u);

        ASSERT_TRUE(doc->setHdfUnpacked(depth->objectId, true));
        EXPECT_EQ(doc->hdfCurrent(), depth);
        const aglArray& unpacked = *doc->currentArray();
        EXPECT_EQ(unpacked.typeCode(), AGL_DOUBLE);
        EXPECT_EQ(ctl().str(DISPID_FileName), unpacked.segment()->name());
        const auto* p = static_cast<const uint8_t*>(unpacked.segment()->elements());
        for (size_t i = 0; i < raw.size(); ++i)
            EXPECT_DOUBLE_EQ(agl::loadAsDouble(p + 8 * i, AGL_DOUBLE), raw[i] * 0.5 + 100.0) << i;
        // Asking twice changes nothing; an object that is not packed refuses.
        EXPECT_FALSE(doc->setHdfUnpacked(depth->objectId, true));
        EXPECT_FALSE(doc->setHdfUnpacked(named(doc->hdfObjects(), "sst")->objectId, true));

        ASSERT_TRUE(doc->setHdfUnpacked(depth->objectId, false));
        EXPECT_EQ(doc->currentArray()->typeCode(), AGL_SHORT);
    }
}

// A new document while the values are read again leaves nothing of the
// list behind, whether the packed variable was shown or not.
TEST_F(NetcdfTest, NewDocumentWhileUnpackingEndsTheChangeCleanly) {
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown);
        sink.onWait = nullptr;
        ASSERT_TRUE(doc->open(ocean().path()));
        const CHdfObject* depth = named(doc->hdfObjects(), "depth");
        const CHdfObject* sst = named(doc->hdfObjects(), "sst");
        ASSERT_TRUE(depth && sst);
        const CHdfObject* show = shown ? depth : sst;
        if (doc->hdfCurrent() != show) {
            ASSERT_TRUE(doc->showHdfObjectById(show->objectId));
        }
        int waits = 0;
        sink.onWait = [&](const std::function<void()>& work, std::atomic<bool>&) {
            ++waits;
            doc->newDocument();
            work();
        };
        EXPECT_FALSE(doc->setHdfUnpacked(depth->objectId, true));
        EXPECT_EQ(waits, 1);
        EXPECT_FALSE(doc->hasData());
        EXPECT_TRUE(doc->hdfObjects().empty());
        EXPECT_EQ(doc->hdfCurrent(), nullptr);
    }
    sink.onWait = nullptr;
}

TEST_F(NetcdfTest, StatusBarNamesTheQuantityAndItsUnits) {
    ASSERT_TRUE(doc->open(ocean().path()));
    EXPECT_EQ(doc->statusNote(), "sea surface temperature [degC]");
}

// sst (time, lat, lon) is read one plane at a time in both forms (the
// classic one through tavrix-netcdf's session, the NetCDF-4 one through the
// HDF5 one), with fill and missing values as holes in every plane.
TEST_F(NetcdfTest, ThreeDimensionalVariableIsReadPlaneByPlaneInBothForms) {
    for (const NetcdfFile* file : {&ocean(), &ocean4()}) {
        ASSERT_TRUE(file->ok());
        ASSERT_TRUE(doc->open(file->path()));
        doc->showHdfObjectById(named(doc->hdfObjects(), "sst")->objectId);
        const aglArray* a = doc->currentArray();
        ASSERT_EQ(a->extent(0), 1) << file->path();
        EXPECT_EQ(a->value(0, 0), 1.5);
        EXPECT_TRUE(std::isnan(a->value(1, 1))); // _FillValue
        EXPECT_TRUE(std::isnan(a->value(3, 2))); // missing_value
        CArrayDoc::RegionChoice choice = doc->regionChoice();
        EXPECT_EQ(choice.extent[0], 2);
        choice.start[0] = 1;
        ASSERT_TRUE(doc->applyRegion(choice)) << file->path();
        a = doc->currentArray();
        EXPECT_EQ(a->value(0, 0), 13);
        EXPECT_EQ(a->value(3, 2), 24.25);
        EXPECT_EQ(doc->positionText(3, 2), "M[1][2][3]: 24.25");
    }
}

// The whole range of sst, read by the helper's plane session part by part,
// leaves out its fill and missing values (-999 and -1e30) in both forms; a
// request that does not fit the variable is refused and the session goes on.
TEST_F(NetcdfTest, RangeOfAVariableLeavesOutFillAndMissingValuesInBothForms) {
    for (const NetcdfFile* file : {&ocean(), &ocean4()}) {
        SCOPED_TRACE(file->path());
        ASSERT_TRUE(file->ok());
        ASSERT_TRUE(doc->open(file->path()));
        const auto* sst = static_cast<const CHdfSds*>(named(doc->hdfObjects(), "sst"));
        ASSERT_NE(sst, nullptr);
        HdfPlaneSession session(HdfHelper::defaultHelperPath(), *sst);
        double lo = 0, hi = 0;
        bool found = false;
        std::string reason;
        EXPECT_FALSE(session.findRange(sst->typeCode,
                                       {sst->extents[0] + 1, sst->extents[1], sst->extents[2]},
                                       60000, nullptr, lo, hi, found, reason));
        EXPECT_FALSE(reason.empty());
        ASSERT_TRUE(
            session.findRange(sst->typeCode, sst->extents, 60000, nullptr, lo, hi, found, reason))
            << reason;
        EXPECT_TRUE(found);
        EXPECT_EQ(lo, 1.5);
        EXPECT_EQ(hi, 24.25);
    }
}

// The plane session of a classic file opens it once: after the first plane
// the file may go from its folder and the next planes still come from it.
TEST_F(NetcdfTest, PlaneSessionKeepsTheFileOpenFromTheFirstPlaneToTheLast) {
    const std::string copy = dir.file("ocean-copy.nc");
    std::filesystem::copy_file(ocean().path(), copy);
    HdfObjectList list;
    std::string reason;
    ASSERT_TRUE(HdfHelper().list(copy, list, reason)) << reason;
    const auto* sst = static_cast<const CHdfSds*>(named(list, "sst"));
    ASSERT_NE(sst, nullptr);
    HdfPlaneSession session(HdfHelper::defaultHelperPath(), *sst);
    int32_t start[3] = {};
    auto array = HdfHelper::makePlaneArray(*sst, hdfFirstPlane(*sst), reason, start);
    ASSERT_NE(array, nullptr) << reason;
    int64_t imprecise = 0;
    ASSERT_TRUE(session.read(*array->segment(), start, 10000, nullptr, imprecise, reason))
        << reason;
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    start[0] = 1;
    ASSERT_TRUE(session.read(*array->segment(), start, 10000, nullptr, imprecise, reason))
        << reason;
    const auto* values = static_cast<const float*>(array->segment()->elements());
    EXPECT_EQ(values[0], 13.0f);
    EXPECT_EQ(values[11], 24.25f);
}

namespace {

// A NetCDF file of variable name, float [time][y][x] with time unlimited,
// value 100 t + 10 y + x + offset, written by ncgen in the given form.
bool writeCube(const TempDir& dir, const std::string& path, const std::string& form,
               const std::string& name, int times, int ys, int xs, double offset) {
    std::ostringstream cdl;
    cdl << "netcdf cube {\ndimensions:\n  time = UNLIMITED ;\n  y = " << ys << " ;\n  x = " << xs
        << " ;\nvariables:\n  float " << name << "(time, y, x) ;\ndata:\n  " << name << " = ";
    for (int t = 0; t < times; ++t)
        for (int y = 0; y < ys; ++y)
            for (int x = 0; x < xs; ++x)
                cdl << (t || y || x ? ", " : "") << 100 * t + 10 * y + x + offset;
    cdl << " ;\n}\n";
    const std::string source = dir.write("cube.cdl", cdl.str());
    int status = -1;
    run("ncgen -k " + form + " -o " + path + " " + source, &status);
    // The watch compares times: a rewrite within the clock's step is seen.
    struct stat st {};
    if (status != 0 || ::stat(path.c_str(), &st) != 0) return false;
    struct timespec times2[2] = {st.st_atim, st.st_mtim};
    static int ahead = 0;
    times2[1].tv_sec += ++ahead;
    return ::utimensat(AT_FDCWD, path.c_str(), times2, 0) == 0;
}

} // namespace

// A file rewritten under the viewer and reloaded keeps the plane shown and
// its region while the data set still has them (here the unlimited
// dimension grew); when it no longer has them the first plane, the whole
// plane or the first data set is shown and the status bar says why.
TEST_F(NetcdfTest, ReloadKeepsThePlaneAndRegionShownWhileTheDataSetHasThem) {
    for (const std::string form : {"classic", "nc4"}) {
        SCOPED_TRACE(form);
        const std::string path = dir.file("cube-" + form + ".nc");
        ASSERT_TRUE(writeCube(dir, path, form, "v", 3, 3, 4, 0));
        ASSERT_TRUE(doc->open(path));
        CArrayDoc::RegionChoice choice = doc->regionChoice();
        choice.start[0] = 2;
        choice.start[2] = 1;
        choice.length[2] = 2;
        ASSERT_TRUE(doc->applyRegion(choice));
        auto plane = [&] { return static_cast<const float*>(doc->currentArray()->data()); };
        EXPECT_EQ(plane()[0], 200.0f);

        // Grown by a record, every value changed: the same plane and region.
        ASSERT_TRUE(writeCube(dir, path, form, "v", 4, 3, 4, 0.5));
        sink.answers = {true};
        doc->checkForChange();
        CArrayDoc::RegionChoice now = doc->regionChoice();
        EXPECT_EQ(now.extent[0], 4);
        EXPECT_EQ(now.start[0], 2);
        EXPECT_EQ(now.start[2], 1);
        EXPECT_EQ(now.length[2], 2);
        EXPECT_EQ(now.length[1], 3);
        EXPECT_EQ(plane()[0], 200.5f);
        EXPECT_EQ(plane()[11], 223.5f);
        EXPECT_EQ(doc->statusNote().find("Reloaded"), std::string::npos) << doc->statusNote();

        // The region's part of x is beyond x's new extent: the whole plane.
        ASSERT_TRUE(writeCube(dir, path, form, "v", 4, 3, 2, 0));
        sink.answers = {true};
        doc->checkForChange();
        now = doc->regionChoice();
        EXPECT_EQ(now.start[0], 2);
        EXPECT_EQ(now.start[2], 0);
        EXPECT_EQ(now.length[2], 2);
        EXPECT_EQ(plane()[0], 200.0f);
        EXPECT_NE(doc->statusNote().find(
                      "Reloaded: the region shown is no longer in v; the whole plane is shown"),
                  std::string::npos)
            << doc->statusNote();

        // Two records left: plane 2 is gone, the first plane is shown.
        ASSERT_TRUE(writeCube(dir, path, form, "v", 2, 3, 2, 0));
        sink.answers = {true};
        doc->checkForChange();
        now = doc->regionChoice();
        EXPECT_EQ(now.extent[0], 2);
        EXPECT_EQ(now.start[0], 0);
        EXPECT_EQ(plane()[0], 0.0f);
        EXPECT_NE(doc->statusNote().find(
                      "Reloaded: the plane shown is no longer in v; its first plane is shown"),
                  std::string::npos)
            << doc->statusNote();

        // The variable is now named otherwise: the file's first data set.
        ASSERT_TRUE(writeCube(dir, path, form, "w", 2, 3, 2, 0.25));
        sink.answers = {true};
        doc->checkForChange();
        ASSERT_NE(doc->hdfCurrent(), nullptr);
        EXPECT_EQ(doc->hdfCurrent()->displayName, "w");
        EXPECT_EQ(plane()[0], 0.25f);
        EXPECT_NE(doc->statusNote().find("Reloaded: v is no longer in the file"), std::string::npos)
            << doc->statusNote();
        EXPECT_EQ(sink.questions.size(), 4u);
        sink.questions.clear();
    }
}

// A two-dimensional variable shown turned (its columns down) and in part
// stays so across a reload of the rewritten file.
TEST_F(NetcdfTest, ReloadKeepsTheDimensionsShownAndTheRegionOfAWholeArray) {
    const std::string path = dir.file("grid.nc");
    auto write = [&](double offset, int seconds) {
        std::ostringstream cdl;
        cdl << "netcdf grid {\ndimensions:\n  y = 5 ;\n  x = 6 ;\nvariables:\n  double g(y, x) ;\n"
               "data:\n  g = ";
        for (int i = 0; i < 30; ++i)
            cdl << (i ? ", " : "") << i + offset;
        cdl << " ;\n}\n";
        int status = -1;
        run("ncgen -k classic -o " + path + " " + dir.write("grid.cdl", cdl.str()), &status);
        ASSERT_EQ(status, 0);
        bumpTime(path, seconds);
    };
    write(0, 1);
    ASSERT_TRUE(doc->open(path));
    CArrayDoc::RegionChoice choice = doc->regionChoice();
    choice.rowDim = 1;
    choice.colDim = 0;
    choice.start[1] = 2;
    choice.length[1] = 3;
    ASSERT_TRUE(doc->applyRegion(choice));
    write(0.5, 2);
    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(sink.questions.size(), 1u);
    const CArrayDoc::RegionChoice now = doc->regionChoice();
    EXPECT_EQ(now.rowDim, 1);
    EXPECT_EQ(now.colDim, 0);
    EXPECT_EQ(now.start[1], 2);
    EXPECT_EQ(now.length[1], 3);
    EXPECT_EQ(now.length[0], 5);
    EXPECT_EQ(doc->currentArray()->value(4, 5), 29.5); // g[4][5]: column 4 of the turned view
    EXPECT_EQ(doc->statusNote().find("Reloaded"), std::string::npos) << doc->statusNote();
}

// ---- Files written by netCDF4-python ----------------------------------------------

namespace {

const PythonSamples& netcdf4Python() {
    static PythonSamples s("netcdf4", "netCDF4", "python3-netcdf4");
    return s;
}

// got equals expected, NaN for NaN, to float precision (ncdump prints
// floats in their shortest form).
void expectValues(const std::vector<double>& got, const std::vector<double>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    ASSERT_FALSE(got.empty());
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "at " << i << ": " << got[i];
        else
            EXPECT_NEAR(got[i], expected[i], 1e-6 * std::max(1.0, std::fabs(expected[i])))
                << "at " << i;
    }
}

} // namespace

// Both forms netCDF4-python writes, an unlimited dimension written record by
// record: the values shown (each plane of a three-dimensional variable in
// turn) are ncdump's, a masked value (_FillValue) a hole; the coordinate
// variables are the scales of the variables' dimensions with ncdump's
// values; a packed variable shows its stored integers, and unpacked the
// values scale_factor and add_offset give.
TEST_F(NetcdfTest, FilesWrittenByNetcdf4PythonShowWhatNcdumpPrints) {
    if (!netcdf4Python().skipped().empty()) GTEST_SKIP() << netcdf4Python().skipped();
    ASSERT_TRUE(netcdf4Python().ok());
    for (const char* name : {"py-classic.nc", "py-nc4.nc"}) {
        const std::string path = netcdf4Python().file(name);
        SCOPED_TRACE(path);
        ASSERT_TRUE(doc->open(path));
        const auto* temp = static_cast<const CHdfSds*>(named(doc->hdfObjects(), "temp"));
        ASSERT_NE(temp, nullptr);
        EXPECT_EQ(hdfShapeText(*temp), "float[3][3][4]");
        EXPECT_EQ(hdfQuantityText(*temp), "air temperature [degC]");
        EXPECT_EQ(static_cast<const CHdfAttribute*>(named(doc->hdfObjects(), "title"))->text,
                  "netCDF4-python sample");
        // The object shown first (temp) is shown already.
        auto show = [&](const CHdfObject& o) {
            return doc->hdfCurrent() == &o || doc->showHdfObjectById(o.objectId);
        };
        for (const char* variable : {"temp", "grid"}) {
            SCOPED_TRACE(variable);
            ASSERT_TRUE(show(*named(doc->hdfObjects(), variable)));
            expectValues(shownValues(*doc), ncdumpValues(path, variable));
        }
        int scales = 0;
        for (const auto& child : temp->children) {
            if (child->kind != HdfKindSds) continue;
            SCOPED_TRACE(child->displayName);
            const auto& scale = static_cast<const CHdfSds&>(*child);
            EXPECT_EQ(scale.displayName,
                      (std::vector<std::string>{"time", "lat", "lon"}[size_t(scales)]));
            EXPECT_EQ(scale.scaleOfDimension, scales++);
            ASSERT_TRUE(doc->showHdfObjectById(scale.objectId));
            expectValues(shownValues(*doc), ncdumpValues(path, scale.displayName));
        }
        EXPECT_EQ(scales, 3);

        const CHdfObject* packed = named(doc->hdfObjects(), "packed");
        ASSERT_NE(packed, nullptr);
        ASSERT_TRUE(hdfIsPacked(*packed));
        ASSERT_TRUE(doc->showHdfObjectById(packed->objectId));
        const std::vector<double> stored = ncdumpValues(path, "packed");
        const std::vector<double> raw = shownValues(*doc);
        ASSERT_EQ(raw.size(), stored.size());
        std::vector<double> unpackedByHand;
        for (size_t i = 0; i < raw.size(); ++i) {
            // The integer fill value is a value like any other until unpacked.
            EXPECT_EQ(raw[i], std::isnan(stored[i]) ? -32767 : stored[i]) << "at " << i;
            unpackedByHand.push_back(stored[i] * 0.01 + 273.15);
        }
        ASSERT_TRUE(doc->setHdfUnpacked(packed->objectId, true));
        expectValues(shownValues(*doc), unpackedByHand);
    }
}
