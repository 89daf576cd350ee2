// The store a load or save goes to is the environment's choice at run time:
// the registry kind must never touch an ini file, the ini kind never the
// registry, whatever the build's default is.
#include "settings/PreferenceStore.h"

#include "platform/ProgramPaths.h"
#include "settings/PreferenceFile.h"
#include "tests/settings/PreferenceValues.h"
#include "tests/settings/SettingsTestFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* IniName = "kt5_scr2.ini";
constexpr const char* KeyPath = "SOFTWARE\\Quorvik_Works\\kt5_scr2";

// The current user's registry in memory: values by "section\key", every key
// path the store was opened on, and a value name whose read and write fail
// as a denied registry access would.
class FakeRegistry {
public:
    std::map<std::string, int32_t> values;
    std::vector<std::string> openedKeyPaths;
    std::string failingKey;
    bool refuseOpening = false;

    RegistryIniOpener Opener()
    {
        return [this](RegistryRoot root, std::string_view keyPath) -> std::unique_ptr<RegistryIni> {
            EXPECT_EQ(root, RegistryRoot::CurrentUser);
            openedKeyPaths.emplace_back(keyPath);
            if (refuseOpening) return nullptr;
            return std::make_unique<Store>(*this);
        };
    }

private:
    class Store final : public RegistryIni {
    public:
        explicit Store(FakeRegistry& registry) : registry_(registry) {}
        int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) override
        {
            if (key == registry_.failingKey) throw RegistryError("access denied");
            const auto found = registry_.values.find(Name(section, key));
            return found == registry_.values.end() ? defaultValue : found->second;
        }
        void WriteInteger(std::string_view section, std::string_view key, int32_t value) override
        {
            if (key == registry_.failingKey) throw RegistryError("access denied");
            registry_.values[Name(section, key)] = value;
        }

    private:
        static std::string Name(std::string_view section, std::string_view key)
        {
            return std::string(section) + "\\" + std::string(key);
        }
        FakeRegistry& registry_;
    };
};

class PreferenceStoreKindTest : public testing::Test {
protected:
    PreferenceEnvironment Environment(PreferenceStoreKind store)
    {
        PreferenceEnvironment environment = folders.Environment();
        environment.store = store;
        environment.openRegistry = registry.Opener();
        return environment;
    }

    static SlideshowPreference Load(const PreferenceEnvironment& environment)
    {
        SlideshowPreference preference;
        preference.bytes.fill(0xAA);  // whatever the caller's record held
        LoadPreference(environment, IniName, preference, nullptr);
        return preference;
    }

    // Every file under both folders with its text, to show that a registry
    // load or save left the files alone.
    std::map<fs::path, std::string> Files() const
    {
        std::map<fs::path, std::string> files;
        for (const fs::path& folder : {folders.ProgramFolder(), folders.DocumentsFolder()})
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
                files[entry.path()] = entry.is_regular_file() ? ReadTextFile(entry.path()) : std::string();
        return files;
    }

    SettingsFolders folders;
    FakeRegistry registry;
};

TEST_F(PreferenceStoreKindTest, RegistryKindReadsAndWritesTheRegistryAndNoFile)
{
    WriteTextFile(folders.ProgramFolder() / IniName, "[Preference]\nSlideshowWait=11\nSlideshowSoundUse=0\n");
    WriteTextFile(folders.DocumentsFolder() / IniName, "[Preference]\nSlideshowWait=12\n");
    const auto filesBefore = Files();
    registry.values = {{"Preference\\SlideshowWait", 3}, {"Preference\\SlideshowEffect", 4}};
    const PreferenceEnvironment environment = Environment(PreferenceStoreKind::Registry);

    EXPECT_EQ(Load(environment), Make({3, 4, 2, true}));
    ASSERT_TRUE(SavePreference(environment, IniName, Make({-1, 0, 7, false})));
    const std::map<std::string, int32_t> saved{{"Preference\\SlideshowWait", -1},
                                               {"Preference\\SlideshowEffect", 0},
                                               {"Preference\\SlideshowEffectSpeed", 7},
                                               {"Preference\\SlideshowSoundUse", 0}};
    EXPECT_EQ(registry.values, saved);
    EXPECT_EQ(Load(environment), Make({-1, 0, 7, false}));

    EXPECT_EQ(registry.openedKeyPaths, std::vector<std::string>(3, KeyPath));
    EXPECT_EQ(Files(), filesBefore);
}

TEST_F(PreferenceStoreKindTest, IniKindNeverOpensTheRegistry)
{
    registry.values = {{"Preference\\SlideshowWait", 3}};
    const auto registryBefore = registry.values;
    const PreferenceEnvironment environment = Environment(PreferenceStoreKind::IniFile);

    EXPECT_EQ(Load(environment), Defaults);  // no file yet, and the registry's 3 is not looked at
    ASSERT_TRUE(SavePreference(environment, IniName, Make({9, 1, 2, true})));
    EXPECT_EQ(Load(environment), Make({9, 1, 2, true}));
    EXPECT_NE(ReadTextFile(folders.ProgramFolder() / IniName).find("SlideshowWait=9"), std::string::npos);

    EXPECT_TRUE(registry.openedKeyPaths.empty());
    EXPECT_EQ(registry.values, registryBefore);
}

