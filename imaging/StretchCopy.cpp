// The fast resampling copy. Same arithmetic as the reference in
// StretchCopyReference.cpp, bit for bit, arranged for speed:
//
// - Enlarging works one destination row at a time on two source rows held
//   as blue, green, red, alpha bytes (32-bit sources are read in place,
//   8- and 24-bit rows converted once per row into per-thread scratch,
//   and a row past the source's bottom is a row of the edge colour). The
//   interpolation of one pixel is two 16-bit multiply-adds per channel pair.
// - Shrinking uses that the weight of a sample is a column weight times a
//   row weight: each destination row first sums its source rows with their
//   row weights per column, then each destination pixel sums its columns with
//   their column weights. Integer sums are exact in any order. The final
//   integer division runs as multiplications by reciprocals in double
//   precision, which give the exact quotient here (see QuotientBias).
//
// Scratch memory: per-thread vectors kept between calls (thread_local),
// each at most one source row of 16,384 pixels (or a table of one entry per
// destination column); they grow on the first calls and are reused after,
// so a call in the steady state allocates nothing.

#include "imaging/PixelKernelSupport.h"
#include "imaging/StretchCopy.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

namespace {

struct Scratch {
    std::vector<uint8_t> rows[2];  // converted source rows
    std::vector<uint8_t> edgeRow;  // the edge colour, for rows past the bottom
    std::vector<uint32_t> sums;    // weighted column sums of one destination row
};

Scratch& ThreadScratch()
{
    thread_local Scratch scratch;
    return scratch;
}

template <typename T>
T* Reserve(std::vector<T>& vector, size_t count)
{
    if (vector.size() < count) vector.resize(count);
    return vector.data();
}

// Columns [firstColumn, firstColumn + count) of a source row as blue, green,
// red, alpha bytes; 8- and 24-bit pixels get alpha 255.
void ConvertRow(const DirectBmpControl& source, int32_t row, int32_t firstColumn, int32_t count, uint8_t* out)
{
    const uint8_t* line = source.Rows[row];
    if (source.BitsPerPixel == 32) {
        std::memcpy(out, line + 4 * size_t(firstColumn), 4 * size_t(count));
    } else if (source.BitsPerPixel == 24) {
        const uint8_t* p = line + 3 * size_t(firstColumn);
        for (int32_t x = 0; x < count; ++x, p += 3, out += 4) {
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            out[3] = 255;
        }
    } else {
        const uint8_t* p = line + firstColumn;
        for (int32_t x = 0; x < count; ++x, out += 4) {
            const uint8_t* entry = source.Palette[p[x]];
            out[0] = entry[0];
            out[1] = entry[1];
            out[2] = entry[2];
            out[3] = 255;
        }
    }
}

void WritePixel(uint8_t* p, const uint8_t channels[4], int destinationBytes)
{
    p[0] = channels[0];
    p[1] = channels[1];
    p[2] = channels[2];
    if (destinationBytes == 4) p[3] = channels[3];
}

// ---------------------------------------------------------------- enlarge

struct EnlargeJob {
    const DirectBmpControl* source;
    DirectBmpControl* destination;
    int32_t sourceLeft;
    int32_t sourceTop;
    int32_t destinationLeft;
    int32_t destinationTop;
    int32_t width;   // destination
    int32_t height;  // destination
    int32_t stepX;
    int32_t stepY;
    int32_t sourceHeight;
    int32_t columns;     // source columns read, from sourceLeft on
    int32_t edgeColumn;  // first destination column whose right neighbour is beyond the source
    uint8_t edge[4];     // blue, green, red, alpha
};

// One pixel from its four neighbours, literally.
void InterpolatePixel(const uint8_t* p00, const uint8_t* p01, const uint8_t* p10, const uint8_t* p11, int32_t fx,
                      int32_t fy, int32_t fxy, uint8_t out[4])
{
    for (int c = 0; c < 4; ++c) {
        const int32_t a = p00[c];
        const int32_t b = p01[c];
        const int32_t d = p10[c];
        const int32_t e = p11[c];
        int32_t value = a + (((a - b - d + e) * fxy + (b - a) * fx + (d - a) * fy) >> 10);
        if (value < 0) value = 0;
        out[c] = static_cast<uint8_t>(value & 0xFF);
    }
}

#if KAMISHIBAI_PIXEL_SSE2
// One pixel in the four 32-bit lanes (blue, green, red, alpha), still to be
// limited below by 0 and cut to 8 bits. With the lanes paired as (p00 − p01
// − p10 + p11, p01 − p00) against (fxy, fx) and (p10 − p00, p00) against
// (fy, 1024), two multiply-adds give p00 × 1024 plus the numerator; the
// arithmetic shift then equals p00 + (numerator shr 10), as p00 × 1024 is a
// multiple of 1024. Every factor fits a signed 16-bit lane.
inline __m128i InterpolateSse2(const uint8_t* top, const uint8_t* bottom, int32_t fractions, __m128i rowFractions)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i upper = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), zero);
    const __m128i lower = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom)), zero);
    const __m128i down = _mm_sub_epi16(lower, upper);                           // p10 − p00 | p11 − p01
    const __m128i cross = _mm_sub_epi16(_mm_unpackhi_epi64(down, down), down);  // p11 − p01 − p10 + p00
    const __m128i across = _mm_sub_epi16(_mm_unpackhi_epi64(upper, upper), upper);  // p01 − p00
    const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi16(cross, across), _mm_set1_epi32(fractions));
    const __m128i second = _mm_madd_epi16(_mm_unpacklo_epi16(down, upper), rowFractions);
    return _mm_srai_epi32(_mm_add_epi32(first, second), 10);
}

