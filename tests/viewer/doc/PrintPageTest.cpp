// The printed page's arithmetic and texts (layout, title font steps, footer
// time, size text, the progress dialog's steps), the About dialog's system
// information, and the document's cached print picture over a recording
// control.
#include "PrintPage.h"
#include "DocFakes.h"
#include "SystemInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <ostream>
#include <unistd.h>
#include <vector>

using namespace plotrane;
using print_page::Edges;

// The settings store's private folder is set up once for this executable,
// by the document tests beside these.

// ---- Layout ------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    Edges page;
    double aspect;
    Edges title;
    int yp, yb;
    bool hasPicture;
    Edges picture;
};
void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}
class PageLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PageLayoutTest, EdgesFollowTheIntegerLayout) {
    const LayoutCase& c = GetParam();
    const print_page::Layout l = print_page::layoutPage(c.page, c.aspect);
    EXPECT_EQ(l.title, c.title);
    EXPECT_EQ(l.xl, c.title.left);
    EXPECT_EQ(l.xr, c.title.right);
    EXPECT_EQ(l.yp, c.yp);
    EXPECT_EQ(l.yb, c.yb);
    EXPECT_EQ(l.hasPicture, c.hasPicture);
    EXPECT_EQ(l.picture, c.picture);
    // The fitted picture keeps its shape to within a pixel.
    if (l.hasPicture) {
        EXPECT_NEAR(double(l.picture.width()), c.aspect * double(l.picture.height()), 1.5);
    }
}

