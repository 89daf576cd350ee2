#include "tools/authoring/PngDecoder.h"

#include "tools/authoring/PngPaeth.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate cannot pack more than about 1032 bytes into one compressed byte
// (a 258-byte match in two bits); image data claiming more than that is cut
// short, and is refused before the picture is allocated.
constexpr uint64_t MaximumDeflateRatio = 1032;

uint32_t ReadBe32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

std::string Dimensions(uint64_t width, uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

enum ColourType : uint8_t { Grey = 0, Rgb = 2, Indexed = 3, GreyAlpha = 4, RgbAlpha = 6 };

int ChannelsOf(uint8_t colourType)
{
    switch (colourType) {
    case Grey: return 1;
    case Rgb: return 3;
    case Indexed: return 1;
    case GreyAlpha: return 2;
    case RgbAlpha: return 4;
    default: return 0;
    }
}

bool DepthAllowed(uint8_t colourType, uint8_t bitDepth)
{
    switch (colourType) {
    case Grey: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case Indexed: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case Rgb:
    case GreyAlpha:
    case RgbAlpha: return bitDepth == 8 || bitDepth == 16;
    default: return false;
    }
}

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    bool interlaced = false;
};

// Everything the chunks say, before any pixel is decoded.
struct Contents {
    Header header;
    std::array<std::array<uint8_t, 4>, 256> palette{};  // red, green, blue, alpha
    size_t paletteCount = 0;
    bool transparentKey = false;          // tRNS of a grey or RGB picture
    std::array<uint16_t, 3> keySample{};  // grey in [0]; or red, green, blue
    std::vector<uint8_t> imageData;       // every IDAT, joined
};

bool IsChunkLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

Header ParseHeader(const uint8_t* data, uint32_t length, const PngDecodeOptions& options)
{
    if (length != 13) throw PngError("IHDR has " + std::to_string(length) + " bytes instead of 13");
    Header header;
    header.width = ReadBe32(data);
    header.height = ReadBe32(data + 4);
    header.bitDepth = data[8];
    header.colourType = data[9];
    if (header.width == 0 || header.height == 0)
        throw PngError("picture size " + Dimensions(header.width, header.height) + " has no pixels");
    if (header.width > MaximumPngDimension || header.height > MaximumPngDimension)
        throw PngError("picture size " + Dimensions(header.width, header.height) + " is too large (at most " +
                       std::to_string(MaximumPngDimension) + " pixels in each direction)");
    if (uint64_t{header.width} * header.height > options.maximumPixels)
        throw PngError("picture size " + Dimensions(header.width, header.height) + " is above the limit of " +
                       std::to_string(options.maximumPixels) + " pixels");
    if (ChannelsOf(header.colourType) == 0)
        throw PngError("unknown colour type " + std::to_string(header.colourType));
    if (!DepthAllowed(header.colourType, header.bitDepth))
        throw PngError("bit depth " + std::to_string(header.bitDepth) + " is not allowed with colour type " +
                       std::to_string(header.colourType));
    if (data[10] != 0) throw PngError("unknown compression method " + std::to_string(data[10]));
    if (data[11] != 0) throw PngError("unknown filter method " + std::to_string(data[11]));
    if (data[12] > 1) throw PngError("unknown interlace method " + std::to_string(data[12]));
    header.interlaced = data[12] == 1;
    return header;
}

