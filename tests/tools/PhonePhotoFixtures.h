// WebP and HEIF files made by the tests themselves, with libwebp's and
// libheif's encoders, and the container pieces around them written by hand:
// an EXIF chunk, a one-frame animation, headers that claim other sizes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// width × height pixels, 4 bytes each (red, green, blue, alpha): the four
// coloured quarters of PhotoFixtures.h, opaque.
std::vector<uint8_t> QuartersRgba(int width, int height);

enum class WebpCoding { Lossy, Lossless };
// A simple WebP file (RIFF, then one VP8 or VP8L chunk, or VP8X and ALPH
// before VP8 for lossy pictures with alpha). Throws std::runtime_error when
// libwebp refuses.
std::vector<uint8_t> EncodeTestWebp(int width, int height, const std::vector<uint8_t>& rgba, WebpCoding coding);

enum class ExifChunkForm { Bare, ExifPrefixed };
// `webp` in the extended form (a VP8X chunk with the Exif flag) with an EXIF
// chunk holding `exifBlock` after the image data; ExifPrefixed puts
// "Exif\0\0" before the block, as some writers do.
std::vector<uint8_t> WebpWithExif(const std::vector<uint8_t>& webp, std::span<const uint8_t> exifBlock,
                                  ExifChunkForm form = ExifChunkForm::Bare);

// An animation of one frame: VP8X (animation flag) with the given canvas,
// ANIM, and one ANMF at (0, 0) holding the image chunk of the simple
// lossless file `frameWebp`.
std::vector<uint8_t> WebpAnimationOfOneFrame(const std::vector<uint8_t>& frameWebp, uint32_t canvasWidth,
                                             uint32_t canvasHeight);

// A lossless WebP header (RIFF, VP8L with its 5-byte header) claiming
// width × height, with a few bytes of image data after it.
std::vector<uint8_t> WebpLosslessHeaderOnly(uint32_t width, uint32_t height);

// Why no HEIF file can be made here (libheif without an HEVC encoder); empty
// when one can.
std::string WhyNoHeifEncoder();

// A HEIF file of one HEVC-coded picture (RGB: red, green, blue a pixel),
// with the irot/imir of the Exif-style orientation 1..8 and, when not empty,
// an Exif block. Throws std::runtime_error when libheif cannot make it.
std::vector<uint8_t> EncodeTestHeif(int width, int height, const std::vector<uint8_t>& rgb, int orientation,
                                    std::span<const uint8_t> exifBlock);

// The RGB samples (red, green, blue) of the quarters.
std::vector<uint8_t> QuartersRgb(int width, int height);

// The byte offset of the first four-character box or chunk type in file,
// or std::string::npos.
size_t FindFourCc(const std::vector<uint8_t>& file, const char* fourCc);
