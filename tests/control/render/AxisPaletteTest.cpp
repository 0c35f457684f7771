// The frame of the graph and its legend as a user sees them: the axes of an
// empty graph box in the home view and in each fixed view, and the palette
// bar of every built-in palette on a known range, compared with reference
// pictures; plus the rules that decide what is drawn.
#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "aglAxisObj.h"
#include "aglPaletteBarObj.h"
#include "aglSegment.h"

#include <string>
#include <utility>

using namespace rtest;

namespace {

const auto* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kW = 480, kH = 360;

// A 64 x 48 array with values -1 .. 1.5, as the recompute step sees it.
agl::AxisInput axisInput(int width, int height) {
    agl::AxisInput in;
    in.width = width;
    in.height = height;
    in.roiLength[0] = 64;
    in.roiLength[1] = 48;
    in.minimum[2] = -1.0;
    in.maximum[2] = 1.5;
    return in;
}

// The scene a control builds: palette bar first, then the camera, the axes
// and the graph (here an empty one).
struct Scene {
    aglRenderContext ctx;
    aglPaletteBarObj bar;
    aglAxisObj axis;
    TestGraph graph;

    Scene(int width, int height, int viewType, int style) {
        ctx.SetBackground(1, 1, 1);
        const aglPalette::Strip strip = aglPalette::StripFor(width, height, true, true, 1);
        bar.SetArea(strip.left, strip.top, strip.right, strip.bottom);
        bar.SetShowLabels(true);
        bar.SetRange(-1.0, 1.5);
        aglCameraObj& cam = ctx.Camera();
        cam.SetViewport(strip.graphWidth, height);
        cam.SetCenter(0.5f, 0.5f, 0.3f);
        cam.SetDistance(3.0f);
        cam.SetElevation(26.0f);
        cam.SetAzimuth(-108.5f);
        cam.SetViewType(viewType);

        axis.SetExtents(1.0f, 1.0f, 0.8f);
        axis.SetStyle(style);
        axis.ApplyLayout(agl::recomputeAxes(axisInput(width, height)));

        ctx.AddObject(&bar);
        ctx.AddObject(&cam);
        ctx.AddObject(&axis);
        ctx.AddObject(&graph);
        ctx.SetGraph(&graph);
    }
    QImage render() {
        startContext(ctx, kW, kH);
        QImage img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
        ctx.Stop();
        return img;
    }
};

// Pixels that are neither background nor near-white: what was drawn.
int inkIn(const QImage& img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (qGray(img.pixel(x, y)) < 200) ++n;
    return n;
}

} // namespace

TEST(AxisPictures, HomeViewWithWallsTicksNumbersAndTitles) {
    Scene s(kW, kH, 0, 5);
    EXPECT_TRUE(tavrix::test::matchesBaseline(s.render(), "axes_home_walls"));
}

TEST(AxisPictures, HomeViewWithAxisLinesAndGrid) {
    Scene s(kW, kH, 0, 0);
    EXPECT_TRUE(tavrix::test::matchesBaseline(s.render(), "axes_home_lines"));
    Scene g(kW, kH, 0, 1);
    EXPECT_TRUE(tavrix::test::matchesBaseline(g.render(), "axes_home_grid"));
}

TEST(AxisPictures, FixedViewsDropTheAxisAlongTheLineOfSight) {
    for (int view = 1; view <= 3; ++view) {
        Scene s(kW, kH, view, 6);
        EXPECT_TRUE(tavrix::test::matchesBaseline(s.render(), "axes_view" + std::to_string(view)));
    }
}

TEST(AxisPictures, StylesOutsideOneToTwentyDrawNothing) {
    Scene none(kW, kH, 0, 21);
    const QImage img = none.render();
    const aglPalette::Strip strip = aglPalette::StripFor(kW, kH, true, true, 1);
    EXPECT_EQ(inkIn(img, 0, 0, strip.graphWidth, kH), 0);
    // Style 11 is style 1 again.
    Scene a(kW, kH, 0, 1), b(kW, kH, 0, 11);
    const QImage ia = a.render(), ib = b.render();
    EXPECT_EQ(tavrix::test::countDifferentPixels(ia, ib, 0), 0);
}

