// Over 800 lines: one command, its option table, parser and render loop, read together.
// agltool render: draws arrays headless through the graph control and saves
// the pictures.
//
//   agltool render NAME OUT.png|OUT.svg|OUT.pdf [options]
//   agltool render NAME... --out 'frame%04d.png' | --out-dir DIR [options]
//   agltool render NAME --sweep D[:LO:HI] --out 'frame%04d.png' [options]
//
// The output's extension chooses the picture: .svg and .pdf the frame as
// vectors (lines, polygons and text) at the window's size at 96 pixels per
// inch, the data area of a surface or image map as an image unless
// --vector-data asks for its polygons; any other name the frame as a PNG.
//
// Everything is drawn by one ControlModel, the control without its widget:
// the options are its properties (each option names one, whose row in the
// control's property table gives the option its type and range), --set
// writes any property by name, --properties loads a saved property set and
// --save-properties saves the set drawn. Several inputs, or the planes of a
// sweep, are bound one after the other into the same control, with the same
// GL context.
//
// --graph-type is the viewer's graph kind (1 height plot, 2 image map,
// 3 vector graph, 4 plane view); --type the control's GraphType (0 none,
// 1..3 as the viewer's). Each kind is set up by the viewer's own graph
// presenter, with its built-in settings: the same view, axis style, styles
// and switches, and the vector graph's window turned when it is wider than
// tall. The palette bar shows unless told otherwise; options come after and
// override any of it.
//
// The picture is not interactive: only the level of detail it is saved at
// is filtered and drawn (--level, by default the finest the rules allow),
// never the coarser ones first. --spin is the exception: it measures the
// interactive rotation with the levels and budgets live.
#include "agltoolRender.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CPlotrane2D.h"
#include "ControlModel.h"
#include "GraphPresenter.h"
#include "ReplacingFile.h"
#include "aglArray.h"
#include "aglGraphView.h"
#include "aglMetaFileWriter.h"
#include "aglPng.h"
#include "aglRenderContext.h"
#include "aglTrace.h"
#include "plotrane/PropertyTable.h"

namespace {

using plotrane::PropertyInfo;
using plotrane::Variant;

// Generous bounds for one picture and one vector file on software GL.
constexpr int kPictureTimeoutMs = 120000;

// One end pair of a region of interest: dimension, 0-based low and high.
struct Roi {
    int dim;
    int32_t low, high;
};

// The command line.
struct RenderSettings {
    std::vector<std::string> inputs;
    std::string output;   // one picture, or a pattern with one %d (--out)
    std::string outDir;   // --out-dir: DIR/<input's base name>.png
    bool pattern = false; // output holds a frame number
    int width = 800, height = 600;
    // Property options, in the order given (the last of a property wins).
    std::vector<std::pair<const PropertyInfo*, Variant>> options;
    std::vector<std::pair<std::string, std::string>> sets; // --set Name=Value
    std::string loadFrom, saveTo;                          // --properties, --save-properties
    std::vector<Roi> rois;
    bool plane = false;      // the viewer's plane view
    int level = -1;          // the level of detail saved; -1 the finest the rules allow
    int frames = 1;          // pictures to draw (the last one is kept)
    bool spin = false;       // spin the camera (5 degrees per frame), rendering continuously
    bool vectorData = false; // an SVG's or PDF's data area as polygons, not an image
    bool dataAspect = true;  // --aspect: an image map's cells square (data) or stretched (fill)
    bool trace = false;      // the control's diagnostic trace on stderr
    int antiAlias = 0;       // NumAntiAliasPasses
    struct Sweep {
        int dim = -1;
        bool range = false;
        long long low = 0, high = 0; // in the array's own indices (lower bounds)
    } sweep;

    // The value an option gave a property, if any.
    const Variant* option(int dispid) const {
        const Variant* v = nullptr;
        for (const auto& [p, value] : options)
            if (p->dispid == dispid) v = &value;
        return v;
    }
    int intOption(int dispid, int otherwise) const {
        const Variant* v = option(dispid);
        return v ? v->toInt() : otherwise;
    }
};

// A decimal integer in 64 bits; false for anything else or out of range, so
// a huge value is refused by the caller's range check, never wrapped into it.
bool parseLong(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == 0 && errno == 0;
}

bool parseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return end != text && *end == 0 && errno == 0 && std::isfinite(out);
}

