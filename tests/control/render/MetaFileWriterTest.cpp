// The vector picture writer. Without GL: the picture's arithmetic, the
// replay of feedback tokens (clipped text anchors, long polygons, damaged
// buffers), the painter's order of a surface mesh, the data area's PNG and
// its resolution. On a real GL context:
// whole captures rasterised by a program that is not ours (rsvg-convert)
// against the frame, text kept as text, an overflow captured again with twice
// the room, failures that leave no file, and the render thread paused while
// the writer thread writes.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QSvgGenerator>
#include <QSvgRenderer>
#include <climits>
#include <csignal>
#include <cstring>
#include <ostream>
#include <sys/resource.h>
#include <thread>

#include "RenderTestSupport.h"
#include "WaitFor.h"
#include "aglFont.h"
#include "aglMetaFileWriter.h"
#include "aglPng.h"

#include <zlib.h>

using namespace rtest;

namespace {

const auto* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// --- without GL --------------------------------------------------------------

struct UnitsCase {
    int width, height; // 0.01 mm
    int W, H;          // logical units
};
// ctest shows the case by what it holds.
void PrintTo(const UnitsCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}
class PictureUnitsTest : public ::testing::TestWithParam<UnitsCase> {};

TEST_P(PictureUnitsTest, ThreeHundredUnitsPerInchRoundedDown) {
    int W = -1, H = -1;
    aglPictureUnits(GetParam().width, GetParam().height, &W, &H);
    EXPECT_EQ(W, GetParam().W);
    EXPECT_EQ(H, GetParam().H);
}

INSTANTIATE_TEST_SUITE_P(MetaFile, PictureUnitsTest,
                         ::testing::Values(UnitsCase{10000, 7500, 1181, 885},
                                           UnitsCase{2540, 5080, 300, 600}, UnitsCase{1, 1, 0, 0},
                                           UnitsCase{1000000, 1000000, 118110, 118110}));

struct SizeCase {
    int width, height;
    bool accepted;
};
// ctest shows the case by what it holds.
void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}
class PrepareSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PrepareSizeTest, SizesOutsideOneToAMillionAreRefused) {
    aglMetaFileWriter writer;
    EXPECT_EQ(writer.Prepare(GetParam().width, GetParam().height), GetParam().accepted);
    EXPECT_EQ(writer.Status(),
              GetParam().accepted ? aglMetaFileWriter::kRequested : aglMetaFileWriter::kIdle);
}

INSTANTIATE_TEST_SUITE_P(MetaFile, PrepareSizeTest,
                         ::testing::Values(SizeCase{1, 1, true}, SizeCase{1000000, 1000000, true},
                                           SizeCase{0, 0, false}, SizeCase{0, 100, false},
                                           SizeCase{-5, 100, false}, SizeCase{1000001, 100, false},
                                           SizeCase{100, INT_MAX, false}));

TEST(MetaFileWriter, ACaptureOfAnEmptyWindowFailsAndLeavesTheWriterIdle) {
    aglMetaFileWriter writer;
    ASSERT_TRUE(writer.Prepare(1000, 1000));
    EXPECT_FALSE(writer.BeginCapture(5000, 0, 10));
    EXPECT_EQ(writer.Status(), aglMetaFileWriter::kFailed);
    EXPECT_FALSE(writer.IsCapturing());
    EXPECT_FALSE(writer.IsBusy());
    EXPECT_EQ(writer.FileName(), "");
    // A budget past the limit fails the same way.
    ASSERT_TRUE(writer.Prepare(1000, 1000));
    EXPECT_FALSE(writer.BeginCapture(aglMetaFileWriter::kMaxPointBudget + 1, 10, 10));
    EXPECT_EQ(writer.Status(), aglMetaFileWriter::kFailed);
}

// A window of 100 x 100 pixels into a picture of 1000 x 1000 units:
// X = 9.6 x + 20, Y = (100 - y) 9.6 + 20.
aglPictureLayout layout100() {
    aglPictureLayout l;
    l.windowWidth = l.windowHeight = 100;
    l.W = l.H = 1000;
    return l;
}

void vertex(std::vector<float>& b, float x, float y, float r, float g, float bl) {
    b.insert(b.end(), {x, y, 0.5f, r, g, bl, 1.0f});
}

