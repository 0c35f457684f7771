#include "CPlotrane2DCtrl.h"
#include "PropertyPages.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QResizeEvent>

#include <QSettings>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "aglArray.h"
#include "aglCameraObj.h"
#include "aglGraphView.h"
#include "aglMetaFileWriter.h"
#include "aglRenderContext.h"

#include "aglSegment.h"

using namespace plotrane;

namespace {

// A finer level waits this long after the user last moved the cursor or
// zoomed (a held key repeats every 30-50 ms; its frames stay coarse).
constexpr int kInteractionRestMs = 250;
// How soon a level step the busy render thread put off is tried again.
constexpr int kStepRetryMs = 5;

// Host colours (0x00BBGGRR) as the engine's 0..1 triples.
void colour(uint32_t c, float rgb[3]) {
    for (int k = 0; k < 3; ++k)
        rgb[k] = float((c >> (8 * k)) & 0xFF) / 255.0f;
}

// A number as the typed Variant of the property's type.
Variant typed(const PropertyInfo& p, double v) {
    switch (p.type) {
    case PropType::Bool:
        return Variant(v != 0.0);
    case PropType::Short:
        return Variant(int16_t(v));
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    default:
        return Variant(int(int64_t(v)));
    }
}

Variant defaultValue(const PropertyInfo& p) {
    if (!p.isNumeric()) return Variant(std::string(p.def.text ? p.def.text : ""));
    return typed(p, p.def.number);
}

DispatchStatus refuse(int messageId) {
    return {kInvalidPropertyValue, controlMessage(messageId)};
}

int clampAxisOf(int dispid) {
    switch (dispid) {
    case DISPID_XMinClamp:
    case DISPID_XMaxClamp:
        return 0;
    case DISPID_YMinClamp:
    case DISPID_YMaxClamp:
        return 1;
    case DISPID_ZMinClamp:
    case DISPID_ZMaxClamp:
        return 2;
    default:
        return -1;
    }
}
bool isMinimumEnd(int dispid) {
    return dispid == DISPID_XMinClamp || dispid == DISPID_YMinClamp || dispid == DISPID_ZMinClamp ||
           dispid == DISPID_PaletteMinVal;
}
// The other end of a clamp or palette range property, or 0.
int otherEnd(int dispid) {
    switch (dispid) {
    case DISPID_XMinClamp:
        return DISPID_XMaxClamp;
    case DISPID_XMaxClamp:
        return DISPID_XMinClamp;
    case DISPID_YMinClamp:
        return DISPID_YMaxClamp;
    case DISPID_YMaxClamp:
        return DISPID_YMinClamp;
    case DISPID_ZMinClamp:
        return DISPID_ZMaxClamp;
    case DISPID_ZMaxClamp:
        return DISPID_ZMinClamp;
    case DISPID_PaletteMinVal:
        return DISPID_PaletteMaxVal;
    case DISPID_PaletteMaxVal:
        return DISPID_PaletteMinVal;
    default:
        return 0;
    }
}

QVariant toQVariant(const PropertyInfo& p, const Variant& v) {
    switch (p.type) {
    case PropType::Bool:
        return v.toBool();
    case PropType::Float:
        return double(v.toFloat());
    case PropType::Double:
        return v.toDouble();
    case PropType::String:
    case PropType::Font:
        return QString::fromStdString(v.toString());
    default:
        return v.toInt();
    }
}

// A stored value back as the property's type; empty when it is not one.
Variant fromQVariant(const PropertyInfo& p, const QVariant& q) {
    bool ok = true;
    switch (p.type) {
    case PropType::String:
    case PropType::Font:
        return Variant(q.toString().toStdString());
    case PropType::Bool: {
        const QString t = q.toString().toLower();
        if (q.typeId() == QMetaType::Bool || t == "true" || t == "false")
            return Variant(q.toBool());
        const int n = q.toInt(&ok);
        return ok ? Variant(n != 0) : Variant();
    }
    case PropType::Float:
    case PropType::Double: {
        const double d = q.toDouble(&ok);
        return ok ? typed(p, d) : Variant();
    }
    default: {
        const qlonglong n = q.toLongLong(&ok);
        if (!ok || n < INT32_MIN || n > UINT32_MAX) return Variant();
        return Variant(int(int32_t(uint32_t(n))));
    }
    }
}

} // namespace

CPlotrane2DCtrl::CPlotrane2DCtrl(QWidget* parent, int renderStartDelayMs, int antiAliasQuietMs)
    : QWidget(parent), m_view(std::make_unique<aglGraphView>()) {
    for (const PropertyInfo& p : kProperties)
        m_values[p.dispid] = defaultValue(p);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);          // moves without a button: hover tips
    setFocusPolicy(Qt::StrongFocus); // arrow keys move the cursor

    // Events reach the host as signals, always on this thread: the view calls
    // its handlers from tick() only.
    m_view->setFltrPassHandler([this](int level, int component, double lo, double hi) {
        emit FltrPass(int16_t(level), int16_t(component), lo, hi);
    });
    m_view->setRndrPassHandler(
        [this](float seconds, int mode, int resolution, int pass, bool complete, int reserved) {
            emit RndrPass(seconds, mode, resolution, pass, complete, reserved);
        });
    // The render thread publishes each frame; the widget only queues a
    // repaint with it (the queued call is dropped when the widget is gone).
    m_view->Context().SetFrameSink([this](const QImage& frame) {
        {
            std::lock_guard<std::mutex> lock(m_frameMutex);
            m_pendingFrame = frame;
        }
        QMetaObject::invokeMethod(this, "takePendingFrame", Qt::QueuedConnection);
    });
    // The clipboard is not thread-safe: the render thread hands the picture
    // over and this thread puts it on the clipboard.
    m_view->Context().SetClipboardSink([this](const QImage& picture) {
        {
            std::lock_guard<std::mutex> lock(m_frameMutex);
            m_pendingClipboard = picture;
        }
        QMetaObject::invokeMethod(this, "takePendingClipboard", Qt::QueuedConnection);
    });
    // The picture writer reports from the render and writer threads; the
    // report reaches the host on this thread, in order.
    m_writer = std::make_unique<aglMetaFileWriter>();
    m_writer->SetStatusSink([this](int status) {
        QMetaObject::invokeMethod(this, "writerStatus", Qt::QueuedConnection, Q_ARG(int, status));
    });
    m_view->Context().SetCaptureWriter(m_writer.get());
    m_view->setPassDoneHandler(
        [this] { QMetaObject::invokeMethod(this, "stepLevels", Qt::QueuedConnection); });
    m_view->Context().SetTimings(std::max(0, renderStartDelayMs), std::max(0, antiAliasQuietMs));
    m_view->Attach(true);
    m_view->Resize(std::max(1, width()), std::max(1, height()));
    syncEngine();

    // The one-second timer drives level-of-detail steps, cycling and tips.
    connect(&m_timer, &QTimer::timeout, this, &CPlotrane2DCtrl::tick);
    m_timer.start(1000);
    m_stepTimer.setSingleShot(true);
    connect(&m_stepTimer, &QTimer::timeout, this, &CPlotrane2DCtrl::stepLevels);
}

