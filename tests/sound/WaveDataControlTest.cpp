// The sound player over the virtual wave output: what a load leaves in the
// player, which bytes go to the device in which blocks and when, when the
// end notice comes and what it closes, volume on open and closed devices,
// switching sounds while one plays, and the cleanup of a device that fails
// half-way through opening. The workers run pumped on the test's thread, so
// every step is deterministic; WaveOutThreadTest runs them on threads.

#include "platform/VirtualWaveOutput.h"
#include "sound/WaveDataControl.h"
#include "sound/WaveVolume.h"
#include "tests/support/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t Rate = 8000;  // 8-bit mono: 8000 bytes a second, blocks of 16000

class PumpedPlayerTest : public ::testing::Test {
protected:
    WaveOwner Owner()
    {
        WaveOwner owner;
        owner.endNotice = [this](uint64_t opening) {
            endNotices.push_back({output.Now(), opening});
            calls.Post([this, opening] { player.OnEndNotice(opening); });
        };
        owner.reportError = [this](const std::string& text) { errors.push_back(text); };
        return owner;
    }

    void AddSound(uint32_t id, const std::vector<uint8_t>& samples, const WaveFormatFields& format = PcmFormat(1, Rate, 8))
    {
        sounds.Add(id, WaveEntry().Format(format).Data(samples).Bytes());
    }
    int Load(uint32_t id) { return player.Load(sounds.archive, sounds.CursorOf(id)); }
    // The archive with these samples as its only sound (id 1), opened, and
    // the sound loaded.
    void LoadOnlySound(const std::vector<uint8_t>& samples)
    {
        AddSound(1, samples);
        sounds.Open();
        ASSERT_EQ(Load(1), WaveStatusOk);
    }

    // Runs the virtual clock in 10 ms steps, each followed by the workers'
    // notices and the main thread's queue, as the headless player does.
    void Run(uint32_t milliseconds)
    {
        for (uint32_t elapsed = 0; elapsed < milliseconds; elapsed += 10) {
            output.Advance(10);
            player.PumpWorkers();
            calls.RunPending();
        }
    }

    static std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t to)
    {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to)};
    }

    VirtualWaveOutput output;
    MainThreadCalls calls;
    std::vector<std::pair<uint32_t, uint64_t>> endNotices;  // virtual time, opening
    std::vector<std::string> errors;
    SoundArchive sounds;
    oWaveDataControl player{output, calls, Owner(), WaveWorkerMode::Pumped};
};

// ---- Load

TEST_F(PumpedPlayerTest, LoadTakesFormatSizesAndDurationFromTheEntry)
{
    struct Case {
        const char* name;
        WaveFormatFields format;
        uint32_t dataLength;
        int32_t frameBytes;
        int32_t bufferBytes;
        uint32_t durationMs;
    };
    const Case cases[] = {
        // 100,000 / 176,400 × 1000 = 566.89...
        {"44.1 kHz 16-bit stereo", PcmFormat(2, 44100, 16), 100000, 4, 352800, 566},
        {"22,050 Hz 8-bit mono", PcmFormat(1, 22050, 8), 22050 * 3, 1, 44100, 3000},
    };
    for (uint32_t id = 0; id < std::size(cases); ++id)
        AddSound(id, SampleBytes(cases[id].dataLength), cases[id].format);
    sounds.Open();
    for (uint32_t id = 0; id < std::size(cases); ++id) {
        const Case& c = cases[id];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Load(id), WaveStatusOk);
        EXPECT_EQ(player.Format(), c.format);
        EXPECT_EQ(player.FrameBytes(), c.frameBytes);
        EXPECT_EQ(player.BufferBytes(), c.bufferBytes);
        EXPECT_EQ(player.DurationMs(), c.durationMs);
        EXPECT_EQ(player.DataLength(), c.dataLength);
        EXPECT_EQ(player.DataStart(), 12u + 8u + 16u + 8u);
        EXPECT_EQ(player.SourceKind(), WaveSourceArchiveEntry);
        EXPECT_TRUE(player.Streaming());
        EXPECT_EQ(player.LoopCount(), 1);
        EXPECT_EQ(player.ReadPosition(), 0u);
    }
}

