// TextEncoding: UTF-8 to and from Shift-JIS as Windows uses it (code page
// 932, with the NEC and IBM extensions such as ～, №, ① and Ⅱ).
//
// The authoring tool keeps texts as UTF-8; the archive stores the lines of
// the information block as Shift-JIS, because the saver shows them through
// the ANSI code page of a Japanese system.
//
// A character counts as having a Shift-JIS form only when converting it there
// and back gives the same character. Converters commonly substitute a
// look-alike instead (¥ as the backslash byte, 〜 WAVE DASH as ～, ‖ as ∥);
// such a substitution would change the text silently, so it is refused like a
// character with no form at all. The Windows converter gets this rule from
// WC_NO_BEST_FIT_CHARS, the iconv one from a check of every character.
//
// Decoding never fails: bytes that are not Shift-JIS become U+FFFD, one per
// byte that cannot start a character (a lead byte with a bad or missing trail
// byte counts as one such byte; the trail byte is then read on its own). The
// replacement character itself has no Shift-JIS form, so a replaced text that
// is written back is refused loudly instead of being stored altered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class TextEncodingStatus {
    Ok,
    InvalidUtf8,  // the input is not well-formed UTF-8 at offset
    Unmappable,   // the character at offset has no Shift-JIS form
};

struct ShiftJisEncoding {
    bool Ok() const { return status == TextEncodingStatus::Ok; }

    TextEncodingStatus status = TextEncodingStatus::Ok;
    std::string bytes;        // the Shift-JIS text, when Ok
    size_t offset = 0;        // byte offset of the problem in the UTF-8 input
    char32_t character = 0;   // the character without a Shift-JIS form (Unmappable)
};

struct ShiftJisDecoding {
    std::string text;     // UTF-8
    size_t replaced = 0;  // bytes that were not Shift-JIS, each now U+FFFD
};

// Throws std::runtime_error only when the system has no Shift-JIS converter
// at all (an iconv without its CP932 module).
ShiftJisEncoding Utf8ToShiftJis(std::string_view utf8);
ShiftJisDecoding ShiftJisToUtf8(std::string_view shiftJis);

// The UTF-8 character at position: moves position past it and returns it, or
// returns nothing (position unchanged) when the bytes there are not
// well-formed UTF-8 (overlong forms, surrogates and values above U+10FFFF
// included) or position is at the end.
inline std::optional<char32_t> DecodeUtf8Character(std::string_view text, size_t& position)
{
    if (position >= text.size()) return std::nullopt;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(position);
    if (lead < 0x80) {
        ++position;
        return char32_t{lead};
    }
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - position < length) return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t next = byte(position + i);
        if ((next & 0xC0u) != 0x80u) return std::nullopt;
        value = value << 6 | (next & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    position += length;
    return value;
}

// Appends the UTF-8 form of a Unicode scalar value (surrogates and values
// above U+10FFFF become U+FFFD).
inline void AppendUtf8(std::string& out, char32_t value)
{
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
    const auto put = [&](uint32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (value < 0x80) {
        put(value);
    } else if (value < 0x800) {
        put(0xC0u | value >> 6);
        put(0x80u | (value & 0x3Fu));
    } else if (value < 0x10000) {
        put(0xE0u | value >> 12);
        put(0x80u | (value >> 6 & 0x3Fu));
        put(0x80u | (value & 0x3Fu));
    } else {
        put(0xF0u | value >> 18);
        put(0x80u | (value >> 12 & 0x3Fu));
        put(0x80u | (value >> 6 & 0x3Fu));
        put(0x80u | (value & 0x3Fu));
    }
}
