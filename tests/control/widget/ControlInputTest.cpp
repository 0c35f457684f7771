// The control explored with the mouse and keyboard: real Qt events sent to
// the shown control window move the camera, the cursor and the data tips,
// and the signals the host sees carry the right arguments in order.
#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "WaitFor.h"
#include "core/SegmentImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "aglCameraObj.h"
#include "aglGraphView.h"
#include "aglPaletteBarObj.h"

using namespace plotrane;

namespace {

constexpr int kRows = 25, kColumns = 30;
// AGL_LONG values above 2^24: a float would round them.
int32_t sample(int r, int c) {
    return 16777217 + r * 1000 + c;
}

class ControlInput : public ::testing::Test {
protected:
    void SetUp() override {
        SegmentImage img;
        img.type = 5; // AGL_LONG
        img.extents = {kRows, kColumns};
        std::string data;
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                SegmentImage::put(data, sample(r, c));
        file = dir.write("long.agl", img.header() + data);
        ctrl = std::make_unique<CPlotrane2DCtrl>(nullptr, 0, 0);
        ctrl->setClock([this] { return clock; });
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(file)).ok());
        ctrl->Invoke(DISPID_Update, {});
        ctrl->resize(320, 240);
        ctrl->show();
        ctrl->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ctrl.get()));
        ASSERT_TRUE(waitFor([&] { return !ctrl->currentFrame().isNull(); }));
    }
    void TearDown() override { ctrl.reset(); }

    // A mouse event as the window system delivers it.
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = {}) {
        QMouseEvent e(type, at, ctrl->mapToGlobal(at), button, held, mods);
        QApplication::sendEvent(ctrl.get(), &e);
    }
    void drag(QPoint from, QPoint to, Qt::MouseButton button, Qt::KeyboardModifiers mods = {}) {
        mouse(QEvent::MouseButtonPress, from, button, button, mods);
        mouse(QEvent::MouseMove, to, Qt::NoButton, button, mods);
        mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton, mods);
    }
    // A double-click as the window system delivers it: press, release, press
    // and double-click, release.
    void doubleClick(QPoint at) {
        QTest::mousePress(ctrl.get(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(ctrl.get(), Qt::LeftButton, {}, at);
        QTest::mousePress(ctrl.get(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(ctrl.get(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(ctrl.get(), Qt::LeftButton, {}, at);
    }
    float cam(int dispid) { return float(ctrl->GetProperty(dispid).toDouble()); }
    void graphArea(int& w, int& h) { ctrl->model().engine().Camera().GetViewport(&w, &h); }

    TempDir dir;
    std::string file;
    double clock = 1000.0;
    std::unique_ptr<CPlotrane2DCtrl> ctrl;
};

} // namespace

TEST_F(ControlInput, DragsRotatePanAndZoomTheCameraAndTheWheelZooms) {
    int w = 0, h = 0;
    graphArea(w, h);
    ASSERT_GT(w, 100);
    const float az = cam(DISPID_CamAzimuth), el = cam(DISPID_CamElevation);
    const float d = cam(DISPID_CamDistance);

    // Left drag: rotate, 180 degrees per graph width / height.
    drag({100, 100}, {124, 90}, Qt::LeftButton);
    EXPECT_NEAR(cam(DISPID_CamAzimuth), az - 180.0f * 24 / w, 1e-3);
    EXPECT_NEAR(cam(DISPID_CamElevation), el - 180.0f * 10 / h, 1e-3);
    EXPECT_FLOAT_EQ(cam(DISPID_CamDistance), d);

    // Shift + left drag: zoom, one unit of distance per graph height.
    drag({100, 100}, {100, 70}, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_NEAR(cam(DISPID_CamDistance), d + 30.0f / h, 1e-4);

    // Shift + right drag: pan; the eye moves, its distance to the target stays.
    const float x = cam(DISPID_CamXPos), y = cam(DISPID_CamYPos), z = cam(DISPID_CamZPos);
    const float d2 = cam(DISPID_CamDistance);
    drag({100, 100}, {130, 120}, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_GT(std::fabs(cam(DISPID_CamXPos) - x) + std::fabs(cam(DISPID_CamYPos) - y) +
                  std::fabs(cam(DISPID_CamZPos) - z),
              1e-3);
    EXPECT_NEAR(cam(DISPID_CamDistance), d2, 1e-4);

    // A right drag without Shift does nothing to the camera.
    const float az2 = cam(DISPID_CamAzimuth);
    drag({100, 100}, {150, 150}, Qt::RightButton);
    EXPECT_FLOAT_EQ(cam(DISPID_CamAzimuth), az2);

    // The wheel: a notch forward comes a tenth nearer, one back goes away again.
    const float nearer = cam(DISPID_CamDistance);
    QWheelEvent forward(QPointF(100, 100), ctrl->mapToGlobal(QPointF(100, 100)), QPoint(),
                        QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(ctrl.get(), &forward);
    EXPECT_NEAR(cam(DISPID_CamDistance), nearer * 0.9f, 1e-4);
    QWheelEvent back(QPointF(100, 100), ctrl->mapToGlobal(QPointF(100, 100)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(ctrl.get(), &back);
    EXPECT_NEAR(cam(DISPID_CamDistance), nearer, 1e-4);
}

// With graph type 0 and the palette shown the camera's area is 0 pixels
// wide: a drag leaves the camera as it was, finite.
TEST_F(ControlInput, DragOverAGraphAreaOfNoWidthLeavesTheCameraFinite) {
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(0))).ok());
    int w = -1, h = -1;
    graphArea(w, h);
    EXPECT_EQ(w, 0);
    const float az = cam(DISPID_CamAzimuth), el = cam(DISPID_CamElevation);
    drag({100, 100}, {160, 40}, Qt::LeftButton);
    drag({100, 100}, {100, 40}, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(cam(DISPID_CamAzimuth), az);
    EXPECT_FLOAT_EQ(cam(DISPID_CamElevation), el);
    EXPECT_TRUE(std::isfinite(cam(DISPID_CamDistance)));
}

TEST_F(ControlInput, ArrowKeysMoveTheCursorAndReportIt) {
    QSignalSpy moved(ctrl.get(), &CPlotrane2DCtrl::RowColChanged);
    ctrl->setFocus();
    QTest::keyClick(ctrl.get(), Qt::Key_Right);
    QTest::keyClick(ctrl.get(), Qt::Key_Right);
    QTest::keyClick(ctrl.get(), Qt::Key_Up);
    EXPECT_EQ(ctrl->model().cursorRow(), 1);
    EXPECT_EQ(ctrl->model().cursorColumn(), 2);
    ASSERT_EQ(moved.count(), 3);
    EXPECT_EQ(moved.at(0), (QList<QVariant>{0, 1}));
    EXPECT_EQ(moved.at(1), (QList<QVariant>{0, 2}));
    EXPECT_EQ(moved.at(2), (QList<QVariant>{1, 2}));
    EXPECT_EQ(ctrl->GetProperty(DISPID_Row).toInt(), 1);
    EXPECT_EQ(ctrl->GetProperty(DISPID_Col).toInt(), 2);
    EXPECT_TRUE(ctrl->model().isModified());

    // At the window's edge the cursor stays and nothing is reported.
    QTest::keyClick(ctrl.get(), Qt::Key_Down);
    QTest::keyClick(ctrl.get(), Qt::Key_Down);
    EXPECT_EQ(ctrl->model().cursorRow(), 0);
    EXPECT_EQ(moved.count(), 4);

    // Shift steps a tenth of the window: 25 rows -> 2, 30 columns -> 3.
    QTest::keyClick(ctrl.get(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(ctrl.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(ctrl->model().cursorRow(), 2);
    EXPECT_EQ(ctrl->model().cursorColumn(), 5);

    // Frozen events: the cursor still moves, nothing is reported, then or later.
    const int before = moved.count();
    ctrl->model().freezeEvents(true);
    QTest::keyClick(ctrl.get(), Qt::Key_Left);
    ctrl->model().freezeEvents(false);
    QApplication::processEvents();
    EXPECT_EQ(ctrl->model().cursorColumn(), 4);
    EXPECT_EQ(moved.count(), before);
}

TEST_F(ControlInput, ShiftStepsNothingInAWindowOfFewerThanTenRows) {
    ctrl->Invoke(DISPID_SetRoiLb, {Variant(int16_t(0)), Variant(0)});
    ctrl->Invoke(DISPID_SetRoiUb, {Variant(int16_t(0)), Variant(8)});
    ctrl->Invoke(DISPID_Update, {});
    QSignalSpy moved(ctrl.get(), &CPlotrane2DCtrl::RowColChanged);
    ctrl->setFocus();
    QTest::keyClick(ctrl.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(ctrl->model().cursorRow(), 0);
    EXPECT_EQ(moved.count(), 0);
}

// Row and Col written are applied by the next paint, clamped into the
// window, with one RowColChanged.
TEST_F(ControlInput, RowAndColWrittenMoveTheCursorAtThePaint) {
    QSignalSpy moved(ctrl.get(), &CPlotrane2DCtrl::RowColChanged);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_Row, Variant(7)).ok());
    ASSERT_TRUE(ctrl->SetProperty(DISPID_Col, Variant(1000)).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_Row).toInt(), 0) << "the cursor until the paint";
    ASSERT_TRUE(waitFor([&] { return moved.count() >= 1; }));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0), (QList<QVariant>{7, kColumns - 1}));
    EXPECT_EQ(ctrl->GetProperty(DISPID_Col).toInt(), kColumns - 1);
}

namespace {

// Where the palette bar's marker stands in a frame, as a share of the bar's
// height from its bottom (0) to its top (1); -1 when no marker line shows
// inside the bar. The bar is the rightmost long black vertical line pair;
// the marker is a black line across it between its black top and bottom.
double markerHeight(const QImage& frame) {
    const QImage f = frame.convertToFormat(QImage::Format_RGB32);
    const auto black = [&](int x, int y) { return (f.pixel(x, y) & 0xFFFFFF) == 0; };
    // The bar's right edge: the rightmost column with a long black run.
    int right = -1, top = -1, bottom = -1;
    for (int x = f.width() - 1; x > f.width() / 2 && right < 0; --x) {
        int run = 0;
        for (int y = 0; y < f.height(); ++y) {
            run = black(x, y) ? run + 1 : 0;
            if (run > f.height() / 3) {
                right = x;
                bottom = y;
                while (bottom + 1 < f.height() && black(x, bottom + 1))
                    ++bottom;
                top = bottom;
                while (top > 0 && black(x, top - 1))
                    --top;
                break;
            }
        }
    }
    if (right < 0) return -2;
    // Rows strictly inside the frame that are black a few pixels left of the
    // right edge: the marker's line.
    double sum = 0;
    int n = 0;
    for (int y = top + 2; y < bottom - 1; ++y)
        if (black(right - 3, y) && black(right - 6, y)) {
            sum += y;
            ++n;
        }
    if (n == 0) return -1;
    return (bottom - sum / n) / double(bottom - top);
}

} // namespace

// The palette bar marks the value under the cursor: wherever the cursor is
// moved (arrow keys, Row), the marker stands at that value's place on the bar.
TEST_F(ControlInput, ThePaletteBarMarksTheValueUnderTheCursor) {
    ctrl->setFocus();
    const aglPaletteBarObj& bar = ctrl->model().engine().paletteBar();
    const auto expectMarkerAt = [&](int row, int column) {
        EXPECT_EQ(bar.CursorValue(), float(sample(row, column)));
        double at = -3, want = 0;
        EXPECT_TRUE(waitFor(
            [&] {
                // The range may still widen while finer levels come in.
                const double lo = bar.Minimum(), hi = bar.Maximum();
                want = (float(sample(row, column)) - lo) / (hi - lo);
                at = markerHeight(ctrl->currentFrame());
                return std::fabs(at - want) < 0.03;
            },
            10000))
            << "marker at " << at << ", value at " << want;
    };
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(ctrl.get(), Qt::Key_Up, Qt::ShiftModifier);
    ASSERT_EQ(ctrl->model().cursorRow(), 12);
    expectMarkerAt(12, 0);
    QTest::keyClick(ctrl.get(), Qt::Key_Right);
    expectMarkerAt(12, 1);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_Row, Variant(21)).ok());
    ASSERT_TRUE(waitFor([&] { return ctrl->model().cursorRow() == 21; }));
    expectMarkerAt(21, 1);
}

TEST_F(ControlInput, CyclePeriodsStayWithinTenMillisecondsAndTheTimersRange) {
    struct Case {
        double seconds;
        bool cycling;
        double period;
    };
    for (const Case& c :
         {Case{0.0005, true, 0.010}, Case{0.25, true, 0.25}, Case{3e6, true, INT_MAX / 1000.0},
          Case{1e300, true, INT_MAX / 1000.0}, Case{INFINITY, false, 0.1}, Case{NAN, false, 0.1},
          Case{0.0, false, 0.1}, Case{-2.0, false, 0.1}}) {
        ctrl->Invoke(DISPID_Cycle, {Variant(c.seconds)});
        EXPECT_EQ(ctrl->model().isCycling(), c.cycling) << c.seconds;
        EXPECT_NEAR(ctrl->timerPeriod(), c.period, 1e-3) << c.seconds;
    }
}

// Resting the mouse over the graph selects the element under it: DataSelect
// with the exact value of the array, and the tip naming it; a second rest
// within two seconds shows no new tip; moving away removes it.
TEST_F(ControlInput, RestingTheMouseSelectsAndShowsTheTip) {
    QSignalSpy selected(ctrl.get(), &CPlotrane2DCtrl::DataSelect);
    int w = 0, h = 0;
    graphArea(w, h);
    const QPoint far(w / 2 + 40, h / 2 + 40), at(w / 2, h / 2);
    mouse(QEvent::MouseMove, far, Qt::NoButton, Qt::NoButton);
    mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    clock += 10.0;
    // The timer's ticks see the mouse resting there.
    ASSERT_TRUE(waitFor(
        [&] {
            ctrl->tick();
            return selected.count() > 0;
        },
        20000));
    const QList<QVariant> args = selected.first();
    const int row = args.at(0).toInt(), column = args.at(1).toInt();
    ASSERT_GE(row, 0);
    ASSERT_LT(row, kRows);
    ASSERT_GE(column, 0);
    ASSERT_LT(column, kColumns);
    EXPECT_EQ(args.at(2).toDouble(), double(sample(row, column))) << "exact, not a float";
    EXPECT_EQ(ctrl->model().dataTip(), "[" + std::to_string(row) + "][" + std::to_string(column) +
                                           "]: " + std::to_string(sample(row, column)));
    EXPECT_NEAR(ctrl->timerPeriod(), 1.0, 1e-9) << "back to one second after a tip";

    // More ticks at the same place and time: no second tip.
    const int count = selected.count();
    for (int i = 0; i < 3; ++i)
        ctrl->tick();
    EXPECT_EQ(selected.count(), count);

    // Moving more than 20 pixels away removes the tip.
    mouse(QEvent::MouseMove, at + QPoint(25, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(ctrl->model().tipShowing());
    EXPECT_NEAR(ctrl->timerPeriod(), 0.1, 1e-9) << "mouse movement ticks every 0.1 s";
}

TEST_F(ControlInput, NoSelectionWhenDisabledOrOutsideTheGraph) {
    QSignalSpy selected(ctrl.get(), &CPlotrane2DCtrl::DataSelect);
    int w = 0, h = 0;
    graphArea(w, h);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_DataSelectEnable, Variant(false)).ok());
    EXPECT_FALSE(ctrl->model().selectAtPoint(w / 2, h / 2));
    ASSERT_TRUE(ctrl->SetProperty(DISPID_DataSelectEnable, Variant(true)).ok());
    // The background's corner and points outside the window select nothing.
    EXPECT_FALSE(ctrl->model().selectAtPoint(1, 1));
    EXPECT_FALSE(ctrl->model().selectAtPoint(-5, 10));
    EXPECT_FALSE(ctrl->model().selectAtPoint(10, 5000));
    EXPECT_EQ(selected.count(), 0);
    EXPECT_FALSE(ctrl->model().tipShowing());
}

// A render thread that is paused answers no pick: the control does not wait.
TEST_F(ControlInput, APickWhileTheRenderThreadIsPausedReturnsAtOnce) {
    int w = 0, h = 0;
    graphArea(w, h);
    ctrl->model().engine().pauseRenderThread();
    QElapsedTimer t;
    t.start();
    ControlModel::Picked p;
    EXPECT_FALSE(ctrl->model().pickAt(w / 2, h / 2, p));
    mouse(QEvent::MouseMove, {w / 2, h / 2}, Qt::NoButton, Qt::NoButton);
    ctrl->tick();
    EXPECT_LT(t.elapsed(), 5000);
    ctrl->model().engine().wakeRenderThread();
}

// A drag at a finer level shows the coarsest grid at once; released, the
// timer steps the level up again, one per tick.
TEST_F(ControlInput, ADragDropsToLevelZeroAndTheTicksStepBackUp) {
    // Big enough for three distinct levels.
    ASSERT_TRUE(
        ctrl->SetProperty(DISPID_FileName, Variant(dir.write("wave.agl", rippleFile(400, 400))))
            .ok());
    ctrl->Invoke(DISPID_Update, {});
    ASSERT_TRUE(waitFor([&] {
        ctrl->model().waitForPasses(20000);
        ctrl->tick();
        return ctrl->model().engine().currentLevel() == 2;
    }));
    mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {104, 100}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ctrl->model().engine().currentLevel(), 0);
    mouse(QEvent::MouseButtonRelease, {104, 100}, Qt::LeftButton, Qt::NoButton);
    // The ticks bring the finer levels back one at a time, as their passes
    // (restarted by the drag) finish.
    std::vector<int> levels{ctrl->model().engine().currentLevel()};
    ASSERT_TRUE(waitFor([&] {
        ctrl->model().waitForPasses(20000);
        ctrl->tick();
        if (ctrl->model().engine().currentLevel() != levels.back())
            levels.push_back(ctrl->model().engine().currentLevel());
        return levels.back() == 2;
    }));
    EXPECT_EQ(levels, std::vector<int>({0, 1, 2}));
}

// Paints that show the frames the render thread publishes leave the level
// alone (else every frame would ask for the next, and the finest level would
// never stay); a paint the window system or the host asks for at the finest
// level steps back to level 1, and the ticks step up again.
TEST_F(ControlInput, APaintAskedForAtTheFinestLevelStepsBackToLevelOne) {
    ASSERT_TRUE(
        ctrl->SetProperty(DISPID_FileName, Variant(dir.write("wave.agl", rippleFile(400, 400))))
            .ok());
    ctrl->Invoke(DISPID_Update, {});
    aglGraphView& v = ctrl->model().engine();
    const auto finest = [&] {
        return waitFor([&] {
            ctrl->model().waitForPasses(20000);
            ctrl->tick();
            return v.currentLevel() == 2;
        });
    };
    // Frames come and are painted; with no ticks the level stays, and the
    // frames stop once the picture is finished: the render thread waits with
    // nothing to do, and painting what it published asks for nothing more.
    const auto finished = [&] {
        return waitFor([&] {
            if (v.Context().State() != ThreadState::Idle) return false;
            const uint32_t frames = v.Context().FrameCount();
            settle();
            return v.Context().State() == ThreadState::Idle && v.Context().FrameCount() == frames;
        });
    };
    ASSERT_TRUE(finest());
    ASSERT_TRUE(finished()) << "frames without end";
    EXPECT_EQ(v.currentLevel(), 2);

    // The window system paints the control again: hidden and shown.
    ctrl->hide();
    ctrl->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ctrl.get()));
    ASSERT_TRUE(waitFor([&] { return v.currentLevel() == 1; }));
    ASSERT_TRUE(finest());
    ASSERT_TRUE(finished());
    EXPECT_EQ(v.currentLevel(), 2);

    // The host invalidates the control (it knows it as a widget).
    static_cast<QWidget*>(ctrl.get())->update();
    ASSERT_TRUE(waitFor([&] { return v.currentLevel() == 1; }));
    ASSERT_TRUE(finest());
}

// A double-click selects the element and moves the cursor there at the next
// paint, reported once; a key press takes the tip away.
TEST_F(ControlInput, DoubleClickMovesTheCursorToThePickedElement) {
    QSignalSpy selected(ctrl.get(), &CPlotrane2DCtrl::DataSelect);
    QSignalSpy moved(ctrl.get(), &CPlotrane2DCtrl::RowColChanged);
    int w = 0, h = 0;
    graphArea(w, h);
    const QPoint at(w / 2, h / 2);
    mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(selected.count(), 1);
    const int row = selected.first().at(0).toInt(), column = selected.first().at(1).toInt();
    EXPECT_FALSE(ctrl->model().tipShowing()) << "a double-click removes the tip";
    ASSERT_TRUE(waitFor([&] { return moved.count() >= 1; }));
    EXPECT_EQ(moved.first(), (QList<QVariant>{row, column}));
    EXPECT_EQ(ctrl->model().cursorRow(), row);
    EXPECT_EQ(ctrl->model().cursorColumn(), column);

    ASSERT_TRUE(ctrl->model().selectAtPoint(at.x(), at.y()));
    EXPECT_TRUE(ctrl->model().tipShowing());
    ctrl->setFocus();
    QTest::keyClick(ctrl.get(), Qt::Key_Left);
    EXPECT_FALSE(ctrl->model().tipShowing());
}

// Picks right after rebinding to an array of another shape, while its levels
// are being resampled: whatever is selected lies in the array bound now and
// carries that array's value, never a sample of the grid before.
TEST_F(ControlInput, PicksDuringRebindsSelectOnlyFromTheArrayBoundNow) {
    SegmentImage img;
    img.type = 5; // AGL_LONG
    img.extents = {5, 7};
    std::string data;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c)
            SegmentImage::put(data, int32_t(-(r * 10 + c)));
    const std::string small = dir.write("small.agl", img.header() + data);
    QSignalSpy selected(ctrl.get(), &CPlotrane2DCtrl::DataSelect);
    int w = 0, h = 0;
    graphArea(w, h);
    int hits = 0;
    for (int k = 0; k < 16; ++k) {
        const bool isSmall = k % 2 == 0;
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(isSmall ? small : file)).ok());
        ctrl->Invoke(DISPID_Update, {});
        for (int i = 0; i < 4; ++i) {
            selected.clear();
            ctrl->model().selectAtPoint(w / 2 + 7 * i - 10, h / 2);
            if (selected.isEmpty()) continue;
            ++hits;
            const int row = selected.first().at(0).toInt();
            const int column = selected.first().at(1).toInt();
            const double value = selected.first().at(2).toDouble();
            if (isSmall) {
                ASSERT_TRUE(row >= 0 && row < 5 && column >= 0 && column < 7)
                    << row << "," << column;
                EXPECT_EQ(value, -(row * 10 + column));
            } else {
                ASSERT_TRUE(row >= 0 && row < kRows && column >= 0 && column < kColumns);
                EXPECT_EQ(value, sample(row, column));
            }
        }
        // Not a wait for anything: the next rebind comes at a later stage of
        // this one's resampling each time round.
        QTest::qWait(k * 3);
    }
    EXPECT_GT(hits, 0) << "some picks hit the graph";
}

