#include "tools/scrtool/ToolSupport.h"

#include "imaging/DirectBmpControl.h"
#include "platform/StandardStreams.h"
#include "platform/Utf8Path.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

std::vector<ToolCommand>& Table()
{
    // Built while the command files' registrations run, before main: a
    // function-local object exists by the first of them, whatever the order
    // of the files' initialisation.
    static std::vector<ToolCommand> table;
    return table;
}

bool IsOption(const std::string& argument)
{
    return argument.size() > 1 && argument[0] == '-';
}

const ToolOption* FindOption(const ToolCommand& command, const std::string& name)
{
    for (const ToolOption& option : command.options)
        if (name == option.name) return &option;
    return nullptr;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What is at the path, for an archive that is not a regular file.
std::string NotAFileText(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    switch (status.type()) {
    case std::filesystem::file_type::directory: return "is a directory, not an archive";
    case std::filesystem::file_type::fifo: return "is a pipe, not an archive file";
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block: return "is a device, not an archive file";
    case std::filesystem::file_type::socket: return "is a socket, not an archive file";
    default: return "is not a regular file";
    }
}

// An archive that did not open, in words: what kind of trouble first, then
// the reader's check for those who want to look closer.
std::string OpenProblem(const ResArchive& archive, int result, const std::filesystem::path& path)
{
    const std::string detail = ResOpenFailureText(archive.openFailure);
    const auto with = [&detail](const std::string& what) { return detail.empty() ? what : what + " (" + detail + ")"; };
    switch (archive.openFailure) {
    case ResOpenFailure::None: break;
    case ResOpenFailure::NoFile: return "no such file";
    case ResOpenFailure::CannotOpen: return "cannot be opened for reading";
    case ResOpenFailure::NotRegularFile: return NotAFileText(path);
    case ResOpenFailure::TooShort: {
        std::error_code error;
        if (std::filesystem::file_size(path, error) == 0 && !error) return "is empty, not an archive";
        return with("truncated or not an archive");
    }
    case ResOpenFailure::IndexLengthOutsideFile: return with("truncated or not an archive");
    case ResOpenFailure::SizeUnknown:
    case ResOpenFailure::TrailerUnreadable:
    case ResOpenFailure::IndexUnreadable:
    case ResOpenFailure::HeaderUnreadable: return with("read error");
    case ResOpenFailure::NoMemoryForIndex:
    case ResOpenFailure::NoMemoryForTables: return with("out of memory");
    case ResOpenFailure::KindMismatch:
    case ResOpenFailure::IdentificationMismatch: return with("an archive for another program");
    case ResOpenFailure::DataBaseOutsideFile:
    case ResOpenFailure::CheckWordMissing:
    case ResOpenFailure::CheckWordMismatch:
    case ResOpenFailure::GroupTableOutsideIndex:
    case ResOpenFailure::EntryRunOutsideIndex:
    case ResOpenFailure::EntryOutsideFile: return with("damaged archive");
    }
    // A failure that names no check: the reader's own words for its number.
    const char* meaning = ResErrorMeaning(result);
    return std::string("cannot open the archive: ") + (meaning ? meaning : "unknown error");
}

}  // namespace

ToolCommandRegistration::ToolCommandRegistration(ToolCommand command)
{
    std::vector<ToolCommand>& table = Table();
    const auto place = std::lower_bound(table.begin(), table.end(), std::string_view(command.name),
                                        [](const ToolCommand& a, std::string_view name) { return a.name < name; });
    table.insert(place, std::move(command));
}

std::span<const ToolCommand> ToolCommands()
{
    return Table();
}

const ToolCommand* FindToolCommand(std::string_view name)
{
    for (const ToolCommand& command : Table())
        if (name == command.name) return &command;
    return nullptr;
}

std::string ToolCommandHelp(const ToolCommand& command)
{
    return std::string("usage: ") + command.usage + "\n\n" + command.help;
}

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

int ReportBadOption(const std::string& command, const std::string& option, const std::string& wanted,
                    const std::string& value)
{
    return ReportUsage(command, "option '" + option + "' needs " + wanted + ", got '" + value + "'");
}

int RunCommand(const ToolCommand& command, const std::vector<std::string>& arguments)
{
    ToolArguments parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || !IsOption(argument)) {
            parsed.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(ToolCommandHelp(command).c_str(), stdout);
            return std::fflush(stdout) == 0 ? ExitSuccess : ExitFailure;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const ToolOption* option = FindOption(command, name);
        if (!option) return ReportUsage(command.name, "unknown option '" + argument + "'");
        if (option->kind == ToolOptionKind::Flag) {
            if (equals != std::string::npos) return ReportUsage(command.name, "option '" + name + "' takes no value");
            parsed.options.emplace_back(name, "");
            continue;
        }
        if (equals == std::string::npos && i + 1 == arguments.size())
            return ReportUsage(command.name, "option '" + name + "' needs a value");
        if (option->kind == ToolOptionKind::Value &&
            std::any_of(parsed.options.begin(), parsed.options.end(), [&name](const auto& given) { return given.first == name; }))
            return ReportUsage(command.name, "option '" + name + "' given twice");
        parsed.options.emplace_back(name, equals == std::string::npos ? arguments[++i] : argument.substr(equals + 1));
    }
    if (parsed.positional.size() != command.argumentCount)
        return ReportUsage(command.name, "expects " + std::to_string(command.argumentCount) + " argument" +
                                             (command.argumentCount == 1 ? "" : "s") + ", got " +
                                             std::to_string(parsed.positional.size()));
    for (const std::string& argument : parsed.positional)
        if (argument.empty()) return ReportUsage(command.name, "empty argument");
    return command.run(parsed);
}

