// The main frame and start-up: status panes, the Open dialog's filters, the
// stored window size, start-up for automation, message boxes, and tavrix
// --screenshot.
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "FrameRules.h"
#include "GridModel.h"
#include "ImageCompare.h"
#include "MessageSink.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TavrixApp.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"
#include "ViewerSettings.h"
#include "WidgetMessageSink.h"

#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace {

struct PaneCase {
    int frame, shape, position;
};
// ctest shows the case by what it holds.
void PrintTo(const PaneCase& c, std::ostream* out) {
    *out << "frame " << c.frame;
}
class StatusPaneTest : public ::testing::TestWithParam<PaneCase> {};

TEST_P(StatusPaneTest, WidthsFollowFrameWidth) {
    const PaneCase p = GetParam();
    const auto w = frame_rules::statusPaneWidths(p.frame);
    EXPECT_EQ(w.shape, p.shape);
    EXPECT_EQ(w.position, p.position);
}

INSTANTIATE_TEST_SUITE_P(Frames, StatusPaneTest,
                         ::testing::Values(PaneCase{1000, 200, 200}, PaneCase{600, 190, 200},
                                           PaneCase{400, 90, 110}, PaneCase{200, 80, 0},
                                           PaneCase{240, 80, 100}, PaneCase{50, 40, 0},
                                           PaneCase{0, 0, 0}));

TEST(OpenFilters, ChosenExtensionPicksNextFirstFilterIgnoringCase) {
    EXPECT_EQ(frame_rules::filterForPath("/data/RUN1.TXT"), 3);
    EXPECT_EQ(frame_rules::openFilterString(3),
              "Text Files (*.txt)|*.txt|Agl Files (*.agl)|*.agl|HDF Files (*.hdf)|*.hdf|"
              "Data Files (*.agl;*.hdf)|*.agl;*.hdf|Image Files (*.bmp)|*.bmp|"
              "NumPy Files (*.npy)|*.npy|"
              "Common Files (*.agl;*.hdf;*.npy;*.txt;*.bmp)|*.agl;*.hdf;*.npy;*.txt;*.bmp|"
              "All Files (*.*)|*.*||");
    const QStringList names = frame_rules::openNameFilters(3);
    ASSERT_EQ(names.size(), 8);
    EXPECT_EQ(names[0], "Text Files (*.txt)");
    EXPECT_EQ(names[3], "Data Files (*.agl *.hdf)");
    EXPECT_EQ(names[5], "NumPy Files (*.npy)");
    EXPECT_EQ(names[7], "All Files (*)");
    EXPECT_EQ(frame_rules::filterForPath("x.Hdf"), 1);
    EXPECT_EQ(frame_rules::filterForPath("x.bmp"), 4);
    EXPECT_EQ(frame_rules::filterForPath("x.NPY"), 5);
    EXPECT_EQ(frame_rules::filterForPath("x.dat"), 7);
    EXPECT_EQ(frame_rules::filterForPath("noextension"), 7);
    EXPECT_EQ(frame_rules::directoryOf("/data/run/RUN1.TXT"), "/data/run/");
}

