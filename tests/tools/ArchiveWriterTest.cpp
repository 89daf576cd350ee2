// The archive writer: what it stores byte by byte (checked against the
// layout and an independent keystream, not against the reader), and that the
// reader gets every entry back for every mode, block code, prefix and suffix
// and check-word choice.

#include "tools/authoring/ArchiveWriter.h"

#include "ZULResourceUtilLib/AESUnit.h"
#include "ZULResourceUtilLib/ArchiveKey.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "platform/ReadOnlyFile.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr uint32_t KeySeed = 0x1234ABCDu;
constexpr uint32_t HeaderTag = ResTag("ZULr");

std::vector<uint8_t> ReadWholeEntry(ResArchive& archive, uint32_t tag, uint32_t id)
{
    const ResEntryLocation found = ResLocateEntry(archive, tag, id);
    if (!found.Found()) return {};
    const int64_t length = ResReadAt(archive, found.group, found.entry, 0, nullptr, 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(length, 0)));
    if (length > 0 && ResReadAt(archive, found.group, found.entry, 0, bytes.data(), length) != length) return {};
    return bytes;
}

// The keystream of an archive's key seed from counter block 0, made with the
// sequential transform rather than the positioned one the writer uses.
std::vector<uint8_t> Keystream(uint32_t keySeed, size_t length)
{
    uint8_t keyBytes[32];
    uint8_t nonceBytes[16];
    GenerateArchiveKey(keySeed, keyBytes, nonceBytes);
    AesKey key;
    AesCipher cipher;
    AesMakeKey(&key, AesDirectionDecrypt, 256, keyBytes);
    AesCipherInit(&cipher, AesModeCounter, nonceBytes);
    std::vector<uint8_t> stream(length, 0);
    if (length > 0) AesCryptBuffer(&cipher, &key, stream.data(), static_cast<int64_t>(length), stream.data());
    return stream;
}

// Where the stored bytes of the only entry of a one-entry archive begin.
uint64_t FirstDataOffset(const std::vector<uint8_t>& file)
{
    ResArchive archive;
    if (OpenArchiveBytes(archive, file) != ResErrorNone) return 0;
    const EntryRecord* record = ResEntryRecordOf(archive, 0, 0);
    return record ? archive.dataBase + record->offset + record->prefixLength : 0;
}

// ---------------------------------------------------------------------------
// Stored bytes

struct StoredCase {
    int mode;
    int blockShift;
    int interleaveShift;
};

class StoredDataTest : public testing::TestWithParam<StoredCase> {};

// Every data byte is stored either plain or XORed with the keystream at its
// own data position, exactly where the mode says.
TEST_P(StoredDataTest, EncryptsExactlyTheBytesItsModeNames)
{
    const StoredCase c = GetParam();
    const size_t blockSize = size_t{256} << c.blockShift;
    const size_t interleaveMask = (size_t{2} << c.interleaveShift) - 1;
    // Long enough to show a second encrypted block after a plain run.
    const size_t length = blockSize * (interleaveMask + 2) + 37;
    const std::vector<uint8_t> data = PatternBytes(length, 7);

    ArchiveWriter writer(BlockCodeOptions(KeySeed, c.blockShift, c.interleaveShift));
    writer.Add({ResTagPicture, 3, c.mode, data, {1, 2, 3}, {4, 5}});
    const std::vector<uint8_t> file = writer.Build();

    const uint64_t start = FirstDataOffset(file);
    ASSERT_GE(start, uint64_t{28});
    ASSERT_LE(start + length, file.size());
    const std::vector<uint8_t> stream = Keystream(KeySeed, length);
    auto encrypted = [&](size_t position) {
        switch (c.mode) {
        case 1: return position < ResHeadEncryptedLength;
        case 2: return ((position / blockSize) & interleaveMask) == 0;
        case 3: return true;
        default: return false;
        }
    };
    size_t wrong = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t expected = encrypted(i) ? static_cast<uint8_t>(data[i] ^ stream[i]) : data[i];
        if (file[start + i] != expected && wrong++ < 5) ADD_FAILURE() << "data position " << i;
    }
    EXPECT_EQ(wrong, 0u);
    // Prefix and suffix are stored as given, never encrypted.
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<ptrdiff_t>(start) - 3, file.begin() + static_cast<ptrdiff_t>(start)),
              (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(file[start + length], 4);
    EXPECT_EQ(file[start + length + 1], 5);
}

