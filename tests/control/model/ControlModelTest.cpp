// The control without a window, through its dispatch interface: every
// property of the table written valid, invalid, non-finite and unchanged;
// the edge cases of the interface; methods with indices from outside; events
// as callbacks and the tick; the picture after rebinding arrays of many
// sizes; the image map's orientation and filter; the property bag saved,
// loaded and saved again.
#include "ControlModel.h"
#include "ImageCompare.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "WaitFor.h"
#include "aglGraphView.h"
#include "aglPaletteBarObj.h"
#include "aglSegment.h"
#include "aglTypes.h"
#include "control/render/BumpArray.h"
#include "plotrane/PropertyTable.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

using namespace plotrane;

namespace {

const std::string kWave = TAVRIX_SOURCE_DIR "/examples/wave.agl"; // float [48][64]
// The picture's size: what a control gets before its host sizes it.
constexpr int kWidth = 640, kHeight = 480;

// Each test has a fresh model with the example bound.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctrl = std::make_unique<ControlModel>(kWidth, kHeight, 0, 0);
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(kWave)).ok());
        ctrl->setModified(false);
    }
    std::unique_ptr<ControlModel> ctrl;
};

// A valid value different from the current one, by the property's row.
Variant validOther(const PropertyInfo& p, const Variant& cur) {
    switch (p.type) {
    case PropType::Bool:
        return Variant(!cur.toBool());
    case PropType::String:
    case PropType::Font:
        return Variant(cur.toString() + "x");
    case PropType::Color:
        return Variant(uint32_t(cur.toInt()) ^ 0x102030u);
    default:
        break;
    }
    double v = cur.toDouble();
    switch (p.check) {
    case Check::Closed:
    case Check::SilentClosed:
        v = v == p.low ? p.high : p.low;
        break;
    case Check::OpenOpen:
        v = v == (p.low + p.high) / 2 ? p.low + 1 : (p.low + p.high) / 2;
        break;
    case Check::OpenClosed:
        v = v == p.high ? (p.low + p.high) / 2 : p.high;
        break;
    case Check::AtLeast:
        v = v + 1;
        break;
    case Check::ElementSize:
        v = v == 8 ? 4 : 8;
        break;
    case Check::Any:
        v = p.isFloating() ? v + 0.5 : v + 1;
        break;
    }
    // The window must stay inside the 48 x 64 array.
    if (p.dispid == DISPID_NumColumns || p.dispid == DISPID_NumRows) v = 10;
    if (p.dispid == DISPID_ColumnStart || p.dispid == DISPID_RowStart) v = 3;
    if (p.dispid == DISPID_RowDim) v = 1;
    if (p.dispid == DISPID_ColDim) v = 0;
    if (p.dispid == DISPID_FileName) return Variant(kWave); // rebinding the same array
    switch (p.type) {
    case PropType::Short:
        return Variant(int16_t(v));
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    default:
        return Variant(int(v));
    }
}

// A value outside the property's rule, or empty when every value passes.
Variant invalid(const PropertyInfo& p) {
    double v = 0;
    switch (p.check) {
    case Check::Closed:
        v = p.high + 1;
        break;
    case Check::OpenOpen:
        v = p.high;
        break;
    case Check::OpenClosed:
        v = p.low;
        break;
    case Check::AtLeast:
        v = p.low - 1;
        break;
    case Check::ElementSize:
        v = 3;
        break;
    default:
        return Variant();
    }
    return p.isFloating() ? Variant(v) : Variant(int(v));
}

// Properties whose reading follows what was written. (PaletteFileName
// loads a palette and reads empty; FileName binds.)
bool writable(const PropertyInfo& p) {
    return !p.has(kReadOnly) && !p.has(kIgnored) && !p.has(kDiscarded) &&
           p.dispid != DISPID_FileName && p.dispid != DISPID_PaletteFileName;
}

// Update's passes are run by the filter thread and reported, like the level
// step, by the control's tick.
void updateAndTick(ControlModel& c) {
    c.Invoke(DISPID_Update, {});
    ASSERT_TRUE(c.waitForPasses(20000));
    c.tick();
}

} // namespace

TEST_F(ControlTest, EveryPropertyTakesAValidValueOnceAndAnUnchangedOneWithoutAMark) {
    // Resolution reads the live level's value while it adjusts itself.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_ResolutionAutoAdjust, Variant(false)).ok());
    for (const PropertyInfo& p : kProperties) {
        if (!writable(p)) continue;
        const Variant before = ctrl->GetProperty(p.dispid);
        const Variant next = validOther(p, before);
        ctrl->setModified(false);
        const DispatchStatus s = ctrl->SetProperty(p.dispid, next);
        EXPECT_TRUE(s.ok()) << p.name << ": " << s.message;
        const Variant after = ctrl->GetProperty(p.dispid);
        // The eye goes through distance and angles: a few units of rounding.
        const bool eye = p.dispid >= DISPID_CamXPos && p.dispid <= DISPID_CamZPos;
        // Row and Col read the cursor, which moves at the next paint.
        const bool pending = p.dispid == DISPID_Row || p.dispid == DISPID_Col;
        if (pending)
            EXPECT_EQ(after.toInt(), before.toInt()) << p.name;
        else if (eye)
            EXPECT_NEAR(after.toFloat(), next.toFloat(), 1e-5) << p.name;
        else if (p.isFloating())
            EXPECT_FLOAT_EQ(after.toFloat(), next.toFloat()) << p.name;
        else if (p.isNumeric())
            EXPECT_EQ(after.toInt(), next.toInt()) << p.name;
        else
            EXPECT_EQ(after.toString(), next.toString()) << p.name;
        EXPECT_TRUE(ctrl->isModified()) << p.name;

        ctrl->setModified(false);
        EXPECT_TRUE(ctrl->SetProperty(p.dispid, after).ok()) << p.name;
        EXPECT_FALSE(ctrl->isModified()) << p.name << ": a write of the current value";
    }
}

