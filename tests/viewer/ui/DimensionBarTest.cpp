// The dimension bar in the main frame with the real graph control, driven by
// real events: a slider dragged with the mouse, Page Down and Page Up
// pressed, a number typed, Play clicked and the steps and pictures counted;
// an array of seven dimensions, a Fortran array with negative lower bounds,
// and an automation client's SetRoi and SetDimScale that the bar follows.
#include "DimensionBar.h"
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "HdfObjects.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TavrixObj.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"
#include "plotrane/PropertyTable.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace plotrane;

namespace {

// Element value: its index in each dimension as two decimal digits, the
// last dimension lowest ({2, 3, 4} is 20304), so a value names its plane.
double code(const std::vector<int32_t>& index) {
    double v = 0;
    for (int32_t i : index)
        v = v * 100 + i;
    return v;
}

// Where a slider's handle is now.
QPoint handleCentre(QSlider* s) {
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.singleStep = s->singleStep();
    opt.pageStep = s->pageStep();
    opt.upsideDown = s->invertedAppearance() != (s->layoutDirection() == Qt::RightToLeft);
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

// Drags the slider's handle to x with the mouse.
void dragHandle(QSlider* s, int x) {
    const QPoint from = handleCentre(s);
    const QPoint to(x, from.y());
    QTest::mousePress(s, Qt::LeftButton, {}, from);
    for (int k = 1; k <= 8; ++k)
        QTest::mouseMove(s, from + (to - from) * k / 8);
    QTest::mouseRelease(s, Qt::LeftButton, {}, to);
}

// Types a number into a spin box and presses Enter, as a user would.
void typeInto(QSpinBox* spin, const QString& text) {
    QLineEdit* edit = spin->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

class DimensionBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        doc = std::make_unique<CArrayDoc>(settings, sink);
        frame = std::make_unique<CMainFrame>(doc.get(), &settings);
        frame->resize(760, 600);
        frame->show();
        settle();
        bar = frame->dimensionBar();
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    // Saves a double array whose every element is code(its index) and opens
    // it in the frame.
    using Fill = double (*)(const std::vector<int32_t>&);
    void openArray(std::vector<int32_t> extents, int language = AGL_LANG_C,
                   std::vector<int32_t> lowerBounds = {}, const std::string& name = "a.agl",
                   Fill fill = code) {
        auto a = makeArray(extents, AGL_DOUBLE, language, lowerBounds);
        ASSERT_TRUE(a);
        auto* p = static_cast<uint8_t*>(a->mutableData());
        std::vector<int32_t> index(extents.size(), 0);
        for (int64_t i = 0; i < a->elementCount(); ++i) {
            const double v = fill(index);
            std::memcpy(p + i * 8, &v, 8);
            for (size_t d = extents.size(); d-- > 0;) {
                if (++index[d] < extents[d]) break;
                index[d] = 0;
            }
        }
        ASSERT_TRUE(a->saveTo(dir.file(name)));
        ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file(name))));
        settle();
        ASSERT_TRUE(doc->hasData());
        bar->sync();
    }
    int roiLow(int dim) {
        int32_t lo = 0, hi = 0;
        doc->currentArray()->getRoi(dim, lo, hi);
        return lo;
    }
    QString position() { return frame->positionPane()->text(); }
    CPlotrane2D& ctl() { return *doc->control(true); }
    void activate() {
        frame->activateWindow();
        ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == frame.get(); }));
    }
    // Waits until the graph has filtered a plane whose values span lo..hi
    // (the filter rounds its range outward a little).
    bool graphShows(double lo, double hi) {
        return waitFor([&] {
            double low = 0, high = 0;
            frame->graphView()->passRange(0, low, high);
            const double slack = 0.2 * (hi - lo);
            return low <= lo && low >= lo - slack && high >= hi && high <= hi + slack;
        });
    }

    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    DimensionBar* bar = nullptr;
};

} // namespace

