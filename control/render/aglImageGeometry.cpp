#include "aglImageGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "aglPalette.h"

int aglNextPowerOfTwo(int n) {
    int p = 1;
    while (p < n && p < (1 << 30))
        p <<= 1;
    return p;
}

aglImagePlan aglPlanImage(int nx, int ny, bool filter, int maxTexture) {
    aglImagePlan plan;
    if (nx < 1 || ny < 1) return plan;
    if (int64_t(nx) * ny < 1024 && !filter) return plan; // quads
    plan.texture = true;
    // A single row or column is a 1-D texture. This must be decided before
    // the doubling below, which would otherwise turn every short row into a
    // 2-D image of at least 32 rows.
    plan.oneD = nx == 1 || ny == 1;
    const int limit = std::max(1, maxTexture);
    if (plan.oneD) {
        int length = std::max(nx, ny), repeat = 1;
        while (length * repeat < 32)
            repeat *= 2;
        (nx == 1 ? plan.repeatY : plan.repeatX) = repeat;
        plan.width = std::min(aglNextPowerOfTwo(length * repeat), limit);
        plan.height = 1;
        plan.resample = plan.width != length * repeat;
        return plan;
    }
    while (nx * plan.repeatX < 32)
        plan.repeatX *= 2;
    while (ny * plan.repeatY < 32)
        plan.repeatY *= 2;
    const int w = nx * plan.repeatX, h = ny * plan.repeatY;
    plan.width = std::min(aglNextPowerOfTwo(w), limit);
    plan.height = std::min(aglNextPowerOfTwo(h), limit);
    plan.resample = plan.width != w || plan.height != h;
    return plan;
}

int64_t aglBuildImage(const float* heights, int nx, int ny, const aglPalette& palette,
                      std::vector<uint8_t>& rgba) {
    rgba.assign(size_t(nx) * size_t(ny) * 4, 0);
    int64_t holes = 0;
    for (int j = 0; j < ny; ++j) {
        const float* row = heights + size_t(j) * size_t(nx);
        uint8_t* out = rgba.data() + size_t(j) * size_t(nx) * 4;
        int lastFinite = -1;
        for (int i = 0; i < nx; ++i) {
            uint8_t* t = out + size_t(i) * 4;
            if (!std::isfinite(row[i])) {
                ++holes;
                // Colour of the finite texel to the left (filled from the
                // right below when there is none), alpha 0: no data.
                if (lastFinite >= 0) std::memcpy(t, out + size_t(lastFinite) * 4, 3);
                t[3] = 0;
                continue;
            }
            palette.ColourOf(row[i], t);
            t[3] = 255;
            if (lastFinite < 0) // holes at the start of the row
                for (int k = 0; k < i; ++k)
                    std::memcpy(out + size_t(k) * 4, t, 3);
            lastFinite = i;
        }
        if (lastFinite < 0)
            for (int i = 0; i < nx; ++i)
                out[size_t(i) * 4] = out[size_t(i) * 4 + 1] = out[size_t(i) * 4 + 2] = 128;
    }
    return holes;
}

void aglRepeatImage(const std::vector<uint8_t>& in, int nx, int ny, int rx, int ry,
                    std::vector<uint8_t>& out) {
    const int w = nx * rx;
    out.resize(size_t(w) * size_t(ny) * size_t(ry) * 4);
    for (int j = 0; j < ny; ++j) {
        uint8_t* first = out.data() + size_t(j) * size_t(ry) * size_t(w) * 4;
        const uint8_t* src = in.data() + size_t(j) * size_t(nx) * 4;
        for (int i = 0; i < nx; ++i)
            for (int r = 0; r < rx; ++r)
                std::memcpy(first + (size_t(i) * rx + r) * 4, src + size_t(i) * 4, 4);
        for (int r = 1; r < ry; ++r)
            std::memcpy(first + size_t(r) * size_t(w) * 4, first, size_t(w) * 4);
    }
}

void aglImageTexCoords(int orientation, bool oneDColumn, float st[4][2]) {
    const bool flipS = orientation == 1 || orientation == 3;
    const bool flipT = orientation == 2 || orientation == 3;
    const float s0 = flipS ? 1.0f : 0.0f, s1 = 1.0f - s0;
    const float t0 = flipT ? 1.0f : 0.0f, t1 = 1.0f - t0;
    // Corners (0, 0), (X, 0), (X, Y), (0, Y).
    const float s[4] = {s0, s1, s1, s0}, t[4] = {t0, t0, t1, t1};
    for (int k = 0; k < 4; ++k) {
        st[k][0] = oneDColumn ? t[k] : s[k];
        st[k][1] = t[k];
    }
}

aglCursorCell aglComputeCursorCell(int nx, int ny, int yIndex, int xIndex, int yStride, int xStride,
                                   int orientation, float xScale, float yScale) {
    aglCursorCell c;
    if (nx < 1 || ny < 1 || yStride < 1 || xStride < 1 || yIndex < 0 || xIndex < 0) return c;
    const int gi = xIndex / xStride, gj = yIndex / yStride;
    if (gi >= nx || gj >= ny) return c;
    int i = 0, j = 0;
    aglOrientCell(orientation, nx, ny, gi, gj, &i, &j);
    c.inside = true;
    const float cw = xScale / float(nx), ch = yScale / float(ny);
    c.x = (float(i) + 0.5f) * cw;
    c.y = (float(j) + 0.5f) * ch;
    c.m = 0.05f * std::max(xScale, yScale);
    c.hx = std::max(0.5f * cw / float(xStride), c.m);
    c.hy = std::max(0.5f * ch / float(yStride), c.m);
    return c;
}

void aglBuildVectorPoints(const float* grid, int points, int components, aglVectorPoints& out) {
    out.xyz.clear();
    out.w.clear();
    out.source.clear();
    out.runs.clear();
    if (!grid || points < 1 || components < 1) return;
    const int used = std::min(components, 4); // x, y, z and the colour value
    bool inRun = false;
    for (int k = 0; k < points; ++k) {
        const float* c = grid + size_t(k) * size_t(components);
        bool finite = true;
        for (int n = 0; n < used; ++n)
            finite = finite && std::isfinite(c[n]);
        if (!finite) {
            inRun = false; // a hole breaks the line
            continue;
        }
        if (!inRun) out.runs.push_back({int(out.source.size()), 0});
        inRun = true;
        ++out.runs.back().count;
        out.xyz.push_back(c[0]);
        out.xyz.push_back(components >= 2 ? c[1] : 0.0f);
        out.xyz.push_back(components >= 3 ? c[2] : 0.0f);
        if (components >= 4) out.w.push_back(c[3]);
        out.source.push_back(k);
    }
}

bool aglVectorCursorPoint(const float* grid, int points, int components, int k,
                          const float extent[3], float p[3]) {
    if (!grid || k < 0 || k >= points || components < 1) return false;
    const float* c = grid + size_t(k) * size_t(components);
    for (int n = 0; n < 3; ++n) {
        float v = n < components ? c[n] : 0.0f;
        if (!std::isfinite(v) || v < 0.0f) v = 0.0f;
        p[n] = std::min(v, extent[n]);
    }
    return true;
}
