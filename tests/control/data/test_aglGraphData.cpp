// The graph data: binding by name, level resolutions, pass order, range
// merging and level scaling, vector components, palette range.
#include "ControlTestData.h"
#include "aglArray.h"
#include "aglGraphData.h"
#include "aglPalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <ostream>
#include <tuple>
#include <utility>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Records the hooks the view would act on.
class Recorder : public aglGraphData {
public:
    int pauses = 0, wakes = 0, resets = 0, bound = 0, palettes = 0;
    PaletteMapping lastPalette;

protected:
    void pauseFilterThread() override { ++pauses; }
    void wakeFilterThread() override { ++wakes; }
    void levelsReset(int) override { ++resets; }
    void segmentBound() override { ++bound; }
    void paletteChanged(const PaletteMapping& m) override {
        ++palettes;
        lastPalette = m;
    }
};

// Expects every grid value of a level to be a hole or within lo..hi.
void expectGridWithin(const aglFilter& f, float lo, float hi) {
    aglFilter::DataLock lock(f);
    const int n = lock.rows() * lock.columns();
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) {
        const float g = lock.values()[k];
        if (aglFilter::isHole(g)) continue;
        ASSERT_GE(g, lo - 1e-6f) << k;
        ASSERT_LE(g, hi + 1e-6f) << k;
    }
}

TEST(LevelResolution, BudgetsGiveNextPowerOfTwoOfTheSquareRoot) {
    EXPECT_EQ(agl::levelResolution(100, 100, 1024), 4); // ceil(sqrt(9.77)) = 4
    EXPECT_EQ(agl::levelResolution(100, 100, 4096), 2); // ceil(sqrt(2.44)) = 2
    EXPECT_EQ(agl::levelResolution(100, 100, 65536), 1);
    EXPECT_EQ(agl::levelResolution(30, 30, 1024), 1);
    EXPECT_EQ(agl::levelResolution(3, 3, 1024), 1);
    // ceil(sqrt(9)) = 3 -> 4; exactly 4 stays 4; 16384^2 at 1024 -> 512.
    EXPECT_EQ(agl::levelResolution(90, 100, 1000), 4);
    EXPECT_EQ(agl::levelResolution(64, 64, 256), 4);
    EXPECT_EQ(agl::levelResolution(16384, 16384, 1024), 512);
    EXPECT_EQ(agl::levelResolution(16384, 16384, 65536), 64);
}

TEST(LevelResolution, ImageMapSamplesEveryElementAtLevelTwoOnly) {
    EXPECT_EQ(agl::levelResolution(1000, 1000, 65536, 2, 1), 4);
    EXPECT_EQ(agl::levelResolution(1000, 1000, 65536, 2, 2), 1);
    EXPECT_EQ(agl::levelResolution(1000, 1000, 65536, 1, 2), 4);
    EXPECT_EQ(agl::levelResolution(3000, 100, 4096, 2, 2), 1);
}

TEST(Ranges, WideningGivesAFiniteRangeOfAtLeastTheMinimumWidth) {
    double lo = 3, hi = 3;
    agl::widenRange(lo, hi);
    EXPECT_EQ(lo, 3);
    EXPECT_NEAR(hi - lo, 1e-5, 1e-12);
    lo = 1e15, hi = 1e15; // 1e-5 is below the resolution of 1e15
    agl::widenRange(lo, hi);
    EXPECT_GT(hi, lo);
    lo = agl::kEmptyRangeMin, hi = agl::kEmptyRangeMax;
    agl::widenRange(lo, hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);
    lo = kNaN, hi = 2;
    agl::widenRange(lo, hi);
    EXPECT_EQ(lo, -1.0);
}

TEST(Ranges, OutwardRoundingContainsTheRangeOnReadableSteps) {
    const double cases[][2] = {{0.13, 9.7},        {-20, 50},     {1e-7, 3e-7},
                               {12345.6, 12345.9}, {-1e30, 1e30}, {5, 5.00001}};
    for (const auto& c : cases) {
        double lo = c[0], hi = c[1];
        agl::roundRangeOutward(lo, hi);
        EXPECT_LE(lo, c[0]);
        EXPECT_GE(hi, c[1]);
        EXPECT_LT(hi - lo, 3 * std::max(c[1] - c[0], 1e-5)) << c[0] << " " << c[1];
    }
    double lo = 0.13, hi = 9.7;
    agl::roundRangeOutward(lo, hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 10.0);
}

// A graph data bound to a test segment.
struct Fixture {
    std::unique_ptr<aglSegment> seg;
    Recorder data;
    Fixture(int type, int rows, int cols, const std::function<double(int, int)>& f,
            int graphType = 1)
        : seg(testdata::makeShared(type, rows, cols, f)) {
        EXPECT_TRUE(seg);
        data.setGraphType(graphType);
        EXPECT_TRUE(data.setFileName(seg->name()));
    }
};

