#include "imaging/DirectBmpControl.h"

#include "tests/support/PixelBuffers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RowBytes(const DirectBmpControl& buffer, int row)
{
    return Bytes(buffer.Rows[row], buffer.Rows[row] + buffer.Pitch);
}

// A buffer of one format whose memory is set to a marker byte, so that every
// byte an operation does not write can be seen.
void AllocateMarked(DirectBmpControl& buffer, int32_t width, int32_t height, TPixelFormat format, uint8_t marker)
{
    ASSERT_TRUE(buffer.Allocate(width, height, format));
    std::memset(buffer.Bits, marker, static_cast<size_t>(buffer.Pitch) * static_cast<size_t>(height));
}

TEST(ToPixelOrder, ExchangesRedAndBlueKeepingTheOtherBytes)
{
    static_assert(ToPixelOrder(0) == 0);
    static_assert(ToPixelOrder(0x000000FF) == 0x00FF0000);
    static_assert(ToPixelOrder(0x12345678) == 0x12785634);
}

// ---------------------------------------------------------------- layout

struct LayoutCase {
    TPixelFormat format;
    int32_t width;
    uint8_t bitsPerPixel;
    uint32_t pixelMask;
    uint8_t pixelCode;
    uint8_t bytesPerPixel;
    uint8_t pixelsPerByte;
    int32_t paletteCount;
    int32_t pitch;
};

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, AllocateSetsDepthFieldsAndPitch)
{
    const LayoutCase& c = GetParam();
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(c.width, 3, c.format));
    EXPECT_EQ(buffer.BitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(buffer.PixelMask, c.pixelMask);
    EXPECT_EQ(buffer.PixelCode, c.pixelCode);
    EXPECT_EQ(buffer.BytesPerPixel, c.bytesPerPixel);
    EXPECT_EQ(buffer.PixelsPerByte, c.pixelsPerByte);
    EXPECT_EQ(buffer.PaletteCount, c.paletteCount);
    EXPECT_EQ(buffer.Pitch, c.pitch);
    EXPECT_EQ(buffer.Width, c.width);
    EXPECT_EQ(buffer.Height, 3);
    EXPECT_EQ(buffer.RowCapacity, 3);
    EXPECT_EQ(buffer.Bounds, (TRect{0, 0, c.width, 3}));
    // Owned rows are top-down and contiguous.
    for (int row = 0; row < 3; ++row) EXPECT_EQ(buffer.Rows[row], buffer.Bits + row * c.pitch);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, LayoutTest,
    testing::Values(
        LayoutCase{TPixelFormat::Bits1, 5, 1, 0x1, 3, 1, 8, 2, 4},  // 1-byte row padded to 4
        LayoutCase{TPixelFormat::Bits1, 32, 1, 0x1, 3, 1, 8, 2, 4},
        LayoutCase{TPixelFormat::Bits1, 33, 1, 0x1, 3, 1, 8, 2, 8},
        LayoutCase{TPixelFormat::Bits4, 9, 4, 0xF, 1, 1, 2, 16, 8},  // 5 bytes
        LayoutCase{TPixelFormat::Bits4, 8, 4, 0xF, 1, 1, 2, 16, 4},
        LayoutCase{TPixelFormat::Bits8, 4, 8, 0xFF, 0, 1, 1, 256, 4},
        LayoutCase{TPixelFormat::Bits8, 5, 8, 0xFF, 0, 1, 1, 256, 8},
        LayoutCase{TPixelFormat::Bits15, 3, 15, 0x7FFF, 2, 2, 1, 0, 8},
        LayoutCase{TPixelFormat::Bits16, 2, 16, 0xFFFF, 2, 2, 1, 0, 4},
        LayoutCase{TPixelFormat::Bits24, 1, 24, 0xFFFFFF, 3, 3, 1, 0, 4},  // 3 bytes padded to 4
        LayoutCase{TPixelFormat::Bits24, 4, 24, 0xFFFFFF, 3, 3, 1, 0, 12},
        LayoutCase{TPixelFormat::Bits24, 5, 24, 0xFFFFFF, 3, 3, 1, 0, 16},
        LayoutCase{TPixelFormat::Bits32, 3, 32, 0xFFFFFFFF, 4, 4, 1, 0, 12}));

TEST(UpdateLayout, PitchFollowsAlignMask)
{
    DirectBmpControl buffer;
    uint8_t* rows[1] = {};
    ASSERT_TRUE(buffer.SetFormat(5, 1, TPixelFormat::Bits24, 1, rows));
    buffer.AlignMask = 7;
    buffer.UpdateLayout();
    EXPECT_EQ(buffer.Pitch, 16);
    buffer.AlignMask = 0;
    buffer.UpdateLayout();
    EXPECT_EQ(buffer.Pitch, 15);
    buffer.Rows = nullptr;  // not owned by the buffer: the table is on the stack
}

