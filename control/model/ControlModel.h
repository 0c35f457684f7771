// ControlModel: the graph control without a widget. It owns the engine
// (one aglGraphView: filter and render threads, camera, graph objects, axes,
// palette bar) and the picture writer, and implements the whole dispatch
// interface: every property of plotrane/PropertyTable.h, the methods, the
// stock members, persistence, and the events as callbacks. The widget
// (CPlotrane2DCtrl) shows its frames and feeds it input; headless users and
// tests drive it directly and call tick() themselves.
//
// Every write goes through setProperty(): it checks the value by its row of
// the property table (error 380 and the string-table message on refusal,
// nothing changed), does nothing when the value is the current one, hands
// it to the engine by the property's binding (ControlModelBindings.cpp: one
// row per property, what the engine takes, shows and reports), marks the
// model modified and asks for a redraw.
//
// Host thread only (the thread that made it), like the control. Frames,
// pass reports and picture progress come from the engine's threads and are
// queued to the host thread, so that thread must run a Qt event loop (or
// process events while it waits).
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "plotrane/ControlDispatch.h"
#include "plotrane/PropertyTable.h"

class QSettings;
class QString;
class aglGraphData;
class aglGraphView;
class aglMetaFileWriter;
class aglSegment;

// An axis font as the control keeps and persists it.
struct PlotraneFont {
    std::string family = plotrane::kDefaultFontFace;
    double points = plotrane::kDefaultFontPoints;
    bool bold = plotrane::kDefaultFontBold;
    bool operator==(const PlotraneFont&) const = default;
};

// The control's events. Each is called on the host thread, never while
// events are frozen; an empty function is simply not called.
struct ControlEvents {
    std::function<void()> info;
    std::function<void(int32_t row, int32_t column, double value)> dataSelect;
    std::function<void(int32_t index, double x, double y, double z, double w)> vDataSelect;
    std::function<void(int32_t row, int32_t column)> rowColChanged;
    std::function<void(float frameTime, int32_t renderMode, int32_t resolution,
                       int32_t antiAliasPass, bool antiAliasComplete, int32_t reserved)>
        rndrPass;
    std::function<void(int16_t level, int16_t component, double minimum, double maximum)> fltrPass;
    std::function<void(int16_t status, int32_t value)> metafileUpdate;
};

// What the model asks of whoever shows it; all optional, host thread.
struct ControlHost {
    // The picture on screen is out of date: paint again (see paint()).
    std::function<void()> repaint;
    // The render thread published a frame (currentFrame() has it).
    std::function<void()> frameArrived;
    // Cycle changed the tick period (milliseconds).
    std::function<void(int ms)> tickPeriodChanged;
    // The window's size now, where it differs from the last resize() (a
    // hidden widget hears of its size only when shown).
    std::function<void(int& width, int& height)> windowSize;
    // The native window's identifier, what hWnd reads.
    std::function<int32_t()> windowId;
    // The AboutBox method.
    std::function<void()> aboutBox;
    // A property took a new value, whoever wrote it (not an event: it comes
    // while events are frozen too).
    std::function<void(int32_t dispid)> propertyChanged;
};

class ControlModel : public QObject, public plotrane::ControlDispatch {
    Q_OBJECT
public:
    // width x height: the picture's size in pixels (resize() changes it).
    // renderStartDelayMs: a pause of the render thread before its first
    // frame, for a host that needs one. antiAliasQuietMs: the quiet time
    // before anti-aliasing passes start. lowPriority: the render and filter
    // threads run at the lowest priority, so that an interactive host's own
    // thread always goes first; a host with nothing else to do (a
    // command-line render) runs them at its own.
    explicit ControlModel(int width = 1, int height = 1, int renderStartDelayMs = 0,
                          int antiAliasQuietMs = 1000, bool lowPriority = true);
    ~ControlModel() override;

    void setEvents(ControlEvents events) { m_events = std::move(events); }
    void setHost(ControlHost host) { m_host = std::move(host); }

