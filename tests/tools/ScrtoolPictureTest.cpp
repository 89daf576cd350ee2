// scrtool picture as its users run it: the built program (path in $SCRTOOL)
// on archives with hand-made picture entries, its output files read back.

#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"

#include "ZULResourceUtilLib/ResArchive.h"
#include "platform/TRect.h"
#include "tests/support/ScrtoolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

uint32_t ReadBe32(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 | static_cast<uint8_t>(bytes[at + 3]);
}

constexpr uint32_t KeySeed = 0x5EED1234u;

// The 4 × 2 test picture, blue, green, red, alpha per pixel: bright colours
// (no channel below 0x40), so that no resampled pixel of it comes out black,
// and alpha values that show whether they pass unchanged.
const std::vector<uint8_t> Picture4x2 = {
    0x40, 0x50, 0x60, 0x01, 0x70, 0x80, 0x90, 0x02, 0xA0, 0xB0, 0xC0, 0x03, 0xD0, 0xE0, 0xF0, 0x04,
    0xF1, 0xE1, 0xD1, 0x80, 0xC1, 0xB1, 0xA1, 0x00, 0x91, 0x81, 0x71, 0xFF, 0x61, 0x51, 0x41, 0x7F,
};

// The same colours stored as 24 bits: blue, green, red (12-byte rows).
std::vector<uint8_t> Picture4x2As24()
{
    std::vector<uint8_t> rows;
    for (size_t i = 0; i < Picture4x2.size(); i += 4) rows.insert(rows.end(), {Picture4x2[i], Picture4x2[i + 1], Picture4x2[i + 2]});
    return rows;
}

std::vector<uint8_t> RawEntry(int depth, int width, int height, const std::vector<uint8_t>& rows)
{
    return BuildPictureEntry(PictureFieldsFor(depth, width, height, PictureStorage::Raw), {}, rows);
}

std::string PamHeader(int width, int height)
{
    return "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
           "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
}

// PAM of buffer bytes (blue, green, red, alpha) as the writer must make it.
std::string PamOf(int width, int height, const std::vector<uint8_t>& bgra)
{
    std::string pam = PamHeader(width, height);
    for (size_t i = 0; i < bgra.size(); i += 4)
        pam += {static_cast<char>(bgra[i + 2]), static_cast<char>(bgra[i + 1]), static_cast<char>(bgra[i]),
                static_cast<char>(bgra[i + 3])};
    return pam;
}

class ScrtoolPictureTest : public ScrtoolFixture {
protected:
    void SetUp() override
    {
        ScrtoolFixture::SetUp();
        if (HasFatalFailure()) return;
        fs::create_directories(folder_ / "work");

        ArchiveOptions options;
        options.keySeed = KeySeed;
        ArchiveWriter writer(options);
        writer.Add({ResTagScenario, 1000, 0, std::vector<uint8_t>(64, 0), {}, {}});
        writer.Add({ResTagPicture, 1, 1, RawEntry(32, 4, 2, Picture4x2), {}, {}});
        writer.Add({ResTagPicture, 2, 3, RawEntry(24, 4, 2, Picture4x2As24()), {}, {}});
        PictureEntryFields unknownKind = PictureFieldsFor(32, 4, 2, PictureStorage::Raw);
        unknownKind.storageKind = 9;
        writer.Add({ResTagPicture, 6, 0, BuildPictureEntry(unknownKind, {}, Picture4x2), {}, {}});
        std::vector<uint8_t> shortEntry = RawEntry(32, 4, 2, Picture4x2);
        shortEntry.resize(20);
        writer.Add({ResTagPicture, 7, 0, shortEntry, {}, {}});
        archive_ = Write("pictures.brsc", writer.Build());
    }

    // An output file in the work folder, where nothing else is written.
    std::string Out(const std::string& name) const { return (folder_ / "work" / name).string(); }

    std::set<std::string> WorkListing() const
    {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(folder_ / "work")) names.insert(item.path().filename().string());
        return names;
    }

    std::string archive_;
};