TEST(UpdateLayout, WritesGreyRampsAndKeepsTheFourthByte)
{
    for (TPixelFormat format : {TPixelFormat::Bits1, TPixelFormat::Bits4, TPixelFormat::Bits8}) {
        SCOPED_TRACE(BitsPerPixelOf(format));
        DirectBmpControl buffer;
        uint8_t* rows[1] = {};
        for (auto& entry : buffer.Palette) entry[3] = 0x5A;
        ASSERT_TRUE(buffer.SetFormat(1, 1, format, 1, rows));
        buffer.UpdateLayout();
        const int count = 1 << BitsPerPixelOf(format);
        ASSERT_EQ(buffer.PaletteCount, count);
        for (int i = 0; i < count; ++i) {
            int level = 0;
            if (format == TPixelFormat::Bits1) level = i == 0 ? 0 : 255;
            if (format == TPixelFormat::Bits4) level = i == 15 ? 255 : i * 16;
            if (format == TPixelFormat::Bits8) level = i;
            EXPECT_EQ(buffer.Palette[i][0], level) << i;
            EXPECT_EQ(buffer.Palette[i][1], level) << i;
            EXPECT_EQ(buffer.Palette[i][2], level) << i;
            EXPECT_EQ(buffer.Palette[i][3], 0x5A) << i;
        }
        buffer.Rows = nullptr;
    }
}

TEST(SetFormat, DeviceDependentAndCustomFormatsFail)
{
    for (TPixelFormat format : {TPixelFormat::Device, TPixelFormat::Custom}) {
        DirectBmpControl buffer;
        uint8_t* rows[2] = {};
        EXPECT_FALSE(buffer.SetFormat(2, 2, format, 2, rows));
        EXPECT_EQ(buffer.BitsPerPixel, 0);
        EXPECT_EQ(buffer.PixelMask, 0u);
        EXPECT_EQ(buffer.PixelCode, 0);
        buffer.Rows = nullptr;
    }
}

// ---------------------------------------------------------------- memory

TEST(Allocate, ClearsThePixelMemory)
{
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(7, 5, TPixelFormat::Bits24));
    const Bytes zero(static_cast<size_t>(buffer.Pitch), 0);
    for (int row = 0; row < 5; ++row) EXPECT_EQ(RowBytes(buffer, row), zero) << row;
}

struct RefusedSize {
    int32_t width;
    int32_t height;
    TPixelFormat format;
};

class AllocateRefusalTest : public testing::TestWithParam<RefusedSize> {};

TEST_P(AllocateRefusalTest, FailsAndLeavesNothingBehind)
{
    const RefusedSize& c = GetParam();
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(4, 4, TPixelFormat::Bits32));  // released by the failing call
    EXPECT_FALSE(buffer.Allocate(c.width, c.height, c.format));
    EXPECT_EQ(buffer.Rows, nullptr);
    EXPECT_EQ(buffer.Bits, nullptr);
    EXPECT_EQ(buffer.BitsPerPixel, 0);
    EXPECT_EQ(buffer.Width, 0);
    EXPECT_EQ(buffer.Height, 0);
    // With no rows left, the operations must do nothing.
    buffer.Fill(0, 10, 0xFFFFFFFF);
    DirectBmpControl other;
    ASSERT_TRUE(other.Allocate(4, 4, TPixelFormat::Bits32));
    Copy(buffer, TRect{0, 0, 4, 4}, other, TRect{0, 0, 4, 4});
    Copy(other, TRect{0, 0, 4, 4}, buffer, TRect{0, 0, 4, 4});
    EXPECT_EQ(Pixel32(other, 0, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AllocateRefusalTest,
                         testing::Values(RefusedSize{0, 1, TPixelFormat::Bits32}, RefusedSize{1, 0, TPixelFormat::Bits32},
                                         RefusedSize{-1, 1, TPixelFormat::Bits32},
                                         RefusedSize{1, -5, TPixelFormat::Bits8},
                                         RefusedSize{MaximumBufferDimension + 1, 1, TPixelFormat::Bits32},
                                         RefusedSize{1, MaximumBufferDimension + 1, TPixelFormat::Bits32},
                                         RefusedSize{std::numeric_limits<int32_t>::max(),
                                                     std::numeric_limits<int32_t>::max(), TPixelFormat::Bits32},
                                         RefusedSize{4, 4, TPixelFormat::Device},
                                         RefusedSize{4, 4, TPixelFormat::Custom}));

TEST(Allocate, AcceptsTheLargestDimension)
{
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(MaximumBufferDimension, 1, TPixelFormat::Bits32));
    EXPECT_EQ(buffer.Pitch, MaximumBufferDimension * 4);
    ASSERT_TRUE(buffer.Allocate(1, MaximumBufferDimension, TPixelFormat::Bits8));
    EXPECT_EQ(buffer.Rows[MaximumBufferDimension - 1], buffer.Bits + (MaximumBufferDimension - 1) * 4);
}

