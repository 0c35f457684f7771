#include "ViewerSettings.h"

#include "SettingsFile.h"

#include <QSettings>

namespace viewer_settings {

QStringList recentFiles() {
    SettingsFile file(SettingsFile::userPath());
    QSettings& s = file.settings();
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = s.value(QString("Tavrix/Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

void setRecentFiles(const QStringList& files) {
    SettingsFile file(SettingsFile::userPath());
    QSettings& s = file.settings();
    s.remove("Tavrix/Recent File List");
    for (int i = 0; i < files.size() && i < kRecentFiles; ++i)
        s.setValue(QString("Tavrix/Recent File List/File%1").arg(i + 1), files[i]);
}

QByteArray barLayout() {
    SettingsFile file(SettingsFile::userPath());
    return file.settings().value("Tavrix/Toolbars/State").toByteArray();
}

void setBarLayout(const QByteArray& state) {
    SettingsFile file(SettingsFile::userPath());
    file.settings().setValue("Tavrix/Toolbars/State", state);
}

} // namespace viewer_settings
