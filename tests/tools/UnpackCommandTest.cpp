// scrtool unpack as its users run it ($SCRTOOL): every entry as a file with
// the right bytes or pixels, a manifest that says how to rebuild each entry,
// the folder rules (--force), no manifest after a failure, and unpack →
// pack → the same archive.

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/ScrtoolRun.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/PngDecoder.h"
#include "tools/authoring/ScenarioText.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t KeySeed = 0x13572468u;

std::vector<uint8_t> Wave()
{
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0};
    uint8_t format[16];
    WriteLe16(format, 1);
    WriteLe16(format + 2, 1);
    WriteLe32(format + 4, 11025);
    WriteLe32(format + 8, 11025);
    WriteLe16(format + 12, 1);
    WriteLe16(format + 14, 8);
    file.insert(file.end(), format, format + 16);
    file.insert(file.end(), {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c'});  // odd size, no pad byte
    file.insert(file.end(), {'d', 'a', 't', 'a', 0, 0, 0, 0});
    const std::vector<uint8_t> samples = PatternBytes(3000, 21);
    WriteLe32(&file[file.size() - 4], static_cast<uint32_t>(samples.size()));
    file.insert(file.end(), samples.begin(), samples.end());
    WriteLe32(&file[4], static_cast<uint32_t>(file.size() - 8));
    return file;
}

const char* const ScenarioText = R"(effect setting:1
top:
show 1 speed 2 sound 21
wait setting:0
show 2 speed setting:2
show 3 speed 1
show 4 speed 3
show 5 speed 4 delay 120
random-jump top 0
)";

// One picture: its entry and the same rows stored raw, whose 32-bit load is
// what the unpacked PNG must show.
struct Picture {
    std::vector<uint8_t> entry;
    std::vector<uint8_t> rawTwin;
};

Picture MakePicture(int depth, int width, int height, PictureStorage storage, const std::vector<uint8_t>& palette,
                    uint32_t seed)
{
    const PictureEntryFields fields = PictureFieldsFor(depth, width, height, storage);
    std::vector<uint8_t> rows = PatternBytes(size_t{fields.stride} * height, seed);
    if (depth == 8) {
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>((i % 16) * 16);  // packs well
    }
    // Row padding is 0, as pack writes it.
    const uint32_t rowLength = PictureRowLength(depth, width);
    for (int y = 0; y < height; ++y)
        for (uint32_t x = rowLength; x < fields.stride; ++x) rows[size_t{fields.stride} * y + x] = 0;
    return {BuildPictureEntry(fields, palette, rows),
            BuildPictureEntry(PictureFieldsFor(depth, width, height, PictureStorage::Raw), palette, rows)};
}

std::vector<uint8_t> GreyPalette8()
{
    std::vector<uint8_t> palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return palette;
}

std::vector<uint8_t> ColourPalette4()
{
    std::vector<uint8_t> palette;
    for (int i = 0; i < 16; ++i)
        palette.insert(palette.end(), {uint8_t(i * 15), uint8_t(255 - i * 9), uint8_t(i * 7 + 3), 0});
    return palette;
}

// The archive the tests unpack. Everything the manifest can express, with
// every encryption mode; plus, unless roundTripOnly, what it cannot (a JPEG
// with a palette, alpha, a sound the saver cannot play, a foreign group).
struct TestArchive {
    explicit TestArchive(bool roundTripOnly)
    {
        scenario = ScenarioEntryBytes(ScenarioText);
        InformationTexts texts;
        texts.name = "紙芝居テスト";
        texts.version = "Version 2.5";
        texts.notice1 = "(C) 2026 Example";
        texts.aboutPicture = 2;
        const auto block = BuildInformationBlock(texts);
        information.assign(block.begin(), block.end());

        pictures[1] = MakePicture(24, 4, 3, PictureStorage::Raw, {}, 1);
        pictures[2] = MakePicture(8, 32, 8, PictureStorage::Lzss, GreyPalette8(), 2);
        pictures[3] =
            MakePicture(24, 5, 4, PictureStorage::Zlib, {}, 3);  // the loader's 32 bits leave zlib rows unconverted
        pictures[5] = MakePicture(4, 8, 2, PictureStorage::Raw, ColourPalette4(), 5);
        jpeg = EncodeTestJpeg(16, 8, GradientBgr(16, 8));
        PictureEntryFields jpegFields = PictureFieldsFor(24, 16, 8, PictureStorage::Jpeg);
        std::vector<uint8_t> jpegPalette;
        if (!roundTripOnly) {
            jpegFields.paletteCount = 2;
            jpegPalette = {1, 2, 3, 4, 5, 6, 7, 8};
        }
        pictures[4].entry = BuildPictureEntry(jpegFields, jpegPalette, jpeg);
        sounds[21] = Wave();
        if (!roundTripOnly) {
            pictures[6] = MakePicture(32, 3, 3, PictureStorage::Zlib, {}, 6);
            sounds[22] = {'R', 'I', 'F', 'X', 1, 2, 3};
            others[ResTag("XTRA")] = {9, 9};
        }
    }