// Walks the chunks from the signature to IEND, checking CRCs, order and
// sizes; keeps what the pixels need.
Contents ReadChunks(std::span<const uint8_t> bytes, const PngDecodeOptions& options)
{
    if (!HasPngSignature(bytes)) throw PngError("not a PNG file (no PNG signature)");
    Contents contents;
    bool seenHeader = false, seenPalette = false, seenTransparency = false;
    bool inImageData = false, afterImageData = false;
    size_t position = sizeof Signature;
    for (;;) {
        const size_t left = bytes.size() - position;
        if (left == 0) throw PngError("file ends before the IEND chunk (truncated)");
        if (left < 8) throw PngError("file ends inside a chunk header at offset " + std::to_string(position));
        const uint8_t* head = bytes.data() + position;
        const uint32_t length = ReadBe32(head);
        const uint8_t* type = head + 4;
        if (!std::all_of(type, type + 4, IsChunkLetter))
            throw PngError("damaged chunk header at offset " + std::to_string(position));
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (length > 0x7FFFFFFFu) throw PngError("chunk " + name + " has an impossible length");
        if (left - 8 < uint64_t{length} + 4) throw PngError("file ends inside the " + name + " chunk (truncated)");
        const uint8_t* data = head + 8;
        if (options.checkCrc) {
            uLong crc = crc32(0L, type, 4);
            crc = crc32(crc, data, static_cast<uInt>(length));
            if (static_cast<uint32_t>(crc) != ReadBe32(data + length))
                throw PngError("chunk " + name + " at offset " + std::to_string(position) +
                               " is damaged (CRC mismatch)");
        }
        position += size_t{12} + length;

        if (!seenHeader && name != "IHDR") throw PngError("the first chunk is " + name + ", not IHDR");
        if (name == "IDAT") {
            if (afterImageData) throw PngError("IDAT chunks are not consecutive");
            inImageData = true;
            contents.imageData.insert(contents.imageData.end(), data, data + length);
            continue;
        }
        if (inImageData) {
            inImageData = false;
            afterImageData = true;
        }

        const Header& header = contents.header;
        if (name == "IHDR") {
            if (seenHeader) throw PngError("second IHDR chunk");
            contents.header = ParseHeader(data, length, options);
            seenHeader = true;
        } else if (name == "PLTE") {
            if (seenPalette) throw PngError("second PLTE chunk");
            if (afterImageData) throw PngError("PLTE chunk after the image data");
            if (seenTransparency) throw PngError("PLTE chunk after tRNS");
            if (header.colourType == Grey || header.colourType == GreyAlpha)
                throw PngError("PLTE chunk in a grey picture");
            if (length == 0 || length % 3 != 0 || length > 256 * 3)
                throw PngError("PLTE has " + std::to_string(length) + " bytes, not 1 to 256 colours of 3 bytes");
            seenPalette = true;
            // RGB pictures may carry a suggested palette; their pixels do not use it.
            if (header.colourType == Indexed) {
                contents.paletteCount = length / 3;
                for (size_t k = 0; k < contents.paletteCount; ++k)
                    contents.palette[k] = {data[3 * k], data[3 * k + 1], data[3 * k + 2], 255};
            }
        } else if (name == "tRNS") {
            if (seenTransparency) throw PngError("second tRNS chunk");
            if (afterImageData) throw PngError("tRNS chunk after the image data");
            seenTransparency = true;
            switch (header.colourType) {
            case Indexed:
                if (!seenPalette) throw PngError("tRNS chunk before PLTE");
                if (length > contents.paletteCount)
                    throw PngError("tRNS has " + std::to_string(length) + " entries for a palette of " +
                                   std::to_string(contents.paletteCount) + " colours");
                for (size_t k = 0; k < length; ++k) contents.palette[k][3] = data[k];
                break;
            case Grey:
                if (length != 2) throw PngError("tRNS of a grey picture has " + std::to_string(length) + " bytes, not 2");
                contents.transparentKey = true;
                contents.keySample[0] = static_cast<uint16_t>(data[0] << 8 | data[1]);
                break;
            case Rgb:
                if (length != 6) throw PngError("tRNS of an RGB picture has " + std::to_string(length) + " bytes, not 6");
                contents.transparentKey = true;
                for (int c = 0; c < 3; ++c)
                    contents.keySample[c] = static_cast<uint16_t>(data[2 * c] << 8 | data[2 * c + 1]);
                break;
            default: throw PngError("tRNS chunk in a picture with an alpha channel");
            }
        } else if (name == "IEND") {
            break;
        } else if (!(type[0] & 0x20)) {
            // A lower-case first letter marks a chunk that may be skipped.
            throw PngError("unknown critical chunk " + name);
        }
    }
    if (!inImageData && !afterImageData) throw PngError("no image data (IDAT chunk)");
    if (contents.header.colourType == Indexed && !seenPalette) throw PngError("palette picture without a PLTE chunk");
    return contents;
}