TEST_F(ControlTest, EveryRefusalIs380WithItsMessageAndChangesNothing) {
    int refusals = 0;
    for (const PropertyInfo& p : kProperties) {
        if (p.has(kReadOnly) || p.has(kIgnored)) continue;
        const Variant bad = invalid(p);
        const Variant before = ctrl->GetProperty(p.dispid);
        ctrl->setModified(false);
        if (!bad.isEmpty() && p.messageId) {
            const DispatchStatus s = ctrl->SetProperty(p.dispid, bad);
            EXPECT_EQ(s.code, 380) << p.name;
            EXPECT_EQ(s.message, controlMessage(p.messageId)) << p.name;
            ++refusals;
        }
        if (p.isFloating()) {
            for (double x :
                 {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                  -std::numeric_limits<double>::infinity()}) {
                const DispatchStatus s = ctrl->SetProperty(p.dispid, Variant(x));
                EXPECT_EQ(s.code, 380) << p.name << " = " << x;
                EXPECT_FALSE(s.message.empty()) << p.name;
            }
        }
        EXPECT_EQ(ctrl->GetProperty(p.dispid), before) << p.name;
        EXPECT_FALSE(ctrl->isModified()) << p.name;
    }
    EXPECT_GE(refusals, 17);
    EXPECT_EQ(ctrl->SetProperty(DISPID_MajorVersion, Variant(2)).code, kSetNotSupported);
    EXPECT_EQ(ctrl->GetProperty(DISPID_MajorVersion).toInt(), 1);
    EXPECT_EQ(ctrl->GetProperty(DISPID_MinorVersion).toInt(), 7);
}

TEST_F(ControlTest, EdgeCasesOfTheInterface) {
    EXPECT_TRUE(ctrl->SetProperty(DISPID_LineWidth, Variant(99.5f)).ok());
    EXPECT_EQ(ctrl->SetProperty(DISPID_LineWidth, Variant(100.0f)).message,
              "LineWidth must be a  number in the range (0, 100)");
    EXPECT_FLOAT_EQ(ctrl->GetProperty(DISPID_LineWidth).toFloat(), 99.5f);
    EXPECT_TRUE(ctrl->set<DISPID_BarChartArea>(1.0f).ok());
    EXPECT_FLOAT_EQ(ctrl->get<DISPID_BarChartArea>(), 1.0f);
    EXPECT_EQ(ctrl->SetProperty(DISPID_BarChartArea, Variant(0.0f)).code, 380);

    // DataElementSize 4 is accepted and dropped: it reads the array's size.
    EXPECT_EQ(ctrl->SetProperty(DISPID_DataElementSize, Variant(int16_t(3))).code, 380);
    EXPECT_TRUE(ctrl->SetProperty(DISPID_DataElementSize, Variant(int16_t(8))).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_DataElementSize).toInt(), 4);

    EXPECT_TRUE(ctrl->set<DISPID_AxisStyle>(7).ok());
    static_assert(std::is_same_v<decltype(ctrl->get<DISPID_AxisStyle>()), int16_t>);
    static_assert(std::is_same_v<decltype(ctrl->get<DISPID_AxisColor>()), uint32_t>);
    ctrl->setModified(false);
    EXPECT_TRUE(ctrl->SetProperty(DISPID_AxisStyle, Variant(int16_t(0))).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_AxisStyle).toInt(), 7);
    EXPECT_FALSE(ctrl->isModified());

    // A single end that would cross the other is not applied.
    EXPECT_TRUE(ctrl->SetProperty(DISPID_PaletteAutoAdjust, Variant(false)).ok());
    EXPECT_TRUE(ctrl->SetProperty(DISPID_PaletteMinVal, Variant(5.0)).ok());
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMinVal).toDouble(), -1.0);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMaxVal).toDouble(), 1.0);
    // ... the pair setter moves both ends at once.
    ctrl->setPaletteRange(100, 200);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMinVal).toDouble(), 100.0);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMaxVal).toDouble(), 200.0);
    ctrl->setAxisClamp(0, 100, 200);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_XMinClamp).toDouble(), 100.0);

    // ZBias always reads 0, but a write still marks the control modified.
    ctrl->setModified(false);
    EXPECT_TRUE(ctrl->SetProperty(DISPID_ZBias, Variant(2.0f)).ok());
    EXPECT_FLOAT_EQ(ctrl->GetProperty(DISPID_ZBias).toFloat(), 0.0f);
    EXPECT_TRUE(ctrl->isModified());

    ctrl->Invoke(DISPID_Cycle, {Variant(0.0f)});
    EXPECT_FALSE(ctrl->isCycling());
    EXPECT_DOUBLE_EQ(ctrl->tickPeriodMs() / 1000.0, 0.1);
    ctrl->Invoke(DISPID_Cycle, {Variant(2.5f)});
    EXPECT_TRUE(ctrl->isCycling());
    EXPECT_DOUBLE_EQ(ctrl->tickPeriodMs() / 1000.0, 2.5);
    ctrl->Invoke(DISPID_Cycle, {Variant(std::numeric_limits<double>::quiet_NaN())});
    EXPECT_FALSE(ctrl->isCycling());

    ctrl->Invoke(DISPID_SetIndexColor, {Variant(int16_t(5)), Variant(0x123456)});
    EXPECT_EQ(ctrl->Invoke(DISPID_GetIndexColor, {Variant(int16_t(5))}).toInt(), 0);
}

