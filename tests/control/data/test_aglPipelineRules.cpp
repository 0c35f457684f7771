// The render pipeline's arithmetic: budgets that follow the frame time, grid
// lines from GridDensity, the level the one-second step moves to.
#include "aglLevelOfDetail.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>

namespace {

using Budgets = std::array<int64_t, agl::kLevelCount>;

// Feeds `count` frames of `seconds` to `level`; returns whether the last one
// changed a budget.
bool feed(Budgets& b, agl::FrameTimeRing rings[], int level, double seconds, int count,
          double target, int resolution) {
    bool changed = false;
    for (int k = 0; k < count; ++k)
        changed = agl::adaptBudgets(b.data(), rings, level, seconds, target, resolution);
    return changed;
}

struct BudgetCase {
    const char* name;
    int level;
    double frameSeconds; // every one of the ten frames
    int resolution;
    Budgets before, after;
};
// ctest shows the case by its name.
void PrintTo(const BudgetCase& c, std::ostream* out) {
    *out << c.name;
}

class BudgetRule : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(BudgetRule, TenFramesDecide) {
    const BudgetCase& c = GetParam();
    Budgets b = c.before;
    agl::FrameTimeRing rings[agl::kLevelCount];
    const double target = agl::kTargetFrameTime[c.level];
    // Nine frames decide nothing, whatever they measure.
    EXPECT_FALSE(feed(b, rings, c.level, c.frameSeconds, 9, target, c.resolution));
    EXPECT_EQ(b, c.before);
    const bool changed = feed(b, rings, c.level, c.frameSeconds, 1, target, c.resolution);
    EXPECT_EQ(b, c.after);
    EXPECT_EQ(changed, b != c.before);
    EXPECT_EQ(rings[c.level].count, 0);
    EXPECT_DOUBLE_EQ(rings[c.level].average, c.frameSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Pipeline, BudgetRule,
    ::testing::Values(
        // Fast frames at a coarse resolution double the budget...
        BudgetCase{"FastDoubles", 0, 0.01, 4, {1024, 4096, 65536}, {2048, 4096, 65536}},
        // ...but not when every element is already drawn.
        BudgetCase{"FastAtResolution1Stays", 0, 0.01, 1, {1024, 4096, 65536}, {1024, 4096, 65536}},
        BudgetCase{"SlowHalves", 0, 0.5, 4, {1024, 4096, 65536}, {512, 4096, 65536}},
        BudgetCase{"WithinBandStays", 0, 0.1, 4, {1024, 4096, 65536}, {1024, 4096, 65536}},
        BudgetCase{"HalvingStopsAt256", 0, 0.5, 4, {256, 4096, 65536}, {256, 4096, 65536}},
        BudgetCase{"DoublingStopsAtTheTop", 2, 0.01, 2, {1024, 4096, 262144}, {1024, 4096, 262144}},
        // Growing level 0 pushes level 1 above it, and level 2 above level 1.
        BudgetCase{"GrowthPushesFinerLevels", 0, 0.01, 8, {2048, 2048, 4096}, {4096, 8192, 16384}},
        BudgetCase{"GrowthLeavesRoomyLevels", 0, 0.01, 8, {1024, 4096, 65536}, {2048, 4096, 65536}},
        BudgetCase{
            "Level1GrowthPushesLevel2", 1, 0.1, 2, {1024, 8192, 16384}, {1024, 16384, 32768}},
        // Shrinking level 2 pulls level 1 below it, and level 0 below level 1.
        BudgetCase{"ShrinkPullsCoarserLevels", 2, 25.0, 2, {4096, 8192, 8192}, {1024, 2048, 4096}},
        BudgetCase{"Level1ShrinkPullsLevel0", 1, 3.0, 2, {4096, 8192, 65536}, {2048, 4096, 65536}},
        BudgetCase{"ShrinkLeavesSmallLevels", 1, 3.0, 2, {1024, 8192, 65536}, {1024, 4096, 65536}}),
    [](const ::testing::TestParamInfo<BudgetCase>& p) { return p.param.name; });

TEST(BudgetRule, EachLevelKeepsItsOwnRingAndAverage) {
    Budgets b = {1024, 4096, 65536};
    agl::FrameTimeRing rings[agl::kLevelCount];
    // Five slow frames at level 0 and five at level 1 make ten frames, but no
    // level has ten of its own yet.
    EXPECT_FALSE(feed(b, rings, 0, 1.0, 5, 0.1, 4));
    EXPECT_FALSE(feed(b, rings, 1, 9.0, 5, 1.0, 4));
    EXPECT_EQ(b, (Budgets{1024, 4096, 65536}));
    // Mixed frames average: 5 x 0.01 + 5 x 0.5 = 0.255 > 2 x 0.1.
    EXPECT_TRUE(feed(b, rings, 0, 0.01, 5, 0.1, 4));
    EXPECT_EQ(b[0], 512);
    EXPECT_NEAR(rings[0].average, 0.5 * (1.0 + 0.01), 1e-12);
    EXPECT_FALSE(agl::adaptBudgets(b.data(), rings, 3, 1.0, 0.1, 4)); // no such level
    EXPECT_FALSE(agl::adaptBudgets(b.data(), rings, -1, 1.0, 0.1, 4));
}

TEST(BudgetRule, InteractiveTargetKeepsFramesAbove30PerSecond) {
    // At the interactive target a 40 ms frame is too slow and halves the
    // budget; a 20 ms one is kept.
    Budgets b = {4096, 8192, 65536};
    agl::FrameTimeRing rings[agl::kLevelCount];
    feed(b, rings, 0, 0.040, 10, agl::kInteractiveFrameTime, 8);
    EXPECT_EQ(b[0], 2048);
    feed(b, rings, 0, 0.020, 10, agl::kInteractiveFrameTime, 8);
    EXPECT_EQ(b[0], 2048);
}

struct GridCase {
    int64_t columns, rows;
    int width, height;
    double density;
    int maxColumns, maxRows;
    int x, y;
};
// ctest shows the case by what it holds.
void PrintTo(const GridCase& c, std::ostream* out) {
    *out << c.columns << "x" << c.rows << " at " << c.width << "x" << c.height;
}

class GridLines : public ::testing::TestWithParam<GridCase> {};

TEST_P(GridLines, Counts) {
    const GridCase& c = GetParam();
    int x = -1, y = -1;
    agl::gridLineCounts(c.columns, c.rows, c.width, c.height, c.density, c.maxColumns, c.maxRows,
                        &x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Pipeline, GridLines,
    ::testing::Values(
        // 1000 rows in 400 pixels at 40: step trunc(1000 x 40 / 400) = 100, 10 lines.
        GridCase{1000, 1000, 400, 400, 40.0, 512, 512, 10, 10},
        // The smaller side decides: 300 pixels, step trunc(1000 x 40 / 300) = 133.
        GridCase{1000, 1000, 800, 300, 40.0, 512, 512, 7, 7},
        // Fewer than 10 rows, or lines far enough apart: every line.
        GridCase{9, 9, 100, 100, 40.0, 9, 9, 9, 9},
        GridCase{10, 10, 400, 400, 40.0, 10, 10, 10, 10},
        // Never more lines than the coarsest grid has.
        GridCase{1000, 20, 4000, 4000, 1.0, 32, 20, 32, 20},
        // A zero-sized picture counts as one pixel; at least one line each way.
        GridCase{100, 100, 0, 0, 40.0, 100, 100, 1, 1}));

TEST(LevelStep, OneFinerPerTickUntilTheFinestOrEveryElement) {
    EXPECT_EQ(agl::nextLevel(-1, 8), 0);
    EXPECT_EQ(agl::nextLevel(-1, 1), 0);
    EXPECT_EQ(agl::nextLevel(0, 8), 1);
    EXPECT_EQ(agl::nextLevel(1, 2), 2);
    EXPECT_EQ(agl::nextLevel(2, 2), 2);
    EXPECT_EQ(agl::nextLevel(0, 1), 0); // a 30 x 30 window never steps up
    EXPECT_EQ(agl::nextLevel(1, 1), 1);
}

TEST(LevelResolutions, BudgetsGiveThePowersOfTwo) {
    // 100 x 100 with 1024, 4096, 65536: 4, 2 and 1.
    EXPECT_EQ(agl::levelResolution(100, 100, 1024), 4);
    EXPECT_EQ(agl::levelResolution(100, 100, 4096), 2);
    EXPECT_EQ(agl::levelResolution(100, 100, 65536), 1);
    for (int64_t b : agl::kInitialBudget)
        EXPECT_EQ(agl::levelResolution(30, 30, b), 1);
}

} // namespace
