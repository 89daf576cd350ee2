#include "imaging/PixelOperations.h"

#include "tests/support/PixelBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- helpers

void FillPixels32(DirectBmpControl& buffer, uint32_t value)
{
    for (int y = 0; y < buffer.Height; ++y)
        for (int x = 0; x < buffer.Width; ++x) SetPixel32(buffer, x, y, value);
}

// A rectangle of random position and size around a buffer of the given
// size: mostly inside, sometimes reaching past an edge or starting before one.
TRect RandomRect(std::mt19937& random, int32_t width, int32_t height)
{
    std::uniform_int_distribution<int32_t> left(-3, width);
    std::uniform_int_distribution<int32_t> top(-3, height);
    const int32_t l = left(random);
    const int32_t t = top(random);
    std::uniform_int_distribution<int32_t> w(0, width + 4);
    std::uniform_int_distribution<int32_t> h(0, height + 4);
    return {l, t, l + w(random), t + h(random)};
}

struct Size {
    int32_t width;
    int32_t height;
};

// Odd sizes on purpose: the fast paths work in groups of pixels and bands of
// rows and must get every tail right.
const Size RandomSizes[] = {{1, 1}, {3, 7}, {17, 5}, {4, 4}, {5, 9}, {64, 3}, {100, 70}, {129, 65}, {1023, 3},
                            {333, 401}};

// ---------------------------------------------------------------- BlendWeight

TEST(BlendWeight, SkipsWeight128)
{
    EXPECT_EQ(BlendWeight[0], 0);
    EXPECT_EQ(BlendWeight[127], 127);
    EXPECT_EQ(BlendWeight[128], 129);
    EXPECT_EQ(BlendWeight[255], 256);
    for (int level = 0; level < 256; ++level) {
        EXPECT_EQ(BlendWeight[level], level < 128 ? level : level + 1) << level;
        EXPECT_NE(BlendWeight[level], 128) << level;
    }
}

// ---------------------------------------------------------------- Blend

class BlendTest : public testing::Test {
protected:
    void SetUp() override
    {
        Allocate(destination, 9, 5, 32);
        Allocate(source, 9, 5, 32);
        FillRandom(destination, random);
        FillRandom(source, random);
    }

    std::mt19937 random{1234};
    DirectBmpControl destination;
    DirectBmpControl source;
    const TRect all{0, 0, 9, 5};
};

TEST_F(BlendTest, LevelZeroLeavesTheDestinationUnchanged)
{
    const auto before = AllBytes(destination);
    EXPECT_TRUE(Blend(destination, all, source, all, 0));
    EXPECT_EQ(AllBytes(destination), before);
    EXPECT_TRUE(reference::Blend(destination, all, source, all, 0));
    EXPECT_EQ(AllBytes(destination), before);
}

TEST_F(BlendTest, Level255CopiesTheColourExactlyWithAlpha255)
{
    EXPECT_TRUE(Blend(destination, all, source, all, 255));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(Pixel32(destination, x, y), (Pixel32(source, x, y) & 0xFFFFFF) | 0xFF000000) << x << "," << y;
}

TEST_F(BlendTest, Level128UsesWeight129)
{
    SetPixel32(source, 2, 1, 0x00C86400);       // red 200, green 100, blue 0
    SetPixel32(destination, 2, 1, 0x12FF140A);  // red 255, green 20, blue 10, alpha 0x12
    EXPECT_TRUE(Blend(destination, all, source, all, 128));
    // blue (0 × 129 + 10 × 127) >> 8 = 4, green (100 × 129 + 20 × 127) >> 8 = 60,
    // red (200 × 129 + 255 × 127) >> 8 = 227; alpha 255.
    EXPECT_EQ(Pixel32(destination, 2, 1), 0xFFE33C04u);
}

TEST_F(BlendTest, EightBitSourceBlendsItsPaletteColours)
{
    DirectBmpControl indexed;
    Allocate(indexed, 9, 5, 8);
    std::memset(indexed.Bits, 7, size_t(indexed.Pitch) * 5);
    indexed.Palette[7][0] = 10;  // blue
    indexed.Palette[7][1] = 20;  // green
    indexed.Palette[7][2] = 30;  // red
    indexed.Palette[7][3] = 99;  // reserved: never used
    EXPECT_TRUE(Blend(destination, all, indexed, all, 255));
    EXPECT_EQ(Pixel32(destination, 4, 3), 0xFF1E140Au);

    DirectBmpControl narrow;
    Allocate(narrow, 9, 5, 24);
    FillRandom(narrow, random);
    EXPECT_TRUE(Blend(narrow, all, indexed, all, 255));
    const uint8_t* p = narrow.Rows[2] + 3 * 5;
    EXPECT_EQ(p[0], 10);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 30);
}

