#include "ZULResourceUtilLib/ResArchive.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/ProgramPaths.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

void Append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
}

// A side file laid out byte by byte, independent of the archive writer and
// of the ArchiveLayout names (its offsets are the format itself): two
// groups, an entry with prefix and suffix, and an empty entry.
std::vector<uint8_t> HandBuiltArchive()
{
    std::vector<uint8_t> file(28, 0);
    WriteLe32(file.data(), ResArchiveKind);
    std::memcpy(file.data() + 24, "ZULr", 4);
    Append(file, Bytes("PPhello worldS"));  // SSSc 1000: prefix 2, data 11, suffix 1
    Append(file, Bytes("abcde"));           // SGBm 7
    const uint64_t indexBlock = file.size();

    std::vector<uint8_t> index(28 + 2 * 12 + 3 * 24, 0);
    WriteLe64(index.data() + 8, indexBlock - 28);
    WriteLe32(index.data() + 16, 2);
    uint8_t* group = index.data() + 28;
    std::memcpy(group, "SSSc", 4), WriteLe32(group + 4, 1);
    std::memcpy(group + 12, "SGBm", 4), WriteLe32(group + 16, 2);
    uint8_t* entry = index.data() + 28 + 24;
    WriteLe32(entry, 1000), WriteLe64(entry + 4, 0), WriteLe32(entry + 12, 14), WriteLe16(entry + 20, 2), entry[23] = 1;
    entry += 24;
    WriteLe32(entry, 7), WriteLe64(entry + 4, 14), WriteLe32(entry + 12, 5);
    entry += 24;
    WriteLe32(entry, 9), WriteLe64(entry + 4, 19), WriteLe32(entry + 12, 0);
    Append(file, index);

    std::vector<uint8_t> trailer(64, 0);
    WriteLe32(trailer.data() + 52, ResArchiveKind);
    WriteLe64(trailer.data() + 56, index.size() - 28);
    Append(file, trailer);
    return file;
}

std::vector<uint8_t> ReadWhole(ResArchive& archive, int64_t group, int64_t entry)
{
    const int64_t length = ResReadAt(archive, group, entry, 0, nullptr, 0);
    std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(length, 0)));
    if (length > 0) {
        EXPECT_EQ(ResReadAt(archive, group, entry, 0, data.data(), 0), length);
    }
    return data;
}

TEST(ResArchive, OpensAHandBuiltSideFileAndReadsItsEntries)
{
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, HandBuiltArchive()), 0);
    EXPECT_EQ(archive.dataBase, 28u);
    EXPECT_EQ(archive.identificationB, ResArchiveKind);

    const int64_t scenario = ResFindGroup(archive, ResTagScenario);
    const int64_t pictures = ResFindGroup(archive, ResTagPicture);
    ASSERT_EQ(scenario, 0);
    ASSERT_EQ(pictures, 1);
    EXPECT_EQ(ResFindGroup(archive, ResTagSound), ResStatusNotFound);
    EXPECT_EQ(ResFindEntry(archive, pictures, 9), 1);

    EXPECT_EQ(ReadWhole(archive, scenario, ResFindEntry(archive, scenario, 1000)), Bytes("hello world"));
    EXPECT_EQ(ReadWhole(archive, pictures, 0), Bytes("abcde"));
    EXPECT_EQ(ResReadAt(archive, pictures, 1, 0, nullptr, 0), 0);
}

