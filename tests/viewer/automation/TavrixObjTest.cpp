// The automation members over a document with a recording control: what
// each member does to the document and array, which dispatch calls reach the
// control in which order, and how bad values from a client are refused.
#include "TavrixObj.h"

#include "DocFakes.h"

#include <cmath>
#include <cstdlib>

using namespace automation;
using plotrane::Variant;

namespace {

// A control that, like the real one, refuses a clamp or palette bound that
// crosses the other end of its pair, and refuses GraphStyle outside 0..4.
class CheckingControl : public RecordingControl {
public:
    plotrane::DispatchStatus SetProperty(int dispid, const Variant& v) override {
        using namespace plotrane;
        const std::pair<int, int> pairs[] = {{DISPID_ZMinClamp, DISPID_ZMaxClamp},
                                             {DISPID_XMinClamp, DISPID_XMaxClamp},
                                             {DISPID_PaletteMinVal, DISPID_PaletteMaxVal}};
        for (auto [lo, hi] : pairs) {
            if (dispid == lo && v.toDouble() > GetProperty(hi).toDouble())
                return {plotrane::kInvalidPropertyValue, "Invalid Clamp Value"};
            if (dispid == hi && v.toDouble() < GetProperty(lo).toDouble())
                return {plotrane::kInvalidPropertyValue, "Invalid Clamp Value"};
        }
        if (dispid == DISPID_GraphStyle && (v.toInt() < 0 || v.toInt() > 4))
            return {plotrane::kInvalidPropertyValue, "Invalid Graph Style"};
        return RecordingControl::SetProperty(dispid, v);
    }
};

class CheckingGraphView : public ControlHostView {
public:
    bool isGraphPane() const override { return true; }
    CPlotrane2D* control() override { return &wrapper; }
    CheckingControl dispatch;
    CPlotrane2D wrapper{&dispatch};
};

class TavrixObjTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc = std::make_unique<CArrayDoc>(store, sink);
        doc->addView(&grid);
        doc->addView(&graph);
        obj = std::make_unique<TavrixObj>(*doc, [this](bool show) { frameShown.push_back(show); });
    }
    CheckingControl& ctl() { return graph.dispatch; }
    // A rows x cols float file, loaded as a client's array.
    void load(int rows, int cols) {
        const std::string path =
            dir.file("a" + std::to_string(rows) + "x" + std::to_string(cols) + ".agl");
        makeAglFile(path, rows, cols);
        ASSERT_TRUE(doc->loadClientSegment(path));
        ctl().clearLog();
    }
    Result call(const std::string& name, Values args = {}) { return obj->call(name, args); }
    // The (dispid, first argument, second argument) of every recorded method call.
    std::vector<std::tuple<int, int, int>> roiCalls() {
        std::vector<std::tuple<int, int, int>> out;
        for (const auto& c : ctl().calls)
            if (c.dispid == plotrane::DISPID_SetRoiLb || c.dispid == plotrane::DISPID_SetRoiUb)
                out.emplace_back(c.dispid, c.args[0].toInt(), c.args[1].toInt());
        return out;
    }

    PrivateConfigHome home;
    TempDir dir;
    SettingsStore store{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    CheckingGraphView graph;
    FakeGridView grid;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<TavrixObj> obj;
    std::vector<bool> frameShown;
};

} // namespace

TEST(AutomationTable, HasTheInterfaceMembersInOrderWithGetPutPairs) {
    const auto& t = members();
    ASSERT_EQ(t.size(), 110u);
    EXPECT_EQ(t.front().name, "GetFileName");
    EXPECT_EQ(t[1].name, "PutFileName");
    EXPECT_EQ(t[14].name, "ShowWindow");
    EXPECT_EQ(t[108].name, "GetDimScale");
    // After the class's own members: showing an object of an HDF file.
    EXPECT_EQ(t.back().name, "ShowObject");
    // Every table entry 1..70 is there, in order; a get/put pair is two
    // adjacent rows of one entry with matching types.
    int id = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        ASSERT_TRUE(t[i].id == id || t[i].id == id + 1) << t[i].name;
        id = t[i].id;
        if (t[i].name.rfind("Get", 0) == 0 && i + 1 < t.size() && t[i + 1].id == t[i].id) {
            EXPECT_EQ(t[i + 1].name, "Put" + t[i].name.substr(3));
            EXPECT_STREQ(t[i].out, t[i + 1].in) << t[i].name;
        }
        EXPECT_EQ(findMember(t[i].name), &t[i]);
    }
    EXPECT_EQ(id, 70);
    EXPECT_EQ(busSignature(findMember("SetCameraPosition")->in), "ddd");
    EXPECT_STREQ(findMember("SetRoi")->in, "nii");
    EXPECT_STREQ(findMember("GetRoi2D")->out, "iiii");
}

