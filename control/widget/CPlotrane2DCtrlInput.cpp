// CPlotrane2DCtrl's input side: mouse drags that move the camera, the wheel,
// the arrow keys that move the cursor, hover detection and the data tips,
// and selecting the element under a point through the render context's pick.
#include "CPlotrane2DCtrl.h"
#include "ControlTipText.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "aglArray.h"
#include "aglFilter.h"
#include "aglGraphView.h"
#include "aglPaletteBarObj.h"

using namespace plotrane;

namespace {

constexpr int kHoverPeriodMs = 100;
constexpr int kRestPeriodMs = 1000;
constexpr int kTipRadiusSquared = 400; // the tip goes when the mouse is 20 pixels away
constexpr long long kTipQuietSeconds = 2;

unsigned buttonsOf(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? aglView::kLeftButton : 0u) |
           (b & Qt::RightButton ? aglView::kRightButton : 0u);
}

} // namespace

double CPlotrane2DCtrl::now() const {
    if (m_clock) return m_clock();
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

unsigned CPlotrane2DCtrl::heldButtons() const {
    return buttonsOf(QApplication::mouseButtons());
}

// The camera's part of the window: the drag geometry divides by it (the
// view skips the camera arithmetic for sizes below one pixel).
void CPlotrane2DCtrl::graphArea(int& w, int& h) const {
    m_view->Camera().GetViewport(&w, &h);
}

// --- Tips --------------------------------------------------------------------

void CPlotrane2DCtrl::setTip(std::optional<std::string> text) {
    m_tip = std::move(text);
    m_view->Context().SetDataTip(m_tip ? m_tip->c_str() : nullptr);
    m_view->SetTipShown(m_tip.has_value());
}

void CPlotrane2DCtrl::removeTip() {
    if (!m_tip) return;
    setTip(std::nullopt);
    m_view->Redraw(false);
}

// --- Cursor -------------------------------------------------------------------

int64_t CPlotrane2DCtrl::cursorRow() const {
    return m_view->cursorRow();
}

int64_t CPlotrane2DCtrl::cursorColumn() const {
    return m_view->cursorColumn();
}

bool CPlotrane2DCtrl::setCursor(int64_t row, int64_t column) {
    aglGraphView& v = *m_view;
    int32_t c0, r0, nc, nr;
    v.planeWindow(c0, r0, nc, nr);
    row = std::clamp<int64_t>(row, r0, int64_t(r0) + std::max(nr, 1) - 1);
    column = std::clamp<int64_t>(column, c0, int64_t(c0) + std::max(nc, 1) - 1);
    const bool moved = row != v.cursorRow() || column != v.cursorColumn();
    if (moved) noteInteraction();
    v.setCursor(row, column);
    const int level = std::max(0, v.currentLevel());
    const aglFilter& f = v.filter(level);
    int rowStep = 1, columnStep = 1;
    {
        aglFilter::DataLock lock(f);
        rowStep = std::max(1, f.rowStep());
        columnStep = std::max(1, f.columnStep());
    }
    v.pauseRenderThread();
    v.boundGraph().SetCursorCell(int(row - r0), int(column - c0), rowStep, columnStep);
    v.wakeRenderThread();
    markCursorValue();
    if (v.currentLevel() == 2 && !v.Context().IsAccumulationComplete())
        v.setLevel(1, true);
    else
        v.Redraw(false);
    return moved;
}

void CPlotrane2DCtrl::markCursorValue() {
    // The palette bar points at the value under the cursor (for the vector
    // graph: its W column); drawing needs only single precision.
    if (m_values[DISPID_ShowPalette].toBool())
        m_view->paletteBar().SetCursorValue(float(m_view->valueAtCursor()));
}

void CPlotrane2DCtrl::applyPendingCursor() {
    const int64_t row = m_values[DISPID_Row].toInt();
    const int64_t column = m_values[DISPID_Col].toInt();
    if (row == cursorRow() && column == cursorColumn()) return;
    const bool moved = setCursor(row, column);
    // What was asked for becomes the cursor where it actually went.
    m_values[DISPID_Row] = Variant(int(cursorRow()));
    m_values[DISPID_Col] = Variant(int(cursorColumn()));
    if (moved && !m_eventsFrozen) emit RowColChanged(int32_t(cursorRow()), int32_t(cursorColumn()));
}

bool CPlotrane2DCtrl::moveCursorByKey(int key, bool shift) {
    int32_t c0, r0, nc, nr;
    m_view->planeWindow(c0, r0, nc, nr);
    const int64_t rowStep = shift ? nr / 10 : 1;
    const int64_t columnStep = shift ? nc / 10 : 1;
    int64_t row = cursorRow(), column = cursorColumn();
    switch (key) {
    case Qt::Key_Left:
        column -= columnStep;
        break;
    case Qt::Key_Right:
        column += columnStep;
        break;
    case Qt::Key_Up:
        row += rowStep;
        break;
    case Qt::Key_Down:
        row -= rowStep;
        break;
    default:
        return false;
    }
    if (!setCursor(row, column)) return true;
    m_values[DISPID_Row] = Variant(int(cursorRow()));
    m_values[DISPID_Col] = Variant(int(cursorColumn()));
    m_modified = true;
    if (!m_eventsFrozen) emit RowColChanged(int32_t(cursorRow()), int32_t(cursorColumn()));
    return true;
}

// --- Pick and selection -----------------------------------------------------------

bool CPlotrane2DCtrl::pickAt(int x, int y, Picked& picked) {
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
        if (v.graphType() == 3) column = int64_t(cs) + f.sourceColumn(int(std::trunc(gx)));
        picked.row = std::clamp<int64_t>(row, 0, a.rowCount() - 1);
        picked.column = std::clamp<int64_t>(column, 0, a.colCount() - 1);
    }
    if (level >= 0) v.setLevel(level, false);
    return true;
}

