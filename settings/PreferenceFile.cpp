#include "settings/PreferenceFile.h"

#include "platform/FileReplace.h"
#include "platform/TextEncoding.h"
#include "platform/Utf8Path.h"

#include <algorithm>
#include <system_error>

namespace {

// The name as a path: its ANSI bytes read as Shift-JIS.
std::filesystem::path NamePath(std::string_view iniFileName)
{
    const bool ascii = std::all_of(iniFileName.begin(), iniFileName.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::string utf8 = ascii ? std::string(iniFileName) : ShiftJisToUtf8(iniFileName).text;
    return PathFromUtf8(utf8);
}

// folder, a separator, then the name, joined as text: a name that looks
// absolute does not replace the folder.
std::filesystem::path InFolder(const std::filesystem::path& folder, std::string_view iniFileName)
{
    std::filesystem::path path = folder / "";
    path += NamePath(iniFileName);
    return path;
}

bool Exists(const std::filesystem::path& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

std::string SettingsFileNameFromStringTable(std::string_view entry1001)
{
    return entry1001.empty() ? std::string(DefaultSettingsFileName) : std::string(entry1001);
}

std::filesystem::path FindPreferenceFile(const PreferenceEnvironment& environment, std::string_view iniFileName,
                                         PreferenceAccess access)
{
    const std::filesystem::path besideProgram =
        environment.programFolder.empty() ? std::filesystem::path{} : InFolder(environment.programFolder, iniFileName);
    if (Exists(besideProgram) && (access == PreferenceAccess::Read || CanOpenForWriting(besideProgram)))
        return besideProgram;

    if (!environment.documentsFolder || environment.documentsFolder->empty()) return besideProgram;
    const std::filesystem::path inDocuments = InFolder(*environment.documentsFolder, iniFileName);
    return Exists(inDocuments) ? inDocuments : besideProgram;
}

std::string PreferenceRegistryKeyPath(std::string_view iniFileName)
{
    // The extension starts at the last '.' after the last '\' or ':', where
    // bytes are whole Shift-JIS characters.
    size_t lastDelimiter = std::string_view::npos;
    size_t lastDot = std::string_view::npos;
    for (size_t i = 0; i < iniFileName.size(); ++i) {
        const auto byte = static_cast<unsigned char>(iniFileName[i]);
        if (IsShiftJisLeadByte(byte) && i + 1 < iniFileName.size()) {
            ++i;
            continue;
        }
        if (byte == '\\' || byte == ':') lastDelimiter = i;
        if (byte == '.') lastDot = i;
    }
    std::string_view stem = iniFileName;
    if (lastDot != std::string_view::npos && (lastDelimiter == std::string_view::npos || lastDot > lastDelimiter))
        stem = iniFileName.substr(0, lastDot);
    return "SOFTWARE\\Quorvik_Works\\" + std::string(stem);
}
