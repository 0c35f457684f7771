// NumPy files mapped in place: files NumPy itself wrote (tests/data/npy,
// see make_npy.py) open as segments of the matching type and order without
// a copy; the refused ones say why; damaged headers never read out of
// bounds.
#include "aglArray.h"
#include "aglNpy.h"
#include "aglSegment.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::string npyPath(const std::string& name) {
    return std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/" + name + ".npy";
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool parse(const std::string& bytes, aglNpyLayout& layout, std::string& reason) {
    return agl::parseNpyHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), layout,
                               reason);
}

struct Accepted {
    const char* file;
    int type;
};
// ctest shows the case by its name.
void PrintTo(const Accepted& c, std::ostream* out) {
    *out << c.file;
}

class NpyAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(NpyAccepted, MapsInPlaceWithTheElementsWhereNumpyPutThem) {
    const Accepted& a = GetParam();
    const std::string path = npyPath(a.file);
    aglSegment seg;
    ASSERT_TRUE(seg.open(path, true)) << agl::errorName(seg.takeError());
    EXPECT_TRUE(seg.isNumpy());
    EXPECT_TRUE(seg.isFileBacked());
    EXPECT_EQ(seg.typeCode(), a.type);
    ASSERT_EQ(seg.dimCount(), 2);
    EXPECT_EQ(seg.extent(0), 2);
    EXPECT_EQ(seg.extent(1), 3);
    EXPECT_EQ(seg.language(), AGL_LANG_C);
    EXPECT_EQ(seg.lowerBound(0), 0);
    // The elements are the file's own bytes: no copy was made.
    const std::string bytes = readBytes(path);
    const size_t offset = bytes.size() - size_t(6 * seg.elementSize());
    EXPECT_EQ(static_cast<const uint8_t*>(seg.elements()) - seg.base(), ptrdiff_t(offset));

    aglArray array;
    ASSERT_TRUE(array.open(path, true));
    array.setRowDim(0);
    array.setColDim(1);
    EXPECT_DOUBLE_EQ(array.value(0, 0), 1);
    EXPECT_DOUBLE_EQ(array.value(2, 1), 13);
}

INSTANTIATE_TEST_SUITE_P(
    NumpyFiles, NpyAccepted,
    ::testing::Values(Accepted{"ok_f4", AGL_FLOAT}, Accepted{"ok_f8", AGL_DOUBLE},
                      Accepted{"ok_i1", AGL_CHAR}, Accepted{"ok_u1", AGL_UCHAR},
                      Accepted{"ok_i2", AGL_SHORT}, Accepted{"ok_u2", AGL_USHORT},
                      Accepted{"ok_i4", AGL_LONG}, Accepted{"ok_u4", AGL_ULONG},
                      Accepted{"ok_v2_f4", AGL_FLOAT}, Accepted{"ok_v3_f4", AGL_FLOAT}),
    [](const auto& p) { return std::string(p.param.file); });

