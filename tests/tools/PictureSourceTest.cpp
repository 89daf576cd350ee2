// PictureSource: converted pictures are stored as picture entries, read back
// with the saver's own loader and compared with what each depth promises;
// the quantiser, the grey ramps, the stride and file loading.

#include "tools/authoring/PictureSource.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/PixelBuffers.h"
#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<int, 3>;

RgbaImage MakeImage(int32_t width, int32_t height, const std::function<std::array<uint8_t, 4>(int32_t, int32_t)>& pixel)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            image.pixels.insert(image.pixels.end(), p.begin(), p.end());
        }
    return image;
}

Rgb SourceRgb(const RgbaImage& image, int32_t x, int32_t y)
{
    const uint8_t* p = image.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

// A picture of `colours` random colours in runs of 8 pixels, so that LZSS
// can pack it.
RgbaImage RunsOfColours(int32_t width, int32_t height, size_t colours, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::array<uint8_t, 4>> set;
    std::set<uint32_t> seen;
    while (set.size() < colours) {
        const uint32_t value = random() & 0xFFFFFF;
        if (seen.insert(value).second)
            set.push_back({static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value), 255});
    }
    return MakeImage(width, height, [&](int32_t x, int32_t y) {
        // Every colour appears: the first pixels run through the set.
        const size_t k = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) / 8;
        return set[k < colours ? k : (k * 7 + static_cast<size_t>(y)) % colours];
    });
}

// Stores an entry as picture 1 of an archive and loads it with the saver's
// loader.
void LoadBack(const Bytes& entry, DirectBmpControl& buffer, PictureDepth depth)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, entry});
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, writer.Build()), 0);
    ASSERT_TRUE(LoadPicture(archive, PictureLocator{0, 0}, buffer, depth, PictureParts::Whole, nullptr));
    ResClose(archive);
}

void LoadBack(const ConvertedPicture& picture, PictureStorage storage, DirectBmpControl& buffer,
              PictureDepth depth = PictureDepth::Force32)
{
    LoadBack(BuildPictureEntry(picture.Fields(storage), picture.palette, picture.rows), buffer, depth);
}

// Red, green, blue of a loaded 32-bit pixel; alpha must be 255.
Rgb LoadedRgb(const DirectBmpControl& buffer, int32_t x, int32_t y)
{
    const uint8_t* p = buffer.Rows[y] + 4 * x;
    EXPECT_EQ(p[3], 255) << "alpha at (" << x << ", " << y << ")";
    return {p[2], p[1], p[0]};
}

// Compares every loaded pixel with expected(x, y); reports the first few
// differences.
void ExpectLoaded(const DirectBmpControl& buffer, const RgbaImage& image, const std::function<Rgb(int32_t, int32_t)>& expected)
{
    ASSERT_EQ(buffer.BitsPerPixel, 32);
    ASSERT_EQ(buffer.Width, image.width);
    ASSERT_EQ(buffer.Height, image.height);
    int mismatches = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const Rgb want = expected(x, y), got = LoadedRgb(buffer, x, y);
            if (want != got && ++mismatches <= 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): expected " << want[0] << "," << want[1] << "," << want[2]
                              << " got " << got[0] << "," << got[1] << "," << got[2];
        }
    EXPECT_EQ(mismatches, 0);
}

PictureConversion Conversion(int depth, PaletteChoice palette = PaletteChoice::Quantise, Dithering dithering = Dithering::None)
{
    PictureConversion conversion;
    conversion.depth = depth;
    conversion.palette = palette;
    conversion.dithering = dithering;
    return conversion;
}

// The loader widens 5- and 6-bit fields by repeating their top bits.
int Widen(int value, int bits)
{
    return value << (8 - bits) | value >> (2 * bits - 8);
}

// ---------------------------------------------------------------------------
// Direct colour depths

