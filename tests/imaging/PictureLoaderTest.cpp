#include "imaging/PictureLoader.h"

#include "imaging/PlacePicture.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Pixel = std::array<uint8_t, 4>;  // blue, green, red, alpha

struct Encryption {
    uint32_t keySeed = 0;
    int mode = 0;
};

// Picture-like bytes: a short pattern repeated, with every 13th byte changed.
// LZSS and zlib pack them, and neighbouring bytes differ, so that a byte read
// from the wrong place shows.
Bytes PackableBytes(size_t length, uint32_t seed)
{
    const Bytes noise = PatternBytes(length + 29, seed);
    Bytes bytes(length);
    for (size_t k = 0; k < length; ++k) bytes[k] = k % 13 == 12 ? noise[29 + k] : noise[k % 29];
    return bytes;
}

Pixel PixelAt(const DirectBmpControl& buffer, int x, int y)
{
    const uint8_t* p = buffer.Rows[y] + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

Pixel FromPalette(const Bytes& palette, unsigned index)
{
    if (4 * index + 3 >= palette.size()) return {0, 0, 0, 255};
    return {palette[4 * index], palette[4 * index + 1], palette[4 * index + 2], 255};
}

// Channel widening of 15- and 16-bit pixels: the field's top bits repeated
// below it (31 → 255, 63 → 255, 16 → 132).
uint8_t Replicate(unsigned value, int bits)
{
    return static_cast<uint8_t>(value << (8 - bits) | value >> (2 * bits - 8));
}

// Pixel x of a stored row as a 32-bit pixel, written independently of the
// loader: indices are taken from the bit position x × depth, most significant
// bits first.
Pixel ExpectedPixel(int depth, const uint8_t* row, int x, const Bytes& palette)
{
    if (depth <= 8) {
        const unsigned bit = static_cast<unsigned>(x) * static_cast<unsigned>(depth);
        const unsigned shift = 8 - depth - bit % 8;
        return FromPalette(palette, (row[bit / 8] >> shift) & ((1u << depth) - 1));
    }
    if (depth == 15 || depth == 16) {
        const unsigned word = ReadLe16(row + 2 * x);
        if (depth == 15)
            return {Replicate(word & 31, 5), Replicate(word >> 5 & 31, 5), Replicate(word >> 10 & 31, 5), 255};
        return {Replicate(word & 31, 5), Replicate(word >> 5 & 63, 6), Replicate(word >> 11, 5), 255};
    }
    return {row[3 * x], row[3 * x + 1], row[3 * x + 2], 255};  // 24
}

class PictureLoaderTest : public testing::Test {
protected:
    // Opens an archive with the given picture entries as "SGBm" ids 1, 2, ...
    void Open(const std::vector<Bytes>& entries, Encryption encryption = {})
    {
        ArchiveOptions options;
        options.keySeed = encryption.keySeed;
        options.blockShift = 0;  // 256-byte blocks: reads cross many block borders
        options.interleaveShift = 0;
        ArchiveWriter writer(options);
        uint32_t id = 1;
        for (const Bytes& entry : entries) writer.Add({ResTagPicture, id++, encryption.mode, entry});
        ASSERT_EQ(OpenArchiveBytes(archive_, writer.Build()), 0);
    }

    bool Load(const Bytes& entry, DirectBmpControl& buffer, PictureDepth depth = PictureDepth::AsStored,
              Encryption encryption = {}, uint8_t* header = nullptr)
    {
        Open({entry}, encryption);
        if (testing::Test::HasFatalFailure()) return false;
        return LoadPicture(archive_, PictureLocator{0, 0}, buffer, depth, PictureParts::Whole, header);
    }

    // All rows of a buffer, Pitch bytes each.
    static Bytes RowBytes(const DirectBmpControl& buffer)
    {
        Bytes bytes;
        for (int y = 0; y < buffer.Height; ++y) bytes.insert(bytes.end(), buffer.Rows[y], buffer.Rows[y] + buffer.Pitch);
        return bytes;
    }

    ResArchive archive_;
};

// ---------------------------------------------------------------------------
// Header and refusals.

TEST(PictureHeaderTest, FieldsAreLittleEndianAtTheirOffsets)
{
    const uint8_t bytes[32] = {24, 0xAA, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x80, 0x02, 0xE0, 0x01, 2, 0xEE};
    const PictureHeader header = PictureHeader::Parse(bytes);
    EXPECT_EQ(header.depth, 24);
    EXPECT_EQ(header.paletteCount, 0x1234);
    EXPECT_EQ(header.stride, 0x12345678u);
    EXPECT_EQ(header.width, 640);
    EXPECT_EQ(header.height, 480);
    EXPECT_EQ(header.storageKind, 2);

    PictureEntryFields fields;
    fields.depth = 24;
    fields.paletteCount = 0x1234;
    fields.stride = 0x12345678;
    fields.width = 640;
    fields.height = 480;
    fields.storageKind = 2;
    std::array<uint8_t, 32> expected{};
    std::memcpy(expected.data(), bytes, 13);
    expected[1] = 0;  // the writer leaves the unread bytes 0
    EXPECT_EQ(EncodePictureHeader(fields), expected);
}

TEST_F(PictureLoaderTest, EntriesShorterThanTheHeaderFail)
{
    const Bytes whole = BuildPictureEntry(PictureFieldsFor(24, 1, 1, PictureStorage::Raw), {}, Bytes(4, 9));
    for (size_t size : {size_t{0}, size_t{1}, size_t{31}}) {
        SCOPED_TRACE(size);
        const Bytes entry(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        Open({entry});
        DirectBmpControl buffer;
        uint8_t header[32] = {};
        EXPECT_FALSE(LoadPicture(archive_, {0, 0}, buffer, PictureDepth::AsStored, PictureParts::HeaderOnly, header));
        EXPECT_FALSE(LoadPicture(archive_, {0, 0}, buffer, PictureDepth::AsStored, PictureParts::Whole, header));
        EXPECT_FALSE(PlacePicture(archive_, 1, PlaceMode::CheckOnly, {}));
        EXPECT_EQ(buffer.Bits, nullptr);
    }
}

TEST_F(PictureLoaderTest, HeaderOnlyNeedsNothingBeyondTheHeader)
{
    PictureEntryFields fields = PictureFieldsFor(8, 300, 200, PictureStorage::Lzss);
    const auto headerBytes = EncodePictureHeader(fields);
    Open({Bytes(headerBytes.begin(), headerBytes.end())});
    DirectBmpControl buffer;
    uint8_t header[32] = {};
    ASSERT_TRUE(LoadPicture(archive_, {0, 0}, buffer, PictureDepth::Force32, PictureParts::HeaderOnly, header));
    EXPECT_EQ(0, std::memcmp(header, headerBytes.data(), 32));
    EXPECT_EQ(buffer.Bits, nullptr);
    EXPECT_TRUE(PlacePicture(archive_, 1, PlaceMode::CheckOnly, {}));
    // The whole picture cannot load: the palette and the rows are missing.
    EXPECT_FALSE(LoadPicture(archive_, {0, 0}, buffer, PictureDepth::AsStored, PictureParts::Whole, nullptr));
}

TEST_F(PictureLoaderTest, UnknownStorageKindsFailBeforeAllocating)
{
    for (uint8_t kind : {uint8_t{4}, uint8_t{200}}) {
        SCOPED_TRACE(int{kind});
        PictureEntryFields fields = PictureFieldsFor(24, 4, 4, PictureStorage::Raw);
        fields.storageKind = kind;
        DirectBmpControl buffer;
        EXPECT_FALSE(Load(BuildPictureEntry(fields, {}, Bytes(64, 7)), buffer));
        EXPECT_EQ(buffer.Bits, nullptr);
        EXPECT_EQ(buffer.Rows, nullptr);
        EXPECT_EQ(buffer.BitsPerPixel, 0);
    }
}

TEST_F(PictureLoaderTest, SizesOutsideTheBufferLimitsAreRefused)
{
    struct Case {
        int width, height;
        bool loads;
    };
    for (const Case& c : {Case{0, 4, false}, Case{4, 0, false}, Case{16385, 1, false}, Case{1, 16385, false},
                          Case{16384, 1, true}, Case{1, 16384, true}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        PictureEntryFields fields = PictureFieldsFor(8, c.width, c.height, PictureStorage::Raw);
        fields.paletteCount = 0;
        const Bytes rows(static_cast<size_t>(fields.stride) * c.height, 0x42);
        DirectBmpControl buffer;
        EXPECT_EQ(Load(BuildPictureEntry(fields, {}, rows), buffer), c.loads);
        if (c.loads) {
            EXPECT_EQ(buffer.Rows[c.height - 1][c.width - 1], 0x42);
        } else {
            EXPECT_EQ(buffer.Bits, nullptr);
        }
    }
}

// The memory rule: width x height x 4 bytes (the picture as 32 bits) at most
// MaximumPictureBytes, whatever the depth and storage. Checked on the header,
// so a refused picture never gets a buffer, even one its own depth would keep
// small (1 bit here). Packed data that ends early, as an attacker sends it,
// still loads within the limit.
TEST_F(PictureLoaderTest, PicturesOverTheMemoryLimitAreRefusedBeforeAllocating)
{
    const Bytes jpeg = EncodeTestJpeg(16, 8, GradientBgr(16, 8));
    const Bytes grey = {0, 0, 0, 0, 255, 255, 255, 0};
    struct Case {
        int width, height;
        bool loads;
    };
    for (const Case& c : {Case{8192, 8192, true}, Case{16384, 4096, true}, Case{4096, 16384, true},
                          Case{8193, 8192, false}, Case{8192, 8193, false}, Case{16384, 4097, false},
                          Case{16384, 16384, false}}) {
        for (PictureStorage storage :
             {PictureStorage::Raw, PictureStorage::Lzss, PictureStorage::Zlib, PictureStorage::Jpeg}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " storage " +
                         std::to_string(static_cast<int>(storage)));
            PictureEntryFields fields = PictureFieldsFor(1, c.width, c.height, storage);
            Bytes payload(512, 0x5A);
            if (storage == PictureStorage::Raw) {
                fields.stride = 0;  // the entry holds all its rows: none
                payload.clear();
            }
            if (storage == PictureStorage::Jpeg) {
                fields.depth = 24;
                payload = jpeg;  // 16 x 8: only a refusal on the header's size
            }
            const Bytes entry = BuildPictureEntry(fields, storage == PictureStorage::Jpeg ? Bytes{} : grey, payload);
            if (c.loads) {
                if (storage == PictureStorage::Jpeg) continue;
                DirectBmpControl buffer;  // 1 bit as stored: a few megabytes
                ASSERT_TRUE(Load(entry, buffer));
                EXPECT_EQ(buffer.Width, c.width);
                EXPECT_EQ(buffer.Height, c.height);
                continue;
            }
            for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
                DirectBmpControl buffer;
                EXPECT_FALSE(Load(entry, buffer, depth));
                EXPECT_EQ(buffer.Bits, nullptr);
            }
            DirectBmpControl next;
            ASSERT_TRUE(next.Allocate(8, 8, TPixelFormat::Bits32));
            PlacementTarget target;
            target.nextBuffer = &next;
            target.pictureArea = target.screenRect = next.Bounds;
            EXPECT_FALSE(PlacePicture(archive_, 1, PlaceMode::Load, target));
        }
    }
}

// ---------------------------------------------------------------------------
// Palettes.

TEST_F(PictureLoaderTest, PaletteCountAbove256ReadsTheFirst256AndSkipsTheRest)
{
    PictureEntryFields fields = PictureFieldsFor(8, 3, 1, PictureStorage::Raw);
    fields.paletteCount = 300;  // 44 entries (176 bytes) too many
    const Bytes palette = PatternBytes(300 * 4, 5);
    const Bytes rows = {255, 0, 7, 0};
    const Bytes entry = BuildPictureEntry(fields, palette, rows);

    DirectBmpControl asStored;
    ASSERT_TRUE(Load(entry, asStored));
    EXPECT_EQ(0, std::memcmp(asStored.Palette, palette.data(), 1024));
    EXPECT_EQ(0, std::memcmp(asStored.Rows[0], rows.data(), 3));

    DirectBmpControl converted;
    ASSERT_TRUE(Load(entry, converted, PictureDepth::Force32));
    EXPECT_EQ(PixelAt(converted, 0, 0), FromPalette(palette, 255));
    EXPECT_EQ(PixelAt(converted, 1, 0), FromPalette(palette, 0));
    EXPECT_EQ(PixelAt(converted, 2, 0), FromPalette(palette, 7));
}

TEST_F(PictureLoaderTest, PaletteBeyondTheEntryFails)
{
    PictureEntryFields fields = PictureFieldsFor(4, 2, 1, PictureStorage::Raw);
    DirectBmpControl buffer;
    EXPECT_FALSE(Load(BuildPictureEntry(fields, PatternBytes(10 * 4, 1), {}), buffer));  // 16 entries announced

    fields.paletteCount = 300;  // the skipped part is missing too
    EXPECT_FALSE(Load(BuildPictureEntry(fields, PatternBytes(256 * 4 + 8, 1), {}), buffer));
}

// ---------------------------------------------------------------------------
// Raw rows.

TEST_F(PictureLoaderTest, FourBitByte0x1FGivesPaletteEntries1And15)
{
    const Bytes palette = PatternBytes(16 * 4, 3);
    const Bytes entry = BuildPictureEntry(PictureFieldsFor(4, 2, 1, PictureStorage::Raw), palette, Bytes{0x1F, 0, 0, 0});
    DirectBmpControl buffer;
    ASSERT_TRUE(Load(entry, buffer, PictureDepth::Force32));
    EXPECT_EQ(buffer.BitsPerPixel, 32);
    EXPECT_EQ(PixelAt(buffer, 0, 0), FromPalette(palette, 1));
    EXPECT_EQ(PixelAt(buffer, 1, 0), FromPalette(palette, 15));
}

TEST_F(PictureLoaderTest, EveryDepthConvertsTo32Bits)
{
    for (int depth : {1, 2, 4, 8, 15, 16, 24}) {
        for (int width : {1, 3, 13}) {
            SCOPED_TRACE("depth " + std::to_string(depth) + ", width " + std::to_string(width));
            const int height = 3;
            const PictureEntryFields fields = PictureFieldsFor(depth, width, height, PictureStorage::Raw);
            const Bytes palette = PatternBytes(fields.paletteCount * 4u, 17);
            const Bytes rows = PatternBytes(static_cast<size_t>(fields.stride) * height, static_cast<uint32_t>(depth * 100 + width));
            DirectBmpControl buffer;
            ASSERT_TRUE(Load(BuildPictureEntry(fields, palette, rows), buffer, PictureDepth::Force32));
            ASSERT_EQ(buffer.BitsPerPixel, 32);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(PixelAt(buffer, x, y), ExpectedPixel(depth, rows.data() + y * fields.stride, x, palette))
                        << "pixel " << x << "," << y;
        }
    }
}

TEST_F(PictureLoaderTest, SixteenBitChannelsAreWidenedToFullRange)
{
    struct Case {
        int depth;
        uint16_t word;
        Pixel pixel;
    };
    for (const Case& c : {Case{15, 0x7FFF, {255, 255, 255, 255}}, Case{15, 0x7C00, {0, 0, 255, 255}},
                          Case{15, 0x0001, {8, 0, 0, 255}}, Case{16, 0xFFFF, {255, 255, 255, 255}},
                          Case{16, 0x07E0, {0, 255, 0, 255}}, Case{16, 0x8410, {132, 130, 132, 255}},
                          Case{16, 0x0000, {0, 0, 0, 255}}}) {
        SCOPED_TRACE(c.word);
        Bytes row(4, 0);
        WriteLe16(row.data(), c.word);
        DirectBmpControl buffer;
        ASSERT_TRUE(Load(BuildPictureEntry(PictureFieldsFor(c.depth, 1, 1, PictureStorage::Raw), {}, row), buffer,
                         PictureDepth::Force32));
        EXPECT_EQ(PixelAt(buffer, 0, 0), c.pixel);
    }
}

TEST_F(PictureLoaderTest, RowsAtTheirOwnDepthAreStoredUnchanged)
{
    struct Case {
        int depth;
        int bufferDepth;
    };
    for (const Case& c : {Case{1, 1}, Case{4, 4}, Case{8, 8}, Case{16, 16}, Case{24, 24}, Case{32, 32}, Case{2, 24},
                          Case{15, 24}}) {
        SCOPED_TRACE(c.depth);
        const int width = 7, height = 4;
        const PictureEntryFields fields = PictureFieldsFor(c.depth, width, height, PictureStorage::Raw);
        const Bytes palette = PatternBytes(fields.paletteCount * 4u, 2);
        const Bytes rows = PatternBytes(static_cast<size_t>(fields.stride) * height, 40);
        DirectBmpControl buffer;
        ASSERT_TRUE(Load(BuildPictureEntry(fields, palette, rows), buffer,
                         c.depth == 32 ? PictureDepth::Force32 : PictureDepth::AsStored));
        ASSERT_EQ(buffer.BitsPerPixel, c.bufferDepth);
        ASSERT_GE(static_cast<uint32_t>(buffer.Pitch), fields.stride);
        if (!palette.empty()) {
            EXPECT_EQ(0, std::memcmp(buffer.Palette, palette.data(), palette.size()));
        }
        for (int y = 0; y < height; ++y) {
            EXPECT_EQ(0, std::memcmp(buffer.Rows[y], rows.data() + y * fields.stride, fields.stride)) << "row " << y;
            for (int x = static_cast<int>(fields.stride); x < buffer.Pitch; ++x) EXPECT_EQ(buffer.Rows[y][x], 0);
        }
    }
}

TEST_F(PictureLoaderTest, DepthsWithoutAConversionAreNotLoadedAs32Bits)
{
    for (int depth : {0, 7, 219}) {
        SCOPED_TRACE(depth);
        PictureEntryFields fields = PictureFieldsFor(depth, 8, 4, PictureStorage::Raw);
        fields.stride = 24;  // the pitch of the 24-bit buffer
        fields.paletteCount = 0;
        const Bytes rows(24 * 4, 0x5A);
        DirectBmpControl asStored;
        ASSERT_TRUE(Load(BuildPictureEntry(fields, {}, rows), asStored));  // read into a 24-bit buffer as they are
        EXPECT_EQ(asStored.BitsPerPixel, 24);
        EXPECT_EQ(asStored.Rows[3][23], 0x5A);
        for (PictureStorage storage : {PictureStorage::Raw, PictureStorage::Lzss}) {
            fields.storageKind = static_cast<uint8_t>(storage);
            DirectBmpControl converted;
            EXPECT_FALSE(Load(BuildPictureEntry(fields, {}, rows), converted, PictureDepth::Force32));
        }
    }
}

TEST_F(PictureLoaderTest, StrideBeyondTheRowLengthButWithinThePitch)
{
    // 8 bits, 5 pixels: row length 5, pitch 8.
    for (uint32_t stride : {7u, 8u}) {
        SCOPED_TRACE(stride);
        PictureEntryFields fields = PictureFieldsFor(8, 5, 3, PictureStorage::Raw);
        fields.stride = stride;
        const Bytes palette = PatternBytes(256 * 4, 8);
        const Bytes rows = PatternBytes(stride * 3, 9);
        const Bytes entry = BuildPictureEntry(fields, palette, rows);

        DirectBmpControl asStored;
        ASSERT_TRUE(Load(entry, asStored));
        ASSERT_EQ(asStored.Pitch, 8);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(0, std::memcmp(asStored.Rows[y], rows.data() + y * stride, stride));  // padding keeps the extra bytes
            for (int x = static_cast<int>(stride); x < 8; ++x) EXPECT_EQ(asStored.Rows[y][x], 0);
        }

        DirectBmpControl converted;
        ASSERT_TRUE(Load(entry, converted, PictureDepth::Force32));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(converted, x, y), FromPalette(palette, rows[y * stride + x]));
    }
}

