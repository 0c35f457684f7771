// CMainFrame: the viewer's one main window.
//
// Two toolbars at the top, a three-pane status bar (messages, array shape,
// cursor position), a dockable bar for the HDF object tree, and a splitter of
// two rows: the spreadsheet above, the graph pane below. Its size, the pane
// heights and the bar layout live in the settings store. Files dropped on the
// window are opened. User-interface thread only.
#pragma once

#include "CGraphView.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

// Command ids of the graph commands (the ids of the menu items).
namespace command_id {
inline constexpr int HomeView = 32772;
inline constexpr int SetHome = 32773;
inline constexpr int DataView = 32774;
inline constexpr int PaletteCustom = 32775; // ... PaletteCustom + 6: Rainbow Inverted
inline constexpr int ColorBackground = 32782;
inline constexpr int ColorGraph = 32783;
inline constexpr int ColorAxis = 32784;
inline constexpr int ColorGridLines = 32785;
inline constexpr int ColorAxisBack = 32786;
inline constexpr int ColorMarker = 32787;
inline constexpr int ColorLabels = 32788;
inline constexpr int ShowMarker = 32792;
inline constexpr int ShowPalette = 32798;
inline constexpr int HeightPlot = 32799;
inline constexpr int ImageMap = 32800;
inline constexpr int VectorGraph = 32801;
inline constexpr int Refresh = 32802;
inline constexpr int PlaneView = 32815;
inline constexpr int ZoomIn = 32821;
inline constexpr int ZoomOut = 32822;
inline constexpr int AxisScales = 32825;
inline constexpr int Graph = 32771;
inline constexpr int RegionOfInterest = 32789;
inline constexpr int ZScale = 32790;
inline constexpr int PaletteRange = 32816;
inline constexpr int AxisRange = 32817;
inline constexpr int Annotation = 32823;
inline constexpr int Options = 32824;
inline constexpr int PrintSetup = 32826;
inline constexpr int FilePrint = 57607;
inline constexpr int FilePrintPreview = 57609;
inline constexpr int AppAbout = 57664;
} // namespace command_id

class CArrayDataSource;
class XSelectionServer;
class CArrayDoc;
class CGridView;
class DimensionBar;
class GridDocument;
class HdfTreeBar;
class PagePrinter;
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
    // maker makes the graph control (the control library's by default).
    CMainFrame(CArrayDoc* document, SettingsStore* settings, QWidget* parent = nullptr,
               const CPlotrane2DView::ControlMaker& maker = CPlotrane2DView::libraryControl());
    ~CMainFrame() override;

    // Opens path through the document and files it in the recent-file list.
    bool openFile(const QString& path);
    // The File Open command: the dialog, the remembered filter, "CurrentDirectory".
    void onFileOpen();
    // Remembers the frame size when both sides exceed 30 pixels, the pane
    // heights and the bar layout; nothing from a frame that was never shown
    // (an automation client that never asked for the window, a --screenshot
    // whose file could not be opened), whose panes were never laid out.
    void saveWindowSettings();
    // The frame has been on screen at least once.
    bool wasShown() const { return m_shown; }
    void storeFrameSize(QSize size);

    CGridView* gridView() const { return m_grid; }
    // The bar under the panes that walks through the dimensions beyond the
    // plane shown (hidden for arrays of fewer than three dimensions).
    DimensionBar* dimensionBar() const { return m_dimensionBar; }
    // View > Next Plane (Page Down) and Previous Plane (Page Up).
    QAction* nextPlaneAction() const { return m_nextPlaneAction; }
    QAction* previousPlaneAction() const { return m_previousPlaneAction; }
    CGraphView* graphView() const { return m_graphView; }
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
    // The server of other programs' clipboard requests (inactive off X11).
    const XSelectionServer* selectionServer() const { return m_selectionServer.get(); }
    QWidget* graphPane() const;
    // The action of a menu command by its command id (32772 Home View ...),
    // or nullptr.
    QAction* commandAction(int id) const;
    // Sets every command's enabled state and check mark from the document
    // and the control, as the menus and toolbar buttons show them. Runs when
    // a menu opens and, coalesced, after every command and document change.
    void updateCommandStates();
    QSplitter* splitter() const { return m_splitter; }
    // The message pane's lasting part: the document's note on how the array
    // was read (statusNote); a fly-by help text covers it while it shows.
    QLabel* notePane() const { return m_notePane; }
    QLabel* shapePane() const { return m_shapePane; }
    QLabel* positionPane() const { return m_positionPane; }
    QDockWidget* hdfBar() const { return m_hdfBar; }
    QTreeWidget* hdfTree() const { return m_hdfTree; }
    HdfTreeBar* hdfTreeBar() const { return m_hdfTreeBar; }
    // Print, Print Preview and Print Setup of the File menu.
    PagePrinter* pagePrinter() const { return m_pagePrinter; }
    // Help > About: the About dialog with the system information.
    void showAbout();
    QAction* hdfTreeAction() const { return m_hdfTreeAction; }
    QToolBar* firstToolBar() const { return m_toolBar1; }
    QToolBar* secondToolBar() const { return m_toolBar2; }

    // The filter the Open dialog shows first; kept for the life of the frame.
    int lastOpenFilter() const { return m_lastOpenFilter; }
    void setLastOpenFilter(int filter) { m_lastOpenFilter = filter; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
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
    void createGraphCommands(QMenu* view, QMenu* palette, QMenu* colors, QMenu* dataMenu);
    // The Settings menu, Palette Range and Annotation: the settings dialogs.
    void createSettingsCommands(QMenu* settings, QMenu* palette, QMenu* dataMenu);
    QAction* addCommand(QMenu* menu, int id, const QString& text, const QString& tip,
                        bool checkable, std::function<void()> action);
    void chooseColor(int dispid);
    void scheduleCommandStates();
    void putOnClipboard(std::unique_ptr<CArrayDataSource> source);

    CArrayDoc* m_document;
    SettingsStore* m_settings;
    std::unique_ptr<GridDocument> m_gridLink;
    // Answers other programs' requests for what Copy put on the clipboard.
    std::unique_ptr<XSelectionServer> m_selectionServer;
    QSplitter* m_splitter = nullptr;
    CGridView* m_grid = nullptr;
    CGraphView* m_graphView = nullptr;
    DimensionBar* m_dimensionBar = nullptr;
    QAction* m_nextPlaneAction = nullptr;
    QAction* m_previousPlaneAction = nullptr;
    std::map<int, QAction*> m_commands;
    QTimer m_stateUpdate;
    QLabel* m_notePane = nullptr;
    QLabel* m_shapePane = nullptr;
    QLabel* m_positionPane = nullptr;
    QToolBar* m_toolBar1 = nullptr;
    QToolBar* m_toolBar2 = nullptr;
    QDockWidget* m_hdfBar = nullptr;
    QTreeWidget* m_hdfTree = nullptr;
    HdfTreeBar* m_hdfTreeBar = nullptr;
    PagePrinter* m_pagePrinter = nullptr;
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
    bool m_shown = false;
    int m_lastOpenFilter = 0;
};
