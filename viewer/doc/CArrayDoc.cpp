#include "CArrayDoc.h"

#include "AglAsciiFormat.h"
#include "ArrayClipboard.h"
#include "ArrayFileOpener.h"
#include "CPlotrane2D.h"
#include "ControlSync.h"
#include "DocView.h"
#include "MessageSink.h"
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
    m_hdf.release();
    m_main.reset();
    m_picture.drop();
}

void CArrayDoc::addView(ControlHostView* view) {
    if (!view || std::find(m_views.begin(), m_views.end(), view) != m_views.end()) return;
    m_views.push_back(view);
    m_viewEntries.push_back({view, nullptr});
}

void CArrayDoc::addView(GridHostView* view) {
    if (!view || std::find(m_views.begin(), m_views.end(), view) != m_views.end()) return;
    m_views.push_back(view);
    m_viewEntries.push_back({nullptr, view});
}

void CArrayDoc::removeView(DocView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    const auto gone = [view](const ViewEntry& e) {
        return (e.control && e.control == view) || (e.grid && e.grid == view);
    };
    m_viewEntries.erase(std::remove_if(m_viewEntries.begin(), m_viewEntries.end(), gone),
                        m_viewEntries.end());
}

ControlHostView* CArrayDoc::graphView() const {
    for (const ViewEntry& e : m_viewEntries)
        if (e.control && e.control->isGraphPane()) return e.control;
    return nullptr;
}

GridHostView* CArrayDoc::gridView() const {
    for (const ViewEntry& e : m_viewEntries)
        if (e.grid) return e.grid;
    return nullptr;
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
    if (!m_hasData || m_watchFd < 0 || m_checkRunning || m_hdf.isWaiting()) return;
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
    if (m_hdf.isWaiting()) {
        // Asked from inside the wait (a timer, another program): the load
        // under way owns the document until it ends.
        m_lastError = AGL_E_OPEN;
        m_lastReason = "the viewer is still reading another file";
        return false;
    }
    m_lastReason.clear();
    m_cancelled = false;
    ArrayOpenOptions options;
    options.hdfHelper = &m_hdf.helper();
    options.hdfWait = m_hdf.wait();
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
    // What is needed of the data set after the read: a release of the list
    // meanwhile (a new document) makes the read fail.
    const std::string filePath = planes->filePath;
    const HdfPlane plane = planes->plane;
    std::string reason;
    std::unique_ptr<aglArray> whole = m_hdf.readWhole(*planes, reason);
    if (!whole) {
        m_sink.message("Unable to read file: " + filePath +
                           (reason.empty() ? std::string() : " (" + reason + ")"),
                       MessageIcon::Exclamation);
        return false;
    }
    whole->setRowDim(plane.rowDim);
    whole->setColDim(plane.colDim);
    for (int d = 0; d < whole->dimCount(); ++d) {
        int32_t low = 0, high = 0;
        m_current->getRoi(d, low, high);
        if (d != plane.rowDim && d != plane.colDim) low = high = plane.index[size_t(d)];
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
    m_picture.drop();
    if (GridHostView* g = gridView()) g->clear();
    m_statusNote.clear();
    emit statusTextChanged(0, QString());
    emit statusTextChanged(1, QString());
    emit statusTextChanged(2, QString());
    emitTitle();
    emit arrayChanged();
}

bool CArrayDoc::closeDocument() {
    // What this document copied stays on the clipboard: the offer holds a
    // copy of the block, and its rendering goes on without the document.
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
// Edit commands

ArrayClipboard::Target CArrayDoc::clipboardTarget() {
    ArrayClipboard::Target t;
    t.array = m_hasData ? m_current : nullptr;
    t.grid = gridView();
    t.cursorRow = m_cursorRow;
    t.cursorColumn = m_cursorColumn;
    t.fillValue = m_options.fillValue;
    t.clientOwned = m_clientOwned;
    t.makeWritable = [this] { return ensureWritable(); };
    t.changed = [this] {
        setModified(true);
        emitTitle();
        refresh();
    };
    return t;
}

std::unique_ptr<CArrayDataSource> CArrayDoc::copyBlock(bool cut) {
    if (!m_hasData) return nullptr;
    return m_clipboard.copyBlock(clipboardTarget(), cut);
}

bool CArrayDoc::canPaste(const QMimeData* data) const {
    return ArrayClipboard::canPaste(m_clientOwned, data);
}

bool CArrayDoc::paste(const QMimeData* data) {
    ArrayClipboard::Pasted pasted = m_clipboard.paste(clipboardTarget(), data);
    if (pasted.newArray) pasteAsNewArray(std::move(pasted.newArray), pasted.newName);
    return pasted.done;
}

void CArrayDoc::copyGraphPicture() {
    if (!m_hasData) return;
    if (CPlotrane2D* c = control()) PrintPicture::copyToClipboard(*c);
}

bool CArrayDoc::ensureWritable() {
    if (m_current->isWritable()) return true;
    const std::string name = makeWritable();
    if (name.empty()) return false;
    if (CPlotrane2D* c = control()) {
        // Binding a new name resets the control's regions: tell it the
        // plane shown again.
        c->setString(DISPID_FileName, name);
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
        for (int d = 0; d < m_current->dimCount() && d < agl::kMaxDims; ++d) {
            int32_t low = 0, high = 0;
            m_current->getRoi(d, low, high);
            c->SetLBound(d, m_current->lowerBound(d));
            c->SetRoiUb(d, m_current->extent(d) - 1);
            c->SetRoiLb(d, low);
            c->SetRoiUb(d, high);
        }
    }
    return true;
}

void CArrayDoc::pasteAsNewArray(std::unique_ptr<aglArray> array, const std::string& name) {
    m_main = std::move(array);
    m_current = m_main.get();
    m_statusNote.clear();
    m_path = name;
    m_loading = true;
    postLoad();
    if (CPlotrane2D* c = control()) {
        c->setLong(DISPID_RowDim, m_current->rowDim());
        c->setLong(DISPID_ColDim, m_current->colDim());
        c->Update();
    }
    m_loading = false;
    setModified(true);
    emitTitle();
    setCursor(m_cursorRow, m_cursorColumn);
    clearZoom();
    refreshShapeText();
    emit arrayChanged();
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
