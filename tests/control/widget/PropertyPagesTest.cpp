// The control's property pages used as a user uses them: the real sheet,
// text typed into its fields, combo entries chosen with keys, the buttons
// clicked, the context menu opened with a right click. What reaches the
// control is read back through its dispatch interface and its saved
// property set.
#include "PropertyPages.h"
#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "WaitFor.h"
#include "core/SegmentImage.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <string>

using namespace plotrane;

namespace {

const std::string kWave = TAVRIX_SOURCE_DIR "/examples/wave.agl";

// Runs `act` on the first window of type T that comes up while the caller
// is blocked in a modal loop (a message box, a menu, a modal dialog), for as
// long as the watch lives. ran() says whether it did.
class ModalWatch {
public:
    template <class T> static std::unique_ptr<ModalWatch> on(std::function<void(T*)> act) {
        auto watch = std::make_unique<ModalWatch>();
        ModalWatch* w = watch.get();
        QObject::connect(&w->m_timer, &QTimer::timeout, [w, act] {
            QWidget* top = QApplication::activePopupWidget();
            if (!qobject_cast<T*>(top)) top = QApplication::activeModalWidget();
            T* t = qobject_cast<T*>(top);
            if (!t || !t->isVisible()) return;
            w->m_timer.stop();
            w->m_ran = true;
            act(t);
        });
        w->m_timer.start(20);
        return watch;
    }
    bool ran() const { return m_ran; }

private:
    QTimer m_timer;
    bool m_ran = false;
};

// Clicks the message box's OK button and keeps its text.
std::unique_ptr<ModalWatch> answerMessage(QString& text) {
    return ModalWatch::on<QMessageBox>([&text](QMessageBox* box) {
        text = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
}

QByteArray savedSet(CPlotrane2DCtrl& ctrl, const TempDir& dir, const char* name) {
    const QString path = QString::fromStdString(dir.file(name));
    {
        QSettings settings(path, QSettings::IniFormat);
        ctrl.model().saveProperties(settings);
    }
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class PropertyPages : public ::testing::Test {
protected:
    void SetUp() override {
        ctrl = std::make_unique<CPlotrane2DCtrl>(nullptr, 0, 0);
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(kWave)).ok());
        ctrl->Invoke(DISPID_Update, {});
        ctrl->resize(320, 240);
        ctrl->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ctrl.get()));
        // The saved set holds the level now drawn: let the levels step up
        // until a tick no longer changes them, so that only the pages can
        // change the set from here on.
        int last = -2;
        ASSERT_TRUE(waitFor([&] {
            ctrl->model().waitForPasses(20000);
            ctrl->tick();
            const int level = ctrl->GetProperty(DISPID_DataOffset).toInt();
            const bool settled = level >= 0 && level == last;
            last = level;
            return settled;
        }));
        ctrl->model().setModified(false);
    }
    void TearDown() override {
        sheet.reset();
        ctrl.reset();
    }

    void openSheet() {
        sheet = std::make_unique<CPlotrane2DPropertySheet>(*ctrl);
        sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    }
    // Brings up the page with that caption by clicking its tab.
    void showPage(const QString& caption) {
        QTabBar* bar = sheet->tabs()->tabBar();
        for (int i = 0; i < bar->count(); ++i)
            if (bar->tabText(i) == caption) {
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
                ASSERT_EQ(sheet->tabs()->currentIndex(), i);
                return;
            }
        FAIL() << "no page " << caption.toStdString();
    }
    template <class T = QLineEdit> T* field(const char* name) {
        T* f = sheet->findChild<T*>(name);
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    // Clicks into the edit, selects its text and types over it.
    void type(const char* name, const QString& text) {
        QLineEdit* e = field(name);
        QTest::mouseClick(e, Qt::LeftButton);
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Delete);
        else
            QTest::keyClicks(e, text);
        ASSERT_EQ(e->text(), text);
    }
    // Clicks the check box on its box (a check box wider than its text
    // takes no clicks right of the text).
    void check(QCheckBox* box) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect r = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, r.center());
    }
    void check(const char* name) { check(field<QCheckBox>(name)); }
    void click(QDialogButtonBox::StandardButton which) {
        QTest::mouseClick(sheet->findChild<QDialogButtonBox*>()->button(which), Qt::LeftButton);
    }
    QPushButton* button(QDialogButtonBox::StandardButton which) {
        return sheet->findChild<QDialogButtonBox*>()->button(which);
    }

    std::unique_ptr<CPlotrane2DCtrl> ctrl;
    std::unique_ptr<CPlotrane2DPropertySheet> sheet;
    TempDir dir;
};

} // namespace

