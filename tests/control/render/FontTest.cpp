// Bitmap fonts: text drawn through the display lists must be the text Qt
// itself renders with the same font, pixel for pixel.
#include <QFontMetrics>
#include <QPainter>
#include <thread>
#include <vector>

#include "ImageCompare.h"
#include "RenderTestSupport.h"
#include "WaitFor.h"
#include "aglFont.h"

using namespace rtest;

namespace {

const auto* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kW = 220, kH = 60;

// Draws one string with an aglFont made on the render thread.
class TextObj : public aglObj, public aglFrameGraph {
public:
    std::string face = "Times New Roman";
    int height = 16, weight = 700;
    std::string text;
    int x = 0, y = 0; // raster position, pixels from the bottom-left
    std::unique_ptr<aglFont> font;

    bool LockFrameData(aglRenderContext&) override { return true; }
    void UnlockFrameData() override {}
    void Render(RenderMode mode) override {
        if (!font)
            font = std::make_unique<aglFont>(face, height, weight, false, false, false, Context());
        pixelProjection(kW, kH);
        glDisable(GL_LIGHTING);
        glColor3f(0, 0, 0);
        font->DrawText(float(x), float(y), 0.0f, text.c_str());
        aglObj::Render(mode);
    }
};

QImage renderText(TextObj& obj) {
    aglRenderContext ctx;
    ctx.AddObject(&obj);
    ctx.SetGraph(&obj);
    ctx.SetBackground(1, 1, 1);
    startContext(ctx, kW, kH);
    const QImage img = redrawAndWait(ctx);
    ctx.Lock();
    ctx.RemoveObject(&obj);
    ctx.Unlock();
    ctx.Stop();
    obj.font.reset(); // lists went with the context
    return img.convertToFormat(QImage::Format_RGB32);
}

TEST(Font, GLTextIsPixelIdenticalToQtsOwnRendering) {
    for (const char* face : {"Times New Roman", "Arial"}) {
        TextObj obj;
        obj.face = face;
        obj.text = "Tavrix 0.25 -1.5e+03 (x, y) {W} ~";
        obj.x = 5;
        obj.y = 20;
        const QImage gl = renderText(obj);

        aglFont reference(face, 16, 700);
        ASSERT_TRUE(reference.IsUsable());
        QImage qt(kW, kH, QImage::Format_RGB32);
        qt.fill(Qt::white);
        {
            QPainter p(&qt);
            p.setFont(reference.QtFont());
            p.setPen(Qt::black);
            p.drawText(QPoint(obj.x, kH - obj.y), QString::fromLatin1(obj.text.c_str()));
        }
        // Qt may anti-alias nothing here (the font asks for none): compare
        // black and white exactly.
        QImage diff;
        const long long bad = tavrix::test::countDifferentPixels(gl, qt, 127, &diff);
        if (bad) {
            const QString out = tavrix::test::testOutputDir() + "/font_" + face;
            gl.save(out + ".gl.png");
            qt.save(out + ".qt.png");
            diff.save(out + ".diff.png");
        }
        EXPECT_EQ(bad, 0) << face << ": see test-output/font_*.png";
        int ink = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                ink += qGray(gl.pixel(x, y)) < 128;
        EXPECT_GT(ink, 100) << "no text drawn";
    }
}

TEST(Font, CellHeightMatchesTheRequestAndExtentsFollowTheText) {
    aglFont f("Times New Roman", 16, 400);
    ASSERT_TRUE(f.IsUsable());
    EXPECT_LE(f.CharHeight(), 16);
    EXPECT_GE(f.CharHeight(), 14);
    EXPECT_GT(f.Descent(), 0);
    EXPECT_GT(f.MaxCharWidth(), f.AverageCharWidth() - 1);
    int w1, h1, w2, h2;
    f.TextExtent("12", &w1, &h1);
    f.TextExtent("1234", &w2, &h2);
    EXPECT_EQ(h1, f.CharHeight());
    EXPECT_NEAR(w2, 2 * w1, 1);
    f.TextExtent(nullptr, &w1, &h1);
    EXPECT_EQ(w1, 1);
    EXPECT_EQ(h1, 1);
    aglFont em("Arial", -20, 400);
    EXPECT_EQ(em.QtFont().pixelSize(), 20);
}

// The axes place numbers and titles by these widths: they must be the widths
// Qt's own layout gives the same strings, whether the glyphs' advances are
// added up or Qt lays the line out.
TEST(Font, ExtentsAreThoseOfQtsOwnLayout) {
    const std::vector<std::string> texts = {"0",
                                            "-1.5e+03",
                                            "Tavrix 0.25 (x, y) {W} ~",
                                            "iiiiWWWW",
                                            "  ",
                                            "",
                                            "caf\xe9",
                                            "a\x7f"
                                            "b"};
    for (const char* face : {"Times New Roman", "Arial", "DejaVu Sans Mono"})
        for (int height : {-9, 12, 16, 23})
            for (int weight : {400, 700})
                for (bool italic : {false, true}) {
                    aglFont f(face, height, weight, italic);
                    ASSERT_TRUE(f.IsUsable()) << face;
                    const QFontMetrics fm(f.QtFont());
                    for (const std::string& text : texts) {
                        int w = -1, h = -1;
                        f.TextExtent(text.c_str(), &w, &h);
                        EXPECT_EQ(w, fm.horizontalAdvance(QString::fromLatin1(text.c_str())))
                            << face << " " << height << " " << weight << " " << italic << " \""
                            << text << "\"";
                        EXPECT_EQ(h, f.CharHeight());
                    }
                }
}

TEST(Font, BytesOutsideTheFontAreSkippedNotDrawnFromOtherLists) {
    TextObj plain, odd;
    plain.text = "AB";
    odd.text = "A\x01\x1f\x80\xff"
               "B";
    plain.x = odd.x = 5;
    plain.y = odd.y = 20;
    EXPECT_EQ(tavrix::test::countDifferentPixels(renderText(odd), renderText(plain), 0), 0);
}

// Threads that want the same font at once get it made once and alike.
TEST(FontPrepare, AFontWantedOnManyThreadsAtOnceIsTheSameEverywhere) {
    // A font no other test asks for, so the threads meet on a fresh one.
    const aglFontRequest request{"Arial", 27, 600, true, false, false};
    ASSERT_FALSE(aglFont::IsPrepared(request));
    const char* const text = "Tavrix -1.5e+03 (x, y)";
    std::vector<int> widths(4, -1), heights(4, -1);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&, k] {
            if (k % 2) aglFont::Prepare(request);
            aglFont f(request);
            heights[size_t(k)] = f.CharHeight();
            f.TextExtent(text, &widths[size_t(k)], nullptr);
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_TRUE(aglFont::IsPrepared(request));
    const aglFont here(request);
    EXPECT_LE(here.CharHeight(), 27);
    const int width = QFontMetrics(here.QtFont()).horizontalAdvance(QString::fromLatin1(text));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(widths[size_t(k)], width) << k;
        EXPECT_EQ(heights[size_t(k)], here.CharHeight()) << k;
    }
}

