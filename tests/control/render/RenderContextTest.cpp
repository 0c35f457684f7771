// The render context with a real GL context on Mesa's surfaceless platform:
// frames, picking, anti-aliasing, reuse of the accumulated picture, data tip,
// clipboard copy and the render thread's hand-shakes.
#include <QImage>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "WaitFor.h"
#include "aglPickCode.h"
#include "aglView.h"

using namespace rtest;

namespace {

const auto* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kW = 64, kH = 48;

// A red triangle with corners (8, 8), (56, 8), (8, 40) in pixels at depth 0.
void drawTriangle(RenderMode) {
    pixelProjection(kW, kH);
    glColor3f(1, 0, 0);
    glBegin(GL_TRIANGLES);
    glVertex3f(8, 8, 0);
    glVertex3f(56, 8, 0);
    glVertex3f(8, 40, 0);
    glEnd();
}

class RenderContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        graph.draw = drawTriangle;
        ctx.AddObject(&graph);
        ctx.SetGraph(&graph);
        ctx.SetBackground(0.0f, 0.0f, 1.0f);
        startContext(ctx, kW, kH);
        ASSERT_FALSE(ctx.StartFailed()) << ctx.StartError();
    }
    void TearDown() override { ctx.Stop(); }

    // Waits until the anti-aliased picture is complete and published.
    QImage waitForAntiAliased() {
        EXPECT_TRUE(waitFor([&] { return ctx.IsAccumulationComplete(); }));
        ctx.WaitUntilIdle();
        // The state may still be AwaitingIdle from before the passes began.
        EXPECT_TRUE(waitFor([&] { return ctx.State() == ThreadState::Idle; }));
        return ctx.LatestFrame();
    }

    TestGraph graph;
    aglRenderContext ctx;
};

TEST_F(RenderContextTest, FrameShowsBackgroundAndTriangleWhereDrawn) {
    const QImage img = redrawAndWait(ctx);
    ASSERT_EQ(img.size(), QSize(kW, kH));
    EXPECT_EQ(px(img, 2, 2), qRgb(0, 0, 255));   // background
    EXPECT_EQ(px(img, 60, 44), qRgb(0, 0, 255)); // top-right corner
    EXPECT_EQ(px(img, 12, 12), qRgb(255, 0, 0)); // inside the triangle, near (8, 8)
    EXPECT_EQ(px(img, 40, 30), qRgb(0, 0, 255)); // beyond the hypotenuse
    EXPECT_EQ(graph.locks.load(), graph.unlocks.load());
    EXPECT_FALSE(ctx.LastFrameIncomplete());
    EXPECT_NE(ctx.GLVersion(), "");
    // A forced platform must be the one used; otherwise the first that works.
    const char* forced = std::getenv("TAVRIX_EGL_PLATFORM");
    if (forced && *forced && std::string(forced) != "auto") {
        EXPECT_EQ(ctx.Platform(), forced);
    } else {
        EXPECT_NE(ctx.Platform(), "");
    }
}

TEST_F(RenderContextTest, DepthTestHidesTheFartherQuadWhateverTheOrder) {
    graph.draw = [](RenderMode) {
        pixelProjection(kW, kH);
        glColor3f(0, 1, 0); // near, drawn first
        glRectf(10, 10, 40, 40);
        glColor3f(1, 1, 1);
        glBegin(GL_QUADS); // far, drawn second
        glVertex3f(20, 20, -0.5f);
        glVertex3f(60, 20, -0.5f);
        glVertex3f(60, 46, -0.5f);
        glVertex3f(20, 46, -0.5f);
        glEnd();
    };
    const QImage img = redrawAndWait(ctx);
    EXPECT_EQ(px(img, 30, 30), qRgb(0, 255, 0));
    EXPECT_EQ(px(img, 50, 30), qRgb(255, 255, 255));
}

