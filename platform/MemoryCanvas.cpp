#include "platform/MemoryCanvas.h"

#include <algorithm>
#include <cstring>

namespace {

// Pixel-order value (bytes blue, green, red, alpha 0) of a window colour.
uint32_t PixelOf(uint32_t colour)
{
    return (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

}  // namespace

MemoryCanvas::MemoryCanvas(int32_t width, int32_t height, TextRenderer* text)
    : owned_(std::make_unique<TMemoryBitmap>(width, height, TPixelFormat::Bits32, TMemoryBitmap::RowOrder::TopDown)),
      window_(owned_.get()),
      text_(text)
{
}

MemoryCanvas::MemoryCanvas(TBitmap& window, TextRenderer* text) : window_(&window), text_(text) {}

void MemoryCanvas::SetFont(uint32_t colour, int32_t height)
{
    fontColour_ = colour;
    fontHeight_ = height;
}

void MemoryCanvas::SetBrush(uint32_t colour)
{
    brushColour_ = colour;
}

void MemoryCanvas::CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source)
{
    ++copies_;
    if (bitmap.PixelFormat() != TPixelFormat::Bits32) return;
    // Both rectangles cut to what both sides hold, keeping them aligned.
    int64_t width = std::min(target.Width(), source.Width());
    int64_t height = std::min(target.Height(), source.Height());
    int64_t tx = target.left, ty = target.top, sx = source.left, sy = source.top;
    const auto cut = [](int64_t& a, int64_t& b, int64_t& size) {
        const int64_t shift = std::max<int64_t>({0, -a, -b});
        a += shift;
        b += shift;
        size -= shift;
    };
    cut(tx, sx, width);
    cut(ty, sy, height);
    width = std::min({width, int64_t{window_->Width()} - tx, int64_t{bitmap.Width()} - sx});
    height = std::min({height, int64_t{window_->Height()} - ty, int64_t{bitmap.Height()} - sy});
    if (width <= 0 || height <= 0) return;
    for (int64_t row = 0; row < height; ++row) {
        std::memmove(window_->ScanLine(static_cast<int32_t>(ty + row)) + tx * 4,
                     bitmap.ScanLine(static_cast<int32_t>(sy + row)) + sx * 4, static_cast<size_t>(width) * 4);
    }
}

void MemoryCanvas::FillRect(const TRect& rect)
{
    const int32_t left = std::max(rect.left, 0);
    const int32_t top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, window_->Width());
    const int32_t bottom = std::min(rect.bottom, window_->Height());
    const uint32_t pixel = PixelOf(brushColour_);
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* row = window_->ScanLine(y);
        for (int32_t x = left; x < right; ++x) std::memcpy(row + 4 * x, &pixel, 4);
    }
}

void MemoryCanvas::WriteText(int32_t x, int32_t y, std::string_view text)
{
    lastText_ = std::string(text);
    if (text_ == nullptr) return;
    // The font's height in pixels back to points at 96 dots per inch.
    const int32_t pixels = fontHeight_ < 0 ? -fontHeight_ : fontHeight_;
    const int32_t points = (pixels * 72 + 48) / 96;
    text_->DrawOpaque(*window_, x, y, text, points, fontColour_, brushColour_);
}
