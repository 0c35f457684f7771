// The render pipeline on a real GL context, driven by its tick: levels of
// detail step up one per tick and are reported coarsest first, a level is
// never shown before its grid is ready, the state before any level is shown
// is safe to use, a rebind shows the new array whatever the size of the one
// before, and the view ends promptly whatever its threads are doing.
#include "BumpArray.h"
#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "TempDir.h"
#include "WaitFor.h"
#include "aglGraphView.h"
#include "aglSegment.h"
#include "core/SegmentImage.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <ostream>
#include <random>
#include <thread>
#include <vector>

namespace {

::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new rtest::QtEnvironment);

using Clock = std::chrono::steady_clock;

struct FltrPass {
    int level, component;
    double minimum, maximum;
};

class GraphViewTest : public ::testing::Test {
protected:
    // A rows x columns float array of a smooth hill.
    std::string hill(int rows, int columns) {
        SegmentImage img;
        img.extents = {rows, columns};
        std::string data;
        data.reserve(size_t(rows) * size_t(columns) * 4);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                SegmentImage::put(data, float(std::sin(r * 0.05) * std::cos(c * 0.03)));
        return dir.write("hill" + std::to_string(rows) + "x" + std::to_string(columns) + ".agl",
                         img.header() + data);
    }

    std::unique_ptr<aglGraphView> attached(int width = 160, int height = 120) {
        auto v = std::make_unique<aglGraphView>();
        v->Context().SetTimings(0, 0);
        v->Attach(false);
        v->Resize(width, height);
        v->setFltrPassHandler([this](int level, int component, double minimum, double maximum) {
            passes.push_back({level, component, minimum, maximum});
        });
        v->setRndrPassHandler(
            [this](float, int, int resolution, int, bool, int) { rendered.push_back(resolution); });
        return v;
    }

    // One timer tick once the filter has nothing left to do and a frame of
    // the level shown is out: time driven by the test, not by sleeping.
    static void settleAndTick(aglGraphView& v) {
        ASSERT_TRUE(v.waitForFilter(60000));
        v.Context().RenderAndWait();
        v.Context().WaitUntilIdle();
        v.tick();
    }

    TempDir dir;
    std::vector<FltrPass> passes;
    std::vector<int> rendered;
};

TEST_F(GraphViewTest, FltrPassComesForLevel0FirstThenOneLevelPerTick) {
    const std::string file = hill(1000, 1000); // resolutions 32, 16 and 4
    auto v = attached();
    ASSERT_TRUE(v->setFileName(file));
    EXPECT_EQ(v->currentLevel(), -1);
    std::vector<int> shown;
    for (int k = 0; k < 4; ++k) {
        settleAndTick(*v);
        shown.push_back(v->currentLevel());
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 2}));
    ASSERT_GE(passes.size(), 3u);
    for (int L = 0; L < 3; ++L) {
        EXPECT_EQ(passes[L].level, L);
        EXPECT_EQ(passes[L].component, 0);
        EXPECT_LT(passes[L].minimum, passes[L].maximum);
        EXPECT_GE(passes[L].minimum, -1.0);
        EXPECT_LE(passes[L].maximum, 1.0);
    }
    EXPECT_EQ(v->levelsShown(), 3);
    EXPECT_EQ(v->currentResolution(), 4);
    // Each tick reported the frames drawn since the last one, with the
    // resolution shown then.
    EXPECT_EQ(rendered, (std::vector<int>{32, 32, 16, 4}));
}

