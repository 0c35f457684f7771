// How every property and method of the control reaches the engine: one
// binding row per property, in dispatch order, and one row per method.
//
// A property row names up to three functions: `take` hands a written value
// to the data side (binding, window, camera, ranges) before it is stored and
// may decline it; `show` hands the stored value to the render side (graph
// objects, axes, palette bar, render context), at a change and at creation;
// `read` reads a live value back from the engine. A property that the engine
// only stores has a row of nulls. Adding a property is its row in
// plotrane/PropertyTable.h and its row here.
#include "ControlModel.h"
#include "ControlModelValues.h"

#include <cassert>
#include <cmath>

#include "aglCameraObj.h"
#include "aglGraphView.h"
#include "aglImageMapObj.h"
#include "aglRenderContext.h"
#include "aglSegment.h"

using namespace plotrane;
using namespace plotrane_model;

// --- Property bindings --------------------------------------------------------

struct ControlModel::Bind {
    using P = const PropertyInfo&;
    using V = const Variant&;

    // Runs a change of what frames draw with the render thread paused.
    template <typename F> static void paused(ControlModel& m, F&& change) {
        m.m_view->pauseRenderThread();
        change(*m.m_view);
        m.m_view->wakeRenderThread();
    }
    static const Variant& value(ControlModel& m, P p) { return m.slot(p); }
    static void camera(ControlModel& m, std::function<void(aglCameraObj&)> change) {
        paused(m, [&](aglGraphView& v) { change(v.Camera()); });
    }

    // take: the data side ------------------------------------------------------
    static bool fileName(ControlModel& m, P, V v) {
        // A refused name changes nothing and raises nothing.
        const bool bound = m.m_view->setFileName(v.toString());
        m.m_dataBound = m.m_dataBound || bound; // selections start with the first binding
        return bound;
    }
    static bool showDataTip(ControlModel& m, P, V v) {
        if (!v.toBool()) m.removeTip();
        return true;
    }
    static bool dimension(ControlModel& m, P p, V v) {
        if (!m.validDim(v.toInt())) return false;
        p.dispid == DISPID_RowDim ? m.m_view->setRowDimension(v.toInt())
                                  : m.m_view->setColumnDimension(v.toInt());
        return true;
    }
    static bool planeWindow(ControlModel& m, P p, V v) {
        int32_t w[4]; // ColumnStart, RowStart, NumColumns, NumRows
        m.m_view->planeWindow(w[0], w[1], w[2], w[3]);
        w[p.dispid == DISPID_ColumnStart  ? 0
          : p.dispid == DISPID_RowStart   ? 1
          : p.dispid == DISPID_NumColumns ? 2
                                          : 3] = v.toInt();
        m.m_view->setPlaneWindow(w[0], w[1], w[2], w[3]);
        return true;
    }
    static bool resolution(ControlModel& m, P, V v) {
        m.m_view->setResolution(v.toInt());
        return true;
    }
    static bool resolutionAutoAdjust(ControlModel& m, P, V v) {
        m.m_view->setResolutionAutoAdjust(v.toBool());
        return true;
    }
    static bool axisAutoScale(ControlModel& m, P, V v) {
        m.m_view->setAxisAutoScale(v.toBool());
        return true;
    }
    static bool dataClamp(ControlModel& m, P, V v) {
        m.m_view->setDataClamp(v.toBool());
        return true;
    }
    static bool paletteAutoAdjust(ControlModel& m, P, V v) {
        m.m_view->setPaletteAutoAdjust(v.toBool());
        return true;
    }
    static bool graphType(ControlModel& m, P p, V v) {
        // New graph objects: they take every display setting again.
        m.m_view->setGraphType(v.toInt(), true);
        m.slot(p) = v;
        m.syncGraphObjects();
        return true;
    }
    static bool component(ControlModel& m, P p, V v) {
        m.m_view->setComponent(p.dispid - DISPID_XComp, v.toInt());
        return true;
    }
    static bool axisScale(ControlModel& m, P p, V v) {
        double s[3];
        m.m_view->axisScales(s[0], s[1], s[2]);
        s[p.dispid - DISPID_XScale] = v.toFloat();
        m.m_view->setBoxScales(s[0], s[1], s[2]);
        return true;
    }
    static bool camPosition(ControlModel& m, P p, V v) {
        camera(m, [&](aglCameraObj& c) {
            float eye[3];
            c.GetPosition(&eye[0], &eye[1], &eye[2]);
            eye[p.dispid - DISPID_CamXPos] = v.toFloat();
            c.SetPosition(eye[0], eye[1], eye[2]);
        });
        return true;
    }
    static bool camCenter(ControlModel& m, P p, V v) {
        camera(m, [&](aglCameraObj& c) {
            float coi[3];
            c.GetCenter(&coi[0], &coi[1], &coi[2]);
            coi[p.dispid - DISPID_CamXCoi] = v.toFloat();
            c.SetCenter(coi[0], coi[1], coi[2]);
        });
        return true;
    }
    static bool camDistance(ControlModel& m, P, V v) {
        camera(m, [&](aglCameraObj& c) { c.SetDistance(v.toFloat()); });
        return true;
    }
    static bool camElevation(ControlModel& m, P, V v) {
        camera(m, [&](aglCameraObj& c) { c.SetElevation(v.toFloat()); });
        return true;
    }
    static bool camAzimuth(ControlModel& m, P, V v) {
        camera(m, [&](aglCameraObj& c) { c.SetAzimuth(v.toFloat()); });
        return true;
    }
    static bool paletteFileName(ControlModel& m, P, V v) {
        // The custom table is shown while PaletteId is 0 (at once when it
        // already is); switching here behind PaletteId would leave the
        // property naming a palette the picture no longer shows.
        paused(m, [&](aglGraphView& d) { d.paletteBar().LoadCustomPalette(v.toString()); });
        return true;
    }
    static bool gridLines(ControlModel& m, P p, V v) {
        // Taken only while the density does not set the grid lines.
        if (m.m_view->gridDensityAutoAdjust()) return false;
        int x = 1, y = 1;
        m.m_view->gridLines(x, y);
        (p.dispid == DISPID_NumXGridLines ? x : y) = v.toInt();
        m.m_view->setGridLines(x, y);
        return true;
    }
    static bool rangeEnd(ControlModel& m, P p, V v) {
        // One end written, the other kept: a value that would cross the other
        // end is not applied (SetAxisClamp / SetPaletteRange move both).
        const double other = m.property(*propertyInfo(otherEnd(p.dispid))).toDouble();
        const double lo = isMinimumEnd(p.dispid) ? v.toDouble() : other;
        const double hi = isMinimumEnd(p.dispid) ? other : v.toDouble();
        if (hi < lo) return false;
        if (const int axis = clampAxisOf(p.dispid); axis >= 0)
            m.m_view->setAxisClamp(axis, lo, hi);
        else
            m.m_view->setPaletteRange(lo, hi);
        return true;
    }
    static bool axisFontName(ControlModel& m, P p, V v) {
        // The face of both axis fonts, sizes and weights kept; written again
        // whatever it read, since either font may have another face by now.
        // Each font marks the control itself when its face changes; the
        // name marks it only when it is a new one.
        PlotraneFont numbers = m.m_fonts[0], titles = m.m_fonts[1];
        numbers.family = titles.family = v.toString();
        m.setAxisFont(numbers);
        m.setAxisLabelFont(titles);
        return !(m.stored(p.dispid) == v);
    }
    static bool fontFace(ControlModel& m, P p, V v) {
        // The face of the font: the font holder changes (and marks) itself.
        PlotraneFont f = m.m_fonts[p.dispid == DISPID_AxisFont ? 0 : 1];
        f.family = v.toString();
        p.dispid == DISPID_AxisFont ? m.setAxisFont(f) : m.setAxisLabelFont(f);
        return false;
    }

