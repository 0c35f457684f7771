#include "aglGraphData.h"

#include "aglAxisTicks.h"

#include "aglArray.h"
#include "aglTypes.h"

#include <algorithm>
#include <cmath>

namespace {

// Keeps a level's data lock for a whole pass and its scaling.
struct LevelLock {
    explicit LevelLock(const aglFilter& f) : filter(f) { filter.lockData(); }
    ~LevelLock() { filter.unlockData(); }
    const aglFilter& filter;
};

} // namespace

aglGraphData::aglGraphData() : m_array(std::make_unique<aglArray>()) {
    for (int L = 0; L < agl::kLevelCount; ++L) {
        m_levels[L] = std::make_unique<Level>(L);
        m_levels[L]->budget = agl::kInitialBudget[L];
        m_levels[L]->filter.setArray(m_array.get());
    }
    recomputeResolutions();
}

aglGraphData::~aglGraphData() = default;

// --- Binding ---------------------------------------------------------------

bool aglGraphData::setFileName(const std::string& name) {
    if (name.empty()) return false;
    pauseFilterThread();
    // The new segment goes into an array of its own first: the current one
    // must stay untouched when the segment turns out to be unusable.
    auto fresh = std::make_unique<aglArray>();
    // Carry the plane dimensions over, as reopening the same array would.
    fresh->setRowDim(m_array->rowDim());
    fresh->setColDim(m_array->colDim());
    if (!fresh->open(name, true) || fresh->elementCount() < 2) {
        wakeFilterThread();
        return false;
    }
    m_array = std::move(fresh);
    for (auto& lv : m_levels)
        lv->filter.setArray(m_array.get());
    m_fileName = name;
    reset(-1);
    segmentBound();
    return true;
}

// --- Window and dimensions -------------------------------------------------

void aglGraphData::planeWindow(int32_t& columnStart, int32_t& rowStart, int32_t& columnCount,
                               int32_t& rowCount) const {
    m_array->planeRoi(columnStart, rowStart, columnCount, rowCount);
}

void aglGraphData::setPlaneWindow(int64_t columnStart, int64_t rowStart, int64_t columnCount,
                                  int64_t rowCount) {
    pauseFilterThread();
    m_array->setPlaneRoi(columnStart, rowStart, columnCount, rowCount);
}

int aglGraphData::elementSize() const {
    return m_array->elementSize();
}

int aglGraphData::cellSize() const {
    // The last dimension's stride is the cell size.
    const int dims = m_array->dimCount();
    return dims > 0 ? int(m_array->stride(dims - 1)) : m_array->elementSize();
}

void aglGraphData::setRowDimension(int d) {
    pauseFilterThread();
    m_array->setRowDim(d);
}

void aglGraphData::setColumnDimension(int d) {
    pauseFilterThread();
    m_array->setColDim(d);
}

int aglGraphData::rowDimension() const {
    return m_array->rowDim();
}
int aglGraphData::columnDimension() const {
    return m_array->colDim();
}

void aglGraphData::setRoiLow(int d, int32_t value) {
    pauseFilterThread();
    int32_t low, high;
    m_array->getRoi(d, low, high);
    m_array->setRoi(d, value, high);
}

void aglGraphData::setRoiHigh(int d, int32_t value) {
    pauseFilterThread();
    int32_t low, high;
    m_array->getRoi(d, low, high);
    m_array->setRoi(d, low, value);
}

int32_t aglGraphData::roiLow(int d) const {
    int32_t low, high;
    m_array->getRoi(d, low, high);
    return low;
}

int32_t aglGraphData::roiHigh(int d) const {
    int32_t low, high;
    m_array->getRoi(d, low, high);
    return high;
}

void aglGraphData::setLowerBound(int d, int32_t value) {
    m_array->setLowerBound(d, value);
}

int32_t aglGraphData::lowerBound(int d) const {
    return (d >= 0 && d < agl::kMaxDims) ? m_array->lowerBound(d) : 0;
}

// --- Data changes ----------------------------------------------------------

void* aglGraphData::allocate(int64_t byteCount) {
    pauseFilterThread();
    void* p = m_array->allocate(byteCount);
    if (p)
        dataChanged();
    else
        wakeFilterThread();
    return p;
}

void aglGraphData::release() {
    pauseFilterThread();
    m_array->release();
    dataChanged();
}

