// scrtool play ARCHIVE --size WxH --until MS [...]: the slide show of an
// archive on virtual time, traced event by event, with snapshots of the
// screen.

#include "tools/scrtool/ToolSupport.h"

#include "imaging/DirectBmpControl.h"
#include "platform/ProcessMemory.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/ImageFileWriter.h"
#include "scenario/HeadlessSlideShow.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

struct Snapshot {
    uint32_t at = 0;
    std::string path;
    ImageFileFormat format = ImageFileFormat::Png;
};

// The screen as it stands: the screen buffer in scenario mode, the window
// in banner mode (which has no screen buffer).
bool WriteScreen(HeadlessSlideShow& viewer, const Snapshot& snapshot)
{
    try {
        if (viewer.Player().ScreenBitmap != nullptr) {
            WriteImageFile(PathFromUtf8(snapshot.path), viewer.Player().ScreenBuffer, snapshot.format);
        } else {
            DirectBmpControl window;
            TBitmap& bitmap = viewer.Canvas().Window();
            if (!window.AttachBitmap(&bitmap, 0, bitmap.Height() - 1)) {
                ReportError(snapshot.path + ": cannot read the window");
                return false;
            }
            WriteImageFile(PathFromUtf8(snapshot.path), window, snapshot.format);
        }
    } catch (const ImageFileError& error) {
        ReportError(error.what());
        return false;
    }
    return true;
}

void PrintMemory(uint64_t time)
{
    const std::optional<uint64_t> bytes = ResidentMemoryBytes();
    if (bytes)
        std::printf("%llu memory %llu\n", static_cast<unsigned long long>(time),
                    static_cast<unsigned long long>(*bytes / 1024));
    else
        std::printf("%llu memory ?\n", static_cast<unsigned long long>(time));
    std::fflush(stdout);
}

int RunPlay(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    std::optional<ToolSize> size;
    std::optional<uint32_t> until;
    HeadlessOptions options;
    std::vector<Snapshot> snapshots;
    bool events = true;
    uint32_t memoryEvery = 0;
    for (const auto& given : arguments.options) {
        // Named halves: clang before 16 cannot capture structured bindings.
        const std::string& option = given.first;
        const std::string& value = given.second;
        const auto bad = [&](const std::string& wanted) { return ReportBadOption("play", option, wanted, value); };
        if (option == "--size") {
            if (!(size = ParseToolSize(value))) return bad(ToolSizeWanted());
        } else if (option == "--until") {
            const auto ms = ParseDecimal(value, 0, UINT32_MAX);
            if (!ms) return bad("milliseconds from 0 to 4294967295");
            until = static_cast<uint32_t>(*ms);
        } else if (option == "--seed") {
            const auto seed = ParseDecimal(value, 0, INT32_MAX);
            if (!seed) return bad(NumberWanted(0, INT32_MAX));
            options.seed = static_cast<int32_t>(*seed);
        } else if (option == "--clock-start") {
            const auto start = ParseDecimal(value, 0, UINT32_MAX);
            if (!start) return bad("milliseconds from 0 to 4294967295");
            options.clockStart = static_cast<uint32_t>(*start);
        } else if (option == "--wait" || option == "--effect" || option == "--speed") {
            // What the settings dialog offers: a wait of 0 to 15 seconds,
            // effects and speeds 0 to 4.
            const uint64_t most = option == "--wait" ? 15 : 4;
            const auto setting = ParseDecimal(value, 0, most);
            if (!setting) return bad(NumberWanted(0, most));
            const size_t slot = option == "--wait" ? 0 : option == "--effect" ? 1 : 2;
            options.settings.words[slot] = static_cast<int16_t>(*setting);
        } else if (option == "--sound") {
            if (value != "on" && value != "off") return bad("'on' or 'off'");
            options.soundOff = value == "off";
        } else if (option == "--snapshot") {
            const size_t colon = value.find(':');
            const auto at = colon == std::string::npos ? std::nullopt : ParseDecimal(value.substr(0, colon), 0, UINT32_MAX);
            if (!at) return bad("MS:OUT with MS in milliseconds from 0 to 4294967295");
            Snapshot snapshot{static_cast<uint32_t>(*at), value.substr(colon + 1)};
            // Standard output carries the event lines.
            if (IsStandardOutput(snapshot.path)) return bad("an OUT file: standard output carries the events");
            const auto format = ImageFileFormatFor(PathFromUtf8(snapshot.path));
            if (!format) return bad("an OUT ending in .png or .pam");
            snapshot.format = *format;
            snapshots.push_back(snapshot);
        } else if (option == "--events") {
            if (value != "all" && value != "none") return bad("'all' or 'none'");
            events = value == "all";
        } else if (option == "--memory-every") {
            const auto every = ParseDecimal(value, 1, UINT32_MAX);
            if (!every) return bad("milliseconds from 1 to 4294967295");
            memoryEvery = static_cast<uint32_t>(*every);
        }
    }
    if (!size) return ReportUsage("play", "option '--size' is required");
    if (!until) return ReportUsage("play", "option '--until' is required");
    std::stable_sort(snapshots.begin(), snapshots.end(),
                     [](const Snapshot& a, const Snapshot& b) { return a.at < b.at; });

    options.width = size->width;
    options.height = size->height;
    if (events) {
        options.trace = [](const std::string& line) {
            std::fputs(line.c_str(), stdout);
            std::fputc('\n', stdout);
        };
    }
    // The show tries a sound again each time the scenario names it; one
    // warning per sound is what an author can act on.
    std::set<int32_t> unplayable;
    options.soundFailed = [&unplayable, &archivePath](int32_t soundId, const std::string& reason) {
        if (!unplayable.insert(soundId).second) return;
        std::fprintf(stderr, "scrtool: %s: warning: sound %d cannot be played: %s\n", archivePath.c_str(),
                     static_cast<int>(soundId), reason.c_str());
        std::fflush(stderr);
    };
    HeadlessSlideShow viewer(options);
    ScenarioPlayer& player = viewer.Player();
    // A tool reports an archive that does not open, where the viewer would
    // only show its banner. Sounds are opened later from the same path.
    if (!OpenToolArchive(player.PictureArchive, archivePath)) return ExitFailure;
    player.ArchivePath = std::filesystem::absolute(PathFromUtf8(archivePath));
    const bool scenario = player.LoadScenario();
    if (scenario && !player.PrepareBuffers()) {
        ReportError("cannot allocate a screen of " + ToolSizeText(*size) + " pixels");
        return ExitFailure;
    }
    if (!scenario) std::fprintf(stderr, "scrtool: %s: %s; showing the banner\n", archivePath.c_str(), player.OpenFailure.c_str());
    player.PrepareCanvas();

    size_t nextSnapshot = 0;
    const auto writeSnapshotsBefore = [&](uint64_t time) {
        for (; nextSnapshot < snapshots.size() && snapshots[nextSnapshot].at < time; ++nextSnapshot) {
            if (!WriteScreen(viewer, snapshots[nextSnapshot])) return false;
        }
        return true;
    };
    for (uint64_t t = 10; t <= *until; t += 10) {
        if (!writeSnapshotsBefore(t)) return ExitFailure;
        viewer.Step(scenario);
        if (memoryEvery != 0 && t % memoryEvery == 0) PrintMemory(t);
    }
    if (!writeSnapshotsBefore(UINT64_MAX)) return ExitFailure;
    return std::fflush(stdout) == 0 ? ExitSuccess : ExitFailure;
}