CPlotrane2DCtrl::~CPlotrane2DCtrl() {
    m_timer.stop();
    m_stepTimer.stop();
    // Both threads stop before anything they use goes.
    m_writer->SetStatusSink(nullptr);
    m_view->Detach();
    m_writer->Stop(); // a picture still being written fails
    m_view->Context().SetCaptureWriter(nullptr);
    m_view->Context().SetFrameSink(nullptr);
    m_view->Context().SetClipboardSink(nullptr);
}

aglGraphData& CPlotrane2DCtrl::graphData() {
    return *m_view;
}

bool CPlotrane2DCtrl::waitForPasses(int timeoutMs) {
    return m_view->waitForFilter(timeoutMs);
}

// --- Dispatch ---------------------------------------------------------------

Variant CPlotrane2DCtrl::GetProperty(int dispid) {
    const PropertyInfo* p = anyPropertyInfo(dispid);
    return p ? property(*p) : Variant();
}

DispatchStatus CPlotrane2DCtrl::SetProperty(int dispid, const Variant& value) {
    const PropertyInfo* p = anyPropertyInfo(dispid);
    if (!p) return {kSetNotSupported, "Unknown property"};
    return setProperty(*p, value);
}

Variant CPlotrane2DCtrl::property(const PropertyInfo& p) {
    switch (p.dispid) {
    case DISPID_BackColor:
        return Variant(uint32_t(m_backColor));
    case DISPID_hWnd:
        return Variant(int(int32_t(internalWinId())));
    case DISPID_AxisFont:
        return Variant(m_fonts[0].family);
    case DISPID_AxisLabelFont:
        return Variant(m_fonts[1].family);
    case DISPID_Row: // the cursor, not the pending value
        return Variant(int(cursorRow()));
    case DISPID_Col:
        return Variant(int(cursorColumn()));
    default:
        break;
    }
    if (p.has(kLive)) return readLive(p);
    if (p.has(kDiscarded)) return defaultValue(p);
    return stored(p);
}

Variant CPlotrane2DCtrl::stored(const PropertyInfo& p) const {
    return p.dispid >= 1 && p.dispid <= kPropertyCount ? m_values[p.dispid] : Variant();
}

DispatchStatus CPlotrane2DCtrl::setProperty(const PropertyInfo& p, const Variant& value) {
    return write(p, value, false);
}

DispatchStatus CPlotrane2DCtrl::write(const PropertyInfo& p, const Variant& v, bool loading) {
    if (p.has(kReadOnly)) return {kSetNotSupported, "Property is read-only"};
    if (p.has(kIgnored)) return {};
    // Values the control only reports: a stored set may carry any of them.
    if (loading && p.has(kLoadUnchecked)) return {};

    Variant next;
    if (p.isNumeric()) {
        if (v.type() == Variant::Type::String || v.isEmpty()) return {13, "Type mismatch"};
        const double d = p.isFloating() ? v.toDouble() : double(v.toInt());
        if (p.type == PropType::Short && (d < INT16_MIN || d > INT16_MAX)) return {6, "Overflow"};
        const CheckResult r = checkValue(p, d);
        if (r.messageId) return refuse(r.messageId);
        if (!r.applies) return {};
        next = typed(p, d);
    } else {
        if (v.type() != Variant::Type::String && !v.isEmpty()) return {13, "Type mismatch"};
        next = Variant(v.toString());
    }
    if (p.has(kDiscarded)) {
        if (p.has(kMarksWhenDiscarded)) changed(p);
        return {};
    }
    if (p.dispid == DISPID_AxisFont || p.dispid == DISPID_AxisLabelFont) {
        PlotraneFont f = m_fonts[p.dispid == DISPID_AxisFont ? 0 : 1];
        f.family = next.toString();
        p.dispid == DISPID_AxisFont ? setAxisFont(f) : setAxisLabelFont(f);
        return {};
    }
    if (p.dispid == DISPID_AxisFontName) {
        // The face of both axis fonts, sizes and weights kept; written again
        // whatever it read, since either font may have another face by now.
        const bool renamed = !(m_values[p.dispid] == next);
        m_values[p.dispid] = next;
        PlotraneFont numbers = m_fonts[0], titles = m_fonts[1];
        numbers.family = titles.family = next.toString();
        setAxisFont(numbers);
        setAxisLabelFont(titles);
        if (renamed) changed(p);
        return {};
    }
    if (p.dispid == DISPID_BackColor) {
        if (uint32_t(next.toInt()) == m_backColor) return {};
        m_backColor = uint32_t(next.toInt());
        applyRender(p);
        changed(p);
        return {};
    }
    // A write of the current value does nothing, except a name: binding it
    // again takes up what the file or block holds now (a rewritten file).
    if (p.dispid != DISPID_FileName && property(p) == next) return {};
    if (!forwardToEngine(p, next)) return {};
    if (!p.has(kLive)) m_values[p.dispid] = next;
    applyRender(p);
    changed(p);
    return {};
}

void CPlotrane2DCtrl::changed(const PropertyInfo& p) {
    m_modified = true;
    ++m_changeCount;
    if (!p.has(kNoRedraw)) redraw();
    emit PropertyChanged(int32_t(p.dispid));
}

void CPlotrane2DCtrl::redraw() {
    m_view->Context().Redraw(false);
    QWidget::update();
}

bool CPlotrane2DCtrl::validDim(int d) const {
    return d >= 0 && d <= kMaxDimIndex && d < m_view->array().dimCount();
}

