// Input: the bytes of a picture file as an author gives it to scrtool pack,
// any bytes at all (PNG, JPEG, WebP, HEIF, or none of them; the last two
// where the build has libwebp and libheif).
//
// Oracles: a failure is a PictureSourceError and nothing else; a decoded
// picture has 1 to MaximumBufferDimension pixels a side, fits
// MaximumPictureBytes, and holds exactly width × height × 4 bytes; the
// orientation reader never throws and gives one of the eight values.
// Inputs are capped at 64 KiB: enough for every header and chunk path, and
// the decoders stay fast.
#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "tools/authoring/PhotoSource.h"
#include "tools/authoring/PictureSource.h"

#include <cstdlib>
#include <span>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16)) return 0;
    const std::span<const uint8_t> bytes(data, size);

    const auto orientation = static_cast<int>(PictureFileOrientation(bytes));
    Check(orientation >= 1 && orientation <= 8);

    RgbaImage image;
    try {
        image = DecodePictureSource(bytes);
    } catch (const PictureSourceError&) {
        return 0;
    }
    Check(image.width >= 1 && image.width <= MaximumBufferDimension);
    Check(image.height >= 1 && image.height <= MaximumBufferDimension);
    Check(PictureWithinMemoryLimit(static_cast<uint64_t>(image.width), static_cast<uint64_t>(image.height)));
    Check(image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    return 0;
}
