#include "PropertyPages.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>
#include <climits>
#include <cmath>

#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"

using namespace plotrane;

namespace {

// A float in the shortest text that reads back as the same float, so that
// a field the user leaves as it is never changes the value.
QString floatText(float f) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

// What the page says to a field it cannot read as a number: the property's
// own refusal from the control's string table, else the control's message
// for a value that is no finite number.
std::string unreadable(const PropertyInfo* p) {
    return controlMessage(p && p->messageId ? p->messageId : kMsgNotFinite);
}

QColor qcolor(uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

} // namespace

// --- ColorButton --------------------------------------------------------------

ColorButton::ColorButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, &ColorButton::pick);
    setColor(0);
}

void ColorButton::setColor(uint32_t bgr) {
    m_color = bgr & 0xFFFFFF;
    const int side = fontMetrics().height();
    QPixmap swatch(side * 2, side);
    swatch.fill(qcolor(m_color));
    {
        QPainter painter(&swatch);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    }
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
    setText(qcolor(m_color).name(QColor::HexRgb).toUpper());
}

void ColorButton::pick() {
    // Qt's own dialog: the same on every desktop, and reachable by tests.
    QColorDialog dialog(qcolor(m_color), this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    dialog.setWindowTitle(accessibleName().isEmpty() ? QStringLiteral("Color") : accessibleName());
    if (dialog.exec() != QDialog::Accepted) return;
    const QColor c = dialog.selectedColor();
    const uint32_t bgr = uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
    if (bgr == m_color) return;
    setColor(bgr);
    emit colorPicked(bgr);
}

// --- PropertyPage -------------------------------------------------------------

PropertyPage::PropertyPage(const QString& caption, CPlotrane2DCtrl& control, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_control(control) {}

void PropertyPage::bind(QWidget* field, const char* propertyName, PageExchange how) {
    const PropertyInfo* p = findAnyProperty(propertyName);
    Q_ASSERT_X(p, "PropertyPage::bind", propertyName);
    const int dispid = p->dispid;
    field->setObjectName(QString::fromLatin1(propertyName));
    bind(
        field, how, [this, dispid] { return m_control.GetProperty(dispid); },
        [this, dispid](const Variant& v) { return m_control.SetProperty(dispid, v); }, p);
}

void PropertyPage::bind(QWidget* field, PageExchange how, std::function<Variant()> read,
                        std::function<DispatchStatus(const Variant&)> write,
                        const PropertyInfo* info) {
    m_bindings.push_back({field, how, info, std::move(read), std::move(write), {}, {}});
    const auto notify = [this] { emit modified(); };
    if (auto* e = qobject_cast<QLineEdit*>(field))
        connect(e, &QLineEdit::textEdited, this, notify);
    else if (auto* c = qobject_cast<QCheckBox*>(field))
        connect(c, &QCheckBox::clicked, this, notify);
    else if (auto* b = qobject_cast<QComboBox*>(field)) {
        connect(b, &QComboBox::activated, this, notify);
        if (b->isEditable()) connect(b, &QComboBox::editTextChanged, this, notify);
    } else if (auto* s = qobject_cast<QDoubleSpinBox*>(field))
        connect(s, &QDoubleSpinBox::valueChanged, this, notify);
    else if (auto* k = qobject_cast<ColorButton*>(field))
        connect(k, &ColorButton::colorPicked, this, notify);
}

void PropertyPage::load() {
    for (Binding& b : m_bindings)
        show(b);
}

void PropertyPage::refresh() {
    for (Binding& b : m_bindings)
        if (!changed(b)) show(b);
}

bool PropertyPage::isModified() const {
    for (const Binding& b : m_bindings)
        if (changed(b)) return true;
    return false;
}

void PropertyPage::show(Binding& b) {
    const Variant v = b.read();
    b.value = v;
    QWidget* f = b.field;
    QSignalBlocker block(f);
    if (auto* e = qobject_cast<QLineEdit*>(f)) {
        QString text;
        if (v.type() == Variant::Type::String)
            text = QString::fromStdString(v.toString());
        else if (b.how == PageExchange::Float || v.type() == Variant::Type::Float ||
                 v.type() == Variant::Type::Double)
            text = floatText(v.toFloat());
        else
            text = QString::number(v.toInt());
        e->setText(text);
        e->setCursorPosition(0);
        b.shown = text;
    } else if (auto* c = qobject_cast<QCheckBox*>(f)) {
        c->setChecked(v.toBool());
        b.shown = c->isChecked();
    } else if (auto* box = qobject_cast<QComboBox*>(f)) {
        if (box->isEditable()) {
            box->setEditText(QString::fromStdString(v.toString()));
            b.shown = box->currentText();
        } else {
            // A value the list has no entry for (a graph style beyond the
            // three the list offers) shows no selection and is kept until
            // the user picks an entry.
            const int i = v.toInt();
            box->setCurrentIndex(i >= 0 && i < box->count() ? i : -1);
            b.shown = box->currentIndex();
        }
    } else if (auto* s = qobject_cast<QDoubleSpinBox*>(f)) {
        s->setValue(v.toDouble());
        b.shown = s->value();
    } else if (auto* k = qobject_cast<ColorButton*>(f)) {
        k->setColor(uint32_t(v.toInt()));
        b.shown = uint(k->color());
    }
}

bool PropertyPage::changed(const Binding& b) const {
    QWidget* f = b.field;
    if (auto* e = qobject_cast<QLineEdit*>(f)) return e->text() != b.shown.toString();
    if (auto* c = qobject_cast<QCheckBox*>(f)) return c->isChecked() != b.shown.toBool();
    if (auto* box = qobject_cast<QComboBox*>(f)) {
        if (box->isEditable()) return box->currentText() != b.shown.toString();
        return box->currentIndex() >= 0 && box->currentIndex() != b.shown.toInt();
    }
    if (auto* s = qobject_cast<QDoubleSpinBox*>(f)) return s->value() != b.shown.toDouble();
    if (auto* k = qobject_cast<ColorButton*>(f)) return k->color() != b.shown.toUInt();
    return false;
}

bool PropertyPage::sameValue(const Binding& b, const Variant& v) {
    const Variant& was = b.value;
    if (was.type() == Variant::Type::String || v.type() == Variant::Type::String)
        return was.type() == v.type() && was.toString() == v.toString();
    if (was.isEmpty() || v.isEmpty()) return false;
    // A float property compares as the float the control would store.
    if (b.how == PageExchange::Float && was.type() == Variant::Type::Float)
        return float(v.toDouble()) == was.toFloat() && std::isfinite(v.toDouble());
    return v.toDouble() == was.toDouble();
}

Variant PropertyPage::entered(const Binding& b, std::string& refusal) const {
    QWidget* f = b.field;
    if (auto* c = qobject_cast<QCheckBox*>(f)) return Variant(c->isChecked());
    if (auto* k = qobject_cast<ColorButton*>(f)) return Variant(k->color());
    if (auto* s = qobject_cast<QDoubleSpinBox*>(f)) return Variant(s->value());
    if (auto* box = qobject_cast<QComboBox*>(f)) {
        if (box->isEditable()) return Variant(box->currentText().toStdString());
        return Variant(box->currentIndex());
    }
    auto* e = qobject_cast<QLineEdit*>(f);
    if (!e) return {};
    const QString text = e->text().trimmed();
    const bool numeric = b.info ? b.info->isNumeric() : b.how != PageExchange::Text;
    if (!numeric) return Variant(e->text().toStdString());

    // Numbers are read in the C locale, as the control writes them. What
    // cannot be read is refused here, with the control's message; what can
    // is handed to the control, whose setter checks it (NaN, infinities,
    // values beyond a float or out of range are refused there).
    const QLocale c = QLocale::c();
    bool ok = false;
    if (b.how == PageExchange::Float || (b.info && b.info->isFloating())) {
        const double d = c.toDouble(text, &ok);
        if (!ok && !text.isEmpty() && std::isinf(d)) return Variant(d); // "1e999"
        if (!ok) {
            refusal = unreadable(b.info);
            return {};
        }
        return Variant(d);
    }
    const qlonglong n = c.toLongLong(text, &ok);
    if (!ok || n < INT_MIN || n > INT_MAX) {
        refusal = unreadable(b.info);
        return {};
    }
    return Variant(int(n));
}

PropertyPage::Refusal PropertyPage::apply() {
    for (Binding& b : m_bindings) {
        if (!changed(b)) continue;
        std::string refusal;
        const Variant v = entered(b, refusal);
        if (v.isEmpty()) return {b.field, refusal.empty() ? unreadable(b.info) : refusal};
        if (sameValue(b, v)) {
            show(b);
            continue;
        }
        const DispatchStatus s = b.write(v);
        if (!s.ok()) return {b.field, s.message};
        show(b); // what the control kept: a discarded write shows the old value
    }
    return {};
}

QWidget* PropertyPage::addEdit(QGridLayout* grid, int row, int column, const QString& label,
                               const char* propertyName, PageExchange how) {
    auto* edit = new QLineEdit(this);
    auto* text = new QLabel(label, this);
    text->setBuddy(edit);
    grid->addWidget(text, row, column);
    grid->addWidget(edit, row, column + 1);
    bind(edit, propertyName, how);
    return edit;
}

QWidget* PropertyPage::addCheck(QGridLayout* grid, int row, int column, const QString& label,
                                const char* propertyName) {
    auto* check = new QCheckBox(label, this);
    grid->addWidget(check, row, column);
    bind(check, propertyName, PageExchange::Bool);
    return check;
}

QWidget* PropertyPage::addCombo(QGridLayout* grid, int row, int column, const QString& label,
                                const QStringList& items, const char* propertyName) {
    auto* combo = new QComboBox(this);
    combo->addItems(items);
    auto* text = new QLabel(label, this);
    text->setBuddy(combo);
    grid->addWidget(text, row, column);
    grid->addWidget(combo, row, column + 1);
    bind(combo, propertyName, PageExchange::Index);
    return combo;
}

namespace {
// A page's grid: label and field columns, with room below and to the right
// so the form keeps its natural size in a larger sheet.
QGridLayout* pageGrid(QWidget* page) {
    auto* grid = new QGridLayout(page);
    return grid;
}
void finishGrid(QGridLayout* grid, int rows, int columns) {
    grid->setRowStretch(rows, 1);
    grid->setColumnStretch(columns, 1);
}
} // namespace

// --- The pages ----------------------------------------------------------------

CPlotrane2DPropPage::CPlotrane2DPropPage(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Graph", control, parent) {
    QGridLayout* g = pageGrid(this);
    addEdit(g, 0, 0, "&Resolution:", "Resolution", PageExchange::Long);
    addEdit(g, 1, 0, "&BarChartArea:", "BarChartArea", PageExchange::Float);
    addEdit(g, 2, 0, "&Line Width:", "LineWidth", PageExchange::Float);
    addEdit(g, 3, 0, "&Grid Density:", "GridDensity", PageExchange::Float);
    addCombo(g, 4, 0, "&Style:", {"Wireframe", "Surface", "Barchart"}, "GraphStyle");
    g->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 2);
    addCheck(g, 0, 3, "&Grid", "ShowGrid");
    addCheck(g, 1, 3, "&Hidden Line", "HiddenLine");
    addCheck(g, 2, 3, "&DataTip", "ShowDataTip");
    finishGrid(g, 5, 4);
}

CPlotrane2DPropPageScale::CPlotrane2DPropPageScale(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Scale", control, parent) {
    QGridLayout* g = pageGrid(this);
    addEdit(g, 0, 0, "&XScale:", "XScale", PageExchange::Float);
    addEdit(g, 1, 0, "&YScale:", "YScale", PageExchange::Float);
    addEdit(g, 2, 0, "&ZScale:", "ZScale", PageExchange::Float);
    addEdit(g, 3, 0, "Z&Bias:", "ZBias", PageExchange::Float);
    finishGrid(g, 4, 2);
}

CPlotrane2DPropPageMisc::CPlotrane2DPropPageMisc(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Misc", control, parent) {
    QGridLayout* g = pageGrid(this);
    addCombo(g, 0, 0, "&Shading:", {"FLAT", "SMOOTH"}, "Shading");
    addCombo(g, 1, 0, "&TextureMode:", {"NEVER", "ALWAYS", "AUTO"}, "TextureMode");
    addCombo(g, 2, 0, "&CacheBehavior:", {"ALWAYS", "NEVER", "AUTO"}, "CacheBehavior");
    addEdit(g, 3, 0, "&NumAntiAliasPasses:", "NumAntiAliasPasses", PageExchange::Text);
    g->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 2);
    addCheck(g, 0, 3, "&Lighting", "Lighting");
    addCheck(g, 1, 3, "LineS&mooth", "LineSmooth");
    addCheck(g, 2, 3, "&Depthcue", "Depthcue");
    finishGrid(g, 4, 4);
}