TEST_F(PictureLoaderTest, StrideBeyondThePitchIsOnlyReadWithConversion)
{
    PictureEntryFields fields = PictureFieldsFor(8, 5, 2, PictureStorage::Raw);
    fields.stride = 9;  // pitch 8
    const Bytes palette = PatternBytes(256 * 4, 8);
    const Bytes rows = PatternBytes(18, 9);
    const Bytes entry = BuildPictureEntry(fields, palette, rows);
    DirectBmpControl asStored;
    EXPECT_FALSE(Load(entry, asStored));

    DirectBmpControl converted;
    ASSERT_TRUE(Load(entry, converted, PictureDepth::Force32));
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(converted, x, 1), FromPalette(palette, rows[9 + x]));
}

TEST_F(PictureLoaderTest, StrideShorterThanTheRowReadsMissingBytesAsZero)
{
    PictureEntryFields fields = PictureFieldsFor(24, 3, 2, PictureStorage::Raw);
    fields.stride = 5;  // 9 bytes of pixels per row
    const Bytes rows = PatternBytes(10, 4);
    DirectBmpControl converted;
    ASSERT_TRUE(Load(BuildPictureEntry(fields, {}, rows), converted, PictureDepth::Force32));
    for (int y = 0; y < 2; ++y) {
        Bytes row(rows.begin() + y * 5, rows.begin() + y * 5 + 5);
        row.resize(9, 0);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(converted, x, y), ExpectedPixel(24, row.data(), x, {}));
    }
}

