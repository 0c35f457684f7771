// ControlModel: construction, the dispatch interface and the write rule,
// the tick and the level steps, frames, persistence and pictures. How each
// property and method reaches the engine is in ControlModelBindings.cpp.
#include "ControlModel.h"
#include "ControlModelValues.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <algorithm>
#include <cassert>
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
using namespace plotrane_model;

namespace {
// A finer level waits this long after the user last moved the cursor or
// zoomed (a held key repeats every 30-50 ms; its frames stay coarse).
constexpr int kInteractionRestMs = 250;
// How soon a level step the busy render thread put off is tried again.
constexpr int kStepRetryMs = 5;
} // namespace

ControlModel::ControlModel(int width, int height, int renderStartDelayMs, int antiAliasQuietMs,
                           bool lowPriority)
    : m_view(std::make_unique<aglGraphView>()), m_width(std::max(1, width)),
      m_height(std::max(1, height)) {
    for (const PropertyInfo& p : kProperties)
        m_values[size_t(p.dispid)] = defaultValue(p);
    m_values[0] = defaultValue(kStockProperties[0]); // BackColor

    // Events reach the host on its own thread: the view calls its handlers
    // from tick() only.
    m_view->setFltrPassHandler([this](int level, int component, double lo, double hi) {
        if (m_events.fltrPass) m_events.fltrPass(int16_t(level), int16_t(component), lo, hi);
    });
    m_view->setRndrPassHandler(
        [this](float seconds, int mode, int resolution, int pass, bool complete, int reserved) {
            if (m_events.rndrPass)
                m_events.rndrPass(seconds, mode, resolution, pass, complete, reserved);
        });
    // The render thread publishes each frame; the host thread takes it (the
    // queued call is dropped when the model is gone).
    m_view->Context().SetFrameSink([this](const QImage& frame) {
        {
            std::lock_guard<std::mutex> lock(m_frameMutex);
            m_pendingFrame = frame;
        }
        QMetaObject::invokeMethod(this, "takePendingFrame", Qt::QueuedConnection);
    });
    // The clipboard is not thread-safe: the render thread hands the picture
    // over and the host thread puts it on the clipboard.
    m_view->Context().SetClipboardSink([this](const QImage& picture) {
        {
            std::lock_guard<std::mutex> lock(m_frameMutex);
            m_pendingClipboard = picture;
        }
        QMetaObject::invokeMethod(this, "takePendingClipboard", Qt::QueuedConnection);
    });
    // The picture writer reports from the render and writer threads; the
    // report reaches the host on its thread, in order.
    m_writer = std::make_unique<aglMetaFileWriter>();
    m_writer->SetStatusSink([this](int status) {
        QMetaObject::invokeMethod(this, "writerStatus", Qt::QueuedConnection, Q_ARG(int, status));
    });
    m_view->Context().SetCaptureWriter(m_writer.get());
    m_view->setPassDoneHandler(
        [this] { QMetaObject::invokeMethod(this, "stepLevels", Qt::QueuedConnection); });
    m_view->Context().SetTimings(std::max(0, renderStartDelayMs), std::max(0, antiAliasQuietMs));
    m_view->Attach(lowPriority);
    m_view->Resize(m_width, m_height);
    syncEngine();

    m_stepTimer.setSingleShot(true);
    QObject::connect(&m_stepTimer, &QTimer::timeout, this, [this] { stepLevels(); });
}

ControlModel::~ControlModel() {
    m_stepTimer.stop();
    // Both threads stop before anything they use goes.
    m_writer->SetStatusSink(nullptr);
    m_view->Detach();
    m_writer->Stop(); // a picture still being written fails
    m_view->Context().SetCaptureWriter(nullptr);
    m_view->Context().SetFrameSink(nullptr);
    m_view->Context().SetClipboardSink(nullptr);
}

aglGraphData& ControlModel::graphData() {
    return *m_view;
}

bool ControlModel::waitForPasses(int timeoutMs) {
    return m_view->waitForFilter(timeoutMs);
}

// --- Dispatch ---------------------------------------------------------------

Variant ControlModel::GetProperty(int dispid) {
    const PropertyInfo* p = anyPropertyInfo(dispid);
    return p ? property(*p) : Variant();
}

DispatchStatus ControlModel::SetProperty(int dispid, const Variant& value) {
    const PropertyInfo* p = anyPropertyInfo(dispid);
    if (!p) return {kSetNotSupported, "Unknown property"};
    return setProperty(*p, value);
}

Variant ControlModel::Invoke(int dispid, const std::vector<Variant>& args) {
    const Method* m = method(dispid);
    return m ? m->call(*this, args) : Variant();
}

Variant ControlModel::property(const PropertyInfo& p) {
    const Binding& b = binding(p.dispid);
    if (b.read) return b.read(*this, p);
    if (p.has(kDiscarded)) return defaultValue(p);
    return slot(p);
}

