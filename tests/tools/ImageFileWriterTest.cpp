// ImageFileWriter: PAM byte for byte; PNG taken apart with a decoder of its
// own here (chunks, CRCs from zlib, inflate, the five row filters undone),
// so that no image library is needed to check it.

#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/PngPaeth.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

uint32_t ReadBe32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

// A 32-bit buffer whose bytes (blue, green, red, alpha per pixel) come from
// `bytes`, row after row.
void Fill32(DirectBmpControl& buffer, int32_t width, int32_t height, const std::vector<uint8_t>& bytes)
{
    ASSERT_TRUE(buffer.Allocate(width, height, TPixelFormat::Bits32));
    ASSERT_EQ(bytes.size(), static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y)
        std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(y) * width * 4, width * 4, buffer.Rows[y]);
}

// Picture content that makes the encoder choose different row filters:
// flat rows, horizontal and vertical ramps, diagonal ramps, and noise.
std::vector<uint8_t> MixedPicture(int32_t width, int32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < height; ++y) {
        const int kind = y % 5;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t b = 0, g = 0, r = 0;
            switch (kind) {
            case 0: b = 40, g = 80, r = 120; break;
            case 1: b = static_cast<uint8_t>(x * 3), g = static_cast<uint8_t>(x * 5), r = static_cast<uint8_t>(x * 7); break;
            case 2: b = static_cast<uint8_t>(y * 9), g = static_cast<uint8_t>(y), r = static_cast<uint8_t>(200 - y); break;
            case 3: b = static_cast<uint8_t>(x + y), g = static_cast<uint8_t>(2 * x + y), r = static_cast<uint8_t>(x * y); break;
            default:
                b = static_cast<uint8_t>(random()), g = static_cast<uint8_t>(random()), r = static_cast<uint8_t>(random());
                break;
            }
            bytes.insert(bytes.end(), {b, g, r, static_cast<uint8_t>(random())});
        }
    }
    return bytes;
}

struct DecodedPng {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;        // rows of width × 3 bytes, top first
    std::set<int> filtersSeen;       // row filter types found in the data
    size_t idatChunks = 0;
};

// Decodes the 8-bit RGB, non-interlaced PNGs that the writer makes; every
// structural fault is a test failure.
DecodedPng DecodeRgbPng(const std::vector<uint8_t>& file)
{
    DecodedPng png;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(file.size() >= 8 && std::equal(signature, signature + 8, file.begin())) << "signature";
    std::vector<std::string> order;
    std::vector<uint8_t> compressed;
    for (size_t at = 8; at < file.size();) {
        if (file.size() - at < 12) {
            ADD_FAILURE() << "truncated chunk at " << at;
            return png;
        }
        const uint32_t length = ReadBe32(&file[at]);
        if (length > file.size() - at - 12) {
            ADD_FAILURE() << "chunk length " << length << " past the end at " << at;
            return png;
        }
        const std::string type(file.begin() + static_cast<ptrdiff_t>(at) + 4, file.begin() + static_cast<ptrdiff_t>(at) + 8);
        const uint8_t* data = &file[at + 8];
        const uLong crc = crc32(0L, &file[at + 4], length + 4);
        EXPECT_EQ(ReadBe32(data + length), crc) << type << " CRC at " << at;
        if (type == "IHDR") {
            EXPECT_EQ(length, 13u);
            png.width = ReadBe32(data);
            png.height = ReadBe32(data + 4);
            EXPECT_EQ(data[8], 8) << "bit depth";
            EXPECT_EQ(data[9], 2) << "colour type";
            EXPECT_EQ(data[10], 0) << "compression";
            EXPECT_EQ(data[11], 0) << "filter method";
            EXPECT_EQ(data[12], 0) << "interlace";
        } else if (type == "IDAT") {
            EXPECT_TRUE(!order.empty() && (order.back() == "IHDR" || order.back() == "IDAT")) << "IDAT chunks must be consecutive";
            compressed.insert(compressed.end(), data, data + length);
            ++png.idatChunks;
        }
        order.push_back(type);
        at += 12 + length;
    }
    EXPECT_FALSE(order.empty());
    if (order.empty()) return png;
    EXPECT_EQ(order.front(), "IHDR");
    EXPECT_EQ(order.back(), "IEND");
    EXPECT_GT(png.idatChunks, 0u);

    const size_t stride = size_t{png.width} * 3;
    std::vector<uint8_t> filtered((stride + 1) * png.height + 1);  // one spare byte shows excess data
    uLongf filteredLength = static_cast<uLongf>(filtered.size());
    EXPECT_EQ(uncompress(filtered.data(), &filteredLength, compressed.data(), static_cast<uLong>(compressed.size())), Z_OK);
    EXPECT_EQ(filteredLength, (stride + 1) * png.height) << "inflated length";
    if (filteredLength != (stride + 1) * png.height) return png;

    png.rgb.assign(stride * png.height, 0);
    for (size_t y = 0; y < png.height; ++y) {
        const uint8_t filter = filtered[y * (stride + 1)];
        png.filtersSeen.insert(filter);
        EXPECT_LE(filter, 4) << "row " << y;
        const uint8_t* in = &filtered[y * (stride + 1) + 1];
        uint8_t* out = &png.rgb[y * stride];
        const uint8_t* up = y > 0 ? &png.rgb[(y - 1) * stride] : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= 3 ? out[i - 3] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= 3 ? up[i - 3] : 0;
            const int predictor = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? PaethPredictor(a, b, c) : 0;
            out[i] = static_cast<uint8_t>(in[i] + predictor);
        }
    }
    return png;
}