// The pair setters through the dispatch interface: what a host reaches.
// Both ends move in one call; a pair that crosses, is not finite, or names
// no axis is refused (FALSE) and changes nothing.
TEST_F(ControlTest, RangePairsThroughTheDispatchInterface) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto axisPair = [&](int axis, double lo, double hi) {
        return ctrl->Invoke(DISPID_SetAxisClamp, {Variant(int16_t(axis)), Variant(lo), Variant(hi)})
            .toBool();
    };
    auto palettePair = [&](double lo, double hi) {
        return ctrl->Invoke(DISPID_SetPaletteRange, {Variant(lo), Variant(hi)}).toBool();
    };
    EXPECT_TRUE(axisPair(2, 50.0, 60.0)); // beyond the old maximum 1
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_ZMinClamp).toDouble(), 50.0);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_ZMaxClamp).toDouble(), 60.0);
    EXPECT_TRUE(palettePair(-300.0, -200.0));
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMinVal).toDouble(), -300.0);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMaxVal).toDouble(), -200.0);

    ctrl->setModified(false);
    for (auto [lo, hi] : {std::pair{2.0, 1.0}, {nan, 1.0}, {0.0, inf}, {-inf, 0.0}}) {
        EXPECT_FALSE(axisPair(2, lo, hi)) << lo << " " << hi;
        EXPECT_FALSE(palettePair(lo, hi)) << lo << " " << hi;
    }
    EXPECT_FALSE(axisPair(3, 0.0, 1.0));
    EXPECT_FALSE(axisPair(-1, 0.0, 1.0));
    EXPECT_FALSE(ctrl->Invoke(DISPID_SetAxisClamp, {Variant(int16_t(0)), Variant(1.0)}).toBool());
    EXPECT_FALSE(ctrl->Invoke(DISPID_SetPaletteRange, {}).toBool());
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_ZMinClamp).toDouble(), 50.0);
    EXPECT_DOUBLE_EQ(ctrl->GetProperty(DISPID_PaletteMaxVal).toDouble(), -200.0);
    EXPECT_FALSE(ctrl->isModified());
}

TEST_F(ControlTest, LiveValuesFollowTheBoundArrayAndTheCamera) {
    EXPECT_EQ(ctrl->GetProperty(DISPID_NumColumns).toInt(), 64);
    EXPECT_EQ(ctrl->GetProperty(DISPID_NumRows).toInt(), 48);
    EXPECT_EQ(ctrl->GetProperty(DISPID_DataOffset).toInt(), -1) << "no level before Update";
    updateAndTick(*ctrl);
    EXPECT_GE(ctrl->GetProperty(DISPID_DataOffset).toInt(), 0);

    // The home camera: centre (0.5, 0.5, 0.3), distance 3, elevation 26,
    // azimuth -108.5.
    EXPECT_NEAR(ctrl->GetProperty(DISPID_CamXPos).toDouble(), -0.35557, 1e-4);
    EXPECT_NEAR(ctrl->GetProperty(DISPID_CamYPos).toDouble(), -2.05705, 1e-4);
    EXPECT_NEAR(ctrl->GetProperty(DISPID_CamZPos).toDouble(), 1.61511, 1e-4);
    // Moving the eye keeps the other two coordinates.
    EXPECT_TRUE(ctrl->SetProperty(DISPID_CamZPos, Variant(0.3f)).ok());
    EXPECT_NEAR(ctrl->GetProperty(DISPID_CamElevation).toDouble(), 0.0, 1e-3);
    EXPECT_NEAR(ctrl->GetProperty(DISPID_CamXPos).toDouble(), -0.35557, 1e-4);

    // The same name binds again: a rewritten file is taken up.
    TempDir dir;
    const std::string file = dir.file("grows.agl");
    const auto make = [&](int32_t rows, int32_t columns) {
        aglSegment segment;
        const int32_t extents[2] = {rows, columns};
        ASSERT_TRUE(segment.create(file.c_str(), 2, extents, AGL_FLOAT, AGL_LANG_C, true));
    };
    make(4, 5);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(file)).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_NumColumns).toInt(), 5);
    make(6, 9);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(file)).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_NumColumns).toInt(), 9);

    // A refused name changes nothing and raises nothing.
    EXPECT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant("/no/such/array.agl")).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_FileName).toString(), file);
}

