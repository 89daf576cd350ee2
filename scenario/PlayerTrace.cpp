#include "scenario/PlayerTrace.h"

void PlayerTrace::Emit(const std::string& event)
{
    line_(std::to_string(clock_.Now() - start_) + " " + event);
}

void PlayerTrace::RecordExecuted(int16_t index, uint8_t code)
{
    Emit("record " + std::to_string(index) + " " + std::to_string(code));
}

void PlayerTrace::PictureShown(int32_t pictureId, bool loaded, int16_t effect, int16_t speed)
{
    Emit("show " + std::to_string(pictureId) + " " + (loaded ? "1 " : "0 ") + std::to_string(effect) + " " +
         std::to_string(speed));
}

void PlayerTrace::LevelStored(int32_t level)
{
    Emit("frame " + std::to_string(level));
}

void PlayerTrace::TransitionFinished()
{
    Emit("finish");
}

void PlayerTrace::SoundStarted(int32_t soundId, bool once, uint32_t durationMs)
{
    Emit("sound " + std::to_string(soundId) + (once ? " once " : " loop ") + std::to_string(durationMs));
}

void PlayerTrace::VolumeSet(int16_t preset)
{
    Emit("volume " + std::to_string(preset));
}

void PlayerTrace::BannerStarted()
{
    Emit("banner");
}
