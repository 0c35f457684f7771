// Arrays: element access and conversion for every type, ROI and plane
// arithmetic in C and Fortran, shape and position texts, open/save/allocate.
#include "SegmentImage.h"
#include "TempDir.h"

#include "aglArray.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <sys/stat.h>

namespace {

// A writable array of the given C extents and type filled with value(i) = i.
std::unique_ptr<aglArray> makeArray(std::vector<int32_t> extents, int type,
                                    int language = AGL_LANG_C) {
    auto a = std::make_unique<aglArray>();
    a->setLanguage(language);
    int64_t count = 1;
    for (int32_t e : extents)
        count *= e;
    EXPECT_NE(a->allocate(count * agl::typeInfo(type).size), nullptr);
    EXPECT_EQ(a->reshape(int(extents.size()), extents.data(), type), 0);
    return a;
}

} // namespace

TEST(Array, PlaceholderIsAThreeByThreeFloatWithOneInTheCentre) {
    aglArray a;
    EXPECT_TRUE(a.isPlaceholder());
    EXPECT_EQ(a.dimCount(), 2);
    EXPECT_EQ(a.typeCode(), AGL_FLOAT);
    EXPECT_EQ(a.rowDim(), 0);
    EXPECT_EQ(a.colDim(), 0);
    a.setColDim(1);
    double sum = 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            sum += a.value(c, r);
    EXPECT_EQ(sum, 1.0);
    EXPECT_EQ(a.value(1, 1), 1.0);
}

struct TypeCase {
    int type;
    double in;
    double stored;
};
// ctest shows the case by what it holds.
void PrintTo(const TypeCase& c, std::ostream* out) {
    *out << "type " << c.type << " " << c.in;
}

class ArrayConversion : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ArrayConversion, StoresClampedAndReadsBack) {
    const TypeCase& t = GetParam();
    auto a = makeArray({1, 2}, t.type);
    a->setValue(1, 0, t.in);
    if (std::isnan(t.stored))
        EXPECT_TRUE(std::isnan(a->value(1, 0)));
    else
        EXPECT_EQ(a->value(1, 0), t.stored) << agl::typeInfo(t.type).enumerator << " <- " << t.in;
    EXPECT_EQ(a->value(0, 0), 0.0) << "the neighbour is untouched";
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    AllTypes, ArrayConversion,
    ::testing::Values(TypeCase{AGL_UCHAR, -3.7, 0}, TypeCase{AGL_UCHAR, 300.2, 255},
                      TypeCase{AGL_UCHAR, 17.9, 17}, TypeCase{AGL_UCHAR, kNaN, 0},
                      TypeCase{AGL_CHAR, -127.9, -127}, TypeCase{AGL_CHAR, -500, -128},
                      TypeCase{AGL_CHAR, 128, 127}, TypeCase{AGL_USHORT, 3e9, 65535},
                      TypeCase{AGL_USHORT, -1, 0}, TypeCase{AGL_USHORT, 40000.5, 40000},
                      TypeCase{AGL_SHORT, -40000, -32768}, TypeCase{AGL_SHORT, kInf, 32767},
                      TypeCase{AGL_ULONG, 4294967295.0, 4294967295.0},
                      TypeCase{AGL_ULONG, 1e20, 4294967295.0}, TypeCase{AGL_ULONG, kNaN, 0},
                      TypeCase{AGL_LONG, -2147483648.0, -2147483648.0},
                      TypeCase{AGL_LONG, 3e9, 2147483647.0},
                      TypeCase{AGL_LONG, -kInf, -2147483648.0}, TypeCase{AGL_FLOAT, 1e-7, 0.0},
                      TypeCase{AGL_FLOAT, 0.1, double(0.1f)},
                      TypeCase{AGL_FLOAT, 1e39, double(float(agl::kFloatLimit))},
                      TypeCase{AGL_FLOAT, -kInf, double(float(-agl::kFloatLimit))},
                      TypeCase{AGL_FLOAT, kNaN, kNaN}, TypeCase{AGL_DOUBLE, 1e300, 1e300},
                      TypeCase{AGL_DOUBLE, -0.1, -0.1}));

