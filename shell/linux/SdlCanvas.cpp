#include "shell/linux/SdlCanvas.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// Where a show of width x height goes in a window of the given size: as
// large as fits with its aspect kept, centred.
SDL_Rect FittedArea(int32_t width, int32_t height, int windowWidth, int windowHeight)
{
    const int64_t across = int64_t{windowHeight} * width;
    const int64_t down = int64_t{windowWidth} * height;
    SDL_Rect area{0, 0, windowWidth, windowHeight};
    if (across < down)
        area.w = static_cast<int>(across / height);  // bars left and right
    else
        area.h = static_cast<int>(down / width);  // bars above and below
    area.x = (windowWidth - area.w) / 2;
    area.y = (windowHeight - area.h) / 2;
    return area;
}

// Formats whose bytes in memory are blue, green, red and one ignored: the
// screen buffer's own order.
bool ScreenBufferOrder(const SDL_Surface& surface)
{
    return surface.format->format == SDL_PIXELFORMAT_RGB888 || surface.format->format == SDL_PIXELFORMAT_ARGB8888;
}

}  // namespace

// The show's pixels as the canvas draws them: the window's surface, or a
// bitmap in memory made the first time the surface cannot serve.
class SdlCanvas::Pixels final : public TBitmap {
public:
    Pixels(int32_t width, int32_t height) : width_(width), height_(height) {}

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    TPixelFormat PixelFormat() const override { return TPixelFormat::Bits32; }
    uint8_t* ScanLine(int32_t row) override
    {
        return surface_ != nullptr ? static_cast<uint8_t*>(surface_->pixels) + size_t(row) * size_t(surface_->pitch)
                                   : memory_->ScanLine(row);
    }

    void UseSurface(SDL_Surface* surface) { surface_ = surface; }
    void UseMemory()
    {
        surface_ = nullptr;
        if (memory_ != nullptr) return;
        memory_ = std::make_unique<TMemoryBitmap>(width_, height_, TPixelFormat::Bits32,
                                                  TMemoryBitmap::RowOrder::TopDown);
        // SDL sees the same memory: presenting blits from it.
        memorySurface_ = SDL_CreateRGBSurfaceWithFormatFrom(memory_->ScanLine(0), width_, height_, 32,
                                                            static_cast<int>(memory_->Stride()),
                                                            SDL_PIXELFORMAT_RGB888);
        if (memorySurface_ == nullptr)
            throw std::runtime_error(std::string("cannot draw in the window: ") + SDL_GetError());
    }
    ~Pixels() override { SDL_FreeSurface(memorySurface_); }

    bool InSurface() const { return surface_ != nullptr; }
    SDL_Surface* MemorySurface() const { return memorySurface_; }

private:
    int32_t width_;
    int32_t height_;
    SDL_Surface* surface_ = nullptr;  // the window's, owned by SDL
    std::unique_ptr<TMemoryBitmap> memory_;
    SDL_Surface* memorySurface_ = nullptr;
};

SdlCanvas::SdlCanvas(SDL_Window* window, int32_t width, int32_t height, TextRenderer* text, Scaling scaling)
    : window_(window),
      width_(width),
      height_(height),
      scaling_(scaling),
      pixels_(std::make_unique<Pixels>(width, height)),
      canvas_(*pixels_, text)
{
    Aim();
    // Black at first, whichever pixels the show has (a window's surface
    // may start with anything).
    for (int32_t row = 0; row < height; ++row) std::memset(pixels_->ScanLine(row), 0, size_t(width) * 4);
    Touch(TRect{0, 0, width, height});
}

SdlCanvas::~SdlCanvas() = default;

bool SdlCanvas::DrawsIntoWindow() const
{
    return pixels_->InSurface();
}

void SdlCanvas::Aim()
{
    if (scaling_ == Scaling::Fixed) {
        // SDL makes the surface again after a resize; the old one is gone
        // then, so it is asked for before every drawing.
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (surface != nullptr && surface->w == width_ && surface->h == height_ && ScreenBufferOrder(*surface) &&
            !pixels_->MemorySurface()) {
            pixels_->UseSurface(surface);
            return;
        }
    }
    // Once in memory the show stays there: a surface that changed once may
    // change again, and the memory holds the whole picture for it.
    pixels_->UseMemory();
}

void SdlCanvas::Touch(const TRect& rect)
{
    const TRect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
                        std::min(rect.bottom, height_)};
    if (clipped.Width() <= 0 || clipped.Height() <= 0) return;
    if (!Changed()) {
        dirty_ = clipped;
        return;
    }
    dirty_ = TRect{std::min(dirty_.left, clipped.left), std::min(dirty_.top, clipped.top),
                   std::max(dirty_.right, clipped.right), std::max(dirty_.bottom, clipped.bottom)};
}

void SdlCanvas::CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source)
{
    Aim();
    canvas_.CopyRect(target, bitmap, source);
    ++draws_;
    Touch(target);
}

void SdlCanvas::FillRect(const TRect& rect)
{
    Aim();
    canvas_.FillRect(rect);
    ++draws_;
    Touch(rect);
}

void SdlCanvas::WriteText(int32_t x, int32_t y, std::string_view text)
{
    Aim();
    canvas_.WriteText(x, y, text);
    ++draws_;
    // The text's extent is the renderer's business: count the window from
    // the text's corner on as changed.
    Touch(TRect{x, y, width_, height_});
}

void SdlCanvas::Present(bool all)
{
    if (all) Touch(TRect{0, 0, width_, height_});
    if (!Changed()) return;
    SDL_Rect area{dirty_.left, dirty_.top, static_cast<int>(dirty_.Width()), static_cast<int>(dirty_.Height())};
    dirty_ = TRect{};
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr) return;  // the window is gone; the loop ends soon
    if (pixels_->InSurface()) {
        // A surface made again since the last drawing starts black; the
        // next drawing moves the show to memory (Aim).
        SDL_UpdateWindowSurfaceRects(window_, &area, 1);
    } else if (surface->w == width_ && surface->h == height_) {
        SDL_BlitSurface(pixels_->MemorySurface(), &area, surface, &area);
        SDL_UpdateWindowSurfaceRects(window_, &area, 1);
    } else {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        SDL_Rect fitted = FittedArea(width_, height_, surface->w, surface->h);
        SDL_BlitScaled(pixels_->MemorySurface(), nullptr, surface, &fitted);
        SDL_UpdateWindowSurface(window_);
    }
    ++presents_;
}
