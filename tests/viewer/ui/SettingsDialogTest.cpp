// Over 800 lines: every settings dialog shares one fixture (the frame, the counting control).
// The settings dialogs, opened through their menu commands in the main
// frame with the real graph control: values typed and clicked, OK, Apply and
// Cancel, what reaches the control (counted at its dispatch interface), the
// document's modified mark, refused input, and the layouts at two font
// sizes.
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "MessageSink.h"
#include "QtTestApp.h"
#include "RangeEdit.h"
#include "SettingsDialogs.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"
#include "WidgetMessageSink.h"
#include "plotrane/PropertyTable.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>

using namespace plotrane;
namespace cmd = command_id;

namespace {

// The real control's dispatch interface, counting the calls that change it.
class CountingDispatch : public QObject, public ControlDispatch {
public:
    CountingDispatch(ControlDispatch* real, QObject* owner) : QObject(owner), m_real(real) {}
    Variant GetProperty(int dispid) override { return m_real->GetProperty(dispid); }
    DispatchStatus SetProperty(int dispid, const Variant& v) override {
        ++writes;
        written.push_back(dispid);
        return m_real->SetProperty(dispid, v);
    }
    Variant Invoke(int dispid, const std::vector<Variant>& args) override {
        const bool reads = dispid == DISPID_GetRoiLb || dispid == DISPID_GetRoiUb ||
                           dispid == DISPID_GetLBound || dispid == DISPID_GetFrameRate;
        if (!reads) {
            ++writes;
            written.push_back(dispid);
        }
        return m_real->Invoke(dispid, args);
    }
    int writes = 0;
    std::vector<int> written;

private:
    ControlDispatch* m_real;
};

// Runs body on the modal dialog once it is up and active (called from its
// own event loop; keys and mnemonics reach only the active window), or gives
// up when the watch is dropped (the body's captures may be gone by then) or
// after the wait's time-out.
struct DialogWatch {
    bool ran = false;
    bool dropped = false;
    // Owns the polling timer: gone with the watch, whether it ran or not.
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
};
// Drops the watch when the test's scope ends, however it ends.
struct WatchHandle {
    std::shared_ptr<DialogWatch> watch;
    ~WatchHandle() {
        watch->dropped = true;
        watch->context.reset();
    }
    DialogWatch* operator->() const { return watch.get(); }
};
std::shared_ptr<DialogWatch> startWatch(std::function<void(QDialog*)> body) {
    auto watch = std::make_shared<DialogWatch>();
    auto* timer = new QTimer(watch->context.get());
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    std::weak_ptr<DialogWatch> weak = watch;
    QObject::connect(timer, &QTimer::timeout, timer, [body, weak, clock, timer] {
        const std::shared_ptr<DialogWatch> w = weak.lock();
        if (!w || w->dropped || clock->elapsed() > tavrix_test::kWaitTimeoutMs) {
            timer->stop();
            return;
        }
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        if (!d->isActiveWindow()) {
            d->activateWindow();
            return;
        }
        timer->stop();
        w->ran = true;
        settle(); // the layout's and the focus's queued events
        body(d);
        // A test that failed halfway still lets the dialog go.
        if (d->isVisible()) d->done(QDialog::Rejected);
    });
    timer->start(10);
    return watch;
}
WatchHandle whenDialogShows(std::function<void(QDialog*)> body) {
    return WatchHandle{startWatch(std::move(body))};
}

template <typename W> W* child(QDialog* d, int id) {
    W* w = d->findChild<W*>(QString("control%1").arg(id));
    EXPECT_NE(w, nullptr) << "control" << id;
    return w;
}

void click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
}

void clickOk(QDialog* d) {
    auto* box = d->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
}
void clickCancel(QDialog* d) {
    auto* box = d->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
}
void clickApply(QDialog* d) {
    click(child<QPushButton>(d, 1007));
}

// Replaces the text of an edit (or a spin box's edit) as a user would.
void typeInto(QWidget* w, const QString& text) {
    ASSERT_NE(w, nullptr);
    QLineEdit* edit = qobject_cast<QLineEdit*>(w);
    if (!edit) edit = w->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureQtApp();
        settings = std::make_unique<SettingsStore>(QString::fromStdString(dir.file("s.ini")));
        doc = std::make_unique<CArrayDoc>(*settings, sink);
        auto maker = [this](QWidget* parent) {
            ControlInstance made = createControl(kPlotrane2DClassId, parent);
            if (made) made.dispatch = counter = new CountingDispatch(made.dispatch, made.widget);
            return made;
        };
        frame = std::make_unique<CMainFrame>(doc.get(), settings.get(), nullptr, maker);
        frame->resize(640, 560);
        frame->show();
        settle();
    }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    void openArray(std::vector<int32_t> extents, int language = AGL_LANG_C,
                   const std::string& name = "a.agl") {
        auto a = makeArray(extents, AGL_FLOAT, language);
        ASSERT_TRUE(a);
        fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.2 * c) + 0.1 * double(r); });
        ASSERT_TRUE(a->saveTo(dir.file(name)));
        ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file(name))));
        settle();
        ASSERT_TRUE(doc->hasData());
        ASSERT_FALSE(doc->isModified());
    }
    void showKind(int kind) {
        doc->selectGraphType(kind);
        settle();
        ASSERT_EQ(doc->currentGraphType(), kind);
        doc->setModified(false);
    }
    QAction* action(int id) {
        QAction* a = frame->commandAction(id);
        EXPECT_NE(a, nullptr) << id;
        return a;
    }
    bool enabled(int id) {
        frame->updateCommandStates();
        return action(id)->isEnabled();
    }
    // Opens the command's menu from the menu bar with the mouse and clicks
    // the item; body runs on the dialog it opens. Returns whether a dialog
    // came up.
    bool runCommand(int id, std::function<void(QDialog*)> body) {
        QAction* a = action(id);
        QMenu* menu = nullptr;
        for (QObject* o : a->associatedObjects())
            if (auto* m = qobject_cast<QMenu*>(o)) menu = m;
        EXPECT_NE(menu, nullptr);
        if (!menu) return false;
        auto watch = whenDialogShows(std::move(body));
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        EXPECT_TRUE(waitFor([menu] { return menu->isVisible(); })) << id;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
        settle();
        if (menu->isVisible()) menu->close();
        // The click ran the command: its dialog has come and gone inside it,
        // or, for a disabled command, nothing came. Stop the watch.
        watch->dropped = true;
        settle();
        return watch->ran;
    }
    CPlotrane2D& ctl() { return *doc->control(true); }
    void resetCount() {
        counter->writes = 0;
        counter->written.clear();
    }

    TempDir dir;
    std::unique_ptr<SettingsStore> settings;
    RecordingSink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    CountingDispatch* counter = nullptr;
};