TEST_F(RenderContextTest, NoDataClearsToBackgroundAndMarksTheFrameIncomplete) {
    graph.hasData = false;
    const int before = graph.renders[0].load();
    const QImage img = redrawAndWait(ctx);
    EXPECT_EQ(px(img, 12, 12), qRgb(0, 0, 255));
    EXPECT_TRUE(ctx.LastFrameIncomplete());
    EXPECT_EQ(graph.renders[0].load(), before);
    uint8_t rgba[4] = {1, 2, 3, 4};
    ASSERT_EQ(ctx.Pick(12, 12, rgba), 0);
    EXPECT_EQ(rgba[0] | rgba[1] | rgba[2] | rgba[3], 0); // nothing picked
}

// A 4 x 3 sample grid drawn as one smooth-shaded quad over x 8..56, y 8..40
// with each corner's pick code: colours interpolate into fractional indices.
TEST_F(RenderContextTest, PickReadsTheCodeUnderThePointAndDecodesFractionalIndices) {
    const int nx = 4, ny = 3, sx = aglPickShift(nx), sy = aglPickShift(ny);
    graph.SetPickId(2);
    graph.draw = [&](RenderMode mode) {
        pixelProjection(kW, kH);
        if (mode != RenderMode::Pick) {
            glColor3f(0.5f, 0.5f, 0.5f);
            glRectf(8, 8, 56, 40);
            return;
        }
        glShadeModel(GL_SMOOTH);
        glDisable(GL_DITHER);
        uint8_t c[3];
        glBegin(GL_QUADS);
        const int corners[4][2] = {{0, 0}, {nx - 1, 0}, {nx - 1, ny - 1}, {0, ny - 1}};
        for (const auto& k : corners) {
            aglEncodePick(graph.PickId(), k[0], k[1], sx, sy, c);
            glColor3ub(c[0], c[1], c[2]);
            glVertex2f(8.0f + 48.0f * k[0] / (nx - 1), 8.0f + 32.0f * k[1] / (ny - 1));
        }
        glEnd();
    };
    redrawAndWait(ctx);
    const uint64_t published = ctx.PublishedFrames();
    uint8_t rgba[4];
    // Pixel centre (32.5, 24.5): half-way across both directions.
    ASSERT_EQ(ctx.Pick(32, 24, rgba), 0);
    aglPickDecoded d = aglDecodePick(rgba, sx, sy);
    EXPECT_EQ(d.id, 2);
    EXPECT_NEAR(d.x, (32.5 - 8.0) / 48.0 * (nx - 1), 0.1);
    EXPECT_NEAR(d.y, (24.5 - 8.0) / 32.0 * (ny - 1), 0.1);
    // Near the first corner.
    ASSERT_EQ(ctx.Pick(9, 9, rgba), 0);
    d = aglDecodePick(rgba, sx, sy);
    EXPECT_EQ(d.id, 2);
    EXPECT_LT(d.x, 0.15);
    EXPECT_LT(d.y, 0.15);
    // Outside the object: black, identifier 0.
    ASSERT_EQ(ctx.Pick(60, 44, rgba), 0);
    EXPECT_EQ(aglDecodePick(rgba, sx, sy).id, 0);
    // A pick frame is never published.
    EXPECT_EQ(ctx.PublishedFrames(), published);
}

TEST_F(RenderContextTest, PickFailsWhileAntiAliasingPassesAreUnderWay) {
    graph.blockOnPass = 3; // passes 1 and 2 are done when this one blocks
    ctx.SetAntiAliasPasses(8);
    ctx.Redraw(true);
    graph.waitBlocked();
    uint8_t rgba[4];
    EXPECT_EQ(ctx.Pick(10, 10, rgba), -1);
    graph.release();
    waitForAntiAliased();
    EXPECT_EQ(ctx.Pick(10, 10, rgba), 0);
}

class AntiAliasPassesTest : public RenderContextTest, public ::testing::WithParamInterface<int> {};