TEST(ResArchive, LookupsReportEachKindOfMiss)
{
    ResArchive archive;
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), ResStatusNoIndex);
    EXPECT_EQ(ResFindEntry(archive, 0, 7), ResStatusNoIndex);
    EXPECT_EQ(ResEntryRecordOf(archive, 0, 0), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorNotOpen);

    ASSERT_EQ(OpenArchiveBytes(archive, HandBuiltArchive()), 0);
    EXPECT_EQ(ResFindEntry(archive, 1, 8), ResStatusNotFound);
    EXPECT_EQ(ResFindEntry(archive, 2, 7), ResStatusGroupOutOfRange);
    EXPECT_EQ(ResFindEntry(archive, -1, 7), ResStatusGroupOutOfRange);
    EXPECT_EQ(ResEntryRecordOf(archive, 5, 0), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorGroupOutOfRange);
    EXPECT_EQ(ResEntryRecordOf(archive, 1, 2), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorEntryOutOfRange);
    EXPECT_EQ(ResReadAt(archive, 1, -1, 0, nullptr, 0), ResStatusEntryOutOfRange);
    EXPECT_EQ(ResSeekEntry(archive, 3, 0), ResStatusGroupOutOfRange);

    const EntryRecord* record = ResEntryRecordOf(archive, 0, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->id, 1000u);
    EXPECT_EQ(record->DataLength(), 11);
}

TEST(ResArchive, TagTextKeepsPrintableCharactersAndEscapesTheRest)
{
    const struct {
        uint32_t tag;
        const char* text;
    } cases[] = {
        {ResTagPicture, "SGBm"},
        {ResTag("ZULr"), "ZULr"},
        {0x6D424753u, "SGBm"},  // the first character is the lowest byte
        {0, "\\x00\\x00\\x00\\x00"},
        {ResTag("a\\ b"), "a\\x5c b"},  // a backslash would read as the start of an escape
        {0x7F1F7E20u, " ~\\x1f\\x7f"},
        {0xFF80C3A9u, "\\xa9\\xc3\\x80\\xff"},  // bytes above 0x7F, UTF-8 or not
    };
    for (const auto& c : cases) EXPECT_EQ(ResTagText(c.tag), c.text) << std::hex << c.tag;
}

TEST(ResArchive, LocateEntryTellsWhichStepFailedAndStoresItsErrorNumber)
{
    ResArchive closed;
    const ResEntryLocation noIndex = ResLocateEntry(closed, ResTagPicture, 7);
    EXPECT_FALSE(noIndex.Found());
    EXPECT_EQ(noIndex.group, ResStatusNoIndex);
    EXPECT_EQ(noIndex.entry, ResStatusNoIndex);
    EXPECT_EQ(closed.lastError, ResErrorNotOpen);

    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, HandBuiltArchive()), 0);
    const struct {
        uint32_t tag;
        uint32_t id;
        int64_t group;
        int64_t entry;
        int lastError;  // after the lookup, from -1
    } cases[] = {
        {ResTagScenario, 1000, 0, 0, -1},
        {ResTagPicture, 7, 1, 0, -1},
        {ResTagPicture, 9, 1, 1, -1},  // an empty entry is still an entry
        {ResTagPicture, 1000, 1, ResStatusNotFound, ResErrorNotFound},
        {ResTagSound, 7, ResStatusNotFound, ResStatusNotFound, ResErrorNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tag) + " " + std::to_string(c.id));
        archive.lastError = -1;
        const ResEntryLocation found = ResLocateEntry(archive, c.tag, c.id);
        EXPECT_EQ(found.group, c.group);
        EXPECT_EQ(found.entry, c.entry);
        EXPECT_EQ(archive.lastError, c.lastError);
        ASSERT_EQ(found.Found(), c.entry >= 0);
        if (found.Found()) {
            EXPECT_EQ(found.record, ResEntryRecordOf(archive, c.group, c.entry));
            EXPECT_EQ(found.record->id, c.id);
        }
    }
}

TEST(ResArchive, SameIdInTwoGroupsAndFirstMatchWins)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 5, 0, Bytes("picture five")});
    writer.Add({ResTagSound, 5, 0, Bytes("sound five")});
    writer.Add({ResTagPicture, 5, 0, Bytes("shadowed")});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    const int64_t pictures = ResFindGroup(archive, ResTagPicture);
    const int64_t sounds = ResFindGroup(archive, ResTagSound);
    EXPECT_EQ(ReadWhole(archive, pictures, ResFindEntry(archive, pictures, 5)), Bytes("picture five"));
    EXPECT_EQ(ReadWhole(archive, sounds, ResFindEntry(archive, sounds, 5)), Bytes("sound five"));
    const ResEntryLocation picture = ResLocateEntry(archive, ResTagPicture, 5);
    EXPECT_EQ(ReadWhole(archive, picture.group, picture.entry), Bytes("picture five"));
}

