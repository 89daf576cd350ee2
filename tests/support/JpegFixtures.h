// Test JPEGs made with libjpeg, and libjpeg's own decoding of them, so that
// tests compare the loader against the library rather than against fixed
// pictures.
#pragma once

#include <cstdint>
#include <vector>

enum class JpegColour { Colour, Grey, Cmyk };
enum class JpegScans {
    Baseline,
    Progressive,          // the library's standard progressive script
    OneScanPerCoefficient  // 1 DC scan plus 63 AC scans per component: legal, but far too many
};

struct JpegEncodeOptions {
    JpegColour colour = JpegColour::Colour;
    JpegScans scans = JpegScans::Baseline;
    int quality = 90;
};

// samples: width × height pixels, top row first, without padding: blue,
// green, red for Colour; one grey byte for Grey; C, M, Y, K for Cmyk.
// Throws std::runtime_error when libjpeg refuses.
std::vector<uint8_t> EncodeTestJpeg(int width, int height, const std::vector<uint8_t>& samples,
                                    const JpegEncodeOptions& options = {});

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;  // top row first, 3 bytes per pixel, no padding
};

// libjpeg's decoding into blue, green, red; throws std::runtime_error when
// libjpeg fails.
DecodedJpeg DecodeTestJpeg(const std::vector<uint8_t>& jpeg);

// A smooth colour picture with some edges (blue, green, red per pixel).
std::vector<uint8_t> GradientBgr(int width, int height);

// A picture without edges (blue, green, red per pixel): what JPEG keeps
// best, for checks of how close a decode comes to its source.
std::vector<uint8_t> SmoothBgr(int width, int height);

// Rewrites the frame size in the first SOFn marker (throws when there is none).
void SetJpegFrameSize(std::vector<uint8_t>& jpeg, uint16_t width, uint16_t height);