    // show: the render side ------------------------------------------------------
    static void graphObjects(ControlModel& m, P) { m.syncGraphObjects(); }
    static void axisRequest(ControlModel& m, P) { m.syncAxisRequest(); }
    // The picture mirrors and the x and y numbers follow it.
    static void imageOrientation(ControlModel& m, P) {
        m.syncGraphObjects();
        m.syncAxisRequest();
    }
    static void lineSmooth(ControlModel& m, P p) { m.m_view->setLineSmooth(value(m, p).toBool()); }
    static void showPalette(ControlModel& m, P p) {
        m.m_view->setShowPalette(value(m, p).toBool());
        m.markCursorValue();
    }
    static void gridDensity(ControlModel& m, P p) {
        m.m_view->setGridDensity(value(m, p).toFloat());
    }
    static void gridDensityAutoAdjust(ControlModel& m, P p) {
        m.m_view->setGridDensityAutoAdjust(value(m, p).toBool());
    }
    static void viewerMode(ControlModel& m, P p) { m.m_view->SetMouseMode(value(m, p).toInt()); }
    static void backColor(ControlModel& m, P p) {
        float rgb[3];
        colour(uint32_t(value(m, p).toInt()), rgb);
        paused(m, [&](aglGraphView& v) { v.Context().SetBackground(rgb[0], rgb[1], rgb[2]); });
    }
    static void highLight(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) { v.Context().SetHighLight(value(m, p).toBool()); });
    }
    static void orthographic(ControlModel& m, P p) {
        camera(m, [&](aglCameraObj& c) { c.SetOrthographic(value(m, p).toBool()); });
    }
    static void fixedAspect(ControlModel& m, P p) {
        camera(m, [&](aglCameraObj& c) { c.SetFixedAspect(value(m, p).toBool()); });
    }
    static void camViewType(ControlModel& m, P p) {
        camera(m, [&](aglCameraObj& c) { c.SetViewType(value(m, p).toInt()); });
    }
    static void paletteId(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) { v.paletteBar().SetPaletteId(value(m, p).toInt()); });
    }
    static void showPaletteLabels(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) { v.paletteBar().SetShowLabels(value(m, p).toBool()); });
    }
    static void showAxis(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) { v.axis().SetVisible(value(m, p).toBool()); });
    }
    static void axisStyle(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) { v.axis().SetStyle(value(m, p).toInt()); });
    }
    static void axisColor(ControlModel& m, P p) {
        float rgb[3];
        colour(uint32_t(value(m, p).toInt()), rgb);
        paused(m, [&](aglGraphView& v) { v.axis().SetColor(rgb[0], rgb[1], rgb[2]); });
    }
    static void axisLabelColor(ControlModel& m, P p) {
        float rgb[3];
        colour(uint32_t(value(m, p).toInt()), rgb);
        paused(m, [&](aglGraphView& v) {
            for (int a = 0; a < 3; ++a)
                v.axis().SetTitleColour(a, rgb[0], rgb[1], rgb[2]);
        });
    }
    static void axisBackColor(ControlModel& m, P p) {
        float rgb[3];
        colour(uint32_t(value(m, p).toInt()), rgb);
        paused(m, [&](aglGraphView& v) { v.axis().SetBackColour(rgb[0], rgb[1], rgb[2]); });
    }
    static void axisTitle(ControlModel& m, P p) {
        paused(m, [&](aglGraphView& v) {
            v.axis().SetTitle(p.dispid - DISPID_XAxisLabel, value(m, p).toString());
        });
    }
    static void axisFonts(ControlModel& m, P) {
        // Heights in pixels at 96 dots per inch, bold is 700.
        const auto px = [](const PlotraneFont& f) {
            return int(std::lround(f.points * 96.0 / 72.0));
        };
        const PlotraneFont& n = m.m_fonts[0];
        const PlotraneFont& t = m.m_fonts[1];
        paused(m, [&](aglGraphView& v) {
            v.axis().SetNumberFontByName(n.family, px(n), n.bold ? 700 : 400, false);
            v.axis().SetTitleFontByName(t.family, px(t), t.bold ? 700 : 400, false);
        });
    }

    // read: live values ------------------------------------------------------------
    static Variant window(ControlModel& m, P p) {
        int32_t w[4];
        m.m_view->planeWindow(w[0], w[1], w[2], w[3]);
        return Variant(int(w[p.dispid == DISPID_ColumnStart  ? 0
                             : p.dispid == DISPID_RowStart   ? 1
                             : p.dispid == DISPID_NumColumns ? 2
                                                             : 3]));
    }
    static Variant currentResolution(ControlModel& m, P) {
        return Variant(int(m.m_view->currentResolution()));
    }
    static Variant elementSize(ControlModel& m, P) {
        return Variant(int16_t(m.m_view->elementSize()));
    }
    static Variant cellSize(ControlModel& m, P) { return Variant(int(m.m_view->cellSize())); }
    static Variant dataOffset(ControlModel& m, P) { return Variant(int(m.currentLevel())); }
    static Variant dimensionOf(ControlModel& m, P p) {
        return Variant(int(p.dispid == DISPID_RowDim ? m.m_view->rowDimension()
                                                     : m.m_view->columnDimension()));
    }
    static Variant rangeValue(ControlModel& m, P p) {
        double lo = 0, hi = 0;
        if (const int axis = clampAxisOf(p.dispid); axis >= 0)
            m.m_view->axisClamp(axis, lo, hi);
        else
            m.m_view->paletteRange(lo, hi);
        return Variant(isMinimumEnd(p.dispid) ? lo : hi);
    }
    static Variant position(ControlModel& m, P p) {
        float eye[3];
        m.m_view->Camera().GetPosition(&eye[0], &eye[1], &eye[2]);
        return Variant(eye[p.dispid - DISPID_CamXPos]);
    }
    static Variant center(ControlModel& m, P p) {
        float coi[3];
        m.m_view->Camera().GetCenter(&coi[0], &coi[1], &coi[2]);
        return Variant(coi[p.dispid - DISPID_CamXCoi]);
    }
    static Variant distance(ControlModel& m, P) { return Variant(m.m_view->Camera().Distance()); }
    static Variant elevation(ControlModel& m, P) { return Variant(m.m_view->Camera().Elevation()); }
    static Variant azimuth(ControlModel& m, P) { return Variant(m.m_view->Camera().Azimuth()); }
    static Variant glVersion(ControlModel& m, P) {
        return Variant(m.m_view->Context().GLVersion());
    }
    static Variant glRenderer(ControlModel& m, P) {
        return Variant(m.m_view->Context().GLRenderer());
    }
    static Variant glVendor(ControlModel& m, P) { return Variant(m.m_view->Context().GLVendor()); }
    static Variant glExtensions(ControlModel& m, P) {
        return Variant(m.m_view->Context().GLExtensions());
    }
    static Variant pictureStatus(ControlModel& m, P) {
        return Variant(int16_t(m.metaFileStatus()));
    }
    static Variant pictureFile(ControlModel& m, P) { return Variant(m.metaFile()); }
    // A loaded palette is not named again: the name reads empty.
    static Variant asDefault(ControlModel&, P p) { return defaultValue(p); }
    static Variant fontFamily(ControlModel& m, P p) {
        return Variant(m.m_fonts[p.dispid == DISPID_AxisFont ? 0 : 1].family);
    }
    // Row and Col read the cursor, not the value written (applied at the
    // next paint).
    static Variant cursorRow(ControlModel& m, P) { return Variant(int(m.cursorRow())); }
    static Variant cursorColumn(ControlModel& m, P) { return Variant(int(m.cursorColumn())); }
    static Variant windowId(ControlModel& m, P) {
        return Variant(int(m.m_host.windowId ? m.m_host.windowId() : 0));
    }

    static const Binding kRows[];
    static const Binding kStockRows[];
};