struct DepthCase {
    int destinationBits;
    int sourceBits;
    bool handled;
};

class BlendDepthTest : public testing::TestWithParam<DepthCase> {};

TEST_P(BlendDepthTest, RefusesUnhandledDepthsWithoutWriting)
{
    const DepthCase& c = GetParam();
    std::mt19937 random(5);
    DirectBmpControl destination;
    DirectBmpControl source;
    Allocate(destination, 6, 4, c.destinationBits);
    Allocate(source, 6, 4, c.sourceBits);
    FillRandom(destination, random);
    FillRandom(source, random);
    const auto before = AllBytes(destination);
    const TRect all{0, 0, 6, 4};
    EXPECT_EQ(Blend(destination, all, source, all, 200), c.handled);
    EXPECT_EQ(reference::Blend(destination, all, source, all, 200), c.handled);
    if (!c.handled) {
        EXPECT_EQ(AllBytes(destination), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, BlendDepthTest,
                         testing::Values(DepthCase{32, 32, true}, DepthCase{32, 24, true}, DepthCase{32, 8, true},
                                         DepthCase{24, 32, true}, DepthCase{24, 24, true}, DepthCase{24, 8, true},
                                         DepthCase{16, 32, false}, DepthCase{15, 24, false}, DepthCase{8, 32, false},
                                         DepthCase{32, 16, false}, DepthCase{32, 4, false}, DepthCase{24, 15, false}));

// At level 255 an opaque source is copied, so Blend must touch exactly the
// pixels that Copy touches, whatever the rectangles.
TEST(BlendClipping, TouchesExactlyThePixelsCopyTouches)
{
    const std::pair<TRect, TRect> cases[] = {
        {{2, 1, 8, 4}, {-3, 0, 3, 3}},      // source starts left of its buffer
        {{-2, -1, 5, 3}, {0, 0, 7, 4}},     // destination starts outside
        {{4, 2, 20, 20}, {1, 1, 30, 30}},   // both reach past the right and bottom
        {{0, 0, 3, 3}, {5, 2, 9, 6}},       // smaller destination rectangle decides
        {{3, 3, 3, 9}, {0, 0, 4, 4}},       // empty
        {{0, 0, 5, 5}, {12, 0, 20, 5}},     // source entirely outside
    };
    std::mt19937 random(77);
    for (const auto& [destinationRect, sourceRect] : cases) {
        DirectBmpControl source;
        DirectBmpControl blended;
        DirectBmpControl copied;
        Allocate(source, 10, 6, 32);
        Allocate(blended, 8, 5, 32);
        FillRandom(source, random);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x) SetPixel32(source, x, y, Pixel32(source, x, y) | 0xFF000000);
        FillRandom(blended, random);
        CloneInto(copied, blended);
        Copy(copied, destinationRect, source, sourceRect);
        EXPECT_TRUE(Blend(blended, destinationRect, source, sourceRect, 255));
        EXPECT_EQ(AllBytes(blended), AllBytes(copied)) << Describe(destinationRect) << " " << Describe(sourceRect);
    }
}

TEST(BlendFastPath, MatchesTheReferenceOnRandomBuffers)
{
    std::mt19937 random(2024);
    const int pairs[][2] = {{32, 32}, {32, 24}, {32, 8}, {24, 32}, {24, 24}, {24, 8}};
    for (const Size& size : RandomSizes) {
        for (const auto& pair : pairs) {
            for (int round = 0; round < 3; ++round) {
                DirectBmpControl source;
                DirectBmpControl fast;
                DirectBmpControl slow;
                Allocate(source, size.width + round, size.height + 1, pair[1]);
                Allocate(fast, size.width, size.height, pair[0]);
                FillRandom(source, random);
                FillRandom(fast, random);
                CloneInto(slow, fast);
                const TRect destinationRect = round == 0 ? TRect{0, 0, size.width, size.height}
                                                         : RandomRect(random, size.width, size.height);
                const TRect sourceRect = round == 0 ? TRect{0, 0, size.width, size.height}
                                                    : RandomRect(random, size.width + round, size.height + 1);
                const auto level = static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(random));
                EXPECT_EQ(Blend(fast, destinationRect, source, sourceRect, level),
                          reference::Blend(slow, destinationRect, source, sourceRect, level));
                ASSERT_EQ(AllBytes(fast), AllBytes(slow))
                    << size.width << "x" << size.height << " depths " << pair[0] << "<-" << pair[1] << " level "
                    << int(level) << " " << Describe(destinationRect) << " " << Describe(sourceRect);
            }
        }
    }
}

