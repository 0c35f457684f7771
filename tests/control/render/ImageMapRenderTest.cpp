// The image map, the vector graph and the plane view on a real GL context
// (EGL, no display): reference pictures of the sizing rules, orientation,
// holes and cursors; picks in every orientation; the texture size limit and
// failed uploads; grids that change size between frames; and the vector graph
// drawn while passes refilter its grid on another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>

#include "HeightPlotTestData.h"
#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "aglAxisObj.h"
#include "aglAxisTicks.h"
#include "aglHeightMeshObj.h"
#include "aglHeightPlotObj.h"
#include "aglImageMapObj.h"
#include "aglPalette.h"
#include "aglTrace.h"

using hptest::GridSource;

namespace {

::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new rtest::QtEnvironment);

constexpr int kWidth = 160;
constexpr int kHeight = 120;
const float kNan = std::numeric_limits<float>::quiet_NaN();

// A value ramp that differs along x and y, 0..1.
float ramp(int row, int column, int rows, int columns) {
    return 0.7f * float(column) / float(std::max(1, columns - 1)) +
           0.3f * float(row) / float(std::max(1, rows - 1));
}

// A vector grid: `points` rows of `components` values from f(point, component).
struct VectorSource {
    aglArray array;
    aglFilter filter;
    VectorSource(int points, int components, const std::function<float(int, int)>& f) {
        auto* p = static_cast<uint8_t*>(array.allocate(int64_t(points) * components * 4));
        const int32_t ext[2] = {points, components};
        if (!p || array.reshape(2, ext, AGL_FLOAT) != 0) return;
        p = static_cast<uint8_t*>(array.mutableData());
        for (int k = 0; k < points; ++k)
            for (int c = 0; c < components; ++c) {
                const float v = f(k, c);
                std::memcpy(p + (size_t(k) * components + c) * 4, &v, 4);
            }
        filter.setArray(&array);
        filter.setMaxSamples(aglFilter::kMaxSamplesVector);
        filter.setComponentCount(components);
        for (int c = 0; c < components; ++c)
            filter.setSourceColumn(c, c);
        filter.filter(1);
    }
};

// One graph object bound as the frame's graph, with a palette over 0..1 and
// a white background; the camera in a fixed view (viewType 1..3) or in the
// control's home position (0).
template <typename Obj> class Scene {
public:
    aglRenderContext context;
    aglPalette palette;
    Obj graph;

    Scene(const aglFilter* source, int viewType,
          const std::function<void(Obj&, aglRenderContext&)>& beforeStart = {}) {
        aglCameraObj& cam = context.Camera();
        cam.SetViewport(kWidth, kHeight);
        cam.SetCenter(0.5f, 0.5f, 0.3f);
        cam.SetDistance(3.0f);
        cam.SetElevation(26.0f);
        cam.SetAzimuth(-108.5f);
        cam.SetViewType(viewType);
        context.SetBackground(1.0f, 1.0f, 1.0f);
        palette.SetRange(0.0, 1.0);
        graph.SetExtents(1.0f, 1.0f, 1.0f);
        graph.SetPalette(&palette);
        graph.SetUseColorPalette(true);
        graph.SetShowGrid(false);
        graph.SetShowCursor(false);
        graph.SetDataSource(source);
        context.AddObject(&cam);
        if (beforeStart) beforeStart(graph, context);
        context.AddObject(&graph);
        context.SetGraph(&graph);
        rtest::startContext(context, kWidth, kHeight);
    }
    ~Scene() { context.Stop(); }

    QImage draw(const std::function<void(Obj&)>& change = {}) {
        if (change) {
            context.Pause();
            change(graph);
            context.Resume();
        }
        return rtest::redrawAndWait(context);
    }

    // Window pixel (GL, bottom-up) of a point of the graph box.
    void project(float x, float y, float z, int* px, int* py) {
        const aglCameraMatrices m = context.Camera().ComputeMatrices();
        const double v[4] = {x, y, z, 1.0};
        double e[4] = {}, c[4] = {};
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                e[r] += m.modelview[k * 4 + r] * v[k];
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                c[r] += m.projection[k * 4 + r] * e[k];
        *px = int(m.viewport[0] + (c[0] / c[3] + 1.0) * 0.5 * m.viewport[2]);
        *py = int(m.viewport[1] + (c[1] / c[3] + 1.0) * 0.5 * m.viewport[3]);
    }
    QRgb at(const QImage& img, float x, float y, float z = 0.0f) {
        int px = 0, py = 0;
        project(x, y, z, &px, &py);
        return rtest::px(img, px, py);
    }
};

