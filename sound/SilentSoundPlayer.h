// SilentSoundPlayer: a sound player that plays nothing. It loads each sound's
// format as the real player does, so that the slide show sees the sound's
// true length; for running the show without a sound device (tools, tests).
#pragma once

#include "sound/SoundPlayer.h"
#include "sound/WaveFormat.h"

class SilentSoundPlayer final : public SoundPlayer {
public:
    void Stop() override {}
    int Load(ResArchive& archive, const ResCursor& cursor) override;
    void Play(int /*loopCount*/) override {}
    uint32_t DurationMs() const override { return durationMs_; }
    std::string Problem() const override { return problem_; }
    void SetWaveVolume(uint16_t /*left*/, uint16_t /*right*/) override {}

private:
    WaveFormatFields format_;  // carried from sound to sound, as the real player does
    uint32_t durationMs_ = 0;
    std::string problem_;
};