// Worked by hand: M = W/20, yt = T + H/20, yb = B - H/20, u = (yb - yt)/10,
// yp = yb - H/40, the title down to yt + u + u/10; the fitting insets are
// floor(Bw - A*Ch + 0.5)/2 sideways or floor(Ch - Bw/A + 0.5)/2 vertically,
// with Ch = yp - (yt + u), the picture area's own height (the picture keeps
// its shape).
INSTANTIATE_TEST_SUITE_P(
    Pages, PageLayoutTest,
    ::testing::Values(
        // Portrait, a 4:3 picture: wider than the area, so it moves in from
        // top and bottom (Ch 2355, 1800 / (4/3) = 1350, inset 502).
        LayoutCase{"portrait_wide_picture",
                   {0, 0, 2000, 3000},
                   4.0 / 3.0,
                   {100, 150, 1900, 447},
                   2775,
                   2850,
                   true,
                   {100, 922, 1900, 2273}},
        // Landscape, 4:3 narrower than the area: it moves in from the sides
        // (2700 - 1570 * 4/3 = 606.67, +0.5 floored 607, halved 303).
        LayoutCase{"landscape_narrow_picture",
                   {0, 0, 3000, 2000},
                   4.0 / 3.0,
                   {150, 100, 2850, 298},
                   1850,
                   1900,
                   true,
                   {453, 280, 2547, 1850}},
        // A drawing rectangle that does not start at 0, without a picture.
        LayoutCase{"offset_page_no_picture",
                   {50, 70, 1050, 1470},
                   0,
                   {100, 140, 1000, 278},
                   1365,
                   1400,
                   false,
                   {}},
        // Odd sizes: every division floors (W 1001 -> M 50, H 999 -> 49, 24).
        LayoutCase{"odd_sizes_square_picture",
                   {0, 0, 1001, 999},
                   1.0,
                   {50, 49, 951, 148},
                   926,
                   950,
                   true,
                   {107, 139, 894, 926}},
        // A picture whose size cannot be read leaves the page without it.
        LayoutCase{"nan_aspect",
                   {0, 0, 1001, 999},
                   std::numeric_limits<double>::quiet_NaN(),
                   {50, 49, 951, 148},
                   926,
                   950,
                   false,
                   {}},
        LayoutCase{
            "negative_aspect", {0, 0, 1001, 999}, -2.0, {50, 49, 951, 148}, 926, 950, false, {}},
        // So narrow a picture on so short a page fits nowhere.
        LayoutCase{"tiny_page", {0, 0, 40, 40}, 1e-9, {2, 2, 38, 5}, 37, 38, false, {}}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- Title -------------------------------------------------------------------

TEST(PageTitle, ExtensionCutAtTheLastDotAndFirstLetterUpperCased) {
    EXPECT_EQ(print_page::pageTitle("wave.agl"), "Wave");
    EXPECT_EQ(print_page::pageTitle("run.2024.agl"), "Run.2024");
    EXPECT_EQ(print_page::pageTitle("Array3"), "Array3");
    EXPECT_EQ(print_page::pageTitle("élan.txt"), "Élan");
    EXPECT_EQ(print_page::pageTitle(".agl"), "");
    EXPECT_EQ(print_page::pageTitle(""), "");
}

TEST(TitleFont, ALongTitleShrinksInEightyPercentStepsUntilItFits) {
    // A face whose widest character is as wide as the font is high.
    std::vector<int> tried;
    auto widest = [&tried](int h) {
        tried.push_back(h);
        return h;
    };
    // Fits at once: 8/10 of the 100-unit band.
    EXPECT_EQ(print_page::titleFontHeight(100, 1000, 5, widest), 80);
    tried.clear();
    // 20 characters: 1600, 1280, 1020 are too wide; 51 * 8 / 10 = 40 fits.
    EXPECT_EQ(print_page::titleFontHeight(100, 1000, 20, widest), 40);
    EXPECT_EQ(tried, (std::vector<int>{80, 64, 51, 40}));
    // A title that never fits ends at height 0 instead of looping.
    EXPECT_EQ(print_page::titleFontHeight(100, 1000, 100000, widest), 0);
    // An empty title keeps the full height.
    EXPECT_EQ(print_page::titleFontHeight(100, 1000, 0, widest), 80);
}

// ---- Footer time ---------------------------------------------------------------

struct TimeCase {
    int hour, minute, mday, month, year;
    const char* text;
};
// ctest shows the case by what it holds.
void PrintTo(const TimeCase& c, std::ostream* out) {
    *out << c.text;
}
class FooterTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FooterTimeTest, TwelveHourClockWithALeadingBlankForTheHoursZero) {
    const TimeCase& c = GetParam();
    std::tm t{};
    t.tm_hour = c.hour;
    t.tm_min = c.minute;
    t.tm_mday = c.mday;
    t.tm_mon = c.month;
    t.tm_year = c.year - 1900;
    EXPECT_EQ(print_page::footerTime(t).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Times, FooterTimeTest,
    ::testing::Values(TimeCase{9, 5, 3, 5, 2026, " 9:05AM  June 03, 2026"},
                      TimeCase{21, 7, 25, 11, 1999, " 9:07PM  December 25, 1999"},
                      TimeCase{0, 30, 1, 0, 2030, "12:30AM  January 01, 2030"},
                      TimeCase{12, 0, 9, 8, 2026, "12:00PM  September 09, 2026"},
                      TimeCase{10, 15, 31, 9, 2026, "10:15AM  October 31, 2026"}));

// ---- Progress ------------------------------------------------------------------

TEST(PictureSizeText, KilobytesUpToOneMebibyteThenMegabytes) {
    EXPECT_EQ(print_page::pictureSizeText(2 * 1048576).toStdString(), "2.00M");
    EXPECT_EQ(print_page::pictureSizeText(900 * 1024).toStdString(), "900.00K");
    EXPECT_EQ(print_page::pictureSizeText(1048576).toStdString(), "1024.00K");
    EXPECT_EQ(print_page::pictureSizeText(1048576 + 10486).toStdString(), "1.01M");
    EXPECT_EQ(print_page::pictureSizeText(1536).toStdString(), "1.50K");
    EXPECT_EQ(print_page::pictureSizeText(0).toStdString(), "0.00K");
    EXPECT_EQ(print_page::pictureSizeText(int64_t(5) << 32).toStdString(), "20480.00M");
}

TEST(PrintProgress, BarCaptionAndOkFollowTheStatusAndCloseAfterEightCompleteTicks) {
    print_page::Progress p;
    EXPECT_EQ(p.caption(), "Initializing print display. . .");
    EXPECT_EQ(p.sizeText(), "0.0K");
    p.tick(0);
    EXPECT_EQ(p.position(), 0);
    p.tick(3);
    EXPECT_EQ(p.position(), 30);
    EXPECT_EQ(p.caption(), "Initializing print display. . .");
    p.tick(4);
    EXPECT_EQ(p.position(), 40);
    EXPECT_EQ(p.caption(), "Creating print spool file. . .");
    // A lower status never moves the bar back.
    p.tick(3);
    EXPECT_EQ(p.position(), 40);
    EXPECT_FALSE(p.wantsFileSize());
    EXPECT_FALSE(p.okEnabled());
    for (int tick = 1; tick < print_page::Progress::kDoneTicks; ++tick) {
        p.tick(6);
        EXPECT_FALSE(p.finished()) << tick;
    }
    EXPECT_EQ(p.position(), 50);
    EXPECT_EQ(p.caption(), "Done!");
    EXPECT_TRUE(p.okEnabled());
    EXPECT_TRUE(p.wantsFileSize());
    p.setFileSize(900 * 1024);
    EXPECT_EQ(p.sizeText(), "900.00K");
    p.tick(6);
    EXPECT_TRUE(p.finished());
    EXPECT_FALSE(p.failed());
}

TEST(PrintProgress, AFailedPictureEndsTheWaitAtOnce) {
    print_page::Progress p;
    p.tick(3);
    p.tick(5);
    EXPECT_TRUE(p.finished());
    EXPECT_TRUE(p.failed());
    EXPECT_FALSE(p.okEnabled());
    EXPECT_FALSE(p.wantsFileSize());
}

TEST(PictureSize, ClientSizeTimesHundredHalvedTogetherBeyondTheControlsLimit) {
    auto size = print_page::pictureSize(640, 480);
    EXPECT_EQ(size.width, 64000);
    EXPECT_EQ(size.height, 48000);
    size = print_page::pictureSize(12000, 100); // 1.2e6 wide: halved once
    EXPECT_EQ(size.width, 600000);
    EXPECT_EQ(size.height, 5000);
    size = print_page::pictureSize(0, 300);
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
}

// ---- System information -------------------------------------------------------------

TEST(SystemInfo, NoSwapShowsZeroPercentAndLargeMemoryIsCountedIn64Bits) {
    // 64 GiB of memory, 10 GiB committed, no swap at all.
    const auto m = system_info::parseMeminfo("MemTotal:       67108864 kB\n"
                                             "MemFree:         1000000 kB\n"
                                             "Committed_AS:   10485760 kB\n"
                                             "SwapTotal:             0 kB\n"
                                             "SwapFree:              0 kB\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->physicalTotal, uint64_t(64) << 30);
    const QString text = system_info::systemInfoText(24, "", "", *m);
    EXPECT_EQ(text.toStdString(), "Color Resolution: 24 bit color\r\n"
                                  "OpenGL Version: \r\n"
                                  "OpenGL Renderer: \r\n"
                                  "Physical Memory: 65537M\r\n"
                                  "Commited Memory: 10240M\r\n"
                                  "Page File Size: 0M\r\n"
                                  "Page File Usage: 0%");
}

TEST(SystemInfo, SwapUsageIsOneHundredLessTheFreePercentFloored) {
    const auto m = system_info::parseMeminfo("MemTotal: 8388608 kB\nSwapTotal: 3000 kB\n"
                                             "SwapFree: 1001 kB\nCommitted_AS: 2048 kB\n");
    ASSERT_TRUE(m);
    // 1001 / 3000 = 33.37 %: 100 - 33 = 67.
    const QStringList lines =
        system_info::systemInfoText(32, "4.5 (Compatibility Profile) Mesa", "llvmpipe", *m)
            .split("\r\n");
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[1], "OpenGL Version: 4.5 (Compatibility Profile) Mesa");
    EXPECT_EQ(lines[2], "OpenGL Renderer: llvmpipe");
    EXPECT_EQ(lines[3], "Physical Memory: 8193M");
    EXPECT_EQ(lines[4], "Commited Memory: 2M");
    EXPECT_EQ(lines[5], "Page File Size: 2M");
    EXPECT_EQ(lines[6], "Page File Usage: 67%");
}

TEST(SystemInfo, UnreadableMeminfoIsRefusedAndThisMachinesFiguresAreReal) {
    EXPECT_FALSE(system_info::parseMeminfo(""));
    EXPECT_FALSE(system_info::parseMeminfo("SwapTotal: 5 kB\n"));
    EXPECT_FALSE(system_info::parseMeminfo("MemTotal: lots\n"));
    EXPECT_FALSE(system_info::parseMeminfo("MemTotal: 99999999999999999999999 kB\n"));
    // "MemTotalX" is another field.
    EXPECT_FALSE(system_info::parseMeminfo("MemTotalX: 5 kB\n"));
    const system_info::Memory here = system_info::readMemory();
    EXPECT_GT(here.physicalTotal, uint64_t(16) << 20);
    EXPECT_LE(here.swapFree, here.swapTotal);
}

// ---- The document's picture ----------------------------------------------------------

class PrintPictureTest : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        const std::string path = dir.file("wave.agl");
        makeAglFile(path, 20, 30);
        ASSERT_TRUE(doc->open(path));
        setCamera(1.0f, 2.0f, 3.0f);
        ctl().clearLog();
    }
    void setCamera(float x, float y, float z) {
        ctl().props[DISPID_CamXPos] = Variant(x);
        ctl().props[DISPID_CamYPos] = Variant(y);
        ctl().props[DISPID_CamZPos] = Variant(z);
    }
    // The control finishes the picture it was asked for: a file and the
    // event's status 6.
    std::string complete(const std::string& name) {
        const std::string file = dir.file(name);
        std::ofstream(file) << "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='3'/>";
        doc->setPictureStatus(6);
        doc->setPictureFile(file);
        return file;
    }
    static bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
};

