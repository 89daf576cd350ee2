// BlockAveragingRowSink: shrinks decoded rows by a whole factor on their way
// to another row sink, for a decoder that cannot scale by itself (the WIC
// build's DecodeJpegRowsScaled).
//
// Each output pixel is the rounded mean of a factor × factor block of input
// pixels; blocks that the right or bottom edge cuts short are the means of
// the pixels they have. A width × height picture thus reaches the target as
// ceil(width / factor) × ceil(height / factor), the size libjpeg's DCT
// scaling gives. Rows must come top to bottom, each once (as decoders give
// them); anything else stops the decode. Only the sums of one row of blocks
// are held.
#pragma once

#include "platform/JpegDecoder.h"

#include <cstdint>
#include <vector>

class BlockAveragingRowSink final : public JpegRowSink {
public:
    // factor: 1 or more; the target must outlive this sink.
    BlockAveragingRowSink(JpegRowSink& target, int factor) : target_(target), factor_(factor) {}

    bool Begin(int32_t width, int32_t height) noexcept override;
    bool Row(int32_t y, const uint8_t* bgr) noexcept override;

private:
    bool EmitBlockRow(int32_t blockRows) noexcept;

    JpegRowSink& target_;
    int factor_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t outputWidth_ = 0;
    int32_t nextRow_ = 0;
    std::vector<uint32_t> sums_;  // per output pixel: blue, green, red
    std::vector<uint8_t> output_;
};
