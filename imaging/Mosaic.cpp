// Mosaic: replaces every blockSize × blockSize block of an area by the mean
// colour of the matching block of the source.

#include "imaging/PixelKernelSupport.h"
#include "imaging/PixelOperations.h"

#include <cstring>


namespace {

// log2(blockSize²) for the accepted block sizes, −1 for any other.
int BlockShift(int blockSize)
{
    switch (blockSize) {
    case 2: return 2;
    case 4: return 4;
    case 8: return 6;
    case 16: return 8;
    case 32: return 10;
    case 64: return 12;
    default: return -1;
    }
}

// The area in coordinates relative to both rectangles: columns [firstColumn,
// width), rows [firstRow, height). Blocks are laid from the first column and
// row. The description leaves the area unclipped on the right and bottom;
// here it is cut where either buffer ends, so nothing outside them is read
// or written. Inside the buffers nothing changes.
struct MosaicArea {
    int64_t firstColumn = 0;
    int64_t firstRow = 0;
    int64_t width = 0;
    int64_t height = 0;
};

bool FindMosaicArea(const DirectBmpControl& destination, const TRect& destinationRect, const TRect& sourceRect,
                    const DirectBmpControl& source, MosaicArea& area)
{
    if (destination.BitsPerPixel != 32 || source.BitsPerPixel != 32) return false;
    area.width = std::min(sourceRect.Width(), destinationRect.Width());
    area.height = std::min(sourceRect.Height(), destinationRect.Height());
    area.firstColumn = std::max<int64_t>({0, -int64_t{sourceRect.left}, -int64_t{destinationRect.left}});
    area.firstRow = std::max<int64_t>({0, -int64_t{sourceRect.top}, -int64_t{destinationRect.top}});
    area.width = std::min({area.width, ReachableWidth(source) - sourceRect.left,
                           ReachableWidth(destination) - destinationRect.left});
    area.height = std::min({area.height, ReachableHeight(source) - sourceRect.top,
                            ReachableHeight(destination) - destinationRect.top});
    return area.firstColumn < area.width && area.firstRow < area.height;
}

void StorePixel(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

namespace reference {

void Mosaic(DirectBmpControl& destination, const TRect& destinationRect, int blockSize, const TRect& sourceRect,
            const DirectBmpControl& source)
{
    const int shift = BlockShift(blockSize);
    if (shift < 0) return;
    MosaicArea area;
    if (!FindMosaicArea(destination, destinationRect, sourceRect, source, area)) return;

    const uint32_t fullBlock = static_cast<uint32_t>(blockSize * blockSize);
    for (int64_t blockTop = area.firstRow; blockTop < area.height; blockTop += blockSize) {
        const int64_t blockBottom = std::min<int64_t>(blockTop + blockSize, area.height);
        for (int64_t blockLeft = area.firstColumn; blockLeft < area.width; blockLeft += blockSize) {
            const int64_t blockRight = std::min<int64_t>(blockLeft + blockSize, area.width);
            uint32_t blue = 0;
            uint32_t green = 0;
            uint32_t red = 0;
            uint32_t n = 0;
            for (int64_t y = blockTop; y < blockBottom; ++y) {
                const uint8_t* row = source.Rows[sourceRect.top + y];
                if (row == nullptr) continue;
                for (int64_t x = blockLeft; x < blockRight; ++x) {
                    const uint8_t* p = row + 4 * (sourceRect.left + x);
                    blue += p[0];
                    green += p[1];
                    red += p[2];
                    ++n;
                }
            }
            if (n == 0) continue;
            if (n == fullBlock) {
                blue >>= shift;
                green >>= shift;
                red >>= shift;
            } else {
                blue /= n;
                green /= n;
                red /= n;
            }
            const uint32_t colour = blue + green * 256 + red * 65536;
            for (int64_t y = blockTop; y < blockBottom; ++y) {
                uint8_t* row = destination.Rows[destinationRect.top + y];
                if (row == nullptr) continue;
                for (int64_t x = blockLeft; x < blockRight; ++x)
                    StorePixel(row + 4 * (destinationRect.left + x), colour);
            }
        }
    }
}

}  // namespace reference

namespace {

// Columns handled together: a multiple of every block size, small enough
// that the column sums and the finished pattern stay in the first-level cache.
constexpr int ChunkColumns = 512;

// Sums of blue, green, red, alpha per column over up to 64 rows: at most
// 64 × 255, so 16 bits per channel hold them.
struct alignas(16) ColumnSums {
    uint16_t channels[ChunkColumns * 4];
};

void AddRowToColumnSums(uint16_t* sums, const uint8_t* row, int32_t columns, bool first)
{
    int32_t x = 0;
#if KAMISHIBAI_PIXEL_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= columns; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x));
        __m128i low = _mm_unpacklo_epi8(pixels, zero);
        __m128i high = _mm_unpackhi_epi8(pixels, zero);
        __m128i* target = reinterpret_cast<__m128i*>(sums + 4 * x);
        if (!first) {
            low = _mm_add_epi16(low, _mm_load_si128(target));
            high = _mm_add_epi16(high, _mm_load_si128(target + 1));
        }
        _mm_store_si128(target, low);
        _mm_store_si128(target + 1, high);
    }
#endif
    for (; x < columns; ++x) {
        for (int c = 0; c < 4; ++c) {
            const uint16_t value = row[4 * x + c];
            sums[4 * x + c] = static_cast<uint16_t>(first ? value : sums[4 * x + c] + value);
        }
    }
}

// The block's colour from its columns' sums: shift for a full block, integer
// division by the pixel count for a block cut short (the same result, as
// the full count is a power of two).
uint32_t BlockColour(const uint16_t* sums, int32_t columns, uint32_t pixels, uint32_t fullBlock, int shift)
{
    uint32_t blue = 0;
    uint32_t green = 0;
    uint32_t red = 0;
    for (int32_t x = 0; x < columns; ++x) {
        blue += sums[4 * x];
        green += sums[4 * x + 1];
        red += sums[4 * x + 2];
    }
    if (pixels == fullBlock) {
        blue >>= shift;
        green >>= shift;
        red >>= shift;
    } else {
        blue /= pixels;
        green /= pixels;
        red /= pixels;
    }
    return blue + green * 256 + red * 65536;
}

// One row of the chunk's blocks as the pixels to write: each block's colour
// repeated over its width.
void BuildPattern(const uint16_t* sums, int32_t width, int32_t height, int blockSize, int shift, uint8_t* pattern)
{
    const uint32_t fullBlock = static_cast<uint32_t>(blockSize * blockSize);
    int32_t left = 0;
#if KAMISHIBAI_PIXEL_SSE2
    // Blocks of full height and width: the sums are added in vector lanes
    // and shifted; what is left (blocks cut short) goes the scalar way.
    const __m128i zero = _mm_setzero_si128();
    const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
    if (height == blockSize && blockSize == 2) {
        // Two blocks per step; a block's sum (at most 4 × 255) stays in 16 bits.
        for (; left + 4 <= width; left += 4) {
            const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(sums + 4 * left));
            const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(sums + 4 * left + 8));
            const __m128i sum = _mm_add_epi16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b));
            const __m128i colours =
                _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(sum, shift), zero), colourMask);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pattern + 4 * left), _mm_unpacklo_epi32(colours, colours));
        }
    } else if (height == blockSize) {
        for (; left + blockSize <= width; left += blockSize) {
            __m128i sum = _mm_setzero_si128();
            for (int k = 0; k < blockSize; k += 2) {
                const __m128i two = _mm_load_si128(reinterpret_cast<const __m128i*>(sums + 4 * (left + k)));
                sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_unpacklo_epi16(two, zero), _mm_unpackhi_epi16(two, zero)));
            }
            const __m128i shifted = _mm_srli_epi32(sum, shift);
            const __m128i colour = _mm_and_si128(_mm_packus_epi16(_mm_packs_epi32(shifted, zero), zero), colourMask);
            const __m128i colours = _mm_shuffle_epi32(colour, 0);
            for (int x = 0; x < blockSize; x += 4)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pattern + 4 * (left + x)), colours);
        }
    }
