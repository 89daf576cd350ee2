#include "shell/linux/LinuxCommandLine.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

const char* const LinuxUsage =
    "usage: kamishibai [--window WxH | --window-id ID | --root] [--archive FILE]\n"
    "                  [--wait S] [--effect E] [--speed V] [--sound on|off]\n"
    "                  [--no-sound] [--seed N] [--trace FILE]\n"
    "       kamishibai --help | --version\n"
    "\n"
    "A slide-show screen saver: pictures with transition effects and sounds,\n"
    "played as the scenario of an archive says. With --archive, from FILE (a\n"
    "relative name is taken from the current folder); else from the first of:\n"
    "  1. your own show, $XDG_DATA_HOME/kamishibai/show.brsc\n"
    "     (~/.local/share/kamishibai/show.brsc when XDG_DATA_HOME is unset),\n"
    "     where scrtool pack --install puts it\n"
    "  2. the archive appended to this program (the demo)\n"
    "  3. SC_TEST.brsc beside this program\n"
    "A FILE that does not open as an archive is an error; a show of your own\n"
    "that does not is named on standard error and the next one plays. An\n"
    "archive without a scenario shows a drifting notice instead.\n"
    "\n"
    "--wait, --effect, --speed and --sound override, for this run, the\n"
    "settings file (see Files).\n"
    "\n"
    "Options:\n"
    "  (no mode)        full screen on every monitor; a key, a click or moving\n"
    "                   the pointer more than 100 pixels ends it\n"
    "  --window WxH     a window of W x H pixels; Escape, q or closing it ends it\n"
    "  --window-id ID   draws into the window ID (decimal or 0x...), as a\n"
    "                   screen-saver daemon hands over; input does not end it,\n"
    "                   SIGTERM does. $XSCREENSAVER_WINDOW gives ID when no\n"
    "                   mode is given\n"
    "  --root           draws into the window the daemon gives in\n"
    "                   $XSCREENSAVER_WINDOW when there is one, else into the\n"
    "                   root window\n"
    "  --archive FILE   plays FILE instead of the archives above\n"
    "  --wait S         seconds between pictures, 0-15\n"
    "  --effect E       0 none, 1 fade, 2 rectangle averaging, 3 monochrome fade,\n"
    "                   4 sepia fade\n"
    "  --speed V        effect speed 0-4: 0 is the fastest, 4 the slowest (the\n"
    "                   transition lasts longer as V grows)\n"
    "  --sound on|off   play the show's sounds\n"
    "  --no-sound       no sound when drawing into another program's window\n"
    "  --seed N         seed of the show's random choices, 1-2147483647 (as\n"
    "                   scrtool play --seed; default: from the clock)\n"
    "  --trace FILE     writes what the show does to FILE (- for standard\n"
    "                   output), one line per event as scrtool play prints\n"
    "                   them, timed in real milliseconds since the show began\n"
    "  --help           this text\n"
    "  --version        the program's version\n"
    "\n"
    "Files:\n"
    "  $XDG_DATA_HOME/kamishibai/show.brsc\n"
    "                   your own show (XDG_DATA_HOME: ~/.local/share when\n"
    "                   unset)\n"
    "  $XDG_CONFIG_HOME/kamishibai/kt5_scr2.ini\n"
    "                   the settings: wait, effect, speed and sound\n"
    "                   (XDG_CONFIG_HOME: ~/.config when unset)\n"
    "  SC_TEST.brsc     beside the program: a show of one's own for a saver\n"
    "                   without one appended\n"
    "\n"
    "Exit status: 0 when the show ended as asked, 1 when it could not start\n"
    "(an archive given with --archive that cannot be played, no display, a\n"
    "window that cannot be drawn into), 2 for a wrong command line.\n";

namespace {

std::optional<uint64_t> WholeNumber(const std::string& text, int base, uint64_t maximum)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || end != text.c_str() + text.size() || value > maximum) return std::nullopt;
    return value;
}