TEST(Binding, RefusedNamesAndOneElementSegmentsChangeNothing) {
    Fixture fx(AGL_FLOAT, 4, 5, [](int r, int c) { return r * 5 + c; });
    const std::string bound = fx.seg->name();
    EXPECT_EQ(fx.data.fileName(), bound);
    EXPECT_EQ(fx.data.bound, 1);
    const aglArray* before = &fx.data.array();

    EXPECT_FALSE(fx.data.setFileName(""));
    EXPECT_FALSE(fx.data.setFileName("/no/such/folder/file.agl"));
    auto single = testdata::makeShared(AGL_DOUBLE, 1, 1, [](int, int) { return 7; });
    ASSERT_TRUE(single);
    const int wakes = fx.data.wakes;
    EXPECT_FALSE(fx.data.setFileName(single->name()));
    EXPECT_EQ(fx.data.wakes, wakes + 1); // the paused filter thread is woken again

    EXPECT_EQ(fx.data.fileName(), bound);
    EXPECT_EQ(&fx.data.array(), before);
    EXPECT_EQ(fx.data.array().value(4, 3), 19.0);
    EXPECT_EQ(fx.data.bound, 1);
}

TEST(Binding, PlaceholderBeforeAnyBindAndResetAfterOne) {
    Recorder d;
    EXPECT_TRUE(d.array().isPlaceholder());
    EXPECT_EQ(d.fileName(), "");
    double lo, hi;
    d.overallRange(0, lo, hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);

    auto seg = testdata::makeShared(AGL_UCHAR, 2, 2, [](int, int) { return 1; });
    d.setGraphType(1);
    ASSERT_TRUE(d.setFileName(seg->name()));
    d.overallRange(2, lo, hi);
    EXPECT_GT(lo, hi); // emptied, waiting for the first pass
    for (int L = 0; L < 3; ++L) {
        EXPECT_TRUE(d.level(L).dirty);
        EXPECT_FALSE(d.level(L).filter.isDone());
    }
    EXPECT_EQ(d.resets, 1);
}

TEST(Passes, CoarsestFirstThenFinerThenPartialPassesThenNothing) {
    Fixture fx(AGL_FLOAT, 100, 100, [](int r, int c) { return (r + c) % 7; });
    EXPECT_EQ(fx.data.level(0).resolution, 4);
    EXPECT_EQ(fx.data.level(1).resolution, 2);
    EXPECT_EQ(fx.data.level(2).resolution, 1);
    const int expected[][2] = {{0, 1}, {1, 1}, {2, 1}, {0, 0}, {1, 0}};
    for (const auto& e : expected) {
        int L;
        bool full;
        ASSERT_TRUE(fx.data.nextPass(0, L, full));
        EXPECT_EQ(L, e[0]);
        EXPECT_EQ(full, bool(e[1]));
        ASSERT_TRUE(fx.data.runPass(L, full));
    }
    int L;
    bool full;
    EXPECT_FALSE(fx.data.nextPass(0, L, full));
}

TEST(Passes, SmallWindowNeverGoesPastLevelZero) {
    Fixture fx(AGL_FLOAT, 30, 30, [](int r, int) { return r; });
    for (int L = 0; L < 3; ++L)
        EXPECT_EQ(fx.data.level(L).resolution, 1);
    EXPECT_EQ(fx.data.runPendingPasses(), 1);
    EXPECT_FALSE(fx.data.level(1).filter.isDone());
}

TEST(Passes, FixedResolutionFiltersOnlyTheCurrentLevel) {
    Fixture fx(AGL_FLOAT, 100, 100, [](int r, int) { return r; });
    fx.data.setResolutionAutoAdjust(false);
    fx.data.setResolution(10);
    EXPECT_EQ(fx.data.runPendingPasses(1), 1);
    EXPECT_TRUE(fx.data.level(1).filter.isDone());
    EXPECT_EQ(fx.data.level(1).filter.outputRows(), 10);
    EXPECT_FALSE(fx.data.level(0).filter.isDone());
}

