// Over 800 lines: the one main window, its menus, commands and their enabled states.
#include "CMainFrame.h"

#include "AboutDialog.h"
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CPlotrane2D.h"
#include "DimensionBar.h"
#include "FrameRules.h"
#include "HdfTreeBar.h"
#include "PagePrinter.h"
#include "SettingsDialogs.h"
#include "SettingsStore.h"
#include "ViewerSettings.h"
#include "XSelectionServer.h"
#include "aglArray.h"
#include "plotrane/ControlFactory.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The Data View button: a small table with a highlighted cell.
QIcon dataViewIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(70, 70, 70));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 11);
    p.fillRect(2, 3, 12, 3, QColor(200, 200, 200));
    p.fillRect(6, 9, 4, 3, QColor(60, 110, 200));
    for (int x : {5, 10})
        p.drawLine(x, 3, x, 12);
    for (int y : {6, 9})
        p.drawLine(2, y, 13, y);
    return QIcon(pixmap);
}

// The spreadsheet's view of the document.
class DocumentGridLink : public GridDocument {
public:
    explicit DocumentGridLink(CArrayDoc* document) : m_document(document) {}
    const aglArray* gridArray() const override {
        return m_document->hasData() ? m_document->currentArray() : nullptr;
    }
    void moveMarker(int64_t row, int64_t column, QObject* from) override {
        m_document->setCursor(int(row), int(column), dynamic_cast<DocView*>(from));
    }

private:
    CArrayDoc* m_document;
};

// The toolbar pictures of the graph commands: small drawings, one per kind
// of command.
QIcon commandIcon(int id) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(50, 50, 50);
    p.setPen(ink);
    switch (id) {
    case command_id::HeightPlot:
        p.setBrush(QColor(90, 160, 220));
        p.drawPolygon(QPolygon({{1, 13}, {5, 6}, {9, 9}, {14, 3}, {14, 13}}));
        break;
    case command_id::ImageMap:
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                p.fillRect(2 + 4 * c, 2 + 4 * r, 4, 4, QColor::fromHsv((r * 3 + c) * 28, 200, 230));
        p.setBrush(Qt::NoBrush);
        p.drawRect(2, 2, 12, 12);
        break;
    case command_id::VectorGraph:
        p.drawLine(2, 13, 13, 3);
        p.drawLine(13, 3, 9, 4);
        p.drawLine(13, 3, 12, 7);
        p.drawLine(3, 7, 9, 11);
        break;
    case command_id::PlaneView:
        p.drawLine(1, 14, 15, 14);
        p.drawLine(1, 14, 1, 1);
        p.setPen(QColor(200, 60, 60));
        p.drawPolyline(QPolygon({{2, 11}, {5, 5}, {8, 9}, {11, 3}, {14, 7}}));
        break;
    case command_id::ZoomIn:
    case command_id::ZoomOut:
        p.drawEllipse(2, 2, 9, 9);
        p.drawLine(10, 10, 14, 14);
        p.drawLine(4, 6, 9, 6);
        if (id == command_id::ZoomIn) p.drawLine(6, 4, 6, 9);
        break;
    case command_id::HomeView:
        p.setBrush(QColor(230, 200, 120));
        p.drawPolygon(QPolygon({{2, 8}, {8, 2}, {14, 8}, {12, 8}, {12, 14}, {4, 14}, {4, 8}}));
        break;
    case command_id::ShowPalette: {
        QLinearGradient g(0, 14, 0, 2);
        g.setColorAt(0, Qt::blue);
        g.setColorAt(0.5, Qt::green);
        g.setColorAt(1, Qt::red);
        p.fillRect(5, 2, 6, 12, g);
        p.drawRect(5, 2, 6, 12);
        break;
    }
    case command_id::ShowMarker:
        p.drawLine(8, 1, 8, 15);
        p.drawLine(1, 8, 15, 8);
        p.drawEllipse(5, 5, 6, 6);
        break;
    default:
        break;
    }
    return QIcon(pixmap);
}

} // namespace

