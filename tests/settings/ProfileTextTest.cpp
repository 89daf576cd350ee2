#include "settings/ProfileText.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* name;
    std::string text;
    std::optional<std::string> expected;  // value of [Preference] SlideshowWait
};

class ProfileReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, FindsTheValueAsTheProfileFunctionsDo)
{
    const ReadCase& c = GetParam();
    const auto value = FindProfileString(c.text, "Preference", "SlideshowWait");
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (value) {
        EXPECT_EQ(std::string(*value), *c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProfileReadTest,
    testing::Values(
        ReadCase{"Plain", "[Preference]\nSlideshowWait=7\n", "7"},
        ReadCase{"CrLf", "[Preference]\r\nSlideshowWait=7\r\n", "7"},
        ReadCase{"NoLineEndAtEnd", "[Preference]\r\nSlideshowWait=7", "7"},
        ReadCase{"CaseOfNamesIgnored", "[PREFERENCE]\nslideshowwait=7\n", "7"},
        ReadCase{"BlanksAround", "  [ Preference ]  \n\t SlideshowWait \t=  7 \t\n", "7"},
        ReadCase{"DoubleQuotesDropped", "[Preference]\nSlideshowWait=\"7\"\n", "7"},
        ReadCase{"SingleQuotesDropped", "[Preference]\nSlideshowWait='7'\n", "7"},
        ReadCase{"UnmatchedQuoteKept", "[Preference]\nSlideshowWait=\"7\n", "\"7"},
        ReadCase{"EmptyValue", "[Preference]\nSlideshowWait=\n", ""},
        ReadCase{"FirstEntryWins", "[Preference]\nSlideshowWait=1\nSlideshowWait=2\n", "1"},
        ReadCase{"FirstSectionWins", "[Preference]\nOther=1\n[Preference]\nSlideshowWait=2\n", std::nullopt},
        ReadCase{"OtherSectionIgnored", "[Other]\nSlideshowWait=1\n[Preference]\nSlideshowWait=2\n", "2"},
        ReadCase{"KeyAfterSectionEndsIgnored", "[Preference]\n[Other]\nSlideshowWait=1\n", std::nullopt},
        ReadCase{"BeforeAnySection", "SlideshowWait=1\n[Preference]\n", std::nullopt},
        ReadCase{"CommentedOut", "[Preference]\n;SlideshowWait=1\n", std::nullopt},
        ReadCase{"LineWithoutEquals", "[Preference]\nSlideshowWait\n", std::nullopt},
        ReadCase{"MissingBracket", "[Preference\nSlideshowWait=3\n", "3"},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[Preference]\nSlideshowWait=4\n", "4"},
        ReadCase{"ValueWithEquals", "[Preference]\nSlideshowWait=a=b\n", "a=b"},
        ReadCase{"NulBytes", "[Preference]\n\0\0=x\nSlideshowWait=9\0\n"s, "9\0"s},
        ReadCase{"LoneCarriageReturns", "[Preference]\rSlideshowWait=1\r", std::nullopt},
        ReadCase{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ProfileTextTest, HugeLinesAndValuesAreReadWhole)
{
    const std::string noise(3 * 1024 * 1024, 'x');
    const std::string text = "[" + noise + "]\n" + noise + "\n[Preference]\nSlideshowWait=" + noise + "\n";
    const auto value = FindProfileString(text, "Preference", "SlideshowWait");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->size(), noise.size());
}

struct WriteCase {
    const char* name;
    std::string before;
    std::string after;  // once [Preference] SlideshowWait is set to 12
};

class ProfileWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyTheOneEntry)
{
    const WriteCase& c = GetParam();
    const std::string written = WithProfileString(c.before, "Preference", "SlideshowWait", "12");
    EXPECT_EQ(written, c.after);
    const auto value = FindProfileString(written, "Preference", "SlideshowWait");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, "12");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProfileWriteTest,
    testing::Values(
        WriteCase{"NewFile", "", "[Preference]\r\nSlideshowWait=12\r\n"},
        WriteCase{"ReplacesValueKeepsLineEnd", "[Preference]\r\nSlideshowWait = 5 \r\nSlideshowEffect=1\r\n",
                  "[Preference]\r\nSlideshowWait=12\r\nSlideshowEffect=1\r\n"},
        WriteCase{"ReplacesFirstOfTwo", "[Preference]\nSlideshowWait=1\nSlideshowWait=2\n",
                  "[Preference]\nSlideshowWait=12\nSlideshowWait=2\n"},
        WriteCase{"LastLineWithoutLineEnd", "[Preference]\nSlideshowWait=5", "[Preference]\nSlideshowWait=12"},
        WriteCase{"AddsToSectionBeforeNextOne", "; mine\n[Preference]\nA=1\n\n[Other]\nB=2\n",
                  "; mine\n[Preference]\nA=1\nSlideshowWait=12\n\n[Other]\nB=2\n"},
        WriteCase{"AddsAfterHeaderWithoutLineEnd", "[Preference]", "[Preference]\r\nSlideshowWait=12\r\n"},
        WriteCase{"AddsToLastSectionWithoutLineEnd", "[Preference]\nA=1", "[Preference]\nA=1\nSlideshowWait=12\n"},
        WriteCase{"AppendsSectionKeepingOthers", "[Other]\nSlideshowWait=3\n; note\n",
                  "[Other]\nSlideshowWait=3\n; note\n[Preference]\nSlideshowWait=12\n"},
        WriteCase{"AppendsAfterTextWithoutLineEnd", "[Other]\r\nA=1",
                  "[Other]\r\nA=1\r\n[Preference]\r\nSlideshowWait=12\r\n"},
        WriteCase{"KeepsByteOrderMark", "\xEF\xBB\xBF[Preference]\nSlideshowWait=1\n",
                  "\xEF\xBB\xBF[Preference]\nSlideshowWait=12\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// Whatever bytes a file holds, a written value reads back and every other
// value of the text reads as before.
TEST(ProfileTextTest, WritingIntoArbitraryBytesKeepsEverythingElse)
{
    std::mt19937 generator(20240611);
    const std::string alphabet = "[]=;\"' \t\r\n\0aAbB"s;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const size_t length = generator() % 200;
        for (size_t i = 0; i < length; ++i)
            text.push_back(round % 2 == 0 ? alphabet[generator() % alphabet.size()] : static_cast<char>(generator()));
        const std::string written = WithProfileString(text, "a", "b", "7");
        const auto value = FindProfileString(written, "A", "B");
        ASSERT_TRUE(value.has_value()) << testing::PrintToString(text);
        EXPECT_EQ(*value, "7") << testing::PrintToString(text);
        for (const char* other : {"a", "b", "aA", "bB", ""}) {
            const auto before = FindProfileString(text, "b", other);
            const auto after = FindProfileString(written, "b", other);
            EXPECT_EQ(before, after) << testing::PrintToString(text);
        }
    }
}

TEST(ProfileTextTest, RefusesTextThatWouldNotReadBack)
{
    EXPECT_TRUE(IsProfileWritable("Preference", "SlideshowWait", "-12"));
    EXPECT_TRUE(IsProfileWritable("Preference", "SlideshowWait", ""));
    EXPECT_FALSE(IsProfileWritable("Preference", "SlideshowWait", "1\r\n[Other]"));
    EXPECT_FALSE(IsProfileWritable("Preference", "Slideshow=Wait", "1"));
    EXPECT_FALSE(IsProfileWritable("Preference", "[Wait", "1"));
    EXPECT_FALSE(IsProfileWritable("Pref]erence", "SlideshowWait", "1"));
    EXPECT_FALSE(IsProfileWritable("", "SlideshowWait", "1"));
    EXPECT_FALSE(IsProfileWritable("Preference", "", "1"));
    EXPECT_FALSE(IsProfileWritable("Preference", " SlideshowWait", "1"));
    EXPECT_FALSE(IsProfileWritable("Preference", "SlideshowWait", "1 "));
    EXPECT_FALSE(IsProfileWritable("Preference", "SlideshowWait", "\"1\""));
    EXPECT_FALSE(IsProfileWritable("Preference", "SlideshowWait", "1\0"s));
}

struct IntegerCase {
    std::string text;
    std::optional<int32_t> expected;
};

class ProfileIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(ProfileIntegerTest, Parses)
{
    EXPECT_EQ(ParseProfileInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileIntegerTest,
    testing::Values(IntegerCase{"5", 5}, IntegerCase{"99", 99}, IntegerCase{"007", 7}, IntegerCase{"+3", 3},
                    IntegerCase{"-1", -1}, IntegerCase{"2147483647", 2147483647},
                    IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"2147483648", std::nullopt},
                    IntegerCase{"-2147483649", std::nullopt}, IntegerCase{"99999999999999999999", std::nullopt},
                    IntegerCase{"0x1F", 31}, IntegerCase{"0X1f", 31}, IntegerCase{"$1f", 31}, IntegerCase{"-$10", -16},
                    IntegerCase{"0xFFFFFFFF", -1}, IntegerCase{"$80000000", INT32_MIN},
                    IntegerCase{"0x100000000", std::nullopt}, IntegerCase{"0x00000000000000000001", 1},
                    IntegerCase{"", std::nullopt}, IntegerCase{"-", std::nullopt}, IntegerCase{"$", std::nullopt},
                    IntegerCase{"0x", std::nullopt}, IntegerCase{"x10", std::nullopt},
                    IntegerCase{"1e3", std::nullopt}, IntegerCase{"5 ", std::nullopt},
                    IntegerCase{" 5", std::nullopt}, IntegerCase{"5s", std::nullopt},
                    IntegerCase{"0x1G", std::nullopt}, IntegerCase{"--5", std::nullopt},
                    IntegerCase{"\xEF\xBC\x95", std::nullopt}, IntegerCase{"5\0"s, std::nullopt}));

}  // namespace
