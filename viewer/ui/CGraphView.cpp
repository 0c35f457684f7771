#include "CGraphView.h"

#include "CArrayDoc.h"
#include "MessageSink.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>

using namespace plotrane;

namespace {

constexpr const char* kCannotLoad = "Fatal Error!\n\nCan't load Plotrane2D ActiveX control!";

std::string outOfDateMessage(int major, int minor) {
    return "Fatal Error!\n\nPlotrane2D ActiveX control out of date.\nVersion is: " +
           std::to_string(major) + "." + std::to_string(minor) + ".\nNeed version " +
           std::to_string(CPlotrane2DView::kNeedMajor) + "." +
           std::to_string(CPlotrane2DView::kNeedMinor) + " or higher.";
}

} // namespace

CPlotrane2DView::ControlMaker CPlotrane2DView::libraryControl() {
    return [](QWidget* parent) { return plotrane::createControl(kPlotrane2DClassId, parent); };
}

CPlotrane2DView::CPlotrane2DView(CArrayDoc* document, QWidget* parent, const ControlMaker& maker)
    : QWidget(parent), m_document(document) {
    setObjectName("graphView");
    // The control covers the view: nothing to erase underneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives the graph the keyboard focus (Copy then copies the
    // graph's picture); tabbing does not, so it never takes the focus at
    // start-up.
    setFocusPolicy(Qt::ClickFocus);
    createControl(maker);
    document->addView(this);
}

CPlotrane2DView::~CPlotrane2DView() {
    m_document->removeView(this);
    m_created = false;
    delete m_controlWidget;
}

void CPlotrane2DView::createControl(const ControlMaker& maker) {
    ControlInstance made = maker ? maker(this) : ControlInstance{};
    if (!made || !made.dispatch) {
        delete made.widget;
        m_document->messages().message(kCannotLoad, MessageIcon::Error);
        return;
    }
    m_controlWidget = made.widget;
    m_controlWidget->setParent(this);
    m_controlWidget->setObjectName(QString("control%1").arg(kControlId));
    m_controlWidget->setGeometry(rect());
    m_wrapper = std::make_unique<CPlotrane2D>(made.dispatch);
    m_wrapper->setBool(DISPID_ShowPalette, false);
    m_wrapper->setShort(DISPID_GraphType, GraphType::Plain);

    const int major = m_wrapper->getInt(DISPID_MajorVersion);
    const int minor = m_wrapper->getInt(DISPID_MinorVersion);
    if (major < kNeedMajor || (major == kNeedMajor && minor < kNeedMinor)) {
        m_document->messages().message(outOfDateMessage(major, minor), MessageIcon::Error);
        failControl();
        return;
    }

    // The event sink: the control's events by name and signature. A control
    // without one of them simply never calls it.
    QObject* c = m_controlWidget;
    connect(c, SIGNAL(RowColChanged(int32_t, int32_t)), this,
            SLOT(onRowColChanged(int32_t, int32_t)));
    connect(c, SIGNAL(RndrPass(float, int32_t, int32_t, int32_t, bool, int32_t)), this,
            SLOT(onRndrPass(float, int32_t, int32_t, int32_t, bool, int32_t)));
    connect(c, SIGNAL(FltrPass(int16_t, int16_t, double, double)), this,
            SLOT(onFltrPass(int16_t, int16_t, double, double)));
    connect(c, SIGNAL(MetafileUpdate(int16_t, int32_t)), this,
            SLOT(onMetafileUpdate(int16_t, int32_t)));
    connect(c, SIGNAL(PropertyChanged(int32_t)), this, SLOT(onPropertyChanged(int32_t)));
    m_controlWidget->show();
    m_created = true;
}

void CPlotrane2DView::failControl() {
    m_wrapper.reset();
    delete m_controlWidget;
    m_controlWidget = nullptr;
    m_created = false;
}

void CPlotrane2DView::passRange(int component, double& low, double& high) const {
    if (component < 0 || component >= int(m_passLow.size())) return;
    low = m_passLow[size_t(component)];
    high = m_passHigh[size_t(component)];
}

QImage CPlotrane2DView::currentFrame() const {
    QWidget* w = controlWidget();
    return w ? w->grab().toImage() : QImage();
}

void CPlotrane2DView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_controlWidget) m_controlWidget->resize(event->size());
}

void CPlotrane2DView::paintEvent(QPaintEvent*) {
    // Seen only where there is no control.
    if (m_controlWidget) return;
    QPainter(this).fillRect(rect(), palette().window());
}

void CPlotrane2DView::onRowColChanged(int32_t row, int32_t column) {
    m_document->setCursor(row, column, this);
}

void CPlotrane2DView::onRndrPass(float, int32_t, int32_t resolution, int32_t, bool, int32_t) {
    if (m_firstRenderPass) {
        m_firstRenderPass = false;
        m_document->refreshShapeText();
    }
    emit renderPassed(resolution);
}

void CPlotrane2DView::onFltrPass(int16_t level, int16_t component, double minimum, double maximum) {
    if (component < 0 || component >= int16_t(m_passLow.size())) return;
    m_passLow[size_t(component)] = minimum;
    m_passHigh[size_t(component)] = maximum;
    emit filterPassed(level, component);
}

void CPlotrane2DView::onPropertyChanged(int32_t dispid) {
    emit propertyChanged(dispid);
}

void CPlotrane2DView::onMetafileUpdate(int16_t status, int32_t) {
    if (!m_wrapper) return;
    m_document->setPictureStatus(status);
    if (status >= 5) m_document->setPictureFile(m_wrapper->get(DISPID_MetaFile).toString());
}

// ---------------------------------------------------------------------------

CGraphView::CGraphView(CArrayDoc* document, QWidget* parent, const ControlMaker& maker)
    : CPlotrane2DView(document, parent, maker) {
    if (CPlotrane2D* c = control()) c->setColor(DISPID_BackColor, CArrayDoc::kBackColor);
    // The file check runs only while the main frame (or a window inside it)
    // is active, so a question never pops up over another program. The
    // timer is the view's child under a name, so a test can find it.
    m_timer.setParent(this);
    m_timer.setObjectName("fileCheckTimer");
    connect(&m_timer, &QTimer::timeout, this, [this] {
        for (QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget()) {
            if (w == window()) {
                this->document()->checkForChange();
                return;
            }
        }
    });
    m_timer.start(kTimerPeriodMs);
}

void CGraphView::showEvent(QShowEvent* event) {
    CPlotrane2DView::showEvent(event);
    m_shown = true;
}

CGraphView::~CGraphView() {
    m_timer.stop();
    SettingsStore& s = document()->settings();
    if (m_shown) s.writeGraphViewHeight(height());
    if (CPlotrane2D* c = control(); c && document()->hasData()) {
        s.writeInt("ShowPalette", c->getBool(DISPID_ShowPalette) ? 1 : 0);
        s.writeInt("ShowMarker", c->getBool(DISPID_ShowCursor) ? 1 : 0);
    }
}
