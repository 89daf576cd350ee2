// The resampling copy written plainly, one destination pixel and one channel
// at a time, exactly as the arithmetic is defined. The fast form in
// StretchCopy.cpp is tested against it.

#include "imaging/PixelKernelSupport.h"
#include "imaging/StretchCopy.h"

namespace {

struct Sample {
    int32_t channel[4];  // blue, green, red, alpha
};

// A source pixel inside the buffer; 8- and 24-bit pixels have alpha 255.
Sample ReadSample(const DirectBmpControl& source, int64_t column, int64_t row)
{
    const uint8_t* line = source.Rows[row];
    Sample sample{};
    if (source.BitsPerPixel == 8) {
        const uint8_t* entry = source.Palette[line[column]];
        sample = {{entry[0], entry[1], entry[2], 255}};
    } else if (source.BitsPerPixel == 24) {
        const uint8_t* p = line + 3 * column;
        sample = {{p[0], p[1], p[2], 255}};
    } else {
        const uint8_t* p = line + 4 * column;
        sample = {{p[0], p[1], p[2], p[3]}};
    }
    return sample;
}

Sample EdgeSample(const DirectBmpControl& source)
{
    // EdgeColour: reserved, red, green, blue, alpha.
    const uint8_t* edge = source.EdgeColour;
    return {{edge[3], edge[2], edge[1], source.BitsPerPixel == 32 ? edge[4] : 255}};
}

void WritePixel(DirectBmpControl& destination, int64_t column, int64_t row, const int32_t channel[4])
{
    uint8_t* line = destination.Rows[row];
    if (destination.BitsPerPixel == 32) {
        uint8_t* p = line + 4 * column;
        for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(channel[c]);
    } else {
        uint8_t* p = line + 3 * column;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(channel[c]);
    }
}

void Enlarge(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
             const TRect& sourceRect)
{
    const int32_t sw = sourceRect.right - sourceRect.left;
    const int32_t sh = sourceRect.bottom - sourceRect.top;
    const int32_t dw = destinationRect.right - destinationRect.left;
    const int32_t dh = destinationRect.bottom - destinationRect.top;
    const int64_t stepX = EnlargeStep(sw, dw);
    const int64_t stepY = EnlargeStep(sh, dh);
    const int64_t sourceWidth = ReachableWidth(source);
    const int64_t sourceHeight = ReachableHeight(source);
    const bool opaqueSource = source.BitsPerPixel != 32;

    for (int64_t y = 0; y < dh; ++y) {
        const int64_t v = stepY * y + int64_t{sourceRect.top} * 1024;
        const int64_t sy = v / 1024;
        const int64_t fy = v % 1024;
        int64_t u = int64_t{sourceRect.left} * 1024;
        for (int64_t x = 0; x < dw; ++x, u += stepX) {
            const int64_t sx = u / 1024;
            const int64_t fx = u % 1024;
            int32_t result[4];
            if (fx == 0 && fy == 0) {
                const Sample p = ReadSample(source, sx, sy);
                for (int c = 0; c < 4; ++c) result[c] = p.channel[c];
            } else {
                const bool rightOutside = sx + 1 >= sourceWidth;
                const bool belowOutside = sy + 1 >= sourceHeight;
                const Sample edge = EdgeSample(source);
                const Sample p00 = ReadSample(source, sx, sy);
                const Sample p01 = rightOutside ? edge : ReadSample(source, sx + 1, sy);
                const Sample p10 = belowOutside ? edge : ReadSample(source, sx, sy + 1);
                const Sample p11 = rightOutside || belowOutside ? edge : ReadSample(source, sx + 1, sy + 1);
                const int64_t fxy = (fx * fy) / 1024;
                for (int c = 0; c < 4; ++c) {
                    const int64_t a = p00.channel[c];
                    const int64_t b = p01.channel[c];
                    const int64_t d = p10.channel[c];
                    const int64_t e = p11.channel[c];
                    const int64_t numerator = (a - b - d + e) * fxy + (b - a) * fx + (d - a) * fy;
                    // Rounded toward minus infinity: an arithmetic shift.
                    int64_t value = a + (numerator >> 10);
                    if (value < 0) value = 0;
                    result[c] = static_cast<int32_t>(value & 0xFF);
                }
            }
            if (opaqueSource) result[3] = 255;
            WritePixel(destination, destinationRect.left + x, destinationRect.top + y, result);
        }
    }
}

void Shrink(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
            const TRect& sourceRect)
{
    const int32_t sw = sourceRect.right - sourceRect.left;
    const int32_t sh = sourceRect.bottom - sourceRect.top;
    const int32_t dw = destinationRect.right - destinationRect.left;
    const int32_t dh = destinationRect.bottom - destinationRect.top;
    const int64_t scaleX = ShrinkScale(sw, dw);
    const int64_t scaleY = ShrinkScale(sh, dh);
    const int64_t invX = ShrinkInverse(sw, dw);
    const int64_t invY = ShrinkInverse(sh, dh);
    const bool opaqueSource = source.BitsPerPixel != 32;

    for (int64_t y = 0; y < dh; ++y) {
        const int64_t cy0 = (y * invY) >> 10;
        const int64_t cy1 = ((y + 1) * invY + 1023) / 1024 - 1;
        for (int64_t x = 0; x < dw; ++x) {
            const int64_t cx0 = (x * invX) >> 10;
            const int64_t cx1 = ((x + 1) * invX + 1023) / 1024 - 1;
            int64_t total = 0;
            int64_t sum[4] = {0, 0, 0, 0};
            for (int64_t row = cy0; row <= cy1; ++row) {
                if (row >= sh) continue;
                const int64_t rowWeight = row == cy1 ? (y + 1) * 1024 - cy1 * scaleY : scaleY;
                for (int64_t column = cx0; column <= cx1; ++column) {
                    if (column >= sw) continue;
                    const int64_t columnWeight = column == cx1 ? (x + 1) * 1024 - cx1 * scaleX : scaleX;
                    const int64_t weight = columnWeight * rowWeight;
                    const Sample p = ReadSample(source, sourceRect.left + column, sourceRect.top + row);
                    total += weight;
                    for (int c = 0; c < 4; ++c) sum[c] += weight * p.channel[c];
                }
            }
            // The weights of the last column and row are at least 1, so the
            // total is never 0 for sizes the entry checks let through.
            if (total <= 0) continue;
            int32_t result[4];
            for (int c = 0; c < 4; ++c) result[c] = static_cast<int32_t>(sum[c] / total);
            if (opaqueSource) result[3] = 255;
            WritePixel(destination, destinationRect.left + x, destinationRect.top + y, result);
        }
    }
}

}  // namespace

namespace reference {

bool StretchCopy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                 const TRect& sourceRect)
{
    switch (PlanStretchCopy(destination, destinationRect, source, sourceRect)) {
    case StretchKind::Refused: return false;
    case StretchKind::Copied: return true;
    case StretchKind::Enlarge: Enlarge(destination, destinationRect, source, sourceRect); return true;
    case StretchKind::Shrink: Shrink(destination, destinationRect, source, sourceRect); return true;
    }
    return false;
}

}  // namespace reference