TEST_F(PictureLoaderTest, MissingRowBytesFail)
{
    const PictureEntryFields fields = PictureFieldsFor(24, 4, 3, PictureStorage::Raw);
    Bytes entry = BuildPictureEntry(fields, {}, PatternBytes(fields.stride * 3u, 1));
    entry.pop_back();
    for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
        DirectBmpControl buffer;
        EXPECT_FALSE(Load(entry, buffer, depth));
    }
}

// ---------------------------------------------------------------------------
// Packed rows.

TEST_F(PictureLoaderTest, PackedRowsGiveTheSameBufferAsRawRows)
{
    struct Case {
        int depth, width, height;
    };
    for (const Case& c : {Case{1, 70, 9}, Case{4, 33, 5}, Case{8, 61, 40}, Case{16, 19, 11}, Case{24, 45, 30},
                          Case{32, 64, 20}}) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        const PictureEntryFields raw = PictureFieldsFor(c.depth, c.width, c.height, PictureStorage::Raw);
        const Bytes palette = PatternBytes(raw.paletteCount * 4u, 6);
        const Bytes rows = PackableBytes(static_cast<size_t>(raw.stride) * c.height, static_cast<uint32_t>(c.width));
        DirectBmpControl expected;
        ASSERT_TRUE(Load(BuildPictureEntry(raw, palette, rows), expected));
        for (PictureStorage storage : {PictureStorage::Lzss, PictureStorage::Zlib}) {
            PictureEntryFields packed = raw;
            packed.storageKind = static_cast<uint8_t>(storage);
            DirectBmpControl buffer;
            ASSERT_TRUE(Load(BuildPictureEntry(packed, palette, rows), buffer));
            EXPECT_EQ(RowBytes(buffer), RowBytes(expected)) << "kind " << int{packed.storageKind};
            EXPECT_EQ(0, std::memcmp(buffer.Palette, expected.Palette, sizeof buffer.Palette));
        }
    }
}

