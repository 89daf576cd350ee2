#include "tools/authoring/WebpPicture.h"

#include "tools/authoring/PictureSource.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA: throw PictureSourceError("WebP data ends early (the file is truncated)");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        throw PictureSourceError("the WebP file uses a feature that cannot be decoded");
    case VP8_STATUS_OUT_OF_MEMORY: throw PictureSourceError("not enough memory to decode the WebP picture");
    default: throw PictureSourceError("WebP data is damaged");
    }
}

struct AnimationDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first frame on the canvas: what a viewer shows first.
RgbaImage FirstFrame(std::span<const uint8_t> bytes, int width, int height)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) throw PictureSourceError("libwebp does not match its headers");
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPAnimDecoder, AnimationDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) throw PictureSourceError("WebP animation is damaged or truncated");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != static_cast<uint32_t>(width) ||
        info.canvas_height != static_cast<uint32_t>(height))
        throw PictureSourceError("WebP animation is damaged: its canvas is not the size its header gives");
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr)
        throw PictureSourceError("WebP animation is damaged or truncated: its first frame cannot be decoded");
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(canvas, canvas + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    return image;
}

}  // namespace

RgbaImage DecodeWebp(std::span<const uint8_t> bytes)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw PictureSourceError("libwebp does not match its headers");
    const VP8StatusCode features = WebPGetFeatures(bytes.data(), bytes.size(), &config.input);
    if (features != VP8_STATUS_OK) Fail(features);
    CheckPictureSourceSize("WebP", config.input.width, config.input.height);
    if (config.input.has_animation) return FirstFrame(bytes, config.input.width, config.input.height);

    RgbaImage image;
    image.width = config.input.width;
    image.height = config.input.height;
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    // Straight into the picture's own pixels: libwebp allocates no second
    // picture.
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.pixels.data();
    config.output.u.RGBA.stride = image.width * 4;
    config.output.u.RGBA.size = image.pixels.size();
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) Fail(status);
    return image;
}

std::span<const uint8_t> WebpExifBlock(std::span<const uint8_t> webp)
{
    // The demuxer keeps pointers into the caller's bytes and copies nothing,
    // so the chunk's span stays valid after it is gone.
    const WebPData data{webp.data(), webp.size()};
    WebPDemuxer* demuxer = WebPDemux(&data);
    if (demuxer == nullptr) return {};
    std::span<const uint8_t> block;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demuxer, "EXIF", 1, &chunk)) {
        block = std::span<const uint8_t>(chunk.chunk.bytes, chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    WebPDemuxDelete(demuxer);
    constexpr std::string_view exifPrefix("Exif\0\0", 6);
    if (block.size() >= exifPrefix.size() && std::equal(exifPrefix.begin(), exifPrefix.end(), block.begin()))
        block = block.subspan(exifPrefix.size());
    return block;
}
