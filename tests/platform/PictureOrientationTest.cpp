// The Exif orientation readers (platform/PictureOrientation.h) against the
// shared fixture table, and bounds: every prefix of a stream is read
// from a buffer of exactly its size, so that a read past the end shows
// under AddressSanitizer.

#include "platform/PictureOrientation.h"

#include "tests/support/ExifFixtures.h"
#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes PlainJpeg()
{
    return EncodeTestJpeg(16, 8, GradientBgr(16, 8));
}

// A copy of the first `size` bytes in a heap block of exactly that size.
std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& bytes, size_t size)
{
    auto copy = std::make_unique<uint8_t[]>(size);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), copy.get());
    return copy;
}

TEST(PictureOrientationTest, JpegStreams)
{
    for (const OrientationCase& c : JpegOrientationCases(PlainJpeg())) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadJpegOrientation(c.bytes), c.expected);
    }
}

TEST(PictureOrientationTest, BareExifBlocks)
{
    for (const OrientationCase& c : ExifBlockOrientationCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadExifBlockOrientation(c.bytes), c.expected);
    }
}

// The segment is read only when all of it is there: every shorter prefix
// reads as upright.
TEST(PictureOrientationTest, JpegCutAtEveryLength)
{
    const Bytes block = MakeExifBlock(ExifOptions(TiffByteOrder::BigEndian, 6));
    const Bytes jpeg = JpegWithExifSegment(PlainJpeg(), block);
    const size_t segmentEnd = 2 + 4 + 6 + block.size();
    for (size_t size = 0; size <= jpeg.size(); ++size) {
        const auto copy = ExactCopy(jpeg, size);
        EXPECT_EQ(ReadJpegOrientation({copy.get(), size}), size >= segmentEnd ? 6 : 1) << size;
    }
}

// A cut block may still give the entry when the cut comes after it; what
// matters is that no prefix is read beyond its end.
TEST(PictureOrientationTest, BlockCutAtEveryLength)
{
    for (const TiffByteOrder order : {TiffByteOrder::LittleEndian, TiffByteOrder::BigEndian}) {
        const Bytes block = MakeExifBlock(ExifOptions(order, 5));
        for (size_t size = 0; size <= block.size(); ++size) {
            const auto copy = ExactCopy(block, size);
            const int orientation = ReadExifBlockOrientation({copy.get(), size});
            EXPECT_TRUE(orientation == 1 || orientation == 5) << size << ": " << orientation;
        }
        EXPECT_EQ(ReadExifBlockOrientation(block), 5);
    }
}

}  // namespace
