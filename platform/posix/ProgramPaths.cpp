#include "platform/ProgramPaths.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

std::filesystem::path ProgramFilePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : path;
}

std::optional<std::filesystem::path> DocumentsFolder()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::nullopt;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path configFolder = configHome != nullptr && *configHome == '/'
                                                   ? std::filesystem::path(configHome)
                                                   : std::filesystem::path(home) / ".config";

    // The file is small and written by a tool; still, read no more than a
    // sane amount of whatever is there.
    constexpr std::streamsize readLimit = 64 * 1024;
    std::string text;
    std::ifstream file(configFolder / "user-dirs.dirs", std::ios::binary);
    if (file) {
        text.resize(static_cast<size_t>(readLimit));
        file.read(text.data(), readLimit);
        text.resize(static_cast<size_t>(file.gcount()));
    }
    return DocumentsFolderFromUserDirs(text, home);
}
