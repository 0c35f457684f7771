// CArrayDoc's graph settings: the attribute record an agl file keeps in its
// trailer, and the graph defaults in the settings store (see CArrayDoc.h).
#include "CArrayDoc.h"

#include "CPlotrane2D.h"
#include "ControlSync.h"
#include "DocView.h"
#include "MessageSink.h"
#include "plotrane/PropertyTable.h"

#include <algorithm>
#include <utility>

using namespace plotrane;

namespace {

int clampPrecision(int p) {
    return std::clamp(p, 3, 15);
}

// The spreadsheet's built-in number format: 6 digits, no exponent form.
constexpr int kDefaultGridPrecision = 6;

} // namespace

// ---------------------------------------------------------------------------
// Attribute record

void CArrayDoc::captureAttributes(aglAttributes& r, bool refreshFromControl) {
    CPlotrane2D* c = control(true);
    const int kind = currentGraphType();
    // What is on screen now belongs to its kind's block and, under the free
    // camera, to the remembered camera: a record that is saved must keep
    // what is shown.
    if (c && refreshFromControl) {
        storeControlSettings(kind);
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free && kind != NoGraph)
            saveCamera3D();
    }
    r.flags = 0;
    if (gridUseExponent()) r.flags |= aglAttributes::kGridExponent;
    r.gridPrecision = gridPrecision();
    r.graphKind = int16_t(kind);
    r.surfaceDensity = m_presenter.settings(HeightPlot).gridDensity;
    r.surfaceStyle = int16_t(m_presenter.settings(HeightPlot).graphStyle);
    r.surfaceSettings = packSettingsWord(m_presenter.settings(HeightPlot));
    r.imageSettings = packSettingsWord(m_presenter.settings(ImageMap));
    r.vectorStyle = int16_t(m_presenter.settings(VectorGraph).graphStyle);
    r.vectorSettings = packSettingsWord(m_presenter.settings(VectorGraph));
    r.planeStyle = int16_t(m_presenter.settings(PlaneView).graphStyle);
    r.planeSettings = packSettingsWord(m_presenter.settings(PlaneView));
    r.elevation = m_presenter.camera().elevation;
    r.azimuth = m_presenter.camera().azimuth;
    r.distance = m_presenter.camera().distance;
    r.zScale = m_presenter.camera().zScale;
    r.row = m_cursorRow;
    r.col = m_cursorColumn;
    r.rowDim = m_current->rowDim();
    r.colDim = m_current->colDim();
    for (int d = 0; d < agl::kMaxDims; ++d) {
        int32_t low = 0, high = 0;
        if (d < m_current->dimCount()) m_current->getRoi(d, low, high);
        r.roiLow[d] = low;
        r.roiHigh[d] = high;
    }
    if (c) controlsync::readControlAttributes(*c, r);
}

