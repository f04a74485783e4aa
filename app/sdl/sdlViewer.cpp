// Viewer mode on SDL2: a resizable window titled with the model's name, SDL's events turned into ViewerEvents,
// and the shared main loop. Keys come only from the window's own events, so they act only while it has the focus.
#include "app/sdl/sdlViewer.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/info.h"
#include "app/platform.h"
#include "app/sdl/sdlWindow.h"
#include "app/shell.h"
#include "app/viewerMain.h"
#include "scene/viewerScene.h"

namespace {

SDL_Window* viewerWindow = nullptr;
// The model the window's title names.
std::string titledPath;

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
    case SDLK_F12:
        return ViewerKey::f12;
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

EventTaken takeViewerEvent(int* exitCode)
{
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
        handleViewerInput(event);
    }
    if (viewer.state.requests.quit || event.kind == ViewerEventKind::closeRequested) {
        *exitCode = 0;
        return EventTaken::quit;
    }
    return EventTaken::handled;
}

// SDL writes the title's UTF-8 bytes into X's legacy WM_NAME and WM_ICON_NAME too, whose STRING type is Latin-1,
// so window managers that read them show "modÃ¨le". They get the title in Latin-1 instead; _NET_WM_NAME keeps
// the UTF-8.
void setViewerTitle(const std::string& utf8)
{
    SDL_SetWindowTitle(viewerWindow, utf8.c_str());
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(viewerWindow, &info) || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    const std::string latin1 = latin1FromUtf8(utf8);
    const auto* data = reinterpret_cast<const unsigned char*>(latin1.data());
    for (const Atom property : {XA_WM_NAME, XA_WM_ICON_NAME}) {
        XChangeProperty(info.info.x11.display, info.info.x11.window, property, XA_STRING, 8, PropModeReplace, data,
                        static_cast<int>(latin1.size()));
    }
    XFlush(info.info.x11.display);
}

void presentViewerFrame()
{
    SDL_GL_SwapWindow(viewerWindow);
    // A dropped model is opened while the frame is drawn, so the title follows it here.
    if (viewer.body.path != titledPath) {
        titledPath = viewer.body.path;
        setViewerTitle(windowTitleFor(titledPath));
    }
}

void closeViewerWindow(SDL_GLContext context)
{
    SDL_GL_MakeCurrent(viewerWindow, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(viewerWindow);
    viewerWindow = nullptr;
    SDL_Quit();
}

}  // namespace

int runSdlViewer(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ViewerLaunch launch = prepareViewer(args);
    if (!launch.openWindow) {
        return launch.exitCode;
    }
    if (!openSdlVideo("brevant")) {
        return 1;
    }
    const ViewerOptions& options = viewer.options;
    viewerWindow =
        createGlWindow(windowTitleFor(viewer.body.path).c_str(), options.width, options.height, SDL_WINDOW_RESIZABLE);
    titledPath = viewer.body.path;
    if (viewerWindow != nullptr) {
        setViewerTitle(windowTitleFor(titledPath));
    }
    if (viewerWindow == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL window: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    startFrameClock();
    setWindowIcon(viewerWindow);
    SDL_ShowWindow(viewerWindow);
    SDL_RaiseWindow(viewerWindow);
    SDL_GLContext context = SDL_GL_CreateContext(viewerWindow);
    if (context == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL context: %s\n", SDL_GetError());
        SDL_DestroyWindow(viewerWindow);
        SDL_Quit();
        return 1;
    }
    SDL_GL_MakeCurrent(viewerWindow, context);

    int width = options.width;
    int height = options.height;
    SDL_GL_GetDrawableSize(viewerWindow, &width, &height);
    initViewerScene(width, height);

    if (!options.screenshotPath.empty()) {
        std::string reason;
        const bool saved = saveViewerScreenshot(options.screenshotPath, &reason);
        if (!saved) {
            writeUserText(UserStream::error, ("brevant: " + options.screenshotPath + ": " + reason + "\n").c_str());
        }
        closeViewerWindow(context);
        return saved ? 0 : 1;
    }

    const int exitCode = runMainLoop(LoopServices{takeViewerEvent, renderViewerFrame, presentViewerFrame});
    closeViewerWindow(context);
    return exitCode;
}
