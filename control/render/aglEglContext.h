// The platform layer under the render context: an EGL display, a desktop
// OpenGL compatibility-profile context current on the calling thread with no
// surface, and the framebuffer objects every frame is drawn into.
//
// All of it belongs to the render thread: Create, Destroy and everything on
// aglFramebuffer/aglAccumBuffer are called only there.
//
// Which EGL platform is used: TAVRIX_EGL_PLATFORM=surfaceless|device|default
// forces one; unset (or "auto") tries Mesa's surfaceless platform, then each
// EGL device, then the default display, and takes the first that gives a
// context.
#pragma once

#include <string>

#include "aglGL.h"

class aglEglContext {
public:
    aglEglContext() = default;
    ~aglEglContext();
    aglEglContext(const aglEglContext&) = delete;
    aglEglContext& operator=(const aglEglContext&) = delete;

    // Makes a context current on this thread. False with a readable reason in
    // Error() when no platform gives one (no EGL driver, a bare container).
    bool Create();
    // Releases the context from this thread and deletes it.
    void Destroy();

    bool IsCurrent() const { return m_context != nullptr; }
    const std::string& Error() const { return m_error; }
    // The platform that gave the context: "surfaceless", "device" or "default".
    const std::string& Platform() const { return m_platform; }

private:
    bool tryDisplay(void* display, const char* platform);

    void* m_display = nullptr; // EGLDisplay
    void* m_context = nullptr; // EGLContext
    std::string m_error;
    std::string m_platform;
};

// A framebuffer object with a colour texture and a depth renderbuffer; the
// engine's stand-in for a window's back buffer. Render thread.
class aglFramebuffer {
public:
    ~aglFramebuffer() { Release(); }
    // (Re)allocates for width x height with the given colour format
    // (GL_RGBA8, or GL_RGBA32F/GL_RGBA16F for the accumulation buffer);
    // withDepth adds a 32- or 24-bit depth buffer. False when the driver
    // refuses every format tried.
    bool Allocate(int width, int height, GLenum colorFormat, bool withDepth);
    void Release();
    void Bind() const;
    bool IsAllocated() const { return m_fbo != 0; }
    GLuint Texture() const { return m_texture; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    GLuint m_fbo = 0;
    GLuint m_texture = 0;
    GLuint m_depth = 0;
    int m_width = 0;
    int m_height = 0;
};

// The accumulation buffer. Framebuffer objects have none, so the render
// context keeps a floating-point one of its own with the meaning of glAccum:
//   Load(v):   accum = v x colour
//   Accum(v):  accum = accum + v x colour
//   Return(v): colour = v x accum       (v in 0..1; values are clamped to it)
// where colour is the scene framebuffer's colour. Each operation draws one
// full-screen quad; it saves and restores the GL state it touches and leaves
// the scene framebuffer bound. Render thread.
class aglAccumBuffer {
public:
    // Allocates (or resizes) the buffer; RGBA32F, else RGBA16F.
    bool Ensure(int width, int height);
    void Release() { m_buffer.Release(); }
    bool IsAllocated() const { return m_buffer.IsAllocated(); }

    void Load(const aglFramebuffer& scene, float value);
    void Accum(const aglFramebuffer& scene, float value);
    void Return(const aglFramebuffer& scene, float value);

private:
    void drawQuad(GLuint texture, float value, bool additive, int width, int height);
    aglFramebuffer m_buffer;
};
