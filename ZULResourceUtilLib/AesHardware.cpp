// The AES-NI counter-mode engine. Only this file uses processor-specific
// instructions; they sit in functions compiled for AES-NI alone, so the rest
// of the program still runs on processors without it, and the engine is only
// entered after the processor has reported the feature.

#include "ZULResourceUtilLib/AESUnit.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define KAMISHIBAI_HAVE_AES_NI 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define KAMISHIBAI_HAVE_AES_NI 0
#endif

namespace {

#if KAMISHIBAI_HAVE_AES_NI

bool DetectAesNi()
{
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    // AESENC and friends, plus PSHUFB (SSSE3) for the counter's byte order.
    return (ecx & bit_AES) != 0 && (ecx & bit_SSE4_1) != 0 && (ecx & bit_SSSE3) != 0;
}

#define KAMISHIBAI_AES_TARGET __attribute__((target("aes,sse4.1")))

// Eight blocks in flight hide the latency of AESENC; with 16 vector
// registers the round keys come from memory, which costs little next to it.
constexpr int kPipelineBlocks = 8;

KAMISHIBAI_AES_TARGET void CounterBlocksAesNi(const AesKey& key, const uint8_t nonce[8], uint64_t firstBlock,
                                              const uint8_t* input, uint8_t* output, uint64_t blocks,
                                              const uint8_t* mask)
{
    // The schedule is kept as big-endian words; AES-NI wants each round key
    // in the byte order of the state.
    const int rounds = key.rounds;
    __m128i roundKeys[15];
    for (int round = 0; round <= rounds; ++round) {
        uint8_t bytes[16];
        for (int column = 0; column < 4; ++column) {
            const uint32_t word = key.encryptionRoundKeys[4 * round + column];
            bytes[4 * column] = static_cast<uint8_t>(word >> 24);
            bytes[4 * column + 1] = static_cast<uint8_t>(word >> 16);
            bytes[4 * column + 2] = static_cast<uint8_t>(word >> 8);
            bytes[4 * column + 3] = static_cast<uint8_t>(word);
        }
        roundKeys[round] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    }
    const __m128i keystreamMask =
        mask != nullptr ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)) : _mm_set1_epi8(-1);

    // The counter is carried with the block number as a native 64-bit lane
    // (so a plain 64-bit add carries out of the low 32 bits) and turned into
    // the big-endian counter block by one byte shuffle per block.
    uint64_t nonceWord = 0;
    std::memcpy(&nonceWord, nonce, 8);
    __m128i counter = _mm_set_epi64x(static_cast<long long>(firstBlock), static_cast<long long>(nonceWord));
    const __m128i one = _mm_set_epi64x(1, 0);
    const __m128i toCounterBlock = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 15, 14, 13, 12, 11, 10, 9, 8);

    while (blocks >= kPipelineBlocks) {
        // The inner loops must unroll so that the eight states live in
        // registers rather than in memory.
        __m128i state[kPipelineBlocks];
#pragma GCC unroll 8
        for (int i = 0; i < kPipelineBlocks; ++i) {
            state[i] = _mm_xor_si128(_mm_shuffle_epi8(counter, toCounterBlock), roundKeys[0]);
            counter = _mm_add_epi64(counter, one);
        }
        for (int round = 1; round < rounds; ++round) {
            const __m128i roundKey = roundKeys[round];
#pragma GCC unroll 8
            for (int i = 0; i < kPipelineBlocks; ++i) {
                state[i] = _mm_aesenc_si128(state[i], roundKey);
            }
        }
#pragma GCC unroll 8
        for (int i = 0; i < kPipelineBlocks; ++i) {
            state[i] = _mm_aesenclast_si128(state[i], roundKeys[rounds]);
            const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input + 16 * i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(output + 16 * i),
                             _mm_xor_si128(data, _mm_and_si128(state[i], keystreamMask)));
        }
        input += 16 * kPipelineBlocks;
        output += 16 * kPipelineBlocks;
        blocks -= kPipelineBlocks;
    }
    for (; blocks != 0; --blocks) {
        __m128i state = _mm_xor_si128(_mm_shuffle_epi8(counter, toCounterBlock), roundKeys[0]);
        counter = _mm_add_epi64(counter, one);
        for (int round = 1; round < rounds; ++round) {
            state = _mm_aesenc_si128(state, roundKeys[round]);
        }
        state = _mm_aesenclast_si128(state, roundKeys[rounds]);
        const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output), _mm_xor_si128(data, _mm_and_si128(state, keystreamMask)));
        input += 16;
        output += 16;
    }
}

#endif

}  // namespace

bool AesHardwareAvailable()
{
#if KAMISHIBAI_HAVE_AES_NI
    static const bool available = DetectAesNi();
    return available;
#else
    return false;
#endif
}

namespace AesInternal {

bool HardwareCounterBlocks(const AesKey& key, const uint8_t nonce[8], uint64_t firstBlock, const uint8_t* input,
                           uint8_t* output, uint64_t blocks, const uint8_t* mask)
{
#if KAMISHIBAI_HAVE_AES_NI
    if (!AesHardwareAvailable() || key.rounds < 10 || key.rounds > 14) {
        return false;
    }
    CounterBlocksAesNi(key, nonce, firstBlock, input, output, blocks, mask);
    return true;
#else
    (void)key;
    (void)nonce;
    (void)firstBlock;
    (void)input;
    (void)output;
    (void)blocks;
    (void)mask;
    return false;
#endif
}

}  // namespace AesInternal
