#include "aglHeadlessGraph.h"

#include <algorithm>
#include <chrono>

#include "aglArray.h"
#include "aglAxisObj.h"
#include "aglAxisTicks.h"
#include "aglFilter.h"
#include "aglGraphData.h"
#include "aglHeightMeshObj.h"
#include "aglHeightPlotObj.h"
#include "aglImageMapObj.h"
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
    void chooseKind();
    void setUpGraph();
    void setUpAxes(float xs, float ys, float zs);
    void gridLines(int columns, int rows, const aglFilter& level0, int* x, int* y) const;
    bool waitForPicture();

    const aglGraphSettings s;
    MessageSink messages;
    aglGraphData data;
    aglPaletteBarObj bar;
    aglAxisObj axis;
    std::unique_ptr<aglGraphObj> graph; // the object of the graph type
    aglRenderContext context;
    int level = -1;
    // What the viewer sets for the graph kind shown (chooseKind).
    int type = 1, style = 1, viewType = 0, axisStyle = aglAxisObj::kDefaultStyle;
    bool showPalette = true, useColorPalette = true, lineSmooth = false, lighting = true;
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
    type = s.PlaneView ? 1 : s.GraphType;
    if (type < 0 || type > 3) {
        report("graph type " + std::to_string(type) + " out of range 0..3");
        return false;
    }
    data.setGraphType(type);
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
    const int comps[4] = {s.XComp, s.YComp, s.ZComp, s.WComp};
    for (int c = 0; c < 4; ++c)
        data.setComponent(c, comps[c]);
    chooseKind();
    if (type == 3 && data.componentsInUse() == 0) {
        report(s.name + ": no vector component is a column of the window");
        return false;
    }
    data.update();
    data.runPendingPasses();
    // The finest level whose pass is done.
    level = -1;
    for (int L = 2; L >= 0 && level < 0; --L)
        if (data.filter(L).isDone()) level = L;
    if (level < 0 && type != 0) {
        report(s.name + ": the array could not be resampled");
        return false;
    }
    return true;
}

// The settings the viewer gives each graph kind when it shows it: style,
// view, ZScale, axis style, palette bar and colours.
void aglHeadlessGraph::Scene::chooseKind() {
    int32_t c0, r0, columns, rows;
    data.planeWindow(c0, r0, columns, rows);
    double xs = 1, ys = 1, zs = 0.8;
    data.axisScales(xs, ys, zs);
    style = 1;
    viewType = 0;
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
        lineSmooth = true;
        const int comps[4] = {s.XComp, s.YComp, s.ZComp, s.WComp};
        bool present[4];
        for (int c = 0; c < 4; ++c)
            present[c] = comps[c] >= 0 && comps[c] < columns;
        // A flat vector graph is seen face on, through the plane of its two components.
        if (!present[2] || !present[1] || !present[0]) {
            viewType = !present[2] ? 2 : !present[1] ? 1 : 3;
            zs = 1.0;
            axisStyle = 1;
        }
        showPalette = useColorPalette = present[3];
    } else if (type == 0) {
        showPalette = false; // a plain graph object: an empty picture
    }
    if (s.GraphStyle >= 0) style = s.GraphStyle;
    if (s.CamViewType >= 0) viewType = s.CamViewType;
    if (type != 1 || s.PlaneView) data.setAxisScales(xs, ys, zs);
}

// The graph object of the type, with the display settings of the kind.
void aglHeadlessGraph::Scene::setUpGraph() {
    switch (type) {
    case 1:
        graph = std::make_unique<aglHeightPlotObj>();
        break;
    case 2: {
        auto image = std::make_unique<aglImageMapObj>();
        image->SetOrientation(s.ImageOrientation);
        image->SetFilter(s.ImageFilter);
        graph = std::move(image);
        break;
    }
    case 3:
        graph = std::make_unique<aglHeightMeshObj>();
        break;
    default:
        graph = std::make_unique<aglGraphObj>();
        break;
    }
    // The image map's start colour (white) modulates its texture; the others draw in GraphColor.
    if (type != 2) graph->SetColor(0.0f, 0.0f, 1.0f); // GraphColor RGB(0, 0, 255)
    graph->SetStyle(style);
    graph->SetCacheBehavior(s.CacheBehavior);
    graph->SetHiddenLine(s.HiddenLine);
    graph->SetLighting(type == 1 && !s.PlaneView ? s.Lighting : lighting);
    graph->SetShading(s.Shading);
    graph->SetTextured(s.TextureMode != 0);
    graph->SetPalette(&bar);
    graph->SetUseColorPalette(useColorPalette);
    graph->SetShowGrid(type == 1 && !s.PlaneView);
    graph->SetShowCursor(false);
    if (level >= 0) graph->SetDataSource(&data.filter(level));
}

