#include "DimensionBar.h"

#include "ArrayRangeScan.h"
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CPlotrane2D.h"
#include "aglArray.h"
#include "aglSegment.h"
#include "aglTypes.h"
#include "plotrane/PropertyTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace plotrane;

namespace {

bool contains(const std::vector<int>& dims, int d) {
    return std::find(dims.begin(), dims.end(), d) != dims.end();
}

// Columns of a line.
enum Column { NameColumn, PlayColumn, SliderColumn, SpinColumn, CoordinateColumn, OptionsColumn };

// The smallest width a range may have (the control widens narrower ones).
constexpr double kMinRangeWidth = 1e-5;

} // namespace

DimensionBar::DimensionBar(CArrayDoc* document, CPlotrane2DView* graph, QWidget* parent)
    : QWidget(parent), m_document(document) {
    setObjectName("dimensionBar");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(SliderColumn, 1);
    for (int d = 0; d < kDims; ++d) {
        Line& l = m_lines[size_t(d)];
        const QString number = QString::number(d + 1);
        l.name = new QLabel(this);
        l.name->setObjectName("dimName" + number);
        l.play = new QToolButton(this);
        l.play->setObjectName("dimPlay" + number);
        l.play->setCheckable(true);
        l.play->setAutoRaise(true);
        l.slider = new QSlider(Qt::Horizontal, this);
        l.slider->setObjectName("dimSlider" + number);
        l.slider->setMinimumWidth(80);
        l.spin = new QSpinBox(this);
        l.spin->setObjectName("dimSpin" + number);
        // A number typed is taken on Enter, not digit by digit.
        l.spin->setKeyboardTracking(false);
        l.spin->setAccelerated(true);
        l.coordinate = new QLabel(this);
        l.coordinate->setObjectName("dimValue" + number);
        l.coordinate->setToolTip("The coordinate of this index on the dimension's scale");
        l.name->setBuddy(l.slider);
        grid->addWidget(l.name, d, NameColumn);
        grid->addWidget(l.play, d, PlayColumn);
        grid->addWidget(l.slider, d, SliderColumn);
        grid->addWidget(l.spin, d, SpinColumn);
        grid->addWidget(l.coordinate, d, CoordinateColumn);
        for (QWidget* w : {static_cast<QWidget*>(l.name), static_cast<QWidget*>(l.play),
                           static_cast<QWidget*>(l.slider), static_cast<QWidget*>(l.spin),
                           static_cast<QWidget*>(l.coordinate)})
            w->hide();
        connect(l.slider, &QSlider::valueChanged, this, [this, d](int v) { userMoved(d, v); });
        connect(l.spin, &QSpinBox::valueChanged, this, [this, d](int v) { userMoved(d, v); });
        connect(l.play, &QToolButton::clicked, this, [this, d] {
            if (m_playDim == d)
                stop();
            else
                play(d);
        });
    }

    // The play options, shared by every line, at the right of the first one.
    auto* options = m_options = new QWidget(this);
    options->setObjectName("playOptions");
    auto* row = new QHBoxLayout(options);
    row->setContentsMargins(6, 0, 0, 0);
    m_rate = new QSpinBox(options);
    m_rate->setObjectName("playRate");
    m_rate->setRange(kMinRate, kMaxRate);
    m_rate->setValue(kDefaultRate);
    m_rate->setSuffix(" frames/s");
    m_rate->setToolTip("How many planes a second Play shows");
    m_mode = new QComboBox(options);
    m_mode->setObjectName("playMode");
    m_mode->addItems({"Loop", "Bounce"});
    m_mode->setToolTip("At the last index, Play starts again from the first (Loop) or turns back "
                       "(Bounce)");
    m_range = new QComboBox(options);
    m_range->setObjectName("playRange");
    m_range->addItems({"Palette: all planes", "Palette: each plane"});
    m_range->setToolTip("The palette's range while playing: the range of the whole array, or "
                        "the range of each plane shown");
    row->addWidget(m_rate);
    row->addWidget(m_mode);
    row->addWidget(m_range);
    grid->addWidget(options, 0, OptionsColumn, Qt::AlignTop);

    connect(m_range, &QComboBox::currentIndexChanged, this, [this](int mode) {
        if (mode == EachPlane) {
            m_scan->cancel();
            releaseRange();
        } else if (isPlaying()) {
            holdRange();
        }
    });

    m_scan = new ArrayRangeScan(this);
    connect(m_scan, &ArrayRangeScan::finished, this, &DimensionBar::rangeFound);

    m_playTimer.setTimerType(Qt::PreciseTimer);
    m_playTimer.setSingleShot(true);
    connect(&m_playTimer, &QTimer::timeout, this, &DimensionBar::tick);
    m_restTimer.setSingleShot(true);
    connect(&m_restTimer, &QTimer::timeout, this, [this] {
        if (!isPlaying()) releaseResolution();
    });
    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &DimensionBar::sync);

    connect(document, &CArrayDoc::arrayChanged, this, &DimensionBar::arrayReplaced);
    for (auto signal : {&CArrayDoc::regionChanged, &CArrayDoc::clientChanged})
        connect(document, signal, this, &DimensionBar::scheduleSync);
    connect(document, &CArrayDoc::cursorMoved, this, &DimensionBar::scheduleSync);
    if (graph) {
        // Swap XY, the vector graph's turn, a client's SetRowColDim: every new
        // row or column dimension is written to the control.
        connect(graph, &CPlotrane2DView::propertyChanged, this, [this](int dispid) {
            if (dispid == DISPID_RowDim || dispid == DISPID_ColDim) scheduleSync();
        });
        // Direct: the report comes as the frame is out and before the
        // control starts the next one, so a step made now never waits for a
        // frame being drawn (the control takes calls from its events' handlers,
        // as the marker's RowColChanged does).
        connect(graph, &CPlotrane2DView::renderPassed, this, &DimensionBar::frameShown);
    }
    hide();
    showPlaying();
}

