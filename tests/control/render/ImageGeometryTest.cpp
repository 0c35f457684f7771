// The image map's and vector graph's arithmetic without GL: texture sizing,
// palette images with no-data cells, orientation, cursor cell, vector points.
#include "aglImageGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

#include "aglFilter.h"
#include "aglLevelOfDetail.h"
#include "aglPalette.h"

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

struct PlanCase {
    int nx, ny;
    bool filter;
    int limit;
    bool texture, oneD;
    int repeatX, repeatY, width, height;
    bool resample;
};
// ctest shows the case by what it holds.
void PrintTo(const PlanCase& c, std::ostream* out) {
    *out << c.nx << "x" << c.ny << (c.filter ? " filtered" : "");
}

class ImagePlan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ImagePlan, SizesTheImageForTheContext) {
    const PlanCase& c = GetParam();
    const aglImagePlan p = aglPlanImage(c.nx, c.ny, c.filter, c.limit);
    EXPECT_EQ(p.texture, c.texture);
    if (!c.texture) return;
    EXPECT_EQ(p.oneD, c.oneD);
    EXPECT_EQ(p.repeatX, c.repeatX);
    EXPECT_EQ(p.repeatY, c.repeatY);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.resample, c.resample);
}

INSTANTIATE_TEST_SUITE_P(Rules, ImagePlan,
                         ::testing::Values(
                             // Small and unfiltered: quads.
                             PlanCase{20, 20, false, 8192, false, false, 1, 1, 0, 0, false},
                             // Filtered: doubled to 40 x 40, raised to 64 x 64.
                             PlanCase{20, 20, true, 8192, true, false, 2, 2, 64, 64, true},
                             // 1024 cells or more: a texture even unfiltered.
                             PlanCase{32, 32, false, 8192, true, false, 1, 1, 32, 32, false},
                             PlanCase{300, 200, false, 8192, true, false, 1, 1, 512, 256, true},
                             // A single row or column is 1-D, whatever the doubling would make it.
                             PlanCase{10, 1, true, 8192, true, true, 4, 1, 64, 1, true},
                             PlanCase{1, 2000, false, 8192, true, true, 1, 1, 2048, 1, true},
                             PlanCase{64, 1, true, 8192, true, true, 1, 1, 64, 1, false},
                             // One narrow axis only.
                             PlanCase{1000, 10, false, 8192, true, false, 1, 4, 1024, 64, true},
                             // Larger than the context can hold: limited per axis.
                             PlanCase{16384, 16384, false, 8192, true, false, 1, 1, 8192, 8192,
                                      true},
                             PlanCase{300, 200, true, 64, true, false, 1, 1, 64, 64, true}));

TEST(ImagePlan, EmptyGridsHaveNoImage) {
    EXPECT_FALSE(aglPlanImage(0, 5, true, 1024).texture);
    EXPECT_FALSE(aglPlanImage(5, 0, true, 1024).texture);
    EXPECT_EQ(aglNextPowerOfTwo(0), 1);
    EXPECT_EQ(aglNextPowerOfTwo(1024), 1024);
    EXPECT_EQ(aglNextPowerOfTwo(1025), 2048);
}

TEST(ImageBuild, EverySampleTakesItsPaletteColourAndHolesAreTransparent) {
    aglPalette palette;
    palette.SetPaletteId(1); // grey ramp: entry k is (k, k, k)
    palette.SetRange(0.0, 1.0);
    // Row 0: the minimum (palette entry 0, a real value), a NaN, the maximum.
    // Row 1: an infinity first, then two values.
    const float h[6] = {0.0f, kNan, 1.0f, kInf, 0.5f, 0.25f};
    std::vector<uint8_t> img;
    EXPECT_EQ(aglBuildImage(h, 3, 2, palette, img), 2);
    ASSERT_EQ(img.size(), 24u);
    const auto texel = [&](int i, int j) { return &img[(size_t(j) * 3 + size_t(i)) * 4]; };
    EXPECT_EQ(texel(0, 0)[0], 0);
    EXPECT_EQ(texel(0, 0)[3], 255); // entry 0 is data, not "no data"
    EXPECT_EQ(texel(2, 0)[0], 255);
    EXPECT_EQ(texel(1, 0)[3], 0);
    EXPECT_EQ(texel(0, 1)[3], 0);
    // Holes carry a finite neighbour's colour for linear filtering.
    EXPECT_EQ(texel(1, 0)[0], texel(0, 0)[0]);
    EXPECT_EQ(texel(0, 1)[0], texel(1, 1)[0]);
    uint8_t mid[3];
    palette.ColourOf(0.5, mid);
    EXPECT_EQ(texel(1, 1)[0], mid[0]);
    EXPECT_EQ(texel(1, 1)[3], 255);
}