// A step of the data (the window moved, then Update, as a plane step does)
// while the frame in flight is still being handed over returns without
// waiting for that frame; the new window is then filtered and drawn.
TEST_F(GraphViewTest, AStepDoesNotWaitForTheHandOverOfTheFrameInFlight) {
    auto v = attached();
    ASSERT_TRUE(v->setFileName(hill(200, 200)));
    for (int k = 0; k < 3; ++k)
        settleAndTick(*v);
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, letGo = false, gaveUp = false;
    v->Context().SetFrameSink([&](const QImage&) {
        std::unique_lock<std::mutex> lock(m);
        holding = true;
        cv.notify_all();
        // Bounded only so that a failing run ends.
        gaveUp = !cv.wait_for(lock, std::chrono::seconds(60), [&] { return letGo; });
        holding = false;
    });
    v->Context().Redraw(true);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(120), [&] { return holding; }));
    }
    v->setPlaneWindow(50, 40, 100, 120);
    v->update();
    bool stillHolding;
    {
        std::lock_guard<std::mutex> lock(m);
        stillHolding = holding && !gaveUp;
        letGo = true;
        cv.notify_all();
    }
    EXPECT_TRUE(stillHolding) << "the step waited for the frame's hand-over to end";
    v->Context().SetFrameSink(nullptr);
    passes.clear();
    settleAndTick(*v);
    int32_t c0, r0, nc, nr;
    v->planeWindow(c0, r0, nc, nr);
    EXPECT_EQ(nc, 100);
    EXPECT_EQ(nr, 120);
    EXPECT_EQ(v->currentLevel(), 0);
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(passes.front().level, 0);
    EXPECT_FALSE(v->Context().LatestFrame().isNull());
}

// The render thread holds the shown level's data for a whole frame; here the
// test holds it. A pass that waits for that data gives way to a pause: the
// control's step never waits for a frame through the filter thread. Once the
// data is let go, the level is filtered and shown again.
TEST_F(GraphViewTest, APauseDoesNotWaitForAPassWaitingForTheShownLevelsData) {
    auto v = attached();
    ASSERT_TRUE(v->setFileName(hill(30, 30))); // never above level 0
    settleAndTick(*v);
    ASSERT_EQ(v->currentLevel(), 0);
    aglFilter& f = v->filter(0);
    // Paused first, the render thread does not take the data itself: after
    // the update it waits for the level to be done.
    v->Context().Pause();
    f.lockData();
    v->update(); // level 0 is filtered again, and its pass waits for the data
    EXPECT_TRUE(tavrix_test::waitFor(
        [&] { return v->filterThreadState() == aglGraphView::FilterThreadState::Busy; }));
    auto paused = std::async(std::launch::async, [&] { v->pauseFilterThread(); });
    const bool returned = paused.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    f.unlockData();
    paused.wait();
    EXPECT_TRUE(returned) << "the pause waited for the pass that waited for the data";
    passes.clear();
    v->wakeFilterThread();
    settleAndTick(*v);
    ASSERT_FALSE(passes.empty()) << "the level was not filtered again";
    EXPECT_EQ(passes.front().level, 0);
    EXPECT_TRUE(v->filter(0).isDone());
}

TEST_F(GraphViewTest, ASmallWindowNeverStepsAboveLevel0) {
    const std::string file = hill(30, 30);
    auto v = attached();
    ASSERT_TRUE(v->setFileName(file));
    for (int k = 0; k < 4; ++k) {
        settleAndTick(*v);
        EXPECT_EQ(v->currentLevel(), 0);
    }
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_EQ(passes[0].level, 0);
    EXPECT_EQ(v->currentResolution(), 1);
    // The picture shows the plot: many pixels differ from the white background.
    const QImage img = v->Context().RenderAndWait();
    ASSERT_FALSE(img.isNull());
    int ink = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ink += (img.pixel(x, y) & 0xFFFFFF) != 0x000000;
    EXPECT_GT(ink, img.width() * img.height() / 10);
}

TEST_F(GraphViewTest, GraphType0FiresNoEventAndNeverSteps) {
    const std::string file = hill(100, 100);
    auto v = attached();
    v->setGraphType(0, true);
    const long before = v->filterPasses(); // the placeholder's, before the switch
    ASSERT_TRUE(v->setFileName(file));
    for (int k = 0; k < 3; ++k)
        settleAndTick(*v);
    EXPECT_EQ(v->currentLevel(), -1);
    EXPECT_TRUE(passes.empty());
    EXPECT_TRUE(rendered.empty());
    EXPECT_EQ(v->filterPasses(), before);
    // Back to the height plot: the levels are filtered and stepped again.
    v->setGraphType(1, true);
    settleAndTick(*v);
    EXPECT_EQ(v->currentLevel(), 0);
    EXPECT_EQ(passes.size(), 1u);
}