struct Replayed {
    std::string svg;
    QImage image; // 100 x 100, the picture's units scaled down tenfold
};

Replayed replay(const std::vector<float>& buffer, const std::vector<aglCapturedText>& texts = {},
                const aglSurfaceMesh* mesh = nullptr) {
    Replayed out;
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(QSize(1000, 1000));
    svg.setViewBox(QRect(0, 0, 1000, 1000));
    QPainter p(&svg);
    EXPECT_TRUE(aglReplayCapture(p, layout100(), buffer.data(), buffer.size(), texts, mesh));
    p.end();
    out.svg = bytes.toStdString();
    out.image = QImage(100, 100, QImage::Format_RGB32);
    out.image.fill(Qt::white);
    QPainter ip(&out.image);
    QSvgRenderer(bytes).render(&ip);
    return out;
}

TEST(MetaFileReplay, ATextWhoseAnchorWasClippedAwayDoesNotTakeTheNextPoint) {
    const std::vector<aglCapturedText> texts = {{"Liberation Serif", 20, 400, "first"},
                                                {"Liberation Serif", 20, 400, "second"}};
    // Marker 0, then a line (its point was clipped), then a plain point.
    std::vector<float> b = {float(GL_PASS_THROUGH_TOKEN), 0.0f, float(GL_LINE_TOKEN)};
    vertex(b, 10, 10, 0, 0, 1);
    vertex(b, 20, 10, 0, 0, 1);
    b.push_back(float(GL_POINT_TOKEN));
    vertex(b, 50, 50, 1, 0, 0);
    // Marker 0 followed by marker 1: only the second text has a position.
    b.insert(b.end(), {float(GL_PASS_THROUGH_TOKEN), 0.0f, float(GL_PASS_THROUGH_TOKEN), 1.0f,
                       float(GL_POINT_TOKEN)});
    vertex(b, 30, 70, 0, 0, 0);
    const Replayed r = replay(b, texts);
    EXPECT_EQ(r.svg.find(">first<"), std::string::npos) << r.svg;
    EXPECT_NE(r.svg.find(">second<"), std::string::npos) << r.svg;
    // The point is drawn as a point, red, at (50, 50).
    const QRgb dot = r.image.pixel(50, 50); // one pixel across: blended with the paper
    EXPECT_TRUE(qRed(dot) > 240 && qGreen(dot) < 220 && qBlue(dot) < 220) << std::hex << dot;
}

// A text keeps the size it has on the screen relative to the window, and its
// baseline starts where the screen put it: at the anchor moved by the offset
// the capture recorded (window pixels, y up). A 20-pixel "HH" whose baseline
// starts 8 pixels left of and 6 below its anchor at (50, 50), in a picture
// 9.6 units a pixel: ink from x = 9.6 x 42 + 20 and down to y = 9.6 x 56 + 20,
// as large as the font's capitals at 9.6 times the size.
TEST(MetaFileReplay, TextKeepsTheScreensSizeAndPlace) {
    const std::vector<aglCapturedText> texts = {{"Liberation Serif", 20, 400, "HH", -8.0f, -6.0f}};
    std::vector<float> b = {float(GL_PASS_THROUGH_TOKEN), 0.0f, float(GL_POINT_TOKEN)};
    vertex(b, 50, 50, 0, 0, 0);
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(QSize(1000, 1000));
    svg.setViewBox(QRect(0, 0, 1000, 1000));
    {
        QPainter p(&svg);
        ASSERT_TRUE(aglReplayCapture(p, layout100(), b.data(), b.size(), texts, nullptr));
    }
    QImage image(1000, 1000, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter ip(&image);
        QSvgRenderer(bytes).render(&ip);
    }
    QRect ink;
    for (int y = 5; y < 995; ++y) // inside the picture's frame
        for (int x = 5; x < 995; ++x)
            if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    // The font at the picture's scale (20 pixels x 9.6): its capitals' box.
    QFont f("Liberation Serif");
    f.setPixelSize(192);
    const QRectF caps = QFontMetricsF(f).tightBoundingRect("HH");
    EXPECT_NEAR(ink.height(), caps.height(), caps.height() * 0.05);
    EXPECT_NEAR(ink.width(), caps.width(), caps.width() * 0.05);
    EXPECT_NEAR(ink.left(), 9.6 * 42 + 20 + caps.left(), 8);
    EXPECT_NEAR(ink.bottom(), 9.6 * 56 + 20, 6);
}

