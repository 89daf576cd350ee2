#include "scenario/ScenarioPlayer.h"

#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/SlideShowFixtures.h"
#include "tests/support/WaveFiles.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

using Events = std::vector<std::string>;

constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t Green = 0xFF00FF00u;

// Picture 1 with a sound of 2.3 s, a wait of 5 s, picture 2 without sound,
// a wait of 5 s, and back to the start.
std::vector<uint8_t> TwoPictureArchive()
{
    return SlideShowArchive()
        .Scenario({ShowRecord(1, 0, {7}), WaitRecord(5), ShowRecord(2, 0), WaitRecord(5), JumpRecord(0)})
        .Picture(1, 16, 12, Red)
        .Picture(2, 16, 12, Green)
        .Sound(7, 2300)
        .Build();
}

std::vector<std::string> FrameTimes(const SlideShowRig& rig, uint32_t until)
{
    std::vector<std::string> times;
    for (const std::string& line : rig.trace) {
        if (line.find(" frame ") == std::string::npos) continue;
        if (std::stoul(line) > until) break;
        times.push_back(line.substr(0, line.find(' ')));
    }
    return times;
}

TEST(ScenarioPlayer, PictureSoundAndWaitFollowEachOther)
{
    SlideShowRig rig(TwoPictureArchive());
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(10000);
    // The fade of 1000 ms ends at the step at 1020 (elapsed 1010); the sound
    // of 2.3 s holds the next record 3 s, then the wait adds 5 s.
    EXPECT_EQ(rig.Events(), (Events{"10 record 0 5", "10 show 1 1 1 0", "1020 finish", "1020 sound 7 once 2300",
                                    "4020 record 1 0", "9020 record 2 5", "9020 show 2 1 1 0"}));
    // Frames are 48 ms apart at least: on the 10 ms ticks, every 50 ms.
    const std::vector<std::string> frames = FrameTimes(rig, 1020);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], "20");
    EXPECT_EQ(frames[1], "70");
    EXPECT_EQ(frames[2], "120");
    EXPECT_EQ(frames.back(), "1020");
    EXPECT_EQ(rig.sound.calls, (std::vector<std::string>{"stop", "load 7", "play 1"}));
}

TEST(ScenarioPlayer, WithSoundOffThePictureIsFollowedAfterTheFrameInterval)
{
    RigOptions options;
    options.soundOff = true;
    SlideShowRig rig(TwoPictureArchive(), options);
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(1100);
    EXPECT_EQ(rig.Events(), (Events{"10 record 0 5", "10 show 1 1 1 0", "1020 finish", "1070 record 1 0"}));
    EXPECT_TRUE(rig.sound.calls.empty());
}

TEST(ScenarioPlayer, TheClockWrapChangesNothing)
{
    SlideShowRig plain(TwoPictureArchive());
    RigOptions options;
    options.clockStart = 0xFFFFFFFFu - 4000;
    SlideShowRig wrapping(TwoPictureArchive(), options);
    ASSERT_TRUE(plain.Open());
    ASSERT_TRUE(wrapping.Open());
    plain.RunUntil(30000);
    wrapping.RunUntil(30000);
    EXPECT_EQ(wrapping.trace, plain.trace);
}

TEST(ScenarioPlayer, WaitsComeFromTheRecordOrTheSettings)
{
    struct Case {
        const char* name;
        ScenarioRecord wait;
        int16_t userWait;
        const char* nextRecordAt;
    };
    const Case cases[] = {
        {"3 s replaces a delay of 5 s", WaitRecord(3, 0, 500), 5, "3010 record 1 2"},
        {"slot 0 holds 7 s", WaitRecord(0, ScenarioArg1FromSettings), 7, "7010 record 1 2"},
        {"slot 0 holds 0 s", WaitRecord(0, ScenarioArg1FromSettings), 0, "20 record 1 2"},
        {"a delay alone", CodeRecord(3, 25), 5, "260 record 1 2"},
        {"a negative wait is none", WaitRecord(-2), 5, "20 record 1 2"},
    };
    for (const Case& c : cases) {
        RigOptions options;
        options.settings = ScenarioSettings::From(c.userWait, 1, 2);
        SlideShowRig rig(SlideShowArchive().Scenario({c.wait, CodeRecord(2, 100000)}).Build(), options);
        ASSERT_TRUE(rig.Open());
        rig.RunUntil(8000);
        const Events events = rig.Events();
        ASSERT_EQ(events.size(), 2u) << c.name;
        EXPECT_EQ(events[1], c.nextRecordAt) << c.name;
    }
}

