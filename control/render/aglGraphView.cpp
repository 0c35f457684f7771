#include "aglGraphView.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "aglArray.h"
#include "aglAxisTicks.h"
#include "aglHeightMeshObj.h"
#include "aglHeightPlotObj.h"
#include "aglImageMapObj.h"
#include "aglTrace.h"

namespace {

using Clock = std::chrono::steady_clock;

// The home position of the camera.
constexpr float kHomeCenter[3] = {0.5f, 0.5f, 0.3f};
constexpr float kHomeDistance = 3.0f;
constexpr float kHomeElevation = 26.0f;
constexpr float kHomeAzimuth = -108.5f;
constexpr int kInitialPalette = 4;

} // namespace

std::unique_ptr<aglGraphObj> aglMakeGraphObject(int graphType) {
    switch (graphType) {
    case 1:
        return std::make_unique<aglHeightPlotObj>();
    case 2:
        return std::make_unique<aglImageMapObj>();
    case 3:
        return std::make_unique<aglHeightMeshObj>();
    default:
        return std::make_unique<aglGraphObj>();
    }
}

aglGraphView::aglGraphView() {
    for (int L = 0; L < agl::kLevelCount; ++L)
        m_graphs[L] = aglMakeGraphObject(0);
}

aglGraphView::~aglGraphView() {
    Detach();
    // The scene list points at members that go before the base's context.
    Context().ClearObjects();
    Context().SetPaletteMarker(nullptr);
    Context().SetGraph(nullptr);
}

// --- creation, destruction, size ----------------------------------------------

int aglGraphView::Attach(bool lowPriority) {
    if (m_attached) return 0;
    m_attached = true;
    aglView::Attach(lowPriority);
    recomputeResolutions();

    m_bar.SetPickId(aglPaletteBarObj::kPickId);
    m_bar.SetShowLabels(true);
    m_bar.SetVisible(m_showPalette);
    Context().AddObject(&m_bar);
    // Over every finished picture the bar marks the value at the cursor.
    Context().SetPaletteMarker(&m_bar);
    aglCameraObj& cam = Camera();
    cam.SetCenter(kHomeCenter[0], kHomeCenter[1], kHomeCenter[2]);
    cam.SetDistance(kHomeDistance);
    cam.SetElevation(kHomeElevation);
    cam.SetAzimuth(kHomeAzimuth);
    cam.SaveHome();
    Context().AddObject(&cam);
    m_axis.SetExtents(1.0f, 1.0f, 1.0f);
    m_bar.SetPaletteId(kInitialPalette);
    boundGraph().SetPalette(&m_bar);
    boundGraph().SetUseColorPalette(true);
    Context().AddObject(&m_axis);
    setGraphType(1, false);
    if (!resolutionAutoAdjust()) Context().SetAntiAliasPasses(m_numAntiAliasPasses);
    setPassCut(&m_filterThread.cutShort());
    m_filterThread.start(
        [this](int& L, bool& full) { return nextPass(m_currentLevel.load(), L, full); },
        [this](int L, bool full) { runFilterPass(L, full); }, lowPriority);
    layOut();
    return 0;
}

void aglGraphView::Detach() {
    stopFilterThread();
    aglView::Detach();
}

void aglGraphView::stopFilterThread() {
    m_filterThread.stop();
}

void aglGraphView::Resize(int width, int height) {
    // The axes read the shown level's range, which passes write.
    pauseFilterThread();
    pauseRenderThread();
    aglView::Resize(width, height);
    layOut();
    if (graphType() != 0) {
        recomputeAxes();
        m_gridLinesStale = true;
    }
    // A new size may change the image map's finest resolution: refilter.
    recomputeResolutions();
    for (int L = 0; L < agl::kLevelCount; ++L)
        level(L).dirty = true;
    wakeFilterThread();
    wakeRenderThread();
    setLevel(0, true);
}

