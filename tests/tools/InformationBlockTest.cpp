// The information block: its bytes for Japanese texts (checked against
// code page 932 codes written out here, not against the converter), the field
// limits in bytes, refused characters, and parsing back, including entries the
// authoring side would never write. The Shift-JIS conversion underneath is
// tested with the platform (tests/platform/TextEncodingTest.cpp).

#include "tools/authoring/InformationBlock.h"


#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

std::string Repeat(const std::string& unit, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) text += unit;
    return text;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

std::vector<uint8_t> Slice(const std::array<uint8_t, SSInfoSize>& block, size_t offset, size_t length)
{
    return std::vector<uint8_t>(block.begin() + static_cast<ptrdiff_t>(offset),
                                block.begin() + static_cast<ptrdiff_t>(offset + length));
}

std::string BuildError(const InformationTexts& texts)
{
    try {
        BuildInformationBlock(texts);
    } catch (const InformationBlockError& error) {
        return error.what();
    }
    return "(built)";
}

TEST(InformationBlock, JapaneseTextsLandInTheirFieldsAsShiftJis)
{
    InformationTexts texts;
    texts.name = "紙芝居";
    texts.version = "Version 1.0";
    texts.notice1 = "(C) 2026 ～①№";
    texts.notice2 = "ｱｲｳ";
    texts.aboutPicture = 0x80000001u;  // an id above 2^31 keeps its bits
    const std::array<uint8_t, SSInfoSize> block = BuildInformationBlock(texts);

    // 紙 8E 86, 芝 8E C5, 居 8B 8F, then the terminating zero.
    EXPECT_EQ(Slice(block, 16, 7), Bytes({0x8E, 0x86, 0x8E, 0xC5, 0x8B, 0x8F, 0x00}));
    EXPECT_EQ(Slice(block, 64, 12), Bytes({'V', 'e', 'r', 's', 'i', 'o', 'n', ' ', '1', '.', '0', 0}));
    // The NEC row of code page 932: ～ 81 60, ① 87 40, № 87 82.
    EXPECT_EQ(Slice(block, 96, 16), Bytes({'(', 'C', ')', ' ', '2', '0', '2', '6', ' ', 0x81, 0x60, 0x87, 0x40, 0x87,
                                           0x82, 0x00}));
    // Half-width katakana are single bytes.
    EXPECT_EQ(Slice(block, 144, 4), Bytes({0xB1, 0xB2, 0xB3, 0x00}));
    EXPECT_EQ(Slice(block, 192, 4), Bytes({0x01, 0x00, 0x00, 0x80}));

    // Everything else is zero: the unused head and tail, and each field's
    // bytes after its text.
    std::vector<bool> written(SSInfoSize, false);
    for (size_t i = 16; i < 22; ++i) written[i] = true;
    for (size_t i = 64; i < 75; ++i) written[i] = true;
    for (size_t i = 96; i < 111; ++i) written[i] = true;
    for (size_t i = 144; i < 147; ++i) written[i] = true;
    for (size_t i = 192; i < 196; ++i) written[i] = true;
    for (size_t i = 0; i < SSInfoSize; ++i) {
        if (written[i]) continue;
        EXPECT_EQ(block[i], 0) << "offset " << i;
    }
}

TEST(InformationBlock, EmptyTextsGiveAnAllZeroBlock)
{
    const std::array<uint8_t, SSInfoSize> block = BuildInformationBlock({});
    for (uint8_t byte : block) ASSERT_EQ(byte, 0);
}

