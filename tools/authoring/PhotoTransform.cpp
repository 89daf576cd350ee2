#include "tools/authoring/PhotoTransform.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

// Why the sums do not overflow, with sides up to MaximumShrinkSide (2^14): a
// source pixel is at most 2^14 units wide or tall and a target pixel at most
// 2^14 units, so one target pixel's weights add up to divisor_ ≤ 2^28.
//  - one source row's sum for a target column: ≤ 255 × 2^14 < 2^22 (uint32);
//  - a target pixel's sum: ≤ 255 × divisor_ < 2^36: uint64 in general, and
//    uint32 when divisor_ < 2^23 (the narrow form); every partial sum and
//    every product of a row weight with a row's sum is no larger;
//  - rounding, narrow: (sum + divisor_ / 2) < 256 × divisor_ times a
//    multiplier below 512 × divisor_ + 1 stays below 2^63; wide: below 2^36
//    times a reciprocal ≤ 2^55 / divisor_ stays below 2^63.

namespace {

// The target pixels' sums fit 32 bits, and round with one multiplication,
// below this divisor.
constexpr uint64_t NarrowDivisorLimit = uint64_t{1} << 23;

// A sum as the rounded mean floor((sum + divisor / 2) / divisor), halves up,
// for divisors below NarrowDivisorLimit: with 2^shift ≥ 256 × divisor² and
// multiplier = ceil(2^shift / divisor) = (2^shift + e) / divisor, e < divisor,
// numerator × multiplier / 2^shift exceeds numerator / divisor by
// numerator × e / (divisor × 2^shift) < 1 / divisor (the numerator is below
// 256 × divisor), too little to reach the next whole number.
struct NarrowRounding {
    explicit NarrowRounding(uint64_t divisor) : half(static_cast<uint32_t>(divisor / 2))
    {
        while ((uint64_t{1} << shift) < 256 * divisor * divisor) ++shift;
        multiplier = ((uint64_t{1} << shift) + divisor - 1) / divisor;
    }
    uint8_t operator()(uint32_t sum) const
    {
        return static_cast<uint8_t>((static_cast<uint64_t>(sum + half) * multiplier) >> shift);
    }
    uint32_t half;
    int shift = 0;
    uint64_t multiplier = 0;
};

// The same for any divisor up to 2^28: the reciprocal is rounded down, so the
// first quotient is the true one or one less, and the remainder tells which.
struct WideRounding {
    static constexpr int Shift = 55;
    explicit WideRounding(uint64_t divisor)
        : divisor(divisor), half(divisor / 2), reciprocal((uint64_t{1} << Shift) / divisor)
    {
    }
    uint8_t operator()(uint64_t sum) const
    {
        const uint64_t numerator = sum + half;
        uint64_t quotient = (numerator * reciprocal) >> Shift;
        quotient += numerator - quotient * divisor >= divisor ? 1 : 0;
        return static_cast<uint8_t>(quotient);
    }
    uint64_t divisor;
    uint64_t half;
    uint64_t reciprocal;
};

std::string SizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

void CheckBuffer(const RgbaImage& image, const char* operation)
{
    const bool sidesValid = image.width >= 0 && image.height >= 0;
    if (sidesValid && image.pixels.size() / 4 == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) &&
        image.pixels.size() % 4 == 0)
        return;
    throw std::invalid_argument(std::string(operation) + ": a " + SizeText(image.width, image.height) +
                                " picture with " + std::to_string(image.pixels.size()) +
                                " bytes of pixels (width × height × 4 expected)");
}

void CheckShrinkSizes(PictureSize source, PictureSize target, const char* operation)
{
    const auto within = [](int32_t side, int32_t largest) { return side >= 1 && side <= largest; };
    if (!within(source.width, MaximumShrinkSide) || !within(source.height, MaximumShrinkSide))
        throw std::invalid_argument(std::string(operation) + ": source " + SizeText(source.width, source.height) +
                                    " is outside 1x1.." + SizeText(MaximumShrinkSide, MaximumShrinkSide));
    if (!within(target.width, source.width) || !within(target.height, source.height))
        throw std::invalid_argument(std::string(operation) + ": target " + SizeText(target.width, target.height) +
                                    " is not between 1x1 and the source's " + SizeText(source.width, source.height) +
                                    " (pictures are only shrunk)");
}

void CopyPixel(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 4); }

