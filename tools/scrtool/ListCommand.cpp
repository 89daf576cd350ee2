// scrtool list ARCHIVE: one line per entry, in index order.

#include "tools/scrtool/ToolSupport.h"

#include <cinttypes>
#include <cstdio>

namespace {

int RunList(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;

    for (size_t group = 0; group < archive.groups.size(); ++group) {
        const std::string tag = ResTagText(archive.groups[group].tag);
        for (uint32_t entry = 0; entry < archive.groups[group].entryCount; ++entry) {
            const EntryRecord* record =
                ResEntryRecordOf(archive, static_cast<int64_t>(group), static_cast<int64_t>(entry));
            if (!record) {
                ReportError(archivePath + ": cannot read entry " + std::to_string(entry) + " of group " + tag + ": " +
                            EntryReadProblem(archive.lastError));
                return ExitFailure;
            }
            std::printf("%s\t%" PRIu32 "\t%" PRId64 "\t%d\n", tag.c_str(), record->id, record->DataLength(),
                        record->EncryptionMode());
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportError(archivePath + ": cannot write the listing to standard output");
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "list",
    .summary = "list the entries of an archive",
    .usage = "scrtool list ARCHIVE",
    .help = "Prints one line per entry of the archive, in index order, with four\n"
            "tab-separated fields: the group tag (its four characters; other bytes as\n"
            "\\xNN), the entry id in decimal, the data length in bytes and the\n"
            "encryption mode (0 plain, 1 head, 2 interleaved, 3 whole).\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 1,
    .options = {},
    .run = RunList,
});

}  // namespace