CMainFrame::CMainFrame(CArrayDoc* document, SettingsStore* settings, QWidget* parent,
                       const CPlotrane2DView::ControlMaker& maker)
    : QMainWindow(parent), m_document(document), m_settings(settings),
      m_gridLink(std::make_unique<DocumentGridLink>(document)),
      m_selectionServer(std::make_unique<XSelectionServer>()) {
    setObjectName("CMainFrame");
    setWindowTitle("VERADYNE Tavrix");
    const QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize available = shownOn ? shownOn->availableGeometry().size() : QSize();
    const QSize restored =
        frame_rules::restoredFrameSize(settings->appWidth(), settings->appHeight(), available);
    const int width = restored.width();
    resize(restored);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_grid = new CGridView(m_gridLink.get(), m_splitter);
    document->addView(m_grid);
    m_graphView = new CGraphView(document, m_splitter, maker);
    m_splitter->addWidget(m_grid);
    m_splitter->addWidget(m_graphView);
    m_splitter->setSizes(
        {frame_rules::restoredPaneHeight(settings->gridViewHeight(), available.height()),
         frame_rules::restoredPaneHeight(settings->graphViewHeight(), available.height())});
    // Under both panes: the dimension bar, for arrays of three or more
    // dimensions (hidden otherwise).
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_splitter, 1);
    m_dimensionBar = new DimensionBar(document, m_graphView, central);
    column->addWidget(m_dimensionBar);
    setCentralWidget(central);

    createActions();
    createBars();
    setPaneWidths(width);

    connect(document, &CArrayDoc::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title.isEmpty() ? QString("VERADYNE Tavrix") : title);
    });
    connect(document, &CArrayDoc::statusTextChanged, this, [this](int pane, const QString& text) {
        if (pane == 0) {
            m_notePane->setText(text);
            m_notePane->setToolTip(text);
        }
        if (pane == 1) m_shapePane->setText(text);
        if (pane == 2) m_positionPane->setText(text);
    });
    connect(document, &CArrayDoc::hdfTreeHideRequested, m_hdfBar, &QWidget::hide);
    connect(document, &CArrayDoc::frameHideRequested, this, &QWidget::hide);
    // An array handed over by an automation client stays until the client
    // lets go: nothing else may be opened over it.
    m_openAction->setEnabled(!document->isClientOwned());
    connect(document, &CArrayDoc::clientOwnedChanged, m_openAction,
            [this](bool owned) { m_openAction->setEnabled(!owned); });
    connect(m_grid, &CGridView::dataViewChanged, this, [this] { m_document->settingsChanged(); });

    m_stateUpdate.setSingleShot(true);
    connect(&m_stateUpdate, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    connect(document, &CArrayDoc::arrayChanged, this, &CMainFrame::scheduleCommandStates);
    connect(document, &CArrayDoc::modifiedChanged, this, &CMainFrame::scheduleCommandStates);
    connect(document, &CArrayDoc::cursorMoved, this, &CMainFrame::scheduleCommandStates);
    // The check marks and enabled states follow every change, whoever made
    // it: a client through automation, the control's own property pages.
    connect(document, &CArrayDoc::clientChanged, this, &CMainFrame::scheduleCommandStates);
    connect(m_dimensionBar, &DimensionBar::dimensionsChanged, this,
            &CMainFrame::scheduleCommandStates);
    connect(m_graphView, &CPlotrane2DView::propertyChanged, this,
            &CMainFrame::scheduleCommandStates);
    updateCommandStates();
    // A load can make the document client-owned after it reports the new
    // array: look at the states once the load is over.
    connect(document, &CArrayDoc::arrayChanged, this,
            [this] { QTimer::singleShot(0, this, &CMainFrame::updateEditActions); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CMainFrame::updateEditActions);
    updateEditActions();
}

CMainFrame::~CMainFrame() {
    m_document->removeView(m_grid);
    // The children go after this destructor, in QWidget's, and some signal
    // on the way (the dock bar reports itself hidden): by then this is no
    // longer a CMainFrame, and the frame's handlers must not run.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    m_document->disconnect(this);
}

QWidget* CMainFrame::graphPane() const {
    return m_graphView;
}

void CMainFrame::createActions() {
    QStyle* s = style();
    m_newAction = new QAction(
        QIcon::fromTheme("document-new", s->standardIcon(QStyle::SP_FileIcon)), "&New", this);
    m_newAction->setShortcut(QKeySequence::New);
    m_newAction->setStatusTip("Create a new document");
    connect(m_newAction, &QAction::triggered, this, [this] { m_document->newDocument(); });

    m_openAction =
        new QAction(QIcon::fromTheme("document-open", s->standardIcon(QStyle::SP_DialogOpenButton)),
                    "&Open...", this);
    m_openAction->setShortcut(QKeySequence::Open);
    m_openAction->setStatusTip("Open an existing document");
    connect(m_openAction, &QAction::triggered, this, &CMainFrame::onFileOpen);

    m_saveAction =
        new QAction(QIcon::fromTheme("document-save", s->standardIcon(QStyle::SP_DialogSaveButton)),
                    "&Save", this);
    m_saveAction->setShortcut(QKeySequence::Save);
    m_saveAction->setStatusTip("Save the array");
    connect(m_saveAction, &QAction::triggered, this, [this] { m_document->saveCommand(); });

    m_saveAsAction = new QAction("Save &As...", this);
    m_saveAsAction->setStatusTip("Save the array under a new name");
    connect(m_saveAsAction, &QAction::triggered, this, [this] { m_document->saveAs(); });

    m_exitAction = new QAction("E&xit", this);
    m_exitAction->setStatusTip("Quit the application");
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);

    m_toolBarsAction = new QAction("&Toolbar", this);
    m_toolBarsAction->setCheckable(true);
    m_toolBarsAction->setStatusTip("Show or hide the toolbars");
    connect(m_toolBarsAction, &QAction::triggered, this, &CMainFrame::toggleToolBars);

    m_statusBarAction = new QAction("&Status Bar", this);
    m_statusBarAction->setCheckable(true);
    m_statusBarAction->setStatusTip("Show or hide the status bar");
    connect(m_statusBarAction, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });

    m_dataViewAction = new QAction(dataViewIcon(), "&Data View...", this);
    m_dataViewAction->setStatusTip("Set the precision and form of the spreadsheet's numbers");
    connect(m_dataViewAction, &QAction::triggered, this, [this] { m_grid->showDataViewDialog(); });

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(m_newAction);
    file->addAction(m_openAction);
    file->addAction(m_saveAction);
    file->addAction(m_saveAsAction);
    file->addSeparator();
    m_pagePrinter = new PagePrinter(m_document, m_graphView, this);
    struct PrintCommand {
        int id;
        const char* text;
        const char* tip;
        void (PagePrinter::*run)();
    };
    for (const PrintCommand& pc :
         {PrintCommand{command_id::FilePrint, "&Print...", "Print the graph with a title",
                       &PagePrinter::print},
          PrintCommand{command_id::FilePrintPreview, "Print Pre&view",
                       "Show the printed page on the screen", &PagePrinter::printPreview},
          PrintCommand{command_id::PrintSetup, "P&rint Setup...", "Setup print formatting options.",
                       &PagePrinter::printSetup}}) {
        QAction* a = file->addAction(pc.text);
        a->setData(pc.id);
        a->setObjectName(QString("command%1").arg(pc.id));
        a->setStatusTip(pc.tip);
        connect(a, &QAction::triggered, m_pagePrinter, pc.run);
        m_commands[pc.id] = a;
    }
    m_commands[command_id::FilePrint]->setShortcut(QKeySequence::Print);
    file->addSeparator();
    m_recentMenu = file->addMenu("Recent &Files");
    file->addSeparator();
    file->addAction(m_exitAction);
    updateRecentMenu();

    m_cutAction =
        new QAction(QIcon::fromTheme("edit-cut", s->standardIcon(QStyle::SP_DialogDiscardButton)),
                    "Cu&t", this);
    m_cutAction->setShortcut(QKeySequence::Cut);
    m_cutAction->setStatusTip("Cut the selection and put it on the Clipboard");
    connect(m_cutAction, &QAction::triggered, this, &CMainFrame::editCut);
    m_copyAction = new QAction(QIcon::fromTheme("edit-copy", s->standardIcon(QStyle::SP_FileIcon)),
                               "&Copy", this);
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setStatusTip("Copy the selection and put it on the Clipboard");
    connect(m_copyAction, &QAction::triggered, this, &CMainFrame::editCopy);
    m_pasteAction =
        new QAction(QIcon::fromTheme("edit-paste", s->standardIcon(QStyle::SP_DialogApplyButton)),
                    "&Paste", this);
    m_pasteAction->setShortcut(QKeySequence::Paste);
    m_pasteAction->setStatusTip("Insert Clipboard contents");
    connect(m_pasteAction, &QAction::triggered, this, &CMainFrame::editPaste);
    // Shortcuts of the frame's actions reach it from every child.
    for (QAction* a : {m_cutAction, m_copyAction, m_pasteAction})
        a->setShortcutContext(Qt::WindowShortcut);

    m_editMenu = menuBar()->addMenu("&Edit");
    m_editMenu->addAction(m_cutAction);
    m_editMenu->addAction(m_copyAction);
    m_editMenu->addAction(m_pasteAction);
    connect(m_editMenu, &QMenu::aboutToShow, this, &CMainFrame::updateEditActions);

    // View, HDF Tree: enabled while an HDF file's objects are listed,
    // checked while the bar is up (the bar's own close button hides it too).
    m_hdfTreeAction = new QAction("&HDF Tree", this);
    m_hdfTreeAction->setCheckable(true);
    m_hdfTreeAction->setEnabled(false);
    m_hdfTreeAction->setStatusTip("Show or hide the objects of the HDF file");
    connect(m_hdfTreeAction, &QAction::triggered, this,
            [this] { m_hdfTreeBar->setShown(!m_hdfTreeBar->isShown()); });

    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(m_toolBarsAction);
    view->addAction(m_statusBarAction);
    view->addAction(m_hdfTreeAction);
    view->addSeparator();
    QMenu* palette = menuBar()->addMenu("&Palette");
    QMenu* colors = menuBar()->addMenu("&Colors");
    QMenu* dataMenu = menuBar()->addMenu("&Data");

    QMenu* settings = menuBar()->addMenu("&Settings");
    QMenu* help = menuBar()->addMenu("&Help");
    QAction* about = help->addAction("&About Tavrix...");
    about->setData(command_id::AppAbout);
    about->setObjectName(QString("command%1").arg(command_id::AppAbout));
    about->setStatusTip("Display program information, version number and system information");
    connect(about, &QAction::triggered, this, &CMainFrame::showAbout);
    m_commands[command_id::AppAbout] = about;

    createGraphCommands(view, palette, colors, dataMenu);
    createSettingsCommands(settings, palette, dataMenu);
    for (QMenu* menu : {view, palette, colors, dataMenu, settings})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
}