// The palette bar's strip and the camera's part of the window.
void aglGraphView::layOut() {
    const int w = ClientWidth(), h = ClientHeight();
    const bool shown = m_showPalette && graphType() != 0;
    const aglPalette::Strip strip =
        aglPalette::StripFor(w, h, shown, m_bar.ShowsLabels(), graphType());
    m_bar.SetArea(strip.left, strip.top, strip.right, strip.bottom);
    m_bar.SetVisible(shown);
    Camera().SetViewport(m_showPalette && graphType() == 0 ? 0 : strip.graphWidth, h);
}

// --- threads -----------------------------------------------------------------------

void aglGraphView::pauseFilterThread() {
    m_filterThread.pause();
}

void aglGraphView::wakeFilterThread() {
    m_filterThread.wake();
}

void aglGraphView::pauseRenderThread() {
    if (Context().Command() == ThreadCommand::Continuous) m_resumeContinuous = true;
    const auto start = Clock::now();
    Context().Pause();
    m_longestRenderWait =
        std::max(m_longestRenderWait, std::chrono::duration<double>(Clock::now() - start).count());
}

void aglGraphView::wakeRenderThread() {
    if (m_resumeContinuous || SpinMode()) {
        m_resumeContinuous = false;
        Context().StartContinuous();
    } else {
        Context().Resume();
    }
}

double aglGraphView::takeLongestRenderWait() {
    const double t = m_longestRenderWait;
    m_longestRenderWait = 0.0;
    return t;
}

