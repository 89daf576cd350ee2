#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/Clock.h"

namespace {

int32_t Wrap(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

int32_t ReduceOnce(int32_t value)
{
    return value < 0 ? Wrap(int64_t{value} + 1000000000) : value;
}

// The same generator in its other classic shape: instead of refilling all 55
// slots at once, two pointers walk the table 31 slots apart and renew one
// slot per draw. Seeding is the same; the three refills of the seed become
// 165 steps whose values are thrown away.
class IncrementalGenerator {
public:
    explicit IncrementalGenerator(int32_t seed)
    {
        int32_t s = seed;
        slot_[55] = s;
        int32_t k = 1;
        for (int i = 1; i <= 54; ++i) {
            slot_[(21 * i) % 55] = k;
            const int32_t t = ReduceOnce(Wrap(int64_t{s} - k));
            s = k;
            k = t;
        }
        for (int i = 0; i < 3 * 55; ++i) {
            Next();
        }
    }

    int32_t Next()
    {
        current_ = current_ == 55 ? 1 : current_ + 1;
        partner_ = partner_ == 55 ? 1 : partner_ + 1;
        slot_[current_] = ReduceOnce(Wrap(int64_t{slot_[current_]} - slot_[partner_]));
        return slot_[current_];
    }

private:
    int32_t slot_[56] = {};
    int current_ = 0;
    int partner_ = 31;
};

std::vector<int32_t> Draws(SubtractiveRandom& random, int count)
{
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(random.Draw());
    }
    return values;
}

std::vector<int32_t> DrawsFromSeed(int32_t seed, int count)
{
    SubtractiveRandom random;
    random.Seed(seed);
    return Draws(random, count);
}

const int32_t kSeeds[] = {1,           12345,       -1,          999999999,  1000000000, -1000000001,
                          -2000000000, INT32_MIN,   INT32_MAX,   0x7FFF0000, 0x12345678, -777};

TEST(SubtractiveRandom, MatchesTheIncrementalFormDrawForDraw)
{
    for (int32_t seed : kSeeds) {
        SCOPED_TRACE(seed);
        SubtractiveRandom random;
        random.Seed(seed);
        IncrementalGenerator reference(seed);
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(random.Draw(), reference.Next()) << "draw " << i + 1;
        }
    }
}

TEST(SubtractiveRandom, PinnedValues)
{
    struct Pinned {
        int32_t seed;
        std::vector<int32_t> firstDraws;
        int32_t thousandthDraw;
    };
    const Pinned pinned[] = {
        {1, {89320604, 577544758, 463496939, 673378494, 816809121}, 792222331},
        {12345, {434623796, 402642582, 485091115, 392384422, 655663865}, 136618235},
        {-1500000000, {192824711, 864580962, 30005235, 82587907, 874502020}, 976158475},
        {INT32_MIN, {937200263, 752338786, 755307507, 983263235, 813210756}, 687261963},
        // Above the modulus: the seed's wrap-around carries into the table.
        {INT32_MAX, {1130638962, 39374990, 321815803, 892472648, 370903655}, 484654491},
    };
    for (const auto& entry : pinned) {
        SCOPED_TRACE(entry.seed);
        const std::vector<int32_t> draws = DrawsFromSeed(entry.seed, 1000);
        EXPECT_EQ(std::vector<int32_t>(draws.begin(), draws.begin() + 5), entry.firstDraws);
        EXPECT_EQ(draws[999], entry.thousandthDraw);
    }
}

TEST(SubtractiveRandom, SameSeedSameSequenceAlsoAfterReseeding)
{
    SubtractiveRandom first;
    first.Seed(424242);
    const std::vector<int32_t> sequence = Draws(first, 300);

    SubtractiveRandom second;
    second.Seed(424242);
    EXPECT_EQ(Draws(second, 300), sequence);

    // Seeding a used generator starts the sequence over.
    first.Seed(424242);
    EXPECT_EQ(first.index, 55);
    EXPECT_EQ(Draws(first, 300), sequence);

    EXPECT_NE(DrawsFromSeed(424243, 300), sequence);
}

TEST(SubtractiveRandom, LargeNegativeSeedLeavesNegativeValuesAndWraps)
{
    // Runs under UBSan in the sanitizer build: no signed overflow may occur.
    SubtractiveRandom random;
    random.Seed(-2000000000);
    EXPECT_EQ(random.table[35], -772885978) << "a slot stays negative after reduction";
    const std::vector<int32_t> draws = Draws(random, 5000);
    EXPECT_EQ(draws[18], -385085568);
    EXPECT_EQ(draws[27], -908830048);
    for (int32_t seed : {INT32_MIN, INT32_MIN + 1, -1999999999, -1000000001}) {
        const std::vector<int32_t> more = DrawsFromSeed(seed, 5000);
        EXPECT_EQ(more, DrawsFromSeed(seed, 5000));
    }
}

TEST(SubtractiveRandom, SeedZeroTakesClockAndRuntimeRandom)
{
    // Seed(0) seeds with TimeGetTime() | ((rand() % 32000) << 14): with the C
    // generator's state known, one of the clock readings around the call
    // must give the same table.
    std::srand(97);
    const uint32_t randomPart = static_cast<uint32_t>(std::rand() % 32000) << 14;
    std::srand(97);
    const uint32_t before = TimeGetTime();
    SubtractiveRandom fromClock;
    fromClock.Seed(0);
    const uint32_t after = TimeGetTime();

    bool matched = false;
    for (uint32_t now = before; !matched; ++now) {
        SubtractiveRandom candidate;
        candidate.Seed(static_cast<int32_t>(now | randomPart));
        matched = std::equal(std::begin(candidate.table), std::end(candidate.table), std::begin(fromClock.table));
        if (now == after) {
            break;
        }
    }
    EXPECT_TRUE(matched);
    EXPECT_EQ(fromClock.index, 55);
}

TEST(SubtractiveRandom, SeedZeroDependsOnTheTime)
{
    std::srand(5);
    const uint32_t start = TimeGetTime();
    SubtractiveRandom early;
    early.Seed(0);
    // The clock moves in milliseconds; wait until it has.
    for (int i = 0; i < 100 && TimeGetTime() - start < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (TimeGetTime() - start < 2) {
        GTEST_SKIP() << "the clock did not advance";
    }
    std::srand(5);
    SubtractiveRandom late;
    late.Seed(0);
    EXPECT_NE(Draws(early, 20), Draws(late, 20));
}

}  // namespace