TEST(PictureSourceTest, DirectColourDepthsComeBackThroughTheLoader)
{
    const RgbaImage image = RunsOfColours(37, 21, 300, 11);
    struct Case {
        int depth;
        PictureStorage storage;
    };
    for (const Case c : {Case{32, PictureStorage::Raw}, Case{32, PictureStorage::Lzss}, Case{32, PictureStorage::Zlib},
                         Case{24, PictureStorage::Raw}, Case{24, PictureStorage::Lzss}, Case{16, PictureStorage::Raw},
                         Case{16, PictureStorage::Lzss}}) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + ", storage " + std::to_string(static_cast<int>(c.storage)));
        const ConvertedPicture picture = ConvertPicture(image, Conversion(c.depth));
        EXPECT_TRUE(picture.palette.empty());
        DirectBmpControl buffer;
        LoadBack(picture, c.storage, buffer);
        if (c.depth == 16) {
            // Each channel rounded to its nearest 5- or 6-bit level.
            ExpectLoaded(buffer, image, [&](int32_t x, int32_t y) {
                const Rgb source = SourceRgb(image, x, y);
                return Rgb{Widen(static_cast<int>(std::lround(source[0] * 31 / 255.0)), 5),
                           Widen(static_cast<int>(std::lround(source[1] * 63 / 255.0)), 6),
                           Widen(static_cast<int>(std::lround(source[2] * 31 / 255.0)), 5)};
            });
        } else {
            ExpectLoaded(buffer, image, [&](int32_t x, int32_t y) { return SourceRgb(image, x, y); });
        }
    }
}

TEST(PictureSourceTest, EverySixteenBitPixelSurvivesLoadingAndConvertingAgain)
{
    // All 65536 words: widened by the loader, then reduced again, they must
    // come back unchanged, so the rounding never drifts by a level.
    ConvertedPicture original;
    original.depth = 16;
    original.width = 256;
    original.height = 256;
    original.stride = 512;
    original.rows.resize(512 * 256);
    for (uint32_t word = 0; word < 65536; ++word) WriteLe16(original.rows.data() + 2 * word, static_cast<uint16_t>(word));
    DirectBmpControl buffer;
    LoadBack(original, PictureStorage::Raw, buffer);
    const RgbaImage loaded = MakeImage(256, 256, [&](int32_t x, int32_t y) {
        const uint8_t* p = buffer.Rows[y] + 4 * x;
        return std::array<uint8_t, 4>{p[2], p[1], p[0], p[3]};
    });
    EXPECT_EQ(ConvertPicture(loaded, Conversion(16)).rows, original.rows);
}

// ---------------------------------------------------------------------------
// Palette depths

TEST(PictureSourceTest, QuantisedPicturesWithFewColoursKeepThemExactly)
{
    struct Case {
        int depth;
        size_t colours;
        PictureStorage storage;
    };
    for (const Case c : {Case{1, 1, PictureStorage::Raw}, Case{1, 2, PictureStorage::Raw}, Case{4, 16, PictureStorage::Raw},
                         Case{4, 5, PictureStorage::Lzss}, Case{8, 256, PictureStorage::Raw}, Case{8, 256, PictureStorage::Lzss},
                         Case{8, 3, PictureStorage::Raw}})
        for (const Dithering dithering : {Dithering::None, Dithering::FloydSteinberg}) {
            SCOPED_TRACE("depth " + std::to_string(c.depth) + ", " + std::to_string(c.colours) + " colours" +
                         (dithering == Dithering::None ? "" : ", dithered"));
            const RgbaImage image = RunsOfColours(45, 52, c.colours, static_cast<uint32_t>(c.colours));
            const ConvertedPicture picture = ConvertPicture(image, Conversion(c.depth, PaletteChoice::Quantise, dithering));
            EXPECT_EQ(picture.palette.size(), size_t{4} << c.depth);
            DirectBmpControl buffer;
            LoadBack(picture, c.storage, buffer);
            ExpectLoaded(buffer, image, [&](int32_t x, int32_t y) { return SourceRgb(image, x, y); });
        }
}

