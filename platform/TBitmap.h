// TBitmap: a bitmap whose rows can be reached directly, the stand-in for the
// window system's bitmap class. Pixel buffers attach to its rows; the Windows
// shell backs it with a DIB section, everything else with TMemoryBitmap.
//
// ScanLine(row) is the first byte of a row, row 0 being the top row, whatever
// order the rows have in memory. Rows are padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>
#include <memory>

enum class TPixelFormat { Device, Bits1, Bits4, Bits8, Bits15, Bits16, Bits24, Bits32, Custom };

class TBitmap {
public:
    virtual ~TBitmap() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual TPixelFormat PixelFormat() const = 0;
    virtual uint8_t* ScanLine(int32_t row) = 0;
};

// Bits per pixel of a format, 0 for device-dependent and custom formats.
int BitsPerPixelOf(TPixelFormat format);
// The format of a depth of 1, 4, 8, 15, 16, 24 or 32 bits per pixel; Custom
// for any other.
TPixelFormat PixelFormatOfBits(int bitsPerPixel);

// A bitmap in ordinary memory. Rows are stored bottom-up, as device-independent
// bitmaps store them, unless asked otherwise; the contents start as zero.
class TMemoryBitmap final : public TBitmap {
public:
    enum class RowOrder { BottomUp, TopDown };

    // Throws std::bad_alloc when the memory cannot be had, and
    // std::invalid_argument for negative sizes.
    TMemoryBitmap(int32_t width, int32_t height, TPixelFormat format, RowOrder order = RowOrder::BottomUp);

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    TPixelFormat PixelFormat() const override { return format_; }
    uint8_t* ScanLine(int32_t row) override;
    size_t Stride() const { return stride_; }

private:
    int32_t width_;
    int32_t height_;
    TPixelFormat format_;
    RowOrder order_;
    size_t stride_;
    std::unique_ptr<uint8_t[]> pixels_;
};
