// TRect: a rectangle as the window system gives it: left, top, right, bottom,
// with right and bottom exclusive.
#pragma once

#include <cstdint>

struct TRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr int64_t Width() const { return int64_t{right} - left; }
    constexpr int64_t Height() const { return int64_t{bottom} - top; }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};