TEST(PictureSourceTest, GreyPalettesAreTheRampsOfThePixelBuffer)
{
    // Every grey level, then colours taken by their luma.
    const std::vector<std::array<uint8_t, 4>> colours = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {10, 200, 90, 255}};
    const RgbaImage image = MakeImage(16, 17, [&](int32_t x, int32_t y) {
        if (y == 16) return x < 4 ? colours[static_cast<size_t>(x)] : std::array<uint8_t, 4>{0, 0, 0, 255};
        const auto level = static_cast<uint8_t>(16 * y + x);
        return std::array<uint8_t, 4>{level, level, level, 255};
    });
    const int luma[4] = {76, 150, 29, 131};  // 0.299 r + 0.587 g + 0.114 b, rounded

    for (const int depth : {1, 4, 8}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        DirectBmpControl ramp;
        ASSERT_TRUE(ramp.Allocate(1, 1, PixelFormatOfBits(depth)));
        const ConvertedPicture picture = ConvertPicture(image, Conversion(depth, PaletteChoice::Grey));
        ASSERT_EQ(picture.palette.size(), size_t{4} << depth);
        for (size_t i = 0; i < (size_t{1} << depth); ++i)
            EXPECT_EQ(Bytes(picture.palette.begin() + static_cast<ptrdiff_t>(4 * i), picture.palette.begin() + static_cast<ptrdiff_t>(4 * i + 3)),
                      Bytes(ramp.Palette[i], ramp.Palette[i] + 3))
                << "entry " << i;

        // The nearest level of the ramp, the darker one on ties.
        auto nearest = [&](int grey) {
            int best = ramp.Palette[0][0];
            for (int i = 1; i < ramp.PaletteCount; ++i)
                if (std::abs(ramp.Palette[i][0] - grey) < std::abs(best - grey)) best = ramp.Palette[i][0];
            return best;
        };
        DirectBmpControl buffer;
        LoadBack(picture, PictureStorage::Raw, buffer);
        ExpectLoaded(buffer, image, [&](int32_t x, int32_t y) {
            const int grey = y < 16 ? 16 * y + x : x < 4 ? luma[x] : 0;
            const int level = nearest(grey);
            return Rgb{level, level, level};
        });
    }
    // Ties and edges of the 4-bit ramp, spelt out.
    const ConvertedPicture fourBits = ConvertPicture(image, Conversion(4, PaletteChoice::Grey));
    auto indexAt = [&](int grey) { return fourBits.rows[static_cast<size_t>(grey / 16) * fourBits.stride + static_cast<size_t>(grey % 16) / 2] >> (grey % 2 == 0 ? 4 : 0) & 15; };
    EXPECT_EQ(indexAt(8), 0);
    EXPECT_EQ(indexAt(9), 1);
    EXPECT_EQ(indexAt(239), 14);
    EXPECT_EQ(indexAt(240), 15);
}

