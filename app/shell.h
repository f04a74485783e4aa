// Program-wide state of the application shell and the platform-free rules of its main loop.
// Both backends (app/sdl, app/win32) drive the loop below; tests drive it with scripted events and counters.
#pragma once

#include <cstdint>

inline constexpr int32_t windowWidth = 640;
inline constexpr int32_t windowHeight = 480;

extern int32_t quitRequested;
extern int32_t frameCount;
extern int64_t counterFrequency;
extern int64_t lastCounter;
extern char fpsText[32];

// Starts the frame-rate clock; the backend calls it when the window is created.
void startFrameClock();

// Counts one presented frame; every 21st frame turns the elapsed time into fpsText.
void countFrame();

// Back to the state before start-up, so tests can run the shell more than once.
void resetShellState();

enum class EventTaken { none, handled, quit };

// What a backend hands the loop. takeEvent takes at most one event without blocking and, for a quit,
// stores the quit code in *exitCode.
struct LoopServices {
    EventTaken (*takeEvent)(int* exitCode);
    void (*renderFrame)();
    void (*presentFrame)();
};

// One event per turn while any are waiting, otherwise draw, present and count. Returns the quit code.
int runMainLoop(const LoopServices& services);