TEST_F(PropertyPages, SheetHasTheNinePagesInTheControlsOrder) {
    openSheet();
    QStringList captions;
    for (int i = 0; i < sheet->tabs()->count(); ++i)
        captions << sheet->tabs()->tabText(i);
    EXPECT_EQ(captions, QStringList({"Graph", "Scale", "Misc", "Axis", "Palette", "Camera", "Data",
                                     "Colors", "Fonts"}));
    EXPECT_EQ(sheet->windowTitle(), "Plotrane2D Control Properties");
    EXPECT_FALSE(button(QDialogButtonBox::Apply)->isEnabled()) << "nothing changed yet";
}

TEST_F(PropertyPages, LineWidthZeroIsRefusedWithTheControlsMessageAndStaysInTheField) {
    openSheet();
    type("LineWidth", "0");
    EXPECT_TRUE(button(QDialogButtonBox::Apply)->isEnabled());
    QString message;
    auto answered = answerMessage(message);
    click(QDialogButtonBox::Apply);
    ASSERT_TRUE(answered->ran());
    EXPECT_EQ(message, "LineWidth must be a  number in the range (0, 100)");
    EXPECT_EQ(ctrl->model().get<DISPID_LineWidth>(), 1.0f);
    EXPECT_FALSE(ctrl->model().isModified());
    EXPECT_EQ(field("LineWidth")->text(), "0");
    EXPECT_EQ(sheet->focusWidget(), field("LineWidth"));

    // OK refuses the same way and the sheet stays open; a good value then
    // goes through.
    answered = answerMessage(message);
    click(QDialogButtonBox::Ok);
    ASSERT_TRUE(answered->ran());
    EXPECT_TRUE(sheet->isVisible());
    type("LineWidth", "2.5");
    click(QDialogButtonBox::Ok);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(ctrl->model().get<DISPID_LineWidth>(), 2.5f);
    EXPECT_TRUE(ctrl->model().isModified());
}

// Text the control would refuse never changes it: the control's message
// is shown, the text stays, the saved property set is as before.
struct Refused {
    const char* page;
    const char* field;
    const char* text;
    const char* message;
};
class PropertyPagesRefuse : public PropertyPages, public ::testing::WithParamInterface<Refused> {};

TEST_P(PropertyPagesRefuse, ValueTheControlRefusesChangesNothing) {
    const Refused& r = GetParam();
    QVariantMap before;
    ctrl->model().saveProperties(before);
    openSheet();
    showPage(r.page);
    type(r.field, r.text);
    QString message;
    auto answered = answerMessage(message);
    click(QDialogButtonBox::Ok);
    ASSERT_TRUE(answered->ran()) << "no message for " << r.text;
    EXPECT_EQ(message.toStdString(), r.message);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(field(r.field)->text(), r.text);
    QVariantMap after;
    ctrl->model().saveProperties(after);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(ctrl->model().isModified());
}