// ---------------------------------------------------------------------------
// The range spin: one step's arithmetic.

struct SpinCase {
    const char* what;
    double v, w, anchor;
    int x;
    bool lower;
    double want;
};
void PrintTo(const SpinCase& c, std::ostream* out) {
    *out << c.what;
}
class RangeSpinTest : public ::testing::TestWithParam<SpinCase> {};

TEST_P(RangeSpinTest, OneStep) {
    const SpinCase& c = GetParam();
    EXPECT_NEAR(rangeSpinStep(c.v, c.w, c.anchor, c.x, c.lower), c.want, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RangeSpinTest,
    ::testing::Values(
        // Position 1 moves by a hundredth of the distance.
        SpinCase{"minimum up slowly", 0, 10, 0, 1, true, 0.1},
        SpinCase{"minimum down slowly", 0, 10, 0, -1, true, -0.1},
        // Fast upward steps of a minimum creep at 1% of the gap.
        SpinCase{"minimum up fast creeps", 0, 10, 0, 300, true, 0.1},
        // A maximum racing down stops at the minimum.
        SpinCase{"maximum down fast stops at minimum", 10, 0, 10, -300, false, 0.0},
        // A minimum pushed past the maximum stops there.
        SpinCase{"minimum never passes maximum", 9.99, 10, 0, 60, true, 9.9901},
        // Large steps of a maximum land on a round grid above the minimum.
        SpinCase{"maximum snapped to the grid", 10, 0.3, 10, 100, false, 20.0},
        // An empty range still moves (distance at least 2^-15), snapped.
        SpinCase{"maximum off an empty range", 1, 1, 1, 100, false, 1.000031},
        // Position 0 is no step.
        SpinCase{"no speed", 5, 10, 5, 0, true, 5.0}));

TEST(RangeNumberTest, OnlyFiniteNumbersOfSaneSizeAreTaken) {
    for (const char* bad :
         {"", " ", "abc", "nan", "NaN", "inf", "-inf", "1e999", "1e301", "1,5", "0x10", "2..3"})
        EXPECT_FALSE(parseRangeNumber(bad).has_value()) << bad;
    EXPECT_EQ(parseRangeNumber(" -2.5 ").value_or(0), -2.5);
    EXPECT_EQ(parseRangeNumber("1e300").value_or(0), 1e300);
    EXPECT_EQ(rangeText(2.0), "2.000000");
}

// ---------------------------------------------------------------------------
// Opening and OK without a change writes nothing.

struct OpenCase {
    const char* what;
    int command;
    int kind;
    const char* title;
};
void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.what;
}
class OpenEachDialogTest : public SettingsDialogTest,
                           public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenEachDialogTest, OkWithoutChangesWritesNothing) {
    const OpenCase& c = GetParam();
    openArray({3, 12, 12});
    showKind(c.kind);
    ASSERT_TRUE(enabled(c.command));
    resetCount();
    QString title;
    EXPECT_TRUE(runCommand(c.command, [&](QDialog* d) {
        title = d->windowTitle();
        clickOk(d);
    }));
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(counter->writes, 0) << (counter->written.empty() ? 0 : counter->written[0]);
    EXPECT_FALSE(doc->isModified());
    EXPECT_TRUE(sink.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, OpenEachDialogTest,
    ::testing::Values(
        OpenCase{"HeightPlot", cmd::Graph, CArrayDoc::HeightPlot, "Height Plot Settings"},
        OpenCase{"ImageMap", cmd::Graph, CArrayDoc::ImageMap, "Image Map Settings"},
        OpenCase{"VectorGraph", cmd::Graph, CArrayDoc::VectorGraph, "Vector Plot Settings"},
        OpenCase{"PlaneView", cmd::Graph, CArrayDoc::HeightPlot, "Height Plot Settings"},
        OpenCase{"ZScale", cmd::ZScale, CArrayDoc::HeightPlot, "Z-Scale"},
        OpenCase{"AxisZ", cmd::AxisRange, CArrayDoc::HeightPlot, "Axis Range"},
        OpenCase{"AxisXYZ", cmd::AxisRange, CArrayDoc::VectorGraph, "Axis Range"},
        OpenCase{"PaletteRange", cmd::PaletteRange, CArrayDoc::HeightPlot, "Palette Range"},
        OpenCase{"Roi", cmd::RegionOfInterest, CArrayDoc::HeightPlot, "ROI Settings"}));

TEST_F(SettingsDialogTest, PlaneViewDialogMapsItsStylesAndWritesOnlyWhatChanged) {
    openArray({5, 40});
    showKind(CArrayDoc::PlaneView);
    ctl().setShort(DISPID_GraphStyle, GraphStyle::BarchartStyle);
    resetCount();
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Plane View Settings");
        EXPECT_TRUE(child<QRadioButton>(d, 1138)->isChecked()); // Barchart for style 2
        click(child<QRadioButton>(d, 1137));                    // Points
        clickOk(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_GraphStyle), 4);
    EXPECT_EQ(counter->written, std::vector<int>{DISPID_GraphStyle});
    EXPECT_TRUE(doc->isModified());
}

