// aglGraphData: the data-access side of the graph control's engine object.
//
// It holds everything the control knows about the data it shows, and nothing
// that draws: the current array (the placeholder until a segment is bound by
// name), the bound name, the three level-of-detail records (resolution, point
// budget, dirty and full-pass flags, one aglFilter each), the vector
// component sources, the axis clamps and scales, the flags, the overall value
// range per component and the palette range. It runs filter passes and the
// level scaling that follows them, and decides which pass is due next.
//
// aglGraphView (control/render) derives from this class and overrides the
// protected hooks, which tell it when to pause or wake its filter and render
// threads and when its graph objects or palette must follow a change. With
// no override, the hooks do nothing: passes then run by direct calls
// (runPass, runPendingPasses), as tests and tools do.
//
// Threads. All setters run on the control's thread and call
// pauseFilterThread() before they change anything the filter reads; runPass
// runs on the filter thread (or the caller's, without one) and holds the
// level's data lock for the pass and the scaling after it. Graph objects
// read a level's grid under that lock only (aglFilter::DataLock), and must
// read the grid's size there at the start of every frame: refiltering level
// 0 in place may change its shape.
//
// Non-finite values: see aglFilter.h (holes). Ranges and scales never see a
// NaN or an infinity; a pass with no finite sample gives an empty range,
// which the level scaling shows as -1..1 (widenRange in aglLevelOfDetail.h).
#pragma once

#include "aglFilter.h"
#include "aglLevelOfDetail.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class aglArray;

class aglGraphData {
public:
    // One level of detail, 0 (coarsest) to 2 (finest).
    struct Level {
        explicit Level(int level) : filter(level) {}
        int resolution = 1;    // sampling step used with ResolutionAutoAdjust
        int64_t budget = 0;    // point budget the resolution is derived from
        bool dirty = true;     // a pass is needed
        bool fullPass = false; // the last pass merged its range into the overall one
        aglFilter filter;
    };

    // What the palette needs: grid value g maps back to the data value
    // g x valueScale + valueOffset; minimum..maximum is its value range.
    struct PaletteMapping {
        bool valid = false; // false: nothing to do (vector graph without W)
        int component = 0;
        double valueScale = 1.0;
        double valueOffset = 0.0;
        double minimum = -1.0;
        double maximum = 1.0;
    };

    aglGraphData();
    virtual ~aglGraphData();
    aglGraphData(const aglGraphData&) = delete;
    aglGraphData& operator=(const aglGraphData&) = delete;

    // --- Binding -------------------------------------------------------------

    // Binds the segment of that name (an agl file path, else a shared-memory
    // name), read-only. Succeeds only when it opens and holds at least 2
    // elements; then the name is kept, all levels are reset and the result
    // is true. On failure nothing changes (array, name, levels) and the
    // filter thread is woken again.
    bool setFileName(const std::string& name);
    // The last name accepted (empty before the first).
    const std::string& fileName() const { return m_fileName; }

    // The current array. A successful bind replaces the array object: do not
    // keep the reference across setFileName.
    const aglArray& array() const { return *m_array; }

    // --- Window and dimensions (take effect at the next update()) ------------

    void planeWindow(int32_t& columnStart, int32_t& rowStart, int32_t& columnCount,
                     int32_t& rowCount) const;
    void setPlaneWindow(int64_t columnStart, int64_t rowStart, int64_t columnCount,
                        int64_t rowCount);
    int elementSize() const;
    int cellSize() const;
    void setRowDimension(int d);
    void setColumnDimension(int d);
    int rowDimension() const;
    int columnDimension() const;
    // Set one end of dimension d's region of interest, keeping the other.
    void setRoiLow(int d, int32_t value);
    void setRoiHigh(int d, int32_t value);
    int32_t roiLow(int d) const;
    int32_t roiHigh(int d) const;
    // Lower bound of dimension d (0..6; reads give 0 outside).
    void setLowerBound(int d, int32_t value);
    int32_t lowerBound(int d) const;

    // --- Data changes --------------------------------------------------------

    // A new writable element area of byteCount bytes, or nullptr.
    void* allocate(int64_t byteCount);
    void release();
    // 0, or -1 with the array unchanged.
    int reshape(int dims, const int32_t* extents, int type);

    // Resets all levels and refilters (the Update method).
    void update();
    // Resets one level (0..2) or all (-1): clears done flags, marks dirty,
    // empties the overall ranges (for a single level too), recomputes the
    // resolutions, then tells the view (levelsReset) and wakes the filter.
    void reset(int level = -1);