// An object that writes with one font, and changes it.
class FontUser : public aglObj {
public:
    aglFontRequest request;
    void FontsInUse(std::vector<aglFontRequest>& fonts) const override { fonts.push_back(request); }
    void SetFont(const aglFontRequest& s) {
        request = s;
        fontsChanged();
    }
};

// The render context has an object's fonts ready before any frame draws
// them: those it has when added, and those a setter gives it later.
TEST(FontPrepare, TheContextPreparesTheFontsOfItsObjectsAheadOfTheirFrames) {
    const aglFontRequest first{"Times New Roman", 21, 400, false, true, false};
    const aglFontRequest second{"Times New Roman", 21, 400, false, false, true};
    aglRenderContext ctx;
    FontUser user; // draws nothing: only the context prepares its fonts
    user.request = first;
    ctx.AddObject(&user);
    EXPECT_FALSE(aglFont::IsPrepared(first)) << "prepared before the context started";
    startContext(ctx, 40, 30);
    EXPECT_TRUE(tavrix_test::waitFor([&] { return aglFont::IsPrepared(first); }));
    EXPECT_FALSE(aglFont::IsPrepared(second));
    user.SetFont(second);
    EXPECT_TRUE(tavrix_test::waitFor([&] { return aglFont::IsPrepared(second); }));
    ctx.Stop();
}

TEST(FontReference, DataTipBoxAndText) {
    aglRenderContext ctx;
    TestGraph graph;
    graph.draw = [](RenderMode) {};
    ctx.AddObject(&graph);
    ctx.SetGraph(&graph);
    ctx.SetBackground(0.2f, 0.3f, 0.4f);
    startContext(ctx, 160, 60);
    uint8_t rgba[4];
    ASSERT_EQ(ctx.Pick(150, 40, rgba), 0);
    ctx.SetDataTip("(12, 7) = 3.25");
    // Looser than the default: a fresh machine resolves the data-tip face
    // from a smaller font set, and a few glyph pixels (0.2 %) differ there.
    tavrix::test::ImageTolerance tol;
    tol.maxBadShare = 0.01;
    EXPECT_TRUE(tavrix::test::matchesBaseline(redrawAndWait(ctx), "render_data_tip", tol));
    ctx.Stop();
}

} // namespace
