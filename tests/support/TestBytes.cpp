#include "tests/support/TestBytes.h"

#include <iterator>

std::vector<uint8_t> PatternBytes(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    return RandomBytes(generator, size);
}

std::vector<uint8_t> RandomBytes(std::mt19937& generator, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(generator());
    return bytes;
}

std::vector<uint8_t> TextBytes(size_t size, uint32_t seed)
{
    static const char* const words[] = {"picture ", "sound ", "scenario ", "window ", "fade ", "the ",
                                        "of ", "Kamishibai ", "slide\n", "show, ", "a ", "night "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) text += words[random() % std::size(words)];
    return std::vector<uint8_t>(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

std::string ToHex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}
