#include "imaging/Transition.h"

#include "imaging/PixelOperations.h"
#include "tests/support/PixelBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 70;

// A picture of random bytes, the same for the same seed.
void FillFromSeed(DirectBmpControl& buffer, uint32_t seed)
{
    std::mt19937 random(seed);
    FillRandom(buffer, random);
}

// A host on virtual time that counts what the transition asks of it. Loaded
// pictures are random buffers of the host's own.
class FakeHost final : public TransitionHost {
public:
    uint32_t Now() override { return now; }
    void Present(const TRect& screen, const TRect& target) override
    {
        EXPECT_EQ(screen, (TRect{0, 0, kWidth, kHeight}));
        EXPECT_EQ(target, (TRect{0, 0, kWidth, kHeight}));
        ++presents;
    }
    void PresentWholeScreen() override { ++wholePresents; }
    bool LoadNextPicture(int32_t pictureId) override
    {
        loads.push_back(pictureId);
        if (!loadSucceeds) return false;
        Copy(*next, TRect{0, 0, kWidth, kHeight}, loaded, TRect{0, 0, kWidth, kHeight});
        return true;
    }
    void FinishTransition() override { ++finishes; }
    void LevelStored(int32_t level) override { levels.push_back(level); }

    uint32_t now = 0;
    int presents = 0;
    int wholePresents = 0;
    int finishes = 0;
    bool loadSucceeds = true;
    std::vector<int32_t> loads;
    std::vector<int32_t> levels;
    DirectBmpControl* next = nullptr;
    DirectBmpControl loaded;  // the picture LoadNextPicture brings
};

class TransitionTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (DirectBmpControl* buffer : {&screen, &next, &saved, &host.loaded})
            ASSERT_TRUE(buffer->Allocate(kWidth, kHeight, TPixelFormat::Bits32));
        FillFromSeed(screen, 1);
        FillFromSeed(next, 2);
        FillFromSeed(host.loaded, 3);
        FillFromSeed(saved, 4);
        oldPicture = AllBytes(screen);
        newPicture = AllBytes(next);
        buffers = TransitionBuffers{&screen, &next, &saved, all, all};
        host.next = &next;
    }

    bool Start(int16_t kind, int32_t speed, int32_t pictureId = 0)
    {
        return StartTransition(state, buffers, host, kind, speed, pictureId);
    }
    bool StepAt(uint32_t now)
    {
        host.now = now;
        return StepTransition(state, host);
    }
    // A buffer with the old picture and the given content for `next`, to
    // build expected frames with the plain operations.
    void Expected(DirectBmpControl& buffer, const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE(buffer.Allocate(kWidth, kHeight, TPixelFormat::Bits32));
        std::memcpy(buffer.Bits, bytes.data(), bytes.size());
    }

    const TRect all{0, 0, kWidth, kHeight};
    DirectBmpControl screen, next, saved;
    TransitionBuffers buffers;
    TransitionState state;
    FakeHost host;
    std::vector<uint8_t> oldPicture, newPicture;
};