void CArrayDoc::applyAttributes(const aglAttributes& r) {
    // A damaged record may carry any precision; formats are built from it.
    setGridFormat(clampPrecision(r.gridPrecision), (r.flags & aglAttributes::kGridExponent) != 0);
    CPlotrane2D* c = control(true);
    if (c) controlsync::writeColors(*c, r);
    unpackSettingsWord(r.surfaceSettings, m_presenter.settings(HeightPlot));
    // A density the control would refuse keeps the one in force.
    if (r.surfaceDensity > 0.0f && r.surfaceDensity < 100.0f)
        m_presenter.settings(HeightPlot).gridDensity = r.surfaceDensity;
    m_presenter.settings(HeightPlot).graphStyle = r.surfaceStyle;
    unpackSettingsWord(r.imageSettings, m_presenter.settings(ImageMap));
    if (c) c->setShort(DISPID_ImageOrientation, r.imageOrientation);
    unpackSettingsWord(r.vectorSettings, m_presenter.settings(VectorGraph));
    m_presenter.settings(VectorGraph).graphStyle = r.vectorStyle;
    if (c) {
        c->setLong(DISPID_XComp, r.xComp);
        c->setLong(DISPID_YComp, r.yComp);
        c->setLong(DISPID_ZComp, r.zComp);
        c->setLong(DISPID_WComp, r.wComp);
    }
    unpackSettingsWord(r.planeSettings, m_presenter.settings(PlaneView));
    m_presenter.settings(PlaneView).graphStyle = r.planeStyle;
    if (c) {
        c->setBool(DISPID_ShowPalette, (r.flags & aglAttributes::kShowPalette) != 0);
        c->setBool(DISPID_ShowCursor, (r.flags & aglAttributes::kShowCursor) != 0);
    }
    m_presenter.camera().elevation = r.elevation;
    m_presenter.camera().azimuth = r.azimuth;
    m_presenter.camera().distance = r.distance;
    m_presenter.camera().zScale = r.zScale;
    if (c) {
        c->setDouble(DISPID_XMinClamp, r.xMinClamp);
        c->setDouble(DISPID_YMinClamp, r.yMinClamp);
        c->setDouble(DISPID_ZMinClamp, r.zMinClamp);
        c->setDouble(DISPID_XMaxClamp, r.xMaxClamp);
        c->setDouble(DISPID_YMaxClamp, r.yMaxClamp);
        c->setDouble(DISPID_ZMaxClamp, r.zMaxClamp);
        c->setBool(DISPID_AxisAutoScale, (r.flags & aglAttributes::kAxisAutoScale) != 0);
    }
    setCursor(r.row, r.col);

    // Dimensions out of range would make the array pick its own; keep the
    // ones in force instead.
    const int dims = m_current->dimCount();
    if (r.rowDim >= 0 && r.rowDim < dims && r.colDim >= 0 && r.colDim < dims) {
        m_current->setRowDim(r.rowDim);
        m_current->setColDim(r.colDim);
    }
    if (c) {
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
    }
    for (int d = 0; d < dims && d < agl::kMaxDims; ++d) {
        const int32_t last = m_current->extent(d) - 1;
        const int32_t low = std::max(r.roiLow[d], 0);
        const int32_t high = std::min(r.roiHigh[d], last);
        if (high < low) continue;
        if (c) {
            c->SetRoiUb(d, last);
            c->SetRoiLb(d, low);
            c->SetRoiUb(d, high);
        }
        m_current->setRoi(d, low, high);
    }
    if (c) {
        c->setDouble(DISPID_PaletteMinVal, r.paletteMinVal);
        c->setDouble(DISPID_PaletteMaxVal, r.paletteMaxVal);
        c->setShort(DISPID_PaletteId, r.paletteId);
        c->setBool(DISPID_PaletteAutoAdjust, (r.flags & aglAttributes::kPaletteAutoAdjust) != 0);
    }
    selectGraphType(r.graphKind);
    if (c) c->Update();
    if (GridHostView* g = gridView()) g->reload();
}

// ---------------------------------------------------------------------------
// Settings store

void CArrayDoc::setOptions(const SettingsStore::Options& o) {
    m_options.fillValue = o.fillValue;
    m_options.saveAglAttr = o.saveAglAttr;
    m_options.restoreAglAttr = o.restoreAglAttr;
    m_options.showHdfTree = o.showHdfTree;
    m_options.showAglAnnot = o.showAglAnnot;
    // The axis-scales flag is the View menu's; the dialog only writes it.
    m_settings.writeOptions(m_options);
}

void CArrayDoc::setDisplayDimScales(bool on) {
    m_options.displayDimScales = on;
    if (CPlotrane2D* c = control(true)) c->setBool(DISPID_UseAxisScales, on);
}

