// Over 800 lines: one command end to end, its options and failures side by side.
// agltool render end to end: a picture of the requested size with the plot
// in it, the options that change it, and clear failures for bad input.
#include "ImageCompare.h"
#include "TempDir.h"
#include "core/SegmentImage.h"
#include "plotrane/PropertyTable.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun agltool(const std::string& args) {
    const std::string cmd = std::string(TAVRIX_BINARY_DIR) + "/bin/agltool " + args + " 2>&1";
    ToolRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

// A rows x columns float file whose values come from f.
template <typename F>
std::string floatFile(const TempDir& dir, const char* name, int rows, int columns, F f) {
    SegmentImage img;
    img.type = 6; // AGL_FLOAT
    img.extents = {rows, columns};
    img.lower = {0, 0};
    std::string data;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            SegmentImage::put(data, float(f(r, c)));
    return dir.write(name, img.header() + data);
}

int inkPixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++n;
    return n;
}

} // namespace

TEST(AgltoolRender, DrawsThePlotAtTheRequestedSize) {
    TempDir dir;
    const std::string in = floatFile(dir, "hill.agl", 30, 40, [](int r, int c) {
        return std::sin(r * 0.2) * std::cos(c * 0.15);
    });
    const std::string out = dir.path() + "/hill.png";
    ToolRun run = agltool("render " + in + " " + out + " --size 320x200");
    ASSERT_EQ(run.status, 0) << run.out;
    QImage img(QString::fromStdString(out));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), 320);
    EXPECT_EQ(img.height(), 200);
    const int surface = inkPixels(img);
    EXPECT_GT(surface, 320 * 200 / 20);
    // Another style and another camera give another picture.
    const std::string bars = dir.path() + "/bars.png";
    ASSERT_EQ(agltool("render " + in + " " + bars +
                      " --size 320x200 --style 2 --azimuth 30 "
                      "--elevation 60 --distance 2.5 --palette 1")
                  .status,
              0);
    QImage b(QString::fromStdString(bars));
    ASSERT_FALSE(b.isNull());
    EXPECT_NE(b, img);
}

TEST(AgltoolRender, AllHoleAndConstantArraysDrawWithoutFailing) {
    TempDir dir;
    const std::string nan = floatFile(
        dir, "nan.agl", 8, 8, [](int, int) { return std::numeric_limits<double>::quiet_NaN(); });
    const std::string flat = floatFile(dir, "flat.agl", 8, 8, [](int, int) { return 3.0; });
    for (const std::string& in : {nan, flat}) {
        const std::string out = in + ".png";
        ToolRun run = agltool("render " + in + " " + out + " --size 200x150");
        EXPECT_EQ(run.status, 0) << in << "\n" << run.out;
        EXPECT_FALSE(QImage(QString::fromStdString(out)).isNull());
    }
    // All holes: only the axes and the palette bar, no surface.
    const int holes = inkPixels(QImage(QString::fromStdString(nan + ".png")));
    const int constant = inkPixels(QImage(QString::fromStdString(flat + ".png")));
    EXPECT_GT(holes, 0);
    EXPECT_GT(constant, holes + 500);
}

TEST(AgltoolRender, BadInputFailsWithAMessageAndNoPicture) {
    TempDir dir;
    const std::string in = floatFile(dir, "a.agl", 4, 4, [](int r, int c) { return r + c; });
    const std::string out = dir.path() + "/never.png";
    for (const char* opts : {"--size 10x10",
                             "--size 100",
                             "--style 5",
                             "--palette 9",
                             "--aa -1",
                             "--roi 0:3:1",
                             "--roi 0:0:9",
                             "--rowdim 4",
                             "--elevation north",
                             "--distance 0",
                             "--background 12345",
                             "--bogus 1",
                             "--style",
                             "--level 3",
                             "--level -1",
                             "--type 4",
                             "--view -1",
                             "--orientation 4",
                             "--filter 2",
                             "--xcomp -2",
                             "--wcomp x",
                             "--plane --type 2",
                             "--type 3 --xcomp 9 --ycomp -1 --zcomp -1 --wcomp -1"}) {
        ToolRun run = agltool("render " + in + " " + out + " " + opts);
        EXPECT_EQ(run.status, 2) << opts << "\n" << run.out;
        EXPECT_NE(run.out.find("agltool"), std::string::npos) << opts;
        EXPECT_TRUE(QImage(QString::fromStdString(out)).isNull()) << opts;
    }
    ToolRun missing = agltool("render " + dir.path() + "/none.agl " + out);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find("none.agl"), std::string::npos) << missing.out;
}

// Pixels in the right 60 columns of img that have the palette's top colour
// (the rainbow's red): the palette bar is shown.
int barRed(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = img.width() - 60; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 230 && c.green() < 30 && c.blue() < 30) ++n;
        }
    return n;
}

