// PhotoTransform: the eight orientations on a small asymmetric picture written
// out by hand, and on a larger one through identities between them (which
// reach past the tile edges of the quarter turns); FitWithin on worked
// examples and on every small size pair; the row-fed shrinker against the
// plain reference on awkward size pairs, the reference against hand-worked
// means, and the errors.

#include "tools/authoring/PhotoTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A picture whose pixels are named by letters, row after row; every channel
// of a pixel differs from the same channel of every other pixel.
RgbaImage Lettered(int32_t width, int32_t height, const std::string& letters)
{
    RgbaImage image{width, height, {}};
    for (const char letter : letters) {
        const auto c = static_cast<uint8_t>(letter);
        image.pixels.insert(image.pixels.end(), {c, static_cast<uint8_t>(c ^ 0x55), static_cast<uint8_t>(c * 3),
                                                 static_cast<uint8_t>(255 - c)});
    }
    return image;
}

// Pixels from a fixed seed (a 64-bit linear congruential generator, cheap
// enough for pictures of millions of pixels).
RgbaImage RandomPicture(int32_t width, int32_t height, uint64_t seed)
{
    RgbaImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 4)};
    uint64_t state = seed * 0x9E3779B97F4A7C15u + 1;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const auto bits = static_cast<uint32_t>(state >> 32);
        for (size_t channel = 0; channel < 4; ++channel) image.pixels[i + channel] = static_cast<uint8_t>(bits >> (8 * channel));
    }
    return image;
}

RgbaImage Filled(int32_t width, int32_t height, uint8_t value)
{
    return RgbaImage{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, value)};
}

RgbaImage WithOpaqueAlpha(RgbaImage image)
{
    for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
    return image;
}

// One row of the picture as blue, green, red bytes.
std::vector<uint8_t> BgrRow(const RgbaImage& image, int32_t y)
{
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
    for (int32_t x = 0; x < image.width; ++x) {
        const uint8_t* pixel = image.Pixel(x, y);
        uint8_t* to = row.data() + static_cast<size_t>(x) * 3;
        to[0] = pixel[2], to[1] = pixel[1], to[2] = pixel[0];
    }
    return row;
}

