// PictureSource: authors' picture files (PNG, JPEG, and where the build has
// their libraries WebP and HEIF) into the pixel rows and palette of a
// picture entry of any depth.
//
// Loading: the file's first bytes decide its kind (PNG signature, a JPEG
// start-of-image marker, a RIFF WEBP header, an ftyp box with a HEIF image
// brand), not its name. PNG goes through PngDecoder, JPEG through the
// platform's DecodeJpeg, WebP through libwebp (WebpPicture.h), HEIF through
// libheif (HeifPicture.h); all give RGBA pixels. A kind this build has no
// decoder for is refused by name. Every decoder refuses a picture above
// MaximumBufferDimension a side or MaximumPictureBytes as RGBA before it
// allocates the picture.
//
// Converting (ConvertPicture): the RGBA picture is first laid over an opaque
// background colour (alpha blended; opaque pixels stay exactly as they are),
// because stored pictures have no transparency. Then, by target depth:
//  - 32: blue, green, red, alpha 255;  24: blue, green, red;
//  - 16: 5-6-5 with blue in the low bits, each channel rounded to the nearest
//    level: round(c × 31 / 255) for red and blue, round(c × 63 / 255) green;
//  - 1, 4, 8: palette indices packed most significant bits first, with a
//    palette of 2^depth entries (blue, green, red, 0), from either
//    - Quantise: the picture's own colours when it has no more than 2^depth
//      of them (exact), else a variance-based median cut: the box with the
//      largest squared error is split at the threshold, on any of the three
//      channels, that leaves the least squared error in the two halves; each
//      box's colour is the pixel-weighted mean, rounded, and four rounds of
//      Lloyd's iteration then move each colour to the mean of the colours
//      nearest to it. Pictures with more than 32768 colours are cut on
//      neighbourhoods of 2 × 2 × 2 (up to 8 × 8 × 8) colours that keep the
//      exact sums of their pixels. Unused entries are black;
//    - Grey: the grey ramp of the pixel buffer (1 bit black and white; 4 bits
//      i × 16 for 0..14 and 255 for 15; 8 bits i), pixels taken by their
//      luma (Rec. 601 weights, rounded).
//    Each pixel takes the nearest palette entry (squared RGB distance for
//    Quantise, distance of grey levels for Grey; the lowest index on ties),
//    optionally with Floyd-Steinberg error diffusion on serpentine rows.
// Every step is integer arithmetic in a fixed order: the same picture and
// options give the same bytes on every machine.
//
// Rows are padded to the stride a pixel buffer of that width and depth has
// (a multiple of 4 bytes); the padding bytes are 0.
#pragma once

#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/PngDecoder.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class PictureSourceError : public std::runtime_error {
public:
    explicit PictureSourceError(const std::string& what) : std::runtime_error(what) {}
};

// The file's kind by its first bytes, whether or not this build decodes it.
enum class PictureFileKind { Png, Jpeg, Webp, Heif, Unknown };
PictureFileKind PictureFileKindOf(std::span<const uint8_t> bytes);

// The name extensions (lower case, with the dot) of the kinds this build
// decodes: .jpg, .jpeg, .png, then .webp and .heic, .heif where the build
// has libwebp and libheif. The one list that folders and manifests go by.
std::span<const std::string_view> PictureFileExtensions();

// A picture file in memory into RGBA. Throws PictureSourceError with a
// one-line message (without a file name).
RgbaImage DecodePictureSource(std::span<const uint8_t> bytes);
// The same for a file; messages start with the file's name.
RgbaImage LoadPictureSource(const std::filesystem::path& path);

// For decoders, on the size a file's header gives, before allocating: throws
// PictureSourceError naming `kind` unless the picture has 1 to
// MaximumBufferDimension pixels a side and width × height × 4 bytes within
// MaximumPictureBytes.
void CheckPictureSourceSize(std::string_view kind, int64_t width, int64_t height);

enum class PaletteChoice { Quantise, Grey };
enum class Dithering { None, FloydSteinberg };

struct PictureConversion {
    int depth = 24;  // 1, 4, 8, 16, 24 or 32
    PaletteChoice palette = PaletteChoice::Quantise;
    Dithering dithering = Dithering::None;
    uint32_t background = 0;  // 0xRRGGBB under partly transparent pixels; the viewer's window is black
};

struct ConvertedPicture {
    int depth = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t stride = 0;           // PictureStride(depth, width)
    std::vector<uint8_t> palette;  // 2^depth × 4 bytes (blue, green, red, 0) for depths up to 8, else empty
    std::vector<uint8_t> rows;     // height × stride bytes, top row first

    // Header fields for an entry of these rows stored as `storage` (raw, LZSS or zlib).
    PictureEntryFields Fields(PictureStorage storage) const;
};

// Throws PictureSourceError for a depth other than 1, 4, 8, 16, 24 or 32, an
// empty picture, one above MaximumPngDimension in either direction, or pixel
// bytes that do not match the size.
ConvertedPicture ConvertPicture(const RgbaImage& image, const PictureConversion& conversion);

// The nearest palette colour to (red, green, blue): the entry with the least
// squared distance, the lowest index among equals. palette holds
// blue, green, red, reserved per entry. The fast search that ConvertPicture
// uses, and the plain scan it must agree with.
class NearestColour {
public:
    explicit NearestColour(std::span<const uint8_t> palette);
    unsigned Find(int red, int green, int blue) const;

private:
    struct Entry {
        int red, green, blue;
        unsigned index;
    };
    std::vector<Entry> byGreen_;  // sorted by green, then index
};
unsigned NearestColourReference(std::span<const uint8_t> palette, int red, int green, int blue);