// The LZSS path with conversion expands into the tail of the 32-bit buffer and
// converts in place; it must give exactly what raw rows give, including
// pictures whose stride equals the 32-bit pitch (every row overlaps itself)
// and strides that are padded, unpadded or shorter than the row.
TEST_F(PictureLoaderTest, LzssConvertedInPlaceMatchesRawRows)
{
    struct StrideChoice {
        const char* name;
        int64_t change;  // from the well-formed stride; ignored when it leaves the allowed range
    };
    for (int depth : {1, 2, 4, 8, 15, 16, 24}) {
        for (int width : {1, 2, 3, 4, 5, 17, 64}) {
            for (int height : {1, 2, 7}) {
                for (const StrideChoice& choice : {StrideChoice{"padded", 0}, StrideChoice{"extra", 4},
                                                   StrideChoice{"short", -3}}) {
                    PictureEntryFields fields = PictureFieldsFor(depth, width, height, PictureStorage::Raw);
                    const int64_t stride = int64_t{fields.stride} + choice.change;
                    if (stride <= 0 || stride > 4 * width) continue;
                    fields.stride = static_cast<uint32_t>(stride);
                    SCOPED_TRACE("depth " + std::to_string(depth) + ", " + std::to_string(width) + "x" +
                                 std::to_string(height) + ", stride " + std::to_string(stride));
                    const Bytes palette = PatternBytes(fields.paletteCount * 4u, 12);
                    // An 11-byte period: neighbouring bytes differ, and all but tiny pictures pack.
                    const Bytes period = PatternBytes(11, static_cast<uint32_t>(depth));
                    Bytes rows(static_cast<size_t>(stride) * height);
                    for (size_t k = 0; k < rows.size(); ++k) rows[k] = period[k % 11];
                    DirectBmpControl expected;
                    ASSERT_TRUE(Load(BuildPictureEntry(fields, palette, rows), expected, PictureDepth::Force32));

                    fields.storageKind = static_cast<uint8_t>(PictureStorage::Lzss);
                    Bytes entry;
                    try {
                        entry = BuildPictureEntry(fields, palette, rows);
                    } catch (const PictureEntryError&) {
                        continue;  // too small to pack
                    }
                    DirectBmpControl buffer;
                    ASSERT_TRUE(Load(entry, buffer, PictureDepth::Force32));
                    ASSERT_EQ(RowBytes(buffer), RowBytes(expected));
                }
            }
        }
    }
}

