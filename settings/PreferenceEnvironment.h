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
// store picks where the four settings live: the ini file (FindPreferenceFile)
// or the current user's registry key (PreferenceRegistryKeyPath). Its default
// is the build's choice (KAMISHIBAI_PREFERENCE_IN_INI_FILE, on unless the
// build turns it off); a program built for the other store says so when it
// asks for its environment, so that both kinds of saver can come out of one
// build of this library.
//
// openRegistry is the registry store's seam (platform/RegistryIni.h); it is
// only called when store is Registry. saveFaults simulate failed or
// interrupted saves of the ini file in tests and are left alone otherwise.
#pragma once

#include "platform/FileReplace.h"
#include "platform/RegistryIni.h"
#include "settings/ShareRegIni.h"

#include <filesystem>
#include <optional>

enum class PreferenceStoreKind { IniFile, Registry };

#ifndef KAMISHIBAI_PREFERENCE_IN_INI_FILE
#define KAMISHIBAI_PREFERENCE_IN_INI_FILE 1
#endif
constexpr bool PreferenceInIniFile = KAMISHIBAI_PREFERENCE_IN_INI_FILE != 0;
constexpr PreferenceStoreKind DefaultPreferenceStore =
    PreferenceInIniFile ? PreferenceStoreKind::IniFile : PreferenceStoreKind::Registry;

struct PreferenceEnvironment {
    std::filesystem::path programFile;
    std::filesystem::path programFolder;
    std::optional<std::filesystem::path> documentsFolder;
    PreferenceStoreKind store = DefaultPreferenceStore;
    RegistryIniOpener openRegistry;
    FileReplaceFaults saveFaults;

    // The running program's own places and the system's registry
    // (platform/ProgramPaths.h, SystemRegistryOpener), with the given store.
    static PreferenceEnvironment OfThisProgram(PreferenceStoreKind store = DefaultPreferenceStore);
};
