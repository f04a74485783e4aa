// The platform-free half of the shell: frame-rate measurement and the main loop's rules.
// The backends in app/sdl and app/win32 supply events, presenting and the counter.
#include "app/shell.h"

#include <cstdio>
#include <cstring>

#include "base/platform.h"

int32_t quitRequested = 0;
int32_t frameCount = 0;
int64_t counterFrequency = 0;
int64_t lastCounter = 0;
char fpsText[32] = {};

void startFrameClock()
{
    counterFrequency = readPerformanceFrequency();
    lastCounter = readPerformanceCounter();
}

void countFrame()
{
    ++frameCount;
    if (frameCount <= 20) {
        return;
    }
    const int64_t now = readPerformanceCounter();
    // Subtracted as unsigned so a counter that wraps gives the short interval it means, not overflow.
    const int64_t elapsed = static_cast<int64_t>(static_cast<uint64_t>(now) - static_cast<uint64_t>(lastCounter));
    const double rate =
        static_cast<double>(frameCount) / (static_cast<double>(elapsed) / static_cast<double>(counterFrequency));
    // snprintf cuts an absurd rate short rather than writing past the buffer.
    std::snprintf(fpsText, sizeof fpsText, "FPS: %0.1f", rate);
    frameCount = 0;
    // A fresh reading, so the formatting above falls outside every measured interval.
    lastCounter = readPerformanceCounter();
}

void resetShellState()
{
    quitRequested = 0;
    frameCount = 0;
    counterFrequency = 0;
    lastCounter = 0;
    std::memset(fpsText, 0, sizeof fpsText);
}

int runMainLoop(const LoopServices& services)
{
    int exitCode = 0;
    while (quitRequested == 0) {
        const EventTaken taken = services.takeEvent(&exitCode);
        if (taken == EventTaken::quit) {
            quitRequested = 1;
            break;
        }
        if (taken == EventTaken::handled) {
            continue;  // drain the queue one event per turn before the next frame
        }
        services.renderFrame();
        services.presentFrame();
        countFrame();
    }
    return exitCode;
}