int aglGraphData::reshape(int dims, const int32_t* extents, int type) {
    pauseFilterThread();
    const int r = m_array->reshape(dims, extents, type);
    if (r == 0)
        dataChanged();
    else
        wakeFilterThread();
    return r;
}

void aglGraphData::dataChanged() {
    recomputeResolutions();
    for (auto& lv : m_levels)
        lv->dirty = true;
    wakeFilterThread();
}

void aglGraphData::update() {
    pauseFilterThread();
    reset(-1);
}

void aglGraphData::reset(int level) {
    pauseFilterThread();
    pauseRenderThread();
    recomputeResolutions();
    for (int L = 0; L < agl::kLevelCount; ++L) {
        if (level >= 0 && level != L) continue;
        m_levels[L]->filter.clearDone();
        m_levels[L]->dirty = true;
        m_levels[L]->fullPass = false;
    }
    for (int c = 0; c < aglFilter::kMaxComponents; ++c) {
        m_overallMin[c] = agl::kEmptyRangeMin;
        m_overallMax[c] = agl::kEmptyRangeMax;
    }
    levelsReset(level);
    if (m_graphType != 0) wakeFilterThread();
}

// --- Graph type and components ---------------------------------------------

void aglGraphData::setGraphType(int type) {
    if (type < 0 || type > 3) return;
    pauseFilterThread();
    m_graphType = type;
    for (auto& lv : m_levels) {
        lv->filter.setMaxSamples(aglFilter::maxSamplesFor(type));
        lv->filter.setComponentCount(0);
        lv->dirty = true;
    }
    // The image map's finest level has a resolution rule of its own.
    recomputeResolutions();
}

void aglGraphData::setComponent(int c, int index) {
    if (c == -1) {
        if (index >= 0 && index <= aglFilter::kMaxComponents) m_componentsInUse = index;
        return;
    }
    if (c < 0 || c >= aglFilter::kMaxComponents) return;
    // A vector pass reads the components: the filter thread is paused while
    // they change and woken again (the levels take them at the next update).
    pauseFilterThread();
    m_components[c] = index < 0 ? -1 : index;
    wakeFilterThread();
}

int aglGraphData::component(int c) const {
    return (c >= 0 && c < aglFilter::kMaxComponents) ? m_components[c] : 0;
}

// --- Clamps, scales, flags -------------------------------------------------

void aglGraphData::setAxisClamp(int axis, double minimum, double maximum) {
    if (axis < 0 || axis > 2) return;
    // NaN bounds would pass every comparison below and poison the scale.
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) return;
    if (maximum - minimum < agl::kMinRangeWidth) maximum = minimum + agl::kMinRangeWidth;
    // A pass reads the clamps as it prepares its filter.
    pauseFilterThread();
    m_clampMin[axis] = minimum;
    m_clampMax[axis] = maximum;
    wakeFilterThread();
}

void aglGraphData::axisClamp(int axis, double& minimum, double& maximum) const {
    if (axis < 0 || axis > 2) {
        minimum = maximum = 0.0;
        return;
    }
    minimum = m_clampMin[axis];
    maximum = m_clampMax[axis];
}

bool aglGraphData::setAxisScales(double x, double y, double z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return false;
    // A pass reads the scales as it writes its grid: the filter thread is
    // paused before they change, and woken again either way.
    pauseRenderThread();
    pauseFilterThread();
    const bool zChanged = z != m_scale[2];
    m_scale[0] = x;
    m_scale[1] = y;
    m_scale[2] = z;
    const bool refilter = zChanged || m_graphType == 3;
    if (refilter)
        for (auto& lv : m_levels)
            lv->dirty = true;
    wakeFilterThread();
    return refilter;
}

void aglGraphData::axisScales(double& x, double& y, double& z) const {
    x = m_scale[0];
    y = m_scale[1];
    z = m_scale[2];
}

double aglGraphData::axisScale(int c) const {
    return (c >= 0 && c < 4) ? m_scale[c] : 0.0;
}

void aglGraphData::setResolution(int n) {
    if (n < 1) return;
    // Passes read the fixed resolution.
    pauseFilterThread();
    m_resolution = n;
    wakeFilterThread();
}

void aglGraphData::setDataClamp(bool on) {
    // Passes read both flags as they prepare their filter.
    pauseFilterThread();
    m_dataClamp = on;
    wakeFilterThread();
}