// ---------------------------------------------------------------------------
// Height plot

TEST_F(SettingsDialogTest, HeightPlotApplyWritesTheChangesInOrderAndMarksTheDocument) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setShort(DISPID_GraphStyle, GraphStyle::SurfaceStyle);
    ctl().setBool(DISPID_ShowGrid, true);
    ctl().setShort(DISPID_TextureMode, TextureMode::Never);
    resetCount();
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        EXPECT_TRUE(child<QRadioButton>(d, 1137)->isChecked());
        click(child<QRadioButton>(d, 1140)); // Points
        click(child<QCheckBox>(d, 1001));    // grid off
        clickApply(d);
        EXPECT_EQ(ctl().getInt(DISPID_GraphStyle), 4);
        EXPECT_FALSE(ctl().getBool(DISPID_ShowGrid));
        EXPECT_TRUE(doc->isModified());
        const std::vector<int> afterApply = counter->written;
        EXPECT_EQ(afterApply, (std::vector<int>{DISPID_GraphStyle, DISPID_ShowGrid}));
        // OK after Apply: nothing new to write.
        clickOk(d);
        EXPECT_EQ(counter->written, afterApply);
    }));
}

TEST_F(SettingsDialogTest, TextureOnDisablesFlatShadingAndAppliesShadingOne) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setShort(DISPID_Shading, Shading::Flat);
    ctl().setShort(DISPID_TextureMode, TextureMode::Never);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        QCheckBox* flat = child<QCheckBox>(d, 1003);
        QCheckBox* highLight = child<QCheckBox>(d, 1135);
        EXPECT_TRUE(flat->isChecked());
        EXPECT_TRUE(flat->isEnabled());
        click(child<QCheckBox>(d, 1004)); // Texture On
        EXPECT_FALSE(flat->isEnabled());
        EXPECT_FALSE(highLight->isEnabled());
        EXPECT_TRUE(flat->isChecked()); // still shows flat
        clickOk(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_Shading), 1);
    EXPECT_EQ(ctl().getInt(DISPID_TextureMode), 1);
}

TEST_F(SettingsDialogTest, GridSliderStaysInsideWhatTheControlTakesAndCancelPutsItBack) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setFloat(DISPID_GridDensity, 40.0f);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        QSlider* s = child<QSlider>(d, 1142);
        EXPECT_EQ(s->value(), 60);
        s->setFocus();
        // Home goes to the finest end: density 99, never 100 (refused).
        QTest::keyClick(s, Qt::Key_Home);
        EXPECT_EQ(s->value(), 1);
        EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_GridDensity), 99.0f);
        QTest::keyClick(s, Qt::Key_End);
        EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_GridDensity), 1.0f);
        EXPECT_TRUE(sink.messages.empty());
        clickCancel(d);
    }));
    EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_GridDensity), 40.0f);
}

TEST_F(SettingsDialogTest, ImageMapFlipsActAtOnceAndCancelPutsThemBack) {
    openArray({20, 30});
    showKind(CArrayDoc::ImageMap);
    aglArray* a = doc->currentArray();
    const int row = a->rowDim(), col = a->colDim();
    ctl().setShort(DISPID_ImageOrientation, ImageOrientation::Identity);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        click(child<QPushButton>(d, 1148)); // Flip X
        EXPECT_EQ(ctl().getInt(DISPID_ImageOrientation), 1);
        click(child<QPushButton>(d, 1149)); // Flip Y
        EXPECT_EQ(ctl().getInt(DISPID_ImageOrientation), 3);
        click(child<QPushButton>(d, 1150)); // Swap XY
        EXPECT_EQ(a->rowDim(), col);
        EXPECT_EQ(ctl().getInt(DISPID_ColDim), row);
        clickCancel(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_ImageOrientation), 0);
    EXPECT_EQ(a->rowDim(), row);
    EXPECT_EQ(ctl().getInt(DISPID_ColDim), col);

    // Applied, the flip stays after Cancel.
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        click(child<QPushButton>(d, 1149));
        clickApply(d);
        clickCancel(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_ImageOrientation), 2);
    EXPECT_TRUE(doc->isModified());
}

// Square cells are on for the image map unless the settings say otherwise;
// the check turns them off at once, is kept in the viewer's settings (not in
// the file: the document stays unmodified) and comes back with the next
// document.
TEST_F(SettingsDialogTest, SquareCellsAreTheViewersOwnSettingAndReachTheControl) {
    openArray({20, 30});
    showKind(CArrayDoc::ImageMap);
    EXPECT_EQ(ctl().GetImageAspect(), 1);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        auto* square = d->findChild<QCheckBox*>("squareCells");
        ASSERT_NE(square, nullptr);
        EXPECT_TRUE(square->isChecked());
        click(square);
        clickOk(d);
    }));
    EXPECT_EQ(ctl().GetImageAspect(), 0);
    EXPECT_EQ(settings->readInt("ImageAspect", 1), 0);
    EXPECT_FALSE(doc->isModified());
    EXPECT_FALSE(doc->squareCells());
    // Shown again, the image map keeps the choice; a new document reads it.
    showKind(CArrayDoc::HeightPlot);
    showKind(CArrayDoc::ImageMap);
    EXPECT_EQ(ctl().GetImageAspect(), 0);
    CArrayDoc other(*settings, sink);
    EXPECT_FALSE(other.squareCells());
    // Cancel leaves it as it was.
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        click(d->findChild<QCheckBox*>("squareCells"));
        clickCancel(d);
    }));
    EXPECT_EQ(ctl().GetImageAspect(), 0);
    EXPECT_EQ(settings->readInt("ImageAspect", 1), 0);
}

