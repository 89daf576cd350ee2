#include "platform/ProgramPaths.h"

std::filesystem::path ProgramFolder()
{
    return ProgramFilePath().parent_path();
}
