// The player with real worker threads (TWaveOutThread): refills and end
// notices cross to the test's thread through MainThreadCalls, an old worker
// still waiting for the main thread when a new sound starts or the player
// goes away does no harm, a shut-down main queue ends the workers, and a
// worker made for a device that failed to open is freed unstarted. Meant to
// run under ThreadSanitizer too.

#include "platform/VirtualWaveOutput.h"
#include "sound/WaveDataControl.h"
#include "sound/WaveOutThread.h"
#include "tests/support/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr uint32_t Rate = 8000;

class ThreadedPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        samples = SampleBytes(Rate * 5);
        sounds.Add(1, WaveEntry().Format(PcmFormat(1, Rate, 8)).Data(samples).Bytes());
        sounds.Add(2, WaveEntry().Format(PcmFormat(1, Rate, 8)).Data(SampleBytes(Rate * 3)).Bytes());
        sounds.Open();
        WaveOwner owner;
        owner.reportError = [this](const std::string& text) { errors.push_back(text); };
        player = std::make_unique<oWaveDataControl>(output, calls, owner, WaveWorkerMode::Threaded);
    }
    void TearDown() override { player.reset(); }

    int Load(uint32_t id) { return player->Load(sounds.archive, sounds.CursorOf(id)); }

    // Runs the main thread's calls until the condition holds.
    template <typename Done>
    bool PumpUntil(Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            calls.WaitAndRunPending(1ms);
        }
        return true;
    }

    VirtualWaveOutput output;
    MainThreadCalls calls;
    SoundArchive sounds;
    std::vector<uint8_t> samples;
    std::vector<std::string> errors;
    std::unique_ptr<oWaveDataControl> player;
};

TEST_F(ThreadedPlayerTest, TheWorkerRefillsThroughTheMainThreadUntilStopped)
{
    ASSERT_EQ(Load(1), WaveStatusOk);
    player->Play(0);
    EXPECT_EQ(player->LiveWorkers(), 1);
    const uint32_t blockEnds[] = {2000, 2000, 1000, 2000, 2000, 1000};
    size_t expected = 2;
    for (const uint32_t milliseconds : blockEnds) {
        output.Advance(milliseconds);
        ++expected;
        ASSERT_TRUE(PumpUntil([&] { return output.WriteCount() == expected; })) << "write " << expected;
    }
    const auto writes = output.Writes();
    const std::pair<uint32_t, uint32_t> spans[] = {{0, 2}, {2, 4}, {4, 5}, {0, 2}, {2, 4}, {4, 5}, {0, 2}, {2, 4}};
    ASSERT_EQ(writes.size(), std::size(spans));
    for (size_t i = 0; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].bytes, std::vector<uint8_t>(samples.begin() + spans[i].first * Rate, samples.begin() + spans[i].second * Rate))
            << "write " << i;

    player->Stop();
    ASSERT_TRUE(PumpUntil([&] { return player->LiveWorkers() == 0; }));
    EXPECT_FALSE(player->DeviceOpen());
    EXPECT_TRUE(errors.empty());
}

TEST_F(ThreadedPlayerTest, TheEndNoticeReachesCheckEndOnTheMainThread)
{
    ASSERT_EQ(Load(2), WaveStatusOk);  // 3 s, once
    player->Play(1);
    output.Advance(2000);
    ASSERT_TRUE(PumpUntil([&] { return player->LiveWorkers() == 0; }));
    // Without an owner's endNotice the player posted its own answer.
    calls.RunPending();
    EXPECT_TRUE(player->DeviceOpen()) << "a second is still to play";
    output.Advance(1000);
    EXPECT_EQ(output.CurrentPosition(), Rate * 3);
    player->CheckEnd();
    EXPECT_FALSE(player->DeviceOpen());
}

TEST_F(ThreadedPlayerTest, AWorkerStillWaitingForTheMainThreadCannotTouchTheNextSound)
{
    ASSERT_EQ(Load(1), WaveStatusOk);
    player->Play(0);
    output.Advance(2000);  // the worker now asks the main thread for a refill and waits
    std::this_thread::sleep_for(5ms);
    player->Stop();
    ASSERT_EQ(Load(2), WaveStatusOk);
    player->Play(1);
    const size_t writesOfTheNewSound = output.WriteCount();
    // The old worker's refill request runs now, for an opening that is gone.
    ASSERT_TRUE(PumpUntil([&] { return player->LiveWorkers() == 1; }));
    calls.RunPending();
    EXPECT_EQ(output.WriteCount(), writesOfTheNewSound);
    EXPECT_TRUE(player->DeviceOpen());
    EXPECT_EQ(player->ReadPosition(), Rate * 3);
}

