#include "shell/common/CloseQuery.h"
#include "shell/common/InputRules.h"

#include <gtest/gtest.h>

namespace {

struct MoveCase {
    TPoint now;
    bool ends;
};

class PointerThresholdTest : public testing::TestWithParam<MoveCase> {};

TEST_P(PointerThresholdTest, EndsOnlyBeyondOneHundredPixelsOnAnAxis)
{
    const TPoint start{512, 384};
    EXPECT_EQ(MovedBeyondThreshold(start, GetParam().now), GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(Moves, PointerThresholdTest,
                         testing::Values(MoveCase{{512, 384}, false}, MoveCase{{612, 484}, false},
                                         MoveCase{{412, 284}, false}, MoveCase{{613, 384}, true},
                                         MoveCase{{512, 485}, true}, MoveCase{{411, 384}, true},
                                         MoveCase{{512, 283}, true},
                                         // Far away on both sides of the 32-bit range.
                                         MoveCase{{INT32_MIN, INT32_MAX}, true}));

class FakePassword final : public ScreenSaverPassword {
public:
    std::optional<int64_t> UsePasswordValue() override
    {
        ++valueReads;
        return value;
    }
    PasswordVerdict Verify() override
    {
        ++verifications;
        return verdict;
    }

    std::optional<int64_t> value;
    PasswordVerdict verdict = PasswordVerdict::Refused;
    int valueReads = 0;
    int verifications = 0;
};

TEST(CloseQuery, NeverReadsThePasswordOnNtOrInPreview)
{
    FakePassword password;
    password.value = 1;
    EXPECT_EQ(DecideClose(false, PlatformIdNt, password), CloseAnswer::Allow);
    EXPECT_EQ(DecideClose(true, 1, password), CloseAnswer::Allow);
    EXPECT_EQ(password.valueReads, 0);
    EXPECT_EQ(password.verifications, 0);
}

struct PasswordCase {
    std::optional<int64_t> value;
    PasswordVerdict verdict;
    CloseAnswer answer;
    int verifications;
};

class OlderSystemCloseTest : public testing::TestWithParam<PasswordCase> {};

TEST_P(OlderSystemCloseTest, AsksTheSystemOnlyWhenAPasswordIsInUse)
{
    const PasswordCase& c = GetParam();
    FakePassword password;
    password.value = c.value;
    password.verdict = c.verdict;
    EXPECT_EQ(DecideClose(false, 1, password), c.answer);
    EXPECT_EQ(password.verifications, c.verifications);
    // A refusal asks again at the next attempt.
    if (c.answer == CloseAnswer::Refuse) {
        EXPECT_EQ(DecideClose(false, 1, password), CloseAnswer::Refuse);
        EXPECT_EQ(password.verifications, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OlderSystemCloseTest,
    testing::Values(PasswordCase{std::nullopt, PasswordVerdict::Refused, CloseAnswer::Allow, 0},
                    PasswordCase{0, PasswordVerdict::Refused, CloseAnswer::Allow, 0},
                    PasswordCase{1, PasswordVerdict::Accepted, CloseAnswer::AllowAfterPassword, 1},
                    PasswordCase{1, PasswordVerdict::Refused, CloseAnswer::Refuse, 1},
                    PasswordCase{-3, PasswordVerdict::Refused, CloseAnswer::Refuse, 1},
                    PasswordCase{1, PasswordVerdict::NoLibrary, CloseAnswer::Allow, 1},
                    PasswordCase{1, PasswordVerdict::NoEntryPoint, CloseAnswer::Allow, 1}));

}  // namespace
