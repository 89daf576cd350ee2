#include "shell/linux/LinuxSettings.h"

#include "settings/PreferenceStore.h"

std::optional<std::filesystem::path> LinuxSettingsFile(const char* xdgConfigHome, const char* home)
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    std::filesystem::path folder;
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/')
        folder = xdgConfigHome;
    else if (home != nullptr && home[0] != '\0')
        folder = std::filesystem::path(home) / ".config";
    else
        return std::nullopt;
    return folder / "kamishibai" / "kt5_scr2.ini";
}

SlideshowPreference LinuxPreference(const LinuxCommand& command, const std::optional<std::filesystem::path>& file)
{
    SlideshowPreference preference =
        file ? ReadPreferenceFile(*file) : SlideshowPreference::From(5, 1, 2, true);
    if (command.wait) preference.SetWord(PreferenceWord::SlideshowWait, *command.wait);
    if (command.effect) preference.SetWord(PreferenceWord::SlideshowEffect, *command.effect);
    if (command.speed) preference.SetWord(PreferenceWord::SlideshowEffectSpeed, *command.speed);
    if (command.soundOn) preference.SetSlideshowSoundUse(*command.soundOn);
    return preference;
}
