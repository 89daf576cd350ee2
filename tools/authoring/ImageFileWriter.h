// ImageFileWriter: 32-bit pixel buffers into image files, to look at
// pictures outside the saver and to compare results byte for byte.
//
// Two forms:
// - PAM ("P7", TUPLTYPE RGB_ALPHA, MAXVAL 255): every pixel as red, green,
//   blue, alpha, exactly the bytes the buffer holds (blue, green, red, alpha
//   in memory, reordered only). This is the exact form for comparisons.
// - PNG: 8-bit RGB (colour type 2), the alpha channel left out. PNG is for
//   looking at: pictures loaded from JPEG and frames the effects produce
//   carry alpha 0, which would make an RGBA file invisible in most viewers.
//   Rows are filtered per row (the filter with the smallest sum of absolute
//   differences) and deflated with zlib; no other image library is used, so
//   the Windows build needs nothing beyond zlib.
//
// Files are never left half-written: the data goes to a new temporary file
// beside the target, which replaces the target only when complete. Every
// failure (a buffer that is not 32-bit, a file that cannot be written, a
// zlib error) throws ImageFileError with a one-line message.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

enum class ImageFileFormat { Png, Pam };

class ImageFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The format that a file name asks for by its extension: ".png" or ".pam",
// in any letter case; nothing for other names.
std::optional<ImageFileFormat> ImageFileFormatFor(const std::filesystem::path& path);

// The whole file in memory.
std::vector<uint8_t> EncodeImage(const DirectBmpControl& buffer, ImageFileFormat format);

// Writes the file through a temporary file beside it; an existing file of
// that name is replaced only on success. Pictures are encoded row by row,
// so no second picture-sized block is held.
void WriteImageFile(const std::filesystem::path& path, const DirectBmpControl& buffer, ImageFileFormat format);