// The options that set a property of the control: each names its property,
// whose row in the property table gives the option its type and range.
struct PropertyOption {
    const char* option;
    const char* property;
};
constexpr PropertyOption kPropertyOptions[] = {
    {"--style", "GraphStyle"},
    {"--palette", "PaletteId"},
    {"--palette-file", "PaletteFileName"},
    {"--elevation", "CamElevation"},
    {"--azimuth", "CamAzimuth"},
    {"--distance", "CamDistance"},
    {"--aa", "NumAntiAliasPasses"},
    {"--rowdim", "RowDim"},
    {"--coldim", "ColDim"},
    {"--background", "BackColor"},
    {"--cache", "CacheBehavior"},
    {"--hidden-line", "HiddenLine"},
    {"--lighting", "Lighting"},
    {"--shading", "Shading"},
    {"--texture", "TextureMode"},
    {"--resolution", "Resolution"},
    {"--type", "GraphType"},
    {"--view", "CamViewType"},
    {"--orientation", "ImageOrientation"},
    {"--filter", "ImageFilter"},
    {"--xcomp", "XComp"},
    {"--ycomp", "YComp"},
    {"--zcomp", "ZComp"},
    {"--wcomp", "WComp"},
};
// Checked when the program starts rather than by the compiler: with the
// undefined-behaviour sanitizer the table's lookups are no constant
// expressions.
[[maybe_unused]] bool everyOptionHasItsProperty() {
    for (const PropertyOption& o : kPropertyOptions)
        if (!plotrane::findAnyProperty(o.property)) return false;
    return true;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// What a value of the property must look like, from its row of the table.
std::string wanted(const PropertyInfo& p) {
    using plotrane::Check;
    using plotrane::PropType;
    switch (p.type) {
    case PropType::Bool:
        return "0 or 1";
    case PropType::Color:
        return "RRGGBB";
    case PropType::String:
    case PropType::Font:
        return "a name";
    default:
        break;
    }
    switch (p.check) {
    case Check::Closed:
    case Check::SilentClosed:
        return number(p.low) + ".." + number(p.high);
    case Check::OpenOpen:
        return "a number in (" + number(p.low) + ", " + number(p.high) + ")";
    case Check::OpenClosed:
        return "a number in (" + number(p.low) + ", " + number(p.high) + "]";
    case Check::AtLeast:
        return number(p.low) + " or more";
    case Check::ElementSize:
        return "1, 2, 4 or 8";
    case Check::Any:
        break;
    }
    return p.isFloating() ? "a number" : "an integer";
}

// What an option's value must look like: the property's rule, narrowed
// where the command needs more than the control does.
std::string optionWanted(const PropertyInfo& p) {
    using namespace plotrane;
    // A camera at or behind its centre of interest shows nothing.
    if (p.dispid == DISPID_CamDistance) return "a distance above 0";
    if (p.dispid == DISPID_XComp || p.dispid == DISPID_YComp || p.dispid == DISPID_ZComp ||
        p.dispid == DISPID_WComp)
        return "a column of the window, or -1 for unused";
    return wanted(p);
}

int renderUsage() {
    std::fprintf(stderr,
                 "usage: agltool render NAME OUT.png|OUT.svg|OUT.pdf [options]\n"
                 "       agltool render NAME... --out 'frame%%04d.png' | --out-dir DIR [options]\n"
                 "       agltool render NAME --sweep D[:LO:HI] --out 'frame%%04d.png' [options]\n"
                 "  --size WxH          picture size, 16..8192 each (800x600)\n"
                 "  --graph-type K      the viewer's graph kind: 1 height plot, 2 image map,\n"
                 "                      3 vector graph, 4 plane view (set up as the viewer sets\n"
                 "                      it up; a kind the window does not suit is refused)\n");
    for (const PropertyOption& o : kPropertyOptions) {
        const PropertyInfo& p = *plotrane::findAnyProperty(o.property);
        const std::string want = optionWanted(p);
        std::fprintf(stderr, "  %-19s %s: %s\n", (std::string(o.option) + " V").c_str(), p.name,
                     want.c_str());
    }
    std::fprintf(
        stderr, "  --set NAME=VALUE    any property of the control by name (repeatable, after the\n"
                "                      options; colours as RRGGBB)\n"
                "  --properties F.ini  a saved property set, loaded before the options\n"
                "  --save-properties F.ini  the property set drawn (of the last input)\n"
                "  --roi D:LO:HI       region of interest of dimension D (repeatable)\n"
                "  --level L           the level of detail drawn, 0..2 (the finest)\n"
                "  --plane             the viewer's plane view (as --graph-type 4)\n"
                "  --out PATTERN       the picture of each input, PATTERN with one %%d (from 0)\n"
                "  --out-dir DIR       the picture of each input as DIR/NAME.png\n"
                "  --sweep D[:LO:HI]   every plane of dimension D (the array's indices), one\n"
                "                      picture each, the palette range held over the sweep\n"
                "  --frames N          pictures to draw, the last one saved (1..100000)\n"
                "  --spin              turn the camera 5 degrees per frame\n"
                "  --trace             the control's diagnostic trace on stderr\n"
                "  --vector-data       in an SVG or PDF, the data area of a surface or image\n"
                "                      map as polygons, not as one image\n"
                "  --aspect data|fill  an image map with square cells, as the viewer draws\n"
                "                      it (data, the default), or stretched over the graph\n"
                "                      area (fill)\n");
    return 2;
}

int bad(const char* option, const char* value, const std::string& want) {
    std::fprintf(stderr, "agltool: bad %s '%s' (want %s)\n", option, value, want.c_str());
    return 2;
}

// RRGGBB as written on the web, as the control's 0x00BBGGRR; empty when the
// text is not one.
std::optional<uint32_t> webColour(const char* text) {
    unsigned rgb = 0;
    char extra = 0;
    if (std::strlen(text) != 6 || std::sscanf(text, "%6x%c", &rgb, &extra) != 1)
        return std::nullopt;
    return uint32_t(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// The option's text as a value of the property's type and range; an empty
// Variant when the text is not one.
Variant propertyValue(const PropertyInfo& p, const char* text) {
    using plotrane::PropType;
    if (p.type == PropType::String) return Variant(text);
    if (p.type == PropType::Color) {
        const std::optional<uint32_t> c = webColour(text);
        return c ? Variant(*c) : Variant();
    }
    double v = 0.0;
    if (p.isFloating()) {
        if (!parseDouble(text, v)) return Variant();
    } else {
        long long n = 0;
        if (!parseLong(text, n) || n < INT32_MIN || n > INT32_MAX) return Variant();
        if (p.type == PropType::Bool && n != 0 && n != 1) return Variant();
        if (p.type == PropType::Short && (n < INT16_MIN || n > INT16_MAX)) return Variant();
        v = double(n);
    }
    const plotrane::CheckResult r = plotrane::checkValue(p, v);
    if (r.messageId != 0 || !r.applies) return Variant();
    switch (p.type) {
    case PropType::Bool:
        return Variant(v != 0.0);
    case PropType::Short:
        return Variant(int16_t(v));
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    default:
        return Variant(int(v));
    }
}

// --set's text as the property's type, unchecked: the control checks the
// range and refuses with its own message. A number that is not one goes
// as text, which the control refuses as a type mismatch.
Variant setValue(const PropertyInfo& p, const std::string& text) {
    using plotrane::PropType;
    if (p.type == PropType::String || p.type == PropType::Font) return Variant(text);
    if (p.type == PropType::Color) {
        if (const std::optional<uint32_t> c = webColour(text.c_str())) return Variant(*c);
    }
    if (p.type == PropType::Bool) {
        if (text == "true") return Variant(true);
        if (text == "false") return Variant(false);
    }
    double v = 0.0;
    if (!parseDouble(text.c_str(), v)) return Variant(text);
    if (!p.isFloating() && (v != std::floor(v) || std::fabs(v) > 2147483647.0))
        return Variant(text);
    switch (p.type) {
    case PropType::Bool:
        return Variant(v != 0.0);
    case PropType::Short:
        // Out of a short's range: the control's overflow error.
        return std::fabs(v) <= 32767.0 ? Variant(int16_t(v)) : Variant(int(v));
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    case PropType::Color:
        return Variant(uint32_t(v));
    default:
        return Variant(int(v));
    }
}

// D[:LO:HI]
bool parseSweep(const std::string& text, RenderSettings::Sweep& s) {
    long long d = 0;
    const size_t a = text.find(':');
    if (!parseLong(text.substr(0, a).c_str(), d) || d < 0 || d > plotrane::kMaxDimIndex)
        return false;
    s.dim = int(d);
    if (a == std::string::npos) return true;
    const size_t b = text.find(':', a + 1);
    if (b == std::string::npos || !parseLong(text.substr(a + 1, b - a - 1).c_str(), s.low) ||
        !parseLong(text.substr(b + 1).c_str(), s.high) || s.high < s.low || s.low < INT32_MIN ||
        s.high > INT32_MAX)
        return false;
    s.range = true;
    return true;
}

// An output pattern has exactly one integer conversion (%d, %4d, %04d) and
// no other %, besides %% for a percent sign.
bool isFramePattern(const std::string& text, bool& hasNumber) {
    hasNumber = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && j - i < 4)
            ++j;
        if (j >= text.size() || text[j] != 'd' || hasNumber) return false;
        hasNumber = true;
        i = j;
    }
    return true;
}

std::string frameName(const std::string& pattern, int k) {
    char name[4096];
    std::snprintf(name, sizeof name, pattern.c_str(), k);
    return name;
}

// Returns 0 when the settings are complete, else the exit status.
int parseRenderOptions(int argc, char** argv, RenderSettings& s) {
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt.rfind("--", 0) != 0) {
            positional.push_back(opt);
            continue;
        }
        if (opt == "--spin") {
            s.spin = true;
            continue;
        }
        if (opt == "--plane") {
            s.plane = true;
            continue;
        }
        if (opt == "--vector-data") {
            s.vectorData = true;
            continue;
        }
        if (opt == "--trace") {
            s.trace = true;
            continue;
        }
        if (i + 1 >= argc) return renderUsage();
        const char* v = argv[++i];
        if (opt == "--aspect") {
            const std::string a = v;
            if (a != "data" && a != "fill") return bad("--aspect", v, "data or fill");
            s.dataAspect = a == "data";
            continue;
        }
        const PropertyOption* po = nullptr;
        for (const PropertyOption& o : kPropertyOptions)
            if (opt == o.option) po = &o;
        if (po) {
            const PropertyInfo& p = *plotrane::findAnyProperty(po->property);
            const Variant value = propertyValue(p, v);
            const bool badDistance =
                p.dispid == plotrane::DISPID_CamDistance && !(value.toDouble() > 0.0);
            const bool component =
                p.dispid >= plotrane::DISPID_XComp && p.dispid <= plotrane::DISPID_WComp;
            const bool badComponent = component && !value.isEmpty() && value.toInt() < -1;
            if (value.isEmpty() || badDistance || badComponent)
                return bad(opt.c_str(), v, optionWanted(p));
            if (p.dispid == plotrane::DISPID_NumAntiAliasPasses) s.antiAlias = value.toInt();
            s.options.emplace_back(&p, value);
            continue;
        }
        long long n = 0;
        if (opt == "--size") {
            int w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(v, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 ||
                h > 8192)
                return bad(opt.c_str(), v, "WxH, 16..8192 each");
            s.width = w;
            s.height = h;
        } else if (opt == "--graph-type") {
            if (!parseLong(v, n) || n < 1 || n > 4) return bad(opt.c_str(), v, "1..4");
            s.plane = n == 4;
            s.options.emplace_back(plotrane::anyPropertyInfo(plotrane::DISPID_GraphType),
                                   Variant(int16_t(n == 4 ? 1 : n)));
        } else if (opt == "--roi") {
            long long d = 0, lo = 0, hi = 0;
            const std::string text = v;
            const size_t a = text.find(':');
            const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
            if (b == std::string::npos || !parseLong(text.substr(0, a).c_str(), d) ||
                !parseLong(text.substr(a + 1, b - a - 1).c_str(), lo) ||
                !parseLong(text.substr(b + 1).c_str(), hi) || d < 0 || d > plotrane::kMaxDimIndex ||
                lo < 0 || hi < lo || hi > INT32_MAX)
                return bad(opt.c_str(), v, "D:LO:HI, 0-based, LO <= HI");
            s.rois.push_back({int(d), int32_t(lo), int32_t(hi)});
        } else if (opt == "--level") {
            if (!parseLong(v, n) || n < 0 || n > 2) return bad(opt.c_str(), v, "0..2");
            s.level = int(n);
        } else if (opt == "--frames") {
            if (!parseLong(v, n) || n < 1 || n > 100000) return bad(opt.c_str(), v, "1..100000");
            s.frames = int(n);
        } else if (opt == "--set") {
            const std::string text = v;
            const size_t eq = text.find('=');
            if (eq == std::string::npos || eq == 0) return bad(opt.c_str(), v, "NAME=VALUE");
            s.sets.emplace_back(text.substr(0, eq), text.substr(eq + 1));
        } else if (opt == "--properties") {
            s.loadFrom = v;
        } else if (opt == "--save-properties") {
            s.saveTo = v;
        } else if (opt == "--out") {
            if (!isFramePattern(v, s.pattern))
                return bad(opt.c_str(), v, "a file name with at most one %d");
            s.output = v;
        } else if (opt == "--out-dir") {
            s.outDir = v;
        } else if (opt == "--sweep") {
            if (!parseSweep(v, s.sweep)) return bad(opt.c_str(), v, "D or D:LO:HI, LO <= HI");
        } else {
            return renderUsage();
        }
    }
    const bool named = !s.output.empty() || !s.outDir.empty();
    if (!s.output.empty() && !s.outDir.empty()) {
        std::fprintf(stderr, "agltool: --out and --out-dir cannot go together\n");
        return 2;
    }
    if (named) {
        s.inputs = positional;
    } else if (positional.size() == 2) {
        s.inputs = {positional[0]};
        s.output = positional[1];
        s.pattern = false;
    }
    if (s.inputs.empty() || (!named && positional.size() != 2)) return renderUsage();
    if (s.sweep.dim >= 0 && (s.inputs.size() != 1 || s.output.empty() || !s.pattern)) {
        std::fprintf(stderr, "agltool: --sweep draws one input into --out with a %%d\n");
        return 2;
    }
    if (s.inputs.size() > 1 && !s.pattern && s.outDir.empty()) {
        std::fprintf(stderr, "agltool: several inputs need --out with a %%d, or --out-dir\n");
        return 2;
    }
    const int type = s.intOption(plotrane::DISPID_GraphType, 1);
    if (s.plane && type != 1) {
        std::fprintf(stderr, "agltool: --plane is a height plot view; it takes no --type %d\n",
                     type);
        return 2;
    }
    return 0;
}

