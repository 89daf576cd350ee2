// Archives anyone can hand a user: damaged fields must be refused cleanly,
// never read outside the file or the index block (these tests run under
// AddressSanitizer in CI).
#include "ZULResourceUtilLib/ResArchive.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/TResReadStream.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

namespace {

namespace Layout = ArchiveLayout;

std::vector<uint8_t> ValidArchive(uint32_t keySeed)
{
    ArchiveOptions options;
    options.keySeed = keySeed;
    options.blockShift = 0;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 3, PatternBytes(400, 1)});
    writer.Add({ResTagPicture, 1, 1, PatternBytes(3000, 2)});
    writer.Add({ResTagPicture, 2, 2, PatternBytes(1500, 3)});
    writer.Add({ResTagSound, 1, 0, PatternBytes(100, 4)});
    return writer.Build();
}

// Reads every entry every way the reader offers, so that a damaged index
// that slipped through would show under the sanitizers.
void ReadEverything(ResArchive& archive)
{
    for (size_t group = 0; group < archive.groups.size(); ++group) {
        for (uint32_t entry = 0; entry < archive.groups[group].entryCount; ++entry) {
            const int64_t length = ResReadAt(archive, group, entry, 0, nullptr, 0);
            if (length < 0) continue;
            std::vector<uint8_t> buffer(static_cast<size_t>(length) + 1);
            ResReadAt(archive, group, entry, 0, buffer.data(), 0);
            ResLoadEntry(archive, group, entry);
            ResCursor cursor{*ResEntryRecordOf(archive, group, entry), 0};
            ResCursorSeek(archive, cursor, length / 2);
            TResReadStream stream(&archive, true, &cursor);
            stream.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        }
    }
}

struct Damage {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const PlainArchiveLayout&)> apply;
    int expected;
    ResOpenFailure failure;  // the check that must name the damage
};

class DamagedArchive : public testing::TestWithParam<Damage> {};

TEST_P(DamagedArchive, IsRefused)
{
    std::vector<uint8_t> file = ValidArchive(0);
    const PlainArchiveLayout layout = LocatePlainArchive(file);
    GetParam().apply(file, layout);
    ResArchive archive;
    EXPECT_EQ(OpenArchiveBytes(archive, file), GetParam().expected);
    EXPECT_EQ(archive.openFailure, GetParam().failure);
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), ResStatusNoIndex);
}