QAction* CMainFrame::addCommand(QMenu* menu, int id, const QString& text, const QString& tip,
                                bool checkable, std::function<void()> action) {
    auto* a = new QAction(text, this);
    a->setData(id);
    a->setObjectName(QString("command%1").arg(id));
    a->setStatusTip(tip);
    a->setCheckable(checkable);
    const QIcon icon = commandIcon(id);
    if (!icon.pixmap(16, 16).toImage().isNull()) a->setIcon(icon);
    connect(a, &QAction::triggered, this, [this, a, action = std::move(action)] {
        // A check mark follows the document, not the click.
        if (a->isCheckable()) a->setChecked(!a->isChecked());
        action();
        scheduleCommandStates();
    });
    menu->addAction(a);
    m_commands[id] = a;
    return a;
}

void CMainFrame::createGraphCommands(QMenu* view, QMenu* palette, QMenu* colors, QMenu* dataMenu) {
    using namespace command_id;
    CArrayDoc* d = m_document;
    auto onControl = [d](auto f) {
        return [d, f] {
            if (CPlotrane2D* c = d->control()) f(c);
        };
    };
    addCommand(view, HomeView, "&Home View", "Move the camera to its home position", false,
               onControl([](CPlotrane2D* c) {
                   c->dispatch()->Invoke(plotrane::DISPID_ToHomePosition, {});
               }));
    addCommand(view, SetHome, "&Set Home", "Make the camera's position the home position", false,
               onControl([](CPlotrane2D* c) {
                   c->dispatch()->Invoke(plotrane::DISPID_SetHomePosition, {});
               }));
    addCommand(view, ShowMarker, "Show &Marker", "Show or hide the marker", true,
               [d] { d->toggleShowMarker(); });
    addCommand(view, ShowPalette, "Show Pa&lette", "Show or hide the palette bar", true,
               [d] { d->toggleShowPalette(); });
    addCommand(view, AxisScales, "A&xis Scales", "Label the axes with the dimension scales", true,
               [d] { d->setDisplayDimScales(!d->options().displayDimScales); });
    view->addSeparator();
    addCommand(view, HeightPlot, "H&eight Plot", "Show the array as a height plot", true,
               [d] { d->selectGraphType(CArrayDoc::HeightPlot); });
    addCommand(view, ImageMap, "&Image Map", "Show the array as an image map", true,
               [d] { d->selectGraphType(CArrayDoc::ImageMap); });
    addCommand(view, VectorGraph, "&Vector Graph", "Show the array's rows as vectors", true,
               [d] { d->selectGraphType(CArrayDoc::VectorGraph); });
    addCommand(view, PlaneView, "Pla&ne View", "Show the rows or columns as lines", true,
               [d] { d->selectGraphType(CArrayDoc::PlaneView); });
    view->addSeparator();
    addCommand(view, ZoomIn, "Zoom &In", "Show half the area around the marker", false,
               [d] { d->zoomIn(); });
    addCommand(view, ZoomOut, "Zoom &Out", "Go back to the previous region", false,
               [d] { d->zoomOut(); });
    // The dimension bar's first line, one index on or back. Only while the
    // bar offers a dimension: otherwise the keys page the spreadsheet.
    view->addSeparator();
    struct PlaneCommand {
        const char* name;
        const char* text;
        const char* tip;
        Qt::Key key;
        int step;
    };
    for (const PlaneCommand& pc :
         {PlaneCommand{"nextPlane", "Next &Plane", "Show the first dimension's next index",
                       Qt::Key_PageDown, 1},
          PlaneCommand{"previousPlane", "P&revious Plane",
                       "Show the first dimension's previous index", Qt::Key_PageUp, -1}}) {
        QAction* a = view->addAction(pc.text);
        a->setObjectName(pc.name);
        a->setStatusTip(pc.tip);
        a->setShortcut(QKeySequence(pc.key));
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false);
        const int step = pc.step;
        connect(a, &QAction::triggered, this, [this, step] { m_dimensionBar->stepFirst(step); });
        (step > 0 ? m_nextPlaneAction : m_previousPlaneAction) = a;
    }

    static const char* const paletteNames[] = {
        "&Custom",  "&Gray Scale",     "Gray Scale &Banded", "Gray Scale &Inverted",
        "&Rainbow", "Rainbow B&anded", "Rainbow In&verted"};
    for (int n = 0; n < 7; ++n)
        addCommand(palette, PaletteCustom + n, paletteNames[n],
                   QString("Colour the graph with the %1 palette")
                       .arg(QString(paletteNames[n]).remove('&')),
                   true, [d, n] { d->setPaletteId(n); });

    struct ColorCommand {
        int id;
        const char* text;
        int dispid;
    };
    for (const ColorCommand& cc :
         {ColorCommand{ColorBackground, "&Background...", plotrane::DISPID_BackColor},
          ColorCommand{ColorGraph, "&Graph...", plotrane::DISPID_GraphColor},
          ColorCommand{ColorGridLines, "Grid &Lines...", plotrane::DISPID_GridColor},
          ColorCommand{ColorMarker, "&Marker...", plotrane::DISPID_CursorColor},
          ColorCommand{ColorLabels, "La&bels...", plotrane::DISPID_AxisLabelColor},
          ColorCommand{ColorAxis, "Axis &Foreground...", plotrane::DISPID_AxisColor},
          ColorCommand{ColorAxisBack, "Axis Bac&kground...", plotrane::DISPID_AxisBackColor}}) {
        const int dispid = cc.dispid;
        addCommand(colors, cc.id, cc.text, "Choose a colour of the graph", false,
                   [this, dispid] { chooseColor(dispid); });
    }

    addCommand(dataMenu, Refresh, "&Refresh", "Draw the client's array again", false, [d] {
        if (d->canRefreshData()) d->refresh();
    });
}

