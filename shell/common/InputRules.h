// InputRules: which user input ends a running saver.
//
// Any key and any mouse button end it. The mouse must move more than
// MouseThreshold pixels on one axis away from where the pointer was when the
// saver started: a desk that is knocked, or the small jump some pointers
// make when a window appears, must not end the show. Each axis is tested on
// its own, so a move of exactly 100 pixels right and 100 down does not end
// it. Positions are screen coordinates (the full-screen viewer's client area
// starts at the screen's origin, so its client coordinates are the same).
//
// In preview mode the viewer is a small picture inside the display settings,
// and no input ends it there.
#pragma once

#include "platform/TPoint.h"

#include <cstdint>
#include <cstdlib>

constexpr int32_t MouseThreshold = 100;

constexpr bool MovedBeyondThreshold(TPoint start, TPoint now, int32_t threshold = MouseThreshold)
{
    const int64_t dx = int64_t{now.x} - start.x;
    const int64_t dy = int64_t{now.y} - start.y;
    return (dx < 0 ? -dx : dx) > threshold || (dy < 0 ? -dy : dy) > threshold;
}
