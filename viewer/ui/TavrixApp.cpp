#include "TavrixApp.h"

#include "CArrayDoc.h"
#include "CGridView.h"
#include "CMainFrame.h"
#include "ReplacingFile.h"
#include "SettingsStore.h"
#include "ShmName.h"
#include "WidgetMessageSink.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

CommandLineInfo parseCommandLine(const QStringList& arguments) {
    CommandLineInfo info;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const QString lower = a.toLower();
        if (lower == "-automation" || lower == "/automation" || lower == "--automation") {
            info.automation = true;
        } else if (lower == "-embedding" || lower == "/embedding" || lower == "--embedding") {
            info.embedding = true;
        } else if (a == "--screenshot") {
            if (i + 1 >= arguments.size()) {
                info.error = "--screenshot needs the name of the picture to write";
                return info;
            }
            info.screenshot = arguments[++i];
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
    if (!m_info.screenshot.isEmpty()) {
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

    if (!m_hooks->registerClassObjects(*this)) return false;
    if (m_info.automation || m_info.embedding) return true;

    if (!m_info.file.isEmpty()) {
        if (!m_frame->openFile(m_info.file)) return false;
    } else {
        m_document->newDocument();
    }
    m_frame->show();
    m_frame->setAcceptDrops(true);
    const std::string dir = m_settings->currentDirectory();
    if (!dir.empty()) QDir::setCurrent(QString::fromStdString(dir));
    return true;
}

bool TavrixApp::saveScreenshot(const QString& path) {
    CMainFrame* frame = m_frame.get();
    if (!frame->isVisible()) frame->show();
    // Let the window take its size, the grid fill its cells and every queued
    // paint happen; a picture is taken from what the widgets paint.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        frame->gridView()->refresh();
    }
    const QPixmap picture = frame->grab();
    // Encoded in memory, then written through a file that replaces the
    // target only when complete: every write and the close are checked, and
    // a pipe or device is refused rather than blocked on.
    QByteArray png;
    QBuffer buffer(&png);
    ReplacingFile file;
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
        !file.open(QFile::encodeName(path).toStdString()) ||
        !file.write(png.constData(), size_t(png.size())) || !file.commit()) {
        std::fprintf(stderr, "tavrix: cannot write the picture %s%s%s\n", qPrintable(path),
                     file.error().empty() ? "" : ": ", file.error().c_str());
        return false;
    }
    return true;
}

// Qt's off-screen platform reports each window hint it cannot honour; a
// picture taken without a display needs none of them.
static QtMessageHandler g_defaultHandler = nullptr;
static void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains("does not support propagateSizeHints")) return;
    if (g_defaultHandler) g_defaultHandler(type, context, text);
}

int runTavrix(int argc, char** argv, std::unique_ptr<AutomationHooks> (*hooks)()) {
    // A picture needs no screen: without a display, draw off-screen.
    bool screenshot = false;
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--screenshot") screenshot = true;
    if (screenshot && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (screenshot) g_defaultHandler = qInstallMessageHandler(filterMessages);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavrix");
    QApplication::setOrganizationName("Veradyne");
    TavrixApp tavrix(hooks ? hooks() : nullptr);
    if (!tavrix.initInstance(QApplication::arguments())) return 1;
    if (!tavrix.commandLine().screenshot.isEmpty())
        return tavrix.saveScreenshot(tavrix.commandLine().screenshot) ? 0 : 1;
    return app.exec();
}