using ImageScene = Scene<aglImageMapObj>;
using VectorScene = Scene<aglHeightMeshObj>;

bool isWhite(QRgb c) {
    return rtest::near(c, 255, 255, 255);
}

int inkCount(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!isWhite(img.pixel(x, y))) ++n;
    return n;
}

// Collects the trace lines written while it lives.
class TraceCapture {
public:
    TraceCapture() : m_file(std::tmpfile()) { aglSetTraceStream(m_file); }
    ~TraceCapture() {
        aglSetTraceStream(nullptr);
        std::fclose(m_file);
    }
    std::string text() {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string s;
        char buf[512];
        while (std::fgets(buf, sizeof buf, m_file))
            s += buf;
        return s;
    }

private:
    std::FILE* m_file;
};

} // namespace

// --- image map ---------------------------------------------------------------

TEST(ImageMapRender, SmallImageIsQuadsUnfilteredAndALinearTextureFiltered) {
    GridSource src(20, 20, [](int r, int c) { return ramp(r, c, 20, 20); });
    ImageScene scene(&src.filter, 2);
    const QImage quads = scene.draw();
    EXPECT_FALSE(scene.graph.Plan().texture);
    EXPECT_TRUE(tavrix::test::matchesBaseline(quads, "imagemap_quads_20x20"));
    const QImage linear = scene.draw([](aglImageMapObj& g) { g.SetFilter(true); });
    const aglImagePlan p = scene.graph.Plan();
    EXPECT_TRUE(p.texture);
    EXPECT_EQ(p.repeatX, 2);
    EXPECT_EQ(p.width, 64);
    EXPECT_EQ(p.height, 64);
    EXPECT_TRUE(tavrix::test::matchesBaseline(linear, "imagemap_linear_20x20"));
    // Linear filtering blends the cell edges that the quads keep sharp.
    EXPECT_GT(tavrix::test::countDifferentPixels(quads, linear, 4), 200);
}

TEST(ImageMapRender, LargeImageBecomesAPowerOfTwoTexture) {
    GridSource src(200, 300, [](int r, int c) {
        return 0.5f + 0.45f * std::sin(float(c) / 25.0f) * std::cos(float(r) / 20.0f);
    });
    ImageScene scene(&src.filter, 2);
    const QImage img = scene.draw();
    EXPECT_EQ(scene.graph.Plan().width, 512);
    EXPECT_EQ(scene.graph.Plan().height, 256);
    EXPECT_EQ(scene.graph.TextureUploads(), 1);
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "imagemap_300x200"));
    // Replayed without another upload.
    scene.draw();
    EXPECT_EQ(scene.graph.TextureUploads(), 1);
}

