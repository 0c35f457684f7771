// The main frame's small rules, kept apart from widgets so they can be read
// and tested on their own: status pane widths, the Open dialog's filters,
// which window sizes are worth remembering and how stored ones come back.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace frame_rules {

// Widths of status panes 1 (array shape) and 2 (cursor position) for a
// frame w pixels wide; pane 0 stretches.
struct PaneWidths {
    int shape;
    int position;
};
PaneWidths statusPaneWidths(int frameWidth);

// The seven Open filters as "Name (patterns)|patterns" texts, in their fixed order.
constexpr int kOpenFilters = 8;
const char* openFilter(int index);
// The dialog's filter string: the last used filter first, then the others
// in order, each followed by "|", closed by "||" after the last.
QString openFilterString(int lastUsed);
// The same order as name filters for a Qt file dialog.
QStringList openNameFilters(int lastUsed);
// The filter remembered after choosing path: by its extension, any case.
int filterForPath(const QString& path);
// The directory of path, up to and including its last separator.
QString directoryOf(const QString& path);

// A window size is stored only when both sides exceed 30 pixels.
inline bool sizeWorthStoring(int width, int height) {
    return width > 30 && height > 30;
}

// The settings file may hold any number (edited by hand, written on a
// larger screen, or left by an older viewer that stored the heights of panes
// it never laid out). A window far beyond the screen is never painted, and a
// splitter's pane heights are summed as ints, so what comes back is kept
// inside the screen's available area (in pixels): the frame between the
// smallest stored size (31 x 31) and the area, each pane height between
// kMinPaneHeight and the area's height. An empty area (no screen) bounds
// nothing above.
QSize restoredFrameSize(int width, int height, QSize available);
int restoredPaneHeight(int height, int availableHeight);

// The least height a pane comes back with: a spreadsheet with its column
// labels and a few rows, a graph whose axes can still be read.
constexpr int kMinPaneHeight = 100;

// The splitter shares its height out in the ratio of the stored heights, so
// a small stored height can still give a sliver (400 and 100 in 480 pixels:
// 96). The heights of the two panes as first shown, total pixels between
// them: each at least kMinPaneHeight where the total has room for both,
// the rest as they were; an even split where it has not.
struct PaneHeights {
    int grid;
    int graph;
    bool operator==(const PaneHeights&) const = default;
};
PaneHeights usablePaneHeights(int grid, int graph);

} // namespace frame_rules
