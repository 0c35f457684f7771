#include "aglGraphObj.h"

#include <optional>

#include "aglFilter.h"
#include "aglGL.h"
#include "aglHeightGeometry.h"
#include "aglPickCode.h"
#include "aglRenderContext.h"
#include "aglTrace.h"

aglGraphObj::~aglGraphObj() {
    if (m_dataLocked && m_source) m_source->unlockData();
    dropGeometryList();
}

void aglGraphObj::Invalidate() {
    m_listStale.store(true, std::memory_order_release);
    aglObj::Invalidate();
}

void aglGraphObj::dropGeometryList() {
    if (m_geometryList == 0) return;
    if (m_context && !m_context->IsRenderThread())
        m_context->DeleteListsLater(m_geometryList, 1);
    else if (m_context)
        glDeleteLists(m_geometryList, 1);
    // Without a context the list was never made in any GL context we know of.
    m_geometryList = 0;
}

void aglGraphObj::DecodePick(const uint8_t rgba[4], int* id, double* yIndex, double* xIndex) const {
    const aglPickDecoded d = aglDecodePick(rgba, m_xShift, m_yShift);
    if (id) *id = d.id;
    if (yIndex) *yIndex = d.y;
    if (xIndex) *xIndex = d.x;
}

void aglGraphObj::EncodePick(int yIndex, int xIndex, uint8_t rgb[3]) const {
    aglEncodePick(m_pickId, xIndex, yIndex, m_xShift, m_yShift, rgb);
}

void aglGraphObj::ComputePickShifts() {
    m_xShift = aglPickShift(m_nx);
    m_yShift = aglPickShift(m_ny);
}

void aglGraphObj::SetDataSource(const aglFilter* source) {
    m_source = source;
    SyncWithData();
    Invalidate();
}

void aglGraphObj::Refresh() {
    SyncWithData();
    Invalidate();
}

void aglGraphObj::SetLighting(bool on) {
    m_lighting = on;
    Invalidate();
}

void aglGraphObj::SetPalette(const aglPalette* palette) {
    m_palette = palette;
    Invalidate();
}

void aglGraphObj::SetUseColorPalette(bool on) {
    m_useColorPalette = on;
    Invalidate();
}

bool aglGraphObj::readGridSize() {
    int nx = 0, ny = 0;
    if (m_source) {
        // Scalar grid: rows along y, columns along x. A vector grid's
        // "columns" are its components, which a height plot never draws.
        ny = m_source->outputRows();
        nx = m_source->outputColumns();
        if (!m_source->grid() || nx < 0 || ny < 0) nx = ny = 0;
    }
    if (nx == m_nx && ny == m_ny) return false;
    m_nx = nx;
    m_ny = ny;
    return true;
}

void aglGraphObj::SyncWithData() {
    bool changed;
    if (!m_source) {
        changed = readGridSize();
    } else {
        aglFilter::DataLock lock(*m_source);
        changed = readGridSize();
    }
    if (!changed) return;
    ComputePickShifts();
    if (m_gridLinesX > 0)
        aglGridLineSteps(m_nx, m_ny, m_gridLinesX, m_gridLinesY, &m_columnStep, &m_rowStep);
    Invalidate();
}

bool aglGraphObj::LockFrameData(aglRenderContext& context) {
    if (!m_source) return false;
    // A level whose pass has not finished is waited for in 20 ms steps; the
    // wait gives up as soon as the render thread is told to pause or quit,
    // in the middle of a step (the pause would otherwise wait out the step).
    while (!m_source->isDone())
        if (context.ShouldStopWaiting() || context.SleepUnlessStopped(20)) return false;
    m_source->lockData();
    // The grid may have been refiltered to another shape since the last
    // Refresh: the size used for this frame is the one read under the lock.
    if (readGridSize()) {
        ComputePickShifts();
        if (m_gridLinesX > 0)
            aglGridLineSteps(m_nx, m_ny, m_gridLinesX, m_gridLinesY, &m_columnStep, &m_rowStep);
        Invalidate();
    }
    if (m_nx <= 0 || m_ny <= 0 || !m_source->grid()) {
        m_source->unlockData();
        return false;
    }
    m_dataLocked = true;
    return true;
}

void aglGraphObj::UnlockFrameData() {
    if (!m_dataLocked) return;
    m_dataLocked = false;
    m_source->unlockData();
}

void aglGraphObj::SetStyle(int style) {
    m_style = style;
    Invalidate();
}

void aglGraphObj::SetDepthcue(bool on) {
    m_depthcue = on;
    Invalidate();
}

void aglGraphObj::SetShading(int shading) {
    m_shading = shading;
    Invalidate();
}

void aglGraphObj::SetCacheBehavior(int behavior) {
    m_cacheBehavior = behavior;
    if (behavior == 1) dropGeometryList();
    Invalidate();
}

void aglGraphObj::SetGridColor(float r, float g, float b) {
    m_gridColor[0] = r;
    m_gridColor[1] = g;
    m_gridColor[2] = b;
    Invalidate();
}