TEST_F(DimensionBarTest, DraggingTheSliderShowsThatPlaneEverywhere) {
    EXPECT_FALSE(bar->isVisible());
    // Rows: dimension 0, columns: dimension 1; plane k holds 1000 k + 10 r + c.
    openArray({6, 4, 5}, AGL_LANG_C, {}, "a.agl",
              [](const std::vector<int32_t>& i) { return 1000.0 * i[2] + 10.0 * i[0] + i[1]; });
    ASSERT_TRUE(bar->isVisible());
    ASSERT_EQ(bar->dimensions(), std::vector<int>{2});
    EXPECT_EQ(bar->nameLabel(2)->text(), "Dimension 3");
    QSlider* slider = bar->slider(2);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 4);
    doc->setCursor(2, 3);
    settle();

    dragHandle(slider, slider->width() - 1);
    settle();
    EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(bar->spinBox(2)->value(), 4);
    EXPECT_EQ(roiLow(2), 4);
    EXPECT_EQ(ctl().GetRoiLb(2), 4);
    // Status bar, spreadsheet and marker at the same cell of plane 4.
    EXPECT_EQ(position(), "M[2][3][4]: 4023");
    QTableView* table = frame->gridView()->table();
    EXPECT_EQ(table->currentIndex().row(), 2);
    EXPECT_EQ(table->currentIndex().column(), 3);
    EXPECT_DOUBLE_EQ(table->model()->index(2, 3).data().toString().trimmed().toDouble(), 4023);
    EXPECT_EQ(ctl().getInt(DISPID_Row), 2);
    EXPECT_EQ(ctl().getInt(DISPID_Col), 3);
    // The graph filters plane 4: values 4000 .. 4053.
    EXPECT_TRUE(graphShows(4000, 4053));

    // Back to the first plane, dragged the other way.
    dragHandle(slider, 0);
    settle();
    EXPECT_EQ(roiLow(2), 0);
    EXPECT_EQ(position(), "M[2][3][0]: 23");
    EXPECT_TRUE(graphShows(0, 53));
}

TEST_F(DimensionBarTest, PageDownAndPageUpStepTheFirstDimension) {
    openArray({3, 4, 5, 6});
    ASSERT_EQ(bar->dimensions(), (std::vector<int>{2, 3}));
    activate();
    QTableView* table = frame->gridView()->table();
    table->setFocus();
    settle();
    ASSERT_TRUE(frame->nextPlaneAction()->isEnabled());
    QTest::keyClick(table, Qt::Key_PageDown);
    QTest::keyClick(table, Qt::Key_PageDown);
    settle();
    EXPECT_EQ(roiLow(2), 2);
    EXPECT_EQ(bar->slider(2)->value(), 2);
    QTest::keyClick(table, Qt::Key_PageUp);
    settle();
    EXPECT_EQ(roiLow(2), 1);
    // The keys stop at the ends; the second dimension never moves.
    for (int k = 0; k < 8; ++k)
        QTest::keyClick(table, Qt::Key_PageDown);
    settle();
    EXPECT_EQ(roiLow(2), 4);
    for (int k = 0; k < 8; ++k)
        QTest::keyClick(table, Qt::Key_PageUp);
    settle();
    EXPECT_EQ(roiLow(2), 0);
    EXPECT_EQ(roiLow(3), 0);
    // From the bar's own spin box too (not its page step).
    bar->spinBox(3)->setFocus();
    QTest::keyClick(bar->spinBox(3), Qt::Key_PageDown);
    settle();
    EXPECT_EQ(roiLow(2), 1);
    EXPECT_EQ(roiLow(3), 0);

    // A plane array: no bar, and the keys are the spreadsheet's again.
    openArray({40, 40}, AGL_LANG_C, {}, "plane.agl");
    frame->updateCommandStates();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(frame->nextPlaneAction()->isEnabled());
    EXPECT_FALSE(frame->previousPlaneAction()->isEnabled());
}