inline __m128i LowEightBitsOfNonNegative(__m128i value)
{
    value = _mm_andnot_si128(_mm_srai_epi32(value, 31), value);
    return _mm_and_si128(value, _mm_set1_epi32(0xFF));
}
#endif

void EnlargeRow(const EnlargeJob& job, const uint8_t* upper, const uint8_t* lower, int32_t fy, uint8_t* out)
{
    const int destinationBytes = job.destination->BitsPerPixel / 8;
    int32_t x = 0;
#if KAMISHIBAI_PIXEL_SSE2
    // Columns before edgeColumn read both neighbours from the rows.
    const __m128i rowFractions = _mm_set1_epi32(fy | 1024 << 16);
    for (; x + 4 <= job.edgeColumn; x += 4) {
        __m128i pixel[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t u = (x + i) * job.stepX;
            const int32_t fx = u & 1023;
            const int32_t fxy = (fx * fy) >> 10;
            const size_t offset = 4 * size_t(u >> 10);
            pixel[i] = LowEightBitsOfNonNegative(
                InterpolateSse2(upper + offset, lower + offset, fxy | fx << 16, rowFractions));
        }
        const __m128i packed =
            _mm_packus_epi16(_mm_packs_epi32(pixel[0], pixel[1]), _mm_packs_epi32(pixel[2], pixel[3]));
        if (destinationBytes == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * size_t(x)), packed);
        } else {
            alignas(16) uint8_t bytes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), packed);
            for (int i = 0; i < 4; ++i) WritePixel(out + 3 * size_t(x + i), bytes + 4 * i, 3);
        }
    }
#endif
    for (; x < job.width; ++x) {
        const int32_t u = x * job.stepX;
        const int32_t fx = u & 1023;
        const size_t offset = 4 * size_t(u >> 10);
        const bool inside = x < job.edgeColumn;
        uint8_t channels[4];
        InterpolatePixel(upper + offset, inside ? upper + offset + 4 : job.edge, lower + offset,
                         inside ? lower + offset + 4 : job.edge, fx, fy, (fx * fy) >> 10, channels);
        WritePixel(out + size_t(destinationBytes) * x, channels, destinationBytes);
    }
}

