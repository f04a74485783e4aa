// Viewer mode on Windows: the window services of the shared run sequence (a resizable window that accepts
// dropped files) and its messages turned into ViewerEvents. Pairs with winMain.cpp, whose context set-up it reuses.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/viewerRun.h"
#include "app/win32/winShell.h"
#include "base/platform.h"

namespace {

constexpr DWORD viewerStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD viewerExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_ACCEPTFILES;
constexpr wchar_t viewerClassName[] = L"BrevantViewer";

struct WinViewerWindow {
    HINSTANCE instance = nullptr;
    ViewerHost host;
    MSG message = {};
};

// The window procedure has no context of its own: the one window's record, while it is open.
WinViewerWindow* openWindowRecord = nullptr;

ViewerKey viewerKeyFromVirtualKey(WPARAM key)
{
    switch (key) {
    case VK_UP:
        return ViewerKey::up;
    case VK_DOWN:
        return ViewerKey::down;
    case VK_LEFT:
        return ViewerKey::left;
    case VK_RIGHT:
        return ViewerKey::right;
    case 'A':
        return ViewerKey::a;
    case 'Z':
        return ViewerKey::z;
    case VK_HOME:
        return ViewerKey::home;
    case 'R':
        return ViewerKey::r;
    case VK_SPACE:
        return ViewerKey::space;
    case VK_OEM_COMMA:
        return ViewerKey::comma;
    case VK_OEM_PERIOD:
        return ViewerKey::period;
    case VK_PRIOR:
        return ViewerKey::pageUp;
    case VK_NEXT:
        return ViewerKey::pageDown;
    case 'S':
        return ViewerKey::s;
    case 'W':
        return ViewerKey::w;
    case 'L':
        return ViewerKey::l;
    case VK_OEM_4:
        return ViewerKey::leftBracket;
    case VK_OEM_6:
        return ViewerKey::rightBracket;
    case VK_F12:
        return ViewerKey::f12;
    case VK_TAB:
        return GetKeyState(VK_SHIFT) < 0 ? ViewerKey::backTab : ViewerKey::tab;
    case VK_ESCAPE:
        return ViewerKey::escape;
    default:
        return ViewerKey::none;
    }
}

void handleDroppedFiles(HDROP drop)
{
    const UINT count = DragQueryFileW(drop, 0xffffffffu, nullptr, 0);
    for (UINT index = 0; index < count; ++index) {
        const UINT length = DragQueryFileW(drop, index, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        DragQueryFileW(drop, index, name.data(), length + 1);
        name.resize(length);
        ViewerEvent event;
        event.kind = ViewerEventKind::fileDropped;
        event.path = utf8FromWide(name);
        deliverViewerEvent(openWindowRecord->host, event);
    }
    DragFinish(drop);
}

// The one place Windows messages become the viewer's own events; returns true when the message was the viewer's.
bool viewerEventFromMessage(UINT messageId, WPARAM wParam, LPARAM lParam, ViewerEvent& event)
{
    switch (messageId) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        event.kind = messageId == WM_KEYDOWN ? ViewerEventKind::keyDown : ViewerEventKind::keyUp;
        event.key = viewerKeyFromVirtualKey(wParam);
        return event.key != ViewerKey::none;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: {
        const bool down = messageId == WM_LBUTTONDOWN || messageId == WM_MBUTTONDOWN || messageId == WM_RBUTTONDOWN;
        event.kind = down ? ViewerEventKind::buttonDown : ViewerEventKind::buttonUp;
        event.button = (messageId == WM_LBUTTONDOWN || messageId == WM_LBUTTONUP)   ? 1
                       : (messageId == WM_MBUTTONDOWN || messageId == WM_MBUTTONUP) ? 2
                                                                                    : 3;
        event.x = static_cast<short>(LOWORD(lParam));
        event.y = static_cast<short>(HIWORD(lParam));
        return true;
    }
    case WM_CAPTURECHANGED:
        // Capture taken away mid-drag (a menu, another program) means the button-up will never come here.
        event.kind = ViewerEventKind::buttonUp;
        event.button = 1;
        return true;
    case WM_MOUSEMOVE:
        event.kind = ViewerEventKind::mouseMove;
        event.x = static_cast<short>(LOWORD(lParam));
        event.y = static_cast<short>(HIWORD(lParam));
        return true;
    case WM_MOUSEWHEEL:
        event.kind = ViewerEventKind::wheel;
        event.wheel = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
        return true;
    case WM_SIZE:
        event.kind = ViewerEventKind::resized;
        event.width = LOWORD(lParam);
        event.height = HIWORD(lParam);
        return wParam != SIZE_MINIMIZED;
    case WM_KILLFOCUS:
        event.kind = ViewerEventKind::focusLost;
        return true;
    case WM_SETFOCUS:
        event.kind = ViewerEventKind::focusGained;
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK viewerWindowProc(HWND windowHandle, UINT messageId, WPARAM wParam, LPARAM lParam)
{
    switch (messageId) {
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_DROPFILES:
        handleDroppedFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_PAINT:
        // The main loop stands still while the user drags the frame (Windows runs its own loop then), so the
        // picture is redrawn here at each new size.
        if (renderContext != nullptr && openWindowRecord != nullptr) {
            openWindowRecord->host.redraw(openWindowRecord->host.run);
        }
        ValidateRect(windowHandle, nullptr);
        return 0;
    case WM_LBUTTONDOWN:
        SetCapture(windowHandle);
        break;
    case WM_LBUTTONUP:
        ReleaseCapture();
        break;
    default:
        break;
    }
    ViewerEvent event;
    // Size messages arrive before the context exists; the scene takes the size once it is made.
    if (renderContext != nullptr && openWindowRecord != nullptr &&
        viewerEventFromMessage(messageId, wParam, lParam, event)) {
        deliverViewerEvent(openWindowRecord->host, event);
    }
    return DefWindowProcW(windowHandle, messageId, wParam, lParam);
}

bool openWindow(void* context, const ViewerHost& host, const char* title, int32_t width, int32_t height)
{
    WinViewerWindow& win = *static_cast<WinViewerWindow*>(context);
    win.host = host;
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = viewerWindowProc;
    windowClass.hInstance = win.instance;
    windowClass.hIcon = LoadIconW(win.instance, MAKEINTRESOURCEW(iconResource));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = viewerClassName;
    RegisterClassW(&windowClass);

    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, viewerStyle, FALSE, viewerExStyle);
    const std::wstring wideTitle = wideFromUtf8(title);
    window =
        CreateWindowExW(viewerExStyle, viewerClassName, wideTitle.c_str(), viewerStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, win.instance, nullptr);
    if (window == nullptr) {
        writeUserText(UserStream::error, "brevant: cannot create the window\n");
        return false;
    }
    openWindowRecord = &win;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    initRenderContext();
    return true;
}

void drawableSize(void*, int32_t* width, int32_t* height)
{
    RECT client = {};
    GetClientRect(window, &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

EventTaken pollWindow(void* context, int* exitCode)
{
    MSG& message = static_cast<WinViewerWindow*>(context)->message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return EventTaken::none;
    }
    if (message.message == WM_QUIT) {
        *exitCode = static_cast<int>(message.wParam);
        return EventTaken::quit;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return EventTaken::handled;
}

void swapWindow(void*)
{
    SwapBuffers(deviceContext);
}

void waitEvents(void*, int32_t milliseconds)
{
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(milliseconds), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// WGL_EXT_swap_control where the driver has it; without it the run's own cap paces the frames.
void setSwapInterval(void*, int32_t interval)
{
    using SwapIntervalFunction = BOOL(WINAPI*)(int);
    const auto swapInterval =
        reinterpret_cast<SwapIntervalFunction>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
    if (swapInterval != nullptr) {
        swapInterval(interval);
    }
}

void setTitle(void*, const char* utf8Title)
{
    SetWindowTextW(window, wideFromUtf8(utf8Title).c_str());
}

void closeWindow(void*)
{
    releaseRenderContext();
    DestroyWindow(window);
    openWindowRecord = nullptr;
}

}  // namespace

int runWinViewer(HINSTANCE instance, const std::vector<std::string>& args)
{
    WinViewerWindow win;
    win.instance = instance;
    const ViewerWindow services{&win,     openWindow,  drawableSize, pollWindow,     swapWindow,
                                setTitle, closeWindow, waitEvents,   setSwapInterval};
    return runViewer(args, services);
}