// clang-format off
const ControlModel::Binding ControlModel::Bind::kRows[] = {
//   property                        take                   show                    read                rewrite
    {DISPID_GraphStyle,              nullptr,               graphObjects,           nullptr,            false},
    {DISPID_CacheBehavior,           nullptr,               graphObjects,           nullptr,            false},
    {DISPID_LineSmooth,              nullptr,               lineSmooth,             nullptr,            false},
    {DISPID_LineWidth,               nullptr,               graphObjects,           nullptr,            false},
    {DISPID_Depthcue,                nullptr,               graphObjects,           nullptr,            false},
    {DISPID_Shading,                 nullptr,               graphObjects,           nullptr,            false},
    {DISPID_XScale,                  axisScale,             nullptr,                nullptr,            false},
    {DISPID_YScale,                  axisScale,             nullptr,                nullptr,            false},
    {DISPID_ZScale,                  axisScale,             nullptr,                nullptr,            false},
    {DISPID_BarChartArea,            nullptr,               graphObjects,           nullptr,            false},
    {DISPID_ShowGrid,                nullptr,               graphObjects,           nullptr,            false},
    {DISPID_HiddenLine,              nullptr,               graphObjects,           nullptr,            false},
    {DISPID_UseColorPalette,         nullptr,               graphObjects,           nullptr,            false},
    {DISPID_ZBias,                   nullptr,               nullptr,                nullptr,            false},
    {DISPID_Resolution,              resolution,            nullptr,                currentResolution,  false},
    {DISPID_ColumnStart,             planeWindow,           nullptr,                window,             false},
    {DISPID_RowStart,                planeWindow,           nullptr,                window,             false},
    {DISPID_DataElementSize,         nullptr,               nullptr,                elementSize,        false},
    {DISPID_NumColumns,              planeWindow,           nullptr,                window,             false},
    {DISPID_NumRows,                 planeWindow,           nullptr,                window,             false},
    {DISPID_DataCellSize,            nullptr,               nullptr,                cellSize,           false},
    {DISPID_DataOffset,              nullptr,               nullptr,                dataOffset,         false},
    {DISPID_NumAntiAliasPasses,      nullptr,               nullptr,                nullptr,            false},
    {DISPID_ShowDataTip,             showDataTip,           nullptr,                nullptr,            false},
    {DISPID_GridDensity,             nullptr,               gridDensity,            nullptr,            false},
    {DISPID_ShowAxis,                nullptr,               showAxis,               nullptr,            false},
    {DISPID_AxisLabelColor,          nullptr,               axisLabelColor,         nullptr,            false},
    {DISPID_AxisFontName,            axisFontName,          nullptr,                nullptr,            true},
    {DISPID_AxisColor,               nullptr,               axisColor,              nullptr,            false},
    {DISPID_TextureMode,             nullptr,               graphObjects,           nullptr,            false},
    {DISPID_Lighting,                nullptr,               graphObjects,           nullptr,            false},
    {DISPID_XAxisLabel,              nullptr,               axisTitle,              nullptr,            false},
    {DISPID_YAxisLabel,              nullptr,               axisTitle,              nullptr,            false},
    {DISPID_ZAxisLabel,              nullptr,               axisTitle,              nullptr,            false},
    {DISPID_FileName,                fileName,              nullptr,                nullptr,            true},
    {DISPID_AxisFont,                fontFace,              axisFonts,              fontFamily,         false},
    {DISPID_FontAutoScale,           nullptr,               axisRequest,            nullptr,            false},
    {DISPID_AxisLabelFont,           fontFace,              axisFonts,              fontFamily,         false},
    {DISPID_CamXPos,                 camPosition,           nullptr,                position,           false},
    {DISPID_CamYPos,                 camPosition,           nullptr,                position,           false},
    {DISPID_CamZPos,                 camPosition,           nullptr,                position,           false},
    {DISPID_CamXCoi,                 camCenter,             nullptr,                center,             false},
    {DISPID_CamYCoi,                 camCenter,             nullptr,                center,             false},
    {DISPID_CamZCoi,                 camCenter,             nullptr,                center,             false},
    {DISPID_DataType,                nullptr,               nullptr,                nullptr,            false},
    {DISPID_GLVersion,               nullptr,               nullptr,                glVersion,          false},
    {DISPID_GLRenderer,              nullptr,               nullptr,                glRenderer,         false},
    {DISPID_GLVendor,                nullptr,               nullptr,                glVendor,           false},
    {DISPID_GLExtensions,            nullptr,               nullptr,                glExtensions,       false},
    {DISPID_AxisAutoScale,           axisAutoScale,         nullptr,                nullptr,            false},
    {DISPID_ZMinClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_ZMaxClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_AxisStyle,               nullptr,               axisStyle,              nullptr,            false},
    {DISPID_PaletteId,               nullptr,               paletteId,              nullptr,            false},
    {DISPID_PaletteAutoAdjust,       paletteAutoAdjust,     nullptr,                nullptr,            false},
    {DISPID_PaletteMinVal,           rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_PaletteMaxVal,           rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_OrthographicProj,        nullptr,               orthographic,           nullptr,            false},
    {DISPID_CamDistance,             camDistance,           nullptr,                distance,           false},
    {DISPID_CamElevation,            camElevation,          nullptr,                elevation,          false},
    {DISPID_CamAzimuth,              camAzimuth,            nullptr,                azimuth,            false},
    {DISPID_GraphType,               graphType,             nullptr,                nullptr,            false},
    {DISPID_PointSize,               nullptr,               graphObjects,           nullptr,            false},
    {DISPID_XMaxClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_XMinClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_YMaxClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_YMinClamp,               rangeEnd,              nullptr,                rangeValue,         false},
    {DISPID_ViewerMode,              nullptr,               viewerMode,             nullptr,            false},
    {DISPID_GridDensityAutoAdjust,   nullptr,               gridDensityAutoAdjust,  nullptr,            false},
    {DISPID_ShowPalette,             nullptr,               showPalette,            nullptr,            false},
    {DISPID_ShowPaletteLabels,       nullptr,               showPaletteLabels,      nullptr,            false},
    {DISPID_ShowCursor,              nullptr,               graphObjects,           nullptr,            false},
    {DISPID_Row,                     nullptr,               nullptr,                cursorRow,          false},
    {DISPID_Col,                     nullptr,               nullptr,                cursorColumn,       false},
    {DISPID_CursorColor,             nullptr,               graphObjects,           nullptr,            false},
    {DISPID_XComp,                   component,             nullptr,                nullptr,            false},
    {DISPID_YComp,                   component,             nullptr,                nullptr,            false},
    {DISPID_ZComp,                   component,             nullptr,                nullptr,            false},
    {DISPID_WComp,                   component,             nullptr,                nullptr,            false},
    {DISPID_XNumMajorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_YNumMajorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_ZNumMajorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_XNumMinorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_YNumMinorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_ZNumMinorTickmarks,      nullptr,               axisRequest,            nullptr,            false},
    {DISPID_XAxisLabelStart,         nullptr,               nullptr,                nullptr,            false},
    {DISPID_XAxisLabelEnd,           nullptr,               nullptr,                nullptr,            false},
    {DISPID_YAxisLabelStart,         nullptr,               nullptr,                nullptr,            false},
    {DISPID_YAxisLabelEnd,           nullptr,               nullptr,                nullptr,            false},
    {DISPID_ZAxisLabelStart,         nullptr,               nullptr,                nullptr,            false},
    {DISPID_ZAxisLabelEnd,           nullptr,               nullptr,                nullptr,            false},
    {DISPID_GraphColor,              nullptr,               graphObjects,           nullptr,            false},
    {DISPID_CursorTransparency,      nullptr,               graphObjects,           nullptr,            false},
    {DISPID_ResolutionAutoAdjust,    resolutionAutoAdjust,  nullptr,                nullptr,            false},
    {DISPID_NumXGridLines,           gridLines,             nullptr,                nullptr,            false},
    {DISPID_NumYGridLines,           gridLines,             nullptr,                nullptr,            false},
    {DISPID_DataSelectEnable,        nullptr,               nullptr,                nullptr,            false},
    {DISPID_AxisAutoDetail,          nullptr,               axisRequest,            nullptr,            false},
    {DISPID_AxisBackColor,           nullptr,               axisBackColor,          nullptr,            false},
    {DISPID_GridColor,               nullptr,               graphObjects,           nullptr,            false},
    {DISPID_CamViewType,             nullptr,               camViewType,            nullptr,            false},
    {DISPID_DataClamp,               dataClamp,             nullptr,                nullptr,            false},
    {DISPID_RowSel,                  nullptr,               nullptr,                nullptr,            false},
    {DISPID_ColSel,                  nullptr,               nullptr,                nullptr,            false},
    {DISPID_FixedAspect,             nullptr,               fixedAspect,            nullptr,            false},
    {DISPID_ImageOrientation,        nullptr,               imageOrientation,       nullptr,            false},
    {DISPID_RowDim,                  dimension,             nullptr,                dimensionOf,        false},
    {DISPID_ColDim,                  dimension,             nullptr,                dimensionOf,        false},
    {DISPID_SelectionOutlineColor,   nullptr,               nullptr,                nullptr,            false},
    {DISPID_ImageFilter,             nullptr,               graphObjects,           nullptr,            false},
    {DISPID_HighLight,               nullptr,               highLight,              nullptr,            false},
    {DISPID_MajorVersion,            nullptr,               nullptr,                nullptr,            false},
    {DISPID_MinorVersion,            nullptr,               nullptr,                nullptr,            false},
    {DISPID_UseAxisScales,           nullptr,               axisRequest,            nullptr,            false},
    {DISPID_PaletteFileName,         paletteFileName,       nullptr,                asDefault,          false},
    {DISPID_Hold,                    nullptr,               nullptr,                nullptr,            false},
    {DISPID_MetaFileStatus,          nullptr,               nullptr,                pictureStatus,      false},
    {DISPID_MetaFile,                nullptr,               nullptr,                pictureFile,        false},
};
const ControlModel::Binding ControlModel::Bind::kStockRows[] = {
    {DISPID_BackColor,               nullptr,               backColor,              nullptr,            false},
    {DISPID_hWnd,                    nullptr,               nullptr,                windowId,           false},
};
// clang-format on

