#include "aglHeightGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

bool finite(float v) {
    return std::isfinite(v);
}

// Appends one vertex; attribute arrays that the batch uses grow with it.
struct Emitter {
    const aglHeightGrid& grid;
    const aglBatchInputs& in;
    aglVertexBatch& out;
    bool withNormals;
    bool withColours;
    bool withTex;

    Emitter(const aglHeightGrid& g, const aglBatchInputs& inputs, aglVertexBatch& batch,
            bool normals)
        : grid(g), in(inputs), out(batch), withNormals(normals && inputs.normals != nullptr),
          withColours(inputs.colouring == aglVertexColouring::PickCode ||
                      (inputs.colouring == aglVertexColouring::Palette && inputs.colours)),
          withTex(inputs.colouring == aglVertexColouring::Texture && inputs.colours) {}

    void position(float x, float y, float z) {
        out.positions.push_back(x);
        out.positions.push_back(y);
        out.positions.push_back(z);
    }
    void normal(const float* n) { out.normals.insert(out.normals.end(), n, n + 3); }
    void normalOf(int i, int j) {
        normal(in.normals + 3 * (size_t(j) * size_t(grid.nx) + size_t(i)));
    }
    void rgb(const uint8_t c[3]) {
        out.colours.push_back(c[0]);
        out.colours.push_back(c[1]);
        out.colours.push_back(c[2]);
        out.colours.push_back(255);
    }
    // Colour or texture coordinate of a value (pick codes go through pickOf).
    void colourOfValue(float h) {
        if (withTex) {
            out.texCoords.push_back(in.colours->TexCoordOfHeight(h));
        } else if (withColours) {
            uint8_t c[3] = {0, 0, 0};
            in.colours->ColourOfHeight(h, c);
            rgb(c);
        }
    }
    void pickOf(int i, int j) {
        uint8_t c[3] = {0, 0, 0};
        if (in.pick) in.pick(i, j, c);
        rgb(c);
    }
    // A grid vertex with its own normal and the colour of its own height/sample.
    void sample(int i, int j) {
        const float h = grid.at(i, j);
        position(float(i) * grid.dx, float(j) * grid.dy, h);
        if (withNormals) normalOf(i, j);
        if (in.colouring == aglVertexColouring::PickCode)
            pickOf(i, j);
        else
            colourOfValue(h);
    }
    int count() const { return out.vertexCount(); }
    void endRange(int first) {
        const int n = count() - first;
        if (n > 0) out.ranges.push_back({first, n});
    }
};

bool stopped(const aglBatchInputs& in) {
    return in.stop && *in.stop && (*in.stop)();
}

// Gradient of f along one direction at position k of n samples spaced d
// apart, where value(k) reads the height; holes fall back to one-sided
// differences, or to 0 when no finite neighbour exists.
template <typename Value> float gradient(const Value& value, int k, int n, float d) {
    if (n < 2) return 1.0f / d;
    const float here = value(k);
    const bool hasPrev = k > 0 && finite(value(k - 1));
    const bool hasNext = k < n - 1 && finite(value(k + 1));
    if (hasPrev && hasNext) {
        // Inside the grid: central difference (the edges are one-sided by
        // construction, since one neighbour is missing there).
        return (value(k + 1) - value(k - 1)) / (2.0f * d);
    }
    if (hasNext) return (value(k + 1) - here) / d;
    if (hasPrev) return (here - value(k - 1)) / d;
    return 0.0f;
}

} // namespace

void aglVertexBatch::clear() {
    positions.clear();
    normals.clear();
    colours.clear();
    texCoords.clear();
    ranges.clear();
}

float aglGridSpacing(float scale, int n) {
    return n < 2 ? scale : scale / float(n - 1);
}

void aglGridLineSteps(int nx, int ny, int xLines, int yLines, int* columnStep, int* rowStep,
                      float* fx, float* fy) {
    if (xLines < 1) xLines = 1;
    if (yLines < 1) yLines = 1;
    const float qx = float(nx - 1) / float(xLines);
    const float qy = float(ny - 1) / float(yLines);
    const int cs = int(std::floor(qx + 0.5f));
    const int rs = int(std::floor(qy + 0.5f));
    if (columnStep) *columnStep = cs < 1 ? 1 : cs;
    if (rowStep) *rowStep = rs < 1 ? 1 : rs;
    if (fx) *fx = qx;
    if (fy) *fy = qy;
}

