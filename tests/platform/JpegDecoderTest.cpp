// The JPEG decoder seam (platform/JpegDecoder.h) on its own: its limits,
// refused streams and where in a stream it starts. What the picture loader
// makes of decoded rows is tested with the loader.

#include "platform/JpegDecoder.h"

#include "platform/Stream.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// Scaled decoding: what the sink is told and given.
class RecordingSink final : public JpegRowSink {
public:
    bool Begin(int32_t width, int32_t height) noexcept override
    {
        width_ = width;
        height_ = height;
        bgr_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
        return true;
    }
    bool Row(int32_t y, const uint8_t* bgr) noexcept override
    {
        if (y != rows_ || y >= height_) return false;
        std::memcpy(bgr_.data() + static_cast<size_t>(y) * width_ * 3, bgr, static_cast<size_t>(width_) * 3);
        ++rows_;
        return true;
    }
    int32_t width_ = -1, height_ = -1, rows_ = 0;
    Bytes bgr_;
};

bool DecodeScaled(const Bytes& jpeg, int denominator, RecordingSink& sink, const JpegLimits& limits = {},
                  JpegFrameDimensions* frame = nullptr)
{
    TBytesStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
    return DecodeJpegRowsScaled(stream, limits, denominator, frame, sink);
}

TEST(JpegDecoderTest, ScaledSizesRoundUp)
{
    for (const auto& [width, height] : {std::pair{61, 37}, std::pair{1, 1}, std::pair{9, 17}, std::pair{64, 48}}) {
        const Bytes jpeg = EncodeTestJpeg(width, height, GradientBgr(width, height));
        for (const int denominator : {1, 2, 4, 8}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height << " / " << denominator);
            RecordingSink sink;
            JpegFrameDimensions frame;
            ASSERT_TRUE(DecodeScaled(jpeg, denominator, sink, {}, &frame));
            EXPECT_EQ(sink.width_, (width + denominator - 1) / denominator);
            EXPECT_EQ(sink.height_, (height + denominator - 1) / denominator);
            EXPECT_EQ(sink.rows_, sink.height_);
            EXPECT_EQ(frame.width, width);
            EXPECT_EQ(frame.height, height);
        }
    }
}

// Denominator 1 is the ordinary decode, pixel for pixel; a scaled decode is
// close to the ordinary one averaged over d × d blocks (on a smooth picture:
// DCT scaling and averaging part ways at edges).
TEST(JpegDecoderTest, ScaledPixelsAreAShrinkOfTheFullDecode)
{
    const int width = 96, height = 64;
    const Bytes jpeg = EncodeTestJpeg(width, height, SmoothBgr(width, height));
    const DecodedJpeg full = DecodeTestJpeg(jpeg);
    RecordingSink whole;
    ASSERT_TRUE(DecodeScaled(jpeg, 1, whole));
    EXPECT_EQ(whole.bgr_, full.bgr);

    for (const int d : {2, 4, 8}) {
        SCOPED_TRACE(d);
        RecordingSink sink;
        ASSERT_TRUE(DecodeScaled(jpeg, d, sink));
        long long difference = 0;
        for (int y = 0; y < height / d; ++y)
            for (int x = 0; x < width / d; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int j = 0; j < d; ++j)
                        for (int i = 0; i < d; ++i)
                            sum += full.bgr[(static_cast<size_t>(y * d + j) * width + x * d + i) * 3 + c];
                    const int mean = (sum + d * d / 2) / (d * d);
                    difference += std::abs(mean - sink.bgr_[(static_cast<size_t>(y) * sink.width_ + x) * 3 + c]);
                }
        EXPECT_LT(static_cast<double>(difference) / (3.0 * (width / d) * (height / d)), 2.0);
    }
}

// The size limits are the full frame's; the byte limit is the scaled
// output's.
TEST(JpegDecoderTest, ScaledLimits)
{
    const Bytes jpeg = EncodeTestJpeg(40, 30, GradientBgr(40, 30));
    const uint64_t halfOutputBytes = 60 * 15;  // 20 pixels of 3 bytes, 15 rows
    struct Case {
        const char* name;
        int denominator;
        JpegLimits limits;
        bool decodes;
    };
    const Case cases[] = {
        {"the full frame's size", 2, {40, 30, 0}, true},
        {"the scaled size", 2, {20, 15, 0}, false},
        {"the scaled output exactly", 2, {0, 0, halfOutputBytes}, true},
        {"a byte less", 2, {0, 0, halfOutputBytes - 1}, false},
        {"denominator 0", 0, {}, false},
        {"denominator 3", 3, {}, false},
        {"denominator 16", 16, {}, false},
        {"denominator -2", -2, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        JpegFrameDimensions frame;
        EXPECT_EQ(DecodeScaled(jpeg, c.denominator, sink, c.limits, &frame), c.decodes);
        EXPECT_EQ(sink.rows_, c.decodes ? 15 : 0);
    }
}

TEST(JpegDecoderTest, ScaleDenominatorForANeededSize)
{
    struct Case {
        int64_t frameWidth, frameHeight, neededWidth, neededHeight;
        int denominator;
    };
    const Case cases[] = {
        {8000, 6000, 3840, 2160, 2},  // 2 × 3840 fits, 4 × 3840 does not
        {7680, 4320, 3840, 2160, 2},  // exactly twice
        {7679, 4320, 3840, 2160, 1},  // a column short of twice
        {3840, 2160, 3840, 2160, 1},
        {1000, 1000, 3840, 2160, 1},  // smaller than needed
        {4000, 3000, 500, 375, 8},
        {4000, 3000, 501, 375, 4},    // a column short of eight times
        {30720, 300, 3840, 100, 2},   // the narrower way decides
        {8000, 6000, 0, 2160, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JpegScaleDenominatorFor(c.frameWidth, c.frameHeight, c.neededWidth, c.neededHeight), c.denominator)
            << c.frameWidth << " x " << c.frameHeight << " for " << c.neededWidth << " x " << c.neededHeight;
}

}  // namespace

// A stream cut inside its scan decodes with grey filled in, as the saver
// wants; a caller that asks to refuse damaged data is told instead. Either
// way, with or without the end-of-image marker after the cut.
TEST(JpegDecoderTest, DamagedDataIsRefusedOnlyWhenAsked)
{
    const Bytes whole = EncodeTestJpeg(64, 64, GradientBgr(64, 64));
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 6 / 10));
    Bytes cutWithEnd = cut;
    cutWithEnd.insert(cutWithEnd.end(), {0xFF, 0xD9});
    JpegLimits refusing;
    refusing.refuseDamagedData = true;
    for (const Bytes* stream : {&cut, &cutWithEnd}) {
        RecordingSink lenient;
        EXPECT_TRUE(DecodeScaled(*stream, 1, lenient));
        EXPECT_EQ(lenient.rows_, 64);
        RecordingSink strict;
        EXPECT_FALSE(DecodeScaled(*stream, 1, strict, refusing));
    }
    RecordingSink intact;
    EXPECT_TRUE(DecodeScaled(whole, 2, intact, refusing)) << "an intact stream passes";
}