// Sizes from the settings file come back inside the screen: a window of
// 32767 x 32767 was never painted.
TEST(RestoredGeometry, StoredSizesComeBackInsideTheScreen) {
    const QSize screen(1280, 1024);
    EXPECT_EQ(frame_rules::restoredFrameSize(640, 480, screen), QSize(640, 480));
    EXPECT_EQ(frame_rules::restoredFrameSize(INT_MAX, INT_MAX, screen), screen);
    EXPECT_EQ(frame_rules::restoredFrameSize(INT_MIN, 0, screen), QSize(31, 31));
    EXPECT_EQ(frame_rules::restoredFrameSize(5000, 300, QSize(20, 20)), QSize(31, 31));
    EXPECT_EQ(frame_rules::restoredFrameSize(5000, 300, QSize()), QSize(5000, 300)); // no screen
    EXPECT_EQ(frame_rules::restoredPaneHeight(INT_MAX, 1024), 1024);
    EXPECT_EQ(frame_rules::restoredPaneHeight(166, 1024), 166);
    // Heights no one could use (a viewer that never laid its panes out once
    // stored 16 to 30) come back at the least usable height.
    for (int tiny : {-1, 0, 16, 30, frame_rules::kMinPaneHeight - 1})
        EXPECT_EQ(frame_rules::restoredPaneHeight(tiny, 1024), frame_rules::kMinPaneHeight);
    // What the splitter made of them: each pane keeps the least usable
    // height where there is room for both.
    using frame_rules::PaneHeights;
    EXPECT_EQ(frame_rules::usablePaneHeights(443, 37), (PaneHeights{380, 100}));
    EXPECT_EQ(frame_rules::usablePaneHeights(20, 460), (PaneHeights{100, 380}));
    EXPECT_EQ(frame_rules::usablePaneHeights(166, 250), (PaneHeights{166, 250}));
    EXPECT_EQ(frame_rules::usablePaneHeights(150, 10), (PaneHeights{80, 80}));
    EXPECT_EQ(frame_rules::usablePaneHeights(INT_MAX, INT_MAX).graph, INT_MAX);
}

// Records what the document would show and answers No.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }
};

TEST_F(FrameTest, TinyWindowDoesNotOverwriteStoredSize) {
    SettingsStore settings;
    RecordingSink sink;
    settings.writeInt("AppWidth", 640);
    settings.writeInt("AppHeight", 480);
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    EXPECT_EQ(frame.width(), 640);
    frame.storeFrameSize(QSize(30, 400));
    frame.storeFrameSize(QSize(400, 12));
    EXPECT_EQ(settings.appWidth(), 640);
    EXPECT_EQ(settings.appHeight(), 480);
    frame.storeFrameSize(QSize(31, 31));
    EXPECT_EQ(settings.appWidth(), 31);
}

TEST_F(FrameTest, ClosingStoresSizeAndPaneHeights) {
    SettingsStore settings;
    RecordingSink sink;
    CArrayDoc doc(settings, sink);
    settings.writeInt("AppWidth", 700);
    settings.writeInt("AppHeight", 600);
    settings.writeInt("GridViewHeight", 200);
    {
        CMainFrame frame(&doc, &settings);
        frame.show();
        settle();
        EXPECT_EQ(frame.shapePane()->width(), 200); // b = 160
        frame.splitter()->setSizes({300, 150});
        frame.resize(820, 610);
        settle();
        frame.close();
    }
    EXPECT_EQ(settings.appWidth(), 820);
    EXPECT_EQ(settings.appHeight(), 610);
    EXPECT_GT(settings.gridViewHeight(), settings.graphViewHeight());
    CMainFrame again(&doc, &settings);
    EXPECT_EQ(again.size(), QSize(820, 610));
}

// An automation client that never asks for the window: the frame and its
// views go without having been laid out, and the heights stored by the last
// shown window stay. A window that was shown stores its own.
TEST_F(FrameTest, AViewerThatNeverShowedItsWindowKeepsTheStoredPaneHeights) {
    {
        SettingsStore settings;
        settings.writeInt("GridViewHeight", 200);
        settings.writeInt("GraphViewHeight", 300);
        settings.writeInt("AppWidth", 700);
        settings.sync();
    }
    {
        TavrixApp app;
        ASSERT_TRUE(app.initInstance({"tavrix", "-Automation"}));
        settle();
        ASSERT_FALSE(app.mainFrame()->isVisible());
        app.mainFrame()->close();
    }
    {
        SettingsStore settings;
        EXPECT_EQ(settings.gridViewHeight(), 200);
        EXPECT_EQ(settings.graphViewHeight(), 300);
        EXPECT_EQ(settings.appWidth(), 700);
    }
    {
        TavrixApp app;
        ASSERT_TRUE(app.initInstance({"tavrix", "-Automation"}));
        CMainFrame* frame = app.mainFrame();
        frame->show(); // as ShowWindow does
        settle();
        frame->splitter()->setSizes({150, 250});
        settle();
        ASSERT_GE(frame->graphView()->height(), frame_rules::kMinPaneHeight);
        frame->close();
    }
    SettingsStore settings;
    EXPECT_NE(settings.graphViewHeight(), 300);
    EXPECT_GE(settings.graphViewHeight(), frame_rules::kMinPaneHeight);
}

