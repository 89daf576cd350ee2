#include "imaging/StretchCopy.h"

#include "tests/support/PixelBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- helpers

// The same picture at 32 bits: palette colours or 24-bit pixels with alpha 255.
void ExpandTo32(DirectBmpControl& wide, const DirectBmpControl& buffer)
{
    ASSERT_TRUE(wide.Allocate(buffer.Width, buffer.Height, TPixelFormat::Bits32));
    for (int y = 0; y < buffer.Height; ++y) {
        for (int x = 0; x < buffer.Width; ++x) {
            const uint8_t* p = buffer.BitsPerPixel == 8 ? buffer.Palette[buffer.Rows[y][x]] : buffer.Rows[y] + 3 * x;
            uint8_t* q = wide.Rows[y] + 4 * x;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
            q[3] = 255;
        }
    }
    std::memcpy(wide.EdgeColour, buffer.EdgeColour, 4);
    wide.EdgeColour[4] = 255;
}

uint32_t Channel(uint32_t pixel, int c) { return pixel >> (8 * c) & 0xFF; }

struct ResampleSizes {
    int32_t sourceWidth;
    int32_t sourceHeight;
    int32_t destinationWidth;
    int32_t destinationHeight;
};

// ---------------------------------------------------------------- entry checks

struct EntryCase {
    const char* name;
    int destinationBits;
    int sourceBits;
    TRect destinationRect;
    TRect sourceRect;
    bool accepted;
};

class StretchCopyEntryTest : public testing::TestWithParam<EntryCase> {};