void EnlargeRows(const EnlargeJob& job, int32_t firstRow, int32_t endRow)
{
    const DirectBmpControl& source = *job.source;
    const size_t rowBytes = 4 * size_t(job.columns);
    Scratch& scratch = ThreadScratch();
    uint8_t* edgeRow = Reserve(scratch.edgeRow, rowBytes);
    for (int32_t x = 0; x < job.columns; ++x) std::memcpy(edgeRow + 4 * size_t(x), job.edge, 4);
    uint8_t* converted[2] = {nullptr, nullptr};
    if (source.BitsPerPixel != 32) {
        converted[0] = Reserve(scratch.rows[0], rowBytes);
        converted[1] = Reserve(scratch.rows[1], rowBytes);
    }
    int32_t convertedRow[2] = {-1, -1};

    // A source row as blue, green, red, alpha bytes from sourceLeft on;
    // `keep` is the other row in use, whose slot must not be overwritten.
    const auto fetch = [&](int32_t row, int32_t keep) -> const uint8_t* {
        if (row >= job.sourceHeight) return edgeRow;
        if (source.BitsPerPixel == 32) return source.Rows[row] + 4 * size_t(job.sourceLeft);
        for (int slot = 0; slot < 2; ++slot)
            if (convertedRow[slot] == row) return converted[slot];
        const int slot = convertedRow[0] == keep ? 1 : 0;
        ConvertRow(source, row, job.sourceLeft, job.columns, converted[slot]);
        convertedRow[slot] = row;
        return converted[slot];
    };

    DirectBmpControl& destination = *job.destination;
    const size_t destinationOffset = size_t(job.destinationLeft) * (destination.BitsPerPixel / 8);
    for (int32_t y = firstRow; y < endRow; ++y) {
        const int32_t v = job.stepY * y + job.sourceTop * 1024;
        const int32_t sy = v >> 10;
        const int32_t fy = v & 1023;
        const uint8_t* upper = fetch(sy, sy + 1);
        const uint8_t* lower = fetch(sy + 1, sy);
        EnlargeRow(job, upper, lower, fy, destination.Rows[job.destinationTop + y] + destinationOffset);
    }
}

// False when scratch memory could not be had; the reference (which needs
// none) then does the whole copy.
bool Enlarge(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
             const TRect& sourceRect)
{
    EnlargeJob job{};
    job.source = &source;
    job.destination = &destination;
    job.sourceLeft = sourceRect.left;
    job.sourceTop = sourceRect.top;
    job.destinationLeft = destinationRect.left;
    job.destinationTop = destinationRect.top;
    job.width = destinationRect.right - destinationRect.left;
    job.height = destinationRect.bottom - destinationRect.top;
    // Sizes are at most MaximumBufferDimension here, so positions in 1/1024
    // pixels stay below 2^24.
    job.stepX = static_cast<int32_t>(EnlargeStep(sourceRect.right - sourceRect.left, job.width));
    job.stepY = static_cast<int32_t>(EnlargeStep(sourceRect.bottom - sourceRect.top, job.height));
    job.sourceHeight = static_cast<int32_t>(ReachableHeight(source));
    const int32_t sourceWidth = static_cast<int32_t>(ReachableWidth(source));

    // Columns are non-decreasing in x: find where the right neighbour first
    // falls beyond the source, and the last column read.
    const auto columnOf = [&](int32_t x) { return job.sourceLeft + ((x * job.stepX) >> 10); };
    job.edgeColumn = job.width;
    while (job.edgeColumn > 0 && columnOf(job.edgeColumn - 1) + 1 >= sourceWidth) --job.edgeColumn;
    job.columns = std::min(columnOf(job.width - 1) + 1, sourceWidth - 1) - job.sourceLeft + 1;

    const uint8_t* edge = source.EdgeColour;  // reserved, red, green, blue, alpha
    job.edge[0] = edge[3];
    job.edge[1] = edge[2];
    job.edge[2] = edge[1];
    job.edge[3] = source.BitsPerPixel == 32 ? edge[4] : 255;

    std::atomic<bool> failed{false};
    ForEachRowBand(job.height, job.width * 4, [&job, &failed](int32_t firstRow, int32_t endRow) {
        try {
            EnlargeRows(job, firstRow, endRow);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    });
    return !failed;
}

// ----------------------------------------------------------------- shrink

// The source columns (or rows) of one destination column (or row), relative
// to the source rectangle: `fullCount` of weight `scale` from `first` on,
// then `last` with `lastWeight` (0 when it lies beyond the rectangle).
struct Span {
    int32_t first;
    int32_t fullCount;
    int32_t last;
    int32_t lastWeight;
    int64_t weightSum;
};

Span SpanOf(int64_t index, int64_t scale, int64_t inverse, int32_t sourceSize)
{
    const int64_t first = (index * inverse) >> 10;
    const int64_t last = ((index + 1) * inverse + 1023) / 1024 - 1;
    Span span{};
    span.first = static_cast<int32_t>(first);
    span.fullCount = static_cast<int32_t>(std::min<int64_t>(last, sourceSize) - first);
    span.last = static_cast<int32_t>(last);
    span.lastWeight = last < sourceSize ? static_cast<int32_t>((index + 1) * 1024 - last * scale) : 0;
    span.weightSum = span.fullCount * scale + span.lastWeight;
    return span;
}

// A destination column's sources, with the factors that turn its weighted
// sums straight into a quotient: fullFactor = scaleX / weightSum and
// lastFactor = lastWeight / weightSum (each still to be divided by the row's
// weight sum). A last column beyond the rectangle has factor 0 and points at
// the first column, so that it may be read without a test.
struct ShrinkColumn {
    int32_t first;
    int32_t fullCount;
    int32_t last;
    double fullFactor;
    double lastFactor;
};

struct ShrinkJob {
    const DirectBmpControl* source;
    DirectBmpControl* destination;
    int32_t sourceLeft;
    int32_t sourceTop;
    int32_t sourceWidth;   // of the rectangle
    int32_t sourceHeight;  // of the rectangle
    int32_t destinationLeft;
    int32_t destinationTop;
    int32_t width;  // destination
    int64_t scaleY;
    int64_t invY;
    const ShrinkColumn* columns;
};

// The division of a weighted sum by the total weight. The sum is
// S = scaleX × F + lastWeight × L (F: the column sums of the full-weight
// columns added up, L: the last column's), the total T = columns' weight sum
// × rows' weight sum, and the result floor(S / T), with S ≤ 255 × T and
// T < 2^31 (checked before). It is computed as F × f1 + L × f2 with f1 and
// f2 the factors above times 1 / (rows' weight sum), all in double precision:
// at most six roundings of 2^-53 relative on two positive terms, so within
// 2^-42 of S / T (which is below 256). A quotient that is not whole lies at
// least 1 / T > 2^-31 from the next whole number; so adding 2^-36 lifts a
// whole quotient computed a hair low back to itself and carries no other
// past its floor. The truncation then gives floor(S / T) exactly.
constexpr double QuotientBias = 1.0 / (64.0 * 1024.0 * 1024.0 * 1024.0);

// sums (+)= weightA × rowA + weightB × rowB for every channel of every
// column; weights below 2^15, so one signed 16-bit multiply-add per channel
// covers both rows. A single row comes with weightB 0.
void AddWeightedRows(uint32_t* sums, const uint8_t* rowA, int32_t weightA, const uint8_t* rowB, int32_t weightB,
                     int32_t columns, bool first)
{
    int32_t x = 0;
#if KAMISHIBAI_PIXEL_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i weights = _mm_set1_epi32(weightA | weightB << 16);
    for (; x + 4 <= columns; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowA + 4 * size_t(x)));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowB + 4 * size_t(x)));
        // Bytes of a and b interleaved, then widened: each 16-bit pair is one
        // channel of one pixel from both rows.
        const __m128i low = _mm_unpacklo_epi8(a, b);
        const __m128i high = _mm_unpackhi_epi8(a, b);
        __m128i products[4] = {
            _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weights),
            _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weights),
            _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weights),
            _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weights),
        };
        __m128i* target = reinterpret_cast<__m128i*>(sums + 4 * size_t(x));
        for (int i = 0; i < 4; ++i) {
            if (!first) products[i] = _mm_add_epi32(products[i], _mm_loadu_si128(target + i));
            _mm_storeu_si128(target + i, products[i]);
        }
    }