struct RoundTripCase {
    uint32_t keySeed;
    int blockShift;
    int interleaveShift;
};

class ResArchiveRoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Every mode, read whole and in pieces that start and end at awkward places:
// inside counter blocks, across interleave block borders and the 1,024-byte
// edge of the head mode.
TEST_P(ResArchiveRoundTrip, ReadsEveryModeWholeAndInPieces)
{
    const RoundTripCase& parameters = GetParam();
    ArchiveWriter writer(BlockCodeOptions(parameters.keySeed, parameters.blockShift, parameters.interleaveShift));
    std::vector<std::vector<uint8_t>> sources;
    for (int mode = 0; mode < 4; ++mode) {
        for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{1023}, size_t{1025}, size_t{70001}}) {
            sources.push_back(PatternBytes(length, static_cast<uint32_t>(sources.size())));
            ArchiveEntrySource entry{ResTagPicture, static_cast<uint32_t>(sources.size()), mode, sources.back()};
            entry.prefix = PatternBytes(mode * 3, 99);
            entry.suffix = PatternBytes(mode, 98);
            writer.Add(entry);
        }
    }
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    const int64_t group = ResFindGroup(archive, ResTagPicture);
    for (size_t index = 0; index < sources.size(); ++index) {
        SCOPED_TRACE("entry " + std::to_string(index));
        const std::vector<uint8_t>& expected = sources[index];
        const int64_t entry = ResFindEntry(archive, group, static_cast<uint32_t>(index + 1));
        EXPECT_EQ(ReadWhole(archive, group, entry), expected);

        const std::unique_ptr<uint8_t[]> loaded = ResLoadEntry(archive, group, entry);
        ASSERT_NE(loaded, nullptr);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), loaded.get()));

        ResCursor cursor{*ResEntryRecordOf(archive, group, entry), 0};
        for (int64_t start : {int64_t{5}, int64_t{1000}, int64_t{2047}, int64_t{4095}, int64_t{33333}}) {
            if (start > static_cast<int64_t>(expected.size())) continue;
            const int64_t length = std::min<int64_t>(9000, static_cast<int64_t>(expected.size()) - start);
            std::vector<uint8_t> piece(static_cast<size_t>(length));
            ASSERT_GE(ResCursorSeek(archive, cursor, start), 0);
            ASSERT_EQ(ResCursorRead(archive, cursor, piece.data(), length), length);
            EXPECT_EQ(cursor.position, start + length);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), expected.begin() + start)) << "from " << start;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KeySeedsAndBlockCodes, ResArchiveRoundTrip,
                         testing::Values(RoundTripCase{0, 3, 0}, RoundTripCase{1, 0, 0}, RoundTripCase{0x9E3779B9u, 2, 0},
                                         RoundTripCase{123456789u, 3, 1}, RoundTripCase{7u, 7, 3},
                                         RoundTripCase{0x80000000u, 5, 2}));

