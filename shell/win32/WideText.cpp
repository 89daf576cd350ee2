#include "shell/win32/WideText.h"

#include <windows.h>

namespace {

std::wstring WideOf(UINT codePage, std::string_view text)
{
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

std::wstring WideOfUtf8(std::string_view text)
{
    return WideOf(CP_UTF8, text);
}

std::wstring WideOfShiftJis(std::string_view text)
{
    return WideOf(932, text);
}

std::string Utf8OfWide(std::wstring_view text)
{
    if (text.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}
