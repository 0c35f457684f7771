// CArrayDoc: the viewer's one document. It owns the array now shown and
// everything that belongs to its file without being the array: annotation,
// palette and axis-scale segments, the per-graph-kind display settings, the
// remembered 3-D camera, the cursor, the zoom history, the file-watch state
// and the options. It opens agl, bitmap and text files (kind chosen by the
// first bytes) and named shared-memory segments, notices when another
// program rewrites the open file and offers to reload it, and saves in the
// agl binary or ASCII format.
//
// The document needs no window. It reaches the user through a MessageSink,
// the settings through a SettingsStore (both owned by the caller and
// outliving the document), and its views through the DocView interfaces:
// views register with addView under their interface; the graph control is
// reached only through the graph view's CPlotrane2D wrapper over the
// control's dispatch interface. What the frame needs to follow (title,
// status panes, cursor, bars) comes out as Qt signals.
//
// The document is the facade the viewer calls; the work of its parts is done
// by services it hands what they need: GraphPresenter (each graph kind's
// settings, the camera, the kind shown), ArrayClipboard (the Edit commands),
// HdfBrowser (an HDF file's objects and the reads through the helper) and
// PrintPicture (the graph's picture for printing).
//
// User-interface thread only.
#pragma once

#include "AglBinaryFormat.h"
#include "ArrayClipboard.h"
#include "CArrayDataSource.h"
#include "ControlSync.h"
#include "GraphPresenter.h"
#include "GraphSettings.h"
#include "HdfBrowser.h"
#include "HdfObjects.h"
#include "PrintPicture.h"
#include "SettingsStore.h"
#include "ZoomHistory.h"
#include "aglAttributes.h"

#include "FileStamp.h"
#include "aglArray.h"
#include "aglSegment.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPlotrane2D;
class ControlHostView;
class QMimeData;
class DocView;
class GridHostView;
class MessageSink;
struct OpenedArray;

class CArrayDoc : public QObject {
    Q_OBJECT

public:
    // File kinds, as detected by load.
    enum FileKind {
        KindNone = 0,
        KindAgl = 1,
        KindHdf = 2,
        KindBitmap = 3,
        KindText = 4,
        KindNumpy = 5
    };
    // Graph kinds of the viewer (GraphPresenter's); the control's GraphType
    // is 0..3 and the plane view is a height plot under a fixed camera.
    enum GraphKind {
        NoGraph = GraphPresenter::NoGraph,
        HeightPlot = GraphPresenter::HeightPlot,
        ImageMap = GraphPresenter::ImageMap,
        VectorGraph = GraphPresenter::VectorGraph,
        PlaneView = GraphPresenter::PlaneView
    };
    static constexpr int kAutoGraphKind = GraphPresenter::kAutoGraphKind;
    // The graph's background as the viewer starts and after Restore
    // Original: white (the control's own default is another colour).
    static constexpr uint32_t kBackColor = 0x00FFFFFFu;
    static constexpr int kMaxZoomLevels = ZoomHistory::kMaxLevels;

    CArrayDoc(SettingsStore& settings, MessageSink& sink, QObject* parent = nullptr);
    ~CArrayDoc() override;
    CArrayDoc(const CArrayDoc&) = delete;
    CArrayDoc& operator=(const CArrayDoc&) = delete;

    // ---- Views ----------------------------------------------------------
    // The document does not own its views; a view removes itself before it
    // is destroyed.
    void addView(ControlHostView* view);
    void addView(GridHostView* view);
    void removeView(DocView* view);
    // Every view, in the order they registered.
    const std::vector<DocView*>& views() const { return m_views; }
    // The first control host that is the graph pane, and the first
    // spreadsheet; nullptr when there is none.
    ControlHostView* graphView() const;
    GridHostView* gridView() const;
    // The graph view's control; nullptr when there is none, and while the
    // document holds no array unless regardless is set.
    CPlotrane2D* control(bool regardless = false) const;

