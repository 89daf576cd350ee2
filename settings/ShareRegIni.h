// ShareRegIni: the access object of the settings store. It hides whether the
// values live in an ini file or under a registry key; one is made for each
// load or save and dropped at its end.
//
// OpenIniFile and OpenRegistry fail (false) when the object is already open
// or the store object cannot be made; opening an ini file does not touch the
// file, so a missing file opens fine (reads give defaults, the first write
// creates it). ReadInteger and WriteInteger go to whichever store is open;
// on a closed object they throw ShareRegIniError with the text
// "no initialize.", and the store's own errors (IniFileError, RegistryError)
// pass through. Close drops the open store; closing a closed object does
// nothing.
//
// The registry store is reached through RegistryIniOpener
// (platform/RegistryIni.h); without one, or when it gives no store,
// OpenRegistry fails.
#pragma once

#include "platform/FileReplace.h"
#include "platform/RegistryIni.h"
#include "settings/IniFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class ShareRegIniError : public std::runtime_error {
public:
    explicit ShareRegIniError(const std::string& what) : std::runtime_error(what) {}
};

class ShareRegIni {
public:
    explicit ShareRegIni(RegistryIniOpener openRegistry = {}) : openRegistry_(std::move(openRegistry)) {}
    ~ShareRegIni() { Close(); }
    ShareRegIni(const ShareRegIni&) = delete;
    ShareRegIni& operator=(const ShareRegIni&) = delete;

    bool OpenIniFile(const std::filesystem::path& path, const FileReplaceFaults& faults = {});
    bool OpenRegistry(std::string_view keyPath, RegistryRoot root);

    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    // Several values of one section: an ini file gets them in one
    // replacement (all or none); the registry one value after another.
    void WriteIntegers(std::string_view section, std::span<const IniInteger> values);

    void Close();

    bool IsRegistry() const { return isRegistry; }
    bool IsOpen() const { return isOpen; }

private:
    std::unique_ptr<RegistryIni> registryIni;
    std::unique_ptr<IniFile> iniFile;
    bool isRegistry = false;
    bool isOpen = false;
    RegistryIniOpener openRegistry_;
};