TEST_F(SettingsDialogTest, TheSettingsMenuOpensFromTheKeyboard) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    QString title;
    auto watch = whenDialogShows([&](QDialog* d) {
        title = d->windowTitle();
        // Mnemonics move the focus: Alt+E to the density slider.
        QTest::keyClick(d, Qt::Key_E, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), child<QSlider>(d, 1142));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::AltModifier);
    waitFor([] { return QApplication::activePopupWidget() != nullptr; });
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "&Settings");
    QTest::keyClick(menu, Qt::Key_G);
    waitFor([&watch] { return watch->ran; });
    watch->dropped = true;
    EXPECT_TRUE(watch->ran);
    EXPECT_EQ(title, "Height Plot Settings");
}

TEST_F(SettingsDialogTest, ControlPropertiesOpenTheControlsOwnSheetFromTheSettingsMenu) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    const double before = ctl().getDouble(plotrane::DISPID_LineWidth);
    QStringList tabs;
    auto watch = whenDialogShows([&](QDialog* d) {
        if (auto* t = d->findChild<QTabWidget*>())
            for (int i = 0; i < t->count(); ++i)
                tabs << t->tabText(i);
        // The Graph page's line width field, typed into; OK writes it.
        auto* edit = d->findChild<QLineEdit*>("LineWidth");
        ASSERT_NE(edit, nullptr);
        typeInto(edit, "2.5");
        clickOk(d);
    });
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::AltModifier);
    waitFor([] { return QApplication::activePopupWidget() != nullptr; });
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_P);
    waitFor([&watch] { return watch->ran; });
    watch->dropped = true;
    ASSERT_TRUE(watch->ran);
    EXPECT_EQ(tabs, QStringList({"Graph", "Scale", "Misc", "Axis", "Palette", "Camera", "Data",
                                 "Colors", "Fonts"}));
    EXPECT_NE(before, 2.5);
    EXPECT_DOUBLE_EQ(ctl().getDouble(plotrane::DISPID_LineWidth), 2.5);
}

// ---------------------------------------------------------------------------
// Vector plot

TEST_F(SettingsDialogTest, VectorComponentsCountFromOneInFortranAndZeroMeansNone) {
    openArray({30, 4}, AGL_LANG_FORTRAN);
    showKind(CArrayDoc::VectorGraph);
    ASSERT_EQ(ctl().getInt(DISPID_XComp), 0);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        QSpinBox* x = child<QSpinBox>(d, 1090);
        EXPECT_EQ(x->value(), 1);
        EXPECT_EQ(x->minimum(), 0);
        EXPECT_EQ(x->maximum(), ctl().getInt(DISPID_NumColumns));
        typeInto(child<QSpinBox>(d, 1181), "0"); // W: none
        clickOk(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_WComp), -1);
    EXPECT_EQ(ctl().getInt(DISPID_XComp), 0);
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::VectorGraph);
    EXPECT_FALSE(ctl().getBool(DISPID_ShowPalette)); // no w: no palette
}

TEST_F(SettingsDialogTest, VectorComponentsOfACArrayCountFromZero) {
    openArray({30, 4});
    showKind(CArrayDoc::VectorGraph);
    EXPECT_TRUE(runCommand(cmd::Graph, [&](QDialog* d) {
        QSpinBox* y = child<QSpinBox>(d, 1092);
        EXPECT_EQ(y->value(), 1);
        EXPECT_EQ(y->minimum(), -1);
        typeInto(y, "3");
        clickOk(d);
    }));
    EXPECT_EQ(ctl().getInt(DISPID_YComp), 3);
}

// ---------------------------------------------------------------------------
// Z scale

TEST_F(SettingsDialogTest, ZScaleFollowsTheSliderAndCancelAfterApplyPutsTheOpeningBack) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setFloat(DISPID_ZScale, 0.5f);
    EXPECT_TRUE(runCommand(cmd::ZScale, [&](QDialog* d) {
        QSlider* s = child<QSlider>(d, 1059);
        EXPECT_EQ(s->value(), 50);
        EXPECT_EQ(child<QLabel>(d, 1061)->text(), "0.50");
        s->setFocus();
        QTest::keyClick(s, Qt::Key_PageUp); // +10
        EXPECT_EQ(child<QLabel>(d, 1061)->text(), "0.60");
        clickApply(d);
        EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_ZScale), 0.6f);
        clickCancel(d);
    }));
    EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_ZScale), 0.5f);

    EXPECT_TRUE(runCommand(cmd::ZScale, [&](QDialog* d) {
        QSlider* s = child<QSlider>(d, 1059);
        s->setFocus();
        QTest::keyClick(s, Qt::Key_End);
        clickOk(d);
    }));
    EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_ZScale), 1.0f);
    EXPECT_TRUE(doc->isModified());
}

// ---------------------------------------------------------------------------
// Ranges

TEST_F(SettingsDialogTest, PaletteRangeMovesPastItsOldRangeInOneWrite) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setBool(DISPID_PaletteAutoAdjust, false);
    ctl().SetPaletteRange(-1.0, 1.0);
    resetCount();
    EXPECT_TRUE(runCommand(cmd::PaletteRange, [&](QDialog* d) {
        auto* dlg = qobject_cast<RangeDialog*>(d);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->minEdit(0)->text(), "-1.000000");
        EXPECT_FALSE(dlg->minEdit(0)->isReadOnly());
        // Both ends beyond the old maximum: one at a time, the minimum
        // would cross it.
        typeInto(dlg->minEdit(0), "2");
        typeInto(dlg->maxEdit(0), "5");
        clickOk(d);
    }));
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_PaletteMinVal), 2.0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_PaletteMaxVal), 5.0);
    EXPECT_EQ(counter->written, std::vector<int>{DISPID_SetPaletteRange});
    EXPECT_TRUE(doc->isModified());
}

