#include "FrameRules.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>

namespace frame_rules {

namespace {
int clampTo(int value, int lowest, int highest) {
    if (highest <= 0) return std::max(value, lowest); // nothing to fit into
    return std::max(lowest, std::min(value, std::max(highest, lowest)));
}
} // namespace

QSize restoredFrameSize(int width, int height, QSize available) {
    return {clampTo(width, 31, available.width()), clampTo(height, 31, available.height())};
}

int restoredPaneHeight(int height, int availableHeight) {
    return clampTo(height, kMinPaneHeight, availableHeight);
}

PaneHeights usablePaneHeights(int grid, int graph) {
    grid = std::max(grid, 0);
    graph = std::max(graph, 0);
    const int64_t total = int64_t(grid) + graph;
    if (total < 2 * kMinPaneHeight) return {int(total / 2), int(total - total / 2)};
    const int top = int(std::clamp<int64_t>(grid, kMinPaneHeight, total - kMinPaneHeight));
    return {top, int(total - top)};
}

PaneWidths statusPaneWidths(int w) {
    if (w < 240) return {std::min(4 * w / 5, 80), 0};
    const int b = std::max(w - 380, 0) / 2;
    return {b <= 120 ? b + 80 : 200, b <= 100 ? b + 100 : 200};
}

static const char* const kFilters[kOpenFilters] = {
    "Agl Files (*.agl)|*.agl",
    "HDF Files (*.hdf)|*.hdf",
    "Data Files (*.agl;*.hdf)|*.agl;*.hdf",
    "Text Files (*.txt)|*.txt",
    "Image Files (*.bmp)|*.bmp",
    "NumPy Files (*.npy)|*.npy",
    "Common Files (*.agl;*.hdf;*.npy;*.txt;*.bmp)|*.agl;*.hdf;*.npy;*.txt;*.bmp",
    "All Files (*.*)|*.*",
};

const char* openFilter(int index) {
    return (index >= 0 && index < kOpenFilters) ? kFilters[index] : kFilters[0];
}

static QList<int> order(int lastUsed) {
    if (lastUsed < 0 || lastUsed >= kOpenFilters) lastUsed = 0;
    QList<int> list{lastUsed};
    for (int i = 0; i < kOpenFilters; ++i)
        if (i != lastUsed) list << i;
    return list;
}

QString openFilterString(int lastUsed) {
    QString s;
    for (int i : order(lastUsed))
        s += QString::fromLatin1(kFilters[i]) + "|";
    return s + "|";
}

QStringList openNameFilters(int lastUsed) {
    QStringList names;
    for (int i : order(lastUsed)) {
        // Qt reads the patterns from the parentheses, separated by blanks,
        // and writes "any file" as "*".
        const QString text = QString::fromLatin1(kFilters[i]);
        QString name = text.left(text.indexOf('|'));
        const int open = name.lastIndexOf('(');
        QString patterns = name.mid(open + 1, name.size() - open - 2).replace(';', ' ');
        if (patterns == "*.*") patterns = "*";
        names << name.left(open) + "(" + patterns + ")";
    }
    return names;
}

int filterForPath(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "agl") return 0;
    if (ext == "hdf") return 1;
    if (ext == "txt") return 3;
    if (ext == "bmp") return 4;
    if (ext == "npy") return 5;
    return 7;
}

QString directoryOf(const QString& path) {
    const int cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return cut < 0 ? QString() : path.left(cut + 1);
}

} // namespace frame_rules
