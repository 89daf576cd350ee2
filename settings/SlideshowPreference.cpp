#include "settings/SlideshowPreference.h"

#include "ZULResourceUtilLib/LittleEndian.h"

std::optional<int16_t> SlideshowPreference::SettingsWord(int64_t slot) const
{
    if (slot < 0 || slot >= SettingsWordCount) return std::nullopt;
    return static_cast<int16_t>(ReadLe16(bytes.data() + 2 * slot));
}

std::optional<int32_t> SlideshowPreference::SettingsValue(int64_t slot) const
{
    if (slot < 0 || slot >= SettingsValueCount) return std::nullopt;
    return static_cast<int32_t>(ReadLe32(bytes.data() + SettingsValueOffset + 4 * slot));
}

SlideshowPreference SlideshowPreference::From(int16_t wait, int16_t effect, int16_t effectSpeed, bool soundOn)
{
    SlideshowPreference preference;
    preference.SetWord(PreferenceWord::SlideshowWait, wait);
    preference.SetWord(PreferenceWord::SlideshowEffect, effect);
    preference.SetWord(PreferenceWord::SlideshowEffectSpeed, effectSpeed);
    preference.SetSlideshowSoundUse(soundOn);
    return preference;
}

void SlideshowPreference::SetWord(PreferenceWord word, int16_t value)
{
    WriteLe16(bytes.data() + 2 * static_cast<int>(word), static_cast<uint16_t>(value));
}
