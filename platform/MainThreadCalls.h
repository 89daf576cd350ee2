// MainThreadCalls: the main thread's queue of calls. It stands in for the
// class library's synchronised call and for posting a message to a window of
// the main thread.
//
// Any thread may queue calls; only the main thread runs them, in the order
// they were queued, from RunPending or WaitAndRunPending. The main thread is
// the thread that constructed the object.
//  - Synchronize queues a call and blocks until the main thread has run it.
//    Called on the main thread itself it runs the call at once (waiting for
//    itself would never end). An exception the call throws is rethrown in
//    the waiting thread. Returns false, without running the call, when the
//    queue is shut down before the call runs.
//  - Post queues a call and returns at once; after Shutdown it drops it.
//  - Shutdown drops every pending call (destroying them outside the lock),
//    releases every waiter with false, and makes later Synchronize calls
//    return false at once. A call already running finishes normally.
//  - The wake hook runs, on the queuing thread and outside the lock, each
//    time something is queued: the Windows shell posts a message to its
//    window with it so that its message loop calls RunPending.
//
// Exceptions from posted calls propagate out of RunPending; the calls queued
// behind stay queued.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class MainThreadCalls {
public:
    MainThreadCalls();
    ~MainThreadCalls();
    MainThreadCalls(const MainThreadCalls&) = delete;
    MainThreadCalls& operator=(const MainThreadCalls&) = delete;

    bool Synchronize(std::function<void()> call);
    void Post(std::function<void()> call);

    // Main thread: runs the calls that were queued when it began (calls queued
    // meanwhile wait for the next round, so a busy worker cannot keep it
    // here for ever). Returns how many ran.
    int RunPending();
    // Main thread: waits up to timeout for a call to be queued (returns at
    // once when one is), then runs as RunPending. 0 when the time ran out.
    int WaitAndRunPending(std::chrono::milliseconds timeout);

    void Shutdown();
    bool IsShutDown() const;

    void SetWakeHook(std::function<void()> hook);

    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

private:
    struct Pending;

    bool Enqueue(std::shared_ptr<Pending> pending);

    const std::thread::id mainThread_;
    mutable std::mutex mutex_;
    std::condition_variable queued_;    // the main thread waits for work
    std::condition_variable finished_;  // synchronising threads wait for their call
    std::deque<std::shared_ptr<Pending>> queue_;
    std::function<void()> wakeHook_;
    bool shutDown_ = false;
};