TEST_F(PumpedPlayerTest, LoadSkipsOtherChunksAndLongFormatsAndIgnoresTheRiffSize)
{
    const WaveFormatFields format = PcmFormat(1, Rate, 8);
    const std::vector<uint8_t> samples = SampleBytes(3000);
    // A list chunk between format and data, odd-sized (no pad byte follows).
    sounds.Add(1, WaveEntry().Format(format).Chunk("LIST", std::vector<uint8_t>(13, 'x')).Data(samples).Bytes());
    // An extensible-style format of 40 bytes: read 18, skipped to its end.
    sounds.Add(2, WaveEntry().Format(format, 40).Data(samples).Bytes());
    // A RIFF size that is plainly wrong.
    sounds.Add(3, WaveEntry().Format(format).Data(samples).Bytes(5));
    sounds.Open();

    const uint64_t starts[] = {12 + 24 + 21 + 8, 12 + 48 + 8, 12 + 24 + 8};
    for (uint32_t id = 1; id <= 3; ++id) {
        SCOPED_TRACE(id);
        ASSERT_EQ(Load(id), WaveStatusOk);
        EXPECT_EQ(player.DataStart(), starts[id - 1]);
        EXPECT_EQ(player.DataLength(), samples.size());
        EXPECT_EQ(player.Format(), format);
        // The samples stream from where the walk found them.
        player.Play(1);
        Run(500);
        const auto writes = output.Writes();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.back().bytes, samples);
        player.Stop();
    }
}

TEST_F(PumpedPlayerTest, DataBeforeFormatKeepsThePreviousFormat)
{
    const WaveFormatFields stereo = PcmFormat(2, 44100, 16);
    AddSound(1, SampleBytes(1000), stereo);
    sounds.Add(2, WaveEntry().Data(SampleBytes(800)).Format(PcmFormat(1, Rate, 8)).Bytes());
    sounds.Open();
    ASSERT_EQ(Load(1), WaveStatusOk);
    ASSERT_EQ(Load(2), WaveStatusOk);
    EXPECT_EQ(player.Format(), stereo);
    EXPECT_EQ(player.DataLength(), 800u);
    EXPECT_EQ(player.DurationMs(), 4u);  // 800 / 176,400 × 1000 = 4.5...
}

