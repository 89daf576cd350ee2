// The JPEG encoder (platform/JpegEncoder.h): what it writes is checked by
// decoding it with libjpeg itself and by reading its markers.

#include "platform/JpegEncoder.h"

#include "platform/PictureOrientation.h"
#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Rows of red, green, blue, alpha from one of the fixtures' blue, green, red
// pictures, `padding` bytes beyond each row; alpha and padding hold noise,
// which the encoder must not read as picture.
struct RgbaPicture {
    int width;
    int height;
    size_t stride;
    Bytes bytes;
};

RgbaPicture MakeRgba(int width, int height, size_t padding, uint8_t noise = 0x5A, bool smooth = false)
{
    const Bytes bgr = smooth ? SmoothBgr(width, height) : GradientBgr(width, height);
    RgbaPicture picture{width, height, static_cast<size_t>(width) * 4 + padding, {}};
    picture.bytes.assign(picture.stride * static_cast<size_t>(height), noise);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* from = &bgr[(static_cast<size_t>(y) * width + x) * 3];
            uint8_t* to = &picture.bytes[static_cast<size_t>(y) * picture.stride + static_cast<size_t>(x) * 4];
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            to[3] = static_cast<uint8_t>(noise + x * 7 + y);
        }
    return picture;
}

Bytes Encode(const RgbaPicture& picture, int quality)
{
    auto jpeg = EncodeJpeg(picture.bytes.data(), picture.width, picture.height, picture.stride, quality);
    if (!jpeg) throw std::runtime_error("EncodeJpeg refused");
    return *jpeg;
}

// The mean absolute difference per sample between the picture and its
// decoded JPEG.
double MeanError(const RgbaPicture& picture, const DecodedJpeg& decoded)
{
    long long sum = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int{picture.bytes[static_cast<size_t>(y) * picture.stride + static_cast<size_t>(x) * 4 + c]} -
                                int{decoded.bgr[(static_cast<size_t>(y) * picture.width + x) * 3 + (2 - c)]});
    return static_cast<double>(sum) / (3.0 * picture.width * picture.height);
}

struct Marker {
    uint8_t code;
    Bytes payload;
};

// The marker segments before the image data.
std::vector<Marker> HeaderMarkers(const Bytes& jpeg)
{
    std::vector<Marker> markers;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t code = jpeg[at + 1];
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        markers.push_back({code, Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                       jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(at + 2 + length, jpeg.size())))});
        if (code == 0xDA) break;
        at += 2 + length;
    }
    return markers;
}

// Close to the source at quality 90 (on a smooth picture, which is what
// JPEG keeps best); at quality 10 further off, and much smaller on a picture
// with edges, where quality costs the most bytes.
TEST(JpegEncoderTest, RoundTripsAtQualities)
{
    const RgbaPicture smooth = MakeRgba(61, 37, 12, 0x5A, true);
    const DecodedJpeg best = DecodeTestJpeg(Encode(smooth, 90));
    const DecodedJpeg poor = DecodeTestJpeg(Encode(smooth, 10));
    for (const DecodedJpeg* decoded : {&best, &poor}) {
        ASSERT_EQ(decoded->width, 61);
        ASSERT_EQ(decoded->height, 37);
    }
    const double bestError = MeanError(smooth, best);
    EXPECT_LT(bestError, 1.5);
    EXPECT_GT(MeanError(smooth, poor), bestError * 1.5);

    const RgbaPicture edges = MakeRgba(61, 37, 12);
    EXPECT_LT(Encode(edges, 10).size() * 2, Encode(edges, 90).size());
}

TEST(JpegEncoderTest, SameInputSameBytesAlphaAndPaddingIgnored)
{
    const RgbaPicture picture = MakeRgba(40, 24, 0);
    const RgbaPicture otherNoise = MakeRgba(40, 24, 20, 0xC3);
    const Bytes first = Encode(picture, 90);
    EXPECT_EQ(Encode(picture, 90), first);
    EXPECT_EQ(Encode(otherNoise, 90), first);
}

// Baseline, 4:2:0, a JFIF header and no Exif, Huffman tables made for the
// picture: smaller than libjpeg's standard tables at the same quality.
TEST(JpegEncoderTest, WritesBaseline420WithoutMetadata)
{
    const RgbaPicture picture = MakeRgba(64, 48, 0);
    const Bytes jpeg = Encode(picture, 90);
    bool baselineFrame = false;
    for (const Marker& marker : HeaderMarkers(jpeg)) {
        EXPECT_NE(marker.code, 0xE1) << "an APP1 segment";
        EXPECT_NE(marker.code, 0xC2) << "a progressive frame";
        if (marker.code != 0xC0) continue;
        baselineFrame = true;
        // Precision, height, width, component count, then per component:
        // id, sampling factors (horizontal << 4 | vertical), table.
        ASSERT_EQ(marker.payload.size(), 6u + 3 * 3);
        EXPECT_EQ(marker.payload[5], 3);
        EXPECT_EQ(marker.payload[7], 0x22);
        EXPECT_EQ(marker.payload[10], 0x11);
        EXPECT_EQ(marker.payload[13], 0x11);
    }
    EXPECT_TRUE(baselineFrame);
    EXPECT_EQ(ReadJpegOrientation(jpeg), 1);
    const Bytes standardTables = EncodeTestJpeg(64, 48, GradientBgr(64, 48), {JpegColour::Colour, JpegScans::Baseline, 90});
    EXPECT_LT(jpeg.size(), standardTables.size());
}

TEST(JpegEncoderTest, SizesAtTheEdges)
{
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{MaximumJpegEncodeDimension, 1},
                                        std::pair{1, MaximumJpegEncodeDimension}, std::pair{17, 9}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Bytes rgba(static_cast<size_t>(width) * height * 4, 0x80);
        const auto jpeg = EncodeJpeg(rgba.data(), width, height, static_cast<size_t>(width) * 4, 75);
        ASSERT_TRUE(jpeg.has_value());
        const DecodedJpeg decoded = DecodeTestJpeg(*jpeg);
        EXPECT_EQ(decoded.width, width);
        EXPECT_EQ(decoded.height, height);
    }
}

TEST(JpegEncoderTest, RefusedInputs)
{
    const Bytes rgba(16 * 8 * 4, 0);
    struct Case {
        const char* name;
        const uint8_t* pixels;
        int32_t width;
        int32_t height;
        size_t stride;
        int quality;
    };
    const Case cases[] = {
        {"no pixels", nullptr, 16, 8, 64, 90},
        {"width 0", rgba.data(), 0, 8, 64, 90},
        {"negative height", rgba.data(), 16, -8, 64, 90},
        {"too wide", rgba.data(), MaximumJpegEncodeDimension + 1, 1, 64, 90},
        {"too tall", rgba.data(), 1, MaximumJpegEncodeDimension + 1, 4, 90},
        {"stride shorter than a row", rgba.data(), 16, 8, 63, 90},
        {"quality 0", rgba.data(), 16, 8, 64, 0},
        {"quality 101", rgba.data(), 16, 8, 64, 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(EncodeJpeg(c.pixels, c.width, c.height, c.stride, c.quality).has_value());
    }
    EXPECT_TRUE(EncodeJpeg(rgba.data(), 16, 8, 64, 1).has_value());
    EXPECT_TRUE(EncodeJpeg(rgba.data(), 16, 8, 64, 100).has_value());
}

}  // namespace
