#include "settings/PreferenceStore.h"

#include "platform/FileReplace.h"
#include "settings/PreferenceFile.h"
#include "settings/SSInfo.h"
#include "tests/settings/PreferenceValues.h"
#include "tests/settings/SettingsTestFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr const char* IniName = "kt5_scr2.ini";

class PreferenceStoreTest : public testing::Test {
protected:
    fs::path BesideProgram() const { return folders.ProgramFolder() / IniName; }
    fs::path InDocuments() const { return folders.DocumentsFolder() / IniName; }

    SlideshowPreference Load()
    {
        SlideshowPreference preference;
        preference.bytes.fill(0xAA);  // whatever the caller's record held
        LoadPreference(environment, IniName, preference, nullptr);
        return preference;
    }

    // Makes a file read-only; false when this process may write it all the
    // same (running as root), which the tests that need it skip.
    bool MakeReadOnly(const fs::path& path)
    {
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        return !CanOpenForWriting(path);
    }

    SettingsFolders folders;
    PreferenceEnvironment environment = folders.Environment();
};

TEST_F(PreferenceStoreTest, NoFileAnywhereGivesDefaultsAndSavingCreatesItBesideTheProgram)
{
    const SlideshowPreference loaded = Load();
    EXPECT_EQ(loaded, Defaults);  // every other byte 0

    ASSERT_TRUE(SavePreference(environment, IniName, Make({3, 4, 0, false})));
    EXPECT_TRUE(fs::exists(BesideProgram()));
    EXPECT_FALSE(fs::exists(InDocuments()));
    EXPECT_EQ(ReadTextFile(BesideProgram()),
              "[Preference]\r\nSlideshowWait=3\r\nSlideshowEffect=4\r\nSlideshowEffectSpeed=0\r\n"
              "SlideshowSoundUse=0\r\n");
    EXPECT_EQ(Load(), Make({3, 4, 0, false}));
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.ProgramFolder()), fs::directory_iterator()), 1);
}

TEST_F(PreferenceStoreTest, FileBesideTheProgramWinsForReading)
{
    WriteTextFile(BesideProgram(), "[Preference]\nSlideshowWait=1\n");
    WriteTextFile(InDocuments(), "[Preference]\nSlideshowWait=2\n");
    EXPECT_EQ(Load().Word(PreferenceWord::SlideshowWait), 1);
    EXPECT_EQ(FindPreferenceFile(environment, IniName, PreferenceAccess::Write), BesideProgram());
}

TEST_F(PreferenceStoreTest, FileInDocumentsIsUsedOnlyWhenItExists)
{
    WriteTextFile(InDocuments(), "[Preference]\nSlideshowWait=2\n");
    EXPECT_EQ(Load().Word(PreferenceWord::SlideshowWait), 2);
    ASSERT_TRUE(SavePreference(environment, IniName, Make({9, 0, 0, true})));
    EXPECT_FALSE(fs::exists(BesideProgram()));
    EXPECT_EQ(Load(), Make({9, 0, 0, true}));
}

TEST_F(PreferenceStoreTest, ReadOnlyFileBesideTheProgramIsReadButNotWritten)
{
    const std::string text = "[Preference]\nSlideshowWait=11\n";
    WriteTextFile(BesideProgram(), text);
    if (!MakeReadOnly(BesideProgram())) GTEST_SKIP() << "this process writes read-only files all the same";

    EXPECT_EQ(Load(), Make({11, 1, 2, true}));
    EXPECT_FALSE(SavePreference(environment, IniName, Make({3, 3, 3, false})));
    EXPECT_EQ(ReadTextFile(BesideProgram()), text);
    EXPECT_FALSE(fs::exists(InDocuments()));
    EXPECT_FALSE(CanOpenForWriting(BesideProgram()));  // still read-only
}

