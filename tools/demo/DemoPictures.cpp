// The demo pictures: procedural paintings, each a function of the pixel
// position and a few fixed seeds. Sizes are given at 1920 x 1080; every
// length is scaled by height / 1080 so that another size keeps the layout.
//
// Storage follows the content:
//  - JPEG for the soft, photo-like ones (gradients, glows, plasma);
//  - zlib at 32 bits for the dusk landscape (rows of sky repeat well);
//  - LZSS at 8 bits for the fractal, painted from a 255-colour palette so
//    that the palette conversion keeps every colour exactly;
//  - LZSS at 4 bits for the poster landscape, painted in 11 flat colours;
//  - raw at 4 bits for the small "about" picture.
// The palettised ones are painted without dithering, every other one with an
// ordered dither below one 8-bit step, which keeps large gradients free of
// bands.
#include "tools/demo/DemoCanvas.h"
#include "tools/demo/DemoContent.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace {

constexpr float Pi = std::numbers::pi_v<float>;
constexpr float TwoPi = 2 * Pi;

float Length(float x, float y)
{
    return std::sqrt(x * x + y * y);
}
float Fraction(float x)
{
    return x - std::floor(x);
}

// The region of a circle of `reach` around (cx, cy), clipped to the canvas.
struct Box {
    int x0, y0, x1, y1;  // inclusive
};
Box BoxAround(const Canvas& canvas, float cx, float cy, float reachX, float reachY)
{
    return {std::max(0, static_cast<int>(std::floor(cx - reachX))),
            std::max(0, static_cast<int>(std::floor(cy - reachY))),
            std::min(canvas.Width() - 1, static_cast<int>(std::ceil(cx + reachX))),
            std::min(canvas.Height() - 1, static_cast<int>(std::ceil(cy + reachY)))};
}

// Fraction of the pixel row [y, y + 1) that lies below a boundary at
// height `edge`: the anti-aliasing of a silhouette whose slope is gentle.
float CoverBelow(int y, float edge)
{
    return Clamp01(static_cast<float>(y) + 1.0f - edge);
}

// ---------------------------------------------------------------------------
// 1000: morning glow. A warm diagonal gradient with a pale sun in the upper
// right and soft out-of-focus discs of light drifting over it.

