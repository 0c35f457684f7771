// agltool render: draws an array headless through the real engine and saves
// the picture.
//
//   agltool render NAME OUT.png [--size WxH] [--style 0..4] [--palette ID]
//                  [--palette-file NAME] [--elevation DEG] [--azimuth DEG]
//                  [--distance D] [--aa N] [--rowdim D] [--coldim D]
//                  [--roi D:LO:HI]... [--background RRGGBB] [--cache 0..2]
//                  [--hidden-line 0|1] [--lighting 0|1] [--shading 0|1] [--texture 0..2]
//                  [--resolution N] [--level 0..2] [--type 0..3] [--view 0..3] [--plane]
//                  [--orientation 0..3] [--filter 0|1]
//                  [--xcomp N] [--ycomp N] [--zcomp N] [--wcomp N]
//                  [--frames N] [--spin] [--trace]
//
// --type is GraphType (0 none, 1 height plot, 2 image map, 3 vector graph);
// --view is CamViewType, by default the view the viewer gives the graph
// kind; --plane is the viewer's plane view (a height plot in lines style,
// seen face on in the x-z plane, or the y-z plane for more than 10 rows).
// --xcomp .. --wcomp choose the window columns of the vector graph's
// components (-1: unused).
//
// Only the command line lives here: parseRenderOptions turns it into
// aglGraphSettings, named after the control's properties, and the engine's
// headless pipeline (aglHeadlessGraph) binds, resamples and draws the array
// as the control does.
#include "agltoolRender.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
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