std::vector<StoredCase> StoredCases()
{
    std::vector<StoredCase> cases = {{0, 3, 0}, {1, 3, 0}, {3, 3, 0}, {1, 0, 2}, {3, 7, 3}};
    for (int blockShift = 0; blockShift <= 7; ++blockShift)
        for (int interleaveShift = 0; interleaveShift <= 3; ++interleaveShift) cases.push_back({2, blockShift, interleaveShift});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ModesAndBlockCodes, StoredDataTest, testing::ValuesIn(StoredCases()),
                         [](const testing::TestParamInfo<StoredCase>& info) {
                             return "Mode" + std::to_string(info.param.mode) + "_Block" +
                                    std::to_string(info.param.blockShift) + "_Interleave" +
                                    std::to_string(info.param.interleaveShift);
                         });

TEST(ArchiveWriterLayout, KeySeedZeroStoresEveryModePlain)
{
    ArchiveWriter writer;  // key seed 0
    for (int mode = 0; mode <= 3; ++mode) writer.Add({ResTagSound, static_cast<uint32_t>(mode), mode, PatternBytes(3000, mode), {}, {}});
    const std::vector<uint8_t> file = writer.Build();
    const PlainArchiveLayout layout = LocatePlainArchive(file);
    for (int mode = 0; mode <= 3; ++mode) {
        const uint8_t* record = &file[layout.entryRecord(1, static_cast<uint64_t>(mode))];
        EXPECT_EQ(record[18], mode);
        const uint64_t start = layout.dataBase + ReadLe64(record + 4);
        const std::vector<uint8_t> expected = PatternBytes(3000, mode);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + static_cast<ptrdiff_t>(start))) << mode;
    }
}

// The fields of a plain side file, read with the layout alone.
TEST(ArchiveWriterLayout, PlainArchiveFieldsSitWhereTheReaderLooks)
{
    ArchiveOptions options;
    options.blockShift = 5;
    options.interleaveShift = 2;
    options.checkWord = CheckWordChoice::None;
    options.identificationA = 0x01020304u;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 0, PatternBytes(10, 1), {}, {}});
    writer.Add({ResTagPicture, 0xFFFFFFFFu, 2, PatternBytes(20, 2), std::vector<uint8_t>(300, 0xAA), {9, 9}});
    writer.Add({ResTagScenario, 7, 3, PatternBytes(5, 3), {}, {}});
    const std::vector<uint8_t> file = writer.Build();
    const PlainArchiveLayout layout = LocatePlainArchive(file);

    EXPECT_EQ(layout.dataBase, 28u);
    EXPECT_EQ(ReadLe32(&file[0]), ResArchiveKind);
    EXPECT_EQ(ReadLe32(&file[4]), 0u);
    EXPECT_EQ(ReadLe32(&file[12]), 0u);
    EXPECT_EQ(ReadLe32(&file[20]), 0u);
    EXPECT_EQ(ReadLe32(&file[24]), HeaderTag);

    const uint8_t* trailer = &file[layout.trailer];
    EXPECT_EQ(ReadLe32(trailer + 20), 0u);   // key seed
    EXPECT_EQ(ReadLe32(trailer + 40), 0u);   // check word
    EXPECT_EQ(trailer[46], 5 << 2 | 2);      // block code
    EXPECT_EQ(ReadLe32(trailer + 48), 0x01020304u);
    EXPECT_EQ(ReadLe32(trailer + 52), ResArchiveKind);
    EXPECT_EQ(ReadLe64(trailer + 56), 2u * 12 + 3u * 24);
    for (int offset : {0, 4, 8, 12, 16, 24, 28, 32, 36, 44}) EXPECT_EQ(ReadLe16(trailer + offset), 0) << offset;
    EXPECT_EQ(trailer[47], 0);

    const uint8_t* indexHeader = &file[layout.indexBlock];
    EXPECT_EQ(ReadLe64(indexHeader), 0u);
    EXPECT_EQ(ReadLe32(indexHeader + 16), 2u);
    EXPECT_EQ(ReadLe64(indexHeader + 20), 0u);

    // Groups in the order their tags first appear; entries in order of addition.
    EXPECT_EQ(ReadLe32(&file[layout.groupRecord(0)]), ResTagScenario);
    EXPECT_EQ(ReadLe32(&file[layout.groupRecord(0)] + 4), 2u);
    EXPECT_EQ(ReadLe32(&file[layout.groupRecord(1)]), ResTagPicture);
    EXPECT_EQ(ReadLe32(&file[layout.groupRecord(1)] + 4), 1u);
    const uint8_t* first = &file[layout.entryRecord(2, 0)];
    const uint8_t* second = &file[layout.entryRecord(2, 1)];
    const uint8_t* picture = &file[layout.entryRecord(2, 2)];
    EXPECT_EQ(ReadLe32(first), 1000u);
    EXPECT_EQ(ReadLe32(second), 7u);
    EXPECT_EQ(ReadLe32(picture), 0xFFFFFFFFu);
    EXPECT_EQ(ReadLe32(picture + 12), 322u);  // stored size: prefix + data + suffix
    EXPECT_EQ(ReadLe16(picture + 16), 0u);
    EXPECT_EQ(picture[18], 2);
    EXPECT_EQ(picture[19], 0);
    EXPECT_EQ(ReadLe16(picture + 20), 300u);
    EXPECT_EQ(picture[22], 0);
    EXPECT_EQ(picture[23], 2);
    // Stored bytes of the entries do not overlap and stay inside the data area.
    const uint64_t indexOffset = ReadLe64(indexHeader + 8);
    EXPECT_EQ(indexOffset, layout.indexBlock - layout.dataBase);
    EXPECT_LE(ReadLe64(picture + 4) + 322, indexOffset);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 28 + static_cast<ptrdiff_t>(ReadLe64(picture + 4)),
                                   file.begin() + 28 + static_cast<ptrdiff_t>(ReadLe64(picture + 4)) + 300),
              std::vector<uint8_t>(300, 0xAA));
}