TEST(Array, FreshMatricesPickRowsAndColumnsByLanguage) {
    TempDir dir;
    SegmentImage c;
    c.extents = {2, 3};
    const std::string cPath = dir.write("c.agl", c.header() + std::string(24, '\0'));
    aglArray a;
    ASSERT_TRUE(a.open(cPath, true));
    EXPECT_EQ(a.rowDim(), 0);
    EXPECT_EQ(a.colDim(), 1);
    EXPECT_EQ(a.rowCount(), 2);
    EXPECT_EQ(a.colCount(), 3);

    SegmentImage f = c;
    f.language = 2;
    f.lower = {1, 1};
    const std::string fPath = dir.write("f.agl", f.header() + std::string(24, '\0'));
    aglArray b;
    ASSERT_TRUE(b.open(fPath, true));
    EXPECT_EQ(b.rowDim(), 1);
    EXPECT_EQ(b.colDim(), 0);
}

TEST(Array, OneDimensionalArrayHasOneRow) {
    auto a = makeArray({5}, AGL_SHORT);
    for (int i = 0; i < 5; ++i)
        a->setValue(i, 0, i * 10);
    EXPECT_EQ(a->rowCount(), 1);
    EXPECT_EQ(a->colCount(), 5);
    EXPECT_EQ(a->value(4, 0), 40);
    EXPECT_EQ(a->value(5, 0), 0.0) << "out of range reads 0";
    EXPECT_EQ(a->value(-1, 0), 0.0);
}

TEST(Array, PlaneOfA3DArrayHoldsOtherDimensionsAtTheirRoiLow) {
    // Values encode their C index: 100 * i0 + 10 * i1 + i2.
    auto a = makeArray({3, 4, 5}, AGL_LONG);
    a->setRowDim(0);
    a->setColDim(2);
    for (int i1 = 0; i1 < 4; ++i1) {
        a->setRoi(1, i1, i1);
        for (int i0 = 0; i0 < 3; ++i0)
            for (int i2 = 0; i2 < 5; ++i2)
                a->setValue(i2, i0, 100 * i0 + 10 * i1 + i2);
    }
    a->setRoi(1, 2, 3);
    EXPECT_EQ(a->value(4, 1), 124);
    a->setRowDim(1);
    a->setColDim(0);
    a->setRoi(2, 3, 3);
    EXPECT_EQ(a->value(2, 1), 213) << "column is i0, row is i1, i2 held at 3";
    EXPECT_EQ(a->stride(0), 4 * 5 * 4);
    EXPECT_EQ(a->stride(2), 4);
    // A ROI that starts past 0 in the row and column dims must still
    // address absolute indices.
    a->setRoi(0, 1, 2);
    a->setRoi(1, 2, 3);
    EXPECT_EQ(a->value(2, 3), 233);
    EXPECT_EQ(a->positionText(2, 3), "M[2][3][3]: 233");
}

TEST(Array, RoiAndPlaneRoiClamp) {
    auto a = makeArray({6, 4}, AGL_UCHAR);
    a->setRoi(1, 5, 2);
    int32_t lo, hi;
    a->getRoi(1, lo, hi);
    EXPECT_EQ(lo, 3);
    EXPECT_EQ(hi, 3);
    auto b = makeArray({3, 5}, AGL_UCHAR);
    b->setPlaneRoi(7, -2, 10, 2);
    int32_t c0, r0, nc, nr;
    b->planeRoi(c0, r0, nc, nr);
    EXPECT_EQ(c0, 2) << "column start 7 modulo extent 5";
    EXPECT_EQ(nc, 3) << "cut at the last column";
    EXPECT_EQ(r0, 0);
    EXPECT_EQ(nr, 2);
}

TEST(Array, ShapeAndPositionTextsInBothLanguages) {
    auto c = makeArray({3, 4}, AGL_FLOAT);
    EXPECT_EQ(c->shapeText(), "float M[3][4]");
    auto f = makeArray({3, 4}, AGL_FLOAT, AGL_LANG_FORTRAN);
    f->setLowerBound(0, 0);
    f->setLowerBound(1, 1);
    EXPECT_EQ(f->shapeText(), "real*4 M(4, 0:2)");
    auto g = makeArray({2, 3, 4}, AGL_DOUBLE, AGL_LANG_FORTRAN);
    g->setLowerBound(2, 0);
    EXPECT_EQ(g->shapeText(), "real*8 M(0:3, 3, 2)");
    g->setRowDim(1);
    g->setColDim(2);
    g->setValue(3, 2, 0.5);
    EXPECT_EQ(g->positionText(3, 2), "M(3,3,1): 0.5");
}