    std::vector<uint8_t> Build() const
    {
        ArchiveOptions options = BlockCodeOptions(KeySeed, 1, 1);
        ArchiveWriter writer(options);
        writer.Add({ResTagScenario, 1000, 3, scenario});
        writer.Add({ResTagInformation, 1000, 1, information});
        for (const auto& [id, picture] : pictures)
            writer.Add({ResTagPicture, id, static_cast<int>(id % 4), picture.entry});
        for (const auto& [id, bytes] : sounds) writer.Add({ResTagSound, id, 2, bytes});
        for (const auto& [tag, bytes] : others) writer.Add({tag, 5, 0, bytes});
        return writer.Build();
    }

    std::vector<uint8_t> scenario;
    std::vector<uint8_t> information;
    std::map<uint32_t, Picture> pictures;
    std::map<uint32_t, std::vector<uint8_t>> sounds;
    std::map<uint32_t, std::vector<uint8_t>> others;
    std::vector<uint8_t> jpeg;
};

// The 32-bit load of a single raw picture entry, as red, green, blue, 255
// per pixel (what a PNG without alpha gives back).
std::vector<uint8_t> ExpectedRgba(const std::vector<uint8_t>& rawEntry)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, rawEntry});
    ResArchive archive;
    EXPECT_EQ(OpenArchiveBytes(archive, writer.Build()), ResErrorNone);
    DirectBmpControl picture;
    EXPECT_TRUE(LoadPicture(archive, {0, 0}, picture, PictureDepth::Force32, PictureParts::Whole, nullptr));
    std::vector<uint8_t> rgba;
    for (int32_t y = 0; y < picture.Height; ++y)
        for (int32_t x = 0; x < picture.Width; ++x) {
            const uint8_t* p = picture.Rows[y] + 4 * x;
            rgba.insert(rgba.end(), {p[2], p[1], p[0], 255});
        }
    return rgba;
}

class UnpackCommandTest : public ScrtoolFixture {
protected:
    // Every file under dir, as paths relative to it.
    static std::set<std::string> Files(const fs::path& dir)
    {
        std::set<std::string> names;
        for (const auto& item : fs::recursive_directory_iterator(dir))
            if (item.is_regular_file()) names.insert(fs::relative(item.path(), dir).generic_string());
        return names;
    }
};

