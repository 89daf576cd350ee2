// scrtool: the archive tool. "scrtool COMMAND ARGUMENTS"; each command
// has its own --help. Exit statuses are described in ToolSupport.h.

#include "tools/scrtool/ToolSupport.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

// New subcommands join this table; the overview lists them in this order.
const ToolCommand Commands[] = {
    {"list", "list the entries of an archive", ListHelp, 1, RunList},
    {"cat", "write an entry's data to standard output", CatHelp, 3, RunCat},
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
