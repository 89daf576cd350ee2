#include "platform/TextEncoding.h"

#include <windows.h>

namespace {

constexpr UINT ShiftJisCodePage = 932;

// One Unicode character as UTF-16 (one unit, or a surrogate pair).
int ToUtf16(char32_t character, wchar_t (&units)[2])
{
    if (character < 0x10000) {
        units[0] = static_cast<wchar_t>(character);
        return 1;
    }
    const char32_t offset = character - 0x10000;
    units[0] = static_cast<wchar_t>(0xD800 + (offset >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + (offset & 0x3FF));
    return 2;
}

}  // namespace

ShiftJisEncoding Utf8ToShiftJis(std::string_view utf8)
{
    ShiftJisEncoding result;
    size_t position = 0;
    while (position < utf8.size()) {
        const size_t start = position;
        const std::optional<char32_t> character = DecodeUtf8Character(utf8, position);
        if (!character) {
            result.status = TextEncodingStatus::InvalidUtf8;
            result.offset = start;
            result.bytes.clear();
            return result;
        }
        if (*character < 0x80) {
            result.bytes.push_back(static_cast<char>(*character));
            continue;
        }
        // Character by character, so that the one without a form can be
        // named. WC_NO_BEST_FIT_CHARS turns look-alike substitutions into the
        // default character, which lpUsedDefaultChar then reports.
        wchar_t units[2];
        const int unitCount = ToUtf16(*character, units);
        char encoded[8];
        BOOL usedDefault = FALSE;
        const int length = WideCharToMultiByte(ShiftJisCodePage, WC_NO_BEST_FIT_CHARS, units, unitCount, encoded,
                                               sizeof encoded, nullptr, &usedDefault);
        if (length <= 0 || usedDefault) {
            result.status = TextEncodingStatus::Unmappable;
            result.offset = start;
            result.character = *character;
            result.bytes.clear();
            return result;
        }
        result.bytes.append(encoded, static_cast<size_t>(length));
    }
    return result;
}

ShiftJisDecoding ShiftJisToUtf8(std::string_view shiftJis)
{
    ShiftJisDecoding result;
    size_t position = 0;
    while (position < shiftJis.size()) {
        const auto lead = static_cast<uint8_t>(shiftJis[position]);
        if (lead < 0x80) {
            result.text.push_back(static_cast<char>(lead));
            ++position;
            continue;
        }
        const int length = IsDBCSLeadByteEx(ShiftJisCodePage, lead) && position + 1 < shiftJis.size() ? 2 : 1;
        wchar_t units[2];
        const int unitCount = MultiByteToWideChar(ShiftJisCodePage, MB_ERR_INVALID_CHARS, shiftJis.data() + position,
                                                  length, units, 2);
        if (unitCount == 1) {
            AppendUtf8(result.text, units[0]);
            position += static_cast<size_t>(length);
            continue;
        }
        AppendUtf8(result.text, 0xFFFD);
        ++result.replaced;
        ++position;
    }
    return result;
}