void PaintMorningGlow(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    static constexpr ColourStop sky[] = {
        {0.0f, Hex(0xFFD9B0)}, {0.35f, Hex(0xF7B0C2)}, {0.68f, Hex(0xC4A8EA)}, {1.0f, Hex(0x86AEE8)}};
    Canvas canvas(width, height);
    const float sunX = 0.78f * w, sunY = 0.2f * h;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w, v = static_cast<float>(y) / h;
            const float d = Length(static_cast<float>(x) - sunX, static_cast<float>(y) - sunY);
            const float glow = 0.55f * std::exp(-d / (0.22f * h)) + 0.25f * std::exp(-d / (0.6f * h));
            canvas.At(x, y) = Screen(Gradient(sky, 0.62f * u + 0.38f * v), Hex(0xFFF3D6) * glow);
        }
    }

    static constexpr Rgb tints[] = {Hex(0xFFFFFF), Hex(0xFFE6C7), Hex(0xFFC9DC), Hex(0xDCCFFF), Hex(0xC4E4FF)};
    DemoRandom random(1000);
    for (int i = 0; i < 44; ++i) {
        const float cx = random.Range(-0.05f, 1.05f) * w, cy = random.Range(-0.05f, 1.05f) * h;
        const float size = random.Next();
        const float radius = (22.0f + 190.0f * size * size) * s;
        const Rgb tint = tints[static_cast<int>(random.Next() * 5) % 5];
        // Large discs are fainter, as out-of-focus lights spread the same light wider.
        const float alpha = random.Range(0.12f, 0.3f) * (1.0f - 0.45f * size);
        const float softness = std::max(0.1f, 3.0f * s / radius);
        const Box box = BoxAround(canvas, cx, cy, radius, radius);
        for (int y = box.y0; y <= box.y1; ++y) {
            for (int x = box.x0; x <= box.x1; ++x) {
                const float d = Length(static_cast<float>(x) + 0.5f - cx, static_cast<float>(y) + 0.5f - cy) / radius;
                if (d >= 1.0f) continue;
                const float edge = 1.0f - Smoothstep(1.0f - softness, 1.0f, d);
                const float rim = Smoothstep(0.55f, 0.97f, d);
                Rgb& pixel = canvas.At(x, y);
                pixel = Screen(pixel, tint * (alpha * edge * (0.7f + 0.55f * rim)));
            }
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1001: aurora. Curtains of green and violet light over a night sky with
// stars, dark mountains lit at their crests, and a still lake that mirrors
// it all with a slight ripple.

void PaintAurora(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    const float lakeTop = std::floor(0.8f * h);
    static constexpr ColourStop sky[] = {
        {0.0f, Hex(0x02061A)}, {0.45f, Hex(0x071733)}, {0.8f, Hex(0x0C2E45)}, {1.0f, Hex(0x15505C)}};
    Canvas canvas(width, height);

    struct Curtain {
        float base, wave1, wave2, phase1, phase2, extent, strength;
        uint32_t seed;
        Rgb top;  // the colour high up; every curtain is green at its foot
    };
    static constexpr Curtain curtains[] = {
        {0.47f, 0.07f, 0.035f, 0.4f, 2.1f, 0.26f, 1.25f, 11, Hex(0xA04FD0)},
        {0.27f, 0.05f, 0.03f, 2.6f, 0.7f, 0.2f, 0.45f, 23, Hex(0xC050A0)},
    };
    // Per column: where each curtain's lower edge lies, how high its rays
    // reach and how bright they are: distinct vertical rays of differing
    // height, and a slow swell along the curtain.
    constexpr int CurtainCount = sizeof curtains / sizeof curtains[0];
    std::vector<float> bases[CurtainCount], reach[CurtainCount], shine[CurtainCount];
    for (int k = 0; k < CurtainCount; ++k) {
        const Curtain& c = curtains[k];
        bases[k].resize(static_cast<size_t>(width));
        reach[k].resize(static_cast<size_t>(width));
        shine[k].resize(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w;
            bases[k][x] = h * (c.base + c.wave1 * std::sin(u * TwoPi * 0.9f + c.phase1) +
                               c.wave2 * std::sin(u * TwoPi * 2.7f + c.phase2) +
                               0.012f * std::sin(u * TwoPi * 7.0f + 3.0f * c.phase2) +
                               0.04f * (Fbm1(u * 5.0f, c.seed, 3) - 0.5f));
            const float rays = std::pow(Fbm1(u * w / (34.0f * s), c.seed + 5, 2), 2.0f);
            const float heights = Fbm1(u * w / (55.0f * s), c.seed + 7, 2);
            const float along = Smoothstep(0.1f, 0.9f, ValueNoise1(u * 3.5f + static_cast<float>(k), c.seed + 9));
            reach[k][x] = c.extent * h * (0.35f + 1.1f * heights);
            shine[k][x] = (0.45f + 1.6f * rays) * (0.25f + 0.75f * along) * c.strength;
        }
    }

    for (int y = 0; y < static_cast<int>(lakeTop); ++y) {
        const float fy = static_cast<float>(y);
        const Rgb base = Gradient(sky, fy / lakeTop) + Hex(0x1F7A70) * (0.2f * std::exp(-(lakeTop - fy) / (0.07f * h)));
        for (int x = 0; x < width; ++x) {
            Rgb colour = base;
            for (int k = 0; k < CurtainCount; ++k) {
                const float edge = bases[k][x];
                // Brightest in a band along the sharp lower edge, the rays
                // fading upwards into the top colour; a faint glow hangs
                // below the edge.
                float light, d = 0;
                if (fy <= edge) {
                    d = (edge - fy) / reach[k][x];
                    light = 0.9f * std::exp(-9.0f * d) + std::exp(-1.7f * d);
                } else {
                    const float below = (fy - edge) / s;
                    light = 1.9f * std::exp(-below * below / 12.0f) + 0.1f * std::exp(-below / 45.0f);
                }
                Rgb tint = Mix(Hex(0x6CFFB8), Hex(0x2FD6C8), Smoothstep(0.0f, 0.35f, d));
                tint = Mix(tint, curtains[k].top, Smoothstep(0.3f, 1.0f, d));
                colour = colour + tint * (0.5f * light * shine[k][x]);
            }
            canvas.At(x, y) = colour;
        }
    }

    DemoRandom random(1001);
    for (int i = 0; i < 650; ++i) {
        const float cx = random.Next() * w;
        const float cy = std::pow(random.Next(), 1.2f) * lakeTop * 0.95f;
        const float b = 0.12f + 0.88f * std::pow(random.Next(), 4.0f);
        const Rgb tint = Mix(Hex(0xCFE0FF), Hex(0xFFF1D6), random.Next());
        const float fade = Smoothstep(lakeTop, 0.5f * lakeTop, cy);
        canvas.AddGlowSpot(cx, cy, (0.55f + 0.7f * b) * s, tint * (1.5f * b * fade));
    }

    // A far range of sharp peaks with snow faintly lit by the aurora, then
    // the low dark near shore.
    for (int x = 0; x < width; ++x) {
        const float u = static_cast<float>(x) / w;
        const float folded = 1.0f - std::fabs(2.0f * Fbm1(u * 3.2f + 1.7f, 71, 6) - 1.0f);
        const float far = lakeTop - h * (0.03f + 0.08f * Fbm1(u * 1.5f, 72, 3) + 0.2f * folded * folded);
        const float near = lakeTop - h * (0.004f + 0.035f * std::pow(Fbm1(u * 4.5f + 9.1f, 83, 6), 1.5f));
        for (int y = std::max(0, static_cast<int>(far)); y < static_cast<int>(lakeTop); ++y) {
            const float lit = 0.22f * std::exp(-(static_cast<float>(y) - far) / (3.5f * s));
            canvas.Blend(x, y, Hex(0x0A1626) + Hex(0x3A8C88) * lit, CoverBelow(y, far));
        }
        for (int y = std::max(0, static_cast<int>(near)); y < static_cast<int>(lakeTop); ++y)
            canvas.Blend(x, y, Hex(0x03070D), CoverBelow(y, near));
    }

    // The lake mirrors what is above its shore line.
    for (int y = static_cast<int>(lakeTop); y < height; ++y) {
        const float depth = (static_cast<float>(y) - lakeTop) / (h - lakeTop);
        const int mirrored = static_cast<int>(2 * lakeTop) - y - 1;
        const float shore = Smoothstep(0.0f, 4.0f * s, static_cast<float>(y) - lakeTop);
        for (int x = 0; x < width; ++x) {
            const float ripple = 3.0f * s * (0.3f + depth) *
                                 std::sin((static_cast<float>(y) - lakeTop) / s * 0.45f +
                                          2.0f * std::sin(static_cast<float>(x) / s * 0.006f));
            const Rgb mirror = canvas.Clamped(static_cast<int>(std::lround(static_cast<float>(x) + ripple)), mirrored);
            canvas.At(x, y) = (mirror * (0.75f - 0.3f * depth) + Hex(0x02060E) * 0.5f) * (0.4f + 0.6f * shore);
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1002: plasma. Overlapping slow sine fields (the radial ones as cosines, so
// that their centres stay smooth) through a cyclic dusk palette, shaded as if the field were a sheet of silk under a
// light from the upper left.

void PaintPlasma(DirectBmpControl& buffer, int width, int height)
{
    const float h = static_cast<float>(height), s = h / 1080.0f;
    // The field on the pixel corners, one more row and column for the slopes.
    const int fieldWidth = width + 1;
    std::vector<float> field(static_cast<size_t>(fieldWidth) * static_cast<size_t>(height + 1));
    for (int y = 0; y <= height; ++y) {
        for (int x = 0; x <= width; ++x) {
            const float px = static_cast<float>(x) / s, py = static_cast<float>(y) / s;
            field[static_cast<size_t>(y) * fieldWidth + x] =
                std::sin(px * 0.0061f + 0.5f) + std::sin((px * 0.6f + py * 0.8f) * 0.005f + 1.3f) +
                std::cos(Length(px - 560.0f, py - 380.0f) * 0.0105f) +
                std::cos(Length(px - 1480.0f, py - 860.0f) * 0.0078f) +
                0.6f * std::sin(py * 0.009f + 0.9f * std::sin(px * 0.0042f));
        }
    }
    static constexpr ColourStop palette[] = {{0.0f, Hex(0x0D1B4C)},  {0.18f, Hex(0x3A2E8C)}, {0.34f, Hex(0x8E3FA0)},
                                             {0.5f, Hex(0xE0607E)},  {0.64f, Hex(0xF59E76)}, {0.76f, Hex(0xFCE6BC)},
                                             {0.88f, Hex(0x5FB7B0)}, {1.0f, Hex(0x0D1B4C)}};
    const float lx = -0.5f, ly = -0.6f, lz = 0.62f;  // towards the light, about unit length
    const float lightLength = Length(Length(lx, ly), lz);
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * fieldWidth + x;
            const float v = 0.25f * (field[at] + field[at + 1] + field[at + fieldWidth] + field[at + fieldWidth + 1]);
            Rgb colour = Gradient(palette, Fraction(0.16f * v + 0.5f));
            // Surface normal of the field seen as a height map.
            const float gx = (field[at + 1] + field[at + fieldWidth + 1] - field[at] - field[at + fieldWidth]) * 0.5f;
            const float gy = (field[at + fieldWidth] + field[at + fieldWidth + 1] - field[at] - field[at + 1]) * 0.5f;
            const float nx = -gx * 90.0f * s, ny = -gy * 90.0f * s, nz = 1.0f;
            const float normalLength = Length(Length(nx, ny), nz);
            const float lambert = std::max(0.0f, (nx * lx + ny * ly + nz * lz) / (normalLength * lightLength));
            const float shine = std::pow(lambert, 24.0f);
            colour = colour * (0.7f + 0.38f * lambert) + Rgb{1, 1, 1} * (0.18f * shine);
            const float r =
                Length(static_cast<float>(x) - 0.5f * static_cast<float>(width), static_cast<float>(y) - 0.5f * h) / h;
            canvas.At(x, y) = colour * (1.0f - 0.35f * Smoothstep(0.45f, 1.1f, r));
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1003: Julia set. Smoothly coloured escape times through a cyclic palette
// of 255 colours plus a dark interior. Each pixel averages five samples (its
// centre and its four corners, the corners shared with the neighbours),
// which smooths the filaments at twice the cost of one sample. Painted from
// palette entries only, so the 8-bit conversion keeps it exactly.

constexpr double JuliaReal = -0.7269, JuliaImaginary = 0.1889;
constexpr int JuliaIterations = 250;

// Smooth escape time, or -1 inside.
float JuliaEscape(double zx, double zy)
{
    for (int n = 0; n < JuliaIterations; ++n) {
        const double x2 = zx * zx, y2 = zy * zy;
        if (x2 + y2 > 256.0) {
            const double logModulus = 0.5 * std::log(x2 + y2);
            return static_cast<float>(n + 1 - std::log2(logModulus));
        }
        zy = 2 * zx * zy + JuliaImaginary;
        zx = x2 - y2 + JuliaReal;
    }
    return -1.0f;
}

// Colour coordinate of an escape time: a third of a turn of the palette per
// doubling, so that colour bands widen away from the set; the far field (an
// escape time about 1) starts the palette at its dark end.
float JuliaTone(float escape)
{
    return 0.35f * (std::log2(std::max(escape, 0.0f) + 1.0f) - 1.0f);
}

void PaintJulia(DirectBmpControl& buffer, int width, int height)
{
    static constexpr ColourStop cycle[] = {{0.0f, Hex(0x0B1A3D)},  {0.22f, Hex(0x1F5FAD)}, {0.4f, Hex(0x4FC3E8)},
                                           {0.52f, Hex(0xF2F5E1)}, {0.64f, Hex(0xF5B94A)}, {0.82f, Hex(0xB8402E)},
                                           {1.0f, Hex(0x0B1A3D)}};
    std::array<uint32_t, 256> palette{};
    palette[0] = 0x050814;  // interior
    for (int i = 1; i < 256; ++i) {
        const Rgb c = Gradient(cycle, static_cast<float>(i - 1) / 255.0f);
        const auto byte = [](float value) { return static_cast<uint32_t>(std::lround(Clamp01(value) * 255.0f)); };
        palette[i] = byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
    }

    const double scale = 2.3 / height;  // the view is 2.3 units high, centred on 0
    const auto sample = [&](double x, double y) {
        return JuliaEscape((x - 0.5 * width) * scale, (y - 0.5 * height) * scale);
    };
    const size_t cornerWidth = static_cast<size_t>(width) + 1;
    std::vector<float> corners(cornerWidth * (static_cast<size_t>(height) + 1));
    for (int y = 0; y <= height; ++y)
        for (int x = 0; x <= width; ++x) corners[static_cast<size_t>(y) * cornerWidth + x] = sample(x, y);

    if (!buffer.Allocate(width, height, TPixelFormat::Bits32)) throw std::runtime_error("cannot allocate the picture");
    for (int y = 0; y < height; ++y) {
        uint8_t* row = buffer.Rows[y];
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * cornerWidth + x;
            const float samples[5] = {sample(x + 0.5, y + 0.5), corners[at], corners[at + 1], corners[at + cornerWidth],
                                      corners[at + cornerWidth + 1]};
            // The tone is averaged before it wraps round the palette.
            float toneSum = 0;
            int outside = 0;
            for (float e : samples) {
                if (e >= 0) {
                    toneSum += JuliaTone(e);
                    ++outside;
                }
            }
            const int index =
                outside < 3 ? 0 : 1 + static_cast<int>(Fraction(toneSum / static_cast<float>(outside)) * 255.0f);
            const uint32_t colour = palette[static_cast<size_t>(std::clamp(index, 0, 255))];
            row[4 * x] = static_cast<uint8_t>(colour);
            row[4 * x + 1] = static_cast<uint8_t>(colour >> 8);
            row[4 * x + 2] = static_cast<uint8_t>(colour >> 16);
            row[4 * x + 3] = 255;
        }
    }
}

// ---------------------------------------------------------------------------
// 1004: dusk. A sky from indigo to amber, the sun sinking behind five ranges
// of mountains that grow darker towards the viewer, with mist in the valleys.

void PaintDusk(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    static constexpr ColourStop sky[] = {{0.0f, Hex(0x15163F)},  {0.3f, Hex(0x3A2765)},  {0.55f, Hex(0x8C3B74)},
                                         {0.72f, Hex(0xDA6A5E)}, {0.86f, Hex(0xF4A261)}, {1.0f, Hex(0xFCD9A0)}};
    const float skyDepth = 0.76f * h;
    const float sunX = 0.64f * w, sunY = 0.55f * h, sunRadius = 0.065f * h;
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        const Rgb row = Gradient(sky, static_cast<float>(y) / skyDepth);
        for (int x = 0; x < width; ++x) {
            const float d = Length(static_cast<float>(x) + 0.5f - sunX, static_cast<float>(y) + 0.5f - sunY);
            const float glow = 0.5f * std::exp(-d / (0.1f * h)) + 0.22f * std::exp(-d / (0.4f * h));
            Rgb colour = Screen(row, Hex(0xFFC58A) * glow);
            colour = Mix(colour, Hex(0xFFF1C9), Clamp01(sunRadius - d + 0.5f));
            canvas.At(x, y) = colour;
        }
    }
    DemoRandom random(1004);
    for (int i = 0; i < 140; ++i) {
        const float cx = random.Next() * w, cy = random.Next() * 0.4f * h;
        const float b = 0.2f + 0.8f * std::pow(random.Next(), 3.0f);
        canvas.AddGlowSpot(cx, cy, (0.55f + 0.5f * b) * s, Hex(0xFFF4E0) * (b * Smoothstep(0.42f * h, 0.05f * h, cy)));
    }

    static constexpr Rgb ranges[] = {Hex(0xA8628A), Hex(0x7A4677), Hex(0x4F3062), Hex(0x2C1C42), Hex(0x120B1E)};
    static constexpr Rgb mists[] = {Hex(0xE9A08A), Hex(0xC07A86), Hex(0x8E5A7E), Hex(0x5A3A66), Hex(0x2A1C3A)};
    for (int k = 0; k < 5; ++k) {
        const float kf = static_cast<float>(k);
        const float base = h * (0.58f + 0.085f * kf), amplitude = h * (0.2f - 0.022f * kf);
        const float frequency = 1.8f + 0.9f * kf;
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w;
            const float n = Fbm1(u * frequency + kf * 13.7f, 200u + static_cast<uint32_t>(k), 7, 0.5f);
            // Far ranges get sharper peaks: folded noise gives crests.
            const float crest =
                1.0f - std::fabs(2.0f * Fbm1(u * frequency * 0.7f + 3.1f, 300u + static_cast<uint32_t>(k), 5) - 1.0f);
            const float ridge = base - amplitude * (Mix(n, crest, 0.45f - 0.08f * kf) - 0.35f);
            for (int y = std::max(0, static_cast<int>(ridge)); y < height; ++y) {
                const float mist = Smoothstep(ridge, ridge + 0.2f * h, static_cast<float>(y)) * (0.5f - 0.08f * kf);
                canvas.Blend(x, y, Mix(ranges[k], mists[k], mist), CoverBelow(y, ridge));
            }
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1005: pebbles. Rounded shapes in soft pastel colours, lit from the upper
// left, casting blurred shadows on a deep violet ground.

struct Pebble {
    float x, y;          // centre, at 1920 x 1080
    float halfW, halfH;  // half sizes
    float corner;        // corner radius
    float angle;         // radians
    uint32_t colour;
};

// Signed distance to a rounded box centred on the origin.
float RoundedBoxDistance(float px, float py, float halfW, float halfH, float corner)
{
    const float qx = std::fabs(px) - (halfW - corner), qy = std::fabs(py) - (halfH - corner);
    return Length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - corner;
}

void PaintPebbles(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    static constexpr ColourStop ground[] = {{0.0f, Hex(0x1B2A4E)}, {0.5f, Hex(0x3B2C5E)}, {1.0f, Hex(0x6A2C5A)}};
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w, v = static_cast<float>(y) / h;
            const float d = Length(static_cast<float>(x) - 0.3f * w, static_cast<float>(y) - 0.25f * h);
            canvas.At(x, y) =
                Screen(Gradient(ground, 0.55f * u + 0.45f * v), Hex(0x4A6FA5) * (0.35f * std::exp(-d / (0.5f * h))));
        }
    }
    // Largest first, so that smaller pebbles rest on the larger ones.
    static constexpr Pebble pebbles[] = {
        {520, 640, 360, 230, 200, -0.25f, 0x5CC8C2}, {1380, 420, 330, 250, 210, 0.35f, 0xB8A9E8},
        {1220, 820, 300, 170, 160, -0.1f, 0xF28482}, {300, 260, 210, 170, 150, 0.6f, 0xF6BD60},
        {1720, 860, 220, 150, 140, -0.5f, 0x84A9E8}, {860, 300, 170, 120, 110, -0.8f, 0xF7EDE2},
        {760, 920, 170, 110, 105, 0.2f, 0xA8E6B5},   {1640, 180, 150, 110, 100, 0.15f, 0xF28482},
        {1000, 600, 130, 95, 90, 0.9f, 0xF6BD60},    {140, 760, 120, 110, 100, 0.0f, 0xB8A9E8},
        {1880, 520, 110, 90, 85, -0.3f, 0xF7EDE2},   {1470, 650, 85, 70, 65, 0.4f, 0xA8E6B5},
        {420, 950, 80, 62, 58, -0.6f, 0xF6BD60},     {1120, 160, 75, 60, 55, 0.1f, 0x5CC8C2},
        {640, 420, 60, 50, 48, 0.7f, 0xF28482},      {1580, 1010, 60, 48, 45, -0.2f, 0xF7EDE2},
    };
    const float shadowX = 22.0f * s, shadowY = 30.0f * s, blur = 38.0f * s;
    for (const Pebble& p : pebbles) {
        const float cx = p.x / 1920.0f * w, cy = p.y * s;
        const float halfW = p.halfW * s, halfH = p.halfH * s, corner = p.corner * s;
        const float cosA = std::cos(p.angle), sinA = std::sin(p.angle);
        const float reach = std::max(halfW, halfH) + blur + Length(shadowX, shadowY);
        const Box box = BoxAround(canvas, cx, cy, reach, reach);
        const auto distance = [&](float px, float py) {
            const float lx = cosA * (px - cx) + sinA * (py - cy), ly = -sinA * (px - cx) + cosA * (py - cy);
            return RoundedBoxDistance(lx, ly, halfW, halfH, corner);
        };
        // The shadow, under everything of this pebble.
        for (int y = box.y0; y <= box.y1; ++y) {
            for (int x = box.x0; x <= box.x1; ++x) {
                const float d =
                    distance(static_cast<float>(x) + 0.5f - shadowX, static_cast<float>(y) + 0.5f - shadowY);
                const float shade = 0.42f * (1.0f - Smoothstep(-blur, blur, d));
                if (shade > 0) canvas.Blend(x, y, Hex(0x0C0618), shade);
            }
        }
        const Rgb colour = Hex(p.colour);
        for (int y = box.y0; y <= box.y1; ++y) {
            for (int x = box.x0; x <= box.x1; ++x) {
                const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                const float d = distance(px, py);
                const float cover = Clamp01(0.5f - d);
                if (cover <= 0) continue;
                // Lit from the upper left: brighter there, a little darker towards
                // the lower right, and a soft glint along the lit rim.
                const float along = ((px - cx) * 0.6f + (py - cy) * 0.8f) / std::max(halfW, halfH);
                const float rim = Smoothstep(-16.0f * s, 0.0f, d) * Clamp01(-along);
                Rgb shaded = colour * (1.02f - 0.16f * along);
                shaded = Screen(shaded, Rgb{1, 1, 1} * (0.35f * rim));
                canvas.Blend(x, y, shaded, 0.94f * cover);
            }
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1006: sea sunset. A low sun between long thin clouds, its light laid on the
// sea as a path of broad glittering bands.

Rgb SeaSky(float y, float horizon)
{
    static constexpr ColourStop sky[] = {{0.0f, Hex(0x1E2A6B)},
                                         {0.35f, Hex(0x5B3F8C)},
                                         {0.62f, Hex(0xC0608A)},
                                         {0.82f, Hex(0xF2956B)},
                                         {1.0f, Hex(0xFFD58A)}};
    return Gradient(sky, y / horizon);
}

void PaintSeaSunset(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    const float horizon = std::floor(0.6f * h);
    const float sunX = 0.5f * w, sunY = horizon - 0.025f * h, sunRadius = 0.075f * h;
    Canvas canvas(width, height);
    for (int y = 0; y < static_cast<int>(horizon); ++y) {
        const Rgb row = SeaSky(static_cast<float>(y), horizon);
        for (int x = 0; x < width; ++x) {
            const float d = Length(static_cast<float>(x) + 0.5f - sunX, static_cast<float>(y) + 0.5f - sunY);
            const float glow = 0.5f * std::exp(-d / (0.1f * h)) + 0.3f * std::exp(-d / (0.35f * h));
            canvas.At(x, y) = Mix(Screen(row, Hex(0xFFB36B) * glow), Hex(0xFFF3D1), Clamp01(sunRadius - d + 0.5f));
        }
    }

    struct Cloud {
        float x, y, halfLength, thickness;
        uint32_t seed;
    };
    static constexpr Cloud clouds[] = {
        {420, 250, 520, 40, 1}, {1500, 180, 600, 36, 2}, {1080, 360, 460, 28, 3},
        {300, 470, 380, 20, 4}, {1650, 500, 420, 22, 5}, {860, 120, 300, 24, 6},
    };
    for (const Cloud& c : clouds) {
        const float cx = c.x / 1920.0f * w, cy = c.y * s, halfLength = c.halfLength * s, thickness = c.thickness * s;
        const Box box = BoxAround(canvas, cx, cy, halfLength, 3.0f * thickness);
        for (int x = box.x0; x <= box.x1; ++x) {
            const float along = (static_cast<float>(x) + 0.5f - cx) / halfLength;
            // Thicker in the middle, frayed at the ends, with a lumpy top edge.
            const float body =
                thickness * (1.0f - along * along) * (0.55f + 0.9f * Fbm1(along * 5.0f, c.seed * 31u, 4));
            if (body <= 0) continue;
            for (int y = box.y0; y <= box.y1; ++y) {
                const float across = (static_cast<float>(y) + 0.5f - cy) / body;
                const float density = 1.0f - Smoothstep(0.5f, 1.4f, std::fabs(across));
                if (density <= 0) continue;
                const float lumps = 0.7f + 0.3f * Fbm2(static_cast<float>(x) / (60.0f * s),
                                                       static_cast<float>(y) / (14.0f * s), c.seed, 3);
                // Lit pink from below by the sun, violet in its upper parts.
                const Rgb lit = Mix(Hex(0xFFB49A), Hex(0x6B4B8F), Smoothstep(0.6f, -0.8f, across));
                canvas.Blend(x, y, lit, 0.85f * density * lumps);
            }
        }
    }

    for (int y = static_cast<int>(horizon); y < height; ++y) {
        const float t = (static_cast<float>(y) - horizon) / (h - horizon);
        const Rgb reflection = SeaSky(std::max(0.0f, 2 * horizon - static_cast<float>(y) - 1), horizon);
        // Water takes less green than the sky gives, which keeps the reflected
        // yellow warm instead of olive.
        const Rgb water =
            Mix(reflection * Rgb{0.9f, 0.72f, 0.78f}, Hex(0x141C45), Smoothstep(0.0f, 1.0f, std::pow(t, 0.6f)) * 0.85f);
        // Bands widen towards the viewer, as waves do in perspective.
        const float bandPhase = 26.0f * std::log(1.0f + 14.0f * t);
        const float pathWidth = (0.035f + 0.2f * t) * w;
        for (int x = 0; x < width; ++x) {
            const float fx = static_cast<float>(x) + 0.5f;
            const float column = std::exp(-std::pow((fx - sunX) / pathWidth, 2.0f));
            const float sway = 1.3f * std::sin(fx / (90.0f * s) * (0.4f + t) + 3.0f * t);
            const float band = std::pow(0.5f + 0.5f * std::sin(bandPhase + sway), 3.0f);
            const float glitter = column * (0.25f + 0.75f * band) * (1.0f - 0.45f * t);
            Rgb colour = water + Hex(0xFFD9A0) * (0.85f * glitter);
            // A faint line of light just under the horizon.
            colour = colour + Hex(0xFFC890) * (0.25f * std::exp(-(static_cast<float>(y) - horizon) / (3.0f * s)));
            canvas.At(x, y) = colour;
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1007: poster. A flat-colour landscape in the manner of a travel poster:
// rings of evening sky around a large sun, four ranges of hills and a row of
// pines. Eleven colours and no blending, so 4-bit storage keeps it exactly.

void PaintPosterHills(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    static constexpr Rgb rings[] = {Hex(0xF6E3B4), Hex(0xF3C98B), Hex(0xE9A17A), Hex(0xB77B8E), Hex(0x6E6A9E)};
    const Rgb sun = Hex(0xFFF6D8);
    static constexpr Rgb hills[] = {Hex(0x8E6C8A), Hex(0x6A5279), Hex(0x463A5E), Hex(0x2A2440)};
    const Rgb pines = Hex(0x15131F);
    const float sunX = 0.3f * w, sunY = 0.52f * h, sunRadius = 0.1f * h;
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float d = Length(static_cast<float>(x) + 0.5f - sunX, static_cast<float>(y) + 0.5f - sunY);
            if (d < sunRadius) {
                canvas.At(x, y) = sun;
            } else {
                const int ring = std::min(4, static_cast<int>((d - sunRadius) / (0.16f * h)));
                canvas.At(x, y) = rings[ring];
            }
        }
    }
    for (int k = 0; k < 4; ++k) {
        const float kf = static_cast<float>(k);
        const float base = h * (0.62f + 0.09f * kf), amplitude = h * (0.1f - 0.012f * kf);
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w;
            // Few octaves: poster hills are rounded, not rugged.
            const float ridge =
                base -
                amplitude * (2.0f * Fbm1(u * (2.2f + kf) + kf * 7.3f, 400u + static_cast<uint32_t>(k), 3) - 1.0f) -
                amplitude * 0.6f * std::sin(u * TwoPi * (0.7f + 0.3f * kf) + kf);
            for (int y = std::max(0, static_cast<int>(std::ceil(ridge))); y < height; ++y) canvas.At(x, y) = hills[k];
        }
    }
    // Pines along the front hill: three tiers each, on a short trunk.
    DemoRandom random(1007);
    float treeX = 0.02f * w;
    while (treeX < w) {
        const float treeHeight = random.Range(0.12f, 0.26f) * h;
        const float halfWidth = treeHeight * random.Range(0.2f, 0.26f);
        const float ground = h * (0.93f + 0.05f * std::sin(treeX / w * TwoPi * 1.3f));
        const float top = ground - treeHeight;
        const Box box = BoxAround(canvas, treeX, ground - treeHeight / 2, halfWidth, treeHeight / 2 + 2);
        for (int y = box.y0; y <= box.y1; ++y) {
            const float r = (static_cast<float>(y) + 0.5f - top) / treeHeight;
            if (r < 0 || r > 1) continue;
            const float tier = Fraction(std::min(r, 0.85f) / 0.85f * 3.0f);
            float reach = r > 0.85f ? 0.08f * halfWidth / 0.6f : halfWidth * (0.3f + 0.7f * r) * (0.3f + 0.7f * tier);
            reach = std::max(reach, 3.0f * s);
            for (int x = box.x0; x <= box.x1; ++x)
                if (std::fabs(static_cast<float>(x) + 0.5f - treeX) <= reach) canvas.At(x, y) = pines;
        }
        treeX += halfWidth * random.Range(1.1f, 2.6f);
    }
    for (int y = static_cast<int>(0.97f * h); y < height; ++y)
        for (int x = 0; x < width; ++x) canvas.At(x, y) = pines;
    CanvasToBuffer(canvas, buffer, CanvasDither::None);
}

// ---------------------------------------------------------------------------
// 1008: ribbons. Two bands of fine glowing lines that wave and twist across
// a dark ground, like silk threads in light.

void PaintRibbons(DirectBmpControl& buffer, int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = h / 1080.0f;
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        const Rgb row = Mix(Hex(0x070B1F), Hex(0x1A0E2B), static_cast<float>(y) / h);
        for (int x = 0; x < width; ++x) {
            const float d = Length(static_cast<float>(x) - 0.55f * w, static_cast<float>(y) - 0.5f * h);
            canvas.At(x, y) = row + Hex(0x2A1B4F) * (0.45f * std::exp(-d / (0.55f * h)));
        }
    }

    struct Band {
        int lines;
        float centre, swing, twist, frequency, phase;
        ColourStop colours[3];
        float strength;
    };
    static constexpr Band bands[] = {
        {48,
         0.5f,
         0.22f,
         0.18f,
         0.8f,
         0.6f,
         {{0.0f, Hex(0x3DD6F5)}, {0.5f, Hex(0x9B6BFF)}, {1.0f, Hex(0xFF5FA2)}},
         0.5f},
        {24,
         0.56f,
         0.16f,
         0.1f,
         1.15f,
         2.4f,
         {{0.0f, Hex(0xFFD27A)}, {0.5f, Hex(0xFF9A5C)}, {1.0f, Hex(0xFF5FA2)}},
         0.4f},
    };
    const float core = 0.9f * s, haze = 6.0f * s;
    for (const Band& band : bands) {
        for (int i = 0; i < band.lines; ++i) {
            const float p = static_cast<float>(i) / static_cast<float>(band.lines - 1);
            const Rgb colour = Gradient(band.colours, p);
            const auto lineY = [&](float x) {
                const float u = x / w;
                return h * (band.centre +
                            band.swing * std::sin(u * TwoPi * band.frequency + band.phase + p * 1.2f) *
                                (0.6f + 0.4f * std::sin(u * TwoPi * 0.35f + p * 2.4f)) +
                            (p - 0.5f) * band.twist * std::cos(u * TwoPi * 0.6f + band.phase));
            };
            for (int x = 0; x < width; ++x) {
                const float fx = static_cast<float>(x) + 0.5f;
                const float ly = lineY(fx);
                const float slope = (lineY(fx + 1) - lineY(fx - 1)) * 0.5f;
                const float across = 1.0f / std::sqrt(1 + slope * slope);  // vertical to perpendicular distance
                const float reachY = 3.0f * haze / across;
                const int y0 = std::max(0, static_cast<int>(ly - reachY)),
                          y1 = std::min(height - 1, static_cast<int>(ly + reachY));
                for (int y = y0; y <= y1; ++y) {
                    const float d = (static_cast<float>(y) + 0.5f - ly) * across;
                    const float light =
                        0.6f * std::exp(-d * d / (2 * core * core)) + 0.05f * std::exp(-d * d / (2 * haze * haze));
                    canvas.Add(x, y, colour * (light * band.strength));
                }
            }
        }
    }
    CanvasToBuffer(canvas, buffer, CanvasDither::Ordered);
}

// ---------------------------------------------------------------------------
// 1100: the about picture, 48 x 48 (the dialog's box): a crescent moon over
// two hills. Painted at four times the size and averaged down for smooth
// edges; the 4-bit conversion then picks its 16 colours.

void PaintAbout(DirectBmpControl& buffer, int width, int height)
{
    constexpr int Over = 4;
    const int bigWidth = width * Over, bigHeight = height * Over;
    const float w = static_cast<float>(bigWidth), h = static_cast<float>(bigHeight);
    Canvas big(bigWidth, bigHeight);
    for (int y = 0; y < bigHeight; ++y) {
        for (int x = 0; x < bigWidth; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / w, v = (static_cast<float>(y) + 0.5f) / h;
            Rgb colour = Mix(Hex(0x1B2A5A), Hex(0x5A3A7A), v);
            // Crescent: a disc with a second disc cut from it.
            const float moon = Length(u - 0.64f, v - 0.34f), bite = Length(u - 0.71f, v - 0.29f);
            if (moon < 0.2f && bite > 0.17f) colour = Hex(0xF6E7B0);
            const float farHill = 0.72f - 0.1f * std::sin(u * Pi * 1.2f + 0.3f);
            const float nearHill = 0.84f - 0.08f * std::sin(u * Pi * 1.6f + 2.2f);
            if (v > farHill) colour = Hex(0x2F7F78);
            if (v > nearHill) colour = Hex(0x174443);
            big.At(x, y) = colour;
        }
    }
    Canvas small(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb sum;
            for (int j = 0; j < Over; ++j)
                for (int i = 0; i < Over; ++i) sum = sum + big.At(x * Over + i, y * Over + j);
            small.At(x, y) = sum * (1.0f / (Over * Over));
        }
    }
    // Two small stars.
    small.AddGlowSpot(0.22f * static_cast<float>(width), 0.22f * static_cast<float>(height), 0.8f, Hex(0xFFF6D8));
    small.AddGlowSpot(0.4f * static_cast<float>(width), 0.12f * static_cast<float>(height), 0.6f, Hex(0xFFF6D8) * 0.8f);
    CanvasToBuffer(small, buffer, CanvasDither::None);
}

const DemoPicture Pictures[] = {
    {DemoId::MorningGlow, "morning-glow", 1920, 1080, {"jpeg", 24, "head"}, PaintMorningGlow},
    {DemoId::Aurora, "aurora", 1920, 1080, {"jpeg", 24, "head"}, PaintAurora},
    {DemoId::Plasma, "plasma", 1920, 1080, {"jpeg", 32, "whole"}, PaintPlasma},
    {DemoId::Julia, "julia", 1920, 1080, {"lzss", 8, "interleaved"}, PaintJulia},
    {DemoId::Dusk, "dusk", 1920, 1080, {"zlib", 32, "interleaved"}, PaintDusk},
    {DemoId::Pebbles, "pebbles", 1920, 1080, {"jpeg", 24, "head"}, PaintPebbles},
    {DemoId::SeaSunset, "sea-sunset", 1920, 1080, {"jpeg", 24, "whole"}, PaintSeaSunset},
    {DemoId::PosterHills, "poster-hills", 1920, 1080, {"lzss", 4, "head"}, PaintPosterHills},
    {DemoId::Ribbons, "ribbons", 1920, 1080, {"jpeg", 24, "interleaved"}, PaintRibbons},
    {DemoId::About, "about", 48, 48, {"raw", 4, "whole"}, PaintAbout},
};

}  // namespace

std::span<const DemoPicture> DemoPictures()
{
    return Pictures;
}