TEST_F(DimensionBarTest, PlayStepsThroughTheDimensionAndEveryStepIsDrawn) {
    openArray({5, 6, 12});
    ASSERT_EQ(bar->dimensions(), std::vector<int>{2});
    // The whole array runs from 0 to 40511: the palette holds that range.
    CPlotrane2D& c = ctl();
    const float elevation = c.getFloat(DISPID_CamElevation);
    const float azimuth = c.getFloat(DISPID_CamAzimuth);
    typeInto(bar->findChild<QSpinBox*>("playRate"), "60");
    EXPECT_EQ(bar->rate(), 60);
    QSignalSpy steps(bar, &DimensionBar::stepped);
    QSignalSpy pictures(frame->graphView(), &CPlotrane2DView::renderPassed);

    QTest::mouseClick(bar->playButton(2), Qt::LeftButton);
    EXPECT_TRUE(bar->isPlaying());
    EXPECT_TRUE(bar->playButton(2)->isChecked());
    // The graph keeps to one coarse resolution while playing.
    EXPECT_FALSE(c.getBool(DISPID_ResolutionAutoAdjust));
    EXPECT_GE(bar->playResolution(), 1);
    EXPECT_EQ(c.getInt(DISPID_Resolution), bar->playResolution());
    ASSERT_TRUE(waitFor([&] { return steps.count() >= 15; }));
    ASSERT_TRUE(waitFor([&] { return bar->isRangeHeld(); }));
    QTest::mouseClick(bar->playButton(2), Qt::LeftButton);
    EXPECT_FALSE(bar->isPlaying());
    EXPECT_FALSE(bar->playButton(2)->isChecked());
    // Stopped: the control picks its levels of detail again.
    EXPECT_TRUE(c.getBool(DISPID_ResolutionAutoAdjust));
    EXPECT_EQ(bar->playResolution(), 0);
    const int played = int(steps.count());
    // Loop: 1, 2, ..., 11, 0, 1, ...
    for (int k = 0; k < played; ++k) {
        EXPECT_EQ(steps[k][0].toInt(), 2);
        EXPECT_EQ(steps[k][1].toInt(), (k + 1) % 12) << k;
    }
    // Each step waited for the picture of the one before (a picture that
    // did not come within the wait, on a busy machine, is counted apart).
    EXPECT_GE(pictures.count() + bar->picturesMissed(), played - 1);
    EXPECT_EQ(bar->stepsPlayed(), played);
    const int last = steps.last()[1].toInt();
    EXPECT_EQ(roiLow(2), last);
    EXPECT_EQ(bar->slider(2)->value(), last);
    settle();
    EXPECT_EQ(steps.count(), played); // stopped means stopped

    EXPECT_FALSE(c.getBool(DISPID_PaletteAutoAdjust));
    EXPECT_EQ(c.getDouble(DISPID_PaletteMinVal), 0.0);
    EXPECT_EQ(c.getDouble(DISPID_PaletteMaxVal), 40511.0);
    // The camera stayed.
    EXPECT_EQ(c.getFloat(DISPID_CamElevation), elevation);
    EXPECT_EQ(c.getFloat(DISPID_CamAzimuth), azimuth);
    // "Each plane" gives the range back to the planes.
    bar->setRangeMode(DimensionBar::EachPlane);
    EXPECT_TRUE(c.getBool(DISPID_PaletteAutoAdjust));
    EXPECT_FALSE(bar->isRangeHeld());
}

TEST_F(DimensionBarTest, StepsByHandStayCoarseUntilTheyRestAndAFixedResolutionStays) {
    openArray({40, 50, 3}); // rows 40, columns 50; the bar: dimension 2
    CPlotrane2D& c = ctl();
    ASSERT_TRUE(c.getBool(DISPID_ResolutionAutoAdjust));
    activate();
    frame->gridView()->table()->setFocus();
    QTest::keyClick(frame->gridView()->table(), Qt::Key_PageDown);
    EXPECT_EQ(roiLow(2), 1);
    EXPECT_FALSE(c.getBool(DISPID_ResolutionAutoAdjust));
    EXPECT_GE(bar->playResolution(), 1);
    // At rest the finer levels come back.
    ASSERT_TRUE(waitFor([&] { return c.getBool(DISPID_ResolutionAutoAdjust); }));
    EXPECT_EQ(bar->playResolution(), 0);

    // A resolution the user fixed is left alone, by steps and by Play.
    c.setBool(DISPID_ResolutionAutoAdjust, false);
    c.setLong(DISPID_Resolution, 3);
    QTest::keyClick(frame->gridView()->table(), Qt::Key_PageDown);
    EXPECT_EQ(roiLow(2), 2);
    EXPECT_EQ(bar->playResolution(), 0);
    bar->play(2);
    EXPECT_EQ(c.getInt(DISPID_Resolution), 3);
    bar->stop();
    EXPECT_FALSE(c.getBool(DISPID_ResolutionAutoAdjust));
    EXPECT_EQ(c.getInt(DISPID_Resolution), 3);
}

