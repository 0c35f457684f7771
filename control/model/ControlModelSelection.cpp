// ControlModel's cursor, selection and data tips: moving the cursor, picking
// the element under a point through the render context, DataSelect and
// VDataSelect with the array's exact values, and the tip text.
#include "ControlModel.h"
#include "ControlTipText.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglGraphView.h"
#include "aglPaletteBarObj.h"
#include "aglRenderContext.h"

using namespace plotrane;

// --- Tips --------------------------------------------------------------------

void ControlModel::setTip(std::optional<std::string> text) {
    m_tip = std::move(text);
    m_view->Context().SetDataTip(m_tip ? m_tip->c_str() : nullptr);
    m_view->SetTipShown(m_tip.has_value());
}

void ControlModel::removeTip() {
    if (!m_tip) return;
    setTip(std::nullopt);
    m_view->Redraw(false);
}

// --- Cursor -------------------------------------------------------------------

int64_t ControlModel::cursorRow() const {
    return m_view->cursorRow();
}

int64_t ControlModel::cursorColumn() const {
    return m_view->cursorColumn();
}

bool ControlModel::setCursor(int64_t row, int64_t column) {
    aglGraphView& v = *m_view;
    int32_t c0, r0, nc, nr;
    v.planeWindow(c0, r0, nc, nr);
    row = std::clamp<int64_t>(row, r0, int64_t(r0) + std::max(nr, 1) - 1);
    column = std::clamp<int64_t>(column, c0, int64_t(c0) + std::max(nc, 1) - 1);
    const bool moved = row != v.cursorRow() || column != v.cursorColumn();
    if (moved) noteInteraction();
    v.setCursor(row, column);
    // Neither the frame being drawn nor a filter pass is waited for: the
    // graph takes the cell at its next frame.
    const int level = std::max(0, v.currentLevel());
    const aglFilter& f = v.filter(level);
    v.boundGraph().SetCursorCell(int(row - r0), int(column - c0), std::max(1, f.rowStep()),
                                 std::max(1, f.columnStep()));
    markCursorValue();
    if (v.currentLevel() == 2 && !v.Context().IsAccumulationComplete())
        v.setLevel(1, true);
    else
        v.Redraw(false);
    return moved;
}

void ControlModel::markCursorValue() {
    // The palette bar points at the value under the cursor (for the vector
    // graph: its W column); drawing needs only single precision.
    if (stored(DISPID_ShowPalette).toBool())
        m_view->paletteBar().SetCursorValue(float(m_view->valueAtCursor()));
}

void ControlModel::setPendingCursor(int64_t row, int64_t column) {
    m_values[DISPID_Row] = Variant(int(row));
    m_values[DISPID_Col] = Variant(int(column));
}

void ControlModel::applyPendingCursor() {
    const int64_t row = stored(DISPID_Row).toInt();
    const int64_t column = stored(DISPID_Col).toInt();
    if (row == cursorRow() && column == cursorColumn()) return;
    const bool moved = setCursor(row, column);
    // What was asked for becomes the cursor where it actually went.
    setPendingCursor(cursorRow(), cursorColumn());
    if (moved && !m_eventsFrozen && m_events.rowColChanged)
        m_events.rowColChanged(int32_t(cursorRow()), int32_t(cursorColumn()));
}

void ControlModel::moveCursorAsUser(int64_t row, int64_t column) {
    if (!setCursor(row, column)) return;
    setPendingCursor(cursorRow(), cursorColumn());
    m_modified = true;
    if (!m_eventsFrozen && m_events.rowColChanged)
        m_events.rowColChanged(int32_t(cursorRow()), int32_t(cursorColumn()));
}

// --- Pick and selection -----------------------------------------------------------

