#include "SettingsDialogs.h"

#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"
#include "RangeEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>

using namespace plotrane;

namespace {

// Numbers count as changed from a difference of 0.00001 on.
bool differs(double a, double b) {
    return !(std::fabs(a - b) < 0.00001);
}

void name(QWidget* w, int id) {
    w->setObjectName(QString("control%1").arg(id));
}

QCheckBox* checkBox(const QString& text, int id, bool on, QWidget* parent) {
    auto* b = new QCheckBox(text, parent);
    name(b, id);
    b->setChecked(on);
    return b;
}

QRadioButton* radio(const QString& text, int id, QButtonGroup* group, int value, QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    name(r, id);
    group->addButton(r, value);
    return r;
}

// Style radios show no selection for a style they do not offer; the style
// is then written only when the user picks one.
void selectStyle(QButtonGroup* group, int style) {
    if (QAbstractButton* b = group->button(style)) b->setChecked(true);
}

QGroupBox* group(const QString& title, QLayout* layout, QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    g->setLayout(layout);
    return g;
}

QString shortest(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

} // namespace

// ---------------------------------------------------------------------------

GraphDialog::GraphDialog(CGraphView* view, const QString& title, QWidget* parent)
    : QDialog(parent), m_view(view), m_document(view ? view->document() : nullptr) {
    setWindowTitle(title);
    setModal(true);
}

CPlotrane2D* GraphDialog::control() const {
    return m_document ? m_document->control() : nullptr;
}

void GraphDialog::addButtons(QVBoxLayout* layout, bool withApply) {
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                 (withApply ? QDialogButtonBox::Apply : QDialogButtonBox::NoButton),
                             this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GraphDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GraphDialog::reject);
    if (QPushButton* a = buttons->button(QDialogButtonBox::Apply)) {
        name(a, 1007);
        connect(a, &QPushButton::clicked, this, [this] { apply(); });
    }
    layout->addWidget(buttons);
}

bool GraphDialog::apply() {
    CPlotrane2D* c = control();
    if (!c) return true; // nothing to apply to
    if (!collect()) return false;
    applyChanges(*c);
    return true;
}

void GraphDialog::accept() {
    if (apply()) QDialog::accept();
}

void GraphDialog::refuse(const char* message) {
    if (m_document) m_document->messages().message(message, MessageIcon::Exclamation);
}

void GraphDialog::graphChanged(bool force) {
    if (m_document) m_document->settingsChanged(force);
}

// ---------------------------------------------------------------------------
// Height plot

