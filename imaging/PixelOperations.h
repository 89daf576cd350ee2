// The pixel operations of the transitions: Blend, Mosaic and ToneGrey.
//
// Blend: destination = (source × w + destination × (256 − w)) >> 8 per colour
// channel, w = BlendWeight[level]; destination 24 or 32 bits (32-bit pixels
// get alpha 255), source 8, 24 or 32 bits; clipped as Copy clips.
// Mosaic: both buffers as 32-bit; averages blocks of blockSize × blockSize
// (2, 4, 8, 16, 32 or 64) from the source into the destination (alpha 0);
// source and destination may be the same buffer. Rows and columns outside
// either buffer are skipped; other block sizes, and buffers of other depths,
// change nothing.
// ToneGrey: greys a rectangle of a 24- or 32-bit buffer and tints it with the
// factors; rows and columns outside the buffer are skipped.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <array>
#include <cstdint>

// 0..127 → itself, 128..255 → one more: there is no weight 128.
extern const std::array<uint16_t, 256> BlendWeight;

struct ToneParams {
    uint8_t flag = 0;
    uint8_t halfway = 0;
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
};

constexpr ToneParams MonochromeTone{0, 0, 255, 255, 255};
constexpr ToneParams SepiaTone{0, 1, 255, 240, 215};

bool Blend(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
           const TRect& sourceRect, uint8_t level);
void Mosaic(DirectBmpControl& destination, const TRect& destinationRect, int blockSize, const TRect& sourceRect,
            const DirectBmpControl& source);
bool ToneGrey(DirectBmpControl& buffer, const TRect& rect, const ToneParams& params);

// A transition frame in one pass: the same bytes as Copy(destination, rect,
// base, rect) followed by Blend(destination, rect, source, rect, level).
// Three 32-bit buffers in separate memory covering the rectangle take the
// single-pass path; anything else runs exactly those two calls.
void BlendOverCopy(DirectBmpControl& destination, const DirectBmpControl& base, const DirectBmpControl& source,
                   const TRect& rect, uint8_t level);

// Plain scalar forms, kept as the reference that the fast paths are proven
// against in the tests.
namespace reference {
bool Blend(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
           const TRect& sourceRect, uint8_t level);
void Mosaic(DirectBmpControl& destination, const TRect& destinationRect, int blockSize, const TRect& sourceRect,
            const DirectBmpControl& source);
bool ToneGrey(DirectBmpControl& buffer, const TRect& rect, const ToneParams& params);
}
