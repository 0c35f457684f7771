#include "ControlSync.h"

using namespace plotrane;

namespace controlsync {

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
