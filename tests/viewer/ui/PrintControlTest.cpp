// Printing over the real graph control: the vector picture it writes for
// the page, reused while the camera stays, made again after it moves, and
// deleted with the graph change or the document; the About dialog's OpenGL
// lines from the control's render thread.
#include "AboutDialog.h"
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "MessageSink.h"
#include "PagePrinter.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace plotrane;

namespace {

// Sanitizer builds draw and write many times slower.
constexpr int kPictureMs = 120000;

} // namespace

class PrintControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        doc = std::make_unique<CArrayDoc>(settings, sink);
        frame = std::make_unique<CMainFrame>(doc.get(), &settings);
        frame->resize(640, 560);
        frame->show();
        auto a = makeArray({24, 32}, AGL_FLOAT, AGL_LANG_C);
        ASSERT_TRUE(a);
        fillPlane(*a, [](int64_t c, int64_t r) {
            return std::sin(0.3 * double(c)) * std::cos(0.2 * double(r));
        });
        ASSERT_TRUE(a->saveTo(dir.file("hill.agl")));
        bool drawn = false;
        QObject::connect(frame->graphView(), &CPlotrane2DView::renderPassed, frame.get(),
                         [&drawn] { drawn = true; });
        ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("hill.agl"))));
        // The first frame is drawn: the render thread is up.
        ASSERT_TRUE(waitFor([&drawn] { return drawn; }, kPictureMs));
        QObject::disconnect(frame->graphView(), &CPlotrane2DView::renderPassed, frame.get(),
                            nullptr);
    }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    PagePrinter* pages() { return frame->pagePrinter(); }

    TempDir dir;
    SettingsStore settings{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(PrintControlTest, ThePictureIsTheGraphPanesShapeAndIsReusedUntilTheCameraMoves) {
    ASSERT_EQ(pages()->makePicture(kPictureMs), PagePrinter::Picture::Complete);
    pages()->endPrinting();
    const QString first = QString::fromStdString(doc->pictureFile());
    ASSERT_TRUE(QFile::exists(first));
    EXPECT_TRUE(first.endsWith(".svg")) << first.toStdString();
    const QSize pane = frame->graphView()->size();
    EXPECT_NEAR(pictureAspect(first), double(pane.width()) / pane.height(), 0.02);

    // Unmoved: the same file, no wait.
    EXPECT_EQ(pages()->makePicture(kPictureMs), PagePrinter::Picture::Reused);
    EXPECT_EQ(QString::fromStdString(doc->pictureFile()), first);
    pages()->endPrinting();

    // Rotated: a new picture; the old file is gone.
    CPlotrane2D* c = doc->control();
    c->setFloat(DISPID_CamAzimuth, c->getFloat(DISPID_CamAzimuth) + 40.0f);
    EXPECT_EQ(pages()->makePicture(kPictureMs), PagePrinter::Picture::Complete);
    pages()->endPrinting();
    const QString second = QString::fromStdString(doc->pictureFile());
    EXPECT_TRUE(QFile::exists(second));
    EXPECT_FALSE(QFile::exists(first));

    // A graph change drops it; so does the document going.
    doc->settingsChanged(false);
    EXPECT_FALSE(QFile::exists(second));
    EXPECT_EQ(pages()->makePicture(kPictureMs), PagePrinter::Picture::Complete);
    const QString third = QString::fromStdString(doc->pictureFile());
    EXPECT_TRUE(QFile::exists(third));
    frame.reset();
    doc.reset();
    EXPECT_FALSE(QFile::exists(third));
}

TEST_F(PrintControlTest, AboutNamesTheControlsOpenGLVersionAndRenderer) {
    CPlotrane2D* c = doc->control(true);
    ASSERT_NE(c, nullptr);
    const QStringList lines = AboutDialog::systemInfoText(doc.get()).split("\r\n");
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[1],
              "OpenGL Version: " + QString::fromStdString(c->get(DISPID_GLVersion).toString()));
    EXPECT_GT(lines[1].size(), QString("OpenGL Version: ").size());
    EXPECT_EQ(lines[2],
              "OpenGL Renderer: " + QString::fromStdString(c->get(DISPID_GLRenderer).toString()));
    EXPECT_GT(lines[2].size(), QString("OpenGL Renderer: ").size());
}
