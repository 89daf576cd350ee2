#include "platform/ProgramArguments.h"

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    if (argc < 1 || argv == nullptr) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

void UseUtf8Console() {}
