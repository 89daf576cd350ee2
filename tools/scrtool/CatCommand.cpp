// scrtool cat ARCHIVE TAG ID [-o OUT]: an entry's data, decrypted, to
// standard output or a file.
//
// The data is streamed through a cursor in pieces, so entries of any size
// pass without being held in memory at once.

#include "tools/scrtool/ToolSupport.h"

#include "platform/FileReplace.h"
#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace {

constexpr int64_t PieceSize = 64 * 1024;

// Standard output or a file that replaces OUT once the whole entry is in it.
class EntryOutput {
public:
    explicit EntryOutput(const std::string& path) : path_(path) {}

    bool Open()
    {
        if (IsStandardOutput(path_)) {
            SetStandardOutputBinary();
            return true;
        }
        return Check(file_.Open(PathFromUtf8(path_)));
    }
    bool Write(std::span<const uint8_t> bytes)
    {
        if (!IsStandardOutput(path_)) return Check(file_.Write(bytes));
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
        return Check(false);
    }
    bool Finish()
    {
        if (!IsStandardOutput(path_)) return Check(file_.Commit());
        return Check(std::fflush(stdout) == 0 && !std::ferror(stdout));
    }
    // What went wrong, naming the output.
    const std::string& Problem() const { return problem_; }

private:
    bool Check(bool ok)
    {
        if (!ok && problem_.empty())
            problem_ = IsStandardOutput(path_) ? "cannot write to standard output" : file_.ErrorText();
        return ok;
    }

    std::string path_;
    FileReplacement file_;
    std::string problem_;
};

int RunCat(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    const std::optional<uint32_t> tag = ParseTag(arguments.positional[1]);
    if (!tag) return ReportUsage("cat", "TAG must be four characters, got '" + arguments.positional[1] + "'");
    const std::optional<uint32_t> id = ParseId(arguments.positional[2]);
    if (!id)
        return ReportUsage("cat", "ID must be a decimal number from 0 to 4294967295, got '" + arguments.positional[2] + "'");
    std::string outPath = "-";
    for (const auto& [option, value] : arguments.options) {
        if (value.empty()) return ReportBadOption("cat", option, "a file name, or '-' for standard output", value);
        outPath = value;
    }
    if (arguments.options.size() > 1) return ReportUsage("cat", "the output (-o) is given twice");

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    const std::optional<ResEntryLocation> found = FindToolEntry(archive, archivePath, *tag, *id, "");
    if (!found) return ExitFailure;
    const EntryRecord& record = *found->record;
    const std::string entryName = "entry " + ResTagText(*tag) + " " + std::to_string(*id);

    ResCursor cursor;
    cursor.entry = record;
    const int64_t seek = ResCursorSeek(archive, cursor, 0);
    if (seek < 0) {
        ReportError(archivePath + ": cannot read " + entryName + ": " + EntryReadProblem(ResErrorNumber(seek)));
        return ExitFailure;
    }

    EntryOutput output(outPath);
    if (!output.Open()) {
        ReportError(output.Problem());
        return ExitFailure;
    }
    std::vector<uint8_t> piece(static_cast<size_t>(PieceSize));
    const int64_t length = record.DataLength();
    for (int64_t done = 0; done < length;) {
        const int64_t wanted = std::min(PieceSize, length - done);
        const int64_t got = ResCursorRead(archive, cursor, piece.data(), wanted);
        if (got > 0 && !output.Write(std::span(piece.data(), static_cast<size_t>(got)))) {
            ReportError(output.Problem());
            return ExitFailure;
        }
        if (got != wanted) {
            // A failed read and one that came short (the file ends inside the
            // entry) are both a read failure of the archive file.
            ReportError(archivePath + ": cannot read " + entryName + " at data position " +
                        std::to_string(done + std::max<int64_t>(got, 0)) + ": " + EntryReadProblem(ResErrorReadFailed));
            return ExitFailure;
        }
        done += got;
    }
    if (!output.Finish()) {
        ReportError(output.Problem());
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "cat",
    .summary = "write an entry's data to standard output or a file",
    .usage = "scrtool cat ARCHIVE TAG ID [-o OUT]",
    .help = "Writes the data of one entry, decrypted, to standard output. TAG is the\n"
            "group tag, four characters (a byte outside printable ASCII as \\xNN, as\n"
            "'scrtool list' shows it); ID is the entry id in decimal.\n"
            "\n"
            "  -o OUT, --output OUT  writes the data to the file OUT instead ('-' is\n"
            "                        standard output); OUT is written to a temporary\n"
            "                        file beside it that replaces it only when\n"
            "                        complete\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 3,
    .options = {{"-o", ToolOptionKind::Value}, {"--output", ToolOptionKind::Value}},
    .run = RunCat,
});

}  // namespace
