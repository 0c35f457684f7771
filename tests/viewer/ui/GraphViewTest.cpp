// Over 800 lines: every graph command through one frame, menus and toolbar alike.
// The graph view in the main frame: the control made by class id, its
// events, and every graph command driven through the real menus and toolbar
// buttons, with an array, without one, and without a control.
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "ImageCompare.h"
#include "MessageSink.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TavrixObj.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"
#include "aglSegment.h"

#include <QColorDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>

using namespace plotrane;
namespace cmd = command_id;

namespace {

// The control as the viewer knows it: a widget made by the factory, whose
// events are signals by name and whose shown frame is a property.
template <typename... Args> void emitEvent(QWidget* control, const char* name, Args... args) {
    ASSERT_TRUE(QMetaObject::invokeMethod(control, name, Qt::DirectConnection, args...)) << name;
}
void fltrPass(QWidget* control, int16_t level, int16_t component, double lo, double hi) {
    emitEvent(control, "FltrPass", Q_ARG(int16_t, level), Q_ARG(int16_t, component),
              Q_ARG(double, lo), Q_ARG(double, hi));
}
QImage shownFrame(QWidget* control) {
    return control->property("currentFrame").value<QImage>();
}

// A control that reports the version it is given and takes every call.
class VersionedControl : public QWidget, public ControlDispatch {
public:
    VersionedControl(int major, int minor, QWidget* parent) : QWidget(parent) {
        m_major = major;
        m_minor = minor;
    }
    Variant GetProperty(int dispid) override {
        if (dispid == DISPID_MajorVersion) return Variant(m_major);
        if (dispid == DISPID_MinorVersion) return Variant(m_minor);
        return {};
    }
    DispatchStatus SetProperty(int, const Variant&) override { return {}; }
    Variant Invoke(int, const std::vector<Variant>&) override { return {}; }

private:
    int m_major, m_minor;
};

CPlotrane2DView::ControlMaker versioned(int major, int minor) {
    return [major, minor](QWidget* parent) {
        auto* c = new VersionedControl(major, minor, parent);
        return ControlInstance{c, c};
    };
}

class GraphViewTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }

    void makeFrame(CPlotrane2DView::ControlMaker maker = CPlotrane2DView::libraryControl()) {
        doc = std::make_unique<CArrayDoc>(settings, sink);
        frame = std::make_unique<CMainFrame>(doc.get(), &settings, nullptr, maker);
        frame->resize(640, 560);
        frame->show();
        settle();
    }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    // Saves an R x C float array (a smooth hill) and opens it in the frame.
    void openArray(int rows, int cols, const std::string& name = "a.agl") {
        auto a = makeArray({rows, cols}, AGL_FLOAT, AGL_LANG_C);
        ASSERT_TRUE(a);
        fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.2 * c) + 0.1 * double(r); });
        ASSERT_TRUE(a->saveTo(dir.file(name)));
        ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file(name))));
        settle();
    }
    QAction* action(int id) {
        QAction* a = frame->commandAction(id);
        EXPECT_NE(a, nullptr) << id;
        return a;
    }
    QMenu* menuOf(QAction* a) {
        for (QObject* o : a->associatedObjects())
            if (auto* m = qobject_cast<QMenu*>(o)) return m;
        return nullptr;
    }
    // Opens the command's menu from the menu bar with the mouse and clicks
    // the item; a disabled item leaves the menu open, which Escape closes.
    void clickMenu(int id) {
        QAction* a = action(id);
        QMenu* menu = menuOf(a);
        ASSERT_NE(menu, nullptr);
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(waitFor([menu] { return menu->isVisible(); })) << id;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
        settle();
        if (menu->isVisible()) menu->close();
        settle();
    }
    // Clicks the command's button on the toolbar.
    void clickButton(int id) {
        QWidget* button = frame->secondToolBar()->widgetForAction(action(id));
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }
    // What the user sees when the menu opens.
    bool enabled(int id) {
        frame->updateCommandStates();
        return action(id)->isEnabled();
    }
    bool checked(int id) {
        frame->updateCommandStates();
        return action(id)->isChecked();
    }
    int prop(int dispid) { return doc->control(true)->getInt(dispid); }
    // A member called as an automation client calls it.
    void call(automation::TavrixObj& client, const char* member, automation::Values args = {}) {
        const automation::Result r = client.call(member, args);
        EXPECT_TRUE(r.ok()) << member << ": " << r.message;
    }

    TempDir dir;
    SettingsStore settings;
    RecordingSink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
};

const int kKindCommands[] = {cmd::HeightPlot, cmd::ImageMap, cmd::VectorGraph, cmd::PlaneView};

