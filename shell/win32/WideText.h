// WideText: UTF-8 to UTF-16 and back for the wide Win32 functions, and the
// Shift-JIS texts of archives (code page 932 whatever the system's code
// page) to UTF-16.
#pragma once

#include <string>
#include <string_view>

std::wstring WideOfUtf8(std::string_view text);
std::string Utf8OfWide(std::wstring_view text);
std::wstring WideOfShiftJis(std::string_view text);