void PrintTo(const Refused& r, std::ostream* os) {
    *os << r.field << " \"" << r.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    BadText, PropertyPagesRefuse,
    ::testing::Values(
        Refused{"Graph", "LineWidth", "nan", "LineWidth must be a  number in the range (0, 100)"},
        Refused{"Graph", "LineWidth", "", "LineWidth must be a  number in the range (0, 100)"},
        Refused{"Graph", "GridDensity", "-inf",
                "GridDensity must be a  number in the range: (0, 100)"},
        Refused{"Graph", "BarChartArea", "abc",
                "BarChartArea must be a number in the range: (0, 1]"},
        Refused{"Graph", "Resolution", "99999999999", "Invalid Resolution value"},
        Refused{"Graph", "Resolution", "1.5", "Invalid Resolution value"},
        Refused{"Scale", "XScale", "inf", "Value must be a finite number"},
        Refused{"Scale", "YScale", "1e39", "Value must be a finite number"},
        Refused{"Scale", "ZScale", "1e999", "Value must be a finite number"},
        Refused{"Scale", "ZBias", "nan", "Value must be a finite number"},
        Refused{"Camera", "CamXPos", "", "Value must be a finite number"},
        Refused{"Data", "NumRows", "0", "Value must be positive"},
        Refused{"Data", "DataElementSize", "3",
                "DataElementSize must be one of the following values: 1, 2, 4, or 8"},
        Refused{"Data", "DataCellSize", "", "Value must be a finite number"}),
    [](const ::testing::TestParamInfo<Refused>& param) {
        std::string name = std::string(param.param.field) + "_" + std::to_string(param.index);
        return name;
    });

TEST_F(PropertyPages, CacheBehaviorEntriesWriteTheirIndex) {
    ASSERT_EQ(ctrl->model().get<DISPID_CacheBehavior>(), 1);
    openSheet();
    showPage("Misc");
    auto* combo = field<QComboBox>("CacheBehavior");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_EQ(combo->currentText(), "AUTO");
    click(QDialogButtonBox::Apply);
    EXPECT_EQ(ctrl->model().get<DISPID_CacheBehavior>(), 2);
    QTest::keyClick(combo, Qt::Key_Up);
    ASSERT_EQ(combo->currentText(), "NEVER");
    click(QDialogButtonBox::Ok);
    EXPECT_EQ(ctrl->model().get<DISPID_CacheBehavior>(), 1);
}

TEST_F(PropertyPages, CancelWritesNothing) {
    openSheet();
    type("LineWidth", "3");
    check("ShowGrid");
    click(QDialogButtonBox::Cancel);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(ctrl->model().get<DISPID_LineWidth>(), 1.0f);
    EXPECT_TRUE(ctrl->model().get<DISPID_ShowGrid>());
    EXPECT_FALSE(ctrl->model().isModified());
}

// The style list has three entries; a line or point style shows no entry
// and is kept until the user picks one.
TEST_F(PropertyPages, GraphStyleBeyondTheListIsKeptUntilTheUserPicks) {
    ASSERT_TRUE(ctrl->model().set<DISPID_GraphStyle>(value(GraphStyle::PointStyle)).ok());
    openSheet();
    auto* style = field<QComboBox>("GraphStyle");
    EXPECT_EQ(style->currentIndex(), -1);
    check("ShowGrid");
    click(QDialogButtonBox::Apply);
    EXPECT_FALSE(ctrl->model().get<DISPID_ShowGrid>());
    EXPECT_EQ(ctrl->model().get<DISPID_GraphStyle>(), value(GraphStyle::PointStyle));
    EXPECT_EQ(style->currentIndex(), -1);

    style->setFocus();
    QTest::keyClick(style, Qt::Key_Down);
    QTest::keyClick(style, Qt::Key_Down);
    ASSERT_EQ(style->currentText(), "Surface");
    click(QDialogButtonBox::Ok);
    EXPECT_EQ(ctrl->model().get<DISPID_GraphStyle>(), value(GraphStyle::SurfaceStyle));
}

