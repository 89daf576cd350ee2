#include "tools/scrtool/FolderShowOptions.h"

#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/Manifest.h"

const char* const FolderShowOptionsHelp =
    "  --order shuffle|name  shuffle (the default): every picture once in a new\n"
    "                        random order each round; name: in the order of the\n"
    "                        file names (img2 before img10)\n"
    "  --name TEXT           the show's name in the settings dialog (default: the\n"
    "                        folder's name); at most 47 bytes in Shift-JIS\n"
    "  --max-size WxH|none   pictures larger than this are shrunk to fit, keeping\n"
    "                        their shape (default 3840x2160); none keeps their size\n"
    "  --quality Q           JPEG quality, 1-100, of the photos that had to be\n"
    "                        turned or shrunk (default 90)\n";

FolderShowCallbacks FolderShowProgress(ProgressLine& progress)
{
    FolderShowCallbacks callbacks;
    if (progress.Shown())
        callbacks.progress = [&progress](size_t done, size_t total, const std::string& name) {
            progress.Show(done, total, name);
        };
    callbacks.warning = [&progress](const FolderShowWarning& warning) { progress.Warn(warning.file, warning.text); };
    return callbacks;
}

std::vector<ToolOption> FolderShowToolOptions()
{
    return {{"--order", ToolOptionKind::Value},
            {"--name", ToolOptionKind::Value},
            {"--max-size", ToolOptionKind::Value},
            {"--quality", ToolOptionKind::Value}};
}

std::optional<int> ParseFolderShowOption(const std::string& command, const std::string& option,
                                         const std::string& value, FolderShowOptions& show)
{
    if (option == "--order") {
        if (value == "shuffle")
            show.order = ShowOrder::Shuffled;
        else if (value == "name")
            show.order = ShowOrder::ByName;
        else
            return ReportBadOption(command, option, "shuffle or name", value);
        return ExitSuccess;
    }
    if (option == "--name") {
        if (value.empty()) return ReportBadOption(command, option, "a name", value);
        try {
            EncodeInformationText(SSInfoLine::Name, value);
        } catch (const InformationBlockError& error) {
            return ReportUsage(command, std::string("--name: ") + error.what());
        }
        show.name = value;
        return ExitSuccess;
    }
    if (option == "--max-size") {
        if (value == "none") {
            show.maxSize.reset();
            return ExitSuccess;
        }
        const std::optional<PictureSize> size = ParsePictureSize(value);
        if (!size) return ReportBadOption(command, option, "WxH (such as 1920x1080) or none", value);
        show.maxSize = size;
        return ExitSuccess;
    }
    if (option == "--quality") {
        const std::optional<uint64_t> quality = ParseDecimal(value, 1, 100);
        if (!quality) return ReportBadOption(command, option, NumberWanted(1, 100), value);
        show.quality = static_cast<int>(*quality);
        return ExitSuccess;
    }
    return std::nullopt;
}
