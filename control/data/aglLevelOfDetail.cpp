#include "aglLevelOfDetail.h"

#include "aglAxisTicks.h"

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
