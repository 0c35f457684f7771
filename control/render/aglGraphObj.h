// aglGraphObj: the base of every graph object, the scene object that draws
// one level of detail's grid (GraphType 0 uses it as is and draws nothing).
//
// It keeps the display settings the control forwards (style, shading,
// lighting, depth cue, cache behaviour, palette, grid lines, cursor), the
// graph box extents, the grid size copied from its data source, and the pick
// colour code of its samples.
//
// The data source is a level's aglFilter (not owned): its grid is nx columns
// (along x) by ny rows (along y) of heights in graph-box units, read only
// under the filter's data lock. The render context's frame takes that lock
// through LockFrameData before it draws and releases it after the cursor, so
// Render and DrawCursor always run with the lock held; LockFrameData also
// re-reads the grid's size, because a level refiltered in place may have
// changed shape since the last SetDataSource or Refresh.
//
// Threads: setters run on the control's thread (the pipeline pauses the
// render thread around changes that replace data); Render, DrawCursor and the
// frame-data hooks run on the render thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "aglFrameHooks.h"
#include "aglObj.h"

class aglFilter;
class aglPalette;

class aglGraphObj : public aglObj, public aglFrameGraph {
public:
    enum Style { kWireframe = 0, kSurface = 1, kBarChart = 2, kLines = 3, kPoints = 4 };
    enum Shading { kFlat = 0, kSmooth = 1 };

    aglGraphObj() = default;
    ~aglGraphObj() override;

    // --- virtual operations (after those of aglObj) --------------------------
    // Splits a pick frame's pixel into the object identifier (0: nothing) and
    // fractional sample indices along y and x.
    virtual void DecodePick(const uint8_t rgba[4], int* id, double* yIndex, double* xIndex) const;
    // Binds the grid to draw (a level's filter, not owned; null for none).
    virtual void SetDataSource(const aglFilter* source);
    virtual const aglFilter* GetDataSource() const { return m_source; }
    // The source's grid changed: re-reads its size and redraws.
    virtual void Refresh();
    virtual void SetLighting(bool on);
    // The shared palette (not owned; null for none).
    virtual void SetPalette(const aglPalette* palette);
    virtual void SetUseColorPalette(bool on);
    // Draws the cursor box (render thread, data locked, depth writes off).
    void DrawCursor() override {}
    // Copies the source's grid size; when it changed, recomputes the pick
    // shifts and the grid-line steps and invalidates.
    virtual void SyncWithData();
    // The pick colour code of sample (yIndex, xIndex): RGB bytes.
    virtual void EncodePick(int yIndex, int xIndex, uint8_t rgb[3]) const;
    virtual void ComputePickShifts();

    // --- aglFrameGraph -------------------------------------------------------
    bool LockFrameData(aglRenderContext& context) override;
    void UnlockFrameData() override;
    // A graph kind that draws (not the plain one), with a source.
    bool DrawsData() const override { return m_drawsData && m_source; }
    bool ShowsCursor() const override { return m_showCursor; }
    bool UsesColorPalette() const override { return m_useColorPalette; }

    // --- settings (control's thread) -----------------------------------------
    void SetStyle(int style);
    void SetDepthcue(bool on);
    void SetShading(int shading);
    // 1 draws directly every frame (and drops the display list); 0 and 2 keep
    // the geometry in a display list.
    void SetCacheBehavior(int behavior);
    void SetGridColor(float r, float g, float b);
    void SetCursorColor(float r, float g, float b);
    void SetCursorTransparency(float alpha); // no redraw of its own
    void SetShowGrid(bool on);
    void SetHiddenLine(bool on);
    void SetTextured(bool on);
    void SetShowCursor(bool on);
    // Accepted when 0 < area <= 1, otherwise ignored.
    void SetBarChartArea(float area);
    // The graph box (XScale, YScale, ZScale); a new box invalidates (the
    // next frame draws it), the same box does nothing.
    void SetExtents(float x, float y, float z);
    // The heights are mapped through clamp values and may leave the box:
    // clip planes then keep the drawing inside it.
    void SetClip(bool on);
    // Draws every step-th row and column line so that about x by y lines show.
    void SetNumGridLines(int xLines, int yLines);
    // The cursor at data indices (yIndex, xIndex) of a grid sampled every
    // yStride rows and xStride columns; ignored unless it lies in the grid
    // the next frame draws. Any thread may call it, at any time: it waits
    // for neither a frame nor a filter pass.
    void SetCursorCell(int yIndex, int xIndex, int yStride, int xStride);
    // Copies every display setting (not the data source) from another graph
    // object, as the pipeline does when it switches levels.
    void copySettingsFrom(const aglGraphObj& other);

