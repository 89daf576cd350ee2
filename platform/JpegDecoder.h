// JpegDecoder: turns a JPEG stream into rows of 24-bit pixels (blue, green,
// red per pixel), top row first.
//
// DecodeJpegRows reads the stream from its current position to its end and
// hands each decoded row to a sink, so that the caller can put it straight
// into its own buffer, in its own format: no whole-picture copy is held
// beside the caller's. DecodeJpeg collects the rows into a 24-bit bitmap.
//
// Both fail (false, null) when the data is not a JPEG this machine can
// decode, is damaged, has a dimension of 0 or above MaximumJpegDimension, or
// is outside the caller's limits. They never throw for bad data.
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

// Where decoded rows go. Neither call may throw: the decoder is C code
// underneath, which an exception must not cross.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // The frame's size, once the limits have accepted it and before the first
    // row; false stops the decode.
    virtual bool Begin(int32_t width, int32_t height) noexcept = 0;
    // Row y (0 is the top row): width pixels of 3 bytes. The bytes are the
    // decoder's and valid only during the call; false stops the decode.
    virtual bool Row(int32_t y, const uint8_t* bgr) noexcept = 0;
};

// frame, when not null, receives the frame size once the decoder has read it
// (and stays 0 × 0 when it got no further), also when the stream is refused:
// so that a caller can say why. Every row reached the sink when the result is
// true; after false the sink may have had some of them.
bool DecodeJpegRows(TStream& stream, const JpegLimits& limits, JpegFrameDimensions* frame, JpegRowSink& sink);

// The rows in a top-down 24-bit bitmap.
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
