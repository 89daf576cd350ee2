// AboutPictureTarget: the bitmap the configuration dialog shows the about
// picture in, as the settings loader sees it.
//
// Resize gives a bitmap of the asked size at 32 bits per pixel, in place of
// whatever the target held before; the target owns it. It gives null when
// such a bitmap cannot be made, and the target then keeps what it held. The
// Windows dialog backs it with its image's bitmap; MemoryAboutPicture keeps a
// TMemoryBitmap (tests, other shells).
#pragma once

#include "platform/TBitmap.h"

#include <cstdint>
#include <memory>

class AboutPictureTarget {
public:
    virtual ~AboutPictureTarget() = default;
    virtual TBitmap* Resize(int32_t width, int32_t height) = 0;
};

class MemoryAboutPicture final : public AboutPictureTarget {
public:
    TBitmap* Resize(int32_t width, int32_t height) override;
    // Null until a picture was drawn.
    TMemoryBitmap* Bitmap() const { return bitmap_.get(); }

private:
    std::unique_ptr<TMemoryBitmap> bitmap_;
};
