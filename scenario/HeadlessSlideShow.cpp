#include "scenario/HeadlessSlideShow.h"

namespace {

// Long runs hand over many blocks: keep no record of them (a day of show
// would otherwise hold megabytes of write records).
VirtualWaveOutput::Settings QuietOutput()
{
    VirtualWaveOutput::Settings settings;
    settings.recordBytes = false;
    settings.keepHistory = false;
    return settings;
}

}  // namespace

HeadlessSlideShow::HeadlessSlideShow(const HeadlessOptions& options)
    : clock_(options.clockStart),
      waveOutput_(QuietOutput()),
      text_(options.drawText ? MakeTextRenderer() : nullptr),
      canvas_(options.width, options.height, text_.get()),
      clockStart_(options.clockStart)
{
    random_.Seed(options.seed);
    if (options.sound == nullptr)
        wave_ = std::make_unique<oWaveDataControl>(waveOutput_, calls_, WaveOwner{}, WaveWorkerMode::Pumped);
    if (options.trace) trace_ = std::make_unique<PlayerTrace>(clock_, options.clockStart, options.trace);
    PlayerServices services;
    services.clock = &clock_;
    services.canvas = &canvas_;
    services.sound = options.sound != nullptr ? options.sound : wave_.get();
    services.random = &random_;
    services.text = text_.get();
    services.observer = trace_.get();
    services.soundFailed = options.soundFailed;
    ViewerSetup setup;
    setup.width = options.width;
    setup.height = options.height;
    setup.settings = options.settings;
    setup.soundOff = options.soundOff;
    player_ = std::make_unique<ScenarioPlayer>(services, setup);
}

HeadlessSlideShow::~HeadlessSlideShow()
{
    // The player stops the sound before its archives close; the sound
    // player goes after it.
    player_.reset();
    wave_.reset();
}

void HeadlessSlideShow::Step(bool scenarioMode)
{
    const uint32_t elapsed = nextTick_ - (clock_.Now() - clockStart_);
    clock_.Set(clockStart_ + nextTick_);
    nextTick_ += 10;
    // The sound device plays on while time passes, and its notices are
    // handled before the step, as the main thread's message loop would.
    if (wave_ != nullptr) {
        waveOutput_.Advance(elapsed);
        wave_->PumpWorkers();
        calls_.RunPending();
    }
    if (scenarioMode)
        player_->ScenarioStep();
    else
        player_->BannerStep();
}

void HeadlessSlideShow::RunUntil(uint32_t elapsed, bool scenarioMode)
{
    while (nextTick_ <= elapsed) Step(scenarioMode);
}
