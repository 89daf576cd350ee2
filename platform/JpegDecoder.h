// JpegDecoder: turns a JPEG stream into a 24-bit bitmap (blue, green, red per
// pixel, rows top row first through ScanLine).
//
// DecodeJpeg reads the stream from its current position to its end and
// returns null when the data is not a JPEG this machine can decode, is
// damaged, has a dimension of 0 or above MaximumJpegDimension, or is outside
// the caller's limits. It never throws for bad data.
//
// Limits are applied to the frame header, before any pixel memory is set
// aside: a stream whose frame is not the size the caller expects is refused
// rather than decoded and cut to size, since it is not the picture the caller
// described, and its frame size alone would decide what the decoder
// allocates.
#pragma once

#include "platform/TBitmap.h"

#include <cstdint>
#include <memory>

class TStream;

constexpr int32_t MaximumJpegDimension = 16384;

struct JpegLimits {
    // The frame must be exactly width × height pixels; 0 and 0 take any size.
    int32_t width = 0;
    int32_t height = 0;
    // When not 0, the most bytes the output bitmap may take, and the most the
    // decoder may set aside for its own work (a progressive or multi-scan
    // stream keeps every coefficient of the picture until its last scan).
    uint64_t maximumBytes = 0;
};

// The size in the stream's frame header, as the decoder read it.
struct JpegFrameDimensions {
    int64_t width = 0;
    int64_t height = 0;
};

// frame, when not null, receives the frame size once the decoder has read it
// (and stays 0 × 0 when it got no further), also when the stream is refused:
// so that a caller can say why.
std::unique_ptr<TBitmap> DecodeJpeg(TStream& stream, const JpegLimits& limits = {},
                                    JpegFrameDimensions* frame = nullptr);

// The frame-size rules of DecodeJpeg, shared by its implementations: a size
// of 1 to MaximumJpegDimension each way, the limits' size when they give one,
// and a 24-bit output bitmap within their byte limit.
bool JpegFrameAccepted(uint64_t width, uint64_t height, const JpegLimits& limits);

// The bytes from the stream's position to its end, for the decoders; null
// (with *size 0) when there are none or they cannot be held. A stream that
// ends early gives what it had.
std::unique_ptr<unsigned char[]> ReadJpegBytes(TStream& stream, size_t* size);
