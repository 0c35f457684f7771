// Printing in the main frame with real menus, keys and clicks: Print
// Preview, Print (to a PDF file), Print Setup, the progress dialog while the
// control makes its picture, the cached picture, the About dialog's system
// information; and the page as it is drawn, with and without a picture.
// The control is a stand-in that writes an SVG picture on request and
// reports its progress the way the graph control does, so every status the
// dialog reacts to can be produced on cue.
#include "AboutDialog.h"
#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CMainFrame.h"
#include "MessageSink.h"
#include "PagePrinter.h"
#include "QtTestApp.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestArrays.h"
#include "UiTestSupport.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace plotrane;
namespace cmd = command_id;

namespace {

// A 4:3 picture: a red field with a blue square in its middle.
const char* const kSvg =
    "<svg xmlns='http://www.w3.org/2000/svg' width='400' height='300' viewBox='0 0 400 300'>"
    "<rect x='0' y='0' width='400' height='300' fill='#ff0000'/>"
    "<rect x='150' y='100' width='100' height='100' fill='#0000ff'/></svg>";

} // namespace

// The graph control as far as printing sees it: the camera, the picture's
// status and file, the OpenGL strings, and MetafileUpdate fired from its own
// timer, 3 (capturing), 4 (writing), then 6 (complete) or 5 (failed).
class PictureControl : public QWidget, public ControlDispatch {
    Q_OBJECT
public:
    enum class Mode { Complete, Fail, Never };
    PictureControl(QWidget* parent, Mode mode, QString folder)
        : QWidget(parent), m_mode(mode), m_folder(std::move(folder)) {
        connect(&m_steps, &QTimer::timeout, this, &PictureControl::step);
    }
    Variant GetProperty(int dispid) override {
        switch (dispid) {
        case DISPID_MajorVersion:
            return Variant(1);
        case DISPID_MinorVersion:
            return Variant(7);
        case DISPID_CamXPos:
            return Variant(camera[0]);
        case DISPID_CamYPos:
            return Variant(camera[1]);
        case DISPID_CamZPos:
            return Variant(camera[2]);
        case DISPID_MetaFileStatus:
            return Variant(int16_t(status));
        case DISPID_MetaFile:
            return Variant(file.toStdString());
        case DISPID_GLVersion:
            return Variant(std::string("2.1 Stand-in"));
        case DISPID_GLRenderer:
            return Variant(std::string("stand-in renderer"));
        default:
            return {};
        }
    }
    DispatchStatus SetProperty(int, const Variant&) override { return {}; }
    Variant Invoke(int dispid, const std::vector<Variant>& args) override {
        if (dispid != DISPID_CreateMetaFile || args.size() != 2 || args[0].toInt() == 0) return {};
        requests.push_back({args[0].toInt(), args[1].toInt()});
        file.clear();
        status = 2;
        m_next = 3;
        m_steps.start(100);
        return {};
    }

    std::array<float, 3> camera{1.0f, 2.0f, 3.0f};
    std::vector<QSize> requests;
    int status = 0;
    QString file;

signals:
    void MetafileUpdate(int16_t status, int32_t value);

private:
    void step() {
        if (m_mode == Mode::Never && m_next > 3) return;
        if (m_next == 6 && m_mode == Mode::Fail) m_next = 5;
        if (m_next == 6) {
            file = QString("%1/emf%2.svg").arg(m_folder).arg(requests.size());
            QFile out(file);
            if (out.open(QIODevice::WriteOnly)) out.write(kSvg);
        }
        status = m_next;
        emit MetafileUpdate(int16_t(status), 0);
        if (m_next >= 5)
            m_steps.stop();
        else
            m_next = m_next == 4 ? 6 : m_next + 1;
    }

    Mode m_mode;
    QString m_folder;
    QTimer m_steps;
    int m_next = 3;
};