DimensionBar::~DimensionBar() {
    m_playTimer.stop();
    m_restTimer.stop();
    // The scan's thread ends before anything it reports to goes.
    m_scan->cancel();
}

QSlider* DimensionBar::slider(int dim) const {
    return dim >= 0 && dim < kDims ? m_lines[size_t(dim)].slider : nullptr;
}
QSpinBox* DimensionBar::spinBox(int dim) const {
    return dim >= 0 && dim < kDims ? m_lines[size_t(dim)].spin : nullptr;
}
QToolButton* DimensionBar::playButton(int dim) const {
    return dim >= 0 && dim < kDims ? m_lines[size_t(dim)].play : nullptr;
}
QLabel* DimensionBar::nameLabel(int dim) const {
    return dim >= 0 && dim < kDims ? m_lines[size_t(dim)].name : nullptr;
}
QLabel* DimensionBar::coordinateLabel(int dim) const {
    return dim >= 0 && dim < kDims ? m_lines[size_t(dim)].coordinate : nullptr;
}

int DimensionBar::rate() const {
    return m_rate->value();
}
void DimensionBar::setRate(int framesPerSecond) {
    m_rate->setValue(framesPerSecond);
}
DimensionBar::PlayMode DimensionBar::playMode() const {
    return PlayMode(m_mode->currentIndex());
}
void DimensionBar::setPlayMode(PlayMode mode) {
    m_mode->setCurrentIndex(int(mode));
}
DimensionBar::RangeMode DimensionBar::rangeMode() const {
    return RangeMode(m_range->currentIndex());
}
void DimensionBar::setRangeMode(RangeMode mode) {
    m_range->setCurrentIndex(int(mode));
}
bool DimensionBar::isScanningRange() const {
    return m_scan->isRunning();
}

// ---------------------------------------------------------------------------
// Following the document

void DimensionBar::scheduleSync() {
    if (!m_syncTimer.isActive()) m_syncTimer.start(0);
}

