// Worker threads over an atomic job counter; see workers.h.
#include "base/workers.h"

#include <atomic>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>

#include <thread>
#endif

namespace {

struct JobQueue {
    std::atomic<int> next{0};
    int count = 0;
    void (*job)(int, void*) = nullptr;
    void* context = nullptr;
};

void drain(JobQueue& queue)
{
    for (int index = queue.next++; index < queue.count; index = queue.next++) {
        queue.job(index, queue.context);
    }
}

#ifdef _WIN32
DWORD WINAPI workerMain(LPVOID parameter)
{
    drain(*static_cast<JobQueue*>(parameter));
    return 0;
}
#endif

}  // namespace

void runOnWorkers(int workerCount, int jobCount, void (*job)(int index, void* context), void* context)
{
    JobQueue queue;
    queue.count = jobCount;
    queue.job = job;
    queue.context = context;
    const int extra = (workerCount < jobCount ? workerCount : jobCount) - 1;
    // The calling thread is one of the workers; the others start here and are waited for.
#ifdef _WIN32
    std::vector<HANDLE> threads;
    for (int i = 0; i < extra; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, workerMain, &queue, 0, nullptr);
        if (thread != nullptr) {
            threads.push_back(thread);
        }
    }
    drain(queue);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
#else
    std::vector<std::thread> threads;
    for (int i = 0; i < extra; ++i) {
        threads.emplace_back([&queue] { drain(queue); });
    }
    drain(queue);
    for (std::thread& thread : threads) {
        thread.join();
    }
#endif
}

void lockWorkers(WorkerLock& lock)
{
    while (lock.held.test_and_set(std::memory_order_acquire)) {
#ifdef _WIN32
        SwitchToThread();
#else
        sched_yield();
#endif
    }
}

void unlockWorkers(WorkerLock& lock)
{
    lock.held.clear(std::memory_order_release);
}
