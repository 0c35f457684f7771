#include "aglLevelOfDetail.h"

#include "aglAxisTicks.h"

#include <algorithm>
#include <cmath>

namespace agl {

int64_t nextPowerOfTwo(int64_t n) {
    int64_t p = 1;
    while (p < n && p < (int64_t(1) << 62))
        p <<= 1;
    return p;
}

int levelResolution(int64_t columns, int64_t rows, int64_t budget, int level, int graphType) {
    if (columns < 1) columns = 1;
    if (rows < 1) rows = 1;
    if (budget < 1) budget = 1;
    if (graphType == 2 && level == 2) {
        const int64_t full = nextPowerOfTwo(columns) * nextPowerOfTwo(rows);
        if (full > budget) budget = full;
    }
    const int64_t n = columns * rows;
    if (n <= budget) return 1;
    // k = ceil(sqrt(n / budget)) exactly: the smallest k with k^2 x budget >= n.
    int64_t k = int64_t(std::ceil(std::sqrt(double(n) / double(budget))));
    if (k < 1) k = 1;
    while (k > 1 && (k - 1) * (k - 1) * budget >= n)
        --k;
    while (k * k * budget < n)
        ++k;
    return int(nextPowerOfTwo(k));
}

bool rangeHasData(double minimum, double maximum) {
    return std::isfinite(minimum) && std::isfinite(maximum) && minimum <= maximum &&
           !(minimum >= kEmptyRangeMin && maximum <= kEmptyRangeMax);
}

void widenRange(double& minimum, double& maximum) {
    if (!rangeHasData(minimum, maximum)) {
        minimum = -1.0;
        maximum = 1.0;
        return;
    }
    if (maximum - minimum >= kMinRangeWidth) return;
    double width = kMinRangeWidth;
    // Near 1e304 adding 1e-5 changes nothing: take a width the values can show.
    const double mag = std::fmax(std::fabs(minimum), std::fabs(maximum));
    if (mag * 1e-12 > width) width = mag * 1e-12;
    maximum = minimum + width;
    if (!std::isfinite(maximum)) {
        maximum = minimum;
        minimum = maximum - width;
    }
    // minimum + width may round below the width asked for.
    for (int i = 0; i < 4 && maximum - minimum < width; ++i)
        maximum = std::nextafter(maximum, HUGE_VAL);
}

void roundRangeOutward(double& minimum, double& maximum) {
    // The axes' rounding, so that the box maps exactly the range the axis
    // numbers describe.
    widenRange(minimum, maximum);
    roundAxisRange(minimum, maximum);
}

} // namespace agl

namespace agl {

bool adaptBudgets(int64_t budgets[kLevelCount], FrameTimeRing rings[kLevelCount], int level,
                  double frameSeconds, double target, int resolution) {
    if (level < 0 || level >= kLevelCount) return false;
    FrameTimeRing& ring = rings[level];
    ring.times[ring.count] = frameSeconds;
    if (++ring.count < kFrameRingSize) return false;
    ring.count = 0;
    double sum = 0.0;
    for (double t : ring.times)
        sum += t;
    ring.average = sum * 0.1;

    const auto clampBudget = [](int64_t b) { return std::clamp(b, kMinBudget, kMaxBudget); };
    const int64_t before = budgets[level];
    int64_t b = before;
    if (ring.average < 0.5 * target && resolution >= 2)
        b = clampBudget(2 * b);
    else if (ring.average > 2.0 * target)
        b = clampBudget(b / 2);
    if (b == before) return false;

    if (b < before) {
        // A coarser level must not keep a budget the finer one gave up.
        if (level == 1 && budgets[0] >= b) budgets[0] = clampBudget(b / 2);
        if (level == 2) {
            if (budgets[1] >= b) budgets[1] = clampBudget(b / 2);
            if (budgets[0] >= budgets[1]) budgets[0] = clampBudget(budgets[1] / 2);
        }
    } else {
        // A finer level must stay finer than the one that grew.
        if (level == 1 && budgets[2] <= b) budgets[2] = clampBudget(2 * b);
        if (level == 0) {
            if (budgets[1] <= b) budgets[1] = clampBudget(2 * b);
            if (budgets[2] <= budgets[1]) budgets[2] = clampBudget(2 * budgets[1]);
        }
    }
    budgets[level] = b;
    return true;
}

void gridLineCounts(int64_t columns, int64_t rows, int width, int height, double density,
                    int maxColumns, int maxRows, int* xLines, int* yLines) {
    const double s = std::max(1.0, double(std::min(width, height)));
    const auto step = [&](int64_t count) -> int64_t {
        if (count >= 10 && s / double(count) < density)
            return std::max<int64_t>(1, int64_t(double(count) * density / s));
        return 1;
    };
    // A tiny picture would make the step exceed the count: keep one line.
    *xLines = int(std::max<int64_t>(1, std::min<int64_t>(columns / step(columns), maxColumns)));
    *yLines = int(std::max<int64_t>(1, std::min<int64_t>(rows / step(rows), maxRows)));
}

} // namespace agl