// DataElementSize, DataCellSize, DataOffset, NumAntiAliasPasses and ZBias
// take a valid value and drop it: the fields show the control's value again.
TEST_F(PropertyPages, DiscardedWritesShowTheOldValueAfterApply) {
    openSheet();
    showPage("Data");
    const QString size = field("DataElementSize")->text();
    const QString cell = field("DataCellSize")->text();
    const QString offset = field("DataOffset")->text();
    EXPECT_EQ(size, "4") << "wave.agl holds floats";
    type("DataElementSize", "8");
    type("DataCellSize", "123");
    type("DataOffset", "7");
    showPage("Misc");
    type("NumAntiAliasPasses", "5");
    showPage("Scale");
    type("ZBias", "0.5");
    click(QDialogButtonBox::Apply);
    EXPECT_EQ(field("DataElementSize")->text(), size);
    EXPECT_EQ(field("DataCellSize")->text(), cell);
    EXPECT_EQ(field("DataOffset")->text(), offset);
    EXPECT_EQ(field("NumAntiAliasPasses")->text(), "0");
    EXPECT_EQ(field("ZBias")->text(), "0");
    EXPECT_FALSE(button(QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PropertyPages, DataPageOffsetShowsTheCurrentLevelOfDetail) {
    // Big enough for three distinct levels; the timer steps the levels up
    // as the finer passes finish.
    ASSERT_TRUE(
        ctrl->SetProperty(DISPID_FileName, Variant(dir.write("big.agl", rippleFile(400, 400))))
            .ok());
    ctrl->Invoke(DISPID_Update, {});
    ASSERT_TRUE(waitFor([&] {
        ctrl->model().waitForPasses(20000);
        ctrl->tick();
        return ctrl->GetProperty(DISPID_DataOffset).toInt() == 2;
    }));
    openSheet();
    showPage("Data");
    EXPECT_EQ(field("DataOffset")->text(), "2");
    EXPECT_EQ(field("NumRows")->text(), "400");

    // A drag drops to level 0; the page shows what the control has when it
    // comes up again (levels move only on the control's thread, so the
    // reading right after the click is the one the page made).
    QTest::mousePress(ctrl.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(ctrl.get(), QPoint(104, 100));
    QTest::mouseRelease(ctrl.get(), Qt::LeftButton, {}, QPoint(104, 100));
    showPage("Graph");
    showPage("Data");
    const int level = ctrl->GetProperty(DISPID_DataOffset).toInt();
    EXPECT_EQ(field("DataOffset")->text(), QString::number(level));
    EXPECT_LT(level, 2);
}

// Opening the pages and pressing OK leaves the saved property set as it
// was, byte for byte, even when every number is typed again as shown.
TEST_F(PropertyPages, OkWithoutChangesKeepsTheSavedSetByteIdentical) {
    // Values that a careless text form would round: thirds, a tiny and a
    // huge float, a style the list lacks, a fractional font size.
    ASSERT_TRUE(ctrl->model().set<DISPID_LineWidth>(1.0f / 3.0f).ok());
    ASSERT_TRUE(ctrl->model().set<DISPID_XScale>(1e-7f / 3.0f).ok());
    ASSERT_TRUE(ctrl->model().set<DISPID_YScale>(3.0e37f).ok());
    ASSERT_TRUE(ctrl->model().set<DISPID_CamXCoi>(0.1f).ok());
    ASSERT_TRUE(ctrl->model().set<DISPID_GraphStyle>(value(GraphStyle::LineStyle)).ok());
    ASSERT_TRUE(ctrl->model().set<DISPID_GridColor>(uint32_t(0x123456)).ok());
    PlotraneFont f = ctrl->model().axisFont();
    f.points = 10.5;
    ctrl->model().setAxisFont(f);
    const QByteArray before = savedSet(*ctrl, dir, "before.ini");

    openSheet();
    QTabBar* bar = sheet->tabs()->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        showPage(bar->tabText(i));
        for (QLineEdit* e : sheet->tabs()->widget(i)->findChildren<QLineEdit*>()) {
            bool number = false;
            QLocale::c().toDouble(e->text(), &number);
            const bool bound = findAnyProperty(e->objectName().toStdString()) != nullptr;
            if (!number || !bound) continue;
            // The same number with a leading blank: a change to the form,
            // not to the value.
            const QString text = e->text();
            QTest::mouseClick(e, Qt::LeftButton);
            QTest::keyClick(e, Qt::Key_Home);
            QTest::keyClick(e, Qt::Key_Space);
            ASSERT_EQ(e->text(), " " + text);
        }
    }
    QString refusal;
    auto refused = answerMessage(refusal);
    click(QDialogButtonBox::Ok);
    EXPECT_FALSE(refused->ran()) << refusal.toStdString();
    EXPECT_FALSE(sheet->isVisible()) << "a value was refused";
    EXPECT_EQ(savedSet(*ctrl, dir, "after.ini"), before);
}

TEST_F(PropertyPages, ColourAndFontPagesWriteThroughTheControl) {
    openSheet();
    showPage("Colors");
    auto* back = field<QPushButton>("BackColor");
    EXPECT_EQ(back->property("color").toUInt(), 0xFFFFFFu);
    EXPECT_NE(field<QPushButton>("GridColor"), nullptr);
    EXPECT_NE(field<QPushButton>("AxisLabelColor"), nullptr);
    auto picked = ModalWatch::on<QColorDialog>([](QColorDialog* d) {
        d->setCurrentColor(QColor(10, 20, 30));
        QTest::mouseClick(d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    QTest::mouseClick(back, Qt::LeftButton);
    ASSERT_TRUE(picked->ran());
    EXPECT_EQ(ctrl->model().get<DISPID_BackColor>(), 0xFFFFFFu) << "written on Apply only";

    showPage("Fonts");
    auto* face = field<QComboBox>("AxisLabelFont");
    EXPECT_EQ(face->currentText(), "Times New Roman");
    QTest::mouseClick(face->lineEdit(), Qt::LeftButton);
    QTest::keyClick(face->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(face->lineEdit(), "Liberation Sans");
    auto* size = field<QDoubleSpinBox>("AxisLabelFont.Size");
    QTest::mouseClick(size, Qt::LeftButton);
    QTest::keyClick(size, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(size, "10.5");
    check("AxisLabelFont.Bold");
    click(QDialogButtonBox::Ok);

    EXPECT_EQ(ctrl->model().get<DISPID_BackColor>(), 0x1E140Au);
    EXPECT_EQ(ctrl->model().axisLabelFont(), (PlotraneFont{"Liberation Sans", 10.5, false}));
    EXPECT_EQ(ctrl->model().axisFont(), PlotraneFont{}) << "the other font stays";
}

TEST_F(PropertyPages, RightClickMenuOpensThePagesAndShiftRightDoesNot) {
    int pages = 0;
    auto sheetSeen = ModalWatch::on<CPlotrane2DPropertySheet>([&](CPlotrane2DPropertySheet* s) {
        pages = s->tabs()->count();
        QTest::mouseClick(s->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
    });
    QStringList entries;
    auto menuSeen = ModalWatch::on<QMenu>([&](QMenu* menu) {
        for (QAction* a : menu->actions())
            entries << a->text();
        QTest::keyClick(menu, Qt::Key_P); // the entry's mnemonic
    });
    QTest::mouseClick(ctrl.get(), Qt::RightButton, {}, QPoint(100, 100));
    ASSERT_TRUE(menuSeen->ran());
    EXPECT_TRUE(entries.contains("&Properties...")) << entries.join("|").toStdString();
    ASSERT_TRUE(sheetSeen->ran());
    EXPECT_EQ(pages, 9);

    // The menu key opens the menu too; the window system's mouse request
    // does not (the release above has served it).
    bool keyMenu = false;
    auto escape = ModalWatch::on<QMenu>([&](QMenu* m) {
        keyMenu = true;
        QTest::keyClick(m, Qt::Key_Escape);
    });
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(10, 10),
                              ctrl->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(ctrl.get(), &fromKey);
    EXPECT_TRUE(keyMenu);

    // Shift + right is the pan drag: no menu.
    bool menu = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activePopupWidget()) {
            menu = true;
            w->close();
        }
    });
    probe.start(10);
    QTest::mouseClick(ctrl.get(), Qt::RightButton, Qt::ShiftModifier, QPoint(100, 100));
    QContextMenuEvent fromMouse(QContextMenuEvent::Mouse, QPoint(100, 100),
                                ctrl->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(ctrl.get(), &fromMouse);
    // A menu would have come inside the event's delivery (a modal menu runs
    // the probe from its own loop) or be queued now.
    settle();
    EXPECT_FALSE(menu);
}

// A host may destroy the control while its pages are open: the sheet goes
// with it and the call returns.
TEST_F(PropertyPages, ControlDestroyedWhileThePagesAreOpen) {
    auto destroy =
        ModalWatch::on<CPlotrane2DPropertySheet>([&](CPlotrane2DPropertySheet*) { ctrl.reset(); });
    QPointer<QWidget> control = ctrl.get();
    EXPECT_FALSE(showPropertyPages(control));
    EXPECT_TRUE(destroy->ran());
    EXPECT_TRUE(control.isNull());
    EXPECT_FALSE(showPropertyPages(nullptr));
}

TEST_F(PropertyPages, AboutBoxShowsNameVersionAndOk) {
    QString title;
    QStringList texts;
    auto seen = ModalWatch::on<QDialog>([&](QDialog* box) {
        EXPECT_TRUE(box->inherits("CPlotrane2DAboutBox"));
        title = box->windowTitle();
        for (QLabel* l : box->findChildren<QLabel*>())
            if (!l->text().isEmpty()) texts << l->text();
        QPushButton* ok = box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        EXPECT_EQ(ok->text().remove('&'), "OK");
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    ctrl->Invoke(DISPID_AboutBox, {});
    ASSERT_TRUE(seen->ran());
    EXPECT_EQ(title, "About Plotrane2D Control");
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "Plotrane2D Control, Version 1.0");
}

// Every page at the default font and at half as large again: no control is
// smaller than it needs to show its text, none leaves its container, and no
// two overlap. With PLOTRANE_PAGE_SHOTS set to a folder, each page is saved
// there as a picture to look at.
class PropertyPagesFont : public PropertyPages, public ::testing::WithParamInterface<double> {};

TEST_P(PropertyPagesFont, EveryPageFitsItsControls) {
    const QFont normal = QApplication::font();
    QFont larger = normal;
    larger.setPointSizeF(normal.pointSizeF() * GetParam());
    QApplication::setFont(larger);
    openSheet();
    const char* shots = std::getenv("PLOTRANE_PAGE_SHOTS");
    QTabWidget* tabs = sheet->tabs();
    for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_TRUE(tabs->tabBar()->rect().contains(tabs->tabBar()->tabRect(i)))
            << tabs->tabText(i).toStdString() << " tab out of sight";
        showPage(tabs->tabText(i));
        QWidget* page = tabs->widget(i);
        std::vector<QWidget*> containers{page};
        for (QWidget* w : page->findChildren<QWidget*>())
            if (w->inherits("QGroupBox")) containers.push_back(w);
        for (QWidget* container : containers) {
            std::vector<QWidget*> kids;
            for (QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (w->isVisible()) kids.push_back(w);
            for (size_t a = 0; a < kids.size(); ++a) {
                const QWidget* w = kids[a];
                const std::string what = tabs->tabText(i).toStdString() + "/" +
                                         w->metaObject()->className() + " " +
                                         w->objectName().toStdString();
                const QSize need = w->minimumSizeHint();
                EXPECT_GE(w->width(), need.width()) << what;
                EXPECT_GE(w->height(), need.height()) << what;
                if (auto* l = qobject_cast<const QLabel*>(w)) {
                    EXPECT_GE(l->width(), l->sizeHint().width()) << what << " text cut";
                }
                EXPECT_TRUE(container->rect().contains(w->geometry())) << what << " outside";
                for (size_t b = a + 1; b < kids.size(); ++b)
                    EXPECT_FALSE(w->geometry().intersects(kids[b]->geometry()))
                        << what << " overlaps " << kids[b]->metaObject()->className() << " "
                        << kids[b]->objectName().toStdString();
            }
        }
        if (shots)
            sheet->grab().save(QString("%1/page_%2_%3.png")
                                   .arg(shots, tabs->tabText(i))
                                   .arg(int(GetParam() * 10)));
    }
    if (shots) {
        auto about = ModalWatch::on<QDialog>([&](QDialog* box) {
            box->grab().save(QString("%1/about_%2.png").arg(shots).arg(int(GetParam() * 10)));
            box->accept();
        });
        ctrl->Invoke(DISPID_AboutBox, {});
    }
    sheet.reset();
    QApplication::setFont(normal);
}

INSTANTIATE_TEST_SUITE_P(Scales, PropertyPagesFont, ::testing::Values(1.0, 1.5));