// A final picture's level is filtered alone, in one full pass that also
// gives the overall range (the same range every level's passes merge to);
// the finest level the rules allow stands in for a finer one asked for.
TEST(Passes, AFinalLevelIsFilteredAloneWithTheWholeRange) {
    const auto f = [](int r, int c) { return (r * 3 + c) % 11 - 5; };
    Fixture stepped(AGL_FLOAT, 100, 100, f);
    stepped.data.runPendingPasses();
    for (const auto& [wanted, final] : {std::pair{2, 2}, std::pair{1, 1}, std::pair{0, 0}}) {
        SCOPED_TRACE(wanted);
        Fixture fx(AGL_FLOAT, 100, 100, f);
        fx.data.setFinalLevel(wanted);
        EXPECT_EQ(fx.data.finalLevel(), final);
        EXPECT_EQ(fx.data.runPendingPasses(), 1);
        for (int L = 0; L < 3; ++L)
            EXPECT_EQ(fx.data.level(L).filter.isDone(), L == final) << L;
        double lo = 0, hi = 0, stepLo = 0, stepHi = 0;
        fx.data.overallRange(0, lo, hi);
        stepped.data.overallRange(0, stepLo, stepHi);
        EXPECT_EQ(lo, stepLo);
        EXPECT_EQ(hi, stepHi);
    }
    Fixture small(AGL_FLOAT, 30, 30, f);
    small.data.setFinalLevel(2);
    EXPECT_EQ(small.data.finalLevel(), 0) << "level 0 samples every element already";
    small.data.setResolutionAutoAdjust(false);
    EXPECT_EQ(small.data.finalLevel(), -1) << "a fixed resolution has its own level";
    small.data.setFinalLevel(-1);
    small.data.setResolutionAutoAdjust(true);
    EXPECT_EQ(small.data.finalLevel(), -1);
}

TEST(Passes, GraphTypeNoneAndAnEmptyVectorGraphHaveNothingToDo) {
    Fixture fx(
        AGL_FLOAT, 10, 10, [](int, int) { return 1; }, 0);
    int L;
    bool full;
    EXPECT_FALSE(fx.data.nextPass(0, L, full));
    fx.data.setGraphType(3);
    for (int c = 0; c < 4; ++c)
        fx.data.setComponent(c, c == 2 ? 10 : -1); // 10: past the window
    fx.data.update();
    EXPECT_FALSE(fx.data.nextPass(0, L, full));
    EXPECT_FALSE(fx.data.runPass(0, true));
}

TEST(Passes, PassOnPlaceholderSucceedsAndFailureLeavesLevelDirty) {
    Recorder d;
    d.setGraphType(1);
    EXPECT_TRUE(d.runPass(0, true));
    // The placeholder shows dimension 0 as rows and columns: one row of 3.
    EXPECT_EQ(d.level(0).filter.outputRows(), 1);
    EXPECT_EQ(d.level(0).filter.outputColumns(), 3);
    EXPECT_FALSE(d.level(0).dirty);
    EXPECT_FALSE(d.runPass(3, true));
}

// Values 0..6 everywhere except a spike (50) and a dip (-20) on odd rows,
// which only the finest level (step 1) samples.
double spiky(int r, int c) {
    if (r == 1 && c == 1) return 50;
    if (r == 3 && c == 5) return -20;
    return (r + c) % 7;
}

TEST(RangeMerging, FullPassesGrowTheOverallRangeAndPartialPassesTakeIt) {
    Fixture fx(AGL_FLOAT, 100, 100, spiky);
    fx.data.setAxisAutoScale(false);
    fx.data.setAxisClamp(2, -100, 100);
    fx.data.update();
    double mx, mn, lo, hi;
    auto& d = fx.data;

    ASSERT_TRUE(d.runPass(0, true));
    d.level(0).filter.range(0, mx, mn);
    EXPECT_EQ(mn, 0);
    EXPECT_EQ(mx, 6);
    d.overallRange(0, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 6);

    ASSERT_TRUE(d.runPass(2, true));
    d.level(2).filter.range(0, mx, mn);
    EXPECT_EQ(mn, -20);
    EXPECT_EQ(mx, 50);
    d.overallRange(0, lo, hi);
    EXPECT_EQ(lo, -20);
    EXPECT_EQ(hi, 50);

    // Level 1 misses the extremes but is widened to the overall range.
    ASSERT_TRUE(d.runPass(1, true));
    d.level(1).filter.range(0, mx, mn);
    EXPECT_EQ(mn, -20);
    EXPECT_EQ(mx, 50);

    // A partial pass at level 0 takes the overall range.
    ASSERT_TRUE(d.runPass(0, false));
    d.level(0).filter.range(0, mx, mn);
    EXPECT_EQ(mn, -20);
    EXPECT_EQ(mx, 50);
    EXPECT_FALSE(d.level(0).fullPass);

    // A full pass at level 0 replaces the overall range (shrinking it).
    ASSERT_TRUE(d.runPass(0, true));
    d.overallRange(0, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 6);
}

TEST(LevelScaling, AutoScaleMapsTheRoundedRangeOntoZeroToZScale) {
    Fixture fx(AGL_SHORT, 100, 100, spiky);
    fx.data.setAxisScales(1.0, 1.0, 0.5);
    fx.data.runPendingPasses();
    const aglFilter& f = fx.data.level(2).filter;
    double mx, mn;
    f.range(0, mx, mn);
    EXPECT_LE(mn, -20);
    EXPECT_GE(mx, 50);
    expectGridWithin(f, 0.0f, 0.5f);
    // The spike maps back to its value through the component's scale.
    aglFilter::DataLock lock(f);
    const float g = lock.at(1, 1);
    EXPECT_NEAR((g - f.componentOffset(0)) / f.componentScale(0), 50.0, 1e-3);
    EXPECT_NEAR(f.componentScale(0) * (mx - mn), 0.5, 1e-6);
}

