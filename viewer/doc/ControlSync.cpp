#include "ControlSync.h"

#include "CArrayDoc.h"

using namespace plotrane;

namespace controlsync {

int shownGraphKind(const CPlotrane2D& c) {
    int t = c.getInt(DISPID_GraphType);
    if (t < 1 || t > 3) t = CArrayDoc::NoGraph;
    if (t == CArrayDoc::HeightPlot && c.getInt(DISPID_CamViewType) != 0) t = CArrayDoc::PlaneView;
    return t;
}

void readGraphSettings(const CPlotrane2D& c, GraphSettings& g) {
    g.graphStyle = c.getInt(DISPID_GraphStyle);
    g.lineSmooth = c.getBool(DISPID_LineSmooth);
    g.showGrid = c.getBool(DISPID_ShowGrid);
    g.flatShading = c.getInt(DISPID_Shading) <= 0;
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
    c.setShort(DISPID_Shading, g.flatShading ? 0 : 1);
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
    camera.style = (style == 0 || style == 2 || style == 3 || style == 4) ? style : 1;
}

void writeCamera(const CPlotrane2D& c, const GraphCamera& camera) {
    c.setFloat(DISPID_ZScale, camera.zScale);
    c.setFloat(DISPID_CamElevation, camera.elevation);
    c.setFloat(DISPID_CamAzimuth, camera.azimuth);
    c.setFloat(DISPID_CamDistance, camera.distance);
    c.setShort(DISPID_GraphStyle, camera.style);
}

void readControlAttributes(const CPlotrane2D& c, aglAttributes& r) {
    if (c.getBool(DISPID_ShowPalette)) r.flags |= aglAttributes::kShowPalette;
    if (c.getBool(DISPID_ShowCursor)) r.flags |= aglAttributes::kShowCursor;
    if (c.getBool(DISPID_AxisAutoScale)) r.flags |= aglAttributes::kAxisAutoScale;
    if (c.getBool(DISPID_PaletteAutoAdjust)) r.flags |= aglAttributes::kPaletteAutoAdjust;
    r.imageOrientation = int16_t(c.getInt(DISPID_ImageOrientation));
    r.xComp = c.getInt(DISPID_XComp);
    r.yComp = c.getInt(DISPID_YComp);
    r.zComp = c.getInt(DISPID_ZComp);
    r.wComp = c.getInt(DISPID_WComp);
    r.row = c.getInt(DISPID_Row);
    r.col = c.getInt(DISPID_Col);
    r.xMinClamp = c.getDouble(DISPID_XMinClamp);
    r.yMinClamp = c.getDouble(DISPID_YMinClamp);
    r.zMinClamp = c.getDouble(DISPID_ZMinClamp);
    r.xMaxClamp = c.getDouble(DISPID_XMaxClamp);
    r.yMaxClamp = c.getDouble(DISPID_YMaxClamp);
    r.zMaxClamp = c.getDouble(DISPID_ZMaxClamp);
    r.paletteMinVal = c.getDouble(DISPID_PaletteMinVal);
    r.paletteMaxVal = c.getDouble(DISPID_PaletteMaxVal);
    r.paletteId = int16_t(c.getInt(DISPID_PaletteId));
    r.backColor = translateOleColor(uint32_t(c.getInt(DISPID_BackColor)));
    r.graphColor = translateOleColor(uint32_t(c.getInt(DISPID_GraphColor)));
    r.gridColor = translateOleColor(uint32_t(c.getInt(DISPID_GridColor)));
    r.cursorColor = translateOleColor(uint32_t(c.getInt(DISPID_CursorColor)));
    r.axisLabelColor = translateOleColor(uint32_t(c.getInt(DISPID_AxisLabelColor)));
    r.axisColor = translateOleColor(uint32_t(c.getInt(DISPID_AxisColor)));
    r.axisBackColor = translateOleColor(uint32_t(c.getInt(DISPID_AxisBackColor)));
}

void writeColors(const CPlotrane2D& c, const aglAttributes& r) {
    c.setColor(DISPID_BackColor, r.backColor);
    c.setColor(DISPID_GraphColor, r.graphColor);
    c.setColor(DISPID_AxisBackColor, r.axisBackColor);
    c.setColor(DISPID_AxisColor, r.axisColor);
    c.setColor(DISPID_CursorColor, r.cursorColor);
    c.setColor(DISPID_AxisLabelColor, r.axisLabelColor);
    c.setColor(DISPID_GridColor, r.gridColor);
}

} // namespace controlsync