void SwapPixels(uint8_t* a, uint8_t* b)
{
    uint8_t held[4];
    std::memcpy(held, a, 4);
    std::memcpy(a, b, 4);
    std::memcpy(b, held, 4);
}

// Quarter turns and diagonal mirrors: every upright pixel (X, Y) comes from
// the stored column Y (or its mirror) and the stored row X (or its mirror).
// Worked through in square tiles so that the stored rows a tile reads stay in
// the cache.
RgbaImage Turned(const RgbaImage& stored, bool mirrorColumns, bool mirrorRows)
{
    constexpr int32_t Tile = 64;
    RgbaImage upright;
    upright.width = stored.height;
    upright.height = stored.width;
    upright.pixels.resize(stored.pixels.size());
    const size_t storedStride = static_cast<size_t>(stored.width) * 4;
    for (int32_t tileY = 0; tileY < upright.height; tileY += Tile)
        for (int32_t tileX = 0; tileX < upright.width; tileX += Tile) {
            const int32_t endY = std::min(tileY + Tile, upright.height);
            const int32_t endX = std::min(tileX + Tile, upright.width);
            for (int32_t y = tileY; y < endY; ++y) {
                const int32_t storedX = mirrorColumns ? stored.width - 1 - y : y;
                uint8_t* to = upright.pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(upright.width) +
                                                       static_cast<size_t>(tileX)) * 4;
                for (int32_t x = tileX; x < endX; ++x, to += 4) {
                    const int32_t storedY = mirrorRows ? stored.height - 1 - x : x;
                    CopyPixel(to, stored.pixels.data() + static_cast<size_t>(storedY) * storedStride +
                                      static_cast<size_t>(storedX) * 4);
                }
            }
        }
    return upright;
}

// Source row layouts AreaShrinker reads: where each channel is in a pixel.
struct BgrPixels {
    static constexpr size_t Bytes = 3;
    static constexpr size_t Red = 2, Green = 1, Blue = 0;
    static constexpr bool HasAlpha = false;
};
struct RgbaPixels {
    static constexpr size_t Bytes = 4;
    static constexpr size_t Red = 0, Green = 1, Blue = 2, Alpha = 3;
    static constexpr bool HasAlpha = true;
};

}  // namespace

PhotoOrientation PhotoOrientationFromExif(int value)
{
    if (value < 1 || value > 8) return PhotoOrientation::Upright;
    return static_cast<PhotoOrientation>(value);
}

bool OrientationSwapsSides(PhotoOrientation orientation)
{
    const auto value = static_cast<uint8_t>(orientation);
    return value >= 5 && value <= 8;
}

RgbaImage OrientPicture(RgbaImage image, PhotoOrientation orientation)
{
    CheckBuffer(image, "OrientPicture");
    const size_t width = static_cast<size_t>(image.width);
    const size_t height = static_cast<size_t>(image.height);
    uint8_t* pixels = image.pixels.data();
    switch (orientation) {
    case PhotoOrientation::MirroredHorizontally:
        for (size_t y = 0; y < height; ++y) {
            uint8_t* row = pixels + y * width * 4;
            for (size_t x = 0; x < width / 2; ++x) SwapPixels(row + x * 4, row + (width - 1 - x) * 4);
        }
        return image;
    case PhotoOrientation::Rotated180: {
        // A half turn is the pixels in reverse order.
        const size_t count = width * height;
        for (size_t i = 0; i < count / 2; ++i) SwapPixels(pixels + i * 4, pixels + (count - 1 - i) * 4);
        return image;
    }
    case PhotoOrientation::MirroredVertically:
        for (size_t y = 0; y < height / 2; ++y)
            std::swap_ranges(pixels + y * width * 4, pixels + (y + 1) * width * 4, pixels + (height - 1 - y) * width * 4);
        return image;
    case PhotoOrientation::Transposed: return Turned(image, false, false);
    case PhotoOrientation::Rotated90Clockwise: return Turned(image, false, true);
    case PhotoOrientation::Transversed: return Turned(image, true, true);
    case PhotoOrientation::Rotated90CounterClockwise: return Turned(image, true, false);
    case PhotoOrientation::Upright: break;
    }
    return image;
}

