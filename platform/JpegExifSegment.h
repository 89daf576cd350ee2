// JpegExifSegment: where a JPEG stream keeps its Exif data.
//
// The walk goes over the marker segments from the SOI marker up to the first
// start of scan (or end of image), each segment checked against the bytes
// there are, and stops at the first APP1 segment whose payload starts with
// "Exif\0\0". Other APP1 segments (XMP) and other markers are passed over. A
// stream that is not a JPEG, breaks off, or has something other than a marker
// where one is due has no Exif block as far as this walk is concerned.
#pragma once

#include <cstdint>
#include <span>

// The Exif block (the TIFF structure after "Exif\0\0") inside `jpeg`, or an
// empty span when there is none.
std::span<const uint8_t> FindJpegExifBlock(std::span<const uint8_t> jpeg);
