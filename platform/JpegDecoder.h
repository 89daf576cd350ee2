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
//
// DecodeJpegRowsScaled decodes a large photo straight to a half, quarter or
// eighth of its size. libjpeg scales in its inverse DCT, at a fraction of the
// full decode's time and memory (each 8 × 8 block becomes 4 × 4, 2 × 2 or one
// pixel); the WIC build decodes in full and averages blocks of d × d pixels
// (BlockAveragingRowSink) to the same size: the pixels of the two platforms
// differ a little more than those of a full decode do.
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
    // Refuse a stream that ends before its image data does, or whose scan
    // data breaks off at a marker. The decoder would fill in what it could
    // not read (grey) and go on, as the saver wants; an authoring tool wants
    // to know instead. Honoured where the decoder reports such warnings
    // (libjpeg); WIC does not.
    bool refuseDamagedData = false;
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

// The rows of the frame shrunk by 1/scaleDenominator, which is 1 (the same
// as DecodeJpegRows), 2, 4 or 8; any other denominator fails. The sink's
// Begin gets the scaled size, ceil(width / d) × ceil(height / d), as the
// decoder computes it. The limits' width and height, and *frame, are those of
// the full frame; maximumBytes bounds the scaled output and the decoder's
// work (a progressive stream keeps the coefficients of the full frame).
bool DecodeJpegRowsScaled(TStream& stream, const JpegLimits& limits, int scaleDenominator, JpegFrameDimensions* frame,
                          JpegRowSink& sink);

// A side of the frame as DecodeJpegRowsScaled delivers it: ceil(side / d).
constexpr int64_t ScaledJpegSide(int64_t side, int scaleDenominator)
{
    return (side + scaleDenominator - 1) / scaleDenominator;
}

// The largest denominator (1, 2, 4 or 8) whose scaled frame still covers
// the needed size both ways (the frame is at least d times the needed size
// each way), so that what remains to shrink is less than half, unless the
// frame is over 16 times the needed size. 1 for sizes of 0 or less.
int JpegScaleDenominatorFor(int64_t frameWidth, int64_t frameHeight, int64_t neededWidth, int64_t neededHeight);

// The rows in a top-down 24-bit bitmap.
std::unique_ptr<TBitmap> DecodeJpeg(TStream& stream, const JpegLimits& limits = {},
                                    JpegFrameDimensions* frame = nullptr);

// The frame-size rules of DecodeJpeg, shared by its implementations: a size
// of 1 to MaximumJpegDimension each way, the limits' size when they give one,
// and a 24-bit output bitmap (scaled by 1/scaleDenominator) within their
// byte limit.
bool JpegFrameAccepted(uint64_t width, uint64_t height, const JpegLimits& limits, int scaleDenominator = 1);

// 1, 2, 4 or 8.
bool JpegScaleDenominatorAccepted(int scaleDenominator);

// The bytes from the stream's position to its end, for the decoders; null
// (with *size 0) when there are none or they cannot be held. A stream that
// ends early gives what it had.
std::unique_ptr<unsigned char[]> ReadJpegBytes(TStream& stream, size_t* size);