// The bytes as stored: the encrypted ranges must be exactly those the entry's
// mode names, encrypted with the counter of their data position.
TEST(ResArchive, StoresExactlyTheRangesEachModeEncrypts)
{
    ArchiveOptions options;
    options.keySeed = 4242;
    options.blockShift = 2;  // 1,024-byte blocks
    options.interleaveShift = 0;
    ArchiveWriter writer(options);
    const std::vector<uint8_t> zeros(5000, 0);
    for (int mode = 0; mode < 4; ++mode) writer.Add({ResTagPicture, static_cast<uint32_t>(mode), mode, zeros});
    const std::vector<uint8_t> file = writer.Build();

    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, file), 0);
    std::vector<uint8_t> keystream(zeros.size(), 0);
    AesCryptAt(&archive.cipher, &archive.key, keystream.data(), 0, static_cast<int64_t>(keystream.size()),
               keystream.data(), nullptr);

    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const EntryRecord& entry = *ResEntryRecordOf(archive, 0, mode);
        const uint8_t* stored = file.data() + archive.dataBase + entry.offset + entry.prefixLength;
        for (size_t position = 0; position < zeros.size(); ++position) {
            bool encrypted = mode == 3 || (mode == 1 && position < 1024) || (mode == 2 && (position / 1024) % 2 == 0);
            ASSERT_EQ(stored[position], encrypted ? keystream[position] : 0) << "at " << position;
        }
    }
}

TEST(ResArchive, HeadModeReadStartingAt1000DecryptsOnly24Bytes)
{
    ArchiveOptions options;
    options.keySeed = 77;
    ArchiveWriter writer(options);
    const std::vector<uint8_t> data = PatternBytes(3000, 5);
    writer.Add({ResTagSound, 1, 1, data});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    std::vector<uint8_t> piece(100);
    ASSERT_EQ(ResReadAt(archive, 0, 0, 1000, piece.data(), 100), 100);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), data.begin() + 1000));
}

TEST(ResArchive, KeySeedZeroReadsEveryModeAsPlain)
{
    ArchiveWriter writer;  // key seed 0
    const std::vector<uint8_t> data = PatternBytes(4000, 8);
    for (int mode = 0; mode < 4; ++mode) writer.Add({ResTagPicture, static_cast<uint32_t>(mode), mode, data});
    const std::vector<uint8_t> file = writer.Build();
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, file), 0);
    for (int mode = 0; mode < 4; ++mode) {
        const EntryRecord& entry = *ResEntryRecordOf(archive, 0, mode);
        EXPECT_EQ(entry.EncryptionMode(), mode);
        EXPECT_EQ(0, std::memcmp(file.data() + archive.dataBase + entry.offset, data.data(), data.size()));
        EXPECT_EQ(ReadWhole(archive, 0, mode), data);
    }
}

struct EmbeddingCase {
    const char* name;
    bool behindExecutable;
    CheckWordChoice checkWord;
    ResEmbedding embedding;
    int expected;
};

class ResArchiveEmbedding : public testing::TestWithParam<EmbeddingCase> {};

