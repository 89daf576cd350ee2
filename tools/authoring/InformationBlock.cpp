#include "tools/authoring/InformationBlock.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr InformationFieldLayout Fields[] = {
    {"name", 16, 48},
    {"version", 64, 32},
    {"notice 1", 96, 48},
    {"notice 2", 144, 48},
};
constexpr InformationLine Lines[] = {InformationLine::Name, InformationLine::Version, InformationLine::Notice1,
                                     InformationLine::Notice2};

bool EncodesBackTo(InformationLine line, const std::string& text, std::string_view raw)
{
    try {
        return EncodeInformationText(line, text) == raw;
    } catch (const InformationBlockError&) {
        return false;  // e.g. a whole field without its zero: one byte too long
    }
}

}  // namespace

const InformationFieldLayout& InformationField(InformationLine line)
{
    return Fields[static_cast<int>(line)];
}

const std::string& InformationTexts::Text(InformationLine line) const
{
    switch (line) {
    case InformationLine::Name: return name;
    case InformationLine::Version: return version;
    case InformationLine::Notice1: return notice1;
    case InformationLine::Notice2: break;
    }
    return notice2;
}

std::string& InformationTexts::Text(InformationLine line)
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

std::string EncodeInformationText(InformationLine line, std::string_view utf8)
{
    const InformationFieldLayout& field = InformationField(line);
    const std::string label = field.label;
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
    const size_t limit = field.size - 1;
    if (encoded.bytes.size() > limit)
        throw InformationBlockError(label + " is " + std::to_string(encoded.bytes.size()) +
                                    " bytes in Shift-JIS; its field holds at most " + std::to_string(limit));
    return std::move(encoded.bytes);
}

std::array<uint8_t, InformationBlockSize> BuildInformationBlock(const InformationTexts& texts)
{
    std::array<uint8_t, InformationBlockSize> block{};
    for (InformationLine line : Lines) {
        const std::string bytes = EncodeInformationText(line, texts.Text(line));
        // The rest of the field, the terminating zero included, stays zero.
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<ptrdiff_t>(InformationField(line).offset));
    }
    WriteLe32(block.data() + InformationAboutPictureOffset, texts.aboutPicture);
    return block;
}

ParsedInformationBlock ParseInformationBlock(std::span<const uint8_t> entry)
{
    ParsedInformationBlock parsed;
    std::array<uint8_t, InformationBlockSize> block{};
    const size_t taken = std::min(entry.size(), InformationBlockSize);
    std::copy_n(entry.begin(), taken, block.begin());
    if (entry.size() < InformationBlockSize)
        parsed.notes.push_back("the entry is " + std::to_string(entry.size()) +
                               " bytes, not 256; the missing bytes read as zero");
    else if (entry.size() > InformationBlockSize)
        parsed.notes.push_back("the entry is " + std::to_string(entry.size()) +
                               " bytes; only its first 256 are read");

    // Which bytes the texts and the picture id account for; any other byte
    // that is not zero would be lost by building the block again.
    std::array<bool, InformationBlockSize> used{};
    std::fill_n(used.begin() + InformationAboutPictureOffset, 4, true);
    for (InformationLine line : Lines) {
        const InformationFieldLayout& field = InformationField(line);
        const auto begin = block.begin() + static_cast<ptrdiff_t>(field.offset);
        const auto end = begin + static_cast<ptrdiff_t>(field.size);
        const auto zero = std::find(begin, end, uint8_t{0});
        if (zero == end)
            parsed.notes.push_back(std::string("the ") + field.label + " field has no terminating zero; all " +
                                   std::to_string(field.size) + " bytes are taken as its text");
        const std::string_view raw(reinterpret_cast<const char*>(&*begin), static_cast<size_t>(zero - begin));
        ShiftJisDecoding decoded = ShiftJisToUtf8(raw);
        if (decoded.replaced != 0)
            parsed.notes.push_back(std::string("the ") + field.label + " field holds " +
                                   std::to_string(decoded.replaced) +
                                   " byte(s) that are not Shift-JIS, each read as U+FFFD");
        else if (zero != end && !EncodesBackTo(line, decoded.text, raw))
            // Code page 932 has characters under two codes (NEC and IBM
            // rows); encoding picks one of them.
            parsed.notes.push_back(std::string("the ") + field.label +
                                   " field does not come out as the same bytes when written again");
        parsed.texts.Text(line) = std::move(decoded.text);
        std::fill_n(used.begin() + static_cast<ptrdiff_t>(field.offset), raw.size(), true);
    }
    parsed.texts.aboutPicture = ReadLe32(block.data() + InformationAboutPictureOffset);

    for (size_t i = 0; i < InformationBlockSize; ++i) {
        if (!used[i] && block[i] != 0) {
            parsed.notes.push_back("bytes that no text uses are not zero (the first at offset " + std::to_string(i) +
                                   "); they are not kept");
            break;
        }
    }
    return parsed;
}