TEST_P(StretchCopyEntryTest, AcceptsOrRefusesBeforeWriting)
{
    const EntryCase& c = GetParam();
    std::mt19937 random(11);
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 10, 8, c.sourceBits);
    Allocate(destination, 12, 9, c.destinationBits);
    FillRandom(source, random);
    FillRandom(destination, random);
    DirectBmpControl other;
    CloneInto(other, destination);
    const auto before = AllBytes(destination);

    EXPECT_EQ(StretchCopy(destination, c.destinationRect, source, c.sourceRect), c.accepted);
    EXPECT_EQ(reference::StretchCopy(other, c.destinationRect, source, c.sourceRect), c.accepted);
    if (!c.accepted) {
        EXPECT_EQ(AllBytes(destination), before);
        EXPECT_EQ(AllBytes(other), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, StretchCopyEntryTest,
    testing::Values(
        EntryCase{"EightBitDestination", 8, 32, {0, 0, 6, 6}, {0, 0, 3, 3}, false},
        EntryCase{"SixteenBitDestination", 16, 32, {0, 0, 6, 6}, {0, 0, 3, 3}, false},
        EntryCase{"FourBitSource", 32, 4, {0, 0, 6, 6}, {0, 0, 3, 3}, false},
        EntryCase{"SixteenBitSource", 32, 16, {0, 0, 6, 6}, {0, 0, 3, 3}, false},
        EntryCase{"DepthsCheckedBeforeEqualSizes", 8, 32, {0, 0, 3, 3}, {0, 0, 3, 3}, false},
        EntryCase{"NegativeSourceLeft", 32, 32, {0, 0, 6, 6}, {-1, 0, 3, 3}, false},
        EntryCase{"NegativeSourceTop", 32, 32, {0, 0, 6, 6}, {0, -1, 3, 3}, false},
        EntryCase{"NegativeDestinationLeft", 32, 32, {-2, 0, 6, 6}, {0, 0, 3, 3}, false},
        EntryCase{"SourcePastWidth", 32, 24, {0, 0, 6, 6}, {5, 0, 11, 3}, false},
        EntryCase{"SourcePastHeight", 32, 24, {0, 0, 6, 6}, {0, 5, 3, 9}, false},
        EntryCase{"DestinationPastWidth", 24, 32, {7, 0, 13, 6}, {0, 0, 3, 3}, false},
        EntryCase{"DestinationPastHeight", 24, 32, {0, 4, 6, 10}, {0, 0, 3, 3}, false},
        EntryCase{"EmptySource", 32, 32, {0, 0, 6, 6}, {2, 2, 2, 5}, false},
        EntryCase{"EmptyDestination", 32, 32, {3, 3, 3, 3}, {0, 0, 4, 4}, false},
        EntryCase{"InsideBothEnlarges", 32, 8, {0, 0, 12, 9}, {0, 0, 10, 8}, true},
        EntryCase{"InsideBothShrinks", 24, 24, {1, 1, 4, 4}, {0, 0, 10, 8}, true},
        EntryCase{"EqualSizesOutsideAreClippedNotRefused", 32, 32, {-2, 0, 4, 3}, {-1, 5, 5, 8}, true}),
    [](const testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST(StretchCopy, EqualSizesCopyWithCopysClipping)
{
    std::mt19937 random(12);
    const std::pair<TRect, TRect> cases[] = {
        {{2, 1, 10, 5}, {-3, 0, 5, 4}},
        {{-4, -2, 4, 6}, {3, 1, 11, 9}},
        {{5, 5, 15, 15}, {0, 0, 10, 10}},
    };
    for (int sourceBits : {8, 24, 32}) {
        for (const auto& [destinationRect, sourceRect] : cases) {
            DirectBmpControl source;
            DirectBmpControl stretched;
            DirectBmpControl copied;
            Allocate(source, 10, 8, sourceBits);
            Allocate(stretched, 12, 9, 32);
            FillRandom(source, random);
            FillRandom(stretched, random);
            CloneInto(copied, stretched);
            Copy(copied, destinationRect, source, sourceRect);
            EXPECT_TRUE(StretchCopy(stretched, destinationRect, source, sourceRect));
            EXPECT_EQ(AllBytes(stretched), AllBytes(copied)) << Describe(destinationRect) << " " << sourceBits;
        }
    }
}

// ---------------------------------------------------------------- enlarge

using StretchFunction = bool (*)(DirectBmpControl&, const TRect&, const DirectBmpControl&, const TRect&);

class StretchCopyFormsTest : public testing::TestWithParam<StretchFunction> {};

INSTANTIATE_TEST_SUITE_P(FastAndReference, StretchCopyFormsTest,
                         testing::Values(static_cast<StretchFunction>(&StretchCopy),
                                         static_cast<StretchFunction>(&reference::StretchCopy)),
                         [](const testing::TestParamInfo<StretchFunction>& info) {
                             return std::string(info.index == 0 ? "Fast" : "Reference");
                         });

TEST_P(StretchCopyFormsTest, TwoByTwoToFourByFour)
{
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 2, 2, 32);
    Allocate(destination, 4, 4, 32);
    SetPixel32(source, 0, 0, 0x10203040);
    SetPixel32(source, 1, 0, 0x11C0FF03);
    SetPixel32(source, 0, 1, 0x80000705);
    SetPixel32(source, 1, 1, 0xFF7F0A00);
    // Reserved, red, green, blue, alpha.
    const uint8_t edge[5] = {0, 0x21, 0x42, 0x63, 0x84};
    std::memcpy(source.EdgeColour, edge, 5);
    ASSERT_TRUE(GetParam()(destination, TRect{0, 0, 4, 4}, source, TRect{0, 0, 2, 2}));

    // Whole steps land on the source pixels themselves, alpha included.
    EXPECT_EQ(Pixel32(destination, 0, 0), 0x10203040u);
    EXPECT_EQ(Pixel32(destination, 2, 0), 0x11C0FF03u);
    EXPECT_EQ(Pixel32(destination, 0, 2), 0x80000705u);
    // (1, 1): fx = fy = 512, the mean of the four pixels rounded down.
    const uint32_t corners[4] = {0x10203040, 0x11C0FF03, 0x80000705, 0xFF7F0A00};
    for (int c = 0; c < 4; ++c) {
        uint32_t sum = 0;
        for (uint32_t p : corners) sum += Channel(p, c);
        EXPECT_EQ(Channel(Pixel32(destination, 1, 1), c), sum / 4) << "channel " << c;
    }
    // (1, 0): halfway along the top row, rounded down.
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(Channel(Pixel32(destination, 1, 0), c), (Channel(corners[0], c) + Channel(corners[1], c)) / 2);
    // (3, 3): source (1, 1) with the edge colour as its right, lower and
    // diagonal neighbours: (p + 3 × edge) / 4 rounded down.
    const uint32_t edgePixel = 0x84214263;
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(Channel(Pixel32(destination, 3, 3), c), (Channel(corners[3], c) + 3 * Channel(edgePixel, c)) / 4)
            << "channel " << c;
}

TEST_P(StretchCopyFormsTest, DarkAreaStaysDark)
{
    // Values 0 and 1 only: a numerator rounded toward minus infinity may give
    // −1, which must become 0, not 255. The rectangle keeps away from the
    // buffer's right and bottom so that no edge colour enters.
    std::mt19937 random(13);
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 40, 30, 32);
    FillRandom(source, random, 1);
    Allocate(destination, 53, 41, 32);
    ASSERT_TRUE(GetParam()(destination, TRect{0, 0, 53, 41}, source, TRect{3, 2, 20, 15}));
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 53; ++x) ASSERT_EQ(Pixel32(destination, x, y) & 0xFEFEFEFE, 0u) << x << "," << y;
}