TEST_F(DimensionBarTest, BounceTurnsAtBothEnds) {
    openArray({5, 6, 4});
    bar->setRate(60);
    bar->setPlayMode(DimensionBar::Bounce);
    bar->setRangeMode(DimensionBar::EachPlane);
    QSignalSpy steps(bar, &DimensionBar::stepped);
    QTest::mouseClick(bar->playButton(2), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return steps.count() >= 8; }));
    bar->stop();
    const int want[] = {1, 2, 3, 2, 1, 0, 1, 2};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(steps[k][1].toInt(), want[k]) << k;
    // Each plane: the palette follows the planes.
    EXPECT_TRUE(ctl().getBool(DISPID_PaletteAutoAdjust));
    EXPECT_FALSE(bar->isRangeHeld());
}

TEST_F(DimensionBarTest, SevenDimensionsGiveFiveLinesThatFollowTheShownDimensions) {
    openArray({2, 3, 2, 3, 2, 2, 3});
    ASSERT_EQ(bar->dimensions(), (std::vector<int>{2, 3, 4, 5, 6}));
    for (int d = 2; d < 7; ++d) {
        EXPECT_TRUE(bar->slider(d)->isVisible()) << d;
        EXPECT_EQ(bar->nameLabel(d)->text(), QString("Dimension %1").arg(d + 1));
    }
    EXPECT_FALSE(bar->slider(0)->isVisible());
    typeInto(bar->spinBox(6), "2");
    settle();
    EXPECT_EQ(roiLow(6), 2);
    typeInto(bar->spinBox(3), "1");
    settle();
    EXPECT_EQ(roiLow(3), 1);
    EXPECT_TRUE(position().startsWith("M[0][0][0][1][0][0][2]: ")) << position().toStdString();
    EXPECT_EQ(bar->slider(6)->value(), 2);

    // Other plane dimensions, chosen as Settings > ROI chooses them: the bar
    // offers the rest, each at its region's first index.
    CArrayDoc::RegionChoice r = doc->regionChoice();
    r.rowDim = 5;
    r.colDim = 6;
    ASSERT_TRUE(doc->applyRegion(r));
    settle();
    EXPECT_EQ(bar->dimensions(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(bar->slider(6)->isVisible());
    EXPECT_TRUE(bar->slider(0)->isVisible());
    EXPECT_EQ(bar->slider(3)->value(), 1);
    EXPECT_EQ(bar->slider(1)->maximum(), 2);
    dragHandle(bar->slider(1), bar->slider(1)->width() - 1);
    settle();
    EXPECT_EQ(roiLow(1), 2);
}

TEST_F(DimensionBarTest, FortranNegativeLowerBoundsAreTheIndicesShown) {
    // Fortran M(-3:3, 4, 3): stored extents 3, 4, 7 with lower bounds 1, 1, -3.
    openArray({3, 4, 7}, AGL_LANG_FORTRAN, {1, 1, -3});
    // Fortran shows stored dimension 1 down the rows, 0 across.
    ASSERT_EQ(bar->dimensions(), std::vector<int>{2});
    QSlider* slider = bar->slider(2);
    EXPECT_EQ(slider->minimum(), -3);
    EXPECT_EQ(slider->maximum(), 3);
    EXPECT_EQ(slider->value(), -3);
    EXPECT_EQ(bar->spinBox(2)->value(), -3);
    EXPECT_EQ(bar->spinBox(2)->minimum(), -3);

    typeInto(bar->spinBox(2), "0");
    settle();
    EXPECT_EQ(roiLow(2), 3); // index 0 is the fourth element
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(position(), "M(0,1,1): 3");
    typeInto(bar->spinBox(2), "-4"); // below the first index: refused by the box
    settle();
    EXPECT_EQ(roiLow(2), 3);

    dragHandle(slider, 0);
    settle();
    EXPECT_EQ(slider->value(), -3);
    EXPECT_EQ(roiLow(2), 0);
    EXPECT_EQ(position(), "M(-3,1,1): 0");
    dragHandle(slider, slider->width() - 1);
    settle();
    EXPECT_EQ(roiLow(2), 6);
    EXPECT_EQ(position(), "M(3,1,1): 6");
}

TEST_F(DimensionBarTest, AClientsSetRoiAndDimensionScaleMoveTheBar) {
    openArray({4, 5, 6});
    automation::TavrixObj client(*doc, nullptr);
    auto call = [&](const char* member, automation::Values args) {
        const automation::Result r = client.call(member, args);
        EXPECT_TRUE(r.ok()) << member << ": " << r.message;
    };
    call("SetRoi", {Variant(int16_t(2)), Variant(3), Variant(3)});
    ASSERT_TRUE(waitFor([&] { return bar->slider(2)->value() == 3; }));
    EXPECT_EQ(bar->spinBox(2)->value(), 3);
    EXPECT_FALSE(bar->coordinateLabel(2)->isVisible());

    // A scale for the dimension: its coordinate shows beside the index.
    const std::string scalePath = dir.file("time.agl");
    {
        aglSegment seg;
        const int32_t n = 6;
        ASSERT_TRUE(seg.create(scalePath.c_str(), 1, &n, AGL_DOUBLE, AGL_LANG_C, true));
        for (int k = 0; k < n; ++k) {
            const double t = 0.5 * k;
            std::memcpy(static_cast<uint8_t*>(seg.elements()) + k * 8, &t, 8);
        }
    }
    call("SetDimScale", {Variant(int16_t(2)), Variant(scalePath)});
    ASSERT_TRUE(waitFor([&] { return bar->coordinateLabel(2)->isVisible(); }));
    EXPECT_EQ(bar->coordinateLabel(2)->text(), "1.5");
    call("SetRoi", {Variant(int16_t(2)), Variant(5), Variant(5)});
    ASSERT_TRUE(waitFor([&] { return bar->slider(2)->value() == 5; }));
    EXPECT_EQ(bar->coordinateLabel(2)->text(), "2.5");

    // A new row and column dimension from the client: the bar follows.
    call("SetRowColDim", {Variant(int16_t(1)), Variant(int16_t(2))});
    ASSERT_TRUE(waitFor([&] { return bar->dimensions() == std::vector<int>{0}; }));
}

// A data set read plane by plane (HDF5's /cube, uint16 [2][3][4]: plane 0
// holds 0..11, plane 1 holds 12..23) has only its plane in memory. With
// "all planes" the palette holds the whole data set's range, found by the
// helper, across the plane steps: a value has the same colour in every
// plane. With "each plane" it follows the plane shown.
TEST_F(DimensionBarTest, AllPlanesHoldsTheRangeOfADataSetReadPlaneByPlane) {
    ASSERT_EQ(std::system((std::string(MAKE_HDF5_SAMPLES) + " " + dir.path()).c_str()), 0);
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("sample.h5"))));
    settle();
    const CHdfObject* cube = nullptr;
    for (const auto& o : doc->hdfObjects())
        if (o->location == "/cube") cube = o.get();
    ASSERT_NE(cube, nullptr);
    ASSERT_TRUE(doc->showHdfObjectById(cube->objectId));
    settle();
    bar->sync();
    ASSERT_EQ(bar->dimensions(), std::vector<int>{0});
    ASSERT_TRUE(static_cast<const CHdfSds*>(doc->hdfCurrent())->byPlane);
    CPlotrane2D& c = ctl();
    bar->setRangeMode(DimensionBar::WholeArray);
    QSignalSpy steps(bar, &DimensionBar::stepped);
    QTest::mouseClick(bar->playButton(0), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return bar->isRangeHeld(); }));
    // Both planes shown while the range is held.
    const int held = int(steps.count());
    ASSERT_TRUE(waitFor([&] { return steps.count() >= held + 2; }));
    QTest::mouseClick(bar->playButton(0), Qt::LeftButton);
    EXPECT_FALSE(bar->isPlaying());
    const int last = steps.last()[1].toInt();
    for (const int plane : {last, 1 - last}) {
        SCOPED_TRACE(plane);
        if (plane != doc->regionChoice().start[0]) {
            ASSERT_TRUE(bar->showIndex(0, plane));
        }
        EXPECT_TRUE(bar->isRangeHeld());
        EXPECT_FALSE(c.getBool(DISPID_PaletteAutoAdjust));
        EXPECT_EQ(c.getDouble(DISPID_PaletteMinVal), 0.0);
        EXPECT_EQ(c.getDouble(DISPID_PaletteMaxVal), 23.0);
    }
    // Each plane: the second plane's palette is its own, 12..23.
    bar->setRangeMode(DimensionBar::EachPlane);
    EXPECT_TRUE(c.getBool(DISPID_PaletteAutoAdjust));
    if (doc->regionChoice().start[0] != 1) {
        ASSERT_TRUE(bar->showIndex(0, 1));
    }
    EXPECT_TRUE(graphShows(12.0, 23.0));
}
