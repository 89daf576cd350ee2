// scrtool pack MANIFEST -o OUT [--append-to EXE] [--strict]: an archive
// built from a manifest, as a side file or appended to a copy of the
// program, and checked by the verifier before it is written.

#include "tools/scrtool/ToolSupport.h"

#include "platform/ReadOnlyFile.h"
#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/ScenarioText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

namespace {


// The built archive as the reader's file, without a copy: an archive
// appended to a program may be large.
class ArchiveBytesFile final : public ReadOnlyFile {
public:
    explicit ArchiveBytesFile(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Seek(uint64_t offset) override
    {
        position_ = offset;
        return true;
    }
    int64_t Read(void* destination, size_t length) override
    {
        if (position_ >= bytes_.size()) return 0;
        const auto count = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - position_));
        if (count != 0) std::memcpy(destination, bytes_.data() + position_, count);
        position_ += count;
        return static_cast<int64_t>(count);
    }
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

private:
    std::span<const uint8_t> bytes_;
    uint64_t position_ = 0;
};

struct PackWarning {
    std::string where;  // "FILE" or "FILE:LINE"
    std::string text;
};

// The line of each record's command in the manifest's scenario text, or
// nothing when it cannot be read again (the archive already holds it, so
// the findings are still worth showing without lines).
std::vector<int> ScenarioRecordLines(const Manifest& manifest)
{
    std::vector<int> lines;
    if (!manifest.scenario) return lines;
    try {
        const std::vector<uint8_t> bytes =
            ReadSourceFile(manifest.scenario->file.resolved, ShownSourceName(manifest, manifest.scenario->file));
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // skipped by the builder as well
        CompileScenarioText(text, &lines);
    } catch (const std::exception&) {
        lines.clear();
    }
    return lines;
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// What the verifier finds in the built archive, placed where the author
// wrote it, and an identity that the saver would not open.
std::vector<PackWarning> CheckBuiltArchive(const Manifest& manifest, std::span<const uint8_t> archiveBytes,
                                           bool appended)
{
    std::vector<PackWarning> warnings;
    const std::string manifestName = Utf8FromPath(manifest.path);
    const ManifestArchive& identity = manifest.archive;
    if (identity.identificationA != 0 || identity.kind != ResArchiveKind) {
        std::string text;
        if (identity.identificationA != 0)
            text = "archive.identification is " + std::to_string(identity.identificationA);
        if (identity.kind != ResArchiveKind)
            text += (text.empty() ? "" : " and ") + ("archive.kind is " + Hex32(identity.kind));
        text += ", but the saver and scrtool verify open only archives of identification 0 and kind " +
                Hex32(ResArchiveKind);
        warnings.push_back({manifestName, text});
    }

    // The archive's own identity, so that its entries are checked whatever
    // the warning above says.
    ResArchive archive;
    const int opened = ResOpenFile(archive, std::make_unique<ArchiveBytesFile>(archiveBytes), manifest.path,
                                   appended ? ResEmbedding::ProgramFile : ResEmbedding::SideFile,
                                   identity.identificationA, identity.kind);
    if (opened != ResErrorNone) {
        const char* meaning = ResErrorMeaning(opened);
        warnings.push_back({manifestName, std::string("the archive as built does not open again: ") +
                                              (meaning ? meaning : "unknown error") + ": " +
                                              ResOpenFailureText(archive.openFailure)});
        return warnings;
    }
    const VerifyReport report = VerifyArchive(archive);

    const auto recordsNamed = [](const std::vector<VerifyFinding>& findings) {
        return std::any_of(findings.begin(), findings.end(), [](const VerifyFinding& f) { return f.record >= 0; });
    };
    const std::vector<int> recordLines = recordsNamed(report.problems) || recordsNamed(report.warnings)
                                             ? ScenarioRecordLines(manifest)
                                             : std::vector<int>();
    const std::string scenarioName = manifest.scenario ? ShownSourceName(manifest, manifest.scenario->file) : manifestName;
    const auto add = [&](const VerifyFinding& finding, const char* suffix) {
        PackWarning warning;
        if (finding.check == VerifyCheck::Scenario && report.hasScenario) {
            warning.where = scenarioName;
            if (finding.record >= 0 && static_cast<size_t>(finding.record) < recordLines.size()) {
                // Appended piece by piece: GCC 12 takes "literal" + std::string
                // for an overlapping copy (-Wrestrict) in the Windows build.
                warning.where += ':';
                warning.where += std::to_string(recordLines[static_cast<size_t>(finding.record)]);
            }
            warning.text = finding.reason;
        } else if (finding.check == VerifyCheck::Scenario || finding.check == VerifyCheck::Information) {
            warning.where = manifestName;
            warning.text = finding.reason;
        } else {
            // Pictures and sounds the builder made: as verify names them.
            warning.where = manifestName;
            warning.text = ResTagText(finding.tag);
            if (finding.check != VerifyCheck::Index) {
                warning.text += ' ';
                warning.text += std::to_string(finding.id);
            }
            warning.text += ": ";
            warning.text += finding.reason;
        }
        warning.text += suffix;
        warnings.push_back(std::move(warning));
    };
    for (const VerifyFinding& problem : report.problems) add(problem, " (scrtool verify fails on this)");
    for (const VerifyFinding& warning : report.warnings) add(warning, "");
    return warnings;
}

int RunPack(const ToolArguments& arguments)
{
    const std::string& manifestPath = arguments.positional[0];
    std::optional<std::string> outPath;
    std::optional<std::string> programPath;
    bool strict = false;
    for (const auto& [option, value] : arguments.options) {
        if (option == "--strict") {
            strict = true;
            continue;
        }
        const bool program = option == "--append-to";
        std::optional<std::string>& target = program ? programPath : outPath;
        if (target) return ReportUsage("pack", "the output (-o) is given twice");
        if (value.empty()) return ReportBadOption("pack", option, "a file name", value);
        target = value;
    }
    if (!outPath) return ReportUsage("pack", "no output file: give it with -o OUT");
    const bool toStandardOutput = IsStandardOutput(*outPath);
    // Checked before the work: an archive is no use on a screen, and a
    // terminal may take some of its bytes for commands.
    if (toStandardOutput && StandardOutputIsTerminal()) {
        ReportError("refusing to write an archive to a terminal (redirect standard output, or give -o FILE)");
        return ExitFailure;
    }
    const std::string outName = toStandardOutput ? "standard output" : *outPath;

    try {
        const Manifest manifest = ReadManifestFile(PathFromUtf8(manifestPath));

        std::vector<uint8_t> program;
        std::optional<std::filesystem::perms> permissions;
        if (programPath) {
            program = ReadSourceFile(PathFromUtf8(*programPath), *programPath);
            if (program.empty()) {
                ReportError(*programPath + ": the program file is empty; there is nothing to append the archive to");
                return ExitFailure;
            }
            std::error_code error;
            const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(*programPath), error);
            if (!error) permissions = status.permissions();
        }

        ArchiveBuildProgress progress;
        if (StandardErrorIsTerminal())
            progress = [](const std::string& line) {
                std::fprintf(stderr, "scrtool pack: %s\n", line.c_str());
                std::fflush(stderr);
            };
        const std::vector<uint8_t> archive = BuildManifestArchive(manifest, program, progress);
        const std::vector<PackWarning> warnings = CheckBuiltArchive(manifest, archive, !program.empty());
        for (const PackWarning& warning : warnings)
            std::fprintf(stderr, "scrtool: %s: warning: %s\n", warning.where.c_str(), warning.text.c_str());
        std::fflush(stderr);
        if (strict && !warnings.empty()) {
            ReportError(outName + ": not written: --strict, and " + std::to_string(warnings.size()) +
                        (warnings.size() == 1 ? " warning" : " warnings"));
            return ExitFailure;
        }
        if (!toStandardOutput) {
            WriteFileReplacing(PathFromUtf8(*outPath), archive, permissions);
            return ExitSuccess;
        }
        if (!WriteToStandardOutput(archive)) {
            ReportError("cannot write the archive to standard output");
            return ExitFailure;
        }
    } catch (const ManifestError& error) {
        ReportError(error.what());
        return ExitFailure;
    } catch (const ArchiveBuildError& error) {
        ReportError(error.what());
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "pack",
    .summary = "build an archive from a manifest",
    .usage = "scrtool pack MANIFEST -o OUT [--append-to EXE]\n"
             "       scrtool pack MANIFEST -o OUT [--append-to EXE] --strict",
    .help = "Builds an archive from the TOML manifest MANIFEST and writes it to OUT.\n"
            "\n"
            "The manifest names the archive's options (identification, key seed,\n"
            "encryption block size and interleave, default encryption mode), the\n"
            "information block, the scenario text file, the pictures (PNG or JPEG, with\n"
            "storage raw, lzss, zlib or jpeg and a depth of 1, 4, 8, 16, 24 or 32 bits)\n"
            "and the sounds (RIFF WAVE files, stored as they are). File names in it are\n"
            "relative to the manifest's folder (docs/manifest.md describes every key,\n"
            "docs/scenario-text.md the scenario text). A small example:\n"
            "\n"
            "  [archive]\n"
            "  key-seed = 0x4B534231\n"
            "  encryption = \"whole\"\n"
            "\n"
            "  [information]\n"
            "  name = \"Kamishibai\"\n"
            "  version = \"Version 1.0\"\n"
            "\n"
            "  [scenario]\n"
            "  file = \"scenario.txt\"\n"
            "\n"
            "  [[picture]]\n"
            "  id = 1\n"
            "  file = \"dawn.png\"\n"
            "  storage = \"zlib\"\n"
            "  depth = 8\n"
            "\n"
            "  [[sound]]\n"
            "  id = 1021\n"
            "  file = \"chime.wav\"\n"
            "\n"
            "  -o OUT, --output OUT  the file written; '-' is standard output, which\n"
            "                        must not be a terminal\n"
            "  --append-to EXE       OUT is a copy of the program EXE with the archive\n"
            "                        appended, which the saver finds in its own file;\n"
            "                        OUT may be EXE itself\n"
            "\n"
            "Without --append-to, OUT is a side file (SC_TEST.brsc beside the saver).\n"
            "\n"
            "Before OUT is written, the archive is checked as 'scrtool verify' checks\n"
            "it. What verify would warn about or refuse gets a warning line on\n"
            "standard error, with the scenario text's line where there is one:\n"
            "  scrtool: scenario.txt:7: warning: record 3: shows picture 1002, which\n"
            "      the archive does not hold\n"
            "These are: a picture the scenario shows or a sound it plays that the\n"
            "manifest does not hold, a jump or random jump to a record the scenario does\n"
            "not have (written with 'raw'), a settings slot or speed out of range, no\n"
            "scenario at all, and an archive identification or kind other than 0 and\n"
            "0x8CB9AFB2, the only ones the saver and verify open. The archive is\n"
            "written all the same.\n"
            "\n"
            "  --strict    any warning fails the pack: after the warnings, one line\n"
            "              says that OUT was not written; exit status 1, and an OUT\n"
            "              that exists is left as it was\n"
            "\n"
            "OUT is written to a temporary file beside it that replaces it only when\n"
            "complete; on failure OUT is left as it was. A failure prints one line\n"
            "naming the file at fault (with its line for the manifest and the\n"
            "scenario text) and the problem. When standard error is a terminal, a line\n"
            "per entry shows the progress.\n",
    .argumentCount = 1,
    .options = {{"-o", ToolOptionKind::Value},
                {"--output", ToolOptionKind::Value},
                {"--append-to", ToolOptionKind::Value},
                {"--strict", ToolOptionKind::Flag}},
    .run = RunPack,
});

}  // namespace
