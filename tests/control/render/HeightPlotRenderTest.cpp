// The height plot on a real GL context (EGL, no display): one reference
// picture per visual feature, picks that decode to the sample under the
// pixel, and grids with holes. Pictures are compared with baselines in
// tests/baselines (see tests/ImageCompare.h); a new or changed picture is
// written to <build>/test-output for someone to look at.
#include "aglHeightPlotObj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "HeightPlotTestData.h"
#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "aglPalette.h"

using hptest::GridSource;

namespace {

::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new rtest::QtEnvironment);

constexpr int kWidth = 240;
constexpr int kHeight = 180;
constexpr float kZScale = 0.8f;

// A smooth hill and valley, 0..ZScale.
float smooth(int row, int column, int rows, int columns) {
    const float x = float(column) / float(columns - 1), y = float(row) / float(rows - 1);
    return kZScale * (0.5f + 0.4f * std::sin(3.1f * x) * std::cos(2.6f * y - 0.6f));
}

// Camera in the control's home position, a white background, the palette
// spanning 0..ZScale, and one height plot bound as the frame's graph.
class Scene {
public:
    aglRenderContext context;
    aglPalette palette;
    aglHeightPlotObj plot;

    // beforeStart changes the plot before the first frame is drawn.
    explicit Scene(const aglFilter* source,
                   const std::function<void(aglHeightPlotObj&)>& beforeStart = {},
                   int width = kWidth, int height = kHeight) {
        aglCameraObj& cam = context.Camera();
        cam.SetViewport(width, height);
        cam.SetCenter(0.5f, 0.5f, 0.3f);
        cam.SetDistance(3.0f);
        cam.SetElevation(26.0f);
        cam.SetAzimuth(-108.5f);
        context.SetBackground(1.0f, 1.0f, 1.0f);
        palette.SetRange(0.0, kZScale);
        plot.SetExtents(1.0f, 1.0f, kZScale);
        plot.SetColor(0.0f, 0.0f, 1.0f);
        plot.SetPalette(&palette);
        plot.SetUseColorPalette(true);
        plot.SetDataSource(source);
        context.AddObject(&cam);
        context.AddObject(&plot);
        context.SetGraph(&plot);
        plot.SetShowCursor(false);
        if (beforeStart) beforeStart(plot);
        rtest::startContext(context, width, height);
    }
    ~Scene() { context.Stop(); }

    // Changes settings with the render thread paused, then draws.
    QImage draw(const std::function<void(aglHeightPlotObj&)>& change = {}) {
        if (change) {
            context.Pause();
            change(plot);
            context.Resume();
        }
        return rtest::redrawAndWait(context);
    }

    // Window pixel (GL, bottom-up) of a point of the graph box.
    bool project(float x, float y, float z, int* px, int* py) {
        const aglCameraMatrices m = context.Camera().ComputeMatrices();
        double v[4] = {x, y, z, 1.0}, e[4], c[4];
        for (int r = 0; r < 4; ++r) {
            e[r] = 0;
            for (int k = 0; k < 4; ++k)
                e[r] += m.modelview[k * 4 + r] * v[k];
        }
        for (int r = 0; r < 4; ++r) {
            c[r] = 0;
            for (int k = 0; k < 4; ++k)
                c[r] += m.projection[k * 4 + r] * e[k];
        }
        if (c[3] <= 0) return false;
        *px = int(m.viewport[0] + (c[0] / c[3] + 1.0) * 0.5 * m.viewport[2]);
        *py = int(m.viewport[1] + (c[1] / c[3] + 1.0) * 0.5 * m.viewport[3]);
        return true;
    }
};

// Pixels that are not the background.
int inkCount(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++n;
    return n;
}

} // namespace

class HeightPlotStyles : public ::testing::TestWithParam<int> {};

TEST_P(HeightPlotStyles, EachStyleDrawsTheSmoothArray) {
    const int style = GetParam();
    GridSource src(24, 24, [](int r, int c) { return smooth(r, c, 24, 24); });
    Scene scene(&src.filter);
    const QImage img = scene.draw([&](aglHeightPlotObj& p) {
        p.SetStyle(style);
        p.SetNumGridLines(8, 8);
    });
    static const char* names[] = {"wireframe", "surface", "bars", "lines", "points"};
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, std::string("heightplot_") + names[style]));
}

INSTANTIATE_TEST_SUITE_P(AllFive, HeightPlotStyles, ::testing::Values(0, 1, 2, 3, 4));

TEST(HeightPlotRender, SurfaceGridShowsEveryQuarterOnA101Grid) {
    GridSource src(101, 101, [](int r, int c) { return smooth(r, c, 101, 101); });
    Scene scene(&src.filter);
    const QImage img = scene.draw([](aglHeightPlotObj& p) { p.SetNumGridLines(4, 4); });
    EXPECT_EQ(scene.plot.columnStep(), 25);
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_surface_grid_4x4"));
}

