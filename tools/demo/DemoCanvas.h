// DemoCanvas: the drawing kit behind the demo pictures: floating-point
// colours, gradients, smooth value noise for ridges and curtains, a canvas
// to paint on, and the step into a 32-bit pixel buffer.
//
// Everything is deterministic: the noise comes from an integer hash of the
// lattice point and a seed, never from a random device or the clock, so the
// generator writes the same pictures on every run.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

// A colour with channels nominally in 0..1 (sums may exceed 1 until the
// buffer step clamps them).
struct Rgb {
    float r = 0, g = 0, b = 0;
};

constexpr Rgb operator+(Rgb a, Rgb b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
constexpr Rgb operator-(Rgb a, Rgb b)
{
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}
constexpr Rgb operator*(Rgb a, float k)
{
    return {a.r * k, a.g * k, a.b * k};
}
constexpr Rgb operator*(Rgb a, Rgb b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

// 0xRRGGBB as written in a colour picker.
constexpr Rgb Hex(uint32_t rrggbb)
{
    return {static_cast<float>(rrggbb >> 16 & 0xFF) / 255.0f, static_cast<float>(rrggbb >> 8 & 0xFF) / 255.0f,
            static_cast<float>(rrggbb & 0xFF) / 255.0f};
}

constexpr float Clamp01(float x)
{
    return x < 0 ? 0 : x > 1 ? 1 : x;
}
constexpr float Mix(float a, float b, float t)
{
    return a + (b - a) * t;
}
constexpr Rgb Mix(Rgb a, Rgb b, float t)
{
    return a + (b - a) * t;
}
constexpr float Smoothstep(float edge0, float edge1, float x)
{
    const float t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}
// Screen blending: lightens, never past white, the way light adds up on film.
inline Rgb Screen(Rgb base, Rgb light)
{
    return {1 - (1 - Clamp01(base.r)) * (1 - Clamp01(light.r)), 1 - (1 - Clamp01(base.g)) * (1 - Clamp01(light.g)),
            1 - (1 - Clamp01(base.b)) * (1 - Clamp01(light.b))};
}

// A gradient: stops in rising order of `at`; colours between two stops are
// eased with a smoothstep so that no stop shows as a crease.
struct ColourStop {
    float at;
    Rgb colour;
};
Rgb Gradient(std::span<const ColourStop> stops, float t);

// Integer hash (good avalanche) and values derived from it.
uint32_t Hash32(uint32_t value);
// A number in [0, 1) for (seed, n).
float Hash01(uint32_t seed, uint32_t n);

// Smooth value noise in [0, 1]: quintic interpolation between hashed lattice
// values, so its first and second derivatives are continuous.
float ValueNoise1(float x, uint32_t seed);
float ValueNoise2(float x, float y, uint32_t seed);
// Fractal sums of the above (each octave twice the frequency, `gain` times
// the amplitude), normalised back to [0, 1].
float Fbm1(float x, uint32_t seed, int octaves, float gain = 0.5f);
float Fbm2(float x, float y, uint32_t seed, int octaves, float gain = 0.5f);

// A sequence of reproducible numbers for placing stars and shapes.
class DemoRandom {
public:
    explicit DemoRandom(uint32_t seed) : state_(seed) {}
    float Next() { return Hash01(state_, counter_++); }  // [0, 1)
    float Range(float low, float high) { return low + (high - low) * Next(); }

private:
    uint32_t state_;
    uint32_t counter_ = 0;
};

class Canvas {
public:
    Canvas(int width, int height, Rgb fill = {});

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb& At(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Rgb& At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Nearest pixel for coordinates outside the canvas.
    const Rgb& Clamped(int x, int y) const;

    // Colour over the pixel with opacity `alpha` (0..1).
    void Blend(int x, int y, Rgb colour, float alpha);
    // Light added to the pixel.
    void Add(int x, int y, Rgb light);

    // A round spot of light (Gaussian, sigma in pixels), added within 3 sigma.
    void AddGlowSpot(float cx, float cy, float sigma, Rgb light);

private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

enum class CanvasDither { None, Ordered };

// Writes the canvas into a 32-bit buffer of the same size (alpha 255).
// Ordered: an 8 x 8 Bayer threshold below one step of 8 bits, which keeps
// long gradients free of visible bands; its pattern repeats every 8 pixels,
// so runs of one colour stay repetitive for the compressors. None: each
// channel rounded, so a canvas painted with n colours gives n colours.
void CanvasToBuffer(const Canvas& canvas, DirectBmpControl& buffer, CanvasDither dither);
