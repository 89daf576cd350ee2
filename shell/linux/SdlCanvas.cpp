#include "shell/linux/SdlCanvas.h"

#include <algorithm>
#include <stdexcept>
#include <string>

SdlCanvas::SdlCanvas(SDL_Window* window, int32_t width, int32_t height, TextRenderer* text)
    : memory_(width, height, text)
{
    // Pixels are shown as they are: no filtering when the window is scaled.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    renderer_ = SDL_CreateRenderer(window, -1, 0);
    if (renderer_ == nullptr) throw std::runtime_error(std::string("cannot draw in the window: ") + SDL_GetError());
    // The show's pixels at their size, scaled (keeping the aspect) when the
    // window is resized.
    SDL_RenderSetLogicalSize(renderer_, width, height);
    // RGB888 is 0x00RRGGBB in a 32-bit word: bytes blue, green, red, unused
    // in memory, the screen buffer's own order.
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (texture_ == nullptr) {
        SDL_DestroyRenderer(renderer_);
        throw std::runtime_error(std::string("cannot make the window's picture: ") + SDL_GetError());
    }
    Touch(TRect{0, 0, width, height});  // black at first
}

SdlCanvas::~SdlCanvas()
{
    SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
}

void SdlCanvas::Touch(const TRect& rect)
{
    TMemoryBitmap& window = memory_.Window();
    const TRect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, window.Width()),
                        std::min(rect.bottom, window.Height())};
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
    memory_.CopyRect(target, bitmap, source);
    ++draws_;
    Touch(target);
}

void SdlCanvas::FillRect(const TRect& rect)
{
    memory_.FillRect(rect);
    ++draws_;
    Touch(rect);
}

void SdlCanvas::WriteText(int32_t x, int32_t y, std::string_view text)
{
    memory_.WriteText(x, y, text);
    ++draws_;
    // The text's extent is the renderer's business: count the window from
    // the text's corner on as changed.
    Touch(TRect{x, y, memory_.Window().Width(), memory_.Window().Height()});
}

void SdlCanvas::Present(bool all)
{
    TMemoryBitmap& window = memory_.Window();
    if (all) Touch(TRect{0, 0, window.Width(), window.Height()});
    if (!Changed()) return;
    const SDL_Rect area{dirty_.left, dirty_.top, static_cast<int>(dirty_.Width()), static_cast<int>(dirty_.Height())};
    SDL_UpdateTexture(texture_, &area, window.ScanLine(dirty_.top) + 4 * size_t(dirty_.left),
                      static_cast<int>(window.Stride()));
    dirty_ = TRect{};
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    ++presents_;
}