TEST(ImageMapRender, SingleRowAndColumnAre1DTextures) {
    GridSource row(1, 50, [](int, int c) { return float(c) / 49.0f; });
    {
        ImageScene scene(&row.filter, 2);
        const QImage img = scene.draw([](aglImageMapObj& g) { g.SetFilter(true); });
        EXPECT_TRUE(scene.graph.Plan().oneD);
        EXPECT_EQ(scene.graph.Plan().width, 64);
        EXPECT_TRUE(tavrix::test::matchesBaseline(img, "imagemap_single_row"));
        // The row fills the box: low values on the left, high on the right.
        EXPECT_NE(scene.at(img, 0.05f, 0.5f), scene.at(img, 0.95f, 0.5f));
        EXPECT_EQ(scene.at(img, 0.5f, 0.1f), scene.at(img, 0.5f, 0.9f));
    }
    GridSource column(40, 1, [](int r, int) { return float(r) / 39.0f; });
    ImageScene scene(&column.filter, 2);
    const QImage img = scene.draw([](aglImageMapObj& g) { g.SetFilter(true); });
    EXPECT_TRUE(scene.graph.Plan().oneD);
    EXPECT_NE(scene.at(img, 0.5f, 0.05f), scene.at(img, 0.5f, 0.95f));
    EXPECT_EQ(scene.at(img, 0.1f, 0.5f), scene.at(img, 0.9f, 0.5f));
}

TEST(ImageMapRender, OrientationThreeTurnsTheImageByHalfATurn) {
    GridSource src(6, 8, [](int r, int c) { return ramp(r, c, 6, 8); });
    ImageScene scene(&src.filter, 2);
    const QImage upright = scene.draw();
    const QImage turned = scene.draw([](aglImageMapObj& g) { g.SetOrientation(3); });
    EXPECT_TRUE(tavrix::test::matchesBaseline(turned, "imagemap_orientation3"));
    // Every cell centre of the turned picture shows the cell diagonally
    // opposite in the upright one.
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 8; ++i) {
            const float x = (float(i) + 0.5f) / 8.0f, y = (float(j) + 0.5f) / 6.0f;
            EXPECT_EQ(scene.at(turned, x, y), scene.at(upright, 1.0f - x, 1.0f - y))
                << i << "," << j;
        }
    // Values outside 0..3 are ignored.
    scene.graph.SetOrientation(7);
    EXPECT_EQ(scene.graph.Orientation(), 3);
}

class ImageMapPick : public ::testing::TestWithParam<int> {};

TEST_P(ImageMapPick, DecodesToTheSampleUnderThePixel) {
    const int o = GetParam(), nx = 12, ny = 8;
    GridSource src(ny, nx, [](int r, int c) { return ramp(r, c, 8, 12); });
    // Texture and quads share the pick frame: take the texture case.
    ImageScene scene(&src.filter, 2, [&](aglImageMapObj& g, aglRenderContext&) {
        g.SetOrientation(o);
        g.SetFilter(true);
    });
    scene.draw();
    for (auto [i, j] : {std::pair{0, 0}, {11, 0}, {3, 5}, {10, 7}, {6, 2}}) {
        int x = 0, y = 0;
        scene.project((float(i) + 0.5f) / nx, (float(j) + 0.5f) / ny, 0.0f, &x, &y);
        uint8_t rgba[4] = {};
        ASSERT_EQ(scene.context.Pick(x, y, rgba), 0);
        int id = 0;
        double pj = -1, pi = -1;
        scene.graph.DecodePick(rgba, &id, &pj, &pi);
        int io = 0, jo = 0;
        aglOrientCell(o, nx, ny, i, j, &io, &jo);
        EXPECT_EQ(id, 1);
        EXPECT_EQ(pi, io) << "cell " << i << "," << j;
        EXPECT_EQ(pj, jo) << "cell " << i << "," << j;
    }
}

INSTANTIATE_TEST_SUITE_P(EachOrientation, ImageMapPick, ::testing::Values(0, 1, 2, 3));

