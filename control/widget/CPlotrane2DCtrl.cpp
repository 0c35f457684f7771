#include "CPlotrane2DCtrl.h"

#include <QMessageBox>
#include <QPainter>
#include <QSettings>
#include <cmath>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglGraphData.h"
#include "aglSegment.h"

using namespace plotrane;

namespace {

constexpr double kDegrees = 3.14159265358979323846 / 180.0;

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

CPlotrane2DCtrl::CPlotrane2DCtrl(QWidget* parent)
    : QWidget(parent), m_data(std::make_unique<aglGraphData>()) {
    for (const PropertyInfo& p : kProperties)
        m_values[p.dispid] = defaultValue(p);
    m_data->setGraphType(value(GraphType::HeightPlot));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The one-second timer drives level-of-detail steps, cycling and tips.
    connect(&m_timer, &QTimer::timeout, this, &CPlotrane2DCtrl::tick);
    m_timer.start(1000);
}

CPlotrane2DCtrl::~CPlotrane2DCtrl() = default;

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
    if (p.dispid == DISPID_BackColor) {
        if (uint32_t(next.toInt()) == m_backColor) return {};
        m_backColor = uint32_t(next.toInt());
        changed(p);
        return {};
    }
    if (property(p) == next) return {}; // a write of the current value does nothing
    if (!forwardToEngine(p, next)) return {};
    if (!p.has(kLive)) m_values[p.dispid] = next;
    changed(p);
    return {};
}

void CPlotrane2DCtrl::changed(const PropertyInfo& p) {
    m_modified = true;
    if (!p.has(kNoRedraw)) QWidget::update();
}

bool CPlotrane2DCtrl::validDim(int d) const {
    return d >= 0 && d <= kMaxDimIndex && d < m_data->array().dimCount();
}

// Everything the data side (and, through it, the filter) must know. The
// render side hears of colours, styles and camera from the stored values.
bool CPlotrane2DCtrl::forwardToEngine(const PropertyInfo& p, const Variant& v) {
    aglGraphData& d = *m_data;
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
    case DISPID_FileName:
        // A refused name changes nothing and raises nothing.
        return d.setFileName(v.toString());
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
        d.setGraphType(v.toInt());
        d.reset();
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
        eyePosition(eye);
        eye[p.dispid - DISPID_CamXPos] = v.toFloat();
        setEyePosition(eye);
        return true;
    }
    default:
        return true;
    }
}

int CPlotrane2DCtrl::currentLevel() const {
    if (m_data->graphType() == value(GraphType::Plain)) return kNoLevel;
    for (int L = 2; L >= 0; --L)
        if (m_data->filter(L).isDone()) return L;
    return kNoLevel;
}

Variant CPlotrane2DCtrl::readLive(const PropertyInfo& p) {
    const aglGraphData& d = *m_data;
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
        return Variant(int(d.resolutionAutoAdjust() ? d.resolution(std::max(0, currentLevel()))
                                                    : d.fixedResolution()));
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
        eyePosition(eye);
        return Variant(eye[p.dispid - DISPID_CamXPos]);
    }
    case DISPID_MetaFileStatus:
        return Variant(value(MetaFileStatus::NeverRequested));
    default:
        return defaultValue(p); // GL strings until a render context reports them
    }
}

// The eye: the centre of interest plus distance along the viewing direction
// (cos el cos az, cos el sin az, sin el).
void CPlotrane2DCtrl::eyePosition(float eye[3]) const {
    const double el = m_values[DISPID_CamElevation].toDouble() * kDegrees;
    const double az = m_values[DISPID_CamAzimuth].toDouble() * kDegrees;
    const double dist = m_values[DISPID_CamDistance].toDouble();
    const double dir[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
    for (int k = 0; k < 3; ++k)
        eye[k] = float(m_values[DISPID_CamXCoi + k].toDouble() + dist * dir[k]);
}

void CPlotrane2DCtrl::setEyePosition(const float eye[3]) {
    double v[3];
    for (int k = 0; k < 3; ++k)
        v[k] = double(eye[k]) - m_values[DISPID_CamXCoi + k].toDouble();
    const double dist = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(dist > 0.0)) return; // the eye on the centre of interest has no direction
    m_values[DISPID_CamDistance] = Variant(float(dist));
    m_values[DISPID_CamElevation] = Variant(float(std::asin(v[2] / dist) / kDegrees));
    m_values[DISPID_CamAzimuth] = Variant(float(std::atan2(v[1], v[0]) / kDegrees));
}

// --- Typed setters ----------------------------------------------------------

void CPlotrane2DCtrl::setAxisFont(const PlotraneFont& f) {
    if (f == m_fonts[0]) return;
    m_fonts[0] = f;
    changed(*propertyInfo(DISPID_AxisFont));
}

void CPlotrane2DCtrl::setAxisLabelFont(const PlotraneFont& f) {
    if (f == m_fonts[1]) return;
    m_fonts[1] = f;
    changed(*propertyInfo(DISPID_AxisLabelFont));
}