    // The accepted cursor cell in grid units (data index / stride).
    int cursorGridRow() const;
    int cursorGridColumn() const;
    int Style() const { return m_style; }
    int shadingMode() const { return m_shading; }
    bool Lighting() const { return m_lighting; }
    bool Depthcue() const { return m_depthcue; }
    int CacheBehavior() const { return m_cacheBehavior; }
    bool UseColorPalette() const { return m_useColorPalette; }
    const aglPalette* Palette() const { return m_palette; }
    bool Textured() const { return m_textured; }
    bool ShowGrid() const { return m_showGrid; }
    bool HiddenLine() const { return m_hiddenLine; }
    bool Clip() const { return m_clip; }
    float BarChartArea() const { return m_barArea; }
    int columnStep() const { return m_columnStep; }
    int rowStep() const { return m_rowStep; }
    int gridWidth() const { return m_nx; }  // nx
    int gridHeight() const { return m_ny; } // ny
    int xPickShift() const { return m_xShift; }
    int yPickShift() const { return m_yShift; }
    // The display list holding the geometry (0: none). Render thread.
    unsigned geometryList() const { return m_geometryList; }

protected:
    // For the graph kinds that draw their data; the plain graph draws nothing.
    explicit aglGraphObj(bool drawsData) : m_drawsData(drawsData) {}
    // Called with the data lock held: reads the source's size into nx, ny.
    // Returns true when it changed.
    bool readGridSize();
    // Deletes the geometry display list (render thread: at once; other
    // threads: through the render context at its next frame).
    void dropGeometryList();

    float m_extent[3] = {1.0f, 1.0f, 1.0f};
    unsigned m_geometryList = 0;
    int m_style = kSurface;
    int m_shading = kSmooth;
    bool m_lighting = true;
    bool m_depthcue = false;
    int m_cacheBehavior = 1;
    const aglPalette* m_palette = nullptr;
    bool m_useColorPalette = false;
    int m_columnStep = 1, m_rowStep = 1;
    float m_gridColor[3] = {0.2f, 0.2f, 0.2f};
    bool m_textured = false;
    int m_nx = 0, m_ny = 0;
    int m_xShift = 8, m_yShift = 8;
    float m_barArea = 0.7f;
    bool m_hiddenLine = true;
    bool m_clip = false;
    struct CursorCell {
        int y = 0, x = 0, yStride = 1, xStride = 1;
    };
    // The cursor the frame draws: the last cell asked for that lies in the
    // grid. Call with the data lock held (a frame holds it).
    CursorCell acceptedCursor() const;
    float m_cursorColor[3] = {0.8f, 0.0f, 0.0f};
    float m_cursorAlpha = 0.7f;
    // The cell asked for, handed over under its own small lock; the accepted
    // one changes only under the data lock, when it is read.
    mutable std::mutex m_cursorMutex;
    CursorCell m_cursorWanted;
    mutable bool m_cursorPending = false;
    mutable CursorCell m_cursor;
    bool m_showCursor = true;
    bool m_showGrid = true;
    const aglFilter* m_source = nullptr;
    const bool m_drawsData = false;

    // Grid lines asked for by SetNumGridLines (the steps follow the size).
    int m_gridLinesX = 0, m_gridLinesY = 0;
    // The geometry list must be recompiled (set by Invalidate).
    std::atomic<bool> m_listStale{true};
    bool m_dataLocked = false; // render thread

public:
    void Invalidate() override;
};