// The index is stored in pieces, each with its own counter from block 0: the
// index header, each group record, each group's run of entry records.
TEST(ArchiveWriterLayout, EncryptedIndexDecryptsPieceByPiece)
{
    ArchiveOptions options;
    options.keySeed = KeySeed;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 3, PatternBytes(50, 1), {}, {}});
    writer.Add({ResTagPicture, 11, 1, PatternBytes(60, 2), {}, {}});
    writer.Add({ResTagPicture, 12, 2, PatternBytes(70, 3), {}, {}});
    const std::vector<uint8_t> file = writer.Build();
    const uint64_t trailer = file.size() - 64;
    const uint64_t indexLength = ReadLe64(&file[trailer + 56]);
    ASSERT_EQ(indexLength, 2u * 12 + 3u * 24);
    const uint64_t indexBlock = trailer - 28 - indexLength;

    const std::vector<uint8_t> stream = Keystream(KeySeed, 48);
    auto piece = [&](uint64_t offset, size_t length) {
        std::vector<uint8_t> bytes(file.begin() + static_cast<ptrdiff_t>(offset),
                                   file.begin() + static_cast<ptrdiff_t>(offset + length));
        for (size_t i = 0; i < length; ++i) bytes[i] ^= stream[i];
        return bytes;
    };
    const std::vector<uint8_t> header = piece(indexBlock, 28);
    EXPECT_EQ(ReadLe64(&header[8]), indexBlock - 28);
    EXPECT_EQ(ReadLe32(&header[16]), 2u);
    const std::vector<uint8_t> secondGroup = piece(indexBlock + 28 + 12, 12);
    EXPECT_EQ(ReadLe32(&secondGroup[0]), ResTagPicture);
    EXPECT_EQ(ReadLe32(&secondGroup[4]), 2u);
    const std::vector<uint8_t> secondRun = piece(indexBlock + 28 + 24 + 24, 48);
    EXPECT_EQ(ReadLe32(&secondRun[0]), 11u);
    EXPECT_EQ(ReadLe32(&secondRun[24]), 12u);
    EXPECT_EQ(secondRun[24 + 18], 2);
}

// ---------------------------------------------------------------------------
// Round trips through the reader

struct RoundTripCase {
    uint32_t keySeed;
    int blockShift;
    int interleaveShift;
};

class WriterRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(WriterRoundTripTest, ReaderGetsEveryEntryBack)
{
    const RoundTripCase c = GetParam();
    ArchiveWriter writer(BlockCodeOptions(c.keySeed, c.blockShift, c.interleaveShift));
    const size_t blockSize = size_t{256} << c.blockShift;
    const size_t lengths[] = {0, 1, 17, 1023, 1024, 1025, blockSize * 5 + 3};
    uint32_t id = 0;
    for (int mode = 0; mode <= 3; ++mode) {
        for (size_t length : lengths) {
            ++id;
            const uint32_t tag = (id % 2) ? ResTagPicture : ResTagSound;
            writer.Add({tag, id, mode, PatternBytes(length, id), PatternBytes(id % 5, id + 100), PatternBytes(id % 3, id + 200)});
        }
    }
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), ResErrorNone);
    EXPECT_EQ(archive.keySeed, c.keySeed);
    EXPECT_EQ(archive.blockSize, static_cast<int>(blockSize));
    EXPECT_EQ(archive.interleaveMask, (2 << c.interleaveShift) - 1);
    for (uint32_t i = 1; i <= id; ++i) {
        const uint32_t tag = (i % 2) ? ResTagPicture : ResTagSound;
        EXPECT_EQ(ReadWholeEntry(archive, tag, i), PatternBytes(lengths[(i - 1) % 7], i)) << "entry " << i;
    }
}

// Ranges that start and end inside blocks, across borders between encrypted
// and plain blocks, and across the end of the encrypted head.
TEST_P(WriterRoundTripTest, RangesAcrossBlockBordersReadBack)
{
    const RoundTripCase c = GetParam();
    const int64_t blockSize = int64_t{256} << c.blockShift;
    const std::vector<uint8_t> data = PatternBytes(static_cast<size_t>(blockSize * 18 + 100), 5);
    ArchiveWriter writer(BlockCodeOptions(c.keySeed, c.blockShift, c.interleaveShift));
    for (int mode = 0; mode <= 3; ++mode) writer.Add({ResTagPicture, static_cast<uint32_t>(mode), mode, data, {7}, {}});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), ResErrorNone);

    const int64_t ranges[][2] = {{blockSize - 5, 10}, {1000, 100}, {7, blockSize * 3}, {blockSize * 15 + 1, blockSize * 2 + 50}};
    for (int mode = 0; mode <= 3; ++mode) {
        for (const auto& range : ranges) {
            std::vector<uint8_t> bytes(static_cast<size_t>(range[1]));
            ASSERT_EQ(ResReadAt(archive, 0, mode, range[0], bytes.data(), range[1]), range[1]);
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data.begin() + range[0]))
                << "mode " << mode << " offset " << range[0] << " length " << range[1];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BlockCodes, WriterRoundTripTest,
                         testing::Values(RoundTripCase{0, 3, 0}, RoundTripCase{KeySeed, 0, 0}, RoundTripCase{KeySeed, 0, 3},
                                         RoundTripCase{KeySeed, 2, 1}, RoundTripCase{KeySeed, 3, 0},
                                         RoundTripCase{0xFFFFFFFFu, 5, 2}, RoundTripCase{1, 7, 3}),
                         [](const testing::TestParamInfo<RoundTripCase>& info) {
                             return "Seed" + std::to_string(info.param.keySeed) + "_Block" +
                                    std::to_string(info.param.blockShift) + "_Interleave" +
                                    std::to_string(info.param.interleaveShift);
                         });

TEST(ArchiveWriterRoundTrip, LongestPrefixAndSuffixAreSkipped)
{
    ArchiveOptions options;
    options.keySeed = KeySeed;
    ArchiveWriter writer(options);
    for (int mode = 0; mode <= 3; ++mode)
        writer.Add({ResTagSound, static_cast<uint32_t>(mode), mode, PatternBytes(4000, mode), PatternBytes(65535, 50),
                    PatternBytes(255, 60)});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), ResErrorNone);
    for (int mode = 0; mode <= 3; ++mode) {
        const EntryRecord* record = ResEntryRecordOf(archive, 0, mode);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->prefixLength, 65535);
        EXPECT_EQ(record->suffixLength, 255);
        EXPECT_EQ(ReadWholeEntry(archive, ResTagSound, static_cast<uint32_t>(mode)), PatternBytes(4000, mode));
    }
}

TEST(ArchiveWriterRoundTrip, EmptyArchiveOpensWithoutGroups)
{
    for (uint32_t keySeed : {0u, KeySeed}) {
        ArchiveOptions options;
        options.keySeed = keySeed;
        const std::vector<uint8_t> file = ArchiveWriter(options).Build();
        EXPECT_EQ(file.size(), 28u + 28u + 64u);
        ResArchive archive;
        ASSERT_EQ(OpenArchiveBytes(archive, file), ResErrorNone) << keySeed;
        EXPECT_TRUE(archive.groups.empty());
        EXPECT_EQ(ResFindGroup(archive, ResTagScenario), ResStatusNotFound);
    }
}