// What the data side (and through it the filter thread) and the camera must
// know, and the properties read back live from them. False when the engine
// does not take the value (nothing changed, no error: a refused name, a
// dimension the array lacks, a range end that would cross the other).
bool CPlotrane2DCtrl::forwardToEngine(const PropertyInfo& p, const Variant& v) {
    aglGraphView& d = *m_view;
    const int axis = clampAxisOf(p.dispid);
    if (axis >= 0 || p.dispid == DISPID_PaletteMinVal || p.dispid == DISPID_PaletteMaxVal) {
        // One end written, the other kept: a value that would cross the other
        // end is not applied (setAxisClamp / setPaletteRange move both).
        const double other = property(*propertyInfo(otherEnd(p.dispid))).toDouble();
        const double lo = isMinimumEnd(p.dispid) ? v.toDouble() : other;
        const double hi = isMinimumEnd(p.dispid) ? other : v.toDouble();
        if (hi < lo) return false;
        if (axis >= 0)
            d.setAxisClamp(axis, lo, hi);
        else
            d.setPaletteRange(lo, hi);
        return true;
    }
    int32_t c0, r0, nc, nr;
    switch (p.dispid) {
    case DISPID_FileName: {
        // A refused name changes nothing and raises nothing.
        const bool bound = d.setFileName(v.toString());
        m_dataBound = m_dataBound || bound; // selections start with the first binding
        return bound;
    }
    case DISPID_ShowDataTip:
        if (!v.toBool()) removeTip();
        return true;
    case DISPID_RowDim:
        if (!validDim(v.toInt())) return false;
        d.setRowDimension(v.toInt());
        return true;
    case DISPID_ColDim:
        if (!validDim(v.toInt())) return false;
        d.setColumnDimension(v.toInt());
        return true;
    case DISPID_ColumnStart:
    case DISPID_RowStart:
    case DISPID_NumColumns:
    case DISPID_NumRows:
        d.planeWindow(c0, r0, nc, nr);
        (p.dispid == DISPID_ColumnStart  ? c0
         : p.dispid == DISPID_RowStart   ? r0
         : p.dispid == DISPID_NumColumns ? nc
                                         : nr) = v.toInt();
        d.setPlaneWindow(c0, r0, nc, nr);
        return true;
    case DISPID_Resolution:
        d.setResolution(v.toInt());
        return true;
    case DISPID_ResolutionAutoAdjust:
        d.setResolutionAutoAdjust(v.toBool());
        return true;
    case DISPID_AxisAutoScale:
        d.setAxisAutoScale(v.toBool());
        return true;
    case DISPID_DataClamp:
        d.setDataClamp(v.toBool());
        return true;
    case DISPID_PaletteAutoAdjust:
        d.setPaletteAutoAdjust(v.toBool());
        return true;
    case DISPID_GraphType:
        // New graph objects: they take every display setting again.
        d.setGraphType(v.toInt(), true);
        m_values[p.dispid] = v;
        syncGraphObjects();
        return true;
    case DISPID_XComp:
        d.setComponent(0, v.toInt());
        return true;
    case DISPID_YComp:
        d.setComponent(1, v.toInt());
        return true;
    case DISPID_ZComp:
        d.setComponent(2, v.toInt());
        return true;
    case DISPID_WComp:
        d.setComponent(3, v.toInt());
        return true;
    case DISPID_XScale:
    case DISPID_YScale:
    case DISPID_ZScale: {
        double s[3];
        d.axisScales(s[0], s[1], s[2]);
        s[p.dispid - DISPID_XScale] = v.toFloat();
        d.setAxisScales(s[0], s[1], s[2]);
        return true;
    }
    case DISPID_CamXPos:
    case DISPID_CamYPos:
    case DISPID_CamZPos: {
        float eye[3];
        d.Camera().GetPosition(&eye[0], &eye[1], &eye[2]);
        eye[p.dispid - DISPID_CamXPos] = v.toFloat();
        d.pauseRenderThread();
        d.Camera().SetPosition(eye[0], eye[1], eye[2]);
        d.wakeRenderThread();
        return true;
    }
    case DISPID_CamXCoi:
    case DISPID_CamYCoi:
    case DISPID_CamZCoi: {
        float c[3];
        d.Camera().GetCenter(&c[0], &c[1], &c[2]);
        c[p.dispid - DISPID_CamXCoi] = v.toFloat();
        d.pauseRenderThread();
        d.Camera().SetCenter(c[0], c[1], c[2]);
        d.wakeRenderThread();
        return true;
    }
    case DISPID_CamDistance:
    case DISPID_CamElevation:
    case DISPID_CamAzimuth:
        d.pauseRenderThread();
        if (p.dispid == DISPID_CamDistance) d.Camera().SetDistance(v.toFloat());
        if (p.dispid == DISPID_CamElevation) d.Camera().SetElevation(v.toFloat());
        if (p.dispid == DISPID_CamAzimuth) d.Camera().SetAzimuth(v.toFloat());
        d.wakeRenderThread();
        return true;
    case DISPID_PaletteFileName:
        // The custom table is shown while PaletteId is 0 (at once when it
        // already is); switching here behind PaletteId would leave the
        // property naming a palette the picture no longer shows.
        d.pauseRenderThread();
        d.paletteBar().LoadCustomPalette(v.toString());
        d.wakeRenderThread();
        return true;
    case DISPID_NumXGridLines:
    case DISPID_NumYGridLines: {
        // Taken only while the density does not set the grid lines.
        if (d.gridDensityAutoAdjust()) return false;
        int x = 1, y = 1;
        d.gridLines(x, y);
        (p.dispid == DISPID_NumXGridLines ? x : y) = v.toInt();
        d.setGridLines(x, y);
        return true;
    }
    default:
        return true;
    }
}

int CPlotrane2DCtrl::currentLevel() const {
    if (m_view->graphType() == value(GraphType::Plain)) return kNoLevel;
    return m_view->currentLevel();
}

