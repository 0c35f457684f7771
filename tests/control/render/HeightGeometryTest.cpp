// The height plot's arithmetic: spacing, grid-line steps, normals, the
// vertex batches of every style with holes in the data, and the cursor box.
#include "aglHeightGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Grid {
    std::vector<float> h;
    aglHeightGrid g;
    Grid(int nx, int ny, float dx = 1.0f, float dy = 1.0f) : h(size_t(nx) * size_t(ny), 0.0f) {
        g.nx = nx;
        g.ny = ny;
        g.dx = dx;
        g.dy = dy;
        g.heights = h.data();
    }
    float& at(int i, int j) { return h[size_t(j) * size_t(g.nx) + size_t(i)]; }
};

bool allFinite(const std::vector<float>& v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

// Greys by height: value h -> (h * 100) in every channel, texture coordinate h.
class LinearColours : public aglColourSource {
public:
    void ColourOfHeight(float h, uint8_t rgb[3]) const override {
        rgb[0] = rgb[1] = rgb[2] = uint8_t(std::clamp(h * 100.0f, 0.0f, 255.0f));
    }
    float TexCoordOfHeight(float h) const override { return h; }
};

} // namespace

TEST(HeightGeometry, SpacingOfSingleSampleIsTheWholeExtent) {
    EXPECT_FLOAT_EQ(aglGridSpacing(1.0f, 1), 1.0f);
    EXPECT_FLOAT_EQ(aglGridSpacing(1.0f, 0), 1.0f);
    EXPECT_FLOAT_EQ(aglGridSpacing(2.0f, 5), 0.5f);
}

TEST(HeightGeometry, GridLineStepsRoundAndNeverReachZero) {
    int cs = 0, rs = 0;
    aglGridLineSteps(101, 101, 4, 4, &cs, &rs);
    EXPECT_EQ(cs, 25);
    EXPECT_EQ(rs, 25);
    // More lines than samples, zero and negative counts: step 1, never 0.
    aglGridLineSteps(10, 3, 50, 0, &cs, &rs);
    EXPECT_EQ(cs, 1);
    EXPECT_EQ(rs, 2);
    aglGridLineSteps(1, 0, -3, 1, &cs, &rs);
    EXPECT_EQ(cs, 1);
    EXPECT_EQ(rs, 1);
    // 0.5 rounds up: 9 / 6 = 1.5 -> 2.
    aglGridLineSteps(10, 10, 6, 6, &cs, &rs);
    EXPECT_EQ(cs, 2);
}

TEST(HeightGeometry, DegenerateGridsChangeTheSurfaceStyle) {
    EXPECT_EQ(aglDrawStyle(1, 10, 1), 4); // single row: points
    EXPECT_EQ(aglDrawStyle(1, 1, 10), 3); // single column: lines
    EXPECT_EQ(aglDrawStyle(1, 10, 10), 1);
    EXPECT_EQ(aglDrawStyle(0, 10, 1), 0); // only the surface changes
    EXPECT_EQ(aglPickStyle(1, 1, 1), 4);
    EXPECT_EQ(aglPickStyle(1, 10, 1), 3);
    EXPECT_EQ(aglPickStyle(2, 1, 1), 2);
}

TEST(HeightGeometry, NormalsOfAPlaneAreUniformAndUnitLength) {
    // h = 0.5 x + 0.25 y over dx = 0.5, dy = 0.25: gradient (0.5, 0.25) everywhere,
    // the edges included (one-sided differences agree on a plane).
    Grid gr(5, 4, 0.5f, 0.25f);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 5; ++i)
            gr.at(i, j) = 0.5f * (i * 0.5f) + 0.25f * (j * 0.25f);
    std::vector<float> n;
    ASSERT_TRUE(aglComputeNormals(gr.g, n));
    const float len = std::sqrt(0.25f + 0.0625f + 1.0f);
    for (size_t k = 0; k < n.size(); k += 3) {
        EXPECT_NEAR(n[k], -0.5f / len, 1e-5f);
        EXPECT_NEAR(n[k + 1], -0.25f / len, 1e-5f);
        EXPECT_NEAR(n[k + 2], 1.0f / len, 1e-5f);
    }
}

