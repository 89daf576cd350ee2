// Input: bytes read by the orientation readers three ways: as a JPEG
// stream, as a bare Exif block (a PNG eXIf chunk), and as the block of an
// APP1 Exif segment in a small JPEG stream built around it here.
//
// Oracles: every orientation is 1 to 8; the wrapped block reads as the bare
// block does (the walk to the segment hands over exactly its bytes).
#include "platform/PictureOrientation.h"

#include <cstdlib>
#include <span>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

bool Valid(int orientation)
{
    return orientation >= 1 && orientation <= 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    Check(Valid(ReadJpegOrientation(bytes)));
    const int bare = ReadExifBlockOrientation(bytes);
    Check(Valid(bare));

    // SOI, APP1 with "Exif\0\0" and the block, EOI.
    if (size > 0xFFFF - 2 - 6) return 0;
    const size_t length = 2 + 6 + size;
    std::vector<uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                              'E',  'x',  'i',  'f',  0,    0};
    jpeg.insert(jpeg.end(), data, data + size);
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    Check(ReadJpegOrientation(jpeg) == bare);
    return 0;
}