TEST_F(PictureLoaderTest, PackedRowsThatCannotFitTheBufferAreRefused)
{
    struct Case {
        const char* name;
        PictureStorage storage;
        PictureDepth depth;
        uint32_t stride;  // 8 bits, 2 × 3 pixels: pitch 4, 32-bit pitch 8
    };
    for (const Case& c : {Case{"lzss", PictureStorage::Lzss, PictureDepth::AsStored, 5},
                          Case{"zlib", PictureStorage::Zlib, PictureDepth::AsStored, 5},
                          Case{"lzss converted", PictureStorage::Lzss, PictureDepth::Force32, 9}}) {
        SCOPED_TRACE(c.name);
        PictureEntryFields fields = PictureFieldsFor(8, 2, 3, c.storage);
        fields.stride = c.stride;
        DirectBmpControl buffer;
        EXPECT_FALSE(Load(BuildPictureEntry(fields, PatternBytes(1024, 1), Bytes(c.stride * 3, 0)), buffer, c.depth));
    }
}

TEST_F(PictureLoaderTest, TruncatedLzssShowsTheRowsItHas)
{
    const int width = 64, height = 64;
    PictureEntryFields fields = PictureFieldsFor(8, width, height, PictureStorage::Lzss);
    const Bytes palette = PatternBytes(1024, 21);
    const Bytes rows = PackableBytes(static_cast<size_t>(fields.stride) * height, 5);
    const Bytes packed = PackPictureLzss(rows);  // length word, then the packed bytes
    const size_t keptPacked = (packed.size() - 4) / 2;
    ASSERT_GT(keptPacked, 512u);

    // The codec pulls the packed bytes in pieces of 512; the piece that comes
    // short is dropped, and expansion ends there with what it has.
    Bytes partial(rows.size(), 0);
    uint32_t produced = 0;
    LzssExpandReference(packed.data() + 4, static_cast<uint32_t>(keptPacked / 512 * 512), partial.data(),
                        static_cast<uint32_t>(partial.size()), produced);
    ASSERT_GT(produced, fields.stride);
    ASSERT_LT(produced, rows.size() - fields.stride);

    Bytes entry = BuildPictureEntry(fields, palette, rows);
    entry.resize(entry.size() - (packed.size() - 4 - keptPacked));  // the length word still claims the whole
    fields.storageKind = static_cast<uint8_t>(PictureStorage::Raw);
    const Bytes partialRaw = BuildPictureEntry(fields, palette, partial);
    for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
        DirectBmpControl expected, buffer;
        ASSERT_TRUE(Load(partialRaw, expected, depth));
        ASSERT_TRUE(Load(entry, buffer, depth));
        EXPECT_EQ(RowBytes(buffer), RowBytes(expected));
    }
}

