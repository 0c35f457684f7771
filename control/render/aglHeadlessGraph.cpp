#include "aglHeadlessGraph.h"

#include <chrono>

#include "aglArray.h"
#include "aglGraphView.h"

namespace {
// Generous bounds for one filter pass and one frame on software GL.
constexpr int kPassTimeoutMs = 120000;
constexpr int kFrameTimeoutMs = 60000;
} // namespace

struct aglHeadlessGraph::Scene {
    Scene(const aglGraphSettings& settings, MessageSink sink)
        : s(settings), messages(std::move(sink)) {}

    void report(const std::string& line) const {
        if (messages) messages(line);
    }

    bool bind();
    bool draw(QImage& image, aglHeadlessReport* out);
    bool waitForPicture();
    void applySettings();

    const aglGraphSettings s;
    MessageSink messages;
    aglGraphView view;
    bool drawn = false; // a picture was taken (the next one needs a Redraw)
};

aglHeadlessGraph::aglHeadlessGraph(const aglGraphSettings& settings, MessageSink messages)
    : m_scene(std::make_unique<Scene>(settings, std::move(messages))) {}

aglHeadlessGraph::~aglHeadlessGraph() = default;

bool aglHeadlessGraph::bind() {
    return m_scene->bind();
}

bool aglHeadlessGraph::draw(QImage& image, aglHeadlessReport* report) {
    return m_scene->draw(image, report);
}

// The display properties, as a host writes them after creating the control.
void aglHeadlessGraph::Scene::applySettings() {
    aglRenderContext& context = view.Context();
    view.pauseRenderThread();
    aglGraphObj& plot = view.boundGraph();
    plot.SetColor(0.0f, 0.0f, 1.0f); // GraphColor RGB(0, 0, 255)
    plot.SetStyle(s.GraphStyle);
    plot.SetCacheBehavior(s.CacheBehavior);
    plot.SetHiddenLine(s.HiddenLine);
    plot.SetLighting(s.Lighting);
    plot.SetShading(s.Shading);
    plot.SetTextured(s.TextureMode != 0);
    plot.SetShowCursor(false);
    aglPaletteBarObj& bar = view.paletteBar();
    if (!s.PaletteFileName.empty() && !bar.LoadCustomPalette(s.PaletteFileName))
        report(s.PaletteFileName + ": not a palette of 256 x 4 bytes; ignored");
    bar.SetPaletteId(s.PaletteFileName.empty() ? s.PaletteId : 0);
    aglCameraObj& cam = view.Camera();
    cam.SetDistance(s.CamDistance);
    cam.SetElevation(s.CamElevation);
    cam.SetAzimuth(s.CamAzimuth);
    context.SetBackground(s.background[0], s.background[1], s.background[2]);
    view.setNumAntiAliasPasses(s.NumAntiAliasPasses);
    view.wakeRenderThread();
}

bool aglHeadlessGraph::Scene::bind() {
    view.Context().SetTimings(0, 0);
    view.Attach(false);
    view.Resize(s.width, s.height);
    if (!view.setFileName(s.name)) {
        report(s.name + ": cannot be opened as an array of 2 or more elements");
        return false;
    }
    const aglArray& a = view.array();
    for (int d : {s.RowDim, s.ColDim})
        if (d >= a.dimCount()) {
            report(s.name + ": dimension " + std::to_string(d) + " out of range 0.." +
                   std::to_string(a.dimCount() - 1));
            return false;
        }
    if (s.RowDim >= 0) view.setRowDimension(s.RowDim);
    if (s.ColDim >= 0) view.setColumnDimension(s.ColDim);
    for (const aglGraphSettings::Roi& r : s.rois) {
        if (r.dim >= a.dimCount() || r.high >= a.extent(r.dim)) {
            report(s.name + ": --roi " + std::to_string(r.dim) + ":" + std::to_string(r.low) + ":" +
                   std::to_string(r.high) + " outside the array");
            return false;
        }
        view.setRoiLow(r.dim, r.low);
        view.setRoiHigh(r.dim, r.high);
    }
    applySettings();
    if (s.Resolution > 0) {
        view.setResolutionAutoAdjust(false);
        view.setResolution(s.Resolution);
    }
    view.update();

    // The control's timer, driven: one tick per level once the filter thread
    // has nothing left to do and the last frame is out.
    const int stopAt = s.level < 0 ? 2 : s.level;
    for (int k = 0; k < 8 && view.currentLevel() < stopAt; ++k) {
        if (!view.waitForFilter(kPassTimeoutMs)) break;
        view.Context().WaitUntilIdle();
        const int before = view.currentLevel();
        view.stepLevel(agl::nextLevel(before, view.currentResolution()));
        if (view.currentLevel() == before && k > 0) break; // the rules go no finer
    }
    if (view.currentLevel() < 0) {
        report(s.name + ": the array could not be resampled");
        return false;
    }
    return true;
}

bool aglHeadlessGraph::Scene::draw(QImage& image, aglHeadlessReport* out) {
    aglRenderContext& context = view.Context();
    if (!waitForPicture()) return false;
    view.takeLongestRenderWait();

    double secondsPerFrame = 0.0;
    if (s.frames > 1) {
        if (s.spin) view.ToggleSpin();
        const auto start = std::chrono::steady_clock::now();
        for (int k = 1; k < s.frames; ++k) {
            if (s.spin) {
                // Continuous frames: the tick reads each one's time and adapts.
                if (!context.WaitForFrame(context.PublishedFrames(), kFrameTimeoutMs)) return false;
                view.tick();
            } else if (!waitForPicture()) {
                return false;
            }
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        secondsPerFrame = elapsed / (s.frames - 1);
        if (s.spin) {
            view.ToggleSpin();
            context.WaitUntilIdle();
        }
    }
    if (out) {
        out->secondsPerFrame = secondsPerFrame;
        out->level = view.currentLevel();
        out->resolution = view.currentResolution();
        out->budget = view.level(std::max(0, out->level)).budget;
        out->longestRenderWait = view.takeLongestRenderWait();
    }
    image = context.LatestFrame();
    return !image.isNull();
}

// Waits for the finished picture: the one the render thread draws after the
// last level switch, or else a new one (Run); with anti-aliasing, until the
// accumulated passes are complete.
bool aglHeadlessGraph::Scene::waitForPicture() {
    aglRenderContext& context = view.Context();
    context.WaitUntilIdle();
    if (context.StartFailed()) {
        report("no OpenGL context: " + context.StartError());
        return false;
    }
    const uint64_t before = context.PublishedFrames();
    context.Redraw(true);
    if (!context.WaitForFrame(before, kFrameTimeoutMs)) return false;
    drawn = true;
    if (context.AntiAliasPasses() > 0) {
        for (int k = 0; k < 600 && !context.IsAccumulationComplete(); ++k)
            context.WaitForFrame(context.PublishedFrames(), 100);
    }
    context.WaitUntilIdle();
    return true;
}
