// LinuxCommandLine: how the Linux saver was asked to run.
//
//   kamishibai [--window WxH | --window-id ID | --root] [--archive FILE]
//              [--wait S] [--effect E] [--speed V] [--sound on|off]
//              [--no-sound] [--seed N] [--trace FILE] [--help] [--version]
//
// Full screen is the default. "--window WxH" opens a normal window for
// watching content; "--window-id ID" (decimal or 0x-hexadecimal) draws into
// a window another program made, as the screen-saver daemon hands its hacks,
// and so does "--root": the window in $XSCREENSAVER_WINDOW when the daemon
// set it, else the root window. With no mode given, $XSCREENSAVER_WINDOW
// too. "--no-sound" silences the show in such a window
// only; "--sound off" silences it everywhere. The settings options override
// the user's settings file for this run: wait 0-15 s, effect and speed 0-4,
// the ranges of the settings dialog. "--seed N" fixes the show's random
// choices, as scrtool play --seed does, to compare the two; "--trace FILE"
// writes what the show does in scrtool play's line format, with real
// milliseconds since the show started ("-" for standard output).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

enum class LinuxViewMode { FullScreen, Window, ForeignWindow, RootWindow };

struct LinuxCommand {
    LinuxViewMode mode = LinuxViewMode::FullScreen;
    int32_t width = 0;  // --window
    int32_t height = 0;
    uint64_t windowId = 0;  // --window-id, or $XSCREENSAVER_WINDOW
    std::optional<std::filesystem::path> archive;
    std::optional<int16_t> wait, effect, speed;
    std::optional<bool> soundOn;
    std::optional<int32_t> seed;  // of the show's random choices (else the clock)
    std::optional<std::filesystem::path> trace;  // "-": standard output
    bool noSoundInForeignWindow = false;
    bool help = false;
    bool version = false;
    // Set when the command line is wrong: one line saying what is wrong.
    std::string error;
};

// `arguments` excludes the program's name; `screensaverWindow` is the value
// of $XSCREENSAVER_WINDOW, empty when unset.
LinuxCommand ParseLinuxCommandLine(const std::vector<std::string>& arguments, const std::string& screensaverWindow);

// The text --help prints.
extern const char* const LinuxUsage;