void CArrayDoc::applyGraphDefaults() {
    SettingsStore& s = m_settings;
    setGridFormat(s.readInt("Precision", gridPrecision()),
                  s.readInt("UseExp", gridUseExponent() ? 1 : 0) != 0);
    const int kind = s.readInt("GraphType", PlaneView);
    m_presenter.setPreferredKind(kind);

    auto readBlock = [&](const char* settingsName, int k) {
        unpackSettingsWord(
            uint32_t(s.readInt(settingsName, int(packSettingsWord(m_presenter.settings(k))))),
            m_presenter.settings(k));
    };
    readBlock("SurfaceSettings", HeightPlot);
    const float density =
        s.readX100("SurfaceDensity", m_presenter.settings(HeightPlot).gridDensity);
    if (density > 0.0f && density < 100.0f) m_presenter.settings(HeightPlot).gridDensity = density;
    m_presenter.settings(HeightPlot).graphStyle =
        s.readInt("SurfaceStyle", m_presenter.settings(HeightPlot).graphStyle);
    readBlock("ImageSettings", ImageMap);
    CPlotrane2D* c = control(true);
    if (c && s.contains("ImageOrientation"))
        c->setShort(DISPID_ImageOrientation, s.readInt("ImageOrientation", 0));
    readBlock("VectorSettings", VectorGraph);
    m_presenter.settings(VectorGraph).graphStyle =
        s.readInt("VectorStyle", m_presenter.settings(VectorGraph).graphStyle);
    readBlock("PlaneSettings", PlaneView);
    m_presenter.settings(PlaneView).graphStyle =
        s.readInt("PlaneStyle", m_presenter.settings(PlaneView).graphStyle);
    m_presenter.setPaletteShown(s.readInt("ShowPalette", 0) != 0);
    if (c) c->setBool(DISPID_ShowCursor, s.readInt("ShowMarker", 0) != 0);
    m_presenter.camera().elevation = s.readX100("SurfaceElevation", m_presenter.camera().elevation);
    m_presenter.camera().azimuth = s.readX100("SurfaceAzimuth", m_presenter.camera().azimuth);
    m_presenter.camera().distance = s.readX100("SurfaceDistance", m_presenter.camera().distance);
    m_presenter.camera().zScale = s.readX100("ZScale", m_presenter.camera().zScale);
    if (c) {
        if (s.contains("PaletteId")) c->setShort(DISPID_PaletteId, s.readInt("PaletteId", 0));
        static const std::pair<const char*, int> kColours[] = {
            {"BackColor", DISPID_BackColor},         {"GraphColor", DISPID_GraphColor},
            {"AxisBackColor", DISPID_AxisBackColor}, {"AxisColor", DISPID_AxisColor},
            {"MarkerColor", DISPID_CursorColor},     {"LabelColor", DISPID_AxisLabelColor},
            {"GridColor", DISPID_GridColor}};
        for (const auto& [name, dispid] : kColours)
            if (s.contains(name)) c->setColor(dispid, uint32_t(s.readInt(name, 0)));

        // What every newly bound array starts from.
        c->setBool(DISPID_UseAxisScales, m_options.displayDimScales);
        c->setBool(DISPID_AxisAutoScale, true);
        c->setBool(DISPID_PaletteAutoAdjust, m_fileKind != KindBitmap);
        // Vector components from the first four columns, as a new control has them.
        for (const int d : {DISPID_XComp, DISPID_YComp, DISPID_ZComp, DISPID_WComp})
            c->setLong(d, int32_t(propertyInfo(d)->def.number));
    }
}

