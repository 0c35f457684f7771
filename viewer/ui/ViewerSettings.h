// The viewer's window and start-up values in the settings store: QSettings in
// INI form (organisation "Veradyne", application "Plotrane"), section
// "Tavrix/Settings", plus the recent-file list and the bar layout beside it.
// User-interface thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace viewer_settings {

int readInt(const QString& key, int fallback);
void writeInt(const QString& key, int value);
QString readString(const QString& key, const QString& fallback = {});
void writeString(const QString& key, const QString& value);

// The 8-entry recent-file list, most recent first.
constexpr int kRecentFiles = 8;
QStringList recentFiles();
void setRecentFiles(const QStringList& files);

// The saved layout of toolbars and docked bars ("Toolbars").
QByteArray barLayout();
void setBarLayout(const QByteArray& state);

} // namespace viewer_settings