// Anti-aliasing only changes pixels on edges: every pixel that differs from
// the plain picture has a neighbour of another colour in the plain picture.
TEST_P(AntiAliasPassesTest, PicturesDifferFromThePlainOneOnlyAtEdges) {
    const int n = GetParam();
    // Jitter reaches the picture through the camera: look straight down at
    // the x-y plane and draw the triangle there.
    aglCameraObj& cam = ctx.Camera();
    cam.SetViewport(kW, kH);
    cam.SetCenter(0.5f, 0.5f, 0.0f);
    cam.SetElevation(90.0f);
    cam.SetAzimuth(-90.0f);
    cam.SetDistance(2.5f);
    ctx.Lock();
    ctx.RemoveObject(&graph);
    ctx.AddObject(&cam);
    ctx.AddObject(&graph);
    graph.draw = [](RenderMode) {
        glColor3f(1, 0, 0);
        glBegin(GL_TRIANGLES);
        glVertex3f(0.1f, 0.1f, 0);
        glVertex3f(0.9f, 0.2f, 0);
        glVertex3f(0.2f, 0.8f, 0);
        glEnd();
    };
    ctx.Unlock();
    const QImage plain = redrawAndWait(ctx);
    plain.save(tavrix::test::testOutputDir() + "/aa_plain.png");
    const int passesBefore = graph.renders[int(RenderMode::AntiAliasPass)].load();
    ctx.SetAntiAliasPasses(n);
    QImage aa = n == 0 ? redrawAndWait(ctx) : (ctx.Redraw(true), waitForAntiAliased());
    EXPECT_EQ(graph.renders[int(RenderMode::AntiAliasPass)].load() - passesBefore, n);
    aa.save(tavrix::test::testOutputDir() + "/aa_" + QString::number(n) + ".png");
    int differing = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (aa.pixel(x, y) == plain.pixel(x, y)) continue;
            ++differing;
            bool edge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int u = x + dx, v = y + dy;
                    if (u >= 0 && v >= 0 && u < kW && v < kH &&
                        plain.pixel(u, v) != plain.pixel(x, y))
                        edge = true;
                }
            EXPECT_TRUE(edge) << "pixel " << x << "," << y << " changed away from any edge";
        }
    if (n < 2) {
        EXPECT_EQ(differing, 0); // one unjittered pass is the plain picture
    } else {
        EXPECT_GT(differing, 10);
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, AntiAliasPassesTest, ::testing::Values(0, 1, 2, 32));

TEST_F(RenderContextTest, PlainRepaintAfterAntiAliasingReusesTheAccumulatedPicture) {
    ctx.SetAntiAliasPasses(4);
    ctx.Redraw(true);
    const QImage aa = waitForAntiAliased();
    const uint64_t calls = ctx.ObjectRenderCalls();
    const QImage again = redrawAndWait(ctx, false);
    EXPECT_EQ(ctx.ObjectRenderCalls(), calls) << "objects were drawn again";
    EXPECT_EQ(again, aa);
    // A changed object is drawn again, and anti-aliased again after the quiet time.
    ctx.Lock();
    graph.Invalidate();
    ctx.Unlock();
    redrawAndWait(ctx, false);
    EXPECT_GT(ctx.ObjectRenderCalls(), calls);
    EXPECT_EQ(waitForAntiAliased(), aa);
}

TEST_F(RenderContextTest, DataTipNearTheTopRightCornerIsDrawnBelowAndLeftOfThePoint) {
    uint8_t rgba[4];
    ctx.SetWindowSize(200, 120);
    ASSERT_EQ(ctx.Pick(190, 110, rgba), 0);
    ctx.SetDataTip("42.5");
    const QImage img = redrawAndWait(ctx);
    img.save(tavrix::test::testOutputDir() + "/data_tip_corner.png");
    ASSERT_EQ(img.size(), QSize(200, 120));
    // Box colour (0.9, 0.9, 0.7) must be found left of and below the point only.
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            if (near(px(img, x, y), 230, 230, 179)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "no data-tip box drawn";
    EXPECT_LE(maxX, 180);
    EXPECT_LE(maxY, 100);
    EXPECT_GT(maxX - minX, 15); // room for the text
    // Black text pixels inside the box.
    int black = 0;
    for (int y = minY; y <= maxY; ++y)
        for (int x = minX; x <= maxX; ++x)
            black += px(img, x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, 10);
    ctx.SetDataTip(nullptr);
    const QImage none = redrawAndWait(ctx);
    EXPECT_FALSE(near(px(none, (minX + maxX) / 2, (minY + maxY) / 2), 230, 230, 179));
}

TEST_F(RenderContextTest, ClipboardCopyIsThePictureAndANarrowWindowIsRefused) {
    QImage copied;
    int calls = 0;
    ctx.SetClipboardSink([&](const QImage& img) {
        copied = img;
        ++calls;
    });
    ASSERT_TRUE(ctx.RequestCapture(0, 0));
    const QImage shown = redrawAndWait(ctx);
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              shown.convertToFormat(QImage::Format_RGB32));
    ctx.SetClipboardTrim(kW);
    ASSERT_TRUE(ctx.RequestCapture(0, 0));
    redrawAndWait(ctx);
    EXPECT_EQ(calls, 1) << "a picture of width 0 was copied";
    EXPECT_FALSE(ctx.RequestCapture(100, 100)) << "no metafile writer, yet a capture was accepted";
}

