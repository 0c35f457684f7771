#include "aglAxisTicks.h"

#include "aglSegment.h"
#include "aglTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace agl {

namespace {

constexpr double kTiny = 9.5367431640625e-07; // values below this magnitude count as 0
constexpr double kMinWidth = 1e-5;

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

double limitFloat(double v) {
    if (v > kFloatLimit) return kFloatLimit;
    if (v < -kFloatLimit) return -kFloatLimit;
    return v;
}

// A round step: m x 10^e with m from `mantissas`, the smallest at or above x.
double niceStepAtLeast(double x, const double* mantissas, int count) {
    const double decade = std::pow(10.0, std::floor(std::log10(x)));
    for (int i = 0; i < count; ++i) {
        const double s = mantissas[i] * decade;
        if (s >= x * (1.0 - 1e-12)) return s;
    }
    return 10.0 * decade;
}

// The next round step above s in the 1-2-2.5-5 (or, for integers, 1-2-5)
// series.
double nextNiceStep(double s, bool integerSteps) {
    const double decade = std::pow(10.0, std::floor(std::log10(s) + 1e-9));
    const double m = s / decade;
    if (m < 1.5) return 2.0 * decade;
    if (m < 2.25) return (integerSteps && decade < 10.0 ? 5.0 : 2.5) * decade;
    if (m < 3.75) return 5.0 * decade;
    return 10.0 * decade;
}

// Mantissa (1, 2, 2.5 or 5) of a round step.
double mantissaOf(double s) {
    const double decade = std::pow(10.0, std::floor(std::log10(s) + 1e-9));
    return s / decade;
}

// Decimals needed to print v exactly at the scale of `unit` (at most 9):
// what is left beyond them is a millionth of the unit or less (and no more
// than the rounding of v itself), so a step of 1e-6 needs 6, not 0.
int decimalsFor(double v, double unit) {
    const double u = std::fabs(unit) > 0 ? std::fabs(unit) : 1.0;
    for (int d = 0; d <= 9; ++d) {
        const double p = std::pow(10.0, d);
        const double scaled = v * p;
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * u * p + 1e-9 * std::fabs(scaled))
            return d;
    }
    return 9;
}

// The format that prints first + k x step for k = 0 .. n-1 distinctly.
std::string valueFormat(double first, double step, int n, bool integerData) {
    const double last = first + step * (n - 1);
    const double maxAbs = std::max(std::fabs(first), std::fabs(last));
    const double absStep = std::fabs(step);
    const bool integralTicks =
        std::fabs(first - std::round(first)) < 1e-9 * std::max(1.0, maxAbs) &&
        std::fabs(step - std::round(step)) < 1e-9 * std::max(1.0, absStep);
    if (integerData && integralTicks && maxAbs < 1e9) return "%d";
    if (maxAbs >= 1e6 || (maxAbs > 0 && maxAbs < 1e-3)) {
        // Exponent form with as many mantissa digits as the step needs.
        const int lead = int(std::floor(std::log10(maxAbs)));
        int digits = 1;
        if (absStep > 0) {
            const int stepExp = int(std::floor(std::log10(absStep)));
            digits = lead - stepExp + (decimalsFor(mantissaOf(absStep), 1.0) > 0 ? 1 : 0);
        }
        char f[16];
        std::snprintf(f, sizeof f, "%%.%de", clampInt(digits, 1, 6));
        return f;
    }
    // Fixed decimals: exactly as many as the ticks need, or, for a step that
    // is not round, enough to tell neighbours apart.
    int d = std::max(decimalsFor(step, step), decimalsFor(first, step));
    if (d > 8 && absStep > 0) d = clampInt(3 - int(std::floor(std::log10(absStep))), 0, 9);
    char f[16];
    std::snprintf(f, sizeof f, "%%.%df", d);
    return f;
}

// Parses a printf format with exactly one conversion of d, i, f, e, E, g or
// G (flags, width and precision allowed, "%%" allowed anywhere). On success
// returns the position of the conversion's '%' and of its type character.
bool parseFormat(const std::string& format, size_t* start, size_t* type) {
    if (format.size() > size_t(kMaxNumberFormat)) return false;
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && std::strchr("-+ #0", format[j]))
            ++j;
        int widthDigits = 0;
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
            ++j, ++widthDigits;
        if (j < format.size() && format[j] == '.') {
            ++j;
            int precisionDigits = 0;
            while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
                ++j, ++precisionDigits;
            if (precisionDigits > 2) return false;
        }
        if (widthDigits > 2 || j >= format.size() || !std::strchr("diufeEgG", format[j]))
            return false;
        ++conversions;
        *start = i;
        *type = j;
        i = j;
    }
    return conversions == 1;
}

