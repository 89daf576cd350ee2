// WebP pictures through libwebp: lossless pixels exactly, lossy ones close,
// alpha, the first frame of an animation, the Exif orientation of an EXIF
// chunk (bare or after "Exif\0\0") through to scrtool pack, and one-line
// refusals of damaged, truncated and over-large files.

#if KAMISHIBAI_HAVE_WEBP

#include "tests/support/ExifFixtures.h"
#include "tests/support/PhotoFixtures.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/tools/PhonePhotoFixtures.h"
#include "tools/authoring/PhotoSource.h"
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/WebpPicture.h"

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
using Bytes = std::vector<uint8_t>;

// The mean difference of the samples of two RGBA pictures of one size.
double MeanDifference(const RgbaImage& image, const Bytes& rgba)
{
    long total = 0;
    for (size_t i = 0; i < rgba.size(); ++i) total += std::abs(image.pixels[i] - rgba[i]);
    return static_cast<double>(total) / static_cast<double>(rgba.size());
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

TEST(WebpPicture, DecodesLosslessExactlyAndLossyClosely)
{
    const int width = 64, height = 48;
    Bytes rgba = QuartersRgba(width, height);
    // Alpha that varies, for the lossless case and the lossy one (ALPH
    // chunk); never 0, under which the encoder may change the colour.
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = static_cast<uint8_t>(1 + i / 4 % 255);
    struct Case {
        WebpCoding coding;
        double tolerance;
    };
    // Lossy coding blurs the quarters' edges; on the whole it stays close.
    for (const Case& c : {Case{WebpCoding::Lossless, 0}, Case{WebpCoding::Lossy, 4}}) {
        SCOPED_TRACE(c.coding == WebpCoding::Lossless ? "lossless" : "lossy");
        const Bytes webp = EncodeTestWebp(width, height, rgba, c.coding);
        ASSERT_EQ(PictureFileKindOf(webp), PictureFileKind::Webp);
        const RgbaImage image = DecodePictureSource(webp);
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        ASSERT_EQ(image.pixels.size(), rgba.size());
        EXPECT_LE(MeanDifference(image, rgba), c.tolerance);
        for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(image.pixels[i], rgba[i]) << "alpha is lossless in both";
    }
}

TEST(WebpPicture, AnAnimationGivesItsFirstFrameOnItsCanvas)
{
    const Bytes frame = EncodeTestWebp(20, 10, QuartersRgba(20, 10), WebpCoding::Lossless);
    const RgbaImage image = DecodePictureSource(WebpAnimationOfOneFrame(frame, 30, 12));
    ASSERT_EQ(image.width, 30);
    ASSERT_EQ(image.height, 12);
    const Bytes quarters = QuartersRgba(20, 10);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 30; ++x) {
            const uint8_t* pixel = image.Pixel(x, y);
            if (x < 20 && y < 10) {
                const uint8_t* want = quarters.data() + (static_cast<size_t>(y) * 20 + static_cast<size_t>(x)) * 4;
                ASSERT_EQ(std::vector<uint8_t>(pixel, pixel + 4), std::vector<uint8_t>(want, want + 4)) << x << "," << y;
            } else {
                ASSERT_EQ(pixel[3], 0) << "the canvas outside the frame is transparent: " << x << "," << y;
            }
        }
}

TEST(WebpPicture, TheExifChunkGivesTheOrientationBareOrPrefixed)
{
    const Bytes webp = EncodeTestWebp(16, 8, QuartersRgba(16, 8), WebpCoding::Lossy);
    EXPECT_TRUE(WebpExifBlock(webp).empty());
    EXPECT_EQ(PictureFileOrientation(webp), PhotoOrientation::Upright);
    struct Case {
        const char* what;
        TiffByteOrder order;
        ExifChunkForm form;
        uint16_t orientation;
    };
    const Case cases[] = {{"bare, little-endian", TiffByteOrder::LittleEndian, ExifChunkForm::Bare, 6},
                          {"prefixed, big-endian", TiffByteOrder::BigEndian, ExifChunkForm::ExifPrefixed, 8},
                          {"prefixed, mirrored", TiffByteOrder::LittleEndian, ExifChunkForm::ExifPrefixed, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes block = MakeExifBlock(ExifOptions(c.order, c.orientation));
        const Bytes withExif = WebpWithExif(webp, block, c.form);
        const std::span<const uint8_t> found = WebpExifBlock(withExif);
        EXPECT_EQ(Bytes(found.begin(), found.end()), block);
        EXPECT_EQ(PictureFileOrientation(withExif), PhotoOrientationFromExif(c.orientation));
        EXPECT_EQ(DecodePictureSource(withExif).width, 16) << "the extended form decodes as well";
    }
    // A damaged block, or a file the demuxer cannot walk, reads as upright.
    EXPECT_EQ(PictureFileOrientation(WebpWithExif(webp, Bytes{'M', 'M', 0, 42, 0xFF})), PhotoOrientation::Upright);
    const Bytes withExif = WebpWithExif(webp, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6)));
    EXPECT_EQ(PictureFileOrientation(Bytes(withExif.begin(), withExif.end() - 3)), PhotoOrientation::Upright);
}

