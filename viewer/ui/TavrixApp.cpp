#include "TavrixApp.h"

#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "CPlotrane2D.h"
#include "PagePrinter.h"
#include "ReplacingFile.h"
#include "SettingsStore.h"
#include "ShmName.h"
#include "WidgetMessageSink.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// The sides --size accepts (pixels).
constexpr int kMinPictureSide = 64, kMaxPictureSide = 8192;
} // namespace

CommandLineInfo parseCommandLine(const QStringList& arguments) {
    CommandLineInfo info;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const QString lower = a.toLower();
        if (lower == "-automation" || lower == "/automation" || lower == "--automation") {
            info.automation = true;
        } else if (lower == "-embedding" || lower == "/embedding" || lower == "--embedding") {
            info.embedding = true;
        } else if (a == "--screenshot" || a == "--print") {
            const bool print = a == "--print";
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                info.error = print ? "--print needs the name of the PDF file to write"
                                   : "--screenshot needs the name of the picture to write";
                return info;
            }
            (print ? info.print : info.screenshot) = arguments[++i];
        } else if (a == "--graph-type" || a == "--palette") {
            const bool kind = a == "--graph-type";
            const int low = kind ? 1 : 0, high = kind ? 4 : 6;
            bool ok = i + 1 < arguments.size();
            const int n = ok ? arguments[i + 1].toInt(&ok) : 0;
            if (!ok || n < low || n > high) {
                info.error = QString("%1 needs a number from %2 to %3").arg(a).arg(low).arg(high);
                return info;
            }
            ++i;
            (kind ? info.graphType : info.palette) = n;
        } else if (a == "--size") {
            // WxH, each side from 64 to 8192 pixels.
            const QStringList sides =
                i + 1 < arguments.size() ? arguments[i + 1].toLower().split('x') : QStringList();
            bool okW = false, okH = false;
            const int w = sides.size() == 2 ? sides[0].toInt(&okW) : 0;
            const int h = sides.size() == 2 ? sides[1].toInt(&okH) : 0;
            if (!okW || !okH || w < kMinPictureSide || h < kMinPictureSide || w > kMaxPictureSide ||
                h > kMaxPictureSide) {
                info.error = QString("--size needs WIDTHxHEIGHT in pixels, each from %1 to %2")
                                 .arg(kMinPictureSide)
                                 .arg(kMaxPictureSide);
                return info;
            }
            ++i;
            info.size = QSize(w, h);
        } else if (a == "--bus-name" || a == "--owner") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                info.error = QString("%1 needs a bus name").arg(a);
                return info;
            }
            (a == "--bus-name" ? info.busName : info.owner) = arguments[++i];
        } else if (a.startsWith("--") && a.size() > 2) {
            info.error = QString("unknown option %1").arg(a);
            return info;
        } else if (info.file.isEmpty()) {
            info.file = a;
        } else {
            info.error = QString("only one file can be opened (%1)").arg(a);
            return info;
        }
    }
    return info;
}

TavrixApp::TavrixApp(std::unique_ptr<AutomationHooks> hooks) : m_hooks(std::move(hooks)) {
    if (!m_hooks) m_hooks = std::make_unique<AutomationHooks>();
}

TavrixApp::~TavrixApp() {
    // The frame's views refer to the document, the document to the store
    // and the sink: each goes before what it uses.
    m_frame.reset();
    m_document.reset();
    m_sink.reset();
    m_settings.reset();
}

