// Number formats of the spreadsheet: widths, fixed and exponent forms, the
// compact form, not-a-number text and precisions from untrusted sources.
#include "GridFormat.h"
#include "aglTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using grid::buildFormat;
using grid::charsPerCell;

TEST(GridFormat, FixedFormSizedFromLargestVisibleValue) {
    // 3 x 4 floats up to 123.45 at precision 6: 9 characters, 4 decimals.
    const int chars = charsPerCell(AGL_FLOAT, false, 6, 4);
    EXPECT_EQ(chars, 9);
    const auto f = buildFormat(AGL_FLOAT, 6, false, chars, -1.0, 123.45);
    EXPECT_EQ(f.cellFormat, "% 9.4f");
    EXPECT_EQ(f.format(123.45), " 123.4500");
    EXPECT_EQ(f.format(-2.5), "  -2.5000");
    EXPECT_EQ(f.format(0.0), "   0.0000");
    EXPECT_EQ(f.format(-0.0), "   0.0000");
}

// A nonzero value never shows as zero. A fill whose smallest nonzero value
// the fixed form would show without a significant digit is written in the
// exponent form throughout; one that keeps a digit stays fixed; a value the
// fill did not know of (a copied block wider than the view) takes the
// fallback or compact form.
TEST(GridFormat, NonzeroValuesNeverShowAsZero) {
    const int chars = charsPerCell(AGL_DOUBLE, false, 6, 10);
    const auto field = buildFormat(AGL_DOUBLE, 6, false, chars, -1.0, 1.0, 1e-6);
    EXPECT_TRUE(field.useExp);
    EXPECT_EQ(field.cellFormat, "% .6e");
    EXPECT_EQ(field.format(1e-6), " 1.000000e-06");
    EXPECT_EQ(field.format(-2.5e-7), "-2.500000e-07");
    EXPECT_EQ(field.format(0.0), " 0.000000e+00");

    const auto keeps = buildFormat(AGL_FLOAT, 6, false, chars, -1.0, 1.0, 1.26e-5);
    EXPECT_FALSE(keeps.useExp);
    EXPECT_EQ(keeps.format(1.26e-5), " 0.000013");
    EXPECT_EQ(keeps.format(3e-6), " 0.000003");
    // Beside large values fewer decimals are left: 0.001 has none of them.
    const auto beside = buildFormat(AGL_DOUBLE, 6, false, chars, -1.0, 12345.6, 0.001);
    EXPECT_EQ(beside.cellFormat, "% .6e");
    EXPECT_EQ(beside.format(12345.6), " 1.234560e+04");
    EXPECT_EQ(buildFormat(AGL_DOUBLE, 6, false, chars, -1.0, 12345.6, 0.05).cellFormat, "% 9.2f");

    // Unknown to the fill: no zeros either.
    const auto unaware = buildFormat(AGL_DOUBLE, 6, false, chars, -1.0, 1.0);
    EXPECT_EQ(unaware.format(1e-6), "1.0e-06");
    EXPECT_EQ(unaware.format(-3e-12), "-3.0e-12");
    const auto p4 = buildFormat(AGL_DOUBLE, 4, false, 7, -1.0, 1.0);
    EXPECT_EQ(p4.format(2e-9), "2e-9");
    // The exponent form asked for stays as it was; integers are untouched.
    EXPECT_EQ(buildFormat(AGL_DOUBLE, 3, true, 10, -1, 1, 1e-9).cellFormat, "% .3e");
    EXPECT_EQ(buildFormat(AGL_LONG, 6, false, 11, -1, 5, 1.0).cellFormat, "% 2d");
}

TEST(GridFormat, ValueTooLargeForFixedFormFallsBack) {
    // The visible range is small but one value is huge: fallback at P >= 6,
    // compact "%de%d" below.
    const auto p6 = buildFormat(AGL_DOUBLE, 6, false, 9, -1.0, 1.0);
    EXPECT_EQ(p6.format(1.0e9), "1.0e+09");
    const auto p4 = buildFormat(AGL_DOUBLE, 4, false, 7, -1.0, 1.0);
    EXPECT_EQ(p4.format(1.0e9), "1e9");
    EXPECT_EQ(p4.format(-3.7e12), "-3e12");
    // Small values that need more decimals than the format has.
    EXPECT_EQ(p4.format(1.0e-4), "10e-5");
}

TEST(GridFormat, ExponentFormUsesPrecisionForEveryType) {
    const auto f = buildFormat(AGL_FLOAT, 4, true, charsPerCell(AGL_FLOAT, true, 4, 10), -1, 1);
    EXPECT_EQ(f.format(1234.5), " 1.2345e+03");
    const auto i = buildFormat(AGL_SHORT, 3, true, charsPerCell(AGL_SHORT, true, 3, 10), -1, 1);
    EXPECT_EQ(i.format(-7), "-7.000e+00");
}

TEST(GridFormat, NotANumberAndInfinityShowCentredText) {
    const auto f = buildFormat(AGL_FLOAT, 6, false, 9, -1.0, 1.0);
    EXPECT_EQ(f.format(std::nan("")), " 1.#QNAN ");
    EXPECT_EQ(f.format(std::numeric_limits<double>::infinity()), " 1.#QNAN ");
    const auto wide = buildFormat(AGL_DOUBLE, 15, false, 18, -1.0, 1.0);
    EXPECT_EQ(wide.nanText, "     1.#QNAN      ");
}