TEST_F(PumpedPlayerTest, AFailedLoadLeavesNothingToPlay)
{
    const WaveFormatFields format = PcmFormat(1, Rate, 8);
    struct Case {
        const char* name;
        std::vector<uint8_t> entry;
        int status;
        WaveFailure failure;  // in words in Problem()
    };
    WaveFormatFields noRate = format;
    noRate.averageBytesPerSecond = 0;
    std::vector<uint8_t> notWave = WaveEntry().Format(format).Data(SampleBytes(10)).Bytes();
    notWave[8] = 'A';
    const Case cases[] = {
        {"too short for RIFF", {'R', 'I', 'F'}, WaveStatusNotRiff, WaveFailure::NotRiff},
        {"no WAVE", notWave, WaveStatusNotWave, WaveFailure::NotWave},
        {"chunk size of 2^31", WaveEntry().Format(format).Chunk("junk", {}, 0x80000000).Data(SampleBytes(10)).Bytes(),
         WaveStatusFailed, WaveFailure::ChunkTooLarge},
        {"data size of 2^32 - 1", WaveEntry().Format(format).Data(SampleBytes(10), 0xFFFFFFFF).Bytes(), WaveStatusFailed,
         WaveFailure::ChunkTooLarge},
        {"byte rate 0", WaveEntry().Format(noRate).Data(SampleBytes(10)).Bytes(), WaveStatusFailed,
         WaveFailure::ZeroByteRate},
    };
    AddSound(100, SampleBytes(4000));
    for (uint32_t id = 0; id < std::size(cases); ++id) sounds.Add(id, cases[id].entry);
    sounds.Open();
    for (uint32_t id = 0; id < std::size(cases); ++id) {
        SCOPED_TRACE(cases[id].name);
        ASSERT_EQ(Load(100), WaveStatusOk);  // a good sound before, so that leftovers would show
        EXPECT_EQ(player.Problem(), "");
        EXPECT_EQ(Load(id), cases[id].status);
        EXPECT_EQ(player.DataLength(), 0u);
        EXPECT_EQ(player.SourceKind(), WaveSourceNone);
        EXPECT_FALSE(player.Streaming());
        EXPECT_EQ(player.DurationMs(), 0u);
        player.Play(1);
        EXPECT_FALSE(player.DeviceOpen());
        // Play keeps the load's reason: it is why nothing is heard.
        EXPECT_EQ(player.Problem(), WaveFailureText(cases[id].failure));
    }
    EXPECT_EQ(output.Openings(), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PumpedPlayerTest, AnEntryShorterThanItsDataChunkPlaysSilenceForTheMissingBytes)
{
    const std::vector<uint8_t> samples = SampleBytes(1000);
    sounds.Add(1, WaveEntry().Format(PcmFormat(1, Rate, 8)).Data(samples, 1600).Bytes());
    sounds.Open();
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(1);
    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), 1u);
    ASSERT_EQ(writes[0].bytes.size(), 1600u);
    EXPECT_EQ(Slice(writes[0].bytes, 0, 1000), samples);
    EXPECT_EQ(Slice(writes[0].bytes, 1000, 1600), std::vector<uint8_t>(600, 0x80));  // 8-bit silence
}

// ---- Playing

TEST_F(PumpedPlayerTest, AOneShotShorterThanABlockGoesOutAsOneBlockAndClosesOnTheEndNotice)
{
    const std::vector<uint8_t> samples = SampleBytes(Rate * 3 / 2);  // 1.5 s
    ASSERT_NO_FATAL_FAILURE(LoadOnlySound(samples));
    EXPECT_EQ(player.DurationMs(), 1500u);
    player.Play(1);
    EXPECT_TRUE(player.DeviceOpen());
    EXPECT_TRUE(player.WorkerActive());
    EXPECT_EQ(output.Purges(), 1);

    Run(1490);
    EXPECT_TRUE(endNotices.empty());
    EXPECT_TRUE(player.DeviceOpen());
    Run(10);
    ASSERT_EQ(endNotices.size(), 1u);
    EXPECT_EQ(endNotices[0].first, 1500u);
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(player.LiveWorkers(), 0);
    EXPECT_EQ(player.ReadPosition(), 0u);
    EXPECT_EQ(player.PlayedBase(), 0u);
    EXPECT_EQ(player.SourceKind(), WaveSourceNone);  // a closed player must be loaded again

    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, samples);
    EXPECT_EQ(output.OpenDevices(), 0);
    EXPECT_EQ(output.PreparedBlocks(), 0);
}

