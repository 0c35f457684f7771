#include "AglAsciiFormat.h"
#include "FileBytes.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

AsciiReadResult parseText(const std::string& text) {
    // A copy without a terminating zero, so over-reads are caught.
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.data(), text.size());
    return readAglAscii(copy.get(), text.size());
}

std::vector<double> values(const aglArray& a) {
    std::vector<double> v;
    const auto* p = static_cast<const uint8_t*>(a.data());
    for (int64_t i = 0; i < a.elementCount(); ++i) {
        v.push_back(agl::loadAsDouble(p + i * a.elementSize(), a.typeCode()));
    }
    return v;
}

// A new array of the given shape with the given element values (stored order).
std::unique_ptr<aglArray> makeArray(int type, int language, std::vector<int32_t> extents,
                                    const std::vector<double>& v,
                                    std::vector<int32_t> lowerBounds = {}) {
    auto a = std::make_unique<aglArray>();
    a->setLanguage(language);
    int64_t n = 1;
    for (int32_t e : extents)
        n *= e;
    EXPECT_NE(a->allocate(n * agl::typeInfo(type).size), nullptr);
    EXPECT_EQ(a->reshape(int(extents.size()), extents.data(), type), 0);
    for (size_t k = 0; k < lowerBounds.size(); ++k)
        a->setLowerBound(int(k), lowerBounds[k]);
    auto* p = static_cast<uint8_t*>(a->mutableData());
    for (int64_t i = 0; i < n; ++i) {
        const double x = v[size_t(i)];
        uint8_t* e = p + i * agl::typeInfo(type).size;
        switch (type) {
        case AGL_UCHAR:
            *e = uint8_t(x);
            break;
        case AGL_CHAR:
            *e = uint8_t(int8_t(x));
            break;
        case AGL_USHORT: {
            uint16_t y = uint16_t(x);
            std::memcpy(e, &y, 2);
            break;
        }
        case AGL_SHORT: {
            int16_t y = int16_t(x);
            std::memcpy(e, &y, 2);
            break;
        }
        case AGL_ULONG: {
            uint32_t y = uint32_t(x);
            std::memcpy(e, &y, 4);
            break;
        }
        case AGL_LONG: {
            int32_t y = int32_t(x);
            std::memcpy(e, &y, 4);
            break;
        }
        case AGL_FLOAT: {
            float y = float(x);
            std::memcpy(e, &y, 4);
            break;
        }
        default:
            std::memcpy(e, &x, 8);
            break;
        }
    }
    return a;
}

} // namespace

TEST(AglAsciiWriter, WritesHeaderTabsLinesAndBlockSeparatorsExactly) {
    std::vector<double> v(24);
    for (int i = 0; i < 24; ++i)
        v[size_t(i)] = i;
    auto a = makeArray(AGL_SHORT, AGL_LANG_C, {2, 3, 4}, v);
    std::string text;
    formatAglAscii(*a, {}, text);
    EXPECT_EQ(text, "#agl ascii data V1.0\n#type AGL_SHORT\n#lang C\n#dim 2 3 4\n"
                    "0\t1\t2\t3\n4\t5\t6\t7\n8\t9\t10\t11\n\n"
                    "12\t13\t14\t15\n16\t17\t18\t19\n20\t21\t22\t23\n\n\n");

    auto f = makeArray(AGL_FLOAT, AGL_LANG_FORTRAN, {2, 3}, {0.1, -2, 3e20, 4.5, 1e-7, 6}, {0, 1});
    text.clear();
    formatAglAscii(*f, {}, text);
    EXPECT_EQ(text, "#agl ascii data V1.0\n#type AGL_FLOAT\n#lang Fortran\n#dim 0:1 3\n"
                    "0.1\t-2\t3e+20\n4.5\t1e-07\t6\n\n");
    text.clear();
    formatAglAscii(*f, {4, true}, text);
    EXPECT_NE(text.find("1.0000e-01\t-2.0000e+00\t3.0000e+20\n"), std::string::npos) << text;
    text.clear();
    formatAglAscii(*f, {3, false}, text);
    EXPECT_NE(text.find("0.1\t-2\t3e+20\n4.5\t1e-07\t6\n"), std::string::npos) << text;

    // Integers stay exact even when the exponent form is asked for.
    auto u = makeArray(AGL_ULONG, AGL_LANG_C, {3}, {4294967295.0, 200, 0});
    text.clear();
    formatAglAscii(*u, {3, true}, text);
    EXPECT_EQ(text, "#agl ascii data V1.0\n#type AGL_ULONG\n#lang C\n#dim 3\n4294967295\t200\t0\n");
}