    // --- The dispatch interface ---------------------------------------------
    plotrane::Variant GetProperty(int dispid) override;
    plotrane::DispatchStatus SetProperty(int dispid, const plotrane::Variant& value) override;
    plotrane::Variant Invoke(int dispid, const std::vector<plotrane::Variant>& args) override;

    // --- Typed access (the same rules as the dispatch) ----------------------
    plotrane::Variant property(const plotrane::PropertyInfo& p);
    plotrane::DispatchStatus setProperty(const plotrane::PropertyInfo& p,
                                         const plotrane::Variant& value);
    // Typed by the table: get<DISPID_LineWidth>() is a float,
    // set<DISPID_GraphStyle>(int16_t(2)) takes a short.
    template <int Dispid> plotrane::PropValueOf<Dispid> get() {
        using R = plotrane::PropValueOf<Dispid>;
        const plotrane::Variant v = property(*plotrane::anyPropertyInfo(Dispid));
        if constexpr (std::is_same_v<R, std::string>)
            return v.toString();
        else if constexpr (std::is_same_v<R, bool>)
            return v.toBool();
        else if constexpr (std::is_floating_point_v<R>)
            return R(v.toDouble());
        else
            return R(v.toInt());
    }
    template <int Dispid> plotrane::DispatchStatus set(plotrane::PropValueOf<Dispid> value) {
        return setProperty(*plotrane::anyPropertyInfo(Dispid), plotrane::Variant(value));
    }
    const PlotraneFont& axisFont() const { return m_fonts[0]; }
    const PlotraneFont& axisLabelFont() const { return m_fonts[1]; }
    // A change rebuilds the axis fonts; marks modified.
    void setAxisFont(const PlotraneFont& f);
    void setAxisLabelFont(const PlotraneFont& f);
    // Both ends at once (axis 0..2: X, Y, Z): ignored when max < min, so a
    // range moves in one step wherever it was before. Marks modified.
    void setAxisClamp(int axis, double minimum, double maximum);
    void setPaletteRange(double minimum, double maximum);
    // Data owned by the control for in-process hosts: a writable element
    // area (nullptr on failure) that reshapeData() then describes.
    void* allocateData(int64_t byteCount);
    // 0, or -1 with the array unchanged: 1..7 extents, slowest first.
    int reshapeData(std::span<const int32_t> extents, int typeCode);

    bool isModified() const { return m_modified; }
    void setModified(bool on) { m_modified = on; }
    // Events are not fired while frozen (the host is not ready for them).
    void freezeEvents(bool frozen) { m_eventsFrozen = frozen; }
    bool eventsFrozen() const { return m_eventsFrozen; }

    // --- Persistence (property bag) ----------------------------------------
    // Writes the whole property set: version, stock properties, then every
    // persisted property in the saved order.
    void saveProperties(QVariantMap& bag);
    void saveProperties(QSettings& settings);
    // Runs the setters for every key present, in the saved order; a missing
    // key leaves its property. A refused value ends the load with its error
    // (what was loaded before it stays).
    plotrane::DispatchStatus loadProperties(const QVariantMap& bag);
    plotrane::DispatchStatus loadProperties(QSettings& settings);

    // The tick values of a dimension's axis given by SetAxisScale, or null.
    std::shared_ptr<const aglSegment> dimensionScale(int dim) const;

    // The engine object: data side (binding, window, levels), filter and
    // render threads, camera, graph objects. For the widget's input and
    // for tests; hosts never see it.
    aglGraphView& engine() { return *m_view; }
    aglGraphData& graphData();