bool TavrixApp::initInstance(const QStringList& arguments) {
    // Shared-memory blocks left behind by crashed processes go before anything
    // new is made.
    platform::sweepAbandonedBlocks();

    m_hooks->initModule();
    m_hooks->registerServer();

    m_info = parseCommandLine(arguments);
    if (!m_info.error.isEmpty()) {
        std::fprintf(stderr, "tavrix: %s\n", qPrintable(m_info.error));
        return false;
    }
    // A script that wants a picture gets messages on stderr, not in a box
    // nobody will click away.
    if (!m_info.screenshot.isEmpty() && !m_info.print.isEmpty()) {
        std::fprintf(stderr, "tavrix: --screenshot and --print cannot go together\n");
        return false;
    }
    if (!m_info.screenshot.isEmpty() || !m_info.print.isEmpty()) {
        m_sink = std::make_unique<ConsoleMessageSink>();
        m_info.automation = m_info.embedding = false;
    } else {
        m_sink = std::make_unique<WidgetMessageSink>();
    }

    m_settings = std::make_unique<SettingsStore>();
    m_document = std::make_unique<CArrayDoc>(*m_settings, *m_sink);
    m_frame = std::make_unique<CMainFrame>(m_document.get(), m_settings.get());
    if (auto* widgets = dynamic_cast<WidgetMessageSink*>(m_sink.get()))
        widgets->setParent(m_frame.get());

    if ((m_info.graphType >= 0 || m_info.palette >= 0 || m_info.size.isValid()) &&
        m_info.screenshot.isEmpty() && m_info.print.isEmpty()) {
        std::fprintf(stderr, "tavrix: --graph-type, --palette and --size go with --screenshot or "
                             "--print\n");
        return false;
    }

    if (!m_hooks->registerClassObjects(*this)) return false;
    if (m_info.automation || m_info.embedding) return true;

    if (!m_info.file.isEmpty()) {
        // The window comes up once the file is open; until then a slow or
        // hung HDF helper shows its progress box on its own.
        auto* widgets = dynamic_cast<WidgetMessageSink*>(m_sink.get());
        if (widgets) widgets->setOpeningAtStartUp(true);
        const bool opened = m_frame->openFile(m_info.file);
        if (widgets) widgets->setOpeningAtStartUp(false);
        if (!opened) return false;
        // A script that asks for a kind the array does not suit is told so,
        // rather than given a picture of another kind.
        if (m_info.graphType >= 0 && !m_document->isGraphTypeAllowed(m_info.graphType)) {
            static const char* const kKinds[] = {"", "a height plot", "an image map",
                                                 "a vector graph", "a plane view"};
            std::fprintf(stderr,
                         "tavrix: %s cannot be shown as %s (--graph-type %d): a plane view needs "
                         "at most 10 rows or columns, the other kinds at least 2 of each\n",
                         qPrintable(m_info.file), kKinds[m_info.graphType], m_info.graphType);
            return false;
        }
        if (m_info.graphType >= 0) m_document->selectGraphType(m_info.graphType);
        if (m_info.palette >= 0) m_document->setPaletteId(m_info.palette);
    } else {
        m_document->newDocument();
    }
    // The picture's size is the window's, beyond what the screen would allow.
    if (m_info.size.isValid()) m_frame->resize(m_info.size);
    m_frame->show();
    if (m_info.size.isValid()) m_frame->resize(m_info.size);
    m_frame->setAcceptDrops(true);
    const std::string dir = m_settings->currentDirectory();
    if (!dir.empty()) QDir::setCurrent(QString::fromStdString(dir));
    return true;
}

void TavrixApp::waitForGraph(int timeoutMs) {
    CMainFrame* frame = m_frame.get();
    if (!frame->isVisible()) frame->show();
    // The graph steps from the coarsest level of detail to the finest the
    // rules allow, one level per tick of the control's timer, each reported
    // by a filter pass; the render pass after it reports the frame drawn at
    // that level. The picture waits for that report at the finest level (2),
    // or at one that already samples every element (resolution 1).
    CGraphView* graph = frame->graphView();
    const bool drawing = graph->control() && m_document->currentGraphType() != 0;
    QElapsedTimer clock;
    clock.start();
    int level = -1;
    bool drawn = false;
    QObject::connect(graph, &CPlotrane2DView::filterPassed, graph,
                     [&](int passLevel, int) { level = std::max(level, passLevel); });
    QObject::connect(graph, &CPlotrane2DView::renderPassed, graph, [&](int resolution) {
        if (level == 2 || (level >= 0 && resolution <= 1)) drawn = true;
    });
    // Each step sleeps until an event comes (the tick bounds the sleep): a
    // loop that only polled kept this thread busy, and the filter and render
    // threads, which run at the lowest priority, got next to no time beside
    // it on a loaded machine.
    QTimer tick;
    tick.start(20);
    QEventLoop loop;
    while (clock.elapsed() < 300 || (drawing && !drawn && clock.elapsed() < timeoutMs)) {
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        frame->gridView()->refresh();
    }
    if (drawing && !drawn)
        std::fprintf(stderr, "tavrix: the graph did not reach its finest level in %d s\n",
                     timeoutMs / 1000);
    // The frame of the last step is shown by a queued repaint.
    clock.restart();
    while (clock.elapsed() < 100)
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QObject::disconnect(graph, &CPlotrane2DView::filterPassed, graph, nullptr);
    QObject::disconnect(graph, &CPlotrane2DView::renderPassed, graph, nullptr);
}

