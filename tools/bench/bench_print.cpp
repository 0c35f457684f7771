// Printing benchmark: the printed page of a file, in one process.
//
//   bench_print FILE OUT.pdf [--rounds N]
//
// Starts the viewer on FILE (main frame, spreadsheet, graph control; Xvfb or
// off-screen), waits until the graph shows its finest level, then times
//  1. the page: the control's vector picture of the graph pane (asked for,
//     written, read back) and the PDF page printed with it, as
//     tavrix --print does after its wait;
//  2. the same page again without moving the camera (the cached picture);
//  3. the page after the camera moved (a new picture), N rounds (default 3),
//     reporting the slowest;
//  4. the longest the user-interface thread was held while a page was made
//     (its picture asked for and waited on, then the page painted): painted
//     on that thread, as tavrix --print does, and painted aside, as
//     File > Print does; N rounds each;
//  5. once more, the picture alone, with the time of each of its phases;
// and the PDF's size.
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "GapMeter.h"
#include "PagePrinter.h"
#include "TavrixApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPrinter>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const char* pictureName(PagePrinter::Picture p) {
    switch (p) {
    case PagePrinter::Picture::Complete:
        return "new picture";
    case PagePrinter::Picture::Reused:
        return "cached picture";
    case PagePrinter::Picture::Failed:
        return "picture FAILED";
    case PagePrinter::Picture::TimedOut:
        return "picture TIMED OUT";
    default:
        return "no picture";
    }
}

// One page: picture, then the PDF, painted as a script's print does (here)
// or as File > Print does (aside, on a thread of its own). Returns
// milliseconds; longestBlock, when given, the longest the user-interface
// thread was held meanwhile.
double page(TavrixApp& app, const QString& out, PagePrinter::Picture& got, bool aside = false,
            double* longestBlock = nullptr) {
    PagePrinter* pages = app.mainFrame()->pagePrinter();
    GapMeter gaps;
    if (longestBlock) gaps.start();
    QElapsedTimer clock;
    clock.start();
    got = pages->makePicture(30000);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out);
    if (!(aside ? pages->printPageAside(printer) : pages->printPage(printer))) {
        std::fprintf(stderr, "bench_print: cannot write %s\n", qPrintable(out));
        std::exit(1);
    }
    pages->endPrinting();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (longestBlock) *longestBlock = gaps.stop();
    return ms;
}

// The picture alone, as makePicture waits for it, with the time each status
// of the control (3 capturing, 4 writing, 5 failed, 6 complete) was first
// seen.
void phases(TavrixApp& app) {
    CArrayDoc* doc = app.document();
    CGraphView* graph = app.mainFrame()->graphView();
    QElapsedTimer clock;
    clock.start();
    if (!doc->beginPicture(graph->width(), graph->height())) {
        std::printf("picture phases: no new picture asked for\n");
        return;
    }
    int last = -1;
    std::printf("picture phases (%d x %d pane):", graph->width(), graph->height());
    // Sleeps until an event or the next 5 ms tick, as the printer waits: a
    // loop that only polled took the time of the low-priority writer thread.
    QTimer tick;
    tick.start(5);
    QEventLoop loop;
    while (clock.elapsed() < 60000) {
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        CPlotrane2D* c = doc->control();
        const int status = c ? c->getInt(plotrane::DISPID_MetaFileStatus) : 5;
        if (status != last) {
            std::printf(" %d at %.0f ms;", status, double(clock.nsecsElapsed()) / 1e6);
            last = status;
        }
        if (status >= 5) {
            if (status == 6 && c) doc->setPictureFile(c->get(plotrane::DISPID_MetaFile).toString());
            break;
        }
    }
    std::printf(" picture file %lld bytes\n",
                QFileInfo(QString::fromStdString(doc->pictureFile())).size());
    doc->endPrinting();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_print FILE OUT.pdf [--rounds N]\n");
        return 2;
    }
    int rounds = 3;
    for (int i = 3; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    TavrixApp app;
    if (!app.initInstance({"tavrix", QString::fromLocal8Bit(argv[1])})) return 1;
    QElapsedTimer wait;
    wait.start();
    app.waitForGraph(60000);
    std::printf("graph at its finest level after %.0f ms\n", double(wait.elapsed()));
    const QString out = QString::fromLocal8Bit(argv[2]);

    PagePrinter::Picture got{};
    const double first = page(app, out, got);
    std::printf("page with a new picture:      %8.1f ms (%s), PDF %lld bytes\n", first,
                pictureName(got), QFileInfo(out).size());
    const double again = page(app, out, got);
    std::printf("page again, camera unmoved:   %8.1f ms (%s)\n", again, pictureName(got));

    CPlotrane2D* c = app.document()->control();
    double slowest = 0;
    for (int r = 0; r < rounds && c; ++r) {
        c->setFloat(plotrane::DISPID_CamAzimuth, c->getFloat(plotrane::DISPID_CamAzimuth) + 15.0f);
        QCoreApplication::processEvents();
        slowest = std::max(slowest, page(app, out, got));
        if (got != PagePrinter::Picture::Complete)
            std::printf("round %d: %s\n", r + 1, pictureName(got));
    }
    std::printf("page after moving the camera: %8.1f ms slowest of %d\n", slowest, rounds);
    // The user-interface thread while a page is made: painted here, as a
    // script prints, and aside, as File > Print does; the camera moved
    // before each, so each page has a new picture.
    for (const bool aside : {false, true}) {
        double worst = 0, longest = 0;
        for (int r = 0; r < rounds && c; ++r) {
            c->setFloat(plotrane::DISPID_CamAzimuth,
                        c->getFloat(plotrane::DISPID_CamAzimuth) + 15.0f);
            QCoreApplication::processEvents();
            double block = 0;
            worst = std::max(worst, page(app, out, got, aside, &block));
            longest = std::max(longest, block);
        }
        std::printf("page painted %-22s %8.1f ms slowest, longest block of the user-interface "
                    "thread %.1f ms\n",
                    aside ? "aside (File > Print):" : "here (a script):", worst, longest);
    }
    if (c) {
        c->setFloat(plotrane::DISPID_CamAzimuth, c->getFloat(plotrane::DISPID_CamAzimuth) + 15.0f);
        QCoreApplication::processEvents();
        phases(app);
    }
    return 0;
}
