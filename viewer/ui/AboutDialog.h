// The About dialog (template 100): the program's name and version and, in
// its "System Info" group, a read-only text (edit 1192) with the screen's
// colour depth, the graph control's OpenGL version and renderer and the
// machine's memory. User-interface thread only.
#pragma once

#include <QDialog>

class CArrayDoc;
class QPlainTextEdit;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // document: where the graph control is found (nullptr: no control).
    explicit AboutDialog(CArrayDoc* document, QWidget* parent = nullptr);

    QPlainTextEdit* systemInfo() const { return m_info; }
    // The system information as the dialog fills it, lines joined with
    // "\r\n".
    static QString systemInfoText(CArrayDoc* document);

private:
    QPlainTextEdit* m_info = nullptr;
};
