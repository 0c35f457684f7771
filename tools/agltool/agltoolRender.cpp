// agltool render: draws an array headless through the real engine and saves
// the picture.
//
//   agltool render NAME OUT.png|OUT.svg|OUT.pdf [--size WxH] [--style 0..4] [--palette ID]
//                  [--palette-file NAME] [--elevation DEG] [--azimuth DEG]
//                  [--distance D] [--aa N] [--rowdim D] [--coldim D]
//                  [--roi D:LO:HI]... [--background RRGGBB] [--cache 0..2]
//                  [--hidden-line 0|1] [--lighting 0|1] [--shading 0|1] [--texture 0..2]
//                  [--resolution N] [--level 0..2] [--type 0..3] [--view 0..3] [--plane]
//                  [--orientation 0..3] [--filter 0|1]
//                  [--xcomp N] [--ycomp N] [--zcomp N] [--wcomp N]
//                  [--frames N] [--spin] [--trace] [--vector-data]
//
// The output's extension chooses the picture: .svg and .pdf the frame as
// vectors (lines, polygons and text) at the window's size at 96 pixels per
// inch, the data area of a surface or image map as an image unless
// --vector-data asks for its polygons; any other name the frame as a PNG.
//
// --type is GraphType (0 none, 1 height plot, 2 image map, 3 vector graph);
// --view is CamViewType, by default the view the viewer gives the graph
// kind; --plane is the viewer's plane view (a height plot in lines style,
// seen face on in the x-z plane, or the y-z plane for more than 10 rows).
// --xcomp .. --wcomp choose the window columns of the vector graph's
// components (-1: unused).
//
// Only the command line lives here: parseRenderOptions turns it into
// aglGraphSettings, named after the control's properties (each option names
// a property, whose row in the control's property table gives the option
// its type and range), and the engine's headless pipeline (aglHeadlessGraph)
// binds, resamples and draws the array as the control does.
#include "agltoolRender.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cassert>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ReplacingFile.h"
#include "aglHeadlessGraph.h"
#include "aglTrace.h"
#include "plotrane/PropertyTable.h"