// --- Drawing --------------------------------------------------------------------

// Runs the host thread's events for about a millisecond (frames and pass
// reports arrive as queued calls).
void pumpEvents() {
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

void say(const std::string& line) {
    std::fprintf(stderr, "agltool: %s\n", line.c_str());
}

// Writes one property; false (with the message) when the control refused it.
bool write(ControlModel& model, const PropertyInfo& p, const Variant& v) {
    const plotrane::DispatchStatus st = model.setProperty(p, v);
    if (st.ok()) return true;
    std::fprintf(stderr, "agltool: %s: error %d: %s\n", p.name, st.code, st.message.c_str());
    return false;
}

bool write(ControlModel& model, int dispid, const Variant& v) {
    return write(model, *plotrane::anyPropertyInfo(dispid), v);
}

class Renderer {
public:
    explicit Renderer(const RenderSettings& s) : m_s(s), m_model(s.width, s.height, 0, 0, false) {
        // Only the level saved is filtered and drawn; a spin is interactive.
        if (!s.spin) m_model.setFinalPictureLevel(s.level < 0 ? 2 : s.level);
        // The trace starts with the first input: the empty control the model
        // starts with may show its own level 0 before it knows the final
        // level, and that is no level of an input.
        if (s.trace) aglSetTraceStream(stderr);
        m_model.setPictureVectorData(s.vectorData);
        // The control takes no NumAntiAliasPasses; the engine still draws them.
        m_model.engine().setNumAntiAliasPasses(s.antiAlias);
    }

    // Binds the input and writes every setting; the exit status.
    int show(const RenderInput& in);
    // Waits for the finished picture and takes it; false with a message.
    bool picture(QImage& image);
    // The spin or the repeated frames of --frames, after picture().
    bool measureFrames(QImage& image);
    // The same picture as vectors: the file's bytes.
    bool vectorPicture(bool pdf, QByteArray& bytes);
    // Holds the palette range for every picture from now on.
    void holdPaletteRange(double low, double high) {
        write(m_model, plotrane::DISPID_PaletteAutoAdjust, Variant(false));
        m_model.setPaletteRange(low, high);
    }
    bool saveProperties(const std::string& file);
    ControlModel& model() { return m_model; }

    double secondsPerFrame = 0.0;

private:
    int showHeld(const RenderInput& in);
    int applyKind(const std::string& name);
    bool waitForLevels();

    const RenderSettings& m_s;
    ControlModel m_model;
};

// The viewer's graph presenter sets the kind up, as the viewer's graph pane
// does for a user who never changed a setting; a picture shows the palette
// bar and no cursor (it has nobody to move it). The components of a vector
// graph are written first: they decide its view.
int Renderer::applyKind(const std::string& name) {
    using namespace plotrane;
    for (int c = 0; c < 4; ++c)
        if (const Variant* v = m_s.option(DISPID_XComp + c)) write(m_model, DISPID_XComp + c, *v);
    const int type = m_s.intOption(DISPID_GraphType, 1);
    const int kind = m_s.plane ? GraphPresenter::PlaneView : type;
    CPlotrane2D control(&m_model);
    GraphPresenter::Plane plane{m_model.GetProperty(DISPID_NumRows).toInt(),
                                m_model.GetProperty(DISPID_NumColumns).toInt(),
                                {}};
    plane.turn = [this, &control] {
        const Variant rowDim = m_model.GetProperty(DISPID_RowDim);
        write(m_model, DISPID_RowDim, m_model.GetProperty(DISPID_ColDim));
        write(m_model, DISPID_ColDim, rowDim);
        control.Update();
    };
    if (kind != GraphPresenter::NoGraph &&
        !GraphPresenter::suits(kind, plane.rows, plane.columns)) {
        say(name + ": a window of " + std::to_string(plane.rows) + " x " +
            std::to_string(plane.columns) + " cannot be shown as " +
            (kind == GraphPresenter::PlaneView
                 ? "a plane view (it needs at most 10 rows or columns)"
                 : "this graph type (it needs at least 2 rows and 2 columns)"));
        return 2;
    }
    GraphPresenter presenter;
    presenter.setPaletteShown(true);
    presenter.setSquareCells(m_s.dataAspect);
    // Nothing is taken back from the control: block 0, which no kind uses,
    // stands for what it showed before.
    presenter.select(control, kind, GraphPresenter::NoGraph, plane);
    write(m_model, DISPID_ShowCursor, Variant(false));
    return 0;
}

int Renderer::show(const RenderInput& in) {
    // Every setting first, then one picture: frames stay held until the
    // picture's level is there (picture() lets the one frame go).
    m_model.holdFrames(true);
    return showHeld(in);
}

int Renderer::showHeld(const RenderInput& in) {
    using namespace plotrane;
    ControlModel& m = m_model;
    if (!write(m, DISPID_FileName, Variant(in.segment)) ||
        m.GetProperty(DISPID_FileName).toString() != in.segment) {
        say(in.name + ": cannot be opened as an array of 2 or more elements");
        return 2;
    }
    const aglArray& a = m.engine().array();
    const int rowDim = m_s.intOption(DISPID_RowDim, in.rowDim);
    const int colDim = m_s.intOption(DISPID_ColDim, in.colDim);
    for (int d : {rowDim, colDim})
        if (d >= a.dimCount()) {
            say(in.name + ": dimension " + std::to_string(d) + " out of range 0.." +
                std::to_string(a.dimCount() - 1));
            return 2;
        }
    if (rowDim >= 0) write(m, DISPID_RowDim, Variant(rowDim));
    if (colDim >= 0) write(m, DISPID_ColDim, Variant(colDim));
    for (const Roi& r : m_s.rois) {
        if (r.dim >= a.dimCount() || r.high >= a.extent(r.dim)) {
            say(in.name + ": --roi " + std::to_string(r.dim) + ":" + std::to_string(r.low) + ":" +
                std::to_string(r.high) + " outside the array");
            return 2;
        }
        m.Invoke(DISPID_SetRoiLb, {Variant(int16_t(r.dim)), Variant(int(r.low))});
        m.Invoke(DISPID_SetRoiUb, {Variant(int16_t(r.dim)), Variant(int(r.high))});
    }
    const int columns = m.GetProperty(DISPID_NumColumns).toInt();
    if (m_s.intOption(DISPID_GraphType, 1) == 3) {
        bool any = false;
        for (int c = 0; c < 4; ++c) {
            const int k = m_s.intOption(DISPID_XComp + c, c);
            // A window wider than tall is turned: its short side holds them.
            any = any || (k >= 0 && k < std::min(columns, m.GetProperty(DISPID_NumRows).toInt()));
        }
        if (!any) {
            say(in.name + ": no vector component is a column of the window");
            return 2;
        }
    }
    if (const int rc = applyKind(in.name)) return rc;
    if (!in.palette.empty() && !m_s.option(DISPID_PaletteId) &&
        !m_s.option(DISPID_PaletteFileName)) {
        write(m, DISPID_PaletteFileName, Variant(in.palette));
        write(m, DISPID_PaletteId, Variant(int16_t(0)));
    }
    if (!m_s.loadFrom.empty()) {
        QSettings file(QString::fromStdString(m_s.loadFrom), QSettings::IniFormat);
        if (file.status() != QSettings::NoError || !QFileInfo::exists(file.fileName())) {
            say(m_s.loadFrom + ": cannot read the property set");
            return 2;
        }
        QVariantMap loaded;
        for (const QString& key : file.childKeys())
            loaded[key] = file.value(key);
        for (const QString& group : file.childGroups()) {
            file.beginGroup(group);
            QVariantMap sub;
            for (const QString& key : file.childKeys())
                sub[key] = file.value(key);
            file.endGroup();
            loaded[group] = sub;
        }
        // The input named on the command line is the one drawn.
        loaded.remove("FileName");
        const DispatchStatus st = m.loadProperties(loaded);
        if (!st.ok()) {
            std::fprintf(stderr, "agltool: %s: error %d: %s\n", m_s.loadFrom.c_str(), st.code,
                         st.message.c_str());
            return 2;
        }
    }
    for (const auto& [p, v] : m_s.options) {
        switch (p->dispid) {
        case DISPID_RowDim:
        case DISPID_ColDim:
        case DISPID_GraphType:
        case DISPID_Lighting: // applied with the kind
        case DISPID_NumAntiAliasPasses:
            continue;
        case DISPID_Resolution:
            if (!write(m, DISPID_ResolutionAutoAdjust, Variant(false))) return 2;
            break;
        case DISPID_PaletteFileName:
            if (!write(m, *p, v)) return 2;
            if (!m_s.option(DISPID_PaletteId)) write(m, DISPID_PaletteId, Variant(int16_t(0)));
            continue;
        default:
            break;
        }
        if (!write(m, *p, v)) return 2;
    }
    for (const auto& [name, text] : m_s.sets) {
        const PropertyInfo* p = findAnyProperty(name.c_str());
        if (!p) {
            say(name + ": no such property");
            return 2;
        }
        if (!write(m, *p, setValue(*p, text))) return 2;
    }
    m.Invoke(DISPID_Update, {});
    return 0;
}

// The picture is settled when the level it is kept at is shown, every pass
// reported and every frame counted.
bool Renderer::waitForLevels() {
    aglGraphView& view = m_model.engine();
    aglRenderContext& context = view.Context();
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPictureTimeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        if (context.StartFailed()) {
            say("no OpenGL context: " + context.StartError());
            return false;
        }
        pumpEvents();
        if (!m_model.waitForPasses(0)) continue;
        m_model.tick();
        const int L = view.currentLevel();
        if (m_s.level >= 0 && L > m_s.level) return true; // a spin's levels stepped past it
        if (view.levelsSettled() || (m_s.level >= 0 && L == m_s.level)) return true;
    }
    return false;
}

