// SettingsFile: a QSettings (INI format) over a settings path that is looked
// at before Qt opens it.
//
// QSettings reads its file with a blocking open and writes it back by
// putting a new file in the old one's place. Both are right for a regular
// file, and wrong for anything else a user may have put at the path: a
// named pipe blocks the read until some program writes to it, and a
// symbolic link to a device node (/dev/null, a common way to stop a program
// writing its settings) would have the device replaced by a regular file.
// So only a regular file, a symbolic link to one, or nothing at all is
// handed to QSettings as it is. For anything else, what can be read at
// once without blocking (at most kMaxStandInBytes) is copied to a private
// stand-in file, and the settings are read from and written to that copy
// for as long as the process keeps one SettingsFile on the path open: what
// is at the path itself is never written.
//
// User-interface thread only.
#pragma once

#include <QSettings>
#include <QString>

#include <cstddef>
#include <memory>

class QTemporaryDir;

class SettingsFile {
public:
    explicit SettingsFile(const QString& path);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    QSettings& settings() { return *m_settings; }
    // The path asked for (not the stand-in's).
    const QString& path() const { return m_path; }
    // True when the path holds something other than a regular file, so that
    // the settings are this run's only.
    bool usesStandIn() const { return m_standIn != nullptr; }

    // The user's settings file: Veradyne/Plotrane.ini in the XDG
    // configuration folder ($XDG_CONFIG_HOME, else ~/.config), where
    // QSettings keeps organisation "Veradyne", application "Plotrane".
    static QString userPath();

    // The most that is read from a path that is not a regular file.
    static constexpr size_t kMaxStandInBytes = size_t(1) << 20;

private:
    QString m_path;
    // Declared before the settings: the stand-in outlives their last write.
    std::shared_ptr<QTemporaryDir> m_standIn;
    std::unique_ptr<QSettings> m_settings;
};
