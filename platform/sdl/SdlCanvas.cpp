#include "platform/sdl/SdlCanvas.h"

#include "platform/sdl/X11SharedImage.h"

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

TRect Union(const TRect& a, const TRect& b)
{
    if (a.Width() <= 0 || a.Height() <= 0) return b;
    return TRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                 std::max(a.bottom, b.bottom)};
}

}  // namespace

// The pixels the canvas draws on: the window's surface, or a bitmap in
// memory made the first time the surface cannot serve.
class SdlCanvas::Pixels final : public TBitmap {
public:
    Pixels(int32_t width, int32_t height) : width_(width), height_(height) {}
    ~Pixels() override { SDL_FreeSurface(memorySurface_); }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    TPixelFormat PixelFormat() const override { return TPixelFormat::Bits32; }
    uint8_t* ScanLine(int32_t row) override
    {
        return surface_ != nullptr ? static_cast<uint8_t*>(surface_->pixels) + size_t(row) * size_t(surface_->pitch)
                                   : memory_->ScanLine(row);
    }

    // Returns true when this surface is new to the canvas (its pixels are
    // whatever SDL left in them).
    bool UseSurface(SDL_Surface* surface)
    {
        const bool fresh = surface != lastSurface_;
        lastSurface_ = surface;
        surface_ = surface;
        return fresh;
    }
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

    // After a resize SDL makes a new surface, maybe at the old address.
    void ForgetSurface() { surface_ = nullptr; lastSurface_ = nullptr; }
    bool InSurface() const { return surface_ != nullptr; }
    bool InMemory() const { return memorySurface_ != nullptr; }
    SDL_Surface* MemorySurface() const { return memorySurface_; }

private:
    int32_t width_;
    int32_t height_;
    SDL_Surface* surface_ = nullptr;  // the window's, owned by SDL
    const SDL_Surface* lastSurface_ = nullptr;  // only compared, never used
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
}

SdlCanvas::~SdlCanvas()
{
    if (screen_ != nullptr) screen_->SetGoneNotice(nullptr);
}

std::unique_ptr<TBitmap> SdlCanvas::MakeScreenBitmap(int32_t width, int32_t height)
{
    if (scaling_ == Scaling::Fixed && screen_ == nullptr && width == width_ && height == height_) {
        if (std::unique_ptr<X11SharedImage> shared = X11SharedImage::Make(window_, width, height)) {
            screen_ = shared.get();
            screen_->SetGoneNotice([this] { screen_ = nullptr; });
            return shared;
        }
    }
    return std::make_unique<TMemoryBitmap>(width, height, TPixelFormat::Bits32);
}

void SdlCanvas::WindowResized()
{
    pixels_->ForgetSurface();
    repaint_ = true;
}

void SdlCanvas::Aim()
{
    if (scaling_ == Scaling::Fixed && !pixels_->InMemory()) {
        // SDL makes the surface again after a resize; the old one is gone
        // then, so it is asked for before every drawing.
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (surface != nullptr && surface->w == width_ && surface->h == height_ && ScreenBufferOrder(*surface)) {
            if (pixels_->UseSurface(surface)) {
                for (int32_t row = 0; row < height_; ++row) std::memset(pixels_->ScanLine(row), 0, size_t(width_) * 4);
                repaint_ = true;
            }
            return;
        }
    }
    // Once in memory the show stays there: a surface that changed once may
    // change again, and the memory (black at first) holds the whole picture
    // for it.
    if (!pixels_->InMemory()) repaint_ = true;
    pixels_->UseMemory();
}

void SdlCanvas::Touch(const TRect& rect)
{
    const TRect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
                        std::min(rect.bottom, height_)};
    if (Empty(clipped)) return;
    dirty_ = Union(dirty_, clipped);
    // Drawn over: a repaint must not put the screen buffer back on top.
    if (clipped.left <= fromScreen_.left && clipped.top <= fromScreen_.top && clipped.right >= fromScreen_.right &&
        clipped.bottom >= fromScreen_.bottom)
        fromScreen_ = TRect{};
}

void SdlCanvas::CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source)
{
    ++draws_;
    if (screen_ != nullptr && &bitmap == screen_ && target == source) {
        // Drawings before this one reach the window first.
        Present();
        screen_->Put(target);
        fromScreen_ = Union(fromScreen_, target);
        return;
    }
    Aim();
    canvas_.CopyRect(target, bitmap, source);
    Touch(target);
}

void SdlCanvas::FillRect(const TRect& rect)
{
    ++draws_;
    Aim();
    canvas_.FillRect(rect);
    Touch(rect);
}

void SdlCanvas::WriteText(int32_t x, int32_t y, std::string_view text)
{
    ++draws_;
    Aim();
    canvas_.WriteText(x, y, text);
    // The text's extent is the renderer's business: count the window from
    // the text's corner on as changed.
    Touch(TRect{x, y, width_, height_});
}

void SdlCanvas::SendSurface(const TRect& rect)
{
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr) return;  // the window is gone; the loop ends soon
    SDL_Rect area{rect.left, rect.top, static_cast<int>(rect.Width()), static_cast<int>(rect.Height())};
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
}

void SdlCanvas::Repaint()
{
    const TRect all{0, 0, width_, height_};
    if (screen_ != nullptr && !pixels_->InSurface() && !pixels_->InMemory()) {
        // Only the screen buffer was ever shown: no surface is needed.
        screen_->ClearWindow(all);
    } else {
        if (!pixels_->InSurface() && !pixels_->InMemory()) Aim();  // black pixels to send
        SendSurface(all);
    }
    if (screen_ != nullptr && !Empty(fromScreen_)) screen_->Put(fromScreen_);
}

void SdlCanvas::Present(bool all)
{
    if (all || repaint_) {
        Repaint();
        repaint_ = false;
        dirty_ = TRect{};
        return;
    }
    if (Empty(dirty_)) return;
    const TRect rect = dirty_;
    dirty_ = TRect{};
    SendSurface(rect);
}
