// Platform services the shared code calls: control-key polling, the notice box and the performance counter.
// Each backend supplies them: app/sdl for SDL2 platforms, app/win32 for Windows.
#pragma once

#include <cstdint>
#include <string>

// The six keys the scene polls, named independently of any platform's key codes.
enum class ControlKey { up, down, left, right, a, z };
inline constexpr int controlKeyCount = static_cast<int>(ControlKey::z) + 1;

// True when the key is down now, or was pressed since the previous poll of that key,
// whichever window has the keyboard focus.
bool pollControlKey(ControlKey key);

// A modal box showing text under caption with a single OK button; returns once dismissed.
void showNotice(const char* caption, const char* text);

// Signed 64-bit ticks that only increase, and the constant number of ticks per second.
int64_t readPerformanceCounter();
int64_t readPerformanceFrequency();

// Where viewer mode's texts go: the usage and --info to the output, faults and warnings to the error stream.
enum class UserStream { output, error };

// Writes UTF-8 text for the user: to the terminal, or where there is none (a Windows program started from the
// desktop), into a message box.
void writeUserText(UserStream stream, const char* text);

// The folder the running program was started from, UTF-8 without a trailing slash; empty when unknown.
std::string executableFolder();