// A buffer blended over itself at an offset reads pixels it has already
// written; the fast path must give the reference's result.
TEST(BlendFastPath, MatchesTheReferenceWithinOneBuffer)
{
    std::mt19937 random(99);
    const std::pair<TRect, TRect> cases[] = {
        {{0, 0, 40, 20}, {0, 0, 40, 20}},  // each pixel over itself
        {{1, 0, 41, 20}, {0, 0, 40, 20}},  // one pixel right
        {{0, 1, 40, 21}, {0, 0, 40, 20}},  // one row down
        {{0, 0, 40, 20}, {3, 2, 43, 22}},  // up and left
    };
    for (const auto& [destinationRect, sourceRect] : cases) {
        DirectBmpControl fast;
        DirectBmpControl slow;
        Allocate(fast, 45, 24, 32);
        FillRandom(fast, random);
        CloneInto(slow, fast);
        EXPECT_TRUE(Blend(fast, destinationRect, fast, sourceRect, 100));
        EXPECT_TRUE(reference::Blend(slow, destinationRect, slow, sourceRect, 100));
        EXPECT_EQ(AllBytes(fast), AllBytes(slow)) << Describe(destinationRect) << " " << Describe(sourceRect);
    }
}

// A fade frame in one pass gives the bytes of Copy followed by the reference
// Blend: over whole buffers and inner rectangles (single pass), and over
// rectangles reaching outside a buffer or onto the base itself (two passes).
TEST(BlendOverCopy, MatchesCopyThenReferenceBlend)
{
    std::mt19937 random(7);
    const uint8_t levels[] = {0, 1, 127, 128, 254, 255};
    for (const Size& size : RandomSizes) {
        for (uint8_t level : levels) {
            for (int round = 0; round < 3; ++round) {
                DirectBmpControl base;
                DirectBmpControl source;
                DirectBmpControl fast;
                DirectBmpControl slow;
                Allocate(base, size.width, size.height, 32);
                Allocate(source, size.width, size.height, 32);
                Allocate(fast, size.width, size.height, 32);
                FillRandom(base, random);
                FillRandom(source, random);
                FillRandom(fast, random);
                CloneInto(slow, fast);
                TRect rect{0, 0, size.width, size.height};
                if (round == 1) rect = RandomRect(random, size.width, size.height);
                if (round == 2) rect = TRect{-2, 1, size.width + 3, size.height};
                BlendOverCopy(fast, base, source, rect, level);
                Copy(slow, rect, base, rect);
                reference::Blend(slow, rect, source, rect, level);
                ASSERT_EQ(AllBytes(fast), AllBytes(slow))
                    << size.width << "x" << size.height << " level " << int(level) << " " << Describe(rect);
            }
        }
    }

    DirectBmpControl fast;
    DirectBmpControl slow;
    DirectBmpControl source;
    Allocate(fast, 33, 17, 32);
    Allocate(source, 33, 17, 32);
    FillRandom(fast, random);
    FillRandom(source, random);
    CloneInto(slow, fast);
    const TRect all{0, 0, 33, 17};
    BlendOverCopy(fast, fast, source, all, 77);
    reference::Blend(slow, all, source, all, 77);
    EXPECT_EQ(AllBytes(fast), AllBytes(slow));
}

// ---------------------------------------------------------------- Mosaic

class MosaicTest : public testing::Test {
protected:
    void SetUp() override
    {
        Allocate(source, 100, 70, 32);
        Allocate(destination, 100, 70, 32);
        FillRandom(source, random);
        FillRandom(destination, random);
    }