TEST(AglAsciiWriter, WriteFailuresAreReported) {
    auto a = makeArray(AGL_DOUBLE, AGL_LANG_C, {1000}, std::vector<double>(1000, 1.0 / 3));
    FormatError err;
    // A device is no file to save to (/dev/full would refuse every write).
    EXPECT_FALSE(writeAglAscii(*a, "/dev/full", {}, err));
    EXPECT_EQ(err.code, AGL_E_OPEN);
    EXPECT_EQ(err.message, "Error saving file: /dev/full");
    EXPECT_EQ(err.detail, "not a regular file");
    TempDir dir;
    EXPECT_FALSE(writeAglAscii(*a, dir.file("missing/x.txt"), {}, err));
    ASSERT_TRUE(writeAglAscii(*a, dir.file("x.txt"), {}, err)) << err.detail;
    std::string expected;
    formatAglAscii(*a, {}, expected);
    EXPECT_EQ(readText(dir.file("x.txt")), expected);
}

// Every type, both languages, one to seven dimensions, odd lower bounds:
// written with the default format and read back, values and shape match.
TEST(AglAsciiRoundTrip, EveryTypeLanguageAndRankReadsBackTheSame) {
    std::mt19937 rng(1234);
    for (int type = AGL_UCHAR; type <= AGL_DOUBLE; ++type) {
        const agl::TypeInfo& ti = agl::typeInfo(type);
        for (int language : {AGL_LANG_C, AGL_LANG_FORTRAN}) {
            for (int dims = 1; dims <= 7; ++dims) {
                std::vector<int32_t> ext, lb;
                int64_t n = 1;
                for (int k = 0; k < dims; ++k) {
                    ext.push_back(1 + int32_t(rng() % (dims > 4 ? 2 : 4)));
                    lb.push_back(int32_t(rng() % 7) - 3);
                    n *= ext.back();
                }
                std::vector<double> v;
                for (int64_t i = 0; i < n; ++i) {
                    const double u = double(rng()) / 4294967296.0; // [0, 1)
                    double x;
                    if (ti.numericClass == AGL_CLASS_FLOAT)
                        x = (u - 0.5) * std::pow(10.0, int(rng() % 40) - 20);
                    else
                        x = std::floor(ti.smallest + u * (ti.largest - ti.smallest + 1));
                    if (type == AGL_FLOAT) x = double(float(x));
                    v.push_back(x);
                }
                if (n > 1) v[1] = ti.largest; // the ends of the range survive too
                if (n > 2) v[2] = ti.smallest;
                auto a = makeArray(type, language, ext, v,
                                   language == AGL_LANG_FORTRAN ? lb : std::vector<int32_t>{});
                std::string text;
                formatAglAscii(*a, {}, text);
                auto r = parseText(text);
                ASSERT_TRUE(r.array) << text;
                EXPECT_TRUE(r.warning.empty());
                const aglArray& b = *r.array;
                SCOPED_TRACE(text.substr(0, 80));
                EXPECT_EQ(b.typeCode(), type);
                EXPECT_EQ(b.language(), language);
                ASSERT_EQ(b.dimCount(), dims);
                for (int k = 0; k < dims; ++k) {
                    EXPECT_EQ(b.extent(k), ext[size_t(k)]);
                    EXPECT_EQ(b.lowerBound(k), language == AGL_LANG_FORTRAN ? lb[size_t(k)] : 0);
                }
                EXPECT_EQ(values(b), values(*a));
            }
        }
    }
}

TEST(AglAsciiRoundTrip, InfinitiesAndNaNsKeepTheirPlaces) {
    const double inf = HUGE_VAL, nan = std::nan("");
    for (int type : {AGL_FLOAT, AGL_DOUBLE}) {
        auto a = makeArray(type, AGL_LANG_C, {2, 3}, {inf, 1, -inf, nan, -nan, 2});
        std::string text;
        formatAglAscii(*a, {}, text);
        auto r = parseText(text);
        ASSERT_TRUE(r.array) << text;
        EXPECT_TRUE(r.warning.empty()) << text;
        const auto v = values(*r.array);
        EXPECT_EQ(v[0], inf);
        EXPECT_EQ(v[1], 1);
        EXPECT_EQ(v[2], -inf);
        EXPECT_TRUE(std::isnan(v[3]));
        EXPECT_TRUE(std::isnan(v[4]));
        EXPECT_EQ(v[5], 2) << text;
    }
}

