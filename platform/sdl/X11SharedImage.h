// X11SharedImage: a 32-bit picture in memory that the X server reads
// directly (MIT shared memory), the size of the window it is shown in.
//
// The slide show keeps its screen buffer here when it can: a transition
// frame is drawn into it and shown with one request naming the changed
// rectangle, without copying a single pixel on this side. The pixels are
// bytes blue, green, red, unused, rows top down, the screen buffer's own
// layout; Make refuses (null) when the window's visual has another layout,
// when the window is not on X11, or when the server cannot share memory
// with this process (a remote display, no extension).
//
// The memory belongs to this object, not to SDL: a resized or re-made SDL
// surface never takes it away from under the screen buffer.
#pragma once

#include "platform/TBitmap.h"
#include "platform/TRect.h"

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <memory>

class X11SharedImage final : public TBitmap {
public:
    static std::unique_ptr<X11SharedImage> Make(SDL_Window* window, int32_t width, int32_t height);
    ~X11SharedImage() override;
    X11SharedImage(const X11SharedImage&) = delete;
    X11SharedImage& operator=(const X11SharedImage&) = delete;

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    TPixelFormat PixelFormat() const override { return TPixelFormat::Bits32; }
    uint8_t* ScanLine(int32_t row) override;

    // Shows `rect` of the picture at the same place of the window.
    void Put(const TRect& rect);
    // Fills `rect` of the window (not of the picture) with black.
    void ClearWindow(const TRect& rect);

    // Called from the destructor, for whoever keeps a pointer to this.
    void SetGoneNotice(std::function<void()> notice) { goneNotice_ = std::move(notice); }

private:
    struct Parts;
    X11SharedImage(std::unique_ptr<Parts> parts, int32_t width, int32_t height);

    std::unique_ptr<Parts> parts_;
    int32_t width_;
    int32_t height_;
    std::function<void()> goneNotice_;
};
