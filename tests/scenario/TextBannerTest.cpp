#include "scenario/TextBanner.h"

#include "imaging/DirectBmpControl.h"
#include "settings/DisplayTexts.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

struct DrawCall {
    const TBitmap* bitmap;
    int32_t bitmapWidth;
    int32_t bitmapHeight;
    int32_t x;
    int32_t y;
    int32_t points;
    uint32_t colour;
    std::string text;
};

// A renderer whose text is a solid block of the font colour: the cell box
// minus its first column and row, so that the block's edge falls inside a
// 4 × 4 group of the large drawing and the shrink must average it.
class BlockTextRenderer final : public TextRenderer {
public:
    std::function<int32_t(int32_t points)> widthOf = [](int32_t points) { return points * 20; };
    std::function<int32_t(int32_t points)> heightOf = [](int32_t points) { return points + 2; };
    int32_t throwAbovePoints = 0;  // Draw throws std::bad_alloc above this size; 0 for never

    std::vector<int32_t> measured;
    std::vector<std::string> measuredTexts;
    std::vector<DrawCall> draws;

    bool HasFont() const override { return true; }

    TextExtent Measure(std::string_view text, int32_t points) override
    {
        measured.push_back(points);
        measuredTexts.emplace_back(text);
        return {widthOf(points), heightOf(points)};
    }

    bool Draw(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points, uint32_t colour) override
    {
        draws.push_back({&bitmap, bitmap.Width(), bitmap.Height(), x, y, points, colour, std::string(text)});
        if (throwAbovePoints != 0 && points > throwAbovePoints) throw std::bad_alloc();
        const int32_t right = std::min(x + widthOf(points), bitmap.Width());
        const int32_t bottom = std::min(y + heightOf(points), bitmap.Height());
        for (int32_t row = y + 1; row < bottom; ++row) {
            uint8_t* line = bitmap.ScanLine(row);
            for (int32_t column = x + 1; column < right; ++column) {
                line[column * 4] = static_cast<uint8_t>(colour >> 16);
                line[column * 4 + 1] = static_cast<uint8_t>(colour >> 8);
                line[column * 4 + 2] = static_cast<uint8_t>(colour);
                line[column * 4 + 3] = 0;
            }
        }
        return true;
    }

    bool DrawOpaque(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points, uint32_t colour,
                    uint32_t) override
    {
        return Draw(bitmap, x, y, text, points, colour);
    }
};

struct Bgr {
    uint8_t blue, green, red;
    bool operator==(const Bgr&) const = default;
};

Bgr PixelAt(TBitmap& bitmap, int32_t x, int32_t y)
{
    const uint8_t* pixel = bitmap.ScanLine(y) + x * 4;
    return {pixel[0], pixel[1], pixel[2]};
}

constexpr uint32_t Black = 0x000000;
constexpr uint32_t White = 0xFFFFFF;
constexpr std::string_view Message = "必須データが読み込めませんでした";

// ------------------------------------------------------------- geometry

