// HdfTreeBar: the HDF object tree ("Display components of an HDF file") in
// the frame's dock bar. After each HDF read it lists the document's objects
// under a root item named after the file: every top-level object that has
// content and is not hidden, with its children that are not hidden. Each
// item carries its object's id (the root 0); selecting an item shows that
// object, and when the document shows an object its item is selected.
// Attributes and annotations open their text on every click, even when
// already selected. The context menu of a packed data set (one with a
// scale_factor or add_offset attribute) has the check "Apply scale_factor
// and add_offset", which shows its values unpacked. User-interface thread
// only.
#pragma once

#include <QIcon>
#include <QObject>

#include <array>
#include <string>

class CArrayDoc;
class CHdfObject;
class QDockWidget;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

class HdfTreeBar : public QObject {
    Q_OBJECT
public:
    // Item images, in the order of the bar's image list.
    enum Image {
        ImageOther = 0,
        ImageDataSetCube = 1, // rank above 2
        ImageDataSet = 2,     // rank 1 or 2
        ImagePalette = 3,
        ImageRaster = 4,
        ImageRaster8 = 5, // raster-8 tags 302 and 303
        ImageText = 6,    // attributes and annotations
        ImageSpare = 7,
        ImageFile = 8,
        ImageGroup = 9 // a group of an HDF5 file
    };
    static constexpr int kDataRole = 0x0100; // Qt::UserRole

    HdfTreeBar(CArrayDoc* document, QDockWidget* bar, QTreeWidget* tree);

    // Rebuilds the tree from the document's objects.
    void fill();
    // Shows the bar (sizing the tree to 85 % x 90 % of it and focusing it)
    // or hides it.
    void setShown(bool shown);
    bool isShown() const;

    static int imageFor(const CHdfObject& object);
    // The root's text: the part after the last backslash, else after the
    // last slash, else the whole path.
    static std::string rootText(const std::string& path);
    static QIcon icon(int image);
    // The caption of the context menu's unpacking check.
    static constexpr const char* kUnpackText = "Apply scale_factor and add_offset";
    // The context menu last opened (it closes itself), for tests.
    QMenu* contextMenu() const { return m_menu; }

private:
    void insert(const CHdfObject& object, QTreeWidgetItem* parent);
    void select(int objectId);
    void onCurrentChanged(QTreeWidgetItem* current);
    void onPressed(QTreeWidgetItem* item);
    void onContextMenu(const QPoint& at);

    CArrayDoc* m_document;
    QDockWidget* m_bar;
    QTreeWidget* m_tree;
    bool m_selecting = false;
    bool m_changedByPress = false;
    QMenu* m_menu = nullptr;
};