CPlotrane2DPropPageAxis::CPlotrane2DPropPageAxis(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Axis", control, parent) {
    QGridLayout* g = pageGrid(this);
    addEdit(g, 0, 0, "&X-Axis Label:", "XAxisLabel", PageExchange::Text);
    addEdit(g, 1, 0, "&Y-Axis Label:", "YAxisLabel", PageExchange::Text);
    addEdit(g, 2, 0, "&Z-Axis Label:", "ZAxisLabel", PageExchange::Text);
    g->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 2);
    addCheck(g, 0, 3, "Show&Axis", "ShowAxis");
    addCheck(g, 1, 3, "&FontAutoScale", "FontAutoScale");
    finishGrid(g, 3, 4);
}

CPlotrane2DPropPagePalette::CPlotrane2DPropPagePalette(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Palette", control, parent) {
    QGridLayout* g = pageGrid(this);
    addCheck(g, 0, 0, "Use Color Palette", "UseColorPalette");
    finishGrid(g, 1, 1);
}

namespace {
// A titled group with a grid inside, placed in the page's grid.
QGridLayout* group(QWidget* page, QGridLayout* outer, int row, int column, const QString& title) {
    auto* box = new QGroupBox(title, page);
    outer->addWidget(box, row, column, Qt::AlignTop);
    return new QGridLayout(box);
}
} // namespace

