// The Windows shell: WinMain, the window procedure, the WGL rendering context and the PeekMessageA loop.
// Pairs with winPlatform.cpp (the platform services) and drives the shared loop of app/shell.cpp.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/shell.h"
#include "app/win32/winShell.h"
#include "scene/scene.h"

RECT windowRect = {};
HWND window = nullptr;
HDC deviceContext = nullptr;
HGLRC renderContext = nullptr;

namespace {

MSG message = {};

constexpr DWORD windowStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU;
constexpr DWORD windowExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
// An overlapped window with a system menu always gets a caption, so the frame is sized with it counted.
constexpr DWORD framedStyle = windowStyle | WS_CAPTION;

}  // namespace

LRESULT CALLBACK windowProc(HWND windowHandle, UINT messageId, WPARAM wParam, LPARAM lParam)
{
    switch (messageId) {
    case WM_CREATE:
        startFrameClock();
        break;
    case WM_CLOSE:
        PostQuitMessage(0);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            PostQuitMessage(0);
        }
        break;
    default:
        break;
    }
    // Its own handle, not the global window: that is only set once CreateWindowExA has returned.
    return DefWindowProcA(windowHandle, messageId, wParam, lParam);
}

void initRenderContext()
{
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = 40;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 32;
    descriptor.cStencilBits = 8;

    deviceContext = GetDC(window);
    const int format = ChoosePixelFormat(deviceContext, &descriptor);
    SetPixelFormat(deviceContext, format, &descriptor);
    renderContext = wglCreateContext(deviceContext);
    wglMakeCurrent(deviceContext, renderContext);
}

void releaseRenderContext()
{
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(renderContext);
    ReleaseDC(window, deviceContext);
}

namespace {

EventTaken takeMessage(int* exitCode)
{
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        return EventTaken::none;
    }
    if (message.message == WM_QUIT) {
        *exitCode = static_cast<int>(message.wParam);
        return EventTaken::quit;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return EventTaken::handled;
}

void presentFrame()
{
    SwapBuffers(deviceContext);
}

}  // namespace

namespace {

// The arguments after the program's name, as UTF-8, from the wide command line (the ANSI one loses names
// outside the code page). Empty for the plain program, which takes no arguments.
std::vector<std::string> commandLineArguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return args;
    }
    for (int index = 1; index < count; ++index) {
        args.push_back(utf8FromWide(wide[index]));
    }
    LocalFree(wide);
    return args;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const std::vector<std::string> args = commandLineArguments();
    if (!args.empty()) {
        return runWinViewer(instance, args);
    }
    windowRect = {0, 0, windowWidth, windowHeight};

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconResource));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "OpenGL";
    RegisterClassA(&windowClass);

    AdjustWindowRectEx(&windowRect, framedStyle, FALSE, windowExStyle);
    window = CreateWindowExA(windowExStyle, "OpenGL", "OpenGL", windowStyle, 0, 0, windowRect.right - windowRect.left,
                             windowRect.bottom - windowRect.top, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);

    initRenderContext();
    resizeView(windowWidth, windowHeight);
    initScene();

    const int exitCode = runMainLoop(LoopServices{takeMessage, renderFrame, presentFrame});

    releaseRenderContext();
    DestroyWindow(window);
    return exitCode;
}