TEST_F(PictureLoaderTest, CodecFailuresFailTheLoad)
{
    const PictureEntryFields lzss = PictureFieldsFor(8, 8, 4, PictureStorage::Lzss);
    const PictureEntryFields zlib = PictureFieldsFor(8, 8, 4, PictureStorage::Zlib);
    const Bytes palette = PatternBytes(1024, 1);
    const Bytes rows(32, 0x22);
    const Bytes moreRows(40, 0x22);  // one row more than the header's
    const size_t payload = 32 + 1024;

    struct Case {
        const char* name;
        Bytes entry;
    };
    std::vector<Case> cases;
    cases.push_back({"lzss beyond the capacity", BuildPictureEntry(lzss, palette, moreRows)});
    cases.push_back({"zlib beyond the capacity", BuildPictureEntry(zlib, palette, moreRows)});
    Bytes entry = BuildPictureEntry(zlib, palette, rows);
    entry[payload + 4 + 3] ^= 0x55;
    cases.push_back({"zlib damaged", entry});
    entry = BuildPictureEntry(zlib, palette, rows);
    entry.resize(entry.size() - 3);
    cases.push_back({"zlib truncated", entry});
    entry = BuildPictureEntry(zlib, palette, rows);
    WriteLe32(entry.data() + payload, 0);
    cases.push_back({"zlib length 0", entry});
    for (const PictureEntryFields& fields : {lzss, zlib}) {
        entry = BuildPictureEntry(fields, palette, rows);
        entry.resize(payload + 3);
        cases.push_back({"length word cut", entry});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
            DirectBmpControl buffer;
            EXPECT_FALSE(Load(c.entry, buffer, depth));
        }
    }
}

