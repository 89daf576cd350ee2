// ViewerSession: everything of the slide show that the viewer window owns,
// from the window's creation to its destruction, free of any window system.
//
// A shell (Win32, SDL) makes its window, then a session with the window's
// client size and the user's settings, and calls Start: the archive is
// opened (its own program file first, then "SC_TEST.brsc" beside it), the
// scenario loaded, the screen buffers made and the timer thread started. The
// timer hands its steps to the main thread through the MainThreadCalls
// given, which the shell's message loop runs. Without a scenario the timer
// makes the text banner drift instead.
//
// Input is decided here (InputRules.h): the shell reports keys, buttons and
// pointer positions and closes its window when told to, after CloseQuery.
//
// Ending: Stop (or the destructor) asks the timer to end and lets go of it;
// the timer frees itself once it notices. A step it had already handed over
// checks the request on the main thread and does nothing, so no step reaches
// a session that is being destroyed. The shell calls Stop first thing when
// its window begins to be destroyed. Then the player goes: it stops the
// sound, releases the buffers and closes both archives.
//
// Everything here runs on the main thread. The services must outlive the
// session; the MainThreadCalls must outlive the timer thread too (the
// savers keep it for the whole process and shut it down at the end).
#pragma once

#include "platform/Clock.h"
#include "platform/MainThreadCalls.h"
#include "platform/TPoint.h"
#include "scenario/ScenarioPlayer.h"
#include "scenario/SSScenarioTimer.h"
#include "settings/SlideshowPreference.h"
#include "shell/common/CloseQuery.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

struct ViewerServices {
    MainThreadCalls* calls = nullptr;
    WindowCanvas* canvas = nullptr;
    SoundPlayer* sound = nullptr;
    SubtractiveRandom* random = nullptr;
    TextRenderer* text = nullptr;
    // The machine's clock when null.
    MillisecondClock* clock = nullptr;
    // Told what the player does (a trace); optional.
    PlayerObserver* observer = nullptr;
    // Makes the window-sized 32-bit screen bitmap; memory when not set.
    std::function<std::unique_ptr<TBitmap>(int32_t width, int32_t height)> makeScreenBitmap;
    // For tests: what the timer thread sleeps with (the machine's when empty).
    std::function<void(uint32_t)> timerSleep;
    // A step that throws (no memory for a picture, say) is reported here on
    // the main thread and the timer stops; without a handler the exception
    // passes on to the timer thread as the synchronised call's failure.
    std::function<void(const std::exception& failure)> stepFailed;
};

struct ViewerStart {
    int32_t width = 0;  // the window's client size
    int32_t height = 0;
    bool previewMode = false;
    SlideshowPreference settings;
    std::vector<std::filesystem::path> archivePaths = DefaultArchivePaths();
};

// The scenario's view of the user's settings: their word and value tables.
ScenarioSettings ScenarioSettingsOf(const SlideshowPreference& preference);

class ViewerSession {
public:
    ViewerSession(const ViewerServices& services, const ViewerStart& start);
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    // Opens the scenario, prepares the buffers and starts the timer. False
    // (timer not started) when the buffers cannot be had; the shell then
    // says so and closes. Called once.
    bool Start();

    bool ScenarioMode() const { return scenarioMode_; }
    // No sound at all: preview mode, or the user turned sound off.
    bool SoundOff() const { return soundOff_; }
    bool PreviewMode() const { return previewMode_; }

    // Input. Each returns true when the viewer should now try to close.
    void SetStartCursor(TPoint position) { startCursor_ = position; }
    bool KeyPressed() const { return !previewMode_; }
    bool ButtonPressed() const { return !previewMode_; }
    bool PointerMoved(TPoint position) const;

    // Whether the viewer may close now. A running transition is finished
    // first (its picture stays and its sound starts), then the password
    // rules of CloseQuery.h apply with the platform id the shell set.
    CloseAnswer CloseQuery(ScreenSaverPassword& password);
    void SetPlatformId(uint32_t platformId) { platformId_ = platformId; }

    // Stops the timer's steps; later steps already handed over do nothing.
    void Stop();

    ScenarioPlayer& Player() { return *player_; }

private:
    // What the timer runs: the player's steps, with failures caught on the
    // main thread so that they never reach the timer thread.
    class GuardedSteps final : public ScenarioStepTarget {
    public:
        explicit GuardedSteps(ViewerSession& session) : session_(session) {}
        void PrepareCanvas() override { Run(&ScenarioStepTarget::PrepareCanvas); }
        void ScenarioStep() override { Run(&ScenarioStepTarget::ScenarioStep); }
        void BannerStep() override { Run(&ScenarioStepTarget::BannerStep); }

    private:
        void Run(void (ScenarioStepTarget::*step)());
        ViewerSession& session_;
    };

    ViewerServices services_;
    GuardedSteps steps_{*this};
    bool previewMode_;
    bool soundOff_;
    bool scenarioMode_ = false;
    uint32_t platformId_ = 0;
    TPoint startCursor_;
    std::vector<std::filesystem::path> archivePaths_;
    // The viewer asks for a 1 ms timer for as long as it lives.
    TimerResolutionHold resolution_;
    std::unique_ptr<ScenarioPlayer> player_;
    // Frees itself once told to terminate; null after Stop.
    SSScenarioTimer* timer_ = nullptr;
};
