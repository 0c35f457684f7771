// The one include for GL in the engine: OpenGL 1.x and GLU as the engine
// draws with them, plus the few newer entry points the platform layer needs
// (framebuffer objects), loaded at run time by aglEglContext.
// Only files in control/render include this.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

// Entry points beyond OpenGL 1.1, resolved once a context is current
// (aglEglContext::Create). Null until then.
struct aglGLExt {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
};

// Process-wide table; the entry points do not depend on the context on the
// platforms we use (Mesa, the vendor GL behind the same dispatch library).
const aglGLExt& aglGL();
