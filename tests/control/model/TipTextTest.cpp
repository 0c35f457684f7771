// The data-tip texts: every element type at both ends of its range, in C and
// Fortran indexing, one- and two-dimensional, vector rows and the palette bar.
#include "ControlTipText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

using namespace plotrane;

namespace {

struct ScalarCase {
    const char* name;
    bool fortran, integer, twoDimensional;
    int64_t row, column;
    double value;
    const char* want;
};
// ctest shows the case by its name.
void PrintTo(const ScalarCase& c, std::ostream* out) {
    *out << c.name;
}

TipArray arrayOf(const ScalarCase& c) {
    TipArray a;
    a.fortran = c.fortran;
    a.integer = c.integer;
    a.twoDimensional = c.twoDimensional;
    a.rowLowerBound = c.fortran ? 1 : 0;
    a.columnLowerBound = c.fortran ? -3 : 0;
    return a;
}

class ScalarTip : public ::testing::TestWithParam<ScalarCase> {};

} // namespace

TEST_P(ScalarTip, NamesTheElementAndItsValue) {
    const ScalarCase& c = GetParam();
    EXPECT_EQ(scalarTipText(arrayOf(c), c.row, c.column, tipValue(c.value).value), c.want);
}

// Fortran cases: row lower bound 1, column lower bound -3.
INSTANTIATE_TEST_SUITE_P(
    TipText, ScalarTip,
    ::testing::Values(
        ScalarCase{"DoublePlainC", false, false, true, 2, 4, 12.5, "[2][4]: 12.500000"},
        ScalarCase{"DoublePlainFortran", true, false, true, 2, 4, 12.5, "(1, 3): 12.500000"},
        ScalarCase{"DoubleExponentC", false, false, true, 2, 4, 1234567.0, "[2][4]: 1.234567e+006"},
        ScalarCase{"TinyStaysPlain", false, false, true, 0, 0, 1e-7, "[0][0]: 0.000000"},
        ScalarCase{"SmallStaysPlain", false, false, true, 0, 0, -4.5e-5, "[0][0]: -0.000045"},
        ScalarCase{"HoleShowsZero", false, false, true, 1, 1, std::nan(""), "[1][1]: 0.000000"},
        ScalarCase{"DoubleLargestIsLimited", false, false, true, 0, 0, 1.7976931348623157e308,
                   "[0][0]: 1.797693e+304"},
        ScalarCase{"DoubleSmallestIsLimited", true, false, true, 0, 0, -1.7976931348623157e308,
                   "(-3, 1): -1.797693e+304"},
        ScalarCase{"FloatLargest", false, false, true, 0, 0, 3.4028234663852886e38,
                   "[0][0]: 3.402823e+038"},
        ScalarCase{"FloatSmallest", false, false, true, 0, 0, -3.4028234663852886e38,
                   "[0][0]: -3.402823e+038"},
        ScalarCase{"UcharEnds", false, true, true, 0, 1, 255, "[0][1]: 255"},
        ScalarCase{"CharSmallest", true, true, true, 0, 1, -128, "(-2, 1): -128"},
        ScalarCase{"UshortLargest", false, true, true, 3, 0, 65535, "[3][0]: 65535"},
        ScalarCase{"ShortSmallest", false, true, true, 3, 0, -32768, "[3][0]: -32768"},
        ScalarCase{"UlongFourThousandMillion2D", false, true, true, 0, 1, 4000000000.0,
                   "[0][1]: 4000000000"},
        ScalarCase{"UlongLargestFortran", true, true, true, 0, 1, 4294967295.0,
                   "(-2, 1): 4294967295"},
        ScalarCase{"LongSmallest", false, true, true, 0, 0, -2147483648.0, "[0][0]: -2147483648"},
        ScalarCase{"LongBeyondFloat", false, true, true, 0, 0, 16777217.0, "[0][0]: 16777217"},
        ScalarCase{"IntegerTruncates", false, true, true, 0, 0, -7.9, "[0][0]: -7"},
        ScalarCase{"OneDUlong", false, true, false, 0, 7, 4000000000.0, "[7]: 4000000000"},
        ScalarCase{"OneDFortranByColumn", true, true, false, 0, 7, -5, "(4): -5"},
        ScalarCase{"OneDFortranByRow", true, false, false, 6, 0, 2.25, "(7): 2.250000"},
        ScalarCase{"OneDZeroIsExponent", false, false, false, 0, 2, 0.0, "[2]: 0.000000e+000"},
        ScalarCase{"OneDHole", false, false, false, 0, 2, INFINITY, "[2]: 0.000000e+000"},
        ScalarCase{"OneDLargeExponent", false, false, false, 0, 2, 123456789.0,
                   "[2]: 1.234568e+008"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(TipText, NonFiniteAndDenormalValuesAreNotValid) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {std::nan(""), inf, -inf, std::numeric_limits<double>::denorm_min()}) {
        const TipValue t = tipValue(v);
        EXPECT_FALSE(t.valid) << v;
        EXPECT_EQ(t.value, 0.0) << v;
    }
    EXPECT_TRUE(tipValue(0.0).valid);
    EXPECT_EQ(tipValue(123456789.0).value, 123456789.0) << "the exact double, not a float";
    EXPECT_EQ(tipValue(-1e308).value, -1.7976931348623158e304);
}

TEST(TipText, VectorRowsListTheirPackedValues) {
    TipArray c, f;
    f.fortran = true;
    TipArray ci = c;
    ci.integer = true;
    using V = std::vector<double>;
    EXPECT_EQ(vectorTipText(c, 4, V{1.5, -2.25}), "[4]: (1.500, -2.250)");
    EXPECT_EQ(vectorTipText(f, 4, V{1.5, -2.25, 3.0}), "(4): (1.500, -2.250, 3.000)")
        << "the 0-based row in both languages";
    EXPECT_EQ(vectorTipText(c, 0, V{12345.0, 1.0, 0.0, 2.0}),
              "[0]: (1.234e+004, 1.000e+000, 0.000e+000, 2.000e+000)");
    EXPECT_EQ(vectorTipText(c, 0, V{0.0, 0.0}), "[0]: (0.000e+000, 0.000e+000)")
        << "all magnitudes tiny: exponent form";
    EXPECT_EQ(vectorTipText(ci, 9, V{4000000000.0, -2147483648.0, 7.0, 1.0}),
              "[9]: (4000000000, -2147483648, 7, 1)");
    EXPECT_FALSE(vectorTipText(c, 0, V{1.0}).has_value());
    EXPECT_FALSE(vectorTipText(c, 0, V{}).has_value());
}

TEST(TipText, PaletteValuesPrintWhole) {
    EXPECT_EQ(paletteTipText(true, 3000000000.5), "3000000000");
    EXPECT_EQ(paletteTipText(true, -2147483649.0), "-2147483649");
    EXPECT_EQ(paletteTipText(false, 0.125), "0.125");
    EXPECT_EQ(paletteTipText(false, 2.5e10), "2.5e+010");
}

TEST(TipText, ExponentsGetThreeDigits) {
    EXPECT_EQ(withThreeDigitExponent("1.0e+06"), "1.0e+006");
    EXPECT_EQ(withThreeDigitExponent("(1e-5, 2e+123)"), "(1e-005, 2e+123)");
    EXPECT_EQ(withThreeDigitExponent("none"), "none");
}
