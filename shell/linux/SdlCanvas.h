// SdlCanvas: the viewer window's canvas on SDL, without a renderer, a
// texture or OpenGL: it draws into the window's own surface
// (SDL_GetWindowSurface, on X11 a shared-memory image of the window) and
// sends the changed rectangle to the window when presented. A frame of a
// fade is then one copy (the screen buffer into the window), and nothing
// is sent while nothing changes.
//
// Drawing goes straight into the surface while it has the show's size and
// the screen buffer's byte order (blue, green, red, unused). A window that
// may be resized (`Scaling::Fit`), or a surface of another size or pixel
// format, gets the show drawn into memory instead; presenting copies it
// over, converting the pixels when needed, and scales it to fit a window
// of another size (nearest pixel, aspect kept, black bars).
#pragma once

#include "platform/MemoryCanvas.h"

#include <SDL.h>

#include <cstdint>
#include <memory>

class SdlCanvas final : public WindowCanvas {
public:
    enum class Scaling { Fixed, Fit };

    // The window must outlive the canvas.
    SdlCanvas(SDL_Window* window, int32_t width, int32_t height, TextRenderer* text, Scaling scaling);
    ~SdlCanvas() override;
    SdlCanvas(const SdlCanvas&) = delete;
    SdlCanvas& operator=(const SdlCanvas&) = delete;

    void SetFont(uint32_t colour, int32_t height) override { canvas_.SetFont(colour, height); }
    void SetBrush(uint32_t colour) override { canvas_.SetBrush(colour); }
    void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void WriteText(int32_t x, int32_t y, std::string_view text) override;

    bool Changed() const { return dirty_.Width() > 0 && dirty_.Height() > 0; }
    // Sends the changed part to the window; with `all`, the whole window
    // (after it was exposed or resized).
    void Present(bool all = false);
    int Presents() const { return presents_; }
    // Copies, fills and texts drawn so far.
    int Draws() const { return draws_; }
    // Whether drawing goes straight into the window's surface.
    bool DrawsIntoWindow() const;

private:
    class Pixels;

    // Points the drawing at the window's surface or at memory, whichever
    // holds the show now; called before every drawing.
    void Aim();
    void Touch(const TRect& rect);

    SDL_Window* window_;
    int32_t width_;
    int32_t height_;
    Scaling scaling_;
    std::unique_ptr<Pixels> pixels_;
    MemoryCanvas canvas_;
    TRect dirty_;
    int presents_ = 0;
    int draws_ = 0;
};
