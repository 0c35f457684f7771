// The data-tip texts of the graph control: what the tip box says about the
// element under the mouse (two- and one-dimensional arrays), a row of a
// vector graph, or a place on the palette bar. Pure functions; any thread.
//
// Values come in as the exact doubles read from the array (never the
// single-precision grid values the graph is drawn from), so a 32-bit integer
// such as 16777217 is shown as it is stored. Integer values are printed
// through a 64-bit conversion, so the whole range of every integer element
// type (an AGL_ULONG of 4000000000 included) prints as its own number.
// Exponent forms carry at least three exponent digits (1.234567e+006).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace plotrane {

// The language and numeric class of the array, and the lower bounds of its
// row and column dimensions (Fortran indices add them).
struct TipArray {
    bool fortran = false;
    bool integer = false;       // an integer element type (signed or unsigned)
    bool twoDimensional = true; // row count and column count both above 1
    int64_t rowLowerBound = 0;
    int64_t columnLowerBound = 0;
};

// An element's value made fit for a tip: non-finite and denormal values
// become 0 (and are not valid for events); the value is limited to
// +-1.7976931348623158e304.
struct TipValue {
    double value = 0.0;
    bool valid = true;
};
TipValue tipValue(double raw);

// The text for the element at (row, column), 0-based absolute indices.
std::string scalarTipText(const TipArray& a, int64_t row, int64_t column, double value);

// The text for a row of a vector graph with its packed component values;
// none for fewer than two or more than four values.
std::optional<std::string> vectorTipText(const TipArray& a, int64_t row,
                                         std::span<const double> values);

// The text for palette index `index` whose value is `value`.
std::string paletteTipText(bool integer, double value);

// printf's %e with the exponent widened to at least three digits.
std::string withThreeDigitExponent(std::string text);

} // namespace plotrane