// Runs every 40 ms while a test drives modal dialogs: hands each new modal
// dialog to the handler the test gave for its kind.
class DialogWatcher : public QObject {
public:
    using Handler = std::function<void(QWidget*)>;
    DialogWatcher() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w == m_last) return;
            m_last = w;
            for (auto& [test, handler] : m_handlers)
                if (test(w)) {
                    handler(w);
                    return;
                }
        });
        m_timer.start(40);
    }
    void on(std::function<bool(QWidget*)> test, Handler handler) {
        m_handlers.push_back({std::move(test), std::move(handler)});
    }
    template <typename T> void on(Handler handler) {
        on([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; }, std::move(handler));
    }

private:
    QTimer m_timer;
    // Dialogs live on the stack: a new one may take a gone one's address.
    QPointer<QWidget> m_last;
    std::vector<std::pair<std::function<bool(QWidget*)>, Handler>> m_handlers;
};

class PrintTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }
    void TearDown() override {
        frame.reset();
        doc.reset();
    }
    void makeFrame(PictureControl::Mode mode) {
        const QString folder = QString::fromStdString(dir.path());
        doc = std::make_unique<CArrayDoc>(settings, sink);
        frame = std::make_unique<CMainFrame>(doc.get(), &settings, nullptr,
                                             [this, mode, folder](QWidget* parent) {
                                                 control = new PictureControl(parent, mode, folder);
                                                 return ControlInstance{control, control};
                                             });
        frame->resize(640, 560);
        frame->show();
        settle();
        auto a = makeArray({12, 16}, AGL_FLOAT, AGL_LANG_C);
        ASSERT_TRUE(a);
        fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.3 * double(c)) + double(r); });
        ASSERT_TRUE(a->saveTo(dir.file("wave.agl")));
        ASSERT_TRUE(frame->openFile(QString::fromStdString(dir.file("wave.agl"))));
        settle();
    }
    QAction* action(int id) {
        QAction* a = frame->commandAction(id);
        EXPECT_NE(a, nullptr) << id;
        return a;
    }
    // Opens the command's menu from the menu bar with the mouse and clicks
    // the item (the item's dialog then runs inside the click).
    void clickMenu(int id) {
        QAction* a = action(id);
        QMenu* menu = nullptr;
        for (QObject* o : a->associatedObjects())
            if ((menu = qobject_cast<QMenu*>(o))) break;
        ASSERT_NE(menu, nullptr);
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(waitFor([menu] { return menu->isVisible(); })) << id;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        settle();
    }
    // Records what the progress dialog shows on every tick until it closes.
    struct ProgressSeen {
        std::vector<QString> captions;
        std::vector<int> positions;
        std::vector<QString> sizes;
        bool okEverEnabled = false;
        bool closedItself = true;
        qint64 openMs = -1; // how long the dialog was up
    };
    void recordProgress(DialogWatcher& watcher, ProgressSeen& seen, bool cancel = false) {
        watcher.on<PrintProgressDialog>([&seen, cancel](QWidget* w) {
            auto* dialog = static_cast<PrintProgressDialog*>(w);
            auto* sampler = new QTimer(dialog);
            QObject::connect(sampler, &QTimer::timeout, dialog, [dialog, &seen] {
                if (seen.captions.empty() || seen.captions.back() != dialog->windowTitle())
                    seen.captions.push_back(dialog->windowTitle());
                seen.positions.push_back(dialog->progressBar()->value());
                seen.sizes.push_back(dialog->sizeLabel()->text());
                seen.okEverEnabled |= dialog->okButton()->isEnabled();
            });
            sampler->start(50);
            auto clock = std::make_shared<QElapsedTimer>();
            clock->start();
            QObject::connect(dialog, &QDialog::finished, dialog,
                             [clock, &seen] { seen.openMs = clock->elapsed(); });
            if (cancel) {
                seen.closedItself = false;
                QTimer::singleShot(600, dialog, [dialog] {
                    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
                });
            }
        });
    }

    TempDir dir;
    SettingsStore settings{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    std::unique_ptr<CArrayDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    PictureControl* control = nullptr;
};

