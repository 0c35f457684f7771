// Moving the control's part of the document's attribute record into and
// out of the graph control (the display settings and the camera of each
// graph kind are the presenter's: GraphSync.h). Host thread only.
#pragma once

#include "CPlotrane2D.h"
#include "GraphSync.h"
#include "aglAttributes.h"

namespace controlsync {

// The control's part of an attribute record: switches, image orientation,
// components, cursor, clamps, palette range and colours.
void readControlAttributes(const CPlotrane2D& c, aglAttributes& r);
// The record's colours, to the control.
void writeColors(const CPlotrane2D& c, const aglAttributes& r);

} // namespace controlsync
