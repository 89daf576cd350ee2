// MemoryCanvas: a window canvas whose window is a 32-bit bitmap in memory,
// for tests and for running the slide show without a screen, or a bitmap
// that someone else owns and shows (a window's pixels in shared memory).
//
// Copies and fills are clipped to the window; copies take 32-bit bitmaps
// only (others are counted but change nothing). WriteText draws through the
// text renderer it was given, or only records the text without one.
// Width, height and rows of the window are read at every drawing, so a
// bitmap whose memory moves between drawings is followed.
#pragma once

#include "platform/TextRenderer.h"
#include "platform/WindowCanvas.h"

#include <cstdint>
#include <memory>
#include <string>

class MemoryCanvas final : public WindowCanvas {
public:
    // The window starts black. `text` may be null; it must outlive the
    // canvas otherwise.
    MemoryCanvas(int32_t width, int32_t height, TextRenderer* text = nullptr);
    // Draws into `window`, a 32-bit bitmap that must outlive the canvas.
    explicit MemoryCanvas(TBitmap& window, TextRenderer* text = nullptr);

    void SetFont(uint32_t colour, int32_t height) override;
    void SetBrush(uint32_t colour) override;
    void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void WriteText(int32_t x, int32_t y, std::string_view text) override;

    // What tests and headless runs look at: the window's pixels, how many
    // copies reached it, the last text written and the font's colour.
    TBitmap& Window() { return *window_; }
    int CopyCount() const { return copies_; }
    const std::string& LastText() const { return lastText_; }
    uint32_t FontColour() const { return fontColour_; }

private:
    std::unique_ptr<TMemoryBitmap> owned_;
    TBitmap* window_;
    TextRenderer* text_;
    uint32_t fontColour_ = 0;
    int32_t fontHeight_ = -12;
    uint32_t brushColour_ = 0x00FFFFFF;
    int copies_ = 0;
    std::string lastText_;
};