// The loader's 32-bit buffer, byte for byte: a 32-bit picture as stored, a
// 24-bit one widened with alpha 255.
TEST_F(ScrtoolPictureTest, PamHoldsTheLoadedPictureExactly)
{
    std::vector<uint8_t> widened = Picture4x2;
    for (size_t i = 3; i < widened.size(); i += 4) widened[i] = 0xFF;
    struct Case {
        const char* id;
        std::vector<uint8_t> bgra;
    } const cases[] = {{"1", Picture4x2}, {"2", widened}};
    for (const Case& c : cases) {
        const RunResult result = Run({"picture", archive_, c.id, Out("picture.pam")});
        EXPECT_EQ(result.exitCode, 0) << c.id << ": " << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(ReadTextFile(Out("picture.pam")) == PamOf(4, 2, c.bgra)) << c.id;
    }
}

// The 4 × 2 picture placed on screens of several sizes: black outside the
// placed rectangle, the picture inside it. Where the placed size equals the
// picture's, the pixels are the picture's own bytes.
TEST_F(ScrtoolPictureTest, PlaceCentresTheFittedPictureOnBlack)
{
    struct Case {
        std::vector<std::string> options;
        int width, height;
        TRect placed;
        bool exact;
    } const cases[] = {
        {{"--place", "8x8"}, 8, 8, {0, 2, 8, 6}, false},           // scaled to 8 × 4, bars above and below
        {{"--place=8x8", "--area", "4x4"}, 8, 8, {2, 3, 6, 5}, true},  // area keeps it 4 × 2, centred on the screen
        {{"--place", "6x2"}, 6, 2, {1, 0, 5, 2}, true},              // height limits: bars left and right
        {{"--area", "7x3", "--place", "9x5"}, 9, 5, {1, 1, 7, 4}, false},  // 6 × 3 in the area, centred on the screen
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"picture", archive_, "1", Out("placed.pam")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RunResult result = Run(arguments);
        ASSERT_EQ(result.exitCode, 0) << c.options[0] << ": " << result.err;
        const std::string pam = ReadTextFile(Out("placed.pam"));
        const std::string header = PamHeader(c.width, c.height);
        ASSERT_EQ(pam.size(), header.size() + size_t(c.width) * c.height * 4) << c.options[0];
        ASSERT_EQ(pam.substr(0, header.size()), header);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const char* pixel = &pam[header.size() + (size_t(y) * c.width + x) * 4];
                const bool inside = x >= c.placed.left && x < c.placed.right && y >= c.placed.top && y < c.placed.bottom;
                const std::string where = c.options[0] + " " + c.options[1] + " at " + std::to_string(x) + "," + std::to_string(y);
                if (!inside) {
                    EXPECT_EQ(std::string(pixel, 3), std::string(3, '\0')) << where;
                } else if (c.exact) {
                    const uint8_t* source = &Picture4x2[(size_t(y - c.placed.top) * 4 + size_t(x - c.placed.left)) * 4];
                    const char rgba[4] = {char(source[2]), char(source[1]), char(source[0]), char(source[3])};
                    EXPECT_EQ(std::string(pixel, 4), std::string(rgba, 4)) << where;
                } else {
                    EXPECT_NE(std::string(pixel, 3), std::string(3, '\0')) << where;
                }
            }
        }
    }
}

TEST_F(ScrtoolPictureTest, PngHasThePictureSize)
{
    struct Case {
        std::vector<std::string> options;
        uint32_t width, height;
    } const cases[] = {{{}, 4, 2}, {{"--place", "30x20"}, 30, 20}};
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"picture", archive_, "2", Out("picture.PNG")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RunResult result = Run(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string png = ReadTextFile(Out("picture.PNG"));
        ASSERT_GT(png.size(), 8u + 25 + 12);
        EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
        EXPECT_EQ(ReadBe32(png, 16), c.width);
        EXPECT_EQ(ReadBe32(png, 20), c.height);
        EXPECT_EQ(png[25], 2) << "colour type RGB";
        EXPECT_EQ(png.substr(png.size() - 12, 8), std::string("\0\0\0\0IEND", 8));
    }
}

