// Benchmark of the Edit commands on a 1000 x 1000 block of doubles.
//
//   bench_clipboard [REPEATS]   (default 15; runs on Qt's offscreen platform)
//   bench_clipboard --x11 [REPEATS]
//       on the X server of DISPLAY (xvfb-run -a -s "-screen 0 1280x1024x24"),
//       with xclip as the other program: adds the user-interface thread's
//       longest block while xclip pastes the text.
//
// The real main frame over a shared-memory array of 1000 x 1000 doubles, the
// whole spreadsheet selected. Reports the median and best wall time of:
//   copy      the Copy command up to the clipboard holding the offer (the
//             block copied out of the array, its worker started, nothing
//             formatted), the previous offer rendered; the same over an offer
//             still rendering (which it cancels); its parts;
//   text      asking for the offer's tab-separated text (in the
//             spreadsheet's number format) at once after Copy, as another
//             program's request would: the wait for the worker;
//   agl data  the same for "AGL DATA";
//   paste     pasting "AGL DATA", then the text, back at cell (0, 0);
//   x11 paste (--x11 only) the longest gap between ticks of a 1 ms timer on
//             the user-interface thread, from the Copy command until
//             `xclip -selection clipboard -o` has read the whole text: xclip
//             started at once after Copy, and xclip started once the offer
//             has had a second to get ready (the gap over that second too);
//             for the Copy command ("worker") and for the same offer without
//             the worker ("no worker": rendered on request on this thread and
//             sent by Qt, as Copy offered a block before), run for run.
#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "ClipboardFormat.h"
#include "GapMeter.h"
#include "GridModel.h"
#include "MessageSink.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMimeData>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
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