#endif
    for (; x < columns; ++x) {
        for (int c = 0; c < 4; ++c) {
            const size_t at = 4 * size_t(x) + c;
            const uint32_t product = uint32_t(weightA) * rowA[at] + uint32_t(weightB) * rowB[at];
            sums[at] = first ? product : sums[at] + product;
        }
    }
}

void ShrinkRow(const ShrinkJob& job, const uint32_t* sums, double inverseRowWeight, uint8_t* out)
{
    const int destinationBytes = job.destination->BitsPerPixel / 8;
    const bool opaqueSource = job.source->BitsPerPixel != 32;
    for (int32_t x = 0; x < job.width; ++x) {
        const ShrinkColumn& column = job.columns[x];
        const double fullFactor = column.fullFactor * inverseRowWeight;
        const double lastFactor = column.lastFactor * inverseRowWeight;
        const uint32_t* full = sums + 4 * size_t(column.first);
        const uint32_t* last = sums + 4 * size_t(column.last);
        uint8_t channels[4];
#if KAMISHIBAI_PIXEL_SSE2
        __m128i fullSum = _mm_setzero_si128();
        for (int32_t k = 0; k < column.fullCount; ++k)
            fullSum = _mm_add_epi32(fullSum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(full + 4 * k)));
        const __m128i lastSum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last));
        const __m128d f1 = _mm_set1_pd(fullFactor);
        const __m128d f2 = _mm_set1_pd(lastFactor);
        const __m128d bias = _mm_set1_pd(QuotientBias);
        const auto quotients = [&](__m128i fullPair, __m128i lastPair) {
            const __m128d value = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(fullPair), f1),
                                             _mm_mul_pd(_mm_cvtepi32_pd(lastPair), f2));
            return _mm_cvttpd_epi32(_mm_add_pd(value, bias));
        };
        const __m128i quotient = _mm_unpacklo_epi64(
            quotients(fullSum, lastSum),
            quotients(_mm_unpackhi_epi64(fullSum, fullSum), _mm_unpackhi_epi64(lastSum, lastSum)));
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(quotient, quotient), quotient);
        const uint32_t value = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
        for (int c = 0; c < 4; ++c) channels[c] = static_cast<uint8_t>(value >> (8 * c));
