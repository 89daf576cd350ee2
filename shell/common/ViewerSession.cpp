#include "shell/common/ViewerSession.h"

#include "shell/common/InputRules.h"

ScenarioSettings ScenarioSettingsOf(const SlideshowPreference& preference)
{
    ScenarioSettings settings;
    for (int slot = 0; slot < ScenarioSettingsWordSlots; ++slot)
        settings.words[static_cast<size_t>(slot)] = preference.SettingsWord(slot).value_or(0);
    for (int slot = 0; slot < ScenarioSettingsValueSlots; ++slot)
        settings.values[static_cast<size_t>(slot)] = preference.SettingsValue(slot).value_or(0);
    return settings;
}

namespace {

PlayerServices PlayerServicesOf(const ViewerServices& services, MillisecondClock* clock)
{
    PlayerServices player;
    player.clock = clock;
    player.canvas = services.canvas;
    player.sound = services.sound;
    player.random = services.random;
    player.text = services.text;
    player.observer = services.observer;
    player.makeScreenBitmap = services.makeScreenBitmap;
    return player;
}

}  // namespace

ViewerSession::ViewerSession(const ViewerServices& services, const ViewerStart& start)
    : services_(services),
      previewMode_(start.previewMode),
      soundOff_(start.previewMode || !start.settings.SlideshowSoundUse()),
      archivePaths_(start.archivePaths)
{
    static SystemClock machineClock;
    if (services_.clock == nullptr) services_.clock = &machineClock;
    ViewerSetup setup;
    setup.width = start.width;
    setup.height = start.height;
    setup.settings = ScenarioSettingsOf(start.settings);
    setup.soundOff = soundOff_;
    player_ = std::make_unique<ScenarioPlayer>(PlayerServicesOf(services_, services_.clock), setup);
}

ViewerSession::~ViewerSession()
{
    Stop();
    player_.reset();
}

bool ViewerSession::Start()
{
    timer_ = new SSScenarioTimer(*services_.calls, steps_, services_.clock, services_.timerSleep);
    timer_->SetFreeOnTerminate(true);
    scenarioMode_ = player_->OpenScenario(archivePaths_);
    if (scenarioMode_) {
        timer_->SetMode(SSScenarioTimer::ScenarioMode);
        if (!player_->PrepareBuffers()) {
            Stop();
            return false;
        }
    } else {
        timer_->SetMode(SSScenarioTimer::BannerMode);
    }
    timer_->Resume();
    return true;
}

bool ViewerSession::PointerMoved(TPoint position) const
{
    return !previewMode_ && MovedBeyondThreshold(startCursor_, position);
}

CloseAnswer ViewerSession::CloseQuery(ScreenSaverPassword& password)
{
    if (player_->TransitionRunning) player_->FinishTransition();
    return DecideClose(previewMode_, platformId_, password);
}

void ViewerSession::Stop()
{
    if (timer_ == nullptr) return;
    // A never-resumed timer is deleted inside Terminate; a running one frees
    // itself on its own thread: either way it is not ours to touch after this.
    SSScenarioTimer* timer = timer_;
    timer_ = nullptr;
    timer->Terminate();
}

void ViewerSession::GuardedSteps::Run(void (ScenarioStepTarget::*step)())
{
    ScenarioPlayer& player = *session_.player_;
    if (!session_.services_.stepFailed) {
        (player.*step)();
        return;
    }
    try {
        (player.*step)();
    } catch (const std::exception& failure) {
        session_.Stop();
        session_.services_.stepFailed(failure);
    }
}
