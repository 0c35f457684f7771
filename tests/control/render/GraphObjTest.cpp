// aglGraphObj without GL: pick codes, grid-line steps, the cursor cell, the
// bar area, and the grid size following its data source.
#include "aglGraphObj.h"

#include <gtest/gtest.h>

#include "HeightPlotTestData.h"
#include "aglRenderContext.h"

using hptest::GridSource;

TEST(GraphObj, PickShiftsFollowTheGridSize) {
    GridSource src(3, 100, [](int, int) { return 0.0f; });
    aglGraphObj g;
    g.SetDataSource(&src.filter);
    EXPECT_EQ(g.gridWidth(), 100);
    EXPECT_EQ(g.gridHeight(), 3);
    EXPECT_EQ(g.xPickShift(), 1); // 100 needs 7 bits
    EXPECT_EQ(g.yPickShift(), 6); // 3 needs 2 bits
    g.SetDataSource(nullptr);
    EXPECT_EQ(g.gridWidth(), 0);
    EXPECT_EQ(g.xPickShift(), 8);
}

TEST(GraphObj, PickCodesRoundTripForSmallAndLargeGrids) {
    for (int n : {2, 7, 100, 255, 256, 512}) {
        GridSource src(n, n, [](int, int) { return 0.0f; });
        aglGraphObj g;
        g.SetPickId(1);
        g.SetDataSource(&src.filter);
        for (int k : {0, 1, n / 2, n - 1}) {
            uint8_t rgba[4] = {0, 0, 0, 255};
            g.EncodePick(k, n - 1 - k, rgba);
            int id = -1;
            double y = -1, x = -1;
            g.DecodePick(rgba, &id, &y, &x);
            EXPECT_EQ(id, 1);
            // From 256 samples on (N needing 9 bits or more) neighbours share
            // a code: the index comes back rounded down to the first sample
            // of its group of 2^(bits(N) - 8).
            const int lost = n >= 512 ? 3 : n >= 256 ? 1 : 0;
            EXPECT_NEAR(y, k, lost) << n;
            EXPECT_NEAR(x, n - 1 - k, lost) << n;
            EXPECT_LE(y, k);
        }
    }
    // Black decodes to "nothing".
    aglGraphObj g;
    const uint8_t black[4] = {0, 0, 0, 0};
    int id = -1;
    g.DecodePick(black, &id, nullptr, nullptr);
    EXPECT_EQ(id, 0);
}

TEST(GraphObj, GridLineStepsFollowTheCountsAndALaterGridSize) {
    GridSource src(101, 101, [](int, int) { return 0.0f; });
    aglGraphObj g;
    g.SetDataSource(&src.filter);
    g.SetNumGridLines(4, 4);
    EXPECT_EQ(g.columnStep(), 25);
    EXPECT_EQ(g.rowStep(), 25);
    g.SetNumGridLines(0, -5); // below 1 counts as 1
    EXPECT_EQ(g.columnStep(), 100);
    // A coarser grid after a refilter keeps about the same number of lines.
    g.SetNumGridLines(4, 4);
    ASSERT_TRUE(src.fill(21, 21, [](int, int) { return 0.0f; }));
    g.Refresh();
    EXPECT_EQ(g.columnStep(), 5);
}

TEST(GraphObj, CursorCellOutsideTheGridIsIgnored) {
    GridSource src(10, 20, [](int, int) { return 0.0f; });
    aglGraphObj g;
    g.SetDataSource(&src.filter);
    g.SetCursorCell(39, 79, 4, 4); // grid position (9, 19): inside
    EXPECT_EQ(g.cursorGridRow(), 9);
    EXPECT_EQ(g.cursorGridColumn(), 19);
    g.SetCursorCell(40, 0, 4, 4); // 40 / 4 = 10 rows: outside, ignored
    g.SetCursorCell(0, 80, 4, 4); // 80 / 4 = 20 columns: outside
    g.SetCursorCell(-1, 0, 1, 1);
    g.SetCursorCell(0, 0, 0, 1); // stride 0 would divide by zero
    EXPECT_EQ(g.cursorGridRow(), 9);
    EXPECT_EQ(g.cursorGridColumn(), 19);
    g.SetCursorCell(2, 3, 1, 1); // a later cell inside replaces it
    EXPECT_EQ(g.cursorGridRow(), 2);
    EXPECT_EQ(g.cursorGridColumn(), 3);
}

TEST(GraphObj, BarAreaOutsideZeroToOneIsIgnored) {
    aglGraphObj g;
    g.SetBarChartArea(1.0f);
    EXPECT_FLOAT_EQ(g.BarChartArea(), 1.0f);
    g.SetBarChartArea(0.0f);
    g.SetBarChartArea(1.5f);
    g.SetBarChartArea(std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ(g.BarChartArea(), 1.0f);
}

// The grid is read with the size it has when the frame starts, not the size
// seen at the last SetDataSource or Refresh: a level refiltered to a smaller
// grid in between must not be read with its old, larger size.
TEST(GraphObj, FrameReadsTheGridSizeUnderTheDataLock) {
    GridSource src(50, 50, [](int, int) { return 0.1f; });
    aglGraphObj g;
    g.SetDataSource(&src.filter);
    ASSERT_EQ(g.gridWidth(), 50);
    ASSERT_TRUE(src.fill(5, 8, [](int, int) { return 0.1f; })); // no Refresh
    aglRenderContext context;                                   // never started
    ASSERT_TRUE(g.LockFrameData(context));
    EXPECT_EQ(g.gridWidth(), 8);
    EXPECT_EQ(g.gridHeight(), 5);
    EXPECT_EQ(g.xPickShift(), 4);
    // The lock is held until the frame lets go of it.
    std::atomic<bool> otherGotIt{false};
    std::thread other([&] {
        otherGotIt = src.filter.tryLockData();
        if (otherGotIt) src.filter.unlockData();
    });
    other.join();
    EXPECT_FALSE(otherGotIt.load());
    g.UnlockFrameData();
    std::thread again([&] {
        otherGotIt = src.filter.tryLockData();
        if (otherGotIt) src.filter.unlockData();
    });
    again.join();
    EXPECT_TRUE(otherGotIt.load());
}

TEST(GraphObj, FrameWithoutDataOrWithAnUnfinishedPassDrawsNothing) {
    aglRenderContext context;
    aglGraphObj none;
    EXPECT_FALSE(none.LockFrameData(context));
    GridSource src(4, 4, [](int, int) { return 0.0f; });
    src.filter.clearDone();
    aglGraphObj g;
    g.SetDataSource(&src.filter);
    // The wait gives up once the render thread is told to pause.
    context.Pause();
    EXPECT_FALSE(g.LockFrameData(context));
}