// Runs the event loop for ms milliseconds.
void runEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs `xclip -selection clipboard -o` into file while the event loop turns;
// false when xclip failed. xclip is spawned and waited for on a thread of its
// own (posix_spawn, no copy of this process's page tables): what the timer
// sees is the viewer's answer only. The caller reads the file once it has
// stopped its timer: reading 14 MB here took the timer's thread 20-35 ms.
bool xclipPaste(const QString& file) {
    const QByteArray path = QFile::encodeName(file);
    int status = -1;
    QEventLoop loop;
    std::thread runner([&] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, path.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char program[] = "xclip", selection[] = "-selection", clipboard[] = "clipboard",
             out[] = "-o";
        char* args[] = {program, selection, clipboard, out, nullptr};
        pid_t pid = -1;
        if (posix_spawnp(&pid, program, &actions, nullptr, args, environ) == 0)
            waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    runner.join();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray readFile(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    const bool x11 = argc > 1 && std::strcmp(argv[1], "--x11") == 0;
    if (x11) {
        --argc;
        ++argv;
    }
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", config.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen");
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
    // The last offer rendered first: no worker competes with the command.
    const auto settle = [&] {
        if (doc.dataSource()) doc.dataSource()->renderAll();
    };
    measure("copy (command)", repeats, settle, [&] { frame.editCopy(); });
    measure(
        "copy over a rendering offer", repeats, [&] { frame.editCopy(); },
        [&] { frame.editCopy(); });
    // Its parts: the block reserved, the spreadsheet's format, and the
    // offer itself; then what the worker does, the block filled.
    measure("  block reserved", repeats, settle, [&] {
        int error = 0;
        PlaneBlockCopy::prepare(*doc.currentArray(), 0, 0, 1000, 1000, error);
    });
    measure("  spreadsheet format", repeats, settle,
            [&] { frame.gridView()->clipboardTextFormat(); });
    std::unique_ptr<PlaneBlockCopy> reserved;
    measure(
        "  block filled (worker)", repeats,
        [&] {
            settle();
            int error = 0;
            reserved = PlaneBlockCopy::prepare(*doc.currentArray(), 0, 0, 1000, 1000, error);
        },
        [&] { reserved->fill(); });
    reserved.reset();
    std::unique_ptr<CArrayDataSource> ready;
    measure(
        "  offer on the clipboard", repeats,
        [&] {
            if (auto* last = qobject_cast<const CArrayDataSource*>(clipboard->mimeData()))
                last->renderAll();
            int error = 0;
            ready = std::make_unique<CArrayDataSource>(
                copyPlaneBlock(*doc.currentArray(), 0, 0, 1000, 1000, error),
                BlockRegion{0, 0, 1000, 1000}, nullptr);
        },
        [&] {
            ready->startRendering();
            clipboard->setMimeData(ready.release());
        });
    QByteArray text, aglData;
    measure(
        "text at once", repeats, [&] { frame.editCopy(); },
        [&] { text = doc.dataSource()->data(kTextMimeType); });
    measure(
        "\"AGL DATA\" at once", repeats, [&] { frame.editCopy(); },
        [&] { aglData = doc.dataSource()->data(kAglDataMimeType); });
    std::printf("text: %lld bytes, \"AGL DATA\": %lld bytes\n", (long long)text.size(),
                (long long)aglData.size());

    if (x11) {
        // Each run: Copy, then xclip reads the text (at once, or after a
        // second in which the offer may get ready). Against the same offer
        // without the worker (rendered when asked for, on this thread, and
        // sent by Qt: how Copy offered a block before), run for run.
        const QString file = config.filePath("pasted.txt");
        GapMeter meter;
        const auto lazyCopy = [&] {
            int error = 0;
            clipboard->setMimeData(new CArrayDataSource(
                copyPlaneBlock(*doc.currentArray(), 0, 0, 1000, 1000, error),
                BlockRegion{0, 0, 1000, 1000}, frame.gridView()->clipboardTextFormat()));
        };
        // The floor: the longest gap of an idle second (the machine's own
        // scheduling noise).
        std::vector<double> idle;
        for (int i = 0; i < repeats; ++i) {
            meter.start();
            runEvents(1000);
            idle.push_back(meter.stop());
        }
        std::sort(idle.begin(), idle.end());
        std::printf("x11 idle second              longest UI block: median %8.3f ms   worst %8.3f "
                    "ms\n",
                    idle[idle.size() / 2], idle.back());
        for (const bool atOnce : {true, false}) {
            std::vector<double> gaps[2], waits[2], walls[2];
            for (int i = 0; i < repeats; ++i) {
                for (const int worker : {0, 1}) {
                    settle();
                    meter.start();
                    QElapsedTimer wall;
                    wall.start();
                    if (worker)
                        frame.editCopy();
                    else
                        lazyCopy();
                    if (!atOnce) {
                        runEvents(1000);
                        waits[worker].push_back(meter.stop());
                        meter.start();
                        wall.start();
                    }
                    const bool pastedOk = xclipPaste(file);
                    gaps[worker].push_back(meter.stop());
                    walls[worker].push_back(double(wall.elapsed()));
                    const QByteArray pasted = pastedOk ? readFile(file) : QByteArray();
                    if (pasted != text) {
                        std::fprintf(stderr, "xclip read %lld bytes, not the text\n",
                                     (long long)pasted.size());
                        return 1;
                    }
                }
            }
            for (const int worker : {0, 1}) {
                std::sort(gaps[worker].begin(), gaps[worker].end());
                std::sort(walls[worker].begin(), walls[worker].end());
                std::printf("x11 paste %-9s %-9s longest UI block: median %8.3f ms   worst %8.3f "
                            "ms   (xclip done after median %6.0f ms)\n",
                            atOnce ? "at once" : "after 1 s", worker ? "worker" : "no worker",
                            gaps[worker][gaps[worker].size() / 2], gaps[worker].back(),
                            walls[worker][walls[worker].size() / 2]);
                if (!waits[worker].empty()) {
                    std::sort(waits[worker].begin(), waits[worker].end());
                    std::printf("  copy and the second after it     longest UI block: median "
                                "%8.3f ms   worst %8.3f ms\n",
                                waits[worker][waits[worker].size() / 2], waits[worker].back());
                }
            }
        }
    }

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
