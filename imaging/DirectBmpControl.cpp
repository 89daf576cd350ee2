#include "imaging/DirectBmpControl.h"

#include "imaging/PixelKernelSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

// All memory a buffer allocates (row tables and pixel memory) comes from
// std::calloc and goes back through std::free, so FreeOnlyMemProc and the
// ordinary-heap path free alike.

void* FreeOnlyMemProc(void* pointer, size_t /*newSize*/, int32_t /*context*/)
{
    if (pointer != nullptr) std::free(pointer);
    return nullptr;
}

namespace {

void FreeBits(DirectBmpControl& buffer)
{
    if (buffer.Bits == nullptr) return;
    try {
        if (buffer.UseMemProc) {
            if (buffer.MemProc != nullptr) buffer.MemProc(buffer.Bits, 0, buffer.MemContext);
        } else {
            std::free(buffer.Bits);
        }
    } catch (...) {
        // A callback that fails while freeing must not take the caller down
        // (this also runs from the destructor).
    }
    buffer.Bits = nullptr;
}

void FreeRowTable(DirectBmpControl& buffer)
{
    // The row table is always allocated by the buffer itself, from the heap.
    std::free(buffer.Rows);
    buffer.Rows = nullptr;
}

void UseOwnAllocator(DirectBmpControl& buffer)
{
    buffer.UseMemProc = false;
    buffer.MemProc = FreeOnlyMemProc;
    buffer.MemContext = 0;
}

// After a failed attach or allocation the buffer describes no pixels, so no
// operation can reach rows that are gone.
void ClearFormat(DirectBmpControl& buffer)
{
    buffer.Width = 0;
    buffer.Height = 0;
    buffer.Bounds = TRect{};
    buffer.RowCapacity = 0;
    buffer.Pitch = 0;
    buffer.PixelMask = 0;
    buffer.BitsPerPixel = 0;
    buffer.PixelCode = 0;
    buffer.BytesPerPixel = 0;
    buffer.PixelsPerByte = 0;
    buffer.PaletteCount = 0;
}

uint8_t** AllocateRowTable(int32_t entries)
{
    // One entry at least, so that an empty bitmap still gets a table; cleared,
    // so rows that are never set are null rather than garbage.
    const size_t count = entries > 0 ? static_cast<size_t>(entries) : 1;
    return static_cast<uint8_t**>(std::calloc(count, sizeof(uint8_t*)));
}

// Rows that the operations may touch: those that are both described and in
// the table.
int64_t UsableHeight(const DirectBmpControl& buffer)
{
    if (buffer.Rows == nullptr) return 0;
    return std::max<int64_t>(0, std::min(buffer.Height, buffer.RowCapacity));
}

int64_t UsableWidth(const DirectBmpControl& buffer)
{
    return std::max<int32_t>(0, buffer.Width);
}

// The row length in bytes of a width at the buffer's depth.
int64_t RowLength(const DirectBmpControl& buffer, int64_t width)
{
    if (width <= 0) return 0;
    if (buffer.BitsPerPixel > 8) return width * buffer.BytesPerPixel;
    const int64_t perByte = buffer.PixelsPerByte > 0 ? buffer.PixelsPerByte : 1;
    return (width + perByte - 1) / perByte;
}

int64_t RoundedPitch(const DirectBmpControl& buffer, int64_t width)
{
    const int64_t length = RowLength(buffer, width);
    const int64_t alignment = int64_t{std::max(buffer.AlignMask, 0)} + 1;
    return (length + alignment - 1) / alignment * alignment;
}

void StoreColour32(uint8_t* pixel, uint32_t colour)
{
    pixel[0] = static_cast<uint8_t>(colour);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour >> 16);
    pixel[3] = static_cast<uint8_t>(colour >> 24);
}

}  // namespace

DirectBmpControl::DirectBmpControl() = default;

DirectBmpControl::~DirectBmpControl()
{
    ReleaseHandle();
    ReleaseMemory();
}

void DirectBmpControl::ReleaseHandle()
{
    // FIXME: the core never creates a GDI bitmap; the Windows shell that hands
    // one over must DeleteObject it itself before this forgets the handle.
    BitmapHandle = nullptr;
}