    // ---- Opening, watching, saving --------------------------------------
    // Opens a file for the user: load, then watch it. On failure shows
    // "Unable to read file: %s" and keeps the previous array.
    bool open(const std::string& path);
    // Detects the kind, reads, and finishes the load (also used by reload
    // and automation). Shows nothing on failure (but an HDF library's own
    // verdict); lastError() and lastReason() say why.
    bool load(const std::string& path);
    // Loads a segment an automation client made; the document becomes
    // client-owned and watches nothing.
    bool loadClientSegment(const std::string& name);
    // The timer's check: when the watched file was rewritten or replaced
    // since the last load or save, asks once whether to reload it.
    void checkForChange();
    // Saves to path: ".txt" (any case) as agl ASCII, else agl binary. A data
    // set read plane by plane is read whole for it (through the helper), and
    // refused when it holds more than 2^30 values.
    bool save(const std::string& path);
    // The Save command: to the path (the title for a client-owned
    // document), or Save As when there is none.
    bool saveCommand();
    // The Save As command: asks for a name, then saves.
    bool saveAs();
    // Empties the document (File New).
    void newDocument();
    // Closes for the user. A client-owned document is hidden instead and
    // stays; returns whether the document may really go.
    bool closeDocument();

    // ---- The array and its names ----------------------------------------
    aglArray* currentArray() const { return m_current; }
    aglArray* mainArray() const { return m_main.get(); }
    bool hasData() const { return m_hasData; }
    int fileKind() const { return m_fileKind; }
    const std::string& path() const { return m_path; }
    const std::string& arrayName() const { return m_arrayName; }
    // The title requested for the frame, and the one to show (" *" while
    // modified).
    const std::string& title() const { return m_title; }
    std::string displayTitle() const;
    void setTitle(const std::string& title);
    // The array name for a path: "Array%d" (k + 1) for a generated segment
    // name "...@k@...", else the path.
    static std::string arrayNameFor(const std::string& path);
    // The part after the last slash or backslash.
    static std::string fileTitleOf(const std::string& path);
    int lastError() const { return m_lastError; }
    // Why the last load failed, in words a user can act on ("only 1, 2, 4
    // and 8 bits per pixel are supported"); empty when it succeeded or
    // there is nothing more to say than lastError. open() shows it before
    // "Unable to read file: %s"; load() alone (reload, automation) does not.
    const std::string& lastReason() const { return m_lastReason; }
    // What the status bar's message pane says about the array beside its
    // shape: how a converted copy was made ("a double copy of int64 data;
    // 3 values beyond 2^53 lost precision"); empty for most files.
    const std::string& statusNote() const { return m_statusNote; }
    bool isClientOwned() const { return m_clientOwned; }
    // True while the document waits for the HDF helper (the event loop runs
    // meanwhile: see MessageSink::waitForHelper). Loads and object changes
    // asked for then are refused, and automation calls wait for the end
    // (helperWaitChanged).
    bool isWaitingForHelper() const { return m_hdf.isWaiting(); }
    bool isHiddenByClose() const { return m_hiddenByClose; }
    void setHiddenByClose(bool hidden) { m_hiddenByClose = hidden; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified);
    const std::string& annotation() const { return m_annotation; }
    void setAnnotation(const std::string& text) { m_annotation = text; }
    const aglSegment* paletteSegment() const { return m_palette.get(); }
    // Whether the file supplies the custom palette the control shows: an agl
    // file's stored palette or the shown HDF object's own.
    bool hasCustomPalette() const { return m_palette || m_hdfPaletteShown; }
    const aglSegment* axisScale(int dim) const;
    // Whether dimension dim has a scale the control can label it with: a
    // scale segment of the document's, or an HDF object's dimension scale.
    bool hasAxisScale(int dim) const;

    // Copies the current segment into a new writable shared-memory segment
    // and gives it to the array, keeping the row and column dimensions and
    // every dimension's region and lower bound (the plane shown stays the
    // plane shown). Returns the new segment's name, or empty when there is
    // no data or the copy fails (the array is then unchanged).
    std::string makeWritable();

    // ---- Automation state ----------------------------------------------
    // Kept for the automation client: whether the viewer may close when the
    // client lets go, and whether the Data menu's Refresh is offered.
    int32_t closeOnRelease() const { return m_closeOnRelease; }
    void setCloseOnRelease(int32_t value) { m_closeOnRelease = value; }
    int32_t dataRefreshEnable() const { return m_dataRefreshEnable; }
    void setDataRefreshEnable(int32_t value) { m_dataRefreshEnable = value; }
    // A refresh of the client's array is offered (Data > Refresh) and done
    // (the client's Update) only while the client owns the array and has
    // not turned data refresh off (while it rewrites the array, say).
    bool canRefreshData() const { return m_clientOwned && m_dataRefreshEnable != 0; }
    // An automation client changed something through a member: whatever
    // shows the document's state (menus, buttons) looks again.
    void noteClientChange() { emit clientChanged(); }
    // The client let go of the viewer: the array stays, but belongs to the
    // user from now on.
    void clearClientOwned();
    // Replaces the custom palette (nullptr drops it: the control gets an
    // empty palette name and the rainbow palette, PaletteId 4).
    void setPaletteSegment(std::unique_ptr<aglSegment> palette);
    // Replaces the scale segment of dimension dim (0..6; nullptr drops it).
    // The control is not told: the caller names the scale to it.
    void setAxisScaleSegment(int dim, std::unique_ptr<aglSegment> scale);

