// aglView: the engine's window object. It owns the render context (and with
// it the camera), keeps the client size, starts and stops the render thread,
// and turns mouse input into camera moves: rotate, pan and zoom drags, and
// the hover tracking that tells the data tips when the mouse rests.
//
// The control's engine class derives from it and overrides Attach, Detach,
// Resize, Pick and GetFrameRate. A widget forwards its size and mouse events
// here; a headless user (a test, agltool render) calls Attach, Resize and
// Redraw and takes pictures from Context().LatestFrame().
//
// Threads: everything here runs on the host's thread.
#pragma once

#include <cstdint>

#include "aglRenderContext.h"

class aglView {
public:
    enum MouseButton : unsigned { kLeftButton = 1u, kRightButton = 2u };
    static constexpr int kHistorySize = 10;

    aglView() = default;
    virtual ~aglView();
    aglView(const aglView&) = delete;
    aglView& operator=(const aglView&) = delete;

    // Starts the render thread (at the lowest priority unless lowPriority is
    // false) and, in spin mode, continuous rendering. Returns 0.
    virtual int Attach(bool lowPriority = true);
    // Sends Quit, wakes the thread and waits for it to end.
    virtual void Detach();
    // Client size in pixels; passed to the render context (and to the camera
    // as its viewport; a derived class that reserves a strip for a palette bar
    // sets the camera's viewport itself).
    virtual void Resize(int width, int height);
    // With invalidate, the accumulated anti-aliased picture is dropped first.
    void Redraw(bool invalidate);
    // Picks at window coordinates (y down); see aglRenderContext::Pick.
    virtual int Pick(int x, int y, uint8_t rgba[4]);
    virtual float GetFrameRate() const { return m_context.GetFrameRate(); }

    // Mouse, in window coordinates with y growing downwards. w and h are the
    // graph area's size. Buttons are MouseButton bits.
    void ButtonDown(MouseButton button, int x, int y);
    void ButtonUp(MouseButton button);
    // Returns 1 when the mouse rests (show a data tip), -1 when it left the
    // window (capture released), 0 otherwise. nowSeconds is a clock in seconds
    // (whole seconds are used); the overload without it reads the wall clock.
    int MouseMove(int x, int y, unsigned buttons, bool shift, int w, int h, double nowSeconds);
    int MouseMove(int x, int y, unsigned buttons, bool shift, int w, int h);

    // ViewerMode: 1 rotate/zoom/pan (default), 2 pan, 0 no camera drags.
    void SetMouseMode(int mode) { m_mouseMode = mode; }
    int MouseMode() const { return m_mouseMode; }
    void SetSpinMode(bool on);
    bool SpinMode() const { return m_spinMode; }
    // Set by whoever shows a data tip; cleared when the mouse moves away.
    void SetTipShown(bool shown) { m_tipShown = shown; }
    bool TipShown() const { return m_tipShown; }
    bool MouseCaptured() const { return m_mouseCaptured; }

    aglRenderContext& Context() { return m_context; }
    const aglRenderContext& Context() const { return m_context; }
    aglCameraObj& Camera() { return m_context.Camera(); }
    int ClientWidth() const { return m_width; }
    int ClientHeight() const { return m_height; }

protected:
    // The widget grabs or releases the mouse; nothing by default.
    virtual void CaptureMouse() {}
    virtual void ReleaseMouse() {}

private:
    struct Sample {
        int x = 0, y = 0;
        long long seconds = -1000000; // far in the past: never counts as recent
    };

    aglRenderContext m_context;
    int m_width = 1, m_height = 1;
    bool m_spinMode = false;
    bool m_leftDown = false, m_rightDown = false;
    int m_lastX = 0, m_lastY = 0;
    int m_mouseMode = 1;
    Sample m_history[kHistorySize];
    int m_historyNext = 0;
    bool m_tipShown = true;
    bool m_mouseCaptured = false;
};