Variant CPlotrane2DCtrl::readLive(const PropertyInfo& p) {
    aglGraphView& d = *m_view;
    int32_t c0, r0, nc, nr;
    d.planeWindow(c0, r0, nc, nr);
    double lo = 0, hi = 0;
    const int axis = clampAxisOf(p.dispid);
    if (axis >= 0) {
        d.axisClamp(axis, lo, hi);
        return Variant(isMinimumEnd(p.dispid) ? lo : hi);
    }
    switch (p.dispid) {
    case DISPID_PaletteMinVal:
    case DISPID_PaletteMaxVal:
        d.paletteRange(lo, hi);
        return Variant(p.dispid == DISPID_PaletteMinVal ? lo : hi);
    case DISPID_Resolution:
        return Variant(int(d.currentResolution()));
    case DISPID_ColumnStart:
        return Variant(int(c0));
    case DISPID_RowStart:
        return Variant(int(r0));
    case DISPID_NumColumns:
        return Variant(int(nc));
    case DISPID_NumRows:
        return Variant(int(nr));
    case DISPID_DataElementSize:
        return Variant(int16_t(d.elementSize()));
    case DISPID_DataCellSize:
        return Variant(int(d.cellSize()));
    case DISPID_DataOffset:
        return Variant(int(currentLevel()));
    case DISPID_RowDim:
        return Variant(int(d.rowDimension()));
    case DISPID_ColDim:
        return Variant(int(d.columnDimension()));
    case DISPID_CamXPos:
    case DISPID_CamYPos:
    case DISPID_CamZPos: {
        float eye[3];
        d.Camera().GetPosition(&eye[0], &eye[1], &eye[2]);
        return Variant(eye[p.dispid - DISPID_CamXPos]);
    }
    case DISPID_CamXCoi:
    case DISPID_CamYCoi:
    case DISPID_CamZCoi: {
        float c[3];
        d.Camera().GetCenter(&c[0], &c[1], &c[2]);
        return Variant(c[p.dispid - DISPID_CamXCoi]);
    }
    case DISPID_CamDistance:
        return Variant(d.Camera().Distance());
    case DISPID_CamElevation:
        return Variant(d.Camera().Elevation());
    case DISPID_CamAzimuth:
        return Variant(d.Camera().Azimuth());
    case DISPID_GLVersion:
        return Variant(d.Context().GLVersion());
    case DISPID_GLRenderer:
        return Variant(d.Context().GLRenderer());
    case DISPID_GLVendor:
        return Variant(d.Context().GLVendor());
    case DISPID_GLExtensions:
        return Variant(d.Context().GLExtensions());
    case DISPID_MetaFileStatus:
        return Variant(int16_t(metaFileStatus()));
    case DISPID_MetaFile:
        return Variant(metaFile());
    default:
        return defaultValue(p); // PaletteFileName reads empty
    }
}

// The display settings of the three graph objects, from the stored values.
// The render thread is paused around the change.
void CPlotrane2DCtrl::syncGraphObjects() {
    const auto num = [&](int dispid) { return m_values[dispid].toDouble(); };
    const auto on = [&](int dispid) { return m_values[dispid].toBool(); };
    float graph[3], grid[3], cursor[3];
    colour(uint32_t(m_values[DISPID_GraphColor].toInt()), graph);
    colour(uint32_t(m_values[DISPID_GridColor].toInt()), grid);
    colour(uint32_t(m_values[DISPID_CursorColor].toInt()), cursor);
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
    }
    m_view->wakeRenderThread();
}

// The axis properties and the dimensions' tick values to the axis layout.
void CPlotrane2DCtrl::syncAxisRequest() {
    aglGraphView::AxisRequest r;
    r.autoDetail = m_values[DISPID_AxisAutoDetail].toBool();
    r.fontAutoScale = m_values[DISPID_FontAutoScale].toBool();
    r.useScales = m_values[DISPID_UseAxisScales].toBool();
    for (int k = 0; k < 3; ++k) {
        r.requestedMajor[k] = m_values[DISPID_XNumMajorTickmarks + k].toInt();
        r.requestedMinor[k] = m_values[DISPID_XNumMinorTickmarks + k].toInt();
    }
    for (size_t d = 0; d < m_dimScales.size(); ++d)
        r.scale[d] = m_dimScales[d];
    m_view->setAxisRequest(r);
}

// Every stored display setting to the engine, as at creation.
void CPlotrane2DCtrl::syncEngine() {
    syncGraphObjects();
    syncAxisRequest();
    for (const PropertyInfo& p : kProperties)
        if (!p.has(kLive) && !p.has(kDiscarded)) applyRender(p);
    applyRender(kStockProperties[0]);
}