TEST_F(ControlTest, IndicesFromOutsideNeverReachTheArray) {
    for (int d : {-1, 2, 6, 7, 1000}) {
        EXPECT_EQ(ctrl->Invoke(DISPID_GetRoiLb, {Variant(int16_t(d))}).toInt(), 0) << d;
        EXPECT_EQ(ctrl->Invoke(DISPID_GetRoiUb, {Variant(int16_t(d))}).toInt(), 0) << d;
        EXPECT_EQ(ctrl->Invoke(DISPID_GetLBound, {Variant(int16_t(d))}).toInt(), 0) << d;
        ctrl->Invoke(DISPID_SetRoiLb, {Variant(int16_t(d)), Variant(3)});
        ctrl->Invoke(DISPID_SetLBound, {Variant(int16_t(d)), Variant(3)});
        EXPECT_TRUE(ctrl->SetProperty(DISPID_RowDim, Variant(d)).ok());
        EXPECT_EQ(ctrl->GetProperty(DISPID_RowDim).toInt(), 0) << d;
    }
    EXPECT_FALSE(ctrl->isModified());
    EXPECT_EQ(ctrl->Invoke(DISPID_GetRoiUb, {Variant(int16_t(1))}).toInt(), 63);
    EXPECT_EQ(ctrl->Invoke(DISPID_GetRoiLb, {}).toInt(), 0) << "a missing argument";

    EXPECT_EQ(ctrl->Invoke(DISPID_Malloc, {Variant(4096)}).toInt(), 0);
    EXPECT_EQ(ctrl->Invoke(DISPID_Reshape, {Variant(int16_t(8))}).toInt(), -1);
    EXPECT_EQ(ctrl->Invoke(DISPID_Reshape, {Variant(int16_t(2)), Variant(4)}).toInt(), -1);
    EXPECT_EQ(ctrl->Invoke(DISPID_SetAxisScale, {Variant(int16_t(9)), Variant("x")}).toBool(),
              false);
}

TEST_F(ControlTest, AxisScalesAreOneDimensionalArrays) {
    TempDir dir;
    const std::string ticks = dir.file("ticks.agl");
    {
        aglSegment make;
        const int32_t extent[1] = {64};
        ASSERT_TRUE(make.create(ticks.c_str(), 1, extent, AGL_FLOAT, AGL_LANG_C));
    }
    EXPECT_TRUE(ctrl->Invoke(DISPID_SetAxisScale, {Variant(int16_t(1)), Variant(ticks)}).toBool());
    ASSERT_NE(ctrl->dimensionScale(1), nullptr);
    EXPECT_TRUE(ctrl->isModified());
    // The example is two-dimensional: refused, and an earlier scale removed.
    EXPECT_FALSE(ctrl->Invoke(DISPID_SetAxisScale, {Variant(int16_t(1)), Variant(kWave)}).toBool());
    EXPECT_EQ(ctrl->dimensionScale(1), nullptr);
    EXPECT_FALSE(
        ctrl->Invoke(DISPID_SetAxisScale, {Variant(int16_t(1)), Variant("/no/such.agl")}).toBool());
    EXPECT_FALSE(
        ctrl->Invoke(DISPID_SetAxisScale, {Variant(int16_t(-1)), Variant(kWave)}).toBool());
}

// AxisFontName was stored and read back while both axis fonts kept their
// face. It names the face of both; sizes and weights stay.
TEST_F(ControlTest, AxisFontNameSetsTheFaceOfBothAxisFonts) {
    PlotraneFont numbers = ctrl->axisFont();
    numbers.points = 10.5;
    ctrl->setAxisFont(numbers);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_AxisLabelFont, Variant("Courier New")).ok());
    int changes = 0;
    ControlHost host;
    host.propertyChanged = [&](int32_t) { ++changes; };
    ctrl->setHost(host);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_AxisFontName, Variant("DejaVu Sans")).ok());
    EXPECT_EQ(ctrl->GetProperty(DISPID_AxisFontName).toString(), "DejaVu Sans");
    EXPECT_EQ(ctrl->axisFont().family, "DejaVu Sans");
    EXPECT_EQ(ctrl->axisFont().points, 10.5);
    EXPECT_EQ(ctrl->axisLabelFont().family, "DejaVu Sans");
    EXPECT_EQ(ctrl->GetProperty(DISPID_AxisFont).toString(), "DejaVu Sans");
    EXPECT_EQ(ctrl->engine().axis().NumberFontFace(), "DejaVu Sans");
    EXPECT_EQ(ctrl->engine().axis().TitleFontFace(), "DejaVu Sans");
    EXPECT_TRUE(ctrl->isModified());
    EXPECT_GE(changes, 1);

    // The same name again after one font took another face: both follow.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_AxisFont, Variant("Courier New")).ok());
    ASSERT_TRUE(ctrl->SetProperty(DISPID_AxisFontName, Variant("DejaVu Sans")).ok());
    EXPECT_EQ(ctrl->engine().axis().NumberFontFace(), "DejaVu Sans");
}