void CPlotrane2DCtrl::setAxisClamp(int axis, double minimum, double maximum) {
    if (axis < 0 || axis > 2 || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    if (maximum < minimum) return;
    m_data->setAxisClamp(axis, minimum, maximum);
    m_modified = true;
}

void CPlotrane2DCtrl::setPaletteRange(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) return;
    m_data->setPaletteRange(minimum, maximum);
    m_modified = true;
    QWidget::update();
}

void* CPlotrane2DCtrl::allocateData(int64_t byteCount) {
    return byteCount > 0 ? m_data->allocate(byteCount) : nullptr;
}

int CPlotrane2DCtrl::reshapeData(std::span<const int32_t> extents, int typeCode) {
    if (extents.empty() || extents.size() > size_t(kMaxDimIndex + 1)) return -1;
    return m_data->reshape(int(extents.size()), extents.data(), typeCode);
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
        return Variant(0.0f); // no frames drawn by this control yet
    case DISPID_Spin:
        m_spinning = !m_spinning;
        return {};
    case DISPID_Cycle:
        cycle(arg(0).toDouble());
        return {};
    case DISPID_Update:
        update();
        return {};
    case DISPID_SetHomePosition:
        return {};
    case DISPID_ToHomePosition:
        m_modified = true;
        QWidget::update();
        return {};
    case DISPID_SetRoiLb:
    case DISPID_SetRoiUb: {
        const int d = dimArg();
        if (!validDim(d) || args.size() < 2) return {};
        const int32_t before = dispid == DISPID_SetRoiLb ? m_data->roiLow(d) : m_data->roiHigh(d);
        if (dispid == DISPID_SetRoiLb)
            m_data->setRoiLow(d, arg(1).toInt());
        else
            m_data->setRoiHigh(d, arg(1).toInt());
        const int32_t after = dispid == DISPID_SetRoiLb ? m_data->roiLow(d) : m_data->roiHigh(d);
        if (after != before) m_modified = true;
        return {};
    }
    case DISPID_GetRoiLb:
    case DISPID_GetRoiUb: {
        const int d = dimArg();
        if (!validDim(d)) return Variant(0);
        return Variant(int(dispid == DISPID_GetRoiLb ? m_data->roiLow(d) : m_data->roiHigh(d)));
    }
    // Addresses never cross the dispatch interface: a long cannot hold one
    // here. In-process hosts use allocateData() and reshapeData().
    case DISPID_Malloc:
        return Variant(0);
    case DISPID_Free:
        m_data->release();
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
        if (validDim(d) && args.size() >= 2) m_data->setLowerBound(d, arg(1).toInt());
        return {};
    }
    case DISPID_GetLBound: {
        const int d = dimArg();
        return Variant(validDim(d) ? int(m_data->lowerBound(d)) : 0);
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
        m_modified = true;
        QWidget::update();
        return Variant(ok);
    }
    case DISPID_SetCustomPalette:
        return Variant(true);
    case DISPID_CreateMetaFile:
        return {};
    case DISPID_AboutBox:
        QMessageBox::about(this, "About Plotrane2D",
                           QString("Plotrane2D Control, version %1.%2")
                               .arg(kControlMajorVersion)
                               .arg(kControlMinorVersion));
        return {};
    default:
        return {};
    }
}

void CPlotrane2DCtrl::update() {
    m_data->update();
    // The data side resamples here, on the host thread, until the engine's
    // filter thread takes the passes over.
    m_data->runPendingPasses();
    firePasses();
    m_modified = true;
    QWidget::update();
}

void CPlotrane2DCtrl::firePasses() {
    if (m_eventsFrozen) return;
    const int components = std::max(1, m_data->componentsInUse());
    for (int L = 0; L <= 2; ++L) {
        if (!m_data->filter(L).isDone()) continue;
        for (int c = 0; c < components; ++c) {
            double hi = 0, lo = 0;
            m_data->filter(L).range(c, hi, lo);
            emit FltrPass(int16_t(L), int16_t(c), lo, hi);
        }
    }
}

void CPlotrane2DCtrl::cycle(double seconds) {
    // Seconds > 0 turn cycling on at that period; anything else (0, negative,
    // not a number) turns it off and ticks every 0.1 s.
    if (seconds > 0.0 && std::isfinite(seconds) && seconds < 86400.0) {
        m_cycling = true;
        m_timer.setInterval(int(std::lround(seconds * 1000.0)));
    } else {
        m_cycling = false;
        m_timer.setInterval(100);
    }
}

void CPlotrane2DCtrl::tick() {}

// --- Frames -----------------------------------------------------------------

void CPlotrane2DCtrl::showFrame(const QImage& frame) {
    m_frame = frame;
    QWidget::update();
}

void CPlotrane2DCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const uint32_t c = m_backColor;
    painter.fillRect(rect(), QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
    if (!m_frame.isNull()) painter.drawImage(0, 0, m_frame);
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
            bag[key] = m_data->fixedResolution(); // the stored value, not the live reading
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
} // namespace plotrane