namespace {

// A vector graph: 48 points of four AGL_DOUBLE components each, every value
// distinct and not representable in single precision.
constexpr int kPoints = 48, kComponents = 4;
double vectorSample(int r, int c) {
    const double t = r * 0.25;
    switch (c) {
    case 0:
        return std::cos(t) * (1.0 + r * 0.1) + 1e-9;
    case 1:
        return std::sin(t) * (1.0 + r * 0.1) + 1e-9;
    case 2:
        return r * 0.05 + 1e-9;
    default:
        return 100.0 + r + 1e-9;
    }
}

constexpr uint32_t kLineColor = 0xFF00FF; // magenta: no other part of the picture has it

class VectorGraphInput : public ControlInput {
protected:
    void SetUp() override {
        ControlInput::SetUp();
        SegmentImage img;
        img.type = 7; // AGL_DOUBLE
        img.extents = {kPoints, kComponents};
        std::string data;
        for (int r = 0; r < kPoints; ++r)
            for (int c = 0; c < kComponents; ++c)
                SegmentImage::put(data, vectorSample(r, c));
        ASSERT_TRUE(
            ctrl->SetProperty(DISPID_FileName, Variant(dir.write("vec.agl", img.header() + data)))
                .ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(3))).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphStyle, Variant(int16_t(3))).ok()); // lines
        ASSERT_TRUE(ctrl->SetProperty(DISPID_LineSmooth, Variant(false)).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_LineWidth, Variant(3.0f)).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphColor, Variant(int(kLineColor))).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_ShowCursor, Variant(false)).ok());
    }
    // Binds the components (-1: not used; no W, which would colour the line
    // through the palette), refilters and waits for a frame
    // that shows the line.
    void showComponents(int x, int y, int z, int w) {
        ASSERT_TRUE(ctrl->SetProperty(DISPID_XComp, Variant(x)).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_YComp, Variant(y)).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_ZComp, Variant(z)).ok());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_WComp, Variant(w)).ok());
        ctrl->Invoke(DISPID_Update, {});
        const bool drawn = waitFor([&] {
            ctrl->model().waitForPasses(20000);
            ctrl->tick();
            return !linePixels().empty();
        });
        ASSERT_TRUE(drawn) << "the vector graph draws its line";
    }
    // Window points where the frame shows the graph's line colour.
    std::vector<QPoint> linePixels() {
        const QImage f = ctrl->currentFrame().convertToFormat(QImage::Format_RGB32);
        const QRgb want = qRgb(kLineColor & 0xFF, (kLineColor >> 8) & 0xFF, kLineColor >> 16);
        std::vector<QPoint> at;
        for (int y = 0; y < f.height(); ++y)
            for (int x = 0; x < f.width(); ++x)
                if ((f.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF)) at.emplace_back(x, y);
        return at;
    }
};

