// The main thread's call queue: a synchronised call runs on the main thread
// while its caller waits, in queue order with posted calls; shutdown releases
// waiters without running their calls; failures travel back to the caller.

#include "platform/MainThreadCalls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Pumps until done() holds; fails the test after a generous time.
template <typename Done>
void PumpUntil(MainThreadCalls& calls, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the main thread's queue never got there";
        calls.WaitAndRunPending(5ms);
    }
}

TEST(MainThreadCallsTest, SynchronizedCallRunsOnTheMainThreadWhileItsCallerWaits)
{
    MainThreadCalls calls;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<std::string> order;  // only the main thread touches it
    std::atomic<bool> returned{false};
    std::thread::id ranOn;

    std::thread worker([&] {
        calls.Post([&] { order.push_back("posted"); });
        const bool ran = calls.Synchronize([&] {
            ranOn = std::this_thread::get_id();
            order.push_back("synchronized");
        });
        EXPECT_TRUE(ran);
        returned = true;
    });
    // Nothing runs until the main thread asks.
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned);
    EXPECT_TRUE(order.empty());

    PumpUntil(calls, [&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "synchronized"}));
}

TEST(MainThreadCallsTest, OnTheMainThreadSynchronizeRunsTheCallAtOnce)
{
    MainThreadCalls calls;
    int ran = 0;
    EXPECT_TRUE(calls.Synchronize([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(calls.RunPending(), 0);
}

TEST(MainThreadCallsTest, ShutdownReleasesWaitersWithoutRunningTheirCalls)
{
    MainThreadCalls calls;
    std::atomic<bool> queued{false};
    calls.SetWakeHook([&] { queued = true; });
    std::atomic<bool> ran{false};
    auto captured = std::make_shared<int>(7);
    const std::weak_ptr<int> watch = captured;
    std::promise<bool> result;
    std::thread worker([&, keep = std::move(captured)]() mutable {
        result.set_value(calls.Synchronize([&ran, keep = std::move(keep)] { ran = true; }));
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!queued && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(queued);

    calls.Shutdown();
    EXPECT_FALSE(result.get_future().get());
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired()) << "a dropped call's captures are released";

    // Later calls are refused; posts vanish.
    std::thread late([&] { EXPECT_FALSE(calls.Synchronize([&] { ran = true; })); });
    late.join();
    calls.Post([&] { ran = true; });
    EXPECT_EQ(calls.RunPending(), 0);
    EXPECT_FALSE(calls.Synchronize([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

TEST(MainThreadCallsTest, AFailureOfTheCallIsRethrownInTheWaitingThread)
{
    MainThreadCalls calls;
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            calls.Synchronize([] { throw std::runtime_error("device lost"); });
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        done = true;
    });
    PumpUntil(calls, [&] { return done.load(); });
    worker.join();
    EXPECT_EQ(caught, "device lost");
}

TEST(MainThreadCallsTest, EveryQueuedCallWakesTheMainThread)
{
    MainThreadCalls calls;
    std::atomic<int> wakes{0};
    calls.SetWakeHook([&] { ++wakes; });
    calls.Post([] {});
    calls.Post([] {});
    std::atomic<bool> done{false};
    std::thread worker([&] {
        calls.Synchronize([] {});
        done = true;
    });
    PumpUntil(calls, [&] { return done.load(); });
    worker.join();
    EXPECT_EQ(wakes, 3);
}

TEST(MainThreadCallsTest, ARoundRunsOnlyWhatWasQueuedWhenItBegan)
{
    MainThreadCalls calls;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        calls.Post(again);
    };
    calls.Post(again);
    EXPECT_EQ(calls.RunPending(), 1);
    EXPECT_EQ(calls.RunPending(), 1);
    EXPECT_EQ(runs, 2);
    calls.Shutdown();
}

TEST(MainThreadCallsTest, WaitingReturnsWhenACallArrivesOrTheTimeRunsOut)
{
    MainThreadCalls calls;
    EXPECT_EQ(calls.WaitAndRunPending(10ms), 0);

    int ran = 0;
    std::thread poster([&] {
        std::this_thread::sleep_for(10ms);
        calls.Post([&] { ++ran; });
    });
    const auto start = std::chrono::steady_clock::now();
    int count = 0;
    while (count == 0 && std::chrono::steady_clock::now() - start < 10s) count = calls.WaitAndRunPending(10s);
    poster.join();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ran, 1);
}

TEST(MainThreadCallsTest, ManyThreadsSynchronizingRunOneAtATimeOnTheMainThread)
{
    MainThreadCalls calls;
    constexpr int Threads = 4;
    constexpr int CallsEach = 200;
    long total = 0;  // unguarded on purpose: only the main thread may touch it
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < CallsEach; ++i) EXPECT_TRUE(calls.Synchronize([&] { ++total; }));
            ++finished;
        });
    }
    PumpUntil(calls, [&] { return finished.load() == Threads; });
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(total, Threads * CallsEach);
}

}  // namespace