TEST_F(GraphViewTest, EventsFrozenAreNeverFiredLater) {
    auto v = attached();
    ASSERT_TRUE(v->setFileName(hill(1000, 1000)));
    v->setEventsFrozen(true);
    settleAndTick(*v);
    settleAndTick(*v);
    EXPECT_TRUE(passes.empty());
    EXPECT_TRUE(rendered.empty());
    v->setEventsFrozen(false);
    settleAndTick(*v);
    // The level still stepped while frozen; only the step's own report comes.
    EXPECT_EQ(v->currentLevel(), 2);
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_EQ(passes[0].level, 2);
}

TEST_F(GraphViewTest, BeforeAnyLevelIsShownEverythingIsSafe) {
    const std::string file = hill(30, 40);
    aglGraphView v; // no threads: passes run by direct calls
    v.setCursor(5000, 7000);
    ASSERT_TRUE(v.setFileName(file));
    EXPECT_EQ(v.currentLevel(), -1);
    // The cursor comes back inside the window, element by element.
    EXPECT_EQ(v.cursorRow(), 29);
    EXPECT_EQ(v.cursorColumn(), 39);
    EXPECT_EQ(v.currentResolution(), v.level(0).resolution);
    // No level: frame times adapt nothing.
    const int64_t budgets[3] = {v.level(0).budget, v.level(1).budget, v.level(2).budget};
    for (int k = 0; k < 25; ++k)
        v.frameTime();
    for (int L = 0; L < 3; ++L)
        EXPECT_EQ(v.level(L).budget, budgets[L]);
    // Without ResolutionAutoAdjust the fixed resolution is reported.
    v.setResolutionAutoAdjust(false);
    v.setResolution(3);
    EXPECT_EQ(v.currentResolution(), 3);
}

TEST_F(GraphViewTest, ALevelWhoseGridIsNotReadyIsNeverShown) {
    const std::string file = hill(1000, 1000);
    aglGraphView v; // no threads: the test decides which passes have run
    v.setGraphType(1, true);
    ASSERT_TRUE(v.setFileName(file));
    v.setLevel(0, true);
    EXPECT_EQ(v.currentLevel(), -1); // nothing is ready yet
    ASSERT_TRUE(v.runPass(0, true));
    v.setLevel(2, true); // not ready: level 0 instead
    EXPECT_EQ(v.currentLevel(), 0);
    v.setLevel(1, true);
    EXPECT_EQ(v.currentLevel(), 0);
    ASSERT_TRUE(v.runPass(1, true));
    v.setLevel(2, true); // the next coarser ready level
    EXPECT_EQ(v.currentLevel(), 1);
    ASSERT_TRUE(v.runPass(2, true));
    v.setLevel(2, true);
    EXPECT_EQ(v.currentLevel(), 2);
    EXPECT_EQ(&v.boundGraph(), &v.graphObject(2));
    EXPECT_EQ(v.boundGraph().GetDataSource(), &v.filter(2));
}

TEST_F(GraphViewTest, FixedResolutionIsFilteredAndDrawnWithNoLevelShownYet) {
    auto v = attached();
    v->setResolutionAutoAdjust(false);
    v->setResolution(4);
    ASSERT_TRUE(v->setFileName(hill(200, 200)));
    settleAndTick(*v);
    EXPECT_EQ(v->currentLevel(), 0);
    EXPECT_TRUE(v->filter(0).isDone());
    EXPECT_EQ(v->filter(0).resolution(), 4);
    EXPECT_EQ(v->boundGraph().gridWidth(), 50);
}

