#include "GraphPresenter.h"

#include <algorithm>

using namespace plotrane;

namespace {

// A kind's starting block: style and the eleven switches, in the order of
// GraphSettings.
GraphSettings initialBlock(GraphStyle style, std::array<int, 11> s) {
    GraphSettings g;
    g.graphStyle = value(style);
    g.lineSmooth = s[0];
    g.showGrid = s[1];
    g.flatShading = s[2];
    g.highLight = s[3];
    g.textureMode = value(s[4] ? TextureMode::Always : TextureMode::Never);
    g.dataClamp = s[5];
    g.lighting = s[6];
    g.useColorPalette = s[7];
    g.showAxis = s[8];
    g.depthcue = s[9];
    g.fixedAspect = s[10];
    g.gridDensity = 15.0f;
    return g;
}

// Short sides of at most this many elements are drawn as lines by the plane
// view.
constexpr int32_t kPlaneViewSide = 10;

} // namespace

void GraphPresenter::setBuiltInDefaults() {
    m_settings[NoGraph] = initialBlock(GraphStyle::SurfaceStyle, {1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    m_settings[HeightPlot] =
        initialBlock(GraphStyle::SurfaceStyle, {1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    m_settings[ImageMap] =
        initialBlock(GraphStyle::SurfaceStyle, {1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0});
    m_settings[VectorGraph] =
        initialBlock(GraphStyle::PointStyle, {1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    m_settings[PlaneView] = initialBlock(GraphStyle::LineStyle, {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0});
    m_camera = GraphCamera{};
    m_preferredKind = PlaneView;
    m_paletteShown = false;
}

GraphSettings& GraphPresenter::settings(int kind) {
    return m_settings[size_t(std::clamp(kind, 0, 4))];
}

const GraphSettings& GraphPresenter::settings(int kind) const {
    return m_settings[size_t(std::clamp(kind, 0, 4))];
}

void GraphPresenter::setPreferredKind(int kind) {
    if (kind >= HeightPlot && kind <= PlaneView) m_preferredKind = kind;
}

bool GraphPresenter::suits(int kind, int32_t rows, int32_t columns) {
    if (kind == NoGraph) return true;
    if (kind < 0 || kind > PlaneView || rows < 1 || columns < 1) return false;
    if (kind == PlaneView) return rows <= kPlaneViewSide || columns <= kPlaneViewSide;
    return rows >= 2 && columns >= 2;
}

int GraphPresenter::choose(int requested, int shown, int32_t rows, int32_t columns) const {
    if (rows < 1 || columns < 1) return NoGraph;
    // A kind that does not suit the plane falls back to the kind shown, then
    // to the presenter's own choice.
    if (requested != kAutoGraphKind && suits(requested, rows, columns)) return requested;
    if (shown != NoGraph && suits(shown, rows, columns)) return shown;
    for (const int kind : {m_preferredKind, int(PlaneView), int(HeightPlot)})
        if (suits(kind, rows, columns)) return kind;
    return NoGraph;
}

int GraphPresenter::select(CPlotrane2D& c, int requested, int shown, const Plane& plane) {
    // Kinds outside 0..4 (a damaged trailer, a hand-edited setting) mean
    // "choose"; they never index the blocks.
    if (requested < 0 || requested > PlaneView) requested = kAutoGraphKind;
    const bool camera3D = c.getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free;
    storeSettings(c, shown);
    const int kind = choose(requested, shown, plane.rows, plane.columns);
    showKind(c, kind, camera3D, plane);
    applySettings(c, kind);
    return kind;
}

void GraphPresenter::storeSettings(const CPlotrane2D& c, int kind) {
    controlsync::readGraphSettings(c, settings(kind));
}

void GraphPresenter::applySettings(const CPlotrane2D& c, int kind) const {
    controlsync::writeGraphSettings(c, settings(kind));
}

void GraphPresenter::showKind(CPlotrane2D& c, int kind, bool camera3D, const Plane& plane) {
    switch (kind) {
    case NoGraph:
        if (camera3D) saveCamera(c);
        c.setShort(DISPID_GraphType, GraphType::Plain);
        c.setBool(DISPID_ShowPalette, m_paletteShown);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWalls);
        break;
    case HeightPlot:
        if (!camera3D) {
            c.setShort(DISPID_CamViewType, CamViewType::Free);
            restoreCamera(c);
        }
        c.setShort(DISPID_GraphType, GraphType::HeightPlot);
        c.setBool(DISPID_ShowPalette, m_paletteShown);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWalls);
        break;
    case ImageMap:
        if (camera3D) saveCamera(c);
        c.setShort(DISPID_CamViewType, CamViewType::TopXY);
        c.setShort(DISPID_GraphType, GraphType::ImageMap);
        c.SetImageAspect(m_squareCells ? 1 : 0);
        c.setBool(DISPID_ShowPalette, m_paletteShown);
        c.setFloat(DISPID_ZScale, 1.0f);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWalls);
        break;
    case VectorGraph:
        showVectorGraph(c, camera3D, plane);
        break;
    case PlaneView:
        showPlaneView(c, camera3D, plane);
        break;
    default:
        break;
    }
}

void GraphPresenter::showVectorGraph(CPlotrane2D& c, bool camera3D, const Plane& plane) {
    // The components are columns of the window (XComp..WComp index them): a
    // window wider than tall is turned so that its short side holds them.
    if (c.getInt(DISPID_NumRows) < c.getInt(DISPID_NumColumns) && plane.turn) plane.turn();
    const int n = c.getInt(DISPID_NumColumns);
    const bool x = c.getInt(DISPID_XComp) != -1 && n >= 1;
    const bool y = c.getInt(DISPID_YComp) != -1 && n >= 2;
    const bool z = c.getInt(DISPID_ZComp) != -1 && n >= 3;
    const bool w = c.getInt(DISPID_WComp) != -1 && n >= 4;
    if (camera3D && !(x && y && z)) saveCamera(c);
    if (!camera3D && x && y && z) {
        c.setShort(DISPID_CamViewType, CamViewType::Free);
        restoreCamera(c);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWalls);
    }
    // A flat vector graph is seen face on, through the plane of its components.
    if (!z) {
        c.setShort(DISPID_CamViewType, CamViewType::TopXY);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWallsGrid);
        c.setFloat(DISPID_ZScale, 1.0f);
    } else if (!y || !x) {
        c.setShort(DISPID_CamViewType, !y ? CamViewType::FrontXZ : CamViewType::SideYZ);
        c.setFloat(DISPID_ZScale, 1.0f);
        c.setShort(DISPID_AxisStyle, AxisStyle::FilledWallsGrid);
    }
    c.setShort(DISPID_GraphType, GraphType::VectorGraph);
    c.setBool(DISPID_ShowPalette, w ? m_paletteShown : false);
    m_settings[VectorGraph].useColorPalette = w;
}

void GraphPresenter::showPlaneView(CPlotrane2D& c, bool camera3D, const Plane& plane) {
    if (camera3D) saveCamera(c);
    c.setFloat(DISPID_ZScale, 1.0f);
    // Looked at from the side along the short direction; a plane short both
    // ways keeps the side it is seen from.
    if (plane.rows > kPlaneViewSide) {
        c.setShort(DISPID_CamViewType, CamViewType::SideYZ);
    } else {
        const CamViewType view = c.getEnum<CamViewType>(DISPID_CamViewType);
        if (plane.columns > kPlaneViewSide ||
            (view != CamViewType::FrontXZ && view != CamViewType::SideYZ))
            c.setShort(DISPID_CamViewType, CamViewType::FrontXZ);
    }
    c.setShort(DISPID_GraphType, GraphType::HeightPlot);
    c.setBool(DISPID_ShowPalette, false);
    c.setShort(DISPID_AxisStyle, AxisStyle::FilledWallsGrid);
}