// Pulls the inflated image data row by row.
class Inflater {
public:
    explicit Inflater(const std::vector<uint8_t>& input) : input_(input)
    {
        if (inflateInit(&stream_) != Z_OK) throw PngError("zlib cannot start inflating");
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void Read(uint8_t* destination, size_t count)
    {
        stream_.next_out = destination;
        while (count > 0) {
            if (ended_) throw PngError("image data ends before the last row (truncated)");
            const uInt step = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
            stream_.avail_out = step;
            Inflate();
            count -= step - stream_.avail_out;
        }
    }

    // After the last row: the zlib stream must end there, its checksum whole.
    void Finish()
    {
        uint8_t extra = 0;
        while (!ended_) {
            stream_.next_out = &extra;
            stream_.avail_out = 1;
            Inflate();
            if (stream_.avail_out == 0) throw PngError("image data is longer than the picture's rows");
        }
    }

private:
    void Inflate()
    {
        if (stream_.avail_in == 0 && offset_ < input_.size()) {
            const size_t step = std::min<size_t>(input_.size() - offset_, 1u << 30);
            stream_.next_in = const_cast<Bytef*>(input_.data() + offset_);  // zlib only reads it
            stream_.avail_in = static_cast<uInt>(step);
            offset_ += step;
        }
        const int result = inflate(&stream_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            ended_ = true;
            return;
        }
        if (result == Z_OK) return;
        // Input is handed over before every call, so no progress means no input left.
        if (result == Z_BUF_ERROR) throw PngError("image data ends before the end of its zlib stream (truncated)");
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        throw PngError(std::string("image data is damaged (zlib: ") + (stream_.msg ? stream_.msg : "data error") + ")");
    }

    const std::vector<uint8_t>& input_;
    size_t offset_ = 0;
    z_stream stream_{};
    bool ended_ = false;
};

// Undoes the row filter in place. row and above hold rowBytes bytes; above is
// all zero for the first row of a pass.
void Unfilter(uint8_t filter, uint8_t* row, const uint8_t* above, size_t rowBytes, size_t pixelBytes)
{
    switch (filter) {
    case 0: break;
    case 1:
        for (size_t i = pixelBytes; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - pixelBytes]);
        break;
    case 2:
        for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + above[i]);
        break;
    case 3:
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + above[i]) >> 1));
        }
        break;
    case 4:
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int upperLeft = i >= pixelBytes ? above[i - pixelBytes] : 0;
            row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(left, above[i], upperLeft));
        }
        break;
    default: break;  // refused by the caller
    }
}

// Sample k of a row (the k-th value of bitDepth bits, most significant bits first).
unsigned SampleAt(const uint8_t* row, size_t k, unsigned bitDepth)
{
    switch (bitDepth) {
    case 8: return row[k];
    case 16: return static_cast<unsigned>(row[2 * k]) << 8 | row[2 * k + 1];
    default: {
        const size_t bit = k * bitDepth;
        const unsigned shift = 8 - bitDepth - static_cast<unsigned>(bit % 8);
        return static_cast<unsigned>(row[bit / 8] >> shift) & ((1u << bitDepth) - 1);
    }
    }
}

uint8_t ToEightBits(unsigned sample, unsigned bitDepth)
{
    switch (bitDepth) {
    case 1: return static_cast<uint8_t>(sample * 255);
    case 2: return static_cast<uint8_t>(sample * 85);
    case 4: return static_cast<uint8_t>(sample * 17);
    case 8: return static_cast<uint8_t>(sample);
    default: return static_cast<uint8_t>((sample * 255 + 32767) / 65535);
    }
}

// One Adam7 pass (or the whole picture): first pixel and step in each direction.
struct Pass {
    uint32_t x0, y0, dx, dy;
};
constexpr Pass Adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass WholePicture = {0, 0, 1, 1};

uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

// Where a row lies, for messages: passNumber 0 for pictures without interlacing.
std::string RowName(size_t passNumber, uint32_t row)
{
    return passNumber == 0 ? "row " + std::to_string(row)
                           : "row " + std::to_string(row) + " of interlace pass " + std::to_string(passNumber);
}

