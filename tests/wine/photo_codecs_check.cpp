// photo_codecs_check: the Windows implementations of the photo seams on WIC,
// run under Wine by scripts/wine-smoke.sh (or on a Windows test machine):
//
//   photo_codecs_check.exe
//
//   - the Exif orientation of the fixture table the Linux suite reads
//     (tests/support/ExifFixtures.h), in JPEG streams and as bare blocks;
//   - JPEG encoding: a round trip through the WIC decoder, the same bytes
//     twice, the alpha byte ignored, baseline 4:2:0 without an Exif segment,
//     a smaller stream at a lower quality (which Wine 8's encoder ignores:
//     noted there, not failed), refused inputs;
//   - scaled decoding: the sizes the sink is given, for odd frame sizes, and
//     pixels that are averages of the full decode over d × d blocks.
//
// One line per check, "PASS name", "FAIL name: detail" or "NOTE name:
// detail". Exit status: 0 when every check passed, 1 otherwise.
#include "platform/JpegDecoder.h"
#include "platform/JpegEncoder.h"
#include "platform/PictureOrientation.h"
#include "platform/Stream.h"
#include "tests/support/ExifFixtures.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int failures = 0;

void Check(bool passed, const std::string& name, const std::string& detail = {})
{
    if (passed) {
        std::printf("PASS %s\n", name.c_str());
    } else {
        std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        ++failures;
    }
}

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Red, green, blue, alpha rows without padding; the alpha byte varies, so
// that an encoder reading it as colour shows.
Bytes SmoothRgba(int width, int height, uint8_t alphaSeed)
{
    Bytes rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgba.push_back(static_cast<uint8_t>(200 - (x + y) * 100 / (width + height)));
            rgba.push_back(static_cast<uint8_t>(30 + y * 180 / height));
            rgba.push_back(static_cast<uint8_t>(40 + x * 150 / width));
            rgba.push_back(static_cast<uint8_t>(alphaSeed + x * 7 + y));
        }
    return rgba;
}

// A picture with edges, where quality costs bytes.
Bytes StripedRgba(int width, int height)
{
    Bytes rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool stripe = (x / 3 + y / 2) % 3 == 0;
            rgba.push_back(stripe ? 240 : static_cast<uint8_t>(x * 4));
            rgba.push_back(static_cast<uint8_t>(y * 6));
            rgba.push_back(stripe ? 10 : static_cast<uint8_t>((x + y) * 3));
            rgba.push_back(255);
        }
    return rgba;
}

Bytes Encode(const Bytes& rgba, int width, int height, int quality)
{
    const auto jpeg = EncodeJpeg(rgba.data(), width, height, static_cast<size_t>(width) * 4, quality);
    return jpeg ? *jpeg : Bytes{};
}

class RecordingSink final : public JpegRowSink {
public:
    bool Begin(int32_t width, int32_t height) noexcept override
    {
        width_ = width;
        height_ = height;
        try {
            bgr_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
        } catch (...) {
            return false;
        }
        return true;
    }
    bool Row(int32_t y, const uint8_t* bgr) noexcept override
    {
        if (y != rows_ || y >= height_) return false;
        std::memcpy(bgr_.data() + static_cast<size_t>(y) * width_ * 3, bgr, static_cast<size_t>(width_) * 3);
        ++rows_;
        return true;
    }
    int32_t width_ = -1, height_ = -1, rows_ = 0;
    Bytes bgr_;
};

bool Decode(const Bytes& jpeg, int denominator, RecordingSink& sink)
{
    TBytesStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
    return DecodeJpegRowsScaled(stream, {}, denominator, nullptr, sink);
}

void CheckOrientation()
{
    const Bytes plain = Encode(SmoothRgba(16, 8, 0), 16, 8, 90);
    Check(!plain.empty(), "orientation: plain JPEG encoded");
    if (plain.empty()) return;
    for (const OrientationCase& c : JpegOrientationCases(plain)) {
        const int read = ReadJpegOrientation(c.bytes);
        Check(read == c.expected, "orientation in JPEG: " + c.name,
              "read " + std::to_string(read) + ", expected " + std::to_string(c.expected));
    }
    for (const OrientationCase& c : ExifBlockOrientationCases()) {
        const int read = ReadExifBlockOrientation(c.bytes);
        Check(read == c.expected, "orientation of block: " + c.name,
              "read " + std::to_string(read) + ", expected " + std::to_string(c.expected));
    }
}

// The mean absolute difference per sample between RGBA rows and decoded BGR rows.
double MeanError(const Bytes& rgba, const Bytes& bgr, size_t pixels)
{
    long long sum = 0;
    for (size_t p = 0; p < pixels; ++p)
        for (int c = 0; c < 3; ++c) sum += std::abs(int{rgba[p * 4 + c]} - int{bgr[p * 3 + 2 - c]});
    return static_cast<double>(sum) / (3.0 * static_cast<double>(pixels));
}

