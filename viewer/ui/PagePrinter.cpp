#include "PagePrinter.h"

#include "CArrayDoc.h"
#include "CPlotrane2D.h"
#include "MessageSink.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <system_error>
#include <thread>

using print_page::Edges;

namespace {

// width / height of a readable picture, else 0.
double aspectOf(const QSvgRenderer& svg) {
    if (!svg.isValid()) return 0;
    QSizeF size = svg.viewBoxF().size();
    if (!(size.width() > 0 && size.height() > 0)) size = svg.defaultSize();
    if (!(size.width() > 0 && size.height() > 0)) return 0;
    const double aspect = size.width() / size.height();
    return std::isfinite(aspect) ? aspect : 0;
}

} // namespace

double pictureAspect(const QString& file) {
    if (file.isEmpty()) return 0;
    const QSvgRenderer svg(file);
    return aspectOf(svg);
}

void paintPage(QPainter& painter, const Edges& page, const PageContent& content) {
    QPaintDevice* device = painter.device();
    // The picture is read once: a file that cannot be parsed leaves the
    // page without it.
    std::unique_ptr<QSvgRenderer> svg;
    if (!content.pictureFile.isEmpty()) svg = std::make_unique<QSvgRenderer>(content.pictureFile);
    const double aspect = svg ? aspectOf(*svg) : 0;
    const print_page::Layout layout = print_page::layoutPage(page, aspect);
    painter.save();
    painter.setPen(Qt::black);

    // Title: Times New Roman, as large as the band allows.
    QFont titleFont("Times New Roman");
    titleFont.setWeight(QFont::Normal);
    titleFont.setStyleStrategy(QFont::PreferOutline);
    const int titleHeight = print_page::titleFontHeight(
        layout.title.height(), layout.title.width(), int(content.title.size()), [&](int h) {
            QFont f = titleFont;
            f.setPixelSize(h);
            return QFontMetrics(f, device).maxWidth();
        });
    if (titleHeight >= 1 && !content.title.isEmpty()) {
        titleFont.setPixelSize(titleHeight);
        painter.setFont(titleFont);
        painter.drawText(
            QRect(layout.title.left, layout.title.top, layout.title.width(), layout.title.height()),
            Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, content.title);
    }

    if (layout.hasPicture && svg) {
        const Edges& p = layout.picture;
        svg->render(&painter, QRectF(p.left, p.top, p.width(), p.height()));
    }

    // Footer: Arial Italic, 12 points (240 twips), its top half-way between
    // the picture area's bottom and the bottom line.
    QFont footerFont("Arial");
    footerFont.setItalic(true);
    footerFont.setWeight(QFont::Normal);
    footerFont.setPixelSize(std::max(1, int(std::lround(240.0 * device->logicalDpiY() / 1440.0))));
    painter.setFont(footerFont);
    const QFontMetrics metrics(footerFont, device);
    const int top = (layout.yp + layout.yb) / 2;
    const int width = layout.xr - layout.xl;
    const QString time = print_page::footerTime(content.time);
    const QRect line(layout.xl, top, width, metrics.height());
    painter.drawText(line, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, time);
    // A long path gives way to the time rather than running over it.
    const int room = width - metrics.horizontalAdvance(time) - metrics.averageCharWidth() * 2;
    painter.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     metrics.elidedText(content.pathName, Qt::ElideMiddle, std::max(0, room)));
    painter.restore();
}

// ---------------------------------------------------------------------------

PrintProgressDialog::PrintProgressDialog(std::function<int()> status, std::function<QString()> file,
                                         QWidget* parent)
    : QDialog(parent), m_status(std::move(status)), m_fileName(std::move(file)) {
    setObjectName("printProgress173");
    setWindowTitle(m_progress.caption());
    setModal(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progress1190");
    m_bar->setRange(0, print_page::Progress::kRange);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_size = new QLabel(m_progress.sizeText(), this);
    m_size->setObjectName("size1191");
    m_size->setMinimumWidth(m_size->fontMetrics().horizontalAdvance("9999.99M") + 8);
    m_size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_ok->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(m_bar, 1);
    row->addWidget(m_size);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(360, sizeHint().height());
    connect(&m_timer, &QTimer::timeout, this, &PrintProgressDialog::tick);
    m_timer.start(kTickMs);
}

PrintProgressDialog::~PrintProgressDialog() = default;

void PrintProgressDialog::tick() {
    m_progress.tick(m_status ? m_status() : 0);
    if (m_progress.wantsFileSize() && !m_file.isOpen()) {
        const QString name = m_fileName ? m_fileName() : QString();
        if (!name.isEmpty()) {
            m_file.setFileName(name);
            m_file.open(QIODevice::ReadOnly);
        }
    }
    if (m_file.isOpen()) m_progress.setFileSize(m_file.size());
    m_bar->setValue(m_progress.position());
    m_size->setText(m_progress.sizeText());
    setWindowTitle(m_progress.caption());
    m_ok->setEnabled(m_progress.okEnabled());
    if (m_progress.finished()) accept();
}

void PrintProgressDialog::done(int result) {
    m_timer.stop();
    m_file.close();
    QDialog::done(result);
}

// ---------------------------------------------------------------------------

PagePrinter::PagePrinter(CArrayDoc* document, QWidget* graphPane, QWidget* dialogParent)
    : QObject(dialogParent), m_document(document), m_graphPane(graphPane),
      m_dialogParent(dialogParent),
      m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

PagePrinter::~PagePrinter() = default;

PageContent PagePrinter::pageContent() const {
    PageContent c;
    c.title = print_page::pageTitle(QString::fromStdString(m_document->title()));
    c.pathName = QString::fromStdString(m_document->path());
    c.pictureFile = QString::fromStdString(m_document->pictureFile());
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &c.time);
    return c;
}