TEST(ImageMapRender, HolesAreTransparentCellsInQuadsAndTextures) {
    // A 4 x 4 block of no data in a 32 x 32 image, and one infinity.
    GridSource src(32, 32, [](int r, int c) {
        if (r >= 12 && r < 16 && c >= 20 && c < 24) return kNan;
        if (r == 3 && c == 3) return std::numeric_limits<float>::infinity();
        return ramp(r, c, 32, 32);
    });
    ImageScene scene(&src.filter, 2);
    const float hx = 22.0f / 32.0f, hy = 14.0f / 32.0f;
    const QImage nearest = scene.draw();
    EXPECT_TRUE(scene.graph.Plan().texture);
    EXPECT_TRUE(isWhite(scene.at(nearest, hx, hy)));
    EXPECT_TRUE(isWhite(scene.at(nearest, 3.5f / 32.0f, 3.5f / 32.0f)));
    EXPECT_FALSE(isWhite(scene.at(nearest, 10.0f / 32.0f, hy)));
    EXPECT_TRUE(tavrix::test::matchesBaseline(nearest, "imagemap_holes"));
    const QImage linear = scene.draw([](aglImageMapObj& g) { g.SetFilter(true); });
    EXPECT_TRUE(isWhite(scene.at(linear, hx, hy)));
    // Small images draw quads: the hole is skipped there too.
    GridSource small(8, 8, [](int r, int c) { return r == 4 && c == 4 ? kNan : 0.2f; });
    ImageScene quads(&small.filter, 2);
    const QImage q = quads.draw();
    EXPECT_FALSE(quads.graph.Plan().texture);
    EXPECT_TRUE(isWhite(quads.at(q, 4.5f / 8.0f, 4.5f / 8.0f)));
    EXPECT_FALSE(isWhite(quads.at(q, 2.5f / 8.0f, 4.5f / 8.0f)));
}

TEST(ImageMapRender, CursorCellIsTwoTruncatedPyramids) {
    // Cells larger than the marker squares, so that the pyramids taper.
    GridSource src(4, 4, [](int r, int c) { return ramp(r, c, 4, 4); });
    // A free view shows the pyramids above and below the plane.
    ImageScene scene(&src.filter, 0, [](aglImageMapObj& g, aglRenderContext&) {
        g.SetShowCursor(true);
        g.SetCursorColor(0.0f, 0.0f, 0.0f);
        g.SetCursorTransparency(1.0f);
    });
    const QImage img = scene.draw([](aglImageMapObj& g) { g.SetCursorCell(2, 1, 1, 1); });
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "imagemap_cursor"));
    // The square above the cell is drawn in the cursor colour.
    int black = 0;
    int cx = 0, cy = 0;
    scene.project(0.375f, 0.625f, 0.2f, &cx, &cy);
    for (int dy = -12; dy <= 12; ++dy)
        for (int dx = -12; dx <= 12; ++dx)
            if (rtest::near(rtest::px(img, cx + dx, cy + dy), 0, 0, 0)) ++black;
    EXPECT_GT(black, 10);
}

TEST(ImageMapRender, ImageLargerThanTheTextureLimitIsScaledToFit) {
    GridSource src(200, 300, [](int r, int c) { return ramp(r, c, 200, 300); });
    ImageScene scene(&src.filter, 2,
                     [](aglImageMapObj& g, aglRenderContext&) { g.SetTextureLimitForTest(64); });
    const QImage img = scene.draw();
    EXPECT_GE(scene.graph.MaxTextureSize(), 1024);
    EXPECT_EQ(scene.graph.Plan().width, 64);
    EXPECT_EQ(scene.graph.Plan().height, 64);
    // Still the whole image over the whole box.
    for (float x : {0.02f, 0.5f, 0.98f})
        for (float y : {0.02f, 0.5f, 0.98f})
            EXPECT_FALSE(isWhite(scene.at(img, x, y))) << x << "," << y;
    EXPECT_NE(scene.at(img, 0.02f, 0.5f), scene.at(img, 0.98f, 0.5f));
}

