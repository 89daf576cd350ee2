// SdlCanvas: the viewer window's canvas on SDL, without a renderer, a
// texture or OpenGL.
//
// The show's screen buffer is made here (MakeScreenBitmap). In a window of
// fixed size on X11 it lives in memory shared with the X server
// (X11SharedImage), and copying from it to the window is one request for
// the rectangle, with no copy on this side: a fade frame costs only its
// blend. Anything else drawn on the window (the banner, a fill, a copy from
// another bitmap) goes into the window's own surface (SDL_GetWindowSurface,
// also shared memory on X11) and is sent when presented; the order of
// drawings is kept. Without shared memory, the screen buffer is ordinary
// memory and copies from it go into the surface too.
//
// A window that may be resized (`Scaling::Fit`), or a surface of another
// size or pixel format, gets the show drawn into memory instead; presenting
// copies it over, converting the pixels when needed, and scales it to fit
// a window of another size (nearest pixel, aspect kept, black bars).
// Nothing is sent while nothing changes.
#pragma once

#include "platform/MemoryCanvas.h"

#include <SDL.h>

#include <cstdint>
#include <memory>

class X11SharedImage;

class SdlCanvas final : public WindowCanvas {
public:
    enum class Scaling { Fixed, Fit };

    // The window must outlive the canvas.
    SdlCanvas(SDL_Window* window, int32_t width, int32_t height, TextRenderer* text, Scaling scaling);
    ~SdlCanvas() override;
    SdlCanvas(const SdlCanvas&) = delete;
    SdlCanvas& operator=(const SdlCanvas&) = delete;

    // The window-sized 32-bit screen buffer of the show (see above). It may
    // outlive the canvas, but is no longer shown then.
    std::unique_ptr<TBitmap> MakeScreenBitmap(int32_t width, int32_t height);

    void SetFont(uint32_t colour, int32_t height) override { canvas_.SetFont(colour, height); }
    void SetBrush(uint32_t colour) override { canvas_.SetBrush(colour); }
    void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void WriteText(int32_t x, int32_t y, std::string_view text) override;

    // Whether something drawn has yet to be sent to the window.
    bool Changed() const { return repaint_ || !Empty(dirty_); }
    // Sends what changed to the window; with `all`, repaints the whole
    // window (after it was exposed or resized).
    void Present(bool all = false);
    // The window's size changed: its surface is made again.
    void WindowResized();
    // Copies, fills and texts drawn so far.
    int Draws() const { return draws_; }

private:
    class Pixels;

    static bool Empty(const TRect& rect) { return rect.Width() <= 0 || rect.Height() <= 0; }
    // Points the drawing at the window's surface or at memory, whichever
    // holds the show now; called before every drawing on the surface.
    void Aim();
    void Touch(const TRect& rect);
    void SendSurface(const TRect& rect);
    void Repaint();

    SDL_Window* window_;
    int32_t width_;
    int32_t height_;
    Scaling scaling_;
    std::unique_ptr<Pixels> pixels_;
    MemoryCanvas canvas_;
    // The screen buffer in shared memory, while it exists.
    X11SharedImage* screen_ = nullptr;
    // Of the window: the part last shown from the screen buffer, the part
    // drawn on the surface but not sent yet.
    TRect fromScreen_;
    TRect dirty_;
    bool repaint_ = true;  // nothing was ever sent
    int draws_ = 0;
};