struct BadInput {
    const char* min;
    const char* max;
    const char* message;
};
void PrintTo(const BadInput& b, std::ostream* out) {
    *out << "'" << b.min << "' '" << b.max << "'";
}
class RangeBadInputTest : public SettingsDialogTest,
                          public ::testing::WithParamInterface<BadInput> {};

TEST_P(RangeBadInputTest, IsRefusedWithAMessageAndChangesNothing) {
    const BadInput& b = GetParam();
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setBool(DISPID_AxisAutoScale, false);
    ctl().SetAxisClamp(2, -1.0, 1.0);
    resetCount();
    EXPECT_TRUE(runCommand(cmd::AxisRange, [&](QDialog* d) {
        auto* dlg = qobject_cast<RangeDialog*>(d);
        ASSERT_NE(dlg, nullptr);
        typeInto(dlg->minEdit(0), b.min);
        typeInto(dlg->maxEdit(0), b.max);
        clickOk(d);
        EXPECT_TRUE(d->isVisible()); // stays open
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], b.message);
        clickApply(d);
        EXPECT_EQ(sink.messages.size(), 2u);
        clickCancel(d);
    }));
    EXPECT_EQ(counter->writes, 0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_ZMinClamp), -1.0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_ZMaxClamp), 1.0);
    EXPECT_FALSE(doc->isModified());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RangeBadInputTest,
    ::testing::Values(BadInput{"", "1", kNotANumber}, BadInput{"abc", "1", kNotANumber},
                      BadInput{"nan", "1", kNotANumber}, BadInput{"0", "inf", kNotANumber},
                      BadInput{"-1e999", "1", kNotANumber}, BadInput{"0", "1e308", kNotANumber},
                      BadInput{"5", "2", kRangeCrossed}));

TEST_F(SettingsDialogTest, CancelAfterApplyRestoresTheControlsOwnRangeNotTheDataRange) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    // A manual range the user set once, then auto adjust turned on.
    ctl().setBool(DISPID_PaletteAutoAdjust, false);
    ctl().SetPaletteRange(3.0, 4.0);
    ctl().setBool(DISPID_PaletteAutoAdjust, true);
    double low = 0, high = 0;
    frame->graphView()->passRange(0, low, high);
    EXPECT_TRUE(runCommand(cmd::PaletteRange, [&](QDialog* d) {
        auto* dlg = qobject_cast<RangeDialog*>(d);
        ASSERT_NE(dlg, nullptr);
        // The edits show the data range and are locked.
        EXPECT_EQ(dlg->minEdit(0)->text(), rangeText(low));
        EXPECT_EQ(dlg->maxEdit(0)->text(), rangeText(high));
        EXPECT_TRUE(dlg->minEdit(0)->isReadOnly());
        click(dlg->autoBox());
        EXPECT_FALSE(dlg->minEdit(0)->isReadOnly());
        typeInto(dlg->minEdit(0), "10");
        typeInto(dlg->maxEdit(0), "20");
        clickApply(d);
        EXPECT_FALSE(ctl().getBool(DISPID_PaletteAutoAdjust));
        EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_PaletteMinVal), 10.0);
        clickCancel(d);
    }));
    EXPECT_TRUE(ctl().getBool(DISPID_PaletteAutoAdjust));
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_PaletteMinVal), 3.0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_PaletteMaxVal), 4.0);

    // Cancel without an Apply writes nothing at all.
    resetCount();
    EXPECT_TRUE(runCommand(cmd::PaletteRange, [&](QDialog* d) {
        click(qobject_cast<RangeDialog*>(d)->autoBox());
        clickCancel(d);
    }));
    EXPECT_EQ(counter->writes, 0);
}

TEST_F(SettingsDialogTest, AnEndLeftAsItWasKeepsItsFullPrecision) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setBool(DISPID_AxisAutoScale, false);
    ctl().SetAxisClamp(2, 1.234567891e-7, 0.5);
    EXPECT_TRUE(runCommand(cmd::AxisRange, [&](QDialog* d) {
        auto* dlg = qobject_cast<RangeDialog*>(d);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->minEdit(0)->text(), "0.000000");
        typeInto(dlg->maxEdit(0), "2");
        clickOk(d);
    }));
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_ZMinClamp), 1.234567891e-7);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_ZMaxClamp), 2.0);
}

TEST_F(SettingsDialogTest, VectorAxisRangesAreWrittenAsPairsThenUpdated) {
    openArray({30, 3});
    showKind(CArrayDoc::VectorGraph);
    ctl().setBool(DISPID_AxisAutoScale, false);
    resetCount();
    EXPECT_TRUE(runCommand(cmd::AxisRange, [&](QDialog* d) {
        auto* dlg = qobject_cast<RangeDialog*>(d);
        ASSERT_NE(dlg, nullptr);
        ASSERT_NE(dlg->maxEdit(2), nullptr);
        typeInto(dlg->minEdit(0), "100");
        typeInto(dlg->maxEdit(0), "200");
        typeInto(dlg->minEdit(2), "-0.5");
        clickOk(d);
    }));
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_XMinClamp), 100.0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_XMaxClamp), 200.0);
    EXPECT_DOUBLE_EQ(ctl().getDouble(DISPID_ZMinClamp), -0.5);
    EXPECT_EQ(counter->written,
              (std::vector<int>{DISPID_SetAxisClamp, DISPID_SetAxisClamp, DISPID_Update}));
}