TEST_F(PrintPictureTest, TheControlIsAskedForAPictureOfTheViewTimesHundred) {
    EXPECT_TRUE(doc->beginPicture(640, 300));
    ASSERT_EQ(ctl().count(DISPID_CreateMetaFile), 1);
    const auto& args = ctl().calls.back().args;
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0].toInt(), 64000);
    EXPECT_EQ(args[1].toInt(), 30000);
    EXPECT_EQ(doc->pictureStatus(), 0);
    // An empty view asks for nothing.
    ctl().clearLog();
    EXPECT_FALSE(doc->beginPicture(0, 300));
    EXPECT_EQ(ctl().count(DISPID_CreateMetaFile), 0);
}

// A control that refuses the request (it answers false) is not waited for.
class RefusingControl : public RecordingControl {
public:
    Variant Invoke(int dispid, const std::vector<Variant>& args) override {
        RecordingControl::Invoke(dispid, args);
        return dispid == DISPID_CreateMetaFile ? Variant(false) : Variant();
    }
};

TEST_F(PrintPictureTest, ARefusedRequestIsNotWaitedFor) {
    RefusingControl refusing;
    refusing.props = ctl().props;
    CPlotrane2D wrapper(&refusing);
    struct View : ControlHostView {
        CPlotrane2D* w;
        bool isGraphPane() const override { return true; }
        CPlotrane2D* control() override { return w; }
    } view;
    view.w = &wrapper;
    doc->removeView(&graph);
    doc->addView(&view);
    EXPECT_FALSE(doc->beginPicture(640, 300));
    EXPECT_EQ(refusing.count(DISPID_CreateMetaFile), 1);
    doc->removeView(&view);
}