TEST(AgltoolRender, EveryGraphTypeDrawsThroughTheSamePipeline) {
    TempDir dir;
    // 30 x 40 with a block of no data in the middle.
    const std::string in = floatFile(dir, "w.agl", 30, 40, [](int r, int c) {
        if (r >= 10 && r < 20 && c >= 14 && c < 26) return std::numeric_limits<double>::quiet_NaN();
        return std::sin(r * 0.2) * std::cos(c * 0.15);
    });
    const auto render = [&](const std::string& name, const std::string& opts) {
        const std::string out = dir.path() + "/" + name + ".png";
        ToolRun run = agltool("render " + in + " " + out + " --size 200x150 " + opts);
        EXPECT_EQ(run.status, 0) << opts << "\n" << run.out;
        return QImage(QString::fromStdString(out));
    };
    const QImage image = render("image", "--type 2 --aspect fill");
    ASSERT_FALSE(image.isNull());
    // The image fills the box, seen from the top, except where there is no
    // data: there the box's floor shows through, grey as no rainbow colour
    // is. The graph area is the width left of the palette bar's strip (a
    // third of 200 pixels); the fixed view spans -0.3..1.2 across it and
    // -0.2..1.1 up it.
    const double gw = 134.0;
    const auto boxPixel = [&](const QImage& img, double x, double y) {
        return img.pixelColor(int((x + 0.3) / 1.5 * gw), int(150 - (y + 0.2) / 1.3 * 150));
    };
    const auto same = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <=
               12;
    };
    const QColor hole = boxPixel(image, 0.5, 0.5);
    EXPECT_TRUE(hole.red() == hole.green() && hole.green() == hole.blue())
        << hole.name().toStdString();
    EXPECT_NE(boxPixel(image, 0.1, 0.1), hole);
    EXPECT_NE(boxPixel(image, 0.9, 0.9), hole);
    // Orientation 3 turns the image: the corners swap (the filter blends a little).
    const QImage turned = render("turned", "--type 2 --aspect fill --orientation 3 --filter 1");
    EXPECT_TRUE(same(boxPixel(turned, 0.1, 0.1), boxPixel(image, 0.9, 0.9)));
    EXPECT_TRUE(same(boxPixel(turned, 0.9, 0.1), boxPixel(image, 0.1, 0.9)));
    EXPECT_FALSE(same(boxPixel(image, 0.1, 0.1), boxPixel(image, 0.9, 0.9)));
    // The vector graph of columns 0 and 1 (blue points) has no palette bar:
    // nothing to colour by. With the fourth component it has one.
    const QImage vector = render("vector", "--type 3 --zcomp -1 --wcomp -1");
    EXPECT_GT(inkPixels(vector), 200);
    EXPECT_EQ(barRed(vector), 0);
    EXPECT_GT(barRed(image), 50);
    EXPECT_GT(barRed(render("vector4", "--type 3")), 50);
    // The plane view draws a window with a short side; a window short
    // neither way is refused, as the viewer refuses it.
    EXPECT_GT(inkPixels(render("plane", "--plane --roi 0:0:5")), 2000);
    const ToolRun wide = agltool("render " + in + " " + dir.path() + "/never.png --plane");
    EXPECT_EQ(wide.status, 2);
    EXPECT_NE(wide.out.find("30 x 40 cannot be shown as a plane view"), std::string::npos)
        << wide.out;
    // GraphType 0 draws nothing.
    EXPECT_EQ(inkPixels(render("none", "--type 0")), 0);
}

// The bounding box of the palette's colours left of x = right: the image
// map's cells (the axes, walls and text are grey or black).
QRect colouredBox(const QImage& img, int right) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < right; ++x) {
            const QColor c = img.pixelColor(x, y);
            const int hi = std::max({c.red(), c.green(), c.blue()});
            const int lo = std::min({c.red(), c.green(), c.blue()});
            if (hi - lo > 80) box |= QRect(x, y, 1, 1);
        }
    return box;
}

// With the data's aspect (agltool's default, as the viewer's) every cell of
// an image map is square whatever the picture's shape: a 256 x 256 array is
// drawn square, 100 rows of 400 columns four times as wide as tall (up to
// ten to one: a strip of a few rows stays visible). Fill stretches the image
// over the graph area; XScale and YScale shape it.
TEST(AgltoolRender, ImageMapCellsAreSquareWithTheDataAspect) {
    TempDir dir;
    const auto ramp = [](int r, int c) { return std::sin(r * 0.05) + std::cos(c * 0.03); };
    const std::string square = floatFile(dir, "square.agl", 256, 256, ramp);
    const std::string wide = floatFile(dir, "wide.agl", 100, 400, ramp);
    const auto boxOf = [&](const std::string& in, const std::string& opts) {
        const std::string out = dir.path() + "/a.png";
        const ToolRun run = agltool("render " + in + " " + out + " " + opts);
        EXPECT_EQ(run.status, 0) << opts << "\n" << run.out;
        const QImage img(QString::fromStdString(out));
        // The palette bar's strip is the right 120 pixels.
        return colouredBox(img, img.width() - 120);
    };
    const auto ratio = [](const QRect& r) { return double(r.width()) / double(r.height()); };
    for (const char* size : {"800x600", "1000x400", "500x700"}) {
        const std::string opts = std::string("--graph-type 2 --size ") + size;
        const QRect s = boxOf(square, opts);
        EXPECT_NEAR(ratio(s), 1.0, 0.03) << size;
        EXPECT_GT(s.width(), 150) << size;
        EXPECT_NEAR(ratio(boxOf(wide, opts)), 4.0, 0.12) << size;
        EXPECT_NEAR(ratio(boxOf(wide, opts + " --aspect data")), 4.0, 0.12) << size;
    }
    // A strip of 3 rows of 445 stays readable: ten times as wide as tall,
    // its cells taller than wide.
    const std::string strip = floatFile(dir, "strip.agl", 3, 445, ramp);
    EXPECT_NEAR(ratio(boxOf(strip, "--graph-type 2")), 10.0, 0.4);
    // Stretched, the square array takes the graph area's shape.
    EXPECT_GT(ratio(boxOf(square, "--graph-type 2 --size 1000x400 --aspect fill")), 1.5);
    // XScale halves the stretched image's width.
    const QRect full = boxOf(square, "--graph-type 2 --aspect fill");
    const QRect half = boxOf(square, "--graph-type 2 --aspect fill --set XScale=0.5");
    EXPECT_NEAR(double(half.width()) / full.width(), 0.5, 0.03);
    EXPECT_NEAR(half.height(), full.height(), 2);
    // A bad mode is refused with the choices.
    const ToolRun bad = agltool("render " + square + " " + dir.path() + "/b.png --aspect tall");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("data or fill"), std::string::npos) << bad.out;
}