// Heights stored by an older viewer that saved unshown panes give panes
// that can be used.
TEST_F(FrameTest, TinyStoredPaneHeightsComeBackUsable) {
    SettingsStore settings;
    RecordingSink sink;
    settings.writeInt("AppHeight", 600);
    settings.writeInt("GridViewHeight", 400);
    settings.writeInt("GraphViewHeight", 30);
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.show();
    settle();
    EXPECT_GE(frame.gridView()->height(), frame_rules::kMinPaneHeight);
    EXPECT_GE(frame.graphView()->height(), frame_rules::kMinPaneHeight);
    frame.close();
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(FrameTest, HugeStoredSizesGiveAWindowInsideTheScreenThatPaints) {
    SettingsStore settings;
    RecordingSink sink;
    for (const char* name : {"AppWidth", "AppHeight", "GridViewHeight", "GraphViewHeight"})
        settings.writeInt(name, INT_MAX);
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    const QSize available = frame.screen()->availableGeometry().size();
    EXPECT_LE(frame.width(), available.width());
    EXPECT_LE(frame.height(), available.height());
    PaintCounter counter;
    frame.gridView()->installEventFilter(&counter);
    frame.show();
    EXPECT_TRUE(waitFor([&] { return counter.paints > 0; })) << "the window never painted";
    const QList<int> panes = frame.splitter()->sizes();
    ASSERT_EQ(panes.size(), 2);
    EXPECT_GT(panes[0], 0);
    EXPECT_GT(panes[1], 0);
    EXPECT_LE(panes[0] + panes[1], available.height());
    frame.close();
}

TEST_F(FrameTest, StartedForAutomationShowsNoWindowAndOpensNothing) {
    TempDir dir;
    auto a = makeArray({3, 3}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("a.agl")));
    TavrixApp app;
    ASSERT_TRUE(
        app.initInstance({"tavrix", "-Automation", QString::fromStdString(dir.file("a.agl"))}));
    EXPECT_TRUE(app.commandLine().automation);
    EXPECT_FALSE(app.mainFrame()->isVisible());
    EXPECT_FALSE(app.document()->hasData());
}

TEST_F(FrameTest, StartedWithAFileShowsItsShape) {
    TempDir dir;
    auto a = makeArray({4, 5}, AGL_DOUBLE, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("w.agl")));
    TavrixApp app;
    ASSERT_TRUE(app.initInstance({"tavrix", QString::fromStdString(dir.file("w.agl"))}));
    settle();
    EXPECT_TRUE(app.mainFrame()->isVisible());
    EXPECT_EQ(app.mainFrame()->windowTitle(), "w.agl");
    EXPECT_EQ(app.mainFrame()->shapePane()->text(), "double M[4][5]");
    EXPECT_EQ(app.mainFrame()->positionPane()->text(), "M[0][0]: 0");
    EXPECT_EQ(viewer_settings::recentFiles().value(0), QString::fromStdString(dir.file("w.agl")));
    app.mainFrame()->close();
}

