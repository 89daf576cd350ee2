// SdlCanvas: the viewer window's canvas on SDL. The window's pixels live in
// memory (MemoryCanvas: the same copies, fills and text as in tests); what
// the show changed since the last Present is uploaded to a streaming
// texture of the same pixel order (bytes blue, green, red, unused), so no
// pixel is converted, and shown. Nothing is presented when nothing changed.
#pragma once

#include "platform/MemoryCanvas.h"

#include <SDL.h>

#include <cstdint>

class SdlCanvas final : public WindowCanvas {
public:
    // Throws std::runtime_error with SDL's text when the renderer or the
    // texture cannot be made.
    SdlCanvas(SDL_Window* window, int32_t width, int32_t height, TextRenderer* text);
    ~SdlCanvas() override;
    SdlCanvas(const SdlCanvas&) = delete;
    SdlCanvas& operator=(const SdlCanvas&) = delete;

    void SetFont(uint32_t colour, int32_t height) override { memory_.SetFont(colour, height); }
    void SetBrush(uint32_t colour) override { memory_.SetBrush(colour); }
    void CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void WriteText(int32_t x, int32_t y, std::string_view text) override;

    bool Changed() const { return dirty_.Width() > 0 && dirty_.Height() > 0; }
    // Uploads the changed part and shows the window; with `all`, the whole
    // window (after it was exposed or resized).
    void Present(bool all = false);
    int Presents() const { return presents_; }
    // Copies, fills and texts drawn so far.
    int Draws() const { return draws_; }

private:
    void Touch(const TRect& rect);

    MemoryCanvas memory_;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    TRect dirty_;
    int presents_ = 0;
    int draws_ = 0;
};