// Where two pictures first differ, for a message that can be acted on.
::testing::AssertionResult SamePicture(const RgbaImage& actual, const RgbaImage& expected)
{
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    if (actual.pixels.size() != expected.pixels.size())
        return ::testing::AssertionFailure() << actual.pixels.size() << " bytes, expected " << expected.pixels.size();
    for (size_t i = 0; i < actual.pixels.size(); ++i)
        if (actual.pixels[i] != expected.pixels[i])
            return ::testing::AssertionFailure()
                   << "pixel (" << (i / 4) % static_cast<size_t>(expected.width) << ", "
                   << (i / 4) / static_cast<size_t>(expected.width) << ") channel " << i % 4 << " is "
                   << int(actual.pixels[i]) << ", expected " << int(expected.pixels[i]);
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Orientation

TEST(PhotoOrientation, ValuesOutsideOneToEightAreUpright)
{
    for (const int value : {0, -1, 9, 255, 256 + 6, INT_MIN, INT_MAX})
        EXPECT_EQ(PhotoOrientationFromExif(value), PhotoOrientation::Upright) << value;
    for (int value = 1; value <= 8; ++value) {
        EXPECT_EQ(static_cast<int>(PhotoOrientationFromExif(value)), value);
        EXPECT_EQ(OrientationSwapsSides(PhotoOrientationFromExif(value)), value >= 5) << value;
    }
}

// The stored picture
//     a b c
//     d e f
// as it is seen under each value: the value names the side where the stored
// row 0 belongs and the side where the stored column 0 belongs.
struct OrientationCase {
    PhotoOrientation orientation;
    const char* rowZeroAndColumnZero;
    int32_t width;
    int32_t height;
    const char* upright;
};

class OrientPictureByHand : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(OrientPictureByHand, MatchesTheUprightPictureWrittenOut)
{
    const OrientationCase& c = GetParam();
    const RgbaImage upright = OrientPicture(Lettered(3, 2, "abcdef"), c.orientation);
    EXPECT_TRUE(SamePicture(upright, Lettered(c.width, c.height, c.upright))) << c.rowZeroAndColumnZero;
}

INSTANTIATE_TEST_SUITE_P(
    AllEight, OrientPictureByHand,
    ::testing::Values(OrientationCase{PhotoOrientation::Upright, "top, left", 3, 2, "abc"
                                                                                      "def"},
                      OrientationCase{PhotoOrientation::MirroredHorizontally, "top, right", 3, 2, "cba"
                                                                                                  "fed"},
                      OrientationCase{PhotoOrientation::Rotated180, "bottom, right", 3, 2, "fed"
                                                                                           "cba"},
                      OrientationCase{PhotoOrientation::MirroredVertically, "bottom, left", 3, 2, "def"
                                                                                                  "abc"},
                      OrientationCase{PhotoOrientation::Transposed, "left, top", 2, 3, "ad"
                                                                                       "be"
                                                                                       "cf"},
                      OrientationCase{PhotoOrientation::Rotated90Clockwise, "right, top", 2, 3, "da"
                                                                                                "eb"
                                                                                                "fc"},
                      OrientationCase{PhotoOrientation::Transversed, "right, bottom", 2, 3, "fc"
                                                                                            "eb"
                                                                                            "da"},
                      OrientationCase{PhotoOrientation::Rotated90CounterClockwise, "left, bottom", 2, 3, "cf"
                                                                                                         "be"
                                                                                                         "ad"}));

RgbaImage Oriented(const RgbaImage& image, std::initializer_list<PhotoOrientation> steps)
{
    RgbaImage result = image;
    for (const PhotoOrientation step : steps) result = OrientPicture(std::move(result), step);
    return result;
}

// Over several tiles of the quarter turns, with sides that are not multiples
// of a tile: each turn checked against the mirrors (which work row by row,
// in place) and against its inverse.
TEST(OrientPicture, LargerPicturesKeepTheIdentitiesBetweenTurns)
{
    using enum PhotoOrientation;
    const RgbaImage stored = RandomPicture(131, 67, 7);
    const RgbaImage transposed = OrientPicture(stored, Transposed);
    ASSERT_EQ(transposed.width, 67);
    ASSERT_EQ(transposed.height, 131);
    for (int32_t y = 0; y < transposed.height; y += 13)
        for (int32_t x = 0; x < transposed.width; x += 11)
            ASSERT_EQ(0, std::memcmp(transposed.Pixel(x, y), stored.Pixel(y, x), 4)) << x << ", " << y;
    EXPECT_TRUE(SamePicture(OrientPicture(stored, Rotated90Clockwise), Oriented(stored, {Transposed, MirroredHorizontally})));
    EXPECT_TRUE(SamePicture(OrientPicture(stored, Rotated90CounterClockwise), Oriented(stored, {Transposed, MirroredVertically})));
    EXPECT_TRUE(SamePicture(OrientPicture(stored, Transversed), Oriented(stored, {Transposed, Rotated180})));
    EXPECT_TRUE(SamePicture(OrientPicture(stored, Rotated180), Oriented(stored, {MirroredHorizontally, MirroredVertically})));
    for (const PhotoOrientation selfInverse : {MirroredHorizontally, Rotated180, MirroredVertically, Transposed, Transversed})
        EXPECT_TRUE(SamePicture(Oriented(stored, {selfInverse, selfInverse}), stored)) << int(selfInverse);
    EXPECT_TRUE(SamePicture(Oriented(stored, {Rotated90Clockwise, Rotated90CounterClockwise}), stored));
}

TEST(OrientPicture, MirrorsAndTheHalfTurnKeepTheBuffer)
{
    for (const PhotoOrientation orientation : {PhotoOrientation::Upright, PhotoOrientation::MirroredHorizontally,
                                               PhotoOrientation::Rotated180, PhotoOrientation::MirroredVertically}) {
        RgbaImage image = RandomPicture(5, 3, 1);
        const uint8_t* buffer = image.pixels.data();
        EXPECT_EQ(OrientPicture(std::move(image), orientation).pixels.data(), buffer) << int(orientation);
    }
}

TEST(OrientPicture, ThinAndEmptyPictures)
{
    EXPECT_TRUE(SamePicture(OrientPicture(Lettered(1, 3, "abc"), PhotoOrientation::Rotated90Clockwise), Lettered(3, 1, "cba")));
    EXPECT_TRUE(SamePicture(OrientPicture(Lettered(3, 1, "abc"), PhotoOrientation::Rotated90Clockwise), Lettered(1, 3, "abc")));
    EXPECT_TRUE(SamePicture(OrientPicture(Lettered(1, 1, "a"), PhotoOrientation::Transversed), Lettered(1, 1, "a")));
    const RgbaImage empty = OrientPicture(RgbaImage{0, 4, {}}, PhotoOrientation::Rotated90CounterClockwise);
    EXPECT_EQ(empty.width, 4);
    EXPECT_EQ(empty.height, 0);
}

TEST(OrientPicture, RefusesABufferThatDoesNotMatchTheSize)
{
    for (const RgbaImage& image : {RgbaImage{3, 2, std::vector<uint8_t>(23)}, RgbaImage{3, 2, std::vector<uint8_t>(28)},
                                   RgbaImage{-1, 2, {}}, RgbaImage{2, -2, std::vector<uint8_t>(16)}})
        for (const PhotoOrientation orientation : {PhotoOrientation::Upright, PhotoOrientation::MirroredHorizontally,
                                                   PhotoOrientation::Rotated90Clockwise})
            EXPECT_THROW(OrientPicture(image, orientation), std::invalid_argument)
                << image.width << "x" << image.height << " with " << image.pixels.size() << " bytes";
}

// ---------------------------------------------------------------------------
// FitWithin

struct FitCase {
    PictureSize picture;
    PictureSize box;
    PictureSize fitted;
};

std::string Text(PictureSize size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

TEST(FitWithin, WorkedExamples)
{
    const FitCase cases[] = {
        {{6000, 4000}, {3840, 2160}, {3240, 2160}},
        {{4000, 6000}, {3840, 2160}, {1440, 2160}},
        {{640, 480}, {1024, 768}, {640, 480}},        // never enlarged
        {{3840, 2160}, {3840, 2160}, {3840, 2160}},   // exactly the box
        {{7680, 4320}, {3840, 2160}, {3840, 2160}},   // same aspect
        {{5000, 100}, {3840, 2160}, {3840, 77}},      // 76.8
        {{100, 5000}, {3840, 2160}, {43, 2160}},      // 43.2
        {{4, 2}, {3, 3}, {3, 2}},                     // 1.5 rounds up
        {{2, 4}, {3, 3}, {2, 3}},                     // 1.5 rounds up
        {{8, 2}, {5, 5}, {5, 1}},                     // 1.25
        {{8, 2}, {7, 7}, {7, 2}},                     // 1.75
        {{16384, 1}, {100, 100}, {100, 1}},           // at least 1
        {{1, 16384}, {100, 100}, {1, 100}},
        {{INT32_MAX, INT32_MAX - 1}, {1000, 1000}, {1000, 1000}},  // 999.9999995
        {{INT32_MAX, INT32_MAX}, {1, 1}, {1, 1}},
    };
    for (const FitCase& c : cases) EXPECT_EQ(FitWithin(c.picture, c.box), c.fitted) << Text(c.picture) << " into " << Text(c.box);
}

// Every pair of small sizes: inside the box, never larger than the picture,
// one side on the box's edge when shrunk, the other side the nearest to the
// picture's aspect.
TEST(FitWithin, EverySmallSizeFitsAndKeepsTheAspect)
{
    for (int32_t width = 1; width <= 12; ++width)
        for (int32_t height = 1; height <= 12; ++height)
            for (int32_t boxWidth = 1; boxWidth <= 12; ++boxWidth)
                for (int32_t boxHeight = 1; boxHeight <= 12; ++boxHeight) {
                    const PictureSize fitted = FitWithin({width, height}, {boxWidth, boxHeight});
                    SCOPED_TRACE(::testing::Message() << width << "x" << height << " into " << boxWidth << "x" << boxHeight
                                                      << " gave " << Text(fitted));
                    ASSERT_TRUE(fitted.width >= 1 && fitted.width <= boxWidth && fitted.width <= width);
                    ASSERT_TRUE(fitted.height >= 1 && fitted.height <= boxHeight && fitted.height <= height);
                    if (width <= boxWidth && height <= boxHeight) {
                        ASSERT_EQ(fitted, (PictureSize{width, height}));
                        continue;
                    }
                    // The other side within half a pixel of the aspect's
                    // (or 1 where that would be 0).
                    const auto nearest = [](int32_t side, int32_t exactNumerator, int32_t exactDenominator) {
                        return std::abs(2 * side * exactDenominator - 2 * exactNumerator) <= exactDenominator ||
                               (side == 1 && 2 * exactNumerator < exactDenominator);
                    };
                    ASSERT_TRUE((fitted.width == boxWidth && nearest(fitted.height, height * boxWidth, width)) ||
                                (fitted.height == boxHeight && nearest(fitted.width, width * boxHeight, height)));
                }
}

TEST(FitWithin, RefusesSidesBelowOne)
{
    for (const FitCase& c : {FitCase{{0, 10}, {5, 5}, {}}, FitCase{{10, -1}, {5, 5}, {}}, FitCase{{10, 10}, {0, 5}, {}},
                             FitCase{{10, 10}, {5, INT32_MIN}, {}}})
        EXPECT_THROW(FitWithin(c.picture, c.box), std::invalid_argument) << Text(c.picture) << " into " << Text(c.box);
}

// ---------------------------------------------------------------------------
// Shrinking

// The reference, on pictures whose means are worked out by hand.
TEST(ShrinkAreaAverageReference, HandWorkedMeans)
{
    struct Case {
        const char* what;
        RgbaImage source;
        PictureSize target;
        std::vector<uint8_t> expected;  // every channel of every target pixel, one value per pixel
    };
    const auto grey = [](int32_t width, int32_t height, std::vector<uint8_t> values) {
        RgbaImage image{width, height, {}};
        for (const uint8_t value : values) image.pixels.insert(image.pixels.end(), {value, value, value, value});
        return image;
    };
    const Case cases[] = {
        // 3 → 2: the middle pixel is split in halves: (2·0 + 90) / 3, (90 + 2·200) / 3.
        {"thirds", grey(3, 1, {0, 90, 200}), {2, 1}, {30, 163}},
        {"half rounds up", grey(2, 1, {0, 1}), {1, 1}, {1}},
        {"half rounds up at the top", grey(2, 1, {254, 255}), {1, 1}, {255}},
        {"below half rounds down", grey(2, 2, {10, 20, 30, 41}), {1, 1}, {25}},
        // 3 × 3 → 2 × 2: a target pixel covers a corner pixel whole, two edge
        // middles by half and the centre by a quarter, 2.25 pixels in all:
        // (100 + 10 / 2 + 20 / 2 + 50 / 4) / 2.25 = 56.67, (10 / 2 + 50 / 4) /
        // 2.25 = 7.78, (20 / 2 + 50 / 4) / 2.25 = 10, (50 / 4) / 2.25 = 5.56.
        {"shared centre", grey(3, 3, {100, 10, 0, 20, 50, 0, 0, 0, 0}), {2, 2}, {57, 8, 10, 6}},
        {"equal sizes", grey(2, 1, {7, 250}), {2, 1}, {7, 250}},
    };
    for (const Case& c : cases) {
        const RgbaImage shrunk = ShrinkAreaAverageReference(c.source, c.target);
        ASSERT_EQ(shrunk.pixels.size(), c.expected.size() * 4) << c.what;
        for (size_t i = 0; i < shrunk.pixels.size(); ++i)
            EXPECT_EQ(int(shrunk.pixels[i]), int(c.expected[i / 4])) << c.what << ": pixel " << i / 4;
    }
}

struct ShrinkCase {
    PictureSize source;
    PictureSize target;
};

std::string Text(const ShrinkCase& c) { return Text(c.source) + " to " + Text(c.target); }

class ShrinkerMatchesReference : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(ShrinkerMatchesReference, FedRgbaRows)
{
    const auto [source, target] = GetParam();
    const RgbaImage image = RandomPicture(source.width, source.height, static_cast<uint32_t>(source.width * 7919 + source.height));
    EXPECT_TRUE(SamePicture(ShrinkAreaAverage(image, target), ShrinkAreaAverageReference(image, target)));
}

TEST_P(ShrinkerMatchesReference, FedBgrRows)
{
    const auto [source, target] = GetParam();
    const RgbaImage image = WithOpaqueAlpha(RandomPicture(source.width, source.height, 11));
    AreaShrinker shrinker(source, target);
    for (int32_t y = 0; y < source.height; ++y) shrinker.AddRowBgr(BgrRow(image, y).data());
    EXPECT_TRUE(SamePicture(shrinker.Finish(), ShrinkAreaAverageReference(image, target)));
}

// Opaque BGR rows and translucent RGBA rows taking turns, in runs of one to
// three, so that target rows mix both.
TEST_P(ShrinkerMatchesReference, FedMixedRows)
{
    const auto [source, target] = GetParam();
    RgbaImage image = RandomPicture(source.width, source.height, 23);
    AreaShrinker shrinker(source, target);
    for (int32_t y = 0; y < source.height; ++y) {
        if (y % 6 < 3) {
            for (int32_t x = 0; x < source.width; ++x) image.pixels[(static_cast<size_t>(y) * source.width + x) * 4 + 3] = 255;
            shrinker.AddRowBgr(BgrRow(image, y).data());
        } else {
            shrinker.AddRowRgba(image.Pixel(0, y));
        }
    }
    EXPECT_TRUE(SamePicture(shrinker.Finish(), ShrinkAreaAverageReference(image, target)));
}

INSTANTIATE_TEST_SUITE_P(
    AwkwardSizes, ShrinkerMatchesReference,
    ::testing::Values(ShrinkCase{{1, 1}, {1, 1}}, ShrinkCase{{13, 11}, {13, 11}},    // equal sizes
                      ShrinkCase{{6, 4}, {3, 2}}, ShrinkCase{{9, 6}, {6, 4}},        // 2:1, 3:2
                      ShrinkCase{{7, 7}, {3, 3}}, ShrinkCase{{7, 5}, {3, 2}},        // 7 → 3
                      ShrinkCase{{53, 47}, {29, 31}}, ShrinkCase{{61, 59}, {37, 2}},  // primes
                      ShrinkCase{{17, 19}, {1, 1}}, ShrinkCase{{200, 150}, {1, 150}}, ShrinkCase{{16, 16}, {15, 1}},
                      ShrinkCase{{64, 48}, {63, 47}},                                 // barely smaller
                      ShrinkCase{{101, 3}, {7, 1}}, ShrinkCase{{3, 97}, {1, 13}},    // wide, tall
                      ShrinkCase{{31, 7}, {2, 7}}, ShrinkCase{{40, 30}, {9, 5}}, ShrinkCase{{12, 9}, {5, 4}}),
    [](const ::testing::TestParamInfo<ShrinkCase>& info) {
        return Text(info.param.source) + "_to_" + Text(info.param.target);
    });

TEST(AreaShrinker, EqualSizesGiveTheSourceUnchanged)
{
    const RgbaImage image = RandomPicture(37, 23, 5);
    EXPECT_TRUE(SamePicture(ShrinkAreaAverage(image, {37, 23}), image));
}

// Sizes whose target pixels cover more than 2^23 units (2897 source pixels
// each way, with no common divisor), where the sums take 64 bits.
TEST(AreaShrinker, LargeDivisorsMatchTheReference)
{
    const RgbaImage image = WithOpaqueAlpha(RandomPicture(2897, 2897, 3));
    AreaShrinker shrinker({2897, 2897}, {5, 3});
    for (int32_t y = 0; y < image.height; ++y) shrinker.AddRowBgr(BgrRow(image, y).data());
    EXPECT_TRUE(SamePicture(shrinker.Finish(), ShrinkAreaAverageReference(image, {5, 3})));
}

// Means a hair either side of a half, where an inexact rounding step would
// go wrong first: just below at the largest divisor of the 32-bit sums, just
// above at a divisor of the 64-bit ones whose sums pass 2^32. One target
// pixel over a source of value k whose first pixels are k + 1, as many as
// make the sum k × area + extra.
TEST(AreaShrinker, RoundingNextToAHalf)
{
    struct Case {
        PictureSize source;
        uint8_t value;
        uint64_t extra;
        int expected;
    };
    const uint64_t narrowArea = uint64_t{2895} * 2897;  // just below 2^23
    const uint64_t wideArea = uint64_t{4139} * 4133;    // 254.5 × this > 2^32
    const Case cases[] = {
        {{2895, 2897}, 100, (narrowArea - 1) / 2, 100},
        {{4139, 4133}, 254, (wideArea + 1) / 2, 255},
    };
    for (const Case& c : cases) {
        AreaShrinker shrinker(c.source, {1, 1});
        const auto width = static_cast<uint64_t>(c.source.width);
        std::vector<uint8_t> row(width * 3);
        for (uint64_t y = 0; y < static_cast<uint64_t>(c.source.height); ++y) {
            const uint64_t raised = std::min(width, c.extra - std::min(c.extra, y * width));
            std::fill(row.begin(), row.end(), c.value);
            std::fill_n(row.begin(), raised * 3, static_cast<uint8_t>(c.value + 1));
            shrinker.AddRowBgr(row.data());
        }
        EXPECT_EQ(int(shrinker.Finish().pixels[0]), c.expected) << Text(c.source) << " + " << c.extra;
    }
}

TEST(AreaShrinker, RefusesSizesOutOfBounds)
{
    const ShrinkCase cases[] = {
        {{10, 10}, {11, 10}}, {{10, 10}, {10, 11}},            // enlarging
        {{10, 10}, {0, 5}},   {{10, 10}, {5, -1}},             // empty target
        {{0, 10}, {0, 10}},   {{-5, 10}, {1, 1}},              // empty source
        {{16385, 10}, {100, 10}}, {{10, 16385}, {10, 100}},    // beyond the largest side
    };
    for (const ShrinkCase& c : cases) {
        EXPECT_THROW(AreaShrinker(c.source, c.target), std::invalid_argument) << Text(c);
        EXPECT_THROW(ShrinkAreaAverageReference(Filled(std::max(c.source.width, 0), std::max(c.source.height, 0), 0), c.target),
                     std::invalid_argument) << Text(c);
    }
    EXPECT_NO_THROW(AreaShrinker({16384, 16384}, {1, 1}));
    EXPECT_THROW(ShrinkAreaAverage(RgbaImage{4, 4, std::vector<uint8_t>(60)}, {2, 2}), std::invalid_argument);
}

TEST(AreaShrinker, RowsMustBeExactlyTheSourceHeight)
{
    const std::vector<uint8_t> row(4 * 4, 9);
    AreaShrinker early({4, 3}, {2, 2});
    early.AddRowRgba(row.data());
    early.AddRowBgr(row.data());
    EXPECT_THROW(early.Finish(), std::logic_error);

    AreaShrinker complete({4, 3}, {2, 2});
    for (int y = 0; y < 3; ++y) complete.AddRowRgba(row.data());
    EXPECT_THROW(complete.AddRowRgba(row.data()), std::logic_error);
    EXPECT_THROW(complete.AddRowBgr(row.data()), std::logic_error);
    const RgbaImage shrunk = complete.Finish();
    EXPECT_TRUE(SamePicture(shrunk, Filled(2, 2, 9)));
    EXPECT_THROW(complete.Finish(), std::logic_error);
    EXPECT_THROW(complete.AddRowRgba(row.data()), std::logic_error);
}

}  // namespace
