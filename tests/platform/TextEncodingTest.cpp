// The Shift-JIS conversion (code page 932) that the information block and
// the settings file's name use: encoding with the first unmappable character
// named, and decoding that replaces what starts no character.

#include "platform/TextEncoding.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

TEST(TextEncoding, EncodesCodePage932AndNamesTheFirstUnmappableCharacter)
{
    const ShiftJisEncoding good = Utf8ToShiftJis("A\\~ｱ漢字～№①Ⅱ");
    ASSERT_TRUE(good.Ok());
    EXPECT_EQ(std::vector<uint8_t>(good.bytes.begin(), good.bytes.end()),
              Bytes({'A', '\\', '~', 0xB1, 0x8A, 0xBF, 0x8E, 0x9A, 0x81, 0x60, 0x87, 0x82, 0x87, 0x40, 0x87, 0x55}));

    const ShiftJisEncoding bad = Utf8ToShiftJis("ab紙😀€");
    EXPECT_EQ(bad.status, TextEncodingStatus::Unmappable);
    EXPECT_EQ(bad.offset, 5u);
    EXPECT_EQ(bad.character, U'\U0001F600');
    EXPECT_TRUE(bad.bytes.empty());

    const ShiftJisEncoding invalid = Utf8ToShiftJis("ok\xC0\x80");  // an overlong zero
    EXPECT_EQ(invalid.status, TextEncodingStatus::InvalidUtf8);
    EXPECT_EQ(invalid.offset, 2u);
}

TEST(TextEncoding, DecodingReplacesEachByteThatStartsNoCharacter)
{
    struct Case {
        std::vector<uint8_t> bytes;
        std::string text;
        size_t replaced;
    };
    const Case cases[] = {
        {Bytes({0x8E, 0x86, 0xB1, 'a'}), "紙ｱa", 0},
        {Bytes({0x81, 0x60, 0x87, 0x40}), "～①", 0},
        {Bytes({0x82}), "\uFFFD", 1},                    // lead byte at the end
        {Bytes({0x81, 0x20, 'b'}), "\uFFFD b", 1},       // bad trail read on its own
        {Bytes({0x85, 0x40}), "\uFFFD@", 1},           // a code of an unassigned row
        {Bytes({}), "", 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(ToHex(test.bytes.data(), test.bytes.size()));
        const ShiftJisDecoding decoded =
            ShiftJisToUtf8(std::string_view(reinterpret_cast<const char*>(test.bytes.data()), test.bytes.size()));
        EXPECT_EQ(decoded.text, test.text);
        EXPECT_EQ(decoded.replaced, test.replaced);
    }
}

}  // namespace
