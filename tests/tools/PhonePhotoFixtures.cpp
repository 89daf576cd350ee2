#include "tests/tools/PhonePhotoFixtures.h"

#include "tests/support/PhotoFixtures.h"

#if KAMISHIBAI_HAVE_WEBP
#include <webp/decode.h>
#include <webp/encode.h>
#endif
#if KAMISHIBAI_HAVE_HEIF
#include <libheif/heif.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

void PutLe16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value)
{
    PutLe16(out, value);
    PutLe16(out, value >> 16);
}

void PutChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> payload)
{
    out.insert(out.end(), type.begin(), type.end());
    PutLe32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() % 2 != 0) out.push_back(0);
}

std::vector<uint8_t> RiffFile(const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    PutLe32(file, static_cast<uint32_t>(body.size() + 4));
    file.insert(file.end(), {'W', 'E', 'B', 'P'});
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace

std::vector<uint8_t> QuartersRgba(int width, int height)
{
    const std::vector<uint8_t> bgr = QuartersBgr(width, height);
    std::vector<uint8_t> rgba;
    rgba.reserve(bgr.size() / 3 * 4);
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) rgba.insert(rgba.end(), {bgr[i + 2], bgr[i + 1], bgr[i], 255});
    return rgba;
}

std::vector<uint8_t> QuartersRgb(int width, int height)
{
    const std::vector<uint8_t> bgr = QuartersBgr(width, height);
    std::vector<uint8_t> rgb;
    rgb.reserve(bgr.size());
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) rgb.insert(rgb.end(), {bgr[i + 2], bgr[i + 1], bgr[i]});
    return rgb;
}

size_t FindFourCc(const std::vector<uint8_t>& file, const char* fourCc)
{
    const auto found = std::search(file.begin(), file.end(), fourCc, fourCc + 4);
    return found == file.end() ? std::string::npos : static_cast<size_t>(found - file.begin());
}

std::vector<uint8_t> WebpLosslessHeaderOnly(uint32_t width, uint32_t height)
{
    // Signature 0x2F, then 14 bits width − 1, 14 bits height − 1, the alpha
    // bit and a 3-bit version of 0, least significant bits first.
    const uint32_t bits = (width - 1) | (height - 1) << 14;
    std::vector<uint8_t> payload = {0x2F};
    PutLe32(payload, bits);
    payload.insert(payload.end(), 16, 0x55);
    std::vector<uint8_t> body;
    PutChunk(body, "VP8L", payload);
    return RiffFile(body);
}

#if KAMISHIBAI_HAVE_WEBP

namespace {

void PutLe24(std::vector<uint8_t>& out, uint32_t value)
{
    PutLe16(out, value);
    out.push_back(static_cast<uint8_t>(value >> 16));
}

uint32_t ReadLe32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

struct RiffChunk {
    std::string type;
    std::vector<uint8_t> payload;
};

// The chunks of a WebP file after its 12-byte RIFF header.
std::vector<RiffChunk> Chunks(const std::vector<uint8_t>& webp)
{
    std::vector<RiffChunk> chunks;
    for (size_t at = 12; at + 8 <= webp.size();) {
        const uint32_t size = ReadLe32At(webp, at + 4);
        if (size > webp.size() - at - 8) throw std::runtime_error("test WebP chunk runs past the file");
        chunks.push_back({std::string(webp.begin() + static_cast<std::ptrdiff_t>(at),
                                      webp.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                          std::vector<uint8_t>(webp.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                               webp.begin() + static_cast<std::ptrdiff_t>(at + 8 + size))});
        at += 8 + size + size % 2;
    }
    return chunks;
}

std::vector<uint8_t> Vp8xPayload(uint8_t flags, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> payload = {flags, 0, 0, 0};
    PutLe24(payload, width - 1);
    PutLe24(payload, height - 1);
    return payload;
}

constexpr uint8_t Vp8xExifFlag = 0x08;
constexpr uint8_t Vp8xAnimationFlag = 0x02;

}  // namespace

std::vector<uint8_t> EncodeTestWebp(int width, int height, const std::vector<uint8_t>& rgba, WebpCoding coding)
{
    uint8_t* output = nullptr;
    const size_t size = coding == WebpCoding::Lossless
                            ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &output)
                            : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 90.0f, &output);
    if (size == 0 || output == nullptr) throw std::runtime_error("libwebp could not encode the test picture");
    std::vector<uint8_t> file(output, output + size);
    WebPFree(output);
    return file;
}

