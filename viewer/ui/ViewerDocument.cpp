#include "ViewerDocument.h"

#include "GridFormat.h"
#include "AglAsciiFormat.h"
#include "ViewerSettings.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

#include <algorithm>

namespace {

// What the first four bytes of a file say it is.
enum class FileKind { Agl = 1, Hdf = 2, Bitmap = 3, Text = 4 };

bool readKind(const QString& path, FileKind& kind) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        kind = FileKind::Agl; // not a file: may be a shared-memory segment
        return true;
    }
    if (file.size() <= 3) {
        kind = FileKind::Text;
        return true;
    }
    unsigned char b[4];
    if (file.read(reinterpret_cast<char*>(b), 4) != 4) return false;
    const uint32_t magic = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                           uint32_t(b[3]) << 24;
    if (magic == 0x0113030Eu)
        kind = FileKind::Hdf;
    else if (magic == agl::kMagicNormal || magic == agl::kMagicFixed)
        kind = FileKind::Agl;
    else if ((magic & 0xFFFFu) == 0x4D42u)
        kind = FileKind::Bitmap;
    else
        kind = FileKind::Text;
    return true;
}

} // namespace

ViewerDocument::ViewerDocument(QObject* parent)
    : QObject(parent), m_array(std::make_unique<aglArray>()) {}

ViewerDocument::~ViewerDocument() = default;

void ViewerDocument::report(const QString& message) {
    if (m_sink) {
        m_sink(message);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    QMessageBox::warning(parent, "Veradyne Tavrix", message);
}

bool ViewerDocument::open(const QString& path) {
    FileKind kind;
    bool ok = readKind(path, kind);
    if (ok && m_grid) m_grid->clear();
    if (ok && kind == FileKind::Agl) {
        ok = m_array->open(path.toLocal8Bit().toStdString(), true);
        m_array->takeError();
    } else if (ok && kind == FileKind::Text) {
        ok = readText(path);
    } else {
        ok = false;
    }
    if (!ok) {
        report(QString("Unable to read file: %1").arg(path));
        if (m_grid) m_grid->refresh();
        return false;
    }
    m_hasData = true;
    m_path = path;
    const int cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    m_title = path.mid(cut + 1);
    emit titleChanged(m_title);
    emit shapeTextChanged(QString::fromStdString(m_array->shapeText()));

    // The spreadsheet starts each file from the stored number format.
    if (m_grid) {
        m_grid->setPrecision(grid::clampPrecision(
            viewer_settings::readInt("Precision", m_grid->precision())));
        m_grid->setUseExp(viewer_settings::readInt("UseExp", m_grid->useExp() ? 1 : 0) != 0);
        m_grid->refresh();
    }
    moveMarker(m_row, m_column, nullptr);
    return true;
}

bool ViewerDocument::readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.readAll();
    if (text.isEmpty()) return false;
    AsciiReadResult result = readAglAscii(text.constData(), size_t(text.size()));
    if (!result.array) return false;
    m_array = std::move(result.array);
    if (!result.warning.empty()) report(QString::fromStdString(result.warning));
    return true;
}

void ViewerDocument::newDocument() {
    m_array->release();
    m_hasData = false;
    m_path.clear();
    m_title.clear();
    if (m_grid) m_grid->clear();
    emit titleChanged(m_title);
    emit shapeTextChanged(QString());
    emit positionTextChanged(QString());
}

void ViewerDocument::moveMarker(int64_t row, int64_t column, QObject* from) {
    if (!m_hasData || m_moving) return;
    m_moving = true;
    m_row = std::clamp<int64_t>(row, 0, m_array->rowCount() - 1);
    m_column = std::clamp<int64_t>(column, 0, m_array->colCount() - 1);
    if (m_grid) m_grid->selectCell(m_row, m_column);
    (void)from;
    emit positionTextChanged(QString::fromStdString(m_array->positionText(m_column, m_row)));
    m_moving = false;
}