// A custom palette named in PaletteFileName is shown while PaletteId is 0.
// Loading it once switched the picture behind PaletteId, which kept its old
// value: writing that value again then did nothing.
TEST_F(ControlTest, ACustomPaletteIsShownWhilePaletteIdIsZero) {
    TempDir dir;
    auto makePalette = [&](const std::string& name, uint8_t red) {
        aglSegment make;
        const int32_t extent[1] = {1024};
        EXPECT_TRUE(make.create(name.c_str(), 1, extent, AGL_UCHAR, AGL_LANG_C));
        auto* bytes = static_cast<uint8_t*>(make.elements());
        for (int i = 0; i < 1024; ++i)
            bytes[i] = i % 4 == 0 ? red : uint8_t(i % 4 == 3 ? 255 : 0);
    };
    const std::string first = dir.file("first.pal"), second = dir.file("second.pal");
    makePalette(first, 200);
    makePalette(second, 100);
    const aglPalette& bar = ctrl->engine().paletteBar();
    ASSERT_EQ(ctrl->GetProperty(DISPID_PaletteId).toInt(), 4);

    ASSERT_TRUE(ctrl->SetProperty(DISPID_PaletteFileName, Variant(first)).ok());
    EXPECT_TRUE(bar.HasCustomPalette());
    EXPECT_EQ(bar.PaletteId(), 4) << "the picture changed behind PaletteId";
    EXPECT_EQ(ctrl->GetProperty(DISPID_PaletteId).toInt(), 4);

    ASSERT_TRUE(ctrl->SetProperty(DISPID_PaletteId, Variant(int16_t(0))).ok());
    EXPECT_EQ(bar.PaletteId(), 0);
    EXPECT_EQ(bar.Table()[0], 200);
    // Another custom palette while it is shown: shown at once.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_PaletteFileName, Variant(second)).ok());
    EXPECT_EQ(bar.Table()[0], 100);
    // And the ramp chosen again comes back.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_PaletteId, Variant(int16_t(4))).ok());
    EXPECT_EQ(bar.PaletteId(), 4);
}

TEST_F(ControlTest, UpdateFiresAFilterPassPerLevel) {
    struct Pass {
        int16_t level;
        double minimum, maximum;
    };
    std::vector<Pass> passes;
    ControlEvents events;
    events.fltrPass = [&](int16_t level, int16_t, double lo, double hi) {
        passes.push_back({level, lo, hi});
    };
    ctrl->setEvents(events);
    updateAndTick(*ctrl);
    ASSERT_GE(passes.size(), 1u);
    EXPECT_EQ(passes.front().level, 0);
    EXPECT_LT(passes.front().minimum, passes.front().maximum) << "a wave has a range";

    ctrl->freezeEvents(true);
    passes.clear();
    updateAndTick(*ctrl);
    EXPECT_EQ(passes.size(), 0u);
}

// Cycle hands the host its tick period; while cycling every tick redraws
// and marks the model modified; a plain graph has nothing to tick.
TEST_F(ControlTest, CycleSetsTheTickPeriodAndEachTickRedraws) {
    std::vector<int> periods;
    int repaints = 0;
    ControlHost host;
    host.repaint = [&] { ++repaints; };
    host.tickPeriodChanged = [&](int ms) { periods.push_back(ms); };
    ctrl->setHost(host);
    ctrl->Invoke(DISPID_Cycle, {Variant(0.25)});
    ctrl->Invoke(DISPID_Cycle, {Variant(0.001)});
    ctrl->Invoke(DISPID_Cycle, {Variant(-1.0)});
    EXPECT_EQ(periods, (std::vector<int>{250, 10, 100}));
    ctrl->Invoke(DISPID_Cycle, {Variant(0.25)});
    ctrl->setModified(false);
    repaints = 0;
    EXPECT_TRUE(ctrl->tick());
    EXPECT_TRUE(ctrl->isModified());
    EXPECT_EQ(repaints, 1);
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(0))).ok());
    EXPECT_FALSE(ctrl->tick());
}

// Steps the control through its levels with its own tick until the level
// stays, a frame drawn (as a paint asks for one) before each tick, and waits
// until the control holds the latest frame. A frame that never ends fails.
void settlePicture(ControlModel& c) {
    aglRenderContext& context = c.engine().Context();
    const auto showsLatest = [&] {
        return context.State() == ThreadState::Idle && c.currentFrame() == context.LatestFrame();
    };
    int same = 0, level = -2;
    for (int k = 0; k < 12 && same < 2; ++k) {
        ASSERT_TRUE(c.waitForPasses(tavrix_test::kWaitTimeoutMs));
        const uint64_t published = context.PublishedFrames();
        c.engine().Redraw(false);
        ASSERT_TRUE(context.WaitForFrame(published, tavrix_test::kWaitTimeoutMs))
            << "a frame never finished";
        ASSERT_TRUE(waitFor(showsLatest));
        c.tick();
        same = c.engine().currentLevel() == level ? same + 1 : 0;
        level = c.engine().currentLevel();
    }
    ASSERT_TRUE(waitFor(showsLatest));
}

