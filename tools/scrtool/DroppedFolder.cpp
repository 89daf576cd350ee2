#include "tools/scrtool/DroppedFolder.h"

#include "platform/ProgramPaths.h"
#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"
#include "tools/scrtool/FolderShowOptions.h"
#include "tools/scrtool/ToolSupport.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* BareSaverName = "kamishibai-bare.scr";

int Pack(const std::string& folderArgument)
{
    std::filesystem::path folder = PathFromUtf8(folderArgument);
    // "C:\\Photos\\Holiday\\" names the same folder as without the separator.
    if (folder.filename().empty()) folder = folder.parent_path();
    const std::filesystem::path bare = ProgramFolder() / BareSaverName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(bare, error)) {
        ReportError(Utf8FromPath(bare) + ": not found; it is the saver that the show goes into, and it comes "
                                         "beside scrtool.exe in the Windows package");
        return ExitFailure;
    }
    std::filesystem::path saver = folder;
    saver += ".scr";
    const ToolCommand* pack = FindToolCommand("pack");
    if (pack == nullptr) return ExitFailure;
    std::printf("Making %s from the pictures in %s ...\n", Utf8FromPath(saver).c_str(), Utf8FromPath(folder).c_str());
    std::fflush(stdout);
    const int status =
        RunCommand(*pack, {Utf8FromPath(folder), "-o", Utf8FromPath(saver), "--append-to", Utf8FromPath(bare)});
    if (status == ExitSuccess)
        std::printf("Done: %s. Right-click it and choose Install to make it your screen saver.\n",
                    Utf8FromPath(saver).c_str());
    std::fflush(stdout);
    return status;
}

}  // namespace

bool DroppedFolderSupported()
{
    return !InstallSupported();  // the builds without the Linux saver's place: Windows
}

bool IsLoneFolderArgument(const std::vector<std::string>& arguments)
{
    std::error_code error;
    return arguments.size() == 1 && !arguments[0].empty() && arguments[0][0] != '-' &&
           std::filesystem::is_directory(PathFromUtf8(arguments[0]), error);
}

int RunDroppedFolder(const std::string& folder)
{
    const int status = Pack(folder);
    if (ConsoleOpenedForThisProgram()) {
        std::printf("\nPress any key to close this window.\n");
        std::fflush(stdout);
        WaitForKeyPress();
    }
    return status;
}
