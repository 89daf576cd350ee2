// HeadlessSlideShow: the slide show as the viewer window runs it, without a
// window and on virtual time, for tools, tests and benchmarks.
//
// The window is a canvas in memory and time a virtual clock that only the
// caller moves. Sounds go to the sound player given, or to the real one
// (oWaveDataControl) playing on a virtual wave output that moves with the
// clock, its workers pumped on this thread: nothing is heard, but blocks are
// handed over and finish as they would.
// The trace, when asked for, receives PlayerTrace's lines. Step() moves the
// clock to the next 10 ms tick and makes the step the timer thread would
// hand over then.
#pragma once

#include "platform/Clock.h"
#include "platform/MainThreadCalls.h"
#include "platform/MemoryCanvas.h"
#include "platform/TextRenderer.h"
#include "platform/VirtualWaveOutput.h"
#include "scenario/PlayerTrace.h"
#include "scenario/ScenarioPlayer.h"
#include "sound/WaveDataControl.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct HeadlessOptions {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t clockStart = 0;
    int32_t seed = 1;
    // The settings' defaults: wait 5 s, fade, speed 2, sound on.
    ScenarioSettings settings = ScenarioSettings::From(5, 1, 2);
    bool soundOff = false;
    SoundPlayer* sound = nullptr;                   // oWaveDataControl on a virtual output when null
    std::function<void(const std::string&)> trace;  // no trace when empty
    // Every attempt to play a sound that stays unheard, with the reason
    // (PlayerServices::soundFailed); none when empty.
    std::function<void(int32_t soundId, const std::string& reason)> soundFailed;
    bool drawText = true;                           // a real text renderer for the banner
};

class HeadlessSlideShow {
public:
    explicit HeadlessSlideShow(const HeadlessOptions& options);
    ~HeadlessSlideShow();
    HeadlessSlideShow(const HeadlessSlideShow&) = delete;
    HeadlessSlideShow& operator=(const HeadlessSlideShow&) = delete;

    // The next tick (10 ms after the last one; the first at 10) and its
    // step: a scenario step when a scenario was loaded, a banner step
    // otherwise.
    void Step(bool scenarioMode);
    // Steps up to and including `elapsed`.
    void RunUntil(uint32_t elapsed, bool scenarioMode);
    // Sets the clock to `elapsed` milliseconds since the start without a
    // step, for callers that drive the player themselves to draw a single
    // moment. Step and RunUntil expect the clock no later than their tick.
    void MoveClockTo(uint32_t elapsed) { clock_.Set(clockStart_ + elapsed); }

    ScenarioPlayer& Player() { return *player_; }
    // The window: tools read it; tests also paint on it to see what a step
    // leaves.
    MemoryCanvas& Canvas() { return canvas_; }

private:
    VirtualClock clock_;
    SubtractiveRandom random_;
    MainThreadCalls calls_;
    VirtualWaveOutput waveOutput_;
    std::unique_ptr<oWaveDataControl> wave_;
    std::unique_ptr<TextRenderer> text_;
    MemoryCanvas canvas_;
    std::unique_ptr<PlayerTrace> trace_;
    std::unique_ptr<ScenarioPlayer> player_;
    uint32_t clockStart_;
    uint32_t nextTick_ = 10;
};
