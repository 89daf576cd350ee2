// HeifPicture: the primary image of a HEIF file (HEIC photos as phones save
// them) decoded through libheif into RGBA.
//
// libheif applies the file's own rotation, mirroring and cropping (its irot,
// imir and clap properties) while decoding, so the picture comes back as it
// is meant to be seen. Those properties are the format's orientation data:
// an Exif orientation in the same file describes the same turn and must not
// be applied on top. Pictures of more than 8 bits a channel come back
// reduced to 8; a file without alpha gives alpha 255.
//
// The sizes in the file's headers are checked against what pack takes
// (CheckPictureSourceSize) before anything is decoded. The bytes are
// untrusted and owned by the caller. Failures throw PictureSourceError with a
// one-line reason that does not name the file. Only built where libheif is
// (KAMISHIBAI_HAVE_HEIF).
#pragma once

#include "tools/authoring/PngDecoder.h"

#include <cstdint>
#include <span>

RgbaImage DecodeHeif(std::span<const uint8_t> bytes);