TEST_F(UnpackCommandTest, WritesEveryEntryAndAManifestThatDescribesIt)
{
    const TestArchive source(false);
    const std::string archive = Write("source.brsc", source.Build());
    const fs::path dir = folder_ / "out";
    const RunResult result = Run({"unpack", archive, dir.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    EXPECT_EQ(Files(dir), (std::set<std::string>{"manifest.toml", "scenario.txt", "pictures/1.png", "pictures/2.png",
                                                 "pictures/3.png", "pictures/4.jpg", "pictures/5.png", "pictures/6.png",
                                                 "sounds/21.wav", "sounds/22.wav"}));
    // Bytes as stored: sounds (also one the saver cannot play) and the JPEG
    // stream behind header and palette.
    EXPECT_TRUE(ReadFileBytes(dir / "sounds/21.wav") == source.sounds.at(21));
    EXPECT_TRUE(ReadFileBytes(dir / "sounds/22.wav") == source.sounds.at(22));
    EXPECT_TRUE(ReadFileBytes(dir / "pictures/4.jpg") == source.jpeg);
    EXPECT_EQ(ReadTextFile(dir / "scenario.txt"), DescribeScenarioEntry(source.scenario));

    // Pictures as the loader shows them, zlib rows converted as well.
    for (uint32_t id : {1u, 2u, 3u, 5u, 6u}) {
        const std::vector<uint8_t> png = ReadFileBytes(dir / "pictures" / (std::to_string(id) + ".png"));
        const RgbaImage image = DecodePng(png);
        EXPECT_TRUE(image.pixels == ExpectedRgba(source.pictures.at(id).rawTwin)) << "picture " << id;
    }

    const Manifest manifest = ReadManifestFile(dir / "manifest.toml");
    EXPECT_EQ(manifest.archive.identificationA, 0u);
    EXPECT_EQ(manifest.archive.kind, ResArchiveKind);
    EXPECT_EQ(manifest.archive.keySeed, KeySeed);
    EXPECT_EQ(manifest.archive.blockSize, 512u);
    EXPECT_EQ(manifest.archive.interleave, 4u);
    EXPECT_EQ(manifest.archive.encryption, EntryEncryption::Interleaved);  // the mode of most entries (four)
    ASSERT_TRUE(manifest.information);
    EXPECT_EQ(manifest.information->texts.name, "紙芝居テスト");
    EXPECT_EQ(manifest.information->texts.version, "Version 2.5");
    EXPECT_EQ(manifest.information->texts.notice1, "(C) 2026 Example");
    EXPECT_EQ(manifest.information->texts.notice2, "");
    EXPECT_EQ(manifest.information->texts.aboutPicture, 2u);
    EXPECT_EQ(manifest.information->encryption, EntryEncryption::Head);
    ASSERT_TRUE(manifest.scenario);
    EXPECT_EQ(manifest.scenario->file.given, "scenario.txt");
    EXPECT_EQ(manifest.scenario->encryption, EntryEncryption::Whole);

    struct PictureLine {
        uint32_t id;
        const char* file;
        PictureStorage storage;
        int depth;
        PicturePalette palette;
    } const expectedPictures[] = {
        {1, "pictures/1.png", PictureStorage::Raw, 24, PicturePalette::None},
        {2, "pictures/2.png", PictureStorage::Lzss, 8, PicturePalette::Grey},
        {3, "pictures/3.png", PictureStorage::Zlib, 24, PicturePalette::None},
        {4, "pictures/4.jpg", PictureStorage::Jpeg, 24, PicturePalette::None},
        {5, "pictures/5.png", PictureStorage::Raw, 4, PicturePalette::Quantise},
        {6, "pictures/6.png", PictureStorage::Zlib, 32, PicturePalette::None},
    };
    ASSERT_EQ(manifest.pictures.size(), std::size(expectedPictures));
    for (size_t i = 0; i < manifest.pictures.size(); ++i) {
        const ManifestPicture& got = manifest.pictures[i];
        const PictureLine& want = expectedPictures[i];
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.file.given, want.file) << want.id;
        EXPECT_EQ(got.storage, want.storage) << want.id;
        EXPECT_EQ(got.depth, want.depth) << want.id;
        EXPECT_EQ(got.palette, want.palette) << want.id;
        EXPECT_EQ(got.encryption, static_cast<EntryEncryption>(want.id % 4)) << want.id;
    }
    ASSERT_EQ(manifest.sounds.size(), 2u);
    EXPECT_EQ(manifest.sounds[0].id, 21u);
    EXPECT_EQ(manifest.sounds[0].file.given, "sounds/21.wav");
    EXPECT_EQ(manifest.sounds[0].encryption, EntryEncryption::Interleaved);

    // What a rebuild cannot give back is said.
    for (const char* note : {
             "note: SGBm 4: the palette stored with its JPEG stream is not kept\n",
             "note: SGBm 5: the palette is chosen again from the picture's colours; their order may differ\n",
             "note: SGBm 6: alpha other than 255 is not kept (the PNG file has none)\n",
             "note: SSWv 22: the saver cannot play this sound (not a RIFF file); pack will refuse it\n",
             "note: XTRA 5: group XTRA has no place in a manifest: not unpacked\n",
         })
        EXPECT_NE(result.out.find(note), std::string::npos) << note << "in:\n" << result.out;
}

TEST_F(UnpackCommandTest, WritesIntoAFolderThatIsNotEmptyOnlyWithForce)
{
    const std::string archive = Write("source.brsc", TestArchive(true).Build());
    const fs::path dir = folder_ / "out";
    fs::create_directories(dir);
    Write("out/keep.txt", {'k'});
    Write("out/manifest.toml", {'o', 'l', 'd'});

    RunResult result = Run({"unpack", archive, dir.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "scrtool: " + dir.string() + ": the folder is not empty (give --force to write into it anyway)\n");
    EXPECT_EQ(Files(dir), (std::set<std::string>{"keep.txt", "manifest.toml"}));
    EXPECT_EQ(ReadTextFile(dir / "manifest.toml"), "old");

    result = Run({"unpack", "--force", archive, dir.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadTextFile(dir / "keep.txt"), "k");
    EXPECT_EQ(ReadTextFile(dir / "manifest.toml").rfind("# What goes into the archive", 0), 0u);

    // A file where the folder should be is left alone.
    const std::string file = Write("plain", {'p'});
    result = Run({"unpack", archive, file, "--force"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "scrtool: " + file + ": exists and is not a folder\n");
    EXPECT_EQ(ReadTextFile(file), "p");

    result = Run({"unpack", archive, dir.string(), "--force=yes"});
    EXPECT_EQ(result.exitCode, 2);
}

// An entry that cannot be written out stops the unpack with its name, and
// no manifest is left that would name missing files.
TEST_F(UnpackCommandTest, AnEntryThatCannotBeUnpackedStopsWithoutAManifest)
{
    struct Case {
        const char* name;
        void (*damage)(TestArchive&);
        const char* message;
    } const cases[] = {
        {"zlib stream damaged",
         [](TestArchive& a) {
             for (size_t i = 40; i < 50; ++i) a.pictures[3].entry[i] ^= 0xA5;
         },
         "SGBm 3: picture does not decode"},
        {"unknown storage kind", [](TestArchive& a) { a.pictures[1].entry[12] = 7; },
         "SGBm 1: unknown picture storage kind 7"},
        {"scenario cut short", [](TestArchive& a) { a.scenario.resize(a.scenario.size() - 1); },
         "SSSc 1000: scenario cannot be described: "},
    };
    for (const Case& c : cases) {
        TestArchive source(true);
        c.damage(source);
        const std::string archive = Write("broken.brsc", source.Build());
        const fs::path dir = folder_ / ("broken-" + std::to_string(&c - cases));
        const RunResult result = Run({"unpack", archive, dir.string()});
        EXPECT_EQ(result.exitCode, 1) << c.name;
        EXPECT_EQ(result.err.rfind("scrtool: " + archive + ": " + c.message, 0), 0u) << c.name << ": " << result.err;
        EXPECT_FALSE(fs::exists(dir / "manifest.toml")) << c.name;
        for (const std::string& name : Files(dir)) EXPECT_FALSE(name.ends_with(".new")) << c.name << ": " << name;
    }
}

// unpack → pack gives the same list and the same entry bytes; the picture
// whose palette is chosen again gives the same pixels.
TEST_F(UnpackCommandTest, PackOfTheUnpackedFolderRebuildsTheArchive)
{
    const std::string archive = Write("source.brsc", TestArchive(true).Build());
    const fs::path dir = folder_ / "out";
    RunResult result = Run({"unpack", archive, dir.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string rebuilt = (folder_ / "rebuilt.brsc").string();
    result = Run({"pack", (dir / "manifest.toml").string(), "-o", rebuilt});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const RunResult before = Run({"list", archive});
    const RunResult after = Run({"list", rebuilt});
    ASSERT_EQ(before.exitCode, 0);
    EXPECT_EQ(after.out, before.out);

    for (const std::vector<std::string>& entry : std::vector<std::vector<std::string>>{{"SSSc", "1000"},
                                                                                       {"SSIf", "1000"},
                                                                                       {"SGBm", "1"},
                                                                                       {"SGBm", "2"},
                                                                                       {"SGBm", "3"},
                                                                                       {"SGBm", "4"},
                                                                                       {"SSWv", "21"}}) {
        const RunResult a = Run({"cat", archive, entry[0], entry[1]});
        const RunResult b = Run({"cat", rebuilt, entry[0], entry[1]});
        EXPECT_EQ(a.exitCode, 0);
        EXPECT_TRUE(a.out == b.out) << entry[0] << " " << entry[1];
    }

    ResArchive original, again;
    ASSERT_EQ(ResOpen(original, archive, 0, ResArchiveKind), ResErrorNone);
    ASSERT_EQ(ResOpen(again, rebuilt, 0, ResArchiveKind), ResErrorNone);
    const ResEntryLocation first = ResLocateEntry(original, ResTagPicture, 5);
    const ResEntryLocation second = ResLocateEntry(again, ResTagPicture, 5);
    DirectBmpControl a, b;
    ASSERT_TRUE(
        LoadPicture(original, {first.group, first.entry}, a, PictureDepth::Force32, PictureParts::Whole, nullptr));
    ASSERT_TRUE(
        LoadPicture(again, {second.group, second.entry}, b, PictureDepth::Force32, PictureParts::Whole, nullptr));
    ASSERT_EQ(a.Height, b.Height);
    for (int32_t y = 0; y < a.Height; ++y)
        EXPECT_TRUE(std::equal(a.Rows[y], a.Rows[y] + a.Width * 4, b.Rows[y])) << "row " << y;
}

}  // namespace
