// scrtool pack as its users run it: a manifest and its source files (PNG,
// JPEG, WAV, scenario text) in a temporary folder, the built program (path in
// $SCRTOOL), and the archive read back through the tool (list, cat, picture)
// and through the reader and picture loader in this process. Also the two
// source checks of the builder (JPEG frame size, WAV chunk walk) on their own.

#include "tools/authoring/ArchiveBuilder.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/ScrtoolRun.h"
#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/ScenarioText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream output(path, std::ios::binary);
    output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The 1-based line of the first line of text that contains needle.
int LineOf(const std::string& text, const std::string& needle)
{
    const size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A picture as its expected colours, row after row.
struct SourcePicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
};

uint8_t Widen5(unsigned v) { return static_cast<uint8_t>(v << 3 | v >> 2); }
uint8_t Widen6(unsigned v) { return static_cast<uint8_t>(v << 2 | v >> 4); }

// Stripes of the given colours, a few pixels wide, so that the rows repeat
// enough for LZSS; sizes that are no multiple of 8 or 4 exercise row padding.
SourcePicture Stripes(int width, int height, const std::vector<Rgb>& colours)
{
    SourcePicture picture{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.pixels.push_back(colours[static_cast<size_t>(x / 4 + y / 3) % colours.size()]);
    return picture;
}

// 16 colours that 5-6-5 holds exactly (as the loader widens them), so that
// depths 4 to 32 all give them back unchanged.
std::vector<Rgb> SixteenColours()
{
    std::vector<Rgb> colours;
    for (unsigned i = 0; i < 16; ++i) colours.push_back({Widen5(2 * i), Widen6(4 * i + 1), Widen5(31 - 2 * i)});
    return colours;
}

// 32 grey levels: more than a 4-bit palette holds, so that the grey ramp
// and a palette chosen from the picture give different pictures.
std::vector<Rgb> ThirtyTwoGreys()
{
    std::vector<Rgb> greys;
    for (int i = 0; i < 32; ++i) {
        const auto level = static_cast<uint8_t>(i * 8);
        greys.push_back({level, level, level});
    }
    return greys;
}

// The picture's greys each moved to the nearest level of the pixel buffer's
// 4-bit grey ramp (i × 16 for 0 to 14, then 255; the lower level on ties).
SourcePicture OnFourBitGreyRamp(SourcePicture picture)
{
    for (Rgb& pixel : picture.pixels) {
        int best = 0;
        for (int i = 1; i < 16; ++i) {
            const int level = i < 15 ? i * 16 : 255;
            const int bestLevel = best < 15 ? best * 16 : 255;
            if (std::abs(level - pixel.g) < std::abs(bestLevel - pixel.g)) best = i;
        }
        const auto level = static_cast<uint8_t>(best < 15 ? best * 16 : 255);
        pixel = {level, level, level};
    }
    return picture;
}

std::vector<uint8_t> PngOf(const SourcePicture& picture)
{
    DirectBmpControl buffer;
    EXPECT_TRUE(buffer.Allocate(picture.width, picture.height, TPixelFormat::Bits32));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Rgb& c = picture.pixels[static_cast<size_t>(y * picture.width + x)];
            uint8_t* p = buffer.Rows[y] + 4 * x;
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255;
        }
    return EncodeImage(buffer, ImageFileFormat::Png);
}

SourcePicture FromBgr(int width, int height, const std::vector<uint8_t>& bgr)
{
    SourcePicture picture{width, height, {}};
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) picture.pixels.push_back({bgr[i + 2], bgr[i + 1], bgr[i]});
    return picture;
}

// Pixel x, y of a loaded buffer of any depth, as colour.
Rgb PixelOf(const DirectBmpControl& buffer, int x, int y)
{
    const uint8_t* row = buffer.Rows[y];
    const auto palette = [&](unsigned index) {
        return Rgb{buffer.Palette[index][2], buffer.Palette[index][1], buffer.Palette[index][0]};
    };
    switch (buffer.BitsPerPixel) {
    case 1: return palette(row[x / 8] >> (7 - x % 8) & 1u);
    case 4: return palette(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15u);
    case 8: return palette(row[x]);
    case 16: {
        const unsigned word = ReadLe16(row + 2 * x);
        return {Widen5(word >> 11 & 31), Widen6(word >> 5 & 63), Widen5(word & 31)};
    }
    case 24: return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    default: return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    }
}

// "" when every pixel is within tolerance of the expected colour, else the
// first that is not.
std::string CompareColours(const SourcePicture& expected, int width, int height,
                           const std::function<Rgb(int, int)>& actual, int tolerance)
{
    if (width != expected.width || height != expected.height)
        return "size " + std::to_string(width) + "x" + std::to_string(height) + ", expected " +
               std::to_string(expected.width) + "x" + std::to_string(expected.height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb a = actual(x, y);
            const Rgb& e = expected.pixels[static_cast<size_t>(y * width + x)];
            if (std::abs(a.r - e.r) > tolerance || std::abs(a.g - e.g) > tolerance || std::abs(a.b - e.b) > tolerance) {
                std::ostringstream text;
                text << "pixel " << x << "," << y << " is " << int{a.r} << "/" << int{a.g} << "/" << int{a.b}
                     << ", expected " << int{e.r} << "/" << int{e.g} << "/" << int{e.b};
                return text.str();
            }
        }
    return "";
}