TEST(HeightPlotRender, BarsTouchAtFullAreaAndNearZeroHeightsAreFlatSquares) {
    // A checkerboard of tall bars and heights within +-0.005 of zero.
    GridSource src(6, 6, [](int r, int c) { return (r + c) % 2 ? 0.5f : ((r % 3) - 1) * 0.004f; });
    Scene scene(&src.filter);
    const QImage img = scene.draw([](aglHeightPlotObj& p) {
        p.SetStyle(aglGraphObj::kBarChart);
        p.SetBarChartArea(1.0f);
    });
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_bars_touching"));
}

TEST(HeightPlotRender, SingleRowSurfaceDrawsPointsAndSingleColumnLines) {
    GridSource row(1, 16, [](int, int c) { return 0.05f * float(c); });
    {
        Scene scene(&row.filter);
        const QImage img = scene.draw([](aglHeightPlotObj& p) { p.SetPointSize(5.0f); });
        EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_single_row_points"));
    }
    GridSource column(16, 1, [](int r, int) { return 0.05f * float(r); });
    Scene scene(&column.filter);
    const QImage img = scene.draw([](aglHeightPlotObj& p) { p.SetLineWidth(2.0f); });
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_single_column_lines"));
}

TEST(HeightPlotRender, DepthcueFadesTheFarSideTowardsWhite) {
    GridSource src(24, 24, [](int, int) { return 0.3f; });
    Scene scene(&src.filter);
    const QImage img = scene.draw([](aglHeightPlotObj& p) {
        p.SetUseColorPalette(false);
        p.SetShowGrid(false);
        p.SetDepthcue(true);
    });
    // Near corner (x 0, y 0 is towards the eye at azimuth -108.5) darker than far one.
    int nx, ny, fx, fy;
    ASSERT_TRUE(scene.project(0.1f, 0.1f, 0.3f, &nx, &ny));
    ASSERT_TRUE(scene.project(0.9f, 0.9f, 0.3f, &fx, &fy));
    const QRgb nearPx = rtest::px(img, nx, ny), farPx = rtest::px(img, fx, fy);
    EXPECT_GT(qRed(farPx), qRed(nearPx) + 20);
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_depthcue"));
}

TEST(HeightPlotRender, ClampedSurfaceIsCutByTheClipPlanes) {
    // Heights mapped through clamp values run from -0.4 to 1.2, outside the box.
    GridSource src(32, 32,
                   [](int r, int c) { return -0.4f + 1.6f * smooth(r, c, 32, 32) / kZScale; });
    Scene scene(&src.filter);
    const QImage img = scene.draw([](aglHeightPlotObj& p) { p.SetClip(true); });
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "heightplot_clipped"));
}

TEST(HeightPlotRender, HolesAreGapsInEveryStyle) {
    // A block of NaN on the slope that faces the eye, and one infinity.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto inHole = [](int r, int c) { return r >= 2 && r < 7 && c >= 6 && c < 14; };
    GridSource src(24, 24, [&](int r, int c) {
        if (inHole(r, c)) return nan;
        if (r == 18 && c == 18) return std::numeric_limits<float>::infinity();
        return smooth(r, c, 24, 24);
    });
    Scene scene(&src.filter);
    const QImage surface = scene.draw();
    EXPECT_TRUE(tavrix::test::matchesBaseline(surface, "heightplot_holes"));
    // Where the hole is, a pick finds nothing or a sample outside it (seen
    // through the gap), never a sample of the hole.
    const float d = 1.0f / 23.0f;
    int hx, hy;
    ASSERT_TRUE(scene.project(10.0f * d, 4.0f * d, smooth(4, 10, 24, 24), &hx, &hy));
    uint8_t rgba[4] = {};
    ASSERT_EQ(scene.context.Pick(hx, hy, rgba), 0);
    int id = 0;
    double pj = 0, pi = 0;
    scene.plot.DecodePick(rgba, &id, &pj, &pi);
    if (id != 0) {
        EXPECT_FALSE(inHole(int(std::lround(pj)), int(std::lround(pi)))) << pj << "," << pi;
    }
    // No style turns a hole into stray geometry that fills the picture.
    for (int style = 0; style <= 4; ++style) {
        const QImage img = scene.draw([&](aglHeightPlotObj& p) { p.SetStyle(style); });
        const int ink = inkCount(img);
        EXPECT_GT(ink, 100) << style;
        EXPECT_LT(ink, kWidth * kHeight / 2) << style;
    }
}

