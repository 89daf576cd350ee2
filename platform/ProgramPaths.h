// ProgramPaths: where the running program lives.
//
// ProgramFilePath() is the full path of the running executable (empty when
// the system cannot tell it); ProgramFolder() is the folder that holds it.
#pragma once

#include <filesystem>

std::filesystem::path ProgramFilePath();
std::filesystem::path ProgramFolder();