// Converts one unfiltered row of `count` pixels into RGBA pixels of the
// output row, `step` pixels apart.
void ConvertRow(const Contents& contents, const uint8_t* row, uint32_t count, uint8_t* out, size_t step,
                size_t passNumber, uint32_t rowNumber)
{
    const Header& header = contents.header;
    const unsigned depth = header.bitDepth;
    for (uint32_t x = 0; x < count; ++x, out += 4 * step) {
        switch (header.colourType) {
        case Grey: {
            const unsigned grey = SampleAt(row, x, depth);
            const uint8_t level = ToEightBits(grey, depth);
            const bool clear = contents.transparentKey && grey == contents.keySample[0];
            out[0] = out[1] = out[2] = level;
            out[3] = clear ? 0 : 255;
            break;
        }
        case Rgb: {
            bool clear = contents.transparentKey;
            for (unsigned c = 0; c < 3; ++c) {
                const unsigned sample = SampleAt(row, size_t{3} * x + c, depth);
                out[c] = ToEightBits(sample, depth);
                clear = clear && sample == contents.keySample[c];
            }
            out[3] = clear ? 0 : 255;
            break;
        }
        case Indexed: {
            const unsigned index = SampleAt(row, x, depth);
            if (index >= contents.paletteCount)
                throw PngError(RowName(passNumber, rowNumber) + ": palette index " + std::to_string(index) + " beyond the " +
                               std::to_string(contents.paletteCount) + " colours of PLTE");
            std::memcpy(out, contents.palette[index].data(), 4);
            break;
        }
        case GreyAlpha: {
            out[0] = out[1] = out[2] = ToEightBits(SampleAt(row, size_t{2} * x, depth), depth);
            out[3] = ToEightBits(SampleAt(row, size_t{2} * x + 1, depth), depth);
            break;
        }
        default:  // RgbAlpha
            for (unsigned c = 0; c < 4; ++c) out[c] = ToEightBits(SampleAt(row, size_t{4} * x + c, depth), depth);
            break;
        }
    }
}

}  // namespace

bool HasPngSignature(std::span<const uint8_t> bytes)
{
    return bytes.size() >= sizeof Signature && std::equal(Signature, Signature + sizeof Signature, bytes.begin());
}

RgbaImage DecodePng(std::span<const uint8_t> bytes, const PngDecodeOptions& options)
{
    const Contents contents = ReadChunks(bytes, options);
    const Header& header = contents.header;
    const uint64_t bitsPerPixel = uint64_t{header.bitDepth} * static_cast<unsigned>(ChannelsOf(header.colourType));
    const size_t pixelBytes = static_cast<size_t>(std::max<uint64_t>(1, bitsPerPixel / 8));

    const std::span<const Pass> passes = header.interlaced ? std::span<const Pass>(Adam7) : std::span<const Pass>(&WholePicture, 1);
    uint64_t expected = 0;
    for (const Pass& pass : passes) {
        const uint64_t width = PassExtent(header.width, pass.x0, pass.dx);
        const uint64_t height = PassExtent(header.height, pass.y0, pass.dy);
        if (width > 0 && height > 0) expected += height * (1 + (width * bitsPerPixel + 7) / 8);
    }
    if (expected > contents.imageData.size() * MaximumDeflateRatio + 1024)
        throw PngError("image data of " + std::to_string(contents.imageData.size()) + " bytes is far too short for " +
                       Dimensions(header.width, header.height) + " pixels (truncated)");

    RgbaImage image;
    image.width = static_cast<int32_t>(header.width);
    image.height = static_cast<int32_t>(header.height);
    image.pixels.assign(size_t{header.width} * header.height * 4, 0);

    Inflater inflater(contents.imageData);
    const size_t maximumRowBytes = static_cast<size_t>((uint64_t{header.width} * bitsPerPixel + 7) / 8);
    std::vector<uint8_t> row(maximumRowBytes + 1), above(maximumRowBytes);
    for (size_t p = 0; p < passes.size(); ++p) {
        const Pass& pass = passes[p];
        const uint32_t width = PassExtent(header.width, pass.x0, pass.dx);
        const uint32_t height = PassExtent(header.height, pass.y0, pass.dy);
        if (width == 0 || height == 0) continue;  // empty passes store nothing, not even filter bytes
        const size_t rowBytes = static_cast<size_t>((uint64_t{width} * bitsPerPixel + 7) / 8);
        std::fill(above.begin(), above.end(), 0);
        for (uint32_t r = 0; r < height; ++r) {
            const size_t passNumber = header.interlaced ? p + 1 : 0;
            inflater.Read(row.data(), rowBytes + 1);
            if (row[0] > 4) throw PngError(RowName(passNumber, r) + ": unknown filter type " + std::to_string(row[0]));
            Unfilter(row[0], row.data() + 1, above.data(), rowBytes, pixelBytes);
            const uint32_t y = pass.y0 + r * pass.dy;
            uint8_t* out = image.pixels.data() + (size_t{y} * header.width + pass.x0) * 4;
            ConvertRow(contents, row.data() + 1, width, out, pass.dx, passNumber, r);
            std::copy_n(row.data() + 1, rowBytes, above.data());
        }
    }
    inflater.Finish();
    return image;
}
