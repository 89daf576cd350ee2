// Input: any bytes, decoded as a PNG file. CRCs are not checked here (the
// fuzzer cannot make matching ones, and every mutation would stop at the
// first chunk); the unit tests cover the check itself. Pictures are limited
// to 4 Mi pixels, which the decoder refuses before allocating anything
// picture-sized, so a run stays far below -rss_limit_mb=2048.
//
// Oracle: a decoded picture has its size within the limits and exactly
// width × height × 4 bytes; with CRCs checked the same bytes give the same
// pixels or a refusal. Small pictures are also converted to a quantised
// 8-bit and a dithered 1-bit grey picture, whose rows must fill stride ×
// height exactly.
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/PngDecoder.h"

#include <cstdlib>
#include <span>

namespace {

constexpr uint64_t MaximumPixels = uint64_t{4} << 20;
// The quantiser sorts every pixel's colour: keep it to small pictures so
// that a run stays well inside -timeout=10.
constexpr uint64_t MaximumConvertedPixels = uint64_t{64} << 10;

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    PngDecodeOptions options;
    options.maximumPixels = MaximumPixels;
    options.checkCrc = false;
    RgbaImage image;
    try {
        image = DecodePng(bytes, options);
    } catch (const PngError&) {
        return 0;
    }
    Check(image.width >= 1 && image.width <= MaximumPngDimension);
    Check(image.height >= 1 && image.height <= MaximumPngDimension);
    const uint64_t pixels = uint64_t(image.width) * uint64_t(image.height);
    Check(pixels <= MaximumPixels);
    Check(image.pixels.size() == pixels * 4);

    options.checkCrc = true;
    try {
        Check(DecodePng(bytes, options).pixels == image.pixels);
    } catch (const PngError&) {
    }

    if (pixels <= MaximumConvertedPixels) {
        for (const PictureConversion& conversion :
             {PictureConversion{8, PaletteChoice::Quantise, Dithering::None, 0},
              PictureConversion{1, PaletteChoice::Grey, Dithering::FloydSteinberg, 0x808080}}) {
            const ConvertedPicture picture = ConvertPicture(image, conversion);
            Check(picture.rows.size() == uint64_t{picture.stride} * uint64_t(image.height));
            Check(picture.palette.size() == (size_t{4} << conversion.depth));
        }
    }
    return 0;
}
