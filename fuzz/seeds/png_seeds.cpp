// Seed corpus for png_fuzz: small PNG files of every colour type and bit
// depth, interlaced and not, with palettes and transparency, image data in
// one or several IDAT chunks, and a few damaged ones. Rows use every filter
// type in turn (the filtered bytes are what a real encoder would write).
#include "fuzz/seeds/SeedFiles.h"
#include "tests/support/PngFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

void WritePngSeeds(const std::filesystem::path& corpusRoot);

namespace {

using namespace png_files;

// `height` rows of `rowBytes` pattern bytes, filtered with every filter type
// in turn.
void AppendRows(Bytes& out, uint32_t rowBytes, uint32_t height, int pixelBytes, uint32_t seed)
{
    std::vector<Bytes> rows(height, Bytes(rowBytes));
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t i = 0; i < rowBytes; ++i) rows[r][i] = static_cast<uint8_t>((i * 7 + r * 13 + seed) % 251);
    AppendFiltered(out, rows, pixelBytes, {0, 1, 2, 3, 4});
}

uint32_t RowBytes(uint32_t width, int bitDepth, int colourType)
{
    return (width * static_cast<uint32_t>(Channels(static_cast<uint8_t>(colourType)) * bitDepth) + 7) / 8;
}

// Image data of a width × height picture: the seven Adam7 passes when
// interlaced (each a small picture of its own), else one.
Bytes ImageData(uint32_t width, uint32_t height, int bitDepth, int colourType, bool interlaced)
{
    const int pixelBytes = std::max(1, Channels(static_cast<uint8_t>(colourType)) * bitDepth / 8);
    Bytes data;
    if (!interlaced) {
        AppendRows(data, RowBytes(width, bitDepth, colourType), height, pixelBytes, 1);
        return data;
    }
    static const uint32_t start[7][2] = {{0, 0}, {4, 0}, {0, 4}, {2, 0}, {0, 2}, {1, 0}, {0, 1}};
    static const uint32_t step[7][2] = {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}};
    for (int pass = 0; pass < 7; ++pass) {
        const uint32_t columns = width > start[pass][0] ? (width - start[pass][0] + step[pass][0] - 1) / step[pass][0] : 0;
        const uint32_t rows = height > start[pass][1] ? (height - start[pass][1] + step[pass][1] - 1) / step[pass][1] : 0;
        if (columns > 0 && rows > 0)
            AppendRows(data, RowBytes(columns, bitDepth, colourType), rows, pixelBytes, static_cast<uint32_t>(pass));
    }
    return data;
}

Bytes Header(uint32_t width, uint32_t height, int bitDepth, int colourType, bool interlaced)
{
    return HeaderData(width, height, static_cast<uint8_t>(bitDepth), static_cast<uint8_t>(colourType), interlaced ? 1 : 0);
}

std::vector<Chunk> Chunks(uint32_t width, uint32_t height, int bitDepth, int colourType, bool interlaced,
                          size_t pieces = 1)
{
    std::vector<Chunk> chunks{{"IHDR", Header(width, height, bitDepth, colourType, interlaced)}};
    if (colourType == 3) {
        Bytes palette;
        for (int k = 0; k < (1 << bitDepth); ++k)
            for (int c = 0; c < 3; ++c) palette.push_back(static_cast<uint8_t>(k * 40 + c * 90));
        chunks.push_back({"PLTE", palette});
        chunks.push_back({"tRNS", {0, 128}});
    }
    if (colourType == 0) chunks.push_back({"tRNS", {0, 1}});
    if (colourType == 2) chunks.push_back({"tRNS", {0, 1, 0, 2, 0, 3}});
    const Bytes packed = Deflate(ImageData(width, height, bitDepth, colourType, interlaced));
    for (size_t k = 0; k < pieces; ++k)
        chunks.push_back({"IDAT", Bytes(packed.begin() + static_cast<ptrdiff_t>(packed.size() * k / pieces),
                                        packed.begin() + static_cast<ptrdiff_t>(packed.size() * (k + 1) / pieces))});
    chunks.push_back({"IEND", {}});
    return chunks;
}

}  // namespace

void WritePngSeeds(const std::filesystem::path& corpusRoot)
{
    const std::filesystem::path folder = corpusRoot / "png_fuzz";
    struct Kind {
        int colourType;
        std::vector<int> depths;
    };
    const Kind kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const Kind& kind : kinds)
        for (int depth : kind.depths)
            for (bool interlaced : {false, true}) {
                const std::string name = "type" + std::to_string(kind.colourType) + "-depth" + std::to_string(depth) +
                                         (interlaced ? "-adam7" : "");
                WriteSeed(folder, name, PngFile(Chunks(13, 9, depth, kind.colourType, interlaced)));
            }
    WriteSeed(folder, "idat-in-three", PngFile(Chunks(20, 6, 8, 6, false, 3)));
    WriteSeed(folder, "one-pixel-adam7", PngFile(Chunks(1, 1, 8, 2, true)));

    // Damaged: data that ends early, a size beyond the decoder's limits, a
    // palette picture without a palette, a chunk after IEND.
    std::vector<Chunk> chunks = Chunks(16, 16, 8, 2, false);
    chunks[1].data.resize(chunks[1].data.size() / 2);
    WriteSeed(folder, "idat-truncated", PngFile(chunks));
    chunks = Chunks(8, 8, 8, 0, false);
    chunks[0].data = Header(1u << 20, 1u << 20, 8, 0, false);
    WriteSeed(folder, "huge-size", PngFile(chunks));
    chunks = Chunks(8, 8, 4, 3, false);
    chunks.erase(chunks.begin() + 1);
    WriteSeed(folder, "no-palette", PngFile(chunks));
    chunks = Chunks(8, 8, 8, 4, false);
    chunks.push_back({"tEXt", Bytes{'a', 0, 'b'}});
    WriteSeed(folder, "after-iend", PngFile(chunks));
}
