// TPoint: a point in pixels as the window system gives it.
#pragma once

#include <cstdint>

struct TPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};