TEST_F(PrintTest, PreviewWaitsForThePictureThenReusesItUntilTheCameraMoves) {
    makeFrame(PictureControl::Mode::Complete);
    DialogWatcher watcher;
    ProgressSeen seen;
    recordProgress(watcher, seen);
    int previews = 0;
    QString previewedPicture;
    watcher.on<QPrintPreviewDialog>([&](QWidget* w) {
        ++previews;
        previewedPicture = frame->pagePrinter()->pageContent().pictureFile;
        QTest::keyClick(w, Qt::Key_Escape);
    });

    clickMenu(cmd::FilePrintPreview);
    ASSERT_EQ(previews, 1);
    // The control was asked once, at the graph pane's size times 100.
    ASSERT_EQ(control->requests.size(), 1u);
    const QSize pane = frame->graphView()->size();
    EXPECT_EQ(control->requests[0], QSize(pane.width() * 100, pane.height() * 100));
    // The dialog went through its captions and closed itself once done.
    EXPECT_EQ(seen.captions, (std::vector<QString>{"Initializing print display. . .",
                                                   "Creating print spool file. . .", "Done!"}));
    EXPECT_TRUE(seen.closedItself);
    EXPECT_TRUE(seen.okEverEnabled);
    ASSERT_FALSE(seen.positions.empty());
    EXPECT_EQ(seen.positions.back(), 50);
    EXPECT_TRUE(std::is_sorted(seen.positions.begin(), seen.positions.end()));
    EXPECT_EQ(seen.sizes.front(), "0.0K");
    const QString size = QString::asprintf("%3.2fK", double(std::strlen(kSvg)) / 1024.0);
    EXPECT_EQ(seen.sizes.back(), size);
    EXPECT_EQ(previewedPicture, control->file);
    EXPECT_EQ(doc->pictureStatus(), 0); // printing ended

    // Again without moving: no new picture, no progress dialog.
    const size_t ticks = seen.positions.size();
    clickMenu(cmd::FilePrintPreview);
    EXPECT_EQ(previews, 2);
    EXPECT_EQ(control->requests.size(), 1u);
    EXPECT_EQ(seen.positions.size(), ticks);
    EXPECT_EQ(previewedPicture, control->file);

    // Rotated: a new picture, and the old file is gone.
    const QString old = control->file;
    control->camera = {-2.0f, 1.0f, 3.0f};
    clickMenu(cmd::FilePrintPreview);
    EXPECT_EQ(previews, 3);
    EXPECT_EQ(control->requests.size(), 2u);
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_NE(previewedPicture, old);
    EXPECT_EQ(previewedPicture, control->file);
}

TEST_F(PrintTest, CancelledOrFailedPictureLeavesThePageWithoutOne) {
    makeFrame(PictureControl::Mode::Never);
    DialogWatcher watcher;
    ProgressSeen seen;
    recordProgress(watcher, seen, true);
    int previews = 0;
    QString previewedPicture = "unset";
    watcher.on<QPrintPreviewDialog>([&](QWidget* w) {
        ++previews;
        previewedPicture = frame->pagePrinter()->pageContent().pictureFile;
        QTest::keyClick(w, Qt::Key_Escape);
    });
    clickMenu(cmd::FilePrintPreview);
    EXPECT_EQ(previews, 1);
    EXPECT_FALSE(seen.closedItself);
    EXPECT_FALSE(seen.okEverEnabled);
    EXPECT_EQ(previewedPicture, "");
    EXPECT_EQ(doc->pictureStatus(), 0);
}

TEST_F(PrintTest, AFailedPictureClosesTheProgressDialogAtOnce) {
    makeFrame(PictureControl::Mode::Fail);
    DialogWatcher watcher;
    ProgressSeen seen;
    recordProgress(watcher, seen);
    int previews = 0;
    watcher.on<QPrintPreviewDialog>([&](QWidget* w) {
        ++previews;
        QTest::keyClick(w, Qt::Key_Escape);
    });
    clickMenu(cmd::FilePrintPreview);
    EXPECT_EQ(previews, 1);
    EXPECT_FALSE(seen.okEverEnabled);
    EXPECT_TRUE(seen.closedItself);
    // Closed on the tick that saw the failure (the stand-in fails after
    // 300 ms), not eight ticks (2 s) later.
    EXPECT_GE(seen.openMs, 0);
    EXPECT_LT(seen.openMs, 1500);
    EXPECT_EQ(std::find(seen.captions.begin(), seen.captions.end(), "Done!"), seen.captions.end());
    EXPECT_EQ(doc->pictureFile(), "");
}

