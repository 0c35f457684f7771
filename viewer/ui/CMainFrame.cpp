#include "CMainFrame.h"

#include "CArrayDoc.h"
#include "CGridView.h"
#include "FrameRules.h"
#include "GraphPlaceholder.h"
#include "HdfTreeBar.h"
#include "SettingsStore.h"
#include "ViewerSettings.h"
#include "aglArray.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

namespace {

int g_lastOpenFilter = 0;

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

} // namespace

int CMainFrame::lastOpenFilter() {
    return g_lastOpenFilter;
}
void CMainFrame::setLastOpenFilter(int filter) {
    g_lastOpenFilter = filter;
}

CMainFrame::CMainFrame(CArrayDoc* document, SettingsStore* settings, QWidget* parent)
    : QMainWindow(parent), m_document(document), m_settings(settings),
      m_gridLink(std::make_unique<DocumentGridLink>(document)) {
    setObjectName("CMainFrame");
    setWindowTitle("VERADYNE Tavrix");
    const int width = settings->appWidth();
    resize(width, settings->appHeight());

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_grid = new CGridView(m_gridLink.get(), m_splitter);
    document->addView(m_grid);
    // The graph view takes this pane once it exists; until then it stays empty.
    m_graphPane = new GraphPlaceholder(document, m_splitter);
    m_splitter->addWidget(m_grid);
    m_splitter->addWidget(m_graphPane);
    m_splitter->setSizes({settings->gridViewHeight(), settings->graphViewHeight()});
    setCentralWidget(m_splitter);

    createActions();
    createBars();
    setPaneWidths(width);

    connect(document, &CArrayDoc::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title.isEmpty() ? QString("VERADYNE Tavrix") : title);
    });
    connect(document, &CArrayDoc::statusTextChanged, this, [this](int pane, const QString& text) {
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
}

QWidget* CMainFrame::graphPane() const {
    return m_graphPane;
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

    QMenu* settings = menuBar()->addMenu("&Settings");
    settings->addAction(m_dataViewAction);
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
    for (QToolBar* bar : {m_toolBar1, m_toolBar2}) {
        bar->setIconSize(QSize(16, 16));
        bar->setAllowedAreas(Qt::AllToolBarAreas);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar1);
    addToolBar(Qt::TopToolBarArea, m_toolBar2);

    m_shapePane = new QLabel(this);
    m_positionPane = new QLabel(this);
    for (QLabel* pane : {m_shapePane, m_positionPane}) {
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
    }
    statusBar()->setMinimumWidth(10);
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
    if (focus && (focus == m_graphPane || m_graphPane->isAncestorOf(focus))) {
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
    dialog.setNameFilters(frame_rules::openNameFilters(g_lastOpenFilter));
    dialog.setDirectory(QDir::currentPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    g_lastOpenFilter = frame_rules::filterForPath(path);
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
    storeFrameSize(size());
    m_settings->writeGridViewHeight(m_grid->height());
    m_settings->writeGraphViewHeight(m_graphPane->height());
    viewer_settings::setBarLayout(saveState());
    m_settings->writeInt("StatusBarShown", statusBar()->isHidden() ? 0 : 1);
    m_settings->sync();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
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