// Every graph command of the menus.
const int kAllCommands[] = {cmd::HomeView,          cmd::SetHome,           cmd::ShowPalette,
                            cmd::AxisScales,        cmd::HeightPlot,        cmd::ImageMap,
                            cmd::VectorGraph,       cmd::PlaneView,         cmd::ZoomIn,
                            cmd::ZoomOut,           cmd::PaletteCustom,     cmd::PaletteCustom + 1,
                            cmd::PaletteCustom + 4, cmd::PaletteCustom + 6, cmd::Refresh,
                            cmd::DataView};

TEST_F(GraphViewTest, TheControlIsMadeByClassIdAndStartsWithoutAGraph) {
    makeFrame();
    CGraphView* view = frame->graphView();
    ASSERT_TRUE(view->isCreated());
    EXPECT_TRUE(view->isGraphPane());
    EXPECT_EQ(doc->graphView(), view);
    EXPECT_EQ(view->controlWidget()->size(), view->size());
    EXPECT_EQ(doc->control(), nullptr); // no array yet
    CPlotrane2D* c = doc->control(true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getInt(DISPID_GraphType), 0);
    EXPECT_FALSE(c->getBool(DISPID_ShowPalette));
    EXPECT_EQ(translateOleColor(uint32_t(c->getInt(DISPID_BackColor))), 0xFFFFFFu);
    EXPECT_TRUE(sink.messages.empty());
    // Resizing the pane resizes the control.
    frame->resize(700, 640);
    settle();
    EXPECT_EQ(view->controlWidget()->size(), view->size());
}

struct VersionCase {
    int major, minor;
    bool accepted;
};
void PrintTo(const VersionCase& v, std::ostream* out) {
    *out << v.major << "." << v.minor;
}
class ControlVersionTest : public GraphViewTest,
                           public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ControlVersionTest, OldControlsAreRefusedWithTheVersionFound) {
    const VersionCase v = GetParam();
    makeFrame(versioned(v.major, v.minor));
    EXPECT_EQ(frame->graphView()->isCreated(), v.accepted);
    if (v.accepted) {
        EXPECT_TRUE(sink.messages.empty());
    } else {
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], "Fatal Error!\n\nPlotrane2D ActiveX control out of date.\n"
                                    "Version is: " +
                                        std::to_string(v.major) + "." + std::to_string(v.minor) +
                                        ".\nNeed version 1.5 or higher.");
        EXPECT_EQ(doc->control(true), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ControlVersionTest,
                         ::testing::Values(VersionCase{1, 7, true}, VersionCase{1, 5, true},
                                           VersionCase{2, 0, true}, VersionCase{1, 4, false},
                                           VersionCase{0, 9, false}));

TEST_F(GraphViewTest, GraphKindsFromMenuAndToolbarWithTheirCheckMarks) {
    makeFrame();
    openArray(8, 40);                                         // plane view allowed: 8 rows
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView); // the default kind
    for (int id : kKindCommands)
        EXPECT_TRUE(enabled(id)) << id;

    clickMenu(cmd::HeightPlot);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
    EXPECT_EQ(prop(DISPID_CamViewType), 0);
    EXPECT_TRUE(enabled(cmd::HomeView));
    EXPECT_TRUE(enabled(cmd::SetHome));

    clickButton(cmd::ImageMap);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::ImageMap);
    EXPECT_EQ(prop(DISPID_CamViewType), 2);
    // Home view moves only the free camera.
    EXPECT_FALSE(enabled(cmd::HomeView));

    clickMenu(cmd::PlaneView);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView);
    EXPECT_EQ(prop(DISPID_CamViewType), 1); // 40 columns, 8 rows

    clickButton(cmd::VectorGraph);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::VectorGraph);
    // 8 rows of 40 components became 40 rows of 8.
    EXPECT_EQ(prop(DISPID_NumRows), 40);
    EXPECT_EQ(prop(DISPID_NumColumns), 8);

    for (int id : kKindCommands)
        EXPECT_EQ(checked(id), id == cmd::VectorGraph) << id;
    // The toolbar button shows the same mark.
    auto* button = qobject_cast<QToolButton*>(
        frame->secondToolBar()->widgetForAction(action(cmd::VectorGraph)));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isChecked());
}

TEST_F(GraphViewTest, KindsTheRegionDoesNotSuitAreDisabledAndClicksOnThemChangeNothing) {
    makeFrame();
    openArray(1, 30); // one row: only the plane view
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView);
    EXPECT_FALSE(enabled(cmd::HeightPlot));
    EXPECT_FALSE(enabled(cmd::ImageMap));
    EXPECT_FALSE(enabled(cmd::VectorGraph));
    EXPECT_TRUE(enabled(cmd::PlaneView));
    clickMenu(cmd::HeightPlot);
    clickButton(cmd::ImageMap);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::PlaneView);

    openArray(30, 30, "b.agl"); // too wide and tall for the plane view
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
    EXPECT_FALSE(enabled(cmd::PlaneView));
    clickMenu(cmd::PlaneView);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
}