HeightPlotDialog::HeightPlotDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "Height Plot Settings", parent) {
    if (CPlotrane2D* c = control()) {
        m_last.style = c->getInt(DISPID_GraphStyle);
        m_last.showGrid = c->getBool(DISPID_ShowGrid);
        m_last.hiddenLine = c->getBool(DISPID_HiddenLine);
        m_last.shading = c->getInt(DISPID_Shading);
        m_last.textureMode = c->getInt(DISPID_TextureMode);
        m_last.showAxis = c->getBool(DISPID_ShowAxis);
        m_last.usePalette = c->getBool(DISPID_UseColorPalette);
        m_last.smooth = c->getBool(DISPID_LineSmooth);
        m_last.clamp = c->getBool(DISPID_DataClamp);
        m_last.highLight = c->getBool(DISPID_HighLight);
        m_last.depthcue = c->getBool(DISPID_Depthcue);
        m_last.density = c->getFloat(DISPID_GridDensity);
    }
    m_shown = m_last;

    m_style = new QButtonGroup(this);
    auto* styles = new QVBoxLayout;
    const char* names[] = {"&Wireframe", "&Surface", "&Barchart", "&Lines", "&Points"};
    for (int k = 0; k < 5; ++k)
        styles->addWidget(radio(names[k], 1136 + k, m_style, k, this));
    selectStyle(m_style, m_last.style);

    const Values& v = m_last;
    m_grid = checkBox("Show &Grid", 1001, v.showGrid, this);
    m_hidden = checkBox("&Hidden Line", 1002, v.hiddenLine, this);
    m_flat = checkBox("&Flat Shading", 1003, v.shading == 0, this);
    m_texture = checkBox("&Texture On", 1004, v.textureMode != 0, this);
    m_axis = checkBox("Show A&xis", 1005, v.showAxis, this);
    m_palette = checkBox("&Use Palette", 1015, v.usePalette, this);
    m_smooth = checkBox("Smooth Li&nes", 1085, v.smooth, this);
    m_clamp = checkBox("Cla&mp Data", 1086, v.clamp, this);
    m_highLight = checkBox("H&ighlighting", 1135, v.highLight, this);
    m_depthcue = checkBox("&Depthcue", 1151, v.depthcue, this);
    auto* options = new QGridLayout;
    QCheckBox* boxes[] = {m_grid,    m_hidden, m_flat,  m_texture,   m_axis,
                          m_palette, m_smooth, m_clamp, m_highLight, m_depthcue};
    for (int k = 0; k < 10; ++k)
        options->addWidget(boxes[k], k % 5, k / 5);

    m_density = new QSlider(Qt::Horizontal, this);
    name(m_density, 1142);
    m_density->setRange(kDensityMin, kDensityMax);
    m_density->setTickPosition(QSlider::TicksBelow);
    m_density->setTickInterval(10);
    m_density->setPageStep(10);
    m_density->setValue(std::clamp(int(std::lround(100.0 - v.density)), kDensityMin, kDensityMax));
    auto* densityLabel = new QLabel("Grid D&ensity", this);
    densityLabel->setBuddy(m_density);
    auto* density = new QHBoxLayout;
    density->addWidget(densityLabel);
    density->addWidget(m_density, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(group("Style", styles, this));
    top->addWidget(group("Options", options, this), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(density);
    addButtons(layout, true);

    textureClicked();
    connect(m_texture, &QCheckBox::clicked, this, &HeightPlotDialog::textureClicked);
    connect(m_density, &QSlider::valueChanged, this, &HeightPlotDialog::densityMoved);
}

void HeightPlotDialog::textureClicked() {
    const bool texture = m_texture->isChecked();
    m_flat->setEnabled(!texture);
    m_highLight->setEnabled(!texture);
}

void HeightPlotDialog::densityMoved(int position) {
    // The graph follows the slider at once; 1..99 keeps the density inside
    // what the control takes (0 < density < 100).
    m_shown.density = 100.0 - std::clamp(position, kDensityMin, kDensityMax);
    if (CPlotrane2D* c = control()) {
        c->setFloat(DISPID_GridDensity, float(m_shown.density));
        graphChanged();
    }
}

bool HeightPlotDialog::collect() {
    Values& s = m_shown;
    s.style = m_style->checkedId() >= 0 ? m_style->checkedId() : m_last.style;
    s.showGrid = m_grid->isChecked();
    s.hiddenLine = m_hidden->isChecked();
    const bool texture = m_texture->isChecked();
    s.shading = texture ? 1 : (m_flat->isChecked() ? 0 : 1);
    s.textureMode = texture ? (m_last.textureMode != 0 ? m_last.textureMode : 1) : 0;
    s.showAxis = m_axis->isChecked();
    s.usePalette = m_palette->isChecked();
    s.smooth = m_smooth->isChecked();
    s.clamp = m_clamp->isChecked();
    s.highLight = m_highLight->isChecked();
    s.depthcue = m_depthcue->isChecked();
    return true;
}

void HeightPlotDialog::applyChanges(CPlotrane2D& c) {
    const Values& s = m_shown;
    const Values& l = m_last;
    bool any = false;
    auto setBool = [&](int dispid, bool now, bool before) {
        if (now == before) return;
        c.setBool(dispid, now);
        any = true;
    };
    if (s.style != l.style) {
        c.setShort(DISPID_GraphStyle, s.style);
        any = true;
    }
    setBool(DISPID_ShowGrid, s.showGrid, l.showGrid);
    setBool(DISPID_HiddenLine, s.hiddenLine, l.hiddenLine);
    if (s.shading != l.shading) {
        c.setShort(DISPID_Shading, s.shading);
        any = true;
    }
    setBool(DISPID_HighLight, s.highLight, l.highLight);
    if (s.textureMode != l.textureMode) {
        c.setShort(DISPID_TextureMode, s.textureMode);
        any = true;
    }
    setBool(DISPID_ShowAxis, s.showAxis, l.showAxis);
    setBool(DISPID_UseColorPalette, s.usePalette, l.usePalette);
    setBool(DISPID_LineSmooth, s.smooth, l.smooth);
    if (s.clamp != l.clamp) {
        c.setBool(DISPID_DataClamp, s.clamp);
        c.Update();
        any = true;
    }
    if (differs(s.density, l.density)) {
        c.setFloat(DISPID_GridDensity, float(s.density));
        any = true;
    }
    setBool(DISPID_Depthcue, s.depthcue, l.depthcue);
    m_last = m_shown;
    if (any) {
        m_applied = true;
        graphChanged();
    }
}

void HeightPlotDialog::reject() {
    // The slider moved the graph as it went: back to the density of the
    // last Apply (or of the opening).
    if (CPlotrane2D* c = control(); c && differs(c->getFloat(DISPID_GridDensity), m_last.density)) {
        c->setFloat(DISPID_GridDensity, float(m_last.density));
        graphChanged();
    }
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// Plane view

PlaneViewDialog::PlaneViewDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "Plane View Settings", parent) {
    if (CPlotrane2D* c = control()) {
        m_last.style = c->getInt(DISPID_GraphStyle);
        m_last.smooth = c->getBool(DISPID_LineSmooth);
        m_last.clamp = c->getBool(DISPID_DataClamp);
        m_last.showAxis = c->getBool(DISPID_ShowAxis);
        m_last.usePalette = c->getBool(DISPID_UseColorPalette);
    }
    m_shown = m_last;
    m_style = new QButtonGroup(this);
    auto* styles = new QVBoxLayout;
    styles->addWidget(radio("&Lines", 1136, m_style, value(GraphStyle::LineStyle), this));
    styles->addWidget(radio("&Points", 1137, m_style, value(GraphStyle::PointStyle), this));
    styles->addWidget(radio("&Barchart", 1138, m_style, value(GraphStyle::BarchartStyle), this));
    selectStyle(m_style, m_last.style);
    m_smooth = checkBox("Smooth Li&nes", 1085, m_last.smooth, this);
    m_clamp = checkBox("Cla&mp Data", 1086, m_last.clamp, this);
    m_axis = checkBox("Show A&xis", 1005, m_last.showAxis, this);
    m_palette = checkBox("&Use Palette", 1015, m_last.usePalette, this);
    auto* options = new QVBoxLayout;
    for (QCheckBox* b : {m_smooth, m_clamp, m_axis, m_palette})
        options->addWidget(b);
    auto* top = new QHBoxLayout;
    top->addWidget(group("Style", styles, this));
    top->addWidget(group("Options", options, this), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    addButtons(layout, true);
}

bool PlaneViewDialog::collect() {
    m_shown.style = m_style->checkedId() >= 0 ? m_style->checkedId() : m_last.style;
    m_shown.smooth = m_smooth->isChecked();
    m_shown.clamp = m_clamp->isChecked();
    m_shown.showAxis = m_axis->isChecked();
    m_shown.usePalette = m_palette->isChecked();
    return true;
}

void PlaneViewDialog::applyChanges(CPlotrane2D& c) {
    const Values& s = m_shown;
    const Values& l = m_last;
    bool any = false;
    if (s.style != l.style) {
        c.setShort(DISPID_GraphStyle, s.style);
        any = true;
    }
    const std::tuple<int, bool, bool> flags[] = {
        {DISPID_ShowAxis, s.showAxis, l.showAxis},
        {DISPID_UseColorPalette, s.usePalette, l.usePalette},
        {DISPID_LineSmooth, s.smooth, l.smooth},
        {DISPID_DataClamp, s.clamp, l.clamp}};
    for (const auto& [dispid, now, before] : flags) {
        if (now == before) continue;
        c.setBool(dispid, now);
        any = true;
    }
    m_last = m_shown;
    if (any) {
        m_applied = true;
        graphChanged();
    }
}

// ---------------------------------------------------------------------------
// Image map

ImageMapDialog::ImageMapDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "Image Map Settings", parent) {
    if (CPlotrane2D* c = control()) {
        m_last.fixedAspect = c->getBool(DISPID_FixedAspect);
        m_last.showAxis = c->getBool(DISPID_ShowAxis);
        m_last.filter = c->getBool(DISPID_ImageFilter);
        m_last.showGrid = c->getBool(DISPID_ShowGrid);
        m_last.orientation = c->getInt(DISPID_ImageOrientation);
        m_last.squareCells = document()->squareCells();
        if (aglArray* a = document()->currentArray()) {
            m_last.rowDim = a->rowDim();
            m_last.colDim = a->colDim();
        }
    }
    m_shown = m_last;
    m_aspect = checkBox("&Fixed Aspect Ratio", 1146, m_last.fixedAspect, this);
    m_squareCells = checkBox("S&quare Cells", 0, m_last.squareCells, this);
    m_squareCells->setObjectName("squareCells");
    m_squareCells->setToolTip("Draw every cell square (the data's aspect) rather than "
                              "stretching the image over the graph area");
    m_axis = checkBox("Show Ax&is", 1005, m_last.showAxis, this);
    m_filter = checkBox("&Linear Filter", 1147, m_last.filter, this);
    m_grid = checkBox("Show &Grid", 1001, m_last.showGrid, this);
    auto* options = new QVBoxLayout;
    for (QCheckBox* b : {m_aspect, m_squareCells, m_axis, m_filter, m_grid})
        options->addWidget(b);
    auto* flipX = new QPushButton("Flip &X", this);
    auto* flipY = new QPushButton("Flip &Y", this);
    auto* swap = new QPushButton("S&wap XY", this);
    name(flipX, 1148);
    name(flipY, 1149);
    name(swap, 1150);
    auto* orientation = new QVBoxLayout;
    for (QPushButton* b : {flipX, flipY, swap}) {
        b->setAutoDefault(false);
        orientation->addWidget(b);
    }
    orientation->addStretch();
    connect(flipX, &QPushButton::clicked, this, [this] { flip(1); });
    connect(flipY, &QPushButton::clicked, this, [this] { flip(2); });
    connect(swap, &QPushButton::clicked, this, &ImageMapDialog::swapXY);
    auto* top = new QHBoxLayout;
    top->addWidget(group("Options", options, this), 1);
    top->addWidget(group("Orientation", orientation, this));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    addButtons(layout, true);
}

void ImageMapDialog::flip(int xorBits) {
    CPlotrane2D* c = control();
    if (!c) return;
    // Flip X turns 0<->1 and 2<->3, Flip Y 0<->2 and 1<->3.
    m_shown.orientation = (c->getInt(DISPID_ImageOrientation) & 3) ^ xorBits;
    c->setShort(DISPID_ImageOrientation, m_shown.orientation);
    graphChanged();
}

void ImageMapDialog::setDimensions(CPlotrane2D& c, int rowDim, int colDim) {
    aglArray* a = document()->currentArray();
    if (!a) return;
    a->setRowDim(rowDim);
    a->setColDim(colDim);
    c.setLong(DISPID_RowDim, a->rowDim());
    c.setLong(DISPID_ColDim, a->colDim());
    if (GridHostView* g = document()->gridView()) g->reload();
    c.Update();
    document()->setCursor(document()->cursorRow(), document()->cursorColumn());
    m_shown.rowDim = a->rowDim();
    m_shown.colDim = a->colDim();
}

void ImageMapDialog::swapXY() {
    CPlotrane2D* c = control();
    aglArray* a = document()->currentArray();
    if (!c || !a || a->rowDim() == a->colDim()) return;
    setDimensions(*c, a->colDim(), a->rowDim());
    graphChanged();
}

bool ImageMapDialog::collect() {
    m_shown.fixedAspect = m_aspect->isChecked();
    m_shown.squareCells = m_squareCells->isChecked();
    m_shown.showAxis = m_axis->isChecked();
    m_shown.filter = m_filter->isChecked();
    m_shown.showGrid = m_grid->isChecked();
    return true;
}

void ImageMapDialog::applyChanges(CPlotrane2D& c) {
    const Values& s = m_shown;
    const Values& l = m_last;
    const bool cells = s.squareCells != l.squareCells;
    const bool any = s.fixedAspect != l.fixedAspect || s.showAxis != l.showAxis ||
                     s.filter != l.filter || s.showGrid != l.showGrid ||
                     s.orientation != l.orientation || s.rowDim != l.rowDim || s.colDim != l.colDim;
    // Square cells are the viewer's own setting, not the graph kind's: they
    // are kept in the settings, never in the file.
    if (cells) {
        document()->setSquareCells(s.squareCells);
        m_last.squareCells = s.squareCells;
    }
    if (!any) return;
    c.setBool(DISPID_ShowGrid, s.showGrid);
    c.setBool(DISPID_ShowAxis, s.showAxis);
    c.setBool(DISPID_ImageFilter, s.filter);
    c.setBool(DISPID_FixedAspect, s.fixedAspect);
    m_last = m_shown;
    m_applied = true;
    graphChanged();
}

void ImageMapDialog::reject() {
    // The orientation buttons acted at once: back to the last Apply.
    if (CPlotrane2D* c = control()) {
        bool restored = false;
        if ((c->getInt(DISPID_ImageOrientation) & 3) != m_last.orientation) {
            c->setShort(DISPID_ImageOrientation, m_last.orientation);
            restored = true;
        }
        aglArray* a = document()->currentArray();
        if (a && a->colDim() != m_last.colDim) {
            setDimensions(*c, m_last.rowDim, m_last.colDim);
            restored = true;
        }
        if (restored) graphChanged();
    }
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// Vector plot

VectorPlotDialog::VectorPlotDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "Vector Plot Settings", parent) {
    int columns = 0;
    if (CPlotrane2D* c = control()) {
        const int ids[] = {DISPID_XComp, DISPID_YComp, DISPID_ZComp, DISPID_WComp};
        for (int k = 0; k < 4; ++k)
            m_last.comp[size_t(k)] = c->getInt(ids[k]);
        m_last.style = c->getInt(DISPID_GraphStyle);
        m_last.smooth = c->getBool(DISPID_LineSmooth);
        m_last.showAxis = c->getBool(DISPID_ShowAxis);
        m_last.depthcue = c->getBool(DISPID_Depthcue);
        columns = std::max(0, c->getInt(DISPID_NumColumns));
        if (aglArray* a = document()->currentArray(); a && a->language() == AGL_LANG_FORTRAN)
            m_offset = 1;
    }
    m_shown = m_last;

    // Fortran arrays count components from 1 (0: none), C arrays from 0
    // (-1: none).
    auto* comps = new QFormLayout;
    const char* labels[] = {"&X:", "&Y:", "&Z:", "&W:"};
    const int editIds[] = {1090, 1092, 1190, 1181};
    for (int k = 0; k < 4; ++k) {
        auto* s = new QSpinBox(this);
        name(s, editIds[k]);
        const int shown = m_last.comp[size_t(k)] + m_offset;
        s->setRange(std::min(-1 + m_offset, shown), std::max(columns - 1 + m_offset, shown));
        s->setValue(shown);
        m_comp[size_t(k)] = s;
        comps->addRow(labels[k], s);
    }
    m_style = new QButtonGroup(this);
    auto* styles = new QVBoxLayout;
    styles->addWidget(radio("&Lines", 1136, m_style, value(GraphStyle::LineStyle), this));
    styles->addWidget(radio("&Points", 1137, m_style, value(GraphStyle::PointStyle), this));
    selectStyle(m_style, m_last.style);
    m_smooth = checkBox("Smooth Li&nes", 1085, m_last.smooth, this);
    m_axis = checkBox("Show Ax&is", 1005, m_last.showAxis, this);
    m_depthcue = checkBox("&Depthcue", 1151, m_last.depthcue, this);
    auto* options = new QVBoxLayout;
    for (QCheckBox* b : {m_smooth, m_axis, m_depthcue})
        options->addWidget(b);
    auto* right = new QVBoxLayout;
    right->addWidget(group("Style", styles, this));
    right->addWidget(group("Options", options, this));
    auto* top = new QHBoxLayout;
    top->addWidget(group("Components", comps, this), 1);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    addButtons(layout, true);
}

bool VectorPlotDialog::collect() {
    for (int k = 0; k < 4; ++k) {
        QSpinBox* s = m_comp[size_t(k)];
        // A half-typed number is taken as the spin box shows it.
        s->interpretText();
        m_shown.comp[size_t(k)] = s->value() - m_offset;
    }
    m_shown.style = m_style->checkedId() >= 0 ? m_style->checkedId() : m_last.style;
    m_shown.smooth = m_smooth->isChecked();
    m_shown.showAxis = m_axis->isChecked();
    m_shown.depthcue = m_depthcue->isChecked();
    return true;
}

void VectorPlotDialog::applyChanges(CPlotrane2D& c) {
    const Values& s = m_shown;
    const Values& l = m_last;
    bool any = false;
    if (s.comp != l.comp) {
        const int ids[] = {DISPID_XComp, DISPID_YComp, DISPID_ZComp, DISPID_WComp};
        for (int k = 0; k < 4; ++k)
            if (s.comp[size_t(k)] != l.comp[size_t(k)]) c.setLong(ids[k], s.comp[size_t(k)]);
        c.Update();
        any = true;
    }
    if (s.style != l.style) {
        c.setShort(DISPID_GraphStyle, s.style);
        any = true;
    }
    const std::tuple<int, bool, bool> flags[] = {{DISPID_ShowAxis, s.showAxis, l.showAxis},
                                                 {DISPID_LineSmooth, s.smooth, l.smooth},
                                                 {DISPID_Depthcue, s.depthcue, l.depthcue}};
    for (const auto& [dispid, now, before] : flags) {
        if (now == before) continue;
        c.setBool(dispid, now);
        any = true;
    }
    m_last = m_shown;
    if (!any) return;
    m_applied = true;
    // The camera follows the components present.
    document()->selectGraphType(CArrayDoc::VectorGraph);
    graphChanged();
}

// ---------------------------------------------------------------------------
// Z scale

ZScaleDialog::ZScaleDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "Z-Scale", parent) {
    if (CPlotrane2D* c = control()) m_opening = c->getFloat(DISPID_ZScale);
    m_value = m_opening;
    m_slider = new QSlider(Qt::Horizontal, this);
    name(m_slider, 1059);
    m_slider->setRange(0, 100);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(10);
    m_slider->setPageStep(10);
    m_slider->setValue(std::clamp(int(std::lround(m_opening * 100.0)), 0, 100));
    m_slider->setMinimumWidth(200);
    m_label = new QLabel(QString::asprintf("%.2f", m_value), this);
    name(m_label, 1061);
    m_label->setMinimumWidth(m_label->fontMetrics().horizontalAdvance("00.00"));
    auto* caption = new QLabel("&Z Scale", this);
    caption->setBuddy(m_slider);
    auto* row = new QHBoxLayout;
    row->addWidget(caption);
    row->addWidget(m_slider, 1);
    row->addWidget(m_label);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    addButtons(layout, true);
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        m_value = position / 100.0;
        m_label->setText(QString::asprintf("%.2f", m_value));
    });
}

