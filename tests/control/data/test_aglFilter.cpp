// The resampling pass: steps, shapes, element types, clamps, ranges, holes.
#include "ControlTestData.h"
#include "TempDir.h"
#include "aglArray.h"
#include "aglFilter.h"
#include "aglSegment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <ostream>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct StepCase {
    int64_t columns, rows;
    int resolution, maxSamples;
    int rowStep, columnStep, outRows, outColumns;
};
// ctest shows the case by what it holds.
void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.columns << "x" << c.rows << " resolution " << c.resolution;
}

class FilterSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(FilterSteps, StepsAndShapeFollowTheLongerAxisAndTheCap) {
    const StepCase& s = GetParam();
    int rs, cs, rows, cols;
    aglFilter::steps(s.columns, s.rows, s.resolution, s.maxSamples, rs, cs, rows, cols);
    EXPECT_EQ(rs, s.rowStep);
    EXPECT_EQ(cs, s.columnStep);
    EXPECT_EQ(rows, s.outRows);
    EXPECT_EQ(cols, s.outColumns);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, FilterSteps,
    ::testing::Values(
        // Tall: the row count gets the resolution, columns 10 x 4 / 1000 = 0 -> 1.
        StepCase{10, 1000, 4, 512, 4, 1, 250, 10},
        // Wide: the column count gets it, rows follow in proportion.
        StepCase{1000, 100, 8, 512, 1, 8, 100, 125}, StepCase{1000, 500, 8, 512, 4, 8, 125, 125},
        // Square, and a resolution above the extent (step 1).
        StepCase{100, 100, 4, 512, 4, 4, 25, 25}, StepCase{3, 3, 4, 512, 1, 1, 3, 3},
        // Cap: 20000 rows at full resolution -> ceil(20000 / 512) = 40.
        StepCase{20, 20000, 1, 512, 40, 1, 500, 20},
        StepCase{20000, 20000, 1, 1024, 20, 20, 1000, 1000},
        // Output shapes round up: 10 rows at step 3 give 4.
        StepCase{7, 10, 3, 512, 3, 2, 4, 4}));

// A filter over its own array opened on a test segment.
struct Bound {
    std::unique_ptr<aglSegment> seg;
    aglArray array;
    aglFilter filter;
    explicit Bound(std::unique_ptr<aglSegment> s) : seg(std::move(s)) {
        EXPECT_TRUE(seg);
        EXPECT_TRUE(array.open(seg->name(), true));
        filter.setArray(&array);
    }
};

struct TypeCase {
    int type;
    double a, b; // two values written alternately
};
// ctest shows the case by what it holds.
void PrintTo(const TypeCase& c, std::ostream* out) {
    *out << "type " << c.type;
}

class FilterTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FilterTypes, EveryTypeIsReadWithItsSignAndWidth) {
    const TypeCase t = GetParam();
    Bound b(
        testdata::makeShared(t.type, 4, 6, [&](int r, int c) { return (r + c) % 2 ? t.b : t.a; }));
    ASSERT_TRUE(b.filter.filter(1));
    aglFilter::DataLock lock(b.filter);
    ASSERT_EQ(lock.rows(), 4);
    ASSERT_EQ(lock.columns(), 6);
    EXPECT_FLOAT_EQ(lock.at(0, 0), float(t.a));
    EXPECT_FLOAT_EQ(lock.at(0, 1), float(t.b));
    EXPECT_FLOAT_EQ(lock.at(3, 5), float(t.a));
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_DOUBLE_EQ(mn, std::min(t.a, t.b));
    EXPECT_DOUBLE_EQ(mx, std::max(t.a, t.b));

    // The vector grid reads the same way (signed stays signed).
    b.filter.setComponentCount(2);
    b.filter.setSourceColumn(0, 0);
    b.filter.setSourceColumn(1, 1);
    ASSERT_TRUE(b.filter.filter(1));
    EXPECT_EQ(lock.columns(), 2);
    EXPECT_FLOAT_EQ(lock.at(1, 0), float(t.b)); // row 1, column 0
    EXPECT_FLOAT_EQ(lock.at(1, 1), float(t.a));
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, FilterTypes,
    ::testing::Values(TypeCase{AGL_UCHAR, 0, 255}, TypeCase{AGL_CHAR, -128, 127},
                      TypeCase{AGL_USHORT, 1, 65535}, TypeCase{AGL_SHORT, -32768, 7},
                      // Above 2^31: read as unsigned, never as a negative int.
                      TypeCase{AGL_ULONG, 3, 4294967295.0}, TypeCase{AGL_LONG, -2147483648.0, 5},
                      TypeCase{AGL_FLOAT, -1.5, 0x1p100}, TypeCase{AGL_DOUBLE, -1e-300, 3.5}));

