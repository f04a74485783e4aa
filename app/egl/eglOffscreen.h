// Drawing without a display on Linux: an EGL context on Mesa's surfaceless platform, current with no surface,
// drawing into a framebuffer object of its own. Runs with DISPLAY unset and no X server or GPU device.
#pragma once

#include <cstdint>

enum class OffscreenFaultKind {
    none,
    badSize,         // "size 0 x 480 is not drawable"
    noSurfaceless,   // "EGL has no surfaceless platform (EGL_MESA_platform_surfaceless missing)"
    noDisplay,       // "eglGetPlatformDisplayEXT failed (EGL_BAD_PARAMETER)"
    initialize,      // "eglInitialize failed (EGL_NOT_INITIALIZED)"
    noDesktopGl,     // "eglBindAPI(EGL_OPENGL_API) failed (EGL_BAD_PARAMETER)"
    noConfig,        // "eglChooseConfig found no desktop GL configuration"
    createContext,   // "eglCreateContext failed (EGL_BAD_MATCH)"
    makeCurrent,     // "eglMakeCurrent without a surface failed (EGL_BAD_MATCH)"
    noFramebuffers,  // "the context has no framebuffer objects (OpenGL 2.1 Mesa ...)"
    tooLarge,        // "size 20000 x 20000 is over the context's limit of 16384"
    incomplete,      // "the framebuffer is incomplete (status 0x8cdd)"
};

struct OffscreenFault {
    OffscreenFaultKind kind = OffscreenFaultKind::none;
    char text[160] = {};
};

// An open context and its framebuffer. Plain handles, so this header needs neither EGL's nor GL's.
struct Offscreen {
    void* display = nullptr;
    void* context = nullptr;
    unsigned framebuffer = 0;
    unsigned colourBuffer = 0;
    unsigned depthBuffer = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Opens a desktop OpenGL compatibility context (the drawing code is fixed-function GL 1.x with GLU) and binds a
// width x height framebuffer of RGBA8 colour and 24-bit depth, the window's depth precision. On failure returns
// false, closes whatever was opened and says in fault which step failed, with the EGL error.
bool openOffscreen(int32_t width, int32_t height, Offscreen* out, OffscreenFault* fault);

// The framebuffer's RGBA pixels, top row first, into width * height * 4 bytes.
void readOffscreenRgba(const Offscreen& offscreen, uint8_t* rgba);

// Releases the framebuffer and the context; the record is left empty and may be closed again.
void closeOffscreen(Offscreen* offscreen);