// The buffer's colours as PNG rows: red, green, blue per pixel.
std::vector<uint8_t> RgbOf(const DirectBmpControl& buffer)
{
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < buffer.Height; ++y)
        for (int32_t x = 0; x < buffer.Width; ++x) {
            const uint8_t* pixel = buffer.Rows[y] + 4 * x;
            rgb.insert(rgb.end(), {pixel[2], pixel[1], pixel[0]});
        }
    return rgb;
}

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream input(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

TEST(ImageFileWriterTest, PamHoldsTheBufferBytesAsRgbaExactly)
{
    DirectBmpControl buffer;
    // Blue, green, red, alpha in memory.
    Fill32(buffer, 3, 2,
           {0x01, 0x02, 0x03, 0x04, 0x11, 0x12, 0x13, 0x00, 0xFF, 0x00, 0x80, 0xFF,  //
            0xA0, 0xB0, 0xC0, 0xD0, 0x00, 0x00, 0x00, 0x00, 0xFE, 0xFD, 0xFC, 0x7F});
    const std::string header = "P7\nWIDTH 3\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<uint8_t> expected(header.begin(), header.end());
    expected.insert(expected.end(), {0x03, 0x02, 0x01, 0x04, 0x13, 0x12, 0x11, 0x00, 0x80, 0x00, 0xFF, 0xFF,  //
                                     0xC0, 0xB0, 0xA0, 0xD0, 0x00, 0x00, 0x00, 0x00, 0xFC, 0xFD, 0xFE, 0x7F});
    EXPECT_EQ(EncodeImage(buffer, ImageFileFormat::Pam), expected);
}

// Sizes from one pixel to a picture whose compressed data spans several
// IDAT chunks; the content makes every row filter worth choosing somewhere.
TEST(ImageFileWriterTest, PngDecodesToTheBufferColours)
{
    struct Case {
        int32_t width;
        int32_t height;
        bool manyChunks;
    } const cases[] = {{1, 1, false}, {2, 7, false}, {37, 23, false}, {480, 320, true}};
    std::set<int> filtersSeen;
    for (const Case& c : cases) {
        DirectBmpControl buffer;
        Fill32(buffer, c.width, c.height, MixedPicture(c.width, c.height, static_cast<uint32_t>(c.width)));
        const DecodedPng png = DecodeRgbPng(EncodeImage(buffer, ImageFileFormat::Png));
        EXPECT_EQ(png.width, static_cast<uint32_t>(c.width));
        EXPECT_EQ(png.height, static_cast<uint32_t>(c.height));
        EXPECT_TRUE(png.rgb == RgbOf(buffer)) << c.width << " x " << c.height;
        if (c.manyChunks) {
            EXPECT_GT(png.idatChunks, 1u) << c.width << " x " << c.height;
        }
        filtersSeen.insert(png.filtersSeen.begin(), png.filtersSeen.end());
    }
    // The decoder above undoes filters; this shows that it had several to undo.
    EXPECT_GE(filtersSeen.size(), 3u);
}

// Alpha stays out of the PNG: a picture with alpha 0 everywhere (as JPEG
// pictures load) gives the same file as the same colours with alpha 255.
TEST(ImageFileWriterTest, PngLeavesAlphaOut)
{
    std::vector<uint8_t> bytes = MixedPicture(16, 9, 5);
    for (size_t i = 3; i < bytes.size(); i += 4) bytes[i] = 0;
    DirectBmpControl transparent;
    Fill32(transparent, 16, 9, bytes);
    for (size_t i = 3; i < bytes.size(); i += 4) bytes[i] = 255;
    DirectBmpControl opaque;
    Fill32(opaque, 16, 9, bytes);
    EXPECT_EQ(EncodeImage(transparent, ImageFileFormat::Png), EncodeImage(opaque, ImageFileFormat::Png));
}

TEST(ImageFileWriterTest, BuffersOtherThan32BitAreRefused)
{
    DirectBmpControl empty;
    DirectBmpControl bits24;
    ASSERT_TRUE(bits24.Allocate(4, 4, TPixelFormat::Bits24));
    DirectBmpControl bits8;
    ASSERT_TRUE(bits8.Allocate(4, 4, TPixelFormat::Bits8));
    for (const DirectBmpControl* buffer : {&empty, &bits24, &bits8})
        for (ImageFileFormat format : {ImageFileFormat::Png, ImageFileFormat::Pam})
            EXPECT_THROW(EncodeImage(*buffer, format), ImageFileError) << int(buffer->BitsPerPixel);
}

TEST(ImageFileWriterTest, FormatFollowsTheExtension)
{
    struct Case {
        const char* name;
        std::optional<ImageFileFormat> format;
    } const cases[] = {
        {"out.png", ImageFileFormat::Png}, {"dir/OUT.PNG", ImageFileFormat::Png}, {"a.b.pam", ImageFileFormat::Pam},
        {"x.Pam", ImageFileFormat::Pam},   {"out.ppm", std::nullopt},             {"png", std::nullopt},
        {".png.txt", std::nullopt},        {"out.png/", std::nullopt},            {"out", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ImageFileFormatFor(c.name), c.format) << c.name;
}

class ImageFileWriteTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("image_writer_test_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(folder_);
        Fill32(buffer_, 21, 13, MixedPicture(21, 13, 9));
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Names of everything in the folder, to see that no temporary file stays.
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(folder_)) names.insert(item.path().filename().string());
        return names;
    }

    fs::path folder_;
    DirectBmpControl buffer_;
};

