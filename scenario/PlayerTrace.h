// PlayerTrace: the player's events as text lines, one per event, fields
// separated by one space, the first field the milliseconds since `start`:
//   t record INDEX CODE
//   t show PICTURE_ID LOADED EFFECT SPEED     (LOADED 1 or 0)
//   t frame LEVEL
//   t finish
//   t sound ID once|loop DURATION_MS
//   t volume PRESET
//   t banner
#pragma once

#include "platform/Clock.h"
#include "scenario/ScenarioPlayer.h"

#include <cstdint>
#include <functional>
#include <string>

class PlayerTrace final : public PlayerObserver {
public:
    // `line` receives each line without its line end.
    PlayerTrace(MillisecondClock& clock, uint32_t start, std::function<void(const std::string&)> line)
        : clock_(clock), start_(start), line_(std::move(line))
    {
    }

    void RecordExecuted(int16_t index, uint8_t code) override;
    void PictureShown(int32_t pictureId, bool loaded, int16_t effect, int16_t speed) override;
    void LevelStored(int32_t level) override;
    void TransitionFinished() override;
    void SoundStarted(int32_t soundId, bool once, uint32_t durationMs) override;
    void VolumeSet(int16_t preset) override;
    void BannerStarted() override;

private:
    void Emit(const std::string& event);

    MillisecondClock& clock_;
    uint32_t start_;
    std::function<void(const std::string&)> line_;
};
