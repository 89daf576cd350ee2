// The player's random choices: the mixing of a draw, how evenly the choices
// fall over many seeds (and over seeds a clock gives a few ticks apart), and
// that the generator is drawn exactly as often, and in the same order, as
// there are choices. Expected values were computed apart from this code, by
// a separate small program.
#include "scenario/ScenarioRules.h"

#include "tests/support/SlideShowFixtures.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <set>
#include <vector>

namespace {

bool SameState(const SubtractiveRandom& a, const SubtractiveRandom& b)
{
    return a.index == b.index && std::equal(std::begin(a.table), std::end(a.table), std::begin(b.table));
}

SubtractiveRandom Seeded(int32_t seed)
{
    SubtractiveRandom random;
    random.Seed(seed);
    return random;
}

// A scenario of `count` pictures and nothing else; picture k has id k.
::Scenario Pictures(int32_t count)
{
    ::Scenario scenario;
    for (int32_t k = 0; k < count; ++k) scenario.Records.push_back(ShowRecord(k, 0));
    return scenario;
}

std::vector<int32_t> PictureOrder(const ::Scenario& scenario)
{
    std::vector<int32_t> order;
    for (const ScenarioRecord& record : scenario.Records) order.push_back(record.Values[0]);
    return order;
}

std::vector<int32_t> ShuffledOrder(int32_t seed, int32_t pictures)
{
    ::Scenario scenario = Pictures(pictures);
    SubtractiveRandom random = Seeded(seed);
    ShufflePictures(scenario, random);
    return PictureOrder(scenario);
}

// Pearson's statistic of counts against a uniform spread over their cells.
long double ChiSquare(const std::vector<int>& counts)
{
    long double total = 0;
    for (const int count : counts) total += count;
    const long double expected = total / static_cast<long double>(counts.size());
    long double sum = 0;
    for (const int count : counts) sum += (count - expected) * (count - expected) / expected;
    return sum;
}

TEST(MixedDraw, IsSplitMixFinalizerOfTheDrawAsAnUnsigned64BitNumber)
{
    struct Case {
        int32_t draw;
        uint64_t mixed;
    };
    const Case cases[] = {
        {0, 0},
        {1, 0x5692161D100B05E5u},
        {2, 0xDBD238973A2B148Au},
        {89320604, 1231812302141564708u},  // the first draw of seed 1
        {123456789, 0xF21C87D4233FFD60u},
        {999999999, 0x64C1EC653A5ADA84u},  // the largest draw of a non-negative seed
        {INT32_MAX, 0x7B313D2783D96D8Cu},
        // Negative draws (seeds below -10^9) count as 2^64 + draw.
        {-1, 0xB4D055FCF2CBBD7Bu},
        {INT32_MIN, 0xA58397EE4016AC9Cu},
    };
    for (const Case& c : cases) EXPECT_EQ(MixedDraw(c.draw), c.mixed) << c.draw;
}

TEST(DrawBelow, TakesOneDrawAndReducesItsMixedValue)
{
    // Seed 1 draws 89320604 first, which mixes to 1231812302141564708.
    const std::pair<int32_t, int32_t> cases[] = {{1, 0}, {2, 0}, {3, 2}, {7, 5}, {10, 8}, {INT32_MAX, 1296774314}};
    for (const auto& [n, expected] : cases) {
        SubtractiveRandom random = Seeded(1);
        SubtractiveRandom twin = Seeded(1);
        EXPECT_EQ(DrawBelow(random, n), expected) << n;
        twin.Draw();
        EXPECT_TRUE(SameState(random, twin)) << n;
    }
}

TEST(ShufflePictures, GivesTheOrderTheMixedDrawsName)
{
    // Picture ids by position after one shuffle of ten pictures.
    EXPECT_EQ(ShuffledOrder(1, 10), (std::vector<int32_t>{3, 9, 8, 1, 5, 4, 6, 7, 2, 0}));
    EXPECT_EQ(ShuffledOrder(1700000000, 10), (std::vector<int32_t>{3, 0, 5, 4, 6, 1, 8, 7, 2, 9}));
}

TEST(ShufflePictures, TakesTwoDrawsPerPictureLikeRawDraws)
{
    // Sizes across the generator's refill every 55 draws, with records of
    // other codes between the pictures.
    for (const int32_t pictures : {1, 2, 10, 27, 28, 56, 200}) {
        ::Scenario scenario;
        for (int32_t k = 0; k < pictures; ++k) {
            scenario.Records.push_back(ShowRecord(k, 0));
            scenario.Records.push_back(WaitRecord(1));
        }
        SubtractiveRandom random = Seeded(4321);
        SubtractiveRandom twin = Seeded(4321);
        ShufflePictures(scenario, random);
        for (int32_t i = 0; i < 2 * pictures; ++i) twin.Draw();
        EXPECT_TRUE(SameState(random, twin)) << pictures << " pictures";
    }
}

// Seed 0 would take the clock, so the small seeds start at 1. The other
// blocks are what the savers seed with: the Linux saver the time in
// seconds, the Windows saver the milliseconds since the system started.
struct SeedBlock {
    const char* name;
    int32_t first;
    int32_t count;
};
constexpr SeedBlock SeedBlocks[] = {
    {"seeds 1..10000", 1, 10000},
    {"clock seconds", 1700000000, 10000},
    {"milliseconds since start", 259200000, 10000},
};

// Well above what a fair choice gives (9 or 3 on average; 40 with 9 degrees
// of freedom and 30 with 3 are each passed by chance once in 100,000 or
// more), far below the thousands the unmixed draws gave.
constexpr long double ChiSquareBoundNineDegrees = 40;
constexpr long double ChiSquareBoundThreeDegrees = 30;

TEST(RandomChoicesOverManySeeds, TheFirstOfTenShuffledPicturesIsSpreadEvenly)
{
    for (const SeedBlock& block : SeedBlocks) {
        std::vector<int> firsts(10);
        for (int32_t seed = block.first; seed < block.first + block.count; ++seed)
            ++firsts[static_cast<size_t>(ShuffledOrder(seed, 10)[0])];
        EXPECT_LT(ChiSquare(firsts), ChiSquareBoundNineDegrees) << block.name;
    }
}

TEST(RandomChoicesOverManySeeds, TwoWayJumpsTakeEachTargetHalfTheTimeWhateverTheJumpBefore)
{
    // The pairs of two successive jumps: with unmixed draws the first
    // followed the seed's parity and the second went the same way for
    // every seed.
    const ScenarioRecord jump = RandomJumpRecord(2, {4, 9});
    for (const SeedBlock& block : SeedBlocks) {
        std::vector<int> pairs(4);
        for (int32_t seed = block.first; seed < block.first + block.count; ++seed) {
            SubtractiveRandom random = Seeded(seed);
            const bool firstIsNine = RandomJumpTarget(jump, 10, random) == 9;
            const bool secondIsNine = RandomJumpTarget(jump, 10, random) == 9;
            ++pairs[(firstIsNine ? 2u : 0u) + (secondIsNine ? 1u : 0u)];
        }
        EXPECT_LT(ChiSquare(pairs), ChiSquareBoundThreeDegrees) << block.name;
    }
}

TEST(RandomChoicesOverManySeeds, SeedsAFewTicksApartGiveDifferentShows)
{
    // 21 successive seeds from clock-like starting points. Unmixed, the
    // first picture of ten followed the seed's last digit, so seeds ten
    // apart nearly always opened alike, and half the orders repeated.
    int sameFirstTenApart = 0;
    for (const int32_t start : {1700000000, 259200000, 86400123, 1234567}) {
        std::set<std::vector<int32_t>> orders;
        std::set<int32_t> firsts;
        std::array<int32_t, 21> first{};
        for (int32_t i = 0; i < 21; ++i) {
            const std::vector<int32_t> order = ShuffledOrder(start + i, 10);
            orders.insert(order);
            firsts.insert(order[0]);
            first[static_cast<size_t>(i)] = order[0];
        }
        EXPECT_EQ(orders.size(), 21u) << start;
        EXPECT_GE(firsts.size(), 6u) << start;
        for (size_t i = 0; i + 10 < first.size(); ++i) sameFirstTenApart += first[i] == first[i + 10] ? 1 : 0;
    }
    // 44 pairs of seeds; by chance about one in ten opens alike.
    EXPECT_LE(sameFirstTenApart, 15);
}

}  // namespace
