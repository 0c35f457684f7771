// aglObj: the base of every object in the render context's scene list
// (camera, axes, palette bar, graph objects).
//
// An object is created and owned by whoever builds the scene (the pipeline, a
// test, a command-line tool) and handed to aglRenderContext::AddObject, which
// keeps a pointer to it and draws it on the render thread, in the order the
// objects were added, while it holds the scene lock.
//
// Threads: the setters run on the host's thread, usually inside the scene lock
// (aglRenderContext::Lock) or while the render thread is paused; Render runs on
// the render thread. The changed flag is atomic because the render thread reads
// it to decide whether a finished anti-aliased picture can be reused.
#pragma once

#include <atomic>
#include <vector>

class aglRenderContext;
struct aglFontRequest;

// The kind of frame being drawn; passed to every Render.
enum class RenderMode : int {
    Normal = 0,        // an ordinary frame, published when done
    Pick = 1,          // a pick frame: objects draw their pick colour codes, nothing is published
    AntiAliasPass = 2, // one jittered pass accumulated into the anti-aliased picture
    MetaFile = 3,      // a capture for vector export through the metafile writer
};

class aglObj {
public:
    aglObj() = default;
    virtual ~aglObj() = default;
    aglObj(const aglObj&) = delete;
    aglObj& operator=(const aglObj&) = delete;

    // Draws the object for one frame; render thread, scene lock held, the
    // context's GL state current. The base version clears the changed flag in a
    // Normal frame: derived classes call it once they have drawn.
    virtual void Render(RenderMode mode);
    // Marks the object changed, so that the next Normal frame redraws the scene
    // instead of reusing the accumulated picture. Any thread.
    virtual void Invalidate();
    // Translation applied by objects that use it, in graph-box units.
    virtual void SetPosition(float x, float y, float z);
    virtual void GetPosition(float* x, float* y, float* z) const;

    void SetVisible(bool visible);
    void SetColor(float r, float g, float b); // each 0..1
    void SetLineWidth(float width);           // pixels
    void SetPointSize(float size);            // pixels
    void SetPickId(int id) { m_pickId = id; } // 0..3, written into the pick colour code

    bool IsVisible() const { return m_visible; }
    bool IsChanged() const { return m_changed.load(std::memory_order_acquire); }
    int PickId() const { return m_pickId; }
    float LineWidth() const { return m_lineWidth; }
    float PointSize() const { return m_pointSize; }
    const float* Color() const { return m_color; }
    aglRenderContext* Context() const { return m_context; }

    // Line smoothing for objects that draw lines: call BeginLineSmoothing before
    // the lines and EndLineSmoothing after them. When the context's LineSmooth
    // flag is set this enables blending and GL line smoothing for the object's
    // own lines and turns both off again afterwards. Render thread.
    void BeginLineSmoothing();
    void EndLineSmoothing();

    // The fonts the object draws text with, added to `fonts`. Host thread.
    virtual void FontsInUse(std::vector<aglFontRequest>& fonts) const { (void)fonts; }

protected:
    // Has the context get the fonts ready ahead of the next frame, after a
    // setter changed them. Host thread.
    void fontsChanged();
    void ClearChanged() { m_changed.store(false, std::memory_order_release); }

    bool m_lineSmoothingActive = false;
    std::atomic<bool> m_changed{true};
    bool m_visible = true;
    aglRenderContext* m_context = nullptr; // set by aglRenderContext::AddObject; not owned
    float m_position[3] = {0.0f, 0.0f, 0.0f};
    float m_lineWidth = 1.0f;
    float m_color[3] = {0.4f, 0.4f, 0.4f};
    float m_pointSize = 2.0f;
    int m_pickId = 1;

private:
    friend class aglRenderContext;
};
