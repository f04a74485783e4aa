// The platform services on Windows: GetAsyncKeyState polling, the MessageBoxA notice and the performance counter.
// Pairs with app/platform.h; the SDL2 backend supplies the same services elsewhere.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/platform.h"

namespace {

// The keypad's 8/2/4/6 need no entry: with NumLock off Windows reports them as these very arrow keys.
int virtualKey(ControlKey key)
{
    switch (key) {
    case ControlKey::up:
        return VK_UP;
    case ControlKey::down:
        return VK_DOWN;
    case ControlKey::left:
        return VK_LEFT;
    case ControlKey::right:
        return VK_RIGHT;
    case ControlKey::a:
        return 'A';
    case ControlKey::z:
        return 'Z';
    }
    return 0;
}

}  // namespace

bool pollControlKey(ControlKey key)
{
    // Non-zero covers both "down now" and "pressed since the previous call".
    return GetAsyncKeyState(virtualKey(key)) != 0;
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
