// The palette: built-in ramps, value lookups at the edges of the range, and
// custom palette segments that are missing, short, of the wrong type or
// swapped while shown. Built with the sanitizers too: a table that points
// into a released segment is reported as a use after free.
#include "ControlTestData.h"
#include "TempDir.h"
#include "aglPalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

std::array<int, 3> entry(const aglPalette& p, int i) {
    const uint8_t* e = p.Table() + 4 * i;
    return {e[0], e[1], e[2]};
}

std::array<int, 3> colour(const aglPalette& p, double height) {
    uint8_t rgb[3];
    p.ColourOf(height, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

// A palette segment of `count` elements of `type` in shared memory; element
// i of a byte palette is i x factor + add (mod 256).
std::unique_ptr<aglSegment> paletteSegment(int type, int32_t count, int factor, int add) {
    return testdata::makeShared(type, 1, count, [&](int, int c) {
        return type == AGL_UCHAR ? double((c * factor + add) & 255) : double(c);
    });
}

// Counts the table switches and checks, at the end of each, that the table
// already points where it will stay.
class WatchedPalette : public aglPalette {
public:
    int locks = 0, unlocks = 0;
    int changes = 0;
    const uint8_t* tableAtUnlock = nullptr;

protected:
    void LockTable() override { ++locks; }
    void UnlockTable() override {
        ++unlocks;
        tableAtUnlock = Table();
    }
    void PaletteChanged() override { ++changes; }
};

} // namespace

TEST(BuiltInRamps, EndsAndMiddleOfEachRamp) {
    aglPalette p;
    EXPECT_EQ(p.PaletteId(), 4);
    using C = std::array<int, 3>;
    struct Case {
        int id, i;
        C rgb;
    };
    const Case cases[] = {
        {1, 0, {0, 0, 0}},       {1, 128, {128, 128, 128}}, {1, 255, {255, 255, 255}},
        {2, 0, {0, 0, 0}},       {2, 128, {120, 120, 120}}, {2, 255, {222, 222, 222}},
        {3, 0, {255, 255, 255}}, {3, 128, {127, 127, 127}}, {3, 255, {0, 0, 0}},
        {4, 0, {0, 0, 255}},     {4, 64, {0, 43, 126}},     {4, 192, {255, 251, 0}},
        {4, 255, {255, 0, 0}},   {6, 0, {255, 0, 0}},       {6, 255, {0, 0, 255}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(p.SetPaletteId(c.id));
        const C got = entry(p, c.i);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(got[k], c.rgb[k], 1) << "id " << c.id << " entry " << c.i;
    }
    // Every ramp is opaque; the banded ramps stay within a band's reach of
    // their plain ramp.
    for (int id = 1; id <= 6; ++id) {
        p.SetPaletteId(id);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(p.Table()[4 * i + 3], 255) << id;
    }
    uint8_t plain[1024], banded[1024];
    aglPalette::BuildTable(4, plain);
    aglPalette::BuildTable(5, banded);
    for (int i = 0; i < 1024; ++i)
        if (i % 4 != 3) {
            ASSERT_LE(std::abs(plain[i] - banded[i]), 52) << i;
        }
}

TEST(BuiltInRamps, OutOfRangeIdsChangeNothing) {
    aglPalette p;
    p.SetPaletteId(1);
    EXPECT_FALSE(p.SetPaletteId(7));
    EXPECT_FALSE(p.SetPaletteId(-1));
    EXPECT_EQ(p.PaletteId(), 1);
    // Custom without a custom palette: the table stays.
    EXPECT_TRUE(p.SetPaletteId(0));
    EXPECT_EQ(p.PaletteId(), 1);
    EXPECT_EQ(entry(p, 255), (std::array<int, 3>{255, 255, 255}));
}

TEST(ValueLookup, EdgesMiddleAndNaN) {
    aglPalette p;
    p.SetPaletteId(1);
    ASSERT_TRUE(p.SetRange(-2.0, 2.0));
    EXPECT_EQ(p.EntryOf(-2.0), 0);
    EXPECT_EQ(p.EntryOf(-100.0), 0);
    EXPECT_EQ(p.EntryOf(2.0), 255);
    EXPECT_EQ(p.EntryOf(1e30), 255);
    EXPECT_EQ(p.EntryOf(0.0), 128);
    EXPECT_EQ(p.EntryOf(INFINITY), 255);
    EXPECT_EQ(p.EntryOf(-INFINITY), 0);
    // NaN used to index far outside the table: it takes entry 0.
    EXPECT_EQ(p.EntryOf(std::nan("")), 0);
    EXPECT_EQ(colour(p, std::nan("")), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(p.TexCoordOf(std::nan("")), 0.0f);
    EXPECT_EQ(p.TexCoordOf(-2.0), 0.0f);
    EXPECT_EQ(p.TexCoordOf(2.0), 1.0f);
    EXPECT_FLOAT_EQ(p.TexCoordOf(1.0), 0.75f);
    EXPECT_EQ(p.ValueOfEntry(-1), -2.0f);
    EXPECT_EQ(p.ValueOfEntry(256), 2.0f);
    EXPECT_EQ(p.ValueOfEntry(128), 0.0f);

    // Heights map to values first: the box height 0..0.8 shows -2..2.
    p.SetValueMapping(5.0, -2.0);
    EXPECT_EQ(p.EntryOf(0.0), 0);
    EXPECT_EQ(p.EntryOf(0.4), 128);
    EXPECT_EQ(p.EntryOf(0.8), 255);

    // A range of zero width divides by nothing.
    p.SetValueMapping(1.0, 0.0);
    ASSERT_TRUE(p.SetRange(1.0, 1.0));
    EXPECT_EQ(p.EntryOf(0.5), 0);
    EXPECT_EQ(p.EntryOf(1.5), 255);
    EXPECT_EQ(p.TexCoordOf(1.0), 0.0f);
}

TEST(ValueLookup, ZeroAndNonFiniteScalesFallBackToOne) {
    aglPalette p;
    p.SetRange(0.0, 1.0);
    for (double bad : {0.0, std::nan(""), double(INFINITY)}) {
        p.SetValueMapping(bad, std::nan(""));
        EXPECT_EQ(p.ValueScale(), 1.0);
        EXPECT_EQ(p.ValueOffset(), 0.0);
        EXPECT_EQ(p.EntryOf(0.5), 128);
    }
    // A small scale is a mapping like any other (a narrow range drawn tall).
    p.SetValueMapping(1e-9, 0.0);
    EXPECT_EQ(p.ValueScale(), 1e-9);
    EXPECT_EQ(p.EntryOf(0.5e9), 128);
}

TEST(Range, InvertedNonFiniteAndExtremeRanges) {
    aglPalette p;
    ASSERT_TRUE(p.SetRange(-1.0, 3.0));
    EXPECT_FALSE(p.SetRange(5.0, 1.0));
    EXPECT_FALSE(p.SetRange(std::nan(""), 1.0));
    EXPECT_EQ(p.Minimum(), -1.0f);
    EXPECT_EQ(p.Maximum(), 3.0f);
    ASSERT_TRUE(p.SetRange(-1e300, 1e300));
    EXPECT_TRUE(std::isfinite(p.Minimum()) && std::isfinite(p.Maximum()));
    EXPECT_EQ(p.EntryOf(0.0), 128);
    ASSERT_TRUE(p.SetRange(1e-7, 2e-7)); // below 9.5e-7: both become 0
    EXPECT_EQ(p.Minimum(), 0.0f);
    EXPECT_EQ(p.Maximum(), 0.0f);
}

TEST(LineColours, TenFixedColoursForAnyIndex) {
    uint8_t rgb[3];
    aglPalette::LineColour(6, rgb);
    EXPECT_EQ((std::array<int, 3>{rgb[0], rgb[1], rgb[2]}), (std::array<int, 3>{255, 178, 0}));
    aglPalette::LineColour(-13, rgb);
    EXPECT_EQ((std::array<int, 3>{rgb[0], rgb[1], rgb[2]}), (std::array<int, 3>{0, 255, 255}));
    aglPalette::LineColour(INT_MIN, rgb); // |INT_MIN| overflows an int
    aglPalette::LineColour(20, rgb);
    EXPECT_EQ((std::array<int, 3>{rgb[0], rgb[1], rgb[2]}), (std::array<int, 3>{0, 0, 255}));
}

TEST(CustomPalette, ShippedPalettesLoadByFileName) {
    struct Shipped {
        const char* file;
        std::array<int, 3> first, last;
    };
    const Shipped shipped[] = {
        {"viridis.agl", {68, 1, 84}, {253, 231, 37}},
        {"magma.agl", {0, 0, 4}, {252, 253, 191}},
        {"cividis.agl", {0, 34, 78}, {254, 232, 56}},
        {"bluewhitered.agl", {5, 48, 97}, {103, 0, 31}},
    };
    for (const Shipped& s : shipped) {
        aglPalette p;
        const std::string path = std::string(TAVRIX_SOURCE_DIR) + "/examples/palettes/" + s.file;
        ASSERT_TRUE(p.LoadCustomPalette(path)) << path;
        ASSERT_TRUE(p.SetPaletteId(0));
        EXPECT_EQ(p.PaletteId(), 0);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(entry(p, 0)[k], s.first[k], 1) << s.file;
            EXPECT_NEAR(entry(p, 255)[k], s.last[k], 1) << s.file;
        }
    }
    // The diverging map is white-ish in the middle.
    aglPalette p;
    ASSERT_TRUE(p.LoadCustomPalette(std::string(TAVRIX_SOURCE_DIR) +
                                    "/examples/palettes/bluewhitered.agl"));
    p.SetPaletteId(0);
    for (int k = 0; k < 3; ++k)
        EXPECT_GE(entry(p, 128)[k], 240);
}

TEST(CustomPalette, BadSegmentsAreRefusedAndThePreviousOneStays) {
    TempDir dir;
    aglPalette p;
    auto good = paletteSegment(AGL_UCHAR, 1024, 1, 0);
    ASSERT_TRUE(good);
    ASSERT_TRUE(p.LoadCustomPalette(good->name()));
    p.SetPaletteId(0);
    const std::array<int, 3> before = entry(p, 10);

    auto shortOne = paletteSegment(AGL_UCHAR, 1020, 1, 0);
    auto floats = paletteSegment(AGL_FLOAT, 256, 1, 0); // 1024 bytes, wrong type
    auto shorts = paletteSegment(AGL_USHORT, 512, 1, 0);
    ASSERT_TRUE(shortOne && floats && shorts);
    EXPECT_FALSE(p.LoadCustomPalette(""));
    EXPECT_FALSE(p.LoadCustomPalette(dir.file("missing.agl")));
    EXPECT_FALSE(p.LoadCustomPalette(shortOne->name()));
    EXPECT_FALSE(p.LoadCustomPalette(floats->name()));
    EXPECT_FALSE(p.LoadCustomPalette(shorts->name()));
    EXPECT_FALSE(p.LoadCustomPalette(dir.write("garbage.agl", std::string(1044, '\x7f'))));
    EXPECT_FALSE(p.LoadCustomPalette(
        dir.write("truncated.agl", std::string("\x13\x09\x16\x01\x01\x00\x01", 7))));
    EXPECT_EQ(p.PaletteId(), 0);
    EXPECT_EQ(entry(p, 10), before);
}

TEST(CustomPalette, LoadingAnotherWhileShownSwitchesBeforeTheOldIsReleased) {
    auto first = paletteSegment(AGL_UCHAR, 1024, 1, 0);
    auto second = paletteSegment(AGL_UCHAR, 1024, 1, 7);
    ASSERT_TRUE(first && second);
    WatchedPalette p;
    ASSERT_TRUE(p.LoadCustomPalette(first->name()));
    ASSERT_TRUE(p.SetPaletteId(0));
    EXPECT_EQ(entry(p, 0), (std::array<int, 3>{0, 1, 2}));
    const int locksBefore = p.locks;
    // PaletteId is already 0: writing 0 again would change nothing, so the
    // load itself must move the table to the new segment.
    ASSERT_TRUE(p.LoadCustomPalette(second->name()));
    EXPECT_EQ(p.locks, locksBefore + 1);
    EXPECT_EQ(p.unlocks, p.locks);
    EXPECT_EQ(p.tableAtUnlock, p.Table());
    first.reset(); // the test's own handle on the first block goes too
    EXPECT_EQ(entry(p, 0), (std::array<int, 3>{7, 8, 9}));
    EXPECT_EQ(entry(p, 255)[0], (1020 + 7) & 255);
    // Back to a built-in ramp and to the custom one again.
    p.SetPaletteId(1);
    EXPECT_EQ(entry(p, 0), (std::array<int, 3>{0, 0, 0}));
    p.SetPaletteId(0);
    EXPECT_EQ(entry(p, 0), (std::array<int, 3>{7, 8, 9}));
    EXPECT_GT(p.changes, 0);
}

namespace {
std::vector<std::string> barTexts(const aglPalette& p, int kind) {
    std::vector<std::string> t;
    for (const aglPalette::BarLabel& b : p.MakeLabels(kind))
        t.push_back(b.text);
    return t;
}
} // namespace

TEST(BarLabels, RoundValuesInsideTheRangeAtTheirPlaces) {
    aglPalette p;
    // Integer data of 236..1076: hundreds, not 236, 341, 446 ...
    p.SetRange(236, 1076);
    EXPECT_EQ(barTexts(p, 1),
              (std::vector<std::string>{"300", "400", "500", "600", "700", "800", "900", "1000"}));
    const std::vector<aglPalette::BarLabel> labels = p.MakeLabels(1);
    EXPECT_NEAR(labels.front().fraction, (300.0 - 236.0) / 840.0, 1e-6);
    EXPECT_NEAR(labels.back().fraction, (1000.0 - 236.0) / 840.0, 1e-6);
    // Floating data: a 2.5 step where it fits, printed with the digits it needs.
    p.SetRange(-1.0, 1.5);
    EXPECT_EQ(barTexts(p, 2),
              (std::vector<std::string>{"-1.0", "-0.5", "0.0", "0.5", "1.0", "1.5"}));
    p.SetRange(0.0, 1.0);
    EXPECT_EQ(barTexts(p, 2), (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));
    // Large and tiny ranges in exponent form, each label distinct.
    p.SetRange(0, 2e7);
    std::vector<std::string> t = barTexts(p, 2);
    ASSERT_GE(t.size(), 2u);
    EXPECT_NE(t[0].find('e'), std::string::npos) << t[0];
    EXPECT_EQ(std::unique(t.begin(), t.end()), t.end());
    p.SetRange(0, 2e-6);
    t = barTexts(p, 2);
    ASSERT_GE(t.size(), 2u);
    EXPECT_NE(t.back().find('e'), std::string::npos) << t.back();
    EXPECT_EQ(std::unique(t.begin(), t.end()), t.end());
    // Never more than nine, never fewer than two, fractions inside the bar
    // and rising.
    for (const auto& r :
         {std::pair<double, double>{0, 255}, {-5000, 20000}, {3, 4}, {0.1, 0.1001}}) {
        p.SetRange(r.first, r.second);
        for (int kind : {1, 2}) {
            const auto l = p.MakeLabels(kind);
            ASSERT_GE(l.size(), 2u);
            ASSERT_LE(l.size(), size_t(aglPalette::kLabelCount));
            for (size_t k = 0; k < l.size(); ++k) {
                EXPECT_GE(l[k].fraction, 0.0);
                EXPECT_LE(l[k].fraction, 1.0);
                if (k > 0) {
                    EXPECT_GT(l[k].fraction, l[k - 1].fraction);
                }
            }
        }
    }
}

// A short bar asks for fewer labels: still round values, never more than
// asked, and at least two.
TEST(BarLabels, AShortBarGetsFewerRoundLabels) {
    aglPalette p;
    p.SetRange(236, 1076);
    for (int most = 2; most <= aglPalette::kLabelCount; ++most) {
        const auto l = p.MakeLabels(1, most);
        ASSERT_GE(l.size(), 2u) << most;
        EXPECT_LE(l.size(), size_t(most));
        for (const auto& b : l)
            EXPECT_EQ(std::stoi(b.text) % 100, 0) << b.text;
    }
    EXPECT_EQ(p.MakeLabels(1, 3).size(), 2u); // 500 and 1000
    EXPECT_EQ(p.MakeLabels(1, 0).size(), p.MakeLabels(1, 2).size());
}

TEST(BarStrip, WidthByControlSizeAndLabels) {
    EXPECT_EQ(aglPalette::StripFor(800, 600, true, true, 1).right -
                  aglPalette::StripFor(800, 600, true, true, 1).left,
              120);
    EXPECT_EQ(aglPalette::StripFor(300, 200, true, true, 1).graphWidth, 200);
    EXPECT_EQ(aglPalette::StripFor(120, 200, true, false, 1).graphWidth, 100);
    EXPECT_EQ(aglPalette::StripFor(90, 200, true, false, 1).graphWidth, 75);
    EXPECT_EQ(aglPalette::StripFor(400, 200, true, false, 1).graphWidth, 350);
    EXPECT_EQ(aglPalette::StripFor(400, 200, true, false, 0).graphWidth, 0);
    EXPECT_EQ(aglPalette::StripFor(400, 200, false, true, 1).graphWidth, 400);
    const aglPalette::Strip s = aglPalette::StripFor(400, 205, true, true, 1);
    EXPECT_EQ(s.bottom, 20);
    EXPECT_EQ(s.top, 185);
}
