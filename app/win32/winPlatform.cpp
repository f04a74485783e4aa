// The platform services on Windows: GetAsyncKeyState polling, the MessageBoxA notice and the performance counter.
// Pairs with base/platform.h; the SDL2 backend supplies the same services elsewhere.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>

#include "app/win32/winShell.h"
#include "base/platform.h"

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

std::string utf8FromWide(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

std::wstring wideFromUtf8(const std::string& text)
{
    if (text.empty()) {
        return std::wstring();
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

namespace {

bool usableHandle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// A program of the Windows subsystem has no console of its own. It writes to the handles it was given (a pipe,
// a file), else to the console it was started from, and only where neither exists into a message box. The
// given handles come first: attaching to the parent's console could otherwise send redirected text there.
HANDLE userTextHandle(UserStream stream)
{
    const HANDLE given = GetStdHandle(stream == UserStream::error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (usableHandle(given) && GetFileType(given) != FILE_TYPE_UNKNOWN) {
        return given;
    }
    static HANDLE console = nullptr;
    static bool attached = false;
    if (!attached) {
        attached = true;
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            // The standard handles of a windowed program stay unset after attaching; the console's own
            // output is always there.
            console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        }
    }
    return usableHandle(console) ? console : nullptr;
}

}  // namespace

void writeUserText(UserStream stream, const char* text)
{
    const HANDLE handle = userTextHandle(stream);
    const std::wstring wide = wideFromUtf8(text);
    DWORD mode = 0;
    if (handle != nullptr && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    if (handle != nullptr && WriteFile(handle, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr)) {
        return;
    }
    MessageBoxW(nullptr, wide.c_str(), L"Brevant", MB_OK | (stream == UserStream::error ? MB_ICONERROR : 0));
}

std::string executableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : utf8FromWide(path.substr(0, slash));
}