TEST(LevelScaling, FixedScaleDrawsBeyondTheClampButRecordsOnlyUpToIt) {
    Fixture fx(AGL_FLOAT, 2, 2, [](int r, int c) { return r == 1 && c == 1 ? 20 : 1; });
    fx.data.setAxisAutoScale(false);
    fx.data.setDataClamp(false);
    fx.data.setAxisClamp(2, 0, 10);
    fx.data.update();
    ASSERT_TRUE(fx.data.runPass(0, true));
    const aglFilter& f = fx.data.level(0).filter;
    EXPECT_FLOAT_EQ(f.grid()[3], 1.6f); // 2 x ZScale 0.8
    double mx, mn;
    f.range(0, mx, mn);
    EXPECT_EQ(mx, 10);
    EXPECT_EQ(mn, 1);

    fx.data.setDataClamp(true);
    ASSERT_TRUE(fx.data.runPass(0, true));
    EXPECT_FLOAT_EQ(f.grid()[3], 0.8f);
}

TEST(LevelScaling, ConstantAndAllHoleArraysGiveFiniteRangesAndGrids) {
    for (const double v : {5.0, 0.0, -3e9, kNaN}) {
        Fixture fx(AGL_DOUBLE, 8, 8, [&](int, int) { return v; });
        fx.data.runPendingPasses();
        const aglFilter& f = fx.data.level(0).filter;
        double mx, mn;
        f.range(0, mx, mn);
        ASSERT_TRUE(std::isfinite(mn) && std::isfinite(mx)) << v;
        EXPECT_GE(mx - mn, 1e-5) << v;
        if (!std::isnan(v)) {
            EXPECT_LE(mn, v);
            EXPECT_GE(mx, v);
            expectGridWithin(f, 0.0f, 0.8f);
        } else {
            EXPECT_EQ(mn, -1.0);
            EXPECT_EQ(mx, 1.0);
            EXPECT_TRUE(aglFilter::isHole(f.grid()[0]));
        }
        EXPECT_TRUE(std::isfinite(f.componentScale(0)));
        EXPECT_TRUE(std::isfinite(f.componentOffset(0)));
        const auto pm = fx.data.paletteMapping(0);
        EXPECT_TRUE(std::isfinite(pm.minimum) && std::isfinite(pm.maximum));
        EXPECT_GT(pm.maximum, pm.minimum);
    }
}

TEST(LevelScaling, DataFarFromZeroKeepsItsDetail) {
    // 1e9 + 0.01 x column: a float holds 1e9 only to 64, so neither the
    // grid nor a float offset may carry the values as they are.
    Fixture fx(AGL_DOUBLE, 4, 100, [](int, int c) { return 1e9 + 0.01 * c; });
    for (const bool autoScale : {true, false}) {
        fx.data.setAxisAutoScale(autoScale);
        fx.data.setAxisClamp(2, 1e9, 1e9 + 1.0);
        fx.data.update();
        fx.data.runPendingPasses();
        const aglFilter& f = fx.data.level(0).filter;
        aglFilter::DataLock lock(f);
        ASSERT_EQ(lock.columns(), 100);
        for (int c = 1; c < 100; ++c)
            ASSERT_GT(lock.at(0, c), lock.at(0, c - 1)) << c;
        const double back = (lock.at(0, 99) - f.componentOffset(0)) / f.componentScale(0);
        EXPECT_NEAR(back, 1e9 + 0.99, 1e-4);
    }
}

TEST(LevelScaling, HolesDoNotMoveTheRangeOfAnyLevel) {
    Fixture fx(AGL_FLOAT, 50, 50, [](int r, int c) { return (r + c) % 3 ? double(r) : kNaN; });
    fx.data.setAxisAutoScale(false);
    fx.data.setAxisClamp(2, -1000, 1000);
    fx.data.update();
    fx.data.runPendingPasses();
    double lo, hi;
    fx.data.overallRange(0, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 49);
}

