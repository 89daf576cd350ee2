#include "imaging/PlacePicture.h"

#include "imaging/PictureLoader.h"
#include "imaging/StretchCopy.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tools/authoring/PictureEntryWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Window-system colour 0x00BBGGRR: red 0x30, green 0x20, blue 0x10.
constexpr uint32_t WindowColour = 0x00102030;
constexpr uint8_t Background[4] = {0x10, 0x20, 0x30, 0x00};  // blue, green, red, alpha in memory
constexpr uint8_t PictureColour[3] = {200, 10, 50};          // blue, green, red

// A 24-bit picture of one colour, zlib-packed so that large ones stay small.
Bytes UniformPicture(int width, int height)
{
    const PictureEntryFields fields = PictureFieldsFor(24, width, height, PictureStorage::Zlib);
    Bytes rows(static_cast<size_t>(fields.stride) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) std::memcpy(rows.data() + y * fields.stride + 3 * x, PictureColour, 3);
    return BuildPictureEntry(fields, {}, rows);
}

bool IsBackground(const DirectBmpControl& buffer, int x, int y)
{
    return std::memcmp(buffer.Rows[y] + 4 * x, Background, 4) == 0;
}

// The smallest rectangle holding every pixel that is not background.
TRect DrawnRect(const DirectBmpControl& buffer)
{
    TRect drawn{buffer.Width, buffer.Height, 0, 0};
    for (int y = 0; y < buffer.Height; ++y)
        for (int x = 0; x < buffer.Width; ++x)
            if (!IsBackground(buffer, x, y)) {
                drawn.left = std::min(drawn.left, x);
                drawn.top = std::min(drawn.top, y);
                drawn.right = std::max(drawn.right, x + 1);
                drawn.bottom = std::max(drawn.bottom, y + 1);
            }
    return drawn;
}

class PlacePictureTest : public testing::Test {
protected:
    void Open(const std::vector<ArchiveEntrySource>& entries)
    {
        ArchiveWriter writer;
        for (const auto& entry : entries) writer.Add(entry);
        ASSERT_EQ(OpenArchiveBytes(archive_, writer.Build()), 0);
    }

    void MakeNextBuffer(int width, int height)
    {
        ASSERT_TRUE(next_.Allocate(width, height, TPixelFormat::Bits32));
        target_.nextBuffer = &next_;
        target_.pictureArea = next_.Bounds;
        target_.screenRect = next_.Bounds;
        target_.windowColour = WindowColour;
    }

    Bytes NextBytes() const
    {
        return Bytes(next_.Bits, next_.Bits + static_cast<size_t>(next_.Pitch) * next_.Height);
    }

    ResArchive archive_;
    DirectBmpControl next_;
    PlacementTarget target_;
};

TEST_F(PlacePictureTest, PicturesAreFittedAndCentred)
{
    struct Case {
        const char* name;
        int width, height;
        TRect pictureArea;
        TRect placed;
    };
    const TRect screen{0, 0, 1024, 768};
    for (const Case& c : {
             // 640 / 480 held as a double, times 768, falls just short of 1024.
             Case{"640x480", 640, 480, screen, {0, 0, 1023, 768}},
             Case{"800x400", 800, 400, screen, {0, 128, 1024, 640}},
             Case{"small pictures are enlarged", 100, 100, screen, {128, 0, 896, 768}},
             Case{"narrowed picture area", 640, 480, {0, 0, 512, 768}, {256, 192, 768, 576}},
         }) {
        SCOPED_TRACE(c.name);
        Open({{ResTagPicture, 7, 0, UniformPicture(c.width, c.height)}});
        MakeNextBuffer(1024, 768);
        target_.pictureArea = c.pictureArea;
        ASSERT_TRUE(PlacePicture(archive_, 7, PlaceMode::Load, target_));
        EXPECT_EQ(DrawnRect(next_), c.placed);
        // Inside, away from the right and bottom edges, the picture's own colour.
        const uint8_t* inside = next_.Rows[c.placed.top] + 4 * c.placed.left;
        EXPECT_EQ(0, std::memcmp(inside, PictureColour, 3));
    }
}

