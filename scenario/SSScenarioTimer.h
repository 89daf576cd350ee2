// SSScenarioTimer: the pacing thread of the slide show. It does no drawing
// and holds no slide-show state: about every 10 ms it hands one player step
// to the main thread and waits until the main thread has run it, so every
// step, and all drawing, happens on the main thread between the window's own
// messages.
//
// The tick is measured from the moment the previous step was handed over:
// a step that takes long delays the following ones and no step is made up.
// Between time checks the thread sleeps 5 ms. Times are unsigned 32-bit
// differences, so the clock's wrap after 49.7 days does no harm.
//
// Ending: the viewer requests termination and lets go of the thread, which
// frees itself once its loop notices. A step that was already handed over
// when the viewer went away is dropped on the main thread: it checks the
// termination request there, and the viewer requests termination (on the
// main thread) before it destroys anything, so no step reaches a viewer
// that is being destroyed.
#pragma once

#include "platform/Clock.h"
#include "platform/TThread.h"

#include <cstdint>
#include <functional>

// What the timer's steps call on the main thread.
class ScenarioStepTarget {
public:
    virtual ~ScenarioStepTarget() = default;
    virtual void PrepareCanvas() = 0;
    virtual void ScenarioStep() = 0;
    virtual void BannerStep() = 0;
};

// The tick rule on its own: due when 10 ms or more have passed since the
// last tick that was due.
class ScenarioTickPacer {
public:
    static constexpr uint32_t TickMs = 10;
    explicit ScenarioTickPacer(uint32_t start) : last_(start) {}
    bool Due(uint32_t now)
    {
        if (now - last_ < TickMs) return false;
        last_ = now;
        return true;
    }

private:
    uint32_t last_;
};

class SSScenarioTimer final : public TThread {
public:
    static constexpr int32_t ScenarioMode = 0;
    static constexpr int32_t BannerMode = -1;
    static constexpr uint32_t IdleSleepMs = 5;

    // Created suspended, as every TThread is. `clock` and `sleep` default to
    // the machine's; tests pass their own.
    SSScenarioTimer(MainThreadCalls& calls, ScenarioStepTarget& target, MillisecondClock* clock = nullptr,
                    std::function<void(uint32_t)> sleep = nullptr);
    // Ends the loop before the members it uses go: a timer deleted by its
    // owner (not freeing itself) waits for its thread here.
    ~SSScenarioTimer() override;

    // 0: each tick runs ScenarioStep; anything else (BannerMode until set):
    // BannerStep. Set before the thread is resumed; read once when it starts.
    void SetMode(int32_t mode) { mode_ = mode; }

protected:
    void Execute() override;

private:
    // Runs `step` on the main thread unless termination was requested.
    void Hand(void (ScenarioStepTarget::*step)());

    ScenarioStepTarget& target_;
    SystemClock systemClock_;
    MillisecondClock& clock_;
    std::function<void(uint32_t)> sleep_;
    TimerResolutionHold resolution_;
    int32_t mode_ = BannerMode;
};
