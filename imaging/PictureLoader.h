// Picture loading: picture entries of the archive ("SGBm" group) into pixel
// buffers.
//
// An entry starts with a 32-byte header (depth, palette count, stride,
// width, height, storage kind), then the palette (count × 4 bytes: blue,
// green, red, reserved), then the payload: raw rows (kind 0), a 4-byte packed
// length and LZSS data (1) or zlib data (2), or a JPEG stream (3).
//
// LoadPicture fails (false) for anything it cannot load whole and safely:
// a short entry, an unknown storage kind, a width or height of 0 or above
// MaximumBufferDimension, a picture over MaximumPictureBytes, a stride or
// decoded size that does not fit the buffer's rows, a JPEG stream whose frame
// is not the header's width and height, a codec or decoder failure. After a
// failure the buffer may hold a partly filled picture.
//
// Memory: a picture may take at most MaximumPictureBytes (256 MiB) as a
// 32-bit buffer, width × height × 4 bytes, whatever its depth and storage:
// 8192 × 8192 is the largest square that passes. The 32-bit buffer is the
// widest any loading or placing of a picture makes, so this one rule bounds
// every buffer: the picture buffer at any depth, the packed rows, the JPEG
// decoder's output (and libjpeg's working memory; WIC keeps its own), the
// staging buffer of a clipped placement. The bound is checked on the header, before anything is
// allocated, so what a picture costs follows from what it can show rather
// than from what a few bytes of header claim.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>

constexpr int PictureHeaderSize = 32;

// 256 MiB: the most memory any one buffer of a picture may take.
constexpr uint64_t MaximumPictureBytes = uint64_t{256} << 20;

// A picture's size as a 32-bit buffer (its rows need no padding at 4 bytes a
// pixel).
constexpr uint64_t PictureBytes(uint64_t width, uint64_t height)
{
    return width * height * 4;
}

constexpr bool PictureWithinMemoryLimit(uint64_t width, uint64_t height)
{
    return PictureBytes(width, height) <= MaximumPictureBytes;
}

static_assert(PictureWithinMemoryLimit(8192, 8192) && !PictureWithinMemoryLimit(8192, 8193) &&
              PictureWithinMemoryLimit(16384, 4096) && !PictureWithinMemoryLimit(16384, 16384));

struct PictureHeader {
    uint8_t depth = 0;
    uint16_t paletteCount = 0;
    uint32_t stride = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t storageKind = 0;

    static PictureHeader Parse(const uint8_t bytes[PictureHeaderSize]);
};

struct PictureLocator {
    int64_t groupIndex = 0;
    int64_t entryIndex = 0;
};

enum class PictureDepth { AsStored, Force32 };
enum class PictureParts { Whole, HeaderOnly };

// header, when not null, receives the 32 header bytes.
bool LoadPicture(ResArchive& archive, PictureLocator locator, DirectBmpControl& buffer, PictureDepth depth,
                 PictureParts parts, uint8_t* header);
// The JPEG stream from the cursor to the entry's end into an allocated
// buffer; its frame must be the buffer's width and height.
bool LoadJpegPicture(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer);
