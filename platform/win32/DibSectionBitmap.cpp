#include "platform/win32/DibSectionBitmap.h"

std::unique_ptr<DibSectionBitmap> DibSectionBitmap::Create(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    HDC memoryDc = CreateCompatibleDC(nullptr);
    if (memoryDc == nullptr) {
        DeleteObject(bitmap);
        return nullptr;
    }
    HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    return std::unique_ptr<DibSectionBitmap>(
        new DibSectionBitmap(width, height, memoryDc, bitmap, previous, static_cast<uint8_t*>(bits)));
}

DibSectionBitmap::DibSectionBitmap(int32_t width, int32_t height, HDC memoryDc, HBITMAP bitmap, HGDIOBJ previous,
                                   uint8_t* bits)
    : width_(width), height_(height), memoryDc_(memoryDc), bitmap_(bitmap), previous_(previous), bits_(bits)
{
}

DibSectionBitmap::~DibSectionBitmap()
{
    SelectObject(memoryDc_, previous_);
    DeleteDC(memoryDc_);
    DeleteObject(bitmap_);
}

uint8_t* DibSectionBitmap::ScanLine(int32_t row)
{
    // A 32-bit row needs no padding: the stride is the width times 4.
    return bits_ + static_cast<size_t>(row) * static_cast<size_t>(width_) * 4;
}