struct RegistryCase {
    const char* name;
    std::map<std::string, int32_t> values;
    Values expected;
};

class RegistryValuesTest : public PreferenceStoreKindTest, public testing::WithParamInterface<RegistryCase> {};

TEST_P(RegistryValuesTest, LoadsWithKeyDefaultsAndNoRangeCheck)
{
    registry.values = GetParam().values;
    EXPECT_EQ(Load(Environment(PreferenceStoreKind::Registry)), Make(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryValuesTest,
    testing::Values(
        RegistryCase{"Empty", {}, {5, 1, 2, true}},
        RegistryCase{"AllFour",
                     {{"Preference\\SlideshowWait", 7},
                      {"Preference\\SlideshowEffect", 3},
                      {"Preference\\SlideshowEffectSpeed", 4},
                      {"Preference\\SlideshowSoundUse", 0}},
                     {7, 3, 4, false}},
        RegistryCase{"SoundTwoIsOn", {{"Preference\\SlideshowSoundUse", 2}}, {5, 1, 2, true}},
        RegistryCase{"TruncatedTo16Bits",
                     {{"Preference\\SlideshowWait", 70000}, {"Preference\\SlideshowEffect", -32769}},
                     {4464, 32767, 2, true}},
        RegistryCase{"OtherSectionOnly", {{"Other\\SlideshowWait", 9}}, {5, 1, 2, true}}),
    [](const testing::TestParamInfo<RegistryCase>& info) { return std::string(info.param.name); });

TEST_F(PreferenceStoreKindTest, RegistryThatCannotBeOpenedGivesDefaultsAndCannotSave)
{
    PreferenceEnvironment withoutRegistry = Environment(PreferenceStoreKind::Registry);
    withoutRegistry.openRegistry = {};  // a system without a registry
    registry.refuseOpening = true;
    for (const PreferenceEnvironment& environment : {withoutRegistry, Environment(PreferenceStoreKind::Registry)}) {
        EXPECT_EQ(Load(environment), Defaults);
        EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    }
    EXPECT_TRUE(Files().empty());  // no falling back to an ini file
}

TEST_F(PreferenceStoreKindTest, FailedRegistryReadGivesDefaultsOverValuesReadBefore)
{
    registry.values = {{"Preference\\SlideshowWait", 9}, {"Preference\\SlideshowEffect", 8}};
    registry.failingKey = "SlideshowEffectSpeed";
    EXPECT_EQ(Load(Environment(PreferenceStoreKind::Registry)), Defaults);
}

TEST_F(PreferenceStoreKindTest, FailedRegistryWriteStopsTheSaveAndKeepsWhatWasWritten)
{
    registry.failingKey = "SlideshowEffectSpeed";
    EXPECT_FALSE(SavePreference(Environment(PreferenceStoreKind::Registry), IniName, Make({6, 3, 4, false})));
    const std::map<std::string, int32_t> written{{"Preference\\SlideshowWait", 6},
                                                 {"Preference\\SlideshowEffect", 3}};
    EXPECT_EQ(registry.values, written);
    EXPECT_TRUE(Files().empty());
}

TEST(PreferenceEnvironmentTest, OfThisProgramKeepsTheStoreItIsGiven)
{
    EXPECT_EQ(PreferenceEnvironment::OfThisProgram().store, DefaultPreferenceStore);
    EXPECT_EQ(PreferenceEnvironment().store, DefaultPreferenceStore);
    for (const PreferenceStoreKind store : {PreferenceStoreKind::IniFile, PreferenceStoreKind::Registry}) {
        const PreferenceEnvironment environment = PreferenceEnvironment::OfThisProgram(store);
        EXPECT_EQ(environment.store, store);
        EXPECT_EQ(environment.programFile, ProgramFilePath());
    }
}

TEST(PreferenceEnvironmentTest, RegistryKindWithoutASystemRegistryLoadsDefaultsAndWritesNothing)
{
    // Only Windows has a registry; here the program's own places are real
    // folders, so the save must fail before it could write anywhere.
    const PreferenceEnvironment environment = PreferenceEnvironment::OfThisProgram(PreferenceStoreKind::Registry);
    EXPECT_FALSE(static_cast<bool>(environment.openRegistry));
    const fs::path besideProgram = environment.programFolder / IniName;
    const bool fileWasThere = fs::exists(besideProgram);
    SlideshowPreference loaded;
    LoadPreference(environment, IniName, loaded, nullptr);
    EXPECT_EQ(loaded, Defaults);
    EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    EXPECT_EQ(fs::exists(besideProgram), fileWasThere);
}

}  // namespace