// Kinds from outside the menus (a trailer's 16-bit kind, a setting, an
// automation client): anything but 0..4 means "let the document choose",
// and an explicit kind the region does not suit falls back the same way.
struct KindCase {
    int rows, cols, requested, want;
};
void PrintTo(const KindCase& k, std::ostream* out) {
    *out << k.rows << "x" << k.cols << " kind " << k.requested;
}
class ExplicitKindTest : public GraphViewTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ExplicitKindTest, FallsBackLikeTheAutomaticChoice) {
    const KindCase k = GetParam();
    makeFrame();
    openArray(k.rows, k.cols);
    clickMenu(cmd::ImageMap); // where allowed; the kind shown before the request
    doc->selectGraphType(k.requested);
    settle();
    EXPECT_EQ(doc->currentGraphType(), k.want);
    // The settings of the kind shown are applied, whatever was asked for.
    EXPECT_EQ(prop(DISPID_GraphStyle), doc->graphSettings(k.want).graphStyle);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ExplicitKindTest,
    ::testing::Values(KindCase{20, 20, 9, CArrayDoc::ImageMap},
                      KindCase{20, 20, -3, CArrayDoc::ImageMap},
                      KindCase{20, 20, 32767, CArrayDoc::ImageMap},
                      KindCase{20, 20, CArrayDoc::PlaneView, CArrayDoc::ImageMap},
                      KindCase{1, 30, CArrayDoc::VectorGraph, CArrayDoc::PlaneView},
                      KindCase{1, 30, 9, CArrayDoc::PlaneView},
                      KindCase{8, 40, CArrayDoc::HeightPlot, CArrayDoc::HeightPlot}));

TEST_F(GraphViewTest, EachPaletteFromTheMenuIsSetAndMarked) {
    makeFrame();
    openArray(20, 20);
    for (int n : {4, 1, 2, 3, 5, 6}) {
        clickMenu(cmd::PaletteCustom + n);
        EXPECT_EQ(prop(DISPID_PaletteId), n);
        for (int k = 0; k < 7; ++k)
            EXPECT_EQ(checked(cmd::PaletteCustom + k), k == n) << n << " " << k;
    }
    // The file has no palette of its own: Custom sets palette 0 but is not
    // marked.
    clickMenu(cmd::PaletteCustom);
    EXPECT_EQ(prop(DISPID_PaletteId), 0);
    for (int k = 0; k < 7; ++k)
        EXPECT_FALSE(checked(cmd::PaletteCustom + k)) << k;
}

TEST_F(GraphViewTest, ShowPaletteAndShowMarkerToggleFromMenuAndToolbar) {
    makeFrame();
    openArray(20, 20);
    ASSERT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
    const bool before = prop(DISPID_ShowPalette) != 0;
    clickMenu(cmd::ShowPalette);
    EXPECT_EQ(prop(DISPID_ShowPalette) != 0, !before);
    EXPECT_EQ(doc->paletteShown(), !before);
    EXPECT_EQ(checked(cmd::ShowPalette), !before);
    clickButton(cmd::ShowPalette);
    EXPECT_EQ(prop(DISPID_ShowPalette) != 0, before);
    EXPECT_EQ(checked(cmd::ShowPalette), before);

    const bool marker = prop(DISPID_ShowCursor) != 0;
    EXPECT_EQ(enabled(cmd::ColorMarker), marker);
    clickButton(cmd::ShowMarker);
    EXPECT_EQ(prop(DISPID_ShowCursor) != 0, !marker);
    EXPECT_EQ(checked(cmd::ShowMarker), !marker);
    EXPECT_EQ(enabled(cmd::ColorMarker), !marker);
}

