// scrtool verify ARCHIVE: every entry checked as the saver will use it
// (ArchiveVerifier.h), a summary on stdout, the first problem on stderr.

#include "tools/scrtool/ToolSupport.h"

#include "tools/authoring/ArchiveVerifier.h"

#include <cstdio>

namespace {

std::string Count(uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string FindingText(const VerifyFinding& finding)
{
    if (finding.check == VerifyCheck::Index) return ResTagText(finding.tag) + ": " + finding.reason;
    return ResTagText(finding.tag) + " " + std::to_string(finding.id) + ": " + finding.reason;
}

int RunVerify(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;

    const VerifyReport report = VerifyArchive(archive);
    uint64_t entries = 0;
    for (const VerifyGroup& group : report.groups) {
        entries += group.entries;
        std::string line = ResTagText(group.tag) + ": " + Count(group.entries, "entry", "entries");
        if (group.checked == 0)
            line += ", not checked";
        else if (group.problems > 0)
            line += ", " + Count(group.problems, "problem", "problems");
        else
            line += ", ok";
        std::printf("%s\n", line.c_str());
    }
    for (const VerifyFinding& problem : report.problems) std::printf("problem: %s\n", FindingText(problem).c_str());
    for (const VerifyFinding& warning : report.warnings) std::printf("warning: %s\n", FindingText(warning).c_str());
    std::printf("%s: %s, %s, %s\n", archivePath.c_str(), Count(entries, "entry", "entries").c_str(),
                Count(report.problems.size(), "problem", "problems").c_str(),
                Count(report.warnings.size(), "warning", "warnings").c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportError(archivePath + ": cannot write the summary to standard output");
        return ExitFailure;
    }
    if (!report.Passed()) {
        ReportError(archivePath + ": " + FindingText(report.problems.front()));
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "verify",
    .summary = "check every entry of an archive",
    .usage = "scrtool verify ARCHIVE",
    .help = "Checks every entry of the archive as the screen saver will use it:\n"
            "  SGBm       every picture takes at most 256 MB as 32 bits (width x height\n"
            "             x 4 bytes: 8192 x 8192 at most, or as many pixels), has a\n"
            "             stride that holds a whole row, and loads (as stored and as\n"
            "             32 bits); a JPEG stream has the size of the picture header\n"
            "  SSWv       every sound is a RIFF WAVE file whose fmt chunk comes before\n"
            "             its data chunk, with chunk sizes below 2^31, a format the\n"
            "             sound device plays (PCM, 1 to 8 channels of 8, 16, 24 or 32\n"
            "             bits, 1 to 384000 samples per second, with the block align\n"
            "             and byte rate these make), and all samples inside the entry\n"
            "  SSSc 1000  the scenario's records fit the entry; jump and random-jump\n"
            "             targets are records of it; a random jump has 1 to 3 targets;\n"
            "             settings slots named by flagged arguments exist (word slots\n"
            "             0 to 7, value slots 0 to 9); speeds given directly are 0 to 4\n"
            "  SSIf 1000  the information block has at least 256 bytes\n"
            "Entries of other groups and ids are counted but not checked.\n"
            "\n"
            "Prints one line per group (entries, problems), then each problem and\n"
            "each warning, then a total. Warnings (a picture or sound that the\n"
            "scenario or the information block names but the archive does not hold,\n"
            "no scenario at all, a group or entry id the index repeats, whose entries\n"
            "the saver can never find) do not fail the check.\n"
            "\n"
            "Exit status 0 when there is no problem. Otherwise 1, and standard error\n"
            "gets one line with the first problem, for example:\n"
            "  scrtool: demo.brsc: SGBm 12: picture does not decode (640x480, depth 8, lzss)\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 1,
    .options = {},
    .run = RunVerify,
});

}  // namespace
