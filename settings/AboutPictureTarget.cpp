#include "settings/AboutPictureTarget.h"

#include <new>
#include <stdexcept>

TBitmap* MemoryAboutPicture::Resize(int32_t width, int32_t height)
{
    try {
        bitmap_ = std::make_unique<TMemoryBitmap>(width, height, TPixelFormat::Bits32);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::invalid_argument&) {
        return nullptr;
    }
    return bitmap_.get();
}
