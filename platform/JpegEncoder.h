// JpegEncoder: pixels into a baseline JPEG stream, as photos are stored in a
// show made from a folder.
//
// The input is width × height pixels of 4 bytes (red, green, blue, and a
// fourth byte that is ignored), top row first, rows `stride` bytes apart in
// memory the caller owns. The output is a baseline JPEG with a JFIF header
// and nothing else beside the image (no Exif, so no orientation tag: what
// is encoded is taken as upright), YCbCr with 4:2:0 chroma subsampling,
// quantised at `quality` on libjpeg's scale of 1 (smallest) to 100 (best).
// Huffman tables are optimised for the picture where the platform can do it
// (libjpeg-turbo can; WIC cannot). The same input gives the same bytes on the
// same platform.
//
// An empty result when the input is refused (no pixels, a size outside
// 1..MaximumJpegEncodeDimension, a stride shorter than a row, a quality
// outside 1..100) or the encoder fails (memory, the platform refusing). It
// never throws.
//
// Linux: libjpeg-turbo. Windows: WIC's JPEG encoder with its ImageQuality
// option; Wine 8's encoder takes the option but ignores it (it writes the
// same bytes, quantised at quality 75, whatever the quality).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The largest width or height a JPEG stream can record in libjpeg.
constexpr int32_t MaximumJpegEncodeDimension = 65500;

std::optional<std::vector<uint8_t>> EncodeJpeg(const uint8_t* rgba, int32_t width, int32_t height, size_t stride,
                                               int quality);

// The rules of the input shared by the implementations.
bool JpegEncodeInputAccepted(const uint8_t* rgba, int32_t width, int32_t height, size_t stride, int quality);
