#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <cstdlib>

#include "platform/Clock.h"

namespace {

constexpr uint32_t kModulus = 1000000000u;

// Table values are signed 32-bit with two's-complement wrap-around. The
// arithmetic runs on unsigned values, where wrapping is defined, and turns
// back into signed (modular since C++20).
int32_t WrappingSubtract(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Adds the modulus once to a negative value. A value far below zero (from a
// seed under -10^9) stays negative; that is how the generator has always
// behaved, and its sequence depends on it.
int32_t Reduce(int32_t value)
{
    return value < 0 ? static_cast<int32_t>(static_cast<uint32_t>(value) + kModulus) : value;
}

}  // namespace

void SubtractiveRandom::Seed(int32_t seed)
{
    if (seed == 0) {
        const uint32_t randomPart = static_cast<uint32_t>(std::rand() % 32000) << 14;
        seed = static_cast<int32_t>(TimeGetTime() | randomPart);
    }
    int32_t s = seed;
    table[55] = s;
    int32_t k = 1;
    for (int i = 1; i <= 54; ++i) {
        table[(21 * i) % 55] = k;
        const int32_t t = Reduce(WrappingSubtract(s, k));
        s = k;
        k = t;
    }
    Refill();
    Refill();
    Refill();
    index = 55;
}

int32_t SubtractiveRandom::Draw()
{
    ++index;
    // Anything outside 1..55 (a record never seeded, or changed from
    // outside) starts a fresh pass instead of reading past the table.
    if (index > 55 || index < 1) {
        Refill();
        index = 1;
    }
    return table[index];
}

void SubtractiveRandom::Refill()
{
    for (int i = 1; i <= 24; ++i) {
        table[i] = Reduce(WrappingSubtract(table[i], table[i + 31]));
    }
    for (int i = 25; i <= 55; ++i) {
        table[i] = Reduce(WrappingSubtract(table[i], table[i - 24]));
    }
}