void DimensionBar::sync() {
    m_syncTimer.stop();
    const aglArray* a = m_document->hasData() ? m_document->currentArray() : nullptr;
    // Extents and indices as the document gives them: a data set read
    // plane by plane is in the array one plane at a time.
    const CArrayDoc::RegionChoice region = m_document->regionChoice();
    std::vector<int> dims;
    if (a && a->dimCount() >= 3)
        for (int d = 0; d < a->dimCount() && d < kDims; ++d)
            if (d != a->rowDim() && d != a->colDim()) dims.push_back(d);
    if (isPlaying() && !contains(dims, m_playDim)) stop();
    const bool changed = dims != m_dims;
    m_dims = dims;

    m_syncing = true;
    auto* grid = static_cast<QGridLayout*>(layout());
    for (int d = 0; d < kDims; ++d) {
        Line& l = m_lines[size_t(d)];
        const bool on = contains(dims, d);
        for (QWidget* w : {static_cast<QWidget*>(l.name), static_cast<QWidget*>(l.play),
                           static_cast<QWidget*>(l.slider), static_cast<QWidget*>(l.spin)})
            w->setVisible(on);
        if (!on) {
            l.coordinate->hide();
            continue;
        }
        const int32_t extent = std::max(1, region.extent[size_t(d)]);
        const int32_t lb = region.lower[size_t(d)];
        const int32_t low = region.start[size_t(d)];
        const CArrayDoc::DimensionScale scale = m_document->dimensionScale(d);
        const QString number = QString("Dimension %1").arg(d + 1);
        l.name->setText(scale.name.empty() ? number : QString::fromStdString(scale.name));
        l.name->setToolTip(number + QString(": %1 indices").arg(extent));
        l.play->setToolTip("Play through " + number.toLower());
        l.play->setAccessibleName("Play " + number.toLower());
        l.slider->setAccessibleName(number);
        // Indices as the user writes them: from the lower bound (64 bits,
        // then limited: a lower bound near the end of the 32-bit range).
        const int first = int(std::clamp<int64_t>(lb, INT_MIN, INT_MAX));
        const int last = int(std::clamp<int64_t>(int64_t(lb) + extent - 1, INT_MIN, INT_MAX));
        const int shown = int(std::clamp<int64_t>(int64_t(lb) + low, first, last));
        l.slider->setRange(first, last);
        l.slider->setPageStep(std::max(1, extent / 10));
        if (l.slider->value() != shown) l.slider->setValue(shown);
        l.spin->setRange(first, last);
        if (l.spin->value() != shown) l.spin->setValue(shown);
        const bool movable = extent > 1;
        l.slider->setEnabled(movable);
        l.spin->setEnabled(movable);
        l.play->setEnabled(movable);
        showCoordinate(d, low);
    }
    if (!dims.empty() && dims.front() != m_optionsRow) {
        grid->removeWidget(m_options);
        m_optionsRow = dims.front();
        grid->addWidget(m_options, m_optionsRow, OptionsColumn, Qt::AlignTop);
    }
    m_syncing = false;
    setVisible(!dims.empty());
    if (changed) emit dimensionsChanged();
}

void DimensionBar::showCoordinate(int dim, int index) {
    QLabel* label = m_lines[size_t(dim)].coordinate;
    const aglSegment* scale = m_document->dimensionScale(dim).values;
    const auto* elements = scale ? static_cast<const uint8_t*>(scale->elements()) : nullptr;
    if (!elements || index < 0 || index >= scale->elementCount()) {
        label->hide();
        return;
    }
    const double v =
        agl::loadAsDouble(elements + int64_t(index) * scale->elementSize(), scale->typeCode());
    const bool integer = scale->typeCode() != AGL_FLOAT && scale->typeCode() != AGL_DOUBLE;
    label->setText(integer ? QString::number(int64_t(v)) : QString::number(v, 'g', 6));
    label->show();
}

void DimensionBar::arrayReplaced() {
    stop();
    m_scan->cancel();
    m_rangeKnown = false;
    m_rangeSegment.clear();
    // The new array came with its own palette settings.
    m_held = false;
    sync();
}

// ---------------------------------------------------------------------------
// Moving

void DimensionBar::userMoved(int dim, int shownIndex) {
    if (m_syncing) return;
    if (!m_document->currentArray() || dim < 0 || dim >= kDims) return;
    stepByHand(dim, int(int64_t(shownIndex) - m_document->regionChoice().lower[size_t(dim)]));
}

bool DimensionBar::stepByHand(int dim, int index) {
    if (!contains(m_dims, dim)) return false;
    holdResolution();
    const bool changed = showIndex(dim, index);
    if (!isPlaying()) m_restTimer.start(kRestMs);
    return changed;
}

bool DimensionBar::showIndex(int dim, int index) {
    if (!contains(m_dims, dim) || !m_document->hasData()) return false;
    // A new first index as Settings > ROI's Start takes it: the region keeps
    // its length where that fits.
    CArrayDoc::RegionChoice choice = m_document->regionChoice();
    const size_t k = size_t(dim);
    const int32_t extent = std::max(1, choice.extent[k]);
    index = std::clamp(index, 0, extent - 1);
    choice.start[k] = index;
    choice.length[k] = std::clamp(choice.length[k], 1, extent - index);
    const bool changed = m_document->applyRegion(choice);
    // A data set read plane by plane hands the control a new array for each
    // plane, which the control takes with a palette range of its own: the
    // held one goes back on.
    if (changed && m_held && planeDataSet()) applyHeldRange();
    sync();
    return changed;
}

bool DimensionBar::stepFirst(int step) {
    if (m_dims.empty() || !m_document->hasData()) return false;
    const int dim = m_dims.front();
    const CArrayDoc::RegionChoice region = m_document->regionChoice();
    const int64_t next = int64_t(region.start[size_t(dim)]) + step;
    if (next < 0 || next >= region.extent[size_t(dim)]) return false;
    return stepByHand(dim, int(next));
}