CPlotrane2DPropPageCamera::CPlotrane2DPropPageCamera(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Camera", control, parent) {
    QGridLayout* g = pageGrid(this);
    // The edits sit in group boxes: they are the page's children all the
    // same, built here so that their labels' buddies are set.
    const auto edits = [this](QGridLayout* grid, const char* x, const char* y, const char* z) {
        const char* names[3] = {x, y, z};
        const char* labels[3] = {"X:", "Y:", "Z:"};
        for (int k = 0; k < 3; ++k) {
            auto* edit = new QLineEdit(this);
            auto* text = new QLabel(labels[k], this);
            text->setBuddy(edit);
            grid->addWidget(text, k, 0);
            grid->addWidget(edit, k, 1);
            bind(edit, names[k], PageExchange::Float);
        }
    };
    edits(group(this, g, 0, 0, "Position"), "CamXPos", "CamYPos", "CamZPos");
    edits(group(this, g, 0, 1, "Center Of Interest"), "CamXCoi", "CamYCoi", "CamZCoi");
    finishGrid(g, 1, 2);
}

CPlotrane2DPropPageData::CPlotrane2DPropPageData(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Data", control, parent) {
    QGridLayout* g = pageGrid(this);
    struct Row {
        const char* label;
        const char* name;
        PageExchange how;
    };
    const auto rows = [this](QGridLayout* grid, std::initializer_list<Row> list) {
        int k = 0;
        for (const Row& r : list) {
            auto* edit = new QLineEdit(this);
            auto* text = new QLabel(r.label, this);
            text->setBuddy(edit);
            grid->addWidget(text, k, 0);
            grid->addWidget(edit, k, 1);
            bind(edit, r.name, r.how);
            ++k;
        }
    };
    rows(group(this, g, 0, 0, "Region Of Interest"),
         {{"NumRows:", "NumRows", PageExchange::Long},
          {"NumColumns:", "NumColumns", PageExchange::Long},
          {"RowStart:", "RowStart", PageExchange::Long},
          {"ColumnStart:", "ColumnStart", PageExchange::Long}});
    rows(group(this, g, 0, 1, "Cell Properties"),
         {{"CellSize:", "DataCellSize", PageExchange::Long},
          {"ElementSize:", "DataElementSize", PageExchange::Short},
          {"Offset:", "DataOffset", PageExchange::Long}});
    finishGrid(g, 1, 2);
}

