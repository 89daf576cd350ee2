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
// MaximumBufferDimension, a stride or decoded size that does not fit the
// buffer's rows, a codec or decoder failure. After a failure the buffer may
// hold a partly filled picture.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>

constexpr int PictureHeaderSize = 32;

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
bool LoadJpegPicture(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer);