    // ---- Clipboard (Edit menu) -------------------------------------------
    // Copy and Cut of the spreadsheet's selected block. Returns the data
    // source to put on the clipboard (the caller owns it), or null when
    // nothing is selected inside the array, the document has no data, or
    // the block cannot be made (then an error is shown and, for Cut,
    // nothing is filled). Cut then writes the fill value into the block,
    // making the array writable (a copy) first when it is mapped read-only:
    // the user's file changes only on an explicit Save.
    std::unique_ptr<CArrayDataSource> copyBlock(bool cut);
    // Paste: "AGL DATA" when it is there and sound, else text through the
    // ASCII reader. Into an empty document as a new array "DataSet%d";
    // otherwise at the spreadsheet's current cell, clamped by the array's
    // conversion, with one warning when the block does not fit.
    bool paste(const QMimeData* data);
    // Copy with the graph focused: the control copies its picture.
    void copyGraphPicture();
    // The Edit menu's states.
    bool canCopy() const { return m_hasData; }
    bool canCut() const { return m_hasData && !m_clientOwned; }
    bool canPaste(const QMimeData* data) const;
    // The data source this document last put on the clipboard while the
    // clipboard still holds it (the clipboard deletes it when replaced).
    CArrayDataSource* dataSource() const { return m_clipboard.dataSource(); }

    // ---- Cursor ----------------------------------------------------------
    // Moves the cursor shared by the views: clamped to the array, told to
    // every control view and grid view except origin, shown in status pane 2.
    void setCursor(int row, int column, DocView* origin = nullptr);
    int cursorRow() const { return m_cursorRow; }
    int cursorColumn() const { return m_cursorColumn; }

    // ---- Region of interest ------------------------------------------------
    // A region as the user chooses it (Settings > ROI, the dimension bar):
    // the row and column dimensions and, per dimension below the array's
    // rank, the first index (0-based), the length and the lower bound.
    // extent is each dimension's extent (filled by regionChoice, ignored by
    // applyRegion).
    struct RegionChoice {
        int rowDim = 0, colDim = 0;
        std::array<int32_t, agl::kMaxDims> start{}, length{}, lower{}, extent{};
    };
    // The current array's region as a choice (everything zero without data).
    // For an HDF data set read plane by plane (the array holds one plane),
    // the data set's: its extents, and the plane's index in the dimensions
    // that are not shown.
    RegionChoice regionChoice() const;
    // Applies a choice: each dimension whose start, length or lower bound
    // differs from the array's gets SetRoiLb, SetRoiUb (and SetLBound) on the
    // control and the same on the array; a change of the row or column
    // dimension sets RowDim and ColDim. After any change: Update, the grid
    // reloaded (only redrawn when the plane's shape stayed), the cursor put
    // back (at 0, 0 when the shown dimensions changed), the graph kind chosen
    // again when it no longer suits the region (PlaneView picks its camera
    // again), settingsChanged and regionChanged. Returns whether anything
    // changed; nothing happens without data or control. For a data set read
    // plane by plane, another index in a dimension that is not shown, or
    // other row and column dimensions, first read that plane through the
    // helper (HdfPlaneSession); when that fails or is cancelled the user is
    // told, nothing changes and false is returned.
    bool applyRegion(const RegionChoice& choice);
    // The shown data set when it is read plane by plane and its plane is the
    // current array; nullptr otherwise.
    const CHdfSds* shownPlaneDataSet() const;
    // The array's shape for the status bar ("float M[1024][1024][1024]"):
    // the data set's for one read plane by plane.
    std::string shapeText() const;
    // The cursor's element for the status bar ("M[7][1][2]: 0.5"), with the
    // plane's indices for a data set read plane by plane.
    std::string positionText(int64_t column, int64_t row) const;
    // What is known of dimension dim besides its extent: the values of its
    // axis scale (an agl file's, a client's, or the shown HDF data set's
    // dimension scale; nullptr when none) and the scale's name (HDF only).
    struct DimensionScale {
        const aglSegment* values = nullptr;
        std::string name;
    };
    DimensionScale dimensionScale(int dim) const;

