// Seed corpus for exif_fuzz: the orientation fixtures the tests read, JPEG
// streams (on a small JPEG from the platform's encoder) and bare blocks,
// well-formed and damaged.
#include "platform/JpegEncoder.h"
#include "tests/support/ExifFixtures.h"

#include "fuzz/seeds/SeedFiles.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

void WriteExifSeeds(const std::filesystem::path& corpusRoot);

namespace {

// A file name from a case's name: letters and digits, the rest as '-'.
std::string FileName(const std::string& prefix, const std::string& name)
{
    std::string file = prefix;
    for (const char c : name) file += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    return file;
}

}  // namespace

void WriteExifSeeds(const std::filesystem::path& corpusRoot)
{
    const std::filesystem::path folder = corpusRoot / "exif_fuzz";
    const std::vector<uint8_t> grey(8 * 8 * 4, 0x80);
    const auto plain = EncodeJpeg(grey.data(), 8, 8, 8 * 4, 50);
    if (!plain) throw std::runtime_error("exif seeds: the encoder refused an 8 x 8 picture");
    for (const OrientationCase& c : JpegOrientationCases(*plain)) WriteSeed(folder, FileName("jpeg-", c.name), c.bytes);
    for (const OrientationCase& c : ExifBlockOrientationCases()) WriteSeed(folder, FileName("block-", c.name), c.bytes);
}
