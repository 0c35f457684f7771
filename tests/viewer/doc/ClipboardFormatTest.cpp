// The clipboard's forms: "AGL DATA" written and read back exactly for every
// element type, foreign blocks checked before a byte is trusted, the text
// grown as it is written, and the block copied bit for bit from any plane.
#include "ClipboardFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

namespace {

std::unique_ptr<aglArray> makeBlock(int32_t rows, int32_t columns, int type,
                                    const std::vector<double>& values) {
    auto a = std::make_unique<aglArray>();
    const int32_t ext[2] = {rows, columns};
    if (!a->allocate(int64_t(rows) * columns * agl::typeInfo(type).size)) return nullptr;
    if (a->reshape(2, ext, type) != 0) return nullptr;
    a->setRowDim(0);
    a->setColDim(1);
    // Stored bit for bit (setValue would clamp tiny floats).
    auto* p = static_cast<uint8_t*>(a->mutableData());
    for (size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        switch (type) {
        case AGL_FLOAT: {
            const float f = float(v);
            std::memcpy(p + i * 4, &f, 4);
            break;
        }
        case AGL_DOUBLE:
            std::memcpy(p + i * 8, &v, 8);
            break;
        default:
            a->setValue(int64_t(i) % columns, int64_t(i) / columns, v);
        }
    }
    return a;
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, 8) == 0;
}

// ---- Round trip of every element type ------------------------------------

struct TypeCase {
    int type;
    std::vector<double> values; // 2 x 3, extremes of the type included
};
// ctest shows the case by what it holds.
void PrintTo(const TypeCase& c, std::ostream* out) {
    *out << "type " << c.type;
}

class AglDataRoundTrip : public ::testing::TestWithParam<TypeCase> {};

TEST_P(AglDataRoundTrip, EveryValueComesBackBitForBit) {
    const TypeCase& t = GetParam();
    auto block = makeBlock(2, 3, t.type, t.values);
    ASSERT_TRUE(block);
    std::string bytes;
    ASSERT_TRUE(encodeAglData(*block, {0, 0, 2, 3}, bytes));
    ASSERT_EQ(bytes.size(), 8u + 48u);

    FormatError error;
    auto pasted = readAglData(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), error);
    ASSERT_TRUE(pasted) << error.detail;
    EXPECT_EQ(pasted->typeCode(), AGL_DOUBLE);
    EXPECT_EQ(pasted->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(pasted->rowCount(), 2);
    EXPECT_EQ(pasted->colCount(), 3);
    EXPECT_EQ(pasted->lowerBound(0), 1);
    EXPECT_EQ(pasted->lowerBound(1), 1);
    for (int64_t i = 0; i < 6; ++i) {
        // What the element holds, widened exactly.
        const double expected = block->value(i % 3, i / 3);
        EXPECT_TRUE(sameBits(pasted->value(i % 3, i / 3), expected) ||
                    (std::isnan(expected) && std::isnan(pasted->value(i % 3, i / 3))))
            << "element " << i << ": " << pasted->value(i % 3, i / 3) << " vs " << expected;
    }
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Types, AglDataRoundTrip,
    ::testing::Values(
        TypeCase{AGL_UCHAR, {0, 1, 127, 128, 254, 255}},
        TypeCase{AGL_CHAR, {-128, -1, 0, 1, 126, 127}},
        TypeCase{AGL_USHORT, {0, 1, 32768, 65534, 65535, 12345}},
        TypeCase{AGL_SHORT, {-32768, -1, 0, 1, 32766, 32767}},
        TypeCase{AGL_ULONG, {0, 1, 2147483648.0, 4294967294.0, 4294967295.0, 7}},
        TypeCase{AGL_LONG, {-2147483648.0, -1, 0, 1, 2147483646.0, 2147483647.0}},
        TypeCase{AGL_FLOAT,
                 {3.4028234663852886e38, -3.4028234663852886e38, 1e-45, kNaN, kInf, -kInf}},
        TypeCase{AGL_DOUBLE,
                 {1.7976931348623157e308, -1.7976931348623157e308, 4.9e-324, kNaN, -kInf, 0.1}}));

// ---- Foreign blocks --------------------------------------------------------

struct ForeignCase {
    const char* name;
    int32_t rows, columns;
    int64_t payload; // bytes after the head
    bool accepted;
};
// ctest shows the case by its name.
void PrintTo(const ForeignCase& c, std::ostream* out) {
    *out << c.name;
}