std::vector<uint8_t> WebpWithExif(const std::vector<uint8_t>& webp, std::span<const uint8_t> exifBlock,
                                  ExifChunkForm form)
{
    int width = 0, height = 0;
    if (!WebPGetInfo(webp.data(), webp.size(), &width, &height)) throw std::runtime_error("not a WebP file");
    std::vector<RiffChunk> chunks = Chunks(webp);
    if (chunks.empty() || chunks.front().type != "VP8X")
        chunks.insert(chunks.begin(), {"VP8X", Vp8xPayload(0, static_cast<uint32_t>(width), static_cast<uint32_t>(height))});
    chunks.front().payload[0] |= Vp8xExifFlag;
    std::vector<uint8_t> exif;
    if (form == ExifChunkForm::ExifPrefixed) exif.insert(exif.end(), {'E', 'x', 'i', 'f', 0, 0});
    exif.insert(exif.end(), exifBlock.begin(), exifBlock.end());
    chunks.push_back({"EXIF", exif});
    std::vector<uint8_t> body;
    for (const RiffChunk& chunk : chunks) PutChunk(body, chunk.type, chunk.payload);
    return RiffFile(body);
}

std::vector<uint8_t> WebpAnimationOfOneFrame(const std::vector<uint8_t>& frameWebp, uint32_t canvasWidth,
                                             uint32_t canvasHeight)
{
    int width = 0, height = 0;
    if (!WebPGetInfo(frameWebp.data(), frameWebp.size(), &width, &height)) throw std::runtime_error("not a WebP file");
    const std::vector<RiffChunk> chunks = Chunks(frameWebp);
    if (chunks.size() != 1 || chunks.front().type != "VP8L") throw std::runtime_error("not a simple lossless WebP");
    std::vector<uint8_t> body;
    PutChunk(body, "VP8X", Vp8xPayload(Vp8xAnimationFlag, canvasWidth, canvasHeight));
    const std::vector<uint8_t> animation = {0, 0, 0, 0, 0, 0};  // background, loop forever
    PutChunk(body, "ANIM", animation);
    std::vector<uint8_t> frame;
    PutLe24(frame, 0);
    PutLe24(frame, 0);
    PutLe24(frame, static_cast<uint32_t>(width - 1));
    PutLe24(frame, static_cast<uint32_t>(height - 1));
    PutLe24(frame, 100);  // milliseconds
    frame.push_back(0x02);  // no blending, no disposal
    PutChunk(frame, "VP8L", chunks.front().payload);
    PutChunk(body, "ANMF", frame);
    return RiffFile(body);
}

#endif  // KAMISHIBAI_HAVE_WEBP

#if KAMISHIBAI_HAVE_HEIF

namespace {

struct HeifContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};

heif_error AppendToVector(heif_context*, const void* data, size_t size, void* userData)
{
    auto* out = static_cast<std::vector<uint8_t>*>(userData);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

void Require(const heif_error& error, const char* step)
{
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string("libheif could not make the test file (") + step + "): " + error.message);
}

// One count of libheif's users for the test program's life.
void UseLibheif()
{
    struct Use {
        Use() { heif_init(nullptr); }
        ~Use() { heif_deinit(); }
    };
    static const Use use;
}

}  // namespace

std::string WhyNoHeifEncoder()
{
    UseLibheif();
    return heif_have_encoder_for_format(heif_compression_HEVC)
               ? ""
               : "libheif here has no HEVC encoder (x265), so no HEIC file can be made to test with";
}

std::vector<uint8_t> EncodeTestHeif(int width, int height, const std::vector<uint8_t>& rgb, int orientation,
                                    std::span<const uint8_t> exifBlock)
{
    UseLibheif();
    const std::unique_ptr<heif_context, HeifContextDeleter> context(heif_context_alloc());
    heif_encoder* encoder = nullptr;
    Require(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder), "encoder");
    const std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoderOwner(encoder, heif_encoder_release);
    Require(heif_encoder_set_lossy_quality(encoder, 95), "quality");

    heif_image* image = nullptr;
    Require(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image), "image");
    const std::unique_ptr<heif_image, void (*)(const heif_image*)> imageOwner(image, heif_image_release);
    Require(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8), "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        std::memcpy(plane + static_cast<size_t>(y) * static_cast<size_t>(stride),
                    rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3, static_cast<size_t>(width) * 3);

    heif_encoding_options* options = heif_encoding_options_alloc();
    const std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options*)> optionsOwner(
        options, heif_encoding_options_free);
    options->image_orientation = static_cast<heif_orientation>(orientation);
    heif_image_handle* handle = nullptr;
    Require(heif_context_encode_image(context.get(), image, encoder, options, &handle), "encoding");
    const std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle*)> handleOwner(handle,
                                                                                            heif_image_handle_release);
    if (!exifBlock.empty())
        Require(heif_context_add_exif_metadata(context.get(), handle, exifBlock.data(), static_cast<int>(exifBlock.size())),
                "Exif");
    std::vector<uint8_t> file;
    heif_writer writer{1, AppendToVector};
    Require(heif_context_write(context.get(), &writer, &file), "writing");
    return file;
}

#endif  // KAMISHIBAI_HAVE_HEIF
