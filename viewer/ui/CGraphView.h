// The graph views: the lower pane of the main frame, hosting one graph
// control created by its class identifier through the control library's
// factory (plotrane/ControlFactory.h). The viewer drives the control only
// through its dispatch interface, by dispatch identifier (the CPlotrane2D
// wrapper), and hears its events through the control's signals, connected
// by name as an event sink would be.
//
// CPlotrane2DView is the control-hosting view: the wrapper, the created
// flag, and the filter-pass range tables the range dialogs read.
// CGraphView adds the 2-second file-watch timer and the white background.
// User-interface thread only.
#pragma once

#include "CPlotrane2D.h"
#include "DocView.h"
#include "plotrane/ControlFactory.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class CArrayDoc;

class CPlotrane2DView : public QWidget, public ControlHostView {
    Q_OBJECT
public:
    // Makes the control as a child of the given widget; an empty instance
    // when it cannot be made. The default asks the control library for
    // kPlotrane2DClassId.
    using ControlMaker = std::function<plotrane::ControlInstance(QWidget* parent)>;
    static ControlMaker libraryControl();

    static constexpr int kControlId = 1006;
    // Versions below this are refused; the message names the same one.
    static constexpr int kNeedMajor = 1;
    static constexpr int kNeedMinor = 5;

    CPlotrane2DView(CArrayDoc* document, QWidget* parent = nullptr,
                    const ControlMaker& maker = libraryControl());
    ~CPlotrane2DView() override;

    // A control host of its own; CGraphView is the frame's graph pane.
    bool isGraphPane() const override { return false; }
    // The wrapper once the control exists, else nullptr.
    CPlotrane2D* control() override { return m_created ? m_wrapper.get() : nullptr; }
    bool isCreated() const { return m_created; }
    // The control's widget (nullptr when there is none).
    QWidget* controlWidget() const { return m_created ? m_controlWidget : nullptr; }

    // The range of component 0..3 from the last filter pass; other numbers
    // leave low and high untouched.
    void passRange(int component, double& low, double& high) const;

    // The picture the control shows now (null without a control): what a
    // copy of the graph puts on the clipboard.
    QImage currentFrame() const;

    CArrayDoc* document() const { return m_document; }

signals:
    // Relayed events, for whoever waits on the picture (screenshots).
    void filterPassed(int level, int component);
    void renderPassed(int resolution);
    // A control property took a new value, whoever wrote it (the viewer,
    // an automation client, the control's own property pages).
    void propertyChanged(int dispid);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    // The event sink; the signatures are the control's events.
    void onRowColChanged(int32_t row, int32_t column);
    void onRndrPass(float frameTime, int32_t renderMode, int32_t resolution, int32_t antiAliasPass,
                    bool antiAliasComplete, int32_t reserved);
    void onFltrPass(int16_t level, int16_t component, double minimum, double maximum);
    void onMetafileUpdate(int16_t status, int32_t value);
    void onPropertyChanged(int32_t dispid);

private:
    void createControl(const ControlMaker& maker);
    void failControl();

    CArrayDoc* m_document;
    QWidget* m_controlWidget = nullptr;
    std::unique_ptr<CPlotrane2D> m_wrapper;
    bool m_created = false;
    std::array<double, 4> m_passLow{};
    std::array<double, 4> m_passHigh{};
    // The first render pass refreshes the status bar's array description;
    // later ones do nothing.
    bool m_firstRenderPass = true;
};

class CGraphView : public CPlotrane2DView {
    Q_OBJECT
public:
    static constexpr int kTimerPeriodMs = 2000;

    CGraphView(CArrayDoc* document, QWidget* parent = nullptr,
               const ControlMaker& maker = libraryControl());
    ~CGraphView() override;

    bool isGraphPane() const override { return true; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTimer m_timer;
    // Set once the view has been on screen: only then is its height one
    // the user saw, worth keeping for the next start.
    bool m_shown = false;
};
