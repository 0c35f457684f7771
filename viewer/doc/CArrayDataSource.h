// CArrayDataSource: a block of array elements offered on the clipboard.
//
// It owns a copy of the block (an aglArray of its own, so the document may
// change, drop or close its array meanwhile) and the number format of the
// text. Made from a PlaneBlockCopy, the block is copied on the worker too,
// first of all: until then the document's array is held (its values and
// storage wait; see aglArray::ElementsHold), and putting a block on the
// clipboard costs neither the copy nor the formatting: "AGL DATA" (application/x-agl-data) and the
// tab-separated text (text/plain) are rendered on the clipboard's worker thread, one for the
// process, once startRendering() has handed the offer to it, and another program's request is
// answered from the finished bytes. A request that comes before the worker has finished waits for
// it (the user-interface thread then blocks for what is left of that form, never renders it twice).
// Without the worker, a form is rendered when first asked for, on the asking thread. Each form is
// rendered once and kept; the block goes once both are.
//
// The clipboard owns the object once it is given to it and deletes it when
// something else is copied. A twin made by textOnlyTwin() shares the block
// and the rendered bytes, for the primary selection, which takes an object
// of its own. When the last of them goes, rendering still under way stops
// at its next few thousand elements, and the block and the bytes are freed
// on the worker, not on the thread that let them go. User-interface thread
// only, the worker aside.
#pragma once

#include "ClipboardFormat.h"

#include <QByteArray>
#include <QMimeData>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CArrayDataSource : public QMimeData {
    Q_OBJECT
public:
    // Offers region of block; format writes the text (shared with twins).
    CArrayDataSource(std::unique_ptr<aglArray> block, const BlockRegion& region,
                     std::shared_ptr<const BlockTextFormat> format);
    // Offers the block copy will give (region within it). The copy is made
    // on the worker once startRendering() has handed the offer to it, or
    // there and then when there is no worker; call it at once.
    CArrayDataSource(std::unique_ptr<PlaneBlockCopy> copy, const BlockRegion& region,
                     std::shared_ptr<const BlockTextFormat> format);
    ~CArrayDataSource() override;

    // A new source over the same block that offers the text only; the
    // caller (then the clipboard) owns it.
    CArrayDataSource* textOnlyTwin() const;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // Hands the block's copy and every form to the worker (the copy first,
    // ahead of other offers' rendering; then "AGL DATA", then the text).
    // Once per source, before anything asks for a form; false when there is
    // no worker: the block is then copied before it returns, and the forms
    // render when asked.
    bool startRendering();
    // Every form rendered now: waits for the worker, or renders what is
    // missing on this thread when there is none.
    void renderAll() const;
    // Whether every form is rendered (by the worker or on request).
    bool isRendered() const;

    // For another thread: waits there until the worker has rendered
    // mimeType and gives its bytes; nothing when the offer was let go before
    // the worker got there, or once stop is set. Null when this source does
    // not offer mimeType or no worker renders it.
    using FormWait = std::function<std::optional<QByteArray>(const std::atomic<bool>& stop)>;
    FormWait formWait(const QString& mimeType) const;

    const BlockRegion& region() const;
    // How many times a form was rendered, over this source and its twins.
    int renderCount() const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    struct Shared;
    // Shared by a source and its twin; hands the block and the bytes to the
    // worker to free when they go.
    struct Owner;
    CArrayDataSource(std::shared_ptr<Owner> owner, bool textOnly);
    // What the offer holds, once its block (or the copy to make it) is in.
    void describe(bool hasBlock, int type, const BlockRegion& region,
                  std::shared_ptr<const BlockTextFormat> format);
    Shared& shared() const;
    QByteArray rendered(bool text) const;

    std::shared_ptr<Owner> m_owner;
    bool m_textOnly = false;
};
