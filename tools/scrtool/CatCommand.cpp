// scrtool cat ARCHIVE TAG ID: an entry's data, decrypted, to stdout.
//
// The data is streamed through a cursor in pieces, so entries of any size
// pass without being held in memory at once.

#include "tools/scrtool/ToolSupport.h"

#include <algorithm>
#include <cstdio>

const char* const CatHelp =
    "usage: scrtool cat ARCHIVE TAG ID\n"
    "\n"
    "Writes the data of one entry, decrypted, to standard output. TAG is the\n"
    "group tag, four characters (a byte outside printable ASCII as \\xNN, as\n"
    "'scrtool list' shows it); ID is the entry id in decimal.\n"
    "\n"
    "ARCHIVE is a side file or a program with an archive appended to it; a\n"
    "bare file name is looked up in the current directory.\n";

namespace {

constexpr int64_t PieceSize = 64 * 1024;

std::string DescribeError(int errorNumber)
{
    const char* meaning = ResErrorMeaning(errorNumber);
    return "error " + std::to_string(errorNumber) + " (" + (meaning ? meaning : "unknown error") + ")";
}

}  // namespace

int RunCat(const std::vector<std::string>& arguments)
{
    const std::string& archivePath = arguments[0];
    const std::optional<uint32_t> tag = ParseTag(arguments[1]);
    if (!tag) return ReportUsage("cat", "TAG must be four characters, got '" + arguments[1] + "'");
    const std::optional<uint32_t> id = ParseId(arguments[2]);
    if (!id) return ReportUsage("cat", "ID must be a decimal number from 0 to 4294967295, got '" + arguments[2] + "'");

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    const std::string entryName = FormatTag(*tag) + " " + std::to_string(*id);

    const int64_t group = ResFindGroup(archive, *tag);
    const int64_t entry = group >= 0 ? ResFindEntry(archive, group, *id) : group;
    if (entry == ResStatusNotFound) {
        ReportError(archivePath + ": no entry " + entryName + (group < 0 ? " (no group " + FormatTag(*tag) + ")" : ""));
        return ExitFailure;
    }
    const EntryRecord* record = entry >= 0 ? ResEntryRecordOf(archive, group, entry) : nullptr;
    if (!record) {
        const int errorNumber = entry < 0 ? ResErrorNumber(entry) : archive.lastError;
        ReportError(archivePath + ": cannot find entry " + entryName + ": " + DescribeError(errorNumber));
        return ExitFailure;
    }

    ResCursor cursor;
    cursor.entry = *record;
    const int64_t seek = ResCursorSeek(archive, cursor, 0);
    if (seek < 0) {
        ReportError(archivePath + ": cannot read entry " + entryName + ": " + DescribeError(ResErrorNumber(seek)));
        return ExitFailure;
    }

    SetBinaryStdout();
    std::vector<uint8_t> piece(static_cast<size_t>(PieceSize));
    const int64_t length = record->DataLength();
    for (int64_t done = 0; done < length;) {
        const int64_t wanted = std::min(PieceSize, length - done);
        const int64_t got = ResCursorRead(archive, cursor, piece.data(), wanted);
        if (got > 0 && std::fwrite(piece.data(), 1, static_cast<size_t>(got), stdout) != static_cast<size_t>(got)) {
            ReportError(archivePath + ": cannot write entry " + entryName + " to standard output");
            return ExitFailure;
        }
        if (got != wanted) {
            // A failed read and one that came short (the file ends inside the
            // entry) are both a read failure of the archive file.
            ReportError(archivePath + ": cannot read entry " + entryName + " at data position " +
                        std::to_string(done + std::max<int64_t>(got, 0)) + ": " + DescribeError(ResErrorReadFailed));
            return ExitFailure;
        }
        done += got;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportError(archivePath + ": cannot write entry " + entryName + " to standard output");
        return ExitFailure;
    }
    return ExitSuccess;
}