void aglGraphData::setAxisAutoScale(bool on) {
    pauseFilterThread();
    m_axisAutoScale = on;
    wakeFilterThread();
}

int aglGraphData::finalLevel() const {
    const int wanted = m_finalLevel.load();
    if (wanted < 0 || !m_resolutionAutoAdjust) return -1;
    // A level that samples every element is the finest there is.
    int L = 0;
    while (L < wanted && m_levels[L]->resolution != 1)
        ++L;
    return L;
}

int aglGraphData::resolution(int L) const {
    return m_resolutionAutoAdjust ? level(L).resolution : m_resolution;
}

void aglGraphData::setResolutionAutoAdjust(bool on) {
    // Passes read the flag and the levels' resolutions.
    pauseFilterThread();
    m_resolutionAutoAdjust = on;
    if (on) recomputeResolutions();
    wakeFilterThread();
}

// --- Palette range ---------------------------------------------------------

void aglGraphData::setPaletteRange(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum < minimum) return;
    m_paletteMin = minimum;
    m_paletteMax = maximum;
}

void aglGraphData::paletteRange(double& minimum, double& maximum) const {
    minimum = m_paletteMin;
    maximum = m_paletteMax;
}

void aglGraphData::setPaletteAutoAdjust(bool on) {
    m_paletteAutoAdjust = on;
}

aglGraphData::PaletteMapping aglGraphData::paletteMapping(int currentLevel) const {
    PaletteMapping m;
    m.component = 0;
    if (m_graphType == 3) {
        m.component = 3;
        if (m_componentsInUse < 4) return m; // no W component: nothing to colour by
    }
    double scale = 1.0, offset = 0.0;
    if (currentLevel >= 0 && currentLevel < agl::kLevelCount) {
        const aglFilter& f = level(currentLevel).filter;
        scale = f.componentScale(m.component);
        offset = f.componentOffset(m.component);
    }
    // Only a scale that cannot be inverted falls back to 1. A small one is
    // simply a wide range: 0.8 / 1e6 for data spanning a million, 0.8 / 2e38
    // for the widest a float holds; treating those as 1 drew every value in
    // the palette's first colour.
    if (!std::isfinite(scale) || scale == 0.0 || !std::isfinite(1.0 / scale)) scale = 1.0;
    m.valueScale = 1.0 / scale;
    m.valueOffset = -offset / scale;
    if (m_paletteAutoAdjust) {
        m.minimum = m_overallMin[m.component];
        m.maximum = m_overallMax[m.component];
    } else {
        m.minimum = m_paletteMin;
        m.maximum = m_paletteMax;
    }
    // No data yet, or a constant array: still a range a palette can divide by.
    agl::widenRange(m.minimum, m.maximum);
    m.valid = true;
    return m;
}

void aglGraphData::recomputePaletteRange(int currentLevel) {
    const PaletteMapping m = paletteMapping(currentLevel);
    if (m.valid) paletteChanged(m);
}

// --- Ranges, levels, cursor ------------------------------------------------

void aglGraphData::overallRange(int c, double& minimum, double& maximum) const {
    if (c < 0 || c >= aglFilter::kMaxComponents) {
        minimum = maximum = 0.0;
        return;
    }
    minimum = m_overallMin[c];
    maximum = m_overallMax[c];
}

void aglGraphData::setBudget(int L, int64_t budget) {
    level(L).budget = std::clamp(budget, agl::kMinBudget, agl::kMaxBudget);
}

bool aglGraphData::recomputeResolutions() {
    if (!m_resolutionAutoAdjust) return false;
    int32_t cs, rs, cc, rc;
    m_array->planeRoi(cs, rs, cc, rc);
    bool changed = false;
    for (int L = 0; L < agl::kLevelCount; ++L) {
        Level& lv = *m_levels[L];
        const int r = agl::levelResolution(cc, rc, lv.budget, L, m_graphType);
        if (r != lv.resolution) {
            lv.resolution = r;
            lv.dirty = true;
            changed = true;
        }
    }
    return changed;
}

void aglGraphData::setCursor(int64_t row, int64_t column) {
    m_cursorRow = row;
    m_cursorColumn = column;
}

