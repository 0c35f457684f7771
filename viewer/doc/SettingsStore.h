// SettingsStore: the viewer's remembered settings, in the user's settings
// file (QSettings, INI format, organisation "Veradyne", application
// "Plotrane"), group "Tavrix/Settings". Three families of values live here:
// window and start-up values (read and written by the frame and views),
// options (read when the document is made, written by the Options dialog)
// and graph defaults (read at every load, written on request, deleted by
// "factory defaults"). Value names are the ones every other part of the
// system uses; all values are integers except "FillValue" and
// "CurrentDirectory". A real number is kept multiplied by 100 (x100 form).
//
// Reads that fail give the caller's default; writes are not checked. A
// settings path that holds something other than a regular file (a device,
// a named pipe) is read, never written (SettingsFile). Owned by the
// application (or a test); user-interface thread only.
#pragma once

#include <QString>

#include <array>
#include <memory>
#include <string>

class QSettings;
class SettingsFile;

class SettingsStore {
public:
    // The user's settings file under the XDG configuration folder.
    SettingsStore();
    // A settings file of the caller's choosing (tests, tools).
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Plain access to "Tavrix/Settings/<name>".
    int readInt(const char* name, int fallback) const;
    void writeInt(const char* name, int value);
    std::string readString(const char* name, const std::string& fallback) const;
    void writeString(const char* name, const std::string& value);
    bool contains(const char* name) const;
    void remove(const char* name);
    // Writes pending changes to disk now (QSettings also does it on its own).
    void sync();
    // The settings file's path (for a path that is not a regular file, the
    // path itself, not the stand-in the values go to).
    QString fileName() const;

    // The x100 form: stored truncated toward zero; read back in single
    // precision. Values beyond the 32-bit range saturate.
    static int toX100(double value);
    static float fromX100(int stored);
    float readX100(const char* name, float fallback) const;
    void writeX100(const char* name, double value);

    // Window and start-up values.
    int appWidth() const { return readInt("AppWidth", 560); }
    int appHeight() const { return readInt("AppHeight", 500); }
    int gridViewHeight() const { return readInt("GridViewHeight", 166); }
    int graphViewHeight() const { return readInt("GraphViewHeight", 250); }
    std::string currentDirectory() const { return readString("CurrentDirectory", ""); }
    // Writes the frame size only when both sides exceed 30 pixels.
    void writeAppSize(int width, int height);
    void writeGridViewHeight(int h) { writeInt("GridViewHeight", h); }
    void writeGraphViewHeight(int h) { writeInt("GraphViewHeight", h); }
    void writeCurrentDirectory(const std::string& dir) { writeString("CurrentDirectory", dir); }

    // The options, default on; the fill value defaults to 0.0.
    struct Options {
        bool showHdfTree = true;
        double fillValue = 0.0;
        bool saveAglAttr = true;
        bool restoreAglAttr = true;
        bool showAglAnnot = true;
        bool displayDimScales = true;
    };
    Options readOptions() const;
    // Writes "FillValue" then the five flags. The fill value is written
    // with 17 significant digits, so that it reads back exactly.
    void writeOptions(const Options& options);
    // The text "FillValue" is written as; parseFillValue reads it the way
    // "%lf" does, giving 0.0 when it does not convert.
    static std::string formatFillValue(double value);
    static double parseFillValue(const std::string& text);

    // The 26 graph-default value names, in the order they are written and
    // read; these and only these go on "Restore factory default settings".
    static const std::array<const char*, 26>& graphDefaultNames();
    void removeGraphDefaults();

private:
    static QString key(const char* name);
    std::unique_ptr<SettingsFile> m_file;
    QSettings* m_settings; // m_file's
};