TEST(MetaFileReplay, PolygonsFromClippingAreDrawnWithEveryVertex) {
    // Ten vertices: the last two reach far right, where only they can put ink.
    std::vector<float> b = {float(GL_POLYGON_TOKEN), 10.0f};
    const float xs[10] = {10, 20, 30, 30, 30, 20, 10, 10, 90, 90};
    const float ys[10] = {10, 10, 10, 20, 30, 30, 30, 20, 20, 12};
    for (int k = 0; k < 10; ++k)
        vertex(b, xs[k], ys[k], 0, 1, 0);
    const Replayed r = replay(b);
    // Window (80, 17) is picture (788, 815), pixel (78, 81) of the image.
    EXPECT_TRUE(near(r.image.pixel(78, 81), 0, 255, 0)) << std::hex << r.image.pixel(78, 81);
}

TEST(MetaFileReplay, DamagedBuffersEndTheReplayWithoutReadingPastThem) {
    std::vector<float> whole = {float(GL_POLYGON_TOKEN), 3.0f};
    for (int k = 0; k < 3; ++k)
        vertex(whole, 10.0f + 30 * k, 10.0f + 20 * (k % 2), 1, 0, 0);
    // Every prefix of a valid buffer, a count beyond the buffer, a negative
    // and a not-a-number count, and a word that is no token.
    for (size_t n = 0; n <= whole.size(); ++n) {
        std::vector<float> cut(whole.begin(), whole.begin() + long(n));
        replay(cut);
    }
    replay({float(GL_POLYGON_TOKEN), 1e9f, 1.0f});
    replay({float(GL_POLYGON_TOKEN), -3.0f});
    replay({float(GL_POLYGON_TOKEN), std::numeric_limits<float>::quiet_NaN()});
    replay({12345.0f, 1.0f, 2.0f});
}

// A mesh of nx x ny points whose depth grows with i (and a little with j).
aglSurfaceMesh rampMesh(int nx, int ny) {
    aglSurfaceMesh m;
    m.nx = nx;
    m.ny = ny;
    m.points.resize(size_t(nx) * size_t(ny));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            aglSurfaceMesh::Point& p = m.at(i, j);
            p.x = 10.0f + 20.0f * i;
            p.y = 10.0f + 20.0f * j;
            p.depth = 0.1f * i + 0.01f * j;
            p.rgb[0] = uint8_t(60 * i);
            p.present = true;
        }
    return m;
}

TEST(MetaFileMesh, CellsAreDrawnFarthestFirstAndCellsWithAMissingCornerNotAtAll) {
    aglSurfaceMesh m = rampMesh(4, 3);
    // Farthest: largest i, then largest j.
    EXPECT_EQ(aglMeshCellOrder(m), (std::vector<int>{5, 2, 4, 1, 3, 0}));
    m.at(0, 0).present = false;
    EXPECT_EQ(aglMeshCellOrder(m), (std::vector<int>{5, 2, 4, 1, 3}));
    m.at(2, 1).present = false; // a corner of cells 1, 2, 4 and 5
    EXPECT_EQ(aglMeshCellOrder(m), (std::vector<int>{3}));
    // A mesh whose point count does not match its size draws nothing.
    m.points.pop_back();
    EXPECT_TRUE(aglMeshCellOrder(m).empty());
}

// Where the picture carries the surface as an image, a smooth surface's
// colours run across each cell between its corners' as on the screen (a cell
// from black to 200-red is dark at its left and bright at its right); a flat
// one keeps one colour a cell, the mean of its corners.
TEST(MetaFileMesh, TheImageOfASmoothSurfaceShadesAcrossEachCell) {
    aglSurfaceMesh m;
    m.nx = m.ny = 2;
    m.points.resize(4);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            aglSurfaceMesh::Point& p = m.at(i, j);
            p.x = 10.0f + 80.0f * i;
            p.y = 10.0f + 80.0f * j;
            p.rgb[0] = uint8_t(200 * i);
            p.present = true;
        }
    const auto redAcross = [](const aglSurfaceMesh& mesh) {
        aglPictureLayout l = layout100();
        l.rasterScale = 1.0;
        QImage image(1000, 1000, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            EXPECT_TRUE(aglReplayCapture(p, l, nullptr, 0, {}, &mesh));
        }
        // Window x 20, 50 and 80 at window y 50: picture 212, 500, 788 at 500.
        return std::vector<int>{qRed(image.pixel(212, 500)), qRed(image.pixel(500, 500)),
                                qRed(image.pixel(788, 500))};
    };
    const std::vector<int> smooth = redAcross(m);
    EXPECT_NEAR(smooth[0], 25, 4);
    EXPECT_NEAR(smooth[1], 100, 4);
    EXPECT_NEAR(smooth[2], 175, 4);
    m.smooth = false;
    const std::vector<int> flat = redAcross(m);
    for (int r : flat)
        EXPECT_NEAR(r, 100, 2);
}