void aglGraphObj::SetCursorColor(float r, float g, float b) {
    m_cursorColor[0] = r;
    m_cursorColor[1] = g;
    m_cursorColor[2] = b;
    Invalidate();
}

void aglGraphObj::SetCursorTransparency(float alpha) {
    m_cursorAlpha = alpha;
}

void aglGraphObj::SetShowGrid(bool on) {
    m_showGrid = on;
    Invalidate();
}

void aglGraphObj::SetHiddenLine(bool on) {
    m_hiddenLine = on;
    Invalidate();
}

void aglGraphObj::SetTextured(bool on) {
    m_textured = on;
    Invalidate();
}

void aglGraphObj::SetShowCursor(bool on) {
    m_showCursor = on;
    Invalidate();
}

void aglGraphObj::SetBarChartArea(float area) {
    if (!(area > 0.0f && area <= 1.0f)) return;
    m_barArea = area;
    Invalidate();
}

void aglGraphObj::SetExtents(float x, float y, float z) {
    if (x == m_extent[0] && y == m_extent[1] && z == m_extent[2]) return;
    m_extent[0] = x;
    m_extent[1] = y;
    m_extent[2] = z;
    // A geometry list (and a finished anti-aliased picture) holds the old box.
    Invalidate();
}

void aglGraphObj::SetClip(bool on) {
    m_clip = on;
    Invalidate();
}

void aglGraphObj::SetNumGridLines(int xLines, int yLines) {
    if (xLines < 1) xLines = 1;
    if (yLines < 1) yLines = 1;
    m_gridLinesX = xLines;
    m_gridLinesY = yLines;
    float fx = 0, fy = 0;
    aglGridLineSteps(m_nx, m_ny, xLines, yLines, &m_columnStep, &m_rowStep, &fx, &fy);
    aglTrace("fRes: (%f, %f)\n", double(fx), double(fy));
    aglTrace("SetNumGridLines() xyLines: (%d, %d), wh: (%d, %d) xyRes: (%d, %d)\n", xLines, yLines,
             m_nx, m_ny, m_columnStep, m_rowStep);
    Invalidate();
}

void aglGraphObj::SetCursorCell(int yIndex, int xIndex, int yStride, int xStride) {
    if (yStride < 1 || xStride < 1) return;
    if (yIndex < 0 || xIndex < 0) return;
    // Whether the cell lies in the grid is decided when it is read: the grid
    // size belongs to the filter thread's passes, and waiting for one here
    // (or for the frame that holds the data lock) stalled the caller, the
    // user-interface thread, for a whole pass or frame on every cursor key.
    std::lock_guard<std::mutex> lock(m_cursorMutex);
    m_cursorWanted = CursorCell{yIndex, xIndex, yStride, xStride};
    m_cursorPending = true;
}

aglGraphObj::CursorCell aglGraphObj::acceptedCursor() const {
    std::lock_guard<std::mutex> lock(m_cursorMutex);
    if (m_cursorPending) {
        m_cursorPending = false;
        const CursorCell& w = m_cursorWanted;
        if (w.y / w.yStride < m_ny && w.x / w.xStride < m_nx) m_cursor = w;
    }
    return m_cursor;
}

int aglGraphObj::cursorGridRow() const {
    std::optional<aglFilter::DataLock> dataLock;
    if (m_source) dataLock.emplace(*m_source);
    const CursorCell c = acceptedCursor();
    return c.y / c.yStride;
}

int aglGraphObj::cursorGridColumn() const {
    std::optional<aglFilter::DataLock> dataLock;
    if (m_source) dataLock.emplace(*m_source);
    const CursorCell c = acceptedCursor();
    return c.x / c.xStride;
}

void aglGraphObj::copySettingsFrom(const aglGraphObj& o) {
    m_visible = o.m_visible;
    for (int k = 0; k < 3; ++k) {
        m_position[k] = o.m_position[k];
        m_color[k] = o.m_color[k];
        m_extent[k] = o.m_extent[k];
        m_gridColor[k] = o.m_gridColor[k];
        m_cursorColor[k] = o.m_cursorColor[k];
    }
    m_lineWidth = o.m_lineWidth;
    m_pointSize = o.m_pointSize;
    m_pickId = o.m_pickId;
    m_style = o.m_style;
    m_shading = o.m_shading;
    m_lighting = o.m_lighting;
    m_depthcue = o.m_depthcue;
    m_cacheBehavior = o.m_cacheBehavior;
    m_palette = o.m_palette;
    m_useColorPalette = o.m_useColorPalette;
    m_textured = o.m_textured;
    m_barArea = o.m_barArea;
    m_hiddenLine = o.m_hiddenLine;
    m_clip = o.m_clip;
    m_cursorAlpha = o.m_cursorAlpha;
    m_showCursor = o.m_showCursor;
    m_showGrid = o.m_showGrid;
    m_gridLinesX = o.m_gridLinesX;
    m_gridLinesY = o.m_gridLinesY;
    if (m_gridLinesX > 0)
        aglGridLineSteps(m_nx, m_ny, m_gridLinesX, m_gridLinesY, &m_columnStep, &m_rowStep);
    Invalidate();
}
