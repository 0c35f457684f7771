// Arrays in shared memory for the viewer's tests, filled by a function of
// the element's (column, row) in the current plane.
#pragma once

#include "aglArray.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// extents: stored order (slowest first). lowerBounds: empty for the default.
inline std::unique_ptr<aglArray> makeArray(std::vector<int32_t> extents, int type, int language,
                                           std::vector<int32_t> lowerBounds = {}) {
    auto a = std::make_unique<aglArray>();
    a->setLanguage(language);
    int64_t count = 1;
    for (int32_t e : extents)
        count *= e;
    if (!a->allocate(count * agl::typeInfo(type).size)) return nullptr;
    if (a->reshape(int(extents.size()), extents.data(), type) != 0) return nullptr;
    for (size_t k = 0; k < lowerBounds.size(); ++k)
        a->setLowerBound(int(k), lowerBounds[k]);
    return a;
}

inline void fillPlane(aglArray& a, const std::function<double(int64_t, int64_t)>& f) {
    for (int64_t r = 0; r < a.rowCount(); ++r)
        for (int64_t c = 0; c < a.colCount(); ++c)
            a.setValue(c, r, f(c, r));
}