void DirectBmpControl::ReleaseMemory()
{
    if (OwnsRows && Rows != nullptr) FreeRowTable(*this);
    FreeBits(*this);
}

void DirectBmpControl::SetBits(uint8_t* memory)
{
    FreeBits(*this);
    Bits = memory;
}

bool DirectBmpControl::SetFormat(int32_t width, int32_t height, TPixelFormat pixelFormat, int32_t rowCapacity,
                                 uint8_t** rows)
{
    Rows = rows;
    RowCapacity = rowCapacity;
    Width = width;
    Height = height;
    Bounds = TRect{0, 0, width, height};
    PaletteCount = 0;
    PixelsPerByte = 1;
    BytesPerPixel = 1;

    switch (pixelFormat) {
    case TPixelFormat::Bits1: BitsPerPixel = 1; PixelMask = 0x1; PixelCode = 3; break;
    case TPixelFormat::Bits4: BitsPerPixel = 4; PixelMask = 0xF; PixelCode = 1; break;
    case TPixelFormat::Bits8: BitsPerPixel = 8; PixelMask = 0xFF; PixelCode = 0; break;
    case TPixelFormat::Bits15: BitsPerPixel = 15; PixelMask = 0x7FFF; PixelCode = 2; break;
    case TPixelFormat::Bits16: BitsPerPixel = 16; PixelMask = 0xFFFF; PixelCode = 2; break;
    case TPixelFormat::Bits24: BitsPerPixel = 24; PixelMask = 0xFFFFFF; PixelCode = 3; break;
    case TPixelFormat::Bits32: BitsPerPixel = 32; PixelMask = 0xFFFFFFFF; PixelCode = 4; break;
    default:
        BitsPerPixel = 0;
        PixelMask = 0;
        PixelCode = 0;
        return false;
    }
    if (BitsPerPixel >= 8)
        BytesPerPixel = BitsPerPixel == 15 ? 2 : static_cast<uint8_t>(BitsPerPixel / 8);
    else
        PixelsPerByte = static_cast<uint8_t>(8 / BitsPerPixel);

    // A size whose pitch would not fit the 32-bit field is no format at all.
    if (width < 0 || height < 0 || RoundedPitch(*this, width) > std::numeric_limits<int32_t>::max()) {
        BitsPerPixel = 0;
        PixelMask = 0;
        PixelCode = 0;
        return false;
    }
    return true;
}

void DirectBmpControl::UpdateLayout()
{
    if (BitsPerPixel == 0) {
        PaletteCount = 0;
        Pitch = 0;
        return;
    }
    if (BitsPerPixel <= 8) {
        PaletteCount = 1 << BitsPerPixel;
        const auto setGrey = [this](int index, uint8_t level) {
            Palette[index][0] = level;
            Palette[index][1] = level;
            Palette[index][2] = level;
        };
        if (BitsPerPixel == 1) {
            setGrey(0, 0);
            setGrey(1, 255);
        } else if (BitsPerPixel == 4) {
            for (int i = 0; i < 15; ++i) setGrey(i, static_cast<uint8_t>(i * 16));
            setGrey(15, 255);
        } else if (BitsPerPixel == 8) {
            for (int i = 0; i < 256; ++i) setGrey(i, static_cast<uint8_t>(i));
        }
    } else {
        PaletteCount = 0;
    }
    const int64_t pitch = RoundedPitch(*this, Width);
    Pitch = pitch <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(pitch) : 0;
}

bool DirectBmpControl::AttachBitmap(TBitmap* bitmap, int32_t firstRow, int32_t lastRow)
{
    SetBits(nullptr);
    Bitmap = bitmap;

    const auto fail = [this]() {
        if (OwnsRows) FreeRowTable(*this);
        Bitmap = nullptr;
        ClearFormat(*this);
        return false;
    };

    if (bitmap == nullptr) return fail();
    const int32_t height = bitmap->Height();
    if (height < 0) return fail();

    if (OwnsRows) {
        FreeRowTable(*this);
        UseOwnAllocator(*this);
        Rows = AllocateRowTable(height);
        if (Rows == nullptr) return fail();
    } else if (Rows == nullptr || RowCapacity < height) {
        return fail();
    }

    if (lastRow >= height) lastRow = height - 1;
    for (int32_t row = std::max(firstRow, 0); row <= lastRow; ++row) Rows[row] = bitmap->ScanLine(row);

    if (!SetFormat(bitmap->Width(), height, bitmap->PixelFormat(), height, Rows)) return fail();
    UpdateLayout();
    return true;
}

