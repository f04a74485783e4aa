// Viewer mode on SDL2: the window services of the shared run sequence (a resizable window titled with the model's
// name) and SDL's events turned into ViewerEvents. Keys come only from the window's own events, so they act only
// while it has the focus.
#include "app/sdl/sdlViewer.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include <cstdlib>

#include "app/egl/eglViewer.h"
#include "app/info.h"
#include "app/options.h"
#include "app/sdl/sdlWindow.h"
#include "app/viewerRun.h"

namespace {

struct SdlViewerWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    ViewerHost host;
};

ViewerKey viewerKeyFromSdl(const SDL_Keysym& keysym)
{
    // The keypad's arrows with NumLock off, as Windows reports them.
    const bool keypadArrows = (keysym.mod & KMOD_NUM) == 0;
    switch (keysym.sym) {
    case SDLK_UP:
        return ViewerKey::up;
    case SDLK_DOWN:
        return ViewerKey::down;
    case SDLK_LEFT:
        return ViewerKey::left;
    case SDLK_RIGHT:
        return ViewerKey::right;
    case SDLK_KP_8:
        return keypadArrows ? ViewerKey::up : ViewerKey::none;
    case SDLK_KP_2:
        return keypadArrows ? ViewerKey::down : ViewerKey::none;
    case SDLK_KP_4:
        return keypadArrows ? ViewerKey::left : ViewerKey::none;
    case SDLK_KP_6:
        return keypadArrows ? ViewerKey::right : ViewerKey::none;
    case SDLK_a:
        return ViewerKey::a;
    case SDLK_z:
        return ViewerKey::z;
    case SDLK_HOME:
        return ViewerKey::home;
    case SDLK_r:
        return ViewerKey::r;
    case SDLK_SPACE:
        return ViewerKey::space;
    case SDLK_COMMA:
        return ViewerKey::comma;
    case SDLK_PERIOD:
        return ViewerKey::period;
    case SDLK_PAGEUP:
        return ViewerKey::pageUp;
    case SDLK_PAGEDOWN:
        return ViewerKey::pageDown;
    case SDLK_s:
        return ViewerKey::s;
    case SDLK_w:
        return ViewerKey::w;
    case SDLK_l:
        return ViewerKey::l;
    case SDLK_LEFTBRACKET:
        return ViewerKey::leftBracket;
    case SDLK_RIGHTBRACKET:
        return ViewerKey::rightBracket;
    case SDLK_F12:
        return ViewerKey::f12;
    case SDLK_TAB:
        return (keysym.mod & KMOD_SHIFT) != 0 ? ViewerKey::backTab : ViewerKey::tab;
    case SDLK_ESCAPE:
        return ViewerKey::escape;
    default:
        return ViewerKey::none;
    }
}