TEST(AxisPictures, SmallControlsShowNoNumbers) {
    // 140 x 120 with auto detail: ticks and titles, no numbers.
    agl::AxisInput in;
    in.width = 140;
    in.height = 120;
    const agl::AxisLayout layout = agl::recomputeAxes(in);
    EXPECT_FALSE(layout.showNumbers);
    aglAxisObj axis;
    axis.ApplyLayout(layout);
    axis.SetShowNumbers(true);
    EXPECT_EQ(axis.NumberStrings(0).size(), size_t(layout.axis[0].major));
}

// No text the axes draw covers or touches another: titles and numbers of
// every axis, in the home view and the fixed views, on controls of several
// shapes, for value ranges of every kind. The boxes are those of the glyphs
// as drawn (the font's own metrics); texts on one line keep a gap.
TEST(AxisPictures, NoTextRunsIntoAnother) {
    struct Range {
        double lo, hi;
        bool integer;
    };
    const Range ranges[] = {{-1.0, 1.5, false},   {236, 1076, true},
                            {-1e6, 2.5e7, false}, {-0.001861, -0.001854, false},
                            {0, 65535, true},     {-1437, 2205, false}};
    const std::pair<int, int> sizes[] = {{480, 360}, {900, 260}, {220, 330}};
    int drawn = 0;
    for (const auto& [w, h] : sizes)
        for (int view : {0, 1, 2, 3})
            for (const Range& r : ranges) {
                Scene s(w, h, view, view == 0 ? 5 : 6);
                agl::AxisInput in;
                in.width = w;
                in.height = h;
                in.roiLength[0] = 403;
                in.roiLength[1] = 344;
                in.lowerBound[0] = in.lowerBound[1] = 1;
                in.minimum[2] = r.lo;
                in.maximum[2] = r.hi;
                in.integerData = r.integer;
                s.axis.ApplyLayout(agl::recomputeAxes(in));
                startContext(s.ctx, w, h);
                redrawAndWait(s.ctx);
                s.ctx.Stop();
                const auto& boxes = s.axis.DrawnTextBoxes();
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " view " +
                             std::to_string(view) + " " + std::to_string(r.lo) + ".." +
                             std::to_string(r.hi));
                EXPECT_GE(boxes.size(), 6u); // two titles and a few numbers at least
                drawn += int(boxes.size());
                for (size_t i = 0; i < boxes.size(); ++i)
                    for (size_t j = i + 1; j < boxes.size(); ++j) {
                        const auto& a = boxes[i];
                        const auto& b = boxes[j];
                        const bool apart = a.right + 2 <= b.left || b.right + 2 <= a.left ||
                                           a.top <= b.bottom || b.top <= a.bottom;
                        EXPECT_TRUE(apart) << i << " and " << j;
                    }
            }
    EXPECT_GT(drawn, 400);
}

TEST(AxisRules, DroppedAxisAndNumberDirections) {
    const float z[3] = {-4, 0, 0};
    using V = aglAxisObj::Visibility;
    V v = aglAxisObj::VisibilityFor(0, false, 26, -108.5f, z);
    EXPECT_TRUE(v.drawn[0] && v.drawn[1] && v.drawn[2]);
    EXPECT_FALSE(v.fixedView);
    EXPECT_LT(v.direction[0][1], 0.0f); // x numbers pushed towards -y
    v = aglAxisObj::VisibilityFor(2, false, 26, -108.5f, z);
    EXPECT_FALSE(v.drawn[2]);
    EXPECT_EQ(v.direction[1][0], -4.0f);
    v = aglAxisObj::VisibilityFor(1, false, 0, 0, z);
    EXPECT_FALSE(v.drawn[1]);
    v = aglAxisObj::VisibilityFor(3, false, 0, 0, z);
    EXPECT_FALSE(v.drawn[0]);
    // Orthographic free views along an axis drop it too; at other angles
    // (and in perspective) all three are drawn.
    EXPECT_FALSE(aglAxisObj::VisibilityFor(0, true, 89.6f, 30, z).drawn[2]);
    EXPECT_FALSE(aglAxisObj::VisibilityFor(0, true, 10, -90.4f, z).drawn[1]);
    EXPECT_FALSE(aglAxisObj::VisibilityFor(0, true, 10, 179.7f, z).drawn[0]);
    EXPECT_TRUE(aglAxisObj::VisibilityFor(0, true, 10, 45, z).drawn[0]);
    EXPECT_TRUE(aglAxisObj::VisibilityFor(0, false, 90, 0, z).drawn[2]);
}