bool Renderer::picture(QImage& image) {
    aglGraphView& view = m_model.engine();
    aglRenderContext& context = view.Context();
    // Nothing is drawn until the picture has settled: a frame of a level
    // still on its way (or of its last settings, the axes' range and grid
    // lines, still coming) would be drawn only to be drawn again, and on a
    // software GL each frame of a large surface is most of the time taken.
    m_model.holdFrames(true);
    const bool settled = waitForLevels();
    if (!settled) {
        m_model.holdFrames(false);
        say(m_model.GetProperty(plotrane::DISPID_FileName).toString() +
            ": the array could not be resampled");
        return false;
    }
    if (view.graphType() != 0 && view.currentLevel() < 0) {
        m_model.holdFrames(false);
        say("the array could not be resampled");
        return false;
    }
    // One frame of the settled control (with anti-aliasing, until its
    // passes are complete), taken as the frame sink hands it to the model:
    // asked for while held, drawn once on the release.
    context.WaitUntilIdle();
    const uint64_t before = context.PublishedFrames();
    context.Redraw(true);
    m_model.holdFrames(false);
    if (!context.WaitForFrame(before, kPictureTimeoutMs)) return false;
    if (context.AntiAliasPasses() > 0) {
        for (int k = 0; k < 600 && !context.IsAccumulationComplete(); ++k)
            context.WaitForFrame(context.PublishedFrames(), 100);
    }
    context.WaitUntilIdle();
    const qint64 latest = context.LatestFrame().cacheKey();
    for (int k = 0; k < 10000 && m_model.currentFrame().cacheKey() != latest; ++k)
        pumpEvents();
    image = m_model.currentFrame();
    return !image.isNull();
}