TEST_F(GraphViewTest, GridLinesFollowGridDensityOnlyWhileAutoAdjusted) {
    auto v = attached(400, 400);
    v->setShowPalette(false); // the whole 400 pixels
    ASSERT_TRUE(v->setFileName(hill(1000, 1000)));
    settleAndTick(*v);
    int x = 0, y = 0;
    v->gridLines(x, y);
    EXPECT_EQ(y, 10); // trunc(1000 x 40 / 400) = 100 rows a line
    EXPECT_EQ(x, 10);
    v->setGridLines(3, 4); // ignored while auto adjusted
    v->gridLines(x, y);
    EXPECT_EQ(x, 10);
    v->setGridDensityAutoAdjust(false);
    v->setGridLines(3, 4);
    v->gridLines(x, y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
}

// The control's axis properties reach the layout: requested tick counts,
// and a dimension's tick values while axis scales are in use.
TEST_F(GraphViewTest, AxisRequestLaysTheAxesOutAgain) {
    const std::string file = hill(30, 40); // rows 0, columns 1
    auto v = attached(480, 360);
    ASSERT_TRUE(v->setFileName(file));
    settleAndTick(*v);
    const std::vector<std::string> before = v->axis().NumberStrings(0);
    ASSERT_FALSE(before.empty());

    aglGraphView::AxisRequest r;
    r.requestedMajor[0] = 2;
    v->setAxisRequest(r);
    const std::vector<std::string> fewer = v->axis().NumberStrings(0);
    EXPECT_LT(fewer.size(), before.size());

    // Tick values 1000, 1010, ... for the 40 columns (dimension 1).
    SegmentImage img;
    img.extents = {40};
    std::string data;
    for (int c = 0; c < 40; ++c)
        SegmentImage::put(data, float(1000 + 10 * c));
    auto scale = std::make_shared<aglSegment>();
    ASSERT_TRUE(scale->open(dir.write("ticks.agl", img.header() + data), true));
    r = aglGraphView::AxisRequest();
    r.scale[1] = scale;
    v->setAxisRequest(r);
    const std::vector<std::string> scaled = v->axis().NumberStrings(0);
    ASSERT_FALSE(scaled.empty());
    EXPECT_EQ(scaled.front().substr(0, 3), "100") << scaled.front();
    r.useScales = false;
    v->setAxisRequest(r);
    EXPECT_EQ(v->axis().NumberStrings(0), before);
}

// Ticks until the level shown stays the same, with a frame drawn before each
// tick; a frame that never ends (it waits for a grid no pass will make)
// fails the test instead of hanging it.
void settleLevels(aglGraphView& v) {
    int same = 0, level = -2;
    for (int k = 0; k < 12 && same < 2; ++k) {
        ASSERT_TRUE(v.waitForFilter(60000));
        // A frame asked for now, as a paint of the widget asks for one.
        const uint64_t published = v.Context().PublishedFrames();
        v.Context().Redraw(false);
        ASSERT_TRUE(v.Context().WaitForFrame(published, tavrix_test::kWaitTimeoutMs))
            << "a frame never finished";
        ASSERT_TRUE(waitFor([&] { return v.Context().State() == ThreadState::Idle; }));
        v.tick();
        same = v.currentLevel() == level ? same + 1 : 0;
        level = v.currentLevel();
    }
}

// Arrays of 4096 elements or fewer stop refining below level 2 (64 x 64 at
// level 1, 32 x 32 and less at level 0): binding one after a larger array,
// and back, shows the new array as a view that never saw the old one does.
TEST_F(GraphViewTest, EveryRebindShowsTheNewArrayInBothOrdersOfSize) {
    const std::vector<int> sizes = {100, 64, 8, 65, 3, 16, 100, 16, 3, 65, 8, 64, 100};
    std::map<int, std::string> files;
    std::map<int, QImage> alone; // each array in a view of its own
    for (int n : sizes) {
        if (files.count(n)) continue;
        files[n] = writeBumpArray(dir, n);
        auto fresh = attached();
        ASSERT_TRUE(fresh->setFileName(files[n]));
        ASSERT_NO_FATAL_FAILURE(settleLevels(*fresh));
        alone[n] = fresh->Context().RenderAndWait();
        ASSERT_FALSE(alone[n].isNull());
    }
    auto v = attached();
    int before = 0;
    for (int n : sizes) {
        SCOPED_TRACE("the " + std::to_string(n) + " x " + std::to_string(n) + " array after the " +
                     std::to_string(before) + " x " + std::to_string(before) + " one");
        ASSERT_TRUE(v->setFileName(files[n]));
        ASSERT_NO_FATAL_FAILURE(settleLevels(*v));
        ASSERT_GE(v->currentLevel(), 0);
        EXPECT_EQ(&v->boundGraph(), &v->graphObject(v->currentLevel()));
        EXPECT_EQ(v->boundGraph().gridWidth(), n);
        const QImage shown = v->Context().RenderAndWait(20000);
        ASSERT_FALSE(shown.isNull()) << "no frame";
        EXPECT_EQ(tavrix::test::countDifferentPixels(shown, alone[n], 16), 0);
        if (before != 0 && before != n) {
            EXPECT_GT(tavrix::test::countDifferentPixels(shown, alone[before], 16), 500);
        }
        before = n;
    }
}

// The render thread draws a level as soon as its pass ends, before the tick
// shows it. After an image map with square cells (its box has the image's
// proportions) the height plot's first frame is drawn in the height plot's
// own box, and once shown the height plot is lit as in a view that never
// showed the image map (its surface normals had been kept from that frame,
// drawn in the image's box: a highlight where none belongs).
TEST_F(GraphViewTest, AHeightPlotAfterASquareCelledImageMapIsDrawnInItsOwnBox) {
    const std::string file = hill(8, 30);
    auto fresh = attached(320, 240);
    ASSERT_TRUE(fresh->setFileName(file));
    ASSERT_NO_FATAL_FAILURE(settleLevels(*fresh));
    const QImage alone = fresh->Context().RenderAndWait();
    ASSERT_FALSE(alone.isNull());

    auto v = attached(320, 240);
    v->setImageAspect(1);
    v->setGraphType(2, true);
    ASSERT_TRUE(v->setFileName(file));
    ASSERT_NO_FATAL_FAILURE(settleLevels(*v));
    double x, y, z;
    v->boxExtents(x, y, z);
    ASSERT_LT(y, x * 0.5); // the image's proportions

    v->setGraphType(1, true);
    // Level 0 is filtered again and drawn; no tick has shown it yet.
    ASSERT_TRUE(v->waitForFilter(60000));
    const uint64_t published = v->Context().PublishedFrames();
    v->Context().Redraw(false);
    ASSERT_TRUE(v->Context().WaitForFrame(published, tavrix_test::kWaitTimeoutMs));
    EXPECT_EQ(v->levelsShown(), 0);

    ASSERT_NO_FATAL_FAILURE(settleLevels(*v));
    const QImage shown = v->Context().RenderAndWait();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(tavrix::test::countDifferentPixels(shown, alone, 16), 0);
}

// A new XScale or YScale keeps the grid (only ZScale refilters) but not the
// slopes: the height plot is lit as in a view that had that box from the start.
TEST_F(GraphViewTest, ANewBoxWithTheSameGridIsLitAsTheBoxAlone) {
    const std::string file = hill(30, 40);
    auto fresh = attached(320, 240);
    fresh->setBoxScales(0.4, 1.0, 0.8);
    ASSERT_TRUE(fresh->setFileName(file));
    ASSERT_NO_FATAL_FAILURE(settleLevels(*fresh));
    const QImage alone = fresh->Context().RenderAndWait();
    ASSERT_FALSE(alone.isNull());

    auto v = attached(320, 240);
    ASSERT_TRUE(v->setFileName(file));
    ASSERT_NO_FATAL_FAILURE(settleLevels(*v));
    const QImage before = v->Context().RenderAndWait();
    EXPECT_FALSE(v->setBoxScales(0.4, 1.0, 0.8)); // no refilter
    ASSERT_NO_FATAL_FAILURE(settleLevels(*v));
    const QImage shown = v->Context().RenderAndWait();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(tavrix::test::countDifferentPixels(shown, alone, 16), 0);
    EXPECT_GT(tavrix::test::countDifferentPixels(shown, before, 16), 500);
}

// A view warmed up before its data draws the very pictures of one that was
// not: a surface and an image map, with the axes and the palette bar.
TEST_F(GraphViewTest, AViewWarmedUpDrawsTheSamePicturesAsOneThatWasNot) {
    const std::string file = hill(30, 40);
    auto warm = attached(320, 240);
    warm->setGraphType(0, true); // no data yet: nothing to draw
    warm->warmUp();
    ASSERT_TRUE(waitFor([&] { return warm->Context().WarmUpsFinished() == 1; }));
    auto cold = attached(320, 240);
    for (aglGraphView* v : {warm.get(), cold.get()})
        ASSERT_TRUE(v->setFileName(file));
    for (int type : {1, 2}) {
        QImage pictures[2];
        for (int k = 0; k < 2; ++k) {
            aglGraphView& v = k == 0 ? *warm : *cold;
            v.setGraphType(type, true);
            ASSERT_NO_FATAL_FAILURE(settleLevels(v));
            pictures[k] = v.Context().RenderAndWait();
            ASSERT_FALSE(pictures[k].isNull());
        }
        EXPECT_EQ(tavrix::test::countDifferentPixels(pictures[0], pictures[1], 0), 0)
            << "graph type " << type;
    }
    EXPECT_EQ(cold->Context().WarmUpsFinished(), 0);
}

// How the view is left before it is destroyed.
enum class Ending { DuringPasses, RenderWaitingForData, Spinning, NoGL };
void PrintTo(Ending e, std::ostream* out) {
    const char* names[] = {"DuringPasses", "RenderWaitingForData", "Spinning", "NoGL"};
    *out << names[int(e)];
}

class GraphViewEnding : public GraphViewTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(GraphViewEnding, EndsPromptly) {
    const std::string big = hill(2000, 2000);
    const std::string small = hill(64, 64);
    const Ending how = GetParam();
    if (how == Ending::NoGL) setenv("TAVRIX_EGL_PLATFORM", "no-such-platform", 1);
    auto v = attached();
    if (how == Ending::NoGL) {
        v->Context().WaitUntilIdle();
        unsetenv("TAVRIX_EGL_PLATFORM");
        EXPECT_TRUE(v->Context().StartFailed());
    }
    ASSERT_TRUE(v->setFileName(small));
    settleAndTick(*v);
    switch (how) {
    case Ending::DuringPasses:
        ASSERT_TRUE(v->setFileName(big)); // passes start at once
        break;
    case Ending::RenderWaitingForData:
        // Level 0 is shown; the rebind empties it and the render thread
        // waits for its new grid.
        EXPECT_EQ(v->currentLevel(), 0);
        v->update();
        break;
    case Ending::Spinning:
        v->ToggleSpin();
        v->Context().WaitForFrame(v->Context().PublishedFrames(), 10000);
        break;
    case Ending::NoGL:
        settleAndTick(*v);
        // The pipeline runs (64 x 64: resolutions 2, 1, 1); only frames never come.
        EXPECT_EQ(v->currentLevel(), 1);
        break;
    }
    const auto start = Clock::now();
    v.reset();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 10.0);
}