struct ComponentCase {
    int x, y, z, w;
    std::vector<int> packed; // the columns whose values VDataSelect carries, in order
};
void PrintTo(const ComponentCase& c, std::ostream* out) {
    *out << c.x << "," << c.y << "," << c.z << "," << c.w;
}

class VectorSelection : public VectorGraphInput,
                        public ::testing::WithParamInterface<ComponentCase> {};

} // namespace

// A double-click on the drawn line selects its point: VDataSelect carries the
// point's row and the exact values of the components in use, packed in
// order; the tip lists them; the cursor moves to that row at the paint.
TEST_P(VectorSelection, ADoubleClickOnTheLineSelectsItsPoint) {
    const ComponentCase& k = GetParam();
    showComponents(k.x, k.y, k.z, k.w);
    QSignalSpy selected(ctrl.get(), &CPlotrane2DCtrl::VDataSelect);
    QSignalSpy scalar(ctrl.get(), &CPlotrane2DCtrl::DataSelect);
    QSignalSpy moved(ctrl.get(), &CPlotrane2DCtrl::RowColChanged);
    const std::vector<QPoint> line = linePixels();
    // Try a few points spread along the line: a pixel at the very edge of a
    // thick line may round to the background in the pick frame.
    int tries = 0;
    QPoint hit;
    for (size_t i = line.size() / 3; selected.isEmpty() && i < line.size(); i += 7, ++tries) {
        hit = line[i];
        doubleClick(hit);
    }
    ASSERT_FALSE(selected.isEmpty()) << tries << " double-clicks on the line selected nothing";
    EXPECT_TRUE(scalar.isEmpty());
    const QList<QVariant> a = selected.takeFirst();
    const int row = a.at(0).toInt();
    ASSERT_GE(row, 0);
    ASSERT_LT(row, kPoints);
    for (int i = 0; i < 4; ++i) {
        const double want = i < int(k.packed.size()) ? vectorSample(row, k.packed[i]) : 0.0;
        EXPECT_EQ(a.at(1 + i).toDouble(), want) << "value " << i << " of row " << row;
    }

    // Resting the mouse on the line shows the tip of the point under it.
    selected.clear();
    mouse(QEvent::MouseMove, hit + QPoint(30, 30), Qt::NoButton, Qt::NoButton);
    mouse(QEvent::MouseMove, hit, Qt::NoButton, Qt::NoButton);
    clock += 10.0;
    ASSERT_TRUE(waitFor(
        [&] {
            ctrl->tick();
            return !selected.isEmpty();
        },
        20000));
    EXPECT_TRUE(ctrl->model().tipShowing());
    const int tipRow = selected.first().at(0).toInt();
    EXPECT_EQ(tipRow, row) << "the same place, the same point";
    std::string want = "[" + std::to_string(tipRow) + "]: (";
    for (size_t i = 0; i < k.packed.size(); ++i) {
        char b[32];
        std::snprintf(b, sizeof b, "%s%.3f", i ? ", " : "", vectorSample(tipRow, k.packed[i]));
        want += b;
    }
    want += ")";
    EXPECT_EQ(ctrl->model().dataTip(), want);

    // The double-click moved the cursor to the point's row.
    ASSERT_TRUE(waitFor([&] { return moved.count() >= 1; }));
    EXPECT_EQ(moved.first().at(0).toInt(), row);
    EXPECT_EQ(ctrl->model().cursorRow(), row);
}

INSTANTIATE_TEST_SUITE_P(Components, VectorSelection,
                         ::testing::Values(ComponentCase{0, 1, 2, -1, {0, 1, 2}},
                                           // A skipped component leaves no gap.
                                           ComponentCase{3, -1, 2, -1, {3, 2}},
                                           // Beyond the array's columns counts as not used.
                                           ComponentCase{1, 0, 9, -1, {1, 0}}));

// In a vector graph the bar marks the cursor row's W component.
TEST_F(VectorGraphInput, ThePaletteBarMarksTheCursorsWComponent) {
    ASSERT_TRUE(ctrl->SetProperty(DISPID_WComp, Variant(3)).ok());
    ctrl->Invoke(DISPID_Update, {});
    ctrl->setFocus();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(ctrl.get(), Qt::Key_Up);
    ASSERT_EQ(ctrl->model().cursorRow(), 5);
    EXPECT_EQ(ctrl->model().engine().paletteBar().CursorValue(), float(vectorSample(5, 3)));
}
