// Expansion speed of the picture codecs, in bytes of output per second, on
// 16 MB of picture-like pixels; memcpy of the same size gives the scale.
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/ZlibCodec.h"
#include "platform/Stream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Width = 2048;
constexpr uint32_t Height = 2048;
constexpr uint32_t PictureBytes = Width * Height * 4;

// 32-bit pixels (blue, green, red, alpha): a smooth diagonal gradient with
// noise on a quarter of the pixels, the way a photograph's flat regions look.
Bytes MakePicture()
{
    std::mt19937 random(2024);
    Bytes pixels(PictureBytes);
    for (uint32_t y = 0; y < Height; ++y) {
        for (uint32_t x = 0; x < Width; ++x) {
            uint8_t* pixel = &pixels[(size_t{y} * Width + x) * 4];
            int blue = static_cast<int>(x * 255 / Width);
            int green = static_cast<int>(y * 255 / Height);
            int red = static_cast<int>((x + y) * 255 / (Width + Height));
            if (random() % 4 == 0) {
                blue += static_cast<int>(random() % 5) - 2;
                green += static_cast<int>(random() % 5) - 2;
                red += static_cast<int>(random() % 5) - 2;
            }
            pixel[0] = static_cast<uint8_t>(std::clamp(blue, 0, 255));
            pixel[1] = static_cast<uint8_t>(std::clamp(green, 0, 255));
            pixel[2] = static_cast<uint8_t>(std::clamp(red, 0, 255));
            pixel[3] = 0xFF;
        }
    }
    return pixels;
}

struct Fixture {
    Bytes picture = MakePicture();
    Bytes lzssPacked;
    Bytes zlibPacked;

    Fixture()
    {
        LzssCodec lzss;
        ZlibCodec zlib;
        lzssPacked = Pack(picture, [&](uint8_t* data, uint8_t* out, uint32_t& length) {
            return LzssRun(lzss, 'E', PictureBytes, data, out, length, nullptr);
        });
        zlibPacked = Pack(picture, [&](uint8_t* data, uint8_t* out, uint32_t& length) {
            return ZlibRun(zlib, 'E', PictureBytes, data, out, length, nullptr);
        });
    }

    template <class Packer>
    static Bytes Pack(Bytes data, Packer packer)
    {
        Bytes packed(data.size());
        uint32_t length = 0;
        if (!packer(data.data(), packed.data(), length)) throw std::runtime_error("picture did not pack");
        packed.resize(length);
        return packed;
    }
};

const Fixture& Data()
{
    static const Fixture fixture;
    return fixture;
}

enum class Source { Memory, Stream };

template <class Codec, class Run>
void Expand(benchmark::State& state, const Bytes& packedBytes, Source source, Run run)
{
    Codec codec;
    Bytes packed = packedBytes;
    Bytes output(PictureBytes);
    for (auto _ : state) {
        uint32_t length = static_cast<uint32_t>(packed.size());
        bool ok;
        if (source == Source::Stream) {
            TBytesStream stream(packed.data(), static_cast<int64_t>(packed.size()));
            ok = run(codec, output.data(), nullptr, length, &stream);
        } else {
            ok = run(codec, output.data(), packed.data(), length, nullptr);
        }
        if (!ok || length != PictureBytes) state.SkipWithError("expansion failed");
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t{PictureBytes} * state.iterations());
    state.counters["packed%"] = 100.0 * static_cast<double>(packed.size()) / PictureBytes;
}

bool RunLzss(LzssCodec& codec, uint8_t* out, uint8_t* in, uint32_t& length, TStream* stream)
{
    return LzssRun(codec, 'D', PictureBytes, out, in, length, stream);
}

bool RunZlib(ZlibCodec& codec, uint8_t* out, uint8_t* in, uint32_t& length, TStream* stream)
{
    return ZlibRun(codec, 'D', PictureBytes, out, in, length, stream);
}

void BM_LzssExpandMemory(benchmark::State& state)
{
    Expand<LzssCodec>(state, Data().lzssPacked, Source::Memory, RunLzss);
}

void BM_LzssExpandStream(benchmark::State& state)
{
    Expand<LzssCodec>(state, Data().lzssPacked, Source::Stream, RunLzss);
}

// The plain byte-at-a-time expander the fast one is checked against.
void BM_LzssExpandReference(benchmark::State& state)
{
    const Bytes& packed = Data().lzssPacked;
    Bytes output(PictureBytes);
    for (auto _ : state) {
        uint32_t length = 0;
        if (!LzssExpandReference(packed.data(), static_cast<uint32_t>(packed.size()), output.data(), PictureBytes,
                                 length))
            state.SkipWithError("expansion failed");
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t{PictureBytes} * state.iterations());
}

void BM_ZlibExpandMemory(benchmark::State& state)
{
    Expand<ZlibCodec>(state, Data().zlibPacked, Source::Memory, RunZlib);
}

void BM_ZlibExpandStream(benchmark::State& state)
{
    Expand<ZlibCodec>(state, Data().zlibPacked, Source::Stream, RunZlib);
}

void BM_MemcpyPicture(benchmark::State& state)
{
    const Bytes& picture = Data().picture;
    Bytes output(PictureBytes);
    for (auto _ : state) {
        std::memcpy(output.data(), picture.data(), PictureBytes);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t{PictureBytes} * state.iterations());
}

}  // namespace

BENCHMARK(BM_LzssExpandMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssExpandStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssExpandReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibExpandMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibExpandStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyPicture)->Unit(benchmark::kMillisecond);