bool TavrixApp::saveScreenshot(const QString& path, int timeoutMs) {
    // Encoded in memory, then written through a file that replaces the
    // target only when complete: every write and the close are checked, and
    // a pipe or device is refused rather than blocked on. A target that
    // cannot be written is refused before the graph is waited for.
    ReplacingFile file;
    auto failed = [&] {
        std::fprintf(stderr, "tavrix: cannot write the picture %s%s%s\n", qPrintable(path),
                     file.error().empty() ? "" : ": ", file.error().c_str());
        return false;
    };
    if (!file.open(QFile::encodeName(path).toStdString())) return failed();
    waitForGraph(timeoutMs);
    const QPixmap picture = m_frame->grab();
    QByteArray png;
    QBuffer buffer(&png);
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
        !file.write(png.constData(), size_t(png.size())) || !file.commit())
        return failed();
    return true;
}

bool TavrixApp::printToFile(const QString& path, int timeoutMs, int pictureTimeoutMs) {
    // The printer writes a private file, whose bytes then go through a file
    // that replaces the target only when complete. So a pipe, a device or a
    // folder is refused before anything is waited for (the printer would
    // block opening a pipe until some program read it), and every write and
    // the close are checked.
    ReplacingFile file;
    QTemporaryDir scratch;
    auto failed = [&path](const std::string& why) {
        std::fprintf(stderr, "tavrix: cannot write the PDF file %s%s%s\n", qPrintable(path),
                     why.empty() ? "" : ": ", why.c_str());
        return false;
    };
    if (!file.open(QFile::encodeName(path).toStdString())) return failed(file.error());
    if (!scratch.isValid())
        return failed("no folder for the page: " + scratch.errorString().toStdString());

    waitForGraph(timeoutMs);
    // A page without its graph is no print: the target is left as it was
    // and the reason goes to stderr.
    PagePrinter* pages = m_frame->pagePrinter();
    const auto noPicture = [&](const std::string& why) {
        pages->endPrinting();
        return failed("the graph picture " + why);
    };
    switch (pages->makePicture(pictureTimeoutMs)) {
    case PagePrinter::Picture::Complete:
    case PagePrinter::Picture::Reused:
        break;
    case PagePrinter::Picture::Failed:
        return noPicture("could not be made");
    case PagePrinter::Picture::TimedOut:
        return noPicture("was not ready after " + std::to_string(pictureTimeoutMs) + " ms");
    default:
        return noPicture("could not be asked for (no graph, or a graph window too small)");
    }
    const QString page = scratch.filePath("page.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(page);
    printer.setDocName(QString::fromStdString(m_document->title()));
    const bool printed = pages->printPage(printer);
    pages->endPrinting();
    QFile pdf(page);
    const QByteArray bytes =
        printed && pdf.open(QIODevice::ReadOnly) ? pdf.readAll() : QByteArray();
    if (bytes.isEmpty()) return failed("the page could not be printed");
    if (!file.write(bytes.constData(), size_t(bytes.size())) || !file.commit())
        return failed(file.error());
    return true;
}

// Qt's off-screen platform reports each window hint it cannot honour; a
// picture taken without a display needs none of them.
static QtMessageHandler g_defaultHandler = nullptr;
static void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains("does not support propagateSizeHints")) return;
    if (g_defaultHandler) g_defaultHandler(type, context, text);
}