class ForeignAglData : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignAglData, HeadIsCheckedBeforeAnyValueIsRead) {
    const ForeignCase& f = GetParam();
    // The payload lives at the end of its own allocation: a read past it is
    // a read past the buffer (caught by the address sanitizer).
    std::vector<uint8_t> bytes(size_t(8 + f.payload), 0x3F);
    std::memcpy(bytes.data(), &f.rows, 4);
    std::memcpy(bytes.data() + 4, &f.columns, 4);
    int32_t rows = -7, columns = -7;
    FormatError error;
    EXPECT_EQ(checkAglData(bytes.data(), bytes.size(), rows, columns, error), f.accepted);
    auto array = readAglData(bytes.data(), bytes.size(), error);
    EXPECT_EQ(bool(array), f.accepted) << error.detail;
    if (f.accepted) {
        EXPECT_EQ(array->rowCount(), f.rows);
        EXPECT_EQ(array->colCount(), f.columns);
    } else {
        EXPECT_NE(error.code, 0);
        EXPECT_FALSE(error.detail.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Heads, ForeignAglData,
    ::testing::Values(ForeignCase{"Exact", 3, 4, 96, true},
                      ForeignCase{"LongerPayloadIsFine", 2, 2, 40, true},
                      ForeignCase{"ThousandSquaredWithEightBytes", 1000, 1000, 8, false},
                      ForeignCase{"OneValueShort", 3, 4, 88, false},
                      ForeignCase{"NegativeRows", -1, 4, 96, false},
                      ForeignCase{"NegativeBoth", -2, -3, 48, false},
                      ForeignCase{"ZeroColumns", 5, 0, 0, false},
                      // 65536 x 65536 wraps to 0 in 32 bits.
                      ForeignCase{"ProductWrapsIn32Bits", 65536, 65536, 8, false},
                      ForeignCase{"MoreThanAnArrayHolds", 32768, 32769, 8, false},
                      ForeignCase{"LargestInt", 2147483647, 2147483647, 16, false}),
    [](const ::testing::TestParamInfo<ForeignCase>& p) { return std::string(p.param.name); });

TEST(ForeignAglData, ShorterThanItsHeadIsRefused) {
    const uint8_t bytes[7] = {1, 0, 0, 0, 1, 0, 0};
    int32_t rows, columns;
    FormatError error;
    EXPECT_FALSE(checkAglData(bytes, sizeof bytes, rows, columns, error));
    EXPECT_FALSE(readAglData(nullptr, 0, error));
}

// ---- Text ------------------------------------------------------------------

// Writes every value as a fixed 40-character field, wider than any cell.
class WideFormat : public BlockTextFormat {
public:
    void append(double, std::string& out) const override { out.append(40, 'w'); }
};

TEST(BlockText, RowsOfTabSeparatedValuesEachEndedByCrLf) {
    auto block = makeBlock(2, 3, AGL_SHORT, {1, -2, 3, 400, 5, -32768});
    ASSERT_TRUE(block);
    std::string text;
    formatBlockText(*block, {0, 0, 2, 3}, PlainTextFormat(AGL_SHORT), text);
    EXPECT_EQ(text, "1\t-2\t3\r\n400\t5\t-32768\r\n");

    // A region inside the block.
    text.clear();
    formatBlockText(*block, {1, 1, 1, 2}, PlainTextFormat(AGL_SHORT), text);
    EXPECT_EQ(text, "5\t-32768\r\n");
}

TEST(BlockText, CellsWiderThanAnyAnnouncedWidthAreWrittenWhole) {
    auto block = makeBlock(3, 50, AGL_DOUBLE, std::vector<double>(150, 1e100));
    ASSERT_TRUE(block);
    std::string text;
    formatBlockText(*block, {0, 0, 3, 50}, WideFormat(), text);
    EXPECT_EQ(text.size(), size_t(3 * (50 * 41 + 1)));
    EXPECT_EQ(text.substr(text.size() - 3), "w\r\n");
}

TEST(BlockText, PlainFormatReadsBackExactlyAndNamesNonFiniteValues) {
    auto block = makeBlock(1, 4, AGL_DOUBLE, {0.1, 1e100, kNaN, -kInf});
    ASSERT_TRUE(block);
    std::string text;
    formatBlockText(*block, {0, 0, 1, 4}, PlainTextFormat(AGL_DOUBLE), text);
    EXPECT_EQ(text, "0.1\t1e+100\tnan\t-inf\r\n");
}

// ---- The block copied from the document's array ----------------------------

TEST(PlaneBlock, CopiedFromThePlaneShownBitForBit) {
    // 3 planes of 4 x 5 floats; the view shows plane 2.
    auto a = std::make_unique<aglArray>();
    const int32_t ext[3] = {3, 4, 5};
    ASSERT_TRUE(a->allocate(60 * 4));
    ASSERT_EQ(a->reshape(3, ext, AGL_FLOAT), 0);
    auto* f = static_cast<float*>(a->mutableData());
    for (int i = 0; i < 60; ++i)
        f[i] = float(i) * 1e-30f; // tiny: a clamping store would make 0
    a->setRowDim(1);
    a->setColDim(2);
    a->setRoi(0, 2, 2);
    int error = -1;
    auto block = copyPlaneBlock(*a, 1, 2, 3, 3, error);
    ASSERT_TRUE(block);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(block->typeCode(), AGL_FLOAT);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(float(block->value(j, i)), f[40 + (1 + i) * 5 + 2 + j]) << i << "," << j;

    // Transposed: columns run along the slow dimension (a strided copy).
    a->setRowDim(2);
    a->setColDim(1);
    block = copyPlaneBlock(*a, 0, 1, 2, 3, error);
    ASSERT_TRUE(block);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(float(block->value(j, i)), f[40 + (1 + j) * 5 + i]) << i << "," << j;
}

TEST(PlaneBlock, TooLargeOrOutsideIsRefusedWithTheReason) {
    auto a = makeBlock(4, 4, AGL_DOUBLE, std::vector<double>(16, 1.0));
    ASSERT_TRUE(a);
    int error = 0;
    EXPECT_FALSE(copyPlaneBlock(*a, 2, 2, 3, 1, error));
    EXPECT_EQ(error, AGL_E_EXTENT);
    EXPECT_FALSE(copyPlaneBlock(*a, -1, 0, 1, 1, error));
    EXPECT_EQ(error, AGL_E_EXTENT);
}

} // namespace
