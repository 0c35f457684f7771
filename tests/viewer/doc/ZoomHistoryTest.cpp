// ZoomHistory: which region each Zoom In shows and which levels survive.
#include "ZoomHistory.h"

#include <gtest/gtest.h>
#include <ostream>

using Region = ZoomHistory::Region;

namespace {

struct DeeperCase {
    const char* name;
    Region shown;
    int64_t cursorRow, cursorColumn;
    bool stored;
    Region expected;
};
// ctest shows the case by its name.
void PrintTo(const DeeperCase& c, std::ostream* out) {
    *out << c.name;
}

class ZoomDeeper : public ::testing::TestWithParam<DeeperCase> {};

} // namespace

TEST_P(ZoomDeeper, HalvesTheAreaAroundTheCursor) {
    const DeeperCase& c = GetParam();
    ZoomHistory z;
    EXPECT_EQ(z.storeDeeper(c.shown, c.cursorRow, c.cursorColumn), c.stored);
    EXPECT_EQ(z.deepest(), c.stored ? 1 : 0);
    EXPECT_EQ(z.level(), 0); // storing does not move
    if (!c.stored) return;
    const Region r = z.region(1);
    EXPECT_EQ(r.rowStart, c.expected.rowStart);
    EXPECT_EQ(r.colStart, c.expected.colStart);
    EXPECT_EQ(r.rowCount, c.expected.rowCount);
    EXPECT_EQ(r.colCount, c.expected.colCount);
}

// Regions are {rowStart, colStart, rowCount, colCount}.
INSTANTIATE_TEST_SUITE_P(
    Cases, ZoomDeeper,
    ::testing::Values(
        // 100 x 100: each side becomes floor(100 / sqrt 2) = 70, centred.
        DeeperCase{"BothSidesLong", {0, 0, 100, 100}, 50, 50, true, {15, 15, 70, 70}},
        // Only the long side is halved; the short one keeps its start.
        DeeperCase{"OnlyColumnsLong", {3, 0, 5, 40}, 4, 30, true, {3, 20, 5, 20}},
        DeeperCase{"OnlyRowsLong", {0, 2, 64, 8}, 10, 3, true, {0, 2, 32, 8}},
        // Never below 10 on a side: 12 / sqrt 2 = 8 becomes 10.
        DeeperCase{"NeverBelowTen", {0, 0, 12, 12}, 0, 0, true, {0, 0, 10, 10}},
        // A cursor outside the region is taken at its nearest edge.
        DeeperCase{"CursorOutsideIsClamped", {20, 20, 40, 40}, -5, 1000, true, {20, 45, 28, 28}},
        DeeperCase{"SmallRegionStaysWhole", {0, 0, 10, 10}, 5, 5, false, {}},
        DeeperCase{"EmptyRegion", {0, 0, 0, 0}, 0, 0, false, {}}),
    [](const ::testing::TestParamInfo<DeeperCase>& row) { return std::string(row.param.name); });

TEST(ZoomHistory, AStoredDeeperLevelIsKeptUntilTheCursorMoves) {
    ZoomHistory z;
    ASSERT_TRUE(z.storeDeeper({0, 0, 100, 100}, 50, 50));
    // Asking again (the menu's state query) must not re-centre the level.
    ASSERT_TRUE(z.storeDeeper({0, 0, 100, 100}, 0, 0));
    EXPECT_EQ(z.region(1).rowStart, 15);

    z.forgetDeeper();
    EXPECT_FALSE(z.hasDeeper());
    ASSERT_TRUE(z.storeDeeper({0, 0, 100, 100}, 0, 0));
    EXPECT_EQ(z.region(1).rowStart, 0);
}