static const char kHelpText[] =
    "usage: tavrix [FILE]\n"
    "       tavrix --screenshot OUT.png [--graph-type 1..4] [--palette 0..6] [--size WxH]\n"
    "              [FILE]\n"
    "       tavrix --print OUT.pdf [--graph-type 1..4] [--palette 0..6] [--size WxH] [FILE]\n"
    "       tavrix -Automation --bus-name NAME [--owner UNIQUE-NAME]\n"
    "\n"
    "View a numeric array as a spreadsheet and as a height plot, image map, vector\n"
    "graph or plane view.\n"
    "\n"
    "  FILE                  an agl binary or text file, an HDF4 file, a NumPy .npy\n"
    "                        file, a bitmap, or the name of a shared-memory segment\n"
    "  --screenshot OUT.png  open FILE, wait until the graph shows its finest level of\n"
    "                        detail, save a picture of the window as OUT.png and exit\n"
    "                        (status 1 when FILE cannot be opened); needs no display\n"
    "  --print OUT.pdf       open FILE, wait as above, print the page of File > Print\n"
    "                        to the PDF file OUT.pdf and exit; status 1 when FILE\n"
    "                        cannot be opened, the graph picture cannot be made (or\n"
    "                        is not made in 60 s) or OUT.pdf cannot be written; needs\n"
    "                        no display\n"
    "  --graph-type N        with --screenshot or --print: the graph kind, 1 height\n"
    "                        plot, 2 image map, 3 vector graph, 4 plane view\n"
    "                        (status 1 when FILE does not suit that kind)\n"
    "  --palette N           with --screenshot or --print: the palette, 0 custom,\n"
    "                        1 gray scale, 2 banded, 3 inverted, 4 rainbow, 5 banded,\n"
    "                        6 inverted\n"
    "  --size WxH            with --screenshot or --print: the window's size in pixels\n"
    "                        (64 to 8192 each), e.g. --size 1200x900\n"
    "  -Automation           start hidden for an automation client (also /Automation,\n"
    "                        --automation); needs --bus-name; without a display the\n"
    "                        viewer draws off-screen\n"
    "  -Embedding            the same as -Automation (also /Embedding, --embedding)\n"
    "  --bus-name NAME       serve the automation object on the session bus as NAME\n"
    "  --owner UNIQUE-NAME   the only bus connection that may create the object\n"
    "  -h, --help            show this text and exit\n"
    "\n"
    "Settings are kept in ~/.config/Veradyne/Plotrane.ini. Environment:\n"
    "TAVRIX_HDF_HELPER (the HDF helper program, else tavrix-hdf beside tavrix),\n"
    "TAVRIX_HDF_LIST_TIMEOUT and TAVRIX_HDF_READ_TIMEOUT (the helper's limits in\n"
    "seconds, 30 and 120 by default),\n"
    "TAVRIX_EGL_PLATFORM (auto, surfaceless, device or default).\n";

int runTavrix(int argc, char** argv, std::unique_ptr<AutomationHooks> (*hooks)()) {
    // Help needs no display, so it is answered before Qt starts.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelpText, stdout);
            return 0;
        }
    }
    // A picture needs no screen, and neither does a viewer an automation
    // client drives (a simulation on a machine without a display; Qt would
    // abort without one): without a display, draw off-screen.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineInfo asked = parseCommandLine(arguments);
    const bool screenshot = !asked.screenshot.isEmpty() || !asked.print.isEmpty();
    // A command line that is refused only prints why: it needs no display either.
    const bool headless =
        screenshot || asked.automation || asked.embedding || !asked.error.isEmpty();
    bool offscreen = false;
    if (headless && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        offscreen = true;
    }
    if (screenshot || offscreen) g_defaultHandler = qInstallMessageHandler(filterMessages);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavrix");
    QApplication::setOrganizationName("Veradyne");
    TavrixApp tavrix(hooks ? hooks() : nullptr);
    if (!tavrix.initInstance(QApplication::arguments())) return 1;
    if (!tavrix.commandLine().screenshot.isEmpty())
        return tavrix.saveScreenshot(tavrix.commandLine().screenshot) ? 0 : 1;
    if (!tavrix.commandLine().print.isEmpty())
        return tavrix.printToFile(tavrix.commandLine().print) ? 0 : 1;
    return app.exec();
}
