// Speed of the pixel operations and the resampling copy on 32-bit buffers of
// 1920 × 1080 and 3840 × 2160, side by side with memcpy of the destination's
// size. Every benchmark reports wall time (the row workers run on other
// threads) and the counter x_memcpy: its time per call divided by the time
// of one memcpy of its destination's bytes, measured just before it.
//
// Goals on the two-core build machine: a fade frame (Copy of the saved
// picture into the screen, then Blend of the next picture over it) within
// 2 × memcpy at 3840 × 2160; StretchCopy shrinking 3840 × 2160 to 1920 × 1080
// under 25 ms, enlarging 1920 × 1080 to 3840 × 2160 under 40 ms.
#include "imaging/DirectBmpControl.h"
#include "imaging/PixelOperations.h"
#include "imaging/StretchCopy.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A 32-bit buffer holding a photograph-like picture: smooth gradients with
// noise, every page touched (fresh allocations are zero pages until written).
std::unique_ptr<DirectBmpControl> MakePicture(int32_t width, int32_t height, uint32_t seed)
{
    auto buffer = std::make_unique<DirectBmpControl>();
    if (!buffer->Allocate(width, height, TPixelFormat::Bits32)) throw std::runtime_error("allocation failed");
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = buffer->Rows[y];
        for (int32_t x = 0; x < width; ++x, p += 4) {
            const int noise = static_cast<int>(random() % 7) - 3;
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp((x + y + int(seed)) % 256 + noise, 0, 255));
            p[3] = 255;
        }
    }
    return buffer;
}

// The viewer's three buffers at one size.
struct Buffers {
    std::unique_ptr<DirectBmpControl> screen;
    std::unique_ptr<DirectBmpControl> saved;
    std::unique_ptr<DirectBmpControl> next;
    TRect all;
};

Buffers& BuffersOf(int32_t width, int32_t height)
{
    static std::map<std::pair<int32_t, int32_t>, Buffers> cache;
    Buffers& buffers = cache[{width, height}];
    if (!buffers.screen) {
        buffers.screen = MakePicture(width, height, 1);
        buffers.saved = MakePicture(width, height, 2);
        buffers.next = MakePicture(width, height, 3);
        buffers.all = TRect{0, 0, width, height};
    }
    return buffers;
}

// Seconds of one memcpy of a 32-bit picture's bytes between two touched
// blocks: the mean over a quarter of a second of back-to-back copies, as the
// benchmarks themselves are timed. Measured again next to every benchmark,
// because this machine's memory speed drifts from minute to minute.
double MemcpySeconds(int32_t width, int32_t height)
{
    static std::map<std::pair<int32_t, int32_t>, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> blocks;
    const size_t bytes = size_t(width) * size_t(height) * 4;
    auto& [from, to] = blocks[{width, height}];
    if (from.empty()) {
        from.assign(bytes, 1);
        to.assign(bytes, 2);
    }
    std::memcpy(to.data(), from.data(), bytes);
    int64_t copies = 0;
    const auto start = Clock::now();
    double seconds = 0;
    while (seconds < 0.25) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        ++copies;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return seconds / static_cast<double>(copies);
}