TEST_F(TavrixObjTest, MembersThatNeedAnArrayFailClearlyBeforeOneIsLoadedAndTouchNothing) {
    for (const char* name : {"Update", "GetRoi2D", "GetZClamp", "SetHomePosition"}) {
        const Result r = call(name);
        EXPECT_EQ(r.code, kNoArray) << name;
        EXPECT_NE(r.message.find("no array"), std::string::npos);
    }
    EXPECT_EQ(call("SetRoi", {Variant(int16_t(0)), Variant(0), Variant(3)}).code, kNoArray);
    EXPECT_EQ(call("PutGraphType", {Variant(1)}).code, kNoArray);
    EXPECT_EQ(call("PutShowAxis", {Variant(1)}).code, kNoArray);
    EXPECT_TRUE(ctl().calls.empty());
    EXPECT_TRUE(ctl().sets.empty());
    // Document state works without an array.
    EXPECT_EQ(call("GetFileName").out.at(0).toString(), "");
    EXPECT_TRUE(call("PutCloseOnRelease", {Variant(0)}).ok());
    EXPECT_EQ(call("GetCloseOnRelease").out.at(0).toInt(), 0);
    EXPECT_EQ(call("GetDataRefreshEnable").out.at(0).toInt(), 1);
    EXPECT_EQ(call("NoSuchMember").code, kUnknownMember);
    EXPECT_EQ(call("PutPrecision", {Variant("8")}).code, kTypeMismatch);
}

TEST_F(TavrixObjTest, SetRoiClampsToTheExtentAndWritesUpperLowerUpperToTheControl) {
    load(4, 10);
    ASSERT_TRUE(call("SetRoi", {Variant(int16_t(1)), Variant(-5), Variant(1000)}).ok());
    EXPECT_EQ(call("GetRoiLb", {Variant(int16_t(1))}).out.at(0).toInt(), 0);
    EXPECT_EQ(call("GetRoiUb", {Variant(int16_t(1))}).out.at(0).toInt(), 9);
    using namespace plotrane;
    EXPECT_EQ(roiCalls(),
              (std::vector<std::tuple<int, int, int>>{
                  {DISPID_SetRoiUb, 1, 9}, {DISPID_SetRoiLb, 1, 0}, {DISPID_SetRoiUb, 1, 9}}));

    ASSERT_TRUE(call("SetRoi", {Variant(int16_t(1)), Variant(2), Variant(6)}).ok());
    ctl().clearLog();
    // An empty range changes nothing at all.
    ASSERT_TRUE(call("SetRoi", {Variant(int16_t(1)), Variant(7), Variant(3)}).ok());
    EXPECT_TRUE(ctl().calls.empty());
    EXPECT_EQ(call("GetRoiLb", {Variant(int16_t(1))}).out.at(0).toInt(), 2);
    EXPECT_EQ(call("GetRoiUb", {Variant(int16_t(1))}).out.at(0).toInt(), 6);
}

TEST_F(TavrixObjTest, DimensionIndicesOutsideTheArrayAreRefusedAndNothingChanges) {
    load(4, 10);
    int32_t lb = -1, ub = -1;
    doc->currentArray()->getRoi(0, lb, ub);
    const std::vector<std::pair<std::string, Values>> bad = {
        {"GetRoiLb", {Variant(int16_t(30000))}},
        {"GetRoiUb", {Variant(int16_t(-1))}},
        {"GetRoiLb", {Variant(int16_t(2))}}, // a 2-D array has dimensions 0 and 1
        {"SetRoi", {Variant(int16_t(-1)), Variant(0), Variant(1)}},
        {"SetRoi", {Variant(int16_t(6)), Variant(0), Variant(1)}},
        {"SetRowColDim", {Variant(int16_t(-1)), Variant(int16_t(0))}},
        {"SetRowColDim", {Variant(int16_t(0)), Variant(int16_t(7))}},
        {"GetDimScale", {Variant(int16_t(-1))}},
        {"GetDimScale", {Variant(int16_t(7))}},
    };
    for (const auto& [name, args] : bad) {
        const Result r = call(name, args);
        EXPECT_EQ(r.code, kInvalidArg) << name;
        EXPECT_EQ(r.error, kErrorInvalidArg);
        EXPECT_EQ(r.message.rfind(name + ": ", 0), 0u) << r.message;
    }
    EXPECT_TRUE(ctl().calls.empty());
    EXPECT_TRUE(ctl().sets.empty());
    int32_t lb2 = -1, ub2 = -1;
    doc->currentArray()->getRoi(0, lb2, ub2);
    EXPECT_EQ(std::pair(lb2, ub2), std::pair(lb, ub));
    EXPECT_EQ(doc->currentArray()->rowDim(), 0);
    EXPECT_EQ(doc->currentArray()->colDim(), 1);
}

