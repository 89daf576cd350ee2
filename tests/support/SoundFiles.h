// Sound files in the forms scrtool pack converts, for tests and fuzz seeds:
// WAV files of extensible or floating-point formats, and their samples.
// Header-only, with no test framework and no decoder library, so that fuzz
// seeds may use it too. (FLAC, Ogg and MP3 fixtures are written with
// libsndfile by the tests that need them.)
#pragma once

#include "ZULResourceUtilLib/LittleEndian.h"
#include "tests/support/WaveFiles.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

enum class WaveSampleKind : uint16_t { Pcm = 1, Float = 3 };

// The body of an extensible "fmt " chunk (40 bytes).
inline std::vector<uint8_t> ExtensibleFormatBody(WaveSampleKind kind, uint16_t channels, uint32_t rate, uint16_t containerBits,
                                                 uint16_t validBits, uint32_t channelMask)
{
    std::vector<uint8_t> body(40);
    const uint16_t blockAlign = static_cast<uint16_t>(channels * containerBits / 8);
    WriteLe16(&body[0], 0xFFFE);
    WriteLe16(&body[2], channels);
    WriteLe32(&body[4], rate);
    WriteLe32(&body[8], rate * blockAlign);
    WriteLe16(&body[12], blockAlign);
    WriteLe16(&body[14], containerBits);
    WriteLe16(&body[16], 22);
    WriteLe16(&body[18], validBits);
    WriteLe32(&body[20], channelMask);
    const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    WriteLe16(&body[24], static_cast<uint16_t>(kind));
    for (int k = 0; k < 14; ++k) body[26 + k] = guidTail[k];
    return body;
}

// A plain "fmt " chunk's fields for any tag (IEEE float is tag 3).
inline WaveFormatFields TaggedFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    WaveFormatFields format = PcmFormat(channels, rate, bits);
    format.formatTag = tag;
    return format;
}

// Samples at full scale 1 as stored bytes: little-endian integers of
// containerBits (8 unsigned, wider signed, the value in the top validBits),
// rounded to the nearest step; or IEEE floats of 32 or 64 bits.
inline std::vector<uint8_t> IntegerSampleBytes(const std::vector<double>& samples, uint16_t containerBits)
{
    std::vector<uint8_t> bytes;
    const int containerBytes = containerBits / 8;
    for (const double sample : samples) {
        const double scale = std::ldexp(1.0, containerBits - 1);
        const double limit = scale - 1;
        const double scaled = std::fmax(-scale, std::fmin(limit, std::round(sample * scale)));
        int64_t value = static_cast<int64_t>(scaled);
        if (containerBits == 8) value += 128;
        for (int k = 0; k < containerBytes; ++k) bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * k)));
    }
    return bytes;
}

inline std::vector<uint8_t> FloatSampleBytes(const std::vector<double>& samples, uint16_t bits)
{
    std::vector<uint8_t> bytes;
    for (const double sample : samples) {
        uint8_t stored[8];
        if (bits == 32)
            WriteLe32(stored, std::bit_cast<uint32_t>(static_cast<float>(sample)));
        else
            WriteLe64(stored, std::bit_cast<uint64_t>(sample));
        bytes.insert(bytes.end(), stored, stored + bits / 8);
    }
    return bytes;
}

// frames × channels interleaved samples: channel c is a sine of
// frequency × (c + 1) Hz at the given amplitude.
inline std::vector<double> SineFrames(size_t frames, uint16_t channels, uint32_t rate, double frequency, double amplitude)
{
    std::vector<double> samples;
    samples.reserve(frames * channels);
    for (size_t n = 0; n < frames; ++n)
        for (uint16_t c = 0; c < channels; ++c)
            samples.push_back(amplitude * std::sin(2 * std::numbers::pi * frequency * (c + 1) * static_cast<double>(n) / rate));
    return samples;
}
