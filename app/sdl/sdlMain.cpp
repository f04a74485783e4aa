// The SDL2 backend: entry point, window, GL context and event handling, and the platform services
// (keys, notice box, performance counter). Pairs with app/shell.cpp, which holds the loop's platform-free rules.
// On X11 the control keys act whichever window has the focus; elsewhere SDL sees them only while this one has it.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/keyLatch.h"
#include "app/sdl/sdlKeys.h"
#include "app/sdl/sdlViewer.h"
#include "app/sdl/sdlWindow.h"
#include "app/shell.h"
#include "base/platform.h"
#include "res/iconPicture.h"
#include "scene/scene.h"

namespace {

// Everything the backend holds for the run, in one record.
struct SdlShell {
    SDL_Window* window = nullptr;
    SDL_GLContext renderContext = nullptr;
    // Set when the window lives on X11: keys are then read from the server's global keyboard state.
    Display* x11Display = nullptr;
    KeyCode x11KeyCodes[controlKeyCount] = {};
    KeyCode x11KeypadCodes[controlKeyCount] = {};
    // The server's keyboard as it was when the event queue was last found empty, that is, just before the
    // frame that polls it: one round trip to the server per frame rather than one per key.
    char x11Keymap[32] = {};
    // The modifier bit NumLock locks, and whether it was locked when the keymap was read.
    unsigned x11NumLockMask = 0;
    bool x11NumLock = false;
    SDL_Scancode scancodes[controlKeyCount] = {};
    SDL_Scancode keypadScancodes[controlKeyCount] = {};
    KeyLatch latch;
};

SdlShell shell;

bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// SDL's invisible drivers would run the viewer where nobody can see it.
bool isInvisibleDriver(const char* driver)
{
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// The closest visual to what the program asks for. Mesa has no 32-bit depth buffer with stencil, and X picks
// the visual when the window is made, so each request is tried with a fresh window until one exists.
struct BufferRequest {
    int colourBits;  // per channel, red, green and blue; no alpha
    int depthBits;
    int stencilBits;
};

constexpr BufferRequest bufferRequests[] = {
    {8, 32, 8}, {8, 24, 8}, {8, 24, 0}, {8, 16, 0}, {5, 16, 0},
};

// Where each control key sits: SDL's scancodes, and on X11 the key codes of this server's keyboard map.
// Looking up "no key" would find an unused slot, so a control key without a keypad key keeps code 0.
void initKeyPolling()
{
    for (int index = 0; index < controlKeyCount; ++index) {
        const SdlControlKeys keys = sdlControlKeys(static_cast<ControlKey>(index));
        shell.scancodes[index] = SDL_GetScancodeFromKey(keys.keycode);
        if (keys.keypadKeycode != SDLK_UNKNOWN) {
            shell.keypadScancodes[index] = SDL_GetScancodeFromKey(keys.keypadKeycode);
        }
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(shell.window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    shell.x11Display = info.info.x11.display;
    for (int index = 0; index < controlKeyCount; ++index) {
        const SdlControlKeys keys = sdlControlKeys(static_cast<ControlKey>(index));
        shell.x11KeyCodes[index] = XKeysymToKeycode(shell.x11Display, keys.keySym);
        if (keys.keypadKeySym != NoSymbol) {
            shell.x11KeypadCodes[index] = XKeysymToKeycode(shell.x11Display, keys.keypadKeySym);
        }
    }
    shell.x11NumLockMask = XkbKeysymToModifiers(shell.x11Display, XK_Num_Lock);
}

// NumLock only matters while a keypad key is down, so the server is asked about it only then.
bool readX11NumLock()
{
    bool keypadDown = false;
    for (const KeyCode code : shell.x11KeypadCodes) {
        keypadDown = keypadDown || x11KeymapHasKey(shell.x11Keymap, code);
    }
    XkbStateRec state;
    if (!keypadDown || shell.x11NumLockMask == 0 || XkbGetState(shell.x11Display, XkbUseCoreKbd, &state) != Success) {
        return false;
    }
    return (state.locked_mods & shell.x11NumLockMask) != 0;
}

bool hasNumLock(const SDL_Event& event)
{
    return (event.key.keysym.mod & KMOD_NUM) != 0;
}

void initRenderContext()
{
    shell.renderContext = SDL_GL_CreateContext(shell.window);
    if (shell.renderContext != nullptr) {
        SDL_GL_MakeCurrent(shell.window, shell.renderContext);
    }
}

void releaseRenderContext()
{
    SDL_GL_MakeCurrent(shell.window, nullptr);
    SDL_GL_DeleteContext(shell.renderContext);
    shell.renderContext = nullptr;
}

// Queued behind whatever is already waiting, like a posted quit message.
void postQuit()
{
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

EventTaken takeEvent(int* exitCode)
{
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) {
        if (shell.x11Display != nullptr) {
            // pollControlKey reads this snapshot of the server's keyboard all through the frame drawn next.
            XQueryKeymap(shell.x11Display, shell.x11Keymap);
            shell.x11NumLock = readX11NumLock();
        }
        return EventTaken::none;
    }
    switch (event.type) {
    case SDL_QUIT:
        *exitCode = 0;
        return EventTaken::quit;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            postQuit();
        }
        break;
    case SDL_KEYDOWN: {
        // Held Esc repeats the request; the loop ends on the first one taken.
        if (event.key.keysym.sym == SDLK_ESCAPE) {
            postQuit();
        }
        ControlKey key;
        if (event.key.repeat == 0 && controlKeyFromKeycode(event.key.keysym.sym, hasNumLock(event), &key)) {
            latchKeyPress(shell.latch, key);
        }
        break;
    }
    case SDL_KEYUP: {
        ControlKey key;
        if (controlKeyFromKeycode(event.key.keysym.sym, hasNumLock(event), &key)) {
            latchKeyRelease(shell.latch, key);
        }
        break;
    }
    default:
        break;
    }
    return EventTaken::handled;
}

void presentFrame()
{
    SDL_GL_SwapWindow(shell.window);
}

bool scancodeDown(const Uint8* state, SDL_Scancode scancode)
{
    return scancode != SDL_SCANCODE_UNKNOWN && state[scancode] != 0;
}

}  // namespace

bool pollControlKey(ControlKey key)
{
    const int index = static_cast<int>(key);
    bool downNow = false;
    if (shell.x11Display != nullptr) {
        // The server's keyboard, not this window's events, so the keys act whichever window has the focus.
        downNow =
            x11ControlKeyDown(shell.x11Keymap, shell.x11KeyCodes[index], shell.x11KeypadCodes[index], shell.x11NumLock);
    } else {
        const Uint8* state = SDL_GetKeyboardState(nullptr);
        const bool numLock = (SDL_GetModState() & KMOD_NUM) != 0;
        downNow = scancodeDown(state, shell.scancodes[index]) ||
                  (!numLock && scancodeDown(state, shell.keypadScancodes[index]));
    }
    return pollLatchedKey(shell.latch, key, downNow);
}

void showNotice(const char* caption, const char* text)
{
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
}

int64_t readPerformanceCounter()
{
    return static_cast<int64_t>(SDL_GetPerformanceCounter());
}

int64_t readPerformanceFrequency()
{
    return static_cast<int64_t>(SDL_GetPerformanceFrequency());
}

bool openSdlVideo(const char* windowClass)
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "brevant: no display to open the window on: DISPLAY is not set\n");
        return false;
    }
    // A close request posts a quit of our own, as the Windows build does, rather than SDL adding one.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // X11's window class, named as the Windows build names its class, unless the user chose another.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", windowClass, 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "brevant: cannot open the display: %s\n", SDL_GetError());
        return false;
    }
    if (isInvisibleDriver(SDL_GetCurrentVideoDriver())) {
        std::fprintf(stderr, "brevant: no display to open the window on (SDL video driver \"%s\")\n",
                     SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "none");
        SDL_Quit();
        return false;
    }
    return true;
}