TEST_F(PrintPictureTest, PrintingTwiceWithoutMovingReusesThePictureRotatingMakesANewOne) {
    ASSERT_TRUE(doc->beginPicture(400, 300));
    const std::string first = complete("emf1.svg");
    doc->endPrinting();
    EXPECT_EQ(doc->pictureStatus(), 0);

    // Moved by less than 0.1 (squared 0.0081): the same picture, complete.
    setCamera(1.09f, 2.0f, 3.0f);
    EXPECT_FALSE(doc->beginPicture(400, 300));
    EXPECT_EQ(ctl().count(DISPID_CreateMetaFile), 1);
    EXPECT_EQ(doc->pictureStatus(), 6);
    EXPECT_EQ(doc->pictureFile(), first);
    EXPECT_TRUE(exists(first));
    doc->endPrinting();

    // Rotated: the old picture is deleted and a new one asked for.
    setCamera(-2.0f, 1.0f, 3.0f);
    EXPECT_TRUE(doc->beginPicture(400, 300));
    EXPECT_EQ(ctl().count(DISPID_CreateMetaFile), 2);
    EXPECT_FALSE(exists(first));
    EXPECT_EQ(doc->pictureFile(), "");
    // The new picture is measured from the new position.
    const std::string second = complete("emf2.svg");
    EXPECT_FALSE(doc->beginPicture(400, 300));
    EXPECT_EQ(doc->pictureFile(), second);
}

TEST_F(PrintPictureTest, GraphChangesThePaletteBarAndClosingDropThePicture) {
    std::string file = complete("emf1.svg");
    doc->settingsChanged(false);
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(doc->pictureFile(), "");

    file = complete("emf2.svg");
    doc->toggleShowPalette();
    EXPECT_FALSE(exists(file));
    // Without a cached picture the same camera asks again.
    EXPECT_TRUE(doc->beginPicture(400, 300));

    file = complete("emf3.svg");
    doc.reset();
    EXPECT_FALSE(exists(file));
}
