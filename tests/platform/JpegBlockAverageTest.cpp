// BlockAveragingRowSink (platform/JpegBlockAverage.h), which the WIC build's
// scaled decode rests on: sizes, cut-short edge blocks, rounding, and rows
// out of order.

#include "platform/JpegBlockAverage.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class CollectingSink final : public JpegRowSink {
public:
    bool Begin(int32_t width, int32_t height) noexcept override
    {
        width_ = width;
        height_ = height;
        return acceptBegin_;
    }
    bool Row(int32_t y, const uint8_t* bgr) noexcept override
    {
        rowNumbers_.push_back(y);
        rows_.emplace_back(bgr, bgr + static_cast<size_t>(width_) * 3);
        return true;
    }
    bool acceptBegin_ = true;
    int32_t width_ = -1, height_ = -1;
    std::vector<int32_t> rowNumbers_;
    std::vector<Bytes> rows_;
};

bool Feed(JpegRowSink& sink, int32_t width, int32_t height, const Bytes& bgr)
{
    if (!sink.Begin(width, height)) return false;
    for (int32_t y = 0; y < height; ++y)
        if (!sink.Row(y, bgr.data() + static_cast<size_t>(y) * width * 3)) return false;
    return true;
}

// 5 × 3 pixels by 2: blocks of 2 × 2, 1 × 2 at the right edge, 2 × 1 and
// 1 × 1 along the bottom. Blue counts up, green is constant, red rounds.
TEST(JpegBlockAverageTest, EdgeBlocksAverageThePixelsTheyHave)
{
    const int blue[3][5] = {{0, 10, 20, 30, 40}, {50, 60, 70, 80, 90}, {100, 110, 120, 130, 140}};
    const int red[3][5] = {{0, 1, 0, 0, 7}, {0, 0, 1, 1, 8}, {3, 4, 5, 6, 255}};
    Bytes bgr;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            bgr.push_back(static_cast<uint8_t>(blue[y][x]));
            bgr.push_back(77);
            bgr.push_back(static_cast<uint8_t>(red[y][x]));
        }
    CollectingSink target;
    BlockAveragingRowSink sink(target, 2);
    ASSERT_TRUE(Feed(sink, 5, 3, bgr));
    EXPECT_EQ(target.width_, 3);
    EXPECT_EQ(target.height_, 2);
    EXPECT_EQ(target.rowNumbers_, (std::vector<int32_t>{0, 1}));
    // Blue: (0+10+50+60)/4 = 30, (20+30+70+80)/4 = 50, (40+90)/2 = 65;
    // (100+110)/2 = 105, (120+130)/2 = 125, 140.
    // Red: 1/4 rounds to 0, 2/4 rounds up to 1, 15/2 = 7.5 rounds up to 8;
    // 7/2 to 4, 11/2 to 6, 255.
    const Bytes top{30, 77, 0, 50, 77, 1, 65, 77, 8};
    const Bytes bottom{105, 77, 4, 125, 77, 6, 140, 77, 255};
    ASSERT_EQ(target.rows_.size(), 2u);
    EXPECT_EQ(target.rows_[0], top);
    EXPECT_EQ(target.rows_[1], bottom);
}

TEST(JpegBlockAverageTest, SizesAreTheDecodersScaledSizes)
{
    for (const int factor : {1, 2, 4, 8})
        for (const auto& [width, height] : {std::pair{1, 1}, std::pair{7, 9}, std::pair{16, 8}, std::pair{17, 33}}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height << " / " << factor);
            CollectingSink target;
            BlockAveragingRowSink sink(target, factor);
            ASSERT_TRUE(Feed(sink, width, height, PatternBytes(static_cast<size_t>(width) * height * 3, 7)));
            EXPECT_EQ(target.width_, ScaledJpegSide(width, factor));
            EXPECT_EQ(target.height_, ScaledJpegSide(height, factor));
            EXPECT_EQ(static_cast<int64_t>(target.rows_.size()), target.height_);
        }
}

TEST(JpegBlockAverageTest, FactorOneChangesNothing)
{
    const Bytes bgr = PatternBytes(11 * 5 * 3, 3);
    CollectingSink target;
    BlockAveragingRowSink sink(target, 1);
    ASSERT_TRUE(Feed(sink, 11, 5, bgr));
    Bytes joined;
    for (const Bytes& row : target.rows_) joined.insert(joined.end(), row.begin(), row.end());
    EXPECT_EQ(joined, bgr);
}

TEST(JpegBlockAverageTest, RowsOutOfOrderOrARefusingTargetStop)
{
    const Bytes row(4 * 3, 9);
    {
        CollectingSink target;
        BlockAveragingRowSink sink(target, 2);
        ASSERT_TRUE(sink.Begin(4, 4));
        EXPECT_TRUE(sink.Row(0, row.data()));
        EXPECT_FALSE(sink.Row(2, row.data()));  // a row skipped
    }
    {
        CollectingSink target;
        BlockAveragingRowSink sink(target, 2);
        ASSERT_TRUE(sink.Begin(4, 2));
        EXPECT_TRUE(sink.Row(0, row.data()));
        EXPECT_TRUE(sink.Row(1, row.data()));
        EXPECT_FALSE(sink.Row(2, row.data()));  // beyond the last row
    }
    {
        CollectingSink target;
        target.acceptBegin_ = false;
        BlockAveragingRowSink sink(target, 2);
        EXPECT_FALSE(sink.Begin(4, 4));
    }
    CollectingSink target;
    BlockAveragingRowSink sink(target, 2);
    EXPECT_FALSE(sink.Begin(0, 4));
}

}  // namespace
