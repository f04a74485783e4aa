// The surfaceless EGL context and its framebuffer object. Framebuffer functions are looked up through
// eglGetProcAddress: they are OpenGL 3.0, past what the GL 1.x headers declare.
#include "app/egl/eglOffscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/glApi.h"

namespace {

struct FramebufferApi {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
};

template <typename Function>
bool lookUp(Function* function, const char* name)
{
    *function = reinterpret_cast<Function>(eglGetProcAddress(name));
    return *function != nullptr;
}

bool lookUpFramebufferApi(FramebufferApi* api)
{
    return lookUp(&api->genFramebuffers, "glGenFramebuffers") &&
           lookUp(&api->deleteFramebuffers, "glDeleteFramebuffers") &&
           lookUp(&api->bindFramebuffer, "glBindFramebuffer") && lookUp(&api->genRenderbuffers, "glGenRenderbuffers") &&
           lookUp(&api->deleteRenderbuffers, "glDeleteRenderbuffers") &&
           lookUp(&api->bindRenderbuffer, "glBindRenderbuffer") &&
           lookUp(&api->renderbufferStorage, "glRenderbufferStorage") &&
           lookUp(&api->framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           lookUp(&api->checkFramebufferStatus, "glCheckFramebufferStatus");
}

const char* eglErrorName(EGLint error)
{
    struct Name {
        EGLint error;
        const char* name;
    };
    static const Name names[] = {
        {EGL_SUCCESS, "EGL_SUCCESS"},
        {EGL_NOT_INITIALIZED, "EGL_NOT_INITIALIZED"},
        {EGL_BAD_ACCESS, "EGL_BAD_ACCESS"},
        {EGL_BAD_ALLOC, "EGL_BAD_ALLOC"},
        {EGL_BAD_ATTRIBUTE, "EGL_BAD_ATTRIBUTE"},
        {EGL_BAD_CONFIG, "EGL_BAD_CONFIG"},
        {EGL_BAD_CONTEXT, "EGL_BAD_CONTEXT"},
        {EGL_BAD_CURRENT_SURFACE, "EGL_BAD_CURRENT_SURFACE"},
        {EGL_BAD_DISPLAY, "EGL_BAD_DISPLAY"},
        {EGL_BAD_MATCH, "EGL_BAD_MATCH"},
        {EGL_BAD_NATIVE_PIXMAP, "EGL_BAD_NATIVE_PIXMAP"},
        {EGL_BAD_NATIVE_WINDOW, "EGL_BAD_NATIVE_WINDOW"},
        {EGL_BAD_PARAMETER, "EGL_BAD_PARAMETER"},
        {EGL_BAD_SURFACE, "EGL_BAD_SURFACE"},
        {EGL_CONTEXT_LOST, "EGL_CONTEXT_LOST"},
    };
    for (const Name& entry : names) {
        if (entry.error == error) {
            return entry.name;
        }
    }
    return "an unknown EGL error";
}

bool refuse(OffscreenFault* fault, OffscreenFaultKind kind, const char* format, ...)
{
    if (fault != nullptr) {
        fault->kind = kind;
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(fault->text, sizeof fault->text, format, arguments);
        va_end(arguments);
    }
    return false;
}

// The step's name and EGL's reason, taken straight after the call that failed.
bool refuseEgl(OffscreenFault* fault, OffscreenFaultKind kind, const char* step)
{
    return refuse(fault, kind, "%s failed (%s)", step, eglErrorName(eglGetError()));
}

// Whether a space-separated EGL extension list names the extension exactly.
bool hasExtension(const char* list, const char* name)
{
    if (list == nullptr) {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

bool openContext(Offscreen* out, OffscreenFault* fault)
{
    // Client extensions are asked of no display; an EGL without any says EGL_BAD_DISPLAY and returns null.
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(clientExtensions, "EGL_EXT_platform_base") ||
        !hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        return refuse(fault, OffscreenFaultKind::noSurfaceless,
                      "EGL has no surfaceless platform (EGL_MESA_platform_surfaceless missing)");
    }
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay = nullptr;
    if (!lookUp(&getPlatformDisplay, "eglGetPlatformDisplayEXT")) {
        return refuse(fault, OffscreenFaultKind::noSurfaceless, "EGL does not offer eglGetPlatformDisplayEXT");
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        return refuseEgl(fault, OffscreenFaultKind::noDisplay, "eglGetPlatformDisplayEXT(surfaceless)");
    }
    if (eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        return refuseEgl(fault, OffscreenFaultKind::initialize, "eglInitialize");
    }
    out->display = display;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        return refuseEgl(fault, OffscreenFaultKind::noDesktopGl, "eglBindAPI(EGL_OPENGL_API)");
    }
    // The buffers live in the framebuffer object; the configuration only has to offer desktop GL.
    const EGLint configWanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (eglChooseConfig(display, configWanted, &config, 1, &configCount) != EGL_TRUE) {
        return refuseEgl(fault, OffscreenFaultKind::noConfig, "eglChooseConfig");
    }
    if (configCount < 1) {
        return refuse(fault, OffscreenFaultKind::noConfig, "eglChooseConfig found no desktop GL configuration");
    }
    // No attributes: a context of the legacy kind, which Mesa makes a compatibility profile, as the window's.
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        return refuseEgl(fault, OffscreenFaultKind::createContext, "eglCreateContext");
    }
    out->context = context;
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        return refuseEgl(fault, OffscreenFaultKind::makeCurrent, "eglMakeCurrent without a surface");
    }
    return true;
}

