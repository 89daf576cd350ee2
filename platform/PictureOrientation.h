// PictureOrientation: which way up a photo was taken, as its camera recorded
// it in the Exif orientation tag (274) of the first image directory.
//
// The value is the usual 1 to 8: 1 upright, 2 mirrored left to right, 3 turned
// half a turn, 4 mirrored top to bottom, 5 mirrored along the main diagonal,
// 6 to be turned a quarter turn clockwise to stand upright, 7 mirrored along
// the other diagonal, 8 to be turned a quarter turn anticlockwise.
//
// Both readers take untrusted bytes that the caller owns and only reads them
// within the span. Anything short of a well-formed tag of type SHORT holding 1
// to 8 (no Exif data, no tag, a damaged or truncated block, an offset out of
// the block, 0, 9 or more) reads as 1: a photo whose orientation cannot be
// known is shown as stored. They never throw.
//
// Linux reads the directory with libexif, Windows with WIC's IFD metadata
// reader; finding the Exif segment in a JPEG stream (JpegExifSegment.h) is
// the same on both.
#pragma once

#include <cstdint>
#include <span>

constexpr int UprightOrientation = 1;

// The orientation in the first Exif APP1 segment before the image data of a
// JPEG stream (the stream starts with its SOI marker).
int ReadJpegOrientation(std::span<const uint8_t> jpeg);

// The orientation in a bare Exif block: the TIFF structure that starts with
// "II*\0" or "MM\0*", as a PNG eXIf chunk or the rest of a JPEG's Exif
// segment after its "Exif\0\0" holds it.
int ReadExifBlockOrientation(std::span<const uint8_t> exif);