TEST(Filter, SamplesSkipAndStartAtTheWindow) {
    // Value encodes its position: 1000 x row + column.
    Bound b(testdata::makeShared(AGL_LONG, 40, 30, [](int r, int c) { return 1000 * r + c; }));
    b.array.setPlaneRoi(5, 3, 20, 36); // columns 5..24, rows 3..38
    ASSERT_TRUE(b.filter.filter(4));
    EXPECT_EQ(b.filter.rowStep(), 4);
    EXPECT_EQ(b.filter.columnStep(), 2); // 20 x 4 / 36
    aglFilter::DataLock lock(b.filter);
    ASSERT_EQ(lock.rows(), 9);
    ASSERT_EQ(lock.columns(), 10);
    for (int i = 0; i < lock.rows(); ++i)
        for (int j = 0; j < lock.columns(); ++j)
            ASSERT_EQ(lock.at(i, j), float(1000 * (3 + 4 * i) + 5 + 2 * j)) << i << "," << j;
}

TEST(Filter, FailsWithoutResolutionOrArray) {
    aglFilter f;
    EXPECT_FALSE(f.filter(1));
    Bound b(testdata::makeShared(AGL_FLOAT, 3, 3, [](int, int) { return 1; }));
    EXPECT_FALSE(b.filter.filter(0));
    EXPECT_FALSE(b.filter.isDone());
    EXPECT_TRUE(b.filter.filter(1));
    EXPECT_TRUE(b.filter.isDone());
}

TEST(Filter, ClampFlagClampsValuesButRangeStaysInsideBoundsEitherWay) {
    Bound b(testdata::makeShared(AGL_FLOAT, 1, 4, [](int, int c) {
        return c == 0 ? -5 : c == 1 ? 20 : 3;
    }));
    b.filter.setClamp(0, 0.0, 10.0);
    b.filter.setComponentScale(0, 0.08f, 0.0f); // 0..10 onto 0..0.8
    ASSERT_TRUE(b.filter.filter(1));
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_DOUBLE_EQ(mn, 0.0);
    EXPECT_DOUBLE_EQ(mx, 10.0);
    EXPECT_FLOAT_EQ(b.filter.grid()[1], 1.6f); // unclamped 20 drawn at twice the height
    EXPECT_FLOAT_EQ(b.filter.grid()[0], -0.4f);

    b.filter.setClampEnabled(true);
    ASSERT_TRUE(b.filter.filter(1));
    EXPECT_FLOAT_EQ(b.filter.grid()[1], 0.8f);
    EXPECT_FLOAT_EQ(b.filter.grid()[0], 0.0f);
}

TEST(Filter, ClampBoundsOfNonDoubleDataAreLimitedToFloatRange) {
    Bound b(testdata::makeShared(AGL_FLOAT, 1, 2, [](int, int c) { return c ? 3e38 : -3e38; }));
    // Default clamps are +-1.797e304; float data limits them to +-1.7014117e38.
    ASSERT_TRUE(b.filter.filter(1));
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_EQ(mx, 1.7014117331926443e38);
    EXPECT_EQ(mn, -1.7014117331926443e38);
}

TEST(Filter, HugeDoublesAndHugeScalesNeverLeaveFloatRange) {
    Bound b(testdata::makeShared(AGL_DOUBLE, 1, 3, [](int, int c) {
        return c == 0 ? 1e300 : c == 1 ? -1e300 : 1e30;
    }));
    b.filter.setComponentScale(0, 1e5f, 0.0f);
    ASSERT_TRUE(b.filter.filter(1));
    for (int j = 0; j < 3; ++j) {
        EXPECT_TRUE(std::isfinite(b.filter.grid()[j])) << j;
        EXPECT_LE(std::fabs(b.filter.grid()[j]), 1.7014117331926443e38);
    }
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_EQ(mx, 1e300); // double data keeps its range
}

