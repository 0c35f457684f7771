// Printing: the one printed page (title, the graph picture, a footer with
// the file's path and the time), the File menu's Print, Print Preview and
// Print Setup, and the progress dialog that waits for the graph control to
// write the picture.
//
// Printing runs in four steps: preparing (the print dialog; the job has one
// page), beginning (the document asks the control for a picture unless its
// cached one still stands, and the progress dialog waits for it), printing
// the page, ending (the picture status goes back to 0). A picture that
// never comes, or cannot be read, leaves a page with title and footer only.
// User-interface thread only.
#pragma once

#include "PrintPage.h"

#include <QDialog>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>

class CArrayDoc;
class QLabel;
class QPainter;
class QPrinter;
class QProgressBar;
class QPushButton;
class QWidget;

// What one page shows.
struct PageContent {
    QString title;       // printed as is (already cut and capitalised)
    QString pictureFile; // an SVG file; empty or unreadable: no picture
    QString pathName;    // the document's path, at the footer's left
    std::tm time{};      // local time, at the footer's right
};

// Draws the page into the painter's drawing rectangle page (device units
// of the painter's device).
void paintPage(QPainter& painter, const print_page::Edges& page, const PageContent& content);

// Whether an SVG picture file can be read, and its width / height (0 when
// it cannot).
double pictureAspect(const QString& file);

// The progress dialog (template 173): a progress bar 0..50, the picture
// file's size, OK (enabled once the picture is complete) and Cancel, and a
// 250 ms timer that reads the picture status and closes the dialog eight
// ticks after completion (at once when the picture failed).
class PrintProgressDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTickMs = 250;
    // status: the picture status now; file: the picture file's name now.
    PrintProgressDialog(std::function<int()> status, std::function<QString()> file,
                        QWidget* parent = nullptr);
    ~PrintProgressDialog() override;

    QProgressBar* progressBar() const { return m_bar; }
    QLabel* sizeLabel() const { return m_size; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void done(int result) override;

private:
    void tick();

    std::function<int()> m_status;
    std::function<QString()> m_fileName;
    print_page::Progress m_progress;
    QFile m_file;
    QTimer m_timer;
    QProgressBar* m_bar = nullptr;
    QLabel* m_size = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The frame's printing: one printer, kept for the session, so the choices
// of Print Setup and the print dialog stay.
class PagePrinter : public QObject {
    Q_OBJECT
public:
    // graphPane: the graph view, whose client size sizes the picture.
    PagePrinter(CArrayDoc* document, QWidget* graphPane, QWidget* dialogParent);
    ~PagePrinter() override;

    QPrinter* printer() const { return m_printer.get(); }

    // File > Print: the print dialog, then the page.
    void print();
    // File > Print Preview: the page in the preview window.
    void printPreview();
    // File > Print Setup: the page setup dialog.
    void printSetup();

    // Beginning: asks for a picture unless the cached one stands, and runs
    // the progress dialog while it is made.
    void beginPrinting();
    // Beginning without a dialog, for scripts: asks for a picture unless the
    // cached one stands and waits for it at most timeoutMs, reading the
    // control's status directly rather than waiting for its once-a-second
    // events.
    enum class Picture { None, Reused, Complete, Failed, TimedOut };
    Picture makePicture(int timeoutMs);
    // Ending: the picture status goes back to 0.
    void endPrinting();
    // Prints the page on printer (which must be set up) now. False when the
    // printer cannot be started (the output file cannot be written).
    bool printPage(QPrinter& printer);
    // The same, the page painted on a thread of its own while this one goes
    // on handling events (repaints, timers, automation calls; user input
    // waits until the page is done). Returns once it is.
    bool printPageAside(QPrinter& printer);
    // The page of the document as it stands now.
    PageContent pageContent() const;

signals:
    // The progress dialog is up (tests and scripts watch it).
    void progressShown(PrintProgressDialog* dialog);

private:
    CArrayDoc* m_document;
    QWidget* m_graphPane;
    QWidget* m_dialogParent;
    std::unique_ptr<QPrinter> m_printer;
};
