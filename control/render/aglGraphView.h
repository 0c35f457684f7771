// aglGraphView: the control's engine object. It joins the data access
// (aglGraphData: the bound array, the three levels of detail and their
// filters) and the window object (aglView: render context, render thread,
// camera, mouse), and runs the pipeline between them:
//
//  - a filter thread (aglFilterThread) resamples the window into the levels'
//    grids, coarsest first, and refines ranges with partial passes;
//  - each level has a graph object of the current graph type bound to its
//    filter; the current level's object is in the scene and drawn by the
//    render thread;
//  - the control's one-second tick (tick(): a QTimer in the widget, called
//    directly by headless users and tests) reports finished passes and
//    frames through the FltrPass and RndrPass callbacks, steps to the next
//    finer level once its grid is ready, and adapts each level's point budget
//    to the measured frame time;
//  - grid lines follow GridDensity and the picture's size; the palette bar
//    takes a strip at the right.
//
// Threads. Every member runs on the control's thread (the thread that owns
// the view: the GUI thread in the widget, the caller's thread headless),
// except where a comment says otherwise. The filter thread only runs passes;
// the render thread only draws. The control's thread pauses the filter
// thread before it changes what passes read, and pauses the render thread
// before it changes what frames draw (objects, settings); each filter's grid
// is guarded by its own data lock; the scene list by the render context's
// lock. Callbacks are called on the control's thread only, from tick().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "aglAxisObj.h"
#include "aglFilterThread.h"
#include "aglGraphData.h"
#include "aglGraphObj.h"
#include "aglLevelOfDetail.h"
#include "aglPaletteBarObj.h"
#include "aglView.h"

// Makes the graph object of a graph type: 1 the height plot, 2 the image map,
// 3 the vector graph, anything else the plain aglGraphObj (draws nothing).
// The one place that knows which class draws which type.
std::unique_ptr<aglGraphObj> aglMakeGraphObject(int graphType);

class aglGraphView : public aglGraphData, public aglView {
public:
    using FilterThreadState = aglFilterThread::State;
    using FilterThreadCommand = aglFilterThread::Command;

    // FltrPass(level, component, minimum, maximum): a filter pass finished.
    using FltrPassHandler = std::function<void(int, int, double, double)>;
    // RndrPass(frame time in seconds, render mode of the last frame, current
    // resolution, anti-aliasing pass index, anti-aliased image complete, 0).
    using RndrPassHandler = std::function<void(float, int, int, int, bool, int)>;
    // Called on the filter thread when a pass has finished; the host wakes
    // its own thread, which steps the levels (nothing else may be done here).
    using PassDoneHandler = std::function<void()>;

    static constexpr float kDefaultGridDensity = 40.0f;

    aglGraphView();
    // Stops both threads before anything they use goes.
    ~aglGraphView() override;

    // --- aglView ---------------------------------------------------------------
    // Creation: starts the render thread, builds the scene (palette bar,
    // camera in its home position, axes, the height plot's objects), starts
    // the filter thread. Returns 0.
    int Attach(bool lowPriority = true) override;
    // Destruction: stops the filter thread, then the render thread.
    void Detach() override;
    // The palette bar's strip at the right; the camera gets the rest; the
    // levels are refiltered and level 0 shown.
    void Resize(int width, int height) override;
    // Seconds the last frame took; also adapts the current level's budget.
    float frameTime();
    // Has the render thread draw, while it has nothing to show, what the
    // first frames of a graph draw (axes, palette bar, a surface, an image
    // map) from a small stand-in array into a picture nobody sees: the GL
    // builds its programs for them ahead (aglRenderContext::WarmUp). For an
    // interactive host before its first data; a host that draws one picture
    // and ends gains nothing. Host thread.
    void warmUp();
    // Starts the camera's spin and continuous rendering at level 0, or stops them.
    void ToggleSpin();
    bool Spinning() const { return SpinMode(); }