TEST(MetaFileMesh, ACellWithAMissingCornerLeavesThePaperWhite) {
    aglSurfaceMesh m = rampMesh(3, 3);
    const Replayed whole = replay({}, {}, &m);
    // Cell (0, 0) covers window 10..30: picture 116..308, pixels 12..30.
    // Its corners are black and 60-red: the mean, red 30.
    EXPECT_TRUE(near(whole.image.pixel(20, 82), 30, 0, 0)) << std::hex << whole.image.pixel(20, 82);
    m.at(0, 0).present = false;
    const Replayed hole = replay({}, {}, &m);
    EXPECT_TRUE(near(hole.image.pixel(20, 82), 255, 255, 255))
        << std::hex << hole.image.pixel(20, 82);
}

// The image data of a PNG file: its IDAT chunks joined, inflated by zlib,
// which checks the stream's check sum. Empty when zlib refuses it.
QByteArray inflatedImageData(const QByteArray& png, size_t expected) {
    QByteArray stream;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + at);
        const qsizetype length = qsizetype(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 |
                                           uint32_t(p[2]) << 8 | uint32_t(p[3]));
        if (png.mid(at + 4, 4) == "IDAT") stream += png.mid(at + 8, length);
        at += 12 + length;
    }
    QByteArray out(qsizetype(expected + 1), '\0');
    uLongf size = uLongf(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(stream.constData()),
                   uLong(stream.size())) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

// The data area's PNG (and agltool's picture) reads back pixel for pixel,
// by Qt's reader: straight alpha from a premultiplied image, smooth and
// repeating rows (both filters), an odd width, noise that does not
// compress (several data chunks), a single pixel, and a frame as the GL
// reads it back (opaque, written without alpha) with both kinds of rows.
// Pictures of a megabyte and more are deflated in two halves at once: the
// halves must make one stream, with the check sum of the whole, that zlib
// itself inflates to every row.
TEST(MetaFilePng, ImagesReadBackPixelForPixel) {
    QImage shaded(301, 97, QImage::Format_ARGB32_Premultiplied);
    shaded.fill(Qt::transparent);
    for (int y = 10; y < 90; ++y)
        for (int x = 3 + y % 7; x < 290; ++x)
            shaded.setPixel(x, y,
                            y < 50 ? qPremultiply(qRgba(x % 256, y * 2, (x * y) % 256, 255))
                                   : qPremultiply(qRgba((x / 8) * 30 % 256, 40, 200, 128)));
    QImage noise(700, 420, QImage::Format_ARGB32);
    uint32_t seed = 12345;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.setPixel(x, y, seed);
        }
    QImage one(1, 1, QImage::Format_RGB32);
    one.fill(qRgb(1, 2, 3));
    QImage frame(203, 64, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            frame.setPixel(x, y, y < 32 ? qRgb(x, y * 4, (x * y) % 256) : seed);
        }
    QImage bigFrame(1024, 481, QImage::Format_RGB32);
    for (int y = 0; y < bigFrame.height(); ++y)
        for (int x = 0; x < bigFrame.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            bigFrame.setPixel(x, y, y % 5 ? qRgb(x / 4, y / 2, 90) : seed);
        }
    QImage bigNoise(800, 401, QImage::Format_ARGB32);
    for (int y = 0; y < bigNoise.height(); ++y)
        for (int x = 0; x < bigNoise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            bigNoise.setPixel(x, y, y < 200 ? seed : qRgba(x % 256, 7, y % 256, 255));
        }
    for (const QImage& source : {shaded, noise, one, frame, bigFrame, bigNoise}) {
        const QByteArray png = aglEncodePng(source);
        ASSERT_FALSE(png.isEmpty());
        const size_t rowBytes = size_t(source.width()) * (source.hasAlphaChannel() ? 4 : 3);
        EXPECT_EQ(size_t(inflatedImageData(png, (rowBytes + 1) * size_t(source.height())).size()),
                  (rowBytes + 1) * size_t(source.height()))
            << source.width() << " x " << source.height();
        const QImage back = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGBA8888);
        const QImage want = source.convertToFormat(QImage::Format_RGBA8888);
        ASSERT_EQ(back.size(), want.size());
        for (int y = 0; y < want.height(); ++y)
            ASSERT_EQ(
                std::memcmp(back.constScanLine(y), want.constScanLine(y), size_t(want.width()) * 4),
                0)
                << source.width() << " x " << source.height() << ", row " << y;
    }
    EXPECT_GT(aglEncodePng(noise).count("IDAT"), 1);
    EXPECT_TRUE(aglEncodePng(QImage()).isEmpty());
}