TEST(ScenarioPlayer, AfterTheLastRecordAndPastTheEndItRestartsAtRecordZero)
{
    SlideShowRig rig(SlideShowArchive()
                         .Scenario({CodeRecord(ScenarioCode::ShufflePictures), JumpRecord(7), CodeRecord(2),
                                    JumpRecord(-3), CodeRecord(2)})
                         .Build());
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(90);
    EXPECT_EQ(rig.Events(), (Events{"10 record 0 1", "20 record 1 9", "30 record 0 1", "40 record 1 9",
                                    "50 record 0 1", "60 record 1 9", "70 record 0 1", "80 record 1 9",
                                    "90 record 0 1"}));
}

TEST(ScenarioPlayer, EffectZeroShowsThePictureWithinItsStep)
{
    SlideShowRig rig(SlideShowArchive()
                         .Scenario({EffectRecord(0), ShowRecord(1, 2), CodeRecord(2, 100000)})
                         .Picture(1, 64, 48, Red)
                         .Build());
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(20);
    EXPECT_EQ(rig.Events(), (Events{"10 record 0 6", "20 record 1 5", "20 show 1 1 0 2", "20 finish"}));
    EXPECT_EQ(PixelAt(rig.player->ScreenBuffer, 10, 10), Red);
    EXPECT_FALSE(rig.player->TransitionRunning);
    EXPECT_EQ(rig.canvas.CopyCount(), 1);
}

TEST(ScenarioPlayer, PictureAreaScalesThePictureCentredOnTheViewer)
{
    RigOptions options;
    options.width = 800;
    options.height = 600;
    SlideShowRig rig(SlideShowArchive()
                         .Scenario({EffectRecord(0), AreaRecord(400, 300), ShowRecord(1, 0), AreaRecord(0, 0),
                                    ShowRecord(1, 0), CodeRecord(2, 100000)})
                         .Picture(1, 1600, 1200, Red)
                         .Build(),
                     options);
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(30);
    const DirectBmpControl& screen = rig.player->ScreenBuffer;
    EXPECT_EQ(rig.player->PictureArea, (TRect{0, 0, 400, 300}));
    EXPECT_EQ(PixelAt(screen, 200, 150) & 0xFFFFFF, Red & 0xFFFFFF);
    EXPECT_EQ(PixelAt(screen, 598, 448) & 0xFFFFFF, Red & 0xFFFFFF);
    EXPECT_EQ(PixelAt(screen, 199, 150) & 0xFFFFFF, 0u);
    EXPECT_EQ(PixelAt(screen, 600, 449) & 0xFFFFFF, 0u);
    EXPECT_EQ(PixelAt(screen, 200, 450) & 0xFFFFFF, 0u);
    rig.RunUntil(50);
    EXPECT_EQ(rig.player->PictureArea, (TRect{0, 0, 800, 600}));
    EXPECT_EQ(PixelAt(screen, 0, 0) & 0xFFFFFF, Red & 0xFFFFFF);
    EXPECT_EQ(PixelAt(screen, 798, 598) & 0xFFFFFF, Red & 0xFFFFFF);
}

