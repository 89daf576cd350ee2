// JPEG decoding on Windows.
#include "platform/JpegDecoder.h"

#include "platform/Stream.h"

// FIXME: the Windows build decodes through WIC (an IWICBitmapDecoder over the
// stream's bytes, converted to 24-bit BGR); until that is written every JPEG
// picture fails to load on Windows.
std::unique_ptr<TBitmap> DecodeJpeg(TStream&)
{
    return nullptr;
}