    // Mean of one channel over a block, by integer division.
    uint32_t Mean(int channel, int left, int top, int right, int bottom) const
    {
        uint32_t sum = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) sum += source.Rows[y][4 * x + channel];
        return sum / uint32_t((right - left) * (bottom - top));
    }

    uint32_t MeanColour(int left, int top, int right, int bottom) const
    {
        return Mean(0, left, top, right, bottom) | Mean(1, left, top, right, bottom) << 8 |
               Mean(2, left, top, right, bottom) << 16;
    }

    std::mt19937 random{4321};
    DirectBmpControl source;
    DirectBmpControl destination;
    const TRect all{0, 0, 100, 70};
};

TEST_F(MosaicTest, Block64Over100ColumnsGivesAFullAndA36WideBlock)
{
    Mosaic(destination, all, 64, all, source);
    const uint32_t blocks[2][2] = {{MeanColour(0, 0, 64, 64), MeanColour(64, 0, 100, 64)},
                                   {MeanColour(0, 64, 64, 70), MeanColour(64, 64, 100, 70)}};
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(Pixel32(destination, x, y), blocks[y / 64][x / 64]) << x << "," << y;
}

TEST_F(MosaicTest, WritesAlphaZero)
{
    FillPixels32(source, 0xFF808080);
    Mosaic(destination, all, 4, all, source);
    EXPECT_EQ(Pixel32(destination, 0, 0), 0x00808080u);
    EXPECT_EQ(Pixel32(destination, 99, 69), 0x00808080u);
}

TEST_F(MosaicTest, OneBufferAsSourceAndDestination)
{
    DirectBmpControl copy;
    CloneInto(copy, source);
    Mosaic(destination, all, 8, all, copy);
    Mosaic(source, all, 8, all, source);
    EXPECT_EQ(AllBytes(source), AllBytes(destination));
}

TEST_F(MosaicTest, RectanglesStartingOutsideLayBlocksFromTheFirstInsideColumn)
{
    // The area starts 3 columns and 2 rows in (the source rectangle begins at
    // −3, −2), so blocks start at destination (13, 12).
    Mosaic(destination, TRect{10, 10, 60, 60}, 16, TRect{-3, -2, 40, 40}, source);
    EXPECT_EQ(Pixel32(destination, 13, 12), MeanColour(0, 0, 16, 16));
    EXPECT_EQ(Pixel32(destination, 28, 27), MeanColour(0, 0, 16, 16));
    EXPECT_EQ(Pixel32(destination, 29, 12), MeanColour(16, 0, 32, 16));
    // 43 columns wide: the last block is 43 − 3 − 32 = 8 wide.
    EXPECT_EQ(Pixel32(destination, 45, 12), MeanColour(32, 0, 40, 16));
}

TEST_F(MosaicTest, UnsupportedBlockSizesAndDepthsDoNothing)
{
    const auto before = AllBytes(destination);
    for (int blockSize : {0, 1, 3, 6, 128, -2}) {
        Mosaic(destination, all, blockSize, all, source);
        reference::Mosaic(destination, all, blockSize, all, source);
    }
    DirectBmpControl narrow;
    Allocate(narrow, 100, 70, 24);
    Mosaic(destination, all, 4, all, narrow);
    EXPECT_EQ(AllBytes(destination), before);
}

TEST_F(MosaicTest, StaysInsideBothBuffers)
{
    // Rectangles reaching far past both buffers (checked under the address
    // sanitizer); the part inside is averaged as usual.
    DirectBmpControl small;
    Allocate(small, 30, 20, 32);
    FillRandom(small, random);
    Mosaic(small, TRect{20, 10, 500, 500}, 32, TRect{0, 0, 480, 490}, source);
    EXPECT_EQ(Pixel32(small, 20, 10), MeanColour(0, 0, 10, 10));
    // Area columns 5..26 and rows 7..17 lie inside both buffers: one block,
    // source columns 8..29 and rows 9..19 into destination columns 0..21 and rows 0..10.
    Mosaic(destination, TRect{-5, -7, 1000, 1000}, 64, TRect{3, 2, 1008, 1009}, small);
    uint32_t blue = 0;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 22; ++x) blue += small.Rows[9 + y][4 * (8 + x)];
    EXPECT_EQ(destination.Rows[0][0], blue / (11 * 22));
    EXPECT_EQ(Pixel32(destination, 21, 10) & 0xFF, blue / (11 * 22));
}

