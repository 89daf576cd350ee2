// The manifest reader: a full manifest read into the struct, the defaults,
// a table of broken manifests whose messages must name the line and the
// reason, and WriteManifest read back to the same struct.

#include "tools/authoring/Manifest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const fs::path ManifestPath = "demo/manifest.toml";

fs::path Resolved(const std::string& relative)
{
    return (fs::absolute(ManifestPath).parent_path() / relative).lexically_normal();
}

const char* const FullManifest = R"(# A manifest as an author writes it.
[archive]
identification = 7
kind = 0x12345678
key-seed = 0x4B534231
block-size = 1024
interleave = 4
encryption = "interleaved"

[information]
name = "紙芝居スクリーンセーバー"
version = "Version 1.0"
notice = ["(C) 2026 Example ～", "All rights reserved."]
about-picture = 2
encryption = "plain"

[scenario]
file = "scenario.txt"
encryption = 3

[[picture]]
id = 1
file = "pictures/dawn.png"
storage = "lzss"
depth = 8
palette = "grey"
encryption = "head"

[[picture]]
id = 2
file = "pictures/../about.JPG"

[[picture]]
id = 0xFFFFFFFF
file = "/art/wide.png"
storage = "raw"
depth = 4

[[sound]]
id = 1021
file = "sounds/chime.wav"
encryption = "whole"

[[sound]]
id = 1
file = "sounds/bell.wav"
)";

Manifest ExpectedFullManifest()
{
    Manifest manifest;
    manifest.path = ManifestPath;
    manifest.archive = {7, 0x12345678u, 0x4B534231u, 1024, 4, EntryEncryption::Interleaved};
    ManifestInformation information;
    information.texts.name = "紙芝居スクリーンセーバー";
    information.texts.version = "Version 1.0";
    information.texts.notice1 = "(C) 2026 Example ～";
    information.texts.notice2 = "All rights reserved.";
    information.texts.aboutPicture = 2;
    information.encryption = EntryEncryption::Plain;
    manifest.information = information;
    manifest.scenario = ManifestScenario{{"scenario.txt", Resolved("scenario.txt")}, EntryEncryption::Whole, {}};

    ManifestPicture dawn;
    dawn.id = 1;
    dawn.file = {"pictures/dawn.png", Resolved("pictures/dawn.png")};
    dawn.storage = PictureStorage::Lzss;
    dawn.depth = 8;
    dawn.palette = PicturePalette::Grey;
    dawn.encryption = EntryEncryption::Head;
    ManifestPicture about;  // a JPEG file is stored as JPEG unless told otherwise
    about.id = 2;
    about.file = {"pictures/../about.JPG", Resolved("about.JPG")};
    about.storage = PictureStorage::Jpeg;
    about.depth = 24;
    ManifestPicture wide;  // palettised depths quantise unless told otherwise
    wide.id = 0xFFFFFFFFu;
    wide.file = {"/art/wide.png", "/art/wide.png"};
    wide.storage = PictureStorage::Raw;
    wide.depth = 4;
    wide.palette = PicturePalette::Quantise;
    manifest.pictures = {dawn, about, wide};

    ManifestSound chime{1021, {"sounds/chime.wav", Resolved("sounds/chime.wav")}, EntryEncryption::Whole, {}};
    ManifestSound bell{1, {"sounds/bell.wav", Resolved("sounds/bell.wav")}, std::nullopt, {}};
    manifest.sounds = {chime, bell};
    return manifest;
}

TEST(Manifest, ReadsEveryKeyOfAFullManifest)
{
    const Manifest manifest = ParseManifest(FullManifest, ManifestPath);
    EXPECT_EQ(manifest, ExpectedFullManifest());
    // Lines are kept for messages at pack time, though not compared.
    EXPECT_EQ(manifest.information->line.number, 10);
    EXPECT_EQ(manifest.pictures[1].line.number, 29);
    EXPECT_EQ(manifest.sounds[0].line.number, 39);
    // Entries without a mode of their own take the archive's.
    EXPECT_EQ(manifest.EncryptionOf(manifest.sounds[1].encryption), EntryEncryption::Interleaved);
    EXPECT_EQ(manifest.EncryptionOf(manifest.sounds[0].encryption), EntryEncryption::Whole);
}