TEST(WebpPicture, DamagedTruncatedAndOverLargeFilesAreRefusedInOneLine)
{
    const Bytes lossy = EncodeTestWebp(64, 48, QuartersRgba(64, 48), WebpCoding::Lossy);
    const Bytes lossless = EncodeTestWebp(64, 48, QuartersRgba(64, 48), WebpCoding::Lossless);
    Bytes scrambled = lossless;
    for (size_t i = 30; i < scrambled.size(); ++i) scrambled[i] = static_cast<uint8_t>(scrambled[i] * 37 + 11);
    Bytes badFrameHeader = lossy;
    badFrameHeader[23] ^= 0xFF;  // the VP8 frame's start code 9D 01 2A

    struct Case {
        const char* what;
        Bytes bytes;
        std::string reason;
    };
    const Case cases[] = {
        {"lossy cut in half", Bytes(lossy.begin(), lossy.begin() + static_cast<std::ptrdiff_t>(lossy.size() / 2)),
         "WebP data ends early (the file is truncated)"},
        {"lossless cut in half",
         Bytes(lossless.begin(), lossless.begin() + static_cast<std::ptrdiff_t>(lossless.size() / 2)),
         "WebP data ends early (the file is truncated)"},
        {"only the RIFF header", Bytes(lossy.begin(), lossy.begin() + 12), "WebP data ends early (the file is truncated)"},
        {"lossless data scrambled", scrambled, "WebP data is damaged"},
        {"VP8 start code broken", badFrameHeader, "WebP data is damaged"},
        {"16384 x 16384 lossless header", WebpLosslessHeaderOnly(16384, 16384),
         "the WebP picture is 16384 x 16384 pixels: larger than the 256 MB a picture may take"},
        {"animation canvas 20000 wide",
         WebpAnimationOfOneFrame(EncodeTestWebp(4, 4, QuartersRgba(4, 4), WebpCoding::Lossless), 20000, 4),
         "the WebP picture is 20000 x 4 pixels: more than the 16384 pixels a side a picture may have"},
        {"animation canvas 9000 x 9000",
         WebpAnimationOfOneFrame(EncodeTestWebp(4, 4, QuartersRgba(4, 4), WebpCoding::Lossless), 9000, 9000),
         "the WebP picture is 9000 x 9000 pixels: larger than the 256 MB a picture may take"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string refusal = RefusalOf(c.bytes);
        EXPECT_EQ(refusal, c.reason);
        EXPECT_EQ(refusal.find('\n'), std::string::npos);
    }
}

class PackWebpTest : public ScrtoolFixture {};

TEST_F(PackWebpTest, AWebpWithExifOrientationSixIsPackedUpright)
{
    const fs::path photos = folder_ / "photos";
    fs::create_directories(photos);
    const Bytes webp = EncodeTestWebp(64, 48, QuartersRgba(64, 48), WebpCoding::Lossless);
    const auto write = [&](const std::string& name, const Bytes& bytes) {
        std::ofstream(photos / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write("a-turned.webp", WebpWithExif(webp, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6)),
                                        ExifChunkForm::ExifPrefixed));
    write("b-upright.WEBP", webp);
    write("c-cut.webp", Bytes(webp.begin(), webp.begin() + static_cast<std::ptrdiff_t>(webp.size() / 2)));

    const RunResult packed = Run({"pack", photos.string(), "-o", (folder_ / "show.brsc").string(), "--order", "name"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_THAT(packed.err, HasSubstr("c-cut.webp: warning: skipped: WebP data ends early (the file is truncated)"));
    EXPECT_EQ(LineCount(packed.err), 1u) << packed.err;

    const auto picture = [&](uint32_t id) {
        const fs::path out = folder_ / ("p" + std::to_string(id) + ".pam");
        const RunResult shown = Run({"picture", (folder_ / "show.brsc").string(), std::to_string(id), out.string()});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        return ReadPam(ReadFileBytes(out));
    };
    const PamPicture turned = picture(1000);
    EXPECT_EQ(turned.width, 48);
    EXPECT_EQ(turned.height, 64);
    EXPECT_EQ(QuarterLayout(turned), "BR/WG");
    const PamPicture upright = picture(1001);
    EXPECT_EQ(upright.width, 64);
    EXPECT_EQ(QuarterLayout(upright), "RG/BW");
}

}  // namespace

#endif  // KAMISHIBAI_HAVE_WEBP