TEST_P(ResArchiveEmbedding, AcceptsAnArchiveBehindAProgramOnlyWithAPassingCheckWord)
{
    const EmbeddingCase& parameters = GetParam();
    for (uint32_t keySeed : {0u, 31337u}) {
        ArchiveOptions options;
        options.keySeed = keySeed;
        options.checkWord = parameters.checkWord;
        options.identificationA = 0;
        ArchiveWriter writer(options);
        writer.Add({ResTagScenario, 1000, 3, PatternBytes(300, 1)});
        const std::vector<uint8_t> file =
            parameters.behindExecutable ? writer.BuildBehind(PatternBytes(4097, 2)) : writer.Build();
        ResArchive archive;
        EXPECT_EQ(OpenArchiveBytes(archive, file, parameters.embedding), parameters.expected) << "key seed " << keySeed;
        if (parameters.expected == 0) EXPECT_EQ(ReadWhole(archive, 0, 0), PatternBytes(300, 1));
        else EXPECT_EQ(ResFindGroup(archive, ResTagScenario), ResStatusNoIndex);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CheckWords, ResArchiveEmbedding,
    testing::Values(EmbeddingCase{"SideFileNoCheckWord", false, CheckWordChoice::None, ResEmbedding::SideFile, 0},
                    EmbeddingCase{"SideFilePassing", false, CheckWordChoice::Passing, ResEmbedding::SideFile, 0},
                    EmbeddingCase{"SideFileFailing", false, CheckWordChoice::Failing, ResEmbedding::SideFile, 0},
                    EmbeddingCase{"BehindPassing", true, CheckWordChoice::Passing, ResEmbedding::SideFile, 0},
                    EmbeddingCase{"BehindNoCheckWord", true, CheckWordChoice::None, ResEmbedding::SideFile, 5},
                    EmbeddingCase{"BehindFailing", true, CheckWordChoice::Failing, ResEmbedding::SideFile, 5},
                    EmbeddingCase{"ProgramFileAtZeroNoCheckWord", false, CheckWordChoice::None, ResEmbedding::ProgramFile, 5},
                    EmbeddingCase{"ProgramFileAtZeroPassing", false, CheckWordChoice::Passing, ResEmbedding::ProgramFile, 0},
                    EmbeddingCase{"ProgramFileBehindPassing", true, CheckWordChoice::Passing, ResEmbedding::ProgramFile, 0}),
    [](const testing::TestParamInfo<EmbeddingCase>& info) { return info.param.name; });

TEST(ResArchive, RefusesTheWrongIdentification)
{
    for (CheckWordChoice checkWord : {CheckWordChoice::None, CheckWordChoice::Passing}) {
        ArchiveOptions options;
        options.identificationA = 17;
        options.checkWord = checkWord;
        ArchiveWriter writer(options);
        writer.Add({ResTagPicture, 1, 0, Bytes("x")});
        const std::vector<uint8_t> file = writer.Build();
        ResArchive archive;
        auto open = [&](uint32_t identificationA, uint32_t kind) {
            return ResOpenFile(archive, std::make_unique<MemoryFile>(file), "a", ResEmbedding::SideFile,
                               identificationA, kind);
        };
        EXPECT_EQ(open(0, ResArchiveKind), ResErrorInvalidArchive);
        EXPECT_EQ(open(17, ResArchiveKind + 1), ResErrorInvalidArchive);
        EXPECT_EQ(open(17, ResArchiveKind), 0);
        EXPECT_EQ(archive.identificationA, 17u);
    }
}

TEST(ResArchive, ReadAtBoundaries)
{
    ArchiveWriter writer;
    const std::vector<uint8_t> data = PatternBytes(100, 3);
    writer.Add({ResTagPicture, 1, 0, data});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    std::vector<uint8_t> buffer(200, 0xEE);

    EXPECT_EQ(ResReadAt(archive, 0, 0, 0, nullptr, 0), 100);
    EXPECT_EQ(ResReadAt(archive, 0, 0, 40, buffer.data(), 0), 60);  // length 0: to the end
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 60, data.begin() + 40));
    EXPECT_EQ(buffer[60], 0xEE);
    EXPECT_EQ(ResReadAt(archive, 0, 0, 90, buffer.data(), 500), 10);  // too long: to the end
    EXPECT_EQ(ResReadAt(archive, 0, 0, 100, buffer.data(), 5), 0);
    EXPECT_EQ(ResReadAt(archive, 0, 0, 101, buffer.data(), 5), ResStatusBadOffset);
    EXPECT_EQ(ResReadAt(archive, 0, 0, -1, buffer.data(), 5), ResStatusBadOffset);
    EXPECT_EQ(ResReadAt(archive, 0, 0, 0, buffer.data(), -5), ResStatusBadOffset);
}

TEST(ResArchive, ReadAtLeavesTheFileRightAfterTheBytesRead)
{
    ArchiveOptions options;
    options.keySeed = 5;
    ArchiveWriter writer(options);
    const std::vector<uint8_t> data = PatternBytes(2000, 4);
    writer.Add({ResTagPicture, 1, 3, data});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    uint8_t header[32];
    ASSERT_EQ(ResReadAt(archive, 0, 0, 0, header, 32), 32);
    ResCursor cursor{*ResEntryRecordOf(archive, 0, 0), 32};  // no seek: goes on where ResReadAt stopped
    std::vector<uint8_t> rest(1968);
    ASSERT_EQ(ResCursorRead(archive, cursor, rest.data(), 1968), 1968);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), data.begin() + 32));
}

