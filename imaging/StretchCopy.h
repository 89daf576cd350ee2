// StretchCopy: copies a rectangle of one buffer into a rectangle of another
// of a different size; bilinear when enlarging, area-averaging when
// shrinking, fixed point with 10 fractional bits.
//
// Destination 24 or 32 bits, source 8, 24 or 32 bits. Equal sizes are handed
// to Copy (with its clipping); otherwise both rectangles must lie inside
// their buffers and be non-empty, else the call is refused (false). Samples
// beyond the source's right or bottom edge take the source's EdgeColour.
#pragma once

#include "imaging/DirectBmpControl.h"

bool StretchCopy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                 const TRect& sourceRect);

namespace reference {
bool StretchCopy(DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                 const TRect& sourceRect);
}