void ZScaleDialog::applyChanges(CPlotrane2D& c) {
    if (!differs(float(m_value), c.getFloat(DISPID_ZScale))) return;
    c.setFloat(DISPID_ZScale, float(m_value));
    m_applied = true;
}

void ZScaleDialog::accept() {
    apply();
    if (control() && differs(m_value, m_opening)) graphChanged();
    QDialog::accept();
}

void ZScaleDialog::reject() {
    if (CPlotrane2D* c = control(); c && m_applied) c->setFloat(DISPID_ZScale, float(m_opening));
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// Palette and axis ranges

RangeDialog::RangeDialog(Kind kind, CGraphView* view, QWidget* parent)
    : GraphDialog(view, kind == Palette ? "Palette Range" : "Axis Range", parent), m_kind(kind),
      m_count(kind == AxisXYZ ? 3 : 1) {
    if (kind == AxisZ) m_pairs[0].axis = 2;
    if (kind == AxisXYZ)
        for (int k = 0; k < 3; ++k)
            m_pairs[size_t(k)].axis = k;
    if (kind == Palette) m_pairs[0].axis = -1;

    CPlotrane2D* c = control();
    if (c) m_opening = read(*c);
    m_last = m_opening;
    m_shown = m_opening;

    m_auto = checkBox("Auto a&djust to min, max data range", kind == Palette ? 1062 : 1068,
                      m_opening.autoAdjust, this);
    auto* grid = new QGridLayout;
    // Edit ids: palette 1063/1065; z 1069/1071; x, y, z 1073/1075,
    // 1077/1079, 1081/1083.
    const int firstId = kind == Palette ? 1063 : kind == AxisZ ? 1069 : 1073;
    const char* axisNames[] = {"X", "Y", "Z"};
    for (int k = 0; k < m_count; ++k) {
        Pair& p = m_pairs[size_t(k)];
        p.min = new RangeEdit(true, this);
        p.max = new RangeEdit(false, this);
        p.min->setPartner(p.max);
        p.max->setPartner(p.min);
        name(p.min, firstId + 4 * k);
        name(p.max, firstId + 4 * k + 2);
        for (RangeEdit* e : {p.min, p.max})
            e->setMinimumWidth(e->fontMetrics().horizontalAdvance("-000000.000000") + 30);
        // With auto adjust on, the edits show the range of the last filter
        // pass; the control's own range is kept for when it goes off.
        double lo = m_opening.ends[size_t(2 * k)], hi = m_opening.ends[size_t(2 * k + 1)];
        if (m_opening.autoAdjust && view) view->passRange(kind == AxisXYZ ? k : 0, lo, hi);
        p.min->setValue(lo);
        p.max->setValue(hi);
    }
    if (kind == AxisXYZ) {
        grid->addWidget(new QLabel("Min Value", this), 0, 1);
        grid->addWidget(new QLabel("Max Value", this), 0, 2);
        for (int k = 0; k < 3; ++k) {
            auto* label = new QLabel(QString("&%1:").arg(axisNames[k]), this);
            label->setBuddy(m_pairs[size_t(k)].min);
            grid->addWidget(label, k + 1, 0);
            grid->addWidget(m_pairs[size_t(k)].min, k + 1, 1);
            grid->addWidget(m_pairs[size_t(k)].max, k + 1, 2);
        }
    } else {
        const QString prefix = kind == AxisZ ? "Z - " : "";
        auto* minLabel = new QLabel(prefix + "M&in Value", this);
        auto* maxLabel = new QLabel(prefix + "Ma&x Value", this);
        minLabel->setBuddy(m_pairs[0].min);
        maxLabel->setBuddy(m_pairs[0].max);
        grid->addWidget(minLabel, 0, 0);
        grid->addWidget(m_pairs[0].min, 0, 1);
        grid->addWidget(maxLabel, 1, 0);
        grid->addWidget(m_pairs[0].max, 1, 1);
    }
    grid->setColumnStretch(1, 1);
    if (kind == AxisXYZ) grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_auto);
    layout->addLayout(grid);
    addButtons(layout, true);
    autoToggled(m_auto->isChecked());
    connect(m_auto, &QCheckBox::toggled, this, &RangeDialog::autoToggled);
}