SDL_Window* createGlWindow(const char* title, int width, int height, Uint32 extraFlags)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // Windows' 32-bit colour is 8/8/8 in a 32-bit pixel. Asking X for a 32-bit buffer would pick an ARGB
    // visual, which a compositor blends with the desktop, so alpha stays at zero.
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    for (const BufferRequest& request : bufferRequests) {
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, request.colourBits);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, request.colourBits);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, request.colourBits);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, request.depthBits);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, request.stencilBits);
        SDL_Window* window =
            SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | extraFlags);
        if (window != nullptr) {
            return window;
        }
    }
    return nullptr;
}

void setWindowIcon(SDL_Window* window)
{
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, iconSize, iconSize, 32, SDL_PIXELFORMAT_RGBA32);
    if (icon == nullptr) {
        return;
    }
    for (int y = 0; y < iconSize; ++y) {
        auto* row = static_cast<uint8_t*>(icon->pixels) + y * icon->pitch;
        for (int x = 0; x < iconSize; ++x) {
            const IconColour& colour = iconPalette[iconPaletteIndex(x, y)];
            row[x * 4 + 0] = colour.red;
            row[x * 4 + 1] = colour.green;
            row[x * 4 + 2] = colour.blue;
            row[x * 4 + 3] = 255;
        }
    }
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

void writeUserText(UserStream stream, const char* text)
{
    FILE* out = stream == UserStream::error ? stderr : stdout;
    std::fputs(text, out);
    std::fflush(out);
}

std::string executableFolder()
{
    char* base = SDL_GetBasePath();
    if (base == nullptr) {
        return std::string();
    }
    std::string folder = base;
    SDL_free(base);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

int main(int argc, char** argv)
{
    if (argc > 1) {
        return runSdlViewer(argc, argv);
    }
    if (!openSdlVideo("OpenGL")) {
        return 1;
    }
    shell.window = createGlWindow("OpenGL", windowWidth, windowHeight, 0);
    if (shell.window == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL window: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    // The first interval starts with the window, so it takes in all of the start-up below.
    startFrameClock();
    setWindowIcon(shell.window);
    initKeyPolling();
    SDL_ShowWindow(shell.window);
    SDL_RaiseWindow(shell.window);

    initRenderContext();
    if (shell.renderContext == nullptr) {
        std::fprintf(stderr, "brevant: cannot create an OpenGL context: %s\n", SDL_GetError());
        SDL_DestroyWindow(shell.window);
        SDL_Quit();
        return 1;
    }
    resizeView(windowWidth, windowHeight);
    initScene();

    const LoopServices services = {takeEvent, renderFrame, presentFrame};
    const int exitCode = runMainLoop(services);

    releaseRenderContext();
    SDL_DestroyWindow(shell.window);
    shell.window = nullptr;
    SDL_Quit();
    return exitCode;
}