TEST_F(TavrixObjTest, SetRoi2DRoundTripsAndTellsTheControlColumnsThenRows) {
    load(10, 10);
    ASSERT_TRUE(call("SetRoi2D", {Variant(2), Variant(3), Variant(4), Variant(5)}).ok());
    const Result r = call("GetRoi2D");
    ASSERT_EQ(r.out.size(), 4u);
    EXPECT_EQ(r.out[0].toInt(), 2);
    EXPECT_EQ(r.out[1].toInt(), 3);
    EXPECT_EQ(r.out[2].toInt(), 4);
    EXPECT_EQ(r.out[3].toInt(), 5);
    using namespace plotrane;
    EXPECT_EQ(roiCalls(), (std::vector<std::tuple<int, int, int>>{{DISPID_SetRoiLb, 1, 2},
                                                                  {DISPID_SetRoiUb, 1, 5},
                                                                  {DISPID_SetRoiLb, 0, 3},
                                                                  {DISPID_SetRoiUb, 0, 7}}));
    EXPECT_EQ(ctl().count(DISPID_Update), 1);
    // Counts that would overflow 32 bits are clamped, not wrapped.
    ASSERT_TRUE(call("SetRoi2D", {Variant(5), Variant(0), Variant(INT32_MAX), Variant(2)}).ok());
    const Result big = call("GetRoi2D");
    EXPECT_EQ(big.out[0].toInt(), 5);
    EXPECT_EQ(big.out[2].toInt(), 5);
}

TEST_F(TavrixObjTest, OneDimensionalRegionFedBackFromGetRoi2DKeepsItsColumns) {
    aglSegment seg;
    const int32_t ext[1] = {50};
    const std::string path = dir.file("line.agl");
    ASSERT_TRUE(seg.create(path.c_str(), 1, ext, AGL_FLOAT, AGL_LANG_C, true));
    ASSERT_TRUE(doc->loadClientSegment(path));
    ASSERT_TRUE(call("SetRoi2D", {Variant(10), Variant(0), Variant(20), Variant(1)}).ok());
    Result r = call("GetRoi2D");
    ASSERT_TRUE(call("SetRoi2D", r.out).ok());
    r = call("GetRoi2D");
    EXPECT_EQ(r.out[0].toInt(), 10);
    EXPECT_EQ(r.out[2].toInt(), 20);
    EXPECT_EQ(r.out[3].toInt(), 1);
}

TEST_F(TavrixObjTest, GraphTypeIsCheckedAndAPlaneViewTooLargeFallsBack) {
    load(100, 100);
    for (int bad : {0, 5, -1}) {
        ctl().clearLog();
        EXPECT_EQ(call("PutGraphType", {Variant(bad)}).code, kInvalidArg) << bad;
        EXPECT_TRUE(ctl().sets.empty());
    }
    ASSERT_TRUE(call("PutGraphType", {Variant(2)}).ok());
    EXPECT_EQ(call("GetGraphType").out.at(0).toInt(), 2);
    ASSERT_TRUE(call("PutGraphType", {Variant(4)}).ok());
    const int shown = call("GetGraphType").out.at(0).toInt();
    EXPECT_NE(shown, 4);
    EXPECT_GE(shown, 1);
}

