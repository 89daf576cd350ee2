// PngDecoder: PNG files made here by a small encoder of the test's own
// (samples packed at their bit depth, every row filter, zlib, CRCs from zlib,
// Adam7 passes taken from the 8 × 8 pass pattern), decoded and compared
// pixel for pixel with what the samples mean; then damaged files.

#include "tools/authoring/PngDecoder.h"

#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/PngPaeth.h"
#include "tests/support/PngFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace png_files;

// A picture as samples at its bit depth, and everything needed to write it.
struct TestPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t colourType = 0;
    uint8_t bitDepth = 8;
    bool interlaced = false;
    std::vector<uint16_t> samples;  // width × height × channels, row after row
    Bytes palette;                  // PLTE: red, green, blue per entry
    Bytes transparency;             // tRNS as written

    uint16_t Sample(uint32_t x, uint32_t y, int channel) const
    {
        return samples[(size_t{y} * width + x) * static_cast<size_t>(Channels(colourType)) + static_cast<size_t>(channel)];
    }
};

// Which Adam7 pass (1..7) a pixel belongs to, by the pattern repeated over
// the picture in 8 × 8 tiles.
constexpr int Adam7Pattern[8][8] = {
    {1, 6, 4, 6, 2, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7}, {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
    {3, 6, 4, 6, 3, 6, 4, 6}, {7, 7, 7, 7, 7, 7, 7, 7}, {5, 6, 5, 6, 5, 6, 5, 6}, {7, 7, 7, 7, 7, 7, 7, 7},
};

// Raw rows (without filter bytes): the pixels of each row packed at the bit
// depth, most significant bits first, 16-bit samples big-endian.
std::vector<Bytes> PackRows(const TestPicture& picture, const std::vector<std::vector<std::pair<uint32_t, uint32_t>>>& rows)
{
    std::vector<Bytes> packed;
    const int channels = Channels(picture.colourType);
    for (const auto& row : rows) {
        Bytes bytes;
        unsigned bitsUsed = 0;
        for (const auto& [x, y] : row)
            for (int c = 0; c < channels; ++c) {
                const uint16_t sample = picture.Sample(x, y, c);
                if (picture.bitDepth == 16) {
                    bytes.push_back(static_cast<uint8_t>(sample >> 8));
                    bytes.push_back(static_cast<uint8_t>(sample));
                } else if (picture.bitDepth == 8) {
                    bytes.push_back(static_cast<uint8_t>(sample));
                } else {
                    if (bitsUsed % 8 == 0) bytes.push_back(0);
                    bytes.back() = static_cast<uint8_t>(bytes.back() | sample << (8 - picture.bitDepth - bitsUsed % 8));
                    bitsUsed += picture.bitDepth;
                }
            }
        packed.push_back(bytes);
    }
    return packed;
}

// The uncompressed image data: filter byte and filtered bytes per row, pass
// after pass when interlaced (passes without pixels contribute nothing).
Bytes ImageData(const TestPicture& picture, const std::vector<int>& filters)
{
    const int pixelBytes = std::max(1, Channels(picture.colourType) * picture.bitDepth / 8);
    Bytes data;
    for (int pass = picture.interlaced ? 1 : 0; pass <= (picture.interlaced ? 7 : 0); ++pass) {
        std::vector<std::vector<std::pair<uint32_t, uint32_t>>> rows;
        for (uint32_t y = 0; y < picture.height; ++y) {
            std::vector<std::pair<uint32_t, uint32_t>> row;
            for (uint32_t x = 0; x < picture.width; ++x)
                if (pass == 0 || Adam7Pattern[y % 8][x % 8] == pass) row.emplace_back(x, y);
            if (!row.empty()) rows.push_back(row);
        }
        AppendFiltered(data, PackRows(picture, rows), pixelBytes, filters);
    }
    return data;
}

// The usual chunks: IHDR, PLTE, tRNS, the image data in `pieces` IDAT
// chunks, IEND.
std::vector<Chunk> Chunks(const TestPicture& picture, const std::vector<int>& filters = {0, 1, 2, 3, 4}, size_t pieces = 1)
{
    std::vector<Chunk> chunks{
        {"IHDR", HeaderData(picture.width, picture.height, picture.bitDepth, picture.colourType, picture.interlaced)}};
    if (!picture.palette.empty()) chunks.push_back({"PLTE", picture.palette});
    if (!picture.transparency.empty()) chunks.push_back({"tRNS", picture.transparency});
    const Bytes packed = Deflate(ImageData(picture, filters));
    for (size_t k = 0; k < pieces; ++k)
        chunks.push_back({"IDAT", Bytes(packed.begin() + static_cast<ptrdiff_t>(packed.size() * k / pieces),
                                        packed.begin() + static_cast<ptrdiff_t>(packed.size() * (k + 1) / pieces))});
    chunks.push_back({"IEND", {}});
    return chunks;
}

// What a pixel must decode to, from its samples: values below 8 bits scaled
// to 0..255, 16-bit values rounded to the nearest 8-bit level, tRNS applied.
std::array<uint8_t, 4> ExpectedPixel(const TestPicture& picture, uint32_t x, uint32_t y)
{
    const int depth = picture.bitDepth;
    auto level = [depth](uint16_t sample) {
        return static_cast<uint8_t>(std::lround(sample * 255.0 / ((1 << depth) - 1)));
    };
    auto keyOf = [&](int channel) { return picture.transparency[2 * channel] << 8 | picture.transparency[2 * channel + 1]; };
    switch (picture.colourType) {
    case 0: {
        const uint16_t grey = picture.Sample(x, y, 0);
        const bool clear = !picture.transparency.empty() && grey == keyOf(0);
        return {level(grey), level(grey), level(grey), static_cast<uint8_t>(clear ? 0 : 255)};
    }
    case 2: {
        bool clear = !picture.transparency.empty();
        for (int c = 0; c < 3; ++c) clear = clear && picture.Sample(x, y, c) == keyOf(c);
        return {level(picture.Sample(x, y, 0)), level(picture.Sample(x, y, 1)), level(picture.Sample(x, y, 2)),
                static_cast<uint8_t>(clear ? 0 : 255)};
    }
    case 3: {
        const uint16_t index = picture.Sample(x, y, 0);
        const uint8_t alpha = index < picture.transparency.size() ? picture.transparency[index] : 255;
        return {picture.palette[3 * index], picture.palette[3 * index + 1], picture.palette[3 * index + 2], alpha};
    }
    case 4: {
        const uint8_t grey = level(picture.Sample(x, y, 0));
        return {grey, grey, grey, level(picture.Sample(x, y, 1))};
    }
    default:
        return {level(picture.Sample(x, y, 0)), level(picture.Sample(x, y, 1)), level(picture.Sample(x, y, 2)),
                level(picture.Sample(x, y, 3))};
    }
}

void ExpectPixels(const TestPicture& picture, const RgbaImage& image)
{
    ASSERT_EQ(image.width, static_cast<int32_t>(picture.width));
    ASSERT_EQ(image.height, static_cast<int32_t>(picture.height));
    ASSERT_EQ(image.pixels.size(), size_t{picture.width} * picture.height * 4);
    int mismatches = 0;
    for (uint32_t y = 0; y < picture.height; ++y)
        for (uint32_t x = 0; x < picture.width; ++x) {
            const std::array<uint8_t, 4> expected = ExpectedPixel(picture, x, y);
            const uint8_t* got = image.Pixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
            if (!std::equal(expected.begin(), expected.end(), got) && ++mismatches <= 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): expected " << int{expected[0]} << "," << int{expected[1]}
                              << "," << int{expected[2]} << "," << int{expected[3]} << " got " << int{got[0]} << ","
                              << int{got[1]} << "," << int{got[2]} << "," << int{got[3]};
        }
    EXPECT_EQ(mismatches, 0);
}

// Random samples; palette pictures get a random palette of paletteSize
// entries that every index stays inside; tRNS keys are taken from a pixel
// so that some pixels match.
TestPicture RandomPicture(uint32_t width, uint32_t height, uint8_t colourType, uint8_t bitDepth, bool interlaced,
                          bool transparency, uint32_t seed)
{
    std::mt19937 random(seed);
    TestPicture picture;
    picture.width = width;
    picture.height = height;
    picture.colourType = colourType;
    picture.bitDepth = bitDepth;
    picture.interlaced = interlaced;
    const uint32_t maximum = (1u << bitDepth) - 1;
    size_t paletteSize = 0;
    if (colourType == 3) {
        paletteSize = std::min<size_t>(maximum + 1, 200);  // 8-bit pictures: a palette shorter than the index range
        for (size_t k = 0; k < paletteSize * 3; ++k) picture.palette.push_back(static_cast<uint8_t>(random()));
    }
    const size_t count = size_t{width} * height * static_cast<size_t>(Channels(colourType));
    for (size_t k = 0; k < count; ++k) {
        const uint32_t value = colourType == 3 ? random() % paletteSize : random() & maximum;
        // Runs of equal samples, so that the sample-equality of tRNS and the
        // filters meet repeated values too.
        picture.samples.push_back(static_cast<uint16_t>(k % 5 == 4 && k > 0 ? picture.samples[k - 1] : value));
    }
    if (transparency) {
        if (colourType == 3) {
            for (size_t k = 0; k < paletteSize / 2; ++k) picture.transparency.push_back(static_cast<uint8_t>(random()));
        } else {
            const int channels = Channels(colourType);
            const size_t pixel = (size_t{width} * height / 2) * static_cast<size_t>(channels);
            for (int c = 0; c < channels; ++c) {
                picture.transparency.push_back(static_cast<uint8_t>(picture.samples[pixel + static_cast<size_t>(c)] >> 8));
                picture.transparency.push_back(static_cast<uint8_t>(picture.samples[pixel + static_cast<size_t>(c)]));
            }
        }
    }
    return picture;
}

// ---------------------------------------------------------------------------
// Every colour type and bit depth, plain and interlaced.

struct FormatCase {
    uint8_t colourType;
    uint8_t bitDepth;
    bool transparency;
};

std::string FormatName(const FormatCase& c)
{
    return "type" + std::to_string(c.colourType) + "_depth" + std::to_string(c.bitDepth) + (c.transparency ? "_tRNS" : "");
}

void PrintTo(const FormatCase& c, std::ostream* out)
{
    *out << FormatName(c);
}

class PngFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(PngFormatTest, DecodesTheExactPixelsPlainAndInterlaced)
{
    const FormatCase c = GetParam();
    struct Size {
        uint32_t width, height;
    };
    // 1 × 1 and 3 × 2 leave Adam7 passes empty; 13 × 11 has partial tiles and
    // rows that end inside a byte at depths below 8.
    for (const Size size : {Size{1, 1}, Size{3, 2}, Size{13, 11}, Size{33, 17}})
        for (const bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + (interlaced ? " Adam7" : ""));
            const TestPicture picture =
                RandomPicture(size.width, size.height, c.colourType, c.bitDepth, interlaced, c.transparency, size.width * 7 + c.bitDepth);
            // The filters in two orders, so that every filter follows every
            // other one and meets both a zero and a real row above.
            for (const std::vector<int>& filters : {std::vector<int>{0, 1, 2, 3, 4}, std::vector<int>{4, 3, 2, 1}}) {
                SCOPED_TRACE("first filter " + std::to_string(filters[0]));
                ExpectPixels(picture, DecodePng(PngFile(Chunks(picture, filters))));
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PngFormatTest,
                         testing::Values(FormatCase{0, 1, false}, FormatCase{0, 2, false}, FormatCase{0, 4, false},
                                         FormatCase{0, 8, false}, FormatCase{0, 16, false}, FormatCase{0, 2, true},
                                         FormatCase{0, 16, true}, FormatCase{2, 8, false}, FormatCase{2, 16, false},
                                         FormatCase{2, 8, true}, FormatCase{2, 16, true}, FormatCase{3, 1, false},
                                         FormatCase{3, 2, false}, FormatCase{3, 4, true}, FormatCase{3, 8, false},
                                         FormatCase{3, 8, true}, FormatCase{4, 8, false}, FormatCase{4, 16, false},
                                         FormatCase{6, 8, false}, FormatCase{6, 16, false}),
                         [](const testing::TestParamInfo<FormatCase>& info) { return FormatName(info.param); });

// The encoder above filters with the same predictor that the decoder
// unfilters with, so a wrong choice between neighbours would go unseen by the
// round trips: these values are worked out by hand.
TEST(PaethPredictor, PicksTheNearestNeighbourWithTiesToLeftThenAbove)
{
    const struct {
        int left, above, upperLeft;
        uint8_t expected;
    } cases[] = {
        {0, 0, 0, 0},
        {20, 10, 10, 20},       // estimate 20: left exactly
        {10, 20, 10, 20},       // estimate 20: above exactly
        {60, 40, 50, 50},       // estimate 50: the upper-left byte exactly
        {10, 10, 20, 10},       // left and above equally near: left
        {30, 60, 50, 30},       // left and upper-left equally near: left
        {60, 30, 50, 30},       // above and upper-left equally near: above
        {255, 255, 0, 255},     // an estimate far above the byte range
        {0, 0, 255, 0},         // and far below it
        {200, 255, 100, 255},   // estimate 355: above is nearest
    };
    for (const auto& c : cases)
        EXPECT_EQ(PaethPredictor(c.left, c.above, c.upperLeft), c.expected)
            << c.left << " " << c.above << " " << c.upperLeft;
}

TEST(PngDecoderTest, SixteenBitSamplesRoundToTheNearestLevel)
{
    // One row of grey 16-bit samples around the rounding points.
    TestPicture picture;
    picture.width = 9;
    picture.height = 1;
    picture.colourType = 0;
    picture.bitDepth = 16;
    picture.samples = {0, 128, 129, 257, 385, 386, 65406, 65407, 65535};
    const RgbaImage image = DecodePng(PngFile(Chunks(picture)));
    const uint8_t expected[9] = {0, 0, 1, 1, 1, 2, 254, 255, 255};
    for (int x = 0; x < 9; ++x) EXPECT_EQ(image.Pixel(x, 0)[0], expected[x]) << "sample " << picture.samples[static_cast<size_t>(x)];
}

TEST(PngDecoderTest, ChunksAroundTheImageDataAreHandledOrSkipped)
{
    const TestPicture picture = RandomPicture(21, 9, 2, 8, false, false, 5);
    std::vector<Chunk> chunks = Chunks(picture, {1, 4}, 4);
    // Ancillary chunks before and after the image data, a suggested palette
    // (ignored by RGB pictures), an empty IDAT among the others, and bytes
    // after IEND.
    chunks.insert(chunks.begin() + 1, {"gAMA", {0, 0, 0xB1, 0x8F}});
    chunks.insert(chunks.begin() + 2, {"PLTE", {1, 2, 3, 4, 5, 6}});
    chunks.insert(chunks.begin() + 3, {"tEXt", {'a', 0, 'b'}});
    chunks.insert(chunks.begin() + 5, {"IDAT", {}});
    chunks.insert(chunks.end() - 1, {"tIME", {7, 0xE8, 1, 2, 3, 4, 5}});
    Bytes file = PngFile(chunks);
    file.insert(file.end(), {1, 2, 3});
    ExpectPixels(picture, DecodePng(file));
}

TEST(PngDecoderTest, ReadsThePngFilesOfTheImageWriter)
{
    // 32-bit buffers written as RGB PNG: every filter choice the writer makes
    // on mixed content, and odd widths.
    for (const int32_t width : {1, 5, 64, 301}) {
        SCOPED_TRACE(width);
        const int32_t height = 23;
        DirectBmpControl buffer;
        ASSERT_TRUE(buffer.Allocate(width, height, TPixelFormat::Bits32));
        std::mt19937 random(static_cast<uint32_t>(width));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = buffer.Rows[y] + 4 * x;
                const bool noisy = y % 3 == 2;
                p[0] = static_cast<uint8_t>(noisy ? random() : x * 3 + y);
                p[1] = static_cast<uint8_t>(noisy ? random() : x * y);
                p[2] = static_cast<uint8_t>(noisy ? random() : 200 - y);
                p[3] = static_cast<uint8_t>(random());  // not written by the PNG writer
            }
        const RgbaImage image = DecodePng(EncodeImage(buffer, ImageFileFormat::Png));
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = buffer.Rows[y] + 4 * x;
                const uint8_t* q = image.Pixel(x, y);
                ASSERT_EQ((std::array<int, 4>{q[0], q[1], q[2], q[3]}), (std::array<int, 4>{p[2], p[1], p[0], 255}))
                    << "pixel (" << x << ", " << y << ")";
            }
    }
}