PictureSize FitWithin(PictureSize picture, PictureSize box)
{
    if (picture.width < 1 || picture.height < 1 || box.width < 1 || box.height < 1)
        throw std::invalid_argument("FitWithin: picture " + SizeText(picture.width, picture.height) + " and box " +
                                    SizeText(box.width, box.height) + " need sides of at least 1");
    if (picture.width <= box.width && picture.height <= box.height) return picture;
    // Unsigned 64 bits: 2 × (2^31)^2 + 2^31 fits.
    const uint64_t width = static_cast<uint64_t>(picture.width);
    const uint64_t height = static_cast<uint64_t>(picture.height);
    const uint64_t boxWidth = static_cast<uint64_t>(box.width);
    const uint64_t boxHeight = static_cast<uint64_t>(box.height);
    // The picture is relatively at least as wide as the box: its width is the
    // box's and its height follows (round(height × boxWidth / width)); it
    // stays within the box's height because height / width ≤ boxHeight / boxWidth.
    if (width * boxHeight >= height * boxWidth) {
        const uint64_t fitted = (2 * height * boxWidth + width) / (2 * width);
        return PictureSize{box.width, static_cast<int32_t>(std::max<uint64_t>(fitted, 1))};
    }
    const uint64_t fitted = (2 * width * boxHeight + height) / (2 * height);
    return PictureSize{static_cast<int32_t>(std::max<uint64_t>(fitted, 1)), box.height};
}

AreaShrinker::AreaShrinker(PictureSize source, PictureSize target) : source_(source), target_(target)
{
    CheckShrinkSizes(source, target, "AreaShrinker");
    const int64_t commonX = std::gcd(source.width, target.width);
    const int64_t commonY = std::gcd(source.height, target.height);
    const int64_t sourceUnitsX = target.width / commonX;
    const int64_t targetUnitsX = source.width / commonX;
    sourceUnitsY_ = static_cast<uint32_t>(target.height / commonY);
    targetUnitsY_ = static_cast<uint32_t>(source.height / commonY);
    divisor_ = static_cast<uint64_t>(targetUnitsX) * targetUnitsY_;
    opaqueRowAlpha_ = 255 * static_cast<uint32_t>(targetUnitsX);

    // Target column c covers the units [c × targetUnitsX, (c + 1) × targetUnitsX);
    // source pixel i covers [i × sourceUnitsX, (i + 1) × sourceUnitsX).
    const auto firstCovered = [&](int64_t column) { return column * targetUnitsX / sourceUnitsX; };
    const auto lastCovered = [&](int64_t column) { return ((column + 1) * targetUnitsX - 1) / sourceUnitsX; };
    int64_t taps = 1;
    for (int64_t column = 0; column < target.width; ++column)
        taps = std::max(taps, lastCovered(column) - firstCovered(column) + 1);
    taps_ = static_cast<int32_t>(taps);
    firstTap_.resize(static_cast<size_t>(target.width));
    tapWeights_.assign(static_cast<size_t>(target.width) * static_cast<size_t>(taps), 0);
    for (int64_t column = 0; column < target.width; ++column) {
        // Every column reads taps pixels; near the right edge the window
        // starts earlier, with weight 0 for the pixels before its own.
        const int64_t first = std::min(firstCovered(column), int64_t{source.width} - taps);
        firstTap_[static_cast<size_t>(column)] = static_cast<int32_t>(first);
        const int64_t begin = column * targetUnitsX;
        const int64_t end = begin + targetUnitsX;
        for (int64_t pixel = firstCovered(column); pixel <= lastCovered(column); ++pixel) {
            const int64_t covered =
                std::min((pixel + 1) * sourceUnitsX, end) - std::max(pixel * sourceUnitsX, begin);
            tapWeights_[static_cast<size_t>(column * taps + pixel - first)] = static_cast<uint32_t>(covered);
        }
    }
    if (divisor_ < NarrowDivisorLimit) narrowSums_.assign(static_cast<size_t>(target.width) * 4, 0);
    else wideSums_.assign(static_cast<size_t>(target.width) * 4, 0);
    rowEnd_ = targetUnitsY_;
    picture_.width = target.width;
    picture_.height = target.height;
    // Grown row by row as target rows are done, so that each row is cleared
    // while it is in the cache instead of the whole picture up front.
    picture_.pixels.reserve(static_cast<size_t>(target.width) * static_cast<size_t>(target.height) * 4);
}

