#include "ViewerSettings.h"

#include <QSettings>

namespace viewer_settings {

static QSettings store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Veradyne", "Plotrane");
}

QStringList recentFiles() {
    QSettings s = store();
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = s.value(QString("Tavrix/Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

void setRecentFiles(const QStringList& files) {
    QSettings s = store();
    s.remove("Tavrix/Recent File List");
    for (int i = 0; i < files.size() && i < kRecentFiles; ++i)
        s.setValue(QString("Tavrix/Recent File List/File%1").arg(i + 1), files[i]);
}

QByteArray barLayout() {
    return store().value("Tavrix/Toolbars/State").toByteArray();
}

void setBarLayout(const QByteArray& state) {
    store().setValue("Tavrix/Toolbars/State", state);
}

} // namespace viewer_settings
