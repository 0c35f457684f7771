// The control's property table: rows in step with the dispatch numbers,
// names and persistence keys that find their rows, the value rules at their
// edges, and the order of a saved property set.
#include "plotrane/PropertyTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <set>
#include <string>

using namespace plotrane;

TEST(PropertyTable, EveryRowIsFoundByItsNameAndKeysAreUnique) {
    std::set<std::string> keys;
    for (const PropertyInfo& p : kProperties) {
        const PropertyInfo* found = findProperty(p.name);
        ASSERT_NE(found, nullptr) << p.name;
        EXPECT_EQ(found->dispid, p.dispid) << p.name << " has a namesake";
        EXPECT_EQ(propertyInfo(p.dispid), &p);
        if (p.persistKey) {
            EXPECT_TRUE(keys.insert(p.persistKey).second) << p.persistKey;
        }
    }
    EXPECT_EQ(propertyInfo(DISPID_GetFrameRate), nullptr);
    EXPECT_EQ(propertyInfo(0), nullptr);
    EXPECT_EQ(anyPropertyInfo(DISPID_BackColor)->name, std::string("BackColor"));
    EXPECT_EQ(findProperty("graphstyle"), nullptr) << "names are exact";
    EXPECT_STREQ(findProperty("HiddenLine")->persistKey, "ShowHiddenLine");
    EXPECT_STREQ(findProperty("CamAzimuth")->persistKey, "CamAximuth");
}

TEST(PropertyTable, SavedSetIsTheTableOrderWithMinimumClampsFirst) {
    std::set<int> seen;
    int xMin = -1, xMax = -1, yMin = -1, yMax = -1, zMin = -1, zMax = -1;
    for (int i = 0; i < kPropertyCount; ++i) {
        const int d = persistedDispid(i);
        EXPECT_TRUE(seen.insert(d).second) << "dispid " << d << " twice";
        if (d == DISPID_XMinClamp) xMin = i;
        if (d == DISPID_XMaxClamp) xMax = i;
        if (d == DISPID_YMinClamp) yMin = i;
        if (d == DISPID_YMaxClamp) yMax = i;
        if (d == DISPID_ZMinClamp) zMin = i;
        if (d == DISPID_ZMaxClamp) zMax = i;
        if (d < DISPID_XMaxClamp || d > DISPID_YMinClamp) {
            EXPECT_EQ(d, i + 1);
        }
    }
    EXPECT_EQ(int(seen.size()), kPropertyCount);
    EXPECT_LT(xMin, xMax);
    EXPECT_LT(yMin, yMax);
    EXPECT_LT(zMin, zMax);
    EXPECT_LT(xMax, yMin) << "the X pair stays before the Y pair";
}

struct RuleCase {
    const char* name;
    double value;
    int messageId; // 0: passes
    bool applies;
};
// ctest shows the case by what it holds.
void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << c.name << " " << c.value;
}

class PropertyRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(PropertyRule, ChecksTheValueAtItsEdges) {
    const RuleCase& c = GetParam();
    const PropertyInfo* p = findProperty(c.name);
    ASSERT_NE(p, nullptr);
    const CheckResult r = checkValue(*p, c.value);
    EXPECT_EQ(r.messageId, c.messageId) << c.name << " = " << c.value;
    EXPECT_EQ(r.applies, c.applies) << c.name << " = " << c.value;
    if (r.messageId) {
        EXPECT_STRNE(controlMessage(r.messageId), "");
    }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Edges, PropertyRule,
    ::testing::Values(
        RuleCase{"LineWidth", 100.0, 201, false}, RuleCase{"LineWidth", 99.5, 0, true},
        RuleCase{"LineWidth", 0.0, 201, false}, RuleCase{"LineWidth", kInf, 201, false},
        RuleCase{"BarChartArea", 1.0, 0, true}, RuleCase{"BarChartArea", 0.0, 203, false},
        RuleCase{"GridDensity", 100.0, 202, false}, RuleCase{"DataElementSize", 3, 224, false},
        RuleCase{"DataElementSize", 4, 0, true}, RuleCase{"DataElementSize", 8, 0, true},
        RuleCase{"AxisStyle", 0, 0, false}, RuleCase{"AxisStyle", 22, 0, false},
        RuleCase{"AxisStyle", 21, 0, true}, RuleCase{"GraphStyle", 5, 206, false},
        RuleCase{"GraphStyle", -1, 206, false}, RuleCase{"GraphType", 3, 0, true},
        RuleCase{"GraphType", 4, 57346, false}, RuleCase{"CamViewType", 4, 57351, false},
        RuleCase{"ImageOrientation", 4, 57352, false}, RuleCase{"PaletteId", 7, 57349, false},
        RuleCase{"ViewerMode", 3, 57348, false}, RuleCase{"PointSize", 100, 57347, false},
        RuleCase{"Resolution", 0, 211, false}, RuleCase{"Resolution", 1, 0, true},
        RuleCase{"RowStart", -1, 222, false}, RuleCase{"NumRows", 0, 223, false},
        RuleCase{"DataOffset", -1, 222, false}, RuleCase{"CamXCoi", kNaN, kMsgNotFinite, false},
        RuleCase{"ZMinClamp", -kInf, kMsgNotFinite, false}, RuleCase{"CamAzimuth", -1e30, 0, true},
        RuleCase{"CamAzimuth", 1e39, kMsgNotFinite, false},
        RuleCase{"LineWidth", -1e300, 201, false}, RuleCase{"ZMaxClamp", 1e300, 0, true}));

TEST(PropertyTable, MessagesAreTheStringTable) {
    EXPECT_STREQ(controlMessage(201), "LineWidth must be a  number in the range (0, 100)");
    EXPECT_STREQ(controlMessage(57352), "Invalide Image Orientation value");
    EXPECT_STREQ(controlMessage(12345), "");
}
