// NumPy files mapped in place: files NumPy itself wrote (tests/data/npy,
// see make_npy.py) open as segments of the matching type and order without
// a copy; the refused ones say why; damaged headers never read out of
// bounds.
#include "aglArray.h"
#include "aglNpy.h"
#include "aglSegment.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

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
                      Refused{"bad_i8", "NumPy type '<i8' has no agl element type"},
                      Refused{"bad_c8", "NumPy type '<c8' has no agl element type"},
                      Refused{"bad_record", "NumPy record types are not supported"},
                      Refused{"bad_scalar", "NumPy scalars (shape ()) are not supported"},
                      Refused{"bad_empty", "NumPy array has no elements"},
                      Refused{"bad_rank8",
                              "NumPy arrays of more than 7 dimensions are not supported"}),
    [](const auto& p) { return std::string(p.param.file); });

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