// A writer that records how the capture frame drives it.
class FakeWriter : public aglCaptureWriter {
public:
    std::atomic<int> prepared{0}, finished{0}, objects{0}, budget{0}, window{0};
    // Overflows this many captures in a row (then the capture fits).
    std::atomic<int> overflows{0};
    std::atomic<bool> overflow{false}, capturing{false}, complete{false};
    bool IsBusy() const override { return false; }
    bool Prepare(int w, int h) override { return w > 0 && h > 0 && ++prepared > 0; }
    bool BeginCapture(int pointBudget, int w, int h) override {
        budget = pointBudget;
        window = w * 10000 + h;
        capturing = true;
        return true;
    }
    void BeginObject(aglObj&) override { ++objects; }
    void EndObject(aglObj&) override {}
    bool Overflowed() const override { return overflow.load(); }
    void FinishCapture(bool done) override {
        overflow = overflows.load() > 0;
        if (overflow) --overflows;
        complete = done;
        capturing = false;
        ++finished;
    }
    bool IsCapturing() const override { return capturing.load(); }
    void CaptureText(float, float, float, const char*, const std::string&, int, int, float,
                     float) override {}
};

TEST_F(RenderContextTest, MetafileCaptureFrameGoesThroughTheWriterAndPublishesNothing) {
    FakeWriter writer;
    ctx.SetCaptureWriter(&writer);
    EXPECT_FALSE(ctx.RequestCapture(-5, 10));
    auto capture = [&] {
        const int before = writer.finished.load();
        ASSERT_TRUE(ctx.RequestCapture(640, 480));
        const uint64_t published = ctx.PublishedFrames();
        ctx.Resume();
        ASSERT_TRUE(waitFor([&] { return writer.finished.load() != before; }));
        ctx.WaitUntilIdle();
        EXPECT_TRUE(writer.complete.load());
        EXPECT_EQ(ctx.LastFrameMode(), RenderMode::MetaFile);
        // The capture frame publishes nothing; the Normal frame after it does.
        EXPECT_LE(ctx.PublishedFrames(), published + 1);
    };
    capture();
    EXPECT_EQ(writer.budget.load(), 5000);
    EXPECT_EQ(writer.objects.load(), 1);
    EXPECT_EQ(writer.window.load(), kW * 10000 + kH);
    // Two overflows: the render thread captures again by itself, each time
    // with twice the room, until the picture fits.
    writer.overflows = 2;
    const int before = writer.finished.load();
    capture();
    ASSERT_TRUE(waitFor([&] { return writer.finished.load() >= before + 3; }));
    EXPECT_EQ(writer.budget.load(), 20000);
    EXPECT_EQ(writer.finished.load(), before + 3);
    ctx.SetCaptureWriter(nullptr);
}

TEST_F(RenderContextTest, FrameRateAndFrameTimeComeFromTheRing) {
    EXPECT_GE(ctx.FrameCount(), 0u);
    for (int i = 0; i < 14; ++i)
        redrawAndWait(ctx);
    EXPECT_GE(ctx.FrameCount(), 14u);
    EXPECT_GT(ctx.GetFrameRate(), 0.0f);
    EXPECT_GE(ctx.LastFrameTime(), 0.0f);
}

TEST_F(RenderContextTest, ResizeGivesPicturesOfTheNewSize) {
    ctx.SetWindowSize(100, 30);
    EXPECT_EQ(ctx.RenderAndWait().size(), QSize(100, 30));
}

