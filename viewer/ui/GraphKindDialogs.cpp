// The graph dialogs of the four graph kinds: height plot, plane view, image
// map and vector plot (see SettingsDialogs.h).
#include "SettingsDialogs.h"

#include "SettingsDialogParts.h"

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
using namespace settings_dialog_parts;

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