TEST_F(PreferenceStoreTest, ReadOnlyFileBesideTheProgramSendsSavesToAnExistingDocumentsFile)
{
    const std::string text = "[Preference]\nSlideshowWait=11\n";
    WriteTextFile(BesideProgram(), text);
    WriteTextFile(InDocuments(), "[Preference]\nSlideshowWait=12\n");
    if (!MakeReadOnly(BesideProgram())) GTEST_SKIP() << "this process writes read-only files all the same";

    EXPECT_EQ(Load().Word(PreferenceWord::SlideshowWait), 11);  // reading still prefers the program's folder
    ASSERT_TRUE(SavePreference(environment, IniName, Make({3, 3, 3, false})));
    EXPECT_EQ(ReadTextFile(BesideProgram()), text);
    EXPECT_EQ(ReadTextFile(InDocuments()),
              "[Preference]\nSlideshowWait=3\nSlideshowEffect=3\nSlideshowEffectSpeed=3\nSlideshowSoundUse=0\n");
}

TEST_F(PreferenceStoreTest, UnknownDocumentsFolderFallsBackToTheProgramFolder)
{
    environment.documentsFolder.reset();
    EXPECT_EQ(FindPreferenceFile(environment, IniName, PreferenceAccess::Read), BesideProgram());
    EXPECT_EQ(FindPreferenceFile(environment, IniName, PreferenceAccess::Write), BesideProgram());
}

TEST_F(PreferenceStoreTest, UnknownProgramFolderNeverWritesSomewhereElse)
{
    environment.programFolder.clear();
    environment.programFile.clear();
    EXPECT_EQ(Load(), Defaults);
    EXPECT_FALSE(SavePreference(environment, IniName, Defaults));
    // A file in the documents folder is still found.
    WriteTextFile(InDocuments(), "[Preference]\nSlideshowWait=8\n");
    EXPECT_EQ(Load().Word(PreferenceWord::SlideshowWait), 8);
    EXPECT_TRUE(SavePreference(environment, IniName, Defaults));
}

struct StoredCase {
    const char* name;
    std::string text;
    Values expected;
};

