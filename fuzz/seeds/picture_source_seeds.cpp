// Seed corpus for picture_source_fuzz: one small file of each kind pack
// reads: PNG, JPEG, and where the build has their libraries WebP (lossy,
// lossless, with alpha, with an EXIF chunk, a one-frame animation) and HEIF
// (plain, turned, with Exif; when libheif here can encode), made with the
// tests' own fixtures.
#include "fuzz/seeds/SeedFiles.h"
#include "platform/JpegEncoder.h"
#include "tests/support/ExifFixtures.h"
#include "tests/support/PngFiles.h"
#include "tests/tools/PhonePhotoFixtures.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

void WritePictureSourceSeeds(const std::filesystem::path& corpusRoot);

#if KAMISHIBAI_HAVE_HEIF
// x265, which libheif encodes the HEIF seeds with, leaves one small block
// per encoded picture; the seed program is built with the fuzz targets'
// sanitizers, whose leak check would fail it for that library's leak.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
#endif

void WritePictureSourceSeeds(const std::filesystem::path& corpusRoot)
{
    const std::filesystem::path folder = corpusRoot / "picture_source_fuzz";
    const int width = 24, height = 16;
    const std::vector<uint8_t> rgba = QuartersRgba(width, height);

    {
        using namespace png_files;
        std::vector<Bytes> rows;
        for (int y = 0; y < height; ++y)
            rows.emplace_back(rgba.begin() + y * width * 4, rgba.begin() + (y + 1) * width * 4);
        Bytes filtered;
        AppendFiltered(filtered, rows, 4, std::vector<int>(rows.size(), 1));
        WriteSeed(folder, "quarters.png",
                  PngFile({{"IHDR", HeaderData(width, height, 8, 6)}, {"IDAT", Deflate(filtered)}, {"IEND", {}}}));
    }
    const std::optional<std::vector<uint8_t>> jpeg = EncodeJpeg(rgba.data(), width, height, size_t{width} * 4, 80);
    if (!jpeg) throw std::runtime_error("the JPEG encoder refused the seed picture");
    WriteSeed(folder, "quarters.jpg", *jpeg);
    const std::vector<uint8_t> exif = MakeExifBlock(ExifOptions(TiffByteOrder::BigEndian, 6));

#if KAMISHIBAI_HAVE_WEBP
    std::vector<uint8_t> translucent = rgba;
    for (size_t i = 3; i < translucent.size(); i += 4) translucent[i] = static_cast<uint8_t>(i * 5);
    const std::vector<uint8_t> lossless = EncodeTestWebp(width, height, rgba, WebpCoding::Lossless);
    WriteSeed(folder, "lossy.webp", EncodeTestWebp(width, height, rgba, WebpCoding::Lossy));
    WriteSeed(folder, "lossless.webp", lossless);
    WriteSeed(folder, "lossy-alpha.webp", EncodeTestWebp(width, height, translucent, WebpCoding::Lossy));
    WriteSeed(folder, "exif-prefixed.webp", WebpWithExif(lossless, exif, ExifChunkForm::ExifPrefixed));
    WriteSeed(folder, "animation.webp", WebpAnimationOfOneFrame(lossless, width + 8, height));
#endif
#if KAMISHIBAI_HAVE_HEIF
    if (WhyNoHeifEncoder().empty()) {
        const std::vector<uint8_t> rgb = QuartersRgb(width, height);
        WriteSeed(folder, "plain.heic", EncodeTestHeif(width, height, rgb, 1, {}));
        WriteSeed(folder, "turned-with-exif.heic", EncodeTestHeif(width, height, rgb, 6, exif));
    }
#endif
}