TEST(HeightGeometry, NormalsUseCentralDifferencesInsideAndOneSidedAtEdges) {
    Grid gr(3, 1);
    gr.at(0, 0) = 0.0f;
    gr.at(1, 0) = 1.0f;
    gr.at(2, 0) = 4.0f;
    std::vector<float> n;
    ASSERT_TRUE(aglComputeNormals(gr.g, n));
    // Single row: gy = 1 / dy = 1 everywhere. gx: 1 at i = 0, 2 at i = 1, 3 at i = 2.
    const float gx[3] = {1.0f, 2.0f, 3.0f};
    for (int i = 0; i < 3; ++i) {
        const float len = std::sqrt(gx[i] * gx[i] + 1.0f + 1.0f);
        EXPECT_NEAR(n[3 * i], -gx[i] / len, 1e-5f) << i;
        EXPECT_NEAR(n[3 * i + 1], -1.0f / len, 1e-5f) << i;
    }
}

TEST(HeightGeometry, HolesNeverPoisonNeighbouringNormals) {
    Grid gr(4, 4);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            gr.at(i, j) = float(i);
    gr.at(1, 1) = kNaN;
    gr.at(3, 3) = std::numeric_limits<float>::infinity();
    std::vector<float> n;
    ASSERT_TRUE(aglComputeNormals(gr.g, n));
    ASSERT_TRUE(allFinite(n));
    // The hole itself has no normal; its neighbours still see the slope in x.
    EXPECT_EQ(n[3 * (1 * 4 + 1) + 2], 0.0f);
    const float len = std::sqrt(2.0f);
    EXPECT_NEAR(n[3 * (1 * 4 + 2)], -1.0f / len, 1e-5f); // (2, 1): one-sided towards x = 3
    // (0, 1) lies between the edge and the hole: no slope in x is known, so flat.
    EXPECT_EQ(n[3 * (1 * 4 + 0)], 0.0f);
    EXPECT_EQ(n[3 * (1 * 4 + 0) + 2], 1.0f);
}

TEST(HeightGeometry, NormalsStopWhenAsked) {
    Grid gr(8, 8);
    std::vector<float> n;
    int calls = 0;
    EXPECT_FALSE(aglComputeNormals(gr.g, n, [&] { return ++calls > 3; }));
    EXPECT_TRUE(n.empty());
}

TEST(HeightGeometry, SurfaceStripsCoverEveryRowPairUpperVertexFirst) {
    Grid gr(3, 3);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            gr.at(i, j) = float(10 * j + i);
    std::vector<float> n;
    aglComputeNormals(gr.g, n);
    aglBatchInputs in;
    in.normals = n.data();
    aglVertexBatch b;
    ASSERT_TRUE(aglBuildSurface(gr.g, in, b));
    ASSERT_EQ(b.ranges.size(), 2u);
    EXPECT_EQ(b.ranges[0].count, 6);
    EXPECT_EQ(b.vertexCount(), 12);
    EXPECT_EQ(b.normals.size(), b.positions.size());
    // First vertex: the upper (0, 1), then the lower (0, 0).
    EXPECT_FLOAT_EQ(b.positions[1], 1.0f);
    EXPECT_FLOAT_EQ(b.positions[2], 10.0f);
    EXPECT_FLOAT_EQ(b.positions[4], 0.0f);
    EXPECT_FLOAT_EQ(b.positions[5], 0.0f);
}

TEST(HeightGeometry, SurfaceLeavesCellsAroundAHoleOut) {
    Grid gr(5, 2);
    gr.at(2, 0) = kNaN;
    aglVertexBatch b;
    ASSERT_TRUE(aglBuildSurface(gr.g, {}, b));
    // Columns 0-1 and 3-4 remain: two strips of two columns each.
    ASSERT_EQ(b.ranges.size(), 2u);
    EXPECT_EQ(b.ranges[0].count, 4);
    EXPECT_EQ(b.ranges[1].first, 4);
    EXPECT_EQ(b.ranges[1].count, 4);
    EXPECT_TRUE(allFinite(b.positions));
    // A hole that leaves single columns between holes draws no strip there.
    gr.at(4, 1) = kNaN;
    aglBuildSurface(gr.g, {}, b);
    ASSERT_EQ(b.ranges.size(), 1u);
    for (const auto& r : b.ranges)
        for (int k = r.first; k < r.first + r.count; ++k)
            EXPECT_TRUE(std::isfinite(b.positions[3 * k + 2]));
}