    // A host that is not interactive and keeps one finished picture (a
    // command-line render): only the level it will show is filtered, level
    // (0..2) or the finest the rules allow below it, and nothing coarser
    // first. -1 (the default) filters every level, coarsest first, as an
    // interactive control does. Set before binding, or reset() after.
    void setFinalLevel(int level) { m_finalLevel.store(level < 0 ? -1 : clampLevel(level)); }
    // The level the final picture is shown at, or -1 when every level is
    // filtered (also with a fixed resolution, which has one level anyway).
    int finalLevel() const;

    // --- Graph type and components -----------------------------------------

    // 0 none, 1 height plot, 2 image map, 3 vector graph (others ignored).
    // Sets every filter's maximum samples per axis and component count and
    // marks all levels dirty; the caller resets.
    void setGraphType(int type);
    int graphType() const { return m_graphType; }

    // c = 0..3: source column (within the window) of X, Y, Z, W, -1 unused.
    // c = -1: the number of components in use (0..4). Other c: ignored.
    void setComponent(int c, int index);
    int component(int c) const;
    // Components in use: set by setComponent(-1, n) and by every vector pass
    // (position of the last used component + 1).
    int componentsInUse() const { return m_componentsInUse; }

    // --- Clamps, scales, flags -----------------------------------------------

    // Axis 0..2 (X, Y, Z). Ignored when maximum < minimum; a range narrower
    // than 1e-5 is stored as minimum .. minimum + 1e-5.
    void setAxisClamp(int axis, double minimum, double maximum);
    void axisClamp(int axis, double& minimum, double& maximum) const;
    // Stores XScale, YScale, ZScale. Returns true when the levels must be
    // refiltered (ZScale changed, or always for the vector graph): they are
    // then marked dirty and the filter thread is woken; the view waits for
    // level 0 and recomputes axes and palette.
    bool setAxisScales(double x, double y, double z);
    void axisScales(double& x, double& y, double& z) const;
    // Scale of component c (0..3: X, Y, Z and the fixed W scale 1.0).
    double axisScale(int c) const;

    void setDataClamp(bool on);
    bool dataClamp() const { return m_dataClamp; }
    void setAxisAutoScale(bool on);
    bool axisAutoScale() const { return m_axisAutoScale; }
    // The fixed resolution (used without ResolutionAutoAdjust); below 1 ignored.
    void setResolution(int n);
    int fixedResolution() const { return m_resolution; }
    // The resolution in effect at a level (0..2): the level's own with
    // ResolutionAutoAdjust, the fixed one without.
    int resolution(int level) const;
    void setResolutionAutoAdjust(bool on);
    bool resolutionAutoAdjust() const { return m_resolutionAutoAdjust; }

    // --- Palette range -------------------------------------------------------

    // Ignored when maximum < minimum; otherwise stored and the palette told.
    void setPaletteRange(double minimum, double maximum);
    void paletteRange(double& minimum, double& maximum) const;
    void setPaletteAutoAdjust(bool on);
    bool paletteAutoAdjust() const { return m_paletteAutoAdjust; }
    // The palette's mapping for the current level (-1 when none is current).
    // The range is always finite and at least 1e-5 wide.
    PaletteMapping paletteMapping(int currentLevel) const;
    // Computes paletteMapping and hands it to paletteChanged().
    void recomputePaletteRange(int currentLevel);

    // --- Ranges, levels, cursor ----------------------------------------------

    // Overall value range of component c (0..3) as merged from the passes:
    // the empty sentinels (minimum 1.797e304 > maximum -1.797e304) until a
    // pass with a finite sample; initially -1..1.
    void overallRange(int c, double& minimum, double& maximum) const;

    Level& level(int L) { return *m_levels[clampLevel(L)]; }
    const Level& level(int L) const { return *m_levels[clampLevel(L)]; }
    aglFilter& filter(int L) { return level(L).filter; }
    // Point budgets (the render pipeline adapts them); kept within 256..262144.
    void setBudget(int L, int64_t budget);
    // Recomputes every level's resolution from its budget and the window
    // (only with ResolutionAutoAdjust); marks changed levels dirty and says
    // whether any changed.
    bool recomputeResolutions();

    // Cursor (absolute 0-based row and column of the array).
    void setCursor(int64_t row, int64_t column);
    int64_t cursorRow() const { return m_cursorRow; }
    int64_t cursorColumn() const { return m_cursorColumn; }
    // The value at the cursor; for the vector graph the W component's column
    // of the window at the cursor row.
    double valueAtCursor() const;

