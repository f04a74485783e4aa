// Viewer mode's one run sequence over a backend's window services: options and files first, then the window,
// the session and its GL side, the screenshot or the main loop, the title following the model. SDL2, Win32 and
// any later backend fill a ViewerWindow and call runViewer; they only open windows and translate events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/shell.h"
#include "base/viewerEvent.h"

// What runViewer hands the backend when the window opens, so its events and redraws reach the session as they
// come (Windows delivers several from one message, and draws from inside its modal size loop).
struct ViewerHost {
    void* run = nullptr;
    void (*deliver)(void* run, const ViewerEvent& event) = nullptr;
    void (*redraw)(void* run) = nullptr;  // draws and swaps now
};

inline void deliverViewerEvent(const ViewerHost& host, const ViewerEvent& event)
{
    host.deliver(host.run, event);
}

struct ViewerWindow {
    void* context = nullptr;
    // A shown window of that client size with a current GL context; false, having said why, when it cannot.
    bool (*open)(void* context, const ViewerHost& host, const char* title, int32_t width, int32_t height) = nullptr;
    void (*drawableSize)(void* context, int32_t* width, int32_t* height) = nullptr;
    // Takes at most one native event without blocking and delivers what it means; for a quit, *exitCode.
    EventTaken (*poll)(void* context, int* exitCode) = nullptr;
    void (*swap)(void* context) = nullptr;
    void (*setTitle)(void* context, const char* utf8Title) = nullptr;
    // Releases the context and the window; called once after a successful open.
    void (*close)(void* context) = nullptr;
    // Returns once an event is waiting or after milliseconds, whichever comes first; takes no event.
    void (*waitEvents)(void* context, int32_t milliseconds) = nullptr;
    // 1: each swap waits for the display's refresh where the driver offers it; 0: swaps at once.
    void (*setSwapInterval)(void* context, int32_t interval) = nullptr;
};

// args are the arguments after the program's name, UTF-8. Returns the exit code.
int runViewer(const std::vector<std::string>& args, const ViewerWindow& window);