bool CPlotrane2DCtrl::selectAtPoint(int x, int y) {
    if (!m_dataBound || !m_values[DISPID_DataSelectEnable].toBool() || m_view->SpinMode())
        return false;
    Picked p;
    if (!pickAt(x, y, p)) return false;
    if (p.column < 0) return false;
    const aglArray& a = m_view->array();
    const bool showTip = m_values[DISPID_ShowDataTip].toBool();
    const bool integer = a.numericClass() != AGL_CLASS_FLOAT;
    TipArray t;
    t.fortran = a.language() == AGL_LANG_FORTRAN;
    t.integer = integer;
    t.twoDimensional = a.rowCount() > 1 && a.colCount() > 1;
    t.rowLowerBound = a.lowerBound(a.rowDim());
    t.columnLowerBound = a.lowerBound(a.colDim());
    std::optional<std::string> text = m_tip;
    if (p.row < 0) {
        // The palette bar: the value at that place of the palette.
        if (!showTip) return true;
        double lo = 0.0, hi = 0.0;
        m_view->paletteRange(lo, hi);
        text = paletteTipText(integer, lo + (hi - lo) * double(p.column) / 255.0);
    } else if (m_view->graphType() == 3) {
        std::vector<double> values;
        int32_t c0, r0, nc, nr;
        m_view->planeWindow(c0, r0, nc, nr);
        for (int c = 0; c < aglFilter::kMaxComponents; ++c) {
            const int source = m_view->component(c);
            if (source >= 0 && source < nc) values.push_back(a.value(int64_t(c0) + source, p.row));
        }
        double w[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < values.size(); ++i)
            w[i] = values[i];
        if (!m_eventsFrozen) emit VDataSelect(int32_t(p.row), w[0], w[1], w[2], w[3]);
        if (!showTip) return true;
        if (auto v = vectorTipText(t, p.row, values)) text = *v;
    } else {
        // The exact value of the array, not the grid's single precision.
        const TipValue value = tipValue(a.value(p.column, p.row));
        if (value.valid && !m_eventsFrozen)
            emit DataSelect(int32_t(p.row), int32_t(p.column), value.value);
        if (!showTip) return true;
        text = scalarTipText(t, p.row, p.column, value.value);
    }
    setTip(text);
    m_view->Redraw(false);
    return true;
}

// --- Mouse --------------------------------------------------------------------

void CPlotrane2DCtrl::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
    const QPoint p = e->position().toPoint();
    removeTip();
    if (e->button() == Qt::LeftButton) {
        // Frames drawn before the press are not reported.
        m_view->markFramesSeen();
        m_view->ButtonDown(aglView::kLeftButton, p.x(), p.y());
    } else if (e->button() == Qt::RightButton) {
        m_view->ButtonDown(aglView::kRightButton, p.x(), p.y());
    }
    m_rightClick = e->button() == Qt::RightButton && !(e->modifiers() & Qt::ShiftModifier);
    m_rightPress = p;
    m_mouseX = p.x();
    m_mouseY = p.y();
}

void CPlotrane2DCtrl::mouseReleaseEvent(QMouseEvent* e) {
    QWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) m_view->ButtonUp(aglView::kLeftButton);
    if (e->button() != Qt::RightButton) return;
    m_view->ButtonUp(aglView::kRightButton);
    // The menu comes with the release, as the window system's context-menu
    // message does, and only for a click: not after a drag, not with Shift.
    const QPoint p = e->position().toPoint();
    const bool click = m_rightClick && !(e->modifiers() & Qt::ShiftModifier) &&
                       (p - m_rightPress).manhattanLength() < QApplication::startDragDistance();
    m_rightClick = false;
    if (click) showContextMenu(mapToGlobal(p));
}

void CPlotrane2DCtrl::contextMenuEvent(QContextMenuEvent* e) {
    // Mouse requests are served by the right button's release (above); the
    // menu key opens the menu at the window's centre.
    e->accept();
    if (e->reason() != QContextMenuEvent::Mouse) showContextMenu(mapToGlobal(rect().center()));
}

