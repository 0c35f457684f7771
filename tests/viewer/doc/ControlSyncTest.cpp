// ControlSync: the document's settings, camera and graph kind travel to the
// control and back by the right dispatch ids. A swapped id would show one
// switch as another and save it so.
#include "ControlSync.h"

#include "DocFakes.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace plotrane;

namespace {

struct SwitchCase {
    const char* name;
    void (*flip)(GraphSettings& g);
};
// ctest shows the case by its name.
void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsRoundTrip : public ::testing::TestWithParam<SwitchCase> {};

bool sameSettings(const GraphSettings& a, const GraphSettings& b) {
    return a.graphStyle == b.graphStyle && a.lineSmooth == b.lineSmooth &&
           a.showGrid == b.showGrid && a.flatShading == b.flatShading &&
           a.highLight == b.highLight && a.textureMode == b.textureMode &&
           a.dataClamp == b.dataClamp && a.lighting == b.lighting &&
           a.useColorPalette == b.useColorPalette && a.showAxis == b.showAxis &&
           a.depthcue == b.depthcue && a.fixedAspect == b.fixedAspect;
}

} // namespace

// One setting differs from an all-off block; after a trip through the
// control exactly that one still differs.
TEST_P(SettingsRoundTrip, EachSettingComesBackAsItself) {
    RecordingControl control;
    const CPlotrane2D c(&control);
    GraphSettings off;
    off.graphStyle = 0;
    controlsync::writeGraphSettings(c, off);
    GraphSettings sent = off;
    GetParam().flip(sent);
    ASSERT_FALSE(sameSettings(sent, off));
    controlsync::writeGraphSettings(c, sent);
    GraphSettings back;
    controlsync::readGraphSettings(c, back);
    EXPECT_TRUE(sameSettings(back, sent));
}

INSTANTIATE_TEST_SUITE_P(
    EverySetting, SettingsRoundTrip,
    ::testing::Values(SwitchCase{"GraphStyle", [](GraphSettings& g) { g.graphStyle = 3; }},
                      SwitchCase{"LineSmooth", [](GraphSettings& g) { g.lineSmooth = true; }},
                      SwitchCase{"ShowGrid", [](GraphSettings& g) { g.showGrid = true; }},
                      SwitchCase{"FlatShading", [](GraphSettings& g) { g.flatShading = true; }},
                      SwitchCase{"HighLight", [](GraphSettings& g) { g.highLight = true; }},
                      SwitchCase{"TextureMode", [](GraphSettings& g) { g.textureMode = 1; }},
                      SwitchCase{"DataClamp", [](GraphSettings& g) { g.dataClamp = true; }},
                      SwitchCase{"Lighting", [](GraphSettings& g) { g.lighting = true; }},
                      SwitchCase{"UseColorPalette",
                                 [](GraphSettings& g) { g.useColorPalette = true; }},
                      SwitchCase{"ShowAxis", [](GraphSettings& g) { g.showAxis = true; }},
                      SwitchCase{"Depthcue", [](GraphSettings& g) { g.depthcue = true; }},
                      SwitchCase{"FixedAspect", [](GraphSettings& g) { g.fixedAspect = true; }}),
    [](const ::testing::TestParamInfo<SwitchCase>& row) { return std::string(row.param.name); });

TEST(ControlSync, CameraComesBackAndOnlyThreeDStylesAreKept) {
    RecordingControl control;
    const CPlotrane2D c(&control);
    const GraphCamera sent{12.5f, -30.0f, 4.25f, 0.5f, 3};
    controlsync::writeCamera(c, sent);
    GraphCamera back;
    controlsync::readCamera(c, back);
    EXPECT_EQ(back.elevation, 12.5f);
    EXPECT_EQ(back.azimuth, -30.0f);
    EXPECT_EQ(back.distance, 4.25f);
    EXPECT_EQ(back.zScale, 0.5f);
    EXPECT_EQ(back.style, 3);

    control.props[DISPID_GraphStyle] = Variant(int16_t(5));
    controlsync::readCamera(c, back);
    EXPECT_EQ(back.style, 1);
}

TEST(ControlSync, ShownKindTellsThePlaneViewFromTheHeightPlot) {
    RecordingControl control;
    const CPlotrane2D c(&control);
    struct Row {
        int graphType, camViewType, kind;
    };
    const Row rows[] = {{0, 0, CArrayDoc::NoGraph},     {1, 0, CArrayDoc::HeightPlot},
                        {1, 3, CArrayDoc::PlaneView},   {2, 2, CArrayDoc::ImageMap},
                        {3, 1, CArrayDoc::VectorGraph}, {7, 0, CArrayDoc::NoGraph},
                        {-1, 0, CArrayDoc::NoGraph}};
    for (const Row& r : rows) {
        control.props[DISPID_GraphType] = Variant(int16_t(r.graphType));
        control.props[DISPID_CamViewType] = Variant(int16_t(r.camViewType));
        EXPECT_EQ(controlsync::shownGraphKind(c), r.kind)
            << "GraphType " << r.graphType << ", CamViewType " << r.camViewType;
    }
}