// ---------------------------------------------------------------------------
// Playing

void DimensionBar::play(int dim) {
    if (!contains(m_dims, dim)) return;
    stop();
    m_playDim = dim;
    m_direction = 1;
    m_steps = 0;
    m_missed = 0;
    m_waitingForFrame = false;
    m_stepOnFrame = false;
    m_restTimer.stop();
    if (rangeMode() == WholeArray) holdRange();
    holdResolution();
    m_playClock.start();
    m_nextStepMs = stepMs();
    m_playTimer.start(int(m_nextStepMs));
    showPlaying();
}

void DimensionBar::stop() {
    m_playTimer.stop();
    m_restTimer.stop();
    const bool was = isPlaying();
    m_playDim = -1;
    m_waitingForFrame = false;
    m_stepOnFrame = false;
    // A range not found yet is not waited for: the next play starts again.
    if (was && m_scan->isRunning()) m_scan->cancel();
    releaseResolution();
    showPlaying();
}

void DimensionBar::showPlaying() {
    const QIcon playIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    const QIcon stopIcon = style()->standardIcon(QStyle::SP_MediaStop);
    for (int d = 0; d < kDims; ++d) {
        QToolButton* b = m_lines[size_t(d)].play;
        const bool playing = d == m_playDim;
        b->setChecked(playing);
        b->setIcon(playing ? stopIcon : playIcon);
    }
}

qint64 DimensionBar::stepMs() const {
    return std::max<qint64>(1, std::lround(1000.0 / rate()));
}

void DimensionBar::tick() {
    if (!isPlaying()) return;
    const qint64 now = m_playClock.elapsed();
    if (now < m_nextStepMs) {
        m_playTimer.start(int(m_nextStepMs - now));
        return;
    }
    // Never more than one step ahead of the pictures: while the last step's
    // picture is being made, its arrival makes the step (frameShown); the
    // timer only comes back for a picture that never comes.
    if (m_waitingForFrame) {
        if (m_sinceStep.elapsed() < kFrameWaitMs) {
            m_playTimer.start(int(kFrameWaitMs - m_sinceStep.elapsed()));
            return;
        }
        // The picture never came: the next step goes on without it.
        m_waitingForFrame = false;
        ++m_missed;
    }
    // A picture came a moment ago: the control is drawing the next one (a
    // finer level), which a step now would wait for. The step comes with
    // that picture instead, or once the pictures have stopped.
    if (m_sinceFrame.isValid() && m_sinceFrame.elapsed() < kQuietMs) {
        m_stepOnFrame = true;
        m_playTimer.start(int(kQuietMs - m_sinceFrame.elapsed()));
        return;
    }
    step();
}

void DimensionBar::step() {
    const qint64 now = m_playClock.elapsed();
    m_stepOnFrame = false;
    advance();
    // Steps keep to the rate's schedule: those that came late (a picture
    // slower than the rest) are made up by the next ones as their pictures
    // come, but never more than three (no burst after a long pause).
    m_nextStepMs = std::max(m_nextStepMs + stepMs(), now - 3 * stepMs());
    m_playTimer.start(int(std::max<qint64>(0, m_nextStepMs - m_playClock.elapsed())));
}

void DimensionBar::frameShown() {
    m_sinceFrame.start();
    if (!isPlaying()) return;
    const bool own = m_waitingForFrame;
    m_waitingForFrame = false;
    // Here the frame is out and the next not begun: a step that is due is
    // made now.
    if ((own || m_stepOnFrame) && m_playClock.elapsed() >= m_nextStepMs) step();
}

void DimensionBar::holdResolution() {
    if (m_playResolution > 0) return;
    CPlotrane2D* c = m_document->control();
    // A resolution the user fixed stays.
    if (!c || !c->getBool(DISPID_ResolutionAutoAdjust)) return;
    // Right after an Update no level is shown: Resolution reads the coarsest
    // level's, from the point budget the control has learnt for it from its
    // frame times (a fast machine's coarsest level is fine).
    c->Update();
    const int coarsest = std::max(1, c->getInt(DISPID_Resolution));
    c->setBool(DISPID_ResolutionAutoAdjust, false);
    c->setLong(DISPID_Resolution, coarsest);
    c->Update();
    m_playResolution = coarsest;
}

