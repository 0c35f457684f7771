#include "ZoomHistory.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

ZoomHistory::Region ZoomHistory::region(int level) const {
    return m_regions[size_t(std::clamp(level, 0, kMaxLevels))];
}

void ZoomHistory::clear() {
    m_level = 0;
    m_deepest = 0;
    m_regions = {};
}

bool ZoomHistory::storeDeeper(const Region& shown, int64_t cursorRow, int64_t cursorColumn) {
    if (hasDeeper()) return true;
    if (m_level >= kMaxLevels) return false;
    const int32_t c0 = shown.colStart, r0 = shown.rowStart;
    const int32_t C = shown.colCount, R = shown.rowCount;
    int64_t C2 = C, R2 = R;
    // Half the area when both sides are long, else half the long side; never
    // below 10.
    if (C > 10 && R > 10) {
        C2 = std::max<int64_t>(10, int64_t(std::floor(std::sqrt(double(C) * C / 2.0))));
        R2 = std::max<int64_t>(10, int64_t(std::floor(std::sqrt(double(R) * R / 2.0))));
    } else if (C > 10) {
        C2 = std::max<int64_t>(10, C / 2);
    } else if (R > 10) {
        R2 = std::max<int64_t>(10, R / 2);
    } else {
        return false;
    }
    const int64_t row = std::clamp<int64_t>(cursorRow, r0, int64_t(r0) + R - 1);
    const int64_t col = std::clamp<int64_t>(cursorColumn, c0, int64_t(c0) + C - 1);
    Region z;
    z.rowStart = R2 != R ? int32_t(std::max<int64_t>(r0, row - R2 / 2)) : r0;
    z.colStart = C2 != C ? int32_t(std::max<int64_t>(c0, col - C2 / 2)) : c0;
    z.rowCount = int32_t(R2);
    z.colCount = int32_t(C2);
    m_regions[size_t(m_level + 1)] = z;
    m_deepest = m_level + 1;
    return true;
}

bool ZoomHistory::goTo(int level) {
    if (level < 0 || level > m_deepest) return false;
    m_level = level;
    return true;
}

int ZoomHistory::adopt(const Region& r) {
    auto holds = [&r](const Region& z) {
        return r.rowStart >= z.rowStart && r.colStart >= z.colStart &&
               int64_t(r.rowStart) + r.rowCount <= int64_t(z.rowStart) + z.rowCount &&
               int64_t(r.colStart) + r.colCount <= int64_t(z.colStart) + z.colCount;
    };
    int level = 1;
    for (int k = m_deepest; k >= 1; --k)
        if (holds(m_regions[size_t(k)])) {
            level = k;
            break;
        }
    level = std::min(level, kMaxLevels - 1);
    m_regions[size_t(level)] = r;
    m_level = level;
    m_deepest = level;
    return level;
}