// `tavrix FILE` opens FILE before its window comes up. With an HDF helper
// that never answers, the user still gets the progress box, on its own, and
// its Cancel ends the wait long before the helper's time limit: the user is
// told, and start-up fails as for any file that cannot be opened.
TEST_F(FrameTest, StartUpOpenOfAHungHdfFileShowsProgressAndCancels) {
    TempDir dir;
    const std::string file = dir.file("hung.hdf");
    {
        std::ofstream out(file, std::ios::binary);
        out << std::string("\x0e\x03\x13\x01", 4) << std::string(200, '\0');
    }
    const std::string mark = dir.file("started");
    const std::string script = dir.file("hang.sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ntouch '" << mark << "'\nexec sleep 600\n";
    }
    ::chmod(script.c_str(), 0755);

    // Plays the user: Cancel on the progress box once the helper runs, then
    // OK on the message that follows.
    bool frameHiddenDuringWait = false;
    std::string said;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QProgressDialog*>(modal)) {
            if (!box->isVisible() || !std::filesystem::exists(mark)) return;
            frameHiddenDuringWait = !box->parentWidget()->isVisible();
            QTest::mouseClick(box->findChild<QPushButton*>(), Qt::LeftButton);
        } else if (auto* message = qobject_cast<QMessageBox*>(modal)) {
            if (!message->isVisible()) return;
            said = message->text().toStdString();
            QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    user.start(40);

    setenv("TAVRIX_HDF_HELPER", script.c_str(), 1);
    TavrixApp app;
    const bool started = app.initInstance({"tavrix", QString::fromStdString(file)});
    unsetenv("TAVRIX_HDF_HELPER");
    user.stop();
    EXPECT_FALSE(started);
    EXPECT_TRUE(frameHiddenDuringWait) << "no progress box came while the window was not up";
    EXPECT_TRUE(app.document()->hdfHelper().lastCancelled());
    EXPECT_EQ(said, "Reading " + file + " was cancelled.");
    EXPECT_FALSE(app.document()->isWaitingForHelper());
    EXPECT_FALSE(app.mainFrame()->isVisible());
}

TEST(CommandLine, SwitchesAndFile) {
    auto info = parseCommandLine({"tavrix", "/Automation"});
    EXPECT_TRUE(info.automation);
    info = parseCommandLine({"tavrix", "--screenshot", "out.png", "w.agl"});
    EXPECT_EQ(info.screenshot, "out.png");
    EXPECT_EQ(info.file, "w.agl");
    EXPECT_FALSE(parseCommandLine({"tavrix", "--screenshot"}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({"tavrix", "a.agl", "b.agl"}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({"tavrix", "--bogus"}).error.isEmpty());
    info = parseCommandLine(
        {"tavrix", "-Automation", "--bus-name", "com.veradyne.Tavrix.c1_1", "--owner", ":1.42"});
    EXPECT_TRUE(info.error.isEmpty());
    EXPECT_EQ(info.busName, "com.veradyne.Tavrix.c1_1");
    EXPECT_EQ(info.owner, ":1.42");
    EXPECT_FALSE(parseCommandLine({"tavrix", "--bus-name"}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({"tavrix", "--owner", ""}).error.isEmpty());
}

TEST(CommandLine, GraphTypeAndPaletteTakeTheirRanges) {
    auto info = parseCommandLine(
        {"tavrix", "--screenshot", "o.png", "--graph-type", "4", "--palette", "0", "w.agl"});
    EXPECT_TRUE(info.error.isEmpty()) << info.error.toStdString();
    EXPECT_EQ(info.graphType, 4);
    EXPECT_EQ(info.palette, 0);
    EXPECT_EQ(info.file, "w.agl");
    info = parseCommandLine({"tavrix", "--print", "o.pdf", "--size", "1200X900", "w.agl"});
    EXPECT_TRUE(info.error.isEmpty()) << info.error.toStdString();
    EXPECT_EQ(info.size, QSize(1200, 900));
    info = parseCommandLine({"tavrix", "w.agl"});
    EXPECT_FALSE(info.size.isValid());
    EXPECT_EQ(info.graphType, -1);
    EXPECT_EQ(info.palette, -1);
    for (const QStringList& bad :
         {QStringList{"tavrix", "--graph-type", "0"}, QStringList{"tavrix", "--graph-type", "5"},
          QStringList{"tavrix", "--graph-type", "two"}, QStringList{"tavrix", "--graph-type"},
          QStringList{"tavrix", "--palette", "7"}, QStringList{"tavrix", "--palette", "-1"},
          QStringList{"tavrix", "--size", "800"}, QStringList{"tavrix", "--size", "0x600"},
          QStringList{"tavrix", "--size", "800x9000"}, QStringList{"tavrix", "--size", "axb"},
          QStringList{"tavrix", "--size"}}) {
        info = parseCommandLine(bad);
        EXPECT_TRUE(info.error.contains(bad[1])) << bad.join(' ').toStdString();
    }
}

// tavrix --screenshot as a script runs it.
class ScreenshotTest : public ::testing::Test {
protected:
    int run(const QStringList& args, QString* errors = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.file("config")));
        // Off-screen always: the same picture with or without a display (the
        // spreadsheet's current cell is drawn as focused either way).
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(TAVRIX_BINARY_DIR "/bin/tavrix", args);
        if (!p.waitForFinished(120000)) return -1;
        if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitCode();
    }
    TempDir dir;
};

TEST_F(ScreenshotTest, SavesPictureOfOpenedFile) {
    auto a = makeArray({6, 7}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.3 * c) * r; });
    ASSERT_TRUE(a->saveTo(dir.file("s.agl")));
    const QString png = QString::fromStdString(dir.file("s.png"));
    ASSERT_EQ(run({"--screenshot", png, QString::fromStdString(dir.file("s.agl"))}), 0);
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(560, 500)); // the default frame size
}

