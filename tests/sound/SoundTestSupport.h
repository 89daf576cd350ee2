// Sound entries and the archive around them, for the player's tests.
#pragma once

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "sound/WaveFormat.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

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

// Sample bytes that tell their own offset apart from their neighbours'.
inline std::vector<uint8_t> SampleBytes(size_t length)
{
    std::vector<uint8_t> samples(length);
    for (size_t i = 0; i < length; ++i) samples[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return samples;
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

// The bytes of an archive holding sound entries ("SSWv"), stored
// interleaved and encrypted so that the samples are decrypted as they stream.
class SoundArchiveBytes {
public:
    void Add(uint32_t id, std::vector<uint8_t> entry)
    {
        ArchiveEntrySource source;
        source.tag = ResTagSound;
        source.id = id;
        source.encryptionMode = 2;
        source.data = std::move(entry);
        sources_.push_back(std::move(source));
    }
    std::vector<uint8_t> Build() const
    {
        ArchiveWriter writer(BlockCodeOptions(0x534F554Eu, 0, 0));
        for (const ArchiveEntrySource& source : sources_) writer.Add(source);
        return writer.Build();
    }

private:
    std::vector<ArchiveEntrySource> sources_;
};

// Such an archive, open in memory.
class SoundArchive : public SoundArchiveBytes {
public:
    void Open() { ASSERT_EQ(OpenArchiveBytes(archive, Build()), ResErrorNone); }
    // A cursor at offset 0 of entry id, as the viewer hands it to Load.
    ResCursor CursorOf(uint32_t id)
    {
        const int64_t group = ResFindGroup(archive, ResTagSound);
        EXPECT_GE(group, 0);
        const int64_t entry = ResFindEntry(archive, group, id);
        EXPECT_GE(entry, 0);
        const EntryRecord* record = ResEntryRecordOf(archive, group, entry);
        EXPECT_NE(record, nullptr);
        ResCursor cursor;
        if (record) cursor.entry = *record;
        return cursor;
    }

    ResArchive archive;
};
