// ToneGrey: turns a rectangle grey (optionally halfway towards the plain
// average of the channels) and tints the grey with three factors.

#include "imaging/PixelKernelSupport.h"
#include "imaging/PixelOperations.h"


namespace {

// The rectangle cut to the buffer: the description does not clip, but rows
// and columns outside the buffer must not be touched. Empty when false.
bool ClipToBuffer(const DirectBmpControl& buffer, const TRect& rect, int32_t& left, int32_t& top, int32_t& right,
                  int32_t& bottom)
{
    left = static_cast<int32_t>(std::max<int64_t>(rect.left, 0));
    top = static_cast<int32_t>(std::max<int64_t>(rect.top, 0));
    right = static_cast<int32_t>(std::min<int64_t>(rect.right, ReachableWidth(buffer)));
    bottom = static_cast<int32_t>(std::min<int64_t>(rect.bottom, ReachableHeight(buffer)));
    return left < right && top < bottom;
}

}  // namespace

namespace reference {

bool ToneGrey(DirectBmpControl& buffer, const TRect& rect, const ToneParams& params)
{
    if (buffer.BitsPerPixel != 24 && buffer.BitsPerPixel != 32) return false;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    if (!ClipToBuffer(buffer, rect, left, top, right, bottom)) return true;

    const int step = buffer.BytesPerPixel;
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* row = buffer.Rows[y];
        if (row == nullptr) continue;
        for (int32_t x = left; x < right; ++x) {
            uint8_t* p = row + static_cast<size_t>(x) * step;
            const uint32_t b = p[0];
            const uint32_t g = p[1];
            const uint32_t r = p[2];
            uint32_t grey = 0;
            if (params.halfway == 0) {
                grey = (30 * r + 59 * g + 11 * b) / 100;
            } else {
                const uint32_t average = (b + g + r) / 3;
                grey = (30 * (r + average) + 59 * (g + average) + 11 * (b + average)) / 200;
            }
            if (grey > 255) grey = 255;
            p[0] = static_cast<uint8_t>(grey * params.blue >> 8);
            p[1] = static_cast<uint8_t>(grey * params.green >> 8);
            p[2] = static_cast<uint8_t>(grey * params.red >> 8);
        }
    }
    return true;
}

}  // namespace reference