    // --- The picture and the tick ---------------------------------------------
    // The picture's size in pixels; the engine refilters and redraws. A
    // size of 0 takes no picture (CreateMetaFile refuses it).
    void resize(int width, int height);
    int width() const;
    int height() const;
    // The last frame the render thread published (null before the first).
    QImage currentFrame() const { return m_frame; }
    // Waits until the filter thread has run every pass asked for; false on
    // time-out.
    bool waitForPasses(int timeoutMs);
    // One tick of the control's timer: the render report (RndrPass), the
    // level step (FltrPass) and cycling. False when there is nothing to tick
    // (GraphType 0). The widget's timer calls it every tickPeriodMs().
    bool tick();
    // Milliseconds between ticks: 1000, or what Cycle asked for.
    int tickPeriodMs() const { return m_tickPeriodMs; }
    bool isCycling() const { return m_cycling; }
    // A host that is not interactive and keeps one finished picture (a
    // command-line render): only `level` (0..2, or the finest the rules
    // allow below it) is filtered and shown, nothing coarser first, and the
    // budgets stay as they are. -1 steps up through the levels, as the
    // widget does. Set it before FileName (else the levels refilter).
    void setFinalPictureLevel(int level);
    // While held, no frame is drawn: a host that writes many properties
    // before it wants a picture holds the frames, and the picture is drawn
    // once at the release (instead of a frame for each write, each write
    // waiting for the last one's).
    void holdFrames(bool held);
    // An interactive host before its first data: the render thread draws
    // the graph kinds once from a stand-in, unseen, so that the GL's
    // programs for them are built before the first frames need them.
    void warmUp();
    // Steps to the next level of detail as soon as it is ready and the
    // picture rests, rather than on the next tick (run after every frame and
    // whenever the filter thread finishes a pass).
    Q_INVOKABLE void stepLevels();
    // The user moved the cursor or zoomed: finer levels wait for a rest, so
    // that a held arrow key never waits for a finest-level frame.
    void noteInteraction() { m_sinceInteraction.start(); }
    // What a paint does besides showing currentFrame(): applies Row and Col
    // written since the last paint; a paint that does not just show a
    // published frame (frameArrived false) also redraws, stepping back from
    // the finest level to level 1.
    void paint(bool frameArrived);
    // Redraws the picture and asks the host to paint.
    void redraw();

    // --- Pictures (CreateMetaFile) ---------------------------------------------
    // (0, 0): the next frame goes to the clipboard as an image. Otherwise a
    // vector picture of width x height hundredths of a millimetre is written
    // to a temporary file ("emf*.svg", or "emf*.pdf" with pdf);
    // MetafileUpdate reports its progress and `MetaFile` names the finished
    // file. Refused with 380 for other sizes or an empty window; accepted is
    // false when a capture is already in progress (the call is ignored). The
    // same picture asked for again while nothing changed reuses the last
    // file.
    plotrane::DispatchStatus createMetaFile(int32_t width, int32_t height, bool pdf = false,
                                            bool* accepted = nullptr);
    int metaFileStatus() const;
    std::string metaFile() const;
    // Vector pictures keep the data area of a surface or image map as
    // polygons instead of one image.
    void setPictureVectorData(bool on);
    // Where the pictures' temporary files go (the system's temporary folder
    // by default).
    void setPictureFolder(const QString& folder);

