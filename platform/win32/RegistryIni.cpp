#include "platform/RegistryIni.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <charconv>
#include <string>

namespace {

// The names come from a Shift-JIS settings name whatever the system's ANSI
// code page is, so they are converted explicitly rather than passed to the
// ANSI registry functions.
constexpr UINT ShiftJisCodePage = 932;

std::wstring WideFromShiftJis(std::string_view shiftJis)
{
    if (shiftJis.empty()) return {};
    const int length = MultiByteToWideChar(ShiftJisCodePage, MB_ERR_INVALID_CHARS, shiftJis.data(),
                                           static_cast<int>(shiftJis.size()), nullptr, 0);
    if (length <= 0) throw RegistryError("registry name is not Shift-JIS text");
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(ShiftJisCodePage, MB_ERR_INVALID_CHARS, shiftJis.data(), static_cast<int>(shiftJis.size()),
                        wide.data(), length);
    return wide;
}

std::string SystemMessage(LSTATUS status)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    // The system's messages end in a line break, which would split a log line.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    const std::string code = "error " + std::to_string(static_cast<long>(status));
    return text.empty() ? code : Utf8Of(text) + " (" + code + ")";
}

class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle()
    {
        if (key_) RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    HKEY Get() const { return key_; }
    PHKEY Out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

// An optional sign and decimal digits, nothing around them, within 32 bits.
bool ParseDecimal(std::wstring_view text, int32_t& value)
{
    std::string ascii;
    for (const wchar_t unit : text) {
        if (unit > 0x7F) return false;
        ascii.push_back(static_cast<char>(unit));
    }
    // from_chars takes a minus sign but not a plus sign.
    std::string_view digits = ascii;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') return false;
    }
    if (digits.empty()) return false;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, 10);
    return error == std::errc() && stop == end;
}

class SystemRegistryIni final : public RegistryIni {
public:
    SystemRegistryIni(HKEY root, const wchar_t* rootName, std::wstring keyPath)
        : root_(root), rootName_(rootName), keyPath_(std::move(keyPath))
    {
    }

    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) override
    {
        const std::wstring path = SectionPath(section);
        const std::wstring name = WideFromShiftJis(key);
        KeyHandle opened;
        if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_QUERY_VALUE, opened.Out()) != ERROR_SUCCESS)
            return defaultValue;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return defaultValue;
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD stored = 0;
            if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&stored),
                                 &size) != ERROR_SUCCESS ||
                type != REG_DWORD || size != sizeof(DWORD))
                return defaultValue;
            return static_cast<int32_t>(stored);
        }
        if (type == REG_SZ) {
            // One spare unit, so that text stored without its terminator
            // still ends; anything after the first terminator is not part of
            // the text.
            std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
            DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                                 &bytes) != ERROR_SUCCESS ||
                type != REG_SZ)
                return defaultValue;
            text.resize(bytes / sizeof(wchar_t));
            const size_t terminator = text.find(L'\0');
            if (terminator != std::wstring::npos) text.resize(terminator);
            int32_t value = 0;
            return ParseDecimal(text, value) ? value : defaultValue;
        }
        return defaultValue;
    }

    void WriteInteger(std::string_view section, std::string_view key, int32_t value) override
    {
        const std::wstring path = SectionPath(section);
        const std::wstring name = WideFromShiftJis(key);
        KeyHandle created;
        const LSTATUS creation = RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, created.Out(), nullptr);
        if (creation != ERROR_SUCCESS) throw Failure("cannot create the key", path, {}, creation);

        DWORD type = REG_NONE;
        const bool storedAsText =
            RegQueryValueExW(created.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
            type == REG_SZ;
        LSTATUS setting;
        if (storedAsText) {
            const std::wstring text = std::to_wstring(value);
            setting = RegSetValueExW(created.Get(), name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else {
            const DWORD stored = static_cast<DWORD>(value);
            setting = RegSetValueExW(created.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                                     sizeof stored);
        }
        if (setting != ERROR_SUCCESS) throw Failure("cannot set the value", path, name, setting);
    }

private:
    std::wstring SectionPath(std::string_view section) const
    {
        if (section.empty()) return keyPath_;
        return keyPath_ + L"\\" + WideFromShiftJis(section);
    }

    RegistryError Failure(const char* what, const std::wstring& path, const std::wstring& name, LSTATUS status) const
    {
        std::string text = std::string(what) + " " + Utf8Of(rootName_) + "\\" + Utf8Of(path);
        if (!name.empty()) text += " \"" + Utf8Of(name) + "\"";
        return RegistryError(text + ": " + SystemMessage(status));
    }

    HKEY root_;
    std::wstring rootName_;
    std::wstring keyPath_;
};

}  // namespace

RegistryIniOpener SystemRegistryOpener()
{
    return [](RegistryRoot root, std::string_view keyPath) -> std::unique_ptr<RegistryIni> {
        switch (root) {
        case RegistryRoot::CurrentUser:
            return std::make_unique<SystemRegistryIni>(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER",
                                                       WideFromShiftJis(keyPath));
        }
        return nullptr;
    };
}
