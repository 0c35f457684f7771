// CArrayDoc's side of the array shown: the cursor, the region of interest
// and the plane of a data set read plane by plane, the zoom history, the
// graph kind and the View commands (see CArrayDoc.h).
#include "CArrayDoc.h"

#include "CPlotrane2D.h"
#include "ControlSync.h"
#include "DocView.h"
#include "MessageSink.h"

#include <algorithm>
#include <cstdio>

using namespace plotrane;

namespace {

int clampPrecision(int p) {
    return std::clamp(p, 3, 15);
}

} // namespace

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
    for (const ViewEntry& e : m_viewEntries) {
        if (e.control && e.control != origin) {
            if (CPlotrane2D* c = e.control->control()) {
                c->setLong(DISPID_Row, row);
                c->setLong(DISPID_Col, column);
            }
        } else if (e.grid && e.grid != origin) {
            e.grid->selectCell(row, column);
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
    const CHdfObject* shown = m_hdf.current();
    if (!m_hasData || !shown || shown->kind != HdfKindSds) return nullptr;
    const auto* s = static_cast<const CHdfSds*>(shown);
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
            if (m_hdf.isWaiting()) return false;
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
    if (const CHdfObject* shown = m_hdf.current(); shown && m_current == shown->array.get()) {
        if (!(m_hdfScaleDims & (1u << dim))) return scale;
        for (const auto& child : shown->children) {
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
    m_picture.drop();
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

bool CArrayDoc::beginPicture(int viewWidth, int viewHeight) {
    CPlotrane2D* c = control();
    return c && m_picture.begin(*c, viewWidth, viewHeight);
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
    m_picture.drop();
}