    // --- Cursor, selection and data tips (ControlModelSelection.cpp) ----------
    // Moves the cursor (absolute 0-based row and column), clamped into the
    // current window; the graph object and the palette bar follow. Returns
    // whether it moved. Fires nothing.
    bool setCursor(int64_t row, int64_t column);
    int64_t cursorRow() const;
    int64_t cursorColumn() const;
    // The user moved the cursor (arrow keys): as setCursor(), and when it
    // moved, Row and Col follow, the model is modified and RowColChanged fires.
    void moveCursorAsUser(int64_t row, int64_t column);
    // Row and Col as written by the host: applied at the next paint.
    void setPendingCursor(int64_t row, int64_t column);
    // What a pick at picture point (x, y) found: row and column of the
    // element (row -1 and column = palette index for the palette bar; both
    // -1 for nothing). False when the pick could not run (render thread
    // paused, stopped, or between anti-aliasing passes) or hit a grid that
    // changed under it.
    struct Picked {
        int64_t row = -1, column = -1;
    };
    bool pickAt(int x, int y, Picked& picked);
    // Selects at picture point (x, y): fires DataSelect or VDataSelect and
    // shows the data tip. False when nothing was selected.
    bool selectAtPoint(int x, int y);
    // The data tip showing now ("" for none).
    std::string dataTip() const { return m_tip.value_or(std::string()); }
    bool tipShowing() const { return m_tip.has_value(); }
    void removeTip();

private:
    // How a property reaches the engine: one row per property
    // (ControlModelBindings.cpp).
    struct Binding {
        int dispid;
        // Data side: takes a written value before it is stored; false when
        // the engine does not take it (nothing changes, no error). Null:
        // nothing to hand over.
        bool (*take)(ControlModel&, const plotrane::PropertyInfo&, const plotrane::Variant&);
        // Display side: hands the stored value to the render objects, at a
        // change and at creation. Null: the engine has no object for it.
        void (*show)(ControlModel&, const plotrane::PropertyInfo&);
        // The value as read: live rows read the engine. Null: the stored one.
        plotrane::Variant (*read)(ControlModel&, const plotrane::PropertyInfo&);
        // A write of the current value is applied too (a name bound again
        // takes up what the file or block holds now).
        bool rewrite;
    };
    struct Bind;
    friend struct Bind;
    static const Binding& binding(int dispid);
    // A method of the dispatch table.
    struct Method {
        int dispid;
        plotrane::Variant (*call)(ControlModel&, const std::vector<plotrane::Variant>&);
    };
    struct Methods;
    friend struct Methods;
    static const Method* method(int dispid);

    plotrane::DispatchStatus write(const plotrane::PropertyInfo& p, const plotrane::Variant& v,
                                   bool loading);
    plotrane::Variant& slot(const plotrane::PropertyInfo& p);
    const plotrane::Variant& stored(int dispid) const;
    void syncGraphObjects();
    void syncAxisRequest();
    void syncEngine();
    void changed(const plotrane::PropertyInfo& p);
    void update(); // Update method: reset all levels and refilter
    void cycle(double seconds);
    int currentLevel() const;
    bool validDim(int d) const;
    bool plain() const;
    void setTip(std::optional<std::string> text);
    void applyPendingCursor();
    void markCursorValue();
    // Queued by name from the render, filter and writer threads: the hand-
    // over is then Qt's own and our mutex's, with nothing of ours allocated
    // on one thread and run on another.
    Q_INVOKABLE void takePendingFrame();
    Q_INVOKABLE void takePendingClipboard();
    Q_INVOKABLE void writerStatus(int status);

    std::unique_ptr<aglGraphView> m_view;
    std::unique_ptr<aglMetaFileWriter> m_writer;
    ControlEvents m_events;
    ControlHost m_host;
    int m_width = 1, m_height = 1;
    bool m_pictureRequested = false; // a sized CreateMetaFile was accepted
    int m_reportedStatus = 0;        // the last MetafileUpdate fired
    uint64_t m_changeCount = 0;      // property changes and updates
    // What the last complete picture showed: reused while it still holds.
    std::vector<double> m_pictureKey;
    // By dispid; slot 0 holds the stock BackColor.
    std::array<plotrane::Variant, plotrane::kPropertyCount + 1> m_values;
    PlotraneFont m_fonts[2];
    bool m_modified = false;
    bool m_eventsFrozen = false;
    bool m_cycling = false;
    int m_tickPeriodMs = 1000;
    bool m_dataBound = false;
    QTimer m_stepTimer; // retries a level step the busy render thread put off
    QElapsedTimer m_sinceInteraction;
    // Milliseconds until the picture counts as resting (0: it rests).
    int restLeftMs() const;
    std::mutex m_frameMutex;
    QImage m_pendingFrame;     // guarded by m_frameMutex
    QImage m_pendingClipboard; // guarded by m_frameMutex
    QImage m_frame;
    std::optional<std::string> m_tip;
    // Tick values per dimension (SetAxisScale): one-dimensional segments.
    std::array<std::shared_ptr<const aglSegment>, plotrane::kMaxDimIndex + 1> m_dimScales;
};
