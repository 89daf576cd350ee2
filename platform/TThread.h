// TThread: the class library's thread object, on std::thread.
//
// A derived class puts its work in Execute, which runs on a thread of its
// own; Execute checks Terminated() as often as it can stop and hands work to
// the main thread with Synchronize (see MainThreadCalls).
//
// Starting: every thread is created suspended and starts at the first
// Resume(). A C++ base class cannot start Execute from its constructor (the
// derived part does not exist yet), so there is no starting at once. Later
// Resume() calls do nothing.
//
// Ending:
//  - Terminate() only sets the request flag (any thread, any time).
//  - Free-on-terminate: the object deletes itself on its own thread after
//    Execute returns, so it must come from new, and nobody may touch it once
//    it has been resumed unless they know it still runs. Terminate() on a
//    free-on-terminate object that was never resumed deletes it at once,
//    inside the call, without running Execute: an owner that gives up a
//    never-started thread (as the viewer does when its creation fails
//    half-way) neither leaks it nor starts it just to end it.
//  - A thread resumed after Terminate() skips Execute.
//  - WaitFor() blocks until Execute has returned (at once if it never
//    started). It is for threads that do not free themselves; called from the
//    thread itself it returns at once.
//  - The destructor requests termination and waits for the thread, as a
//    last resort: a derived class whose Execute uses its own members must
//    end it (Terminate + WaitFor) in its own destructor first.
#pragma once

#include "platform/MainThreadCalls.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class TThread {
public:
    explicit TThread(MainThreadCalls& calls);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    void SetFreeOnTerminate(bool freeOnTerminate);
    void WaitFor();

protected:
    virtual void Execute() = 0;
    // Runs call on the main thread and waits for it; false when the main
    // thread's queue is shut down (the call did not run).
    bool Synchronize(std::function<void()> call);
    MainThreadCalls& Calls() const { return calls_; }

private:
    void Run();

    MainThreadCalls& calls_;
    std::atomic<bool> terminated_{false};
    std::mutex mutex_;  // guards the fields below
    bool started_ = false;
    bool freeOnTerminate_ = false;
    std::thread thread_;
    std::mutex joinMutex_;
};