class FilterHoles : public ::testing::TestWithParam<int> {};

TEST_P(FilterHoles, NonFiniteValuesAreHolesOutsideEveryRangeAndClamp) {
    const int type = GetParam();
    Bound b(testdata::makeShared(type, 2, 4, [](int r, int c) {
        const double v[2][4] = {{kNaN, 2.0, kInf, -3.0}, {-kInf, 7.0, kNaN, 1.0}};
        return v[r][c];
    }));
    b.filter.setClampEnabled(true);
    b.filter.setClamp(0, -10.0, 10.0);
    ASSERT_TRUE(b.filter.filter(1));
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_DOUBLE_EQ(mn, -3.0);
    EXPECT_DOUBLE_EQ(mx, 7.0);
    EXPECT_EQ(b.filter.holeCount(), 4);
    const float* g = b.filter.grid();
    EXPECT_TRUE(aglFilter::isHole(g[0]));
    EXPECT_TRUE(aglFilter::isHole(g[2])); // an infinity is a hole, not a clamped 10
    EXPECT_TRUE(aglFilter::isHole(g[4]));
    EXPECT_FLOAT_EQ(g[1], 2.0f);

    // Re-scaling keeps holes as holes and finite values finite.
    b.filter.setComponentScale(0, 0.5f, 1.0f);
    b.filter.reapplyScale(0);
    EXPECT_TRUE(aglFilter::isHole(g[0]));
    EXPECT_FLOAT_EQ(g[1], 2.0f);
    EXPECT_FLOAT_EQ(g[5], 4.5f);
}

INSTANTIATE_TEST_SUITE_P(FloatingTypes, FilterHoles, ::testing::Values(AGL_FLOAT, AGL_DOUBLE));

TEST(Filter, ContiguousAndSkippingRowsAgreeOnValuesRangesAndHoles) {
    // Odd widths and holes in every position: the contiguous float row runs
    // two samples at a time with a single last one; the skipping path one by
    // one. Both must give the same grid as the element-by-element rule.
    std::mt19937 rng(11);
    std::vector<double> v(9 * 13);
    for (double& x : v) {
        const unsigned r = rng() % 10;
        x = r == 0 ? kNaN : r == 1 ? -kInf : double(int(rng() % 2001) - 1000) / 8.0;
    }
    Bound b(testdata::makeShared(AGL_FLOAT, 9, 13,
                                 [&](int r, int c) { return v[size_t(r * 13 + c)]; }));
    for (const bool clamp : {false, true}) {
        for (const int step : {1, 2, 3}) {
            b.filter.setClampEnabled(clamp);
            b.filter.setClamp(0, -50.0, 60.0);
            b.filter.setComponentScale(0, 0.5, 3.0);
            b.filter.setMaxSamples(13 / step + (13 % step ? 1 : 0));
            ASSERT_TRUE(b.filter.filter(1));
            ASSERT_EQ(b.filter.columnStep(), step);
            double mn = 1e300, mx = -1e300;
            int64_t holes = 0;
            aglFilter::DataLock lock(b.filter);
            for (int i = 0; i < lock.rows(); ++i)
                for (int j = 0; j < lock.columns(); ++j) {
                    double x = v[size_t(i * b.filter.rowStep() * 13 + j * step)];
                    const float g = lock.at(i, j);
                    if (!std::isfinite(x)) {
                        ++holes;
                        ASSERT_TRUE(aglFilter::isHole(g)) << i << "," << j;
                        continue;
                    }
                    if (clamp) x = std::clamp(x, -50.0, 60.0);
                    mn = std::min(mn, std::max(x, -50.0));
                    mx = std::max(mx, std::min(x, 60.0));
                    ASSERT_FLOAT_EQ(g, float(x * 0.5 + 3.0)) << i << "," << j;
                }
            double fmx, fmn;
            b.filter.range(0, fmx, fmn);
            EXPECT_EQ(fmn, mn);
            EXPECT_EQ(fmx, mx);
            EXPECT_EQ(b.filter.holeCount(), holes);
        }
    }
}

TEST(Filter, AllHolesGiveTheEmptyRange) {
    Bound b(testdata::makeShared(AGL_FLOAT, 3, 3, [](int, int) { return kNaN; }));
    ASSERT_TRUE(b.filter.filter(1));
    double mx, mn;
    b.filter.range(0, mx, mn);
    EXPECT_GT(mn, mx);
    EXPECT_EQ(b.filter.holeCount(), 9);
}

