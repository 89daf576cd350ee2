// JpegDecoder: turns a JPEG stream into a 24-bit bitmap (blue, green, red per
// pixel, rows top row first through ScanLine).
//
// DecodeJpeg reads the stream from its current position to its end and
// returns null when the data is not a JPEG this machine can decode, is
// damaged, or has a dimension of 0 or above MaximumJpegDimension. It never
// throws for bad data.
#pragma once

#include "platform/TBitmap.h"

#include <memory>

class TStream;

constexpr int32_t MaximumJpegDimension = 16384;

std::unique_ptr<TBitmap> DecodeJpeg(TStream& stream);

// The bytes from the stream's position to its end, for the decoders; null
// (with *size 0) when there are none or they cannot be held. A stream that
// ends early gives what it had.
std::unique_ptr<unsigned char[]> ReadJpegBytes(TStream& stream, size_t* size);