Variant& ControlModel::slot(const PropertyInfo& p) {
    assert(p.dispid == DISPID_BackColor || (p.dispid >= 1 && p.dispid <= kPropertyCount));
    return m_values[p.dispid == DISPID_BackColor ? 0 : size_t(p.dispid)];
}

const Variant& ControlModel::stored(int dispid) const {
    return m_values[dispid == DISPID_BackColor ? 0 : size_t(dispid)];
}

DispatchStatus ControlModel::setProperty(const PropertyInfo& p, const Variant& value) {
    return write(p, value, false);
}

DispatchStatus ControlModel::write(const PropertyInfo& p, const Variant& v, bool loading) {
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
    const Binding& b = binding(p.dispid);
    if (!b.rewrite && property(p) == next) return {};
    if (b.take && !b.take(*this, p, next)) return {};
    if (!p.has(kLive)) slot(p) = next;
    if (b.show) b.show(*this, p);
    changed(p);
    return {};
}

void ControlModel::changed(const PropertyInfo& p) {
    m_modified = true;
    ++m_changeCount;
    if (!p.has(kNoRedraw)) redraw();
    if (m_host.propertyChanged) m_host.propertyChanged(int32_t(p.dispid));
}

void ControlModel::redraw() {
    m_view->Context().Redraw(false);
    if (m_host.repaint) m_host.repaint();
}

bool ControlModel::plain() const {
    return stored(DISPID_GraphType).toInt() == value(GraphType::Plain);
}

bool ControlModel::validDim(int d) const {
    return d >= 0 && d <= kMaxDimIndex && d < m_view->array().dimCount();
}

int ControlModel::currentLevel() const {
    if (m_view->graphType() == value(GraphType::Plain)) return kNoLevel;
    return m_view->currentLevel();
}

// --- Typed setters ----------------------------------------------------------

void ControlModel::setAxisFont(const PlotraneFont& f) {
    if (f == m_fonts[0]) return;
    m_fonts[0] = f;
    binding(DISPID_AxisFont).show(*this, *propertyInfo(DISPID_AxisFont));
    changed(*propertyInfo(DISPID_AxisFont));
}

void ControlModel::setAxisLabelFont(const PlotraneFont& f) {
    if (f == m_fonts[1]) return;
    m_fonts[1] = f;
    binding(DISPID_AxisLabelFont).show(*this, *propertyInfo(DISPID_AxisLabelFont));
    changed(*propertyInfo(DISPID_AxisLabelFont));
}

void ControlModel::setAxisClamp(int axis, double minimum, double maximum) {
    if (axis < 0 || axis > 2 || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    if (maximum < minimum) return;
    m_view->setAxisClamp(axis, minimum, maximum);
    m_modified = true;
}

void ControlModel::setPaletteRange(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) return;
    m_view->setPaletteRange(minimum, maximum);
    m_modified = true;
    redraw();
}

void* ControlModel::allocateData(int64_t byteCount) {
    return byteCount > 0 ? m_view->allocate(byteCount) : nullptr;
}

int ControlModel::reshapeData(std::span<const int32_t> extents, int typeCode) {
    if (extents.empty() || extents.size() > size_t(kMaxDimIndex + 1)) return -1;
    return m_view->reshape(int(extents.size()), extents.data(), typeCode);
}

std::shared_ptr<const aglSegment> ControlModel::dimensionScale(int dim) const {
    return dim >= 0 && dim <= kMaxDimIndex ? m_dimScales[size_t(dim)] : nullptr;
}

// --- Update, cycling and the tick -------------------------------------------

void ControlModel::update() {
    ++m_changeCount;
    // The filter thread resamples; the tick reports the passes (FltrPass)
    // and steps the levels.
    m_view->update();
    markCursorValue(); // the cursor's element may hold another value now
    m_modified = true;
    redraw();
}

void ControlModel::cycle(double seconds) {
    // Seconds > 0 turn cycling on at that period, kept within 10 ms (a
    // shorter period would tick on every pass of the event loop and starve
    // the user interface) and the longest period a timer takes; anything
    // else (0, negative, not a number, infinite) turns it off and ticks
    // every 0.1 s.
    if (seconds > 0.0 && std::isfinite(seconds)) {
        m_cycling = true;
        const double ms = std::floor(seconds * 1000.0);
        m_tickPeriodMs = int(std::clamp(ms, 10.0, double(INT_MAX)));
    } else {
        m_cycling = false;
        m_tickPeriodMs = 100;
    }
    if (m_host.tickPeriodChanged) m_host.tickPeriodChanged(m_tickPeriodMs);
}

bool ControlModel::tick() {
    if (plain()) return false;
    m_view->setEventsFrozen(m_eventsFrozen);
    m_view->tick(restLeftMs() == 0);
    if (m_cycling) {
        m_modified = true;
        redraw();
    }
    return true;
}

