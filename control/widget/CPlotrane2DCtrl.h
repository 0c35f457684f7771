// CPlotrane2DCtrl: the graph control. A QWidget that shows the frames the
// engine publishes as images, and the dispatch interface hosts drive it by:
// the properties of the property table (plotrane/PropertyTable.h), the
// methods, the stock members, and the events as Qt signals. One table drives
// the dispatch, the checks, the typed accessors and the property bag.
//
// Every write goes through setProperty(): it checks the value by its row of
// the table (error 380 and the string-table message on refusal, nothing
// changed), does nothing when the value is the current one, otherwise
// hands it to the engine (forwardToEngine: data side, camera and the values
// read back live; applyRender: the display settings of the graph objects,
// axes, palette bar and render context), marks the control modified and
// asks for a redraw. The control owns one aglGraphView; the widget paints
// the frames its render thread publishes and never holds a GL context.
//
// Host (user-interface) thread only, like every QWidget.
#pragma once

#include <mutex>

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

#include "plotrane/ControlDispatch.h"
#include "plotrane/ControlFactory.h"
#include "plotrane/PropertyTable.h"

class QSettings;
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

class PLOTRANE_EXPORT CPlotrane2DCtrl : public QWidget, public plotrane::ControlDispatch {
    Q_OBJECT
public:
    // renderStartDelayMs: a pause of the render thread before its first
    // frame, for a host that needs one (none by default: the first frame
    // comes as soon as the coarsest level is ready). antiAliasQuietMs: the
    // quiet time before anti-aliasing passes start.
    explicit CPlotrane2DCtrl(QWidget* parent = nullptr, int renderStartDelayMs = 0,
                             int antiAliasQuietMs = 1000);
    ~CPlotrane2DCtrl() override;

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
    // area (nullptr on failure) that reshape() then describes.
    void* allocateData(int64_t byteCount);
    // 0, or -1 with the array unchanged: 1..7 extents, slowest first.
    int reshapeData(std::span<const int32_t> extents, int typeCode);

    bool isModified() const { return m_modified; }
    void setModified(bool on) { m_modified = on; }
    // Seconds between ticks of the control's timer.
    double timerPeriod() const { return m_timer.interval() / 1000.0; }
    bool isCycling() const { return m_cycling; }
    // Events are not fired while frozen (the host is not ready for them).
    void freezeEvents(bool frozen) { m_eventsFrozen = frozen; }

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

    // --- Property pages (PropertyPages.h) -------------------------------------
    // Shows the property sheet modally over the control: the seven pages and
    // the colour and font pages. Returns when the user closes it; true when
    // it was closed with OK. The context menu's "Properties..." calls it.
    bool showPropertyPages();
    // Shows the About box modally (the AboutBox method).
    void showAboutBox();

    // The tick values of a dimension's axis given by SetAxisScale, or null.
    std::shared_ptr<const aglSegment> dimensionScale(int dim) const;

    // The engine object: data side (binding, window, levels), filter and
    // render threads, camera, graph objects.
    aglGraphView& engine() { return *m_view; }
    aglGraphData& graphData();

    // Waits until the filter thread has run every pass asked for; false on
    // time-out. For headless users and tests.
    bool waitForPasses(int timeoutMs);
    // One tick of the control's timer: the render report (RndrPass), the
    // level step (FltrPass) and cycling. Headless users call it themselves.
    void tick();

    // The frame the widget shows now (null before the first).
    QImage currentFrame() const;

    // --- Pictures (CreateMetaFile) ---------------------------------------------
    // (0, 0): the next frame goes to the clipboard as an image (set on this
    // thread). Otherwise a vector picture of width x height hundredths of a
    // millimetre is written to a temporary file ("emf*.svg", or "emf*.pdf"
    // with pdf); MetafileUpdate reports its progress and `MetaFile` names the
    // finished file. Refused with 380 for other sizes or an empty window;
    // accepted is false when a capture is already in progress (the call is
    // ignored). The same picture asked for again while nothing changed
    // reuses the last file.
    plotrane::DispatchStatus createMetaFile(int32_t width, int32_t height, bool pdf = false,
                                            bool* accepted = nullptr);
    int metaFileStatus() const;
    std::string metaFile() const;
    // Where the pictures' temporary files go (the system's temporary folder
    // by default).
    void setPictureFolder(const QString& folder);

