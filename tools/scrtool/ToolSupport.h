// ToolSupport: what every scrtool command shares.
//
// Exit statuses: 0 success, 1 the work failed (bad archive, missing entry,
// read or write error), 2 the command line was wrong. Every failure prints
// exactly one line to stderr, starting "scrtool: " and naming the file and
// the problem in words; usage errors add a hint to --help. Nothing here
// throws out of a command: main catches what the standard library may throw.
//
// The command table: each command file declares its ToolCommand and adds it
// with a file-scope ToolCommandRegistration, so that a command is described
// in one place and main.cpp knows none of them by name. Registrations run
// before main; ToolCommands() lists them by name.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum : int { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

enum class ToolOptionKind {
    Flag,             // "--force": no value
    Value,            // "--place WxH" or "--place=WxH", at most once
    RepeatableValue,  // "--snapshot MS:OUT", as often as wanted
};

struct ToolOption {
    const char* name;
    ToolOptionKind kind;
};

// A command line as RunCommand hands it over: the positional arguments, and
// each option given with its value (empty for a flag), in command-line order.
struct ToolArguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
};

// One command. `usage` is the synopsis that follows "usage: " (further lines
// indented to match); `help` the rest of what --help prints, which names
// every option of `options`.
struct ToolCommand {
    const char* name;
    const char* summary;  // one line for the overview
    const char* usage;
    const char* help;
    size_t argumentCount;
    std::vector<ToolOption> options;
    int (*run)(const ToolArguments& arguments);
};

struct ToolCommandRegistration {
    explicit ToolCommandRegistration(ToolCommand command);
};

// Every registered command, ordered by name.
std::span<const ToolCommand> ToolCommands();
const ToolCommand* FindToolCommand(std::string_view name);
// What `scrtool NAME --help` prints: "usage: " and the usage, a blank line,
// the help.
std::string ToolCommandHelp(const ToolCommand& command);

// Parses a command's arguments: --help/-h prints its help (exit 0), "--"
// ends the options, "-" alone is a positional argument (standard output or
// input), an option of the command's list takes its value, and an unknown
// option, a missing value, a single option given twice or a wrong count of
// positional arguments is a usage error. Then runs the command and returns
// its exit status.
int RunCommand(const ToolCommand& command, const std::vector<std::string>& arguments);

// One line on stderr: "scrtool: <text>".
void ReportError(const std::string& text);
// A usage error of a command (or of the tool itself when command is empty):
// one line with a hint to --help; returns ExitUsage.
int ReportUsage(const std::string& command, const std::string& text);
// "option 'OPTION' needs WANTED, got 'VALUE'" as a usage error.
int ReportBadOption(const std::string& command, const std::string& option, const std::string& wanted,
                    const std::string& value);

// Opens the archive named on the command line. A bare file name means the
// current directory here (the reader alone would look beside the program).
// On failure prints one line that says what is wrong with the file ("is a
// directory", "truncated or not an archive (...)") and returns false.
bool OpenToolArchive(ResArchive& archive, const std::string& pathArgument);

// An entry the command line names: found, or one line printed that says what
// the archive holds instead ("no picture 7 (pictures: 1000-1008, 1100)").
// `kind` names the entries in that line ("picture", "sound"); empty names
// them as "entry TAG ID".
std::optional<ResEntryLocation> FindToolEntry(ResArchive& archive, const std::string& archivePath, uint32_t tag,
                                              uint32_t id, const std::string& kind);
// Why reading an entry failed, in words, for an error number of the reader.
std::string EntryReadProblem(int errorNumber);

// The ids, sorted, each once, as "1, 4, 10-19": runs of three or more as a
// range; past a dozen pieces the middle is left out and the count given.
std::string CompactIdList(std::vector<uint32_t> ids);

// Group tags on the command line: the four characters, with bytes outside
// printable ASCII (and the backslash) as \xNN, as ResTagText writes them.
std::optional<uint32_t> ParseTag(const std::string& text);
// A decimal entry id, 0 to 4294967295, digits only.
std::optional<uint32_t> ParseId(const std::string& text);

// A size on the command line: "WxH", W and H digits only, 1 to 16384 (the
// largest pixel buffer).
struct ToolSize {
    int32_t width = 0;
    int32_t height = 0;
};
std::optional<ToolSize> ParseToolSize(const std::string& text);
std::string ToolSizeText(const ToolSize& size);
// What a bad size is told it needs.
std::string ToolSizeWanted();

// A decimal number from minimum to maximum, digits only.
std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t minimum, uint64_t maximum);
// "a number from MINIMUM to MAXIMUM", for ReportBadOption.
std::string NumberWanted(uint64_t minimum, uint64_t maximum);

// "-" as an output: standard output.
bool IsStandardOutput(const std::string& path);

// Writes bytes to standard output unchanged (no line ends translated) and
// flushes it; false when not all of them got out.
bool WriteToStandardOutput(std::span<const uint8_t> bytes);