TEST_F(PumpedPlayerTest, AThreeSecondOneShotEndsItsWorkerAfterTwoSecondsAndPlaysOnToTheEnd)
{
    const std::vector<uint8_t> samples = SampleBytes(Rate * 3);
    ASSERT_NO_FATAL_FAILURE(LoadOnlySound(samples));
    player.Play(1);
    EXPECT_EQ(player.LoopCount(), -1) << "both blocks queued: the last pass is handed over";

    Run(2000);
    ASSERT_EQ(endNotices.size(), 1u);
    EXPECT_EQ(endNotices[0].first, 2000u);
    // CheckEnd found the device short of the end: it stays open for the last second.
    EXPECT_TRUE(player.DeviceOpen());
    EXPECT_EQ(player.LiveWorkers(), 0);
    EXPECT_FALSE(player.WorkerActive());
    EXPECT_EQ(output.CurrentQueuedBytes(), Rate);

    Run(1500);
    EXPECT_EQ(output.CurrentPosition(), Rate * 3);
    EXPECT_EQ(endNotices.size(), 1u);
    EXPECT_TRUE(player.DeviceOpen()) << "idle after its last block until the next stop or load";

    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, Slice(samples, 0, Rate * 2));
    EXPECT_EQ(writes[1].bytes, Slice(samples, Rate * 2, Rate * 3));
    EXPECT_EQ(writes[1].atMs, 0u) << "both blocks go out before the device starts";

    player.Stop();
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(output.OpenDevices(), 0);
}

TEST_F(PumpedPlayerTest, ALoopingFiveSecondSoundRepeatsAtBlockGranularity)
{
    const std::vector<uint8_t> samples = SampleBytes(Rate * 5);
    ASSERT_NO_FATAL_FAILURE(LoadOnlySound(samples));
    player.Play(0);
    Run(14000);
    EXPECT_TRUE(endNotices.empty()) << "a repeating sound never ends by itself";
    EXPECT_TRUE(player.DeviceOpen());

    // Seconds 0-2, 2-4, 4-5, 0-2, ...: each block is refilled the moment it
    // comes back (at 2, 4, 5, 7, 9, 10, 12 and 14 s), one block ahead.
    const std::pair<uint32_t, uint32_t> spans[] = {{0, 2}, {2, 4}, {4, 5}, {0, 2}, {2, 4},
                                                   {4, 5}, {0, 2}, {2, 4}, {4, 5}, {0, 2}};
    const uint32_t writtenAt[] = {0, 0, 2000, 4000, 5000, 7000, 9000, 10000, 12000, 14000};
    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), std::size(spans));
    for (size_t i = 0; i < writes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(writes[i].bytes, Slice(samples, spans[i].first * Rate, spans[i].second * Rate));
        EXPECT_EQ(writes[i].atMs, writtenAt[i]);
        EXPECT_EQ(writes[i].block, i % 2);
    }
    EXPECT_EQ(player.LoopCount(), 0);

    player.Stop();
    Run(10);
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(endNotices.size(), 1u) << "the cancelled block still ends the worker with a notice";
    EXPECT_EQ(player.LiveWorkers(), 0);
}

TEST_F(PumpedPlayerTest, ALoopCountAboveOnePlaysThatManyPasses)
{
    const std::vector<uint8_t> samples = SampleBytes(Rate * 3);
    ASSERT_NO_FATAL_FAILURE(LoadOnlySound(samples));
    player.Play(2);
    Run(8000);
    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[2].bytes, Slice(samples, 0, Rate * 2));
    EXPECT_EQ(writes[3].bytes, Slice(samples, Rate * 2, Rate * 3));
    EXPECT_EQ(endNotices.size(), 1u);
    EXPECT_FALSE(player.DeviceOpen()) << "the end notice came with the second pass's last block";
}

