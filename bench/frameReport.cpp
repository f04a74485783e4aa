// A preload library (LD_PRELOAD) that times a program's frames from outside it: it wraps SDL_GL_SwapWindow,
// reports the first present and the frame rate on stderr for bench/run.py, then asks the program to quit.
// It pairs with any SDL2 program that presents through SDL_GL_SwapWindow: the shipped brevant and empty_loop.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The rate is taken after these frames, so start-up's first slow frames (the viewer's first rate readout
// also comes after 21) do not count against the steady loop.
constexpr int32_t warmFrames = 21;

struct FrameReport {
    int32_t frames = 0;  // presents before the run ends; read from BREVANT_BENCH_FRAMES at the first present
    int32_t presented = 0;
    int64_t warmEndNs = 0;
    bool quitPushed = false;
};

FrameReport report;

// CLOCK_MONOTONIC, the clock the launching script reads before it starts the program.
int64_t monotonicNs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

template <typename Function>
Function realFunction(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        std::fprintf(stderr, "frameReport: no %s after the preload: %s\n", name, dlerror());
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

int32_t framesWanted()
{
    const char* text = std::getenv("BREVANT_BENCH_FRAMES");
    const long frames = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    if (frames <= warmFrames || frames > INT32_MAX) {
        std::fprintf(stderr, "frameReport: BREVANT_BENCH_FRAMES must be a frame count above %d\n", warmFrames);
        std::abort();
    }
    return static_cast<int32_t>(frames);
}

// Queued like a close request, so the program leaves through its own loop and clean-up and exits 0.
void pushQuit()
{
    static const auto realPushEvent = realFunction<int (*)(SDL_Event*)>("SDL_PushEvent");
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    if (realPushEvent(&quit) < 0) {
        std::fprintf(stderr, "frameReport: could not queue the quit event\n");
        std::abort();
    }
}

void framePresented()
{
    const int64_t now = monotonicNs();
    ++report.presented;
    if (report.presented == 1) {
        report.frames = framesWanted();
        std::fprintf(stderr, "bench: first-present-ns %lld\n", static_cast<long long>(now));
    }
    if (report.presented == warmFrames) {
        report.warmEndNs = now;
    }
    if (report.presented < report.frames || report.quitPushed) {
        return;
    }
    const double seconds = static_cast<double>(now - report.warmEndNs) * 1e-9;
    const int32_t timed = report.frames - warmFrames;
    std::fprintf(stderr, "bench: fps %.2f over %d frames in %.3f s\n", timed / seconds, timed, seconds);
    pushQuit();
    report.quitPushed = true;
}

}  // namespace

extern "C" void SDL_GL_SwapWindow(SDL_Window* window)
{
    static const auto realSwap = realFunction<void (*)(SDL_Window*)>("SDL_GL_SwapWindow");
    realSwap(window);
    framePresented();
}