INSTANTIATE_TEST_SUITE_P(Pipeline, GraphViewEnding,
                         ::testing::Values(Ending::DuringPasses, Ending::RenderWaitingForData,
                                           Ending::Spinning, Ending::NoGL));

TEST_F(GraphViewTest, GraphTypesAndRebindsWhileFramesAndPassesRun) {
    // Seeded stress: the control's thread changes graph type, rebinds,
    // refilters, resizes, spins and ticks while both threads work. Run under
    // TSan and ASan.
    const std::string files[3] = {hill(40, 50), hill(300, 200), hill(7, 9)};
    std::mt19937 rng(20261208);
    auto v = attached(96, 80);
    const int rounds = std::getenv("TAVRIX_LONG_STRESS") ? 20000 : 2000;
    for (int k = 0; k < rounds; ++k) {
        switch (rng() % 8) {
        case 0:
            v->setGraphType(int(rng() % 4), true);
            break;
        case 1:
        case 2:
            EXPECT_TRUE(v->setFileName(files[rng() % 3]));
            break;
        case 3:
            v->update();
            break;
        case 4:
            v->Resize(64 + int(rng() % 64), 48 + int(rng() % 64));
            break;
        case 5:
            if (rng() % 8 == 0) v->ToggleSpin();
            break;
        default:
            v->tick();
            break;
        }
    }
    if (v->Spinning()) v->ToggleSpin();
    v->setGraphType(1, true);
    settleAndTick(*v);
    EXPECT_GE(v->currentLevel(), 0);
}

} // namespace
