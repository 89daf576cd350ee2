// scrtool pack FOLDER and scrtool init FOLDER: a show made straight from a
// folder of photos the test makes itself: every orientation turned upright,
// large photos shrunk, upright JPEGs kept byte for byte, ids in natural
// order, damaged files left out with a warning, narrations, and the same
// archive from the written manifest and for any number of threads.

#include "tests/support/JpegFixtures.h"
#include "tests/support/PhotoFixtures.h"
#include "tests/support/PngFiles.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/support/WaveFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// An RGB PNG of width × height pixels of one colour.
std::vector<uint8_t> PngOfSize(int width, int height)
{
    using namespace png_files;
    const std::vector<Bytes> rows(static_cast<size_t>(height), Bytes(static_cast<size_t>(width) * 3, 0x80));
    Bytes filtered;
    AppendFiltered(filtered, rows, 3, std::vector<int>(rows.size(), 0));
    return PngFile({{"IHDR", HeaderData(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 8, 2)},
                    {"IDAT", Deflate(filtered)},
                    {"IEND", {}}});
}

class PackFolderTest : public ScrtoolFixture {
protected:
    void SetUp() override
    {
        ScrtoolFixture::SetUp();
        // The version line is the date of packing: fixed, so that two packs agree.
        setenv("SOURCE_DATE_EPOCH", "1796947200", 1);
        photos_ = folder_ / "photos";
        fs::create_directories(photos_);
    }

