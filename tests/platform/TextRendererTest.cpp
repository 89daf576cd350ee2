#include "platform/TextRenderer.h"

#ifndef _WIN32
#include "platform/posix/JapaneseFont.h"
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// "必須" and "データ": wide characters of the banner's message.
constexpr std::string_view Kanji = "必須";
constexpr std::string_view Katakana = "データ";

TEST(FontPixelHeight, RoundsPointsAt96DotsPerInch)
{
    const struct {
        int32_t points;
        int32_t pixels;
    } cases[] = {
        {9, 12},  {24, 32},  {22, 29},   {16, 21},  {5, 7},     {4, 5},
        {88, 117}, {96, 128}, {0, 1},    {-3, 1},   {MaximumTextPoints, 2048}, {100000, 2048},
    };
    for (const auto& c : cases) EXPECT_EQ(FontPixelHeight(c.points), c.pixels) << c.points << " points";
    EXPECT_EQ(FontPixelHeight(FormFontPoints), 12);
}

// ------------------------------------------------------------- bitmaps

struct Canvas {
    Canvas(int32_t width, int32_t height, uint32_t pixel,
           TMemoryBitmap::RowOrder order = TMemoryBitmap::RowOrder::BottomUp)
        : bitmap(width, height, TPixelFormat::Bits32, order)
    {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) std::memcpy(bitmap.ScanLine(y) + x * 4, &pixel, 4);
    }

    uint32_t At(int32_t x, int32_t y)
    {
        uint32_t pixel;
        std::memcpy(&pixel, bitmap.ScanLine(y) + x * 4, 4);
        return pixel;
    }

    std::vector<uint32_t> Rows()
    {
        std::vector<uint32_t> all;
        for (int32_t y = 0; y < bitmap.Height(); ++y)
            for (int32_t x = 0; x < bitmap.Width(); ++x) all.push_back(At(x, y));
        return all;
    }

    TMemoryBitmap bitmap;
};

constexpr uint32_t PixelBlack = 0x00000000;  // bytes blue, green, red, alpha

// ------------------------------------------------------------- with the system font

class SystemFontTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        text = MakeTextRenderer();
        if (!text->HasFont()) GTEST_SKIP() << "no Japanese font installed (fonts-ipafont-gothic)";
    }

    std::unique_ptr<TextRenderer> text;
};

TEST_F(SystemFontTest, MeasuresAWholeLineAsTheSumOfItsCharacters)
{
    for (const int32_t points : {FormFontPoints, 24, 96}) {
        const int32_t em = FontPixelHeight(points);
        const TextExtent kanji = text->Measure(Kanji, points);
        const TextExtent katakana = text->Measure(Katakana, points);
        const TextExtent both = text->Measure(std::string(Kanji) + std::string(Katakana), points);
        EXPECT_EQ(both.width, kanji.width + katakana.width) << points;
        EXPECT_EQ(both.height, kanji.height) << points;
        // Japanese gothic faces give wide characters a whole em and a cell a
        // little taller than the em.
        EXPECT_NEAR(kanji.width, 2 * em, 2) << points;
        EXPECT_GE(kanji.height, em) << points;
        EXPECT_LE(kanji.height, em * 3 / 2 + 1) << points;
        EXPECT_EQ(text->Measure("", points).width, 0);
        EXPECT_EQ(text->Measure("", points).height, kanji.height);
    }
    EXPECT_LT(text->Measure(Kanji, 22).width, text->Measure(Kanji, 24).width);
}

TEST_F(SystemFontTest, BytesThatAreNotUtf8MeasureAsReplacementCharacters)
{
    EXPECT_EQ(text->Measure("\xFF\xFE", 24).width, text->Measure("\xEF\xBF\xBD\xEF\xBF\xBD", 24).width);
    EXPECT_GT(text->Measure("\xFF", 24).width, 0);
}

TEST_F(SystemFontTest, DrawsOnlyInsideTheCellWithAntiAliasedEdges)
{
    const int32_t points = 24;
    const TextExtent extent = text->Measure(Kanji, points);
    Canvas canvas(extent.width + 20, extent.height + 20, PixelBlack);
    ASSERT_TRUE(text->Draw(canvas.bitmap, 10, 10, Kanji, points, 0xFFFFFF));

    size_t full = 0;
    size_t partial = 0;
    for (int32_t y = 0; y < canvas.bitmap.Height(); ++y) {
        for (int32_t x = 0; x < canvas.bitmap.Width(); ++x) {
            const uint32_t pixel = canvas.At(x, y);
            const bool inside = x >= 10 && x < 10 + extent.width && y >= 10 && y < 10 + extent.height;
            if (!inside) {
                EXPECT_EQ(pixel, PixelBlack) << x << ", " << y;
                continue;
            }
            const uint8_t level = static_cast<uint8_t>(pixel);
            EXPECT_EQ(pixel, level * 0x00010101u) << "grey, alpha 0 at " << x << ", " << y;
            if (level == 255) ++full;
            if (level > 0 && level < 255) ++partial;
        }
    }
    EXPECT_GT(full, 20u);
    EXPECT_GT(partial, 10u);
}

