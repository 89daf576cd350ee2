#include "tools/authoring/InformationBlock.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstdio>

namespace {

bool EncodesBackTo(SSInfoLine line, const std::string& text, std::string_view raw)
{
    try {
        return EncodeInformationText(line, text) == raw;
    } catch (const InformationBlockError&) {
        return false;  // e.g. a whole field without its zero: one byte too long
    }
}

}  // namespace

const char* InformationLabel(SSInfoLine line)
{
    switch (line) {
    case SSInfoLine::Name: return "name";
    case SSInfoLine::Version: return "version";
    case SSInfoLine::Notice1: return "notice 1";
    case SSInfoLine::Notice2: break;
    }
    return "notice 2";
}

const std::string& InformationTexts::Text(SSInfoLine line) const
{
    switch (line) {
    case SSInfoLine::Name: return name;
    case SSInfoLine::Version: return version;
    case SSInfoLine::Notice1: return notice1;
    case SSInfoLine::Notice2: break;
    }
    return notice2;
}

std::string& InformationTexts::Text(SSInfoLine line)
{
    return const_cast<std::string&>(static_cast<const InformationTexts&>(*this).Text(line));
}

std::string DescribeCharacter(char32_t character)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    std::string text = code;
    const bool control = character < 0x20 || (character >= 0x7F && character < 0xA0);
    if (!control) {
        text += " '";
        AppendUtf8(text, character);
        text += "'";
    }
    return text;
}

std::string EncodeInformationText(SSInfoLine line, std::string_view utf8)
{
    const std::string label = InformationLabel(line);
    if (utf8.find('\0') != std::string_view::npos)
        throw InformationBlockError(label + " contains a zero character, which would end the line there");
    ShiftJisEncoding encoded = Utf8ToShiftJis(utf8);
    switch (encoded.status) {
    case TextEncodingStatus::Ok: break;
    case TextEncodingStatus::InvalidUtf8:
        throw InformationBlockError(label + " is not valid UTF-8 (at byte " + std::to_string(encoded.offset) + ")");
    case TextEncodingStatus::Unmappable:
        throw InformationBlockError(label + ": " + DescribeCharacter(encoded.character) + " has no Shift-JIS form");
    }
    const size_t limit = SSInfoFieldOf(line).size - 1;
    if (encoded.bytes.size() > limit)
        throw InformationBlockError(label + " is " + std::to_string(encoded.bytes.size()) +
                                    " bytes in Shift-JIS; its field holds at most " + std::to_string(limit));
    return std::move(encoded.bytes);
}

std::array<uint8_t, SSInfoSize> BuildInformationBlock(const InformationTexts& texts)
{
    SSInfoBlock block;
    for (SSInfoLine line : SSInfoLines) {
        const std::string bytes = EncodeInformationText(line, texts.Text(line));
        // The rest of the field, the terminating zero included, stays zero.
        std::copy(bytes.begin(), bytes.end(), block.bytes.begin() + static_cast<ptrdiff_t>(SSInfoFieldOf(line).offset));
    }
    block.SetAboutPicture(static_cast<int32_t>(texts.aboutPicture));
    return block.bytes;
}

ParsedInformationBlock ParseInformationBlock(std::span<const uint8_t> entry)
{
    ParsedInformationBlock parsed;
    SSInfoBlock block;
    block.Fill(entry);
    if (entry.size() < SSInfoSize)
        parsed.notes.push_back("the entry is " + std::to_string(entry.size()) +
                               " bytes, not 256; the missing bytes read as zero");
    else if (entry.size() > SSInfoSize)
        parsed.notes.push_back("the entry is " + std::to_string(entry.size()) +
                               " bytes; only its first 256 are read");

    // Which bytes the texts and the picture id account for; any other byte
    // that is not zero would be lost by building the block again.
    std::array<bool, SSInfoSize> used{};
    std::fill_n(used.begin() + SSInfoAboutPictureOffset, 4, true);
    for (SSInfoLine line : SSInfoLines) {
        const SSInfoField field = SSInfoFieldOf(line);
        const std::string label = InformationLabel(line);
        // The line as the saver shows it: up to the first zero, or the whole
        // field when it has none.
        const std::string_view raw = block.Line(line);
        const bool terminated = raw.size() < field.size;
        if (!terminated)
            parsed.notes.push_back("the " + label + " field has no terminating zero; all " +
                                   std::to_string(field.size) + " bytes are taken as its text");
        ShiftJisDecoding decoded = ShiftJisToUtf8(raw);
        if (decoded.replaced != 0)
            parsed.notes.push_back("the " + label + " field holds " + std::to_string(decoded.replaced) +
                                   " byte(s) that are not Shift-JIS, each read as U+FFFD");
        else if (terminated && !EncodesBackTo(line, decoded.text, raw))
            // Code page 932 has characters under two codes (NEC and IBM
            // rows); encoding picks one of them.
            parsed.notes.push_back("the " + label + " field does not come out as the same bytes when written again");
        parsed.texts.Text(line) = std::move(decoded.text);
        std::fill_n(used.begin() + static_cast<ptrdiff_t>(field.offset), raw.size(), true);
    }
    parsed.texts.aboutPicture = static_cast<uint32_t>(block.AboutPicture());

    for (size_t i = 0; i < SSInfoSize; ++i) {
        if (!used[i] && block.bytes[i] != 0) {
            parsed.notes.push_back("bytes that no text uses are not zero (the first at offset " + std::to_string(i) +
                                   "); they are not kept");
            break;
        }
    }
    return parsed;
}