TEST(ScenarioPlayer, SoundsOfAPictureAreChosenAtRandomUpToTheFirstZero)
{
    std::map<std::string, int> chosen;
    for (int seed = 1; seed <= 60; ++seed) {
        RigOptions options;
        options.seed = seed;
        SlideShowRig rig(SlideShowArchive()
                             .Scenario({EffectRecord(0), ShowRecord(1, 0, {11, 12, 13}), ShowRecord(1, 0, {0, 12}),
                                        CodeRecord(2, 100000)})
                             .Picture(1, 8, 8, Red)
                             .Sound(11, 100)
                             .Sound(12, 100)
                             .Sound(13, 100)
                             .Build(),
                         options);
        ASSERT_TRUE(rig.Open());
        rig.RunUntil(2000);
        const Events events = rig.Events();
        const auto sounds = std::count_if(events.begin(), events.end(),
                                          [](const std::string& e) { return e.find(" sound ") != std::string::npos; });
        ASSERT_EQ(sounds, 1) << seed;  // the second picture has none
        chosen[events[4].substr(events[4].find("sound"), 8)]++;
    }
    ASSERT_EQ(chosen.size(), 3u);
    for (const auto& [sound, count] : chosen) EXPECT_GE(count, 8) << sound;
}

TEST(ScenarioPlayer, AMissingPictureStillRunsItsTransitionWithoutSound)
{
    SlideShowRig rig(SlideShowArchive()
                         .Scenario({ShowRecord(1, 0, {7}), ShowRecord(99, 0, {7}), CodeRecord(2, 100000)})
                         .Picture(1, 8, 8, Red)
                         .Sound(7, 100)
                         .Build());
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(4000);
    const Events events = rig.Events();
    ASSERT_GE(events.size(), 8u);
    EXPECT_EQ(events[5].substr(events[5].find(' ')), " show 99 0 1 0");
    EXPECT_EQ(events[6].substr(events[6].find(' ')), " finish");
    // The next buffer kept the picture shown before.
    EXPECT_EQ(PixelAt(rig.player->ScreenBuffer, 30, 20) & 0xFFFFFF, Red & 0xFFFFFF);
    EXPECT_EQ(std::count(rig.sound.calls.begin(), rig.sound.calls.end(), "play 1"), 1);
}

TEST(ScenarioPlayer, SoundCommandsReachTheSoundPlayerUnlessSoundIsOff)
{
    ScenarioRecord loop = CodeRecord(ScenarioCode::PlaySound);
    loop.Values[0] = 7;
    ScenarioRecord volume = CodeRecord(ScenarioCode::SetVolume);
    volume.Arg1 = 3;
    ScenarioRecord badVolume = volume;
    badVolume.Arg1 = 6;
    ScenarioRecord missing = loop;
    missing.Values[0] = 8;
    const std::vector<uint8_t> archive =
        SlideShowArchive().Scenario({loop, volume, badVolume, missing, CodeRecord(2, 100000)}).Sound(7, 5000).Build();

    SlideShowRig on(archive);
    ASSERT_TRUE(on.Open());
    on.RunUntil(40);
    EXPECT_EQ(on.sound.calls, (std::vector<std::string>{"stop", "load 7", "play 0", "volume 8FFF 8FFF", "stop"}));
    EXPECT_EQ(on.Events(), (Events{"10 record 0 7", "10 sound 7 loop 5000", "20 record 1 8", "20 volume 3",
                                   "30 record 2 8", "40 record 3 7"}));

    RigOptions options;
    options.soundOff = true;
    SlideShowRig off(archive, options);
    ASSERT_TRUE(off.Open());
    off.RunUntil(40);
    EXPECT_TRUE(off.sound.calls.empty());
}