void RangeDialog::autoToggled(bool on) {
    for (int k = 0; k < m_count; ++k) {
        m_pairs[size_t(k)].min->setLocked(on);
        m_pairs[size_t(k)].max->setLocked(on);
    }
}

RangeDialog::Values RangeDialog::read(CPlotrane2D& c) const {
    Values v;
    if (m_kind == Palette) {
        v.autoAdjust = c.getBool(DISPID_PaletteAutoAdjust);
        v.ends[0] = c.getDouble(DISPID_PaletteMinVal);
        v.ends[1] = c.getDouble(DISPID_PaletteMaxVal);
        return v;
    }
    v.autoAdjust = c.getBool(DISPID_AxisAutoScale);
    const int mins[] = {DISPID_XMinClamp, DISPID_YMinClamp, DISPID_ZMinClamp};
    const int maxs[] = {DISPID_XMaxClamp, DISPID_YMaxClamp, DISPID_ZMaxClamp};
    for (int k = 0; k < m_count; ++k) {
        const int axis = m_pairs[size_t(k)].axis;
        v.ends[size_t(2 * k)] = c.getDouble(mins[axis]);
        v.ends[size_t(2 * k + 1)] = c.getDouble(maxs[axis]);
    }
    return v;
}

bool RangeDialog::collect() {
    m_shown.autoAdjust = m_auto->isChecked();
    m_shown.ends = m_last.ends;
    // Under auto adjust the edits only show the data range: the control's
    // own range stays as it is.
    if (m_shown.autoAdjust) return true;
    for (int k = 0; k < m_count; ++k) {
        const Pair& p = m_pairs[size_t(k)];
        const auto lo = p.min->value();
        const auto hi = p.max->value();
        if (!lo || !hi) {
            refuse(kNotANumber);
            (lo ? p.max : p.min)->setFocus();
            return false;
        }
        if (*lo > *hi) {
            refuse(kRangeCrossed);
            p.min->setFocus();
            return false;
        }
        m_shown.ends[size_t(2 * k)] = *lo;
        m_shown.ends[size_t(2 * k + 1)] = *hi;
    }
    return true;
}

