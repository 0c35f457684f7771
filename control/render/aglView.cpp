#include "aglView.h"

#include <chrono>
#include <cmath>

aglView::~aglView() {
    m_context.Stop();
}

int aglView::Attach(bool lowPriority) {
    m_context.Start(lowPriority);
    if (m_spinMode) {
        Camera().SetSpin(true);
        m_context.StartContinuous();
    }
    return 0;
}

void aglView::Detach() {
    m_context.Stop();
}

void aglView::Resize(int width, int height) {
    m_width = width;
    m_height = height;
    m_context.SetWindowSize(width, height);
    Camera().SetViewport(width, height);
}

void aglView::Redraw(bool invalidate) {
    m_context.Redraw(invalidate);
}

int aglView::Pick(int x, int y, uint8_t rgba[4]) {
    return m_context.Pick(x, m_height - y - 1, rgba);
}

void aglView::SetSpinMode(bool on) {
    m_spinMode = on;
    Camera().SetSpin(on && !m_leftDown && !m_rightDown);
}

void aglView::ButtonDown(MouseButton button, int x, int y) {
    m_lastX = x;
    m_lastY = y;
    if (button == kLeftButton) m_leftDown = true;
    if (button == kRightButton) m_rightDown = true;
    m_context.SetDataTip(nullptr);
    Camera().SetSpin(false);
    if (!m_spinMode) m_context.StartContinuous();
}

void aglView::ButtonUp(MouseButton button) {
    if (button == kLeftButton) m_leftDown = false;
    if (button == kRightButton) m_rightDown = false;
    if (!m_spinMode)
        m_context.StopContinuous();
    else if (!m_leftDown && !m_rightDown)
        Camera().SetSpin(true);
}

int aglView::MouseMove(int x, int y, unsigned buttons, bool shift, int w, int h) {
    using namespace std::chrono;
    const double now = duration<double>(system_clock::now().time_since_epoch()).count();
    return MouseMove(x, y, buttons, shift, w, h, now);
}

int aglView::MouseMove(int x, int y, unsigned buttons, bool shift, int w, int h,
                       double nowSeconds) {
    // A button released outside the window never sent its up message.
    if (m_leftDown && !(buttons & kLeftButton)) ButtonUp(kLeftButton);
    if (m_rightDown && !(buttons & kRightButton)) ButtonUp(kRightButton);

    if (m_leftDown || m_rightDown) {
        enum { None, Rotate, Pan, Zoom } drag = None;
        if (m_mouseMode == 1) {
            if (m_leftDown)
                drag = shift ? Zoom : Rotate;
            else if (m_rightDown && shift)
                drag = Pan;
        } else if (m_mouseMode == 2 && m_leftDown) {
            drag = Pan;
        }
        if (drag == None) return 0;
        // A graph area under one pixel would divide by zero.
        if (w >= 1 && h >= 1) {
            aglCameraObj& cam = Camera();
            const float fw = float(w), fh = float(h);
            switch (drag) {
            case Rotate:
                cam.SetAzimuth(cam.Azimuth() - 180.0f * float(x - m_lastX) / fw);
                cam.SetElevation(cam.Elevation() - 180.0f * float(m_lastY - y) / fh);
                break;
            case Pan: {
                const float d = cam.Distance();
                cam.Pan(float(m_lastX - x) / fw * d, float(y - m_lastY) / fh * d);
                break;
            }
            case Zoom:
                cam.SetDistance(cam.Distance() + float(m_lastY - y) / fh);
                break;
            case None:
                break;
            }
        }
        m_lastX = x;
        m_lastY = y;
        return 0;
    }

    // Hover tracking.
    const long long t = (long long)std::floor(nowSeconds);
    m_history[m_historyNext] = {x, y, t};
    const int newest = m_historyNext;
    m_historyNext = (m_historyNext + 1) % kHistorySize;
    int result = 0;
    if (x >= 6 && y >= 6 && x < w - 5 && y < h - 5) {
        int near = 0;
        bool moved = false;
        for (int k = 1; k < kHistorySize; ++k) {
            const Sample& s = m_history[(newest - k + kHistorySize) % kHistorySize];
            if (t - s.seconds > 5) break;
            const int dx = s.x - x, dy = s.y - y;
            if (dx * dx + dy * dy > 49) {
                m_tipShown = false;
                moved = true;
                break;
            }
            ++near;
        }
        if (near >= 2 && !moved && !m_tipShown) result = 1;
    }
    const bool inside = x >= 0 && y >= 0 && x < w && y < h;
    if (!m_mouseCaptured && inside) {
        m_mouseCaptured = true;
        CaptureMouse();
    } else if (m_mouseCaptured && !inside) {
        m_mouseCaptured = false;
        ReleaseMouse();
        return -1;
    }
    return result;
}