TEST(ImageMapRender, FailedUploadDrawsNothingForThatFrameAndSaysWhy) {
    GridSource src(40, 40, [](int r, int c) { return ramp(r, c, 40, 40); });
    ImageScene scene(&src.filter, 2);
    ASSERT_FALSE(isWhite(scene.at(scene.draw(), 0.5f, 0.5f)));
    TraceCapture trace;
    // The grid grows: a new image of another size is due, and its upload fails.
    scene.context.Pause();
    scene.graph.SetUploadFailureForTest(true);
    ASSERT_TRUE(src.fill(100, 120, [](int r, int c) { return ramp(r, c, 100, 120); }));
    scene.context.Resume();
    const QImage failed = rtest::redrawAndWait(scene.context);
    EXPECT_TRUE(isWhite(scene.at(failed, 0.5f, 0.5f)));
    EXPECT_NE(trace.text().find("aglImageMapObj::Render() -- the context cannot hold a 128x128"),
              std::string::npos)
        << trace.text();
    EXPECT_EQ(scene.graph.Plan().width, 128); // the old 64 x 64 texture is not shown
    const QImage again = scene.draw([](aglImageMapObj& g) { g.SetUploadFailureForTest(false); });
    EXPECT_FALSE(isWhite(scene.at(again, 0.5f, 0.5f)));
}

TEST(ImageMapRender, GridThatChangedSizeIsRebuiltUnderTheLock) {
    GridSource src(64, 48, [](int r, int c) { return ramp(r, c, 64, 48); });
    ImageScene scene(&src.filter, 2);
    scene.draw();
    EXPECT_EQ(scene.graph.ImageBuilds(), 1);
    scene.context.Pause();
    ASSERT_TRUE(src.fill(5, 7, [](int r, int c) { return ramp(r, c, 5, 7); }));
    scene.context.Resume();
    const QImage small = scene.draw();
    EXPECT_EQ(scene.graph.ImageBuilds(), 2);
    EXPECT_FALSE(scene.graph.Plan().texture); // 35 cells: quads
    // The last of 7 columns fills the right seventh of the box.
    EXPECT_EQ(scene.at(small, 0.90f, 0.5f), scene.at(small, 0.98f, 0.5f));
    scene.context.Pause();
    ASSERT_TRUE(src.fill(100, 120, [](int r, int c) { return ramp(r, c, 100, 120); }));
    scene.context.Resume();
    scene.draw();
    EXPECT_EQ(scene.graph.Plan().width, 128);
    EXPECT_EQ(scene.graph.Plan().height, 128);
}

TEST(ImageMapRender, PaletteChangedInPlaceRebuildsTheImage) {
    GridSource src(32, 32, [](int r, int c) { return ramp(r, c, 32, 32); });
    ImageScene scene(&src.filter, 2);
    const QImage rainbow = scene.draw();
    // Another PaletteId on the same palette object calls no setter of the graph.
    scene.context.Pause();
    scene.palette.SetPaletteId(1);
    scene.context.Resume();
    const QImage grey = rtest::redrawAndWait(scene.context);
    EXPECT_EQ(scene.graph.ImageBuilds(), 2);
    const QRgb c = scene.at(grey, 0.5f, 0.5f);
    EXPECT_EQ(qRed(c), qGreen(c));
    EXPECT_EQ(qGreen(c), qBlue(c));
    EXPECT_GT(tavrix::test::countDifferentPixels(rainbow, grey, 16), 1000);
}

// --- vector graph ------------------------------------------------------------

TEST(VectorGraphRender, TwoComponentsDrawInTheZeroPlane) {
    // A spiral in x and y.
    VectorSource src(120, 2, [](int k, int c) {
        const float t = float(k) / 119.0f, a = 12.0f * t;
        return 0.5f + 0.45f * t * (c == 0 ? std::cos(a) : std::sin(a));
    });
    VectorScene scene(&src.filter, 0, [](aglHeightMeshObj& g, aglRenderContext&) {
        g.SetColor(0.0f, 0.0f, 1.0f);
        g.SetLineWidth(2.0f);
    });
    const QImage img = scene.draw();
    EXPECT_EQ(scene.graph.PointCount(), 120);
    EXPECT_EQ(scene.graph.ComponentCount(), 2);
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "vector_two_components"));
    // Seen edge-on (the x-z plane facing the viewer) the spiral is one line at z = 0.
    scene.context.Pause();
    scene.context.Camera().SetViewType(1);
    scene.context.Resume();
    const QImage edge = rtest::redrawAndWait(scene.context);
    int x0 = 0, zRow = 0;
    scene.project(0.0f, 0.0f, 0.0f, &x0, &zRow);
    int ink = 0, off = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (!isWhite(rtest::px(edge, x, y))) (std::abs(y - zRow) <= 2 ? ink : off)++;
    EXPECT_GT(ink, 50);
    EXPECT_EQ(off, 0);
}

