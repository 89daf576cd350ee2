// scrtool play and scrtool transition: the slide show run headless.
#include "tests/support/ScrtoolRun.h"
#include "tests/support/SlideShowFixtures.h"
#include "tests/support/TestBytes.h"
#include "tests/support/WaveFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

std::vector<std::string> Lines(const std::string& text, bool withFrames)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (withFrames || line.find(" frame ") == std::string::npos) lines.push_back(line);
    return lines;
}

constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t Blue = 0xFF0000FFu;

class PlayCommandTest : public ScrtoolFixture {
protected:
    std::string TwoPictures()
    {
        return Write("two.brsc", SlideShowArchive()
                                     .Scenario({ShowRecord(1, 0, {7}), WaitRecord(5), ShowRecord(2, 0), WaitRecord(5),
                                                JumpRecord(0)})
                                     .Picture(1, 16, 12, Red)
                                     .Picture(2, 12, 16, Blue)
                                     .Sound(7, 2300)
                                     .Build());
    }
};

TEST_F(PlayCommandTest, TracesTheShowOnVirtualTime)
{
    const std::string archive = TwoPictures();
    const RunResult run = Run({"play", archive, "--size", "64x48", "--until", "10000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out, false),
              (std::vector<std::string>{"10 record 0 5", "10 show 1 1 1 0", "1020 finish", "1020 sound 7 once 2300",
                                        "4020 record 1 0", "9020 record 2 5", "9020 show 2 1 1 0"}));
    const std::vector<std::string> all = Lines(run.out, true);
    EXPECT_EQ(all[2], "20 frame 2");
    EXPECT_EQ(all[3], "70 frame 15");

    // Across the clock's wrap the trace is the same.
    const RunResult wrapped =
        Run({"play", archive, "--size", "64x48", "--until", "10000", "--clock-start", "4294965000"});
    EXPECT_EQ(wrapped.out, run.out);

    // Without sound the next record follows the frame interval.
    const RunResult silent = Run({"play", archive, "--size", "64x48", "--until", "1100", "--sound", "off"});
    EXPECT_EQ(Lines(silent.out, false),
              (std::vector<std::string>{"10 record 0 5", "10 show 1 1 1 0", "1020 finish", "1070 record 1 0"}));
}

// For long runs: no events, and the memory the process holds at fixed
// times of the show.
TEST_F(PlayCommandTest, LongRunsPrintMemoryInsteadOfEvents)
{
    const std::string archive = TwoPictures();
    const RunResult run = Run({"play", archive, "--size", "64x48", "--until", "25000", "--events", "none",
                               "--memory-every", "10000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out, true);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string prefix = std::to_string((k + 1) * 10000) + " memory ";
        ASSERT_EQ(lines[k].rfind(prefix, 0), 0u) << lines[k];
        EXPECT_GT(std::stoull(lines[k].substr(prefix.size())), 0u) << lines[k];
    }
}

TEST_F(PlayCommandTest, UserSettingsReachTheScenarioThroughItsSlots)
{
    const std::string archive = Write(
        "slots.brsc", SlideShowArchive()
                          .Scenario({EffectRecord(1, ScenarioArg1FromSettings), ShowRecord(1, 2, {}, ScenarioArg1FromSettings),
                                     WaitRecord(0, ScenarioArg1FromSettings), CodeRecord(2, 100000)})
                          .Picture(1, 4, 4, Red)
                          .Build());
    const RunResult run =
        Run({"play", archive, "--size", "32x24", "--until", "3000", "--wait", "2", "--effect", "0", "--speed", "4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out, false), (std::vector<std::string>{"10 record 0 6", "20 record 1 5", "20 show 1 1 0 4",
                                                               "20 finish", "30 record 2 0", "2030 record 3 2"}));
}

TEST_F(PlayCommandTest, SnapshotsHoldTheScreenAsPlacedAndTransitionsEndOnIt)
{
    const std::string archive = TwoPictures();
    const std::string placed = (folder_ / "placed.pam").string();
    ASSERT_EQ(Run({"picture", archive, "2", placed, "--place", "64x48"}).exitCode, 0);

    // The second picture is on the screen from its fade's end (10 s) on.
    const std::string early = (folder_ / "early.pam").string();
    const std::string late = (folder_ / "late.pam").string();
    const RunResult run = Run({"play", archive, "--size", "64x48", "--until", "12000", "--snapshot",
                               "11000:" + late, "--snapshot", "5000:" + early});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadTextFile(late), ReadTextFile(placed));
    EXPECT_NE(ReadTextFile(early), ReadTextFile(placed));

    // scrtool transition: after its duration the frame is the new picture;
    // at time 0 of a fade, still the old one.
    const std::string from = (folder_ / "from.pam").string();
    ASSERT_EQ(Run({"picture", archive, "1", from, "--place", "64x48"}).exitCode, 0);
    struct Case {
        const char* effect;
        const char* at;
        const std::string& expected;
    };
    const Case cases[] = {{"0", "0", placed}, {"1", "1000", placed}, {"2", "3000", placed}, {"3", "2000", placed},
                          {"4", "9999", placed}, {"1", "0", from}};
    for (const Case& c : cases) {
        const std::string frame = (folder_ / "frame.pam").string();
        const RunResult made = Run({"transition", archive, "--from", "1", "--to", "2", "--effect", c.effect,
                                    "--speed", "0", "--at", c.at, "--size", "64x48", frame});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        EXPECT_EQ(ReadTextFile(frame), ReadTextFile(c.expected)) << "effect " << c.effect << " at " << c.at;
    }
}

