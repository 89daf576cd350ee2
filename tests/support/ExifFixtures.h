// Exif data made by hand for the orientation readers: TIFF-structured blocks
// with a first directory as cameras write it (make, orientation,
// resolution), put into a JPEG stream as an APP1 segment; and the table of
// well-formed and damaged cases both platforms' readers are held to (the
// Linux suite and the Windows check under Wine go through the same table).
// Plain C++ without the test framework, so that the fuzz seeds and the
// Windows check can use it too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class TiffByteOrder { LittleEndian, BigEndian };

struct ExifBlockOptions {
    TiffByteOrder order = TiffByteOrder::LittleEndian;
    // The orientation entry's value; none leaves the entry out.
    std::optional<uint16_t> orientation = 1;
    // The entry's TIFF type: 3 (SHORT) as it should be, 4 (LONG) as some
    // broken writers have it.
    uint16_t orientationType = 3;
    // Where the header says the first directory starts; none: where it does.
    std::optional<uint32_t> directoryOffset;
};

ExifBlockOptions ExifOptions(TiffByteOrder order, std::optional<uint16_t> orientation);

std::vector<uint8_t> MakeExifBlock(const ExifBlockOptions& options);

enum class ExifSegmentPlace {
    First,              // right after SOI, before the JFIF header
    AfterOtherSegments  // after the JFIF header, an XMP APP1 and an APP2
};

// `jpeg` (which starts with SOI, and for AfterOtherSegments with a JFIF APP0
// segment) with an APP1 Exif segment holding `block`; throws
// std::invalid_argument when the block does not fit in a segment or the
// stream does not start as described.
std::vector<uint8_t> JpegWithExifSegment(const std::vector<uint8_t>& jpeg, std::span<const uint8_t> block,
                                         ExifSegmentPlace place = ExifSegmentPlace::First);

struct OrientationCase {
    std::string name;
    std::vector<uint8_t> bytes;
    int expected = 1;
};

// JPEG streams built on `plainJpeg` (a small JPEG without Exif data, with a
// JFIF header, as the platform's encoder writes it), for ReadJpegOrientation.
std::vector<OrientationCase> JpegOrientationCases(const std::vector<uint8_t>& plainJpeg);

// Bare blocks, as a PNG eXIf chunk holds them, for ReadExifBlockOrientation.
std::vector<OrientationCase> ExifBlockOrientationCases();
