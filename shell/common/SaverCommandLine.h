// SaverCommandLine: which of its four modes the saver was started in.
//
// The display settings start a screen saver with one switch: "/s" to run it,
// "/p HWND" to preview it inside the window HWND, "/c" (or nothing) to
// configure it and "/a HWND" to change the password. Only the second
// character of the first argument counts, lower-cased: "/s", "-S" and "xs"
// all run the saver, "/c:1234" configures it. The tests run in this order:
// "d" (run without making the window topmost), "c" or no arguments at all,
// "s", "p", "a"; anything else, including a first argument shorter than two
// characters, runs the saver.
//
// Arguments are UTF-8 (the Windows shell converts its wide command line);
// the second character is the second code point. Only ASCII letters can
// select a mode, so ASCII lower-casing decides exactly as any locale would.
#pragma once

#include <string>
#include <vector>

enum class SaverMode { FullScreen, Preview, Configuration, PasswordChange };

struct SaverCommand {
    SaverMode mode = SaverMode::Configuration;
    bool noTopmost = false;  // the "d" switch
    // The second argument (the window number of /p and /a), empty when
    // there is none; converted by the mode that needs it.
    std::string windowArgument;
};

// `arguments` excludes the program's own name.
SaverCommand ParseSaverCommandLine(const std::vector<std::string>& arguments);