TEST_F(SettingsDialogTest, TheSpinButtonStepsByASpeedAndStopsAtTheOtherEnd) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setBool(DISPID_AxisAutoScale, false);
    ctl().SetAxisClamp(2, 0.0, 10.0);
    EXPECT_TRUE(runCommand(cmd::AxisRange, [&](QDialog* d) {
        RangeEdit* lo = qobject_cast<RangeDialog*>(d)->minEdit(0);
        lo->setFocus();
        QTest::keyClick(lo, Qt::Key_Up);
        EXPECT_EQ(lo->text(), "0.100000");
        // Held: the steps grow, but the minimum never passes the maximum.
        for (int k = 0; k < 400; ++k)
            QTest::keyClick(lo, Qt::Key_PageUp);
        EXPECT_LE(lo->value().value_or(99), 10.0);
        EXPECT_GT(lo->value().value_or(0), 5.0);
        clickOk(d);
    }));
    EXPECT_LE(ctl().getDouble(DISPID_ZMinClamp), 10.0);
    EXPECT_GT(ctl().getDouble(DISPID_ZMinClamp), 5.0);
}

// ---------------------------------------------------------------------------
// Region of interest

TEST_F(SettingsDialogTest, RoiColOnTheRowDimensionMovesTheRowToTheNext) {
    openArray({4, 6, 8}); // dimensions 0..2; rows and columns are 1 and 2
    aglArray* a = doc->currentArray();
    const int rowDim = a->rowDim(), colDim = a->colDim();
    EXPECT_TRUE(runCommand(cmd::RegionOfInterest, [&](QDialog* d) {
        EXPECT_TRUE(child<QRadioButton>(d, 1094 + rowDim)->isChecked());
        EXPECT_TRUE(child<QRadioButton>(d, 1101 + colDim)->isChecked());
        EXPECT_FALSE(child<QRadioButton>(d, 1094 + 3)->isVisible()); // rank 3
        click(child<QRadioButton>(d, 1101 + rowDim));
        EXPECT_TRUE(child<QRadioButton>(d, 1094 + (rowDim + 1) % 3)->isChecked());
        clickOk(d);
    }));
    EXPECT_EQ(a->colDim(), rowDim);
    EXPECT_EQ(a->rowDim(), (rowDim + 1) % 3);
    EXPECT_EQ(ctl().getInt(DISPID_ColDim), rowDim);
    EXPECT_TRUE(doc->isModified());
}

TEST_F(SettingsDialogTest, RoiStartAndLengthReachTheControlAndTheArray) {
    openArray({30, 40});
    aglArray* a = doc->currentArray();
    const int col = a->colDim();
    EXPECT_TRUE(runCommand(cmd::RegionOfInterest, [&](QDialog* d) {
        static const int starts[] = {1018, 1034};
        static const int lengths[] = {1020, 1036};
        QSpinBox* len = child<QSpinBox>(d, lengths[col]);
        EXPECT_EQ(len->value(), 40);
        typeInto(child<QSpinBox>(d, starts[col]), "5");
        EXPECT_EQ(len->maximum(), 35);
        typeInto(len, "10");
        clickOk(d);
    }));
    EXPECT_EQ(ctl().GetRoiLb(col), 5);
    EXPECT_EQ(ctl().GetRoiUb(col), 14);
    int32_t lo = 0, hi = 0;
    a->getRoi(col, lo, hi);
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 14);
}

TEST_F(SettingsDialogTest, TheZoomHistoryFollowsTheRegionChosen) {
    openArray({40, 40});
    showKind(CArrayDoc::HeightPlot);
    doc->setCursor(20, 20);
    doc->zoomIn(); // level 1: 28 x 28 from (6, 6)
    ASSERT_EQ(doc->zoomLevel(), 1);
    const int col = doc->currentArray()->colDim();
    EXPECT_TRUE(runCommand(cmd::RegionOfInterest, [&](QDialog* d) {
        static const int starts[] = {1018, 1034};
        static const int lengths[] = {1020, 1036};
        typeInto(child<QSpinBox>(d, starts[col]), "10");
        typeInto(child<QSpinBox>(d, lengths[col]), "12");
        clickOk(d);
    }));
    // Inside level 1: it replaces level 1.
    EXPECT_EQ(doc->zoomLevel(), 1);
    EXPECT_EQ(doc->zoomRegion(1).colStart, 10);
    EXPECT_EQ(doc->zoomRegion(1).colCount, 12);
    EXPECT_TRUE(enabled(cmd::ZoomOut));
    // Cancel changes nothing.
    EXPECT_TRUE(runCommand(cmd::RegionOfInterest, [&](QDialog* d) { clickCancel(d); }));
    EXPECT_EQ(doc->zoomLevel(), 1);
    EXPECT_EQ(doc->zoomRegion(1).colCount, 12);
}

TEST_F(SettingsDialogTest, RoiOfAOneDimensionalArrayOffersNoRowChoice) {
    openArray({50});
    EXPECT_TRUE(runCommand(cmd::RegionOfInterest, [&](QDialog* d) {
        EXPECT_FALSE(child<QRadioButton>(d, 1094)->isEnabled());
        EXPECT_FALSE(child<QRadioButton>(d, 1095)->isVisible());
        clickOk(d);
    }));
}

// ---------------------------------------------------------------------------
// Options and annotation

TEST_F(SettingsDialogTest, OptionsWriteTheSettingsStoreOnOk) {
    EXPECT_TRUE(enabled(cmd::Options)); // without an array too
    EXPECT_TRUE(runCommand(cmd::Options, [&](QDialog* d) {
        typeInto(child<QLineEdit>(d, 1193), "-1.2345678901234567e-3");
        click(child<QCheckBox>(d, 1186)); // HDF tree off
        click(child<QCheckBox>(d, 1189)); // annotation off
        clickOk(d);
    }));
    const SettingsStore::Options o = settings->readOptions();
    EXPECT_EQ(o.fillValue, -1.2345678901234567e-3);
    EXPECT_FALSE(o.showHdfTree);
    EXPECT_FALSE(o.showAglAnnot);
    EXPECT_TRUE(o.saveAglAttr);
    EXPECT_EQ(doc->options().fillValue, o.fillValue);
}

