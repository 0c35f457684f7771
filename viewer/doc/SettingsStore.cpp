#include "SettingsStore.h"

#include "SettingsFile.h"

#include <QSettings>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
const char* const kGroup = "Tavrix/Settings/";
} // namespace

SettingsStore::SettingsStore() : SettingsStore(SettingsFile::userPath()) {}

SettingsStore::SettingsStore(const QString& iniPath)
    : m_file(std::make_unique<SettingsFile>(iniPath)), m_settings(&m_file->settings()) {
    if (m_file->usesStandIn())
        std::fprintf(stderr,
                     "tavrix: the settings file %s is not a regular file: it is read, never "
                     "written, and changed settings last until the program ends\n",
                     qPrintable(iniPath));
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::key(const char* name) {
    return QLatin1String(kGroup) + QLatin1String(name);
}

int SettingsStore::readInt(const char* name, int fallback) const {
    const QVariant v = m_settings->value(key(name));
    if (!v.isValid()) return fallback;
    // A value edited by hand may be text; anything that is not an integer
    // counts as absent.
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX) return fallback;
    return int(int64_t(n)); // words written as unsigned come back as the same bits
}

void SettingsStore::writeInt(const char* name, int value) {
    m_settings->setValue(key(name), value);
}

std::string SettingsStore::readString(const char* name, const std::string& fallback) const {
    const QVariant v = m_settings->value(key(name));
    if (!v.isValid()) return fallback;
    return v.toString().toStdString();
}

void SettingsStore::writeString(const char* name, const std::string& value) {
    m_settings->setValue(key(name), QString::fromStdString(value));
}

bool SettingsStore::contains(const char* name) const {
    return m_settings->contains(key(name));
}
void SettingsStore::remove(const char* name) {
    m_settings->remove(key(name));
}
void SettingsStore::sync() {
    m_settings->sync();
}
QString SettingsStore::fileName() const {
    return m_file->path();
}

int SettingsStore::toX100(double value) {
    const double scaled = std::trunc(value * 100.0);
    if (!(scaled == scaled)) return 0;
    if (scaled <= double(INT32_MIN)) return INT32_MIN;
    if (scaled >= double(INT32_MAX)) return INT32_MAX;
    return int(scaled);
}

float SettingsStore::fromX100(int stored) {
    return float(stored) * 0.01f;
}

float SettingsStore::readX100(const char* name, float fallback) const {
    if (!contains(name)) return fallback;
    return fromX100(readInt(name, toX100(fallback)));
}

void SettingsStore::writeX100(const char* name, double value) {
    writeInt(name, toX100(value));
}

void SettingsStore::writeAppSize(int width, int height) {
    if (width > 30 && height > 30) {
        writeInt("AppWidth", width);
        writeInt("AppHeight", height);
    }
}

std::string SettingsStore::formatFillValue(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

double SettingsStore::parseFillValue(const std::string& text) {
    double v = 0.0;
    if (std::sscanf(text.c_str(), "%lf", &v) != 1) return 0.0;
    return v;
}

SettingsStore::Options SettingsStore::readOptions() const {
    Options o;
    o.showHdfTree = readInt("ShowHdfTree", 1) != 0;
    o.fillValue = parseFillValue(readString("FillValue", "0.0"));
    o.saveAglAttr = readInt("SaveAglAttr", 1) != 0;
    o.restoreAglAttr = readInt("RestoreAglAttr", 1) != 0;
    o.showAglAnnot = readInt("ShowAglAnnot", 1) != 0;
    o.displayDimScales = readInt("DisplayDimScales", 1) != 0;
    return o;
}

void SettingsStore::writeOptions(const Options& o) {
    writeString("FillValue", formatFillValue(o.fillValue));
    writeInt("SaveAglAttr", o.saveAglAttr ? 1 : 0);
    writeInt("RestoreAglAttr", o.restoreAglAttr ? 1 : 0);
    writeInt("ShowHdfTree", o.showHdfTree ? 1 : 0);
    writeInt("ShowAglAnnot", o.showAglAnnot ? 1 : 0);
    writeInt("DisplayDimScales", o.displayDimScales ? 1 : 0);
}

const std::array<const char*, 26>& SettingsStore::graphDefaultNames() {
    static const std::array<const char*, 26> names = {
        "Precision",       "UseExp",        "GraphType",        "SurfaceSettings",
        "SurfaceDensity",  "SurfaceStyle",  "ImageSettings",    "ImageOrientation",
        "VectorSettings",  "VectorStyle",   "PlaneSettings",    "PlaneStyle",
        "ShowPalette",     "ShowMarker",    "SurfaceElevation", "SurfaceAzimuth",
        "SurfaceDistance", "ZScale",        "PaletteId",        "BackColor",
        "GraphColor",      "AxisBackColor", "AxisColor",        "MarkerColor",
        "LabelColor",      "GridColor"};
    return names;
}

void SettingsStore::removeGraphDefaults() {
    for (const char* name : graphDefaultNames())
        remove(name);
}