void SetIndexLength(std::vector<uint8_t>& file, const PlainArchiveLayout& layout, uint64_t length)
{
    WriteLe64(file.data() + layout.trailer + Layout::Trailer::IndexLength, length);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DamagedArchive,
    testing::Values(
        Damage{"ShorterThan120Bytes", [](auto& f, auto&) { f.resize(119); }, ResErrorInvalidArchive,
               ResOpenFailure::TooShort},
        Damage{"Empty", [](auto& f, auto&) { f.clear(); }, ResErrorInvalidArchive, ResOpenFailure::TooShort},
        Damage{"IndexLengthHuge", [](auto& f, auto& l) { SetIndexLength(f, l, uint64_t{1} << 63); },
               ResErrorInvalidArchive, ResOpenFailure::IndexLengthOutsideFile},
        Damage{"IndexLengthAllOnes", [](auto& f, auto& l) { SetIndexLength(f, l, UINT64_MAX); }, ResErrorInvalidArchive,
               ResOpenFailure::IndexLengthOutsideFile},
        Damage{"IndexLengthWholeFile", [](auto& f, auto& l) { SetIndexLength(f, l, l.trailer); },
               ResErrorInvalidArchive, ResOpenFailure::IndexLengthOutsideFile},
        Damage{"IndexLengthLeavesNoHeader", [](auto& f, auto& l) { SetIndexLength(f, l, l.trailer - 55); },
               ResErrorInvalidArchive, ResOpenFailure::IndexLengthOutsideFile},
        Damage{"IndexOffsetPastFileStart",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + Layout::IndexHeader::IndexOffset, l.indexBlock + 1); },
               ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile},
        Damage{"IndexOffsetHuge", [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + Layout::IndexHeader::IndexOffset, UINT64_MAX); },
               ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile},
        Damage{"DataBaseBelowHeader",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + Layout::IndexHeader::IndexOffset, l.indexBlock - 27); },
               ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile},
        Damage{"WrongKindInTrailer", [](auto& f, auto& l) { f[l.trailer + Layout::Trailer::IdentificationB] ^= 1; }, ResErrorInvalidArchive,
               ResOpenFailure::KindMismatch},
        // The identification words are unmasked with the header's words:
        // damage to either side shows as a mismatch.
        Damage{"WrongIdentificationInTrailer", [](auto& f, auto& l) { f[l.trailer + Layout::Trailer::IdentificationA] ^= 0x10; },
               ResErrorInvalidArchive, ResOpenFailure::IdentificationMismatch},
        Damage{"HeaderKindWordDamaged", [](auto& f, auto& l) { f[l.header() + Layout::Header::Kind] ^= 2; }, ResErrorInvalidArchive,
               ResOpenFailure::IdentificationMismatch},
        Damage{"HeaderTagDamaged", [](auto& f, auto& l) { f[l.header() + Layout::Header::Tag] ^= 4; }, ResErrorInvalidArchive,
               ResOpenFailure::KindMismatch},
        Damage{"GroupCountPastIndex", [](auto& f, auto& l) { WriteLe32(f.data() + l.indexBlock + Layout::IndexHeader::GroupCount, 1000); },
               ResErrorInvalidArchive, ResOpenFailure::GroupTableOutsideIndex},
        Damage{"GroupCountHuge", [](auto& f, auto& l) { WriteLe32(f.data() + l.indexBlock + Layout::IndexHeader::GroupCount, UINT32_MAX); },
               ResErrorInvalidArchive, ResOpenFailure::GroupTableOutsideIndex},
        Damage{"EntryCountPastIndex", [](auto& f, auto& l) { WriteLe32(f.data() + l.groupRecord(1) + Layout::Group::EntryCount, 4); },
               ResErrorInvalidArchive, ResOpenFailure::EntryRunOutsideIndex},
        Damage{"EntryCountHuge", [](auto& f, auto& l) { WriteLe32(f.data() + l.groupRecord(2) + Layout::Group::EntryCount, UINT32_MAX); },
               ResErrorInvalidArchive, ResOpenFailure::EntryRunOutsideIndex},
        Damage{"EntryOffsetPastFile",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.entryRecord(3, 1) + Layout::Entry::Offset, f.size() - l.dataBase + 1); },
               ResErrorInvalidArchive, ResOpenFailure::EntryOutsideFile},
        Damage{"EntryOffsetHuge",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.entryRecord(3, 2) + Layout::Entry::Offset, UINT64_MAX - 10); },
               ResErrorInvalidArchive, ResOpenFailure::EntryOutsideFile},
        Damage{"StoredSizePastFile",
               [](auto& f, auto& l) {
                   WriteLe32(f.data() + l.entryRecord(3, 3) + Layout::Entry::StoredSizeLow, 0xFFFFFFFFu);
                   WriteLe16(f.data() + l.entryRecord(3, 3) + Layout::Entry::StoredSizeHigh, 0xFFFF);
               },
               ResErrorInvalidArchive, ResOpenFailure::EntryOutsideFile}),
    [](const testing::TestParamInfo<Damage>& info) { return info.param.name; });

// A file whose size cannot be told, or whose read starting at one offset
// fails, for the read failures of the records ResOpenFile reads.
class FaultyFile final : public ReadOnlyFile {
public:
    FaultyFile(std::vector<uint8_t> bytes, uint64_t failReadAt, bool sizeKnown = true)
        : inner_(std::move(bytes)), failReadAt_(failReadAt), sizeKnown_(sizeKnown)
    {
    }
    bool Seek(uint64_t offset) override
    {
        position_ = offset;
        return inner_.Seek(offset);
    }
    int64_t Read(void* destination, size_t length) override
    {
        if (position_ == failReadAt_) return -1;
        const int64_t got = inner_.Read(destination, length);
        if (got > 0) position_ += static_cast<uint64_t>(got);
        return got;
    }
    int64_t Size() override { return sizeKnown_ ? inner_.Size() : -1; }

private:
    MemoryFile inner_;
    uint64_t failReadAt_;
    bool sizeKnown_;
    uint64_t position_ = 0;
};

