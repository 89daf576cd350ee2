#include "settings/SSInfoLoader.h"

#include "settings/PreferenceStore.h"
#include "tests/settings/SettingsTestFolders.h"
#include "tests/support/TestBytes.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "imaging/PictureLoader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Lines {
    std::string name, version, notice1, notice2;
    int32_t aboutPicture = 0;
};

Bytes InformationEntry(const Lines& lines)
{
    Bytes block(SSInfoSize, 0);
    const auto put = [&](size_t offset, const std::string& text) {
        std::memcpy(block.data() + offset, text.data(), text.size());
    };
    put(16, lines.name);
    put(64, lines.version);
    put(96, lines.notice1);
    put(144, lines.notice2);
    WriteLe32(block.data() + SSInfoAboutPictureOffset, static_cast<uint32_t>(lines.aboutPicture));
    return block;
}

constexpr int PictureWidth = 16;
constexpr int PictureHeight = 8;

// Rows of a picture, top first: a pattern that repeats every four pixels, so
// that LZSS can pack it, with every pixel of a period different.
Bytes PicturePixels(int depth)
{
    const uint32_t stride = PictureStride(depth, PictureWidth);
    const int bytesPerPixel = depth / 8;
    Bytes rows(stride * PictureHeight, 0);
    for (int y = 0; y < PictureHeight; ++y)
        for (int x = 0; x < PictureWidth; ++x)
            for (int c = 0; c < bytesPerPixel; ++c)
                rows[y * stride + bytesPerPixel * x + c] = static_cast<uint8_t>(10 + 50 * (y % 2) + 9 * (x % 4) + c);
    return rows;
}

Bytes Palette()
{
    Bytes palette(256 * 4);
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(255 - i * 3);
    return palette;
}

Bytes PictureEntry(int depth = 24, PictureStorage storage = PictureStorage::Zlib)
{
    return BuildPictureEntry(PictureFieldsFor(depth, PictureWidth, PictureHeight, storage),
                             depth == 8 ? Palette() : Bytes{}, PicturePixels(depth));
}

// Blue, green, red of pixel (x, y) as the picture holds it.
std::array<uint8_t, 3> ExpectedColour(int depth, int x, int y)
{
    const Bytes rows = PicturePixels(depth);
    const uint32_t stride = PictureStride(depth, PictureWidth);
    if (depth == 8) {
        const Bytes palette = Palette();
        const size_t index = rows[y * stride + x];
        return {palette[4 * index], palette[4 * index + 1], palette[4 * index + 2]};
    }
    const size_t at = y * stride + static_cast<size_t>(depth / 8) * x;
    return {rows[at], rows[at + 1], rows[at + 2]};
}

ArchiveEntrySource InformationSource(const Lines& lines)
{
    return ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 0, InformationEntry(lines));
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
}

class SSInfoLoaderTest : public testing::Test {
protected:
    void SetUp() override { SSInfo.bytes.fill(0xEE); }  // left over from an earlier load

    // The entries as the side archive "SC_TEST.brsc".
    void WriteSideArchive(std::vector<ArchiveEntrySource> entries, ArchiveOptions options = {})
    {
        ArchiveWriter writer(options);
        for (auto& entry : entries) writer.Add(std::move(entry));
        WriteBytes(folders.ProgramFolder() / "SC_TEST.brsc", writer.Build());
    }

    // The entries appended to the program file.
    void WriteProgramArchive(std::vector<ArchiveEntrySource> entries)
    {
        ArchiveWriter writer;
        for (auto& entry : entries) writer.Add(std::move(entry));
        Bytes image = PatternBytes(4096, 7);
        image[0] = 'M';
        image[1] = 'Z';
        WriteBytes(folders.ProgramFile(), writer.BuildBehind(image));
    }

    SSInfoBlock Refresh(AboutPictureTarget* target)
    {
        SSInfoBlock info;
        info.bytes.fill(0xEE);
        RefreshSSInfo(folders.Environment(), info, target);
        return info;
    }

    void ExpectPicture(int depth)
    {
        TMemoryBitmap* bitmap = target.Bitmap();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Width(), PictureWidth);
        EXPECT_EQ(bitmap->Height(), PictureHeight);
        EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::Bits32);
        for (int y = 0; y < PictureHeight; ++y)
            for (int x = 0; x < PictureWidth; ++x) {
                const uint8_t* pixel = bitmap->ScanLine(y) + 4 * x;
                ASSERT_EQ((std::array<uint8_t, 3>{pixel[0], pixel[1], pixel[2]}), ExpectedColour(depth, x, y))
                    << "pixel " << x << "," << y;
            }
    }

    SettingsFolders folders;
    MemoryAboutPicture target;
};

