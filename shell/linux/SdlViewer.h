// SdlViewer: the Linux saver's windows and message loop around one
// ViewerSession.
//
// Full screen: one borderless window per monitor, the show on the first
// (primary) one and the others black; the pointer is hidden; a key, a
// button or a move beyond the threshold ends the show (InputRules.h).
// Window: one resizable window (the show keeps its size and is scaled to
// fit); only Escape, q or closing the window end it. A foreign window (the
// screen-saver daemon's, or the root window): the show fills it and no
// input ends it; SIGTERM or the window going away does.
//
// The loop waits for the timer thread's steps (MainThreadCalls), runs them,
// then handles SDL's events and presents the window when a step changed it.
#pragma once

#include "settings/SlideshowPreference.h"
#include "shell/linux/LinuxCommandLine.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MainThreadCalls;
class SoundPlayer;
class TextRenderer;
class SubtractiveRandom;

struct SdlViewerSetup {
    LinuxViewMode mode = LinuxViewMode::FullScreen;
    int32_t width = 0;  // Window mode
    int32_t height = 0;
    uint64_t foreignWindow = 0;  // ForeignWindow and RootWindow modes
    SlideshowPreference settings;
    std::vector<std::filesystem::path> archivePaths;
    MainThreadCalls* calls = nullptr;
    SoundPlayer* sound = nullptr;
    TextRenderer* text = nullptr;
    SubtractiveRandom* random = nullptr;
    // The sound player's end notice, answered on the main thread.
    std::function<void(uint64_t opening)> soundEnded;
    // When set, receives the show's trace lines (PlayerTrace.h), timed from
    // the moment the show starts.
    std::function<void(const std::string& line)> traceLine;
    // When set, standard error gets how long after this moment the show
    // first drew on the window (for the start-up benchmark).
    std::optional<std::chrono::steady_clock::time_point> reportFirstDrawingSince;
};

// The SDL event the viewer registers: a sound's end, posted by the sound
// player's worker.
struct SdlViewerEvents {
    uint32_t soundEnded = 0;  // user.data1: the opening, as an integer
};
SdlViewerEvents RegisterSdlViewerEvents();

// Runs the show until it ends. 0 when it ended as asked; 1 with a message on
// standard error when it could not start.
int RunSdlViewer(const SdlViewerSetup& setup, const SdlViewerEvents& events);