TEST(MosaicFastPath, MatchesTheReferenceOnRandomBuffers)
{
    std::mt19937 random(31337);
    for (const Size& size : RandomSizes) {
        for (int blockSize : {2, 4, 8, 16, 32, 64}) {
            for (int round = 0; round < 2; ++round) {
                DirectBmpControl source;
                DirectBmpControl fast;
                DirectBmpControl slow;
                Allocate(source, size.width + 2, size.height + round, 32);
                Allocate(fast, size.width, size.height, 32);
                FillRandom(source, random);
                FillRandom(fast, random);
                CloneInto(slow, fast);
                const TRect destinationRect = round == 0 ? TRect{0, 0, size.width, size.height}
                                                         : RandomRect(random, size.width, size.height);
                const TRect sourceRect = round == 0 ? TRect{0, 0, size.width, size.height}
                                                    : RandomRect(random, size.width + 2, size.height + round);
                Mosaic(fast, destinationRect, blockSize, sourceRect, source);
                reference::Mosaic(slow, destinationRect, blockSize, sourceRect, source);
                ASSERT_EQ(AllBytes(fast), AllBytes(slow))
                    << size.width << "x" << size.height << " block " << blockSize << " " << Describe(destinationRect)
                    << " " << Describe(sourceRect);
            }
        }
    }
}

// Within one buffer at an offset, a block may read what an earlier block of
// its row wrote: the fast path must keep the block-by-block order's result.
TEST(MosaicFastPath, MatchesTheReferenceWithinOneBufferAtAnOffset)
{
    std::mt19937 random(8);
    const std::pair<TRect, TRect> cases[] = {
        {{0, 0, 50, 30}, {0, 0, 50, 30}},
        {{3, 0, 53, 30}, {0, 0, 50, 30}},
        {{0, 0, 50, 30}, {5, 1, 55, 31}},
        {{0, 2, 50, 32}, {0, 0, 50, 30}},
    };
    for (const auto& [destinationRect, sourceRect] : cases) {
        for (int blockSize : {2, 4, 8}) {
            DirectBmpControl fast;
            DirectBmpControl slow;
            Allocate(fast, 57, 33, 32);
            FillRandom(fast, random);
            CloneInto(slow, fast);
            Mosaic(fast, destinationRect, blockSize, sourceRect, fast);
            reference::Mosaic(slow, destinationRect, blockSize, sourceRect, slow);
            EXPECT_EQ(AllBytes(fast), AllBytes(slow))
                << Describe(destinationRect) << " " << Describe(sourceRect) << " block " << blockSize;
        }
    }
}

// ---------------------------------------------------------------- ToneGrey

uint32_t Toned(uint32_t pixel, const ToneParams& params, int bits = 32)
{
    DirectBmpControl buffer;
    EXPECT_TRUE(buffer.Allocate(1, 1, PixelFormatOfBits(bits)));
    for (int i = 0; i < bits / 8; ++i) buffer.Bits[i] = static_cast<uint8_t>(pixel >> (8 * i));
    EXPECT_TRUE(ToneGrey(buffer, TRect{0, 0, 1, 1}, params));
    uint32_t result = 0;
    for (int i = 0; i < bits / 8; ++i) result |= uint32_t{buffer.Bits[i]} << (8 * i);
    return result;
}

TEST(ToneGrey, PresetsTurnWhiteIntoTheirTints)
{
    EXPECT_EQ(Toned(0xFFFFFFFF, MonochromeTone), 0xFFFEFEFEu);
    // Sepia: red 254, green 239, blue 214.
    EXPECT_EQ(Toned(0xFFFFFFFF, SepiaTone), 0xFFFEEFD6u);
}

TEST(ToneGrey, WeightedGreyAndHalfwayMean)
{
    // Red 200, green 100, blue 10: the weighted grey is
    // (30 × 200 + 59 × 100 + 11 × 10) / 100 = 120, tinted 120 × 255 >> 8 = 119.
    EXPECT_EQ(Toned(0x00C8640A, MonochromeTone), 0x00777777u);
    // Halfway: average 310 / 3 = 103, grey (30 × 303 + 59 × 203 + 11 × 113) / 200
    // = 111; sepia red 111 × 255 >> 8 = 110, green 111 × 240 >> 8 = 104,
    // blue 111 × 215 >> 8 = 93.
    EXPECT_EQ(Toned(0x00C8640A, SepiaTone), 0x006E685Du);
    // The same in a 24-bit buffer.
    EXPECT_EQ(Toned(0xC8640A, SepiaTone, 24), 0x6E685Du);
    EXPECT_EQ(Toned(0xFFFFFF, MonochromeTone, 24), 0xFEFEFEu);
}