// Property options take their range from the control's property table: a
// value just outside it is refused with that range, the edge itself passes
// the parser (and the array is then drawn).
TEST(AgltoolRender, PropertyOptionsTakeTheirRangeFromTheTable) {
    TempDir dir;
    const std::string in = floatFile(dir, "a.agl", 4, 4, [](int r, int c) { return r * c; });
    const std::string out = dir.path() + "/never.png";
    struct Case {
        const char* option;
        const char* value;
        const char* want;
    };
    for (const Case& c : {Case{"--cache", "3", "0..2"}, Case{"--shading", "2", "0..1"},
                          Case{"--texture", "-1", "0..2"}, Case{"--hidden-line", "2", "0 or 1"},
                          Case{"--resolution", "0", "1 or more"}, Case{"--coldim", "7", "0..6"},
                          Case{"--azimuth", "inf", "a number"}, Case{"--style", "1.5", "0..4"}}) {
        ToolRun run = agltool("render " + in + " " + out + " " + c.option + " " + c.value);
        EXPECT_EQ(run.status, 2) << c.option << " " << c.value;
        EXPECT_NE(run.out.find(std::string("(want ") + c.want + ")"), std::string::npos)
            << c.option << "\n"
            << run.out;
    }
    const std::string edge = dir.path() + "/edge.png";
    ToolRun run = agltool("render " + in + " " + edge +
                          " --size 64x48 --cache 2 --texture 2 --palette 6 --aa 0 --style 4");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_FALSE(QImage(QString::fromStdString(edge)).isNull());
}

TEST(AgltoolRender, OnlyTheSavedLevelIsDrawnAndTheSpinAdaptsAtACoarseLevel) {
    TempDir dir;
    // 400 x 400: resolutions 16, 8 and 2 at the initial budgets.
    const std::string in = floatFile(dir, "wave.agl", 400, 400, [](int r, int c) {
        return std::sin(r * 0.05) * std::cos(c * 0.04);
    });
    QImage pictures[3];
    for (int L = 0; L < 3; ++L) {
        const std::string out = dir.path() + "/level" + std::to_string(L) + ".png";
        ToolRun run = agltool("render " + in + " " + out + " --size 240x180 --level " +
                              std::to_string(L) + " --trace");
        ASSERT_EQ(run.status, 0) << run.out;
        // A picture that is only saved shows the level it is saved at and
        // no coarser one on the way (nor a finer one).
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(run.out.find("setting LOD level to: " + std::to_string(k)) !=
                          std::string::npos,
                      k == L)
                << "level " << k << "\n"
                << run.out;
        pictures[L].load(QString::fromStdString(out));
        ASSERT_FALSE(pictures[L].isNull());
    }
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[1], pictures[2]);
    // Without --level: the finest level the rules allow.
    const std::string finest = dir.path() + "/finest.png";
    ASSERT_EQ(agltool("render " + in + " " + finest + " --size 240x180").status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(finest)), pictures[2]);

    // Spinning shows level 0 and reports how it went. The budget adapts to
    // the frame times live (after the first ten frames): 16 at the initial
    // budget, coarser on a busy machine (32 under a sanitizer beside other
    // tests), finer on a fast one; never the finest level's 2 or less, and
    // never coarser than one sample of the window per axis.
    const std::string spun = dir.path() + "/spun.png";
    ToolRun run = agltool("render " + in + " " + spun + " --size 240x180 --frames 12 --spin");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("12 frames"), std::string::npos) << run.out;
    const size_t at = run.out.find("level 0, resolution ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const int resolution = std::atoi(run.out.c_str() + at + 20);
    EXPECT_GT(resolution, 2) << run.out;
    EXPECT_LE(resolution, 400) << run.out;
}

// Option values a float cannot hold are refused, not turned into an
// infinity the camera ignores; a picture that cannot be written is a
// failure with a message, whatever the output is.
TEST(AgltoolRender, NumbersBeyondAFloatAndUnwritableOutputsAreRefused) {
    TempDir dir;
    const std::string in = floatFile(dir, "f.agl", 8, 8, [](int r, int c) { return r + c; });
    const std::string out = dir.file("o.png");
    for (const char* option : {"--distance 1e39", "--elevation -1e39", "--azimuth 3.5e38",
                               "--roi 0:4294967297:4294967298", "--aa 4294967296"}) {
        ToolRun run = agltool("render " + in + " " + out + " --size 16x16 " + option);
        EXPECT_EQ(run.status, 2) << option << "\n" << run.out;
        EXPECT_NE(run.out.find("bad --"), std::string::npos) << run.out;
    }
    EXPECT_EQ(agltool("render " + in + " " + out + " --size 16x16 --distance 3e38").status, 0);

    const std::string fifo = dir.file("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& target : {std::string("/dev/full"), fifo}) {
        ToolRun run = agltool("render " + in + " " + target + " --size 16x16");
        EXPECT_EQ(run.status, 2) << target;
        EXPECT_NE(run.out.find("cannot write the picture"), std::string::npos) << run.out;
    }
}