namespace {

// Division by constants through multiplication, proven exact over every
// value the formulas can produce (weighted sums up to 100 × 255, channel
// sums up to 3 × 255, halfway numerators up to 200 × 255).
constexpr uint32_t DivideBy100(uint32_t value) { return value * 41944 >> 22; }
constexpr uint32_t DivideBy3(uint32_t value) { return value * 43691 >> 17; }
constexpr uint32_t DivideBy200(uint32_t value) { return DivideBy100(value >> 1); }

constexpr bool DivisionsExact()
{
    for (uint32_t v = 0; v <= 100 * 255; ++v)
        if (DivideBy100(v) != v / 100) return false;
    for (uint32_t v = 0; v <= 3 * 255; ++v)
        if (DivideBy3(v) != v / 3) return false;
    for (uint32_t v = 0; v <= 200 * 255; ++v)
        if (DivideBy200(v) != v / 200) return false;
    return true;
}
static_assert(DivisionsExact());

// The toned colour of every grey level: the factors are applied in 32-bit
// unsigned arithmetic whatever their size, as the reference does.
struct ToneTable {
    uint8_t blue[256];
    uint8_t green[256];
    uint8_t red[256];
};

ToneTable MakeToneTable(const ToneParams& params)
{
    ToneTable table{};
    for (uint32_t grey = 0; grey < 256; ++grey) {
        table.blue[grey] = static_cast<uint8_t>(grey * params.blue >> 8);
        table.green[grey] = static_cast<uint8_t>(grey * params.green >> 8);
        table.red[grey] = static_cast<uint8_t>(grey * params.red >> 8);
    }
    return table;
}

template <int Bytes>
void ToneRowScalar(uint8_t* p, int32_t width, bool halfway, const ToneTable& table)
{
    for (int32_t x = 0; x < width; ++x, p += Bytes) {
        const uint32_t b = p[0];
        const uint32_t g = p[1];
        const uint32_t r = p[2];
        const uint32_t weighted = 30 * r + 59 * g + 11 * b;
        uint32_t grey = halfway ? DivideBy200(weighted + 100 * DivideBy3(b + g + r)) : DivideBy100(weighted);
        if (grey > 255) grey = 255;
        p[0] = table.blue[grey];
        p[1] = table.green[grey];
        p[2] = table.red[grey];
    }
}

#if KAMISHIBAI_PIXEL_SSE2
// Four 32-bit pixels at a time. Blue and red share one 16-bit pair per
// pixel, green and alpha another, so one multiply-add gives the weighted
// sum; the divisions above run as 16-bit high multiplies (every operand is
// below 2^16). Only for factors up to 255, whose products with a grey level
// stay within 16 bits.
template <bool Halfway>
void ToneRow32Sse2(uint8_t* p, int32_t width, const ToneParams& params, const ToneTable& table)
{
    const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    const __m128i blueRedWeights = _mm_set1_epi32(11 | 30 << 16);
    const __m128i greenWeight = _mm_set1_epi32(59);
    const __m128i ones = _mm_set1_epi32(1 | 1 << 16);
    const __m128i one = _mm_set1_epi32(1);
    const __m128i hundred = _mm_set1_epi32(100);
    const __m128i by100 = _mm_set1_epi32(41944);
    const __m128i by3 = _mm_set1_epi32(43691);
    const __m128i maximum = _mm_set1_epi32(255);
    const __m128i blueRedFactors = _mm_set1_epi32(static_cast<int32_t>(params.blue | params.red << 16));
    const __m128i greenFactor = _mm_set1_epi32(static_cast<int32_t>(params.green));
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        uint8_t* q = p + 4 * x;
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i blueRed = _mm_and_si128(pixels, lowBytes);
        const __m128i greenAlpha = _mm_and_si128(_mm_srli_epi32(pixels, 8), lowBytes);
        __m128i numerator = _mm_add_epi32(_mm_madd_epi16(blueRed, blueRedWeights),
                                          _mm_madd_epi16(greenAlpha, greenWeight));
        if constexpr (Halfway) {
            const __m128i sum = _mm_add_epi32(_mm_madd_epi16(blueRed, ones), _mm_madd_epi16(greenAlpha, one));
            const __m128i average = _mm_srli_epi32(_mm_mulhi_epu16(sum, by3), 1);
            numerator = _mm_add_epi32(numerator, _mm_madd_epi16(average, hundred));
            numerator = _mm_srli_epi32(numerator, 1);
        }
        __m128i grey = _mm_srli_epi32(_mm_mulhi_epu16(numerator, by100), 6);
        grey = _mm_min_epi16(grey, maximum);
        const __m128i greyPair = _mm_or_si128(grey, _mm_slli_epi32(grey, 16));
        const __m128i tonedBlueRed = _mm_srli_epi16(_mm_mullo_epi16(greyPair, blueRedFactors), 8);
        const __m128i tonedGreen = _mm_slli_epi32(_mm_srli_epi16(_mm_mullo_epi16(grey, greenFactor), 8), 8);
        const __m128i result =
            _mm_or_si128(_mm_or_si128(tonedBlueRed, tonedGreen), _mm_and_si128(pixels, alphaMask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), result);
    }
    ToneRowScalar<4>(p + 4 * x, width - x, Halfway, table);
}
#endif

}  // namespace

bool ToneGrey(DirectBmpControl& buffer, const TRect& rect, const ToneParams& params)
{
    if (buffer.BitsPerPixel != 24 && buffer.BitsPerPixel != 32) return false;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    if (!ClipToBuffer(buffer, rect, left, top, right, bottom)) return true;

    const ToneTable table = MakeToneTable(params);
    const bool halfway = params.halfway != 0;
    const int32_t width = right - left;
    const int bits = buffer.BitsPerPixel;
#if KAMISHIBAI_PIXEL_SSE2
    const bool smallFactors = params.blue <= 255 && params.green <= 255 && params.red <= 255;
#endif
    ForEachRowBand(bottom - top, width, [&](int32_t firstRow, int32_t endRow) {
        for (int32_t y = top + firstRow; y < top + endRow; ++y) {
            uint8_t* row = buffer.Rows[y];
            if (row == nullptr) continue;
            if (bits == 24) {
                ToneRowScalar<3>(row + 3 * size_t(left), width, halfway, table);
                continue;
            }
            uint8_t* p = row + 4 * size_t(left);
#if KAMISHIBAI_PIXEL_SSE2
            if (smallFactors) {
                if (halfway) ToneRow32Sse2<true>(p, width, params, table);
                else ToneRow32Sse2<false>(p, width, params, table);
                continue;
            }
#endif
            ToneRowScalar<4>(p, width, halfway, table);
        }
    });
    return true;
}