TEST(Vector, UnusedComponentsBeforeTheLastStillCount) {
    Fixture fx(
        AGL_LONG, 50, 3, [](int r, int c) { return c == 0 ? -r : 1000 + r; }, 3);
    fx.data.setComponent(0, 0);
    fx.data.setComponent(1, -1);
    fx.data.setComponent(2, 2);
    fx.data.setComponent(3, -1);
    fx.data.update();
    fx.data.runPendingPasses();
    EXPECT_EQ(fx.data.componentsInUse(), 3);
    const aglFilter& f = fx.data.level(0).filter;
    aglFilter::DataLock lock(f);
    ASSERT_EQ(lock.columns(), 3);
    ASSERT_EQ(lock.components(), 3);
    double mx, mn;
    f.range(0, mx, mn);
    EXPECT_LE(mn, -49); // signed data read as signed
    EXPECT_GE(mx, 0);
    for (int i = 0; i < lock.rows(); ++i)
        EXPECT_EQ(lock.at(i, 1), 0.0f);
    // Palette by W needs four components.
    EXPECT_FALSE(fx.data.paletteMapping(0).valid);
}

TEST(Vector, SourcesAreCheckedAgainstTheWindowNotTheArray) {
    Fixture fx(
        AGL_FLOAT, 10, 6, [](int r, int c) { return 100 * r + c; }, 3);
    fx.data.setPlaneWindow(3, 0, 3, 10); // columns 3..5
    for (int c = 0; c < 4; ++c)
        fx.data.setComponent(c, c + 1); // 1, 2, 3 (past the window), 4
    fx.data.setAxisAutoScale(false);
    fx.data.update();
    ASSERT_TRUE(fx.data.runPass(0, true));
    EXPECT_EQ(fx.data.componentsInUse(), 2);
    const aglFilter& f = fx.data.level(0).filter;
    EXPECT_EQ(f.sourceColumn(2), -1);
    EXPECT_EQ(f.sourceColumn(3), -1);
    fx.data.setCursor(2, 0);
    // The W column (4) is past the window: the window's first column.
    EXPECT_EQ(fx.data.valueAtCursor(), 203.0);
    fx.data.setComponent(3, 1);
    EXPECT_EQ(fx.data.valueAtCursor(), 204.0);
}

TEST(Vector, WComponentDrivesThePaletteWithItsOwnScale) {
    Fixture fx(
        AGL_FLOAT, 20, 4, [](int r, int c) { return c == 3 ? r * 2.0 : r; }, 3);
    fx.data.runPendingPasses();
    const auto pm = fx.data.paletteMapping(0);
    ASSERT_TRUE(pm.valid);
    EXPECT_EQ(pm.component, 3);
    EXPECT_EQ(pm.minimum, 0.0);
    EXPECT_EQ(pm.maximum, 38.0);
    const aglFilter& f = fx.data.level(0).filter;
    aglFilter::DataLock lock(f);
    const int last = lock.rows() - 1;
    const double row = (lock.rows() - 1) * f.rowStep();
    EXPECT_NEAR(lock.at(last, 3) * pm.valueScale + pm.valueOffset, 2 * row, 1e-4);
}

TEST(Palette, FixedRangeAndItsSetterRules) {
    Fixture fx(AGL_FLOAT, 10, 10, [](int r, int) { return r; });
    fx.data.runPendingPasses();
    fx.data.setPaletteAutoAdjust(false);
    fx.data.setPaletteRange(2, 1); // ignored
    double lo, hi;
    fx.data.paletteRange(lo, hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);
    fx.data.setPaletteRange(3, 4);
    fx.data.recomputePaletteRange(0);
    EXPECT_EQ(fx.data.palettes, 1);
    EXPECT_EQ(fx.data.lastPalette.minimum, 3);
    EXPECT_EQ(fx.data.lastPalette.maximum, 4);
    fx.data.setPaletteAutoAdjust(true);
    const auto pm = fx.data.paletteMapping(0);
    EXPECT_EQ(pm.minimum, 0);
    EXPECT_EQ(pm.maximum, 9);
    // No level current: identity mapping.
    const auto none = fx.data.paletteMapping(-1);
    EXPECT_EQ(none.valueScale, 1.0);
    EXPECT_EQ(none.valueOffset, 0.0);
}

TEST(Setters, AxisClampRules) {
    aglGraphData d;
    double lo, hi;
    d.setAxisClamp(1, 5, 4);
    d.axisClamp(1, lo, hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);
    d.setAxisClamp(1, 5, 5);
    d.axisClamp(1, lo, hi);
    EXPECT_EQ(lo, 5.0);
    EXPECT_DOUBLE_EQ(hi, 5.00001);
    d.setAxisClamp(0, kNaN, 3);
    d.axisClamp(0, lo, hi);
    EXPECT_EQ(lo, -1.0);
}

TEST(Setters, ZScaleChangeRefiltersAndOtherScalesDoNot) {
    Fixture fx(AGL_FLOAT, 10, 10, [](int r, int) { return r; });
    fx.data.runPendingPasses();
    EXPECT_FALSE(fx.data.setAxisScales(2.0, 3.0, 0.8));
    EXPECT_FALSE(fx.data.level(0).dirty);
    EXPECT_TRUE(fx.data.setAxisScales(2.0, 3.0, 1.5));
    EXPECT_TRUE(fx.data.level(0).dirty);
    fx.data.runPendingPasses();
    expectGridWithin(fx.data.level(0).filter, 0.0f, 1.5f);
}