TEST(AxisRules, ImageMapTicksSitAtCellCentres) {
    aglAxisObj axis;
    axis.SetExtents(1, 1, 1);
    axis.SetTicksOnEdges(false);
    axis.SetAxisNumbers(0, agl::indexAxisNumbers(0, 4, 0, false, {4, 0}, false));
    axis.SetCellCount(0, 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(axis.TickPosition(0, k), (2 * k + 1) / 8.0f);
    // 101 cells labelled every 10: each tick over the centre of its cell.
    axis.SetAxisNumbers(0, agl::indexAxisNumbers(0, 101, 0, false, {10, 1}, true));
    axis.SetCellCount(0, 101);
    EXPECT_FLOAT_EQ(axis.TickPosition(0, 1), 10.5f / 101.0f);
    // Without a cell count the ticks sit in the middle of n equal slices.
    axis.SetCellCount(0, 0);
    axis.SetMajorTicks(0, 4);
    EXPECT_FLOAT_EQ(axis.TickPosition(0, 0), 1.0f / 8.0f);
}

// Every layout sets the axes' font sizes again: a font asked for as it was
// is kept (a new one costs the render thread its lists on the next frame);
// one that changed is made again and drawn.
TEST(AxisRules, FontsAskedForAsTheyWereAreKeptAndChangedOnesRedrawn) {
    Scene s(kW, kH, 0, 1);
    startContext(s.ctx, kW, kH);
    const QImage before = redrawAndWait(s.ctx).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(s.axis.IsChanged());
    ASSERT_FALSE(s.bar.IsChanged());
    const agl::AxisLayout layout = agl::recomputeAxes(axisInput(kW, kH));
    s.ctx.Lock();
    s.axis.SetNumberFontSize(layout.numberFontHeight);
    s.axis.SetTitleFontSize(layout.titleFontHeight);
    s.bar.SetLabelFontByName("Times New Roman", 12, 400);
    s.ctx.Unlock();
    EXPECT_FALSE(s.axis.IsChanged());
    EXPECT_FALSE(s.bar.IsChanged());

    s.ctx.Lock();
    s.axis.SetNumberFontSize(layout.numberFontHeight + 6);
    s.bar.SetLabelFontByName("Times New Roman", 12, 700);
    s.ctx.Unlock();
    EXPECT_TRUE(s.axis.IsChanged());
    EXPECT_TRUE(s.bar.IsChanged());
    const QImage after = redrawAndWait(s.ctx, false).convertToFormat(QImage::Format_RGB32);
    s.ctx.Stop();
    EXPECT_GT(tavrix::test::countDifferentPixels(before, after, 0), 100)
        << "the larger numbers and the bold labels were not drawn";
}

TEST(AxisRules, SettersIgnoreBadAxesCountsAndExtents) {
    aglAxisObj axis;
    axis.SetMajorTicks(0, 7);
    axis.SetMajorTicks(0, 501);
    axis.SetMajorTicks(3, 9);
    axis.SetMinorTicks(-1, 9);
    EXPECT_EQ(axis.NumberStrings(0).size(), 7u);
    axis.SetTitle(1, std::string(100, 'y'));
    EXPECT_EQ(axis.Title(1).size(), 63u);
    axis.SetExtents(NAN, 2.0f, -1.0f);
    EXPECT_FLOAT_EQ(axis.TickPosition(1, 9), 2.0f);
    EXPECT_FLOAT_EQ(axis.TickPosition(0, 6), 1.0f);
    // Two ticks or fewer still place the first at the origin.
    axis.SetMajorTicks(2, 0);
    EXPECT_EQ(axis.NumberStrings(2).size(), 0u);
    axis.SetMajorTicks(2, 1);
    EXPECT_FLOAT_EQ(axis.TickPosition(2, 0), 0.0f);
}

TEST(PaletteBarPictures, EveryBuiltInPaletteWithLabels) {
    // Six bars side by side, one per built-in palette, each on -1 .. 1.5.
    constexpr int kBarW = 120, kBarH = 300, kCount = 6;
    aglRenderContext ctx;
    ctx.SetBackground(1, 1, 1);
    std::unique_ptr<aglPaletteBarObj> bars[kCount];
    TestGraph graph;
    for (int i = 0; i < kCount; ++i) {
        bars[i] = std::make_unique<aglPaletteBarObj>();
        bars[i]->SetArea(i * kBarW, kBarH - 10, (i + 1) * kBarW, 10);
        bars[i]->SetShowLabels(true);
        bars[i]->SetRange(-1.0, 1.5);
        bars[i]->SetPaletteId(i + 1);
        ctx.AddObject(bars[i].get());
    }
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    startContext(ctx, kBarW * kCount, kBarH);
    const QImage img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    ctx.Stop();
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "palette_bars_builtin"));
    const std::vector<aglPalette::BarLabel>& labels = bars[0]->Labels();
    ASSERT_EQ(labels.size(), 6u);
    EXPECT_EQ(labels[0].text, "-1.0");
    EXPECT_EQ(labels[2].text, "0.0");
    EXPECT_EQ(labels[5].text, "1.5");
}

