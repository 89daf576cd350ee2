// Which archives the Linux saver plays: --archive alone (from the current
// folder, and an error when it does not open), else the user's own show
// before the program's archives, a broken show left out with a warning.
#include "shell/linux/LinuxArchiveChoice.h"

#include "platform/Clock.h"
#include "platform/MemoryCanvas.h"
#include "scenario/ScenarioPlayer.h"
#include "sound/SilentSoundPlayer.h"
#include "tests/support/SlideShowFixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ShowBytes()
{
    return SlideShowArchive().Scenario({ShowRecord(1000, 0), WaitRecord(1)}).Picture(1000, 8, 6, 0x00336699).Build();
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> TextBytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A scratch folder that is the current folder while the test runs.
class LinuxArchiveChoiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path() / ("kamishibai-archive-choice-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::permissions(folder_ / "locked", fs::perms::owner_all, ignored);
        fs::remove_all(folder_, ignored);
    }

    fs::path folder_;

private:
    fs::path previous_;
};

std::vector<fs::path> WithDefaults(std::vector<fs::path> first)
{
    for (const fs::path& path : DefaultArchivePaths()) first.push_back(path);
    return first;
}

TEST_F(LinuxArchiveChoiceTest, TheUsersShowComesBeforeTheProgramsArchives)
{
    const fs::path show = folder_ / "data" / "kamishibai" / "show.brsc";

    // No place for a show, or no show there: the program's own order, quietly.
    for (const std::optional<fs::path>& userShow : {std::optional<fs::path>(), std::optional<fs::path>(show)}) {
        const LinuxArchiveChoice choice = ChooseLinuxArchives(std::nullopt, userShow);
        EXPECT_EQ(choice.paths, DefaultArchivePaths());
        EXPECT_TRUE(choice.warnings.empty());
        EXPECT_EQ(choice.error, "");
    }

    WriteFile(show, ShowBytes());
    const LinuxArchiveChoice choice = ChooseLinuxArchives(std::nullopt, show);
    EXPECT_EQ(choice.paths, WithDefaults({show}));
    EXPECT_TRUE(choice.warnings.empty());

    // The player given these paths plays the show.
    VirtualClock clock;
    MemoryCanvas canvas(64, 48);
    SilentSoundPlayer sound;
    SubtractiveRandom random;
    ViewerSetup setup;
    setup.width = 64;
    setup.height = 48;
    PlayerServices services;
    services.clock = &clock;
    services.canvas = &canvas;
    services.sound = &sound;
    services.random = &random;
    ScenarioPlayer player(services, setup);
    ASSERT_TRUE(player.OpenScenario(choice.paths)) << player.OpenFailure;
    EXPECT_EQ(player.ArchivePath, show);
}

TEST_F(LinuxArchiveChoiceTest, ABrokenShowIsNamedAndLeftOut)
{
    const fs::path show = folder_ / "show.brsc";
    std::vector<uint8_t> truncated = ShowBytes();
    truncated.resize(truncated.size() - 10);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string reason;  // after "your show PATH: "
    };
    const Case cases[] = {
        {"not an archive", [&] { WriteFile(show, TextBytes("just some text, not an archive\n")); },
         "not a valid archive: the file is too short to hold an archive header, an index and a trailer"},
        {"empty", [&] { WriteFile(show, {}); },
         "not a valid archive: the file is too short to hold an archive header, an index and a trailer"},
        {"cut short", [&] { WriteFile(show, truncated); }, "not a valid archive: "},
        {"a folder", [&] { fs::create_directories(show); }, "not a regular file (a folder, pipe or device)"},
    };
    for (const Case& c : cases) {
        std::error_code ignored;
        fs::remove_all(show, ignored);
        c.make();
        const LinuxArchiveChoice choice = ChooseLinuxArchives(std::nullopt, show);
        EXPECT_EQ(choice.paths, DefaultArchivePaths()) << c.what;
        ASSERT_EQ(choice.warnings.size(), 1u) << c.what;
        const std::string start = "your show " + show.string() + ": " + c.reason;
        EXPECT_EQ(choice.warnings[0].substr(0, start.size()), start) << c.what;
        EXPECT_TRUE(choice.warnings[0].ends_with("; playing the next archive")) << c.what << ": " << choice.warnings[0];
        EXPECT_EQ(choice.error, "") << c.what;
    }
}