// ---- Wide value ranges --------------------------------------------------------

namespace {

struct WideRangePicture {
    const char* name;
    uint8_t type; // header type byte: 3 AGL_SHORT, 6 AGL_FLOAT, 7 AGL_DOUBLE
    double low, high;
};
// ctest shows the case by its name.
void PrintTo(const WideRangePicture& c, std::ostream* out) {
    *out << c.name;
}

class WideRangeRender : public ::testing::TestWithParam<WideRangePicture> {};

// Whether some pixel of the graph part (left of the palette bar) is nearly
// the palette's first colour (blue) and some other nearly its last (red).
bool showsBothEndsOfThePalette(const QImage& img, int graphWidth) {
    bool blue = false, red = false;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < graphWidth; ++x) {
            const QColor c = img.pixelColor(x, y);
            blue = blue || (c.blue() > 150 && c.red() < 60 && c.green() < 60);
            red = red || (c.red() > 150 && c.green() < 80 && c.blue() < 60);
        }
    return blue && red;
}

} // namespace

// Data spanning a million, a full 16-bit recording, -1e38..1e38: the surface
// runs through the whole palette (it once came out in one colour past a
// width of about 8.4e5), and the z numbers, however wide, stay whole inside
// the picture on round ticks.
TEST_P(WideRangeRender, SurfaceUsesTheWholePaletteAndNumbersStayWhole) {
    const WideRangePicture p = GetParam();
    TempDir dir;
    SegmentImage img;
    img.type = p.type;
    img.extents = {16, 16};
    img.lower = {0, 0};
    std::string data;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) {
            const double v = p.low + (p.high - p.low) * ((r * 16 + c) / 255.0);
            if (p.type == 3)
                SegmentImage::put(data, int16_t(std::lround(v)));
            else if (p.type == 6)
                SegmentImage::put(data, float(v));
            else
                SegmentImage::put(data, v);
        }
    const std::string in = dir.write("wide.agl", img.header() + data);
    const std::string out = dir.file("wide.png");
    ToolRun run = agltool("render " + in + " " + out + " --size 320x240");
    ASSERT_EQ(run.status, 0) << run.out;
    const QImage picture(QString::fromStdString(out));
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(showsBothEndsOfThePalette(picture, 320 - 120));
    EXPECT_TRUE(tavrix::test::matchesBaseline(picture, std::string("wide_range_") + p.name));
}

INSTANTIATE_TEST_SUITE_P(AgltoolRender, WideRangeRender,
                         ::testing::Values(WideRangePicture{"float_0_to_1e6", 6, 0.0, 1e6},
                                           WideRangePicture{"short_full", 3, -32768.0, 32767.0},
                                           WideRangePicture{"double_1e38", 7, -1e38, 1e38}),
                         [](const auto& w) { return std::string(w.param.name); });

// The same picture as vectors: SVG rasterised by rsvg-convert matches the
// PNG frame (in 8 x 8 blocks with a generous tolerance: lines, grid lines
// and text are drawn differently), its axis numbers are text, and the PDF
// opens in pdftoppm.
struct VectorCase {
    const char* name;
    const char* options;
    bool columnAxis; // an axis numbered by column (the vector graph's are values)
    bool textOnly;   // the only dark grey is text (no grid lines over the data)
};
// ctest shows the case by its name.
void PrintTo(const VectorCase& c, std::ostream* out) {
    *out << c.name;
}
class VectorRender : public ::testing::TestWithParam<VectorCase> {};

