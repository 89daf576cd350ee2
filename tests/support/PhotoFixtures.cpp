#include "tests/support/PhotoFixtures.h"

#include <stdexcept>
#include <string_view>

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value, bool bigEndian)
{
    if (bigEndian) {
        out.push_back(static_cast<uint8_t>(value >> 8));
        out.push_back(static_cast<uint8_t>(value));
    } else {
        out.push_back(static_cast<uint8_t>(value));
        out.push_back(static_cast<uint8_t>(value >> 8));
    }
}

void Put32(std::vector<uint8_t>& out, uint32_t value, bool bigEndian)
{
    if (bigEndian) {
        Put16(out, static_cast<uint16_t>(value >> 16), true);
        Put16(out, static_cast<uint16_t>(value), true);
    } else {
        Put16(out, static_cast<uint16_t>(value), false);
        Put16(out, static_cast<uint16_t>(value >> 16), false);
    }
}

}  // namespace

std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation, bool bigEndian)
{
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) throw std::invalid_argument("not a JPEG");
    std::vector<uint8_t> tiff;
    tiff.push_back(bigEndian ? 'M' : 'I');
    tiff.push_back(bigEndian ? 'M' : 'I');
    Put16(tiff, 42, bigEndian);
    Put32(tiff, 8, bigEndian);  // IFD0 right after the header
    Put16(tiff, 1, bigEndian);  // one entry
    Put16(tiff, 0x0112, bigEndian);  // Orientation
    Put16(tiff, 3, bigEndian);       // SHORT
    Put32(tiff, 1, bigEndian);       // one value, held in the entry itself
    Put16(tiff, static_cast<uint16_t>(orientation), bigEndian);
    Put16(tiff, 0, bigEndian);  // padding of the value field
    Put32(tiff, 0, bigEndian);  // no next IFD

    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1};
    const size_t length = 2 + 6 + tiff.size();
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
    for (const char c : std::string_view("Exif\0\0", 6)) out.push_back(static_cast<uint8_t>(c));
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
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