// Runs `work` in the benchmark loop and reports its time per call against
// memcpy of the destination's size.
template <typename Work>
void Measure(benchmark::State& state, int32_t destinationWidth, int32_t destinationHeight, Work&& work)
{
    const double baseline = MemcpySeconds(destinationWidth, destinationHeight);
    work();  // first touch of the buffers outside the timing
    const auto start = Clock::now();
    for (auto _ : state) {
        work();
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double perCall = seconds / static_cast<double>(state.iterations());
    state.counters["x_memcpy"] = perCall / baseline;
    state.SetBytesProcessed(int64_t(state.iterations()) * destinationWidth * destinationHeight * 4);
}

int32_t WidthOf(const benchmark::State& state) { return static_cast<int32_t>(state.range(0)); }
int32_t HeightOf(const benchmark::State& state) { return static_cast<int32_t>(state.range(1)); }

void Imaging_Memcpy(benchmark::State& state)
{
    const size_t bytes = size_t(WidthOf(state)) * size_t(HeightOf(state)) * 4;
    std::vector<uint8_t> from(bytes, 1);
    std::vector<uint8_t> to(bytes, 2);
    Measure(state, WidthOf(state), HeightOf(state), [&] { std::memcpy(to.data(), from.data(), bytes); });
}

void Imaging_Copy(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    Measure(state, WidthOf(state), HeightOf(state), [&] { Copy(*b.screen, b.all, *b.saved, b.all); });
}

void Imaging_Blend(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    Measure(state, WidthOf(state), HeightOf(state), [&] { Blend(*b.screen, b.all, *b.next, b.all, 128); });
}

void Imaging_BlendReference(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    Measure(state, WidthOf(state), HeightOf(state),
            [&] { reference::Blend(*b.screen, b.all, *b.next, b.all, 128); });
}

// One frame of the fade: compose from the saved picture again, then blend,
// in the single pass the transitions use ...
void Imaging_FadeFrame(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    Measure(state, WidthOf(state), HeightOf(state), [&] { BlendOverCopy(*b.screen, *b.saved, *b.next, b.all, 128); });
}

// ... and as the two separate operations it stands for.
void Imaging_FadeFrameTwoPasses(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    Measure(state, WidthOf(state), HeightOf(state), [&] {
        Copy(*b.screen, b.all, *b.saved, b.all);
        Blend(*b.screen, b.all, *b.next, b.all, 128);
    });
}

void Imaging_Mosaic(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    const int blockSize = static_cast<int>(state.range(2));
    Measure(state, WidthOf(state), HeightOf(state), [&] { Mosaic(*b.screen, b.all, blockSize, b.all, *b.saved); });
}

void Imaging_ToneGrey(benchmark::State& state)
{
    Buffers& b = BuffersOf(WidthOf(state), HeightOf(state));
    // Toning its own result over and over costs the same as toning a fresh
    // picture: the arithmetic does not depend on the values.
    Measure(state, WidthOf(state), HeightOf(state), [&] { ToneGrey(*b.screen, b.all, SepiaTone); });
}

template <bool Reference>
void StretchBenchmark(benchmark::State& state, int32_t fromWidth, int32_t fromHeight, int32_t toWidth,
                      int32_t toHeight)
{
    Buffers& from = BuffersOf(fromWidth, fromHeight);
    Buffers& to = BuffersOf(toWidth, toHeight);
    Measure(state, toWidth, toHeight, [&] {
        if constexpr (Reference) reference::StretchCopy(*to.screen, to.all, *from.next, from.all);
        else StretchCopy(*to.screen, to.all, *from.next, from.all);
    });
}

void Imaging_StretchCopyEnlarge(benchmark::State& state)
{
    StretchBenchmark<false>(state, 1920, 1080, 3840, 2160);
}

void Imaging_StretchCopyEnlargeReference(benchmark::State& state)
{
    StretchBenchmark<true>(state, 1920, 1080, 3840, 2160);
}

void Imaging_StretchCopyShrink(benchmark::State& state)
{
    StretchBenchmark<false>(state, 3840, 2160, 1920, 1080);
}

void Imaging_StretchCopyShrinkReference(benchmark::State& state)
{
    StretchBenchmark<true>(state, 3840, 2160, 1920, 1080);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080})->Args({3840, 2160})->UseRealTime()->Unit(benchmark::kMillisecond);
}

void MosaicSizes(benchmark::internal::Benchmark* b)
{
    for (int blockSize : {2, 64}) b->Args({1920, 1080, blockSize})->Args({3840, 2160, blockSize});
    b->UseRealTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(Imaging_Memcpy)->Apply(Sizes);
BENCHMARK(Imaging_Copy)->Apply(Sizes);
BENCHMARK(Imaging_Blend)->Apply(Sizes);
BENCHMARK(Imaging_BlendReference)->Apply(Sizes);
BENCHMARK(Imaging_FadeFrame)->Apply(Sizes);
BENCHMARK(Imaging_FadeFrameTwoPasses)->Apply(Sizes);
BENCHMARK(Imaging_Mosaic)->Apply(MosaicSizes);
BENCHMARK(Imaging_ToneGrey)->Apply(Sizes);
BENCHMARK(Imaging_StretchCopyEnlarge)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Imaging_StretchCopyEnlargeReference)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Imaging_StretchCopyShrink)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Imaging_StretchCopyShrinkReference)->UseRealTime()->Unit(benchmark::kMillisecond);