TEST_F(SSInfoLoaderTest, NoArchiveLeavesEveryLineAbsent)
{
    SlideshowPreference preference;
    LoadPreference(folders.Environment(), "kt5_scr2.ini", preference, &target);
    EXPECT_EQ(SSInfo.bytes, SSInfoBlock{}.bytes);
    for (const auto line : {SSInfoLine::Name, SSInfoLine::Version, SSInfoLine::Notice1, SSInfoLine::Notice2})
        EXPECT_TRUE(SSInfo.Line(line).empty());
    EXPECT_EQ(target.Bitmap(), nullptr);
    EXPECT_EQ(preference.Word(PreferenceWord::SlideshowWait), 5);
}

TEST_F(SSInfoLoaderTest, ReadsTheLinesAndDrawsTheAboutPicture)
{
    // "設定" in Shift-JIS as the second notice.
    WriteSideArchive({InformationSource({"Saver", "1.0", "(c) Maker", "\x90\xDD\x92\xE8", 42}),
                      ArchiveEntrySource(ResTagPicture, 42, 0, PictureEntry())});
    const SSInfoBlock info = Refresh(&target);
    EXPECT_EQ(info.Line(SSInfoLine::Name), "Saver");
    EXPECT_EQ(info.Line(SSInfoLine::Version), "1.0");
    EXPECT_EQ(info.Line(SSInfoLine::Notice1), "(c) Maker");
    EXPECT_EQ(info.Line(SSInfoLine::Notice2), "\x90\xDD\x92\xE8");
    EXPECT_EQ(info.AboutPicture(), 42);

    ExpectPicture(24);
}

struct StorageCase {
    const char* name;
    int depth;
    PictureStorage storage;
};

class AboutPictureStorageTest : public SSInfoLoaderTest, public testing::WithParamInterface<StorageCase> {};

TEST_P(AboutPictureStorageTest, ArrivesAs32BitsWhateverItsStorage)
{
    WriteSideArchive({InformationSource({"Saver", "", "", "", -5}),
                      ArchiveEntrySource(ResTagPicture, static_cast<uint32_t>(-5), 0,
                                         PictureEntry(GetParam().depth, GetParam().storage))});
    EXPECT_EQ(Refresh(&target).AboutPicture(), -5);
    ExpectPicture(GetParam().depth);
}

INSTANTIATE_TEST_SUITE_P(Storages, AboutPictureStorageTest,
                         testing::Values(StorageCase{"Raw24", 24, PictureStorage::Raw},
                                         StorageCase{"Lzss24", 24, PictureStorage::Lzss},
                                         StorageCase{"Zlib24", 24, PictureStorage::Zlib},
                                         StorageCase{"Zlib8", 8, PictureStorage::Zlib},
                                         StorageCase{"Raw8", 8, PictureStorage::Raw},
                                         StorageCase{"Zlib32", 32, PictureStorage::Zlib}),
                         [](const testing::TestParamInfo<StorageCase>& info) { return std::string(info.param.name); });

TEST_F(SSInfoLoaderTest, ZlibPictureOfADepthTheCopyCannotWidenIsRefused)
{
    WriteSideArchive({InformationSource({"Saver", "", "", "", 3}),
                      ArchiveEntrySource(ResTagPicture, 3, 0, PictureEntry(16, PictureStorage::Zlib))});
    EXPECT_EQ(Refresh(&target).AboutPicture(), 0);
    EXPECT_EQ(target.Bitmap(), nullptr);
}

TEST_F(SSInfoLoaderTest, EncryptedArchiveAppendedToTheProgramWinsOverTheSideFile)
{
    WriteSideArchive({InformationSource({"Side", "", "", "", 0})});
    ArchiveOptions encrypted;
    encrypted.keySeed = 0x2468ACE1;
    ArchiveWriter writer(encrypted);
    writer.Add(ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 3, InformationEntry({"Own", "", "", "", 0})));
    WriteBytes(folders.ProgramFile(), writer.BuildBehind(PatternBytes(4096, 7)));
    EXPECT_EQ(Refresh(nullptr).Line(SSInfoLine::Name), "Own");

    // A program file without an archive falls back to the side file.
    WriteBytes(folders.ProgramFile(), PatternBytes(4096, 7));
    EXPECT_EQ(Refresh(nullptr).Line(SSInfoLine::Name), "Side");
}

TEST_F(SSInfoLoaderTest, ShortEntryFillsOnlyWhatItHas)
{
    Bytes entry = InformationEntry({"Saver", "1.0", "x", "y", 42});
    entry.resize(66);  // the name, and two bytes of the version
    entry.push_back('v');
    WriteProgramArchive({ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 0, entry),
                         ArchiveEntrySource(ResTagPicture, 42, 0, PictureEntry())});
    const SSInfoBlock info = Refresh(&target);
    EXPECT_EQ(info.Line(SSInfoLine::Name), "Saver");
    EXPECT_EQ(info.Line(SSInfoLine::Version), "1.v");
    EXPECT_EQ(info.Line(SSInfoLine::Notice1), "");
    EXPECT_EQ(info.AboutPicture(), 0);
    for (size_t i = 67; i < SSInfoSize; ++i) ASSERT_EQ(info.bytes[i], 0) << i;
    EXPECT_EQ(target.Bitmap(), nullptr);
}

