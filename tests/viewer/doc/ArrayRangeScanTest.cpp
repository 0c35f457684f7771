// The whole array's range for the palette held while playing: the scan over
// every element type (values that are not numbers left out), and the worker
// thread that runs it (its report, cancelling, a new scan replacing one
// under way, the owner going first).
#include "ArrayRangeScan.h"
#include "HdfObjects.h"

#include "QtTestApp.h"
#include "TempDir.h"
#include "WaitFor.h"

#include "aglSegment.h"
#include "aglTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

template <typename T> bool scanOf(const std::vector<T>& v, double& lo, double& hi, bool& found) {
    std::atomic<bool> cancel{false};
    int type = AGL_UCHAR;
    if constexpr (std::is_same_v<T, float>) type = AGL_FLOAT;
    if constexpr (std::is_same_v<T, double>) type = AGL_DOUBLE;
    if constexpr (std::is_same_v<T, int8_t>) type = AGL_CHAR;
    if constexpr (std::is_same_v<T, int16_t>) type = AGL_SHORT;
    if constexpr (std::is_same_v<T, uint16_t>) type = AGL_USHORT;
    if constexpr (std::is_same_v<T, int32_t>) type = AGL_LONG;
    if constexpr (std::is_same_v<T, uint32_t>) type = AGL_ULONG;
    return ArrayRangeScan::scan(v.data(), int64_t(v.size()), type, cancel, lo, hi, found);
}

// A C float file of count elements, element i = f(i).
void writeFloats(const std::string& path, int32_t count, float (*f)(int64_t)) {
    aglSegment seg;
    ASSERT_TRUE(seg.create(path.c_str(), 1, &count, AGL_FLOAT, AGL_LANG_C, true));
    for (int64_t i = 0; i < count; ++i) {
        const float v = f(i);
        std::memcpy(static_cast<uint8_t*>(seg.elements()) + i * 4, &v, 4);
    }
}

struct Report {
    int count = 0;
    QString name;
    bool found = false;
    double minimum = 0, maximum = 0;
};

void listen(ArrayRangeScan& scan, Report& r) {
    QObject::connect(&scan, &ArrayRangeScan::finished,
                     [&r](const QString& name, bool found, double lo, double hi) {
                         ++r.count;
                         r.name = name;
                         r.found = found;
                         r.minimum = lo;
                         r.maximum = hi;
                     });
}

class RangeScanTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }
    TempDir dir;
};

} // namespace

TEST(RangeOfElements, NotANumberAndInfinitiesAreLeftOut) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    double lo = 0, hi = 0;
    bool found = false;
    ASSERT_TRUE(scanOf(std::vector<float>{nan, 3.5f, -inf, -2.25f, inf, 7.0f, nan}, lo, hi, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(lo, -2.25);
    EXPECT_EQ(hi, 7.0);
    ASSERT_TRUE(scanOf(std::vector<float>{nan, nan}, lo, hi, found));
    EXPECT_FALSE(found);
}

TEST(RangeOfElements, EveryIntegerTypeKeepsItsSign) {
    double lo = 0, hi = 0;
    bool found = false;
    ASSERT_TRUE(scanOf(std::vector<uint8_t>{7, 255, 0, 3}, lo, hi, found));
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 255.0);
    ASSERT_TRUE(scanOf(std::vector<int8_t>{-128, 5, 127}, lo, hi, found));
    EXPECT_EQ(lo, -128.0);
    EXPECT_EQ(hi, 127.0);
    ASSERT_TRUE(scanOf(std::vector<int16_t>{-300, 200}, lo, hi, found));
    EXPECT_EQ(lo, -300.0);
    ASSERT_TRUE(scanOf(std::vector<uint16_t>{65535, 1}, lo, hi, found));
    EXPECT_EQ(hi, 65535.0);
    ASSERT_TRUE(scanOf(std::vector<int32_t>{-5, -70000, 3}, lo, hi, found));
    EXPECT_EQ(lo, -70000.0);
    ASSERT_TRUE(scanOf(std::vector<uint32_t>{4000000000u, 2}, lo, hi, found));
    EXPECT_EQ(hi, 4000000000.0);
    ASSERT_TRUE(scanOf(std::vector<double>{1e300, -1e-300}, lo, hi, found));
    EXPECT_EQ(lo, -1e-300);
    EXPECT_EQ(hi, 1e300);
    // One element: both ends.
    ASSERT_TRUE(scanOf(std::vector<int32_t>{42}, lo, hi, found));
    EXPECT_EQ(lo, 42.0);
    EXPECT_EQ(hi, 42.0);
}