int OpenFaulty(ResArchive& archive, const std::vector<uint8_t>& bytes, uint64_t failReadAt, bool sizeKnown = true)
{
    return ResOpenFile(archive, std::make_unique<FaultyFile>(bytes, failReadAt, sizeKnown), "faulty.brsc",
                       ResEmbedding::SideFile, 0, ResArchiveKind);
}

std::vector<uint8_t> BehindProgram(CheckWordChoice checkWord)
{
    ArchiveOptions options;
    options.checkWord = checkWord;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 0, PatternBytes(64, 1)});
    return writer.BuildBehind(PatternBytes(300, 2));
}

std::vector<uint8_t> WithTrailerWord(std::vector<uint8_t> file, size_t offset, uint32_t value)
{
    WriteLe32(file.data() + file.size() - Layout::Trailer::Size + offset, value);
    return file;
}

struct OpenFault {
    const char* name;
    std::function<int(ResArchive&)> open;
    int expected;
    ResOpenFailure failure;
};

class RefusedOpen : public testing::TestWithParam<OpenFault> {};

// Beyond damaged bytes: failing reads, what the caller asks for, archives
// behind a program, and keys that do not decrypt the index. Each refusal
// keeps its error number and names its check; a later success clears it.
TEST_P(RefusedOpen, NamesTheCheckThatFailed)
{
    ResArchive archive;
    EXPECT_EQ(GetParam().open(archive), GetParam().expected);
    EXPECT_EQ(archive.openFailure, GetParam().failure);
    EXPECT_EQ(archive.file, nullptr);
    ASSERT_EQ(OpenArchiveBytes(archive, ValidArchive(0)), ResErrorNone);
    EXPECT_EQ(archive.openFailure, ResOpenFailure::None);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedOpen,
    testing::Values(
        OpenFault{"NoFileGiven",
                  [](ResArchive& a) {
                      return ResOpenFile(a, nullptr, "none", ResEmbedding::SideFile, 0, ResArchiveKind);
                  },
                  ResErrorNotOpen, ResOpenFailure::CannotOpen},
        OpenFault{"SizeUnknown", [](ResArchive& a) { return OpenFaulty(a, ValidArchive(0), UINT64_MAX, false); },
                  ResErrorReadFailed, ResOpenFailure::SizeUnknown},
        OpenFault{"TrailerReadFails",
                  [](ResArchive& a) {
                      const std::vector<uint8_t> file = ValidArchive(0);
                      return OpenFaulty(a, file, file.size() - Layout::Trailer::Size);
                  },
                  ResErrorReadFailed, ResOpenFailure::TrailerUnreadable},
        OpenFault{"IndexReadFails",
                  [](ResArchive& a) {
                      const std::vector<uint8_t> file = ValidArchive(0);
                      return OpenFaulty(a, file, LocatePlainArchive(file).indexBlock);
                  },
                  ResErrorReadFailed, ResOpenFailure::IndexUnreadable},
        OpenFault{"HeaderReadFails", [](ResArchive& a) { return OpenFaulty(a, ValidArchive(0), 0); },
                  ResErrorReadFailed, ResOpenFailure::HeaderUnreadable},
        OpenFault{"AnotherKindAsked",
                  [](ResArchive& a) {
                      return OpenArchiveBytes(a, ValidArchive(0), ResEmbedding::SideFile, ResArchiveKind + 1);
                  },
                  ResErrorInvalidArchive, ResOpenFailure::KindMismatch},
        OpenFault{"AnotherIdentificationAsked",
                  [](ResArchive& a) {
                      return ResOpenFile(a, std::make_unique<MemoryFile>(ValidArchive(0)), "other",
                                         ResEmbedding::SideFile, 7, ResArchiveKind);
                  },
                  ResErrorInvalidArchive, ResOpenFailure::IdentificationMismatch},
        OpenFault{"BehindProgramWithoutCheckWord",
                  [](ResArchive& a) { return OpenArchiveBytes(a, BehindProgram(CheckWordChoice::None)); },
                  ResErrorInvalidArchive, ResOpenFailure::CheckWordMissing},
        OpenFault{"BehindProgramWithFailingCheckWord",
                  [](ResArchive& a) { return OpenArchiveBytes(a, BehindProgram(CheckWordChoice::Failing)); },
                  ResErrorInvalidArchive, ResOpenFailure::CheckWordMismatch},
        OpenFault{"ProgramFileCheckWordDamaged",
                  [](ResArchive& a) {
                      std::vector<uint8_t> file = ValidArchive(0);
                      file[file.size() - Layout::Trailer::Size + Layout::Trailer::CheckWord] ^= 0x80;
                      return OpenArchiveBytes(a, file, ResEmbedding::ProgramFile);
                  },
                  ResErrorInvalidArchive, ResOpenFailure::CheckWordMismatch},
        // A key seed that is not the writer's turns the index into noise; its
        // first field read after decryption is the index offset.
        OpenFault{"WrongKeySeed",
                  [](ResArchive& a) { return OpenArchiveBytes(a, WithTrailerWord(ValidArchive(99), Layout::Trailer::KeySeed, 98)); },
                  ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile},
        OpenFault{"PlainIndexTakenForEncrypted",
                  [](ResArchive& a) { return OpenArchiveBytes(a, WithTrailerWord(ValidArchive(0), Layout::Trailer::KeySeed, 5)); },
                  ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile}),
    [](const testing::TestParamInfo<OpenFault>& info) { return info.param.name; });

