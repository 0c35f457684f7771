#include "aglHeadlessGraph.h"

#include <algorithm>
#include <chrono>

#include "aglArray.h"
#include "aglAxisObj.h"
#include "aglAxisTicks.h"
#include "aglFilter.h"
#include "aglGraphData.h"
#include "aglHeightPlotObj.h"
#include "aglPaletteBarObj.h"
#include "aglRenderContext.h"

struct aglHeadlessGraph::Scene {
    Scene(const aglGraphSettings& settings, MessageSink sink)
        : s(settings), messages(std::move(sink)) {}
    ~Scene() { context.Stop(); }

    void report(const std::string& line) const {
        if (messages) messages(line);
    }

    bool bind();
    bool draw(QImage& image, double* secondsPerFrame);
    void gridLines(int columns, int rows, const aglFilter& level0, int* x, int* y) const;
    bool waitForPicture();

    const aglGraphSettings s;
    MessageSink messages;
    aglGraphData data;
    aglPaletteBarObj bar;
    aglAxisObj axis;
    aglHeightPlotObj plot;
    aglRenderContext context;
    int level = -1;
    bool drawn = false; // a picture was taken (the next one needs a Redraw)
};

aglHeadlessGraph::aglHeadlessGraph(const aglGraphSettings& settings, MessageSink messages)
    : m_scene(std::make_unique<Scene>(settings, std::move(messages))) {}

aglHeadlessGraph::~aglHeadlessGraph() = default;

bool aglHeadlessGraph::bind() {
    return m_scene->bind();
}

bool aglHeadlessGraph::draw(QImage& image, double* secondsPerFrame) {
    return m_scene->draw(image, secondsPerFrame);
}

bool aglHeadlessGraph::Scene::bind() {
    data.setGraphType(1);
    if (!data.setFileName(s.name)) {
        report(s.name + ": cannot be opened as an array of 2 or more elements");
        return false;
    }
    const aglArray& a = data.array();
    for (int d : {s.RowDim, s.ColDim})
        if (d >= a.dimCount()) {
            report(s.name + ": dimension " + std::to_string(d) + " out of range 0.." +
                   std::to_string(a.dimCount() - 1));
            return false;
        }
    if (s.RowDim >= 0) data.setRowDimension(s.RowDim);
    if (s.ColDim >= 0) data.setColumnDimension(s.ColDim);
    for (const aglGraphSettings::Roi& r : s.rois) {
        if (r.dim >= a.dimCount() || r.high >= a.extent(r.dim)) {
            report(s.name + ": --roi " + std::to_string(r.dim) + ":" + std::to_string(r.low) + ":" +
                   std::to_string(r.high) + " outside the array");
            return false;
        }
        data.setRoiLow(r.dim, r.low);
        data.setRoiHigh(r.dim, r.high);
    }
    if (s.Resolution > 0) {
        data.setResolutionAutoAdjust(false);
        data.setResolution(s.Resolution);
    }
    data.update();
    data.runPendingPasses();
    // The finest level whose pass is done.
    level = -1;
    for (int L = 2; L >= 0 && level < 0; --L)
        if (data.filter(L).isDone()) level = L;
    if (level < 0) {
        report(s.name + ": the array could not be resampled");
        return false;
    }
    return true;
}

