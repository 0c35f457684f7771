#include "HdfTreeBar.h"

#include "CArrayDoc.h"
#include "HdfObjects.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include <cmath>

HdfTreeBar::HdfTreeBar(CArrayDoc* document, QDockWidget* bar, QTreeWidget* tree)
    : QObject(bar), m_document(document), m_bar(bar), m_tree(tree) {
    m_bar->setWindowTitle("Display components of an HDF file");
    m_tree->setRootIsDecorated(true);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { onCurrentChanged(current); });
    connect(m_tree, &QTreeWidget::itemPressed, this,
            [this](QTreeWidgetItem* item) { onPressed(item); });
    connect(m_document, &CArrayDoc::hdfTreeFilled, this, [this](bool show) {
        fill();
        if (show) setShown(true);
    });
    connect(m_document, &CArrayDoc::hdfObjectShown, this, [this](int id) { select(id); });
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { onContextMenu(at); });
}

void HdfTreeBar::onContextMenu(const QPoint& at) {
    // The item under the pointer, or the current one when the menu key
    // asked for it.
    QTreeWidgetItem* item = m_tree->itemAt(at);
    if (!item) item = m_tree->currentItem();
    if (!item) return;
    const int id = item->data(0, kDataRole).toInt();
    const CHdfObject* o = findHdfObject(m_document->hdfObjects(), id);
    if (!o || !hdfIsPacked(*o)) return;
    const bool unpacked = static_cast<const CHdfSds&>(*o).unpacked;
    if (m_menu) m_menu->deleteLater();
    // Not exec(): the menu is one more window of the event loop, and the
    // tree stays usable the moment it closes.
    m_menu = new QMenu(m_tree);
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_menu, &QObject::destroyed, this, [this, menu = m_menu] {
        if (m_menu == menu) m_menu = nullptr;
    });
    QAction* unpack = m_menu->addAction(kUnpackText);
    unpack->setCheckable(true);
    unpack->setChecked(unpacked);
    // Queued: reading the object waits for the helper in an event loop of
    // its own, in which the menu (still inside its own click) closes and
    // is deleted.
    connect(
        unpack, &QAction::triggered, this,
        [this, id](bool checked) { m_document->setHdfUnpacked(id, checked); },
        Qt::QueuedConnection);
    const QRect box = m_tree->visualItemRect(item);
    const QPoint where = m_tree->itemAt(at) ? at : box.bottomLeft();
    m_menu->popup(m_tree->viewport()->mapToGlobal(where));
}

std::string HdfTreeBar::rootText(const std::string& path) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int HdfTreeBar::imageFor(const CHdfObject& o) {
    switch (o.kind) {
    case HdfKindSds:
        return static_cast<const CHdfSds&>(o).rank > 2 ? ImageDataSetCube : ImageDataSet;
    case HdfKindPalette:
        return ImagePalette;
    case HdfKindRaster:
        return o.tag == 302 || o.tag == 303 ? ImageRaster8 : ImageRaster;
    case HdfKindAnnotation:
    case HdfKindAttribute:
        return ImageText;
    case HdfKindGroup:
        return ImageGroup;
    default:
        return ImageOther;
    }
}

QIcon HdfTreeBar::icon(int image) {
    // Small drawn pictures, one per kind: a colour and a letter.
    static const struct {
        QColor colour;
        const char* letter;
    } looks[10] = {{QColor(128, 128, 128), "?"}, {QColor(30, 90, 200), "3"},
                   {QColor(40, 140, 220), "D"},  {QColor(200, 60, 160), "P"},
                   {QColor(30, 150, 60), "R"},   {QColor(90, 170, 40), "8"},
                   {QColor(200, 150, 30), "A"},  {QColor(128, 128, 128), " "},
                   {QColor(90, 90, 90), "F"},    {QColor(170, 130, 60), "G"}};
    const auto& look = looks[std::clamp(image, 0, 9)];
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(look.colour);
    p.setPen(look.colour.darker(150));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, look.letter);
    p.end();
    return QIcon(pixmap);
}

void HdfTreeBar::insert(const CHdfObject& o, QTreeWidgetItem* parent) {
    auto* item = new QTreeWidgetItem(parent);
    // HDF5 data sets show their element type and shape with the name, as
    // one reads them in h5dump; a refused one says why it cannot be shown.
    std::string text = o.shownName();
    if (!o.location.empty() && o.kind == HdfKindSds) text += "  " + hdfShapeText(o);
    if (!o.refusal.empty()) text += "  (" + o.refusal + ")";
    item->setText(0, QString::fromStdString(text));
    if (!o.location.empty()) item->setToolTip(0, QString::fromStdString(o.location));
    if (!o.refusal.empty()) item->setForeground(0, QColor(128, 128, 128));
    item->setIcon(0, icon(imageFor(o)));
    item->setData(0, kDataRole, o.objectId);
    for (const auto& child : o.children)
        if (!child->hidden) insert(*child, item);
    const_cast<CHdfObject&>(o).treeItem = item;
}

void HdfTreeBar::fill() {
    m_selecting = true;
    m_tree->clear();
    auto* root = new QTreeWidgetItem(m_tree);
    root->setText(0, QString::fromStdString(rootText(m_document->path())));
    root->setIcon(0, icon(ImageFile));
    root->setData(0, kDataRole, 0);
    for (const auto& o : m_document->hdfObjects())
        if ((o->hasContent || !o->refusal.empty()) && !o->hidden) insert(*o, root);
    root->setExpanded(true);
    m_selecting = false;
}

void HdfTreeBar::setShown(bool shown) {
    m_bar->setVisible(shown);
    if (!shown) return;
    // Laid out first, so the sizes below are the bar's real ones.
    QApplication::sendPostedEvents(m_bar, QEvent::LayoutRequest);
    const QSize bar = m_bar->size();
    m_tree->resize(int(std::floor(0.85 * (bar.width() + 1))),
                   int(std::floor(0.9 * (bar.height() + 1))));
    m_tree->setFocus();
}

bool HdfTreeBar::isShown() const {
    return m_bar->isVisible();
}

void HdfTreeBar::select(int objectId) {
    const CHdfObject* o = findHdfObject(m_document->hdfObjects(), objectId);
    if (!o || !o->treeItem) return;
    auto* item = static_cast<QTreeWidgetItem*>(o->treeItem);
    m_selecting = true;
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
    m_selecting = false;
    m_tree->viewport()->update();
}

void HdfTreeBar::onCurrentChanged(QTreeWidgetItem* current) {
    m_changedByPress = QApplication::mouseButtons() != Qt::NoButton;
    if (m_selecting || !current) return;
    const int id = current->data(0, kDataRole).toInt();
    if (id != 0) m_document->showHdfObjectById(id);
}

void HdfTreeBar::onPressed(QTreeWidgetItem* item) {
    // A press that made the item current has shown it already; a press on
    // the current item shows it again (attributes and annotations reopen
    // their text, anything else is already on screen).
    if (m_changedByPress) {
        m_changedByPress = false;
        return;
    }
    if (!item) return;
    const int id = item->data(0, kDataRole).toInt();
    if (id != 0) m_document->showHdfObjectById(id);
}