TEST(VectorGraphRender, FourComponentsAreColouredByTheFourth) {
    // A helix; the fourth component runs 0..1 along it.
    VectorSource src(200, 4, [](int k, int c) {
        const float t = float(k) / 199.0f, a = 18.0f * t;
        switch (c) {
        case 0:
            return 0.5f + 0.4f * std::cos(a);
        case 1:
            return 0.5f + 0.4f * std::sin(a);
        case 2:
            return 0.9f * t;
        default:
            return t;
        }
    });
    VectorScene scene(&src.filter, 0,
                      [](aglHeightMeshObj& g, aglRenderContext&) { g.SetLineWidth(2.0f); });
    const QImage img = scene.draw();
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "vector_four_components"));
    // The start takes the palette's low end (blue in the rainbow), the end its high end (red).
    uint8_t lo[3], hi[3];
    scene.palette.ColourOf(0.0, lo);
    scene.palette.ColourOf(1.0, hi);
    const auto colourNear = [&](float x, float y, float z, const uint8_t rgb[3]) {
        int cx = 0, cy = 0;
        scene.project(x, y, z, &cx, &cy);
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const QRgb c = rtest::px(img, cx + dx, cy + dy);
                if (std::abs(qRed(c) - rgb[0]) + std::abs(qGreen(c) - rgb[1]) +
                        std::abs(qBlue(c) - rgb[2]) <
                    40)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(colourNear(0.9f, 0.5f, 0.0f, lo));
    EXPECT_TRUE(colourNear(0.5f + 0.4f * std::cos(18.0f), 0.5f + 0.4f * std::sin(18.0f), 0.9f, hi));
    // Points style draws the points without the lines that join them.
    const QImage points = scene.draw([](aglHeightMeshObj& g) {
        g.SetStyle(aglGraphObj::kPoints);
        g.SetPointSize(1.0f);
    });
    EXPECT_LT(inkCount(points), inkCount(img) / 2);
    EXPECT_GT(inkCount(points), 100);
}

TEST(VectorGraphRender, NonFinitePointIsSkippedAndBreaksTheLine) {
    // Nine points along y = 0.5; the middle one has no data.
    VectorSource src(9, 2, [](int k, int c) {
        if (k == 4 && c == 1) return kNan;
        return c == 0 ? 0.1f + 0.1f * float(k) : 0.5f;
    });
    VectorScene scene(&src.filter, 2, [](aglHeightMeshObj& g, aglRenderContext&) {
        g.SetColor(0.0f, 0.0f, 0.0f);
        g.SetLineWidth(3.0f);
    });
    const QImage img = scene.draw();
    EXPECT_FALSE(isWhite(scene.at(img, 0.25f, 0.5f)));
    EXPECT_FALSE(isWhite(scene.at(img, 0.75f, 0.5f)));
    // Between points 3 and 5 there is no line.
    EXPECT_TRUE(isWhite(scene.at(img, 0.45f, 0.5f)));
    EXPECT_TRUE(isWhite(scene.at(img, 0.55f, 0.5f)));
}

