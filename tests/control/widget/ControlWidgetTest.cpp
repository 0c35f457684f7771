// The control as a window: shown (under an X server when there is one), it
// paints the frames the render thread publishes, and the frames follow the
// window's size and the colours written.
#include "CPlotrane2DCtrl.h"
#include "QtTestApp.h"
#include "WaitFor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace plotrane;

namespace {

const std::string kWave = TAVRIX_SOURCE_DIR "/examples/wave.agl";

class ControlWidget : public ::testing::Test {};

} // namespace

TEST_F(ControlWidget, PaintsTheRenderThreadsFramesAtTheWindowsSize) {
    CPlotrane2DCtrl ctrl(nullptr, 0);
    QSignalSpy frames(&ctrl, &CPlotrane2DCtrl::RndrPass);
    ASSERT_TRUE(ctrl.SetProperty(DISPID_FileName, Variant(kWave)).ok());
    ctrl.Invoke(DISPID_Update, {});
    ctrl.resize(240, 180);
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    ASSERT_TRUE(waitFor([&] { return ctrl.currentFrame().size() == QSize(240, 180); }))
        << ctrl.currentFrame().width() << "x" << ctrl.currentFrame().height();

    // What the window shows is the frame.
    ASSERT_TRUE(waitFor([&] {
        const QImage shown = ctrl.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage frame = ctrl.currentFrame().convertToFormat(QImage::Format_RGB32);
        return shown.size() == frame.size() && shown.pixel(120, 90) == frame.pixel(120, 90) &&
               shown.pixel(5, 5) == frame.pixel(5, 5);
    }));

    // The timer's tick reports the frames drawn since the last report (the
    // first frame with the graph may still be on its way: tick again).
    ASSERT_TRUE(waitFor([&] {
        ctrl.tick();
        return frames.count() >= 1;
    }));
    EXPECT_GT(frames.last().at(0).toFloat(), 0.0f) << "a frame takes time";
    EXPECT_GE(frames.last().at(2).toInt(), 1) << "the resolution drawn";

    // A new size reaches the engine through the window's resize event.
    ctrl.resize(320, 200);
    EXPECT_TRUE(waitFor([&] { return ctrl.currentFrame().size() == QSize(320, 200); }))
        << ctrl.currentFrame().width() << "x" << ctrl.currentFrame().height();

    // A colour written is in the next frames: the background's corner.
    ASSERT_TRUE(ctrl.SetProperty(DISPID_BackColor, Variant(uint32_t(0x00FF00))).ok());
    EXPECT_TRUE(waitFor([&] { return ctrl.currentFrame().pixel(2, 2) == qRgb(0, 255, 0); }));
}