// ---------------------------------------------------------------------------
// Identification and the check word

struct CheckWordCase {
    const char* name;
    CheckWordChoice choice;
    bool behindProgram;  // BuildBehind with a program image
    ResEmbedding embedding;
    int expected;
};

class CheckWordTest : public testing::TestWithParam<CheckWordCase> {};

TEST_P(CheckWordTest, OpensExactlyWhenTheRuleAllows)
{
    const CheckWordCase c = GetParam();
    ArchiveOptions options;
    options.keySeed = KeySeed;
    options.checkWord = c.choice;
    options.identificationA = 0xCAFEF00Du;
    ArchiveWriter writer(options);
    writer.Add({ResTagInformation, 1000, 3, PatternBytes(256, 9), {}, {}});
    const std::vector<uint8_t> image = c.behindProgram ? PatternBytes(777, 3) : std::vector<uint8_t>{};
    const std::vector<uint8_t> file = writer.BuildBehind(image);
    ASSERT_TRUE(std::equal(image.begin(), image.end(), file.begin()));

    ResArchive archive;
    EXPECT_EQ(ResOpenFile(archive, std::make_unique<MemoryFile>(file), "archive", c.embedding, 0xCAFEF00Du, ResArchiveKind),
              c.expected);
    if (c.expected == ResErrorNone) {
        EXPECT_EQ(archive.dataBase, image.size() + 28);
        EXPECT_EQ(archive.identificationA, 0xCAFEF00Du);
        EXPECT_EQ(archive.identificationB, ResArchiveKind);
        EXPECT_EQ(ReadWholeEntry(archive, ResTagInformation, 1000), PatternBytes(256, 9));
    }

    // The trailer's identification is masked exactly when the check word is set.
    const uint8_t* header = &file[image.size()];
    const uint8_t* trailer = &file[file.size() - 64];
    const uint32_t checkWord = ReadLe32(trailer + 40);
    const uint32_t maskWord1 = ReadLe32(header + 8);
    const uint32_t maskWord2 = ReadLe32(header + 16);
    EXPECT_EQ(checkWord != 0, c.choice != CheckWordChoice::None);
    EXPECT_EQ(CheckWordPasses(checkWord, maskWord1, maskWord2), c.choice == CheckWordChoice::Passing);
    const uint32_t unmaskA = checkWord ? maskWord2 ^ ResArchiveKind : 0;
    const uint32_t unmaskB = checkWord ? maskWord1 ^ HeaderTag : 0;
    EXPECT_EQ(ReadLe32(trailer + 48) ^ unmaskA, 0xCAFEF00Du);
    EXPECT_EQ(ReadLe32(trailer + 52) ^ unmaskB, ResArchiveKind);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, CheckWordTest,
    testing::Values(CheckWordCase{"NoneSideFile", CheckWordChoice::None, false, ResEmbedding::SideFile, ResErrorNone},
                    CheckWordCase{"PassingSideFile", CheckWordChoice::Passing, false, ResEmbedding::SideFile, ResErrorNone},
                    CheckWordCase{"FailingSideFile", CheckWordChoice::Failing, false, ResEmbedding::SideFile, ResErrorNone},
                    CheckWordCase{"NoneBehindProgram", CheckWordChoice::None, true, ResEmbedding::SideFile,
                                  ResErrorInvalidArchive},
                    CheckWordCase{"PassingBehindProgram", CheckWordChoice::Passing, true, ResEmbedding::SideFile, ResErrorNone},
                    CheckWordCase{"FailingBehindProgram", CheckWordChoice::Failing, true, ResEmbedding::SideFile,
                                  ResErrorInvalidArchive},
                    CheckWordCase{"NoneAsProgramFile", CheckWordChoice::None, false, ResEmbedding::ProgramFile,
                                  ResErrorInvalidArchive},
                    CheckWordCase{"PassingAsProgramFile", CheckWordChoice::Passing, false, ResEmbedding::ProgramFile,
                                  ResErrorNone},
                    CheckWordCase{"FailingAsProgramFile", CheckWordChoice::Failing, false, ResEmbedding::ProgramFile,
                                  ResErrorInvalidArchive}),
    [](const testing::TestParamInfo<CheckWordCase>& info) { return std::string(info.param.name); });