void DimensionBar::releaseResolution() {
    if (m_playResolution == 0) return;
    m_playResolution = 0;
    CPlotrane2D* c = m_document->control();
    if (!c) return;
    // The fixed resolution back at the control's default, then the levels
    // of detail chosen by the control again, up to the finest.
    c->setLong(DISPID_Resolution, 1);
    c->setBool(DISPID_ResolutionAutoAdjust, true);
    c->Update();
}

void DimensionBar::advance() {
    const aglArray* a = m_document->hasData() ? m_document->currentArray() : nullptr;
    if (!a || !contains(m_dims, m_playDim)) {
        stop();
        return;
    }
    const int dim = m_playDim;
    const CArrayDoc::RegionChoice region = m_document->regionChoice();
    const int32_t extent = std::max(1, region.extent[size_t(dim)]);
    const int32_t low = region.start[size_t(dim)];
    int64_t next = int64_t(low) + m_direction;
    if (next < 0 || next >= extent) {
        if (playMode() == Loop) {
            next = m_direction > 0 ? 0 : extent - 1;
        } else {
            m_direction = -m_direction;
            next = std::clamp<int64_t>(int64_t(low) + m_direction, 0, extent - 1);
        }
    }
    m_waitingForFrame = true;
    m_sinceStep.start();
    showIndex(dim, int(next));
    ++m_steps;
    emit stepped(dim, int(next));
}

// ---------------------------------------------------------------------------
// The palette's range while playing

// The data set read plane by plane that the document shows, or nullptr.
const CHdfSds* DimensionBar::planeDataSet() const {
    const CHdfObject* object = m_document->hasData() ? m_document->hdfCurrent() : nullptr;
    if (!object || object->kind != HdfKindSds) return nullptr;
    const auto* sds = static_cast<const CHdfSds*>(object);
    return sds->byPlane && sds->array && sds->array.get() == m_document->currentArray() ? sds
                                                                                        : nullptr;
}

std::string DimensionBar::rangeKey() const {
    // A data set read plane by plane: its planes come and go in segments of
    // their own, and its range holds for all of them.
    if (const CHdfSds* sds = planeDataSet())
        return "hdf:" + sds->filePath + "\n" +
               (sds->location.empty() ? std::to_string(sds->index) : sds->location) +
               (sds->unpacked ? "\nunpacked" : "");
    const aglArray* a = m_document->hasData() ? m_document->currentArray() : nullptr;
    const aglSegment* segment = a ? a->segment() : nullptr;
    return segment ? segment->name() : std::string();
}

void DimensionBar::holdRange() {
    const std::string key = rangeKey();
    if (key.empty()) return;
    if (m_rangeKnown && m_rangeSegment == key) {
        applyHeldRange();
        return;
    }
    if (m_scan->isRunning() && m_scan->segmentName() == key) return;
    m_rangeKnown = false;
    if (const CHdfSds* sds = planeDataSet()) {
        const HdfHelper& helper = m_document->hdfHelper();
        m_scan->startDataSet(key, helper.helperPath(), *sds, helper.readTimeoutMs());
    } else {
        m_scan->start(key);
    }
}

void DimensionBar::rangeFound(const QString& segmentName, bool found, double minimum,
                              double maximum) {
    const std::string key = rangeKey();
    if (key.empty() || key != segmentName.toStdString()) return;
    m_rangeKnown = found;
    m_rangeSegment = key;
    m_rangeMin = minimum;
    m_rangeMax = maximum;
    if (found && isPlaying() && rangeMode() == WholeArray) applyHeldRange();
}

void DimensionBar::applyHeldRange() {
    CPlotrane2D* c = m_document->control();
    if (!c || !m_rangeKnown) return;
    const int kind = m_document->currentGraphType();
    // The vector graph's palette colours one component, not the array.
    if (kind == CArrayDoc::NoGraph || kind == CArrayDoc::VectorGraph) return;
    const double lo = m_rangeMin;
    const double hi = std::max(m_rangeMax, lo + kMinRangeWidth);
    c->setBool(DISPID_PaletteAutoAdjust, false);
    c->SetPaletteRange(lo, hi);
    // The height plot's box spans the same values in every plane.
    if (kind == CArrayDoc::HeightPlot || kind == CArrayDoc::PlaneView) {
        c->setBool(DISPID_AxisAutoScale, false);
        c->SetAxisClamp(2, lo, hi);
    }
    c->Update();
    m_held = true;
}

void DimensionBar::releaseRange() {
    if (!m_held) return;
    m_held = false;
    CPlotrane2D* c = m_document->control();
    if (!c) return;
    c->setBool(DISPID_PaletteAutoAdjust, true);
    c->setBool(DISPID_AxisAutoScale, true);
    c->Update();
}
