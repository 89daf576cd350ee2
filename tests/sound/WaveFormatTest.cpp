// The RIFF walk over sound entries: format fields, where the samples lie, the
// derived sizes and the duration in extended precision, the chunks it skips
// and the ones it stops at, and the clean failures of broken entries; the
// walk through the archive must agree with the walk over bytes.

#include "sound/WaveFormat.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/ReadOnlyFile.h"
#include "tests/support/SoundTestSupport.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(WaveFormatTest, PcmFormatsGiveTheirSizesAndDuration)
{
    const auto FourBit = [] {
        WaveFormatFields format = PcmFormat(1, 8000, 4);
        format.blockAlign = 1;
        format.averageBytesPerSecond = 4000;
        return format;
    };
    struct Case {
        const char* name;
        WaveFormatFields format;
        size_t dataLength;
        int32_t frameBytes, bufferBytes;
        uint32_t durationMs;
    } const cases[] = {
        {"44.1 kHz 16-bit stereo", PcmFormat(2, 44100, 16), 441000, 4, 352800, 2500},
        {"44.1 kHz 16-bit stereo, part second", PcmFormat(2, 44100, 16), 176399, 4, 352800, 999},
        {"22.05 kHz 8-bit mono", PcmFormat(1, 22050, 8), 11025, 1, 44100, 500},
        {"48 kHz 24-bit 6 channels", PcmFormat(6, 48000, 24), 864000, 18, 1728000, 1000},
        {"4-bit: frame bytes 0", FourBit(), 4000, 0, 8000, 1000},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> entry = WaveEntry().Format(c.format).Data(SampleBytes(c.dataLength)).Bytes();
        const WaveInfo info = ParseWave(entry);
        EXPECT_EQ(info.status, WaveStatusOk) << c.name;
        EXPECT_EQ(info.format, c.format) << c.name;
        EXPECT_TRUE(info.formatRead) << c.name;
        EXPECT_TRUE(info.dataFound) << c.name;
        EXPECT_EQ(info.dataStart, 44u) << c.name;
        EXPECT_EQ(info.dataLength, c.dataLength) << c.name;
        EXPECT_EQ(info.frameBytes, c.frameBytes) << c.name;
        EXPECT_EQ(info.bufferBytes, c.bufferBytes) << c.name;
        EXPECT_EQ(info.durationMs, c.durationMs) << c.name;
    }
}

// size ÷ rate × 1000 in 64-bit-mantissa precision, truncated: where the
// exact result is a whole number, extended precision may land just below it
// (and double just above, or the other way round).
TEST(WaveFormatTest, DurationIsComputedInExtendedPrecision)
{
    struct Case {
        uint32_t rate, size, durationMs;
    } const cases[] = {
        {176400, 177282, 1005},  // double: 1004
        {8000, 8, 0},            // double: 1
        {48000, 48, 0},          // double: 1
        {12345, 402447, 32599},  // double: 32600
        {176400, 176400, 1000},
        {1, 0x7FFFFFFF, UINT32_MAX},  // 2^31 s: saturated
        {1, 4294967, 4294967000u},
    };
    for (const Case& c : cases) {
        WaveFormatFields format = PcmFormat(1, c.rate, 8);
        // The walk never reads the samples: a data chunk header alone will do.
        const std::vector<uint8_t> entry = WaveEntry().Format(format).Chunk("data", {}, c.size).Bytes();
        const WaveInfo info = ParseWave(entry);
        EXPECT_EQ(info.status, WaveStatusOk) << c.size << " / " << c.rate;
        EXPECT_EQ(info.dataLength, c.size);
        EXPECT_EQ(info.durationMs, c.durationMs) << c.size << " / " << c.rate;
    }
}

