// aglHeightPlotObj: the graph object of GraphType 1, the grid drawn as a
// height field over the x-y plane in one of five styles: wireframe (with
// hidden lines removed), surface (flat or smooth shading, palette colours or
// the 1-D palette texture, grid lines on top), bar chart, lines and points.
//
// The geometry comes from aglHeightGeometry (pure arithmetic); this class
// turns it into GL: lighting, fog for the depth cue, clip planes for mapped
// heights that leave the box, the palette texture list, the geometry display
// list, pick frames and the cursor box.
//
// Holes in the grid (non-finite samples) are left out of every style: no
// vertex, normal or colour is made from them, so the picture shows a gap.
//
// Threads: as aglGraphObj. The normals and display lists belong to the render
// thread's GL context and are made there.
#pragma once

#include <vector>

#include "aglGraphObj.h"
#include "aglHeightGeometry.h"

class aglHeightPlotObj : public aglGraphObj {
public:
    aglHeightPlotObj() : aglGraphObj(true) {}
    ~aglHeightPlotObj() override;

    // Draws the grid for one frame (render thread, data locked by the frame).
    void Render(RenderMode mode) override;
    // Also marks the normals for rebuilding.
    void Refresh() override;
    // Also mark the palette texture list for rebuilding.
    void SetLighting(bool on) override;
    void SetPalette(const aglPalette* palette) override;
    void DrawCursor() override;

    // Whether the grid over a surface is lifted by polygon offset (true) or by
    // translation (false); decided from the GL version on the first frame.
    // -1 until then.
    int PolygonOffsetState() const { return m_polygonOffset; }
    // Test hook: the GL version the first frame decides by (empty: ask GL).
    void SetGLVersionForTest(const char* version) { m_versionOverride = version; }

private:
    bool ensureNormals();
    void compileTextureList();
    void drawGeometry(RenderMode mode);
    void drawPick();
    void hiddenLinePass();
    void drawSurface(RenderMode mode, bool untextured = false);
    void drawMeshLines(bool withNormals, bool paletteColours);
    // The surface of a capture frame as a mesh of samples for the writer.
    void captureSurfaceMesh(aglCaptureWriter& writer);
    void drawBars();
    void drawPolylines();
    void drawPoints();
    aglHeightGrid grid() const;
    bool fixedView() const;
    bool paused() const;
    // Draws m_batch as primitives of the kind given, stopping when paused().
    void drawScratch(unsigned primitive);
    bool paletteColours() const { return m_palette && m_useColorPalette; }

    std::vector<float> m_normals; // nx * ny * 3, built on demand
    // The grid spacing the normals were built with: the slopes, and so the
    // lighting, follow the box's extents as well as the heights.
    float m_normalsDx = 0.0f, m_normalsDy = 0.0f;
    unsigned m_textureList = 0;
    bool m_textureListDirty = true;
    int m_polygonOffset = -1; // -1 not yet known, 0 no, 1 yes
    std::atomic<bool> m_normalsDirty{true};
    RenderMode m_mode = RenderMode::Normal;
    float m_dx = 1.0f, m_dy = 1.0f;
    int m_listViewType = -1; // view type the geometry list was compiled for
    const char* m_versionOverride = nullptr;
    aglVertexBatch m_batch; // scratch, render thread
};