TEST(VectorGraphRender, ClipPlanesKeepPointsInsideTheBox) {
    // A line along y = 0.5 from x = -0.2 to x = 1.2, past both ends of the box.
    VectorSource src(15, 2, [](int k, int c) { return c == 0 ? -0.2f + 0.1f * float(k) : 0.5f; });
    VectorScene scene(&src.filter, 2, [](aglHeightMeshObj& g, aglRenderContext&) {
        g.SetColor(0.0f, 0.0f, 0.0f);
        g.SetLineWidth(3.0f);
    });
    const QImage free = scene.draw();
    EXPECT_FALSE(isWhite(scene.at(free, 1.1f, 0.5f)));
    EXPECT_FALSE(isWhite(scene.at(free, -0.1f, 0.5f)));
    const QImage clipped = scene.draw([](aglHeightMeshObj& g) { g.SetClip(true); });
    EXPECT_TRUE(isWhite(scene.at(clipped, 1.1f, 0.5f)));
    EXPECT_TRUE(isWhite(scene.at(clipped, -0.1f, 0.5f)));
    EXPECT_FALSE(isWhite(scene.at(clipped, 0.5f, 0.5f)));
}

TEST(VectorGraphRender, CursorPointIsTwoWireBoxes) {
    VectorSource src(50, 3, [](int k, int c) {
        const float t = float(k) / 49.0f;
        return c == 0 ? t : c == 1 ? 0.5f : 0.5f * t;
    });
    VectorScene scene(&src.filter, 0, [](aglHeightMeshObj& g, aglRenderContext&) {
        g.SetShowCursor(true);
        g.SetCursorColor(1.0f, 0.0f, 0.0f);
        g.SetCursorTransparency(1.0f);
        g.SetColor(0.0f, 0.0f, 1.0f);
    });
    const QImage img = scene.draw([](aglHeightMeshObj& g) { g.SetCursorCell(25, 0, 1, 1); });
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "vector_cursor"));
    // A corner of the outer box is drawn in the cursor colour.
    const float t = 25.0f / 49.0f;
    int cx = 0, cy = 0, red = 0;
    scene.project(t + 0.1f, 0.6f, 0.5f * t + 0.1f, &cx, &cy);
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (rtest::near(rtest::px(img, cx + dx, cy + dy), 255, 0, 0)) ++red;
    EXPECT_GT(red, 0);
}

// The frame's graph that locks nothing, so that a test can hold the data
// lock on its own thread while the vector graph is drawn.
class UnlockedGraph : public aglObj, public aglFrameGraph {
public:
    bool LockFrameData(aglRenderContext&) override { return true; }
    void UnlockFrameData() override {}
};

TEST(VectorGraphRender, DataThatCannotBeLockedIsLoggedAndNothingDrawn) {
    VectorSource src(20, 2, [](int k, int) { return float(k) / 19.0f; });
    VectorScene scene(&src.filter, 2,
                      [](aglHeightMeshObj& g, aglRenderContext&) { g.SetColor(0.0f, 0.0f, 0.0f); });
    UnlockedGraph frameGraph;
    ASSERT_GT(inkCount(scene.draw()), 20);
    scene.context.Pause();
    scene.context.SetGraph(&frameGraph);
    scene.context.Resume();
    // Any frame the resume asked for is drawn before the lock is taken.
    ASSERT_GT(inkCount(rtest::redrawAndWait(scene.context)), 20);
    ASSERT_EQ(scene.graph.LockFailures(), 0);
    TraceCapture trace;
    src.filter.lockData(); // a pass that holds the grid on this thread
    const QImage img = rtest::redrawAndWait(scene.context);
    src.filter.unlockData();
    EXPECT_EQ(inkCount(img), 0);
    // Every frame drawn while the lock was held failed and drew nothing.
    EXPECT_GE(scene.graph.LockFailures(), 1);
    EXPECT_NE(trace.text().find(
                  "RNDR: aglHeightMeshObj::Render() -- LockData returned false, aborting\n"),
              std::string::npos);
    EXPECT_GT(inkCount(rtest::redrawAndWait(scene.context)), 20);
    scene.context.Pause();
    scene.context.SetGraph(&scene.graph);
    scene.context.Resume();
}