    // --- Passes --------------------------------------------------------------

    // The pass due next, as the filter thread chooses it: level and whether
    // it is a full pass (its range merged into the overall range) or a
    // partial one (it takes the overall range). currentLevel is the level
    // shown (used without ResolutionAutoAdjust). False: nothing to do.
    bool nextPass(int currentLevel, int& level, bool& full) const;
    // The exact ranges a full pass of the finest level takes from every
    // element of the window instead of from its samples (due: when the
    // level samples less than every element; found[c]: component c has a
    // finite element; cut: the pass-cut flag rose during the scan). Reads the
    // array only, under no lock: the filter thread reads a large window
    // before it takes the level's data lock, which the render thread and
    // the control's thread wait for. Filter thread.
    struct ExactRanges {
        bool due = false, cut = false;
        bool found[aglFilter::kMaxComponents] = {};
        double minimum[aglFilter::kMaxComponents] = {}, maximum[aglFilter::kMaxComponents] = {};
    };
    ExactRanges exactRanges(int level, bool full) const;
    // Runs one pass of a level with its level scaling and range merging;
    // clears its dirty flag and stores `full`. False (level left dirty) when
    // the pass cannot run or its scan was cut short. The exact ranges are
    // found first unless given. Filter thread.
    // `cuttable`: the sampling itself ends early too when the pass is cut,
    // leaving the level not done. Only for a level nobody is shown: a shown
    // level would have nothing to draw until its next pass.
    bool runPass(int level, bool full, const ExactRanges* exact = nullptr, bool cuttable = false);
    // A flag that, turning true during a pass, ends its whole-window range
    // scan early (the filter thread's pause); the level is then left to be
    // filtered again. Null (the default): passes always finish.
    void setPassCut(const std::atomic<bool>* cut) { m_passCut = cut; }
    // Runs nextPass/runPass until nothing is due (or a pass fails); returns
    // the number of passes. For callers without a filter thread.
    int runPendingPasses(int currentLevel = 0);

protected:
    // Hooks for the view that owns the threads and graph objects; each
    // default does nothing. Control's thread.
    virtual void pauseFilterThread() {}
    virtual void wakeFilterThread() {}
    virtual void pauseRenderThread() {}
    virtual void wakeRenderThread() {}
    // After reset(level), with both threads paused: invalidate the graph
    // objects of the level(s), forget the levels shown, make level 0 current
    // (or wake the render thread when it already is; when level 0 has no
    // grid yet, its object still replaces the one drawn, whose level may not
    // be filtered again), mark grid lines stale.
    virtual void levelsReset(int /*level*/) {}
    // After a successful bind: the cursor to put back, grid lines stale.
    virtual void segmentBound() {}
    virtual void paletteChanged(const PaletteMapping& /*mapping*/) {}

private:
    static int clampLevel(int L) { return L < 0 ? 0 : L > 2 ? 2 : L; }
    void dataChanged();
    void prepareScalar(aglFilter& f);
    // False when no component is in use.
    bool prepareVector(aglFilter& f);
    void mergeAndScale(int level, bool full, int component, double axisScaleOfComponent);

    std::unique_ptr<aglArray> m_array;
    std::string m_fileName;
    std::unique_ptr<Level> m_levels[agl::kLevelCount];

    int m_graphType = 0;
    int m_components[aglFilter::kMaxComponents] = {0, 1, 2, 3};
    int m_componentsInUse = 4;
    double m_clampMin[3] = {-1.0, -1.0, -1.0};
    double m_clampMax[3] = {1.0, 1.0, 1.0};
    double m_scale[4] = {1.0, 1.0, 0.8, 1.0};
    bool m_axisAutoScale = true;
    bool m_dataClamp = false;
    bool m_resolutionAutoAdjust = true;
    const std::atomic<bool>* m_passCut = nullptr;
    std::atomic<int> m_finalLevel{-1}; // read by the filter thread
    bool m_paletteAutoAdjust = true;
    int m_resolution = 1;
    double m_overallMin[aglFilter::kMaxComponents] = {-1.0, -1.0, -1.0, -1.0};
    double m_overallMax[aglFilter::kMaxComponents] = {1.0, 1.0, 1.0, 1.0};
    double m_paletteMin = -1.0;
    double m_paletteMax = 1.0;
    int64_t m_cursorRow = 0;
    int64_t m_cursorColumn = 0;
};