TEST(TransitionDuration, ByKindAndSpeed)
{
    const struct {
        int16_t kind;
        int32_t speed;
        int32_t milliseconds;
    } cases[] = {
        // Fade.
        {1, 0, 1000}, {1, 1, 2000}, {1, 2, 3000}, {1, 3, 5000}, {1, 4, 8000},
        // Rectangle averaging takes as long as the fade.
        {2, 0, 1000}, {2, 1, 2000}, {2, 2, 3000}, {2, 3, 5000}, {2, 4, 8000},
        // The toning fades run three phases and take longer.
        {3, 0, 2000}, {3, 1, 4000}, {3, 2, 6000}, {3, 3, 8000}, {3, 4, 12000},
        {4, 0, 2000}, {4, 1, 4000}, {4, 2, 6000}, {4, 3, 8000}, {4, 4, 12000},
        // Unknown kinds take the fade's times.
        {9, 0, 1000}, {9, 3, 5000}, {-1, 4, 8000},
        // No transition takes no time, nor does a speed outside 0 to 4.
        {0, 0, 0}, {0, 4, 0}, {1, 5, 0}, {3, -1, 0}, {2, 1000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TransitionDuration(c.kind, c.speed), c.milliseconds) << "kind " << c.kind << ", speed " << c.speed;
}

TEST_F(TransitionTest, KindZeroAndUnknownKindsShowTheNextPictureAtOnce)
{
    for (int16_t kind : {int16_t{0}, int16_t{5}, int16_t{-1}}) {
        FillFromSeed(screen, 9);
        EXPECT_FALSE(Start(kind, 2)) << kind;
        EXPECT_EQ(AllBytes(screen), newPicture) << kind;
    }
    EXPECT_EQ(host.finishes, 3);
    EXPECT_EQ(host.wholePresents, 3);
}

TEST_F(TransitionTest, FadeDrawsTheLevelOfTheElapsedTimeAndEndsOnTheNewPicture)
{
    host.now = 1000;
    ASSERT_TRUE(Start(1, 0));
    EXPECT_EQ(AllBytes(saved), oldPicture);

    // 500 ms of 1000: level 128, which blends with weight 129.
    EXPECT_FALSE(StepAt(1500));
    DirectBmpControl expected;
    Expected(expected, oldPicture);
    reference::Blend(expected, all, next, all, 128);
    EXPECT_EQ(AllBytes(screen), AllBytes(expected));
    EXPECT_EQ(host.levels, (std::vector<int32_t>{128}));
    EXPECT_EQ(host.presents, 1);

    // One millisecond later the level is the same: nothing is drawn.
    EXPECT_FALSE(StepAt(1501));
    EXPECT_EQ(host.presents, 1);

    EXPECT_TRUE(StepAt(2000));
    EXPECT_EQ(host.levels.back(), 255);
    EXPECT_EQ(AllBytes(screen), newPicture);
    EXPECT_EQ(host.presents, 2);  // the last frame is presented too
    EXPECT_EQ(host.wholePresents, 1);
    EXPECT_EQ(host.finishes, 0);  // the player finishes, not the transition
}

TEST_F(TransitionTest, FramesDoNotDependOnTheLevelsSkipped)
{
    ASSERT_TRUE(Start(1, 4));
    StepAt(100);
    StepAt(2000);
    StepAt(4000);
    const std::vector<uint8_t> stepped = AllBytes(screen);

    std::memcpy(screen.Bits, oldPicture.data(), oldPicture.size());
    host.now = 0;
    ASSERT_TRUE(Start(1, 4));
    StepAt(4000);
    EXPECT_EQ(AllBytes(screen), stepped);
}

TEST_F(TransitionTest, RectangleAveragingMosaicsTheBlendInTheMiddle)
{
    ASSERT_TRUE(Start(2, 2));
    // trunc(1400 × 16 / 3000) = 7: the blend at level 128 in 64-pixel blocks.
    EXPECT_FALSE(StepAt(1400));
    DirectBmpControl expected;
    Expected(expected, oldPicture);
    reference::Blend(expected, all, next, all, 128);
    reference::Mosaic(expected, all, 64, all, expected);
    EXPECT_EQ(host.levels.back(), 7);
    EXPECT_EQ(AllBytes(screen), AllBytes(expected));

    // Level 2 of the old picture, level 12 of the new one.
    const std::pair<uint32_t, std::pair<bool, int>> steps[] = {{400, {false, 8}}, {2300, {true, 8}}};
    for (const auto& [time, mosaic] : steps) {
        StepAt(time);
        DirectBmpControl from;
        Expected(from, mosaic.first ? newPicture : oldPicture);
        DirectBmpControl frame;
        Expected(frame, oldPicture);
        reference::Mosaic(frame, all, mosaic.second, all, from);
        EXPECT_EQ(AllBytes(screen), AllBytes(frame)) << time;
    }

    const int presentsBefore = host.presents;
    EXPECT_TRUE(StepAt(3000));
    EXPECT_EQ(host.levels.back(), 15);
    EXPECT_EQ(host.presents, presentsBefore);  // level 15 draws no frame of its own
    EXPECT_EQ(AllBytes(screen), newPicture);
}

TEST_F(TransitionTest, SepiaFadeGoesThroughItsThreePhases)
{
    ASSERT_TRUE(Start(4, 0, 1234));
    // The next buffer holds the toned old picture; nothing was loaded yet.
    DirectBmpControl tonedOld;
    Expected(tonedOld, oldPicture);
    ToneGrey(tonedOld, all, SepiaTone);
    EXPECT_EQ(AllBytes(next), AllBytes(tonedOld));
    EXPECT_TRUE(host.loads.empty());

    // Phase 2 at 1000 ms of 2000: level 384; the picture is loaded and toned.
    EXPECT_FALSE(StepAt(1000));
    EXPECT_EQ(host.loads, (std::vector<int32_t>{1234}));
    DirectBmpControl tonedNew;
    Expected(tonedNew, AllBytes(host.loaded));
    ToneGrey(tonedNew, all, SepiaTone);
    DirectBmpControl frame;
    Expected(frame, AllBytes(tonedOld));
    reference::Blend(frame, all, tonedNew, all, 128);
    EXPECT_EQ(AllBytes(screen), AllBytes(frame));

    EXPECT_FALSE(StepAt(1001));  // same phase: no second load
    EXPECT_EQ(host.loads.size(), 1u);

    // Phase 3 loads the picture again, in colour, and ends on it.
    EXPECT_TRUE(StepAt(2000));
    EXPECT_EQ(host.loads, (std::vector<int32_t>{1234, 1234}));
    EXPECT_EQ(AllBytes(screen), AllBytes(host.loaded));
}

TEST_F(TransitionTest, MonochromeJumpFromPhaseOneToThreeSkipsThePhaseTwoWork)
{
    ASSERT_TRUE(Start(3, 1, 55));  // 4000 ms
    EXPECT_FALSE(StepAt(100));
    // 3000 ms: level 576, phase 3; the saved buffer takes the toned old
    // picture and phase 3 blends from it to the new picture.
    EXPECT_FALSE(StepAt(3000));
    EXPECT_EQ(host.loads, (std::vector<int32_t>{55}));
    DirectBmpControl tonedOld;
    Expected(tonedOld, oldPicture);
    ToneGrey(tonedOld, all, MonochromeTone);
    EXPECT_EQ(AllBytes(saved), AllBytes(tonedOld));
    DirectBmpControl frame;
    Expected(frame, AllBytes(tonedOld));
    reference::Blend(frame, all, host.loaded, all, 576 - 512);
    EXPECT_EQ(AllBytes(screen), AllBytes(frame));
}

TEST_F(TransitionTest, FailedLoadEndsOnTheTonedOldPicture)
{
    host.loadSucceeds = false;
    ASSERT_TRUE(Start(3, 0, 55));
    EXPECT_TRUE(StepAt(5000));
    DirectBmpControl tonedOld;
    Expected(tonedOld, oldPicture);
    ToneGrey(tonedOld, all, MonochromeTone);
    EXPECT_EQ(AllBytes(screen), AllBytes(tonedOld));
}

TEST_F(TransitionTest, DurationZeroFinishesOnTheFirstStep)
{
    for (int16_t kind = 1; kind <= 4; ++kind) {
        std::memcpy(screen.Bits, oldPicture.data(), oldPicture.size());
        std::memcpy(next.Bits, newPicture.data(), newPicture.size());
        host.now = 50;
        ASSERT_TRUE(Start(kind, 9, 1)) << kind;
        EXPECT_TRUE(StepAt(50)) << kind;
        EXPECT_EQ(host.levels.back(), TransitionLastLevel(kind)) << kind;
        EXPECT_EQ(AllBytes(screen), kind >= 3 ? AllBytes(host.loaded) : newPicture) << kind;
    }
}

TEST_F(TransitionTest, LevelsSurviveTheClockWrapAndLongStalls)
{
    host.now = 0xFFFFFF00u;
    ASSERT_TRUE(Start(1, 0));
    EXPECT_FALSE(StepAt(0xFFFFFF00u + 500));
    EXPECT_EQ(host.levels.back(), 128);
    EXPECT_FALSE(StepAt(344));  // 600 ms after the start, across the wrap
    EXPECT_EQ(host.levels.back(), 153);
    EXPECT_TRUE(StepAt(0xFFFFFF00u + 0xFFFFFFF0u));  // a stall of 49 days
    EXPECT_EQ(host.levels.back(), 255);
}

}  // namespace