// The whole window, spreadsheet above and graph below, once the graph shows
// its finest level: the example as a height plot (its default kind), and a
// flat array of 8 rows through the plane view with the rainbow palette.
TEST_F(ScreenshotTest, PicturesShowTheGraphBelowTheSpreadsheet) {
    const QString heightPlot = QString::fromStdString(dir.file("height.png"));
    QString errors;
    ASSERT_EQ(run({"--screenshot", heightPlot, TAVRIX_SOURCE_DIR "/examples/wave.agl"}, &errors),
              0);
    EXPECT_FALSE(errors.contains("finest")) << errors.toStdString();
    EXPECT_TRUE(tavrix::test::matchesBaseline(QImage(heightPlot), "tavrix_height_plot"));

    auto a = makeArray({8, 64}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.1 * c * (1 + 0.3 * r)); });
    ASSERT_TRUE(a->saveTo(dir.file("rows.agl")));
    const QString plane = QString::fromStdString(dir.file("plane.png"));
    ASSERT_EQ(run({"--screenshot", plane, "--graph-type", "4", "--palette", "4",
                   QString::fromStdString(dir.file("rows.agl"))},
                  &errors),
              0);
    EXPECT_FALSE(errors.contains("finest")) << errors.toStdString();
    EXPECT_TRUE(tavrix::test::matchesBaseline(QImage(plane), "tavrix_plane_view"));
}

// The example as an image map, and a small two-column array (a spiral of
// x, y pairs) as a vector graph seen from above.
TEST_F(ScreenshotTest, ImageMapAndVectorGraphPictures) {
    const QString imageMap = QString::fromStdString(dir.file("image.png"));
    QString errors;
    ASSERT_EQ(run({"--screenshot", imageMap, "--graph-type", "2", "--palette", "4",
                   TAVRIX_SOURCE_DIR "/examples/wave.agl"},
                  &errors),
              0);
    EXPECT_FALSE(errors.contains("finest")) << errors.toStdString();
    EXPECT_TRUE(tavrix::test::matchesBaseline(QImage(imageMap), "tavrix_image_map"));

    std::string text = "#agl ascii data V1.0\n#type AGL_FLOAT\n#lang C\n#dim 60 2\n";
    for (int i = 0; i < 60; ++i) {
        const double t = 0.25 * i;
        text += std::to_string(t * std::cos(t)) + "\t" + std::to_string(t * std::sin(t)) + "\n";
    }
    const std::string spiral = dir.write("spiral.txt", text);
    const QString vector = QString::fromStdString(dir.file("vector.png"));
    ASSERT_EQ(
        run({"--screenshot", vector, "--graph-type", "3", QString::fromStdString(spiral)}, &errors),
        0);
    EXPECT_FALSE(errors.contains("finest")) << errors.toStdString();
    EXPECT_TRUE(tavrix::test::matchesBaseline(QImage(vector), "tavrix_vector_graph"));
}

