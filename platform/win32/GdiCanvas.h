// GdiCanvas: the viewer window's canvas for the slide show, on GDI.
//
// Copies from the screen bitmap (a DIB section) are BitBlt calls from its
// memory device context; any other 32-bit bitmap (the text banner) is sent
// row by row with SetDIBitsToDevice, which reads its rows wherever they lie.
// Text is drawn with the wide functions in the canvas font, a Japanese
// Gothic face, on an opaque brush-coloured background.
//
// Each operation takes the window's device context and gives it back, so
// the canvas holds nothing between steps but its font.
#pragma once

#include "platform/WindowCanvas.h"

#include <windows.h>

#include <cstdint>

class GdiCanvas final : public WindowCanvas {
public:
    explicit GdiCanvas(HWND window);
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void SetFont(uint32_t colour, int32_t height) override;
    void SetBrush(uint32_t colour) override;
    void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void WriteText(int32_t x, int32_t y, std::string_view text) override;

private:
    HWND window_;
    HFONT font_ = nullptr;
    uint32_t fontColour_ = 0x00FFFFFF;
    uint32_t brushColour_ = 0x00000000;
};
