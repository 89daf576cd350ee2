// Test data shared by the suites: byte generators and hex text. Every
// generator gives the same bytes for the same seed, so that a failing case
// comes back the same on the next run and on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Deterministic, non-repeating bytes (so that a read from the wrong place shows).
std::vector<uint8_t> PatternBytes(size_t length, uint32_t seed);

// Uniform random bytes: nothing for a packer to find.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
// The next count bytes of generator, for tests that draw keys, counters and
// data one after the other from a single sequence.
std::vector<uint8_t> RandomBytes(std::mt19937& generator, size_t count);

// Words from a small vocabulary: repeats at every distance, like real text.
std::vector<uint8_t> TextBytes(size_t size, uint32_t seed);

// Lower-case hex, two digits a byte.
std::string ToHex(const uint8_t* bytes, size_t count);
// Hex digit pairs to bytes; a lone last digit is ignored.
std::vector<uint8_t> FromHex(const std::string& hex);
