// Blend: mixes a source rectangle over a destination rectangle with one of
// 256 levels, and the weight table behind the levels.

#include "imaging/PixelKernelSupport.h"
#include "imaging/PixelOperations.h"


namespace {

constexpr std::array<uint16_t, 256> MakeBlendWeights()
{
    std::array<uint16_t, 256> weights{};
    for (int level = 0; level < 256; ++level) weights[level] = static_cast<uint16_t>(level < 128 ? level : level + 1);
    return weights;
}

bool BlendDepthsHandled(const DirectBmpControl& destination, const DirectBmpControl& source)
{
    const int d = destination.BitsPerPixel;
    const int s = source.BitsPerPixel;
    return (d == 24 || d == 32) && (s == 8 || s == 24 || s == 32);
}

}  // namespace

const std::array<uint16_t, 256> BlendWeight = MakeBlendWeights();

namespace reference {

bool Blend(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
           const TRect& sourceRect, uint8_t level)
{
    if (!BlendDepthsHandled(destination, source)) return false;
    ClippedArea area;
    if (!ClipLikeCopy(destination, destinationRect, source, sourceRect, area)) return true;
    const uint32_t w = BlendWeight[level];
    if (w == 0) return true;

    const int destinationStep = destination.BytesPerPixel;
    const int sourceStep = source.BytesPerPixel;
    for (int32_t r = 0; r < area.height; ++r) {
        uint8_t* d = destination.Rows[area.destinationY + r];
        const uint8_t* s = source.Rows[area.sourceY + r];
        if (d == nullptr || s == nullptr) continue;
        d += static_cast<size_t>(area.destinationX) * destinationStep;
        s += static_cast<size_t>(area.sourceX) * sourceStep;
        for (int32_t x = 0; x < area.width; ++x, d += destinationStep, s += sourceStep) {
            const uint8_t* channels = source.BitsPerPixel == 8 ? source.Palette[s[0]] : s;
            for (int c = 0; c < 3; ++c) {
                d[c] = static_cast<uint8_t>((channels[c] * w + d[c] * (256 - w)) >> 8);
            }
            if (destination.BitsPerPixel == 32) d[3] = 255;
        }
    }
    return true;
}

}  // namespace reference

namespace {

// One row, any pair of depths: the channels of a source pixel come from
// `channelsOf`, which hides the palette of an 8-bit source.
template <int DestinationBytes, int SourceBytes, typename ChannelsOf>
void BlendRowScalar(uint8_t* d, const uint8_t* s, int32_t width, uint32_t w, ChannelsOf channelsOf)
{
    const uint32_t inverse = 256 - w;
    for (int32_t x = 0; x < width; ++x, d += DestinationBytes, s += SourceBytes) {
        const uint8_t* c = channelsOf(s);
        d[0] = static_cast<uint8_t>((c[0] * w + d[0] * inverse) >> 8);
        d[1] = static_cast<uint8_t>((c[1] * w + d[1] * inverse) >> 8);
        d[2] = static_cast<uint8_t>((c[2] * w + d[2] * inverse) >> 8);
        if constexpr (DestinationBytes == 4) d[3] = 255;
    }
}

// One pixel of BlendRow32From32.
inline void BlendPixel32(uint8_t* o, const uint8_t* b, const uint8_t* c, uint32_t w, uint32_t inverseWeight)
{
    const uint8_t blue = static_cast<uint8_t>((c[0] * w + b[0] * inverseWeight) >> 8);
    const uint8_t green = static_cast<uint8_t>((c[1] * w + b[1] * inverseWeight) >> 8);
    const uint8_t red = static_cast<uint8_t>((c[2] * w + b[2] * inverseWeight) >> 8);
    o[0] = blue;
    o[1] = green;
    o[2] = red;
    o[3] = 255;
}

// out = (s × w + base × (256 − w)) >> 8 per channel, alpha 255; `out` may
// be `base` itself. With Stream (only when `out` is neither input), the
// vector stores bypass the cache: a whole frame is written and not read
// back soon, and skipping the read for ownership of every line cuts a
// quarter of the memory traffic. The caller fences after the rows.
template <bool Stream = false>
void BlendRow32From32(uint8_t* out, const uint8_t* base, const uint8_t* s, int32_t width, uint32_t w)
{
    const uint32_t inverseWeight = 256 - w;
    int32_t x = 0;
#if KAMISHIBAI_PIXEL_SSE2
    bool streaming = Stream && (reinterpret_cast<uintptr_t>(out) & 3) == 0;
    if (streaming) {
        for (; x < width && (reinterpret_cast<uintptr_t>(out + 4 * x) & 15) != 0; ++x)
            BlendPixel32(out + 4 * x, base + 4 * x, s + 4 * x, w, inverseWeight);
    }
    // Four pixels at a time in 16-bit lanes: with w ≤ 256 neither product
    // nor their sum (at most 255 × 256) leaves 16 bits.
    const __m128i weight = _mm_set1_epi16(static_cast<int16_t>(w));
    const __m128i inverse = _mm_set1_epi16(static_cast<int16_t>(256 - w));
    const __m128i opaque = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= width; x += 4) {
        const __m128i sp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
        const __m128i dp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 4 * x));
        const __m128i low = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sp, zero), weight),
                                                         _mm_mullo_epi16(_mm_unpacklo_epi8(dp, zero), inverse)),
                                           8);
        const __m128i high = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sp, zero), weight),
                                                          _mm_mullo_epi16(_mm_unpackhi_epi8(dp, zero), inverse)),
                                            8);
        const __m128i result = _mm_or_si128(_mm_packus_epi16(low, high), opaque);
        if (streaming)
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * x), result);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), result);
    }
