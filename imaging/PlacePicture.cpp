#include "imaging/PlacePicture.h"

#include "imaging/FitRect.h"
#include "imaging/PictureLoader.h"
#include "imaging/StretchCopy.h"

#include <algorithm>
#include <limits>

namespace {

bool FitsInt32(int64_t value)
{
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

bool Inside(const TRect& rect, const TRect& bounds)
{
    return rect.left >= bounds.left && rect.top >= bounds.top && rect.right <= bounds.right &&
           rect.bottom <= bounds.bottom;
}

// The resampled picture where the placed rectangle reaches outside the next
// buffer (a picture area larger than the screen): resampled whole into a
// buffer of its own size, then copied in clipped, so that the visible part has
// exactly the pixels an unclipped resample would give. A picture too large to
// stage (beyond the buffer dimensions, or a staging buffer over the memory a
// picture may take) is not drawn; the background stays.
void StretchClipped(DirectBmpControl& next, const TRect& placed, const DirectBmpControl& picture, uint32_t background)
{
    const TRect visible{std::max(placed.left, 0), std::max(placed.top, 0), std::min(placed.right, next.Width),
                        std::min(placed.bottom, next.Height)};
    if (visible.Width() <= 0 || visible.Height() <= 0) return;
    if (placed.Width() > MaximumBufferDimension || placed.Height() > MaximumBufferDimension) return;
    if (!PictureWithinMemoryLimit(static_cast<uint64_t>(placed.Width()), static_cast<uint64_t>(placed.Height())))
        return;
    DirectBmpControl staging;
    if (!staging.Allocate(static_cast<int32_t>(placed.Width()), static_cast<int32_t>(placed.Height()), PixelFormatOfBits(next.BitsPerPixel)))
        return;
    staging.Fill(0, staging.Height - 1, background);  // what the resample leaves alone stays as in the direct path
    if (!StretchCopy(staging, staging.Bounds, picture, picture.Bounds)) return;
    Copy(next, placed, staging, staging.Bounds);
}

// The resampling copy reads 8-, 24- and 32-bit pictures; the other depths
// are widened to 32 bits on loading, or they would never be shown.
PictureDepth DepthForResampling(const PictureHeader& header)
{
    const bool resamplable = header.depth == 8 || header.depth == 24 || header.depth == 32;
    return resamplable ? PictureDepth::AsStored : PictureDepth::Force32;
}

}  // namespace

bool PlacePicture(ResArchive& archive, uint32_t pictureId, PlaceMode mode, const PlacementTarget& target)
{
    DirectBmpControl picture;
    if (!archive.hasIndex) return false;

    const ResEntryLocation found = ResLocateEntry(archive, ResTagPicture, pictureId);
    if (!found.Found()) return false;

    if (mode == PlaceMode::CheckOnly) {
        uint8_t header[PictureHeaderSize];
        return ResReadAt(archive, found.group, found.entry, 0, header, PictureHeaderSize) == PictureHeaderSize;
    }

    if (target.nextBuffer == nullptr) return false;
    DirectBmpControl& next = *target.nextBuffer;
    const PictureLocator locator{found.group, found.entry};
    uint8_t header[PictureHeaderSize];
    if (!LoadPicture(archive, locator, picture, PictureDepth::AsStored, PictureParts::HeaderOnly, header))
        return false;
    if (!LoadPicture(archive, locator, picture, DepthForResampling(PictureHeader::Parse(header)), PictureParts::Whole,
                     nullptr))
        return false;  // the next buffer keeps the previous picture

    // Every picture is scaled, up or down, until it touches the area in one
    // dimension, then centred in the screen rectangle (shifts are arithmetic:
    // a picture wider than the screen starts left of it).
    const TRect fitted = FitRect(target.pictureArea, picture.Bounds, FitSmall::Enlarge);
    const TRect& screen = target.screenRect;
    const int64_t left = screen.left + ((screen.Width() - fitted.Width()) >> 1);
    const int64_t top = screen.top + ((screen.Height() - fitted.Height()) >> 1);
    const int64_t right = left + fitted.Width();
    const int64_t bottom = top + fitted.Height();

    const uint32_t background = ToPixelOrder(target.windowColour);
    next.Fill(0, next.Height - 1, background);
    // Samples beyond the picture's right and bottom edges blend with the
    // background instead of white.
    picture.EdgeColour[1] = static_cast<uint8_t>(target.windowColour);        // red
    picture.EdgeColour[2] = static_cast<uint8_t>(target.windowColour >> 8);   // green
    picture.EdgeColour[3] = static_cast<uint8_t>(target.windowColour >> 16);  // blue

    if (!FitsInt32(left) || !FitsInt32(top) || !FitsInt32(right) || !FitsInt32(bottom)) return true;
    const TRect placed{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                       static_cast<int32_t>(bottom)};
    if (Inside(placed, next.Bounds))
        StretchCopy(next, placed, picture, picture.Bounds);
    else
        StretchClipped(next, placed, picture, background);
    return true;
}
