#include "imaging/FitRect.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct FitCase {
    const char* name;
    TRect area;
    TRect picture;
    FitSmall small;
    int32_t width;
    int32_t height;
};

class FitRectTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitRectTest, FitsKeepingTheAspectRatio)
{
    const FitCase& c = GetParam();
    EXPECT_EQ(FitRect(c.area, c.picture, c.small), (TRect{0, 0, c.width, c.height}));
}

constexpr TRect kScreen{0, 0, 1024, 768};
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, FitRectTest,
    testing::Values(
        // 640 / 480 as a double is just below 4/3; times 768 in extended
        // precision it stays below 1024 and truncates to 1023.
        FitCase{"FourThirdsFallsShort", kScreen, {0, 0, 640, 480}, FitSmall::Enlarge, 1023, 768},
        FitCase{"WidthLimits", kScreen, {0, 0, 800, 400}, FitSmall::Enlarge, 1024, 512},
        FitCase{"HeightLimits", kScreen, {0, 0, 1000, 800}, FitSmall::Enlarge, 960, 768},
        FitCase{"TenthTruncates", kScreen, {0, 0, 1000, 100}, FitSmall::Enlarge, 1024, 102},
        FitCase{"TallTenth", kScreen, {0, 0, 100, 1000}, FitSmall::Enlarge, 76, 768},
        FitCase{"TwoThirdsFallsShort", kScreen, {0, 0, 512, 768}, FitSmall::Enlarge, 511, 768},
        // Equal ratios: the height limits.
        FitCase{"TieScalesDown", kScreen, {0, 0, 2048, 1536}, FitSmall::Enlarge, 1023, 768},
        FitCase{"TieScalesUp", kScreen, {0, 0, 320, 240}, FitSmall::Enlarge, 1023, 768},
        FitCase{"TieSquare", {0, 0, 100, 100}, {0, 0, 50, 50}, FitSmall::Enlarge, 100, 100},
        // Only sizes count, not positions.
        FitCase{"OffsetRects", {100, 50, 1124, 818}, {10, 20, 650, 500}, FitSmall::Enlarge, 1023, 768},
        // KeepSmall: strictly smaller in both dimensions keeps its size.
        FitCase{"KeepSmall", kScreen, {0, 0, 640, 480}, FitSmall::KeepSmall, 640, 480},
        FitCase{"KeepSmallTinyPicture", kScreen, {0, 0, 1, 1}, FitSmall::KeepSmall, 1, 1},
        FitCase{"KeepSmallNotForEqualHeight", kScreen, {0, 0, 512, 768}, FitSmall::KeepSmall, 511, 768},
        FitCase{"KeepSmallNotForEqualWidth", kScreen, {0, 0, 1024, 384}, FitSmall::KeepSmall, 1024, 384},
        FitCase{"KeepSmallLargerPicture", kScreen, {0, 0, 800, 1000}, FitSmall::KeepSmall, 614, 768},
        // A picture without extent gives an empty size instead of a division by zero.
        FitCase{"ZeroWidth", kScreen, {0, 0, 0, 480}, FitSmall::Enlarge, 0, 0},
        FitCase{"ZeroHeight", kScreen, {0, 0, 640, 0}, FitSmall::Enlarge, 0, 0},
        FitCase{"ZeroBoth", kScreen, {0, 0, 0, 0}, FitSmall::KeepSmall, 0, 0},
        FitCase{"InvertedPicture", kScreen, {640, 0, 0, 480}, FitSmall::Enlarge, 0, 0},
        FitCase{"EmptyArea", {0, 0, 0, 0}, {0, 0, 640, 480}, FitSmall::Enlarge, 0, 0},
        // Extents beyond 32 bits are held at the edge of the range.
        FitCase{"HugeArea", {kMin, kMin, kMax, kMax}, {0, 0, 1, 2}, FitSmall::Enlarge, kMax, kMax}),
    [](const testing::TestParamInfo<FitCase>& info) { return info.param.name; });

}  // namespace