// Pictures of depths the resampling copy cannot read (1, 2, 4, 15, 16 bits)
// are widened on loading, so they show instead of leaving the background.
TEST_F(PlacePictureTest, EveryStoredDepthIsShown)
{
    for (int depth : {1, 2, 4, 8, 15, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        PictureEntryFields fields = PictureFieldsFor(depth, 8, 8, PictureStorage::Raw);
        // Every palette entry and every stored pixel bit pattern is pure white.
        const Bytes palette(static_cast<size_t>(fields.paletteCount) * 4, 0xFF);
        const Bytes rows(static_cast<size_t>(fields.stride) * 8, depth <= 8 ? 0x00 : 0xFF);
        Open({{ResTagPicture, 3, 0, BuildPictureEntry(fields, palette, rows)}});
        MakeNextBuffer(16, 8);
        ASSERT_TRUE(PlacePicture(archive_, 3, PlaceMode::Load, target_));
        EXPECT_EQ(DrawnRect(next_), (TRect{4, 0, 12, 8}));
        EXPECT_EQ(next_.Rows[3][4 * 6 + 2], 0xFF);  // red of a pixel inside the picture
    }
}

TEST_F(PlacePictureTest, BackgroundIsTheWindowColourInPixelOrder)
{
    Open({{ResTagPicture, 1, 0, UniformPicture(800, 400)}});
    MakeNextBuffer(1024, 768);
    ASSERT_TRUE(PlacePicture(archive_, 1, PlaceMode::Load, target_));
    for (int y : {0, 127, 640, 767})
        for (int x : {0, 500, 1023}) EXPECT_TRUE(IsBackground(next_, x, y)) << x << "," << y;
}

TEST_F(PlacePictureTest, EdgesBlendTowardsTheWindowColour)
{
    // Enlarging samples beyond the picture's right and bottom edges; they take
    // the window colour, so no channel leaves the range between the picture's
    // colour and the background (a white edge would lift blue and green).
    Open({{ResTagPicture, 1, 0, UniformPicture(640, 480)}});
    MakeNextBuffer(1024, 768);
    ASSERT_TRUE(PlacePicture(archive_, 1, PlaceMode::Load, target_));
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1023; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t value = next_.Rows[y][4 * x + c];
                ASSERT_GE(value, std::min(PictureColour[c], Background[c])) << x << "," << y;
                ASSERT_LE(value, std::max(PictureColour[c], Background[c])) << x << "," << y;
            }
}

TEST_F(PlacePictureTest, FailuresLeaveTheNextBufferAlone)
{
    PictureEntryFields unknownKind = PictureFieldsFor(24, 4, 4, PictureStorage::Raw);
    unknownKind.storageKind = 4;
    Bytes damagedZlib = UniformPicture(40, 30);
    damagedZlib.resize(damagedZlib.size() - 5);
    Open({{ResTagPicture, 1, 0, BuildPictureEntry(unknownKind, {}, Bytes(64, 1))},
          {ResTagPicture, 2, 0, damagedZlib},
          {ResTagPicture, 3, 0, Bytes(20, 0)}});
    MakeNextBuffer(64, 48);
    const Bytes pattern = PatternBytes(static_cast<size_t>(next_.Pitch) * next_.Height, 3);
    std::memcpy(next_.Bits, pattern.data(), pattern.size());

    for (uint32_t id : {1u, 2u, 3u, 99u}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(PlacePicture(archive_, id, PlaceMode::Load, target_));
        EXPECT_EQ(NextBytes(), pattern);
    }
    // Only a header that cannot be read fails the check.
    EXPECT_TRUE(PlacePicture(archive_, 1, PlaceMode::CheckOnly, target_));
    EXPECT_TRUE(PlacePicture(archive_, 2, PlaceMode::CheckOnly, target_));
    EXPECT_FALSE(PlacePicture(archive_, 3, PlaceMode::CheckOnly, target_));
    EXPECT_EQ(NextBytes(), pattern);
}