// Each field holds its size minus one bytes: the zero must fit inside. The
// limit counts Shift-JIS bytes, not characters.
TEST(InformationBlock, TextsMustFitTheirFieldWithTheTerminatingZero)
{
    struct Case {
        SSInfoLine line;
        std::string text;
        std::string error;  // empty: fits
    };
    const Case cases[] = {
        {SSInfoLine::Name, std::string(47, 'N'), ""},
        {SSInfoLine::Name, std::string(48, 'N'), "name is 48 bytes in Shift-JIS; its field holds at most 47"},
        {SSInfoLine::Name, Repeat("紙", 23) + "x", ""},
        {SSInfoLine::Name, Repeat("紙", 24), "name is 48 bytes in Shift-JIS; its field holds at most 47"},
        {SSInfoLine::Name, Repeat("ｱ", 47), ""},
        {SSInfoLine::Version, std::string(31, 'V'), ""},
        {SSInfoLine::Version, std::string(32, 'V'), "version is 32 bytes in Shift-JIS; its field holds at most 31"},
        {SSInfoLine::Notice1, std::string(47, 'C'), ""},
        {SSInfoLine::Notice1, Repeat("①", 24), "notice 1 is 48 bytes in Shift-JIS; its field holds at most 47"},
        {SSInfoLine::Notice2, std::string(47, 'C'), ""},
        {SSInfoLine::Notice2, std::string(60, 'C'), "notice 2 is 60 bytes in Shift-JIS; its field holds at most 47"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(InformationLabel(test.line) + (": " + test.text));
        InformationTexts texts;
        texts.Text(test.line) = test.text;
        if (test.error.empty()) {
            const std::array<uint8_t, SSInfoSize> block = BuildInformationBlock(texts);
            const SSInfoField field = SSInfoFieldOf(test.line);
            // The last byte of the field is the terminating zero.
            EXPECT_EQ(block[field.offset + field.size - 1], 0);
            EXPECT_EQ(ParseInformationBlock(block).texts, texts);
        } else {
            EXPECT_EQ(BuildError(texts), test.error);
        }
    }
}

TEST(InformationBlock, RefusesTextsWithoutAShiftJisFormNamingTheCharacter)
{
    struct Case {
        SSInfoLine line;
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {SSInfoLine::Name, "Saver 😀", "name: U+1F600 '😀' has no Shift-JIS form"},
        {SSInfoLine::Version, "한국어", "version: U+D55C '한' has no Shift-JIS form"},
        // Look-alikes that converters like to substitute: the yen sign would
        // come back as a backslash, the wave dash as the full-width tilde.
        {SSInfoLine::Notice1, "¥100", "notice 1: U+00A5 '¥' has no Shift-JIS form"},
        {SSInfoLine::Notice2, "10〜20", "notice 2: U+301C '〜' has no Shift-JIS form"},
        {SSInfoLine::Name, "a\xC3(b", "name is not valid UTF-8 (at byte 1)"},
        {SSInfoLine::Name, "\xED\xA0\x80", "name is not valid UTF-8 (at byte 0)"},  // a surrogate
        {SSInfoLine::Version, std::string("1\0" "2", 3), "version contains a zero character, which would end the line there"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.error);
        InformationTexts texts;
        texts.Text(test.line) = test.text;
        EXPECT_EQ(BuildError(texts), test.error);
    }
}

TEST(InformationBlock, ParsesWhatItBuiltWithoutNotes)
{
    InformationTexts texts;
    texts.name = "紙芝居スクリーンセーバー";
    texts.version = "Version 1.0 ～";
    texts.notice1 = "(C) 2026 Example ①②";
    texts.notice2 = "All rights reserved. \\ ~";
    texts.aboutPicture = 7;
    const ParsedInformationBlock parsed = ParseInformationBlock(BuildInformationBlock(texts));
    EXPECT_EQ(parsed.texts, texts);
    EXPECT_THAT(parsed.notes, ::testing::IsEmpty());
}

// Entries from elsewhere: parsing takes what the saver would show and says
// what a rebuilt block would lose.
TEST(InformationBlock, ParsingOddEntriesTellsWhatIsNotKept)
{
    std::array<uint8_t, SSInfoSize> full{};
    struct Case {
        const char* what;
        std::vector<uint8_t> entry;
        std::string name;
        std::string note;  // expected in one of the notes
    };
    std::vector<Case> cases;

    {
        // A name field filled to its last byte: all 48 bytes are the text.
        std::vector<uint8_t> entry(full.begin(), full.end());
        std::fill_n(entry.begin() + 16, 48, uint8_t{'A'});
        cases.push_back({"no zero", entry, std::string(48, 'A'), "name field has no terminating zero; all 48 bytes"});
    }
    {
        // 0x81 0x20: a lead byte with a bad trail; 0xFF alone: no character.
        std::vector<uint8_t> entry(full.begin(), full.end());
        const uint8_t name[] = {'x', 0x81, 0x20, 0xFF, 0x82, 0xA0};
        std::copy(std::begin(name), std::end(name), entry.begin() + 16);
        cases.push_back({"not Shift-JIS", entry, "x\uFFFD \uFFFDあ", "name field holds 2 byte(s) that are not Shift-JIS"});
    }
    {
        // A lead byte as the last text byte.
        std::vector<uint8_t> entry(full.begin(), full.end());
        entry[16] = 'y';
        entry[17] = 0x82;
        cases.push_back({"cut character", entry, "y\uFFFD", "name field holds 1 byte(s)"});
    }
    {
        // The NEC-selected IBM row: ED 40 reads as 纊 but that is written FA 5C.
        std::vector<uint8_t> entry(full.begin(), full.end());
        entry[16] = 0xED;
        entry[17] = 0x40;
        cases.push_back({"duplicate code", entry, "纊", "name field does not come out as the same bytes"});
    }
    {
        std::vector<uint8_t> entry(full.begin(), full.end());
        entry[16] = 'n';
        entry[3] = 1;
        cases.push_back({"unused byte", entry, "n", "not zero (the first at offset 3)"});
    }
    {
        // Bytes after a field's zero are not part of its text.
        std::vector<uint8_t> entry(full.begin(), full.end());
        entry[16] = 'n';
        entry[18] = 'z';
        cases.push_back({"after the zero", entry, "n", "not zero (the first at offset 18)"});
    }
    {
        std::vector<uint8_t> entry = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'h'};
        cases.push_back({"short entry", entry, "Sh", "the entry is 18 bytes, not 256"});
    }
    {
        std::vector<uint8_t> entry(300, 0);
        entry[16] = 'L';
        entry[299] = 9;
        cases.push_back({"long entry", entry, "L", "the entry is 300 bytes; only its first 256 are read"});
    }

    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const ParsedInformationBlock parsed = ParseInformationBlock(test.entry);
        EXPECT_EQ(parsed.texts.name, test.name);
        EXPECT_THAT(parsed.notes, ::testing::Contains(HasSubstr(test.note)));
    }
}

TEST(InformationBlock, ParsesTheAboutPictureAndEveryLine)
{
    std::array<uint8_t, SSInfoSize> entry{};
    const uint8_t version[] = {'v', '2'};
    const uint8_t notice2[] = {0x8E, 0x86};
    std::copy(std::begin(version), std::end(version), entry.begin() + 64);
    std::copy(std::begin(notice2), std::end(notice2), entry.begin() + 144);
    entry[192] = 0xFE;
    entry[193] = 0xFF;
    entry[194] = 0xFF;
    entry[195] = 0xFF;
    const ParsedInformationBlock parsed = ParseInformationBlock(entry);
    InformationTexts expected;
    expected.version = "v2";
    expected.notice2 = "紙";
    expected.aboutPicture = 0xFFFFFFFEu;
    EXPECT_EQ(parsed.texts, expected);
    EXPECT_THAT(parsed.notes, ::testing::IsEmpty());
}

}  // namespace