TEST(Filter, GridIsReusedForTheSameShapeAndReplacedForAnother) {
    Bound b(testdata::makeShared(AGL_FLOAT, 64, 64, [](int r, int c) { return r + c; }));
    ASSERT_TRUE(b.filter.filter(4));
    const float* first = b.filter.grid();
    ASSERT_TRUE(b.filter.filter(4));
    EXPECT_EQ(b.filter.grid(), first);
    ASSERT_TRUE(b.filter.filter(2));
    aglFilter::DataLock lock(b.filter);
    EXPECT_EQ(lock.rows(), 32);
    EXPECT_EQ(lock.columns(), 32);
    EXPECT_FLOAT_EQ(lock.at(31, 31), 124.0f);
}

TEST(FilterVector, SourcesAreColumnsOfTheWindowAndUnusedOnesReadZero) {
    // 5 rows x 6 columns; value 10 x row + column.
    Bound b(testdata::makeShared(AGL_SHORT, 5, 6, [](int r, int c) { return 10 * r + c; }));
    b.array.setPlaneRoi(2, 0, 4, 5); // columns 2..5
    b.filter.setComponentCount(4);
    b.filter.setSourceColumn(0, 3);  // absolute column 5
    b.filter.setSourceColumn(1, -1); // unused
    b.filter.setSourceColumn(2, 0);  // absolute column 2
    b.filter.setSourceColumn(3, 5);  // beyond the window's 4 columns: unused, not the next row
    ASSERT_TRUE(b.filter.filter(1));
    aglFilter::DataLock lock(b.filter);
    ASSERT_EQ(lock.rows(), 5);
    ASSERT_EQ(lock.columns(), 4);
    ASSERT_EQ(lock.components(), 4);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lock.at(i, 0), float(10 * i + 5));
        EXPECT_EQ(lock.at(i, 1), 0.0f);
        EXPECT_EQ(lock.at(i, 2), float(10 * i + 2));
        EXPECT_EQ(lock.at(i, 3), 0.0f);
    }
    double mx, mn;
    b.filter.range(1, mx, mn);
    EXPECT_EQ(mn, 0.0);
    EXPECT_EQ(mx, 0.0);
    b.filter.range(0, mx, mn);
    EXPECT_EQ(mn, 5.0);
    EXPECT_EQ(mx, 45.0);
}

TEST(FilterVector, RowsAreSkippedByTheRowStep) {
    Bound b(testdata::makeShared(AGL_DOUBLE, 100, 3, [](int r, int c) { return r * 3 + c; }));
    b.filter.setComponentCount(1);
    b.filter.setSourceColumn(0, 2);
    ASSERT_TRUE(b.filter.filter(8));
    EXPECT_EQ(b.filter.outputRows(), 13);
    EXPECT_EQ(b.filter.grid()[12], float(96 * 3 + 2));
}

TEST(FilterAccessors, OutOfRangeComponentsAreIgnored) {
    aglFilter f;
    f.setComponentScale(4, 9.0f, 9.0f);
    f.setSourceColumn(-1, 3);
    EXPECT_EQ(f.componentScale(4), 0.0f);
    EXPECT_EQ(f.componentOffset(-1), 0.0f);
    EXPECT_EQ(f.sourceColumn(7), -1);
    EXPECT_EQ(f.clampLow(5), 0.0);
    EXPECT_EQ(aglFilter::maxSamplesFor(2), 1024);
    EXPECT_EQ(aglFilter::maxSamplesFor(3), 10000);
    EXPECT_EQ(aglFilter::maxSamplesFor(1), 512);
}

// Resident bytes of the mapping that holds address, in this process.
long residentKiBOfMapping(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &lo, &hi) == 2 && line.find(' ') != 0) {
            const auto a = uintptr_t(address);
            inside = a >= lo && a < hi;
        } else if (inside && line.rfind("Rss:", 0) == 0) {
            return std::strtol(line.c_str() + 4, nullptr, 10);
        }
    }
    return -1;
}

