#include "GraphSync.h"

using namespace plotrane;

namespace controlsync {

namespace {
// The viewer's numbers of the graph kinds this file names.
constexpr int kNoGraph = 0, kHeightPlot = 1, kPlaneView = 4;
} // namespace

int shownGraphKind(const CPlotrane2D& c) {
    int t = c.getInt(DISPID_GraphType);
    if (t < 1 || t > 3) t = kNoGraph;
    if (t == kHeightPlot && c.getEnum<CamViewType>(DISPID_CamViewType) != CamViewType::Free)
        t = kPlaneView;
    return t;
}

void readGraphSettings(const CPlotrane2D& c, GraphSettings& g) {
    g.graphStyle = c.getInt(DISPID_GraphStyle);
    g.lineSmooth = c.getBool(DISPID_LineSmooth);
    g.showGrid = c.getBool(DISPID_ShowGrid);
    g.flatShading = c.getInt(DISPID_Shading) <= value(Shading::Flat);
    g.highLight = c.getBool(DISPID_HighLight);
    g.textureMode = int16_t(c.getInt(DISPID_TextureMode));
    g.dataClamp = c.getBool(DISPID_DataClamp);
    g.lighting = c.getBool(DISPID_Lighting);
    g.useColorPalette = c.getBool(DISPID_UseColorPalette);
    g.showAxis = c.getBool(DISPID_ShowAxis);
    g.depthcue = c.getBool(DISPID_Depthcue);
    g.fixedAspect = c.getBool(DISPID_FixedAspect);
}

void writeGraphSettings(const CPlotrane2D& c, const GraphSettings& g) {
    c.setShort(DISPID_GraphStyle, g.graphStyle);
    c.setBool(DISPID_LineSmooth, g.lineSmooth);
    c.setBool(DISPID_ShowGrid, g.showGrid);
    c.setShort(DISPID_Shading, g.flatShading ? Shading::Flat : Shading::Smooth);
    c.setBool(DISPID_HighLight, g.highLight);
    c.setShort(DISPID_TextureMode, g.textureMode);
    c.setBool(DISPID_DataClamp, g.dataClamp);
    c.setBool(DISPID_Lighting, g.lighting);
    c.setBool(DISPID_UseColorPalette, g.useColorPalette);
    c.setFloat(DISPID_GridDensity, g.gridDensity);
    c.setBool(DISPID_ShowAxis, g.showAxis);
    c.setBool(DISPID_Depthcue, g.depthcue);
    c.setBool(DISPID_FixedAspect, g.fixedAspect);
}

void readCamera(const CPlotrane2D& c, GraphCamera& camera) {
    camera.zScale = c.getFloat(DISPID_ZScale);
    camera.elevation = c.getFloat(DISPID_CamElevation);
    camera.azimuth = c.getFloat(DISPID_CamAzimuth);
    camera.distance = c.getFloat(DISPID_CamDistance);
    const int style = c.getInt(DISPID_GraphStyle);
    // A style the control does not know is remembered as the surface.
    const bool known =
        style >= value(GraphStyle::MeshStyle) && style <= value(GraphStyle::PointStyle);
    camera.style = known ? style : value(GraphStyle::SurfaceStyle);
}

void writeCamera(const CPlotrane2D& c, const GraphCamera& camera) {
    c.setFloat(DISPID_ZScale, camera.zScale);
    c.setFloat(DISPID_CamElevation, camera.elevation);
    c.setFloat(DISPID_CamAzimuth, camera.azimuth);
    c.setFloat(DISPID_CamDistance, camera.distance);
    c.setShort(DISPID_GraphStyle, camera.style);
}

} // namespace controlsync