    // ---- Graph state -------------------------------------------------------
    // The kind shown now (0..4), from the control.
    int currentGraphType() const;
    bool isGraphTypeAllowed(int kind) const;
    // Shows kind (kAutoGraphKind: the document chooses).
    void selectGraphType(int kind);
    void saveCamera3D();
    void restoreCamera3D();
    // Called by every command that changes a graph setting: marks an agl
    // document modified when its settings are saved into the file, and drops
    // the cached print picture.
    void settingsChanged(bool force = false);
    GraphSettings& graphSettings(int kind);
    int preferredGraphKind() const { return m_presenter.preferredKind(); }
    // The image map with square cells (the data's aspect), or stretched over
    // the graph area: the viewer's setting "ImageAspect" (1, square, unless
    // set otherwise), handed to the control whenever the image map is shown.
    bool squareCells() const { return m_presenter.squareCells(); }
    // Stores the choice in the settings and shows it.
    void setSquareCells(bool on);
    bool paletteShown() const { return m_presenter.paletteShown(); }
    void setPaletteShown(bool shown) { m_presenter.setPaletteShown(shown); }
    using Camera = GraphCamera;
    const Camera& camera() const { return m_presenter.camera(); }
    // The grid's number format (kept here too, for documents without a grid
    // view and for the text writer).
    int gridPrecision() const;
    bool gridUseExponent() const;
    void setGridFormat(int precision, bool useExponent);
    // The zoom history: level 0 is the whole array.
    using ZoomLevel = ZoomHistory::Region;
    int zoomLevel() const { return m_zoom.level(); }
    // The deepest level stored (0: none beyond the whole array).
    int zoomLevelCount() const { return m_zoom.deepest(); }
    ZoomLevel zoomRegion(int level) const { return m_zoom.region(level); }
    void clearZoom();
    // Stores the next deeper level (half the area around the cursor) when
    // none beyond the current one is stored; nothing at level 16, for an
    // array without elements, or a region of 10 x 10 or less.
    void computeZoomIn();
    // Shows stored level n (0: the whole array) on the array and control;
    // ignored beyond the deepest stored level.
    void zoomToLevel(int level);
    // Zoom In / Zoom Out and whether they are enabled now (asking for Zoom
    // In computes the deeper level, as the menu's state query does).
    bool canZoomIn();
    bool canZoomOut() const;
    void zoomIn();
    void zoomOut();
    // The region shown was chosen by hand (the region dialog): the zoom
    // history takes it as its current level.
    void adoptZoomRegion();
    // View commands: palette bar and marker toggles, built-in palettes.
    void toggleShowPalette();
    void toggleShowMarker();
    void setPaletteId(int id);
    // Update on the control, then the grid redraws its cells.
    void refresh();
    // ---- Printing ------------------------------------------------------
    // The cached picture of the graph (an SVG file the control wrote; empty
    // when none), the status of the last MetafileUpdate event (0 when none;
    // 6: complete, 5: failed) and the camera position it was made at. The
    // document deletes the file when the graph changes, the palette bar is
    // shown or hidden, the array goes, and when the document is destroyed.
    const std::string& pictureFile() const { return m_picture.file(); }
    void setPictureFile(const std::string& path) { m_picture.setFile(path); }
    int pictureStatus() const { return m_picture.status(); }
    void setPictureStatus(int status) { m_picture.setStatus(status); }
    // Printing begins: reuses the cached picture when the camera has moved
    // less than 0.1 since it was made (squared distance below 0.01), else
    // drops it and asks the control for a new one of the given size (the
    // graph view's client size in pixels; the control gets it times 100).
    // Returns true when a new picture was asked for, false when the cached
    // one stands (status then 6) or no picture can be made (no control or
    // array, an empty view, or the control refuses the request).
    bool beginPicture(int viewWidth, int viewHeight);
    // Printing ended: the picture status goes back to 0 (the file stays
    // cached).
    void endPrinting() { m_picture.end(); }
    // Shows the array's shape in the status bar again (pane 1).
    void refreshShapeText();