// One image pixel a picture unit, but no more than four a window pixel: a
// page's picture (about twelve units a window pixel) is not carried at
// twelve times the window's resolution.
TEST(MetaFileReplay, TheDataImageHasAtMostFourPixelsAWindowPixel) {
    aglPictureLayout l = layout100(); // 9.6 units a window pixel
    EXPECT_DOUBLE_EQ(aglDataRasterScale(l), 4.0 / 9.6);
    l.W = 300; // 2.88 a pixel across, 9.6 down
    EXPECT_DOUBLE_EQ(aglDataRasterScale(l), 4.0 / 9.6);
    l.H = 400; // 2.88 and 3.84
    EXPECT_DOUBLE_EQ(aglDataRasterScale(l), 1.0);
}

// --- on a real GL context ----------------------------------------------------------

constexpr int kW = 120, kH = 90;

// ThreadSanitizer cannot follow a fork from a process with threads: the
// checks by other programs run in the other builds.
#if defined(__SANITIZE_THREAD__)
constexpr bool kCanRunPrograms = false;
#else
constexpr bool kCanRunPrograms = true;
#endif

// Runs a program; true when it exits with 0.
bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class MetaFileCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        writer.SetTempFolder(folder.path());
        graph.draw = [this](RenderMode mode) { drawScene(mode); };
        ctx.AddObject(&graph);
        ctx.SetGraph(&graph);
        ctx.SetCaptureWriter(&writer);
        // White, as the picture's paper is.
        ctx.SetBackground(1.0f, 1.0f, 1.0f);
        startContext(ctx, kW, kH);
        ASSERT_FALSE(ctx.StartFailed()) << ctx.StartError();
    }
    void TearDown() override {
        ctx.Stop();
        writer.Stop();
        font.reset();
    }

    // A red square of 8 x 8 triangles, a green line, a text and `points`
    // single points.
    void drawScene(RenderMode) {
        pixelProjection(kW, kH);
        glColor3f(1, 0, 0);
        glBegin(GL_TRIANGLES);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                const float x = 20.0f + 10 * i, y = 20.0f + 10 * j;
                glVertex2f(x, y);
                glVertex2f(x + 10, y);
                glVertex2f(x + 10, y + 10);
                glVertex2f(x, y);
                glVertex2f(x + 10, y + 10);
                glVertex2f(x, y + 10);
            }
        glEnd();
        glColor3f(0, 1, 0);
        glBegin(GL_LINES);
        glVertex2f(70, 10);
        glVertex2f(110, 80);
        glEnd();
        glColor3f(0, 0, 0);
        if (!font)
            font = std::make_unique<aglFont>("Liberation Sans", 14, 400, false, false, false, &ctx);
        font->DrawText(70.0f, 20.0f, 0.0f, "42.5");
        font->DrawText(500.0f, 20.0f, 0.0f, "clipped");
        glColor3f(1, 1, 0);
        glBegin(GL_POINTS);
        for (int k = 0; k < points.load(); ++k)
            glVertex2f(float(5 + k % 10), float(5 + (k / 10) % 10));
        glEnd();
    }

    // Requests a picture and waits for its end; the final status.
    int capture(int width, int height) {
        if (!ctx.RequestCapture(width, height)) return -1;
        ctx.Redraw(false);
        // The writer thread runs at the lowest priority: a busy machine can
        // hold it back for a long time.
        EXPECT_TRUE(waitFor([&] {
            const int s = writer.Status();
            return (s == aglMetaFileWriter::kComplete || s == aglMetaFileWriter::kFailed) &&
                   !writer.IsCapturing();
        }));
        EXPECT_TRUE(writer.WaitUntilDone(tavrix_test::kWaitTimeoutMs));
        return writer.Status();
    }

    QStringList pictures() const { return QDir(folder.path()).entryList({"emf*"}, QDir::Files); }

    QTemporaryDir folder;
    TestGraph graph;
    aglRenderContext ctx;
    aglMetaFileWriter writer;
    std::unique_ptr<aglFont> font;
    std::atomic<int> points{0};
};