TEST_P(StretchCopyFormsTest, OpaqueSourcesGiveAlpha255)
{
    std::mt19937 random(14);
    for (int bits : {8, 24}) {
        for (const TRect& destinationRect : {TRect{0, 0, 13, 11}, TRect{1, 2, 4, 5}}) {
            DirectBmpControl source;
            DirectBmpControl destination;
            Allocate(source, 6, 7, bits);
            FillRandom(source, random);
            Allocate(destination, 13, 11, 32);
            ASSERT_TRUE(GetParam()(destination, destinationRect, source, TRect{0, 0, 6, 7}));
            for (int y = destinationRect.top; y < destinationRect.bottom; ++y)
                for (int x = destinationRect.left; x < destinationRect.right; ++x)
                    EXPECT_EQ(Pixel32(destination, x, y) >> 24, 255u) << bits << " " << x << "," << y;
        }
    }
}

// An 8-bit or 24-bit source gives what its 32-bit form (palette colours,
// alpha 255) gives, enlarging and shrinking.
TEST_P(StretchCopyFormsTest, NarrowSourcesResampleLikeTheir32BitForm)
{
    std::mt19937 random(15);
    for (int bits : {8, 24}) {
        for (const TRect& destinationRect : {TRect{0, 0, 23, 17}, TRect{2, 1, 7, 4}, TRect{0, 0, 9, 20}}) {
            DirectBmpControl source;
            DirectBmpControl wide;
            DirectBmpControl fromNarrow;
            DirectBmpControl fromWide;
            Allocate(source, 11, 9, bits);
            FillRandom(source, random);
            ExpandTo32(wide, source);
            Allocate(fromNarrow, 23, 20, 32);
            Allocate(fromWide, 23, 20, 32);
            const TRect sourceRect{1, 1, 11, 9};
            ASSERT_TRUE(GetParam()(fromNarrow, destinationRect, source, sourceRect));
            ASSERT_TRUE(GetParam()(fromWide, destinationRect, wide, sourceRect));
            EXPECT_EQ(AllBytes(fromNarrow), AllBytes(fromWide)) << bits << " " << Describe(destinationRect);
        }
    }
}

// ---------------------------------------------------------------- shrink

TEST_P(StretchCopyFormsTest, EightByEightToTwoByTwoAveragesBlocks)
{
    std::mt19937 random(16);
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 8, 8, 32);
    FillRandom(source, random);
    Allocate(destination, 2, 2, 32);
    ASSERT_TRUE(GetParam()(destination, TRect{0, 0, 2, 2}, source, TRect{0, 0, 8, 8}));
    for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 4; ++x) sum += Channel(Pixel32(source, 4 * bx + x, 4 * by + y), c);
                EXPECT_EQ(Channel(Pixel32(destination, bx, by), c), sum / 16) << bx << "," << by << " " << c;
            }
        }
    }
}