TEST_F(PictureLoaderTest, EncryptedEntriesLoadLikePlainOnes)
{
    const int width = 90, height = 50;
    const Bytes bgr = GradientBgr(width, height);
    std::vector<Bytes> entries;
    for (PictureStorage storage : {PictureStorage::Raw, PictureStorage::Lzss, PictureStorage::Zlib}) {
        PictureEntryFields fields = PictureFieldsFor(8, width, height, storage);
        entries.push_back(BuildPictureEntry(fields, PatternBytes(1024, 3), PackableBytes(fields.stride * height, 4)));
    }
    entries.push_back(BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {},
                                        EncodeTestJpeg(width, height, bgr)));
    for (size_t k = 0; k < entries.size(); ++k) {
        SCOPED_TRACE("entry " + std::to_string(k));
        for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
            DirectBmpControl plain;
            ASSERT_TRUE(Load(entries[k], plain, depth));
            for (int mode : {1, 2, 3}) {
                DirectBmpControl encrypted;
                ASSERT_TRUE(Load(entries[k], encrypted, depth, Encryption{0x5EED, mode})) << "mode " << mode;
                EXPECT_EQ(RowBytes(encrypted), RowBytes(plain)) << "mode " << mode;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// JPEG entries.

Bytes Bgr24Rows(const DirectBmpControl& buffer, int width, int height)
{
    Bytes bgr;
    for (int y = 0; y < height; ++y) bgr.insert(bgr.end(), buffer.Rows[y], buffer.Rows[y] + 3 * width);
    return bgr;
}

TEST_F(PictureLoaderTest, JpegDecodesAsLibjpegDoes)
{
    const int width = 37, height = 23;
    struct Case {
        const char* name;
        JpegEncodeOptions options;
        Bytes samples;
    };
    const Bytes bgr = GradientBgr(width, height);
    Bytes grey(static_cast<size_t>(width) * height);
    for (size_t k = 0; k < grey.size(); ++k) grey[k] = bgr[3 * k + 1];
    for (const Case& c : {Case{"baseline", {JpegColour::Colour, JpegScans::Baseline, 90}, bgr},
                          Case{"grey", {JpegColour::Grey, JpegScans::Baseline, 75}, grey},
                          Case{"progressive", {JpegColour::Colour, JpegScans::Progressive, 60}, bgr}}) {
        SCOPED_TRACE(c.name);
        const Bytes jpeg = EncodeTestJpeg(width, height, c.samples, c.options);
        const DecodedJpeg reference = DecodeTestJpeg(jpeg);
        const Bytes entry = BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {}, jpeg);

        DirectBmpControl buffer;
        ASSERT_TRUE(Load(entry, buffer));
        ASSERT_EQ(buffer.BitsPerPixel, 24);
        EXPECT_EQ(Bgr24Rows(buffer, width, height), reference.bgr);

        DirectBmpControl converted;
        ASSERT_TRUE(Load(entry, converted, PictureDepth::Force32));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* expected = reference.bgr.data() + 3 * (y * width + x);
                const Pixel pixel = PixelAt(converted, x, y);
                ASSERT_EQ(0, std::memcmp(pixel.data(), expected, 3)) << x << "," << y;
            }
    }
}

