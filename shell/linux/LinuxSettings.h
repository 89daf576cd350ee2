// The Linux saver's settings: the same four values and ini format as on
// Windows, in $XDG_CONFIG_HOME/kamishibai/kt5_scr2.ini (XDG_CONFIG_HOME
// defaults to ~/.config), overridden for one run by the command line.
#pragma once

#include "settings/SlideshowPreference.h"
#include "shell/linux/LinuxCommandLine.h"

#include <filesystem>
#include <optional>

// Empty when neither XDG_CONFIG_HOME (absolute) nor HOME gives a folder.
std::optional<std::filesystem::path> LinuxSettingsFile(const char* xdgConfigHome, const char* home);

// The file's settings (defaults when there is none) with the command line's
// overrides applied.
SlideshowPreference LinuxPreference(const LinuxCommand& command, const std::optional<std::filesystem::path>& file);
