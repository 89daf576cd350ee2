// Test photos: JPEGs with the orientation a camera writes into their Exif
// segment, pictures of four coloured quarters whose places show how a
// picture was turned, and PAM pictures (what scrtool picture writes) read
// back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The JPEG with an Exif APP1 segment right after its start-of-image marker
// whose first directory holds Orientation (tag 274) = orientation, as a
// camera writes it, in the given byte order (ExifFixtures.h).
std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation, bool bigEndian = false);

// The quarters' colours, in blue, green, red order as the JPEG fixtures take them.
enum class Quarter { Red, Green, Blue, White };
// width × height pixels (blue, green, red): top left red, top right green,
// bottom left blue, bottom right white.
std::vector<uint8_t> QuartersBgr(int width, int height);

struct PamPicture {
    int width = 0;
    int height = 0;
    int depth = 0;  // bytes per pixel: red, green, blue (, alpha)
    std::vector<uint8_t> samples;
};
// Throws std::runtime_error for anything but a P7 header with 8-bit samples.
PamPicture ReadPam(const std::vector<uint8_t>& bytes);

// Which quarter's colour the pixel at (x, y) is nearest to.
Quarter QuarterAt(const PamPicture& picture, int x, int y);
// "RG/BW": the quarters of the four corner regions (taken a little inside, away
// from JPEG's blurred edges), top left, top right, bottom left, bottom right.
std::string QuarterLayout(const PamPicture& picture);