// Filter thread: one pass, then the flags the tick reads.
void aglGraphView::runFilterPass(int L, bool full) {
    // The whole window of a large array is read before the level's data
    // lock is taken: frames and the control's level steps would wait for
    // that lock for the length of the scan.
    const ExactRanges exact = exactRanges(L, full);
    aglFilter& f = filter(L);
    // The render thread holds the shown level's data for a whole frame. A
    // pause that comes while this thread waits for it is not kept waiting
    // for that frame: the pass gives up, and the level stays due.
    const std::atomic<bool>& cut = m_filterThread.cutShort();
    while (!f.tryLockData()) {
        if (cut.load(std::memory_order_relaxed)) return;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    struct Unlock {
        aglFilter& f;
        ~Unlock() { f.unlockData(); }
    } unlock{f};
    // A level not on screen gives way to a pause at once: the control's
    // thread waits for nothing but the rows in hand. The shown level's pass
    // runs to its end, so the picture always has its data.
    if (!runPass(L, full, &exact, L != m_currentLevel.load())) return;
    m_graphs[L]->Refresh();
    m_newData.store(true);
    m_passFinished.store(true);
    if (m_passDone) m_passDone();
}

// --- levels ------------------------------------------------------------------------

bool aglGraphView::levelReady(int L) const {
    const aglFilter& f = level(L).filter;
    return f.isDone() && !f.inPass();
}

int aglGraphView::currentResolution() const {
    if (!resolutionAutoAdjust()) return fixedResolution();
    const int L = m_currentLevel.load();
    return level(L < 0 ? 0 : L).resolution;
}

void aglGraphView::setLevel(int L, bool kick) {
    if (resolutionAutoAdjust() && m_budgetsChanged) {
        m_budgetsChanged = false;
        pauseFilterThread();
        const bool changed = recomputeResolutions();
        if (changed) {
            reset(-1);
            return;
        }
        wakeFilterThread();
    }
    if (L < 0 || L >= agl::kLevelCount) return;

    // Anti-aliasing and line smoothing belong to the finest picture.
    const bool fine = L == 2 || resolution(L) == 1;
    const int wantPasses = fine ? m_numAntiAliasPasses : 0;
    const bool wantSmooth = fine && m_lineSmooth;
    const bool captureWaiting = false; // capture requests come with the metafile writer
    const int current = m_currentLevel.load();

    int chosen = L;
    if (!levelReady(L)) {
        // A final picture shows its own level or nothing: never a coarser
        // one while its own is filtered (nor the placeholder's, before the
        // data is bound).
        if (finalLevel() >= 0) return;
        if (L > 0 && levelReady(L - 1) && !captureWaiting)
            chosen = L - 1;
        else if (L == 2 && levelReady(0))
            chosen = 0;
        else
            return;
    }
    if (chosen == current && m_axesProvisional && levelReady(chosen)) {
        // The axes were laid out before the level's pass ended, with a
        // placeholder range; it has ended since: lay them out again.
        pauseFilterThread();
        pauseRenderThread();
        recomputeAxes();
        wakeRenderThread();
        wakeFilterThread();
    }
    if (chosen == current && !m_newData.load() && !m_gridLinesStale && !captureWaiting) {
        if (Context().AntiAliasPasses() == wantPasses && Context().LineSmooth() == wantSmooth)
            return;
        Context().SetAntiAliasPasses(wantPasses);
        Context().SetLineSmooth(wantSmooth);
        wakeRenderThread();
        return;
    }

    aglTrace("setting LOD level to: %d\n", chosen);
    m_newData.store(false);
    // A frame of the old level is abandoned rather than waited for: the
    // control's thread never waits for a whole frame (or for a frame that
    // waits for data).
    pauseRenderThread();

    aglGraphObj& previous = boundGraph();
    aglGraphObj& next = *m_graphs[chosen];
    aglFilter& f = filter(chosen);
    {
        // The filter thread may start a pass of this level meanwhile; its
        // grid-size reads and this object's settings meet under the data lock.
        aglFilter::DataLock lock(f);
        if (&next != &previous) next.copySettingsFrom(previous);
        if (m_gridLinesStale) recomputeGridLines();
        next.SetDataSource(m_type == 0 ? nullptr : &f);
        aglTrace("updating graph gridlines %dx%d\n", m_numXGridLines, m_numYGridLines);
        next.SetNumGridLines(m_numXGridLines, m_numYGridLines);
        next.SetClip(!axisAutoScale() && !dataClamp());
        int32_t c0, r0, nc, nr;
        planeWindow(c0, r0, nc, nr);
        next.SetCursorCell(int(cursorRow() - r0), int(cursorColumn() - c0),
                           std::max(1, f.rowStep()), std::max(1, f.columnStep()));
    }
    m_bar.SetLabelKind(array().numericClass() == AGL_CLASS_FLOAT ? aglPalette::kFloatingLabels : 0);
    m_currentLevel.store(chosen);
    // A level shown for the first time since the data changed, or the shown
    // level filtered again (its pass may have ended after the palette and
    // the axes were taken from a pass still under way).
    if (chosen >= m_levelsShown || chosen == current) {
        // The overall ranges are merged by every pass: read them paused.
        pauseFilterThread();
        recomputePaletteRange(chosen);
        recomputeAxes();
        m_levelsShown = std::max(m_levelsShown, chosen + 1);
        wakeFilterThread();
    }
    putInScene(chosen);

    if (Context().AntiAliasPasses() != wantPasses) Context().SetAntiAliasPasses(wantPasses);
    Context().SetLineSmooth(wantSmooth);
    if (kick)
        wakeRenderThread();
    else
        m_resumeContinuous = false;
}

// Render thread paused.
void aglGraphView::putInScene(int L) {
    aglGraphObj& next = *m_graphs[L];
    aglRenderContext::SceneLock lock(Context());
    if (m_graphInScene) Context().RemoveObject(m_graphs[m_bound].get());
    Context().AddObject(&next);
    Context().SetGraph(&next);
    m_graphInScene = true;
    m_bound = L;
}

void aglGraphView::levelsReset(int L) {
    for (int k = 0; k < agl::kLevelCount; ++k)
        if (L < 0 || L == k) m_graphs[k]->Invalidate();
    m_levelsShown = 0;
    m_gridLinesStale = true;
    // A final picture starts (and stays) at its own level.
    const int first = std::max(0, finalLevel());
    if (m_currentLevel.load() == first) {
        wakeRenderThread();
        return;
    }
    setLevel(first, true);
    if (m_currentLevel.load() == first) return;
    // Level 0 has no grid yet, but the object shown until now must leave the
    // scene all the same: its level may never be filtered again. Passes stop
    // at the first level that samples every element, so once a window within
    // level 1's point budget (4096 elements at first) replaces a larger one,
    // level 2 stays empty for good (within level 0's, level 1 too). A frame
    // drawn with that level's object would wait for its grid for ever, and
    // the tick, which never steps while a frame is being drawn, would never
    // show level 0 either: the picture stayed blank or kept the old array.
    // Level 0's pass runs first; frames wait for it instead, and the tick
    // shows the level once it is ready.
    aglGraphObj& next = *m_graphs[first];
    if (&next != &boundGraph()) {
        aglFilter::DataLock lock(filter(first));
        next.copySettingsFrom(boundGraph());
        next.SetDataSource(m_type == 0 ? nullptr : &filter(first));
    }
    m_currentLevel.store(-1);
    putInScene(first);
    wakeRenderThread();
}

void aglGraphView::segmentBound() {
    m_currentLevel.store(-1);
    m_gridLinesStale = true;
    // Put the cursor back inside the new window (every element: no level
    // gives steps yet).
    int32_t c0, r0, nc, nr;
    planeWindow(c0, r0, nc, nr);
    const int64_t row = std::clamp<int64_t>(cursorRow(), r0, int64_t(r0) + std::max(1, nr) - 1);
    const int64_t col = std::clamp<int64_t>(cursorColumn(), c0, int64_t(c0) + std::max(1, nc) - 1);
    setCursor(row, col);
}

void aglGraphView::paletteChanged(const PaletteMapping& m) {
    m_bar.SetValueMapping(m.valueScale, m.valueOffset);
    m_bar.SetRange(m.minimum, m.maximum);
}

// The axes: x counts columns, y rows of the window; z carries the values of
// the range the box maps (the shown level's rounded range).
void aglGraphView::recomputeAxes() {
    const aglArray& a = array();
    int32_t c0, r0, nc, nr;
    planeWindow(c0, r0, nc, nr);
    agl::AxisInput in;
    in.graphType = graphType() == 0 ? 1 : graphType();
    in.width = ClientWidth();
    in.height = ClientHeight();
    const AxisRequest& r = m_axisRequest;
    in.autoDetail = r.autoDetail;
    in.fontAutoScale = r.fontAutoScale;
    for (int k = 0; k < 3; ++k) {
        in.requestedMajor[k] = r.requestedMajor[k];
        in.requestedMinor[k] = r.requestedMinor[k];
    }
    // x counts columns, y rows: the scales of the column and row dimensions.
    const auto scaleOf = [&](int dim) {
        return r.useScales && dim >= 0 && dim < 7 ? r.scale[dim] : nullptr;
    };
    for (int k = 0; k < 2; ++k) {
        std::shared_ptr<const aglSegment> scale = scaleOf(k == 0 ? a.colDim() : a.rowDim());
        in.scale[k] = scale.get();
        // The axis object prints the scale's elements at the ticks.
        m_axis.SetAxisScale(k, std::move(scale));
    }
    in.roiFirst[0] = c0;
    in.roiLength[0] = nc;
    in.roiFirst[1] = r0;
    in.roiLength[1] = nr;
    in.lowerBound[0] = a.lowerBound(a.colDim());
    in.lowerBound[1] = a.lowerBound(a.rowDim());
    if (graphType() == 2) {
        in.reversed[0] = (r.imageOrientation & 1) != 0;
        in.reversed[1] = (r.imageOrientation & 2) != 0;
    }
    const int L = std::max(0, m_currentLevel.load());
    m_axesProvisional = !levelReady(L);
    // z carries values; every axis of the vector graph carries its component's.
    const bool vector = graphType() == 3;
    for (int axis = vector ? 0 : 2; axis < 3; ++axis) {
        double hi = 1.0, lo = -1.0;
        if (filter(L).isDone()) filter(L).range(vector ? axis : 0, hi, lo);
        in.minimum[axis] = lo;
        in.maximum[axis] = hi;
    }
    in.integerData = a.numericClass() != AGL_CLASS_FLOAT;
    applyBox();
    // The image map's ticks sit at cell centres.
    m_axis.SetTicksOnEdges(graphType() != 2);
    m_axis.SetCellCount(0, graphType() == 2 ? nc : 0);
    m_axis.SetCellCount(1, graphType() == 2 ? nr : 0);
    m_axis.ApplyLayout(agl::recomputeAxes(in));
}

void aglGraphView::boxExtents(double& x, double& y, double& z) const {
    axisScales(x, y, z);
    if (m_imageAspect != 1 || graphType() != 2) return;
    int32_t c0, r0, nc, nr;
    planeWindow(c0, r0, nc, nr);
    if (nc < 1 || nr < 1 || !(x > 0) || !(y > 0)) return;
    // Square cells: the side that limits the cell size keeps its scale.
    const double cell = std::min(x / double(nc), y / double(nr));
    const double sx = x, sy = y;
    x = cell * double(nc);
    y = cell * double(nr);
    // A strip of a few rows (or columns) would be a line a few pixels wide:
    // beyond kMaxBoxAspect to one its cells grow across it instead.
    if (x > y * kMaxBoxAspect) y = std::min(sy, x / kMaxBoxAspect);
    if (y > x * kMaxBoxAspect) x = std::min(sx, y / kMaxBoxAspect);
}

void aglGraphView::applyBox() {
    double xs = 1, ys = 1, zs = 0.8;
    boxExtents(xs, ys, zs);
    for (const auto& g : m_graphs)
        if (g) g->SetExtents(float(xs), float(ys), float(zs));
    m_axis.SetExtents(float(xs), float(ys), float(zs));
    // With the data's aspect the top view keeps one box unit as many
    // pixels across as up, so that the box's proportions reach the screen.
    Camera().SetBoxFit(m_imageAspect == 1 && graphType() == 2, float(xs), float(ys), float(zs));
}

bool aglGraphView::setBoxScales(double x, double y, double z) {
    const bool refilter = setAxisScales(x, y, z);
    // setAxisScales leaves the render thread paused and wakes the filter
    // thread; the axes read the shown level's range, which passes write.
    pauseFilterThread();
    if (graphType() != 0)
        recomputeAxes();
    else
        applyBox();
    wakeFilterThread();
    wakeRenderThread();
    return refilter;
}

void aglGraphView::setImageAspect(int mode) {
    if (mode < 0 || mode > 1 || mode == m_imageAspect) return;
    pauseFilterThread();
    pauseRenderThread();
    m_imageAspect = mode;
    if (graphType() != 0)
        recomputeAxes();
    else
        applyBox();
    m_gridLinesStale = true;
    wakeFilterThread();
    wakeRenderThread();
}

bool aglGraphView::movingContinuously() const {
    return SpinMode() || m_resumeContinuous || Context().Command() == ThreadCommand::Continuous;
}

// --- the tick ---------------------------------------------------------------------

void aglGraphView::tick(bool mayStep) {
    if (graphType() == 0) return;
    const uint32_t frames = Context().FrameCount();
    if (frames > m_lastFrameSeen) {
        m_lastFrameSeen = frames;
        const float t = frameTime();
        if (m_rndrPass && !m_eventsFrozen)
            m_rndrPass(t, int(Context().LastFrameMode()), currentResolution(),
                       Context().AntiAliasPassIndex(), Context().IsAccumulationComplete(), 0);
    }
    const bool continuous = movingContinuously();
    if (!continuous && mayStep && Context().State() != ThreadState::Busy) {
        stepLevel(nextLevelToShow());
    } else if (continuous && m_budgetsChanged && filterThreadState() != FilterThreadState::Busy) {
        // While the picture moves, new budgets take effect at once, but never
        // by waiting for a pass to end: the next tick tries again.
        setLevel(std::max(0, m_currentLevel.load()), true);
    }
}

bool aglGraphView::levelsSettled() const {
    if (graphType() == 0) return true;
    const int L = m_currentLevel.load();
    if (L < 0 || m_passFinished.load()) return false;
    if (Context().FrameCount() != m_lastFrameSeen) return false;
    return nextLevelToShow() == L;
}

int aglGraphView::nextLevelToShow() const {
    const int final = finalLevel();
    return final >= 0 ? final : agl::nextLevel(m_currentLevel.load(), currentResolution());
}

void aglGraphView::stepLevel(int next) {
    if (graphType() == 0) return;
    if (m_passFinished.load()) {
        int highest = -1;
        for (int L = 2; L >= 0 && highest < 0; --L)
            if (filter(L).isDone()) highest = L;
        if (highest >= 0) {
            // One level per step, coarsest first: a finer pass that finished
            // early is reported when the display steps up to it.
            const int reported = std::min(highest, std::max(0, next));
            fireFltrPass(reported);
            m_passFinished.store(reported < highest);
        }
    }
    setLevel(next, true);
}

void aglGraphView::fireFltrPass(int L) {
    if (!m_fltrPass || m_eventsFrozen) return;
    const aglFilter& f = filter(L);
    aglFilter::DataLock lock(f); // a partial pass may be re-ranging the level
    const int components = graphType() == 3 ? f.componentCount() : 1;
    for (int c = 0; c < components; ++c) {
        double maximum = 0.0, minimum = 0.0;
        f.range(c, maximum, minimum);
        m_fltrPass(L, c, minimum, maximum);
    }
}

float aglGraphView::frameTime() {
    const float t = Context().LastFrameTime();
    const int L = m_currentLevel.load();
    // Nothing to adapt while no level is shown, while the finished anti-aliased
    // picture is only shown again, or while new budgets wait to be applied.
    if (L < 0 || Context().IsAccumulationComplete() || m_budgetsChanged) return t;
    // A final picture is drawn once: its time says nothing about the next
    // frame, and new budgets would refilter the level it is kept at.
    if (finalLevel() >= 0) return t;
    double target = agl::kTargetFrameTime[L];
    if (L == 2 && m_numAntiAliasPasses != 0) target = agl::kAntiAliasTarget;
    if (movingContinuously()) target = agl::kInteractiveFrameTime;
    int64_t budgets[agl::kLevelCount];
    for (int k = 0; k < agl::kLevelCount; ++k)
        budgets[k] = level(k).budget;
    if (agl::adaptBudgets(budgets, m_rings, L, t, target, level(L).resolution)) {
        for (int k = 0; k < agl::kLevelCount; ++k)
            level(k).budget = budgets[k];
        m_budgetsChanged = true;
    }
    return t;
}

void aglGraphView::ToggleSpin() {
    if (!SpinMode()) {
        setLevel(0, true);
        SetSpinMode(true);
        Context().StartContinuous();
    } else {
        SetSpinMode(false);
        m_resumeContinuous = false;
        Context().StopContinuous();
        Context().Resume();
    }
}

// --- graph type ----------------------------------------------------------------------

void aglGraphView::setGraphType(int T, bool reset) {
    if (T < 0 || T > 3) return;
    if (T == m_type && T == graphType()) return;
    // The filter thread refreshes the levels' objects after its passes: it
    // must not meet the ones about to be deleted.
    pauseFilterThread();
    std::unique_ptr<aglGraphObj> fresh[agl::kLevelCount];
    for (int L = 0; L < agl::kLevelCount; ++L) {
        fresh[L] = aglMakeGraphObject(T);
        fresh[L]->copySettingsFrom(*m_graphs[L]);
        fresh[L]->SetDataSource(T == 0 ? nullptr : &filter(L));
    }
    aglGraphData::setGraphType(T);
    pauseRenderThread();
    {
        aglRenderContext::SceneLock lock(Context());
        if (m_graphInScene) Context().RemoveObject(m_graphs[m_bound].get());
        for (int L = 0; L < agl::kLevelCount; ++L)
            m_graphs[L] = std::move(fresh[L]);
        m_bound = 0;
        Context().AddObject(m_graphs[0].get());
        Context().SetGraph(m_graphs[0].get());
        m_graphInScene = true;
    }
    m_type = T;
    if (m_currentLevel.load() > 0) m_currentLevel.store(0);
    // The box is the new type's before any frame draws the new objects: the
    // render thread may draw level 0 as soon as its pass ends, before the
    // tick shows the level and lays the axes out (the image map's square
    // cells left a height plot drawn, and lit, in a box of the image's
    // proportions).
    applyBox();
    layOut();
    if (reset)
        aglGraphData::reset(-1);
    else
        wakeFilterThread();
    wakeRenderThread();
}

// --- grid lines -------------------------------------------------------------------------

void aglGraphView::setGridDensity(float pixels) {
    if (!(pixels > 0.0f)) return;
    m_gridDensity = pixels;
    m_gridLinesStale = true;
}

void aglGraphView::setGridDensityAutoAdjust(bool on) {
    m_gridDensityAutoAdjust = on;
    m_gridLinesStale = true;
}

void aglGraphView::setGridLines(int x, int y) {
    m_gridLinesStale = true;
    if (m_gridDensityAutoAdjust || x < 1 || y < 1) return;
    m_numXGridLines = x;
    m_numYGridLines = y;
}

void aglGraphView::gridLines(int& x, int& y) const {
    x = m_numXGridLines;
    y = m_numYGridLines;
}

void aglGraphView::recomputeGridLines() {
    m_gridLinesStale = false;
    if (!m_gridDensityAutoAdjust) return;
    int32_t c0, r0, nc, nr;
    planeWindow(c0, r0, nc, nr);
    int x = 1, y = 1;
    if (finalLevel() >= 0) {
        // Level 0 is never filtered for a final picture: the shape its grid
        // would have, so that the lines are those of a stepped picture.
        int rowStep = 1, columnStep = 1, rows = 1, columns = 1;
        aglFilter::steps(std::max(nc, 1), std::max(nr, 1), resolution(0), filter(0).maxSamples(),
                         rowStep, columnStep, rows, columns);
        if (filter(0).componentCount() > 0) columns = filter(0).componentCount();
        agl::gridLineCounts(nc, nr, ClientWidth(), ClientHeight(), m_gridDensity, columns, rows, &x,
                            &y);
    } else {
        // A partial pass may be reshaping level 0's grid right now.
        aglFilter::DataLock level0(filter(0));
        agl::gridLineCounts(nc, nr, ClientWidth(), ClientHeight(), m_gridDensity, level0.columns(),
                            level0.rows(), &x, &y);
    }
    if (x != m_numXGridLines || y != m_numYGridLines) aglTrace("new grid res!\n");
    m_numXGridLines = x;
    m_numYGridLines = y;
    aglTrace("new num gridlines: (%d:%d)\n", x, y);
}

// --- display -----------------------------------------------------------------------------

void aglGraphView::setNumAntiAliasPasses(int n) {
    if (n < 0 || n > 32) return;
    m_numAntiAliasPasses = n;
    const int L = m_currentLevel.load();
    if (L == 2 || (L >= 0 && resolution(L) == 1) || !resolutionAutoAdjust())
        Context().SetAntiAliasPasses(n);
}

void aglGraphView::setLineSmooth(bool on) {
    m_lineSmooth = on;
    const int L = m_currentLevel.load();
    if (L == 2 || (L >= 0 && resolution(L) == 1)) Context().SetLineSmooth(on);
}

void aglGraphView::setAxisRequest(const AxisRequest& request) {
    // The axes read the shown level's range, which passes write.
    pauseFilterThread();
    pauseRenderThread();
    m_axisRequest = request;
    if (graphType() != 0) recomputeAxes();
    wakeRenderThread();
    wakeFilterThread();
}

void aglGraphView::setShowPalette(bool on) {
    pauseRenderThread();
    m_showPalette = on;
    layOut();
    wakeRenderThread();
}
