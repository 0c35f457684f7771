// Number formats of the spreadsheet: how many characters a cell holds and
// how a value is written into it.
//
// The formats are printf formats built from the values on screen: a fixed
// form sized to the largest visible magnitude, with an exponent fallback for
// values that do not fit, or the exponent form throughout. Everything here is
// pure and runs on any thread.
#pragma once

#include <string>

namespace grid {

constexpr int kMinPrecision = 3;
constexpr int kMaxPrecision = 15;
constexpr int kDefaultPrecision = 6;

// Marks a cached cell that has not been written (bit pattern 0xFF1A36E2EB1C432C).
constexpr double kNotWritten = -1.7976931348623158e304;

// The text of a cell that lies outside the array.
constexpr const char* kOutsideText = "  ";

// Precision brought into 3..15: settings and file trailers may carry anything.
int clampPrecision(int precision);

// Characters per cell for an element type, raised to the digits of the
// layout's column count (so column labels fit).
int charsPerCell(int type, bool useExp, int precision, long long layoutColumns);

// The formats of one fill, built from the smallest and largest finite visible
// values (the scan starts at -1.0 and 1.0) and the smallest non-zero
// magnitude among them. A nonzero value is never written as zero: a fill
// whose smallest nonzero magnitude the fixed form would show without one
// significant digit (1e-6 with 6 decimals, 1e-3 beside 12345.6) is written
// in the exponent form throughout, and a value that does not fit the fixed
// form on its own takes the fallback or compact form.
struct CellFormat {
    int type = 0; // element type code
    int precision = kDefaultPrecision;
    bool useExp = false;  // the exponent form throughout: asked for, or chosen for the fill
    int chars = 1;        // characters per cell
    int intDigits = 1;    // I: digits before the point in the fixed form
    int decimals = 1;     // D: digits after it
    bool compact = false; // values that do not fit use "%de%d" instead of fallback
    std::string cellFormat;
    std::string fallbackFormat = "XXX";
    std::string nanText; // "1.#QNAN" centred in a field of chars blanks
    // The two printf formats decoded, so that texts are written without
    // printf (same digits: std::to_chars is specified as printf is):
    // form 'f' "% W.Df", 'e' "% .De", 'd' "% Wd", 'u' "% Wu"; fallback
    // digits N of "%.Ne", or -1 when there is no such fallback.
    char form = 'f';
    int width = 0;
    int digits = 0;
    int fallbackDigits = -1;

    // The cell text of v. A text may be wider than chars: the caller sizes
    // nothing from chars.
    std::string format(double v) const;
    // The same text, appended to out (no allocation per value: for the
    // clipboard's text of a large block).
    void appendTo(double v, std::string& out) const;
};

// smallestNonzero: the least nonzero finite magnitude among the fill's
// values, 0 when there is none (or when the caller does not know it).
CellFormat buildFormat(int type, int precision, bool useExp, int chars, double minValue,
                       double maxValue, double smallestNonzero = 0.0);

// The decimal exponent E of a nonzero finite v by which the fixed form
// judges it: E = floor(log10 |v|) + 1 at or above 1, trunc(log10 |v|) - 1
// below. v fits I digits and D decimals when E <= I and -E <= D.
int fixedFormExponent(double v);

// printf into a string sized from what is actually written.
std::string printfText(const char* format, ...);
// printf appended to out, however long the text.
void appendPrintf(std::string& out, const char* format, ...);

} // namespace grid