namespace {

// The command line: where the picture goes, and what it shows.
struct RenderSettings : aglGraphSettings {
    std::string output;
    bool cameraMoved[3] = {false, false, false}; // elevation, azimuth, distance given
    bool vectorData = false; // an SVG's or PDF's data area as polygons, not an image
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
std::string wanted(const plotrane::PropertyInfo& p) {
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
std::string optionWanted(const plotrane::PropertyInfo& p) {
    // A camera at or behind its centre of interest shows nothing.
    if (p.dispid == plotrane::DISPID_CamDistance) return "a distance above 0";
    return wanted(p);
}

int renderUsage() {
    std::fprintf(stderr, "usage: agltool render NAME OUT.png|OUT.svg|OUT.pdf [options]\n"
                         "  --size WxH          picture size, 16..8192 each (800x600)\n");
    for (const PropertyOption& o : kPropertyOptions) {
        const plotrane::PropertyInfo& p = *plotrane::findAnyProperty(o.property);
        const std::string want = optionWanted(p);
        std::fprintf(stderr, "  %-19s %s: %s\n", (std::string(o.option) + " V").c_str(), p.name,
                     want.c_str());
    }
    std::fprintf(stderr,
                 "  --roi D:LO:HI       region of interest of dimension D (repeatable)\n"
                 "  --level L           the level of detail drawn, 0..2 (the finest)\n"
                 "  --plane             the viewer's plane view (height plot, fixed camera)\n"
                 "  --xcomp/--ycomp/--zcomp/--wcomp N\n"
                 "                      window column of a vector component, -1 unused\n"
                 "  --frames N          pictures to draw, the last one saved (1..100000)\n"
                 "  --spin              turn the camera 5 degrees per frame\n"
                 "  --trace             the control's diagnostic trace on stderr\n"
                 "  --vector-data       in an SVG or PDF, the data area of a surface or image\n"
                 "                      map as polygons, not as one image\n");
    return 2;
}

int bad(const char* option, const char* value, const std::string& want) {
    std::fprintf(stderr, "agltool: bad %s '%s' (want %s)\n", option, value, want.c_str());
    return 2;
}

// The option's text as a value of the property's type and range; an empty
// Variant when the text is not one.
plotrane::Variant propertyValue(const plotrane::PropertyInfo& p, const char* text) {
    using plotrane::PropType;
    using plotrane::Variant;
    if (p.type == PropType::String) return Variant(text);
    if (p.type == PropType::Color) {
        // RRGGBB as written on the web; the control's colours are 0x00BBGGRR.
        unsigned rgb = 0;
        char extra = 0;
        if (std::strlen(text) != 6 || std::sscanf(text, "%6x%c", &rgb, &extra) != 1)
            return Variant();
        return Variant(uint32_t(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16)));
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
    case PropType::Float:
        return Variant(float(v));
    case PropType::Double:
        return Variant(v);
    default:
        return Variant(int(v));
    }
}

// Stores a checked property value in the settings.
void applyProperty(RenderSettings& s, int dispid, const plotrane::Variant& v) {
    using namespace plotrane;
    switch (dispid) {
    case DISPID_GraphStyle:
        s.GraphStyle = v.toInt();
        break;
    case DISPID_PaletteId:
        s.PaletteId = v.toInt();
        break;
    case DISPID_PaletteFileName:
        s.PaletteFileName = v.toString();
        break;
    case DISPID_CamElevation:
        s.CamElevation = v.toFloat();
        s.cameraMoved[0] = true;
        break;
    case DISPID_CamAzimuth:
        s.CamAzimuth = v.toFloat();
        s.cameraMoved[1] = true;
        break;
    case DISPID_CamDistance:
        s.CamDistance = v.toFloat();
        s.cameraMoved[2] = true;
        break;
    case DISPID_NumAntiAliasPasses:
        s.NumAntiAliasPasses = v.toInt();
        break;
    case DISPID_RowDim:
        s.RowDim = v.toInt();
        break;
    case DISPID_ColDim:
        s.ColDim = v.toInt();
        break;
    case DISPID_BackColor: {
        const uint32_t c = uint32_t(v.toInt());
        for (int k = 0; k < 3; ++k)
            s.background[k] = float((c >> (8 * k)) & 0xFF) / 255.0f;
        break;
    }
    case DISPID_CacheBehavior:
        s.CacheBehavior = v.toInt();
        break;
    case DISPID_HiddenLine:
        s.HiddenLine = v.toBool();
        break;
    case DISPID_Lighting:
        s.Lighting = v.toBool();
        break;
    case DISPID_Shading:
        s.Shading = v.toInt();
        break;
    case DISPID_TextureMode:
        s.TextureMode = v.toInt();
        break;
    case DISPID_Resolution:
        s.Resolution = v.toInt();
        break;
    case DISPID_GraphType:
        s.GraphType = v.toInt();
        break;
    case DISPID_CamViewType:
        s.CamViewType = v.toInt();
        break;
    case DISPID_ImageOrientation:
        s.ImageOrientation = v.toInt();
        break;
    case DISPID_ImageFilter:
        s.ImageFilter = v.toBool();
        break;
    default:
        break;
    }
}

// Returns 0 when the settings are complete, else the exit status.
int parseRenderOptions(int argc, char** argv, RenderSettings& s) {
    if (argc < 2) return renderUsage();
    s.name = argv[0];
    s.output = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--spin") {
            s.spin = true;
            continue;
        }
        if (opt == "--plane") {
            s.PlaneView = true;
            continue;
        }
        if (opt == "--vector-data") {
            s.vectorData = true;
            continue;
        }
        if (opt == "--trace") {
            aglSetTraceStream(stderr); // the control's diagnostic trace
            continue;
        }
        if (i + 1 >= argc) return renderUsage();
        const char* v = argv[++i];
        const PropertyOption* po = nullptr;
        for (const PropertyOption& o : kPropertyOptions)
            if (opt == o.option) po = &o;
        if (po) {
            const plotrane::PropertyInfo& p = *plotrane::findAnyProperty(po->property);
            const plotrane::Variant value = propertyValue(p, v);
            const bool badDistance =
                p.dispid == plotrane::DISPID_CamDistance && !(value.toDouble() > 0.0);
            if (value.isEmpty() || badDistance) return bad(opt.c_str(), v, optionWanted(p));
            applyProperty(s, p.dispid, value);
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
        } else if (opt == "--xcomp" || opt == "--ycomp" || opt == "--zcomp" || opt == "--wcomp") {
            if (!parseLong(v, n) || n < -1 || n > INT32_MAX)
                return bad(opt.c_str(), v, "a column of the window, or -1 for unused");
            int* comp[4] = {&s.XComp, &s.YComp, &s.ZComp, &s.WComp};
            *comp[opt[2] == 'w' ? 3 : opt[2] - 'x'] = int(n);
        } else if (opt == "--frames") {
            if (!parseLong(v, n) || n < 1 || n > 100000) return bad(opt.c_str(), v, "1..100000");
            s.frames = int(n);
        } else {
            return renderUsage();
        }
    }
    if (s.PlaneView && s.GraphType != 1) {
        std::fprintf(stderr, "agltool: --plane is a height plot view; it takes no --type %d\n",
                     s.GraphType);
        return 2;
    }
    return 0;
}

} // namespace

