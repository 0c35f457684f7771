// The graph presenter against a recording control: which kind a plane gets,
// what each kind keeps while another is shown, and the vector graph's and
// plane view's own rules. No window, no GL.
#include <gtest/gtest.h>

#include "DocFakes.h"
#include "GraphPresenter.h"

using namespace plotrane;
using K = GraphPresenter::GraphKind;

namespace {

GraphPresenter::Plane plane(int32_t rows, int32_t columns) {
    return {rows, columns, {}};
}

} // namespace

TEST(GraphPresenter, EachPlaneGetsAKindThatSuitsIt) {
    // The plane view wants a short side (at most 10), the others 2 x 2.
    EXPECT_TRUE(GraphPresenter::suits(K::PlaneView, 10, 500));
    EXPECT_TRUE(GraphPresenter::suits(K::PlaneView, 500, 10));
    EXPECT_FALSE(GraphPresenter::suits(K::PlaneView, 11, 11));
    EXPECT_TRUE(GraphPresenter::suits(K::ImageMap, 2, 2));
    EXPECT_FALSE(GraphPresenter::suits(K::ImageMap, 1, 500));
    EXPECT_FALSE(GraphPresenter::suits(K::HeightPlot, 0, 0));
    EXPECT_FALSE(GraphPresenter::suits(7, 50, 50));
    EXPECT_TRUE(GraphPresenter::suits(K::NoGraph, 0, 0));

    GraphPresenter p;
    const int autoKind = GraphPresenter::kAutoGraphKind;
    // A request that suits wins; one that does not falls back to the kind
    // shown, then to the preferred kind, the plane view, the height plot.
    EXPECT_EQ(p.choose(K::ImageMap, K::HeightPlot, 50, 50), K::ImageMap);
    EXPECT_EQ(p.choose(K::PlaneView, K::ImageMap, 50, 50), K::ImageMap);
    EXPECT_EQ(p.choose(K::PlaneView, K::NoGraph, 50, 50), K::HeightPlot);
    EXPECT_EQ(p.choose(autoKind, K::NoGraph, 5, 50), K::PlaneView);
    p.setPreferredKind(K::ImageMap);
    EXPECT_EQ(p.choose(autoKind, K::NoGraph, 5, 50), K::ImageMap);
    p.setPreferredKind(9); // ignored
    EXPECT_EQ(p.preferredKind(), K::ImageMap);
    // A single row suits only the plane view; nothing suits no plane.
    EXPECT_EQ(p.choose(K::HeightPlot, K::NoGraph, 1, 40), K::PlaneView);
    EXPECT_EQ(p.choose(autoKind, K::HeightPlot, 0, 0), K::NoGraph);
}

TEST(GraphPresenter, EachKindKeepsItsSettingsAndTheCameraWhileAnotherShows) {
    RecordingControl control;
    CPlotrane2D c(&control);
    GraphPresenter p;
    ASSERT_EQ(p.select(c, K::HeightPlot, K::NoGraph, plane(50, 50)), K::HeightPlot);
    EXPECT_EQ(control.num(DISPID_GraphType), value(GraphType::HeightPlot));
    EXPECT_TRUE(control.GetProperty(DISPID_ShowGrid).toBool());
    // The user turns the grid off and the camera round.
    c.setBool(DISPID_ShowGrid, false);
    c.setFloat(DISPID_CamAzimuth, 40.0f);

    ASSERT_EQ(p.select(c, K::ImageMap, K::HeightPlot, plane(50, 50)), K::ImageMap);
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::TopXY));
    EXPECT_FLOAT_EQ(control.GetProperty(DISPID_ZScale).toFloat(), 1.0f);
    EXPECT_FALSE(control.GetProperty(DISPID_Lighting).toBool());
    c.setFloat(DISPID_CamAzimuth, 0.0f); // the flat view's own

    ASSERT_EQ(p.select(c, K::HeightPlot, K::ImageMap, plane(50, 50)), K::HeightPlot);
    EXPECT_FALSE(control.GetProperty(DISPID_ShowGrid).toBool());
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::Free));
    EXPECT_FLOAT_EQ(control.GetProperty(DISPID_CamAzimuth).toFloat(), 40.0f);
    // A kind number from a damaged file chooses instead of indexing.
    EXPECT_EQ(p.select(c, 12, K::HeightPlot, plane(50, 50)), K::HeightPlot);
}

TEST(GraphPresenter, AWideVectorGraphIsTurnedAndAFlatOneSeenFaceOn) {
    RecordingControl control;
    CPlotrane2D c(&control);
    GraphPresenter p;
    int turns = 0;
    GraphPresenter::Plane wide{3, 40, [&] {
                                   ++turns;
                                   std::swap(control.numRows, control.numColumns);
                               }};
    control.numRows = 3;
    control.numColumns = 40;
    p.setPaletteShown(true);
    ASSERT_EQ(p.select(c, K::VectorGraph, K::NoGraph, wide), K::VectorGraph);
    EXPECT_EQ(turns, 1);
    // Three components: 3-D, no colour component, so no palette bar.
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::Free));
    EXPECT_FALSE(control.GetProperty(DISPID_ShowPalette).toBool());
    EXPECT_FALSE(p.settings(K::VectorGraph).useColorPalette);

    // Tall already: not turned. Without a Z component it is seen from the
    // top; with a fourth it shows the palette bar.
    control.props[DISPID_ZComp] = Variant(-1);
    control.numRows = 40;
    control.numColumns = 4;
    GraphPresenter::Plane tall{40, 4, [&] { ++turns; }};
    ASSERT_EQ(p.select(c, K::VectorGraph, K::VectorGraph, tall), K::VectorGraph);
    EXPECT_EQ(turns, 1);
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::TopXY));
    EXPECT_EQ(control.num(DISPID_AxisStyle), value(AxisStyle::FilledWallsGrid));
    EXPECT_TRUE(control.GetProperty(DISPID_ShowPalette).toBool());
    // Without a Y component it is seen from the front.
    control.props[DISPID_ZComp] = Variant(2);
    control.props[DISPID_YComp] = Variant(-1);
    p.select(c, K::VectorGraph, K::VectorGraph, tall);
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::FrontXZ));
}

TEST(GraphPresenter, ThePlaneViewLooksAlongTheShortSideAndKeepsItsSideWhenBothAreShort) {
    RecordingControl control;
    CPlotrane2D c(&control);
    GraphPresenter p;
    p.select(c, K::PlaneView, K::NoGraph, plane(200, 6));
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::SideYZ));
    EXPECT_EQ(control.num(DISPID_GraphType), value(GraphType::HeightPlot));
    EXPECT_EQ(control.num(DISPID_GraphStyle), value(GraphStyle::LineStyle));
    EXPECT_FALSE(control.GetProperty(DISPID_ShowPalette).toBool());
    p.select(c, K::PlaneView, K::PlaneView, plane(6, 200));
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::FrontXZ));
    // Short both ways: the side the user looks from stays.
    c.setShort(DISPID_CamViewType, CamViewType::SideYZ);
    p.select(c, K::PlaneView, K::PlaneView, plane(5, 5));
    EXPECT_EQ(control.num(DISPID_CamViewType), value(CamViewType::SideYZ));
    EXPECT_EQ(control.num(DISPID_ShowPalette), 0);
}
