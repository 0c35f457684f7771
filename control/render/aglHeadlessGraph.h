// aglHeadlessGraph: the control's engine (aglGraphView) driven without a
// window. It plays the control's part: writes the settings as properties,
// binds the array by name, lets the filter thread resample it, drives the
// one-second tick until the finest level the rules allow (or a chosen level)
// is shown, and takes the published picture; with spin it measures the
// rotation with the budget adaptation live. Command-line renders and tests use
// it; the settings are named after the control's properties.
//
// Threads: every member runs on the caller's thread, which plays the control's
// thread; the filter and render threads are stopped by the destructor.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What a headless picture is made of, in the control's vocabulary.
struct aglGraphSettings {
    // One end pair of a region of interest: dimension, 0-based low and high.
    struct Roi {
        int dim;
        int32_t low, high;
    };

    std::string name; // the segment to bind: an agl file path or a shared-memory name
    int width = 800, height = 600;
    int GraphType = 1;   // 0 none, 1 height plot, 2 image map, 3 vector graph
    int GraphStyle = -1; // 0..4; -1: the graph kind's own (as the viewer starts it)
    // 0..3; -1: the view the viewer sets for the graph kind (0 for the height
    // plot, 2 for the image map, by the components present for the vector graph).
    int CamViewType = -1;
    int ImageOrientation = 0; // 0..3
    bool ImageFilter = false;
    int XComp = 0, YComp = 1, ZComp = 2, WComp = 3; // source columns; -1 unused
    // The viewer's plane view: the height plot in a fixed view (1, or 3 when
    // the window has more than 10 rows) with the settings of its plane kind.
    bool PlaneView = false;
    int PaletteId = 4;
    std::string PaletteFileName;
    float CamElevation = 26.0f, CamAzimuth = -108.5f, CamDistance = 3.0f;
    int NumAntiAliasPasses = 0;
    int RowDim = -1, ColDim = -1; // -1: the array's own choice
    std::vector<Roi> rois;
    float background[3] = {1.0f, 1.0f, 1.0f}; // 0..1
    int CacheBehavior = 1;
    bool HiddenLine = true;
    bool Lighting = true;
    int Shading = 1;
    int TextureMode = 0;
    int Resolution = 0; // 0: ResolutionAutoAdjust; n: every n-th element, one level
    int level = -1;     // the level of detail to stop at (0..2); -1: the finest the rules allow
    int frames = 1;     // pictures to draw (the last one is kept); >1 with spin measures rotation
    bool spin = false;  // spin the camera (5 degrees per frame), rendering continuously
};

// What a headless run measured.
struct aglHeadlessReport {
    double secondsPerFrame = 0.0; // mean over the frames after the first (0 for one frame)
    int level = -1;               // the level shown when the picture was taken
    int resolution = 0;           // its resolution
    int64_t budget = 0;           // its point budget
    double longestRenderWait = 0; // seconds the caller's thread waited in a render-thread pause
};

class aglHeadlessGraph {
public:
    // Receives one line (no trailing newline) for each problem met: the
    // reason for a failure, or a warning about a setting that was ignored.
    using MessageSink = std::function<void(const std::string&)>;

    aglHeadlessGraph(const aglGraphSettings& settings, MessageSink messages);
    ~aglHeadlessGraph();
    aglHeadlessGraph(const aglHeadlessGraph&) = delete;
    aglHeadlessGraph& operator=(const aglHeadlessGraph&) = delete;

    // Creates the view, binds the array and steps up the levels of detail;
    // false (with a message) on failure.
    bool bind();
    // Takes the picture (the last of `frames`). False (with a message when
    // the reason is known) when no picture could be drawn.
    bool draw(QImage& image, aglHeadlessReport* report = nullptr);
    // After draw: captures the same picture as vectors into a temporary SVG
    // (or PDF) file of width x height hundredths of a millimetre (0: the
    // window's size at 96 pixels per inch) and returns its path in `file`
    // (the caller moves or deletes it). False (with a message) on failure.
    bool drawVector(bool pdf, std::string& file, int width = 0, int height = 0,
                    bool vectorData = false);

private:
    struct Scene;
    std::unique_ptr<Scene> m_scene;
};
