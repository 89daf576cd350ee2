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
    : clock(options.clockStart),
      waveOutput(QuietOutput()),
      text(options.drawText ? MakeTextRenderer() : nullptr),
      canvas(options.width, options.height, text.get()),
      clockStart_(options.clockStart)
{
    random.Seed(options.seed);
    if (options.sound == nullptr)
        wave = std::make_unique<oWaveDataControl>(waveOutput, calls, WaveOwner{}, WaveWorkerMode::Pumped);
    if (options.trace) trace = std::make_unique<PlayerTrace>(clock, options.clockStart, options.trace);
    PlayerServices services;
    services.clock = &clock;
    services.canvas = &canvas;
    services.sound = options.sound != nullptr ? options.sound : wave.get();
    services.random = &random;
    services.text = text.get();
    services.observer = trace.get();
    services.soundFailed = options.soundFailed;
    ViewerSetup setup;
    setup.width = options.width;
    setup.height = options.height;
    setup.settings = options.settings;
    setup.soundOff = options.soundOff;
    player = std::make_unique<ScenarioPlayer>(services, setup);
}

HeadlessSlideShow::~HeadlessSlideShow()
{
    // The player stops the sound before its archives close; the sound
    // player goes after it.
    player.reset();
    wave.reset();
}

void HeadlessSlideShow::Step(bool scenarioMode)
{
    const uint32_t elapsed = nextTick_ - (clock.Now() - clockStart_);
    clock.Set(clockStart_ + nextTick_);
    nextTick_ += 10;
    // The sound device plays on while time passes, and its notices are
    // handled before the step, as the main thread's message loop would.
    if (wave != nullptr) {
        waveOutput.Advance(elapsed);
        wave->PumpWorkers();
        calls.RunPending();
    }
    if (scenarioMode)
        player->ScenarioStep();
    else
        player->BannerStep();
}

void HeadlessSlideShow::RunUntil(uint32_t elapsed, bool scenarioMode)
{
    while (nextTick_ <= elapsed) Step(scenarioMode);
}