// A PCM wave file: 8-bit mono at 8000 Hz, with a LIST chunk between "fmt "
// and "data" when asked (the loader must skip it).
std::vector<uint8_t> WaveFile(const std::vector<uint8_t>& samples, bool listChunk = false)
{
    std::vector<uint8_t> wave;
    const auto text = [&](const char* four) {
        for (int i = 0; i < 4; ++i) wave.push_back(static_cast<uint8_t>(four[i]));
    };
    const auto le32 = [&](uint32_t value) {
        for (int i = 0; i < 4; ++i) wave.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    const auto le16 = [&](uint16_t value) { wave.insert(wave.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}); };
    text("RIFF");
    le32(0);  // patched below
    text("WAVE");
    text("fmt ");
    le32(16);
    le16(1), le16(1), le32(8000), le32(8000), le16(1), le16(8);
    if (listChunk) {
        text("LIST");
        le32(10);
        text("INFO");
        text("ISFT");
        le16(0);
    }
    text("data");
    le32(static_cast<uint32_t>(samples.size()));
    wave.insert(wave.end(), samples.begin(), samples.end());
    WriteLe32(wave.data() + 4, static_cast<uint32_t>(wave.size() - 8));
    return wave;
}

std::vector<uint8_t> Noise(size_t length, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(length);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

bool Contains(const std::vector<uint8_t>& haystack, const uint8_t* needle, size_t length)
{
    return std::search(haystack.begin(), haystack.end(), needle, needle + length) != haystack.end();
}

const char* const ScenarioText =
    "# the test show\n"
    "start:\n"
    "wait 0\n"
    "show 1 speed 2 sound 7\n"
    "wait setting:0\n"
    "jump start\n";

class PackCommandTest : public ScrtoolFixture {
protected:
    void SetUp() override
    {
        ScrtoolFixture::SetUp();
        if (HasFatalFailure()) return;
        fs::create_directories(folder_ / "out");
    }

    // Runs scrtool in the test folder, so that relative names are as users
    // write them.
    RunResult Run(const std::vector<std::string>& arguments) { return ScrtoolFixture::Run(arguments, folder_); }

    // Packs manifest.toml with this text; OUT is out/NAME.
    RunResult Pack(const std::string& manifest, const std::string& name, const std::vector<std::string>& more = {})
    {
        WriteText(folder_ / "manifest.toml", manifest);
        std::vector<std::string> arguments = {"pack", "manifest.toml", "-o", "out/" + name};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return Run(arguments);
    }

    // Files in out/ (a failed pack must leave nothing, temporary files included).
    std::vector<std::string> OutListing() const
    {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(folder_ / "out")) names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct PictureCase {
    uint32_t id;
    const char* file;
    const char* storage;
    int depth;
    const char* palette;     // "" for the default
    const char* encryption;  // "" for the archive's default ("whole")
    int tolerance;           // 0: exact
    const char* expected = nullptr;  // the expected picture's name when it is not the file's
};

// Every storage kind at every depth it takes, every palette choice, and
// JPEG sources both kept as they are and converted.
const PictureCase PictureCases[] = {
    {1, "pictures/two.png", "raw", 1, "", "plain", 0},
    {2, "pictures/two.png", "lzss", 1, "", "head", 0},
    {3, "pictures/two.png", "zlib", 1, "quantise", "", 0},
    {4, "pictures/colours.png", "raw", 4, "", "interleaved", 0},
    {5, "pictures/colours.png", "lzss", 4, "", "", 0},
    {6, "pictures/colours.png", "zlib", 4, "", "plain", 0},
    {7, "pictures/colours.png", "raw", 8, "", "head", 0},
    {8, "pictures/colours.png", "lzss", 8, "", "whole", 0},
    {9, "pictures/colours.png", "zlib", 8, "", "interleaved", 0},
    {10, "pictures/colours.png", "raw", 16, "", "", 0},
    {11, "pictures/colours.png", "lzss", 16, "", "plain", 0},
    {12, "pictures/colours.png", "zlib", 16, "", "head", 0},
    {13, "pictures/colours.png", "raw", 24, "", "", 0},
    {14, "pictures/colours.png", "lzss", 24, "", "interleaved", 0},
    {15, "pictures/colours.png", "zlib", 24, "", "", 0},
    {16, "pictures/colours.png", "raw", 32, "", "whole", 0},
    {17, "pictures/colours.png", "lzss", 32, "", "", 0},
    {18, "pictures/colours.png", "zlib", 32, "", "plain", 0},
    {19, "pictures/greys.png", "zlib", 4, "grey", "", 0, "greys on the 4-bit ramp"},
    {20, "pictures/greys.png", "raw", 8, "grey", "head", 0},
    {21, "pictures/photo.jpg", "jpeg", 24, "", "", 3},
    {22, "pictures/photo.jpg", "jpeg", 32, "", "interleaved", 3},
    {23, "pictures/photo.jpg", "jpeg", 16, "", "plain", 10},
    {24, "pictures/photo.jpg", "raw", 24, "", "head", 3},
    {25, "pictures/photo.jpg", "zlib", 32, "", "", 3},
};

// The sources of PictureCases, written into the folder, and their expected
// colours by file name.
std::map<std::string, SourcePicture> WritePictureSources(const fs::path& folder, std::vector<uint8_t>& jpeg)
{
    std::map<std::string, SourcePicture> sources;
    sources["pictures/two.png"] = Stripes(61, 23, {{0x20, 0x40, 0x60}, {0xF0, 0xE0, 0x10}});
    sources["pictures/colours.png"] = Stripes(61, 23, SixteenColours());
    sources["pictures/greys.png"] = Stripes(37, 11, ThirtyTwoGreys());
    for (const auto& [name, picture] : sources) WriteBytes(folder / name, PngOf(picture));
    sources["greys on the 4-bit ramp"] = OnFourBitGreyRamp(sources["pictures/greys.png"]);
    jpeg = EncodeTestJpeg(48, 32, GradientBgr(48, 32));
    WriteBytes(folder / "pictures/photo.jpg", jpeg);
    const DecodedJpeg decoded = DecodeTestJpeg(jpeg);
    sources["pictures/photo.jpg"] = FromBgr(decoded.width, decoded.height, decoded.bgr);
    return sources;
}

InformationTexts TestInformation()
{
    InformationTexts texts;
    texts.name = "紙芝居テスト";
    texts.version = "Version 1.0";
    texts.notice1 = "(C) 2026 Example";
    texts.notice2 = "All rights reserved.";
    texts.aboutPicture = 13;
    return texts;
}

std::string FullManifest()
{
    std::string manifest =
        "[archive]\n"
        "identification = 0\n"
        "key-seed = 0x4B534231\n"
        "block-size = 256\n"
        "interleave = 2\n"
        "encryption = \"whole\"\n"
        "\n"
        "[information]\n"
        "name = \"紙芝居テスト\"\n"
        "version = \"Version 1.0\"\n"
        "notice = [\"(C) 2026 Example\", \"All rights reserved.\"]\n"
        "about-picture = 13\n"
        "\n"
        "[scenario]\n"
        "file = \"scenario.txt\"\n"
        "encryption = \"head\"\n"
        "\n"
        "[[sound]]\n"
        "id = 7\n"
        "file = \"sounds/chime.wav\"\n"
        "encryption = \"interleaved\"\n";
    for (const PictureCase& c : PictureCases) {
        manifest += "\n[[picture]]\nid = " + std::to_string(c.id) + "\nfile = \"" + c.file + "\"\nstorage = \"" +
                    c.storage + "\"\ndepth = " + std::to_string(c.depth) + "\n";
        if (*c.palette) manifest += std::string("palette = \"") + c.palette + "\"\n";
        if (*c.encryption) manifest += std::string("encryption = \"") + c.encryption + "\"\n";
    }
    return manifest;
}

// The listing line of an entry: tag, id, data length, mode.
std::string ListLine(const char* tag, uint32_t id, size_t length, int mode)
{
    return std::string(tag) + "\t" + std::to_string(id) + "\t" + std::to_string(length) + "\t" + std::to_string(mode) + "\n";
}

int StorageKind(const std::string& storage)
{
    return storage == "raw" ? 0 : storage == "lzss" ? 1 : storage == "zlib" ? 2 : 3;
}

int ModeNumber(const char* name)
{
    const std::string mode = *name ? name : "whole";
    return mode == "plain" ? 0 : mode == "head" ? 1 : mode == "interleaved" ? 2 : 3;
}

// The whole way: every entry kind, every storage and depth, every mode, read
// back through the tool and through the reader.
TEST_F(PackCommandTest, PackedArchiveGivesBackEveryEntry)
{
    std::vector<uint8_t> jpeg;
    const std::map<std::string, SourcePicture> sources = WritePictureSources(folder_, jpeg);
    const std::vector<uint8_t> wave = WaveFile(Noise(3001, 5), true);
    WriteBytes(folder_ / "sounds/chime.wav", wave);
    WriteText(folder_ / "scenario.txt", ScenarioText);

    const RunResult packed = Pack(FullManifest(), "show.brsc");
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(packed.out, "");
    EXPECT_EQ(packed.err, "");
    EXPECT_EQ(OutListing(), std::vector<std::string>{"show.brsc"});
    const std::vector<uint8_t> archiveBytes = ReadFileBytes(folder_ / "out/show.brsc");

    // Same manifest, same files: the same bytes.
    ASSERT_EQ(Pack(FullManifest(), "again.brsc").exitCode, 0);
    EXPECT_TRUE(ReadFileBytes(folder_ / "out/again.brsc") == archiveBytes);

    // Block code in the trailer: block size 256 (k 0), interleave 2 (m 0).
    EXPECT_EQ(archiveBytes[archiveBytes.size() - 64 + 46], 0);

    const std::vector<uint8_t> scenarioEntry = ScenarioEntryBytes(std::string_view(ScenarioText));
    const auto information = BuildInformationBlock(TestInformation());

    // list: every entry, in order, with its mode.
    const RunResult listed = Run({"list", "out/show.brsc"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::string expectedListing = ListLine("SSSc", 1000, scenarioEntry.size(), 1) + ListLine("SSIf", 1000, 256, 3);
    std::istringstream lines(listed.out);
    std::string line;
    std::vector<std::string> listedLines;
    while (std::getline(lines, line)) listedLines.push_back(line + "\n");
    ASSERT_EQ(listedLines.size(), 3 + std::size(PictureCases)) << listed.out;
    EXPECT_EQ(listedLines[0] + listedLines[1], expectedListing);
    for (size_t i = 0; i < std::size(PictureCases); ++i) {
        const PictureCase& c = PictureCases[i];
        const std::string prefix = "SGBm\t" + std::to_string(c.id) + "\t";
        EXPECT_EQ(listedLines[2 + i].substr(0, prefix.size()), prefix);
        EXPECT_EQ(listedLines[2 + i].substr(listedLines[2 + i].size() - 3), "\t" + std::to_string(ModeNumber(c.encryption)) + "\n")
            << c.id;
    }
    EXPECT_EQ(listedLines.back(), ListLine("SSWv", 7, wave.size(), 2));

    // cat: the scenario, the information block and the sound exactly; the
    // JPEG stream behind its header as the file holds it.
    struct CatCase {
        const char* tag;
        uint32_t id;
        std::vector<uint8_t> data;
    } const cats[] = {
        {"SSSc", 1000, scenarioEntry},
        {"SSIf", 1000, std::vector<uint8_t>(information.begin(), information.end())},
        {"SSWv", 7, wave},
    };
    for (const CatCase& c : cats) {
        const RunResult result = Run({"cat", "out/show.brsc", c.tag, std::to_string(c.id)});
        EXPECT_EQ(result.exitCode, 0) << c.tag << result.err;
        EXPECT_TRUE(result.out == std::string(c.data.begin(), c.data.end())) << c.tag;
    }
    const RunResult jpegEntry = Run({"cat", "out/show.brsc", "SGBm", "22"});
    ASSERT_GE(jpegEntry.out.size(), 32u);
    EXPECT_TRUE(jpegEntry.out.substr(32) == std::string(jpeg.begin(), jpeg.end()));

    // The loader in this process: headers and pixels of every picture.
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, archiveBytes), 0);
    for (const PictureCase& c : PictureCases) {
        SCOPED_TRACE(std::to_string(c.id) + " " + c.file + " " + c.storage + " " + std::to_string(c.depth));
        const SourcePicture& expected = sources.at(c.expected ? c.expected : c.file);
        const ResEntryLocation found = ResLocateEntry(archive, ResTagPicture, c.id);
        ASSERT_TRUE(found.Found());
        // The loader puts a JPEG's decoded 24-bit rows into the buffer with
        // Copy, which has no 24 to 16 bit conversion: a 16-bit JPEG entry is
        // only seen whole when loaded as 32 bits.
        const bool jpeg16 = StorageKind(c.storage) == 3 && c.depth == 16;
        DirectBmpControl buffer;
        uint8_t header[PictureHeaderSize];
        ASSERT_TRUE(LoadPicture(archive, PictureLocator{found.group, found.entry}, buffer,
                                jpeg16 ? PictureDepth::Force32 : PictureDepth::AsStored, PictureParts::Whole, header));
        const PictureHeader fields = PictureHeader::Parse(header);
        EXPECT_EQ(fields.depth, c.depth);
        EXPECT_EQ(fields.width, expected.width);
        EXPECT_EQ(fields.height, expected.height);
        EXPECT_EQ(fields.storageKind, StorageKind(c.storage));
        EXPECT_EQ(fields.paletteCount, c.depth <= 8 ? 1 << c.depth : 0);
        EXPECT_EQ(buffer.BitsPerPixel, jpeg16 ? 32 : c.depth);
        EXPECT_EQ(CompareColours(expected, buffer.Width, buffer.Height,
                                 [&](int x, int y) { return PixelOf(buffer, x, y); }, c.tolerance),
                  "");
    }

    // The tool's picture command (the loader's 32-bit path). It converts raw
    // and LZSS rows and JPEG; zlib rows it only inflates, so of those only the
    // 32-bit ones are compared.
    for (const PictureCase& c : PictureCases) {
        if (std::string(c.storage) == "zlib" && c.depth != 32) continue;
        SCOPED_TRACE(std::to_string(c.id) + " " + c.file + " " + c.storage + " " + std::to_string(c.depth));
        const std::string pam = "out/picture" + std::to_string(c.id) + ".pam";
        const RunResult result = Run({"picture", "out/show.brsc", std::to_string(c.id), pam});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const SourcePicture& expected = sources.at(c.expected ? c.expected : c.file);
        const std::string text = ReadTextFile(folder_ / pam);
        const std::string header = "P7\nWIDTH " + std::to_string(expected.width) + "\nHEIGHT " +
                                   std::to_string(expected.height) + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        ASSERT_EQ(text.substr(0, header.size()), header);
        ASSERT_EQ(text.size(), header.size() + expected.pixels.size() * 4);
        const auto* pixels = reinterpret_cast<const uint8_t*>(text.data() + header.size());
        EXPECT_EQ(CompareColours(expected, expected.width, expected.height,
                                 [&](int x, int y) {
                                     const uint8_t* p = pixels + 4 * (y * expected.width + x);
                                     return Rgb{p[0], p[1], p[2]};
                                 },
                                 c.tolerance),
                  "");
    }
}

// Each mode encrypts what it says, with the manifest's block size and
// interleave: 64-byte windows of the samples at known data positions either
// appear in the file as they are or do not.
TEST_F(PackCommandTest, EncryptionModesFollowTheBlockSizeAndInterleave)
{
    // Block size 512, interleave 4: blocks 0 and 4 encrypted, 1 to 3 plain.
    struct ModeCase {
        uint32_t id;
        const char* mode;  // "" for the archive's default
        int listed;
        bool plainAt[4];  // positions 100, 600, 1100, 2100 of the entry's data
    } const cases[] = {
        {1, "plain", 0, {true, true, true, true}},
        {2, "head", 1, {false, false, true, true}},
        {3, "interleaved", 2, {false, true, true, false}},
        {4, "whole", 3, {false, false, false, false}},
        {5, "", 2, {false, true, true, false}},
    };
    const size_t positions[] = {100, 600, 1100, 2100};
    std::string manifest =
        "[archive]\nkey-seed = 0x1234\nblock-size = 512\ninterleave = 4\nencryption = \"interleaved\"\n";
    std::vector<std::vector<uint8_t>> waves;
    for (const ModeCase& c : cases) {
        waves.push_back(WaveFile(Noise(3000, c.id)));
        WriteBytes(folder_ / ("sound" + std::to_string(c.id) + ".wav"), waves.back());
        manifest += "[[sound]]\nid = " + std::to_string(c.id) + "\nfile = \"sound" + std::to_string(c.id) + ".wav\"\n";
        if (*c.mode) manifest += std::string("encryption = \"") + c.mode + "\"\n";
    }
    const RunResult packed = Pack(manifest, "modes.brsc");
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    const std::vector<uint8_t> archive = ReadFileBytes(folder_ / "out/modes.brsc");
    EXPECT_EQ(archive[archive.size() - 64 + 46], 1 << 2 | 1);  // k 1 (512), m 1 (mask 3)

    const RunResult listed = Run({"list", "out/modes.brsc"});
    std::string expectedListing;
    for (size_t i = 0; i < std::size(cases); ++i) expectedListing += ListLine("SSWv", cases[i].id, waves[i].size(), cases[i].listed);
    EXPECT_EQ(listed.out, expectedListing);

    for (size_t i = 0; i < std::size(cases); ++i) {
        const ModeCase& c = cases[i];
        const RunResult cat = Run({"cat", "out/modes.brsc", "SSWv", std::to_string(c.id)});
        EXPECT_TRUE(cat.out == std::string(waves[i].begin(), waves[i].end())) << c.id;
        for (size_t p = 0; p < std::size(positions); ++p)
            EXPECT_EQ(Contains(archive, waves[i].data() + positions[p], 64), c.plainAt[p]) << c.id << " at " << positions[p];
    }
}

// --append-to: the program's bytes first, then an archive that the reader
// takes as the program's own (check word passing); OUT may be the program.
TEST_F(PackCommandTest, AppendsTheArchiveToAProgram)
{
    const std::vector<uint8_t> program = Noise(5000, 77);
    WriteBytes(folder_ / "saver.scr", program);
    fs::permissions(folder_ / "saver.scr", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    const std::vector<uint8_t> wave = WaveFile(Noise(1500, 3));
    WriteBytes(folder_ / "chime.wav", wave);
    // With the byte-order mark that Windows editors put in front.
    WriteText(folder_ / "scenario.txt", std::string("\xEF\xBB\xBF") + ScenarioText);
    const std::vector<uint8_t> scenarioEntry = ScenarioEntryBytes(std::string_view(ScenarioText));
    // Picture 1 too, which the scenario shows: pack would warn without it.
    WriteBytes(folder_ / "one.png", PngOf(Stripes(8, 6, SixteenColours())));
    const std::string manifest = "[archive]\nkey-seed = 99\n[scenario]\nfile = \"scenario.txt\"\n"
                                 "[[picture]]\nid = 1\nfile = \"one.png\"\n[[sound]]\nid = 7\nfile = \"chime.wav\"\n";

    struct Case {
        const char* out;
        const char* program;
    } const cases[] = {{"out/copy.scr", "saver.scr"}, {"saver.scr", "saver.scr"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        WriteText(folder_ / "manifest.toml", manifest);
        const RunResult packed = Run({"pack", "manifest.toml", "--append-to", c.program, "-o", c.out});
        ASSERT_EQ(packed.exitCode, 0) << packed.err;
        EXPECT_EQ(packed.err, "");
        const std::vector<uint8_t> bytes = ReadFileBytes(folder_ / c.out);
        ASSERT_GT(bytes.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.end(), bytes.begin()));
        EXPECT_TRUE((fs::status(folder_ / c.out).permissions() & fs::perms::owner_exec) != fs::perms::none);

        ResArchive archive;
        ASSERT_EQ(OpenArchiveBytes(archive, bytes, ResEmbedding::ProgramFile), 0);
        EXPECT_EQ(archive.dataBase, program.size() + 28);
        const ResEntryLocation found = ResLocateEntry(archive, ResTagSound, 7);
        ASSERT_TRUE(found.Found());
        std::unique_ptr<uint8_t[]> data = ResLoadEntry(archive, found.group, found.entry);
        ASSERT_TRUE(data);
        EXPECT_TRUE(std::equal(wave.begin(), wave.end(), data.get()));

        const RunResult cat = Run({"cat", c.out, "SSWv", "7"});
        EXPECT_TRUE(cat.out == std::string(wave.begin(), wave.end()));
        const RunResult scenario = Run({"cat", c.out, "SSSc", "1000"});
        EXPECT_TRUE(scenario.out == std::string(scenarioEntry.begin(), scenarioEntry.end()));
    }
    // Packing into the program itself appended to the original bytes, once.
    EXPECT_EQ(ReadFileBytes(folder_ / "saver.scr").size(), ReadFileBytes(folder_ / "out/copy.scr").size());
}

// Failures: one line naming the file (and line) at fault and the problem,
// exit 1, nothing on stdout, and no OUT (nor a temporary file) left behind;
// an OUT that was there stays as it was.
TEST_F(PackCommandTest, FailuresNameTheFileAndLeaveNoOutput)
{
    WriteBytes(folder_ / "good.png", PngOf(Stripes(16, 8, SixteenColours())));
    WriteBytes(folder_ / "noise.png", PngOf(FromBgr(16, 16, Noise(16 * 16 * 3, 9))));
    std::vector<uint8_t> damagedPng = PngOf(Stripes(16, 8, SixteenColours()));
    damagedPng.erase(damagedPng.end() - 20, damagedPng.end());
    WriteBytes(folder_ / "damaged.png", damagedPng);
    WriteBytes(folder_ / "notjpeg.jpg", PngOf(Stripes(16, 8, SixteenColours())));
    std::vector<uint8_t> huge = EncodeTestJpeg(16, 8, GradientBgr(16, 8));
    SetJpegFrameSize(huge, 8193, 8192);  // within the decoder's 16384, over the 256 MB a picture may take
    WriteBytes(folder_ / "huge.jpg", huge);
    WriteBytes(folder_ / "chime.wav", WaveFile(Noise(400, 1)));
    WriteBytes(folder_ / "picture.wav", PngOf(Stripes(16, 8, SixteenColours())));
    WriteText(folder_ / "scenario.txt", ScenarioText);
    WriteText(folder_ / "bad-scenario.txt", "wait 0\n# next the picture\nshw 1\n");
    std::string scenarioReason;
    try {
        CompileScenarioText("wait 0\n# next the picture\nshw 1\n");
    } catch (const ScenarioTextError& error) {
        scenarioReason = error.reason();
    }
    ASSERT_NE(scenarioReason, "");

    const std::string good = "[scenario]\nfile = \"scenario.txt\"\n"
                             "[[picture]]\nid = 1\nfile = \"good.png\"\nstorage = \"lzss\"\n"
                             "[[sound]]\nid = 7\nfile = \"chime.wav\"\n";
    const auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };

    struct Case {
        const char* name;
        std::string manifest;
        std::vector<std::string> more;  // further arguments
        std::string expected;           // the whole stderr line (after "scrtool: "), or its start when it ends in "..."
    };
    const std::string missing = replace("good.png", "missing.png");
    const std::string badLine = replace("storage = \"lzss\"", "storage = \"lzss\"\ndepth = 7");
    const std::string nonWave = replace("chime.wav", "picture.wav");
    const std::string noise = replace("good.png", "noise.png");
    const std::string notJpeg = replace("good.png\"\nstorage = \"lzss\"", "notjpeg.jpg\"\nstorage = \"jpeg\"");
    const std::string hugeJpeg = replace("good.png\"\nstorage = \"lzss\"", "huge.jpg\"\nstorage = \"jpeg\"");
    const Case cases[] = {
        {"bad manifest line", badLine, {}, "manifest.toml:" + std::to_string(LineOf(badLine, "depth = 7")) + ": picture.depth..."},
        {"missing picture", missing, {},
         "manifest.toml:" + std::to_string(LineOf(missing, "[[picture]]")) +
             ": picture 1: cannot read missing.png: No such file or directory"},
        {"bad scenario line", replace("scenario.txt", "bad-scenario.txt"), {}, "bad-scenario.txt:3: " + scenarioReason},
        {"sound not a wave", nonWave, {},
         "picture.wav: not a sound file that pack takes: it takes WAV (RIFF WAVE), FLAC, Ogg Vorbis and MP3 files "
         "(sound 7 at manifest.toml:" +
             std::to_string(LineOf(nonWave, "[[sound]]")) + ")"},
        {"damaged PNG", replace("good.png", "damaged.png"), {}, "damaged.png: PNG: ..."},
        {"PNG bytes as a JPEG", notJpeg, {},
         "notjpeg.jpg: not a JPEG file; storage \"jpeg\" keeps a JPEG stream as it is (picture 1 at manifest.toml:" +
             std::to_string(LineOf(notJpeg, "[[picture]]")) + ")"},
        {"JPEG over the picture memory limit", hugeJpeg, {},
         "huge.jpg: picture 1 is 8193 x 8192: larger than the 256 MB a picture may take; storage \"photo\" "
         "shrinks it to fit (picture 1 at manifest.toml:" +
             std::to_string(LineOf(hugeJpeg, "[[picture]]")) + ")"},
        {"LZSS cannot pack", noise, {},
         "manifest.toml:" + std::to_string(LineOf(noise, "[[picture]]")) + ": picture 1 (noise.png): LZSS ..."},
        {"missing program", good, {"--append-to", "nothing.scr"}, "cannot read nothing.scr: No such file or directory"},
        {"missing manifest", "", {}, "manifest.toml: ..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(folder_ / "out", ignored);
        fs::create_directories(folder_ / "out");
        if (c.manifest.empty()) fs::remove(folder_ / "manifest.toml", ignored);
        RunResult result;
        if (c.manifest.empty()) {
            result = Run({"pack", "manifest.toml", "-o", "out/show.brsc"});
        } else {
            result = Pack(c.manifest, "show.brsc", c.more);
        }
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        const std::string expected = "scrtool: " + c.expected;
        if (expected.size() > 3 && expected.ends_with("...")) {
            EXPECT_EQ(result.err.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3)) << result.err;
        } else {
            EXPECT_EQ(result.err, expected + "\n");
        }
        EXPECT_TRUE(OutListing().empty());
    }

    // An OUT that exists is kept as it was.
    WriteText(folder_ / "out/show.brsc", "the old archive");
    EXPECT_EQ(Pack(missing, "show.brsc").exitCode, 1);
    EXPECT_EQ(ReadTextFile(folder_ / "out/show.brsc"), "the old archive");
    EXPECT_EQ(OutListing(), std::vector<std::string>{"show.brsc"});
    // A folder that does not exist.
    WriteText(folder_ / "manifest.toml", good);
    EXPECT_EQ(Run({"pack", "manifest.toml", "-o", "nowhere/show.brsc"}).err,
              "scrtool: nowhere/show.brsc: cannot create a file in nowhere: No such file or directory\n");
}

TEST_F(PackCommandTest, CommandLineMistakesAreUsageErrors)
{
    WriteText(folder_ / "manifest.toml", "");
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
    } const cases[] = {
        {{"pack", "manifest.toml"}, 2},
        {{"pack", "manifest.toml", "-o", "a.brsc", "--output", "b.brsc"}, 2},
        {{"pack", "manifest.toml", "-o", "a.brsc", "--append-to", "x", "--append-to", "y"}, 2},
        {{"pack", "-o", "a.brsc"}, 2},
        {{"pack", "manifest.toml", "-o"}, 2},
        {{"pack", "manifest.toml", "-o", "a.brsc", "--loud"}, 2},
        {{"pack", "manifest.toml", "-o", "a.brsc", "--order", "name"}, 2},  // for a folder of photos only
    };
    for (const Case& c : cases) {
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.size();
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find("scrtool pack --help"), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(folder_ / "a.brsc"));
    const RunResult help = Run({"pack", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: scrtool pack FOLDER -o OUT [--append-to EXE]", 0), 0u);
    EXPECT_NE(help.out.find("\n       scrtool pack MANIFEST -o OUT [--append-to EXE]"), std::string::npos);

    // An empty manifest is an archive without entries, which the reader opens.
    const RunResult empty = Run({"pack", "manifest.toml", "--output=empty.brsc"});
    ASSERT_EQ(empty.exitCode, 0) << empty.err;
    ResArchive archive;
    EXPECT_EQ(OpenArchiveBytes(archive, ReadFileBytes(folder_ / "empty.brsc")), 0);
}

// ---------------------------------------------------------------------------
// The source checks on their own.

TEST(PackSourceCheckTest, JpegFrameSizeComesFromTheFrameHeader)
{
    const std::vector<uint8_t> baseline = EncodeTestJpeg(37, 21, GradientBgr(37, 21));
    const std::vector<uint8_t> progressive =
        EncodeTestJpeg(37, 21, GradientBgr(37, 21), JpegEncodeOptions{JpegColour::Colour, JpegScans::Progressive, 80});
    for (const auto* jpeg : {&baseline, &progressive}) {
        const JpegFrameSize size = ReadJpegFrameSize(*jpeg);
        EXPECT_EQ(size.width, 37);
        EXPECT_EQ(size.height, 21);
        EXPECT_EQ(size.components, 3);
    }

    // Extra markers before the frame: an APP segment, fill bytes, a restart
    // marker without a length.
    std::vector<uint8_t> padded = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x06, 'a', 'b', 'c', 'd', 0xFF, 0xFF, 0xFF, 0xD0};
    padded.insert(padded.end(), baseline.begin() + 2, baseline.end());
    EXPECT_EQ(ReadJpegFrameSize(padded).width, 37);

    std::vector<uint8_t> large = baseline;
    SetJpegFrameSize(large, 16384, 3);
    EXPECT_EQ(ReadJpegFrameSize(large).width, 16384);

    struct Bad {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<uint8_t> tooWide = baseline, noHeight = baseline;
    SetJpegFrameSize(tooWide, 16385, 3);
    SetJpegFrameSize(noHeight, 10, 0);
    const Bad bad[] = {
        {"empty", {}, "not a JPEG file"},
        {"PNG", PngOf(Stripes(4, 4, SixteenColours())), "not a JPEG file"},
        {"scan first", {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}, "starts its scan before"},
        {"end first", {0xFF, 0xD8, 0xFF, 0xD9}, "ends (EOI)"},
        {"length 1", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0, 0}, "has a length of 1"},
        {"length past the end", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0, 0}, "ends inside marker 0xFFE0"},
        {"garbage between markers", {0xFF, 0xD8, 0x12, 0xFF, 0xC0}, "byte 2 should start a marker"},
        {"short frame header", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x08, 8, 0, 1, 0, 1, 3}, "too short for 3 components"},
        {"too wide", tooWide, "16385 x 3 pixels"},
        {"height by DNL", noHeight, "DNL"},
    };
    for (const Bad& b : bad) {
        try {
            ReadJpegFrameSize(b.bytes);
            ADD_FAILURE() << b.name << ": accepted";
        } catch (const ArchiveBuildError& error) {
            EXPECT_NE(std::string(error.what()).find(b.reason), std::string::npos) << b.name << ": " << error.what();
        }
    }

    // Every cut of a real stream: refused, or the right size when the frame
    // header is whole; never a read outside the bytes (the sanitizers watch).
    for (size_t length = 0; length < baseline.size(); length += length < 700 ? 1 : 97) {
        const std::vector<uint8_t> cut(baseline.begin(), baseline.begin() + static_cast<std::ptrdiff_t>(length));
        try {
            EXPECT_EQ(ReadJpegFrameSize(cut).width, 37) << length;
        } catch (const ArchiveBuildError&) {
        }
    }
}