TEST_F(PlacePictureTest, MissingGroupOrEntrySetsNotFound)
{
    Open({{ResTagScenario, 1000, 0, Bytes(8, 0)}});
    MakeNextBuffer(16, 16);
    for (PlaceMode mode : {PlaceMode::Load, PlaceMode::CheckOnly}) {
        archive_.lastError = 0;
        EXPECT_FALSE(PlacePicture(archive_, 1, mode, target_));
        EXPECT_EQ(archive_.lastError, ResErrorNotFound);
    }

    Open({{ResTagPicture, 5, 0, UniformPicture(8, 8)}});
    for (PlaceMode mode : {PlaceMode::Load, PlaceMode::CheckOnly}) {
        archive_.lastError = 0;
        EXPECT_FALSE(PlacePicture(archive_, 6, mode, target_));
        EXPECT_EQ(archive_.lastError, ResErrorNotFound);
    }

    ResClose(archive_);
    EXPECT_FALSE(PlacePicture(archive_, 5, PlaceMode::CheckOnly, target_));
    EXPECT_FALSE(PlacePicture(archive_, 5, PlaceMode::Load, target_));
}

// A picture area larger than the screen places the picture partly outside the
// next buffer: what shows is the middle of the picture resampled to its full
// placed size.
TEST_F(PlacePictureTest, PictureReachingOutsideTheBufferIsClipped)
{
    const int width = 32, height = 16;  // a ratio of 2: fitted exactly to 128 × 64
    const Bytes jpeg = EncodeTestJpeg(width, height, GradientBgr(width, height));
    Open({{ResTagPicture, 1, 0, BuildPictureEntry(PictureFieldsFor(24, width, height, PictureStorage::Jpeg), {}, jpeg)}});
    MakeNextBuffer(64, 48);
    target_.pictureArea = TRect{0, 0, 128, 64};
    ASSERT_TRUE(PlacePicture(archive_, 1, PlaceMode::Load, target_));

    DirectBmpControl picture;
    ASSERT_TRUE(LoadPicture(archive_, {0, 0}, picture, PictureDepth::AsStored, PictureParts::Whole, nullptr));
    picture.EdgeColour[1] = Background[2];
    picture.EdgeColour[2] = Background[1];
    picture.EdgeColour[3] = Background[0];
    DirectBmpControl whole;
    ASSERT_TRUE(whole.Allocate(128, 64, TPixelFormat::Bits32));
    whole.Fill(0, 63, ToPixelOrder(WindowColour));
    ASSERT_TRUE(reference::StretchCopy(whole, whole.Bounds, picture, picture.Bounds));
    // Centred: left = (64 - 128) >> 1 = -32, top = (48 - 64) >> 1 = -8.
    for (int y = 0; y < 48; ++y)
        ASSERT_EQ(0, std::memcmp(next_.Rows[y], whole.Rows[y + 8] + 4 * 32, 4 * 64)) << "row " << y;
}

// Resampling into a staging buffer larger than a picture may be is not done:
// the placement is then the background alone. A one-pixel picture fitted to
// an area of 8193 x 8193 would need 268 MB of staging.
TEST_F(PlacePictureTest, StagingOverThePictureLimitLeavesTheBackground)
{
    Open({{ResTagPicture, 1, 0, UniformPicture(1, 1)}});
    MakeNextBuffer(64, 48);
    struct Case {
        int32_t side;
        bool drawn;
    };
    for (const Case& c : {Case{1024, true}, Case{8193, false}}) {
        SCOPED_TRACE(c.side);
        target_.pictureArea = TRect{0, 0, c.side, c.side};
        ASSERT_TRUE(PlacePicture(archive_, 1, PlaceMode::Load, target_));
        int drawn = 0;
        for (int y = 0; y < next_.Height; ++y)
            for (int x = 0; x < next_.Width; ++x) drawn += IsBackground(next_, x, y) ? 0 : 1;
        EXPECT_EQ(drawn, c.drawn ? 64 * 48 : 0);
    }
}

}  // namespace
