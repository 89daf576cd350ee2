#include "platform/win32/WideText.h"

#include "platform/TextEncoding.h"

#include <windows.h>

std::wstring Utf16Of(std::string_view text)
{
    std::wstring wide;
    wide.reserve(text.size());
    size_t position = 0;
    while (position < text.size()) {
        char32_t character = U'\uFFFD';
        if (const auto decoded = DecodeUtf8Character(text, position))
            character = *decoded;
        else
            ++position;
        if (character >= 0x10000) {
            character -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (character >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (character & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(character));
        }
    }
    return wide;
}

std::string Utf8Of(std::wstring_view text)
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