// Other chunks are skipped by their size, odd sizes without a pad byte; the
// RIFF size means nothing.
TEST(WaveFormatTest, SkipsOtherChunksByTheirSizeAlone)
{
    const WaveFormatFields format = PcmFormat(2, 44100, 16);
    struct Case {
        const char* name;
        std::vector<uint8_t> entry;
        uint64_t dataStart;
    } const cases[] = {
        {"LIST between fmt and data",
         WaveEntry().Format(format).Chunk("LIST", std::vector<uint8_t>(26, 'x')).Data(SampleBytes(400)).Bytes(), 78},
        {"odd-sized chunks, no pad byte",
         WaveEntry().Chunk("junk", {1, 2, 3}).Format(format).Chunk("fact", {4}).Data(SampleBytes(400)).Bytes(), 64},
        {"empty chunk", WaveEntry().Format(format).Chunk("cue ", {}).Data(SampleBytes(400)).Bytes(), 52},
        {"RIFF size 0", WaveEntry().Format(format).Data(SampleBytes(400)).Bytes(0), 44},
        {"RIFF size too large", WaveEntry().Format(format).Data(SampleBytes(400)).Bytes(0xFFFFFFFF), 44},
    };
    for (const Case& c : cases) {
        const WaveInfo info = ParseWave(c.entry);
        EXPECT_EQ(info.status, WaveStatusOk) << c.name;
        EXPECT_EQ(info.format, format) << c.name;
        EXPECT_TRUE(info.dataFound) << c.name;
        EXPECT_EQ(info.dataStart, c.dataStart) << c.name;
        EXPECT_EQ(info.dataLength, 400u) << c.name;
        EXPECT_EQ(info.durationMs, 2u) << c.name;  // 400 / 176400 s
    }
}

// A chunk that honours RIFF's pad byte is read one byte early: the walk
// then finds no "data" and takes the duration from the garbled header.
TEST(WaveFormatTest, APadByteIsNotSkipped)
{
    std::vector<uint8_t> entry = WaveEntry().Format(PcmFormat(1, 8000, 8)).Chunk("odd ", {9}).Bytes();
    entry.push_back(0);  // pad
    const std::vector<uint8_t> data = WaveEntry().Data(SampleBytes(8)).Bytes();
    entry.insert(entry.end(), data.begin() + 12, data.end());
    const WaveInfo info = ParseWave(entry);
    EXPECT_EQ(info.status, WaveStatusOk);
    EXPECT_FALSE(info.dataFound);
    EXPECT_EQ(info.dataLength, 0u);
}

// The format is only what a "fmt " chunk before "data" wrote over the
// previous sound's format.
TEST(WaveFormatTest, FormatKeepsWhatNoFmtChunkOverwrote)
{
    WaveFormatFields previous = PcmFormat(2, 44100, 16);
    previous.extraBytes = 22;
    const WaveFormatFields mono = PcmFormat(1, 22050, 8);

    // data before fmt: the walk ends at data, the previous format stays.
    WaveInfo info = ParseWave(WaveEntry().Data(SampleBytes(100)).Format(mono).Bytes(), previous);
    EXPECT_EQ(info.status, WaveStatusOk);
    EXPECT_FALSE(info.formatRead);
    EXPECT_TRUE(info.dataFound);
    EXPECT_EQ(info.dataStart, 20u);
    EXPECT_EQ(info.format, previous);
    EXPECT_EQ(info.frameBytes, 4);

    // Without a previous format there is no byte rate: no duration.
    info = ParseWave(WaveEntry().Data(SampleBytes(100)).Format(mono).Bytes());
    EXPECT_EQ(info.status, WaveStatusFailed);
    EXPECT_EQ(info.failure, WaveFailure::ZeroByteRate);

    // A 16-byte chunk: the extra-bytes count becomes 0 all the same.
    info = ParseWave(WaveEntry().Format(mono, 16).Data(SampleBytes(100)).Bytes(), previous);
    EXPECT_EQ(info.format, mono);

    // A 6-byte chunk: tag and channels and the low half of the rate are new.
    info = ParseWave(WaveEntry().Format(mono, 6).Data(SampleBytes(100)).Bytes(), previous);
    WaveFormatFields mixed = previous;
    mixed.formatTag = 1;
    mixed.channels = 1;
    mixed.samplesPerSecond = (44100u & 0xFFFF0000u) | (22050u & 0xFFFFu);
    mixed.extraBytes = 0;
    EXPECT_EQ(info.format, mixed);
    EXPECT_TRUE(info.formatRead);
    EXPECT_EQ(info.dataStart, 34u);
}

// WAVE_FORMAT_EXTENSIBLE: 40 bytes of format; the first 18 are the format,
// the rest is skipped, the data follows.
TEST(WaveFormatTest, LongFmtChunkIsSkippedToItsEnd)
{
    WaveFormatFields format = PcmFormat(2, 48000, 16);
    format.formatTag = 0xFFFE;
    format.extraBytes = 22;
    const WaveInfo info = ParseWave(WaveEntry().Format(format, 40).Chunk("data", {}, 96000).Bytes());
    EXPECT_EQ(info.status, WaveStatusOk);
    WaveFormatFields expected = format;
    expected.extraBytes = 0;
    EXPECT_EQ(info.format, expected);
    EXPECT_TRUE(info.dataFound);
    EXPECT_EQ(info.dataStart, 68u);
    EXPECT_EQ(info.durationMs, 500u);
}