// The one place SDL's events become the viewer's own; false for events the viewer has no use for.
bool viewerEventFromSdl(const SDL_Event& native, ViewerEvent& event)
{
    switch (native.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        event.kind = native.type == SDL_KEYDOWN ? ViewerEventKind::keyDown : ViewerEventKind::keyUp;
        event.key = viewerKeyFromSdl(native.key.keysym);
        return event.key != ViewerKey::none;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        event.kind = native.type == SDL_MOUSEBUTTONDOWN ? ViewerEventKind::buttonDown : ViewerEventKind::buttonUp;
        event.button = native.button.button == SDL_BUTTON_LEFT     ? 1
                       : native.button.button == SDL_BUTTON_MIDDLE ? 2
                       : native.button.button == SDL_BUTTON_RIGHT  ? 3
                                                                   : 0;
        event.x = native.button.x;
        event.y = native.button.y;
        return true;
    case SDL_MOUSEMOTION:
        event.kind = ViewerEventKind::mouseMove;
        event.x = native.motion.x;
        event.y = native.motion.y;
        return true;
    case SDL_MOUSEWHEEL:
        event.kind = ViewerEventKind::wheel;
        event.wheel =
            static_cast<float>(native.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -native.wheel.y : native.wheel.y);
        return event.wheel != 0.0f;
    case SDL_DROPFILE:
        event.kind = ViewerEventKind::fileDropped;
        event.path = native.drop.file != nullptr ? native.drop.file : "";
        return !event.path.empty();
    case SDL_WINDOWEVENT:
        switch (native.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            event.kind = ViewerEventKind::resized;
            event.width = native.window.data1;
            event.height = native.window.data2;
            return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            event.kind = ViewerEventKind::focusLost;
            return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            event.kind = ViewerEventKind::focusGained;
            return true;
        case SDL_WINDOWEVENT_CLOSE:
            event.kind = ViewerEventKind::closeRequested;
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

bool openWindow(void* context, const ViewerHost& host, const char* title, int32_t width, int32_t height)
{
    SdlViewerWindow& sdl = *static_cast<SdlViewerWindow*>(context);
    sdl.host = host;
    if (!openSdlVideo("brevant")) {
        return false;
    }
    sdl.window = createGlWindow(title, width, height, SDL_WINDOW_RESIZABLE);
    if (sdl.window == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL window: %s\n", SDL_GetError());
        SDL_Quit();
        return false;
    }
    setWindowIcon(sdl.window);
    SDL_ShowWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
    sdl.context = SDL_GL_CreateContext(sdl.window);
    if (sdl.context == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL context: %s\n", SDL_GetError());
        SDL_DestroyWindow(sdl.window);
        sdl.window = nullptr;
        SDL_Quit();
        return false;
    }
    SDL_GL_MakeCurrent(sdl.window, sdl.context);
    return true;
}

void drawableSize(void* context, int32_t* width, int32_t* height)
{
    SDL_GL_GetDrawableSize(static_cast<SdlViewerWindow*>(context)->window, width, height);
}

EventTaken pollWindow(void* context, int* exitCode)
{
    SdlViewerWindow& sdl = *static_cast<SdlViewerWindow*>(context);
    SDL_Event native;
    if (SDL_PollEvent(&native) == 0) {
        return EventTaken::none;
    }
    if (native.type == SDL_QUIT) {
        *exitCode = 0;
        return EventTaken::quit;
    }
    ViewerEvent event;
    const bool wanted = viewerEventFromSdl(native, event);
    if (native.type == SDL_DROPFILE) {
        SDL_free(native.drop.file);
    }
    if (wanted) {
        deliverViewerEvent(sdl.host, event);
    }
    return EventTaken::handled;
}

void swapWindow(void* context)
{
    SDL_GL_SwapWindow(static_cast<SdlViewerWindow*>(context)->window);
}

// SDL writes the title's UTF-8 bytes into X's legacy WM_NAME and WM_ICON_NAME too, whose STRING type is Latin-1,
// so window managers that read them show "modÃ¨le". They get the title in Latin-1 instead; _NET_WM_NAME keeps
// the UTF-8.
void setTitle(void* context, const char* utf8Title)
{
    SDL_Window* window = static_cast<SdlViewerWindow*>(context)->window;
    SDL_SetWindowTitle(window, utf8Title);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    const std::string latin1 = latin1FromUtf8(utf8Title);
    const auto* data = reinterpret_cast<const unsigned char*>(latin1.data());
    for (const Atom property : {XA_WM_NAME, XA_WM_ICON_NAME}) {
        XChangeProperty(info.info.x11.display, info.info.x11.window, property, XA_STRING, 8, PropModeReplace, data,
                        static_cast<int>(latin1.size()));
    }
    XFlush(info.info.x11.display);
}

// Not SDL_WaitEventTimeout: on X11 it leaves SDL a window to wake with XSendEvent, and an event pushed while the
// window is being destroyed then ends the program with BadWindow. Short sleeps between looks cost next to nothing.
void waitEvents(void*, int32_t milliseconds)
{
    const Uint32 start = SDL_GetTicks();
    for (;;) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
            return;
        }
        const Uint32 elapsed = SDL_GetTicks() - start;
        if (milliseconds >= 0 && elapsed >= static_cast<Uint32>(milliseconds)) {
            return;
        }
        const Uint32 left = milliseconds >= 0 ? static_cast<Uint32>(milliseconds) - elapsed : 4;
        SDL_Delay(left < 4 ? left : 4);
    }
}

void setSwapInterval(void*, int32_t interval)
{
    // Drivers without it keep swapping at once; the run's own cap then paces the frames.
    SDL_GL_SetSwapInterval(interval);
}

void closeWindow(void* context)
{
    SdlViewerWindow& sdl = *static_cast<SdlViewerWindow*>(context);
    SDL_GL_MakeCurrent(sdl.window, nullptr);
    SDL_GL_DeleteContext(sdl.context);
    SDL_DestroyWindow(sdl.window);
    sdl = SdlViewerWindow{};
    SDL_Quit();
}

}  // namespace

int runSdlViewer(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // A run that only saves a picture needs no X server; BREVANT_PICTURE_WINDOW=1 draws it in a window instead,
    // for setting the two side by side.
    ViewerOptions options;
    const char* inWindow = std::getenv("BREVANT_PICTURE_WINDOW");
    const bool windowWanted = inWindow != nullptr && std::string(inWindow) == "1";
    if (!windowWanted && parseOptions(args, options).action == OptionsAction::run && optionsDrawOffscreen(options)) {
        EglViewer offscreen;
        return runViewer(args, eglViewerWindow(offscreen));
    }
    SdlViewerWindow sdl;
    const ViewerWindow window{&sdl,     openWindow,  drawableSize, pollWindow,     swapWindow,
                              setTitle, closeWindow, waitEvents,   setSwapInterval};
    return runViewer(args, window);
}