#else
        for (int c = 0; c < 4; ++c) {
            uint32_t fullSum = 0;
            for (int32_t k = 0; k < column.fullCount; ++k) fullSum += full[4 * k + c];
            // As the vector form: the sums taken as signed 32-bit values.
            const double value = static_cast<double>(static_cast<int32_t>(fullSum)) * fullFactor +
                                 static_cast<double>(static_cast<int32_t>(last[c])) * lastFactor;
            channels[c] = static_cast<uint8_t>(static_cast<int32_t>(value + QuotientBias));
        }
#endif
        if (opaqueSource) channels[3] = 255;
        WritePixel(out + size_t(destinationBytes) * x, channels, destinationBytes);
    }
}

void ShrinkRows(const ShrinkJob& job, int32_t firstRow, int32_t endRow)
{
    const DirectBmpControl& source = *job.source;
    Scratch& scratch = ThreadScratch();
    const size_t rowBytes = 4 * size_t(job.sourceWidth);
    uint32_t* sums = Reserve(scratch.sums, rowBytes);
    uint8_t* converted[2] = {nullptr, nullptr};
    if (source.BitsPerPixel != 32) {
        converted[0] = Reserve(scratch.rows[0], rowBytes);
        converted[1] = Reserve(scratch.rows[1], rowBytes);
    }
    DirectBmpControl& destination = *job.destination;
    const size_t destinationOffset = size_t(job.destinationLeft) * (destination.BitsPerPixel / 8);

    for (int32_t y = firstRow; y < endRow; ++y) {
        const Span rows = SpanOf(y, job.scaleY, job.invY, job.sourceHeight);
        // Rows go in pairs through the multiply-adds; `pending` waits for
        // its partner.
        const uint8_t* pending = nullptr;
        int32_t pendingWeight = 0;
        bool first = true;
        for (int32_t k = 0; k <= rows.fullCount; ++k) {
            const bool isLast = k == rows.fullCount;
            const int32_t weight = isLast ? rows.lastWeight : static_cast<int32_t>(job.scaleY);
            if (weight == 0) continue;
            const int32_t row = job.sourceTop + (isLast ? rows.last : rows.first + k);
            const uint8_t* pixels = nullptr;
            if (source.BitsPerPixel == 32) {
                pixels = source.Rows[row] + 4 * size_t(job.sourceLeft);
            } else {
                uint8_t* slot = converted[pending == nullptr ? 0 : 1];
                ConvertRow(source, row, job.sourceLeft, job.sourceWidth, slot);
                pixels = slot;
            }
            if (pending == nullptr) {
                pending = pixels;
                pendingWeight = weight;
                continue;
            }
            AddWeightedRows(sums, pending, pendingWeight, pixels, weight, job.sourceWidth, first);
            first = false;
            pending = nullptr;
        }
        if (pending != nullptr) AddWeightedRows(sums, pending, pendingWeight, pending, 0, job.sourceWidth, first);
        ShrinkRow(job, sums, 1.0 / static_cast<double>(rows.weightSum),
                  destination.Rows[job.destinationTop + y] + destinationOffset);
    }
}

