#include "tools/scrtool/ToolSupport.h"

#include "imaging/DirectBmpControl.h"
#include "platform/StandardStreams.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

bool IsOption(const std::string& argument)
{
    return argument.size() > 1 && argument[0] == '-';
}

bool Lists(const char* const* list, const std::string& option)
{
    for (const char* const* known = list; known && *known; ++known)
        if (option == *known) return true;
    return false;
}

bool TakesValue(const ToolCommand& command, const std::string& option)
{
    return Lists(command.valueOptions, option);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void ReportError(const std::string& text)
{
    std::fprintf(stderr, "scrtool: %s\n", text.c_str());
    std::fflush(stderr);
}

int ReportUsage(const std::string& command, const std::string& text)
{
    const std::string program = command.empty() ? "scrtool" : "scrtool " + command;
    std::fprintf(stderr, "%s: %s (try '%s --help')\n", program.c_str(), text.c_str(), program.c_str());
    std::fflush(stderr);
    return ExitUsage;
}

int RunCommand(const ToolCommand& command, const std::vector<std::string>& arguments)
{
    std::vector<std::string> positional;
    std::vector<std::string> options;  // option, value, option, value, ...
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            std::fputs(command.help, stdout);
            return std::fflush(stdout) == 0 ? ExitSuccess : ExitFailure;
        } else if (!optionsEnded && IsOption(argument)) {
            const size_t equals = argument.find('=');
            const std::string option = argument.substr(0, equals);
            if (Lists(command.flagOptions, option)) {
                if (equals != std::string::npos) return ReportUsage(command.name, "option '" + option + "' takes no value");
                options.push_back(option);
                options.push_back("");
                continue;
            }
            if (!TakesValue(command, option)) return ReportUsage(command.name, "unknown option '" + argument + "'");
            if (equals == std::string::npos && i + 1 == arguments.size())
                return ReportUsage(command.name, "option '" + option + "' needs a value");
            options.push_back(option);
            options.push_back(equals == std::string::npos ? arguments[++i] : argument.substr(equals + 1));
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != command.argumentCount)
        return ReportUsage(command.name, "expects " + std::to_string(command.argumentCount) + " argument" +
                                             (command.argumentCount == 1 ? "" : "s") + ", got " +
                                             std::to_string(positional.size()));
    for (const std::string& argument : positional)
        if (argument.empty()) return ReportUsage(command.name, "empty argument");
    positional.insert(positional.end(), options.begin(), options.end());
    return command.run(positional);
}

bool OpenToolArchive(ResArchive& archive, const std::string& pathArgument)
{
    std::filesystem::path path(pathArgument);
    if (!path.has_parent_path()) {
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(path, error);
        path = error ? std::filesystem::path(".") / path : absolute;
    }
    const int result = ResOpen(archive, path, 0, ResArchiveKind);
    if (result == ResErrorNone) return true;
    const char* meaning = ResErrorMeaning(result);
    std::string line = pathArgument + ": cannot open archive: error " + std::to_string(result) + " (" +
                       (meaning ? meaning : "unknown error") + ")";
    // One error number covers many checks; the check that failed tells the
    // author what to look at. A missing file needs no more words.
    if (archive.openFailure != ResOpenFailure::None && archive.openFailure != ResOpenFailure::NoFile)
        line += std::string(": ") + ResOpenFailureText(archive.openFailure);
    ReportError(line);
    return false;
}

std::string FormatTag(uint32_t tag)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>(tag >> (8 * i));
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
    }
    return text;
}

std::optional<uint32_t> ParseTag(const std::string& text)
{
    uint32_t tag = 0;
    int count = 0;
    for (size_t i = 0; i < text.size(); ++count) {
        if (count == 4) return std::nullopt;
        uint32_t byte = static_cast<uint8_t>(text[i]);
        if (text[i] == '\\') {
            if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
            const int high = HexDigit(text[i + 2]);
            const int low = HexDigit(text[i + 3]);
            if (high < 0 || low < 0) return std::nullopt;
            byte = static_cast<uint32_t>(high << 4 | low);
            i += 4;
        } else {
            i += 1;
        }
        tag |= byte << (8 * count);
    }
    if (count != 4) return std::nullopt;
    return tag;
}

std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t maximum)
{
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > maximum) return std::nullopt;
    return value;
}

std::optional<uint32_t> ParseId(const std::string& text)
{
    const std::optional<uint64_t> value = ParseDecimal(text, UINT32_MAX);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<ToolSize> ParseToolSize(const std::string& text)
{
    const size_t cross = text.find('x');
    if (cross == std::string::npos) return std::nullopt;
    const auto width = ParseDecimal(text.substr(0, cross), MaximumBufferDimension);
    const auto height = ParseDecimal(text.substr(cross + 1), MaximumBufferDimension);
    if (!width || !height || *width == 0 || *height == 0) return std::nullopt;
    return ToolSize{static_cast<int32_t>(*width), static_cast<int32_t>(*height)};
}

std::string ToolSizeText(const ToolSize& size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void SetBinaryStdout()
{
    SetStandardOutputBinary();
}