TEST(PictureSourceTest, QuantiserFindsClustersAndMapsEachPixelToItsNearestColour)
{
    // 16 colour clusters with noise of ±3 around well separated centres:
    // many more than 16 colours, but 16 entries can hold every cluster.
    std::mt19937 random(5);
    std::vector<Rgb> centres;
    for (int k = 0; k < 16; ++k) centres.push_back({20 + 70 * (k % 4), 20 + 70 * (k / 4), 40 + 12 * k});
    const RgbaImage image = MakeImage(64, 48, [&](int32_t, int32_t) {
        const int k = static_cast<int>(random() % 16);
        std::array<uint8_t, 4> p{};
        for (int c = 0; c < 3; ++c) p[static_cast<size_t>(c)] = static_cast<uint8_t>(centres[static_cast<size_t>(k)][static_cast<size_t>(c)] + static_cast<int>(random() % 7) - 3);
        p[3] = 255;
        return p;
    });
    const ConvertedPicture picture = ConvertPicture(image, Conversion(4));
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const unsigned index = picture.rows[static_cast<size_t>(y) * picture.stride + static_cast<size_t>(x) / 2] >> (x % 2 == 0 ? 4 : 0) & 15;
            const Rgb source = SourceRgb(image, x, y);
            ASSERT_EQ(index, NearestColourReference(picture.palette, source[0], source[1], source[2]));
            const uint8_t* entry = &picture.palette[4 * index];
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(std::abs(entry[2 - c] - source[static_cast<size_t>(c)]), 6) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(PictureSourceTest, QuantisedPhotosAreCloseDeterministicAndNearestMapped)
{
    const Bytes bgr = GradientBgr(96, 64);
    const RgbaImage gradient = MakeImage(96, 64, [&](int32_t x, int32_t y) {
        const uint8_t* p = bgr.data() + 3 * (static_cast<size_t>(y) * 96 + static_cast<size_t>(x));
        return std::array<uint8_t, 4>{p[2], p[1], p[0], 255};
    });
    // Over 32768 colours: the median cut then works on neighbourhoods of
    // colours rather than on single ones.
    std::mt19937 random(8);
    const RgbaImage noisy = MakeImage(208, 192, [&](int32_t x, int32_t y) {
        return std::array<uint8_t, 4>{static_cast<uint8_t>(x * 247 / 207 + static_cast<int>(random() % 9)),
                                      static_cast<uint8_t>(y * 247 / 191 + static_cast<int>(random() % 9)),
                                      static_cast<uint8_t>((x + y) % 160 + static_cast<int>(random() % 9)), 255};
    });
    std::set<uint32_t> distinct;
    for (size_t k = 0; k < noisy.pixels.size(); k += 4)
        distinct.insert(static_cast<uint32_t>(noisy.pixels[k] << 16 | noisy.pixels[k + 1] << 8 | noisy.pixels[k + 2]));
    ASSERT_GT(distinct.size(), 32768u);

    // Bounds on the root mean square error per channel. Evenly spaced
    // palettes of the same size (2-4-2 and 8-8-4 levels) give 58.3 and 16.8
    // on the gradient, 66.4 and 17.0 on the noisy picture.
    struct Case {
        const char* name;
        const RgbaImage& image;
        int depth;
        double bound;
    };
    for (const Case& c : {Case{"gradient", gradient, 4, 24.0}, Case{"gradient", gradient, 8, 5.0},
                          Case{"noisy", noisy, 4, 22.0}, Case{"noisy", noisy, 8, 6.0}}) {
        SCOPED_TRACE(std::string(c.name) + ", depth " + std::to_string(c.depth));
        const ConvertedPicture picture = ConvertPicture(c.image, Conversion(c.depth));
        const ConvertedPicture again = ConvertPicture(c.image, Conversion(c.depth));
        EXPECT_EQ(again.rows, picture.rows);
        EXPECT_EQ(again.palette, picture.palette);
        DirectBmpControl buffer;
        LoadBack(picture, PictureStorage::Raw, buffer);
        double squares = 0;
        for (int32_t y = 0; y < c.image.height; ++y)
            for (int32_t x = 0; x < c.image.width; ++x) {
                const Rgb source = SourceRgb(c.image, x, y), got = LoadedRgb(buffer, x, y);
                // Every pixel of the small picture, a sample of the large one
                // (the plain scan is slow in sanitizer builds).
                if (c.image.width < 100 || (x + y) % 17 == 0) {
                    const unsigned nearest = NearestColourReference(picture.palette, source[0], source[1], source[2]);
                    ASSERT_EQ(got, (Rgb{picture.palette[4 * nearest + 2], picture.palette[4 * nearest + 1], picture.palette[4 * nearest]}));
                }
                for (int ch = 0; ch < 3; ++ch) squares += std::pow(got[static_cast<size_t>(ch)] - source[static_cast<size_t>(ch)], 2);
            }
        const double rms = std::sqrt(squares / (3.0 * c.image.width * c.image.height));
        EXPECT_LT(rms, c.bound);
    }
}

TEST(PictureSourceTest, DitheringKeepsTheToneOfAreas)
{
    // A flat grey of 64 in black and white: a quarter of the pixels white.
    const RgbaImage flat = MakeImage(64, 64, [](int32_t, int32_t) { return std::array<uint8_t, 4>{64, 64, 64, 255}; });
    auto whiteShare = [](const ConvertedPicture& picture) {
        int white = 0;
        for (int32_t y = 0; y < picture.height; ++y)
            for (int32_t x = 0; x < picture.width; ++x)
                white += picture.rows[static_cast<size_t>(y) * picture.stride + static_cast<size_t>(x) / 8] >> (7 - x % 8) & 1;
        return white / double(picture.width * picture.height);
    };
    EXPECT_EQ(whiteShare(ConvertPicture(flat, Conversion(1, PaletteChoice::Grey))), 0.0);
    EXPECT_NEAR(whiteShare(ConvertPicture(flat, Conversion(1, PaletteChoice::Grey, Dithering::FloydSteinberg))), 64 / 255.0, 0.01);

    // A colour ramp in 4 colours: column averages follow the ramp much more
    // closely with dithering.
    const RgbaImage ramp = MakeImage(128, 32, [](int32_t x, int32_t) {
        return std::array<uint8_t, 4>{static_cast<uint8_t>(2 * x), static_cast<uint8_t>(255 - 2 * x), 100, 255};
    });
    auto columnError = [&](Dithering dithering) {
        DirectBmpControl buffer;
        LoadBack(ConvertPicture(ramp, Conversion(4, PaletteChoice::Quantise, dithering)), PictureStorage::Raw, buffer);
        double error = 0;
        for (int32_t x = 0; x < ramp.width; ++x) {
            double red = 0;
            for (int32_t y = 0; y < ramp.height; ++y) red += LoadedRgb(buffer, x, y)[0];
            error += std::abs(red / ramp.height - 2 * x);
        }
        return error / ramp.width;
    };
    const double plain = columnError(Dithering::None), dithered = columnError(Dithering::FloydSteinberg);
    EXPECT_LT(dithered, plain / 2) << "plain " << plain << ", dithered " << dithered;
}

TEST(PictureSourceTest, NearestColourSearchAgreesWithThePlainScan)
{
    std::mt19937 random(17);
    for (const size_t size : {1, 2, 5, 16, 100, 256}) {
        SCOPED_TRACE(size);
        Bytes palette;
        for (size_t i = 0; i < size; ++i) {
            // Every third entry repeats an earlier one, and greens cluster,
            // so that ties and long runs of one green occur.
            if (i % 3 == 2) {
                const size_t earlier = static_cast<size_t>(random()) % i;
                palette.insert(palette.end(), palette.begin() + static_cast<ptrdiff_t>(4 * earlier),
                               palette.begin() + static_cast<ptrdiff_t>(4 * earlier + 4));
            } else {
                palette.insert(palette.end(), {static_cast<uint8_t>(random()), static_cast<uint8_t>(random() % 8 * 32),
                                               static_cast<uint8_t>(random()), 0});
            }
        }
        const NearestColour search(palette);
        for (int k = 0; k < 20000; ++k) {
            const int red = static_cast<int>(random() % 256), green = static_cast<int>(random() % 256), blue = static_cast<int>(random() % 256);
            ASSERT_EQ(search.Find(red, green, blue), NearestColourReference(palette, red, green, blue))
                << red << "," << green << "," << blue;
        }
    }
    // Colours that differ in green alone: a query between two of them is
    // equally far from both, and the lower index must win from either side.
    // Far-off colours in between make the two sides reach them at different
    // rounds of the search.
    for (const uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 greens(seed);
        Bytes palette;
        for (int i = 0; i < 24; ++i)
            palette.insert(palette.end(), {static_cast<uint8_t>(i % 3 == 0 ? 255 : 100), static_cast<uint8_t>(greens() % 64 * 4),
                                           static_cast<uint8_t>(i % 3 == 0 ? 0 : 100), 0});
        const NearestColour search(palette);
        for (int green = 0; green < 256; ++green)
            ASSERT_EQ(search.Find(100, green, 100), NearestColourReference(palette, 100, green, 100)) << "green " << green;
    }
}

// ---------------------------------------------------------------------------
// Layout, transparency and refusals

TEST(PictureSourceTest, RowsArePaddedToThePitchOfABufferOfThatDepth)
{
    for (const int depth : {1, 4, 8, 16, 24, 32})
        for (int32_t width = 1; width <= 33; ++width) {
            SCOPED_TRACE("depth " + std::to_string(depth) + ", width " + std::to_string(width));
            const RgbaImage image = MakeImage(width, 3, [](int32_t x, int32_t y) {
                return std::array<uint8_t, 4>{255, static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 80), 255};
            });
            const ConvertedPicture picture = ConvertPicture(image, Conversion(depth));
            DirectBmpControl buffer;
            ASSERT_TRUE(buffer.Allocate(width, 3, PixelFormatOfBits(depth)));
            ASSERT_EQ(picture.stride, static_cast<uint32_t>(buffer.Pitch));
            ASSERT_EQ(picture.rows.size(), size_t{picture.stride} * 3);
            const size_t used = (static_cast<size_t>(width) * static_cast<size_t>(depth) + 7) / 8;
            for (size_t y = 0; y < 3; ++y)
                for (size_t i = used; i < picture.stride; ++i) ASSERT_EQ(picture.rows[y * picture.stride + i], 0) << "row " << y;

            const PictureEntryFields fields = picture.Fields(PictureStorage::Lzss);
            EXPECT_EQ(fields.depth, depth);
            EXPECT_EQ(fields.paletteCount, depth <= 8 ? 1 << depth : 0);
            EXPECT_EQ(fields.stride, picture.stride);
            EXPECT_EQ(fields.width, width);
            EXPECT_EQ(fields.height, 3);
            EXPECT_EQ(fields.storageKind, 1);
        }
}

