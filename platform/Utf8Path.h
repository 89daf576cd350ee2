// Utf8Path: file names between the UTF-8 text that the tools, manifests and
// messages keep and std::filesystem::path.
//
// On Windows a path made from a plain std::string reads its bytes in a
// narrow code page, and string() writes them back in it, throwing for the
// characters it lacks: a Japanese file name would be garbled or fail. These
// two read and write UTF-8 on every system; on POSIX they change no byte.
// Every name that comes from the command line, a manifest or a message goes
// through them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);