namespace {
// Every row in dispatch order, and every live property able to read.
bool rowsInOrder(const auto& rows) {
    int k = 1;
    for (const auto& row : rows) {
        const PropertyInfo& p = kProperties[k - 1];
        if (row.dispid != k++ || (p.has(kLive) && !row.read)) return false;
    }
    return k == kPropertyCount + 1;
}
} // namespace

const ControlModel::Binding& ControlModel::binding(int dispid) {
    static const bool checked = rowsInOrder(Bind::kRows);
    assert(checked && "one binding row per property, in dispatch order");
    (void)checked;
    if (dispid >= 1 && dispid <= kPropertyCount) return Bind::kRows[dispid - 1];
    return dispid == DISPID_BackColor ? Bind::kStockRows[0] : Bind::kStockRows[1];
}

// --- Engine synchronisation ---------------------------------------------------

// The display settings of the three graph objects, from the stored values.
// The render thread is paused around the change.
void ControlModel::syncGraphObjects() {
    const auto num = [&](int dispid) { return stored(dispid).toDouble(); };
    const auto on = [&](int dispid) { return stored(dispid).toBool(); };
    float graph[3], grid[3], cursor[3];
    colour(uint32_t(stored(DISPID_GraphColor).toInt()), graph);
    colour(uint32_t(stored(DISPID_GridColor).toInt()), grid);
    colour(uint32_t(stored(DISPID_CursorColor).toInt()), cursor);
    m_view->pauseRenderThread();
    for (int level = 0; level < 3; ++level) {
        aglGraphObj& g = m_view->graphObject(level);
        g.SetStyle(int(num(DISPID_GraphStyle)));
        g.SetCacheBehavior(int(num(DISPID_CacheBehavior)));
        g.SetDepthcue(on(DISPID_Depthcue));
        g.SetShading(int(num(DISPID_Shading)));
        g.SetShowGrid(on(DISPID_ShowGrid));
        g.SetHiddenLine(on(DISPID_HiddenLine));
        g.SetTextured(num(DISPID_TextureMode) != value(TextureMode::Never));
        g.SetShowCursor(on(DISPID_ShowCursor));
        g.SetBarChartArea(float(num(DISPID_BarChartArea)));
        g.SetUseColorPalette(on(DISPID_UseColorPalette));
        g.SetLighting(on(DISPID_Lighting));
        g.SetLineWidth(float(num(DISPID_LineWidth)));
        g.SetPointSize(float(num(DISPID_PointSize)));
        g.SetColor(graph[0], graph[1], graph[2]);
        g.SetGridColor(grid[0], grid[1], grid[2]);
        g.SetCursorColor(cursor[0], cursor[1], cursor[2]);
        g.SetCursorTransparency(float(num(DISPID_CursorTransparency)));
        if (auto* image = dynamic_cast<aglImageMapObj*>(&g)) {
            image->SetOrientation(int(num(DISPID_ImageOrientation)));
            image->SetFilter(on(DISPID_ImageFilter));
        }
    }
    m_view->wakeRenderThread();
}

