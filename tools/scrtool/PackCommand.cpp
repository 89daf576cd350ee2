// scrtool pack MANIFEST -o OUT [--append-to EXE]: an archive built from a
// manifest, as a side file or appended to a copy of the program.

#include "tools/scrtool/ToolSupport.h"

#ifdef KAMISHIBAI_HAVE_MANIFEST
#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/Manifest.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#endif

// Declared for main.cpp's command table (extern also gives the constants
// external linkage).
int RunPack(const std::vector<std::string>& arguments);
extern const char* const PackHelp;
extern const char* const PackOptions[];

const char* const PackHelp =
    "usage: scrtool pack MANIFEST -o OUT [--append-to EXE]\n"
    "\n"
    "Builds an archive from the TOML manifest MANIFEST and writes it to OUT.\n"
    "\n"
    "The manifest names the archive's options (identification, key seed,\n"
    "encryption block size and interleave, default encryption mode), the\n"
    "information block, the scenario text file, the pictures (PNG or JPEG, with\n"
    "storage raw, lzss, zlib or jpeg and a depth of 1, 4, 8, 16, 24 or 32 bits)\n"
    "and the sounds (RIFF WAVE files, stored as they are). File names in it are\n"
    "relative to the manifest's folder. A small example:\n"
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
    "Without --append-to, OUT is a side file (SC_TEST.brsc beside the saver).\n"
    "With --append-to EXE, OUT is a copy of the program EXE with the archive\n"
    "appended, which the saver finds in its own file; OUT may be EXE itself.\n"
    "\n"
    "OUT is written to a temporary file beside it that replaces it only when\n"
    "complete; on failure OUT is left as it was. A failure prints one line\n"
    "naming the file at fault (with its line for the manifest and the\n"
    "scenario text) and the problem. When standard error is a terminal, a line\n"
    "per entry shows the progress.\n";

const char* const PackOptions[] = {"-o", "--output", "--append-to", nullptr};

#ifdef KAMISHIBAI_HAVE_MANIFEST

namespace {

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

}  // namespace

int RunPack(const std::vector<std::string>& arguments)
{
    const std::string& manifestPath = arguments[0];
    std::optional<std::string> outPath;
    std::optional<std::string> programPath;
    for (size_t i = 1; i + 1 < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        const bool program = option == "--append-to";
        std::optional<std::string>& target = program ? programPath : outPath;
        if (target) return ReportUsage("pack", program ? "option '--append-to' given twice" : "the output (-o) is given twice");
        if (arguments[i + 1].empty()) return ReportUsage("pack", "option '" + option + "' needs a file name");
        target = arguments[i + 1];
    }
    if (!outPath) return ReportUsage("pack", "no output file: give it with -o OUT");

    try {
        const Manifest manifest = ReadManifestFile(manifestPath);

        std::vector<uint8_t> program;
        std::optional<std::filesystem::perms> permissions;
        if (programPath) {
            program = ReadSourceFile(*programPath, *programPath);
            if (program.empty()) {
                ReportError(*programPath + ": the program file is empty; there is nothing to append the archive to");
                return ExitFailure;
            }
            std::error_code error;
            const std::filesystem::file_status status = std::filesystem::status(*programPath, error);
            if (!error) permissions = status.permissions();
        }

        ArchiveBuildProgress progress;
        if (StderrIsTerminal())
            progress = [](const std::string& line) {
                std::fprintf(stderr, "scrtool pack: %s\n", line.c_str());
                std::fflush(stderr);
            };
        const std::vector<uint8_t> archive = BuildManifestArchive(manifest, program, progress);
        WriteFileReplacing(*outPath, archive, permissions);
    } catch (const ManifestError& error) {
        ReportError(error.what());
        return ExitFailure;
    } catch (const ArchiveBuildError& error) {
        ReportError(error.what());
        return ExitFailure;
    }
    return ExitSuccess;
}

#else

int RunPack(const std::vector<std::string>&)
{
    ReportError("pack is not available in this build: it was built without the manifest reader (toml++)");
    return ExitFailure;
}

#endif
