// The data-tip texts; see ControlTipText.h.
#include "ControlTipText.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace plotrane {

namespace {

constexpr double kValueLimit = 1.7976931348623158e304;
constexpr double kSmallMagnitude = 3.0517578e-05;

// The decimal exponent of a magnitude, truncated toward zero; a zero gives a
// very negative exponent.
int decimalExponent(double magnitude) {
    if (!(magnitude > 0.0)) return -1000;
    return int(std::trunc(std::log10(magnitude)));
}

// An integer value truncated toward zero, in 64 bits (every element type fits).
long long whole(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 9.2233720368547758e18) return INT64_MAX;
    if (v <= -9.2233720368547758e18) return INT64_MIN;
    return (long long)std::trunc(v);
}

std::string format(const char* fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

std::string number(double v, bool exponent, const char* plain, const char* exp) {
    return exponent ? withThreeDigitExponent(format(exp, v)) : format(plain, v);
}

} // namespace

std::string withThreeDigitExponent(std::string text) {
    // Each "e+dd" / "e-dd" with fewer than three digits gets leading zeros.
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != 'e' || (text[i + 1] != '+' && text[i + 1] != '-')) continue;
        size_t end = i + 2;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        const size_t digits = end - (i + 2);
        if (digits > 0 && digits < 3) text.insert(i + 2, 3 - digits, '0');
    }
    return text;
}

TipValue tipValue(double raw) {
    if (!std::isfinite(raw) || std::fpclassify(raw) == FP_SUBNORMAL) return {0.0, false};
    return {raw < -kValueLimit ? -kValueLimit : raw > kValueLimit ? kValueLimit : raw, true};
}

std::string scalarTipText(const TipArray& a, int64_t row, int64_t column, double value) {
    const long long r = row, c = column;
    if (a.twoDimensional) {
        const long long fr = r + a.rowLowerBound, fc = c + a.columnLowerBound;
        std::string where =
            a.fortran ? format("(%lld, %lld): ", fc, fr) : format("[%lld][%lld]: ", r, c);
        if (a.integer) return where + format("%lld", whole(value));
        const double m = std::fabs(value);
        const int e = decimalExponent(m);
        const bool exponent = m > kSmallMagnitude && (e > 5 || e < -5);
        return where + number(value, exponent, "%f", "%e");
    }
    // One-dimensional: the index is the larger of row and column, with the
    // lower bound of the dimension it came from.
    const bool byRow = r > c;
    const long long index =
        (byRow ? r : c) + (a.fortran ? (byRow ? a.rowLowerBound : a.columnLowerBound) : 0);
    std::string where = a.fortran ? format("(%lld): ", index) : format("[%lld]: ", index);
    if (a.integer) return where + format("%lld", whole(value));
    const int e = decimalExponent(std::fabs(value));
    return where + number(value, e > 5 || e < -5, "%f", "%e");
}

std::optional<std::string> vectorTipText(const TipArray& a, int64_t row,
                                         std::span<const double> values) {
    if (values.size() < 2 || values.size() > 4) return std::nullopt;
    std::string text = format(a.fortran ? "(%lld): (" : "[%lld]: (", (long long)row);
    double m = 0.0;
    for (double v : values)
        m = std::fmax(m, std::fabs(v));
    const int e = decimalExponent(m);
    const bool exponent = m <= kSmallMagnitude || e > 3 || e < -3;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) text += ", ";
        text += a.integer ? format("%lld", whole(values[i]))
                          : number(values[i], exponent, "%.3f", "%.3e");
    }
    return text + ")";
}

std::string paletteTipText(bool integer, double value) {
    return integer ? format("%lld", whole(value)) : withThreeDigitExponent(format("%g", value));
}

} // namespace plotrane
