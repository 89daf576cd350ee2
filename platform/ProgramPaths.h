// ProgramPaths: where the running program lives, and the user's documents
// folder.
//
// ProgramFilePath() is the full path of the running executable (empty when
// the system cannot tell it); ProgramFolder() is the folder that holds it.
//
// DocumentsFolder() is the user's documents folder, or nothing when the
// system cannot tell it. Windows asks the shell for the known folder
// Documents. Elsewhere it is what `xdg-user-dir DOCUMENTS` names: the last
// XDG_DOCUMENTS_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs (by default
// ~/.config/user-dirs.dirs), or $HOME/Documents when there is none; nothing
// when $HOME is not set. The folder need not exist.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

std::filesystem::path ProgramFilePath();
std::filesystem::path ProgramFolder();
std::optional<std::filesystem::path> DocumentsFolder();

// The documents folder named by the text of a user-dirs.dirs file: lines
// XDG_DOCUMENTS_DIR="$HOME/sub/folder" or XDG_DOCUMENTS_DIR="/absolute",
// the last one winning, backslash escapes taken literally as the shell
// would; $HOME/Documents when no usable line is there. Lines of any other
// shape, comments and stray bytes are skipped.
std::filesystem::path DocumentsFolderFromUserDirs(std::string_view userDirsText, const std::filesystem::path& home);