bool DirectBmpControl::Allocate(int32_t width, int32_t height, TPixelFormat pixelFormat)
{
    SetBits(nullptr);
    Bitmap = nullptr;
    if (OwnsRows && Rows != nullptr) FreeRowTable(*this);
    OwnsRows = true;
    Rows = nullptr;

    const auto fail = [this]() {
        FreeBits(*this);
        FreeRowTable(*this);
        ClearFormat(*this);
        return false;
    };

    if (width <= 0 || height <= 0 || width > MaximumBufferDimension || height > MaximumBufferDimension)
        return fail();

    Rows = AllocateRowTable(height);
    if (Rows == nullptr) return fail();
    if (!SetFormat(width, height, pixelFormat, height, Rows)) return fail();
    UpdateLayout();

    // At most 16,384 rows of 16,384 × 4 bytes (plus alignment): sizes are
    // taken in size_t so the product cannot wrap.
    const size_t pitch = static_cast<size_t>(Pitch);
    UseOwnAllocator(*this);
    // Cleared, so no picture ever shows what the memory held before.
    Bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(height), pitch));
    if (Bits == nullptr) return fail();
    for (int32_t row = 0; row < height; ++row) Rows[row] = Bits + static_cast<size_t>(row) * pitch;
    return true;
}

void DirectBmpControl::Fill(int32_t firstRow, int32_t lastRow, uint32_t colour)
{
    const int64_t height = UsableHeight(*this);
    const int64_t first = std::max(firstRow, 0);
    const int64_t last = std::min<int64_t>(lastRow, height - 1);
    const size_t pitch = static_cast<size_t>(std::max(Pitch, 0));
    if (first > last || pitch == 0) return;

    const uint8_t blue = static_cast<uint8_t>(colour);
    const uint8_t green = static_cast<uint8_t>(colour >> 8);
    const uint8_t red = static_cast<uint8_t>(colour >> 16);

    if (BitsPerPixel == 32) {
        const size_t slots = pitch / 4;
        for (int64_t row = first; row <= last; ++row) {
            uint8_t* p = Rows[row];
            if (p == nullptr) continue;
            if (FillWholeRows) {
                for (size_t i = 0; i < slots; ++i) StoreColour32(p + 4 * i, colour);
            } else {
                for (size_t i = 0; i < slots; ++i) {
                    p[4 * i] = blue;
                    p[4 * i + 1] = green;
                    p[4 * i + 2] = red;
                }
            }
        }
        return;
    }
    if (BitsPerPixel == 24) {
        const size_t slots = pitch / 3;
        for (int64_t row = first; row <= last; ++row) {
            uint8_t* p = Rows[row];
            if (p == nullptr) continue;
            for (size_t i = 0; i < slots; ++i) {
                p[3 * i] = blue;
                p[3 * i + 1] = green;
                p[3 * i + 2] = red;
            }
        }
        return;
    }
    if (BitsPerPixel == 0 || BitsPerPixel > 8) return;  // 15 and 16 bits are not filled

    const int entries = std::clamp(PaletteCount, 0, 256);
    int index = -1;
    for (int i = 0; i < entries; ++i) {
        const uint32_t entry = uint32_t{Palette[i][0]} | uint32_t{Palette[i][1]} << 8 | uint32_t{Palette[i][2]} << 16;
        if (entry == (colour & 0xFFFFFFu)) {
            index = i;
            break;
        }
    }
    if (index < 0) return;

    uint8_t pattern;
    switch (BitsPerPixel) {
    case 1: pattern = index == 0 ? 0x00 : 0xFF; break;
    case 2: pattern = static_cast<uint8_t>((index & 3) * 0x55); break;
    case 4: pattern = static_cast<uint8_t>((index & 0xF) * 0x11); break;
    case 8: pattern = static_cast<uint8_t>(index); break;
    default: return;
    }
    for (int64_t row = first; row <= last; ++row)
        if (Rows[row] != nullptr) std::memset(Rows[row], pattern, pitch);
}