struct MemProcCall {
    void* pointer;
    size_t newSize;
    int32_t context;
};
std::vector<MemProcCall> memProcCalls;

void* RecordingMemProc(void* pointer, size_t newSize, int32_t context)
{
    memProcCalls.push_back({pointer, newSize, context});
    return FreeOnlyMemProc(pointer, newSize, context);
}

TEST(ReleaseMemory, FreesBitsThroughMemProcWhenAsked)
{
    memProcCalls.clear();
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(3, 3, TPixelFormat::Bits32));
    EXPECT_FALSE(buffer.UseMemProc);
    EXPECT_EQ(buffer.MemProc, &FreeOnlyMemProc);
    uint8_t* bits = buffer.Bits;
    buffer.UseMemProc = true;
    buffer.MemProc = RecordingMemProc;
    buffer.MemContext = 42;
    buffer.ReleaseMemory();
    ASSERT_EQ(memProcCalls.size(), 1u);
    EXPECT_EQ(memProcCalls[0].pointer, bits);
    EXPECT_EQ(memProcCalls[0].newSize, 0u);
    EXPECT_EQ(memProcCalls[0].context, 42);
    EXPECT_EQ(buffer.Bits, nullptr);
    EXPECT_EQ(buffer.Rows, nullptr);

    // SetBits frees the block it replaces the same way.
    memProcCalls.clear();
    uint8_t* block = static_cast<uint8_t*>(std::malloc(16));
    buffer.SetBits(block);
    EXPECT_TRUE(memProcCalls.empty());
    buffer.SetBits(nullptr);
    ASSERT_EQ(memProcCalls.size(), 1u);
    EXPECT_EQ(memProcCalls[0].pointer, block);
    EXPECT_EQ(buffer.Bits, nullptr);

    // The next allocation goes back to the buffer's own routine.
    memProcCalls.clear();
    ASSERT_TRUE(buffer.Allocate(2, 2, TPixelFormat::Bits8));
    EXPECT_FALSE(buffer.UseMemProc);
    EXPECT_EQ(buffer.MemProc, &FreeOnlyMemProc);
    EXPECT_EQ(buffer.MemContext, 0);
}

TEST(ReleaseMemory, KeepsARowTableItDoesNotOwn)
{
    uint8_t row0[4] = {};
    uint8_t row1[4] = {};
    uint8_t* rows[2] = {row0, row1};
    {
        DirectBmpControl buffer;
        buffer.OwnsRows = false;
        ASSERT_TRUE(buffer.SetFormat(1, 2, TPixelFormat::Bits32, 2, rows));
        buffer.UpdateLayout();
        buffer.ReleaseMemory();
        EXPECT_EQ(buffer.Rows, rows);
        buffer.Fill(0, 1, 0x11223344);
    }  // destruction must not free the stack table either (the sanitizer would object)
    EXPECT_EQ(row1[3], 0x11);
}

TEST(Allocate, TakesOwnershipOfANewTableLeavingAForeignOneAlone)
{
    uint8_t row0[4] = {};
    uint8_t* rows[1] = {row0};
    DirectBmpControl buffer;
    buffer.OwnsRows = false;
    ASSERT_TRUE(buffer.SetFormat(1, 1, TPixelFormat::Bits32, 1, rows));
    ASSERT_TRUE(buffer.Allocate(2, 2, TPixelFormat::Bits32));
    EXPECT_TRUE(buffer.OwnsRows);
    EXPECT_NE(buffer.Rows, rows);
    EXPECT_EQ(rows[0], row0);
}

TEST(ReleaseHandle, ForgetsTheHandle)
{
    DirectBmpControl buffer;
    int dummy = 0;
    buffer.BitmapHandle = &dummy;
    buffer.ReleaseHandle();
    EXPECT_EQ(buffer.BitmapHandle, nullptr);
}

// ---------------------------------------------------------------- AttachBitmap

class AttachOrderTest : public testing::TestWithParam<TMemoryBitmap::RowOrder> {};

