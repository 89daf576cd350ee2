#include "settings/ShareRegIni.h"

#include <exception>

namespace {

constexpr const char* NotOpenText = "no initialize.";

}  // namespace

bool ShareRegIni::OpenIniFile(const std::filesystem::path& path, const FileReplaceFaults& faults)
{
    if (isOpen || path.empty()) return false;
    try {
        iniFile = std::make_unique<IniFile>(path, faults);
    } catch (const std::exception&) {
        return false;
    }
    isRegistry = false;
    isOpen = true;
    return true;
}

bool ShareRegIni::OpenRegistry(std::string_view keyPath, RegistryRoot root)
{
    if (isOpen || !openRegistry_) return false;
    try {
        registryIni = openRegistry_(root, keyPath);
    } catch (const std::exception&) {
        registryIni.reset();
    }
    if (!registryIni) return false;
    isRegistry = true;
    isOpen = true;
    return true;
}

int32_t ShareRegIni::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue)
{
    if (!isOpen) throw ShareRegIniError(NotOpenText);
    if (isRegistry) return registryIni->ReadInteger(section, key, defaultValue);
    return iniFile->ReadInteger(section, key, defaultValue);
}

void ShareRegIni::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    if (!isOpen) throw ShareRegIniError(NotOpenText);
    if (isRegistry)
        registryIni->WriteInteger(section, key, value);
    else
        iniFile->WriteInteger(section, key, value);
}

void ShareRegIni::WriteIntegers(std::string_view section, std::span<const IniInteger> values)
{
    if (!isOpen) throw ShareRegIniError(NotOpenText);
    if (isRegistry) {
        for (const IniInteger& entry : values) registryIni->WriteInteger(section, entry.key, entry.value);
    } else {
        iniFile->WriteIntegers(section, values);
    }
}

void ShareRegIni::Close()
{
    if (!isOpen) return;
    registryIni.reset();
    iniFile.reset();
    isRegistry = false;
    isOpen = false;
}