template <class Layout, class Sum, bool EndsTargetRow>
void AreaShrinker::AccumulateRow(const uint8_t* row, uint32_t weight, uint32_t nextWeight, std::vector<Sum>& sumsOfRow)
{
    // Everything the loop reads, in locals: the stores to the picture could
    // otherwise alias the members, and be reloaded for every pixel.
    const std::conditional_t<std::is_same_v<Sum, uint32_t>, NarrowRounding, WideRounding> rounded(divisor_);
    const int32_t columns = target_.width;
    const int32_t anyTaps = taps_;
    const int32_t* firstTap = firstTap_.data();
    const uint32_t* weights = tapWeights_.data();
    const Sum rowWeight = weight;
    const Sum nextRowWeight = nextWeight;
    // What opaque rows gave the alpha sums of this target row, this row included.
    const auto opaqueAlpha = static_cast<Sum>(opaqueAlphaSum_ + (Layout::HasAlpha ? 0 : uint64_t{weight} * opaqueRowAlpha_));
    // Without RGBA rows in the target row its alpha is the mean of 255s.
    const bool alphaSumsUsed = alphaSumsUsed_;
    Sum* sums = sumsOfRow.data();
    uint8_t* out = nullptr;
    if constexpr (EndsTargetRow) {
        const size_t rowStart = picture_.pixels.size();
        picture_.pixels.resize(rowStart + static_cast<size_t>(columns) * 4);
        out = picture_.pixels.data() + rowStart;
    }

    const auto eachColumn = [&]<int Taps>(std::integral_constant<int, Taps>) {
        const int32_t taps = Taps > 0 ? Taps : anyTaps;
        for (int32_t column = 0; column < columns; ++column, weights += taps, sums += 4) {
            const uint8_t* pixel = row + static_cast<size_t>(firstTap[column]) * Layout::Bytes;
            uint32_t red = 0, green = 0, blue = 0, alpha = 0;
#pragma GCC unroll 4
            for (int32_t tap = 0; tap < taps; ++tap, pixel += Layout::Bytes) {
                red += weights[tap] * pixel[Layout::Red];
                green += weights[tap] * pixel[Layout::Green];
                blue += weights[tap] * pixel[Layout::Blue];
                if constexpr (Layout::HasAlpha) alpha += weights[tap] * pixel[Layout::Alpha];
            }
            if constexpr (!EndsTargetRow) {
                sums[0] += rowWeight * red;
                sums[1] += rowWeight * green;
                sums[2] += rowWeight * blue;
                if constexpr (Layout::HasAlpha) sums[3] += rowWeight * alpha;
            } else {
                out[0] = rounded(sums[0] + rowWeight * red);
                out[1] = rounded(sums[1] + rowWeight * green);
                out[2] = rounded(sums[2] + rowWeight * blue);
                if (Layout::HasAlpha || alphaSumsUsed) out[3] = rounded(sums[3] + opaqueAlpha + rowWeight * alpha);
                else out[3] = 255;
                sums[0] = nextRowWeight * red;
                sums[1] = nextRowWeight * green;
                sums[2] = nextRowWeight * blue;
                sums[3] = nextRowWeight * alpha;
                out += 4;
            }
        }
    };
    // The usual shrinks read 1 to 4 pixels per column: loops of a fixed
    // length for those.
    switch (anyTaps) {
    case 1: eachColumn(std::integral_constant<int, 1>{}); break;
    case 2: eachColumn(std::integral_constant<int, 2>{}); break;
    case 3: eachColumn(std::integral_constant<int, 3>{}); break;
    case 4: eachColumn(std::integral_constant<int, 4>{}); break;
    default: eachColumn(std::integral_constant<int, 0>{}); break;
    }
}

template <class Layout>
void AreaShrinker::AddRow(const uint8_t* row)
{
    if (finished_ || rowsAdded_ == source_.height)
        throw std::logic_error("AreaShrinker: row " + std::to_string(rowsAdded_ + 1) + " given to a " +
                               SizeText(source_.width, source_.height) + " source" +
                               (finished_ ? " after Finish" : ""));
    // Source row r covers the units [r × sourceUnitsY_, (r + 1) × sourceUnitsY_)
    // and ends inside the current target row or on its end, or reaches into
    // the next one (a source row is never taller than a target row).
    const uint64_t rowStart = static_cast<uint64_t>(rowsAdded_) * sourceUnitsY_;
    const uint64_t rowEnd = rowStart + sourceUnitsY_;
    if (rowEnd < rowEnd_) {
        if (!narrowSums_.empty()) AccumulateRow<Layout, uint32_t, false>(row, sourceUnitsY_, 0, narrowSums_);
        else AccumulateRow<Layout, uint64_t, false>(row, sourceUnitsY_, 0, wideSums_);
        if constexpr (Layout::HasAlpha) alphaSumsUsed_ = true;
        else opaqueAlphaSum_ += uint64_t{sourceUnitsY_} * opaqueRowAlpha_;
    } else {
        const auto weight = static_cast<uint32_t>(rowEnd_ - rowStart);
        const auto nextWeight = static_cast<uint32_t>(rowEnd - rowEnd_);
        if (!narrowSums_.empty()) AccumulateRow<Layout, uint32_t, true>(row, weight, nextWeight, narrowSums_);
        else AccumulateRow<Layout, uint64_t, true>(row, weight, nextWeight, wideSums_);
        alphaSumsUsed_ = Layout::HasAlpha && nextWeight > 0;
        opaqueAlphaSum_ = Layout::HasAlpha ? 0 : uint64_t{nextWeight} * opaqueRowAlpha_;
        ++targetRow_;
        rowEnd_ += targetUnitsY_;
    }
    ++rowsAdded_;
}