TEST_F(SystemFontTest, ColoursAreWindowSystemColours)
{
    Canvas canvas(80, 50, PixelBlack);
    ASSERT_TRUE(text->Draw(canvas.bitmap, 0, 0, Kanji, 24, 0x0000FF));  // red as 0x00BBGGRR
    uint8_t maximumRed = 0;
    for (const uint32_t pixel : canvas.Rows()) {
        EXPECT_EQ(pixel & 0xFF00FFFFu, 0u) << std::hex << pixel;  // only the red byte
        maximumRed = std::max(maximumRed, static_cast<uint8_t>(pixel >> 16));
    }
    EXPECT_EQ(maximumRed, 255);
}

TEST_F(SystemFontTest, BlendsWithWhatIsUnderTheText)
{
    // Grey text on a blue bitmap: partly covered pixels lie between the two.
    const uint32_t blue = 0x000000FF;  // pixel order: blue byte first
    Canvas canvas(80, 50, blue);
    ASSERT_TRUE(text->Draw(canvas.bitmap, 0, 0, Kanji, 24, 0x808080));
    bool mixed = false;
    for (const uint32_t pixel : canvas.Rows()) {
        const uint8_t b = static_cast<uint8_t>(pixel), g = static_cast<uint8_t>(pixel >> 8),
                      r = static_cast<uint8_t>(pixel >> 16);
        EXPECT_EQ(g, r);
        EXPECT_GE(b, 0x80);
        EXPECT_LE(r, 0x80);
        if (r > 0 && r < 0x80) mixed = true;
    }
    EXPECT_TRUE(mixed);
}

TEST_F(SystemFontTest, RowOrderOfTheBitmapDoesNotMatter)
{
    Canvas bottomUp(70, 40, PixelBlack, TMemoryBitmap::RowOrder::BottomUp);
    Canvas topDown(70, 40, PixelBlack, TMemoryBitmap::RowOrder::TopDown);
    ASSERT_TRUE(text->Draw(bottomUp.bitmap, 3, 2, Kanji, 24, 0xFFFFFF));
    ASSERT_TRUE(text->Draw(topDown.bitmap, 3, 2, Kanji, 24, 0xFFFFFF));
    EXPECT_EQ(bottomUp.Rows(), topDown.Rows());
    // The ink is in the upper part of the cell, not mirrored to the bottom.
    size_t topInk = 0, bottomInk = 0;
    for (int32_t x = 0; x < 70; ++x) {
        topInk += topDown.At(x, 6) != PixelBlack;
        bottomInk += topDown.At(x, 39) != PixelBlack;
    }
    EXPECT_GT(topInk, 0u);
    EXPECT_EQ(bottomInk, 0u);
}

TEST_F(SystemFontTest, ClipsTextThatRunsOverAnyEdge)
{
    const TextExtent extent = text->Measure(Kanji, 24);
    const struct {
        int32_t x, y;
    } places[] = {{-20, -20}, {-extent.width + 3, 5}, {20, 20}, {-1000000, 0}, {0, 2000000000}, {INT32_MIN, INT32_MIN},
                  {INT32_MAX, INT32_MAX}};
    for (const auto& place : places) {
        Canvas canvas(30, 30, PixelBlack);
        EXPECT_TRUE(text->Draw(canvas.bitmap, place.x, place.y, Kanji, 24, 0xFFFFFF));
        EXPECT_TRUE(text->DrawOpaque(canvas.bitmap, place.x, place.y, Kanji, 24, 0xFFFFFF, 0x102030));
    }
    Canvas canvas(30, 30, PixelBlack);
    ASSERT_TRUE(text->Draw(canvas.bitmap, -20, -20, Kanji, 24, 0xFFFFFF));
    size_t ink = 0;
    for (const uint32_t pixel : canvas.Rows()) ink += pixel != PixelBlack;
    EXPECT_GT(ink, 0u);
}

TEST_F(SystemFontTest, OpaqueTextFillsItsCellWithTheBackground)
{
    const std::string clock = "4294967295";
    const TextExtent extent = text->Measure(clock, FormFontPoints);
    ASSERT_GT(extent.width, 0);
    const uint32_t canvasPixel = 0x00203040;
    Canvas canvas(extent.width + 10, extent.height + 10, canvasPixel);
    const uint32_t background = 0x00112233;  // 0x00BBGGRR: red 0x33, green 0x22, blue 0x11
    ASSERT_TRUE(text->DrawOpaque(canvas.bitmap, 0, 0, clock, FormFontPoints, 0xFFFFFF, background));
    const uint32_t backgroundPixel = 0x00332211;
    size_t backgroundCount = 0;
    for (int32_t y = 0; y < canvas.bitmap.Height(); ++y) {
        for (int32_t x = 0; x < canvas.bitmap.Width(); ++x) {
            const uint32_t pixel = canvas.At(x, y);
            if (x >= extent.width || y >= extent.height) {
                EXPECT_EQ(pixel, canvasPixel) << x << ", " << y;
            } else {
                EXPECT_NE(pixel, canvasPixel) << x << ", " << y;
                backgroundCount += pixel == backgroundPixel;
            }
        }
    }
    EXPECT_GT(backgroundCount, static_cast<size_t>(extent.width * extent.height / 2));
}

