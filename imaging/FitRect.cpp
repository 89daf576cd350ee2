#include "imaging/FitRect.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// trunc of an extended product, held inside the 32-bit range of a TRect.
int32_t TruncatedEdge(long double value)
{
    const long double truncated = std::trunc(value);
    if (!(truncated > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (truncated >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(truncated);
}

int32_t ClampedEdge(int64_t value)
{
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

}  // namespace

TRect FitRect(const TRect& area, const TRect& picture, FitSmall small)
{
    const int64_t areaWidth = area.Width();
    const int64_t areaHeight = area.Height();
    const int64_t pictureWidth = picture.Width();
    const int64_t pictureHeight = picture.Height();

    // A picture without extent has no aspect ratio to keep.
    if (pictureWidth <= 0 || pictureHeight <= 0) return TRect{};

    if (small == FitSmall::KeepSmall && pictureWidth < areaWidth && pictureHeight < areaHeight)
        return TRect{0, 0, ClampedEdge(pictureWidth), ClampedEdge(pictureHeight)};

    // The ratios are compared as doubles; the chosen ratio is held as a double
    // and multiplied in extended precision, then truncated, so that 640 × 480
    // in 1024 × 768 comes out 1023 wide, not 1024.
    const double widthRatio = static_cast<double>(areaWidth) / static_cast<double>(pictureWidth);
    const double heightRatio = static_cast<double>(areaHeight) / static_cast<double>(pictureHeight);
    if (widthRatio >= heightRatio) {
        const double aspect = static_cast<double>(pictureWidth) / static_cast<double>(pictureHeight);
        const int32_t width = TruncatedEdge(static_cast<long double>(areaHeight) * static_cast<long double>(aspect));
        return TRect{0, 0, width, ClampedEdge(areaHeight)};
    }
    const double aspect = static_cast<double>(pictureHeight) / static_cast<double>(pictureWidth);
    const int32_t height = TruncatedEdge(static_cast<long double>(areaWidth) * static_cast<long double>(aspect));
    return TRect{0, 0, ClampedEdge(areaWidth), height};
}