// The axis properties and the dimensions' tick values to the axis layout.
void ControlModel::syncAxisRequest() {
    aglGraphView::AxisRequest r;
    r.autoDetail = stored(DISPID_AxisAutoDetail).toBool();
    r.fontAutoScale = stored(DISPID_FontAutoScale).toBool();
    r.useScales = stored(DISPID_UseAxisScales).toBool();
    for (int k = 0; k < 3; ++k) {
        r.requestedMajor[k] = stored(DISPID_XNumMajorTickmarks + k).toInt();
        r.requestedMinor[k] = stored(DISPID_XNumMinorTickmarks + k).toInt();
    }
    for (size_t d = 0; d < m_dimScales.size(); ++d)
        r.scale[d] = m_dimScales[d];
    r.imageOrientation = stored(DISPID_ImageOrientation).toInt();
    m_view->setAxisRequest(r);
}

// Every stored display setting to the engine, as at creation.
void ControlModel::syncEngine() {
    for (const PropertyInfo& p : kProperties)
        if (const Binding& b = binding(p.dispid); b.show && !p.has(kLive) && !p.has(kDiscarded))
            b.show(*this, p);
    binding(DISPID_BackColor).show(*this, kStockProperties[0]);
}

// --- Methods --------------------------------------------------------------------