// --size sets the picture's size beyond the restored window's; a kind the
// array does not suit is refused with a reason instead of drawn as another.
TEST_F(ScreenshotTest, SizeAndAnUnsuitedGraphType) {
    const QString png = QString::fromStdString(dir.file("big.png"));
    const QString wave = TAVRIX_SOURCE_DIR "/examples/wave.agl";
    QString errors;
    ASSERT_EQ(run({"--screenshot", png, "--size", "1000x760", wave}, &errors), 0)
        << errors.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(1000, 760));

    const QString plane = QString::fromStdString(dir.file("plane.png"));
    EXPECT_EQ(run({"--screenshot", plane, "--graph-type", "4", wave}, &errors), 1);
    EXPECT_TRUE(errors.contains("plane view")) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(plane));
    // --size alone needs a picture to size.
    EXPECT_EQ(run({"--size", "800x600", wave}, &errors), 1);
    EXPECT_TRUE(errors.contains("--size")) << errors.toStdString();
}

TEST_F(ScreenshotTest, UnreadableFileFailsWithMessage) {
    const std::string bad = dir.write("bad.agl", "not an array at all");
    const QString png = QString::fromStdString(dir.file("bad.png"));
    QString errors;
    EXPECT_NE(run({"--screenshot", png, QString::fromStdString(bad)}, &errors), 0);
    EXPECT_TRUE(errors.contains("Unable to read file: ")) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(png));
}

// A picture that was never taken leaves the window values alone: the
// frame's panes were never laid out (their heights of 16 to 30 pixels, once
// stored, made every later start show a graph 37 pixels high).
TEST_F(ScreenshotTest, AFailedPictureStoresNoWindowValues) {
    const std::string bad = dir.write("bad.agl", "not an array at all");
    ASSERT_NE(run({"--screenshot", QString::fromStdString(dir.file("bad.png")),
                   QString::fromStdString(bad)}),
              0);
    SettingsStore settings(QString::fromStdString(dir.file("config/Veradyne/Plotrane.ini")));
    for (const char* name : {"GridViewHeight", "GraphViewHeight", "AppWidth", "AppHeight"})
        EXPECT_FALSE(settings.contains(name)) << name << " = " << settings.readInt(name, 0);
}

// A picture that cannot be written fails with a message and a status: a full
// device once reported success, a named pipe blocked for ever.
TEST_F(ScreenshotTest, UnwritablePictureFailsWithMessage) {
    auto a = makeArray({6, 7}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("s.agl")));
    const std::string fifo = dir.file("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const QString& png : {QString("/dev/full"), QString::fromStdString(fifo)}) {
        QString errors;
        EXPECT_EQ(run({"--screenshot", png, QString::fromStdString(dir.file("s.agl"))}, &errors), 1)
            << png.toStdString();
        EXPECT_TRUE(errors.contains("cannot write the picture")) << errors.toStdString();
    }
}

