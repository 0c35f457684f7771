// agltool render: draws an array headless through the real engine and saves
// the picture.
//
//   agltool render NAME OUT.png [--size WxH] [--style 0..4] [--palette ID]
//                  [--palette-file NAME] [--elevation DEG] [--azimuth DEG]
//                  [--distance D] [--aa N] [--rowdim D] [--coldim D]
//                  [--roi D:LO:HI]... [--background RRGGBB] [--cache 0..2]
//                  [--hidden-line 0|1] [--lighting 0|1] [--shading 0|1] [--texture 0..2]
//                  [--resolution N]
//                  [--frames N] [--spin] [--trace]
//
// The command is two halves. parseRenderOptions turns the command line into
// RenderSettings, named after the control's properties: each option names a
// property, and the control's property table gives its type and range. HeadlessGraph plays
// the control's part: it binds the array by name, resamples it by the
// data-access rules, builds the scene (palette bar, camera in its home
// position, axes, the height plot of the finest level that is ready) on a render
// context and takes the published picture. When the control exists, only
// HeadlessGraph is replaced: the settings become property writes.
#include "agltoolRender.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aglArray.h"
#include "aglAxisObj.h"
#include "aglAxisTicks.h"
#include "aglFilter.h"
#include "aglGraphData.h"
#include "aglHeightPlotObj.h"
#include "aglPaletteBarObj.h"
#include "aglRenderContext.h"
#include "aglTrace.h"
#include "plotrane/PropertyTable.h"

namespace {

struct Roi {
    int dim;
    int32_t low, high;
};

// The command line, in the control's vocabulary.
struct RenderSettings {
    std::string name, output;
    int width = 800, height = 600;
    int GraphStyle = 1;
    int PaletteId = 4;
    std::string PaletteFileName;
    float CamElevation = 26.0f, CamAzimuth = -108.5f, CamDistance = 3.0f;
    bool cameraMoved[3] = {false, false, false}; // elevation, azimuth, distance given
    int NumAntiAliasPasses = 0;
    int RowDim = -1, ColDim = -1; // -1: the array's own choice
    std::vector<Roi> rois;
    float background[3] = {1.0f, 1.0f, 1.0f};
    int CacheBehavior = 1;
    bool HiddenLine = true;
    bool Lighting = true;
    int Shading = 1;
    int TextureMode = 0;
    int Resolution = 0; // 0: ResolutionAutoAdjust; n: every n-th element, one level
    int frames = 1;    // pictures to draw (the last one is saved); >1 with --spin measures rotation
    bool spin = false; // rotate the camera 5 degrees per frame
};

bool parseLong(const char* text, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
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
};
constexpr bool kEveryOptionHasItsProperty = [] {
    for (const PropertyOption& o : kPropertyOptions)
        if (!plotrane::findAnyProperty(o.property)) return false;
    return true;
}();
static_assert(kEveryOptionHasItsProperty, "option names a property of the table");

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
    std::fprintf(stderr, "usage: agltool render NAME OUT.png [options]\n"
                         "  --size WxH          picture size, 16..8192 each (800x600)\n");
    for (const PropertyOption& o : kPropertyOptions) {
        const plotrane::PropertyInfo& p = *plotrane::findAnyProperty(o.property);
        const std::string want = optionWanted(p);
        std::fprintf(stderr, "  %-19s %s: %s\n", (std::string(o.option) + " V").c_str(), p.name,
                     want.c_str());
    }
    std::fprintf(stderr, "  --roi D:LO:HI       region of interest of dimension D (repeatable)\n"
                         "  --frames N          pictures to draw, the last one saved (1..100000)\n"
                         "  --spin              turn the camera 5 degrees per frame\n"
                         "  --trace             the control's diagnostic trace on stderr\n");
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
        long n = 0;
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
        long n = 0;
        if (opt == "--size") {
            int w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(v, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 ||
                h > 8192)
                return bad(opt.c_str(), v, "WxH, 16..8192 each");
            s.width = w;
            s.height = h;
        } else if (opt == "--roi") {
            long d = 0, lo = 0, hi = 0;
            char extra = 0;
            if (std::sscanf(v, "%ld:%ld:%ld%c", &d, &lo, &hi, &extra) != 3 || d < 0 ||
                d > plotrane::kMaxDimIndex || lo < 0 || hi < lo || hi > INT32_MAX)
                return bad(opt.c_str(), v, "D:LO:HI, 0-based, LO <= HI");
            s.rois.push_back({int(d), int32_t(lo), int32_t(hi)});
        } else if (opt == "--frames") {
            if (!parseLong(v, n) || n < 1 || n > 100000) return bad(opt.c_str(), v, "1..100000");
            s.frames = int(n);
        } else {
            return renderUsage();
        }
    }
    return 0;
}

