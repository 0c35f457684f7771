// The axis arithmetic: tick counts, tick placement, outward rounding and the
// number strings. Faults here show as unreadable or wrong numbers, so most
// tests check the strings a user would read.
#include "ControlTestData.h"
#include "aglAxisTicks.h"
#include "aglGraphData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <set>

using agl::AxisNumbers;
using agl::TickCounts;

namespace {

std::vector<std::string> numbersOf(const AxisNumbers& a, const aglSegment* scale = nullptr) {
    return agl::makeAxisNumbers(a.first, a.step, a.major, a.format, scale, a.scaleBase);
}

// Every tick of a value axis lies inside the range, on a multiple of the
// step, and the strings are all different.
void expectReadable(const AxisNumbers& a, double lo, double hi) {
    ASSERT_GE(a.major, 2);
    const double span = hi - lo;
    for (int k = 0; k < a.major; ++k) {
        const double v = a.first + k * a.step;
        EXPECT_GE(v, lo - 1e-9 * std::fabs(span)) << k;
        EXPECT_LE(v, hi + 1e-9 * std::fabs(span)) << k;
        // The tick sits where its value belongs along the axis.
        const double f = a.startFraction + (a.endFraction - a.startFraction) * k / (a.major - 1);
        EXPECT_NEAR(f, (v - lo) / span, 1e-9) << k;
    }
    const auto n = numbersOf(a);
    EXPECT_EQ(std::set<std::string>(n.begin(), n.end()).size(), n.size()) << a.format;
    for (const auto& s : n)
        EXPECT_LE(s.size(), 12u) << s;
}

} // namespace

TEST(TickCounts, ZeroOneAndHugeCountsAreBroughtIntoRange) {
    // 0 or 1 majors would stall the thinning or divide by zero.
    for (bool autoDetail : {false, true}) {
        for (int n : {-5, 0, 1, 2, 10, 499, 500, 501, 100000}) {
            const TickCounts c = agl::tickCountsFor(n, -1, 800, autoDetail);
            EXPECT_GE(c.major, 2) << n;
            EXPECT_LE(c.major, 500) << n;
            EXPECT_GE(c.minor, 0);
        }
    }
    EXPECT_FALSE(agl::isValidMajorTickCount(0));
    EXPECT_FALSE(agl::isValidMajorTickCount(1));
    EXPECT_TRUE(agl::isValidMajorTickCount(2));
    EXPECT_FALSE(agl::isValidMajorTickCount(501));
    EXPECT_TRUE(agl::isValidMinorTickCount(0));
    EXPECT_FALSE(agl::isValidMinorTickCount(-1));
}

TEST(TickCounts, AutoDetailFollowsTheControlSize) {
    EXPECT_EQ(agl::tickCountsFor(10, 2, 200, true).major, 4);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 200, true).minor, 0);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 300, true).major, 7);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 300, true).minor, 1);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 600, true).major, 10);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 600, true).minor, 3);
    EXPECT_EQ(agl::tickCountsFor(10, 2, 600, false).minor, 2);
}

TEST(IndexAxis, HundredIntervalsGiveElevenTicksEveryTenIndices) {
    const AxisNumbers a = agl::indexAxisNumbers(0, 101, 0, false, {10, 3}, true);
    EXPECT_EQ(a.major, 11);
    EXPECT_EQ(a.step, 10.0);
    EXPECT_EQ(a.minor, 4);
    EXPECT_EQ(a.endFraction, 1.0);
    const auto n = numbersOf(a);
    EXPECT_EQ(n.front(), "0");
    EXPECT_EQ(n[1], "10");
    EXPECT_EQ(n.back(), "100");
}

