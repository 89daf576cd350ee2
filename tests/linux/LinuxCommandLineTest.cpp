// The Linux saver's command line and settings: modes, the daemon's window
// from the environment, range-checked overrides, and the settings file's
// place and contents.
#include "shell/linux/LinuxCommandLine.h"
#include "shell/linux/LinuxSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

TEST(LinuxCommandLineTest, ModesAndTheDaemonsWindow)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string environment;
        LinuxViewMode mode;
        uint64_t windowId;
    };
    const Case cases[] = {
        {{}, "", LinuxViewMode::FullScreen, 0},
        {{"--window", "640x480"}, "", LinuxViewMode::Window, 0},
        {{"--window-id", "4194313"}, "", LinuxViewMode::ForeignWindow, 4194313},
        {{"-window-id", "0x400009"}, "", LinuxViewMode::ForeignWindow, 0x400009},
        {{"--root"}, "", LinuxViewMode::RootWindow, 0},
        {{}, "0x1200007", LinuxViewMode::ForeignWindow, 0x1200007},
        // The daemon's --root means its own window when it gives one.
        {{"--root"}, "0x1200007", LinuxViewMode::ForeignWindow, 0x1200007},
        // A mode on the command line wins over the environment.
        {{"--window", "320x200"}, "0x1200007", LinuxViewMode::Window, 0},
    };
    for (const Case& c : cases) {
        const LinuxCommand command = ParseLinuxCommandLine(c.arguments, c.environment);
        EXPECT_EQ(command.error, "");
        EXPECT_EQ(command.mode, c.mode);
        EXPECT_EQ(command.windowId, c.windowId);
    }
    const LinuxCommand window = ParseLinuxCommandLine({"--window", "640x480"}, "");
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
}

TEST(LinuxCommandLineTest, WrongArgumentsAreOneLineErrors)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string environment;
        const char* error;
    };
    const Case cases[] = {
        {{"--effect", "9"}, "", "option '--effect' needs a number from 0 to 4, got '9'"},
        {{"--wait", "16"}, "", "option '--wait' needs a number from 0 to 15, got '16'"},
        {{"--speed", "-1"}, "", "option '--speed' needs a number from 0 to 4, got '-1'"},
        {{"--sound", "loud"}, "", "option '--sound' needs 'on' or 'off', got 'loud'"},
        {{"--window", "0x480"}, "", "option '--window' needs WxH with W and H from 1 to 16384, got '0x480'"},
        {{"--window-id", "zz"}, "", "option '--window-id' needs a window number (decimal or 0x...), got 'zz'"},
        {{"--window", "64x48", "--root"}, "", "give only one of --window, --window-id and --root"},
        {{"--archive"}, "", "option '--archive' needs a value"},
        {{"--trace", ""}, "", "option '--trace' needs a file, or - for standard output, got ''"},
        {{"-s"}, "", "unknown option '-s' (see --help)"},
        {{"--seed", "0"}, "", "option '--seed' needs a number from 1 to 2147483647, got '0'"},
        {{}, "soon", "XSCREENSAVER_WINDOW is not a window number: 'soon'"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseLinuxCommandLine(c.arguments, c.environment).error, c.error);
}

TEST(LinuxCommandLineTest, SettingsComeFromTheUsersFileThenTheCommandLine)
{
    EXPECT_EQ(LinuxSettingsFile("/x/config", "/home/u"), std::filesystem::path("/x/config/kamishibai/kt5_scr2.ini"));
    EXPECT_EQ(LinuxSettingsFile("relative", "/home/u"), std::filesystem::path("/home/u/.config/kamishibai/kt5_scr2.ini"));
    EXPECT_EQ(LinuxSettingsFile(nullptr, "/home/u"), std::filesystem::path("/home/u/.config/kamishibai/kt5_scr2.ini"));
    EXPECT_FALSE(LinuxSettingsFile(nullptr, nullptr).has_value());

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kamishibai-linux-settings-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "kt5_scr2.ini";
    std::ofstream(file) << "[Preference]\nSlideshowWait=9\nSlideshowEffect=3\nSlideshowEffectSpeed=0\n"
                           "SlideshowSoundUse=0\n";

    const SlideshowPreference fromFile = LinuxPreference(ParseLinuxCommandLine({}, ""), file);
    EXPECT_EQ(fromFile.Word(PreferenceWord::SlideshowWait), 9);
    EXPECT_EQ(fromFile.Word(PreferenceWord::SlideshowEffect), 3);
    EXPECT_EQ(fromFile.Word(PreferenceWord::SlideshowEffectSpeed), 0);
    EXPECT_FALSE(fromFile.SlideshowSoundUse());

    const SlideshowPreference overridden =
        LinuxPreference(ParseLinuxCommandLine({"--effect", "4", "--sound", "on"}, ""), file);
    EXPECT_EQ(overridden.Word(PreferenceWord::SlideshowWait), 9);
    EXPECT_EQ(overridden.Word(PreferenceWord::SlideshowEffect), 4);
    EXPECT_TRUE(overridden.SlideshowSoundUse());

    const SlideshowPreference missing = LinuxPreference(ParseLinuxCommandLine({}, ""), folder / "none.ini");
    EXPECT_EQ(missing, SlideshowPreference::From(5, 1, 2, true));
    std::filesystem::remove_all(folder);
}

}  // namespace