const ToolCommandRegistration Registration({
    .name = "play",
    .summary = "run the slide show on virtual time and trace it",
    .usage = "scrtool play ARCHIVE --size WxH --until MS [--seed N] [--clock-start T]\n"
              "                    [--wait S] [--effect E] [--speed V] [--sound on|off]\n"
              "                    [--snapshot MS:OUT]... [--events all|none]\n"
              "                    [--memory-every MS]",
    .help = "Runs the screen saver's slide show of ARCHIVE on a W x H screen for MS\n"
            "milliseconds of virtual time, as fast as it can, and prints what happens,\n"
            "one event per line: the time in milliseconds since the start, the event\n"
            "and its values:\n"
            "  t record INDEX CODE              a scenario record runs\n"
            "  t show PICTURE LOADED EFFECT SPEED  a picture is shown (LOADED 1 or 0)\n"
            "  t frame LEVEL                    a transition frame is drawn\n"
            "  t finish                         a transition has ended\n"
            "  t sound ID once|loop LENGTH_MS   a sound starts\n"
            "  t volume PRESET                  the volume is set\n"
            "  t banner                         no scenario: the text banner drifts instead\n"
            "\n"
            "The viewer starts at t = 0 and gets a step every 10 ms from t = 10 on;\n"
            "steps take no time. Sounds play on a silent virtual device, in time.\n"
            "A sound that cannot be played (not in the archive, not a wave file the\n"
            "player reads, a format the device refuses) is skipped as the screen saver\n"
            "skips it; standard error gets one warning for it, the first time:\n"
            "  scrtool: ARCHIVE: warning: sound 1021 cannot be played: REASON\n"
            "\n"
            "  --size WxH        the screen's size, W and H 1 to 16384 (required)\n"
            "  --until MS        how long the show runs, in milliseconds (required)\n"
            "  --seed N          seed of the slide show's random choices (default 1;\n"
            "                    0 seeds from the real clock)\n"
            "  --clock-start T   the clock's value at t = 0 (default 0; the clock wraps\n"
            "                    at 2^32 ms)\n"
            "  --wait S          the user's wait between pictures, 0-15 seconds\n"
            "                    (default 5)\n"
            "  --effect E        the user's effect 0-4 (default 1, fade)\n"
            "  --speed V         the user's effect speed 0-4 (default 2)\n"
            "  --sound on|off    the user's sound setting (default on)\n"
            "  --snapshot MS:OUT writes the screen as it stands after the last step at\n"
            "                    or before MS to the file OUT (.png or .pam, as scrtool\n"
            "                    picture); may be given more than once\n"
            "  --events all|none none prints no event lines (long runs; warnings and\n"
            "                    memory lines still appear; default all)\n"
            "  --memory-every MS after every MS milliseconds of show, prints the memory\n"
            "                    the process holds in RAM, in KiB ('?' where the\n"
            "                    system does not say):\n"
            "                      t memory KIB\n",
    .argumentCount = 1,
    .options = {{"--size", ToolOptionKind::Value},
                {"--until", ToolOptionKind::Value},
                {"--seed", ToolOptionKind::Value},
                {"--clock-start", ToolOptionKind::Value},
                {"--wait", ToolOptionKind::Value},
                {"--effect", ToolOptionKind::Value},
                {"--speed", ToolOptionKind::Value},
                {"--sound", ToolOptionKind::Value},
                {"--snapshot", ToolOptionKind::RepeatableValue},
                {"--events", ToolOptionKind::Value},
                {"--memory-every", ToolOptionKind::Value}},
    .run = RunPlay,
});

}  // namespace