TEST(Setters, WindowAndRoiChangesWaitForUpdate) {
    Fixture fx(AGL_FLOAT, 40, 40, [](int r, int c) { return r * 40 + c; });
    fx.data.runPendingPasses();
    fx.data.setRoiLow(0, 10);
    fx.data.setRoiHigh(1, 19);
    EXPECT_EQ(fx.data.roiLow(0), 10);
    EXPECT_EQ(fx.data.roiHigh(0), 39);
    EXPECT_EQ(fx.data.roiHigh(1), 19);
    int32_t cs, rs, cc, rc;
    fx.data.planeWindow(cs, rs, cc, rc);
    EXPECT_EQ(cs, 0);
    EXPECT_EQ(rs, 10);
    EXPECT_EQ(cc, 20);
    EXPECT_EQ(rc, 30);
    EXPECT_EQ(fx.data.level(0).filter.outputRows(), 20); // 40 rows at step 2, until update
    fx.data.update();
    fx.data.runPendingPasses();
    EXPECT_EQ(fx.data.level(0).filter.outputRows(), 30);
    EXPECT_EQ(fx.data.elementSize(), 4);
    EXPECT_EQ(fx.data.cellSize(), 4);
}

TEST(DataChanges, AllocateReshapeAndReleaseMarkLevelsDirty) {
    Recorder d;
    d.setGraphType(1);
    d.runPendingPasses();
    float* p = static_cast<float*>(d.allocate(4 * 6 * 4));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 24; ++i)
        p[i] = float(i);
    const int32_t ext[2] = {4, 6};
    EXPECT_EQ(d.reshape(2, ext, AGL_FLOAT), 0);
    EXPECT_TRUE(d.level(0).dirty);
    d.update();
    d.runPendingPasses();
    EXPECT_EQ(d.level(0).filter.outputRows(), 4);
    EXPECT_EQ(d.level(0).filter.outputColumns(), 6);
    const int32_t bad[2] = {5, 6};
    EXPECT_EQ(d.reshape(2, bad, AGL_FLOAT), -1);
    d.release();
    EXPECT_TRUE(d.array().isPlaceholder());
}

} // namespace

// ---- Palette mapping over wide ranges ----------------------------------------

namespace {

struct WideRange {
    const char* name;
    int type;
    double low, high;
};

void PrintTo(const WideRange& w, std::ostream* os) {
    *os << w.name;
}

// The data runs from low to high along the rows (one value per row).
class PaletteOverRange : public ::testing::TestWithParam<std::tuple<WideRange, int>> {};

} // namespace

// Every finite range at least the minimum width wide, up to -1e38..1e38, in
// every element type, colours its lowest value with the palette's first
// entry, its highest with the last and its middle with the middle: a scale
// of 0.8 / 1e6 once counted as "too small" and drew all of it in one colour.
TEST_P(PaletteOverRange, LowestMiddleAndHighestValuesGetFirstMiddleAndLastColour) {
    const WideRange w = std::get<0>(GetParam());
    const int graphType = std::get<1>(GetParam());
    const int rows = 17;
    auto valueOfRow = [&](int r) { return w.low + (w.high - w.low) * (r / double(rows - 1)); };
    // The vector graph colours by its W component (column 3).
    Fixture fx(
        w.type, rows, 4, [&](int r, int) { return valueOfRow(r); }, graphType);
    fx.data.runPendingPasses();
    const aglGraphData::PaletteMapping pm = fx.data.paletteMapping(0);
    ASSERT_TRUE(pm.valid);
    aglPalette palette;
    palette.SetValueMapping(pm.valueScale, pm.valueOffset);
    ASSERT_TRUE(palette.SetRange(pm.minimum, pm.maximum));

    const aglFilter& f = fx.data.level(0).filter;
    aglFilter::DataLock lock(f);
    ASSERT_EQ(lock.rows(), rows);
    const int column = graphType == 3 ? pm.component : 0;
    int previous = -1;
    for (int r = 0; r < rows; ++r) {
        const int entry = palette.EntryOf(lock.at(r, column));
        EXPECT_GE(entry, previous) << "row " << r;
        previous = entry;
        // Each height maps back to its own value.
        const double back = lock.at(r, column) * pm.valueScale + pm.valueOffset;
        const double stored = w.type == AGL_FLOAT    ? double(float(valueOfRow(r)))
                              : w.type == AGL_DOUBLE ? valueOfRow(r)
                                                     : std::trunc(valueOfRow(r));
        EXPECT_NEAR(back, stored, 1e-5 * std::max(1.0, std::fabs(w.high - w.low))) << r;
    }
    EXPECT_EQ(palette.EntryOf(lock.at(0, column)), 0);
    EXPECT_NEAR(palette.EntryOf(lock.at(rows / 2, column)), 128, 2);
    EXPECT_EQ(palette.EntryOf(lock.at(rows - 1, column)), aglPalette::kEntries - 1);
}

