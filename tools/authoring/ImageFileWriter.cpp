#include "tools/authoring/ImageFileWriter.h"

#include "platform/FileReplace.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/PngPaeth.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

// Receives the encoded file piece by piece.
using ByteSink = std::function<void(const uint8_t* bytes, size_t length)>;

// PNG stores its numbers big-endian.
void PutBe32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// name: the file's name and ": ", or nothing when encoding into memory.
void CheckBuffer(const DirectBmpControl& buffer, const std::string& name)
{
    if (buffer.BitsPerPixel != 32 || buffer.Rows == nullptr || buffer.Width <= 0 || buffer.Height <= 0)
        throw ImageFileError(name + "only a 32-bit picture of at least 1 x 1 pixels can be written (got " +
                             std::to_string(buffer.Width) + " x " + std::to_string(buffer.Height) + ", " +
                             std::to_string(buffer.BitsPerPixel) + " bits)");
}

void EncodePam(const DirectBmpControl& buffer, const ByteSink& sink)
{
    const std::string header = "P7\nWIDTH " + std::to_string(buffer.Width) + "\nHEIGHT " +
                               std::to_string(buffer.Height) + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    sink(reinterpret_cast<const uint8_t*>(header.data()), header.size());
    const size_t width = static_cast<size_t>(buffer.Width);
    std::vector<uint8_t> row(width * 4);
    for (int32_t y = 0; y < buffer.Height; ++y) {
        const uint8_t* source = buffer.Rows[y];
        for (size_t x = 0; x < width; ++x) {
            row[4 * x] = source[4 * x + 2];
            row[4 * x + 1] = source[4 * x + 1];
            row[4 * x + 2] = source[4 * x];
            row[4 * x + 3] = source[4 * x + 3];
        }
        sink(row.data(), row.size());
    }
}

// PNG row filters over 3-byte pixels.
enum PngFilter : uint8_t { FilterNone, FilterSub, FilterUp, FilterAverage, FilterPaeth, FilterCount };

// Filters one row (RGB bytes) against the row above (zeros for the top row)
// into out[1..], with the filter type in out[0]; returns the sum of the
// filtered bytes taken as signed values, the usual measure of how well the
// row will compress.
uint64_t FilterRow(PngFilter filter, const std::vector<uint8_t>& row, const std::vector<uint8_t>& above,
                   std::vector<uint8_t>& out)
{
    constexpr size_t PixelBytes = 3;
    out[0] = filter;
    uint64_t cost = 0;
    for (size_t i = 0; i < row.size(); ++i) {
        const int left = i >= PixelBytes ? row[i - PixelBytes] : 0;
        const int up = above[i];
        const int upperLeft = i >= PixelBytes ? above[i - PixelBytes] : 0;
        int prediction = 0;
        switch (filter) {
        case FilterNone: prediction = 0; break;
        case FilterSub: prediction = left; break;
        case FilterUp: prediction = up; break;
        case FilterAverage: prediction = (left + up) >> 1; break;
        default: prediction = PaethPredictor(left, up, upperLeft); break;
        }
        const auto value = static_cast<uint8_t>(row[i] - prediction);
        out[i + 1] = value;
        cost += static_cast<uint64_t>(std::abs(static_cast<int>(static_cast<int8_t>(value))));
    }
    return cost;
}

class PngEncoder {
public:
    explicit PngEncoder(const ByteSink& sink) : sink_(sink), output_(IdatSize)
    {
        if (deflateInit(&stream_, Z_DEFAULT_COMPRESSION) != Z_OK)
            throw ImageFileError(std::string("zlib cannot start compressing: ") + (stream_.msg ? stream_.msg : "no memory"));
        stream_.next_out = output_.data();
        stream_.avail_out = static_cast<uInt>(output_.size());
    }
    ~PngEncoder() { deflateEnd(&stream_); }
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    void Encode(const DirectBmpControl& buffer)
    {
        static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        sink_(signature, sizeof signature);

        uint8_t header[13];
        PutBe32(header, static_cast<uint32_t>(buffer.Width));
        PutBe32(header + 4, static_cast<uint32_t>(buffer.Height));
        header[8] = 8;   // bits per channel
        header[9] = 2;   // colour type: RGB
        header[10] = 0;  // deflate
        header[11] = 0;  // adaptive filtering
        header[12] = 0;  // not interlaced
        Chunk("IHDR", header, sizeof header);

        const size_t rowBytes = static_cast<size_t>(buffer.Width) * 3;
        std::vector<uint8_t> row(rowBytes), above(rowBytes, 0), best(rowBytes + 1), candidate(rowBytes + 1);
        for (int32_t y = 0; y < buffer.Height; ++y) {
            const uint8_t* source = buffer.Rows[y];
            for (size_t x = 0; x < static_cast<size_t>(buffer.Width); ++x) {
                row[3 * x] = source[4 * x + 2];
                row[3 * x + 1] = source[4 * x + 1];
                row[3 * x + 2] = source[4 * x];
            }
            uint64_t bestCost = FilterRow(FilterNone, row, above, best);
            for (int filter = FilterSub; filter < FilterCount; ++filter) {
                const uint64_t cost = FilterRow(static_cast<PngFilter>(filter), row, above, candidate);
                if (cost < bestCost) {
                    bestCost = cost;
                    best.swap(candidate);
                }
            }
            Deflate(best.data(), best.size(), Z_NO_FLUSH);
            row.swap(above);
        }
        Deflate(nullptr, 0, Z_FINISH);
        Chunk("IEND", nullptr, 0);
    }

private:
    // IDAT chunks are cut at this size.
    static constexpr size_t IdatSize = 64 * 1024;