// The picture follows every array bound, whatever the size of the one before:
// arrays of 4096 elements or fewer refine no further than level 1 or 0, and
// a larger array's finest level must not stay in their way.
TEST_F(ControlTest, ThePictureShowsEachArrayBoundAfterSmallerAndLargerOnes) {
    TempDir dir;
    const std::vector<int> sizes = {100, 64, 8, 65, 3, 16, 100, 16, 3, 65, 8, 64, 100};
    std::map<int, std::string> files;
    std::map<int, QImage> alone; // each array in a control of its own
    for (int n : sizes) {
        if (files.count(n)) continue;
        files[n] = writeBumpArray(dir, n);
        ControlModel fresh(kWidth, kHeight, 0);
        ASSERT_TRUE(fresh.SetProperty(DISPID_FileName, Variant(files[n])).ok());
        ASSERT_NO_FATAL_FAILURE(settlePicture(fresh));
        alone[n] = fresh.currentFrame();
        ASSERT_FALSE(alone[n].isNull());
    }
    int before = 0; // the fixture's 48 x 64 wave
    for (int n : sizes) {
        SCOPED_TRACE("the " + std::to_string(n) + " x " + std::to_string(n) + " array after the " +
                     (before ? std::to_string(before) + " x " + std::to_string(before) : "wave"));
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(files[n])).ok());
        ASSERT_NO_FATAL_FAILURE(settlePicture(*ctrl));
        EXPECT_EQ(tavrix::test::countDifferentPixels(ctrl->currentFrame(), alone[n], 16), 0);
        if (before != 0 && before != n) {
            // The arrays differ enough for the comparison above to tell them apart.
            EXPECT_GT(tavrix::test::countDifferentPixels(ctrl->currentFrame(), alone[before], 16),
                      500);
        }
        before = n;
    }
}

// The levels step up as soon as each is filtered and the render thread
// rests, not on the control's one-second tick: with the timer held off (a
// cycle period of weeks), a bound array still reaches its finest level, each
// level reported once, coarsest first, and the finest level's frame is drawn
// and reported.
TEST_F(ControlTest, FinerLevelsComeAsSoonAsTheyAreReadyWithoutTheTimer) {
    TempDir dir;
    const std::string big = writeBumpArray(dir, 300); // three levels of detail
    ControlModel fresh(kWidth, kHeight);              // the defaults a host gets
    fresh.Invoke(DISPID_Cycle, {Variant(1e7)});
    ASSERT_GT(fresh.tickPeriodMs() / 1000.0, 1e6);
    std::vector<int> levels;
    bool finestDrawn = false;
    ControlEvents events;
    events.fltrPass = [&](int16_t level, int16_t, double, double) { levels.push_back(level); };
    events.rndrPass = [&](float, int32_t, int32_t, int32_t, bool, int32_t) {
        finestDrawn = !levels.empty() && levels.back() == 2;
    };
    fresh.setEvents(events);
    ASSERT_TRUE(fresh.SetProperty(DISPID_FileName, Variant(big)).ok());
    ASSERT_TRUE(waitFor([&] { return finestDrawn && fresh.engine().levelsSettled(); }))
        << "the finest level was never drawn without the timer";
    // Coarsest first, never skipping a level on the way up (a level filtered
    // again, as when frame times move the budgets on a slow machine, is
    // reported again, and a reset starts from level 0 again).
    ASSERT_GE(levels.size(), 3u) << ::testing::PrintToString(levels);
    EXPECT_EQ(levels.front(), 0);
    EXPECT_EQ(levels.back(), 2);
    EXPECT_EQ(
        std::adjacent_find(levels.begin(), levels.end(), [](int a, int b) { return b > a + 1; }),
        levels.end())
        << ::testing::PrintToString(levels);
    EXPECT_EQ(fresh.engine().currentLevel(), 2);
}

// A host that keeps one finished picture asks for its level only: that level
// alone is filtered and reported, no coarser one is shown on the way, and
// the picture stays there (no budget moves it). A level the rules make the
// finest before it (an array small enough to sample whole) stands in for it.
TEST_F(ControlTest, AFinalPictureFiltersAndShowsOnlyItsLevel) {
    TempDir dir;
    const std::string big = writeBumpArray(dir, 300);  // three levels of detail
    const std::string small = writeBumpArray(dir, 16); // whole at level 0
    for (const auto& [file, wanted, shown] :
         {std::tuple{big, 2, 2}, std::tuple{big, 1, 1}, std::tuple{small, 2, 0}}) {
        SCOPED_TRACE(file + " at level " + std::to_string(wanted));
        ControlModel fresh(kWidth, kHeight, 0, 0);
        fresh.setFinalPictureLevel(wanted);
        std::vector<int> levels;
        std::vector<int> drawn; // the level shown at each frame reported
        ControlEvents events;
        events.fltrPass = [&](int16_t level, int16_t, double, double) { levels.push_back(level); };
        events.rndrPass = [&](float, int32_t, int32_t, int32_t, bool, int32_t) {
            drawn.push_back(fresh.engine().currentLevel());
        };
        fresh.setEvents(events);
        ASSERT_TRUE(fresh.SetProperty(DISPID_FileName, Variant(file)).ok());
        ASSERT_TRUE(waitFor([&] {
            fresh.tick();
            return fresh.engine().levelsSettled() && !drawn.empty() && drawn.back() == shown;
        }));
        EXPECT_EQ(levels, std::vector<int>{shown});
        EXPECT_EQ(fresh.engine().currentLevel(), shown);
        // Frames before the level is ready show no level (-1), never a coarser one.
        for (int level : drawn)
            EXPECT_TRUE(level == shown || level == -1) << ::testing::PrintToString(drawn);
    }
}