// --- thread hand-shakes ----------------------------------------------------------

TEST_F(RenderContextTest, PauseResumeContinuousAndQuitNeverDeadlock) {
    for (int round = 0; round < 20; ++round) {
        ctx.Pause();
        EXPECT_EQ(ctx.State(), ThreadState::Idle);
        ctx.Resume();
        ctx.StartContinuous();
        const uint64_t before = ctx.PublishedFrames();
        EXPECT_TRUE(ctx.WaitForFrame(before + 2, 20000)); // frames keep coming
        ctx.StopContinuous();
        ctx.WaitUntilIdle();
        ctx.Lock(); // the pipeline's way of changing objects
        graph.SetColor(0.1f * (round % 10), 0.2f, 0.3f);
        ctx.Unlock();
    }
    ctx.StartContinuous();
    ctx.Stop(); // Quit while drawing continuously
    EXPECT_EQ(ctx.State(), ThreadState::Ended);
}

// A host reads each frame it takes and lets it go while frames keep coming,
// as a paint does: the thread never writes pixels it has handed out (it once
// read into a buffer again as soon as no one held it, with nothing ordering
// the write after the host's reads; ThreadSanitizer reported it), and a
// frame still held keeps its picture.
TEST_F(RenderContextTest, PixelsHandedOutAreNeverWrittenAgain) {
    const QImage held = ctx.RenderAndWait();
    ASSERT_FALSE(held.isNull());
    const QRgb blue = held.pixel(kW - 2, kH - 2);
    ctx.SetBackground(0.0f, 1.0f, 0.0f);
    ctx.StartContinuous();
    uint64_t last = ctx.PublishedFrames();
    int frames = 0;
    uint32_t mix = 0;
    EXPECT_TRUE(waitFor([&] {
        const QImage frame = ctx.LatestFrame();
        for (int y = 0; y < frame.height(); ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(frame.constScanLine(y));
            for (int x = 0; x < frame.width(); ++x)
                mix ^= row[x];
        }
        const uint64_t now = ctx.PublishedFrames();
        frames += now != last ? 1 : 0;
        last = now;
        return frames >= 30;
    }));
    ctx.StopContinuous();
    ctx.WaitUntilIdle();
    EXPECT_EQ(held.pixel(kW - 2, kH - 2), blue);
    EXPECT_NE(ctx.LatestFrame().pixel(kW - 2, kH - 2), blue);
    (void)mix;
}

// The graph's data is not ready: the frame waits for it in 20 ms steps and
// must give up when told to pause, or Pause would wait for ever.
class WaitingGraph : public aglObj, public aglFrameGraph {
public:
    std::atomic<bool> ready{false}, waiting{false};
    bool LockFrameData(aglRenderContext& context) override {
        while (!ready.load() && !context.ShouldStopWaiting()) {
            waiting = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return ready.load();
    }
    void UnlockFrameData() override {}
};

TEST(RenderThread, PauseAndQuitEndAFrameThatWaitsForData) {
    aglRenderContext ctx;
    WaitingGraph graph;
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetTimings(0, 30);
    ctx.Start(false);
    ASSERT_TRUE(waitFor([&] { return graph.waiting.load(); }));
    ctx.Pause();
    // The frame given up hands the cleared picture over, which a pause does
    // not wait for; the thread then stays idle.
    ASSERT_TRUE(waitFor([&] { return ctx.State() == ThreadState::Idle; }));
    EXPECT_TRUE(ctx.LastFrameIncomplete());
    graph.waiting = false;
    ctx.Resume();
    ASSERT_TRUE(waitFor([&] { return graph.waiting.load(); }));
    ctx.Stop();
    EXPECT_EQ(ctx.State(), ThreadState::Ended);
}

// A warm-up draws while the bound graph draws no data, once, and leaves
// the GL as it found it: the frames after it are those of a context that
// had none. One handed over once the graph draws data is not run at all.
TEST_F(RenderContextTest, AWarmUpRunsOnceWhileNothingIsToBeDrawnAndLeavesNoTrace) {
    const QImage cold = redrawAndWait(ctx);
    graph.hasData = false;
    redrawAndWait(ctx);
    std::atomic<int> runs{0};
    ctx.WarmUp([&](aglRenderContext& c) {
        ++runs;
        // State a frame does not set again for itself: polygons as
        // outlines, a depth test that nothing passes, blending that keeps
        // nothing drawn, a projection that puts everything elsewhere, and
        // the current colour; and a picture over the whole window.
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glDepthFunc(GL_NEVER);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ZERO, GL_ZERO);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, 5, 6);
        glColor3f(0.0f, 1.0f, 0.0f);
        glDisable(GL_BLEND);
        pixelProjection(kW, kH);
        glRectf(0, 0, kW, kH);
        glEnable(GL_BLEND);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, 5, 6);
        return !c.WarmUpShouldStop();
    });
    ASSERT_TRUE(waitFor([&] { return ctx.WarmUpsFinished() == 1; }));
    ctx.WaitUntilIdle();
    graph.hasData = true;
    const QImage warm = redrawAndWait(ctx);
    EXPECT_EQ(tavrix::test::countDifferentPixels(warm, cold, 0), 0);
    EXPECT_EQ(px(warm, 12, 12), qRgb(255, 0, 0));
    redrawAndWait(ctx);
    EXPECT_EQ(runs.load(), 1);

    ctx.WarmUp([&](aglRenderContext&) { return ++runs > 0; });
    redrawAndWait(ctx);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(ctx.WarmUpsFinished(), 1);
}