bool OpenToolArchive(ResArchive& archive, const std::string& pathArgument)
{
    std::filesystem::path path = PathFromUtf8(pathArgument);
    if (!path.has_parent_path()) {
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(path, error);
        path = error ? std::filesystem::path(".") / path : absolute;
    }
    const int result = ResOpen(archive, path, 0, ResArchiveKind);
    if (result == ResErrorNone) return true;
    ReportError(pathArgument + ": " + OpenProblem(archive, result, path));
    return false;
}

std::optional<ResEntryLocation> FindToolEntry(ResArchive& archive, const std::string& archivePath, uint32_t tag,
                                              uint32_t id, const std::string& kind)
{
    const ResEntryLocation found = ResLocateEntry(archive, tag, id);
    if (found.Found()) return found;
    const std::string wanted = kind.empty() ? "entry " + ResTagText(tag) + " " + std::to_string(id)
                                            : kind + " " + std::to_string(id);
    if (found.entry != ResStatusNotFound) {
        ReportError(archivePath + ": cannot find " + wanted + ": " + EntryReadProblem(archive.lastError));
        return std::nullopt;
    }
    std::string holds;
    if (found.group < 0 && kind.empty()) {
        std::string tags;
        for (const GroupRecord& group : archive.groups) tags += (tags.empty() ? "" : ", ") + ResTagText(group.tag);
        ReportError(archivePath + ": no group " + ResTagText(tag) + " (" +
                    (tags.empty() ? "the archive has no entries" : "groups: " + tags) + ")");
        return std::nullopt;
    }
    if (found.group < 0) {
        holds = "the archive has no " + kind + "s";
    } else {
        const GroupRecord& group = archive.groups[static_cast<size_t>(found.group)];
        std::vector<uint32_t> ids;
        for (uint32_t entry = 0; entry < group.entryCount; ++entry)
            ids.push_back(archive.entries[static_cast<size_t>(group.firstEntry + entry)].id);
        holds = (kind.empty() ? ResTagText(tag) + " ids" : kind + "s") + ": " + CompactIdList(std::move(ids));
    }
    ReportError(archivePath + ": no " + wanted + " (" + holds + ")");
    return std::nullopt;
}

std::string EntryReadProblem(int errorNumber)
{
    switch (errorNumber) {
    case ResErrorSizesInconsistent: return "its prefix and suffix are longer than its stored bytes";
    case ResErrorReadFailed: return "the archive file ends inside it, or cannot be read";
    case ResErrorSeekFailed: return "the archive file cannot be read there";
    case ResErrorBadOffset: return "it lies outside the archive file";
    case ResErrorOutOfMemory: return "out of memory";
    default: break;
    }
    const char* meaning = ResErrorMeaning(errorNumber);
    return meaning ? meaning : "unknown error";
}

std::string CompactIdList(std::vector<uint32_t> ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::vector<std::string> pieces;
    for (size_t start = 0; start < ids.size();) {
        size_t end = start + 1;
        while (end < ids.size() && ids[end] == ids[end - 1] + 1) ++end;
        if (end - start >= 3) {
            pieces.push_back(std::to_string(ids[start]) + "-" + std::to_string(ids[end - 1]));
        } else {
            for (size_t i = start; i < end; ++i) pieces.push_back(std::to_string(ids[i]));
        }
        start = end;
    }
    // A message is one line: a long list keeps its start and its end.
    constexpr size_t MostPieces = 12;
    constexpr size_t PiecesKept = 10;
    std::string text;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces.size() > MostPieces && i == PiecesKept) {
            text += ", ..., " + pieces.back() + "; " + std::to_string(ids.size()) + " in all";
            break;
        }
        text += (i == 0 ? "" : ", ") + pieces[i];
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

std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t minimum, uint64_t maximum)
{
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

std::string NumberWanted(uint64_t minimum, uint64_t maximum)
{
    return "a number from " + std::to_string(minimum) + " to " + std::to_string(maximum);
}

std::optional<uint32_t> ParseId(const std::string& text)
{
    const std::optional<uint64_t> value = ParseDecimal(text, 0, UINT32_MAX);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<ToolSize> ParseToolSize(const std::string& text)
{
    const size_t cross = text.find('x');
    if (cross == std::string::npos) return std::nullopt;
    const auto width = ParseDecimal(text.substr(0, cross), 1, MaximumBufferDimension);
    const auto height = ParseDecimal(text.substr(cross + 1), 1, MaximumBufferDimension);
    if (!width || !height) return std::nullopt;
    return ToolSize{static_cast<int32_t>(*width), static_cast<int32_t>(*height)};
}

std::string ToolSizeText(const ToolSize& size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string ToolSizeWanted()
{
    return "WxH with W and H from 1 to " + std::to_string(MaximumBufferDimension);
}

bool IsStandardOutput(const std::string& path)
{
    return path == "-";
}

bool WriteToStandardOutput(std::span<const uint8_t> bytes)
{
    SetStandardOutputBinary();
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}
