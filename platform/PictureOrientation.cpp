// The part of reading an orientation that is the same on every platform:
// finding the Exif block in a JPEG stream. The block itself is read by the
// platform's own Exif reader (posix/, win32/PictureOrientation.cpp).
#include "platform/PictureOrientation.h"

#include "platform/JpegExifSegment.h"

int ReadJpegOrientation(std::span<const uint8_t> jpeg)
{
    const std::span<const uint8_t> block = FindJpegExifBlock(jpeg);
    return block.empty() ? UprightOrientation : ReadExifBlockOrientation(block);
}