INSTANTIATE_TEST_SUITE_P(
    WideRanges, PaletteOverRange,
    ::testing::Combine(::testing::Values(WideRange{"float_0_to_1e6", AGL_FLOAT, 0.0, 1e6},
                                         WideRange{"float_pascals", AGL_FLOAT, 95000.0, 105000.0},
                                         WideRange{"float_minimum_width", AGL_FLOAT, 1.0, 1.00001},
                                         WideRange{"float_1e38", AGL_FLOAT, -1e38, 1e38},
                                         WideRange{"double_1e38", AGL_DOUBLE, -1e38, 1e38},
                                         WideRange{"double_0_to_1e12", AGL_DOUBLE, 0.0, 1e12},
                                         WideRange{"long_full", AGL_LONG, -2147483648.0,
                                                   2147483647.0},
                                         WideRange{"ulong_full", AGL_ULONG, 0.0, 4294967295.0},
                                         WideRange{"short_full", AGL_SHORT, -32768.0, 32767.0},
                                         WideRange{"ushort_full", AGL_USHORT, 0.0, 65535.0},
                                         WideRange{"char_full", AGL_CHAR, -128.0, 127.0},
                                         WideRange{"uchar_full", AGL_UCHAR, 0.0, 255.0}),
                       ::testing::Values(1, 2, 3)),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) + "_graph" +
               std::to_string(std::get<1>(p.param));
    });

TEST(Palette, AResampledFinestLevelStillSpansTheDataRange) {
    // 600 x 600 is sampled every second element even at the finest level
    // (and every fourth at a fixed resolution of 4); the extremes sit between
    // the samples.
    for (const bool autoAdjust : {true, false}) {
        Fixture fx(AGL_SHORT, 600, 600, [](int r, int c) {
            if (r == 1 && c == 1) return 1076.0;
            if (r == 599 && c == 3) return 236.0;
            return 300.0 + (r + c) % 500;
        });
        int L = 2;
        if (!autoAdjust) {
            fx.data.setResolutionAutoAdjust(false);
            fx.data.setResolution(4);
            L = 1;
        }
        ASSERT_NE(fx.data.resolution(L), 1);
        fx.data.runPendingPasses(L);
        const auto pm = fx.data.paletteMapping(L);
        EXPECT_EQ(pm.minimum, 236.0) << autoAdjust;
        EXPECT_EQ(pm.maximum, 1076.0) << autoAdjust;
    }
}

// The finest level's exact range reads every element, four or two at a time:
// holes and extremes anywhere (at the start, inside, in a row's odd tail) and
// rows that begin off the vector width must all be seen or skipped alike.
TEST(Palette, TheExactRangeSeesEveryElementAndSkipsEveryHole) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const int type : {AGL_FLOAT, AGL_DOUBLE}) {
        for (const int cols : {601, 607, 613}) {
            SCOPED_TRACE(std::to_string(type) + " x " + std::to_string(cols));
            const auto f = [cols, inf](int r, int c) {
                if (r == 0 && c == 0) return kNaN;
                if (r == 2 && c == cols - 1) return inf;   // the odd tail
                if (r == 5 && c == 9) return -inf;         // inside a run
                if (r == 7 && c == cols - 2) return 913.5; // the maximum, near the tail
                if (r == 599 && c == 1) return -77.25;     // the minimum, off the samples
                return double((r * 7 + c) % 300);
            };
            Fixture fx(type, 600, cols, f);
            ASSERT_NE(fx.data.resolution(2), 1);
            fx.data.runPendingPasses(2);
            const auto pm = fx.data.paletteMapping(2);
            EXPECT_EQ(pm.minimum, -77.25);
            EXPECT_EQ(pm.maximum, 913.5);
        }
    }
}

// A pause of the filter thread cuts the whole-window scan of a large array
// short; the level must not be left looking finished with a half-read range.
TEST(Passes, APassCutShortInItsRangeScanIsDueAgainAndThenTakesTheWholeRange) {
    Fixture fx(AGL_FLOAT, 600, 600, [](int r, int c) {
        if (r == 1 && c == 1) return 1076.0;
        return 300.0 + (r + c) % 500;
    });
    std::atomic<bool> cut{false};
    fx.data.setPassCut(&cut);
    fx.data.runPass(0, true);
    fx.data.runPass(1, true);
    cut = true;
    EXPECT_FALSE(fx.data.runPass(2, true));
    EXPECT_FALSE(fx.data.level(2).filter.isDone());
    int L = -1;
    bool full = false;
    ASSERT_TRUE(fx.data.nextPass(0, L, full));
    EXPECT_EQ(L, 2);
    EXPECT_TRUE(full);
    cut = false;
    EXPECT_TRUE(fx.data.runPass(2, true));
    EXPECT_TRUE(fx.data.level(2).filter.isDone());
    EXPECT_EQ(fx.data.paletteMapping(2).maximum, 1076.0);
}