void CMainFrame::createSettingsCommands(QMenu* settings, QMenu* palette, QMenu* dataMenu) {
    using namespace command_id;
    namespace run = settings_dialogs;
    palette->addSeparator();
    addCommand(palette, PaletteRange, "Ra&nge...", "Set the range of values the palette spans",
               false, [this] { run::runPaletteRange(m_graphView, this); });
    addCommand(settings, Graph, "&Graph...", "Change the settings of the graph shown", false,
               [this] { run::runGraph(m_graphView, this); });
    addCommand(settings, ZScale, "&Scale...", "Stretch or flatten the graph's height", false,
               [this] { run::runZScale(m_graphView, this); });
    addCommand(settings, AxisRange, "&Axis...", "Set the ranges of the axes", false,
               [this] { run::runAxisRange(m_graphView, this); });
    settings->addAction(m_dataViewAction);
    m_dataViewAction->setData(DataView);
    m_commands[DataView] = m_dataViewAction;
    // Play stops first: the dialog edits the region a step would move.
    addCommand(settings, RegionOfInterest, "&ROI...", "Choose the part of the array shown", false,
               [this] {
                   m_dimensionBar->stop();
                   run::runRegionOfInterest(m_graphView, this);
               });
    addCommand(settings, Options, "&Options...", "Set the fill value and the file options", false,
               [this] { run::runOptions(m_document, this); });
    addCommand(dataMenu, Annotation, "&Annotation...", "Show or edit the file's annotation", false,
               [this] { run::runAnnotation(m_document, this); });
    // The control's own property sheet: every property it has, validated by
    // the control itself.
    settings->addSeparator();
    QAction* pages = settings->addAction("Control &Properties...", this, [this] {
        if (QWidget* control = m_graphView ? m_graphView->controlWidget() : nullptr)
            plotrane::showPropertyPages(control);
    });
    pages->setObjectName("controlProperties");
    pages->setStatusTip("Edit every property of the graph control");
    connect(settings, &QMenu::aboutToShow, pages,
            [this, pages] { pages->setEnabled(m_graphView && m_graphView->controlWidget()); });
}

