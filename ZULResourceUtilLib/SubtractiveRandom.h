// SubtractiveRandom: the subtractive random generator (modulus 10^9) that the
// archive reader uses for key generation and its check word, and the slide
// show for its random choices.
//
// All table arithmetic is signed 32-bit with two's-complement wrap-around;
// "reduce" adds 10^9 once to a negative value, which may leave it negative
// when a large negative seed started the table. Seed(0) seeds from the clock.
#pragma once

#include <cstdint>

class SubtractiveRandom {
public:
    void Seed(int32_t seed);
    int32_t Draw();

    // Slot 0 exists and is never used; slots 1..55 are the table.
    int index = 55;
    int32_t table[56] = {};

private:
    void Refill();
};