std::optional<uint64_t> WindowNumber(const std::string& text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return WholeNumber(text.substr(2), 16, UINT32_MAX);
    return WholeNumber(text, 10, UINT32_MAX);
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height)
{
    const size_t cross = text.find('x');
    if (cross == std::string::npos) return false;
    const auto w = WholeNumber(text.substr(0, cross), 10, 16384);
    const auto h = WholeNumber(text.substr(cross + 1), 10, 16384);
    if (!w || !h || *w == 0 || *h == 0) return false;
    width = static_cast<int32_t>(*w);
    height = static_cast<int32_t>(*h);
    return true;
}

}  // namespace

LinuxCommand ParseLinuxCommandLine(const std::vector<std::string>& arguments, const std::string& screensaverWindow)
{
    LinuxCommand command;
    bool modeGiven = false;
    const auto fail = [&command](const std::string& error) {
        command.error = error;
        return command;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            command.help = true;
            continue;
        }
        if (option == "--version") {
            command.version = true;
            continue;
        }
        if (option == "--root" || option == "-root") {
            if (modeGiven) return fail("give only one of --window, --window-id and --root");
            modeGiven = true;
            command.mode = LinuxViewMode::RootWindow;
            continue;
        }
        if (option == "--no-sound") {
            command.noSoundInForeignWindow = true;
            continue;
        }
        const bool takesValue = option == "--window" || option == "--window-id" || option == "-window-id" ||
                                option == "--archive" || option == "--wait" || option == "--effect" ||
                                option == "--speed" || option == "--sound" || option == "--seed" ||
                                option == "--trace";
        if (!takesValue) return fail("unknown option '" + option + "' (see --help)");
        if (i + 1 >= arguments.size()) return fail("option '" + option + "' needs a value");
        const std::string& value = arguments[++i];
        const auto bad = [&](const std::string& wanted) {
            return fail("option '" + option + "' needs " + wanted + ", got '" + value + "'");
        };
        if (option == "--window") {
            if (modeGiven) return fail("give only one of --window, --window-id and --root");
            modeGiven = true;
            if (!ParseSize(value, command.width, command.height)) return bad("WxH with W and H from 1 to 16384");
            command.mode = LinuxViewMode::Window;
        } else if (option == "--window-id" || option == "-window-id") {
            if (modeGiven) return fail("give only one of --window, --window-id and --root");
            modeGiven = true;
            const auto id = WindowNumber(value);
            if (!id || *id == 0) return bad("a window number (decimal or 0x...)");
            command.windowId = *id;
            command.mode = LinuxViewMode::ForeignWindow;
        } else if (option == "--archive") {
            if (value.empty()) return bad("a file");
            command.archive = std::filesystem::path(value);
        } else if (option == "--trace") {
            if (value.empty()) return bad("a file, or - for standard output");
            command.trace = std::filesystem::path(value);
        } else if (option == "--wait" || option == "--effect" || option == "--speed") {
            const uint64_t maximum = option == "--wait" ? 15 : 4;
            const auto number = WholeNumber(value, 10, maximum);
            if (!number) return bad("a number from 0 to " + std::to_string(maximum));
            (option == "--wait" ? command.wait : option == "--effect" ? command.effect : command.speed) =
                static_cast<int16_t>(*number);
        } else if (option == "--seed") {
            const auto seed = WholeNumber(value, 10, INT32_MAX);
            if (!seed || *seed == 0) return bad("a number from 1 to 2147483647");
            command.seed = static_cast<int32_t>(*seed);
        } else if (option == "--sound") {
            if (value != "on" && value != "off") return bad("'on' or 'off'");
            command.soundOn = value == "on";
        }
    }
    // The daemon starts its hacks with --root and hands them its own window
    // in the environment: that window is the one to draw in.
    if ((!modeGiven || command.mode == LinuxViewMode::RootWindow) && !screensaverWindow.empty()) {
        const auto id = WindowNumber(screensaverWindow);
        if (!id || *id == 0) return fail("XSCREENSAVER_WINDOW is not a window number: '" + screensaverWindow + "'");
        command.windowId = *id;
        command.mode = LinuxViewMode::ForeignWindow;
    }
    return command;
}