TEST_P(VectorRender, SvgMatchesTheFrameAndPdfOpens) {
    TempDir dir;
    const std::string in = floatFile(dir, "hill.agl", 30, 40, [](int r, int c) {
        return std::sin(r * 0.2) * std::cos(c * 0.15);
    });
    const std::string base = dir.path() + "/" + GetParam().name;
    const std::string opts = std::string(" --size 400x300 ") + GetParam().options;
    ToolRun run = agltool("render " + in + " " + base + ".png" + opts);
    ASSERT_EQ(run.status, 0) << run.out;
    run = agltool("render " + in + " " + base + ".svg" + opts);
    ASSERT_EQ(run.status, 0) << run.out;
    run = agltool("render " + in + " " + base + ".pdf" + opts);
    ASSERT_EQ(run.status, 0) << run.out;

    FILE* f = std::fopen((base + ".svg").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string svg;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        svg.append(buf, n);
    std::fclose(f);
    // Axis numbers stay text: "10", "20" and "30" along the columns.
    size_t texts = 0;
    for (size_t at = svg.find("<text"); at != std::string::npos; at = svg.find("<text", at + 1))
        ++texts;
    EXPECT_GE(texts, 6u);
    if (GetParam().columnAxis) {
        for (const char* number : {">10</text>", ">20</text>", ">30</text>"})
            EXPECT_NE(svg.find(number), std::string::npos) << number;
    }

    // 2 % margins: rasterised at 417 x 313, the middle 400 x 300 is the window.
    ASSERT_EQ(std::system(
                  ("rsvg-convert -w 417 -h 313 -o " + base + "_svg.png " + base + ".svg").c_str()),
              0)
        << "rsvg-convert (librsvg2-bin) is needed";
    const QImage frame =
        QImage(QString::fromStdString(base + ".png")).convertToFormat(QImage::Format_RGB32);
    const QImage raster = QImage(QString::fromStdString(base + "_svg.png"))
                              .convertToFormat(QImage::Format_RGB32)
                              .copy(8, 6, 400, 300);
    ASSERT_EQ(frame.size(), QSize(400, 300));
    int bad = 0, blocks = 0;
    for (int by = 0; by + 8 <= 300; by += 8)
        for (int bx = 0; bx + 8 <= 400; bx += 8, ++blocks) {
            int a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
            for (int y = by; y < by + 8; ++y)
                for (int x = bx; x < bx + 8; ++x) {
                    const QRgb p = frame.pixel(x, y), q = raster.pixel(x, y);
                    a[0] += qRed(p), a[1] += qGreen(p), a[2] += qBlue(p);
                    b[0] += qRed(q), b[1] += qGreen(q), b[2] += qBlue(q);
                }
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > 48 * 64) {
                    ++bad;
                    break;
                }
        }
    EXPECT_LE(bad, blocks / 8) << bad << " of " << blocks << " blocks differ";
    if (GetParam().textOnly) {
        // The text is as large and where the screen has it (numbers centred
        // on their ticks): its ink, dark grey, spans the same box. (Counts
        // of pixels would differ: the screen's glyphs are aliased.)
        const auto textInk = [](const QImage& img) {
            QRect box;
            for (int y = 2; y < img.height() - 2; ++y)
                for (int x = 2; x < img.width() - 2; ++x) {
                    const QColor c = img.pixelColor(x, y);
                    const int hi = std::max({c.red(), c.green(), c.blue()});
                    const int lo = std::min({c.red(), c.green(), c.blue()});
                    if (hi < 120 && hi - lo < 30) box |= QRect(x, y, 1, 1);
                }
            return box;
        };
        const QRect screenBox = textInk(frame);
        const QRect pictureBox = textInk(raster);
        EXPECT_NEAR(pictureBox.left(), screenBox.left(), 4);
        EXPECT_NEAR(pictureBox.right(), screenBox.right(), 4);
        EXPECT_NEAR(pictureBox.top(), screenBox.top(), 4);
        EXPECT_NEAR(pictureBox.bottom(), screenBox.bottom(), 4);
    }

    ASSERT_EQ(
        std::system(("pdftoppm -r 48 -png -singlefile " + base + ".pdf " + base + "_pdf").c_str()),
        0)
        << "pdftoppm (poppler-utils) is needed";
    const QImage page(QString::fromStdString(base + "_pdf.png"));
    ASSERT_FALSE(page.isNull());
    // 400 x 300 window pixels at 96 per inch, shown at 48 per inch.
    EXPECT_NEAR(page.width(), 200, 2);
    EXPECT_NEAR(page.height(), 150, 2);
    EXPECT_GT(inkPixels(page), 200 * 150 / 10);
}

INSTANTIATE_TEST_SUITE_P(AgltoolRender, VectorRender,
                         ::testing::Values(VectorCase{"surface", "", true, false},
                                           VectorCase{"image", "--type 2", true, true},
                                           VectorCase{"image_polygons", "--type 2 --vector-data",
                                                      true, true},
                                           VectorCase{"vector", "--type 3", false, true}),
                         [](const auto& p) { return std::string(p.param.name); });

// An image map's SVG carries its cells as one embedded image; --vector-data
// keeps them as polygons, and no image.
TEST(AgltoolRender, VectorDataKeepsTheDataAreaAsPolygons) {
    TempDir dir;
    const std::string in =
        floatFile(dir, "ramp.agl", 30, 40, [](int r, int c) { return double(r * 40 + c); });
    const auto svgOf = [&](const std::string& name, const std::string& options) {
        const std::string out = dir.path() + "/" + name + ".svg";
        const ToolRun run = agltool("render " + in + " " + out + " --type 2 " + options);
        EXPECT_EQ(run.status, 0) << run.out;
        std::string svg;
        if (FILE* f = std::fopen(out.c_str(), "rb")) {
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                svg.append(buf, n);
            std::fclose(f);
        }
        return svg;
    };
    const auto count = [](const std::string& text, const char* what) {
        size_t k = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++k;
        return k;
    };
    const std::string image = svgOf("image", "");
    const std::string polygons = svgOf("polygons", "--vector-data");
    ASSERT_FALSE(image.empty());
    ASSERT_FALSE(polygons.empty());
    EXPECT_GE(count(image, "<image"), 1u);
    EXPECT_EQ(count(polygons, "<image"), 0u);
    // The palette's colours along the ramp: a shape for each run of cells of
    // one colour, beyond the axes' and the palette bar's.
    const size_t imageShapes = count(image, "<path") + count(image, "<polygon");
    EXPECT_GE(count(polygons, "<path") + count(polygons, "<polygon"), imageShapes + 200);

    // A flag without a value, and not one for the PNG's sake only.
    const ToolRun png = agltool("render " + in + " " + dir.path() + "/p.png --vector-data");
    EXPECT_EQ(png.status, 0) << png.out;
    const ToolRun help = agltool("render --help");
    EXPECT_NE(help.out.find("--vector-data"), std::string::npos) << help.out;
}

