// CArrayDataSource: a block of array elements offered on the clipboard.
//
// It owns a copy of the block (an aglArray of its own, so the document may
// change or drop its array meanwhile) and the number format of the text,
// and renders "AGL DATA" (application/x-agl-data) and tab-separated text
// (text/plain) only when someone asks for them: putting a large block on
// the clipboard costs the copy, never the formatting. Each form is rendered
// once and kept.
//
// The clipboard owns the object once it is given to it and deletes it when
// something else is copied. A twin made by textOnlyTwin() shares the block
// and the rendered text, for the primary selection, which takes an object of
// its own. User-interface thread only (the clipboard asks on it).
#pragma once

#include "ClipboardFormat.h"

#include <QByteArray>
#include <QMimeData>
#include <QStringList>

#include <memory>

class CArrayDataSource : public QMimeData {
    Q_OBJECT
public:
    // Offers region of block; format writes the text (shared with twins).
    CArrayDataSource(std::unique_ptr<aglArray> block, const BlockRegion& region,
                     std::shared_ptr<const BlockTextFormat> format);
    ~CArrayDataSource() override;

    // A new source over the same block that offers the text only; the
    // caller (then the clipboard) owns it.
    CArrayDataSource* textOnlyTwin() const;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // Renders every offered form now (the document does this when it
    // closes, so the data no longer depends on anything lazy).
    void renderAll() const;

    const aglArray& block() const { return *m_shared->block; }
    const BlockRegion& region() const { return m_shared->region; }
    // How many times a form was rendered, over this source and its twins.
    int renderCount() const { return m_shared->renders; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    struct Shared {
        std::unique_ptr<aglArray> block;
        BlockRegion region;
        std::shared_ptr<const BlockTextFormat> format;
        QByteArray text;
        QByteArray aglData;
        bool textDone = false;
        bool aglDataDone = false;
        int renders = 0;
    };
    CArrayDataSource(std::shared_ptr<Shared> shared, bool textOnly);
    const QByteArray& renderText() const;
    const QByteArray& renderAglData() const;

    std::shared_ptr<Shared> m_shared;
    bool m_textOnly = false;
};