std::string printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    text[kMaxNumberText] = '\0';
    return text;
}

std::string printedInteger(const char* format, long long value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    text[kMaxNumberText] = '\0';
    return text;
}

// The format with its conversion replaced: `length` inserted before the
// type character, which becomes `type`.
std::string withConversion(const std::string& format, size_t typePos, const char* length,
                           char type) {
    return format.substr(0, typePos) + length + type + format.substr(typePos + 1);
}

} // namespace

TickCounts tickCountsFor(int requestedMajor, int requestedMinor, int largestSide, bool autoDetail) {
    const int major = clampInt(requestedMajor, kMinMajorTicks, kMaxTickCount);
    const int minor = clampInt(requestedMinor, 0, kMaxTickCount);
    TickCounts c{major, minor};
    if (autoDetail) {
        if (largestSide < 250)
            c = {major / 4 + 2, 0};
        else if (largestSide < 500)
            c = {major / 2 + 2, 1};
        else
            c = {major, 3};
    }
    c.major = clampInt(c.major, kMinMajorTicks, kMaxTickCount);
    return c;
}

AxisNumbers indexAxisNumbers(int64_t roiFirst, int64_t length, int64_t lowerBound, bool reversed,
                             TickCounts counts, bool autoDetail, const aglSegment* scale) {
    AxisNumbers a;
    const int64_t L = std::max<int64_t>(length, 1);
    const int64_t intervals = L - 1;
    int n = clampInt(counts.major, kMinMajorTicks, kMaxTickCount);
    int minor = clampInt(counts.minor, 0, kMaxTickCount);
    double step = n > 1 ? double(intervals) / double(n - 1) : 1.0;
    double span = double(intervals); // index distance from the first to the last tick
    double offset = 0.0; // index distance from the region's start (its end, reversed) to it

    if (autoDetail && intervals >= 1) {
        // Ticks on whole indices, every 1, 2, 5, 10, 20, 50 ... indices:
        // the smallest such step that gives at most twice the requested
        // count (100 intervals and 10 requested: every 10, 11 ticks). The
        // ticks reach the last index when the step divides the length.
        double s = 1.0;
        while (std::floor(double(intervals) / s) + 1.0 > 2.0 * double(n))
            s = nextNiceStep(s, true);
        const int64_t k = int64_t(double(intervals) / s);
        n = int(k + 1);
        step = s;
        span = double(k) * s;
        // The ticks sit on multiples of the step, as a reader counts (5, 10,
        // 15 rather than 1, 6, 11 for a Fortran axis from 1; 60, 50 ... 0
        // rather than 63, 53 ... 3 for a reversed one), unless fewer than two
        // multiples fall inside the region.
        const double low = double(lowerBound + roiFirst), high = low + double(intervals);
        const double firstMultiple = std::ceil(low / s - 1e-9) * s;
        const double lastMultiple = std::floor(high / s + 1e-9) * s;
        const int64_t multiples = int64_t(std::llround((lastMultiple - firstMultiple) / s)) + 1;
        if (multiples >= 2) {
            n = int(multiples);
            offset = reversed ? high - lastMultiple : firstMultiple - low;
            span = lastMultiple - firstMultiple;
        }
        // Minor ticks on whole indices too: the step is split into the
        // number of parts that divides it and lies closest to the request
        // (ties: more parts), at most 7.
        if (counts.minor > 0) {
            const int64_t q = int64_t(s);
            const int wantedParts = counts.minor + 1;
            int best = 1;
            for (int parts = 2; parts <= 7; ++parts) {
                if (q % parts != 0) continue;
                if (best == 1 || std::abs(parts - wantedParts) <= std::abs(best - wantedParts))
                    best = parts;
            }
            minor = best - 1;
        }
    }
    if (intervals == 0) n = 2; // a single index: both ends show it
    if (n < 2) n = 2;
    a.major = n;
    a.minor = minor;
    a.step = reversed ? -step : step;
    a.first = double(lowerBound + roiFirst) + (reversed ? double(intervals) - offset : offset);
    const double fraction = intervals > 0 ? span / double(intervals) : 1.0;
    a.startFraction = intervals > 0 ? offset / double(intervals) : 0.0;
    a.endFraction = a.startFraction + fraction;
    a.format = "%d";
    a.scaleBase = lowerBound;
    if (scale) {
        const int type = scale->typeCode();
        a.format = (type == AGL_FLOAT || type == AGL_DOUBLE) ? "%.3f" : "%d";
    }
    return a;
}