// The one place the render side hears of a changed display property.
void CPlotrane2DCtrl::applyRender(const PropertyInfo& p) {
    aglGraphView& v = *m_view;
    const bool inTable = p.dispid >= 1 && p.dispid <= kPropertyCount;
    const Variant& value = m_values[inTable ? p.dispid : 0];
    float rgb[3];
    switch (p.dispid) {
    case DISPID_GraphStyle:
    case DISPID_CacheBehavior:
    case DISPID_Depthcue:
    case DISPID_Shading:
    case DISPID_ShowGrid:
    case DISPID_HiddenLine:
    case DISPID_TextureMode:
    case DISPID_ShowCursor:
    case DISPID_BarChartArea:
    case DISPID_UseColorPalette:
    case DISPID_Lighting:
    case DISPID_LineWidth:
    case DISPID_PointSize:
    case DISPID_GraphColor:
    case DISPID_GridColor:
    case DISPID_CursorColor:
    case DISPID_CursorTransparency:
        syncGraphObjects();
        return;
    case DISPID_AxisAutoDetail:
    case DISPID_FontAutoScale:
    case DISPID_UseAxisScales:
    case DISPID_XNumMajorTickmarks:
    case DISPID_YNumMajorTickmarks:
    case DISPID_ZNumMajorTickmarks:
    case DISPID_XNumMinorTickmarks:
    case DISPID_YNumMinorTickmarks:
    case DISPID_ZNumMinorTickmarks:
        syncAxisRequest();
        return;
    case DISPID_LineSmooth:
        v.setLineSmooth(value.toBool());
        return;
    case DISPID_ShowPalette:
        v.setShowPalette(value.toBool());
        markCursorValue();
        return;
    case DISPID_GridDensity:
        v.setGridDensity(value.toFloat());
        return;
    case DISPID_GridDensityAutoAdjust:
        v.setGridDensityAutoAdjust(value.toBool());
        return;
    case DISPID_ViewerMode:
        v.SetMouseMode(value.toInt());
        return;
    case DISPID_BackColor:
    case DISPID_HighLight:
    case DISPID_OrthographicProj:
    case DISPID_FixedAspect:
    case DISPID_CamViewType:
    case DISPID_PaletteId:
    case DISPID_ShowPaletteLabels:
    case DISPID_ShowAxis:
    case DISPID_AxisStyle:
    case DISPID_AxisColor:
    case DISPID_AxisLabelColor:
    case DISPID_AxisBackColor:
    case DISPID_XAxisLabel:
    case DISPID_YAxisLabel:
    case DISPID_ZAxisLabel:
    case DISPID_AxisFont:
    case DISPID_AxisLabelFont:
    case DISPID_AxisFontName:
        break;
    default:
        return; // no render-side object takes it (yet)
    }
    v.pauseRenderThread();
    switch (p.dispid) {
    case DISPID_BackColor:
        colour(m_backColor, rgb);
        v.Context().SetBackground(rgb[0], rgb[1], rgb[2]);
        break;
    case DISPID_HighLight:
        v.Context().SetHighLight(value.toBool());
        break;
    case DISPID_OrthographicProj:
        v.Camera().SetOrthographic(value.toBool());
        break;
    case DISPID_FixedAspect:
        v.Camera().SetFixedAspect(value.toBool());
        break;
    case DISPID_CamViewType:
        v.Camera().SetViewType(value.toInt());
        break;
    case DISPID_PaletteId:
        v.paletteBar().SetPaletteId(value.toInt());
        break;
    case DISPID_ShowPaletteLabels:
        v.paletteBar().SetShowLabels(value.toBool());
        break;
    case DISPID_ShowAxis:
        v.axis().SetVisible(value.toBool());
        break;
    case DISPID_AxisStyle:
        v.axis().SetStyle(value.toInt());
        break;
    case DISPID_AxisColor:
        colour(uint32_t(value.toInt()), rgb);
        v.axis().SetColor(rgb[0], rgb[1], rgb[2]);
        break;
    case DISPID_AxisLabelColor:
        colour(uint32_t(value.toInt()), rgb);
        for (int a = 0; a < 3; ++a)
            v.axis().SetTitleColour(a, rgb[0], rgb[1], rgb[2]);
        break;
    case DISPID_AxisBackColor:
        colour(uint32_t(value.toInt()), rgb);
        v.axis().SetBackColour(rgb[0], rgb[1], rgb[2]);
        break;
    case DISPID_XAxisLabel:
    case DISPID_YAxisLabel:
    case DISPID_ZAxisLabel:
        v.axis().SetTitle(p.dispid - DISPID_XAxisLabel, value.toString());
        break;
    default: {
        // The axis fonts: heights in pixels at 96 dots per inch, bold is 700.
        const auto px = [](const PlotraneFont& f) {
            return int(std::lround(f.points * 96.0 / 72.0));
        };
        const PlotraneFont& n = m_fonts[0];
        const PlotraneFont& t = m_fonts[1];
        v.axis().SetNumberFontByName(n.family, px(n), n.bold ? 700 : 400, false);
        v.axis().SetTitleFontByName(t.family, px(t), t.bold ? 700 : 400, false);
        break;
    }
    }
    v.wakeRenderThread();
}

// --- Typed setters ----------------------------------------------------------

void CPlotrane2DCtrl::setAxisFont(const PlotraneFont& f) {
    if (f == m_fonts[0]) return;
    m_fonts[0] = f;
    applyRender(*propertyInfo(DISPID_AxisFont));
    changed(*propertyInfo(DISPID_AxisFont));
}

void CPlotrane2DCtrl::setAxisLabelFont(const PlotraneFont& f) {
    if (f == m_fonts[1]) return;
    m_fonts[1] = f;
    applyRender(*propertyInfo(DISPID_AxisLabelFont));
    changed(*propertyInfo(DISPID_AxisLabelFont));
}

void CPlotrane2DCtrl::setAxisClamp(int axis, double minimum, double maximum) {
    if (axis < 0 || axis > 2 || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    if (maximum < minimum) return;
    m_view->setAxisClamp(axis, minimum, maximum);
    m_modified = true;
}

void CPlotrane2DCtrl::setPaletteRange(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) return;
    m_view->setPaletteRange(minimum, maximum);
    m_modified = true;
    redraw();
}

void* CPlotrane2DCtrl::allocateData(int64_t byteCount) {
    return byteCount > 0 ? m_view->allocate(byteCount) : nullptr;
}

int CPlotrane2DCtrl::reshapeData(std::span<const int32_t> extents, int typeCode) {
    if (extents.empty() || extents.size() > size_t(kMaxDimIndex + 1)) return -1;
    return m_view->reshape(int(extents.size()), extents.data(), typeCode);
}

std::shared_ptr<const aglSegment> CPlotrane2DCtrl::dimensionScale(int dim) const {
    return dim >= 0 && dim <= kMaxDimIndex ? m_dimScales[size_t(dim)] : nullptr;
}

// --- Methods ----------------------------------------------------------------

