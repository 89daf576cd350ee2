#include "tests/support/PhotoFixtures.h"

#include "tests/support/ExifFixtures.h"

#include <stdexcept>
#include <string_view>

std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation, bool bigEndian)
{
    const std::vector<uint8_t> block = MakeExifBlock(
        ExifOptions(bigEndian ? TiffByteOrder::BigEndian : TiffByteOrder::LittleEndian, static_cast<uint16_t>(orientation)));
    return JpegWithExifSegment(jpeg, block);
}

std::vector<uint8_t> QuartersBgr(int width, int height)
{
    std::vector<uint8_t> bgr;
    bgr.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            uint8_t blue = 0, green = 0, red = 0;
            if (!right && !bottom) red = 255;
            if (right && !bottom) green = 255;
            if (!right && bottom) blue = 255;
            if (right && bottom) blue = green = red = 255;
            bgr.insert(bgr.end(), {blue, green, red});
        }
    }
    return bgr;
}

PamPicture ReadPam(const std::vector<uint8_t>& bytes)
{
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("ENDHDR\n");
    if (text.rfind("P7\n", 0) != 0 || end == std::string::npos) throw std::runtime_error("not a PAM picture");
    PamPicture picture;
    const auto field = [&](const std::string& name) {
        const size_t at = text.find("\n" + name + " ");
        if (at == std::string::npos || at > end) throw std::runtime_error("PAM header without " + name);
        return std::stoi(text.substr(at + name.size() + 2));
    };
    picture.width = field("WIDTH");
    picture.height = field("HEIGHT");
    picture.depth = field("DEPTH");
    if (field("MAXVAL") != 255) throw std::runtime_error("PAM samples are not 8-bit");
    picture.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(end + 7), bytes.end());
    if (picture.samples.size() !=
        static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * static_cast<size_t>(picture.depth))
        throw std::runtime_error("PAM samples do not match the size");
    return picture;
}

Quarter QuarterAt(const PamPicture& picture, int x, int y)
{
    const uint8_t* pixel =
        picture.samples.data() + (static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x)) *
                                     static_cast<size_t>(picture.depth);
    const int red = pixel[0], green = pixel[1], blue = pixel[2];
    struct Candidate {
        Quarter quarter;
        int red, green, blue;
    };
    const Candidate candidates[] = {{Quarter::Red, 255, 0, 0},
                                    {Quarter::Green, 0, 255, 0},
                                    {Quarter::Blue, 0, 0, 255},
                                    {Quarter::White, 255, 255, 255}};
    Quarter best = Quarter::Red;
    int bestDistance = 1 << 30;
    for (const Candidate& c : candidates) {
        const int distance = (red - c.red) * (red - c.red) + (green - c.green) * (green - c.green) +
                             (blue - c.blue) * (blue - c.blue);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = c.quarter;
        }
    }
    return best;
}

std::string QuarterLayout(const PamPicture& picture)
{
    const auto letter = [&](int x, int y) {
        switch (QuarterAt(picture, x, y)) {
        case Quarter::Red: return 'R';
        case Quarter::Green: return 'G';
        case Quarter::Blue: return 'B';
        case Quarter::White: return 'W';
        }
        return '?';
    };
    const int left = picture.width / 8, right = picture.width - 1 - picture.width / 8;
    const int top = picture.height / 8, bottom = picture.height - 1 - picture.height / 8;
    return std::string{letter(left, top), letter(right, top), '/', letter(left, bottom), letter(right, bottom)};
}