TEST(WaveFormatTest, BrokenEntriesFailOrStopCleanly)
{
    const std::vector<uint8_t> good =
        WaveEntry().Format(PcmFormat(2, 44100, 16)).Chunk("LIST", {1, 2, 3, 4}).Data(SampleBytes(16)).Bytes();
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> entry = good;
        std::memcpy(&entry[at], bytes.data(), bytes.size());
        return entry;
    };
    auto cut = [&](size_t length) {
        return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length));
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> entry;
        int status;
        WaveFailure failure;
        bool dataFound;
    } const cases[] = {
        {"empty", {}, WaveStatusNotRiff, WaveFailure::NotRiff, false},
        {"7 bytes", cut(7), WaveStatusNotRiff, WaveFailure::NotRiff, false},
        {"RIFX", with(0, {'R', 'I', 'F', 'X'}), WaveStatusNotRiff, WaveFailure::NotRiff, false},
        {"8 bytes", cut(8), WaveStatusNotWave, WaveFailure::NotWave, false},
        {"AVI form", with(8, {'A', 'V', 'I', ' '}), WaveStatusNotWave, WaveFailure::NotWave, false},
        // The walk stops; the last header read gives the duration.
        {"cut inside fmt, byte rate whole", cut(31), WaveStatusOk, WaveFailure::None, false},
        {"cut inside fmt, byte rate 0", cut(27), WaveStatusFailed, WaveFailure::ZeroByteRate, false},
        {"cut inside a chunk header", cut(51), WaveStatusOk, WaveFailure::None, false},
        {"cut inside the samples", cut(good.size() - 1), WaveStatusOk, WaveFailure::None, true},
        // Sizes the walk would take as negative.
        {"LIST of 2^31", with(40, {0, 0, 0, 0x80}), WaveStatusFailed, WaveFailure::ChunkTooLarge, false},
        {"data of 2^32 - 1", with(52, {0xFF, 0xFF, 0xFF, 0xFF}), WaveStatusFailed, WaveFailure::ChunkTooLarge, false},
        {"fmt of 2^31", with(16, {0, 0, 0, 0x80}), WaveStatusFailed, WaveFailure::ChunkTooLarge, false},
        // The largest size that is not refused runs past the end: no data.
        {"LIST of 2^31 - 1", with(40, {0xFF, 0xFF, 0xFF, 0x7F}), WaveStatusOk, WaveFailure::None, false},
        {"byte rate 0", with(28, {0, 0, 0, 0}), WaveStatusFailed, WaveFailure::ZeroByteRate, true},
        {"byte rate 2^30", with(28, {0, 0, 0, 0x40}), WaveStatusFailed, WaveFailure::ByteRateTooLarge, true},
        {"byte rate 2^32 - 1", with(28, {0xFF, 0xFF, 0xFF, 0xFF}), WaveStatusFailed, WaveFailure::ByteRateTooLarge,
         true},
    };
    for (const Case& c : cases) {
        const WaveInfo info = ParseWave(c.entry);
        EXPECT_EQ(info.status, c.status) << c.name;
        EXPECT_EQ(info.failure, c.failure) << c.name;
        EXPECT_EQ(info.dataFound, c.dataFound) << c.name;
        if (!c.dataFound) {
            EXPECT_EQ(info.dataLength, 0u) << c.name;
        }
    }
    EXPECT_EQ(ParseWave(with(40, {0, 0, 0, 0x80})).failureOffset, 36u);
    EXPECT_EQ(ParseWave(with(28, {0x00, 0x00, 0x00, 0x40})).bufferBytes, WaveInitialBufferBytes);
    EXPECT_EQ(ParseWave(with(28, {0xFF, 0xFF, 0xFF, 0x3F})).bufferBytes, 0x7FFFFFFE);
}