TEST_F(PrintTest, AScriptGivesUpOnAPictureThatNeverComesAndPrintsTheRest) {
    makeFrame(PictureControl::Mode::Never);
    PagePrinter* pages = frame->pagePrinter();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(pages->makePicture(400), PagePrinter::Picture::TimedOut);
    EXPECT_LT(clock.elapsed(), 5000);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = QString::fromStdString(dir.file("late.pdf"));
    printer.setOutputFileName(pdf);
    EXPECT_TRUE(pages->printPage(printer));
    pages->endPrinting();
    EXPECT_GT(QFile(pdf).size(), 0);
    EXPECT_EQ(pages->pageContent().pictureFile, "");
}

TEST_F(PrintTest, PrintPrintsThePageToThePdfFileChosen) {
    makeFrame(PictureControl::Mode::Complete);
    const QString pdf = QString::fromStdString(dir.file("page.pdf"));
    QPrinter* printer = frame->pagePrinter()->printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    DialogWatcher watcher;
    ProgressSeen seen;
    recordProgress(watcher, seen);
    bool asked = false;
    watcher.on<QPrintDialog>([&](QWidget* w) {
        asked = true;
        QTest::keyClick(w, Qt::Key_Return);
    });
    EXPECT_EQ(action(cmd::FilePrint)->shortcut(), QKeySequence(QKeySequence::Print));
    clickMenu(cmd::FilePrint);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(pdf) && doc->pictureStatus() == 0; }));
    EXPECT_TRUE(asked);
    EXPECT_EQ(control->requests.size(), 1u);
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    if (!text.waitForFinished(20000)) GTEST_SKIP() << "pdftotext is not installed";
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(words.contains("Wave")) << words.toStdString();
    EXPECT_TRUE(words.contains("wave.agl")) << words.toStdString();
}

// The page is painted off the user-interface thread. It goes to a pipe
// whose reader takes nothing until the window has shown that it still
// handles events while the page waits to be written: painted on that thread
// instead, the page would hold it until the pipe's watchdog gives up.
TEST_F(PrintTest, ThePageIsPaintedWhileTheWindowGoesOnHandlingEvents) {
    makeFrame(PictureControl::Mode::Complete);
    PagePrinter* pages = frame->pagePrinter();
    ASSERT_EQ(pages->makePicture(20000), PagePrinter::Picture::Complete);
    const std::string path = dir.file("page.pdf");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // A pipe of one page: the painting thread stalls after its first 4 KiB.
    ASSERT_GE(fcntl(reader, F_SETPIPE_SZ, 4096), 0);
    const auto buffered = [reader] {
        int n = 0;
        return ioctl(reader, FIONREAD, &n) == 0 ? n : 0;
    };
    // Set once the reader may empty the pipe.
    std::mutex drainMutex;
    std::condition_variable drainWake;
    bool drain = false;
    const auto startDraining = [&] {
        {
            std::lock_guard<std::mutex> lock(drainMutex);
            drain = true;
        }
        drainWake.notify_all();
    };
    QByteArray written;
    std::thread drainer([&] {
        // The watchdog: after a minute the pipe is emptied all the same.
        {
            std::unique_lock<std::mutex> lock(drainMutex);
            drainWake.wait_for(lock, std::chrono::minutes(1), [&] { return drain; });
        }
        char chunk[65536];
        for (;;) {
            const ssize_t n = read(reader, chunk, sizeof chunk);
            if (n > 0) {
                written.append(chunk, qsizetype(n));
            } else if (n == 0 && !written.isEmpty()) {
                break; // the writer closed the file
            } else {
                pollfd p{reader, POLLIN, 0};
                poll(&p, 1, 100);
            }
        }
    });
    bool handledWhileStalled = false;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        if (buffered() >= 4096 && !handledWhileStalled) {
            handledWhileStalled = true;
            startDraining();
        }
    });
    beat.start(5);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    EXPECT_TRUE(pages->printPageAside(printer));
    beat.stop();
    startDraining();
    drainer.join();
    close(reader);
    pages->endPrinting();
    EXPECT_TRUE(handledWhileStalled);
    EXPECT_TRUE(written.startsWith("%PDF"));
    EXPECT_TRUE(written.trimmed().endsWith("%%EOF"));
}