TEST_F(TavrixObjTest, PrecisionOutside3To15IsRefused) {
    EXPECT_EQ(call("PutPrecision", {Variant(2)}).code, kInvalidArg);
    EXPECT_EQ(call("PutPrecision", {Variant(16)}).code, kInvalidArg);
    EXPECT_EQ(grid.prec, 6);
    ASSERT_TRUE(call("PutPrecision", {Variant(9)}).ok());
    EXPECT_EQ(grid.prec, 9);
    EXPECT_EQ(call("GetPrecision").out.at(0).toInt(), 9);
}

TEST_F(TavrixObjTest, PaletteSegmentIsKeptOnlyAt1024BytesAndAnEmptyNameDropsIt) {
    load(4, 4);
    aglSegment small, good;
    const int32_t e1000[1] = {1000}, e1024[1] = {1024};
    ASSERT_TRUE(small.create(dir.file("p1000.agl").c_str(), 1, e1000, AGL_UCHAR, AGL_LANG_C, true));
    ASSERT_TRUE(good.create(dir.file("p1024.agl").c_str(), 1, e1024, AGL_UCHAR, AGL_LANG_C, true));
    // Unsuitable segments are refused with the reason, and nothing changes.
    const Result wrongSize = call("PutPaletteFileName", {Variant(small.name())});
    EXPECT_EQ(wrongSize.code, kInvalidArg);
    EXPECT_NE(wrongSize.message.find("holds 1000 bytes"), std::string::npos) << wrongSize.message;
    EXPECT_EQ(call("GetPaletteFileName").out.at(0).toString(), "");
    EXPECT_EQ(ctl().countSets(plotrane::DISPID_PaletteFileName), 0);
    EXPECT_EQ(call("PutPaletteFileName", {Variant(dir.file("missing.agl"))}).code, kInvalidArg);
    EXPECT_EQ(call("GetPaletteFileName").out.at(0).toString(), "");

    ASSERT_TRUE(call("PutPaletteFileName", {Variant(good.name())}).ok());
    EXPECT_EQ(call("GetPaletteFileName").out.at(0).toString(), good.name());
    EXPECT_EQ(ctl().str(plotrane::DISPID_PaletteFileName), good.name());
    EXPECT_EQ(call("PutPaletteFileName", {Variant(small.name())}).code, kInvalidArg);
    EXPECT_EQ(call("GetPaletteFileName").out.at(0).toString(), good.name());
    ctl().props[plotrane::DISPID_PaletteId] = Variant(int16_t(2));
    ASSERT_TRUE(call("PutPaletteFileName", {Variant("")}).ok());
    EXPECT_EQ(call("GetPaletteFileName").out.at(0).toString(), "");
    EXPECT_EQ(ctl().str(plotrane::DISPID_PaletteFileName), "");
    EXPECT_EQ(ctl().num(plotrane::DISPID_PaletteId), 4);
}

TEST_F(TavrixObjTest, DimScalesForDimensions0To6OnlyAndNamesAreBounded) {
    load(4, 4);
    aglSegment scale;
    const int32_t e[1] = {4};
    ASSERT_TRUE(scale.create(dir.file("s.agl").c_str(), 1, e, AGL_FLOAT, AGL_LANG_C, true));
    ASSERT_TRUE(call("SetDimScale", {Variant(int16_t(7)), Variant(scale.name())}).ok());
    EXPECT_EQ(ctl().count(plotrane::DISPID_SetAxisScale), 0);
    ASSERT_TRUE(call("SetDimScale", {Variant(int16_t(1)), Variant(scale.name())}).ok());
    EXPECT_EQ(call("GetDimScale", {Variant(int16_t(1))}).out.at(0).toString(), scale.name());
    EXPECT_EQ(ctl().count(plotrane::DISPID_SetAxisScale), 1);
    ASSERT_TRUE(call("SetDimScale", {Variant(int16_t(1)), Variant("")}).ok());
    EXPECT_EQ(call("GetDimScale", {Variant(int16_t(1))}).out.at(0).toString(), "");

    const std::string longName(kMaxNameBytes + 1, 'x');
    for (const char* name : {"PutFileName", "PutPaletteFileName", "PutArrayName"})
        EXPECT_EQ(call(name, {Variant(longName)}).code, kInvalidArg) << name;
    EXPECT_EQ(call("SetDimScale", {Variant(int16_t(0)), Variant(longName)}).code, kInvalidArg);
}