bool Renderer::measureFrames(QImage& image) {
    if (m_s.frames <= 1) return true;
    aglGraphView& view = m_model.engine();
    aglRenderContext& context = view.Context();
    view.takeLongestRenderWait();
    if (m_s.spin) view.ToggleSpin();
    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k < m_s.frames; ++k) {
        if (m_s.spin) {
            // Continuous frames: the tick reads each one's time and adapts.
            if (!context.WaitForFrame(context.PublishedFrames(), kPictureTimeoutMs)) return false;
            m_model.tick();
        } else if (!picture(image)) {
            return false;
        }
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    secondsPerFrame = elapsed / (m_s.frames - 1);
    if (m_s.spin) {
        view.ToggleSpin();
        context.WaitUntilIdle();
        image = context.LatestFrame();
    }
    return !image.isNull();
}

bool Renderer::vectorPicture(bool pdf, QByteArray& bytes) {
    // The window's pixels at 96 per inch, in hundredths of a millimetre.
    const int width = int(m_s.width * 2540.0 / 96.0), height = int(m_s.height * 2540.0 / 96.0);
    bool accepted = false;
    const plotrane::DispatchStatus st = m_model.createMetaFile(width, height, pdf, &accepted);
    if (!st.ok() || !accepted) {
        say("the vector picture could not be started" +
            (st.ok() ? std::string() : ": " + st.message));
        return false;
    }
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPictureTimeoutMs);
    int status = m_model.metaFileStatus();
    while (status != aglMetaFileWriter::kComplete && status != aglMetaFileWriter::kFailed &&
           std::chrono::steady_clock::now() < until) {
        pumpEvents();
        status = m_model.metaFileStatus();
    }
    const std::string file = m_model.metaFile();
    if (status != aglMetaFileWriter::kComplete || file.empty()) {
        say("the vector picture could not be written");
        return false;
    }
    QFile in(QString::fromStdString(file));
    const bool read = in.open(QIODevice::ReadOnly);
    if (read) bytes = in.readAll();
    in.close();
    in.remove();
    if (!read || bytes.isEmpty()) {
        say(file + ": the vector picture could not be read");
        return false;
    }
    return true;
}