    void Photo(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(photos_ / fs::u8path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<uint8_t> Quarters(int width, int height, int orientation = 0)
    {
        const std::vector<uint8_t> jpeg = EncodeTestJpeg(width, height, QuartersBgr(width, height));
        return orientation == 0 ? jpeg : WithExifOrientation(jpeg, orientation);
    }

    RunResult Pack(std::vector<std::string> extra = {}, const std::string& out = "show.brsc")
    {
        std::vector<std::string> arguments = {"pack", photos_.string(), "-o", (folder_ / out).string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Run(arguments);
    }

    PamPicture Picture(uint32_t id, const std::string& archive = "show.brsc")
    {
        const fs::path out = folder_ / ("picture-" + std::to_string(id) + ".pam");
        const RunResult result = Run({"picture", (folder_ / archive).string(), std::to_string(id), out.string()});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return ReadPam(ReadFileBytes(out));
    }

    std::vector<uint8_t> Entry(uint32_t id, const std::string& tag = "SGBm")
    {
        const RunResult result = Run({"cat", (folder_ / "show.brsc").string(), tag, std::to_string(id)});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return std::vector<uint8_t>(result.out.begin(), result.out.end());
    }

    fs::path photos_;
};

TEST_F(PackFolderTest, EveryOrientationIsTurnedUpright)
{
    // Stored as 64 x 48 quarters; what a viewer must show for each value.
    const char* const upright[] = {"RG/BW", "GR/WB", "WB/GR", "BW/RG", "RB/GW", "BR/WG", "WG/BR", "GW/RB"};
    for (int orientation = 1; orientation <= 8; ++orientation)
        Photo("turned" + std::to_string(orientation) + ".jpg", Quarters(64, 48, orientation));
    Photo("turned9-big-endian.jpg", WithExifOrientation(EncodeTestJpeg(64, 48, QuartersBgr(64, 48)), 6, true));

    const RunResult packed = Pack({"--order", "name"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(packed.err, "");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const PamPicture picture = Picture(999 + static_cast<uint32_t>(orientation));
        const bool swapped = orientation >= 5;
        EXPECT_EQ(picture.width, swapped ? 48 : 64);
        EXPECT_EQ(picture.height, swapped ? 64 : 48);
        EXPECT_EQ(QuarterLayout(picture), upright[orientation - 1]);
    }
    EXPECT_EQ(QuarterLayout(Picture(1008)), "BR/WG") << "orientation 6 written big-endian";
}

TEST_F(PackFolderTest, AnUprightPhotoThatFitsIsStoredByteForByte)
{
    const std::vector<uint8_t> jpeg = Quarters(80, 60);
    Photo("as-it-is.jpg", jpeg);
    ASSERT_EQ(Pack().exitCode, 0);
    const std::vector<uint8_t> entry = Entry(1000);
    ASSERT_GE(entry.size(), jpeg.size());
    EXPECT_EQ(std::vector<uint8_t>(entry.end() - static_cast<std::ptrdiff_t>(jpeg.size()), entry.end()), jpeg)
        << "the entry is its header and the file's own stream";
}

TEST_F(PackFolderTest, LargePicturesAreShrunkToTheMaximumKeepingTheirShape)
{
    Photo("a-wide.jpg", Quarters(1200, 800));                    // decoded at 1/2, then averaged
    Photo("b-tall-turned.jpg", Quarters(800, 1200, 8));          // upright 1200 x 800 after turning
    Photo("c-small.jpg", Quarters(200, 100));                    // already fits
    Photo("d-picture.png", PngOfSize(400, 100));         // a PNG is shrunk as well
    const RunResult packed = Pack({"--order", "name", "--max-size", "300x300"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    const struct {
        uint32_t id;
        int width, height;
    } expected[] = {{1000, 300, 200}, {1001, 300, 200}, {1002, 200, 100}, {1003, 300, 75}};
    for (const auto& e : expected) {
        const PamPicture picture = Picture(e.id);
        EXPECT_EQ(picture.width, e.width) << e.id;
        EXPECT_EQ(picture.height, e.height) << e.id;
    }
    EXPECT_EQ(QuarterLayout(Picture(1000)), "RG/BW");
    EXPECT_EQ(QuarterLayout(Picture(1001)), "GW/RB") << "orientation 8 turned, then shrunk";

    // none keeps every size.
    ASSERT_EQ(Pack({"--max-size", "none"}, "full.brsc").exitCode, 0);
    EXPECT_EQ(Picture(1000, "full.brsc").width, 1200);
}

TEST_F(PackFolderTest, IdsFollowTheNaturalOrderOfTheNames)
{
    // Widths tell the pictures apart.
    Photo("img10.jpg", Quarters(40, 30));
    Photo("img2.jpg", Quarters(20, 30));
    Photo("IMG1.JPEG", Quarters(10, 30));
    Photo("夜明け.png", PngOfSize(50, 30));
    ASSERT_EQ(Pack({"--order", "name"}).exitCode, 0);
    const int widths[] = {10, 20, 40, 50};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(Picture(1000 + i).width, widths[i]) << i;
    EXPECT_EQ(Picture(1).width, 10) << "the about picture: the first photo, within 48 x 48, never enlarged";
}

TEST_F(PackFolderTest, FilesThatCannotBeReadAreLeftOutWithAWarning)
{
    const std::vector<uint8_t> good = Quarters(40, 30);
    Photo("a-good.jpg", good);
    Photo("b-truncated.jpg", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)));
    Photo("c-not-a-picture.png", {'h', 'e', 'l', 'l', 'o'});
    Photo("d-good.jpg", good);
    // Cut inside its scan, and larger than the maximum: the decoder would
    // shrink what it read with grey filled in for the rest.
    const std::vector<uint8_t> large = Quarters(400, 300);
    Photo("e-large-truncated.jpg", std::vector<uint8_t>(large.begin(), large.end() - 200));
    Photo("notes.txt", {'x'});

    const RunResult packed = Pack({"--order", "name", "--max-size", "100x100"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_NE(packed.err.find("b-truncated.jpg: warning: skipped: "), std::string::npos) << packed.err;
    EXPECT_NE(packed.err.find("c-not-a-picture.png: warning: skipped: "), std::string::npos) << packed.err;
    EXPECT_NE(packed.err.find("e-large-truncated.jpg: warning: skipped: the JPEG file ends before its picture does"),
              std::string::npos)
        << packed.err;
    EXPECT_NE(packed.err.find("notes.txt"), std::string::npos) << "other files are named once: " << packed.err;
    EXPECT_EQ(LineCount(packed.err), 4u) << packed.err;
    // The two good ones are the show, with ids that close up.
    EXPECT_EQ(Picture(1001).width, 40);
    EXPECT_NE(Run({"picture", (folder_ / "show.brsc").string(), "1002", (folder_ / "x.pam").string()}).exitCode, 0);

    // --strict: the warnings fail the pack, and nothing is written.
    const RunResult strict = Pack({"--strict"}, "strict.brsc");
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("not written: --strict, and 4 warnings"), std::string::npos) << strict.err;
    EXPECT_FALSE(fs::exists(folder_ / "strict.brsc"));
}

TEST_F(PackFolderTest, AFolderWithoutPicturesIsAnError)
{
    const RunResult empty = Pack();
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.err.find("no pictures in the folder"), std::string::npos) << empty.err;

    Photo("broken.jpg", {0xFF, 0xD8, 0xFF, 0x00});
    const RunResult broken = Pack();
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("none of its 1 picture could be read"), std::string::npos) << broken.err;
    EXPECT_FALSE(fs::exists(folder_ / "show.brsc"));
}

TEST_F(PackFolderTest, InitWritesTheManifestThatPacksToTheSameBytes)
{
    Photo("b.jpg", Quarters(64, 48, 6));
    Photo("a.png", PngOfSize(30, 20));
    Photo("a.wav", WaveEntry().Format(PcmFormat(1, 22050, 16)).Data(std::vector<uint8_t>(22050 * 2, 0)).Bytes());
    ASSERT_EQ(Pack().exitCode, 0);
    const std::vector<uint8_t> fromFolder = ReadFileBytes(folder_ / "show.brsc");

    const RunResult init = Run({"init", photos_.string()});
    ASSERT_EQ(init.exitCode, 0) << init.err;
    EXPECT_TRUE(fs::exists(photos_ / "manifest.toml"));
    EXPECT_TRUE(fs::exists(photos_ / "scenario.txt"));
    ASSERT_EQ(Pack({}, "from-manifest.brsc").exitCode, 0);
    EXPECT_EQ(ReadFileBytes(folder_ / "from-manifest.brsc"), fromFolder);

    // A second init leaves the author's files alone unless told.
    const RunResult again = Run({"init", photos_.string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("already there"), std::string::npos) << again.err;
    EXPECT_EQ(Run({"init", photos_.string(), "--force", "--quiet"}).exitCode, 0);

    // With a manifest, the folder options belong in the manifest.
    EXPECT_EQ(Pack({"--order", "name"}, "x.brsc").exitCode, 2);
}

TEST_F(PackFolderTest, TheArchiveIsTheSameForAnyNumberOfThreads)
{
    for (int i = 0; i < 6; ++i) Photo("p" + std::to_string(i) + ".jpg", Quarters(300 + 10 * i, 200, i % 8 + 1));
    ASSERT_EQ(Pack({"--jobs", "1", "--max-size", "160x160"}, "one.brsc").exitCode, 0);
    ASSERT_EQ(Pack({"--jobs", "4", "--max-size", "160x160"}, "four.brsc").exitCode, 0);
    EXPECT_EQ(ReadFileBytes(folder_ / "one.brsc"), ReadFileBytes(folder_ / "four.brsc"));
}

// The "t show PICTURE ..." lines of scrtool play, in order.
std::vector<int> ShownPictures(const std::string& trace)
{
    std::vector<int> shown;
    std::istringstream lines(trace);
    std::string time, event;
    int picture = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        if (words >> time >> event >> picture && event == "show") shown.push_back(picture);
    }
    return shown;
}

TEST_F(PackFolderTest, EachRoundShowsEveryPictureOnceAndNarrationsAfterTheirPicture)
{
    for (int i = 0; i < 7; ++i) Photo("p" + std::to_string(i) + ".jpg", Quarters(32, 24));
    // Half a second of silence: the show waits a whole second for it.
    Photo("p3.wav", WaveEntry().Format(PcmFormat(1, 22050, 16)).Data(std::vector<uint8_t>(22050, 0)).Bytes());
    ASSERT_EQ(Pack().exitCode, 0);

    for (const char* seed : {"1", "2", "77"}) {
        const RunResult play = Run({"play", (folder_ / "show.brsc").string(), "--size", "320x240", "--until",
                                    "200000", "--seed", seed, "--wait", "1", "--effect", "0"});
        ASSERT_EQ(play.exitCode, 0) << play.err;
        const std::vector<int> shown = ShownPictures(play.out);
        ASSERT_GE(shown.size(), 14u) << play.out;
        for (size_t round = 0; round < 2; ++round) {
            const std::set<int> pictures(shown.begin() + static_cast<std::ptrdiff_t>(round * 7),
                                         shown.begin() + static_cast<std::ptrdiff_t>(round * 7 + 7));
            EXPECT_EQ(pictures, (std::set<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006})) << "round " << round;
        }
        EXPECT_NE(play.out.find(" sound 5000 once "), std::string::npos) << play.out;
    }
}

}  // namespace
