#include "shell/common/IntegerText.h"
#include "shell/common/SaverCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ModeCase {
    std::vector<std::string> arguments;
    SaverMode mode;
    bool noTopmost;
};

class SaverModeTest : public testing::TestWithParam<ModeCase> {};

TEST_P(SaverModeTest, TheSecondCharacterOfTheFirstArgumentPicksTheMode)
{
    const ModeCase& c = GetParam();
    const SaverCommand command = ParseSaverCommandLine(c.arguments);
    EXPECT_EQ(command.mode, c.mode);
    EXPECT_EQ(command.noTopmost, c.noTopmost);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SaverModeTest,
    testing::Values(ModeCase{{}, SaverMode::Configuration, false}, ModeCase{{"/c"}, SaverMode::Configuration, false},
                    ModeCase{{"/C"}, SaverMode::Configuration, false},
                    ModeCase{{"/c:4711"}, SaverMode::Configuration, false},
                    ModeCase{{"/s"}, SaverMode::FullScreen, false}, ModeCase{{"/S"}, SaverMode::FullScreen, false},
                    ModeCase{{"-s"}, SaverMode::FullScreen, false}, ModeCase{{"xS"}, SaverMode::FullScreen, false},
                    ModeCase{{"/s5"}, SaverMode::FullScreen, false}, ModeCase{{"/q"}, SaverMode::FullScreen, false},
                    // Too short to have a second character: runs the saver.
                    ModeCase{{"s"}, SaverMode::FullScreen, false}, ModeCase{{"c"}, SaverMode::FullScreen, false},
                    ModeCase{{""}, SaverMode::FullScreen, false},
                    ModeCase{{"/d"}, SaverMode::FullScreen, true}, ModeCase{{"/D", "9"}, SaverMode::FullScreen, true},
                    ModeCase{{"/p", "1234"}, SaverMode::Preview, false}, ModeCase{{"/p"}, SaverMode::Preview, false},
                    ModeCase{{"/a", "99"}, SaverMode::PasswordChange, false},
                    // The first character is never looked at, even when it is not ASCII.
                    ModeCase{{"\xE3\x83\xBB" "c"}, SaverMode::Configuration, false},
                    // A non-ASCII second character selects nothing: full screen.
                    ModeCase{{"/\xE3\x81\x82"}, SaverMode::FullScreen, false},
                    // A stray byte counts as one character.
                    ModeCase{{"\xFF" "p", "1"}, SaverMode::Preview, false}));

TEST(SaverCommandLine, KeepsTheSecondArgumentForTheModeThatNeedsIt)
{
    EXPECT_EQ(ParseSaverCommandLine({"/p", "1234"}).windowArgument, "1234");
    EXPECT_EQ(ParseSaverCommandLine({"/p"}).windowArgument, "");
    EXPECT_EQ(ParseSaverCommandLine({"/a", "abc", "more"}).windowArgument, "abc");
}

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;
};

class IntegerTextTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerTextTest, ReadsAWindowNumberAsTheLibraryDoes)
{
    EXPECT_EQ(ParseIntegerText(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegerTextTest,
    testing::Values(IntegerCase{"1234", 1234}, IntegerCase{"0", 0}, IntegerCase{"-5", -5}, IntegerCase{"+7", 7},
                    IntegerCase{"  42", 42}, IntegerCase{"$1F", 31}, IntegerCase{"0x10", 16},
                    IntegerCase{"0XfF", 255}, IntegerCase{"2147483647", INT32_MAX},
                    IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"$FFFFFFFF", -1},
                    IntegerCase{"2147483648", std::nullopt}, IntegerCase{"99999999999999999999", std::nullopt},
                    IntegerCase{"$100000000", std::nullopt}, IntegerCase{"", std::nullopt},
                    IntegerCase{"abc", std::nullopt}, IntegerCase{"12 ", std::nullopt},
                    IntegerCase{"12a", std::nullopt}, IntegerCase{"-", std::nullopt},
                    IntegerCase{"$", std::nullopt}, IntegerCase{"0x", std::nullopt},
                    IntegerCase{"1.5", std::nullopt}));

TEST(IntegerText, TheConversionErrorQuotesTheText)
{
    try {
        IntegerOfText("abc");
        FAIL() << "no error";
    } catch (const IntegerConversionError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
    EXPECT_THROW(IntegerOfText(""), IntegerConversionError);
    EXPECT_EQ(IntegerOfText("66776"), 66776);
}

}  // namespace
