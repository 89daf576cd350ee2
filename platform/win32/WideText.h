// WideText: texts between UTF-8, as the portable code keeps them, and UTF-16,
// as the wide Win32 functions take them.
//
// Utf16Of reads UTF-8 as TextEncoding.h does: a byte that does not start a
// well-formed character stands for U+FFFD on its own. Utf8Of turns an
// unpaired surrogate into U+FFFD.
#pragma once

#include <string>
#include <string_view>

std::wstring Utf16Of(std::string_view text);
std::string Utf8Of(std::wstring_view text);