    // ---- Attribute record ------------------------------------------------
    // Fills the record from the document, grid view and control (offsets,
    // size and version are the writer's). With refreshFromControl, the
    // settings of the kind shown and the free camera are first taken from
    // the control into the document (what a saved record must keep).
    void captureAttributes(aglAttributes& record, bool refreshFromControl = true);
    // Applies a record (a file's trailer, or one captured before): grid,
    // colours, per-kind settings, camera, clamps, cursor, dimensions, ROI,
    // palette; then selects its graph kind and updates.
    void applyAttributes(const aglAttributes& record);

    // ---- Settings store --------------------------------------------------
    const SettingsStore::Options& options() const { return m_options; }
    // The Options dialog's OK: takes the values and writes them.
    void setOptions(const SettingsStore::Options& options);
    // Toggles the use of axis scales (View, Axis Scales).
    void setDisplayDimScales(bool on);
    // Reads every graph default and applies it to the document, grid and
    // control, then the per-load settings (axis scales, auto scaling,
    // components).
    void applyGraphDefaults();
    // Writes every graph default from the graph now shown.
    void saveGraphDefaults();
    // Deletes the 26 graph defaults and applies the built-in values at
    // once: the spreadsheet's number format, every graph kind's settings and
    // the camera in the document, and the orientation, marker, palette and
    // colours in the control; the graph on screen keeps its kind.
    void restoreFactoryDefaults();
    // The Options dialog's buttons: ask, then do the above.
    void askSaveGraphDefaults();
    void askRestoreFactoryDefaults();
    SettingsStore& settings() { return m_settings; }
    MessageSink& messages() { return m_sink; }

    // ---- HDF files ---------------------------------------------------------
    // The objects of the HDF file read last (annotations, file attributes,
    // data sets, images; children under their parents), read through the
    // HDF helper process; elements are read when an object is first shown.
    const HdfObjectList& hdfObjects() const { return m_hdf.objects(); }
    CHdfObject* hdfCurrent() const { return m_hdf.current(); }
    bool hdfTreeAvailable() const { return m_hdf.treeAvailable(); }
    int hdfDataSetCount() const { return m_hdf.dataSetCount(); }
    HdfHelper& hdfHelper() { return m_hdf.helper(); }
    // Shows an object of the list: an attribute or annotation as text, a
    // data set, image or palette as the current array (its palette and
    // dimension scales given to the control). False when nothing changed.
    bool showHdfObject(CHdfObject* object);
    // The tree's selection: the first object with that id (top level in
    // order, each subtree depth-first) that has content.
    bool showHdfObjectById(int32_t objectId);
    // Shows a packed data set (hdfIsPacked) with its values unpacked (value
    // x scale_factor + add_offset, as doubles) or as stored: the object is
    // read again and, when it is the one shown, shown again with its graph
    // settings. False (and nothing changed) when the object is not packed
    // or cannot be read.
    bool setHdfUnpacked(int32_t objectId, bool unpacked);

signals:
    void titleChanged(const QString& title);
    // Pane 0: the note on how the array was read (statusNote); pane 1: the
    // array's shape; pane 2: cursor position and value.
    void statusTextChanged(int pane, const QString& text);
    void cursorMoved(int row, int column);
    // A new array is shown (or none).
    void arrayChanged();
    // applyRegion changed the region or the dimensions shown.
    void regionChanged();
    void modifiedChanged(bool modified);
    void hdfTreeHideRequested();
    // An HDF file was read: the tree is rebuilt from hdfObjects(), and
    // shown when show is set (the "ShowHdfTree" option).
    void hdfTreeFilled(bool show);
    // The object with this id is now displayed: its tree item is selected.
    void hdfObjectShown(int objectId);
    // A client-owned document was closed: hide the main frame.
    void frameHideRequested();
    // The array now belongs to an automation client, or no longer does
    // (File Open is offered only while it does not).
    void clientOwnedChanged(bool owned);
    // See noteClientChange().
    void clientChanged();
    // The automation class registration is withdrawn (a file was opened by
    // the user) or offered again (new document).
    void automationRegistrationChanged(bool registered);
    // The document began or ended a wait for the HDF helper.
    void helperWaitChanged(bool waiting);

private:
    // The built-in graph defaults the document keeps: every kind's
    // settings, the 3-D camera, the preferred kind and the palette flag.
    void setBuiltInGraphDefaults();
    void openWatch(const std::string& path);
    // save's work, for the current array.
    bool saveCurrent(const std::string& path);
    void closeWatch();
    bool currentDataTorn() const;