namespace {

// Copies `width` pixels of one row between buffers of equal depth (8 bits
// or more).
void CopyEqualDepthRow(uint8_t* d, const uint8_t* s, size_t width, size_t bytesPerPixel)
{
    // memmove: a buffer may be copied onto itself.
    std::memmove(d, s, width * bytesPerPixel);
}

}  // namespace

void Copy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
          const TRect& sourceRect)
{
    // Clipping in 64 bits: rectangles from callers may lie anywhere in the
    // 32-bit plane.
    int64_t w = std::min(destinationRect.Width(), sourceRect.Width());
    int64_t sx = sourceRect.left;
    int64_t dx = destinationRect.left;
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (sx + w > UsableWidth(source)) w = UsableWidth(source) - sx;
    if (dx + w > UsableWidth(destination)) w = UsableWidth(destination) - dx;

    int64_t h = std::min(destinationRect.Height(), sourceRect.Height());
    int64_t sy = sourceRect.top;
    int64_t dy = destinationRect.top;
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    if (sy + h > UsableHeight(source)) h = UsableHeight(source) - sy;
    if (dy + h > UsableHeight(destination)) h = UsableHeight(destination) - dy;

    if (w <= 0 || h <= 0) return;

    const int dbits = destination.BitsPerPixel;
    const int sbits = source.BitsPerPixel;
    const size_t width = static_cast<size_t>(w);
    const size_t sx0 = static_cast<size_t>(sx);
    const size_t dx0 = static_cast<size_t>(dx);
    const auto& palette = source.Palette;

    if (dbits == sbits) {
        if (dbits < 8) return;  // packed depths are not copied
        const size_t bpp = destination.BytesPerPixel;
        const int32_t rows = static_cast<int32_t>(h);
        const RowBytes destinationBytes{static_cast<int32_t>(dy), rows, dx0 * bpp, width * bpp};
        const RowBytes sourceBytes{static_cast<int32_t>(sy), rows, sx0 * bpp, width * bpp};
        auto copyRows = [&](int32_t firstRow, int32_t endRow) {
            for (int32_t r = firstRow; r < endRow; ++r) {
                uint8_t* d = destination.Rows[dy + r];
                const uint8_t* s = source.Rows[sy + r];
                if (d != nullptr && s != nullptr) CopyEqualDepthRow(d + dx0 * bpp, s + sx0 * bpp, width, bpp);
            }
        };
        // Rows in separate memory may be copied in any order, so large
        // copies go to the row workers; a copy within one area keeps the
        // top-to-bottom order its overlapping rows depend on.
        if (RowBytesOverlap(destination, destinationBytes, source, sourceBytes))
            copyRows(0, rows);
        else
            ForEachRowBand(rows, static_cast<int64_t>(width * bpp / 4), copyRows);
        return;
    }

    for (int64_t r = 0; r < h; ++r) {
        uint8_t* d = destination.Rows[dy + r];
        const uint8_t* s = source.Rows[sy + r];
        if (d == nullptr || s == nullptr) continue;

        if (dbits == 24 && sbits == 32) {
            d += dx0 * 3;
            s += sx0 * 4;
            for (size_t x = 0; x < width; ++x, d += 3, s += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        } else if (dbits == 24 && sbits == 8) {
            d += dx0 * 3;
            s += sx0;
            for (size_t x = 0; x < width; ++x, d += 3) {
                const uint8_t* entry = palette[s[x]];
                d[0] = entry[0];
                d[1] = entry[1];
                d[2] = entry[2];
            }
        } else if (dbits == 32 && sbits == 8) {
            d += dx0 * 4;
            s += sx0;
            for (size_t x = 0; x < width; ++x, d += 4) {
                const uint8_t* entry = palette[s[x]];
                d[0] = entry[0];
                d[1] = entry[1];
                d[2] = entry[2];
                d[3] = 255;
            }
        } else if (dbits == 32 && sbits == 24) {
            d += dx0 * 4;
            s += sx0 * 3;
            for (size_t x = 0; x < width; ++x, d += 4, s += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        } else if (dbits == 8 && sbits == 32) {
            d += dx0;
            s += sx0 * 4;
            for (size_t x = 0; x < width; ++x, s += 4) d[x] = s[3];
        } else {
            return;  // any other pair copies nothing
        }
    }
}