void PagePrinter::beginPrinting() {
    const QSize size = m_graphPane ? m_graphPane->size() : QSize();
    if (!m_document->beginPicture(size.width(), size.height())) return;
    PrintProgressDialog dialog([this] { return m_document->pictureStatus(); },
                               [this] { return QString::fromStdString(m_document->pictureFile()); },
                               m_dialogParent);
    QTimer::singleShot(0, this, [this, &dialog] { emit progressShown(&dialog); });
    dialog.exec();
}

PagePrinter::Picture PagePrinter::makePicture(int timeoutMs) {
    const QSize size = m_graphPane ? m_graphPane->size() : QSize();
    if (!m_document->beginPicture(size.width(), size.height()))
        return m_document->pictureFile().empty() ? Picture::None : Picture::Reused;
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    CPlotrane2D* c = nullptr;
    // The wait sleeps until an event comes (the writer's reports are
    // events; the tick bounds each sleep). A loop that only polled kept
    // this thread busy, and the render and writer threads, which run at the
    // lowest priority, got next to no time beside it on a loaded machine.
    QTimer tick;
    tick.start(20);
    QEventLoop loop;
    while (clock.elapsed() < timeoutMs) {
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        // The control may go while events run (the document is emptied).
        if (!(c = m_document->control())) return Picture::None;
        status = c->getInt(plotrane::DISPID_MetaFileStatus);
        if (status >= 5) break;
    }
    if (status < 5) return Picture::TimedOut;
    m_document->setPictureStatus(status);
    m_document->setPictureFile(status == 6 ? c->get(plotrane::DISPID_MetaFile).toString()
                                           : std::string());
    return status == 6 && !m_document->pictureFile().empty() ? Picture::Complete : Picture::Failed;
}

void PagePrinter::endPrinting() {
    m_document->endPrinting();
}

namespace {

// Any thread: painting on a printer is not tied to the user-interface thread.
bool printPageOn(QPrinter& printer, const PageContent& content) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect paint = printer.pageLayout().paintRectPixels(printer.resolution());
    paintPage(painter, Edges{0, 0, paint.width(), paint.height()}, content);
    return painter.end();
}

} // namespace

bool PagePrinter::printPage(QPrinter& printer) {
    return printPageOn(printer, pageContent());
}

bool PagePrinter::printPageAside(QPrinter& printer) {
    // Laying a picture of hundreds of kilobytes into a PDF or a printer's
    // spool file takes tens of milliseconds, hundreds for a large one: the
    // window does not freeze for it. What the page shows is taken here.
    const PageContent content = pageContent();
    bool printed = false;
    QEventLoop loop;
    std::thread painting;
    try {
        painting = std::thread([&] {
            printed = printPageOn(printer, content);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return printPageOn(printer, content); // no thread to be had: here, then
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A quit of the whole program ends this loop too: the join below still
    // waits for the page.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
    painting.join();
    return printed;
}

void PagePrinter::print() {
    QPrintDialog dialog(m_printer.get(), m_dialogParent);
    dialog.setObjectName("printDialog");
    dialog.setMinMax(1, 1);
    if (dialog.exec() != QDialog::Accepted) return;
    beginPrinting();
    if (!printPageAside(*m_printer))
        m_document->messages().message("Unable to print: the printer could not be started.",
                                       MessageIcon::Error);
    endPrinting();
}

void PagePrinter::printPreview() {
    beginPrinting();
    QPrintPreviewDialog preview(m_printer.get(), m_dialogParent);
    preview.setObjectName("printPreview");
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { printPage(*printer); });
    preview.exec();
    endPrinting();
}

void PagePrinter::printSetup() {
    QPageSetupDialog dialog(m_printer.get(), m_dialogParent);
    dialog.setObjectName("printSetupDialog");
    dialog.exec();
}