Variant CPlotrane2DCtrl::Invoke(int dispid, const std::vector<Variant>& args) {
    const auto arg = [&](size_t k) { return k < args.size() ? args[k] : Variant(); };
    const auto dimArg = [&]() {
        const Variant a = arg(0);
        return a.isEmpty() ? -1 : a.toInt();
    };
    switch (dispid) {
    case DISPID_GetFrameRate:
        return Variant(m_view->GetFrameRate());
    case DISPID_Spin:
        m_view->ToggleSpin();
        return {};
    case DISPID_Cycle:
        cycle(arg(0).toDouble());
        return {};
    case DISPID_Update:
        update();
        return {};
    case DISPID_SetHomePosition:
        m_view->Camera().SaveHome();
        return {};
    case DISPID_ToHomePosition:
        m_view->pauseRenderThread();
        m_view->Camera().RestoreHome();
        m_view->wakeRenderThread();
        m_modified = true;
        redraw();
        return {};
    case DISPID_SetRoiLb:
    case DISPID_SetRoiUb: {
        const int d = dimArg();
        if (!validDim(d) || args.size() < 2) return {};
        const int32_t before = dispid == DISPID_SetRoiLb ? m_view->roiLow(d) : m_view->roiHigh(d);
        if (dispid == DISPID_SetRoiLb)
            m_view->setRoiLow(d, arg(1).toInt());
        else
            m_view->setRoiHigh(d, arg(1).toInt());
        const int32_t after = dispid == DISPID_SetRoiLb ? m_view->roiLow(d) : m_view->roiHigh(d);
        if (after != before) m_modified = true;
        return {};
    }
    case DISPID_GetRoiLb:
    case DISPID_GetRoiUb: {
        const int d = dimArg();
        if (!validDim(d)) return Variant(0);
        return Variant(int(dispid == DISPID_GetRoiLb ? m_view->roiLow(d) : m_view->roiHigh(d)));
    }
    // Addresses never cross the dispatch interface: a long cannot hold one
    // here. In-process hosts use allocateData() and reshapeData().
    case DISPID_Malloc:
        return Variant(0);
    case DISPID_Free:
        m_view->release();
        return {};
    case DISPID_Reshape: {
        // (dimension count, extent 1, ..., extent n, type code)
        const int n = arg(0).toInt();
        if (n < 1 || n > kMaxDimIndex + 1 || args.size() != size_t(n) + 2) return Variant(-1);
        int32_t extents[kMaxDimIndex + 1];
        for (int k = 0; k < n; ++k)
            extents[k] = args[size_t(k) + 1].toInt();
        return Variant(
            reshapeData(std::span<const int32_t>(extents, size_t(n)), args.back().toInt()));
    }
    case DISPID_SetIndexColor:
        return {};
    case DISPID_GetIndexColor:
        return Variant(0);
    case DISPID_SetLBound: {
        const int d = dimArg();
        if (validDim(d) && args.size() >= 2) m_view->setLowerBound(d, arg(1).toInt());
        return {};
    }
    case DISPID_GetLBound: {
        const int d = dimArg();
        return Variant(validDim(d) ? int(m_view->lowerBound(d)) : 0);
    }
    case DISPID_SetAxisScale: {
        // FALSE, and the dimension's scale removed, unless the dimension is
        // 0..6 and the name opens as a one-dimensional array.
        const int d = dimArg();
        if (d < 0 || d > kMaxDimIndex) return Variant(false);
        auto segment = std::make_shared<aglSegment>();
        const bool ok = args.size() >= 2 && args[1].type() == Variant::Type::String &&
                        segment->open(args[1].toString(), true) && segment->dimCount() == 1;
        m_dimScales[size_t(d)] = ok ? std::move(segment) : nullptr;
        syncAxisRequest();
        m_modified = true;
        QWidget::update();
        return Variant(ok);
    }
    case DISPID_SetCustomPalette:
        return Variant(true);
    case DISPID_CreateMetaFile: {
        bool accepted = false;
        const DispatchStatus status =
            createMetaFile(arg(0).toInt(), arg(1).toInt(), false, &accepted);
        return Variant(status.ok() && accepted);
    }
    case DISPID_SetAxisClamp:
    case DISPID_SetPaletteRange: {
        const bool axisPair = dispid == DISPID_SetAxisClamp;
        const size_t first = axisPair ? 1 : 0;
        const int axis = axisPair ? arg(0).toInt() : 0;
        const double lo = arg(first).toDouble();
        const double hi = arg(first + 1).toDouble();
        if (args.size() < first + 2 || axis < 0 || axis > 2 || !std::isfinite(lo) ||
            !std::isfinite(hi) || hi < lo)
            return Variant(false);
        if (axisPair)
            setAxisClamp(axis, lo, hi);
        else
            setPaletteRange(lo, hi);
        return Variant(true);
    }
    case DISPID_AboutBox:
        showAboutBox();
        return {};
    default:
        return {};
    }
}

void CPlotrane2DCtrl::update() {
    ++m_changeCount;
    // The filter thread resamples; the tick reports the passes (FltrPass)
    // and steps the levels.
    m_view->update();
    markCursorValue(); // the cursor's element may hold another value now
    m_modified = true;
    redraw();
}

void CPlotrane2DCtrl::cycle(double seconds) {
    // Seconds > 0 turn cycling on at that period, kept within 10 ms (a
    // shorter period would tick on every pass of the event loop and starve
    // the user interface) and the longest period the timer takes; anything
    // else (0, negative, not a number, infinite) turns it off and ticks
    // every 0.1 s.
    if (seconds > 0.0 && std::isfinite(seconds)) {
        m_cycling = true;
        const double ms = std::floor(seconds * 1000.0);
        m_timer.setInterval(int(std::clamp(ms, 10.0, double(INT_MAX))));
    } else {
        m_cycling = false;
        m_timer.setInterval(100);
    }
}

void CPlotrane2DCtrl::tick() {
    if (m_values[DISPID_GraphType].toInt() == value(GraphType::Plain)) return;
    m_view->setEventsFrozen(m_eventsFrozen);
    m_view->tick(restLeftMs() == 0);
    if (m_cycling) {
        m_modified = true;
        redraw();
    }
    hoverTick();
}

// --- Frames -----------------------------------------------------------------

QImage CPlotrane2DCtrl::currentFrame() const {
    return m_frame;
}

void CPlotrane2DCtrl::takePendingFrame() {
    QImage frame;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        frame.swap(m_pendingFrame);
    }
    if (!frame.isNull()) showFrame(frame);
    stepLevels();
}

void CPlotrane2DCtrl::stepLevels() {
    // The timer's tick still steps too; this only brings the steps forward.
    // While the picture moves (a drag, spinning) the tick alone decides.
    if (m_values[DISPID_GraphType].toInt() == value(GraphType::Plain)) return;
    aglRenderContext& context = m_view->Context();
    if (m_view->SpinMode() || context.Command() != ThreadCommand::Run) return;
    if (!m_view->levelsSettled()) {
        if (const int rest = restLeftMs(); rest > 0) {
            m_stepTimer.start(rest);
            return;
        }
        m_view->setEventsFrozen(m_eventsFrozen);
        m_view->tick();
    }
    // The tick steps only while the render thread rests, and the thread
    // counts a frame only after handing it over: while it is still busy,
    // look again shortly. A level still being filtered calls back itself.
    if (context.State() == ThreadState::Busy) m_stepTimer.start(kStepRetryMs);
}

int CPlotrane2DCtrl::restLeftMs() const {
    if (!m_sinceInteraction.isValid()) return 0;
    return int(std::max<qint64>(0, kInteractionRestMs - m_sinceInteraction.elapsed()));
}

