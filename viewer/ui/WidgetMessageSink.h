// How the document talks to the user in the running viewer: message boxes
// captioned "Veradyne Tavrix", Yes/No questions, the save-file dialog, the
// annotation box and the wait cursor. Texts quote file names and file
// content, so they are shown as plain text, never as markup.
// ConsoleMessageSink is the same for a run without anyone to click (tavrix
// --screenshot): messages go to stderr, questions are answered No, no
// dialog is shown.
#pragma once

#include "MessageSink.h"

#include <QStringList>

class QWidget;

class WidgetMessageSink : public MessageSink {
public:
    // Boxes are shown over the active window, else over parent.
    explicit WidgetMessageSink(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const std::string& text, MessageIcon icon) override;
    bool question(const std::string& text) override;
    std::optional<std::string> saveFileName(const SaveFileRequest& request) override;
    void showAnnotation(const std::string& text) override;
    void setBusy(bool busy) override;
    // On a worker thread, with a progress box and Cancel (HelperProgress.h).
    void waitForHelper(const std::string& what, const std::function<void()>& work,
                       std::atomic<bool>& cancel) override;
    void captureInto(std::vector<std::string>* into) override { m_capture = into; }
    // While on, the viewer opens the file its user named on the command line,
    // before its window is shown: a wait for the helper shows its progress
    // box all the same, so a hung helper can be cancelled.
    void setOpeningAtStartUp(bool on) { m_openingAtStartUp = on; }

private:
    QWidget* owner() const;
    QWidget* m_parent;
    bool m_openingAtStartUp = false;
    std::vector<std::string>* m_capture = nullptr;
};

class ConsoleMessageSink : public MessageSink {
public:
    void message(const std::string& text, MessageIcon icon) override;
    bool question(const std::string& text) override;
    std::optional<std::string> saveFileName(const SaveFileRequest& request) override;
    void showAnnotation(const std::string& text) override;
};

// "Agl File (*.agl)|*.agl|Text File (*.txt)|*.txt||" as Qt name filters.
QStringList qtNameFilters(const std::string& filter);