TEST(IndexAxis, TicksStayOnWholeIndicesForAnyLength) {
    for (int64_t L = 1; L <= 400; ++L) {
        for (int n : {2, 3, 5, 10}) {
            const AxisNumbers a = agl::indexAxisNumbers(7, L, 0, false, {n, 1}, true);
            ASSERT_GE(a.major, 2);
            EXPECT_LE(a.major, 2 * n) << L;
            EXPECT_EQ(a.step, std::round(a.step)) << "L=" << L << " n=" << n;
            // The last tick is an index of the region, never past it.
            EXPECT_LE(a.first + a.step * (a.major - 1), 7 + L - 1 + 1e-9);
            EXPECT_NEAR(a.endFraction - a.startFraction,
                        L > 1 ? a.step * (a.major - 1) / (L - 1) : 1.0, 1e-12);
            // On multiples of the step, where two of them fit.
            if (L > 1 && a.major > 2) {
                EXPECT_EQ(std::fmod(a.first, a.step), 0.0) << "L=" << L << " n=" << n;
            }
            EXPECT_GT(a.endFraction, 0.5) << "L=" << L << " n=" << n;
            if (L > 1) {
                EXPECT_GE(a.major, std::min<int64_t>(n, L) / 2) << "L=" << L << " n=" << n;
            }
        }
    }
}

TEST(IndexAxis, LengthsWithoutRoundDivisorsStepByRoundCounts) {
    // 97 intervals: ticks every 10, stopping at 90, rather than every 10.78.
    AxisNumbers a = agl::indexAxisNumbers(0, 98, 0, false, {5, 0}, true);
    EXPECT_EQ(a.step, 10.0);
    EXPECT_EQ(a.major, 10);
    EXPECT_NEAR(a.endFraction, 90.0 / 97.0, 1e-12);
    // 999 intervals: every 100 rather than 0, 333, 666, 999.
    a = agl::indexAxisNumbers(0, 1000, 0, false, {5, 1}, true);
    EXPECT_EQ(numbersOf(a).back(), "900");
    EXPECT_EQ(a.minor, 1); // one minor asked: every 50
    a = agl::indexAxisNumbers(0, 1000, 0, false, {5, 3}, true);
    EXPECT_EQ(a.minor, 3); // three asked: every 25
}

TEST(IndexAxis, FortranLowerBoundsAndReversedAxesCountFromTheRightIndex) {
    // Fortran dimension with lower bound 1, region 0..9 (indices 1..10).
    AxisNumbers a = agl::indexAxisNumbers(0, 10, 1, false, {10, 0}, true);
    auto n = numbersOf(a);
    EXPECT_EQ(n.front(), "1");
    EXPECT_EQ(n.back(), "10");
    // Lower bound -5, region starting at 0-based index 5: indices 0..20.
    a = agl::indexAxisNumbers(5, 21, -5, false, {5, 0}, true);
    n = numbersOf(a);
    EXPECT_EQ(n.front(), "0");
    EXPECT_EQ(n.back(), "20");
    a = agl::indexAxisNumbers(5, 21, -5, true, {5, 0}, true);
    n = numbersOf(a);
    EXPECT_EQ(n.front(), "20");
    EXPECT_EQ(n.back(), "0");
}

// Ticks count as a reader does, on multiples of their step from whatever
// index the region starts at: a Fortran axis from 1 reads 5, 10, 15 (not 1,
// 6, 11); reversed, it reads 20, 15, 10 from its high end.
TEST(IndexAxis, TicksSitOnMultiplesOfTheirStepFromAnyFirstIndex) {
    AxisNumbers a = agl::indexAxisNumbers(0, 20, 1, false, {3, 0}, true);
    EXPECT_EQ(a.step, 5.0);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"5", "10", "15", "20"}));
    EXPECT_NEAR(a.startFraction, 4.0 / 19.0, 1e-12);
    EXPECT_NEAR(a.endFraction, 1.0, 1e-12);
    a = agl::indexAxisNumbers(0, 20, 1, true, {3, 0}, true);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"20", "15", "10", "5"}));
    EXPECT_NEAR(a.startFraction, 0.0, 1e-12);
    EXPECT_NEAR(a.endFraction, 15.0 / 19.0, 1e-12);
    // A region from index 37 of 256: 40, 60 ... 280.
    a = agl::indexAxisNumbers(37, 256, 0, false, {10, 0}, true);
    EXPECT_EQ(numbersOf(a).front(), "40");
    EXPECT_EQ(std::fmod(a.first, a.step), 0.0);
    // Too short for two multiples of the step: ticks from the first index.
    a = agl::indexAxisNumbers(0, 3, 1, false, {2, 0}, true);
    EXPECT_GE(a.major, 2);
}

