// DibSectionBitmap: the viewer's screen bitmap, a 32-bit DIB section whose
// rows the screen buffer writes directly and which GDI copies to the window
// with BitBlt, with no conversion on the way.
//
// The rows are top-down in memory (row 0 first), 4 bytes per pixel in the
// order blue, green, red, unused. The bitmap stays selected into its own
// memory device context for its whole life.
#pragma once

#include "platform/TBitmap.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class DibSectionBitmap final : public TBitmap {
public:
    // Null when the system cannot make the section (no memory).
    static std::unique_ptr<DibSectionBitmap> Create(int32_t width, int32_t height);
    ~DibSectionBitmap() override;
    DibSectionBitmap(const DibSectionBitmap&) = delete;
    DibSectionBitmap& operator=(const DibSectionBitmap&) = delete;

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    TPixelFormat PixelFormat() const override { return TPixelFormat::Bits32; }
    uint8_t* ScanLine(int32_t row) override;

    HDC DeviceContext() const { return memoryDc_; }

private:
    DibSectionBitmap(int32_t width, int32_t height, HDC memoryDc, HBITMAP bitmap, HGDIOBJ previous, uint8_t* bits);

    int32_t width_;
    int32_t height_;
    HDC memoryDc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    uint8_t* bits_;
};
