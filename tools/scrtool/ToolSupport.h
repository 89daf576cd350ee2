// ToolSupport: what every scrtool subcommand shares.
//
// Exit statuses: 0 success, 1 the work failed (bad archive, missing entry,
// read or write error), 2 the command line was wrong. Every failure prints
// exactly one line to stderr, starting "scrtool: " and naming the file and
// the problem; usage errors add a hint to --help. Nothing here throws out of
// a subcommand: RunCommand catches what the standard library may throw.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum : int { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// One subcommand: its name, the line shown in the tool's overview, the text
// that its --help prints, how many positional arguments it takes, and the
// options it accepts, each with a value ("--place WxH" or "--place=WxH"):
// a list ending with a null pointer, or null for none; and the options it
// accepts without a value ("--force"), listed the same way.
struct ToolCommand {
    const char* name;
    const char* summary;
    const char* help;
    size_t argumentCount;
    int (*run)(const std::vector<std::string>& arguments);
    const char* const* valueOptions = nullptr;
    const char* const* flagOptions = nullptr;
};

// Parses a subcommand's arguments: --help/-h prints its help (exit 0), "--"
// ends the options, an option of the command's list takes a value, any other
// option, an option without its value or a wrong count is a usage error.
// Runs the command with its positional arguments, followed by each option
// given and its value (two more arguments per option, in command-line
// order; a flag option's value is empty), and returns the exit status.
int RunCommand(const ToolCommand& command, const std::vector<std::string>& arguments);

// One line on stderr: "scrtool: <text>".
void ReportError(const std::string& text);
// A usage error of a subcommand (or of the tool itself when command is
// empty): one line with a hint to --help; returns ExitUsage.
int ReportUsage(const std::string& command, const std::string& text);

// Opens the archive named on the command line. A bare file name means the
// current directory here (the reader alone would look beside the program).
// On failure prints the error line, with the check that refused the file
// after the error number, and returns false.
bool OpenToolArchive(ResArchive& archive, const std::string& pathArgument);

// Group tags on the command line and in listings: the four characters, with
// bytes outside printable ASCII (and the backslash) written as \xNN so that
// every tag a listing shows can be typed back.
std::string FormatTag(uint32_t tag);
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

// A decimal number from 0 to `maximum`, digits only.
std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t maximum);

// Switches stdout to binary on systems that translate line ends.
void SetBinaryStdout();

int RunList(const std::vector<std::string>& arguments);
int RunCat(const std::vector<std::string>& arguments);
int RunPicture(const std::vector<std::string>& arguments);
extern const char* const ListHelp;
extern const char* const CatHelp;
extern const char* const PictureHelp;
extern const char* const PictureOptions[];