TEST_P(AttachOrderTest, RowZeroIsTheBitmapsTopRow)
{
    TMemoryBitmap bitmap(3, 4, TPixelFormat::Bits32, GetParam());
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, 0, bitmap.Height() - 1));
    EXPECT_EQ(buffer.Bitmap, &bitmap);
    EXPECT_EQ(buffer.Bits, nullptr);
    EXPECT_EQ(buffer.Width, 3);
    EXPECT_EQ(buffer.Height, 4);
    EXPECT_EQ(buffer.RowCapacity, 4);
    EXPECT_EQ(buffer.Pitch, static_cast<int32_t>(bitmap.Stride()));
    for (int row = 0; row < 4; ++row) EXPECT_EQ(buffer.Rows[row], bitmap.ScanLine(row)) << row;

    buffer.Fill(0, 0, 0xA1B2C3D4);
    const uint8_t* top = bitmap.ScanLine(0);
    EXPECT_EQ(top[0], 0xD4);
    EXPECT_EQ(top[3], 0xA1);
    EXPECT_EQ(bitmap.ScanLine(1)[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Orders, AttachOrderTest,
                         testing::Values(TMemoryBitmap::RowOrder::BottomUp, TMemoryBitmap::RowOrder::TopDown));

TEST(AttachBitmap, ClampsTheRowRange)
{
    TMemoryBitmap bitmap(2, 4, TPixelFormat::Bits8);
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, -3, 100));
    for (int row = 0; row < 4; ++row) EXPECT_EQ(buffer.Rows[row], bitmap.ScanLine(row)) << row;

    // Rows left out stay unset and the operations pass over them.
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, 2, 2));
    EXPECT_EQ(buffer.Rows[0], nullptr);
    EXPECT_EQ(buffer.Rows[3], nullptr);
    EXPECT_EQ(buffer.Rows[2], bitmap.ScanLine(2));
    buffer.Fill(0, 3, 0x404040);
    EXPECT_EQ(bitmap.ScanLine(2)[0], 0x40);
    EXPECT_EQ(bitmap.ScanLine(1)[0], 0);
    EXPECT_EQ(bitmap.ScanLine(3)[0], 0);
}

TEST(AttachBitmap, CarriesTheGreyPalette)
{
    TMemoryBitmap bitmap(2, 2, TPixelFormat::Bits8);
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, 0, 1));
    EXPECT_EQ(buffer.PaletteCount, 256);
    EXPECT_EQ(buffer.Palette[0x80][0], 0x80);
    EXPECT_EQ(buffer.Palette[0x80][2], 0x80);
    EXPECT_EQ(buffer.Palette[255][1], 255);
}

TEST(AttachBitmap, ReleasesOwnMemoryOfAnEarlierAllocation)
{
    TMemoryBitmap bitmap(2, 2, TPixelFormat::Bits24);
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(100, 100, TPixelFormat::Bits32));
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, 0, 1));  // the leak checker sees what is not freed
    EXPECT_EQ(buffer.Bits, nullptr);
    EXPECT_EQ(buffer.BitsPerPixel, 24);
}

TEST(AttachBitmap, UnsupportedFormatsFailLeavingNoFormat)
{
    for (TPixelFormat format : {TPixelFormat::Device, TPixelFormat::Custom}) {
        TMemoryBitmap bitmap(2, 2, format);
        DirectBmpControl buffer;
        ASSERT_TRUE(buffer.Allocate(2, 2, TPixelFormat::Bits32));
        EXPECT_FALSE(buffer.AttachBitmap(&bitmap, 0, 1));
        EXPECT_EQ(buffer.BitsPerPixel, 0);
        EXPECT_EQ(buffer.Rows, nullptr);
        EXPECT_EQ(buffer.Bits, nullptr);
        EXPECT_EQ(buffer.Height, 0);
    }
    DirectBmpControl buffer;
    EXPECT_FALSE(buffer.AttachBitmap(nullptr, 0, 0));
}

TEST(AttachBitmap, ForeignRowTableMustHoldEveryRow)
{
    TMemoryBitmap bitmap(2, 4, TPixelFormat::Bits32);
    std::array<uint8_t*, 4> table{};
    DirectBmpControl buffer;
    buffer.OwnsRows = false;
    buffer.Rows = table.data();
    buffer.RowCapacity = 3;
    EXPECT_FALSE(buffer.AttachBitmap(&bitmap, 0, 3));
    EXPECT_EQ(table[0], nullptr);
    EXPECT_EQ(buffer.BitsPerPixel, 0);

    buffer.RowCapacity = 4;
    ASSERT_TRUE(buffer.AttachBitmap(&bitmap, 0, 3));
    EXPECT_EQ(buffer.Rows, table.data());
    EXPECT_EQ(table[3], bitmap.ScanLine(3));
}

// ---------------------------------------------------------------- Fill

struct RowRangeCase {
    int32_t firstRow;
    int32_t lastRow;
    int filledFrom;  // rows filledFrom..filledTo inclusive
    int filledTo;
};

class FillRowsTest : public testing::TestWithParam<RowRangeCase> {};

