// Creating the graph control: all a host needs besides ControlDispatch.h.
// The control library (libplotrane2d.so) exports one factory; a host asks
// it for the control by class identifier and gets the widget to place in
// its window and the dispatch interface to drive it. Host thread only.
#pragma once

#include <QVariantMap>
#include <string_view>

#include "plotrane/ControlDispatch.h"

class QSettings;
class QWidget;

#define PLOTRANE_EXPORT __attribute__((visibility("default")))

namespace plotrane {

// A created control: one object seen as a widget and as its dispatch
// interface. The widget belongs to the parent given to the factory (or to
// the caller when there was none); the dispatch pointer lives as long as it.
struct ControlInstance {
    QWidget* widget = nullptr;
    ControlDispatch* dispatch = nullptr;
    explicit operator bool() const { return widget != nullptr; }
};

// The control of that class identifier (kPlotrane2DClassId), or an empty
// instance for any other identifier. Needs a QApplication.
PLOTRANE_EXPORT ControlInstance createControl(std::string_view classId, QWidget* parent = nullptr);

// The control's property set, for a host to keep where it likes: version,
// stock properties and every persisted property under its key (fonts as
// family, size and bold). `control` is a widget made by createControl.
// Loading runs the setters in the saved order; a key that is missing leaves
// its property, and a refused value ends the load with its error.
PLOTRANE_EXPORT void saveProperties(QWidget* control, QVariantMap& bag);
PLOTRANE_EXPORT void saveProperties(QWidget* control, QSettings& settings);
PLOTRANE_EXPORT DispatchStatus loadProperties(QWidget* control, const QVariantMap& bag);
PLOTRANE_EXPORT DispatchStatus loadProperties(QWidget* control, QSettings& settings);

// Shows the control's property pages modally (the Properties verb; the
// control's context menu has it too). Returns when the user closes them:
// true for OK, false for Cancel or when `control` is no control.
PLOTRANE_EXPORT bool showPropertyPages(QWidget* control);

} // namespace plotrane
