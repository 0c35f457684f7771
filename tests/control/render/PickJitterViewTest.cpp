// Pure parts of the engine: pick colour code, jitter tables, data-tip
// placement, and the mouse geometry of aglView (no render thread started).
#include <gtest/gtest.h>

#include "aglJitter.h"
#include "aglPickCode.h"
#include "aglView.h"

namespace {

TEST(PickCode, ShiftsFollowTheSampleCount) {
    EXPECT_EQ(aglPickBits(0), 0);
    EXPECT_EQ(aglPickBits(1), 1);
    EXPECT_EQ(aglPickBits(255), 8);
    EXPECT_EQ(aglPickBits(256), 9);
    EXPECT_EQ(aglPickShift(10), 4);
    EXPECT_EQ(aglPickShift(256), -1);
    EXPECT_EQ(aglPickShift(1000), -2);
}

TEST(PickCode, EveryCellOfSmallGridsRoundTrips) {
    for (int n : {1, 2, 3, 7, 8, 100, 255}) {
        const int s = aglPickShift(n);
        for (int id = 1; id <= 3; ++id)
            for (int i = 0; i < n; ++i) {
                uint8_t rgb[3];
                aglEncodePick(id, i, n - 1 - i, s, s, rgb);
                const uint8_t rgba[4] = {rgb[0], rgb[1], rgb[2], 255};
                const aglPickDecoded d = aglDecodePick(rgba, s, s);
                ASSERT_EQ(d.id, id);
                ASSERT_EQ(d.x, double(i)) << "n " << n;
                ASSERT_EQ(d.y, double(n - 1 - i));
            }
    }
}

TEST(PickCode, LargeGridsShareColoursBetweenNeighbours) {
    const int n = 1000, s = aglPickShift(n); // 10 bits: shift -2
    uint8_t a[3], b[3];
    aglEncodePick(1, 400, 0, s, s, a);
    aglEncodePick(1, 401, 0, s, s, b);
    EXPECT_EQ(a[0], b[0]);
    const uint8_t rgba[4] = {a[0], a[1], a[2], 255};
    EXPECT_EQ(aglDecodePick(rgba, s, s).x, 400.0);
}

TEST(PickCode, InterpolatedColoursDecodeToFractions) {
    const int s = aglPickShift(4); // 5
    const uint8_t rgba[4] = {uint8_t((1 << 5) + 16), uint8_t(2 << 5), 64, 255};
    const aglPickDecoded d = aglDecodePick(rgba, s, s);
    EXPECT_DOUBLE_EQ(d.x, 1.5);
    EXPECT_DOUBLE_EQ(d.y, 2.0);
    EXPECT_EQ(d.id, 1);
    const uint8_t slightlyLow[4] = {0, 0, 190, 255}; // blue pulled down from 192
    EXPECT_EQ(aglDecodePick(slightlyLow, s, s).id, 3);
    const uint8_t black[4] = {0, 0, 0, 0};
    EXPECT_EQ(aglDecodePick(black, s, s).id, 0);
}

TEST(Jitter, TablesStartWithThePublishedEntries) {
    auto j = aglJitterFor(0, 2);
    EXPECT_FLOAT_EQ(j.x, 0.246490f);
    EXPECT_FLOAT_EQ(j.y, 0.249999f);
    j = aglJitterFor(1, 2);
    EXPECT_FLOAT_EQ(j.x, -0.246490f);
    EXPECT_FLOAT_EQ(j.y, -0.249999f);
    for (int n : {5, 8}) {
        j = aglJitterFor(0, n);
        EXPECT_FLOAT_EQ(j.x, -0.334818f);
        EXPECT_FLOAT_EQ(j.y, 0.435331f);
    }
    for (int n : {9, 15}) {
        j = aglJitterFor(0, n);
        EXPECT_FLOAT_EQ(j.x, 0.285561f);
        EXPECT_FLOAT_EQ(j.y, 0.188437f);
    }
    for (int n : {16, 24, 32}) {
        j = aglJitterFor(0, n);
        EXPECT_FLOAT_EQ(j.x, 0.030245f);
        EXPECT_FLOAT_EQ(j.y, 0.136384f);
    }
    j = aglJitterFor(0, 1);
    EXPECT_EQ(j.x, 0.0f);
    EXPECT_EQ(j.y, 0.0f);
}

TEST(Jitter, PassesBeyond24ReuseThe24SampleTableByIndexMod24) {
    for (int k = 24; k < 32; ++k) {
        const auto a = aglJitterFor(k, 32), b = aglJitterFor(k - 24, 32);
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
    }
    // Within one table every offset is distinct and inside half a pixel.
    for (int n : {2, 3, 4, 8, 15, 24})
        for (int k = 0; k < n; ++k) {
            const auto a = aglJitterFor(k, n);
            EXPECT_LT(std::fabs(a.x), 0.5f);
            EXPECT_LT(std::fabs(a.y), 0.5f);
            for (int m = 0; m < k; ++m) {
                const auto b = aglJitterFor(m, n);
                EXPECT_FALSE(a.x == b.x && a.y == b.y) << n << ": " << k << " " << m;
            }
        }
}

TEST(DataTip, BoxMovesToTheOtherSideOfThePointAtTheEdgesWhenThereIsRoom) {
    int x, y;
    aglDataTipOrigin(100, 100, 40, 20, 400, 300, &x, &y);
    EXPECT_EQ(x, 110);
    EXPECT_EQ(y, 110);
    aglDataTipOrigin(390, 290, 40, 20, 400, 300, &x, &y); // top-right corner
    EXPECT_EQ(x, 400 - 20 - 40);
    EXPECT_EQ(y, 300 - 20 - 20);
    aglDataTipOrigin(30, 15, 40, 20, 45, 30, &x, &y); // no room to move
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 25);
}