TEST_F(SettingsDialogTest, OptionsRefuseAFillValueThatIsNotANumber) {
    for (const char* bad : {"x", "", "nan", "inf"}) {
        sink.messages.clear();
        EXPECT_TRUE(runCommand(cmd::Options, [&](QDialog* d) {
            typeInto(child<QLineEdit>(d, 1193), bad);
            click(child<QCheckBox>(d, 1184));
            clickOk(d);
            EXPECT_TRUE(d->isVisible());
            clickCancel(d);
        }));
        EXPECT_EQ(sink.messages, std::vector<std::string>{kNotANumber}) << bad;
        EXPECT_FALSE(settings->contains("FillValue")) << bad;
        EXPECT_TRUE(doc->options().saveAglAttr);
    }
}

TEST_F(SettingsDialogTest, SaveCurrentAndRestoreOriginalAskFirst) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    sink.answer = false;
    EXPECT_TRUE(runCommand(cmd::Options, [&](QDialog* d) {
        click(child<QPushButton>(d, 1179));
        clickCancel(d);
    }));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Save current graph settings as default?"});
    EXPECT_FALSE(settings->contains("SurfaceStyle"));

    sink.messages.clear();
    sink.answer = true;
    ctl().setShort(DISPID_GraphStyle, GraphStyle::PointStyle);
    EXPECT_TRUE(runCommand(cmd::Options, [&](QDialog* d) {
        click(child<QPushButton>(d, 1179));
        EXPECT_EQ(settings->readInt("SurfaceStyle", -1), 4);
        click(child<QPushButton>(d, 1191));
        clickCancel(d);
    }));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"Save current graph settings as default?",
                                                       "Restore factory default settings?"}));
    EXPECT_FALSE(settings->contains("SurfaceStyle"));
}

// Restore Original changed nothing visible until the next start (or load):
// the graph on screen, the spreadsheet and the control take the built-in
// values at once.
TEST_F(SettingsDialogTest, RestoreOriginalShowsTheBuiltInValuesAtOnce) {
    openArray({20, 20});
    showKind(CArrayDoc::HeightPlot);
    ctl().setShort(DISPID_GraphStyle, GraphStyle::PointStyle);
    ctl().setColor(DISPID_BackColor, 0x102030u);
    ctl().setColor(DISPID_GridColor, 0x00FF00u);
    ctl().setShort(DISPID_PaletteId, 1);
    ctl().setBool(DISPID_ShowCursor, true);
    ctl().setFloat(DISPID_CamElevation, 61.0f);
    doc->setGridFormat(3, true);
    sink.answer = true;
    EXPECT_TRUE(runCommand(cmd::Options, [&](QDialog* d) {
        click(child<QPushButton>(d, 1179)); // these become the stored defaults
        click(child<QPushButton>(d, 1191));
        clickCancel(d);
    }));
    EXPECT_FALSE(settings->contains("SurfaceStyle"));
    EXPECT_EQ(doc->currentGraphType(), CArrayDoc::HeightPlot);
    EXPECT_EQ(ctl().getInt(DISPID_GraphStyle), 1);
    EXPECT_EQ(ctl().getInt(DISPID_BackColor), 0xFFFFFF);
    EXPECT_EQ(uint32_t(ctl().getInt(DISPID_GridColor)),
              uint32_t(plotrane::propertyInfo(DISPID_GridColor)->def.number));
    EXPECT_EQ(ctl().getInt(DISPID_PaletteId), 4);
    EXPECT_FALSE(ctl().getBool(DISPID_ShowCursor));
    EXPECT_FLOAT_EQ(ctl().getFloat(DISPID_CamElevation), 20.0f);
    EXPECT_EQ(frame->gridView()->precision(), 6);
    EXPECT_FALSE(frame->gridView()->useExp());
    // The menus show it too.
    EXPECT_TRUE(waitFor([&] { return action(cmd::PaletteCustom + 4)->isChecked(); }));
    EXPECT_FALSE(action(cmd::ShowMarker)->isChecked());
}

TEST_F(SettingsDialogTest, AnnotationIsEditedWhileAttributesAreSaved) {
    openArray({20, 20});
    ASSERT_TRUE(enabled(cmd::Annotation));
    EXPECT_TRUE(runCommand(cmd::Annotation, [&](QDialog* d) {
        auto* edit = child<QPlainTextEdit>(d, 1194);
        EXPECT_FALSE(edit->isReadOnly());
        QTest::keyClicks(edit, "first line");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, "second");
        clickOk(d);
    }));
    EXPECT_EQ(doc->annotation(), "first line\nsecond");
    EXPECT_TRUE(doc->isModified());

    // Read-only while attributes are not saved into agl files.
    SettingsStore::Options o = doc->options();
    o.saveAglAttr = false;
    doc->setOptions(o);
    EXPECT_TRUE(runCommand(cmd::Annotation, [&](QDialog* d) {
        auto* edit = child<QPlainTextEdit>(d, 1194);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_EQ(edit->textCursor().position(), edit->toPlainText().size()); // caret at the end
        QTest::keyClicks(edit, "more");
        clickOk(d);
    }));
    EXPECT_EQ(doc->annotation(), "first line\nsecond");
}

// An HDF attribute's text (or the annotation shown as a file opens) comes up
// in the same dialog, read-only, and OK changes nothing.
TEST_F(SettingsDialogTest, TextsShownByTheViewerUseTheAnnotationDialogReadOnly) {
    openArray({20, 20});
    doc->setAnnotation("kept");
    doc->setModified(false);
    WidgetMessageSink widgetSink(frame.get());
    QString shown;
    bool readOnly = false;
    auto watch = whenDialogShows([&](QDialog* d) {
        auto* edit = child<QPlainTextEdit>(d, 1194);
        shown = edit->toPlainText();
        readOnly = edit->isReadOnly();
        QTest::keyClicks(edit, "typed");
        clickOk(d);
    });
    widgetSink.showAnnotation("units: m/s\r\nsource: run 7");
    EXPECT_TRUE(watch->ran);
    EXPECT_EQ(shown, "units: m/s\nsource: run 7");
    EXPECT_TRUE(readOnly);
    EXPECT_EQ(doc->annotation(), "kept");
    EXPECT_FALSE(doc->isModified());
}