// A header read short at the end of the entry overwrites only the bytes that
// arrived: the size field of the LIST header before it keeps its high bytes.
TEST(WaveFormatTest, ShortLastHeaderKeepsTheBytesThatDidNotArrive)
{
    std::vector<uint8_t> entry =
        WaveEntry().Format(PcmFormat(1, 1024, 8)).Chunk("LIST", std::vector<uint8_t>(0x10203, 0)).Bytes();
    entry.insert(entry.end(), {'d', 'a', 't', 'a', 0x07});  // five of eight bytes
    const WaveInfo info = ParseWave(entry);
    EXPECT_EQ(info.status, WaveStatusOk);
    EXPECT_FALSE(info.dataFound);
    EXPECT_EQ(info.durationMs, 0x10207u * 1000 / 1024);  // 66055 bytes at 1024 a second
}

class WaveArchiveTest : public testing::Test {
protected:
    static std::vector<uint8_t> Entry()
    {
        return WaveEntry().Format(PcmFormat(2, 44100, 16)).Chunk("LIST", {1, 2, 3}).Data(SampleBytes(5000)).Bytes();
    }
};

// Through the archive, encrypted in every mode and behind a prefix, the walk
// gives what it gives over the bytes, and the cursor is left at the samples.
TEST_F(WaveArchiveTest, ReadWaveAgreesWithParseWaveInEveryMode)
{
    const std::vector<uint8_t> entry = Entry();
    ArchiveWriter writer(BlockCodeOptions(0x1234ABCDu, 0, 0));  // 256-byte blocks: interleaving inside the entry
    for (int mode = 0; mode < 4; ++mode)
        writer.Add({ResTagSound, static_cast<uint32_t>(mode), mode, entry, {9, 9, 9}, {}});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), ResErrorNone);
    const WaveInfo expected = ParseWave(entry);
    ASSERT_EQ(expected.status, WaveStatusOk);
    for (int mode = 0; mode < 4; ++mode) {
        const EntryRecord* record = ResEntryRecordOf(archive, 0, mode);
        ASSERT_NE(record, nullptr);
        ResCursor cursor{*record, 0};
        const WaveInfo info = ReadWave(archive, cursor);
        EXPECT_EQ(info.status, WaveStatusOk) << mode;
        EXPECT_EQ(info.format, expected.format) << mode;
        EXPECT_EQ(info.dataStart, expected.dataStart) << mode;
        EXPECT_EQ(info.dataLength, expected.dataLength) << mode;
        EXPECT_EQ(info.durationMs, expected.durationMs) << mode;
        EXPECT_EQ(cursor.position, static_cast<int64_t>(info.dataStart)) << mode;

        // A copy of the cursor reads the samples later, after other reads.
        ResCursor samples = cursor;
        uint8_t elsewhere[12];
        ASSERT_GE(ResCursorSeek(archive, cursor, 0), 0);
        ASSERT_EQ(ResCursorRead(archive, cursor, elsewhere, 12), 12);
        std::vector<uint8_t> got(300);
        ASSERT_GE(ResCursorSeek(archive, samples, static_cast<int64_t>(info.dataStart) + 4000), 0);
        ASSERT_EQ(ResCursorRead(archive, samples, got.data(), 300), 300);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), entry.begin() + static_cast<long>(info.dataStart) + 4000))
            << mode;
    }
}

TEST_F(WaveArchiveTest, ReadErrorsFailCleanly)
{
    ArchiveOptions options;
    options.checkWord = CheckWordChoice::None;
    ArchiveWriter writer(options);
    writer.Add({ResTagSound, 1, 0, Entry(), {}, {}});
    const std::vector<uint8_t> bytes = writer.Build();
    const PlainArchiveLayout layout = LocatePlainArchive(bytes);

    for (uint64_t failFrom : {uint64_t{0}, uint64_t{12}, uint64_t{40}}) {
        auto file = std::make_unique<MemoryFile>(bytes);
        MemoryFile* memory = file.get();
        ResArchive archive;
        ASSERT_EQ(ResOpenFile(archive, std::move(file), "memory.brsc", ResEmbedding::SideFile, 0, ResArchiveKind),
                  ResErrorNone);
        const EntryRecord* record = ResEntryRecordOf(archive, 0, 0);
        ASSERT_NE(record, nullptr);
        memory->failReadsFrom = layout.dataBase + record->offset + failFrom;
        ResCursor cursor{*record, 0};
        const WaveInfo info = ReadWave(archive, cursor);
        EXPECT_EQ(info.status, WaveStatusFailed) << failFrom;
        EXPECT_EQ(info.failure, WaveFailure::ReadFailed) << failFrom;
    }
}

}  // namespace
