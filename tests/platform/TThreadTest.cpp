// The thread object: Execute runs once resumed, sees termination requests,
// reaches the main thread through Synchronize; a free-on-terminate object
// frees itself, also when it is given up before it ever ran.

#include "platform/TThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Observations {
    std::atomic<int> executed{0};
    std::atomic<bool> destroyed{false};
    std::atomic<int> passes{0};
};

// Loops until termination is requested, handing each pass to the main
// thread, the way the scenario timer does.
class TickingThread : public TThread {
public:
    TickingThread(MainThreadCalls& calls, Observations& seen, bool synchronize)
        : TThread(calls), seen_(seen), synchronize_(synchronize)
    {
    }
    ~TickingThread() override { seen_.destroyed = true; }

    bool lastSynchronize = true;
    std::thread::id synchronizedOn;

protected:
    void Execute() override
    {
        ++seen_.executed;
        while (!Terminated()) {
            if (synchronize_) {
                lastSynchronize = Synchronize([this] {
                    synchronizedOn = std::this_thread::get_id();
                    ++seen_.passes;
                });
                if (!lastSynchronize) return;
            } else {
                ++seen_.passes;
                std::this_thread::sleep_for(1ms);
            }
        }
    }

private:
    Observations& seen_;
    bool synchronize_;
};

template <typename Done>
bool WaitUntil(Done done, MainThreadCalls* pump = nullptr)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (pump)
            pump->WaitAndRunPending(2ms);
        else
            std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(TThreadTest, ExecuteStartsAtResumeAndEndsOnRequest)
{
    MainThreadCalls calls;
    Observations seen;
    TickingThread thread(calls, seen, false);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(seen.executed, 0) << "a suspended thread waits for Resume";

    thread.Resume();
    thread.Resume();  // once only
    ASSERT_TRUE(WaitUntil([&] { return seen.passes > 2; }));
    EXPECT_FALSE(thread.Terminated());
    thread.Terminate();
    EXPECT_TRUE(thread.Terminated());
    thread.WaitFor();
    EXPECT_EQ(seen.executed, 1);
}

TEST(TThreadTest, SynchronizeRunsOnTheMainThreadAndFailsAfterShutdown)
{
    MainThreadCalls calls;
    Observations seen;
    TickingThread thread(calls, seen, true);
    thread.Resume();
    ASSERT_TRUE(WaitUntil([&] { return seen.passes >= 3; }, &calls));
    calls.Shutdown();  // the thread's next Synchronize returns false and it ends
    thread.WaitFor();
    EXPECT_FALSE(thread.lastSynchronize);
    EXPECT_EQ(thread.synchronizedOn, std::this_thread::get_id());
}

TEST(TThreadTest, AFreeOnTerminateThreadDeletesItselfWhenExecuteReturns)
{
    MainThreadCalls calls;
    Observations seen;
    auto* thread = new TickingThread(calls, seen, true);
    thread->SetFreeOnTerminate(true);
    thread->Resume();
    ASSERT_TRUE(WaitUntil([&] { return seen.passes >= 1; }, &calls));
    thread->Terminate();
    thread = nullptr;  // the owner lets go without waiting, as the viewer does
    // Its last Synchronize may still be queued: keep pumping until it is gone.
    ASSERT_TRUE(WaitUntil([&] { return seen.destroyed.load(); }, &calls));
    EXPECT_EQ(seen.executed, 1);
}

TEST(TThreadTest, AFreeOnTerminateThreadThatNeverRanIsDeletedByTerminate)
{
    MainThreadCalls calls;
    Observations seen;
    auto* thread = new TickingThread(calls, seen, true);
    thread->SetFreeOnTerminate(true);
    thread->Terminate();
    EXPECT_TRUE(seen.destroyed);
    EXPECT_EQ(seen.executed, 0);
}

TEST(TThreadTest, AThreadResumedAfterTerminateSkipsExecute)
{
    MainThreadCalls calls;
    Observations seen;
    {
        TickingThread thread(calls, seen, false);
        thread.Terminate();
        thread.Resume();
        thread.WaitFor();
    }
    EXPECT_EQ(seen.executed, 0);
    EXPECT_TRUE(seen.destroyed);
}

TEST(TThreadTest, DestroyingAStillRunningThreadEndsItFirst)
{
    MainThreadCalls calls;
    Observations seen;
    {
        // Not free-on-terminate, never terminated by its owner: the base
        // destructor requests the end and waits. This thread's Execute uses
        // no member that its own destructor would already have destroyed.
        TickingThread thread(calls, seen, false);
        thread.Resume();
        ASSERT_TRUE(WaitUntil([&] { return seen.passes >= 1; }));
    }
    EXPECT_TRUE(seen.destroyed);
    EXPECT_EQ(seen.executed, 1);
}

TEST(TThreadTest, WaitForOnANeverStartedThreadReturnsAtOnce)
{
    MainThreadCalls calls;
    Observations seen;
    TickingThread thread(calls, seen, false);
    thread.WaitFor();
    EXPECT_EQ(seen.executed, 0);
}

}  // namespace
