#include "tests/support/PixelBuffers.h"

#include <gtest/gtest.h>

#include <cstring>

void Allocate(DirectBmpControl& buffer, int32_t width, int32_t height, int bits)
{
    ASSERT_TRUE(buffer.Allocate(width, height, PixelFormatOfBits(bits))) << width << " x " << height << ", " << bits << " bits";
}

std::vector<uint8_t> AllBytes(const DirectBmpControl& buffer)
{
    return std::vector<uint8_t>(buffer.Bits, buffer.Bits + size_t(buffer.Pitch) * size_t(buffer.Height));
}

void FillRandom(DirectBmpControl& buffer, std::mt19937& random, int maximum)
{
    std::uniform_int_distribution<int> byte(0, maximum);
    const size_t size = size_t(buffer.Pitch) * size_t(buffer.Height);
    for (size_t i = 0; i < size; ++i) buffer.Bits[i] = static_cast<uint8_t>(byte(random));
    for (auto& entry : buffer.Palette)
        for (auto& channel : entry) channel = static_cast<uint8_t>(byte(random));
    for (auto& channel : buffer.EdgeColour) channel = static_cast<uint8_t>(byte(random));
}

void CloneInto(DirectBmpControl& clone, const DirectBmpControl& buffer)
{
    ASSERT_TRUE(clone.Allocate(buffer.Width, buffer.Height, PixelFormatOfBits(buffer.BitsPerPixel)));
    std::memcpy(clone.Bits, buffer.Bits, size_t(buffer.Pitch) * size_t(buffer.Height));
    std::memcpy(clone.Palette, buffer.Palette, sizeof buffer.Palette);
    std::memcpy(clone.EdgeColour, buffer.EdgeColour, sizeof buffer.EdgeColour);
}

uint32_t Pixel32(const DirectBmpControl& buffer, int x, int y)
{
    const uint8_t* p = buffer.Rows[y] + 4 * x;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void SetPixel32(DirectBmpControl& buffer, int x, int y, uint32_t value)
{
    uint8_t* p = buffer.Rows[y] + 4 * x;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string Describe(const TRect& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}