// A warm-up looks between its steps whether to stop: a pause comes back
// (instead of waiting for the whole warm-up), and a graph that draws data
// ends it too; neither counts as finished.
TEST_F(RenderContextTest, AWarmUpGivesWayToAPauseAndToData) {
    graph.hasData = false;
    redrawAndWait(ctx);
    std::atomic<int> steps{0};
    std::atomic<bool> ended{false};
    const auto untilStopped = [&](aglRenderContext& c) {
        while (!c.WarmUpShouldStop()) {
            ++steps;
            std::this_thread::yield();
        }
        ended = true;
        return false;
    };
    ctx.WarmUp(untilStopped);
    ASSERT_TRUE(waitFor([&] { return steps.load() > 0; }));
    ctx.Pause();
    EXPECT_TRUE(ended.load());
    ctx.Resume();
    ctx.WaitUntilIdle();

    steps = 0;
    ended = false;
    ctx.WarmUp(untilStopped);
    ASSERT_TRUE(waitFor([&] { return steps.load() > 0; }));
    graph.hasData = true;
    EXPECT_TRUE(waitFor([&] { return ended.load(); }));
    ctx.WaitUntilIdle();
    EXPECT_EQ(ctx.WarmUpsFinished(), 0);
    EXPECT_EQ(px(redrawAndWait(ctx), 12, 12), qRgb(255, 0, 0));
}

// A graph whose data wait is one very long step (ten minutes): a pause that
// did not cut the step short would wait it out (and the test's time-out
// would end the run).
class SlowDataGraph : public aglObj, public aglFrameGraph {
public:
    std::atomic<bool> waiting{false}, gaveUp{false};
    bool LockFrameData(aglRenderContext& context) override {
        waiting = true;
        gaveUp = context.SleepUnlessStopped(600000);
        return false;
    }
    void UnlockFrameData() override {}
};

TEST(RenderThread, PauseAndQuitCutAStepOfADataWaitShort) {
    aglRenderContext ctx;
    SlowDataGraph graph;
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetTimings(0, 30);
    ctx.Start(false);
    ASSERT_TRUE(waitFor([&] { return graph.waiting.load(); }));
    ctx.Pause();
    EXPECT_TRUE(graph.gaveUp.load());
    // The frame given up hands the cleared picture over, which a pause does
    // not wait for; the thread then stays idle.
    EXPECT_TRUE(waitFor([&] { return ctx.State() == ThreadState::Idle; }));
    graph.waiting = false;
    ctx.Resume();
    ASSERT_TRUE(waitFor([&] { return graph.waiting.load(); }));
    ctx.Stop();
    EXPECT_EQ(ctx.State(), ThreadState::Ended);
}