TEST_F(ThreadedPlayerTest, DestroyingThePlayerWhileItsWorkerWaitsForTheMainThreadEndsBoth)
{
    ASSERT_EQ(Load(1), WaveStatusOk);
    player->Play(0);
    output.Advance(2000);
    std::this_thread::sleep_for(5ms);
    player.reset();  // must not wait for ever on a worker that waits for this thread
    calls.RunPending();
    EXPECT_EQ(output.OpenDevices(), 0);
}

TEST_F(ThreadedPlayerTest, AShutDownMainQueueEndsTheWorker)
{
    ASSERT_EQ(Load(1), WaveStatusOk);
    player->Play(0);
    calls.Shutdown();  // the application is ending
    output.Advance(2000);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (player->LiveWorkers() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(player->LiveWorkers(), 0);
    EXPECT_EQ(output.WriteCount(), 2u);
}

TEST_F(ThreadedPlayerTest, AWorkerForADeviceThatFailedToOpenIsFreedUnstarted)
{
    // Under AddressSanitizer a worker that was neither started nor freed
    // shows as a leak.
    output.FailAfter(VirtualWaveOutput::Operation::Prepare, 1, WaveDeviceStatus::NoMemory);
    ASSERT_EQ(Load(1), WaveStatusOk);
    player->Play(0);
    EXPECT_FALSE(player->DeviceOpen());
    EXPECT_EQ(player->LiveWorkers(), 0);
    EXPECT_EQ(output.OpenDevices(), 0);
    EXPECT_EQ(output.PreparedBlocks(), 0);
    EXPECT_EQ(errors.size(), 1u);
}

// The message handling alone: what each notice leads to.
class RecordingHost : public WaveWorkerHost {
public:
    void FillBufferFor(uint64_t opening) override { events.push_back("fill " + std::to_string(opening)); }
    void CheckEndFor(uint64_t opening) override { events.push_back("check " + std::to_string(opening)); }
    void SendEndNotice(uint64_t opening) override { events.push_back("end " + std::to_string(opening)); }
    std::vector<std::string> events;
};

TEST(WaveOutWorkerTest, NoticesLeadToRefillsEndNoticesAndEndChecks)
{
    const auto direct = [](std::function<void()> call) {
        call();
        return true;
    };
    RecordingHost host;
    auto opening = std::make_shared<WaveOpening>(7);
    WaveOutWorker worker(opening, host);
    EXPECT_TRUE(worker.Handle({WaveNoticeOpen, 0, 0}, direct));
    EXPECT_TRUE(worker.Handle({WaveNoticeDone, 0, 0}, direct));
    EXPECT_TRUE(worker.Handle({0x8000, 0, 0}, direct));
    opening->cancelMarks[1] = true;
    EXPECT_FALSE(worker.Handle({WaveNoticeDone, 0, 1}, direct));
    EXPECT_EQ(host.events, (std::vector<std::string>{"fill 7", "end 7"}));

    host.events.clear();
    opening->cancelMarks[1] = false;
    opening->allHandedOver = true;
    EXPECT_FALSE(worker.Handle({WaveNoticeDone, 0, 0}, direct));
    EXPECT_FALSE(worker.Handle({WaveNoticeClose, 0, 0}, direct));
    // A block index out of range has no cancel mark to read.
    opening->allHandedOver = false;
    EXPECT_TRUE(worker.Handle({WaveNoticeDone, 0, 99}, direct));
    EXPECT_EQ(host.events, (std::vector<std::string>{"end 7", "check 7", "fill 7"}));

    // A refused synchronised call (the application is ending) stops the worker.
    const auto refused = [](std::function<void()>) { return false; };
    EXPECT_FALSE(worker.Handle({WaveNoticeDone, 0, 0}, refused));

    opening->notices.Post({WaveNoticeDone, 0, 0});
    opening->notices.Post({WaveNoticeClose, 0, 0});
    opening->notices.Post({0x8000, 0, 0});
    opening->workerActive = true;
    worker.Finish();
    EXPECT_FALSE(opening->workerActive);
    EXPECT_EQ(opening->notices.Size(), 1u) << "only the device's notices are cleared";
}

}  // namespace