// Whatever the mask seed, the chosen words pass (or fail) as asked, and the
// same seed gives the same file.
TEST(ArchiveWriterCheckWord, EveryMaskSeedGivesTheAskedResult)
{
    for (uint32_t maskSeed = 0; maskSeed < 300; ++maskSeed) {
        for (CheckWordChoice choice : {CheckWordChoice::Passing, CheckWordChoice::Failing}) {
            ArchiveOptions options;
            options.checkWord = choice;
            options.maskSeed = maskSeed * 2654435761u;
            const std::vector<uint8_t> file = ArchiveWriter(options).Build();
            const uint32_t checkWord = ReadLe32(&file[file.size() - 64 + 40]);
            ASSERT_NE(checkWord, 0u);
            ASSERT_EQ(CheckWordPasses(checkWord, ReadLe32(&file[8]), ReadLe32(&file[16])), choice == CheckWordChoice::Passing)
                << "mask seed " << options.maskSeed;
        }
    }
    ArchiveOptions options;
    options.maskSeed = 42;
    EXPECT_EQ(ArchiveWriter(options).Build(), ArchiveWriter(options).Build());
    ArchiveOptions other = options;
    other.maskSeed = 43;
    EXPECT_NE(ArchiveWriter(options).Build(), ArchiveWriter(other).Build());
}

TEST(ArchiveWriterCheckWord, KindAndIdentificationMustMatchTheReader)
{
    ArchiveOptions options;
    options.kind = 0x11223344u;
    options.identificationA = 5;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 0, PatternBytes(16, 1), {}, {}});
    const std::vector<uint8_t> file = writer.Build();
    EXPECT_EQ(ReadLe32(&file[0]), 0x11223344u);  // the kind word of the header
    struct {
        uint32_t identificationA;
        uint32_t kind;
        int expected;
    } const cases[] = {{5, 0x11223344u, ResErrorNone}, {5, ResArchiveKind, ResErrorInvalidArchive}, {0, 0x11223344u, ResErrorInvalidArchive}};
    for (const auto& c : cases) {
        ResArchive archive;
        EXPECT_EQ(ResOpenFile(archive, std::make_unique<MemoryFile>(file), "archive", ResEmbedding::SideFile, c.identificationA,
                              c.kind),
                  c.expected)
            << c.identificationA << " " << c.kind;
    }
}

// ---------------------------------------------------------------------------
// Validation

TEST(ArchiveWriterValidation, RefusesWhatTheFormatCannotHold)
{
    struct Case {
        const char* what;
        ArchiveOptions options;
        ArchiveEntrySource entry;
    };
    auto withOptions = [](int blockShift, int interleaveShift) {
        ArchiveOptions options;
        options.blockShift = blockShift;
        options.interleaveShift = interleaveShift;
        return options;
    };
    const ArchiveEntrySource good{ResTagPicture, 1, 0, {1, 2, 3}, {}, {}};
    auto withEntry = [&](int mode, size_t prefix, size_t suffix) {
        ArchiveEntrySource entry = good;
        entry.encryptionMode = mode;
        entry.prefix.assign(prefix, 0);
        entry.suffix.assign(suffix, 0);
        return entry;
    };
    const Case cases[] = {
        {"mode -1", {}, withEntry(-1, 0, 0)},
        {"mode 4", {}, withEntry(4, 0, 0)},
        {"prefix 65536", {}, withEntry(0, 65536, 0)},
        {"suffix 256", {}, withEntry(0, 0, 256)},
        {"block shift -1", withOptions(-1, 0), good},
        {"block shift 8", withOptions(8, 0), good},
        {"interleave shift -1", withOptions(3, -1), good},
        {"interleave shift 4", withOptions(3, 4), good},
    };
    for (const Case& c : cases) {
        ArchiveWriter writer(c.options);
        writer.Add(c.entry);
        EXPECT_THROW(writer.Build(), std::invalid_argument) << c.what;
        EXPECT_THROW(writer.BuildBehind({1, 2, 3}), std::invalid_argument) << c.what;
    }
    // The limits themselves are accepted.
    ArchiveWriter writer(withOptions(7, 3));
    writer.Add(withEntry(3, 65535, 255));
    EXPECT_NO_THROW(writer.Build());
}

}  // namespace