TEST_F(TavrixObjTest, ClampPairsLandWholeWhicheverWayTheyMove) {
    load(4, 4);
    using namespace plotrane;
    ctl().props[DISPID_ZMinClamp] = Variant(-1.0);
    ctl().props[DISPID_ZMaxClamp] = Variant(1.0);
    ASSERT_TRUE(call("SetZClamp", {Variant(-20.0), Variant(-10.0)}).ok());
    Result r = call("GetZClamp");
    EXPECT_EQ(r.out.at(0).toDouble(), -20.0);
    EXPECT_EQ(r.out.at(1).toDouble(), -10.0);
    ASSERT_TRUE(call("SetZClamp", {Variant(30.0), Variant(40.0)}).ok());
    r = call("GetZClamp");
    EXPECT_EQ(r.out.at(0).toDouble(), 30.0);
    EXPECT_EQ(r.out.at(1).toDouble(), 40.0);
    ASSERT_TRUE(call("SetPaletteRange", {Variant(5.0), Variant(6.0)}).ok());
    r = call("GetPaletteRange");
    EXPECT_EQ(r.out.at(0).toDouble(), 5.0);
    EXPECT_EQ(r.out.at(1).toDouble(), 6.0);

    ctl().clearLog();
    EXPECT_EQ(call("SetXClamp", {Variant(2.0), Variant(1.0)}).code, kInvalidArg);
    EXPECT_EQ(call("SetXClamp", {Variant(NAN), Variant(1.0)}).code, kInvalidArg);
    EXPECT_EQ(call("SetCameraPosition", {Variant(1.0), Variant(INFINITY), Variant(0.0)}).code,
              kInvalidArg);
    // Finite as a double, infinite as the control's float: refused too.
    EXPECT_EQ(call("SetCameraPosition", {Variant(1e300), Variant(0.0), Variant(0.0)}).code,
              kInvalidArg);
    EXPECT_EQ(call("SetCameraCoi", {Variant(0.0), Variant(-1e39), Variant(0.0)}).code, kInvalidArg);
    EXPECT_TRUE(ctl().sets.empty());
}

TEST_F(TavrixObjTest, PropertiesForwardByDispatchIdWithTheirTypesAndRefusalsComeBack) {
    load(4, 4);
    using namespace plotrane;
    ASSERT_TRUE(call("PutGraphStyle", {Variant(3)}).ok());
    EXPECT_EQ(ctl().num(DISPID_GraphStyle), 3);
    ASSERT_TRUE(call("PutGraphColor", {Variant(uint32_t(0x80123456))}).ok());
    EXPECT_EQ(uint32_t(ctl().num(DISPID_GraphColor)), 0x80123456u);
    EXPECT_EQ(call("GetGraphColor").out.at(0).toInt(), int32_t(0x80123456u));
    ASSERT_TRUE(call("PutZScale", {Variant(1.5)}).ok());
    EXPECT_EQ(ctl().props[DISPID_ZScale].type(), Variant::Type::Float);
    ASSERT_TRUE(call("PutTextureMode", {Variant(int16_t(2))}).ok());
    EXPECT_EQ(ctl().num(DISPID_TextureMode), 2);
    // DataClamp also asks for an update; others do not.
    ctl().clearLog();
    ASSERT_TRUE(call("PutShowGrid", {Variant(1)}).ok());
    EXPECT_EQ(ctl().count(DISPID_Update), 0);
    ASSERT_TRUE(call("PutDataClamp", {Variant(1)}).ok());
    EXPECT_EQ(ctl().count(DISPID_Update), 1);

    const Result refused = call("PutGraphStyle", {Variant(9)});
    EXPECT_EQ(refused.code, automation::kInvalidPropertyValue);
    EXPECT_EQ(refused.message, "PutGraphStyle: Invalid Graph Style");
    EXPECT_EQ(ctl().num(DISPID_GraphStyle), 3);

    ASSERT_TRUE(call("SetCompIndex", {Variant(3), Variant(2), Variant(1), Variant(0)}).ok());
    const Result comps = call("GetCompIndex");
    EXPECT_EQ(comps.out.at(0).toInt(), 3);
    EXPECT_EQ(comps.out.at(3).toInt(), 0);
    EXPECT_EQ(ctl().count(DISPID_Update), 2);
}

