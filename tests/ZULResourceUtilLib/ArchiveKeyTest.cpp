#include "ZULResourceUtilLib/ArchiveKey.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t kMaskWord1Bits = 0x6D54D8AAu;
constexpr uint32_t kMaskWord2Bits = 0x92AB2755u;

TEST(ArchiveKey, KeyAndNonceFromSeedArePinned)
{
    struct Pinned {
        uint32_t keySeed;
        const char* key;
        const char* nonce;
    };
    // Computed by an independent implementation of the generator: eight draws
    // little-endian for the key, four more for the nonce.
    const Pinned pinned[] = {
        {0x1234ABCDu, "58c6c92026b3b23a8ba43530c2885220bd647e15b869061870c6be1ea36d0604",
         "9f54fd10690a650c6045a836c23ac22b"},
        // Above 2^31: taken as a negative seed.
        {0xA0000000u, "87900f276279eb2af3d73513036ec0328496ba100e824f09dde1871f842de90a",
         "a27a97371de0592d64043033b9b0002f"},
    };
    for (const auto& entry : pinned) {
        SCOPED_TRACE(entry.keySeed);
        for (int repeat = 0; repeat < 2; ++repeat) {
            uint8_t key[32];
            uint8_t nonce[16];
            GenerateArchiveKey(entry.keySeed, key, nonce);
            EXPECT_EQ(ToHex(key, 32), entry.key);
            EXPECT_EQ(ToHex(nonce, 16), entry.nonce);
        }
    }
}

TEST(ArchiveKey, CheckWordSeedTakesEachBitFromOneMask)
{
    struct Case {
        uint32_t checkWord, maskWord1, maskWord2;
        uint32_t seed;
    };
    const Case cases[] = {
        {0, 0xFFFFFFFFu, 0, kMaskWord1Bits},
        {0, 0, 0xFFFFFFFFu, kMaskWord2Bits},
        {0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu},
        {0x12345678u, 0x12345678u, 0x12345678u, 0},
        // Bits of mask word 1 outside its half, and of mask word 2 outside
        // its half, make no difference.
        {0x0F0F0F0Fu, kMaskWord2Bits, kMaskWord1Bits, 0x0F0F0F0Fu},
        {0xA5A5A5A5u, 0x11111111u, 0x22222222u, ((0xA5A5A5A5u ^ 0x11111111u) & kMaskWord1Bits) |
                                                    ((0xA5A5A5A5u ^ 0x22222222u) & kMaskWord2Bits)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<uint32_t>(CheckWordSeed(c.checkWord, c.maskWord1, c.maskWord2)), c.seed)
            << std::hex << c.checkWord << " " << c.maskWord1 << " " << c.maskWord2;
    }
}

TEST(ArchiveKey, CheckWordResultIsPinned)
{
    EXPECT_EQ(CheckWordResult(1), 0x0BD6CB02u);
    EXPECT_EQ(CheckWordResult(0x12345678), 0x18F12E09u);
    EXPECT_EQ(CheckWordResult(-5), 0x21DDC15Cu);
}

// A writer picks a seed, takes the result as the check word and chooses mask
// words that lead back to the seed; the bits of each mask word outside its
// half are free.
struct Triple {
    uint32_t checkWord, maskWord1, maskWord2;
};

Triple PassingTriple(int32_t seed, uint32_t freeBits)
{
    const uint32_t checkWord = CheckWordResult(seed);
    const uint32_t base = checkWord ^ static_cast<uint32_t>(seed);
    return {checkWord, base ^ (freeBits & kMaskWord2Bits), base ^ (freeBits & kMaskWord1Bits)};
}

TEST(ArchiveKey, ConstructedTriplePassesAndEveryRelevantBitFlipFails)
{
    for (int32_t seed : {1, 0x12345678, -5, INT32_MIN, 987654321}) {
        SCOPED_TRACE(seed);
        const Triple good = PassingTriple(seed, 0xC3A5F00Fu);
        ASSERT_EQ(CheckWordSeed(good.checkWord, good.maskWord1, good.maskWord2), seed);
        EXPECT_TRUE(CheckWordPasses(good.checkWord, good.maskWord1, good.maskWord2));

        // A free bit of mask word 1 changes nothing.
        EXPECT_TRUE(CheckWordPasses(good.checkWord, good.maskWord1 ^ 0x1u, good.maskWord2));

        const Triple bad[] = {
            {good.checkWord ^ 0x1u, good.maskWord1, good.maskWord2},
            {good.checkWord ^ 0x80000000u, good.maskWord1, good.maskWord2},
            {good.checkWord, good.maskWord1 ^ 0x2u, good.maskWord2},  // a bit of mask word 1's half
            {good.checkWord, good.maskWord1, good.maskWord2 ^ 0x1u},  // a bit of mask word 2's half
            {good.checkWord, good.maskWord2, good.maskWord1},
        };
        for (const auto& triple : bad) {
            EXPECT_FALSE(CheckWordPasses(triple.checkWord, triple.maskWord1, triple.maskWord2))
                << std::hex << triple.checkWord << " " << triple.maskWord1 << " " << triple.maskWord2;
        }
    }
}

TEST(ArchiveKey, CheckWordZeroAndSeedZeroNeverPass)
{
    EXPECT_FALSE(CheckWordPasses(0, 0, 0));
    EXPECT_FALSE(CheckWordPasses(0, 0x12345678u, 0x9ABCDEF0u));
    // Masks equal to the check word give seed 0, which would seed from the
    // clock: never a pass, however the clock stands.
    for (uint32_t checkWord : {1u, 0x0BD6CB02u, 0xFFFFFFFFu}) {
        ASSERT_EQ(CheckWordSeed(checkWord, checkWord, checkWord), 0);
        EXPECT_FALSE(CheckWordPasses(checkWord, checkWord, checkWord));
    }
}

}  // namespace