void AreaShrinker::AddRowBgr(const uint8_t* bgr) { AddRow<BgrPixels>(bgr); }

void AreaShrinker::AddRowRgba(const uint8_t* rgba) { AddRow<RgbaPixels>(rgba); }

RgbaImage AreaShrinker::Finish()
{
    if (finished_ || rowsAdded_ != source_.height)
        throw std::logic_error("AreaShrinker: Finish after " + std::to_string(rowsAdded_) + " of " +
                               std::to_string(source_.height) + " rows" + (finished_ ? ", a second time" : ""));
    finished_ = true;
    narrowSums_ = {};
    wideSums_ = {};
    return std::move(picture_);
}

RgbaImage ShrinkAreaAverage(const RgbaImage& image, PictureSize target)
{
    CheckBuffer(image, "ShrinkAreaAverage");
    AreaShrinker shrinker({image.width, image.height}, target);
    for (int32_t y = 0; y < image.height; ++y) shrinker.AddRowRgba(image.Pixel(0, y));
    return shrinker.Finish();
}

RgbaImage ShrinkAreaAverageReference(const RgbaImage& image, PictureSize target)
{
    CheckBuffer(image, "ShrinkAreaAverageReference");
    CheckShrinkSizes({image.width, image.height}, target, "ShrinkAreaAverageReference");
    // Both pictures laid over the same rectangle, source.width × target.width
    // units wide: a source pixel is target.width units wide, a target pixel
    // source.width units; likewise for heights. A target pixel's value is the
    // sum of value × covered area over the source pixels it touches, divided
    // by its own area.
    const int64_t sourceWidth = image.width, sourceHeight = image.height;
    const int64_t targetWidth = target.width, targetHeight = target.height;
    const auto overlap = [](int64_t begin1, int64_t end1, int64_t begin2, int64_t end2) {
        return std::max<int64_t>(0, std::min(end1, end2) - std::max(begin1, begin2));
    };
    const uint64_t area = static_cast<uint64_t>(sourceWidth * sourceHeight);
    RgbaImage shrunk;
    shrunk.width = target.width;
    shrunk.height = target.height;
    shrunk.pixels.resize(static_cast<size_t>(targetWidth * targetHeight) * 4);
    for (int64_t y = 0; y < targetHeight; ++y)
        for (int64_t x = 0; x < targetWidth; ++x) {
            uint64_t sums[4] = {};
            const int64_t top = y * sourceHeight, bottom = (y + 1) * sourceHeight;
            const int64_t left = x * sourceWidth, right = (x + 1) * sourceWidth;
            for (int64_t sourceY = top / targetHeight; sourceY * targetHeight < bottom; ++sourceY)
                for (int64_t sourceX = left / targetWidth; sourceX * targetWidth < right; ++sourceX) {
                    const int64_t covered =
                        overlap(sourceY * targetHeight, (sourceY + 1) * targetHeight, top, bottom) *
                        overlap(sourceX * targetWidth, (sourceX + 1) * targetWidth, left, right);
                    const uint8_t* pixel = image.Pixel(static_cast<int32_t>(sourceX), static_cast<int32_t>(sourceY));
                    for (int channel = 0; channel < 4; ++channel)
                        sums[channel] += static_cast<uint64_t>(covered) * pixel[channel];
                }
            uint8_t* to = shrunk.pixels.data() + static_cast<size_t>(y * targetWidth + x) * 4;
            for (int channel = 0; channel < 4; ++channel)
                to[channel] = static_cast<uint8_t>((2 * sums[channel] + area) / (2 * area));
        }
    return shrunk;
}
