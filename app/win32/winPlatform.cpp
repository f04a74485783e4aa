// The platform services on Windows: GetAsyncKeyState polling, the MessageBoxA notice and the performance counter.
// Pairs with app/platform.h; the SDL2 backend supplies the same services elsewhere.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/platform.h"

namespace {

// Indexed by ControlKey.
constexpr int virtualKeys[controlKeyCount] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, 'A', 'Z'};

}  // namespace

bool pollControlKey(ControlKey key)
{
    // Non-zero covers both "down now" and "pressed since the previous call".
    return GetAsyncKeyState(virtualKeys[static_cast<int>(key)]) != 0;
}

void showNotice(const char* caption, const char* text)
{
    MessageBoxA(nullptr, text, caption, MB_OK);
}

int64_t readPerformanceCounter()
{
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t readPerformanceFrequency()
{
    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}