// The frame sink holds the frame in its hand-over until the test lets it
// go. Pause must come back meanwhile (the hand-over reads neither scene nor
// data), the scene may change, and the thread must not draw again until it
// is resumed; the sink, once cleared, is not called again.
TEST_F(RenderContextTest, PauseDoesNotWaitForTheHandOverOfTheFrameInFlight) {
    std::mutex m;
    std::condition_variable cv;
    bool inSink = false, letGo = false, gaveUp = false;
    std::atomic<int> calls{0};
    ctx.SetFrameSink([&](const QImage&) {
        ++calls;
        std::unique_lock<std::mutex> lock(m);
        inSink = true;
        cv.notify_all();
        // Bounded only so that a failing run ends.
        gaveUp = !cv.wait_for(lock, std::chrono::seconds(60), [&] { return letGo; });
        inSink = false;
    });
    const int rendersBefore = graph.renders[int(RenderMode::Normal)].load();
    ctx.Redraw(true);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(120), [&] { return inSink; }));
    }
    ctx.Pause();
    bool stillInSink;
    {
        std::lock_guard<std::mutex> lock(m);
        stillInSink = inSink && !gaveUp;
    }
    EXPECT_TRUE(stillInSink) << "Pause waited for the frame's hand-over to end";
    EXPECT_TRUE(ctx.HandingOver());
    // Paused: the scene may change while the hand-over goes on.
    ctx.RemoveObject(&graph);
    ctx.AddObject(&graph);
    {
        std::lock_guard<std::mutex> lock(m);
        letGo = true;
        cv.notify_all();
    }
    ASSERT_TRUE(waitFor([&] { return ctx.State() == ThreadState::Idle; }));
    EXPECT_FALSE(ctx.HandingOver());
    EXPECT_EQ(graph.renders[int(RenderMode::Normal)].load(), rendersBefore + 1)
        << "the thread drew again while paused";
    // Clearing the sink waits for a call in progress; afterwards no call comes.
    ctx.Resume();
    ctx.SetFrameSink(nullptr);
    const int callsAfterClear = calls.load();
    const uint64_t published = ctx.PublishedFrames();
    ctx.Redraw(true);
    ASSERT_TRUE(ctx.WaitForFrame(published, 20000));
    EXPECT_EQ(calls.load(), callsAfterClear);
}

TEST(RenderThread, QuitWakesAThreadWaitingWithoutTimeOut) {
    aglRenderContext ctx;
    startContext(ctx, 16, 16);
    ctx.Pause(); // now waiting on the event with no time-out
    ASSERT_EQ(ctx.State(), ThreadState::Idle);
    ctx.Stop();
    EXPECT_EQ(ctx.State(), ThreadState::Ended);
}

TEST(RenderThread, AContextWithoutGLEndsInAStateEveryWaiterSees) {
    setenv("TAVRIX_EGL_PLATFORM", "no-such-platform", 1);
    aglView view;
    view.Resize(32, 32);
    view.Context().SetTimings(0, 30);
    view.Attach(false);
    view.Context().WaitUntilIdle(); // must return
    unsetenv("TAVRIX_EGL_PLATFORM");
    EXPECT_EQ(view.Context().State(), ThreadState::Ended);
    EXPECT_TRUE(view.Context().StartFailed());
    EXPECT_NE(view.Context().StartError().find("TAVRIX_EGL_PLATFORM"), std::string::npos);
    view.Context().Pause();
    uint8_t rgba[4];
    EXPECT_EQ(view.Pick(1, 1, rgba), -1);
    EXPECT_FALSE(view.Context().WaitForFrame(view.Context().PublishedFrames(), 50));
    view.Redraw(true);
    view.Detach();
}

