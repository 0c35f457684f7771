// The widget helpers every settings dialog is built with (see
// SettingsDialogs.h): object names after the dialog templates' ids, and the
// number text of the range fields. Private to the settings dialogs.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLayout>
#include <QRadioButton>
#include <QString>

#include <charconv>
#include <cmath>

namespace settings_dialog_parts {

// Numbers count as changed from a difference of 0.00001 on.
inline bool differs(double a, double b) {
    return !(std::fabs(a - b) < 0.00001);
}

inline void name(QWidget* w, int id) {
    w->setObjectName(QString("control%1").arg(id));
}

inline QCheckBox* checkBox(const QString& text, int id, bool on, QWidget* parent) {
    auto* b = new QCheckBox(text, parent);
    name(b, id);
    b->setChecked(on);
    return b;
}

inline QRadioButton* radio(const QString& text, int id, QButtonGroup* group, int value,
                           QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    name(r, id);
    group->addButton(r, value);
    return r;
}

// Style radios show no selection for a style they do not offer; the style
// is then written only when the user picks one.
inline void selectStyle(QButtonGroup* group, int style) {
    if (QAbstractButton* b = group->button(style)) b->setChecked(true);
}

inline QGroupBox* group(const QString& title, QLayout* layout, QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    g->setLayout(layout);
    return g;
}

inline QString shortest(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

} // namespace settings_dialog_parts