// ---------------------------------------------------------------------------
// Without an array or a control

TEST_F(SettingsDialogTest, WithoutAnArrayTheGraphDialogsAreOffAndDoNothing) {
    for (int id : {cmd::Graph, cmd::ZScale, cmd::AxisRange, cmd::PaletteRange,
                   cmd::RegionOfInterest, cmd::Annotation})
        EXPECT_FALSE(enabled(id)) << id;
    resetCount();
    EXPECT_FALSE(runCommand(cmd::Graph, [](QDialog* d) { clickOk(d); }));
    // A dialog made anyway reads defaults and applies nothing.
    for (int vector : {0, 1}) {
        AxisRangeDialog dialog(frame->graphView(), vector != 0, frame.get());
        EXPECT_TRUE(dialog.apply());
        HeightPlotDialog height(frame->graphView(), frame.get());
        EXPECT_TRUE(height.apply());
        RoiDialog roi(nullptr, frame.get());
        EXPECT_TRUE(roi.apply());
    }
    EXPECT_EQ(counter->writes, 0);
}

// ---------------------------------------------------------------------------
// Layouts: at the default font and at one and a half times its size, every
// label, box and button shows its whole text, and no two overlap.

void checkLayout(QDialog* d, const std::string& what) {
    const QList<QWidget*> widgets = d->findChildren<QWidget*>();
    std::vector<std::pair<QRect, QWidget*>> placed;
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(d) || w->isWindow()) continue;
        const bool leaf = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                          qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QSlider*>(w) ||
                          qobject_cast<QLineEdit*>(w);
        if (!leaf || qobject_cast<QLineEdit*>(w->parentWidget())) continue;
        if (qobject_cast<QAbstractSpinBox*>(w->parentWidget())) continue;
        const QSize hint = w->minimumSizeHint().isValid() ? w->minimumSizeHint() : w->sizeHint();
        EXPECT_GE(w->width(), hint.width())
            << what << " " << w->objectName().toStdString() << " " << w->metaObject()->className();
        EXPECT_GE(w->height(), hint.height()) << what << " " << w->objectName().toStdString();
        const QRect r(w->mapTo(d, QPoint(0, 0)), w->size());
        EXPECT_TRUE(d->rect().contains(r)) << what << " " << w->objectName().toStdString();
        for (const auto& [other, ow] : placed)
            EXPECT_FALSE(r.intersects(other)) << what << ": " << w->objectName().toStdString()
                                              << " over " << ow->objectName().toStdString();
        placed.emplace_back(r, w);
    }
    EXPECT_GE(placed.size(), 2u) << what; // OK and Cancel at least
    // Every mnemonic leads to one place.
    std::map<QChar, QString> keys;
    for (const auto& [r, w] : placed) {
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) text = l->text();
        const qsizetype amp = text.replace("&&", "").indexOf('&');
        if (amp < 0 || amp + 1 >= text.size()) continue;
        const QChar key = text[amp + 1].toLower();
        EXPECT_FALSE(keys.count(key)) << what << ": Alt+" << QString(key).toStdString() << " on "
                                      << keys[key].toStdString() << " and " << text.toStdString();
        keys[key] = text;
    }
    // Screenshots to look at, when asked for.
    if (const char* shots = std::getenv("TAVRIX_DIALOG_SHOTS"))
        d->grab().save(QString("%1/%2.png").arg(shots, QString::fromStdString(what)));
}

struct LayoutCase {
    const char* what;
    int command;
    int kind;
};
void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.what;
}
class DialogLayoutTest : public SettingsDialogTest,
                         public ::testing::WithParamInterface<std::tuple<LayoutCase, double>> {};

TEST_P(DialogLayoutTest, NothingIsClippedOrOverlapping) {
    const auto& [c, scale] = GetParam();
    const QFont original = QApplication::font();
    QFont f = original;
    f.setPointSizeF(original.pointSizeF() * scale);
    QApplication::setFont(f);
    openArray({3, 12, 12}, AGL_LANG_FORTRAN);
    showKind(c.kind);
    EXPECT_TRUE(runCommand(c.command, [&](QDialog* d) {
        settle();
        checkLayout(d, std::string(c.what) + (scale > 1 ? "-large" : ""));
        clickCancel(d);
    }));
    QApplication::setFont(original);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogLayoutTest,
    ::testing::Combine(
        ::testing::Values(LayoutCase{"height", cmd::Graph, CArrayDoc::HeightPlot},
                          LayoutCase{"image", cmd::Graph, CArrayDoc::ImageMap},
                          LayoutCase{"vector", cmd::Graph, CArrayDoc::VectorGraph},
                          LayoutCase{"zscale", cmd::ZScale, CArrayDoc::HeightPlot},
                          LayoutCase{"axis", cmd::AxisRange, CArrayDoc::HeightPlot},
                          LayoutCase{"axisxyz", cmd::AxisRange, CArrayDoc::VectorGraph},
                          LayoutCase{"palette", cmd::PaletteRange, CArrayDoc::HeightPlot},
                          LayoutCase{"roi", cmd::RegionOfInterest, CArrayDoc::HeightPlot},
                          LayoutCase{"options", cmd::Options, CArrayDoc::HeightPlot},
                          LayoutCase{"annotation", cmd::Annotation, CArrayDoc::HeightPlot}),
        ::testing::Values(1.0, 1.5)),
    [](const ::testing::TestParamInfo<std::tuple<LayoutCase, double>>& p) {
        return std::string(std::get<0>(p.param).what) +
               (std::get<1>(p.param) > 1 ? "Large" : "Default");
    });

} // namespace