// --- mouse geometry -----------------------------------------------------------------

class ViewMouse : public ::testing::Test {
protected:
    void SetUp() override {
        view.Camera().SetAzimuth(10.0f);
        view.Camera().SetElevation(20.0f);
        view.Camera().SetDistance(3.0f);
    }
    aglView view; // never attached: commands reach a thread that has not started
};

TEST_F(ViewMouse, LeftDragRotatesByHalfATurnPerWindow) {
    view.ButtonDown(aglView::kLeftButton, 100, 100);
    EXPECT_EQ(view.MouseMove(110, 90, aglView::kLeftButton, false, 200, 100, 0.0), 0);
    EXPECT_FLOAT_EQ(view.Camera().Azimuth(), 10.0f - 180.0f * 10 / 200);
    EXPECT_FLOAT_EQ(view.Camera().Elevation(), 20.0f - 180.0f * 10 / 100);
    // Past the zenith the elevation holds at 90.
    view.MouseMove(110, 400, aglView::kLeftButton, false, 200, 100, 0.0);
    EXPECT_FLOAT_EQ(view.Camera().Elevation(), 90.0f);
    view.ButtonUp(aglView::kLeftButton);
}

TEST_F(ViewMouse, ShiftDragsZoomAndPan) {
    view.ButtonDown(aglView::kLeftButton, 50, 50);
    view.MouseMove(50, 25, aglView::kLeftButton, true, 200, 100, 0.0); // up a quarter
    EXPECT_FLOAT_EQ(view.Camera().Distance(), 3.25f);
    view.MouseMove(50, 500, aglView::kLeftButton, true, 200, 100, 0.0); // far down
    EXPECT_LE(view.Camera().Distance(), 0.0f);                          // no lower bound
    view.ButtonUp(aglView::kLeftButton);

    view.Camera().SetDistance(2.0f);
    float x0, y0, z0, x1, y1, z1;
    view.Camera().GetCenter(&x0, &y0, &z0);
    view.ButtonDown(aglView::kRightButton, 50, 50);
    view.MouseMove(50, 50, aglView::kRightButton, false, 200, 100, 0.0); // right alone: nothing
    view.MouseMove(30, 50, aglView::kRightButton, true, 200, 100, 0.0);
    view.Camera().GetCenter(&x1, &y1, &z1);
    const float moved = std::hypot(x1 - x0, y1 - y0, z1 - z0);
    EXPECT_NEAR(moved, 20.0f / 200.0f * 2.0f, 1e-5);
}

