// Scene objects and set-up shared by the render tests: no display needed.
#pragma once

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

#include "aglGL.h"
#include "aglRenderContext.h"

namespace rtest {

// A QGuiApplication on the offscreen platform for the fonts (the user
// folders are already private: tests/support/TestMain.cpp).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LP_NUM_THREADS", "0", 0); // llvmpipe draws on the render thread itself
        static int argc = 1;
        static char arg0[] = "render_tests";
        static char* argv[] = {arg0, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QGuiApplication> m_app;
};

// Sets a pixel-space projection: x 0..w, y 0..h (bottom-up), z -1..1 with
// larger z nearer the viewer.
inline void pixelProjection(int w, int h) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The bound graph of the test scenes: it always has data unless told not to,
// and counts how its lock is used. It draws what `draw` says, in pixels.
class TestGraph : public aglObj, public aglFrameGraph {
public:
    std::function<void(RenderMode)> draw;
    std::atomic<bool> hasData{true};
    std::atomic<int> locks{0}, unlocks{0};
    std::atomic<int> renders[4] = {0, 0, 0, 0};
    // When set, the nth AntiAliasPass render (from 1) blocks until released.
    int blockOnPass = 0;
    std::mutex gateMutex;
    std::condition_variable gateCv;
    bool blocked = false, released = false;

    bool LockFrameData(aglRenderContext&) override {
        if (!hasData.load()) return false;
        ++locks;
        return true;
    }
    void UnlockFrameData() override { ++unlocks; }
    bool DrawsData() const override { return hasData.load(); }
    void Render(RenderMode mode) override {
        const int n = ++renders[int(mode)];
        if (mode == RenderMode::AntiAliasPass && n == blockOnPass) {
            std::unique_lock<std::mutex> lock(gateMutex);
            blocked = true;
            gateCv.notify_all();
            gateCv.wait(lock, [&] { return released; });
        }
        if (draw) draw(mode);
        aglObj::Render(mode);
    }
    void waitBlocked() {
        std::unique_lock<std::mutex> lock(gateMutex);
        gateCv.wait(lock, [&] { return blocked; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(gateMutex);
        released = true;
        gateCv.notify_all();
    }
};

inline QRgb px(const QImage& img, int x, int yUp) {
    return img.pixel(x, img.height() - 1 - yUp);
}

// Colour within one step of (r, g, b): float colours may round either way.
inline bool near(QRgb c, int r, int g, int b) {
    return std::abs(qRed(c) - r) <= 1 && std::abs(qGreen(c) - g) <= 1 &&
           std::abs(qBlue(c) - b) <= 1;
}

// Starts a context of w x h with short timings and waits for its first idle.
inline void startContext(aglRenderContext& ctx, int w, int h, int quietMs = 30) {
    ctx.SetWindowSize(w, h);
    ctx.SetTimings(0, quietMs);
    ctx.Start(false);
    ctx.WaitUntilIdle();
}

// Sends Run and waits for the frame it produces; returns it.
inline QImage redrawAndWait(aglRenderContext& ctx, bool invalidate = true) {
    ctx.WaitUntilIdle();
    const uint64_t before = ctx.PublishedFrames();
    ctx.Redraw(invalidate);
    EXPECT_TRUE(ctx.WaitForFrame(before, 20000));
    ctx.WaitUntilIdle();
    return ctx.LatestFrame();
}

} // namespace rtest