// Writes the switch when it changed, then each pair that changed (only
// while auto adjust is off, unless restoring), as one pair.
void RangeDialog::write(CPlotrane2D& c, const Values& v, const Values& before) {
    bool any = false;
    if (v.autoAdjust != before.autoAdjust) {
        c.setBool(m_kind == Palette ? DISPID_PaletteAutoAdjust : DISPID_AxisAutoScale,
                  v.autoAdjust);
        any = true;
    }
    for (int k = 0; k < m_count; ++k) {
        const double lo = v.ends[size_t(2 * k)], hi = v.ends[size_t(2 * k + 1)];
        if (!differs(lo, before.ends[size_t(2 * k)]) &&
            !differs(hi, before.ends[size_t(2 * k + 1)]))
            continue;
        if (m_kind == Palette)
            c.SetPaletteRange(lo, hi);
        else
            c.SetAxisClamp(m_pairs[size_t(k)].axis, lo, hi);
        any = true;
    }
    if (!any) return;
    if (m_kind != Palette) c.Update();
    graphChanged();
}

void RangeDialog::applyChanges(CPlotrane2D& c) {
    write(c, m_shown, m_last);
    if (m_shown.autoAdjust != m_last.autoAdjust || m_shown.ends != m_last.ends) m_applied = true;
    m_last = m_shown;
}