// The menus and toolbar buttons follow what an automation client and the
// control's own property pages change, without a menu being opened (after
// `tavrixctl H set GraphType=2` Height Plot stayed checked).
TEST_F(GraphViewTest, CommandStatesFollowChangesMadeOutsideTheMenus) {
    makeFrame();
    automation::TavrixObj client(*doc, [this](bool show) { frame->setVisible(show); });
    auto call = [&](const char* member, automation::Values args = {}) {
        GraphViewTest::call(client, member, std::move(args));
    };
    auto a = makeArray({20, 20}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.2 * c) + 0.1 * double(r); });
    ASSERT_TRUE(a->saveTo(dir.file("client.agl")));
    call("PutFileName", {Variant(dir.file("client.agl"))});
    settle();
    auto shows = [&](int id, bool on) {
        return waitFor([&] { return action(id)->isChecked() == on; });
    };
    ASSERT_TRUE(shows(cmd::HeightPlot, true));

    call("PutGraphType", {Variant(2)});
    EXPECT_TRUE(shows(cmd::ImageMap, true));
    EXPECT_FALSE(action(cmd::HeightPlot)->isChecked());
    call("PutShowCursor", {Variant(prop(DISPID_ShowCursor) ? 0 : 1)});
    EXPECT_TRUE(shows(cmd::ShowMarker, prop(DISPID_ShowCursor) != 0));
    EXPECT_TRUE(waitFor([&] { return action(cmd::Refresh)->isEnabled(); }));
    call("PutDataRefreshEnable", {Variant(0)});
    EXPECT_TRUE(waitFor([&] { return !action(cmd::Refresh)->isEnabled(); }));

    // A write that goes straight to the control, as its property pages do.
    CPlotrane2D* control = frame->graphView()->control();
    ASSERT_NE(control, nullptr);
    const bool palette = prop(DISPID_ShowPalette) != 0;
    control->setBool(DISPID_ShowPalette, !palette);
    EXPECT_TRUE(shows(cmd::ShowPalette, !palette));
}

// A client's custom palette is shown when PaletteId becomes 0; until then
// the picture keeps the palette that is checked, and choosing that palette
// again works (the picture used to switch behind PaletteId, and choosing
// the checked palette again then changed nothing).
TEST_F(GraphViewTest, AClientsPaletteShowsWhenPaletteIdBecomesZero) {
    makeFrame();
    openArray(20, 20);
    automation::TavrixObj client(*doc, nullptr);
    clickMenu(cmd::ImageMap);
    clickMenu(cmd::PaletteCustom + 1); // gray scale
    QWidget* control = frame->graphView()->controlWidget();
    ASSERT_NE(control, nullptr);
    // The custom palette is all green, which no gray scale holds.
    auto greenPixels = [&] {
        const QImage picture = shownFrame(control).convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb p = picture.pixel(x, y);
                n += qGreen(p) > 150 && qRed(p) < 80 && qBlue(p) < 80;
            }
        return n;
    };
    auto nextFrame = [&] {
        const QImage before = shownFrame(control);
        call(client, "PutShowCursor", {Variant(prop(DISPID_ShowCursor) ? 0 : 1)});
        return waitFor([&] { return shownFrame(control) != before; });
    };
    ASSERT_TRUE(nextFrame());
    ASSERT_EQ(greenPixels(), 0);

    aglSegment palette;
    const int32_t entries[1] = {1024};
    ASSERT_TRUE(palette.create(nullptr, 1, entries, AGL_UCHAR, AGL_LANG_C));
    auto* rgba = static_cast<uint8_t*>(palette.elements());
    for (int i = 0; i < 256; ++i) {
        rgba[4 * i] = rgba[4 * i + 2] = 0;
        rgba[4 * i + 1] = 200;
        rgba[4 * i + 3] = 255;
    }
    call(client, "PutPaletteFileName", {Variant(palette.name())});
    ASSERT_TRUE(nextFrame());
    EXPECT_EQ(greenPixels(), 0) << "the custom palette showed behind PaletteId";
    EXPECT_TRUE(waitFor([&] { return action(cmd::PaletteCustom + 1)->isChecked(); }));

    call(client, "PutPaletteId", {Variant(int16_t(0))});
    EXPECT_TRUE(waitFor([&] { return greenPixels() > 100; }));
    EXPECT_TRUE(waitFor([&] { return action(cmd::PaletteCustom)->isChecked(); }));
    clickMenu(cmd::PaletteCustom + 1);
    EXPECT_EQ(prop(DISPID_PaletteId), 1);
    EXPECT_TRUE(waitFor([&] { return greenPixels() == 0; }));
}