struct ControlModel::Methods {
    using Args = std::vector<Variant>;
    static Variant arg(const Args& a, size_t k) { return k < a.size() ? a[k] : Variant(); }
    // The dimension argument; -1 when missing.
    static int dim(const Args& a) { return a.empty() || a[0].isEmpty() ? -1 : a[0].toInt(); }

    static Variant getFrameRate(ControlModel& m, const Args&) {
        return Variant(m.m_view->GetFrameRate());
    }
    static Variant spin(ControlModel& m, const Args&) {
        m.m_view->ToggleSpin();
        return {};
    }
    static Variant cycle(ControlModel& m, const Args& a) {
        m.cycle(arg(a, 0).toDouble());
        return {};
    }
    static Variant update(ControlModel& m, const Args&) {
        m.update();
        return {};
    }
    static Variant setHomePosition(ControlModel& m, const Args&) {
        m.m_view->Camera().SaveHome();
        return {};
    }
    static Variant toHomePosition(ControlModel& m, const Args&) {
        Bind::camera(m, [](aglCameraObj& c) { c.RestoreHome(); });
        m.m_modified = true;
        m.redraw();
        return {};
    }
    template <bool Low> static Variant setRoi(ControlModel& m, const Args& a) {
        const int d = dim(a);
        if (!m.validDim(d) || a.size() < 2) return {};
        aglGraphView& v = *m.m_view;
        const int32_t before = Low ? v.roiLow(d) : v.roiHigh(d);
        Low ? v.setRoiLow(d, a[1].toInt()) : v.setRoiHigh(d, a[1].toInt());
        if ((Low ? v.roiLow(d) : v.roiHigh(d)) != before) m.m_modified = true;
        return {};
    }
    template <bool Low> static Variant getRoi(ControlModel& m, const Args& a) {
        const int d = dim(a);
        if (!m.validDim(d)) return Variant(0);
        return Variant(int(Low ? m.m_view->roiLow(d) : m.m_view->roiHigh(d)));
    }
    // Addresses never cross the dispatch interface: a long cannot hold one
    // here. In-process hosts use allocateData() and reshapeData().
    static Variant malloc(ControlModel&, const Args&) { return Variant(0); }
    static Variant free(ControlModel& m, const Args&) {
        m.m_view->release();
        return {};
    }
    static Variant reshape(ControlModel& m, const Args& a) {
        // (dimension count, extent 1, ..., extent n, type code)
        const int n = arg(a, 0).toInt();
        if (n < 1 || n > kMaxDimIndex + 1 || a.size() != size_t(n) + 2) return Variant(-1);
        int32_t extents[kMaxDimIndex + 1];
        for (int k = 0; k < n; ++k)
            extents[k] = a[size_t(k) + 1].toInt();
        return Variant(
            m.reshapeData(std::span<const int32_t>(extents, size_t(n)), a.back().toInt()));
    }
    static Variant nothing(ControlModel&, const Args&) { return {}; }
    static Variant zero(ControlModel&, const Args&) { return Variant(0); }
    static Variant yes(ControlModel&, const Args&) { return Variant(true); }
    static Variant setLBound(ControlModel& m, const Args& a) {
        const int d = dim(a);
        if (m.validDim(d) && a.size() >= 2) m.m_view->setLowerBound(d, a[1].toInt());
        return {};
    }
    static Variant getLBound(ControlModel& m, const Args& a) {
        const int d = dim(a);
        return Variant(m.validDim(d) ? int(m.m_view->lowerBound(d)) : 0);
    }
    static Variant setAxisScale(ControlModel& m, const Args& a) {
        // FALSE, and the dimension's scale removed, unless the dimension is
        // 0..6 and the name opens as a one-dimensional array.
        const int d = dim(a);
        if (d < 0 || d > kMaxDimIndex) return Variant(false);
        auto segment = std::make_shared<aglSegment>();
        const bool ok = a.size() >= 2 && a[1].type() == Variant::Type::String &&
                        segment->open(a[1].toString(), true) && segment->dimCount() == 1;
        m.m_dimScales[size_t(d)] = ok ? std::move(segment) : nullptr;
        m.syncAxisRequest();
        m.m_modified = true;
        if (m.m_host.repaint) m.m_host.repaint();
        return Variant(ok);
    }
    static Variant createMetaFile(ControlModel& m, const Args& a) {
        bool accepted = false;
        const DispatchStatus status =
            m.createMetaFile(arg(a, 0).toInt(), arg(a, 1).toInt(), false, &accepted);
        return Variant(status.ok() && accepted);
    }
    // (axis, minimum, maximum) and (minimum, maximum): FALSE for a bad axis,
    // a missing, non-finite or reversed pair.
    template <bool Axis> static Variant setRange(ControlModel& m, const Args& a) {
        const size_t first = Axis ? 1 : 0;
        const int axis = Axis ? arg(a, 0).toInt() : 0;
        const double lo = arg(a, first).toDouble();
        const double hi = arg(a, first + 1).toDouble();
        if (a.size() < first + 2 || axis < 0 || axis > 2 || !std::isfinite(lo) ||
            !std::isfinite(hi) || hi < lo)
            return Variant(false);
        Axis ? m.setAxisClamp(axis, lo, hi) : m.setPaletteRange(lo, hi);
        return Variant(true);
    }
    static Variant setImageAspect(ControlModel& m, const Args& a) {
        const int mode = arg(a, 0).toInt();
        if (a.empty() || mode < 0 || mode > 1) return Variant(false);
        if (m.m_view->imageAspect() != mode) {
            m.m_view->setImageAspect(mode);
            if (m.m_host.repaint) m.m_host.repaint();
        }
        return Variant(true);
    }
    static Variant getImageAspect(ControlModel& m, const Args&) {
        return Variant(m.m_view->imageAspect());
    }
    static Variant aboutBox(ControlModel& m, const Args&) {
        if (m.m_host.aboutBox) m.m_host.aboutBox();
        return {};
    }