// A file's window is scanned whole: through the file's descriptor when it is
// whole rows, through the mapping in blocks when it is not. Either way every
// part's extremes count (a hole first, the minimum just past the first 8 MiB,
// the maximum in the last element, a value written through the mapping just
// before), the scan leaves no more of the file mapped in this process than
// before (a 24 MiB file scanned whole stayed resident), and the value written
// is lost neither from the mapping nor from the file.
TEST(RangeScan, AFileIsReadWholeLeftUnmappedAndUnchanged) {
    TempDir dir;
    const std::string path = dir.file("scan.agl");
    const int32_t ext[2] = {3000, 2048};
    const int64_t n = int64_t(ext[0]) * ext[1];
    const int64_t low = (int64_t(8) << 20) / 4 + 2048 + 3; // row 1025, column 3
    {
        aglSegment seg;
        ASSERT_TRUE(seg.create(path.c_str(), 2, ext, AGL_FLOAT, AGL_LANG_C));
    }
    {
        aglArray w;
        ASSERT_TRUE(w.open(path, false));
        ASSERT_EQ(w.rowStep(), 2048 * 4);
        auto* v = static_cast<float*>(w.mutableData());
        ASSERT_NE(v, nullptr);
        for (int64_t i = 0; i < n; ++i)
            v[i] = float(i % 1000);
        v[0] = std::numeric_limits<float>::quiet_NaN();
        v[low] = -5.0f;
        v[n - 1] = 4096.5f;
    }
    const int64_t changed = n / 2 + 17; // row 1500, column 17
    for (const bool wholeRows : {true, false}) {
        SCOPED_TRACE(wholeRows ? "whole rows" : "columns 3..2046");
        aglArray a;
        ASSERT_TRUE(a.open(path, false));
        ASSERT_TRUE(a.segment() && a.segment()->isFileBacked());
        if (!wholeRows) a.setPlaneRoi(3, 0, 2044, 3000); // misses the last column
        static_cast<float*>(a.mutableData())[changed] = -123.25f - float(wholeRows);
        // The elements' mapping (the header's page is a mapping of its own).
        const void* elements = static_cast<const float*>(a.data()) + n / 2;
        const long before = residentKiBOfMapping(elements);
        ASSERT_GE(before, 0);

        double mn = 0, mx = 0;
        ASSERT_TRUE(aglFilter::scanWindow(a, -1, false, 0.0, 0.0, mn, mx));
        EXPECT_EQ(mn, -123.25 - double(wholeRows));
        EXPECT_EQ(mx, wholeRows ? 4096.5 : 999.0);
        EXPECT_LE(residentKiBOfMapping(elements), before + 64) << before;
        EXPECT_EQ(static_cast<const float*>(a.data())[changed], -123.25f - float(wholeRows));

        aglArray again;
        ASSERT_TRUE(again.open(path, true));
        EXPECT_EQ(static_cast<const float*>(again.data())[changed], -123.25f - float(wholeRows));
        EXPECT_EQ(static_cast<const float*>(again.data())[low], -5.0f);
    }
}

// A file cut short under an open array: the scan reads what is left and the
// vanished part as zeros, and neither crashes nor reports the lost maximum.
TEST(RangeScan, AFileCutShortUnderTheArrayIsReadAsFarAsItGoes) {
    TempDir dir;
    const std::string path = dir.file("cut.agl");
    const int32_t ext[2] = {2000, 1024};
    {
        aglSegment seg;
        ASSERT_TRUE(seg.create(path.c_str(), 2, ext, AGL_FLOAT, AGL_LANG_C));
    }
    aglArray a;
    ASSERT_TRUE(a.open(path, false));
    auto* v = static_cast<float*>(a.mutableData());
    for (int64_t i = 0; i < int64_t(ext[0]) * ext[1]; ++i)
        v[i] = 1.0f + float(i % 7);
    v[int64_t(ext[0]) * ext[1] - 1] = 500.0f;
    ASSERT_EQ(msync(const_cast<uint8_t*>(a.segment()->base()), a.segment()->totalSize(), MS_SYNC),
              0);
    ASSERT_EQ(truncate(path.c_str(), off_t(a.segment()->totalSize() / 3)), 0);

    double mn = 0, mx = 0;
    ASSERT_TRUE(aglFilter::scanWindow(a, -1, false, 0.0, 0.0, mn, mx));
    EXPECT_EQ(mn, 0.0);
    EXPECT_EQ(mx, 7.0);
}

} // namespace