#endif
    for (; x < width; ++x) BlendPixel32(out + 4 * x, base + 4 * x, s + 4 * x, w, inverseWeight);
}

bool WholeRowsPresent(const DirectBmpControl& buffer, const TRect& rect)
{
    return buffer.BitsPerPixel == 32 && rect.left >= 0 && rect.top >= 0 && rect.right > rect.left &&
           rect.bottom > rect.top && rect.right <= ReachableWidth(buffer) && rect.bottom <= ReachableHeight(buffer) &&
           !AnyRowMissing(buffer, rect.top, rect.bottom - rect.top);
}

}  // namespace

bool Blend(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
           const TRect& sourceRect, uint8_t level)
{
    if (!BlendDepthsHandled(destination, source)) return false;
    ClippedArea area;
    if (!ClipLikeCopy(destination, destinationRect, source, sourceRect, area)) return true;
    const uint32_t w = BlendWeight[level];
    if (w == 0) return true;

    const int destinationBits = destination.BitsPerPixel;
    const int sourceBits = source.BitsPerPixel;
    // A source that shares memory with the destination, other than each
    // pixel with itself, sees pixels already blended: only the reference's
    // strict pixel order gives the defined result then.
    const size_t destinationBytes = static_cast<size_t>(destinationBits / 8);
    const size_t sourceBytes = static_cast<size_t>(sourceBits / 8);
    const bool samePlace = &destination == &source && area.sourceX == area.destinationX &&
                           area.sourceY == area.destinationY;
    if (!samePlace &&
        RowBytesOverlap(destination,
                        {area.destinationY, area.height, area.destinationX * destinationBytes,
                         area.width * destinationBytes},
                        source, {area.sourceY, area.height, area.sourceX * sourceBytes, area.width * sourceBytes})) {
        return reference::Blend(destination, destinationRect, source, sourceRect, level);
    }
    const auto& palette = source.Palette;
    const auto direct = [](const uint8_t* p) { return p; };
    const auto viaPalette = [&palette](const uint8_t* p) { return palette[p[0]]; };

    // Bottom row first: a fade frame blends right after copying the saved
    // picture top to bottom, so the last rows copied are the ones still in
    // the cache.
    ForEachRowBand(area.height, area.width, [&](int32_t first, int32_t end) {
        for (int32_t fromBottom = first; fromBottom < end; ++fromBottom) {
            const int32_t r = area.height - 1 - fromBottom;
            uint8_t* d = destination.Rows[area.destinationY + r];
            const uint8_t* s = source.Rows[area.sourceY + r];
            if (d == nullptr || s == nullptr) continue;
            d += area.destinationX * destinationBytes;
            s += area.sourceX * sourceBytes;
            if (destinationBits == 32) {
                if (sourceBits == 32) BlendRow32From32(d, d, s, area.width, w);
                else if (sourceBits == 24) BlendRowScalar<4, 3>(d, s, area.width, w, direct);
                else BlendRowScalar<4, 1>(d, s, area.width, w, viaPalette);
            } else {
                if (sourceBits == 32) BlendRowScalar<3, 4>(d, s, area.width, w, direct);
                else if (sourceBits == 24) BlendRowScalar<3, 3>(d, s, area.width, w, direct);
                else BlendRowScalar<3, 1>(d, s, area.width, w, viaPalette);
            }
        }
    });
    return true;
}

void BlendOverCopy(DirectBmpControl& destination, const DirectBmpControl& base, const DirectBmpControl& source,
                   const TRect& rect, uint8_t level)
{
    const uint32_t w = BlendWeight[level];
    bool fused = w != 0 && WholeRowsPresent(destination, rect) && WholeRowsPresent(base, rect) &&
                 WholeRowsPresent(source, rect);
    RowBytes area;
    if (fused) {
        area = RowBytes{rect.top, static_cast<int32_t>(rect.Height()), static_cast<size_t>(rect.left) * 4,
                        static_cast<size_t>(rect.Width()) * 4};
        fused = !RowBytesOverlap(destination, area, base, area) && !RowBytesOverlap(destination, area, source, area);
    }
    if (!fused) {
        Copy(destination, rect, base, rect);
        Blend(destination, rect, source, rect, level);
        return;
    }
    // One pass instead of two: the base and source rows are read once and
    // the destination written once, which is all the memory traffic a fade
    // frame needs.
    const size_t offset = area.offset;
    ForEachRowBand(area.rows, static_cast<int64_t>(rect.Width()), [&](int32_t first, int32_t end) {
        for (int32_t r = rect.top + first; r < rect.top + end; ++r)
            BlendRow32From32<true>(destination.Rows[r] + offset, base.Rows[r] + offset, source.Rows[r] + offset,
                                   static_cast<int32_t>(rect.Width()), w);
#if KAMISHIBAI_PIXEL_SSE2
        // The streamed stores are visible to other threads only after this.
        _mm_sfence();
#endif
    });
}
