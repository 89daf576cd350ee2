// scrtool init FOLDER [--order ...] [--name ...] [--max-size ...]
// [--quality ...] [--force]: the manifest and scenario text that
// 'scrtool pack FOLDER' makes of a folder of photos, written into the
// folder, so that its author can go on by hand from there.

#include "tools/scrtool/ToolSupport.h"

#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/FolderShowBuilder.h"
#include "tools/scrtool/FolderShowOptions.h"
#include "tools/scrtool/ProgressLine.h"

#include <cstdio>
#include <span>
#include <system_error>

namespace {

std::span<const uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

int RunInit(const ToolArguments& arguments)
{
    const std::filesystem::path folder = PathFromUtf8(arguments.positional[0]);
    FolderShowOptions show;
    bool force = false;
    bool quiet = false;
    for (const auto& [option, value] : arguments.options) {
        if (option == "--force") {
            force = true;
        } else if (option == "--quiet" || option == "-q") {
            quiet = true;
        } else if (const std::optional<int> status = ParseFolderShowOption("init", option, value, show);
                   status && *status != ExitSuccess) {
            return *status;
        }
    }
    const std::string folderName = arguments.positional[0];
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        ReportError(folderName + (std::filesystem::exists(folder, error) ? ": not a folder" : ": no such folder"));
        return ExitFailure;
    }
    const std::filesystem::path manifestPath = FolderManifestPath(folder);
    const std::filesystem::path scenarioPath = FolderScenarioPath(folder);
    if (!force) {
        for (const std::filesystem::path& path : {manifestPath, scenarioPath}) {
            if (std::filesystem::exists(path, error)) {
                ReportError(Utf8FromPath(path) + ": already there; init leaves it as it is (--force writes over it)");
                return ExitFailure;
            }
        }
    }

    ProgressLine progress("init", StandardErrorIsTerminal() && !quiet);
    try {
        const FolderShow prepared = PrepareFolderShow(folder, show, 0, FolderShowProgress(progress));
        progress.Clear();
        WriteFileReplacing(scenarioPath, Bytes(prepared.project.scenarioText));
        WriteFileReplacing(manifestPath, Bytes(prepared.project.manifestText));
        if (!quiet)
            std::printf("%s and %s: %zu pictures, %zu sounds; 'scrtool pack %s -o OUT' packs them\n",
                        Utf8FromPath(manifestPath).c_str(), Utf8FromPath(scenarioPath).c_str(), prepared.pictureCount,
                        prepared.soundCount, folderName.c_str());
    } catch (const PhotoFolderError& failure) {
        progress.Clear();
        ReportError(failure.what());
        return ExitFailure;
    } catch (const FolderProjectError& failure) {
        progress.Clear();
        ReportError(folderName + ": " + failure.what());
        return ExitFailure;
    } catch (const ArchiveBuildError& failure) {
        progress.Clear();
        ReportError(failure.what());
        return ExitFailure;
    }
    return ExitSuccess;
}

std::vector<ToolOption> InitOptions()
{
    std::vector<ToolOption> options = {{"--force", ToolOptionKind::Flag},
                                       {"--quiet", ToolOptionKind::Flag},
                                       {"-q", ToolOptionKind::Flag}};
    for (const ToolOption& option : FolderShowToolOptions()) options.push_back(option);
    return options;
}

const std::string InitHelp = std::string(
    "Writes FOLDER/manifest.toml and FOLDER/scenario.txt: the manifest and the\n"
    "scenario text that 'scrtool pack FOLDER' makes of a folder of photos (see\n"
    "'scrtool help pack'). Packing the folder afterwards reads them and gives\n"
    "the same archive byte for byte (on the same day: the version line is the\n"
    "date of packing); edit them to go on by hand (docs/manifest.md,\n"
    "docs/scenario-text.md).\n"
    "\n"
    "Every picture and sound is read, as pack reads them, so that the files\n"
    "pack would leave out are left out here too, each with a warning.\n"
    "\n") +
    FolderShowOptionsHelp +
    "  --force               writes over a manifest.toml or scenario.txt that is\n"
    "                        already there (without it, init leaves them alone)\n"
    "  -q, --quiet           no progress line and no closing line\n";

const ToolCommandRegistration Registration({
    .name = "init",
    .summary = "write the manifest and scenario of a folder of photos",
    .usage = "scrtool init FOLDER [--order shuffle|name] [--name TEXT]\n"
             "                    [--max-size WxH|none] [--quality Q] [--force] [--quiet]",
    .help = InitHelp.c_str(),
    .argumentCount = 1,
    .options = InitOptions(),
    .run = RunInit,
});

}  // namespace