namespace {

// The command line: where the picture goes, and what it shows.
struct RenderSettings : aglGraphSettings {
    std::string output;
    bool cameraMoved[3] = {false, false, false}; // elevation, azimuth, distance given
};

// A decimal integer in 64 bits; false for anything else or out of range, so
// a huge value is refused by the caller's range check, never wrapped into it.
bool parseLong(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == 0 && errno == 0;
}

// A number that a float holds: a finite double beyond the float's range
// would become infinity, which the camera ignores without a word.
bool parseFloat(const char* text, float& out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (end == text || *end != 0 || errno != 0 || !std::isfinite(v) ||
        std::fabs(v) > double(FLT_MAX))
        return false;
    out = float(v);
    return true;
}

int renderUsage() {
    std::fprintf(
        stderr,
        "usage: agltool render NAME OUT.png [--size WxH] [--style 0..4] [--palette 0..6]\n"
        "         [--palette-file NAME] [--elevation DEG] [--azimuth DEG] [--distance D]\n"
        "         [--aa 0..32] [--rowdim D] [--coldim D] [--roi D:LO:HI]...\n"
        "         [--background RRGGBB] [--cache 0..2] [--hidden-line 0|1] [--lighting 0|1]\n"
        "         [--shading 0|1] [--texture 0..2] [--resolution N] [--level 0..2]\n"
        "         [--type 0..3] [--view 0..3] [--plane] [--orientation 0..3] [--filter 0|1]\n"
        "         [--xcomp N] [--ycomp N] [--zcomp N] [--wcomp N] [--frames N]\n"
        "         [--spin] [--trace]\n");
    return 2;
}

int bad(const char* option, const char* value, const char* want) {
    std::fprintf(stderr, "agltool: bad %s '%s' (want %s)\n", option, value, want);
    return 2;
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
        if (opt == "--trace") {
            aglSetTraceStream(stderr); // the control's diagnostic trace
            continue;
        }
        if (i + 1 >= argc) return renderUsage();
        const char* v = argv[++i];
        long long n = 0;
        if (opt == "--size") {
            int w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(v, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 8192 ||
                h > 8192)
                return bad(opt.c_str(), v, "WxH, 16..8192 each");
            s.width = w;
            s.height = h;
        } else if (opt == "--style") {
            if (!parseLong(v, n) || n < 0 || n > 4) return bad(opt.c_str(), v, "0..4");
            s.GraphStyle = int(n);
        } else if (opt == "--palette") {
            if (!parseLong(v, n) || n < 0 || n > 6) return bad(opt.c_str(), v, "0..6");
            s.PaletteId = int(n);
        } else if (opt == "--palette-file") {
            s.PaletteFileName = v;
        } else if (opt == "--elevation") {
            if (!parseFloat(v, s.CamElevation)) return bad(opt.c_str(), v, "degrees");
            s.cameraMoved[0] = true;
        } else if (opt == "--azimuth") {
            if (!parseFloat(v, s.CamAzimuth)) return bad(opt.c_str(), v, "degrees");
            s.cameraMoved[1] = true;
        } else if (opt == "--distance") {
            if (!parseFloat(v, s.CamDistance) || s.CamDistance <= 0.0f)
                return bad(opt.c_str(), v, "a distance above 0");
            s.cameraMoved[2] = true;
        } else if (opt == "--aa") {
            if (!parseLong(v, n) || n < 0 || n > 32) return bad(opt.c_str(), v, "0..32");
            s.NumAntiAliasPasses = int(n);
        } else if (opt == "--rowdim" || opt == "--coldim") {
            if (!parseLong(v, n) || n < 0 || n > 6) return bad(opt.c_str(), v, "0..6");
            (opt == "--rowdim" ? s.RowDim : s.ColDim) = int(n);
        } else if (opt == "--roi") {
            long long d = 0, lo = 0, hi = 0;
            const std::string text = v;
            const size_t a = text.find(':');
            const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
            if (b == std::string::npos || !parseLong(text.substr(0, a).c_str(), d) ||
                !parseLong(text.substr(a + 1, b - a - 1).c_str(), lo) ||
                !parseLong(text.substr(b + 1).c_str(), hi) || d < 0 || d > 6 || lo < 0 || hi < lo ||
                hi > INT32_MAX)
                return bad(opt.c_str(), v, "D:LO:HI, 0-based, LO <= HI");
            s.rois.push_back({int(d), int32_t(lo), int32_t(hi)});
        } else if (opt == "--background") {
            unsigned rgb = 0;
            char extra = 0;
            if (std::strlen(v) != 6 || std::sscanf(v, "%6x%c", &rgb, &extra) != 1)
                return bad(opt.c_str(), v, "RRGGBB");
            s.background[0] = float((rgb >> 16) & 0xFF) / 255.0f;
            s.background[1] = float((rgb >> 8) & 0xFF) / 255.0f;
            s.background[2] = float(rgb & 0xFF) / 255.0f;
        } else if (opt == "--cache") {
            if (!parseLong(v, n) || n < 0 || n > 2) return bad(opt.c_str(), v, "0..2");
            s.CacheBehavior = int(n);
        } else if (opt == "--hidden-line") {
            if (!parseLong(v, n) || n < 0 || n > 1) return bad(opt.c_str(), v, "0 or 1");
            s.HiddenLine = n != 0;
        } else if (opt == "--lighting") {
            if (!parseLong(v, n) || n < 0 || n > 1) return bad(opt.c_str(), v, "0 or 1");
            s.Lighting = n != 0;
        } else if (opt == "--shading") {
            if (!parseLong(v, n) || n < 0 || n > 1)
                return bad(opt.c_str(), v, "0 (flat) or 1 (smooth)");
            s.Shading = int(n);
        } else if (opt == "--texture") {
            if (!parseLong(v, n) || n < 0 || n > 2) return bad(opt.c_str(), v, "0..2");
            s.TextureMode = int(n);
        } else if (opt == "--resolution") {
            if (!parseLong(v, n) || n < 1 || n > 1000000) return bad(opt.c_str(), v, "1 or more");
            s.Resolution = int(n);
        } else if (opt == "--level") {
            if (!parseLong(v, n) || n < 0 || n > 2) return bad(opt.c_str(), v, "0..2");
            s.level = int(n);
        } else if (opt == "--type") {
            if (!parseLong(v, n) || n < 0 || n > 3) return bad(opt.c_str(), v, "0..3");
            s.GraphType = int(n);
        } else if (opt == "--view") {
            if (!parseLong(v, n) || n < 0 || n > 3) return bad(opt.c_str(), v, "0..3");
            s.CamViewType = int(n);
        } else if (opt == "--orientation") {
            if (!parseLong(v, n) || n < 0 || n > 3) return bad(opt.c_str(), v, "0..3");
            s.ImageOrientation = int(n);
        } else if (opt == "--filter") {
            if (!parseLong(v, n) || n < 0 || n > 1) return bad(opt.c_str(), v, "0 or 1");
            s.ImageFilter = n != 0;
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
    aglHeadlessReport report;
    {
        aglHeadlessGraph graph(s, [](const std::string& line) {
            std::fprintf(stderr, "agltool: %s\n", line.c_str());
        });
        if (!graph.bind()) return 2;
        if (!graph.draw(image, &report)) {
            std::fprintf(stderr, "agltool: %s: no picture was drawn\n", s.name.c_str());
            return 2;
        }
    }
    // Quality 80 is zlib level 1: a few per cent larger files, written in a
    // fraction of the default level's time.
    // Encoded in memory, then written through a file that replaces the
    // target only when complete: every write and the close are checked, and
    // a pipe or device is refused rather than blocked on.
    QByteArray png;
    QBuffer buffer(&png);
    ReplacingFile file;
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG", 80) ||
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
