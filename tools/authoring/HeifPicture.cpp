#include "tools/authoring/HeifPicture.h"

#include "imaging/DirectBmpControl.h"
#include "tools/authoring/HeifGridSizes.h"
#include "tools/authoring/PictureSource.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// libheif registers its codecs in heif_init, which counts its callers; one
// count is held for the whole run, so that pictures decoded at the same time
// on several threads never race over the registration.
class LibheifUse {
public:
    LibheifUse() { heif_init(nullptr); }
    ~LibheifUse() { heif_deinit(); }
    LibheifUse(const LibheifUse&) = delete;
    LibheifUse& operator=(const LibheifUse&) = delete;
};

void UseLibheif()
{
    static const LibheifUse use;
}

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// libheif's message, kept to one line.
std::string Reason(const heif_error& error)
{
    std::string text = error.message != nullptr && error.message[0] != '\0' ? error.message : "unknown error";
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

void Check(const heif_error& error, const char* step)
{
    if (error.code == heif_error_Ok) return;
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        throw PictureSourceError(std::string("the HEIF picture is larger than pack takes (") + step + "): " +
                                 Reason(error));
    switch (error.code) {
    case heif_error_Memory_allocation_error:
        throw PictureSourceError(std::string("not enough memory to decode the HEIF picture (") + step + ")");
    case heif_error_Unsupported_feature:
    case heif_error_Unsupported_filetype:
        throw PictureSourceError(std::string("the HEIF file cannot be decoded here (") + step + "): " + Reason(error));
    default:
        throw PictureSourceError(std::string("HEIF data is damaged or truncated (") + step + "): " + Reason(error));
    }
}

}  // namespace

RgbaImage DecodeHeif(std::span<const uint8_t> bytes)
{
    UseLibheif();
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context) throw PictureSourceError("not enough memory to read the HEIF file");
    // libheif's own guard on the sides it reads from the file (grids and
    // tiles included) refuses sizes at the limit it is given.
    heif_context_set_maximum_image_size_limit(context.get(), MaximumBufferDimension + 1);
    // Pack already decodes several photos at once, one per core.
    heif_context_set_max_decoding_threads(context.get(), 0);
    Check(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr),
          "reading its boxes");

    // libheif allocates a grid's picture at the size the grid's own data
    // gives, which it checks against nothing: see HeifGridSizes.h.
    for (const HeifGridSize& grid : HeifGridSizes(bytes)) CheckPictureSourceSize("HEIF", grid.width, grid.height);

    heif_image_handle* primary = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &primary), "finding its primary image");
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(primary);
    // Both the coded size and the size after turning and cropping are
    // allocated while decoding.
    CheckPictureSourceSize("HEIF", heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
    const int codedWidth = heif_image_handle_get_ispe_width(handle.get());
    const int codedHeight = heif_image_handle_get_ispe_height(handle.get());
    if (codedWidth > 0 || codedHeight > 0) CheckPictureSourceSize("HEIF", codedWidth, codedHeight);

    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) throw PictureSourceError("not enough memory to decode the HEIF picture");
    options->ignore_transformations = 0;  // the file's irot and imir make it upright: see the header
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    Check(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()),
          "decoding its primary image");
    const std::unique_ptr<heif_image, ImageDeleter> picture(decoded);

    const int width = heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(picture.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* rows = heif_image_get_plane_readonly(picture.get(), heif_channel_interleaved, &stride);
    if (rows == nullptr || heif_image_get_bits_per_pixel(picture.get(), heif_channel_interleaved) != 32)
        throw PictureSourceError("libheif gave the HEIF picture in a form other than 8-bit RGBA");
    CheckPictureSourceSize("HEIF", width, height);
    if (stride < width * 4) throw PictureSourceError("libheif gave the HEIF picture with rows shorter than its width");

    RgbaImage image;
    image.width = width;
    image.height = height;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    image.pixels.resize(rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(image.pixels.data() + rowBytes * static_cast<size_t>(y),
                    rows + static_cast<size_t>(stride) * static_cast<size_t>(y), rowBytes);
    return image;
}
