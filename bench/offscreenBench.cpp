// What drawing without a display costs: opening the surfaceless EGL context and its framebuffer (the first open
// in a process loads Mesa), then start-up and one frame of the fixed program read back, each timed and printed.
// Usage: offscreen_bench [ROUNDS]   in a folder holding tris.md2 and font.tga; runs with DISPLAY unset.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/egl/eglOffscreen.h"
#include "app/platform.h"
#include "app/shell.h"
#include "scene/scene.h"

// The scene polls keys and the shell reads the clock; a run with no window has neither.
bool pollControlKey(ControlKey)
{
    return false;
}
void showNotice(const char*, const char*)
{
}
int64_t readPerformanceCounter()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}
int64_t readPerformanceFrequency()
{
    return std::chrono::steady_clock::period::den;
}
void writeUserText(UserStream, const char* text)
{
    std::fputs(text, stderr);
}
std::string executableFolder()
{
    return {};
}

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::vector<double> opens, frames;
    std::vector<uint8_t> rgba(static_cast<size_t>(windowWidth) * windowHeight * 4);
    double firstOpen = 0.0;
    for (int round = 0; round < rounds; ++round) {
        Offscreen offscreen;
        OffscreenFault fault;
        const Clock::time_point opening = Clock::now();
        if (!openOffscreen(windowWidth, windowHeight, &offscreen, &fault)) {
            std::fprintf(stderr, "offscreen_bench: cannot draw offscreen: %s\n", fault.text);
            return 1;
        }
        const double opened = millisecondsSince(opening);
        (round == 0 ? firstOpen : opens.emplace_back()) = opened;

        const Clock::time_point drawing = Clock::now();
        resizeView(windowWidth, windowHeight);
        initScene();
        renderFrame();
        readOffscreenRgba(offscreen, rgba.data());
        frames.push_back(millisecondsSince(drawing));
        closeOffscreen(&offscreen);
    }
    std::printf("first open (loads EGL and Mesa): %.1f ms\n", firstOpen);
    if (!opens.empty()) {
        std::printf("later opens, median of %zu: %.1f ms\n", opens.size(), median(opens));
    }
    std::printf("start-up, one %d x %d frame and read-back, median of %zu: %.1f ms\n", windowWidth, windowHeight,
                frames.size(), median(frames));
    return 0;
}