class StoredValuesTest : public PreferenceStoreTest, public testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValuesTest, LoadsWithKeyDefaultsAndNoRangeCheck)
{
    WriteTextFile(BesideProgram(), GetParam().text);
    EXPECT_EQ(Load(), Make(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoredValuesTest,
    testing::Values(
        StoredCase{"WaitOf99", "[Preference]\nSlideshowWait=99\n", {99, 1, 2, true}},
        StoredCase{"OnlyWait", "[Preference]\r\nSlideshowWait=0\r\n", {0, 1, 2, true}},
        StoredCase{"SoundTwoIsOn", "[Preference]\nSlideshowSoundUse=2\n", {5, 1, 2, true}},
        StoredCase{"SoundZeroIsOff", "[Preference]\nSlideshowSoundUse=0\n", {5, 1, 2, false}},
        StoredCase{"SoundJunkIsTheDefaultOn", "[Preference]\nSlideshowSoundUse=off\n", {5, 1, 2, true}},
        StoredCase{"Hex", "[Preference]\nSlideshowWait=0x0A\nSlideshowEffect=$3\nSlideshowEffectSpeed=0X4\n",
                   {10, 3, 4, true}},
        StoredCase{"JunkTakesKeyDefaults",
                   "[Preference]\nSlideshowWait=five\nSlideshowEffect=1.5\nSlideshowEffectSpeed=\n", {5, 1, 2, true}},
        StoredCase{"TruncatedTo16Bits", "[Preference]\nSlideshowWait=70000\nSlideshowEffect=-1\n",
                   {4464, -1, 2, true}},
        StoredCase{"HexAll32Bits", "[Preference]\nSlideshowWait=0xFFFF8000\n", {-32768, 1, 2, true}},
        StoredCase{"OverflowIsJunk", "[Preference]\nSlideshowWait=4294967296\n", {5, 1, 2, true}},
        StoredCase{"OtherSectionOnly", "[Other]\nSlideshowWait=9\n", {5, 1, 2, true}},
        StoredCase{"EmptyFile", "", {5, 1, 2, true}},
        StoredCase{"BinaryJunk", std::string("\0\xFF[\x81\x5C]\n=\r\r\n\xEF\xBB", 12), {5, 1, 2, true}}),
    [](const testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.name); });

TEST_F(PreferenceStoreTest, SoundOnIsSavedAsOne)
{
    WriteTextFile(BesideProgram(), "[Preference]\nSlideshowSoundUse=2\n");
    const SlideshowPreference loaded = Load();
    ASSERT_TRUE(SavePreference(environment, IniName, loaded));
    EXPECT_NE(ReadTextFile(BesideProgram()).find("SlideshowSoundUse=1\n"), std::string::npos);
}

TEST_F(PreferenceStoreTest, SavingKeepsEverythingElseInTheFile)
{
    WriteTextFile(BesideProgram(),
                  "; written by hand\r\n[Other]\r\nSlideshowWait=42\r\n\r\n[preference]\r\nslideshowwait = 1\r\n"
                  "Mine=yes\r\n\r\n[Last]\r\nX=1");
    // An unselected list saves -1.
    ASSERT_TRUE(SavePreference(environment, IniName, Make({-1, 0, 4, true})));
    EXPECT_EQ(ReadTextFile(BesideProgram()),
              "; written by hand\r\n[Other]\r\nSlideshowWait=42\r\n\r\n[preference]\r\nSlideshowWait=-1\r\n"
              "Mine=yes\r\nSlideshowEffect=0\r\nSlideshowEffectSpeed=4\r\nSlideshowSoundUse=1\r\n\r\n[Last]\r\nX=1");
    EXPECT_EQ(Load(), Make({-1, 0, 4, true}));
}

TEST_F(PreferenceStoreTest, CrashDuringSaveLeavesTheOldFileWhole)
{
    const std::string text = "[Preference]\nSlideshowWait=7\nSlideshowEffect=3\n";
    WriteTextFile(BesideProgram(), text);
    for (const uint64_t crashAt : {uint64_t{0}, uint64_t{1}, uint64_t{20}, uint64_t{text.size() - 1}}) {
        environment.saveFaults.crashAfterBytes = crashAt;
        EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false}))) << crashAt;
        EXPECT_EQ(ReadTextFile(BesideProgram()), text) << crashAt;
    }
    environment.saveFaults = {};
    EXPECT_EQ(Load(), Make({7, 3, 2, true}));

    // The leftovers of the crashes do not stand in the way of the next save.
    ASSERT_TRUE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    EXPECT_EQ(Load(), Make({1, 1, 1, false}));
}

TEST_F(PreferenceStoreTest, TheFourValuesAreSavedInOneReplacement)
{
    // One replacement for all four: a failure can only leave the old
    // settings or the new ones, never some of each.
    WriteTextFile(BesideProgram(), "[Preference]\nSlideshowWait=7\n");
    int replacements = 0;
    environment.saveFaults.replacements = &replacements;
    ASSERT_TRUE(SavePreference(environment, IniName, Make({9, 4, 0, false})));
    EXPECT_EQ(replacements, 1);
    EXPECT_EQ(Load(), Make({9, 4, 0, false}));
}

TEST_F(PreferenceStoreTest, RefusedReplaceLeavesTheOldFileAndNoLeftovers)
{
    const std::string text = "[Preference]\nSlideshowWait=7\n";
    WriteTextFile(BesideProgram(), text);
    environment.saveFaults.refuseReplace = true;
    EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    EXPECT_EQ(ReadTextFile(BesideProgram()), text);
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.ProgramFolder()), fs::directory_iterator()), 1);
}

TEST_F(PreferenceStoreTest, SavedFileKeepsItsPermissions)
{
    WriteTextFile(BesideProgram(), "[Preference]\n");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(BesideProgram(), mode);
    ASSERT_TRUE(SavePreference(environment, IniName, Defaults));
    EXPECT_EQ(fs::status(BesideProgram()).permissions(), mode);
}

