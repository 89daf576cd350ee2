// PNG files for tests and fuzz seeds, written by a small encoder of our own:
// chunks with their CRCs, zlib image data, and rows filtered with any of the
// five filter types. Header-only, with no test framework, so that the fuzz
// seed generator may use it too.
#pragma once

#include "tools/authoring/PngPaeth.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace png_files {

using Bytes = std::vector<uint8_t>;

struct Chunk {
    std::string type;
    Bytes data;
};

inline void PutBe32(Bytes& to, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(value >> shift));
}

// The signature, then each chunk with its length and CRC.
inline Bytes PngFile(const std::vector<Chunk>& chunks)
{
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Chunk& chunk : chunks) {
        PutBe32(file, static_cast<uint32_t>(chunk.data.size()));
        const size_t typeAt = file.size();
        file.insert(file.end(), chunk.type.begin(), chunk.type.end());
        file.insert(file.end(), chunk.data.begin(), chunk.data.end());
        PutBe32(file, static_cast<uint32_t>(crc32(0, file.data() + typeAt, static_cast<uInt>(4 + chunk.data.size()))));
    }
    return file;
}

inline Bytes Deflate(const Bytes& data)
{
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    Bytes packed(length);
    if (compress2(packed.data(), &length, data.data(), static_cast<uLong>(data.size()), 6) != Z_OK)
        throw std::runtime_error("zlib could not deflate the image data");
    packed.resize(length);
    return packed;
}

inline Bytes HeaderData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType, uint8_t interlace = 0)
{
    Bytes data;
    PutBe32(data, width);
    PutBe32(data, height);
    data.insert(data.end(), {bitDepth, colourType, 0, 0, interlace});
    return data;
}

inline int Channels(uint8_t colourType)
{
    switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
    }
}

inline int Predict(int filter, int left, int above, int upperLeft)
{
    switch (filter) {
    case 1: return left;
    case 2: return above;
    case 3: return (left + above) / 2;
    case 4: return PaethPredictor(left, above, upperLeft);
    default: return 0;
    }
}

// Filters the rows of one image (or pass): row r uses filter filters[r % size].
inline void AppendFiltered(Bytes& out, const std::vector<Bytes>& rows, int pixelBytes, const std::vector<int>& filters)
{
    Bytes above;
    for (size_t r = 0; r < rows.size(); ++r) {
        const Bytes& row = rows[r];
        above.resize(row.size(), 0);
        const int filter = filters[r % filters.size()];
        out.push_back(static_cast<uint8_t>(filter));
        for (size_t i = 0; i < row.size(); ++i) {
            const size_t back = static_cast<size_t>(pixelBytes);
            const int left = i >= back ? row[i - back] : 0;
            const int upperLeft = i >= back ? above[i - back] : 0;
            out.push_back(static_cast<uint8_t>(row[i] - Predict(filter, left, above[i], upperLeft)));
        }
        above = row;
    }
}

}  // namespace png_files
