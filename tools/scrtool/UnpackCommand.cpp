// scrtool unpack ARCHIVE DIR [--force]: an archive back into a manifest and
// the files it names (ArchiveUnpacker.h), the inverse of pack.

#include "tools/scrtool/ToolSupport.h"

#include "platform/Utf8Path.h"
#include "tools/authoring/ArchiveUnpacker.h"

#include <cstdio>

namespace {

int RunUnpack(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    const std::string& directory = arguments.positional[1];
    if (IsStandardOutput(directory))
        return ReportUsage("unpack", "DIR '-' would be standard output, which cannot take a folder (./- names a "
                                     "folder called '-')");
    UnpackOptions options;
    for (const auto& [option, value] : arguments.options) options.force |= option == "--force";

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    UnpackSummary summary;
    try {
        summary = UnpackArchive(archive, PathFromUtf8(directory), options);
    } catch (const UnpackError& error) {
        ReportError(error.AboutEntry() ? archivePath + ": " + error.what() : std::string(error.what()));
        return ExitFailure;
    }
    for (const std::string& note : summary.notes) std::printf("note: %s\n", note.c_str());
    std::printf("%s: %u picture%s, %u sound%s%s%s written to %s\n", archivePath.c_str(), summary.pictures,
                summary.pictures == 1 ? "" : "s", summary.sounds, summary.sounds == 1 ? "" : "s",
                summary.scenario ? ", the scenario" : "", summary.information ? ", the information block" : "",
                directory.c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportError(archivePath + ": cannot write the summary to standard output");
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "unpack",
    .summary = "write an archive's entries and a manifest into a folder",
    .usage = "scrtool unpack ARCHIVE DIR [--force]",
    .help = "Writes the archive's entries into the folder DIR, with a manifest that\n"
            "'scrtool pack DIR/manifest.toml -o OUT' turns back into an archive with\n"
            "the same entries:\n"
            "  manifest.toml      archive options (identification, kind, key seed,\n"
            "                     block size, interleave), the information block's\n"
            "                     texts, and every entry with its encryption mode\n"
            "  scenario.txt       the scenario as text\n"
            "  pictures/ID.png    a picture stored raw, LZSS or zlib, as the saver\n"
            "                     loads it; the manifest keeps its storage and depth\n"
            "  pictures/ID.jpg    a JPEG picture: its stream exactly as stored\n"
            "  sounds/ID.wav      a sound exactly as stored\n"
            "\n"
            "What a rebuild does not give back byte for byte:\n"
            "  - pictures of depth 1, 4 or 8 become PNG files of their colours. A grey\n"
            "    palette is recorded as palette \"grey\" and comes back exactly; any\n"
            "    other as \"quantise\": pack picks the same colours again from the\n"
            "    picture, but their order in the palette (and so the stored bytes) may\n"
            "    differ;\n"
            "  - PNG files have no alpha: 32-bit pictures come back with alpha 255;\n"
            "  - depths 2 and 15 come back as 4 and 16, odd strides and unused header\n"
            "    bytes as a well-formed entry has them;\n"
            "  - entries that a manifest cannot name (other groups, other ids of SSSc\n"
            "    and SSIf, a second entry with the same id) and entry prefixes and\n"
            "    suffixes are left out;\n"
            "  - groups come back in pack's order (SSSc, SSIf, SGBm, SSWv).\n"
            "Each such case is named in a 'note:' line on standard output.\n"
            "\n"
            "DIR must not exist or be empty. With --force an existing folder is\n"
            "written into: files of the same names are replaced, other files are left\n"
            "as they are (nothing is deleted). Each file is written under a temporary\n"
            "name and renamed when complete, and manifest.toml is written last: after\n"
            "a failure there is no manifest that names a missing file.\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 2,
    .options = {{"--force", ToolOptionKind::Flag}},
    .run = RunUnpack,
});

}  // namespace
