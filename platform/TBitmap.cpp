#include "platform/TBitmap.h"

#include <stdexcept>

int BitsPerPixelOf(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::Bits1: return 1;
    case TPixelFormat::Bits4: return 4;
    case TPixelFormat::Bits8: return 8;
    case TPixelFormat::Bits15: return 15;
    case TPixelFormat::Bits16: return 16;
    case TPixelFormat::Bits24: return 24;
    case TPixelFormat::Bits32: return 32;
    default: return 0;
    }
}

TPixelFormat PixelFormatOfBits(int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1: return TPixelFormat::Bits1;
    case 4: return TPixelFormat::Bits4;
    case 8: return TPixelFormat::Bits8;
    case 15: return TPixelFormat::Bits15;
    case 16: return TPixelFormat::Bits16;
    case 24: return TPixelFormat::Bits24;
    case 32: return TPixelFormat::Bits32;
    default: return TPixelFormat::Custom;
    }
}

TMemoryBitmap::TMemoryBitmap(int32_t width, int32_t height, TPixelFormat format, RowOrder order)
    : width_(width), height_(height), format_(format), order_(order)
{
    if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
    const int bits = BitsPerPixelOf(format) == 15 ? 16 : BitsPerPixelOf(format);
    const size_t rowBits = static_cast<size_t>(width) * static_cast<size_t>(bits == 0 ? 32 : bits);
    stride_ = (rowBits + 31) / 32 * 4;
    pixels_ = std::make_unique<uint8_t[]>(stride_ * static_cast<size_t>(height) + 1);
}

uint8_t* TMemoryBitmap::ScanLine(int32_t row)
{
    if (row < 0 || row >= height_) return nullptr;
    const size_t stored = order_ == RowOrder::BottomUp ? static_cast<size_t>(height_ - 1 - row) : static_cast<size_t>(row);
    return pixels_.get() + stored * stride_;
}