// A stream whose frame is not the header's size is not the picture the
// header describes: it is refused whole rather than cut or padded to size,
// and before the decoder sets aside memory for the frame it claims.
TEST_F(PictureLoaderTest, JpegOfAnotherSizeThanTheHeaderIsRefused)
{
    const int width = 40, height = 30;
    const Bytes jpeg = EncodeTestJpeg(width, height, GradientBgr(width, height));
    Bytes patched = jpeg;
    SetJpegFrameSize(patched, 16384, 16384);
    struct Case {
        int headerWidth, headerHeight;
        const Bytes* stream;
    };
    for (const Case& c : {Case{45, 27, &jpeg}, Case{36, 36, &jpeg}, Case{20, 10, &jpeg}, Case{50, 40, &jpeg},
                          Case{41, 30, &jpeg}, Case{40, 29, &jpeg}, Case{width, height, &patched}}) {
        SCOPED_TRACE(std::to_string(c.headerWidth) + "x" + std::to_string(c.headerHeight) +
                     (c.stream == &patched ? " patched" : ""));
        const Bytes entry =
            BuildPictureEntry(PictureFieldsFor(24, c.headerWidth, c.headerHeight, PictureStorage::Jpeg), {}, *c.stream);
        for (PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
            DirectBmpControl buffer;
            EXPECT_FALSE(Load(entry, buffer, depth));
        }
    }
    DirectBmpControl buffer;
    EXPECT_TRUE(Load(BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {}, jpeg), buffer));
}

TEST_F(PictureLoaderTest, JpegThatLibjpegCannotDecodeFails)
{
    const int width = 24, height = 16;
    const Bytes good = EncodeTestJpeg(width, height, GradientBgr(width, height));
    Bytes cmykSamples(static_cast<size_t>(width) * height * 4, 0x40);
    struct Case {
        const char* name;
        Bytes jpeg;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"garbage", PatternBytes(600, 77)});
    cases.push_back({"cut inside the headers", Bytes(good.begin(), good.begin() + 100)});
    cases.push_back({"CMYK", EncodeTestJpeg(width, height, cmykSamples, {JpegColour::Cmyk, JpegScans::Baseline, 90})});
    Bytes wide = good;
    SetJpegFrameSize(wide, 16385, height);
    cases.push_back({"wider than 16384", wide});
    Bytes tall = good;
    SetJpegFrameSize(tall, width, 16385);
    cases.push_back({"taller than 16384", tall});
    Bytes empty = good;
    SetJpegFrameSize(empty, 0, height);
    cases.push_back({"width 0", empty});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DirectBmpControl buffer;
        EXPECT_FALSE(Load(BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {}, c.jpeg),
                          buffer));
    }
}

TEST_F(PictureLoaderTest, JpegWithDamagedImageDataShowsWhatLibjpegRecovers)
{
    const int width = 64, height = 48;
    const Bytes good = EncodeTestJpeg(width, height, GradientBgr(width, height));
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 2 / 3));
    const DecodedJpeg reference = DecodeTestJpeg(cut);
    DirectBmpControl buffer;
    ASSERT_TRUE(Load(BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {}, cut), buffer));
    EXPECT_EQ(Bgr24Rows(buffer, width, height), reference.bgr);
}

}  // namespace