double aglGraphData::valueAtCursor() const {
    int64_t column = m_cursorColumn;
    if (m_graphType == 3) {
        // The W column is a column of the window, as in the grid.
        int32_t cs, rs, cc, rc;
        m_array->planeRoi(cs, rs, cc, rc);
        const int w = m_components[3];
        column = int64_t(cs) + ((w < 0 || w >= cc) ? 0 : w);
    }
    return m_array->value(column, m_cursorRow);
}

// --- Passes ----------------------------------------------------------------

bool aglGraphData::nextPass(int currentLevel, int& L, bool& full) const {
    if (m_graphType == 0) return false;
    if (m_graphType == 3) {
        int32_t cs, rs, cc, rc;
        m_array->planeRoi(cs, rs, cc, rc);
        bool any = false;
        for (int c = 0; c < aglFilter::kMaxComponents; ++c)
            any = any || (m_components[c] >= 0 && m_components[c] < cc);
        if (!any) return false; // a vector graph of nothing: no pass would ever finish
    }
    const auto pending = [this](int k) {
        return !m_levels[k]->filter.isDone() || m_levels[k]->dirty;
    };
    full = true;
    if (!m_resolutionAutoAdjust) {
        if (currentLevel < 0 || currentLevel >= agl::kLevelCount) currentLevel = 0;
        L = currentLevel;
        return pending(L);
    }
    if (const int final = finalLevel(); final >= 0) {
        // One full pass of that level gives both its grid and the range.
        L = final;
        return pending(L);
    }
    const Level &l0 = *m_levels[0], &l1 = *m_levels[1];
    if (pending(0))
        L = 0;
    else if (l0.resolution != 1 && pending(1))
        L = 1;
    else if (l1.resolution != 1 && pending(2))
        L = 2;
    else if (l0.resolution != 1 && l0.fullPass)
        L = 0, full = false;
    else if (l1.resolution != 1 && l1.fullPass)
        L = 1, full = false;
    else
        return false;
    return true;
}

void aglGraphData::prepareScalar(aglFilter& f) {
    f.setComponentCount(0);
    f.setClampEnabled(m_dataClamp);
    f.setShiftToFirstSample(m_axisAutoScale);
    if (m_axisAutoScale) {
        f.setClamp(0, -agl::kDoubleLimit, agl::kDoubleLimit);
        f.setComponentScale(0, 1.0, 0.0);
        return;
    }
    const double lo = m_clampMin[2];
    double hi = m_clampMax[2];
    if (hi - lo < agl::kMinRangeWidth) hi = lo + agl::kMinRangeWidth;
    // Clamps so large that lo + 1e-5 == lo must not reach the division.
    double scale, offset;
    agl::boxMapping(m_scale[2], lo, hi, &scale, &offset);
    f.setClamp(0, lo, hi);
    f.setComponentScale(0, scale, offset);
}

bool aglGraphData::prepareVector(aglFilter& f) {
    int32_t cs, rs, cc, rc;
    m_array->planeRoi(cs, rs, cc, rc);
    // Sources are columns of the window: one at or beyond its column count
    // counts as unused (it would read into the next row, or past the data).
    int count = 0;
    for (int c = aglFilter::kMaxComponents - 1; c >= 0; --c) {
        const int s = m_components[c];
        const int source = (s < 0 || s >= cc) ? -1 : s;
        f.setSourceColumn(c, source);
        if (source >= 0 && count == 0) count = c + 1;
    }
    m_componentsInUse = count;
    if (count == 0) return false;
    f.setComponentCount(count);
    f.setClampEnabled(m_dataClamp);
    f.setShiftToFirstSample(m_axisAutoScale);
    for (int c = 0; c < count; ++c) {
        if (m_axisAutoScale || c == 3) {
            f.setClamp(c, -agl::kDoubleLimit, agl::kDoubleLimit);
            f.setComponentScale(c, 1.0, 0.0);
            continue;
        }
        const double lo = m_clampMin[c];
        double hi = m_clampMax[c];
        if (hi - lo < agl::kMinRangeWidth) hi = lo + agl::kMinRangeWidth;
        double scale, offset;
        agl::boxMapping(m_scale[c], lo, hi, &scale, &offset);
        f.setClamp(c, lo, hi);
        f.setComponentScale(c, scale, offset);
    }
    return true;
}