void RangeDialog::reject() {
    // Only an Apply changed the control: put back what it had at opening
    // (its own range, never the data range the edits showed).
    if (CPlotrane2D* c = control(); c && m_applied) write(*c, m_opening, read(*c));
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// Region of interest

RoiDialog::RoiDialog(CGraphView* view, QWidget* parent)
    : GraphDialog(view, "ROI Settings", parent) {
    aglArray* a = document() ? document()->currentArray() : nullptr;
    CPlotrane2D* c = control();
    if (c && a) {
        m_rank = std::clamp(a->dimCount(), 0, kDims);
        m_fortran = a->language() == AGL_LANG_FORTRAN;
        m_last.rowDim = a->rowDim();
        m_last.colDim = a->colDim();
        // The document's extents and indices: a data set read plane by
        // plane is in the array one plane at a time.
        const CArrayDoc::RegionChoice region = document()->regionChoice();
        const bool byPlane = document()->shownPlaneDataSet() != nullptr;
        for (int d = 0; d < m_rank; ++d) {
            const size_t k = size_t(d);
            m_extent[k] = std::max(0, region.extent[k]);
            const bool shown = d == a->rowDim() || d == a->colDim();
            const int lo = byPlane && !shown ? region.start[k] : c->GetRoiLb(d);
            const int hi = byPlane && !shown ? lo : c->GetRoiUb(d);
            m_last.start[k] = lo;
            m_last.length[k] = std::max(1, hi - lo + 1);
            m_last.lower[k] = region.lower[k];
        }
    }
    m_shown = m_last;

    static const int startIds[] = {1018, 1034, 1038, 1042, 1046, 1050, 1054};
    static const int lengthIds[] = {1020, 1036, 1040, 1044, 1048, 1052, 1056};
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Dim", this), 0, 0);
    grid->addWidget(new QLabel("Extent", this), 0, 1);
    grid->addWidget(new QLabel("Row", this), 0, 2);
    grid->addWidget(new QLabel("Col", this), 0, 3);
    grid->addWidget(new QLabel("&Start", this), 0, 4);
    grid->addWidget(new QLabel("&Length", this), 0, 5);
    auto* lowerHeading = new QLabel("Lower Bound", this);
    grid->addWidget(lowerHeading, 0, 6);
    lowerHeading->setVisible(m_fortran);
    auto* rows = new QButtonGroup(this);
    auto* cols = new QButtonGroup(this);
    for (int d = 0; d < kDims; ++d) {
        Line& l = m_lines[size_t(d)];
        const int extent = m_extent[size_t(d)];
        const int lb = m_last.lower[size_t(d)];
        l.name = new QLabel(QString("%1:").arg(d + 1), this);
        QString extentText = QString::number(extent);
        if (m_fortran && lb != 1 && extent > 0)
            extentText = QString("%1:%2").arg(lb).arg(lb + extent - 1);
        l.extent = new QLabel(extentText, this);
        l.row = new QRadioButton(this);
        l.col = new QRadioButton(this);
        name(l.row, 1094 + d);
        name(l.col, 1101 + d);
        l.row->setAccessibleName(QString("Row %1").arg(d + 1));
        l.col->setAccessibleName(QString("Col %1").arg(d + 1));
        rows->addButton(l.row, d);
        cols->addButton(l.col, d);
        l.start = new QSpinBox(this);
        l.length = new QSpinBox(this);
        name(l.start, startIds[d]);
        name(l.length, lengthIds[d]);
        l.lower = new QSpinBox(this);
        name(l.lower, 1115 + 2 * d);
        l.lower->setRange(-16383, 16383);
        l.lower->setValue(lb);
        QWidget* line[] = {l.name, l.extent, l.row, l.col, l.start, l.length, l.lower};
        for (int k = 0; k < 7; ++k) {
            grid->addWidget(line[k], d + 1, k);
            line[k]->setVisible(d < m_rank && (k < 6 || m_fortran));
        }
        refreshRanges(d, m_last.start[size_t(d)], m_last.length[size_t(d)]);
        // A new start keeps the length where it fits; a new lower bound
        // keeps the region and renumbers it.
        connect(l.start, &QSpinBox::valueChanged, this, [this, d](int shown) {
            Line& ln = m_lines[size_t(d)];
            if (!m_updating) refreshRanges(d, shown - ln.lower->value(), ln.length->value());
        });
        connect(l.lower, &QSpinBox::valueChanged, this, [this, d] {
            Line& ln = m_lines[size_t(d)];
            if (!m_updating)
                refreshRanges(d, ln.start->value() - m_shown.lower[size_t(d)], ln.length->value());
        });
        connect(l.row, &QRadioButton::clicked, this, [this, d] { chooseRow(d); });
        connect(l.col, &QRadioButton::clicked, this, [this, d] { chooseCol(d); });
    }
    if (m_rank > 0) {
        // The headings' mnemonics reach the first line's edits.
        qobject_cast<QLabel*>(grid->itemAtPosition(0, 4)->widget())->setBuddy(m_lines[0].start);
        qobject_cast<QLabel*>(grid->itemAtPosition(0, 5)->widget())->setBuddy(m_lines[0].length);
    }
    showDims();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    addButtons(layout, true);
}

// The spin ranges of a line from its lower bound and start: the start over
// the dimension's indices, the length up to the end of the dimension.
void RoiDialog::refreshRanges(int d, int start, int length) {
    Line& l = m_lines[size_t(d)];
    const int extent = std::max(1, m_extent[size_t(d)]);
    const int lb = l.lower->value();
    m_shown.lower[size_t(d)] = lb;
    start = std::clamp(start, 0, extent - 1);
    m_updating = true;
    l.start->setRange(lb, lb + extent - 1);
    l.start->setValue(start + lb);
    l.length->setRange(1, extent - start);
    l.length->setValue(std::clamp(length, 1, extent - start));
    m_updating = false;
}

void RoiDialog::showDims() {
    for (int d = 0; d < kDims; ++d) {
        Line& l = m_lines[size_t(d)];
        l.row->setChecked(d == m_shown.rowDim);
        l.col->setChecked(d == m_shown.colDim);
        l.row->setEnabled(m_rank > 1);
        l.length->setEnabled(d == m_shown.rowDim || d == m_shown.colDim);
    }
}

void RoiDialog::chooseRow(int d) {
    if (m_rank < 2) return;
    m_shown.rowDim = d;
    // The row takes the column's place: the column moves to the dimension
    // before (after, for the first).
    if (m_shown.colDim == d) m_shown.colDim = d == 0 ? 1 : d - 1;
    showDims();
}

void RoiDialog::chooseCol(int d) {
    m_shown.colDim = d;
    if (m_shown.rowDim == d && m_rank > 1) m_shown.rowDim = (d + 1) % m_rank;
    showDims();
}

bool RoiDialog::collect() {
    for (int d = 0; d < m_rank; ++d) {
        Line& l = m_lines[size_t(d)];
        for (QSpinBox* s : {l.start, l.length, l.lower})
            s->interpretText();
        m_shown.lower[size_t(d)] = l.lower->value();
        m_shown.start[size_t(d)] = l.start->value() - l.lower->value();
        m_shown.length[size_t(d)] = l.length->value();
    }
    return true;
}

void RoiDialog::applyChanges(CPlotrane2D&) {
    CArrayDoc* doc = document();
    if (!doc->currentArray() || m_rank == 0) return;
    // The document applies what differs from the array's region, the way
    // the dimension bar's moves are applied.
    CArrayDoc::RegionChoice choice;
    choice.rowDim = m_shown.rowDim;
    choice.colDim = m_shown.colDim;
    for (int d = 0; d < m_rank; ++d) {
        const size_t k = size_t(d);
        choice.start[k] = m_shown.start[k];
        choice.length[k] = m_shown.length[k];
        choice.lower[k] = m_shown.lower[k];
    }
    m_last = m_shown;
    if (doc->applyRegion(choice)) m_applied = true;
}

// ---------------------------------------------------------------------------
// Annotation

AnnotationDialog::AnnotationDialog(CArrayDoc* document, QWidget* parent)
    : AnnotationDialog(QString::fromStdString(document->annotation()), parent) {
    m_document = document;
    m_edit->setReadOnly(!document->options().saveAglAttr);
}

AnnotationDialog::AnnotationDialog(const QString& shown, QWidget* parent)
    : QDialog(parent), m_document(nullptr) {
    setWindowTitle("Annotation");
    m_edit = new QPlainTextEdit(this);
    name(m_edit, 1194);
    QString text = shown;
    text.remove('\r');
    m_edit->setPlainText(text);
    m_edit->setReadOnly(true);
    m_edit->moveCursor(QTextCursor::End);
    m_edit->ensureCursorVisible();
    m_edit->setMinimumSize(m_edit->fontMetrics().averageCharWidth() * 50,
                           m_edit->fontMetrics().lineSpacing() * 10);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AnnotationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AnnotationDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit, 1);
    layout->addWidget(buttons);
}