TEST(RefusedOpen, EveryCheckHasWordsOfItsOwn)
{
    std::set<std::string> seen;
    EXPECT_STREQ(ResOpenFailureText(ResOpenFailure::None), "");
    for (int value = 1; value <= static_cast<int>(ResOpenFailure::NoMemoryForTables); ++value) {
        const std::string text = ResOpenFailureText(static_cast<ResOpenFailure>(value));
        EXPECT_FALSE(text.empty()) << value;
        EXPECT_TRUE(seen.insert(text).second) << value << ": " << text;
    }
}

TEST(DamagedArchive, EveryTruncationFailsCleanly)
{
    for (uint32_t keySeed : {0u, 99u}) {
        const std::vector<uint8_t> file = ValidArchive(keySeed);
        for (size_t length = 0; length < file.size(); length += (length < 200 ? 1 : 37)) {
            ResArchive archive;
            const int result = OpenArchiveBytes(archive, std::vector<uint8_t>(file.begin(), file.begin() + length));
            EXPECT_NE(result, 0) << "length " << length;
        }
    }
}

// Random damage anywhere: whatever opens must read without leaving its buffers.
TEST(DamagedArchive, RandomByteDamageNeverEscapesTheBuffers)
{
    for (uint32_t keySeed : {0u, 2024u}) {
        const std::vector<uint8_t> original = ValidArchive(keySeed);
        uint32_t state = 12345 + keySeed;
        for (int round = 0; round < 400; ++round) {
            std::vector<uint8_t> file = original;
            for (int flip = 0; flip < 1 + round % 4; ++flip) {
                state = state * 1664525u + 1013904223u;
                // Most damage goes where the structure lives: the index and trailer.
                const size_t tail = std::min<size_t>(file.size(), 400);
                const size_t at = (round % 3 == 0) ? state % file.size() : file.size() - 1 - state % tail;
                file[at] ^= static_cast<uint8_t>(1u << ((state >> 24) % 8));
            }
            ResArchive archive;
            if (OpenArchiveBytes(archive, file) == 0) ReadEverything(archive);
        }
    }
}

} // namespace