TEST(Manifest, LeftOutKeysTakeTheirDefaults)
{
    const Manifest empty = ParseManifest("", ManifestPath);
    EXPECT_EQ(empty.archive, ManifestArchive{});
    EXPECT_EQ(empty.archive.kind, 0x8CB9AFB2u);
    EXPECT_EQ(empty.archive.keySeed, 0u);
    EXPECT_EQ(empty.archive.blockSize, 2048u);
    EXPECT_EQ(empty.archive.interleave, 2u);
    EXPECT_EQ(empty.archive.encryption, EntryEncryption::Whole);
    EXPECT_FALSE(empty.information.has_value());
    EXPECT_FALSE(empty.scenario.has_value());
    EXPECT_TRUE(empty.pictures.empty());

    const Manifest picture = ParseManifest("[information]\nnotice = \"one line\"\n[[picture]]\nid = 3\nfile = \"p.png\"\n",
                                           ManifestPath);
    ASSERT_EQ(picture.pictures.size(), 1u);
    EXPECT_EQ(picture.pictures[0].storage, PictureStorage::Zlib);
    EXPECT_EQ(picture.pictures[0].depth, 24);
    EXPECT_EQ(picture.pictures[0].palette, PicturePalette::None);
    EXPECT_FALSE(picture.pictures[0].encryption.has_value());
    ASSERT_TRUE(picture.information.has_value());
    EXPECT_EQ(picture.information->texts.notice1, "one line");
    EXPECT_EQ(picture.information->texts.notice2, "");
    EXPECT_EQ(picture.information->texts.aboutPicture, 0u);
}

TEST(Manifest, ArchiveOptionsComeFromBlockSizeAndInterleave)
{
    struct Case {
        uint32_t blockSize, interleave;
        int blockShift, interleaveShift;
    };
    for (const Case& test : {Case{256, 2, 0, 0}, Case{2048, 4, 3, 1}, Case{32768, 16, 7, 3}}) {
        ManifestArchive archive;
        archive.blockSize = test.blockSize;
        archive.interleave = test.interleave;
        archive.keySeed = 99;
        const ArchiveOptions options = ManifestArchiveOptions(archive);
        EXPECT_EQ(options.blockShift, test.blockShift) << test.blockSize;
        EXPECT_EQ(options.interleaveShift, test.interleaveShift) << test.interleave;
        EXPECT_EQ(options.keySeed, 99u);
        EXPECT_EQ(options.kind, 0x8CB9AFB2u);
    }
}

struct BadManifest {
    const char* what;
    std::string text;
    int line;
    std::string reason;  // a part of the message
};