bool Renderer::saveProperties(const std::string& file) {
    QFile::remove(QString::fromStdString(file));
    QSettings out(QString::fromStdString(file), QSettings::IniFormat);
    m_model.saveProperties(out);
    out.sync();
    if (out.status() != QSettings::NoError) {
        say(file + ": cannot write the property set");
        return false;
    }
    return true;
}

// Encodes and writes one picture; the exit status.
int savePicture(const std::string& output, const QImage& image, const QByteArray& vector) {
    // The PNG by the engine's own encoder at zlib level 1: a few per cent
    // larger than Qt's writer makes, in a quarter of its time (the encoder
    // costs about as much as a large surface's frame).
    // Encoded in memory, then written through a file that replaces the
    // target only when complete: every write and the close are checked, and
    // a pipe or device is refused rather than blocked on.
    const QByteArray bytes = vector.isEmpty() ? aglEncodePng(image, 1) : vector;
    ReplacingFile file;
    if (bytes.isEmpty() || !file.open(output) ||
        !file.write(bytes.constData(), size_t(bytes.size())) || !file.commit()) {
        std::fprintf(stderr, "agltool: %s: cannot write the picture%s%s\n", output.c_str(),
                     file.error().empty() ? "" : ": ", file.error().c_str());
        return 2;
    }
    return 0;
}