TEST(RangeOfElements, ACancelledScanSaysSo) {
    std::vector<float> v(200000, 1.0f);
    std::atomic<bool> cancel{true};
    double lo = 0, hi = 0;
    bool found = true;
    EXPECT_FALSE(
        ArrayRangeScan::scan(v.data(), int64_t(v.size()), AGL_FLOAT, cancel, lo, hi, found));
    EXPECT_FALSE(found);
}

TEST_F(RangeScanTest, TheWholeArraysRangeIsReportedOnTheOwnersThread) {
    const std::string path = dir.file("ramp.agl");
    writeFloats(path, 100000, [](int64_t i) { return float(i % 1000) - 250.0f; });
    ArrayRangeScan scan;
    Report r;
    listen(scan, r);
    scan.start(path);
    EXPECT_TRUE(scan.isRunning());
    ASSERT_TRUE(waitFor([&] { return r.count > 0; }));
    EXPECT_FALSE(scan.isRunning());
    EXPECT_EQ(r.name.toStdString(), path);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.minimum, -250.0);
    EXPECT_EQ(r.maximum, 749.0);
}

TEST_F(RangeScanTest, ANameThatOpensNothingReportsNoRange) {
    ArrayRangeScan scan;
    Report r;
    listen(scan, r);
    scan.start(dir.file("missing.agl"));
    ASSERT_TRUE(waitFor([&] { return r.count > 0; }));
    EXPECT_FALSE(r.found);
}

TEST_F(RangeScanTest, ACancelledOrReplacedScanNeverReports) {
    const std::string a = dir.file("a.agl"), b = dir.file("b.agl");
    writeFloats(a, 1 << 20, [](int64_t i) { return float(i); });
    writeFloats(b, 1000, [](int64_t i) { return -float(i); });
    ArrayRangeScan scan;
    Report r;
    listen(scan, r);
    scan.start(a);
    scan.cancel();
    EXPECT_FALSE(scan.isRunning());
    settle();
    EXPECT_EQ(r.count, 0);
    // A new scan replaces the one under way: only the new one reports.
    scan.start(a);
    scan.start(b);
    ASSERT_TRUE(waitFor([&] { return r.count > 0; }));
    settle();
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.name.toStdString(), b);
    EXPECT_EQ(r.minimum, -999.0);
}

TEST_F(RangeScanTest, TheOwnerMayGoWhileTheScanRuns) {
    const std::string path = dir.file("big.agl");
    writeFloats(path, 1 << 22, [](int64_t i) { return float(i & 255); });
    for (int k = 0; k < 3; ++k) {
        auto scan = std::make_unique<ArrayRangeScan>();
        scan->start(path);
        scan.reset();
        settle();
    }
}

// The range of a data set read plane by plane comes from an HDF helper; one
// that hangs is ended by cancel (and by the scan's owner going), and the
// scan never reports.
TEST_F(RangeScanTest, CancellingADataSetsRangeEndsItsHelper) {
    const std::string mark = dir.file("pid");
    const std::string script = dir.file("hang.sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\necho $$ > '" << mark << ".new'\nmv '" << mark << ".new' '" << mark
            << "'\nexec sleep 600\n";
    }
    ::chmod(script.c_str(), 0755);
    CHdfSds sds;
    sds.filePath = dir.file("cube.h5");
    sds.location = "/cube";
    sds.typeCode = AGL_FLOAT;
    sds.rank = 3;
    sds.extents = {4, 5, 6};
    auto helperPid = [&] {
        std::ifstream in(mark);
        long pid = 0;
        in >> pid;
        return pid_t(pid);
    };
    auto gone = [](pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        if (!std::getline(stat, text)) return true;
        return text.compare(text.rfind(')') + 2, 1, "Z") == 0;
    };
    for (const bool byOwner : {false, true}) {
        SCOPED_TRACE(byOwner);
        std::remove(mark.c_str());
        auto scan = std::make_unique<ArrayRangeScan>();
        Report r;
        listen(*scan, r);
        scan->startDataSet("cube", script, sds, 600000);
        EXPECT_TRUE(scan->isRunning());
        ASSERT_TRUE(waitFor([&] { return helperPid() > 0; }));
        const pid_t pid = helperPid();
        if (byOwner) {
            scan.reset();
        } else {
            scan->cancel();
            EXPECT_FALSE(scan->isRunning());
        }
        // The helper was killed and reaped before cancel returned.
        EXPECT_TRUE(gone(pid));
        settle();
        EXPECT_EQ(r.count, 0);
    }
}