// The engine, driven as the control will drive it.
class HeadlessGraph {
public:
    explicit HeadlessGraph(const RenderSettings& s) : m_s(s) {}
    ~HeadlessGraph() { m_context.Stop(); }

    // Binds and resamples the array; false with a message on failure.
    bool bind() {
        m_data.setGraphType(1);
        if (!m_data.setFileName(m_s.name)) {
            std::fprintf(stderr,
                         "agltool: %s: cannot be opened as an array of 2 or more elements\n",
                         m_s.name.c_str());
            return false;
        }
        const aglArray& a = m_data.array();
        for (int d : {m_s.RowDim, m_s.ColDim})
            if (d >= a.dimCount()) {
                std::fprintf(stderr, "agltool: %s: dimension %d out of range 0..%d\n",
                             m_s.name.c_str(), d, a.dimCount() - 1);
                return false;
            }
        if (m_s.RowDim >= 0) m_data.setRowDimension(m_s.RowDim);
        if (m_s.ColDim >= 0) m_data.setColumnDimension(m_s.ColDim);
        for (const Roi& r : m_s.rois) {
            if (r.dim >= a.dimCount() || r.high >= a.extent(r.dim)) {
                std::fprintf(stderr, "agltool: %s: --roi %d:%d:%d outside the array\n",
                             m_s.name.c_str(), r.dim, r.low, r.high);
                return false;
            }
            m_data.setRoiLow(r.dim, r.low);
            m_data.setRoiHigh(r.dim, r.high);
        }
        if (m_s.Resolution > 0) {
            m_data.setResolutionAutoAdjust(false);
            m_data.setResolution(m_s.Resolution);
        }
        m_data.update();
        m_data.runPendingPasses();
        // The finest level whose pass is done.
        m_level = -1;
        for (int L = 2; L >= 0 && m_level < 0; --L)
            if (m_data.filter(L).isDone()) m_level = L;
        if (m_level < 0) {
            std::fprintf(stderr, "agltool: %s: the array could not be resampled\n",
                         m_s.name.c_str());
            return false;
        }
        return true;
    }