TEST_F(MetaFileCaptureTest, TheSvgRasterisedElsewhereMatchesTheFrameAndKeepsItsText) {
    const QImage frame = redrawAndWait(ctx).convertToFormat(QImage::Format_RGB32);
    // The window's own size at 96 pixels per inch.
    ASSERT_EQ(capture(int(kW * 2540 / 96), int(kH * 2540 / 96)), aglMetaFileWriter::kComplete);
    const QString file = QString::fromStdString(writer.FileName());
    EXPECT_TRUE(file.startsWith(folder.path() + "/emf")) << file.toStdString();
    EXPECT_TRUE(file.endsWith(".svg"));
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const std::string svg = in.readAll().toStdString();
    EXPECT_NE(svg.find(">42.5</text>"), std::string::npos);
    EXPECT_EQ(svg.find("clipped"), std::string::npos) << "a text outside the window was drawn";
    QSvgRenderer renderer(file);
    ASSERT_TRUE(renderer.isValid());
    int W = 0, H = 0;
    aglPictureUnits(int(kW * 2540 / 96), int(kH * 2540 / 96), &W, &H);
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, W, H));

    if (!kCanRunPrograms) GTEST_SKIP() << "no rsvg-convert under ThreadSanitizer";
    // The picture sits inside 2 % margins: rasterised at 1 / 0.96 of the
    // window's size, its middle is the window.
    const QString png = folder.path() + "/raster.png";
    ASSERT_TRUE(run("rsvg-convert", {"-w", "125", "-h", "94", "-o", png, file}))
        << "rsvg-convert (librsvg2-bin) is needed";
    const QImage raster =
        QImage(png).convertToFormat(QImage::Format_RGB32).copy(QRect(3, 2, kW, kH));
    // The square: solid red inside, no seam between its triangles.
    for (int y = 23; y < 57; ++y)
        for (int x = 23; x < 57; ++x)
            ASSERT_TRUE(std::abs(qRed(px(raster, x, y)) - 255) + qGreen(px(raster, x, y)) +
                            qBlue(px(raster, x, y)) <=
                        6)
                << x << "," << y << " " << std::hex << px(raster, x, y);
    // Background and square where the frame has them (edges, line and text
    // drawn differently: counted in 6 x 6 blocks with a generous tolerance).
    int bad = 0, blocks = 0;
    for (int by = 0; by + 6 <= kH; by += 6)
        for (int bx = 0; bx + 6 <= kW; bx += 6, ++blocks) {
            int a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
            for (int y = by; y < by + 6; ++y)
                for (int x = bx; x < bx + 6; ++x) {
                    const QRgb p = frame.pixel(x, y), q = raster.pixel(x, y);
                    a[0] += qRed(p), a[1] += qGreen(p), a[2] += qBlue(p);
                    b[0] += qRed(q), b[1] += qGreen(q), b[2] += qBlue(q);
                }
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > 48 * 36) {
                    ++bad;
                    break;
                }
        }
    EXPECT_LE(bad, blocks / 10) << bad << " of " << blocks << " blocks differ";
}