void CMainFrame::showAbout() {
    AboutDialog dialog(m_document, this);
    dialog.exec();
}

void CMainFrame::chooseColor(int dispid) {
    CPlotrane2D* c = m_document->control(true);
    if (!c) return;
    const uint32_t rgb = translateOleColor(uint32_t(c->getInt(dispid)));
    QColorDialog dialog(QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF)),
                        this);
    dialog.setObjectName("colorDialog");
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return;
    // The control may have gone while the dialog was open.
    if (!(c = m_document->control(true))) return;
    const QColor q = dialog.selectedColor();
    c->setColor(dispid, uint32_t(q.red()) | uint32_t(q.green()) << 8 | uint32_t(q.blue()) << 16);
}

QAction* CMainFrame::commandAction(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainFrame::scheduleCommandStates() {
    if (!m_stateUpdate.isActive()) m_stateUpdate.start(0);
}

void CMainFrame::updateCommandStates() {
    using namespace command_id;
    using namespace plotrane;
    CArrayDoc* d = m_document;
    CPlotrane2D* c = d->control(true);
    const bool array = d->hasData();
    const int kind = d->currentGraphType();
    auto set = [this](int id, bool enabled, bool checked = false) {
        QAction* a = commandAction(id);
        if (!a) return;
        a->setEnabled(enabled);
        if (a->isCheckable()) a->setChecked(checked);
    };
    auto prop = [c](int dispid) { return c ? c->getInt(dispid) : 0; };

    const bool freeCamera = c && prop(DISPID_CamViewType) == 0;
    set(HomeView, array && freeCamera);
    set(SetHome, array && freeCamera);
    set(ShowMarker, c != nullptr, prop(DISPID_ShowCursor) != 0);
    const int w = c ? prop(DISPID_WComp) : -1;
    const bool paletteFits =
        kind != CArrayDoc::VectorGraph || (w != -1 && w < prop(DISPID_NumColumns));
    set(ShowPalette, array && c && paletteFits, prop(DISPID_ShowPalette) != 0);

    bool rowScale = false, colScale = false;
    if (array) {
        rowScale = d->hasAxisScale(d->currentArray()->rowDim());
        colScale = d->hasAxisScale(d->currentArray()->colDim());
    }
    const bool scales = array && (((kind == CArrayDoc::HeightPlot || kind == CArrayDoc::ImageMap) &&
                                   (rowScale || colScale)) ||
                                  (kind == CArrayDoc::PlaneView && colScale));
    set(AxisScales, scales, d->options().displayDimScales);

    const std::pair<int, int> kinds[] = {{HeightPlot, CArrayDoc::HeightPlot},
                                         {ImageMap, CArrayDoc::ImageMap},
                                         {VectorGraph, CArrayDoc::VectorGraph},
                                         {PlaneView, CArrayDoc::PlaneView}};
    for (auto [id, k] : kinds)
        set(id, c && d->isGraphTypeAllowed(k), kind == k);
    set(ZoomIn, d->canZoomIn());
    set(ZoomOut, d->canZoomOut());

    const int paletteId = c ? prop(DISPID_PaletteId) : -1;
    for (int n = 0; n < 7; ++n)
        set(PaletteCustom + n, array, paletteId == n && (n != 0 || d->hasCustomPalette()));

    set(ColorBackground, array);
    set(ColorGraph, c && !prop(DISPID_UseColorPalette));
    set(ColorGridLines,
        c && prop(DISPID_ShowGrid) && prop(DISPID_GraphType) != 3 && prop(DISPID_GraphStyle) == 1);
    set(ColorMarker, c && prop(DISPID_ShowCursor));
    set(ColorLabels, array);
    set(ColorAxis, c != nullptr);
    set(ColorAxisBack, c != nullptr);
    set(Refresh, array && d->canRefreshData());
    const bool planes = m_dimensionBar && !m_dimensionBar->dimensions().empty();
    m_nextPlaneAction->setEnabled(planes);
    m_previousPlaneAction->setEnabled(planes);
    set(DataView, array);

    set(Graph, array && c && kind != CArrayDoc::NoGraph);
    set(ZScale, array && c && (kind == CArrayDoc::HeightPlot || kind == CArrayDoc::VectorGraph));
    set(AxisRange, array && c &&
                       (kind == CArrayDoc::HeightPlot || kind == CArrayDoc::VectorGraph ||
                        kind == CArrayDoc::PlaneView));
    set(PaletteRange, array && c && !(kind == CArrayDoc::VectorGraph && w == -1));
    set(RegionOfInterest, array && c);
    set(Options, true);
    set(Annotation, array && d->fileKind() == CArrayDoc::KindAgl &&
                        (d->options().saveAglAttr || !d->annotation().empty()));
}

void CMainFrame::createBars() {
    m_toolBar1 = new QToolBar("Standard", this);
    m_toolBar1->setObjectName("toolBar128");
    m_toolBar1->addAction(m_newAction);
    m_toolBar1->addAction(m_openAction);
    m_toolBar1->addAction(m_saveAction);
    m_toolBar1->addSeparator();
    m_toolBar1->addAction(m_cutAction);
    m_toolBar1->addAction(m_copyAction);
    m_toolBar1->addAction(m_pasteAction);
    m_toolBar2 = new QToolBar("View", this);
    m_toolBar2->setObjectName("toolBar140");
    m_toolBar2->addAction(m_dataViewAction);
    m_toolBar2->addSeparator();
    for (int id : {command_id::HeightPlot, command_id::ImageMap, command_id::VectorGraph,
                   command_id::PlaneView})
        m_toolBar2->addAction(commandAction(id));
    m_toolBar2->addSeparator();
    for (int id : {command_id::ZoomIn, command_id::ZoomOut, command_id::HomeView,
                   command_id::ShowPalette, command_id::ShowMarker})
        m_toolBar2->addAction(commandAction(id));
    for (QToolBar* bar : {m_toolBar1, m_toolBar2}) {
        bar->setIconSize(QSize(16, 16));
        bar->setAllowedAreas(Qt::AllToolBarAreas);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar1);
    addToolBar(Qt::TopToolBarArea, m_toolBar2);

    m_notePane = new QLabel(this);
    m_notePane->setObjectName("notePane");
    m_notePane->setTextFormat(Qt::PlainText);
    // Narrower than its text when the frame is: the pane may be cut, the
    // frame is never widened by it.
    m_notePane->setMinimumWidth(1);
    m_shapePane = new QLabel(this);
    m_positionPane = new QLabel(this);
    for (QLabel* pane : {m_shapePane, m_positionPane}) {
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
    }
    statusBar()->setMinimumWidth(10);
    statusBar()->addWidget(m_notePane, 1);
    statusBar()->addPermanentWidget(m_shapePane);
    statusBar()->addPermanentWidget(m_positionPane);

    m_hdfBar = new QDockWidget("HDF Objects", this);
    m_hdfBar->setObjectName("hdfTreeBar");
    m_hdfTree = new QTreeWidget(m_hdfBar);
    m_hdfTree->setObjectName("hdfTree");
    m_hdfTree->header()->hide();
    m_hdfTree->setIconSize(QSize(16, 16));
    m_hdfBar->setWidget(m_hdfTree);
    m_hdfBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    addDockWidget(Qt::LeftDockWidgetArea, m_hdfBar);
    m_hdfTreeBar = new HdfTreeBar(m_document, m_hdfBar, m_hdfTree);
    connect(m_hdfBar, &QDockWidget::visibilityChanged, this,
            [this] { m_hdfTreeAction->setChecked(!m_hdfBar->isHidden()); });
    auto followDocument = [this] {
        m_hdfTreeAction->setEnabled(m_document->hasData() && m_document->hdfTreeAvailable());
    };
    connect(m_document, &CArrayDoc::arrayChanged, this, followDocument);
    connect(m_document, &CArrayDoc::hdfTreeFilled, this, followDocument);

    const QByteArray state = viewer_settings::barLayout();
    if (!state.isEmpty()) restoreState(state);
    statusBar()->setVisible(m_settings->readInt("StatusBarShown", 1) != 0);
    m_hdfBar->hide();

    m_toolBarsAction->setChecked(!m_toolBar1->isHidden() || !m_toolBar2->isHidden());
    m_statusBarAction->setChecked(!statusBar()->isHidden());
}

void CMainFrame::toggleToolBars() {
    for (QToolBar* bar : {m_toolBar1, m_toolBar2})
        bar->setVisible(bar->isHidden());
    m_toolBarsAction->setChecked(!m_toolBar1->isHidden() || !m_toolBar2->isHidden());
}

void CMainFrame::updateEditActions() {
    m_copyAction->setEnabled(m_document->canCopy());
    m_cutAction->setEnabled(m_document->canCut());
    m_pasteAction->setEnabled(m_document->canPaste(QGuiApplication::clipboard()->mimeData()));
}

void CMainFrame::putOnClipboard(std::unique_ptr<CArrayDataSource> source) {
    if (!source) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    // X11's second selection: a middle click elsewhere pastes the text.
    if (clipboard->supportsSelection())
        clipboard->setMimeData(source->textOnlyTwin(), QClipboard::Selection);
    clipboard->setMimeData(source.release(), QClipboard::Clipboard);
}

void CMainFrame::editCopy() {
    if (!m_document->canCopy()) return;
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == m_graphView || m_graphView->isAncestorOf(focus))) {
        m_document->copyGraphPicture();
        return;
    }
    putOnClipboard(m_document->copyBlock(false));
}