// The image map takes ImageOrientation and ImageFilter: identity, the two
// flips and the linear filter each draw another picture, and going back to
// identity draws the first one again.
TEST_F(ControlTest, ImageOrientationAndFilterReachTheImageMap) {
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(2))).ok());
    ASSERT_TRUE(ctrl->SetProperty(DISPID_CamViewType, Variant(int16_t(2))).ok());
    // The numbers at the first and last ticks of x (columns) and y (rows).
    std::vector<std::string> ends[4];
    const auto picture = [&](int orientation, bool filter) {
        EXPECT_TRUE(ctrl->SetProperty(DISPID_ImageOrientation, Variant(int16_t(orientation))).ok());
        EXPECT_TRUE(ctrl->SetProperty(DISPID_ImageFilter, Variant(filter)).ok());
        settlePicture(*ctrl);
        ends[orientation].clear();
        for (int a = 0; a < 2; ++a) {
            const std::vector<std::string> n = ctrl->engine().axis().NumberStrings(a);
            ends[orientation].push_back(n.empty() ? "" : n.front());
            ends[orientation].push_back(n.empty() ? "" : n.back());
        }
        return ctrl->currentFrame();
    };
    const QImage identity = picture(0, false);
    const QImage xFlip = picture(1, false);
    const QImage yFlip = picture(2, false);
    picture(3, false);
    // The 64 x 48 example: the numbers name the columns and rows where the
    // mirrored picture shows them, round ones either way.
    EXPECT_EQ(ends[0], (std::vector<std::string>{"0", "60", "0", "45"}));
    EXPECT_EQ(ends[1], (std::vector<std::string>{"60", "0", "0", "45"}));
    EXPECT_EQ(ends[2], (std::vector<std::string>{"0", "60", "45", "0"}));
    EXPECT_EQ(ends[3], (std::vector<std::string>{"60", "0", "45", "0"}));
    const QImage linear = picture(0, true);
    const QImage again = picture(0, false);
    ASSERT_FALSE(identity.isNull());
    using tavrix::test::countDifferentPixels;
    EXPECT_GT(countDifferentPixels(identity, xFlip, 16), 500);
    EXPECT_GT(countDifferentPixels(identity, yFlip, 16), 500);
    EXPECT_GT(countDifferentPixels(xFlip, yFlip, 16), 500);
    EXPECT_GT(countDifferentPixels(identity, linear, 16), 50);
    EXPECT_EQ(countDifferentPixels(identity, again, 16), 0);
}

// The image map's aspect: a method pair, mode 0 (stretched, the start) or 1
// (square cells); other modes are refused. The box follows the region shown,
// is the scales' own for other graph types, and no property set carries it.
TEST_F(ControlTest, ImageAspectShapesTheImageMapsBoxToItsRegion) {
    EXPECT_EQ(ctrl->Invoke(DISPID_GetImageAspect, {}).toInt(), 0);
    EXPECT_FALSE(ctrl->Invoke(DISPID_SetImageAspect, {Variant(2)}).toBool());
    EXPECT_FALSE(ctrl->Invoke(DISPID_SetImageAspect, {}).toBool());
    EXPECT_EQ(ctrl->Invoke(DISPID_GetImageAspect, {}).toInt(), 0);
    ASSERT_TRUE(ctrl->Invoke(DISPID_SetImageAspect, {Variant(1)}).toBool());
    EXPECT_EQ(ctrl->Invoke(DISPID_GetImageAspect, {}).toInt(), 1);
    const auto box = [&] {
        double x = 0, y = 0, z = 0;
        ctrl->engine().boxExtents(x, y, z);
        return std::pair{x, y};
    };
    // A height plot keeps XScale x YScale.
    EXPECT_EQ(box(), (std::pair{1.0, 1.0}));
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(2))).ok());
    // The 64 x 48 example: four across, three up.
    auto b = box();
    EXPECT_DOUBLE_EQ(b.first, 1.0);
    EXPECT_DOUBLE_EQ(b.second, 0.75);
    // A region of 12 rows of 48 columns: four to one.
    ctrl->Invoke(DISPID_SetRoiLb, {Variant(int16_t(0)), Variant(10)});
    ctrl->Invoke(DISPID_SetRoiUb, {Variant(int16_t(0)), Variant(21)});
    ctrl->Invoke(DISPID_SetRoiLb, {Variant(int16_t(1)), Variant(8)});
    ctrl->Invoke(DISPID_SetRoiUb, {Variant(int16_t(1)), Variant(55)});
    updateAndTick(*ctrl);
    b = box();
    EXPECT_DOUBLE_EQ(b.first / b.second, 4.0);
    // YScale limits a tall box; the cells stay square.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_YScale, Variant(0.1f)).ok());
    b = box();
    EXPECT_NEAR(b.second, 0.1, 1e-6);
    EXPECT_NEAR(b.first, 0.4, 1e-6);
    ASSERT_TRUE(ctrl->Invoke(DISPID_SetImageAspect, {Variant(0)}).toBool());
    b = box();
    EXPECT_NEAR(b.first, 1.0, 1e-6);
    EXPECT_NEAR(b.second, 0.1, 1e-6);
    // Not a property: a saved set has no trace of it.
    ASSERT_TRUE(ctrl->Invoke(DISPID_SetImageAspect, {Variant(1)}).toBool());
    TempDir dir;
    QSettings set(QString::fromStdString(dir.file("p.ini")), QSettings::IniFormat);
    ctrl->saveProperties(set);
    for (const QString& key : set.allKeys())
        EXPECT_FALSE(key.contains("Aspect") && key != "FixedAspect") << key.toStdString();
}