TEST_F(PlayCommandTest, WithoutAScenarioTheBannerDrifts)
{
    const std::string archive = Write("pictures.brsc", SlideShowArchive().Picture(1, 4, 4, Red).Build());
    const std::string shot = (folder_ / "banner.png").string();
    const RunResult run = Run({"play", archive, "--size", "640x480", "--until", "500", "--snapshot", "500:" + shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "0 banner\n");
    EXPECT_NE(run.err.find("no readable scenario; showing the banner"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(shot));
}

// The saver skips a sound it cannot play without a word; the tool tells the
// author, once for each sound however often the scenario comes back to it,
// and the show itself runs as it would have.
TEST_F(PlayCommandTest, WarnsOnceAboutEachSoundThatCannotBePlayed)
{
    WaveFormatFields floating = PcmFormat(1, 1000, 32);
    floating.formatTag = 3;  // IEEE float: the device plays PCM only
    const std::string archive =
        Write("sounds.brsc", SlideShowArchive()
                                 .Scenario({ShowRecord(1, 0, {21}), WaitRecord(1), SoundRecord(22), WaitRecord(1),
                                            SoundRecord(23), SoundRecord(7), WaitRecord(1), SoundRecord(24),
                                            JumpRecord(0)})
                                 .Picture(1, 4, 4, Red)
                                 .SoundBytes(21, PatternBytes(100, 1))
                                 .SoundBytes(22, WaveEntry().Format(floating).Data(std::vector<uint8_t>(800, 0)).Bytes())
                                 .Sound(7, 500)
                                 .SoundBytes(24, WaveEntry().Format(PcmFormat(1, 1000, 8)).Data({}, 0x80000000).Bytes())
                                 .Build());
    const RunResult run = Run({"play", archive, "--size", "32x24", "--until", "20000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string warning = "scrtool: " + archive + ": warning: sound ";
    EXPECT_EQ(run.err, warning + "21 cannot be played: not a RIFF file\n" + warning +
                           "22 cannot be played: virtual wave output: unsupported wave format\n" + warning +
                           "23 cannot be played: the archive holds no such sound\n" + warning +
                           "24 cannot be played: chunk size of 2^31 bytes or more\n");

    // The show went round more than once, and plays what it can as before.
    const std::vector<std::string> events = Lines(run.out, false);
    EXPECT_GT(std::count_if(events.begin(), events.end(),
                            [](const std::string& line) { return line.find(" record 0 ") != std::string::npos; }),
              1)
        << run.out;
    EXPECT_NE(run.out.find(" sound 21 once 0\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" sound 7 loop 500\n"), std::string::npos) << run.out;

    // Without sound there is nothing to warn about.
    const RunResult silent = Run({"play", archive, "--size", "32x24", "--until", "20000", "--sound", "off"});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_EQ(silent.err, "");
}

TEST_F(PlayCommandTest, BadCommandLinesAndArchivesAreOneLineErrors)
{
    const std::string archive = TwoPictures();
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"play", archive, "--until", "10"}, 2, "option '--size' is required"},
        {{"play", archive, "--size", "64x48"}, 2, "option '--until' is required"},
        {{"play", archive, "--size", "0x48", "--until", "10"}, 2, "'--size' needs WxH"},
        {{"play", archive, "--size", "64x48", "--until", "10", "--sound", "loud"}, 2, "'on' or 'off'"},
        {{"play", archive, "--size", "64x48", "--until", "10", "--snapshot", "5:shot.gif"}, 2, "ending in .png or .pam"},
        {{"play", archive, "--size", "64x48", "--until", "10", "--snapshot", "shot.png"}, 2, "needs MS:OUT"},
        {{"play", archive, "--size", "64x48", "--until", "10", "--events", "some"}, 2, "'all' or 'none'"},
        {{"play", archive, "--size", "64x48", "--until", "10", "--memory-every", "0"}, 2, "from 1 to 4294967295"},
        {{"play", (folder_ / "missing.brsc").string(), "--size", "64x48", "--until", "10"}, 1, "missing.brsc: no such file"},
        {{"transition", archive, "out.pam", "--from", "1", "--to", "2", "--effect", "1", "--speed", "0", "--at", "5"},
         2, "option '--size' is required"},
        {{"transition", archive, (folder_ / "t.pam").string(), "--from", "1", "--to", "9", "--effect", "1", "--speed",
          "0", "--at", "5", "--size", "8x8"},
         1, "no picture 9 (pictures: 1, 2)"},
    };
    for (const Case& c : cases) {
        const RunResult run = Run(c.arguments);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

}  // namespace
