// The control's property pages: seven pages of its own (Graph, Scale, Misc,
// Axis, Palette, Camera, Data) and the two stock pages (colours and fonts),
// shown together in a property sheet with OK, Cancel and Apply. Only the
// sheet is reached by the control's tests; hosts open it through
// plotrane::showPropertyPages().
//
// Each page is a thin form. Its fields are bound to the control's properties
// by name (the name is looked up in plotrane/PropertyTable.h) and every value
// travels through the control's dispatch interface, so the setters' checks
// apply: a refused value is reported with the control's own message and stays
// in its field for the user to correct. A field is written only when the user
// changed it; after a write every untouched field is read again, so a value
// the control discards shows its old value and a live value (the level of
// detail, the camera) shows what the control has now.
//
// Host (user-interface) thread only. The pages keep a reference to the
// control: the sheet must not outlive it (showPropertyPages() runs it modally
// as the control's child).
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "plotrane/ControlDispatch.h"
#include "plotrane/ControlFactory.h"
#include "plotrane/PropertyTable.h"

class CPlotrane2DCtrl;
class QDialogButtonBox;
class QGridLayout;
class QTabWidget;

// How a field shows its property (the page data exchange's types).
enum class PageExchange {
    Long,  // edit: a whole number of 32 bits
    Short, // edit: a whole number the control takes as a short
    Float, // edit: a number, shown in the shortest form that reads back exactly
    Text,  // edit: the text as it stands; numeric properties parse it as Long
    Bool,  // check box
    Index, // combo box: the selected index is the value
    Color, // colour button: 0x00BBGGRR
};

// A push button that shows a colour and lets the user pick another one with
// the colour dialog. The colour is 0x00BBGGRR, as the control keeps it.
class ColorButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(uint color READ color)
public:
    explicit ColorButton(QWidget* parent = nullptr);
    uint32_t color() const { return m_color; }
    void setColor(uint32_t bgr);
signals:
    // The user picked a colour (not emitted by setColor).
    void colorPicked(uint32_t bgr);

private:
    void pick();
    uint32_t m_color = 0;
};

// One page: a form whose fields are bound to properties. Derived pages build
// their controls and bind them in their constructors.
class PropertyPage : public QWidget {
    Q_OBJECT
public:
    PropertyPage(const QString& caption, CPlotrane2DCtrl& control, QWidget* parent = nullptr);
    QString caption() const { return m_caption; }

    // Reads every bound property and shows it; the fields are then unchanged.
    void load();
    // Reads again the fields the user has not changed.
    void refresh();
    // Whether the user changed any field since it was last read.
    bool isModified() const;

    // Writes the changed fields in page order. Stops at the first refusal
    // and returns it with its field (the field keeps what the user typed);
    // the fields written before it are read back.
    struct Refusal {
        QWidget* field = nullptr;
        std::string message;
        explicit operator bool() const { return field != nullptr; }
    };
    Refusal apply();

signals:
    // A field was changed by the user.
    void modified();

protected:
    // Binds a field to the property of that name; read and write go through
    // the dispatch interface unless given.
    void bind(QWidget* field, const char* propertyName, PageExchange how);
    void bind(QWidget* field, PageExchange how, std::function<plotrane::Variant()> read,
              std::function<plotrane::DispatchStatus(const plotrane::Variant&)> write,
              const plotrane::PropertyInfo* info = nullptr);
    CPlotrane2DCtrl& control() { return m_control; }

    // Form helpers: a labelled edit, check box or combo box in a grid.
    QWidget* addEdit(QGridLayout* grid, int row, int column, const QString& label,
                     const char* propertyName, PageExchange how);
    QWidget* addCheck(QGridLayout* grid, int row, int column, const QString& label,
                      const char* propertyName);
    QWidget* addCombo(QGridLayout* grid, int row, int column, const QString& label,
                      const QStringList& items, const char* propertyName);

private:
    struct Binding {
        QWidget* field;
        PageExchange how;
        const plotrane::PropertyInfo* info; // nullptr for a custom binding
        std::function<plotrane::Variant()> read;
        std::function<plotrane::DispatchStatus(const plotrane::Variant&)> write;
        QVariant shown;          // the field's state right after it was read
        plotrane::Variant value; // the value read then
    };
    void show(Binding& b);
    bool changed(const Binding& b) const;
    // Whether an entered value is the one the field was showing (a number
    // typed again in another form: nothing to write).
    static bool sameValue(const Binding& b, const plotrane::Variant& v);
    // The value the user entered, or an empty Variant with the refusal text.
    plotrane::Variant entered(const Binding& b, std::string& refusal) const;

    QString m_caption;
    CPlotrane2DCtrl& m_control;
    std::vector<Binding> m_bindings;
};

// The pages in the control's order.
class CPlotrane2DPropPage : public PropertyPage { // Graph
    Q_OBJECT
public:
    explicit CPlotrane2DPropPage(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPageScale : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPageScale(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPageMisc : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPageMisc(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPageAxis : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPageAxis(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPagePalette : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPagePalette(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPageCamera : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPageCamera(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
class CPlotrane2DPropPageData : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DPropPageData(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
// Stock colour page: every writable colour property of the control.
class CPlotrane2DColorPage : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DColorPage(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};
// Stock font page: the control's two font properties, AxisFont (the tick
// numbers) and AxisLabelFont (the axis titles): the face through the
// dispatch interface, size and weight through the control's font accessors
// (the dispatch interface carries the face only).
class CPlotrane2DFontPage : public PropertyPage {
    Q_OBJECT
public:
    explicit CPlotrane2DFontPage(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
};

// The property sheet: the nine pages as tabs, with OK (apply, then close
// unless a value was refused), Cancel (close; what was applied stays, as in
// any property frame) and Apply (enabled while a page has changes).
class CPlotrane2DPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CPlotrane2DPropertySheet(CPlotrane2DCtrl& control, QWidget* parent = nullptr);
    QTabWidget* tabs() const { return m_tabs; }
    // Applies every page; false (and the refusal shown) when one refused.
    bool apply();

    static constexpr const char* kTitle = "Plotrane2D Control Properties";

private:
    void updateApply();
    std::vector<PropertyPage*> m_pages;
    QTabWidget* m_tabs = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

// The About box: "About Plotrane2D Control", modal, OK.
class CPlotrane2DAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CPlotrane2DAboutBox(QWidget* parent = nullptr);
};
