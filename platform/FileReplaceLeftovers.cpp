#include "platform/FileReplace.h"

#include <charconv>
#include <string>
#include <system_error>

namespace {

// The writer's process id in "<target name>.<pid>-<counter>.new", or
// nothing for any other name.
std::optional<uint32_t> WriterOf(const std::u8string& name, const std::u8string& targetName)
{
    const std::u8string suffix = u8".new";
    if (name.size() <= targetName.size() + 1 + suffix.size() || name.compare(0, targetName.size(), targetName) != 0 ||
        name[targetName.size()] != u8'.' || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    const std::string middle(name.begin() + static_cast<std::ptrdiff_t>(targetName.size() + 1),
                             name.end() - static_cast<std::ptrdiff_t>(suffix.size()));
    const size_t dash = middle.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size()) return std::nullopt;
    uint32_t processId = 0;
    uint64_t counter = 0;
    const char* begin = middle.data();
    const auto pid = std::from_chars(begin, begin + dash, processId);
    const auto count = std::from_chars(begin + dash + 1, begin + middle.size(), counter);
    if (pid.ec != std::errc() || pid.ptr != begin + dash || count.ec != std::errc() ||
        count.ptr != begin + middle.size())
        return std::nullopt;
    return processId;
}

}  // namespace

int RemoveLeftoverReplacements(const std::filesystem::path& target)
{
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::u8string targetName = target.filename().u8string();
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return 0;
    int removed = 0;
    for (const std::filesystem::directory_entry& entry : entries) {
        const std::optional<uint32_t> writer = WriterOf(entry.path().filename().u8string(), targetName);
        if (!writer || ProcessIsRunning(*writer)) continue;
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && std::filesystem::remove(entry.path(), ignored)) ++removed;
    }
    return removed;
}
