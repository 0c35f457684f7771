#include "GridFormat.h"

#include "aglTypes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace grid {

int clampPrecision(int precision) {
    return std::clamp(precision, kMinPrecision, kMaxPrecision);
}

int charsPerCell(int type, bool useExp, int precision, long long layoutColumns) {
    const int p = clampPrecision(precision);
    int chars;
    switch (type) {
    case AGL_UCHAR:
        chars = useExp ? 12 : 5;
        break;
    case AGL_CHAR:
        chars = useExp ? 13 : 6;
        break;
    case AGL_USHORT:
        chars = useExp ? p + 7 : 6;
        break;
    case AGL_SHORT:
        chars = useExp ? p + 7 : 7;
        break;
    case AGL_ULONG:
        chars = useExp ? p + 7 : 10;
        break;
    case AGL_LONG:
        chars = useExp ? p + 7 : 11;
        break;
    default:
        chars = useExp ? p + 7 : p + 3;
        break;
    }
    if (layoutColumns > 0) {
        const int digits = int(std::floor(std::log10(double(layoutColumns)))) + 1;
        chars = std::max(chars, digits);
    }
    return chars;
}

std::string printfText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (n > 0) {
        text.resize(size_t(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(size_t(n));
    }
    va_end(again);
    return text;
}

void appendPrintf(std::string& out, const char* format, ...) {
    char buf[64];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0 && size_t(n) < sizeof buf) {
        out.append(buf, size_t(n));
    } else if (n > 0) {
        const size_t start = out.size();
        out.resize(start + size_t(n) + 1);
        std::vsnprintf(out.data() + start, size_t(n) + 1, format, again);
        out.resize(start + size_t(n));
    }
    va_end(again);
}

int fixedFormExponent(double v) {
    const double g = std::log10(std::fabs(v));
    return g >= 0 ? int(std::floor(g)) + 1 : int(std::trunc(g)) - 1;
}

CellFormat buildFormat(int type, int precision, bool useExp, int chars, double minValue,
                       double maxValue, double smallestNonzero) {
    CellFormat f;
    f.type = type;
    f.precision = clampPrecision(precision);
    f.useExp = useExp;
    f.chars = std::max(chars, 1);
    const int p = f.precision;

    const double magnitude = std::max(std::fabs(minValue), std::fabs(maxValue));
    int digits = 1;
    if (std::isfinite(magnitude) && magnitude > 0)
        digits = int(std::floor(std::log10(magnitude))) + 1;
    f.intDigits = std::clamp(digits, 1, f.chars);
    f.decimals = f.intDigits < p ? p - f.intDigits + 1 : 1;

    const int lead = f.chars > 7 ? (f.chars - 7) / 2 : 0;
    f.nanText = std::string(size_t(lead), ' ') + "1.#QNAN";
    if (int(f.nanText.size()) < f.chars) f.nanText.resize(size_t(f.chars), ' ');

    if (type == AGL_FLOAT || type == AGL_DOUBLE) {
        // Values the fixed form would show as zeros (or as a lone rounded
        // digit) are shown with all their digits instead.
        if (!useExp && smallestNonzero > 0 && std::isfinite(smallestNonzero) &&
            -fixedFormExponent(smallestNonzero) > f.decimals)
            f.useExp = useExp = true;
        if (useExp) {
            f.cellFormat = printfText("%% .%de", p);
            f.form = 'e';
            f.digits = p;
        } else {
            f.width = f.intDigits + f.decimals + 2;
            f.digits = f.decimals;
            f.cellFormat = printfText("%% %d.%df", f.width, f.digits);
            if (p >= 6) {
                f.fallbackFormat = printfText("%%.%de", p - 5);
                f.fallbackDigits = p - 5;
            } else {
                f.compact = true;
            }
        }
    } else if (useExp) {
        f.cellFormat = printfText("%% .%de", p);
        f.form = 'e';
        f.digits = p;
    } else {
        f.width = f.intDigits + 1;
        f.cellFormat = printfText("%% %dd", f.width);
        f.form = 'd';
        if (type == AGL_ULONG) {
            f.cellFormat.back() = 'u';
            f.form = 'u';
        }
    }
    return f;
}

// The compact form "%de%d" of a value that does not fit the fixed form.
static void appendCompact(std::string& out, double v, double g, int e) {
    // Scaling by an exact power of ten can land just below a whole number
    // (1e-4 x 1e5); nudge by a few ulps before truncating.
    double m = g >= 0 ? v / std::pow(10.0, e - 1) : v * std::pow(10.0, -e);
    m += std::copysign(std::fabs(m) * 1e-12, m);
    const long long mantissa = (long long)std::trunc(std::clamp(m, -1e15, 1e15));
    appendPrintf(out, "%llde%d", mantissa, g >= 0 ? e - 1 : e);
}

std::string CellFormat::format(double v) const {
    std::string text;
    appendTo(v, text);
    return text;
}

// printf's "% W.Df" (space, fixed) or "% .De" / "%.De" (exponent) of v,
// without printf.
static void appendReal(std::string& out, double v, bool exponent, int digits, bool space, int width,
                       const char* printfFormat) {
    char buf[128];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, v,
                      exponent ? std::chars_format::scientific : std::chars_format::fixed, digits);
    if (r.ec != std::errc()) return appendPrintf(out, printfFormat, v); // a very long text
    const size_t n = size_t(r.ptr - buf);
    const bool blank = space && buf[0] != '-';
    const size_t length = n + (blank ? 1 : 0);
    if (size_t(width) > length) out.append(size_t(width) - length, ' ');
    if (blank) out += ' ';
    out.append(buf, n);
}

// printf's "% Wd" or "% Wu" of value (the blank flag is for signed
// conversions only).
template <typename T> static void appendInteger(std::string& out, T value, int width) {
    char buf[24];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    const size_t n = size_t(r.ptr - buf);
    const bool blank = std::is_signed_v<T> && buf[0] != '-';
    const size_t length = n + (blank ? 1 : 0);
    if (size_t(width) > length) out.append(size_t(width) - length, ' ');
    if (blank) out += ' ';
    out.append(buf, n);
}

void CellFormat::appendTo(double v, std::string& out) const {
    if (!std::isfinite(v)) {
        out += nanText;
        return;
    }
    if (!agl::isTypeCode(type)) {
        out += "???";
        return;
    }
    const bool real = type == AGL_FLOAT || type == AGL_DOUBLE;
    if (useExp) return appendReal(out, v, true, digits, true, 0, cellFormat.c_str());
    if (!real) {
        if (type == AGL_ULONG) return appendInteger(out, unsigned(uint32_t(int64_t(v))), width);
        return appendInteger(out, int(int32_t(int64_t(v))), width);
    }
    if (v == 0.0) // -0 too: a zero shows unsigned
        return appendReal(out, 0.0, false, digits, true, width, cellFormat.c_str());
    const int e = fixedFormExponent(v);
    if (e > intDigits || -e > decimals) {
        if (compact) return appendCompact(out, v, std::log10(std::fabs(v)), e);
        if (fallbackDigits < 0) return appendPrintf(out, fallbackFormat.c_str(), v);
        return appendReal(out, v, true, fallbackDigits, false, 0, fallbackFormat.c_str());
    }
    appendReal(out, v, false, digits, true, width, cellFormat.c_str());
}

} // namespace grid