void CPlotrane2DCtrl::showContextMenu(const QPoint& globalPos) {
    QPointer<QMenu> menu = new QMenu(this);
    QAction* properties = menu->addAction("&Properties...");
    QAction* about = menu->addAction("&About Plotrane2D Control...");
    QAction* chosen = menu->exec(globalPos);
    if (!menu) return; // the control went while the menu was open
    delete menu.data();
    // The dialogs run after the menu has closed.
    if (chosen == properties)
        showPropertyPages();
    else if (chosen == about)
        showAboutBox();
}

void CPlotrane2DCtrl::mouseMoveEvent(QMouseEvent* e) {
    QWidget::mouseMoveEvent(e);
    const QPoint p = e->position().toPoint();
    const unsigned buttons = buttonsOf(e->buttons());
    // Drags draw the coarsest grid.
    if (buttons && m_view->currentLevel() > 0) m_view->stepLevel(0);
    // A right drag that went back to where it began is no click.
    if ((e->buttons() & Qt::RightButton) &&
        (p - m_rightPress).manhattanLength() >= QApplication::startDragDistance())
        m_rightClick = false;
    m_mouseX = p.x();
    m_mouseY = p.y();
    m_mouseInside = true;
    ++m_movesSinceTip;
    if (!m_cycling && m_timer.interval() != kHoverPeriodMs) m_timer.setInterval(kHoverPeriodMs);
    int w = 0, h = 0;
    graphArea(w, h);
    const int r = m_view->MouseMove(p.x(), p.y(), buttons,
                                    e->modifiers().testFlag(Qt::ShiftModifier), w, h, now());
    if (buttons) redraw();
    if (r == 1) {
        m_tipX = p.x();
        m_tipY = p.y();
        selectAtPoint(p.x(), p.y());
    } else if (m_values[DISPID_ShowDataTip].toBool() && m_tip) {
        const int dx = p.x() - m_tipX, dy = p.y() - m_tipY;
        if (r == -1 || dx * dx + dy * dy > kTipRadiusSquared) removeTip();
    }
}

void CPlotrane2DCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    QWidget::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    Picked picked;
    if (selectAtPoint(p.x(), p.y()) && pickAt(p.x(), p.y(), picked) && picked.row >= 0 &&
        (picked.row != cursorRow() || picked.column != cursorColumn())) {
        m_values[DISPID_Row] = Variant(int(picked.row));
        m_values[DISPID_Col] = Variant(int(picked.column));
    }
    removeTip();
    m_movesSinceTip = 0; // no hover tip until the mouse moves
    redraw();
}

void CPlotrane2DCtrl::wheelEvent(QWheelEvent* e) {
    // The wheel moves the camera nearer (forward) or away, a tenth of the
    // distance per notch.
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0.0 || !std::isfinite(notches)) return QWidget::wheelEvent(e);
    aglCameraObj& cam = m_view->Camera();
    const double d = double(cam.Distance()) * std::pow(0.9, notches);
    if (std::isfinite(d) && d > 0.0 && d < 3e38) cam.SetDistance(float(d));
    noteInteraction();
    removeTip();
    redraw();
    e->accept();
}

void CPlotrane2DCtrl::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    m_mouseInside = false;
    removeTip();
}

// --- Keys -------------------------------------------------------------------------

bool CPlotrane2DCtrl::event(QEvent* e) {
    // Arrow keys are the control's before the container can use them.
    if (e->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
            key == Qt::Key_Down) {
            e->accept();
            return true;
        }
    }
    return QWidget::event(e);
}

void CPlotrane2DCtrl::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right && key != Qt::Key_Up && key != Qt::Key_Down)
        return QWidget::keyPressEvent(e);
    removeTip();
    m_movesSinceTip = 0; // no hover tip until the mouse moves
    moveCursorByKey(key, e->modifiers().testFlag(Qt::ShiftModifier));
    e->accept();
}

// --- The timer's hover step ---------------------------------------------------

void CPlotrane2DCtrl::hoverTick() {
    if (heldButtons() || !m_mouseInside || m_movesSinceTip == 0) return;
    int w = 0, h = 0;
    graphArea(w, h);
    if (m_view->MouseMove(m_mouseX, m_mouseY, 0, false, w, h, now()) != 1) return;
    const long long t = (long long)std::floor(now());
    if (m_tipTime != 0 && t - m_tipTime < kTipQuietSeconds) return;
    m_tipX = m_mouseX;
    m_tipY = m_mouseY;
    m_tipTime = t;
    m_movesSinceTip = 0;
    const bool found = selectAtPoint(m_mouseX, m_mouseY);
    if (!m_cycling) m_timer.setInterval(kRestPeriodMs);
    if (!found) removeTip();
}