TEST_F(GraphViewTest, ZoomInTwiceAndOutTwiceAroundTheMarker) {
    makeFrame();
    openArray(40, 40);
    doc->setCursor(20, 20);
    settle();
    EXPECT_FALSE(enabled(cmd::ZoomOut));
    EXPECT_TRUE(enabled(cmd::ZoomIn));
    const int rowDim = doc->currentArray()->rowDim(), colDim = doc->currentArray()->colDim();
    CPlotrane2D* c = doc->control();

    clickMenu(cmd::ZoomIn);
    EXPECT_EQ(doc->zoomLevel(), 1);
    int32_t c0, r0, C, R;
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(std::vector<int32_t>({r0, c0, R, C}), std::vector<int32_t>({6, 6, 28, 28}));
    EXPECT_EQ(c->GetRoiLb(rowDim), 6);
    EXPECT_EQ(c->GetRoiUb(colDim), 33);
    EXPECT_TRUE(enabled(cmd::ZoomOut));

    clickButton(cmd::ZoomIn);
    EXPECT_EQ(doc->zoomLevel(), 2);
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 19); // floor(sqrt(28 * 28 / 2))
    EXPECT_EQ(r0, 11);

    clickButton(cmd::ZoomOut);
    EXPECT_EQ(doc->zoomLevel(), 1);
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 28);
    clickMenu(cmd::ZoomOut);
    EXPECT_EQ(doc->zoomLevel(), 0);
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(std::vector<int32_t>({r0, c0, R, C}), std::vector<int32_t>({0, 0, 40, 40}));
    EXPECT_EQ(c->GetRoiLb(rowDim), 0);
    EXPECT_EQ(c->GetRoiUb(rowDim), 39);
    EXPECT_FALSE(enabled(cmd::ZoomOut));
}

TEST_F(GraphViewTest, ZoomInStopsAtTheSixteenthLevel) {
    makeFrame();
    // Wide enough that every level halves the columns: 10 x 2^20.
    auto a = makeArray({10, 1 << 20}, AGL_UCHAR, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("wide.agl")));
    ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("wide.agl"))));
    settle();
    for (int k = 1; k <= CArrayDoc::kMaxZoomLevels; ++k) {
        ASSERT_TRUE(enabled(cmd::ZoomIn)) << k;
        clickButton(cmd::ZoomIn);
        ASSERT_EQ(doc->zoomLevel(), k);
    }
    EXPECT_EQ(doc->zoomRegion(16).colCount, (1 << 20) >> 16);
    EXPECT_FALSE(enabled(cmd::ZoomIn));
    clickButton(cmd::ZoomIn);
    EXPECT_EQ(doc->zoomLevel(), CArrayDoc::kMaxZoomLevels);
    EXPECT_EQ(doc->zoomLevelCount(), CArrayDoc::kMaxZoomLevels);
}

TEST_F(GraphViewTest, ColourCommandsStartFromTheControlsColourAndWriteTheChoice) {
    makeFrame();
    openArray(20, 20);
    CPlotrane2D* c = doc->control();
    c->setColor(DISPID_AxisColor, 0x00336699u); // red 0x99, green 0x66, blue 0x33
    QColor offered;
    // The dialog is modal: answer it once it is up, with the keyboard.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(waitFor([] {
            return qobject_cast<QColorDialog*>(QApplication::activeModalWidget()) != nullptr;
        }));
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        offered = dialog->currentColor();
        dialog->setCurrentColor(QColor(10, 200, 30));
        QTest::keyClick(dialog, Qt::Key_Enter);
    });
    clickMenu(cmd::ColorAxis);
    EXPECT_EQ(offered, QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(uint32_t(c->getInt(DISPID_AxisColor)), 10u | 200u << 8 | 30u << 16);

    // Cancel keeps the colour.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(waitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        QWidget* dialog = QApplication::activeModalWidget();
        qobject_cast<QColorDialog*>(dialog)->setCurrentColor(Qt::red);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    clickMenu(cmd::ColorAxis);
    EXPECT_EQ(uint32_t(c->getInt(DISPID_AxisColor)), 10u | 200u << 8 | 30u << 16);
}

TEST_F(GraphViewTest, ColourCommandsFollowTheirEnableRules) {
    makeFrame();
    EXPECT_FALSE(enabled(cmd::ColorBackground)); // no array
    EXPECT_FALSE(enabled(cmd::ColorLabels));
    EXPECT_TRUE(enabled(cmd::ColorAxis)); // a control exists
    openArray(20, 20);
    CPlotrane2D* c = doc->control();
    EXPECT_TRUE(enabled(cmd::ColorBackground));
    c->setBool(DISPID_UseColorPalette, true);
    EXPECT_FALSE(enabled(cmd::ColorGraph));
    c->setBool(DISPID_UseColorPalette, false);
    EXPECT_TRUE(enabled(cmd::ColorGraph));
    c->setBool(DISPID_ShowGrid, true);
    c->setShort(DISPID_GraphStyle, 1);
    EXPECT_TRUE(enabled(cmd::ColorGridLines));
    c->setShort(DISPID_GraphStyle, 0);
    EXPECT_FALSE(enabled(cmd::ColorGridLines));
}