TEST(IndexAxis, WithoutAutoDetailTheRequestedCountDividesTheAxis) {
    const AxisNumbers a = agl::indexAxisNumbers(0, 101, 0, false, {5, 1}, false);
    EXPECT_EQ(a.major, 5);
    EXPECT_EQ(a.step, 25.0);
    EXPECT_EQ(a.minor, 1);
}

TEST(IndexAxis, AxisScaleLabelsUseTheElementTypeRead) {
    // A double scale printed through "%d" would print garbage: the element
    // type decides the conversion.
    auto dbl = testdata::makeShared(AGL_DOUBLE, 1, 11, [](int, int c) { return 0.5 * c; });
    ASSERT_TRUE(dbl);
    AxisNumbers a = agl::indexAxisNumbers(0, 11, 0, false, {3, 0}, false, dbl.get());
    EXPECT_EQ(a.format, "%.3f");
    auto n = numbersOf(a, dbl.get());
    EXPECT_EQ(n, (std::vector<std::string>{"0.0", "2.5", "5.0"}));
    // The same double elements through an integer format keep their fraction.
    n = agl::makeAxisNumbers(0, 5, 3, "%d", dbl.get());
    EXPECT_EQ(n, (std::vector<std::string>{"0.0", "2.5", "5.0"}));

    auto ints = testdata::makeShared(AGL_LONG, 1, 4, [](int, int c) { return -100000 * c; });
    ASSERT_TRUE(ints);
    n = agl::makeAxisNumbers(0, 1, 4, "%.3f", ints.get());
    EXPECT_EQ(n, (std::vector<std::string>{"0", "-100000", "-200000", "-300000"}));
    // Indices past the scale are clamped to its last element.
    n = agl::makeAxisNumbers(2, 1, 4, "%d", ints.get());
    EXPECT_EQ(n.back(), "-300000");
}

struct RangeCase {
    const char* name;
    double lo, hi;
    bool integerData;
};
// ctest shows the case by its name.
void PrintTo(const RangeCase& c, std::ostream* out) {
    *out << c.name;
}

class ValueAxis : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ValueAxis, AutoScaledRangesGiveRoundDistinctTicks) {
    const RangeCase c = GetParam();
    double lo = c.lo, hi = c.hi;
    agl::roundAxisRange(lo, hi);
    ASSERT_LE(lo, c.lo);
    ASSERT_GE(hi, c.hi);
    ASSERT_GT(hi, lo);
    for (int n : {3, 5, 10}) {
        const AxisNumbers a = agl::valueAxisNumbers(lo, hi, false, {n, 1}, true, c.integerData);
        SCOPED_TRACE(std::string(c.name) + " n=" + std::to_string(n) + " " + a.format);
        expectReadable(a, lo, hi);
        EXPECT_LE(a.major, n);
        EXPECT_GE(a.major, 2);
        // Round ticks reach close to both ends of a rounded range.
        EXPECT_GE(a.endFraction - a.startFraction, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ValueAxis,
    ::testing::Values(
        RangeCase{"unit", 0.0, 1.0, false}, RangeCase{"offset", 0.13, 0.87, false},
        RangeCase{"tiny", 1.2e-7, 4.7e-7, false}, RangeCase{"huge", -3e25, 7.1e26, false},
        RangeCase{"negative", -812.5, -3.25, false}, RangeCase{"crossingZero", -0.37, 2.9, false},
        RangeCase{"constant", 5.0, 5.0, false}, RangeCase{"constantZero", 0.0, 0.0, false},
        RangeCase{"bytes", 0, 255, true}, RangeCase{"fewIntegers", 3, 5, true},
        RangeCase{"bigIntegers", -2000000000.0, 2000000000.0, true},
        RangeCase{"floatLimit", -1.7e38, 1.7e38, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ValueAxisNumbers, CommonRangesReadAsExpected) {
    AxisNumbers a = agl::valueAxisNumbers(0.0, 1.0, false, {5, 1}, true, false);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"0.00", "0.25", "0.50", "0.75", "1.00"}));
    a = agl::valueAxisNumbers(-1.0, 1.0, false, {5, 1}, true, false);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"-1.0", "-0.5", "0.0", "0.5", "1.0"}));
    a = agl::valueAxisNumbers(0, 255, false, {5, 1}, true, true);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"0", "100", "200"}));
    EXPECT_NEAR(a.endFraction, 200.0 / 255.0, 1e-12);
    // Integer data with a span of 3 ticks every whole value.
    a = agl::valueAxisNumbers(3, 6, false, {10, 1}, true, true);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"3", "4", "5", "6"}));
    // Reversed: counted from the top, placed from the top.
    a = agl::valueAxisNumbers(0, 255, true, {5, 1}, true, true);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"200", "100", "0"}));
    EXPECT_NEAR(a.startFraction, 55.0 / 255.0, 1e-12);
    EXPECT_EQ(a.endFraction, 1.0);
}