TEST(Npy, FortranOrderBecomesAFortranArrayWithReversedExtents) {
    aglArray array;
    ASSERT_TRUE(array.open(npyPath("ok_fortran_f8"), true));
    EXPECT_EQ(array.language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(array.extent(0), 3); // slowest first: NumPy's last index
    EXPECT_EQ(array.extent(1), 2);
    EXPECT_EQ(array.lowerBound(0), 1);
    // Element (r, c) of the NumPy array sits at column r, row c here.
    array.setRowDim(0);
    array.setColDim(1);
    EXPECT_DOUBLE_EQ(array.value(1, 2), 13); // NumPy [1][2]
    EXPECT_DOUBLE_EQ(array.value(1, 0), 11); // NumPy [1][0]
}

TEST(Npy, BooleansOneAndThreeDimensionsAreRead) {
    aglArray b;
    ASSERT_TRUE(b.open(npyPath("ok_b1"), true));
    EXPECT_EQ(b.typeCode(), AGL_UCHAR);
    b.setRowDim(0);
    b.setColDim(1);
    EXPECT_DOUBLE_EQ(b.value(1, 0), 1);
    EXPECT_DOUBLE_EQ(b.value(1, 1), 0);
    aglSegment one, three;
    ASSERT_TRUE(one.open(npyPath("ok_1d_i2"), true));
    EXPECT_EQ(one.dimCount(), 1);
    EXPECT_EQ(one.extent(0), 5);
    ASSERT_TRUE(three.open(npyPath("ok_3d_u1"), true));
    EXPECT_EQ(three.dimCount(), 3);
    EXPECT_EQ(static_cast<const uint8_t*>(three.elements())[23], 23);
}

TEST(Npy, NeverOpensForWriting) {
    aglSegment seg;
    EXPECT_FALSE(seg.open(npyPath("ok_f4"), false));
    EXPECT_EQ(seg.takeError(), AGL_E_READONLY);
}

struct Refused {
    const char* file;
    const char* reason;
};
// ctest shows the case by its name.
void PrintTo(const Refused& c, std::ostream* out) {
    *out << c.file;
}

class NpyRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(NpyRefused, SaysWhyAndDoesNotOpen) {
    const Refused& r = GetParam();
    aglNpyLayout layout;
    std::string reason;
    EXPECT_FALSE(parse(readBytes(npyPath(r.file)), layout, reason));
    EXPECT_EQ(reason, r.reason);
    aglSegment seg;
    EXPECT_FALSE(seg.open(npyPath(r.file), true));
    EXPECT_EQ(seg.takeError(), AGL_E_FORMAT);
}

INSTANTIATE_TEST_SUITE_P(
    NumpyFiles, NpyRefused,
    ::testing::Values(Refused{"bad_bigendian_f4", "big-endian NumPy data ('>f4') is not supported"},
                      Refused{"bad_c8", "NumPy type '<c8' has no agl element type"},
                      Refused{"bad_record", "NumPy record types are not supported"},
                      Refused{"bad_scalar", "NumPy scalars (shape ()) are not supported"},
                      Refused{"bad_empty", "NumPy array has no elements"},
                      Refused{"bad_rank8",
                              "NumPy arrays of more than 7 dimensions are not supported"}),
    [](const auto& p) { return std::string(p.param.file); });

// NumPy's default integer (int64), uint64 and float16: no agl element type
// holds them, so the header says they become doubles in a copy, and a
// segment (which maps files in place, never converting) refuses them.
struct Converted {
    const char* file;
    aglNpyStorage storage;
    int fileElementSize;
};
void PrintTo(const Converted& c, std::ostream* out) {
    *out << c.file;
}

class NpyConverted : public ::testing::TestWithParam<Converted> {};

TEST_P(NpyConverted, HeaderAsksForADoubleCopyAndNoSegmentMapsIt) {
    const Converted& c = GetParam();
    aglNpyLayout layout;
    std::string reason;
    ASSERT_TRUE(parse(readBytes(npyPath(c.file)), layout, reason)) << reason;
    EXPECT_EQ(layout.storage, c.storage);
    EXPECT_EQ(layout.type, AGL_DOUBLE);
    EXPECT_EQ(layout.fileElementSize, c.fileElementSize);
    EXPECT_EQ(layout.elementCount, 6);
    aglSegment seg;
    EXPECT_FALSE(seg.open(npyPath(c.file), true));
    EXPECT_EQ(seg.takeError(), AGL_E_FORMAT);
}

TEST_P(NpyConverted, ValuesConvertExactly) {
    const Converted& c = GetParam();
    const std::string bytes = readBytes(npyPath(c.file));
    aglNpyLayout layout;
    std::string reason;
    ASSERT_TRUE(parse(bytes, layout, reason)) << reason;
    // One byte off the 8-byte grid, as a segment's elements usually are.
    std::vector<uint8_t> out(6 * 8 + 1);
    EXPECT_EQ(
        agl::convertNpyToDouble(reinterpret_cast<const uint8_t*>(bytes.data()) + layout.dataOffset,
                                layout.storage, 6, out.data() + 1),
        0);
    const double want[6] = {1, 2, 3, 11, 12, 13};
    for (int i = 0; i < 6; ++i) {
        double v;
        std::memcpy(&v, out.data() + 1 + 8 * i, 8);
        EXPECT_EQ(v, want[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(NumpyFiles, NpyConverted,
                         ::testing::Values(Converted{"ok_i8", aglNpyStorage::Int64, 8},
                                           Converted{"ok_u8", aglNpyStorage::UInt64, 8},
                                           Converted{"ok_f2", aglNpyStorage::Float16, 2}),
                         [](const auto& p) { return std::string(p.param.file); });

// Integers beyond 2^53 round to the nearest double; each one that changed
// is counted, one a double holds exactly (2^62, -2^63) is not.
TEST(Npy, SixtyFourBitIntegersBeyondTwoToThe53AreCountedWhenTheyLosePrecision) {
    const std::string i8 = readBytes(npyPath("big_i8"));
    aglNpyLayout layout;
    std::string reason;
    ASSERT_TRUE(parse(i8, layout, reason)) << reason;
    double v[6];
    EXPECT_EQ(
        agl::convertNpyToDouble(reinterpret_cast<const uint8_t*>(i8.data()) + layout.dataOffset,
                                layout.storage, 6, v),
        3); // 2^53 + 1, -(2^53) - 1 and 2^63 - 1
    EXPECT_EQ(v[0], 9007199254740992.0);
    EXPECT_EQ(v[1], 9007199254740992.0);
    EXPECT_EQ(v[2], -9007199254740992.0);
    EXPECT_EQ(v[3], 4611686018427387904.0);
    EXPECT_EQ(v[4], 9223372036854775808.0);
    EXPECT_EQ(v[5], -9223372036854775808.0);

    const std::string u8 = readBytes(npyPath("big_u8"));
    ASSERT_TRUE(parse(u8, layout, reason)) << reason;
    double u[4];
    EXPECT_EQ(
        agl::convertNpyToDouble(reinterpret_cast<const uint8_t*>(u8.data()) + layout.dataOffset,
                                layout.storage, 4, u),
        2); // 2^53 + 1 and 2^64 - 1
    EXPECT_EQ(u[1], 18446744073709551616.0);
    EXPECT_EQ(u[2], 9223372036854775808.0);
    EXPECT_EQ(u[3], 7.0);
}

TEST(Npy, HalfFloatsConvertWithSubnormalsInfinitiesAndNan) {
    const uint16_t halves[] = {0x3C00, 0xC000, 0x7BFF, 0x0001, 0x8400, 0x7C00, 0xFC00, 0x7E00};
    uint8_t bytes[2 * 8];
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = uint8_t(halves[i] & 0xFF);
        bytes[2 * i + 1] = uint8_t(halves[i] >> 8);
    }
    double v[8];
    EXPECT_EQ(agl::convertNpyToDouble(bytes, aglNpyStorage::Float16, 8, v), 0);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], -2.0);
    EXPECT_EQ(v[2], 65504.0);
    EXPECT_EQ(v[3], std::ldexp(1.0, -24));
    EXPECT_EQ(v[4], -std::ldexp(1.0, -14));
    EXPECT_EQ(v[5], std::numeric_limits<double>::infinity());
    EXPECT_EQ(v[6], -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(v[7]));
}

TEST(Npy, BigEndianSixtyFourBitIntegersAreRefusedWithTheReason) {
    std::string bytes = readBytes(npyPath("ok_i8"));
    bytes.replace(bytes.find("'<i8'"), 5, "'>i8'");
    aglNpyLayout layout;
    std::string reason;
    EXPECT_FALSE(parse(bytes, layout, reason));
    EXPECT_EQ(reason, "big-endian NumPy data ('>i8') is not supported");
}

TEST(Npy, DamagedHeadersAndShortFilesAreRefused) {
    const std::string good = readBytes(npyPath("ok_f4"));
    TempDir dir;
    const std::string cases[] = {
        good.substr(0, 8),                           // signature and version only
        good.substr(0, 40),                          // header cut off
        good.substr(0, good.size() - 1),             // last element cut off
        good.substr(0, 6) + "\x04" + good.substr(7), // version 4
        [&] {                                        // header length past the end
            std::string b = good;
            b[8] = char(0xFF);
            b[9] = char(0x7F);
            return b;
        }(),
        [&] { // shape is not closed
            std::string b = good;
            b.replace(b.find("(2, 3)"), 6, "(2, 3 ");
            return b;
        }(),
        [&] { // extents multiply past 2^30
            std::string b = good;
            b.replace(b.find("(2, 3)"), 6, "(99999,99999)");
            return b;
        }(),
    };
    int n = 0;
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(n);
        aglSegment seg;
        EXPECT_FALSE(seg.open(dir.write("c" + std::to_string(n++) + ".npy", bytes), true));
    }
}

} // namespace
