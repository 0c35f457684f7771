// aglHeadlessGraph: the graph engine driven without a window, as the control
// drives it. It binds an array by name, resamples it by the data-access rules,
// builds the scene (palette bar, camera, axes, the graph object of the finest
// level that is ready) on a render context of its own and takes the published
// picture. Command-line renders and tests use it; the settings it takes are
// named after the control's properties.
//
// Threads: every member runs on the caller's thread; the render thread it
// starts is stopped by the destructor.
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
    int GraphStyle = 1;
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
    int frames = 1;     // pictures to draw (the last one is kept); >1 with spin measures rotation
    bool spin = false;  // rotate the camera 5 degrees per frame
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

    // Binds and resamples the array; false (with a message) on failure.
    bool bind();
    // Builds the scene, starts the render thread and takes the picture (the
    // last of `frames`). secondsPerFrame, when given, gets the mean time of
    // the frames after the first (0 for a single frame). False (with a
    // message when the reason is known) when no picture could be drawn.
    bool draw(QImage& image, double* secondsPerFrame);

private:
    struct Scene;
    std::unique_ptr<Scene> m_scene;
};