TEST(ValueAxisNumbers, WithoutAutoDetailTheRequestedCountSpansTheRange) {
    const AxisNumbers a = agl::valueAxisNumbers(0.0, 7.3, false, {5, 1}, false, false);
    EXPECT_EQ(a.major, 5);
    EXPECT_NEAR(a.step, 7.3 / 4, 1e-12);
    EXPECT_EQ(a.endFraction, 1.0);
    const auto n = numbersOf(a);
    EXPECT_EQ(n.front(), "0.000");
    EXPECT_EQ(n[1], "1.825");
    EXPECT_EQ(n.back(), "7.300");
}

TEST(ValueAxisNumbers, NonFiniteRangesFallBack) {
    const double nan = std::nan("");
    for (auto [lo, hi] :
         {std::pair{nan, 1.0}, std::pair{0.0, double(INFINITY)}, std::pair{2.0, 1.0}}) {
        const AxisNumbers a = agl::valueAxisNumbers(lo, hi, false, {5, 1}, true, false);
        EXPECT_TRUE(std::isfinite(a.first) && std::isfinite(a.step));
        EXPECT_GE(a.major, 2);
    }
}

TEST(RoundAxisRange, ContainsTheRangeAndNeverDegenerates) {
    struct Case {
        double lo, hi;
    };
    for (Case c : {Case{0.13, 0.87}, Case{-1e-30, 1e-30}, Case{-5e-7, 3.0}, Case{1e30, 1e30},
                   Case{-1.7e38, -1.7e38}, Case{1.7e38, 1.7e38}, Case{0.0, 0.0}, Case{-0.001, 1e6},
                   Case{3.0, 3.0}}) {
        double lo = c.lo, hi = c.hi;
        agl::roundAxisRange(lo, hi);
        EXPECT_TRUE(std::isfinite(lo) && std::isfinite(hi)) << c.lo;
        EXPECT_GT(hi, lo) << c.lo << " " << c.hi;
        // A box scale ZScale / (hi - lo) must stay finite and non-zero.
        const double scale = 0.8 / (hi - lo);
        EXPECT_TRUE(std::isfinite(scale) && scale > 0) << c.lo;
        EXPECT_LE(lo, std::max(c.lo, -1.7014117331926443e38));
        EXPECT_GE(hi, std::min(c.hi, 1.7014117331926443e38));
        EXPECT_LE(std::fabs(lo), 1.7014117331926443e38);
        EXPECT_LE(std::fabs(hi), 1.7014117331926443e38);
    }
    double lo = 0.13, hi = 0.87;
    agl::roundAxisRange(lo, hi);
    EXPECT_DOUBLE_EQ(lo, 0.1);
    EXPECT_DOUBLE_EQ(hi, 0.9);
    lo = std::nan("");
    hi = 1;
    agl::roundAxisRange(lo, hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);
}

