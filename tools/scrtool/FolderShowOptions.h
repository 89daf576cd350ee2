// FolderShowOptions: the options that pack and init share for a show made
// from a folder of photos (--order, --name, --max-size, --quality), parsed
// once and described once.
#pragma once

#include "tools/authoring/FolderProject.h"
#include "tools/authoring/FolderShowBuilder.h"
#include "tools/scrtool/ProgressLine.h"
#include "tools/scrtool/ToolSupport.h"

#include <optional>
#include <string>
#include <vector>

// nullopt: the option is not one of these. ExitSuccess: taken into show.
// Otherwise the usage error's exit status (already reported).
std::optional<int> ParseFolderShowOption(const std::string& command, const std::string& option,
                                         const std::string& value, FolderShowOptions& show);

// What preparing a folder tells the user: each file done on the progress
// line (when it is shown), each warning on a line of its own.
FolderShowCallbacks FolderShowProgress(ProgressLine& progress);

// The options, for a command's option table.
std::vector<ToolOption> FolderShowToolOptions();

// The help text that describes them (lines of at most 78 columns).
extern const char* const FolderShowOptionsHelp;

// Whether this build can install a show for the saver (--install): the
// Linux saver looks for it; on Windows the show goes into a .scr instead.
constexpr bool InstallSupported()
{
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}