int aglDrawStyle(int style, int nx, int ny) {
    if (style != 1) return style;
    if (ny < 2) return 4;
    if (nx < 2) return 3;
    return style;
}

int aglPickStyle(int style, int nx, int ny) {
    if (style != 1) return style;
    if (nx < 2 && ny < 2) return 4;
    if (nx < 2 || ny < 2) return 3;
    return style;
}

bool aglComputeNormals(const aglHeightGrid& grid, std::vector<float>& normals,
                       const std::function<bool()>& stop) {
    const int nx = grid.nx, ny = grid.ny;
    normals.assign(size_t(nx) * size_t(ny) * 3, 0.0f);
    if (nx <= 0 || ny <= 0 || !grid.heights) return true;
    for (int j = 0; j < ny; ++j) {
        if (stop && stop()) {
            normals.clear();
            return false;
        }
        const auto alongX = [&](int i) { return grid.at(i, j); };
        for (int i = 0; i < nx; ++i) {
            float* n = &normals[3 * (size_t(j) * size_t(nx) + size_t(i))];
            if (!finite(grid.at(i, j))) continue; // a hole has no normal
            const auto alongY = [&](int k) { return grid.at(i, k); };
            const float gx = gradient(alongX, i, nx, grid.dx);
            const float gy = gradient(alongY, j, ny, grid.dy);
            const float x = -gx, y = -gy, z = 1.0f;
            const float len = std::sqrt(x * x + y * y + z * z);
            if (!(len > 0.0f) || !std::isfinite(len)) continue; // stays zero
            n[0] = x / len;
            n[1] = y / len;
            n[2] = z / len;
        }
    }
    return true;
}

bool aglBuildSurface(const aglHeightGrid& grid, const aglBatchInputs& in, aglVertexBatch& out) {
    out.clear();
    const int nx = grid.nx, ny = grid.ny;
    if (nx < 1 || ny < 2 || !grid.heights) return true;
    Emitter e(grid, in, out, true);
    const size_t reserve = size_t(nx) * size_t(ny - 1) * 2;
    out.positions.reserve(reserve * 3);
    if (e.withNormals) out.normals.reserve(reserve * 3);
    if (e.withColours) out.colours.reserve(reserve * 4);
    if (e.withTex) out.texCoords.reserve(reserve);
    const bool flatColour = in.flatShading && in.colouring != aglVertexColouring::PickCode &&
                            (e.withColours || e.withTex);

    // Emits column i of the row pair (j, j + 1): upper then lower vertex.
    const auto column = [&](int i, int j) {
        if (!flatColour) {
            e.sample(i, j + 1);
            e.sample(i, j);
            return;
        }
        const int p = i > 0 ? i - 1 : i;
        const float mean =
            0.25f * (grid.at(i, j) + grid.at(i, j + 1) + grid.at(p, j) + grid.at(p, j + 1));
        // The cell's colour goes on both vertices, and the upper normal on
        // both, so that whichever vertex GL takes for the cell gives the same.
        for (int k = 0; k < 2; ++k) {
            e.position(float(i) * grid.dx, float(j + 1 - k) * grid.dy, grid.at(i, j + 1 - k));
            if (e.withNormals) e.normalOf(i, j + 1);
            e.colourOfValue(std::isfinite(mean) ? mean : grid.at(i, j + 1 - k));
        }
    };

    for (int j = 0; j + 1 < ny; ++j) {
        if (stopped(in)) {
            out.clear();
            return false;
        }
        int first = -1; // start of the open run, -1 when none
        for (int i = 0; i < nx; ++i) {
            const bool here = finite(grid.at(i, j)) && finite(grid.at(i, j + 1));
            if (!here) {
                if (first >= 0) e.endRange(first);
                first = -1;
                continue;
            }
            if (first < 0) first = e.count();
            column(i, j);
        }
        if (first >= 0) e.endRange(first);
    }
    // Runs of a single column draw nothing; drop them so that GL is not
    // handed degenerate strips.
    std::erase_if(out.ranges, [](const aglVertexBatch::Range& r) { return r.count < 4; });
    return true;
}

