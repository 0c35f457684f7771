#include "aglEglContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

aglGLExt g_ext;
std::once_flag g_extOnce;

template <typename T> void load(T& fn, const char* name) {
    fn = reinterpret_cast<T>(eglGetProcAddress(name));
}

void loadExtensions() {
    std::call_once(g_extOnce, [] {
        load(g_ext.GenFramebuffers, "glGenFramebuffers");
        load(g_ext.DeleteFramebuffers, "glDeleteFramebuffers");
        load(g_ext.BindFramebuffer, "glBindFramebuffer");
        load(g_ext.FramebufferTexture2D, "glFramebufferTexture2D");
        load(g_ext.FramebufferRenderbuffer, "glFramebufferRenderbuffer");
        load(g_ext.CheckFramebufferStatus, "glCheckFramebufferStatus");
        load(g_ext.GenRenderbuffers, "glGenRenderbuffers");
        load(g_ext.DeleteRenderbuffers, "glDeleteRenderbuffers");
        load(g_ext.BindRenderbuffer, "glBindRenderbuffer");
        load(g_ext.RenderbufferStorage, "glRenderbufferStorage");
    });
}

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

std::string eglErrorText(const char* what) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s failed (EGL error 0x%04X)", what, unsigned(eglGetError()));
    return buf;
}

} // namespace

const aglGLExt& aglGL() {
    return g_ext;
}

aglEglContext::~aglEglContext() {
    Destroy();
}

bool aglEglContext::tryDisplay(void* displayPtr, const char* platform) {
    EGLDisplay display = static_cast<EGLDisplay>(displayPtr);
    if (display == EGL_NO_DISPLAY) {
        m_error = std::string(platform) + ": no display";
        return false;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        m_error = std::string(platform) + ": " + eglErrorText("eglInitialize");
        return false;
    }
    // Binding the API is per thread: it must happen here, on the render thread.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        m_error = std::string(platform) + ": " + eglErrorText("eglBindAPI(EGL_OPENGL_API)");
        return false;
    }
    // EGL_SURFACE_TYPE 0: we draw into framebuffer objects only. The default
    // asks for window surfaces, which a surfaceless display never matches.
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                    0,
                                    EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
        const char* exts = eglQueryString(display, EGL_EXTENSIONS);
        if (!hasExtension(exts, "EGL_KHR_no_config_context")) {
            m_error = std::string(platform) + ": no desktop OpenGL config";
            return false;
        }
        config = EGL_NO_CONFIG_KHR;
    }
    // Ask for the compatibility profile explicitly: the engine draws with the
    // fixed-function pipeline, display lists, feedback and glBitmap.
    const EGLint compatAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatAttribs);
    if (context == EGL_NO_CONTEXT) // EGL 1.4 without the profile attribute
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        m_error = std::string(platform) + ": " + eglErrorText("eglCreateContext");
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        m_error = std::string(platform) + ": " + eglErrorText("eglMakeCurrent without a surface");
        eglDestroyContext(display, context);
        return false;
    }
    loadExtensions();
    const aglGLExt& gl = aglGL();
    if (!gl.GenFramebuffers || !gl.BindFramebuffer || !gl.CheckFramebufferStatus ||
        !gl.GenRenderbuffers) {
        m_error = std::string(platform) + ": the GL has no framebuffer objects";
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
        return false;
    }
    m_display = display;
    m_context = context;
    m_platform = platform;
    m_error.clear();
    return true;
}

bool aglEglContext::Create() {
    Destroy();
    const char* forced = std::getenv("TAVRIX_EGL_PLATFORM");
    const std::string want = forced && *forced ? forced : "auto";
    if (want != "auto" && want != "surfaceless" && want != "device" && want != "default") {
        m_error = "TAVRIX_EGL_PLATFORM must be surfaceless, device, default or auto, not \"" +
                  want + "\"";
        return false;
    }
    std::string errors;
    auto note = [&] {
        if (!m_error.empty()) errors += (errors.empty() ? "" : "; ") + m_error;
    };
    const char* clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));

    if (want == "auto" || want == "surfaceless") {
        if (getPlatformDisplay && hasExtension(clientExts, "EGL_MESA_platform_surfaceless")) {
            if (tryDisplay(
                    getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
                    "surfaceless"))
                return true;
        } else {
            m_error = "surfaceless: EGL_MESA_platform_surfaceless not offered";
        }
        note();
    }
    if (want == "auto" || want == "device") {
        auto queryDevices =
            reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLDeviceEXT devices[16];
        EGLint n = 0;
        if (getPlatformDisplay && queryDevices &&
            hasExtension(clientExts, "EGL_EXT_platform_device") && queryDevices(16, devices, &n) &&
            n > 0) {
            for (EGLint i = 0; i < n; ++i) {
                if (tryDisplay(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr),
                               "device"))
                    return true;
                note();
            }
        } else {
            m_error = "device: no EGL devices";
            note();
        }
    }
    if (want == "auto" || want == "default") {
        if (tryDisplay(eglGetDisplay(EGL_DEFAULT_DISPLAY), "default")) return true;
        note();
    }
    m_error = "no OpenGL context could be made (" + errors + ")";
    return false;
}