TEST(PaletteBarPictures, ShippedPalettesAndASwitchWhileShown) {
    constexpr int kBarW = 120, kBarH = 300, kCount = 4;
    const char* files[kCount] = {"viridis", "magma", "cividis", "bluewhitered"};
    aglRenderContext ctx;
    ctx.SetBackground(1, 1, 1);
    std::unique_ptr<aglPaletteBarObj> bars[kCount];
    TestGraph graph;
    for (int i = 0; i < kCount; ++i) {
        bars[i] = std::make_unique<aglPaletteBarObj>();
        bars[i]->SetArea(i * kBarW, kBarH - 10, (i + 1) * kBarW, 10);
        bars[i]->SetShowLabels(true);
        bars[i]->SetLabelKind(1);
        bars[i]->SetRange(0, 1000);
        ASSERT_TRUE(bars[i]->LoadCustomPalette(
            std::string(TAVRIX_SOURCE_DIR "/examples/palettes/") + files[i] + ".agl"));
        bars[i]->SetPaletteId(0);
        ctx.AddObject(bars[i].get());
    }
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    startContext(ctx, kBarW * kCount, kBarH);
    QImage img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(tavrix::test::matchesBaseline(img, "palette_bars_shipped"));

    // A new custom palette while the old one is shown: drawn from the new
    // segment at once (the old one is gone).
    bars[0]->LoadCustomPalette(std::string(TAVRIX_SOURCE_DIR "/examples/palettes/magma.agl"));
    img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    const QRgb top = img.pixel(30, 30), magmaTop = img.pixel(kBarW + 30, 30);
    EXPECT_EQ(top, magmaTop);
    ctx.Stop();
}

TEST(PaletteBarPictures, MarkerAtTheCursorValue) {
    // A graph that shows its cursor and colours by the palette: the frame
    // draws the bar's marker over the picture.
    struct CursorGraph : TestGraph {
        bool ShowsCursor() const override { return true; }
        bool UsesColorPalette() const override { return true; }
    };
    aglRenderContext ctx;
    ctx.SetBackground(1, 1, 1);
    aglPaletteBarObj bar;
    CursorGraph graph;
    bar.SetArea(0, 290, 120, 10);
    bar.SetShowLabels(true);
    bar.SetRange(0.0, 1.0);
    bar.SetCursorValue(0.5f);
    ctx.AddObject(&bar);
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetPaletteMarker(&bar);
    startContext(ctx, 120, 300);
    QImage img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    // Area 120 x 280: bar from 14 to 266, so 0.5 sits at 14 + 126 = 140,
    // window row 150 from the bottom; the bar runs from x 6 to 48.
    auto dark = [&](int x, int yUp) { return qGray(px(img, x, yUp)) < 60; };
    EXPECT_TRUE(dark(27, 150) || dark(27, 149));
    EXPECT_FALSE(dark(27, 170));
    // Above the maximum the marker sits at the top of the bar.
    bar.SetCursorValue(7.0f);
    bar.Invalidate();
    img = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(dark(27, 276) || dark(27, 275));
    EXPECT_FALSE(dark(27, 150) || dark(27, 149));
    ctx.Stop();
}