CPlotrane2DColorPage::CPlotrane2DColorPage(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Colors", control, parent) {
    QGridLayout* g = pageGrid(this);
    // Every colour the control has, the stock BackColor first, in two
    // columns. Read-only colours have no place on a page.
    std::vector<const PropertyInfo*> colours;
    for (const PropertyInfo& p : kStockProperties)
        if (p.type == PropType::Color && !p.has(kReadOnly)) colours.push_back(&p);
    for (const PropertyInfo& p : kProperties)
        if (p.type == PropType::Color && !p.has(kReadOnly)) colours.push_back(&p);
    const int perColumn = int(colours.size() + 1) / 2;
    for (int i = 0; i < int(colours.size()); ++i) {
        const int row = i % perColumn, column = (i / perColumn) * 3;
        auto* button = new ColorButton(this);
        button->setAccessibleName(colours[size_t(i)]->name);
        auto* text = new QLabel(QString::fromLatin1(colours[size_t(i)]->name) + ":", this);
        text->setBuddy(button);
        g->addWidget(text, row, column);
        g->addWidget(button, row, column + 1);
        bind(button, colours[size_t(i)]->name, PageExchange::Color);
    }
    g->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 2);
    finishGrid(g, perColumn, 5);
}

CPlotrane2DFontPage::CPlotrane2DFontPage(CPlotrane2DCtrl& control, QWidget* parent)
    : PropertyPage("Fonts", control, parent) {
    QGridLayout* g = pageGrid(this);
    const QStringList families = QFontDatabase::families();
    // Each group has mnemonics of its own, so that every one leads to one
    // field.
    struct FontProperty {
        const char* name;
        const char* title;
        int which; // 0 AxisFont, 1 AxisLabelFont
        const char *faceLabel, *sizeLabel, *boldLabel;
    };
    const FontProperty fonts[] = {
        {"AxisFont", "AxisFont (tick numbers)", 0, "&Font:", "&Size:", "&Bold"},
        {"AxisLabelFont", "AxisLabelFont (axis titles)", 1, "F&ont:", "S&ize:", "Bo&ld"}};
    int column = 0;
    for (const FontProperty& fp : fonts) {
        QGridLayout* inner = group(this, g, 0, column++, fp.title);
        // The face: any name the user types; the list offers the installed
        // ones. Written through the dispatch interface.
        auto* face = new QComboBox(this);
        face->setEditable(true);
        face->setInsertPolicy(QComboBox::NoInsert);
        face->addItems(families);
        face->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        face->setMinimumContentsLength(14);
        auto* faceLabel = new QLabel(fp.faceLabel, this);
        faceLabel->setBuddy(face);
        inner->addWidget(faceLabel, 0, 0);
        inner->addWidget(face, 0, 1);
        bind(face, fp.name, PageExchange::Text);

        const int which = fp.which;
        ControlModel* ctrl = &control.model();
        const auto current = [ctrl, which] {
            return which == 0 ? ctrl->axisFont() : ctrl->axisLabelFont();
        };
        const auto store = [ctrl, which](const PlotraneFont& f) {
            which == 0 ? ctrl->setAxisFont(f) : ctrl->setAxisLabelFont(f);
            return DispatchStatus{};
        };
        // Size in points, within what a saved property set may hold.
        auto* size = new QDoubleSpinBox(this);
        size->setObjectName(QString::fromLatin1(fp.name) + ".Size");
        size->setRange(1.0, 999.0);
        size->setDecimals(1);
        auto* sizeLabel = new QLabel(fp.sizeLabel, this);
        sizeLabel->setBuddy(size);
        inner->addWidget(sizeLabel, 1, 0);
        inner->addWidget(size, 1, 1);
        bind(
            size, PageExchange::Float, [current] { return Variant(current().points); },
            [current, store](const Variant& v) {
                PlotraneFont f = current();
                f.points = v.toDouble();
                return store(f);
            });

        auto* bold = new QCheckBox(fp.boldLabel, this);
        bold->setObjectName(QString::fromLatin1(fp.name) + ".Bold");
        inner->addWidget(bold, 2, 1);
        bind(
            bold, PageExchange::Bool, [current] { return Variant(current().bold); },
            [current, store](const Variant& v) {
                PlotraneFont f = current();
                f.bold = v.toBool();
                return store(f);
            });
    }
    finishGrid(g, 1, 2);
}