void CMainFrame::editCut() {
    if (!m_document->canCut()) return;
    putOnClipboard(m_document->copyBlock(true));
}

void CMainFrame::editPaste() {
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    if (!m_document->canPaste(offered)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_document->paste(offered);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::setPaneWidths(int frameWidth) {
    const frame_rules::PaneWidths w = frame_rules::statusPaneWidths(frameWidth);
    m_shapePane->setFixedWidth(w.shape);
    m_positionPane->setFixedWidth(w.position);
    m_positionPane->setVisible(w.position > 0);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    setPaneWidths(width());
}

bool CMainFrame::openFile(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = m_document->open(path.toStdString());
    QApplication::restoreOverrideCursor();
    if (ok) addRecentFile(QFileInfo(path).exists() ? QFileInfo(path).absoluteFilePath() : path);
    return ok;
}

void CMainFrame::onFileOpen() {
    QFileDialog dialog(this, "Open");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix("bmp");
    dialog.setNameFilters(frame_rules::openNameFilters(m_lastOpenFilter));
    dialog.setDirectory(QDir::currentPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    m_lastOpenFilter = frame_rules::filterForPath(path);
    m_settings->writeCurrentDirectory(frame_rules::directoryOf(path).toStdString());
    openFile(path);
}

void CMainFrame::addRecentFile(const QString& path) {
    QStringList files = viewer_settings::recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > viewer_settings::kRecentFiles)
        files.removeLast();
    viewer_settings::setRecentFiles(files);
    updateRecentMenu();
}

void CMainFrame::updateRecentMenu() {
    m_recentMenu->clear();
    const QStringList files = viewer_settings::recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* a = m_recentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(path));
        connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    m_recentMenu->setEnabled(!files.isEmpty());
}

void CMainFrame::storeFrameSize(QSize size) {
    if (!frame_rules::sizeWorthStoring(size.width(), size.height())) return;
    m_settings->writeAppSize(size.width(), size.height());
}

void CMainFrame::saveWindowSettings() {
    if (!m_shown) return;
    storeFrameSize(size());
    m_settings->writeGridViewHeight(m_grid->height());
    m_settings->writeGraphViewHeight(m_graphView->height());
    viewer_settings::setBarLayout(saveState());
    m_settings->writeInt("StatusBarShown", statusBar()->isHidden() ? 0 : 1);
    m_settings->sync();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        // The panes are laid out now: neither may start as a sliver.
        const QList<int> sizes = m_splitter->sizes();
        if (sizes.size() == 2) {
            const frame_rules::PaneHeights usable =
                frame_rules::usablePaneHeights(sizes[0], sizes[1]);
            if (usable != frame_rules::PaneHeights{sizes[0], sizes[1]})
                m_splitter->setSizes({usable.grid, usable.graph});
        }
    }
    m_shown = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Not from inside a wait for the HDF helper: the load under way owns
    // the document until it ends (its progress box offers Cancel).
    if (m_document->isWaitingForHelper()) {
        event->ignore();
        return;
    }
    // A document that belongs to an automation client hides instead.
    if (!m_document->closeDocument()) {
        event->ignore();
        return;
    }
    if (!m_saved) {
        saveWindowSettings();
        m_saved = true;
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        event->acceptProposedAction();
        activateWindow();
        openFile(url.toLocalFile());
        return; // one document at a time: the first file wins
    }
}
