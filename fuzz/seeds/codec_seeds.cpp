// Seed corpora for lzss_fuzz and zlib_fuzz: each file is the 4-byte
// little-endian output capacity followed by packed data, packed by our own
// codecs so that the fuzzer starts from well-formed streams and edges.
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/ZlibCodec.h"

#include "fuzz/seeds/SeedFiles.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

void WriteCodecSeeds(const std::filesystem::path& corpusRoot);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(size_t size)
{
    static const std::string words = "a picture, a sound and the scenario of the night slide show; ";
    std::string text;
    for (size_t k = 0; text.size() < size; ++k) text += words.substr(k % 7, words.size() - k % 7);
    return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

// 32-bit pixels, a gradient with a little deterministic grain.
Bytes Pixels(uint32_t count)
{
    Bytes pixels;
    uint32_t grain = 12345;
    for (uint32_t k = 0; k < count; ++k) {
        grain = grain * 1103515245u + 12345u;
        const uint8_t noise = (grain >> 16) % 4 == 0 ? static_cast<uint8_t>((grain >> 20) & 1) : 0;
        pixels.push_back(static_cast<uint8_t>(k / 16 + noise));
        pixels.push_back(static_cast<uint8_t>(k / 64));
        pixels.push_back(static_cast<uint8_t>(128 + k / 32));
        pixels.push_back(0xFF);
    }
    return pixels;
}

template <class Codec, class Run>
Bytes Pack(Bytes data, Run run)
{
    static Codec codec;
    Bytes packed(data.size());
    uint32_t length = 0;
    if (!run(codec, 'E', static_cast<uint32_t>(data.size()), data.data(), packed.data(), length, nullptr))
        throw std::runtime_error("seed data did not pack");
    packed.resize(length);
    return packed;
}

Bytes PackLzss(const Bytes& data) { return Pack<LzssCodec>(data, LzssRun); }
Bytes PackZlib(const Bytes& data) { return Pack<ZlibCodec>(data, ZlibRun); }

Bytes Head(const Bytes& bytes, size_t count) { return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)); }

// The codec targets read the capacity from the first four bytes.
void WriteSeed(const std::filesystem::path& folder, const std::string& name, uint32_t capacity, const Bytes& packed)
{
    Bytes seed(4);
    WriteLe32(seed.data(), capacity);
    seed.insert(seed.end(), packed.begin(), packed.end());
    ::WriteSeed(folder, name, seed);
}

}  // namespace

void WriteCodecSeeds(const std::filesystem::path& corpusRoot)
{
    const Bytes text = Text(5000);
    const Bytes pixels = Pixels(4096);
    const Bytes zeros(100000, 0);

    const std::filesystem::path lzss = corpusRoot / "lzss_fuzz";
    const Bytes lzssText = PackLzss(text);
    const Bytes lzssPixels = PackLzss(pixels);
    WriteSeed(lzss, "empty", 0, {});
    WriteSeed(lzss, "zero_prefill_match", 16, {0x00, 0x00, 0x00});
    WriteSeed(lzss, "match_across_window_end", 64,
              {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0xFF, 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 0x03, 'Q',
               'R', 0xFA, 0xF7});
    WriteSeed(lzss, "text", static_cast<uint32_t>(text.size()), lzssText);
    WriteSeed(lzss, "text_capacity_short", static_cast<uint32_t>(text.size() / 2), lzssText);
    WriteSeed(lzss, "text_truncated", static_cast<uint32_t>(text.size()), Head(lzssText, lzssText.size() / 2));
    WriteSeed(lzss, "pixels", static_cast<uint32_t>(pixels.size()), lzssPixels);
    WriteSeed(lzss, "zeros", static_cast<uint32_t>(zeros.size()), PackLzss(zeros));

    const std::filesystem::path zlib = corpusRoot / "zlib_fuzz";
    const Bytes zlibText = PackZlib(text);
    WriteSeed(zlib, "empty", 0, {});
    WriteSeed(zlib, "text", static_cast<uint32_t>(text.size()), zlibText);
    WriteSeed(zlib, "text_capacity_short", static_cast<uint32_t>(text.size() - 1), zlibText);
    WriteSeed(zlib, "text_truncated", static_cast<uint32_t>(text.size()), Head(zlibText, zlibText.size() - 1));
    WriteSeed(zlib, "pixels", static_cast<uint32_t>(pixels.size()), PackZlib(pixels));
    WriteSeed(zlib, "zeros", static_cast<uint32_t>(zeros.size()), PackZlib(zeros));
}