AxisNumbers valueAxisNumbers(double minimum, double maximum, bool reversed, TickCounts counts,
                             bool autoDetail, bool integerData, int mostTicks) {
    AxisNumbers a;
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || !(maximum > minimum)) {
        if (std::isfinite(minimum) && std::isfinite(maximum) && maximum == minimum) {
            maximum = minimum + std::max(kMinWidth, std::fabs(minimum) * 1e-12);
        } else {
            minimum = 0.0;
            maximum = 1.0;
        }
    }
    minimum = limitFloat(minimum);
    maximum = limitFloat(maximum);
    const double span = maximum - minimum;
    const int n = clampInt(counts.major, kMinMajorTicks, kMaxTickCount);
    a.minor = clampInt(counts.minor, 0, kMaxTickCount);

    bool round = false;
    if (autoDetail && std::isfinite(span) && span > 0) {
        // The smallest round step (1, 2, 2.5 or 5 times a power of ten;
        // whole numbers only for integer data) that puts between two and n
        // ticks on its multiples inside the range. The steps are tried from a
        // decade below span / (n - 1) upward: the first one that fits can be
        // a smaller one when the range is not itself a multiple of it
        // (-40000..40000 in four ticks: not 50000, which leaves only 0, but
        // 25000).
        // Where no round step gives two to n ticks (integers 1401..1408 in
        // three: steps of 2 give four, of 5 only one), the one that gives
        // the fewest ticks beyond n, up to mostTicks, is taken rather than
        // uneven values (1401, 1404.5, 1408).
        static const double kMantissas[] = {1.0, 2.0, 2.5, 5.0};
        const int most = mostTicks > 0 ? std::max(n, std::min(mostTicks, kMaxTickCount))
                                       : std::min(2 * n, kMaxTickCount);
        const double decade = std::pow(10.0, std::floor(std::log10(span / double(n - 1))) - 1.0);
        long long spare = 0; // the fewest ticks beyond n found so far
        for (int e = 0; e < 4 * 4 && !round; ++e) {
            const double s = kMantissas[e % 4] * decade * std::pow(10.0, e / 4);
            if (!std::isfinite(s) || s <= 0.0) break;
            if (integerData && (s < 1.0 || std::fabs(s - std::round(s)) > 1e-9 * s)) continue;
            const double lo = std::ceil(minimum / s - 1e-9) * s;
            const double hi = std::floor(maximum / s + 1e-9) * s;
            const long long count = std::llround((hi - lo) / s) + 1;
            if (count < 2 || count > most) continue;
            if (count > n && spare != 0 && count >= spare) continue;
            a.major = int(count);
            a.step = s;
            a.first = lo;
            a.startFraction = std::clamp((lo - minimum) / span, 0.0, 1.0);
            a.endFraction = std::clamp((hi - minimum) / span, 0.0, 1.0);
            if (count > n) {
                spare = count;
                continue;
            }
            round = true;
        }
        round = round || spare != 0;
        if (round && a.minor > 0) {
            // Minor ticks that divide the round step into round parts.
            const double m = mantissaOf(a.step);
            const int options1[] = {1, 4, 9}, options2[] = {1, 3}, options25[] = {4},
                      options5[] = {1, 4};
            const int* opts = options1;
            int count = 3;
            if (std::fabs(m - 2.0) < 1e-6)
                opts = options2, count = 2;
            else if (std::fabs(m - 2.5) < 1e-6)
                opts = options25, count = 1;
            else if (std::fabs(m - 5.0) < 1e-6)
                opts = options5, count = 2;
            int best = opts[0];
            for (int i = 1; i < count; ++i)
                if (std::abs(opts[i] - a.minor) < std::abs(best - a.minor)) best = opts[i];
            if (integerData && a.step / (best + 1) < 1.0) best = int(a.step) - 1;
            a.minor = std::max(0, best);
        }
    }
    if (!round) {
        a.major = n;
        a.step = span / double(n - 1);
        a.first = minimum;
        a.startFraction = 0.0;
        a.endFraction = 1.0;
    }
    a.format = valueFormat(a.first, a.step, a.major, integerData);
    if (reversed) {
        // Counted from the top: the last tick comes first.
        const double last = a.first + a.step * (a.major - 1);
        const double f0 = a.startFraction, f1 = a.endFraction;
        a.first = last;
        a.step = -a.step;
        a.startFraction = 1.0 - f1;
        a.endFraction = 1.0 - f0;
    }
    return a;
}

