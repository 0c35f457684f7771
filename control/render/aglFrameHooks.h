// What the frame of aglRenderContext asks of objects that are built on top of
// this engine: the bound graph object (its data and cursor), the palette bar
// (its marker) and the metafile writer (vector capture). The classes that
// play these roles derive from these interfaces as well as from aglObj.
// Every call is made on the render thread, inside the frame.
#pragma once

#include <string>

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
    // Starts the capture frame with room for pointBudget points; false skips it.
    virtual bool BeginCapture(int pointBudget) = 0;
    // Around each scene object: feedback mode on before, output collected after.
    virtual void BeginObject(aglObj& object) = 0;
    virtual void EndObject(aglObj& object) = 0;
    // The last capture ran out of its point budget (the next one doubles it).
    virtual bool Overflowed() const = 0;
    // Ends the capture; complete is false when the frame was cut short.
    virtual void FinishCapture(bool complete) = 0;
    // True between BeginCapture and FinishCapture.
    virtual bool IsCapturing() const = 0;
    // Text drawn by a bitmap font during the capture.
    virtual void CaptureText(float x, float y, float z, const char* text, const std::string& face,
                             int height, int weight) = 0;
};