    // --- pipeline ------------------------------------------------------------------
    // The filter thread's hand-shake (see aglFilterThread).
    void pauseFilterThread() override;
    void wakeFilterThread() override;
    void stopFilterThread();
    FilterThreadState filterThreadState() const { return m_filterThread.state(); }
    // Waits until the filter thread has nothing left to do; false on time-out.
    bool waitForFilter(int timeoutMs) { return m_filterThread.waitUntilIdle(timeoutMs); }
    // Pauses the render thread (keeping its continuous mode for the wake).
    void pauseRenderThread() override;
    void wakeRenderThread() override;

    // Shows level (0..2), or the next coarser ready level when its grid is not
    // ready; kick wakes the render thread afterwards.
    void setLevel(int level, bool kick);
    // -1 (none) after every bind, and after every reset that empties level 0,
    // until a level is shown.
    int currentLevel() const { return m_currentLevel.load(); }
    // The highest level shown since the last reset, plus one.
    int levelsShown() const { return m_levelsShown; }
    // The Resolution property: the current level's resolution with
    // ResolutionAutoAdjust (level 0's while none is shown), else the fixed one.
    int currentResolution() const;

    // One tick of the control's timer: the RndrPass report (with budget
    // adaptation) and, unless the host holds it off while the user works
    // the picture, the level step (with the FltrPass report).
    void tick(bool mayStep = true);
    // The level step of the tick, to `next`.
    void stepLevel(int next);
    // The level the tick steps to from the current one: the next finer the
    // rules allow, or the final picture's level (setFinalLevel).
    int nextLevelToShow() const;
    // Frames drawn so far are not reported by the next tick's RndrPass.
    void markFramesSeen() { m_lastFrameSeen = Context().FrameCount(); }
    // Nothing left for a tick to do: every frame reported, every finished
    // pass reported, and the shown level the finest the rules allow. A host
    // that ticks as soon as a frame is out or a pass done (instead of once a
    // second) stops when this holds.
    bool levelsSettled() const;

    // 0 none, 1 height plot, 2 image map, 3 vector graph; other values and
    // the current type are ignored. With reset the levels are refiltered.
    void setGraphType(int type, bool reset);

    // --- grid lines ----------------------------------------------------------------
    void setGridDensity(float pixels); // above 0; others ignored
    float gridDensity() const { return m_gridDensity; }
    void setGridDensityAutoAdjust(bool on);
    bool gridDensityAutoAdjust() const { return m_gridDensityAutoAdjust; }
    // Taken only while GridDensityAutoAdjust is off (1 or more each).
    void setGridLines(int x, int y);
    void gridLines(int& x, int& y) const;
    void recomputeGridLines();

    // --- axes ----------------------------------------------------------------------
    // What the control's axis properties ask of the axis layout.
    struct AxisRequest {
        bool autoDetail = true;                     // AxisAutoDetail
        bool fontAutoScale = true;                  // FontAutoScale
        int requestedMajor[3] = {5, 5, 5};          // XNumMajorTickmarks ...
        int requestedMinor[3] = {1, 1, 1};          // XNumMinorTickmarks ...
        bool useScales = true;                      // UseAxisScales
        std::shared_ptr<const aglSegment> scale[7]; // per dimension (SetAxisScale)
        // ImageOrientation: the image map mirrors columns (bit 0) and rows
        // (bit 1); its x and y numbers count the other way round with them.
        int imageOrientation = 0;
    };
    // Stores the request and lays the axes out again (when data is shown).
    void setAxisRequest(const AxisRequest& request);
    const AxisRequest& axisRequest() const { return m_axisRequest; }

    // --- the graph box -------------------------------------------------------------
    // XScale, YScale, ZScale: stored, handed to the graph objects and the
    // axes, and the axes laid out again.
    bool setBoxScales(double x, double y, double z);
    // How the image map fills the graph area: 0 stretched over it, 1 with
    // the data's aspect (square cells). Other modes are ignored.
    void setImageAspect(int mode);
    int imageAspect() const { return m_imageAspect; }
    // The box the graph objects and the axes use: the scales, except that an
    // image map with the data's aspect keeps the largest box of the window's
    // proportions (columns across, rows up) inside XScale x YScale, and
    // no longer across than kMaxBoxAspect times its height (nor taller).
    void boxExtents(double& x, double& y, double& z) const;
    static constexpr double kMaxBoxAspect = 10.0;

