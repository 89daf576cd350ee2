// PhotoSource: picture files (JPEG, PNG, WebP or HEIF) made ready the way
// photos need: turned upright by the orientation they carry, and shrunk to
// fit a size.
//
// Orientation: a JPEG's from its Exif segment, a PNG's from its eXIf chunk,
// a WebP's from its EXIF chunk (platform/PictureOrientation.h), all eight
// values applied (PhotoTransform.h); a HEIF comes from its decoder already
// turned by its own rotation boxes. Shrinking keeps the aspect ratio
// (FitWithin) and averages areas exactly (AreaShrinker). A JPEG at least
// twice the size needed is decoded already scaled by 1/2, 1/4 or 1/8 (the
// decoder's DCT scaling) and its rows shrunk as they arrive: the full-size
// picture is never held. Transparent pixels are laid over black, as the
// viewer's window is black.
//
// PreparePhoto makes the JPEG stream of storage "photo": the file's own
// bytes when it is a JPEG that needs neither turning nor shrinking (so it is
// identical whichever machine packed it), else the upright, fitted picture
// encoded at the given quality (platform/JpegEncoder.h; no metadata, so the
// saver shows it as it is). A picture larger than the saver may load is
// shrunk to the largest size it takes.
//
// Every failure throws PictureSourceError with a one-line reason that does
// not name the file (callers put its name in front): damaged or truncated
// data, a kind that is neither JPEG nor PNG, a picture over the decoder's
// bounds.
#pragma once

#include "tools/authoring/PhotoTransform.h"
#include "tools/authoring/PngDecoder.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct PhotoOptions {
    std::optional<PictureSize> maxSize;  // none: as large as the file
    int quality = 90;                    // 1..100
};

struct PreparedPhoto {
    std::vector<uint8_t> jpeg;  // the stream to store
    PictureSize size;           // its frame size
    PictureSize upright;        // the file's picture, turned upright
    PhotoOrientation orientation = PhotoOrientation::Upright;
    bool keptAsIs = false;      // jpeg is the file's own bytes
};

PreparedPhoto PreparePhoto(std::span<const uint8_t> file, const PhotoOptions& options);

// The file's picture upright and within maxSize, as RGBA with its alpha:
// for the storages that keep pixels. A picture that needs neither comes
// back exactly as DecodePictureSource gives it.
RgbaImage LoadUprightPicture(std::span<const uint8_t> file, std::optional<PictureSize> maxSize);

// The orientation the file carries; Upright when it carries none.
PhotoOrientation PictureFileOrientation(std::span<const uint8_t> file);

// The payload of a PNG's eXIf chunk (a TIFF-structured Exif block), or an
// empty span. The chunks are walked by their lengths up to IDAT; nothing
// outside png is read, and a damaged walk finds nothing.
std::span<const uint8_t> PngExifBlock(std::span<const uint8_t> png);