// A sound that stays unheard is told at every attempt, with the reason the
// sound player gives, or the load's status when it gives none; the show runs
// on as before.
TEST(ScenarioPlayer, SoundsThatStayUnheardAreToldWithTheirReason)
{
    WaveFormatFields floating = PcmFormat(1, 1000, 32);
    floating.formatTag = 3;  // IEEE float: a wave device plays PCM only
    const std::vector<uint8_t> archive =
        SlideShowArchive()
            .Scenario({SoundRecord(21), SoundRecord(22), SoundRecord(8), SoundRecord(7), SoundRecord(21),
                       CodeRecord(2, 100000)})
            .SoundBytes(21, {'R', 'I', 'F', 'X', 0, 0, 0, 0})
            .SoundBytes(22, WaveEntry().Format(floating).Data(std::vector<uint8_t>(400, 0)).Bytes())
            .Sound(7, 500)
            .Build();
    using Told = std::vector<std::pair<int32_t, std::string>>;
    const Events played = {"10 record 0 7", "10 sound 21 loop 0",   "20 record 1 7", "20 sound 22 loop 100",
                           "30 record 2 7", "40 record 3 7",        "40 sound 7 loop 500", "50 record 4 7",
                           "50 sound 21 loop 0", "60 record 5 2"};

    // The real player on the virtual device: its own words.
    RigOptions options;
    Told told;
    options.soundFailed = [&told](int32_t id, const std::string& reason) { told.emplace_back(id, reason); };
    std::vector<std::string> trace;
    options.trace = [&trace](const std::string& line) { trace.push_back(line); };
    HeadlessSlideShow show(options);
    ASSERT_EQ(OpenArchiveBytes(show.Player().PictureArchive, archive), 0);
    ASSERT_EQ(OpenArchiveBytes(show.Player().SoundArchive, archive), 0);
    ASSERT_TRUE(show.Player().LoadScenario());
    ASSERT_TRUE(show.Player().PrepareBuffers());
    show.Player().PrepareCanvas();
    show.RunUntil(60, true);
    EXPECT_EQ(told, (Told{{21, "not a RIFF file"},
                          {22, "virtual wave output: unsupported wave format"},
                          {8, "the archive holds no such sound"},
                          {21, "not a RIFF file"}}));
    EXPECT_EQ(trace, played);

    // A sound player without words of its own: the load's status.
    RigOptions recordingOptions;
    Told recordingTold;
    recordingOptions.soundFailed = [&recordingTold](int32_t id, const std::string& reason) {
        recordingTold.emplace_back(id, reason);
    };
    SlideShowRig rig(archive, recordingOptions);
    ASSERT_TRUE(rig.Open());
    rig.RunUntil(60);
    EXPECT_EQ(recordingTold, (Told{{21, "it does not load (status -3)"},
                                   {8, "the archive holds no such sound"},
                                   {21, "it does not load (status -3)"}}));
    EXPECT_EQ(rig.Events(), played);
}

// The example scenario's shape: three sections reached by random jumps.
std::vector<ScenarioRecord> ThreeSections()
{
    std::vector<ScenarioRecord> records = {WaitRecord(0), WaitRecord(0), WaitRecord(0),
                                           EffectRecord(1, ScenarioArg1FromSettings), AreaRecord(0, 0),
                                           RandomJumpRecord(3, {6, 21, 36})};
    const int32_t sectionStarts[] = {6, 21, 36};
    for (int section = 0; section < 3; ++section) {
        for (int picture = 0; picture < 7; ++picture) {
            records.push_back(ShowRecord(1000 + picture, section == 0 ? 2 : 2, {},
                                         section == 0 ? 0 : ScenarioArg1FromSettings));
            records.push_back(WaitRecord(0, ScenarioArg1FromSettings));
        }
        std::vector<int32_t> others;
        for (int32_t start : sectionStarts)
            if (start != sectionStarts[section]) others.push_back(start);
        records.push_back(RandomJumpRecord(2, others));
    }
    return records;
}

TEST(ScenarioPlayer, TheExampleScenarioWandersBetweenItsThreeSections)
{
    RigOptions options;
    options.settings = ScenarioSettings::From(0, 0, 2);
    SlideShowArchive archive;
    archive.Scenario(ThreeSections());
    for (uint32_t id = 1000; id < 1007; ++id) archive.Picture(id, 4, 4, 0xFF000000u | id);
    SlideShowRig rig(archive.Build(), options);
    ASSERT_TRUE(rig.Open());
    EXPECT_EQ(rig.player->LoadedScenario->Records.size(), 51u);
    rig.RunUntil(60000);
    std::vector<int> sectionsEntered;
    for (const std::string& event : rig.Events()) {
        for (int start : {6, 21, 36})
            if (event.find(" record " + std::to_string(start) + " 5") != std::string::npos)
                sectionsEntered.push_back(start);
    }
    ASSERT_GE(sectionsEntered.size(), 20u);
    EXPECT_EQ(std::set<int>(sectionsEntered.begin(), sectionsEntered.end()), (std::set<int>{6, 21, 36}));
    for (size_t i = 1; i < sectionsEntered.size(); ++i)
        EXPECT_NE(sectionsEntered[i], sectionsEntered[i - 1]) << "a section jumps only to the other two";
}