void aglEglContext::Destroy() {
    if (!m_context) return;
    EGLDisplay display = static_cast<EGLDisplay>(m_display);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, static_cast<EGLContext>(m_context));
    // No eglTerminate: the display is shared by every render context of the
    // process and terminating it would pull the others' contexts away.
    eglReleaseThread();
    m_context = nullptr;
    m_display = nullptr;
}

// --- aglFramebuffer -------------------------------------------------------

bool aglFramebuffer::Allocate(int width, int height, GLenum colorFormat, bool withDepth) {
    Release();
    const aglGLExt& gl = aglGL();
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    glGenTextures(1, &m_texture);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const bool isFloat = colorFormat == GL_RGBA32F || colorFormat == GL_RGBA16F;
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(colorFormat), width, height, 0, GL_RGBA,
                 isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    gl.GenFramebuffers(1, &m_fbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_texture, 0);
    bool complete = true;
    if (withDepth) {
        gl.GenRenderbuffers(1, &m_depth);
        gl.BindRenderbuffer(GL_RENDERBUFFER, m_depth);
        complete = false;
        for (GLenum depthFormat : {GLenum(GL_DEPTH_COMPONENT32), GLenum(GL_DEPTH_COMPONENT24)}) {
            while (glGetError() != GL_NO_ERROR) {
            }
            gl.RenderbufferStorage(GL_RENDERBUFFER, depthFormat, width, height);
            if (glGetError() != GL_NO_ERROR) continue;
            gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                       m_depth);
            if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
                complete = true;
                break;
            }
        }
        gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
    } else {
        complete = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    if (!complete) {
        Release();
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

void aglFramebuffer::Release() {
    const aglGLExt& gl = aglGL();
    if (m_fbo) gl.DeleteFramebuffers(1, &m_fbo);
    if (m_depth) gl.DeleteRenderbuffers(1, &m_depth);
    if (m_texture) glDeleteTextures(1, &m_texture);
    m_fbo = m_depth = m_texture = 0;
    m_width = m_height = 0;
}

void aglFramebuffer::Bind() const {
    aglGL().BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
}

// --- aglAccumBuffer -------------------------------------------------------

bool aglAccumBuffer::Ensure(int width, int height) {
    if (m_buffer.IsAllocated() && m_buffer.Width() == width && m_buffer.Height() == height)
        return true;
    return m_buffer.Allocate(width, height, GL_RGBA32F, false) ||
           m_buffer.Allocate(width, height, GL_RGBA16F, false);
}

void aglAccumBuffer::drawQuad(GLuint texture, float value, bool additive, int width, int height) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glViewport(0, 0, width, height);
    for (GLenum cap :
         {GL_DEPTH_TEST, GL_LIGHTING, GL_FOG, GL_CULL_FACE, GL_ALPHA_TEST, GL_STENCIL_TEST,
          GL_SCISSOR_TEST, GL_DITHER, GL_COLOR_MATERIAL, GL_TEXTURE_1D, GL_POLYGON_OFFSET_FILL,
          GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_POLYGON_STIPPLE, GL_COLOR_LOGIC_OP})
        glDisable(cap);
    for (int i = 0; i < 6; ++i)
        glDisable(GLenum(GL_CLIP_PLANE0 + i));
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (additive) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
    } else {
        glDisable(GL_BLEND);
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const float v = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    glColor4f(v, v, v, v);
    // Texel centres fall on fragment centres with a full-viewport quad and
    // nearest filtering, so every pixel reads exactly its own texel.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);

    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void aglAccumBuffer::Load(const aglFramebuffer& scene, float value) {
    m_buffer.Bind();
    drawQuad(scene.Texture(), value, false, scene.Width(), scene.Height());
    scene.Bind();
}

void aglAccumBuffer::Accum(const aglFramebuffer& scene, float value) {
    m_buffer.Bind();
    drawQuad(scene.Texture(), value, true, scene.Width(), scene.Height());
    scene.Bind();
}

void aglAccumBuffer::Return(const aglFramebuffer& scene, float value) {
    scene.Bind();
    drawQuad(m_buffer.Texture(), value, false, scene.Width(), scene.Height());
}
