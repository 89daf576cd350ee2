#include "scenario/TextBanner.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/StretchCopy.h"

#include <algorithm>

namespace {

std::unique_ptr<TMemoryBitmap> NewBanner(int64_t width, int64_t height)
{
    return std::make_unique<TMemoryBitmap>(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                           TPixelFormat::Bits32);
}

void FillWithFormColour(DirectBmpControl& buffer, uint32_t formColour)
{
    buffer.Fill(0, buffer.Height - 1, ToPixelOrder(formColour));
}

// The message four times as large, then shrunk onto the banner: the area
// averaging turns every banner pixel into the mean of a 4 × 4 block.
bool DrawLargeAndShrink(TMemoryBitmap& banner, std::string_view message, int32_t points, uint32_t formColour,
                        uint32_t fontColour, TextRenderer& text)
{
    const int64_t largeWidth = int64_t{banner.Width()} * BannerScale;
    const int64_t largeHeight = int64_t{banner.Height()} * BannerScale;
    if (largeWidth > MaximumBufferDimension || largeHeight > MaximumBufferDimension) return false;

    TMemoryBitmap large(static_cast<int32_t>(largeWidth), static_cast<int32_t>(largeHeight), TPixelFormat::Bits32);
    DirectBmpControl largeBuffer;
    if (!largeBuffer.AttachBitmap(&large, 0, large.Height() - 1)) return false;
    FillWithFormColour(largeBuffer, formColour);
    text.Draw(large, BannerMargin * BannerScale, BannerMargin * BannerScale, message, points * BannerScale,
              fontColour);

    DirectBmpControl bannerBuffer;
    if (!bannerBuffer.AttachBitmap(&banner, 0, banner.Height() - 1)) return false;
    return StretchCopy(bannerBuffer, bannerBuffer.Bounds, largeBuffer, largeBuffer.Bounds);
}

void DrawDirectly(TMemoryBitmap& banner, std::string_view message, int32_t points, uint32_t formColour,
                  uint32_t fontColour, TextRenderer& text)
{
    DirectBmpControl buffer;
    if (buffer.AttachBitmap(&banner, 0, banner.Height() - 1)) FillWithFormColour(buffer, formColour);
    text.Draw(banner, BannerMargin, BannerMargin, message, points, fontColour);
}

}  // namespace

int32_t BannerLimitWidth(int32_t clientWidth)
{
    if (clientWidth < 0) return 0;
    return std::min(clientWidth / 2, BannerMaximumWidth);
}

int32_t ChooseBannerPoints(std::string_view message, int32_t limitWidth, TextRenderer& text)
{
    int32_t points = BannerStartPoints;
    while (text.Measure(message, points).width > limitWidth && points > BannerSmallestPoints)
        points -= BannerPointsStep;
    return points;
}

std::unique_ptr<TMemoryBitmap> MakeTextBanner(std::string_view message, int clientWidth, uint32_t formColour,
                                              uint32_t fontColour, TextRenderer& text)
{
    const int32_t limitWidth = BannerLimitWidth(clientWidth);
    std::unique_ptr<TMemoryBitmap> banner = NewBanner(limitWidth, BannerLimitHeight);
    const int32_t points = ChooseBannerPoints(message, limitWidth, text);

    bool smoothed = false;
    try {
        const TextExtent extent = text.Measure(message, points);
        const int64_t width = int64_t{std::max(extent.width, 0)} + 2 * BannerMargin;
        const int64_t height = int64_t{std::max(extent.height, 0)} + 2 * BannerMargin;
        // A text this large cannot be a line of a real font; it would only
        // make an enormous bitmap. The banner keeps its first size then.
        if (width <= MaximumBufferDimension && height <= MaximumBufferDimension) {
            banner = NewBanner(width, height);
            smoothed = DrawLargeAndShrink(*banner, message, points, formColour, fontColour, text);
        }
    } catch (...) {
        smoothed = false;
    }
    if (!smoothed) DrawDirectly(*banner, message, points, formColour, fontColour, text);
    return banner;
}
