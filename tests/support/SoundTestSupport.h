// Sound entries and the archive around them, for the sound player's tests
// and those of scrtool wav.
#pragma once

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "sound/WaveFormat.h"
#include "tests/support/WaveFiles.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// Sample bytes that tell their own offset apart from their neighbours'.
inline std::vector<uint8_t> SampleBytes(size_t length)
{
    std::vector<uint8_t> samples(length);
    for (size_t i = 0; i < length; ++i) samples[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return samples;
}

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
        const ResEntryLocation found = ResLocateEntry(archive, ResTagSound, id);
        EXPECT_TRUE(found.Found()) << "sound " << id;
        ResCursor cursor;
        if (found.Found()) cursor.entry = *found.record;
        return cursor;
    }

    ResArchive archive;
};