TEST_F(GraphViewTest, WithoutAnArrayEveryCommandIsDisabledAndClicksDoNothing) {
    makeFrame();
    for (int id : kAllCommands)
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(enabled(cmd::ShowMarker)); // the control's own toggle
    const int palette = prop(DISPID_PaletteId);
    for (int id : {cmd::HeightPlot, cmd::ZoomIn, cmd::ShowPalette, cmd::HomeView})
        clickButton(id);
    clickMenu(cmd::PaletteCustom + 1);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::NoGraph);
    EXPECT_EQ(prop(DISPID_PaletteId), palette);
    EXPECT_FALSE(prop(DISPID_ShowPalette));
    EXPECT_EQ(doc->zoomLevel(), 0);
}

TEST_F(GraphViewTest, WithoutAControlTheFrameStandsAndEveryCommandIsHarmless) {
    makeFrame([](QWidget*) { return ControlInstance{}; });
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Fatal Error!\n\nCan't load Plotrane2D ActiveX control!");
    EXPECT_FALSE(frame->graphView()->isCreated());
    EXPECT_TRUE(frame->graphView()->currentFrame().isNull());
    openArray(8, 40);
    EXPECT_EQ(doc->control(true), nullptr);
    for (int id : kKindCommands)
        EXPECT_FALSE(enabled(id));
    for (int id : {cmd::HeightPlot, cmd::ImageMap, cmd::ZoomIn, cmd::ZoomOut, cmd::ShowPalette,
                   cmd::ShowMarker, cmd::HomeView})
        clickButton(id);
    for (int id : {cmd::PaletteCustom + 2, cmd::SetHome, cmd::AxisScales, cmd::ColorAxis,
                   cmd::ColorBackground})
        clickMenu(id);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::NoGraph);
    // The spreadsheet still shows the array and follows the marker.
    doc->setCursor(3, 5);
    EXPECT_EQ(doc->cursorRow(), 3);
}

TEST_F(GraphViewTest, TheMarkerIsSharedBothWays) {
    makeFrame();
    openArray(20, 20);
    CPlotrane2D* c = doc->control();
    QTableView* table = frame->gridView()->table();
    ASSERT_NE(table, nullptr);
    // A click in the spreadsheet moves the graph's cursor.
    const QModelIndex cell = table->model()->index(4, 7);
    table->scrollTo(cell);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
    settle();
    EXPECT_EQ(c->getInt(DISPID_Row), 4);
    EXPECT_EQ(c->getInt(DISPID_Col), 7);
    // Arrow keys in the spreadsheet too.
    QTest::keyClick(table, Qt::Key_Right);
    settle();
    EXPECT_EQ(c->getInt(DISPID_Col), 8);

    // The control reports a move (its RowColChanged event): the spreadsheet
    // follows, clamped into the array.
    auto* control = frame->graphView()->controlWidget();
    ASSERT_NE(control, nullptr);
    emitEvent(control, "RowColChanged", Q_ARG(int32_t, 11), Q_ARG(int32_t, 2));
    settle();
    EXPECT_EQ(doc->cursorRow(), 11);
    EXPECT_EQ(doc->cursorColumn(), 2);
    EXPECT_EQ(table->currentIndex().row(), 11);
    EXPECT_EQ(table->currentIndex().column(), 2);
    emitEvent(control, "RowColChanged", Q_ARG(int32_t, 500), Q_ARG(int32_t, -3));
    settle();
    EXPECT_EQ(doc->cursorRow(), 19);
    EXPECT_EQ(doc->cursorColumn(), 0);
}

TEST_F(GraphViewTest, FilterPassesFillTheRangeTablesAndOthersAreIgnored) {
    makeFrame();
    openArray(20, 30);
    CGraphView* view = frame->graphView();
    // The control's own passes: the hill's range arrives with the first one.
    ASSERT_TRUE(waitFor(
        [view] {
            double lo = 0, hi = 0;
            view->passRange(0, lo, hi);
            return hi > lo;
        },
        20000));
    double lo = 0, hi = 0;
    view->passRange(0, lo, hi);
    // The filter's range may round outward a little.
    EXPECT_NEAR(lo, -1.0, 0.15);
    EXPECT_NEAR(hi, 2.9, 0.15);

    auto* control = view->controlWidget();
    fltrPass(control, 1, 3, -5.0, 5.0);
    fltrPass(control, 1, 4, -7.0, 7.0);
    fltrPass(control, 1, -1, -7.0, 7.0);
    view->passRange(3, lo, hi);
    EXPECT_EQ(lo, -5.0);
    EXPECT_EQ(hi, 5.0);
    lo = hi = 42.0;
    view->passRange(4, lo, hi);
    EXPECT_EQ(lo, 42.0);
    // The picture on screen can be handed over (what a copy of the graph takes).
    EXPECT_EQ(view->currentFrame().size(), view->controlWidget()->size());
}