TEST_F(SSInfoLoaderTest, EmptyAndLongerEntries)
{
    WriteSideArchive({ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 0, {})});
    EXPECT_EQ(Refresh(nullptr).bytes, SSInfoBlock{}.bytes);

    Bytes entry = InformationEntry({"Saver", "", "", "", 0});
    entry.resize(5000, 0xFF);
    WriteSideArchive({ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 0, entry)});
    const SSInfoBlock info = Refresh(nullptr);
    EXPECT_TRUE(std::equal(info.bytes.begin(), info.bytes.end(), entry.begin()));
}

TEST_F(SSInfoLoaderTest, FieldWithoutItsZeroEndsWithTheField)
{
    Bytes entry = InformationEntry({"", "v2", "", "", 0});
    std::fill(entry.begin() + 16, entry.begin() + 64, 'N');
    std::fill(entry.begin() + 144, entry.begin() + 192, 'Z');  // the last line, right before the picture id
    WriteSideArchive({ArchiveEntrySource(ResTagInformation, SSInfoEntryId, 0, entry)});
    const SSInfoBlock info = Refresh(nullptr);
    EXPECT_EQ(info.Line(SSInfoLine::Name), std::string(48, 'N'));
    EXPECT_EQ(info.Line(SSInfoLine::Version), "v2");
    EXPECT_EQ(info.Line(SSInfoLine::Notice2), std::string(48, 'Z'));
}

struct MissingPictureCase {
    const char* name;
    bool withPictureGroup;
    Bytes pictureEntry;  // stored as id 42 when withPictureGroup
};

class MissingAboutPictureTest : public SSInfoLoaderTest, public testing::WithParamInterface<MissingPictureCase> {};

TEST_P(MissingAboutPictureTest, ClearsThePictureNumberAndLeavesTheTarget)
{
    std::vector<ArchiveEntrySource> entries{
        InformationSource({"Saver", "", "", "", 42})};
    if (GetParam().withPictureGroup) entries.emplace_back(ResTagPicture, 7, 0, PictureEntry());
    if (!GetParam().pictureEntry.empty()) entries.emplace_back(ResTagPicture, 42, 0, GetParam().pictureEntry);
    WriteSideArchive(std::move(entries));

    const SSInfoBlock info = Refresh(&target);
    EXPECT_EQ(info.AboutPicture(), 0);
    EXPECT_EQ(info.Line(SSInfoLine::Name), "Saver");
    EXPECT_EQ(target.Bitmap(), nullptr);

    // Without a target the picture is not looked at, and its number stays.
    EXPECT_EQ(Refresh(nullptr).AboutPicture(), 42);
}

Bytes HeaderOnlyPicture()
{
    Bytes entry = PictureEntry();
    entry.resize(PictureHeaderSize);
    return entry;
}

Bytes TruncatedPicture()
{
    Bytes entry = PictureEntry();
    entry.resize(entry.size() - 5);
    return entry;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, MissingAboutPictureTest,
    testing::Values(MissingPictureCase{"NoPictureGroup", false, {}}, MissingPictureCase{"NoSuchEntry", true, {}},
                    MissingPictureCase{"Truncated", false, TruncatedPicture()},
                    MissingPictureCase{"Garbage", false, PatternBytes(100, 3)},
                    MissingPictureCase{"HeaderOnly", false, HeaderOnlyPicture()}),
    [](const testing::TestParamInfo<MissingPictureCase>& info) { return std::string(info.param.name); });

TEST_F(SSInfoLoaderTest, DamagedOrUnrelatedArchivesGiveAnEmptyBlock)
{
    WriteBytes(folders.ProgramFolder() / "SC_TEST.brsc", PatternBytes(10000, 11));
    EXPECT_EQ(Refresh(nullptr).bytes, SSInfoBlock{}.bytes);

    WriteSideArchive({ArchiveEntrySource(ResTagInformation, 999, 0, InformationEntry({"Other", "", "", "", 0}))});
    EXPECT_EQ(Refresh(nullptr).bytes, SSInfoBlock{}.bytes);

    ArchiveOptions otherKind;
    otherKind.kind = 0x12345678;
    WriteSideArchive({InformationSource({"X", "", "", "", 0})},
                     otherKind);
    EXPECT_EQ(Refresh(nullptr).bytes, SSInfoBlock{}.bytes);
}

}  // namespace