void AnnotationDialog::accept() {
    if (m_document && !m_edit->isReadOnly()) {
        std::string text = m_edit->toPlainText().toStdString();
        std::erase(text, '\r');
        if (text != m_document->annotation()) {
            m_document->setAnnotation(text);
            m_document->settingsChanged(true);
        }
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------
// Options

OptionsDialog::OptionsDialog(CArrayDoc* document, QWidget* parent)
    : QDialog(parent), m_document(document) {
    setWindowTitle("Options");
    const SettingsStore::Options& o = document->options();
    m_fill = new QLineEdit(shortest(o.fillValue), this);
    name(m_fill, 1193);
    auto* fillLabel = new QLabel("&Fill Value:", this);
    fillLabel->setBuddy(m_fill);
    auto* fillRow = new QHBoxLayout;
    fillRow->addWidget(fillLabel);
    fillRow->addWidget(m_fill, 1);

    m_save = checkBox("&Save Attributes", 1184, o.saveAglAttr, this);
    m_restore = checkBox("&Restore Attributes", 1188, o.restoreAglAttr, this);
    m_annot = checkBox("Show A&nnotation", 1189, o.showAglAnnot, this);
    m_tree = checkBox("Show &HDF Tree", 1186, o.showHdfTree, this);
    auto* agl = new QVBoxLayout;
    for (QCheckBox* b : {m_save, m_restore, m_annot})
        agl->addWidget(b);
    auto* hdf = new QVBoxLayout;
    hdf->addWidget(m_tree);
    hdf->addStretch();

    auto* saveCurrent = new QPushButton("Sa&ve Current", this);
    auto* restoreOriginal = new QPushButton("Res&tore Original", this);
    name(saveCurrent, 1179);
    name(restoreOriginal, 1191);
    for (QPushButton* b : {saveCurrent, restoreOriginal})
        b->setAutoDefault(false);
    connect(saveCurrent, &QPushButton::clicked, this,
            [this] { m_document->askSaveGraphDefaults(); });
    connect(restoreOriginal, &QPushButton::clicked, this,
            [this] { m_document->askRestoreFactoryDefaults(); });
    auto* graphDefaults = new QHBoxLayout;
    graphDefaults->addWidget(saveCurrent);
    graphDefaults->addWidget(restoreOriginal);
    graphDefaults->addStretch();

    auto* files = new QHBoxLayout;
    files->addWidget(group("AGL Files", agl, this), 1);
    files->addWidget(group("HDF Files", hdf, this), 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fillRow);
    layout->addLayout(files);
    layout->addWidget(group("Graph Settings", graphDefaults, this));
    layout->addWidget(buttons);
}

void OptionsDialog::accept() {
    bool ok = false;
    const double fill = QLocale::c().toDouble(m_fill->text().trimmed(), &ok);
    if (!ok || !std::isfinite(fill)) {
        m_document->messages().message(kNotANumber, MessageIcon::Exclamation);
        m_fill->setFocus();
        m_fill->selectAll();
        return;
    }
    SettingsStore::Options o = m_document->options();
    o.fillValue = fill;
    o.saveAglAttr = m_save->isChecked();
    o.restoreAglAttr = m_restore->isChecked();
    o.showAglAnnot = m_annot->isChecked();
    o.showHdfTree = m_tree->isChecked();
    m_document->setOptions(o);
    QDialog::accept();
}

// ---------------------------------------------------------------------------

namespace settings_dialogs {

namespace {
bool usable(CGraphView* view) {
    return view && view->document()->control();
}
} // namespace

void runGraph(CGraphView* view, QWidget* parent) {
    if (!usable(view)) return;
    switch (view->document()->currentGraphType()) {
    case CArrayDoc::HeightPlot:
        HeightPlotDialog(view, parent).exec();
        break;
    case CArrayDoc::ImageMap:
        ImageMapDialog(view, parent).exec();
        break;
    case CArrayDoc::VectorGraph:
        VectorPlotDialog(view, parent).exec();
        break;
    case CArrayDoc::PlaneView:
        PlaneViewDialog(view, parent).exec();
        break;
    default:
        break;
    }
}

void runZScale(CGraphView* view, QWidget* parent) {
    if (usable(view)) ZScaleDialog(view, parent).exec();
}

void runAxisRange(CGraphView* view, QWidget* parent) {
    if (!usable(view)) return;
    const int kind = view->document()->currentGraphType();
    if (kind == CArrayDoc::NoGraph || kind == CArrayDoc::ImageMap) return;
    AxisRangeDialog(view, kind == CArrayDoc::VectorGraph, parent).exec();
}

void runPaletteRange(CGraphView* view, QWidget* parent) {
    if (usable(view)) PaletteRangeDialog(view, parent).exec();
}

void runRegionOfInterest(CGraphView* view, QWidget* parent) {
    if (!usable(view) || !view->document()->currentArray()) return;
    RoiDialog dialog(view, parent);
    dialog.exec();
    // The zoom history follows a region chosen by hand.
    if (dialog.regionChanged()) view->document()->adoptZoomRegion();
}

void runAnnotation(CArrayDoc* document, QWidget* parent) {
    if (document && document->hasData()) AnnotationDialog(document, parent).exec();
}

void runOptions(CArrayDoc* document, QWidget* parent) {
    if (document) OptionsDialog(document, parent).exec();
}

} // namespace settings_dialogs