TEST_F(LinuxArchiveChoiceTest, AShowThatCannotBeReadIsNamed)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path locked = folder_ / "locked";
    WriteFile(locked / "show.brsc", ShowBytes());
    fs::permissions(locked / "show.brsc", fs::perms::none);
    LinuxArchiveChoice choice = ChooseLinuxArchives(std::nullopt, locked / "show.brsc");
    ASSERT_EQ(choice.warnings.size(), 1u);
    EXPECT_EQ(choice.warnings[0], "your show " + (locked / "show.brsc").string() +
                                      ": cannot be opened for reading; playing the next archive");

    // A folder that cannot be searched hides whether the show is there.
    fs::permissions(locked / "show.brsc", fs::perms::owner_read);
    fs::permissions(locked, fs::perms::none);
    choice = ChooseLinuxArchives(std::nullopt, locked / "show.brsc");
    ASSERT_EQ(choice.warnings.size(), 1u);
    EXPECT_NE(choice.warnings[0].find(": cannot be looked at: "), std::string::npos) << choice.warnings[0];
    EXPECT_EQ(choice.paths, DefaultArchivePaths());
}

TEST_F(LinuxArchiveChoiceTest, ANamedArchiveIsTakenFromTheCurrentFolder)
{
    WriteFile(folder_ / "mine.brsc", ShowBytes());
    WriteFile(folder_ / "shows" / "other.brsc", ShowBytes());
    WriteFile(folder_ / "user" / "show.brsc", ShowBytes());
    struct Case {
        fs::path named;
        fs::path expected;
    };
    const Case cases[] = {
        // A bare name: the reader alone would look beside the program.
        {"mine.brsc", folder_ / "mine.brsc"},
        {"shows/other.brsc", folder_ / "shows" / "other.brsc"},
        {"./mine.brsc", folder_ / "mine.brsc"},
        {folder_ / "mine.brsc", folder_ / "mine.brsc"},
    };
    for (const Case& c : cases) {
        // The user's show does not come into it.
        const LinuxArchiveChoice choice = ChooseLinuxArchives(c.named, folder_ / "user" / "show.brsc");
        EXPECT_EQ(choice.error, "") << c.named;
        ASSERT_EQ(choice.paths.size(), 1u) << c.named;
        EXPECT_TRUE(choice.paths[0].is_absolute()) << choice.paths[0];
        EXPECT_EQ(choice.paths[0].lexically_normal(), c.expected) << c.named;
        ResArchive archive;
        EXPECT_EQ(ResOpen(archive, choice.paths[0], 0, ResArchiveKind), ResErrorNone) << c.named;
    }
}

TEST_F(LinuxArchiveChoiceTest, ANamedArchiveThatDoesNotOpenIsAnError)
{
    WriteFile(folder_ / "notes.txt", TextBytes("a shopping list, not an archive\n"));
    fs::create_directories(folder_ / "pictures");
    // Opens, but holds no scenario: the banner's case, not an error.
    WriteFile(folder_ / "pictures-only.brsc", SlideShowArchive().Picture(1000, 8, 6, 0).Build());
    struct Case {
        const char* named;
        const char* error;
    };
    const Case cases[] = {
        {"missing.brsc", "missing.brsc: no such file"},
        {"nowhere/missing.brsc", "nowhere/missing.brsc: no such file"},
        {"notes.txt",
         "notes.txt: not a valid archive: the file is too short to hold an archive header, an index and a trailer"},
        {"pictures", "pictures: not a regular file (a folder, pipe or device)"},
        {"pictures-only.brsc", ""},
    };
    for (const Case& c : cases) {
        const LinuxArchiveChoice choice = ChooseLinuxArchives(fs::path(c.named), std::nullopt);
        EXPECT_EQ(choice.error, c.error) << c.named;
        EXPECT_EQ(choice.paths.empty(), *c.error != '\0') << c.named;
        EXPECT_TRUE(choice.warnings.empty()) << c.named;
    }
}

}  // namespace
