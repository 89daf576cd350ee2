// scrtool pack MANIFEST -o OUT [--append-to EXE] [--strict]: an archive
// built from a manifest, as a side file or appended to a copy of the
// program, and checked by the verifier before it is written.

#include "tools/scrtool/ToolSupport.h"

#include "tools/scrtool/FolderShowOptions.h"
#include "tools/scrtool/ProgressLine.h"

#include "platform/ReadOnlyFile.h"
#include "platform/StandardStreams.h"
#include "platform/UserShowArchive.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/authoring/FolderShowBuilder.h"
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

// What the command line asks of pack.
struct PackRequest {
    std::string source;
    std::optional<std::string> outPath;
    std::optional<std::string> programPath;
    bool strict = false;
    bool install = false;
    bool quiet = false;
    unsigned workers = 0;
    FolderShowOptions show;
    std::vector<std::string> folderOptions;  // given, for the message when they do not apply
};

// Parses the options; returns an exit status when the command line is wrong.
std::optional<int> ParsePackRequest(const ToolArguments& arguments, PackRequest& request)
{
    request.source = arguments.positional[0];
    for (const auto& [option, value] : arguments.options) {
        if (option == "--strict") {
            request.strict = true;
        } else if (option == "--install") {
            request.install = true;
        } else if (option == "--quiet" || option == "-q") {
            request.quiet = true;
        } else if (option == "--jobs") {
            const std::optional<uint64_t> jobs = ParseDecimal(value, 1, 256);
            if (!jobs) return ReportBadOption("pack", option, NumberWanted(1, 256), value);
            request.workers = static_cast<unsigned>(*jobs);
        } else if (auto folderOption = ParseFolderShowOption("pack", option, value, request.show)) {
            if (*folderOption != ExitSuccess) return *folderOption;
            request.folderOptions.push_back(option);
        } else {
            const bool program = option == "--append-to";
            std::optional<std::string>& target = program ? request.programPath : request.outPath;
            if (target) return ReportUsage("pack", "the output (-o) is given twice");
            if (value.empty()) return ReportBadOption("pack", option, "a file name", value);
            target = value;
        }
    }
    if (request.install && request.outPath)
        return ReportUsage("pack", "--install writes the archive to its own place: give either --install or -o");
    if (request.install && request.programPath)
        return ReportUsage("pack", "--install writes a side archive for the Linux saver; --append-to makes a "
                                   "program: give one of them");
    if (!request.install && !request.outPath)
        return ReportUsage("pack", "no output file: give it with -o OUT (or --install)");
    return std::nullopt;
}

// The archive built from a manifest or from a folder, with the warnings of
// its check counted in warningCount.
struct BuiltPack {
    std::vector<uint8_t> archive;
    size_t warningCount = 0;
    std::string summary;  // what was packed, for the line at the end
};

ArchiveBuildProgress BuildProgress(ProgressLine& progress)
{
    if (!progress.Shown()) return {};
    return [&progress](const ArchiveBuildStep& step) { progress.Show(step.done, step.total, step.entry); };
}

void ReportPackWarnings(const Manifest& manifest, std::span<const uint8_t> archive, bool appended,
                        ProgressLine& progress, BuiltPack& built)
{
    for (const PackWarning& warning : CheckBuiltArchive(manifest, archive, appended)) {
        progress.Warn(warning.where, warning.text);
        ++built.warningCount;
    }
}

BuiltPack PackManifest(const std::filesystem::path& manifestPath, const PackRequest& request,
                       const std::vector<uint8_t>& program, ProgressLine& progress)
{
    const Manifest manifest = ReadManifestFile(manifestPath);
    BuiltPack built;
    ArchiveBuildOptions options;
    options.progress = BuildProgress(progress);
    options.warning = [&](const std::string& file, const std::string& text) {
        progress.Warn(file, text);
        ++built.warningCount;
    };
    options.workers = request.workers;
    built.archive = BuildManifestArchive(manifest, program, options);
    progress.Clear();
    ReportPackWarnings(manifest, built.archive, !program.empty(), progress, built);
    built.summary = std::to_string(manifest.pictures.size()) + " pictures and " + std::to_string(manifest.sounds.size()) +
                    " sounds from " + Utf8FromPath(manifestPath);
    return built;
}

