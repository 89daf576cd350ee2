// UserShowArchive: where a user's own slide show is kept, the archive that
// `scrtool pack --install` writes and the Linux saver plays before its
// demo.
//
// The place follows the XDG base directories: $XDG_DATA_HOME/kamishibai/
// show.brsc when XDG_DATA_HOME holds an absolute path, else
// $HOME/.local/share/kamishibai/show.brsc when HOME holds one, else nothing
// (a relative or empty value counts as unset, as those rules ask). Only the
// environment is read: the file and its folder need not exist.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

// The value of an environment variable, or null when it is unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// From the process's environment.
std::optional<std::filesystem::path> UserShowArchivePath();
// From the environment `lookup` gives (tests).
std::optional<std::filesystem::path> UserShowArchivePath(const EnvironmentLookup& lookup);
