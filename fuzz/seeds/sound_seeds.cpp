// Seed corpora for sound_fuzz and wave_fuzz (both take the bytes of one
// sound entry): well-formed PCM waves of the usual shapes, and the formats
// and chunk layouts a device or the RIFF walk must refuse or read around.
#include "fuzz/seeds/SeedFiles.h"
#include "tests/support/WaveFiles.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

void WriteSoundSeeds(const std::filesystem::path& corpusRoot);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Samples(size_t count, uint8_t step)
{
    Bytes samples(count);
    for (size_t k = 0; k < count; ++k) samples[k] = static_cast<uint8_t>(0x80 + (k * step) % 64);
    return samples;
}

Bytes Pcm(uint16_t channels, uint32_t rate, uint16_t bits, size_t sampleBytes)
{
    return WaveEntry().Format(PcmFormat(channels, rate, bits)).Data(Samples(sampleBytes, 3)).Bytes();
}

// A PCM format with one field changed after the fact.
template <class Change>
Bytes OddFormat(Change change)
{
    WaveFormatFields format = PcmFormat(1, 8000, 8);
    change(format);
    return WaveEntry().Format(format).Data(Samples(400, 5)).Bytes();
}

}  // namespace

void WriteSoundSeeds(const std::filesystem::path& corpusRoot)
{
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"mono-8-8000", Pcm(1, 8000, 8, 800)},
        {"stereo-16-22050", Pcm(2, 22050, 16, 2000)},
        {"stereo-16-44100", Pcm(2, 44100, 16, 4096)},
        {"mono-16-11025", Pcm(1, 11025, 16, 1000)},
        // Formats the device refuses.
        {"channels-0", OddFormat([](WaveFormatFields& f) { f.channels = 0; })},
        {"channels-65535", OddFormat([](WaveFormatFields& f) { f.channels = 65535; })},
        {"bits-0", OddFormat([](WaveFormatFields& f) { f.bitsPerSample = 0; })},
        {"bits-7", OddFormat([](WaveFormatFields& f) { f.bitsPerSample = 7; })},
        {"tag-0", OddFormat([](WaveFormatFields& f) { f.formatTag = 0; })},
        {"tag-extensible", OddFormat([](WaveFormatFields& f) { f.formatTag = 0xFFFE; })},
        {"block-align-0", OddFormat([](WaveFormatFields& f) { f.blockAlign = 0; })},
        {"rate-0", OddFormat([](WaveFormatFields& f) { f.samplesPerSecond = 0; f.averageBytesPerSecond = 0; })},
        {"byte-rate-huge", OddFormat([](WaveFormatFields& f) { f.averageBytesPerSecond = 0x7FFFFFFF; })},
        // Chunk layouts.
        {"fmt-40-bytes", WaveEntry().Format(PcmFormat(1, 8000, 8), 40).Data(Samples(300, 7)).Bytes()},
        {"fmt-14-bytes", WaveEntry().Format(PcmFormat(1, 8000, 8), 14).Data(Samples(300, 7)).Bytes()},
        {"data-before-fmt", WaveEntry().Data(Samples(100, 2)).Format(PcmFormat(1, 8000, 8)).Bytes()},
        {"no-data", WaveEntry().Format(PcmFormat(1, 8000, 8)).Chunk("LIST", Bytes(9, 'x')).Bytes()},
        {"odd-chunk-padded",
         WaveEntry().Chunk("junk", Bytes(3, 1)).Format(PcmFormat(1, 8000, 8)).Data(Samples(301, 1)).Bytes()},
        {"data-declared-longer", WaveEntry().Format(PcmFormat(1, 8000, 8)).Data(Samples(200, 4), 5000).Bytes()},
        {"data-declared-2g", WaveEntry().Format(PcmFormat(1, 8000, 8)).Data(Samples(64, 4), 0x80000000).Bytes()},
        {"riff-size-short", WaveEntry().Format(PcmFormat(1, 8000, 8)).Data(Samples(200, 4)).Bytes(20)},
        {"two-fmt", WaveEntry()
                        .Format(PcmFormat(1, 8000, 8))
                        .Format(PcmFormat(2, 44100, 16))
                        .Data(Samples(512, 6))
                        .Bytes()},
        {"empty-data", WaveEntry().Format(PcmFormat(1, 8000, 8)).Data({}).Bytes()},
    };
    for (const char* target : {"sound_fuzz", "wave_fuzz"})
        for (const auto& [name, bytes] : seeds) WriteSeed(corpusRoot / target, name, bytes);
}