void CPlotrane2DCtrl::showFrame(const QImage& frame) {
    m_frame = frame;
    m_frameArrived = true;
    QWidget::update();
}

void CPlotrane2DCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_view->Resize(std::max(1, width()), std::max(1, height()));
}

void CPlotrane2DCtrl::paintEvent(QPaintEvent*) {
    applyPendingCursor(); // Row and Col written since the last paint
    // The render thread draws the graph; a paint only brings it up to date.
    // A paint that just shows a frame the render thread published does no
    // more: a step or a redraw from it would publish the next frame, whose
    // paint would ask again, without end (and the finest level would never
    // stay). Paints for any other reason (the window system exposing the
    // control, the host or a setting invalidating it) redraw, and at the
    // finest level step back to level 1, which answers sooner; the ticks
    // step up again. A paint for both reasons at once counts as a frame's.
    if (!std::exchange(m_frameArrived, false)) {
        if (m_values[DISPID_GraphType].toInt() != value(GraphType::Plain) &&
            m_view->currentLevel() == 2) {
            m_view->markFramesSeen();
            m_view->stepLevel(1);
        } else {
            m_view->Redraw(false);
        }
    }
    QPainter painter(this);
    const uint32_t c = m_backColor;
    const QColor back(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    // Only what the frame leaves uncovered gets the background: filling the
    // whole control first costs as much again as the frame on every paint.
    QRegion uncovered(rect());
    if (!m_frame.isNull()) {
        painter.drawImage(0, 0, m_frame);
        uncovered -= QRect(QPoint(0, 0), m_frame.size());
    }
    for (const QRect& r : uncovered)
        painter.fillRect(r, back);
}

// --- Property pages and About box -------------------------------------------

// The modal windows are the control's children on the heap: a host that
// destroys the control while one is open (an automation call, a closed
// document) takes the window with it, and exec() returns without touching
// the control again.
bool CPlotrane2DCtrl::showPropertyPages() {
    QPointer<CPlotrane2DPropertySheet> sheet = new CPlotrane2DPropertySheet(*this, this);
    const bool ok = sheet->exec() == QDialog::Accepted;
    delete sheet.data(); // null when it went with the control
    return ok;
}

void CPlotrane2DCtrl::showAboutBox() {
    QPointer<CPlotrane2DAboutBox> about = new CPlotrane2DAboutBox(this);
    about->exec();
    delete about.data();
}

// --- Persistence ------------------------------------------------------------

namespace {
constexpr const char* kVersionKey = "Version";
constexpr const char* kVersion = "1.0";

QVariantMap fontMap(const PlotraneFont& f) {
    return {{"Family", QString::fromStdString(f.family)}, {"Size", f.points}, {"Bold", f.bold}};
}
} // namespace

void CPlotrane2DCtrl::saveProperties(QVariantMap& bag) {
    bag[kVersionKey] = kVersion;
    bag["BackColor"] = int(int32_t(m_backColor));
    for (int i = 0; i < kPropertyCount; ++i) {
        const PropertyInfo& p = *propertyInfo(persistedDispid(i));
        if (!p.persistKey || p.has(kNotPersisted)) continue;
        const QString key = p.persistKey;
        if (p.type == PropType::Font) {
            bag[key] = fontMap(m_fonts[p.dispid == DISPID_AxisFont ? 0 : 1]);
        } else if (p.dispid == DISPID_Resolution) {
            bag[key] = m_view->fixedResolution(); // the stored value, not the live reading
        } else {
            bag[key] = toQVariant(p, property(p));
        }
    }
}

void CPlotrane2DCtrl::saveProperties(QSettings& settings) {
    QVariantMap bag;
    saveProperties(bag);
    for (auto it = bag.cbegin(); it != bag.cend(); ++it) {
        if (it.value().typeId() == QMetaType::QVariantMap) {
            settings.beginGroup(it.key());
            const QVariantMap sub = it.value().toMap();
            for (auto s = sub.cbegin(); s != sub.cend(); ++s)
                settings.setValue(s.key(), s.value());
            settings.endGroup();
        } else {
            settings.setValue(it.key(), it.value());
        }
    }
}

DispatchStatus CPlotrane2DCtrl::loadProperties(const QVariantMap& bag) {
    const auto mismatch = [](const char* key) {
        return DispatchStatus{13, std::string("Type mismatch: ") + key};
    };
    if (bag.contains("BackColor")) {
        const Variant v = fromQVariant(kStockProperties[0], bag["BackColor"]);
        if (v.isEmpty()) return mismatch("BackColor");
        if (DispatchStatus s = write(kStockProperties[0], v, true); !s.ok()) return s;
    }
    bool pairDone[kPropertyCount + 1] = {};
    for (int i = 0; i < kPropertyCount; ++i) {
        const PropertyInfo& p = *propertyInfo(persistedDispid(i));
        if (!p.persistKey || p.has(kNotPersisted) || p.has(kDroppedOnLoad)) continue;
        if (pairDone[p.dispid] || !bag.contains(p.persistKey)) continue;
        const QVariant q = bag[p.persistKey];
        if (p.type == PropType::Font) {
            const QVariantMap m = q.toMap();
            PlotraneFont f;
            bool okSize = true;
            f.family = m.value("Family", QString(kDefaultFontFace)).toString().toStdString();
            f.points = m.value("Size", kDefaultFontPoints).toDouble(&okSize);
            f.bold = m.value("Bold", kDefaultFontBold).toBool();
            if (!okSize || !(f.points > 0.0 && f.points < 1000.0)) return mismatch(p.persistKey);
            p.dispid == DISPID_AxisFont ? setAxisFont(f) : setAxisLabelFont(f);
            continue;
        }
        const Variant v = fromQVariant(p, q);
        if (v.isEmpty()) {
            if (p.has(kLoadUnchecked)) continue;
            return mismatch(p.persistKey);
        }
        // Both ends of a range move together, so that a stored range loads
        // as it was saved wherever the current one lies.
        if (const int other = otherEnd(p.dispid);
            other && bag.contains(propertyInfo(other)->persistKey)) {
            const PropertyInfo& o = *propertyInfo(other);
            const Variant w = fromQVariant(o, bag[o.persistKey]);
            if (w.isEmpty()) return mismatch(o.persistKey);
            const double a = v.toDouble(), b = w.toDouble();
            if (!std::isfinite(a) || !std::isfinite(b)) return refuse(kMsgNotFinite);
            const double lo = isMinimumEnd(p.dispid) ? a : b;
            const double hi = isMinimumEnd(p.dispid) ? b : a;
            const int axis = clampAxisOf(p.dispid);
            if (axis >= 0)
                setAxisClamp(axis, lo, hi);
            else
                setPaletteRange(lo, hi);
            pairDone[other] = true;
            continue;
        }
        if (DispatchStatus s = write(p, v, true); !s.ok()) return s;
    }
    return {};
}

DispatchStatus CPlotrane2DCtrl::loadProperties(QSettings& settings) {
    QVariantMap bag;
    for (const QString& key : settings.childKeys())
        bag[key] = settings.value(key);
    for (const QString& group : settings.childGroups()) {
        settings.beginGroup(group);
        QVariantMap sub;
        for (const QString& key : settings.childKeys())
            sub[key] = settings.value(key);
        settings.endGroup();
        bag[group] = sub;
    }
    return loadProperties(bag);
}

// --- Factory ----------------------------------------------------------------

namespace plotrane {
ControlInstance createControl(std::string_view classId, QWidget* parent) {
    if (classId != kPlotrane2DClassId) return {};
    auto* control = new CPlotrane2DCtrl(parent);
    return {control, control};
}

namespace {
CPlotrane2DCtrl* asControl(QWidget* w) {
    return qobject_cast<CPlotrane2DCtrl*>(w);
}
const DispatchStatus kNotAControl{kSetNotSupported, "Not a Plotrane2D control"};
} // namespace

void saveProperties(QWidget* control, QVariantMap& bag) {
    if (CPlotrane2DCtrl* c = asControl(control)) c->saveProperties(bag);
}
void saveProperties(QWidget* control, QSettings& settings) {
    if (CPlotrane2DCtrl* c = asControl(control)) c->saveProperties(settings);
}
DispatchStatus loadProperties(QWidget* control, const QVariantMap& bag) {
    CPlotrane2DCtrl* c = asControl(control);
    return c ? c->loadProperties(bag) : kNotAControl;
}
DispatchStatus loadProperties(QWidget* control, QSettings& settings) {
    CPlotrane2DCtrl* c = asControl(control);
    return c ? c->loadProperties(settings) : kNotAControl;
}
bool showPropertyPages(QWidget* control) {
    CPlotrane2DCtrl* c = asControl(control);
    return c && c->showPropertyPages();
}
} // namespace plotrane

// --- Pictures --------------------------------------------------------------------

DispatchStatus CPlotrane2DCtrl::createMetaFile(int32_t width, int32_t height, bool pdf,
                                               bool* accepted) {
    if (accepted) *accepted = false;
    const bool clipboard = width == 0 && height == 0;
    if (!clipboard &&
        (width < 1 || height < 1 || width > kMaxMetaFileSize || height > kMaxMetaFileSize))
        return refuse(kMsgMetaFileSize);
    int gw = 0, gh = 0;
    graphArea(gw, gh);
    if (QWidget::width() < 1 || QWidget::height() < 1 || gw < 1 || gh < 1)
        return refuse(kMsgEmptyWindow);
    aglRenderContext& context = m_view->Context();
    // Without a render thread no frame would ever take the request.
    if (context.StartFailed()) return {};
    if (clipboard) {
        if (accepted) *accepted = context.RequestCapture(0, 0);
        context.Redraw(false);
        return {};
    }
    if (m_writer->IsBusy() || m_writer->IsCapturing() ||
        m_writer->Status() == aglMetaFileWriter::kRequested)
        return {}; // one picture at a time: ignored
    // The same picture of an unchanged graph: the last file is reused.
    float pos[3], coi[3];
    context.Camera().GetPosition(&pos[0], &pos[1], &pos[2]);
    context.Camera().GetCenter(&coi[0], &coi[1], &coi[2]);
    std::vector<double> key = {double(width),
                               double(height),
                               double(gw),
                               double(gh),
                               double(m_changeCount),
                               double(currentLevel()),
                               double(pdf),
                               pos[0],
                               pos[1],
                               pos[2],
                               coi[0],
                               coi[1],
                               coi[2]};
    const std::string last = m_writer->FileName();
    if (key == m_pictureKey && m_writer->Status() == aglMetaFileWriter::kComplete &&
        !last.empty() && QFileInfo::exists(QString::fromStdString(last))) {
        if (accepted) *accepted = true;
        m_reportedStatus = 0; // reported again, as for a new picture
        QMetaObject::invokeMethod(this, "writerStatus", Qt::QueuedConnection,
                                  Q_ARG(int, aglMetaFileWriter::kComplete));
        return {};
    }
    m_writer->SetFormat(pdf ? aglMetaFileWriter::Format::Pdf : aglMetaFileWriter::Format::Svg);
    if (!context.RequestCapture(width, height)) return {};
    m_pictureRequested = true;
    m_pictureKey = std::move(key);
    if (accepted) *accepted = true;
    context.Redraw(false);
    return {};
}

int CPlotrane2DCtrl::metaFileStatus() const {
    return m_pictureRequested ? m_writer->Status() : value(MetaFileStatus::NeverRequested);
}

std::string CPlotrane2DCtrl::metaFile() const {
    return m_writer->FileName();
}

void CPlotrane2DCtrl::setPictureFolder(const QString& folder) {
    m_writer->SetTempFolder(folder);
}

void CPlotrane2DCtrl::writerStatus(int status) {
    if (status == aglMetaFileWriter::kFailed || status == aglMetaFileWriter::kComplete) {
        // A failed picture is not reused.
        if (status == aglMetaFileWriter::kFailed) m_pictureKey.clear();
    }
    if (!m_pictureRequested || status == m_reportedStatus) return;
    m_reportedStatus = status;
    if (m_eventsFrozen || m_values[DISPID_GraphType].toInt() == value(GraphType::Plain)) return;
    emit MetafileUpdate(int16_t(status), 0);
}

void CPlotrane2DCtrl::takePendingClipboard() {
    QImage picture;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        picture.swap(m_pendingClipboard);
    }
    if (picture.isNull()) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture);
}
