#include "SettingsFile.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A regular file (or a link to one) is QSettings' to read and replace; so
// is a path with nothing there, which it creates.
bool usableAsIs(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) return S_ISREG(st.st_mode);
    return errno == ENOENT;
}

// What the path gives at once: a pipe without a writer gives nothing, a
// terminal or a pipe whose writer is slow gives what it has, a folder
// gives nothing, an endless device gives the first kMaxStandInBytes.
QByteArray readWithoutBlocking(const QByteArray& path) {
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return bytes;
    char buffer[65536];
    while (size_t(bytes.size()) < SettingsFile::kMaxStandInBytes) {
        const size_t want =
            std::min(sizeof buffer, SettingsFile::kMaxStandInBytes - size_t(bytes.size()));
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, qsizetype(n));
    }
    ::close(fd);
    return bytes;
}

QString standInFile(const QTemporaryDir& dir) {
    return dir.filePath("Plotrane.ini");
}

// One stand-in per path while any SettingsFile on it is open, so that every
// QSettings of the run (the store's and the frame's recent-file list) sees
// the others' writes.
std::map<QString, std::weak_ptr<QTemporaryDir>>& standIns() {
    static std::map<QString, std::weak_ptr<QTemporaryDir>> open;
    return open;
}

std::shared_ptr<QTemporaryDir> makeStandIn(const QString& path) {
    std::weak_ptr<QTemporaryDir>& entry = standIns()[path];
    if (std::shared_ptr<QTemporaryDir> kept = entry.lock()) return kept;
    auto dir = std::make_shared<QTemporaryDir>();
    if (dir->isValid()) {
        QFile copy(standInFile(*dir));
        if (copy.open(QIODevice::WriteOnly))
            copy.write(readWithoutBlocking(QFile::encodeName(path)));
    }
    entry = dir;
    return dir;
}

} // namespace

SettingsFile::SettingsFile(const QString& path) : m_path(path) {
    if (usableAsIs(QFile::encodeName(path))) {
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        return;
    }
    m_standIn = makeStandIn(path);
    // Without a folder for the stand-in the settings live in memory: an
    // empty path gives QSettings nothing to read or write.
    m_settings = std::make_unique<QSettings>(
        m_standIn->isValid() ? standInFile(*m_standIn) : QString(), QSettings::IniFormat);
}

SettingsFile::~SettingsFile() {
    m_settings.reset();
    if (m_standIn && m_standIn.use_count() == 1) standIns().erase(m_path);
}

QString SettingsFile::userPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Veradyne/Plotrane.ini");
}