namespace {

// One strip through the samples that at(k) gives for k = 0..n-1, broken at holes.
template <typename At>
void brokenStrip(Emitter& e, int n, const At& at, const uint8_t* strip, bool withStripColour) {
    int first = -1;
    for (int k = 0; k < n; ++k) {
        int i, j;
        at(k, &i, &j);
        if (!finite(e.grid.at(i, j))) {
            if (first >= 0) e.endRange(first);
            first = -1;
            continue;
        }
        if (first < 0) first = e.count();
        e.sample(i, j);
        if (withStripColour) e.rgb(strip);
    }
    if (first >= 0) e.endRange(first);
}

} // namespace

void aglBuildMeshLines(const aglHeightGrid& grid, int columnStep, int rowStep,
                       const aglBatchInputs& in, aglVertexBatch& out) {
    out.clear();
    const int nx = grid.nx, ny = grid.ny;
    if (nx < 1 || ny < 1 || !grid.heights) return;
    if (columnStep < 1) columnStep = 1;
    if (rowStep < 1) rowStep = 1;
    Emitter e(grid, in, out, true);
    for (int j = 0; j < ny; j += rowStep)
        brokenStrip(
            e, nx, [j](int k, int* i, int* jj) { *i = k, *jj = j; }, nullptr, false);
    for (int i = 0; i < nx; i += columnStep)
        brokenStrip(
            e, ny, [i](int k, int* ii, int* j) { *ii = i, *j = k; }, nullptr, false);
    // A one-vertex strip draws nothing.
    std::erase_if(out.ranges, [](const aglVertexBatch::Range& r) { return r.count < 2; });
}

bool aglPolylinesAlongX(int viewType, int nx, int ny) {
    if (viewType == 1) return true;
    if (viewType == 3) return false;
    return nx >= ny;
}

void aglBuildPolylines(const aglHeightGrid& grid, bool alongX, const aglBatchInputs& in,
                       const std::function<void(int, uint8_t[3])>& lineColourOf,
                       aglVertexBatch& out) {
    out.clear();
    const int nx = grid.nx, ny = grid.ny;
    if (nx < 1 || ny < 1 || !grid.heights) return;
    Emitter e(grid, in, out, true);
    const bool stripColour = lineColourOf && !e.withColours && !e.withTex;
    const int strips = alongX ? ny : nx;
    for (int s = 0; s < strips; ++s) {
        uint8_t c[3] = {0, 0, 0};
        if (stripColour) lineColourOf(s, c);
        if (alongX)
            brokenStrip(
                e, nx, [s](int k, int* i, int* j) { *i = k, *j = s; }, c, stripColour);
        else
            brokenStrip(
                e, ny, [s](int k, int* i, int* j) { *i = s, *j = k; }, c, stripColour);
    }
    // A piece of one vertex (a sample between two holes) draws nothing as a line.
    std::erase_if(out.ranges, [](const aglVertexBatch::Range& r) { return r.count < 2; });
}

void aglBuildPoints(const aglHeightGrid& grid, const aglBatchInputs& in, aglVertexBatch& out) {
    out.clear();
    const int nx = grid.nx, ny = grid.ny;
    if (nx < 1 || ny < 1 || !grid.heights) return;
    Emitter e(grid, in, out, true);
    for (int j = 0; j < ny; ++j) {
        const int first = e.count();
        for (int i = 0; i < nx; ++i)
            if (finite(grid.at(i, j))) e.sample(i, j);
        e.endRange(first);
    }
}

