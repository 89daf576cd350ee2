// SlideshowPreference: the user's four slide-show settings in their fixed
// 60-byte record.
//
// Layout (little-endian):
//   0..15   settings word table: eight signed 16-bit slots; slot 0 the wait
//           between pictures in seconds, slot 1 the transition effect, slot 2
//           the effect speed, slots 3-7 zero
//   16..55  settings value table: ten signed 32-bit slots, all zero
//   56      sound on (1) or off (0)
//   57..59  zero
// The record is kept as its bytes and read and written through explicit
// little-endian helpers, so that the scenario player can take it as the two
// tables and the bytes are the same on every machine. SettingsWord and
// SettingsValue give nothing for a slot outside their table, since a slot
// number may come from an untrusted scenario.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

constexpr size_t SlideshowPreferenceSize = 60;
constexpr int SettingsWordCount = 8;
constexpr int SettingsValueCount = 10;
constexpr size_t SettingsValueOffset = 16;
constexpr size_t SoundUseOffset = 56;

// The word slots that hold a setting.
enum class PreferenceWord { SlideshowWait = 0, SlideshowEffect = 1, SlideshowEffectSpeed = 2 };

struct SlideshowPreference {
    // The record of the four settings, every other byte zero.
    static SlideshowPreference From(int16_t wait, int16_t effect, int16_t effectSpeed, bool soundOn);

    void Clear() { bytes.fill(0); }

    std::optional<int16_t> SettingsWord(int64_t slot) const;
    std::optional<int32_t> SettingsValue(int64_t slot) const;

    int16_t Word(PreferenceWord word) const { return *SettingsWord(static_cast<int>(word)); }
    void SetWord(PreferenceWord word, int16_t value);

    bool SlideshowSoundUse() const { return bytes[SoundUseOffset] != 0; }
    void SetSlideshowSoundUse(bool on) { bytes[SoundUseOffset] = on ? 1 : 0; }

    bool operator==(const SlideshowPreference&) const = default;

    std::array<uint8_t, SlideshowPreferenceSize> bytes{};
};
