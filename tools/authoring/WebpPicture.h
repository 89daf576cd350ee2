// WebpPicture: WebP files (lossy, lossless, with or without alpha) decoded
// through libwebp into RGBA, and the Exif block a WebP file carries.
//
// An animated WebP gives its first frame, as it shows on the canvas. The
// canvas size is checked against what pack takes (CheckPictureSourceSize)
// before libwebp allocates anything picture-sized.
//
// The bytes are untrusted and owned by the caller; nothing outside them is
// read. Failures throw PictureSourceError with a one-line reason that does
// not name the file. Only built where libwebp is (KAMISHIBAI_HAVE_WEBP).
#pragma once

#include "tools/authoring/PngDecoder.h"

#include <cstdint>
#include <span>

RgbaImage DecodeWebp(std::span<const uint8_t> bytes);

// The Exif block of the file's EXIF chunk as a TIFF-structured block (an
// "Exif\0\0" that some writers put before it is left out), or an empty span
// when the file has none or cannot be walked. The span points into webp.
std::span<const uint8_t> WebpExifBlock(std::span<const uint8_t> webp);