TEST(BannerLimitWidth, IsHalfTheClientWidthUpTo480)
{
    const struct {
        int32_t clientWidth;
        int32_t limit;
    } cases[] = {
        {1024, 480}, {961, 480}, {960, 480}, {959, 479}, {640, 320}, {480, 240},
        {479, 239},  {320, 160}, {1, 0},     {0, 0},     {-7, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(BannerLimitWidth(c.clientWidth), c.limit) << "client " << c.clientWidth;
}

TEST(ChooseBannerPoints, StepsDownByTwoWhileTheMessageIsWider)
{
    BlockTextRenderer text;  // 20 pixels of width per point
    const struct {
        int32_t limit;
        int32_t points;
    } cases[] = {
        {480, 24},  // exactly as wide as the limit: not wider, so it stays
        {479, 22}, {440, 22}, {439, 20}, {320, 16}, {100, 4}, {0, 4},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseBannerPoints("x", c.limit, text), c.points) << "limit " << c.limit;
}

TEST(ChooseBannerPoints, MeasuresEachSizeFrom24DownAndStopsAt4)
{
    BlockTextRenderer text;
    text.widthOf = [](int32_t) { return 100000; };
    EXPECT_EQ(ChooseBannerPoints("x", 480, text), 4);
    EXPECT_EQ(text.measured, (std::vector<int32_t>{24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4}));
}

TEST(MakeTextBanner, SizeFollowsTheMessageAtTheChosenSize)
{
    const struct {
        int clientWidth;
        int32_t points;  // with 20 pixels per point: the largest size not wider than the limit
    } cases[] = {{1024, 24}, {640, 16}, {300, 6}, {20, 4}};
    for (const auto& c : cases) {
        BlockTextRenderer text;
        const auto banner = MakeTextBanner(Message, c.clientWidth, Black, White, text);
        ASSERT_NE(banner, nullptr);
        EXPECT_EQ(banner->PixelFormat(), TPixelFormat::Bits32);
        EXPECT_EQ(banner->Width(), c.points * 20 + 8) << "client " << c.clientWidth;
        EXPECT_EQ(banner->Height(), c.points + 2 + 8) << "client " << c.clientWidth;
        ASSERT_EQ(text.draws.size(), 1u);
        const DrawCall& large = text.draws[0];
        EXPECT_EQ(large.points, c.points * 4);
        EXPECT_EQ(large.bitmapWidth, banner->Width() * 4);
        EXPECT_EQ(large.bitmapHeight, banner->Height() * 4);
        EXPECT_EQ(large.x, 16);
        EXPECT_EQ(large.y, 16);
        EXPECT_EQ(large.colour, White);
    }
}

// ------------------------------------------------------------- drawing

TEST(MakeTextBanner, ShrinksTheLargeDrawingByAreaAveraging)
{
    BlockTextRenderer text;
    const auto banner = MakeTextBanner(Message, 1024, Black, White, text);
    // The block starts one large pixel into the 4 × 4 group of banner pixel
    // (4, 4): 9 of its 16 samples are white, 3 of 4 along an edge.
    EXPECT_EQ(PixelAt(*banner, 4, 4), (Bgr{143, 143, 143}));
    EXPECT_EQ(PixelAt(*banner, 4, 10), (Bgr{191, 191, 191}));
    EXPECT_EQ(PixelAt(*banner, 10, 4), (Bgr{191, 191, 191}));
    EXPECT_EQ(PixelAt(*banner, 10, 10), (Bgr{255, 255, 255}));
    EXPECT_EQ(PixelAt(*banner, 3, 10), (Bgr{0, 0, 0}));
    EXPECT_EQ(PixelAt(*banner, 0, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(PixelAt(*banner, banner->Width() - 1, banner->Height() - 1), (Bgr{0, 0, 0}));
}

TEST(MakeTextBanner, TakesWindowSystemColours)
{
    BlockTextRenderer text;
    const uint32_t darkRed = 0x000080;  // 0x00BBGGRR
    const uint32_t paleBlue = 0xFFC080;
    const auto banner = MakeTextBanner(Message, 1024, darkRed, paleBlue, text);
    EXPECT_EQ(PixelAt(*banner, 0, 0), (Bgr{0x00, 0x00, 0x80}));
    EXPECT_EQ(PixelAt(*banner, 10, 10), (Bgr{0xFF, 0xC0, 0x80}));
    ASSERT_EQ(text.draws.size(), 1u);
    EXPECT_EQ(text.draws[0].colour, paleBlue);
}

// ------------------------------------------------------------- fall-back

void ExpectDirectDrawing(const TMemoryBitmap& banner, const BlockTextRenderer& text, int32_t points,
                         size_t drawsBefore)
{
    ASSERT_EQ(text.draws.size(), drawsBefore + 1);
    const DrawCall& direct = text.draws.back();
    EXPECT_EQ(direct.bitmap, &banner);
    EXPECT_EQ(direct.x, 4);
    EXPECT_EQ(direct.y, 4);
    EXPECT_EQ(direct.points, points);
}

TEST(MakeTextBanner, DrawsDirectlyWhenTheLargeDrawingThrows)
{
    BlockTextRenderer text;
    text.throwAbovePoints = 24;
    const auto banner = MakeTextBanner(Message, 640, 0x00FF00, White, text);
    EXPECT_EQ(banner->Width(), 16 * 20 + 8);
    EXPECT_EQ(banner->Height(), 16 + 2 + 8);
    ExpectDirectDrawing(*banner, text, 16, 1);
    // Filled with the form colour, then hard-edged text: no smoothing.
    EXPECT_EQ(PixelAt(*banner, 0, 0), (Bgr{0x00, 0xFF, 0x00}));
    EXPECT_EQ(PixelAt(*banner, 4, 10), (Bgr{0x00, 0xFF, 0x00}));
    EXPECT_EQ(PixelAt(*banner, 5, 10), (Bgr{0xFF, 0xFF, 0xFF}));
}

TEST(MakeTextBanner, MeasuresAndDrawsTheCallersMessageOnEveryPath)
{
    for (const UserLanguage language : {UserLanguage::Japanese, UserLanguage::English}) {
        const std::string_view message = TextIn(DisplayText::MissingDataBanner, language);
        for (const int32_t throwAbove : {0, 24}) {  // smoothed, then drawn directly after a failure
            BlockTextRenderer text;
            text.throwAbovePoints = throwAbove;
            MakeTextBanner(message, 640, Black, White, text);
            ASSERT_FALSE(text.draws.empty());
            for (const std::string& measured : text.measuredTexts) EXPECT_EQ(measured, message);
            for (const DrawCall& draw : text.draws) EXPECT_EQ(draw.text, message);
        }
    }
}

TEST(MakeTextBanner, DrawsDirectlyWhenTheLargeBitmapWouldExceedTheLargestBuffer)
{
    BlockTextRenderer text;
    text.widthOf = [](int32_t) { return 5000; };  // still too wide at 4 points
    const auto banner = MakeTextBanner(Message, 1024, Black, White, text);
    EXPECT_EQ(banner->Width(), 5008);  // × 4 is beyond MaximumBufferDimension
    ExpectDirectDrawing(*banner, text, 4, 0);
    EXPECT_EQ(PixelAt(*banner, 100, 7), (Bgr{255, 255, 255}));
}

TEST(MakeTextBanner, KeepsTheFirstSizeForATextNoBitmapCouldHold)
{
    BlockTextRenderer text;
    text.widthOf = [](int32_t) { return 2000000000; };
    const auto banner = MakeTextBanner(Message, 1024, Black, White, text);
    EXPECT_EQ(banner->Width(), 480);
    EXPECT_EQ(banner->Height(), 120);
    ExpectDirectDrawing(*banner, text, 4, 0);
}

// ------------------------------------------------------------- real text

TEST(MakeTextBanner, RealFontGivesSmoothedLegibleLettersInBothLanguages)
{
    const std::unique_ptr<TextRenderer> text = MakeTextRenderer();
    if (!text->HasFont()) GTEST_SKIP() << "no Japanese font installed (fonts-ipafont-gothic)";

    for (const UserLanguage language : {UserLanguage::Japanese, UserLanguage::English}) {
        SCOPED_TRACE(language == UserLanguage::Japanese ? "Japanese" : "English");
        const std::string_view message = TextIn(DisplayText::MissingDataBanner, language);
        const auto banner = MakeTextBanner(message, 1024, Black, White, *text);
        EXPECT_LE(banner->Width(), 480 + 8);
        EXPECT_GT(banner->Width(), 240);
        size_t between = 0;
        size_t white = 0;
        for (int32_t y = 0; y < banner->Height(); ++y) {
            for (int32_t x = 0; x < banner->Width(); ++x) {
                const Bgr pixel = PixelAt(*banner, x, y);
                ASSERT_TRUE(pixel.blue == pixel.green && pixel.green == pixel.red) << x << ", " << y;
                if (pixel.red == 255) ++white;
                if (pixel.red > 0 && pixel.red < 255) ++between;
            }
        }
        EXPECT_GT(white, 100u);
        EXPECT_GT(between, 100u);
        for (int32_t x = 0; x < banner->Width(); ++x) EXPECT_EQ(PixelAt(*banner, x, 0), (Bgr{0, 0, 0})) << x;

        const auto narrow = MakeTextBanner(message, 640, Black, White, *text);
        EXPECT_LE(narrow->Width(), 320 + 8);
    }
}

}  // namespace
