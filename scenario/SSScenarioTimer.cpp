#include "scenario/SSScenarioTimer.h"

#include "platform/ThreadName.h"

SSScenarioTimer::SSScenarioTimer(MainThreadCalls& calls, ScenarioStepTarget& target, MillisecondClock* clock,
                                 std::function<void(uint32_t)> sleep)
    : TThread(calls),
      target_(target),
      clock_(clock != nullptr ? *clock : systemClock_),
      sleep_(sleep ? std::move(sleep) : std::function<void(uint32_t)>(SleepMilliseconds))
{
}

SSScenarioTimer::~SSScenarioTimer()
{
    // On the timer's own thread (free-on-terminate) WaitFor returns at once.
    Terminate();
    WaitFor();
}

void SSScenarioTimer::Hand(void (ScenarioStepTarget::*step)())
{
    Synchronize([this, step] {
        // On the main thread: the viewer requests termination there before
        // it goes away, so a step handed over earlier stops here.
        if (!Terminated()) (target_.*step)();
    });
}

void SSScenarioTimer::Execute()
{
    SetCurrentThreadName("SSScenarioThread");
    const int32_t mode = mode_;
    Hand(&ScenarioStepTarget::PrepareCanvas);
    ScenarioTickPacer pacer(clock_.Now());
    while (!Terminated()) {
        if (!pacer.Due(clock_.Now())) {
            sleep_(IdleSleepMs);
            continue;
        }
        Hand(mode == ScenarioMode ? &ScenarioStepTarget::ScenarioStep : &ScenarioStepTarget::BannerStep);
    }
}
