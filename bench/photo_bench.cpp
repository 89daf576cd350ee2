// Speed of the photo pixel work of scrtool pack: the area-averaging shrink
// fed BGR rows as the JPEG decoder gives them (a 6000 × 4000 camera picture
// to 3240 × 2160, the largest that fits 3840 × 2160; a 3840 × 2160 picture to
// 1920 × 1080), the same over a whole RGBA picture, and the quarter turn of a
// 3840 × 2160 picture.
//
// Goal on the build machine: the 6000 × 4000 shrink within a few tens of
// milliseconds on one core (the pack command runs several pictures at once,
// one per core).
#include "tools/authoring/PhotoTransform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Photograph-like rows, blue, green, red: gradients with grain. A decoder
// hands the shrinker a few rows at a time from a small buffer, so a small
// set of rows, fed in turn, stands for the picture.
class RowSource {
public:
    RowSource(int32_t width, int32_t rows) : width_(width), rows_(rows)
    {
        bytes_.resize(static_cast<size_t>(width) * static_cast<size_t>(rows) * 3);
        uint32_t grain = 99;
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < width; ++x) {
                grain = grain * 1103515245u + 12345u;
                const int noise = static_cast<int>(grain >> 28) - 8;
                uint8_t* pixel = &bytes_[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
                pixel[0] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
                pixel[1] = static_cast<uint8_t>(std::clamp(y * 255 / rows + noise, 0, 255));
                pixel[2] = static_cast<uint8_t>(std::clamp((x + y) / 24 % 256 + noise, 0, 255));
            }
    }
    const uint8_t* Row(int32_t y) const
    {
        return bytes_.data() + static_cast<size_t>(y % rows_) * static_cast<size_t>(width_) * 3;
    }

private:
    int32_t width_;
    int32_t rows_;
    std::vector<uint8_t> bytes_;
};

RgbaImage PhotoRgba(int32_t width, int32_t height)
{
    const RowSource rows(width, 61);
    RgbaImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 4)};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* from = rows.Row(y) + static_cast<size_t>(x) * 3;
            uint8_t* to = image.pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
            to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = 255;
        }
    return image;
}

void ShrinkBgrRows(benchmark::State& state, PictureSize source, PictureSize target)
{
    const RowSource rows(source.width, 61);
    for (auto _ : state) {
        AreaShrinker shrinker(source, target);
        for (int32_t y = 0; y < source.height; ++y) shrinker.AddRowBgr(rows.Row(y));
        RgbaImage shrunk = shrinker.Finish();
        benchmark::DoNotOptimize(shrunk.pixels.data());
    }
    state.counters["source_Mpixel_per_s"] = benchmark::Counter(
        static_cast<double>(source.width) * source.height * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
}

void Photo_Shrink6000x4000To3240x2160Bgr(benchmark::State& state)
{
    ShrinkBgrRows(state, {6000, 4000}, {3240, 2160});
}

void Photo_Shrink3840x2160To1920x1080Bgr(benchmark::State& state)
{
    ShrinkBgrRows(state, {3840, 2160}, {1920, 1080});
}

void Photo_Shrink3840x2160To1920x1080Rgba(benchmark::State& state)
{
    const RgbaImage image = PhotoRgba(3840, 2160);
    for (auto _ : state) {
        RgbaImage shrunk = ShrinkAreaAverage(image, {1920, 1080});
        benchmark::DoNotOptimize(shrunk.pixels.data());
    }
}

// The slow reference on a smaller picture, for scale.
void Photo_Shrink1200x800To648x432Reference(benchmark::State& state)
{
    const RgbaImage image = PhotoRgba(1200, 800);
    for (auto _ : state) {
        RgbaImage shrunk = ShrinkAreaAverageReference(image, {648, 432});
        benchmark::DoNotOptimize(shrunk.pixels.data());
    }
}

void Photo_Rotate3840x2160Clockwise(benchmark::State& state)
{
    const RgbaImage image = PhotoRgba(3840, 2160);
    for (auto _ : state) {
        state.PauseTiming();
        RgbaImage copy = image;
        state.ResumeTiming();
        RgbaImage upright = OrientPicture(std::move(copy), PhotoOrientation::Rotated90Clockwise);
        benchmark::DoNotOptimize(upright.pixels.data());
    }
}

}  // namespace

BENCHMARK(Photo_Shrink6000x4000To3240x2160Bgr)->Unit(benchmark::kMillisecond);
BENCHMARK(Photo_Shrink3840x2160To1920x1080Bgr)->Unit(benchmark::kMillisecond);
BENCHMARK(Photo_Shrink3840x2160To1920x1080Rgba)->Unit(benchmark::kMillisecond);
BENCHMARK(Photo_Shrink1200x800To648x432Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(Photo_Rotate3840x2160Clockwise)->Unit(benchmark::kMillisecond);
