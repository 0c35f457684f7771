// The z scale, range and region-of-interest dialogs (see SettingsDialogs.h).
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
