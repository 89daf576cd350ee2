#include "tools/demo/DemoCanvas.h"

#include <algorithm>
#include <stdexcept>

Rgb Gradient(std::span<const ColourStop> stops, float t)
{
    if (stops.empty()) return {};
    if (t <= stops.front().at) return stops.front().colour;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].at) {
            const ColourStop& a = stops[i - 1];
            const ColourStop& b = stops[i];
            return Mix(a.colour, b.colour, Smoothstep(a.at, b.at, t));
        }
    }
    return stops.back().colour;
}

uint32_t Hash32(uint32_t value)
{
    // A well-mixing 32-bit finaliser: every input bit affects every output bit.
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    value ^= value >> 16;
    return value;
}

float Hash01(uint32_t seed, uint32_t n)
{
    return static_cast<float>(Hash32(n * 0x9E3779B9u ^ Hash32(seed)) >> 8) * (1.0f / 16777216.0f);
}

namespace {

float Quintic(float t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

float Lattice2(int32_t x, int32_t y, uint32_t seed)
{
    return Hash01(seed, static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u);
}

}  // namespace

float ValueNoise1(float x, uint32_t seed)
{
    const float cell = std::floor(x);
    const int32_t i = static_cast<int32_t>(cell);
    const float a = Hash01(seed, static_cast<uint32_t>(i));
    const float b = Hash01(seed, static_cast<uint32_t>(i + 1));
    return Mix(a, b, Quintic(x - cell));
}

float ValueNoise2(float x, float y, uint32_t seed)
{
    const float cellX = std::floor(x), cellY = std::floor(y);
    const int32_t i = static_cast<int32_t>(cellX), j = static_cast<int32_t>(cellY);
    const float u = Quintic(x - cellX), v = Quintic(y - cellY);
    const float top = Mix(Lattice2(i, j, seed), Lattice2(i + 1, j, seed), u);
    const float bottom = Mix(Lattice2(i, j + 1, seed), Lattice2(i + 1, j + 1, seed), u);
    return Mix(top, bottom, v);
}

float Fbm1(float x, uint32_t seed, int octaves, float gain)
{
    float sum = 0, amplitude = 1, total = 0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * ValueNoise1(x, seed + static_cast<uint32_t>(octave) * 1013u);
        total += amplitude;
        amplitude *= gain;
        x *= 2.0f;
    }
    return sum / total;
}

float Fbm2(float x, float y, uint32_t seed, int octaves, float gain)
{
    float sum = 0, amplitude = 1, total = 0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * ValueNoise2(x, y, seed + static_cast<uint32_t>(octave) * 1013u);
        total += amplitude;
        amplitude *= gain;
        // A small turn between octaves keeps the lattice from lining up.
        const float nx = 1.6f * x + 1.2f * y, ny = -1.2f * x + 1.6f * y;
        x = nx;
        y = ny;
    }
    return sum / total;
}

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), fill)
{
    if (width <= 0 || height <= 0) throw std::invalid_argument("canvas size must be positive");
}

const Rgb& Canvas::Clamped(int x, int y) const
{
    return At(std::clamp(x, 0, width_ - 1), std::clamp(y, 0, height_ - 1));
}

void Canvas::Blend(int x, int y, Rgb colour, float alpha)
{
    if (!Contains(x, y)) return;
    Rgb& pixel = At(x, y);
    pixel = Mix(pixel, colour, alpha);
}

void Canvas::Add(int x, int y, Rgb light)
{
    if (!Contains(x, y)) return;
    Rgb& pixel = At(x, y);
    pixel = pixel + light;
}

void Canvas::AddGlowSpot(float cx, float cy, float sigma, Rgb light)
{
    const float reach = 3 * sigma;
    const int x0 = static_cast<int>(std::floor(cx - reach)), x1 = static_cast<int>(std::ceil(cx + reach));
    const int y0 = static_cast<int>(std::floor(cy - reach)), y1 = static_cast<int>(std::ceil(cy + reach));
    const float inverse = 1.0f / (2 * sigma * sigma);
    for (int y = std::max(y0, 0); y <= std::min(y1, height_ - 1); ++y) {
        for (int x = std::max(x0, 0); x <= std::min(x1, width_ - 1); ++x) {
            const float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
            const float weight = std::exp(-(dx * dx + dy * dy) * inverse);
            Rgb& pixel = At(x, y);
            pixel = pixel + light * weight;
        }
    }
}

namespace {

// The classic recursive 8 x 8 Bayer matrix: thresholds 0..63.
constexpr uint8_t Bayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

uint8_t ToByte(float value, float offset)
{
    const float scaled = std::floor(Clamp01(value) * 255.0f + offset);
    return static_cast<uint8_t>(std::clamp(scaled, 0.0f, 255.0f));
}

}  // namespace

void CanvasToBuffer(const Canvas& canvas, DirectBmpControl& buffer, CanvasDither dither)
{
    if (!buffer.Allocate(canvas.Width(), canvas.Height(), TPixelFormat::Bits32))
        throw std::runtime_error("cannot allocate a pixel buffer for the picture");
    for (int y = 0; y < canvas.Height(); ++y) {
        uint8_t* row = buffer.Rows[y];
        for (int x = 0; x < canvas.Width(); ++x) {
            // Threshold in (0, 1): the rounding point moves within one step.
            const float offset = dither == CanvasDither::Ordered ? (Bayer8[y & 7][x & 7] + 0.5f) / 64.0f : 0.5f;
            const Rgb& colour = canvas.At(x, y);
            row[4 * x] = ToByte(colour.b, offset);
            row[4 * x + 1] = ToByte(colour.g, offset);
            row[4 * x + 2] = ToByte(colour.r, offset);
            row[4 * x + 3] = 255;
        }
    }
}