BuiltPack PackFolder(const std::filesystem::path& folder, const PackRequest& request,
                     const std::vector<uint8_t>& program, ProgressLine& progress)
{
    BuiltPack built;
    const FolderShow show = PrepareFolderShow(folder, request.show, request.workers, FolderShowProgress(progress));
    built.warningCount = show.warningCount;
    // The photos are ready: what is left is the small about picture and the archive.
    built.archive = BuildManifestArchive(show.manifest, program, show.BuildOptions({}, request.workers));
    progress.Clear();
    ReportPackWarnings(show.manifest, built.archive, !program.empty(), progress, built);
    built.summary = std::to_string(show.pictureCount) + (show.pictureCount == 1 ? " picture" : " pictures") + " and " +
                    std::to_string(show.soundCount) + (show.soundCount == 1 ? " sound" : " sounds") + " from " +
                    Utf8FromPath(folder);
    return built;
}

// The one line of a failure, on a line of its own.
int Failed(ProgressLine& progress, const std::string& text)
{
    progress.Clear();
    ReportError(text);
    return ExitFailure;
}

int RunPack(const ToolArguments& arguments)
{
    PackRequest request;
    if (const std::optional<int> status = ParsePackRequest(arguments, request)) return *status;

    std::optional<std::filesystem::path> installPath;
    if (request.install) {
        if (!InstallSupported()) {
            ReportError("--install is for the Linux saver; on Windows, pack with --append-to kamishibai-bare.scr "
                        "(or drop the folder on scrtool.exe) and install the .scr it makes");
            return ExitFailure;
        }
        installPath = UserShowArchivePath();
        if (!installPath) {
            ReportError("--install: neither XDG_DATA_HOME nor HOME holds an absolute path, so there is no place for "
                        "your show: give -o OUT instead");
            return ExitFailure;
        }
    }
    const std::string outArgument = installPath ? Utf8FromPath(*installPath) : *request.outPath;
    const bool toStandardOutput = !installPath && IsStandardOutput(outArgument);
    // Checked before the work: an archive is no use on a screen, and a
    // terminal may take some of its bytes for commands.
    if (toStandardOutput && StandardOutputIsTerminal()) {
        ReportError("refusing to write an archive to a terminal (redirect standard output, or give -o FILE)");
        return ExitFailure;
    }
    const std::string outName = toStandardOutput ? "standard output" : outArgument;

    // A folder with a manifest is that manifest's project; without one, its
    // pictures and sounds make the show.
    const std::filesystem::path source = PathFromUtf8(request.source);
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(source, error);
    const bool fromFolder = isFolder && !std::filesystem::exists(FolderManifestPath(source), error);
    if (!fromFolder && !request.folderOptions.empty())
        return ReportUsage("pack", request.folderOptions.front() + " applies to a folder of photos without a "
                                   "manifest.toml; a manifest says it with its own keys (docs/manifest.md)");

    ProgressLine progress("pack", StandardErrorIsTerminal() && !request.quiet);
    try {
        std::vector<uint8_t> program;
        std::optional<std::filesystem::perms> permissions;
        if (request.programPath) {
            program = ReadSourceFile(PathFromUtf8(*request.programPath), *request.programPath);
            if (program.empty()) {
                ReportError(*request.programPath + ": the program file is empty; there is nothing to append the "
                                                   "archive to");
                return ExitFailure;
            }
            const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(*request.programPath), error);
            if (!error) permissions = status.permissions();
        }

        const BuiltPack built = fromFolder ? PackFolder(source, request, program, progress)
                                           : PackManifest(isFolder ? FolderManifestPath(source) : source, request,
                                                          program, progress);
        if (request.strict && built.warningCount != 0) {
            ReportError(outName + ": not written: --strict, and " + std::to_string(built.warningCount) +
                        (built.warningCount == 1 ? " warning" : " warnings"));
            return ExitFailure;
        }
        if (toStandardOutput) {
            if (!WriteToStandardOutput(built.archive)) {
                ReportError("cannot write the archive to standard output");
                return ExitFailure;
            }
            return ExitSuccess;
        }
        if (installPath) {
            std::filesystem::create_directories(installPath->parent_path(), error);
            if (error) {
                ReportError(Utf8FromPath(installPath->parent_path()) + ": cannot make the folder: " + error.message());
                return ExitFailure;
            }
        }
        WriteFileReplacing(PathFromUtf8(outArgument), built.archive, permissions);
        if (progress.Shown()) {
            std::fprintf(stderr, "scrtool pack: %s: %s%s\n", outName.c_str(), built.summary.c_str(),
                         installPath ? "; the saver plays it from now on" : "");
        }
    } catch (const ManifestError& failure) {
        return Failed(progress, failure.what());
    } catch (const ArchiveBuildError& failure) {
        return Failed(progress, failure.what());
    } catch (const PhotoFolderError& failure) {
        return Failed(progress, failure.what());
    } catch (const FolderProjectError& failure) {
        return Failed(progress, Utf8FromPath(source) + ": " + failure.what());
    }
    return ExitSuccess;
}