void aglGraphData::mergeAndScale(int L, bool full, int c, double axisScaleOfComponent) {
    aglFilter& f = m_levels[L]->filter;
    double pmax, pmin;
    f.range(c, pmax, pmin);
    double& omin = m_overallMin[c];
    double& omax = m_overallMax[c];
    if (full && L == 0) {
        omin = pmin;
        omax = pmax;
    } else if (full) {
        omax = std::max(omax, pmax);
        omin = std::min(omin, pmin);
        pmin = omin;
        pmax = omax;
    } else {
        pmin = omin;
        pmax = omax;
    }
    agl::widenRange(pmin, pmax);
    if (m_axisAutoScale) {
        agl::roundRangeOutward(pmin, pmax);
        double scale, offset;
        agl::boxMapping(axisScaleOfComponent, pmin, pmax, &scale, &offset);
        f.setComponentScale(c, scale, offset);
        f.reapplyScale(c);
    }
    f.setRange(c, pmin, pmax);
}

aglGraphData::ExactRanges aglGraphData::exactRanges(int L, bool full) const {
    ExactRanges r;
    if (L < 0 || L >= agl::kLevelCount || !m_array || m_graphType <= 0) return r;
    // No level will sample every element: the extremes may lie between the
    // samples, and the palette and the value axis would name a narrower
    // range than the data's. The finest pass takes the window's exact range
    // instead of its samples'.
    if (!full || resolution(L) == 1 || (L != agl::kLevelCount - 1 && m_resolutionAutoAdjust))
        return r;
    r.due = true;
    const bool vector = m_graphType == 3;
    int32_t cs, rs, cc, rc;
    m_array->planeRoi(cs, rs, cc, rc);
    // The pass's own components, sources and clamps (prepareScalar and
    // prepareVector give the filter the same).
    for (int c = 0; c < (vector ? aglFilter::kMaxComponents : 1); ++c) {
        int source = -1;
        double lo = -agl::kDoubleLimit, hi = agl::kDoubleLimit;
        if (vector) {
            source = m_components[c];
            if (source < 0 || source >= cc) continue;
        }
        const int k = vector ? c : 2;
        if (!m_axisAutoScale && !(vector && c == 3)) {
            lo = m_clampMin[k];
            hi = std::max(m_clampMax[k], lo + agl::kMinRangeWidth);
        }
        r.found[c] = aglFilter::scanWindow(*m_array, source, m_dataClamp, lo, hi, r.minimum[c],
                                           r.maximum[c], m_passCut);
        if (m_passCut && m_passCut->load(std::memory_order_relaxed)) {
            r.cut = true;
            return r;
        }
    }
    return r;
}

bool aglGraphData::runPass(int L, bool full, const ExactRanges* exact, bool cuttable) {
    if (L < 0 || L >= agl::kLevelCount || m_graphType < 0) return false;
    Level& lv = *m_levels[L];
    ExactRanges own;
    if (!exact) {
        own = exactRanges(L, full);
        exact = &own;
    }
    // Paused half-way through the scan: nothing of the level has changed,
    // and it is still due.
    if (exact->cut) return false;
    aglFilter& f = lv.filter;
    LevelLock lock(f);
    f.setArray(m_array.get());
    const bool vector = m_graphType == 3;
    if (vector) {
        if (!prepareVector(f)) return false;
    } else {
        prepareScalar(f);
    }
    if (!f.filter(resolution(L), cuttable ? m_passCut : nullptr)) return false;
    if (exact->due) {
        for (int c = 0; c < (vector ? f.componentCount() : 1); ++c)
            if (exact->found[c]) f.setRange(c, exact->minimum[c], exact->maximum[c]);
    }
    if (vector) {
        for (int c = 0; c < f.componentCount(); ++c)
            mergeAndScale(L, full, c, m_scale[c]);
    } else {
        mergeAndScale(L, full, 0, m_scale[2]);
    }
    lv.dirty = false;
    lv.fullPass = full;
    return true;
}

int aglGraphData::runPendingPasses(int currentLevel) {
    int passes = 0;
    int L;
    bool full;
    // Each pass clears a dirty flag or a full-pass flag, so this ends; the
    // bound only guards against a pass that keeps failing.
    while (passes < 16 && nextPass(currentLevel, L, full)) {
        if (!runPass(L, full)) break;
        ++passes;
    }
    return passes;
}
