// The JPEG decoder seam (platform/JpegDecoder.h) on its own: its limits,
// refused streams and where in a stream it starts. What the picture loader
// makes of decoded rows is tested with the loader.

#include "platform/JpegDecoder.h"

#include "platform/Stream.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(JpegDecoderTest, StreamsWithTooManyScansAreRefused)
{
    const int width = 16, height = 16;
    const Bytes bgr = GradientBgr(width, height);
    const Bytes normal = EncodeTestJpeg(width, height, bgr, {JpegColour::Colour, JpegScans::Progressive, 90});
    const Bytes many = EncodeTestJpeg(width, height, bgr, {JpegColour::Colour, JpegScans::OneScanPerCoefficient, 90});
    ASSERT_EQ(DecodeTestJpeg(many).bgr.size(), bgr.size());  // a legal stream, which libjpeg itself decodes

    TBytesStream normalStream(normal.data(), static_cast<int64_t>(normal.size()));
    EXPECT_NE(DecodeJpeg(normalStream), nullptr);
    TBytesStream manyStream(many.data(), static_cast<int64_t>(many.size()));
    EXPECT_EQ(DecodeJpeg(manyStream), nullptr);
}

// Limits apply to the frame header, before the decoder sets aside any pixel
// memory; a refused stream still tells its frame size.
TEST(JpegDecoderTest, LimitsAreCheckedOnTheFrameHeader)
{
    const Bytes jpeg = EncodeTestJpeg(40, 30, GradientBgr(40, 30));
    const uint64_t outputBytes = 120 * 30;  // 24-bit rows of 120 bytes
    struct Case {
        const char* name;
        JpegLimits limits;
        bool decodes;
    };
    const Case cases[] = {
        {"any size", {}, true},
        {"its own size", {40, 30, 0}, true},
        {"a column more", {41, 30, 0}, false},
        {"a row less", {40, 29, 0}, false},
        {"its output exactly", {40, 30, outputBytes}, true},
        {"a byte less than its output", {0, 0, outputBytes - 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBytesStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
        JpegFrameDimensions frame;
        const auto bitmap = DecodeJpeg(stream, c.limits, &frame);
        EXPECT_EQ(bitmap != nullptr, c.decodes);
        EXPECT_EQ(frame.width, 40);
        EXPECT_EQ(frame.height, 30);
    }
    TBytesStream garbage(jpeg.data() + 2, 100);
    JpegFrameDimensions frame{7, 7};
    EXPECT_EQ(DecodeJpeg(garbage, {}, &frame), nullptr);
    EXPECT_EQ(frame.width, 0);
}

// A progressive stream keeps every coefficient of the picture until its last
// scan, about as many bytes again as the output: the byte limit holds for
// that memory too, where a baseline stream needs none of it.
TEST(JpegDecoderTest, ByteLimitBoundsTheDecodersWorkingMemory)
{
    const int side = 256;
    const Bytes bgr = GradientBgr(side, side);
    const uint64_t outputBytes = uint64_t{side} * side * 3;
    const Bytes baseline = EncodeTestJpeg(side, side, bgr, {JpegColour::Colour, JpegScans::Baseline, 90});
    const Bytes progressive = EncodeTestJpeg(side, side, bgr, {JpegColour::Colour, JpegScans::Progressive, 90});
    for (const auto& [name, jpeg, limit, decodes] :
         {std::tuple{"baseline", &baseline, outputBytes, true}, std::tuple{"progressive", &progressive, outputBytes, false},
          std::tuple{"progressive with room", &progressive, 4 * outputBytes, true}}) {
        SCOPED_TRACE(name);
        TBytesStream stream(jpeg->data(), static_cast<int64_t>(jpeg->size()));
        EXPECT_EQ(DecodeJpeg(stream, JpegLimits{side, side, limit}) != nullptr, decodes);
    }
}

TEST(JpegDecoderTest, DecodesFromTheStreamsCurrentPosition)
{
    const int width = 9, height = 5;
    const Bytes jpeg = EncodeTestJpeg(width, height, GradientBgr(width, height));
    Bytes bytes = PatternBytes(13, 1);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    TBytesStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_EQ(stream.Seek(int64_t{13}, SeekOrigin::Beginning), 13);
    const auto bitmap = DecodeJpeg(stream);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::Bits24);
    const DecodedJpeg reference = DecodeTestJpeg(jpeg);
    for (int y = 0; y < height; ++y)
        EXPECT_EQ(0, std::memcmp(bitmap->ScanLine(y), reference.bgr.data() + 3 * width * y, 3 * width)) << y;
}

}  // namespace
