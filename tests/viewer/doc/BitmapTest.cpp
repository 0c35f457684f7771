// The bitmap reader on well-formed and damaged files, and the document
// turning a bitmap into an array with its colour table.
#include "BitmapReader.h"

#include "DocFakes.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace plotrane;

namespace {

void put16(std::string& b, size_t at, uint16_t v) {
    std::memcpy(&b[at], &v, 2);
}
void put32(std::string& b, size_t at, uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}

// A bitmap file: 14-byte file header, 40-byte info header (or the 12-byte
// core header), palette of `colours` entries (entry k = blue k, green 2k,
// red 3k), then rows of pixel values taken from pixels(r, c) (stored row r).
template <class Pixel>
std::string makeBmp(int bits, int32_t width, int32_t height, int colours, Pixel pixels,
                    bool core = false) {
    const uint32_t info = core ? 12 : 40;
    const size_t entry = core ? 3 : 4;
    const int32_t rows = height < 0 ? -height : height;
    const size_t rowBytes = size_t((width * bits + 31) / 32) * 4;
    const size_t offset = 14 + info + size_t(colours) * entry;
    std::string b(offset + rowBytes * size_t(rows), '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(b.size()));
    put32(b, 10, uint32_t(offset));
    put32(b, 14, info);
    if (core) {
        put16(b, 18, uint16_t(width));
        put16(b, 20, uint16_t(height));
        put16(b, 22, 1);
        put16(b, 24, uint16_t(bits));
    } else {
        put32(b, 18, uint32_t(width));
        put32(b, 22, uint32_t(height));
        put16(b, 26, 1);
        put16(b, 28, uint16_t(bits));
        put32(b, 46, 0);
    }
    for (int k = 0; k < colours; ++k) {
        b[14 + info + k * entry + 0] = char(k);
        b[14 + info + k * entry + 1] = char(2 * k);
        b[14 + info + k * entry + 2] = char(3 * k);
    }
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < width; ++c) {
            const int shift = 8 - bits * (c % (8 / bits) + 1);
            b[offset + size_t(r) * rowBytes + size_t(c / (8 / bits))] |=
                char((pixels(r, c) & ((1 << bits) - 1)) << shift);
        }
    return b;
}

bool parse(const std::string& b, BitmapImage& img, std::string& why) {
    return readBitmap(reinterpret_cast<const uint8_t*>(b.data()), b.size(), img, why);
}

uint32_t colourOf(int k) {
    return 0xFF000000u + uint32_t(k) * 65536u + uint32_t(2 * k & 0xFF) * 256u +
           uint32_t(3 * k & 0xFF);
}

} // namespace

TEST(BitmapReader, EachDepthReadsIndicesLeftmostPixelInTheHighBits) {
    for (int bits : {1, 2, 4, 8}) {
        SCOPED_TRACE(bits);
        const int levels = 1 << bits;
        auto px = [&](int r, int c) { return (r * 7 + c * 3) % levels; };
        const std::string b = makeBmp(bits, 13, 5, levels, px);
        BitmapImage img;
        std::string why;
        ASSERT_TRUE(parse(b, img, why)) << why;
        ASSERT_EQ(img.width, 13);
        ASSERT_EQ(img.height, 5);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 13; ++c)
                ASSERT_EQ(img.indices[size_t(r * 13 + c)], px(r, c)) << r << "," << c;
    }
}