void ControlModel::setFinalPictureLevel(int level) {
    m_view->setFinalLevel(level);
    if (m_dataBound) update();
}

void ControlModel::holdFrames(bool held) {
    m_view->Context().SetHeld(held);
}

void ControlModel::warmUp() {
    m_view->warmUp();
}

void ControlModel::stepLevels() {
    // The tick still steps too; this only brings the steps forward. While
    // the picture moves (a drag, spinning) the tick alone decides.
    if (plain()) return;
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

int ControlModel::restLeftMs() const {
    if (!m_sinceInteraction.isValid()) return 0;
    return int(std::max<qint64>(0, kInteractionRestMs - m_sinceInteraction.elapsed()));
}

// --- Frames -----------------------------------------------------------------

void ControlModel::resize(int width, int height) {
    // A window without pixels takes no picture; the engine keeps one pixel.
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_view->Resize(std::max(1, width), std::max(1, height));
}

int ControlModel::width() const {
    int w = m_width, h = m_height;
    if (m_host.windowSize) m_host.windowSize(w, h);
    return w;
}

int ControlModel::height() const {
    int w = m_width, h = m_height;
    if (m_host.windowSize) m_host.windowSize(w, h);
    return h;
}

void ControlModel::takePendingFrame() {
    QImage frame;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        frame.swap(m_pendingFrame);
    }
    if (!frame.isNull()) {
        m_frame = frame;
        if (m_host.frameArrived) m_host.frameArrived();
    }
    stepLevels();
}

void ControlModel::paint(bool frameArrived) {
    applyPendingCursor(); // Row and Col written since the last paint
    // The render thread draws the graph; a paint only brings it up to date.
    // A paint that just shows a frame the render thread published does no
    // more: a step or a redraw from it would publish the next frame, whose
    // paint would ask again, without end (and the finest level would never
    // stay). Paints for any other reason (the window system exposing the
    // control, the host or a setting invalidating it) redraw, and at the
    // finest level step back to level 1, which answers sooner; the ticks
    // step up again. A paint for both reasons at once counts as a frame's.
    if (frameArrived) return;
    if (!plain() && m_view->currentLevel() == 2) {
        m_view->markFramesSeen();
        m_view->stepLevel(1);
    } else {
        m_view->Redraw(false);
    }
}

// --- Persistence ------------------------------------------------------------

namespace {
constexpr const char* kVersionKey = "Version";
constexpr const char* kVersion = "1.0";

QVariantMap fontMap(const PlotraneFont& f) {
    return {{"Family", QString::fromStdString(f.family)}, {"Size", f.points}, {"Bold", f.bold}};
}
} // namespace

void ControlModel::saveProperties(QVariantMap& bag) {
    bag[kVersionKey] = kVersion;
    bag["BackColor"] = int(stored(DISPID_BackColor).toInt());
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

void ControlModel::saveProperties(QSettings& settings) {
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

DispatchStatus ControlModel::loadProperties(const QVariantMap& bag) {
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

DispatchStatus ControlModel::loadProperties(QSettings& settings) {
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

// --- Pictures ---------------------------------------------------------------

DispatchStatus ControlModel::createMetaFile(int32_t width, int32_t height, bool pdf,
                                            bool* accepted) {
    if (accepted) *accepted = false;
    const bool clipboard = width == 0 && height == 0;
    if (!clipboard &&
        (width < 1 || height < 1 || width > kMaxMetaFileSize || height > kMaxMetaFileSize))
        return refuse(kMsgMetaFileSize);
    // The camera's part of the picture.
    int gw = 0, gh = 0;
    m_view->Camera().GetViewport(&gw, &gh);
    if (this->width() < 1 || this->height() < 1 || gw < 1 || gh < 1) return refuse(kMsgEmptyWindow);
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
                                  Q_ARG(int, int(aglMetaFileWriter::kComplete)));
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

int ControlModel::metaFileStatus() const {
    return m_pictureRequested ? m_writer->Status() : value(MetaFileStatus::NeverRequested);
}

std::string ControlModel::metaFile() const {
    return m_writer->FileName();
}

void ControlModel::setPictureVectorData(bool on) {
    m_writer->SetVectorData(on);
}

void ControlModel::setPictureFolder(const QString& folder) {
    m_writer->SetTempFolder(folder);
}

void ControlModel::writerStatus(int status) {
    // A failed picture is not reused.
    if (status == aglMetaFileWriter::kFailed) m_pictureKey.clear();
    if (!m_pictureRequested || status == m_reportedStatus) return;
    m_reportedStatus = status;
    if (m_eventsFrozen || plain()) return;
    if (m_events.metafileUpdate) m_events.metafileUpdate(int16_t(status), 0);
}

void ControlModel::takePendingClipboard() {
    QImage picture;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        picture.swap(m_pendingClipboard);
    }
    // A host without a graphical application has no clipboard.
    if (picture.isNull() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture);
}