TEST(PackSourceCheckTest, WaveFilesAreWalkedAsTheSaverWalksThem)
{
    const std::vector<uint8_t> samples = Noise(101, 4);
    const std::vector<uint8_t> plain = WaveFile(samples);
    const WaveFileInfo info = CheckWaveFile(plain);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplesPerSecond, 8000u);
    EXPECT_EQ(info.averageBytesPerSecond, 8000u);
    EXPECT_EQ(info.bitsPerSample, 8);
    EXPECT_EQ(info.dataOffset, 44u);
    EXPECT_EQ(info.dataLength, 101u);
    EXPECT_EQ(CheckWaveFile(WaveFile(samples, true)).dataOffset, 62u);

    // Variants of the plain file, each made from its bytes.
    const auto with = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
        std::vector<uint8_t> bytes = plain;
        change(bytes);
        return bytes;
    };
    const auto insertChunk = [](std::vector<uint8_t>& bytes, size_t at, const char* id, std::vector<uint8_t> body, bool pad) {
        std::vector<uint8_t> chunk(id, id + 4);
        for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(body.size() >> (8 * i)));
        chunk.insert(chunk.end(), body.begin(), body.end());
        if (pad) chunk.push_back(0);
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;  // nullptr: accepted
    };
    const Case cases[] = {
        {"fmt of 18 bytes", with([&](auto& b) { WriteLe32(b.data() + 16, 18); b.insert(b.begin() + 36, {0, 0}); }), nullptr},
        {"wrong RIFF size", with([](auto& b) { WriteLe32(b.data() + 4, 7); }), nullptr},
        {"even chunk before fmt", with([&](auto& b) { insertChunk(b, 12, "junk", {1, 2, 3, 4}, false); }), nullptr},
        {"not RIFF", with([](auto& b) { b[0] = 'X'; }), "not a RIFF WAVE file"},
        {"not WAVE", with([](auto& b) { b[8] = 'A'; }), "not a RIFF WAVE file"},
        {"too short", std::vector<uint8_t>(plain.begin(), plain.begin() + 10), "not a RIFF WAVE file"},
        {"no fmt", with([](auto& b) { b.erase(b.begin() + 12, b.begin() + 36); }), "comes before any \"fmt \""},
        {"no data", std::vector<uint8_t>(plain.begin(), plain.begin() + 36), "no \"data\" chunk"},
        {"data cut short", std::vector<uint8_t>(plain.begin(), plain.end() - 1), "declares 101 bytes, but only 100 follow"},
        {"short fmt", with([](auto& b) { WriteLe32(b.data() + 16, 14); }), "needs 16"},
        {"long PCM fmt", with([](auto& b) { WriteLe32(b.data() + 16, 40); b.insert(b.begin() + 36, 24, 0); }), nullptr},
        {"extensible fmt",
         with([](auto& b) { WriteLe32(b.data() + 16, 40); WriteLe16(b.data() + 20, 0xFFFE); b.insert(b.begin() + 36, 24, 0); }),
         "extensible one (tag 0xFFFE)"},
        {"no channels", with([](auto& b) { WriteLe16(b.data() + 22, 0); }), "0 channels"},
        {"no byte rate", with([](auto& b) { WriteLe32(b.data() + 28, 0); }), "0 average bytes per second"},
        // What the sound device refuses, as verify finds it.
        {"IEEE float tag", with([](auto& b) { WriteLe16(b.data() + 20, 3); }),
         "the sound device cannot play its format: format tag 3 is not PCM (1)"},
        {"9 channels", with([](auto& b) { WriteLe16(b.data() + 22, 9); }),
         "the sound device cannot play its format: 9 channels (it plays 1 to 8)"},
        {"12 bits", with([](auto& b) { WriteLe16(b.data() + 34, 12); }),
         "the sound device cannot play its format: 12 bits per sample"},
        {"block align 2", with([](auto& b) { WriteLe16(b.data() + 32, 2); }),
         "the sound device cannot play its format: block align 2, not the 1 byte of 1 channel of 8 bits"},
        {"huge chunk", with([&](auto& b) { insertChunk(b, 36, "huge", {}, false); WriteLe32(b.data() + 40, 0x80000000u); }),
         "2 GiB"},
        {"chunk past the end", with([&](auto& b) { insertChunk(b, 36, "cue ", {}, false); WriteLe32(b.data() + 40, 5000); }),
         "chunk 'cue ' declares 5000 bytes"},
        {"odd chunk with its pad byte", with([&](auto& b) { insertChunk(b, 36, "LIST", {1, 2, 3}, true); }),
         "after chunk 'LIST', whose pad byte the saver does not skip"},
    };
    for (const Case& c : cases) {
        try {
            CheckWaveFile(c.bytes);
            EXPECT_EQ(c.reason, nullptr) << c.name << ": accepted";
        } catch (const ArchiveBuildError& error) {
            ASSERT_NE(c.reason, nullptr) << c.name << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << c.name << ": " << error.what();
        }
    }
    // Every cut: refused or accepted, never a read outside the bytes.
    for (size_t length = 0; length < plain.size(); ++length) {
        try {
            CheckWaveFile(std::span<const uint8_t>(plain.data(), length));
        } catch (const ArchiveBuildError&) {
        }
    }
}

}  // namespace