TEST_F(ViewMouse, DragsOnAnEmptyAreaChangeNothing) {
    view.ButtonDown(aglView::kLeftButton, 0, 0);
    view.MouseMove(10, 10, aglView::kLeftButton, false, 0, 0, 0.0);
    view.MouseMove(10, 10, aglView::kLeftButton, true, 100, 0, 0.0);
    EXPECT_FLOAT_EQ(view.Camera().Azimuth(), 10.0f);
    EXPECT_FLOAT_EQ(view.Camera().Distance(), 3.0f);
}

TEST_F(ViewMouse, AButtonReleasedOutsideEndsTheDragAtTheNextMove) {
    view.SetMouseMode(2);
    view.ButtonDown(aglView::kLeftButton, 10, 10);
    view.MouseMove(20, 10, 0, false, 100, 100, 0.0); // no button bits: up, then hover
    float x, y, z;
    view.Camera().GetCenter(&x, &y, &z);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    view.SetMouseMode(0);
    view.ButtonDown(aglView::kLeftButton, 10, 10);
    view.MouseMove(50, 50, aglView::kLeftButton, false, 100, 100, 0.0);
    EXPECT_FLOAT_EQ(view.Camera().Azimuth(), 10.0f);
}

TEST_F(ViewMouse, RestingMouseAsksForATipOnceAndLeavingReleasesTheCapture) {
    double t = 100.0;
    EXPECT_EQ(view.MouseMove(50, 50, 0, false, 200, 100, t), 0);
    EXPECT_TRUE(view.MouseCaptured());
    EXPECT_EQ(view.MouseMove(80, 50, 0, false, 200, 100, t), 0); // moved: tip flag cleared
    EXPECT_FALSE(view.TipShown());
    // Resting: the old far sample still counts as movement until it is out of
    // the ring or more than 5 seconds old.
    t = 106.0;
    EXPECT_EQ(view.MouseMove(81, 50, 0, false, 200, 100, t), 0);
    EXPECT_EQ(view.MouseMove(80, 51, 0, false, 200, 100, t), 0); // one sample at rest
    EXPECT_EQ(view.MouseMove(80, 50, 0, false, 200, 100, t), 1); // two: show a tip
    view.SetTipShown(true);
    EXPECT_EQ(view.MouseMove(80, 50, 0, false, 200, 100, t), 0);
    // Near the border no tip is asked for.
    view.SetTipShown(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(view.MouseMove(3, 50, 0, false, 200, 100, t + 10), 0);
    EXPECT_EQ(view.MouseMove(-1, 50, 0, false, 200, 100, t + 10), -1);
    EXPECT_FALSE(view.MouseCaptured());
}

} // namespace

#include "aglLogicalPalette.h"

namespace {

// The 3-3-2 format: red in bits 0..2, green 3..5, blue 6..7.
TEST(LogicalPalette, ThreeThreeTwoEntriesSpreadEachChannelOverFullRange) {
    const auto p = aglLogicalPalette(8, 3, 0, 3, 3, 2, 6);
    ASSERT_EQ(p.size(), 256u);
    EXPECT_EQ(p[0].red, 0);
    EXPECT_EQ(p[7].red, 255);
    EXPECT_EQ(p[3].red, 109); // 3 x 255 / 7 = 109.28, truncated
    EXPECT_EQ(p[0x38].green, 255);
    EXPECT_EQ(p[0x40].blue, 85);
    EXPECT_EQ(p[0xFF].blue, 255);
    EXPECT_EQ(p[0xFF].flags, 0);
    EXPECT_TRUE(aglLogicalPalette(24, 8, 0, 8, 8, 8, 16).empty());
    EXPECT_TRUE(aglLogicalPalette(0, 1, 0, 1, 1, 1, 2).empty());
}

} // namespace
