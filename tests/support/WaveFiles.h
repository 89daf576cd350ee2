// Wave files for tests and fuzzers, built chunk by chunk: well-formed ones
// and ones with any chunk, size or order a test needs. Header-only, with no
// test framework, so that fuzz targets may use it too.
#pragma once

#include "sound/WaveFormat.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <vector>

inline WaveFormatFields PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits)
{
    WaveFormatFields format;
    format.formatTag = 1;
    format.channels = channels;
    format.samplesPerSecond = rate;
    format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.averageBytesPerSecond = rate * format.blockAlign;
    format.bitsPerSample = bits;
    return format;
}

// A RIFF WAVE file, chunk by chunk.
class WaveEntry {
public:
    WaveEntry& Chunk(const char (&id)[5], const std::vector<uint8_t>& body, int64_t declaredSize = -1)
    {
        bytes_.insert(bytes_.end(), id, id + 4);
        uint8_t size[4];
        WriteLe32(size, static_cast<uint32_t>(declaredSize >= 0 ? declaredSize : static_cast<int64_t>(body.size())));
        bytes_.insert(bytes_.end(), size, size + 4);
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        return *this;
    }
    WaveEntry& Format(const WaveFormatFields& format, size_t length = 16)
    {
        std::vector<uint8_t> body(std::max<size_t>(length, WaveFormatSize), 0xEE);
        EncodeWaveFormat(format, std::span<uint8_t, WaveFormatSize>(body.data(), WaveFormatSize));
        body.resize(length);
        return Chunk("fmt ", body);
    }
    WaveEntry& Data(const std::vector<uint8_t>& samples, int64_t declaredSize = -1)
    {
        return Chunk("data", samples, declaredSize);
    }
    std::vector<uint8_t> Bytes(int64_t riffSize = -1) const
    {
        std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
        WriteLe32(&file[4], static_cast<uint32_t>(riffSize >= 0 ? riffSize : static_cast<int64_t>(4 + bytes_.size())));
        file.insert(file.end(), bytes_.begin(), bytes_.end());
        return file;
    }

private:
    std::vector<uint8_t> bytes_;
};

