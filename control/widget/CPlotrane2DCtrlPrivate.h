// The widget's private part: its model, its timer and the state of the
// input (mouse, hover, tips, context menu). Shared by CPlotrane2DCtrl.cpp
// and CPlotrane2DCtrlInput.cpp only.
#pragma once

#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"

#include <QPoint>
#include <QTimer>

struct CPlotrane2DCtrl::Private {
    Private(CPlotrane2DCtrl& widget, int renderStartDelayMs, int antiAliasQuietMs);

    // Seconds since the epoch (the test's clock when one is set).
    double now() const;
    // The mouse buttons held now, as the engine's button bits.
    static unsigned heldButtons();
    // The camera's part of the window: the drag geometry divides by it.
    void graphArea(int& w, int& h);
    // The tick's hover step: a tip where the mouse rests.
    void hoverTick();
    // An arrow key moves the cursor (Shift: a tenth of the window).
    bool moveCursorByKey(int key, bool shift);
    // The context menu at a global position: "Properties...", "About".
    void showContextMenu(const QPoint& globalPos);

    CPlotrane2DCtrl& q;
    ControlModel model;
    QTimer timer;
    // A published frame asked for the next paint (see ControlModel::paint).
    bool frameArrived = false;
    int mouseX = 0, mouseY = 0;
    int tipX = 0, tipY = 0;
    long long tipTime = 0; // whole seconds; 0: none
    int movesSinceTip = 0;
    bool mouseInside = false;
    // A right click (press and release in place, no Shift) opens the
    // context menu; a Shift + right drag pans instead.
    QPoint rightPress;
    bool rightClick = false;
    std::function<double()> clock;
};
