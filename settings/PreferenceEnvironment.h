// PreferenceEnvironment: the places the settings store looks at, gathered
// once so that tests can point them at folders of their own.
//
// programFile holds the archive appended behind the executable (the
// information block and the about picture); programFolder is where the ini
// file normally lives and where the side archive "SC_TEST.brsc" is looked
// for; documentsFolder is the user's documents folder, nothing when the
// system cannot tell it. An empty programFile or programFolder means the
// system could not tell it: nothing is read from or written there.
//
// openRegistry is the registry store's seam (ShareRegIni.h), left empty
// until the Windows registry store exists; saveFaults simulate failed or
// interrupted saves in tests and are left alone otherwise.
#pragma once

#include "platform/FileReplace.h"
#include "settings/ShareRegIni.h"

#include <filesystem>
#include <optional>

// The build-time choice of store: the ini file (on), or the registry key.
#ifndef KAMISHIBAI_PREFERENCE_IN_INI_FILE
#define KAMISHIBAI_PREFERENCE_IN_INI_FILE 1
#endif
constexpr bool PreferenceInIniFile = KAMISHIBAI_PREFERENCE_IN_INI_FILE != 0;

struct PreferenceEnvironment {
    std::filesystem::path programFile;
    std::filesystem::path programFolder;
    std::optional<std::filesystem::path> documentsFolder;
    RegistryIniOpener openRegistry;
    FileReplaceFaults saveFaults;

    // The running program's own places (platform/ProgramPaths.h).
    static PreferenceEnvironment OfThisProgram();
};
