// scrtool: the archive tool. "scrtool COMMAND ARGUMENTS"; each command
// has its own --help. Exit statuses are described in ToolSupport.h.

#include "tools/scrtool/ToolSupport.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

// pack (PackCommand.cpp); without the manifest reader it only says that it
// is not available in this build.
int RunPack(const std::vector<std::string>& arguments);
extern const char* const PackHelp;
extern const char* const PackOptions[];
extern const char* const PackFlags[];
// verify (VerifyCommand.cpp) and unpack (UnpackCommand.cpp).
int RunVerify(const std::vector<std::string>& arguments);
extern const char* const VerifyHelp;
int RunUnpack(const std::vector<std::string>& arguments);
extern const char* const UnpackHelp;
extern const char* const UnpackFlags[];
// play (PlayCommand.cpp) and transition (TransitionCommand.cpp).
int RunPlay(const std::vector<std::string>& arguments);
extern const char* const PlayHelp;
extern const char* const PlayOptions[];
int RunTransition(const std::vector<std::string>& arguments);
extern const char* const TransitionHelp;
extern const char* const TransitionOptions[];
// wav (WavCommand.cpp).
int RunWav(const std::vector<std::string>& arguments);
extern const char* const WavHelp;

namespace {

// New subcommands join this table; the overview lists them in this order.
const ToolCommand Commands[] = {
    {"list", "list the entries of an archive", ListHelp, 1, RunList},
    {"cat", "write an entry's data to standard output", CatHelp, 3, RunCat},
    {"picture", "write a picture, as loaded or as placed, to a PNG or PAM file", PictureHelp, 3, RunPicture, PictureOptions},
    {"pack", "build an archive from a manifest", PackHelp, 1, RunPack, PackOptions, PackFlags},
    {"unpack", "write an archive's entries and a manifest into a folder", UnpackHelp, 2, RunUnpack, nullptr, UnpackFlags},
    {"verify", "check every entry of an archive", VerifyHelp, 1, RunVerify},
    {"play", "run the slide show on virtual time and trace it", PlayHelp, 1, RunPlay, PlayOptions},
    {"transition", "draw one frame of a transition between two pictures", TransitionHelp, 2, RunTransition,
     TransitionOptions},
    {"wav", "show a sound entry's format, sizes and duration as the player loads it", WavHelp, 2, RunWav},
};

void PrintOverview()
{
    std::fputs("usage: scrtool COMMAND [ARGUMENTS]\n"
               "       scrtool COMMAND --help\n"
               "\n"
               "Works with the screen saver's resource archives: side files and programs\n"
               "with an archive appended to them.\n"
               "\n"
               "Commands:\n",
               stdout);
    for (const ToolCommand& command : Commands) std::printf("  %-8s %s\n", command.name, command.summary);
    std::fputs("\n"
               "Exit status: 0 success, 1 failure (one line on stderr), 2 wrong command line.\n",
               stdout);
}

int Run(int argc, char** argv)
{
    if (argc < 2) return ReportUsage("", "no command given");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintOverview();
        return std::fflush(stdout) == 0 ? ExitSuccess : ExitFailure;
    }
    for (const ToolCommand& command : Commands) {
        if (name == command.name) return RunCommand(command, std::vector<std::string>(argv + 2, argv + argc));
    }
    return ReportUsage("", "unknown command '" + name + "'");
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        ReportError("out of memory");
    } catch (const std::exception& error) {
        ReportError(std::string("internal error: ") + error.what());
    }
    return ExitFailure;
}
