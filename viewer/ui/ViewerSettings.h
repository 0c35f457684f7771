// What the frame keeps beside the settings store's "Tavrix/Settings" values,
// in the same file (QSettings INI, organisation "Veradyne", application
// "Plotrane"): the recent-file list and the bar layout. User-interface thread
// only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace viewer_settings {

// The 8-entry recent-file list, most recent first.
constexpr int kRecentFiles = 8;
QStringList recentFiles();
void setRecentFiles(const QStringList& files);

// The saved layout of toolbars and docked bars ("Toolbars").
QByteArray barLayout();
void setBarLayout(const QByteArray& state);

} // namespace viewer_settings
