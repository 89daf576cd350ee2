// HEIF pictures through libheif: HEIC files the test encodes itself (when
// libheif here has an HEVC encoder; else the tests say why they skip), the
// file's own rotation applied once and an Exif orientation beside it not
// applied again (through to scrtool pack), and one-line refusals of
// damaged, truncated and over-large files.

#if KAMISHIBAI_HAVE_HEIF

#include "tests/support/ExifFixtures.h"
#include "tests/support/PhotoFixtures.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/tools/PhonePhotoFixtures.h"
#include "tools/authoring/HeifGridSizes.h"
#include "tools/authoring/PhotoSource.h"
#include "tools/authoring/PictureSource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Bytes = std::vector<uint8_t>;

void PutBe32(Bytes& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

std::string RefusalOf(const Bytes& bytes)
{
    try {
        DecodePictureSource(bytes);
    } catch (const PictureSourceError& error) {
        return error.what();
    }
    return "accepted";
}

Bytes QuartersHeic(int width, int height, int orientation, const Bytes& exif = {})
{
    return EncodeTestHeif(width, height, QuartersRgb(width, height), orientation, exif);
}

class HeifPictureTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string whyNot = WhyNoHeifEncoder(); !whyNot.empty()) GTEST_SKIP() << whyNot;
    }
};

// The picture as PhotoFixtures' PAM, for its quarter layout.
PamPicture AsPam(const RgbaImage& image)
{
    PamPicture pam;
    pam.width = image.width;
    pam.height = image.height;
    pam.depth = 4;
    pam.samples = image.pixels;
    return pam;
}

TEST_F(HeifPictureTest, DecodesThePrimaryImageCloseToItsSource)
{
    const Bytes heic = QuartersHeic(64, 48, 1);
    ASSERT_EQ(PictureFileKindOf(heic), PictureFileKind::Heif);
    const RgbaImage image = DecodePictureSource(heic);
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 48);
    ASSERT_EQ(image.pixels.size(), size_t{64} * 48 * 4);
    // Away from the quarters' edges the colours come back within the loss
    // of HEVC at quality 95 and 4:2:0 chroma.
    const Bytes source = QuartersRgba(64, 48);
    long total = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        const int difference = std::abs(image.pixels[i] - source[i]);
        total += difference;
        if (i % 4 == 3) {
            ASSERT_EQ(image.pixels[i], 255) << "no alpha: opaque";
        }
    }
    EXPECT_LT(static_cast<double>(total) / static_cast<double>(source.size()), 6.0);
    EXPECT_EQ(QuarterLayout(AsPam(image)), "RG/BW");
}

TEST_F(HeifPictureTest, TheFilesOwnRotationIsAppliedAndItsExifOrientationIsNot)
{
    // irot/imir of orientation 6 and an Exif block that says 6 as well, as
    // phones write them: the picture must be turned once.
    const Bytes exif = MakeExifBlock(ExifOptions(TiffByteOrder::BigEndian, 6));
    const Bytes heic = QuartersHeic(64, 48, 6, exif);
    EXPECT_EQ(PictureFileOrientation(heic), PhotoOrientation::Upright);
    const RgbaImage image = DecodePictureSource(heic);
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 64);
    EXPECT_EQ(QuarterLayout(AsPam(image)), "BR/WG");

    // Each orientation's irot/imir, as the JPEG tests expect them shown.
    const char* const upright[] = {"RG/BW", "GR/WB", "WB/GR", "BW/RG", "RB/GW", "BR/WG", "WG/BR", "GW/RB"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const RgbaImage picture = DecodePictureSource(QuartersHeic(32, 24, orientation));
        EXPECT_EQ(picture.width, orientation >= 5 ? 24 : 32);
        EXPECT_EQ(QuarterLayout(AsPam(picture)), upright[orientation - 1]);
    }
}

