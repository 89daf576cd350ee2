// scrtool: the archive tool. "scrtool COMMAND ARGUMENTS"; the commands come
// from the command table (ToolSupport.h), each with its own --help. Exit
// statuses are described in ToolSupport.h.

#include "platform/ProgramArguments.h"
#include "tools/scrtool/DroppedFolder.h"
#include "tools/scrtool/ToolSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#ifndef KAMISHIBAI_VERSION
#define KAMISHIBAI_VERSION "0"
#endif

namespace {

void PrintOverview()
{
    std::fputs("usage: scrtool COMMAND [ARGUMENTS]\n", stdout);
    if (DroppedFolderSupported()) std::fputs("       scrtool FOLDER\n", stdout);
    std::fputs("       scrtool help [COMMAND]\n"
               "       scrtool --version\n"
               "\n"
               "Works with the screen saver's resource archives: side files and programs\n"
               "with an archive appended to them. 'scrtool pack FOLDER' makes a show of\n"
               "a folder of photos.\n",
               stdout);
    if (DroppedFolderSupported())
        std::fputs("\n"
                   "'scrtool FOLDER' (or a folder dropped on scrtool.exe) makes FOLDER.scr beside\n"
                   "the folder: kamishibai-bare.scr with the folder's photos as its show.\n",
                   stdout);
    std::fputs("\n"
               "Commands:\n",
               stdout);
    size_t width = 0;
    for (const ToolCommand& command : ToolCommands()) width = std::max(width, std::strlen(command.name));
    for (const ToolCommand& command : ToolCommands())
        std::printf("  %-*s  %s\n", static_cast<int>(width), command.name, command.summary);
    std::fputs("\n"
               "'scrtool help COMMAND' or 'scrtool COMMAND --help' describes a command.\n"
               "\n"
               "Exit status: 0 success, 1 failure (one line on stderr), 2 wrong command line.\n",
               stdout);
}

int Finish(int status)
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? status : ExitFailure;
}

int Run(const std::vector<std::string>& arguments)
{
    // No command: the overview, as for --help, but the command line was wrong.
    if (arguments.empty()) {
        PrintOverview();
        return Finish(ExitUsage);
    }
    const std::string& name = arguments[0];
    if (name == "--help" || name == "-h" || name == "help") {
        if (arguments.size() == 1 || arguments[1] == "--help" || arguments[1] == "-h") {
            PrintOverview();
            return Finish(ExitSuccess);
        }
        if (arguments.size() > 2) return ReportUsage("", "'" + name + "' takes at most one command name");
        const ToolCommand* command = FindToolCommand(arguments[1]);
        if (!command) return ReportUsage("", "no command '" + arguments[1] + "'");
        std::fputs(ToolCommandHelp(*command).c_str(), stdout);
        return Finish(ExitSuccess);
    }
    if (name == "--version") {
        if (arguments.size() > 1) return ReportUsage("", "'--version' takes no arguments");
        std::printf("scrtool %s\n", KAMISHIBAI_VERSION);
        return Finish(ExitSuccess);
    }
    const ToolCommand* command = FindToolCommand(name);
    if (!command && IsLoneFolderArgument(arguments)) {
        if (DroppedFolderSupported()) return Finish(RunDroppedFolder(name));
        return ReportUsage("", "'" + name + "' is a folder: 'scrtool pack " + name +
                                   " -o show.brsc' (or --install) makes a show of its photos");
    }
    if (!command) return ReportUsage("", (name[0] == '-' ? "unknown option '" : "unknown command '") + name + "'");
    return RunCommand(*command, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        // File names and messages are UTF-8 throughout, on Windows too.
        UseUtf8Console();
        return Run(ProgramArguments(argc, argv));
    } catch (const std::bad_alloc&) {
        ReportError("out of memory");
    } catch (const std::exception& error) {
        ReportError(std::string("internal error: ") + error.what());
    }
    return ExitFailure;
}