// File > Open in turn of arrays larger and smaller than 64 x 64 (the largest
// whose levels stop below the finest): each time the graph steps up to a
// level that samples every element and shows a picture other than the last.
TEST_F(GraphViewTest, OpeningArraysOfManySizesInTurnShowsEachOne) {
    makeFrame();
    auto* control = frame->graphView()->controlWidget();
    ASSERT_NE(control, nullptr);
    QImage last;
    for (int n : {100, 64, 8, 65, 16, 100}) {
        SCOPED_TRACE(std::to_string(n) + " x " + std::to_string(n));
        openArray(n, n, "a" + std::to_string(n) + ".agl");
        EXPECT_EQ(prop(DISPID_NumRows), n);
        ASSERT_TRUE(waitFor([&] {
            return prop(DISPID_DataOffset) >= 0 && prop(DISPID_Resolution) == 1 &&
                   !shownFrame(control).isNull() && shownFrame(control) != last;
        })) << "level "
            << prop(DISPID_DataOffset);
        last = shownFrame(control);
    }
}

TEST_F(GraphViewTest, KindPaletteAndCameraSurviveAReloadTheZoomDoesNot) {
    makeFrame();
    openArray(40, 40);
    clickMenu(cmd::ImageMap);
    clickMenu(cmd::PaletteCustom + 1);
    doc->setCursor(20, 20);
    clickButton(cmd::ZoomIn);
    ASSERT_EQ(doc->zoomLevel(), 1);
    ASSERT_TRUE(doc->load(dir.file("a.agl")));
    settle();
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::ImageMap);
    EXPECT_EQ(prop(DISPID_PaletteId), 1);
    EXPECT_TRUE(checked(cmd::PaletteCustom + 1));
    EXPECT_EQ(doc->zoomLevel(), 0);
    int32_t c0, r0, C, R;
    doc->currentArray()->planeRoi(c0, r0, C, R);
    EXPECT_EQ(R, 40);
    // The 3-D camera remembered when the image map took over comes back.
    const CArrayDoc::Camera camera = doc->camera();
    clickMenu(cmd::HeightPlot);
    EXPECT_FLOAT_EQ(doc->control()->getFloat(DISPID_CamElevation), camera.elevation);
    EXPECT_FLOAT_EQ(doc->control()->getFloat(DISPID_CamAzimuth), camera.azimuth);
}

TEST_F(GraphViewTest, ClosingStoresThePaneHeightPaletteBarAndMarker) {
    makeFrame();
    openArray(20, 20);
    const bool palette = prop(DISPID_ShowPalette) != 0;
    const bool marker = prop(DISPID_ShowCursor) != 0;
    clickButton(cmd::ShowPalette);
    clickButton(cmd::ShowMarker);
    const int height = frame->graphView()->height();
    frame.reset();
    EXPECT_EQ(settings.readInt("ShowPalette", -1), palette ? 0 : 1);
    EXPECT_EQ(settings.readInt("ShowMarker", -1), marker ? 0 : 1);
    EXPECT_EQ(settings.graphViewHeight(), height);
}

// The 2-second timer asks about a rewritten file only while the main frame
// is the active window.
TEST_F(GraphViewTest, TheTimerChecksTheFileOnlyWhileTheFrameIsActive) {
    makeFrame();
    openArray(6, 6);
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &other; }));
    // The check's own period is no part of the rule: ticks come quicker here.
    auto* timer = frame->graphView()->findChild<QTimer*>("fileCheckTimer");
    ASSERT_NE(timer, nullptr);
    timer->setInterval(50);
    QSignalSpy ticks(timer, &QTimer::timeout);
    // Another program replaces the file.
    auto replacement = makeArray({6, 7}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(replacement->saveTo(dir.file("b.agl")));
    ASSERT_EQ(std::rename(dir.file("b.agl").c_str(), dir.file("a.agl").c_str()), 0);
    sink.messages.clear();
    // Ticks while another window is active ask nothing (the view's own
    // handler runs before the spy's).
    ASSERT_TRUE(waitFor([&] { return ticks.count() >= 3; }));
    EXPECT_TRUE(sink.messages.empty());
    frame->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == frame.get(); }));
    ASSERT_TRUE(waitFor([&] { return !sink.messages.empty(); }));
    EXPECT_NE(sink.messages[0].find("This file has been modified."), std::string::npos)
        << sink.messages[0];
}

} // namespace