TEST(ResArchive, CursorSeekBoundaries)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, PatternBytes(100, 3)});
    ResArchive archive;
    ResCursor cursor;
    EXPECT_EQ(ResCursorSeek(archive, cursor, 0), ResStatusClosed);
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    cursor = ResCursor{*ResEntryRecordOf(archive, 0, 0), 0};

    const int64_t start = ResCursorSeek(archive, cursor, 0);
    EXPECT_EQ(start, static_cast<int64_t>(archive.dataBase + cursor.entry.offset));
    EXPECT_EQ(ResCursorSeek(archive, cursor, 100), start + 100);
    EXPECT_EQ(cursor.position, 100);
    EXPECT_EQ(ResCursorSeek(archive, cursor, 101), ResStatusOutsideData);
    EXPECT_EQ(ResCursorSeek(archive, cursor, -1), ResStatusOutsideData);
    EXPECT_EQ(cursor.position, 100);
    EXPECT_EQ(ResSeekEntry(archive, 0, 0), start);

    ResCursor inconsistent = cursor;
    inconsistent.entry.prefixLength = 101;
    EXPECT_EQ(ResCursorSeek(archive, inconsistent, 0), ResStatusSizesInconsistent);
}

// A cursor never reads past its entry into the suffix or the next entry.
TEST(ResArchive, CursorReadStopsAtTheEndOfTheEntryData)
{
    ArchiveWriter writer;
    ArchiveEntrySource first{ResTagPicture, 1, 0, PatternBytes(50, 1)};
    first.suffix = Bytes("SUFFIX");
    writer.Add(first);
    writer.Add({ResTagPicture, 2, 0, PatternBytes(50, 2)});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    ResCursor cursor{*ResEntryRecordOf(archive, 0, 0), 0};
    ASSERT_GE(ResCursorSeek(archive, cursor, 40), 0);
    std::vector<uint8_t> buffer(100, 0);
    EXPECT_EQ(ResCursorRead(archive, cursor, buffer.data(), 100), 10);
    EXPECT_EQ(ResCursorRead(archive, cursor, buffer.data(), 100), 0);
    EXPECT_EQ(cursor.position, 50);
}

TEST(ResArchive, FileFailuresBecomeStatuses)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, PatternBytes(4000, 3)});
    const std::vector<uint8_t> bytes = writer.Build();
    auto failing = std::make_unique<MemoryFile>(bytes);
    MemoryFile& file = *failing;
    ResArchive archive;
    ASSERT_EQ(ResOpenFile(archive, std::move(failing), "f", ResEmbedding::SideFile, 0, ResArchiveKind), 0);
    std::vector<uint8_t> buffer(4000);

    file.failReadsFrom = 28 + 1000;
    EXPECT_EQ(ResReadAt(archive, 0, 0, 2000, buffer.data(), 10), ResStatusShortRead);
    file.failReadsFrom = UINT64_MAX;
    file.failSeeksFrom = 28 + 1000;
    EXPECT_EQ(ResReadAt(archive, 0, 0, 2000, buffer.data(), 10), ResStatusSeekFailed);
    EXPECT_EQ(ResSeekEntry(archive, 0, 0), 28);
    ResCursor cursor{*ResEntryRecordOf(archive, 0, 0), 500};
    EXPECT_EQ(ResCursorSeek(archive, cursor, 3000), ResStatusNotFound);
    EXPECT_EQ(cursor.position, 0);
    const std::unique_ptr<uint8_t[]> loaded = ResLoadEntry(archive, 0, 0);
    EXPECT_NE(loaded, nullptr);  // reads from 28, before the failing seek offset
}

