#include "WidgetMessageSink.h"

#include "HelperProgress.h"
#include "SettingsDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>

QWidget* WidgetMessageSink::owner() const {
    QWidget* active = QApplication::activeWindow();
    return active ? active : m_parent;
}

void WidgetMessageSink::message(const std::string& text, MessageIcon icon) {
    if (m_capture) {
        m_capture->push_back(text);
        return;
    }
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case MessageIcon::Exclamation:
    case MessageIcon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Error:
        qtIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(qtIcon, kMessageCaption, QString::fromStdString(text), QMessageBox::Ok,
                    owner());
    // Messages quote file names, paths and text from inside files: shown as
    // rich text, a name holding markup would be styled, or load the images
    // it names.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool WidgetMessageSink::question(const std::string& text) {
    if (m_capture) {
        m_capture->push_back(text);
        return false;
    }
    QMessageBox box(QMessageBox::Question, kMessageCaption, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, owner());
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QStringList qtNameFilters(const std::string& filter) {
    // Pairs of description and pattern; Qt reads the patterns from the
    // description's parentheses, separated by blanks.
    const QStringList parts = QString::fromStdString(filter).split('|', Qt::SkipEmptyParts);
    QStringList names;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        QString name = parts[i];
        const int open = name.lastIndexOf('(');
        if (open >= 0) name = name.left(open).trimmed();
        names << QString("%1 (%2)").arg(name, patterns == "*.*" ? QString("*") : patterns);
    }
    return names;
}

std::optional<std::string> WidgetMessageSink::saveFileName(const SaveFileRequest& request) {
    if (m_capture) return {};
    QFileDialog dialog(owner(), "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(qtNameFilters(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void WidgetMessageSink::showAnnotation(const std::string& text) {
    if (m_capture) return;
    AnnotationDialog dialog(QString::fromStdString(text), owner());
    dialog.exec();
}

void WidgetMessageSink::setBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WidgetMessageSink::waitForHelper(const std::string& what, const std::function<void()>& work,
                                      std::atomic<bool>& cancel) {
    // The frame, not the active window: a box over a passing dialog would
    // go with it.
    helper_progress::wait(m_parent ? m_parent : owner(), QString::fromStdString(what), work, cancel,
                          m_openingAtStartUp);
}

void ConsoleMessageSink::message(const std::string& text, MessageIcon) {
    std::fprintf(stderr, "tavrix: %s\n", text.c_str());
}

bool ConsoleMessageSink::question(const std::string& text) {
    std::fprintf(stderr, "tavrix: %s (answered No)\n", text.c_str());
    return false;
}

std::optional<std::string> ConsoleMessageSink::saveFileName(const SaveFileRequest&) {
    return std::nullopt;
}

void ConsoleMessageSink::showAnnotation(const std::string& text) {
    std::fprintf(stderr, "tavrix: annotation: %s\n", text.c_str());
}