TEST(HeightGeometry, FlatShadingColoursEachCellByItsMean) {
    Grid gr(3, 2);
    gr.at(0, 0) = 0.0f, gr.at(1, 0) = 1.0f, gr.at(2, 0) = 2.0f;
    gr.at(0, 1) = 0.4f, gr.at(1, 1) = 1.4f, gr.at(2, 1) = 2.4f;
    LinearColours colours;
    aglBatchInputs in;
    in.colouring = aglVertexColouring::Palette;
    in.colours = &colours;
    in.flatShading = true;
    aglVertexBatch b;
    aglBuildSurface(gr.g, in, b);
    ASSERT_EQ(b.vertexCount(), 6);
    ASSERT_EQ(b.colours.size(), 24u);
    // Column 1 closes the cell 0..1: mean (0 + 1 + 0.4 + 1.4) / 4 = 0.7 -> 70
    // on both its vertices, whichever GL takes as the cell's vertex.
    EXPECT_EQ(b.colours[4 * 2], 70);
    EXPECT_EQ(b.colours[4 * 3], 70);
    // Column 2 closes the cell 1..2: mean 1.7 -> 170.
    EXPECT_EQ(b.colours[4 * 4], 170);
    EXPECT_EQ(b.colours[4 * 5], 170);
    // Smooth shading: each vertex its own height.
    in.flatShading = false;
    aglBuildSurface(gr.g, in, b);
    EXPECT_EQ(b.colours[4 * 2], 140);
    EXPECT_EQ(b.colours[4 * 3], 100);
}

TEST(HeightGeometry, SurfaceBuildStopsWhenAsked) {
    Grid gr(4, 4);
    std::function<bool()> stop = [] { return true; };
    aglBatchInputs in;
    in.stop = &stop;
    aglVertexBatch b;
    EXPECT_FALSE(aglBuildSurface(gr.g, in, b));
    EXPECT_EQ(b.vertexCount(), 0);
}

TEST(HeightGeometry, MeshLinesFollowTheSteps) {
    Grid gr(101, 101, 0.01f, 0.01f);
    aglVertexBatch b;
    aglBuildMeshLines(gr.g, 25, 25, {}, b);
    // Rows 0, 25, 50, 75, 100 and the same columns: ten strips of 101.
    ASSERT_EQ(b.ranges.size(), 10u);
    for (const auto& r : b.ranges)
        EXPECT_EQ(r.count, 101);
    EXPECT_FLOAT_EQ(b.positions[3 * b.ranges[1].first + 1], 0.25f);
    EXPECT_FLOAT_EQ(b.positions[3 * b.ranges[9].first + 0], 1.0f);
}

TEST(HeightGeometry, MeshLinesBreakAtHoles) {
    Grid gr(4, 1);
    gr.at(1, 0) = kNaN;
    aglVertexBatch b;
    aglBuildMeshLines(gr.g, 1, 1, {}, b);
    // Row: pieces {0} (dropped, one vertex) and {2, 3}; columns: one vertex each (dropped).
    ASSERT_EQ(b.ranges.size(), 1u);
    EXPECT_EQ(b.ranges[0].count, 2);
    EXPECT_TRUE(allFinite(b.positions));
}

TEST(HeightGeometry, PolylinesTakeLineColoursPerRowOrColumn) {
    Grid gr(3, 2);
    gr.at(1, 1) = kNaN;
    aglVertexBatch b;
    auto lineColour = [](int k, uint8_t c[3]) { c[0] = uint8_t(k), c[1] = c[2] = 0; };
    aglBuildPolylines(gr.g, true, {}, lineColour, b);
    // Row 0 whole; row 1 broken into single vertices: nothing.
    ASSERT_EQ(b.ranges.size(), 1u);
    EXPECT_EQ(b.colours[0], 0);
    aglBuildPolylines(gr.g, false, {}, lineColour, b);
    // Columns 0 and 2 (column 1 is two pieces of one vertex).
    ASSERT_EQ(b.ranges.size(), 2u);
    EXPECT_EQ(b.colours[4 * b.ranges[1].first], 2); // colour of column 2, not of piece 1
    EXPECT_TRUE(aglPolylinesAlongX(0, 3, 2));
    EXPECT_FALSE(aglPolylinesAlongX(0, 2, 3));
    EXPECT_TRUE(aglPolylinesAlongX(1, 2, 3));
    EXPECT_FALSE(aglPolylinesAlongX(3, 3, 2));
}

TEST(HeightGeometry, PointsSkipHoles) {
    Grid gr(3, 2);
    gr.at(0, 0) = kNaN;
    aglVertexBatch b;
    aglBuildPoints(gr.g, {}, b);
    EXPECT_EQ(b.vertexCount(), 5);
    EXPECT_EQ(b.ranges.size(), 2u);
}

