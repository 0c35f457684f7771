// Moving a graph kind's display settings and the free 3-D camera into and
// out of the graph control, and reading which graph kind it shows. Each
// function is a fixed sequence of dispatch calls on the control it is given;
// what to keep and when is the presenter's business. Host thread only.
#pragma once

#include "CPlotrane2D.h"
#include "GraphSettings.h"

// The remembered free camera of the 3-D views (height plot, 3-D vector
// graph), kept while a flat view is shown.
struct GraphCamera {
    float elevation = 20.0f;
    float azimuth = -108.0f;
    float distance = 3.0f;
    float zScale = 0.8f;
    int style = 1;
};

namespace controlsync {

// The viewer's graph kind the control shows: 0 none, 1 height plot, 2 image
// map, 3 vector graph, 4 plane view (a height plot under a fixed camera).
int shownGraphKind(const CPlotrane2D& c);

// The display settings of one graph kind, from or to the control.
void readGraphSettings(const CPlotrane2D& c, GraphSettings& g);
void writeGraphSettings(const CPlotrane2D& c, const GraphSettings& g);

// The 3-D camera and graph style, from or to the control. A style the 3-D
// views do not take is kept as the surface style.
void readCamera(const CPlotrane2D& c, GraphCamera& camera);
void writeCamera(const CPlotrane2D& c, const GraphCamera& camera);

} // namespace controlsync