TEST_F(PumpedPlayerTest, ANewSoundWhileOnePlaysReplacesItAndTheOldWorkerTouchesNothing)
{
    const std::vector<uint8_t> first = SampleBytes(Rate * 5);
    std::vector<uint8_t> second = SampleBytes(Rate * 3);
    for (uint8_t& byte : second) byte = static_cast<uint8_t>(~byte);
    AddSound(1, first);
    AddSound(2, second);
    sounds.Open();

    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(0);
    const uint64_t firstOpening = player.Opening();
    Run(1000);

    // As the viewer does for a new sound: stop, load, play.
    player.Stop();
    ASSERT_EQ(Load(2), WaveStatusOk);
    player.Play(1);
    const uint64_t secondOpening = player.Opening();
    EXPECT_NE(secondOpening, firstOpening);
    EXPECT_EQ(output.OpenDevices(), 1);

    Run(10);
    // The old worker saw its cancelled blocks, sent its notice and ended; the
    // notice found the new device short of its end and left it playing.
    ASSERT_EQ(endNotices.size(), 1u);
    EXPECT_EQ(endNotices[0].second, firstOpening);
    EXPECT_TRUE(player.DeviceOpen());
    EXPECT_EQ(player.Opening(), secondOpening);
    EXPECT_EQ(player.LiveWorkers(), 1);

    Run(3000);
    const auto writes = output.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[2].opening, secondOpening);
    EXPECT_EQ(writes[2].bytes, Slice(second, 0, Rate * 2)) << "the first block is not repeated";
    EXPECT_EQ(writes[3].bytes, Slice(second, Rate * 2, Rate * 3));
    ASSERT_EQ(endNotices.size(), 2u);
    EXPECT_EQ(endNotices[1], (std::pair<uint32_t, uint64_t>{3000, secondOpening})) << "2 s after its start at 1 s";
}

TEST_F(PumpedPlayerTest, AnOldOpeningsEndNoticeNeverClosesTheNewDevice)
{
    // An end notice that the owner answers late: by then a short new sound
    // has played further than the old one's notice could know.
    const std::vector<uint8_t> samples = SampleBytes(Rate / 2);
    AddSound(1, samples);
    AddSound(2, SampleBytes(Rate * 4));
    sounds.Open();
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(1);
    const uint64_t oldOpening = player.Opening();
    player.Stop();
    ASSERT_EQ(Load(2), WaveStatusOk);
    player.Play(0);
    output.Advance(3000);
    player.OnEndNotice(oldOpening);
    EXPECT_TRUE(player.DeviceOpen());
    player.OnEndNotice(player.Opening() + 1);
    EXPECT_TRUE(player.DeviceOpen());
}

TEST_F(PumpedPlayerTest, ASoundWithoutDataOpensTheDeviceAndQueuesNothing)
{
    sounds.Add(1, WaveEntry().Format(PcmFormat(1, Rate, 8)).Bytes());
    sounds.Open();
    ASSERT_EQ(Load(1), WaveStatusOk);
    EXPECT_EQ(player.DataLength(), 0u);
    player.Play(0);
    EXPECT_TRUE(player.DeviceOpen());
    Run(100);
    EXPECT_EQ(output.WriteCount(), 0u);
    player.Stop();
    EXPECT_FALSE(player.DeviceOpen());
}

// ---- Volume

TEST_F(PumpedPlayerTest, VolumeLevelThreeReachesAnOpenDeviceAtOnceAndAClosedOneAtItsOpening)
{
    AddSound(1, SampleBytes(Rate * 4));
    sounds.Open();
    const uint16_t level3 = *VolumePresetValue(3);

    // Closed: stored, applied when the device opens.
    player.SetWaveVolume(level3, level3);
    EXPECT_EQ(player.LeftVolume(), 0x8FFFu);
    EXPECT_TRUE(output.VolumeHistory().empty());
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(0);
    EXPECT_EQ(output.SystemVolume(), 0x8FFF8FFFu);
    EXPECT_EQ(player.SavedDeviceVolume(), 0xFFFFFFFFu);

    // Open: applied at once, left in the low word.
    player.SetWaveVolume(*VolumePresetValue(1), *VolumePresetValue(5));
    EXPECT_EQ(output.SystemVolume(), 0xFFFF1FFFu);

    // Closing gives the device its own volume back.
    player.Stop();
    EXPECT_EQ(output.SystemVolume(), 0xFFFFFFFFu);
    EXPECT_EQ(output.VolumeHistory(), (std::vector<uint32_t>{0x8FFF8FFFu, 0xFFFF1FFFu, 0xFFFFFFFFu}));
}

