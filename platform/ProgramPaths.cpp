#include "platform/ProgramPaths.h"

#include <optional>
#include <string>

std::filesystem::path ProgramFolder()
{
    return ProgramFilePath().parent_path();
}

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The value of one XDG_DOCUMENTS_DIR="..." line, escapes resolved; nothing
// for a line of another shape.
std::optional<std::string> DocumentsAssignment(std::string_view line)
{
    constexpr std::string_view prefix = "XDG_DOCUMENTS_DIR=\"";
    line = TrimBlanks(line);
    if (line.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::string value;
    for (size_t i = prefix.size(); i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') return i + 1 == line.size() ? std::optional<std::string>(value) : std::nullopt;
        if (c == '\\') {
            if (++i == line.size()) return std::nullopt;
            value.push_back(line[i]);
            continue;
        }
        value.push_back(c);
    }
    return std::nullopt;  // no closing quote
}

}  // namespace

std::filesystem::path DocumentsFolderFromUserDirs(std::string_view userDirsText, const std::filesystem::path& home)
{
    std::optional<std::filesystem::path> found;
    while (!userDirsText.empty()) {
        const size_t end = userDirsText.find('\n');
        const std::string_view line = userDirsText.substr(0, end);
        userDirsText = end == std::string_view::npos ? std::string_view{} : userDirsText.substr(end + 1);

        const std::optional<std::string> value = DocumentsAssignment(line);
        if (!value) continue;
        constexpr std::string_view homeWord = "$HOME";
        if (value->compare(0, homeWord.size(), homeWord) == 0 &&
            (value->size() == homeWord.size() || (*value)[homeWord.size()] == '/')) {
            std::string rest = value->substr(homeWord.size());
            while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
            found = rest.empty() ? home : home / rest;
        } else if (!value->empty() && value->front() == '/') {
            found = std::filesystem::path(*value);
        }
        // Relative paths are not allowed in the file; xdg-user-dir ignores them too.
    }
    return found ? *found : home / "Documents";
}