TEST(NumberStrings, ShorteningDropsOnlyTrailingZeros) {
    std::vector<std::string> n = {"0.250", "0.500", "0.750", "1.000"};
    agl::shortenFloatingNumbers(n);
    EXPECT_EQ(n, (std::vector<std::string>{"0.25", "0.50", "0.75", "1.00"}));
    n = {"0.000", "1.000", "2.000"};
    agl::shortenFloatingNumbers(n);
    EXPECT_EQ(n, (std::vector<std::string>{"0.", "1.", "2."}));
    n = agl::makeAxisNumbers(0.1, 0.1, 3, "%.3f");
    EXPECT_EQ(n, (std::vector<std::string>{"0.1", "0.2", "0.3"}));
    // A zero inside the fraction is a digit, not the end of the number.
    n = {"1.050", "2.050"};
    agl::shortenFloatingNumbers(n);
    EXPECT_EQ(n, (std::vector<std::string>{"1.05", "2.05"}));
    // Exponents survive.
    n = {"1.500e+07", "3.000e+07"};
    agl::shortenFloatingNumbers(n);
    EXPECT_EQ(n, (std::vector<std::string>{"1.5e+07", "3.0e+07"}));
    n = {"0.0e+00", "5.0e-06", "1.0e-05"};
    agl::shortenFloatingNumbers(n);
    EXPECT_EQ(n, (std::vector<std::string>{"0e+00", "5e-06", "1e-05"}));
}

TEST(NumberStrings, ConversionFollowsTheValueAndTextIsBounded) {
    // A tick at 2.9999999 (a step added up in floating point) is tick 3.
    EXPECT_EQ(agl::formatAxisNumber("%d", 2.9999999), "3");
    EXPECT_EQ(agl::formatAxisNumber("%d", -2.9999999), "-3");
    // Integer formats of values beyond 32 bits neither overflow nor wrap.
    EXPECT_EQ(agl::formatAxisNumber("%d", 3e9), "3000000000");
    EXPECT_EQ(agl::formatAxisNumber("%d", 1e300), "9223372036854774784");
    EXPECT_EQ(agl::formatAxisNumber("%.2f", 1.0 / 3.0), "0.33");
    // Formats that are not one numeric conversion are not trusted.
    EXPECT_EQ(agl::formatAxisNumber("%s", 1.5), "1.5");
    EXPECT_EQ(agl::formatAxisNumber("%d %d", 1.5), "1.5");
    EXPECT_EQ(agl::formatAxisNumber("%n", 1.5), "1.5");
    EXPECT_EQ(agl::formatAxisNumber("%999.999f", 1.5), "1.5");
    EXPECT_LE(agl::formatAxisNumber("%.40f", 1e300).size(), size_t(agl::kMaxNumberText));
    EXPECT_LE(agl::formatAxisNumber("%f", 1e300).size(), size_t(agl::kMaxNumberText));
    EXPECT_EQ(agl::formatAxisInteger("%.3f", 42), "42");
    EXPECT_EQ(agl::formatAxisInteger("%5d", 42), "   42");
    EXPECT_EQ(agl::formatAxisNumber("%.3f", std::nan("")), "nan");
}

TEST(Recompute, SmallControlsHideDetail) {
    agl::AxisInput in;
    in.width = 100;
    in.height = 80;
    agl::AxisLayout out = agl::recomputeAxes(in);
    EXPECT_FALSE(out.showTitles || out.showTicks || out.showNumbers);
    in.width = 140;
    out = agl::recomputeAxes(in);
    EXPECT_TRUE(out.showTitles && out.showTicks);
    EXPECT_FALSE(out.showNumbers);
    in.width = 600;
    out = agl::recomputeAxes(in);
    EXPECT_TRUE(out.showTitles && out.showTicks && out.showNumbers);
    EXPECT_EQ(out.numberFontHeight, 16);
    EXPECT_EQ(out.titleFontHeight, 18);
    in.autoDetail = false;
    in.width = in.height = 50;
    in.fontAutoScale = false;
    in.numberFontHeight = 11;
    out = agl::recomputeAxes(in);
    EXPECT_TRUE(out.showTitles && out.showTicks && out.showNumbers);
    EXPECT_EQ(out.numberFontHeight, 11);
}

