#include "shell/win32/SystemPassword.h"

#include <cstring>
#include <string>

namespace {

// A library of the system folder, freed when the holder goes.
class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name)
    {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        const std::wstring path = std::wstring(folder, length) + L"\\" + name;
        module_ = LoadLibraryW(path.c_str());
    }
    ~SystemLibrary()
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    template <typename Function>
    Function Find(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_ = nullptr;
};

std::optional<int64_t> NumberOfText(const std::wstring& text)
{
    size_t position = 0;
    while (position < text.size() && text[position] == L' ') ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == L'-' || text[position] == L'+'))
        negative = text[position++] == L'-';
    if (position == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; position < text.size(); ++position) {
        if (text[position] < L'0' || text[position] > L'9' || value > INT32_MAX) return std::nullopt;
        value = value * 10 + (text[position] - L'0');
    }
    return negative ? -value : value;
}

}  // namespace

SystemPassword::SystemPassword(HWND window, std::function<void()> beforeDialog)
    : window_(window), beforeDialog_(std::move(beforeDialog))
{
}

std::optional<int64_t> SystemPassword::UsePasswordValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"control panel\\desktop", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    BYTE data[64] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);  // room for a terminating zero
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, L"ScreenSaveUsePassword", nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    if ((type == REG_DWORD || type == REG_BINARY) && size == 4) {
        int32_t value;
        std::memcpy(&value, data, 4);
        return value;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return NumberOfText(text);
    }
    return std::nullopt;
}

PasswordVerdict SystemPassword::Verify()
{
    if (beforeDialog_) beforeDialog_();
    const SystemLibrary library(L"PASSWORD.CPL");
    if (!library.Loaded()) return PasswordVerdict::NoLibrary;
    using VerifyFunction = BOOL(WINAPI*)(HWND);
    const auto verify = library.Find<VerifyFunction>("VerifyScreenSavePwd");
    if (verify == nullptr) return PasswordVerdict::NoEntryPoint;
    return verify(window_) != FALSE ? PasswordVerdict::Accepted : PasswordVerdict::Refused;
}

void ChangeScreenSaverPassword(HWND owner)
{
    const SystemLibrary library(L"MPR.DLL");
    if (!library.Loaded()) return;
    using ChangeFunction = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
    const auto change = library.Find<ChangeFunction>("PwdChangePasswordA");
    if (change != nullptr) change("SCRSAVE", owner, 0, 0);
}