#endif
    for (; left < width; left += blockSize) {
        const int32_t blockWidth = std::min(blockSize, width - left);
        const uint32_t colour = BlockColour(sums + 4 * left, blockWidth, static_cast<uint32_t>(blockWidth * height),
                                            fullBlock, shift);
        for (int32_t x = 0; x < blockWidth; ++x) StorePixel(pattern + 4 * (left + x), colour);
    }
}

}  // namespace

void Mosaic(DirectBmpControl& destination, const TRect& destinationRect, int blockSize, const TRect& sourceRect,
            const DirectBmpControl& source)
{
    const int shift = BlockShift(blockSize);
    if (shift < 0) return;
    MosaicArea area;
    if (!FindMosaicArea(destination, destinationRect, sourceRect, source, area)) return;

    // Inside the area every value fits 32 bits.
    const int32_t firstColumn = static_cast<int32_t>(area.firstColumn);
    const int32_t columns = static_cast<int32_t>(area.width - area.firstColumn);
    const int32_t rows = static_cast<int32_t>(area.height - area.firstRow);
    const int32_t sourceTop = static_cast<int32_t>(sourceRect.top + area.firstRow);
    const int32_t destinationTop = static_cast<int32_t>(destinationRect.top + area.firstRow);
    const size_t sourceOffset = 4 * static_cast<size_t>(int64_t{sourceRect.left} + firstColumn);
    const size_t destinationOffset = 4 * static_cast<size_t>(int64_t{destinationRect.left} + firstColumn);
    const size_t length = 4 * static_cast<size_t>(columns);

    // This path reads a whole row of blocks before writing it. That equals
    // the block-by-block order only when no block writes where a later block
    // of its row reads: each block over itself, or buffers apart. Other
    // overlaps, and missing rows, take the reference's order.
    const bool samePlace = (&destination == &source || destination.Rows == source.Rows) &&
                           sourceOffset == destinationOffset && sourceTop == destinationTop;
    if ((!samePlace && RowBytesOverlap(destination, {destinationTop, rows, destinationOffset, length}, source,
                                       {sourceTop, rows, sourceOffset, length})) ||
        AnyRowMissing(source, sourceTop, rows) || AnyRowMissing(destination, destinationTop, rows)) {
        reference::Mosaic(destination, destinationRect, blockSize, sourceRect, source);
        return;
    }

    const int32_t blockRows = (rows + blockSize - 1) / blockSize;
    ForEachRowBand(blockRows, int64_t{blockSize} * columns * 2, [&](int32_t firstBlockRow, int32_t endBlockRow) {
        ColumnSums sums;
        uint8_t pattern[ChunkColumns * 4];
        for (int32_t blockRow = firstBlockRow; blockRow < endBlockRow; ++blockRow) {
            const int32_t top = blockRow * blockSize;
            const int32_t height = std::min(blockSize, rows - top);
            for (int32_t chunk = 0; chunk < columns; chunk += ChunkColumns) {
                const int32_t width = std::min(ChunkColumns, columns - chunk);
                for (int32_t y = 0; y < height; ++y) {
                    const uint8_t* row = source.Rows[sourceTop + top + y] + sourceOffset + 4 * size_t(chunk);
                    AddRowToColumnSums(sums.channels, row, width, y == 0);
                }
                BuildPattern(sums.channels, width, height, blockSize, shift, pattern);
                for (int32_t y = 0; y < height; ++y) {
                    uint8_t* row = destination.Rows[destinationTop + top + y] + destinationOffset + 4 * size_t(chunk);
                    std::memcpy(row, pattern, 4 * size_t(width));
                }
            }
        }
    });
}
