#include "ZULResourceUtilLib/ArchiveKey.h"

#include "ZULResourceUtilLib/SubtractiveRandom.h"

namespace {

void StoreLittleEndian32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

// Each seed bit comes from exactly one of the two XORs: the masks are
// complements of each other.
constexpr uint32_t kMaskWord1Bits = 0x6D54D8AAu;
constexpr uint32_t kMaskWord2Bits = 0x92AB2755u;
static_assert((kMaskWord1Bits ^ kMaskWord2Bits) == 0xFFFFFFFFu);

constexpr int kCheckWordDraws = 33;
constexpr int kCheckWordAttempts = 4096;

}  // namespace

void GenerateArchiveKey(uint32_t keySeed, uint8_t keyBytes[32], uint8_t nonceBytes[16])
{
    // A fresh generator each time: the slide show's own generator is never
    // disturbed by opening an archive.
    SubtractiveRandom random;
    random.Seed(static_cast<int32_t>(keySeed));
    for (int j = 0; j < 8; ++j) {
        StoreLittleEndian32(keyBytes + 4 * j, static_cast<uint32_t>(random.Draw()));
    }
    for (int j = 0; j < 4; ++j) {
        StoreLittleEndian32(nonceBytes + 4 * j, static_cast<uint32_t>(random.Draw()));
    }
}

int32_t CheckWordSeed(uint32_t checkWord, uint32_t maskWord1, uint32_t maskWord2)
{
    return static_cast<int32_t>(((checkWord ^ maskWord1) & kMaskWord1Bits) | ((checkWord ^ maskWord2) & kMaskWord2Bits));
}

uint32_t CheckWordResult(int32_t seed)
{
    SubtractiveRandom random;
    random.Seed(seed);
    // The seed comes from an untrusted file, and values driven below zero by
    // a large negative seed make the table's map lose its one-to-one nature,
    // so a run of zeros cannot be ruled out: the retries are bounded. A
    // generator still at 0 after them gives 0, which no check word matches.
    for (int attempt = 0; attempt < kCheckWordAttempts; ++attempt) {
        int32_t result = 0;
        for (int i = 0; i < kCheckWordDraws; ++i) {
            result = random.Draw();
        }
        if (result != 0) {
            return static_cast<uint32_t>(result);
        }
    }
    return 0;
}

bool CheckWordPasses(uint32_t checkWord, uint32_t maskWord1, uint32_t maskWord2)
{
    // A check word of 0 marks an archive without one.
    if (checkWord == 0) {
        return false;
    }
    const int32_t seed = CheckWordSeed(checkWord, maskWord1, maskWord2);
    // Seed 0 would seed the generator from the clock: the result would change
    // from run to run and could match by chance. Such a triple identifies
    // nothing, so it never passes.
    if (seed == 0) {
        return false;
    }
    return CheckWordResult(seed) == checkWord;
}
