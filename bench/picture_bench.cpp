// Showing one picture: a 3840 × 2160 JPEG (quality 90) loaded from an archive
// and placed onto a 1920 × 1080 next-picture buffer, as the player does for a
// 4K photograph on a full-HD screen. memcpy of the next buffer's 1920 × 1080 ×
// 4 bytes gives the scale.
#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "imaging/PlacePicture.h"
#include "platform/ReadOnlyFile.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int PictureWidth = 3840;
constexpr int PictureHeight = 2160;
constexpr int ScreenWidth = 1920;
constexpr int ScreenHeight = 1080;

// A photograph-like picture: smooth gradients with a little texture.
Bytes PhotoBgr()
{
    Bytes bgr(static_cast<size_t>(PictureWidth) * PictureHeight * 3);
    uint32_t grain = 99;
    for (int y = 0; y < PictureHeight; ++y)
        for (int x = 0; x < PictureWidth; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = static_cast<int>(grain >> 28) - 8;
            uint8_t* pixel = &bgr[(static_cast<size_t>(y) * PictureWidth + x) * 3];
            pixel[0] = static_cast<uint8_t>(std::clamp(x * 255 / PictureWidth + noise, 0, 255));
            pixel[1] = static_cast<uint8_t>(std::clamp(y * 255 / PictureHeight + noise, 0, 255));
            pixel[2] = static_cast<uint8_t>(std::clamp((x + y) / 24 % 256 + noise, 0, 255));
        }
    return bgr;
}

// Encoding valid pixels cannot fail, so libjpeg's default error handling
// (which ends the program) is acceptable here.
Bytes EncodeJpeg(const Bytes& bgr)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    jpeg_mem_dest(&info, &output, &outputSize);
    info.image_width = PictureWidth;
    info.image_height = PictureHeight;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&bgr[static_cast<size_t>(info.next_scanline) * PictureWidth * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes jpeg(output, output + outputSize);
    jpeg_destroy_compress(&info);
    std::free(output);
    return jpeg;
}

struct Fixture {
    ResArchive archive;
    DirectBmpControl next;
    PlacementTarget target;
    size_t jpegBytes = 0;

    Fixture()
    {
        const Bytes jpeg = EncodeJpeg(PhotoBgr());
        jpegBytes = jpeg.size();
        ArchiveWriter writer;
        writer.Add({ResTagPicture, 1, 0,
                    BuildPictureEntry(PictureFieldsFor(24, PictureWidth, PictureHeight, PictureStorage::Jpeg), {}, jpeg)});
        if (ResOpenFile(archive, std::make_unique<MemoryFile>(writer.Build()), "bench.brsc", ResEmbedding::SideFile, 0,
                        ResArchiveKind) != 0 ||
            !next.Allocate(ScreenWidth, ScreenHeight, TPixelFormat::Bits32))
            throw std::runtime_error("picture bench set-up failed");
        target.nextBuffer = &next;
        target.pictureArea = next.Bounds;
        target.screenRect = next.Bounds;
    }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_LoadJpeg3840x2160(benchmark::State& state)
{
    Fixture& fixture = Shared();
    for (auto _ : state) {
        DirectBmpControl picture;
        if (!LoadPicture(fixture.archive, {0, 0}, picture, PictureDepth::AsStored, PictureParts::Whole, nullptr))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(picture.Bits);
    }
    state.counters["jpeg_bytes"] = static_cast<double>(fixture.jpegBytes);
    state.SetItemsProcessed(state.iterations() * PictureWidth * PictureHeight);
}
BENCHMARK(BM_LoadJpeg3840x2160)->Unit(benchmark::kMillisecond);

void BM_PlaceJpeg3840x2160On1920x1080(benchmark::State& state)
{
    Fixture& fixture = Shared();
    for (auto _ : state) {
        if (!PlacePicture(fixture.archive, 1, PlaceMode::Load, fixture.target)) state.SkipWithError("place failed");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * PictureWidth * PictureHeight);
}
BENCHMARK(BM_PlaceJpeg3840x2160On1920x1080)->Unit(benchmark::kMillisecond);

void BM_MemcpyScreen1920x1080(benchmark::State& state)
{
    const size_t size = size_t{ScreenWidth} * ScreenHeight * 4;
    Bytes from(size, 0x5A), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_MemcpyScreen1920x1080)->Unit(benchmark::kMillisecond);

}  // namespace
