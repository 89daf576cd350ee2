#include "platform/JpegExifSegment.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr uint8_t MarkerStart = 0xFF;
constexpr uint8_t StartOfImage = 0xD8;
constexpr uint8_t EndOfImage = 0xD9;
constexpr uint8_t StartOfScan = 0xDA;
constexpr uint8_t Application1 = 0xE1;
constexpr uint8_t ExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

// Markers that stand alone, without a length: TEM and the restart markers
// (which belong in image data, but cost nothing to step over here), and a
// repeated SOI.
bool StandsAlone(uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= StartOfImage);
}

}  // namespace

std::span<const uint8_t> FindJpegExifBlock(std::span<const uint8_t> jpeg)
{
    if (jpeg.size() < 2 || jpeg[0] != MarkerStart || jpeg[1] != StartOfImage) return {};
    size_t at = 2;
    while (at < jpeg.size()) {
        if (jpeg[at] != MarkerStart) return {};
        // A marker may be preceded by any number of fill bytes 0xFF.
        while (at < jpeg.size() && jpeg[at] == MarkerStart) ++at;
        if (at == jpeg.size()) return {};
        const uint8_t marker = jpeg[at++];
        // Exif data comes before the image data; 0xFF 0x00 is a stuffed data
        // byte, never a marker.
        if (marker == StartOfScan || marker == EndOfImage || marker == 0x00) return {};
        if (StandsAlone(marker)) continue;
        if (jpeg.size() - at < 2) return {};
        // The length counts its own two bytes.
        const size_t length = (size_t{jpeg[at]} << 8) | jpeg[at + 1];
        if (length < 2 || length > jpeg.size() - at) return {};
        const std::span<const uint8_t> payload = jpeg.subspan(at + 2, length - 2);
        if (marker == Application1 && payload.size() >= sizeof ExifHeader &&
            std::memcmp(payload.data(), ExifHeader, sizeof ExifHeader) == 0)
            return payload.subspan(sizeof ExifHeader);
        at += length;
    }
    return {};
}
