#include "platform/JpegEncoder.h"

bool JpegEncodeInputAccepted(const uint8_t* rgba, int32_t width, int32_t height, size_t stride, int quality)
{
    return rgba != nullptr && width >= 1 && height >= 1 && width <= MaximumJpegEncodeDimension &&
           height <= MaximumJpegEncodeDimension && stride >= static_cast<size_t>(width) * 4 && quality >= 1 &&
           quality <= 100;
}