// The frame holds the data lock and the vector graph takes it once more; a
// pass on another thread keeps replacing the grid (with another point count
// at every other pass). The lock must be recursive for the frame not to hang,
// and every frame must draw the grid it locked (the sanitizer builds check).
TEST(VectorGraphRender, DrawsWhilePassesRefilterTheGrid) {
    VectorSource src(4000, 4, [](int k, int c) {
        const float t = float(k) / 3999.0f;
        return c == 3 ? t : 0.5f + 0.4f * std::sin(7.0f * t + float(c));
    });
    VectorScene scene(&src.filter, 0, [](aglHeightMeshObj& g, aglRenderContext&) {
        g.SetCacheBehavior(0); // the display list must follow the new point count too
    });
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::thread filterThread([&] {
        for (int r = 1; !stop.load(); r = r == 1 ? 3 : 1) {
            src.filter.filter(r);
            ++passes;
        }
    });
    const uint64_t before = scene.context.PublishedFrames();
    for (int k = 0; k < 30; ++k)
        rtest::redrawAndWait(scene.context);
    stop.store(true);
    filterThread.join();
    EXPECT_GE(scene.context.PublishedFrames(), before + 30);
    EXPECT_GT(passes.load(), 2);
    EXPECT_EQ(scene.graph.LockFailures(), 0);
    const int n = scene.graph.PointCount();
    EXPECT_TRUE(n == 4000 || n == 1334) << n;
}

// --- plane view --------------------------------------------------------------

// The plane view is the height plot in lines style seen through a fixed view:
// one strip per row in view type 1 (the x-z plane faces the viewer), with the
// axes of that plane only.
TEST(PlaneViewRender, LinesFollowTheViewAndTheAxesDropTheLineOfSight) {
    GridSource src(6, 48, [](int r, int c) {
        return 0.5f + 0.08f * float(r - 3) + 0.3f * std::sin(float(c) / 6.0f + float(r));
    });
    Scene<aglHeightPlotObj> scene(&src.filter, 1, [&](aglHeightPlotObj& g, aglRenderContext&) {
        g.SetStyle(aglGraphObj::kLines);
        g.SetUseColorPalette(false); // strips in the palette's line colours
        g.SetLighting(false);
    });
    // Made after the scene and dropped before it: its fonts go back to a
    // context that still exists.
    aglAxisObj axis;
    axis.SetExtents(1.0f, 1.0f, 1.0f);
    axis.SetStyle(1);
    agl::AxisInput in;
    in.width = kWidth;
    in.height = kHeight;
    in.roiLength[0] = 48;
    in.roiLength[1] = 6;
    in.minimum[2] = 0.0;
    in.maximum[2] = 1.0;
    axis.ApplyLayout(agl::recomputeAxes(in));
    // The axes go between the camera and the graph, as the control orders them.
    scene.context.Pause();
    scene.context.RemoveObject(&scene.graph);
    scene.context.AddObject(&axis);
    scene.context.AddObject(&scene.graph);
    scene.context.Resume();
    const QImage img = scene.draw();
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "planeview_lines_view1"));
    const float zDirection[3] = {-4.0f, 0.0f, 0.0f};
    const aglAxisObj::Visibility v = aglAxisObj::VisibilityFor(1, true, 26.0f, -108.5f, zDirection);
    EXPECT_TRUE(v.drawn[0]);
    EXPECT_FALSE(v.drawn[1]);
    EXPECT_TRUE(v.drawn[2]);
    // Six strips in six line colours.
    std::set<int> colours;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb c = img.pixel(x, y);
            for (int k = 0; k < 6; ++k) {
                uint8_t rgb[3];
                aglPalette::LineColour(k, rgb);
                if (rtest::near(c, rgb[0], rgb[1], rgb[2])) colours.insert(k);
            }
        }
    EXPECT_EQ(colours.size(), 6u);
    scene.context.Stop();
}