TEST(Recompute, IndexAxesCountIndicesAndValueAxesCarryValues) {
    agl::AxisInput in;
    in.width = 800;
    in.height = 600;
    in.requestedMajor[0] = in.requestedMajor[1] = in.requestedMajor[2] = 5;
    in.roiFirst[0] = 0;
    in.roiLength[0] = 64;
    in.roiFirst[1] = 0;
    in.roiLength[1] = 48;
    in.minimum[2] = -1.0;
    in.maximum[2] = 1.5;
    agl::AxisLayout out = agl::recomputeAxes(in);
    EXPECT_EQ(out.axis[0].format, "%d");
    EXPECT_EQ(out.axis[0].step, std::round(out.axis[0].step));
    // Five requested ticks over -1..1.5: a step of 1 is the finest round one.
    EXPECT_EQ(numbersOf(out.axis[2]), (std::vector<std::string>{"-1", "0", "1"}));
    expectReadable(out.axis[2], -1.0, 1.5);
    // The vector graph's x and y carry values too.
    in.graphType = 3;
    in.minimum[0] = -2;
    in.maximum[0] = 2;
    out = agl::recomputeAxes(in);
    expectReadable(out.axis[0], -2, 2);
    EXPECT_EQ(numbersOf(out.axis[0]), (std::vector<std::string>{"-2", "-1", "0", "1", "2"}));
}

TEST(BoxMapping, NoZeroOrNonFiniteScaleReachesTheGrid) {
    struct Case {
        double extent, lo, hi;
    };
    for (Case c :
         {Case{0.8, 0, 1}, Case{0.8, 1e30, 1e30 + 1e-5}, Case{std::nan(""), 0, 1}, Case{0.0, 0, 1},
          Case{0.8, -1e308, 1e308}, Case{0.8, std::nan(""), 1}, Case{0.8, 5, 5}, Case{0.8, 2, 1}}) {
        double scale = 0, offset = 0;
        agl::boxMapping(c.extent, c.lo, c.hi, &scale, &offset);
        EXPECT_TRUE(std::isfinite(scale) && scale != 0.0) << c.lo << " " << c.hi << " " << c.extent;
        EXPECT_TRUE(std::isfinite(offset)) << c.lo << " " << c.hi;
    }
    double scale, offset;
    agl::boxMapping(0.8, -1, 1, &scale, &offset);
    EXPECT_DOUBLE_EQ(scale, 0.4);
    EXPECT_DOUBLE_EQ(offset, 0.4);
}

TEST(BoxMapping, HugeClampsScaleTheGridFinitely) {
    // ZMinClamp = ZMaxClamp = 1e30: widening by 1e-5 changes nothing there.
    auto seg =
        testdata::makeShared(AGL_DOUBLE, 4, 4, [](int r, int) { return 1e30 * (1 + r * 1e-7); });
    ASSERT_TRUE(seg);
    aglGraphData d;
    d.setGraphType(1);
    ASSERT_TRUE(d.setFileName(seg->name()));
    d.setAxisAutoScale(false);
    d.setAxisClamp(2, 1e30, 1e30);
    d.update();
    d.runPendingPasses();
    const double scale = d.level(0).filter.componentScale(0);
    EXPECT_TRUE(std::isfinite(scale) && scale != 0.0) << scale;
}

// Integer data: whole steps from the 1-2-2.5-5 series, printed without
// decimals, at least two ticks and no more than asked for, whatever the
// range. A full-range int16 recording once got -40000.00, -13333.33 ...
struct IntegerAxisCase {
    double lo, hi; // the rounded range the box maps
    int major;
};
// ctest shows the case by what it holds.
void PrintTo(const IntegerAxisCase& c, std::ostream* out) {
    *out << c.lo << " to " << c.hi;
}

class IntegerValueAxis : public ::testing::TestWithParam<IntegerAxisCase> {};

TEST_P(IntegerValueAxis, TicksAreWholeRoundStepsPrintedWithoutDecimals) {
    const IntegerAxisCase c = GetParam();
    const AxisNumbers a = agl::valueAxisNumbers(c.lo, c.hi, false, {c.major, 1}, true, true);
    EXPECT_GE(a.major, 2);
    EXPECT_LE(a.major, c.major);
    // Ten digits and more go to exponent form ("2.0e+09"), as for any data.
    const bool digits = std::max(std::fabs(c.lo), std::fabs(c.hi)) < 1e9;
    if (digits) {
        EXPECT_EQ(a.format, "%d");
    }
    EXPECT_EQ(a.step, std::round(a.step));
    const double decade = std::pow(10.0, std::floor(std::log10(a.step)));
    const double m = a.step / decade;
    EXPECT_TRUE(m == 1.0 || m == 2.0 || m == 2.5 || m == 5.0) << a.step;
    for (const std::string& s : numbersOf(a))
        if (digits) {
            EXPECT_EQ(s.find('.'), std::string::npos) << s;
        }
    EXPECT_GE(a.first, c.lo);
    EXPECT_LE(a.first + a.step * (a.major - 1), c.hi);
}