bool aglHeadlessGraph::Scene::draw(QImage& image, double* secondsPerFrame) {
    const aglGraphData::PaletteMapping pm = data.paletteMapping(level);
    if (!s.PaletteFileName.empty() && !bar.LoadCustomPalette(s.PaletteFileName))
        report(s.PaletteFileName + ": not a palette of 256 x 4 bytes; ignored");
    bar.SetPaletteId(s.PaletteFileName.empty() ? s.PaletteId : 0);
    bar.SetValueMapping(pm.valueScale, pm.valueOffset);
    bar.SetRange(pm.minimum, pm.maximum);

    double xs = 1, ys = 1, zs = 0.8;
    data.axisScales(xs, ys, zs);
    plot.SetExtents(float(xs), float(ys), float(zs));
    plot.SetColor(0.0f, 0.0f, 1.0f); // GraphColor RGB(0, 0, 255)
    plot.SetStyle(s.GraphStyle);
    plot.SetCacheBehavior(s.CacheBehavior);
    plot.SetHiddenLine(s.HiddenLine);
    plot.SetLighting(s.Lighting);
    plot.SetShading(s.Shading);
    plot.SetTextured(s.TextureMode != 0);
    plot.SetPalette(&bar);
    plot.SetUseColorPalette(true);
    plot.SetShowCursor(false);
    plot.SetDataSource(&data.filter(level));
    int32_t c0, r0, nc, nr;
    data.planeWindow(c0, r0, nc, nr);
    int xLines = 1, yLines = 1;
    gridLines(nc, nr, data.filter(0), &xLines, &yLines);
    plot.SetNumGridLines(xLines, yLines);

    // The palette bar takes a strip at the right; the graph the rest.
    const aglArray& array = data.array();
    const aglPalette::Strip strip = aglPalette::StripFor(s.width, s.height, true, true, 1);
    bar.SetPickId(aglPaletteBarObj::kPickId);
    bar.SetArea(strip.left, strip.top, strip.right, strip.bottom);
    bar.SetShowLabels(true);
    bar.SetLabelKind(array.numericClass() == AGL_CLASS_FLOAT ? aglPalette::kFloatingLabels : 0);

    // Axes: x counts columns, y rows of the window; z carries the values
    // of the range the box maps (the level's rounded range).
    agl::AxisInput in;
    in.graphType = 1;
    in.width = s.width;
    in.height = s.height;
    in.roiFirst[0] = c0;
    in.roiLength[0] = nc;
    in.roiFirst[1] = r0;
    in.roiLength[1] = nr;
    in.lowerBound[0] = array.lowerBound(array.colDim());
    in.lowerBound[1] = array.lowerBound(array.rowDim());
    double zmax = 1.0, zmin = -1.0;
    data.filter(level).range(0, zmax, zmin);
    in.minimum[2] = zmin;
    in.maximum[2] = zmax;
    in.integerData = array.numericClass() != AGL_CLASS_FLOAT;
    axis.SetExtents(float(xs), float(ys), float(zs));
    axis.ApplyLayout(agl::recomputeAxes(in));

    aglCameraObj& cam = context.Camera();
    cam.SetViewport(strip.graphWidth, s.height);
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    cam.SetDistance(s.CamDistance);
    cam.SetElevation(s.CamElevation);
    cam.SetAzimuth(s.CamAzimuth);
    context.SetBackground(s.background[0], s.background[1], s.background[2]);
    context.SetWindowSize(s.width, s.height);
    context.SetAntiAliasPasses(s.NumAntiAliasPasses);
    context.AddObject(&bar);
    context.AddObject(&cam);
    context.AddObject(&axis);
    context.AddObject(&plot);
    context.SetGraph(&plot);
    context.SetTimings(0, 0);
    context.Start(false);
    if (!waitForPicture()) return false;

    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k < s.frames; ++k) {
        if (s.spin) {
            context.Pause();
            cam.SetAzimuth(cam.Azimuth() + 5.0f);
            context.Resume();
        }
        if (!waitForPicture()) return false;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (secondsPerFrame) *secondsPerFrame = s.frames > 1 ? elapsed / (s.frames - 1) : 0.0;
    image = context.LatestFrame();
    return !image.isNull();
}

// The grid-line counts the pipeline derives from GridDensity (40 pixels
// between lines) and the picture's size.
void aglHeadlessGraph::Scene::gridLines(int columns, int rows, const aglFilter& level0, int* x,
                                        int* y) const {
    // Each count is at most the coarsest grid's size.
    const double density = 40.0;
    const double size = std::max(1.0, double(std::min(s.width, s.height)));
    const auto step = [&](int count) {
        return (count >= 10 && size / count < density) ? int(count * density / size) : 1;
    };
    *x = std::min(columns / std::max(1, step(columns)), level0.outputColumns());
    *y = std::min(rows / std::max(1, step(rows)), level0.outputRows());
}

// Waits for the finished picture: the one the render thread draws when it
// starts, or else a new one (Run); with anti-aliasing, until the accumulated
// passes are complete.
bool aglHeadlessGraph::Scene::waitForPicture() {
    context.WaitUntilIdle();
    if (context.StartFailed()) {
        report("no OpenGL context: " + context.StartError());
        return false;
    }
    const uint64_t before = context.PublishedFrames();
    if (drawn || before == 0) {
        context.Redraw(true);
        if (!context.WaitForFrame(before, 60000)) return false;
    }
    drawn = true;
    if (s.NumAntiAliasPasses > 0) {
        for (int k = 0; k < 600 && !context.IsAccumulationComplete(); ++k)
            context.WaitForFrame(context.PublishedFrames(), 100);
    }
    context.WaitUntilIdle();
    return true;
}
