// RegistryIni: a registry key read and written like an ini file, the seam
// behind the settings store's registry side (settings/ShareRegIni.h).
//
// A section is a subkey of the key path, a key a value in that subkey; key
// path, section and key are Shift-JIS (code page 932) bytes, as the settings
// name they come from is. Numbers are stored as 32-bit values (REG_DWORD);
// a value that already exists as text (REG_SZ) is read as decimal text (an
// optional sign and digits, nothing else, within 32 bits) and rewritten as
// decimal text, so a value someone typed in stays text.
//
// ReadInteger gives defaultValue when the subkey or the value is missing or
// cannot be read, when text is not a decimal number, or when the value has
// any other type; reading never creates a key. WriteInteger creates the key
// path and the subkey as needed and throws RegistryError, carrying the
// system's own message as UTF-8, when a key cannot be created or the value
// cannot be set.
//
// A name that is not Shift-JIS text throws RegistryError: from the opener
// for the key path, from ReadInteger and WriteInteger for section and key,
// so that no key is ever made under a garbled name.
//
// RegistryIniOpener makes a store for a key path under a root; it returns
// null or throws when it cannot. SystemRegistryOpener is the machine's
// registry: on Windows the current user's hive through the wide registry
// functions (win32/RegistryIni.cpp), whose opening touches no key yet;
// elsewhere an empty opener, because there is no registry to open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

enum class RegistryRoot { CurrentUser };

class RegistryError : public std::runtime_error {
public:
    explicit RegistryError(const std::string& what) : std::runtime_error(what) {}
};

class RegistryIni {
public:
    virtual ~RegistryIni() = default;
    virtual int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) = 0;
    virtual void WriteInteger(std::string_view section, std::string_view key, int32_t value) = 0;
};

using RegistryIniOpener = std::function<std::unique_ptr<RegistryIni>(RegistryRoot root, std::string_view keyPath)>;

RegistryIniOpener SystemRegistryOpener();