TEST(BitmapReader, PaletteIsSpreadSoTheValueRangeReachesEveryColour) {
    auto zero = [](int, int) { return 0; };
    BitmapImage img;
    std::string why;
    // 8 bits, 3 colours used: those first, then the grey ramp goes on.
    std::string b = makeBmp(8, 4, 4, 3, zero);
    put32(b, 46, 3);
    ASSERT_TRUE(parse(b, img, why)) << why;
    EXPECT_EQ(img.maxValue, 255);
    EXPECT_EQ(img.palette[2], colourOf(2));
    EXPECT_EQ(img.palette[3], 0xFF030303u);
    // 4 bits: each colour 16 times, top value 15.
    ASSERT_TRUE(parse(makeBmp(4, 4, 4, 16, zero), img, why));
    EXPECT_EQ(img.maxValue, 15);
    EXPECT_EQ(img.palette[16 * 5 + 15], colourOf(5));
    EXPECT_EQ(img.palette[255], colourOf(15));
    // 2 bits: each colour 64 times, top value 3 (value v lands on entry 85v).
    ASSERT_TRUE(parse(makeBmp(2, 4, 4, 4, zero), img, why));
    EXPECT_EQ(img.maxValue, 3);
    for (int v = 0; v < 4; ++v)
        EXPECT_EQ(img.palette[size_t(85 * v)], colourOf(v));
    // Core header: 3-byte entries.
    ASSERT_TRUE(parse(makeBmp(8, 4, 4, 256, zero, true), img, why)) << why;
    EXPECT_EQ(img.palette[7], colourOf(7));
}

TEST(BitmapReader, TopDownBitmapIsTurnedToTheBottomUpOrder) {
    auto px = [](int r, int) { return r; };
    const std::string down = makeBmp(8, 3, -4, 256, px);
    BitmapImage img;
    std::string why;
    ASSERT_TRUE(parse(down, img, why)) << why;
    EXPECT_EQ(img.height, 4);
    // Stored first is the top row (3); row 0 of the result is the bottom.
    EXPECT_EQ(img.indices[0], 3);
    EXPECT_EQ(img.indices[3 * 3], 0);
}