TEST_F(SystemFontTest, DrawsNothingIntoBitmapsOtherThan32Bits)
{
    TMemoryBitmap bitmap(40, 40, TPixelFormat::Bits24);
    EXPECT_FALSE(text->Draw(bitmap, 0, 0, Kanji, 24, 0xFFFFFF));
    EXPECT_FALSE(text->DrawOpaque(bitmap, 0, 0, Kanji, 24, 0xFFFFFF, 0x808080));
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t i = 0; i < 40 * 3; ++i) ASSERT_EQ(bitmap.ScanLine(y)[i], 0) << i << ", " << y;
}

// ------------------------------------------------------------- without a font

#ifndef _WIN32
TEST(TextRendererWithoutFont, EstimatesSizesAndDrawsNothing)
{
    const std::vector<std::string> lists[] = {{}, {"/nonexistent/font.ttf", "/dev/null"}};
    for (const auto& files : lists) {
        const std::unique_ptr<TextRenderer> text = MakeTextRenderer(files);
        EXPECT_FALSE(text->HasFont());
        EXPECT_EQ(text->Measure(Kanji, 24).width, 2 * 32);
        EXPECT_EQ(text->Measure("AB", 24).width, 2 * 16);
        EXPECT_EQ(text->Measure("A", 9).width, 6);
        EXPECT_EQ(text->Measure(Katakana, 24).height, 32);
        EXPECT_EQ(text->Measure("", 24).width, 0);

        Canvas canvas(50, 50, 0x00445566);
        EXPECT_FALSE(text->Draw(canvas.bitmap, 0, 0, Kanji, 24, 0xFFFFFF));
        EXPECT_FALSE(text->DrawOpaque(canvas.bitmap, 0, 0, Kanji, 24, 0xFFFFFF, 0));
        for (const uint32_t pixel : canvas.Rows()) ASSERT_EQ(pixel, 0x00445566u);
    }
}

// ------------------------------------------------------------- finding the font

// Ink of each character drawn alone: a font without Japanese glyphs draws
// both as the same missing-glyph box.
bool DrawsDistinctKanji(TextRenderer& text)
{
    Canvas first(40, 40, PixelBlack), second(40, 40, PixelBlack);
    return text.Draw(first.bitmap, 0, 0, "必", 24, 0xFFFFFF) && text.Draw(second.bitmap, 0, 0, "須", 24, 0xFFFFFF) &&
           first.Rows() != second.Rows() && first.Rows() != Canvas(40, 40, PixelBlack).Rows();
}

TEST(JapaneseFont, FontconfigGivesAFileThatDrawsJapanese)
{
    const std::optional<std::string> file = FontconfigJapaneseFont();
    if (!file) GTEST_SKIP() << "fontconfig knows no Japanese font here";
    EXPECT_TRUE(std::filesystem::is_regular_file(*file)) << *file;
    const std::unique_ptr<TextRenderer> text = MakeTextRenderer(std::vector<std::string>{*file});
    ASSERT_TRUE(text->HasFont()) << *file;
    EXPECT_TRUE(DrawsDistinctKanji(*text)) << *file;
}

TEST(JapaneseFont, KnownFilesComeFirstAndFontconfigOnlyWhenNoneExists)
{
    std::random_device random;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("japanese_font_test_" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    const std::string missing = (folder / "missing.ttf").string();
    const std::string present = (folder / "present.ttf").string();
    std::ofstream(present) << "not a font";

    // One known file is there (even one FreeType cannot load): only the known list.
    const std::vector<std::string> known = {missing, present};
    EXPECT_EQ(JapaneseFontFiles(known), known);

    // None is there: fontconfig's font, when it has one, after them.
    std::vector<std::string> expected = {missing};
    if (const std::optional<std::string> file = FontconfigJapaneseFont()) expected.push_back(*file);
    const std::vector<std::string> files = JapaneseFontFiles(std::vector<std::string>{missing});
    EXPECT_EQ(files, expected);
    if (files.size() == 2) {
        EXPECT_TRUE(MakeTextRenderer(files)->HasFont());
    }
    std::filesystem::remove_all(folder);
}

// The font is opened when text is first measured or drawn, not when the
// renderer is made: a show that never draws text never reads a font. Here
// the file appears only after the renderer was made, and is used.
TEST(JapaneseFont, TheFontIsOpenedOnFirstUse)
{
    const std::optional<std::string> font = FontconfigJapaneseFont();
    if (!font) GTEST_SKIP() << "fontconfig knows no Japanese font here";
    std::random_device random;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("japanese_font_test_" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    const std::string later = (folder / "later.ttf").string();

    const std::unique_ptr<TextRenderer> text = MakeTextRenderer(std::vector<std::string>{later});
    std::filesystem::copy_file(*font, later);
    EXPECT_TRUE(text->HasFont());
    EXPECT_TRUE(DrawsDistinctKanji(*text));
    std::filesystem::remove_all(folder);
}
#endif

}  // namespace
