// The platform-neutral input record of viewer mode: each backend turns its native events into these,
// and scene/viewerState.cpp handles them, so nothing above the backends sees SDL or Win32 key codes.
#pragma once

#include <cstdint>
#include <string>

enum class ViewerKey {
    none,
    up,
    down,
    left,
    right,
    a,
    z,
    home,
    r,
    space,
    comma,
    period,
    pageUp,
    pageDown,
    s,
    w,
    l,
    leftBracket,
    rightBracket,
    f12,
    tab,      // next model in the folder or archive
    backTab,  // Shift+Tab: the previous one
    escape
};
enum class ViewerEventKind {
    keyDown,
    keyUp,
    buttonDown,
    buttonUp,
    mouseMove,
    wheel,
    resized,
    focusLost,
    focusGained,
    fileDropped,
    closeRequested
};
struct ViewerEvent {
    ViewerEventKind kind = ViewerEventKind::keyDown;
    ViewerKey key = ViewerKey::none;
    int32_t button = 0;             // 1 left, 2 middle, 3 right
    int32_t x = 0, y = 0;           // pointer position in window pixels, top-left origin
    float wheel = 0.0f;             // notches, positive away from the user (zoom in)
    int32_t width = 0, height = 0;  // resized: new client size
    std::string path;               // fileDropped: UTF-8 path
};

inline constexpr int viewerKeyCount = static_cast<int>(ViewerKey::escape) + 1;

// The client size viewer mode opens its window with when --size does not say otherwise.
inline constexpr int32_t viewerDefaultWidth = 640;
inline constexpr int32_t viewerDefaultHeight = 480;