// ---------------------------------------------------------------------------
// Refusals: each damaged file is refused with a message naming the problem.

struct DamageCase {
    const char* name;
    Bytes file;
    const char* message;  // part of the expected message
};

void ExpectRefused(const Bytes& file, const std::string& message, const PngDecodeOptions& options = {})
{
    try {
        DecodePng(file, options);
        ADD_FAILURE() << "accepted; expected a refusal mentioning \"" << message << "\"";
    } catch (const PngError& error) {
        EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << "message: " << error.what();
    }
}

std::vector<DamageCase> DamageCases()
{
    const TestPicture picture = RandomPicture(13, 11, 2, 8, false, false, 3);
    const std::vector<Chunk> good = Chunks(picture, {0, 1, 2, 3, 4}, 2);
    const Bytes file = PngFile(good);
    auto with = [&](auto change) {
        std::vector<Chunk> chunks = good;
        change(chunks);
        return PngFile(chunks);
    };
    auto header = [](uint32_t width, uint32_t height, uint8_t depth, uint8_t type, uint8_t interlace = 0) {
        return [=](std::vector<Chunk>& chunks) { chunks[0].data = HeaderData(width, height, depth, type, interlace); };
    };
    const Bytes rawData = ImageData(picture, {0});
    auto withData = [&](const Bytes& data) {
        return with([&](std::vector<Chunk>& chunks) {
            chunks.erase(chunks.begin() + 1, chunks.end() - 1);
            chunks.insert(chunks.end() - 1, {"IDAT", Deflate(data)});
        });
    };

    std::vector<DamageCase> cases;
    Bytes badSignature = file;
    badSignature[1] = 'Q';
    cases.push_back({"signature", badSignature, "no PNG signature"});
    Bytes badCrc = file;
    badCrc[8 + 8 + 13 + 4 + 8 + 5] ^= 0x10;  // a byte inside the first IDAT
    cases.push_back({"crc", badCrc, "IDAT at offset 33 is damaged (CRC mismatch)"});
    Bytes badHeaderCrc = file;
    badHeaderCrc[8 + 8 + 13] ^= 1;
    cases.push_back({"header crc", badHeaderCrc, "IHDR at offset 8 is damaged (CRC mismatch)"});
    cases.push_back({"cut inside a chunk", Bytes(file.begin(), file.begin() + 60), "file ends inside the IDAT chunk (truncated)"});
    cases.push_back({"cut between chunks", Bytes(file.begin(), file.end() - 12), "file ends before the IEND chunk (truncated)"});
    cases.push_back({"cut inside a chunk header", Bytes(file.begin(), file.end() - 8), "file ends inside a chunk header"});
    cases.push_back({"signature only", Bytes(file.begin(), file.begin() + 8), "file ends before the IEND chunk"});
    Bytes notLetters = file;
    notLetters[8 + 4 + 1] = '#';
    cases.push_back({"chunk type", notLetters, "damaged chunk header at offset 8"});

    cases.push_back({"width 0", with(header(0, 5, 8, 2)), "picture size 0 x 5 has no pixels"});
    cases.push_back({"width above the limit", with(header(16385, 1, 8, 2)), "16385 x 1 is too large (at most 16384"});
    cases.push_back({"height far above the limit", with(header(1, 0x7FFFFFFF, 8, 2)), "too large"});
    cases.push_back({"depth of RGB", with(header(13, 11, 4, 2)), "bit depth 4 is not allowed with colour type 2"});
    cases.push_back({"depth of palette", with(header(13, 11, 16, 3)), "bit depth 16 is not allowed with colour type 3"});
    cases.push_back({"colour type", with(header(13, 11, 8, 5)), "unknown colour type 5"});
    cases.push_back({"interlace method", with(header(13, 11, 8, 2, 2)), "unknown interlace method 2"});
    cases.push_back({"header length", with([](std::vector<Chunk>& c) { c[0].data.push_back(0); }), "IHDR has 14 bytes"});
    cases.push_back({"header not first", with([](std::vector<Chunk>& c) { std::swap(c[0], c[1]); }), "the first chunk is IDAT"});
    cases.push_back({"second header", with([](std::vector<Chunk>& c) { c.insert(c.begin() + 1, {"IHDR", HeaderData(13, 11, 8, 2)}); }),
                     "second IHDR"});
    cases.push_back({"critical chunk", with([](std::vector<Chunk>& c) { c.insert(c.begin() + 1, {"ABCD", {1}}); }),
                     "unknown critical chunk ABCD"});
    cases.push_back({"no image data", with([](std::vector<Chunk>& c) { c.erase(c.begin() + 1, c.end() - 1); }),
                     "no image data"});
    cases.push_back({"image data split", with([](std::vector<Chunk>& c) { c.insert(c.begin() + 2, {"tEXt", {'a', 0}}); }),
                     "IDAT chunks are not consecutive"});
    cases.push_back({"no IEND", with([](std::vector<Chunk>& c) { c.pop_back(); }), "before the IEND chunk"});

    Bytes badFilter = rawData;
    badFilter[3 * (1 + 13 * 3)] = 5;  // the filter byte of row 3
    cases.push_back({"filter type", withData(badFilter), "row 3: unknown filter type 5"});
    cases.push_back({"short image data", withData(Bytes(rawData.begin(), rawData.end() - 1)), "truncated"});
    Bytes longer = rawData;
    longer.push_back(0);
    cases.push_back({"long image data", withData(longer), "image data is longer than the picture's rows"});
    cases.push_back({"damaged zlib stream", with([](std::vector<Chunk>& c) { c[1].data[0] = 0x79; }), "image data is damaged (zlib"});
    cases.push_back({"cut zlib stream", with([](std::vector<Chunk>& c) { c[2].data.resize(c[2].data.size() - 2); }), "truncated"});
    cases.push_back({"huge picture with little data", with(header(16384, 16384, 16, 6)), "far too short for 16384 x 16384"});

    // Palette pictures.
    TestPicture indexed = RandomPicture(9, 4, 3, 4, false, false, 8);
    auto indexedWith = [&](auto change) {
        std::vector<Chunk> chunks = Chunks(indexed);
        change(chunks);
        return PngFile(chunks);
    };
    // A palette cut to 15 entries, and index 15 only at row 3, column 5.
    TestPicture outOfRange = indexed;
    for (uint16_t& index : outOfRange.samples) index = index == 15 ? 0 : index;
    outOfRange.samples[3 * 9 + 5] = 15;
    outOfRange.palette.resize(15 * 3);
    cases.push_back({"palette index", PngFile(Chunks(outOfRange)), "row 3: palette index 15 beyond the 15 colours of PLTE"});
    cases.push_back({"no palette", indexedWith([](std::vector<Chunk>& c) { c.erase(c.begin() + 1); }), "palette picture without a PLTE"});
    cases.push_back({"palette length", indexedWith([](std::vector<Chunk>& c) { c[1].data.push_back(0); }), "PLTE has 49 bytes"});
    cases.push_back({"tRNS too long", indexedWith([](std::vector<Chunk>& c) { c.insert(c.begin() + 2, {"tRNS", Bytes(17, 0)}); }),
                     "tRNS has 17 entries for a palette of 16 colours"});
    cases.push_back({"tRNS before PLTE", indexedWith([](std::vector<Chunk>& c) { c.insert(c.begin() + 1, {"tRNS", Bytes(2, 0)}); }),
                     "tRNS chunk before PLTE"});
    cases.push_back({"PLTE after IDAT", indexedWith([](std::vector<Chunk>& c) { std::swap(c[1], c[2]); }), "PLTE chunk after the image data"});
    TestPicture grey = RandomPicture(5, 5, 0, 8, false, false, 9);
    std::vector<Chunk> greyChunks = Chunks(grey);
    greyChunks.insert(greyChunks.begin() + 1, {"PLTE", {1, 2, 3}});
    cases.push_back({"PLTE in grey", PngFile(greyChunks), "PLTE chunk in a grey picture"});
    greyChunks = Chunks(grey);
    greyChunks.insert(greyChunks.begin() + 1, {"tRNS", {0, 1, 2}});
    cases.push_back({"grey tRNS length", PngFile(greyChunks), "tRNS of a grey picture has 3 bytes"});
    TestPicture alpha = RandomPicture(5, 5, 6, 8, false, false, 9);
    std::vector<Chunk> alphaChunks = Chunks(alpha);
    alphaChunks.insert(alphaChunks.begin() + 1, {"tRNS", {0, 1, 0, 1, 0, 1}});
    cases.push_back({"tRNS with alpha", PngFile(alphaChunks), "tRNS chunk in a picture with an alpha channel"});
    return cases;
}

TEST(PngDecoderTest, DamagedFilesAreRefusedWithAMessage)
{
    for (const DamageCase& c : DamageCases()) {
        SCOPED_TRACE(c.name);
        ExpectRefused(c.file, c.message);
    }
}

TEST(PngDecoderTest, PixelLimitAndChecksumSwitch)
{
    const TestPicture picture = RandomPicture(100, 50, 0, 8, false, false, 4);
    const Bytes file = PngFile(Chunks(picture));
    PngDecodeOptions options;
    options.maximumPixels = 4999;
    ExpectRefused(file, "100 x 50 is above the limit of 4999 pixels", options);
    options.maximumPixels = 5000;
    ExpectPixels(picture, DecodePng(file, options));

    // With CRCs unchecked (for fuzzing) a bad CRC passes, nothing else changes.
    Bytes badCrc = file;
    badCrc[8 + 8 + 13] ^= 1;
    options.checkCrc = false;
    ExpectPixels(picture, DecodePng(badCrc, options));
    ExpectRefused(badCrc, "CRC mismatch");
}

}  // namespace