TEST_F(MetaFileCaptureTest, APdfOfTheSamePictureHasThePageSizeAsked) {
    writer.SetFormat(aglMetaFileWriter::Format::Pdf);
    ASSERT_EQ(capture(10000, 7500), aglMetaFileWriter::kComplete);
    const QString file = QString::fromStdString(writer.FileName());
    EXPECT_TRUE(file.endsWith(".pdf"));
    if (!kCanRunPrograms) GTEST_SKIP() << "no pdftoppm under ThreadSanitizer";
    // 10 cm x 7.5 cm at 254 dots per inch: 1000 x 750 pixels.
    const QString prefix = folder.path() + "/page";
    ASSERT_TRUE(run("pdftoppm", {"-r", "254", "-png", "-singlefile", file, prefix}))
        << "pdftoppm (poppler-utils) is needed";
    const QImage page(prefix + ".png");
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(page.width(), 1000, 2);
    EXPECT_NEAR(page.height(), 750, 2);
    // The red square at window (40, 40): 96 % of the page plus the margin.
    const int x = int(1000 * (0.02 + 0.96 * 40.0 / kW));
    const int y = int(750 * (0.02 + 0.96 * (kH - 40.0) / kH));
    EXPECT_TRUE(near(page.pixel(x, y), 255, 0, 0)) << std::hex << page.pixel(x, y);
}

// The graph's filled shapes go into the picture as one image, its text and
// lines stay vectors; the vector option keeps the shapes as polygons.
TEST_F(MetaFileCaptureTest, TheDataAreaIsOneImageUnlessVectorsAreAsked) {
    // 100 x 80 cells of two triangles each, every cell its own colour: as
    // polygons, thousands of shapes.
    graph.draw = [this](RenderMode mode) {
        drawScene(mode);
        glBegin(GL_TRIANGLES);
        for (int j = 0; j < 80; ++j)
            for (int i = 0; i < 100; ++i) {
                glColor3ub(GLubyte(i * 2), GLubyte(j * 3), GLubyte((i * j) % 256));
                const float x = 10.0f + i, y = 5.0f + j;
                glVertex2f(x, y);
                glVertex2f(x + 1, y);
                glVertex2f(x + 1, y + 1);
                glVertex2f(x, y);
                glVertex2f(x + 1, y + 1);
                glVertex2f(x, y + 1);
            }
        glEnd();
    };
    const auto svgOf = [this]() -> QByteArray {
        if (capture(10000, 7500) != aglMetaFileWriter::kComplete) return {};
        QFile in(QString::fromStdString(writer.FileName()));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    };
    const QByteArray raster = svgOf();
    ASSERT_FALSE(raster.isEmpty());
    EXPECT_EQ(raster.count("<image"), 1);
    EXPECT_NE(raster.indexOf(">42.5</text>"), -1);
    EXPECT_LE(raster.count("<path"), 10) << "the cells were written as polygons";
    // The image reads back: four pixels a window pixel (the picture has 9.4
    // units a window pixel), each cell in its own colour.
    const QByteArray kData = "data:image/png;base64,";
    const qsizetype begin = raster.indexOf(kData) + kData.size();
    const qsizetype end = raster.indexOf('"', begin);
    ASSERT_GT(begin, kData.size());
    ASSERT_GT(end, begin);
    const QImage image = QImage::fromData(QByteArray::fromBase64(raster.mid(begin, end - begin)));
    ASSERT_FALSE(image.isNull());
    EXPECT_NEAR(image.width(), 400, 4);
    EXPECT_NEAR(image.height(), 320, 4);
    // Cell (50, 40), window x 60..61 and y 45..46 (up), colour (100, 120, 208).
    const QRgb cell = image.pixel(int(image.width() * 50.5 / 100), int(image.height() * 39.5 / 80));
    EXPECT_TRUE(near(cell, 100, 120, 208)) << std::hex << cell;
    writer.SetVectorData(true);
    const QByteArray vectors = svgOf();
    ASSERT_FALSE(vectors.isEmpty());
    EXPECT_EQ(vectors.count("<image"), 0);
    EXPECT_GE(vectors.count("<path"), 1000);
    EXPECT_LT(raster.size() * 2, vectors.size());
}

// A host that hears "complete" (or reads it) and asks for the next picture at
// once is not refused: the writer is idle by the time its status is final.
TEST_F(MetaFileCaptureTest, TheNextPictureCanBeAskedForAsSoonAsTheLastIsComplete) {
    std::atomic<int> busyAtTheEnd{-1};
    writer.SetStatusSink([this, &busyAtTheEnd](int status) {
        if (status == aglMetaFileWriter::kComplete)
            busyAtTheEnd = writer.IsBusy() || writer.IsCapturing() ? 1 : 0;
    });
    ASSERT_EQ(capture(10000, 7500), aglMetaFileWriter::kComplete);
    EXPECT_EQ(busyAtTheEnd.load(), 0);
    EXPECT_TRUE(writer.Prepare(10000, 7500));
    EXPECT_EQ(writer.Status(), aglMetaFileWriter::kRequested);
    writer.SetStatusSink(nullptr);
}

