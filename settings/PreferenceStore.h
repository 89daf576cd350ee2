// PreferenceStore: loading and saving the four user settings.
//
// LoadPreference first refreshes SSInfo from the archive and, when a target
// is given, draws the about picture into it (SSInfoLoader.h). It then clears
// the record and reads section "Preference" of the store the environment
// names (PreferenceEnvironment::store): "SlideshowWait" (default 5),
// "SlideshowEffect" (1), "SlideshowEffectSpeed" (2), each truncated to 16
// bits and kept without a range check, and "SlideshowSoundUse" (default 5),
// on for any value but 0. A store that cannot be used (no ini file, one that
// cannot be read, no registry store, any read error) gives wait 5, effect 1,
// speed 2, sound on, also over values read before the error. It never fails
// and never throws.
//
// SavePreference writes the four values in that order (the words
// sign-extended to 32 bits, sound as 1 or 0) to the ini file FindPreferenceFile
// picks for writing, or to the registry key. It returns false when the store
// cannot be opened or a write fails. The ini file gets all four in one whole
// replacement of the file, so a failed or interrupted save leaves the old
// settings whole; in the registry the writing stops at a failed value, and
// values written before stay written.
//
// The overloads without an environment use the running program's places and
// the build's default store; a program that keeps its settings in the other
// store passes PreferenceEnvironment::OfThisProgram(itsStore) instead.
#pragma once

#include "settings/AboutPictureTarget.h"
#include "settings/PreferenceEnvironment.h"
#include "settings/SlideshowPreference.h"

#include <string_view>

void LoadPreference(const PreferenceEnvironment& environment, std::string_view iniFileName,
                    SlideshowPreference& preference, AboutPictureTarget* aboutPicture);
void LoadPreference(std::string_view iniFileName, SlideshowPreference& preference, AboutPictureTarget* aboutPicture);

// The four settings from one ini file at a known place (the Linux saver's
// settings under the user's configuration folder), by the same keys and
// defaults; an absent or unreadable file gives the defaults.
SlideshowPreference ReadPreferenceFile(const std::filesystem::path& iniFile);

bool SavePreference(const PreferenceEnvironment& environment, std::string_view iniFileName,
                    const SlideshowPreference& preference);
bool SavePreference(std::string_view iniFileName, const SlideshowPreference& preference);
