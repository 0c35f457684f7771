// TavrixApp: the viewer's start-up and its command line.
//
// Start-up runs in a fixed order: the automation server's module and
// registration, the settings store, the document and main frame, the command
// line, the automation class objects, and then, unless started for
// automation, the file named on the command line (or an empty document) and
// the main window. Started for automation the window stays hidden and no
// document is opened until a client asks.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

class CArrayDoc;
class CMainFrame;
class MessageSink;
class SettingsStore;

// What the command line asks for.
struct CommandLineInfo {
    bool automation = false; // "-Automation", "/Automation" or "--automation"
    bool embedding = false;  // "-Embedding", "/Embedding" or "--embedding"
    QString file;            // the file or segment name to open
    QString screenshot;      // --screenshot OUT.png: save a picture of the window and exit
    QString print;           // --print OUT.pdf: print the page to a PDF file and exit
    int graphType = -1; // --graph-type 1..4: the graph kind of the picture (-1: the document's)
    int palette = -1;   // --palette 0..6: the palette of the picture (-1: as loaded)
    QSize size;         // --size WxH: the window's size for the picture (invalid: as restored)
    QString busName;    // --bus-name NAME: the session-bus name to serve automation under
    QString owner;      // --owner UNIQUE: the only bus connection that may create the object
    QString error;      // not empty when the command line is unusable
};
CommandLineInfo parseCommandLine(const QStringList& arguments);

// The hooks through which the automation server joins start-up. The default
// does nothing; the server fills them in.
class TavrixApp;
class AutomationHooks {
public:
    virtual ~AutomationHooks() = default;
    virtual void initModule() {}
    virtual void registerServer() {}
    // Called once the document and frame exist. False stops start-up (the
    // server could not be offered as the command line asked).
    virtual bool registerClassObjects(TavrixApp&) { return true; }
};

class TavrixApp {
public:
    explicit TavrixApp(std::unique_ptr<AutomationHooks> hooks = nullptr);
    ~TavrixApp();

    // Runs start-up. False when the program should end (the file named on
    // the command line could not be opened, or the command line is bad).
    bool initInstance(const QStringList& arguments);

    const CommandLineInfo& commandLine() const { return m_info; }
    CMainFrame* mainFrame() const { return m_frame.get(); }
    CArrayDoc* document() const { return m_document.get(); }
    SettingsStore* settings() const { return m_settings.get(); }

    // Waits until the graph shows its finest level of detail (at most
    // timeoutMs) and the main window has painted, then saves a picture of
    // it. False with a message on stderr when it cannot be saved.
    bool saveScreenshot(const QString& path, int timeoutMs = 60000);

    // Prints the page to the PDF file path as File > Print would: waits for
    // the graph's finest level (at most timeoutMs), then for the control's
    // picture (at most pictureTimeoutMs; without it the page has title and
    // footer only, and stderr says so). False with a message on stderr when
    // the file cannot be written; a path that holds something other than a
    // regular file (a pipe, a device, a folder) is refused before any wait.
    bool printToFile(const QString& path, int timeoutMs = 60000, int pictureTimeoutMs = 60000);

    // Shows the frame and runs events until the graph shows its finest
    // level of detail (at most timeoutMs) and the frame has painted.
    void waitForGraph(int timeoutMs);

private:
    std::unique_ptr<AutomationHooks> m_hooks;
    CommandLineInfo m_info;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<MessageSink> m_sink;
    std::unique_ptr<CArrayDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
};

// The program: creates the application object and runs start-up and the
// event loop, with the automation hooks hooks() makes (none when empty).
// Returns the process's exit status.
int runTavrix(int argc, char** argv, std::unique_ptr<AutomationHooks> (*hooks)() = nullptr);