AxisLayout recomputeAxes(const AxisInput& in) {
    AxisLayout out;
    const int m = std::max(in.width, in.height);
    for (int a = 0; a < 3; ++a) {
        const TickCounts counts =
            tickCountsFor(in.requestedMajor[a], in.requestedMinor[a], m, in.autoDetail);
        const bool indexAxis = a < 2 && (in.graphType == 1 || in.graphType == 2);
        out.axis[a] = indexAxis
                          ? indexAxisNumbers(in.roiFirst[a], in.roiLength[a], in.lowerBound[a],
                                             in.reversed[a], counts, in.autoDetail, in.scale[a])
                          : valueAxisNumbers(in.minimum[a], in.maximum[a], in.reversed[a], counts,
                                             in.autoDetail, in.integerData);
    }
    int numberHeight = in.numberFontHeight, titleHeight = in.titleFontHeight;
    if (in.fontAutoScale) {
        numberHeight = m < 250 ? 12 : m < 500 ? 14 : 16;
        titleHeight = m < 250 ? 14 : m < 500 ? 16 : 18;
    }
    out.numberFontHeight = numberHeight;
    out.titleFontHeight = titleHeight;
    if (in.autoDetail && m <= 100) {
        out.showTitles = out.showTicks = out.showNumbers = false;
    } else if (in.autoDetail && m < 150) {
        out.showNumbers = false;
    }
    return out;
}

void roundAxisRange(double& minimum, double& maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || minimum > maximum) {
        minimum = -1.0;
        maximum = 1.0;
        return;
    }
    minimum = limitFloat(minimum);
    maximum = limitFloat(maximum);
    // Widen a range too narrow to show: 1e-5, or what the magnitude resolves.
    const double mag = std::max(std::fabs(minimum), std::fabs(maximum));
    const double width = std::max(kMinWidth, mag * 1e-6);
    if (maximum - minimum < width) {
        maximum = minimum + width;
        if (maximum > kFloatLimit) {
            maximum = kFloatLimit;
            minimum = maximum - width;
        }
    }
    // The largest 1-2-5 step at or below a fifth of the width: five to
    // twelve steps, so the box is well used and both ends are round.
    static const double kMantissas[] = {1.0, 2.0, 5.0};
    double s = niceStepAtLeast((maximum - minimum) / 5.0, kMantissas, 3);
    if (s > (maximum - minimum) / 5.0 * (1.0 + 1e-12)) {
        const double m = mantissaOf(s);
        s = m > 4.0 ? s * 0.4 : s * 0.5;
    }
    double lo = std::floor(minimum / s + 1e-9) * s;
    double hi = std::ceil(maximum / s - 1e-9) * s;
    // Division may round the wrong way by an ulp: the input must stay inside.
    if (lo > minimum) lo = lo - minimum < 1e-6 * s ? minimum : lo - s;
    if (hi < maximum) hi = maximum - hi < 1e-6 * s ? maximum : hi + s;
    if (std::fabs(lo) < kTiny * s) lo = 0.0;
    if (std::fabs(hi) < kTiny * s) hi = 0.0;
    lo = limitFloat(lo);
    hi = limitFloat(hi);
    if (std::isfinite(lo) && std::isfinite(hi) && hi > lo && lo <= minimum && hi >= maximum) {
        minimum = lo;
        maximum = hi;
    }
}

void boxMapping(double extent, double minimum, double maximum, double* scale, double* offset) {
    if (!std::isfinite(extent) || extent == 0.0) extent = 1.0;
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) {
        minimum = -1.0;
        maximum = 1.0;
    }
    minimum = limitFloat(minimum);
    maximum = limitFloat(maximum);
    const double mag = std::max(std::fabs(minimum), std::fabs(maximum));
    const double width = std::max(kMinWidth, mag * 1e-6);
    if (maximum - minimum < width) {
        maximum = minimum + width;
        if (maximum > kFloatLimit) {
            maximum = kFloatLimit;
            minimum = maximum - width;
        }
    }
    *scale = extent / (maximum - minimum);
    *offset = -minimum * *scale;
}