TEST(Array, ReshapeKeepsDistinctRowAndColumnDims) {
    aglArray a;
    ASSERT_NE(a.allocate(24), nullptr);
    EXPECT_EQ(a.dimCount(), 1);
    const int32_t e[2] = {2, 3};
    ASSERT_EQ(a.reshape(2, e, AGL_LONG), 0);
    EXPECT_EQ(a.rowDim(), 0);
    EXPECT_EQ(a.colDim(), 1);
    const int32_t bad[2] = {2, 4};
    EXPECT_EQ(a.reshape(2, bad, AGL_LONG), -1);
    EXPECT_EQ(a.takeError(), AGL_E_SIZE);
}

TEST(Array, FailedOpenKeepsThePreviousArray) {
    auto a = makeArray({2, 2}, AGL_DOUBLE);
    a->setValue(1, 1, 7.25);
    EXPECT_FALSE(a->open("/nonexistent/definitely/not/here.agl", true));
    EXPECT_EQ(a->takeError(), AGL_E_OPEN);
    EXPECT_EQ(a->value(1, 1), 7.25);
    EXPECT_EQ(a->allocate(-5), nullptr);
    EXPECT_EQ(a->value(1, 1), 7.25);
}

TEST(Array, ReadOnlyArraysIgnoreWrites) {
    TempDir dir;
    SegmentImage img;
    img.extents = {1, 2};
    const std::string path = dir.write("ro.agl", img.header() + std::string(8, '\0'));
    aglArray a;
    ASSERT_TRUE(a.open(path, true));
    a.setValue(1, 0, 3.0);
    EXPECT_EQ(a.value(1, 0), 0.0);
}

TEST(ArraySave, RoundTripsElementsAndFortranLowerBounds) {
    TempDir dir;
    auto a = makeArray({2, 3}, AGL_SHORT, AGL_LANG_FORTRAN);
    a->setLowerBound(1, -5);
    a->setRowDim(1);
    a->setColDim(0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c)
            a->setValue(c, r, r * 10 + c);
    const std::string path = dir.write("out.agl", std::string(500, 'g')); // stale longer file
    ASSERT_TRUE(a->saveTo(path));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 28 + 12) << "no stale bytes left as a trailer";
    aglArray b;
    ASSERT_TRUE(b.open(path, true));
    EXPECT_EQ(b.lowerBound(1), -5);
    EXPECT_EQ(b.value(1, 2), 21);
    EXPECT_EQ(b.shapeText(), a->shapeText());
}

TEST(ArraySave, SavingOntoItsOwnFileWritesNothing) {
    TempDir dir;
    SegmentImage img;
    img.extents = {2};
    const std::string path = dir.write("Wave.agl", img.header() + std::string(8, '\x01') + "TAIL");
    aglArray a;
    ASSERT_TRUE(a.open(path, true));
    EXPECT_TRUE(a.saveTo(path));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 20 + 8 + 4) << "the trailer survives";

    // A different file whose name differs only in case is a different file.
    const std::string other = dir.file("wave.agl");
    EXPECT_TRUE(a.saveTo(other));
    ASSERT_EQ(stat(other.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 20 + 8);
}

TEST(Array, ReadRowMatchesValueIncludingOutsideColumns) {
    auto a = makeArray({3, 4, 5}, AGL_USHORT);
    a->setRowDim(2);
    a->setColDim(0); // a strided column dimension
    a->setRoi(1, 2, 2);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            a->setValue(c, r, 1000 + 10 * r + c);
    std::vector<double> row(7, -1.0);
    for (int r = 0; r < 5; ++r) {
        a->readRow(r, -2, 7, row.data());
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(row[size_t(i)], a->value(i - 2, r)) << r << "," << i;
    }
    a->readRow(9, 0, 3, row.data());
    EXPECT_EQ(row[0], 0.0) << "a row outside the array reads zeros";
}
