// WaveVolume: the six volume levels of the scenario's volume command. The
// same value goes to both channels; 0xFFFF is the loudest.
#pragma once

#include <cstdint>
#include <optional>

constexpr int WaveVolumeLevels = 6;

// The channel value of a level 0 to 5; nothing for any other level (the
// command is then refused and changes nothing).
std::optional<uint16_t> VolumePresetValue(int level);