const BadManifest BadManifests[] = {
    {"TOML syntax", "[archive]\nkind = 1\nkey-seed = = 2\n", 3, "value"},
    {"TOML duplicate key", "[archive]\nkind = 1\nkind = 2\n", 3, "'kind'"},
    {"typo in a picture key", "[[picture]]\nid = 1\nfile = \"a.png\"\nencrytion = \"head\"\n", 4,
     "unknown key 'encrytion' in [[picture]] (did you mean 'encryption'?)"},
    {"unknown table", "[pictures]\nid = 1\n", 1, "unknown key 'pictures' in the manifest (did you mean 'picture'?)"},
    {"unknown archive key", "[archive]\n\nembedded = true\n", 3, "unknown key 'embedded' in [archive]"},
    {"archive not a table", "archive = 5\n", 1, "'archive' must be a table ([archive]), not an integer"},
    {"picture as one table", "[picture]\nid = 1\nfile = \"a.png\"\n", 1,
     "'picture' must be a list of tables: write [[picture]] before each one"},
    {"block size as text", "[archive]\nblock-size = \"2048\"\n", 2, "archive.block-size must be an integer, not a string"},
    {"block size not a power of two", "[archive]\nblock-size = 3000\n", 2,
     "archive.block-size must be a power of two from 256 to 32768, not 3000"},
    {"block size too small", "[archive]\nblock-size = 128\n", 2, "power of two from 256 to 32768, not 128"},
    {"block size too large", "[archive]\nblock-size = 65536\n", 2, "power of two from 256 to 32768, not 65536"},
    {"interleave", "[archive]\ninterleave = 3\n", 2, "archive.interleave must be 2, 4, 8 or 16, not 3"},
    {"negative key seed", "[archive]\nkey-seed = -1\n", 2, "archive.key-seed must be from 0 to 4294967295, not -1"},
    {"key seed above 32 bits", "[archive]\nkey-seed = 0x100000000\n", 2, "must be from 0 to 4294967295, not 4294967296"},
    {"kind as float", "[archive]\nkind = 1.5\n", 2, "archive.kind must be an integer, not a floating-point number"},
    {"encryption name", "[archive]\nencryption = \"full\"\n", 2,
     "archive.encryption must be one of \"plain\", \"head\", \"interleaved\", \"whole\", not \"full\""},
    {"encryption number", "[scenario]\nfile = \"s.txt\"\nencryption = 4\n", 3, "scenario.encryption must be 0 to 3"},
    {"encryption type", "[[sound]]\nid = 1\nfile = \"s.wav\"\nencryption = true\n", 4,
     "sound.encryption must be one of \"plain\", \"head\", \"interleaved\", \"whole\" or 0 to 3, not a boolean"},
    {"duplicate picture id", "[[picture]]\nid = 5\nfile = \"a.png\"\n\n[[picture]]\nid = 5\nfile = \"b.png\"\n", 6,
     "picture id 5 is used twice (first at line 2)"},
    {"duplicate sound id", "[[sound]]\nid = 0x10\nfile = \"a.wav\"\n[[sound]]\nfile = \"b.wav\"\nid = 16\n", 6,
     "sound id 16 is used twice (first at line 2)"},
    {"picture without id", "\n[[picture]]\nfile = \"a.png\"\n", 2, "[[picture]] has no 'id'"},
    {"picture without file", "[[picture]]\nid = 1\n", 1, "[[picture]] has no 'file'"},
    {"sound without file", "[[sound]]\nid = 1\n", 1, "[[sound]] has no 'file'"},
    {"scenario without file", "[scenario]\nencryption = \"head\"\n", 1, "[scenario] has no 'file'"},
    {"empty file name", "[scenario]\nfile = \"\"\n", 2, "scenario.file is empty"},
    {"picture id range", "[[picture]]\nid = -2\nfile = \"a.png\"\n", 2, "picture.id must be from 0 to 4294967295"},
    {"picture file type", "[[picture]]\nid = 1\nfile = \"a.bmp\"\n", 3,
     "picture.file must name a PNG (.png)"},
    {"jpeg storage of a PNG", "[[picture]]\nid = 1\nfile = \"a.png\"\nstorage = \"jpeg\"\n", 4,
     "picture.storage \"jpeg\" keeps a JPEG file's stream: it needs a .jpg or .jpeg file, not \"a.png\""},
    {"storage name", "[[picture]]\nid = 1\nfile = \"a.png\"\nstorage = \"png\"\n", 4,
     "picture.storage must be one of \"raw\", \"lzss\", \"zlib\", \"jpeg\", not \"png\""},
    {"depth", "[[picture]]\nid = 1\nfile = \"a.png\"\ndepth = 2\n", 4, "picture.depth must be 1, 4, 8, 16, 24 or 32, not 2"},
    {"palettised jpeg", "[[picture]]\nid = 1\nfile = \"a.jpeg\"\ndepth = 8\n", 4,
     "picture.depth 8 cannot be stored as \"jpeg\", which has no palette"},
    {"palette of a deep picture", "[[picture]]\nid = 1\nfile = \"a.png\"\npalette = \"grey\"\n", 4,
     "picture.palette applies to depths 1, 4 and 8 only, not to depth 24"},
    {"palette name", "[[picture]]\nid = 1\nfile = \"a.png\"\ndepth = 1\npalette = \"dither\"\n", 5,
     "picture.palette must be one of \"quantise\", \"grey\", not \"dither\""},
    {"name too long", "[information]\nversion = \"1\"\nname = \"" + std::string(48, 'n') + "\"\n", 3,
     "information.name is 48 bytes in Shift-JIS; its field holds at most 47"},
    {"version too long in Shift-JIS", "[information]\nversion = \"バージョン十六文字のとても長い版\"\n", 2,
     "information.version is 32 bytes in Shift-JIS; its field holds at most 31"},
    {"notice with an emoji", "[information]\nnotice = [\n  \"fine\",\n  \"smile 😀\",\n]\n", 4,
     "information.notice 2: U+1F600 '😀' has no Shift-JIS form"},
    {"three notice lines", "[information]\nnotice = [\"a\", \"b\", \"c\"]\n", 2,
     "information.notice holds at most 2 lines, not 3"},
    {"notice of numbers", "[information]\nnotice = [1]\n", 2,
     "information.notice must be a string or a list of up to 2 strings, not an integer"},
    {"about picture missing", "[information]\nabout-picture = 9\n[[picture]]\nid = 1\nfile = \"a.png\"\n", 2,
     "information.about-picture 9 names no [[picture]] of this manifest"},
    {"about picture in zlib below 32 bits",
     "[information]\nabout-picture = 1\n[[picture]]\nid = 1\nfile = \"a.png\"\ndepth = 8\npalette = \"grey\"\n", 3,
     "picture 1 is the about picture: stored as zlib it needs depth 32 (it has 8)"},
};

