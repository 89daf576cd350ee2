#include "tools/authoring/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

unsigned DefaultWorkerCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void RunInParallel(size_t count, unsigned workers, const std::function<void(size_t index)>& work)
{
    if (workers == 0) workers = DefaultWorkerCount();
    const size_t threadCount = std::min<size_t>(workers, count);
    std::atomic<size_t> next{0};
    const auto drain = [&] {
        for (size_t index = next++; index < count; index = next++) work(index);
    };
    if (threadCount <= 1) {
        drain();
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(threadCount - 1);
    for (size_t i = 1; i < threadCount; ++i) {
        try {
            threads.emplace_back(drain);
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: the ones started share the work
        }
    }
    drain();
    for (std::thread& thread : threads) thread.join();
}
