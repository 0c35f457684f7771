// What the frame of aglRenderContext asks of objects that are built on top of
// this engine: the bound graph object (its data and cursor), the palette bar
// (its marker) and the metafile writer (vector capture). The classes that
// play these roles derive from these interfaces as well as from aglObj.
// Every call is made on the render thread, inside the frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class aglObj;
class aglRenderContext;

// The graph object the frame is about (the current level of detail's object).
class aglFrameGraph {
public:
    virtual ~aglFrameGraph() = default;
    // Takes the graph's data for the frame. False when there is no data source,
    // no data, or the data could not be locked; a wait for the data must give
    // up once context.ShouldStopWaiting() (the render thread was told to pause
    // or to quit). Called before the scene lock is taken.
    virtual bool LockFrameData(aglRenderContext& context) = 0;
    // Releases what LockFrameData took; called only after it returned true.
    virtual void UnlockFrameData() = 0;
    // The graph draws data, ready or still being filtered: frames for it
    // are wanted, or soon will be. Render thread (the host changes the
    // graph only while it is paused).
    virtual bool DrawsData() const { return false; }
    // The cursor cell is shown (ShowCursor); DrawCursor draws it over the picture.
    virtual bool ShowsCursor() const { return false; }
    virtual void DrawCursor() {}
    // Colours come from the palette (UseColorPalette): the palette bar then
    // marks the cursor's value.
    virtual bool UsesColorPalette() const { return false; }
};

// The palette bar's marker of the cursor value, drawn over a finished picture.
class aglPaletteMarker {
public:
    virtual ~aglPaletteMarker() = default;
    virtual void DrawMarker(aglFrameGraph& graph) = 0;
};

// A surface captured sample by sample: its window position, depth and
// colour, or missing where the sample was clipped away or is a hole.
struct aglSurfaceMesh {
    struct Point {
        float x = 0, y = 0, depth = 0; // window pixels (y up), depth 0..1 (larger is farther)
        uint8_t rgb[3] = {0, 0, 0};
        bool present = false;
    };
    int nx = 0, ny = 0;        // points per row, rows
    std::vector<Point> points; // nx * ny, row by row
    // Grid lines over the cells: every stepX-th column and stepY-th row (0: none).
    int stepX = 0, stepY = 0;
    uint8_t gridRgb[3] = {0, 0, 0};
    // Smooth shading: a cell's colour runs between its corners' as on the
    // screen (where the picture is an image); flat: each cell one colour.
    bool smooth = true;
    Point& at(int i, int j) { return points[size_t(j) * size_t(nx) + size_t(i)]; }
    const Point& at(int i, int j) const { return points[size_t(j) * size_t(nx) + size_t(i)]; }
};

// The vector-picture writer. The render context drives a capture frame
// through it; fonts hand it their text while it captures.
class aglCaptureWriter {
public:
    virtual ~aglCaptureWriter() = default;
    // True while a capture is being written out (another one cannot start).
    // Any thread.
    virtual bool IsBusy() const = 0;
    // Gets ready for a capture of width x height pixels. Host thread; false
    // refuses the request.
    virtual bool Prepare(int width, int height) = 0;
    // Starts the capture frame of a window of windowWidth x windowHeight
    // pixels with room for pointBudget points; false skips it.
    virtual bool BeginCapture(int pointBudget, int windowWidth, int windowHeight) = 0;
    // Around each scene object: feedback mode on before, output collected after.
    virtual void BeginObject(aglObj& object) = 0;
    virtual void EndObject(aglObj& object) = 0;
    // The last capture ran out of its point budget (the next one doubles it).
    virtual bool Overflowed() const = 0;
    // The capture frame found nothing to draw: the request fails.
    virtual void CaptureRefused() {}
    // Ends the capture; complete is false when the frame was cut short.
    virtual void FinishCapture(bool complete) = 0;
    // True between BeginCapture and FinishCapture.
    virtual bool IsCapturing() const = 0;
    // Text drawn by a bitmap font during the capture: its anchor, the
    // glyphs' pixel size on the screen, and where the text's baseline starts
    // relative to the anchor (window pixels, y up).
    virtual void CaptureText(float x, float y, float z, const char* text, const std::string& face,
                             int pixelSize, int weight, float dx, float dy) = 0;
    // A surface drawn as a mesh of samples (drawn after everything else, in
    // the painter's order). Graph objects capture it between SuspendFeedback
    // and ResumeFeedback, in a feedback buffer of their own.
    virtual void SetSurfaceMesh(std::unique_ptr<aglSurfaceMesh>) {}
    virtual void SuspendFeedback() {}
    virtual void ResumeFeedback() {}
};