    // --- display -----------------------------------------------------------------
    void setNumAntiAliasPasses(int n); // 0..32
    int numAntiAliasPasses() const { return m_numAntiAliasPasses; }
    void setLineSmooth(bool on);
    void setShowPalette(bool on);
    bool showPalette() const { return m_showPalette; }
    // The bound graph object (the current level's; level 0's while none is).
    aglGraphObj& boundGraph() { return *m_graphs[m_bound]; }
    aglGraphObj& graphObject(int level) { return *m_graphs[level < 0 ? 0 : level > 2 ? 2 : level]; }
    aglPaletteBarObj& paletteBar() { return m_bar; }
    aglAxisObj& axis() { return m_axis; }

    // --- events -------------------------------------------------------------------
    void setFltrPassHandler(FltrPassHandler handler) { m_fltrPass = std::move(handler); }
    void setRndrPassHandler(RndrPassHandler handler) { m_rndrPass = std::move(handler); }
    // Set before Attach (the filter thread reads it without a lock).
    void setPassDoneHandler(PassDoneHandler handler) { m_passDone = std::move(handler); }
    // While set no event is fired (and none is fired later for that time).
    void setEventsFrozen(bool frozen) { m_eventsFrozen = frozen; }
    bool eventsFrozen() const { return m_eventsFrozen; }

    // --- measurement ------------------------------------------------------------
    // The longest time (seconds) the control's thread waited for the render
    // thread in a pause, and resets the record.
    double takeLongestRenderWait();
    // Number of filter passes run since creation.
    long filterPasses() const { return m_filterThread.passes(); }

protected:
    // aglGraphData's hooks.
    void levelsReset(int level) override;
    void segmentBound() override;
    void paletteChanged(const PaletteMapping& mapping) override;

private:
    // The warm-up's drawing (render thread, scene lock held); whether it
    // ran to its end.
    bool drawWarmUp(aglRenderContext& context);
    void runFilterPass(int level, bool full);
    // Makes level's graph object the one in the scene (render thread paused).
    void putInScene(int level);
    void recomputeAxes();
    // Hands boxExtents to every level's object, the axes and the camera
    // (render thread paused).
    void applyBox();
    void layOut();
    bool levelReady(int level) const;
    // Spinning, or a drag renders continuously.
    bool movingContinuously() const;
    void fireFltrPass(int level);

    aglFilterThread m_filterThread;
    aglPaletteBarObj m_bar;
    aglAxisObj m_axis;
    std::unique_ptr<aglGraphObj> m_graphs[agl::kLevelCount];
    int m_bound = 0; // the level whose object is in the scene
    bool m_graphInScene = false;
    std::atomic<int> m_currentLevel{-1}; // read by the filter thread
    int m_levelsShown = 0;
    // The axes were last laid out before their level had a range.
    bool m_axesProvisional = false;
    int m_type = 0; // graph type of the objects

    std::atomic<bool> m_newData{false};
    std::atomic<bool> m_passFinished{false};
    bool m_budgetsChanged = false;
    bool m_gridLinesStale = true;
    agl::FrameTimeRing m_rings[agl::kLevelCount];

    float m_gridDensity = kDefaultGridDensity;
    bool m_gridDensityAutoAdjust = true;
    int m_numXGridLines = 1, m_numYGridLines = 1;
    int m_numAntiAliasPasses = 0;
    bool m_lineSmooth = false;
    bool m_showPalette = true;
    AxisRequest m_axisRequest;
    int m_imageAspect = 0;
    bool m_attached = false;

    bool m_resumeContinuous = false;
    double m_longestRenderWait = 0.0;

    uint32_t m_lastFrameSeen = 0;
    bool m_eventsFrozen = false;
    FltrPassHandler m_fltrPass;
    RndrPassHandler m_rndrPass;
    PassDoneHandler m_passDone;
};
