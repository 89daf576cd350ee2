// The orientation of an Exif block through libexif.
#include "platform/PictureOrientation.h"

#include <limits>
#include <memory>
#include <new>
#include <vector>

#include <libexif/exif-data.h>

namespace {

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// libexif loads a block only behind the header of the JPEG segment that
// carries it.
constexpr uint8_t ExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
// The smallest block with a directory: the 8-byte TIFF header and the
// directory's entry count.
constexpr size_t SmallestExifBlock = 10;

}  // namespace

int ReadExifBlockOrientation(std::span<const uint8_t> exif)
{
    if (exif.size() < SmallestExifBlock || exif.size() > std::numeric_limits<unsigned int>::max() - sizeof ExifHeader)
        return UprightOrientation;
    std::vector<uint8_t> segment;
    try {
        segment.reserve(sizeof ExifHeader + exif.size());
    } catch (const std::bad_alloc&) {
        return UprightOrientation;
    }
    segment.assign(ExifHeader, ExifHeader + sizeof ExifHeader);
    segment.insert(segment.end(), exif.begin(), exif.end());

    const std::unique_ptr<ExifData, ExifDataRelease> data(exif_data_new());
    if (!data) return UprightOrientation;
    // Following the standard, libexif would add the tags it holds mandatory,
    // with made-up values, and drop those it finds out of place: the block
    // is to be read as it is.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), segment.data(), static_cast<unsigned int>(segment.size()));

    const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->data == nullptr ||
        entry->size < 2)
        return UprightOrientation;
    const ExifShort value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return value >= 1 && value <= 8 ? value : UprightOrientation;
}
