// DirectBmpControl: the pixel buffer under all imaging.
//
// A buffer has a size, a depth, a row pitch, a 256-entry palette and a table
// of row pointers (Rows[0] is the top row). It either attaches to the rows of
// a TBitmap it does not own, or owns its memory (Allocate: rows top-down and
// contiguous, Rows[i] = Bits + i × Pitch, cleared to zero).
//
// Pixel layout: 32 bits are bytes blue, green, red, alpha (the value
// 0xAARRGGBB); 24 bits blue, green, red; 15 bits 5-5-5 and 16 bits 5-6-5 with
// blue in the low bits; 8 bits and less are palette indices packed most
// significant bits first. Palette entries are blue, green, red, reserved.
// Colours handed to operations are 32-bit values in pixel order; ToPixelOrder
// turns a window-system colour (0x00BBGGRR) into one.
//
// Operations that do not handle a depth or a pair of depths do nothing (or
// return false); they never read or write outside the rows of a buffer.
#pragma once

#include "platform/TBitmap.h"
#include "platform/TRect.h"

#include <cstddef>
#include <cstdint>

// Reallocate-style memory callback: a new size of 0 frees the pointer.
using MemProcFunction = void* (*)(void* pointer, size_t newSize, int32_t context);

// The free-only routine every allocating buffer uses.
void* FreeOnlyMemProc(void* pointer, size_t newSize, int32_t context);

constexpr uint32_t ToPixelOrder(uint32_t windowColour)
{
    return (windowColour & 0xFF00FF00u) | (windowColour & 0xFFu) << 16 | (windowColour >> 16 & 0xFFu);
}

class DirectBmpControl {
public:
    DirectBmpControl();
    ~DirectBmpControl();
    DirectBmpControl(const DirectBmpControl&) = delete;
    DirectBmpControl& operator=(const DirectBmpControl&) = delete;

    void ReleaseHandle();
    void ReleaseMemory();
    void SetBits(uint8_t* memory);

    bool SetFormat(int32_t width, int32_t height, TPixelFormat pixelFormat, int32_t rowCapacity, uint8_t** rows);
    void UpdateLayout();
    bool AttachBitmap(TBitmap* bitmap, int32_t firstRow, int32_t lastRow);
    bool Allocate(int32_t width, int32_t height, TPixelFormat pixelFormat);
    void Fill(int32_t firstRow, int32_t lastRow, uint32_t colour);

    int32_t Pitch = 0;
    int32_t AlignMask = 3;
    uint32_t PixelMask = 0;
    uint8_t BitsPerPixel = 0;
    uint8_t PixelCode = 0;
    uint8_t BytesPerPixel = 0;
    uint8_t PixelsPerByte = 0;
    bool OwnsRows = true;
    bool UseMemProc = false;
    MemProcFunction MemProc = FreeOnlyMemProc;
    int32_t MemContext = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TRect Bounds;
    int32_t RowCapacity = 0;
    uint8_t* Bits = nullptr;
    int32_t PaletteCount = 0;
    uint8_t EdgeColour[5] = {255, 255, 255, 255, 255};  // reserved, red, green, blue, alpha
    TBitmap* Bitmap = nullptr;
    void* BitmapHandle = nullptr;
    uint8_t** Rows = nullptr;
    uint8_t Palette[256][4] = {};  // blue, green, red, reserved
    bool FillWholeRows = true;
};

// The format-converting copy between two buffers, clipped to both.
void Copy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
          const TRect& sourceRect);

// The largest width or height of a buffer that Allocate accepts.
constexpr int32_t MaximumBufferDimension = 16384;