// render reads what the other commands read: text, a NumPy int64 file read
// into a double copy, and an HDF object; each is drawn from the segment it
// was read into (an HDF file without --object is refused).
TEST(AgltoolRenderFormats, TextNumpyCopiesAndHdfObjectsAreDrawn) {
    TempDir dir;
    ASSERT_EQ(std::system(
                  (std::string(TAVRIX_BINARY_DIR) + "/bin/make_hdf_samples " + dir.path()).c_str()),
              0);
    const std::string text = dir.write("ramp.txt", "1 2 3 4\n2 3 4 5\n3 4 5 6\n");
    const std::string npy = std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/ok_default_int.npy";
    const std::string hdf = dir.file("scales.hdf") + " --object 0";
    for (const std::string& in : {text, npy, hdf}) {
        SCOPED_TRACE(in);
        const std::string png = dir.file("out.png");
        std::remove(png.c_str());
        const ToolRun run = agltool("render " + in + " " + png + " --size 160x120");
        ASSERT_EQ(run.status, 0) << run.out;
        const QImage image(QString::fromStdString(png));
        EXPECT_EQ(image.size(), QSize(160, 120));
    }
    const ToolRun noObject = agltool("render " + dir.file("scales.hdf") + " " + dir.file("x.png"));
    EXPECT_EQ(noObject.status, 2);
    EXPECT_NE(noObject.out.find("needs --object"), std::string::npos) << noObject.out;
}

// ---- The control's properties by name, property sets, several pictures -------

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A float array of the given extents (slowest first) in C or Fortran order
// of indices, with lower bounds; f gets the 0-based index of each dimension.
std::string floatArray(const TempDir& dir, const char* name, std::vector<int32_t> extents,
                       std::vector<int32_t> lower, int language,
                       const std::function<double(const std::vector<int>&)>& f) {
    SegmentImage img;
    img.type = 6; // AGL_FLOAT
    img.language = uint8_t(language);
    img.extents = extents;
    img.lower = lower;
    std::string data;
    std::vector<int> at(extents.size(), 0);
    for (bool more = true; more;) {
        SegmentImage::put(data, float(f(at)));
        more = false;
        for (size_t d = at.size(); d-- > 0;) {
            if (++at[d] < extents[d]) {
                more = true;
                break;
            }
            at[d] = 0;
        }
    }
    return dir.write(name, img.header() + data);
}

// Draws in with the options into dir/name.png; the picture (null on failure).
QImage rendered(const TempDir& dir, const std::string& in, const std::string& name,
                const std::string& options) {
    const std::string out = dir.file(name + ".png");
    const ToolRun run = agltool("render " + in + " " + out + " --size 200x150 " + options);
    EXPECT_EQ(run.status, 0) << options << "\n" << run.out;
    return QImage(QString::fromStdString(out));
}

} // namespace

// --set writes any property of the control's table, after the options, and
// draws what the option for the same property draws (the image map's
// orientation and filter reach the picture either way); a value the control
// refuses ends the command with the control's error and message, and no
// picture is written.
TEST(AgltoolRenderProperties, SetWritesAnyPropertyAndARefusalEndsTheCommand) {
    TempDir dir;
    const std::string in = floatFile(
        dir, "w.agl", 30, 40, [](int r, int c) { return std::sin(r * 0.2) * std::cos(c * 0.15); });
    const QImage plain = rendered(dir, in, "plain", "--type 2");
    const QImage byOption = rendered(dir, in, "option", "--type 2 --orientation 1");
    const QImage bySet = rendered(dir, in, "set", "--type 2 --set ImageOrientation=1");
    const QImage last =
        rendered(dir, in, "last", "--type 2 --orientation 3 --set ImageOrientation=1");
    const QImage filtered = rendered(dir, in, "filtered", "--type 2 --set ImageFilter=1");
    ASSERT_FALSE(plain.isNull());
    EXPECT_EQ(bySet, byOption);
    EXPECT_EQ(last, byOption) << "--set comes after the options";
    using tavrix::test::countDifferentPixels;
    EXPECT_GT(countDifferentPixels(plain, bySet, 16), 500);
    EXPECT_GT(countDifferentPixels(plain, filtered, 16), 50);
    // Properties without an option of their own.
    const QImage surface = rendered(dir, in, "surface", "");
    EXPECT_GT(
        countDifferentPixels(surface, rendered(dir, in, "axis", "--set AxisColor=FF0000"), 16),
        500);
    EXPECT_GT(countDifferentPixels(surface, rendered(dir, in, "bars", "--set GraphStyle=2"), 16),
              500);

    struct Refusal {
        const char* set;
        std::string message;
    };
    const std::string out = dir.file("never.png");
    for (const Refusal& r : {Refusal{"LineWidth=100", std::string("LineWidth: error 380: ") +
                                                          plotrane::controlMessage(201)},
                             Refusal{"GraphStyle=5", std::string("GraphStyle: error 380: ") +
                                                         plotrane::controlMessage(206)},
                             Refusal{"LineWidth=wide", "LineWidth: error 13: Type mismatch"},
                             Refusal{"CamAzimuth=12", ""}, // accepted: the reference for the others
                             Refusal{"NoSuchThing=1", "NoSuchThing: no such property"}}) {
        const ToolRun run = agltool("render " + in + " " + out + " --size 64x48 --set " + r.set);
        if (r.message.empty()) {
            EXPECT_EQ(run.status, 0) << run.out;
            std::remove(out.c_str());
            continue;
        }
        EXPECT_EQ(run.status, 2) << r.set;
        EXPECT_EQ(run.out, "agltool: " + r.message + "\n");
        EXPECT_TRUE(QImage(QString::fromStdString(out)).isNull()) << r.set;
    }
}

