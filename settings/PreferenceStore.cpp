#include "settings/PreferenceStore.h"

#include "settings/PreferenceFile.h"
#include "settings/SSInfoLoader.h"
#include "settings/ShareRegIni.h"

#include <exception>
#include <system_error>
#include <vector>

namespace {

struct WordKey {
    PreferenceWord word;
    const char* key;
    int32_t defaultValue;
};

constexpr WordKey WordKeys[] = {
    {PreferenceWord::SlideshowWait, "SlideshowWait", 5},
    {PreferenceWord::SlideshowEffect, "SlideshowEffect", 1},
    {PreferenceWord::SlideshowEffectSpeed, "SlideshowEffectSpeed", 2},
};
constexpr const char* SoundUseKey = "SlideshowSoundUse";
constexpr int32_t SoundUseDefault = 5;

bool OpenForLoading(const PreferenceEnvironment& environment, std::string_view iniFileName, ShareRegIni& store)
{
    switch (environment.store) {
    case PreferenceStoreKind::IniFile: {
        const std::filesystem::path path = FindPreferenceFile(environment, iniFileName, PreferenceAccess::Read);
        std::error_code error;
        if (path.empty() || !std::filesystem::exists(path, error)) return false;
        return store.OpenIniFile(path, environment.saveFaults);
    }
    case PreferenceStoreKind::Registry:
        return store.OpenRegistry(PreferenceRegistryKeyPath(iniFileName), RegistryRoot::CurrentUser);
    }
    return false;
}

bool OpenForSaving(const PreferenceEnvironment& environment, std::string_view iniFileName, ShareRegIni& store)
{
    switch (environment.store) {
    case PreferenceStoreKind::IniFile:
        return store.OpenIniFile(FindPreferenceFile(environment, iniFileName, PreferenceAccess::Write),
                                 environment.saveFaults);
    case PreferenceStoreKind::Registry:
        return store.OpenRegistry(PreferenceRegistryKeyPath(iniFileName), RegistryRoot::CurrentUser);
    }
    return false;
}

// The four values of an open store; its errors pass through.
void ReadValues(ShareRegIni& store, SlideshowPreference& preference)
{
    for (const WordKey& entry : WordKeys) {
        const int32_t value = store.ReadInteger(PreferenceSection, entry.key, entry.defaultValue);
        preference.SetWord(entry.word, static_cast<int16_t>(value));  // no range check: kept as stored
    }
    preference.SetSlideshowSoundUse(store.ReadInteger(PreferenceSection, SoundUseKey, SoundUseDefault) != 0);
}

// Reads what it can into the record; false when the store was unusable.
bool ReadStore(const PreferenceEnvironment& environment, std::string_view iniFileName,
               SlideshowPreference& preference)
{
    try {
        ShareRegIni store(environment.openRegistry);
        if (!OpenForLoading(environment, iniFileName, store)) return false;
        ReadValues(store, preference);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void LoadPreference(const PreferenceEnvironment& environment, std::string_view iniFileName,
                    SlideshowPreference& preference, AboutPictureTarget* aboutPicture)
{
    RefreshSSInfo(environment, SSInfo, aboutPicture);
    preference.Clear();
    if (ReadStore(environment, iniFileName, preference)) return;
    preference = SlideshowPreference::From(5, 1, 2, true);
}

void LoadPreference(std::string_view iniFileName, SlideshowPreference& preference, AboutPictureTarget* aboutPicture)
{
    LoadPreference(PreferenceEnvironment::OfThisProgram(), iniFileName, preference, aboutPicture);
}

SlideshowPreference ReadPreferenceFile(const std::filesystem::path& iniFile)
{
    SlideshowPreference preference;
    preference.Clear();
    try {
        ShareRegIni store;
        if (store.OpenIniFile(iniFile)) {
            ReadValues(store, preference);
            return preference;
        }
    } catch (const std::exception&) {
    }
    return SlideshowPreference::From(5, 1, 2, true);
}

bool SavePreference(const PreferenceEnvironment& environment, std::string_view iniFileName,
                    const SlideshowPreference& preference)
{
    try {
        ShareRegIni store(environment.openRegistry);
        if (!OpenForSaving(environment, iniFileName, store)) return false;
        std::vector<IniInteger> values;
        for (const WordKey& entry : WordKeys) values.push_back({entry.key, preference.Word(entry.word)});
        values.push_back({SoundUseKey, preference.SlideshowSoundUse() ? 1 : 0});
        store.WriteIntegers(PreferenceSection, values);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool SavePreference(std::string_view iniFileName, const SlideshowPreference& preference)
{
    return SavePreference(PreferenceEnvironment::OfThisProgram(), iniFileName, preference);
}