bool isFloatingFormat(const std::string& format) {
    return format.find_first_of("feEg") != std::string::npos;
}

std::string formatAxisNumber(const std::string& format, double value) {
    size_t start = 0, type = 0;
    if (!parseFormat(format, &start, &type)) return printed("%g", value);
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    const char t = format[type];
    if (t == 'd' || t == 'i' || t == 'u') {
        // Rounded to the nearest integer (a tick at 2.9999999 is tick 3) and
        // held inside the 64-bit range.
        double v = std::round(value);
        if (v >= 9.2233720368547758e18) v = 9.2233720368547748e18;
        if (v <= -9.2233720368547758e18) v = -9.2233720368547748e18;
        return printedInteger(withConversion(format, type, "ll", 'd').c_str(),
                              static_cast<long long>(v));
    }
    return printed(format.c_str(), value);
}

std::string formatAxisInteger(const std::string& format, int64_t value) {
    size_t start = 0, type = 0;
    if (!parseFormat(format, &start, &type))
        return printedInteger("%lld", static_cast<long long>(value));
    // An integer element keeps the format's flags and width but is always
    // printed by an integer conversion (the precision would mean digits).
    std::string f = format;
    const size_t dot = f.find('.', start);
    if (dot != std::string::npos && dot < type) {
        f.erase(dot, type - dot);
        type = dot;
    }
    return printedInteger(withConversion(f, type, "ll", 'd').c_str(),
                          static_cast<long long>(value));
}

void shortenFloatingNumbers(std::vector<std::string>& numbers) {
    // Fraction digits of each string (between the point and an exponent),
    // counting only up to the last non-zero digit.
    size_t keep = 0;
    for (const std::string& s : numbers) {
        const size_t point = s.find('.');
        if (point == std::string::npos) continue;
        size_t end = s.find_first_of("eE", point);
        if (end == std::string::npos) end = s.size();
        size_t last = point;
        for (size_t i = point + 1; i < end; ++i)
            if (s[i] >= '1' && s[i] <= '9') last = i;
        keep = std::max(keep, last - point);
    }
    for (std::string& s : numbers) {
        const size_t point = s.find('.');
        if (point == std::string::npos) continue;
        size_t end = s.find_first_of("eE", point);
        if (end == std::string::npos) end = s.size();
        if (end - point - 1 > keep) s.erase(point + 1 + keep, end - point - 1 - keep);
        // "5.e-06" reads badly: an exponent keeps no bare point.
        if (keep == 0 && end < s.size() && s.size() > point + 1 &&
            (s[point + 1] == 'e' || s[point + 1] == 'E'))
            s.erase(point, 1);
    }
}

double axisScaleValue(const aglSegment& scale, int64_t index, bool* isInteger) {
    const int64_t count = scale.elementCount();
    const auto* base = static_cast<const uint8_t*>(scale.elements());
    const int type = scale.typeCode();
    if (isInteger) *isInteger = type != AGL_FLOAT && type != AGL_DOUBLE;
    if (!base || count <= 0) return 0.0;
    index = std::clamp<int64_t>(index, 0, count - 1);
    const uint8_t* p = base + index * int64_t(scale.elementSize());
    return agl::loadAsDouble(p, type);
}

std::vector<std::string> makeAxisNumbers(double first, double step, int count,
                                         const std::string& format, const aglSegment* scale,
                                         int64_t scaleBase) {
    count = clampInt(count, 0, kMaxTickCount);
    std::vector<std::string> out;
    out.reserve(size_t(count));
    const bool floating = isFloatingFormat(format);
    bool anyFloating = floating;
    for (int k = 0; k < count; ++k) {
        const double position = first + double(k) * step;
        if (scale && scale->elements() && scale->elementCount() > 0) {
            const double idx =
                std::isfinite(position) ? std::round(position) - double(scaleBase) : 0.0;
            const int64_t i = int64_t(std::clamp(idx, -1.0, 9.0e15));
            bool isInteger = false;
            const double v = axisScaleValue(*scale, i, &isInteger);
            if (isInteger) {
                out.push_back(formatAxisInteger(format, int64_t(v)));
            } else {
                // A floating element through an integer format would lose
                // its fraction: print it with three decimals instead.
                out.push_back(formatAxisNumber(floating ? format : "%.3f", v));
                anyFloating = true;
            }
        } else {
            out.push_back(formatAxisNumber(format, position));
        }
    }
    if (anyFloating) shortenFloatingNumbers(out);
    return out;
}

} // namespace agl