void aglBuildBars(const aglHeightGrid& grid, float barArea, const aglBatchInputs& in,
                  aglVertexBatch& out) {
    out.clear();
    const int nx = grid.nx, ny = grid.ny;
    if (nx < 1 || ny < 1 || !grid.heights) return;
    Emitter e(grid, in, out, false);
    e.withNormals = in.colouring != aglVertexColouring::PickCode;
    const float hx = 0.5f * barArea * grid.dx;
    const float hy = 0.5f * barArea * grid.dy;
    uint8_t colour[3] = {0, 0, 0};
    bool coloured = false;

    const auto quad = [&](const float v[4][3], float nxv, float nyv, float nzv) {
        const float n[3] = {nxv, nyv, nzv};
        for (int k = 0; k < 4; ++k) {
            e.position(v[k][0], v[k][1], v[k][2]);
            if (e.withNormals) e.normal(n);
            if (coloured) e.rgb(colour);
        }
    };

    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            const float h = grid.at(i, j);
            if (!finite(h)) continue;
            coloured = false;
            if (in.colouring == aglVertexColouring::PickCode) {
                if (in.pick) in.pick(i, j, colour);
                coloured = true;
            } else if (e.withColours || e.withTex) {
                // Bars take colours, not texture coordinates: one colour per bar.
                if (in.colours) {
                    in.colours->ColourOfHeight(h, colour);
                    coloured = true;
                }
            }
            const float x = float(i) * grid.dx, y = float(j) * grid.dy;
            const float x0 = x - hx, x1 = x + hx, y0 = y - hy, y1 = y + hy;
            if (std::fabs(h) < 0.005f) {
                const float flat[4][3] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
                quad(flat, 0, 0, 1);
                continue;
            }
            const float lo[3] = {x0, y0, std::min(h, 0.0f)};
            const float hi[3] = {x1, y1, std::max(h, 0.0f)};
            float corners[6][4][3], normals[6][3];
            aglBoxQuads(lo, hi, corners, normals);
            for (int f = 0; f < 6; ++f)
                quad(corners[f], normals[f][0], normals[f][1], normals[f][2]);
        }
    }
    if (e.count() > 0) out.ranges.push_back({0, e.count()});
}

void aglBoxQuads(const float lo[3], const float hi[3], float corners[6][4][3],
                 float normals[6][3]) {
    const float x0 = lo[0], y0 = lo[1], z0 = lo[2], x1 = hi[0], y1 = hi[1], z1 = hi[2];
    const float c[6][4][3] = {
        {{x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}}, // bottom
        {{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}}, // front
        {{x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}}, // right
        {{x1, y1, z0}, {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}}, // back
        {{x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}}, // left
        {{x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}}, // top
    };
    const float n[6][3] = {{0, 0, -1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    std::copy(&c[0][0][0], &c[0][0][0] + 72, &corners[0][0][0]);
    std::copy(&n[0][0], &n[0][0] + 18, &normals[0][0]);
}

aglCursorBox aglComputeCursorBox(const aglHeightGrid& grid, int yIndex, int xIndex, int yStride,
                                 int xStride, float xScale, float yScale, float zScale,
                                 bool fixedView) {
    aglCursorBox box;
    if (yStride < 1) yStride = 1;
    if (xStride < 1) xStride = 1;
    if (!grid.heights || yIndex < 0 || xIndex < 0) return box;
    const int a = xIndex / xStride, b = yIndex / yStride;
    if (a >= grid.nx || b >= grid.ny) return box;
    const int a1 = (xIndex % xStride != 0 && a + 1 < grid.nx) ? a + 1 : a;
    const int b1 = (yIndex % yStride != 0 && b + 1 < grid.ny) ? b + 1 : b;
    const auto clamped = [&](int i, int j) {
        const float h = grid.at(i, j);
        if (!finite(h)) return 0.0f;
        return std::clamp(h, 0.0f, zScale > 0.0f ? zScale : 0.0f);
    };
    const float m = 0.25f * (clamped(a, b) + clamped(a1, b) + clamped(a, b1) + clamped(a1, b1));
    const float least = 0.02f * std::max(xScale, yScale);
    box.inside = true;
    box.x = float(xIndex) * grid.dx / float(xStride);
    box.y = float(yIndex) * grid.dy / float(yStride);
    box.z = m;
    box.hx = std::max(0.5f * grid.dx / float(xStride), least);
    box.hy = std::max(0.5f * grid.dy / float(yStride), least);
    box.hz = (fixedView ? 0.25f : 0.5f) * zScale;
    return box;
}
