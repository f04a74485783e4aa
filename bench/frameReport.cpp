// A preload library (LD_PRELOAD) that times a program's frames from outside it: it wraps SDL_GL_SwapWindow,
// reports the first present, the frame rate and the heap allocations made over the timed frames on stderr for
// bench/run.py, then asks the program to quit. It pairs with any SDL2 program that presents through
// SDL_GL_SwapWindow: the shipped brevant and empty_loop.
#include <SDL.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

// glibc's own allocator under its public names, so the wrappers below reach it without dlsym (which allocates).
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* memory, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);

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

// Allocations from every thread (llvmpipe draws on several) between the end of the warm-up and the last
// timed present. Relaxed: each is a count, and the swap that reads it comes after the frame that made them.
std::atomic<bool> counting{false};
std::atomic<int64_t> allocations{0};

// With BREVANT_BENCH_ATTRIBUTE=1 each counted allocation is also put down to whoever asked for it: the
// program's own code, or a library (GL driver, SDL, Xlib). The caller is the first return address on the
// stack outside the runtimes that allocate on someone's behalf (C, C++, the unwinder, this library), so a
// std::string the program builds is the program's and a buffer Mesa grows inside glEnd is Mesa's. Walking
// the stack costs microseconds, so the frame rates are taken from runs without it.
struct CodeRange {
    uintptr_t start;
    uintptr_t end;
};

struct Attribution {
    bool enabled = false;
    uintptr_t programBase = 0;
    CodeRange program[8] = {};
    int32_t programCount = 0;
    CodeRange runtimes[32] = {};
    int32_t runtimeCount = 0;
    std::atomic<int64_t> byProgram{0};
    // The first few places in the program that allocate, with how often, for addr2line.
    std::atomic<uintptr_t> sites[8] = {};
    std::atomic<int64_t> siteCounts[8] = {};
};

Attribution attribution;
thread_local bool walkingStack = false;

bool inRanges(const CodeRange* ranges, int32_t count, uintptr_t address)
{
    for (int32_t i = 0; i < count; ++i) {
        if (address >= ranges[i].start && address < ranges[i].end) {
            return true;
        }
    }
    return false;
}

bool isRuntime(const char* name)
{
    const char* runtimes[] = {"/libc.so", "/libstdc++.so", "/libgcc_s.so", "/libm.so", "frame_report.so"};
    for (const char* runtime : runtimes) {
        if (std::strstr(name, runtime) != nullptr) {
            return true;
        }
    }
    return false;
}

// The executable segments of the program (the first object listed, with an empty name) and of the runtimes.
int noteModule(dl_phdr_info* info, size_t, void* data)
{
    bool& first = *static_cast<bool*>(data);
    const bool program = first;
    first = false;
    const bool runtime = !program && isRuntime(info->dlpi_name);
    if (program) {
        attribution.programBase = info->dlpi_addr;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0) {
            continue;
        }
        const CodeRange range = {info->dlpi_addr + header.p_vaddr, info->dlpi_addr + header.p_vaddr + header.p_memsz};
        if (program && attribution.programCount < 8) {
            attribution.program[attribution.programCount++] = range;
        } else if (runtime && attribution.runtimeCount < 32) {
            attribution.runtimes[attribution.runtimeCount++] = range;
        }
    }
    return 0;
}

void startAttribution()
{
    const char* wanted = std::getenv("BREVANT_BENCH_ATTRIBUTE");
    if (wanted == nullptr || std::strcmp(wanted, "1") != 0) {
        return;
    }
    bool first = true;
    dl_iterate_phdr(noteModule, &first);
    // The first walk loads the unwinder, which allocates: done here, before counting starts.
    void* frames[4];
    backtrace(frames, 4);
    attribution.enabled = true;
}

void attribute()
{
    void* frames[32];
    const int depth = backtrace(frames, 32);
    for (int i = 1; i < depth; ++i) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(frames[i]);
        if (inRanges(attribution.runtimes, attribution.runtimeCount, address)) {
            continue;
        }
        if (!inRanges(attribution.program, attribution.programCount, address)) {
            return;
        }
        attribution.byProgram.fetch_add(1, std::memory_order_relaxed);
        const uintptr_t site = address - attribution.programBase;
        for (int32_t s = 0; s < 8; ++s) {
            uintptr_t expected = 0;
            if (attribution.sites[s].compare_exchange_strong(expected, site) || expected == site) {
                attribution.siteCounts[s].fetch_add(1, std::memory_order_relaxed);
                return;
            }
        }
        return;
    }
}

void countAllocation()
{
    if (!counting.load(std::memory_order_relaxed)) {
        return;
    }
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (attribution.enabled && !walkingStack) {
        walkingStack = true;
        attribute();
        walkingStack = false;
    }
}

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
        startAttribution();
        report.warmEndNs = monotonicNs();
        counting.store(true, std::memory_order_relaxed);
    }
    if (report.presented < report.frames || report.quitPushed) {
        return;
    }
    counting.store(false, std::memory_order_relaxed);
    const double seconds = static_cast<double>(now - report.warmEndNs) * 1e-9;
    const int32_t timed = report.frames - warmFrames;
    std::fprintf(stderr, "bench: fps %.2f over %d frames in %.3f s\n", timed / seconds, timed, seconds);
    std::fprintf(stderr, "bench: allocations %lld over %d frames\n",
                 static_cast<long long>(allocations.load(std::memory_order_relaxed)), timed);
    if (attribution.enabled) {
        std::fprintf(stderr, "bench: program allocations %lld over %d frames\n",
                     static_cast<long long>(attribution.byProgram.load()), timed);
        for (int32_t s = 0; s < 8 && attribution.sites[s].load() != 0; ++s) {
            std::fprintf(stderr, "bench: program allocates at +0x%llx, %lld times\n",
                         static_cast<unsigned long long>(attribution.sites[s].load()),
                         static_cast<long long>(attribution.siteCounts[s].load()));
        }
    }
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

// Every way into the heap: C's functions, and operator new, which reaches them through malloc here whichever
// library would otherwise have supplied it. free and delete are left alone, since only allocations count.
extern "C" void* malloc(size_t size)
{
    countAllocation();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size)
{
    countAllocation();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* memory, size_t size)
{
    countAllocation();
    return __libc_realloc(memory, size);
}

extern "C" void* memalign(size_t alignment, size_t size)
{
    countAllocation();
    return __libc_memalign(alignment, size);
}

extern "C" void* aligned_alloc(size_t alignment, size_t size)
{
    countAllocation();
    return __libc_memalign(alignment, size);
}

extern "C" int posix_memalign(void** memory, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    countAllocation();
    void* found = __libc_memalign(alignment, size);
    if (found == nullptr) {
        return ENOMEM;
    }
    *memory = found;
    return 0;
}

void* operator new(size_t size)
{
    void* memory = malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        // The programs measured never catch bad_alloc; ending here reports the same failure without unwinding.
        std::fprintf(stderr, "frameReport: out of memory for %zu bytes\n", size);
        std::abort();
    }
    return memory;
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size == 0 ? 1 : size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size == 0 ? 1 : size);
}
