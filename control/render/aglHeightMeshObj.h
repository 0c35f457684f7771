// aglHeightMeshObj: the graph object of GraphType 3, the vector graph.
//
// Its data source holds a vector grid (aglFilter, component count 1..4): one
// row per element of the window, the element's selected components XComp,
// YComp, ZComp and WComp already in graph-box units. Each row is a point:
// one component gives (x, 0) in the z = 0 plane, two (x, y), three or more
// (x, y, z); with four and a palette the point takes the palette colour of
// its fourth component. The points are drawn as one line strip (style 3,
// the default) or as points; a point with a non-finite component is skipped
// and breaks the line.
//
// The frame already holds the data lock when Render runs; Render takes it
// once more (the lock is recursive) so that the object is also safe when it
// is drawn outside a frame, and when it cannot get it within a short wait it
// writes the abort line to the trace and draws nothing.
//
// Threads: as aglGraphObj.
#pragma once

#include "aglGraphObj.h"
#include "aglImageGeometry.h"

class aglHeightMeshObj : public aglGraphObj {
public:
    aglHeightMeshObj();
    ~aglHeightMeshObj() override = default;

    void Render(RenderMode mode) override;
    void DrawCursor() override;

    // Points and components per point of the grid drawn last (render thread).
    int PointCount() const { return m_ny; }
    int ComponentCount() const { return m_nx; }
    // Frames that could not lock the data and drew nothing.
    int LockFailures() const { return m_lockFailures; }

private:
    void drawGeometry();
    void drawPick();
    bool lockForRender();

    aglVectorPoints m_points; // scratch, render thread
    int m_listKey = -1;       // line smoothing the geometry list was compiled with
    int m_lockFailures = 0;
};
