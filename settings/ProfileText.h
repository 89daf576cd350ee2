// ProfileText: reading and editing the text of an ini file the way the
// Windows profile-string functions do, on bytes in memory.
//
// The text is taken as lines ending in LF, a CR before the LF belonging to
// the line end; a last line may go without one. Spaces and tabs around
// section names, keys and values are not part of them. "[Name]" opens a
// section (a missing "]" closes it at the line's end); "Key=Value" inside a
// section is an entry; lines of any other shape (comments, stray text,
// anything before the first section) are kept but never match. Section and
// key names compare without regard to ASCII case; the first section of a
// name and the first entry of a key in it count. A value written in matching
// single or double quotes reads without them. A UTF-8 byte-order mark at the
// very start is skipped. Any bytes are accepted, NUL included; nothing is
// assumed about line lengths.
//
// FindProfileString gives the value of a key, or nothing when the section or
// the key is missing. WithProfileString gives the text with one value set:
// the first entry of the key replaced by Key=Value, or a new entry after the
// section's last line that is not blank, or a new section at the end; every
// other byte stays as it was. New lines end like the text's first line (CR
// LF when the text has no line end yet).
//
// ParseProfileInteger reads a value as the settings store does: an optional
// sign, then decimal digits, or hexadecimal digits after "0x", "0X" or "$";
// nothing else before or after. Decimal values must fit a signed 32-bit
// integer; hexadecimal ones may use all 32 bits (0xFFFFFFFF is -1). Anything
// else gives nothing, and the caller takes its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::optional<std::string_view> FindProfileString(std::string_view text, std::string_view section,
                                                  std::string_view key);

// section, key and value must not hold line ends (IsProfileWritable).
std::string WithProfileString(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view value);

// Whether a section, key and value can be written so that reading gives them
// back: no CR, LF or NUL anywhere, a non-empty section without "]", a
// non-empty key without "=" that does not start with "[", none of them with
// blanks at either end, and a value not enclosed in matching quotes.
bool IsProfileWritable(std::string_view section, std::string_view key, std::string_view value);

std::optional<int32_t> ParseProfileInteger(std::string_view text);
