// CPlotrane2DCtrl: the widget over the model (painting, sizes, the timer,
// property pages and About box). The input side is in
// CPlotrane2DCtrlInput.cpp, the library's factory in ControlFactory.cpp.
#include "CPlotrane2DCtrl.h"
#include "CPlotrane2DCtrlPrivate.h"
#include "PropertyPages.h"

#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

using namespace plotrane;

CPlotrane2DCtrl::Private::Private(CPlotrane2DCtrl& widget, int renderStartDelayMs,
                                  int antiAliasQuietMs)
    : q(widget), model(std::max(1, widget.width()), std::max(1, widget.height()),
                       renderStartDelayMs, antiAliasQuietMs) {}

CPlotrane2DCtrl::CPlotrane2DCtrl(QWidget* parent, int renderStartDelayMs, int antiAliasQuietMs)
    : QWidget(parent), d(std::make_unique<Private>(*this, renderStartDelayMs, antiAliasQuietMs)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);          // moves without a button: hover tips
    setFocusPolicy(Qt::StrongFocus); // arrow keys move the cursor

    // The model's events are the control's signals.
    ControlEvents events;
    events.info = [this] { emit Info(); };
    events.dataSelect = [this](int32_t r, int32_t c, double v) { emit DataSelect(r, c, v); };
    events.vDataSelect = [this](int32_t i, double x, double y, double z, double w) {
        emit VDataSelect(i, x, y, z, w);
    };
    events.rowColChanged = [this](int32_t r, int32_t c) { emit RowColChanged(r, c); };
    events.rndrPass = [this](float t, int32_t mode, int32_t res, int32_t pass, bool done,
                             int32_t reserved) {
        emit RndrPass(t, mode, res, pass, done, reserved);
    };
    events.fltrPass = [this](int16_t level, int16_t component, double lo, double hi) {
        emit FltrPass(level, component, lo, hi);
    };
    events.metafileUpdate = [this](int16_t status, int32_t value) {
        emit MetafileUpdate(status, value);
    };
    d->model.setEvents(std::move(events));

    ControlHost host;
    host.repaint = [this] { QWidget::update(); };
    host.frameArrived = [this] {
        d->frameArrived = true;
        QWidget::update();
    };
    host.tickPeriodChanged = [this](int ms) { d->timer.setInterval(ms); };
    host.windowSize = [this](int& w, int& h) {
        w = width();
        h = height();
    };
    host.windowId = [this] { return int32_t(internalWinId()); };
    host.propertyChanged = [this](int32_t dispid) { emit PropertyChanged(dispid); };
    host.aboutBox = [this] { showAboutBox(); };
    d->model.setHost(std::move(host));

    // The one-second timer drives level-of-detail steps, cycling and tips.
    connect(&d->timer, &QTimer::timeout, this, &CPlotrane2DCtrl::tick);
    d->timer.start(d->model.tickPeriodMs());
    // Until the host binds data the render thread has nothing to draw: it
    // gets the GL ready for the first frames meanwhile.
    d->model.warmUp();
}

CPlotrane2DCtrl::~CPlotrane2DCtrl() {
    d->timer.stop();
}

ControlModel& CPlotrane2DCtrl::model() {
    return d->model;
}

Variant CPlotrane2DCtrl::GetProperty(int dispid) {
    return d->model.GetProperty(dispid);
}

DispatchStatus CPlotrane2DCtrl::SetProperty(int dispid, const Variant& value) {
    return d->model.SetProperty(dispid, value);
}

Variant CPlotrane2DCtrl::Invoke(int dispid, const std::vector<Variant>& args) {
    return d->model.Invoke(dispid, args);
}

void CPlotrane2DCtrl::tick() {
    if (d->model.tick()) d->hoverTick();
}

double CPlotrane2DCtrl::timerPeriod() const {
    return d->timer.interval() / 1000.0;
}

QImage CPlotrane2DCtrl::currentFrame() const {
    return d->model.currentFrame();
}

void CPlotrane2DCtrl::setClock(std::function<double()> clock) {
    d->clock = std::move(clock);
}

// --- Painting ---------------------------------------------------------------

void CPlotrane2DCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d->model.resize(width(), height());
}

void CPlotrane2DCtrl::paintEvent(QPaintEvent*) {
    d->model.paint(std::exchange(d->frameArrived, false));
    QPainter painter(this);
    const uint32_t c = uint32_t(d->model.GetProperty(DISPID_BackColor).toInt());
    const QColor back(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    // Only what the frame leaves uncovered gets the background: filling the
    // whole control first costs as much again as the frame on every paint.
    QRegion uncovered(rect());
    const QImage frame = d->model.currentFrame();
    if (!frame.isNull()) {
        painter.drawImage(0, 0, frame);
        uncovered -= QRect(QPoint(0, 0), frame.size());
    }
    for (const QRect& r : uncovered)
        painter.fillRect(r, back);
}

// --- Property pages and About box -------------------------------------------

// The modal windows are the control's children on the heap: a host that
// destroys the control while one is open (an automation call, a closed
// document) takes the window with it, and exec() returns without touching
// the control again.
bool CPlotrane2DCtrl::showPropertyPages() {
    QPointer<CPlotrane2DPropertySheet> sheet = new CPlotrane2DPropertySheet(*this, this);
    const bool ok = sheet->exec() == QDialog::Accepted;
    delete sheet.data(); // null when it went with the control
    return ok;
}

void CPlotrane2DCtrl::showAboutBox() {
    QPointer<CPlotrane2DAboutBox> about = new CPlotrane2DAboutBox(this);
    about->exec();
    delete about.data();
}