    static const Method kRows[];
    static const Method kAboutBox;
};

// clang-format off
const ControlModel::Method ControlModel::Methods::kRows[] = {
    {DISPID_GetFrameRate,       getFrameRate},
    {DISPID_Spin,               spin},
    {DISPID_Cycle,              cycle},
    {DISPID_Update,             update},
    {DISPID_SetHomePosition,    setHomePosition},
    {DISPID_ToHomePosition,     toHomePosition},
    {DISPID_SetRoiLb,           setRoi<true>},
    {DISPID_SetRoiUb,           setRoi<false>},
    {DISPID_GetRoiLb,           getRoi<true>},
    {DISPID_GetRoiUb,           getRoi<false>},
    {DISPID_Malloc,             malloc},
    {DISPID_Free,               free},
    {DISPID_Reshape,            reshape},
    {DISPID_SetIndexColor,      nothing},
    {DISPID_GetIndexColor,      zero},
    {DISPID_SetLBound,          setLBound},
    {DISPID_GetLBound,          getLBound},
    {DISPID_SetAxisScale,       setAxisScale},
    {DISPID_SetCustomPalette,   yes},
    {DISPID_CreateMetaFile,     createMetaFile},
    {DISPID_SetAxisClamp,       setRange<true>},
    {DISPID_SetPaletteRange,    setRange<false>},
    {DISPID_SetImageAspect,     setImageAspect},
    {DISPID_GetImageAspect,     getImageAspect},
};
const ControlModel::Method ControlModel::Methods::kAboutBox = {DISPID_AboutBox, aboutBox};
// clang-format on

const ControlModel::Method* ControlModel::method(int dispid) {
    constexpr int count = int(std::size(kMethods));
    static_assert(std::size(Methods::kRows) == std::size(kMethods), "one row per method");
    if (dispid >= DISPID_GetFrameRate && dispid < DISPID_GetFrameRate + count) {
        const Method& m = Methods::kRows[dispid - DISPID_GetFrameRate];
        assert(m.dispid == dispid && "method rows in dispatch order");
        return &m;
    }
    return dispid == DISPID_AboutBox ? &Methods::kAboutBox : nullptr;
}