// The graph's own cursor moves, by the user's keys and double-click on the
// control window, move the spreadsheet's marker with it.
TEST_F(GraphViewTest, KeysAndDoubleClicksInTheGraphMoveTheSpreadsheetsMarker) {
    makeFrame();
    openArray(20, 20);
    clickMenu(cmd::HeightPlot);
    QTableView* table = frame->gridView()->table();
    auto* control = frame->graphView()->controlWidget();
    ASSERT_NE(control, nullptr);
    doc->setCursor(3, 5);
    settle();
    control->setFocus();
    QTest::keyClick(control, Qt::Key_Up);
    QTest::keyClick(control, Qt::Key_Right);
    settle();
    EXPECT_EQ(doc->cursorRow(), 4);
    EXPECT_EQ(doc->cursorColumn(), 6);
    EXPECT_EQ(table->currentIndex().row(), 4);
    EXPECT_EQ(table->currentIndex().column(), 6);

    // A double-click on the surface, once it is drawn: the spreadsheet goes
    // to the picked cell.
    ASSERT_TRUE(waitFor([&] { return !shownFrame(control).isNull(); }));
    QSignalSpy selected(control, SIGNAL(DataSelect(int32_t, int32_t, double)));
    for (int x = control->width() / 4; x < control->width() * 3 / 4 && selected.isEmpty(); x += 10)
        QTest::mouseDClick(control, Qt::LeftButton, {}, QPoint(x, control->height() / 2));
    ASSERT_EQ(selected.count(), 1);
    settle();
    EXPECT_EQ(doc->cursorRow(), selected.first().at(0).toInt());
    EXPECT_EQ(doc->cursorColumn(), selected.first().at(1).toInt());
    EXPECT_EQ(table->currentIndex().row(), selected.first().at(0).toInt());
}

// The graph pane and `agltool render` set every kind up through the same
// presenter on the same control: at the pane's size, with the palette bar
// shown and no marker, the pane comes to show each kind as agltool draws it
// (the vector graph's window, wider than tall, turned by both; the plane
// view seen along the short side).
TEST_F(GraphViewTest, ThePaneAndAgltoolDrawEveryKindAlike) {
    makeFrame();
    openArray(8, 30, "k.agl");
    QWidget* control = frame->graphView()->controlWidget();
    ASSERT_NE(control, nullptr);
    // The palette bar is turned on under the image map, which the first
    // height plot then follows (under the plane view it would colour the
    // plane view's lines too). The image map's square cells give it a box
    // of the image's proportions, which the height plot must not keep.
    clickMenu(cmd::ImageMap);
    if (prop(DISPID_ShowPalette) == 0) clickButton(cmd::ShowPalette);
    if (prop(DISPID_ShowCursor) != 0) clickButton(cmd::ShowMarker);
    const QSize size = control->size();
    // The vector graph comes last: it turns the window, which stays turned.
    const std::pair<int, int> kinds[] = {{CArrayDoc::HeightPlot, cmd::HeightPlot},
                                         {CArrayDoc::PlaneView, cmd::PlaneView},
                                         {CArrayDoc::HeightPlot, cmd::HeightPlot},
                                         {CArrayDoc::ImageMap, cmd::ImageMap},
                                         {CArrayDoc::VectorGraph, cmd::VectorGraph}};
    for (const auto& [kind, command] : kinds) {
        SCOPED_TRACE("graph type " + std::to_string(kind));
        const std::string out = dir.file("agltool" + std::to_string(kind) + ".png");
        const std::string line =
            std::string(TAVRIX_BINARY_DIR) + "/bin/agltool render " + dir.file("k.agl") + " " +
            out + " --size " + std::to_string(size.width()) + "x" + std::to_string(size.height()) +
            " --graph-type " + std::to_string(kind) + " --set BackColor=FFFFFF";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
        const QImage tool =
            QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(tool.size(), size);

        clickMenu(command);
        ASSERT_EQ(doc->currentGraphType(), kind);
        // Anti-aliasing and text may differ by a few pixels, nothing more.
        const long long allowed = size.width() * size.height() / 200;
        QImage pane;
        long long differ = -1;
        const bool agree = waitFor(
            [&] {
                const QImage now = shownFrame(control);
                if (now.size() != size || now == pane) return false;
                pane = now;
                differ = tavrix::test::countDifferentPixels(pane, tool, 24);
                return differ <= allowed;
            },
            60000);
        if (!agree) {
            const QString name = QString::number(kind);
            pane.save(QStringLiteral(TAVRIX_BINARY_DIR "/test-output/pane%1.png").arg(name));
            tool.save(QStringLiteral(TAVRIX_BINARY_DIR "/test-output/agltool%1.png").arg(name));
        }
        EXPECT_TRUE(agree) << differ << " pixels differ, " << allowed << " allowed";
    }
}