// A host that holds frames from before the start (agltool) gets none until
// it lets go, not even the cleared picture of the start; the release draws
// the scene.
TEST(RenderThread, AThreadStartedWhileHeldPublishesNothingBeforeTheRelease) {
    TestGraph graph;
    graph.draw = drawTriangle;
    aglRenderContext ctx;
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetBackground(0.0f, 0.0f, 1.0f);
    ctx.SetHeld(true);
    ctx.Redraw(true); // noted while held
    startContext(ctx, kW, kH);
    ASSERT_FALSE(ctx.StartFailed()) << ctx.StartError();
    EXPECT_EQ(ctx.State(), ThreadState::Idle);
    EXPECT_EQ(ctx.PublishedFrames(), 0u);
    ctx.SetHeld(false);
    ASSERT_TRUE(ctx.WaitForFrame(0, 20000));
    ctx.WaitUntilIdle();
    const QImage img = ctx.LatestFrame();
    EXPECT_EQ(px(img, 2, 2), qRgb(0, 0, 255));
    EXPECT_EQ(px(img, 12, 12), qRgb(255, 0, 0)); // the scene, not the cleared picture
    ctx.Stop();
}

TEST(RenderThread, StopDuringTheStartDelayEndsAtOnce) {
    aglRenderContext ctx;
    ctx.SetTimings(60000, 1000);
    ctx.Start(false);
    ctx.Pause(); // NotStarted: returns at once
    ctx.Stop();
    EXPECT_EQ(ctx.State(), ThreadState::Ended);
    EXPECT_FALSE(ctx.StartFailed());
}

// --- reference picture -------------------------------------------------------------

// A lit, smooth-shaded box seen through the camera at the control's home
// position, anti-aliased with 8 passes, over a grey background.
TEST(RenderReference, LitBoxThroughTheHomeCamera) {
    aglView view;
    TestGraph graph;
    graph.draw = [](RenderMode) {
        glEnable(GL_LIGHTING);
        glShadeModel(GL_SMOOTH);
        glColor3f(0.2f, 0.6f, 0.9f);
        const float x0 = 0.1f, x1 = 0.9f, y0 = 0.1f, y1 = 0.9f, z0 = 0.0f, z1 = 0.6f;
        glBegin(GL_QUADS);
        glNormal3f(0, 0, 1);
        glVertex3f(x0, y0, z1), glVertex3f(x1, y0, z1), glVertex3f(x1, y1, z1),
            glVertex3f(x0, y1, z1);
        glNormal3f(0, -1, 0);
        glVertex3f(x0, y0, z0), glVertex3f(x1, y0, z0), glVertex3f(x1, y0, z1),
            glVertex3f(x0, y0, z1);
        glNormal3f(-1, 0, 0);
        glVertex3f(x0, y0, z0), glVertex3f(x0, y0, z1), glVertex3f(x0, y1, z1),
            glVertex3f(x0, y1, z0);
        glNormal3f(1, 0, 0);
        glVertex3f(x1, y0, z0), glVertex3f(x1, y1, z0), glVertex3f(x1, y1, z1),
            glVertex3f(x1, y0, z1);
        glNormal3f(0, 1, 0);
        glVertex3f(x0, y1, z0), glVertex3f(x0, y1, z1), glVertex3f(x1, y1, z1),
            glVertex3f(x1, y1, z0);
        glEnd();
        glDisable(GL_LIGHTING);
        glColor3f(1, 1, 1);
        glBegin(GL_LINE_LOOP);
        glVertex3f(0, 0, 0), glVertex3f(1, 0, 0), glVertex3f(1, 1, 0), glVertex3f(0, 1, 0);
        glEnd();
    };
    aglRenderContext& ctx = view.Context();
    aglCameraObj& cam = view.Camera();
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    cam.SetDistance(3.0f);
    cam.SetElevation(26.0f);
    cam.SetAzimuth(-108.5f);
    cam.SaveHome();
    ctx.AddObject(&cam);
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetBackground(0.3f, 0.3f, 0.3f);
    ctx.SetAntiAliasPasses(8);
    view.Resize(160, 120);
    ctx.SetTimings(0, 30);
    view.Attach(false);
    ctx.Redraw(true);
    ASSERT_TRUE(waitFor([&] { return ctx.IsAccumulationComplete(); }));
    ctx.WaitUntilIdle();
    ASSERT_TRUE(waitFor([&] { return ctx.State() == ThreadState::Idle; }));
    EXPECT_TRUE(tavrix::test::matchesBaseline(ctx.LatestFrame(), "render_lit_box_home"));
    view.Detach();
}

} // namespace
