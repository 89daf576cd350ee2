// The PNG Paeth predictor (row filter type 4): of the byte to the left, the
// byte above and the byte above-left (each 0 outside the image), the one
// closest to left + above - upperLeft, ties going to left, then above. The
// PNG decoder, the PNG writer and the tests' PNG encoder all predict with this
// one function, so that what one writes the other reads back.
#pragma once

#include <cstdint>

constexpr uint8_t PaethPredictor(int left, int above, int upperLeft)
{
    const auto distance = [](int a, int b) { return a > b ? a - b : b - a; };
    const int estimate = left + above - upperLeft;
    const int toLeft = distance(estimate, left);
    const int toAbove = distance(estimate, above);
    const int toUpperLeft = distance(estimate, upperLeft);
    if (toLeft <= toAbove && toLeft <= toUpperLeft) return static_cast<uint8_t>(left);
    if (toAbove <= toUpperLeft) return static_cast<uint8_t>(above);
    return static_cast<uint8_t>(upperLeft);
}