TEST(AglAsciiReader, GuessesTheShapeFromTheLayout) {
    auto one = parseText("1 2 3");
    ASSERT_TRUE(one.array);
    EXPECT_EQ(one.array->dimCount(), 1);
    EXPECT_EQ(one.array->extent(0), 3);
    EXPECT_EQ(one.array->typeCode(), AGL_FLOAT);
    EXPECT_EQ(one.array->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(one.array->lowerBound(0), 1);

    auto grid = parseText("some title\n1 2 3 4\n5 6 7 8\n\n9 10 11 12\n");
    ASSERT_TRUE(grid.array);
    ASSERT_EQ(grid.array->dimCount(), 2);
    EXPECT_EQ(grid.array->extent(0), 3);
    EXPECT_EQ(grid.array->extent(1), 4);
    EXPECT_EQ(grid.array->rowDim(), 0);
    EXPECT_EQ(grid.array->colDim(), 1);
    EXPECT_EQ(values(*grid.array)[11], 12);

    auto column = parseText("1\n2\n3\n4\n");
    ASSERT_TRUE(column.array);
    EXPECT_EQ(column.array->dimCount(), 1);
    EXPECT_EQ(column.array->extent(0), 4);

    // Comment lines are no rows; a line whose first number-like token does
    // not convert ("e5" here) is none either.
    auto commented = parseText("1 2\n! 3 4\ne5 6\n7 8\n");
    ASSERT_TRUE(commented.array);
    EXPECT_EQ(commented.array->extent(0), 2);
    EXPECT_EQ(values(*commented.array), (std::vector<double>{1, 2, 5, 6}));
    EXPECT_EQ(commented.warning, "");
}

TEST(AglAsciiReader, DirectivesSetTypeLanguageAndBounds) {
    auto r = parseText("#type double\n#lang c++\n#dim 0:4 2\n" + std::string(10, '1'));
    ASSERT_TRUE(r.array);
    EXPECT_EQ(r.array->typeCode(), AGL_DOUBLE);
    EXPECT_EQ(r.array->language(), AGL_LANG_C);
    EXPECT_EQ(r.array->extent(0), 5);
    EXPECT_EQ(r.array->extent(1), 2);

    auto f = parseText("#dim 0:4 2 -2:-2\n#type AGL_uShort whatever\n1");
    ASSERT_TRUE(f.array);
    EXPECT_EQ(f.array->typeCode(), AGL_USHORT);
    ASSERT_EQ(f.array->dimCount(), 3);
    EXPECT_EQ(f.array->lowerBound(0), 0);
    EXPECT_EQ(f.array->lowerBound(1), 1);
    EXPECT_EQ(f.array->extent(2), 1);
    EXPECT_EQ(f.array->lowerBound(2), -2);
    EXPECT_EQ(f.expected, 10);
    EXPECT_EQ(f.read, 1);

    // Unknown names change nothing.
    auto u = parseText("#type complex\n#lang Fortran90\n1 2 3");
    ASSERT_TRUE(u.array);
    EXPECT_EQ(u.array->typeCode(), AGL_FLOAT);
    EXPECT_EQ(u.array->dimCount(), 1);
    EXPECT_EQ(u.array->extent(0), 3);
}

TEST(AglAsciiReader, ShortTextWarnsAndFillsWithZeros) {
    auto r = parseText("#dim 3 4\n1 2 3 4 5 6 7 8 9 10");
    ASSERT_TRUE(r.array);
    EXPECT_EQ(r.warning, "Expecting 12 data elements, \nbut only read 10\n");
    const auto v = values(*r.array);
    EXPECT_EQ(v[9], 10);
    EXPECT_EQ(v[10], 0);
    EXPECT_EQ(v[11], 0);
    // Extra values are ignored.
    auto extra = parseText("#dim 2\n1 2 3");
    ASSERT_TRUE(extra.array);
    EXPECT_EQ(values(*extra.array), (std::vector<double>{1, 2}));
    EXPECT_TRUE(extra.warning.empty());
}

TEST(AglAsciiReader, CommentsAndDirectivesOnlyWhereTheyBelong) {
    auto r = parseText("! 9 9 9\n#dim 6\n1! 7 7\n2 ! 3\n#lang C 4\n");
    ASSERT_TRUE(r.array);
    // "1!" ends its line; "! 3" after a blank is no comment; after the first
    // value a "#" line is data.
    EXPECT_EQ(values(*r.array), (std::vector<double>{1, 2, 3, 4, 0, 0}));
    EXPECT_EQ(r.array->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(r.read, 4);
}

TEST(AglAsciiReader, ConversionsClampByType) {
    auto conv = [](const char* type, const char* text) {
        auto r = parseText(std::string("#type ") + type + "\n" + text);
        EXPECT_TRUE(r.array) << type << " " << text;
        return r.array ? values(*r.array) : std::vector<double>{};
    };
    EXPECT_EQ(conv("uchar", "200 256 -1 3.9 -0"), (std::vector<double>{200, 255, 255, 3, 0}));
    EXPECT_EQ(conv("char", "127 128 -129 -3.9"), (std::vector<double>{127, 127, -128, -3}));
    EXPECT_EQ(conv("ushort", "65535 65536 -2"), (std::vector<double>{65535, 65535, 65535}));
    EXPECT_EQ(conv("short", "40000 -40000 +7"), (std::vector<double>{32767, -32768, 7}));
    EXPECT_EQ(conv("ulong", "4294967295 -1 1e9 .5"),
              (std::vector<double>{4294967295.0, 4294967295.0, 1, 0}));
    EXPECT_EQ(conv("long", "3.9 -2147483648 99999999999"),
              (std::vector<double>{3, -2147483648.0, 2147483647}));
    const auto f = conv("float", "1e39 -1e39 1e-50 0.1");
    EXPECT_TRUE(std::isinf(f[0]) && f[0] > 0);
    EXPECT_TRUE(std::isinf(f[1]) && f[1] < 0);
    EXPECT_EQ(f[2], 0);
    EXPECT_EQ(f[3], double(0.1f));
    EXPECT_EQ(conv("double", "1e300 -.25 +-3 4"), (std::vector<double>{1e300, -0.25, 4}));
}

TEST(AglAsciiReader, RefusesTextWithoutValuesAndHugeShapes) {
    EXPECT_EQ(parseText("").error.code, AGL_E_FORMAT);
    EXPECT_EQ(parseText("#dim 3\nno numbers - here . at all\n").error.code, AGL_E_FORMAT);
    // 536870913 doubles: a 32-bit byte count would wrap to 8.
    auto huge = parseText("#type double\n#dim 536870913\n1 2");
    EXPECT_FALSE(huge.array);
    EXPECT_EQ(huge.error.code, AGL_E_TOO_LARGE);
    EXPECT_EQ(parseText("#dim 65536 65536 2\n1").error.code, AGL_E_TOO_LARGE);
    EXPECT_EQ(parseText("#dim -3000000000:0\n1").error.code, AGL_E_TOO_LARGE);
    EXPECT_EQ(parseText("#dim -2147483649:-2147483648\n1").error.code, AGL_E_EXTENT);
    // Bounds far beyond 64 bits saturate instead of overflowing.
    EXPECT_EQ(parseText("#dim -2:99999999999999999999999 -99999999999999999999:2\n1").error.code,
              AGL_E_TOO_LARGE);
    EXPECT_EQ(parseText("#dim -99999999999999999999:-99999999999999999998\n1").error.code,
              AGL_E_EXTENT);
}

// A mapped file of exactly one page that ends in a digit, followed by an
// inaccessible page: reading one byte too far faults.
TEST(AglAsciiReader, StopsAtTheEndOfAMappedPage) {
    const long page = sysconf(_SC_PAGESIZE);
    void* mem =
        mmap(nullptr, size_t(2 * page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    char* text = static_cast<char*>(mem);
    std::memset(text, ' ', size_t(page));
    std::memcpy(text, "#dim 3\n", 7);
    text[page - 5] = '1';
    text[page - 3] = '-';
    text[page - 2] = '2';
    text[page - 1] = '5';
    ASSERT_EQ(0, mprotect(text + page, size_t(page), PROT_NONE));
    auto r = readAglAscii(text, size_t(page));
    ASSERT_TRUE(r.array);
    EXPECT_EQ(values(*r.array), (std::vector<double>{1, -25, 0}));
    auto guessed = readAglAscii(text + 7, size_t(page) - 7);
    ASSERT_TRUE(guessed.array);
    EXPECT_EQ(guessed.array->extent(0), 2);
    munmap(mem, size_t(2 * page));
}

// The writer replaces its target only when the new text is complete: the
// array may be mapped from that very file, and the target keeps its
// permissions and any link that names it. Pipes are refused, not blocked on.
TEST(AglAsciiWriter, ReplacesTheTargetOnlyWhenComplete) {
    TempDir dir;
    auto a = makeArray(AGL_LONG, AGL_LANG_C, {2, 3}, {1, 2, 3, 4, 5, 6});
    // A binary file named .txt, mapped, saved as text onto itself.
    const std::string self = dir.file("self.txt");
    {
        auto heap = makeArray(AGL_LONG, AGL_LANG_C, {2, 3}, {1, 2, 3, 4, 5, 6});
        writeBytes(self, heap->segment()->base(), size_t(heap->segment()->neededSize()));
    }
    aglArray mapped;
    ASSERT_TRUE(mapped.open(self, true));
    FormatError err;
    ASSERT_TRUE(writeAglAscii(mapped, self, {}, err)) << err.detail;
    std::string expected;
    formatAglAscii(*a, {}, expected);
    EXPECT_EQ(readText(self), expected);

    // Permissions and links stay.
    const std::string kept = dir.file("kept.txt");
    writeBytes(kept, "old", 3);
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    const std::string link = dir.file("link.txt");
    ASSERT_EQ(symlink(kept.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeAglAscii(*a, link, {}, err)) << err.detail;
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readText(kept), expected);

    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(writeAglAscii(*a, fifo, {}, err));
    EXPECT_EQ(err.detail, "not a regular file");
    // Nothing is left behind in the folder but the files made here.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 4);
}

// A "#dim" line is taken whole or refused: a dimension it cannot use would
// otherwise be left out and every value would land in another place.
class DimLineTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DimLineTest, UnusableDimensionsAreAnErrorWithAReason) {
    auto r = parseText(std::string(GetParam()) + "\n1 2 3 4 5 6 7 8 9 10 11 12\n");
    EXPECT_FALSE(r.array);
    EXPECT_EQ(r.error.code, AGL_E_EXTENT);
    EXPECT_NE(r.error.detail.find("#dim"), std::string::npos) << r.error.detail;
}

INSTANTIATE_TEST_SUITE_P(AglAsciiReader, DimLineTest,
                         ::testing::Values("#dim 5:4 3", "#dim 3 0 4", "#dim -3 4",
                                           "#dim 1 1 1 1 1 1 1 2",
                                           "#dim 2147483647:-2147483646 3"));

TEST(AglAsciiReader, BoundsAtThe32BitLimitsAreKept) {
    auto r = parseText("#lang Fortran\n#dim -2147483648:-2147483647 2147483646:2147483647\n"
                       "1 2\n3 4\n");
    ASSERT_TRUE(r.array) << r.error.detail;
    EXPECT_EQ(r.array->lowerBound(0), INT32_MIN);
    EXPECT_EQ(r.array->lowerBound(1), INT32_MAX - 1);
    EXPECT_EQ(r.array->shapeText(), "real*4 M(2147483646:2147483647, -2147483648:-2147483647)");
    std::string text;
    formatAglAscii(*r.array, {}, text);
    EXPECT_NE(text.find("#dim -2147483648:-2147483647 2147483646:2147483647\n"), std::string::npos)
        << text;
    auto over = makeArray(AGL_LONG, AGL_LANG_FORTRAN, {3}, {1, 2, 3}, {INT32_MAX});
    text.clear();
    formatAglAscii(*over, {}, text);
    EXPECT_NE(text.find("#dim 2147483647:2147483649\n"), std::string::npos) << text;
    EXPECT_FALSE(parseText(text).array) << "an upper end past 2^31 - 1 is refused, not wrapped";
}

// Old Mac text ends its lines with a lone CR; Windows text with CR LF.
TEST(AglAsciiReader, LoneCarriageReturnsEndLines) {
    auto mac = parseText("1 2 3\r4 5 6\r");
    ASSERT_TRUE(mac.array);
    ASSERT_EQ(mac.array->dimCount(), 2);
    EXPECT_EQ(mac.array->extent(0), 2);
    EXPECT_EQ(mac.array->extent(1), 3);
    auto directive = parseText("#dim 2 2\r#type long\r! 9 9\r1 2\r3 4");
    ASSERT_TRUE(directive.array);
    EXPECT_EQ(directive.array->typeCode(), AGL_LONG);
    EXPECT_EQ(directive.array->dimCount(), 2);
    EXPECT_EQ(values(*directive.array), (std::vector<double>{1, 2, 3, 4}));
    auto dos = parseText("1 2\r\n3 4\r\n5 6\r\n");
    ASSERT_TRUE(dos.array);
    EXPECT_EQ(dos.array->extent(0), 3);
    EXPECT_EQ(dos.array->extent(1), 2);
}
