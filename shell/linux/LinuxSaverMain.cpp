// kamishibai: the slide show on Linux, full screen, in a window, or inside
// a window the screen-saver daemon hands over (LinuxCommandLine.h).
#include "platform/MainThreadCalls.h"
#include "platform/TextRenderer.h"
#include "platform/UserShowArchive.h"
#include "platform/sdl/SdlWaveOutput.h"
#include "shell/linux/LinuxArchiveChoice.h"
#include "shell/linux/LinuxCommandLine.h"
#include "shell/linux/LinuxSettings.h"
#include "shell/linux/SdlViewer.h"
#include "sound/WaveDataControl.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <SDL.h>
#include <malloc.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#ifndef KAMISHIBAI_VERSION
#define KAMISHIBAI_VERSION "0"
#endif

namespace {

const char* EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

int RunShow(const LinuxCommand& command, std::chrono::steady_clock::time_point started)
{
    // Before any window: an archive the user named that cannot be played is
    // an error to read, not a banner to puzzle over.
    const LinuxArchiveChoice archives = ChooseLinuxArchives(command.archive, UserShowArchivePath());
    for (const std::string& warning : archives.warnings) std::fprintf(stderr, "kamishibai: %s\n", warning.c_str());
    if (!archives.error.empty()) {
        std::fprintf(stderr, "kamishibai: %s\n", archives.error.c_str());
        return 1;
    }

    // The trace file is opened before anything shows, so that a wrong path
    // is said at once.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace(nullptr, std::fclose);
    if (command.trace && command.trace->string() != "-") {
        trace.reset(std::fopen(command.trace->c_str(), "w"));
        if (trace == nullptr) {
            std::fprintf(stderr, "kamishibai: cannot write the trace to %s: %s\n", command.trace->c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::FILE* const traceFile = command.trace ? (trace != nullptr ? trace.get() : stdout) : nullptr;

    SlideshowPreference settings =
        LinuxPreference(command, LinuxSettingsFile(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    const bool foreign = command.mode == LinuxViewMode::ForeignWindow || command.mode == LinuxViewMode::RootWindow;
    if (foreign && command.noSoundInForeignWindow) settings.SetSlideshowSoundUse(false);

    // The saver reads no typed text, but SDL opens an X input method, and
    // Xlib's local one parses the locale's whole compose table for it: some
    // 12,000 allocations and 600 KB of heap at every start. An empty table
    // is all a slide show needs; a user's own setting is left alone.
    setenv("XCOMPOSEFILE", "/dev/null", 0);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "kamishibai: cannot open the display: %s\n", SDL_GetError());
        return 1;
    }
    // On X11 a window's surface is a shared-memory image that the server
    // copies from; SDL would otherwise put an OpenGL texture behind it, which
    // costs a start-up of its own, memory, and two more copies of every
    // frame. Other video drivers keep SDL's choice.
    if (const char* driver = SDL_GetCurrentVideoDriver(); driver != nullptr && std::string(driver) == "x11")
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const SdlViewerEvents events = RegisterSdlViewerEvents();

    // Like the sound player, the queue serves the whole process and is never
    // freed: a timer thread on its way out may still use it.
    static MainThreadCalls* calls = new MainThreadCalls;
    SubtractiveRandom random;
    random.Seed(command.seed.value_or(static_cast<int32_t>(std::time(nullptr))));
    const std::unique_ptr<TextRenderer> text = MakeTextRenderer();

    WaveOwner owner;
    owner.endNotice = [soundEnded = events.soundEnded](uint64_t opening) {
        SDL_Event event{};
        event.type = soundEnded;
        event.user.data1 = reinterpret_cast<void*>(static_cast<uintptr_t>(opening));
        SDL_PushEvent(&event);
    };
    // A device that cannot play is said once; the show goes on silently.
    owner.reportError = [reported = false](const std::string& error) mutable {
        if (reported) return;
        reported = true;
        std::fprintf(stderr, "kamishibai: no sound: %s\n", error.c_str());
    };
    const std::unique_ptr<WaveOutput> output = MakeSdlWaveOutput();
    auto sound = std::make_unique<oWaveDataControl>(*output, *calls, owner);

    SdlViewerSetup setup;
    setup.mode = command.mode;
    setup.width = command.width;
    setup.height = command.height;
    setup.foreignWindow = command.windowId;
    setup.settings = settings;
    setup.archivePaths = archives.paths;
    setup.calls = calls;
    setup.sound = sound.get();
    setup.text = text.get();
    setup.random = &random;
    setup.soundEnded = [player = sound.get()](uint64_t opening) { player->OnEndNotice(opening); };
    if (traceFile != nullptr) {
        // A line at a time, so that whoever reads the file meanwhile sees
        // whole events.
        setup.traceLine = [traceFile](const std::string& line) {
            std::fprintf(traceFile, "%s\n", line.c_str());
            std::fflush(traceFile);
        };
    }
    // scripts/linux-saver-bench.sh measures the start with this.
    if (std::getenv("KAMISHIBAI_REPORT_START") != nullptr) setup.reportFirstDrawingSince = started;
    const int status = RunSdlViewer(setup, events);

    // The sound stops and its workers end; then nothing is left for the
    // queue to run.
    sound.reset();
    calls->Shutdown();
    SDL_Quit();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    // Pictures and sounds come and go in buffers of megabytes. A fixed
    // threshold keeps every such buffer in a mapping of its own, given back
    // to the system when freed; glibc would otherwise raise the threshold
    // after the first one and keep later ones in the heap, resident.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const LinuxCommand command =
        ParseLinuxCommandLine(std::vector<std::string>(argv + 1, argv + argc), EnvironmentValue("XSCREENSAVER_WINDOW"));
    if (!command.error.empty()) {
        std::fprintf(stderr, "kamishibai: %s\n", command.error.c_str());
        return 2;
    }
    if (command.help) {
        std::fputs(LinuxUsage, stdout);
        return 0;
    }
    if (command.version) {
        std::printf("kamishibai %s\n", KAMISHIBAI_VERSION);
        return 0;
    }
    return RunShow(command, started);
}