// --- The sheet ----------------------------------------------------------------

CPlotrane2DPropertySheet::CPlotrane2DPropertySheet(CPlotrane2DCtrl& control, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kTitle);
    m_tabs = new QTabWidget(this);
    // Every page's tab stays in sight: the sheet is as wide as the tabs.
    m_tabs->setUsesScrollButtons(false);
    m_pages = {new CPlotrane2DPropPage(control),        new CPlotrane2DPropPageScale(control),
               new CPlotrane2DPropPageMisc(control),    new CPlotrane2DPropPageAxis(control),
               new CPlotrane2DPropPagePalette(control), new CPlotrane2DPropPageCamera(control),
               new CPlotrane2DPropPageData(control),    new CPlotrane2DColorPage(control),
               new CPlotrane2DFontPage(control)};
    for (PropertyPage* page : m_pages) {
        page->load();
        m_tabs->addTab(page, page->caption());
        connect(page, &PropertyPage::modified, this, &CPlotrane2DPropertySheet::updateApply);
    }
    // A page shows what the control has when it comes up (the level of
    // detail moves on while the sheet is open).
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int i) {
        if (i >= 0 && i < int(m_pages.size())) m_pages[size_t(i)]->refresh();
    });

    m_buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply()) accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &CPlotrane2DPropertySheet::apply);
    updateApply();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);
}