void CArrayDoc::saveGraphDefaults() {
    SettingsStore& s = m_settings;
    CPlotrane2D* c = control(true);
    const int kind = currentGraphType();
    if (c) {
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free) {
            m_presenter.camera().elevation = c->getFloat(DISPID_CamElevation);
            m_presenter.camera().azimuth = c->getFloat(DISPID_CamAzimuth);
            m_presenter.camera().distance = c->getFloat(DISPID_CamDistance);
            m_presenter.camera().zScale = c->getFloat(DISPID_ZScale);
        }
        storeControlSettings(kind);
    }
    s.writeInt("Precision", gridPrecision());
    s.writeInt("UseExp", gridUseExponent() ? 1 : 0);
    s.writeInt("GraphType", kind);
    s.writeInt("SurfaceSettings", int(packSettingsWord(m_presenter.settings(HeightPlot))));
    s.writeX100("SurfaceDensity", m_presenter.settings(HeightPlot).gridDensity);
    s.writeInt("SurfaceStyle", m_presenter.settings(HeightPlot).graphStyle);
    s.writeInt("ImageSettings", int(packSettingsWord(m_presenter.settings(ImageMap))));
    if (c) s.writeInt("ImageOrientation", c->getInt(DISPID_ImageOrientation));
    s.writeInt("VectorSettings", int(packSettingsWord(m_presenter.settings(VectorGraph))));
    s.writeInt("VectorStyle", m_presenter.settings(VectorGraph).graphStyle);
    s.writeInt("PlaneSettings", int(packSettingsWord(m_presenter.settings(PlaneView))));
    s.writeInt("PlaneStyle", m_presenter.settings(PlaneView).graphStyle);
    s.writeInt("ShowPalette",
               c ? (c->getBool(DISPID_ShowPalette) ? 1 : 0) : (m_presenter.paletteShown() ? 1 : 0));
    if (c) s.writeInt("ShowMarker", c->getBool(DISPID_ShowCursor) ? 1 : 0);
    s.writeX100("SurfaceElevation", m_presenter.camera().elevation);
    s.writeX100("SurfaceAzimuth", m_presenter.camera().azimuth);
    s.writeX100("SurfaceDistance", m_presenter.camera().distance);
    s.writeX100("ZScale", m_presenter.camera().zScale);
    if (c) {
        s.writeInt("PaletteId", c->getInt(DISPID_PaletteId));
        auto colour = [&](int dispid) {
            return int(translateOleColor(uint32_t(c->getInt(dispid))));
        };
        s.writeInt("BackColor", colour(DISPID_BackColor));
        s.writeInt("GraphColor", colour(DISPID_GraphColor));
        s.writeInt("AxisBackColor", colour(DISPID_AxisBackColor));
        s.writeInt("AxisColor", colour(DISPID_AxisColor));
        s.writeInt("MarkerColor", colour(DISPID_CursorColor));
        s.writeInt("LabelColor", colour(DISPID_AxisLabelColor));
        s.writeInt("GridColor", colour(DISPID_GridColor));
    }
    s.sync();
}

void CArrayDoc::restoreFactoryDefaults() {
    m_settings.removeGraphDefaults();
    m_settings.sync();
    // The user who asks for the factory values wants to see them now, not
    // at the next load.
    const int shown = currentGraphType();
    setBuiltInGraphDefaults();
    setGridFormat(kDefaultGridPrecision, false);
    CPlotrane2D* c = control(true);
    if (!c) return;
    auto builtIn = [](int dispid) { return propertyInfo(dispid)->def.number; };
    c->setShort(DISPID_ImageOrientation, int16_t(builtIn(DISPID_ImageOrientation)));
    c->setBool(DISPID_ShowCursor, false);
    c->setShort(DISPID_PaletteId, int16_t(builtIn(DISPID_PaletteId)));
    c->setColor(DISPID_BackColor, kBackColor);
    for (const int dispid : {DISPID_GraphColor, DISPID_AxisBackColor, DISPID_AxisColor,
                             DISPID_CursorColor, DISPID_AxisLabelColor, DISPID_GridColor})
        c->setColor(dispid, uint32_t(builtIn(dispid)));
    if (shown == NoGraph) {
        c->setBool(DISPID_ShowPalette, m_presenter.paletteShown());
    } else {
        // The kind on screen again, now from its built-in settings (not from
        // the control, as a switch of kind would take them).
        m_presenter.showKind(*c, shown,
                             c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free,
                             turnablePlane(*c));
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free) restoreCamera3D();
        applySettingsToControl(shown);
    }
    settingsChanged(false);
}

void CArrayDoc::askSaveGraphDefaults() {
    if (m_sink.question("Save current graph settings as default?")) saveGraphDefaults();
}

void CArrayDoc::askRestoreFactoryDefaults() {
    if (m_sink.question("Restore factory default settings?")) restoreFactoryDefaults();
}
