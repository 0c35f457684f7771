// CPlotrane2DCtrl: the graph control as a widget. A thin QWidget over
// ControlModel (control/model), which owns the engine and implements every
// property and method: the widget paints the frames the model's render
// thread publishes, turns mouse, wheel and keys into camera moves, cursor
// moves, selections and data tips, runs the model's tick on a timer, opens
// the property pages and the About box, and fires the model's events as Qt
// signals named as the events.
//
// Hosts never see this class: they create the control through
// plotrane::createControl and drive it by its dispatch interface, which the
// widget forwards to its model. The control's own tests reach the model
// through model().
//
// Host (user-interface) thread only, like every QWidget.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "plotrane/ControlDispatch.h"

class ControlModel;

class CPlotrane2DCtrl : public QWidget, public plotrane::ControlDispatch {
    Q_OBJECT
    // The frame shown, for hosts and tests that hold only the widget.
    Q_PROPERTY(QImage currentFrame READ currentFrame)
public:
    // renderStartDelayMs: a pause of the render thread before its first
    // frame, for a host that needs one (none by default: the first frame
    // comes as soon as the coarsest level is ready). antiAliasQuietMs: the
    // quiet time before anti-aliasing passes start.
    explicit CPlotrane2DCtrl(QWidget* parent = nullptr, int renderStartDelayMs = 0,
                             int antiAliasQuietMs = 1000);
    ~CPlotrane2DCtrl() override;

    // --- The dispatch interface (the model's) ------------------------------------
    plotrane::Variant GetProperty(int dispid) override;
    plotrane::DispatchStatus SetProperty(int dispid, const plotrane::Variant& value) override;
    plotrane::Variant Invoke(int dispid, const std::vector<plotrane::Variant>& args) override;

    // The control without its widget: properties, methods, persistence, the
    // engine.
    ControlModel& model();

    // One tick of the timer: the model's tick, then the hover step of the
    // data tips.
    void tick();
    // Seconds between ticks of the timer.
    double timerPeriod() const;
    // The frame the widget shows now (null before the first).
    QImage currentFrame() const;

    // Shows the property sheet modally over the control: the seven pages and
    // the colour and font pages. Returns when the user closes it; true when
    // it was closed with OK. The context menu's "Properties..." calls it.
    bool showPropertyPages();
    // Shows the About box modally (the AboutBox method).
    void showAboutBox();

    // Seconds since the epoch for the hover and tip timing; tests set a
    // clock of their own.
    void setClock(std::function<double()> clock);

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
    struct Private;
    std::unique_ptr<Private> d;
};
