// agl::loadAsDouble: the one typed element load every reader of segment
// memory uses (array values, axis scales, tests).
#include "aglTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

namespace {

struct LoadCase {
    int type;
    std::vector<uint8_t> bytes; // little-endian element bytes
    double expected;
};
// ctest shows the case by what it holds.
void PrintTo(const LoadCase& c, std::ostream* out) {
    *out << "type " << c.type << " " << c.expected;
}

class LoadAsDouble : public ::testing::TestWithParam<LoadCase> {};

} // namespace

// Each element is placed one byte past an aligned address, as segment
// elements usually are, and read back with its sign and width.
TEST_P(LoadAsDouble, ReadsMisalignedElementsWithTheirSignAndWidth) {
    const LoadCase& c = GetParam();
    alignas(8) uint8_t buffer[16] = {};
    std::memcpy(buffer + 1, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(agl::loadAsDouble(buffer + 1, c.type), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, LoadAsDouble,
    ::testing::Values(LoadCase{AGL_UCHAR, {0xFF}, 255.0}, LoadCase{AGL_CHAR, {0xFF}, -1.0},
                      LoadCase{AGL_USHORT, {0x00, 0x80}, 32768.0},
                      LoadCase{AGL_SHORT, {0x00, 0x80}, -32768.0},
                      LoadCase{AGL_ULONG, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
                      LoadCase{AGL_LONG, {0xFE, 0xFF, 0xFF, 0xFF}, -2.0},
                      LoadCase{AGL_FLOAT, {0x00, 0x00, 0xC0, 0xBF}, -1.5},
                      LoadCase{AGL_DOUBLE, {0, 0, 0, 0, 0, 0, 0x24, 0x40}, 10.0},
                      // An unknown code reads nothing, whatever the bytes.
                      LoadCase{4104, {0x12, 0x34, 0x56, 0x78}, 0.0}));