// Every failure: one line, the right status, and neither OUT nor any
// temporary file left in the output folder; an existing OUT stays as it was.
TEST_F(ScrtoolPictureTest, FailuresGiveOneLineAndLeaveOutUntouched)
{
    struct Case {
        std::vector<std::string> arguments;  // after "picture ARCHIVE"
        int exitCode;
        std::string message;  // the whole line, or empty where only a hint to --help is checked
    } const cases[] = {
        {{"99", "out.pam"}, 1, "scrtool: " + archive_ + ": no picture 99 (pictures: 1, 2, 6, 7)\n"},
        {{"99", "out.png", "--place", "8x8"}, 1, "scrtool: " + archive_ + ": no picture 99 (pictures: 1, 2, 6, 7)\n"},
        {{"6", "out.pam"}, 1, "scrtool: " + archive_ + ": cannot load picture 6\n"},
        {{"7", "out.png"}, 1, "scrtool: " + archive_ + ": cannot load picture 7\n"},
        {{"6", "out.png", "--place", "8x8"}, 1, "scrtool: " + archive_ + ": cannot load picture 6\n"},
        {{"7", "out.pam", "--place", "8x8"}, 1, "scrtool: " + archive_ + ": cannot load picture 7\n"},
        {{"1", "out.bmp"}, 2, ""},
        {{"1", "out"}, 2, ""},
        {{"1", "out.png.tmp"}, 2, ""},
        {{"x1", "out.pam"}, 2, ""},
        {{"1", "out.pam", "--place", "0x8"}, 2, ""},
        {{"1", "out.pam", "--place", "8x0"}, 2, ""},
        {{"1", "out.pam", "--place", "-8x8"}, 2, ""},
        {{"1", "out.pam", "--place", "16385x8"}, 2, ""},
        {{"1", "out.pam", "--place", "8x99999999999"}, 2, ""},
        {{"1", "out.pam", "--place", "8x"}, 2, ""},
        {{"1", "out.pam", "--place", "x8"}, 2, ""},
        {{"1", "out.pam", "--place", "8x8x8"}, 2, ""},
        {{"1", "out.pam", "--place", "8*8"}, 2, ""},
        {{"1", "out.pam", "--place", " 8x8"}, 2, ""},
        {{"1", "out.pam", "--place="}, 2, ""},
        {{"1", "out.pam", "--place"}, 2, ""},
        {{"1", "out.pam", "--place", "8x8", "--place", "8x8"}, 2, ""},
        {{"1", "out.pam", "--area", "4x4"}, 2, ""},
        {{"1", "out.pam", "--place", "8x8", "--area", "9x4"}, 2, ""},
        {{"1", "out.pam", "--place", "8x8", "--area", "4x9"}, 2, ""},
        {{"1", "out.pam", "--scale", "2"}, 2, ""},
        {{"1"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"picture", archive_};
        std::string shown;
        for (const std::string& argument : c.arguments) {
            const bool isOut = argument.rfind("out", 0) == 0;
            arguments.push_back(isOut ? Out(argument) : argument);
            shown += "[" + argument + "]";
        }
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_EQ(LineCount(result.err), 1u) << shown << ": " << result.err;
        if (c.exitCode == 2) {
            EXPECT_NE(result.err.find("--help"), std::string::npos) << shown << ": " << result.err;
        } else {
            EXPECT_EQ(result.err, c.message) << shown;
        }
        EXPECT_TRUE(WorkListing().empty()) << shown;
    }

    // An older OUT survives a failed load.
    std::ofstream(Out("kept.png"), std::ios::binary) << "older picture";
    const RunResult failed = Run({"picture", archive_, "6", Out("kept.png")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(ReadTextFile(Out("kept.png")), "older picture");
    EXPECT_EQ(WorkListing(), std::set<std::string>{"kept.png"});
}

// OUT that cannot be written: one line naming it, status 1, nothing left.
TEST_F(ScrtoolPictureTest, UnwritableOutNamesTheFile)
{
    const std::string intoMissingFolder = (folder_ / "work" / "missing" / "out.pam").string();
    fs::create_directories(folder_ / "work" / "taken.png");
    for (const std::string& out : {intoMissingFolder, Out("taken.png")}) {
        const RunResult result = Run({"picture", archive_, "1", out});
        EXPECT_EQ(result.exitCode, 1) << out;
        EXPECT_EQ(LineCount(result.err), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("scrtool: " + out + ": ", 0), 0u) << result.err;
    }
    EXPECT_EQ(WorkListing(), std::set<std::string>{"taken.png"});
}

TEST_F(ScrtoolPictureTest, HelpDescribesTheCommandAndTheOverviewListsIt)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"picture", "--help"}, std::vector<std::string>{"picture", archive_, "1", "-h"}}) {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind("usage: scrtool picture ARCHIVE ID OUT [--place WxH [--area WxH]]\n", 0), 0u);
        EXPECT_NE(result.out.find("alpha"), std::string::npos);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_NE(Run({"--help"}).out.find("\n  picture "), std::string::npos);
}

}  // namespace
