#include "platform/JpegBlockAverage.h"

#include <algorithm>
#include <cstddef>

bool BlockAveragingRowSink::Begin(int32_t width, int32_t height) noexcept
{
    if (factor_ < 1 || width < 1 || height < 1) return false;
    width_ = width;
    height_ = height;
    outputWidth_ = static_cast<int32_t>(ScaledJpegSide(width, factor_));
    nextRow_ = 0;
    try {
        sums_.assign(static_cast<size_t>(outputWidth_) * 3, 0);
        output_.assign(static_cast<size_t>(outputWidth_) * 3, 0);
    } catch (...) {
        return false;
    }
    return target_.Begin(outputWidth_, static_cast<int32_t>(ScaledJpegSide(height, factor_)));
}

bool BlockAveragingRowSink::Row(int32_t y, const uint8_t* bgr) noexcept
{
    if (y != nextRow_ || y >= height_) return false;
    ++nextRow_;
    for (int32_t x = 0; x < width_; ++x) {
        uint32_t* sum = &sums_[static_cast<size_t>(x / factor_) * 3];
        const uint8_t* pixel = bgr + static_cast<size_t>(x) * 3;
        sum[0] += pixel[0];
        sum[1] += pixel[1];
        sum[2] += pixel[2];
    }
    const int32_t rowInBlock = y % factor_ + 1;
    if (rowInBlock == factor_ || y + 1 == height_) return EmitBlockRow(rowInBlock);
    return true;
}

bool BlockAveragingRowSink::EmitBlockRow(int32_t blockRows) noexcept
{
    for (int32_t column = 0; column < outputWidth_; ++column) {
        const int32_t blockColumns = std::min<int32_t>(factor_, width_ - column * factor_);
        // At most 8 × 8 pixels of 255 for the factors decoders use: far from
        // overflowing 32 bits.
        const uint32_t count = static_cast<uint32_t>(blockColumns) * static_cast<uint32_t>(blockRows);
        for (int channel = 0; channel < 3; ++channel) {
            uint32_t& sum = sums_[static_cast<size_t>(column) * 3 + channel];
            output_[static_cast<size_t>(column) * 3 + channel] = static_cast<uint8_t>((sum + count / 2) / count);
            sum = 0;
        }
    }
    return target_.Row((nextRow_ - 1) / factor_, output_.data());
}