TEST(ImageBuild, RepeatingMultipliesEveryTexel) {
    // 2 x 2 texels, each a distinct red.
    std::vector<uint8_t> in(16, 255);
    for (int k = 0; k < 4; ++k)
        in[size_t(k) * 4] = uint8_t(10 * (k + 1));
    std::vector<uint8_t> out;
    aglRepeatImage(in, 2, 2, 3, 2, out);
    ASSERT_EQ(out.size(), size_t(6 * 4 * 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(out[(size_t(y) * 6 + size_t(x)) * 4], 10 * ((y / 2) * 2 + x / 3 + 1))
                << x << "," << y;
}

TEST(ImageOrientation, CellsAndTextureCoordinatesMirrorTogether) {
    // The cell drawn at position (i, j) and the texel the texture puts there
    // must be the same grid sample in every orientation.
    const int nx = 5, ny = 3;
    for (int o = 0; o < 4; ++o) {
        float st[4][2];
        aglImageTexCoords(o, false, st);
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                int io = 0, jo = 0;
                aglOrientCell(o, nx, ny, i, j, &io, &jo);
                // Interpolate the corner coordinates at the cell centre.
                const float u = (float(i) + 0.5f) / nx, v = (float(j) + 0.5f) / ny;
                const float s = st[0][0] + (st[1][0] - st[0][0]) * u;
                const float t = st[0][1] + (st[3][1] - st[0][1]) * v;
                EXPECT_EQ(int(std::floor(s * nx)), io) << o;
                EXPECT_EQ(int(std::floor(t * ny)), jo) << o;
            }
    }
    // Orientation 3 is a half turn: the first cell shows the last sample.
    int io = 0, jo = 0;
    aglOrientCell(3, nx, ny, 0, 0, &io, &jo);
    EXPECT_EQ(io, nx - 1);
    EXPECT_EQ(jo, ny - 1);
    // A single column's 1-D texture runs along y.
    float st[4][2];
    aglImageTexCoords(2, true, st);
    EXPECT_EQ(st[0][0], 1.0f);
    EXPECT_EQ(st[3][0], 0.0f);
}

TEST(ImageCursor, CellIsMirroredAndNeverSmallerThanTheMarker) {
    // 10 x 4 grid over a 1 x 1 box, data sampled every 2 columns.
    aglCursorCell c = aglComputeCursorCell(10, 4, 1, 6, 1, 2, 0, 1.0f, 1.0f);
    ASSERT_TRUE(c.inside);
    EXPECT_FLOAT_EQ(c.x, 3.5f / 10.0f);
    EXPECT_FLOAT_EQ(c.y, 1.5f / 4.0f);
    EXPECT_FLOAT_EQ(c.m, 0.05f);
    EXPECT_FLOAT_EQ(c.hx, 0.05f);        // 0.5 x 0.1 / 2 = 0.025, raised to m
    EXPECT_FLOAT_EQ(c.hy, 0.5f * 0.25f); // larger than m
    c = aglComputeCursorCell(10, 4, 1, 6, 1, 2, 3, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(c.x, 6.5f / 10.0f);
    EXPECT_FLOAT_EQ(c.y, 2.5f / 4.0f);
    EXPECT_FALSE(aglComputeCursorCell(10, 4, 4, 0, 1, 1, 0, 1.0f, 1.0f).inside);
    EXPECT_FALSE(aglComputeCursorCell(10, 4, 0, 20, 1, 2, 0, 1.0f, 1.0f).inside);
    EXPECT_FALSE(aglComputeCursorCell(10, 4, -1, 0, 1, 1, 0, 1.0f, 1.0f).inside);
}

TEST(VectorPoints, ComponentsMapToCoordinatesAndHolesBreakTheLine) {
    aglVectorPoints v;
    const float one[3] = {0.1f, 0.2f, 0.3f};
    aglBuildVectorPoints(one, 3, 1, v);
    ASSERT_EQ(v.xyz.size(), 9u);
    EXPECT_EQ(v.xyz[3], 0.2f);
    EXPECT_EQ(v.xyz[4], 0.0f);
    EXPECT_EQ(v.xyz[5], 0.0f);
    EXPECT_TRUE(v.w.empty());

    const float two[6] = {0.1f, 0.9f, 0.2f, 0.8f, 0.3f, 0.7f};
    aglBuildVectorPoints(two, 3, 2, v);
    EXPECT_EQ(v.xyz[1], 0.9f);
    EXPECT_EQ(v.xyz[2], 0.0f); // z = 0 plane
    ASSERT_EQ(v.runs.size(), 1u);
    EXPECT_EQ(v.runs[0].count, 3);

    // Five points of four components; point 1 has a NaN y, point 3 an
    // infinite colour value: points 0, 2 and 4 are kept, each a run of its own.
    const float four[20] = {0.1f, 0.1f, 0.1f, 0.0f, 0.2f, kNan, 0.2f, 0.5f, 0.3f, 0.3f,
                            0.3f, 1.0f, 0.4f, 0.4f, 0.4f, kInf, 0.5f, 0.5f, 0.5f, 0.25f};
    aglBuildVectorPoints(four, 5, 4, v);
    ASSERT_EQ(v.source.size(), 3u);
    EXPECT_EQ(v.source[1], 2);
    EXPECT_EQ(v.source[2], 4);
    ASSERT_EQ(v.runs.size(), 3u);
    EXPECT_EQ(v.w[1], 1.0f);
    EXPECT_EQ(v.xyz[8], 0.5f); // third kept point, z

    aglBuildVectorPoints(nullptr, 5, 4, v);
    EXPECT_TRUE(v.runs.empty());
}

TEST(VectorCursor, PointIsLimitedToTheBox) {
    const float extent[3] = {1.0f, 1.0f, 0.5f};
    const float grid[6] = {-0.2f, 2.0f, 0.9f, 0.3f, kNan, 0.1f};
    float p[3];
    ASSERT_TRUE(aglVectorCursorPoint(grid, 2, 3, 0, extent, p));
    EXPECT_EQ(p[0], 0.0f);
    EXPECT_EQ(p[1], 1.0f);
    EXPECT_EQ(p[2], 0.5f);
    ASSERT_TRUE(aglVectorCursorPoint(grid, 2, 3, 1, extent, p));
    EXPECT_EQ(p[1], 0.0f);
    // Two components: z is 0.
    ASSERT_TRUE(aglVectorCursorPoint(grid, 3, 2, 2, extent, p));
    EXPECT_EQ(p[2], 0.0f);
    EXPECT_FALSE(aglVectorCursorPoint(grid, 2, 3, 2, extent, p));
}

} // namespace

// A huge array shown as an image map: the finest level asks for every
// element (its budget is raised to the window's size), but the grid keeps at
// most kMaxSamplesImage samples per axis, so a 16384 x 16384 window gives a
// 1024 x 1024 grid (4 MiB) and a 1024 x 1024 texture, not a 1 GiB grid.
TEST(ImagePlan, HugeArrayGivesAGridAndTextureThatFit) {
    const int r = agl::levelResolution(16384, 16384, agl::kInitialBudget[2], 2, 2);
    EXPECT_EQ(r, 1);
    int rowStep = 0, columnStep = 0, rows = 0, columns = 0;
    aglFilter::steps(16384, 16384, r, aglFilter::maxSamplesFor(2), rowStep, columnStep, rows,
                     columns);
    EXPECT_EQ(rows, 1024);
    EXPECT_EQ(columns, 1024);
    const aglImagePlan p = aglPlanImage(columns, rows, false, 8192);
    EXPECT_EQ(p.width, 1024);
    EXPECT_FALSE(p.resample);
    // A context that holds less still gets the whole image, scaled down.
    EXPECT_EQ(aglPlanImage(columns, rows, false, 512).width, 512);
}
