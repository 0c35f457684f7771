// MessageSink: how the document talks to the user. Messages and questions,
// the save-file dialog, the annotation box and the wait cursor all go
// through this one interface, so document code runs without any window: the
// application shows real boxes, tests answer and record. Every box is
// captioned kMessageCaption. User-interface thread only.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kMessageCaption = "Veradyne Tavrix";

enum class MessageIcon { Information, Exclamation, Warning, Error };

// What a save-file dialog is opened with.
struct SaveFileRequest {
    std::string initialName;      // path proposed in the name field
    std::string defaultExtension; // "agl" or "txt", added when the user types none
    // Filter list in the form "Agl File (*.agl)|*.agl|Text File (*.txt)|*.txt||":
    // pairs of description and pattern, each followed by "|", closed by "||".
    std::string filter;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message box with an OK button.
    virtual void message(const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question box; true for Yes.
    virtual bool question(const std::string& text) = 0;
    // A save-file dialog (read-only check box hidden); the chosen path, or
    // none when cancelled.
    virtual std::optional<std::string> saveFileName(const SaveFileRequest& request) = 0;
    // The annotation dialog, modal, over the graph view.
    virtual void showAnnotation(const std::string& text) = 0;
    // Shows or takes back the wait cursor; calls nest.
    virtual void setBusy(bool busy) { (void)busy; }
    // Runs work, which waits for another program (the HDF helper), and
    // returns when work has returned. The application runs it on a worker
    // thread and keeps handling events meanwhile, user input excepted:
    // after a moment a progress box says what (its text) and offers Cancel,
    // which sets cancel; work then ends soon. The default runs work on the
    // calling thread (nothing to keep alive, nobody to cancel).
    virtual void waitForHelper(const std::string& what, const std::function<void()>& work,
                               std::atomic<bool>& cancel) {
        (void)what;
        (void)cancel;
        work();
    }
    // While `into` is set, messages are recorded there instead of shown,
    // questions are answered No and no dialog opens: for calls from another
    // program, where a modal box would wait for a user nobody asked (and run
    // that program's next call inside its event loop). nullptr shows them
    // again. A sink that never shows anything may ignore it.
    virtual void captureInto(std::vector<std::string>* into) { (void)into; }
};

// Records the sink's messages into a vector for the life of the object.
class MessageCapture {
public:
    MessageCapture(MessageSink& sink, std::vector<std::string>& into) : m_sink(sink) {
        m_sink.captureInto(&into);
    }
    ~MessageCapture() { m_sink.captureInto(nullptr); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

private:
    MessageSink& m_sink;
};

// Shows the wait cursor for the life of the object.
class BusyCursor {
public:
    explicit BusyCursor(MessageSink& sink) : m_sink(sink) { m_sink.setBusy(true); }
    ~BusyCursor() { m_sink.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    MessageSink& m_sink;
};
