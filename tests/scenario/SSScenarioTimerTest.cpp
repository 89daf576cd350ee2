#include "scenario/SSScenarioTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ScenarioTickPacer, TicksTenMillisecondsAfterTheLastTick)
{
    ScenarioTickPacer pacer(1000);
    EXPECT_FALSE(pacer.Due(1000));
    EXPECT_FALSE(pacer.Due(1009));
    EXPECT_TRUE(pacer.Due(1010));
    // A step that took 30 ms: the next tick is 10 ms after it was handed
    // over again, not at once and not three ticks to make up.
    EXPECT_TRUE(pacer.Due(1040));
    EXPECT_FALSE(pacer.Due(1049));
    EXPECT_TRUE(pacer.Due(1050));
}

TEST(ScenarioTickPacer, KeepsTickingAcrossTheClockWrap)
{
    ScenarioTickPacer pacer(0xFFFFFFFAu);
    EXPECT_FALSE(pacer.Due(0xFFFFFFFFu));
    EXPECT_TRUE(pacer.Due(4));  // 10 ms later, across the wrap
    EXPECT_FALSE(pacer.Due(13));
    EXPECT_TRUE(pacer.Due(14));
}

// Notes which steps ran, on which thread.
class StepLog final : public ScenarioStepTarget {
public:
    void PrepareCanvas() override { Note("prepare"); }
    void ScenarioStep() override { Note("scenario"); }
    void BannerStep() override { Note("banner"); }

    std::vector<std::string> Steps()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return steps;
    }

    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> offMainThread{false};

private:
    void Note(const char* step)
    {
        if (std::this_thread::get_id() != mainThread) offMainThread = true;
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back(step);
    }
    std::mutex mutex;
    std::vector<std::string> steps;
};

// A clock that moves 1 ms every time it is read, so that the thread's loop
// ticks every ten reads without real waiting.
class SteppingClock final : public MillisecondClock {
public:
    explicit SteppingClock(uint32_t start) : now_(start) {}
    uint32_t Now() override { return now_.fetch_add(1); }

private:
    std::atomic<uint32_t> now_;
};

// Waits for the thread while running what it hands over, then frees it.
void JoinAndDelete(SSScenarioTimer* timer, MainThreadCalls& calls)
{
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        timer->WaitFor();
        done = true;
    });
    while (!done) calls.WaitAndRunPending(std::chrono::milliseconds(1));
    waiter.join();
    delete timer;
}

void PumpUntil(MainThreadCalls& calls, StepLog& log, size_t steps)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (log.Steps().size() < steps && std::chrono::steady_clock::now() < deadline)
        calls.WaitAndRunPending(std::chrono::milliseconds(5));
}

TEST(SSScenarioTimer, RunsTheStepsOfItsModeOnTheMainThread)
{
    for (const int32_t mode : {SSScenarioTimer::ScenarioMode, SSScenarioTimer::BannerMode, int32_t{7}}) {
        MainThreadCalls calls;
        StepLog log;
        SteppingClock clock(0xFFFFFF00u);  // crosses the wrap on the way
        auto* timer = new SSScenarioTimer(calls, log, &clock, [](uint32_t) { std::this_thread::yield(); });
        timer->SetMode(mode);
        timer->Resume();
        PumpUntil(calls, log, 40);
        timer->Terminate();
        JoinAndDelete(timer, calls);

        const std::vector<std::string> steps = log.Steps();
        ASSERT_GE(steps.size(), 40u);
        EXPECT_EQ(steps.front(), "prepare");
        const std::string expected = mode == SSScenarioTimer::ScenarioMode ? "scenario" : "banner";
        for (size_t i = 1; i < steps.size(); ++i) ASSERT_EQ(steps[i], expected) << mode;
        EXPECT_FALSE(log.offMainThread);
    }
}

TEST(SSScenarioTimer, AStepHandedOverBeforeTerminationNeverRuns)
{
    MainThreadCalls calls;
    StepLog log;
    SteppingClock clock(0);
    auto* timer = new SSScenarioTimer(calls, log, &clock, [](uint32_t) { std::this_thread::yield(); });
    timer->SetMode(SSScenarioTimer::ScenarioMode);
    timer->Resume();
    PumpUntil(calls, log, 5);

    // The thread hands steps over all the time; give it a moment to queue
    // one, then end the timer on the main thread, as the viewer's
    // destruction does, before that step is run: it must not reach the
    // viewer.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const size_t before = log.Steps().size();
    timer->Terminate();
    calls.RunPending();
    EXPECT_EQ(log.Steps().size(), before);
    JoinAndDelete(timer, calls);
    EXPECT_EQ(log.Steps().size(), before);
}

}  // namespace
