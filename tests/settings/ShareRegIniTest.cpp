#include "settings/ShareRegIni.h"

#include "tests/settings/SettingsTestFolders.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// A registry store in memory, for the registry side of ShareRegIni.
class FakeRegistryIni final : public RegistryIni {
public:
    explicit FakeRegistryIni(std::map<std::string, int32_t>& values) : values_(values) {}
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) override
    {
        const auto found = values_.find(std::string(section) + "\\" + std::string(key));
        return found == values_.end() ? defaultValue : found->second;
    }
    void WriteInteger(std::string_view section, std::string_view key, int32_t value) override
    {
        values_[std::string(section) + "\\" + std::string(key)] = value;
    }

private:
    std::map<std::string, int32_t>& values_;
};

void ExpectNotInitialised(ShareRegIni& store)
{
    try {
        store.ReadInteger("Preference", "SlideshowWait", 5);
        ADD_FAILURE() << "read on a closed store";
    } catch (const ShareRegIniError& error) {
        EXPECT_STREQ(error.what(), "no initialize.");
    }
    try {
        store.WriteInteger("Preference", "SlideshowWait", 5);
        ADD_FAILURE() << "write on a closed store";
    } catch (const ShareRegIniError& error) {
        EXPECT_STREQ(error.what(), "no initialize.");
    }
}

TEST(ShareRegIniTest, ClosedStoreRaisesNoInitialize)
{
    ShareRegIni store;
    ExpectNotInitialised(store);

    SettingsFolders folders;
    ASSERT_TRUE(store.OpenIniFile(folders.ProgramFolder() / "a.ini"));
    store.Close();
    EXPECT_FALSE(store.IsOpen());
    ExpectNotInitialised(store);
    store.Close();  // closing twice does nothing
}

TEST(ShareRegIniTest, IniFileStoreReadsAndWrites)
{
    SettingsFolders folders;
    const auto path = folders.ProgramFolder() / "a.ini";
    ShareRegIni store;
    ASSERT_TRUE(store.OpenIniFile(path));
    EXPECT_TRUE(store.IsOpen());
    EXPECT_FALSE(store.IsRegistry());
    EXPECT_FALSE(std::filesystem::exists(path));  // opening does not make the file
    EXPECT_EQ(store.ReadInteger("Preference", "SlideshowWait", 5), 5);
    store.WriteInteger("Preference", "SlideshowWait", -7);
    EXPECT_EQ(store.ReadInteger("Preference", "SlideshowWait", 5), -7);
    EXPECT_EQ(ReadTextFile(path), "[Preference]\r\nSlideshowWait=-7\r\n");
}

TEST(ShareRegIniTest, OpenFailsWhenAlreadyOpen)
{
    SettingsFolders folders;
    std::map<std::string, int32_t> values;
    ShareRegIni store([&](RegistryRoot, std::string_view) { return std::make_unique<FakeRegistryIni>(values); });
    ASSERT_TRUE(store.OpenIniFile(folders.ProgramFolder() / "a.ini"));
    EXPECT_FALSE(store.OpenIniFile(folders.ProgramFolder() / "b.ini"));
    EXPECT_FALSE(store.OpenRegistry("SOFTWARE\\Quorvik_Works\\x", RegistryRoot::CurrentUser));
    EXPECT_FALSE(store.IsRegistry());
}

TEST(ShareRegIniTest, RegistryStoreGoesThroughItsSeam)
{
    std::map<std::string, int32_t> values{{"Preference\\SlideshowEffect", 3}};
    std::string openedKey;
    ShareRegIni store([&](RegistryRoot root, std::string_view keyPath) {
        EXPECT_EQ(root, RegistryRoot::CurrentUser);
        openedKey = keyPath;
        return std::make_unique<FakeRegistryIni>(values);
    });
    ASSERT_TRUE(store.OpenRegistry("SOFTWARE\\Quorvik_Works\\kt5_scr2", RegistryRoot::CurrentUser));
    EXPECT_TRUE(store.IsRegistry());
    EXPECT_EQ(openedKey, "SOFTWARE\\Quorvik_Works\\kt5_scr2");
    EXPECT_EQ(store.ReadInteger("Preference", "SlideshowEffect", 1), 3);
    EXPECT_EQ(store.ReadInteger("Preference", "SlideshowWait", 5), 5);
    store.WriteInteger("Preference", "SlideshowWait", 9);
    EXPECT_EQ(values["Preference\\SlideshowWait"], 9);
    store.Close();
    EXPECT_FALSE(store.IsRegistry());
}

TEST(ShareRegIniTest, RegistryOpenFailsWithoutAStore)
{
    ShareRegIni withoutSeam;
    EXPECT_FALSE(withoutSeam.OpenRegistry("SOFTWARE\\Quorvik_Works\\x", RegistryRoot::CurrentUser));
    ShareRegIni refusing([](RegistryRoot, std::string_view) -> std::unique_ptr<RegistryIni> { return nullptr; });
    EXPECT_FALSE(refusing.OpenRegistry("SOFTWARE\\Quorvik_Works\\x", RegistryRoot::CurrentUser));
    ShareRegIni throwing([](RegistryRoot, std::string_view) -> std::unique_ptr<RegistryIni> {
        throw std::runtime_error("access denied");
    });
    EXPECT_FALSE(throwing.OpenRegistry("SOFTWARE\\Quorvik_Works\\x", RegistryRoot::CurrentUser));
    EXPECT_FALSE(throwing.IsOpen());
    ExpectNotInitialised(throwing);
}

TEST(ShareRegIniTest, EmptyIniPathDoesNotOpen)
{
    ShareRegIni store;
    EXPECT_FALSE(store.OpenIniFile({}));
    EXPECT_FALSE(store.IsOpen());
}

}  // namespace
