// A fixed number of worker threads taking jobs 0..count-1 in turn: std::thread where the toolchain has it,
// Win32 threads on Windows (the mingw-w64 build's win32 thread model has no std::thread). Platform-neutral API.
#pragma once

// Calls job(index, context) once for every index below jobCount, on up to workerCount threads, and returns
// when all are done. Jobs must not share anything mutable but what they guard themselves.
void runOnWorkers(int workerCount, int jobCount, void (*job)(int index, void* context), void* context);

#include <atomic>

// One worker at a time through what it guards (a file source, say): a flag the others wait on, yielding their
// processor, since the win32 thread model has no std::mutex either. For short holds only.
struct WorkerLock {
    std::atomic_flag held = ATOMIC_FLAG_INIT;
};
void lockWorkers(WorkerLock& lock);
void unlockWorkers(WorkerLock& lock);