TEST_F(PrintTest, PrintSetupOpensThePageSetupDialog) {
    makeFrame(PictureControl::Mode::Complete);
    EXPECT_EQ(action(cmd::PrintSetup)->statusTip(), "Setup print formatting options.");
    DialogWatcher watcher;
    bool shown = false;
    watcher.on<QPageSetupDialog>([&](QWidget* w) {
        shown = true;
        QTest::keyClick(w, Qt::Key_Escape);
    });
    clickMenu(cmd::PrintSetup);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(control->requests.empty());
}

TEST_F(PrintTest, AboutShowsTheControlsOpenGLAndTheMachinesMemory) {
    makeFrame(PictureControl::Mode::Complete);
    DialogWatcher watcher;
    QStringList lines;
    watcher.on<AboutDialog>([&](QWidget* w) {
        lines = static_cast<AboutDialog*>(w)->systemInfo()->toPlainText().split('\n');
        auto* box = w->findChild<QDialogButtonBox*>();
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    clickMenu(cmd::AppAbout);
    ASSERT_EQ(lines.size(), 7) << lines.join('|').toStdString();
    EXPECT_TRUE(lines[0].startsWith("Color Resolution: ")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "OpenGL Version: 2.1 Stand-in");
    EXPECT_EQ(lines[2], "OpenGL Renderer: stand-in renderer");
    EXPECT_TRUE(lines[3].startsWith("Physical Memory: "));
    EXPECT_TRUE(lines[6].startsWith("Page File Usage: "));
    EXPECT_TRUE(lines[6].endsWith("%"));
}

// ---- The page as drawn ----------------------------------------------------------

class PagePaintTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }
    // A landscape page, 900 x 600 at 96 dpi.
    QImage paint(const QString& picture, const QString& title) {
        QImage page(900, 600, QImage::Format_RGB32);
        page.fill(Qt::white);
        PageContent content;
        content.title = title;
        content.pictureFile = picture;
        content.pathName = "/data/wave.agl";
        content.time.tm_hour = 9;
        content.time.tm_min = 5;
        content.time.tm_mday = 3;
        content.time.tm_mon = 5;
        content.time.tm_year = 126;
        QPainter p(&page);
        paintPage(p, print_page::Edges{0, 0, 900, 600}, content);
        return page;
    }
    static int inked(const QImage& image, const print_page::Edges& e) {
        int n = 0;
        for (int y = e.top; y < e.bottom; ++y)
            for (int x = e.left; x < e.right; ++x)
                n += image.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    }
    TempDir dir;
};

TEST_F(PagePaintTest, ThePictureFillsItsFittedAreaAndTitleAndFooterHaveInk) {
    const QString svg = QString::fromStdString(dir.file("emf.svg"));
    QFile out(svg);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(kSvg);
    out.close();
    EXPECT_DOUBLE_EQ(pictureAspect(svg), 4.0 / 3.0);
    const QImage page = paint(svg, "Wave");
    const auto layout = print_page::layoutPage({0, 0, 900, 600}, 4.0 / 3.0);
    ASSERT_TRUE(layout.hasPicture);
    const print_page::Edges& p = layout.picture;
    // The red field reaches the fitted area's corners, the blue square sits
    // in its middle, and nothing is drawn beside it.
    EXPECT_EQ(page.pixel(p.left + 2, p.top + 2), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(p.right - 3, p.bottom - 3), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel((p.left + p.right) / 2, (p.top + p.bottom) / 2), qRgb(0, 0, 255));
    EXPECT_EQ(page.pixel(p.left - 3, (p.top + p.bottom) / 2), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(p.right + 2, (p.top + p.bottom) / 2), qRgb(255, 255, 255));
    EXPECT_GT(inked(page, {layout.xl, layout.yt, layout.xr, layout.yt + layout.u}), 50);
    EXPECT_GT(inked(page, {layout.xl, (layout.yp + layout.yb) / 2, layout.xr, 600}), 50);
}