// The settings path holding a named pipe, as a user may leave one there:
// start-up never waits on it (with no program writing to the pipe it
// blocked for ever), reads what the pipe holds at once, and leaves the pipe
// in place (it was replaced by a regular file).
TEST_F(ScreenshotTest, SettingsInANamedPipeAreReadWithoutWaitingAndLeftInPlace) {
    auto a = makeArray({6, 7}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("s.agl")));
    std::filesystem::create_directories(dir.file("config/Veradyne"));
    const std::string ini = dir.file("config/Veradyne/Plotrane.ini");
    ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
    const QString png = QString::fromStdString(dir.file("s.png"));
    auto isPipe = [&] {
        struct stat st {};
        return ::lstat(ini.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    };
    QString errors;
    EXPECT_EQ(run({"--screenshot", png, QString::fromStdString(dir.file("s.agl"))}, &errors), 0)
        << errors.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(560, 500)); // the defaults
    EXPECT_TRUE(errors.contains("is not a regular file")) << errors.toStdString();
    ASSERT_TRUE(isPipe()) << "the pipe was replaced";

    // Now with settings in the pipe, and a writer that stays for the whole
    // run: a reader that waits for the end of the data would wait for ever.
    const int pipe = ::open(ini.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(pipe, 0);
    const std::string text = "[Tavrix]\nSettings\\AppWidth=500\nSettings\\AppHeight=400\n";
    ASSERT_EQ(::write(pipe, text.data(), text.size()), ssize_t(text.size()));
    EXPECT_EQ(run({"--screenshot", png, QString::fromStdString(dir.file("s.agl"))}, &errors), 0)
        << errors.toStdString();
    ::close(pipe);
    EXPECT_EQ(QImage(png).size(), QSize(500, 400)) << "the pipe's settings were not read";
    EXPECT_TRUE(isPipe()) << "the pipe was replaced";
}

} // namespace

namespace {

// Runs inspect on the first message box that comes up while run() runs, and
// closes every box; a box that never comes fails the test instead of
// hanging it.
void onMessageBox(const std::function<void()>& run,
                  const std::function<void(QMessageBox*)>& inspect) {
    int seen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (seen++ == 0) inspect(box);
        box->done(QMessageBox::No);
    });
    poll.start(10);
    run();
    EXPECT_GE(seen, 1) << "no message box came up";
}

// A NumPy file's header quoted in a message: markup in it is shown as the
// characters it is, never styled, and never loads the image it names (a
// header once showed an image from the user's disk in the error box).
TEST(FrameDocumentTest, MessageBoxesShowTextFromFilesAsItIs) {
    ensureQtApp();
    TempDir dir;
    QImage big(400, 300, QImage::Format_RGB32);
    big.fill(Qt::red);
    const std::string image = dir.file("big.png");
    ASSERT_TRUE(big.save(QString::fromStdString(image)));
    const std::string markup = "<img src=\"" + image + "\"><b>bold</b>";
    std::string header = "{'descr': '" + markup + "', 'fortran_order': False, 'shape': (2, 3), }";
    header.append(63 - (10 + header.size()) % 64, ' ');
    header += '\n';
    std::string npy = std::string("\x93NUMPY\x01\x00", 8);
    npy += char(header.size() & 0xff);
    npy += char(header.size() >> 8);
    npy += header + std::string(24, '\0');
    const std::string path = dir.write("markup.npy", npy);

    SettingsStore settings;
    WidgetMessageSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    sink.setParent(&frame);
    frame.show();
    auto shownAsItIs = [&](QMessageBox* box) {
        EXPECT_TRUE(box->text().contains(QString::fromStdString(markup)))
            << box->text().toStdString();
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        ASSERT_NE(label, nullptr);
        // The image would make the text 300 pixels tall.
        EXPECT_LT(label->sizeHint().height(), 150) << "the markup was rendered";
        QImage drawn(label->size(), QImage::Format_RGB32);
        label->render(&drawn);
        EXPECT_NE(drawn.pixelColor(drawn.width() / 2, drawn.height() / 2), QColor(Qt::red));
    };
    onMessageBox([&] { EXPECT_FALSE(frame.openFile(QString::fromStdString(path))); }, shownAsItIs);
    onMessageBox([&] { EXPECT_FALSE(sink.question("Save changes to " + markup + "?")); },
                 shownAsItIs);
    frame.close();
}