TEST_F(PreferenceStoreTest, LinkedFileStaysALink)
{
    const fs::path real = folders.DocumentsFolder() / "kept-elsewhere.ini";
    WriteTextFile(real, "[Preference]\nSlideshowWait=1\n");
    fs::create_symlink(real, BesideProgram());
    ASSERT_TRUE(SavePreference(environment, IniName, Make({4, 1, 2, true})));
    EXPECT_TRUE(fs::is_symlink(BesideProgram()));
    EXPECT_EQ(Load(), Make({4, 1, 2, true}));
    EXPECT_NE(ReadTextFile(real).find("SlideshowWait=4\n"), std::string::npos);
}

TEST_F(PreferenceStoreTest, StoreThatIsNotAFileGivesDefaultsAndFailsToSave)
{
    fs::create_directory(BesideProgram());
    EXPECT_EQ(Load(), Defaults);
    EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    EXPECT_TRUE(fs::is_directory(BesideProgram()));
}

TEST_F(PreferenceStoreTest, OversizedFileIsNotReadAndNotReplaced)
{
    std::string text = "[Preference]\nSlideshowWait=0\nSlideshowSoundUse=0\n";
    text.resize(IniFileSizeLimit + 1, ';');
    WriteTextFile(BesideProgram(), text);
    EXPECT_EQ(Load(), Defaults);
    EXPECT_FALSE(SavePreference(environment, IniName, Make({1, 1, 1, false})));
    EXPECT_EQ(fs::file_size(BesideProgram()), text.size());
}

TEST_F(PreferenceStoreTest, HugeLineWithoutLineEndIsReadSafely)
{
    std::string text = "[Preference]\r\nSlideshowWait=3\r\nSlideshowEffect=";
    text.append(512 * 1024, '7');
    WriteTextFile(BesideProgram(), text);
    EXPECT_EQ(Load(), Make({3, 1, 2, true}));  // far too large a number: the key default
}

TEST(SettingsFileNameTest, EmptyStringTableEntryGivesScreenSaverIni)
{
    EXPECT_EQ(SettingsFileNameFromStringTable(""), "ScreenSaver.ini");
    EXPECT_EQ(SettingsFileNameFromStringTable("kt5_scr2.ini"), "kt5_scr2.ini");
    EXPECT_EQ(PreferenceRegistryKeyPath(SettingsFileNameFromStringTable("")), "SOFTWARE\\Quorvik_Works\\ScreenSaver");
}

TEST(SettingsFileNameTest, RegistryKeyDropsOnlyTheLastElementsExtension)
{
    EXPECT_EQ(PreferenceRegistryKeyPath("kt5_scr2.ini"), "SOFTWARE\\Quorvik_Works\\kt5_scr2");
    EXPECT_EQ(PreferenceRegistryKeyPath("a.b.ini"), "SOFTWARE\\Quorvik_Works\\a.b");
    EXPECT_EQ(PreferenceRegistryKeyPath("noext"), "SOFTWARE\\Quorvik_Works\\noext");
    EXPECT_EQ(PreferenceRegistryKeyPath("dir.d\\file"), "SOFTWARE\\Quorvik_Works\\dir.d\\file");
    // "表" is 0x95 0x5C in Shift-JIS: its trail byte is no backslash.
    EXPECT_EQ(PreferenceRegistryKeyPath("a.\x95\x5C"), "SOFTWARE\\Quorvik_Works\\a");
}

TEST_F(PreferenceStoreTest, ShiftJisNameNamesTheFile)
{
    // "設定.ini" in Shift-JIS.
    const std::string name = "\x90\xDD\x92\xE8.ini";
    ASSERT_TRUE(SavePreference(environment, name, Make({6, 1, 2, true})));
    EXPECT_TRUE(fs::exists(folders.ProgramFolder() / fs::path(u8"設定.ini")));
    SlideshowPreference loaded;
    LoadPreference(environment, name, loaded, nullptr);
    EXPECT_EQ(loaded, Make({6, 1, 2, true}));
}

}  // namespace