    // Builds the scene, starts the render thread and waits for the picture.
    bool draw(QImage& image, double* secondsPerFrame) {
        const aglGraphData::PaletteMapping pm = m_data.paletteMapping(m_level);
        if (!m_s.PaletteFileName.empty() && !m_bar.LoadCustomPalette(m_s.PaletteFileName))
            std::fprintf(stderr, "agltool: %s: not a palette of 256 x 4 bytes; ignored\n",
                         m_s.PaletteFileName.c_str());
        m_bar.SetPaletteId(m_s.PaletteFileName.empty() ? m_s.PaletteId : 0);
        m_bar.SetValueMapping(pm.valueScale, pm.valueOffset);
        m_bar.SetRange(pm.minimum, pm.maximum);

        double xs = 1, ys = 1, zs = 0.8;
        m_data.axisScales(xs, ys, zs);
        m_plot.SetExtents(float(xs), float(ys), float(zs));
        m_plot.SetColor(0.0f, 0.0f, 1.0f); // GraphColor RGB(0, 0, 255)
        m_plot.SetStyle(m_s.GraphStyle);
        m_plot.SetCacheBehavior(m_s.CacheBehavior);
        m_plot.SetHiddenLine(m_s.HiddenLine);
        m_plot.SetLighting(m_s.Lighting);
        m_plot.SetShading(m_s.Shading);
        m_plot.SetTextured(m_s.TextureMode != 0);
        m_plot.SetPalette(&m_bar);
        m_plot.SetUseColorPalette(true);
        m_plot.SetShowCursor(false);
        m_plot.SetDataSource(&m_data.filter(m_level));
        int32_t c0, r0, nc, nr;
        m_data.planeWindow(c0, r0, nc, nr);
        int xLines = 1, yLines = 1;
        gridLines(nc, nr, m_data.filter(0), &xLines, &yLines);
        m_plot.SetNumGridLines(xLines, yLines);

        // The palette bar takes a strip at the right; the graph the rest.
        const aglArray& array = m_data.array();
        const aglPalette::Strip strip = aglPalette::StripFor(m_s.width, m_s.height, true, true, 1);
        m_bar.SetPickId(aglPaletteBarObj::kPickId);
        m_bar.SetArea(strip.left, strip.top, strip.right, strip.bottom);
        m_bar.SetShowLabels(true);
        m_bar.SetLabelKind(array.numericClass() == AGL_CLASS_FLOAT ? aglPalette::kFloatingLabels
                                                                   : 0);

        // Axes: x counts columns, y rows of the window; z carries the values
        // of the range the box maps (the level's rounded range).
        agl::AxisInput in;
        in.graphType = 1;
        in.width = m_s.width;
        in.height = m_s.height;
        in.roiFirst[0] = c0;
        in.roiLength[0] = nc;
        in.roiFirst[1] = r0;
        in.roiLength[1] = nr;
        in.lowerBound[0] = array.lowerBound(array.colDim());
        in.lowerBound[1] = array.lowerBound(array.rowDim());
        double zmax = 1.0, zmin = -1.0;
        m_data.filter(m_level).range(0, zmax, zmin);
        in.minimum[2] = zmin;
        in.maximum[2] = zmax;
        in.integerData = array.numericClass() != AGL_CLASS_FLOAT;
        m_axis.SetExtents(float(xs), float(ys), float(zs));
        m_axis.ApplyLayout(agl::recomputeAxes(in));

        aglCameraObj& cam = m_context.Camera();
        cam.SetViewport(strip.graphWidth, m_s.height);
        cam.SetCenter(0.5f, 0.5f, 0.3f);
        cam.SetDistance(m_s.CamDistance);
        cam.SetElevation(m_s.CamElevation);
        cam.SetAzimuth(m_s.CamAzimuth);
        m_context.SetBackground(m_s.background[0], m_s.background[1], m_s.background[2]);
        m_context.SetWindowSize(m_s.width, m_s.height);
        m_context.SetAntiAliasPasses(m_s.NumAntiAliasPasses);
        m_context.AddObject(&m_bar);
        m_context.AddObject(&cam);
        m_context.AddObject(&m_axis);
        m_context.AddObject(&m_plot);
        m_context.SetGraph(&m_plot);
        m_context.SetTimings(0, 0);
        m_context.Start(false);
        if (!waitForPicture()) return false;

        const auto start = std::chrono::steady_clock::now();
        for (int k = 1; k < m_s.frames; ++k) {
            if (m_s.spin) {
                m_context.Pause();
                cam.SetAzimuth(cam.Azimuth() + 5.0f);
                m_context.Resume();
            }
            if (!waitForPicture()) return false;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (secondsPerFrame) *secondsPerFrame = m_s.frames > 1 ? elapsed / (m_s.frames - 1) : 0.0;
        image = m_context.LatestFrame();
        return !image.isNull();
    }

private:
    // The grid-line counts the pipeline derives from GridDensity (40 pixels
    // between lines) and the picture's size.
    void gridLines(int columns, int rows, const aglFilter& level0, int* x, int* y) const {
        // Each count is at most the coarsest grid's size.
        const double density = 40.0;
        const double s = std::max(1.0, double(std::min(m_s.width, m_s.height)));
        const auto step = [&](int count) {
            return (count >= 10 && s / count < density) ? int(count * density / s) : 1;
        };
        *x = std::min(columns / std::max(1, step(columns)), level0.outputColumns());
        *y = std::min(rows / std::max(1, step(rows)), level0.outputRows());
    }

    // Waits for the finished picture: the one the render thread draws when it
    // starts, or else a new one (Run); with anti-aliasing, until the
    // accumulated passes are complete.
    bool waitForPicture() {
        m_context.WaitUntilIdle();
        if (m_context.StartFailed()) {
            std::fprintf(stderr, "agltool: no OpenGL context: %s\n",
                         m_context.StartError().c_str());
            return false;
        }
        const uint64_t before = m_context.PublishedFrames();
        if (m_drawn || before == 0) {
            m_context.Redraw(true);
            if (!m_context.WaitForFrame(before, 60000)) return false;
        }
        m_drawn = true;
        if (m_s.NumAntiAliasPasses > 0) {
            for (int k = 0; k < 600 && !m_context.IsAccumulationComplete(); ++k)
                m_context.WaitForFrame(m_context.PublishedFrames(), 100);
        }
        m_context.WaitUntilIdle();
        return true;
    }

    const RenderSettings& m_s;
    aglGraphData m_data;
    aglPaletteBarObj m_bar;
    aglAxisObj m_axis;
    aglHeightPlotObj m_plot;
    aglRenderContext m_context;
    int m_level = -1;
    bool m_drawn = false; // a picture was taken (the next one needs a Redraw)
};

} // namespace

int renderCommand(int argc, char** argv) {
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

    QImage image;
    double secondsPerFrame = 0.0;
    {
        HeadlessGraph graph(s);
        if (!graph.bind()) return 2;
        if (!graph.draw(image, &secondsPerFrame)) {
            std::fprintf(stderr, "agltool: %s: no picture was drawn\n", s.name.c_str());
            return 2;
        }
    }
    // Quality 80 is zlib level 1: a few per cent larger files, written in a
    // fraction of the default level's time.
    if (!image.save(QString::fromStdString(s.output), "PNG", 80)) {
        std::fprintf(stderr, "agltool: %s: cannot write the picture\n", s.output.c_str());
        return 2;
    }
    if (s.frames > 1)
        std::printf("%d frames, %.2f frames per second\n", s.frames,
                    secondsPerFrame > 0 ? 1.0 / secondsPerFrame : 0.0);
    return 0;
}
