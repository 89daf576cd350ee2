#include "scenario/ScenarioRules.h"

#include "tests/support/SlideShowFixtures.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const ScenarioSettings Settings = [] {
    ScenarioSettings settings = ScenarioSettings::From(7, 3, 4);
    settings.words[7] = 77;
    settings.values[9] = 99;
    return settings;
}();

TEST(ScenarioArguments, FlaggedArgumentsComeFromTheSettingsOnlyWhereTheCommandHonoursThem)
{
    struct Case {
        const char* name;
        ScenarioRecord record;
        int16_t arg1;
        int16_t arg2;
        int32_t value0;
    };
    ScenarioRecord playSound = CodeRecord(ScenarioCode::PlaySound);
    playSound.ValueFlags = ScenarioValue0FromSettings;
    playSound.Values[0] = 9;
    ScenarioRecord codeFour = playSound;
    codeFour.Code = 4;
    ScenarioRecord jump = JumpRecord(2);
    jump.ArgFlags = 3;
    jump.Arg1 = 1;
    ScenarioRecord randomJump = RandomJumpRecord(1, {5});
    randomJump.ArgFlags = 1;
    ScenarioRecord showValueFlag = ShowRecord(1000, 2);
    showValueFlag.ValueFlags = 1;
    const Case cases[] = {
        {"wait from slot 0", WaitRecord(0, ScenarioArg1FromSettings), 7, 0, 0},
        {"wait given", WaitRecord(3), 3, 0, 0},
        {"effect from slot 1", EffectRecord(1, ScenarioArg1FromSettings), 3, 0, 0},
        {"show speed from slot 2", ShowRecord(1000, 2, {}, ScenarioArg1FromSettings), 4, 0, 1000},
        {"show ignores the value flag", showValueFlag, 2, 0, 1000},
        {"area from slots 7 and 0", AreaRecord(7, 0, 3), 77, 7, 0},
        {"area with only Arg2 flagged", AreaRecord(400, 1, ScenarioArg2FromSettings), 400, 3, 0},
        {"play sound from value slot 9", playSound, 0, 0, 99},
        {"code 4 from value slot 9", codeFour, 0, 0, 99},
        {"jump ignores flags", jump, 1, 0, 2},
        {"random jump ignores flags", randomJump, 1, 0, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolvedArg1(c.record, Settings), c.arg1) << c.name;
        EXPECT_EQ(ResolvedArg2(c.record, Settings), c.arg2) << c.name;
        EXPECT_EQ(ResolvedValue0(c.record, Settings), c.value0) << c.name;
    }
}

TEST(CheckScenario, RefusesSlotsOutsideTheTablesOnlyForFlagsThatCount)
{
    ScenarioRecord playSound = CodeRecord(ScenarioCode::PlaySound);
    playSound.ValueFlags = ScenarioValue0FromSettings;
    struct Case {
        const char* name;
        ScenarioRecord record;
        bool accepted;
    };
    ScenarioRecord soundSlot10 = playSound;
    soundSlot10.Values[0] = 10;
    ScenarioRecord soundSlotNegative = playSound;
    soundSlotNegative.Values[0] = -1;
    ScenarioRecord jumpFlagged = JumpRecord(0);
    jumpFlagged.ArgFlags = 3;
    jumpFlagged.Arg1 = 500;
    const Case cases[] = {
        {"word slot 7", WaitRecord(7, 1), true},
        {"word slot 8", WaitRecord(8, 1), false},
        {"word slot -1", EffectRecord(-1, 1), false},
        {"Arg2 slot 8", AreaRecord(0, 8, 2), false},
        {"Arg2 of 8 unflagged", AreaRecord(0, 8, 1), true},
        {"value slot 10", soundSlot10, false},
        {"value slot -1", soundSlotNegative, false},
        {"flags a jump ignores", jumpFlagged, true},
    };
    for (const Case& c : cases) {
        ::Scenario scenario;
        scenario.Records = {WaitRecord(0), c.record};
        std::string reason;
        EXPECT_EQ(CheckScenario(scenario, &reason), c.accepted) << c.name;
        if (!c.accepted) {
            EXPECT_NE(reason.find("record 1"), std::string::npos) << reason;
        }
    }
}

TEST(JumpTarget, TakesTheLowSixteenBitsAndRestartsOutsideTheScenario)
{
    struct Case {
        int32_t value;
        size_t count;
        int16_t target;
    };
    const Case cases[] = {
        {3, 10, 3}, {9, 10, 9}, {10, 10, 0}, {11, 10, 0},   {0x10005, 10, 5},
        {-1, 10, 0}, {0x8000, 10, 0}, {int32_t(0xFFFF0002u), 10, 2}, {32767, 32767, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(JumpTarget(c.value, c.count), c.target) << c.value;
}

TEST(RandomJump, CandidatesFollowArg1ModFourWithZeroTakenAsOne)
{
    const std::pair<int16_t, int> cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 1}, {5, 1}, {7, 3}, {0, 1}, {-2, 2}, {-5, 1}};
    for (const auto& [arg1, candidates] : cases)
        EXPECT_EQ(RandomJumpCandidates(RandomJumpRecord(arg1, {})), candidates) << arg1;
}