// The range of the finite values of every swept plane (the window of the
// other dimensions as the control shows it); false when there is none.
bool sweepRange(ControlModel& model, const std::string& segment, int dim, int32_t low, int32_t high,
                double& lo, double& hi) {
    using namespace plotrane;
    aglArray a;
    if (!a.open(segment, true)) return false;
    a.setRowDim(model.GetProperty(DISPID_RowDim).toInt());
    a.setColDim(model.GetProperty(DISPID_ColDim).toInt());
    for (int d = 0; d < a.dimCount(); ++d) {
        const Variant dv = Variant(int16_t(d));
        a.setRoi(d, model.Invoke(DISPID_GetRoiLb, {dv}).toInt(),
                 model.Invoke(DISPID_GetRoiUb, {dv}).toInt());
    }
    int32_t c0 = 0, r0 = 0, nc = 0, nr = 0;
    lo = INFINITY;
    hi = -INFINITY;
    std::vector<double> row;
    for (int32_t k = low; k <= high; ++k) {
        a.setRoi(dim, k, k);
        a.planeRoi(c0, r0, nc, nr);
        row.resize(size_t(std::max(0, nc)));
        for (int32_t r = r0; r < r0 + nr; ++r) {
            a.readRow(r, c0, nc, row.data());
            for (double v : row)
                if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        }
    }
    return lo <= hi;
}

std::string baseName(const std::string& name) {
    return QFileInfo(QString::fromStdString(name)).completeBaseName().toStdString();
}

} // namespace