TEST(Manifest, RefusesBadManifestsNamingTheLineAndTheReason)
{
    for (const BadManifest& test : BadManifests) {
        SCOPED_TRACE(test.what);
        try {
            ParseManifest(test.text, ManifestPath);
            ADD_FAILURE() << "accepted";
        } catch (const ManifestError& error) {
            EXPECT_EQ(error.File(), ManifestPath.string());
            EXPECT_EQ(error.Line(), test.line) << error.what();
            EXPECT_THAT(error.Message(), HasSubstr(test.reason));
            EXPECT_FALSE(error.Message().empty());
            EXPECT_EQ(std::string(error.what()),
                      ManifestPath.string() + ":" + std::to_string(test.line) + ": " + error.Message());
        }
    }
}

TEST(Manifest, SameIdInDifferentGroupsIsFine)
{
    const Manifest manifest = ParseManifest(
        "[[picture]]\nid = 1\nfile = \"a.png\"\n[[sound]]\nid = 1\nfile = \"a.wav\"\n", ManifestPath);
    EXPECT_EQ(manifest.pictures.size(), 1u);
    EXPECT_EQ(manifest.sounds.size(), 1u);
}

TEST(Manifest, WrittenManifestReadsBackTheSame)
{
    const Manifest full = ParseManifest(FullManifest, ManifestPath);
    const std::string written = WriteManifest(full);
    EXPECT_EQ(ParseManifest(written, ManifestPath), full) << written;

    // Texts that need escaping, a notice with only its second line, the
    // extreme ids, defaults left implicit in the struct.
    Manifest odd;
    odd.path = ManifestPath;
    odd.archive.keySeed = 0xFFFFFFFFu;
    odd.archive.encryption = EntryEncryption::Plain;
    ManifestInformation information;
    information.texts.name = "say \"紙\" \\ back";
    information.texts.notice2 = "tab\there";
    information.texts.aboutPicture = 0;
    odd.information = information;
    ManifestPicture picture;
    picture.id = 0;
    picture.file = {"odd \"name\".png", Resolved("odd \"name\".png")};
    picture.depth = 1;
    picture.palette = PicturePalette::Quantise;
    picture.storage = PictureStorage::Raw;
    odd.pictures = {picture};
    ManifestSound sound{0xFFFFFFFFu, {"s\\t.wav", Resolved("s\\t.wav")}, EntryEncryption::Head, {}};
    odd.sounds = {sound};
    const std::string oddText = WriteManifest(odd);
    const Manifest oddBack = ParseManifest(oddText, ManifestPath);
    EXPECT_EQ(oddBack, odd) << oddText;
    // Writing what was read gives the same text again.
    EXPECT_EQ(WriteManifest(oddBack), oddText);

    // An [information] table with nothing in it is still an information
    // entry (all zero); no table is no entry.
    Manifest bare;
    bare.path = ManifestPath;
    bare.information = ManifestInformation{};
    EXPECT_EQ(ParseManifest(WriteManifest(bare), ManifestPath), bare);
    bare.information.reset();
    EXPECT_FALSE(ParseManifest(WriteManifest(bare), ManifestPath).information.has_value());
}

class ManifestFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("manifest-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "set");
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path Write(const std::string& name, const std::string& text)
    {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    fs::path folder_;
};

TEST_F(ManifestFileTest, FileNamesResolveAgainstTheManifestsFolder)
{
    const fs::path path = Write("set/manifest.toml", "[scenario]\nfile = \"../story.txt\"\n");
    const Manifest manifest = ReadManifestFile(path);
    ASSERT_TRUE(manifest.scenario.has_value());
    EXPECT_EQ(manifest.scenario->file.given, "../story.txt");
    EXPECT_EQ(manifest.scenario->file.resolved, (folder_ / "story.txt").lexically_normal());
    EXPECT_EQ(manifest.path, path);
}

TEST_F(ManifestFileTest, MissingOrUnreadableFilesAreNamed)
{
    const fs::path missing = folder_ / "none.toml";
    try {
        ReadManifestFile(missing);
        ADD_FAILURE() << "read a missing file";
    } catch (const ManifestError& error) {
        EXPECT_EQ(error.Line(), 0);
        EXPECT_THAT(error.what(), StartsWith(missing.string() + ": cannot open the manifest"));
    }
    try {
        ReadManifestFile(folder_ / "set");
        ADD_FAILURE() << "read a folder";
    } catch (const ManifestError& error) {
        EXPECT_EQ(std::string(error.what()), (folder_ / "set").string() + ": is a folder, not a manifest file");
    }
    const fs::path bad = Write("bad.toml", "[archive]\ninterleave = 5\n");
    try {
        ReadManifestFile(bad);
        ADD_FAILURE() << "accepted interleave 5";
    } catch (const ManifestError& error) {
        EXPECT_THAT(error.what(), StartsWith(bad.string() + ":2: archive.interleave"));
    }
}

}  // namespace
