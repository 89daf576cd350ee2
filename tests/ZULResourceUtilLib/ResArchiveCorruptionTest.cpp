// Archives anyone can hand a user: damaged fields must be refused cleanly,
// never read outside the file or the index block (these tests run under
// AddressSanitizer in CI).
#include "ZULResourceUtilLib/ResArchive.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/TResReadStream.h"
#include "tests/support/ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

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
};

class DamagedArchive : public testing::TestWithParam<Damage> {};

TEST_P(DamagedArchive, IsRefused)
{
    std::vector<uint8_t> file = ValidArchive(0);
    const PlainArchiveLayout layout = LocatePlainArchive(file);
    GetParam().apply(file, layout);
    ResArchive archive;
    EXPECT_EQ(OpenArchiveBytes(archive, file), GetParam().expected);
    EXPECT_EQ(ResFindGroup(archive, ResTagPicture), ResStatusNoIndex);
}

void SetIndexLength(std::vector<uint8_t>& file, const PlainArchiveLayout& layout, uint64_t length)
{
    WriteLe64(file.data() + layout.trailer + 56, length);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DamagedArchive,
    testing::Values(
        Damage{"ShorterThan120Bytes", [](auto& f, auto&) { f.resize(119); }, ResErrorInvalidArchive},
        Damage{"Empty", [](auto& f, auto&) { f.clear(); }, ResErrorInvalidArchive},
        Damage{"IndexLengthHuge", [](auto& f, auto& l) { SetIndexLength(f, l, uint64_t{1} << 63); }, ResErrorInvalidArchive},
        Damage{"IndexLengthAllOnes", [](auto& f, auto& l) { SetIndexLength(f, l, UINT64_MAX); }, ResErrorInvalidArchive},
        Damage{"IndexLengthWholeFile", [](auto& f, auto& l) { SetIndexLength(f, l, l.trailer); }, ResErrorInvalidArchive},
        Damage{"IndexLengthLeavesNoHeader", [](auto& f, auto& l) { SetIndexLength(f, l, l.trailer - 55); }, ResErrorInvalidArchive},
        Damage{"IndexOffsetPastFileStart",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + 8, l.indexBlock + 1); }, ResErrorInvalidArchive},
        Damage{"IndexOffsetHuge", [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + 8, UINT64_MAX); },
               ResErrorInvalidArchive},
        Damage{"DataBaseBelowHeader",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.indexBlock + 8, l.indexBlock - 27); }, ResErrorInvalidArchive},
        Damage{"WrongKindInTrailer", [](auto& f, auto& l) { f[l.trailer + 52] ^= 1; }, ResErrorInvalidArchive},
        Damage{"GroupCountPastIndex", [](auto& f, auto& l) { WriteLe32(f.data() + l.indexBlock + 16, 1000); },
               ResErrorInvalidArchive},
        Damage{"GroupCountHuge", [](auto& f, auto& l) { WriteLe32(f.data() + l.indexBlock + 16, UINT32_MAX); },
               ResErrorInvalidArchive},
        Damage{"EntryCountPastIndex", [](auto& f, auto& l) { WriteLe32(f.data() + l.groupRecord(1) + 4, 4); },
               ResErrorInvalidArchive},
        Damage{"EntryCountHuge", [](auto& f, auto& l) { WriteLe32(f.data() + l.groupRecord(2) + 4, UINT32_MAX); },
               ResErrorInvalidArchive},
        Damage{"EntryOffsetPastFile",
               [](auto& f, auto& l) { WriteLe64(f.data() + l.entryRecord(3, 1) + 4, f.size() - l.dataBase + 1); },
               ResErrorInvalidArchive},
        Damage{"EntryOffsetHuge", [](auto& f, auto& l) { WriteLe64(f.data() + l.entryRecord(3, 2) + 4, UINT64_MAX - 10); },
               ResErrorInvalidArchive},
        Damage{"StoredSizePastFile",
               [](auto& f, auto& l) {
                   WriteLe32(f.data() + l.entryRecord(3, 3) + 12, 0xFFFFFFFFu);
                   WriteLe16(f.data() + l.entryRecord(3, 3) + 16, 0xFFFF);
               },
               ResErrorInvalidArchive}),
    [](const testing::TestParamInfo<Damage>& info) { return info.param.name; });

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