// A level nobody is shown gives way to a pause in its sampling too: the pass
// ends, the level is no longer done (its grid may be partly new) and still
// due, and the next pass makes the whole grid again. Without the cut the same
// pass runs to its end.
TEST(Passes, ASamplingPassCutShortLeavesItsLevelUndoneAndDueThenWhole) {
    Fixture fx(AGL_FLOAT, 600, 600, [](int r, int c) { return (r * 7 + c) % 300; });
    std::atomic<bool> cut{false};
    fx.data.setPassCut(&cut);
    const aglFilter& f = fx.data.level(1).filter;
    ASSERT_TRUE(fx.data.runPass(1, false, nullptr, true));
    ASSERT_TRUE(f.isDone());
    const auto gridOf = [&] {
        aglFilter::DataLock lock(f);
        return std::vector<float>(lock.values(),
                                  lock.values() + size_t(lock.rows()) * size_t(lock.columns()));
    };
    const std::vector<float> whole = gridOf();
    ASSERT_FALSE(whole.empty());

    // A done level filtered again in place: cut, its grid is not drawn.
    cut = true;
    EXPECT_TRUE(fx.data.runPass(1, false, nullptr, false)) << "a shown level's pass was cut";
    EXPECT_TRUE(f.isDone());
    EXPECT_FALSE(fx.data.runPass(1, false, nullptr, true));
    EXPECT_FALSE(f.isDone());

    // After a change: the level cut short is still due, and then whole.
    cut = false;
    fx.data.update();
    ASSERT_TRUE(fx.data.runPass(0, false)); // passes go coarse to fine
    cut = true;
    EXPECT_FALSE(fx.data.runPass(1, false, nullptr, true));
    int L = -1;
    bool full = true;
    ASSERT_TRUE(fx.data.nextPass(1, L, full));
    EXPECT_EQ(L, 1) << "the level cut short is not due";
    cut = false;
    EXPECT_TRUE(fx.data.runPass(1, false, nullptr, true));
    EXPECT_TRUE(f.isDone());
    EXPECT_EQ(gridOf(), whole);
}

// The finest pass reads the window for its exact ranges before it takes the
// level's data lock, from the graph data's own settings: each vector
// component from its source column, clamped as the pass clamps it (never the
// W component), an unused component not at all; the same in the pass that
// takes them.
TEST(Passes, ExactRangesFollowThePassSourcesAndClamps) {
    const auto value = [](int r, int c) { return c == 3 ? -r : (r % 97) * (c + 1) - 50.0; };
    Fixture fx(AGL_DOUBLE, 200000, 4, value, 3);
    fx.data.setComponent(1, 3);  // Y from the W column
    fx.data.setComponent(2, -1); // no Z
    fx.data.setAxisAutoScale(false);
    fx.data.setDataClamp(true);
    fx.data.setAxisClamp(0, -10, 10);
    fx.data.setAxisClamp(1, -100, 1e6);
    fx.data.update();
    ASSERT_NE(fx.data.resolution(2), 1);
    EXPECT_FALSE(fx.data.exactRanges(2, false).due);
    EXPECT_FALSE(fx.data.exactRanges(0, true).due);
    const auto r = fx.data.exactRanges(2, true);
    ASSERT_TRUE(r.due);
    EXPECT_FALSE(r.cut);
    const auto range = [&](int column, double lo, double hi) {
        double mn = 1e300, mx = -1e300;
        for (int row = 0; row < 200000; ++row) {
            mn = std::min(mn, value(row, column));
            mx = std::max(mx, value(row, column));
        }
        return std::pair{std::clamp(mn, lo, hi), std::clamp(mx, lo, hi)};
    };
    ASSERT_TRUE(r.found[0]);
    EXPECT_EQ(std::pair(r.minimum[0], r.maximum[0]), range(0, -10, 10));
    ASSERT_TRUE(r.found[1]);
    EXPECT_EQ(std::pair(r.minimum[1], r.maximum[1]), range(3, -100, 1e6));
    EXPECT_FALSE(r.found[2]);
    ASSERT_TRUE(r.found[3]);
    EXPECT_EQ(std::pair(r.minimum[3], r.maximum[3]), range(3, -1e300, 1e300)) << "W is not clamped";
    fx.data.runPendingPasses(2);
    double lo = 0, hi = 0;
    fx.data.overallRange(3, lo, hi);
    EXPECT_EQ(lo, -199999.0);
    EXPECT_EQ(hi, 0.0);
}