int renderCommand(int argc, char** argv) {
    assert(everyOptionHasItsProperty() && "an option names no property of the table");
    RenderSettings s;
    if (const int rc = parseRenderOptions(argc, argv, s)) return rc;

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

    const QString lower = QString::fromStdString(s.output).toLower();
    // Any other name (a device, a pipe) gets the PNG.
    const bool svg = lower.endsWith(".svg"), pdf = lower.endsWith(".pdf");
    QImage image;
    aglHeadlessReport report;
    QByteArray vector; // the SVG or PDF file's bytes
    {
        aglHeadlessGraph graph(s, [](const std::string& line) {
            std::fprintf(stderr, "agltool: %s\n", line.c_str());
        });
        if (!graph.bind()) return 2;
        if (!graph.draw(image, &report)) {
            std::fprintf(stderr, "agltool: %s: no picture was drawn\n", s.name.c_str());
            return 2;
        }
        if (svg || pdf) {
            std::string temporary;
            if (!graph.drawVector(pdf, temporary, 0, 0, s.vectorData)) return 2;
            QFile in(QString::fromStdString(temporary));
            const bool read = in.open(QIODevice::ReadOnly);
            if (read) vector = in.readAll();
            in.close();
            in.remove();
            if (!read || vector.isEmpty()) {
                std::fprintf(stderr, "agltool: %s: the vector picture could not be read\n",
                             temporary.c_str());
                return 2;
            }
        }
    }
    // Quality 80 is zlib level 1: a few per cent larger files, written in a
    // fraction of the default level's time.
    // Encoded in memory, then written through a file that replaces the
    // target only when complete: every write and the close are checked, and
    // a pipe or device is refused rather than blocked on.
    QByteArray png = vector;
    QBuffer buffer(&png);
    ReplacingFile file;
    if ((vector.isEmpty() &&
         (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG", 80))) ||
        !file.open(s.output) || !file.write(png.constData(), size_t(png.size())) ||
        !file.commit()) {
        std::fprintf(stderr, "agltool: %s: cannot write the picture%s%s\n", s.output.c_str(),
                     file.error().empty() ? "" : ": ", file.error().c_str());
        return 2;
    }
    if (s.frames > 1)
        std::printf("%d frames, %.2f frames per second, level %d, resolution %d, budget %lld, "
                    "longest render pause %.1f ms\n",
                    s.frames, report.secondsPerFrame > 0 ? 1.0 / report.secondsPerFrame : 0.0,
                    report.level, report.resolution, (long long)report.budget,
                    report.longestRenderWait * 1000.0);
    return 0;
}
