// WindowCanvas: the little of a window's canvas that the slide show draws
// with: copying a rectangle of a bitmap onto the window, filling rectangles
// with the brush, and writing a line of text in the canvas's font on the
// brush's colour.
//
// Colours are window-system colours (0x00BBGGRR). Implementations:
//  - win32/GdiCanvas.h: a window's device context (the Windows saver),
//  - sdl/SdlCanvas.h: an SDL window (the Linux saver),
//  - MemoryCanvas.h: pixels in memory (tests, headless runs, and the SDL
//    canvas's drawing off the window).
#pragma once

#include "platform/TBitmap.h"
#include "platform/TRect.h"

#include <cstdint>
#include <string_view>

class WindowCanvas {
public:
    virtual ~WindowCanvas() = default;
    // The font for WriteText: its colour and its height in pixels (negative:
    // the em height, as a font's Height is given).
    virtual void SetFont(uint32_t colour, int32_t height) = 0;
    // A solid brush of this colour for FillRect and behind WriteText.
    virtual void SetBrush(uint32_t colour) = 0;
    // Copies `source` of the bitmap to `target` of the window (both the same
    // size in every use here).
    virtual void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) = 0;
    virtual void FillRect(const TRect& rect) = 0;
    virtual void WriteText(int32_t x, int32_t y, std::string_view text) = 0;
};