TEST(RandomJump, ChoosesByOneDrawOfTheGenerator)
{
    SubtractiveRandom random;
    SubtractiveRandom twin;
    random.Seed(1234);
    twin.Seed(1234);
    const ScenarioRecord record = RandomJumpRecord(3, {6, 21, 36});
    std::set<int16_t> seen;
    for (int i = 0; i < 60; ++i) {
        const int16_t expected = record.Values[static_cast<size_t>(MixedDraw(twin.Draw()) % 3)];
        const int16_t target = RandomJumpTarget(record, 51, random);
        ASSERT_EQ(target, expected) << i;
        seen.insert(target);
    }
    EXPECT_EQ(seen, (std::set<int16_t>{6, 21, 36}));

    // Arg1 5 behaves as 1: always the first value, still one draw.
    const ScenarioRecord five = RandomJumpRecord(5, {6, 21, 36});
    for (int i = 0; i < 10; ++i) EXPECT_EQ(RandomJumpTarget(five, 51, random), 6);
    twin.Seed(1234);
    for (int i = 0; i < 70; ++i) twin.Draw();
    EXPECT_EQ(random.Draw(), twin.Draw());
}

TEST(RandomJump, NegativeDrawsStayInsideTheCandidates)
{
    // A generator seeded with a large negative number can draw negative
    // values; the choice must still index a candidate.
    SubtractiveRandom random;
    random.Seed(INT32_MIN);
    const ScenarioRecord record = RandomJumpRecord(3, {1, 2, 3});
    for (int i = 0; i < 500; ++i) {
        const int16_t target = RandomJumpTarget(record, 10, random);
        ASSERT_GE(target, 1);
        ASSERT_LE(target, 3);
    }
}

TEST(ShowPictureSounds, ListEndsAtTheFirstZero)
{
    EXPECT_EQ(ShowPictureSoundCandidates(ShowRecord(1, 0, {})), 0);
    EXPECT_EQ(ShowPictureSoundCandidates(ShowRecord(1, 0, {5})), 1);
    EXPECT_EQ(ShowPictureSoundCandidates(ShowRecord(1, 0, {0, 6})), 0);
    EXPECT_EQ(ShowPictureSoundCandidates(ShowRecord(1, 0, {5, 0, 7})), 1);
    EXPECT_EQ(ShowPictureSoundCandidates(ShowRecord(1, 0, {5, 6, 7})), 3);
}

// The shuffle's steps made plainly, to compare with.
std::vector<ScenarioRecord> ShuffledByHand(const std::vector<ScenarioRecord>& records, SubtractiveRandom& random)
{
    std::vector<size_t> numbers;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].Code == ScenarioCode::ShowPicture) numbers.push_back(i);
    const auto n = static_cast<int32_t>(numbers.size());
    std::vector<size_t> order = numbers;
    for (int pass = 0; pass < 2; ++pass)
        for (int32_t j = 0; j < n; ++j)
            std::swap(order[size_t(j)], order[size_t(MixedDraw(random.Draw()) % uint64_t(n))]);
    std::vector<ScenarioRecord> result = records;
    for (size_t k = 0; k < numbers.size(); ++k) result[order[k]] = records[numbers[k]];
    return result;
}

TEST(ShufflePictures, MovesWholePictureRecordsAmongTheirPlacesAndRepeatsFromTheNewOrder)
{
    ::Scenario scenario;
    scenario.Records = {CodeRecord(ScenarioCode::ShufflePictures)};
    for (int32_t i = 0; i < 6; ++i) {
        scenario.Records.push_back(ShowRecord(1000 + i, static_cast<int16_t>(i % 5), {2000 + i}, i % 2));
        scenario.Records.push_back(WaitRecord(static_cast<int16_t>(i), 1));
    }
    SubtractiveRandom random;
    SubtractiveRandom twin;
    random.Seed(77);
    twin.Seed(77);

    std::vector<ScenarioRecord> expected = scenario.Records;
    for (int round = 0; round < 3; ++round) {
        expected = ShuffledByHand(expected, twin);
        ShufflePictures(scenario, random);
        ASSERT_EQ(scenario.Records, expected) << "round " << round;
    }
    // Whole records: each picture keeps its sound, speed and flags; the waits
    // never move.
    std::set<int32_t> pictures;
    for (size_t i = 0; i < scenario.Records.size(); ++i) {
        const ScenarioRecord& record = scenario.Records[i];
        if (i % 2 == 1) {
            ASSERT_EQ(record.Code, ScenarioCode::ShowPicture);
            const int32_t k = record.Values[0] - 1000;
            EXPECT_EQ(record.Values[1], 2000 + k);
            EXPECT_EQ(record.Arg1, k % 5);
            EXPECT_EQ(record.ArgFlags, k % 2);
            pictures.insert(record.Values[0]);
        } else if (i > 0) {
            EXPECT_EQ(record, WaitRecord(static_cast<int16_t>(i / 2 - 1), 1));
        }
    }
    EXPECT_EQ(pictures.size(), 6u);
}

TEST(ShufflePictures, WithoutPicturesDrawsNothing)
{
    ::Scenario scenario;
    scenario.Records = {WaitRecord(1), CodeRecord(ScenarioCode::ShufflePictures)};
    SubtractiveRandom random;
    SubtractiveRandom twin;
    random.Seed(5);
    twin.Seed(5);
    ShufflePictures(scenario, random);
    EXPECT_EQ(random.Draw(), twin.Draw());
}

}  // namespace