bool CPlotrane2DPropertySheet::apply() {
    PropertyPage::Refusal refusal;
    PropertyPage* refusing = nullptr;
    for (PropertyPage* page : m_pages) {
        refusal = page->apply();
        if (refusal) {
            refusing = page;
            break;
        }
    }
    // Whatever was written may move other values (the window, the camera).
    for (PropertyPage* page : m_pages)
        page->refresh();
    updateApply();
    if (!refusing) return true;
    m_tabs->setCurrentWidget(refusing);
    // The reason may quote what was typed: plain text, never markup.
    QMessageBox box(QMessageBox::Warning, kTitle, QString::fromStdString(refusal.message),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    refusal.field->setFocus();
    if (auto* e = qobject_cast<QLineEdit*>(refusal.field)) e->selectAll();
    return false;
}

void CPlotrane2DPropertySheet::updateApply() {
    bool any = false;
    for (PropertyPage* page : m_pages)
        any = any || page->isModified();
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(any);
}

// --- About box ------------------------------------------------------------------

CPlotrane2DAboutBox::CPlotrane2DAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Plotrane2D Control");
    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(side, side));
    auto* name = new QLabel("Plotrane2D Control, Version 1.0", this);
    auto* second = new QLabel("OpenGL graph control for numeric arrays", this);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(second, 1, 1);
    grid->addWidget(ok, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}
