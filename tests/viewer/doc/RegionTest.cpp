// The document's region of interest as Settings > ROI and the dimension bar
// apply it (CArrayDoc::applyRegion), and what the document knows of a
// dimension's scale. No window: the control and the views are the recording
// fakes of DocFakes.h.
#include "DocFakes.h"

#include "plotrane/PropertyTable.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace plotrane;

namespace {

// A C float file of the given extents, element i = i.
void makeFile(const std::string& path, std::vector<int32_t> extents) {
    aglSegment seg;
    ASSERT_TRUE(
        seg.create(path.c_str(), int(extents.size()), extents.data(), AGL_FLOAT, AGL_LANG_C, true));
    for (int64_t i = 0; i < seg.elementCount(); ++i) {
        const float v = float(i);
        std::memcpy(static_cast<uint8_t*>(seg.elements()) + i * 4, &v, 4);
    }
}

// The arguments of the recorded calls of one method: (dimension, index).
std::vector<std::pair<int, int>> roiCalls(const RecordingControl& c, int dispid) {
    std::vector<std::pair<int, int>> out;
    for (const RecordingControl::Call& call : c.calls)
        if (call.dispid == dispid) out.emplace_back(call.args[0].toInt(), call.args[1].toInt());
    return out;
}

class RegionTest : public DocTest {
protected:
    void open3d() {
        const std::string path = dir.file("cube.agl");
        makeFile(path, {4, 5, 6});
        ASSERT_TRUE(doc->open(path));
        // A C array shows dimension 0 down the rows, 1 across.
        ASSERT_EQ(doc->currentArray()->rowDim(), 0);
        ASSERT_EQ(doc->currentArray()->colDim(), 1);
        QObject::connect(doc.get(), &CArrayDoc::regionChanged, [this] { ++regionSignals; });
        ctl().clearLog();
        grid.reloads = grid.redraws = grid.clears = 0;
        doc->setModified(false);
    }
    int regionSignals = 0;
};

} // namespace

TEST_F(RegionTest, AnotherPlaneOfTheSameShapeIsOneDimensionMovedAndTheGridOnlyRedrawn) {
    open3d();
    CArrayDoc::RegionChoice r = doc->regionChoice();
    EXPECT_EQ(r.start[2], 0);
    EXPECT_EQ(r.length[2], 6);
    doc->setCursor(2, 3);
    r.start[2] = 4;
    r.length[2] = 2;
    ASSERT_TRUE(doc->applyRegion(r));
    int32_t lo = 0, hi = 0;
    doc->currentArray()->getRoi(2, lo, hi);
    EXPECT_EQ(lo, 4);
    EXPECT_EQ(hi, 5);
    EXPECT_EQ(roiCalls(ctl(), DISPID_SetRoiLb), (std::vector<std::pair<int, int>>{{2, 4}}));
    EXPECT_EQ(roiCalls(ctl(), DISPID_SetRoiUb), (std::vector<std::pair<int, int>>{{2, 5}}));
    EXPECT_EQ(ctl().count(DISPID_Update), 1);
    EXPECT_EQ(ctl().countSets(DISPID_RowDim), 0);
    // The spreadsheet keeps its layout and scroll position: values only.
    EXPECT_EQ(grid.reloads, 0);
    EXPECT_EQ(grid.redraws, 1);
    EXPECT_EQ(doc->cursorRow(), 2);
    EXPECT_EQ(doc->cursorColumn(), 3);
    // The plane at index 4: element (2, 3) is 2 * 30 + 3 * 6 + 4.
    EXPECT_EQ(doc->currentArray()->value(3, 2), 82.0);
    EXPECT_EQ(regionSignals, 1);
    // Saved into the agl file's trailer with the other settings.
    EXPECT_TRUE(doc->isModified());

    // The same region again changes nothing and tells nobody.
    ctl().clearLog();
    EXPECT_FALSE(doc->applyRegion(r));
    EXPECT_TRUE(ctl().calls.empty());
    EXPECT_EQ(regionSignals, 1);
}

TEST_F(RegionTest, NewPlaneDimensionsReloadTheGridAndPutTheCursorAtTheOrigin) {
    open3d();
    doc->setCursor(2, 3);
    CArrayDoc::RegionChoice r = doc->regionChoice();
    r.rowDim = 1;
    r.colDim = 2;
    ASSERT_TRUE(doc->applyRegion(r));
    EXPECT_EQ(doc->currentArray()->rowDim(), 1);
    EXPECT_EQ(doc->currentArray()->colDim(), 2);
    EXPECT_EQ(ctl().num(DISPID_RowDim), 1);
    EXPECT_EQ(ctl().num(DISPID_ColDim), 2);
    EXPECT_EQ(grid.reloads, 1);
    EXPECT_EQ(doc->cursorRow(), 0);
    EXPECT_EQ(doc->cursorColumn(), 0);
    EXPECT_EQ(regionSignals, 1);
}

TEST_F(RegionTest, ANewLowerBoundClearsTheGridAndReachesControlAndArray) {
    open3d();
    CArrayDoc::RegionChoice r = doc->regionChoice();
    r.lower[2] = -3;
    ASSERT_TRUE(doc->applyRegion(r));
    EXPECT_EQ(doc->currentArray()->lowerBound(2), -3);
    EXPECT_EQ(ctl().count(DISPID_SetLBound), 1);
    EXPECT_EQ(grid.clears, 1);
    EXPECT_EQ(grid.reloads, 1);
}

TEST_F(RegionTest, WithoutAnArrayNothingIsApplied) {
    CArrayDoc::RegionChoice r;
    r.start[0] = 1;
    EXPECT_FALSE(doc->applyRegion(r));
    EXPECT_TRUE(ctl().calls.empty());
}

TEST_F(RegionTest, TheScaleOfADimensionIsTheOneTheDocumentHolds) {
    open3d();
    EXPECT_EQ(doc->dimensionScale(2).values, nullptr);
    const std::string path = dir.file("scale.agl");
    aglSegment* made = new aglSegment;
    const int32_t n = 6;
    ASSERT_TRUE(made->create(path.c_str(), 1, &n, AGL_DOUBLE, AGL_LANG_C, true));
    doc->setAxisScaleSegment(2, std::unique_ptr<aglSegment>(made));
    EXPECT_EQ(doc->dimensionScale(2).values, made);
    EXPECT_TRUE(doc->dimensionScale(2).name.empty());
    EXPECT_EQ(doc->dimensionScale(1).values, nullptr);
    EXPECT_EQ(doc->dimensionScale(7).values, nullptr);
    EXPECT_EQ(doc->dimensionScale(-1).values, nullptr);
}