TEST(FrameDocumentTest, ShowsOpenedArrayAndKeepsItOnFailure) {
    ensureQtApp();
    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.show();
    const std::string text = dir.write("run1.txt", "1 2 3\n4 5 6\n");
    ASSERT_TRUE(frame.openFile(QString::fromStdString(text)));
    settle();
    EXPECT_EQ(frame.windowTitle(), "run1.txt");
    EXPECT_EQ(frame.shapePane()->text(), QString::fromStdString(doc.currentArray()->shapeText()));
    EXPECT_EQ(frame.gridView()->layoutRows(), 2);
    EXPECT_EQ(frame.gridView()->model()->cellText(1, 2).trimmed(), "6.000000");

    const std::string bitmap = dir.write("p.bmp", std::string("BM") + std::string(60, '\0'));
    EXPECT_FALSE(frame.openFile(QString::fromStdString(bitmap)));
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0], "unsupported bitmap header size");
    EXPECT_EQ(sink.messages[1], "Unable to read file: " + bitmap);
    EXPECT_EQ(frame.windowTitle(), "run1.txt");
    EXPECT_EQ(frame.gridView()->layoutRows(), 2);
    EXPECT_EQ(frame.gridView()->model()->cellText(0, 0).trimmed(), "1.000000");

    // NumPy's default integer: the message pane says it is a double copy.
    EXPECT_TRUE(frame.notePane()->text().isEmpty());
    ASSERT_TRUE(frame.openFile(
        QString::fromStdString(std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/big_i8.npy")));
    EXPECT_EQ(frame.notePane()->text(),
              "a double copy of int64 data; 3 values beyond 2^53 lost precision");
    ASSERT_TRUE(frame.openFile(QString::fromStdString(text)));
    EXPECT_TRUE(frame.notePane()->text().isEmpty());
    EXPECT_EQ(frame.gridView()->model()->cellText(1, 2).trimmed(), "6.000000");
    sink.messages.clear();

    // The user moves in the grid: the document's cursor and pane 2 follow.
    frame.gridView()->table()->setCurrentIndex(frame.gridView()->model()->index(1, 1));
    EXPECT_EQ(doc.cursorRow(), 1);
    EXPECT_EQ(doc.cursorColumn(), 1);
    EXPECT_TRUE(frame.positionPane()->text().endsWith(": 5"))
        << frame.positionPane()->text().toStdString();
    frame.close();
}

TEST(FrameDocumentTest, FileOpenIsOfferedOnlyWhileNoClientOwnsTheArray) {
    ensureQtApp();
    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.show();
    settle();
    QAction* open = nullptr;
    for (QAction* a : frame.firstToolBar()->actions())
        if (a->text() == "&Open...") open = a;
    ASSERT_NE(open, nullptr);
    QWidget* button = frame.firstToolBar()->widgetForAction(open);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());

    ASSERT_TRUE(doc.loadClientSegment(dir.write("client.txt", "1 2\n3 4\n")));
    EXPECT_FALSE(open->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    // The client lets go: the user may open files again.
    doc.clearClientOwned();
    EXPECT_TRUE(button->isEnabled());
    ASSERT_TRUE(doc.loadClientSegment(dir.write("again.txt", "5 6\n")));
    EXPECT_FALSE(button->isEnabled());
    doc.newDocument();
    EXPECT_TRUE(button->isEnabled());
}

TEST(FrameDocumentTest, DroppedFileIsOpenedAndFiledAsRecent) {
    ensureQtApp();
    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.setAcceptDrops(true);
    frame.show();
    auto a = makeArray({2, 3}, AGL_SHORT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("drop.agl")));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("drop.agl")))});
    // Qt delivers a drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &drop);
    EXPECT_TRUE(doc.hasData());
    EXPECT_EQ(frame.windowTitle(), "drop.agl");
    EXPECT_EQ(viewer_settings::recentFiles().value(0),
              QString::fromStdString(dir.file("drop.agl")));
    EXPECT_TRUE(sink.messages.empty());
    frame.close();
}

} // namespace