TEST_P(FillRowsTest, ClampsRowsToTheBuffer)
{
    const RowRangeCase& c = GetParam();
    DirectBmpControl buffer;
    AllocateMarked(buffer, 5, 4, TPixelFormat::Bits8, 0x5A);
    buffer.Fill(c.firstRow, c.lastRow, 0x808080);
    for (int row = 0; row < 4; ++row) {
        const bool filled = row >= c.filledFrom && row <= c.filledTo;
        EXPECT_EQ(RowBytes(buffer, row), Bytes(8, filled ? 0x80 : 0x5A)) << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, FillRowsTest,
                         testing::Values(RowRangeCase{-5, 1, 0, 1}, RowRangeCase{2, 100, 2, 3},
                                         RowRangeCase{-5, 100, 0, 3}, RowRangeCase{1, 1, 1, 1},
                                         RowRangeCase{3, 1, -1, -1}, RowRangeCase{4, 10, -1, -1},
                                         RowRangeCase{-3, -1, -1, -1},
                                         RowRangeCase{std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max(), 0, 3}));

TEST(Fill, ThirtyTwoBitsWholeRowsStoreTheFullValue)
{
    DirectBmpControl buffer;
    AllocateMarked(buffer, 2, 1, TPixelFormat::Bits32, 0x5A);
    ASSERT_TRUE(buffer.FillWholeRows);
    buffer.Fill(0, 0, 0x80102030);
    EXPECT_EQ(RowBytes(buffer, 0), (Bytes{0x30, 0x20, 0x10, 0x80, 0x30, 0x20, 0x10, 0x80}));

    buffer.FillWholeRows = false;
    std::memset(buffer.Bits, 0x5A, 8);
    buffer.Fill(0, 0, 0x80102030);
    EXPECT_EQ(RowBytes(buffer, 0), (Bytes{0x30, 0x20, 0x10, 0x5A, 0x30, 0x20, 0x10, 0x5A}));
}

TEST(Fill, TwentyFourBitsFillEveryWholeSlotOfThePitch)
{
    struct Case {
        int32_t width;
        Bytes row;
    };
    const Case cases[] = {
        {1, {1, 2, 3, 0x5A}},                                  // pitch 4: one slot
        {3, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}},             // pitch 12: four slots, padding too
        {5, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 0x5A}},  // pitch 16: five slots
    };
    for (const Case& c : cases) {
        DirectBmpControl buffer;
        AllocateMarked(buffer, c.width, 2, TPixelFormat::Bits24, 0x5A);
        buffer.Fill(0, 1, 0xFF030201);
        EXPECT_EQ(RowBytes(buffer, 0), c.row) << c.width;
        EXPECT_EQ(RowBytes(buffer, 1), c.row) << c.width;
    }
}

struct PatternCase {
    TPixelFormat format;
    uint32_t colour;
    int expected;  // byte pattern, -1: unchanged
};

class FillPatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(FillPatternTest, MatchesThePaletteAndRepeatsTheIndex)
{
    const PatternCase& c = GetParam();
    DirectBmpControl buffer;
    AllocateMarked(buffer, 5, 2, c.format, 0x5A);
    buffer.Fill(0, 1, c.colour);
    const Bytes expected(static_cast<size_t>(buffer.Pitch), static_cast<uint8_t>(c.expected < 0 ? 0x5A : c.expected));
    EXPECT_EQ(RowBytes(buffer, 0), expected);
    EXPECT_EQ(RowBytes(buffer, 1), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Palettes, FillPatternTest,
    testing::Values(PatternCase{TPixelFormat::Bits1, 0x000000, 0x00}, PatternCase{TPixelFormat::Bits1, 0xFFFFFF, 0xFF},
                    PatternCase{TPixelFormat::Bits1, 0x808080, -1},
                    PatternCase{TPixelFormat::Bits4, 0x101010, 0x11}, PatternCase{TPixelFormat::Bits4, 0xE0E0E0, 0xEE},
                    PatternCase{TPixelFormat::Bits4, 0xFFFFFF, 0xFF},
                    PatternCase{TPixelFormat::Bits4, 0xF0F0F0, -1},  // entry 15 is 255, not 240
                    PatternCase{TPixelFormat::Bits8, 0x808080, 0x80},
                    PatternCase{TPixelFormat::Bits8, 0xFF808080, 0x80},  // alpha does not take part
                    PatternCase{TPixelFormat::Bits8, 0x000000, 0x00}, PatternCase{TPixelFormat::Bits8, 0x808081, -1},
                    PatternCase{TPixelFormat::Bits8, 0x008080, -1}, PatternCase{TPixelFormat::Bits15, 0xFFFFFF, -1},
                    PatternCase{TPixelFormat::Bits16, 0x000000, -1}));

TEST(Fill, TakesTheFirstMatchingEntry)
{
    DirectBmpControl buffer;
    AllocateMarked(buffer, 4, 1, TPixelFormat::Bits8, 0x5A);
    for (int i : {0x30, 0x31}) {
        buffer.Palette[i][0] = 0x33;
        buffer.Palette[i][1] = 0x22;
        buffer.Palette[i][2] = 0x11;
    }
    buffer.Fill(0, 0, 0x112233);
    EXPECT_EQ(RowBytes(buffer, 0), Bytes(4, 0x30));
}

TEST(Fill, TwoBitBufferRepeatsTheIndexFourTimes)
{
    // No pixel format makes a 2-bit buffer; a hand-made one still fills.
    DirectBmpControl buffer;
    AllocateMarked(buffer, 4, 1, TPixelFormat::Bits8, 0x5A);
    buffer.BitsPerPixel = 2;
    buffer.PixelsPerByte = 4;
    buffer.PaletteCount = 4;
    buffer.Palette[2][0] = 0xAA;
    buffer.Palette[2][1] = 0xBB;
    buffer.Palette[2][2] = 0xCC;
    buffer.Fill(0, 0, 0xCCBBAA);
    EXPECT_EQ(RowBytes(buffer, 0), Bytes(4, 0xAA));
}

// ---------------------------------------------------------------- Copy: clipping

struct ClipCase {
    const char* name;
    int32_t sourceWidth, sourceHeight;
    TRect destinationRect, sourceRect;
    // The expected copied block: destination origin, source origin, size.
    int dx, dy, sx, sy, w, h;
};

class CopyClipTest : public testing::TestWithParam<ClipCase> {};

uint32_t Marker(int x, int y)
{
    return 0xFF000000u | static_cast<uint32_t>(y + 1) << 8 | static_cast<uint32_t>(x + 1);
}

TEST_P(CopyClipTest, CopiesExactlyTheClippedBlock)
{
    const ClipCase& c = GetParam();
    DirectBmpControl source;
    DirectBmpControl destination;
    ASSERT_TRUE(source.Allocate(c.sourceWidth, c.sourceHeight, TPixelFormat::Bits32));
    ASSERT_TRUE(destination.Allocate(10, 8, TPixelFormat::Bits32));
    for (int y = 0; y < c.sourceHeight; ++y)
        for (int x = 0; x < c.sourceWidth; ++x) SetPixel32(source, x, y, Marker(x, y));

    Copy(destination, c.destinationRect, source, c.sourceRect);

    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= c.dx && x < c.dx + c.w && y >= c.dy && y < c.dy + c.h;
            const uint32_t expected = inside ? Marker(x - c.dx + c.sx, y - c.dy + c.sy) : 0u;
            EXPECT_EQ(Pixel32(destination, x, y), expected) << "x " << x << " y " << y;
        }
    }
}

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyClipTest,
    testing::Values(
        ClipCase{"Plain", 6, 5, {1, 2, 4, 4}, {2, 1, 5, 3}, 1, 2, 2, 1, 3, 2},
        ClipCase{"SmallerRectDecides", 6, 5, {0, 0, 2, 5}, {0, 0, 5, 1}, 0, 0, 0, 0, 2, 1},
        ClipCase{"SourceLeftMinus3", 10, 8, {2, 1, 10, 5}, {-3, 0, 5, 4}, 5, 1, 0, 0, 5, 4},
        ClipCase{"SourceTopNegative", 10, 8, {0, 2, 3, 8}, {0, -2, 3, 4}, 0, 4, 0, 0, 3, 4},
        ClipCase{"DestinationNegativeOrigin", 10, 8, {-2, -1, 4, 3}, {1, 1, 7, 5}, 0, 0, 3, 2, 4, 3},
        ClipCase{"BothNegative", 10, 8, {-5, -1, 5, 9}, {-3, -2, 5, 5}, 0, 1, 2, 0, 3, 5},
        ClipCase{"SourceSizeClips", 6, 5, {0, 0, 10, 8}, {2, 1, 12, 12}, 0, 0, 2, 1, 4, 4},
        ClipCase{"DestinationSizeClips", 10, 8, {7, 6, 15, 14}, {0, 0, 8, 8}, 7, 6, 0, 0, 3, 2},
        ClipCase{"BothSizesClip", 4, 9, {5, 3, 15, 13}, {1, 2, 11, 12}, 5, 3, 1, 2, 3, 5},
        ClipCase{"SourceLeftBeyondWidth", 6, 5, {0, 0, 5, 5}, {6, 0, 11, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"SourceTopBeyondHeight", 6, 5, {0, 0, 5, 5}, {0, 7, 5, 12}, 0, 0, 0, 0, 0, 0},
        ClipCase{"DestinationLeftBeyondWidth", 6, 5, {10, 0, 15, 5}, {0, 0, 5, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"DestinationTopBeyondHeight", 6, 5, {0, 9, 5, 14}, {0, 0, 5, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"NegativeShiftPastTheSource", 6, 5, {-7, 0, 3, 5}, {0, 0, 10, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"InvertedRect", 6, 5, {0, 0, 5, 5}, {4, 0, 2, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"ExtremeCoordinates", 6, 5, {kMin, kMin, kMax, kMax}, {kMin, 0, kMax, 5}, 0, 0, 0, 0, 0, 0},
        ClipCase{"HugeRectsFromOrigin", 6, 5, {0, 0, kMax, kMax}, {0, 0, kMax, kMax}, 0, 0, 0, 0, 6, 5}),
    [](const testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

TEST(Copy, OntoItselfOverlapping)
{
    DirectBmpControl buffer;
    ASSERT_TRUE(buffer.Allocate(6, 1, TPixelFormat::Bits32));
    for (int x = 0; x < 6; ++x) SetPixel32(buffer, x, 0, Marker(x, 0));
    Copy(buffer, TRect{1, 0, 6, 1}, buffer, TRect{0, 0, 5, 1});
    EXPECT_EQ(Pixel32(buffer, 0, 0), Marker(0, 0));
    for (int x = 1; x < 6; ++x) EXPECT_EQ(Pixel32(buffer, x, 0), Marker(x - 1, 0)) << x;
}

// ---------------------------------------------------------------- Copy: conversions

struct ConversionCase {
    TPixelFormat destination;
    TPixelFormat source;
    Bytes expectedRow;  // the whole destination row (3 pixels) after the copy
};

class CopyConversionTest : public testing::TestWithParam<ConversionCase> {};

// Source rows of four pixels: two decoys, then A and B, which the copy takes
// (source pixels 2..3 into destination pixels 1..2).
Bytes SourceRow(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::Bits32:
        return {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    case TPixelFormat::Bits24: return {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0x11, 0x22, 0x33, 0x55, 0x66, 0x77};
    case TPixelFormat::Bits15:
    case TPixelFormat::Bits16: return {0xD0, 0xD1, 0xD2, 0xD3, 0x12, 0x34, 0x56, 0x78};
    case TPixelFormat::Bits8: return {0x20, 0x21, 0x10, 0xF0};
    case TPixelFormat::Bits4: return {0x12, 0x34};
    default: return {0xA5};
    }
}

TEST_P(CopyConversionTest, ConvertsByThePairOfDepths)
{
    const ConversionCase& c = GetParam();
    DirectBmpControl source;
    DirectBmpControl destination;
    AllocateMarked(source, 4, 1, c.source, 0x00);
    const Bytes row = SourceRow(c.source);
    std::memcpy(source.Rows[0], row.data(), row.size());
    const uint8_t entry10[4] = {1, 2, 3, 4};
    const uint8_t entryF0[4] = {5, 6, 7, 8};
    std::memcpy(source.Palette[0x10], entry10, 4);
    std::memcpy(source.Palette[0xF0], entryF0, 4);
    AllocateMarked(destination, 3, 1, c.destination, 0xEE);

    Copy(destination, TRect{1, 0, 3, 1}, source, TRect{2, 0, 4, 1});
    EXPECT_EQ(RowBytes(destination, 0), c.expectedRow);
}

const Bytes kUntouched32(12, 0xEE);
const Bytes kUntouched24(12, 0xEE);
const Bytes kUntouched16(8, 0xEE);
const Bytes kUntouchedPacked(4, 0xEE);

INSTANTIATE_TEST_SUITE_P(
    Pairs, CopyConversionTest,
    testing::Values(
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits32,
                       {0xEE, 0xEE, 0xEE, 0xEE, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
        ConversionCase{TPixelFormat::Bits24, TPixelFormat::Bits24,
                       {0xEE, 0xEE, 0xEE, 0x11, 0x22, 0x33, 0x55, 0x66, 0x77, 0xEE, 0xEE, 0xEE}},
        ConversionCase{TPixelFormat::Bits16, TPixelFormat::Bits16, {0xEE, 0xEE, 0x12, 0x34, 0x56, 0x78, 0xEE, 0xEE}},
        ConversionCase{TPixelFormat::Bits15, TPixelFormat::Bits15, {0xEE, 0xEE, 0x12, 0x34, 0x56, 0x78, 0xEE, 0xEE}},
        ConversionCase{TPixelFormat::Bits8, TPixelFormat::Bits8, {0xEE, 0x10, 0xF0, 0xEE}},
        ConversionCase{TPixelFormat::Bits4, TPixelFormat::Bits4, kUntouchedPacked},
        ConversionCase{TPixelFormat::Bits1, TPixelFormat::Bits1, kUntouchedPacked},
        ConversionCase{TPixelFormat::Bits24, TPixelFormat::Bits32,
                       {0xEE, 0xEE, 0xEE, 0x11, 0x22, 0x33, 0x55, 0x66, 0x77, 0xEE, 0xEE, 0xEE}},
        ConversionCase{TPixelFormat::Bits24, TPixelFormat::Bits8,
                       {0xEE, 0xEE, 0xEE, 0x01, 0x02, 0x03, 0x05, 0x06, 0x07, 0xEE, 0xEE, 0xEE}},
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits8,
                       {0xEE, 0xEE, 0xEE, 0xEE, 0x01, 0x02, 0x03, 0xFF, 0x05, 0x06, 0x07, 0xFF}},
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits24,  // destination alpha kept
                       {0xEE, 0xEE, 0xEE, 0xEE, 0x11, 0x22, 0x33, 0xEE, 0x55, 0x66, 0x77, 0xEE}},
        ConversionCase{TPixelFormat::Bits8, TPixelFormat::Bits32, {0xEE, 0x44, 0x88, 0xEE}},
        // Pairs without a conversion copy nothing.
        ConversionCase{TPixelFormat::Bits15, TPixelFormat::Bits32, kUntouched16},
        ConversionCase{TPixelFormat::Bits16, TPixelFormat::Bits32, kUntouched16},
        ConversionCase{TPixelFormat::Bits16, TPixelFormat::Bits15, kUntouched16},
        ConversionCase{TPixelFormat::Bits16, TPixelFormat::Bits24, kUntouched16},
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits16, kUntouched32},
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits4, kUntouched32},
        ConversionCase{TPixelFormat::Bits32, TPixelFormat::Bits1, kUntouched32},
        ConversionCase{TPixelFormat::Bits24, TPixelFormat::Bits16, kUntouched24},
        ConversionCase{TPixelFormat::Bits8, TPixelFormat::Bits24, kUntouchedPacked},
        ConversionCase{TPixelFormat::Bits8, TPixelFormat::Bits4, kUntouchedPacked},
        ConversionCase{TPixelFormat::Bits4, TPixelFormat::Bits8, kUntouchedPacked},
        ConversionCase{TPixelFormat::Bits1, TPixelFormat::Bits32, kUntouchedPacked}));

TEST(Copy, ThirtyTwoBitsAcrossRowsOfDifferentPitch)
{
    // A whole-picture copy from a wider, taller buffer into a screen-sized one:
    // every destination row comes from its own source row.
    DirectBmpControl source;
    DirectBmpControl destination;
    ASSERT_TRUE(source.Allocate(37, 23, TPixelFormat::Bits32));
    ASSERT_TRUE(destination.Allocate(16, 9, TPixelFormat::Bits32));
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) SetPixel32(source, x, y, Marker(x, y));
    Copy(destination, destination.Bounds, source, source.Bounds);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(Pixel32(destination, x, y), Marker(x, y)) << x << "," << y;
}

TEST(Copy, FromAnAttachedBottomUpBitmap)
{
    TMemoryBitmap bitmap(3, 3, TPixelFormat::Bits24);
    for (int y = 0; y < 3; ++y) bitmap.ScanLine(y)[0] = static_cast<uint8_t>(0x10 + y);
    DirectBmpControl attached;
    ASSERT_TRUE(attached.AttachBitmap(&bitmap, 0, 2));
    DirectBmpControl destination;
    AllocateMarked(destination, 3, 3, TPixelFormat::Bits32, 0x00);
    Copy(destination, destination.Bounds, attached, attached.Bounds);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(destination.Rows[y][0], 0x10 + y) << y;
}

}  // namespace

// ---------------------------------------------------------------- Copy: large areas

// Large equal-depth copies run in row bands on several threads when source
// and destination memory are apart; rows of one buffer copied onto
// themselves keep the top-to-bottom order.
TEST(Copy, LargeAreaMatchesARowByRowModel)
{
    constexpr int kWidth = 1500;
    constexpr int kHeight = 900;
    // Every pixel of the source distinct.
    auto marker = [](int x, int y) { return static_cast<uint32_t>(y) << 16 | static_cast<uint32_t>(x) | 0x80000000u; };
    DirectBmpControl source;
    DirectBmpControl destination;
    ASSERT_TRUE(source.Allocate(kWidth, kHeight, TPixelFormat::Bits32));
    ASSERT_TRUE(destination.Allocate(kWidth, kHeight, TPixelFormat::Bits32));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) SetPixel32(source, x, y, marker(x, y));

    Copy(destination, TRect{-3, 5, kWidth, kHeight}, source, TRect{7, 0, kWidth, kHeight});
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool copied = y >= 5 && x + 3 + 7 < kWidth && x < kWidth;
            const uint32_t expected = copied ? marker(x + 3 + 7, y - 5) : 0u;
            ASSERT_EQ(Pixel32(destination, x, y), expected) << x << "," << y;
        }
    }

    // One row down within the same buffer: each row takes the row above as
    // it stands after the rows before it were copied, so row 0 runs down.
    Copy(source, TRect{0, 1, kWidth, kHeight}, source, TRect{0, 0, kWidth, kHeight - 1});
    for (int y = 0; y < kHeight; ++y) ASSERT_EQ(Pixel32(source, 11, y), marker(11, 0)) << y;
}