TEST(HeightGeometry, BarsTouchAtFullAreaAndFlattenNearZero) {
    Grid gr(2, 1, 0.5f, 1.0f);
    gr.at(0, 0) = 0.004f; // flat square
    gr.at(1, 0) = -0.3f;  // box below zero
    aglVertexBatch b;
    aglBuildBars(gr.g, 1.0f, {}, b);
    ASSERT_EQ(b.vertexCount(), 4 + 24);
    // The flat square lies at z = 0 and spans x -0.25..0.25 with normal up.
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(b.positions[3 * k + 2], 0.0f);
    EXPECT_FLOAT_EQ(b.positions[3], 0.25f);
    EXPECT_FLOAT_EQ(b.normals[2], 1.0f);
    // The box starts at x = 0.25: the two bars touch.
    float minX = 1e9f, minZ = 1e9f, maxZ = -1e9f;
    for (int k = 4; k < b.vertexCount(); ++k) {
        minX = std::min(minX, b.positions[3 * k]);
        minZ = std::min(minZ, b.positions[3 * k + 2]);
        maxZ = std::max(maxZ, b.positions[3 * k + 2]);
    }
    EXPECT_FLOAT_EQ(minX, 0.25f);
    EXPECT_FLOAT_EQ(minZ, -0.3f);
    EXPECT_FLOAT_EQ(maxZ, 0.0f);
    // Bottom first (normal down), top last (normal up).
    EXPECT_FLOAT_EQ(b.normals[3 * 4 + 2], -1.0f);
    EXPECT_FLOAT_EQ(b.normals[3 * (b.vertexCount() - 1) + 2], 1.0f);
}

TEST(HeightGeometry, BarsAndPickCodesSkipHoles) {
    Grid gr(3, 1);
    gr.at(1, 0) = kNaN;
    aglBatchInputs in;
    in.colouring = aglVertexColouring::PickCode;
    in.pick = [](int i, int j, uint8_t c[3]) { c[0] = uint8_t(i), c[1] = uint8_t(j), c[2] = 64; };
    aglVertexBatch b;
    aglBuildBars(gr.g, 0.7f, in, b);
    EXPECT_EQ(b.vertexCount(), 8); // two flat squares
    EXPECT_TRUE(b.normals.empty());
    EXPECT_EQ(b.colours[4 * 4], 2); // second square is sample 2
}

TEST(HeightGeometry, CursorBoxAveragesNeighboursBetweenSamplesAndClamps) {
    Grid gr(3, 3, 0.5f, 0.5f);
    gr.at(1, 1) = 0.4f;
    gr.at(2, 1) = 2.0f; // clamped to zScale 0.8
    gr.at(1, 2) = kNaN; // a hole counts as 0
    gr.at(2, 2) = 0.4f;
    // Data index 3 with stride 2 lies between samples 1 and 2 in both directions.
    aglCursorBox box = aglComputeCursorBox(gr.g, 3, 3, 2, 2, 1.0f, 1.0f, 0.8f, false);
    ASSERT_TRUE(box.inside);
    EXPECT_FLOAT_EQ(box.z, (0.4f + 0.8f + 0.0f + 0.4f) / 4.0f);
    EXPECT_FLOAT_EQ(box.x, 0.75f);
    EXPECT_FLOAT_EQ(box.hx, 0.125f);
    EXPECT_FLOAT_EQ(box.hz, 0.4f);
    // On a sample: only that sample. Fixed view: a flatter box.
    box = aglComputeCursorBox(gr.g, 2, 2, 2, 2, 1.0f, 1.0f, 0.8f, true);
    EXPECT_FLOAT_EQ(box.z, 0.4f);
    EXPECT_FLOAT_EQ(box.hz, 0.2f);
    // Tiny cells still give a visible box.
    Grid fine(200, 200, 1.0f / 199, 1.0f / 199);
    box = aglComputeCursorBox(fine.g, 0, 0, 1, 1, 1.0f, 1.0f, 0.8f, false);
    EXPECT_FLOAT_EQ(box.hx, 0.02f);
    // Outside the grid, or negative: nothing.
    EXPECT_FALSE(aglComputeCursorBox(gr.g, 6, 0, 2, 1, 1, 1, 0.8f, false).inside);
    EXPECT_FALSE(aglComputeCursorBox(gr.g, -1, 0, 1, 1, 1, 1, 0.8f, false).inside);
}
