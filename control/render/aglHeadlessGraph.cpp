#include "aglHeadlessGraph.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "aglArray.h"
#include "aglGraphView.h"
#include "aglImageMapObj.h"
#include "aglMetaFileWriter.h"

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
    void chooseKind();
    void applySettings();

    const aglGraphSettings s;
    MessageSink messages;
    aglGraphView view;
    bool drawn = false; // a picture was taken (the next one needs a Redraw)
    // What the viewer sets for the graph kind shown (chooseKind).
    int type = 1, style = 1, viewType = 0, axisStyle = aglAxisObj::kDefaultStyle;
    bool showPalette = true, useColorPalette = true, lineSmooth = false, lighting = true;
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

bool aglHeadlessGraph::drawVector(bool pdf, std::string& file, int width, int height,
                                  bool vectorData) {
    Scene& sc = *m_scene;
    aglRenderContext& context = sc.view.Context();
    if (width <= 0 || height <= 0) {
        // The window's pixels at 96 per inch, in hundredths of a millimetre.
        width = int(sc.s.width * 2540.0 / 96.0);
        height = int(sc.s.height * 2540.0 / 96.0);
    }
    aglMetaFileWriter writer;
    writer.SetFormat(pdf ? aglMetaFileWriter::Format::Pdf : aglMetaFileWriter::Format::Svg);
    writer.SetVectorData(vectorData);
    context.WaitUntilIdle();
    context.Pause();
    context.SetCaptureWriter(&writer);
    context.Resume();
    bool ok = context.RequestCapture(width, height);
    if (ok) {
        context.Redraw(false);
        // The capture frame (repeated while it overflows), then the writer.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kPassTimeoutMs);
        int status = writer.Status();
        while (status != aglMetaFileWriter::kComplete && status != aglMetaFileWriter::kFailed &&
               std::chrono::steady_clock::now() < until && !context.StartFailed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            status = writer.Status();
        }
        writer.WaitUntilDone(kPassTimeoutMs);
        ok = writer.Status() == aglMetaFileWriter::kComplete;
    }
    context.Pause();
    context.SetCaptureWriter(nullptr);
    context.Resume();
    if (!ok) {
        sc.report("the vector picture could not be written");
        return false;
    }
    file = writer.FileName();
    return !file.empty();
}

// The settings the viewer gives each graph kind when it shows it: style,
// view, ZScale, axis style, palette bar, colours and lighting. The height
// plot keeps the command line's own.
void aglHeadlessGraph::Scene::chooseKind() {
    int32_t c0, r0, columns, rows;
    view.planeWindow(c0, r0, columns, rows);
    double xs = 1, ys = 1, zs = 0.8;
    view.axisScales(xs, ys, zs);
    lighting = s.Lighting;
    if (s.PlaneView) {
        // Lines in the x-z plane, or in the y-z plane for windows of many rows.
        style = 3;
        viewType = rows > 10 ? 3 : 1;
        zs = 1.0;
        axisStyle = 1;
        showPalette = useColorPalette = lighting = false;
        lineSmooth = true;
    } else if (type == 2) {
        viewType = 2;
        zs = 1.0;
        lighting = false;
        lineSmooth = true;
    } else if (type == 3) {
        style = 4;
        lighting = false;
        lineSmooth = true;
        const int comps[4] = {s.XComp, s.YComp, s.ZComp, s.WComp};
        bool present[4];
        for (int c = 0; c < 4; ++c)
            present[c] = comps[c] >= 0 && comps[c] < columns;
        // A flat vector graph is seen face on, through the plane of its components.
        if (!present[2] || !present[1] || !present[0]) {
            viewType = !present[2] ? 2 : !present[1] ? 1 : 3;
            zs = 1.0;
            axisStyle = 1;
        }
        showPalette = useColorPalette = present[3];
    }
    if (s.GraphStyle >= 0) style = s.GraphStyle;
    if (s.CamViewType >= 0) viewType = s.CamViewType;
    if (type != 1 || s.PlaneView) view.setAxisScales(xs, ys, zs);
}

// The display properties, as a host writes them after creating the control
// (each level's graph object, so that any level shown has them).
void aglHeadlessGraph::Scene::applySettings() {
    aglRenderContext& context = view.Context();
    view.pauseRenderThread();
    for (int L = 0; L < agl::kLevelCount; ++L) {
        aglGraphObj& plot = view.graphObject(L);
        plot.SetColor(0.0f, 0.0f, 1.0f); // GraphColor RGB(0, 0, 255)
        plot.SetStyle(style);
        plot.SetCacheBehavior(s.CacheBehavior);
        plot.SetHiddenLine(s.HiddenLine);
        plot.SetLighting(lighting);
        plot.SetShading(s.Shading);
        plot.SetTextured(s.TextureMode != 0);
        plot.SetUseColorPalette(useColorPalette);
        plot.SetShowGrid(type == 1 && !s.PlaneView);
        plot.SetShowCursor(false);
        if (auto* image = dynamic_cast<aglImageMapObj*>(&plot)) {
            image->SetOrientation(s.ImageOrientation);
            image->SetFilter(s.ImageFilter);
        }
    }
    aglPaletteBarObj& bar = view.paletteBar();
    if (!s.PaletteFileName.empty() && !bar.LoadCustomPalette(s.PaletteFileName))
        report(s.PaletteFileName + ": not a palette of 256 x 4 bytes; ignored");
    bar.SetPaletteId(s.PaletteFileName.empty() ? s.PaletteId : 0);
    aglCameraObj& cam = view.Camera();
    cam.SetDistance(s.CamDistance);
    cam.SetElevation(s.CamElevation);
    cam.SetAzimuth(s.CamAzimuth);
    cam.SetViewType(viewType);
    view.axis().SetStyle(axisStyle);
    context.SetBackground(s.background[0], s.background[1], s.background[2]);
    view.setNumAntiAliasPasses(s.NumAntiAliasPasses);
    view.setLineSmooth(lineSmooth);
    view.setShowPalette(showPalette);
    view.wakeRenderThread();
    // The image map's numbers follow its orientation.
    aglGraphView::AxisRequest axes = view.axisRequest();
    axes.imageOrientation = s.ImageOrientation;
    view.setAxisRequest(axes);
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
    type = s.PlaneView ? 1 : s.GraphType;
    const int comps[4] = {s.XComp, s.YComp, s.ZComp, s.WComp};
    for (int c = 0; c < 4; ++c)
        view.setComponent(c, comps[c]);
    view.setGraphType(type, false);
    chooseKind();
    applySettings();
    if (s.Resolution > 0) {
        view.setResolutionAutoAdjust(false);
        view.setResolution(s.Resolution);
    }
    if (type == 3) {
        int32_t c0, r0, columns, rows;
        view.planeWindow(c0, r0, columns, rows);
        if (std::none_of(comps, comps + 4, [&](int c) { return c >= 0 && c < columns; })) {
            report(s.name + ": no vector component is a column of the window");
            return false;
        }
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
    if (view.currentLevel() < 0 && type != 0) {
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
