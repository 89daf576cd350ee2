// PngDecoder: authors' PNG files into 8-bit RGBA pixels, over zlib alone (the
// Windows cross-build has no image library).
//
// Accepted: every standard form of the format: grey (colour type 0), RGB (2),
// palette (3), grey with alpha (4) and RGB with alpha (6), at every bit depth
// the colour type allows (1, 2, 4, 8, 16), with or without Adam7 interlacing,
// all five row filters, PLTE and tRNS. Ancillary chunks other than tRNS
// (gamma, colour profiles, text, ...) are skipped: pixels come out as stored.
//
// Conversion to 8 bits per channel: samples below 8 bits are scaled to the
// full range (v × 255 / (2^bits − 1)), 16-bit samples are rounded to the
// nearest 8-bit level (v × 255 / 65535, rounded); tRNS makes the matching
// grey or RGB value (compared at the stored bit depth) or palette entry
// transparent; everything else has alpha 255.
//
// Refused, with PngError and a one-line message: anything that is not a
// well-formed PNG: a bad signature, a chunk CRC that does not match, a file
// that ends inside a chunk or before IEND, an IHDR with a width or height of 0
// or above MaximumPngDimension, an invalid colour type / bit depth pair,
// chunks out of their required order, an unknown critical chunk, a palette
// index beyond the palette, an unknown row filter, image data that does not
// inflate to exactly the picture's rows, and pictures above the pixel limit.
// No read or write ever leaves the input or the output buffers.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Pixels as red, green, blue, alpha bytes, rows top first, no row padding.
struct RgbaImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width × height × 4 bytes

    const uint8_t* Pixel(int32_t x, int32_t y) const
    {
        return pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    }
};

class PngError : public std::runtime_error {
public:
    explicit PngError(const std::string& what) : std::runtime_error(what) {}
};

// The largest width or height accepted: the largest pixel buffer the saver
// can hold.
constexpr int32_t MaximumPngDimension = 16384;

struct PngDecodeOptions {
    // Pictures with more pixels are refused before anything picture-sized is
    // allocated (the fuzzer lowers this to stay within its memory limit).
    uint64_t maximumPixels = uint64_t{MaximumPngDimension} * MaximumPngDimension;
    // Off only for fuzzing, where random bytes never carry a matching CRC.
    bool checkCrc = true;
};

// True when bytes start with the 8-byte PNG signature.
bool HasPngSignature(std::span<const uint8_t> bytes);

// Throws PngError (never anything else for bad data; std::bad_alloc when
// memory runs out).
RgbaImage DecodePng(std::span<const uint8_t> bytes, const PngDecodeOptions& options = {});
