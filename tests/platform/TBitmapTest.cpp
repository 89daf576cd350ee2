#include "platform/TBitmap.h"

#include <gtest/gtest.h>

namespace {

TEST(PixelFormatOfBits, GivesBackTheDepthOfEveryFormatAndCustomForOthers)
{
    for (const int bits : {1, 4, 8, 15, 16, 24, 32}) EXPECT_EQ(BitsPerPixelOf(PixelFormatOfBits(bits)), bits) << bits;
    for (const int bits : {0, 2, 12, 48, 64, -8}) EXPECT_EQ(PixelFormatOfBits(bits), TPixelFormat::Custom) << bits;
}

}  // namespace