TEST(ScenarioPlayer, ScenariosOutsideTheFormatGiveTheBanner)
{
    ::Scenario valid;
    valid.Records = {WaitRecord(1), WaitRecord(1)};
    std::vector<uint8_t> pastTheEnd = *SerializeScenarioEntry(valid);
    WriteLe16(pastTheEnd.data() + 14, 3);
    std::vector<uint8_t> noRecords = *SerializeScenarioEntry(valid);
    WriteLe16(noRecords.data() + 14, 0);
    ::Scenario badSlot;
    badSlot.Records = {WaitRecord(8, ScenarioArg1FromSettings)};
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"count past the entry", pastTheEnd},
        {"no records", noRecords},
        {"settings slot 8", *SerializeScenarioEntry(badSlot)},
        {"shorter than a header", std::vector<uint8_t>(10, 0)},
    };
    for (const auto& [name, bytes] : cases) {
        SlideShowRig rig(SlideShowArchive().ScenarioBytes(bytes).Build());
        EXPECT_FALSE(rig.Open()) << name;
        EXPECT_EQ(rig.Events(), (Events{"0 banner"})) << name;
        EXPECT_FALSE(rig.player->OpenFailure.empty()) << name;
    }
    SlideShowRig none(SlideShowArchive().Picture(1, 2, 2, Red).Build());
    EXPECT_FALSE(none.Open());
}

TEST(ScenarioPlayer, BannerDriftsAndBouncesClearingWhatItLeaves)
{
    RigOptions options;
    options.width = 640;
    options.height = 480;
    SlideShowRig rig(SlideShowArchive().Picture(1, 2, 2, Red).Build(), options);
    ASSERT_FALSE(rig.Open());
    ScenarioPlayer& player = *rig.player;
    ASSERT_NE(player.TextBanner, nullptr);
    const int32_t width = player.TextBanner->Width();
    const int32_t height = player.TextBanner->Height();
    EXPECT_LE(width, 320 + 8);
    EXPECT_EQ(player.BannerRange[0], 640 - width);
    EXPECT_EQ(player.BannerRange[1], 480 - height);

    // Paint the window so that the fill of the uncovered parts shows.
    rig.canvas.SetBrush(0x00FFFFFF);
    rig.canvas.FillRect(TRect{0, 0, 640, 480});
    rig.RunUntil(1000);
    // 0.7 and 0.5 pixels per 10 ms: after 1000 ms, (70, 50).
    EXPECT_EQ(player.BannerRect, (TRect{70, 50, 70 + width, 50 + height}));
    const uint8_t* justLeft = rig.canvas.Window().ScanLine(60) + 4 * 69;
    EXPECT_EQ(justLeft[0] | justLeft[1] | justLeft[2], 0) << "left behind: form colour";
    const uint8_t* outside = rig.canvas.Window().ScanLine(470) + 4 * 630;
    EXPECT_EQ(outside[0] & outside[1] & outside[2], 255) << "never covered: untouched";
    EXPECT_EQ(rig.canvas.LastText(), std::to_string(1000));

    // It bounces off every edge, touching it, and never leaves the window.
    std::set<std::string> touched;
    for (uint32_t t = 1010; t <= 30000; t += 10) {
        rig.RunUntil(t);
        const TRect& r = player.BannerRect;
        ASSERT_GE(r.left, 0);
        ASSERT_LE(r.right, 640);
        ASSERT_GE(r.top, 0);
        ASSERT_LE(r.bottom, 480);
        if (r.left == 0) touched.insert("left");
        if (r.right == 640) touched.insert("right");
        if (r.top == 0) touched.insert("top");
        if (r.bottom == 480) touched.insert("bottom");
    }
    EXPECT_EQ(touched, (std::set<std::string>{"left", "right", "top", "bottom"}));
}

}  // namespace
