// Spreadsheet benchmark: open a 1 GiB agl file (16384 x 16384 floats) to a
// painted spreadsheet, then page through it, timing each page from the key
// press to the painted cells.
//
//   bench_grid [FILE] [PAGES]     (default /tmp/tavrix-bench-16k.agl, 200 pages)
//   bench_grid --tall LOG2ROWS    a single column of 2^LOG2ROWS bytes (AGL_UCHAR,
//                                 /tmp/tavrix-bench-tall-LOG2ROWS.agl): time and
//                                 memory to open it to a painted spreadsheet
//
// The file is written once (real values, not a sparse file) and reused.
// Run under xvfb-run, or with no display at all (Qt's offscreen platform).
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "GridModel.h"
#include "SettingsStore.h"
#include "WidgetMessageSink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int32_t kSide = 16384;

bool writeFile(const std::string& path) {
    const int64_t bytes = 12 + 16 + int64_t(kSide) * kSide * 4;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size == bytes) return true;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913u;
    std::memcpy(head, &magic, 4);
    head[4] = 1; // C
    head[5] = 6; // float
    head[6] = 2; // two dimensions
    std::memcpy(head + 12, &kSide, 4);
    std::memcpy(head + 16, &kSide, 4);
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    std::vector<float> row(kSide);
    for (int32_t r = 0; ok && r < kSide; ++r) {
        for (int32_t c = 0; c < kSide; ++c)
            row[size_t(c)] = float(std::sin(r * 0.001) * std::cos(c * 0.002) * (1 + r % 7));
        ok = std::fwrite(row.data(), sizeof(float), row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

// Counts paints of the table's viewport.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// Resident and peak resident memory of this process (MiB), from /proc.
void memory(double& rss, double& peak) {
    rss = peak = 0;
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        long kb = 0;
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) rss = kb / 1024.0;
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) peak = kb / 1024.0;
    }
    std::fclose(f);
}

// A rows x 1 AGL_UCHAR file whose values count up (mod 251).
bool writeTallFile(const std::string& path, int32_t rows) {
    const int64_t bytes = 12 + 16 + int64_t(rows);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size == bytes) return true;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint8_t head[28] = {};
    const uint32_t magic = 0x01160913u;
    const int32_t one = 1;
    std::memcpy(head, &magic, 4);
    head[4] = 1; // C
    head[5] = 0; // unsigned char
    head[6] = 2; // two dimensions
    std::memcpy(head + 12, &rows, 4);
    std::memcpy(head + 16, &one, 4);
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    std::vector<uint8_t> chunk(1 << 20);
    for (int64_t done = 0; ok && done < rows; done += int64_t(chunk.size())) {
        const size_t n = size_t(std::min<int64_t>(int64_t(chunk.size()), rows - done));
        for (size_t i = 0; i < n; ++i)
            chunk[i] = uint8_t((done + int64_t(i)) % 251);
        ok = std::fwrite(chunk.data(), 1, n, f) == n;
    }
    return std::fclose(f) == 0 && ok;
}

// Opens a single column of 2^log2Rows elements and reports time and memory.
int benchTall(int log2Rows) {
    const int32_t rows = int32_t(int64_t(1) << log2Rows);
    const std::string path = "/tmp/tavrix-bench-tall-" + std::to_string(log2Rows) + ".agl";
    if (!writeTallFile(path, rows)) {
        std::fprintf(stderr, "bench_grid: cannot write %s\n", path.c_str());
        return 2;
    }
    SettingsStore settings;
    ConsoleMessageSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.resize(1200, 900);
    frame.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    double rss0, peak0, rss1, peak1;
    memory(rss0, peak0);
    QElapsedTimer open;
    open.start();
    if (!frame.openFile(QString::fromStdString(path))) return 2;
    QTableView* table = frame.gridView()->table();
    table->viewport()->repaint();
    const double openMs = ms(open);
    memory(rss1, peak1);
    std::printf("open %d x 1 uchar (2^%d rows) to painted spreadsheet: %.1f ms; layout %d x %d "
                "(wrapped: %s); resident %.0f -> %.0f MiB, peak %.0f MiB\n",
                rows, log2Rows, openMs, int(frame.gridView()->layoutRows()),
                int(frame.gridView()->layoutColumns()),
                frame.gridView()->wrapsColumn() ? "yes" : "no", rss0, rss1, peak1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--tall") == 0) {
        const int log2Rows = std::atoi(argv[2]);
        if (log2Rows < 1 || log2Rows > 30) {
            std::fprintf(stderr, "bench_grid: --tall wants 1..30\n");
            return 2;
        }
        return benchTall(log2Rows);
    }
    const std::string path = argc > 1 ? argv[1] : "/tmp/tavrix-bench-16k.agl";
    const int pages = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    QElapsedTimer write;
    write.start();
    if (!writeFile(path)) {
        std::fprintf(stderr, "bench_grid: cannot write %s\n", path.c_str());
        return 2;
    }
    std::printf("file %s ready (%.0f ms; 0 when reused)\n", path.c_str(), ms(write));

    SettingsStore settings;
    ConsoleMessageSink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.resize(1200, 900);
    frame.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();

    // Open to painted cells.
    QElapsedTimer open;
    open.start();
    if (!frame.openFile(QString::fromStdString(path))) return 2;
    QTableView* table = frame.gridView()->table();
    PaintCounter counter;
    table->viewport()->installEventFilter(&counter);
    table->viewport()->repaint();
    const double openMs = ms(open);
    std::printf(
        "open 16384 x 16384 float (1 GiB) to painted spreadsheet: %.1f ms (%d cells written)\n",
        openMs, int(frame.gridView()->model()->cellWrites()));

    // Page down / page right: key press to painted cells, synchronously.
    auto page = [&](int key, std::vector<double>& times) {
        QElapsedTimer t;
        t.start();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(table, &press);
        QCoreApplication::processEvents(); // queued refreshes
        table->viewport()->repaint();
        times.push_back(ms(t));
    };
    auto report = [](const char* what, std::vector<double> t) {
        std::sort(t.begin(), t.end());
        double sum = 0;
        for (double x : t)
            sum += x;
        std::printf("%s: %zu pages, mean %.2f ms, median %.2f ms, max %.2f ms\n", what, t.size(),
                    sum / double(t.size()), t[t.size() / 2], t.back());
    };
    std::vector<double> down, up;
    const int64_t writesBefore = frame.gridView()->model()->cellWrites();
    for (int i = 0; i < pages; ++i)
        page(Qt::Key_PageDown, down);
    report("page down", down);
    for (int i = 0; i < pages; ++i)
        page(Qt::Key_PageUp, up);
    report("page up (cells cached)", up);
    std::printf("cells written while paging: %lld; rows now at top: %d\n",
                (long long)(frame.gridView()->model()->cellWrites() - writesBefore),
                table->rowAt(0));

    // Jump to the far corner.
    QElapsedTimer jump;
    jump.start();
    doc.setCursor(kSide - 1, kSide - 1);
    QCoreApplication::processEvents();
    table->viewport()->repaint();
    std::printf("jump to M[16383][16383] and paint: %.2f ms; value cell \"%s\"\n", ms(jump),
                qPrintable(frame.gridView()->model()->cellText(kSide - 1, kSide - 1)));
    std::printf("viewport paints: %d\n", counter.paints);
    return 0;
}