// The vector graph wants its components in the columns: a window wider than
// tall is turned, as the viewer turns it, and the saved set says so.
TEST(AgltoolRender, AWideVectorGraphIsTurnedSoItsColumnsHoldTheComponents) {
    TempDir dir;
    const std::string in =
        floatFile(dir, "wide.agl", 4, 50, [](int r, int c) { return r + 0.01 * c; });
    const std::string set = dir.file("set.ini");
    const QImage vector = rendered(dir, in, "vector", "--type 3 --save-properties " + set);
    ASSERT_FALSE(vector.isNull());
    EXPECT_GT(inkPixels(vector), 200);
    const std::string bytes = fileBytes(set);
    EXPECT_NE(bytes.find("RowDim=1"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("ColDim=0"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("NumColumns=4"), std::string::npos) << bytes;
}

// A property set saved after a render loads into the next one, which saves
// the same bytes and draws the same picture; without it the picture differs.
// A set the control refuses ends the command.
TEST(AgltoolRenderProperties, ASavedSetLoadsSavesTheSameBytesAndDrawsTheSamePicture) {
    TempDir dir;
    const std::string in = floatFile(
        dir, "w.agl", 30, 40, [](int r, int c) { return std::sin(r * 0.2) * std::cos(c * 0.15); });
    const std::string first = dir.file("first.ini"), second = dir.file("second.ini");
    const QImage saved = rendered(dir, in, "saved",
                                  "--set GraphStyle=3 --azimuth 30 --set XAxisLabel=Time "
                                  "--palette 1 --set BackColor=FFFFCC --save-properties " +
                                      first);
    const QImage loaded =
        rendered(dir, in, "loaded", "--properties " + first + " --save-properties " + second);
    ASSERT_FALSE(saved.isNull());
    const std::string bytes = fileBytes(first);
    EXPECT_NE(bytes.find("GraphStyle=3"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("XAxisLabel=Time"), std::string::npos) << bytes;
    EXPECT_EQ(fileBytes(second), bytes);
    EXPECT_EQ(loaded, saved);
    EXPECT_GT(tavrix::test::countDifferentPixels(rendered(dir, in, "defaults", ""), saved, 16),
              500);

    const std::string refused = dir.write("refused.ini", "[General]\nLineWidth=100\n");
    const ToolRun run =
        agltool("render " + in + " " + dir.file("never.png") + " --properties " + refused);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find("error 380"), std::string::npos) << run.out;
    const ToolRun missing = agltool("render " + in + " " + dir.file("never.png") +
                                    " --properties " + dir.file("none.ini"));
    EXPECT_EQ(missing.status, 2) << missing.out;
    EXPECT_TRUE(QImage(QString::fromStdString(dir.file("never.png"))).isNull());
}

// Several inputs, drawn by one control one after the other: the frames are
// numbered in the order given (or named after the inputs), and each is the
// picture a render of that input alone draws (nothing of the one before
// stays).
TEST(AgltoolRenderInputs, EachInputGivesItsFrameAsARenderOfItAlone) {
    TempDir dir;
    const std::vector<std::string> inputs = {
        floatFile(dir, "hill.agl", 30, 40,
                  [](int r, int c) { return std::sin(r * 0.2) * std::cos(c * 0.15); }),
        floatFile(dir, "ramp.agl", 16, 16, [](int r, int c) { return 1000.0 * (r * 16 + c); }),
        floatFile(dir, "strip.agl", 50, 8, [](int r, int c) { return r % 7 - c; })};
    std::string names;
    for (const std::string& in : inputs)
        names += in + " ";
    const std::string options = " --size 200x150 --type 2 --orientation 2";
    ToolRun run = agltool("render " + names + "--out " + dir.file("frame%04d.png") + options);
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_EQ(agltool("render " + dir.path() + "/*.agl --out-dir " + dir.path() + options).status,
              0);
    for (size_t k = 0; k < inputs.size(); ++k) {
        SCOPED_TRACE(inputs[k]);
        const std::string alone = dir.file("alone.png");
        ASSERT_EQ(agltool("render " + inputs[k] + " " + alone + options).status, 0);
        const QImage expected(QString::fromStdString(alone));
        char frame[32];
        std::snprintf(frame, sizeof frame, "frame%04d.png", int(k));
        EXPECT_EQ(QImage(QString::fromStdString(dir.file(frame))), expected);
        const std::string named = inputs[k].substr(0, inputs[k].size() - 4) + ".png";
        EXPECT_EQ(QImage(QString::fromStdString(named)), expected);
    }
    EXPECT_TRUE(QImage(QString::fromStdString(dir.file("frame0003.png"))).isNull());

    // Several pictures need names that tell them apart.
    for (const std::string& outputs :
         {"--out " + dir.file("one.png"), "--out " + dir.file("f%d%d.png"),
          "--out " + dir.file("f%d.png") + " --out-dir " + dir.path()}) {
        run = agltool("render " + names + outputs);
        EXPECT_EQ(run.status, 2) << outputs << "\n" << run.out;
        EXPECT_NE(run.out.find("agltool"), std::string::npos);
    }
}

// A sweep draws every plane of a dimension, numbered from 0, with the
// palette range of the whole sweep: a value has one colour in every frame.
// The planes are named by the array's own indices (a Fortran array's lower
// bounds), and a sweep outside them is refused.
TEST(AgltoolRenderSweep, EveryPlaneIsDrawnWithThePaletteRangeOfTheWholeSweep) {
    TempDir dir;
    // Plane 0: 1 on the left half, 0 on the right; plane 1: 1 and 2.
    const auto halves = [](const std::vector<int>& at) {
        return at[2] < 15 ? 1.0 : at[0] == 0 ? 0.0 : 2.0;
    };
    const std::string c = floatArray(dir, "c.agl", {2, 20, 30}, {0, 0, 0}, 1, halves);
    const std::string fortran = floatArray(dir, "f.agl", {2, 20, 30}, {5, 1, 1}, 2, halves);
    const std::string options = " --rowdim 1 --coldim 2 --type 2 --size 200x150";
    ToolRun run = agltool("render " + c + " --sweep 0 --out " + dir.file("c%04d.png") + options);
    ASSERT_EQ(run.status, 0) << run.out;
    const QImage plane0(QString::fromStdString(dir.file("c0000.png")));
    const QImage plane1(QString::fromStdString(dir.file("c0001.png")));
    ASSERT_FALSE(plane0.isNull());
    ASSERT_FALSE(plane1.isNull());
    EXPECT_TRUE(QImage(QString::fromStdString(dir.file("c0002.png"))).isNull());
    // Cells of the image map in the box seen from the top (see
    // EveryGraphTypeDrawsThroughTheSamePipeline for the geometry).
    const auto cell = [](const QImage& img, double x, double y) {
        return img.pixelColor(int((x + 0.3) / 1.5 * 134.0), int(150 - (y + 0.2) / 1.3 * 150));
    };
    EXPECT_EQ(cell(plane0, 0.25, 0.5), cell(plane1, 0.25, 0.5)) << "the value 1 in both planes";
    EXPECT_NE(cell(plane0, 0.75, 0.5), cell(plane1, 0.75, 0.5)) << "0 and 2";
    // Alone, plane 0's range is 0..1: its 1 takes the palette's top colour.
    const QImage alone = rendered(dir, c, "alone", "--roi 0:0:0" + options);
    EXPECT_NE(cell(alone, 0.25, 0.5), cell(plane0, 0.25, 0.5));

    // The Fortran array's dimension 0 runs 5..6 (its axes are numbered from
    // 1, so its pictures are compared with its own).
    run = agltool("render " + fortran + " --sweep 0 --out " + dir.file("F%d.png") + options);
    ASSERT_EQ(run.status, 0) << run.out;
    run = agltool("render " + fortran + " --sweep 0:5:6 --out " + dir.file("f%d.png") + options);
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* k : {"0", "1"}) {
        const QImage f(QString::fromStdString(dir.file(std::string("f") + k + ".png")));
        ASSERT_FALSE(f.isNull());
        EXPECT_EQ(f, QImage(QString::fromStdString(dir.file(std::string("F") + k + ".png"))));
        EXPECT_EQ(cell(f, 0.25, 0.5), cell(plane0, 0.25, 0.5));
    }
    run = agltool("render " + fortran + " --sweep 0:6:6 --out " + dir.file("g%d.png") + options);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_FALSE(QImage(QString::fromStdString(dir.file("g0.png"))).isNull());
    EXPECT_TRUE(QImage(QString::fromStdString(dir.file("g1.png"))).isNull());
    const std::string flat = floatFile(dir, "flat.agl", 4, 4, [](int, int) { return 1.0; });
    for (const std::string& bad :
         {fortran + " --sweep 0:0:1" + options, fortran + " --sweep 0:6:7" + options,
          fortran + " --sweep 1" + options, flat + " --sweep 0 --type 2"}) {
        run = agltool("render " + bad + " --out " + dir.file("x%d.png"));
        EXPECT_EQ(run.status, 2) << bad << "\n" << run.out;
        EXPECT_NE(run.out.find("--sweep"), std::string::npos) << run.out;
        EXPECT_TRUE(QImage(QString::fromStdString(dir.file("x0.png"))).isNull()) << bad;
    }
}

// Reference pictures of the real arrays in examples/real (a head's MRI
// slice, an elevation model, land and sea heights, the elevation's slope as
// a vector field), in every graph kind each suits, as agltool and the viewer
// draw them. The baselines were looked at: square cells, round numbers, no
// text over text.
struct RealPicture {
    const char* array;
    int kind;          // the viewer's graph kind
    const char* extra; // the plane view's window: six rows through the middle
};
void PrintTo(const RealPicture& c, std::ostream* out) {
    *out << c.array << "_" << c.kind;
}
class RealArrayPicture : public ::testing::TestWithParam<RealPicture> {};

TEST_P(RealArrayPicture, MatchesItsReferencePicture) {
    const RealPicture p = GetParam();
    TempDir dir;
    const std::string in = std::string(TAVRIX_SOURCE_DIR) + "/examples/real/" + p.array + ".npy";
    const std::string out = dir.file("real.png");
    const ToolRun run = agltool("render " + in + " " + out + " --size 320x240 --graph-type " +
                                std::to_string(p.kind) + " " + p.extra);
    ASSERT_EQ(run.status, 0) << run.out;
    const QImage picture(QString::fromStdString(out));
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(tavrix::test::matchesBaseline(picture, std::string("real_") + p.array + "_" +
                                                           std::to_string(p.kind)));
}

INSTANTIATE_TEST_SUITE_P(
    AgltoolRender, RealArrayPicture,
    ::testing::Values(RealPicture{"mri_slice", 1, ""}, RealPicture{"mri_slice", 2, ""},
                      RealPicture{"mri_slice", 4, "--roi 0:125:130"}, RealPicture{"dem", 1, ""},
                      RealPicture{"dem", 2, ""}, RealPicture{"dem", 4, "--roi 0:83:88"},
                      RealPicture{"topobathy", 1, ""}, RealPicture{"topobathy", 2, ""},
                      RealPicture{"topobathy", 4, "--roi 0:43:48"},
                      RealPicture{"dem_slope", 3, ""}),
    [](const auto& p) { return std::string(p.param.array) + "_" + std::to_string(p.param.kind); });
