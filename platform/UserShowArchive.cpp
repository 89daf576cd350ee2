#include "platform/UserShowArchive.h"

#include <cstdlib>

namespace {

std::optional<std::filesystem::path> AbsoluteFolder(const char* value)
{
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path folder(value);
    if (!folder.is_absolute()) return std::nullopt;
    return folder;
}

}  // namespace

std::optional<std::filesystem::path> UserShowArchivePath()
{
    return UserShowArchivePath([](const char* name) -> const char* { return std::getenv(name); });
}

std::optional<std::filesystem::path> UserShowArchivePath(const EnvironmentLookup& lookup)
{
    std::optional<std::filesystem::path> dataFolder = AbsoluteFolder(lookup("XDG_DATA_HOME"));
    if (!dataFolder) {
        const std::optional<std::filesystem::path> home = AbsoluteFolder(lookup("HOME"));
        if (!home) return std::nullopt;
        dataFolder = *home / ".local" / "share";
    }
    return *dataFolder / "kamishibai" / "show.brsc";
}
