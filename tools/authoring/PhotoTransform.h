// PhotoTransform: the pixel work that turns a photo into a picture entry:
// turning it upright by its EXIF orientation and shrinking it to a size.
//
// Pixels are RgbaImage (red, green, blue, alpha bytes, rows top first). Every
// function returns a picture it owns; OrientPicture takes its argument by
// value and reuses its buffer where it can.
//
// Orientation moves pixels only, never resamples. Shrinking averages areas:
// each target pixel is the exact area-weighted mean of the source pixels it
// covers (fractional coverage at its edges), each channel on its own, rounded
// to the nearest level with halves up. Alpha is averaged like the colours, so
// callers lay transparent pictures over their background first. Everything is
// integer arithmetic: the same input gives the same bytes on every machine
// and compiler.
//
// Bounds: picture sides 1..MaximumShrinkSide for shrinking (the accumulators
// are sized for that, see PhotoTransform.cpp); a picture whose buffer does not
// hold width × height × 4 bytes, or sizes out of bounds, throw
// std::invalid_argument with a message naming the sizes. Rows fed to an
// AreaShrinker in the wrong number throw std::logic_error.
#pragma once

#include "tools/authoring/PngDecoder.h"

#include <cstdint>
#include <vector>

// EXIF orientation (TIFF tag 274): how the stored pixels must be turned to be
// seen upright.
enum class PhotoOrientation : uint8_t {
    Upright = 1,
    MirroredHorizontally = 2,
    Rotated180 = 3,
    MirroredVertically = 4,
    Transposed = 5,                 // mirrored along the top-left to bottom-right diagonal
    Rotated90Clockwise = 6,         // "the camera was turned right": shown turned 90° clockwise
    Transversed = 7,                // mirrored along the other diagonal
    Rotated90CounterClockwise = 8,  // shown turned 90° counter-clockwise
};

// A value read from a file (any int) as an orientation; anything outside 1..8
// is Upright.
PhotoOrientation PhotoOrientationFromExif(int value);

// Whether the upright picture's width is the stored height (values 5 to 8).
bool OrientationSwapsSides(PhotoOrientation orientation);

// The picture as it is meant to be seen: the stored row 0 becomes the side
// the orientation names (for Rotated90Clockwise the right side, with the
// stored column 0 along the top). Mirrors and the half turn work in place;
// the quarter turns and diagonal mirrors make one new buffer.
RgbaImage OrientPicture(RgbaImage image, PhotoOrientation orientation);

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const PictureSize&) const = default;
};

// The largest size that fits inside box keeping the picture's aspect ratio,
// never larger than the picture itself (photos are only ever shrunk); each
// side at least 1. The side the box does not limit is rounded to the nearest
// pixel, halves up, in exact integers: 6000 × 4000 into 3840 × 2160 gives
// 3240 × 2160, 4000 × 6000 gives 1440 × 2160, 640 × 480 into 1024 × 768 stays
// 640 × 480. Sides below 1 throw std::invalid_argument.
PictureSize FitWithin(PictureSize picture, PictureSize box);

// The largest source side AreaShrinker takes: the largest picture the saver
// holds.
constexpr int32_t MaximumShrinkSide = 16384;

// Area-averaging shrink fed row by row, so that a caller can decode a large
// JPEG straight into it without ever holding the whole source picture. It
// holds one row of accumulators for the target width and the target picture.
// Target sides are 1..the source side (no enlarging), source sides
// 1..MaximumShrinkSide, else std::invalid_argument; equal sizes give the
// source unchanged. Rows of either kind may be mixed.
class AreaShrinker {
public:
    AreaShrinker(PictureSize source, PictureSize target);

    // The next source row, top first: width × 3 bytes blue, green, red
    // (alpha 255).
    void AddRowBgr(const uint8_t* bgr);
    // The next source row: width × 4 bytes red, green, blue, alpha.
    void AddRowRgba(const uint8_t* rgba);
    // The target picture, after exactly source.height rows (std::logic_error
    // otherwise, and for a second call). AddRow after the last row throws
    // std::logic_error too.
    RgbaImage Finish();

private:
    template <class Layout>
    void AddRow(const uint8_t* row);
    template <class Layout, class Sum, bool EndsTargetRow>
    void AccumulateRow(const uint8_t* row, uint32_t weight, uint32_t nextWeight, std::vector<Sum>& sums);

    PictureSize source_;
    PictureSize target_;
    // Horizontally a source pixel is sourceUnitsX units wide and a target
    // pixel targetUnitsX (the sizes divided by their greatest common
    // divisor), so every coverage is a whole number of units; likewise
    // vertically. A target pixel's weights add up to divisor_.
    uint32_t sourceUnitsY_ = 0;
    uint32_t targetUnitsY_ = 0;
    uint64_t divisor_ = 0;
    uint32_t opaqueRowAlpha_ = 0;       // an opaque source row's alpha sum in any column
    int32_t taps_ = 0;                  // source pixels a target column reads
    std::vector<int32_t> firstTap_;     // per target column
    std::vector<uint32_t> tapWeights_;  // taps_ per target column
    // Red, green, blue, alpha sums per target column of the target row so
    // far: 32 bits when no sum can reach 2^32 (most size pairs), else 64.
    std::vector<uint32_t> narrowSums_;
    std::vector<uint64_t> wideSums_;
    uint64_t opaqueAlphaSum_ = 0;       // what opaque rows gave every alpha sum of the target row
    bool alphaSumsUsed_ = false;        // RGBA rows added to the alpha sums of the target row
    int32_t rowsAdded_ = 0;
    int32_t targetRow_ = 0;
    uint64_t rowEnd_ = 0;               // where the current target row ends, in units
    bool finished_ = false;
    RgbaImage picture_;
};

// The shrinker over a whole picture.
RgbaImage ShrinkAreaAverage(const RgbaImage& image, PictureSize target);

// The same result computed plainly, pixel by pixel over two-dimensional
// coverage (slow): the yardstick for ShrinkAreaAverage.
RgbaImage ShrinkAreaAverageReference(const RgbaImage& image, PictureSize target);
