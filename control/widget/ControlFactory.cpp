// The control library's exported entry points: the factory, the property
// set saved and loaded, and the property pages. Everything else in
// libplotrane2d.so (the widget, the model, the engine) stays inside.
#include "plotrane/ControlFactory.h"
#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"

using namespace plotrane;

namespace plotrane {
ControlInstance createControl(std::string_view classId, QWidget* parent) {
    if (classId != kPlotrane2DClassId) return {};
    auto* control = new CPlotrane2DCtrl(parent);
    return {control, control};
}

namespace {
CPlotrane2DCtrl* asControl(QWidget* w) {
    return qobject_cast<CPlotrane2DCtrl*>(w);
}
const DispatchStatus kNotAControl{kSetNotSupported, "Not a Plotrane2D control"};
} // namespace

void saveProperties(QWidget* control, QVariantMap& bag) {
    if (CPlotrane2DCtrl* c = asControl(control)) c->model().saveProperties(bag);
}
void saveProperties(QWidget* control, QSettings& settings) {
    if (CPlotrane2DCtrl* c = asControl(control)) c->model().saveProperties(settings);
}
DispatchStatus loadProperties(QWidget* control, const QVariantMap& bag) {
    CPlotrane2DCtrl* c = asControl(control);
    return c ? c->model().loadProperties(bag) : kNotAControl;
}
DispatchStatus loadProperties(QWidget* control, QSettings& settings) {
    CPlotrane2DCtrl* c = asControl(control);
    return c ? c->model().loadProperties(settings) : kNotAControl;
}
bool showPropertyPages(QWidget* control) {
    CPlotrane2DCtrl* c = asControl(control);
    return c && c->showPropertyPages();
}
} // namespace plotrane