// False when the weights of this size pair leave the ranges that the fast
// arithmetic is exact in (only for extreme ratios), or when scratch memory
// could not be had; the reference then does the whole copy.
bool Shrink(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
            const TRect& sourceRect)
{
    ShrinkJob job{};
    job.source = &source;
    job.destination = &destination;
    job.sourceLeft = sourceRect.left;
    job.sourceTop = sourceRect.top;
    job.sourceWidth = sourceRect.right - sourceRect.left;
    job.sourceHeight = sourceRect.bottom - sourceRect.top;
    job.destinationLeft = destinationRect.left;
    job.destinationTop = destinationRect.top;
    job.width = destinationRect.right - destinationRect.left;
    const int32_t height = destinationRect.bottom - destinationRect.top;
    const int64_t scaleX = ShrinkScale(job.sourceWidth, job.width);
    job.scaleY = ShrinkScale(job.sourceHeight, height);
    const int64_t invX = ShrinkInverse(job.sourceWidth, job.width);
    job.invY = ShrinkInverse(job.sourceHeight, height);

    // Limits: row weights enter 16-bit multiply-adds; a weighted sum
    // (at most 255 × column weights × row weights) must stay below 2^31.
    constexpr int64_t Limit = int64_t{1} << 31;
    int64_t largestRowWeight = 0;
    int64_t largestRowSum = 0;
    for (int32_t y = 0; y < height; ++y) {
        const Span rows = SpanOf(y, job.scaleY, job.invY, job.sourceHeight);
        if (rows.weightSum <= 0 || rows.lastWeight < 0) return false;
        largestRowWeight = std::max<int64_t>({largestRowWeight, rows.lastWeight, rows.fullCount > 0 ? job.scaleY : 0});
        largestRowSum = std::max(largestRowSum, rows.weightSum);
    }
    if (largestRowWeight >= (1 << 15)) return false;

    thread_local std::vector<ShrinkColumn> columnTable;
    ShrinkColumn* columns = nullptr;
    try {
        columns = Reserve(columnTable, size_t(job.width));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int32_t x = 0; x < job.width; ++x) {
        const Span span = SpanOf(x, scaleX, invX, job.sourceWidth);
        if (span.weightSum <= 0 || span.lastWeight < 0 || 255 * span.weightSum * largestRowSum >= Limit) return false;
        const double inverse = 1.0 / static_cast<double>(span.weightSum);
        columns[x] = {span.first, span.fullCount, span.lastWeight != 0 ? span.last : span.first,
                      static_cast<double>(scaleX) * inverse, static_cast<double>(span.lastWeight) * inverse};
    }
    job.columns = columns;

    std::atomic<bool> failed{false};
    ForEachRowBand(height, int64_t{job.sourceWidth} * job.sourceHeight / height * 2,
                   [&job, &failed](int32_t firstRow, int32_t endRow) {
                       try {
                           ShrinkRows(job, firstRow, endRow);
                       } catch (const std::bad_alloc&) {
                           failed = true;
                       }
                   });
    return !failed;
}

}  // namespace

bool StretchCopy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                 const TRect& sourceRect)
{
    const StretchKind kind = PlanStretchCopy(destination, destinationRect, source, sourceRect);
    if (kind == StretchKind::Refused) return false;
    if (kind == StretchKind::Copied) return true;

    // Buffers larger than any this system allocates, and a destination that
    // shares memory with the source (whose result depends on the order in
    // which pixels are written), take the reference.
    const int32_t sourceRows =
        static_cast<int32_t>(std::min<int64_t>(int64_t{sourceRect.bottom} + 1, ReachableHeight(source)) -
                             sourceRect.top);
    const int destinationBytes = destination.BitsPerPixel / 8;
    const bool tooLarge = ReachableWidth(source) > MaximumBufferDimension ||
                          ReachableHeight(source) > MaximumBufferDimension ||
                          ReachableWidth(destination) > MaximumBufferDimension ||
                          ReachableHeight(destination) > MaximumBufferDimension;
    const bool overlapping = RowBytesOverlap(
        destination,
        {destinationRect.top, destinationRect.bottom - destinationRect.top,
         size_t(destinationRect.left) * destinationBytes,
         size_t(destinationRect.right - destinationRect.left) * destinationBytes},
        source,
        {sourceRect.top, sourceRows, 0, static_cast<size_t>(ReachableWidth(source)) * (source.BitsPerPixel / 8)});
    if (tooLarge || overlapping) return reference::StretchCopy(destination, destinationRect, source, sourceRect);

    const bool done = kind == StretchKind::Enlarge ? Enlarge(destination, destinationRect, source, sourceRect)
                                                   : Shrink(destination, destinationRect, source, sourceRect);
    return done || reference::StretchCopy(destination, destinationRect, source, sourceRect);
}
