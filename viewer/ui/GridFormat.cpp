#include "GridFormat.h"

#include "aglTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

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

CellFormat buildFormat(int type, int precision, bool useExp, int chars, double minValue,
                       double maxValue) {
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
        if (useExp) {
            f.cellFormat = printfText("%% .%de", p);
        } else {
            f.cellFormat = printfText("%% %d.%df", f.intDigits + f.decimals + 2, f.decimals);
            if (p >= 6)
                f.fallbackFormat = printfText("%%.%de", p - 5);
            else
                f.compact = true;
        }
    } else if (useExp) {
        f.cellFormat = printfText("%% .%de", p);
    } else {
        f.cellFormat = printfText("%% %dd", f.intDigits + 1);
        if (type == AGL_ULONG) f.cellFormat.back() = 'u';
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
    if (useExp) return appendPrintf(out, cellFormat.c_str(), v);
    if (!real) {
        if (type == AGL_ULONG)
            return appendPrintf(out, cellFormat.c_str(), unsigned(uint32_t(int64_t(v))));
        return appendPrintf(out, cellFormat.c_str(), int(int32_t(int64_t(v))));
    }
    if (std::fabs(v) < kTinyMagnitude) return appendPrintf(out, cellFormat.c_str(), 0.0);
    const double g = std::log10(std::fabs(v));
    const int e = g >= 0 ? int(std::floor(g)) + 1 : int(std::trunc(g)) - 1;
    if (e > intDigits || -e > decimals) {
        if (compact) return appendCompact(out, v, g, e);
        return appendPrintf(out, fallbackFormat.c_str(), v);
    }
    appendPrintf(out, cellFormat.c_str(), v);
}

} // namespace grid
