// ArchiveKey: what an archive derives from the numbers in its trailer.
//
// GenerateArchiveKey turns the trailer's key seed into the 32 AES key bytes
// and the 16 counter-mode nonce bytes. CheckWordResult and CheckWordPasses
// implement the check word that an archive appended to an executable must
// carry: the masks are the two mask words of the archive header.
#pragma once

#include <cstdint>

void GenerateArchiveKey(uint32_t keySeed, uint8_t keyBytes[32], uint8_t nonceBytes[16]);

// The seed the check word leads to, and the value a generator seeded with it
// yields (the 33rd draw, or the last of the next 33 while that is 0; after
// 4096 such rounds still at 0 it gives up with 0). A check word of 0, or one
// whose seed is 0 (a clock-seeded, unrepeatable result), never passes.
int32_t CheckWordSeed(uint32_t checkWord, uint32_t maskWord1, uint32_t maskWord2);
uint32_t CheckWordResult(int32_t seed);
bool CheckWordPasses(uint32_t checkWord, uint32_t maskWord1, uint32_t maskWord2);
