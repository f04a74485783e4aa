// The frame report of the benchmark builds: when the first frame was presented, and the frame rate once the
// run has presented BREVANT_BENCH_FRAMES frames. Shared by the benchmark viewer's loop and bench/emptyLoop.cpp.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

#ifndef BREVANT_BENCH_FRAMES
#error "benchFrames.h belongs to the benchmark builds, which define BREVANT_BENCH_FRAMES"
#endif

// The rate is taken after these frames, so start-up's first slow frames (the viewer's first rate readout
// also comes after 21) do not count against the steady loop.
inline constexpr int32_t benchWarmFrames = 21;
static_assert(BREVANT_BENCH_FRAMES > benchWarmFrames, "the run must present frames after the warm-up");

struct BenchFrames {
    int32_t presented = 0;
    int64_t warmEndNs = 0;
};

inline BenchFrames benchFrames;

// CLOCK_MONOTONIC on Linux, the clock the launching script reads before it starts the program.
inline int64_t benchMonotonicNs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

// Call right after each buffer swap; true once the run has presented all its frames.
inline bool benchFramePresented()
{
    const int64_t now = benchMonotonicNs();
    ++benchFrames.presented;
    if (benchFrames.presented == 1) {
        std::fprintf(stderr, "bench: first-present-ns %lld\n", static_cast<long long>(now));
    }
    if (benchFrames.presented == benchWarmFrames) {
        benchFrames.warmEndNs = now;
    }
    if (benchFrames.presented < BREVANT_BENCH_FRAMES) {
        return false;
    }
    const double seconds = static_cast<double>(now - benchFrames.warmEndNs) * 1e-9;
    const int32_t timed = BREVANT_BENCH_FRAMES - benchWarmFrames;
    std::fprintf(stderr, "bench: fps %.2f over %d frames in %.3f s\n", timed / seconds, timed, seconds);
    return true;
}