TEST_F(PagePaintTest, AnUnreadablePictureLeavesTitleAndFooterOnly) {
    const QString bad = QString::fromStdString(dir.file("bad.svg"));
    QFile out(bad);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("<svg this is not");
    out.close();
    EXPECT_EQ(pictureAspect(bad), 0.0);
    for (const QString& picture : {bad, QString(), QString::fromStdString(dir.file("none.svg"))}) {
        const QImage page = paint(picture, "Wave");
        const auto layout = print_page::layoutPage({0, 0, 900, 600}, 0);
        EXPECT_EQ(inked(page, {layout.xl, layout.yt + layout.u + layout.u / 10 + 1, layout.xr,
                               layout.yp - 1}),
                  0)
            << picture.toStdString();
        EXPECT_GT(inked(page, {layout.xl, layout.yt, layout.xr, layout.yt + layout.u}), 50);
        EXPECT_GT(inked(page, {layout.xl, (layout.yp + layout.yb) / 2, layout.xr, 600}), 50);
    }
}

TEST_F(PagePaintTest, ALongTitleIsDrawnSmallerAndStaysInsideTheBand) {
    const QString longTitle(120, QChar('W'));
    const QImage page = paint(QString(), longTitle);
    const auto layout = print_page::layoutPage({0, 0, 900, 600}, 0);
    // Nothing of the title outside its rectangle's sides.
    EXPECT_EQ(inked(page, {0, layout.yt, layout.xl, layout.title.bottom}), 0);
    EXPECT_EQ(inked(page, {layout.xr, layout.yt, 900, layout.title.bottom}), 0);
    EXPECT_GT(inked(page, layout.title), 0);
    // The short title's letters are taller than the long title's.
    auto rowsInked = [&](const QImage& image) {
        int rows = 0;
        for (int y = layout.title.top; y < layout.title.bottom; ++y)
            rows += inked(image, {layout.xl, y, layout.xr, y + 1}) > 0;
        return rows;
    };
    EXPECT_GT(rowsInked(paint(QString(), "WW")), 2 * rowsInked(page));
}

// ---- tavrix --print -----------------------------------------------------------------

class PrintCommandTest : public ::testing::Test {
protected:
    int run(const QStringList& args, QString* errors = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.file("config")));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(TAVRIX_BINARY_DIR "/bin/tavrix", args);
        if (!p.waitForFinished(180000)) return -1;
        if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitCode();
    }
    // Runs a program of poppler-utils; false when it fails.
    static bool tool(const QString& program, const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return false;
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
        return true;
    }
    // The share of inked points in the picture area of the PDF's page,
    // rasterised by poppler at 50 dpi; -1 when it cannot be read.
    double pictureInk(const QString& pdf, const QString& name) {
        const QString prefix = QString::fromStdString(dir.file(name.toStdString()));
        if (!tool("pdftoppm", {"-r", "50", "-png", "-singlefile", pdf, prefix})) return -1;
        const QImage page(prefix + ".png");
        if (page.isNull()) return -1;
        const auto layout =
            print_page::layoutPage({0, 0, page.width(), page.height()}, 0); // bands only
        int ink = 0, total = 0;
        for (int y = layout.yt + layout.u + layout.u / 5; y < layout.yp; y += 2)
            for (int x = layout.xl; x < layout.xr; x += 2, ++total)
                ink += qGray(page.pixel(x, y)) < 200;
        return total ? double(ink) / total : -1;
    }
    TempDir dir;
};

// A narrow image map (3 x 445, one row of it a single colour) gave a page
// without its graph and a success status, later no page at all: the 445
// cells of one colour went into the picture's image as one outlined path,
// which took Qt seconds to draw, while the wait for the picture kept the
// user-interface thread busy beside the low-priority writer thread.
TEST_F(PrintCommandTest, ANarrowImageMapIsPrintedWithItsGraph) {
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";
    auto a = makeArray({3, 445}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.05 * double(r)) * double(c + 1); });
    ASSERT_TRUE(a->saveTo(dir.file("narrow.agl")));
    const QString pdf = QString::fromStdString(dir.file("narrow.pdf"));
    QString errors;
    ASSERT_EQ(
        run({"--print", pdf, "--graph-type", "2", QString::fromStdString(dir.file("narrow.agl"))},
            &errors),
        0)
        << errors.toStdString();
    EXPECT_GT(pictureInk(pdf, "narrow"), 0.02) << "the picture area is blank";
}