TEST(HeightPlotRender, PickDecodesToTheSampleUnderThePixel) {
    // A gentle slope: every sample is visible from the home position.
    const int n = 24;
    GridSource src(n, n, [](int r, int c) { return 0.1f + 0.004f * float(r + c); });
    Scene scene(&src.filter);
    scene.draw();
    const float d = 1.0f / float(n - 1);
    for (auto [i, j] : {std::pair{3, 4}, {12, 12}, {20, 2}, {5, 19}}) {
        int x, y;
        ASSERT_TRUE(
            scene.project(float(i) * d, float(j) * d, 0.1f + 0.004f * float(i + j), &x, &y));
        uint8_t rgba[4] = {};
        ASSERT_EQ(scene.context.Pick(x, y, rgba), 0);
        int id = 0;
        double pj = -1, pi = -1;
        scene.plot.DecodePick(rgba, &id, &pj, &pi);
        EXPECT_EQ(id, 1);
        // The pixel centre lies within half a pixel of the sample; at this
        // size a pixel spans less than a grid cell.
        EXPECT_NEAR(pi, i, 0.75) << i << "," << j;
        EXPECT_NEAR(pj, j, 0.75) << i << "," << j;
    }
    // Outside the plot: nothing.
    uint8_t rgba[4] = {1, 1, 1, 1};
    ASSERT_EQ(scene.context.Pick(2, 2, rgba), 0);
    int id = -1;
    scene.plot.DecodePick(rgba, &id, nullptr, nullptr);
    EXPECT_EQ(id, 0);
}

TEST(HeightPlotRender, DisplayListIsReplayedUntilSomethingChanges) {
    GridSource src(24, 24, [](int r, int c) { return smooth(r, c, 24, 24); });
    Scene scene(&src.filter);
    const QImage direct = scene.draw([](aglHeightPlotObj& p) { p.SetCacheBehavior(1); });
    EXPECT_EQ(scene.plot.geometryList(), 0u);
    const QImage listed = scene.draw([](aglHeightPlotObj& p) { p.SetCacheBehavior(0); });
    EXPECT_NE(scene.plot.geometryList(), 0u);
    EXPECT_EQ(tavrix::test::countDifferentPixels(direct, listed, 0), 0);
    // Replayed: the same picture again from the list.
    const QImage replayed = scene.draw();
    EXPECT_EQ(tavrix::test::countDifferentPixels(listed, replayed, 0), 0);
    // A change is drawn (the list is recompiled), and CacheBehavior 1 drops the list.
    const QImage bars = scene.draw([](aglHeightPlotObj& p) { p.SetStyle(aglGraphObj::kBarChart); });
    EXPECT_GT(tavrix::test::countDifferentPixels(replayed, bars, 16), 1000);
    scene.draw([](aglHeightPlotObj& p) { p.SetCacheBehavior(1); });
    EXPECT_EQ(scene.plot.geometryList(), 0u);
}

TEST(HeightPlotRender, GridWithoutPolygonOffsetIsLiftedByTranslation) {
    GridSource src(24, 24, [](int r, int c) { return smooth(r, c, 24, 24); });
    Scene scene(&src.filter, [](aglHeightPlotObj& p) { p.SetGLVersionForTest("1.0"); });
    const QImage img = scene.draw([](aglHeightPlotObj& p) { p.SetNumGridLines(8, 8); });
    EXPECT_EQ(scene.plot.PolygonOffsetState(), 0);
    // The grid still shows over the surface: many grid-coloured pixels.
    int grid = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (rtest::near(img.pixel(x, y), 51, 51, 51)) ++grid;
    EXPECT_GT(grid, 200);
}

// A level refiltered to a smaller grid between two frames, without Refresh:
// the next frame must draw the new grid with its own size (the old size
// would read heights and normals past the end; the sanitizer build checks).
TEST(HeightPlotRender, GridThatShrankSinceTheLastRefreshIsDrawnWithItsNewSize) {
    GridSource src(60, 60, [](int r, int c) { return smooth(r, c, 60, 60); });
    Scene scene(&src.filter);
    const QImage big = scene.draw();
    scene.context.Pause();
    ASSERT_TRUE(src.fill(6, 9, [](int r, int c) { return smooth(r, c, 6, 9); }));
    scene.context.Resume();
    const QImage small = scene.draw();
    EXPECT_EQ(scene.plot.gridWidth(), 9);
    EXPECT_EQ(scene.plot.gridHeight(), 6);
    EXPECT_GT(tavrix::test::countDifferentPixels(big, small, 16), 100);
    // And back to a larger one.
    scene.context.Pause();
    ASSERT_TRUE(src.fill(40, 30, [](int r, int c) { return smooth(r, c, 40, 30); }));
    scene.context.Resume();
    scene.draw();
    EXPECT_EQ(scene.plot.gridWidth(), 30);
}
