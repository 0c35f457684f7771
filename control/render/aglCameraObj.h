// aglCameraObj: where the eye is and how the graph box is projected.
//
// The camera is a scene object embedded in aglRenderContext; the pipeline puts
// it into the scene list ahead of the axes and graph objects, so that they are
// drawn through its matrices. It looks at a centre of interest from a
// distance, an azimuth (degrees, -180..180, about z from +x) and an elevation
// (degrees, -90..90, above the x-y plane); the eye never rolls. View type 0 is
// the free view (perspective or orthographic); 1, 2 and 3 are fixed
// orthographic views of the x-z, x-y and y-z planes.
//
// Threads: the host's thread writes the camera (properties, mouse) while the
// render thread reads it and, when spinning, advances the azimuth. Every field
// is guarded by the camera's own small mutex, held only for a copy, so neither
// thread ever waits on the other's drawing. Non-finite values are refused by
// every setter (the previous value is kept).
#pragma once

#include <mutex>

#include "aglObj.h"

// Column-major 4 x 4 matrices as GL takes them, and the viewport rectangle,
// computed without GL so that the camera's geometry can be checked anywhere.
struct aglCameraMatrices {
    int viewport[4] = {0, 0, 1, 1}; // x, y, width, height in pixels
    double projection[16] = {};
    double modelview[16] = {};
};

class aglCameraObj : public aglObj {
public:
    // The angle conversions the camera's arithmetic uses.
    static constexpr double kRadToDeg = 57.2957763671875;
    static constexpr double kDegToRad = 0.0174532924;
    static constexpr double kTiny = 9.5367431640625e-07;

    aglCameraObj() = default;

    // Sets viewport, projection and model-view for the frame (render thread);
    // advances the azimuth by 5 degrees first when spinning. The mode is not used.
    void Render(RenderMode mode) override;
    // Places the eye at (x, y, z): distance, azimuth and elevation follow from
    // the offset to the centre of interest. Any thread.
    void SetPosition(float x, float y, float z) override;
    // The eye position: centre of interest + distance x viewing direction.
    void GetPosition(float* x, float* y, float* z) const override;
    // Moves the centre of interest by a x right + b x up (graph-box units).
    virtual void Pan(float a, float b);

    void SetViewport(int width, int height); // graph area in pixels
    void SetCenter(float x, float y, float z);
    void GetCenter(float* x, float* y, float* z) const;
    void SetDistance(float d);
    void SetElevation(float e); // clamped to -90..90
    void SetAzimuth(float a);   // wrapped into -180..180
    void SetOrthographic(bool on);
    void SetSpin(bool on);
    void SetViewType(int t); // 0..3, others ignored
    void SetFixedAspect(bool on);
    // Box fit: with it the fixed views keep one box unit as many pixels
    // across as up. The box's two extents in the view's plane (x and y from
    // above, x and z from the front, y and z from the side), with margins
    // in the proportions of the fixed views' own, fill the graph area in one
    // direction and are centred in the other. Without it (the start value)
    // the fixed views map the unit box's bounds onto the whole area.
    void SetBoxFit(bool on, float x, float y, float z);
    // Sub-pixel offset of the projection for an anti-aliasing pass (pixels);
    // written by the render context on the render thread.
    void SetJitter(float x, float y);
    void SaveHome();    // current centre, elevation, azimuth and distance become home
    void RestoreHome(); // and back

    float Azimuth() const;
    float Elevation() const;
    float Distance() const;
    int ViewType() const;
    bool IsOrthographic() const;
    bool IsSpinning() const;
    bool IsFixedAspect() const;
    void GetViewport(int* width, int* height) const;

    // The spin step Render takes first: azimuth + 5, past 180 it becomes -175.
    // No effect unless spinning. Render thread (or a test).
    void AdvanceSpin();
    // The matrices Render would load now (without the spin step). Any thread.
    aglCameraMatrices ComputeMatrices() const;
    // Loads viewport, projection and model-view as they stand, without the
    // spin step and without touching the changed flag (used to draw over a
    // finished anti-aliased picture). Render thread.
    void ApplyMatrices() const;

private:
    struct State {
        int width = 1, height = 1;
        float centerX = 0.5f, centerY = 0.5f; // viewport centre (pixels)
        float coi[3] = {0, 0, 0};
        float homeCoi[3] = {0, 0, 0};
        float elevation = 0, homeElevation = 0;
        float azimuth = 0, homeAzimuth = 0;
        float fov = 30.0f;
        float distance = 1.0f, homeDistance = 1.0f;
        float jitterX = 0, jitterY = 0;
        bool orthographic = false;
        bool spin = false;
        bool fixedAspect = false;
        bool boxFit = false;
        float box[3] = {1, 1, 1};
        int viewType = 0;
    };
    static aglCameraMatrices matricesOf(const State& s);
    static void eyeOf(const State& s, double eye[3]);

    mutable std::mutex m_mutex;
    State m_s;
};
