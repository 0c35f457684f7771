#include "CArrayDataSource.h"

#include <string>

CArrayDataSource::CArrayDataSource(std::unique_ptr<aglArray> block, const BlockRegion& region,
                                   std::shared_ptr<const BlockTextFormat> format)
    : m_shared(std::make_shared<Shared>()) {
    if (!format) format = std::make_shared<PlainTextFormat>(block ? block->typeCode() : AGL_DOUBLE);
    m_shared->block = std::move(block);
    m_shared->region = region;
    m_shared->format = std::move(format);
}

CArrayDataSource::CArrayDataSource(std::shared_ptr<Shared> shared, bool textOnly)
    : m_shared(std::move(shared)), m_textOnly(textOnly) {}

CArrayDataSource::~CArrayDataSource() = default;

CArrayDataSource* CArrayDataSource::textOnlyTwin() const {
    return new CArrayDataSource(m_shared, true);
}

QStringList CArrayDataSource::formats() const {
    if (!m_shared->block) return {};
    if (m_textOnly) return {QString::fromLatin1(kTextMimeType)};
    return {QString::fromLatin1(kAglDataMimeType), QString::fromLatin1(kTextMimeType)};
}

bool CArrayDataSource::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

const QByteArray& CArrayDataSource::renderText() const {
    Shared& s = *m_shared;
    if (!s.textDone && s.block) {
        std::string text;
        formatBlockText(*s.block, s.region, *s.format, text);
        s.text = QByteArray(text.data(), qsizetype(text.size()));
        s.textDone = true;
        ++s.renders;
    }
    return s.text;
}

const QByteArray& CArrayDataSource::renderAglData() const {
    Shared& s = *m_shared;
    if (!s.aglDataDone && s.block) {
        std::string bytes;
        encodeAglData(*s.block, s.region, bytes);
        s.aglData = QByteArray(bytes.data(), qsizetype(bytes.size()));
        s.aglDataDone = true;
        ++s.renders;
    }
    return s.aglData;
}

void CArrayDataSource::renderAll() const {
    renderText();
    if (!m_textOnly) renderAglData();
}

QVariant CArrayDataSource::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!m_shared->block) return {};
    if (mimeType == QLatin1String(kTextMimeType)) {
        // The text is plain ASCII: Latin-1 and UTF-8 alike.
        if (type.id() == QMetaType::QString) return QString::fromLatin1(renderText());
        return renderText();
    }
    if (!m_textOnly && mimeType == QLatin1String(kAglDataMimeType)) return renderAglData();
    return {};
}