TEST_F(PrintCommandTest, PrintsTitlePictureAndFooterToAPdfThatPopplerReads) {
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty() ||
        QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";
    auto a = makeArray({40, 50}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return std::sin(0.2 * double(c)) * double(r); });
    ASSERT_TRUE(a->saveTo(dir.file("ripple.agl")));
    const QString pdf = QString::fromStdString(dir.file("ripple.pdf"));
    QString errors;
    ASSERT_EQ(run({"--print", pdf, QString::fromStdString(dir.file("ripple.agl"))}, &errors), 0)
        << errors.toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    QString words;
    ASSERT_TRUE(tool("pdftotext", {pdf, "-"}, &words));
    EXPECT_TRUE(words.contains("Ripple")) << words.toStdString();
    EXPECT_TRUE(words.contains("ripple.agl")) << words.toStdString();

    // The picture area (the middle of the page) holds the graph, not blank
    // paper.
    EXPECT_GT(pictureInk(pdf, "ripple"), 0.02) << "the picture area is blank";
}

TEST_F(PrintCommandTest, UnwritableOutputOrUnreadableInputFailsWithAMessage) {
    auto a = makeArray({4, 5}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return double(c + r); });
    ASSERT_TRUE(a->saveTo(dir.file("small.agl")));
    QString errors;
    EXPECT_NE(run({"--print", "/nonexistent-folder/out.pdf",
                   QString::fromStdString(dir.file("small.agl"))},
                  &errors),
              0);
    EXPECT_TRUE(errors.contains("cannot write the PDF file /nonexistent-folder/out.pdf"))
        << errors.toStdString();
    EXPECT_NE(run({"--print", QString::fromStdString(dir.file("o.pdf")),
                   QString::fromStdString(dir.file("missing.agl"))},
                  &errors),
              0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("o.pdf"))));
    EXPECT_NE(run({"--print"}, &errors), 0);
    EXPECT_TRUE(errors.contains("--print needs")) << errors.toStdString();
}

// A page whose graph the control cannot draw (a window so small that the
// graph pane has no room) is no print: status 1, the reason on stderr, and
// no file.
TEST_F(PrintCommandTest, APictureTheControlCannotMakeFailsWithItsReason) {
    auto a = makeArray({4, 5}, AGL_FLOAT, AGL_LANG_C);
    fillPlane(*a, [](int64_t c, int64_t r) { return double(c * r); });
    ASSERT_TRUE(a->saveTo(dir.file("small.agl")));
    const QString pdf = QString::fromStdString(dir.file("none.pdf"));
    QString errors;
    EXPECT_EQ(
        run({"--print", pdf, "--size", "200x100", QString::fromStdString(dir.file("small.agl"))},
            &errors),
        1);
    EXPECT_TRUE(
        errors.contains("cannot write the PDF file " + pdf + ": the graph picture could not"))
        << errors.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
}

// A named pipe, a device or a folder as the PDF file is refused before
// anything is printed, with a message and status 1, and left as it was (a
// pipe once blocked the printer for ever).
TEST_F(PrintCommandTest, APipeADeviceOrAFolderAsOutputIsRefused) {
    auto a = makeArray({4, 5}, AGL_FLOAT, AGL_LANG_C);
    ASSERT_TRUE(a->saveTo(dir.file("small.agl")));
    const std::string fifo = dir.file("pipe.pdf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder.pdf");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    for (const std::string& target : {fifo, std::string("/dev/full"), folder}) {
        QString errors;
        EXPECT_EQ(run({"--print", QString::fromStdString(target),
                       QString::fromStdString(dir.file("small.agl"))},
                      &errors),
                  1)
            << target;
        EXPECT_TRUE(errors.contains(
            QString::fromStdString("cannot write the PDF file " + target + ": not a regular file")))
            << errors.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

#include "PrintTest.moc"