// --- Persistence --------------------------------------------------------------

namespace {
QByteArray saveIni(ControlModel& c, const QString& path) {
    {
        QSettings s(path, QSettings::IniFormat);
        s.clear();
        s.beginGroup("Plotrane2D");
        c.saveProperties(s);
        s.endGroup();
    }
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
} // namespace

TEST_F(ControlTest, SavedSetLoadsIntoANewControlAndSavesTheSameBytes) {
    ctrl->SetProperty(DISPID_GraphStyle, Variant(int16_t(3)));
    ctrl->SetProperty(DISPID_CamAzimuth, Variant(30.25f));
    ctrl->SetProperty(DISPID_HiddenLine, Variant(false));
    ctrl->SetProperty(DISPID_XAxisLabel, Variant("Time, s"));
    ctrl->setAxisLabelFont({"Arial", 9.5, false});
    ctrl->setAxisClamp(0, 100, 200);
    ctrl->setPaletteRange(100, 200);
    ctrl->SetProperty(DISPID_BackColor, Variant(uint32_t(0x336699)));

    TempDir dir;
    const QString first = QString::fromStdString(dir.file("first.ini"));
    const QByteArray saved = saveIni(*ctrl, first);
    EXPECT_TRUE(saved.contains("ShowHiddenLine=false")) << saved.constData();
    EXPECT_TRUE(saved.contains("CamAximuth=30.25"));
    EXPECT_FALSE(saved.contains("GLVersion"));
    EXPECT_TRUE(saved.contains("MetaFileStatus="));

    ControlModel other(kWidth, kHeight, 0);
    ASSERT_TRUE(other.SetProperty(DISPID_FileName, Variant(kWave)).ok());
    {
        QSettings s(first, QSettings::IniFormat);
        s.beginGroup("Plotrane2D");
        const DispatchStatus st = other.loadProperties(s);
        ASSERT_TRUE(st.ok()) << st.message;
    }
    EXPECT_DOUBLE_EQ(other.GetProperty(DISPID_XMinClamp).toDouble(), 100.0)
        << "a stored range loads whole, wherever the current one lies";
    EXPECT_DOUBLE_EQ(other.GetProperty(DISPID_PaletteMinVal).toDouble(), 100.0);
    EXPECT_EQ(other.axisLabelFont(), (PlotraneFont{"Arial", 9.5, false}));
    const QByteArray again = saveIni(other, QString::fromStdString(dir.file("second.ini")));
    EXPECT_EQ(again, saved);
}

TEST_F(ControlTest, LoadStopsAtTheFirstRefusedValue) {
    QVariantMap bag;
    ctrl->saveProperties(bag);
    bag.remove("ZBias");        // a set older than ZBias
    bag["DataOffset"] = -1;     // written while no level was current
    bag["LineWidth"] = 100.0;   // refused: 201
    bag["CamElevation"] = 60.0; // after LineWidth: never reached
    bag["GraphStyle"] = 3;      // before LineWidth: loaded
    ControlModel other(kWidth, kHeight, 0);
    const DispatchStatus st = other.loadProperties(bag);
    EXPECT_EQ(st.code, 380);
    EXPECT_EQ(st.message, controlMessage(201));
    EXPECT_EQ(other.GetProperty(DISPID_GraphStyle).toInt(), 3);
    EXPECT_FLOAT_EQ(other.GetProperty(DISPID_CamElevation).toFloat(), 26.0f);
    EXPECT_FLOAT_EQ(other.GetProperty(DISPID_ZBias).toFloat(), 0.0f);

    bag["LineWidth"] = "wide";
    EXPECT_EQ(ControlModel(kWidth, kHeight, 0).loadProperties(bag).code, 13)
        << "text where a number belongs";
}
