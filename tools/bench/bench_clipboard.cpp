// Benchmark of the Edit commands on a 1000 x 1000 block of doubles.
//
//   bench_clipboard [REPEATS]   (default 15; runs on Qt's offscreen platform)
//
// The real main frame over a shared-memory array of 1000 x 1000 doubles, the
// whole spreadsheet selected. Reports the median and best wall time of:
//   copy      the Copy command up to the clipboard holding the offer (the
//             block copied out of the array, nothing formatted), and its
//             parts;
//   text      rendering the offer as tab-separated text, in the spreadsheet's
//             number format, as another program's request would;
//   agl data  rendering it as "AGL DATA";
//   paste     pasting "AGL DATA", then the text, back at cell (0, 0).
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "ClipboardFormat.h"
#include "GridModel.h"
#include "MessageSink.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Sink : public MessageSink {
public:
    void message(const std::string& text, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool question(const std::string&) override { return false; }
    std::optional<std::string> saveFileName(const SaveFileRequest&) override {
        return std::nullopt;
    }
    void showAnnotation(const std::string&) override {}
};

// Median and best of repeats runs of body (milliseconds); prepare runs
// before each, untimed.
void measure(const char* name, int repeats, const std::function<void()>& prepare,
             const std::function<void()>& body) {
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        if (prepare) prepare();
        const auto t0 = Clock::now();
        body();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %9.3f ms   best %9.3f ms\n", name, ms[ms.size() / 2], ms[0]);
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", config.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "bench_clipboard";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);

    aglSegment block;
    const int32_t extents[2] = {1000, 1000};
    if (!block.create(nullptr, 2, extents, AGL_DOUBLE, AGL_LANG_C)) return 1;
    auto* d = static_cast<double*>(block.elements());
    for (int i = 0; i < 1000000; ++i)
        d[i] = std::sin(i * 0.001) * std::pow(10.0, i % 7 - 3);

    SettingsStore settings;
    Sink sink;
    CArrayDoc doc(settings, sink);
    CMainFrame frame(&doc, &settings);
    frame.resize(1000, 800);
    frame.show();
    QApplication::processEvents();
    if (!doc.load(block.name())) return 1;
    QApplication::processEvents();
    QTableView* table = frame.gridView()->table();
    table->setCurrentIndex(frame.gridView()->model()->index(0, 0));
    table->selectAll();
    // The keyboard focus in the spreadsheet: Copy copies its selection.
    table->setFocus();
    QClipboard* clipboard = QGuiApplication::clipboard();

    std::printf("1000 x 1000 doubles, %d runs each\n", repeats);
    measure("copy (command)", repeats, nullptr, [&] { frame.editCopy(); });
    // Its parts: the block copied out of the array, the spreadsheet's
    // format, and the offer itself.
    measure("  block copy", repeats, nullptr, [&] {
        int error = 0;
        copyPlaneBlock(*doc.currentArray(), 0, 0, 1000, 1000, error);
    });
    measure("  spreadsheet format", repeats, nullptr,
            [&] { frame.gridView()->clipboardTextFormat(); });
    std::unique_ptr<CArrayDataSource> ready;
    measure(
        "  offer on the clipboard", repeats,
        [&] {
            int error = 0;
            ready = std::make_unique<CArrayDataSource>(
                copyPlaneBlock(*doc.currentArray(), 0, 0, 1000, 1000, error),
                BlockRegion{0, 0, 1000, 1000}, nullptr);
        },
        [&] { clipboard->setMimeData(ready.release()); });
    QByteArray text, aglData;
    measure(
        "render text", repeats, [&] { frame.editCopy(); },
        [&] { text = doc.dataSource()->data(kTextMimeType); });
    measure(
        "render \"AGL DATA\"", repeats, [&] { frame.editCopy(); },
        [&] { aglData = doc.dataSource()->data(kAglDataMimeType); });
    std::printf("text: %lld bytes, \"AGL DATA\": %lld bytes\n", (long long)text.size(),
                (long long)aglData.size());

    QMimeData aglOffer;
    aglOffer.setData(kAglDataMimeType, aglData);
    QMimeData textOffer;
    textOffer.setText(QString::fromLatin1(text));
    table->setCurrentIndex(frame.gridView()->model()->index(0, 0));
    measure("paste \"AGL DATA\"", repeats, nullptr, [&] { doc.paste(&aglOffer); });
    measure("paste text", repeats, nullptr, [&] { doc.paste(&textOffer); });
    clipboard->clear();
    return 0;
}
