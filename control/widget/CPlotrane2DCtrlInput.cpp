// CPlotrane2DCtrl's input side: mouse drags that move the camera, the wheel,
// the arrow keys that move the cursor, hover detection and the data tips
// (the model picks, selects and words the tip), and the context menu.
#include "CPlotrane2DCtrl.h"
#include "CPlotrane2DCtrlPrivate.h"

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

#include "aglCameraObj.h"
#include "aglGraphView.h"

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

double CPlotrane2DCtrl::Private::now() const {
    if (clock) return clock();
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

unsigned CPlotrane2DCtrl::Private::heldButtons() {
    return buttonsOf(QApplication::mouseButtons());
}

// The view skips the camera arithmetic for sizes below one pixel.
void CPlotrane2DCtrl::Private::graphArea(int& w, int& h) {
    model.engine().Camera().GetViewport(&w, &h);
}

bool CPlotrane2DCtrl::Private::moveCursorByKey(int key, bool shift) {
    int32_t c0, r0, nc, nr;
    model.engine().planeWindow(c0, r0, nc, nr);
    const int64_t rowStep = shift ? nr / 10 : 1;
    const int64_t columnStep = shift ? nc / 10 : 1;
    int64_t row = model.cursorRow(), column = model.cursorColumn();
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
    model.moveCursorAsUser(row, column);
    return true;
}

// --- Mouse --------------------------------------------------------------------

void CPlotrane2DCtrl::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
    const QPoint p = e->position().toPoint();
    d->model.removeTip();
    if (e->button() == Qt::LeftButton) {
        // Frames drawn before the press are not reported.
        d->model.engine().markFramesSeen();
        d->model.engine().ButtonDown(aglView::kLeftButton, p.x(), p.y());
    } else if (e->button() == Qt::RightButton) {
        d->model.engine().ButtonDown(aglView::kRightButton, p.x(), p.y());
    }
    d->rightClick = e->button() == Qt::RightButton && !(e->modifiers() & Qt::ShiftModifier);
    d->rightPress = p;
    d->mouseX = p.x();
    d->mouseY = p.y();
}

void CPlotrane2DCtrl::mouseReleaseEvent(QMouseEvent* e) {
    QWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) d->model.engine().ButtonUp(aglView::kLeftButton);
    if (e->button() != Qt::RightButton) return;
    d->model.engine().ButtonUp(aglView::kRightButton);
    // The menu comes with the release, as the window system's context-menu
    // message does, and only for a click: not after a drag, not with Shift.
    const QPoint p = e->position().toPoint();
    const bool click = d->rightClick && !(e->modifiers() & Qt::ShiftModifier) &&
                       (p - d->rightPress).manhattanLength() < QApplication::startDragDistance();
    d->rightClick = false;
    if (click) d->showContextMenu(mapToGlobal(p));
}

void CPlotrane2DCtrl::contextMenuEvent(QContextMenuEvent* e) {
    // Mouse requests are served by the right button's release (above); the
    // menu key opens the menu at the window's centre.
    e->accept();
    if (e->reason() != QContextMenuEvent::Mouse) d->showContextMenu(mapToGlobal(rect().center()));
}

void CPlotrane2DCtrl::Private::showContextMenu(const QPoint& globalPos) {
    QPointer<QMenu> menu = new QMenu(&q);
    QAction* properties = menu->addAction("&Properties...");
    QAction* about = menu->addAction("&About Plotrane2D Control...");
    QAction* chosen = menu->exec(globalPos);
    if (!menu) return; // the control went while the menu was open
    delete menu.data();
    // The dialogs run after the menu has closed.
    if (chosen == properties)
        q.showPropertyPages();
    else if (chosen == about)
        q.showAboutBox();
}

void CPlotrane2DCtrl::mouseMoveEvent(QMouseEvent* e) {
    QWidget::mouseMoveEvent(e);
    const QPoint p = e->position().toPoint();
    const unsigned buttons = buttonsOf(e->buttons());
    // Drags draw the coarsest grid.
    if (buttons && d->model.engine().currentLevel() > 0) d->model.engine().stepLevel(0);
    // A right drag that went back to where it began is no click.
    if ((e->buttons() & Qt::RightButton) &&
        (p - d->rightPress).manhattanLength() >= QApplication::startDragDistance())
        d->rightClick = false;
    d->mouseX = p.x();
    d->mouseY = p.y();
    d->mouseInside = true;
    ++d->movesSinceTip;
    if (!d->model.isCycling() && d->timer.interval() != kHoverPeriodMs)
        d->timer.setInterval(kHoverPeriodMs);
    int w = 0, h = 0;
    d->graphArea(w, h);
    const int r = d->model.engine().MouseMove(
        p.x(), p.y(), buttons, e->modifiers().testFlag(Qt::ShiftModifier), w, h, d->now());
    if (buttons) d->model.redraw();
    if (r == 1) {
        d->tipX = p.x();
        d->tipY = p.y();
        d->model.selectAtPoint(p.x(), p.y());
    } else if (d->model.GetProperty(DISPID_ShowDataTip).toBool() && d->model.tipShowing()) {
        const int dx = p.x() - d->tipX, dy = p.y() - d->tipY;
        if (r == -1 || dx * dx + dy * dy > kTipRadiusSquared) d->model.removeTip();
    }
}

void CPlotrane2DCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    QWidget::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    ControlModel::Picked picked;
    if (d->model.selectAtPoint(p.x(), p.y()) && d->model.pickAt(p.x(), p.y(), picked) &&
        picked.row >= 0 &&
        (picked.row != d->model.cursorRow() || picked.column != d->model.cursorColumn()))
        d->model.setPendingCursor(picked.row, picked.column);
    d->model.removeTip();
    d->movesSinceTip = 0; // no hover tip until the mouse moves
    d->model.redraw();
}

void CPlotrane2DCtrl::wheelEvent(QWheelEvent* e) {
    // The wheel moves the camera nearer (forward) or away, a tenth of the
    // distance per notch.
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0.0 || !std::isfinite(notches)) return QWidget::wheelEvent(e);
    aglCameraObj& cam = d->model.engine().Camera();
    const double distance = double(cam.Distance()) * std::pow(0.9, notches);
    if (std::isfinite(distance) && distance > 0.0 && distance < 3e38)
        cam.SetDistance(float(distance));
    d->model.noteInteraction();
    d->model.removeTip();
    d->model.redraw();
    e->accept();
}

void CPlotrane2DCtrl::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    d->mouseInside = false;
    d->model.removeTip();
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
    d->model.removeTip();
    d->movesSinceTip = 0; // no hover tip until the mouse moves
    d->moveCursorByKey(key, e->modifiers().testFlag(Qt::ShiftModifier));
    e->accept();
}

// --- The timer's hover step ---------------------------------------------------

void CPlotrane2DCtrl::Private::hoverTick() {
    if (heldButtons() || !mouseInside || movesSinceTip == 0) return;
    int w = 0, h = 0;
    graphArea(w, h);
    if (model.engine().MouseMove(mouseX, mouseY, 0, false, w, h, now()) != 1) return;
    const long long t = (long long)std::floor(now());
    if (tipTime != 0 && t - tipTime < kTipQuietSeconds) return;
    tipX = mouseX;
    tipY = mouseY;
    tipTime = t;
    movesSinceTip = 0;
    const bool found = model.selectAtPoint(mouseX, mouseY);
    if (!model.isCycling()) timer.setInterval(kRestPeriodMs);
    if (!found) model.removeTip();
}