bool openFramebuffer(const FramebufferApi& api, Offscreen* out, OffscreenFault* fault)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    GLint viewportLimits[2] = {};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportLimits);
    largest = std::min({largest, viewportLimits[0], viewportLimits[1]});
    if (out->width > largest || out->height > largest) {
        return refuse(fault, OffscreenFaultKind::tooLarge, "size %d x %d is over the context's limit of %d",
                      int(out->width), int(out->height), int(largest));
    }
    api.genFramebuffers(1, &out->framebuffer);
    api.bindFramebuffer(GL_FRAMEBUFFER, out->framebuffer);
    api.genRenderbuffers(1, &out->colourBuffer);
    api.bindRenderbuffer(GL_RENDERBUFFER, out->colourBuffer);
    api.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, out->width, out->height);
    api.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, out->colourBuffer);
    api.genRenderbuffers(1, &out->depthBuffer);
    api.bindRenderbuffer(GL_RENDERBUFFER, out->depthBuffer);
    api.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, out->width, out->height);
    api.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, out->depthBuffer);
    api.bindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLenum status = api.checkFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        return refuse(fault, OffscreenFaultKind::incomplete, "the framebuffer is incomplete (status 0x%04x)",
                      unsigned(status));
    }
    glViewport(0, 0, out->width, out->height);
    return true;
}

}  // namespace

bool openOffscreen(int32_t width, int32_t height, Offscreen* out, OffscreenFault* fault)
{
    *out = Offscreen{};
    if (width < 1 || height < 1) {
        return refuse(fault, OffscreenFaultKind::badSize, "size %d x %d is not drawable", int(width), int(height));
    }
    out->width = width;
    out->height = height;
    FramebufferApi api{};
    bool opened = openContext(out, fault);
    if (opened && !lookUpFramebufferApi(&api)) {
        const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        opened = refuse(fault, OffscreenFaultKind::noFramebuffers, "the context has no framebuffer objects (OpenGL %s)",
                        version != nullptr ? version : "of unknown version");
    }
    opened = opened && openFramebuffer(api, out, fault);
    if (!opened) {
        closeOffscreen(out);
    }
    return opened;
}

void readOffscreenRgba(const Offscreen& offscreen, uint8_t* rgba)
{
    const size_t rowBytes = static_cast<size_t>(offscreen.width) * 4;
    std::vector<uint8_t> row(rowBytes);
    glFinish();
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, offscreen.width, offscreen.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    // GL counts rows from the bottom; pictures are written from the top.
    for (int32_t top = 0, bottom = offscreen.height - 1; top < bottom; ++top, --bottom) {
        uint8_t* upper = rgba + static_cast<size_t>(top) * rowBytes;
        uint8_t* lower = rgba + static_cast<size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), upper, rowBytes);
        std::memcpy(upper, lower, rowBytes);
        std::memcpy(lower, row.data(), rowBytes);
    }
}

void closeOffscreen(Offscreen* offscreen)
{
    auto display = static_cast<EGLDisplay>(offscreen->display);
    if (display != nullptr && offscreen->context != nullptr &&
        eglGetCurrentContext() == static_cast<EGLContext>(offscreen->context)) {
        FramebufferApi api{};
        if (lookUpFramebufferApi(&api)) {
            api.bindFramebuffer(GL_FRAMEBUFFER, 0);
            if (offscreen->framebuffer != 0) {
                api.deleteFramebuffers(1, &offscreen->framebuffer);
            }
            const GLuint renderbuffers[] = {offscreen->colourBuffer, offscreen->depthBuffer};
            for (GLuint renderbuffer : renderbuffers) {
                if (renderbuffer != 0) {
                    api.deleteRenderbuffers(1, &renderbuffer);
                }
            }
        }
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (display != nullptr && offscreen->context != nullptr) {
        eglDestroyContext(display, static_cast<EGLContext>(offscreen->context));
    }
    if (display != nullptr) {
        eglTerminate(display);
    }
    *offscreen = Offscreen{};
}
