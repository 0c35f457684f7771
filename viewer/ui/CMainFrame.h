// CMainFrame: the viewer's one main window.
//
// Two toolbars at the top, a three-pane status bar (messages, array shape,
// cursor position), a dockable bar for the HDF object tree, and a splitter of
// two rows: the spreadsheet above, the graph pane below. Its size, the pane
// heights and the bar layout live in the settings store. Files dropped on the
// window are opened. User-interface thread only.
#pragma once

#include <QMainWindow>

#include <memory>

class CArrayDataSource;
class CArrayDoc;
class CGridView;
class GraphPlaceholder;
class GridDocument;
class HdfTreeBar;
class SettingsStore;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidget;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The document outlives the frame; the frame registers its views with it.
    CMainFrame(CArrayDoc* document, SettingsStore* settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Opens path through the document and files it in the recent-file list.
    bool openFile(const QString& path);
    // The File Open command: the dialog, the remembered filter, "CurrentDirectory".
    void onFileOpen();
    // Remembers the frame size when both sides exceed 30 pixels, the pane
    // heights and the bar layout.
    void saveWindowSettings();
    void storeFrameSize(QSize size);

    CGridView* gridView() const { return m_grid; }
    // The Edit menu's commands, as the menu, the toolbar and the shortcuts
    // run them. Copy with the keyboard focus in the graph pane copies the
    // graph's picture instead of the selected block. What is copied goes to
    // the clipboard and, as text, to the primary selection (middle click).
    void editCopy();
    void editCut();
    void editPaste();
    // Enables Copy, Cut and Paste for the document and the clipboard now.
    void updateEditActions();
    QAction* copyAction() const { return m_copyAction; }
    QAction* cutAction() const { return m_cutAction; }
    QAction* pasteAction() const { return m_pasteAction; }
    QMenu* editMenu() const { return m_editMenu; }
    QWidget* graphPane() const;
    QSplitter* splitter() const { return m_splitter; }
    QLabel* shapePane() const { return m_shapePane; }
    QLabel* positionPane() const { return m_positionPane; }
    QDockWidget* hdfBar() const { return m_hdfBar; }
    QTreeWidget* hdfTree() const { return m_hdfTree; }
    HdfTreeBar* hdfTreeBar() const { return m_hdfTreeBar; }
    QAction* hdfTreeAction() const { return m_hdfTreeAction; }
    QToolBar* firstToolBar() const { return m_toolBar1; }
    QToolBar* secondToolBar() const { return m_toolBar2; }

    // The filter the Open dialog shows first; kept for the life of the process.
    static int lastOpenFilter();
    static void setLastOpenFilter(int filter);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createBars();
    void updateRecentMenu();
    void addRecentFile(const QString& path);
    void setPaneWidths(int frameWidth);
    void toggleToolBars();
    void putOnClipboard(std::unique_ptr<CArrayDataSource> source);

    CArrayDoc* m_document;
    SettingsStore* m_settings;
    std::unique_ptr<GridDocument> m_gridLink;
    QSplitter* m_splitter = nullptr;
    CGridView* m_grid = nullptr;
    GraphPlaceholder* m_graphPane = nullptr;
    QLabel* m_shapePane = nullptr;
    QLabel* m_positionPane = nullptr;
    QToolBar* m_toolBar1 = nullptr;
    QToolBar* m_toolBar2 = nullptr;
    QDockWidget* m_hdfBar = nullptr;
    QTreeWidget* m_hdfTree = nullptr;
    HdfTreeBar* m_hdfTreeBar = nullptr;
    QAction* m_hdfTreeAction = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_newAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_saveAsAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_toolBarsAction = nullptr;
    QAction* m_statusBarAction = nullptr;
    QAction* m_dataViewAction = nullptr;
    QAction* m_cutAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_pasteAction = nullptr;
    QMenu* m_editMenu = nullptr;
    bool m_saved = false;
};