TEST(PictureSourceTest, TransparentPixelsAreLaidOverTheBackground)
{
    const RgbaImage image = MakeImage(4, 1, [](int32_t x, int32_t) {
        const uint8_t alpha[4] = {255, 0, 128, 1};
        return std::array<uint8_t, 4>{200, 100, 7, alpha[x]};
    });
    PictureConversion conversion = Conversion(24);
    conversion.background = 0x102030;
    const ConvertedPicture picture = ConvertPicture(image, conversion);
    auto over = [](int colour, int under, int alpha) { return (colour * alpha + under * (255 - alpha) + 127) / 255; };
    const Bytes expected = {7, 100, 200,                                                  // opaque: unchanged
                            0x30, 0x20, 0x10,                                             // clear: the background
                            static_cast<uint8_t>(over(7, 0x30, 128)), static_cast<uint8_t>(over(100, 0x20, 128)),
                            static_cast<uint8_t>(over(200, 0x10, 128)),
                            static_cast<uint8_t>(over(7, 0x30, 1)), static_cast<uint8_t>(over(100, 0x20, 1)),
                            static_cast<uint8_t>(over(200, 0x10, 1))};
    EXPECT_EQ(Bytes(picture.rows.begin(), picture.rows.begin() + 12), expected);
}

TEST(PictureSourceTest, RefusesWhatCannotBeStored)
{
    const RgbaImage small = MakeImage(2, 2, [](int32_t, int32_t) { return std::array<uint8_t, 4>{1, 2, 3, 255}; });
    RgbaImage wide;
    wide.width = MaximumBufferDimension + 1;
    wide.height = 1;
    wide.pixels.resize(static_cast<size_t>(wide.width) * 4);
    RgbaImage empty;
    RgbaImage short_ = small;
    short_.pixels.pop_back();
    struct Case {
        const char* name;
        const RgbaImage& image;
        int depth;
        const char* message;
    };
    for (const Case& c : {Case{"depth 2", small, 2, "depth 2 is not one of"}, Case{"depth 15", small, 15, "depth 15"},
                          Case{"depth 0", small, 0, "depth 0"}, Case{"empty", empty, 24, "picture size 0 x 0"},
                          Case{"too wide", wide, 24, "picture size 16385 x 1"},
                          Case{"bytes", short_, 24, "do not match"}}) {
        SCOPED_TRACE(c.name);
        try {
            ConvertPicture(c.image, Conversion(c.depth));
            ADD_FAILURE() << "accepted";
        } catch (const PictureSourceError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

// ---------------------------------------------------------------------------
// Files

class PictureFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        directory_ = fs::temp_directory_path() /
                     ("picture_source_test_" + std::to_string(std::random_device{}()) + "_" +
                      testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    fs::path Write(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = directory_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static void ExpectRefused(const fs::path& path, const std::string& message)
    {
        try {
            LoadPictureSource(path);
            ADD_FAILURE() << path << " accepted";
        } catch (const PictureSourceError& error) {
            const std::string text = error.what();
            EXPECT_EQ(text.rfind(path.string() + ": ", 0), 0u) << text;
            EXPECT_NE(text.find(message), std::string::npos) << text;
        }
    }
    fs::path directory_;
};

TEST_F(PictureFileTest, PngAndJpegFilesAreKnownByTheirContent)
{
    const int32_t width = 27, height = 19;
    const Bytes bgr = GradientBgr(width, height);

    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(width, height, TPixelFormat::Bits32));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            std::copy_n(bgr.data() + 3 * (static_cast<size_t>(y) * width + static_cast<size_t>(x)), 3, buffer.Rows[y] + 4 * x);
            buffer.Rows[y][4 * x + 3] = 0;
        }
    const Bytes png = EncodeImage(buffer, ImageFileFormat::Png);
    const Bytes jpeg = EncodeTestJpeg(width, height, bgr);
    const DecodedJpeg reference = DecodeTestJpeg(jpeg);

    struct Case {
        const char* name;
        const Bytes& bytes;
        const Bytes& expectedBgr;
    };
    // The names say the other kind: only the content counts.
    for (const Case& c : {Case{"picture.jpg", png, bgr}, Case{"photo.png", jpeg, reference.bgr}}) {
        SCOPED_TRACE(c.name);
        const RgbaImage image = LoadPictureSource(Write(c.name, c.bytes));
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* want = c.expectedBgr.data() + 3 * (static_cast<size_t>(y) * width + static_cast<size_t>(x));
                const uint8_t* got = image.Pixel(x, y);
                ASSERT_EQ((std::array<int, 4>{got[0], got[1], got[2], got[3]}), (std::array<int, 4>{want[2], want[1], want[0], 255}))
                    << "pixel (" << x << ", " << y << ")";
            }
    }
}

TEST_F(PictureFileTest, BadFilesAreRefusedWithTheirName)
{
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(8, 8, TPixelFormat::Bits32));
    const Bytes png = EncodeImage(buffer, ImageFileFormat::Png);
    ExpectRefused(directory_ / "missing.png", "cannot open");
    ExpectRefused(directory_, "is a directory");
    ExpectRefused(Write("notes.png", {'h', 'e', 'l', 'l', 'o'}), "not a picture file of a kind this build reads");
    ExpectRefused(Write("empty.png", {}), "not a picture file of a kind this build reads");
    ExpectRefused(Write("cut.png", Bytes(png.begin(), png.end() - 20)), "PNG: file ends inside the IDAT chunk (truncated)");
    ExpectRefused(Write("bad.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 1, 2}), "JPEG data is damaged");
}

}  // namespace