bool aglHeadlessGraph::Scene::draw(QImage& image, double* secondsPerFrame) {
    const aglGraphData::PaletteMapping pm = data.paletteMapping(std::max(level, 0));
    if (!s.PaletteFileName.empty() && !bar.LoadCustomPalette(s.PaletteFileName))
        report(s.PaletteFileName + ": not a palette of 256 x 4 bytes; ignored");
    bar.SetPaletteId(s.PaletteFileName.empty() ? s.PaletteId : 0);
    bar.SetValueMapping(pm.valueScale, pm.valueOffset);
    bar.SetRange(pm.minimum, pm.maximum);

    double xs = 1, ys = 1, zs = 0.8;
    data.axisScales(xs, ys, zs);
    setUpGraph();
    graph->SetExtents(float(xs), float(ys), float(zs));
    int32_t c0, r0, nc, nr;
    data.planeWindow(c0, r0, nc, nr);
    int xLines = 1, yLines = 1;
    if (level >= 0) gridLines(nc, nr, data.filter(0), &xLines, &yLines);
    graph->SetNumGridLines(xLines, yLines);

    // The palette bar takes a strip at the right; the graph the rest.
    const aglArray& array = data.array();
    const aglPalette::Strip strip =
        aglPalette::StripFor(s.width, s.height, showPalette, true, type);
    bar.SetPickId(aglPaletteBarObj::kPickId);
    bar.SetArea(strip.left, strip.top, strip.right, strip.bottom);
    bar.SetShowLabels(true);
    bar.SetLabelKind(array.numericClass() == AGL_CLASS_FLOAT ? aglPalette::kFloatingLabels : 0);
    setUpAxes(float(xs), float(ys), float(zs));

    aglCameraObj& cam = context.Camera();
    cam.SetViewport(strip.graphWidth, s.height);
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    cam.SetDistance(s.CamDistance);
    cam.SetElevation(s.CamElevation);
    cam.SetAzimuth(s.CamAzimuth);
    cam.SetViewType(viewType);
    context.SetBackground(s.background[0], s.background[1], s.background[2]);
    context.SetWindowSize(s.width, s.height);
    context.SetAntiAliasPasses(s.NumAntiAliasPasses);
    context.SetLineSmooth(lineSmooth);
    if (showPalette) context.AddObject(&bar);
    context.AddObject(&cam);
    if (type != 0) context.AddObject(&axis);
    context.AddObject(graph.get());
    context.SetGraph(graph.get());
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

// Axes: x and y count the columns and rows of the window (the image map's
// ticks sit at cell centres); z carries the values of the range the box maps
// (the level's rounded range); every axis of the vector graph carries the
// values of its component.
void aglHeadlessGraph::Scene::setUpAxes(float xs, float ys, float zs) {
    const aglArray& array = data.array();
    int32_t c0, r0, nc, nr;
    data.planeWindow(c0, r0, nc, nr);
    agl::AxisInput in;
    in.graphType = type == 0 ? 1 : type;
    in.width = s.width;
    in.height = s.height;
    in.roiFirst[0] = c0;
    in.roiLength[0] = nc;
    in.roiFirst[1] = r0;
    in.roiLength[1] = nr;
    in.lowerBound[0] = array.lowerBound(array.colDim());
    in.lowerBound[1] = array.lowerBound(array.rowDim());
    const aglFilter& f = data.filter(std::max(level, 0));
    for (int a = type == 3 ? 0 : 2; a < 3; ++a) {
        double hi = 1.0, lo = -1.0;
        f.range(type == 3 ? a : 0, hi, lo);
        in.minimum[a] = lo;
        in.maximum[a] = hi;
    }
    in.integerData = array.numericClass() != AGL_CLASS_FLOAT;
    axis.SetExtents(xs, ys, zs);
    axis.SetStyle(axisStyle);
    if (type == 2) {
        axis.SetTicksOnEdges(false);
        axis.SetCellCount(0, nc);
        axis.SetCellCount(1, nr);
    }
    axis.ApplyLayout(agl::recomputeAxes(in));
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