TEST(ToneGrey, LeavesAlphaAndEverythingOutsideTheRectangleAlone)
{
    std::mt19937 random(3);
    DirectBmpControl buffer;
    Allocate(buffer, 12, 9, 32);
    FillRandom(buffer, random);
    const auto before = AllBytes(buffer);
    const TRect rect{2, 3, 9, 7};
    EXPECT_TRUE(ToneGrey(buffer, rect, SepiaTone));
    const auto after = AllBytes(buffer);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 12; ++x) {
            const size_t at = size_t(y) * buffer.Pitch + 4 * x;
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            EXPECT_EQ(after[at + 3], before[at + 3]) << x << "," << y;
            if (!inside) {
                for (int c = 0; c < 3; ++c) EXPECT_EQ(after[at + c], before[at + c]) << x << "," << y;
            }
        }
    }
}

TEST(ToneGrey, RefusesOtherDepthsAndSkipsRowsAndColumnsOutsideTheBuffer)
{
    DirectBmpControl indexed;
    Allocate(indexed, 4, 4, 8);
    EXPECT_FALSE(ToneGrey(indexed, TRect{0, 0, 4, 4}, SepiaTone));
    EXPECT_FALSE(reference::ToneGrey(indexed, TRect{0, 0, 4, 4}, SepiaTone));

    DirectBmpControl buffer;
    Allocate(buffer, 5, 3, 32);
    FillPixels32(buffer, 0xFFFFFFFF);
    EXPECT_TRUE(ToneGrey(buffer, TRect{-10, -10, 100, 100}, MonochromeTone));
    EXPECT_EQ(Pixel32(buffer, 0, 0), 0xFFFEFEFEu);
    EXPECT_EQ(Pixel32(buffer, 4, 2), 0xFFFEFEFEu);
}

TEST(ToneGreyFastPath, MatchesTheReferenceOnRandomBuffers)
{
    std::mt19937 random(555);
    // The presets, a halfway tone, and factors beyond 8 bits (whose products
    // are taken in 32-bit unsigned arithmetic and cut to the low byte).
    const ToneParams tones[] = {MonochromeTone, SepiaTone, {0, 1, 0, 128, 255}, {7, 0, 300, 70000, 0xFFFFFFFF}};
    for (const Size& size : RandomSizes) {
        for (int bits : {32, 24}) {
            for (const ToneParams& tone : tones) {
                DirectBmpControl fast;
                DirectBmpControl slow;
                Allocate(fast, size.width, size.height, bits);
                FillRandom(fast, random);
                CloneInto(slow, fast);
                const TRect rect = RandomRect(random, size.width, size.height);
                EXPECT_TRUE(ToneGrey(fast, rect, tone));
                EXPECT_TRUE(reference::ToneGrey(slow, rect, tone));
                ASSERT_EQ(AllBytes(fast), AllBytes(slow))
                    << size.width << "x" << size.height << " bits " << bits << " " << Describe(rect);
            }
        }
    }
}

// Every colour once, through both presets: the vector path's divisions
// and lane arithmetic against the reference's plain integer division.
TEST(ToneGreyFastPath, MatchesTheReferenceForEveryColour)
{
    DirectBmpControl colours;
    Allocate(colours, 4096, 4096, 32);
    for (uint32_t i = 0; i < 4096u * 4096u; ++i) SetPixel32(colours, int(i % 4096), int(i / 4096), i | 0x5A000000);
    for (const ToneParams& tone : {MonochromeTone, SepiaTone}) {
        DirectBmpControl fast;
        DirectBmpControl slow;
        CloneInto(fast, colours);
        CloneInto(slow, colours);
        const TRect all{0, 0, 4096, 4096};
        ToneGrey(fast, all, tone);
        reference::ToneGrey(slow, all, tone);
        ASSERT_TRUE(AllBytes(fast) == AllBytes(slow)) << "halfway " << int(tone.halfway);
    }
}

}  // namespace