TEST_F(HeifPictureTest, DamagedTruncatedAndOverLargeFilesAreRefusedInOneLine)
{
    const Bytes heic = QuartersHeic(64, 48, 1);
    const size_t mdat = FindFourCc(heic, "mdat");
    ASSERT_NE(mdat, std::string::npos);
    // Every ispe box (type, version and flags, then width and height,
    // big-endian) claiming another size: libheif takes the primary item's.
    const auto withIspe = [&](uint32_t width, uint32_t height) {
        Bytes changed = heic;
        for (size_t at = FindFourCc(changed, "ispe"); at != std::string::npos && at + 16 <= changed.size();) {
            PutBe32(changed, at + 8, width);
            PutBe32(changed, at + 12, height);
            const size_t next = FindFourCc(Bytes(changed.begin() + static_cast<std::ptrdiff_t>(at + 4), changed.end()), "ispe");
            at = next == std::string::npos ? next : at + 4 + next;
        }
        return changed;
    };
    // libheif 1.15 stores x265's padded picture as a grid of one tile, the
    // grid cutting it to size: a grid that claims more must be refused
    // before libheif allocates what it claims.
    const size_t idat = FindFourCc(heic, "idat");
    const bool hasGrid = !HeifGridSizes(heic).empty() && idat != std::string::npos && idat + 16 <= heic.size();
    Bytes bigGrid = heic;
    if (hasGrid) {
        // version, flags 0 (16-bit sizes), rows − 1, columns − 1, width, height
        for (const size_t at : {idat + 8, idat + 10}) {
            bigGrid[at] = 9000 >> 8;
            bigGrid[at + 1] = 9000 & 0xFF;
        }
    }
    Bytes noMeta = heic;
    noMeta[FindFourCc(heic, "meta")] = 'x';

    struct Case {
        const char* what;
        Bytes bytes;
        std::string reasonStart;
    };
    const Case cases[] = {
        {"cut inside the coded picture", Bytes(heic.begin(), heic.begin() + static_cast<std::ptrdiff_t>(mdat + 20)),
         "HEIF data is damaged or truncated ("},
        {"cut after the ftyp box", Bytes(heic.begin(), heic.begin() + 40),
         "HEIF data is damaged or truncated (reading its boxes): "},
        {"no meta box", noMeta, "HEIF data is damaged or truncated (reading its boxes): "},
        {"9000 x 9000 in its ispe", withIspe(9000, 9000),
         "the HEIF picture is 9000 x 9000 pixels: larger than the 256 MB a picture may take"},
        {"40000 x 40 in its ispe", withIspe(40000, 40),
         "the HEIF picture is larger than pack takes (reading its boxes): "},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    if (hasGrid)
        all.push_back({"grid of 9000 x 9000", bigGrid,
                       "the HEIF picture is 9000 x 9000 pixels: larger than the 256 MB a picture may take"});
    for (const Case& c : all) {
        SCOPED_TRACE(c.what);
        const std::string refusal = RefusalOf(c.bytes);
        EXPECT_THAT(refusal, StartsWith(c.reasonStart));
        EXPECT_EQ(refusal.find('\n'), std::string::npos);
    }
}

class PackHeifTest : public ScrtoolFixture {
protected:
    void SetUp() override
    {
        ScrtoolFixture::SetUp();
        if (const std::string whyNot = WhyNoHeifEncoder(); !whyNot.empty()) GTEST_SKIP() << whyNot;
    }
};

TEST_F(PackHeifTest, AHeicIsPackedTurnedOnceWithItsDamagedNeighbourLeftOut)
{
    const Bytes heic = QuartersHeic(64, 48, 6, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6)));
    const fs::path photos = folder_ / "photos";
    fs::create_directories(photos);
    const auto write = [&](const std::string& name, const Bytes& bytes) {
        std::ofstream(photos / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write("IMG_0001.HEIC", heic);
    write("IMG_0002.heif", Bytes(heic.begin(), heic.begin() + 60));

    const RunResult packed = Run({"pack", photos.string(), "-o", (folder_ / "show.brsc").string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_THAT(packed.err, HasSubstr("IMG_0002.heif: warning: skipped: HEIF data is damaged or truncated"));
    EXPECT_EQ(LineCount(packed.err), 1u) << packed.err;
    const fs::path out = folder_ / "p.pam";
    const RunResult shown = Run({"picture", (folder_ / "show.brsc").string(), "1000", out.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    const PamPicture picture = ReadPam(ReadFileBytes(out));
    EXPECT_EQ(picture.width, 48);
    EXPECT_EQ(picture.height, 64);
    EXPECT_EQ(QuarterLayout(picture), "BR/WG");
}

}  // namespace

#endif  // KAMISHIBAI_HAVE_HEIF