TEST(ResArchive, LoadEntryReportsErrorNumbers)
{
    ResArchive archive;
    EXPECT_EQ(ResLoadEntry(archive, 0, 0), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorNotOpen);
    ASSERT_EQ(OpenArchiveBytes(archive, HandBuiltArchive()), 0);
    EXPECT_EQ(ResLoadEntry(archive, 2, 0), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorGroupOutOfRange);
    EXPECT_EQ(ResLoadEntry(archive, 1, 2), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorEntryOutOfRange);
    EXPECT_NE(ResLoadEntry(archive, 1, 1), nullptr);  // an empty entry still gives a buffer
}

TEST(ResArchive, InconsistentEntrySizes)
{
    std::vector<uint8_t> file = HandBuiltArchive();
    const PlainArchiveLayout layout = LocatePlainArchive(file);
    WriteLe16(file.data() + layout.entryRecord(2, 0) + ArchiveLayout::Entry::PrefixLength, 14);  // prefix 14 + suffix 1 > stored 14
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, file), 0);
    EXPECT_EQ(ResReadAt(archive, 0, 0, 0, nullptr, 0), ResStatusSizesInconsistent);
    EXPECT_EQ(ResSeekEntry(archive, 0, 0), ResStatusSizesInconsistent);
    EXPECT_EQ(ResLoadEntry(archive, 0, 0), nullptr);
    EXPECT_EQ(archive.lastError, ResErrorSizesInconsistent);
}

TEST(ResArchive, CloseIsHarmlessTwiceAndOpenReplacesAnOpenArchive)
{
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, HandBuiltArchive()), 0);
    ArchiveWriter writer;
    writer.Add({ResTagSound, 3, 0, Bytes("wave")});
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    EXPECT_EQ(ResFindGroup(archive, ResTagScenario), ResStatusNotFound);
    EXPECT_EQ(ResFindGroup(archive, ResTagSound), 0);

    EXPECT_EQ(ResClose(archive), 0);
    EXPECT_EQ(ResClose(archive), 0);
    EXPECT_EQ(ResFindGroup(archive, ResTagSound), ResStatusNoIndex);
    EXPECT_TRUE(archive.path.empty());
    EXPECT_EQ(archive.dataBase, 0u);
    ResCursor cursor;
    uint8_t byte;
    EXPECT_EQ(ResCursorRead(archive, cursor, &byte, 1), ResStatusClosed);
}

TEST(ResArchive, ErrorNumbersOfStatuses)
{
    const std::pair<int64_t, int> table[] = {
        {0, 0}, {123, 0}, {-1, 16}, {-2, 10}, {-3, 14}, {-4, 15}, {-5, 2},
        {-6, 8}, {-7, 17}, {-8, 20}, {-9, 18}, {-10, 1}, {-11, 1}, {INT64_MIN, 1},
    };
    for (const auto& [status, number] : table) EXPECT_EQ(ResErrorNumber(status), number) << status;
}

class ResOpenOnDisk : public testing::Test {
protected:
    void TearDown() override
    {
        for (const auto& path : made_) std::filesystem::remove_all(path);
    }
    std::filesystem::path Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        made_.push_back(path);
        return path;
    }
    std::vector<std::filesystem::path> made_;
};

TEST_F(ResOpenOnDisk, ResolvesBareNamesFromTheProgramFolderAndReportsMissingFiles)
{
    const std::string name = "ResOpenOnDisk_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".brsc";
    Write(ProgramFolder() / name, HandBuiltArchive());

    ResArchive archive;
    ASSERT_EQ(ResOpen(archive, name, 0, ResArchiveKind), 0);
    EXPECT_EQ(archive.path, ProgramFolder() / name);
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), 1);

    // A missing file leaves the open archive open.
    EXPECT_EQ(ResOpen(archive, "no such archive.brsc", 0, ResArchiveKind), ResErrorNoFile);
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), 1);

    // A directory exists but cannot be opened as an archive file.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("ResOpenDir_" + name);
    std::filesystem::create_directories(folder);
    made_.push_back(folder);
    EXPECT_EQ(ResOpen(archive, folder, 0, ResArchiveKind), ResErrorNotOpen);
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), ResStatusNoIndex);

    // A path with a folder is used as given.
    const std::filesystem::path elsewhere = Write(folder / "x.brsc", HandBuiltArchive());
    EXPECT_EQ(ResOpen(archive, elsewhere, 0, ResArchiveKind), 0);
    EXPECT_EQ(ResOpen(archive, folder / "y.brsc", 0, ResArchiveKind), ResErrorNoFile);
}