std::vector<ToolOption> PackOptions()
{
    std::vector<ToolOption> options = {{"-o", ToolOptionKind::Value},       {"--output", ToolOptionKind::Value},
                                       {"--append-to", ToolOptionKind::Value}, {"--strict", ToolOptionKind::Flag},
                                       {"--quiet", ToolOptionKind::Flag},     {"-q", ToolOptionKind::Flag},
                                       {"--jobs", ToolOptionKind::Value}};
    if (InstallSupported()) options.push_back({"--install", ToolOptionKind::Flag});
    for (const ToolOption& option : FolderShowToolOptions()) options.push_back(option);
    return options;
}

const std::string PackHelp = std::string(
    "Builds an archive and writes it to OUT: from a folder of photos, or from a\n"
    "TOML manifest.\n"
    "\n"
    "A FOLDER without a manifest.toml is a show of its own photos: its .jpg,\n"
    ".jpeg and .png files (and .webp, .heic and .heif where this build reads\n"
    "them), in any letter case, are the pictures, in natural order of their names\n"
    "(img2 before img10) with ids 1000, 1001, ...; each is turned upright as its\n"
    "orientation data says, shrunk to fit --max-size, and stored as JPEG (a JPEG\n"
    "that needed neither is stored exactly as it is). Sounds (WAV; FLAC, Ogg\n"
    "Vorbis and MP3 where this build converts them) get ids 5000, ...: a sound\n"
    "named like a picture (beach.jpg, beach.wav) is its narration, played once\n"
    "the picture is in, and the show waits for it; without narrations, a sound\n"
    "loops under the show (several take turns over each round). The show uses the\n"
    "effect, speed and time between pictures of the saver's settings. A picture\n"
    "or sound that cannot be read is left out with a warning. 'scrtool init\n"
    "FOLDER' writes the manifest and scenario this uses, to go on by hand.\n"
    "\n") +
    FolderShowOptionsHelp +
    "\n"
    "MANIFEST (or a FOLDER holding manifest.toml) names the archive's options\n"
    "(identification, key seed, encryption block size and interleave, default\n"
    "encryption mode), the information block, the scenario text file, the\n"
    "pictures (PNG, JPEG, WebP or HEIF, with storage photo, raw, lzss, zlib or\n"
    "jpeg and a depth of 1, 4, 8, 16, 24 or 32 bits) and the sounds. File names\n"
    "in it are relative to the manifest's folder (docs/manifest.md describes\n"
    "every key, docs/scenario-text.md the scenario text). A small example:\n"
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
    "                        OUT may be EXE itself\n" +
    (InstallSupported() ? "  --install             instead of -o: writes the archive where the Linux\n"
                          "                        saver looks first, $XDG_DATA_HOME/kamishibai/show.brsc\n"
                          "                        (~/.local/share/kamishibai/show.brsc), so that it and\n"
                          "                        the screen-saver daemon play it with no option\n"
                        : "") +
    "  --jobs N              pictures made on N threads (default: one per core);\n"
    "                        the archive is the same for any N\n"
    "  -q, --quiet           no progress line\n"
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
    "  --strict    any warning fails the pack (a file of the folder left out\n"
    "              counts too): after the warnings, one line says that OUT was\n"
    "              not written; exit status 1, and an OUT that exists is left\n"
    "              as it was\n"
    "\n"
    "OUT is written to a temporary file beside it that replaces it only when\n"
    "complete; on failure OUT is left as it was. A failure prints one line\n"
    "naming the file at fault (with its line for the manifest and the\n"
    "scenario text) and the problem. When standard error is a terminal, one\n"
    "line shows the progress (n of N, the file, the time left); otherwise only\n"
    "warnings are written.\n";

const std::string PackUsage =
    std::string("scrtool pack FOLDER -o OUT [--append-to EXE] [--order shuffle|name]\n"
                "                    [--name TEXT] [--max-size WxH|none] [--quality Q] [--jobs N]\n"
                "                    [--strict] [--quiet]\n") +
    (InstallSupported() ? "       scrtool pack FOLDER --install [--order shuffle|name] [--quiet]\n" : "") +
    "       scrtool pack MANIFEST -o OUT [--append-to EXE] [--jobs N] [--strict] [-q]";

const ToolCommandRegistration Registration({
    .name = "pack",
    .summary = "build an archive from a folder of photos or a manifest",
    .usage = PackUsage.c_str(),
    .help = PackHelp.c_str(),
    .argumentCount = 1,
    .options = PackOptions(),
    .run = RunPack,
});

}  // namespace