TEST_F(ImageFileWriteTest, WritesTheEncodedBytesAndReplacesAnOldFile)
{
    for (ImageFileFormat format : {ImageFileFormat::Png, ImageFileFormat::Pam}) {
        const fs::path path = folder_ / (format == ImageFileFormat::Png ? "out.png" : "out.pam");
        std::ofstream(path, std::ios::binary) << "an older, longer file that must be replaced whole ......";
        WriteImageFile(path, buffer_, format);
        EXPECT_EQ(ReadFile(path), EncodeImage(buffer_, format));
    }
    EXPECT_EQ(Listing(), (std::set<std::string>{"out.png", "out.pam"}));
}

TEST_F(ImageFileWriteTest, FailuresLeaveNoFileBehindAndTheOldOneIntact)
{
    const fs::path existing = folder_ / "keep.png";
    std::ofstream(existing, std::ios::binary) << "old";
    DirectBmpControl bits24;
    ASSERT_TRUE(bits24.Allocate(2, 2, TPixelFormat::Bits24));
    EXPECT_THROW(WriteImageFile(existing, bits24, ImageFileFormat::Png), ImageFileError);
    EXPECT_EQ(ReadFile(existing), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // A folder of that name cannot be replaced by a file.
    fs::create_directories(folder_ / "taken.pam");
    EXPECT_THROW(WriteImageFile(folder_ / "taken.pam", buffer_, ImageFileFormat::Pam), ImageFileError);

    try {
        WriteImageFile(folder_ / "missing" / "out.png", buffer_, ImageFileFormat::Png);
        ADD_FAILURE() << "writing into a missing folder succeeded";
    } catch (const ImageFileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("out.png"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_EQ(Listing(), (std::set<std::string>{"keep.png", "taken.pam"}));
    EXPECT_TRUE(fs::is_empty(folder_ / "taken.pam"));
}

}  // namespace