TEST_F(ResOpenOnDisk, EmptyPathOpensTheRunningProgram)
{
    // The test program carries no archive behind it.
    ResArchive archive;
    EXPECT_EQ(ResOpen(archive, "", 0, ResArchiveKind), ResErrorInvalidArchive);
    EXPECT_TRUE(archive.path.empty());
}

#ifndef _WIN32
// A reader stuck in open() on a FIFO that no one writes would hang the whole
// suite. Unless the test ends first, this opens the FIFO's writing end (again
// and again, as a reader may come late) so that such a reader returns and the
// test fails on what it finds instead.
class FifoWatchdog {
public:
    explicit FifoWatchdog(std::filesystem::path fifo) : fifo_(std::move(fifo)), thread_([this] { Watch(); }) {}
    ~FifoWatchdog() { Stop(); }

    // Ends the watch; true when it had to let a reader through.
    bool Stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        return rescued_;
    }

private:
    void Watch()
    {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(10), [this] { return stopped_; })) return;
        while (!stopped_) {
            lock.unlock();
            // Non-blocking: succeeds only while a reader waits in open().
            const int writer = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                rescued_ = true;
                ::close(writer);
            }
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopped_; });
        }
    }

    std::filesystem::path fifo_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::atomic<bool> rescued_{false};
    std::thread thread_;
};

// A side file named SC_TEST.brsc may be anything a user (or an attacker) put
// there: the reader must refuse what is not a regular file without waiting
// on it or reading it for ever, and close what it had open.
TEST_F(ResOpenOnDisk, RefusesFoldersPipesAndDevicesAtOnce)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("ResOpenSpecial_" + std::to_string(::getpid()) + "_" +
                                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    made_.push_back(folder);
    const std::filesystem::path fifo = folder / "SC_TEST.brsc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::filesystem::path archivePath = Write(folder / "good.brsc", HandBuiltArchive());

    const std::filesystem::path cases[] = {fifo, folder, "/dev/zero", "/dev/null"};
    for (const std::filesystem::path& path : cases) {
        if (!std::filesystem::exists(path)) continue;  // a container without /dev/zero
        ResArchive archive;
        ASSERT_EQ(ResOpen(archive, archivePath, 0, ResArchiveKind), ResErrorNone);
        FifoWatchdog watchdog(fifo);
        EXPECT_EQ(ResOpen(archive, path, 0, ResArchiveKind), ResErrorNotOpen) << path;
        EXPECT_FALSE(watchdog.Stop()) << path << ": the reader waited for a writer";
        EXPECT_EQ(archive.openFailure, ResOpenFailure::NotRegularFile) << path;
        EXPECT_EQ(archive.file, nullptr) << path;
        EXPECT_EQ(ResFindGroup(archive, ResTagPicture), ResStatusNoIndex) << path;
    }

    // The platform's opening alone says the same.
    FifoWatchdog watchdog(fifo);
    FileOpenFailure failure = FileOpenFailure::None;
    EXPECT_EQ(OpenReadOnlyShared(fifo, &failure), nullptr);
    EXPECT_FALSE(watchdog.Stop());
    EXPECT_EQ(failure, FileOpenFailure::NotRegularFile);
    const std::unique_ptr<ReadOnlyFile> regular = OpenReadOnlyShared(archivePath, &failure);
    EXPECT_NE(regular, nullptr);
    EXPECT_EQ(failure, FileOpenFailure::None);
    EXPECT_EQ(OpenReadOnlyShared(folder / "missing", &failure), nullptr);
    EXPECT_EQ(failure, FileOpenFailure::CannotOpen);
}
#endif

} // namespace