    void Chunk(const char type[4], const uint8_t* data, size_t length)
    {
        uint8_t head[8];
        PutBe32(head, static_cast<uint32_t>(length));
        std::copy(type, type + 4, head + 4);
        uLong crc = crc32(0L, head + 4, 4);
        if (length > 0) crc = crc32(crc, data, static_cast<uInt>(length));
        uint8_t tail[4];
        PutBe32(tail, static_cast<uint32_t>(crc));
        sink_(head, sizeof head);
        if (length > 0) sink_(data, length);
        sink_(tail, sizeof tail);
    }

    void FlushIdat()
    {
        const size_t used = output_.size() - stream_.avail_out;
        if (used > 0) Chunk("IDAT", output_.data(), used);
        stream_.next_out = output_.data();
        stream_.avail_out = static_cast<uInt>(output_.size());
    }

    void Deflate(const uint8_t* data, size_t length, int flush)
    {
        stream_.next_in = const_cast<Bytef*>(data);  // zlib's interface is not const; it only reads
        stream_.avail_in = static_cast<uInt>(length);
        for (;;) {
            const int result = deflate(&stream_, flush);
            if (flush == Z_FINISH && result == Z_STREAM_END) break;
            if (result == Z_OK || result == Z_BUF_ERROR) {
                // Z_BUF_ERROR only says that this call had nothing to do,
                // as after output that exactly filled the buffer.
                if (stream_.avail_out == 0) {
                    FlushIdat();
                    continue;
                }
                if (flush != Z_FINISH && stream_.avail_in == 0) break;
                if (result == Z_OK) continue;
            }
            throw ImageFileError(std::string("zlib cannot compress: ") + (stream_.msg ? stream_.msg : "stream error"));
        }
        if (flush == Z_FINISH) FlushIdat();
    }

    const ByteSink& sink_;
    z_stream stream_{};
    std::vector<uint8_t> output_;
};

void Encode(const DirectBmpControl& buffer, ImageFileFormat format, const ByteSink& sink)
{
    CheckBuffer(buffer, "");
    if (format == ImageFileFormat::Pam) {
        EncodePam(buffer, sink);
    } else {
        PngEncoder encoder(sink);
        encoder.Encode(buffer);
    }
}

}  // namespace

std::optional<ImageFileFormat> ImageFileFormatFor(const std::filesystem::path& path)
{
    std::string extension = Utf8FromPath(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (extension == ".png") return ImageFileFormat::Png;
    if (extension == ".pam") return ImageFileFormat::Pam;
    return std::nullopt;
}

std::vector<uint8_t> EncodeImage(const DirectBmpControl& buffer, ImageFileFormat format)
{
    std::vector<uint8_t> bytes;
    Encode(buffer, format, [&bytes](const uint8_t* data, size_t length) { bytes.insert(bytes.end(), data, data + length); });
    return bytes;
}

void WriteImageFile(const std::filesystem::path& path, const DirectBmpControl& buffer, ImageFileFormat format)
{
    CheckBuffer(buffer, Utf8FromPath(path) + ": ");
    FileReplacement file;
    if (!file.Open(path)) throw ImageFileError(file.ErrorText());
    try {
        Encode(buffer, format, [&file](const uint8_t* data, size_t length) {
            if (!file.Write(std::span(data, length))) throw ImageFileError(file.ErrorText());
        });
    } catch (const ImageFileError& error) {
        if (file.Failed()) throw;  // the file's own message names it already
        throw ImageFileError(Utf8FromPath(path) + ": " + error.what());
    }
    if (!file.Commit()) throw ImageFileError(file.ErrorText());
}
