#include "tools/authoring/PhotoSource.h"

#include "imaging/PictureLoader.h"
#include "platform/JpegDecoder.h"
#include "platform/JpegEncoder.h"
#include "platform/PictureOrientation.h"
#include "platform/Stream.h"
#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/PictureSource.h"
#if KAMISHIBAI_HAVE_WEBP
#include "tools/authoring/WebpPicture.h"
#endif

#include <cmath>
#include <string>

namespace {

uint32_t ReadBe32(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

std::string SizeText(PictureSize size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

PictureSize Swapped(PictureSize size)
{
    return {size.height, size.width};
}

// The size the picture is stored at: within maxSize, and within what the
// saver loads (a picture over it is shrunk until it fits).
PictureSize TargetSize(PictureSize upright, const std::optional<PictureSize>& maxSize)
{
    PictureSize target = maxSize ? FitWithin(upright, *maxSize) : upright;
    while (!PictureWithinMemoryLimit(static_cast<uint64_t>(target.width), static_cast<uint64_t>(target.height))) {
        const long double excess = static_cast<long double>(PictureBytes(static_cast<uint64_t>(target.width),
                                                                          static_cast<uint64_t>(target.height))) /
                                   static_cast<long double>(MaximumPictureBytes);
        const long double factor = 0.999L / std::sqrt(excess);
        const PictureSize box{static_cast<int32_t>(static_cast<long double>(target.width) * factor),
                              static_cast<int32_t>(static_cast<long double>(target.height) * factor)};
        target = FitWithin(upright, box);
    }
    return target;
}

// The largest DCT scaling (1/2, 1/4, 1/8) that still leaves at least the
// target size; 1 when the frame is less than twice the target.
int ScaleDenominatorFor(PictureSize frame, PictureSize target)
{
    for (const int denominator : {8, 4, 2}) {
        const int32_t width = (frame.width + denominator - 1) / denominator;
        const int32_t height = (frame.height + denominator - 1) / denominator;
        if (width >= target.width && height >= target.height) return denominator;
    }
    return 1;
}

// Decoded rows go straight into an area-averaging shrink to the target.
class ShrinkingSink final : public JpegRowSink {
public:
    explicit ShrinkingSink(PictureSize target) : target_(target) {}

    bool Begin(int32_t width, int32_t height) noexcept override
    {
        try {
            const PictureSize target{std::min(target_.width, width), std::min(target_.height, height)};
            shrinker_.emplace(PictureSize{width, height}, target);
            return true;
        } catch (...) {
            return false;
        }
    }
    bool Row(int32_t, const uint8_t* bgr) noexcept override
    {
        try {
            shrinker_->AddRowBgr(bgr);
            return true;
        } catch (...) {
            return false;
        }
    }
    RgbaImage Finish() { return shrinker_->Finish(); }

private:
    PictureSize target_;
    std::optional<AreaShrinker> shrinker_;
};

// Proves that the decoder takes the whole stream, without its pixel memory:
// at 1/8 scale every coded block is still read.
class DiscardingSink final : public JpegRowSink {
public:
    bool Begin(int32_t, int32_t) noexcept override { return true; }
    bool Row(int32_t, const uint8_t*) noexcept override { return true; }
};

// Whether a JPEG stream holds its end-of-image marker after the start of its
// first scan: the segments before the scan are stepped over by their
// lengths (an Exif thumbnail in them has an end marker of its own), and in
// the scan data a 0xFF byte is followed by 0x00 or a restart marker, so
// 0xFF 0xD9 there is the real end. A file cut short has none; the decoder
// would fill the missing part with grey, and on Windows nothing would say so.
bool JpegStreamComplete(std::span<const uint8_t> jpeg)
{
    size_t position = 2;  // after the start-of-image marker
    while (position + 4 <= jpeg.size()) {
        if (jpeg[position] != 0xFF) return false;
        const uint8_t marker = jpeg[position + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++position;
            continue;
        }
        const size_t length = size_t{jpeg[position + 2]} << 8 | jpeg[position + 3];
        if (length < 2) return false;
        position += 2 + length;
        if (marker == 0xDA) break;  // start of scan: its data follows the header
    }
    for (size_t i = position; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xD9) return true;
    return false;
}

[[noreturn]] void JpegDecodeFailed(const JpegFrameDimensions& frame)
{
    if (frame.width > 0 && frame.height > 0 &&
        !PictureWithinMemoryLimit(static_cast<uint64_t>(frame.width), static_cast<uint64_t>(frame.height)))
        throw PictureSourceError("the JPEG picture is " + std::to_string(frame.width) + " x " +
                                 std::to_string(frame.height) + " pixels: more than the decoder takes");
    throw PictureSourceError("JPEG data is damaged or of a kind that cannot be decoded");
}

PictureSize JpegFrame(std::span<const uint8_t> file)
{
    if (!JpegStreamComplete(file)) throw PictureSourceError("the JPEG file ends before its picture does (truncated)");
    try {
        const JpegFrameSize frame = ReadJpegFrameSize(file);
        return {frame.width, frame.height};
    } catch (const ArchiveBuildError& error) {
        throw PictureSourceError(std::string("JPEG: ") + error.what());
    }
}

// The saver's memory bound; and what the saver would show with grey filled
// in is refused, so that a damaged photo is named rather than packed.
JpegLimits DamageRefusingLimits()
{
    JpegLimits limits{0, 0, MaximumPictureBytes};
    limits.refuseDamagedData = true;
    return limits;
}

// A JPEG decoded and shrunk to target (in the file's own orientation).
RgbaImage DecodeJpegShrunk(std::span<const uint8_t> file, PictureSize frame, PictureSize target)
{
    TBytesStream stream(file.data(), static_cast<int64_t>(file.size()));
    ShrinkingSink sink(target);
    JpegFrameDimensions decoded;
    if (!DecodeJpegRowsScaled(stream, DamageRefusingLimits(), ScaleDenominatorFor(frame, target), &decoded, sink))
        JpegDecodeFailed(decoded);
    return sink.Finish();
}

void CheckJpegDecodes(std::span<const uint8_t> file)
{
    TBytesStream stream(file.data(), static_cast<int64_t>(file.size()));
    DiscardingSink sink;
    JpegFrameDimensions decoded;
    if (!DecodeJpegRowsScaled(stream, DamageRefusingLimits(), 8, &decoded, sink))
        JpegDecodeFailed(decoded);
}

void CompositeOverBlack(RgbaImage& image)
{
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        const unsigned alpha = image.pixels[i + 3];
        if (alpha == 255) continue;
        for (size_t c = 0; c < 3; ++c)
            image.pixels[i + c] = static_cast<uint8_t>((image.pixels[i + c] * alpha + 127) / 255);
        image.pixels[i + 3] = 255;
    }
}

PictureSize SizeOf(const RgbaImage& image)
{
    return {image.width, image.height};
}

// A decoded picture turned upright and shrunk to target (upright size).
RgbaImage UprightAndFitted(RgbaImage image, PhotoOrientation orientation, PictureSize target)
{
    const PictureSize storedTarget = OrientationSwapsSides(orientation) ? Swapped(target) : target;
    if (storedTarget != SizeOf(image)) {
        CompositeOverBlack(image);  // before averaging, so that hidden colours do not show
        image = ShrinkAreaAverage(image, storedTarget);
    }
    return OrientPicture(std::move(image), orientation);
}

}  // namespace

std::span<const uint8_t> PngExifBlock(std::span<const uint8_t> png)
{
    size_t position = 8;  // after the signature
    while (position <= png.size() && png.size() - position >= 12) {
        const uint32_t length = ReadBe32(png.data() + position);
        const uint8_t* type = png.data() + position + 4;
        if (length > png.size() - position - 12) break;
        if (type[0] == 'e' && type[1] == 'X' && type[2] == 'I' && type[3] == 'f')
            return png.subspan(position + 8, length);
        if (type[0] == 'I' && type[1] == 'E' && type[2] == 'N' && type[3] == 'D') break;
        position += size_t{12} + length;
    }
    return {};
}

PhotoOrientation PictureFileOrientation(std::span<const uint8_t> file)
{
    switch (PictureFileKindOf(file)) {
    case PictureFileKind::Jpeg: return PhotoOrientationFromExif(ReadJpegOrientation(file));
    case PictureFileKind::Png: {
        const std::span<const uint8_t> exif = PngExifBlock(file);
        return exif.empty() ? PhotoOrientation::Upright : PhotoOrientationFromExif(ReadExifBlockOrientation(exif));
    }
    case PictureFileKind::Webp: {
#if KAMISHIBAI_HAVE_WEBP
        const std::span<const uint8_t> exif = WebpExifBlock(file);
        return exif.empty() ? PhotoOrientation::Upright : PhotoOrientationFromExif(ReadExifBlockOrientation(exif));
#else
        break;
#endif
    }
    // libheif turns the picture by the file's own irot and imir while
    // decoding; the Exif orientation a HEIC also carries describes that same
    // turn, so applying it as well would turn the photo twice.
    case PictureFileKind::Heif: break;
    case PictureFileKind::Unknown: break;
    }
    return PhotoOrientation::Upright;
}

RgbaImage LoadUprightPicture(std::span<const uint8_t> file, std::optional<PictureSize> maxSize)
{
    const PhotoOrientation orientation = PictureFileOrientation(file);
    if (PictureFileKindOf(file) == PictureFileKind::Jpeg && maxSize) {
        const PictureSize frame = JpegFrame(file);
        const PictureSize upright = OrientationSwapsSides(orientation) ? Swapped(frame) : frame;
        const PictureSize target = FitWithin(upright, *maxSize);
        if (target != upright) {
            const PictureSize storedTarget = OrientationSwapsSides(orientation) ? Swapped(target) : target;
            return OrientPicture(DecodeJpegShrunk(file, frame, storedTarget), orientation);
        }
    }
    RgbaImage image = DecodePictureSource(file);
    if (orientation == PhotoOrientation::Upright && !maxSize) return image;
    const PictureSize upright =
        OrientationSwapsSides(orientation) ? Swapped(SizeOf(image)) : SizeOf(image);
    return UprightAndFitted(std::move(image), orientation, maxSize ? FitWithin(upright, *maxSize) : upright);
}

PreparedPhoto PreparePhoto(std::span<const uint8_t> file, const PhotoOptions& options)
{
    PreparedPhoto photo;
    photo.orientation = PictureFileOrientation(file);
    const bool swaps = OrientationSwapsSides(photo.orientation);

    RgbaImage picture;
    if (PictureFileKindOf(file) == PictureFileKind::Jpeg) {
        const PictureSize frame = JpegFrame(file);
        photo.upright = swaps ? Swapped(frame) : frame;
        photo.size = TargetSize(photo.upright, options.maxSize);
        if (photo.orientation == PhotoOrientation::Upright && photo.size == photo.upright) {
            CheckJpegDecodes(file);
            photo.jpeg.assign(file.begin(), file.end());
            photo.keptAsIs = true;
            return photo;
        }
        picture = OrientPicture(DecodeJpegShrunk(file, frame, swaps ? Swapped(photo.size) : photo.size),
                                photo.orientation);
    } else {
        RgbaImage decoded = DecodePictureSource(file);
        photo.upright = swaps ? Swapped(SizeOf(decoded)) : SizeOf(decoded);
        photo.size = TargetSize(photo.upright, options.maxSize);
        CompositeOverBlack(decoded);
        picture = UprightAndFitted(std::move(decoded), photo.orientation, photo.size);
    }
    if (SizeOf(picture) != photo.size)
        throw PictureSourceError("turned and shrunk to " + SizeText(SizeOf(picture)) + " instead of " +
                                 SizeText(photo.size));
    std::optional<std::vector<uint8_t>> encoded = EncodeJpeg(picture.pixels.data(), picture.width, picture.height,
                                                             static_cast<size_t>(picture.width) * 4, options.quality);
    if (!encoded) throw PictureSourceError("the JPEG encoder refused the " + SizeText(photo.size) + " picture");
    photo.jpeg = std::move(*encoded);
    return photo;
}