int renderCommand(int argc, char** argv, const RenderInputOpener& open) {
    assert(everyOptionHasItsProperty() && "an option names no property of the table");
    RenderSettings s;
    if (const int rc = parseRenderOptions(argc, argv, s)) return rc;
    std::vector<RenderInput> inputs(s.inputs.size());
    for (size_t k = 0; k < s.inputs.size(); ++k) {
        int status = 2;
        if (!open(s.inputs[k], inputs[k], status)) return status;
    }

    // Fonts (axes, palette labels) need a QGuiApplication; the offscreen
    // platform needs no display. A private runtime folder keeps Qt quiet.
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR") && runtime.isValid())
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qtArgc = 1;
    static char qtArg0[] = "agltool";
    static char* qtArgv[] = {qtArg0, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    // Each picture: the input's settings, the wait, the file. A picture is
    // encoded and written on a thread of its own while the next one is drawn
    // (the PNG encoder costs about as much as a frame); one at a time, in
    // order, and the first failure ends the command.
    Renderer renderer(s);
    std::future<int> writing;
    const auto written = [&] { return writing.valid() ? writing.get() : 0; };
    const auto draw = [&](const std::string& output) {
        const QString lower = QString::fromStdString(output).toLower();
        // Any other name (a device, a pipe) gets the PNG.
        const bool svg = lower.endsWith(".svg"), pdf = lower.endsWith(".pdf");
        QImage image;
        QByteArray vector;
        if (!renderer.picture(image)) {
            say(output + ": no picture was drawn");
            return 2;
        }
        if (!renderer.measureFrames(image)) return 2;
        if ((svg || pdf) && !renderer.vectorPicture(pdf, vector)) return 2;
        if (const int rc = written()) return rc;
        writing = std::async(std::launch::async, [output, image, vector] {
            return savePicture(output, image, vector);
        });
        return 0;
    };

    int frame = 0;
    if (s.sweep.dim >= 0) {
        const RenderInput& in = inputs[0];
        if (const int rc = renderer.show(in)) return rc;
        ControlModel& m = renderer.model();
        const aglArray& a = m.engine().array();
        const int d = s.sweep.dim;
        if (a.dimCount() < 3 || d >= a.dimCount() ||
            d == m.GetProperty(plotrane::DISPID_RowDim).toInt() ||
            d == m.GetProperty(plotrane::DISPID_ColDim).toInt()) {
            say(in.name + ": --sweep needs a dimension beside the plane's two, of an array of "
                          "3 or more");
            return 2;
        }
        const long long lb = a.lowerBound(d), extent = a.extent(d);
        const long long low = s.sweep.range ? s.sweep.low : lb;
        const long long high = s.sweep.range ? s.sweep.high : lb + extent - 1;
        if (low < lb || high >= lb + extent) {
            say(in.name + ": --sweep " + std::to_string(d) + ":" + std::to_string(low) + ":" +
                std::to_string(high) + " outside " + std::to_string(lb) + ".." +
                std::to_string(lb + extent - 1));
            return 2;
        }
        double lo = 0, hi = 0;
        if (sweepRange(m, in.segment, d, int32_t(low - lb), int32_t(high - lb), lo, hi))
            renderer.holdPaletteRange(lo, hi);
        for (long long k = low; k <= high; ++k) {
            const plotrane::Variant dv = plotrane::Variant(int16_t(d));
            // The high end first: the window moves up and never turns inside out.
            m.Invoke(plotrane::DISPID_SetRoiUb, {dv, plotrane::Variant(int(k - lb))});
            m.Invoke(plotrane::DISPID_SetRoiLb, {dv, plotrane::Variant(int(k - lb))});
            m.Invoke(plotrane::DISPID_Update, {});
            if (const int rc = draw(frameName(s.output, frame++))) return rc;
        }
    } else {
        for (const RenderInput& in : inputs) {
            if (const int rc = renderer.show(in)) return rc;
            const std::string output = !s.outDir.empty()
                                           ? s.outDir + "/" + baseName(in.name) + ".png"
                                       : s.pattern ? frameName(s.output, frame)
                                                   : s.output;
            ++frame;
            if (const int rc = draw(output)) return rc;
        }
    }
    // Every picture is drawn: the GL context and the filter stop while the
    // last picture is still being encoded rather than after it (what is read
    // below is the control's properties and the view's figures, no GL).
    renderer.model().engine().Detach();
    if (const int rc = written()) return rc;
    if (!s.saveTo.empty() && !renderer.saveProperties(s.saveTo)) return 2;
    if (s.frames > 1) {
        aglGraphView& view = renderer.model().engine();
        const int level = view.currentLevel();
        std::printf("%d frames, %.2f frames per second, level %d, resolution %d, budget %lld, "
                    "longest render pause %.1f ms\n",
                    s.frames, renderer.secondsPerFrame > 0 ? 1.0 / renderer.secondsPerFrame : 0.0,
                    level, view.currentResolution(),
                    (long long)view.level(std::max(0, level)).budget,
                    view.takeLongestRenderWait() * 1000.0);
    }
    return 0;
}