    // --- Cursor, selection and data tips (CPlotrane2DCtrlInput.cpp) ----------
    // Moves the cursor (absolute 0-based row and column), clamped into the
    // current window; the graph object and the palette bar follow. Returns
    // whether it moved. Fires nothing.
    bool setCursor(int64_t row, int64_t column);
    int64_t cursorRow() const;
    int64_t cursorColumn() const;
    // What a pick at window point (x, y) found: row and column of the element
    // (row -1 and column = palette index for the palette bar; both -1 for
    // nothing). False when the pick could not run (render thread paused,
    // stopped, or between anti-aliasing passes) or hit a grid that changed
    // under it.
    struct Picked {
        int64_t row = -1, column = -1;
    };
    bool pickAt(int x, int y, Picked& picked);
    // Selects at window point (x, y): fires DataSelect or VDataSelect and
    // shows the data tip. False when nothing was selected.
    bool selectAtPoint(int x, int y);
    // The data tip showing now ("" for none).
    std::string dataTip() const { return m_tip.value_or(std::string()); }
    bool tipShowing() const { return m_tip.has_value(); }
    // Seconds since the epoch; tests set a clock of their own.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

public slots:
    // Shows a frame the render thread published.
    void showFrame(const QImage& frame);

private slots:
    // Shows the frame the render thread left in m_pendingFrame (queued from
    // the render thread by name, so the hand-over is our own mutex's).
    void takePendingFrame();
    // Steps to the next level of detail as soon as it is ready and the
    // picture rests (queued from the filter thread when a pass ends, and run
    // after every frame), rather than waiting for the timer's next tick.
    void stepLevels();
    // The clipboard picture the render thread left in m_pendingClipboard.
    void takePendingClipboard();
    // A status the picture writer reported (queued from its threads).
    void writerStatus(int status);

signals:
    void Info();
    void DataSelect(int32_t row, int32_t column, double value);
    void VDataSelect(int32_t index, double x, double y, double z, double w);
    void RowColChanged(int32_t row, int32_t column);
    void RndrPass(float frameTime, int32_t renderMode, int32_t resolution, int32_t antiAliasPass,
                  bool antiAliasComplete, int32_t reserved);
    void FltrPass(int16_t level, int16_t component, double minimum, double maximum);
    void MetafileUpdate(int16_t status, int32_t value);
    // A property took a new value, whoever wrote it (a host, the property
    // pages, a stored set): the host's menus and buttons that show it look
    // again. A notification, not an event: it comes while events are frozen.
    void PropertyChanged(int32_t dispid);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    plotrane::DispatchStatus write(const plotrane::PropertyInfo& p, const plotrane::Variant& v,
                                   bool loading);
    plotrane::Variant stored(const plotrane::PropertyInfo& p) const;
    // The one place property changes reach the engine. Returns false when
    // the engine refused the value (nothing changed).
    bool forwardToEngine(const plotrane::PropertyInfo& p, const plotrane::Variant& v);
    plotrane::Variant readLive(const plotrane::PropertyInfo& p);
    // Hands the stored display settings to the engine's objects.
    void applyRender(const plotrane::PropertyInfo& p);
    void syncGraphObjects();
    void syncAxisRequest();
    void syncEngine();
    void changed(const plotrane::PropertyInfo& p);
    void redraw();
    void update(); // Update method: reset all levels and refilter
    void cycle(double seconds);
    int currentLevel() const;
    bool validDim(int d) const;
    // Input helpers (CPlotrane2DCtrlInput.cpp).
    void setTip(std::optional<std::string> text);
    void removeTip();
    void hoverTick();
    void noteInteraction() { m_sinceInteraction.start(); }
    // Milliseconds until the picture counts as resting (0: it rests).
    int restLeftMs() const;
    void applyPendingCursor();
    void markCursorValue();
    bool moveCursorByKey(int key, bool shift);
    double now() const;
    unsigned heldButtons() const;
    // The context menu at a global position: "Properties...", "About".
    void showContextMenu(const QPoint& globalPos);
    void graphArea(int& w, int& h) const;

    std::unique_ptr<aglGraphView> m_view;
    std::unique_ptr<aglMetaFileWriter> m_writer;
    bool m_pictureRequested = false; // a sized CreateMetaFile was accepted
    int m_reportedStatus = 0;        // the last MetafileUpdate fired
    uint64_t m_changeCount = 0;      // property changes and updates
    // What the last complete picture showed: reused while it still holds.
    std::vector<double> m_pictureKey;
    QImage m_pendingClipboard;                                            // guarded by m_frameMutex
    std::array<plotrane::Variant, plotrane::kPropertyCount + 1> m_values; // by dispid
    uint32_t m_backColor = 0xFFFFFF;
    PlotraneFont m_fonts[2];
    bool m_modified = false;
    bool m_eventsFrozen = false;
    bool m_cycling = false;
    QTimer m_timer;
    QTimer m_stepTimer; // retries a level step the busy render thread put off
    // Since the user last moved the cursor or zoomed: finer levels wait for
    // a rest, so that a held arrow key never waits for a finest-level frame.
    QElapsedTimer m_sinceInteraction;
    std::mutex m_frameMutex;
    QImage m_pendingFrame; // guarded by m_frameMutex
    QImage m_frame;
    // A published frame asked for the next paint (see paintEvent).
    bool m_frameArrived = false;
    // Input, tips and cursor.
    int m_mouseX = 0, m_mouseY = 0;
    int m_tipX = 0, m_tipY = 0;
    long long m_tipTime = 0; // whole seconds; 0: none
    int m_movesSinceTip = 0;
    bool m_mouseInside = false;
    // A right click (press and release in place, no Shift) opens the
    // context menu; a Shift + right drag pans instead.
    QPoint m_rightPress;
    bool m_rightClick = false;
    bool m_dataBound = false;
    int64_t m_pendingRow = 0, m_pendingColumn = 0;
    std::optional<std::string> m_tip;
    std::function<double()> m_clock;
    // Tick values per dimension (SetAxisScale): one-dimensional segments.
    std::array<std::shared_ptr<const aglSegment>, plotrane::kMaxDimIndex + 1> m_dimScales;
};
