#include "platform/JpegDecoder.h"

#include "platform/Stream.h"

#include <cstring>
#include <new>

namespace {

// Collects the rows into a bitmap of the frame's size.
class BitmapRowSink final : public JpegRowSink {
public:
    bool Begin(int32_t width, int32_t height) noexcept override
    {
        try {
            bitmap_ = std::make_unique<TMemoryBitmap>(width, height, TPixelFormat::Bits24,
                                                      TMemoryBitmap::RowOrder::TopDown);
            return true;
        } catch (...) {
            return false;
        }
    }
    bool Row(int32_t y, const uint8_t* bgr) noexcept override
    {
        std::memcpy(bitmap_->ScanLine(y), bgr, static_cast<size_t>(bitmap_->Width()) * 3);
        return true;
    }
    std::unique_ptr<TBitmap> Take() { return std::move(bitmap_); }

private:
    std::unique_ptr<TMemoryBitmap> bitmap_;
};

}  // namespace

std::unique_ptr<TBitmap> DecodeJpeg(TStream& stream, const JpegLimits& limits, JpegFrameDimensions* frame)
{
    BitmapRowSink sink;
    if (!DecodeJpegRows(stream, limits, frame, sink)) return nullptr;
    return sink.Take();
}

bool JpegScaleDenominatorAccepted(int scaleDenominator)
{
    return scaleDenominator == 1 || scaleDenominator == 2 || scaleDenominator == 4 || scaleDenominator == 8;
}

int JpegScaleDenominatorFor(int64_t frameWidth, int64_t frameHeight, int64_t neededWidth, int64_t neededHeight)
{
    if (frameWidth <= 0 || frameHeight <= 0 || neededWidth <= 0 || neededHeight <= 0) return 1;
    for (const int denominator : {8, 4, 2})
        if (frameWidth / denominator >= neededWidth && frameHeight / denominator >= neededHeight) return denominator;
    return 1;
}

bool JpegFrameAccepted(uint64_t width, uint64_t height, const JpegLimits& limits, int scaleDenominator)
{
    if (!JpegScaleDenominatorAccepted(scaleDenominator)) return false;
    const uint64_t largest = static_cast<uint64_t>(MaximumJpegDimension);
    if (width == 0 || height == 0 || width > largest || height > largest) return false;
    if ((limits.width != 0 || limits.height != 0) &&
        (width != static_cast<uint64_t>(limits.width) || height != static_cast<uint64_t>(limits.height)))
        return false;
    // The output rows of 3 bytes a pixel, padded to 4 bytes as TMemoryBitmap pads them.
    const uint64_t outputWidth = static_cast<uint64_t>(ScaledJpegSide(static_cast<int64_t>(width), scaleDenominator));
    const uint64_t outputHeight = static_cast<uint64_t>(ScaledJpegSide(static_cast<int64_t>(height), scaleDenominator));
    const uint64_t outputBytes = (outputWidth * 3 + 3) / 4 * 4 * outputHeight;
    return limits.maximumBytes == 0 || outputBytes <= limits.maximumBytes;
}

std::unique_ptr<unsigned char[]> ReadJpegBytes(TStream& stream, size_t* size)
{
    *size = 0;
    const int64_t start = stream.Position();
    const int64_t end = stream.Seek(int64_t{0}, SeekOrigin::End);
    if (start < 0 || end <= start || stream.Seek(start, SeekOrigin::Beginning) != start) return nullptr;
    const int64_t length = end - start;
    if (static_cast<uint64_t>(length) > SIZE_MAX) return nullptr;

    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[static_cast<size_t>(length)]);
    if (!bytes) return nullptr;
    int64_t got = 0;
    while (got < length) {
        const int64_t read = stream.Read(bytes.get() + got, length - got);
        if (read < 0) return nullptr;
        if (read == 0) break;  // the rest decodes as damaged data
        got += read;
    }
    if (got == 0) return nullptr;
    *size = static_cast<size_t>(got);
    return bytes;
}