TEST(GridFormat, IntegerTypes) {
    const auto ul =
        buildFormat(AGL_ULONG, 6, false, charsPerCell(AGL_ULONG, false, 6, 5), 0, 4000000000.0);
    EXPECT_EQ(ul.cellFormat, "% 11u");
    EXPECT_EQ(ul.format(4000000000.0), " 4000000000");
    const auto sh = buildFormat(AGL_SHORT, 6, false, 7, -300, 20);
    EXPECT_EQ(sh.format(-300), "-300");
    EXPECT_EQ(sh.format(20), "  20");
    const auto uc = buildFormat(AGL_UCHAR, 6, false, 5, 0, 255);
    EXPECT_EQ(uc.format(255), " 255");
}

TEST(GridFormat, UnknownTypeShowsQuestionMarks) {
    const auto f = buildFormat(17, 6, false, 9, -1.0, 1.0);
    EXPECT_EQ(f.format(1.0), "???");
}

TEST(GridFormat, PrecisionFromOutsideIsClampedBeforeAnyFormat) {
    for (int p : {-2147483647 - 1, -5, 0, 2, 16, 1000, 2147483647}) {
        const int want = p < 3 ? 3 : 15;
        EXPECT_EQ(grid::clampPrecision(p), want);
        const auto f =
            buildFormat(AGL_DOUBLE, p, false, charsPerCell(AGL_DOUBLE, false, p, 10), -1, 1);
        EXPECT_EQ(f.precision, want);
        const auto e = buildFormat(AGL_DOUBLE, p, true, 30, -1, 1);
        EXPECT_EQ(e.cellFormat, want == 3 ? "% .3e" : "% .15e");
    }
}

TEST(GridFormat, TextsWiderThanTheCellAreKeptWhole) {
    // 123456789 at precision 6 fits nowhere near 9 characters.
    const int chars = charsPerCell(AGL_DOUBLE, false, 6, 10);
    const auto f = buildFormat(AGL_DOUBLE, 6, false, chars, -1, 123456789.0);
    EXPECT_EQ(f.format(123456789.0), " 123456789.0");
    const auto big = buildFormat(AGL_DOUBLE, 15, false, 18, -1, 1e17);
    EXPECT_EQ(big.format(1e17), " 100000000000000000.0");
    EXPECT_EQ(std::stod(big.format(-1e300)), -1e300);
}

TEST(GridFormat, CharsPerCellRaisedToColumnLabelDigits) {
    EXPECT_EQ(charsPerCell(AGL_UCHAR, false, 6, 10), 5);
    EXPECT_EQ(charsPerCell(AGL_UCHAR, false, 6, 1000000), 7);
    EXPECT_EQ(charsPerCell(AGL_LONG, true, 9, 10), 16);
    EXPECT_EQ(charsPerCell(AGL_CHAR, true, 9, 10), 13);
}

// The texts are written with std::to_chars, not printf: they must be the
// very texts printf makes of the same formats, for every form and width.
TEST(GridFormat, TextsAreWhatPrintfMakesOfTheFormats) {
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-9, 12);
    for (int type = AGL_UCHAR; type <= AGL_DOUBLE; ++type)
        for (int precision : {3, 5, 6, 9, 15})
            for (bool useExp : {false, true})
                for (double range : {1.0, 250.0, 1e7}) {
                    const int chars = charsPerCell(type, useExp, precision, 10);
                    const auto f = buildFormat(type, precision, useExp, chars, -range, range);
                    const bool real = type == AGL_FLOAT || type == AGL_DOUBLE;
                    for (int k = 0; k < 200; ++k) {
                        double v = mantissa(rng) * std::pow(10.0, exponent(rng));
                        if (!real) v = std::trunc(std::fmod(v, 2e9));
                        if (k == 0) v = -0.0;
                        std::string expected;
                        if (useExp)
                            expected = grid::printfText(f.cellFormat.c_str(), v);
                        else if (!real && type == AGL_ULONG)
                            expected = grid::printfText(f.cellFormat.c_str(),
                                                        unsigned(uint32_t(int64_t(v))));
                        else if (!real)
                            expected =
                                grid::printfText(f.cellFormat.c_str(), int(int32_t(int64_t(v))));
                        else if (v == 0.0)
                            expected = grid::printfText(f.cellFormat.c_str(), 0.0);
                        else {
                            const int e = grid::fixedFormExponent(v);
                            if (e > f.intDigits || -e > f.decimals) {
                                if (f.compact) continue; // its own form, tested above
                                expected = grid::printfText(f.fallbackFormat.c_str(), v);
                            } else {
                                expected = grid::printfText(f.cellFormat.c_str(), v);
                            }
                        }
                        std::string appended = "x";
                        f.appendTo(v, appended);
                        ASSERT_EQ(appended, "x" + expected)
                            << f.cellFormat << " / " << f.fallbackFormat << " of " << v;
                    }
                }
}

TEST(GridFormat, AppendedPrintfOfAnyLength) {
    std::string out = "a";
    grid::appendPrintf(out, "%s|%d", std::string(300, 'z').c_str(), 42);
    EXPECT_EQ(out, "a" + std::string(300, 'z') + "|42");
}
