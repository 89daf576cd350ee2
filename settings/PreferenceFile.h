// PreferenceFile: which store the settings name selects: the ini file's
// path, or the registry key path.
//
// The settings name (SettingsFileName, from string-table entry 1001) is an
// ANSI (Shift-JIS) file name such as "kt5_scr2.ini"; an empty entry gives
// DefaultSettingsFileName.
//
// FindPreferenceFile: the file beside the program (A) is used when it exists
// and, for writing, can be opened for writing; otherwise a file of the same
// name in the documents folder (B) when one already exists there; otherwise
// A. So a new file is always made beside the program, and a file beside the
// program wins for reading even when both exist. The result is empty when
// the program's folder is unknown and no B can be used.
//
// PreferenceRegistryKeyPath: "SOFTWARE\Quorvik_Works\" and the settings name
// without the extension of its last element ("kt5_scr2.ini" gives
// SOFTWARE\Quorvik_Works\kt5_scr2); the name is walked as Shift-JIS, so a
// trail byte 0x5C is not taken for a backslash.
#pragma once

#include "settings/PreferenceEnvironment.h"

#include <filesystem>
#include <string>
#include <string_view>

constexpr std::string_view DefaultSettingsFileName = "ScreenSaver.ini";
constexpr std::string_view PreferenceSection = "Preference";

std::string SettingsFileNameFromStringTable(std::string_view entry1001);

enum class PreferenceAccess { Read, Write };

std::filesystem::path FindPreferenceFile(const PreferenceEnvironment& environment, std::string_view iniFileName,
                                         PreferenceAccess access);

std::string PreferenceRegistryKeyPath(std::string_view iniFileName);
