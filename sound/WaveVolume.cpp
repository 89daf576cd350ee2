#include "sound/WaveVolume.h"

namespace {

constexpr uint16_t Presets[WaveVolumeLevels] = {0x0000, 0x1FFF, 0x5FFF, 0x8FFF, 0xBFFF, 0xFFFF};

}  // namespace

std::optional<uint16_t> VolumePresetValue(int level)
{
    if (level < 0 || level >= WaveVolumeLevels) return std::nullopt;
    return Presets[level];
}