    // The HDF part of load: the objects the opener listed, and the one it
    // read, become the document's list and shown object. A reload of the
    // HDF file shown (reloadsShownHdf: the opener only lists it) shows the
    // same object again, and a data set read plane by plane at the same
    // plane and region, when the file still has them; otherwise the object
    // or plane the file opens with, and the status bar says why.
    bool loadHdf(const std::string& path, OpenedArray& opened);
    bool reloadsShownHdf(const std::string& path) const {
        return m_fileKind == KindHdf && m_hdf.current() && path == m_path;
    }
    void releaseHdf();
    // Pane 2 of the status bar again, for the values now in the array.
    void refreshPositionText();
    void leaveHdfObject();
    void enterHdfObject(CHdfObject& object);
    // Reads another plane of the shown data set (shownPlaneDataSet) and
    // makes it the current array, the control told its name, dimensions
    // and regions. False (the user told why, the plane shown kept) when
    // the plane cannot be read.
    bool readHdfPlane(CHdfSds& sds, const HdfPlane& plane);
    // The message and reason of a load the user cancelled (it says that the
    // array shown stays, when there is one).
    std::string cancelledText(const std::string& what) const;
    void postLoad();
    void readTrailer();
    void releaseAxisScales(bool tellControl);
    bool writeBinary(const std::string& path);
    bool writeText(const std::string& path);
    void storeControlSettings(int kind);
    void applySettingsToControl(int kind);
    // selectGraphType's parts: the kind to show for a request (the request
    // when it suits the region, else the document's own choice), and putting
    // the control into that kind's view.
    // The plane shown, as the presenter sees it; turnablePlane() can also
    // turn it for the vector graph.
    GraphPresenter::Plane shownPlane() const;
    GraphPresenter::Plane turnablePlane(CPlotrane2D& c);
    void emitTitle();
    // Before the first change of a read-only array: a writable copy, and the
    // control told its name, dimensions, regions and lower bounds.
    bool ensureWritable();
    void pasteAsNewArray(std::unique_ptr<aglArray> array, const std::string& name);
    // What an Edit command works on: the array shown, the spreadsheet, and
    // the document's part in a change.
    ArrayClipboard::Target clipboardTarget();

    SettingsStore& m_settings;
    MessageSink& m_sink;
    std::vector<DocView*> m_views;
    // The same views, in the same order, each under the interface it
    // registered with.
    struct ViewEntry {
        ControlHostView* control = nullptr;
        GridHostView* grid = nullptr;
    };
    std::vector<ViewEntry> m_viewEntries;

    aglArray* m_current = nullptr;
    std::string m_annotation;
    PrintPicture m_picture;
    std::unique_ptr<aglArray> m_main;
    bool m_loading = false;
    std::string m_arrayName;
    std::string m_path;
    std::string m_title;
    int m_fileKind = KindNone;
    platform::FileStamp m_watchStamp;
    int m_watchFd = -1;
    std::string m_watchPath;
    // The mapped agl file as it was loaded (or last saved into): the writer
    // refuses to put a trailer into a file that has changed since.
    AglFileIdentity m_loadedIdentity;
    int m_lastError = 0;
    std::string m_lastReason;
    std::string m_statusNote;
    int m_cursorRow = 0;
    int m_cursorColumn = 0;
    bool m_hasData = false;
    bool m_clientOwned = false;
    bool m_hiddenByClose = false;
    bool m_modified = false;
    // Each graph kind's settings, the camera and the rules that show a kind.
    GraphPresenter m_presenter;
    // One check for change at a time: timer ticks that arrive while its
    // question is open must not stack a second question.
    bool m_checkRunning = false;
    // Setting Row and Col on a control can make it report the move back.
    bool m_cursorBusy = false;
    SettingsStore::Options m_options;
    int m_gridPrecision = 6;
    bool m_gridUseExponent = false;
    ZoomHistory m_zoom;
    std::array<std::unique_ptr<aglSegment>, agl::kMaxDims> m_axisScales;
    std::unique_ptr<aglSegment> m_palette;
    int32_t m_closeOnRelease = 1;
    int32_t m_dataRefreshEnable = 1;

    ArrayClipboard m_clipboard{m_sink};

    // Dimensions the shown HDF object gave the control a scale for.
    unsigned m_hdfScaleDims = 0;
    bool m_hdfPaletteShown = false; // the control shows the HDF object's palette
    // The HDF file's objects, the one shown, and the reads through the
    // helper.
    HdfBrowser m_hdf{m_sink, [this](bool waiting) { emit helperWaitChanged(waiting); }};
    // The last load or object change ended because the user cancelled it.
    bool m_cancelled = false;
};