TEST_P(StretchCopyFormsTest, ThousandToSixHundredColumnsWeighsTheBorderColumns)
{
    // Destination column 0 takes source columns 0 and 1 with weights 614 and
    // 410; column 1 takes columns 1, 2, 3 with 614, 614 and 206. Each channel
    // lights one column so each weight shows in the result.
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 1000, 1, 24);
    Allocate(destination, 600, 1, 32);
    const uint8_t pixels[4][3] = {{0, 255, 0}, {255, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // blue, green, red
    std::memcpy(source.Rows[0], pixels, sizeof pixels);
    ASSERT_TRUE(GetParam()(destination, TRect{0, 0, 600, 1}, source, TRect{0, 0, 1000, 1}));
    // Column 0: blue and red 410 × 255 / 1024 = 102, green 614 × 255 / 1024 = 152.
    EXPECT_EQ(Pixel32(destination, 0, 0), 0xFF669866u);
    // Column 1 (total 1434): blue (614 + 206) × 255 / 1434 = 145, green and
    // red 614 × 255 / 1434 = 109.
    EXPECT_EQ(Pixel32(destination, 1, 0), 0xFF6D6D91u);
    // Column 2 takes columns 3 and 4 with 614 and 3 × 1024 − 4 × 614 = 616:
    // blue 614 × 255 / 1230 = 127.
    EXPECT_EQ(Pixel32(destination, 2, 0), 0xFF00007Fu);
}

TEST_P(StretchCopyFormsTest, ShrinkAveragesAlphaOfA32BitSource)
{
    DirectBmpControl source;
    DirectBmpControl destination;
    Allocate(source, 4, 2, 32);
    Allocate(destination, 2, 1, 32);
    const uint32_t alphas[8] = {0, 10, 20, 30, 40, 50, 60, 255};
    for (int i = 0; i < 8; ++i) SetPixel32(source, i % 4, i / 4, alphas[i] << 24);
    ASSERT_TRUE(GetParam()(destination, TRect{0, 0, 2, 1}, source, TRect{0, 0, 4, 2}));
    EXPECT_EQ(Pixel32(destination, 0, 0) >> 24, (0u + 10 + 40 + 50) / 4);
    EXPECT_EQ(Pixel32(destination, 1, 0) >> 24, (20u + 30 + 60 + 255) / 4);
}

// A weighted mean of one colour is that colour: the sums are whole
// multiples of the total weight, whatever the ratio.
TEST_P(StretchCopyFormsTest, ShrinkKeepsAUniformColourExactly)
{
    const ResampleSizes sizes[] = {
        {1000, 7, 600, 3}, {97, 89, 13, 11}, {50, 40, 49, 39}, {1023, 5, 1, 1}, {7, 300, 7, 299},
    };
    for (const ResampleSizes& size : sizes) {
        DirectBmpControl source;
        DirectBmpControl destination;
        Allocate(source, size.sourceWidth, size.sourceHeight, 32);
        Allocate(destination, size.destinationWidth, size.destinationHeight, 32);
        for (int y = 0; y < size.sourceHeight; ++y)
            for (int x = 0; x < size.sourceWidth; ++x) SetPixel32(source, x, y, 0x80FE07C9);
        ASSERT_TRUE(GetParam()(destination, TRect{0, 0, size.destinationWidth, size.destinationHeight}, source,
                               TRect{0, 0, size.sourceWidth, size.sourceHeight}));
        for (int y = 0; y < size.destinationHeight; ++y)
            for (int x = 0; x < size.destinationWidth; ++x)
                ASSERT_EQ(Pixel32(destination, x, y), 0x80FE07C9u) << size.sourceWidth << " " << x << "," << y;
    }
}

// ---------------------------------------------------------------- fast = reference


// Enlarging, shrinking, one axis each way, one axis equal, extreme ratios
// and sizes large enough for the row workers.
const ResampleSizes ResampleCases[] = {
    {1, 1, 3, 7},     {1, 1, 2, 1},       {2, 1, 1, 1},      {3, 7, 17, 5},    {17, 5, 3, 7},
    {3, 7, 1, 1},     {1023, 3, 17, 5},   {17, 5, 1023, 3},  {2, 2, 4, 4},     {8, 8, 2, 2},
    {7, 7, 5, 7},     {5, 7, 7, 7},       {7, 5, 7, 7},      {100, 70, 33, 21}, {33, 21, 100, 70},
    {1000, 1, 600, 1}, {16, 9, 16, 10},   {640, 480, 1023, 768}, {1023, 768, 640, 480},
    {1023, 517, 1500, 701}, {1500, 701, 1023, 517}, {321, 123, 77, 700}, {3, 1000, 5, 301},
};

void CompareFastWithReference(const ResampleSizes& c, int sourceBits, int destinationBits, std::mt19937& random,
                              bool touchEdges, int32_t largestMargin = 3)
{
    std::uniform_int_distribution<int32_t> margin(0, largestMargin);
    const int32_t sourceLeft = margin(random);
    const int32_t sourceTop = margin(random);
    const int32_t destinationLeft = margin(random);
    const int32_t destinationTop = margin(random);
    const int32_t sourceRight = touchEdges ? 0 : margin(random);
    const int32_t sourceBottom = touchEdges ? 0 : margin(random);

    DirectBmpControl source;
    DirectBmpControl fast;
    DirectBmpControl slow;
    Allocate(source, sourceLeft + c.sourceWidth + sourceRight, sourceTop + c.sourceHeight + sourceBottom, sourceBits);
    Allocate(fast, destinationLeft + c.destinationWidth + margin(random),
             destinationTop + c.destinationHeight + margin(random), destinationBits);
    FillRandom(source, random);
    FillRandom(fast, random);
    CloneInto(slow, fast);
    const TRect sourceRect{sourceLeft, sourceTop, sourceLeft + c.sourceWidth, sourceTop + c.sourceHeight};
    const TRect destinationRect{destinationLeft, destinationTop, destinationLeft + c.destinationWidth,
                                destinationTop + c.destinationHeight};
    EXPECT_TRUE(StretchCopy(fast, destinationRect, source, sourceRect));
    EXPECT_TRUE(reference::StretchCopy(slow, destinationRect, source, sourceRect));
    ASSERT_TRUE(AllBytes(fast) == AllBytes(slow))
        << c.sourceWidth << "x" << c.sourceHeight << " -> " << c.destinationWidth << "x" << c.destinationHeight
        << " depths " << destinationBits << "<-" << sourceBits << " " << Describe(destinationRect) << " "
        << Describe(sourceRect);
}

TEST(StretchCopyFastPath, MatchesTheReferenceOnRandomBuffers)
{
    std::mt19937 random(2718);
    for (const ResampleSizes& c : ResampleCases) {
        for (int sourceBits : {32, 24, 8}) {
            for (int destinationBits : {32, 24}) {
                const bool large = int64_t{c.destinationWidth} * c.destinationHeight > 100000 ||
                                   int64_t{c.sourceWidth} * c.sourceHeight > 100000;
                // Large cases (there for the row workers) once and for some
                // depth pairs only; small ones with and without the source
                // rectangle touching the buffer's edges.
                if (large && sourceBits + destinationBits == 56) continue;
                CompareFastWithReference(c, sourceBits, destinationBits, random, true);
                if (!large) CompareFastWithReference(c, sourceBits, destinationBits, random, false);
            }
        }
    }
}

TEST(StretchCopyFastPath, MatchesTheReferenceAtExtremeRatios)
{
    std::mt19937 random(31);
    const ResampleSizes cases[] = {{16384, 1, 3, 1}, {16384, 2, 17, 1}, {1, 1, 16384, 1}, {3, 1, 16384, 2},
                                  {1, 16384, 1, 5}, {9000, 3, 1000, 2}, {16384, 1, 16383, 1}};
    for (const ResampleSizes& c : cases) CompareFastWithReference(c, 32, 32, random, true, 0);
}

// Source and destination rectangles in one buffer: the result depends on
// the order pixels are written in, which the fast path must not change.
TEST(StretchCopyFastPath, MatchesTheReferenceWithinOneBuffer)
{
    std::mt19937 random(41);
    const std::pair<TRect, TRect> cases[] = {
        {{0, 0, 30, 20}, {2, 1, 17, 11}},
        {{5, 3, 15, 9}, {0, 0, 30, 20}},
    };
    for (const auto& [destinationRect, sourceRect] : cases) {
        DirectBmpControl fast;
        DirectBmpControl slow;
        Allocate(fast, 32, 24, 32);
        FillRandom(fast, random);
        CloneInto(slow, fast);
        EXPECT_TRUE(StretchCopy(fast, destinationRect, fast, sourceRect));
        EXPECT_TRUE(reference::StretchCopy(slow, destinationRect, slow, sourceRect));
        EXPECT_EQ(AllBytes(fast), AllBytes(slow)) << Describe(destinationRect) << " " << Describe(sourceRect);
    }
}

}  // namespace