TEST_F(MetaFileCaptureTest, APictureTooBigForTheBudgetIsCapturedAgainWithTwiceTheRoomThenAtOnce) {
    // 6000 points of 8 floats overflow 5000 x 7 floats; 10000 x 7 hold them.
    points = 6000;
    ASSERT_EQ(capture(10000, 7500), aglMetaFileWriter::kComplete);
    EXPECT_EQ(writer.CaptureBudget(), 10000);
    QFile in(QString::fromStdString(writer.FileName()));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray svg = in.readAll();
    EXPECT_GE(svg.count("<rect"), 6000) << "the points were not all written";
    // The same picture again is captured at once, in the room the last one
    // needed: the first budget, no overflow.
    ASSERT_EQ(capture(10000, 7500), aglMetaFileWriter::kComplete);
    EXPECT_EQ(writer.CaptureBudget(), 5000);
    in.close();
    in.setFileName(QString::fromStdString(writer.FileName()));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_GE(in.readAll().count("<rect"), 6000) << "the points were not all written";
    // A picture that fits again starts from the first budget.
    points = 0;
    ASSERT_EQ(capture(10000, 7500), aglMetaFileWriter::kComplete);
    EXPECT_EQ(writer.CaptureBudget(), 5000);
}

TEST_F(MetaFileCaptureTest, AFileThatCannotBeMadeOrWrittenFailsAndLeavesNothing) {
    std::vector<int> seen;
    std::mutex seenMutex;
    writer.SetStatusSink([&](int s) {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back(s);
    });
    // No such folder: failed, no name, idle, and the next picture is taken.
    writer.SetTempFolder(folder.path() + "/missing");
    EXPECT_EQ(capture(5000, 5000), aglMetaFileWriter::kFailed);
    EXPECT_EQ(writer.FileName(), "");
    EXPECT_FALSE(writer.IsBusy());
    writer.SetTempFolder(folder.path());
    EXPECT_EQ(capture(5000, 5000), aglMetaFileWriter::kComplete);
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        EXPECT_EQ(seen, (std::vector<int>{2, 3, 5, 2, 3, 4, 6}));
    }
    QFile::remove(QString::fromStdString(writer.FileName()));

    // A disk that fills up (a file size limit stands in for it): the
    // picture fails and its partial file is deleted.
    points = 3000;
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved = {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 20000;
    setrlimit(RLIMIT_FSIZE, &small);
    const int status = capture(5000, 5000);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(status, aglMetaFileWriter::kFailed);
    EXPECT_EQ(writer.FileName(), "");
    EXPECT_TRUE(pictures().isEmpty()) << pictures().join(",").toStdString();
}

TEST_F(MetaFileCaptureTest, PauseStopsTheRenderThreadWhileTheWriterWrites) {
    // The writer thread reports "complete" from its own thread: held there,
    // that thread runs for as long as the test likes.
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, release = false;
    writer.SetStatusSink([&](int s) {
        if (s != aglMetaFileWriter::kComplete) return;
        std::unique_lock<std::mutex> lock(m);
        holding = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    });
    ASSERT_TRUE(ctx.RequestCapture(5000, 5000));
    ctx.Redraw(false);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(300), [&] { return holding; }));
    }
    ASSERT_FALSE(writer.WaitUntilDone(0)) << "the writer thread has ended";
    ctx.Pause();
    EXPECT_EQ(ctx.State(), ThreadState::Idle);
    // While paused the scene may change under the render thread's feet.
    const int renders = graph.renders[0].load();
    ctx.RemoveObject(&graph);
    ctx.SetGraph(nullptr);
    // A window for a frame that should not come (nothing to wait for).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(graph.renders[0].load(), renders);
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.Resume();
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
        cv.notify_all();
    }
    EXPECT_TRUE(writer.WaitUntilDone(300000));
    EXPECT_EQ(writer.Status(), aglMetaFileWriter::kComplete);
    writer.SetStatusSink(nullptr);
}

} // namespace