bool ControlModel::pickAt(int x, int y, Picked& picked) {
    picked = {};
    aglGraphView& v = *m_view;
    // A paused or stopped render thread answers no pick: never wait for it.
    const ThreadState state = v.Context().State();
    if (state == ThreadState::NotStarted || state == ThreadState::Ended ||
        v.Context().Command() == ThreadCommand::Pause)
        return false;
    if (x < 0 || y < 0 || x >= width() || y >= height()) return true; // outside: nothing
    uint8_t rgba[4] = {0, 0, 0, 0};
    const int level = v.currentLevel();
    if (v.Pick(x, y, rgba) != 0) {
        if (level >= 0) v.setLevel(level, false);
        removeTip();
        return false;
    }
    const aglGraphObj& g = v.boundGraph();
    int id = 0;
    double gy = 0.0, gx = 0.0;
    g.DecodePick(rgba, &id, &gy, &gx);
    if (id == aglPaletteBarObj::kPickId) {
        picked.row = -1;
        picked.column = rgba[0];
    } else if (id == g.PickId() && g.GetDataSource()) {
        // The grid's shape, steps and window are read under its lock; a grid
        // that is not the one the pick frame was drawn from (another level,
        // a new binding) gives nothing rather than another grid's sample.
        const aglFilter& f = *g.GetDataSource();
        aglFilter::DataLock lock(f);
        if (lock.rows() != g.gridHeight() || lock.columns() != g.gridWidth() || gy < 0.0 ||
            gx < 0.0 || gy >= lock.rows() || gx >= lock.columns())
            return true;
        int cs, rs, cc, rc;
        f.window(cs, rs, cc, rc);
        const aglArray& a = v.array();
        int64_t row = int64_t(std::trunc(f.rowStep() * gy + rs + 0.5));
        int64_t column = int64_t(std::trunc(f.columnStep() * gx + cs + 0.5));
        if (v.graphType() == value(GraphType::VectorGraph))
            column = int64_t(cs) + f.sourceColumn(int(std::trunc(gx)));
        picked.row = std::clamp<int64_t>(row, 0, a.rowCount() - 1);
        picked.column = std::clamp<int64_t>(column, 0, a.colCount() - 1);
    }
    if (level >= 0) v.setLevel(level, false);
    return true;
}

bool ControlModel::selectAtPoint(int x, int y) {
    if (!m_dataBound || !stored(DISPID_DataSelectEnable).toBool() || m_view->SpinMode())
        return false;
    Picked p;
    if (!pickAt(x, y, p)) return false;
    if (p.column < 0) return false;
    const aglArray& a = m_view->array();
    const bool showTip = stored(DISPID_ShowDataTip).toBool();
    const bool integer = a.numericClass() != AGL_CLASS_FLOAT;
    TipArray t;
    t.fortran = a.language() == AGL_LANG_FORTRAN;
    t.integer = integer;
    t.twoDimensional = a.rowCount() > 1 && a.colCount() > 1;
    t.rowLowerBound = a.lowerBound(a.rowDim());
    t.columnLowerBound = a.lowerBound(a.colDim());
    std::optional<std::string> text = m_tip;
    const bool fire = !m_eventsFrozen;
    if (p.row < 0) {
        // The palette bar: the value at that place of the palette.
        if (!showTip) return true;
        double lo = 0.0, hi = 0.0;
        m_view->paletteRange(lo, hi);
        text = paletteTipText(integer, lo + (hi - lo) * double(p.column) / 255.0);
    } else if (m_view->graphType() == value(GraphType::VectorGraph)) {
        std::vector<double> values;
        int32_t c0, r0, nc, nr;
        m_view->planeWindow(c0, r0, nc, nr);
        for (int c = 0; c < aglFilter::kMaxComponents; ++c) {
            const int source = m_view->component(c);
            if (source >= 0 && source < nc) values.push_back(a.value(int64_t(c0) + source, p.row));
        }
        double w[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < values.size() && i < 4; ++i)
            w[i] = values[i];
        if (fire && m_events.vDataSelect)
            m_events.vDataSelect(int32_t(p.row), w[0], w[1], w[2], w[3]);
        if (!showTip) return true;
        if (auto v = vectorTipText(t, p.row, values)) text = *v;
    } else {
        // The exact value of the array, not the grid's single precision.
        const TipValue tv = tipValue(a.value(p.column, p.row));
        if (tv.valid && fire && m_events.dataSelect)
            m_events.dataSelect(int32_t(p.row), int32_t(p.column), tv.value);
        if (!showTip) return true;
        text = scalarTipText(t, p.row, p.column, tv.value);
    }
    setTip(text);
    m_view->Redraw(false);
    return true;
}