TEST(ZoomHistory, GoesOnlyToStoredLevelsAndBack) {
    ZoomHistory z;
    EXPECT_FALSE(z.goTo(1));
    EXPECT_FALSE(z.goTo(-1));
    ASSERT_TRUE(z.storeDeeper({0, 0, 1000, 1000}, 500, 500));
    ASSERT_TRUE(z.goTo(1));
    ASSERT_TRUE(z.storeDeeper(z.region(1), 500, 500));
    ASSERT_TRUE(z.goTo(2));
    EXPECT_EQ(z.region(2).rowCount, 499); // floor(707 / sqrt 2)
    // Going back keeps the deeper levels for Zoom In.
    ASSERT_TRUE(z.goTo(0));
    EXPECT_EQ(z.deepest(), 2);
    z.forgetDeeper();
    EXPECT_EQ(z.deepest(), 0);
    z.clear();
    EXPECT_EQ(z.region(1).rowCount, 0);
}

TEST(ZoomHistory, StopsAtTheDeepestLevel) {
    ZoomHistory z;
    Region shown{0, 0, 1 << 30, 1 << 30};
    int steps = 0;
    while (z.storeDeeper(shown, 0, 0) && z.goTo(z.level() + 1)) {
        shown = z.region(z.level());
        ++steps;
    }
    EXPECT_EQ(steps, ZoomHistory::kMaxLevels);
    EXPECT_EQ(z.level(), ZoomHistory::kMaxLevels);
    EXPECT_FALSE(z.hasDeeper());
    EXPECT_EQ(z.region(ZoomHistory::kMaxLevels + 5).rowCount, shown.rowCount); // clamped
}

// A region chosen by hand replaces the deepest level that holds it, else
// level 1, and the levels below it are gone.
TEST(ZoomAdopt, ReplacesTheDeepestLevelHoldingTheRegion) {
    ZoomHistory z;
    ASSERT_TRUE(z.storeDeeper({0, 0, 100, 100}, 50, 50)); // level 1: 70 x 70 at 15
    ASSERT_TRUE(z.goTo(1));
    ASSERT_TRUE(z.storeDeeper(z.region(1), 50, 50)); // level 2: 49 x 49 at 26
    ASSERT_TRUE(z.goTo(2));
    ASSERT_TRUE(z.storeDeeper(z.region(2), 50, 50));
    ASSERT_EQ(z.deepest(), 3);

    // Inside level 2 but not level 3.
    const Region inside2{26, 26, 40, 40};
    EXPECT_EQ(z.adopt(inside2), 2);
    EXPECT_EQ(z.level(), 2);
    EXPECT_EQ(z.deepest(), 2);
    EXPECT_EQ(z.region(2).rowCount, 40);

    // Sticking out of every stored level: level 1.
    EXPECT_EQ(z.adopt({0, 90, 5, 10}), 1);
    EXPECT_EQ(z.level(), 1);
    EXPECT_EQ(z.deepest(), 1);
    EXPECT_EQ(z.region(1).colStart, 90);
    // With nothing stored, level 1 as well.
    ZoomHistory empty;
    EXPECT_EQ(empty.adopt({1, 1, 2, 2}), 1);
}

TEST(ZoomAdopt, NeverTakesTheLastLevel) {
    ZoomHistory z;
    Region r{0, 0, 1 << 20, 1 << 20};
    ASSERT_TRUE(z.storeDeeper(r, 0, 0));
    for (int k = 1; k < ZoomHistory::kMaxLevels; ++k) {
        ASSERT_TRUE(z.goTo(k));
        ASSERT_TRUE(z.storeDeeper(z.region(k), 0, 0)) << k;
    }
    ASSERT_EQ(z.deepest(), ZoomHistory::kMaxLevels);
    const Region deepest = z.region(ZoomHistory::kMaxLevels);
    EXPECT_EQ(z.adopt({deepest.rowStart, deepest.colStart, 1, 1}), ZoomHistory::kMaxLevels - 1);
    EXPECT_EQ(z.deepest(), ZoomHistory::kMaxLevels - 1);
}
