#include "CArrayDoc.h"

#include "AglAsciiFormat.h"
#include "ArrayFileOpener.h"
#include "CPlotrane2D.h"
#include "ControlSync.h"
#include "DocView.h"
#include "MessageSink.h"
#include "PrintPage.h"
#include "plotrane/PropertyTable.h"

#include "FileStamp.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace plotrane;
using platform::FileStamp;

namespace {

std::string format1(const char* pattern, const std::string& arg) {
    std::string out;
    const char* p = std::strstr(pattern, "%s");
    if (!p) return pattern;
    out.append(pattern, p);
    out += arg;
    out += p + 2;
    return out;
}

std::string lowerExtension(const std::string& path) {
    std::string ext = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int clampPrecision(int p) {
    return std::clamp(p, 3, 15);
}

// The spreadsheet's built-in number format: 6 digits, no exponent form.
constexpr int kDefaultGridPrecision = 6;

} // namespace

// ---------------------------------------------------------------------------
// Construction and views

CArrayDoc::CArrayDoc(SettingsStore& settings, MessageSink& sink, QObject* parent)
    : QObject(parent), m_settings(settings), m_sink(sink), m_main(std::make_unique<aglArray>()) {
    m_current = m_main.get();
    setBuiltInGraphDefaults();
    m_options = m_settings.readOptions();
    m_presenter.setPaletteShown(m_settings.readInt("ShowPalette", 0) != 0);
    m_presenter.setSquareCells(m_settings.readInt("ImageAspect", 1) != 0);
}

void CArrayDoc::setBuiltInGraphDefaults() {
    m_presenter.setBuiltInDefaults();
}

CArrayDoc::~CArrayDoc() {
    closeWatch();
    releaseAxisScales(false);
    m_palette.reset();
    m_current = nullptr;
    m_hdfCurrent = nullptr;
    m_hdfObjects.clear();
    m_main.reset();
    deletePictureFile();
}

void CArrayDoc::addView(DocView* view) {
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void CArrayDoc::removeView(DocView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

DocView* CArrayDoc::findView(const std::string& className) const {
    for (DocView* v : m_views)
        if (v->runtimeClassName() == className) return v;
    return nullptr;
}

ControlHostView* CArrayDoc::graphView() const {
    return dynamic_cast<ControlHostView*>(findView(kGraphViewClass));
}

GridHostView* CArrayDoc::gridView() const {
    return dynamic_cast<GridHostView*>(findView(kGridViewClass));
}

CPlotrane2D* CArrayDoc::control(bool regardless) const {
    if (!m_hasData && !regardless) return nullptr;
    ControlHostView* v = graphView();
    return v ? v->control() : nullptr;
}

// ---------------------------------------------------------------------------
// Names and title

std::string CArrayDoc::arrayNameFor(const std::string& path) {
    const size_t first = path.find('@');
    const size_t last = path.rfind('@');
    if (first != std::string::npos && last != first) {
        const std::string middle = path.substr(first + 1, last - first - 1);
        // Read like "%d": leading blanks and a sign, then digits; a name
        // whose middle is not a number counts as 0.
        long k = std::strtol(middle.c_str(), nullptr, 10);
        k = std::clamp<long>(k, INT32_MIN, INT32_MAX - 1);
        return "Array" + std::to_string(k + 1);
    }
    return path;
}

std::string CArrayDoc::fileTitleOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CArrayDoc::displayTitle() const {
    if (m_modified && (m_title.empty() || m_title.back() != '*')) return m_title + " *";
    return m_title;
}

void CArrayDoc::setTitle(const std::string& title) {
    m_title = title;
    emitTitle();
}

void CArrayDoc::emitTitle() {
    emit titleChanged(QString::fromStdString(displayTitle()));
}

void CArrayDoc::setModified(bool modified) {
    if (m_modified == modified) return;
    m_modified = modified;
    emit modifiedChanged(modified);
    emitTitle();
}

bool CArrayDoc::hasAxisScale(int dim) const {
    if (dim < 0 || dim >= agl::kMaxDims) return false;
    return m_axisScales[size_t(dim)] || (m_hdfScaleDims & (1u << dim)) != 0;
}

const aglSegment* CArrayDoc::axisScale(int dim) const {
    return dim >= 0 && dim < agl::kMaxDims ? m_axisScales[size_t(dim)].get() : nullptr;
}

// ---------------------------------------------------------------------------
// Watching

void CArrayDoc::openWatch(const std::string& path) {
    closeWatch();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return; // a segment name, not a file: nothing to watch
    const FileStamp stamp = FileStamp::ofDescriptor(fd);
    if (!stamp.isRegularFile()) {
        ::close(fd);
        return;
    }
    m_watchFd = fd;
    m_watchPath = path;
    m_watchStamp = stamp;
}

void CArrayDoc::closeWatch() {
    if (m_watchFd >= 0) ::close(m_watchFd);
    m_watchFd = -1;
    m_watchPath.clear();
    m_watchStamp = FileStamp{};
}

bool CArrayDoc::currentDataTorn() const {
    const aglSegment* seg = m_current ? m_current->segment() : nullptr;
    if (!seg || !seg->isFileBacked()) return false;
    if (seg->truncationFaults() > 0) return true;
    const FileStamp now = FileStamp::ofDescriptor(seg->descriptor());
    return now.valid && uint64_t(now.size) < seg->neededSize();
}

void CArrayDoc::checkForChange() {
    if (!m_hasData || m_watchFd < 0 || m_checkRunning || m_waitingForHelper) return;
    // The path is looked at, not only the open handle: programs that replace
    // a file by writing a new one and renaming it over the old leave the
    // handle on the old file, whose time never changes.
    const FileStamp now = FileStamp::ofPath(m_watchPath);
    if (!now.isRegularFile()) return; // gone (for the moment): nothing to reload
    if (!m_watchStamp.changedIn(now)) return;

    // Stored first, so that the question comes once per change.
    m_watchStamp = now;
    m_checkRunning = true;
    const std::string path = m_watchPath;
    const bool yes =
        m_sink.question(path + "\n\nThis file has been modified.  Do you want to reload it?");
    if (yes) {
        if (load(path)) {
            // Follow the file now at the path (a replacement is a new file).
            if (!m_clientOwned) openWatch(path);
        } else if (currentDataTorn()) {
            // The reload failed and what is shown was cut off under its
            // mapping: showing it would be showing zeros as data.
            m_sink.message(format1("Unable to read file: %s", path), MessageIcon::Exclamation);
            newDocument();
        }
    }
    m_checkRunning = false;
}

// ---------------------------------------------------------------------------
// Loading

bool CArrayDoc::open(const std::string& path) {
    BusyCursor busy(m_sink);
    if (!load(path)) {
        // The user's own Cancel: nothing went wrong with the file.
        if (m_cancelled) {
            m_sink.message(m_lastReason, MessageIcon::Information);
            return false;
        }
        // What the user can act on comes first.
        if (!m_lastReason.empty()) m_sink.message(m_lastReason, MessageIcon::Warning);
        m_sink.message(format1("Unable to read file: %s", path), MessageIcon::Exclamation);
        return false;
    }
    emit automationRegistrationChanged(false);
    openWatch(path);
    return true;
}

bool CArrayDoc::loadClientSegment(const std::string& name) {
    if (!load(name)) return false;
    const bool was = m_clientOwned;
    m_clientOwned = true;
    closeWatch();
    if (!was) emit clientOwnedChanged(true);
    return true;
}

void CArrayDoc::clearClientOwned() {
    if (!m_clientOwned) return;
    m_clientOwned = false;
    emit clientOwnedChanged(false);
}

namespace {

// An array mapped from a file in place of another keeps the plane the
// other showed when it has those dimensions (a reloaded file stays as the
// user turned it); otherwise the new array's own choice stands.
void keepPlaneOf(const aglArray& previous, aglArray& next) {
    const int dims = next.dimCount();
    int row = std::max(previous.rowDim(), 0), column = std::max(previous.colDim(), 0);
    if (row >= dims) row = 0;
    if (column >= dims) column = 0;
    if (row == column) return;
    next.setRowDim(row);
    next.setColDim(column);
}

} // namespace

bool CArrayDoc::load(const std::string& path) {
    if (m_waitingForHelper) {
        // Asked from inside the wait (a timer, another program): the load
        // under way owns the document until it ends.
        m_lastError = AGL_E_OPEN;
        m_lastReason = "the viewer is still reading another file";
        return false;
    }
    m_lastReason.clear();
    m_cancelled = false;
    ArrayOpenOptions options;
    options.hdfHelper = &m_hdfHelper;
    options.hdfWait = helperWait();
    options.hdfByPlane = true;
    options.hdfListOnly = reloadsShownHdf(path); // loadHdf reads the object shown
    OpenedArray opened = openArrayFile(path, options);
    if (isHdfFormat(opened.format)) return loadHdf(path, opened);
    if (!opened.ok()) {
        m_lastError = opened.error;
        m_lastReason = opened.reason;
        return false;
    }
    if (!opened.warning.empty()) m_sink.message(opened.warning, MessageIcon::Warning);
    int kind = int(opened.format);
    const aglSegment* mapped = opened.array->segment();
    if (mapped && mapped->isFileBacked()) keepPlaneOf(*m_main, *opened.array);
    m_main = std::move(opened.array);
    m_current = m_main.get();
    m_statusNote = opened.note;
    if (kind == KindBitmap) {
        m_palette = std::move(opened.palette);
        if (CPlotrane2D* c = control(true)) {
            c->setString(DISPID_PaletteFileName, m_palette->name());
            c->setShort(DISPID_PaletteId, kPaletteCustom);
            c->setDouble(DISPID_PaletteMinVal, 0.0);
            c->setDouble(DISPID_PaletteMaxVal, double(opened.paletteMaxValue));
            c->setBool(DISPID_PaletteAutoAdjust, false);
        }
    }
    m_lastError = 0;
    m_lastReason.clear();
    releaseHdf();
    if (kind == KindAgl)
        m_loadedIdentity = AglFileIdentity::of(*m_current->segment());
    else
        m_loadedIdentity = AglFileIdentity{};

    m_fileKind = kind;
    m_loading = true;
    m_path = path;
    postLoad();

    if (CPlotrane2D* c = control()) {
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
        c->Update();
    }
    setCursor(m_cursorRow, m_cursorColumn);
    m_annotation.clear();
    releaseAxisScales(true);
    clearZoom();
    refreshShapeText();

    if (kind == KindAgl)
        readTrailer();
    else if (kind == KindText || kind == KindNumpy)
        applyGraphDefaults();
    m_loading = false;
    emit arrayChanged();
    return true;
}

void CArrayDoc::postLoad() {
    emit hdfTreeHideRequested();
    m_hasData = true;
    applyGraphDefaults();
    if (CPlotrane2D* c = control()) {
        const aglSegment* seg = m_current->segment();
        c->setString(DISPID_FileName, seg ? seg->name() : std::string());
        selectGraphType(m_fileKind == KindBitmap ? ImageMap : kAutoGraphKind);
        c->Update();
    }
    m_arrayName = arrayNameFor(m_path);
    m_title = fileTitleOf(m_arrayName);
    m_modified = false;
    emit modifiedChanged(false);
    emitTitle();
    if (GridHostView* g = gridView()) g->reload();
}

void CArrayDoc::releaseAxisScales(bool tellControl) {
    CPlotrane2D* c = tellControl ? control(true) : nullptr;
    for (int d = 0; d < agl::kMaxDims; ++d) {
        if (!m_axisScales[size_t(d)]) continue;
        m_axisScales[size_t(d)].reset();
        if (c) c->SetAxisScale(d, std::string());
    }
}

void CArrayDoc::readTrailer() {
    const aglSegment* seg = m_current->segment();
    aglAttributes base = aglAttributes::blank();
    captureAttributes(base, false);
    AglTrailer trailer;
    if (!seg || !readAglTrailer(*seg, base, trailer)) {
        applyGraphDefaults();
        return;
    }
    if (trailer.hasAnnotation) {
        m_annotation = trailer.annotation;
        if (m_options.showAglAnnot && !m_annotation.empty()) m_sink.showAnnotation(m_annotation);
    }
    CPlotrane2D* c = control();
    if (trailer.attributes.paletteOffset != 0) {
        // The file has its own palette: the old one goes even when the new
        // one could not be read or made.
        m_palette = std::move(trailer.palette);
        if (c && m_palette) c->setString(DISPID_PaletteFileName, m_palette->name());
    }
    for (int d = 0; d < agl::kMaxDims; ++d) {
        if (!trailer.axisScales[size_t(d)]) continue;
        m_axisScales[size_t(d)] = std::move(trailer.axisScales[size_t(d)]);
        if (c) c->SetAxisScale(d, m_axisScales[size_t(d)]->name());
    }
    if (m_options.restoreAglAttr)
        applyAttributes(trailer.attributes);
    else
        applyGraphDefaults();
}

// ---------------------------------------------------------------------------
// Saving

bool CArrayDoc::writeBinary(const std::string& path) {
    const aglSegment* seg = m_current->segment();
    if (!seg) return false;
    // A NumPy file read into a copy is not mapped any more, but it is still
    // the user's file: agl bytes never go over it (as the writer refuses for
    // one mapped in place).
    const FileStamp target = FileStamp::ofPath(path), source = FileStamp::ofPath(m_path);
    if (m_fileKind == KindNumpy && !seg->isNumpy() && target.valid && source.valid &&
        target.isSameFile(source)) {
        m_sink.message("Error saving file: " + path, MessageIcon::Error);
        return false;
    }
    AglTrailerParts parts;
    if (m_options.saveAglAttr) {
        captureAttributes(parts.attributes);
        parts.annotation = m_annotation;
        parts.palette = m_palette.get();
        for (int d = 0; d < agl::kMaxDims; ++d)
            parts.axisScales[size_t(d)] = m_axisScales[size_t(d)].get();
    }
    FormatError error;
    // The identity recorded at load is passed only while the array is still
    // mapped from a file: the writer then refuses to put a trailer into a
    // file that was rewritten or replaced since.
    AglFileIdentity* loaded = m_loadedIdentity.isFile ? &m_loadedIdentity : nullptr;
    if (!writeAglFile(*seg, path, m_options.saveAglAttr ? &parts : nullptr, loaded, error)) {
        if (!error.message.empty()) m_sink.message(error.message, MessageIcon::Error);
        return false;
    }
    return true;
}

bool CArrayDoc::writeText(const std::string& path) {
    AsciiNumberFormat format;
    format.precision = gridPrecision();
    format.exponent = gridUseExponent();
    FormatError error;
    return writeAglAscii(*m_current, path, format, error);
}

bool CArrayDoc::save(const std::string& path) {
    const CHdfSds* planes = shownPlaneDataSet();
    if (!planes) return saveCurrent(path);
    // A data set read plane by plane is saved whole: it is read whole for
    // the save when it fits in one array, at the plane shown.
    if (hdfShownElementCount(*planes) == 0) {
        m_sink.message(planes->shownName() +
                           " holds more than 2^30 values: it is read one plane at a time and "
                           "cannot be saved as one array.",
                       MessageIcon::Warning);
        return false;
    }
    std::string reason;
    std::unique_ptr<aglArray> whole = m_hdfHelper.makeArray(*planes, reason, helperWait());
    if (!whole) {
        m_sink.message("Unable to read file: " + planes->filePath +
                           (reason.empty() ? std::string() : " (" + reason + ")"),
                       MessageIcon::Exclamation);
        return false;
    }
    whole->setRowDim(planes->plane.rowDim);
    whole->setColDim(planes->plane.colDim);
    for (int d = 0; d < whole->dimCount(); ++d) {
        int32_t low = 0, high = 0;
        m_current->getRoi(d, low, high);
        if (d != planes->plane.rowDim && d != planes->plane.colDim)
            low = high = planes->plane.index[size_t(d)];
        whole->setRoi(d, low, high);
    }
    aglArray* shown = m_current;
    m_current = whole.get();
    const bool ok = saveCurrent(path);
    m_current = shown;
    return ok;
}

bool CArrayDoc::saveCurrent(const std::string& path) {
    BusyCursor busy(m_sink);
    const std::string ext = lowerExtension(path);
    // Read-only means no write permission for us or for anyone: a process
    // with the rights to write anyway (root) must not overwrite a file its
    // owner marked read-only. The save then fails as the write would.
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    const bool readOnly = exists && (::access(path.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0);
    if (readOnly) m_sink.message(format1("%s is read only!", path), MessageIcon::Error);
    const std::string watched = m_watchPath;
    closeWatch();
    const bool ok = !readOnly && (ext == "txt" ? writeText(path) : writeBinary(path));
    if (ok) {
        openWatch(path);
        setModified(false);
        return true;
    }
    if (!watched.empty()) {
        // Still watched, with the change check's own notion of "seen": a
        // failed save must not hide a change made by someone else.
        const FileStamp seen = m_watchStamp;
        openWatch(watched);
        if (seen.valid) m_watchStamp = seen;
    }
    m_sink.message(path + "\n\nCouldn't save file.", MessageIcon::Warning);
    return false;
}

bool CArrayDoc::saveCommand() {
    const std::string target = m_clientOwned ? m_title : m_path;
    if (target.empty()) return saveAs();
    return save(target);
}

bool CArrayDoc::saveAs() {
    static const char* const kAglFilter = "Agl File (*.agl)|*.agl";
    static const char* const kTextFilter = "Text File (*.txt)|*.txt";
    SaveFileRequest request;
    if (m_clientOwned) {
        request.defaultExtension = "agl";
        request.filter = std::string(kAglFilter) + "|" + kTextFilter + "||";
        request.initialName = m_title;
    } else {
        if (lowerExtension(m_path) == "txt") {
            request.defaultExtension = "txt";
            request.filter = std::string(kTextFilter) + "|" + kAglFilter + "||";
        } else {
            request.defaultExtension = "agl";
            request.filter = std::string(kAglFilter) + "|" + kTextFilter + "||";
        }
        // Drop the extension, but not a dot of a folder name.
        const size_t dot = m_path.rfind('.');
        const size_t slash = m_path.find_last_of("/\\");
        request.initialName =
            dot != std::string::npos && (slash == std::string::npos || dot > slash)
                ? m_path.substr(0, dot)
                : m_path;
    }
    const std::optional<std::string> chosen = m_sink.saveFileName(request);
    if (!chosen) return false;
    if (!save(*chosen)) return false;
    if (!m_clientOwned) m_path = *chosen;
    setTitle(fileTitleOf(*chosen));
    return true;
}

// ---------------------------------------------------------------------------
// New, close, make writable

void CArrayDoc::newDocument() {
    m_path.clear();
    emit automationRegistrationChanged(true);
    if (!m_hasData) return;
    m_hasData = false;
    clearClientOwned();
    m_fileKind = KindNone;
    m_modified = false;
    emit modifiedChanged(false);
    m_title = "Untitled";
    m_arrayName.clear();
    closeWatch();
    if (CPlotrane2D* c = control(true)) {
        c->setBool(DISPID_ShowCursor, false);
        c->setBool(DISPID_ShowPalette, false);
        c->setShort(DISPID_GraphType, GraphType::Plain);
    }
    // Nothing of the old file stays mapped behind an empty document.
    releaseAxisScales(true);
    m_palette.reset();
    m_annotation.clear();
    m_current = m_main.get();
    m_main->release();
    releaseHdf();
    m_loadedIdentity = AglFileIdentity{};
    clearZoom();
    deletePictureFile();
    if (GridHostView* g = gridView()) g->clear();
    m_statusNote.clear();
    emit statusTextChanged(0, QString());
    emit statusTextChanged(1, QString());
    emit statusTextChanged(2, QString());
    emitTitle();
    emit arrayChanged();
}

bool CArrayDoc::closeDocument() {
    // What this document copied stays on the clipboard, fully rendered.
    if (m_dataSource) m_dataSource->renderAll();
    if (m_clientOwned) {
        m_hiddenByClose = true;
        emit frameHideRequested();
        return false;
    }
    closeWatch();
    return true;
}

std::string CArrayDoc::makeWritable() {
    if (!m_hasData || !m_current->segment()) return {};
    aglSegment copy;
    if (!copy.copyOf(*m_current->segment())) return {};
    const int rowDim = m_current->rowDim();
    const int colDim = m_current->colDim();
    // Opening the copy resets every region to the whole extent and takes
    // the lower bounds from the header: on a 3-D file viewed at plane 2 a
    // change would land in plane 0 and the view would jump. Keep them.
    const int dims = std::min(m_current->dimCount(), 7);
    int32_t low[7] = {}, high[7] = {}, bounds[7] = {};
    for (int d = 0; d < dims; ++d) {
        m_current->getRoi(d, low[d], high[d]);
        bounds[d] = m_current->lowerBound(d);
    }
    // The array opens the copy by name and holds it from then on; our
    // handle goes at the end of this function, the block stays with the
    // array.
    if (!m_current->open(copy.name(), false) || !m_current->isWritable()) return {};
    m_current->setRowDim(rowDim);
    m_current->setColDim(colDim);
    for (int d = 0; d < dims && d < m_current->dimCount(); ++d) {
        m_current->setLowerBound(d, bounds[d]);
        m_current->setRoi(d, low[d], high[d]);
    }
    m_loadedIdentity = AglFileIdentity{};
    return copy.name();
}

// ---------------------------------------------------------------------------
// Automation state

void CArrayDoc::setPaletteSegment(std::unique_ptr<aglSegment> palette) {
    m_palette = std::move(palette);
    CPlotrane2D* c = control(true);
    if (!c) return;
    if (m_palette) {
        c->setString(DISPID_PaletteFileName, m_palette->name());
    } else {
        c->setString(DISPID_PaletteFileName, std::string());
        c->setShort(DISPID_PaletteId, 4);
    }
}

void CArrayDoc::setAxisScaleSegment(int dim, std::unique_ptr<aglSegment> scale) {
    if (dim < 0 || dim > 6) return;
    m_axisScales[size_t(dim)] = std::move(scale);
}

// ---------------------------------------------------------------------------
// Cursor

void CArrayDoc::setCursor(int row, int column, DocView* origin) {
    if (m_cursorBusy) return;
    m_cursorBusy = true;
    const aglArray& a = *m_current;
    const int64_t rows = a.rowDim() == a.colDim() ? 1 : std::max<int64_t>(1, a.extent(a.rowDim()));
    const int64_t cols = std::max<int64_t>(1, a.extent(a.colDim()));
    row = int(std::clamp<int64_t>(row, 0, rows - 1));
    column = int(std::clamp<int64_t>(column, 0, cols - 1));
    for (DocView* v : m_views) {
        if (v == origin) continue;
        if (auto* host = dynamic_cast<ControlHostView*>(v)) {
            if (CPlotrane2D* c = host->control()) {
                c->setLong(DISPID_Row, row);
                c->setLong(DISPID_Col, column);
            }
        } else if (auto* grid = dynamic_cast<GridHostView*>(v)) {
            grid->selectCell(row, column);
        }
    }
    // Moving away from the stored marker drops the deeper zoom levels.
    if (row != m_cursorRow || column != m_cursorColumn) m_zoom.forgetDeeper();
    m_cursorRow = row;
    m_cursorColumn = column;
    if (m_hasData) emit statusTextChanged(2, QString::fromStdString(positionText(column, row)));
    emit cursorMoved(row, column);
    m_cursorBusy = false;
}

// ---------------------------------------------------------------------------
// Region of interest

namespace {

// The region of an array as a choice, in the array's own indices.
CArrayDoc::RegionChoice regionOf(const aglArray& a) {
    CArrayDoc::RegionChoice r;
    r.rowDim = a.rowDim();
    r.colDim = a.colDim();
    for (int d = 0; d < a.dimCount() && d < agl::kMaxDims; ++d) {
        int32_t low = 0, high = 0;
        a.getRoi(d, low, high);
        r.start[size_t(d)] = low;
        r.length[size_t(d)] = std::max(1, high - low + 1);
        r.lower[size_t(d)] = a.lowerBound(d);
        r.extent[size_t(d)] = a.extent(d);
    }
    return r;
}

bool isShownDim(const HdfPlane& plane, int d) {
    return d == plane.rowDim || d == plane.colDim;
}

} // namespace

const CHdfSds* CArrayDoc::shownPlaneDataSet() const {
    if (!m_hasData || !m_hdfCurrent || m_hdfCurrent->kind != HdfKindSds) return nullptr;
    const auto* s = static_cast<const CHdfSds*>(m_hdfCurrent);
    return s->byPlane && s->array && m_current == s->array.get() ? s : nullptr;
}

CArrayDoc::RegionChoice CArrayDoc::regionChoice() const {
    if (!m_hasData) return RegionChoice{};
    RegionChoice r = regionOf(*m_current);
    if (const CHdfSds* s = shownPlaneDataSet()) {
        // The plane's array has extent 1 where the data set has its other
        // dimensions: the choice speaks of the data set.
        for (int d = 0; d < s->rank && d < agl::kMaxDims; ++d) {
            const size_t k = size_t(d);
            r.extent[k] = s->extents[k];
            if (isShownDim(s->plane, d)) continue;
            r.start[k] = s->plane.index[k];
            r.length[k] = 1;
        }
    }
    return r;
}

std::string CArrayDoc::shapeText() const {
    if (!m_hasData) return {};
    if (const CHdfSds* s = shownPlaneDataSet()) return m_current->shapeText(s->extents.data());
    return m_current->shapeText();
}

std::string CArrayDoc::positionText(int64_t column, int64_t row) const {
    if (const CHdfSds* s = shownPlaneDataSet())
        return m_current->positionText(column, row, s->plane.index.data());
    return m_current->positionText(column, row);
}

bool CArrayDoc::applyRegion(const RegionChoice& choice) {
    CPlotrane2D* c = control();
    if (!c) return false;
    RegionChoice s = choice;
    bool planeRead = false;
    const int rowBefore = m_current->rowDim(), colBefore = m_current->colDim();
    if (const CHdfSds* shown = shownPlaneDataSet()) {
        // Another plane of the data set is read first; within the plane the
        // choice applies as to any array (the plane's other dimensions have
        // extent 1: index 0).
        auto& sds = const_cast<CHdfSds&>(*shown);
        HdfPlane want;
        want.rowDim = std::clamp(choice.rowDim, 0, sds.rank - 1);
        want.colDim = std::clamp(choice.colDim, 0, sds.rank - 1);
        for (int d = 0; d < sds.rank; ++d)
            if (!isShownDim(want, d))
                want.index[size_t(d)] =
                    std::clamp(choice.start[size_t(d)], 0, sds.extents[size_t(d)] - 1);
        const HdfPlane before = sds.plane;
        if (!(want == sds.plane)) {
            if (m_waitingForHelper) return false;
            // Values changed in the plane shown (a paste, a cut) live only
            // in its copy: the file is never written.
            if (m_modified && m_current->isWritable() &&
                !m_sink.question("The changes made to this plane are lost when another plane "
                                 "is read. Read it?"))
                return false;
            if (!readHdfPlane(sds, want)) return false;
            planeRead = true;
        }
        for (int d = 0; d < sds.rank; ++d) {
            const size_t k = size_t(d);
            if (isShownDim(want, d)) {
                // A dimension newly shown comes whole unless a region of
                // more than one index was chosen for it.
                if (!isShownDim(before, d) && s.length[k] <= 1) {
                    s.start[k] = 0;
                    s.length[k] = sds.extents[k];
                }
                continue;
            }
            s.start[k] = 0;
            s.length[k] = 1;
        }
    }
    aglArray* a = m_current;
    const RegionChoice l = regionOf(*a);
    const int rank = std::clamp(a->dimCount(), 0, agl::kMaxDims);
    bool any = false, lowerChanged = false, planeChanged = false;
    for (int d = 0; d < rank; ++d) {
        const size_t k = size_t(d);
        if (s.start[k] == l.start[k] && s.length[k] == l.length[k] && s.lower[k] == l.lower[k])
            continue;
        const int32_t high = s.start[k] + s.length[k] - 1;
        c->SetRoiLb(d, s.start[k]);
        c->SetRoiUb(d, high);
        a->setRoi(d, s.start[k], high);
        if (s.lower[k] != a->lowerBound(d)) {
            c->SetLBound(d, s.lower[k]);
            a->setLowerBound(d, s.lower[k]);
            lowerChanged = true;
        }
        if (d == a->rowDim() || d == a->colDim()) planeChanged = true;
        any = true;
    }
    const bool dimsChanged = s.rowDim != l.rowDim || s.colDim != l.colDim ||
                             (planeRead && (rowBefore != s.rowDim || colBefore != s.colDim));
    if (dimsChanged) {
        a->setRowDim(s.rowDim);
        a->setColDim(s.colDim);
        c->setLong(DISPID_RowDim, a->rowDim());
        c->setLong(DISPID_ColDim, a->colDim());
        any = true;
    }
    // Another plane of the same shown dimensions only has other values: the
    // spreadsheet keeps its layout, as for any array.
    if (planeRead) any = true;
    if (!any) return false;
    c->Update();
    if (GridHostView* g = gridView()) {
        // Another plane of the same shape (a dimension that is neither the
        // row nor the column one moved) keeps the spreadsheet's layout and
        // scroll position: only the values change.
        if (lowerChanged) g->clear();
        if (dimsChanged || planeChanged || lowerChanged)
            g->reload();
        else
            g->redraw();
    }
    if (dimsChanged)
        setCursor(0, 0);
    else
        setCursor(m_cursorRow, m_cursorColumn);
    const int kind = currentGraphType();
    if (!isGraphTypeAllowed(kind))
        selectGraphType(kAutoGraphKind);
    else if (kind == PlaneView)
        selectGraphType(PlaneView);
    settingsChanged(false);
    emit regionChanged();
    return true;
}

CArrayDoc::DimensionScale CArrayDoc::dimensionScale(int dim) const {
    DimensionScale scale;
    if (dim < 0 || dim >= agl::kMaxDims) return scale;
    if (m_hdfCurrent && m_current == m_hdfCurrent->array.get()) {
        if (!(m_hdfScaleDims & (1u << dim))) return scale;
        for (const auto& child : m_hdfCurrent->children) {
            if (child->kind != HdfKindSds || !child->array) continue;
            if (static_cast<const CHdfSds&>(*child).scaleOfDimension != dim) continue;
            scale.values = child->array->segment();
            scale.name = child->displayName;
            return scale;
        }
        return scale;
    }
    scale.values = m_axisScales[size_t(dim)].get();
    return scale;
}

// ---------------------------------------------------------------------------
// Graph state

GraphSettings& CArrayDoc::graphSettings(int kind) {
    return m_presenter.settings(kind);
}

int CArrayDoc::gridPrecision() const {
    if (GridHostView* g = gridView()) return clampPrecision(g->precision());
    return m_gridPrecision;
}

bool CArrayDoc::gridUseExponent() const {
    if (GridHostView* g = gridView()) return g->useExponent();
    return m_gridUseExponent;
}

void CArrayDoc::setGridFormat(int precision, bool useExponent) {
    m_gridPrecision = clampPrecision(precision);
    m_gridUseExponent = useExponent;
    if (GridHostView* g = gridView()) g->setNumberFormat(m_gridPrecision, useExponent);
}

void CArrayDoc::clearZoom() {
    m_zoom.clear();
}

void CArrayDoc::computeZoomIn() {
    if (!m_hasData || m_current->elementCount() == 0) return;
    int32_t c0, r0, C, R;
    m_current->planeRoi(c0, r0, C, R);
    m_zoom.storeDeeper({r0, c0, R, C}, m_cursorRow, m_cursorColumn);
}

void CArrayDoc::zoomToLevel(int level) {
    if (!m_zoom.goTo(level)) return;
    ZoomLevel z = m_zoom.region(level);
    if (level == 0) {
        z.rowStart = 0;
        z.colStart = 0;
        z.rowCount = int32_t(m_current->rowCount());
        z.colCount = int32_t(m_current->colCount());
    }
    // The array clamps its region; the control is expected to clamp what
    // it gets (an upper bound past the edge when the cursor sits near it).
    m_current->setPlaneRoi(z.colStart, z.rowStart, z.colCount, z.rowCount);
    if (CPlotrane2D* c = control()) {
        c->SetRoiLb(m_current->rowDim(), z.rowStart);
        c->SetRoiUb(m_current->rowDim(), z.rowStart + z.rowCount - 1);
        c->SetRoiLb(m_current->colDim(), z.colStart);
        c->SetRoiUb(m_current->colDim(), z.colStart + z.colCount - 1);
        c->Update();
    }
    if (GridHostView* g = gridView()) g->reload();
}

bool CArrayDoc::canZoomIn() {
    if (!m_hasData) return false;
    if (!m_zoom.hasDeeper()) computeZoomIn();
    return m_zoom.hasDeeper();
}

bool CArrayDoc::canZoomOut() const {
    if (!m_hasData) return false;
    if (m_zoom.level() != 0) return true;
    int32_t c0, r0, C, R;
    m_current->planeRoi(c0, r0, C, R);
    return C < m_current->colCount() || R < m_current->rowCount();
}

void CArrayDoc::zoomIn() {
    if (canZoomIn()) zoomToLevel(m_zoom.level() + 1);
}

void CArrayDoc::zoomOut() {
    zoomToLevel(std::max(0, m_zoom.level() - 1));
}

void CArrayDoc::adoptZoomRegion() {
    if (!m_hasData) return;
    int32_t c0, r0, C, R;
    m_current->planeRoi(c0, r0, C, R);
    m_zoom.adopt({r0, c0, R, C});
}

void CArrayDoc::toggleShowPalette() {
    CPlotrane2D* c = control();
    if (!c) return;
    deletePictureFile();
    const bool on = !c->getBool(DISPID_ShowPalette);
    c->setBool(DISPID_ShowPalette, on);
    m_presenter.setPaletteShown(on);
    const int kind = currentGraphType();
    if (kind == PlaneView)
        c->setBool(DISPID_UseColorPalette, on);
    else if (kind == VectorGraph && c->getInt(DISPID_WComp) == -1)
        c->setBool(DISPID_UseColorPalette, false);
}

void CArrayDoc::setSquareCells(bool on) {
    m_presenter.setSquareCells(on);
    m_settings.writeInt("ImageAspect", on ? 1 : 0);
    if (CPlotrane2D* c = control(true)) c->SetImageAspect(on ? 1 : 0);
}

void CArrayDoc::toggleShowMarker() {
    if (CPlotrane2D* c = control(true))
        c->setBool(DISPID_ShowCursor, !c->getBool(DISPID_ShowCursor));
}

void CArrayDoc::setPaletteId(int id) {
    CPlotrane2D* c = control();
    if (!c || id < 0 || id > 6) return;
    if (c->getInt(DISPID_PaletteId) != id) c->setShort(DISPID_PaletteId, id);
    settingsChanged(false);
}

void CArrayDoc::refresh() {
    if (CPlotrane2D* c = control()) c->Update();
    if (GridHostView* g = gridView()) g->redraw();
    // The values changed under the cursor (Paste, Cut, a client's Update):
    // the status bar shows the new one.
    refreshPositionText();
}

void CArrayDoc::refreshPositionText() {
    if (!m_hasData || !m_current) return;
    const aglArray& a = *m_current;
    const int64_t rows = a.rowDim() == a.colDim() ? 1 : std::max<int64_t>(1, a.extent(a.rowDim()));
    const int64_t cols = std::max<int64_t>(1, a.extent(a.colDim()));
    const int64_t row = std::clamp<int64_t>(m_cursorRow, 0, rows - 1);
    const int64_t column = std::clamp<int64_t>(m_cursorColumn, 0, cols - 1);
    emit statusTextChanged(2, QString::fromStdString(positionText(column, row)));
}

void CArrayDoc::deletePictureFile() {
    if (!m_pictureFile.empty()) std::remove(m_pictureFile.c_str());
    m_pictureFile.clear();
}

void CArrayDoc::setPictureFile(const std::string& path) {
    if (path != m_pictureFile) deletePictureFile();
    m_pictureFile = path;
}

bool CArrayDoc::beginPicture(int viewWidth, int viewHeight) {
    CPlotrane2D* c = control();
    if (!c) return false;
    const std::array<float, 3> camera = {c->getFloat(DISPID_CamXPos), c->getFloat(DISPID_CamYPos),
                                         c->getFloat(DISPID_CamZPos)};
    double distance2 = 0;
    for (size_t k = 0; k < 3; ++k) {
        const double d = double(camera[k]) - double(m_pictureCamera[k]);
        distance2 += d * d;
    }
    if (!m_pictureFile.empty() && distance2 < 0.01) {
        m_pictureStatus = 6;
        return false;
    }
    deletePictureFile();
    m_pictureCamera = camera;
    const print_page::PictureSize size = print_page::pictureSize(viewWidth, viewHeight);
    if (size.width == 0) return false;
    m_pictureStatus = 0;
    const Variant made = c->dispatch()->Invoke(
        DISPID_CreateMetaFile, {Variant(int(size.width)), Variant(int(size.height))});
    // A control that says it will not make the picture (a window too small,
    // another picture still being made) is not waited for.
    return !(made.type() == Variant::Type::Bool && !made.toBool());
}

void CArrayDoc::refreshShapeText() {
    emit statusTextChanged(0, m_hasData ? QString::fromStdString(m_statusNote) : QString());
    emit statusTextChanged(1, m_hasData ? QString::fromStdString(shapeText()) : QString());
}

int CArrayDoc::currentGraphType() const {
    CPlotrane2D* c = control(true);
    return c ? controlsync::shownGraphKind(*c) : NoGraph;
}

bool CArrayDoc::isGraphTypeAllowed(int kind) const {
    if (kind == NoGraph) return true;
    if (!m_hasData) return false;
    const GraphPresenter::Plane p = shownPlane();
    return GraphPresenter::suits(kind, p.rows, p.columns);
}

GraphPresenter::Plane CArrayDoc::shownPlane() const {
    GraphPresenter::Plane p;
    if (!m_hasData) return p;
    int32_t colLow, rowLow;
    m_current->planeRoi(colLow, rowLow, p.columns, p.rows);
    return p;
}

void CArrayDoc::storeControlSettings(int kind) {
    if (CPlotrane2D* c = control(true)) m_presenter.storeSettings(*c, kind);
}

void CArrayDoc::applySettingsToControl(int kind) {
    if (CPlotrane2D* c = control(true)) m_presenter.applySettings(*c, kind);
}

void CArrayDoc::saveCamera3D() {
    if (CPlotrane2D* c = control(true)) m_presenter.saveCamera(*c);
}

void CArrayDoc::restoreCamera3D() {
    if (CPlotrane2D* c = control(true)) m_presenter.restoreCamera(*c);
}

GraphPresenter::Plane CArrayDoc::turnablePlane(CPlotrane2D& c) {
    GraphPresenter::Plane p = shownPlane();
    // The vector graph turns a wide window: rows and columns swap places in
    // the array, the control and the spreadsheet alike.
    p.turn = [this, &c] {
        const int rd = m_current->rowDim();
        const int cd = m_current->colDim();
        m_current->setRowDim(cd);
        m_current->setColDim(rd);
        c.setLong(DISPID_RowDim, m_current->rowDim());
        c.setLong(DISPID_ColDim, m_current->colDim());
        c.Update();
        if (GridHostView* g = gridView()) g->reload();
    };
    return p;
}

void CArrayDoc::selectGraphType(int requested) {
    CPlotrane2D* c = control(true);
    if (!c) return;
    const int shown = currentGraphType();
    const int kind = m_presenter.select(*c, requested, shown, turnablePlane(*c));
    if (kind != shown && shown != NoGraph) settingsChanged(false);
}

void CArrayDoc::settingsChanged(bool force) {
    if (m_loading && !force) return;
    if (!(m_modified && !force)) {
        if (m_fileKind == KindAgl && m_options.saveAglAttr) setModified(true);
    }
    deletePictureFile();
}

// ---------------------------------------------------------------------------
// Attribute record

void CArrayDoc::captureAttributes(aglAttributes& r, bool refreshFromControl) {
    CPlotrane2D* c = control(true);
    const int kind = currentGraphType();
    // What is on screen now belongs to its kind's block and, under the free
    // camera, to the remembered camera: a record that is saved must keep
    // what is shown.
    if (c && refreshFromControl) {
        storeControlSettings(kind);
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free && kind != NoGraph)
            saveCamera3D();
    }
    r.flags = 0;
    if (gridUseExponent()) r.flags |= aglAttributes::kGridExponent;
    r.gridPrecision = gridPrecision();
    r.graphKind = int16_t(kind);
    r.surfaceDensity = m_presenter.settings(HeightPlot).gridDensity;
    r.surfaceStyle = int16_t(m_presenter.settings(HeightPlot).graphStyle);
    r.surfaceSettings = packSettingsWord(m_presenter.settings(HeightPlot));
    r.imageSettings = packSettingsWord(m_presenter.settings(ImageMap));
    r.vectorStyle = int16_t(m_presenter.settings(VectorGraph).graphStyle);
    r.vectorSettings = packSettingsWord(m_presenter.settings(VectorGraph));
    r.planeStyle = int16_t(m_presenter.settings(PlaneView).graphStyle);
    r.planeSettings = packSettingsWord(m_presenter.settings(PlaneView));
    r.elevation = m_presenter.camera().elevation;
    r.azimuth = m_presenter.camera().azimuth;
    r.distance = m_presenter.camera().distance;
    r.zScale = m_presenter.camera().zScale;
    r.row = m_cursorRow;
    r.col = m_cursorColumn;
    r.rowDim = m_current->rowDim();
    r.colDim = m_current->colDim();
    for (int d = 0; d < agl::kMaxDims; ++d) {
        int32_t low = 0, high = 0;
        if (d < m_current->dimCount()) m_current->getRoi(d, low, high);
        r.roiLow[d] = low;
        r.roiHigh[d] = high;
    }
    if (c) controlsync::readControlAttributes(*c, r);
}

void CArrayDoc::applyAttributes(const aglAttributes& r) {
    // A damaged record may carry any precision; formats are built from it.
    setGridFormat(clampPrecision(r.gridPrecision), (r.flags & aglAttributes::kGridExponent) != 0);
    CPlotrane2D* c = control(true);
    if (c) controlsync::writeColors(*c, r);
    unpackSettingsWord(r.surfaceSettings, m_presenter.settings(HeightPlot));
    // A density the control would refuse keeps the one in force.
    if (r.surfaceDensity > 0.0f && r.surfaceDensity < 100.0f)
        m_presenter.settings(HeightPlot).gridDensity = r.surfaceDensity;
    m_presenter.settings(HeightPlot).graphStyle = r.surfaceStyle;
    unpackSettingsWord(r.imageSettings, m_presenter.settings(ImageMap));
    if (c) c->setShort(DISPID_ImageOrientation, r.imageOrientation);
    unpackSettingsWord(r.vectorSettings, m_presenter.settings(VectorGraph));
    m_presenter.settings(VectorGraph).graphStyle = r.vectorStyle;
    if (c) {
        c->setLong(DISPID_XComp, r.xComp);
        c->setLong(DISPID_YComp, r.yComp);
        c->setLong(DISPID_ZComp, r.zComp);
        c->setLong(DISPID_WComp, r.wComp);
    }
    unpackSettingsWord(r.planeSettings, m_presenter.settings(PlaneView));
    m_presenter.settings(PlaneView).graphStyle = r.planeStyle;
    if (c) {
        c->setBool(DISPID_ShowPalette, (r.flags & aglAttributes::kShowPalette) != 0);
        c->setBool(DISPID_ShowCursor, (r.flags & aglAttributes::kShowCursor) != 0);
    }
    m_presenter.camera().elevation = r.elevation;
    m_presenter.camera().azimuth = r.azimuth;
    m_presenter.camera().distance = r.distance;
    m_presenter.camera().zScale = r.zScale;
    if (c) {
        c->setDouble(DISPID_XMinClamp, r.xMinClamp);
        c->setDouble(DISPID_YMinClamp, r.yMinClamp);
        c->setDouble(DISPID_ZMinClamp, r.zMinClamp);
        c->setDouble(DISPID_XMaxClamp, r.xMaxClamp);
        c->setDouble(DISPID_YMaxClamp, r.yMaxClamp);
        c->setDouble(DISPID_ZMaxClamp, r.zMaxClamp);
        c->setBool(DISPID_AxisAutoScale, (r.flags & aglAttributes::kAxisAutoScale) != 0);
    }
    setCursor(r.row, r.col);

    // Dimensions out of range would make the array pick its own; keep the
    // ones in force instead.
    const int dims = m_current->dimCount();
    if (r.rowDim >= 0 && r.rowDim < dims && r.colDim >= 0 && r.colDim < dims) {
        m_current->setRowDim(r.rowDim);
        m_current->setColDim(r.colDim);
    }
    if (c) {
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
    }
    for (int d = 0; d < dims && d < agl::kMaxDims; ++d) {
        const int32_t last = m_current->extent(d) - 1;
        const int32_t low = std::max(r.roiLow[d], 0);
        const int32_t high = std::min(r.roiHigh[d], last);
        if (high < low) continue;
        if (c) {
            c->SetRoiUb(d, last);
            c->SetRoiLb(d, low);
            c->SetRoiUb(d, high);
        }
        m_current->setRoi(d, low, high);
    }
    if (c) {
        c->setDouble(DISPID_PaletteMinVal, r.paletteMinVal);
        c->setDouble(DISPID_PaletteMaxVal, r.paletteMaxVal);
        c->setShort(DISPID_PaletteId, r.paletteId);
        c->setBool(DISPID_PaletteAutoAdjust, (r.flags & aglAttributes::kPaletteAutoAdjust) != 0);
    }
    selectGraphType(r.graphKind);
    if (c) c->Update();
    if (GridHostView* g = gridView()) g->reload();
}

// ---------------------------------------------------------------------------
// Settings store

void CArrayDoc::setOptions(const SettingsStore::Options& o) {
    m_options.fillValue = o.fillValue;
    m_options.saveAglAttr = o.saveAglAttr;
    m_options.restoreAglAttr = o.restoreAglAttr;
    m_options.showHdfTree = o.showHdfTree;
    m_options.showAglAnnot = o.showAglAnnot;
    // The axis-scales flag is the View menu's; the dialog only writes it.
    m_settings.writeOptions(m_options);
}

void CArrayDoc::setDisplayDimScales(bool on) {
    m_options.displayDimScales = on;
    if (CPlotrane2D* c = control(true)) c->setBool(DISPID_UseAxisScales, on);
}

void CArrayDoc::applyGraphDefaults() {
    SettingsStore& s = m_settings;
    setGridFormat(s.readInt("Precision", gridPrecision()),
                  s.readInt("UseExp", gridUseExponent() ? 1 : 0) != 0);
    const int kind = s.readInt("GraphType", PlaneView);
    m_presenter.setPreferredKind(kind);

    auto readBlock = [&](const char* settingsName, int k) {
        unpackSettingsWord(
            uint32_t(s.readInt(settingsName, int(packSettingsWord(m_presenter.settings(k))))),
            m_presenter.settings(k));
    };
    readBlock("SurfaceSettings", HeightPlot);
    const float density =
        s.readX100("SurfaceDensity", m_presenter.settings(HeightPlot).gridDensity);
    if (density > 0.0f && density < 100.0f) m_presenter.settings(HeightPlot).gridDensity = density;
    m_presenter.settings(HeightPlot).graphStyle =
        s.readInt("SurfaceStyle", m_presenter.settings(HeightPlot).graphStyle);
    readBlock("ImageSettings", ImageMap);
    CPlotrane2D* c = control(true);
    if (c && s.contains("ImageOrientation"))
        c->setShort(DISPID_ImageOrientation, s.readInt("ImageOrientation", 0));
    readBlock("VectorSettings", VectorGraph);
    m_presenter.settings(VectorGraph).graphStyle =
        s.readInt("VectorStyle", m_presenter.settings(VectorGraph).graphStyle);
    readBlock("PlaneSettings", PlaneView);
    m_presenter.settings(PlaneView).graphStyle =
        s.readInt("PlaneStyle", m_presenter.settings(PlaneView).graphStyle);
    m_presenter.setPaletteShown(s.readInt("ShowPalette", 0) != 0);
    if (c) c->setBool(DISPID_ShowCursor, s.readInt("ShowMarker", 0) != 0);
    m_presenter.camera().elevation = s.readX100("SurfaceElevation", m_presenter.camera().elevation);
    m_presenter.camera().azimuth = s.readX100("SurfaceAzimuth", m_presenter.camera().azimuth);
    m_presenter.camera().distance = s.readX100("SurfaceDistance", m_presenter.camera().distance);
    m_presenter.camera().zScale = s.readX100("ZScale", m_presenter.camera().zScale);
    if (c) {
        if (s.contains("PaletteId")) c->setShort(DISPID_PaletteId, s.readInt("PaletteId", 0));
        static const std::pair<const char*, int> kColours[] = {
            {"BackColor", DISPID_BackColor},         {"GraphColor", DISPID_GraphColor},
            {"AxisBackColor", DISPID_AxisBackColor}, {"AxisColor", DISPID_AxisColor},
            {"MarkerColor", DISPID_CursorColor},     {"LabelColor", DISPID_AxisLabelColor},
            {"GridColor", DISPID_GridColor}};
        for (const auto& [name, dispid] : kColours)
            if (s.contains(name)) c->setColor(dispid, uint32_t(s.readInt(name, 0)));

        // What every newly bound array starts from.
        c->setBool(DISPID_UseAxisScales, m_options.displayDimScales);
        c->setBool(DISPID_AxisAutoScale, true);
        c->setBool(DISPID_PaletteAutoAdjust, m_fileKind != KindBitmap);
        // Vector components from the first four columns, as a new control has them.
        for (const int d : {DISPID_XComp, DISPID_YComp, DISPID_ZComp, DISPID_WComp})
            c->setLong(d, int32_t(propertyInfo(d)->def.number));
    }
}

void CArrayDoc::saveGraphDefaults() {
    SettingsStore& s = m_settings;
    CPlotrane2D* c = control(true);
    const int kind = currentGraphType();
    if (c) {
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free) {
            m_presenter.camera().elevation = c->getFloat(DISPID_CamElevation);
            m_presenter.camera().azimuth = c->getFloat(DISPID_CamAzimuth);
            m_presenter.camera().distance = c->getFloat(DISPID_CamDistance);
            m_presenter.camera().zScale = c->getFloat(DISPID_ZScale);
        }
        storeControlSettings(kind);
    }
    s.writeInt("Precision", gridPrecision());
    s.writeInt("UseExp", gridUseExponent() ? 1 : 0);
    s.writeInt("GraphType", kind);
    s.writeInt("SurfaceSettings", int(packSettingsWord(m_presenter.settings(HeightPlot))));
    s.writeX100("SurfaceDensity", m_presenter.settings(HeightPlot).gridDensity);
    s.writeInt("SurfaceStyle", m_presenter.settings(HeightPlot).graphStyle);
    s.writeInt("ImageSettings", int(packSettingsWord(m_presenter.settings(ImageMap))));
    if (c) s.writeInt("ImageOrientation", c->getInt(DISPID_ImageOrientation));
    s.writeInt("VectorSettings", int(packSettingsWord(m_presenter.settings(VectorGraph))));
    s.writeInt("VectorStyle", m_presenter.settings(VectorGraph).graphStyle);
    s.writeInt("PlaneSettings", int(packSettingsWord(m_presenter.settings(PlaneView))));
    s.writeInt("PlaneStyle", m_presenter.settings(PlaneView).graphStyle);
    s.writeInt("ShowPalette",
               c ? (c->getBool(DISPID_ShowPalette) ? 1 : 0) : (m_presenter.paletteShown() ? 1 : 0));
    if (c) s.writeInt("ShowMarker", c->getBool(DISPID_ShowCursor) ? 1 : 0);
    s.writeX100("SurfaceElevation", m_presenter.camera().elevation);
    s.writeX100("SurfaceAzimuth", m_presenter.camera().azimuth);
    s.writeX100("SurfaceDistance", m_presenter.camera().distance);
    s.writeX100("ZScale", m_presenter.camera().zScale);
    if (c) {
        s.writeInt("PaletteId", c->getInt(DISPID_PaletteId));
        auto colour = [&](int dispid) {
            return int(translateOleColor(uint32_t(c->getInt(dispid))));
        };
        s.writeInt("BackColor", colour(DISPID_BackColor));
        s.writeInt("GraphColor", colour(DISPID_GraphColor));
        s.writeInt("AxisBackColor", colour(DISPID_AxisBackColor));
        s.writeInt("AxisColor", colour(DISPID_AxisColor));
        s.writeInt("MarkerColor", colour(DISPID_CursorColor));
        s.writeInt("LabelColor", colour(DISPID_AxisLabelColor));
        s.writeInt("GridColor", colour(DISPID_GridColor));
    }
    s.sync();
}

void CArrayDoc::restoreFactoryDefaults() {
    m_settings.removeGraphDefaults();
    m_settings.sync();
    // The user who asks for the factory values wants to see them now, not
    // at the next load.
    const int shown = currentGraphType();
    setBuiltInGraphDefaults();
    setGridFormat(kDefaultGridPrecision, false);
    CPlotrane2D* c = control(true);
    if (!c) return;
    auto builtIn = [](int dispid) { return propertyInfo(dispid)->def.number; };
    c->setShort(DISPID_ImageOrientation, int16_t(builtIn(DISPID_ImageOrientation)));
    c->setBool(DISPID_ShowCursor, false);
    c->setShort(DISPID_PaletteId, int16_t(builtIn(DISPID_PaletteId)));
    c->setColor(DISPID_BackColor, kBackColor);
    for (const int dispid : {DISPID_GraphColor, DISPID_AxisBackColor, DISPID_AxisColor,
                             DISPID_CursorColor, DISPID_AxisLabelColor, DISPID_GridColor})
        c->setColor(dispid, uint32_t(builtIn(dispid)));
    if (shown == NoGraph) {
        c->setBool(DISPID_ShowPalette, m_presenter.paletteShown());
    } else {
        // The kind on screen again, now from its built-in settings (not from
        // the control, as a switch of kind would take them).
        m_presenter.showKind(*c, shown,
                             c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free,
                             turnablePlane(*c));
        if (c->getEnum<CamViewType>(DISPID_CamViewType) == CamViewType::Free) restoreCamera3D();
        applySettingsToControl(shown);
    }
    settingsChanged(false);
}

void CArrayDoc::askSaveGraphDefaults() {
    if (m_sink.question("Save current graph settings as default?")) saveGraphDefaults();
}

void CArrayDoc::askRestoreFactoryDefaults() {
    if (m_sink.question("Restore factory default settings?")) restoreFactoryDefaults();
}