// A load that fails is answered with the reason (nothing waits for a user
// in a box), keeps the array and leaves its code for ErrorNo.
TEST_F(TavrixObjTest, FileNameFailureKeepsTheArrayAndLeavesItsCodeForErrorNo) {
    load(4, 6);
    const std::string before = call("GetFileName").out.at(0).toString();
    const Result failed = call("PutFileName", {Variant("no-such-segment-anywhere")});
    EXPECT_EQ(failed.code, automation::kLoadFailed);
    EXPECT_EQ(failed.error, automation::kErrorLoadFailed);
    EXPECT_EQ(failed.message.rfind("PutFileName: ", 0), 0u) << failed.message;
    EXPECT_TRUE(sink.shown.empty()) << sink.shown.front().text;
    EXPECT_NE(call("GetErrorNo").out.at(0).toInt(), 0);
    EXPECT_EQ(call("GetFileName").out.at(0).toString(), before);
    EXPECT_TRUE(doc->isClientOwned());
    EXPECT_EQ(call("Update").out.at(0).toInt(), 0);
}

// DataRefreshEnable was stored and read back while Update refreshed anyway.
TEST_F(TavrixObjTest, UpdateRefreshesOnlyWhileDataRefreshIsEnabled) {
    load(4, 5);
    ASSERT_TRUE(call("PutDataRefreshEnable", {Variant(0)}).ok());
    EXPECT_FALSE(doc->canRefreshData());
    EXPECT_EQ(call("Update").out.at(0).toInt(), 0);
    EXPECT_EQ(ctl().count(plotrane::DISPID_Update), 0);
    ASSERT_TRUE(call("PutDataRefreshEnable", {Variant(1)}).ok());
    EXPECT_TRUE(doc->canRefreshData());
    ASSERT_TRUE(call("Update").ok());
    EXPECT_EQ(ctl().count(plotrane::DISPID_Update), 1);
}

TEST_F(TavrixObjTest, ShowWindowShowsForNonZeroAndHidesForZero) {
    ASSERT_TRUE(call("ShowWindow", {Variant(1)}).ok());
    ASSERT_TRUE(call("ShowWindow", {Variant(0)}).ok());
    EXPECT_EQ(frameShown, (std::vector<bool>{true, false}));
}

// An HDF5 file opened by PutFileName: ShowObject shows a data set by its
// location or name and refuses what is not one; for a data set read plane
// by plane, SetRoi on a dimension that is not shown and SetRowColDim read
// that plane, and the ROI members speak of the whole data set.
TEST_F(TavrixObjTest, ShowObjectAndTheRegionMembersOverAnHdf5File) {
    ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    EXPECT_EQ(call("ShowObject", {Variant(std::string("/cube"))}).code, kInvalidArg); // no file
    ASSERT_EQ(call("PutFileName", {Variant(dir.file("sample.h5"))}).code, 0);
    Result r = call("ShowObject", {Variant(std::string("/grp"))});
    EXPECT_EQ(r.code, kInvalidArg);
    EXPECT_NE(r.message.find("not a data set"), std::string::npos) << r.message;
    r = call("ShowObject", {Variant(std::string("pairs"))});
    EXPECT_EQ(r.code, kInvalidArg);
    EXPECT_NE(r.message.find("compound data sets cannot be shown"), std::string::npos);
    ASSERT_EQ(call("ShowObject", {Variant(std::string("/cube"))}).code, 0);
    ASSERT_NE(doc->hdfCurrent(), nullptr);
    EXPECT_EQ(doc->hdfCurrent()->location, "/cube");

    // uint16 [2][3][4] = 0 .. 23.
    EXPECT_EQ(call("GetRoiUb", {Variant(int16_t(0))}).out.at(0).toInt(), 0);
    ASSERT_EQ(call("SetRoi", {Variant(int16_t(0)), Variant(1), Variant(1)}).code, 0);
    EXPECT_EQ(call("GetRoiLb", {Variant(int16_t(0))}).out.at(0).toInt(), 1);
    EXPECT_EQ(doc->currentArray()->value(0, 0), 12);
    ASSERT_EQ(call("SetRowColDim", {Variant(int16_t(0)), Variant(int16_t(2))}).code, 0);
    // Rows along dimension 0, columns along 2, at index 0 of dimension 1.
    EXPECT_EQ(doc->currentArray()->rowCount(), 2);
    EXPECT_EQ(doc->currentArray()->value(3, 1), 15);
    EXPECT_EQ(call("GetRoiUb", {Variant(int16_t(0))}).out.at(0).toInt(), 1);
}