TEST(BitmapReader, DamagedHeadersAreRefusedWithAReason) {
    auto zero = [](int, int) { return 0; };
    const std::string good = makeBmp(8, 8, 8, 256, zero);
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    auto with32 = [&](size_t at, uint32_t v) {
        std::string b = good;
        put32(b, at, v);
        return b;
    };
    auto with16 = [&](size_t at, uint16_t v) {
        std::string b = good;
        put16(b, at, v);
        return b;
    };
    cases.push_back({"24 bits", with16(28, 24)});
    cases.push_back({"zero width", with32(18, 0)});
    cases.push_back({"negative width", with32(18, uint32_t(-8))});
    cases.push_back({"zero height", with32(22, 0)});
    cases.push_back({"too many pixels", with32(18, 0x40000000u)});
    cases.push_back({"height at the limit with width 2", [&] {
                         std::string b = with32(18, 2);
                         put32(b, 22, 0x40000000u);
                         return b;
                     }()});
    cases.push_back({"rle4 on an 8-bit picture", with32(30, 2)});
    cases.push_back({"colour masks", with32(30, 3)});
    cases.push_back({"rle8 top-down", [&] {
                         std::string b = with32(30, 1);
                         put32(b, 22, uint32_t(-8));
                         return b;
                     }()});
    cases.push_back({"header size 64", with32(14, 64)});
    cases.push_back({"pixel offset past the end", with32(10, uint32_t(good.size() + 1))});
    cases.push_back({"pixel offset leaving short rows", with32(10, uint32_t(good.size() - 10))});
    cases.push_back({"rows cut off", good.substr(0, good.size() - 1)});
    cases.push_back({"palette cut off", good.substr(0, 14 + 40 + 100)});
    cases.push_back({"header cut off", good.substr(0, 30)});
    cases.push_back({"not BM", "XM" + good.substr(2)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapImage img;
        std::string why;
        EXPECT_FALSE(parse(c.bytes, img, why));
        EXPECT_FALSE(why.empty());
    }
}

TEST(BitmapDocument, BitmapBecomesAFortranByteArrayWithItsPaletteOnTheControl) {
    TempDir dir;
    SettingsStore store(QString::fromStdString(dir.file("s.ini")));
    RecordingSink sink;
    FakeGraphView graph;
    CArrayDoc doc(store, sink);
    doc.addView(&graph);
    auto px = [](int r, int c) { return (r + c) % 16; };
    const std::string path = dir.write("pic.bmp", makeBmp(4, 6, 3, 16, px));
    ASSERT_TRUE(doc.open(path)) << (sink.shown.empty() ? "" : sink.shown[0].text);
    const aglArray& a = *doc.currentArray();
    EXPECT_EQ(doc.fileKind(), CArrayDoc::KindBitmap);
    EXPECT_EQ(a.typeCode(), AGL_UCHAR);
    EXPECT_EQ(a.language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(a.extent(0), 3);
    EXPECT_EQ(a.extent(1), 6);
    EXPECT_EQ(a.lowerBound(0), 1);
    EXPECT_EQ(a.rowDim(), 0);
    EXPECT_EQ(a.colDim(), 1);
    EXPECT_EQ(a.value(4, 2), double(px(2, 4)));
    RecordingControl& c = graph.dispatch;
    ASSERT_NE(doc.paletteSegment(), nullptr);
    EXPECT_EQ(c.str(DISPID_PaletteFileName), doc.paletteSegment()->name());
    EXPECT_EQ(doc.paletteSegment()->typeCode(), AGL_ULONG);
    EXPECT_EQ(doc.paletteSegment()->elementCount(), 256);
    EXPECT_EQ(c.GetProperty(DISPID_PaletteMaxVal).toDouble(), 15.0);
    EXPECT_FALSE(c.GetProperty(DISPID_PaletteAutoAdjust).toBool());
    EXPECT_EQ(c.num(DISPID_GraphType), 2); // the image map
}

// ---- Longer headers and run-length compression -------------------------------

// A bitmap with an information header of infoSize bytes (its first 40 as
// the 40-byte one's, the rest zeros), 16 colours, and the given pixel bytes
// (compression 0, 1 or 2).
std::string bmpWith(uint32_t infoSize, int bits, int32_t width, int32_t height,
                    uint32_t compression, const std::string& pixels) {
    const size_t offset = 14 + infoSize + 16 * 4;
    std::string b(offset, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, uint32_t(offset));
    put32(b, 14, infoSize);
    put32(b, 18, uint32_t(width));
    put32(b, 22, uint32_t(height));
    put16(b, 26, 1);
    put16(b, 28, uint16_t(bits));
    put32(b, 30, compression);
    put32(b, 46, 16);
    for (int k = 0; k < 16; ++k) {
        b[14 + infoSize + size_t(k) * 4 + 0] = char(k);
        b[14 + infoSize + size_t(k) * 4 + 1] = char(2 * k);
        b[14 + infoSize + size_t(k) * 4 + 2] = char(3 * k);
    }
    return b + pixels;
}

class LongerHeader : public ::testing::TestWithParam<uint32_t> {};

TEST_P(LongerHeader, ReadsLikeTheFortyByteOne) {
    // 3 x 2 at 8 bits: rows of 4 bytes, bottom row first.
    const std::string rows("\x01\x02\x03\x00\x04\x05\x06\x00", 8);
    BitmapImage plain, longer;
    std::string why;
    ASSERT_TRUE(parse(bmpWith(40, 8, 3, 2, 0, rows), plain, why)) << why;
    ASSERT_TRUE(parse(bmpWith(GetParam(), 8, 3, 2, 0, rows), longer, why)) << why;
    EXPECT_EQ(longer.indices, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(longer.indices, plain.indices);
    EXPECT_EQ(longer.palette, plain.palette);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LongerHeader, ::testing::Values(52u, 56u, 108u, 124u));

TEST(BitmapRle, Rle8RunsLiteralsLineEndsAndDeltasFillTheIndexArray) {
    // 5 x 3: row 0 a run of three 7s then a literal 1 2 3 (three bytes and a
    // pad byte) whose 3 falls past the row's end; row 1 skipped by a delta
    // to (1, 2); row 2 a run of 9s past the row's end, then the end mark.
    const std::string stream("\x03\x07"                 // run 7 7 7
                             "\x00\x03\x01\x02\x03\x00" // literal 1 2 3 (padded)
                             "\x00\x00"                 // end of line
                             "\x00\x02\x01\x01"         // delta right 1, up 1
                             "\x09\x09"                 // nine 9s from (1, 2): four fit
                             "\x00\x01",                // end of picture
                             18);
    BitmapImage img;
    std::string why;
    ASSERT_TRUE(parse(bmpWith(40, 8, 5, 3, 1, stream), img, why)) << why;
    EXPECT_EQ(img.indices, (std::vector<uint8_t>{7, 7, 7, 1, 2, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9}));
}

TEST(BitmapRle, Rle4RunsAlternateNibblesAndLiteralsArePacked) {
    // 4 x 2: row 0 a run of four from 0x12 (1 2 1 2); row 1 a literal of
    // three pixels 3 4 5 (two bytes, even already).
    const std::string stream("\x04\x12\x00\x00"
                             "\x00\x03\x34\x50"
                             "\x00\x01",
                             10);
    BitmapImage img;
    std::string why;
    ASSERT_TRUE(parse(bmpWith(124, 4, 4, 2, 2, stream), img, why)) << why;
    EXPECT_EQ(img.indices, (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(img.maxValue, 15);
}

TEST(BitmapRle, StreamsEndingEarlyAreRefused) {
    for (const std::string& stream :
         {std::string("\x03\x07", 2), std::string("\x03", 1), std::string("\x00\x05\x01\x02", 4),
          std::string("\x00\x02\x01", 3), std::string()}) {
        SCOPED_TRACE(stream.size());
        BitmapImage img;
        std::string why;
        EXPECT_FALSE(parse(bmpWith(40, 8, 5, 3, 1, stream), img, why));
        EXPECT_EQ(why, "compressed bitmap ends before its end mark");
    }
}

// A few hundred bytes of run-length code whose header claims a picture of
// 20000 x 1000 (or 2^30) pixels: refused with the sizes, before any storage
// is made for it. The largest picture its code could really fill still reads.
TEST(BitmapRle, PictureFarLargerThanItsCodeCouldFillIsRefused) {
    std::string stream;
    for (int i = 0; i < 520; ++i)
        stream += std::string("\xff\x05", 2);
    stream += std::string("\x00\x01", 2);
    for (const auto& [width, height] : {std::pair{20000, 1000}, std::pair{32768, 32768}}) {
        BitmapImage img;
        std::string why;
        EXPECT_FALSE(parse(bmpWith(40, 8, width, height, 1, stream), img, why));
        EXPECT_NE(why.find("compressed bitmap claims " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels, more than its"),
                  std::string::npos)
            << why;
        EXPECT_TRUE(img.indices.empty());
    }
    // 520 runs of 255 fill 520 rows of 255.
    BitmapImage img;
    std::string why;
    std::string rows;
    for (int i = 0; i < 520; ++i)
        rows += std::string("\xff\x05\x00\x00", 4);
    rows += std::string("\x00\x01", 2);
    ASSERT_TRUE(parse(bmpWith(40, 8, 255, 520, 1, rows), img, why)) << why;
    EXPECT_EQ(img.indices.size(), 255u * 520u);
    EXPECT_EQ(img.indices.back(), 5);
}

// Run-length code may rightly describe a picture far larger than itself:
// deltas skip blank stretches, line ends leave the rest of a row blank and
// the end mark the rest of the picture. Two pictures of 6000 x 4000 from a
// few hundred bytes and from 16 KB read in full.
std::string rleDelta(int dx, int dy) {
    return std::string("\x00\x02", 2) + char(dx) + char(dy);
}

TEST(BitmapRle, LargePicturesWithBlankStretchesRead) {
    // Three 9s at the bottom left; deltas to the top row; twelve 5s at its
    // right end.
    std::string sparse("\x03\x09", 2);
    for (int i = 0; i < 15; ++i)
        sparse += rleDelta(255, 255);
    sparse += rleDelta(255, 174);
    for (int i = 0; i < 7; ++i)
        sparse += rleDelta(255, 0);
    sparse += rleDelta(120, 0) + std::string("\x0c\x05\x00\x01", 4);
    BitmapImage img;
    std::string why;
    ASSERT_TRUE(parse(bmpWith(40, 8, 6000, 4000, 1, sparse), img, why)) << why;
    ASSERT_EQ(img.indices.size(), 6000u * 4000u);
    EXPECT_EQ(img.indices[2], 9);
    EXPECT_EQ(img.indices[3], 0);
    EXPECT_EQ(img.indices[3999u * 6000u + 5987u], 0);
    EXPECT_EQ(img.indices[3999u * 6000u + 5988u], 5);
    EXPECT_EQ(img.indices.back(), 5);

    // The bottom 1000 rows drawn 1600 pixels wide, each ended early by a
    // line end; the end mark leaves the other 3000 rows blank.
    std::string rows;
    for (int r = 0; r < 1000; ++r) {
        for (int k = 0; k < 6; ++k)
            rows += std::string("\xff\x04", 2);
        rows += std::string("\x46\x04\x00\x00", 4);
    }
    rows += std::string("\x00\x01", 2);
    ASSERT_TRUE(parse(bmpWith(40, 8, 6000, 4000, 1, rows), img, why)) << why;
    EXPECT_EQ(img.indices[999u * 6000u + 1599u], 4);
    EXPECT_EQ(img.indices[999u * 6000u + 1600u], 0);
    EXPECT_EQ(img.indices[1000u * 6000u], 0);
}

// Headers that claim far more than the code describes: line ends alone
// under a picture 100000 pixels wide (the code draws nothing), and deltas
// that walk to the far corner of 20000 x 20000 (the code reaches it all,
// but no compressed picture may be that large). Each is refused, naming the
// sizes, before any storage is made.
TEST(BitmapRle, PicturesFarBeyondWhatTheCodeDescribesAreRefused) {
    std::string lineEnds;
    for (int i = 0; i < 540; ++i)
        lineEnds += std::string("\x00\x00", 2);
    lineEnds += std::string("\x00\x01", 2);
    BitmapImage img;
    std::string why;
    EXPECT_FALSE(parse(bmpWith(40, 8, 100000, 540, 1, lineEnds), img, why));
    EXPECT_EQ(why, "compressed bitmap claims 100000 x 540 pixels, more than its 1082 bytes of "
                   "pixel data can describe (they reach 0 x 540)");
    EXPECT_TRUE(img.indices.empty());

    std::string walk;
    for (int i = 0; i < 78; ++i)
        walk += rleDelta(255, 255);
    walk += rleDelta(109, 109) + std::string("\x01\x07\x00\x01", 4);
    EXPECT_FALSE(parse(bmpWith(40, 8, 20000, 20000, 1, walk), img, why));
    EXPECT_EQ(why, "compressed bitmap claims 20000 x 20000 pixels, more than the 268435456 "
                   "pixels a compressed bitmap may have");
    EXPECT_TRUE(img.indices.empty());
}

// Files ImageMagick wrote, against the pixel list ImageMagick gives for
// them: every pixel's index must name the colour ImageMagick sees there.
class MagickBitmap : public ::testing::TestWithParam<const char*> {};

TEST_P(MagickBitmap, EveryPixelHasTheColourImageMagickReports) {
    const std::string base = std::string(TAVRIX_SOURCE_DIR) + "/tests/data/bmp/" + GetParam();
    const std::string bytes = readAll(base + ".bmp");
    ASSERT_FALSE(bytes.empty());
    BitmapImage img;
    std::string why;
    ASSERT_TRUE(parse(bytes, img, why)) << why;
    const int repeat = img.bitsPerPixel == 4 ? 16 : 1;
    std::istringstream list(readAll(base + ".txt"));
    int x, y, count = 0;
    std::string hex;
    while (list >> x >> y >> hex) {
        ASSERT_LT(x, img.width);
        ASSERT_LT(y, img.height);
        const uint32_t rgb = uint32_t(std::stoul(hex.substr(1), nullptr, 16));
        const uint32_t expected =
            0xFF000000u + (rgb & 0xFF) * 65536u + (rgb >> 8 & 0xFF) * 256u + (rgb >> 16);
        const int index = img.indices[size_t((img.height - 1 - y) * img.width + x)];
        EXPECT_EQ(img.palette[size_t(index * repeat)], expected) << x << "," << y;
        ++count;
    }
    EXPECT_EQ(count, img.width * img.height);
}

INSTANTIATE_TEST_SUITE_P(Files, MagickBitmap,
                         ::testing::Values("magick_124_4bit", "magick_40_4bit", "magick_124_rle8",
                                           "magick_124_rle8_200"));