INSTANTIATE_TEST_SUITE_P(ValueAxisNumbers, IntegerValueAxis,
                         ::testing::Values(IntegerAxisCase{-40000, 40000, 4},
                                           IntegerAxisCase{-40000, 40000, 5},
                                           IntegerAxisCase{-40000, 40000, 10},
                                           IntegerAxisCase{-2.2e9, 2.2e9, 4},
                                           IntegerAxisCase{0, 4.4e9, 6}, IntegerAxisCase{0, 255, 4},
                                           IntegerAxisCase{3, 6, 10}, IntegerAxisCase{-3, 2, 3},
                                           IntegerAxisCase{0, 1, 2}));

TEST(ValueAxisNumbers, ARangeThatIsNoMultipleOfTheFirstStepStillGetsRoundTicks) {
    AxisNumbers a = agl::valueAxisNumbers(-40000, 40000, false, {4, 1}, true, true);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"-25000", "0", "25000"}));
    a = agl::valueAxisNumbers(-40000, 40000, false, {4, 1}, true, false);
    EXPECT_EQ(numbersOf(a), (std::vector<std::string>{"-25000", "0", "25000"}));
}

// Ranges as the data gives them (the palette bar takes them unrounded), over
// every magnitude, signs, widths and both kinds of data: the ticks come from
// the 1-2-2.5-5 series (whole steps for integers), sit on multiples of their
// step inside the range, are between two and the count asked for, and print
// distinctly. A seeded generator: the same ranges every run.
TEST(ValueAxisNumbers, AnyRangeGetsRoundTicksOnMultiplesOfTheirStep) {
    std::mt19937 gen(31);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int checked = 0;
    for (int i = 0; i < 4000; ++i) {
        const bool integer = i % 3 == 0;
        const double magnitude =
            std::pow(10.0, integer ? unit(gen) * 9.0 : unit(gen) * 40.0 - 20.0);
        double lo = (unit(gen) * 2.0 - 1.0) * magnitude;
        double hi = lo + magnitude * std::pow(10.0, -unit(gen) * 3.0);
        if (integer) {
            lo = std::floor(lo);
            hi = std::max(lo + 1.0, std::ceil(hi));
        }
        const int n = 3 + i % 7;
        const AxisNumbers a = agl::valueAxisNumbers(lo, hi, false, {n, 0}, true, integer);
        SCOPED_TRACE(std::to_string(lo) + " .. " + std::to_string(hi) + " n=" + std::to_string(n) +
                     " " + a.format);
        ASSERT_GE(a.major, 2);
        // Beyond the count asked only where no round step fits it.
        ASSERT_LE(a.major, 2 * n);
        if (a.major > n) {
            const AxisNumbers strict =
                agl::valueAxisNumbers(lo, hi, false, {n, 0}, true, integer, n);
            EXPECT_LE(strict.major, n);
        }
        const double decade = std::pow(10.0, std::floor(std::log10(a.step) + 1e-9));
        const double m = a.step / decade;
        EXPECT_TRUE(std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 ||
                    std::fabs(m - 2.5) < 1e-9 || std::fabs(m - 5) < 1e-9 ||
                    std::fabs(m - 10) < 1e-9)
            << a.step;
        if (integer) {
            EXPECT_EQ(a.step, std::round(a.step));
        }
        const double q = a.first / a.step;
        EXPECT_NEAR(q, std::round(q), 1e-6 * std::max(1.0, std::fabs(q)));
        expectReadable(a, lo, hi);
        ++checked;
    }
    EXPECT_EQ(checked, 4000);
}