void CheckEncoding(bool underWine)
{
    const int width = 61, height = 37;
    const Bytes rgba = SmoothRgba(width, height, 0x5A);
    const Bytes jpeg = Encode(rgba, width, height, 90);
    Check(!jpeg.empty(), "encode: 61 x 37 at quality 90");
    if (jpeg.empty()) return;

    RecordingSink decoded;
    Check(Decode(jpeg, 1, decoded) && decoded.width_ == width && decoded.height_ == height && decoded.rows_ == height,
          "encode: decodes at its size", std::to_string(decoded.width_) + " x " + std::to_string(decoded.height_));
    if (decoded.rows_ == height) {
        const double error = MeanError(rgba, decoded.bgr_, static_cast<size_t>(width) * height);
        Check(error < 3.0, "encode: round trip close to the source", "mean error " + std::to_string(error));
    }
    Check(Encode(rgba, width, height, 90) == jpeg, "encode: the same bytes twice");
    Check(Encode(SmoothRgba(width, height, 0x13), width, height, 90) == jpeg, "encode: the alpha byte is ignored");

    // Markers before the image data: a baseline frame with 4:2:0 sampling,
    // no APP1.
    bool baseline = false, sampling = false, app1 = false;
    for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
        const uint8_t code = jpeg[at + 1];
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (code == 0xE1) app1 = true;
        if (code == 0xC0 && at + 2 + length <= jpeg.size() && length == 17) {
            baseline = true;
            sampling = jpeg[at + 11] == 0x22 && jpeg[at + 14] == 0x11 && jpeg[at + 17] == 0x11;
        }
        if (code == 0xDA) break;
        at += 2 + length;
    }
    Check(baseline && sampling, "encode: baseline frame with 4:2:0 sampling");
    Check(!app1 && ReadJpegOrientation(jpeg) == 1, "encode: no Exif segment");

    const Bytes striped = StripedRgba(width, height);
    const size_t best = Encode(striped, width, height, 90).size();
    const size_t poor = Encode(striped, width, height, 10).size();
    if (underWine && best == poor)
        std::printf("NOTE encode: quality: Wine's encoder ignores ImageQuality (%zu bytes at 90 and at 10)\n", best);
    else
        Check(poor < best, "encode: smaller at quality 10", std::to_string(poor) + " vs " + std::to_string(best));

    const Bytes pixels(16 * 8 * 4, 0);
    Check(!EncodeJpeg(nullptr, 16, 8, 64, 90) && !EncodeJpeg(pixels.data(), 0, 8, 64, 90) &&
              !EncodeJpeg(pixels.data(), 16, 8, 63, 90) && !EncodeJpeg(pixels.data(), 16, 8, 64, 0) &&
              !EncodeJpeg(pixels.data(), 16, 8, 64, 101) &&
              !EncodeJpeg(pixels.data(), MaximumJpegEncodeDimension + 1, 1, 64, 90),
          "encode: refused inputs");
    Check(EncodeJpeg(pixels.data(), 1, 1, 4, 1).has_value(), "encode: 1 x 1 at quality 1");
}

void CheckScaledDecoding()
{
    for (const auto& [width, height] : {std::pair{61, 37}, std::pair{1, 1}, std::pair{9, 17}, std::pair{64, 48}}) {
        const Bytes jpeg = Encode(StripedRgba(width, height), width, height, 90);
        for (const int d : {1, 2, 4, 8}) {
            RecordingSink sink;
            const bool decoded = Decode(jpeg, d, sink);
            const int expectedWidth = (width + d - 1) / d, expectedHeight = (height + d - 1) / d;
            Check(decoded && sink.width_ == expectedWidth && sink.height_ == expectedHeight && sink.rows_ == expectedHeight,
                  "scaled decode: " + std::to_string(width) + " x " + std::to_string(height) + " / " + std::to_string(d),
                  std::to_string(sink.width_) + " x " + std::to_string(sink.height_) + ", " + std::to_string(sink.rows_) +
                      " rows");
        }
    }
    RecordingSink refused;
    const Bytes small = Encode(StripedRgba(8, 8), 8, 8, 90);
    Check(!Decode(small, 3, refused) && !Decode(small, 16, refused), "scaled decode: denominators 3 and 16 refused");

    // The scaled rows against the full decode averaged over d × d blocks
    // (which is how this build scales).
    const int width = 96, height = 64;
    const Bytes jpeg = Encode(SmoothRgba(width, height, 0), width, height, 90);
    RecordingSink full;
    if (!Decode(jpeg, 1, full)) {
        Check(false, "scaled decode: full decode of 96 x 64");
        return;
    }
    for (const int d : {2, 4, 8}) {
        RecordingSink sink;
        if (!Decode(jpeg, d, sink)) {
            Check(false, "scaled decode: pixels at 1/" + std::to_string(d));
            continue;
        }
        long long difference = 0;
        for (int y = 0; y < height / d; ++y)
            for (int x = 0; x < width / d; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int j = 0; j < d; ++j)
                        for (int i = 0; i < d; ++i)
                            sum += full.bgr_[(static_cast<size_t>(y * d + j) * width + x * d + i) * 3 + c];
                    difference += std::abs((sum + d * d / 2) / (d * d) -
                                           int{sink.bgr_[(static_cast<size_t>(y) * sink.width_ + x) * 3 + c]});
                }
        const double mean = static_cast<double>(difference) / (3.0 * (width / d) * (height / d));
        Check(mean < 1.0, "scaled decode: pixels at 1/" + std::to_string(d) + " are block averages of the full decode",
              "mean difference " + std::to_string(mean));
    }
}

}  // namespace

int main()
{
    try {
        const bool underWine = RunningUnderWine();
        CheckOrientation();
        CheckEncoding(underWine);
        CheckScaledDecoding();
    } catch (const std::exception& error) {
        std::printf("FAIL unexpected exception: %s\n", error.what());
        return 1;
    }
    std::printf("%s: %d failed\n", failures == 0 ? "photo_codecs_check passed" : "photo_codecs_check FAILED", failures);
    return failures == 0 ? 0 : 1;
}