TEST(WaveVolumeTest, PresetsCoverLevelsZeroToFiveOnly)
{
    const std::pair<int, std::optional<uint16_t>> cases[] = {
        {-1, std::nullopt}, {0, 0x0000}, {5, 0xFFFF}, {6, std::nullopt}, {1000, std::nullopt},
    };
    for (const auto& [level, value] : cases) EXPECT_EQ(VolumePresetValue(level), value) << "level " << level;
}

TEST(WaveVolumeDeviceTest, ADeviceWithoutVolumeControlIsNeverAskedToChangeIt)
{
    VirtualWaveOutput::Settings settings;
    settings.volumeControl = false;
    VirtualWaveOutput output(settings);
    MainThreadCalls calls;
    SoundArchive sounds;
    sounds.Add(1, WaveEntry().Format(PcmFormat(1, Rate, 8)).Data(SampleBytes(100)).Bytes());
    sounds.Open();
    oWaveDataControl player(output, calls, {}, WaveWorkerMode::Pumped);
    player.SetWaveVolume(0x8FFF, 0x8FFF);
    ASSERT_EQ(player.Load(sounds.archive, sounds.CursorOf(1)), WaveStatusOk);
    player.Play(1);
    EXPECT_TRUE(player.DeviceOpen());
    player.SetWaveVolume(0x1FFF, 0x1FFF);
    player.Stop();
    EXPECT_TRUE(output.VolumeHistory().empty());
}

// ---- Opening failures

struct OpenFailure {
    const char* name;
    VirtualWaveOutput::Operation operation;
    int skip;  // calls of the operation that succeed first
    WaveDeviceStatus status;
};

class OpenFailureTest : public PumpedPlayerTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, ReleasesEverythingItMadeAndReportsTheSystemsText)
{
    AddSound(1, SampleBytes(Rate * 3));
    sounds.Open();
    const OpenFailure& failure = GetParam();
    output.FailAfter(failure.operation, failure.skip, failure.status);
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(1);
    EXPECT_FALSE(player.DeviceOpen());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], output.ErrorText(failure.status));
    EXPECT_EQ(player.Problem(), errors[0]);
    EXPECT_EQ(output.OpenDevices(), 0);
    EXPECT_EQ(output.PreparedBlocks(), 0);
    EXPECT_EQ(output.WriteCount(), 0u);
    EXPECT_EQ(player.LiveWorkers(), 0);
    EXPECT_EQ(player.PumpWorkers(), 0);

    // Nothing is left behind that would keep the next opening from working.
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(1);
    EXPECT_TRUE(player.DeviceOpen());
    EXPECT_EQ(player.Problem(), "");
    Run(3000);
    EXPECT_EQ(output.WriteCount(), 2u);
    EXPECT_EQ(endNotices.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailureTest,
    ::testing::Values(OpenFailure{"Open", VirtualWaveOutput::Operation::Open, 0, WaveDeviceStatus::BadFormat},
                      OpenFailure{"Capabilities", VirtualWaveOutput::Operation::Capabilities, 0, WaveDeviceStatus::NoDriver},
                      OpenFailure{"FirstBlock", VirtualWaveOutput::Operation::Prepare, 0, WaveDeviceStatus::NoMemory},
                      OpenFailure{"SecondBlock", VirtualWaveOutput::Operation::Prepare, 1, WaveDeviceStatus::Error}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return std::string(info.param.name); });

TEST_F(PumpedPlayerTest, AFormatTheDeviceRefusesIsReportedOnce)
{
    WaveFormatFields odd = PcmFormat(1, Rate, 8);
    odd.formatTag = 0x55;
    AddSound(1, SampleBytes(100), odd);
    sounds.Open();
    ASSERT_EQ(Load(1), WaveStatusOk);
    player.Play(1);
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(errors, (std::vector<std::string>{output.ErrorText(WaveDeviceStatus::BadFormat)}));
}

}  // namespace
