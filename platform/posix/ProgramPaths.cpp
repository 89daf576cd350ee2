#include "platform/ProgramPaths.h"

#include <system_error>

std::filesystem::path ProgramFilePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : path;
}
